// Plan building: a checked query tree -> QueryPlan and plan nodes.
//
// Steps: the FROM list becomes table nodes, joined in the order the join
// optimiser chooses (rcJnBuildTree, rcplnhash.h; a LEFT OUTER JOIN keeps
// its own subtree with the ON condition filtering its inner side); each
// WHERE conjunct that reads one table whose rows are never NULL-extended
// filters right above that table, one that reads several tables of the
// block right above the lowest join that holds them all, any other above
// the FROM tree; each join is given its method (nested loop or hash join,
// rcPlnHashChoose); each index that serves a table's conditions, or reads
// the inner table of a nested loop per outer row, gives that table an
// index range; then GROUP BY (a sorted "GRP_TT", the group node, the
// set functions and the group result) or the aggregate of an ungrouped query
// with set functions, HAVING, DISTINCT (a sorted "DST_TT" with the duplicate
// filter) and ORDER BY (a sorted "ORD_TT"). Finally every temporary table
// gets its columns: its sort keys, every base column the query reads and the
// set functions below it (see rcPlnColumn in rcpln.h). A query with UNION
// goes to rcUnBuildPlan (rcplnunion.h), which plans each SELECT block here
// as a block of its own (rcPlnBuildBranch).
#include "driver/engine/plan/rcpln.h"

#include <algorithm>
#include <cstring>

#include "driver/core/rccnv.h"
#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/rcengopt.h"
#include "driver/engine/plan/rcplnhash.h"
#include "driver/engine/plan/rcplngroup.h"
#include "driver/engine/plan/rcplnhooks.h"
#include "driver/engine/plan/rcplnjoinutil.h"
#include "driver/engine/plan/rcplnpush.h"
#include "driver/engine/plan/rcplnretr.h"
#include "driver/engine/plan/rcplnsub.h"
#include "driver/engine/plan/rcplntree.h"
#include "driver/engine/plan/rcplnunion.h"

namespace {

struct Builder {
    Builder(rcPlnStmt *s, QueryPlan *p) : stmt(s), plan(p) {}
    rcPlnStmt *stmt;
    QueryPlan *plan;
    std::vector<const rcParseNode *> residual;
    uint16_t blockId = 0;
    bool branch = false;                       // a SELECT block of a UNION
    std::vector<const rcTblEntry *> enclosing; // tables of the enclosing blocks
    std::vector<PlanNode *> myTables;
    std::vector<const rcParseNode *> items;
    std::vector<PlanNode *> setFns;

    int16_t Fail(uint32_t msg) { return static_cast<int16_t>(rcErrRaise(stmt->errors, msg)); }

    PlanNode *NewTable(const rcParseNode *tableRef)
    {
        const rcParseNode *name = rcPlnChild(tableRef, RC_N_TableName);
        auto *entry = name != nullptr ? static_cast<rcTblEntry *>(name->sem) : nullptr;
        if (entry == nullptr || entry->handle == nullptr) {
            rcErrRaise(stmt->errors, RC_MSG_GENERAL_ERROR);
            return nullptr;
        }
        PlanNode *n = rcPlnNewNode(stmt, PLN_TABLE);
        if (n == nullptr)
            return nullptr;
        n->table = entry;
        n->access = PLN_ACCESS_SCAN;
        n->block = blockId;
        stmt->tables.push_back(n);
        myTables.push_back(n);
        return n;
    }

    // A filter node over child for cond; the node becomes the subtree's top.
    PlanNode *Filter(PlanNode *child, const rcParseNode *cond)
    {
        PlanNode *r = rcPlnNewNode(stmt, PLN_RESTRICT);
        if (r == nullptr)
            return nullptr;
        r->subtype = PLN_RESTRICT_FILTER;
        r->cond = cond;
        if (rcFltCompile(&stmt->env, cond, &r->filter) < 0)
            return nullptr;
        r->first = child;
        child->parent = r;
        return r;
    }

    PlanNode *Join(PlanNode *outer, PlanNode *inner, uint8_t subtype)
    {
        PlanNode *j = rcPlnNewNode(stmt, PLN_JOIN);
        if (j == nullptr)
            return nullptr;
        j->subtype = subtype;
        j->first = outer;
        j->second = inner;
        outer->parent = j;
        inner->parent = j;
        return j;
    }

    // LeftOuterJoin(left LEFT OUTER JOIN TableRef ON SearchCond). Tables of
    // inner sides are listed in nullable.
    PlanNode *FromItem(const rcParseNode *item, std::vector<rcTblEntry *> *nullable)
    {
        if (item->id == RC_N_TableRef)
            return NewTable(item);
        if (item->id != RC_N_LeftOuterJoin) {
            rcPlnNotCapable(stmt, "This FROM item is not supported.");
            return nullptr;
        }
        const rcParseNode *left = item->child;
        const rcParseNode *right = nullptr;
        const rcParseNode *on = nullptr;
        for (const rcParseNode *k = left != nullptr ? left->next : nullptr; k != nullptr;
             k = k->next) {
            if (k->id == RC_N_TableRef)
                right = k;
            else if (k->id == RC_N_SearchCond)
                on = k;
        }
        if (left == nullptr || right == nullptr || on == nullptr) {
            rcErrRaise(stmt->errors, RC_MSG_GENERAL_ERROR);
            return nullptr;
        }
        PlanNode *outer = FromItem(left, nullable);
        PlanNode *inner = outer != nullptr ? NewTable(right) : nullptr;
        if (inner == nullptr)
            return nullptr;
        nullable->push_back(inner->table);
        inner = Filter(inner, on);
        return inner != nullptr ? Join(outer, inner, PLN_JOIN_OUTER) : nullptr;
    }

    // Splits an AND tree into its conjuncts.
    void Conjuncts(const rcParseNode *cond, std::vector<const rcParseNode *> *out)
    {
        const rcParseNode *a = cond->child;
        if (a != nullptr && a->id == RC_N_SearchCond && a->next != nullptr &&
            a->next->id == RC_T_AND && a->next->next != nullptr) {
            Conjuncts(a, out);
            Conjuncts(a->next->next, out);
            return;
        }
        // ( SearchCond ) alone
        if (a != nullptr && a->id == RC_N_BooleanPrimary && a->next == nullptr &&
            a->child != nullptr && a->child->id == '(' && a->child->next != nullptr &&
            a->child->next->id == RC_N_SearchCond) {
            Conjuncts(a->child->next, out);
            return;
        }
        out->push_back(cond);
    }

    // Every node of a subtree, subqueries included.
    template <typename Fn>
    static void FullWalk(const rcParseNode *n, Fn &&fn)
    {
        for (; n != nullptr; n = nullptr) {
            fn(n);
            for (const rcParseNode *k = n->child; k != nullptr; k = k->next)
                FullWalk(k, fn);
        }
    }

    // The one table a condition reads, or none (several or no tables).
    rcTblEntry *SingleTable(const rcParseNode *cond, bool *several)
    {
        rcTblEntry *one = nullptr;
        *several = false;
        rcPlnWalkTree(cond, [&](const rcParseNode *n) {
            if (n->id != RC_N_ColName || n->sem == nullptr)
                return true;
            rcTblEntry *t = static_cast<const rcTblColumn *>(n->sem)->owner;
            if (one != nullptr && t != one)
                *several = true;
            one = t;
            return true;
        });
        return *several ? nullptr : one;
    }

    PlanNode *TableNodeOf(const rcTblEntry *entry)
    {
        for (PlanNode *t : myTables)
            if (t->table == entry)
                return t;
        return nullptr;
    }

    // The lowest join holding every table a condition reads, when they are
    // two or more tables of this block; none otherwise.
    PlanNode *LowestJoin(const rcParseNode *cond)
    {
        std::vector<const rcTblEntry *> reads;
        bool sub = false;
        rcJnTablesOf(cond, &reads, &sub);
        if (sub || reads.size() < 2)
            return nullptr;
        for (const rcTblEntry *t : reads)
            if (TableNodeOf(t) == nullptr)
                return nullptr;
        for (PlanNode *n = TableNodeOf(reads.front())->parent; n != nullptr; n = n->parent) {
            if (n->kind != PLN_JOIN)
                continue;
            std::vector<const rcTblEntry *> under;
            TablesUnder(n, &under);
            bool all = true;
            for (const rcTblEntry *t : reads)
                all = all && rcJnHas(under, t);
            if (all)
                return n;
        }
        return nullptr;
    }

    PlanNode *NewTemp(const char *name)
    {
        PlanNode *t = rcPlnNewNode(stmt, PLN_TEMPTABLE);
        if (t == nullptr)
            return nullptr;
        t->subtype = 2;
        std::memcpy(t->name, name, 7);
        t->tempNumber = ++stmt->tempCounter;
        stmt->temps.push_back(t);
        return t;
    }

    bool Above(PlanNode *node, PlanNode **top)
    {
        node->first = *top;
        (*top)->parent = node;
        *top = node;
        return true;
    }

    // A key column of a temporary table: the value of an expression.
    bool AddKey(std::vector<rcPlnTempColumn> *cols, const rcParseNode *expr, bool desc)
    {
        rcPlnTempColumn c{};
        c.kind = PLN_TTCOL_KEY;
        c.descending = desc;
        c.expr = expr;
        if (rcExpCompile(&stmt->env, expr, &c.slot, 0) < 0)
            return false;
        c.sqlType = rcExpSlotType(&stmt->env, c.slot);
        c.length = static_cast<int32_t>(rcExpSlotLength(&stmt->env, c.slot));
        c.precScale = (static_cast<uint32_t>(rcExpSlotPrecision(&stmt->env, c.slot)) << 16) |
                      rcExpSlotScale(&stmt->env, c.slot);
        bool text =
            c.sqlType == SQL_CHAR || c.sqlType == SQL_VARCHAR || c.sqlType == SQL_LONGVARCHAR;
        uint32_t length = c.length > 0 ? static_cast<uint32_t>(c.length) : 0;
        if (text && length > PLN_KEY_PIECE) {
            uint32_t kept = length < PLN_KEY_MAX_VALUE ? length : PLN_KEY_MAX_VALUE;
            c.pieces = static_cast<uint16_t>((kept - 1) / PLN_KEY_PIECE);
        }
        cols->push_back(c);
        for (uint16_t k = 1; k <= c.pieces; ++k) {
            rcPlnTempColumn piece = c;
            piece.pieces = 0;
            piece.part = k;
            piece.length = static_cast<int32_t>(RC_TMP_MAX_VALUE);
            cols->push_back(piece);
        }
        return true;
    }

    // A grouping or duplicate removal that needs no sort of its rows: the
    // node with its column list (keys, every base column of the block, the
    // set functions), or none with NoHashOpt or for rows it cannot keep
    // (long values, kept through bookmarks). 0, or -1 after posting.
    int16_t HashGrouping(const std::vector<rcPlnTempColumn> &keys,
                         const std::vector<PlanNode *> &kept, PlanNode **out)
    {
        *out = nullptr;
        if ((stmt->engineOptions & PLN_OPT_NOHASHOPT) != 0)
            return 0;
        PlanNode *g = rcPlnNewNode(stmt, PLN_HASHGROUP);
        if (g == nullptr || !SetColumns(g, keys, kept))
            return PLN_ERROR;
        if (!rcGrpHashable(g))
            return 0;
        g->block = blockId;
        stmt->temps.push_back(g);
        *out = g;
        return 0;
    }

    // Two key expressions that give the same value for every row: the same
    // column, or the same operators over the same operands.
    static bool SameExpr(const rcParseNode *a, const rcParseNode *b)
    {
        if (a == b)
            return true;
        if (a == nullptr || b == nullptr || a->id != b->id || a->id == RC_N_SubQuery ||
            a->id == RC_N_DynamicParm)
            return false;
        if (a->id == RC_N_ColName)
            return a->sem != nullptr && a->sem == b->sem;
        if (std::strcmp(a->text, b->text) != 0 || a->attr != b->attr)
            return false;
        const rcParseNode *x = a->child, *y = b->child;
        for (; x != nullptr && y != nullptr; x = x->next, y = y->next)
            if (!SameExpr(x, y))
                return false;
        return x == nullptr && y == nullptr;
    }

    // The rows that come out of node (a grouping or duplicate removal) are
    // in the order of the keys: node's leading keys are these.
    static bool OrderedBy(const PlanNode *node, const std::vector<rcPlnTempColumn> &keys)
    {
        if (node == nullptr || keys.empty() || node->keyCount < keys.size())
            return false;
        for (size_t k = 0; k < keys.size(); ++k) {
            const rcPlnTempColumn &have = node->columns[k];
            const rcPlnTempColumn &want = keys[k];
            if (have.kind != PLN_TTCOL_KEY || want.kind != PLN_TTCOL_KEY ||
                have.descending != want.descending || have.part != want.part ||
                have.pieces != want.pieces || !SameExpr(have.expr, want.expr))
                return false;
        }
        return true;
    }

    // The select-list item an ORDER BY ordinal names, or none when the key is
    // not an unsigned integer literal. Out of range posts 11407.
    const rcParseNode *Ordinal(const rcParseNode *expr, bool *bad, bool post = true)
    {
        *bad = false;
        const rcParseNode *n = expr;
        while (n != nullptr && n->child != nullptr && n->child->next == nullptr &&
               (n->id == RC_N_Expression || n->id == RC_N_Primary || n->id == RC_N_Literal ||
                n->id == RC_N_NumericLiteral || n->id == RC_N_ExactNumLit))
            n = n->child;
        if (n == nullptr || n->id != RC_T_USINT_LIT)
            return nullptr;
        unsigned long k = std::strtoul(n->text, nullptr, 10);
        if (k < 1 || k > items.size()) {
            *bad = true;
            if (post)
                rcErrRaise(stmt->errors, RC_ENG_COLUMN_IDENTIFIER_OUT_RANGE);
            return nullptr;
        }
        return items[k - 1];
    }

    // Stores the column list of a temporary table in the plan pool.
    bool SetColumns(PlanNode *t, const std::vector<rcPlnTempColumn> &keys,
                    const std::vector<PlanNode *> &below)
    {
        std::vector<rcPlnTempColumn> cols = keys;
        t->keyCount = static_cast<uint16_t>(keys.size());
        std::vector<PlanNode *> longTables;
        // Over the one row of an ungrouped aggregate no table stands on a
        // row (none at all when no row qualified): the row is its set
        // functions.
        bool aggregateRow = plan->aggregate != nullptr;
        for (rcPlnColumn *col : stmt->columns) {
            // An outer reference is the same for every row here.
            if (col->block != blockId || aggregateRow)
                continue;
            bool isLong =
                col->ref.sqlType == SQL_LONGVARCHAR || col->ref.sqlType == SQL_LONGVARBINARY;
            if (isLong && rcPlnKeepsLongValues(t)) {
                cols.push_back(rcPlnLongColumn(col));
                continue;
            }
            if (isLong) {
                // Long values stay in their table; the row keeps its bookmark.
                if (std::find(longTables.begin(), longTables.end(), col->tableNode) ==
                    longTables.end())
                    longTables.push_back(col->tableNode);
                continue;
            }
            rcPlnTempColumn c{};
            c.kind = PLN_TTCOL_COLUMN;
            c.column = col;
            c.sqlType = col->ref.sqlType;
            c.length = static_cast<int32_t>(col->ref.length);
            c.precScale = (static_cast<uint32_t>(col->ref.precision) << 16) | col->ref.scale;
            cols.push_back(c);
        }
        for (PlanNode *table : longTables) {
            rcPlnTempColumn c{};
            c.kind = PLN_TTCOL_BOOKMARK;
            c.table = table;
            c.sqlType = SQL_BINARY;
            c.length = static_cast<int32_t>(PLN_BOOKMARK_MAX);
            cols.push_back(c);
        }
        for (PlanNode *sf : below) {
            rcPlnTempColumn c{};
            c.kind = PLN_TTCOL_SETFN;
            c.setFunction = sf;
            c.sqlType = sf->acc->resultType;
            c.length = static_cast<int32_t>(sf->acc->resultLength);
            c.precScale = (static_cast<uint32_t>(sf->acc->precision) << 16) |
                          static_cast<uint16_t>(sf->acc->scale);
            cols.push_back(c);
        }
        void *p = rcMemPoolAlloc(stmt->pool, sizeof(rcPlnTempColumn) * (cols.size() + 1));
        if (p == nullptr)
            return Fail(RC_MSG_MEMORY_ALLOCATION_ERROR), false;
        t->columns = static_cast<rcPlnTempColumn *>(p);
        for (size_t k = 0; k < cols.size(); ++k) {
            rcPlnTempColumn &c = t->columns[k];
            c = cols[k];
            bool text = c.sqlType == SQL_CHAR || c.sqlType == SQL_VARCHAR ||
                        c.sqlType == SQL_LONGVARCHAR || c.sqlType == SQL_BINARY ||
                        c.sqlType == SQL_VARBINARY || c.sqlType == SQL_LONGVARBINARY;
            uint32_t len = c.length > 0 ? static_cast<uint32_t>(c.length) : 1;
            c.bufferSize = text ? (len > RC_TMP_MAX_VALUE ? RC_TMP_MAX_VALUE : len) + 1 : 48;
            if (c.pieces > 0) // the whole key value, its pieces read from here
                c.bufferSize = (len < PLN_KEY_MAX_VALUE ? len : PLN_KEY_MAX_VALUE) + 1;
            if (c.kind == PLN_TTCOL_LONG)
                c.bufferSize = PLN_LONG_BUFFER;
            if (text && c.length > static_cast<int32_t>(RC_TMP_MAX_VALUE))
                c.length = static_cast<int32_t>(RC_TMP_MAX_VALUE);
            c.buffer = static_cast<char *>(rcMemPoolAlloc(stmt->pool, c.bufferSize));
            if (c.buffer == nullptr)
                return Fail(RC_MSG_MEMORY_ALLOCATION_ERROR), false;
        }
        t->columnCount = static_cast<uint16_t>(cols.size());
        return true;
    }

    // The tables of a subtree.
    static void TablesUnder(PlanNode *node, std::vector<const rcTblEntry *> *out)
    {
        rcPlnVisit(out, node, [](void *ctx, uint8_t kind, PlanNode *n) {
            if (kind == PLN_TABLE)
                static_cast<std::vector<const rcTblEntry *> *>(ctx)->push_back(n->table);
            return 1;
        });
    }

    // Key lists that an index may answer.
    enum { kKeysOrderBy, kKeysGroupBy, kKeysDistinct };

    // ORDER BY (or GROUP BY, or DISTINCT) answered by an index: every
    // key ascending and a plain column of the table that drives the
    // outermost loop, the keys a prefix of an ascending index of that table,
    // and the table not read through another index nor through a list of
    // keys. The table is then read in key order (its range, or the whole
    // index) and nested loops keep that order.
    // With force false the table is only tested: true when it is read in
    // that order anyway (through that index for its own restrictions).
    bool OrderByIndex(const rcParseNode *keys, PlanNode *top, int mode = kKeysOrderBy,
                      bool force = true)
    {
        // A hash join may give its rows partition by partition.
        if ((stmt->engineOptions & PLN_OPT_NOINDEXES) != 0 || rcPlnHashOnDrivingPath(top))
            return false;
        PlanNode *driver = top;
        while (driver != nullptr && driver->kind != PLN_TABLE)
            driver = driver->first;
        std::vector<const rcTblColumn *> cols;
        const rcPlnIndex *ix = driver != nullptr ? OrderIndex(keys, &cols, mode) : nullptr;
        if (ix == nullptr || cols.front()->owner != driver->table)
            return false;
        // A key list reads its keys' ranges in the order of the list, not
        // in key order: the rows go through the sort.
        if (driver->access == PLN_ACCESS_INDEX)
            return driver->index == ix && driver->keyListCount == 0;
        if (!force)
            return false;
        driver->access = PLN_ACCESS_INDEX;
        driver->index = ix;
        driver->keyKind = 0;
        return true;
    }

    // The ascending index whose leading keys are the ORDER BY keys (or the
    // GROUP BY list, or the select list of DISTINCT: keys is unused), when
    // every key is an ascending plain column of one table (cols: the keys).
    // Only keys whose order is exact (numbers, dates, times) are taken: the
    // server's order of text values is its own (the emulator's sorts fold
    // case but not accents), so an index would order texts otherwise than
    // the driver's collation, and need not keep together texts that the
    // driver finds equal (case, trailing blanks). Text keys are sorted by
    // the driver, whatever the plan.
    const rcPlnIndex *OrderIndex(const rcParseNode *keys, std::vector<const rcTblColumn *> *out,
                                 int mode = kKeysOrderBy)
    {
        bool group = mode != kKeysOrderBy;
        std::vector<const rcTblColumn *> &cols = *out;
        auto add = [&](const rcParseNode *n) {
            while (n != nullptr && n->child != nullptr && n->child->next == nullptr &&
                   (n->id == RC_N_Expression || n->id == RC_N_Primary))
                n = n->child;
            if (n == nullptr || n->id != RC_N_ColName || n->sem == nullptr)
                return false;
            const auto *c = static_cast<const rcTblColumn *>(n->sem);
            if ((!cols.empty() && c->owner != cols.front()->owner) ||
                rcCnvIsCharType(c->type.sqlType))
                return false;
            cols.push_back(c);
            return true;
        };
        if (mode == kKeysDistinct)
            for (const rcParseNode *e : items)
                if (!add(e))
                    return nullptr;
        const rcParseNode *list =
            mode == kKeysDistinct
                ? nullptr
                : rcPlnChild(keys, group ? RC_N_ExpressionList : RC_N_SortSpecList);
        for (const rcParseNode *s = list != nullptr ? list->child : nullptr; s != nullptr;
             s = s->next) {
            if (group) {
                if (s->id == RC_N_Expression && !add(s))
                    return nullptr;
                continue;
            }
            if (s->id != RC_N_SortSpec)
                continue;
            const rcParseNode *dir = rcPlnChild(s, RC_N_ASCDESC_Opt);
            if (dir != nullptr && dir->child != nullptr && dir->child->id == RC_T_DESC)
                return nullptr;
            bool bad = false;
            const rcParseNode *e = rcPlnChild(s, RC_N_Expression);
            const rcParseNode *item = Ordinal(e, &bad, false);
            if (bad)
                return nullptr; // reported when the sort is planned
            if (!add(item != nullptr ? item : e))
                return nullptr;
        }
        const rcPlnIndexList *indexes = nullptr;
        if (cols.empty() || rcIdxGetInfo(stmt, cols.front()->owner, &indexes) != 0)
            return nullptr;
        for (const rcPlnIndex &ix : indexes->indexes) {
            if (ix.orderKind != 2 || ix.keys.size() < cols.size())
                continue;
            bool match = true;
            for (size_t k = 0; k < cols.size(); ++k)
                match = match && ix.keys[k].column == cols[k];
            if (match)
                return &ix;
        }
        return nullptr;
    }

    // An index range for every table that a filter above it, or the join
    // that reads it as inner input, can use.
    int16_t ChooseIndexes()
    {
        if ((stmt->engineOptions & PLN_OPT_NOINDEXES) != 0)
            return 0;
        for (PlanNode *t : myTables) {
            // The data module's search reads a table whose filter it took.
            if (t->pushedFilter == 2)
                continue;
            std::vector<const rcParseNode *> conds;
            PlanNode *n = t;
            while (n->parent != nullptr && n->parent->kind == PLN_RESTRICT) {
                n = n->parent;
                Conjuncts(n->cond, &conds);
            }
            std::vector<const rcTblEntry *> outer = enclosing;
            PlanNode *join = n->parent;
            // The inner table of a nested loop may be searched with values
            // of the outer row (the join conditions right above the join);
            // a hash join reads it once, and the data module's search reads
            // a table whose filter it took.
            if (join != nullptr && join->kind == PLN_JOIN && join->second == n &&
                join->hashJoin == nullptr && t->pushedFilter == 0) {
                TablesUnder(join->first, &outer);
                if (join->subtype == PLN_JOIN_INNER) {
                    for (PlanNode *f = join->parent; f != nullptr && f->kind == PLN_RESTRICT;
                         f = f->parent)
                        Conjuncts(f->cond, &conds);
                    conds.insert(conds.end(), residual.begin(), residual.end());
                }
            }
            if (rcOptChooseIndex(stmt, t, conds, outer) != 0)
                return PLN_ERROR;
        }
        return 0;
    }

    // The row source of an UPDATE or DELETE: its one table with the WHERE
    // conjuncts filtering right above it (an index range where one serves
    // them). No result columns.
    int16_t RunChange(const rcParseNode *root)
    {
        PlanNode *top = NewTable(root);
        if (top == nullptr)
            return PLN_ERROR;
        bool ok = rcPlnWalkTree(root, [&](const rcParseNode *n) {
            return n->id != RC_N_ColName || rcPlnColumnOf(stmt, n) != nullptr;
        });
        if (!ok)
            return PLN_ERROR;
        const rcParseNode *where = rcPlnChild(root, RC_N_WhereSearchCond_Opt);
        std::vector<const rcParseNode *> parts;
        if (where != nullptr && rcPlnChild(where, RC_N_SearchCond) != nullptr)
            Conjuncts(rcPlnChild(where, RC_N_SearchCond), &parts);
        for (const rcParseNode *c : parts) {
            top = Filter(top, c);
            if (top == nullptr)
                return PLN_ERROR;
        }
        if (ChooseIndexes() != 0)
            return PLN_ERROR;
        plan->root = top;
        top->parent = nullptr;
        return 0;
    }

    int16_t Run(const rcParseNode *root)
    {
        if (root->id == RC_N_UpdateStmt || root->id == RC_N_DeleteStmt)
            return RunChange(root);
        if (root->id == RC_N_InsertStmt) {
            // INSERT ... SELECT reads its rows from the query's plan; an
            // INSERT of one row of values has no row source.
            const rcParseNode *spec =
                rcPlnChild(rcPlnChild(root, RC_N_QuerySpecOrValList), RC_N_QuerySpec);
            return spec != nullptr ? Run(spec) : 0;
        }
        const rcParseNode *block = root;
        if (root->id == RC_N_FullSelectStmt && !branch)
            block = root->child;
        if (block == nullptr || (block->id != RC_N_SubSelectStmt && block->id != RC_N_QuerySpec) ||
            (block->id == RC_N_SubSelectStmt && block->next != nullptr && !branch))
            return Fail(RC_MSG_GENERAL_ERROR);
        const rcParseNode *orderBy =
            root->next != nullptr && root->next->id == RC_N_OrderBy_Opt && !branch ? root->next
                                                                                   : nullptr;

        const rcParseNode *distinct = rcPlnChild(block, RC_N_AllDistinct_Opt);
        bool isDistinct = distinct != nullptr && distinct->child != nullptr &&
                          distinct->child->id == RC_T_DISTINCT;
        const rcParseNode *selectList = rcPlnChild(block, RC_N_SelectList);
        const rcParseNode *from = rcPlnChild(block, RC_N_TableRefList);
        const rcParseNode *where = rcPlnChild(block, RC_N_WhereSearchCond_Opt);
        const rcParseNode *groupBy = rcPlnChild(block, RC_N_GroupBy_Opt);
        const rcParseNode *having = rcPlnChild(block, RC_N_Having_Opt);
        const rcParseNode *subList = rcPlnChild(selectList, RC_N_SelSubList);
        // The front end expands * of the outermost blocks only; what is left
        // is the * of an EXISTS subquery, whose rows count and columns do not.
        bool star = subList == nullptr && selectList != nullptr && selectList->child != nullptr &&
                    selectList->child->id == '*';
        if ((subList == nullptr && !star) || from == nullptr)
            return Fail(RC_MSG_GENERAL_ERROR);
        for (const rcParseNode *k = star ? nullptr : subList->child; k != nullptr; k = k->next)
            if (k->id == RC_N_SelSubListItem) {
                const rcParseNode *e = rcPlnChild(k, RC_N_Expression);
                if (e == nullptr)
                    return Fail(RC_MSG_GENERAL_ERROR);
                items.push_back(e);
            }

        // FROM items (tables and LEFT OUTER JOIN subtrees).
        std::vector<rcTblEntry *> nullable;
        std::vector<PlanNode *> fromItems;
        for (const rcParseNode *k = from->child; k != nullptr; k = k->next) {
            if (k->id != RC_N_TableRef && k->id != RC_N_LeftOuterJoin)
                continue;
            PlanNode *item = FromItem(k, &nullable);
            if (item == nullptr)
                return PLN_ERROR;
            fromItems.push_back(item);
        }
        if (fromItems.empty())
            return Fail(RC_MSG_GENERAL_ERROR);
        std::vector<const rcParseNode *> parts;
        if (where != nullptr && rcPlnChild(where, RC_N_SearchCond) != nullptr)
            Conjuncts(rcPlnChild(where, RC_N_SearchCond), &parts);
        PlanNode *top = nullptr;
        if ((stmt->engineOptions & PLN_OPT_NOJOINOPT) == 0 && fromItems.size() > 1) {
            // The table whose index could give the ORDER BY's order.
            const rcTblEntry *orderTable = nullptr;
            bool setFunction = false;
            for (const rcParseNode *t : {selectList, having, orderBy})
                FullWalk(t, [&](const rcParseNode *x) {
                    setFunction = setFunction || x->id == RC_N_SetFunctionRef;
                });
            std::vector<const rcTblColumn *> cols;
            if ((stmt->engineOptions & PLN_OPT_NOINDEXES) == 0 &&
                (groupBy != nullptr ? OrderIndex(groupBy, &cols, kKeysGroupBy) != nullptr
                 : isDistinct
                     ? OrderIndex(nullptr, &cols, kKeysDistinct) != nullptr
                     : orderBy != nullptr && !setFunction && OrderIndex(orderBy, &cols) != nullptr))
                orderTable = cols.front()->owner;
            if (rcJnBuildTree(stmt, fromItems, parts, orderTable, &top) != 0)
                return PLN_ERROR;
        } else {
            for (PlanNode *item : fromItems) {
                top = top == nullptr ? item : Join(top, item, PLN_JOIN_INNER);
                if (top == nullptr)
                    return PLN_ERROR;
            }
        }

        // Every column the query reads (ON conditions included).
        bool ok = rcPlnWalkTree(block, [&](const rcParseNode *n) {
            return n->id != RC_N_ColName || rcPlnColumnOf(stmt, n) != nullptr;
        });
        if (ok && orderBy != nullptr)
            ok = rcPlnWalkTree(orderBy, [&](const rcParseNode *n) {
                return n->id != RC_N_ColName || rcPlnColumnOf(stmt, n) != nullptr;
            });
        if (!ok)
            return PLN_ERROR;

        // WHERE: a conjunct over one table filters right above it, unless
        // the table's rows may be NULL-extended by an outer join; one over
        // several tables of this block right above the lowest join that
        // holds them all (a WHERE condition holds after every join below it,
        // the outer joins' NULL rows included).
        for (const rcParseNode *c : parts) {
            bool several = false;
            rcTblEntry *t = SingleTable(c, &several);
            bool sub = false;
            FullWalk(c, [&](const rcParseNode *x) { sub = sub || x->id == RC_N_SubQuery; });
            if (sub)
                t = nullptr; // its subquery may read any table of the block
            bool null = false;
            for (rcTblEntry *n : nullable)
                null = null || n == t;
            PlanNode *tn = t != nullptr && !null ? TableNodeOf(t) : nullptr;
            if (tn == nullptr && !sub)
                tn = LowestJoin(c);
            if (tn == nullptr) {
                residual.push_back(c);
                continue;
            }
            PlanNode *parent = tn->parent;
            PlanNode **link =
                parent == nullptr ? &top : (parent->first == tn ? &parent->first : &parent->second);
            PlanNode *f = Filter(tn, c);
            if (f == nullptr)
                return PLN_ERROR;
            *link = f;
            f->parent = parent;
        }
        for (const rcParseNode *c : residual) {
            top = Filter(top, c);
            if (top == nullptr)
                return PLN_ERROR;
        }
        if (!residual.empty())
            plan->residual = residual.front();

        if (rcPlnHashChoose(stmt, top, enclosing) != 0)
            return PLN_ERROR;
        if (ChooseIndexes() != 0)
            return PLN_ERROR;

        // Set functions of the select list, HAVING and ORDER BY.
        auto collect = [&](const rcParseNode *tree) {
            return rcPlnWalkTree(tree, [&](const rcParseNode *n) {
                return n->id != RC_N_SetFunctionRef || rcPlnSetFunctionOf(stmt, n) != nullptr;
            });
        };
        size_t known = stmt->setFunctions.size();
        if (!collect(selectList) || !collect(having) || !collect(orderBy))
            return PLN_ERROR;
        setFns.assign(stmt->setFunctions.begin() + static_cast<std::ptrdiff_t>(known),
                      stmt->setFunctions.end());
        // The nodes whose keys order the rows that come out of them.
        PlanNode *groupOrder = nullptr;
        PlanNode *distinctOrder = nullptr;
        if (groupBy != nullptr) {
            plan->flags |= PLN_PLAN_GROUPED;
            const rcParseNode *list = rcPlnChild(groupBy, RC_N_ExpressionList);
            std::vector<rcPlnTempColumn> keys;
            for (const rcParseNode *e = list != nullptr ? list->child : nullptr; e != nullptr;
                 e = e->next)
                if (e->id == RC_N_Expression && !AddKey(&keys, e, false))
                    return PLN_ERROR;
            PlanNode *g = nullptr;
            if (HashGrouping(keys, setFns, &g) != 0)
                return PLN_ERROR;
            if (g != nullptr) {
                // Rows read through an index on the grouping columns (for
                // their restrictions) arrive grouped: they stream.
                uint8_t method =
                    OrderByIndex(groupBy, top, kKeysGroupBy, false) ? RC_GRP_STREAM : RC_GRP_HASH;
                if (!rcGrpSetup(stmt, g, method, false, setFns))
                    return PLN_ERROR;
                Above(g, &top);
                plan->groupBy = g;
                plan->firstTemp = g;
                groupOrder = g;
            } else {
                PlanNode *tt = NewTemp("GRP_TT");
                if (tt == nullptr || !SetColumns(tt, keys, {}))
                    return PLN_ERROR;
                // Rows read in the order of an index on the grouping columns
                // arrive grouped: the table keeps them without sorting.
                tt->presorted = OrderByIndex(groupBy, top, kKeysGroupBy);
                Above(tt, &top);
                PlanNode *group = rcPlnNewNode(stmt, PLN_GROUP);
                if (group == nullptr)
                    return PLN_ERROR;
                group->sorted = tt;
                Above(group, &top);
                for (auto it = setFns.rbegin(); it != setFns.rend(); ++it)
                    Above(*it, &top);
                PlanNode *result = rcPlnNewNode(stmt, PLN_GROUPRESULT);
                if (result == nullptr)
                    return PLN_ERROR;
                Above(result, &top);
                plan->groupBy = result;
                plan->firstTemp = tt;
                groupOrder = tt;
            }
        } else if (!setFns.empty()) {
            PlanNode *agg = rcPlnNewNode(stmt, PLN_AGGREGATE);
            if (agg == nullptr)
                return PLN_ERROR;
            agg->oneRow = true;
            PlanNode *chain = top;
            for (auto it = setFns.rbegin(); it != setFns.rend(); ++it)
                Above(*it, &chain);
            agg->first = chain;
            chain->parent = agg;
            top = agg;
            plan->aggregate = agg;
        }
        if (having != nullptr) {
            const rcParseNode *cond = rcPlnChild(having, RC_N_SearchCond);
            top = cond != nullptr ? Filter(top, cond) : top;
            if (top == nullptr)
                return PLN_ERROR;
        }

        if (isDistinct) {
            std::vector<rcPlnTempColumn> keys;
            for (const rcParseNode *e : items)
                if (!AddKey(&keys, e, false))
                    return PLN_ERROR;
            PlanNode *g = nullptr;
            // Groups on these very keys are distinct already.
            bool grouped = groupOrder != nullptr && groupOrder->keyCount == keys.size() &&
                           OrderedBy(groupOrder, keys);
            if (!grouped && HashGrouping(keys, setFns, &g) != 0)
                return PLN_ERROR;
            if (grouped) {
                distinctOrder = groupOrder;
            } else if (g != nullptr) {
                // Rows in the order of an index on the selected columns
                // arrive with their duplicates together: they stream.
                bool ordered = groupBy == nullptr && setFns.empty() &&
                               OrderByIndex(nullptr, top, kKeysDistinct, false);
                if (!rcGrpSetup(stmt, g, ordered ? RC_GRP_STREAM : RC_GRP_HASH, true, {}))
                    return PLN_ERROR;
                Above(g, &top);
                plan->distinct = g;
                distinctOrder = g;
            } else {
                PlanNode *tt = NewTemp("DST_TT");
                if (tt == nullptr || !SetColumns(tt, keys, setFns))
                    return PLN_ERROR;
                // Rows read in the order of an index on the selected columns
                // arrive with their duplicates together: no sort. (Not over
                // groups, whose rows come from the group table.)
                tt->presorted = groupBy == nullptr && setFns.empty() &&
                                OrderByIndex(nullptr, top, kKeysDistinct);
                Above(tt, &top);
                PlanNode *d = rcPlnNewNode(stmt, PLN_DISTINCT);
                if (d == nullptr)
                    return PLN_ERROR;
                d->sorted = tt;
                Above(d, &top);
                plan->distinct = d;
                distinctOrder = tt;
            }
            if (plan->firstTemp == nullptr)
                plan->firstTemp = distinctOrder;
        }

        if (orderBy != nullptr && isDistinct == false && groupBy == nullptr && setFns.empty() &&
            OrderByIndex(orderBy, top)) {
            orderBy = nullptr; // the driving table is read in key order
        }
        if (orderBy != nullptr) {
            const rcParseNode *list = rcPlnChild(orderBy, RC_N_SortSpecList);
            std::vector<rcPlnTempColumn> keys;
            for (const rcParseNode *s = list != nullptr ? list->child : nullptr; s != nullptr;
                 s = s->next) {
                if (s->id != RC_N_SortSpec)
                    continue;
                const rcParseNode *e = rcPlnChild(s, RC_N_Expression);
                const rcParseNode *dir = rcPlnChild(s, RC_N_ASCDESC_Opt);
                bool desc = dir != nullptr && dir->child != nullptr && dir->child->id == RC_T_DESC;
                bool bad = false;
                const rcParseNode *item = Ordinal(e, &bad);
                if (bad || e == nullptr || !AddKey(&keys, item != nullptr ? item : e, desc))
                    return PLN_ERROR;
            }
            // The rows come in that order from the duplicate removal or the
            // grouping below already: one sort does.
            if (!OrderedBy(distinctOrder != nullptr ? distinctOrder : groupOrder, keys)) {
                PlanNode *tt = NewTemp("ORD_TT");
                if (tt == nullptr || !SetColumns(tt, keys, setFns))
                    return PLN_ERROR;
                Above(tt, &top);
                plan->orderBy = tt;
                if (plan->firstTemp == nullptr)
                    plan->firstTemp = tt;
            }
        }

        plan->root = top;
        top->parent = nullptr;
        return 0;
    }

    // Plans a block with this builder as the statement's current planner.
    int16_t Plan(const rcParseNode *root)
    {
        void *outerBuilder = stmt->building;
        uint16_t outerBlock = stmt->currentBlock;
        stmt->building = this;
        stmt->currentBlock = blockId;
        int16_t rc = Run(root);
        stmt->building = outerBuilder;
        stmt->currentBlock = outerBlock;
        return rc;
    }
};

} // namespace

int16_t rcPlnBuild(rcPlnStmt *stmt, const rcParseNode *root)
{
    if (root == nullptr)
        return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_GENERAL_ERROR));
    if (stmt->pool == nullptr)
        stmt->pool = rcMemPoolCreate(2000);
    void *p = stmt->pool != nullptr ? rcMemPoolAlloc(stmt->pool, sizeof(QueryPlan)) : nullptr;
    if (p == nullptr)
        return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    stmt->plan = new (p) QueryPlan{};
    stmt->tempCounter = 0;
    stmt->blocks = 0;
    // A UNION: its tree stands alone or under the node that carries ORDER BY.
    const rcParseNode *query = root;
    if (root->id == RC_N_FullSelectStmt && rcPlnChild(root, RC_N_Union_Opt) == nullptr &&
        root->child != nullptr && root->child->id == RC_N_FullSelectStmt)
        query = root->child;
    if (query->id == RC_N_FullSelectStmt && rcPlnChild(query, RC_N_Union_Opt) != nullptr) {
        const rcParseNode *orderBy =
            root->next != nullptr && root->next->id == RC_N_OrderBy_Opt ? root->next : nullptr;
        // Every SELECT block's tables are given their filters, as a query's.
        if (rcUnBuildPlan(stmt, query, orderBy) != 0 || rcSubApplySeeks(stmt) != 0 ||
            rcFltPushDownAll(stmt) != 0)
            return PLN_ERROR;
        return rcPlnSetRetrieveList(stmt);
    }
    Builder b(stmt, stmt->plan);
    if (b.Plan(root) != 0)
        return PLN_ERROR;
    // The result columns.
    stmt->items = b.items;
    for (const rcParseNode *e : stmt->items) {
        rcExpSlot slot = 0;
        if (rcExpCompile(&stmt->env, e, &slot, 0) < 0)
            return PLN_ERROR;
        stmt->results.push_back(slot);
    }
    // What the data module may do itself: MIN and MAX by seeks, subquery
    // seeks, joins, filters.
    rcOptMinMaxByIndex(stmt, root);
    // An UPDATE's filters go down only while the driver-wide switch
    // (engine option 1011) is on.
    bool pushFilters =
        root->id != RC_N_UpdateStmt || rcDrsEngineOption(RC_ENGOPT_PUSHDOWN_UPDATE) != 0;
    if (rcSubApplySeeks(stmt) != 0 || rcJpdPushJoins(stmt, root) != 0 ||
        (pushFilters && rcFltPushDownAll(stmt) != 0))
        return PLN_ERROR;
    // What the plan reads of each table, for the data module's windows.
    return rcPlnSetRetrieveList(stmt);
}

int16_t rcPlnBuildBranch(rcPlnStmt *stmt, const rcParseNode *block, QueryPlan *plan,
                         std::vector<const rcParseNode *> *items)
{
    Builder b(stmt, plan);
    b.blockId = ++stmt->blocks;
    b.branch = true;
    if (b.Plan(block) != 0)
        return PLN_ERROR;
    *items = b.items;
    return 0;
}

namespace {

const rcParseNode *SubqueryIn(const rcParseNode *predicate)
{
    for (const rcParseNode *k = predicate->child; k != nullptr; k = k->next) {
        if (k->id == RC_N_SubQuery)
            return k;
        if (k->id == RC_N_ValueListORSubQuery || k->id == RC_N_ExprOrSubQuery)
            for (const rcParseNode *j = k->child; j != nullptr; j = j->next)
                if (j->id == RC_N_SubQuery)
                    return j;
    }
    return nullptr;
}

} // namespace

PlanNode *rcPlnSubqueryOf(rcPlnStmt *stmt, const rcParseNode *predicate)
{
    for (PlanNode *n : stmt->subqueries)
        if (n->cond == predicate)
            return n;
    auto *outer = static_cast<Builder *>(stmt->building);
    const rcParseNode *sub = SubqueryIn(predicate);
    const rcParseNode *spec = sub != nullptr ? rcPlnChild(sub, RC_N_QuerySpec) : nullptr;
    if (outer == nullptr || spec == nullptr) {
        rcPlnNotCapable(stmt, "This subquery is not supported.");
        return nullptr;
    }
    PlanNode *node = rcPlnNewNode(stmt, PLN_SUBQUERY);
    void *p = node != nullptr ? rcMemPoolAlloc(stmt->pool, sizeof(QueryPlan)) : nullptr;
    if (p == nullptr) {
        if (node != nullptr)
            rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR);
        return nullptr;
    }
    node->cond = predicate;
    node->block = outer->blockId;
    node->subPlan = new (p) QueryPlan{};
    Builder b(stmt, node->subPlan);
    b.blockId = ++stmt->blocks;
    node->subBlock = b.blockId;
    b.enclosing = outer->enclosing;
    for (PlanNode *t : outer->myTables)
        b.enclosing.push_back(t->table);
    if (b.Plan(spec) != 0)
        return nullptr;
    Builder::FullWalk(spec, [&](const rcParseNode *x) {
        if (x->id == RC_N_ColName && x->sem != nullptr)
            for (const rcTblEntry *t : b.enclosing)
                node->correlated =
                    node->correlated || static_cast<const rcTblColumn *>(x->sem)->owner == t;
    });
    // The form and the comparison of the outer value with the subquery's row.
    const rcParseNode *left = predicate->child;
    uint16_t op = RC_T_EQ;
    switch (predicate->id) {
    case RC_N_ExistsPredicate: node->form = 3; break;
    case RC_N_InPredicate:
        node->form = 1;
        node->negated = rcPlnChild(predicate, RC_N_NOT_Opt) != nullptr;
        break;
    case RC_N_QuantifiedPredicate: {
        const rcParseNode *q = rcPlnChild(predicate, RC_N_ALLOrANY);
        node->form = q != nullptr && q->child != nullptr && q->child->id == RC_T_ALL ? 2 : 1;
        const rcParseNode *o = rcPlnChild(predicate, RC_N_CompareOp);
        op = o != nullptr && o->child != nullptr ? o->child->id : 0;
        break;
    }
    case RC_N_ComparePredicate: {
        node->form = 4;
        const rcParseNode *o = rcPlnChild(predicate, RC_N_CompareOp);
        op = o != nullptr && o->child != nullptr ? o->child->id : 0;
        break;
    }
    default: rcPlnNotCapable(stmt, "This subquery predicate is not supported."); return nullptr;
    }
    // An uncorrelated subquery compared with values gives the same rows for
    // every outer row: the executor reads them once per execution and keeps
    // what the comparison needs (rcplnsub.h).
    if (node->form != 3) {
        void *q = rcMemPoolAlloc(stmt->pool, sizeof(rcSubPlanInfo));
        if (q == nullptr) {
            rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR);
            return nullptr;
        }
        rcSubPlanInfo *info = node->subInfo = new (q) rcSubPlanInfo{};
        info->op = op;
        if (b.items.size() != 1 || left == nullptr || left->id != RC_N_Expression || op == 0) {
            rcPlnNotCapable(stmt, "A subquery compared with a value must select one column.");
            return nullptr;
        }
        if (rcExpCompile(&stmt->env, left, &info->outer, 0) < 0 ||
            rcExpCompile(&stmt->env, b.items[0], &info->value, 0) < 0 ||
            (node->correlated &&
             rcFltCompileColumn(&stmt->env, info->outer, info->value, op, &node->compare) < 0) ||
            rcSubStrategy(stmt, node, spec, b.myTables) != 0)
            return nullptr;
    }
    stmt->subqueries.push_back(node);
    return node;
}
