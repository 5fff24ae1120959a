// Index seeks that answer an uncorrelated subquery (see rcexesub.h and the
// strategies in rcplnsub.h).
//
// The subquery reads the values of one indexed column of one table, in
// index order through the cursor of its table node. NULLs, where the data
// module has them (the server keeps a NULL date as the empty date), come
// first in the index: the first key tells whether the table has rows and
// whether a NULL is among them; the smallest value is the first key that is
// not NULL (for a date the first key above the empty date), the largest the
// last key (NULL there: every key is NULL). An equality seek with the outer
// value reads the first row of its range through the table node (whose key
// is the outer value); the range start leaves the range empty for a value
// that is no value of the column.
#include "driver/core/rccnv.h"
#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/exec/rcexe.h"
#include "driver/engine/exec/rcexesub.h"
#include "driver/engine/plan/rcplnsub.h"
#include "driver/engine/rcsem.h"
#include "driver/engine/tam.h"

namespace {

enum : uint32_t { kSeekAbove = 0x10, kSeekFirst = 0x20, kSeekLast = 0x40 };
constexpr int32_t kDrmSeekWarning = 1039;
constexpr int32_t kDrmSeekNullKey = 1041;

int16_t PostDrm(rcPlnStmt *stmt, int32_t code)
{
    rcErrPost(stmt->errors, rcErrMapDrm(code), nullptr, code, nullptr);
    return PLN_ERROR;
}

// Gives the index to the data module once per table node.
int16_t UseIndex(rcPlnStmt *stmt, const rcSubPlanInfo *info)
{
    PlanNode *t = info->table;
    if (t->indexSet)
        return 0;
    int32_t rc = TamSetTableIndex(stmt->session, t->table->handle, info->index->name);
    if (rc != 0)
        return PostDrm(stmt, rc);
    t->indexSet = true;
    return 0;
}

// Seeks with the flag: 0 on a row, 100 none, -1 error.
int16_t Seek(rcPlnStmt *stmt, const rcSubPlanInfo *info, uint32_t flag)
{
    int32_t rc = TamSeek(stmt->session, info->table->table->handle, flag);
    if (rc == kDrmErrNoCurrentRecord || rc == kDrmErrKeyNotFound)
        return PLN_END;
    if (rc != 0 && rc != kDrmSeekWarning && rc != kDrmSeekNullKey)
        return PostDrm(stmt, rc);
    return 0;
}

// The first key: rows and NULLs; *value the key's value. 0, 100 no rows, -1.
int16_t FirstKey(rcPlnStmt *stmt, PlanNode *node, rcSubRun *run, rcExpValue *value)
{
    const rcSubPlanInfo *info = node->subInfo;
    if (UseIndex(stmt, info) != 0)
        return PLN_ERROR;
    int16_t rc = Seek(stmt, info, kSeekFirst);
    run->firstKnown = rc >= 0;
    run->rows = rc == 0 ? 1 : 0;
    if (rc != 0)
        return rc;
    if (rcExpEvalValue(&stmt->env, info->value, value) < 0)
        return PLN_ERROR;
    run->nulls = value->isNull != 0;
    return 0;
}

// The smallest non-NULL value, the cursor standing on a NULL first key.
int16_t SmallestAfterNulls(rcPlnStmt *stmt, const rcSubPlanInfo *info, rcExpValue *value)
{
    TamSession *s = stmt->session;
    TamTableHandle *h = info->table->table->handle;
    if (info->index->keys.front().column->type.sqlType == SQL_DATE) {
        DATE_STRUCT empty{};
        int32_t rc = TamMakeKey(s, h, &empty, sizeof empty, 1);
        if (rc != 0)
            return PostDrm(stmt, rc);
        int16_t found = Seek(stmt, info, kSeekAbove);
        if (found != 0)
            return found;
        return rcExpEvalValue(&stmt->env, info->value, value) < 0 ? PLN_ERROR : 0;
    }
    for (;;) {
        int32_t rc = TamMove(s, h, kDrmMoveNext);
        if (rc == kDrmErrNoCurrentRecord)
            return PLN_END;
        if (rc != 0)
            return PostDrm(stmt, rc);
        if (rcExpEvalValue(&stmt->env, info->value, value) < 0)
            return PLN_ERROR;
        if (!value->isNull)
            return 0;
    }
}

} // namespace

int16_t rcSubForgetSeeks(rcPlnStmt *stmt, PlanNode *node)
{
    // A seek leaves the cursor's selection as the records it found; told it
    // has no filter, the cursor selects the whole table at its next move.
    int32_t rc = TamSetFilter(stmt->session, node->subInfo->table->table->handle, nullptr, nullptr);
    return rc == 0 || rc == kDrmErrNotSupported ? 0 : PostDrm(stmt, rc);
}

int16_t rcSubSeekFirstKey(rcPlnStmt *stmt, PlanNode *node, rcSubRun *run)
{
    rcExpValue first;
    return FirstKey(stmt, node, run, &first) < 0 ? PLN_ERROR : 0;
}

int16_t rcSubSeekExtreme(rcPlnStmt *stmt, PlanNode *node, rcSubRun *run)
{
    const rcSubPlanInfo *info = node->subInfo;
    *run = rcSubRun{};
    rcExpValue v;
    int16_t rc = FirstKey(stmt, node, run, &v);
    if (rc < 0)
        return PLN_ERROR;
    if (rc == 0 && info->strategy == RC_SUB_SMALLEST) {
        if (v.isNull)
            rc = SmallestAfterNulls(stmt, info, &v);
        if (rc < 0)
            return PLN_ERROR;
        if (rc == 0 && !v.isNull)
            rcSubHold(&run->low, v);
    } else if (rc == 0) {
        rc = Seek(stmt, info, kSeekLast);
        if (rc < 0 || (rc == 0 && rcExpEvalValue(&stmt->env, info->value, &v) < 0))
            return PLN_ERROR;
        if (rc == 0 && !v.isNull)
            rcSubHold(&run->low, v);
    }
    // One value stands for the smallest and the largest: the probe of the
    // strategy reads the one its operator needs.
    if (run->low.set) {
        run->high = run->low;
        run->type = run->low.value.type;
    }
    run->built = true;
    return 0;
}

int16_t rcSubSeekEqual(rcPlnStmt *stmt, PlanNode *node, rcSubRun *run, bool *found)
{
    const rcSubPlanInfo *info = node->subInfo;
    *found = false;
    rcExpValue x;
    if (rcExpEvalValue(&stmt->env, info->outer, &x) < 0)
        return PLN_ERROR;
    if (x.isNull)
        return 0;
    int16_t column = info->index->keys.front().column->type.sqlType;
    bool number = rcExpIsNumericType(column);
    bool kindFits = number ? rcExpIsNumericType(x.type) && x.type != RC_SQL_SCALED64 &&
                                 x.type != RC_SQL_DECIMAL38
                    : column == SQL_DATE ? x.type == SQL_DATE || x.type == SQL_TIMESTAMP
                                         : x.type == column;
    if (!kindFits || ++run->seeks > info->seekBudget) {
        run->seekOff = true; // the rows are read once instead
        return 0;
    }
    PlanNode *root = node->subPlan->root;
    if (!run->opened) {
        if (rcExeOpenPlan(stmt, root) != 0)
            return PLN_ERROR;
        run->opened = true;
    }
    int16_t rc = rcExeNextOf(root)(stmt, root, 0);
    if (rc == PLN_END || rc == PLN_RANGE_END)
        return 0;
    if (rc != PLN_ROW && rc != PLN_ROW_WARNING)
        return PLN_ERROR;
    // The end test keeps the range to values equal to x; a NULL is none.
    rcExpValue v;
    int c = 1;
    if (rcExpEvalValue(&stmt->env, info->value, &v) < 0 ||
        rcExpEvalValue(&stmt->env, info->outer, &x) < 0 ||
        (!v.isNull && rcExpCompareValues(&stmt->env, x, v, &c) < 0))
        return PLN_ERROR;
    *found = !v.isNull && c == 0;
    return 0;
}
