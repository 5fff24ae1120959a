#include "driver/frontend/fe_viewmerge.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "driver/core/rcmsgid.h"
#include "driver/core/rcstrings.h"
#include "driver/frontend/fe_view.h"

namespace {

// Thrown when the arena is full; turned into 5136 at the merge's edge.
struct NoMemory {};
// Thrown with a message already chosen; posted at the merge's edge.
struct MergeError {
    uint32_t msgId;
    std::string text;
};

rcParseNode *Node(rcVwMergeCtx &c, uint16_t id, rcParseNode *child)
{
    rcParseNode *n = rcPrsNewNode(c.arena, id, child);
    if (n == nullptr)
        throw NoMemory{};
    return n;
}

rcParseNode *Leaf(rcVwMergeCtx &c, uint16_t id, const char *text)
{
    rcParseNode *n = rcPrsNewNameNode(c.arena, id, text);
    if (n == nullptr)
        throw NoMemory{};
    return n;
}

// Links the nodes as siblings; answers the first.
rcParseNode *Chain(std::initializer_list<rcParseNode *> nodes)
{
    rcParseNode *first = nullptr;
    rcParseNode *last = nullptr;
    for (rcParseNode *n : nodes) {
        if (n == nullptr)
            continue;
        n->next = nullptr;
        if (last != nullptr)
            last->next = n;
        else
            first = n;
        last = n;
    }
    return first;
}

std::vector<rcParseNode *> Children(const rcParseNode *n)
{
    std::vector<rcParseNode *> out;
    for (rcParseNode *c = n->child; c != nullptr; c = c->next)
        out.push_back(c);
    return out;
}

void SetChildren(rcParseNode *n, const std::vector<rcParseNode *> &kids)
{
    n->child = nullptr;
    rcParseNode *last = nullptr;
    for (rcParseNode *k : kids) {
        k->next = nullptr;
        if (last != nullptr)
            last->next = k;
        else
            n->child = k;
        last = k;
    }
}

rcParseNode *ChildOf(const rcParseNode *n, uint16_t id)
{
    for (rcParseNode *c = n != nullptr ? n->child : nullptr; c != nullptr; c = c->next)
        if (c->id == id)
            return c;
    return nullptr;
}

// Replaces old (in its parent's child list) by the nodes given.
void Splice(rcParseNode *old, const std::vector<rcParseNode *> &with)
{
    rcParseNode *parent = rcPrsParentOf(old);
    if (parent == nullptr)
        throw MergeError{RC_ENG_VIEW_COALESCE_ERROR, ""};
    std::vector<rcParseNode *> kids;
    for (rcParseNode *k : Children(parent)) {
        if (k == old)
            kids.insert(kids.end(), with.begin(), with.end());
        else
            kids.push_back(k);
    }
    SetChildren(parent, kids);
}

// A copy of one node and its subtree, without its siblings.
rcParseNode *rcVwCopySubtree(rcVwMergeCtx &c, rcParseNode *n)
{
    rcParseNode *next = n->next;
    n->next = nullptr;
    rcParseNode *copy = nullptr;
    int ok = rcPrsCopyTree(c.arena, &copy, n);
    n->next = next;
    if (ok == 0 || copy == nullptr)
        throw NoMemory{};
    return copy;
}

void Relink(rcVwMergeCtx &c) { rcPrsLinkTree(c.root); }

bool NameEq(const char *a, const char *b, bool caseSensitive)
{
    return rcVwNameEqual(a, b, caseSensitive);
}

struct Parts {
    rcParseNode *select = nullptr;
    rcParseNode *allDistinct = nullptr;
    rcParseNode *selectList = nullptr;
    rcParseNode *from = nullptr;
    rcParseNode *tableRefList = nullptr;
    rcParseNode *where = nullptr;
    rcParseNode *groupBy = nullptr;
    rcParseNode *having = nullptr;
};

Parts PartsOf(rcParseNode *block)
{
    Parts p;
    for (rcParseNode *c = block->child; c != nullptr; c = c->next) {
        switch (c->id) {
        case RC_T_SELECT: p.select = c; break;
        case RC_N_AllDistinct_Opt: p.allDistinct = c; break;
        case RC_N_SelectList: p.selectList = c; break;
        case RC_T_FROM: p.from = c; break;
        case RC_N_TableRefList: p.tableRefList = c; break;
        case RC_N_WhereSearchCond_Opt: p.where = c; break;
        case RC_N_GroupBy_Opt: p.groupBy = c; break;
        case RC_N_Having_Opt: p.having = c; break;
        default: break;
        }
    }
    if (p.select == nullptr || p.selectList == nullptr || p.from == nullptr ||
        p.tableRefList == nullptr)
        throw MergeError{RC_ENG_VIEW_COALESCE_ERROR, ""};
    return p;
}

void Rebuild(rcParseNode *block, const Parts &p)
{
    std::vector<rcParseNode *> kids;
    for (rcParseNode *n : {p.select, p.allDistinct, p.selectList, p.from, p.tableRefList, p.where,
                           p.groupBy, p.having})
        if (n != nullptr)
            kids.push_back(n);
    SetChildren(block, kids);
}

bool HasDistinct(const Parts &p)
{
    return p.allDistinct != nullptr && ChildOf(p.allDistinct, RC_T_DISTINCT) != nullptr;
}

// GROUP BY, HAVING, DISTINCT or a set function of the block itself (not of
// its subqueries).
bool IsGrouped(const Parts &p)
{
    if (p.groupBy != nullptr || p.having != nullptr || HasDistinct(p))
        return true;
    for (rcParseNode *part : {p.selectList, p.having})
        if (part != nullptr && !rcVwCollect(part, RC_N_SetFunctionRef, RC_N_SubQuery).empty())
            return true;
    return false;
}

bool HasSetFunctions(const Parts &p)
{
    for (rcParseNode *part : {p.selectList, p.having})
        if (part != nullptr && !rcVwCollect(part, RC_N_SetFunctionRef, RC_N_SubQuery).empty())
            return true;
    return false;
}

// The qualifier and column name of a ColName.
const char *ColQualifier(const rcParseNode *colName)
{
    const rcParseNode *q = ChildOf(colName, RC_N_TabNameOrCorName);
    if (q == nullptr)
        return "";
    const char *text = "";
    for (const rcParseNode *c = q->child; c != nullptr; c = c->next)
        if (c->text[0] != '\0')
            text = c->text;
    return text;
}

const char *ColNameText(const rcParseNode *colName)
{
    const rcParseNode *id = ChildOf(colName, RC_N_ColId);
    if (id == nullptr)
        return "";
    return id->child != nullptr ? id->child->text : id->text;
}

// qualifier "." ColId: the ColName's children rebuilt.
void rcVwQualifyColumn(rcVwMergeCtx &c, rcParseNode *colName, const char *qualifier)
{
    rcParseNode *colId = ChildOf(colName, RC_N_ColId);
    if (colId == nullptr)
        throw MergeError{RC_ENG_VIEW_COALESCE_ERROR, ""};
    rcParseNode *q = Node(c, RC_N_TabNameOrCorName, Leaf(c, RC_T_IDENTIFIER, qualifier));
    SetChildren(colName, {q, Leaf(c, '.', "."), colId});
}

// Expression(Primary(ColName(...))) with the name qualified or not.
rcParseNode *ColumnExpression(rcVwMergeCtx &c, const char *qualifier, const char *name)
{
    rcParseNode *colId = Node(c, RC_N_ColId, Leaf(c, RC_T_IDENTIFIER, name));
    rcParseNode *colName;
    if (qualifier != nullptr && qualifier[0] != '\0')
        colName = Node(c, RC_N_ColName,
                       Chain({Node(c, RC_N_TabNameOrCorName, Leaf(c, RC_T_IDENTIFIER, qualifier)),
                              Leaf(c, '.', "."), colId}));
    else
        colName = Node(c, RC_N_ColName, colId);
    return Node(c, RC_N_Expression, Node(c, RC_N_Primary, colName));
}

rcParseNode *rcVwMakeColumnItem(rcVwMergeCtx &c, const char *qualifier, const char *name)
{
    return Node(c, RC_N_SelSubListItem, ColumnExpression(c, qualifier, name));
}

// The table reference's correlation name becomes name (its old one goes).
void rcVwMakeCorName(rcVwMergeCtx &c, rcParseNode *tableRef, const char *name)
{
    rcParseNode *table = ChildOf(tableRef, RC_N_TableName);
    rcParseNode *cor =
        Node(c, RC_N_CorName_Opt, Node(c, RC_N_CorName, Leaf(c, RC_T_IDENTIFIER, name)));
    SetChildren(tableRef, {table, cor});
}

// ColAlias_Opt over the name, to stand after an item's expression.
rcParseNode *rcVwMakeAlias(rcVwMergeCtx &c, const char *name)
{
    return Node(c, RC_N_ColAlias_Opt, Leaf(c, RC_T_IDENTIFIER, name));
}

// SearchCond(BooleanPrimary( "(" cond ")" )) over a SearchCond.
rcParseNode *rcVwMakeParenCond(rcVwMergeCtx &c, rcParseNode *cond)
{
    return Node(c, RC_N_SearchCond,
                Node(c, RC_N_BooleanPrimary, Chain({Leaf(c, '(', "("), cond, Leaf(c, ')', ")")})));
}

// ( a ) AND ( b ), wrapped as a whole condition.
rcParseNode *rcVwAndConditions(rcVwMergeCtx &c, rcParseNode *a, rcParseNode *b)
{
    return Node(
        c, RC_N_SearchCond,
        Chain({rcVwMakeParenCond(c, a), Leaf(c, RC_T_AND, "AND"), rcVwMakeParenCond(c, b)}));
}

rcParseNode *CondOf(rcParseNode *clause)
{
    return clause != nullptr ? ChildOf(clause, RC_N_SearchCond) : nullptr;
}

// The Expression that holds nothing but the column reference, or none.
rcParseNode *HolderExpression(rcParseNode *colName)
{
    rcParseNode *primary = rcPrsParentOf(colName);
    if (primary == nullptr || primary->id != RC_N_Primary || primary->child != colName ||
        colName->next != nullptr)
        return nullptr;
    rcParseNode *expr = rcPrsParentOf(primary);
    if (expr == nullptr || expr->id != RC_N_Expression || expr->child != primary ||
        primary->next != nullptr)
        return nullptr;
    return expr;
}

// True when an Expression needs no parentheses wherever it is put: a bare
// column, literal, parameter or function call.
bool IsPrimaryOnly(const rcParseNode *expr)
{
    return expr->child != nullptr && expr->child->id == RC_N_Primary &&
           expr->child->next == nullptr;
}

std::string ViewTableName(uint16_t counter, size_t position)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "View%uTab%zu", unsigned(counter), position);
    return buf;
}

struct TableEntry {
    rcParseNode *tableRef;
    rcParseNode *block; // the view block the table belongs to
    std::string qualifier;
    std::string newName;
};

// The view's select items: the Expression of each item, after "*" and "t.*"
// were written out from the stored columns.
std::vector<rcParseNode *> ViewItems(rcVwMergeCtx &c, const rcVwMergeView &v, const Parts &vp,
                                     const std::vector<TableEntry> &mainTables)
{
    auto columnsOf = [&](const char *qualifier) {
        if (mainTables.size() != 1)
            throw MergeError{RC_ENG_VIEW_COALESCE_ERROR, ""};
        std::vector<rcParseNode *> items;
        for (const rcViewColumn &col : v.columns)
            items.push_back(rcVwMakeColumnItem(c, qualifier, col.name));
        return items;
    };
    std::vector<rcParseNode *> items;
    rcParseNode *first = vp.selectList->child;
    if (first != nullptr && first->id == '*') {
        items = columnsOf(mainTables.empty() ? "" : mainTables[0].qualifier.c_str());
    } else {
        rcParseNode *list = ChildOf(vp.selectList, RC_N_SelSubList);
        if (list == nullptr)
            throw MergeError{RC_ENG_VIEW_COALESCE_ERROR, ""};
        for (rcParseNode *item = list->child; item != nullptr; item = item->next) {
            if (item->id != RC_N_SelSubListItem)
                continue;
            if (item->child != nullptr && item->child->id == RC_N_TabNameOrCorName) {
                std::vector<rcParseNode *> more = columnsOf(ColQualifier(item));
                items.insert(items.end(), more.begin(), more.end());
            } else {
                items.push_back(item);
            }
        }
    }
    if (items.size() != v.columns.size())
        throw MergeError{RC_ENG_VIEW_COALESCE_ERROR, ""};
    // Put the written-out list in place, so that the view's column references
    // are requalified with the rest.
    std::vector<rcParseNode *> withCommas;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            withCommas.push_back(Leaf(c, ',', ","));
        withCommas.push_back(items[i]);
    }
    SetChildren(vp.selectList, {Node(c, RC_N_SelSubList, nullptr)});
    SetChildren(vp.selectList->child, withCommas);
    std::vector<rcParseNode *> exprs;
    for (rcParseNode *item : items)
        exprs.push_back(item->child);
    return exprs;
}

// Rewrites every column reference of the view with its table's new name.
void rcVwRequalifyView(rcVwMergeCtx &c, rcParseNode *viewBlock,
                       const std::vector<TableEntry> &tables)
{
    std::vector<std::pair<rcParseNode *, const TableEntry *>> rewrites;
    size_t mainCount = 0;
    const TableEntry *onlyMain = nullptr;
    for (const TableEntry &t : tables)
        if (t.block == viewBlock) {
            ++mainCount;
            onlyMain = &t;
        }
    for (rcParseNode *col : rcVwCollect(viewBlock, RC_N_ColName)) {
        const char *q = ColQualifier(col);
        rcParseNode *blk = rcVwEnclosingBlock(col);
        const TableEntry *target = nullptr;
        if (q[0] != '\0') {
            for (rcParseNode *b = blk; b != nullptr && target == nullptr;
                 b = b == viewBlock ? nullptr : rcVwEnclosingBlock(rcPrsParentOf(b)))
                for (const TableEntry &t : tables)
                    if (t.block == b && NameEq(t.qualifier.c_str(), q, c.tableCase)) {
                        target = &t;
                        break;
                    }
            if (target == nullptr)
                throw MergeError{RC_ENG_VIEW_COALESCE_ERROR, ""};
        } else if (blk == viewBlock && mainCount == 1) {
            target = onlyMain;
        }
        if (target != nullptr)
            rewrites.emplace_back(col, target);
    }
    for (auto &[col, t] : rewrites)
        rcVwQualifyColumn(c, col, t->newName.c_str());
    // Each table is known by its new name from now on.
    for (const TableEntry &t : tables) {
        rcVwMakeCorName(c, t.tableRef, t.newName.c_str());
        t.tableRef->attr2 = kRcVwMergedMark;
    }
}

// "*" and "v.*" of the outer block written out as the view's columns.
void rcVwExpandStar(rcVwMergeCtx &c, const Parts &op, rcParseNode *viewRef,
                    const char *viewQualifier, const rcVwMergeView &v)
{
    auto viewItems = [&](std::vector<rcParseNode *> &out) {
        for (const rcViewColumn &col : v.columns) {
            if (!out.empty())
                out.push_back(Leaf(c, ',', ","));
            out.push_back(rcVwMakeColumnItem(c, viewQualifier, col.name));
        }
    };
    rcParseNode *first = op.selectList->child;
    if (first != nullptr && first->id == '*') {
        std::vector<rcParseNode *> items;
        for (rcParseNode *ref : rcVwFromTableRefs(rcPrsParentOf(op.selectList))) {
            if (ref == viewRef) {
                viewItems(items);
                continue;
            }
            const char *name = rcVwCorNameText(ref);
            if (name[0] == '\0')
                name = rcVwTableNameText(ChildOf(ref, RC_N_TableName));
            if (!items.empty())
                items.push_back(Leaf(c, ',', ","));
            items.push_back(
                Node(c, RC_N_SelSubListItem,
                     Chain({Node(c, RC_N_TabNameOrCorName, Leaf(c, RC_T_IDENTIFIER, name)),
                            Leaf(c, '.', "."), Leaf(c, '*', "*")})));
        }
        rcParseNode *list = Node(c, RC_N_SelSubList, nullptr);
        SetChildren(list, items);
        SetChildren(op.selectList, {list});
        return;
    }
    rcParseNode *list = ChildOf(op.selectList, RC_N_SelSubList);
    if (list == nullptr)
        return;
    std::vector<rcParseNode *> kids;
    for (rcParseNode *item : Children(list)) {
        if (item->id == RC_N_SelSubListItem && item->child != nullptr &&
            item->child->id == RC_N_TabNameOrCorName &&
            NameEq(ColQualifier(item), viewQualifier, c.tableCase)) {
            std::vector<rcParseNode *> expanded;
            viewItems(expanded);
            kids.insert(kids.end(), expanded.begin(), expanded.end());
        } else {
            kids.push_back(item);
        }
    }
    SetChildren(list, kids);
}

// Every reference of the outer block to a view column becomes the view's
// expression for it.
void rcVwSubstituteColumns(rcVwMergeCtx &c, rcParseNode *block, const char *viewQualifier,
                           const rcVwMergeView &v, const std::vector<rcParseNode *> &viewExprs)
{
    std::vector<rcParseNode *> refs = rcVwCollect(block, RC_N_ColName);
    // The ORDER BY of a query stands beside its block, outside every block.
    rcParseNode *orderBy = nullptr;
    if (c.root != nullptr && c.root->id == RC_N_FullSelectStmt && c.root->child == block &&
        c.root->next != nullptr && c.root->next->id == RC_N_OrderBy_Opt)
        orderBy = c.root->next;
    for (rcParseNode *col : rcVwCollect(orderBy, RC_N_ColName))
        refs.push_back(col);
    for (rcParseNode *col : refs) {
        const char *q = ColQualifier(col);
        rcParseNode *scope = rcVwEnclosingBlock(col);
        bool refers = q[0] != '\0' ? NameEq(q, viewQualifier, c.tableCase)
                                   : (scope == block || scope == nullptr);
        if (!refers)
            continue;
        const char *name = ColNameText(col);
        size_t at = v.columns.size();
        for (size_t i = 0; i < v.columns.size(); ++i)
            if (NameEq(v.columns[i].name, name, c.columnCase)) {
                at = i;
                break;
            }
        if (at == v.columns.size())
            continue;
        rcParseNode *expr = viewExprs[at];
        if (rcParseNode *holder = HolderExpression(col)) {
            rcParseNode *copy = rcVwCopySubtree(c, expr);
            if (!IsPrimaryOnly(copy))
                copy = Node(
                    c, RC_N_Expression,
                    Node(c, RC_N_Primary, Chain({Leaf(c, '(', "("), copy, Leaf(c, ')', ")")})));
            rcParseNode *parent = rcPrsParentOf(holder);
            std::vector<rcParseNode *> with{copy};
            // A select-list item keeps the name the outer statement used.
            if (parent != nullptr && parent->id == RC_N_SelSubListItem && holder->next == nullptr)
                with.push_back(rcVwMakeAlias(c, name));
            Splice(holder, with);
        } else {
            rcParseNode *bare = rcPrsChainedChild(expr);
            if (bare == nullptr)
                throw MergeError{RC_ENG_VIEW_COALESCE_ERROR, ""};
            Splice(col, {rcVwCopySubtree(c, bare)});
        }
        Relink(c);
    }
}

} // namespace

bool rcVwIsBlock(const rcParseNode *node)
{
    return node != nullptr && (node->id == RC_N_SubSelectStmt || node->id == RC_N_QuerySpec);
}

rcParseNode *rcVwEnclosingBlock(rcParseNode *node)
{
    for (rcParseNode *n = rcPrsParentOf(node); n != nullptr; n = rcPrsParentOf(n))
        if (rcVwIsBlock(n))
            return n;
    return nullptr;
}

const char *rcVwTableNameText(const rcParseNode *tableName)
{
    const char *text = "";
    for (const rcParseNode *c = tableName != nullptr ? tableName->child : nullptr; c != nullptr;
         c = c->next)
        if (c->id == RC_T_IDENTIFIER)
            text = c->text;
    return text;
}

const char *rcVwCorNameText(const rcParseNode *tableRef)
{
    const rcParseNode *opt = ChildOf(tableRef, RC_N_CorName_Opt);
    const rcParseNode *cor = ChildOf(opt, RC_N_CorName);
    return cor != nullptr && cor->child != nullptr ? cor->child->text : "";
}

std::vector<rcParseNode *> rcVwCollect(rcParseNode *node, uint16_t id, uint16_t stopId)
{
    std::vector<rcParseNode *> out;
    if (node == nullptr)
        return out;
    std::vector<rcParseNode *> work{node};
    work.reserve(32);
    while (!work.empty()) {
        rcParseNode *n = work.back();
        work.pop_back();
        if (n->id == id)
            out.push_back(n);
        if (stopId != 0 && n->id == stopId && n != node)
            continue;
        // The children go on the stack last first, so that the first is
        // visited next (the walk is in tree order, with no list per node).
        const size_t from = work.size();
        for (rcParseNode *c = n->child; c != nullptr; c = c->next)
            work.push_back(c);
        std::reverse(work.begin() + static_cast<std::ptrdiff_t>(from), work.end());
    }
    return out;
}

std::vector<rcParseNode *> rcVwFromTableRefs(rcParseNode *block)
{
    std::vector<rcParseNode *> out;
    rcParseNode *list = ChildOf(block, RC_N_TableRefList);
    if (list == nullptr)
        return out;
    for (rcParseNode *n : rcVwCollect(list, RC_N_TableRef, RC_N_SubQuery))
        out.push_back(n);
    return out;
}

int rcVwMerge(rcVwMergeCtx &c, rcParseNode *block, rcParseNode *tableRef, const rcVwMergeView &v)
{
    try {
        Parts op = PartsOf(block);
        if (v.tree == nullptr || v.tree->id != RC_N_SubSelectStmt)
            throw MergeError{RC_ENG_VIEW_COALESCE_ERROR, ""};
        Parts vp = PartsOf(v.tree);
        std::string viewQualifier = rcVwCorNameText(tableRef);
        if (viewQualifier.empty())
            viewQualifier = v.name;
        bool outerMany = rcVwFromTableRefs(block).size() > 1;
        bool outerGrouped = IsGrouped(op);
        bool viewGrouped = IsGrouped(vp);
        // Refusals come before the first change to the tree.
        if (viewGrouped && (outerMany || outerGrouped))
            throw MergeError{RC_ENG_GROUPED_VIEW_ACCESS_VIOLATION, ""};
        if (viewGrouped && vp.groupBy == nullptr && HasSetFunctions(vp) && op.where != nullptr)
            throw MergeError{RC_MSG_SYNTAX_ERROR,
                             rcUtlLoadString(RC_PARSE_SET_FUNCTIONS_NOT_ALLOWED_WHERE)};

        // The view's tables, numbered in the order they are met.
        std::vector<TableEntry> tables;
        std::vector<TableEntry> mainTables;
        size_t position = 0;
        for (rcParseNode *ref : rcVwCollect(v.tree, RC_N_TableRef)) {
            TableEntry t;
            t.tableRef = ref;
            t.block = rcVwEnclosingBlock(ref);
            t.qualifier = rcVwCorNameText(ref);
            if (t.qualifier.empty())
                t.qualifier = rcVwTableNameText(ChildOf(ref, RC_N_TableName));
            t.newName = ViewTableName(v.counter, ++position);
            tables.push_back(t);
            if (t.block == v.tree)
                mainTables.push_back(t);
        }
        std::vector<rcParseNode *> viewExprs = ViewItems(c, v, vp, mainTables);
        rcPrsLinkTree(v.tree);
        rcVwRequalifyView(c, v.tree, tables);
        rcPrsLinkTree(v.tree);

        rcVwExpandStar(c, op, tableRef, viewQualifier.c_str(), v);
        Relink(c);
        rcVwSubstituteColumns(c, block, viewQualifier.c_str(), v, viewExprs);

        // The view's FROM list takes the place of the view.
        Splice(tableRef, Children(vp.tableRefList));
        Relink(c);

        rcParseNode *outerCond = CondOf(op.where);
        if (viewGrouped) {
            // Over a GROUP BY the outer condition tests the view's groups and
            // joins its HAVING. Without one the view has no groups (under an
            // outer WHERE it is a DISTINCT view: set functions there were
            // refused above); the condition names only selected values, so
            // it filters the rows before their duplicates go and stays a
            // WHERE.
            rcParseNode *viewHaving = CondOf(vp.having);
            rcParseNode *groupCond = vp.groupBy != nullptr ? outerCond : nullptr;
            rcParseNode *having = nullptr;
            if (viewHaving != nullptr && groupCond != nullptr)
                having = rcVwAndConditions(c, viewHaving, groupCond);
            else
                having = groupCond != nullptr ? groupCond : viewHaving;
            op.having = having != nullptr ? Node(c, RC_N_Having_Opt,
                                                 Chain({Leaf(c, RC_T_HAVING, "HAVING"), having}))
                                          : nullptr;
            op.groupBy = vp.groupBy;
            if (groupCond != nullptr) {
                op.where = nullptr;
                outerCond = nullptr;
            }
            if (HasDistinct(vp))
                op.allDistinct = Node(c, RC_N_AllDistinct_Opt, Leaf(c, RC_T_DISTINCT, "DISTINCT"));
        }
        rcParseNode *viewCond = CondOf(vp.where);
        if (viewCond != nullptr) {
            rcParseNode *cond =
                outerCond != nullptr ? rcVwAndConditions(c, outerCond, viewCond) : viewCond;
            op.where =
                Node(c, RC_N_WhereSearchCond_Opt, Chain({Leaf(c, RC_T_WHERE, "WHERE"), cond}));
        }
        Rebuild(block, op);
        Relink(c);
        return 0;
    } catch (const NoMemory &) {
        rcErrPost(rcVwErrors(c.stmt), RC_MSG_MEMORY_ALLOCATION_ERROR, nullptr, 0, nullptr);
    } catch (const MergeError &e) {
        rcErrPost(rcVwErrors(c.stmt), e.msgId, nullptr, 0,
                  e.text.empty() ? nullptr : e.text.c_str());
    }
    Relink(c);
    return -1;
}

int rcVwOrderByPositions(rcVwMergeCtx &c)
{
    rcParseNode *root = c.root;
    if (root == nullptr || root->id != RC_N_FullSelectStmt || root->next == nullptr ||
        root->next->id != RC_N_OrderBy_Opt || !rcVwIsBlock(root->child))
        return 0;
    Parts p;
    try {
        p = PartsOf(root->child);
    } catch (const MergeError &) {
        return 0;
    }
    rcParseNode *list = ChildOf(p.selectList, RC_N_SelSubList);
    if (list == nullptr)
        return 0;
    std::vector<rcParseNode *> items;
    for (rcParseNode *item = list->child; item != nullptr; item = item->next)
        if (item->id == RC_N_SelSubListItem)
            items.push_back(item->child);
    try {
        for (rcParseNode *spec : rcVwCollect(root->next, RC_N_SortSpec)) {
            rcParseNode *expr = spec->child;
            if (expr == nullptr || expr->id != RC_N_Expression)
                continue;
            for (size_t i = 0; i < items.size(); ++i) {
                if (items[i] == nullptr || items[i]->id != RC_N_Expression ||
                    !rcPrsTreeEqual(items[i]->child, expr->child))
                    continue;
                std::string pos = std::to_string(i + 1);
                rcParseNode *number =
                    Node(c, RC_N_Expression,
                         Node(c, RC_N_Primary,
                              Node(c, RC_N_Literal,
                                   Node(c, RC_N_NumericLiteral,
                                        Node(c, RC_N_ExactNumLit,
                                             Leaf(c, RC_T_USINT_LIT, pos.c_str()))))));
                Splice(expr, {number});
                Relink(c);
                break;
            }
        }
    } catch (const NoMemory &) {
        rcErrPost(rcVwErrors(c.stmt), RC_MSG_MEMORY_ALLOCATION_ERROR, nullptr, 0, nullptr);
        return -1;
    } catch (const MergeError &e) {
        rcErrPost(rcVwErrors(c.stmt), e.msgId, nullptr, 0, nullptr);
        return -1;
    }
    return 0;
}
