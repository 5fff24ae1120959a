// The tables of the PLN_HASHGROUP node, its hash table of groups, and the
// passes over the rows that found no room (see rcexegroup_int.h).
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
#include "driver/engine/plan/rcplnhooks.h"
#include "driver/engine/plan/rcplntree.h"
#include "driver/engine/temp/rcswp.h"
#include "driver/engine/temp/rctmpkey.h"

using namespace rcgrp;

namespace rcgrp {

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

} // namespace rcgrp

namespace {

// The memory a spilling table of the node may keep.
uint64_t SpillTableLimit(const rcPlnStmt *stmt, const rcGrpNode *g)
{
    return std::min<uint64_t>(stmt->tmpOwner.limits.memoryLimit, g->limit);
}

} // namespace

namespace rcgrp {

// Puts the current input row into the scratch row, rewriting it in place.
int16_t PutScratch(rcPlnStmt *stmt, PlanNode *node)
{
    rcGrpNode *g = node->grouping;
    for (const ScratchPut &put : g->puts) {
        if (put.plain == nullptr) {
            if (rcExeTempPutValue(stmt, node->columns, g->scratch, put.column) != 0)
                return PLN_ERROR;
            continue;
        }
        // The column's value as read, of the slot's own type.
        rcPlnTempColumn &c = node->columns[put.column];
        bool isNull = false;
        uint32_t got = 0;
        if (rcEvlFetchColumn(stmt->errors, put.plain, c.buffer, c.bufferSize, &isNull, &got) < 0) {
            if (put.key)
                rcErrPost(stmt->errors, RC_ENG_EXPRESSION_EVALUATION_ERROR, nullptr, 0, nullptr);
            return PLN_ERROR;
        }
        if (rcTmpPutColumnLen(g->scratch, c.buffer, 0, put.column, isNull) < 0)
            return PLN_ERROR;
    }
    return 0;
}

bool Cancelled(rcPlnStmt *stmt)
{
    if (stmt->tmpOwner.cancel == nullptr || stmt->tmpOwner.cancel->load() == 0)
        return false;
    rcErrRaise(stmt->errors, RC_MSG_OPERATION_CANCELLED);
    return true;
}

} // namespace rcgrp

namespace {

// ---- The hash table of groups ------------------------------------------------

// A group's row in the store's buffer (the store never spills: a group
// that would not fit goes to the overflow).
const unsigned char *GroupRow(const rcGrpNode *g, uint32_t group)
{
    return g->store->rows + uint64_t(group) * uint32_t(g->store->rowLength);
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
        if (g->hashes[group] != hash)
            continue;
        // Keys of equal bytes are equal (texts mostly come as the group's
        // last row had them); others are compared as the sort compares.
        const unsigned char *kept = GroupRow(g, group);
        if (std::memcmp(kept, row, g->keyBytes) == 0 ||
            (!g->keysByBytes && rcTmpCompareRowBytes(g->store, kept, row) == 0))
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

} // namespace

namespace rcgrp {

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
    if (from != g->scratch || !g->evaluates)
        return Fold(stmt, g, group, row);
    // The arguments evaluated are read from the scratch row; the input goes
    // on reading its own columns (join keys, filters), which it may point
    // elsewhere as it goes (a hash join below reads its inner side from its
    // own table once built): they get back what the input set for this row.
    SaveInput(node);
    PointColumns(node, from);
    int16_t rc = Fold(stmt, g, group, row);
    RestoreInput(node);
    return rc;
}

} // namespace rcgrp

namespace {

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
            // The values of the set functions, stored as the table stores
            // them, into the group's row (the input is read by now).
            for (uint16_t k = 0; k < node->columnCount; ++k)
                if (g->accumulated[k] && rcExeTempPutValue(stmt, node->columns, g->scratch, k) != 0)
                    return PLN_ERROR;
            const unsigned char *values = g->scratchRow;
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

} // namespace

namespace rcgrp {

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

} // namespace rcgrp
