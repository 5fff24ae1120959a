// Execution of a query plan: the plan's nodes run as pull iterators, and
// the statement fetches result rows from the root.
//
// Interface and legal order (after rcPlnBuild succeeded, rcpln.h):
//   rcExeOpenQuery(stmt)        opens every node (temporary tables are filled
//                               and sorted here); 0, or -1 after posting.
//                               Opening an open query closes it first.
//   rcExeFetch(stmt)            0 a row is current, 1 the same with a warning
//                               posted, 100 no more rows, -1 error posted
//   rcExeGetColumn(stmt, k ...) any number of times per current row, k from 0
//   rcExeCloseQuery(stmt)       frees the temporary tables; the query may be
//                               opened again (the plan stays)
//
// Node routines: every kind has an open routine (children first, then the
// node) and a next-row routine (stmt, node, flag) called with flag 0 for the
// first row after an open or a restart and 1 afterwards. Results: 0 a row,
// 1 a row with a warning, 100 no more rows, 101 end of a group, 102 end of an
// index range (taken as 100), -1 error posted. A node keeps all of its state
// in itself, so a join restarts its inner side for each outer row by calling
// it with flag 0 again.
#pragma once

#include <cstdint>

#include "driver/engine/plan/rcpln.h"

// Cancellation: SQLCancel sets the flag that the statement's
// tmpOwner.cancel points at (rcstmt.h, rcDrsCancelRunning). The row loops
// ask for every row a table or temporary table gives, every row a join
// tries and every subquery answer; true ends the loop with 5142 posted.
int16_t rcExeRaiseCancelled(rcPlnStmt *stmt);
inline bool rcExeCancelled(rcPlnStmt *stmt)
{
    const rcTmpCancelFlag *flag = stmt->tmpOwner.cancel;
    return flag != nullptr && flag->load(std::memory_order_relaxed) != 0 &&
           rcExeRaiseCancelled(stmt) != 0;
}

int16_t rcExeOpenQuery(rcPlnStmt *stmt);
int16_t rcExeFetch(rcPlnStmt *stmt);
// The current row's value of result column k converted to wantedType (an
// SQL type or a C type), as rcExpEvaluate gives it: 0, 1 cut, -1 error. A
// plan whose root is a PLN_TEMPSCAN gives its table's stored values
// (rcexeresult.h).
int16_t rcExeGetColumn(rcPlnStmt *stmt, uint16_t column, int16_t wantedType, void *buffer,
                       int32_t bufferLength, int32_t *outLength, uint32_t pieceOffset,
                       bool *isNull);
void rcExeCloseQuery(rcPlnStmt *stmt);

// Builds the column cache of every table the plan reads (rcexecache.cpp);
// called by rcExeOpenQuery.
void rcExePrepareColumnCaches(rcPlnStmt *stmt);

// Opens the subtree under node (used for the whole plan and for restarts).
int16_t rcExeOpenPlan(rcPlnStmt *stmt, PlanNode *node);
// The next-row routine of a node's kind.
rcPlnNextFn rcExeNextOf(const PlanNode *node);
// Calls the plan's root routine with the plan's first-or-next flag.
int16_t rcExeCallRowSource(rcPlnStmt *stmt);

// Routines by kind (rcexenode.cpp, rcexetemp.cpp, rcexesetfn.cpp).
int16_t rcExeNextJoin(rcPlnStmt *stmt, PlanNode *node, int flag);
int16_t rcExeNextRestrict(rcPlnStmt *stmt, PlanNode *node, int flag);
int16_t rcExeNextTable(rcPlnStmt *stmt, PlanNode *node, int flag);
int16_t rcExeNextDistinct(rcPlnStmt *stmt, PlanNode *node, int flag);
int16_t rcExeNextSetFunc(rcPlnStmt *stmt, PlanNode *node, int flag);
int16_t rcExeNextAggregate(rcPlnStmt *stmt, PlanNode *node, int flag);
int16_t rcExeNextGroupResult(rcPlnStmt *stmt, PlanNode *node, int flag);
int16_t rcExeNextGroup(rcPlnStmt *stmt, PlanNode *node, int flag);
int16_t rcExeNextTemp(rcPlnStmt *stmt, PlanNode *node, int flag);
int16_t rcExeOpenTemp(rcPlnStmt *stmt, PlanNode *node);
// Moves the base tables whose long values the temporary table's current row
// names back to that row (bookmarks), or marks them NULL.
int16_t rcExeTempRestore(rcPlnStmt *stmt, PlanNode *node);
int16_t rcExeOpenSetFunc(rcPlnStmt *stmt, PlanNode *node);
int16_t rcExeOpenAggregate(rcPlnStmt *stmt, PlanNode *node);
// MIN and MAX answered by index seeks (rcexeseek.cpp): true when the
// aggregate's set functions were planned so; the seeks fill their
// accumulators in place of reading the rows.
bool rcExeIsMinMaxByIndex(const PlanNode *aggregate);
int16_t rcExeMinMaxByIndex(rcPlnStmt *stmt, PlanNode *aggregate);
// PLN_UNION (rcexeunion.cpp): the open points the node at its first input
// (run before its child is opened); the next-row routine reads the inputs
// one after the other.
void rcExeOpenUnion(rcPlnStmt *stmt, PlanNode *node);
int16_t rcExeNextUnion(rcPlnStmt *stmt, PlanNode *node, int flag);
