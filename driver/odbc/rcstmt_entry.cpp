// Exported ODBC 2 entry points of statement handles and SQLNativeSql: each
// checks its handle and forwards to its worker (rcstmt_handle.h).
#include "driver/core/rcconn.h"
#include "driver/odbc/rcstmt_api.h"

#define QX_EXPORT extern "C" __attribute__((visibility("default")))

#define STMT_OR_INVALID(h)                                                                                             \
    rcStmtHandle *s = rcStmtFromHandle(h);                                                                             \
    if (s == nullptr)                                                                                                  \
        return SQL_INVALID_HANDLE;

QX_EXPORT SQLRETURN SQLAllocStmt(SQLHDBC hdbc, SQLHSTMT *phstmt)
{
    if (!hdbc)
        return SQL_INVALID_HANDLE;
    return SQLAllocStmtImpl(static_cast<rcConn *>(hdbc), phstmt);
}

QX_EXPORT SQLRETURN SQLFreeStmt(SQLHSTMT hstmt, SQLUSMALLINT option)
{
    STMT_OR_INVALID(hstmt)
    return SQLFreeStmtImpl(s, option);
}

QX_EXPORT SQLRETURN SQLPrepare(SQLHSTMT hstmt, SQLCHAR *text, SQLINTEGER length)
{
    STMT_OR_INVALID(hstmt)
    return SQLPrepareImpl(s, text, length);
}

QX_EXPORT SQLRETURN SQLExecute(SQLHSTMT hstmt)
{
    STMT_OR_INVALID(hstmt)
    return SQLExecuteImpl(s);
}

QX_EXPORT SQLRETURN SQLExecDirect(SQLHSTMT hstmt, SQLCHAR *text, SQLINTEGER length)
{
    STMT_OR_INVALID(hstmt)
    return SQLExecDirectImpl(s, text, length);
}

QX_EXPORT SQLRETURN SQLCancel(SQLHSTMT hstmt)
{
    STMT_OR_INVALID(hstmt)
    return SQLCancelImpl(s);
}

QX_EXPORT SQLRETURN SQLGetCursorName(SQLHSTMT hstmt, SQLCHAR *name, SQLSMALLINT size, SQLSMALLINT *length)
{
    STMT_OR_INVALID(hstmt)
    return SQLGetCursorNameImpl(s, name, size, length);
}

QX_EXPORT SQLRETURN SQLSetCursorName(SQLHSTMT hstmt, SQLCHAR *name, SQLSMALLINT length)
{
    STMT_OR_INVALID(hstmt)
    return SQLSetCursorNameImpl(s, name, length);
}

QX_EXPORT SQLRETURN SQLSetStmtOption(SQLHSTMT hstmt, SQLUSMALLINT option, SQLULEN value)
{
    STMT_OR_INVALID(hstmt)
    return SQLSetStmtOptionImpl(s, option, value);
}

QX_EXPORT SQLRETURN SQLGetStmtOption(SQLHSTMT hstmt, SQLUSMALLINT option, SQLPOINTER value)
{
    STMT_OR_INVALID(hstmt)
    return SQLGetStmtOptionImpl(s, option, value);
}

QX_EXPORT SQLRETURN SQLRowCount(SQLHSTMT hstmt, SQLLEN *count)
{
    STMT_OR_INVALID(hstmt)
    return SQLRowCountImpl(s, count);
}

QX_EXPORT SQLRETURN SQLMoreResults(SQLHSTMT hstmt)
{
    STMT_OR_INVALID(hstmt)
    return SQLMoreResultsImpl(s);
}

QX_EXPORT SQLRETURN SQLNumResultCols(SQLHSTMT hstmt, SQLSMALLINT *count)
{
    STMT_OR_INVALID(hstmt)
    return SQLNumResultColsImpl(s, count);
}

QX_EXPORT SQLRETURN SQLDescribeCol(SQLHSTMT hstmt, SQLUSMALLINT column, SQLCHAR *name, SQLSMALLINT size,
                                   SQLSMALLINT *length, SQLSMALLINT *type, SQLULEN *columnSize, SQLSMALLINT *scale,
                                   SQLSMALLINT *nullable)
{
    STMT_OR_INVALID(hstmt)
    return SQLDescribeColImpl(s, column, name, size, length, type, columnSize, scale, nullable);
}

QX_EXPORT SQLRETURN SQLColAttributes(SQLHSTMT hstmt, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
                                     SQLSMALLINT size, SQLSMALLINT *length, SQLLEN *number)
{
    STMT_OR_INVALID(hstmt)
    return SQLColAttributesImpl(s, column, field, text, size, length, number);
}

QX_EXPORT SQLRETURN SQLNumParams(SQLHSTMT hstmt, SQLSMALLINT *count)
{
    STMT_OR_INVALID(hstmt)
    return SQLNumParamsImpl(s, count);
}

QX_EXPORT SQLRETURN SQLDescribeParam(SQLHSTMT hstmt, SQLUSMALLINT param, SQLSMALLINT *type, SQLULEN *columnSize,
                                     SQLSMALLINT *scale, SQLSMALLINT *nullable)
{
    STMT_OR_INVALID(hstmt)
    return SQLDescribeParamImpl(s, param, type, columnSize, scale, nullable);
}

QX_EXPORT SQLRETURN SQLNativeSql(SQLHDBC hdbc, SQLCHAR *in, SQLINTEGER inLength, SQLCHAR *out, SQLINTEGER outMax,
                                 SQLINTEGER *outLength)
{
    if (!hdbc)
        return SQL_INVALID_HANDLE;
    return SQLNativeSqlImpl(static_cast<rcConn *>(hdbc), in, inLength, out, outMax, outLength);
}
