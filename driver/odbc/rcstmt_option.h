// Statement options: the work of SQLSetStmtOption and SQLGetStmtOption on
// one handle, and of a statement option set on the connection (every
// statement, then the defaults of later ones).
//
// Options 0-14 live in the handle's option block (rcStmtStoreOption,
// rcstmt_handle.h); SQL_MAX_ROWS and the driver's own options (above 14)
// reach the engine's record as well.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

struct rcConn;
struct rcStmtHandle;

// Sets an option on one statement: 0, 1 (the value kept differs: 01S02
// posted) or -1.
SQLRETURN rcStmtSetOption(rcStmtHandle *stmt, uint16_t option, SQLULEN value);
// Reads an option into value (when given): the row and length counts as
// SQLULEN, every other option as a 32-bit word. 0 or -1. (SQLGetStmtOption's
// frame refuses a busy statement first.)
SQLRETURN rcStmtGetOption(rcStmtHandle *stmt, uint16_t option, void *value);
// The refusal a value of statement option 0-14 meets whatever the handle's
// state (a message id), 0 when the value is taken.
uint32_t rcStmtOptionRefusal(uint16_t option, SQLULEN value);
// The 32-bit word an option value is given to the block as: a value beyond
// it becomes the largest word, a rowset size above 1 becomes 1 (the block
// may keep it changed further, as SQL_MAX_LENGTH's rule does).
uint32_t rcStmtOptionWord(uint16_t option, SQLULEN value);
// Sets a statement option (0..14) on every statement of the connection and
// in the connection's defaults for later statements: 0; 1 when a value was
// kept changed (01S02 on the connection); -1 at the first failure (its
// records are on that statement's queue and the connection's).
int16_t rcConnSetStmtOptions(rcConn *conn, uint16_t option, uintptr_t value);
