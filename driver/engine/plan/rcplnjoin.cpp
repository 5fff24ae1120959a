// Join push-down: the offer of a statement's equality joins to the data
// module (see rcplnpush.h).
//
// The join conditions are collected from the ON clauses (join mask bit 2)
// and from the WHERE clause (bit 1): the walk descends through AND and stops
// at NOT and OR; a comparison of two columns of two tables is a candidate,
// and only "=" is offered. They are described in three word arrays:
//   conditions: [size, first column entry of each condition ...]
//   columns:    [size, {column number, table entry, flag (1: left column of
//               an ON equality), answer, 1 when another column of the same
//               condition follows} ...]
//   tables:     [size, {data-module table id, answer} ...]
// and handed to the data module. -2002 (declined) leaves the plan as it is.
// An acceptance is written to the join spy output; the engine keeps its
// own joins, reading the base tables, which gives the same rows.
#include "driver/engine/plan/rcplnpush.h"

#include <new>

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/plan/rcplntree.h"
#include "driver/engine/rcspy.h"
#include "driver/engine/tam.h"

namespace {

struct JoinCond {
    const rcTblColumn *left;
    const rcTblColumn *right;
    bool outer; // from an ON clause
};

const rcTblColumn *ColumnOf(const rcParseNode *e)
{
    if (e != nullptr && e->id == RC_N_ExprOrSubQuery)
        e = e->child;
    while (e != nullptr && e->child != nullptr && e->child->next == nullptr &&
           (e->id == RC_N_Expression || e->id == RC_N_Primary))
        e = e->child;
    return e != nullptr && e->id == RC_N_ColName ? static_cast<const rcTblColumn *>(e->sem)
                                                 : nullptr;
}

void Collect(const rcParseNode *n, bool outer, std::vector<JoinCond> *out)
{
    if (n == nullptr)
        return;
    switch (n->id) {
    case RC_N_SearchCond:
    case RC_N_BooleanPrimary: {
        const rcParseNode *first = n->child;
        if (first == nullptr || first->id == RC_T_NOT)
            return;
        if (first->id == '(') {
            Collect(first->next, outer, out);
            return;
        }
        if (first->next != nullptr && first->next->id == RC_T_OR)
            return;
        if (first->next != nullptr && first->next->id == RC_T_AND) {
            Collect(first, outer, out);
            Collect(first->next->next, outer, out);
            return;
        }
        Collect(first, outer, out);
        return;
    }
    case RC_N_Predicate: Collect(n->child, outer, out); return;
    case RC_N_ComparePredicate: {
        const rcParseNode *op = n->child != nullptr ? n->child->next : nullptr;
        const rcParseNode *right = op != nullptr ? op->next : nullptr;
        const rcTblColumn *a = ColumnOf(n->child);
        const rcTblColumn *b = ColumnOf(right);
        uint16_t token = op != nullptr && op->child != nullptr ? op->child->id : 0;
        if (a != nullptr && b != nullptr && a->owner != b->owner && token == RC_T_EQ)
            out->push_back({a, b, outer});
        return;
    }
    default: return;
    }
}

bool HasUnionOrSubquery(const rcParseNode *n)
{
    for (; n != nullptr; n = n->next) {
        if (n->id == RC_N_SubQuery || n->id == RC_N_Union_Opt)
            return true;
        if (HasUnionOrSubquery(n->child))
            return true;
    }
    return false;
}

void SpyArrays(const char *title, const std::vector<uint32_t> &conds,
               const std::vector<uint32_t> &cols, const std::vector<uint32_t> &tables)
{
    rcSpyWrite(title);
    rcSpyWrite("Join Conditions Array:\r\n\r\n");
    rcSpyDump(RC_SPY_WORDS, conds.data());
    rcSpyWrite("\r\nJoin Columns Array:\r\n\r\n");
    rcSpyDump(RC_SPY_WORDS, cols.data());
    rcSpyWrite("\r\nJoin Tables Array:\r\n\r\n");
    rcSpyDump(RC_SPY_WORDS, tables.data());
}

} // namespace

int16_t rcJpdPushJoins(rcPlnStmt *stmt, const rcParseNode *root)
{
    if (stmt->joinMask == 0 || root == nullptr || stmt->session == nullptr)
        return 0;
    const rcParseNode *block = root->id == RC_N_FullSelectStmt ? root->child : root;
    if (block == nullptr || block->next != nullptr || HasUnionOrSubquery(block->child) ||
        (root->next != nullptr && HasUnionOrSubquery(root->next->child)))
        return 0;
    std::vector<JoinCond> conds;
    const rcParseNode *from = rcPlnChild(block, RC_N_TableRefList);
    for (const rcParseNode *k = from != nullptr ? from->child : nullptr; k != nullptr;
         k = k->next) {
        if (k->id != RC_N_LeftOuterJoin)
            continue;
        if (k->child != nullptr && k->child->id == RC_N_LeftOuterJoin)
            return 0; // nested outer joins are never offered
        if ((stmt->joinMask & 0x2) != 0)
            Collect(rcPlnChild(k, RC_N_SearchCond), true, &conds);
    }
    const rcParseNode *where = rcPlnChild(block, RC_N_WhereSearchCond_Opt);
    if ((stmt->joinMask & 0x1) != 0 && where != nullptr)
        Collect(rcPlnChild(where, RC_N_SearchCond), false, &conds);
    if (conds.empty())
        return 0;

    std::vector<const rcTblEntry *> tables;
    auto tableEntry = [&](const rcTblEntry *t) {
        for (size_t i = 0; i < tables.size(); ++i)
            if (tables[i] == t)
                return static_cast<uint32_t>(1 + 2 * i);
        tables.push_back(t);
        return static_cast<uint32_t>(1 + 2 * (tables.size() - 1));
    };
    std::vector<uint32_t> condWords(1 + conds.size(), 0);
    std::vector<uint32_t> colWords(1 + 10 * conds.size(), 0);
    for (size_t c = 0; c < conds.size(); ++c) {
        uint32_t at = static_cast<uint32_t>(1 + 10 * c);
        condWords[1 + c] = at;
        const rcTblColumn *pair[2] = {conds[c].left, conds[c].right};
        for (int k = 0; k < 2; ++k) {
            uint32_t *w = colWords.data() + at + 5 * k;
            w[0] = pair[k]->number;
            w[1] = tableEntry(pair[k]->owner);
            w[2] = conds[c].outer && k == 0 ? 1 : 0;
            w[3] = 0;
            w[4] = k == 0 ? 1 : 0;
        }
    }
    std::vector<uint32_t> tableWords(1 + 2 * tables.size(), 0);
    for (size_t i = 0; i < tables.size(); ++i)
        tableWords[1 + 2 * i] = tables[i]->handle != nullptr ? tables[i]->handle->cursor : 0;
    condWords[0] = static_cast<uint32_t>(condWords.size() * 4);
    colWords[0] = static_cast<uint32_t>(colWords.size() * 4);
    tableWords[0] = static_cast<uint32_t>(tableWords.size() * 4);

    const bool spy = (stmt->engineOptions & RC_SPY_OPT_FILTSPY) != 0 && rcSpyIsOpen();
    if (spy)
        SpyArrays("IN:  Join Arrays\r\n\r\n", condWords, colWords, tableWords);
    int32_t rc = rcDrmSetJoin(stmt->session, reinterpret_cast<uintptr_t>(condWords.data()),
                              reinterpret_cast<uintptr_t>(colWords.data()),
                              reinterpret_cast<uintptr_t>(tableWords.data()));
    if (stmt->pushDown == nullptr) {
        stmt->pushDown = new (std::nothrow) rcPlnPushDown;
        if (stmt->pushDown == nullptr)
            return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    }
    stmt->pushDown->joinOffered = true;
    stmt->pushDown->joinAnswer = rc;
    if (rc == PLN_DRM_JOIN_DECLINED)
        return 0;
    if (rc != 0) {
        rcErrPost(stmt->errors, rcErrMapDrm(rc), nullptr, rc, nullptr);
        return PLN_ERROR;
    }
    if (spy)
        SpyArrays("\r\n\r\nOUT:  Join Arrays\r\n\r\n", condWords, colWords, tableWords);
    return 0;
}
