// Small readers of conditions and plan subtrees shared by the join order and
// the join methods (rcplnorder.cpp, rcplnhash.cpp).
#pragma once

#include <algorithm>
#include <vector>

#include "driver/engine/plan/rcpln.h"
#include "driver/engine/plan/rcplntree.h"

// The tables of the table nodes under node.
inline void rcJnTablesUnder(PlanNode *node, std::vector<const rcTblEntry *> *out)
{
    rcPlnVisit(out, node, [](void *ctx, uint8_t kind, PlanNode *n) {
        if (kind == PLN_TABLE)
            static_cast<std::vector<const rcTblEntry *> *>(ctx)->push_back(n->table);
        return 1;
    });
}

inline bool rcJnHas(const std::vector<const rcTblEntry *> &set, const rcTblEntry *t)
{
    return std::find(set.begin(), set.end(), t) != set.end();
}

// The tables a condition reads outside its subqueries; *subquery tells
// whether it holds one.
inline void rcJnTablesOf(const rcParseNode *cond, std::vector<const rcTblEntry *> *out,
                         bool *subquery)
{
    *subquery = false;
    rcPlnWalkTree(cond, [&](const rcParseNode *n) {
        if (n->id == RC_N_SubQuery)
            *subquery = true;
        if (n->id == RC_N_ColName && n->sem != nullptr) {
            const rcTblEntry *t = static_cast<const rcTblColumn *>(n->sem)->owner;
            if (!rcJnHas(*out, t))
                out->push_back(t);
        }
        return true;
    });
}

// A bare column reference under Expression and Primary wrappers, or none.
inline const rcTblColumn *rcJnBareColumn(const rcParseNode *n)
{
    while (n != nullptr && n->child != nullptr && n->child->next == nullptr &&
           (n->id == RC_N_Expression || n->id == RC_N_Primary || n->id == RC_N_ExprOrSubQuery))
        n = n->child;
    return n != nullptr && n->id == RC_N_ColName ? static_cast<const rcTblColumn *>(n->sem)
                                                 : nullptr;
}

// A conjunct that is one comparison of two plain columns (no NOT, no OR):
// its columns and its operator token; false otherwise.
inline bool rcJnColumnCompare(const rcParseNode *cond, const rcTblColumn **left,
                              const rcTblColumn **right, uint16_t *op)
{
    const rcParseNode *b = cond != nullptr ? cond->child : nullptr;
    if (b == nullptr || b->id != RC_N_BooleanPrimary || b->next != nullptr)
        return false;
    const rcParseNode *p = b->child;
    if (p == nullptr || p->id != RC_N_Predicate || p->child == nullptr ||
        p->child->id != RC_N_ComparePredicate)
        return false;
    p = p->child;
    const rcParseNode *l = p->child;
    const rcParseNode *o = l != nullptr ? l->next : nullptr;
    const rcParseNode *r = o != nullptr ? o->next : nullptr;
    if (r == nullptr || o->id != RC_N_CompareOp || o->child == nullptr)
        return false;
    *left = rcJnBareColumn(l);
    *right = rcJnBareColumn(rcPlnChild(r, RC_N_Expression));
    *op = o->child->id;
    return *left != nullptr && *right != nullptr;
}

// Splits an AND tree into its conjuncts (parentheses around the whole looked
// through).
inline void rcJnConjuncts(const rcParseNode *cond, std::vector<const rcParseNode *> *out)
{
    const rcParseNode *a = cond->child;
    if (a != nullptr && a->id == RC_N_SearchCond && a->next != nullptr && a->next->id == RC_T_AND &&
        a->next->next != nullptr) {
        rcJnConjuncts(a, out);
        rcJnConjuncts(a->next->next, out);
        return;
    }
    if (a != nullptr && a->id == RC_N_BooleanPrimary && a->next == nullptr && a->child != nullptr &&
        a->child->id == '(' && a->child->next != nullptr && a->child->next->id == RC_N_SearchCond) {
        rcJnConjuncts(a->child->next, out);
        return;
    }
    out->push_back(cond);
}
