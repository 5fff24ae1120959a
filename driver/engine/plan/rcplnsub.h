// Subquery strategies: how the planner answers a subquery predicate
// without reading the subquery's rows for every outer row.
//
// Interface and order (during rcPlnBuild):
//   rcSubStrategy(stmt, node, spec, tables)  once per subquery node, after
//                                            its own plan is built
//   rcSubApplySeeks(stmt)                    once, after the whole plan is
//                                            built (the outer rows known)
//
// Every uncorrelated subquery compared with values (IN, ANY, ALL, a
// single-row comparison) is read once per execution of the statement and
// kept (see rcexesub.h): ANY and ALL with <, <=, >, >= keep only the
// smallest or the largest value; = ANY (IN) and <> ALL (NOT IN) keep the
// values sorted for a binary search per outer row. Where the subquery is a
// plain column of one table with no WHERE, GROUP BY, HAVING, DISTINCT or set
// function, and an index leads with that column (not a text column: the
// server orders text otherwise than the driver's collation), the index
// answers it instead:
//   RC_SUB_SMALLEST / RC_SUB_LARGEST  the first or last key gives the value
//                                     that ANY or ALL compare with (seeks
//                                     once per execution; needs the data
//                                     module's seeks to first and last keys)
//   RC_SUB_EQUAL                      = ANY and IN seek the outer value, one
//                                     seek per outer row, where the outer
//                                     rows are few against the subquery's
//                                     table (else it is read once)
// No strategy with the engine options NoIndexes and NoHashOpt.
#pragma once

#include <vector>

#include "driver/engine/plan/rcpln.h"

struct rcSubRun; // the executor's state of one subquery node (rcexesub.h)

enum : uint8_t {
    RC_SUB_NONE = 0,
    RC_SUB_SMALLEST = 1,
    RC_SUB_LARGEST = 2,
    RC_SUB_EQUAL = 3,
};

// What the planner records for a subquery compared with values.
struct rcSubPlanInfo {
    uint16_t op = 0;     // RC_T_EQ .. RC_T_NE: outer value <op> a row's value
    rcExpSlot outer = 0; // the outer value
    rcExpSlot value = 0; // the subquery's value (its one result column)
    uint8_t strategy = RC_SUB_NONE;
    PlanNode *table = nullptr; // the table node the index seeks read
    const rcPlnIndex *index = nullptr;
    uint32_t seekBudget = 0; // RC_SUB_EQUAL: seeks per execution before the
                             // rows are read once instead
    rcSubRun *run = nullptr; // made by the executor on first use
};

// Chooses the index strategy of an uncorrelated subquery node (form and
// subInfo set; tables: the table nodes of its block); none is a valid
// answer. 0, or -1 after posting (the index catalog could not be read).
int16_t rcSubStrategy(rcPlnStmt *stmt, PlanNode *node, const rcParseNode *spec,
                      const std::vector<PlanNode *> &tables);

// Gives every RC_SUB_EQUAL subquery its seek range on its table node where
// the seeks cost less than reading the table once, else drops the strategy.
// 0, or -1 after posting.
int16_t rcSubApplySeeks(rcPlnStmt *stmt);
