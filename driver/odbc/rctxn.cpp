// The transaction state machine (see rctxn.h).
#include "driver/odbc/rctxn.h"

#include "driver/odbc/rcconn.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/rcstmt.h"
#include "driver/engine/tam.h"
#include "driver/engine/tam_drminfo.h"

#include <atomic>
#include <mutex>

namespace {

constexpr int kEvents = 6;
constexpr int kMaxStates = 7;
constexpr int16_t IGN = -1; // ignore the event
constexpr int16_t DDL = -2; // DDL inside a transaction
constexpr int16_t ACM = -3; // transition in auto-commit mode
constexpr int16_t PAS = -4; // accepted without a transition
constexpr int16_t kTxnOpenState = 1; // manual mode, transaction open

using Table = int16_t[kMaxStates][kEvents];

constexpr Table kModel0 = {
    {ACM, ACM, ACM, ACM, ACM, ACM}, {ACM, ACM, ACM, ACM, ACM, ACM}, {ACM, ACM, ACM, ACM, ACM, ACM},
    {ACM, ACM, ACM, ACM, ACM, ACM}, {IGN, IGN, IGN, IGN, IGN, IGN}, {ACM, ACM, ACM, ACM, ACM, ACM},
};
constexpr Table kModel1 = {
    {IGN, 1, 4, IGN, IGN, IGN}, {DDL, IGN, 5, IGN, 2, 3},     {0, 1, 4, IGN, IGN, IGN},
    {0, 1, 4, IGN, IGN, IGN},   {IGN, IGN, IGN, 0, IGN, IGN}, {IGN, IGN, IGN, 0, IGN, IGN},
};
constexpr Table kModel2 = {
    {1, 1, 4, IGN, IGN, IGN}, {IGN, IGN, 5, IGN, 2, 3},     {1, 1, 4, IGN, IGN, IGN},
    {1, 1, 4, IGN, IGN, IGN}, {IGN, IGN, IGN, 0, IGN, IGN}, {IGN, IGN, IGN, 0, IGN, IGN},
};
constexpr Table kModel3 = {
    {IGN, 1, 4, IGN, IGN, IGN}, {6, IGN, 5, IGN, 2, 3},       {0, 1, 4, IGN, IGN, IGN},
    {0, 1, 4, IGN, IGN, IGN},   {IGN, IGN, IGN, 0, IGN, IGN}, {IGN, IGN, IGN, 0, IGN, IGN},
    {IGN, 1, 4, IGN, IGN, IGN},
};
constexpr Table kModel4 = {
    {IGN, 1, 4, IGN, IGN, IGN}, {PAS, IGN, 5, IGN, 2, 3},     {0, 1, 4, IGN, IGN, IGN},
    {0, 1, 4, IGN, IGN, IGN},   {IGN, IGN, IGN, 0, IGN, IGN}, {IGN, IGN, IGN, 0, IGN, IGN},
};

struct Model {
    const Table *table;
    int states;
};
constexpr Model kModels[5] = {
    {&kModel0, 6}, {&kModel1, 6}, {&kModel2, 6}, {&kModel3, 7}, {&kModel4, 6}};

// Codes sent on entering each state (0 ends the list).
constexpr uint32_t kActions[kMaxStates][2] = {
    {kDrmTransactNone2, 0},
    {kDrmTransactStart, 0},
    {kDrmTransactCommit, 0},
    {kDrmTransactRollBack, 0},
    {kDrmTransactNone1, 0},
    {kDrmTransactCommit, kDrmTransactNone1},
    {kDrmTransactCommit, kDrmTransactNone2},
};

std::atomic<int> g_model{-1};
std::mutex g_initGuard;
std::atomic<uint32_t> g_defaultIsolation{0};
std::atomic<uint32_t> g_optionIsolation{0};

int32_t SendToSession(rcConn *conn, uint32_t code) { return TamSetTransact(conn->session, code); }
std::atomic<rcTxnSendFn> g_send{&SendToSession};

int Send(rcConn *conn, uint32_t code) { return g_send.load()(conn, code) == 0 ? 0 : -1; }

// 0, or the session's code of the first call that failed.
int32_t RunAction(rcConn *conn, int state)
{
    int32_t result = 0;
    for (uint32_t code : kActions[state]) {
        if (code == 0)
            break;
        int32_t rc = g_send.load()(conn, code);
        if (rc != 0 && result == 0)
            result = rc < 0 ? rc : -1; // both calls are made even when the first fails
    }
    return result;
}

// The connection to the server is gone (the server rolled the transaction
// back when the session's link went).
bool LinkLost(int32_t code)
{
    return code == kDrmErrLinkBroken || code == kDrmErrTimedOut ||
           code == kDrmErrServerNotAnswering;
}

// The connection's handle state follows the machine: a transaction open in
// manual mode is state 5 (SQLDisconnect refuses it); any other state leaves
// 5 for 4 or 3, as the connection has statements or not.
void SyncConnState(rcConn *conn)
{
    if (conn->state < RC_CONN_CONNECTED)
        return;
    if (conn->txnState == kTxnOpenState)
        conn->state = RC_CONN_TRANSACTION;
    else if (conn->state == RC_CONN_TRANSACTION)
        conn->state = rcListCount(conn->statements) != 0 ? RC_CONN_STATEMENTS : RC_CONN_CONNECTED;
}

int Fail(rcConn *conn, uint32_t msgId)
{
    rcErrRaise(&conn->errors, msgId);
    return -1;
}

} // namespace

void rcTxnSetSender(rcTxnSendFn send) { g_send.store(send ? send : &SendToSession); }

void rcTxnSelectModel(int model)
{
    if (model >= 0 && model <= 4)
        g_model.store(model);
}

int rcTxnSetModel(int model)
{
    if (model < 0 || model > 4)
        return -1;
    rcTxnSelectModel(model);
    return TamSetDriverOption(0, static_cast<uint32_t>(model)) == 0 ? 0 : -1;
}

int rcTxnCurrentModel() { return g_model.load(); }
void rcTxnResetModel() { g_model.store(-1); }

int rcTxnInit(rcConn *conn)
{
    {
        std::lock_guard<std::mutex> hold(g_initGuard);
        if (g_model.load() < 0) {
            uint32_t capability = 0;
            if (TamGetSessionInfo(conn->session, 115, &capability, sizeof capability) != 0)
                return -1;
            rcTxnSelectModel(capability == 5 ? 0 : static_cast<int>(capability));
        }
    }
    conn->txnState = 4;
    conn->txnOpen = 0;
    SyncConnState(conn);
    if (g_model.load() != 0 && Send(conn, 1) != 0)
        return -1;
    return 0;
}

namespace {

// rcTxnFsmEvent; *lost tells a transaction ended by a lost link (08007 posted).
int Event(rcConn *conn, int event, int *pass, bool *lost)
{
    *lost = false;
    if (pass)
        *pass = 0;
    int model = g_model.load();
    if (model < 0)
        return 0;
    const Model &m = kModels[model];
    if (event < 0 || event >= kEvents)
        return Fail(conn, RC_ENG_INVALID_EVENT_RECEIVED_TSP_FSM);
    int state = conn->txnState;
    if (state < 0 || state >= m.states)
        return Fail(conn, RC_ENG_CURRENT_TSP_STATE_INVALID);
    int16_t next = (*m.table)[state][event];
    switch (next) {
    case IGN: return 0;
    case PAS:
        if (pass)
            *pass = 1;
        return 0;
    case DDL: return Fail(conn, RC_ENG_DDL_STATEMENT_ENCOUNTERED_TRANSACTION);
    case ACM: return Fail(conn, RC_ENG_STATE_TRANSITION_AUTOCOMMIT_MODE);
    default: break;
    }
    if (next >= m.states)
        return Fail(conn, RC_ENG_NEXT_TSP_STATE_STT_INVALID);
    if (int32_t code = RunAction(conn, next)) {
        if (!LinkLost(code))
            return Fail(conn, RC_ENG_ERROR_IN_TSP_STATE_ACTION); // the state stays as it was
        if (event != RC_TXN_EVENT_COMMIT && event != RC_TXN_EVENT_ROLLBACK) {
            rcErrPost(&conn->errors, rcErrMapDrm(code), nullptr, code, nullptr);
            return -1;
        }
        // Ending a transaction on a lost link: it is over whatever was asked
        // (the server rolls a session's transaction back when its link
        // goes), so the machine takes the new state and the call says the
        // connection failed during the transaction.
        conn->txnState = next;
        SyncConnState(conn);
        rcErrPost(&conn->errors, RC_MSG_CONNECTION_FAILURE_DURING_TRANSACTION, nullptr, code,
                  nullptr);
        *lost = true;
        return -1;
    }
    conn->txnState = next;
    SyncConnState(conn);
    return 0;
}

} // namespace

int rcTxnFsmEvent(rcConn *conn, int event, int *pass)
{
    bool lost = false;
    return Event(conn, event, pass, &lost);
}

int rcTxnAutoCommitStep(rcConn *conn)
{
    if (!rcTxnAnyActive() || !rcTxnIsAutoCommit(conn))
        return 0;
    int result = 0;
    if (conn->txnOpen) {
        if (Send(conn, kDrmTransactCommit) != 0)
            result = -1;
        rcTxnToggleOpen(conn);
    }
    if (Send(conn, kDrmTransactStart) != 0)
        result = -1;
    rcTxnToggleOpen(conn);
    return result;
}

int rcTxnStmtComplete(rcConn *conn)
{
    if (!rcTxnIsAutoCommit(conn) || !conn->txnOpen)
        return 0;
    int result = Send(conn, kDrmTransactCommit);
    rcTxnToggleOpen(conn);
    return result;
}

int rcTxnStmtEvent(rcConn *conn, int stmtKind, int *pass)
{
    if (pass)
        *pass = 0;
    if (stmtKind == RC_KIND_USE)
        return 0;
    int event = -1;
    switch (stmtKind) {
    case RC_KIND_CREATE_INDEX:
    case RC_KIND_CREATE_TABLE:
    case RC_KIND_DROP_INDEX:
    case RC_KIND_DROP_TABLE: event = RC_TXN_EVENT_DDL; break;
    case RC_KIND_INSERT:
    case RC_KIND_UPDATE:
    case RC_KIND_DELETE:
    case RC_KIND_CREATE_VIEW:
    case RC_KIND_DROP_VIEW:
    case RC_KIND_QUERY:
    case RC_KIND_QUERY + 1: // the kind after a query's, kept as the transaction model counts it
    case RC_KIND_PROCEDURE: event = RC_TXN_EVENT_DML; break;
    default: break;
    }
    if (event >= 0 && rcTxnFsmEvent(conn, event, pass) != 0)
        return -1;
    return rcTxnAutoCommitStep(conn);
}

int rcTxnSetAutoCommit(rcConn *conn, uint32_t value)
{
    int rc = rcTxnFsmEvent(conn, value ? RC_TXN_EVENT_AUTOCOMMIT_ON : RC_TXN_EVENT_AUTOCOMMIT_OFF,
                           nullptr);
    if (rc == 0)
        conn->autoCommit = value;
    return rc;
}

bool rcTxnAnyActive() { return g_defaultIsolation.load() != 0 || g_optionIsolation.load() != 0; }
bool rcTxnIsAutoCommit(const rcConn *conn) { return conn->txnState == 4 || conn->txnState == 5; }
uint32_t rcTxnStateRef(const rcConn *conn) { return conn->txnOpen; }
void rcTxnToggleOpen(rcConn *conn) { conn->txnOpen = conn->txnOpen ? 0 : 1; }
void rcTxnClearState(rcConn *conn) { conn->txnOpen = 0; }
void rcTxnSetFlag(uint32_t isolation) { g_optionIsolation.store(isolation); }
void rcTxnSetDefaultIsolation(uint32_t bits) { g_defaultIsolation.store(bits); }

int rcExeTxnCommit(rcConn *conn) { return rcTxnFsmEvent(conn, RC_TXN_EVENT_COMMIT, nullptr); }

int rcExeTxnRollback(rcConn *conn)
{
    bool lost = false;
    int rc = Event(conn, RC_TXN_EVENT_ROLLBACK, nullptr, &lost);
    if (rc != 0 && !lost)
        rcErrRaise(&conn->errors, RC_MSG_DRIVER_NOT_CAPABLE);
    return rc;
}
