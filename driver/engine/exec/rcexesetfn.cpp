// Set functions and the aggregate of an ungrouped query (see rcexe.h).
//
// The set-function nodes form a chain above the input rows; each row passes
// up the chain and every node folds its argument into its accumulator.
// COUNT counts in 32 bits, SUM and AVG add in double precision (exactly for
// DECIMAL38 arguments), MIN and MAX keep the extreme value (texts up to 255
// bytes in the node). A group end (101) from below makes the next row start
// fresh accumulators. Over no rows COUNT gives 0 and the others NULL.
#include "driver/engine/exec/rcexe.h"
#include "driver/engine/exec/rcexegroup.h"

#include <cstring>

#include "driver/core/rccnv.h"
#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"

namespace {

// Longest text or binary value MIN and MAX keep.
constexpr uint32_t kKeepMax = RC_TMP_MAX_VALUE - 1;

void Reset(rcPlnAccumulator *a)
{
    a->count = 0;
    a->noValue = true;
    a->sum = 0;
    rcNumSetZero(a->exact, 0);
    a->groupEnded = false;
}

bool IsVarType(int16_t t)
{
    return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_BINARY ||
           t == SQL_VARBINARY || t == SQL_LONGVARBINARY;
}

void Keep(rcPlnAccumulator *a, const rcExpValue &v)
{
    a->value = v;
    if (v.text != nullptr) {
        uint32_t n = v.length < kKeepMax ? v.length : kKeepMax;
        std::memcpy(a->text, v.text, n);
        a->text[n] = '\0';
        a->value.text = a->text;
        a->value.length = n;
    }
}

int16_t Fold(rcPlnStmt *stmt, PlanNode *node)
{
    rcPlnAccumulator *a = node->acc;
    if (node->argSlot == 0) { // COUNT(*)
        ++a->count;
        return 0;
    }
    rcExpValue v;
    if (rcExpEvalValue(&stmt->env, node->argSlot, &v) < 0)
        return PLN_ERROR;
    if (v.isNull)
        return 0;
    switch (node->function) {
    case PLN_FN_COUNT: ++a->count; break;
    case PLN_FN_SUM:
    case PLN_FN_AVG:
        ++a->count;
        if (a->resultType == RC_SQL_DECIMAL38) {
            if (v.type != RC_SQL_DECIMAL38)
                return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_GENERAL_ERROR));
            rcNumAdd(a->exact, v.v.num);
        } else {
            double d = 0;
            if (!rcExpToDouble(v, &d,
                               static_cast<int16_t>(rcExpSlotScale(&stmt->env, node->argSlot))))
                return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_GENERAL_ERROR));
            a->sum += d;
        }
        break;
    default: {
        if (!a->noValue) {
            int order = 0;
            if (rcExpCompareValues(&stmt->env, v, a->value, &order) < 0)
                return PLN_ERROR;
            if ((node->function == PLN_FN_MIN && order >= 0) ||
                (node->function == PLN_FN_MAX && order <= 0))
                return 0;
        }
        if (IsVarType(v.type) && v.length > kKeepMax)
            stmt->rowWarning = true;
        Keep(a, v);
        break;
    }
    }
    a->noValue = false;
    return 0;
}

} // namespace

int16_t rcExeFoldSetFunc(rcPlnStmt *stmt, PlanNode *node) { return Fold(stmt, node); }

int16_t rcExeOpenSetFunc(rcPlnStmt *, PlanNode *node)
{
    Reset(node->acc);
    return 0;
}

int16_t rcExeNextSetFunc(rcPlnStmt *stmt, PlanNode *node, int flag)
{
    if (node->acc->groupEnded || flag == 0)
        Reset(node->acc);
    int16_t rc = node->firstNext(stmt, node->first, flag);
    if (rc == PLN_GROUP_END) {
        node->acc->groupEnded = true;
        return rc;
    }
    if (rc != PLN_ROW && rc != PLN_ROW_WARNING)
        return rc;
    if (Fold(stmt, node) != 0)
        return PLN_ERROR;
    return rc;
}

// Runs every set function of the chain over all input rows.
int16_t rcExeOpenAggregate(rcPlnStmt *stmt, PlanNode *node)
{
    if (rcExeIsMinMaxByIndex(node))
        return rcExeMinMaxByIndex(stmt, node);
    int16_t rc = node->firstNext(stmt, node->first, 0);
    while (rc == PLN_ROW || rc == PLN_ROW_WARNING)
        rc = node->firstNext(stmt, node->first, 1);
    return rc == PLN_END || rc == PLN_RANGE_END ? 0 : PLN_ERROR;
}

// One row, whatever the input held.
int16_t rcExeNextAggregate(rcPlnStmt *stmt, PlanNode *node, int flag)
{
    if (node->oneRow)
        return flag == 0 ? PLN_ROW : PLN_END;
    if (node->second == nullptr)
        return PLN_END;
    return node->secondNext(stmt, node->second, flag);
}
