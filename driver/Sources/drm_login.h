// The password of a session's logins. The session is given it at its start
// for its first database open; every open wipes it once its login is over,
// so the engine hands it again before each later open.
#pragma once

#include <cstdint>

// The password of the session's next database open; 0, or -1104 for an
// unknown session.
int32_t DrmSetLoginPassword(uint32_t session, const char *password);
