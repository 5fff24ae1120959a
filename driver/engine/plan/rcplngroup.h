// What the planner sets up of a PLN_HASHGROUP node: the grouping method and
// the node's store; the executor runs the node (exec/rcexegroup.h, which
// also defines these routines).
#pragma once

#include <cstdint>
#include <vector>

#include "driver/engine/plan/rcpln.h"

enum : uint8_t {
    RC_GRP_HASH = 1,   // a hash table of groups, then a sort of the groups
    RC_GRP_STREAM = 2, // rows arrive grouped: one group at a time
};

// The name of a grouping method for the plan file and the engine trace.
const char *rcGrpMethodName(const PlanNode *node);

// What the node's last open did: groups found, rows sent to an overflow
// table, passes over the input (1 without spill).
struct rcGrpCounts {
    uint64_t groups;
    uint64_t spilledRows;
    uint32_t passes;
};
rcGrpCounts rcGrpCountsOf(const PlanNode *node);

// At planning, once the node's column list is set (its keys first, then the
// stored columns); false after posting.
bool rcGrpSetup(rcPlnStmt *stmt, PlanNode *node, uint8_t method, bool keepLast,
                const std::vector<PlanNode *> &accumulate);
// True when the node's column list can be grouped by hashing: no long value
// kept through a bookmark.
bool rcGrpHashable(const PlanNode *node);
