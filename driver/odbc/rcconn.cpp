// Environment and connection handles, connect and disconnect (see rcconn.h).
#include "driver/odbc/rcconn.h"

#include "driver/core/rccnv.h"
#include "driver/odbc/rcconnstr.h"
#include "driver/odbc/rcentry.h"
#include "driver/core/rcmem.h"
#include "driver/core/rcmsgid.h"
#include "driver/odbc/rcoption.h"
#include "driver/core/rcregistry.h"
#include "driver/core/rcstr.h"
#include "driver/core/rcstrings.h"
#include "driver/core/rctrace.h"
#include "driver/odbc/rctranslate.h"
#include "driver/odbc/rctypecat.h"
#include "driver/engine/tam.h"
#include "driver/engine/tam_drminfo.h"
#include "driver/engine/tam_login.h"
#include "driver/odbc/rcinfo.h"
#include "driver/odbc/rctxn.h"
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

// The four information texts are per connection here (the connection frees
// them with itself), so no connection frees another's.
bool EnsureInfoTexts(rcConn *conn)
{
    char **texts[] = {&conn->info.driverName, &conn->info.dbmsName, &conn->info.isamVersion,
                      &conn->info.qualTerm};
    for (char **t : texts) {
        if (!*t)
            *t = static_cast<char *>(rcMemAlloc(kRcInfoTextSize));
        if (!*t)
            return false;
    }
    return true;
}

void FreeInfoTexts(rcConn *conn)
{
    char **texts[] = {&conn->info.driverName, &conn->info.dbmsName, &conn->info.isamVersion,
                      &conn->info.qualTerm};
    for (char **t : texts) {
        rcMemFree(*t);
        *t = nullptr;
    }
}

uint32_t AskNumber(rcConn *conn, uint32_t item)
{
    uint32_t v = 0;
    TamGetSessionInfo(conn->session, item, &v, sizeof v);
    return v;
}

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

uint32_t rcConConnectedCount() { return g_connected.load(); }

void rcErrPostConnDrm(rcConn *conn, int32_t code)
{
    struct Ctx {
        TamSession *session;
    } ctx{conn->session};
    auto text = [](void *c, int32_t drmCode, char *buffer, size_t size) {
        uint32_t got = 0;
        TamGetExtErrStr(static_cast<Ctx *>(c)->session, drmCode, buffer,
                        static_cast<uint32_t>(size), &got);
    };
    rcErrPostDrm(&conn->errors, rcErrMapDrm(code), code, nullptr, text, &ctx);
}

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
    conn->stmtLink.conn = conn;
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
    rcListFreeRef(&conn->stmtLink.block.tablePasswords); // passwords the dialog added
    rcErrQueueDestroy(&conn->errors);
    rcConnClearAttributes(conn); // wipes the password
    rcConFreeKeywords(conn);
    rcTypFreeCatalog(conn);
    FreeInfoTexts(conn);
    rcTraceClose(conn->engineTrace);
    rcTraceClose(conn->odbcTrace);
    rcMutexRelease(&conn->lock);
    delete conn;
}

void rcConReadDrmInfo(rcConn *conn)
{
    rcSourceInfo &info = conn->info;
    uint32_t v = 0;
    TamGetDriverInfo(1, &v, sizeof v);
    info.validateQualifier = v;
    if (EnsureInfoTexts(conn)) {
        TamGetDriverInfo(2, info.driverName, kRcInfoTextSize);
        TamGetSessionInfo(conn->session, 112, info.dbmsName, kRcInfoTextSize);
        TamGetSessionInfo(conn->session, 113, info.isamVersion, kRcInfoTextSize);
        TamGetSessionInfo(conn->session, 114, info.qualTerm, kRcInfoTextSize);
    }
    info.collate = AskNumber(conn, 100);
    info.access = AskNumber(conn, 101);
    info.indexSupport = AskNumber(conn, 102);
    info.colNullable = AskNumber(conn, 103);
    info.tabNameExt = AskNumber(conn, 111);
    info.pdFilterSupport = AskNumber(conn, 118);
    info.joinPushDown = AskNumber(conn, 119);
    info.qualMaxLen = static_cast<uint16_t>(AskNumber(conn, 108));
    info.tabNameMaxLen = static_cast<uint16_t>(AskNumber(conn, 109));
    info.colNameMaxLen = static_cast<uint16_t>(AskNumber(conn, 110));
    static constexpr struct {
        uint32_t item;
        uint32_t bit;
    } kBits[] = {{105, RC_CAP_TABLE_CASE},      {106, RC_CAP_COLUMN_CASE},
                 {107, RC_CAP_QUALIFIER_CASE},  {104, RC_CAP_TABLE_PASSWORD},
                 {121, RC_CAP_SEEK_FIRST_LAST}, {120, RC_CAP_FOLD_UPPER},
                 {122, RC_CAP_PRIMARY_KEY},     {123, RC_CAP_FOREIGN_KEY},
                 {124, RC_CAP_TABLE_PRIVILEGE}, {125, RC_CAP_COLUMN_PRIVILEGE},
                 {126, RC_CAP_PROCEDURES},      {127, RC_CAP_VIEWS},
                 {128, RC_CAP_COLUMNS_BY_NAME}, {129, RC_CAP_FILTER_INDEX},
                 {130, RC_CAP_STORE_KEYWORDS}};
    info.capabilities = 0;
    for (const auto &b : kBits)
        if (AskNumber(conn, b.item))
            info.capabilities |= b.bit;
    // The transaction answers: isolation words for the transaction machine,
    // and the engine's transaction flag from the capability.
    uint32_t answer = 0;
    rcInfDrmBitmask(conn, 46, &answer);
    conn->options.txnFlag = answer == 5 ? 0 : 1;
    rcInfDrmBitmask(conn, 72, &answer);
    rcInfDrmBitmask(conn, 26, &answer);
    if (conn->session) {
        conn->session->exactQualifiers = (info.capabilities & RC_CAP_QUALIFIER_CASE) ? 1 : 0;
        conn->session->infoDue = 0;
    }
    rcList *predicates = nullptr;
    if (TamLoadExtPredicates(conn->session, &predicates) == 0 && conn->session) {
        TamFreeExtPredicates(conn->session->extPredicates);
        conn->session->extPredicates = predicates;
    }
}

rcSourceInfo *rcConDrmInfo(rcConn *conn)
{
    if (conn->session && conn->session->infoDue)
        rcConReadDrmInfo(conn);
    return &conn->info;
}

int16_t rcConSetQualifier(rcConn *conn, const char *text, int32_t *native)
{
    *native = 0;
    size_t n = strnlen(text, kRcQualifierMax + 1);
    if (n > kRcQualifierMax) {
        rcErrPost(&conn->errors, RC_MSG_UNABLE_CONNECT_DATABASE_SERVER, nullptr, 0,
                  rcUtlLoadString(RC_TXT_PATH_NAME_GREATER_THAN_CURRENT));
        return -1;
    }
    if (conn->session && conn->state >= RC_CONN_CONNECTED) {
        int32_t rc = TamUseDatabase(conn->session, text);
        if (rc != 0) {
            *native = rc;
            rcErrPostConnDrm(conn, rc);
            return -1;
        }
    }
    std::memmove(conn->qualifier, text, n);
    conn->qualifier[n] = '\0';
    return 0;
}

int rcConCopyUid(rcConn *conn, char *buffer, int64_t size, int64_t *length)
{
    return rcCopyOutString(buffer, conn->attrs[RC_ATTR_UID].value, size, length);
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
