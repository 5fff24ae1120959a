// Select list and result columns (see fe_selectlist.h).
#include "driver/frontend/fe_selectlist.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "driver/core/rccnv.h"
#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcstrings.h"
#include "driver/frontend/fe_check.h"
#include "driver/frontend/fe_tablelist.h"

namespace {

rcParseNode *Child(rcParseNode *n, uint16_t id)
{
    for (rcParseNode *c = n != nullptr ? n->child : nullptr; c != nullptr; c = c->next)
        if (c->id == id)
            return c;
    return nullptr;
}

// The select blocks of the statement itself (not those of its subqueries).
void RootBlocks(rcParseNode *n, std::vector<rcParseNode *> *out)
{
    for (; n != nullptr; n = n->next) {
        if (n->id == RC_N_SubSelectStmt)
            out->push_back(n);
        else if (n->id == RC_N_FullSelectStmt)
            RootBlocks(n->child, out);
    }
}
std::vector<rcParseNode *> RootBlocks(rcParseNode *root)
{
    std::vector<rcParseNode *> out;
    rcParseNode *next = root->next;
    root->next = nullptr;
    RootBlocks(root, &out);
    root->next = next;
    return out;
}

void TablesOf(rcParseNode *n, std::vector<rcTblEntry *> *out)
{
    for (; n != nullptr; n = n->next) {
        if (n->id == RC_N_SubQuery)
            continue;
        if (n->id == RC_N_TableName && n->sem != nullptr)
            out->push_back(static_cast<rcTblEntry *>(n->sem));
        TablesOf(n->child, out);
    }
}

// SelSubListItem -> Expression -> Primary -> ColName(TabNameOrCorName(t) . ColId(name)).
rcParseNode *ColumnItem(rcMemPool arena, rcTblColumn *col)
{
    const rcTblEntry *t = col->owner;
    const std::string &qualifier = t->alias.empty() ? t->name : t->alias;
    rcParseNode *ident = rcPrsNewNameNode(arena, RC_T_IDENTIFIER, col->name.c_str());
    rcParseNode *colId = rcPrsNewNode(arena, RC_N_ColId, ident);
    rcParseNode *qualId = rcPrsNewNameNode(arena, RC_T_IDENTIFIER, qualifier.c_str());
    rcParseNode *qual = rcPrsNewNode(arena, RC_N_TabNameOrCorName, qualId);
    rcParseNode *dot = rcPrsNewNameNode(arena, '.', ".");
    if (ident == nullptr || colId == nullptr || qualId == nullptr || qual == nullptr ||
        dot == nullptr)
        return nullptr;
    qual->next = dot;
    dot->next = colId;
    rcParseNode *colName = rcPrsNewNode(arena, RC_N_ColName, qual);
    rcParseNode *primary =
        colName != nullptr ? rcPrsNewNode(arena, RC_N_Primary, colName) : nullptr;
    rcParseNode *expr =
        primary != nullptr ? rcPrsNewNode(arena, RC_N_Expression, primary) : nullptr;
    rcParseNode *item = expr != nullptr ? rcPrsNewNode(arena, RC_N_SelSubListItem, expr) : nullptr;
    if (item != nullptr)
        colName->sem = col;
    return item;
}

// Items for the columns of the tables, chained with commas; first and last out.
int ColumnItems(rcMemPool arena, const std::vector<rcTblEntry *> &tables, rcParseNode **first,
                rcParseNode **last, uint32_t *count)
{
    *first = *last = nullptr;
    for (rcTblEntry *t : tables)
        for (rcTblColumn &c : t->columns) {
            rcParseNode *item = ColumnItem(arena, &c);
            if (item == nullptr)
                return -1;
            if (*last != nullptr) {
                rcParseNode *comma = rcPrsNewNameNode(arena, ',', ",");
                if (comma == nullptr)
                    return -1;
                (*last)->next = comma;
                comma->next = item;
            } else {
                *first = item;
            }
            *last = item;
            ++*count;
        }
    return 0;
}

int TooMany(rcErrorQueue *errors, uint16_t max)
{
    return rcFePostText(errors, RC_MSG_SYNTAX_ERROR,
                        RC_PARSE_MAXIMUM_NUMBER_RESULT_COLUMNS_EXCEEDED,
                        std::to_string(max).c_str());
}

bool HasParam(const rcParseNode *n)
{
    for (; n != nullptr; n = n->next)
        if (n->id == RC_N_DynamicParm || HasParam(n->child))
            return true;
    return false;
}

} // namespace

int rcSelExpandStars(rcPrepared *prep, rcErrorQueue *errors)
{
    uint16_t max = prep->source->MaxColumns();
    for (rcParseNode *block : RootBlocks(prep->root)) {
        rcParseNode *list = Child(block, RC_N_SelectList);
        if (list == nullptr || list->child == nullptr)
            continue;
        uint32_t count = 0;
        if (list->child->id == '*') {
            std::vector<rcTblEntry *> tables;
            TablesOf(Child(block, RC_N_TableRefList), &tables);
            rcParseNode *first, *last;
            if (ColumnItems(prep->arena, tables, &first, &last, &count) != 0)
                return rcErrRaise(errors, RC_MSG_MEMORY_ALLOCATION_ERROR);
            if (count > max)
                return TooMany(errors, max);
            rcParseNode *sub = rcPrsNewNode(prep->arena, RC_N_SelSubList, first);
            if (sub == nullptr)
                return rcErrRaise(errors, RC_MSG_MEMORY_ALLOCATION_ERROR);
            list->child = sub;
            continue;
        }
        rcParseNode *sub = Child(list, RC_N_SelSubList);
        for (rcParseNode *item = sub != nullptr ? sub->child : nullptr; item != nullptr;
             item = item->next) {
            if (item->id != RC_N_SelSubListItem)
                continue;
            rcParseNode *qual = Child(item, RC_N_TabNameOrCorName);
            if (qual == nullptr) {
                ++count;
                continue;
            }
            const char *name = qual->child != nullptr ? qual->child->text : "";
            rcTblEntry *table = nullptr;
            std::vector<rcTblEntry *> tables;
            TablesOf(Child(block, RC_N_TableRefList), &tables);
            for (rcTblEntry *t : tables) {
                const std::string &n = t->alias.empty() ? t->name : t->alias;
                if (n == name ||
                    (!prep->source->CaseSensitiveNames() && rcTblNameOf(prep, name) == t))
                    table = t;
            }
            if (table == nullptr)
                return rcFePostText(errors, RC_ENG_INVALID_VIEW_TABLE_NAME,
                                    RC_TXT_INVALID_TABLE_NAME, name);
            rcParseNode *first, *last;
            if (ColumnItems(prep->arena, {table}, &first, &last, &count) != 0)
                return rcErrRaise(errors, RC_MSG_MEMORY_ALLOCATION_ERROR);
            if (first == nullptr)
                return rcFePostText(errors, RC_ENG_INVALID_VIEW_TABLE_NAME,
                                    RC_TXT_TABLE_EMPTY_DOESNT_EXIST, name);
            // The item takes the first column; the others follow it.
            item->child = first->child;
            last->next = item->next;
            item->next = first->next;
            if (last == first)
                last = item;
            item = last;
        }
        if (count > max)
            return TooMany(errors, max);
    }
    rcPrsLinkTree(prep->root);
    return 0;
}

int rcSelCheckParams(rcParseNode *root, rcErrorQueue *errors)
{
    for (rcParseNode *block : RootBlocks(root)) {
        rcParseNode *sub = Child(Child(block, RC_N_SelectList), RC_N_SelSubList);
        for (rcParseNode *item = sub != nullptr ? sub->child : nullptr; item != nullptr;
             item = item->next) {
            if (item->id != RC_N_SelSubListItem || !HasParam(item->child))
                continue;
            rcParseNode *expr = Child(item, RC_N_Expression);
            rcParseNode *primary = expr != nullptr ? expr->child : nullptr;
            if (primary != nullptr && primary->id == RC_N_Primary && primary->next == nullptr &&
                primary->child != nullptr && primary->child->id == RC_N_DynamicParm)
                return rcErrRaise(errors, RC_ENG_UNABLE_DETERMINE_DYNAMIC_PARAMETER_TYPE);
            return rcFePostText(errors, RC_ENG_UNSUPPORTED_SQL_COMMAND_STATEMENT,
                                RC_TXT_PARAMETERS_ARE_NOT_PERMITTED_SELECT, nullptr);
        }
    }
    return 0;
}

int rcSelBuildColumns(rcPrepared *prep, rcErrorQueue *errors)
{
    std::vector<rcParseNode *> blocks = RootBlocks(prep->root);
    if (blocks.empty())
        return 0;
    rcParseNode *sub = Child(Child(blocks.front(), RC_N_SelectList), RC_N_SelSubList);
    prep->columns.clear();
    prep->exprNames = 0;
    for (rcParseNode *item = sub != nullptr ? sub->child : nullptr; item != nullptr;
         item = item->next) {
        if (item->id != RC_N_SelSubListItem)
            continue;
        rcParseNode *expr = Child(item, RC_N_Expression);
        const rcSemTypeInfo *t = expr != nullptr ? rcSemTypeOf(expr) : nullptr;
        if (t == nullptr)
            return rcErrRaise(errors, RC_ENG_UNSUPPORTED_SQL_COMMAND_STATEMENT);
        rcResultColumn col;
        col.expression = expr;
        rcParseNode *primary = expr->child;
        rcParseNode *colName =
            primary != nullptr && primary->id == RC_N_Primary && primary->next == nullptr
                ? Child(primary, RC_N_ColName)
                : nullptr;
        if (colName != nullptr && colName->sem != nullptr)
            col.column = static_cast<const rcTblColumn *>(colName->sem);
        col.hasSetFunction = primary != nullptr && primary->id == RC_N_Primary &&
                             Child(primary, RC_N_SetFunctionRef) != nullptr;
        rcParseNode *alias = Child(item, RC_N_ColAlias_Opt);
        if (alias != nullptr) {
            rcParseNode *last = alias->child;
            while (last != nullptr && last->next != nullptr)
                last = last->next;
            col.name = last != nullptr ? last->text : "";
        } else if (col.column != nullptr) {
            col.name = col.column->name;
        } else {
            const char *format = rcResFind(RC_TXT_EXPR_NAME);
            char name[32];
            std::snprintf(name, sizeof name, format != nullptr ? format : "EXPR_%d",
                          ++prep->exprNames);
            col.name = name;
        }
        if (col.column != nullptr) {
            col.tableName = col.column->owner->name;
            col.qualifier = col.column->owner->path;
        }
        col.engineType = t->sqlType;
        col.nullable = (t->flags & RC_SEM_NULLABILITY_KNOWN) == 0 ? SQL_NULLABLE_UNKNOWN
                       : (t->flags & RC_SEM_NULLABLE) != 0        ? SQL_NULLABLE
                                                                  : SQL_NO_NULLS;
        prep->source->DescribeResult(*t, &col);
        col.updatable = col.column != nullptr;
        prep->columns.push_back(std::move(col));
    }
    return 0;
}

int rcSelCheckUnion(rcPrepared *prep, rcErrorQueue *errors)
{
    std::vector<rcParseNode *> blocks = RootBlocks(prep->root);
    if (blocks.size() < 2)
        return 0;
    auto items = [](rcParseNode *block) {
        std::vector<rcParseNode *> out;
        rcParseNode *sub = Child(Child(block, RC_N_SelectList), RC_N_SelSubList);
        for (rcParseNode *item = sub != nullptr ? sub->child : nullptr; item != nullptr;
             item = item->next)
            if (item->id == RC_N_SelSubListItem)
                out.push_back(Child(item, RC_N_Expression));
        return out;
    };
    std::vector<rcParseNode *> first = items(blocks.front());
    for (size_t b = 0; b < blocks.size(); ++b) {
        std::vector<rcParseNode *> other = items(blocks[b]);
        if (other.size() != first.size())
            return rcErrRaise(errors, RC_ENG_UNION_SELECT_LISTS_DO_NOT);
        for (size_t i = 0; i < other.size(); ++i) {
            const rcSemTypeInfo *a = first[i] != nullptr ? rcSemTypeOf(first[i]) : nullptr;
            const rcSemTypeInfo *t = other[i] != nullptr ? rcSemTypeOf(other[i]) : nullptr;
            if (a == nullptr || t == nullptr)
                return rcErrRaise(errors, RC_ENG_UNSUPPORTED_SQL_COMMAND_STATEMENT);
            if (t->sqlType == SQL_LONGVARBINARY)
                return rcFePostText(errors, RC_MSG_SYNTAX_ERROR,
                                    RC_TXT_DATA_TYPE_SQL_LONGVARBINARY_NOT, nullptr);
            if (prep->source->SqlTypeOf(t->sqlType) != prep->source->SqlTypeOf(a->sqlType))
                return rcErrRaise(errors, RC_ENG_UNION_SELECT_LISTS_DO_NOT);
        }
    }
    // Character columns are as wide as the widest branch's.
    for (size_t i = 0; i < first.size() && i < prep->columns.size(); ++i) {
        uint32_t widest = 0;
        for (rcParseNode *block : blocks) {
            const rcSemTypeInfo *t = rcSemTypeOf(items(block)[i]);
            widest = std::max(widest, t->length);
        }
        const rcSemTypeInfo *t = rcSemTypeOf(first[i]);
        if (rcSemIsChar(t->sqlType) && widest > t->length) {
            rcSemTypeInfo wide = *t;
            wide.length = widest;
            wide.flags &= ~RC_SEM_PLAIN_COLUMN;
            rcResultColumn &col = prep->columns[i];
            prep->source->DescribeResult(wide, &col);
        }
    }
    return 0;
}
