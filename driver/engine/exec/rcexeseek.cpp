// MIN and MAX by index seeks (see rcExeMinMaxByIndex in rcexe.h).
//
// Each set function of the chain gives its index to the data module and
// seeks once: MAX the last entry, MIN the first entry whose key is not NULL.
// The server keeps NULL dates as the empty date, which sorts first, so MIN
// of a date seeks the first key above it; numbers have no NULL there. The
// argument is then read from the row the cursor stands on. A NULL found
// anyway (another data module's order) is stepped over for MIN; for MAX it
// means every key is NULL.
#include "driver/engine/exec/rcexe.h"

#include <cstring>

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
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

// 0 a value folded in, 100 none (no row or only NULL keys), -1 error.
int16_t Seek(rcPlnStmt *stmt, PlanNode *node)
{
    TamSession *s = stmt->session;
    TamTableHandle *h = node->table->handle;
    rcPlnAccumulator *a = node->acc;
    a->noValue = true;
    a->count = 0;
    int32_t rc = TamSetTableIndex(s, h, node->index->name);
    if (rc != 0)
        return PostDrm(stmt, rc);
    const bool min = node->function == PLN_FN_MIN;
    uint32_t flag = min ? kSeekFirst : kSeekLast;
    if (min && node->index->keys.front().column->type.sqlType == SQL_DATE) {
        DATE_STRUCT empty{};
        rc = TamMakeKey(s, h, &empty, sizeof empty, 1);
        if (rc != 0)
            return PostDrm(stmt, rc);
        flag = kSeekAbove;
    }
    rc = TamSeek(s, h, flag);
    if (rc == kDrmErrNoCurrentRecord || rc == kDrmErrKeyNotFound)
        return PLN_END;
    if (rc != 0 && rc != kDrmSeekWarning && rc != kDrmSeekNullKey)
        return PostDrm(stmt, rc);
    for (;;) {
        rcExpValue v;
        if (rcExpEvalValue(&stmt->env, node->argSlot, &v) < 0)
            return PLN_ERROR;
        if (!v.isNull) {
            a->value = v; // numbers, dates and times: no text to keep
            a->noValue = false;
            return 0;
        }
        if (!min)
            return PLN_END;
        rc = TamMove(s, h, kDrmMoveNext);
        if (rc == kDrmErrNoCurrentRecord)
            return PLN_END;
        if (rc != 0)
            return PostDrm(stmt, rc);
    }
}

} // namespace

bool rcExeIsMinMaxByIndex(const PlanNode *aggregate)
{
    const PlanNode *n = aggregate->first;
    return n != nullptr && n->kind == PLN_SETFUNC && n->index != nullptr;
}

int16_t rcExeMinMaxByIndex(rcPlnStmt *stmt, PlanNode *aggregate)
{
    for (PlanNode *n = aggregate->first; n != nullptr && n->kind == PLN_SETFUNC; n = n->first) {
        if (n->index == nullptr || n->table == nullptr)
            return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_GENERAL_ERROR));
        if (Seek(stmt, n) < 0)
            return PLN_ERROR;
    }
    return 0;
}
