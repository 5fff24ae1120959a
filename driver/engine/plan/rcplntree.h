// The parse-tree records the planner reads: the node record and grammar
// symbol ids, and the records the semantic checks attach to a checked tree.
// Small walkers over a tree that never enter subqueries.
#pragma once

#include "driver/engine/rcsem.h"
#include "driver/engine/tree/rcprsnode.h"
#include "driver/engine/tree/rcprssym.h"

// The first child of node with the id, or none.
inline const rcParseNode *rcPlnChild(const rcParseNode *node, uint16_t id)
{
    for (const rcParseNode *k = node != nullptr ? node->child : nullptr; k != nullptr; k = k->next)
        if (k->id == id)
            return k;
    return nullptr;
}

// Calls fn(ctx, n) for every node of the subtree under node (node itself
// included), not entering SubQuery nodes; fn answers false to stop.
template <typename Fn>
bool rcPlnWalkTree(const rcParseNode *node, Fn &&fn)
{
    for (; node != nullptr; node = nullptr) {
        if (!fn(node))
            return false;
        if (node->id == RC_N_SubQuery)
            return true;
        for (const rcParseNode *k = node->child; k != nullptr; k = k->next)
            if (!rcPlnWalkTree(k, fn))
                return false;
    }
    return true;
}
