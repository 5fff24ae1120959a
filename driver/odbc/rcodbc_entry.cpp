// Exported ODBC 2 entry points: each validates and locks its handle with the
// entry guard (rcentry.h, where the locking rule is) and forwards to its
// worker (rcodbc_impl.h). Nothing else belongs in this file.
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcentry.h"
#include "driver/odbc/rcodbc_impl.h"
#include "driver/odbc/rcoption.h"
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

QX_EXPORT SQLRETURN SQLConnect(SQLHDBC hdbc, SQLCHAR *dsn, SQLSMALLINT cbDsn, SQLCHAR *uid, SQLSMALLINT cbUid,
                               SQLCHAR *pwd, SQLSMALLINT cbPwd)
{
    rcConnEntry entry(hdbc);
    return entry ? SQLConnectImpl(entry.conn(), dsn, cbDsn, uid, cbUid, pwd, cbPwd) : SQL_INVALID_HANDLE;
}

QX_EXPORT SQLRETURN SQLDriverConnect(SQLHDBC hdbc, SQLHWND hwnd, SQLCHAR *in, SQLSMALLINT cbIn, SQLCHAR *out,
                                     SQLSMALLINT cbOutMax, SQLSMALLINT *pcbOut, SQLUSMALLINT completion)
{
    rcConnEntry entry(hdbc);
    return entry ? SQLDriverConnectImpl(entry.conn(), hwnd, in, cbIn, out, cbOutMax, pcbOut, completion)
                 : SQL_INVALID_HANDLE;
}

QX_EXPORT SQLRETURN SQLBrowseConnect(SQLHDBC hdbc, SQLCHAR *in, SQLSMALLINT cbIn, SQLCHAR *out, SQLSMALLINT cbOutMax,
                                     SQLSMALLINT *pcbOut)
{
    rcConnEntry entry(hdbc);
    return entry ? SQLBrowseConnectImpl(entry.conn(), in, cbIn, out, cbOutMax, pcbOut) : SQL_INVALID_HANDLE;
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
QX_EXPORT SQLRETURN SQLError(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLCHAR *state, SQLINTEGER *native,
                             SQLCHAR *message, SQLSMALLINT size, SQLSMALLINT *length)
{
    auto *env = static_cast<rcEnv *>(henv);
    auto *conn = static_cast<rcConn *>(hdbc);
    auto *stmt = static_cast<rcStmtHandle *>(hstmt);
    if (stmt) {
        rcConnEntry entry(stmt->tag == kRcStmtTag ? stmt->conn : nullptr);
        return entry ? SQLErrorImpl(env, conn, stmt, state, native, message, size, length) : SQL_INVALID_HANDLE;
    }
    if (conn) {
        rcConnEntry entry(conn);
        return entry ? SQLErrorImpl(env, conn, nullptr, state, native, message, size, length) : SQL_INVALID_HANDLE;
    }
    rcEnvEntry entry(env);
    return entry ? SQLErrorImpl(env, nullptr, nullptr, state, native, message, size, length) : SQL_INVALID_HANDLE;
}

QX_EXPORT SQLRETURN SQLSetConnectOption(SQLHDBC hdbc, SQLUSMALLINT option, SQLULEN value)
{
    rcConnEntry entry(hdbc);
    return entry ? SQLSetConnectOptionImpl(entry.conn(), option, static_cast<uintptr_t>(value)) : SQL_INVALID_HANDLE;
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
