// Connection options and the table of supported functions.
//
// Connection options 101-112 are kept in the connection; options 0-14 are
// statement options whose connection-level value is the default block copied
// into every new statement (rcConnSetStmtOptions, rcstmt_option.h). Options
// set before connect wait in a pending list (texts copied, at most
// kRcOptionTextMax characters) and are replayed by the connect road through
// rcConSetOption.
#pragma once

#include <cstddef>
#include <cstdint>

struct rcConn;

inline constexpr size_t kRcOptionTextMax = 260;
inline constexpr size_t kRcOptionOutMax = 256; // room the ODBC 2 caller gives for a text option

// SQLSetConnectOption's work: a statement option goes to every statement and
// the defaults, another to rcConSetOption and, for options 101-112, into
// the connection. 0, 1 (a value kept changed: 01S02) or -1.
int16_t rcConSetConnectOption(rcConn *conn, uint16_t option, uintptr_t value);
// SQLGetConnectOption's work: options 101-112 from the connection, 1161 the
// version text; any other option leaves out as it is. Nothing without out.
void rcConGetConnectOption(rcConn *conn, uint16_t option, void *out);
// SQLGetFunctions' answer: function 0 the whole table, else its entry.
void rcConGetFunctions(rcConn *conn, uint16_t function, uint16_t *exists);

int16_t rcConSetOption(rcConn *conn, uint16_t option, uintptr_t *value);
int16_t rcConStoreOption(uint16_t option, rcConn *conn, uintptr_t value);
void rcConReadOption(uint16_t option, rcConn *conn, void *out);
void rcConnInitFunctions(rcConn *conn, int level);
// Replays the options set before connect; 0, 1 or -1. The list is destroyed.
int16_t rcConReplayPending(rcConn *conn);
void rcConFreePending(rcConn *conn);
