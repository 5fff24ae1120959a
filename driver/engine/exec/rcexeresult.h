// A result built whole before it is read (a catalog function's): a plan of
// one node, PLN_TEMPSCAN, over the finished temporary table, so that its
// rows and values come through the executor's fetch and column reads like
// any query's.
//
// Interface and legal order (one statement, under its connection's lock):
//   rcExeOpenTableResult(stmt, table, visible)
//        the caller filled (and sorted) table; it becomes the statement's
//        planner with the plan open before its first row, and the plan owns
//        the table from then on (it is freed when the cursor closes or the
//        planner is freed). An earlier planner of the statement is freed
//        first. 0, or -1 after posting (the table stays the caller's).
//   rcExeFetch(stmt->planner)         the rows in the table's order, then
//                                     100 again and again without reading
//   rcExeGetColumn(stmt->planner, k)  column k < visible of the current row
//   rcExeRewindResult(stmt->planner)  the next fetch gives the first row
//   rcDrsCloseResult / rcExeFreePlanner (rcexestmt.h)
//
// The node's next-row routine steps through the table (first row on a
// first call, then the next) and keeps in the node whether a row is
// current and whether the rows ended. A column value is the stored one:
// text as it was put, integers (SMALLINT, INTEGER) as numbers, or, when
// they are asked for as text, as their digits, which may then be read in
// pieces like any text; NULL as NULL.
#pragma once

#include <cstdint>

#include "driver/engine/plan/rcpln.h"

struct rcStmt;

int16_t rcExeOpenTableResult(rcStmt *stmt, TempTable *table, uint16_t visible);
void rcExeRewindResult(rcPlnStmt *stmt);

// The routines of the kind (rcexenode.cpp dispatches to them).
int16_t rcExeNextTempScan(rcPlnStmt *stmt, PlanNode *node, int flag);
int16_t rcExeTempScanColumn(rcPlnStmt *stmt, PlanNode *node, uint16_t column, int16_t wantedType,
                            void *buffer, int32_t bufferLength, int32_t *outLength,
                            uint32_t pieceOffset, bool *isNull);
