// Connection and statement options, and the table of supported functions.
//
// Connection options 101-112 are kept in the connection; options 0-14 are
// statement options whose connection-level value is the default block copied
// into every new statement. Options set before connect wait in a pending list
// (texts copied, at most kRcOptionTextMax characters) and are replayed by the
// connect road through rcConSetOption.
#pragma once

#include <cstddef>
#include <cstdint>

struct rcConn;

inline constexpr size_t kRcXlateNameMax = 255;
inline constexpr size_t kRcOptionTextMax = 260;
inline constexpr size_t kRcOptionOutMax = 256; // room the ODBC 2 caller gives for a text option

// The workers of the exports. fromApp: write the trace lines and empty the
// error queue first (false when the driver calls itself).
int16_t SQLSetConnectOptionImpl(rcConn *conn, uint16_t option, uintptr_t value,
                                bool fromApp = true);
int16_t SQLGetConnectOptionImpl(rcConn *conn, uint16_t option, void *out);
int16_t SQLGetFunctionsImpl(rcConn *conn, uint16_t function, uint16_t *exists);

int16_t rcConSetOption(rcConn *conn, uint16_t option, uintptr_t *value);
int16_t rcConStoreOption(uint16_t option, rcConn *conn, uintptr_t value);
void rcConReadOption(uint16_t option, rcConn *conn, void *out);
void rcStmtStoreOption(uint16_t option, uint32_t *block, uint32_t value);
void rcStmtReadOption(uint16_t option, const uint32_t *block, uint32_t *out);
void rcConnInitFunctions(rcConn *conn, int level);
// Replays the options set before connect; 0, 1 or -1. The list is destroyed.
int16_t rcConReplayPending(rcConn *conn);
void rcConFreePending(rcConn *conn);
