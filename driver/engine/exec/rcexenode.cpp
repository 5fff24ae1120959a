// Plan execution: opening the tree, the fetch from its root, and the
// routines of joins, filters and table scans (see rcexe.h).
#include "driver/engine/exec/rcexe.h"
#include "driver/engine/exec/rcexegroup.h"
#include "driver/engine/exec/rcexeresult.h"

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/exec/rcexesub.h"
#include "driver/engine/plan/rcplnhash.h"
#include "driver/engine/plan/rcplnhooks.h"
#include "driver/engine/plan/rcplnpush.h"
#include "driver/engine/plan/rcplnretr.h"
#include "driver/engine/rcsem.h"
#include "driver/engine/tam.h"

namespace {

// Sets or clears the null-row mark of every table under node.
void MarkNullRows(PlanNode *node, uint32_t value)
{
    rcPlnVisit(&value, node, [](void *ctx, uint8_t kind, PlanNode *n) {
        if (kind == PLN_TABLE)
            n->nullRow = *static_cast<uint32_t *>(ctx);
        return 1;
    });
}

bool Ended(int16_t rc) { return rc == PLN_END || rc == PLN_RANGE_END; }

// Every execution reads the tables as they are now. A table whose filter
// the data module holds searches afresh (rcFltBindParams gives the filter
// again); every other table is told again that it has none, so that its
// first read selects the records anew instead of reusing the selection of
// an earlier execution (or of the statement that left it open).
int16_t FreshSelections(rcPlnStmt *stmt)
{
    for (PlanNode *t : stmt->tables) {
        bool pushed = false;
        if (stmt->pushDown != nullptr)
            for (const rcPlnPushedTable &p : stmt->pushDown->tables)
                pushed = pushed || p.table == t;
        if (pushed || t->table == nullptr || t->table->handle == nullptr)
            continue;
        int32_t rc = TamSetFilter(stmt->session, t->table->handle, nullptr, nullptr);
        if (rc != 0 && rc != kDrmErrNotSupported && rc != PLN_DRM_FILTER_REFUSED) {
            rcErrPost(stmt->errors, rcErrMapDrm(rc), nullptr, rc, nullptr);
            return PLN_ERROR;
        }
    }
    return 0;
}

} // namespace

int16_t rcExeRaiseCancelled(rcPlnStmt *stmt)
{
    return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_OPERATION_CANCELLED));
}

rcPlnNextFn rcExeNextOf(const PlanNode *node)
{
    switch (node->kind) {
    case PLN_JOIN: return &rcExeNextJoin;
    case PLN_RESTRICT: return &rcExeNextRestrict;
    case PLN_TABLE: return &rcExeNextTable;
    case PLN_DISTINCT: return &rcExeNextDistinct;
    case PLN_SETFUNC: return &rcExeNextSetFunc;
    case PLN_AGGREGATE: return &rcExeNextAggregate;
    case PLN_GROUPRESULT: return &rcExeNextGroupResult;
    case PLN_GROUP: return &rcExeNextGroup;
    case PLN_TEMPTABLE: return &rcExeNextTemp;
    case PLN_UNION: return &rcExeNextUnion;
    case PLN_HASHGROUP: return &rcExeNextHashGroup;
    case PLN_TEMPSCAN: return &rcExeNextTempScan;
    default: return nullptr;
    }
}

int16_t rcExeOpenPlan(rcPlnStmt *stmt, PlanNode *node)
{
    if (node == nullptr)
        return 0;
    if (node->kind == PLN_UNION)
        rcExeOpenUnion(stmt, node); // its first input is the child opened below
    // The chain under an aggregate is drained by the aggregate's own open,
    // after its children are open.
    if (node->kind != PLN_TABLE && node->first != nullptr && rcExeOpenPlan(stmt, node->first) != 0)
        return PLN_ERROR;
    if ((node->kind == PLN_JOIN || node->kind == PLN_AGGREGATE) && node->second != nullptr &&
        rcExeOpenPlan(stmt, node->second) != 0)
        return PLN_ERROR;
    if (node->first != nullptr)
        node->firstNext = rcExeNextOf(node->first);
    if (node->second != nullptr)
        node->secondNext = rcExeNextOf(node->second);
    node->firstFlag = 0;
    node->secondFlag = 0;
    node->state = 0;
    switch (node->kind) {
    case PLN_JOIN: return node->hashJoin != nullptr ? rcExeOpenHashJoin(stmt, node) : 0;
    case PLN_TEMPTABLE: return rcExeOpenTemp(stmt, node);
    case PLN_SETFUNC: return rcExeOpenSetFunc(stmt, node);
    case PLN_AGGREGATE: return rcExeOpenAggregate(stmt, node);
    case PLN_HASHGROUP: return rcExeOpenHashGroup(stmt, node);
    default: return 0;
    }
}

int16_t rcExeCallRowSource(rcPlnStmt *stmt)
{
    QueryPlan *plan = stmt->plan;
    int16_t rc = plan->rootNext(stmt, plan->root, plan->rootFlag);
    plan->rootFlag = 1;
    return rc;
}

int16_t rcExeOpenQuery(rcPlnStmt *stmt)
{
    if (stmt->plan == nullptr || stmt->plan->root == nullptr)
        return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_GENERAL_ERROR));
    if (stmt->open)
        rcExeCloseQuery(stmt);
    rcPlnResetRedirects(stmt);
    for (PlanNode *sub : stmt->subqueries)
        rcCurResetNode(stmt, sub);
    stmt->open = true;
    if (rcPlnRefreshRetrieveList(stmt) != 0) {
        rcExeCloseQuery(stmt);
        return PLN_ERROR;
    }
    rcExePrepareColumnCaches(stmt);
    if (rcFltBindParams(stmt) != 0 || FreshSelections(stmt) != 0 ||
        rcExeOpenPlan(stmt, stmt->plan->root) != 0) {
        rcExeCloseQuery(stmt);
        return PLN_ERROR;
    }
    stmt->plan->rootNext = rcExeNextOf(stmt->plan->root);
    stmt->plan->rootFlag = 0;
    return 0;
}

int16_t rcExeFetch(rcPlnStmt *stmt)
{
    if (!stmt->open)
        return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_INVALID_CURSOR_STATE));
    stmt->rowWarning = false;
    int16_t rc = rcExeCallRowSource(stmt);
    if (rc == PLN_RANGE_END || rc == PLN_GROUP_END)
        rc = PLN_END;
    if (rc == PLN_ROW && stmt->rowWarning)
        rc = PLN_ROW_WARNING;
    return rc;
}

int16_t rcExeGetColumn(rcPlnStmt *stmt, uint16_t column, int16_t wantedType, void *buffer,
                       int32_t bufferLength, int32_t *outLength, uint32_t pieceOffset, bool *isNull)
{
    // A result read from a finished temporary table gives its stored values.
    PlanNode *root = stmt->plan != nullptr ? stmt->plan->root : nullptr;
    if (root != nullptr && root->kind == PLN_TEMPSCAN)
        return rcExeTempScanColumn(stmt, root, column, wantedType, buffer, bufferLength, outLength,
                                   pieceOffset, isNull);
    if (column >= stmt->results.size())
        return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_INVALID_COLUMN_NUMBER));
    return rcExpEvaluate(&stmt->env, stmt->results[column], wantedType, buffer, bufferLength,
                         outLength, pieceOffset, isNull);
}

void rcExeCloseQuery(rcPlnStmt *stmt)
{
    rcExeHashCloseAll(stmt);
    for (PlanNode *t : stmt->temps) {
        if (t->temp != nullptr) {
            rcTmpFree(t->temp);
            t->temp = nullptr;
        }
        if (t->kind == PLN_HASHGROUP)
            rcExeCloseHashGroup(t);
    }
    rcPlnResetRedirects(stmt);
    for (PlanNode *sub : stmt->subqueries)
        rcCurResetNode(stmt, sub);
    stmt->open = false;
}

// Nested loops. State 3: the next call needs a new outer row; 2: an inner
// row was delivered for the current outer row.
int16_t rcExeNextJoin(rcPlnStmt *stmt, PlanNode *node, int flag)
{
    if (node->hashJoin != nullptr && rcExeHashActive(node))
        return rcExeNextHashJoin(stmt, node, flag);
    bool outer = node->subtype == PLN_JOIN_OUTER || node->subtype == PLN_JOIN_OUTER_INDEX;
    if (flag == 0) {
        node->state = 3;
        node->firstFlag = 0;
        node->secondFlag = 0;
    }
    for (;;) {
        if (rcExeCancelled(stmt))
            return PLN_ERROR;
        if (node->state == 3) {
            int16_t rc = node->firstNext(stmt, node->first, node->firstFlag);
            if (rc != PLN_ROW && rc != PLN_ROW_WARNING)
                return rc;
            node->firstFlag = 1;
            if (outer)
                MarkNullRows(node->second, 0);
        }
        int16_t rc = node->secondNext(stmt, node->second, node->secondFlag);
        if (!Ended(rc)) {
            node->state = 2;
            node->secondFlag = 1;
            return rc;
        }
        if (outer && node->state == 3) {
            // No inner row matched this outer row: one row with NULLs.
            MarkNullRows(node->second, 1);
            node->secondFlag = 0;
            return PLN_ROW;
        }
        if (node->secondFlag == 0 && node->subtype == PLN_JOIN_INNER)
            return PLN_END; // the inner side does not depend on the outer row
        node->state = 3;
        node->secondFlag = 0;
    }
}

int16_t rcExeNextRestrict(rcPlnStmt *stmt, PlanNode *node, int flag)
{
    for (;;) {
        int16_t rc = node->firstNext(stmt, node->first, flag);
        if (rc != PLN_ROW && rc != PLN_ROW_WARNING)
            return rc;
        flag = 1;
        int passed = 0;
        if (rcFltRun(&stmt->env, node->filter, &passed) < 0)
            return PLN_ERROR;
        if (passed)
            return rc;
    }
}
