// Hash joins: building the table of the inner side and probing it for every
// outer row (see rcexehash.h).
//
// Probing follows the nested loop's protocol: for every outer row the
// candidates of its bucket (every row for a join without keys) are made
// current one after the other; an outer join runs its ON condition on each
// and gives the outer row once with NULL inner columns when none passed.
// Hash collisions and the join conditions are left to the conditions above
// an inner join, which test every row the nested loop would.
#include "driver/engine/exec/rcexehash.h"

#include <cstring>
#include <new>

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rctrace.h"
#include "driver/engine/exec/rcexe.h"
#include "driver/engine/plan/rcplnjoinutil.h"

namespace {

enum : uint8_t { kNeedOuter = 1, kScan = 2 };

// Room the build table keeps above the limit, so that it never spills
// before the switch to partitions (a value slot and a row of growth).
constexpr uint32_t kSlotMax = RC_TMP_INDICATOR + RC_TMP_MAX_VALUE + 8;

bool IsVar(int16_t t)
{
    return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_BINARY ||
           t == SQL_VARBINARY || t == SQL_LONGVARBINARY;
}

bool IsOuter(const PlanNode *join)
{
    return join->subtype == PLN_JOIN_OUTER || join->subtype == PLN_JOIN_OUTER_INDEX;
}

void MarkNullRows(PlanNode *node, uint32_t value)
{
    rcPlnVisit(&value, node, [](void *ctx, uint8_t kind, PlanNode *n) {
        if (kind == PLN_TABLE)
            n->nullRow = *static_cast<uint32_t *>(ctx);
        return 1;
    });
}

// The columns the query reads of the tables under node.
void ColumnsUnder(rcPlnStmt *stmt, PlanNode *node, std::vector<rcExeHashCol> *out)
{
    std::vector<const rcTblEntry *> tables;
    rcJnTablesUnder(node, &tables);
    for (rcPlnColumn *c : stmt->columns)
        if (rcJnHas(tables, c->tableNode->table)) {
            rcExeHashCol k;
            k.column = c;
            k.var = IsVar(c->ref.sqlType);
            k.bufferSize = k.var ? c->ref.length + 1 : 48;
            out->push_back(k);
        }
}

void List(rcPlnStmt *stmt, PlanNode *node, rcExeHashRun *run)
{
    rcPlnHashJoin *h = node->hashJoin;
    ColumnsUnder(stmt, h->build, &run->inner);
    ColumnsUnder(stmt, node->first, &run->outer);
    uint32_t at = 0;
    run->fallback = false;
    for (rcExeHashCol &k : run->inner) {
        run->fallback = run->fallback || !rcPlnHashStorable(k.column);
        k.bufferAt = at;
        at += k.bufferSize;
    }
    run->outerStorable = !h->keys.empty();
    for (rcExeHashCol &k : run->outer) {
        run->outerStorable = run->outerStorable && rcPlnHashStorable(k.column);
        k.bufferAt = at;
        at += k.bufferSize;
    }
    run->values.assign(at, 0);
    // The build table may not spill before it is split; each partition
    // holds at least a few rows in its buffer.
    run->limit = stmt->tmpOwner.limits.memoryLimit;
    run->memOwner = stmt->tmpOwner;
    run->memOwner.limits.memoryLimit = run->limit + 4 * kSlotMax;
    run->partOwner = stmt->tmpOwner;
    run->listed = true;
    if (run->fallback)
        rcTrcPrintf(stmt->tmpOwner.trace, 2,
                    "Hash join: an inner column does not fit a table; nested loop\n");
}

void FreeTables(rcExeHashRun *run)
{
    rcTmpFree(run->table.rows);
    run->table.rows = nullptr;
    for (TempTable *t : run->buildParts)
        rcTmpFree(t);
    for (TempTable *t : run->probeParts)
        rcTmpFree(t);
    run->buildParts.clear();
    run->probeParts.clear();
    run->partitions = 0;
    run->buildRows = 0;
    run->built = false;
    run->outerRedirected = false;
}

// Points the columns of the inner side back at their tables, so that the
// build reads the rows below (a hash join below sets its own again).
void ResetInner(rcExeHashRun *run)
{
    for (rcExeHashCol &k : run->inner) {
        k.column->redirect = nullptr;
        k.column->redirectPieces = 0;
        k.column->ref.nullRow = &k.column->tableNode->nullRow;
    }
}

int16_t Build(rcPlnStmt *stmt, PlanNode *node, rcExeHashRun *run)
{
    rcPlnHashJoin *h = node->hashJoin;
    FreeTables(run);
    ResetInner(run);
    if (rcExeHashNewTable(stmt, run, run->inner, run->memOwner, &run->table.rows) != 0)
        return PLN_ERROR;
    run->buildNext = rcExeNextOf(h->build);
    int16_t rc = run->buildNext(stmt, h->build, 0);
    while (rc == PLN_ROW || rc == PLN_ROW_WARNING) {
        if (rcExeHashCancelled(stmt))
            return PLN_ERROR;
        uint32_t hash = 0;
        int16_t keyed = rcExeHashKeys(stmt, h, true, &hash);
        if (keyed < 0)
            return PLN_ERROR;
        if (keyed == 0) { // a row with a NULL key matches nothing
            if (rcExeHashFetch(stmt, run, run->inner) != 0)
                return PLN_ERROR;
            TempTable *t = run->table.rows;
            if (run->partitions == 0 && !h->keys.empty() && run->outerStorable &&
                t->streamLength + static_cast<uint64_t>(t->rowLength) > run->limit &&
                rcExeHashStartPartitions(stmt, h) != 0)
                return PLN_ERROR;
            if (run->partitions > 0)
                t = run->buildParts[rcExeHashPartOf(run, hash)];
            if (rcExeHashPutRow(stmt, run, run->inner, t, hash, false) != 0)
                return PLN_ERROR;
            ++run->buildRows;
        }
        rc = run->buildNext(stmt, h->build, 1);
    }
    if (rc != PLN_END && rc != PLN_RANGE_END)
        return PLN_ERROR;
    MarkNullRows(h->build, 0); // outer joins below leave their last marks
    if (run->partitions == 0) {
        if (!h->keys.empty() && rcExeHashDirectory(stmt, &run->table) != 0)
            return PLN_ERROR;
        rcExeHashRedirect(run->inner, run->table.rows, true);
        rcTrcPrintf(stmt->tmpOwner.trace, 2, "Hash join: %lld inner rows %s\n",
                    static_cast<long long>(run->buildRows),
                    run->table.rows->spillName == nullptr ? "in memory"
                                                          : "in its table, spilled to its file");
    } else {
        rcTrcPrintf(stmt->tmpOwner.trace, 2,
                    "Hash join: %lld inner rows in %u partitions (memory limit %u bytes)\n",
                    static_cast<long long>(run->buildRows), run->partitions, run->limit);
    }
    run->built = true;
    return 0;
}

// The next outer row and its candidates: 0, or the outer side's end or error.
int16_t NextOuter(rcPlnStmt *stmt, PlanNode *node, rcExeHashRun *run)
{
    rcPlnHashJoin *h = node->hashJoin;
    bool isNull = false;
    if (run->partitions > 0) {
        int16_t rc = rcExeHashNextProbe(stmt, node);
        if (rc != PLN_ROW)
            return rc;
        const unsigned char *row = rcTmpReadRow(run->probeParts[run->partAt],
                                                 rcTmpRowNumber(run->probeParts[run->partAt]));
        if (row == nullptr)
            return PLN_ERROR;
        run->hash = rcExeHashStoredHash(run->probeParts[run->partAt], row, &isNull);
    } else {
        int16_t rc = node->firstNext(stmt, node->first, run->outerFlag);
        if (rc != PLN_ROW && rc != PLN_ROW_WARNING)
            return rc;
        run->outerFlag = 1;
        if (!h->keys.empty()) {
            int16_t keyed = rcExeHashKeys(stmt, h, false, &run->hash);
            if (keyed < 0)
                return PLN_ERROR;
            isNull = keyed == 1;
        }
    }
    const rcExeHashTable &t = run->table;
    if (h->keys.empty()) {
        run->candAt = 0;
        run->candEnd = static_cast<uint32_t>(rcTmpRowCount(t.rows));
    } else if (isNull || t.bucketStart.empty()) {
        run->candAt = run->candEnd = 0;
    } else {
        uint32_t b = run->hash & t.mask;
        run->candAt = t.bucketStart[b];
        run->candEnd = t.bucketStart[b + 1];
    }
    return PLN_ROW;
}

} // namespace

bool rcExeHashCancelled(rcPlnStmt *stmt)
{
    if (stmt->tmpOwner.cancel == nullptr || stmt->tmpOwner.cancel->load() == 0)
        return false;
    rcErrRaise(stmt->errors, RC_MSG_OPERATION_CANCELLED);
    return true;
}

int16_t rcExeHashNewTable(rcPlnStmt *, rcExeHashRun *, const std::vector<rcExeHashCol> &cols,
                          const rcTmpOwner &owner, TempTable **out)
{
    *out = nullptr;
    TempTable *t = nullptr;
    if (rcTmpCreate(owner, &t) != 0)
        return PLN_ERROR;
    for (const rcExeHashCol &k : cols) {
        const rcEvlColumnRef &r = k.column->ref;
        if (rcTmpAddColumn(t, r.sqlType, (static_cast<uint32_t>(r.precision) << 16) | r.scale,
                           static_cast<int32_t>(r.length)) != 0) {
            rcTmpFree(t);
            return PLN_ERROR;
        }
    }
    if (rcTmpAddColumn(t, SQL_INTEGER, 0, 4) != 0) { // the row's hash
        rcTmpFree(t);
        return PLN_ERROR;
    }
    *out = t;
    return 0;
}

int16_t rcExeHashFetch(rcPlnStmt *stmt, rcExeHashRun *run, std::vector<rcExeHashCol> &cols)
{
    for (rcExeHashCol &k : cols) {
        char *buffer = run->values.data() + k.bufferAt;
        uint32_t got = 0;
        if (rcEvlFetchColumn(stmt->errors, &k.column->ref, buffer, k.bufferSize, &k.isNull, &got) <
            0)
            return PLN_ERROR;
        if (k.var && got > k.bufferSize - 1)
            got = k.bufferSize - 1;
        if (k.var)
            buffer[got] = '\0';
        k.length = got;
    }
    return 0;
}

int16_t rcExeHashPutRow(rcPlnStmt *, rcExeHashRun *run, const std::vector<rcExeHashCol> &cols,
                        TempTable *t, uint32_t hash, bool hashNull)
{
    uint16_t n = 0;
    for (const rcExeHashCol &k : cols) {
        const char *buffer = run->values.data() + k.bufferAt;
        if (rcTmpPutColumnLen(t, buffer, k.var ? static_cast<int32_t>(k.length) : 0, n++,
                              k.isNull) < 0)
            return PLN_ERROR;
    }
    int32_t stored = static_cast<int32_t>(hash);
    return rcTmpPutColumnLen(t, &stored, 0, n, hashNull) < 0 ? PLN_ERROR : 0;
}

uint32_t rcExeHashStoredHash(const TempTable *t, const unsigned char *row, bool *isNull)
{
    const TempTableColumn &c = t->columns[t->columnCount - 1];
    *isNull = row[c.rowOffset] == RC_TMP_NULL;
    uint32_t h = 0;
    std::memcpy(&h, row + c.rowOffset + RC_TMP_INDICATOR, sizeof h);
    return h;
}

int16_t rcExeHashDirectory(rcPlnStmt *, rcExeHashTable *table)
{
    TempTable *t = table->rows;
    auto n = static_cast<uint32_t>(rcTmpRowCount(t));
    uint32_t buckets = 1;
    while (buckets < n && buckets < (1u << 30))
        buckets <<= 1;
    try {
        table->hashes.resize(n);
        table->bucketStart.assign(buckets + 1, 0);
        table->bucketRows.resize(n);
    } catch (const std::bad_alloc &) {
        return static_cast<int16_t>(rcErrRaise(t->owner.errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    }
    table->mask = buckets - 1;
    for (uint32_t r = 0; r < n; ++r) {
        const unsigned char *row = rcTmpReadRow(t, r);
        if (row == nullptr)
            return PLN_ERROR;
        bool isNull = false;
        table->hashes[r] = rcExeHashStoredHash(t, row, &isNull);
        ++table->bucketStart[(table->hashes[r] & table->mask) + 1];
    }
    for (uint32_t b = 0; b < buckets; ++b)
        table->bucketStart[b + 1] += table->bucketStart[b];
    std::vector<uint32_t> fill(table->bucketStart.begin(), table->bucketStart.end() - 1);
    for (uint32_t r = 0; r < n; ++r)
        table->bucketRows[fill[table->hashes[r] & table->mask]++] = r;
    return 0;
}

void rcExeHashRedirect(std::vector<rcExeHashCol> &cols, TempTable *t, bool keepNullRow)
{
    uint16_t n = 0;
    for (rcExeHashCol &k : cols) {
        rcPlnColumn *c = k.column;
        c->redirect = t;
        c->redirectColumn = n++;
        c->redirectPieces = 0;
        // The inner side's null-row marks make its columns NULL for an
        // outer join's row without a match; the outer rows kept in a
        // partition hold their NULLs as values.
        c->ref.nullRow = keepNullRow ? &c->tableNode->nullRow : nullptr;
    }
}

bool rcExeHashActive(const PlanNode *node)
{
    const rcPlnHashJoin *h = node->hashJoin;
    return h != nullptr && !(h->run != nullptr && h->run->fallback);
}

int16_t rcExeOpenHashJoin(rcPlnStmt *stmt, PlanNode *node)
{
    rcPlnHashJoin *h = node->hashJoin;
    if (h->run == nullptr) {
        h->run = new (std::nothrow) rcExeHashRun;
        if (h->run == nullptr)
            return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    }
    rcExeHashRun *run = h->run;
    rcExeHashRestoreOuter(run);
    FreeTables(run);
    run->state = 0;
    if (!run->listed) {
        try {
            List(stmt, node, run);
        } catch (const std::bad_alloc &) {
            return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
        }
    }
    return 0;
}

int16_t rcExeNextHashJoin(rcPlnStmt *stmt, PlanNode *node, int flag)
{
    rcPlnHashJoin *h = node->hashJoin;
    rcExeHashRun *run = h->run;
    bool outer = IsOuter(node);
    if (flag == 0 || run->state == 0) {
        if (!run->built && Build(stmt, node, run) != 0)
            return PLN_ERROR;
        // An inner join with no inner row has no row at all.
        if (!outer && run->buildRows == 0)
            return PLN_END;
        run->outerFlag = 0;
        run->state = kNeedOuter;
        if (run->partitions > 0 && rcExeHashPartitionOuter(stmt, node) != 0)
            return PLN_ERROR;
    }
    for (;;) {
        if (run->state == kNeedOuter) {
            int16_t rc = NextOuter(stmt, node, run);
            if (rc != PLN_ROW)
                return rc;
            if (outer)
                MarkNullRows(node->second, 0);
            run->matched = false;
            run->state = kScan;
        }
        const rcExeHashTable &t = run->table;
        while (run->candAt < run->candEnd) {
            uint32_t r = h->keys.empty() ? run->candAt : t.bucketRows[run->candAt];
            ++run->candAt;
            if (!h->keys.empty() && t.hashes[r] != run->hash)
                continue;
            if (rcTmpSetRow(t.rows, r) != 0)
                return PLN_ERROR;
            if (h->match != 0) {
                int passed = 0;
                if (rcFltRun(&stmt->env, h->match, &passed) < 0)
                    return PLN_ERROR;
                if (!passed)
                    continue;
            }
            run->matched = true;
            return PLN_ROW;
        }
        run->state = kNeedOuter;
        if (outer && !run->matched) {
            // No inner row matched this outer row: one row with NULLs.
            MarkNullRows(node->second, 1);
            return PLN_ROW;
        }
    }
}

void rcExeHashCloseAll(rcPlnStmt *stmt)
{
    for (PlanNode *n : stmt->hashJoins)
        if (n->hashJoin->run != nullptr) {
            rcExeHashRestoreOuter(n->hashJoin->run);
            FreeTables(n->hashJoin->run);
            n->hashJoin->run->state = 0;
        }
}

void rcExeHashFreeAll(rcPlnStmt *stmt)
{
    for (PlanNode *n : stmt->hashJoins) {
        if (n->hashJoin->run != nullptr) {
            FreeTables(n->hashJoin->run);
            delete n->hashJoin->run;
        }
        delete n->hashJoin;
        n->hashJoin = nullptr;
    }
    stmt->hashJoins.clear();
}
