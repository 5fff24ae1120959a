// The connect road: environments and connections from allocation to free,
// connect and disconnect (see rcconnect.h).
#include "driver/odbc/rcconnect.h"

#include "driver/core/rccnv.h"
#include "driver/core/rcmem.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcregistry.h"
#include "driver/core/rcstr.h"
#include "driver/core/rcstrings.h"
#include "driver/core/rctrace.h"
#include "driver/engine/rcspy.h"
#include "driver/engine/tam.h"
#include "driver/engine/tam_drminfo.h"
#include "driver/engine/tam_login.h"
#include "driver/odbc/rcconnstr.h"
#include "driver/odbc/rcinfo.h"
#include "driver/odbc/rcoption.h"
#include "driver/odbc/rcstmt_handle.h"
#include "driver/odbc/rctranslate.h"
#include "driver/odbc/rctxn.h"
#include "driver/odbc/rctypecat.h"
#include "platform/codepage.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <unistd.h>

namespace {

std::atomic<uint32_t> g_connected{0};
std::atomic<bool> g_convertersRegistered{false};

void EndSession(rcConn *conn)
{
    if (!conn->session)
        return;
    TamFreeExtPredicates(conn->session->extPredicates);
    conn->session->extPredicates = nullptr;
    TamEndSession(conn->session);
    conn->session = nullptr;
    rcTypFreeCatalog(conn);
}

} // namespace

int16_t rcEnvAlloc(rcEnv **out)
{
    *out = nullptr;
    rcEnv *env = static_cast<rcEnv *>(rcMemAlloc(sizeof(rcEnv)));
    if (!env)
        return -1;
    if (rcInitDriverGlobals() != 0) {
        rcMemFree(env);
        return -1;
    }
    rcMutexCreate(rcParserLockVar());
    if (rcMutexCreate(&env->lock) != 0 ||
        !(env->connections = rcListCreate(4, sizeof(rcConn *), true, 0))) {
        rcEnvFree(env);
        return -1;
    }
    env->tag = kRcEnvTag;
    *out = env;
    return 0;
}

void rcEnvFree(rcEnv *env)
{
    if (!env)
        return;
    env->tag = 0;
    if (env->lock)
        rcMutexLock(env->lock);
    rcErrClearQueue(&env->errors);
    rcListDestroy(env->connections);
    env->connections = nullptr;
    rcErrQueueDestroy(&env->errors);
    if (env->lock)
        rcMutexUnlock(env->lock);
    rcMutexRelease(&env->lock);
    rcMemFree(env);
    rcPoolFreeAll();
    rcMutexRelease(rcParserLockVar());
}

int16_t rcConAlloc(rcEnv *env, rcConn **out)
{
    *out = nullptr;
    rcRegInitIniRoot(kRcDefaultIniRoot);
    rcConn *conn = new (std::nothrow) rcConn{};
    if (!conn)
        return static_cast<int16_t>(rcErrRaise(&env->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    conn->autoCommit = 1;
    conn->txnIsolation = 1;
    // The statement options whose ODBC default is not 0: a read-only cursor,
    // a rowset of one row, data retrieved at the fetch.
    rcStmtStoreOption(SQL_CONCURRENCY, conn->stmtDefaults, SQL_CONCUR_READ_ONLY);
    rcStmtStoreOption(SQL_ROWSET_SIZE, conn->stmtDefaults, 1);
    rcStmtStoreOption(SQL_RETRIEVE_DATA, conn->stmtDefaults, SQL_RD_ON);
    conn->maxColSupport = kRcMinMaxColSupport;
    if (rcConInitKeywords(conn) != 0) {
        delete conn;
        return static_cast<int16_t>(rcErrRaise(&env->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    }
    rcConnInitFunctions(conn, 2);
    conn->env = env;
    conn->state = RC_CONN_ALLOCATED;
    conn->statements = rcListCreate(4, sizeof(void *), true, 0);
    bool listed = false;
    if (conn->statements && rcMutexCreate(&conn->lock) == 0) {
        rcMutexLock(env->lock);
        listed = rcListAppend(env->connections, &conn) == 0;
        rcMutexUnlock(env->lock);
    }
    if (!listed) {
        rcConFree(conn);
        return static_cast<int16_t>(rcErrRaise(&env->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    }
    rcConnClearAttributes(conn);
    conn->tag = kRcConnTag;
    *out = conn;
    return 0;
}

void rcConFree(rcConn *conn)
{
    if (!conn)
        return;
    conn->tag = 0;
    rcErrClearQueue(&conn->errors);
    if (conn->env && conn->env->lock) {
        rcMutexLock(conn->env->lock);
        uint32_t index = 0;
        if (rcListFindKey(conn->env->connections, &conn, &index) == 0)
            rcListRemoveAt(conn->env->connections, index);
        rcMutexUnlock(conn->env->lock);
    }
    EndSession(conn);
    rcXlateUnload(conn);
    rcConFreePending(conn);
    rcListDestroy(conn->statements);
    rcListFreeRef(&conn->stmtOptions.tablePasswords); // passwords the dialog added
    rcErrQueueDestroy(&conn->errors);
    rcConnClearAttributes(conn); // wipes the password
    rcConFreeKeywords(conn);
    rcTypFreeCatalog(conn);
    rcInfFreeSourceInfo(conn);
    rcTraceClose(conn->engineTrace);
    rcTraceClose(conn->odbcTrace);
    rcMutexRelease(&conn->lock);
    delete conn;
}

int16_t rcConConnect(rcConn *conn, const char *dsn, const char *dbq, const char *uid,
                     const char *pwd, const char *codePage, int32_t *native)
{
    *native = 0;
    auto fail = [conn]() -> int16_t {
        conn->qualifier[0] = '\0';
        return -1;
    };
    size_t dbqLength = std::strlen(dbq);
    if (dbqLength > kRcQualifierMax) {
        rcErrPost(&conn->errors, RC_MSG_UNABLE_CONNECT_DATABASE_SERVER, nullptr, 0,
                  rcUtlLoadString(RC_TXT_PATH_NAME_GREATER_THAN_CURRENT));
        return fail();
    }
    std::memcpy(conn->qualifier, dbq, dbqLength + 1);

    TamSession *session = nullptr;
    int32_t rc =
        TamBeginSession(TamSessionLink{&conn->xlate, &conn->errors}, 0, &session, uid, pwd, 0, dsn);
    if (rc < 0) {
        *native = rc;
        rcErrPostConnDrm(conn, rc);
        return fail();
    }
    if (!session) {
        // Never a failure without a record.
        rcErrRaise(&conn->errors, RC_MSG_GENERAL_ERROR);
        return fail();
    }
    // The engine works in Windows-1252: the translation library stands at
    // the application boundary (rctranslate.h), not between the engine and
    // the data module. The login was the one value that goes straight from
    // the application to the data source.
    session->link.translator = nullptr;
    conn->session = session;
    rcConReadDrmInfo(conn);
    rcConPassKeywords(conn);

    auto failSession = [&](int32_t code) -> int16_t {
        if (code != 0) {
            *native = code;
            rcErrPostConnDrm(conn, code);
        }
        EndSession(conn);
        return fail();
    };
    rc = TamSetSessionOption(session, kDrmSessionOptionCodePage,
                             static_cast<uint32_t>(std::strtoul(codePage, nullptr, 10)));
    if (rc ==
        0) // SQL_LOGIN_TIMEOUT bounds the connect as a whole (0: the data source's or the default)
        rc = TamSetSessionOption(session, kDrmSessionOptionLoginTimeout, conn->loginTimeout);
    if (rc == 0)
        rc = TamUseDatabase(session, conn->qualifier);
    if (rc != 0)
        return failSession(rc);
    // The login is done with the password given; databases opened later log
    // in with the connection's password attribute (the prompt road stores
    // the final one there when the connect is over).
    TamSetLoginPassword(session, conn->attrs[RC_ATTR_PWD].value);
    bool expected = false;
    if (g_convertersRegistered.compare_exchange_strong(expected, true))
        rcCnvInit();
    if (rcTypLoadCatalog(conn) != 0 || rcTxnInit(conn) != 0) {
        if (!rcErrQueueAny(&conn->errors))
            rcErrRaise(&conn->errors, RC_MSG_GENERAL_ERROR);
        return failSession(0);
    }
    // Options set before connect; the connection counts as connected for them.
    uint16_t state = conn->state;
    conn->state = RC_CONN_CONNECTED;
    int16_t replay = rcConReplayPending(conn);
    conn->state = state;
    if (replay == -1)
        return failSession(0);
    g_connected.fetch_add(1);
    conn->options.mask = 0;
    rcOptApplyEngineOptions(conn, &conn->options);
    return replay;
}

int16_t rcConSqlConnect(rcConn *conn)
{
    const char *dsn = conn->attrs[RC_ATTR_DSN].value;
    if (!conn->engineTrace)
        conn->engineTrace = rcTraceOpen(rcRegGetIniRoot().c_str(), dsn, "EngineTrace",
                                        &conn->options.engineTraceLevel);
    if (std::strlen(conn->attrs[RC_ATTR_PWD].value) > kTamPasswordMax)
        return static_cast<int16_t>(rcErrRaise(&conn->errors, RC_ENG_PASSWORD_TOO_LONG));
    if (std::strlen(conn->attrs[RC_ATTR_UID].value) > kTamUserMax)
        return static_cast<int16_t>(rcErrRaise(&conn->errors, RC_ENG_USER_ID_TOO_LONG));
    char value[kRcAttrValueMax + 1];
    if (!conn->attrs[RC_ATTR_DBQ].value[0]) {
        rcConGetKeyword(conn, rcUtlLoadString(RC_TXT_DBQ), value);
        if (!value[0] && !getcwd(value, sizeof value))
            value[0] = '\0';
        rcConnSetAttr(conn, RC_ATTR_DBQ, value);
    }
    if (!conn->attrs[RC_ATTR_CODEPAGE].value[0]) {
        rcConGetKeyword(conn, rcUtlLoadString(RC_TXT_CODEPAGE), value);
        if (!value[0])
            std::snprintf(value, sizeof value, "%u", PlatAnsiCodePage());
        rcConnSetAttr(conn, RC_ATTR_CODEPAGE, value);
    }
    if (!conn->attrs[RC_ATTR_UID].value[0]) {
        rcConGetKeyword(conn, rcUtlLoadString(RC_TXT_UID), value);
        if (std::strlen(value) > 128)
            return static_cast<int16_t>(rcErrRaise(&conn->errors, RC_ENG_USER_ID_TOO_LONG));
        rcConnSetAttr(conn, RC_ATTR_UID, value);
    }
    int32_t native = 0;
    return rcConConnect(conn, dsn, conn->attrs[RC_ATTR_DBQ].value, conn->attrs[RC_ATTR_UID].value,
                        conn->attrs[RC_ATTR_PWD].value, conn->attrs[RC_ATTR_CODEPAGE].value,
                        &native);
}

int16_t rcConDisconnect(rcConn *conn)
{
    int16_t result = 0;
    if (conn->session) {
        TamFreeExtPredicates(conn->session->extPredicates);
        conn->session->extPredicates = nullptr;
        int32_t rc = TamEndSession(conn->session);
        // The session is gone whatever the data module answered.
        conn->session = nullptr;
        rcTypFreeCatalog(conn);
        if (rc < 0) {
            // rcErrPostConnDrm would ask the ended session for a text.
            rcErrPost(&conn->errors, rcErrMapDrm(rc), nullptr, rc, nullptr);
            result = -1;
        }
        uint32_t before = g_connected.load();
        while (before > 0 && !g_connected.compare_exchange_weak(before, before - 1)) {}
        if (before == 1) {
            rcSpyCloseAllWindows();
            if (g_convertersRegistered.exchange(false))
                rcCnvFreeMatrix();
        }
    }
    return result;
}

void rcConnUndoConnect(rcConn *conn)
{
    if (conn->state >= RC_CONN_CONNECTED || conn->session) {
        rcConDisconnect(conn);
        conn->state = RC_CONN_ALLOCATED;
    }
    rcConnClearAttributes(conn);
}

int16_t rcConnLoadTranslation(rcConn *conn)
{
    const char *dsn = conn->attrs ? conn->attrs[RC_ATTR_DSN].value : "";
    std::string root = rcRegGetIniRoot();
    // Room for more than a library name may hold: a name too long to load is
    // refused by rcXlateLoad, never read as "no library". The connection
    // string's keys win over the data source's.
    char name[4096] = "";
    if (conn->xlateConnName[0])
        rcUtlCopyString(conn->xlateConnName, name, sizeof name);
    else
        rcRegGetIniValue(root.c_str(), dsn, "TranslationDLL", "", name, sizeof name);
    bool warning = false;
    if (*name) {
        // The option's own work: warnings already queued stay.
        int16_t rc =
            rcConSetConnectOption(conn, SQL_TRANSLATE_DLL, reinterpret_cast<uintptr_t>(name));
        if (rc == -1)
            return -1;
        warning = rc == 1;
    }
    char option[64] = "";
    if (conn->xlateConnOption[0])
        rcUtlCopyString(conn->xlateConnOption, option, sizeof option);
    else
        rcRegGetIniValue(root.c_str(), dsn, "TranslationOption", "", option, sizeof option);
    if (*option) {
        int16_t rc =
            rcConSetConnectOption(conn, SQL_TRANSLATE_OPTION, std::strtoul(option, nullptr, 10));
        if (rc == -1)
            return -1;
        warning = warning || rc == 1;
    }
    return warning ? 1 : 0;
}

void rcOptApplyEngineOptions(rcConn *conn, rcEngineOptions *block)
{
    char value[kRcAttrValueMax + 1];
    for (const rcOptEntry &e : rcOptTable) {
        if (!e.isSwitch)
            continue;
        bool found = rcConGetKeyword(conn, e.name, value) != 0;
        if (e.bit == RC_OPT_MAXCOLSUPPORT) {
            uint32_t n = found ? rcOptReadNumber(value) : kRcMinMaxColSupport;
            if (n < kRcMinMaxColSupport)
                n = kRcMinMaxColSupport;
            conn->maxColSupport = static_cast<uint16_t>(n > 0xFFFF ? 0xFFFF : n);
            continue;
        }
        if (!found || rcOptValueIsOff(value))
            continue;
        if (e.bit == RC_OPT_QRYPLAN)
            conn->qryPlan = 1;
        // PrsSpy and FiltSpy open the spy output of the dumps (rcspy.h).
        if (e.bit == RC_OPT_PRSSPY || e.bit == RC_OPT_FILTSPY)
            rcSpyOpen();
        block->mask |= e.bit;
    }
}
