// MIN and MAX answered by index seeks (see rcplnpush.h).
//
// SELECT MIN(a), MAX(a) FROM t reads no rows: each set function seeks the
// first or the last entry of an index whose first key column is its
// argument (rcExeMinMaxByIndex). It applies to the statement's own block
// when the data module seeks first and last entries, indexes are in use,
// the query has one table read by a scan, no WHERE, GROUP BY or subquery,
// and every set function is MIN or MAX of a plain column that leads an
// ascending index. Text columns are left out: the server orders text by
// character codes, the driver by its collation, so the first entry of a
// text index need not be the engine's minimum.
#include "driver/engine/plan/rcplnpush.h"

#include "driver/engine/plan/rcplntree.h"

namespace {

// The column a set function's argument names plainly, or none.
const rcTblColumn *PlainColumn(const rcParseNode *e)
{
    while (e != nullptr && e->child != nullptr && e->child->next == nullptr &&
           (e->id == RC_N_Expression || e->id == RC_N_Primary))
        e = e->child;
    return e != nullptr && e->id == RC_N_ColName ? static_cast<const rcTblColumn *>(e->sem)
                                                 : nullptr;
}

bool Seekable(int16_t sqlType)
{
    switch (sqlType) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_DATE:
    case SQL_TIME: return true;
    default: return false;
    }
}

} // namespace

void rcOptMinMaxByIndex(rcPlnStmt *stmt, const rcParseNode *root)
{
    QueryPlan *plan = stmt->plan;
    if (!stmt->seekFirstLast || (stmt->engineOptions & PLN_OPT_NOINDEXES) != 0 || plan == nullptr ||
        plan->aggregate == nullptr || (plan->flags & PLN_PLAN_GROUPED) != 0 ||
        stmt->tables.size() != 1 || !stmt->subqueries.empty() || root == nullptr)
        return;
    const rcParseNode *block = root->id == RC_N_FullSelectStmt ? root->child : root;
    const rcParseNode *where = rcPlnChild(block, RC_N_WhereSearchCond_Opt);
    if (where != nullptr && where->child != nullptr)
        return;
    PlanNode *table = stmt->tables.front();
    if (table->access != PLN_ACCESS_SCAN || table->table == nullptr)
        return;
    // The chain under the aggregate must be the set functions alone.
    PlanNode *n = plan->aggregate->first;
    for (; n != nullptr && n->kind == PLN_SETFUNC; n = n->first)
        ;
    if (n != table)
        return;
    const rcPlnIndexList *indexes = nullptr;
    if (rcIdxGetInfo(stmt, table->table, &indexes) != 0 || indexes == nullptr)
        return;
    std::vector<const rcPlnIndex *> chosen;
    for (PlanNode *sf : stmt->setFunctions) {
        if (sf->function != PLN_FN_MIN && sf->function != PLN_FN_MAX)
            return;
        const rcTblColumn *col = PlainColumn(sf->argument);
        if (col == nullptr || col->owner != table->table || !Seekable(col->type.sqlType))
            return;
        const rcPlnIndex *found = nullptr;
        for (const rcPlnIndex &ix : indexes->indexes)
            if (!ix.keys.empty() && ix.keys.front().column == col && ix.keys.front().ascending &&
                ix.orderKind != 4)
                found = &ix;
        if (found == nullptr)
            return;
        chosen.push_back(found);
    }
    for (size_t k = 0; k < chosen.size(); ++k) {
        stmt->setFunctions[k]->index = chosen[k];
        stmt->setFunctions[k]->table = table->table;
    }
}
