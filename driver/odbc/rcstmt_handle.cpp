// Statement handles and the connection's side of the engine's statements
// (see rcstmt_handle.h).
#include "driver/odbc/rcstmt_handle.h"

#include "driver/core/rcmsgid.h"
#include "driver/core/rctrace.h"
#include "driver/engine/rcstmt.h"
#include "driver/frontend/fe_view.h"
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcoption.h"
#include "driver/odbc/rcstmt_api.h"
#include "driver/engine/exec/rcexeprm.h"
#include "driver/odbc/rcstmt_fetch.h"
#include "driver/odbc/rcstmt_param.h"
#include "driver/odbc/rcstmt_source.h"
#include "driver/odbc/rctypecat.h"
#include "platform/strings.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>

rcErrorQueue *rcConnStmtLink::errors() { return &conn->errors; }

const rcStmtOptionBlock *rcConnStmtLink::options()
{
    block.engineOptionMask = conn->options.mask;
    return &block;
}

void rcConnStmtLink::sourceInfo(rcStmtSourceInfo *info)
{
    const rcSourceInfo *src = rcConDrmInfo(conn);
    *info = rcStmtSourceInfo{};
    // The capability bits the engine reads have the data module's values.
    info->capabilities =
        src->capabilities & (RC_SRC_CAP_TABLE_PASSWORDS | RC_SRC_CAP_SEEK_FIRST_LAST |
                             RC_SRC_CAP_UPPER_NAMES | RC_SRC_CAP_PROCEDURES | RC_SRC_CAP_VIEWS);
    info->filterMask = src->pdFilterSupport;
    info->joinMask = src->joinPushDown;
    info->maxQualifierLength = src->qualMaxLen;
    info->maxColumns = conn->maxColSupport;
    info->driverName = src->driverName ? src->driverName : "";
    info->qualifierTerm = src->qualTerm ? src->qualTerm : "";
}

bool rcConnStmtLink::typeInfo(int16_t sqlType, uint32_t *columnSize, int16_t *scale)
{
    if (!rcTypHasSqlType(conn, sqlType))
        return false;
    *columnSize = rcTypCatPrecision(conn, sqlType);
    *scale = rcTypCatMaxScale(conn, sqlType);
    return true;
}

TamSession *rcConnStmtLink::session() { return conn->session; }

rcTraceChannel *rcConnStmtLink::engineTrace() { return conn->engineTrace; }
const char *rcConnStmtLink::qualifier() { return conn->qualifier; }

namespace {

// What the layers above hang on the engine's record: the planner context
// (released through the fetch code's parts) and the view catalogue.
const rcStmtParts *StmtParts()
{
    static const rcStmtParts parts = [] {
        rcStmtParts p = *rcStmtFetchParts();
        p.releaseViews = rcVwReleaseCatalog;
        p.freeParams = rcPrmFreeAll;
        return p;
    }();
    return &parts;
}

} // namespace

int16_t rcStmtHandleAlloc(rcConn *conn, rcStmtHandle **out)
{
    *out = nullptr;
    rcStmtHandle *handle = new (std::nothrow) rcStmtHandle;
    if (!handle)
        return static_cast<int16_t>(rcErrRaise(&conn->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    handle->conn = conn;
    std::copy(std::begin(conn->stmtDefaults), std::end(conn->stmtDefaults),
              std::begin(handle->options));
    handle->source.reset(new (std::nothrow) rcConnFeSource(conn));
    int16_t rc =
        handle->source
            ? rcDrsAllocStmt(&conn->stmtLink, &handle->errors, StmtParts(), &handle->engine)
            : static_cast<int16_t>(rcErrRaise(&conn->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    if (rc == 0 && rcListAppend(conn->statements, &handle) != 0)
        rc = static_cast<int16_t>(rcErrRaise(&conn->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    if (rc != 0) {
        // The engine posts a failed allocation on the connection.
        if (handle->engine)
            rcDrsDropStmt(handle->engine);
        rcErrQueueDestroy(&handle->errors);
        delete handle;
        return -1;
    }
    handle->prep.stmt = handle->engine;
    handle->source->SetStatement(handle->engine);
    // The engine keeps the row limit the fetch honours.
    rcStmtReadOption(SQL_MAX_ROWS, handle->options, &handle->engine->maxRows);
    if (conn->state == RC_CONN_CONNECTED)
        conn->state = RC_CONN_STATEMENTS;
    *out = handle;
    return 0;
}

int16_t rcStmtHandleFree(rcStmtHandle *handle)
{
    rcConn *conn = handle->conn;
    // The engine's state first (the plan reads the prepared tree and its
    // tables), then the prepared statement: its tables close through the
    // source.
    if (handle->engine)
        rcDrsResetStmt(handle->engine);
    rcFeReset(&handle->prep);
    rcStmtParamFree(handle);
    int16_t rc = handle->engine ? rcDrsDropStmt(handle->engine) : 0;
    uint32_t index = 0;
    if (rcListFindKey(conn->statements, &handle, &index) == 0)
        rcListRemoveAt(conn->statements, index);
    if (conn->state == RC_CONN_STATEMENTS && rcListCount(conn->statements) == 0)
        conn->state = RC_CONN_CONNECTED;
    rcErrQueueDestroy(&handle->errors);
    handle->tag = 0;
    delete handle;
    return rc;
}

void rcStmtDefaultCursorName(rcStmtHandle *s)
{
    if (s->cursorName[0] != '\0')
        return;
    rcList *list = s->conn->statements;
    char name[sizeof s->cursorName];
    for (;;) {
        std::snprintf(name, sizeof name, "SQL_CUR%lx",
                      static_cast<unsigned long>(s->conn->cursorCounter++));
        bool taken = false;
        for (uint32_t i = 0; list != nullptr && i < rcListCount(list) && !taken; ++i) {
            auto *other = *static_cast<rcStmtHandle **>(rcListAt(list, i));
            taken = other != s && PlatAsciiCaseCompare(other->cursorName, name) == 0;
        }
        if (!taken)
            break;
    }
    std::memcpy(s->cursorName, name, sizeof name);
}

int rcConnDropStatements(rcConn *conn)
{
    int result = 0;
    while (rcListCount(conn->statements) > 0) {
        auto *handle = *static_cast<rcStmtHandle **>(
            rcListAt(conn->statements, rcListCount(conn->statements) - 1));
        if (rcStmtHandleFree(handle) != 0)
            result = -1;
    }
    return result;
}

bool rcConnStmtBusy(rcConn *conn)
{
    for (uint32_t i = 0; i < rcListCount(conn->statements); ++i)
        if ((*static_cast<rcStmtHandle **>(rcListAt(conn->statements, i)))->pendingFunction != 0)
            return true;
    return false;
}

int16_t rcConnSetStmtOptions(rcConn *conn, uint16_t option, uintptr_t value)
{
    bool warning = false;
    for (uint32_t i = 0; i < rcListCount(conn->statements); ++i) {
        auto *handle = *static_cast<rcStmtHandle **>(rcListAt(conn->statements, i));
        rcErrClearQueue(&handle->errors);
        SQLRETURN rc = rcStmtSetOption(handle, option, value);
        if (rc == SQL_ERROR) {
            // The application asks the connection what went wrong.
            for (uint32_t k = 0; k < rcErrQueueCount(&handle->errors); ++k) {
                auto *r = static_cast<const rcErrorRecord *>(rcListAt(handle->errors.list, k));
                rcErrPost(&conn->errors, r->msgId, r->sqlState[0] != '\0' ? r->sqlState : nullptr,
                          r->native, r->text);
            }
            return -1;
        }
        warning = warning || rc == SQL_SUCCESS_WITH_INFO;
    }
    // The default of later statements: the same value rules.
    uint32_t refusal = rcStmtOptionRefusal(option, value);
    if (refusal != 0)
        return static_cast<int16_t>(rcErrRaise(&conn->errors, refusal));
    rcStmtStoreOption(option, conn->stmtDefaults, rcStmtOptionWord(option, value));
    uint32_t kept = 0;
    rcStmtReadOption(option, conn->stmtDefaults, &kept);
    if (kept != value || warning) {
        rcErrRaise(&conn->errors, RC_MSG_OPTION_VALUE_CHANGED);
        return 1;
    }
    return 0;
}

unsigned long rcStmtAddr(const void *p)
{
    return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p));
}

SQLRETURN rcStmtRaise(rcStmtHandle *s, uint32_t msgId)
{
    return static_cast<SQLRETURN>(rcErrRaise(&s->errors, msgId));
}

SQLRETURN rcStmtDone(rcStmtHandle *s, const char *name, SQLRETURN rc)
{
    rcTraceReturn(s->conn->odbcTrace, name, rc);
    return rc;
}
