// Statement handles and the connection's side of the engine's statements
// (see rcstmt_handle.h).
#include "driver/odbc/rcstmt_handle.h"

#include "driver/core/rcmsgid.h"
#include "driver/core/rctrace.h"
#include "driver/engine/rcstmt.h"
#include "driver/engine/tam.h"
#include "driver/engine/tam_drminfo.h"
#include "driver/frontend/rcprsfn.h"
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcinfo.h"
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
    conn->stmtOptions.engineOptionMask = conn->options.mask;
    return &conn->stmtOptions;
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

const char *rcConnStmtLink::typeName(int16_t sqlType) { return rcTypName(conn, sqlType); }

TamSession *rcConnStmtLink::session() { return conn->session; }

rcTraceChannel *rcConnStmtLink::engineTrace() { return conn->engineTrace; }
const char *rcConnStmtLink::qualifier() { return conn->qualifier; }

namespace {

int FnCode(const rcParseNode *fn)
{
    const rcScalarFnEntry *e = rcPrsScalarFnOf(fn);
    return e != nullptr ? e->code : 0;
}

// Vendor predicates (rcexp.h): described by the connection's list, their
// parameter types mapped by its type catalog.
const TamExtPredicate *VendorPredicate(void *ctx, const rcParseNode *name)
{
    const TamSession *session = static_cast<rcConn *>(ctx)->session;
    return TamFindExtPredicate(session != nullptr ? session->extPredicates : nullptr, name->text,
                               name->attr);
}
bool VendorSqlType(void *ctx, uint32_t drmType, int16_t *sqlType)
{
    return rcTypEngineTypeOfDrm(static_cast<rcConn *>(ctx), static_cast<int16_t>(drmType),
                                sqlType) == 0;
}
bool VendorDrmType(void *ctx, int16_t sqlType, uint32_t *drmType)
{
    int32_t type = 0;
    if (rcTypDrmTypeOf(static_cast<rcConn *>(ctx), sqlType, &type) != 0)
        return false;
    *drmType = static_cast<uint32_t>(type);
    return true;
}

} // namespace

int16_t rcStmtHandleAlloc(rcConn *conn, rcStmtHandle **out)
{
    *out = nullptr;
    rcStmtHandle *handle = new (std::nothrow) rcStmtHandle;
    if (!handle)
        return static_cast<int16_t>(rcErrRaise(&conn->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    handle->conn = conn;
    handle->link.conn = conn;
    // USER is the connection's user name and DATABASE its current qualifier,
    // read where they are kept (they outlive the statement).
    handle->facts.session = conn->session;
    handle->facts.userName = conn->attrs[RC_ATTR_UID].value;
    handle->facts.database = conn->qualifier;
    handle->facts.fnCode = &FnCode;
    handle->facts.vendor.predicateOf = &VendorPredicate;
    handle->facts.vendor.sqlTypeOf = &VendorSqlType;
    handle->facts.vendor.drmTypeOf = &VendorDrmType;
    handle->facts.vendorCtx = conn;
    std::copy(std::begin(conn->stmtDefaults), std::end(conn->stmtDefaults),
              std::begin(handle->options));
    handle->source.reset(new (std::nothrow) rcConnFeSource(conn));
    int16_t rc =
        handle->source
            ? rcDrsAllocStmt(&handle->link, &handle->errors, &handle->engine)
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
    delete handle->params;
    handle->params = nullptr;
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

unsigned long rcStmtAddr(const void *p)
{
    return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p));
}

SQLRETURN rcStmtRaise(rcStmtHandle *s, uint32_t msgId)
{
    return static_cast<SQLRETURN>(rcErrRaise(&s->errors, msgId));
}

bool rcStmtBusy(const rcStmtHandle *s)
{
    uint32_t async = 0;
    rcStmtReadOption(SQL_ASYNC_ENABLE, s->options, &async);
    return async == SQL_ASYNC_ENABLE_ON && s->pendingFunction != 0;
}

namespace {

// The block word of each option 0-14.
constexpr int8_t kOptionWord[15] = {0, 1, 4, 2, 3, 5, 10, 7, 9, 8, 12, 11, 13, 14, 15};

} // namespace

void rcStmtStoreOption(uint16_t option, uint32_t *block, uint32_t value)
{
    if (option > 14)
        return;
    if (option == SQL_MAX_LENGTH && static_cast<int32_t>(value + 1u) <= 0)
        value -= 1;
    block[kOptionWord[option]] = value;
}

void rcStmtReadOption(uint16_t option, const uint32_t *block, uint32_t *out)
{
    if (option <= 14)
        *out = block[kOptionWord[option]];
}
