// The rows of the PLN_HASHGROUP node: key hashing, the set-function states
// of the groups, and the redirects that point the node's columns at a row of
// one of its tables (see rcexegroup_int.h).
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
#include "driver/engine/exec/rcexegroup_int.h"
#include "driver/engine/expr/rcevl.h"
#include "driver/engine/expr/rcexp.h"
#include "driver/engine/plan/rcplnhooks.h"
#include "driver/engine/plan/rcplntree.h"
#include "driver/engine/temp/rcswp.h"
#include "driver/engine/temp/rctmpkey.h"

using namespace rcgrp;

namespace {

bool IsText(int16_t t) { return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR; }

bool IsVar(int16_t t)
{
    return IsText(t) || t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY;
}

uint64_t Align8(uint64_t v) { return (v + 7u) & ~uint64_t(7); }

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

// The collation's upper case of every character, looked up per character
// of a text key.
const unsigned char *UpperTable()
{
    static const struct Table {
        unsigned char upper[256];
        Table()
        {
            for (unsigned c = 0; c < 256; ++c)
                upper[c] = rcCollateUpper1252(static_cast<unsigned char>(c));
        }
    } table;
    return table.upper;
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

} // namespace

namespace rcgrp {

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
            const unsigned char *upper = UpperTable();
            for (size_t i = 0; i < n; ++i)
                h = (h ^ upper[v[i]]) * kFnvPrime;
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

} // namespace rcgrp

namespace {

unsigned char *StateOf(rcGrpNode *g, uint32_t group, size_t i)
{
    return g->states.data() + uint64_t(group) * g->stateSize + g->stateOffset[i];
}

} // namespace

namespace rcgrp {

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

} // namespace rcgrp

namespace {

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

} // namespace

namespace rcgrp {

void LoadAll(rcGrpNode *g, uint32_t group)
{
    for (size_t i = 0; i < g->accumulate.size(); ++i)
        Load(g, group, i);
}

int16_t Fold(rcPlnStmt *stmt, rcGrpNode *g, uint32_t group, const unsigned char *row)
{
    for (size_t i = 0; i < g->accumulate.size(); ++i) {
        // The state as Load and Save keep it: count, no-value flag, sum.
        const RowFold &f = g->folds[i];
        unsigned char *s = StateOf(g, group, i);
        uint32_t count;
        std::memcpy(&count, s, sizeof count);
        double sum, value;
        switch (f.how) {
        case kFoldCountRows:
            ++count;
            std::memcpy(s, &count, sizeof count);
            continue;
        case kFoldCount:
        case kFoldSumInteger:
        case kFoldSumDouble:
            if (row[f.offset] == RC_TMP_NULL)
                continue;
            ++count;
            std::memcpy(s, &count, sizeof count);
            s[4] = 0;
            if (f.how == kFoldCount)
                continue;
            if (f.how == kFoldSumInteger) {
                int32_t x;
                std::memcpy(&x, row + f.offset + RC_TMP_INDICATOR, sizeof x);
                value = static_cast<double>(x);
            } else {
                std::memcpy(&value, row + f.offset + RC_TMP_INDICATOR, sizeof value);
            }
            std::memcpy(&sum, s + 8, sizeof sum);
            sum += value;
            std::memcpy(s + 8, &sum, sizeof sum);
            continue;
        default:
            Load(g, group, i);
            if (rcExeFoldSetFunc(stmt, g->accumulate[i]) != 0)
                return PLN_ERROR;
            Save(g, group, i);
        }
    }
    return 0;
}

} // namespace rcgrp

namespace {

// ---- Column redirects ------------------------------------------------------------

bool StoredColumn(const rcPlnTempColumn &c)
{
    return c.part == 0 && c.column != nullptr &&
           (c.kind == PLN_TTCOL_COLUMN || c.kind == PLN_TTCOL_KEY);
}

// The column of the node's layout that holds the value of ref as it was
// read (a stored column, or the key that holds it), or -1.
int StoredAt(const PlanNode *node, const rcEvlColumnRef *ref)
{
    if (ref == nullptr)
        return -1;
    for (uint16_t k = 0; k < node->columnCount; ++k) {
        const rcPlnTempColumn &c = node->columns[k];
        if (c.kind == PLN_TTCOL_COLUMN && c.part == 0 && c.pieces == 0 && c.column != nullptr &&
            &c.column->ref == ref)
            return k;
    }
    for (const auto &a : node->grouping->aliases)
        if (&a.first->ref == ref)
            return a.second;
    return -1;
}

bool IsInteger(int16_t t) { return t == SQL_INTEGER || t == SQL_SMALLINT; }
// Types whose value reads the same straight from the column and through an
// expression of the column's own type.
bool FixedType(int16_t t)
{
    return t == SQL_INTEGER || t == SQL_SMALLINT || t == SQL_DOUBLE || t == SQL_FLOAT ||
           t == SQL_DATE;
}
bool IsFloating(int16_t t) { return t == SQL_DOUBLE || t == SQL_FLOAT || t == SQL_REAL; }

} // namespace

namespace rcgrp {

void PlanRow(rcPlnStmt *stmt, PlanNode *node)
{
    rcGrpNode *g = node->grouping;
    const TempTable *t = g->store;
    g->folds.assign(g->accumulate.size(), RowFold{kFoldEvaluate, 0});
    g->evaluates = false;
    for (size_t i = 0; i < g->accumulate.size(); ++i) {
        const PlanNode *sf = g->accumulate[i];
        RowFold &f = g->folds[i];
        if (sf->argSlot == 0) {
            f.how = kFoldCountRows;
            continue;
        }
        const rcEvlColumnRef *ref = rcExpSlotColumn(&stmt->env, sf->argSlot);
        int k = StoredAt(node, ref);
        if (k >= 0) {
            const TempTableColumn &c = t->columns[k];
            bool summed = (sf->function == PLN_FN_SUM || sf->function == PLN_FN_AVG) &&
                          sf->acc->resultType != RC_SQL_DECIMAL38;
            f.offset = c.rowOffset;
            if (sf->function == PLN_FN_COUNT)
                f.how = kFoldCount;
            else if (summed && IsInteger(ref->sqlType) && c.storageType == SQL_INTEGER)
                f.how = kFoldSumInteger;
            else if (summed && IsFloating(ref->sqlType) && c.storageType == SQL_DOUBLE)
                f.how = kFoldSumDouble;
        }
        if (f.how == kFoldEvaluate)
            g->evaluates = true;
    }
    // A key that is a plain column of a fixed type, of that type, and a
    // stored column of a fixed type: the value is the column's as read (the
    // key's expression would convert it to its own type, which it is).
    g->puts.clear();
    for (uint16_t k = 0; k < node->columnCount; ++k) {
        if (g->accumulated[k])
            continue;
        ScratchPut put{k, nullptr, false};
        const rcPlnTempColumn &c = node->columns[k];
        bool fixed = c.pieces == 0 && c.part == 0 && FixedType(c.sqlType);
        if (fixed && c.kind == PLN_TTCOL_KEY) {
            const rcEvlColumnRef *ref = rcExpSlotColumn(&stmt->env, c.slot);
            if (ref != nullptr && ref->sqlType == c.sqlType)
                put = {k, ref, true};
        } else if (fixed && c.kind == PLN_TTCOL_COLUMN && c.column != nullptr &&
                   c.column->ref.sqlType == c.sqlType) {
            put = {k, &c.column->ref, false};
        }
        g->puts.push_back(put);
    }
    // The key slots lead the row: equal bytes are equal keys; keys of
    // integers, dates and times are equal only then.
    uint16_t keys = std::min(node->keyCount, t->columnCount);
    g->keyBytes = keys < t->columnCount ? t->columns[keys].rowOffset : uint32_t(t->rowLength);
    g->keysByBytes = true;
    for (uint16_t k = 0; k < keys; ++k) {
        int16_t st = t->columns[k].storageType;
        if (st != SQL_INTEGER && st != SQL_DATE && st != SQL_TIME)
            g->keysByBytes = false;
    }
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

} // namespace rcgrp
