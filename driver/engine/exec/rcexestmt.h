// A statement's query in the executor: the planner context the statement
// record owns (rcStmt::planner), made from what the connection tells once,
// and the open and close of its plan.
//
// Interface and legal order (one statement, under its connection's lock):
//   rcExeMakePlanner(stmt, facts, root)  plans the prepared tree, at
//                                        preparation (the planner stays on
//                                        the record; later calls do nothing)
//   rcExeOpenStmt(stmt)                  at each execution: opens the plan
//                                        (parameters of pushed filters sent,
//                                        fresh selections, temporary tables
//                                        filled and sorted); the record's
//                                        result is open
//   rcExeFetch / rcExeGetColumn          on stmt->planner (rcexe.h)
//   rcDrsCloseResult(stmt)               closes the result; the plan stays,
//                                        ready to be opened again
//   rcExeFreePlanner(stmt)               frees the planner with its plan
//                                        (statement reset frees it too)
// Each answers 0 or -1 after posting on the statement's queue.
//
// A plan holds nothing of one execution: it is built from the checked tree,
// the statement's engine option mask (changed only by a SET statement, which
// is prepared on the statement in place of its query), the data source's
// push-down capabilities and what the data module tells of the tables'
// indexes and sizes. The values of the dynamic parameters (rcexeprm.h) are
// read only once it is open: the parameters of pushed filters are sent at
// each open, index ranges and seeks take their keys from the values when
// their scans start, and SQL_MAX_ROWS is applied by the fetch. So one plan
// serves every execution of the prepared statement, whatever the values.
// Each plan built writes the engine trace line "rcExeMakePlanner(stmt)" at
// level 2.
#pragma once

#include <cstdint>

#include "driver/engine/expr/rcexp.h"

struct rcParseNode;
struct rcStmt;
struct rcPlnStmt;
struct TamSession;

// What the planner needs of the connection: given by the ODBC layer, which
// fills it once per statement handle. The texts are the connection's and
// are read where they are kept (a USE statement shows in DATABASE() of
// statements prepared before it).
struct rcExeConnFacts {
    TamSession *session = nullptr;
    const char *userName = ""; // USER
    const char *database = ""; // DATABASE(): the current qualifier
    // The scalar-function code of a checked ScalarFn (the front end's table).
    int (*fnCode)(const rcParseNode *scalarFn) = nullptr;
    // Vendor predicates: described by the connection's list, run on its
    // session (rcexp.h).
    rcExpVendorHooks vendor;
    void *vendorCtx = nullptr;
};

int16_t rcExeMakePlanner(rcStmt *stmt, const rcExeConnFacts &facts, const rcParseNode *root);
int16_t rcExeOpenStmt(rcStmt *stmt);
// Closes the statement's open result (SQLFreeStmt with SQL_CLOSE, a new
// execution, a catalog call): an open query's cursor and temporary tables
// go, its plan stays; the engine state becomes RC_ENGINE_DONE (closed).
// Nothing else when no result is open. Answers 0.
int16_t rcDrsCloseResult(rcStmt *stmt);
void rcExeFreePlanner(rcStmt *stmt);
// The release of the statement's planner slot: closes and frees a planner
// context made with new (for whoever hangs one on a statement).
void rcExeDeletePlanner(rcPlnStmt *p);
// True while the statement's query is open (a fetch may read it).
bool rcExeStmtOpen(const rcStmt *stmt);
