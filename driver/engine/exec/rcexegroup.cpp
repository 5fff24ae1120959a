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
#include "driver/engine/exec/rcexegroup_int.h"
#include "driver/engine/plan/rcplnhooks.h"
#include "driver/engine/plan/rcplntree.h"
#include "driver/engine/temp/rcswp.h"
#include "driver/engine/temp/rctmpkey.h"

using namespace rcgrp;

namespace {

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

// The hash method: the whole input at open.
int16_t ReadInput(rcPlnStmt *stmt, PlanNode *node)
{
    rcGrpNode *g = node->grouping;
    int16_t rc = node->firstNext(stmt, node->first, 0);
    while (rc == PLN_ROW || rc == PLN_ROW_WARNING) {
        if (Cancelled(stmt) || PutScratch(stmt, node) != 0 ||
            Consume(stmt, node, g->scratchRow, g->scratch) != 0)
            return PLN_ERROR;
        rc = node->firstNext(stmt, node->first, 1);
    }
    if (rc != PLN_END && rc != PLN_RANGE_END && rc != PLN_GROUP_END)
        return PLN_ERROR;
    if (g->evaluates)
        RestoreInput(node);
    if (EndPasses(stmt, node) != 0)
        return PLN_ERROR;
    rcTrcPrintf(stmt->tmpOwner.trace, 2, "%s: %lu groups, %lu rows spilled, %lu passes.\n",
                rcGrpMethodName(node),
                static_cast<unsigned long>(g->phase == kEmitStore ? g->order.size()
                                                                  : rcTmpRowCount(g->output)),
                static_cast<unsigned long>(g->spilledRows), static_cast<unsigned long>(g->passes));
    return 0;
}

// The stream method: a group ends where the next one's first row comes.

// Before the node points the columns at one of its tables: what the input
// points them at, given back before the next input row is read.
void Redirect(PlanNode *node)
{
    rcGrpNode *g = node->grouping;
    if (!g->redirected)
        SaveInput(node);
    g->redirected = true;
}

// Folds the scratch row into the streamed group.
int16_t FoldStreamed(rcPlnStmt *stmt, PlanNode *node)
{
    rcGrpNode *g = node->grouping;
    if (g->evaluates) {
        Redirect(node);
        PointColumns(node, g->scratch);
    }
    return Fold(stmt, g, 0, g->scratchRow);
}

int16_t StartGroup(rcPlnStmt *stmt, PlanNode *node)
{
    rcGrpNode *g = node->grouping;
    const unsigned char *row = g->scratchRow;
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
    return FoldStreamed(stmt, node);
}

// A streamed group's emission and the folds point the columns elsewhere;
// the input reads them through their own sources.
int16_t NextInputRow(rcPlnStmt *stmt, PlanNode *node)
{
    rcGrpNode *g = node->grouping;
    if (g->redirected)
        RestoreInput(node);
    g->redirected = false;
    int16_t rc = node->firstNext(stmt, node->first, g->childFlag);
    g->childFlag = 1;
    return rc;
}

int16_t EmitStreamGroup(PlanNode *node)
{
    rcGrpNode *g = node->grouping;
    Redirect(node);
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
        const unsigned char *row = g->scratchRow;
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
        if (!g->accumulate.empty() && FoldStreamed(stmt, node) != 0)
            return PLN_ERROR;
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
        MakeTable(stmt, node, stmt->tmpOwner.limits.memoryLimit, false, &g->scratch) != 0 ||
        rcTmpSetInPlace(g->scratch) != 0 || rcTmpSetRow(g->scratch, 0) != 0)
        return PLN_ERROR;
    g->scratchRow = rcTmpRowBytes(g->scratch, 0);
    if (g->scratchRow == nullptr)
        return PLN_ERROR;
    PlanRow(stmt, node);
    ClearGroups(g);
    // Stream: the first input row reads the columns where they point now.
    SaveInput(node);
    g->redirected = true;
    rcTrcPrintf(stmt->tmpOwner.trace, 2, "%s...\n", rcGrpMethodName(node));
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
    g->scratchRow = nullptr;
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
