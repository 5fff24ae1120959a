// Join order and join methods of a query block.
//
// Join order (rcplnorder.cpp). rcJnBuildTree orders the FROM items of one
// block (base tables and outer-join subtrees) and joins them into its FROM
// tree. Items compared column against column in a WHERE conjunct form join
// pairs; an item in no such pair becomes the second side of the first pair
// when that pair has none, else a pair of its own. Pairs that share an item
// form components. Each side is priced: a base table by its rows after its
// own conditions, or, when the data module took its filter (push-down runs
// for the block's tables here, ahead of the final push-down), by its row
// count, and then it has no join index; an outer-join subtree by a large
// default. A table with more than one estimated row whose index a join
// condition can search has a join index. In a component the driving side is
// the costliest side without a join index (when every side has one, the
// cheapest); then, one at a time, the pair reaching a new item: one with a
// join index, the cheapest of those; else the costliest. Components are
// ordered with those of one pair first (in FROM order), then the others,
// the one a GROUP BY, DISTINCT or ORDER BY index forced last; they are
// chained so that each component of several items is joined as the outer
// side of what was built before it, and a single item as its inner side:
// a table no condition joins to the others is read inside everything else.
//
// Join methods (rcplnhash.cpp). After the block's conditions are placed
// (a conjunct over several tables right above the lowest join that holds
// them all), every join is priced both ways, in requests to the server:
// the nested loop reads its inner side once per outer row (an index seek,
// or the whole inner side again); a hash join reads the inner side once per
// execution into an engine table keyed on the equalities of plain columns
// between the two sides, and joins in memory. A selective index seek on a
// small outer side keeps the nested loop. NoHashOpt, or an inner side that
// reads a column a temporary table cannot hold, keeps every nested loop.
//
// Hash-join execution (exec/rcexehash*.cpp): the inner side (below the ON
// condition of an outer join) is read once per open of the plan into a
// temporary table; equal keys share a bucket. Keys are hashed on a form in
// which values the engine's comparison finds equal are equal: integers as
// such, other numbers as doubles, text by its collation weights without
// trailing blanks, dates and times as timestamps. A NULL key never matches.
// The comparison itself stays where the nested loop has it: the join
// conditions above an inner join, the ON condition of an outer join (run
// here for every candidate row). Past the temporary-table memory limit the
// build side is split over partitions by hash, each a temporary table with
// a share of the limit (spilling to its file), the outer rows likewise, and
// the partitions are joined one after the other: rows then come partition
// by partition, so the planner takes no order from a hash join's outer side.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/engine/plan/rcpln.h"

// How a key's values are hashed (by the types of its two columns).
enum : uint8_t {
    PLN_HK_INT64 = 1, // integers on both sides: compared as integers
    PLN_HK_DOUBLE,    // other numbers (not DECIMAL38): compared as doubles
    PLN_HK_TEXT,      // character types: the driver's collation
    PLN_HK_BYTES,     // binary types: byte for byte
    PLN_HK_DATETIME,  // dates and timestamps
    PLN_HK_TIME,      // a time on either side: compared on the time of day
};

struct rcPlnHashKey {
    rcExpSlot outer; // the outer side's column
    rcExpSlot inner; // the inner side's column
    uint8_t kind;    // PLN_HK_*
};

struct rcExeHashRun; // the executor's state (exec/rcexehash.h)

struct rcPlnHashJoin {
    PlanNode *join = nullptr;
    PlanNode *build = nullptr; // the subtree read into the table
    rcFltId match = 0;         // outer join: its ON condition, per candidate
    std::vector<rcPlnHashKey> keys;
    uint32_t outerRows = 0; // estimates
    uint32_t innerRows = 0;
    rcExeHashRun *run = nullptr;
};

// Builds the FROM tree of a block from its items (tables and outer-join
// subtrees, in FROM order) and WHERE conjuncts. orderTable: a table an index
// of which gives the rows in the order the block's GROUP BY, DISTINCT or
// ORDER BY wants (none: no preference). 0, or -1 after posting.
int16_t rcJnBuildTree(rcPlnStmt *stmt, const std::vector<PlanNode *> &items,
                      const std::vector<const rcParseNode *> &conds, const rcTblEntry *orderTable,
                      PlanNode **top);

// The row count and estimate of a table node (asked once per statement),
// from its own conditions; with `push`, the conditions are offered to the
// data module first and the answer is kept in pushedFilter.
int16_t rcJnTableCost(rcPlnStmt *stmt, PlanNode *table, const std::vector<const rcParseNode *> &own,
                      bool push);

// Chooses the method of every join of the block's FROM tree under top
// (after its conditions are placed, before index choice); enclosing: the
// tables of the enclosing blocks. 0, or -1 after posting.
int16_t rcPlnHashChoose(rcPlnStmt *stmt, PlanNode *top,
                        const std::vector<const rcTblEntry *> &enclosing);

// True when the node's subtree reads its rows through a hash join on the
// way down first children (the rows then carry no index order).
bool rcPlnHashOnDrivingPath(const PlanNode *node);

// A column of a temporary table can hold the value (a short text or binary,
// or a type of fixed size the table stores).
bool rcPlnHashStorable(const rcPlnColumn *column);

// Executor (exec/rcexehash.cpp): open, next row, and the end of the state
// at close and when the plan is freed.
int16_t rcExeOpenHashJoin(rcPlnStmt *stmt, PlanNode *node);
int16_t rcExeNextHashJoin(rcPlnStmt *stmt, PlanNode *node, int flag);
// False when the join runs as the nested loop (its inner side reads a
// column the table cannot hold).
bool rcExeHashActive(const PlanNode *node);
void rcExeHashCloseAll(rcPlnStmt *stmt);
void rcExeHashFreeAll(rcPlnStmt *stmt);
