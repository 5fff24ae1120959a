// Execution of data changes on a statement handle (see rcstmt_dml.h).
#include "driver/odbc/rcstmt_dml.h"

#include <cstdio>

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/exec/rcexedml.h"
#include "driver/engine/exec/rcexestmt.h"
#include "driver/engine/rcstmt.h"
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcstmt_handle.h"
#include "driver/odbc/rctxn.h"

namespace {

// Copies the records the connection's queue holds from index `from` on.
void CopyConnRecords(rcStmtHandle *s, uint32_t from)
{
    rcErrorQueue *q = &s->conn->errors;
    uint32_t count = rcErrQueueCount(q);
    for (uint32_t k = from; k < count; ++k) {
        auto *r = static_cast<const rcErrorRecord *>(rcListAt(q->list, k));
        if (r != nullptr)
            rcErrPost(&s->errors, r->msgId, r->sqlState[0] != '\0' ? r->sqlState : nullptr,
                      r->native, r->text);
    }
}

} // namespace

bool rcStmtIsDataChange(uint16_t kind)
{
    return kind == RC_KIND_INSERT || kind == RC_KIND_UPDATE || kind == RC_KIND_DELETE;
}

bool rcStmtIsChange(uint16_t kind)
{
    switch (kind) {
    case RC_KIND_INSERT:
    case RC_KIND_UPDATE:
    case RC_KIND_DELETE:
    case RC_KIND_CREATE_INDEX:
    case RC_KIND_CREATE_TABLE:
    case RC_KIND_DROP_INDEX:
    case RC_KIND_DROP_TABLE:
    case RC_KIND_CREATE_VIEW:
    case RC_KIND_DROP_VIEW: return true;
    default: return false;
    }
}

bool rcStmtRefuseReadOnly(rcStmtHandle *s, uint16_t kind)
{
    if (s->conn->accessMode != SQL_MODE_READ_ONLY || !rcStmtIsChange(kind))
        return false;
    rcErrRaise(&s->errors, RC_MSG_ACCESS_VIOLATION);
    return true;
}

int rcStmtTxnEvent(rcStmtHandle *s)
{
    uint32_t before = rcErrQueueCount(&s->conn->errors);
    int pass = 0;
    if (rcTxnStmtEvent(s->conn, s->prep.kind, &pass) != 0) {
        CopyConnRecords(s, before);
        if (!rcErrQueueAny(&s->errors))
            rcErrRaise(&s->errors, RC_MSG_GENERAL_ERROR);
        return -1;
    }
    return pass != 0 ? 1 : 0;
}

int16_t rcStmtPlanChange(rcStmtHandle *s)
{
    rcStmt *e = s->engine;
    if (rcExeMakePlanner(e, s->facts, s->prep.root) != 0)
        return -1;
    if (e->dataChange != nullptr)
        return 0;
    rcExeDml *dml = nullptr;
    if (rcExeDmlPrepare(e->planner, s->prep.root, &dml) != 0)
        return -1;
    e->dataChange.hang(dml, &rcExeDmlFree);
    return 0;
}

SQLRETURN rcStmtExecuteChange(rcStmtHandle *s)
{
    s->rowCount = 0;
    if (rcStmtRefuseReadOnly(s, s->prep.kind))
        return SQL_ERROR;
    int event = rcStmtTxnEvent(s);
    if (event < 0)
        return SQL_ERROR;
    if (event > 0)
        return SQL_SUCCESS; // the transaction model says the statement does not run
    rcStmt *e = s->engine;
    if (e->planner == nullptr || e->dataChange == nullptr)
        return static_cast<SQLRETURN>(rcErrRaise(&s->errors, RC_MSG_GENERAL_ERROR));
    rcExeDmlResult result;
    int16_t r = rcExeDmlRun(e->planner, e->dataChange, &result);
    s->rowCount = result.rows;
    e->engineState = RC_ENGINE_DONE;
    // Under auto-commit the change is committed as the statement completes;
    // inside a manual transaction SQLTransact ends it.
    uint32_t before = rcErrQueueCount(&s->conn->errors);
    if (rcTxnStmtComplete(s->conn) != 0) {
        CopyConnRecords(s, before);
        if (before == rcErrQueueCount(&s->conn->errors))
            rcErrRaise(&s->errors, RC_MSG_GENERAL_ERROR);
        return SQL_ERROR;
    }
    // An UPDATE or DELETE some of whose rows failed fails as a whole, in
    // either transaction mode, and says how far it came: the rows changed
    // before the failure stay changed (committed under auto-commit; inside a
    // manual transaction SQLTransact can roll them back).
    bool failed = r < 0 || result.failedRows > 0;
    if (failed && result.rows > 0) {
        char text[96];
        std::snprintf(text, sizeof text, "%lu row(s) changed before the failure, %lu failed.",
                      static_cast<unsigned long>(result.rows),
                      static_cast<unsigned long>(result.failedRows));
        rcErrPost5171(&s->errors, text); // a warning record beside the row's error
    }
    if (failed)
        return SQL_ERROR;
    return r == 0 ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
}
