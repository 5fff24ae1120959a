// Hash joins at run time (see plan/rcplnhash.h for what they do and when):
// the state of one join and the routines its files share.
//
// Order of calls on one join: rcExeOpenHashJoin at every open of the plan
// (drops the tables of the last open); the first rcExeNextHashJoin with
// flag 0 reads the inner side into the tables (once per open: a restart
// with flag 0 reads only the outer side again); then next rows;
// rcExeHashCloseAll at the close of the query, rcExeHashFreeAll when the
// plan goes.
//
// Tables: the build table has the inner side's columns and a last INTEGER
// column with the row's hash; in memory mode it holds every row. Past the
// memory limit (the build rows and their directory stay under it) the rows
// go to partitions by hash, the outer rows likewise (their columns and
// hash), and each partition is copied back into the build table and joined
// in turn.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/engine/plan/rcplnhash.h"
#include "driver/engine/temp/rctmp.h"

// A column kept in the tables, and where its reader pointed before.
struct rcExeHashCol {
    rcPlnColumn *column = nullptr;
    uint32_t bufferSize = 0;
    uint32_t bufferAt = 0; // offset in rcExeHashRun::values
    bool var = false;      // text or binary: stored with its length
    bool isNull = false;   // the value fetched last
    uint32_t length = 0;
    TempTable *savedRedirect = nullptr;
    uint16_t savedColumn = 0;
    uint16_t savedPieces = 0;
    const uint32_t *savedNullRow = nullptr;
};

// Rows with the directory of their buckets: row numbers grouped by bucket,
// ascending within a bucket.
struct rcExeHashTable {
    TempTable *rows = nullptr;
    std::vector<uint32_t> hashes;
    std::vector<uint32_t> bucketStart; // buckets + 1 entries
    std::vector<uint32_t> bucketRows;
    uint32_t mask = 0;
};

struct rcExeHashRun {
    bool listed = false;
    bool fallback = false;      // runs as the nested loop
    bool outerStorable = false; // the outer rows may go to partitions
    bool built = false;
    std::vector<rcExeHashCol> inner, outer;
    std::vector<char> values; // one value per column, reused for every row
    rcTmpOwner memOwner;      // the build table
    rcTmpOwner partOwner;     // each partition
    uint32_t limit = 0;
    rcExeHashTable table;
    int64_t buildRows = 0;
    uint16_t partitions = 0; // 0: memory mode
    uint16_t partShift = 0;
    std::vector<TempTable *> buildParts, probeParts;
    // Probing.
    uint8_t state = 0;
    uint8_t outerFlag = 0;
    uint16_t partAt = 0;
    bool partLoaded = false;
    bool probeFirst = false;
    bool outerRedirected = false;
    uint32_t hash = 0;
    uint32_t candAt = 0;
    uint32_t candEnd = 0;
    bool matched = false;
    rcPlnNextFn buildNext = nullptr;
};

// The hash of the current row's keys, inner side or outer side: 0, 1 when a
// key is NULL (the row matches nothing), -1 after posting.
int16_t rcExeHashKeys(rcPlnStmt *stmt, const rcPlnHashJoin *h, bool inner, uint32_t *out);
// Hash of one value of a key kind (PLN_HK_*); numScale for scaled numbers.
uint64_t rcExeHashValue(uint8_t kind, const rcExpValue &v, int16_t numScale);

// Partitions (rcexehashpart.cpp).
int16_t rcExeHashStartPartitions(rcPlnStmt *stmt, rcPlnHashJoin *h);
uint16_t rcExeHashPartOf(const rcExeHashRun *run, uint32_t hash);
int16_t rcExeHashPartitionOuter(rcPlnStmt *stmt, PlanNode *node);
// The next outer row from the probe partitions, loading each partition's
// build rows in turn: 0 a row, 100 no more, -1 error.
int16_t rcExeHashNextProbe(rcPlnStmt *stmt, PlanNode *node);
void rcExeHashRestoreOuter(rcExeHashRun *run);

// Shared by both files (rcexehash.cpp).
int16_t rcExeHashNewTable(rcPlnStmt *stmt, rcExeHashRun *run, const std::vector<rcExeHashCol> &cols,
                          const rcTmpOwner &owner, TempTable **out);
int16_t rcExeHashDirectory(rcPlnStmt *stmt, rcExeHashTable *table);
void rcExeHashRedirect(std::vector<rcExeHashCol> &cols, TempTable *t, bool keepNullRow);
int16_t rcExeHashPutRow(rcPlnStmt *stmt, rcExeHashRun *run, const std::vector<rcExeHashCol> &cols,
                        TempTable *t, uint32_t hash, bool hashNull);
int16_t rcExeHashFetch(rcPlnStmt *stmt, rcExeHashRun *run, std::vector<rcExeHashCol> &cols);
uint32_t rcExeHashStoredHash(const TempTable *t, const unsigned char *row, bool *isNull);
bool rcExeHashCancelled(rcPlnStmt *stmt);
