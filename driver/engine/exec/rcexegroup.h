// Grouping and DISTINCT without a sort of the rows: the PLN_HASHGROUP node.
//
// Interface and legal order (the planner's part is declared in
// plan/rcplngroup.h):
//   rcGrpSetup(stmt, node, method, keepLast, accumulate)
//       at planning, once the node's column list is set (its keys first, then
//       the stored columns: every base column of the block the query reads
//       and the set functions it keeps); false after posting
//   rcExeOpenHashGroup(stmt, node)   at open, after its child was opened: the
//       hash method reads its whole input here; 0 or -1 after posting
//   rcExeNextHashGroup(stmt, node, flag)   the groups one by one, in the
//       order of their keys; 0 a group is current, 100 no more, -1 error
//   rcExeCloseHashGroup(node)        frees the tables (query close)
//   rcExeFreeHashGroup(node)         frees the node's record (statement free)
//
// A group is one row of the node's store, a temporary table kept in memory:
// its keys, the stored columns of the row that shows the group (the last row
// of the group for GROUP BY, the first for DISTINCT, as the sorted grouping
// shows them), and beside the table the accumulators of its set functions.
// Every input row is put into a one-row scratch table, rewritten in place
// (a key or stored column that is a plain column of a fixed type is read
// straight, as its expression would give it); its keys are hashed on
// their collation key (text upper-cased without trailing blanks, -0.0 as 0.0,
// exact numerics without trailing zeros) and compared as the sort compares
// them (so NULLs make one group and texts equal under the collation one); a
// new group is appended, an existing one folds the row in. Set-function
// arguments are read from the scratch row, as the sorted grouping reads them
// from its table: COUNT(*), COUNT of a stored column and the double sums
// of an integer or floating one straight from the row's bytes; the others
// evaluate their argument with the columns pointed at the row for that
// fold, and then given back what the input pointed them at. Keys of
// integers, dates and times compare by their slots' bytes. No per-row
// allocation, no per-row redirect when no fold evaluates. When the input
// ends only the groups are sorted, and read back with every column and set
// function pointed at the store.
//
// Memory: the store, the accumulators and the hash index stay within
// rcTmpLimits::hashMemoryLimit (the environment's QX_HASH_MEMORY_LIMIT lowers
// it, so that tests reach the spill with a few rows). Past it, the rows of
// groups not in the store go to an overflow table (a temporary table that
// spills to its file past its own limit), read again in a further pass once
// this pass's groups, with their set-function values, were written to an
// output table; the output is then sorted as any temporary table is. Every
// group lives in exactly one pass and its rows keep their order there, so
// that the spill changes neither the groups nor their values.
//
// The stream method takes rows that arrive in key order (read through an
// index): one group at a time, ended by the first row of the next one.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/engine/plan/rcplngroup.h"

int16_t rcExeOpenHashGroup(rcPlnStmt *stmt, PlanNode *node);
int16_t rcExeNextHashGroup(rcPlnStmt *stmt, PlanNode *node, int flag);
void rcExeCloseHashGroup(PlanNode *node);
// rcExeFreeHashGroup: rcpln.h.

// What the grouping shares with the temporary-table node and the set
// functions: puts column k of the current row into temp (rcexetemp.cpp); folds
// the current row into a set function's accumulator (rcexesetfn.cpp).
int16_t rcExeTempPutValue(rcPlnStmt *stmt, rcPlnTempColumn *columns, TempTable *temp, uint16_t k);
int16_t rcExeFoldSetFunc(rcPlnStmt *stmt, PlanNode *node);
