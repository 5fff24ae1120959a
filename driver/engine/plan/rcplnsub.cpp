// Subquery strategies (see rcplnsub.h).
//
// The strategy by operator: ANY with > or >= compares with the smallest
// value, with < or <= with the largest; ALL the other way round; = ANY and
// IN seek the outer value. Other operators (<> ANY, = ALL, <> ALL) and the
// single-row comparison use no index. An equality seek costs two requests
// (a search and a window), one read of the table a selection and a window
// per 100 rows: the seeks are planned only where the outer rows the plan
// estimates cost fewer requests than one read, and the executor stops
// seeking, and reads the table once, when an execution has used up the
// seeks that one read would cost (seekBudget).
#include "driver/engine/plan/rcplnsub.h"

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/plan/rcplntree.h"

namespace {

// Rows a data-module window holds, and the requests one equality seek
// takes against those of reading a table whole (a selection, then one
// window per 100 rows).
constexpr uint32_t kWindowRows = 100;
constexpr uint32_t kRequestsPerSeek = 2;
constexpr uint32_t kRequestsPerRead = 2;

// The column a value names plainly, or none.
const rcTblColumn *PlainColumn(const rcParseNode *e)
{
    while (e != nullptr && e->child != nullptr && e->child->next == nullptr &&
           (e->id == RC_N_Expression || e->id == RC_N_Primary))
        e = e->child;
    return e != nullptr && e->id == RC_N_ColName ? static_cast<const rcTblColumn *>(e->sem)
                                                 : nullptr;
}

// Types whose index order is the engine's order (text is ordered by the
// driver's collation, the server's differs) and whose NULLs, if the data
// module has any (the empty date), come first in the index.
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

bool Numeric(int16_t t)
{
    switch (t) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE: return true;
    default: return false;
    }
}

// An outer value of this type finds by an equality seek exactly the rows
// the engine's comparison finds equal: a number of the column's own kind
// (the range start empties the range for a value that is no value of the
// column), a date or timestamp for a date, a time for a time.
bool SeekableBy(int16_t outer, int16_t column)
{
    if (Numeric(column))
        return Numeric(outer);
    if (column == SQL_DATE)
        return outer == SQL_DATE || outer == SQL_TIMESTAMP;
    return column == SQL_TIME && outer == SQL_TIME;
}

uint8_t StrategyOf(uint8_t form, uint16_t op)
{
    bool any = form == 1;
    switch (op) {
    case RC_T_EQ: return any ? RC_SUB_EQUAL : RC_SUB_NONE;
    case RC_T_GT:
    case RC_T_GE: return any ? RC_SUB_SMALLEST : RC_SUB_LARGEST;
    case RC_T_LT:
    case RC_T_LE: return any ? RC_SUB_LARGEST : RC_SUB_SMALLEST;
    default: return RC_SUB_NONE;
    }
}

// True when the subquery's rows are exactly its table's values of the
// column: no condition, grouping, DISTINCT or set function anywhere in the
// predicate (the outer value included).
bool PlainSubquery(const rcParseNode *predicate, const rcParseNode *spec)
{
    const rcParseNode *where = rcPlnChild(spec, RC_N_WhereSearchCond_Opt);
    const rcParseNode *having = rcPlnChild(spec, RC_N_Having_Opt);
    const rcParseNode *group = rcPlnChild(spec, RC_N_GroupBy_Opt);
    const rcParseNode *distinct = rcPlnChild(spec, RC_N_AllDistinct_Opt);
    if ((where != nullptr && where->child != nullptr) ||
        (having != nullptr && having->child != nullptr) ||
        (group != nullptr && group->child != nullptr) ||
        (distinct != nullptr && distinct->child != nullptr && distinct->child->id == RC_T_DISTINCT))
        return false;
    bool plain = true;
    auto walk = [&plain](const rcParseNode *n, auto &self) -> void {
        for (; n != nullptr && plain; n = n->next) {
            if (n->id == RC_N_SetFunctionRef)
                plain = false;
            self(n->child, self);
        }
    };
    walk(predicate->child, walk);
    return plain;
}

// The index whose first key is the column, ascending and orderable (the
// last such in catalog order), or none. 0, or -1 after posting.
int16_t IndexOn(rcPlnStmt *stmt, const rcTblColumn *col, const rcPlnIndex **found)
{
    *found = nullptr;
    const rcPlnIndexList *list = nullptr;
    if (rcIdxGetInfo(stmt, col->owner, &list) != 0)
        return PLN_ERROR;
    for (const rcPlnIndex &ix : list->indexes)
        if (!ix.keys.empty() && ix.keys.front().column == col && ix.keys.front().ascending &&
            ix.orderKind != 4)
            *found = &ix;
    return 0;
}

// Rows the outer block reads per execution, as the index choice estimates
// each of its tables.
double OuterRows(rcPlnStmt *stmt, uint16_t block)
{
    double rows = 1;
    for (PlanNode *t : stmt->tables) {
        if (t->block != block || t->table == nullptr)
            continue;
        std::vector<const rcParseNode *> conds;
        for (PlanNode *n = t; n->parent != nullptr && n->parent->kind == PLN_RESTRICT;
             n = n->parent)
            conds.push_back(n->parent->cond);
        rows *= rcOptEstimateRows(stmt, t->table, rcOptTableRows(stmt, t->table), conds);
    }
    return rows;
}

// Puts the equality range on the outer value into the table node.
int16_t SeekRange(rcPlnStmt *stmt, rcSubPlanInfo *info)
{
    PlanNode *t = info->table;
    t->keyBufferSize = RC_TMP_MAX_VALUE + 2;
    t->keyBuffer = static_cast<char *>(rcMemPoolAlloc(stmt->pool, t->keyBufferSize));
    if (t->keyBuffer == nullptr)
        return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    // The range ends at the first row whose value differs from the key.
    if (rcFltCompileColumn(&stmt->env, info->value, info->outer, RC_T_NE, &t->endTest) < 0)
        return PLN_ERROR;
    t->access = PLN_ACCESS_INDEX;
    t->index = info->index;
    t->keyKind = PLN_KEY_EQ;
    t->keySlot = info->outer;
    t->singleRow = info->index->unique && info->index->keys.size() == 1;
    return 0;
}

} // namespace

int16_t rcSubStrategy(rcPlnStmt *stmt, PlanNode *node, const rcParseNode *spec,
                      const std::vector<PlanNode *> &tables)
{
    rcSubPlanInfo *info = node->subInfo;
    if (info == nullptr || node->correlated || (node->form != 1 && node->form != 2) ||
        (stmt->engineOptions & (PLN_OPT_NOINDEXES | PLN_OPT_NOHASHOPT)) != 0 || tables.size() != 1)
        return 0;
    uint8_t strategy = StrategyOf(node->form, info->op);
    if (strategy == RC_SUB_NONE || (strategy != RC_SUB_EQUAL && !stmt->seekFirstLast) ||
        !PlainSubquery(node->cond, spec))
        return 0;
    const rcParseNode *list = rcPlnChild(rcPlnChild(spec, RC_N_SelectList), RC_N_SelSubList);
    const rcParseNode *item = list != nullptr ? rcPlnChild(list, RC_N_SelSubListItem) : nullptr;
    const rcTblColumn *col =
        item != nullptr ? PlainColumn(rcPlnChild(item, RC_N_Expression)) : nullptr;
    if (col == nullptr || col->owner != tables.front()->table || !Seekable(col->type.sqlType))
        return 0;
    if (strategy == RC_SUB_EQUAL &&
        !SeekableBy(rcExpSlotType(&stmt->env, info->outer), col->type.sqlType))
        return 0;
    const rcPlnIndex *index = nullptr;
    if (IndexOn(stmt, col, &index) != 0)
        return PLN_ERROR;
    if (index == nullptr)
        return 0;
    info->strategy = strategy;
    info->table = tables.front();
    info->index = index;
    return 0;
}

int16_t rcSubApplySeeks(rcPlnStmt *stmt)
{
    for (PlanNode *node : stmt->subqueries) {
        rcSubPlanInfo *info = node->subInfo;
        if (info == nullptr || info->strategy != RC_SUB_EQUAL)
            continue;
        // The seeks read the table node alone, the root of the subquery's plan.
        uint32_t rows = rcOptTableRows(stmt, info->table->table);
        uint32_t budget = (kRequestsPerRead + rows / kWindowRows) / kRequestsPerSeek;
        if (node->subPlan->root != info->table || budget == 0 ||
            OuterRows(stmt, node->block) > budget) {
            info->strategy = RC_SUB_NONE; // reading the table once costs less
            continue;
        }
        info->seekBudget = budget;
        if (SeekRange(stmt, info) != 0)
            return PLN_ERROR;
    }
    return 0;
}
