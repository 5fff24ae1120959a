// Subquery predicates, answered for the current outer row by running the
// subquery's own plan (see rcexe.h).
//
// The plan is opened again for every answer (its columns and set functions
// first pointed back at their tables), so a correlated subquery sees the
// outer row of the moment; an uncorrelated EXISTS is answered once per open
// of the query. IN and ANY hold when one row compares TRUE; ALL when no row
// compares FALSE or UNKNOWN (so ALL over no rows holds); NOT IN when the
// subquery has no row equal to the value and no row whose comparison is
// UNKNOWN; a comparison with a single-row subquery reads at most one row
// (a second row is an error, no row makes the comparison UNKNOWN). UNKNOWN
// answers as FALSE.
#include "driver/engine/exec/rcexe.h"

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/plan/rcplnhooks.h"

namespace {

bool IsRow(int16_t rc) { return rc == PLN_ROW || rc == PLN_ROW_WARNING; }
bool IsEnd(int16_t rc) { return rc == PLN_END || rc == PLN_RANGE_END || rc == PLN_GROUP_END; }

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
    switch (node->form) {
    case 1:
        if (node->negated)
            return !sawTrue && !sawUnknown ? 0 : 100;
        return sawTrue ? 0 : 100;
    case 2: return !sawFalse && !sawUnknown ? 0 : 100;
    default: return sawTrue ? 0 : 100;
    }
}

} // namespace

int16_t rcPlnSubqueryHook(void *ctx, void *handle)
{
    auto *stmt = static_cast<rcPlnStmt *>(ctx);
    auto *node = static_cast<PlanNode *>(handle);
    if (node->cached)
        return node->cachedResult;
    int16_t rc = Answer(stmt, node);
    if (rc >= 0 && node->form == 3 && !node->correlated) {
        node->cached = true;
        node->cachedResult = rc;
    }
    return rc;
}
