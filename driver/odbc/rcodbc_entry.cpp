// Exported ODBC 2 entry points of the connection road: each casts its
// handles, checks them and forwards to its worker (rcodbc_impl.h).
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcodbc_impl.h"
#include "driver/odbc/rcoption.h"

#define QX_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

rcEnv *Env(SQLHENV h) { return static_cast<rcEnv *>(h); }
rcConn *Conn(SQLHDBC h) { return static_cast<rcConn *>(h); }

} // namespace

QX_EXPORT SQLRETURN SQLAllocEnv(SQLHENV *phenv) { return SQLAllocEnvImpl(phenv); }

QX_EXPORT SQLRETURN SQLFreeEnv(SQLHENV henv)
{
    if (!henv)
        return SQL_INVALID_HANDLE;
    return SQLFreeEnvImpl(Env(henv));
}

QX_EXPORT SQLRETURN SQLAllocConnect(SQLHENV henv, SQLHDBC *phdbc)
{
    if (!henv)
        return SQL_INVALID_HANDLE;
    return SQLAllocConnectImpl(Env(henv), phdbc);
}

QX_EXPORT SQLRETURN SQLFreeConnect(SQLHDBC hdbc)
{
    if (!hdbc)
        return SQL_INVALID_HANDLE;
    return SQLFreeConnectImpl(Conn(hdbc));
}

QX_EXPORT SQLRETURN SQLConnect(SQLHDBC hdbc, SQLCHAR *dsn, SQLSMALLINT cbDsn, SQLCHAR *uid, SQLSMALLINT cbUid,
                               SQLCHAR *pwd, SQLSMALLINT cbPwd)
{
    if (!hdbc)
        return SQL_INVALID_HANDLE;
    return SQLConnectImpl(Conn(hdbc), dsn, cbDsn, uid, cbUid, pwd, cbPwd);
}

QX_EXPORT SQLRETURN SQLDriverConnect(SQLHDBC hdbc, SQLHWND hwnd, SQLCHAR *in, SQLSMALLINT cbIn, SQLCHAR *out,
                                     SQLSMALLINT cbOutMax, SQLSMALLINT *pcbOut, SQLUSMALLINT completion)
{
    if (!hdbc)
        return SQL_INVALID_HANDLE;
    return SQLDriverConnectImpl(Conn(hdbc), hwnd, in, cbIn, out, cbOutMax, pcbOut, completion);
}

QX_EXPORT SQLRETURN SQLBrowseConnect(SQLHDBC hdbc, SQLCHAR *in, SQLSMALLINT cbIn, SQLCHAR *out, SQLSMALLINT cbOutMax,
                                     SQLSMALLINT *pcbOut)
{
    if (!hdbc)
        return SQL_INVALID_HANDLE;
    return SQLBrowseConnectImpl(Conn(hdbc), in, cbIn, out, cbOutMax, pcbOut);
}

QX_EXPORT SQLRETURN SQLDisconnect(SQLHDBC hdbc)
{
    if (!hdbc)
        return SQL_INVALID_HANDLE;
    return SQLDisconnectImpl(Conn(hdbc));
}

QX_EXPORT SQLRETURN SQLTransact(SQLHENV henv, SQLHDBC hdbc, SQLUSMALLINT type)
{
    return SQLTransactImpl(Env(henv), Conn(hdbc), type);
}

QX_EXPORT SQLRETURN SQLError(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLCHAR *state, SQLINTEGER *native,
                             SQLCHAR *message, SQLSMALLINT size, SQLSMALLINT *length)
{
    return SQLErrorImpl(Env(henv), Conn(hdbc), static_cast<rcStmtHandle *>(hstmt), state, native, message, size, length);
}

QX_EXPORT SQLRETURN SQLSetConnectOption(SQLHDBC hdbc, SQLUSMALLINT option, SQLULEN value)
{
    if (!hdbc)
        return SQL_INVALID_HANDLE;
    return SQLSetConnectOptionImpl(Conn(hdbc), option, static_cast<uintptr_t>(value));
}

QX_EXPORT SQLRETURN SQLGetConnectOption(SQLHDBC hdbc, SQLUSMALLINT option, SQLPOINTER value)
{
    if (!hdbc)
        return SQL_INVALID_HANDLE;
    return SQLGetConnectOptionImpl(Conn(hdbc), option, value);
}

QX_EXPORT SQLRETURN SQLGetFunctions(SQLHDBC hdbc, SQLUSMALLINT function, SQLUSMALLINT *exists)
{
    if (!hdbc)
        return SQL_INVALID_HANDLE;
    return SQLGetFunctionsImpl(Conn(hdbc), function, exists);
}

QX_EXPORT SQLRETURN SQLGetInfo(SQLHDBC hdbc, SQLUSMALLINT type, SQLPOINTER out, SQLSMALLINT outMax,
                               SQLSMALLINT *length)
{
    if (!hdbc)
        return SQL_INVALID_HANDLE;
    return SQLGetInfoImpl(Conn(hdbc), type, out, outMax, length);
}
