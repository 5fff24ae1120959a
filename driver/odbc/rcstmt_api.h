// The workers of the statement functions and of SQLNativeSql (see
// rcstmt_handle.h for the handle and its states). Inside the driver call
// these, never the exported names.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include "driver/odbc/rcstmt_handle.h"

SQLRETURN SQLAllocStmtImpl(rcConn *conn, SQLHSTMT *phstmt);
SQLRETURN SQLFreeStmtImpl(rcStmtHandle *stmt, SQLUSMALLINT option);
SQLRETURN SQLPrepareImpl(rcStmtHandle *stmt, const SQLCHAR *text, SQLINTEGER length);
SQLRETURN SQLExecuteImpl(rcStmtHandle *stmt);
SQLRETURN SQLExecDirectImpl(rcStmtHandle *stmt, const SQLCHAR *text, SQLINTEGER length);
// Unlike the other workers, called without the connection's lock (it takes
// the lock itself when no other call runs the statement).
SQLRETURN SQLCancelImpl(rcStmtHandle *stmt);
SQLRETURN SQLGetCursorNameImpl(rcStmtHandle *stmt, SQLCHAR *name, SQLSMALLINT size,
                               SQLSMALLINT *length);
SQLRETURN SQLSetCursorNameImpl(rcStmtHandle *stmt, const SQLCHAR *name, SQLSMALLINT length);
SQLRETURN SQLRowCountImpl(rcStmtHandle *stmt, SQLLEN *count);
SQLRETURN SQLMoreResultsImpl(rcStmtHandle *stmt);
// SQL_CLOSE's work: the query's cursor is closed (its plan stays), the
// handle goes back to prepared (or allocated) with no row counted.
void rcStmtCloseCursor(rcStmtHandle *stmt);
// Runs the prepared statement once with the parameter values the engine
// holds (SQLExecute's work after its checks and the parameters).
SQLRETURN rcStmtRunPrepared(rcStmtHandle *stmt);

SQLRETURN SQLNumResultColsImpl(rcStmtHandle *stmt, SQLSMALLINT *count);
SQLRETURN SQLDescribeColImpl(rcStmtHandle *stmt, SQLUSMALLINT column, SQLCHAR *name,
                             SQLSMALLINT size, SQLSMALLINT *length, SQLSMALLINT *type,
                             SQLULEN *columnSize, SQLSMALLINT *scale, SQLSMALLINT *nullable);
SQLRETURN SQLColAttributesImpl(rcStmtHandle *stmt, SQLUSMALLINT column, SQLUSMALLINT field,
                               SQLPOINTER text, SQLSMALLINT size, SQLSMALLINT *length,
                               SQLLEN *number);
SQLRETURN SQLNumParamsImpl(rcStmtHandle *stmt, SQLSMALLINT *count);
SQLRETURN SQLDescribeParamImpl(rcStmtHandle *stmt, SQLUSMALLINT param, SQLSMALLINT *type,
                               SQLULEN *columnSize, SQLSMALLINT *scale, SQLSMALLINT *nullable);

SQLRETURN SQLNativeSqlImpl(rcConn *conn, const SQLCHAR *in, SQLINTEGER inLength, SQLCHAR *out,
                           SQLINTEGER outMax, SQLINTEGER *outLength);

// Result sets (rcstmt_fetch.cpp).
SQLRETURN SQLBindColImpl(rcStmtHandle *stmt, SQLUSMALLINT column, SQLSMALLINT cType,
                         SQLPOINTER value, SQLLEN bufferLength, SQLLEN *length);
SQLRETURN SQLFetchImpl(rcStmtHandle *stmt);
SQLRETURN SQLGetDataImpl(rcStmtHandle *stmt, SQLUSMALLINT column, SQLSMALLINT cType,
                         SQLPOINTER value, SQLLEN bufferLength, SQLLEN *length);

// Statement options (rcstmt_option.cpp).
SQLRETURN SQLSetStmtOptionImpl(rcStmtHandle *stmt, SQLUSMALLINT option, SQLULEN value);
SQLRETURN SQLGetStmtOptionImpl(rcStmtHandle *stmt, SQLUSMALLINT option, SQLPOINTER value);
// SQLSetStmtOption's work without its trace lines; the connection calls it
// for every statement. 0, 1 (the value kept differs: 01S02 posted) or -1.
SQLRETURN rcStmtSetOption(rcStmtHandle *stmt, uint16_t option, SQLULEN value);
// The refusal a value of statement option 0-14 meets whatever the handle's
// state (a message id), 0 when the value is taken.
uint32_t rcStmtOptionRefusal(uint16_t option, SQLULEN value);
// The 32-bit word an option value is given to the block as: a value beyond
// it becomes the largest word, a rowset size above 1 becomes 1 (the block
// may keep it changed further, as SQL_MAX_LENGTH's rule does).
uint32_t rcStmtOptionWord(uint16_t option, SQLULEN value);

// Asynchronous execution is on and a call is pending: other functions are
// refused with S1010.
bool rcStmtBusy(const rcStmtHandle *stmt);

// The scrolling functions: built, not exported (rcstmt_scroll.cpp).
SQLRETURN SQLSetScrollOptionsImpl(rcStmtHandle *stmt, SQLUSMALLINT concurrency, SQLLEN keyset,
                                  SQLUSMALLINT rowset);
SQLRETURN SQLExtendedFetchImpl(rcStmtHandle *stmt, SQLUSMALLINT fetchType, SQLLEN row,
                               SQLULEN *rowCount, SQLUSMALLINT *rowStatus);
SQLRETURN SQLSetPosImpl(rcStmtHandle *stmt, SQLSETPOSIROW row, SQLUSMALLINT operation,
                        SQLUSMALLINT lock);
