// Grouping and DISTINCT without a sort of the rows (see rcexegroup.h).
#include "driver/engine/exec/rcexegroup.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "driver/core/rccnv.h"
#include "driver/core/rccollate.h"
#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcnum.h"
#include "driver/core/rctrace.h"
#include "driver/engine/exec/rcexe.h"
#include "driver/engine/plan/rcplnhooks.h"
#include "driver/engine/plan/rcplntree.h"
#include "driver/engine/temp/rcswp.h"
#include "driver/engine/temp/rctmpkey.h"

namespace {

enum : uint8_t { kIdle, kEmitStore, kEmitOutput, kStream };

constexpr uint32_t kNoState = 0xFFFFFFFF;
constexpr uint32_t kFirstBuckets = 64;

// Where a stored column (or a kept set function) read its value when the
// node's open began: what the rows of the input are read through.
struct SavedRedirect {
    TempTable *redirect;
    uint16_t column;
    uint16_t pieces;
    const uint32_t *nullRow;
};

} // namespace

struct rcGrpNode {
    uint8_t method = RC_GRP_HASH;
    bool distinct = false; // keeps a group's first row, else its last
    std::vector<PlanNode *> accumulate;
    std::vector<uint8_t> accumulated; // per column: a set function folded here
    std::vector<uint32_t> stateOffset;
    uint32_t stateSize = 0;
    std::vector<SavedRedirect> input; // per column
    // Base columns whose value a key column holds already (a key that is
    // the plain column): read there, not stored twice.
    std::vector<std::pair<rcPlnColumn *, uint16_t>> aliases;
    std::vector<SavedRedirect> aliasInput;
    // Run time.
    TempTable *store = nullptr;
    TempTable *scratch = nullptr;
    TempTable *pass = nullptr;     // the overflow of the last pass, read now
    TempTable *overflow = nullptr; // rows of groups the store had no room for
    TempTable *output = nullptr;   // finished groups of every pass
    std::vector<unsigned char> states;
    std::vector<uint32_t> hashes;
    std::vector<uint32_t> buckets; // group + 1; 0 empty
    std::vector<uint32_t> order;
    uint64_t limit = 0;
    uint64_t emitAt = 0;
    uint8_t phase = kIdle;
    bool pointed = false;
    bool spilled = false; // this pass sent rows to the overflow
    bool pending = false; // stream: the scratch row starts the next group
    bool inputDone = false;
    bool haveGroup = false;
    uint8_t childFlag = 0;
    uint32_t passes = 0;
    uint64_t spilledRows = 0;
};

namespace {

bool IsText(int16_t t) { return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR; }

bool IsVar(int16_t t)
{
    return IsText(t) || t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY;
}

uint64_t Align8(uint64_t v) { return (v + 7u) & ~uint64_t(7); }

uint64_t MemoryLimit(const rcPlnStmt *stmt)
{
    static const uint64_t fromEnvironment = [] {
        const char *s = std::getenv("QX_HASH_MEMORY_LIMIT");
        return s != nullptr && *s != '\0' ? std::strtoull(s, nullptr, 0) : 0;
    }();
    uint64_t limit = stmt->tmpOwner.limits.hashMemoryLimit;
    if (fromEnvironment != 0 && fromEnvironment < limit)
        limit = fromEnvironment;
    return limit;
}

// ---- Key hashing -------------------------------------------------------------

constexpr uint64_t kFnvBasis = 0xcbf29ce484222325ull;
constexpr uint64_t kFnvPrime = 0x100000001b3ull;

uint64_t HashBytes(uint64_t h, const unsigned char *p, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        h = (h ^ p[i]) * kFnvPrime;
    return h;
}

uint64_t HashWord(uint64_t h, uint64_t v)
{
    h = (h ^ v) * 0x9e3779b97f4a7c15ull;
    return h ^ (h >> 29);
}

// An exact number without the trailing zeros of its digits, so that equal
// values of different scales hash alike.
uint64_t HashExact(uint64_t h, const unsigned char *v)
{
    MultiPrecisionNumber x;
    std::memcpy(&x, v, sizeof x);
    if (!rcNumIsValid(x))
        return HashWord(h, 1);
    if (rcNumSign(x) == kNumZero)
        return HashWord(h, 0);
    for (int k = 0; k < 80; ++k) {
        MultiPrecisionNumber y = x;
        rcNumDivPow10(y, 1);
        if (rcNumCompare(y, x) != 2)
            break;
        x = y;
    }
    rcNumNormalize(x);
    h = HashWord(h, static_cast<uint64_t>(static_cast<int64_t>(x.exponent)));
    for (int i = 0; i < x.used && i < kNumMaxWords; ++i)
        h = HashWord(h, x.words[i]);
    return h;
}

// A hash of a row's keys that agrees with the key comparison: rows whose
// keys compare equal hash alike.
uint32_t HashKeys(const TempTable *t, uint16_t keyCount, const unsigned char *row)
{
    uint64_t h = kFnvBasis;
    for (uint16_t k = 0; k < keyCount; ++k) {
        const TempTableColumn &c = t->columns[k];
        const unsigned char *slot = row + c.rowOffset;
        const unsigned char *v = slot + RC_TMP_INDICATOR;
        if (slot[0] == RC_TMP_NULL) {
            h = HashWord(h, 0x4e554c4cu);
            continue;
        }
        switch (c.storageType) {
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_LONGVARCHAR: {
            // As the collation compares: trailing blanks off, up to a NUL,
            // case folded.
            size_t n = slot[1] | (slot[2] << 8);
            while (n > 0 && v[n - 1] == ' ')
                --n;
            n = strnlen(reinterpret_cast<const char *>(v), n);
            for (size_t i = 0; i < n; ++i)
                h = (h ^ rcCollateUpper1252(v[i])) * kFnvPrime;
            h = HashWord(h, n);
            break;
        }
        case SQL_DOUBLE: {
            double d;
            std::memcpy(&d, v, sizeof d);
            uint64_t bits = 0x7ff8000000000000ull; // every NaN alike
            if (!std::isnan(d)) {
                if (d == 0)
                    d = 0; // -0.0 with 0.0
                std::memcpy(&bits, &d, sizeof bits);
            }
            h = HashWord(h, bits);
            break;
        }
        case RC_SQL_DECIMAL38: h = HashExact(h, v); break;
        case SQL_INTEGER: {
            int32_t x;
            std::memcpy(&x, v, sizeof x);
            h = HashWord(h, static_cast<uint32_t>(x));
            break;
        }
        default: h = HashBytes(h, v, c.valueSize); break;
        }
    }
    return static_cast<uint32_t>(h ^ (h >> 32));
}

// ---- Accumulators --------------------------------------------------------------

// One set function's state in a group: count, no-value flag, then the sum
// (double or exact) or the kept MIN/MAX value with room for its text.
uint32_t StateSizeOf(const PlanNode *sf)
{
    const rcPlnAccumulator *a = sf->acc;
    switch (sf->function) {
    case PLN_FN_COUNT: return 8;
    case PLN_FN_SUM:
    case PLN_FN_AVG:
        return static_cast<uint32_t>(
            Align8(8 + (a->resultType == RC_SQL_DECIMAL38 ? sizeof(MultiPrecisionNumber)
                                                          : sizeof(double))));
    default:
        return static_cast<uint32_t>(
            Align8(8 + sizeof(rcExpValue) + (IsVar(a->resultType) ? RC_TMP_MAX_VALUE : 0)));
    }
}

unsigned char *StateOf(rcGrpNode *g, uint32_t group, size_t i)
{
    return g->states.data() + uint64_t(group) * g->stateSize + g->stateOffset[i];
}

void InitState(rcGrpNode *g, uint32_t group)
{
    for (size_t i = 0; i < g->accumulate.size(); ++i) {
        const PlanNode *sf = g->accumulate[i];
        unsigned char *s = StateOf(g, group, i);
        std::memset(s, 0, StateSizeOf(sf));
        s[4] = 1; // no value yet
        if ((sf->function == PLN_FN_SUM || sf->function == PLN_FN_AVG) &&
            sf->acc->resultType == RC_SQL_DECIMAL38) {
            MultiPrecisionNumber zero{};
            rcNumSetZero(zero, 0);
            std::memcpy(s + 8, &zero, sizeof zero);
        }
    }
}

// Puts a group's state into the set function's own accumulator (which the
// fold and the value reads use) and back.
void Load(rcGrpNode *g, uint32_t group, size_t i)
{
    PlanNode *sf = g->accumulate[i];
    rcPlnAccumulator *a = sf->acc;
    const unsigned char *s = StateOf(g, group, i);
    std::memcpy(&a->count, s, sizeof a->count);
    a->noValue = s[4] != 0;
    a->groupEnded = false;
    switch (sf->function) {
    case PLN_FN_COUNT: break;
    case PLN_FN_SUM:
    case PLN_FN_AVG:
        if (a->resultType == RC_SQL_DECIMAL38)
            std::memcpy(&a->exact, s + 8, sizeof a->exact);
        else
            std::memcpy(&a->sum, s + 8, sizeof a->sum);
        break;
    default:
        if (a->noValue)
            break;
        std::memcpy(&a->value, s + 8, sizeof a->value);
        if (a->value.text != nullptr) {
            uint32_t n = std::min<uint32_t>(a->value.length, RC_TMP_MAX_VALUE - 1);
            std::memcpy(a->text, s + 8 + sizeof(rcExpValue), n);
            a->text[n] = '\0';
            a->value.text = a->text;
            a->value.length = n;
        }
        break;
    }
}

void Save(rcGrpNode *g, uint32_t group, size_t i)
{
    PlanNode *sf = g->accumulate[i];
    const rcPlnAccumulator *a = sf->acc;
    unsigned char *s = StateOf(g, group, i);
    std::memcpy(s, &a->count, sizeof a->count);
    s[4] = a->noValue ? 1 : 0;
    switch (sf->function) {
    case PLN_FN_COUNT: break;
    case PLN_FN_SUM:
    case PLN_FN_AVG:
        if (a->resultType == RC_SQL_DECIMAL38)
            std::memcpy(s + 8, &a->exact, sizeof a->exact);
        else
            std::memcpy(s + 8, &a->sum, sizeof a->sum);
        break;
    default:
        if (a->noValue)
            break;
        std::memcpy(s + 8, &a->value, sizeof a->value);
        if (a->value.text != nullptr)
            std::memcpy(s + 8 + sizeof(rcExpValue), a->value.text,
                        std::min<uint32_t>(a->value.length, RC_TMP_MAX_VALUE - 1));
        break;
    }
}

void LoadAll(rcGrpNode *g, uint32_t group)
{
    for (size_t i = 0; i < g->accumulate.size(); ++i)
        Load(g, group, i);
}

int16_t Fold(rcPlnStmt *stmt, rcGrpNode *g, uint32_t group)
{
    for (size_t i = 0; i < g->accumulate.size(); ++i) {
        Load(g, group, i);
        if (rcExeFoldSetFunc(stmt, g->accumulate[i]) != 0)
            return PLN_ERROR;
        Save(g, group, i);
    }
    return 0;
}

// ---- Column redirects ------------------------------------------------------------

bool StoredColumn(const rcPlnTempColumn &c)
{
    return c.part == 0 && c.column != nullptr &&
           (c.kind == PLN_TTCOL_COLUMN || c.kind == PLN_TTCOL_KEY);
}

void SaveInput(PlanNode *node)
{
    rcGrpNode *g = node->grouping;
    g->aliasInput.clear();
    for (const auto &a : g->aliases)
        g->aliasInput.push_back({a.first->redirect, a.first->redirectColumn,
                                 a.first->redirectPieces, a.first->ref.nullRow});
    g->input.assign(node->columnCount, SavedRedirect{});
    for (uint16_t k = 0; k < node->columnCount; ++k) {
        const rcPlnTempColumn &c = node->columns[k];
        if (StoredColumn(c))
            g->input[k] = {c.column->redirect, c.column->redirectColumn, c.column->redirectPieces,
                           c.column->ref.nullRow};
        else if (c.kind == PLN_TTCOL_SETFN && !g->accumulated[k])
            g->input[k] = {c.setFunction->redirect, c.setFunction->redirectColumn, 0, nullptr};
    }
}

// The columns (and kept set functions) read the input again.
void RestoreInput(PlanNode *node)
{
    rcGrpNode *g = node->grouping;
    for (size_t i = 0; i < g->aliases.size(); ++i) {
        rcPlnColumn *c = g->aliases[i].first;
        const SavedRedirect &s = g->aliasInput[i];
        c->redirect = s.redirect;
        c->redirectColumn = s.column;
        c->redirectPieces = s.pieces;
        c->ref.nullRow = s.nullRow;
    }
    for (uint16_t k = 0; k < node->columnCount; ++k) {
        rcPlnTempColumn &c = node->columns[k];
        const SavedRedirect &s = g->input[k];
        if (StoredColumn(c)) {
            c.column->redirect = s.redirect;
            c.column->redirectColumn = s.column;
            c.column->redirectPieces = s.pieces;
            c.column->ref.nullRow = s.nullRow;
        } else if (c.kind == PLN_TTCOL_SETFN && !g->accumulated[k]) {
            c.setFunction->redirect = s.redirect;
            c.setFunction->redirectColumn = s.column;
        }
    }
}

// Points the stored columns at the current row of t (set-function arguments
// are read there while folding).
void PointColumns(PlanNode *node, TempTable *t)
{
    for (const auto &a : node->grouping->aliases) {
        a.first->redirect = t;
        a.first->redirectColumn = a.second;
        a.first->redirectPieces = 0;
        a.first->ref.nullRow = nullptr;
    }
    for (uint16_t k = 0; k < node->columnCount; ++k) {
        rcPlnTempColumn &c = node->columns[k];
        if (!StoredColumn(c))
            continue;
        c.column->redirect = t;
        c.column->redirectColumn = k;
        c.column->redirectPieces = c.pieces;
        c.column->ref.nullRow = nullptr;
    }
}

// From here on the rows above read t: its columns, its kept set functions,
// and the accumulated ones either from t (withValues) or from their
// accumulators.
void PointAll(PlanNode *node, TempTable *t, bool withValues)
{
    PointColumns(node, t);
    rcGrpNode *g = node->grouping;
    for (uint16_t k = 0; k < node->columnCount; ++k) {
        rcPlnTempColumn &c = node->columns[k];
        if (c.kind != PLN_TTCOL_SETFN)
            continue;
        if (g->accumulated[k] && !withValues) {
            c.setFunction->redirect = nullptr;
        } else {
            c.setFunction->redirect = t;
            c.setFunction->redirectColumn = k;
        }
    }
}

// ---- Tables --------------------------------------------------------------------

void FreeTable(TempTable **t)
{
    if (*t != nullptr)
        rcTmpFree(*t);
    *t = nullptr;
}

// A table of the node's row layout; keys as sort keys when asked.
int16_t MakeTable(rcPlnStmt *stmt, PlanNode *node, uint64_t memoryLimit, bool keys, TempTable **out)
{
    rcTmpOwner owner = stmt->tmpOwner;
    owner.limits.memoryLimit = static_cast<uint32_t>(std::min<uint64_t>(memoryLimit, UINT32_MAX));
    TempTable *t = nullptr;
    if (rcTmpCreate(owner, &t) < 0)
        return PLN_ERROR;
    *out = t;
    for (uint16_t k = 0; k < node->columnCount; ++k) {
        const rcPlnTempColumn &c = node->columns[k];
        if (rcTmpAddColumn(t, c.sqlType, c.precScale, c.length) < 0)
            return PLN_ERROR;
        if (keys && k < node->keyCount && rcTmpSetSortKey(t, k, k, c.descending) < 0)
            return PLN_ERROR;
    }
    if (keys && node->keyCount > 0 && rcTmpBuildKeys(t) != 0)
        return PLN_ERROR;
    return 0;
}

// The memory a spilling table of the node may keep.
uint64_t SpillTableLimit(const rcPlnStmt *stmt, const rcGrpNode *g)
{
    return std::min<uint64_t>(stmt->tmpOwner.limits.memoryLimit, g->limit);
}

// Puts the current input row into the scratch row.
int16_t PutScratch(rcPlnStmt *stmt, PlanNode *node)
{
    rcGrpNode *g = node->grouping;
    if (rcTmpClearRows(g->scratch) != 0)
        return PLN_ERROR;
    for (uint16_t k = 0; k < node->columnCount; ++k) {
        int16_t rc = g->accumulated[k] ? rcTmpPutColumnLen(g->scratch, nullptr, 0, k, true)
                                       : rcExeTempPutValue(stmt, node->columns, g->scratch, k);
        if (rc < 0)
            return PLN_ERROR;
    }
    return rcTmpSetRow(g->scratch, 0) < 0 ? PLN_ERROR : 0;
}

bool Cancelled(rcPlnStmt *stmt)
{
    if (stmt->tmpOwner.cancel == nullptr || stmt->tmpOwner.cancel->load() == 0)
        return false;
    rcErrRaise(stmt->errors, RC_MSG_OPERATION_CANCELLED);
    return true;
}

// ---- The hash table of groups ------------------------------------------------

const unsigned char *GroupRow(rcGrpNode *g, uint32_t group)
{
    return rcTmpRowBytes(g->store, group);
}

uint32_t Find(PlanNode *node, uint32_t hash, const unsigned char *row)
{
    rcGrpNode *g = node->grouping;
    uint32_t mask = static_cast<uint32_t>(g->buckets.size() - 1);
    for (uint32_t i = hash & mask;; i = (i + 1) & mask) {
        uint32_t at = g->buckets[i];
        if (at == 0)
            return kNoState;
        uint32_t group = at - 1;
        if (g->hashes[group] == hash &&
            rcTmpCompareRowBytes(g->store, GroupRow(g, group), row) == 0)
            return group;
    }
}

void Insert(rcGrpNode *g, uint32_t group)
{
    uint32_t mask = static_cast<uint32_t>(g->buckets.size() - 1);
    uint32_t i = g->hashes[group] & mask;
    while (g->buckets[i] != 0)
        i = (i + 1) & mask;
    g->buckets[i] = group + 1;
}

// Room for one more group within the memory limit (the first group of a
// pass always: every pass takes at least one).
bool HasRoom(const rcGrpNode *g)
{
    uint64_t groups = g->hashes.size();
    if (groups == 0)
        return true;
    uint64_t buckets =
        (groups + 1) * 2 > g->buckets.size() ? g->buckets.size() * 2 : g->buckets.size();
    uint64_t need =
        (groups + 1) * (uint64_t(uint32_t(g->store->rowLength)) + g->stateSize + 4) + buckets * 4;
    return need <= g->limit && rcTmpRowFits(g->store);
}

int16_t NewGroup(rcGrpNode *g, const unsigned char *row, uint32_t hash, uint32_t *out)
{
    if (rcTmpAppendRow(g->store, row) != 0)
        return PLN_ERROR;
    uint32_t group = static_cast<uint32_t>(g->hashes.size());
    g->hashes.push_back(hash);
    g->states.resize(g->states.size() + g->stateSize);
    InitState(g, group);
    if ((group + 1) * 2 > g->buckets.size()) {
        g->buckets.assign(g->buckets.size() * 2, 0);
        for (uint32_t k = 0; k < group; ++k)
            Insert(g, k);
    }
    Insert(g, group);
    *out = group;
    return 0;
}

void ClearGroups(rcGrpNode *g)
{
    if (g->store != nullptr)
        rcTmpClearRows(g->store);
    g->states.clear();
    g->hashes.clear();
    g->buckets.assign(kFirstBuckets, 0);
    g->order.clear();
}

// One input row (its bytes in the node's layout, its columns readable through
// from): into its group, a new group, or the overflow.
int16_t Consume(rcPlnStmt *stmt, PlanNode *node, const unsigned char *row, TempTable *from)
{
    rcGrpNode *g = node->grouping;
    uint32_t hash = HashKeys(g->store, node->keyCount, row);
    uint32_t group = Find(node, hash, row);
    if (group != kNoState) {
        if (!g->distinct)
            std::memcpy(rcTmpRowBytes(g->store, group), row, uint32_t(g->store->rowLength));
    } else if (HasRoom(g)) {
        if (NewGroup(g, row, hash, &group) != 0)
            return PLN_ERROR;
    } else {
        if (g->overflow == nullptr &&
            MakeTable(stmt, node, SpillTableLimit(stmt, g), false, &g->overflow) != 0)
            return PLN_ERROR;
        g->spilled = true;
        ++g->spilledRows;
        return rcTmpAppendRow(g->overflow, row) != 0 ? PLN_ERROR : 0;
    }
    if (g->accumulate.empty())
        return 0;
    if (from != g->scratch)
        return Fold(stmt, g, group);
    // The arguments are read from the scratch row; the input goes on
    // reading its own columns (join keys, filters).
    PointColumns(node, from);
    int16_t rc = Fold(stmt, g, group);
    RestoreInput(node);
    return rc;
}

// Writes the groups of the store, their set-function values included, to
// the output table.
int16_t WriteGroups(rcPlnStmt *stmt, PlanNode *node)
{
    rcGrpNode *g = node->grouping;
    if (g->output == nullptr &&
        MakeTable(stmt, node, SpillTableLimit(stmt, g), true, &g->output) != 0)
        return PLN_ERROR;
    for (uint16_t k = 0; k < node->columnCount; ++k)
        if (g->accumulated[k])
            node->columns[k].setFunction->redirect = nullptr;
    const TempTable *s = g->store;
    for (uint32_t group = 0; group < g->hashes.size(); ++group) {
        LoadAll(g, group);
        unsigned char *row = rcTmpRowBytes(g->store, group);
        if (!g->accumulate.empty()) {
            if (rcTmpClearRows(g->scratch) != 0)
                return PLN_ERROR;
            for (uint16_t k = 0; k < node->columnCount; ++k) {
                int16_t rc = g->accumulated[k]
                                 ? rcExeTempPutValue(stmt, node->columns, g->scratch, k)
                                 : rcTmpPutColumnLen(g->scratch, nullptr, 0, k, true);
                if (rc < 0)
                    return PLN_ERROR;
            }
            const unsigned char *values = rcTmpRowBytes(g->scratch, 0);
            for (uint16_t k = 0; k < node->columnCount; ++k) {
                if (!g->accumulated[k])
                    continue;
                uint32_t from = s->columns[k].rowOffset;
                uint32_t to =
                    k + 1 < s->columnCount ? s->columns[k + 1].rowOffset : uint32_t(s->rowLength);
                std::memcpy(row + from, values + from, to - from);
            }
        }
        if (rcTmpAppendRow(g->output, row) != 0)
            return PLN_ERROR;
    }
    return 0;
}

// The store's groups in key order.
void SortGroups(rcGrpNode *g)
{
    size_t n = g->hashes.size();
    std::vector<uint64_t> prefix(n);
    g->order.resize(n);
    for (uint32_t k = 0; k < n; ++k) {
        g->order[k] = k;
        prefix[k] = g->store->keyCount > 0 ? rcTmpKeyPrefix(g->store, GroupRow(g, k)) : 0;
    }
    std::sort(g->order.begin(), g->order.end(), [&](uint32_t a, uint32_t b) {
        if (prefix[a] != prefix[b])
            return prefix[a] < prefix[b];
        int c = rcTmpCompareRowBytes(g->store, GroupRow(g, a), GroupRow(g, b));
        return c != 0 ? c < 0 : a < b;
    });
}

// Ends a pass: either the store is the whole result, or its groups go to the
// output and the overflow is read as the next pass.
int16_t EndPasses(rcPlnStmt *stmt, PlanNode *node)
{
    rcGrpNode *g = node->grouping;
    bool viaOutput = (stmt->engineOptions & RC_TMP_OPT_NOOPTSORT) != 0;
    for (;;) {
        if (!g->spilled && g->output == nullptr && !viaOutput) {
            SortGroups(g);
            g->phase = kEmitStore;
            return 0;
        }
        if (WriteGroups(stmt, node) != 0)
            return PLN_ERROR;
        FreeTable(&g->pass);
        if (g->overflow == nullptr)
            break;
        g->pass = g->overflow;
        g->overflow = nullptr;
        g->spilled = false;
        ++g->passes;
        ClearGroups(g);
        if (!g->accumulate.empty())
            PointColumns(node, g->pass);
        int16_t rc = rcTmpMove(g->pass, 3);
        while (rc == 0) {
            if (Cancelled(stmt))
                return PLN_ERROR;
            const unsigned char *row = rcTmpCurrentRowBytes(g->pass);
            if (row == nullptr || Consume(stmt, node, row, g->pass) != 0)
                return PLN_ERROR;
            rc = rcTmpMove(g->pass, 1);
        }
        if (rc < 0)
            return PLN_ERROR;
    }
    if (rcTmpRowCount(g->output) > 0 && rcSwpSortExec(g->output) < 0)
        return PLN_ERROR;
    g->phase = kEmitOutput;
    return 0;
}

// The hash method: the whole input at open.
int16_t ReadInput(rcPlnStmt *stmt, PlanNode *node)
{
    rcGrpNode *g = node->grouping;
    int16_t rc = node->firstNext(stmt, node->first, 0);
    while (rc == PLN_ROW || rc == PLN_ROW_WARNING) {
        // The input may point its columns elsewhere as it goes (a hash join
        // below reads its inner side from its own table once built): the
        // folds give back what the input set for this row.
        if (!g->accumulate.empty())
            SaveInput(node);
        if (Cancelled(stmt) || PutScratch(stmt, node) != 0 ||
            Consume(stmt, node, rcTmpRowBytes(g->scratch, 0), g->scratch) != 0)
            return PLN_ERROR;
        rc = node->firstNext(stmt, node->first, 1);
    }
    if (rc != PLN_END && rc != PLN_RANGE_END && rc != PLN_GROUP_END)
        return PLN_ERROR;
    if (!g->accumulate.empty())
        RestoreInput(node);
    if (EndPasses(stmt, node) != 0)
        return PLN_ERROR;
    rcTrcPrintfTo(stmt->tmpOwner.trace, 2, "%s: %lu groups, %lu rows spilled, %lu passes.\n",
                  rcGrpMethodName(node),
                  static_cast<unsigned long>(g->phase == kEmitStore ? g->order.size()
                                                                    : rcTmpRowCount(g->output)),
                  static_cast<unsigned long>(g->spilledRows),
                  static_cast<unsigned long>(g->passes));
    return 0;
}

// The stream method: a group ends where the next one's first row comes.
int16_t StartGroup(rcPlnStmt *stmt, PlanNode *node)
{
    rcGrpNode *g = node->grouping;
    const unsigned char *row = rcTmpRowBytes(g->scratch, 0);
    if (g->store->rowCount == 0) {
        if (rcTmpAppendRow(g->store, row) != 0)
            return PLN_ERROR;
        g->states.resize(g->stateSize);
    } else {
        std::memcpy(rcTmpRowBytes(g->store, 0), row, uint32_t(g->store->rowLength));
    }
    InitState(g, 0);
    g->haveGroup = true;
    if (g->accumulate.empty())
        return 0;
    PointColumns(node, g->scratch);
    return Fold(stmt, g, 0);
}

// A streamed group's emission and the folds point the columns elsewhere;
// the input reads them through their own sources.
int16_t NextInputRow(rcPlnStmt *stmt, PlanNode *node)
{
    rcGrpNode *g = node->grouping;
    RestoreInput(node);
    int16_t rc = node->firstNext(stmt, node->first, g->childFlag);
    g->childFlag = 1;
    if ((rc == PLN_ROW || rc == PLN_ROW_WARNING) && !g->accumulate.empty())
        SaveInput(node); // what this row's input points at (see ReadInput)
    return rc;
}

int16_t EmitStreamGroup(PlanNode *node)
{
    rcGrpNode *g = node->grouping;
    PointAll(node, g->store, false);
    if (rcTmpSetRow(g->store, 0) < 0)
        return PLN_ERROR;
    LoadAll(g, 0);
    return PLN_ROW;
}

int16_t NextStream(rcPlnStmt *stmt, PlanNode *node, int flag)
{
    rcGrpNode *g = node->grouping;
    if (flag == 0) {
        ClearGroups(g);
        g->pending = g->inputDone = g->haveGroup = false;
        g->childFlag = 0;
    }
    for (;;) {
        if (g->pending) {
            g->pending = false;
            if (StartGroup(stmt, node) != 0)
                return PLN_ERROR;
        }
        if (g->inputDone)
            return PLN_END;
        int16_t rc = NextInputRow(stmt, node);
        if (rc == PLN_END || rc == PLN_RANGE_END || rc == PLN_GROUP_END) {
            g->inputDone = true;
            if (!g->haveGroup)
                return PLN_END;
            g->haveGroup = false;
            return EmitStreamGroup(node);
        }
        if (rc != PLN_ROW && rc != PLN_ROW_WARNING)
            return rc;
        if (Cancelled(stmt) || PutScratch(stmt, node) != 0)
            return PLN_ERROR;
        const unsigned char *row = rcTmpRowBytes(g->scratch, 0);
        if (!g->haveGroup) {
            if (StartGroup(stmt, node) != 0)
                return PLN_ERROR;
            continue;
        }
        if (rcTmpCompareRowBytes(g->store, rcTmpRowBytes(g->store, 0), row) != 0) {
            g->pending = true;
            return EmitStreamGroup(node);
        }
        if (!g->distinct)
            std::memcpy(rcTmpRowBytes(g->store, 0), row, uint32_t(g->store->rowLength));
        if (!g->accumulate.empty()) {
            PointColumns(node, g->scratch);
            if (Fold(stmt, g, 0) != 0)
                return PLN_ERROR;
        }
    }
}

} // namespace

const char *rcGrpMethodName(const PlanNode *node)
{
    if (node->kind == PLN_TEMPTABLE)
        return std::strncmp(node->name, "DST_TT", 7) == 0 ? "SORT DISTINCT" : "SORT GROUP BY";
    if (node->kind != PLN_HASHGROUP || node->grouping == nullptr)
        return "";
    bool stream = node->grouping->method == RC_GRP_STREAM;
    if (node->grouping->distinct)
        return stream ? "STREAM DISTINCT" : "HASH DISTINCT";
    return stream ? "STREAM GROUP BY" : "HASH GROUP BY";
}

rcGrpCounts rcGrpCountsOf(const PlanNode *node)
{
    const rcGrpNode *g = node->kind == PLN_HASHGROUP ? node->grouping : nullptr;
    if (g == nullptr)
        return {0, 0, 0};
    uint64_t groups = g->phase == kEmitOutput && g->output != nullptr ? rcTmpRowCount(g->output)
                                                                      : g->hashes.size();
    return {groups, g->spilledRows, g->passes};
}

bool rcGrpHashable(const PlanNode *node)
{
    for (uint16_t k = 0; k < node->columnCount; ++k)
        if (node->columns[k].kind == PLN_TTCOL_BOOKMARK ||
            rcTmpStorageType(node->columns[k].sqlType) == 0)
            return false;
    return true;
}

bool rcGrpSetup(rcPlnStmt *stmt, PlanNode *node, uint8_t method, bool distinct,
                const std::vector<PlanNode *> &accumulate)
{
    auto *g = new (std::nothrow) rcGrpNode;
    if (g == nullptr) {
        rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR);
        return false;
    }
    g->method = method;
    g->distinct = distinct;
    g->accumulate = accumulate;
    g->accumulated.assign(node->columnCount, 0);
    for (uint16_t k = 0; k < node->columnCount; ++k) {
        const rcPlnTempColumn &c = node->columns[k];
        if (c.kind == PLN_TTCOL_SETFN &&
            std::find(accumulate.begin(), accumulate.end(), c.setFunction) != accumulate.end())
            g->accumulated[k] = 1;
    }
    for (PlanNode *sf : accumulate) {
        g->stateOffset.push_back(g->stateSize);
        g->stateSize += StateSizeOf(sf);
    }
    node->grouping = g;
    node->subtype = method;
    // A stored column that a key holds already (the key is that plain
    // column, of the same type) is not stored again: it reads the key.
    uint16_t kept = 0;
    for (uint16_t k = 0; k < node->columnCount; ++k) {
        const rcPlnTempColumn &c = node->columns[k];
        uint16_t twin =
            k < node->keyCount || c.kind != PLN_TTCOL_COLUMN || c.pieces > 0 ? node->keyCount : 0;
        for (; twin < node->keyCount; ++twin) {
            const rcPlnTempColumn &key = node->columns[twin];
            const rcParseNode *e = key.expr;
            while (e != nullptr && e->child != nullptr && e->child->next == nullptr &&
                   (e->id == RC_N_Expression || e->id == RC_N_Primary))
                e = e->child;
            if (key.kind == PLN_TTCOL_KEY && key.pieces == 0 && key.part == 0 && e != nullptr &&
                e->id == RC_N_ColName && e->sem == c.column->column && key.sqlType == c.sqlType &&
                key.length == c.length && key.precScale == c.precScale)
                break;
        }
        if (twin < node->keyCount) {
            g->aliases.push_back({c.column, twin});
            continue;
        }
        node->columns[kept] = c;
        g->accumulated[kept] = g->accumulated[k];
        ++kept;
    }
    node->columnCount = kept;
    g->accumulated.resize(kept);
    return true;
}

int16_t rcExeOpenHashGroup(rcPlnStmt *stmt, PlanNode *node)
{
    rcGrpNode *g = node->grouping;
    rcExeCloseHashGroup(node);
    g->limit = MemoryLimit(stmt);
    g->emitAt = 0;
    g->passes = 1;
    g->spilledRows = 0;
    g->spilled = g->pointed = false;
    // The store grows to the limit and never spills: a group that would
    // not fit goes to the overflow instead.
    if (MakeTable(stmt, node, g->limit, true, &g->store) != 0 ||
        MakeTable(stmt, node, stmt->tmpOwner.limits.memoryLimit, false, &g->scratch) != 0)
        return PLN_ERROR;
    ClearGroups(g);
    SaveInput(node);
    rcTrcPrintfTo(stmt->tmpOwner.trace, 2, "%s...\n", rcGrpMethodName(node));
    if (g->method == RC_GRP_STREAM) {
        g->phase = kStream;
        return 0;
    }
    return ReadInput(stmt, node);
}

int16_t rcExeNextHashGroup(rcPlnStmt *stmt, PlanNode *node, int flag)
{
    rcGrpNode *g = node->grouping;
    if (g->phase == kStream)
        return NextStream(stmt, node, flag);
    if (flag == 0) {
        g->emitAt = 0;
        g->pointed = false;
    }
    if (g->phase == kEmitStore) {
        if (g->emitAt >= g->order.size())
            return PLN_END;
        if (!g->pointed)
            PointAll(node, g->store, false);
        g->pointed = true;
        uint32_t group = g->order[g->emitAt++];
        if (rcTmpSetRow(g->store, group) < 0)
            return PLN_ERROR;
        LoadAll(g, group);
        return PLN_ROW;
    }
    if (g->phase != kEmitOutput)
        return PLN_END;
    int16_t rc = rcTmpMove(g->output, g->emitAt++ == 0 ? 3 : 1);
    if (rc == 100)
        return PLN_END;
    if (rc < 0)
        return PLN_ERROR;
    if (!g->pointed)
        PointAll(node, g->output, true);
    g->pointed = true;
    return PLN_ROW;
}

void rcExeCloseHashGroup(PlanNode *node)
{
    rcGrpNode *g = node->grouping;
    if (g == nullptr)
        return;
    FreeTable(&g->store);
    FreeTable(&g->scratch);
    FreeTable(&g->pass);
    FreeTable(&g->overflow);
    FreeTable(&g->output);
    g->states.clear();
    g->hashes.clear();
    g->buckets.clear();
    g->order.clear();
    g->phase = kIdle;
}

void rcExeFreeHashGroup(PlanNode *node)
{
    rcExeCloseHashGroup(node);
    delete node->grouping;
    node->grouping = nullptr;
}
