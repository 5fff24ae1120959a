// A result built whole before it is read: a plan whose root steps through
// a finished temporary table (see rcexeresult.h).
#include "driver/engine/exec/rcexeresult.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/exec/rcexe.h"
#include "driver/engine/exec/rcexestmt.h"
#include "driver/engine/rcstmt.h"

namespace {

// Node states: before the first row (and after a rewind), on a row, past
// the last row (or after a failed move).
enum : uint8_t { kBeforeFirst = 0, kEnded = 1, kOnRow = 2 };

bool IsText(int16_t sqlType)
{
    return sqlType == SQL_CHAR || sqlType == SQL_VARCHAR || sqlType == SQL_LONGVARCHAR;
}

bool WantsText(int16_t wantedType)
{
    return wantedType == SQL_C_CHAR || wantedType == SQL_VARCHAR || wantedType == SQL_LONGVARCHAR;
}

int16_t Post(rcPlnStmt *stmt, uint32_t msg)
{
    rcErrRaise(stmt->errors, msg);
    return PLN_ERROR;
}

} // namespace

int16_t rcExeOpenTableResult(rcStmt *stmt, TempTable *table, uint16_t visible)
{
    rcExeFreePlanner(stmt);
    auto *p = new (std::nothrow) rcPlnStmt;
    if (p == nullptr) {
        rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR);
        return -1;
    }
    // No cancel flag: a result read from memory or its spill file has no
    // long row loop to stop.
    rcPlnStmtInit(p, stmt->errors, stmt->conn != nullptr ? stmt->conn->session() : nullptr);
    p->engineOptions = stmt->options.engineOptionMask;
    PlanNode *node = rcPlnNewNode(p, PLN_TEMPSCAN);
    void *mem = node != nullptr ? rcMemPoolAlloc(p->pool, sizeof(QueryPlan)) : nullptr;
    if (mem == nullptr) {
        if (node != nullptr)
            rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR);
        rcPlnStmtFree(p);
        delete p;
        return -1;
    }
    p->plan = new (mem) QueryPlan{};
    p->plan->root = node;
    p->plan->rootNext = &rcExeNextTempScan;
    p->plan->rootFlag = 0;
    node->temp = table;
    node->columnCount = visible;
    node->state = kBeforeFirst;
    // Listed with the plan's temporary tables, so closing the cursor or
    // freeing the planner frees the table.
    p->temps.push_back(node);
    p->open = true;
    stmt->planner.hang(p, &rcExeDeletePlanner);
    stmt->plan = p->plan;
    stmt->engineState = RC_ENGINE_RESULT_OPEN;
    stmt->endOfData = 0;
    return 0;
}

void rcExeRewindResult(rcPlnStmt *stmt)
{
    if (stmt != nullptr && stmt->plan != nullptr)
        stmt->plan->rootFlag = 0;
}

int16_t rcExeNextTempScan(rcPlnStmt *stmt, PlanNode *node, int flag)
{
    (void)stmt;
    if (flag == 0)
        node->state = kBeforeFirst;
    // Past the end the table is not read again.
    if (node->state == kEnded || node->temp == nullptr) {
        node->state = kEnded;
        return PLN_END;
    }
    int16_t rc = rcTmpMove(node->temp, node->state == kBeforeFirst ? 3 : 1);
    if (rc != 0) {
        node->state = kEnded;
        return rc == 100 ? int16_t{PLN_END} : int16_t{PLN_ERROR};
    }
    node->state = kOnRow;
    return PLN_ROW;
}

int16_t rcExeTempScanColumn(rcPlnStmt *stmt, PlanNode *node, uint16_t column, int16_t wantedType,
                            void *buffer, int32_t bufferLength, int32_t *outLength,
                            uint32_t pieceOffset, bool *isNull)
{
    *isNull = false;
    if (node->state != kOnRow || node->temp == nullptr)
        return Post(stmt, RC_MSG_INVALID_CURSOR_STATE);
    if (column >= node->columnCount || column >= node->temp->columnCount)
        return Post(stmt, RC_MSG_INVALID_COLUMN_NUMBER);
    int16_t sqlType = node->temp->columns[column].sqlType;
    const void *stored = nullptr;
    uint32_t length = 0;
    bool null = false;
    if (rcTmpColumnValue(node->temp, column, &stored, &length, &null) != 0)
        return PLN_ERROR;
    if (null) {
        *isNull = true;
        if (outLength != nullptr)
            *outLength = 0;
        return 0;
    }
    rcExpValue v;
    char number[16];
    if (IsText(sqlType)) {
        v.type = sqlType;
        v.text = static_cast<const char *>(stored);
        v.length = length;
    } else {
        // The other columns hold 16- or 32-bit integers.
        int32_t n = 0;
        if (sqlType == SQL_SMALLINT) {
            int16_t x = 0;
            std::memcpy(&x, stored, sizeof x);
            n = x;
        } else {
            std::memcpy(&n, stored, sizeof n);
        }
        if (WantsText(wantedType)) {
            // Asked for as text: its digits, read in pieces as any text.
            int len = std::snprintf(number, sizeof number, "%d", static_cast<int>(n));
            v.type = SQL_VARCHAR;
            v.text = number;
            v.length = static_cast<uint32_t>(len);
        } else if (sqlType == SQL_SMALLINT) {
            v.type = SQL_SMALLINT;
            v.v.i16 = static_cast<int16_t>(n);
        } else {
            v.type = SQL_INTEGER;
            v.v.i32 = n;
        }
    }
    return rcExpConvertValue(&stmt->env, v, wantedType, buffer, bufferLength, outLength,
                             pieceOffset);
}
