// Subquery predicates, answered for the current outer row (see
// rcexesub.h): the dispatch, EXISTS and the correlated subqueries.
//
// A correlated subquery's plan is opened again for every answer (its
// columns and set functions first pointed back at their tables), so it sees
// the outer row of the moment; an uncorrelated EXISTS is answered once per
// open of the query; every other uncorrelated subquery keeps its rows
// (rcexesubkeep.cpp). The answers follow standard three-valued logic over
// the comparisons of the outer value with the subquery's rows: IN and ANY
// are TRUE when a row compares TRUE, else UNKNOWN when a row compares
// UNKNOWN (a NULL on either side), else FALSE (so over no rows); NOT IN is
// the negation of IN; ALL is FALSE when a row compares FALSE, else UNKNOWN
// when a row compares UNKNOWN, else TRUE (so over no rows); a comparison
// with a single-row subquery reads at most one row (a second row is an
// error) and is UNKNOWN without a row.
#include "driver/engine/exec/rcexesub.h"

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/exec/rcexe.h"
#include "driver/engine/plan/rcplnhooks.h"
#include "driver/engine/plan/rcplnsub.h"

namespace {

bool IsRow(int16_t rc) { return rc == PLN_ROW || rc == PLN_ROW_WARNING; }
bool IsEnd(int16_t rc) { return rc == PLN_END || rc == PLN_RANGE_END || rc == PLN_GROUP_END; }

// Runs the subquery's plan for the current outer row.
int16_t Answer(rcPlnStmt *stmt, PlanNode *node)
{
    QueryPlan *plan = node->subPlan;
    rcPlnResetRedirects(stmt, node->subBlock);
    if (rcExeOpenPlan(stmt, plan->root) != 0)
        return PLN_ERROR;
    rcPlnNextFn next = rcExeNextOf(plan->root);
    int16_t rc = next(stmt, plan->root, 0);
    if (node->form == 3)
        return IsRow(rc) ? 0 : IsEnd(rc) ? 100 : PLN_ERROR;
    bool sawTrue = false, sawFalse = false, sawUnknown = false;
    int rows = 0;
    for (; IsRow(rc); rc = next(stmt, plan->root, 1)) {
        if (++rows > 1 && node->form == 4)
            return static_cast<int16_t>(
                rcErrRaise(stmt->errors, RC_ENG_INVALID_ROW_COUNT_SUBQUERY));
        rcTruth t = RC_UNKNOWN;
        if (rcFltRunTruth(&stmt->env, node->compare, &t) < 0)
            return PLN_ERROR;
        sawTrue = sawTrue || t == RC_TRUE;
        sawFalse = sawFalse || t == RC_FALSE;
        sawUnknown = sawUnknown || t == RC_UNKNOWN;
        if ((node->form == 1 && sawTrue) || (node->form == 2 && sawFalse))
            break;
    }
    if (!IsRow(rc) && !IsEnd(rc))
        return PLN_ERROR;
    // The truth value by form; NOT IN negates IN (UNKNOWN stays UNKNOWN).
    int16_t truth = 0;
    switch (node->form) {
    case 1: truth = sawTrue ? 0 : sawUnknown ? RC_EXP_SUBQUERY_UNKNOWN : 100; break;
    case 2: truth = sawFalse ? 100 : sawUnknown ? RC_EXP_SUBQUERY_UNKNOWN : 0; break;
    default: truth = sawTrue ? 0 : sawFalse ? 100 : RC_EXP_SUBQUERY_UNKNOWN; break;
    }
    if (node->negated && truth != RC_EXP_SUBQUERY_UNKNOWN)
        truth = truth == 0 ? 100 : 0;
    return truth;
}

} // namespace

int16_t rcCurFetchNode(rcPlnStmt *stmt, PlanNode *node)
{
    if (rcExeCancelled(stmt))
        return PLN_ERROR;
    if (node->form == 3) {
        if (node->cached)
            return node->cachedResult;
        int16_t rc = Answer(stmt, node);
        if (rc >= 0 && !node->correlated) {
            node->cached = true;
            node->cachedResult = rc;
        }
        return rc;
    }
    if (node->correlated || node->subInfo == nullptr)
        return Answer(stmt, node);
    return rcSubKeptAnswer(stmt, node);
}

void rcCurResetNode(rcPlnStmt *, PlanNode *node)
{
    node->cached = false;
    rcSubPlanInfo *info = node->subInfo;
    if (info == nullptr)
        return;
    if (info->strategy == RC_SUB_EQUAL && info->table != nullptr)
        info->table->access = PLN_ACCESS_INDEX; // seeks again
    if (info->run != nullptr)
        *info->run = rcSubRun{}; // frees the kept values
}

void rcCurFreeNode(rcPlnStmt *, PlanNode *node)
{
    if (node->subInfo != nullptr) {
        delete node->subInfo->run;
        node->subInfo->run = nullptr;
    }
}

int16_t rcPlnSubqueryHook(void *ctx, void *handle)
{
    return rcCurFetchNode(static_cast<rcPlnStmt *>(ctx), static_cast<PlanNode *>(handle));
}
