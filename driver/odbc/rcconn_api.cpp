// Workers of the exported ODBC functions for environments and connections,
// over the connect road (rcconnect.h).
#include "driver/odbc/rcodbc_impl.h"

#include "driver/core/rcmsgid.h"
#include "driver/core/rcregistry.h"
#include "driver/core/rcstr.h"
#include "driver/core/rcstrings.h"
#include "driver/core/rctrace.h"
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcconnect.h"
#include "driver/odbc/rcconnstr.h"
#include "driver/odbc/rcentry.h"
#include "driver/odbc/rcoption.h"
#include "driver/odbc/rcstmt_handle.h"
#include "driver/odbc/rctranslate.h"
#include "driver/odbc/rctxn.h"

#include <algorithm>
#include <string>

namespace {

unsigned long Addr(const void *p)
{
    return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p));
}

// Owns the terminated copies of string arguments for one call.
class Args {
public:
    ~Args() { rcArgFreeStrings(pairs_, count_); }
    uint32_t Take(const SQLCHAR *text, SQLSMALLINT length, const char **out)
    {
        rcArgString &p = pairs_[count_++];
        uint32_t id =
            rcArgCopyString(&p, reinterpret_cast<const char *>(text), length, kRcArgNoMaximum, 0);
        *out = p.text;
        return id;
    }

private:
    rcArgString pairs_[3] = {};
    size_t count_ = 0;
};

void OpenOdbcTrace(rcConn *conn)
{
    const char *dsn = conn->attrs[RC_ATTR_DSN].value;
    if (!*dsn || conn->odbcTrace)
        return;
    conn->odbcTrace =
        rcTraceOpen(rcRegGetIniRoot().c_str(), dsn, "OdbcTrace", &conn->odbcTraceLevel);
}

// A connect's result: a warning queued on the way makes success one with
// information.
SQLRETURN Result(SQLRETURN rc, bool warning)
{
    return rc == SQL_SUCCESS && warning ? SQL_SUCCESS_WITH_INFO : rc;
}

// After a successful connect: state 3 and the translation library.
SQLRETURN Connected(rcConn *conn, SQLRETURN rc, bool *warning)
{
    if (rc == 1)
        *warning = true;
    conn->state = RC_CONN_CONNECTED;
    SQLRETURN x = rcConnLoadTranslation(conn);
    if (x == 1)
        *warning = true;
    return x == -1 ? SQL_ERROR : SQL_SUCCESS;
}

// A connect call on a connected handle is refused before it touches the
// attributes: the session in use stays as it is (08002).
bool InUse(rcConn *conn)
{
    if (conn->state < RC_CONN_CONNECTED)
        return false;
    rcErrRaise(&conn->errors, RC_MSG_CONNECTION_USE);
    return true;
}

} // namespace

SQLRETURN SQLAllocEnvImpl(SQLHENV *phenv)
{
    if (!phenv)
        return SQL_ERROR;
    rcEnv *env = nullptr;
    SQLRETURN rc = rcEnvAlloc(&env);
    *phenv = env;
    return rc;
}

SQLRETURN SQLFreeEnvImpl(rcEnv *env)
{
    // An environment with connections is not freed: they keep a pointer to
    // it, and a later SQLFreeConnect would use the freed record.
    rcMutexLock(env->lock);
    rcErrClearQueue(&env->errors);
    bool inUse = rcListCount(env->connections) > 0;
    if (inUse)
        rcErrRaise(&env->errors, RC_MSG_FUNCTION_SEQUENCE_ERROR);
    rcMutexUnlock(env->lock);
    if (inUse)
        return SQL_ERROR;
    rcEnvFree(env);
    return SQL_SUCCESS;
}

SQLRETURN SQLAllocConnectImpl(rcEnv *env, SQLHDBC *phdbc)
{
    rcErrClearQueue(&env->errors);
    if (!phdbc)
        return static_cast<SQLRETURN>(rcErrRaise(&env->errors, RC_MSG_INVALID_ARGUMENT_VALUE));
    rcConn *conn = nullptr;
    SQLRETURN rc = rcConAlloc(env, &conn);
    *phdbc = conn;
    return rc;
}

SQLRETURN SQLFreeConnectImpl(rcConn *conn)
{
    rcConFree(conn);
    return SQL_SUCCESS;
}

SQLRETURN SQLConnectImpl(rcConn *conn, const SQLCHAR *dsnIn, SQLSMALLINT cbDsn,
                         const SQLCHAR *uidIn, SQLSMALLINT cbUid, const SQLCHAR *pwdIn,
                         SQLSMALLINT cbPwd)
{
    rcCall call(conn, "SQLConnect");
    if (InUse(conn))
        return SQL_ERROR;
    Args args;
    const char *dsn = nullptr, *uid = nullptr, *pwd = nullptr;
    uint32_t id = args.Take(dsnIn, cbDsn, &dsn);
    if (id == RC_MSG_NO_ERROR)
        id = args.Take(uidIn, cbUid, &uid);
    if (id == RC_MSG_NO_ERROR)
        id = args.Take(pwdIn, cbPwd, &pwd);
    if (id != RC_MSG_NO_ERROR) {
        rcErrRaise(&conn->errors, id);
        return SQL_ERROR;
    }
    if (dsn && *dsn) {
        rcConnSetAttr(conn, RC_ATTR_DSN, dsn);
        OpenOdbcTrace(conn);
    }
    // The password never reaches a trace line.
    call.line("SQLConnect(0x%08lx, \"%s\", %d, \"%s\", %d, \"%s\", %d)", Addr(conn),
              dsn ? dsn : "NULL", cbDsn, uid ? uid : "NULL", cbUid, pwd ? "****" : "NULL", cbPwd);
    rcConnSetAttr(conn, RC_ATTR_DSN, dsn ? dsn : "");
    rcConnSetAttr(conn, RC_ATTR_UID, uid ? uid : "");
    rcConnSetAttr(conn, RC_ATTR_PWD, pwd ? pwd : "");
    bool warning = false;
    SQLRETURN rc = rcConSqlConnect(conn);
    if (rc == SQL_NEED_DATA)
        rc = SQL_ERROR;
    if (rc != SQL_ERROR)
        rc = Connected(conn, rc, &warning);
    if (rc == SQL_ERROR)
        rcConnUndoConnect(conn);
    return call.done(Result(rc, warning));
}

SQLRETURN SQLDriverConnectImpl(rcConn *conn, SQLHWND hwnd, const SQLCHAR *inText, SQLSMALLINT cbIn,
                               SQLCHAR *out, SQLSMALLINT cbOutMax, SQLSMALLINT *pcbOut,
                               SQLUSMALLINT completion)
{
    rcCall call(conn, "SQLDriverConnect");
    if (InUse(conn))
        return SQL_ERROR;
    Args args;
    const char *in = nullptr;
    uint32_t id = args.Take(inText, cbIn, &in);
    if (id != RC_MSG_NO_ERROR) {
        rcErrRaise(&conn->errors, id);
        return SQL_ERROR;
    }
    bool warning = false;
    SQLRETURN rc = rcConnParseConnStr(conn, in ? in : "");
    if (rc == SQL_SUCCESS_WITH_INFO)
        warning = true;
    OpenOdbcTrace(conn);
    std::string masked = rcConnMaskSecrets(in);
    call.line("SQLDriverConnect(0x%08lx, 0x%04x, \"%-.600s\", %d, 0x%08lx, %d, 0x%08lx, %d)",
              Addr(conn), static_cast<unsigned>(Addr(hwnd)), masked.c_str(), cbIn, Addr(out),
              cbOutMax, Addr(pcbOut), completion);
    if (rc != SQL_ERROR) {
        rc = completion == SQL_DRIVER_NOPROMPT ? rcConSqlConnect(conn)
                                               : rcConDriverConnect(conn, hwnd, completion);
        if (rc == SQL_NEED_DATA)
            rc = SQL_ERROR;
        if (rc != SQL_ERROR && rc != SQL_NO_DATA) {
            rc = Connected(conn, rc, &warning);
            // Without a buffer the completed string's length is still reported.
            if (rc != SQL_ERROR && (out || pcbOut)) {
                int64_t length = 0;
                rc = rcConnBuildConnStr(conn, reinterpret_cast<char *>(out), cbOutMax, &length,
                                        false);
                if (pcbOut)
                    *pcbOut = static_cast<SQLSMALLINT>(length > 0x7FFF ? 0x7FFF : length);
            }
        }
    }
    if (rc == SQL_ERROR || rc == SQL_NO_DATA)
        rcConnUndoConnect(conn);
    return call.done(Result(rc, warning));
}

SQLRETURN SQLBrowseConnectImpl(rcConn *conn, const SQLCHAR *inText, SQLSMALLINT cbIn, SQLCHAR *out,
                               SQLSMALLINT cbOutMax, SQLSMALLINT *pcbOut)
{
    rcCall call(conn, "SQLBrowseConnect");
    if (InUse(conn))
        return SQL_ERROR;
    Args args;
    const char *in = nullptr;
    uint32_t id = args.Take(inText, cbIn, &in);
    if (id != RC_MSG_NO_ERROR) {
        rcErrRaise(&conn->errors, id);
        return SQL_ERROR;
    }
    bool warning = false;
    bool refused = false; // the connect attempt itself failed
    SQLRETURN rc = rcConnParseConnStr(conn, in ? in : "");
    if (rc == SQL_SUCCESS_WITH_INFO)
        warning = true;
    OpenOdbcTrace(conn);
    std::string masked = rcConnMaskSecrets(in);
    call.line("SQLBrowseConnect(0x%08lx, \"%-.600s\", %d, 0x%08lx, %d, 0x%08lx)", Addr(conn),
              masked.c_str(), cbIn, Addr(out), cbOutMax, Addr(pcbOut));
    auto build = [&]() -> SQLRETURN {
        rcConnMarkBrowseRequired(conn);
        int64_t length = 0;
        SQLRETURN b =
            rcConnBuildConnStr(conn, reinterpret_cast<char *>(out), cbOutMax, &length, true);
        if (pcbOut)
            *pcbOut = static_cast<SQLSMALLINT>(length > 0x7FFF ? 0x7FFF : length);
        return b;
    };
    if (rc != SQL_ERROR) {
        rc = build();
        if (rc == SQL_NEED_DATA) {
            conn->state = RC_CONN_BROWSING;
        } else if (rc != SQL_ERROR) {
            if (rc == SQL_SUCCESS_WITH_INFO)
                warning = true;
            rc = rcConSqlConnect(conn);
            if (rc == SQL_NEED_DATA) {
                conn->state = RC_CONN_BROWSING;
                rc = build();
            } else if (rc == SQL_ERROR) {
                refused = true;
            } else {
                rc = Connected(conn, rc, &warning);
                if (rc != SQL_ERROR && (out || pcbOut)) {
                    int64_t length = 0;
                    rc = rcConnBuildConnStr(conn, reinterpret_cast<char *>(out), cbOutMax, &length,
                                            false);
                    if (pcbOut)
                        *pcbOut = static_cast<SQLSMALLINT>(length > 0x7FFF ? 0x7FFF : length);
                }
            }
        }
    }
    // A failed connect ends the browse with the attributes cleared: the
    // refused values would otherwise stay set (the first value of a key
    // wins) and every later attempt would repeat them. Other failures keep
    // the attributes so that the browse can go on.
    if (rc == SQL_ERROR && (refused || conn->state >= RC_CONN_CONNECTED)) {
        rcConnUndoConnect(conn);
        conn->state = RC_CONN_ALLOCATED;
    } else if (rc == SQL_ERROR)
        conn->qualifier[0] = '\0';
    return call.done(Result(rc, warning));
}

SQLRETURN SQLDisconnectImpl(rcConn *conn)
{
    rcCall call(conn, "SQLDisconnect", 0, "SQLDisconnect(0x%08lx)", Addr(conn));
    SQLRETURN rc = SQL_SUCCESS;
    if (conn->state < RC_CONN_CONNECTED) {
        conn->state = RC_CONN_ALLOCATED;
        rcConnClearAttributes(conn);
    } else if (conn->state == RC_CONN_TRANSACTION) {
        rc = static_cast<SQLRETURN>(rcErrRaise(&conn->errors, RC_MSG_INVALID_TRANSACTION_STATE));
    } else {
        rc = rcConSetConnectOption(conn, SQL_TRANSLATE_DLL, reinterpret_cast<uintptr_t>(""));
        if (rc != SQL_ERROR && rcConnDropStatements(conn) != 0) {
            const char *text = rcUtlLoadString(RC_TXT_COULD_NOT_FREE_ALL_STATEMENTS);
            if (text && *text)
                rcErrPost(&conn->errors, RC_MSG_GENERAL_ERROR, nullptr, 0, text);
            else
                rcErrRaise(&conn->errors, RC_MSG_MEMORY_ALLOCATION_ERROR);
            rc = SQL_ERROR;
        }
        if (rc != SQL_ERROR) {
            // A failed end of session still drops the session: the handle
            // goes back to allocated, never connected without a session.
            rc = rcConDisconnect(conn);
            conn->state = RC_CONN_ALLOCATED;
            rcConnClearAttributes(conn);
        }
    }
    call.done(rc);
    if (conn->state == RC_CONN_ALLOCATED) {
        rcTraceClose(conn->odbcTrace);
        conn->odbcTrace = nullptr;
    }
    return rc;
}

SQLRETURN SQLTransactImpl(rcEnv *, rcConn *conn, SQLUSMALLINT type)
{
    if (!conn)
        return SQL_INVALID_HANDLE;
    rcCall call(conn, "SQLTransact", 0, "SQLTransact(0x%08lx)", Addr(conn));
    SQLRETURN rc =
        static_cast<SQLRETURN>(type == SQL_COMMIT ? rcExeTxnCommit(conn) : rcExeTxnRollback(conn));
    if (rc != SQL_ERROR && conn->state >= RC_CONN_CONNECTED)
        conn->state = rcListCount(conn->statements) ? RC_CONN_STATEMENTS : RC_CONN_CONNECTED;
    return call.done(rc);
}

SQLRETURN SQLErrorImpl(rcEnv *env, rcConn *conn, rcStmtHandle *stmt, SQLCHAR *state,
                       SQLINTEGER *native, SQLCHAR *message, SQLSMALLINT size, SQLSMALLINT *length)
{
    rcErrorQueue *queue = nullptr;
    rcConn *traceConn = conn;
    if (stmt) {
        queue = &stmt->errors;
        traceConn = stmt->conn;
    } else if (conn) {
        queue = &conn->errors;
    } else if (env) {
        queue = &env->errors;
    }
    rcTraceChannel *trace = traceConn ? traceConn->odbcTrace : nullptr;
    uint32_t level = traceConn ? traceConn->odbcTraceLevel : 0;
    if (!traceConn || !rcXlateLoaded(traceConn) || !message)
        return rcErrSQLError(queue, trace, level, env, conn, stmt, state, native, message, size,
                             length);
    // Messages name tables, columns and values as the driver has them: the
    // application reads them through the translation library, cut at a
    // whole character.
    char text[4096] = {};
    SQLSMALLINT textLength = 0;
    SQLRETURN rc = rcErrSQLError(queue, trace, level, env, conn, stmt, state, native,
                                 reinterpret_cast<SQLCHAR *>(text), sizeof text, &textLength);
    if (!SQL_SUCCEEDED(rc))
        return rc;
    int64_t full = 0;
    bool cut = rcXlateCopyOut(traceConn, reinterpret_cast<char *>(message), text, size, &full);
    if (length)
        *length = static_cast<SQLSMALLINT>(std::min<int64_t>(full, 0x7FFF));
    return cut ? SQL_SUCCESS_WITH_INFO : rc;
}
