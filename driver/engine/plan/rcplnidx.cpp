// Index information and index choice (see rcpln.h).
//
// The index catalog of a table is read once per connection (its rows are
// kept on the table-access session, tam_tablefacts.h) and made into the
// statement's index entries once per statement: one row per key column, rows
// of one index in key order. Index choice looks at the
// conjuncts that filter one table: a comparison of the index's first key
// column with a value that reads no column of that table (constants, or
// columns of the outer tables of a join), BETWEEN, and LIKE with a literal
// pattern that does not start with a wildcard; on text columns equality and
// LIKE only (see RangeUsable). The best index is the one
// whose first key column has an equality (a unique index first), then a
// closed range, then any bound or prefix. Descending first keys serve
// equality only. The range starts at the lower bound (or at the index's
// first row) and ends by an end test compiled for the upper bound.
#include <cstring>
#include <string>
#include <utility>

#include "driver/core/rccnv.h"
#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/plan/rcpln.h"
#include "driver/engine/plan/rcplnhooks.h"
#include "driver/engine/plan/rcplntree.h"
#include "driver/engine/tam.h"
#include "driver/engine/tam_tablefacts.h"

namespace {

// Columns of the engine's index-catalog record (tam_catalog.cpp): index
// name, flags, position in the key, column number, direction, column name.
enum : uint32_t {
    kWordIndexName = 3,
    kWordIndexFlags = 4,
    kWordColumnNumber = 10,
    kWordDirection = 16,
};
// The row count in the engine's table-information record.
constexpr uint32_t kTableInfoRowCount = 8;
constexpr int32_t kDrmNotImplemented = -1001;
constexpr uint32_t kIdxUnique = 0x1;
constexpr uint32_t kIdxNotOrderable = 0x20;

int16_t PostDrm(rcPlnStmt *stmt, int32_t code)
{
    rcErrPost(stmt->errors, rcErrMapDrm(code), nullptr, code, nullptr);
    return PLN_ERROR;
}

int32_t ReadIndexRow(rcPlnStmt *stmt, const TamInfoRecord &rec, char *name, uint32_t *flags,
                     uint32_t *number, uint32_t *direction)
{
    uint32_t got = 0;
    int32_t rc = TamGetColumn(stmt->session, rec.handle, rec.word[kWordIndexName], name, 65, &got,
                              nullptr, SQL_CHAR);
    name[64] = '\0';
    if (rc >= 0)
        rc = TamGetColumn(stmt->session, rec.handle, rec.word[kWordIndexFlags], flags, 4, &got,
                          nullptr, SQL_INTEGER);
    if (rc >= 0)
        rc = TamGetColumn(stmt->session, rec.handle, rec.word[kWordColumnNumber], number, 4, &got,
                          nullptr, SQL_INTEGER);
    if (rc >= 0 && rec.word[kWordDirection] != 0)
        rc = TamGetColumn(stmt->session, rec.handle, rec.word[kWordDirection], direction, 4, &got,
                          nullptr, SQL_INTEGER);
    return rc < 0 ? rc : 0;
}

// A bare column reference under Expression and Primary wrappers.
const rcTblColumn *BareColumn(const rcParseNode *n)
{
    while (n != nullptr && n->child != nullptr && n->child->next == nullptr &&
           (n->id == RC_N_Expression || n->id == RC_N_Primary || n->id == RC_N_ExprOrSubQuery))
        n = n->child;
    return n != nullptr && n->id == RC_N_ColName ? static_cast<const rcTblColumn *>(n->sem)
                                                 : nullptr;
}

// A value whose columns all belong to outer tables (none at all for a
// constant or a parameter) and that holds no set function.
bool UsableValue(const rcParseNode *expr, const rcTblEntry *table,
                 const std::vector<const rcTblEntry *> &outer, bool *readsOuter)
{
    bool ok = true;
    rcPlnWalkTree(expr, [&](const rcParseNode *n) {
        if (n->id == RC_N_SetFunctionRef || n->id == RC_N_SubQuery) {
            ok = false;
        } else if (n->id == RC_N_ColName) {
            const auto *c = static_cast<const rcTblColumn *>(n->sem);
            bool found = false;
            for (const rcTblEntry *o : outer)
                found = found || (c != nullptr && c->owner == o);
            ok = ok && found && c->owner != table;
            *readsOuter = true;
        }
        return ok;
    });
    return ok;
}

// One usable bound on a column.
struct Bound {
    const rcTblColumn *column;
    uint16_t op; // RC_T_EQ, RC_T_GT, RC_T_GE, RC_T_LT, RC_T_LE, RC_T_LIKE
    const rcParseNode *value;
    std::string prefix; // LIKE
    bool readsOuter;
};

uint16_t Mirror(uint16_t op)
{
    switch (op) {
    case RC_T_GT: return RC_T_LT;
    case RC_T_GE: return RC_T_LE;
    case RC_T_LT: return RC_T_GT;
    case RC_T_LE: return RC_T_GE;
    default: return op;
    }
}

// A bound an index range can follow: equality on any column; a range
// (<, <=, >, >=, BETWEEN) only on a column whose order is exact. The server
// orders text its own way (the emulator folds case but not accents), so a
// range over a text index would start or stop at other rows than the
// driver's collation does; such a comparison stays a filter.
bool RangeUsable(const rcTblColumn *c, uint16_t op)
{
    return op == RC_T_EQ || !rcCnvIsCharType(c->type.sqlType);
}

// The predicate of a conjunct that is a plain predicate (no NOT, no OR).
const rcParseNode *PlainPredicate(const rcParseNode *cond)
{
    const rcParseNode *b = cond->child;
    if (b == nullptr || b->id != RC_N_BooleanPrimary || b->next != nullptr)
        return nullptr;
    const rcParseNode *p = b->child;
    return p != nullptr && p->id == RC_N_Predicate ? p->child : nullptr;
}

void Bounds(const rcParseNode *cond, const rcTblEntry *table,
            const std::vector<const rcTblEntry *> &outer, std::vector<Bound> *out)
{
    const rcParseNode *p = PlainPredicate(cond);
    if (p == nullptr)
        return;
    if (p->id == RC_N_ComparePredicate) {
        const rcParseNode *left = p->child;
        const rcParseNode *op = left != nullptr ? left->next : nullptr;
        const rcParseNode *right = op != nullptr ? op->next : nullptr;
        if (right == nullptr || op->id != RC_N_CompareOp || op->child == nullptr ||
            op->child->id == RC_T_NE)
            return;
        const rcParseNode *rightExpr = rcPlnChild(right, RC_N_Expression);
        if (rightExpr == nullptr)
            return;
        uint16_t o = op->child->id;
        bool readsOuter = false;
        const rcTblColumn *c = BareColumn(left);
        if (c != nullptr && c->owner == table &&
            UsableValue(rightExpr, table, outer, &readsOuter)) {
            if (RangeUsable(c, o))
                out->push_back({c, o, rightExpr, {}, readsOuter});
            return;
        }
        readsOuter = false;
        c = BareColumn(rightExpr);
        if (c != nullptr && c->owner == table && UsableValue(left, table, outer, &readsOuter) &&
            RangeUsable(c, o))
            out->push_back({c, Mirror(o), left, {}, readsOuter});
        return;
    }
    if (p->id == RC_N_BetweenPredicate) {
        if (rcPlnChild(p, RC_N_NOT_Opt) != nullptr)
            return;
        const rcParseNode *e[3] = {};
        int k = 0;
        for (const rcParseNode *x = p->child; x != nullptr && k < 3; x = x->next)
            if (x->id == RC_N_Expression)
                e[k++] = x;
        const rcTblColumn *c = k == 3 ? BareColumn(e[0]) : nullptr;
        bool r1 = false, r2 = false;
        if (c != nullptr && c->owner == table && RangeUsable(c, RC_T_GE) &&
            UsableValue(e[1], table, outer, &r1) && UsableValue(e[2], table, outer, &r2)) {
            out->push_back({c, RC_T_GE, e[1], {}, r1});
            out->push_back({c, RC_T_LE, e[2], {}, r2});
        }
        return;
    }
    if (p->id == RC_N_LikePredicate) {
        const rcParseNode *col = p->child;
        const rcParseNode *kind = col != nullptr ? col->next : nullptr;
        if (kind == nullptr || kind->id != RC_N_NotOrNotLike || kind->child == nullptr ||
            kind->child->id != RC_T_LIKE)
            return;
        const rcTblColumn *c = BareColumn(col);
        if (c == nullptr || c->owner != table ||
            (c->type.sqlType != SQL_CHAR && c->type.sqlType != SQL_VARCHAR))
            return;
        // The pattern: one character literal and no ESCAPE.
        const rcParseNode *lit = nullptr;
        int literals = 0;
        bool other = false;
        for (const rcParseNode *x = kind->next; x != nullptr; x = x->next)
            rcPlnWalkTree(x, [&](const rcParseNode *n) {
                if (n->id == RC_T_CHAR_STR_LIT) {
                    lit = n;
                    ++literals;
                } else if (n->id == RC_N_DynamicParm || n->id == RC_N_ColName ||
                           n->id == RC_N_ScalarFn) {
                    other = true;
                }
                return true;
            });
        if (literals != 1 || other || lit->text[0] != '\'')
            return;
        std::string text(lit->text + 1);
        if (!text.empty() && text.back() == '\'')
            text.pop_back();
        std::string prefix;
        for (size_t i = 0; i < text.size(); ++i) {
            char ch = text[i];
            if (ch == '%' || ch == '_')
                break;
            if (ch == '\'' && i + 1 < text.size() && text[i + 1] == '\'')
                ++i;
            prefix += ch;
        }
        if (prefix.empty() || prefix.size() >= 255)
            return;
        out->push_back({c, RC_T_LIKE, nullptr, prefix, false});
    }
}

// Equality terms ORed together, all on one column of the table.
bool OrTerms(const rcParseNode *cond, const rcTblEntry *table,
             const std::vector<const rcTblEntry *> &outer, const rcTblColumn **col,
             std::vector<const rcParseNode *> *values, bool *readsOuter)
{
    const rcParseNode *a = cond->child;
    if (a != nullptr && a->id == RC_N_SearchCond && a->next != nullptr && a->next->id == RC_T_OR)
        return OrTerms(a, table, outer, col, values, readsOuter) &&
               OrTerms(a->next->next, table, outer, col, values, readsOuter);
    if (a != nullptr && a->id == RC_N_BooleanPrimary && a->next == nullptr && a->child != nullptr &&
        a->child->id == '(' && a->child->next != nullptr && a->child->next->id == RC_N_SearchCond)
        return OrTerms(a->child->next, table, outer, col, values, readsOuter);
    std::vector<Bound> one;
    Bounds(cond, table, outer, &one);
    if (one.size() != 1 || one[0].op != RC_T_EQ || (*col != nullptr && *col != one[0].column))
        return false;
    *col = one[0].column;
    *readsOuter = *readsOuter || one[0].readsOuter;
    values->push_back(one[0].value);
    return true;
}

// The equality keys of an IN list (no NOT) or an OR of equalities.
bool KeyList(const rcParseNode *cond, const rcTblEntry *table,
             const std::vector<const rcTblEntry *> &outer, const rcTblColumn **col,
             std::vector<const rcParseNode *> *values, bool *readsOuter)
{
    *col = nullptr;
    values->clear();
    *readsOuter = false;
    const rcParseNode *p = PlainPredicate(cond);
    if (p != nullptr && p->id == RC_N_InPredicate) {
        if (rcPlnChild(p, RC_N_NOT_Opt) != nullptr)
            return false;
        const rcTblColumn *c = BareColumn(p->child);
        const rcParseNode *list =
            rcPlnChild(rcPlnChild(p, RC_N_ValueListORSubQuery), RC_N_ValueList);
        if (c == nullptr || c->owner != table || list == nullptr)
            return false;
        for (const rcParseNode *v = list->child; v != nullptr; v = v->next)
            if (v->id == RC_N_Value) {
                if (!UsableValue(v, table, outer, readsOuter))
                    return false;
                values->push_back(v);
            }
        *col = c;
    } else if (p == nullptr && !OrTerms(cond, table, outer, col, values, readsOuter)) {
        return false;
    }
    return *col != nullptr && values->size() > 1 && values->size() <= PLN_MAX_KEY_LIST;
}

// The rows of the table's index catalog, as the connection's first statement
// naming the table read them (tam_tablefacts.h), else read now into *read
// and kept. *rows points at them either way. 0, or a data-module code (a
// catalog the data module lacks has no rows).
int32_t IndexRows(rcPlnStmt *stmt, const rcTblEntry *table, std::vector<TamIndexRow> *read,
                  const std::vector<TamIndexRow> **rows)
{
    *rows = read;
    if (const TamTableFacts *facts = TamFindTableFacts(stmt->session, table->path, table->name);
        facts != nullptr && facts->indexesRead) {
        *rows = &facts->indexRows;
        return 0;
    }
    TamInfoRecord rec{};
    int32_t rc = TamGetTableIndexInfo(stmt->session, table->handle, nullptr, &rec);
    if (rc != 0 && rc != kDrmNotImplemented)
        return rc;
    if (rc == 0) {
        for (rc = TamMove(stmt->session, rec.handle, kDrmMoveFirst); rc == 0;
             rc = TamMove(stmt->session, rec.handle, kDrmMoveNext)) {
            TamIndexRow row;
            rc = ReadIndexRow(stmt, rec, row.name, &row.flags, &row.number, &row.direction);
            if (rc != 0)
                break;
            read->push_back(row);
        }
        int32_t closed = TamCloseTable(stmt->session, rec.handle);
        if (rc != kDrmErrNoCurrentRecord)
            return rc;
        if (closed != 0)
            return closed;
    }
    if (TamTableFacts *facts = TamKeepTableFacts(stmt->session, table->path, table->name)) {
        facts->indexRows = std::move(*read);
        facts->indexesRead = true;
        *rows = &facts->indexRows;
    }
    return 0;
}

} // namespace

int16_t rcIdxGetInfo(rcPlnStmt *stmt, const rcTblEntry *table, const rcPlnIndexList **out)
{
    for (const auto &l : stmt->indexLists)
        if (l->table == table) {
            *out = l.get();
            return 0;
        }
    auto list = std::make_unique<rcPlnIndexList>();
    list->table = table;
    if ((stmt->engineOptions & PLN_OPT_NOINDEXES) == 0 && table->kind != RC_TBL_VIEW &&
        stmt->session != nullptr) {
        std::vector<TamIndexRow> read;
        const std::vector<TamIndexRow> *rows = nullptr;
        if (int32_t rc = IndexRows(stmt, table, &read, &rows); rc != 0)
            return PostDrm(stmt, rc);
        for (const TamIndexRow &row : *rows) {
            const rcTblColumn *col = nullptr;
            for (const rcTblColumn &c : table->columns)
                if (c.number == row.number)
                    col = &c;
            if (col == nullptr)
                continue;
            if (list->indexes.empty() || std::strcmp(list->indexes.back().name, row.name) != 0) {
                list->indexes.emplace_back();
                std::memcpy(list->indexes.back().name, row.name, sizeof row.name);
            }
            rcPlnIndex &ix = list->indexes.back();
            bool asc = (row.direction & 1) == 0;
            ix.flags = row.flags;
            ix.unique = (row.flags & kIdxUnique) != 0;
            if ((row.flags & kIdxNotOrderable) != 0)
                ix.orderKind = 4;
            else if (ix.keys.empty())
                ix.orderKind = asc ? 2 : 3;
            else if (asc != ix.keys.back().ascending)
                ix.orderKind = 1;
            ix.keys.push_back({col, asc});
        }
    }
    *out = list.get();
    stmt->indexLists.push_back(std::move(list));
    return 0;
}

int rcOptIndexUse(rcPlnStmt *stmt, const rcTblEntry *table,
                  const std::vector<const rcParseNode *> &conds,
                  const std::vector<const rcTblEntry *> &outer)
{
    const rcPlnIndexList *list = nullptr;
    if ((stmt->engineOptions & PLN_OPT_NOINDEXES) != 0 || rcIdxGetInfo(stmt, table, &list) != 0)
        return 0;
    std::vector<Bound> bounds;
    for (const rcParseNode *c : conds)
        Bounds(c, table, outer, &bounds);
    int use = 0;
    for (const rcPlnIndex &ix : list->indexes)
        for (const Bound &b : bounds)
            if (!ix.keys.empty() && b.column == ix.keys.front().column &&
                (outer.empty() || b.readsOuter)) {
                int u = b.op == RC_T_EQ ? (ix.unique && ix.keys.size() == 1 ? 3 : 2) : 1;
                use = u > use ? u : use;
            }
    // A list of keys (IN, or equalities ORed together) reads equality ranges.
    for (const rcParseNode *c : conds) {
        const rcTblColumn *col = nullptr;
        std::vector<const rcParseNode *> values;
        bool readsOuter = false;
        if (use >= 2 || !KeyList(c, table, outer, &col, &values, &readsOuter) ||
            (!outer.empty() && !readsOuter))
            continue;
        for (const rcPlnIndex &ix : list->indexes)
            if (!ix.keys.empty() && ix.keys.front().column == col)
                use = 2;
    }
    return use;
}

uint32_t rcOptTableRows(rcPlnStmt *stmt, const rcTblEntry *table)
{
    TamInfoRecord rec{};
    if (table->handle == nullptr || TamGetTableInfo(stmt->session, table->handle, &rec) != 0)
        return PLN_ROWS_UNKNOWN;
    return rec.word[kTableInfoRowCount];
}

uint32_t rcOptEstimateRows(rcPlnStmt *stmt, const rcTblEntry *table, uint32_t rows,
                           const std::vector<const rcParseNode *> &conds)
{
    const std::vector<const rcTblEntry *> none;
    double estimate = rows;
    switch (rcOptIndexUse(stmt, table, conds, none)) {
    case 3: estimate = 1; break;
    case 2: estimate *= 0.05; break;
    case 1: estimate *= 0.5; break;
    default:
        // No index: every comparison of the table's restrictions narrows.
        for (const rcParseNode *c : conds) {
            const rcParseNode *p = PlainPredicate(c);
            const rcParseNode *op = p != nullptr && p->id == RC_N_ComparePredicate && p->child
                                        ? p->child->next
                                        : nullptr;
            if (op == nullptr || op->id != RC_N_CompareOp || op->child == nullptr)
                continue;
            switch (op->child->id) {
            case RC_T_EQ: estimate *= 0.2; break;
            case RC_T_LT:
            case RC_T_LE:
            case RC_T_GT:
            case RC_T_GE: estimate *= 0.5; break;
            default: break;
            }
        }
        break;
    }
    uint32_t whole = static_cast<uint32_t>(estimate);
    return whole == 0 ? 1 : whole;
}

namespace {

// A key read from the outer row makes the inner side of the join depend on
// it: the join goes on with the next outer row when it is empty.
void MarkJoinByIndex(PlanNode *table)
{
    PlanNode *n = table;
    while (n->parent != nullptr && n->parent->kind == PLN_RESTRICT)
        n = n->parent;
    PlanNode *join = n->parent;
    if (join != nullptr && join->kind == PLN_JOIN && join->second == n)
        join->subtype =
            join->subtype == PLN_JOIN_OUTER ? PLN_JOIN_OUTER_INDEX : PLN_JOIN_INNER_INDEX;
}

int16_t KeyListRange(rcPlnStmt *stmt, PlanNode *table, const rcPlnIndex *index,
                     const std::vector<const rcParseNode *> &values, bool readsOuter)
{
    const rcTblColumn *col = index->keys.front().column;
    rcPlnColumn *pc = nullptr;
    for (rcPlnColumn *c : stmt->columns)
        if (c->column == col)
            pc = c;
    rcExpSlot colSlot = 0;
    if (pc == nullptr || rcExpCompileColumn(&stmt->env, &pc->ref, &colSlot) < 0)
        return pc == nullptr ? 0 : PLN_ERROR;
    size_t n = values.size();
    table->keyBufferSize = RC_TMP_MAX_VALUE + 2;
    table->keyList = static_cast<rcExpSlot *>(rcMemPoolAlloc(stmt->pool, sizeof(rcExpSlot) * n));
    table->keyEnds = static_cast<rcFltId *>(rcMemPoolAlloc(stmt->pool, sizeof(rcFltId) * n));
    table->keySeen = static_cast<char *>(rcMemPoolAlloc(stmt->pool, table->keyBufferSize * n));
    table->keySeenLength =
        static_cast<uint32_t *>(rcMemPoolAlloc(stmt->pool, sizeof(uint32_t) * n));
    table->keyBuffer = static_cast<char *>(rcMemPoolAlloc(stmt->pool, table->keyBufferSize));
    if (table->keyList == nullptr || table->keyEnds == nullptr || table->keySeen == nullptr ||
        table->keySeenLength == nullptr || table->keyBuffer == nullptr)
        return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    for (size_t k = 0; k < n; ++k) {
        if (rcExpCompile(&stmt->env, values[k], &table->keyList[k], 0) < 0 ||
            rcFltCompileColumn(&stmt->env, colSlot, table->keyList[k], RC_T_NE,
                               &table->keyEnds[k]) < 0)
            return PLN_ERROR;
    }
    table->keyListCount = static_cast<uint16_t>(n);
    table->access = PLN_ACCESS_INDEX;
    table->index = index;
    table->keyKind = PLN_KEY_EQ;
    table->keySlot = table->keyList[0];
    table->endTest = table->keyEnds[0];
    table->singleRow = index->unique && index->keys.size() == 1;
    if (readsOuter)
        MarkJoinByIndex(table);
    return 0;
}

} // namespace

int16_t rcOptChooseIndex(rcPlnStmt *stmt, PlanNode *table,
                         const std::vector<const rcParseNode *> &conds,
                         const std::vector<const rcTblEntry *> &outer)
{
    const rcPlnIndexList *list = nullptr;
    if (rcIdxGetInfo(stmt, table->table, &list) != 0)
        return PLN_ERROR;
    std::vector<Bound> bounds;
    for (const rcParseNode *c : conds)
        Bounds(c, table->table, outer, &bounds);
    // A key list on a column, when no single range does better.
    const rcTblColumn *listColumn = nullptr;
    std::vector<const rcParseNode *> listValues;
    bool listOuter = false;
    for (const rcParseNode *c : conds) {
        const rcTblColumn *col = nullptr;
        std::vector<const rcParseNode *> values;
        bool readsOuter = false;
        if (listColumn == nullptr && KeyList(c, table->table, outer, &col, &values, &readsOuter)) {
            listColumn = col;
            listValues = values;
            listOuter = readsOuter;
        }
    }
    if ((bounds.empty() && listColumn == nullptr) || list->indexes.empty())
        return 0;
    const rcPlnIndex *best = nullptr;
    int bestScore = 0;
    for (const rcPlnIndex &ix : list->indexes) {
        if (ix.keys.empty())
            continue;
        const rcPlnKeyColumn &k = ix.keys.front();
        bool eq = false, lower = false, upper = false, like = false;
        for (const Bound &b : bounds) {
            if (b.column != k.column)
                continue;
            eq = eq || b.op == RC_T_EQ;
            lower = lower || b.op == RC_T_GT || b.op == RC_T_GE;
            upper = upper || b.op == RC_T_LT || b.op == RC_T_LE;
            like = like || b.op == RC_T_LIKE;
        }
        // A descending or not orderable index serves equality only.
        bool ranges = k.ascending && ix.orderKind != 4;
        int score = eq ? (ix.unique && ix.keys.size() == 1 ? 40 : 30)
                    : listColumn == k.column && ix.orderKind != 4 ? 25
                    : !ranges                                     ? 0
                    : lower && upper                              ? 12
                    : lower || upper || like                      ? 11
                                                                  : 0;
        if (score > bestScore) {
            best = &ix;
            bestScore = score;
        }
    }
    if (best == nullptr)
        return 0;
    const rcTblColumn *col = best->keys.front().column;
    if (bestScore == 25)
        return KeyListRange(stmt, table, best, listValues, listOuter);
    const Bound *start = nullptr;
    const Bound *end = nullptr;
    for (const Bound &b : bounds) {
        if (b.column != col)
            continue;
        if (b.op == RC_T_EQ) {
            start = end = &b;
            break;
        }
        if ((b.op == RC_T_GT || b.op == RC_T_GE || b.op == RC_T_LIKE) && start == nullptr)
            start = &b;
        if ((b.op == RC_T_LT || b.op == RC_T_LE) && end == nullptr)
            end = &b;
    }
    if (start != nullptr && start->op == RC_T_LIKE && end == nullptr)
        end = start;
    rcPlnColumn *pc = nullptr;
    for (rcPlnColumn *c : stmt->columns)
        if (c->column == col)
            pc = c;
    if (pc == nullptr)
        return 0;
    rcExpSlot colSlot = 0;
    if (rcExpCompileColumn(&stmt->env, &pc->ref, &colSlot) < 0)
        return PLN_ERROR;
    table->keyKind = 0;
    table->keySlot = 0;
    table->endTest = 0;
    if (start != nullptr) {
        table->keyKind = start->op == RC_T_EQ   ? PLN_KEY_EQ
                         : start->op == RC_T_GT ? PLN_KEY_GT
                         : start->op == RC_T_GE ? PLN_KEY_GE
                                                : PLN_KEY_LIKE;
        if (start->op == RC_T_LIKE) {
            // The prefix as a constant slot, through a LIKE end test's text.
            std::string pattern = start->prefix + "%";
            if (rcFltCompileLiteral(&stmt->env, colSlot, pattern.c_str(), &table->endTest) < 0)
                return PLN_ERROR;
            table->keyBufferSize = static_cast<uint32_t>(start->prefix.size() + 1);
            table->keyBuffer = static_cast<char *>(rcMemPoolAlloc(stmt->pool, 258));
            if (table->keyBuffer == nullptr)
                return static_cast<int16_t>(
                    rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
            std::memcpy(table->keyBuffer, start->prefix.c_str(), start->prefix.size() + 1);
        } else if (rcExpCompile(&stmt->env, start->value, &table->keySlot, 0) < 0) {
            return PLN_ERROR;
        }
    }
    if (end != nullptr && end->op != RC_T_LIKE) {
        rcExpSlot valueSlot = start == end ? table->keySlot : 0;
        if (valueSlot == 0 && rcExpCompile(&stmt->env, end->value, &valueSlot, 0) < 0)
            return PLN_ERROR;
        uint16_t op = end->op == RC_T_EQ ? RC_T_NE : end->op == RC_T_LE ? RC_T_GT : RC_T_GE;
        if (rcFltCompileColumn(&stmt->env, colSlot, valueSlot, op, &table->endTest) < 0)
            return PLN_ERROR;
    }
    if (table->keyBuffer == nullptr) {
        table->keyBufferSize = RC_TMP_MAX_VALUE + 2;
        table->keyBuffer = static_cast<char *>(rcMemPoolAlloc(stmt->pool, table->keyBufferSize));
        if (table->keyBuffer == nullptr)
            return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    }
    table->access = PLN_ACCESS_INDEX;
    table->index = best;
    table->singleRow =
        start != nullptr && start->op == RC_T_EQ && best->unique && best->keys.size() == 1;
    bool readsOuter =
        (start != nullptr && start->readsOuter) || (end != nullptr && end->readsOuter);
    if (readsOuter)
        MarkJoinByIndex(table);
    return 0;
}
