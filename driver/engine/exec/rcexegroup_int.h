// Internals of the PLN_HASHGROUP node (see rcexegroup.h), shared by its files:
//   rcexegroup_rows.cpp  a row's keys hashed, the set-function states of a
//                        group folded, the columns pointed at a table's row
//   rcexegroup_pass.cpp  the node's tables, the hash table of groups, one
//                        input row consumed, and the passes over the overflow
//   rcexegroup.cpp       reading the input (hash and stream), the node's
//                        set-up, open, next and close
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "driver/engine/exec/rcexegroup.h"
#include "driver/engine/temp/rctmp.h"

namespace rcgrp {

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

// How a set function folds a row in: from the row's bytes when its
// argument is a stored column whose value the fold reads as it is stored
// (COUNT(*), COUNT of any column, SUM and AVG in double precision of an
// integer or floating column), else by evaluating its argument with the
// columns pointed at the row (kFoldEvaluate).
enum : uint8_t { kFoldEvaluate, kFoldCountRows, kFoldCount, kFoldSumInteger, kFoldSumDouble };
struct RowFold {
    uint8_t how;
    uint32_t offset; // the argument's slot in the row
};

// A column of the scratch row that each input row writes (the slots of the
// accumulated set functions stay NULL).
struct ScratchPut {
    uint16_t column;
    // A key or stored column that is a plain column of a fixed type, read
    // straight into the column's buffer; null: the column's own way
    // (rcExeTempPutValue).
    const struct rcEvlColumnRef *plain;
    bool key; // a key: a failed read reports as its expression does
};

} // namespace rcgrp

struct rcGrpNode {
    uint8_t method = RC_GRP_HASH;
    bool distinct = false; // keeps a group's first row, else its last
    std::vector<PlanNode *> accumulate;
    std::vector<uint8_t> accumulated; // per column: a set function folded here
    std::vector<uint32_t> stateOffset;
    uint32_t stateSize = 0;
    std::vector<rcgrp::SavedRedirect> input; // per column
    // Base columns whose value a key column holds already (a key that is
    // the plain column): read there, not stored twice.
    std::vector<std::pair<rcPlnColumn *, uint16_t>> aliases;
    std::vector<rcgrp::SavedRedirect> aliasInput;
    // Set at open from the column list.
    std::vector<rcgrp::RowFold> folds; // per set function of accumulate
    bool evaluates = false;            // a fold evaluates its argument
    std::vector<rcgrp::ScratchPut> puts;
    // Bytes of the leading key slots; keysByBytes: every key compares equal
    // exactly when its slot's bytes are equal (integers, dates, times).
    uint32_t keyBytes = 0;
    bool keysByBytes = false;
    // Run time.
    TempTable *store = nullptr;
    TempTable *scratch = nullptr; // the current input row, rewritten in place
    unsigned char *scratchRow = nullptr;
    TempTable *pass = nullptr;     // the overflow of the last pass, read now
    TempTable *overflow = nullptr; // rows of groups the store had no room for
    TempTable *output = nullptr;   // finished groups of every pass
    std::vector<unsigned char> states;
    std::vector<uint32_t> hashes;
    std::vector<uint32_t> buckets; // group + 1; 0 empty
    std::vector<uint32_t> order;
    uint64_t limit = 0;
    uint64_t emitAt = 0;
    uint8_t phase = rcgrp::kIdle;
    bool pointed = false;
    bool spilled = false; // this pass sent rows to the overflow
    bool pending = false; // stream: the scratch row starts the next group
    // Stream: the columns point at the scratch row or the store; the input
    // reads its own again after RestoreInput.
    bool redirected = false;
    bool inputDone = false;
    bool haveGroup = false;
    uint8_t childFlag = 0;
    uint32_t passes = 0;
    uint64_t spilledRows = 0;
};

namespace rcgrp {

// Key hashing and set-function states (rcexegroup_rows.cpp).
// A hash of a row's keys that agrees with the key comparison.
uint32_t HashKeys(const TempTable *t, uint16_t keyCount, const unsigned char *row);
// Bytes of one set function's state in a group.
uint32_t StateSizeOf(const PlanNode *sf);
void InitState(rcGrpNode *g, uint32_t group);
// Every set function's accumulator loaded with the group's state.
void LoadAll(rcGrpNode *g, uint32_t group);
// How each set function folds a row, how the scratch row is written, and
// how keys compare (at open, once the store is made).
void PlanRow(rcPlnStmt *stmt, PlanNode *node);
// Folds a row (its bytes in the node's layout) into the group's states; the
// folds that evaluate their argument read the columns where they point now.
// 0 or PLN_ERROR.
int16_t Fold(rcPlnStmt *stmt, rcGrpNode *g, uint32_t group, const unsigned char *row);

// Column redirects (rcexegroup_rows.cpp).
void SaveInput(PlanNode *node);
void RestoreInput(PlanNode *node);
void PointColumns(PlanNode *node, TempTable *t);
void PointAll(PlanNode *node, TempTable *t, bool withValues);

// Tables, groups and passes (rcexegroup_pass.cpp).
void FreeTable(TempTable **t);
int16_t MakeTable(rcPlnStmt *stmt, PlanNode *node, uint64_t memoryLimit, bool keys,
                  TempTable **out);
int16_t PutScratch(rcPlnStmt *stmt, PlanNode *node);
bool Cancelled(rcPlnStmt *stmt);
void ClearGroups(rcGrpNode *g);
int16_t Consume(rcPlnStmt *stmt, PlanNode *node, const unsigned char *row, TempTable *from);
int16_t EndPasses(rcPlnStmt *stmt, PlanNode *node);

} // namespace rcgrp
