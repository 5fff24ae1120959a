// The workers behind the exported ODBC functions of the connection road. Each
// writes the call trace line, empties the error queues of its handles, does
// the work and writes the return trace line. Inside the driver call these,
// never the exported names.
#pragma once

#include <sql.h>
#include <sqlext.h>

struct rcEnv;
struct rcConn;
struct rcStmtHandle;

SQLRETURN SQLAllocEnvImpl(SQLHENV *phenv);
SQLRETURN SQLFreeEnvImpl(rcEnv *env);
SQLRETURN SQLAllocConnectImpl(rcEnv *env, SQLHDBC *phdbc);
SQLRETURN SQLFreeConnectImpl(rcConn *conn);
SQLRETURN SQLConnectImpl(rcConn *conn, const SQLCHAR *dsn, SQLSMALLINT cbDsn, const SQLCHAR *uid,
                         SQLSMALLINT cbUid, const SQLCHAR *pwd, SQLSMALLINT cbPwd);
SQLRETURN SQLDriverConnectImpl(rcConn *conn, SQLHWND hwnd, const SQLCHAR *in, SQLSMALLINT cbIn,
                               SQLCHAR *out, SQLSMALLINT cbOutMax, SQLSMALLINT *pcbOut,
                               SQLUSMALLINT completion);
SQLRETURN SQLBrowseConnectImpl(rcConn *conn, const SQLCHAR *in, SQLSMALLINT cbIn, SQLCHAR *out,
                               SQLSMALLINT cbOutMax, SQLSMALLINT *pcbOut);
SQLRETURN SQLDisconnectImpl(rcConn *conn);
SQLRETURN SQLTransactImpl(rcEnv *env, rcConn *conn, SQLUSMALLINT type);
SQLRETURN SQLGetInfoImpl(rcConn *conn, SQLUSMALLINT type, SQLPOINTER out, SQLSMALLINT outMax,
                         SQLSMALLINT *length);
SQLRETURN SQLErrorImpl(rcEnv *env, rcConn *conn, rcStmtHandle *stmt, SQLCHAR *state,
                       SQLINTEGER *native, SQLCHAR *message, SQLSMALLINT size, SQLSMALLINT *length);
