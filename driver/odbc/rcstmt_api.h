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
SQLRETURN SQLCancelImpl(rcStmtHandle *stmt);
SQLRETURN SQLGetCursorNameImpl(rcStmtHandle *stmt, SQLCHAR *name, SQLSMALLINT size,
                               SQLSMALLINT *length);
SQLRETURN SQLSetCursorNameImpl(rcStmtHandle *stmt, const SQLCHAR *name, SQLSMALLINT length);
SQLRETURN SQLSetStmtOptionImpl(rcStmtHandle *stmt, SQLUSMALLINT option, SQLULEN value);
SQLRETURN SQLGetStmtOptionImpl(rcStmtHandle *stmt, SQLUSMALLINT option, SQLPOINTER value);
SQLRETURN SQLRowCountImpl(rcStmtHandle *stmt, SQLLEN *count);
SQLRETURN SQLMoreResultsImpl(rcStmtHandle *stmt);
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
