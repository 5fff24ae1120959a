// A statement's query in the executor: the planner context the statement
// record owns (rcStmt::planner), made from what the connection tells once,
// and the open and close of its plan.
//
// Interface and legal order (one statement, under its connection's lock):
//   rcExeMakePlanner(stmt, facts, root)  plans the prepared tree once per
//                                        prepare (the planner stays on the
//                                        record; later calls do nothing)
//   rcExeOpenStmt(stmt)                  opens the plan (temporary tables
//                                        filled and sorted); the record's
//                                        result is open
//   rcExeFetch / rcExeGetColumn          on stmt->planner (rcexe.h)
//   rcExeCloseStmt(stmt)                 closes the cursor; the plan stays
//   rcExeFreePlanner(stmt)               frees the planner with its plan
//                                        (statement reset frees it too)
// Each answers 0 or -1 after posting on the statement's queue.
//
// The planner reads the statement's own state for the rest: its engine
// option mask, the data source's push-down capabilities and the values of
// its dynamic parameters (rcexeprm.h).
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
// Nothing when no query is open.
void rcExeCloseStmt(rcStmt *stmt);
void rcExeFreePlanner(rcStmt *stmt);
// The release of the statement's planner slot: closes and frees a planner
// context made with new (for whoever hangs one on a statement).
void rcExeDeletePlanner(rcPlnStmt *p);
// True while the statement's query is open (a fetch may read it).
bool rcExeStmtOpen(const rcStmt *stmt);
