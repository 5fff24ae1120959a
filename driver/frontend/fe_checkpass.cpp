// Parse-time passes of the semantic checks, run by the parser on the bare
// linked tree (see fe_check.h). Each returns false after recording its
// message with rcPrsRecordError; the parse then fails and preparation posts
// the text as the text of 5124.
#include <mutex>
#include <string>
#include <vector>

#include "driver/frontend/fe_check.h"
#include "driver/frontend/rcprs.h"
#include "platform/strings.h"

namespace {

rcParseNode *Child(const rcParseNode *n, uint16_t id)
{
    for (rcParseNode *c = n != nullptr ? n->child : nullptr; c != nullptr; c = c->next)
        if (c->id == id)
            return c;
    return nullptr;
}

const char *IdentText(const rcParseNode *n)
{
    for (const rcParseNode *c = n != nullptr ? n->child : nullptr; c != nullptr; c = c->next)
        if (c->id == RC_T_IDENTIFIER)
            return c->text;
    return n != nullptr && n->child != nullptr ? n->child->text : "";
}

bool IsBlock(uint16_t id)
{
    return id == RC_N_SubSelectStmt || id == RC_N_QuerySpec || id == RC_N_UpdateStmt ||
           id == RC_N_DeleteStmt;
}

// The names a block's tables are known by: aliases and table names.
struct TableRefName {
    std::string name;
    std::string alias;
};
void BlockTables(const rcParseNode *n, std::vector<TableRefName> *out)
{
    for (; n != nullptr; n = n->next) {
        if (n->id == RC_N_SubQuery)
            continue;
        if (n->id == RC_N_TableName) {
            TableRefName t{IdentText(n), ""};
            for (rcParseNode *s = n->next; s != nullptr; s = s->next)
                if (s->id == RC_N_CorName_Opt)
                    t.alias = IdentText(Child(s, RC_N_CorName));
            out->push_back(t);
            continue;
        }
        BlockTables(n->child, out);
    }
}
std::vector<TableRefName> TablesOfBlock(const rcParseNode *block)
{
    std::vector<TableRefName> out;
    if (block->id == RC_N_UpdateStmt || block->id == RC_N_DeleteStmt) {
        if (rcParseNode *t = Child(block, RC_N_TableName))
            out.push_back({IdentText(t), ""});
    } else {
        BlockTables(Child(block, RC_N_TableRefList), &out);
    }
    return out;
}
bool Knows(const std::vector<TableRefName> &tables, const char *q)
{
    for (const TableRefName &t : tables)
        if (PlatAsciiCaseCompare(t.alias.c_str(), q) == 0 ||
            PlatAsciiCaseCompare(t.name.c_str(), q) == 0)
            return true;
    return false;
}

bool Inside(const rcParseNode *n, uint16_t id, uint16_t stop)
{
    for (const rcParseNode *p = rcPrsParentOf(n); p != nullptr; p = rcPrsParentOf(p)) {
        if (p->id == id)
            return true;
        if (p->id == stop)
            return false;
    }
    return false;
}
const rcParseNode *EnclosingBlock(const rcParseNode *n)
{
    for (const rcParseNode *p = rcPrsParentOf(n); p != nullptr; p = rcPrsParentOf(p))
        if (IsBlock(p->id))
            return p;
    return nullptr;
}

template <typename F>
bool Each(rcParseNode *n, uint16_t id, F &&f)
{
    for (; n != nullptr; n = n->next) {
        if (n->id == id && !f(n))
            return false;
        if (!Each(n->child, id, f))
            return false;
    }
    return true;
}

// The root statement alone (its ORDER BY sibling is visited separately).
thread_local rcParseNode *g_root = nullptr;

bool Pass1(rcParseNode *root)
{
    g_root = root;
    bool hasUnion = false;
    Each(root, RC_N_Union_Opt, [&](rcParseNode *) { return !(hasUnion = true); });
    if (!hasUnion)
        return true;
    for (rcParseNode *s = root->next; s != nullptr; s = s->next)
        if (s->id == RC_N_OrderBy_Opt &&
            !Each(s->child, RC_N_ColName, [](rcParseNode *) { return false; })) {
            rcPrsRecordError(RC_PARSE_REFERENCE_COLUMN_NAME_NOT_ALLOWED, "ORDER BY");
            return false;
        }
    return true;
}

bool Pass2(rcParseNode *root)
{
    // Table references unique per FROM list.
    bool ok = Each(root, RC_N_TableRefList, [](rcParseNode *list) {
        std::vector<TableRefName> tables;
        BlockTables(list->child, &tables);
        for (size_t i = 0; i < tables.size(); ++i)
            for (size_t j = 0; j < i; ++j) {
                const TableRefName &a = tables[i], &b = tables[j];
                bool same =
                    !a.alias.empty() || !b.alias.empty()
                        ? PlatAsciiCaseCompare((a.alias.empty() ? a.name : a.alias).c_str(),
                                               (b.alias.empty() ? b.name : b.alias).c_str()) == 0
                        : PlatAsciiCaseCompare(a.name.c_str(), b.name.c_str()) == 0;
                if (same) {
                    rcPrsRecordError(RC_PARSE_TABLE_REFERENCE_MUST_UNIQUE,
                                     (a.alias.empty() ? a.name : a.alias).c_str());
                    return false;
                }
            }
        return true;
    });
    if (!ok)
        return false;
    // Qualified columns name a table of an enclosing block; in a select list
    // one of the same block.
    auto checkQualifier = [](rcParseNode *n, const char *q) {
        bool inSelect = Inside(n, RC_N_SelectList, RC_N_SubQuery);
        for (const rcParseNode *b = EnclosingBlock(n); b != nullptr; b = EnclosingBlock(b)) {
            if (Knows(TablesOfBlock(b), q))
                return true;
            if (inSelect)
                break;
        }
        // ORDER BY of the statement: the tables of its first block.
        if (!inSelect && EnclosingBlock(n) == nullptr && g_root != nullptr) {
            const rcParseNode *first = g_root;
            while (first != nullptr && first->id != RC_N_SubSelectStmt)
                first = first->child;
            if (first != nullptr && Knows(TablesOfBlock(first), q))
                return true;
        }
        rcPrsRecordError(inSelect ? RC_PARSE_UNKNOWN_TABLE_CORRELATION_NAME_SELECT
                                  : RC_PARSE_UNKNOWN_TABLE_CORRELATION_NAME,
                         q);
        return false;
    };
    ok = Each(root, RC_N_ColName, [&](rcParseNode *n) {
        rcParseNode *q = Child(n, RC_N_TabNameOrCorName);
        return q == nullptr || checkQualifier(n, IdentText(q));
    });
    ok = ok && Each(root, RC_N_SelSubListItem, [&](rcParseNode *n) {
             rcParseNode *q = Child(n, RC_N_TabNameOrCorName);
             return q == nullptr || checkQualifier(q, IdentText(q));
         });
    if (!ok)
        return false;
    // UPDATE SET: each column once.
    return Each(root, RC_N_ColAssignList, [](rcParseNode *list) {
        std::vector<std::string> seen;
        for (rcParseNode *a = list->child; a != nullptr; a = a->next) {
            if (a->id != RC_N_ColAssign)
                continue;
            std::string name = IdentText(Child(Child(a, RC_N_ColName), RC_N_ColId));
            for (const std::string &s : seen)
                if (PlatAsciiCaseCompare(s.c_str(), name.c_str()) == 0) {
                    rcPrsRecordError(RC_PARSE_COLUMN_ID_MUST_UNIQUE, name.c_str());
                    return false;
                }
            seen.push_back(name);
        }
        return true;
    });
}

bool HasSetFunction(rcParseNode *n)
{
    for (; n != nullptr; n = n->next) {
        if (n->id == RC_N_SubQuery)
            continue;
        if (n->id == RC_N_SetFunctionRef || HasSetFunction(n->child))
            return true;
    }
    return false;
}

// The bare column references of a subtree, outside set functions, CONVERT
// targets and subqueries.
void BareColumns(rcParseNode *n, std::vector<rcParseNode *> *out)
{
    for (; n != nullptr; n = n->next) {
        if (n->id == RC_N_SubQuery || n->id == RC_N_SetFunctionRef || n->id == RC_N_ConvertType)
            continue;
        if (n->id == RC_N_ColName) {
            out->push_back(n);
            continue;
        }
        BareColumns(n->child, out);
    }
}

bool ColumnIn(const rcParseNode *col, rcParseNode *tree)
{
    std::vector<rcParseNode *> cols;
    BareColumns(tree, &cols);
    const char *name = IdentText(Child(col, RC_N_ColId));
    for (rcParseNode *c : cols)
        if (PlatAsciiCaseCompare(IdentText(Child(c, RC_N_ColId)), name) == 0)
            return true;
    return false;
}

bool GroupedOrRecord(rcParseNode *block, rcParseNode *tree, const char *clause, bool needGroup)
{
    rcParseNode *group = Child(block, RC_N_GroupBy_Opt);
    rcParseNode *before = group != nullptr ? group : Child(block, RC_N_WhereSearchCond_Opt);
    if (group == nullptr && !needGroup && before == nullptr)
        before = nullptr;
    std::vector<rcParseNode *> cols;
    BareColumns(tree, &cols);
    for (rcParseNode *c : cols) {
        if (before != nullptr && ColumnIn(c, before->child))
            continue;
        std::string text = std::string(IdentText(Child(c, RC_N_ColId))) + " in " + clause;
        if (text.size() > 100)
            text.resize(100);
        rcPrsRecordError(RC_PARSE_COLUMN_INVALID_MUST_GROUP_BY, text.c_str());
        return false;
    }
    return true;
}

bool Pass3(rcParseNode *root)
{
    struct Clause {
        uint16_t id;
        const char *name;
    };
    static const Clause kRowClauses[] = {{RC_N_WhereSearchCond_Opt, "WHERE"},
                                         {RC_N_ColAssignList, "UPDATE"},
                                         {RC_N_GroupBy_Opt, "GROUP BY"},
                                         {RC_N_LeftOuterJoin, "OUTER JOIN"}};
    for (const Clause &c : kRowClauses) {
        bool ok = Each(root, c.id, [&](rcParseNode *n) {
            if (HasSetFunction(n->child)) {
                rcPrsRecordError(RC_PARSE_EXPRESSION_NOT_ROW_BASED, c.name);
                return false;
            }
            return true;
        });
        if (!ok)
            return false;
    }
    for (rcParseNode *s = root->next; s != nullptr; s = s->next) {
        if (s->id != RC_N_OrderBy_Opt)
            continue;
        if (HasSetFunction(s->child)) {
            rcPrsRecordError(RC_PARSE_EXPRESSION_NOT_ROW_BASED, "ORDER BY");
            return false;
        }
        if (!Each(s->child, RC_N_DynamicParm, [](rcParseNode *) { return false; })) {
            rcPrsRecordError(RC_PARSE_DYNAMIC_PARAMETER_NOT_ALLOWED, "ORDER BY");
            return false;
        }
    }
    // HAVING over grouped columns; the select list of a grouped block too.
    auto blockCheck = [](rcParseNode *block) {
        rcParseNode *having = Child(block, RC_N_Having_Opt);
        if (having != nullptr) {
            if (!Each(having->child, RC_N_DistinctFn, [](rcParseNode *) { return false; })) {
                rcPrsRecordError(RC_PARSE_DISTINCT_SELECT_LIST_HAVING_CLAUSE);
                return false;
            }
            if (!GroupedOrRecord(block, having->child, "HAVING", false))
                return false;
        }
        rcParseNode *group = Child(block, RC_N_GroupBy_Opt);
        rcParseNode *list = Child(block, RC_N_SelectList);
        if (group != nullptr && list != nullptr) {
            if (list->child != nullptr && list->child->id == '*') {
                rcPrsRecordError(RC_PARSE_COLUMN_INVALID_MUST_GROUP_BY, "* in SELECT LIST");
                return false;
            }
            if (!GroupedOrRecord(block, list->child, "SELECT LIST", true))
                return false;
        }
        return true;
    };
    if (!Each(root, RC_N_SubSelectStmt, blockCheck) || !Each(root, RC_N_QuerySpec, blockCheck))
        return false;
    // The values of an INSERT and of an IN list are constants the grammar
    // lets through (literals, "?", USER, typed literals), but no function
    // call, which the value escape {fn ...} would bring in.
    for (uint16_t list : {uint16_t(RC_N_InsValList), uint16_t(RC_N_ValueList)}) {
        bool ok = Each(root, list, [](rcParseNode *n) {
            if (!Each(n->child, RC_N_ScalarFn, [](rcParseNode *) { return false; })) {
                rcPrsRecordError(RC_PARSE_INVALID_VALUE_VALUE_LIST);
                return false;
            }
            return true;
        });
        if (!ok)
            return false;
    }
    // Subqueries compared with a value give one column.
    return Each(root, RC_N_SubQuery, [](rcParseNode *sub) {
        const rcParseNode *p = rcPrsParentOf(sub);
        if (p != nullptr && p->id == RC_N_ValueListORSubQuery)
            p = rcPrsParentOf(p);
        if (p == nullptr || p->id == RC_N_ExistsPredicate)
            return true;
        rcParseNode *list = Child(Child(sub, RC_N_QuerySpec), RC_N_SelectList);
        if (list == nullptr)
            return true;
        int items = 0;
        if (list->child != nullptr && list->child->id == '*')
            items = 2;
        for (rcParseNode *i = Child(list, RC_N_SelSubList) ? Child(list, RC_N_SelSubList)->child
                                                           : nullptr;
             i != nullptr; i = i->next)
            items += i->id == RC_N_SelSubListItem ? 1 : 0;
        if (items > 1) {
            rcPrsRecordError(RC_PARSE_MULTIPLE_COLUMNS_NOT_ALLOWED_SUBQUERY);
            return false;
        }
        return true;
    });
}

} // namespace

void rcSemInstallPasses()
{
    static std::once_flag once;
    std::call_once(once, [] {
        rcPrsPassHooks hooks;
        hooks.pass1 = Pass1;
        hooks.pass2 = Pass2;
        hooks.pass3 = Pass3;
        rcPrsSetPassHooks(hooks);
    });
}
