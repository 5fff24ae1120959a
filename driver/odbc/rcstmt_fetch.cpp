// Result sets of prepared queries: planning and opening at execution, the
// fetch, bound columns and SQLGetData (see rcstmt_fetch.h).
//
// The engine's record owns the planner context (rcStmt::planner); the plan
// reads the prepared tree and its open tables, so it is released before
// them (rcDrsResetStmt runs before the front end's reset). A fetch moves the
// plan's root one row and copies the bound columns; SQLGetData converts one
// column of the current row. Both go through rcExeGetColumn, which converts
// straight into the application's buffer.
#include "driver/odbc/rcstmt_fetch.h"

#include <new>

#include "driver/core/rcmsgid.h"
#include "driver/core/rctrace.h"
#include "driver/engine/exec/rcexe.h"
#include "driver/engine/exec/rcexegdo.h"
#include "driver/engine/plan/rcpln.h"
#include "driver/engine/rcstmt.h"
#include "driver/frontend/rcprsfn.h"
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcstmt_api.h"

namespace {

int FnCode(const rcParseNode *fn)
{
    const rcScalarFnEntry *e = rcPrsScalarFnOf(fn);
    return e != nullptr ? e->code : 0;
}

void FreePlanner(rcStmt *e)
{
    if (e->planner == nullptr)
        return;
    if (e->planner->open)
        rcExeCloseQuery(e->planner);
    rcPlnStmtFree(e->planner);
    delete e->planner;
    e->planner = nullptr;
    e->plan = nullptr;
}

void ReleasePlanNodes(rcStmt *stmt, QueryPlan *) { FreePlanner(stmt); }

const rcStmtParts kParts = [] {
    rcStmtParts p;
    p.releasePlanNodes = &ReleasePlanNodes;
    return p;
}();

// The C type SQL_C_DEFAULT stands for with a column of this SQL type.
int16_t DefaultCType(int16_t sqlType)
{
    switch (sqlType) {
    case SQL_BIT: return SQL_C_BIT;
    case SQL_TINYINT: return SQL_C_TINYINT;
    case SQL_SMALLINT: return SQL_C_SHORT;
    case SQL_INTEGER: return SQL_C_LONG;
    case SQL_REAL: return SQL_C_FLOAT;
    case SQL_FLOAT:
    case SQL_DOUBLE: return SQL_C_DOUBLE;
    case SQL_DATE: return SQL_C_DATE;
    case SQL_TIME: return SQL_C_TIME;
    case SQL_TIMESTAMP: return SQL_C_TIMESTAMP;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: return SQL_C_BINARY;
    default: return SQL_C_CHAR;
    }
}

bool KnownCType(int16_t t)
{
    switch (t) {
    case SQL_C_CHAR:
    case SQL_C_LONG:
    case SQL_C_SHORT:
    case SQL_C_FLOAT:
    case SQL_C_DOUBLE:
    case SQL_C_DATE:
    case SQL_C_TIME:
    case SQL_C_TIMESTAMP:
    case SQL_C_BINARY:
    case SQL_C_BIT:
    case SQL_C_TINYINT:
    case SQL_C_SLONG:
    case SQL_C_SSHORT:
    case SQL_C_STINYINT:
    case SQL_C_ULONG:
    case SQL_C_USHORT:
    case SQL_C_UTINYINT:
    case SQL_C_DEFAULT: return true;
    default: return false;
    }
}

// The size of a fixed-length C type (its buffer length is not given by the
// application); 0 for character and binary.
int32_t FixedSize(int16_t cType)
{
    switch (cType) {
    case SQL_C_LONG:
    case SQL_C_SLONG:
    case SQL_C_ULONG: return sizeof(SQLINTEGER);
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
    case SQL_C_USHORT: return sizeof(SQLSMALLINT);
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT:
    case SQL_C_BIT: return 1;
    case SQL_C_FLOAT: return sizeof(SQLREAL);
    case SQL_C_DOUBLE: return sizeof(SQLDOUBLE);
    case SQL_C_DATE: return sizeof(DATE_STRUCT);
    case SQL_C_TIME: return sizeof(TIME_STRUCT);
    case SQL_C_TIMESTAMP: return sizeof(TIMESTAMP_STRUCT);
    default: return 0;
    }
}

// Column k (from 0) of the current row into the application's buffer:
// 0, 1 cut (01004 posted), -1 error posted.
int16_t GetColumn(rcStmtHandle *s, uint16_t k, int16_t cType, void *value, int64_t bufferLength,
                  SQLLEN *length)
{
    if (cType == SQL_C_DEFAULT)
        cType = DefaultCType(s->prep.columns[k].sqlType);
    int32_t out = 0;
    bool isNull = false;
    int32_t size = FixedSize(cType);
    if (size == 0)
        size = bufferLength > INT32_MAX ? INT32_MAX : static_cast<int32_t>(bufferLength);
    int16_t rc = rcExeGetColumn(s->engine->planner, k, cType, value, size, &out, 0, &isNull);
    if (rc < 0)
        return -1;
    if (length != nullptr)
        *length = isNull ? SQL_NULL_DATA : static_cast<SQLLEN>(out);
    if (rc == 1)
        rcErrRaise(&s->errors, RC_MSG_DATA_TRUNCATED);
    return rc;
}

} // namespace

const rcStmtParts *rcStmtFetchParts() { return &kParts; }

int16_t rcStmtOpenQuery(rcStmtHandle *s)
{
    rcStmt *e = s->engine;
    if (e->planner == nullptr) {
        e->planner = new (std::nothrow) rcPlnStmt;
        if (e->planner == nullptr)
            return static_cast<int16_t>(rcErrRaise(&s->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
        rcPlnStmtInit(e->planner, &s->errors, s->conn->session);
        e->planner->fnCode = &FnCode;
        e->planner->engineOptions = e->options.engineOptionMask;
        e->planner->filterMask = e->sourceInfo.filterMask;
        e->planner->joinMask = e->sourceInfo.joinMask;
        e->planner->seekFirstLast = (e->sourceInfo.capabilities & RC_SRC_CAP_SEEK_FIRST_LAST) != 0;
        if (rcPlnBuild(e->planner, s->prep.root) != 0) {
            FreePlanner(e);
            return -1;
        }
        e->plan = e->planner->plan;
    }
    if (rcExeOpenQuery(e->planner) != 0) {
        rcExeCloseQuery(e->planner);
        return -1;
    }
    e->engineState = RC_ENGINE_RESULT_OPEN;
    e->endOfData = 0;
    s->rowCurrent = false;
    return 0;
}

void rcStmtCloseQuery(rcStmtHandle *s)
{
    s->rowCurrent = false;
    rcStmt *e = s->engine;
    if (e == nullptr || e->planner == nullptr)
        return;
    if (e->planner->open)
        rcExeCloseQuery(e->planner);
    e->endOfData = 0;
    if (e->engineState == RC_ENGINE_RESULT_OPEN || e->engineState == RC_ENGINE_DONE)
        e->engineState = RC_ENGINE_PREPARED;
}

SQLRETURN SQLBindColImpl(rcStmtHandle *s, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER value,
                         SQLLEN bufferLength, SQLLEN *length)
{
    rcTraceCall(s->conn->odbcTrace, "SQLBindCol(0x%08lx, %u, %d, 0x%08lx, %ld, 0x%08lx)",
                rcStmtAddr(s), column, cType, rcStmtAddr(value), static_cast<long>(bufferLength),
                rcStmtAddr(length));
    rcErrClearQueue(&s->errors);
    if (column == 0)
        return rcStmtDone(s, "SQLBindCol", rcStmtRaise(s, RC_MSG_INVALID_COLUMN_NUMBER));
    if (bufferLength < 0)
        return rcStmtDone(s, "SQLBindCol", rcStmtRaise(s, RC_MSG_INVALID_STRING_BUFFER_LENGTH));
    if (!KnownCType(cType))
        return rcStmtDone(s, "SQLBindCol", rcStmtRaise(s, RC_MSG_PROGRAM_TYPE_ARGUMENT_OUT_RANGE));
    if (value == nullptr) {
        // Unbinds the column.
        if (column <= s->bindings.size())
            s->bindings[column - 1] = rcColBinding{};
        return rcStmtDone(s, "SQLBindCol", SQL_SUCCESS);
    }
    if (column > s->bindings.size())
        s->bindings.resize(column);
    s->bindings[column - 1] = rcColBinding{cType, value, bufferLength, length};
    return rcStmtDone(s, "SQLBindCol", SQL_SUCCESS);
}

SQLRETURN SQLFetchImpl(rcStmtHandle *s)
{
    rcTraceCall(s->conn->odbcTrace, "SQLFetch(0x%08lx)", rcStmtAddr(s));
    rcErrClearQueue(&s->errors);
    rcStmt *e = s->engine;
    if (s->state == RC_STMT_EXT_FETCHED || s->state < RC_STMT_CURSOR_OPEN ||
        e->planner == nullptr || !e->planner->open)
        return rcStmtDone(s, "SQLFetch", rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR));
    s->rowCurrent = false;
    s->state = RC_STMT_FETCHED;
    if (e->endOfData || (e->maxRows != 0 && s->rowCount >= e->maxRows)) {
        e->endOfData = 1;
        return rcStmtDone(s, "SQLFetch", SQL_NO_DATA_FOUND);
    }
    int16_t rc = rcExeFetch(e->planner);
    if (rc < 0)
        return rcStmtDone(s, "SQLFetch", SQL_ERROR);
    if (rc == PLN_END) {
        e->endOfData = 1;
        e->engineState = RC_ENGINE_DONE;
        return rcStmtDone(s, "SQLFetch", SQL_NO_DATA_FOUND);
    }
    ++s->rowCount;
    s->rowCurrent = true;
    bool warned = rc == PLN_ROW_WARNING;
    uint16_t count = static_cast<uint16_t>(s->prep.columns.size());
    for (uint16_t k = 0; k < s->bindings.size(); ++k) {
        const rcColBinding &b = s->bindings[k];
        if (b.value == nullptr)
            continue;
        if (k >= count)
            return rcStmtDone(s, "SQLFetch", rcStmtRaise(s, RC_MSG_INVALID_COLUMN_NUMBER));
        int16_t r = rcGdoReadBound(e->planner, k, b.cType, b.value, b.bufferLength, b.length);
        if (r == RC_GDO_NOT_DIRECT)
            r = GetColumn(s, k, b.cType, b.value, b.bufferLength, b.length);
        if (r < 0)
            return rcStmtDone(s, "SQLFetch", SQL_ERROR);
        warned = warned || r == 1;
    }
    return rcStmtDone(s, "SQLFetch", warned ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS);
}

SQLRETURN SQLGetDataImpl(rcStmtHandle *s, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER value,
                         SQLLEN bufferLength, SQLLEN *length)
{
    rcTraceCall(s->conn->odbcTrace, "SQLGetData(0x%08lx, %u, %d, 0x%08lx, %ld, 0x%08lx)",
                rcStmtAddr(s), column, cType, rcStmtAddr(value), static_cast<long>(bufferLength),
                rcStmtAddr(length));
    rcErrClearQueue(&s->errors);
    if (s->state < RC_STMT_CURSOR_OPEN)
        return rcStmtDone(s, "SQLGetData", rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR));
    if (!s->rowCurrent || s->engine->planner == nullptr)
        return rcStmtDone(s, "SQLGetData", rcStmtRaise(s, RC_MSG_INVALID_CURSOR_STATE));
    if (column == 0 || column > s->prep.columns.size())
        return rcStmtDone(s, "SQLGetData", rcStmtRaise(s, RC_MSG_INVALID_COLUMN_NUMBER));
    if (bufferLength < 0)
        return rcStmtDone(s, "SQLGetData", rcStmtRaise(s, RC_MSG_INVALID_STRING_BUFFER_LENGTH));
    if (!KnownCType(cType))
        return rcStmtDone(s, "SQLGetData", rcStmtRaise(s, RC_MSG_PROGRAM_TYPE_ARGUMENT_OUT_RANGE));
    int16_t r = GetColumn(s, static_cast<uint16_t>(column - 1), cType, value, bufferLength, length);
    return rcStmtDone(s, "SQLGetData",
                      r < 0    ? SQL_ERROR
                      : r == 1 ? SQL_SUCCESS_WITH_INFO
                               : SQL_SUCCESS);
}
