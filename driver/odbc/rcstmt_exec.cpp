// Statement execution: the steps of preparing and running a statement (see
// rcstmt_exec.h).
#include "driver/odbc/rcstmt_exec.h"

#include <string>

#include "driver/core/rclock.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/exec/rcexe.h"
#include "driver/engine/exec/rcexeprm.h"
#include "driver/engine/exec/rcexestmt.h"
#include "driver/engine/plan/rcplnfile.h"
#include "driver/engine/rcparsehook.h"
#include "driver/engine/rcstmt.h"
#include "driver/engine/tam.h"
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcconnstr.h"
#include "driver/odbc/rcentry.h"
#include "driver/odbc/rcset.h"
#include "driver/odbc/rcstmt_dml.h"
#include "driver/odbc/rcstmt_handle.h"
#include "driver/odbc/rcstmt_param.h"
#include "driver/odbc/rcstmt_source.h"
#include "driver/odbc/rctranslate.h"
#include "driver/odbc/rctxn.h"

namespace {

bool ProducesResult(const rcStmtHandle *s) { return rcStmtProducesResult(s->prep.kind); }

// The engine's record learns only that a statement is prepared: the kind,
// the tree and the counts stay with the prepared state, which the engine is
// handed where it plans.
void MarkPrepared(rcStmtHandle *s) { s->engine->engineState = RC_ENGINE_PREPARED; }

// The transaction model of a SET TxnModel statement. The model is driver
// wide; the data module takes no driver-level option, so its refusal is not
// an error. The connection is put in the new model's starting state, which
// is refused while a transaction is open.
int SetTxnModel(void *context, int model)
{
    auto *s = static_cast<rcStmtHandle *>(context);
    if (s->conn->txnOpen != 0 || s->conn->state >= RC_CONN_TRANSACTION)
        return rcErrRaise(&s->errors, RC_MSG_OPERATION_INVALID_AT_TIME);
    rcTxnSelectModel(model);
    TamSetDriverOption(0, static_cast<uint32_t>(model));
    if (rcTxnInit(s->conn) != 0)
        return rcErrRaise(&s->errors, RC_MSG_GENERAL_ERROR);
    return 0;
}

// Prepares text (terminated) on the statement; the result of preparation.
int16_t PrepareText(rcStmtHandle *s, const char *text)
{
    rcParserLockHold lock;
    rcStmtResetPrepared(s);
    rcSetTarget target;
    target.mask = &s->engine->options.engineOptionMask;
    target.debugLevel = &s->engine->debugLevel;
    target.qryPlan = &s->conn->qryPlan;
    target.drmTrace = &s->conn->drmTrace;
    target.setTxnModel = SetTxnModel;
    target.context = s;
    target.errors = &s->errors;
    int16_t status = -1;
    if (rcDrsSpecialStatement(target, text, &status)) {
        if (status == 0) {
            s->setApplied = 1;
            ++s->conn->prepareEpoch;
        }
        return status;
    }
    uint32_t noScan = 0;
    rcStmtReadOption(SQL_NOSCAN, s->options, &noScan);
    bool escapes = noScan != SQL_NOSCAN_ON;
    int16_t r = rcDrsPrepare(&s->prep, s->source.get(), &s->errors, text, escapes);
    if ((r != 0 && r != 1) || s->prep.kind != RC_KIND_QUERY || s->engine->sourceInfo.parseHook == 0)
        return r;
    // The data module's parse hook sees the checked query once; text it
    // hands back is prepared in place of the caller's.
    std::string replacement;
    if (rcDrmParseHook(s->engine, s->prep.root, text, &replacement) != 0) {
        rcStmtResetPrepared(s);
        return -1;
    }
    if (replacement.empty() || replacement == text)
        return r;
    rcStmtResetPrepared(s);
    return rcDrsPrepare(&s->prep, s->source.get(), &s->errors, replacement.c_str(), escapes);
}

// Plans the prepared statement: a query, or the row source and the work
// areas of a data change (rcstmt_dml.h). Everything a plan reads is known
// by now (rcexestmt.h), so plan errors come from SQLPrepare and every
// execution opens the same plan. 0, or -1 after posting.
int16_t PlanPrepared(rcStmtHandle *s)
{
    if (s->setApplied)
        return 0;
    rcParserLockHold lock;
    if (s->prep.kind == RC_KIND_QUERY)
        return rcStmtMakePlanner(s);
    if (rcStmtIsDataChange(s->prep.kind))
        return rcStmtPlanChange(s);
    return 0;
}

// The type each parameter marker expects, read once from the prepared tree;
// executions only bind values. 0, or -1 after posting.
int16_t TypeParams(rcStmtHandle *s)
{
    uint16_t count = rcStmtParamCount(s);
    return count == 0 ? 0 : rcPrmSetExpected(s->engine, s->prep.root, count);
}

// With the connection's QryPlan flag on, the plan of a prepared query or
// UPDATE is appended to the file the data source's "QryPlanOutput" setting
// names. 1 when the record could not be written (a warning is queued); else
// 0.
int16_t WriteQueryPlan(rcStmtHandle *s, const char *text)
{
    if (s->conn->qryPlan == 0 || s->engine->planner == nullptr ||
        (s->prep.kind != RC_KIND_QUERY && s->prep.kind != RC_KIND_UPDATE))
        return 0;
    char path[kRcAttrValueMax + 1];
    if (rcConGetKeyword(s->conn, "QryPlanOutput", path) == 0)
        return 0;
    rcParserLockHold lock;
    return static_cast<int16_t>(rcSpyQueryPlan(path, text, s->engine->planner, &s->errors));
}

// Opens the query planned at preparation: 0, or -1 posted.
int16_t OpenQuery(rcStmtHandle *s)
{
    if (rcExeOpenStmt(s->engine) != 0)
        return -1;
    s->rowCurrent = false;
    return 0;
}

// True when SQLExecDirect of text may run the handle's kept preparation
// (rcstmt_exec.h): the same text, a query still prepared and planned, and
// nothing changed since that could make it prepare otherwise.
bool CanReuseDirect(const rcStmtHandle *s, const char *text)
{
    return s->directKept && s->directEpoch == s->conn->prepareEpoch && s->conn->qryPlan == 0 &&
           s->engine->sourceInfo.parseHook == 0 && s->prep.kind == RC_KIND_QUERY &&
           s->prep.root != nullptr && s->engine->planner != nullptr && s->setApplied == 0 &&
           s->directText == text;
}

// Keeps the query SQLExecDirect just prepared and ran for the next one.
void KeepDirect(rcStmtHandle *s, const char *text)
{
    s->directText.assign(text);
    s->directEpoch = s->conn->prepareEpoch;
    s->directKept = true;
}

} // namespace

void rcStmtForgetDirect(rcStmtHandle *s) { s->directKept = false; }

SQLRETURN rcStmtCloseIfNeeded(rcStmtHandle *s)
{
    if (s->state < RC_STMT_EXECUTED)
        return SQL_SUCCESS;
    if (ProducesResult(s) && s->state >= RC_STMT_CURSOR_OPEN)
        return rcStmtRaise(s, RC_MSG_INVALID_CURSOR_STATE);
    rcStmtResetCursor(s);
    return SQL_SUCCESS;
}

void rcStmtResetPrepared(rcStmtHandle *s)
{
    // The engine's record first: it only points into the prepared tree.
    rcDrsResetStmt(s->engine);
    rcFeReset(&s->prep);
    s->setApplied = 0;
    rcStmtForgetDirect(s);
}

SQLRETURN rcStmtPrepare(rcStmtHandle *s, const char *text)
{
    // The engine reads Windows-1252: text the application wrote through a
    // translation library comes back to it first.
    std::string translated;
    const char *sqlText = text;
    if (rcXlateLoaded(s->conn)) {
        if (!rcXlateFromApp(s->conn, &s->errors, RC_XLATE_LIBRARY, sqlText, SQL_NTS, &translated))
            return SQL_ERROR;
        sqlText = translated.c_str();
    }
    int16_t r = PrepareText(s, sqlText);
    if (r == 0 || r == 1) {
        MarkPrepared(s);
        if (PlanPrepared(s) != 0 || TypeParams(s) != 0) {
            rcStmtResetPrepared(s);
            r = -1;
        } else if (WriteQueryPlan(s, sqlText) == 1) {
            r = 1;
        }
    }
    if (r != 0 && r != 1) {
        // The handle keeps the state it had; nothing is prepared.
        s->prepared = 0;
        if (s->state == RC_STMT_PREPARED)
            s->state = RC_STMT_ALLOCATED;
        return SQL_ERROR;
    }
    s->state = RC_STMT_PREPARED;
    s->prepared = 1;
    s->rowCount = 0;
    return r == 0 ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
}

SQLRETURN rcStmtExecDirect(rcStmtHandle *s, const char *text)
{
    uint16_t entryState = s->state;
    rcCall prepare(s, "SQLPrepare", RC_CALL_KEEP_QUEUE, kRcLinePrepare, rcStmtAddr(s), text,
                   static_cast<long>(SQL_NTS));
    SQLRETURN rc = rcStmtCloseIfNeeded(s);
    if (rc == SQL_SUCCESS && CanReuseDirect(s, text)) {
        // The kept preparation serves: prepared again as it stands.
        s->state = RC_STMT_PREPARED;
        s->prepared = 1;
        s->rowCount = 0;
    } else if (rc == SQL_SUCCESS) {
        rc = rcStmtPrepare(s, text);
    }
    prepare.done(rc);
    bool warned = rc == SQL_SUCCESS_WITH_INFO;
    bool keep = rc == SQL_SUCCESS && s->prep.kind == RC_KIND_QUERY && s->setApplied == 0;
    if (rc != SQL_ERROR) {
        rcCall execute(s, "SQLExecute", RC_CALL_KEEP_QUEUE, kRcLineExecute, rcStmtAddr(s));
        rc = execute.done(rcStmtExecute(s));
        if (rc == SQL_ERROR)
            rcStmtResetPrepared(s);
    }
    s->prepared = 0;
    // A query that prepared without a warning and ran is kept for the next
    // SQLExecDirect; anything else is not.
    if (keep && (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO))
        KeepDirect(s, text);
    else
        rcStmtForgetDirect(s);
    if (rc == SQL_ERROR) {
        // Back to the state the statement had at entry; what it had prepared
        // is gone.
        s->state = entryState == RC_STMT_PREPARED ? uint16_t{RC_STMT_ALLOCATED} : entryState;
    } else if (warned && rc == SQL_SUCCESS) {
        rc = SQL_SUCCESS_WITH_INFO;
    }
    return rc;
}

SQLRETURN rcStmtExecute(rcStmtHandle *s)
{
    if (!s->prepared) {
        // Never prepared (or the preparation failed): a sequence error.
        if (ProducesResult(s) && s->state >= RC_STMT_CURSOR_OPEN)
            return rcStmtRaise(s, RC_MSG_INVALID_CURSOR_STATE);
        return rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR);
    }
    if (ProducesResult(s) && s->state >= RC_STMT_CURSOR_OPEN)
        return rcStmtRaise(s, RC_MSG_INVALID_CURSOR_STATE);
    return rcStmtExecuteParams(s);
}

SQLRETURN rcStmtParamRunRows(rcStmtHandle *s, bool resume)
{
    rcParamState *st = s->params;
    uint16_t count = rcStmtParamCount(s);
    uint32_t rows = s->paramRows > 0 ? s->paramRows : 1;
    for (; st->row < rows; ++st->row) {
        if (!resume) {
            if (s->paramRowPointer != nullptr)
                *s->paramRowPointer = st->row + 1;
            if (rcStmtParamCheckRow(s, st, count) != 0)
                return SQL_ERROR;
            int16_t r = rcStmtParamPrepareRow(s, st, count);
            if (r < 0)
                return SQL_ERROR;
            if (r == 99) {
                st->dataState = RC_DAE_WAITING;
                return SQL_NEED_DATA;
            }
        }
        resume = false;
        int16_t sent = rcStmtParamSendRow(s, st, count);
        if (sent < 0)
            return SQL_ERROR;
        SQLRETURN rc = rcStmtRunPrepared(s);
        if (rc == SQL_ERROR)
            return SQL_ERROR;
        st->rowCount += s->rowCount;
        st->warned = st->warned || sent == 1 || rc == SQL_SUCCESS_WITH_INFO;
    }
    s->rowCount = st->rowCount;
    return st->warned ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

SQLRETURN rcStmtExecuteParams(rcStmtHandle *s)
{
    uint16_t count = rcStmtParamCount(s);
    if (count == 0)
        return rcStmtRunPrepared(s);
    rcParamState *st = rcStmtParamState(s);
    if (st == nullptr)
        return SQL_ERROR;
    st->current = kRcNoParam;
    st->dataState = RC_DAE_NONE;
    st->row = 0;
    st->rowCount = 0;
    st->warned = false;
    if (s->paramRows > 1 && ProducesResult(s)) {
        rcErrPost(&s->errors, RC_MSG_DRIVER_NOT_CAPABLE, nullptr, 0,
                  "A query takes one row of parameter values.");
        return SQL_ERROR;
    }
    rcPrmNewExecution(s->engine);
    SQLRETURN rc = rcStmtParamRunRows(s, false);
    if (rc != SQL_NEED_DATA)
        st->dataState = RC_DAE_NONE;
    return rc;
}

SQLRETURN rcStmtRunPrepared(rcStmtHandle *s)
{
    // A new run: SQLCancel from another thread stops it (rcDrsCancelRunning).
    rcDrsRunScope running(s->engine, true);
    SQLRETURN rc = SQL_SUCCESS;
    // A definition (table, index, view) run through the connection may
    // change what its texts prepare to: no statement's kept SQLExecDirect
    // preparation serves after it.
    if (rcStmtIsChange(s->prep.kind) && !rcStmtIsDataChange(s->prep.kind))
        ++s->conn->prepareEpoch;
    if (s->setApplied || s->prep.kind == RC_KIND_USE) {
        // An applied SET statement or a USE: done at preparation, no result set.
        s->state = RC_STMT_EXECUTED;
        s->rowCount = 0;
    } else if (rcStmtRefuseReadOnly(s, s->prep.kind)) {
        // The connection became read-only after the statement was prepared.
        rc = SQL_ERROR;
    } else if (s->prep.kind == RC_KIND_CREATE_VIEW || s->prep.kind == RC_KIND_DROP_VIEW) {
        rcParserLockHold lock;
        int event = rcStmtTxnEvent(s);
        if (event < 0 || (event == 0 && rcFeExecuteView(&s->prep) != 0)) {
            rc = SQL_ERROR;
        } else {
            s->state = RC_STMT_EXECUTED;
            s->rowCount = 0;
        }
    } else if (s->prep.kind == RC_KIND_QUERY) {
        // Planned at preparation, opened at each execution; the indexes the
        // plan reads through are validated first when the engine options ask
        // for it (statements of their own, so outside the engine lock).
        {
            rcParserLockHold lock;
            if (rcStmtTxnEvent(s) < 0)
                rc = SQL_ERROR;
        }
        if (rc != SQL_ERROR)
            rcStmtValidateIndexes(s);
        rcParserLockHold lock;
        if (rc == SQL_ERROR || OpenQuery(s) != 0) {
            rc = SQL_ERROR;
        } else {
            s->state = RC_STMT_CURSOR_OPEN;
            s->rowCount = 0;
            if (rcErrQueueAny(&s->errors))
                rc = SQL_SUCCESS_WITH_INFO;
        }
    } else if (rcStmtIsDataChange(s->prep.kind)) {
        // Runs to its end here; SQLRowCount tells how many rows it did.
        rcParserLockHold lock;
        rc = rcStmtExecuteChange(s);
        if (rc != SQL_ERROR)
            s->state = RC_STMT_EXECUTED;
    } else {
        // Procedures are not part of this driver yet; the definitions are
        // refused at preparation (the data source offers none).
        rcErrPost(&s->errors, RC_MSG_DRIVER_NOT_CAPABLE, nullptr, 0,
                  "Execution of procedures is not available yet.");
        rc = SQL_ERROR;
    }
    return rc;
}

void rcStmtResetCursor(rcStmtHandle *s)
{
    rcStmtCloseQuery(s);
    s->rowCount = 0;
    s->extFetched = 0;
    if (s->state >= RC_STMT_EXECUTED && s->state <= RC_STMT_EXT_FETCHED)
        s->state = s->prepared ? RC_STMT_PREPARED : RC_STMT_ALLOCATED;
}

SQLRETURN rcStmtNextRow(rcStmtHandle *s)
{
    rcStmt *e = s->engine;
    s->rowCurrent = false;
    s->state = RC_STMT_FETCHED;
    if (e->endOfData || (e->maxRows != 0 && s->rowCount >= e->maxRows)) {
        e->endOfData = 1;
        return SQL_NO_DATA_FOUND;
    }
    int16_t rc = rcExeFetch(e->planner); // a query's row or a catalog result's
    if (rc < 0) {
        // The plan's state after a failed row is not relied on again.
        rcStmtForgetDirect(s);
        return SQL_ERROR;
    }
    if (rc == PLN_END) {
        e->endOfData = 1;
        e->engineState = RC_ENGINE_DONE;
        return SQL_NO_DATA_FOUND;
    }
    ++s->rowCount;
    ++s->rowSerial;
    s->rowCurrent = true;
    return rc == PLN_ROW_WARNING ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

int16_t rcStmtMakePlanner(rcStmtHandle *s)
{
    return rcExeMakePlanner(s->engine, s->facts, s->prep.root);
}

void rcStmtCloseQuery(rcStmtHandle *s)
{
    s->rowCurrent = false;
    if (s->engine != nullptr)
        rcDrsCloseResult(s->engine);
}
