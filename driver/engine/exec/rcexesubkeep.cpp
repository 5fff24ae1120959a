// The kept rows of an uncorrelated subquery compared with values (see
// rcexesub.h): read once per execution, then probed for every outer row.
//
// Reading evaluates the subquery's value for each row: the row count and
// NULLs are counted; the non-NULL values are kept whole (one by one
// comparison), or sorted without duplicates (= ANY, <> ALL), or only the
// smallest and the largest are kept. Probing with the outer value x:
//   no rows: ANY is FALSE, ALL TRUE; x NULL: UNKNOWN;
//   ANY: TRUE when some value v makes "x op v" TRUE: for = a binary search,
//        for > and >= v the smallest, for < and <= the largest, for <> a
//        smallest or largest value other than x;
//   ALL: FALSE when some v makes "x op v" FALSE, found the same way;
//   otherwise UNKNOWN when a NULL was among the rows, else ANY FALSE and
//   ALL TRUE. NOT IN negates IN.
// The reductions hold because the comparison of x with the values orders
// them as they order among themselves; for values of another kind than x
// (a text against a number) the rows are read again and kept whole.
#include <algorithm>
#include <cstring>
#include <new>

#include "driver/core/rccnv.h"
#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/exec/rcexe.h"
#include "driver/engine/exec/rcexesub.h"
#include "driver/engine/plan/rcplnhooks.h"
#include "driver/engine/plan/rcplnsub.h"
#include "driver/engine/plan/rcplntree.h"

namespace {

constexpr int16_t kTrue = 0;
constexpr int16_t kFalse = 100;
constexpr int16_t kUnknown = RC_EXP_SUBQUERY_UNKNOWN;

bool IsRow(int16_t rc) { return rc == PLN_ROW || rc == PLN_ROW_WARNING; }
bool IsEnd(int16_t rc) { return rc == PLN_END || rc == PLN_RANGE_END || rc == PLN_GROUP_END; }

bool IsText(int16_t t) { return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR; }
bool IsBinary(int16_t t) { return t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY; }

// Kinds of values whose comparison with each other is one order.
int KindOf(int16_t t)
{
    if (IsText(t))
        return 1;
    if (rcExpIsNumericType(t))
        return 2;
    if (IsBinary(t))
        return 3;
    if (t == SQL_DATE || t == SQL_TIMESTAMP)
        return 4;
    return t == SQL_TIME ? 5 : 0;
}

// The bytes of rcExpValue::v a fixed-type value uses.
uint32_t WidthOf(int16_t t)
{
    rcExpValue v;
    switch (t) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_C_UTINYINT: return sizeof v.v.u8;
    case SQL_SMALLINT: return sizeof v.v.i16;
    case SQL_INTEGER: return sizeof v.v.i32;
    case SQL_REAL: return sizeof v.v.f32;
    case SQL_BIGINT:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case RC_SQL_SCALED64: return sizeof v.v.i64;
    case SQL_DATE: return sizeof v.v.date;
    case SQL_TIME: return sizeof v.v.time;
    case SQL_TIMESTAMP: return sizeof v.v.ts;
    case RC_SQL_DECIMAL38: return sizeof v.v.num;
    default: return IsText(t) || IsBinary(t) ? 2 * sizeof(uint32_t) : sizeof v.v;
    }
}

// Appends a non-NULL value of the store's type (the first sets the type).
bool Append(rcSubStore *s, const rcExpValue &v)
{
    if (s->width == 0) {
        s->type = v.type;
        s->width = WidthOf(v.type);
        s->length = v.length;
    }
    size_t at = s->fixed.size();
    s->fixed.resize(at + s->width);
    unsigned char *rec = s->fixed.data() + at;
    if (IsText(s->type) || IsBinary(s->type)) {
        size_t offset = s->text.size();
        if (offset + v.length + 1 > UINT32_MAX)
            return false;
        s->text.insert(s->text.end(), v.text, v.text + v.length);
        s->text.push_back('\0');
        uint32_t words[2] = {static_cast<uint32_t>(offset), v.length};
        std::memcpy(rec, words, sizeof words);
    } else {
        std::memcpy(rec, &v.v, s->width);
    }
    return true;
}

rcExpValue Load(const rcSubStore &s, size_t k)
{
    rcExpValue v;
    v.type = s.type;
    const unsigned char *rec = s.fixed.data() + k * s.width;
    if (IsText(s.type) || IsBinary(s.type)) {
        uint32_t words[2];
        std::memcpy(words, rec, sizeof words);
        v.text = s.text.data() + words[0];
        v.length = words[1];
    } else {
        std::memcpy(&v.v, rec, s.width);
        v.length = s.length;
    }
    return v;
}

// Sorts the store and drops values equal to an earlier one. 0 or -1.
int16_t SortUnique(rcPlnStmt *stmt, rcSubStore *s)
{
    size_t n = s->Count();
    std::vector<uint32_t> order(n);
    for (size_t k = 0; k < n; ++k)
        order[k] = static_cast<uint32_t>(k);
    bool failed = false;
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        int c = 0;
        if (!failed && rcExpCompareValues(&stmt->env, Load(*s, a), Load(*s, b), &c) < 0)
            failed = true;
        return c < 0;
    });
    if (failed)
        return PLN_ERROR;
    std::vector<unsigned char> sorted;
    sorted.reserve(s->fixed.size());
    size_t last = 0;
    for (size_t k = 0; k < n; ++k) {
        int c = 1;
        if (k > 0 &&
            rcExpCompareValues(&stmt->env, Load(*s, order[last]), Load(*s, order[k]), &c) < 0)
            return PLN_ERROR;
        if (c == 0)
            continue;
        last = k;
        const unsigned char *rec = s->fixed.data() + static_cast<size_t>(order[k]) * s->width;
        sorted.insert(sorted.end(), rec, rec + s->width);
    }
    s->fixed.swap(sorted);
    return 0;
}

// True when a value equal to x is in the sorted store. 0 or -1.
int16_t Contains(rcPlnStmt *stmt, const rcSubStore &s, const rcExpValue &x, bool *found)
{
    *found = false;
    size_t lo = 0, hi = s.Count();
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        int c = 0;
        if (rcExpCompareValues(&stmt->env, x, Load(s, mid), &c) < 0)
            return PLN_ERROR;
        if (c == 0) {
            *found = true;
            return 0;
        }
        if (c < 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    return 0;
}

bool Holds(uint16_t op, int order)
{
    switch (op) {
    case RC_T_EQ: return order == 0;
    case RC_T_GT: return order > 0;
    case RC_T_GE: return order >= 0;
    case RC_T_LT: return order < 0;
    case RC_T_LE: return order <= 0;
    default: return order != 0;
    }
}

// The values are kept sorted: = ANY and <> ALL look x up.
bool NeedsSet(const PlanNode *node)
{
    uint16_t op = node->subInfo->op;
    return (node->form == 1 && op == RC_T_EQ) || (node->form == 2 && op == RC_T_NE);
}

// Reads the subquery's rows once. 0 or -1.
int16_t Read(rcPlnStmt *stmt, PlanNode *node, rcSubRun *run, bool keepAll)
{
    const rcSubPlanInfo *info = node->subInfo;
    *run = rcSubRun{};
    if (info->strategy != RC_SUB_NONE && rcSubForgetSeeks(stmt, node) != 0)
        return PLN_ERROR;
    run->keepAll = keepAll;
    bool set = !keepAll && NeedsSet(node);
    QueryPlan *plan = node->subPlan;
    rcPlnResetRedirects(stmt, node->subBlock);
    if (rcExeOpenPlan(stmt, plan->root) != 0)
        return PLN_ERROR;
    rcPlnNextFn next = rcExeNextOf(plan->root);
    int16_t rc = next(stmt, plan->root, 0);
    for (; IsRow(rc); rc = next(stmt, plan->root, 1)) {
        if (++run->rows > 1 && node->form == 4)
            return static_cast<int16_t>(
                rcErrRaise(stmt->errors, RC_ENG_INVALID_ROW_COUNT_SUBQUERY));
        rcExpValue v;
        if (rcExpEvalValue(&stmt->env, info->value, &v) < 0)
            return PLN_ERROR;
        if (v.isNull) {
            run->nulls = true;
            continue;
        }
        if (node->form == 4) {
            rcSubHold(&run->low, v);
            continue;
        }
        if (run->type == 0)
            run->type = v.type;
        if (v.type != run->type) {
            if (!keepAll)
                return Read(stmt, node, run, true); // kept whole, compared one by one
            run->others.emplace_back();
            rcSubHold(&run->others.back(), v);
            continue;
        }
        if (keepAll || set) {
            if (!Append(&run->values, v))
                return static_cast<int16_t>(
                    rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
            continue;
        }
        int c = 0;
        if (run->low.set && rcExpCompareValues(&stmt->env, v, rcSubHeldValue(run->low), &c) < 0)
            return PLN_ERROR;
        if (!run->low.set || c < 0)
            rcSubHold(&run->low, v);
        if (run->high.set && rcExpCompareValues(&stmt->env, v, rcSubHeldValue(run->high), &c) < 0)
            return PLN_ERROR;
        if (!run->high.set || c > 0)
            rcSubHold(&run->high, v);
    }
    if (!IsEnd(rc))
        return PLN_ERROR;
    if (set && SortUnique(stmt, &run->values) != 0)
        return PLN_ERROR;
    run->built = true;
    return 0;
}

int16_t Negate(const PlanNode *node, int16_t truth)
{
    if (node->negated && truth != kUnknown)
        return truth == kTrue ? kFalse : kTrue;
    return truth;
}

// x compared with every kept value in turn.
int16_t OneByOne(rcPlnStmt *stmt, const PlanNode *node, const rcSubRun *run, const rcExpValue &x)
{
    bool any = node->form == 1;
    size_t n = run->values.Count();
    for (size_t k = 0; k < n + run->others.size(); ++k) {
        int c = 0;
        rcExpValue v = k < n ? Load(run->values, k) : rcSubHeldValue(run->others[k - n]);
        if (rcExpCompareValues(&stmt->env, x, v, &c) < 0)
            return PLN_ERROR;
        bool holds = Holds(node->subInfo->op, c);
        if (any && holds)
            return kTrue;
        if (!any && !holds)
            return kFalse;
    }
    return run->nulls ? kUnknown : any ? kFalse : kTrue;
}

// Whether some kept value v makes "x op v" come out as `want`. 0 or -1.
int16_t Witness(rcPlnStmt *stmt, const PlanNode *node, const rcSubRun *run, const rcExpValue &x,
                bool want, bool *found)
{
    *found = false;
    uint16_t op = node->subInfo->op;
    if (NeedsSet(node))
        return Contains(stmt, run->values, x, found);
    if (!run->low.set)
        return 0; // no value but NULLs
    int low = 0, high = 0;
    if (rcExpCompareValues(&stmt->env, x, rcSubHeldValue(run->low), &low) < 0 ||
        rcExpCompareValues(&stmt->env, x, rcSubHeldValue(run->high), &high) < 0)
        return PLN_ERROR;
    switch (op) {
    case RC_T_EQ:
    case RC_T_NE:
        // Some value differs from x exactly when the smallest or the
        // largest does (= ALL looks for one, <> ANY too).
        *found = low != 0 || high != 0;
        break;
    case RC_T_GT:
    case RC_T_GE:
        // x > v holds for some v when it holds for the smallest; it fails
        // for some v when it fails for the largest.
        *found = want ? Holds(op, low) : !Holds(op, high);
        break;
    default: *found = want ? Holds(op, high) : !Holds(op, low); break;
    }
    return 0;
}

rcSubRun *RunOf(rcPlnStmt *stmt, rcSubPlanInfo *info)
{
    if (info->run == nullptr) {
        info->run = new (std::nothrow) rcSubRun;
        if (info->run == nullptr)
            rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR);
    }
    return info->run;
}

// = ANY by an equality seek: *answered with the truth value in *truth, or
// not when this execution reads the rows instead. 0 or -1.
int16_t SeekAnswer(rcPlnStmt *stmt, PlanNode *node, rcSubRun *run, bool *answered, int16_t *truth)
{
    *answered = false;
    bool found = false;
    if (rcSubSeekEqual(stmt, node, run, &found) != 0)
        return PLN_ERROR;
    if (run->seekOff) {
        node->subInfo->table->access = PLN_ACCESS_SCAN; // read once from here on
        return 0;
    }
    *answered = true;
    if (found) {
        *truth = Negate(node, kTrue);
        return 0;
    }
    // x NULL, or not found: UNKNOWN unless the table is empty or has no NULL.
    if (!run->firstKnown && rcSubSeekFirstKey(stmt, node, run) != 0)
        return PLN_ERROR;
    rcExpValue x;
    if (rcExpEvalValue(&stmt->env, node->subInfo->outer, &x) < 0)
        return PLN_ERROR;
    *truth = Negate(node, run->rows == 0 ? kFalse : x.isNull || run->nulls ? kUnknown : kFalse);
    return 0;
}

int16_t Probe(rcPlnStmt *stmt, PlanNode *node)
{
    rcSubPlanInfo *info = node->subInfo;
    rcSubRun *run = RunOf(stmt, info);
    if (run == nullptr)
        return PLN_ERROR;
    if (info->strategy == RC_SUB_EQUAL && info->table->access == PLN_ACCESS_INDEX) {
        bool answered = false;
        int16_t truth = 0;
        if (SeekAnswer(stmt, node, run, &answered, &truth) != 0)
            return PLN_ERROR;
        if (answered)
            return truth;
    }
    if (!run->built) {
        bool extreme = info->strategy == RC_SUB_SMALLEST || info->strategy == RC_SUB_LARGEST;
        bool plain = (stmt->engineOptions & PLN_OPT_NOHASHOPT) != 0;
        if ((extreme ? rcSubSeekExtreme(stmt, node, run) : Read(stmt, node, run, plain)) != 0)
            return PLN_ERROR;
    }
    rcExpValue x;
    if (rcExpEvalValue(&stmt->env, info->outer, &x) < 0)
        return PLN_ERROR;
    if (node->form == 4) {
        if (!run->low.set || x.isNull)
            return kUnknown; // no row, or NULL on a side
        int c = 0;
        if (rcExpCompareValues(&stmt->env, x, rcSubHeldValue(run->low), &c) < 0)
            return PLN_ERROR;
        return Holds(info->op, c) ? kTrue : kFalse;
    }
    bool any = node->form == 1;
    if (run->rows == 0)
        return Negate(node, any ? kFalse : kTrue);
    if (x.isNull)
        return kUnknown;
    int kind = KindOf(x.type);
    if (!run->keepAll && run->type != 0 && (kind == 0 || kind != KindOf(run->type))) {
        // The reduction does not hold for x: every value is read and kept.
        if (Read(stmt, node, run, true) != 0 || rcExpEvalValue(&stmt->env, info->outer, &x) < 0)
            return PLN_ERROR;
    }
    if (run->keepAll) {
        int16_t t = OneByOne(stmt, node, run, x);
        return t < 0 ? t : Negate(node, t);
    }
    bool found = false;
    if (Witness(stmt, node, run, x, any, &found) != 0)
        return PLN_ERROR;
    if (found)
        return Negate(node, any ? kTrue : kFalse);
    return Negate(node, run->nulls ? kUnknown : any ? kFalse : kTrue);
}

} // namespace

void rcSubHold(rcSubHeld *held, const rcExpValue &v)
{
    held->value = v;
    if (IsText(v.type) || IsBinary(v.type))
        held->bytes.assign(v.text != nullptr ? v.text : "", v.length);
    held->set = true;
}

rcExpValue rcSubHeldValue(const rcSubHeld &held)
{
    rcExpValue v = held.value;
    if (IsText(v.type) || IsBinary(v.type))
        v.text = held.bytes.c_str(); // where the copy is now
    return v;
}

int16_t rcSubKeptAnswer(rcPlnStmt *stmt, PlanNode *node)
{
    try {
        return Probe(stmt, node);
    } catch (const std::bad_alloc &) {
        return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    }
}
