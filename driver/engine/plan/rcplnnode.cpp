// Plan nodes: allocation, links and walks (see rcpln.h).
#include "driver/engine/plan/rcpln.h"

#include <cstring>
#include <sql.h>

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"

namespace {

bool TwoChildren(uint8_t kind) { return kind == PLN_JOIN || kind == PLN_AGGREGATE; }
bool Leaf(uint8_t kind)
{
    return kind == PLN_TABLE || kind == PLN_SUBQUERY || kind == PLN_TEMPSCAN;
}

} // namespace

bool rcPlnKeepsLongValues(const PlanNode *temp)
{
    return temp != nullptr && temp->kind == PLN_TEMPTABLE &&
           std::strncmp(temp->name, "ORD_TT", sizeof temp->name) == 0;
}

PlanNode *rcPlnNewNode(rcPlnStmt *stmt, uint8_t kind)
{
    if (stmt->pool == nullptr)
        stmt->pool = rcMemPoolCreate(2000);
    void *p = stmt->pool != nullptr ? rcMemPoolAlloc(stmt->pool, sizeof(PlanNode)) : nullptr;
    if (p == nullptr) {
        rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR);
        return nullptr;
    }
    auto *node = new (p) PlanNode{};
    node->kind = kind;
    return node;
}

PlanNode **rcPlnChildLink(PlanNode *node, int which)
{
    if (node == nullptr || Leaf(node->kind))
        return nullptr;
    if (TwoChildren(node->kind) && which == 0)
        return &node->second;
    return &node->first;
}

PlanNode **rcPlnLinkTo(QueryPlan *plan, PlanNode *node)
{
    PlanNode *parent = node->parent;
    if (parent == nullptr)
        return &plan->root;
    if (parent->first == node)
        return &parent->first;
    return &parent->second;
}

void rcPlnSetParent(PlanNode *parent, PlanNode **link, PlanNode *child)
{
    *link = child;
    if (parent != nullptr && child != nullptr)
        child->parent = parent;
}

void rcPlnReplace(PlanNode *parent, PlanNode *newNode, int which, PlanNode **link)
{
    PlanNode *old = *link;
    *link = newNode;
    newNode->parent = parent;
    PlanNode **down = rcPlnChildLink(newNode, which);
    if (down != nullptr)
        *down = old;
    if (old != nullptr)
        old->parent = newNode;
}

void rcPlnDetach(QueryPlan *plan, PlanNode *node)
{
    PlanNode *child = Leaf(node->kind) ? nullptr : node->first;
    PlanNode *parent = node->parent;
    if (parent != nullptr) {
        if (parent->first == node)
            parent->first = child;
        else
            parent->second = child;
    } else {
        PlanNode **fields[] = {&plan->aggregate, &plan->distinct, &plan->orderBy, &plan->groupBy,
                               &plan->root};
        for (PlanNode **f : fields)
            if (*f == node)
                *f = child;
    }
    if (child != nullptr)
        child->parent = parent;
    if (plan->firstTemp == node)
        plan->firstTemp = nullptr;
    if (node->temp != nullptr) {
        rcTmpFree(node->temp);
        node->temp = nullptr;
    }
    node->first = nullptr;
    node->parent = nullptr;
}

PlanNode **rcPlnFind(PlanNode **link, uint32_t mask, PlanNode **parent)
{
    PlanNode *last = nullptr;
    while (*link != nullptr) {
        PlanNode *n = *link;
        last = n;
        switch (n->kind) {
        case PLN_TABLE:
        case PLN_SUBQUERY:
            if (parent != nullptr)
                *parent = last;
            return nullptr;
        case PLN_JOIN: link = (mask & (0x4 | 0x10)) != 0 ? &n->first : &n->second; break;
        case PLN_AGGREGATE:
            if ((mask & 0x1) != 0) {
                PlanNode *p = nullptr;
                PlanNode **found = rcPlnFind(&n->first, mask & ~0x1u, &p);
                if (found != nullptr) {
                    if (parent != nullptr)
                        *parent = p != nullptr ? p : n;
                    return found;
                }
            }
            if ((mask & 0x2) == 0) {
                if (parent != nullptr)
                    *parent = last;
                return nullptr;
            }
            link = &n->second;
            break;
        default: link = &n->first; break;
        }
    }
    if (parent != nullptr)
        *parent = last;
    return link;
}

void rcPlnLink(PlanNode **rootLink, PlanNode *parent, PlanNode *node, uint32_t mask)
{
    PlanNode *bottom = parent;
    PlanNode **link = rcPlnFind(rootLink, mask, &bottom);
    if (link == nullptr)
        return;
    *link = node;
    node->parent = bottom;
}

int rcPlnVisit(void *ctx, PlanNode *node, rcPlnVisitFn callback)
{
    if (node == nullptr)
        return 1;
    int r = callback(ctx, node->kind, node);
    if (r == 0)
        return 0;
    if (r == 2 || Leaf(node->kind))
        return 1;
    if (rcPlnVisit(ctx, node->first, callback) == 0)
        return 0;
    if (TwoChildren(node->kind) && rcPlnVisit(ctx, node->second, callback) == 0)
        return 0;
    return 1;
}

PlanNode *rcPlnFirstOfKind(PlanNode *tree, uint8_t kind)
{
    struct Ctx {
        uint8_t kind;
        PlanNode *found;
    } ctx{kind, nullptr};
    rcPlnVisit(&ctx, tree, [](void *c, uint8_t k, PlanNode *n) {
        auto *x = static_cast<Ctx *>(c);
        if (k != x->kind)
            return 1;
        x->found = n;
        return 0;
    });
    return ctx.found;
}

PlanNode *rcPlnWalkNext(PlanNode *tree, PlanNode *node)
{
    if (!Leaf(node->kind)) {
        if (node->first != nullptr)
            return node->first;
        if (TwoChildren(node->kind) && node->second != nullptr)
            return node->second;
    }
    while (node != tree && node->parent != nullptr) {
        PlanNode *p = node->parent;
        if (TwoChildren(p->kind) && p->first == node && p->second != nullptr)
            return p->second;
        node = p;
    }
    return nullptr;
}

PlanNode *rcPlnNextOfKind(PlanNode *tree, PlanNode *node, uint8_t kind)
{
    PlanNode *n = node == nullptr ? tree : rcPlnWalkNext(tree, node);
    while (n != nullptr && n->kind != kind)
        n = rcPlnWalkNext(tree, n);
    return n;
}

int16_t rcPlnSetFuncType(const PlanNode *node)
{
    if (node->function == PLN_FN_COUNT)
        return SQL_INTEGER;
    if (node->acc != nullptr)
        return node->acc->resultType;
    return 0;
}
