// Join methods: the nested loop or the hash join, by price (see rcplnhash.h).
//
// Prices count requests to the server, the machine's cost of a join:
//   nested loop  outer rows x (an index seek: 2 requests for a unique key,
//                3 when a sort of the hits follows, a range a window more;
//                without an index the inner side's windows read again)
//   hash join    1 search + the inner side's windows, once, and the work in
//                memory (a thousand rows of hashing and probing cost about
//                one request)
// Estimates come from the tables' own conditions (rcOptEstimateRows); a join
// with an equality between its sides yields as many rows as its larger side,
// a join without one the product.
#include <cstdio>
#include <new>
#include <string>

#include "driver/core/rccnv.h"
#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rctrace.h"
#include "driver/engine/plan/rcplnhash.h"
#include "driver/engine/plan/rcplnjoinutil.h"
#include "driver/engine/temp/rctmp.h"

namespace {

constexpr double kWindowRows = 100;      // rows of one window read
constexpr double kRowsPerRequest = 1000; // rows hashed or probed for the price of a request
constexpr double kMaxEstimate = 1e9;

bool IsInteger(int16_t t)
{
    return t == SQL_BIT || t == SQL_TINYINT || t == SQL_SMALLINT || t == SQL_INTEGER ||
           t == SQL_BIGINT;
}
bool IsNumber(int16_t t)
{
    return IsInteger(t) || t == SQL_REAL || t == SQL_FLOAT || t == SQL_DOUBLE ||
           t == RC_SQL_SCALED64;
}
bool IsText(int16_t t) { return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR; }
bool IsBinary(int16_t t) { return t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY; }
bool IsDateTime(int16_t t) { return t == SQL_DATE || t == SQL_TIMESTAMP || t == SQL_TIME; }

// The hashing of a key over columns of these types; 0: the comparison of
// the two types is not one a hash can follow (DECIMAL38, text against
// numbers or dates): the pair is then compared only, not hashed.
uint8_t KeyKind(int16_t a, int16_t b)
{
    if (IsInteger(a) && IsInteger(b))
        return PLN_HK_INT64;
    if (IsNumber(a) && IsNumber(b))
        return PLN_HK_DOUBLE;
    if (IsText(a) && IsText(b))
        return PLN_HK_TEXT;
    if (IsBinary(a) && IsBinary(b))
        return PLN_HK_BYTES;
    if (IsDateTime(a) && IsDateTime(b))
        return a == SQL_TIME || b == SQL_TIME ? PLN_HK_TIME : PLN_HK_DATETIME;
    return 0;
}

bool IsOuter(const PlanNode *join)
{
    return join->subtype == PLN_JOIN_OUTER || join->subtype == PLN_JOIN_OUTER_INDEX;
}

// The conjuncts of the filters right above node.
void FiltersAbove(const PlanNode *node, std::vector<const rcParseNode *> *out)
{
    for (const PlanNode *n = node->parent; n != nullptr && n->kind == PLN_RESTRICT; n = n->parent)
        if (n->subtype == PLN_RESTRICT_FILTER && n->cond != nullptr)
            rcJnConjuncts(n->cond, out);
}

// The table node of an inner side that is one table under its filters.
PlanNode *SingleTable(PlanNode *n)
{
    while (n != nullptr && n->kind == PLN_RESTRICT)
        n = n->first;
    return n != nullptr && n->kind == PLN_TABLE ? n : nullptr;
}

struct Chooser {
    rcPlnStmt *stmt;
    const std::vector<const rcTblEntry *> &enclosing;

    // The conjuncts of a table's filters that read only the table.
    std::vector<const rcParseNode *> Own(PlanNode *table)
    {
        std::vector<const rcParseNode *> all, own;
        FiltersAbove(table, &all);
        for (const rcParseNode *c : all) {
            std::vector<const rcTblEntry *> t;
            bool sub = false;
            rcJnTablesOf(c, &t, &sub);
            if (!sub && t.size() == 1 && t.front() == table->table)
                own.push_back(c);
        }
        return own;
    }

    // The conditions the join's method decides on: those placed right above
    // an inner join, the ON condition of an outer join.
    std::vector<const rcParseNode *> JoinConds(PlanNode *join)
    {
        std::vector<const rcParseNode *> conds;
        if (IsOuter(join)) {
            if (join->second->kind == PLN_RESTRICT && join->second->cond != nullptr)
                rcJnConjuncts(join->second->cond, &conds);
        } else {
            FiltersAbove(join, &conds);
        }
        return conds;
    }

    bool HasEquality(PlanNode *join)
    {
        std::vector<const rcTblEntry *> outer, inner;
        rcJnTablesUnder(join->first, &outer);
        rcJnTablesUnder(join->second, &inner);
        for (const rcParseNode *c : JoinConds(join)) {
            const rcTblColumn *l = nullptr, *r = nullptr;
            uint16_t op = 0;
            if (rcJnColumnCompare(c, &l, &r, &op) && op == RC_T_EQ &&
                ((rcJnHas(outer, l->owner) && rcJnHas(inner, r->owner)) ||
                 (rcJnHas(inner, l->owner) && rcJnHas(outer, r->owner))))
                return true;
        }
        return false;
    }

    int16_t Estimate(PlanNode *n, double *out)
    {
        switch (n->kind) {
        case PLN_TABLE:
            if (rcJnTableCost(stmt, n, Own(n), false) != 0)
                return PLN_ERROR;
            *out = n->rows;
            return 0;
        case PLN_JOIN: {
            double o = 0, i = 0;
            if (Estimate(n->first, &o) != 0 || Estimate(n->second, &i) != 0)
                return PLN_ERROR;
            double e = HasEquality(n) ? (o > i ? o : i) : o * i;
            *out = e > kMaxEstimate ? kMaxEstimate : e < 1 ? 1 : e;
            return 0;
        }
        default: return n->first != nullptr ? Estimate(n->first, out) : (*out = 1, 0);
        }
    }

    rcPlnColumn *ColumnOf(const rcTblColumn *tc)
    {
        for (rcPlnColumn *c : stmt->columns)
            if (c->column == tc)
                return c;
        return nullptr;
    }

    // Every column the query reads of the tables under node fits a
    // temporary table.
    bool Storable(PlanNode *node)
    {
        std::vector<const rcTblEntry *> tables;
        rcJnTablesUnder(node, &tables);
        for (const rcPlnColumn *c : stmt->columns)
            if (rcJnHas(tables, c->tableNode->table) && !rcPlnHashStorable(c))
                return false;
        return true;
    }

    int16_t Decide(PlanNode *join)
    {
        double outerRows = 0, innerRows = 0;
        if (Estimate(join->first, &outerRows) != 0 || Estimate(join->second, &innerRows) != 0)
            return PLN_ERROR;
        bool outer = IsOuter(join);
        PlanNode *build = join->second;
        if (outer) {
            if (build->kind != PLN_RESTRICT || build->cond == nullptr)
                return 0; // an outer join keeps its ON condition above the inner table
            build = build->first;
        }
        std::vector<const rcTblEntry *> outerTables, innerTables;
        rcJnTablesUnder(join->first, &outerTables);
        rcJnTablesUnder(build, &innerTables);
        std::vector<const rcParseNode *> conds = JoinConds(join);

        // The nested loop's price per outer row.
        double perRow = innerRows / kWindowRows < 1 ? 1 : innerRows / kWindowRows;
        PlanNode *table = SingleTable(build);
        if (table != nullptr && table->pushedFilter == 0 &&
            (stmt->engineOptions & PLN_OPT_NOINDEXES) == 0) {
            std::vector<const rcParseNode *> all = Own(table);
            all.insert(all.end(), conds.begin(), conds.end());
            std::vector<const rcTblEntry *> from = enclosing;
            from.insert(from.end(), outerTables.begin(), outerTables.end());
            switch (rcOptIndexUse(stmt, table->table, all, from)) {
            case 3: perRow = 2; break;
            case 2: perRow = 3; break;
            case 1: perRow = 3 + innerRows / (2 * kWindowRows); break;
            default: break;
            }
        }
        double loop = outerRows * perRow;
        double hash = 1 + innerRows / kWindowRows + (outerRows + innerRows) / kRowsPerRequest;
        if (hash >= loop || !Storable(build))
            return 0;

        auto *h = new (std::nothrow) rcPlnHashJoin;
        if (h == nullptr)
            return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
        stmt->hashJoins.push_back(join);
        join->hashJoin = h;
        h->join = join;
        h->build = build;
        h->match = outer ? join->second->filter : 0;
        h->outerRows = static_cast<uint32_t>(outerRows);
        h->innerRows = static_cast<uint32_t>(innerRows);
        for (const rcParseNode *c : conds) {
            const rcTblColumn *l = nullptr, *r = nullptr;
            uint16_t op = 0;
            if (!rcJnColumnCompare(c, &l, &r, &op) || op != RC_T_EQ)
                continue;
            if (rcJnHas(innerTables, l->owner) && rcJnHas(outerTables, r->owner))
                std::swap(l, r);
            if (!rcJnHas(outerTables, l->owner) || !rcJnHas(innerTables, r->owner))
                continue;
            rcPlnColumn *pl = ColumnOf(l), *pr = ColumnOf(r);
            uint8_t kind = KeyKind(l->type.sqlType, r->type.sqlType);
            if (pl == nullptr || pr == nullptr || kind == 0)
                continue;
            rcPlnHashKey key{0, 0, kind};
            if (rcExpCompileColumn(&stmt->env, &pl->ref, &key.outer) < 0 ||
                rcExpCompileColumn(&stmt->env, &pr->ref, &key.inner) < 0)
                return PLN_ERROR;
            h->keys.push_back(key);
        }
        std::string names;
        for (const rcTblEntry *t : innerTables)
            names += (names.empty() ? "" : ", ") + (t->alias.empty() ? t->name : t->alias);
        rcTrcPrintf(stmt->tmpOwner.trace, 2,
                    "Hash join: %s read once into a hash table on %u key(s), about %u outer "
                    "rows (nested loop: %.0f requests, hash: %.0f)\n",
                    names.c_str(), static_cast<unsigned>(h->keys.size()), h->outerRows, loop, hash);
        return 0;
    }

    int16_t Walk(PlanNode *n)
    {
        if (n == nullptr || n->kind == PLN_TABLE)
            return 0;
        if (Walk(n->first) != 0)
            return PLN_ERROR;
        if (n->kind == PLN_JOIN && (Walk(n->second) != 0 || Decide(n) != 0))
            return PLN_ERROR;
        return 0;
    }
};

} // namespace

bool rcPlnHashStorable(const rcPlnColumn *c)
{
    int16_t t = c->ref.sqlType;
    if (rcTmpStorageType(t) == 0)
        return false;
    if (IsText(t) || IsBinary(t))
        return c->ref.length < RC_TMP_MAX_VALUE;
    return true;
}

bool rcPlnHashOnDrivingPath(const PlanNode *node)
{
    for (const PlanNode *n = node; n != nullptr && n->kind != PLN_TABLE; n = n->first)
        if (n->kind == PLN_JOIN && n->hashJoin != nullptr)
            return true;
    return false;
}

int16_t rcPlnHashChoose(rcPlnStmt *stmt, PlanNode *top,
                        const std::vector<const rcTblEntry *> &enclosing)
{
    if ((stmt->engineOptions & PLN_OPT_NOHASHOPT) != 0 || top == nullptr)
        return 0;
    Chooser c{stmt, enclosing};
    return c.Walk(top);
}
