// Statement handles: allocation, preparation, execution as far as it goes,
// cursor names, statement options and the states between them (see
// rcstmt_handle.h).
#include "driver/odbc/rcstmt_api.h"

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "driver/odbc/rcconn.h"
#include "driver/core/rclock.h"
#include "driver/core/rcmsgid.h"
#include "driver/odbc/rcodbc_impl.h"
#include "driver/odbc/rcoption.h"
#include "driver/core/rcstr.h"
#include "driver/core/rctrace.h"
#include "driver/engine/rcstmt.h"
#include "driver/engine/plan/rcplnfile.h"
#include "driver/engine/rcparsehook.h"
#include "driver/engine/tam.h"
#include "driver/odbc/rcconnstr.h"
#include "driver/odbc/rcset.h"
#include "driver/odbc/rctranslate.h"
#include "driver/odbc/rctxn.h"
#include "driver/odbc/rcstmt_dml.h"
#include "driver/odbc/rcstmt_fetch.h"
#include "driver/odbc/rcstmt_param.h"
#include "driver/odbc/rcstmt_source.h"
#include "driver/odbc/rcstmt_validate.h"
#include "platform/strings.h"

namespace {

bool ProducesResult(const rcStmtHandle *s) { return s->prep.kind >= 100 && s->prep.kind < 4096; }

// Before a handle is reused: an open result set must be closed first.
SQLRETURN CloseIfNeeded(rcStmtHandle *s)
{
    if (s->state < RC_STMT_EXECUTED)
        return SQL_SUCCESS;
    if (ProducesResult(s) && s->state >= RC_STMT_CURSOR_OPEN)
        return rcStmtRaise(s, RC_MSG_INVALID_CURSOR_STATE);
    rcStmtCloseCursor(s);
    return SQL_SUCCESS;
}

// Forgets what was prepared: tables closed, tree and records freed.
void ResetPrepared(rcStmtHandle *s)
{
    // The engine's record first: it only points into the prepared tree.
    rcDrsResetStmt(s->engine);
    rcFeReset(&s->prep);
    s->setApplied = 0;
}

// Tells the engine's record what was prepared: kind, tree, counts. The tree
// stays owned by the prepared state; the engine reads it.
void PublishPrepared(rcStmtHandle *s)
{
    rcStmt *e = s->engine;
    e->kind = s->prep.kind;
    e->selectRoot = s->prep.selectRoot;
    e->parseRoot = s->prep.root;
    e->paramCount = static_cast<uint16_t>(s->prep.params.size());
    e->resultColumnCount = static_cast<uint16_t>(s->prep.columns.size());
    e->engineState = RC_ENGINE_PREPARED;
}

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
    ResetPrepared(s);
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
        if (status == 0)
            s->setApplied = 1;
        return status;
    }
    uint32_t noScan = 0;
    rcStmtReadOption(SQL_NOSCAN, s->options, &noScan);
    bool escapes = noScan != SQL_NOSCAN_ON;
    int16_t r = rcFePrepare(&s->prep, s->source.get(), &s->errors, text, escapes);
    if ((r != 0 && r != 1) || s->prep.kind != RC_KIND_QUERY || s->engine->sourceInfo.parseHook == 0)
        return r;
    // The data module's parse hook sees the checked query once; text it
    // hands back is prepared in place of the caller's.
    std::string replacement;
    s->engine->parseRoot = s->prep.root;
    if (rcDrmParseHook(s->engine, s->prep.root, text, &replacement) != 0) {
        ResetPrepared(s);
        return -1;
    }
    if (replacement.empty() || replacement == text)
        return r;
    ResetPrepared(s);
    return rcFePrepare(&s->prep, s->source.get(), &s->errors, replacement.c_str(), escapes);
}

// With the connection's QryPlan flag on, a prepared query or UPDATE is
// planned at once and its plan appended to the file the data source's
// "QryPlanOutput" setting names. -1 when planning failed (posted); 1 when
// the record could not be written (a warning is queued); else 0.
int16_t WriteQueryPlan(rcStmtHandle *s, const char *text)
{
    if (s->conn->qryPlan == 0 || (s->prep.kind != RC_KIND_QUERY && s->prep.kind != RC_KIND_UPDATE))
        return 0;
    rcParserLockHold lock;
    if (rcStmtMakePlanner(s) != 0)
        return -1;
    char path[kRcAttrValueMax + 1];
    if (rcConGetKeyword(s->conn, "QryPlanOutput", path) == 0)
        return 0;
    return static_cast<int16_t>(rcSpyQueryPlan(path, text, s->engine->planner, &s->errors));
}

// The text of a call's argument, copied when it came with a length.
struct ArgText {
    rcArgString arg{};
    uint32_t msg = RC_MSG_NO_ERROR;
    ArgText(const SQLCHAR *text, int64_t length)
    {
        msg =
            rcArgCopyString(&arg, reinterpret_cast<const char *>(text), length, kRcArgNoMaximum, 0);
    }
    ~ArgText() { rcArgFreeStrings(&arg, 1); }
    const char *c_str() const { return arg.text != nullptr ? arg.text : ""; }
    const char *trace() const { return arg.text != nullptr ? arg.text : "NULL"; }
};

} // namespace

void rcStmtCloseCursor(rcStmtHandle *s)
{
    rcStmtCloseQuery(s);
    s->rowCount = 0;
    s->extFetched = 0;
    if (s->state >= RC_STMT_EXECUTED && s->state <= RC_STMT_EXT_FETCHED)
        s->state = s->prepared ? RC_STMT_PREPARED : RC_STMT_ALLOCATED;
}

SQLRETURN SQLAllocStmtImpl(rcConn *conn, SQLHSTMT *phstmt)
{
    rcTraceCall(conn->odbcTrace, "SQLAllocStmt(0x%08lx, 0x%08lx)", rcStmtAddr(conn),
                rcStmtAddr(phstmt));
    rcErrClearQueue(&conn->errors);
    SQLRETURN rc = SQL_SUCCESS;
    rcStmtHandle *handle = nullptr;
    if (phstmt != nullptr)
        *phstmt = SQL_NULL_HSTMT;
    if (conn->state < RC_CONN_CONNECTED)
        rc = static_cast<SQLRETURN>(rcErrRaise(&conn->errors, RC_MSG_CONNECTION_NOT_OPEN));
    else if (phstmt == nullptr)
        rc = static_cast<SQLRETURN>(rcErrRaise(&conn->errors, RC_MSG_INVALID_ARGUMENT_VALUE));
    else if (rcStmtHandleAlloc(conn, &handle) != 0)
        rc = SQL_ERROR;
    else
        *phstmt = handle;
    rcTraceReturn(conn->odbcTrace, "SQLAllocStmt", rc);
    return rc;
}

SQLRETURN SQLFreeStmtImpl(rcStmtHandle *s, SQLUSMALLINT option)
{
    rcConn *conn = s->conn;
    rcTraceCall(conn->odbcTrace, "SQLFreeStmt(0x%08lx, %u)", rcStmtAddr(s), option);
    rcErrClearQueue(&s->errors);
    switch (option) {
    case SQL_CLOSE: rcStmtCloseCursor(s); break;
    case SQL_DROP: {
        // The handle is gone after this: only the connection is used.
        SQLRETURN rc = rcStmtHandleFree(s) == 0 ? SQL_SUCCESS : SQL_ERROR;
        rcTraceReturn(conn->odbcTrace, "SQLFreeStmt", rc);
        return rc;
    }
    case SQL_UNBIND: s->bindings.clear(); break;
    case SQL_RESET_PARAMS: rcStmtParamReset(s); break;
    default: break;
    }
    return rcStmtDone(s, "SQLFreeStmt", SQL_SUCCESS);
}

SQLRETURN SQLPrepareImpl(rcStmtHandle *s, const SQLCHAR *text, SQLINTEGER length)
{
    ArgText sql(text, length);
    rcTraceCall(s->conn->odbcTrace, "SQLPrepare(0x%08lx, \"%-.600s\", %ld)", rcStmtAddr(s),
                sql.trace(), static_cast<long>(length));
    if (!s->inExecDirect)
        rcErrClearQueue(&s->errors);
    s->keepDiagnostics = 0;
    if (CloseIfNeeded(s) != SQL_SUCCESS)
        return rcStmtDone(s, "SQLPrepare", SQL_ERROR);
    if (sql.msg != RC_MSG_NO_ERROR)
        return rcStmtDone(s, "SQLPrepare", rcStmtRaise(s, sql.msg));
    // The engine reads Windows-1252: text the application wrote through a
    // translation library comes back to it first.
    std::string translated;
    const char *sqlText = sql.c_str();
    if (rcXlateLoaded(s->conn)) {
        if (!rcXlateFromApp(s->conn, &s->errors, RC_XLATE_LIBRARY, sqlText, SQL_NTS, &translated))
            return rcStmtDone(s, "SQLPrepare", SQL_ERROR);
        sqlText = translated.c_str();
    }
    int16_t r = PrepareText(s, sqlText);
    SQLRETURN rc;
    if (r == 0 || r == 1) {
        PublishPrepared(s);
        int16_t plan = WriteQueryPlan(s, sqlText);
        if (plan < 0) {
            ResetPrepared(s);
            r = -1;
        } else if (plan == 1) {
            r = 1;
        }
    }
    if (r == 0 || r == 1) {
        s->state = RC_STMT_PREPARED;
        s->prepared = 1;
        s->rowCount = 0;
        rc = r == 0 ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
    } else {
        // The handle keeps the state it had; nothing is prepared.
        s->prepared = 0;
        if (s->state == RC_STMT_PREPARED)
            s->state = RC_STMT_ALLOCATED;
        rc = SQL_ERROR;
    }
    return rcStmtDone(s, "SQLPrepare", rc);
}

SQLRETURN rcStmtRunPrepared(rcStmtHandle *s)
{
    // A new run: SQLCancel from another thread stops it (rcDrsCancelRunning).
    rcDrsRunScope running(s->engine, true);
    SQLRETURN rc = SQL_SUCCESS;
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
        // Planned at the first execution after a prepare, opened at each;
        // the indexes the plan reads through are validated in between when
        // the engine options ask for it (statements of their own, so outside
        // the engine lock).
        {
            rcParserLockHold lock;
            if (rcStmtTxnEvent(s) < 0 || rcStmtMakePlanner(s) != 0)
                rc = SQL_ERROR;
        }
        if (rc != SQL_ERROR)
            rcStmtValidateIndexes(s);
        rcParserLockHold lock;
        if (rc == SQL_ERROR || rcStmtOpenQuery(s) != 0) {
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

SQLRETURN SQLExecuteImpl(rcStmtHandle *s)
{
    rcTraceCall(s->conn->odbcTrace, "SQLExecute(0x%08lx)", rcStmtAddr(s));
    if (!s->keepDiagnostics)
        rcErrClearQueue(&s->errors);
    if (!s->prepared) {
        // Never prepared (or the preparation failed): a sequence error.
        if (ProducesResult(s) && s->state >= RC_STMT_CURSOR_OPEN)
            return rcStmtDone(s, "SQLExecute", rcStmtRaise(s, RC_MSG_INVALID_CURSOR_STATE));
        return rcStmtDone(s, "SQLExecute", rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR));
    }
    if (ProducesResult(s) && s->state >= RC_STMT_CURSOR_OPEN)
        return rcStmtDone(s, "SQLExecute", rcStmtRaise(s, RC_MSG_INVALID_CURSOR_STATE));
    return rcStmtDone(s, "SQLExecute", rcStmtExecuteParams(s));
}

SQLRETURN SQLExecDirectImpl(rcStmtHandle *s, const SQLCHAR *text, SQLINTEGER length)
{
    ArgText sql(text, length);
    rcTraceCall(s->conn->odbcTrace, "SQLExecDirect(0x%08lx, \"%-.600s\", %ld)", rcStmtAddr(s),
                sql.trace(), static_cast<long>(length));
    rcErrClearQueue(&s->errors);
    if (sql.msg != RC_MSG_NO_ERROR)
        return rcStmtDone(s, "SQLExecDirect", rcStmtRaise(s, sql.msg));
    uint16_t entryState = s->state;
    s->inExecDirect = 1;
    SQLRETURN rc = SQLPrepareImpl(s, reinterpret_cast<const SQLCHAR *>(sql.c_str()), SQL_NTS);
    bool warned = rc == SQL_SUCCESS_WITH_INFO;
    if (rc != SQL_ERROR) {
        s->keepDiagnostics = 1;
        rc = SQLExecuteImpl(s);
        s->keepDiagnostics = 0;
        if (rc == SQL_ERROR)
            ResetPrepared(s);
    }
    s->prepared = 0;
    s->inExecDirect = 0;
    if (rc == SQL_ERROR) {
        // Back to the state the statement had at entry; what it had prepared
        // is gone.
        s->state = entryState == RC_STMT_PREPARED ? uint16_t{RC_STMT_ALLOCATED} : entryState;
    } else if (warned && rc == SQL_SUCCESS) {
        rc = SQL_SUCCESS_WITH_INFO;
    }
    return rcStmtDone(s, "SQLExecDirect", rc);
}

SQLRETURN SQLCancelImpl(rcStmtHandle *s)
{
    // Called without the connection's lock. A statement that another
    // thread is executing or fetching is only flagged: that call ends with
    // "Operation cancelled." at its next row. On a statement no call runs,
    // cancelling (under the lock) ends a data-at-execution dialogue and
    // closes the cursor. While the lock is held for some other call of the
    // connection, the two are asked again until one applies.
    rcConn *conn = s->conn;
    if (conn == nullptr || conn->tag != kRcConnTag || conn->lock == nullptr)
        return SQL_INVALID_HANDLE;
    for (;;) {
        if (rcDrsCancelRunning(s->engine)) {
            rcTraceCall(conn->odbcTrace, "SQLCancel(0x%08lx)", rcStmtAddr(s));
            return rcStmtDone(s, "SQLCancel", SQL_SUCCESS);
        }
        if (rcMutexTryLock(conn->lock) == 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    rcTraceCall(conn->odbcTrace, "SQLCancel(0x%08lx)", rcStmtAddr(s));
    rcErrClearQueue(&s->errors);
    rcStmtParamCancel(s);
    rcStmtCloseCursor(s);
    SQLRETURN rc = rcStmtDone(s, "SQLCancel", SQL_SUCCESS);
    rcMutexUnlock(conn->lock);
    return rc;
}

SQLRETURN SQLSetCursorNameImpl(rcStmtHandle *s, const SQLCHAR *name, SQLSMALLINT length)
{
    ArgText arg(name, length);
    rcTraceCall(s->conn->odbcTrace, "SQLSetCursorName(0x%08lx, \"%s\", %d)", rcStmtAddr(s),
                arg.trace(), length);
    rcErrClearQueue(&s->errors);
    if (s->state >= RC_STMT_CURSOR_OPEN)
        return rcStmtDone(s, "SQLSetCursorName", rcStmtRaise(s, RC_MSG_INVALID_CURSOR_STATE));
    if (arg.msg != RC_MSG_NO_ERROR)
        return rcStmtDone(s, "SQLSetCursorName", rcStmtRaise(s, arg.msg));
    const char *text = arg.c_str();
    size_t n = std::strlen(text);
    if (n == 0 || n > kRcCursorNameMax)
        return rcStmtDone(s, "SQLSetCursorName", rcStmtRaise(s, RC_MSG_INVALID_CURSOR_NAME));
    rcList *list = s->conn->statements;
    for (uint32_t i = 0; list != nullptr && i < rcListCount(list); ++i) {
        auto *other = *static_cast<rcStmtHandle **>(rcListAt(list, i));
        if (other != s && PlatAsciiCaseCompare(other->cursorName, text) == 0)
            return rcStmtDone(s, "SQLSetCursorName", rcStmtRaise(s, RC_MSG_DUPLICATE_CURSOR_NAME));
    }
    std::memcpy(s->cursorName, text, n + 1);
    s->cursorNameSet = 1;
    return rcStmtDone(s, "SQLSetCursorName", SQL_SUCCESS);
}

SQLRETURN SQLGetCursorNameImpl(rcStmtHandle *s, SQLCHAR *name, SQLSMALLINT size,
                               SQLSMALLINT *length)
{
    rcTraceCall(s->conn->odbcTrace, "SQLGetCursorName(0x%08lx, 0x%08lx, %d, 0x%08lx)",
                rcStmtAddr(s), rcStmtAddr(name), size, rcStmtAddr(length));
    rcErrClearQueue(&s->errors);
    bool available = (s->state < RC_STMT_EXECUTED && s->cursorNameSet) ||
                     (s->state >= RC_STMT_EXECUTED && ProducesResult(s));
    if (!available)
        return rcStmtDone(s, "SQLGetCursorName", rcStmtRaise(s, RC_MSG_NO_CURSOR_NAME_AVAILABLE));
    // An executed query without a name of the application's has the default.
    rcStmtDefaultCursorName(s);
    int64_t full = 0;
    SQLRETURN rc = SQL_SUCCESS;
    if (rcCopyOutString(reinterpret_cast<char *>(name), s->cursorName, size, &full) &&
        name != nullptr) {
        rcStmtRaise(s, RC_MSG_DATA_TRUNCATED);
        rc = SQL_SUCCESS_WITH_INFO;
    }
    if (length != nullptr)
        *length = static_cast<SQLSMALLINT>(full);
    return rcStmtDone(s, "SQLGetCursorName", rc);
}

SQLRETURN SQLRowCountImpl(rcStmtHandle *s, SQLLEN *count)
{
    rcTraceCall(s->conn->odbcTrace, "SQLRowCount(0x%08lx, 0x%08lx)", rcStmtAddr(s),
                rcStmtAddr(count));
    rcErrClearQueue(&s->errors);
    if (s->state < RC_STMT_EXECUTED)
        return rcStmtDone(s, "SQLRowCount", rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR));
    // The rows a data change did; the rows fetched so far of a query once
    // it is positioned; -1 for every other statement.
    if (count != nullptr) {
        if (rcStmtIsDataChange(s->prep.kind))
            *count = static_cast<SQLLEN>(s->rowCount);
        else if (s->prep.kind == RC_KIND_QUERY && s->state >= RC_STMT_FETCHED)
            *count = static_cast<SQLLEN>(s->rowCount);
        else
            *count = -1;
    }
    return rcStmtDone(s, "SQLRowCount", SQL_SUCCESS);
}

SQLRETURN SQLMoreResultsImpl(rcStmtHandle *s)
{
    rcTraceCall(s->conn->odbcTrace, "SQLMoreResults(0x%08lx)", rcStmtAddr(s));
    rcErrClearQueue(&s->errors);
    rcStmtCloseCursor(s);
    return rcStmtDone(s, "SQLMoreResults", SQL_NO_DATA_FOUND);
}
