// Hash joins past the memory limit: partitions (see rcexehash.h).
//
// When the build table would pass the limit, its rows move to a number of
// partitions by their hash and the rest of the inner side follows them
// there; each partition is a temporary table with an equal share of the
// limit, spilling to its own file. The outer side is then read whole into
// as many partitions by the hash of its keys (an outer row with a NULL key
// goes to the first one, with a NULL hash, and finds nothing). Partition by
// partition, the build rows are copied into the build table and given their
// directory, the outer columns read the partition's rows, and the rows join
// as in memory. Equal keys always share a partition, so every match is
// found once.
#include <cstring>

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/exec/rcexe.h"
#include "driver/engine/exec/rcexehash.h"

namespace {

constexpr uint16_t kMinPartitions = 4;
constexpr uint16_t kMaxPartitions = 64;
constexpr uint32_t kSlotMax = RC_TMP_INDICATOR + RC_TMP_MAX_VALUE + 8;

// Partitions for the rows expected: twice what the limit holds, so that a
// partition fits the build table when it is joined.
uint16_t PartitionCount(const rcExeHashRun *run, const rcPlnHashJoin *h, uint32_t rowLength)
{
    uint64_t rows = h->innerRows > run->buildRows ? h->innerRows : uint64_t(run->buildRows) * 2;
    uint64_t bytes = rows * (rowLength + 12u);
    uint64_t want = 2 * bytes / (run->limit > 0 ? run->limit : 1) + 1;
    uint16_t n = kMinPartitions;
    while (n < want && n < kMaxPartitions)
        n = static_cast<uint16_t>(n * 2);
    return n;
}

int16_t NewParts(rcPlnStmt *stmt, rcExeHashRun *run, const std::vector<rcExeHashCol> &cols,
                 std::vector<TempTable *> *parts)
{
    parts->assign(run->partitions, nullptr);
    for (TempTable *&t : *parts)
        if (rcExeHashNewTable(stmt, run, cols, run->partOwner, &t) != 0)
            return PLN_ERROR;
    return 0;
}

} // namespace

uint16_t rcExeHashPartOf(const rcExeHashRun *run, uint32_t hash)
{
    // The bucket takes the low bits of the hash; the partition its high bits.
    return static_cast<uint16_t>((hash * 0x9E3779B1u) >> run->partShift);
}

int16_t rcExeHashStartPartitions(rcPlnStmt *stmt, rcPlnHashJoin *h)
{
    rcExeHashRun *run = h->run;
    TempTable *mem = run->table.rows;
    auto rowLength = static_cast<uint32_t>(mem->rowLength);
    run->partitions = PartitionCount(run, h, rowLength);
    run->partShift = 32;
    for (uint16_t n = run->partitions; n > 1; n = static_cast<uint16_t>(n / 2))
        --run->partShift;
    // Each partition's buffer holds a share of the limit, and two rows.
    uint32_t share = run->limit / run->partitions;
    uint32_t floor = 2 * rowLength + 2 * kSlotMax;
    run->partOwner.limits.memoryLimit = share > floor ? share : floor;
    run->partOwner.limits.growStep = run->partOwner.limits.memoryLimit;
    if (NewParts(stmt, run, run->inner, &run->buildParts) != 0)
        return PLN_ERROR;
    for (int64_t r = 0; r < rcTmpRowCount(mem); ++r) {
        const unsigned char *row = rcTmpReadRow(mem, r);
        if (row == nullptr)
            return PLN_ERROR;
        bool isNull = false;
        uint32_t hash = rcExeHashStoredHash(mem, row, &isNull);
        if (rcTmpAppendRow(run->buildParts[rcExeHashPartOf(run, hash)], row) != 0)
            return PLN_ERROR;
    }
    rcTmpFree(mem);
    run->table.rows = nullptr;
    return 0;
}

void rcExeHashRestoreOuter(rcExeHashRun *run)
{
    if (!run->outerRedirected)
        return;
    for (rcExeHashCol &k : run->outer) {
        k.column->redirect = k.savedRedirect;
        k.column->redirectColumn = k.savedColumn;
        k.column->redirectPieces = k.savedPieces;
        k.column->ref.nullRow = k.savedNullRow;
    }
    run->outerRedirected = false;
}

int16_t rcExeHashPartitionOuter(rcPlnStmt *stmt, PlanNode *node)
{
    rcPlnHashJoin *h = node->hashJoin;
    rcExeHashRun *run = h->run;
    rcExeHashRestoreOuter(run);
    for (TempTable *t : run->probeParts)
        rcTmpFree(t);
    run->probeParts.clear();
    if (NewParts(stmt, run, run->outer, &run->probeParts) != 0)
        return PLN_ERROR;
    bool outer = node->subtype == PLN_JOIN_OUTER || node->subtype == PLN_JOIN_OUTER_INDEX;
    int16_t rc = node->firstNext(stmt, node->first, 0);
    while (rc == PLN_ROW || rc == PLN_ROW_WARNING) {
        if (rcExeHashCancelled(stmt))
            return PLN_ERROR;
        uint32_t hash = 0;
        int16_t keyed = rcExeHashKeys(stmt, h, false, &hash);
        if (keyed < 0)
            return PLN_ERROR;
        if (keyed == 0 || outer) {
            if (rcExeHashFetch(stmt, run, run->outer) != 0)
                return PLN_ERROR;
            TempTable *t = run->probeParts[keyed == 0 ? rcExeHashPartOf(run, hash) : 0];
            if (rcExeHashPutRow(stmt, run, run->outer, t, hash, keyed != 0) != 0)
                return PLN_ERROR;
        }
        rc = node->firstNext(stmt, node->first, 1);
    }
    if (rc != PLN_END && rc != PLN_RANGE_END)
        return PLN_ERROR;
    // From here on the outer columns read the partitions' rows.
    for (rcExeHashCol &k : run->outer) {
        k.savedRedirect = k.column->redirect;
        k.savedColumn = k.column->redirectColumn;
        k.savedPieces = k.column->redirectPieces;
        k.savedNullRow = k.column->ref.nullRow;
    }
    run->outerRedirected = true;
    run->partAt = 0;
    run->partLoaded = false;
    return 0;
}

int16_t rcExeHashNextProbe(rcPlnStmt *stmt, PlanNode *node)
{
    rcExeHashRun *run = node->hashJoin->run;
    for (;;) {
        if (!run->partLoaded) {
            if (run->partAt >= run->partitions)
                return PLN_END;
            // The partition's build rows, copied into a table of the whole
            // limit (a larger partition spills there and is read through
            // its windows).
            rcTmpFree(run->table.rows);
            run->table.rows = nullptr;
            rcTmpOwner owner = run->memOwner;
            owner.limits.memoryLimit = run->limit;
            if (rcExeHashNewTable(stmt, run, run->inner, owner, &run->table.rows) != 0)
                return PLN_ERROR;
            TempTable *part = run->buildParts[run->partAt];
            for (int64_t r = 0; r < rcTmpRowCount(part); ++r) {
                const unsigned char *row = rcTmpReadRow(part, r);
                if (row == nullptr || rcTmpAppendRow(run->table.rows, row) != 0)
                    return PLN_ERROR;
            }
            if (rcExeHashDirectory(stmt, &run->table) != 0)
                return PLN_ERROR;
            rcExeHashRedirect(run->inner, run->table.rows, true);
            rcExeHashRedirect(run->outer, run->probeParts[run->partAt], false);
            run->partLoaded = true;
            run->probeFirst = true;
        }
        int16_t rc = rcTmpMove(run->probeParts[run->partAt], run->probeFirst ? 3 : 1);
        run->probeFirst = false;
        if (rc == 0)
            return PLN_ROW;
        if (rc != 100)
            return PLN_ERROR;
        run->partLoaded = false;
        ++run->partAt;
    }
}
