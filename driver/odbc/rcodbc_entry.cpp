// Exported ODBC 2 entry points: each validates and locks its handle with the
// entry guard (rcentry.h, where the locking rule is) and forwards to its
// worker (rcodbc_impl.h). Nothing else belongs in this file.
#include <sql.h>
#include <sqlext.h>

#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcentry.h"
#include "driver/odbc/rcodbc_impl.h"
#include "driver/odbc/rcstmt_handle.h"

#define QX_EXPORT extern "C" __attribute__((visibility("default")))

QX_EXPORT SQLRETURN SQLAllocEnv(SQLHENV *phenv) { return SQLAllocEnvImpl(phenv); }

QX_EXPORT SQLRETURN SQLFreeEnv(SQLHENV henv)
{
    rcEnvEntry entry(henv);
    return entry ? SQLFreeEnvImpl(entry.release()) : SQL_INVALID_HANDLE;
}

QX_EXPORT SQLRETURN SQLAllocConnect(SQLHENV henv, SQLHDBC *phdbc)
{
    rcEnvEntry entry(henv);
    return entry ? SQLAllocConnectImpl(entry.env(), phdbc) : SQL_INVALID_HANDLE;
}

QX_EXPORT SQLRETURN SQLFreeConnect(SQLHDBC hdbc)
{
    rcConnEntry entry(hdbc, true);
    return entry ? SQLFreeConnectImpl(entry.release()) : SQL_INVALID_HANDLE;
}

QX_EXPORT SQLRETURN SQLConnect(SQLHDBC hdbc, SQLCHAR *dsn, SQLSMALLINT cbDsn, SQLCHAR *uid,
                               SQLSMALLINT cbUid, SQLCHAR *pwd, SQLSMALLINT cbPwd)
{
    rcConnEntry entry(hdbc);
    return entry ? SQLConnectImpl(entry.conn(), dsn, cbDsn, uid, cbUid, pwd, cbPwd)
                 : SQL_INVALID_HANDLE;
}

QX_EXPORT SQLRETURN SQLDriverConnect(SQLHDBC hdbc, SQLHWND hwnd, SQLCHAR *in, SQLSMALLINT cbIn,
                                     SQLCHAR *out, SQLSMALLINT cbOutMax, SQLSMALLINT *pcbOut,
                                     SQLUSMALLINT completion)
{
    rcConnEntry entry(hdbc);
    return entry ? SQLDriverConnectImpl(entry.conn(), hwnd, in, cbIn, out, cbOutMax, pcbOut,
                                        completion)
                 : SQL_INVALID_HANDLE;
}

QX_EXPORT SQLRETURN SQLBrowseConnect(SQLHDBC hdbc, SQLCHAR *in, SQLSMALLINT cbIn, SQLCHAR *out,
                                     SQLSMALLINT cbOutMax, SQLSMALLINT *pcbOut)
{
    rcConnEntry entry(hdbc);
    return entry ? SQLBrowseConnectImpl(entry.conn(), in, cbIn, out, cbOutMax, pcbOut)
                 : SQL_INVALID_HANDLE;
}

QX_EXPORT SQLRETURN SQLDisconnect(SQLHDBC hdbc)
{
    rcConnEntry entry(hdbc);
    return entry ? SQLDisconnectImpl(entry.conn()) : SQL_INVALID_HANDLE;
}

// SQLTransact on an environment alone commits nothing here: the connection
// names the work.
QX_EXPORT SQLRETURN SQLTransact(SQLHENV, SQLHDBC hdbc, SQLUSMALLINT type)
{
    rcConnEntry entry(hdbc);
    return entry ? SQLTransactImpl(entry.conn()->env, entry.conn(), type) : SQL_INVALID_HANDLE;
}

// The most specific handle given names the queue; only its lock is taken (a
// statement's is its connection's).
QX_EXPORT SQLRETURN SQLError(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLCHAR *state,
                             SQLINTEGER *native, SQLCHAR *message, SQLSMALLINT size,
                             SQLSMALLINT *length)
{
    auto *env = static_cast<rcEnv *>(henv);
    auto *conn = static_cast<rcConn *>(hdbc);
    auto *stmt = static_cast<rcStmtHandle *>(hstmt);
    if (stmt) {
        rcConnEntry entry(stmt->tag == kRcStmtTag ? stmt->conn : nullptr);
        return entry ? SQLErrorImpl(env, conn, stmt, state, native, message, size, length)
                     : SQL_INVALID_HANDLE;
    }
    if (conn) {
        rcConnEntry entry(conn);
        return entry ? SQLErrorImpl(env, conn, nullptr, state, native, message, size, length)
                     : SQL_INVALID_HANDLE;
    }
    rcEnvEntry entry(env);
    return entry ? SQLErrorImpl(env, nullptr, nullptr, state, native, message, size, length)
                 : SQL_INVALID_HANDLE;
}

QX_EXPORT SQLRETURN SQLSetConnectOption(SQLHDBC hdbc, SQLUSMALLINT option, SQLULEN value)
{
    rcConnEntry entry(hdbc);
    return entry ? SQLSetConnectOptionImpl(entry.conn(), option, value) : SQL_INVALID_HANDLE;
}

QX_EXPORT SQLRETURN SQLGetConnectOption(SQLHDBC hdbc, SQLUSMALLINT option, SQLPOINTER value)
{
    rcConnEntry entry(hdbc);
    return entry ? SQLGetConnectOptionImpl(entry.conn(), option, value) : SQL_INVALID_HANDLE;
}

QX_EXPORT SQLRETURN SQLGetFunctions(SQLHDBC hdbc, SQLUSMALLINT function, SQLUSMALLINT *exists)
{
    rcConnEntry entry(hdbc);
    return entry ? SQLGetFunctionsImpl(entry.conn(), function, exists) : SQL_INVALID_HANDLE;
}

QX_EXPORT SQLRETURN SQLGetInfo(SQLHDBC hdbc, SQLUSMALLINT type, SQLPOINTER out, SQLSMALLINT outMax,
                               SQLSMALLINT *length)
{
    rcConnEntry entry(hdbc);
    return entry ? SQLGetInfoImpl(entry.conn(), type, out, outMax, length) : SQL_INVALID_HANDLE;
}

// Statement handles: the handle is validated by its tag and its connection
// is locked for the call.
namespace {

rcStmtHandle *Stmt(SQLHSTMT hstmt)
{
    auto *stmt = static_cast<rcStmtHandle *>(hstmt);
    return stmt != nullptr && stmt->tag == kRcStmtTag ? stmt : nullptr;
}

} // namespace

#define QX_STMT_CALL(hstmt, call)                                                                  \
    rcStmtHandle *stmt = Stmt(hstmt);                                                              \
    rcConnEntry entry(stmt != nullptr ? stmt->conn : nullptr);                                     \
    return entry ? (call) : SQL_INVALID_HANDLE

QX_EXPORT SQLRETURN SQLAllocStmt(SQLHDBC hdbc, SQLHSTMT *phstmt)
{
    rcConnEntry entry(hdbc);
    return entry ? SQLAllocStmtImpl(entry.conn(), phstmt) : SQL_INVALID_HANDLE;
}

QX_EXPORT SQLRETURN SQLFreeStmt(SQLHSTMT hstmt, SQLUSMALLINT option)
{
    QX_STMT_CALL(hstmt, SQLFreeStmtImpl(stmt, option));
}

QX_EXPORT SQLRETURN SQLPrepare(SQLHSTMT hstmt, SQLCHAR *text, SQLINTEGER length)
{
    QX_STMT_CALL(hstmt, SQLPrepareImpl(stmt, text, length));
}

QX_EXPORT SQLRETURN SQLExecute(SQLHSTMT hstmt) { QX_STMT_CALL(hstmt, SQLExecuteImpl(stmt)); }

QX_EXPORT SQLRETURN SQLExecDirect(SQLHSTMT hstmt, SQLCHAR *text, SQLINTEGER length)
{
    QX_STMT_CALL(hstmt, SQLExecDirectImpl(stmt, text, length));
}

QX_EXPORT SQLRETURN SQLBindCol(SQLHSTMT hstmt, SQLUSMALLINT column, SQLSMALLINT cType,
                               SQLPOINTER value, SQLLEN bufferLength, SQLLEN *length)
{
    QX_STMT_CALL(hstmt, SQLBindColImpl(stmt, column, cType, value, bufferLength, length));
}

QX_EXPORT SQLRETURN SQLFetch(SQLHSTMT hstmt) { QX_STMT_CALL(hstmt, SQLFetchImpl(stmt)); }

QX_EXPORT SQLRETURN SQLGetData(SQLHSTMT hstmt, SQLUSMALLINT column, SQLSMALLINT cType,
                               SQLPOINTER value, SQLLEN bufferLength, SQLLEN *length)
{
    QX_STMT_CALL(hstmt, SQLGetDataImpl(stmt, column, cType, value, bufferLength, length));
}

// No entry guard: the worker takes the connection's lock only when no other
// call runs the statement (a running one is flagged without waiting).
QX_EXPORT SQLRETURN SQLCancel(SQLHSTMT hstmt)
{
    rcStmtHandle *stmt = Stmt(hstmt);
    return stmt != nullptr ? SQLCancelImpl(stmt) : SQL_INVALID_HANDLE;
}

QX_EXPORT SQLRETURN SQLGetCursorName(SQLHSTMT hstmt, SQLCHAR *name, SQLSMALLINT size,
                                     SQLSMALLINT *length)
{
    QX_STMT_CALL(hstmt, SQLGetCursorNameImpl(stmt, name, size, length));
}

QX_EXPORT SQLRETURN SQLSetCursorName(SQLHSTMT hstmt, SQLCHAR *name, SQLSMALLINT length)
{
    QX_STMT_CALL(hstmt, SQLSetCursorNameImpl(stmt, name, length));
}

QX_EXPORT SQLRETURN SQLSetStmtOption(SQLHSTMT hstmt, SQLUSMALLINT option, SQLULEN value)
{
    QX_STMT_CALL(hstmt, SQLSetStmtOptionImpl(stmt, option, value));
}

QX_EXPORT SQLRETURN SQLGetStmtOption(SQLHSTMT hstmt, SQLUSMALLINT option, SQLPOINTER value)
{
    QX_STMT_CALL(hstmt, SQLGetStmtOptionImpl(stmt, option, value));
}

QX_EXPORT SQLRETURN SQLRowCount(SQLHSTMT hstmt, SQLLEN *count)
{
    QX_STMT_CALL(hstmt, SQLRowCountImpl(stmt, count));
}

QX_EXPORT SQLRETURN SQLMoreResults(SQLHSTMT hstmt)
{
    QX_STMT_CALL(hstmt, SQLMoreResultsImpl(stmt));
}

QX_EXPORT SQLRETURN SQLNumResultCols(SQLHSTMT hstmt, SQLSMALLINT *count)
{
    QX_STMT_CALL(hstmt, SQLNumResultColsImpl(stmt, count));
}

QX_EXPORT SQLRETURN SQLDescribeCol(SQLHSTMT hstmt, SQLUSMALLINT column, SQLCHAR *name,
                                   SQLSMALLINT size, SQLSMALLINT *length, SQLSMALLINT *type,
                                   SQLULEN *columnSize, SQLSMALLINT *scale, SQLSMALLINT *nullable)
{
    QX_STMT_CALL(hstmt, SQLDescribeColImpl(stmt, column, name, size, length, type, columnSize,
                                           scale, nullable));
}

QX_EXPORT SQLRETURN SQLColAttributes(SQLHSTMT hstmt, SQLUSMALLINT column, SQLUSMALLINT field,
                                     SQLPOINTER text, SQLSMALLINT size, SQLSMALLINT *length,
                                     SQLLEN *number)
{
    QX_STMT_CALL(hstmt, SQLColAttributesImpl(stmt, column, field, text, size, length, number));
}

QX_EXPORT SQLRETURN SQLNumParams(SQLHSTMT hstmt, SQLSMALLINT *count)
{
    QX_STMT_CALL(hstmt, SQLNumParamsImpl(stmt, count));
}

QX_EXPORT SQLRETURN SQLDescribeParam(SQLHSTMT hstmt, SQLUSMALLINT param, SQLSMALLINT *type,
                                     SQLULEN *columnSize, SQLSMALLINT *scale, SQLSMALLINT *nullable)
{
    QX_STMT_CALL(hstmt, SQLDescribeParamImpl(stmt, param, type, columnSize, scale, nullable));
}

QX_EXPORT SQLRETURN SQLBindParameter(SQLHSTMT hstmt, SQLUSMALLINT ipar, SQLSMALLINT fParamType,
                                     SQLSMALLINT fCType, SQLSMALLINT fSqlType, SQLULEN cbColDef,
                                     SQLSMALLINT ibScale, SQLPOINTER rgbValue, SQLLEN cbValueMax,
                                     SQLLEN *pcbValue)
{
    QX_STMT_CALL(hstmt, SQLBindParameterImpl(stmt, ipar, fParamType, fCType, fSqlType, cbColDef,
                                             ibScale, rgbValue, cbValueMax, pcbValue));
}

QX_EXPORT SQLRETURN SQLSetParam(SQLHSTMT hstmt, SQLUSMALLINT ipar, SQLSMALLINT fCType,
                                SQLSMALLINT fSqlType, SQLULEN cbColDef, SQLSMALLINT ibScale,
                                SQLPOINTER rgbValue, SQLLEN *pcbValue)
{
    QX_STMT_CALL(hstmt, SQLSetParamImpl(stmt, ipar, fCType, fSqlType, cbColDef, ibScale, rgbValue,
                                        pcbValue));
}

QX_EXPORT SQLRETURN SQLParamOptions(SQLHSTMT hstmt, SQLULEN crow, SQLULEN *pirow)
{
    QX_STMT_CALL(hstmt, SQLParamOptionsImpl(stmt, crow, pirow));
}

QX_EXPORT SQLRETURN SQLParamData(SQLHSTMT hstmt, SQLPOINTER *prgbValue)
{
    QX_STMT_CALL(hstmt, SQLParamDataImpl(stmt, prgbValue));
}

QX_EXPORT SQLRETURN SQLPutData(SQLHSTMT hstmt, SQLPOINTER rgbValue, SQLLEN cbValue)
{
    QX_STMT_CALL(hstmt, SQLPutDataImpl(stmt, rgbValue, cbValue));
}

// Catalog functions.
QX_EXPORT SQLRETURN SQLTables(SQLHSTMT hstmt, SQLCHAR *qualifier, SQLSMALLINT cbQualifier,
                              SQLCHAR *owner, SQLSMALLINT cbOwner, SQLCHAR *table,
                              SQLSMALLINT cbTable, SQLCHAR *types, SQLSMALLINT cbTypes)
{
    QX_STMT_CALL(hstmt, SQLTablesImpl(stmt, qualifier, cbQualifier, owner, cbOwner, table,
                                      cbTable, types, cbTypes));
}

QX_EXPORT SQLRETURN SQLColumns(SQLHSTMT hstmt, SQLCHAR *qualifier, SQLSMALLINT cbQualifier,
                               SQLCHAR *owner, SQLSMALLINT cbOwner, SQLCHAR *table,
                               SQLSMALLINT cbTable, SQLCHAR *column, SQLSMALLINT cbColumn)
{
    QX_STMT_CALL(hstmt, SQLColumnsImpl(stmt, qualifier, cbQualifier, owner, cbOwner, table,
                                       cbTable, column, cbColumn));
}

QX_EXPORT SQLRETURN SQLStatistics(SQLHSTMT hstmt, SQLCHAR *qualifier, SQLSMALLINT cbQualifier,
                                  SQLCHAR *owner, SQLSMALLINT cbOwner, SQLCHAR *table,
                                  SQLSMALLINT cbTable, SQLUSMALLINT unique, SQLUSMALLINT accuracy)
{
    QX_STMT_CALL(hstmt, SQLStatisticsImpl(stmt, qualifier, cbQualifier, owner, cbOwner, table,
                                          cbTable, unique, accuracy));
}

QX_EXPORT SQLRETURN SQLPrimaryKeys(SQLHSTMT hstmt, SQLCHAR *qualifier, SQLSMALLINT cbQualifier,
                                   SQLCHAR *owner, SQLSMALLINT cbOwner, SQLCHAR *table,
                                   SQLSMALLINT cbTable)
{
    QX_STMT_CALL(hstmt, SQLPrimaryKeysImpl(stmt, qualifier, cbQualifier, owner, cbOwner, table,
                                           cbTable));
}

QX_EXPORT SQLRETURN SQLSpecialColumns(SQLHSTMT hstmt, SQLUSMALLINT colType, SQLCHAR *qualifier,
                                      SQLSMALLINT cbQualifier, SQLCHAR *owner,
                                      SQLSMALLINT cbOwner, SQLCHAR *table, SQLSMALLINT cbTable,
                                      SQLUSMALLINT scope, SQLUSMALLINT nullable)
{
    QX_STMT_CALL(hstmt, SQLSpecialColumnsImpl(stmt, colType, qualifier, cbQualifier, owner,
                                              cbOwner, table, cbTable, scope, nullable));
}

QX_EXPORT SQLRETURN SQLForeignKeys(SQLHSTMT hstmt, SQLCHAR *pkQualifier, SQLSMALLINT cbPkQualifier,
                                   SQLCHAR *pkOwner, SQLSMALLINT cbPkOwner, SQLCHAR *pkTable,
                                   SQLSMALLINT cbPkTable, SQLCHAR *fkQualifier,
                                   SQLSMALLINT cbFkQualifier, SQLCHAR *fkOwner,
                                   SQLSMALLINT cbFkOwner, SQLCHAR *fkTable, SQLSMALLINT cbFkTable)
{
    QX_STMT_CALL(hstmt, SQLForeignKeysImpl(stmt, pkQualifier, cbPkQualifier, pkOwner, cbPkOwner,
                                           pkTable, cbPkTable, fkQualifier, cbFkQualifier,
                                           fkOwner, cbFkOwner, fkTable, cbFkTable));
}

QX_EXPORT SQLRETURN SQLTablePrivileges(SQLHSTMT hstmt, SQLCHAR *qualifier,
                                       SQLSMALLINT cbQualifier, SQLCHAR *owner,
                                       SQLSMALLINT cbOwner, SQLCHAR *table, SQLSMALLINT cbTable)
{
    QX_STMT_CALL(hstmt, SQLTablePrivilegesImpl(stmt, qualifier, cbQualifier, owner, cbOwner,
                                               table, cbTable));
}

QX_EXPORT SQLRETURN SQLColumnPrivileges(SQLHSTMT hstmt, SQLCHAR *qualifier,
                                        SQLSMALLINT cbQualifier, SQLCHAR *owner,
                                        SQLSMALLINT cbOwner, SQLCHAR *table, SQLSMALLINT cbTable,
                                        SQLCHAR *column, SQLSMALLINT cbColumn)
{
    QX_STMT_CALL(hstmt, SQLColumnPrivilegesImpl(stmt, qualifier, cbQualifier, owner, cbOwner,
                                                table, cbTable, column, cbColumn));
}

QX_EXPORT SQLRETURN SQLProcedures(SQLHSTMT hstmt, SQLCHAR *qualifier, SQLSMALLINT cbQualifier,
                                  SQLCHAR *owner, SQLSMALLINT cbOwner, SQLCHAR *procedure,
                                  SQLSMALLINT cbProcedure)
{
    QX_STMT_CALL(hstmt, SQLProceduresImpl(stmt, qualifier, cbQualifier, owner, cbOwner, procedure,
                                          cbProcedure));
}

QX_EXPORT SQLRETURN SQLProcedureColumns(SQLHSTMT hstmt, SQLCHAR *qualifier,
                                        SQLSMALLINT cbQualifier, SQLCHAR *owner,
                                        SQLSMALLINT cbOwner, SQLCHAR *procedure,
                                        SQLSMALLINT cbProcedure, SQLCHAR *column,
                                        SQLSMALLINT cbColumn)
{
    QX_STMT_CALL(hstmt, SQLProcedureColumnsImpl(stmt, qualifier, cbQualifier, owner, cbOwner,
                                                procedure, cbProcedure, column, cbColumn));
}

QX_EXPORT SQLRETURN SQLGetTypeInfo(SQLHSTMT hstmt, SQLSMALLINT sqlType)
{
    QX_STMT_CALL(hstmt, SQLGetTypeInfoImpl(stmt, sqlType));
}

QX_EXPORT SQLRETURN SQLNativeSql(SQLHDBC hdbc, SQLCHAR *in, SQLINTEGER inLength, SQLCHAR *out,
                                 SQLINTEGER outMax, SQLINTEGER *outLength)
{
    rcConnEntry entry(hdbc);
    return entry ? SQLNativeSqlImpl(entry.conn(), in, inLength, out, outMax, outLength)
                 : SQL_INVALID_HANDLE;
}
