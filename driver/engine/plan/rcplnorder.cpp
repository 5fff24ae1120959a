// Join order and cost of the FROM items of a query block (see rcplnhash.h).
#include <algorithm>
#include <new>

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/plan/rcplnhash.h"
#include "driver/engine/plan/rcplnjoinutil.h"
#include "driver/engine/plan/rcplnpush.h"

namespace {

constexpr uint32_t kSubtreeCost = 100000000; // an outer-join subtree's price
constexpr uint32_t kOrderIndexRows = 1000;   // few enough rows to read by their own index
constexpr uint16_t kNone = 65535;
constexpr uint16_t kLoneFirst = 32766; // components of one pair, numbered down from here
constexpr size_t kNoItem = static_cast<size_t>(-1);

struct Pair {
    size_t a = kNoItem;
    size_t b = kNoItem;
    std::vector<const rcParseNode *> preds; // column-against-column comparisons
    uint16_t component = kNone;
    uint16_t order = kNone;
    bool dropped = false; // both items joined through other pairs first
};

struct Orderer {
    rcPlnStmt *stmt;
    const std::vector<PlanNode *> &items;
    const std::vector<const rcParseNode *> &conds;
    std::vector<std::vector<const rcTblEntry *>> tables; // per item
    std::vector<Pair> pairs;
    std::vector<uint32_t> cost;
    std::vector<bool> joinIndex;
    std::vector<bool> inPredicatePair;

    size_t ItemOf(const rcTblEntry *t) const
    {
        for (size_t i = 0; i < tables.size(); ++i)
            if (rcJnHas(tables[i], t))
                return i;
        return kNoItem;
    }

    void MakePairs()
    {
        for (const rcParseNode *c : conds) {
            const rcTblColumn *l = nullptr, *r = nullptr;
            uint16_t op = 0;
            if (!rcJnColumnCompare(c, &l, &r, &op))
                continue;
            size_t a = ItemOf(l->owner), b = ItemOf(r->owner);
            if (a == kNoItem || b == kNoItem || a == b)
                continue;
            Pair *found = nullptr;
            for (Pair &p : pairs)
                if ((p.a == a && p.b == b) || (p.a == b && p.b == a))
                    found = &p;
            if (found == nullptr) {
                pairs.emplace_back();
                found = &pairs.back();
                found->a = a;
                found->b = b;
            }
            found->preds.push_back(c);
        }
        for (size_t i = 0; i < items.size(); ++i) {
            bool paired = false;
            for (const Pair &p : pairs)
                paired = paired || p.a == i || p.b == i;
            if (paired)
                continue;
            if (!pairs.empty() && pairs.front().b == kNoItem) {
                pairs.front().b = i;
                continue;
            }
            pairs.emplace_back();
            pairs.back().a = i;
        }
    }

    // Own conditions of an item: the conjuncts that read only its table.
    std::vector<const rcParseNode *> Own(size_t i) const
    {
        std::vector<const rcParseNode *> own;
        for (const rcParseNode *c : conds) {
            std::vector<const rcTblEntry *> t;
            bool sub = false;
            rcJnTablesOf(c, &t, &sub);
            if (!sub && t.size() == 1 && rcJnHas(tables[i], t.front()))
                own.push_back(c);
        }
        return own;
    }

    int16_t Price()
    {
        size_t n = items.size();
        cost.assign(n, 0);
        joinIndex.assign(n, false);
        inPredicatePair.assign(n, false);
        for (const Pair &p : pairs)
            if (!p.preds.empty()) {
                inPredicatePair[p.a] = true;
                inPredicatePair[p.b] = true;
            }
        for (size_t i = 0; i < n; ++i) {
            PlanNode *node = items[i];
            if (node->kind == PLN_TABLE && rcJnTableCost(stmt, node, Own(i), true) != 0)
                return PLN_ERROR;
            // Sides of pairs without a join condition are not priced: such
            // a pair keeps the order of the FROM list.
            if (!inPredicatePair[i])
                continue;
            if (node->kind != PLN_TABLE) {
                cost[i] = kSubtreeCost;
                continue;
            }
            bool pushed = node->pushedFilter != 0;
            cost[i] = pushed ? node->tableRows : node->rows;
            if (pushed || node->rows <= 1)
                continue;
            // A join index: one that a comparison with a pair partner searches.
            std::vector<const rcParseNode *> preds;
            std::vector<const rcTblEntry *> others;
            for (const Pair &p : pairs) {
                if ((p.a != i && p.b != i) || p.preds.empty())
                    continue;
                size_t other = p.a == i ? p.b : p.a;
                preds.insert(preds.end(), p.preds.begin(), p.preds.end());
                others.insert(others.end(), tables[other].begin(), tables[other].end());
            }
            joinIndex[i] = rcOptIndexUse(stmt, node->table, preds, others) > 0;
        }
        return 0;
    }

    bool Shares(const Pair &p, const Pair &q) const
    {
        auto in = [](const Pair &x, size_t i) { return i != kNoItem && (x.a == i || x.b == i); };
        return in(q, p.a) || in(q, p.b);
    }

    void Components(uint16_t next)
    {
        for (size_t i = 0; i < pairs.size(); ++i)
            for (size_t j = i + 1; j < pairs.size(); ++j) {
                if (!Shares(pairs[i], pairs[j]))
                    continue;
                Pair &p = pairs[i], &q = pairs[j];
                if (p.component == kNone && q.component == kNone) {
                    p.component = q.component = next++;
                } else if (p.component == kNone) {
                    p.component = q.component;
                } else if (q.component == kNone) {
                    q.component = p.component;
                } else if (p.component != q.component) {
                    uint16_t from = q.component;
                    for (Pair &x : pairs)
                        if (x.component == from)
                            x.component = p.component;
                }
            }
        uint16_t lone = kLoneFirst;
        for (Pair &p : pairs)
            if (p.component == kNone)
                p.component = lone--;
        std::stable_sort(pairs.begin(), pairs.end(),
                         [](const Pair &x, const Pair &y) { return x.component > y.component; });
    }

    static void Swap(Pair &p) { std::swap(p.a, p.b); }

    // The driving side of a component (pairs [from, to)): puts its pair
    // first in join order with the driving item as side A.
    void ChooseFirst(size_t from, size_t to)
    {
        size_t best = kNoItem, pairAt = kNoItem;
        bool bestIsB = false;
        uint32_t bestCost = 0;
        for (size_t k = from; k < to; ++k)
            for (int side = 0; side < 2; ++side) {
                size_t i = side == 0 ? pairs[k].a : pairs[k].b;
                if (i == kNoItem || joinIndex[i] || cost[i] <= bestCost)
                    continue;
                best = i;
                bestCost = cost[i];
                pairAt = k;
                bestIsB = side == 1;
            }
        if (best == kNoItem) {
            bool all = true;
            for (size_t k = from; k < to; ++k)
                for (size_t i : {pairs[k].a, pairs[k].b})
                    all = all && (i == kNoItem || joinIndex[i]);
            if (all)
                for (size_t k = from; k < to; ++k) {
                    size_t a = pairs[k].a, b = pairs[k].b;
                    bool bIndexed = b != kNoItem && joinIndex[b];
                    // A is passed over when B has no join index while A has
                    // one; B is taken only when it has one (or neither has).
                    if (!(bIndexed == false && joinIndex[a]) &&
                        (best == kNoItem || cost[a] < bestCost)) {
                        best = a;
                        bestCost = cost[a];
                        pairAt = k;
                        bestIsB = false;
                    }
                    if (b != kNoItem && (bIndexed || !joinIndex[a]) &&
                        (best == kNoItem || cost[b] < bestCost)) {
                        best = b;
                        bestCost = cost[b];
                        pairAt = k;
                        bestIsB = true;
                    }
                }
        }
        if (pairAt == kNoItem)
            pairAt = from;
        if (bestIsB)
            Swap(pairs[pairAt]);
        pairs[pairAt].order = 1;
    }

    // Join order of the other pairs of a component, after its first.
    void OrderRest(size_t from, size_t to, std::vector<bool> *joined)
    {
        for (size_t k = from; k < to; ++k)
            if (pairs[k].order != kNone) {
                (*joined)[pairs[k].a] = true;
                if (pairs[k].b != kNoItem)
                    (*joined)[pairs[k].b] = true;
            }
        uint16_t order = 2;
        for (;;) {
            size_t pick = kNoItem, pickNew = kNoItem;
            for (size_t k = from; k < to; ++k) {
                Pair &p = pairs[k];
                if (p.order != kNone || p.dropped || p.b == kNoItem)
                    continue;
                bool ja = (*joined)[p.a], jb = (*joined)[p.b];
                if (!ja && !jb)
                    continue;
                if (ja && jb) {
                    p.dropped = true; // its conditions stay where they are placed
                    continue;
                }
                size_t fresh = ja ? p.b : p.a;
                bool better = false;
                if (pick == kNoItem)
                    better = true;
                else if (joinIndex[fresh] != joinIndex[pickNew])
                    better = joinIndex[fresh];
                else
                    better = joinIndex[fresh] ? cost[fresh] < cost[pickNew]
                                              : cost[fresh] > cost[pickNew];
                if (better) {
                    pick = k;
                    pickNew = fresh;
                }
            }
            if (pick == kNoItem)
                return;
            (*joined)[pickNew] = true;
            pairs[pick].order = order++;
        }
    }

    PlanNode *Join(PlanNode *outer, PlanNode *inner)
    {
        PlanNode *j = rcPlnNewNode(stmt, PLN_JOIN);
        if (j == nullptr)
            return nullptr;
        j->subtype = PLN_JOIN_INNER;
        j->block = outer->block;
        j->first = outer;
        j->second = inner;
        outer->parent = j;
        inner->parent = j;
        return j;
    }
};

} // namespace

int16_t rcJnTableCost(rcPlnStmt *stmt, PlanNode *table, const std::vector<const rcParseNode *> &own,
                      bool push)
{
    if (table->rowsAsked)
        return 0;
    table->rowsAsked = true;
    table->tableRows = rcOptTableRows(stmt, table->table);
    table->rows = rcOptEstimateRows(stmt, table->table, table->tableRows, own);
    if (!push || own.empty() || stmt->filterMask == 0 ||
        (stmt->engineOptions & PLN_OPT_NOFILTOPT) != 0 || stmt->session == nullptr)
        return 0;
    // Two references sharing one cursor would share its filter (the final
    // push-down leaves them out too).
    for (PlanNode *o : stmt->tables)
        if (o != table && o->table->handle == table->table->handle)
            return 0;
    if (stmt->pushDown == nullptr) {
        stmt->pushDown = new (std::nothrow) rcPlnPushDown;
        if (stmt->pushDown == nullptr)
            return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    }
    try {
        if (rcFltPushDownTable(stmt, own, table) != 0)
            return PLN_ERROR;
    } catch (const std::bad_alloc &) {
        return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    }
    for (const rcPlnPushedTable &t : stmt->pushDown->tables)
        if (t.table == table)
            table->pushedFilter = t.partial ? 1 : 2;
    return 0;
}

int16_t rcJnBuildTree(rcPlnStmt *stmt, const std::vector<PlanNode *> &items,
                      const std::vector<const rcParseNode *> &conds, const rcTblEntry *orderTable,
                      PlanNode **top)
{
    *top = nullptr;
    Orderer o{stmt, items, conds, {}, {}, {}, {}, {}};
    o.tables.resize(items.size());
    for (size_t i = 0; i < items.size(); ++i)
        rcJnTablesUnder(items[i], &o.tables[i]);
    o.MakePairs();
    if (o.Price() != 0)
        return PLN_ERROR;

    // An item whose index gives the wanted order drives its pair, which
    // comes last and so outermost, unless it has an index of its own for
    // few rows, or it would be reached through its join index from an item
    // without one.
    uint16_t next = 1;
    size_t forced = kNoItem;
    for (size_t i = 0; i < items.size() && orderTable != nullptr; ++i) {
        PlanNode *n = items[i];
        if (n->kind != PLN_TABLE || n->table != orderTable)
            continue;
        bool ownIndex = rcOptIndexUse(stmt, n->table, o.Own(i), {}) > 0;
        if (ownIndex && n->rows <= kOrderIndexRows)
            continue;
        for (Pair &p : o.pairs) {
            if ((p.a != i && p.b != i) || p.b == kNoItem)
                continue;
            size_t other = p.a == i ? p.b : p.a;
            if (o.joinIndex[i] && !o.joinIndex[other])
                continue;
            if (p.b == i)
                Orderer::Swap(p);
            p.component = 1;
            p.order = 0;
            next = 2;
            forced = i;
            break;
        }
    }
    o.Components(next);

    std::vector<bool> joined(items.size(), false);
    PlanNode *tree = nullptr;
    for (size_t from = 0; from < o.pairs.size();) {
        size_t to = from;
        while (to < o.pairs.size() && o.pairs[to].component == o.pairs[from].component)
            ++to;
        bool isForced = forced != kNoItem && o.pairs[from].component == 1;
        if (!isForced)
            o.ChooseFirst(from, to);
        o.OrderRest(from, to, &joined);
        std::stable_sort(o.pairs.begin() + static_cast<std::ptrdiff_t>(from),
                         o.pairs.begin() + static_cast<std::ptrdiff_t>(to),
                         [](const Pair &x, const Pair &y) { return x.order < y.order; });
        // The component's own tree, in join order.
        PlanNode *ctree = nullptr;
        bool several = false;
        std::vector<bool> in(items.size(), false);
        for (size_t k = from; k < to; ++k) {
            const Pair &p = o.pairs[k];
            if (p.order == kNone)
                continue;
            for (size_t i : {p.a, p.b}) {
                if (i == kNoItem || in[i])
                    continue;
                in[i] = true;
                if (ctree == nullptr) {
                    ctree = items[i];
                    continue;
                }
                ctree = o.Join(ctree, items[i]);
                several = true;
                if (ctree == nullptr)
                    return PLN_ERROR;
            }
        }
        if (ctree == nullptr) {
            from = to;
            continue;
        }
        if (tree == nullptr)
            tree = ctree;
        else
            tree = several ? o.Join(ctree, tree) : o.Join(tree, ctree);
        if (tree == nullptr)
            return PLN_ERROR;
        from = to;
    }
    *top = tree;
    return 0;
}
