// The unsupported-SQL check: a depth-first walk that stops at the first
// node whose grammar symbol is on the rejected list.
#include "driver/engine/expr/rcchkunsup.h"

#include <cstdio>

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcstrings.h"
#include "driver/engine/expr/rcexpnode.h"

namespace {

constexpr unsigned kSymbolTextMax = 60;

struct Rejected {
    uint16_t symbol;
    uint32_t textId; // 0: "Unsupported SQL: " and the symbol's text
};

constexpr Rejected kRejected[] = {
    {RC_T_ADD, 0},
    {RC_T_ALTER, 0},
    {RC_T_CASCADE, 0},
    {RC_T_CHECK, 0},
    {RC_T_DEFAULT, 0},
    {RC_T_FOREIGN, 0},
    {RC_T_GRANT, 0},
    {RC_T_PUBLIC, 0},
    {RC_T_REFERENCES, 0},
    {RC_T_RESTRICT, 0},
    {RC_T_REVOKE, 0},
    {RC_T_TO, 0},
    {RC_N_AllOrGPriv, RC_TXT_PRIVILEGES_NOT_SUPPORTED},
    {RC_N_AllOrRPriv, RC_TXT_PRIVILEGES_NOT_SUPPORTED},
    {RC_N_GPriv, RC_TXT_PRIVILEGES_NOT_SUPPORTED},
    {RC_N_GPrivList, RC_TXT_PRIVILEGES_NOT_SUPPORTED},
    {RC_N_GrantStmt, RC_TXT_PRIVILEGES_NOT_SUPPORTED},
    {RC_N_AlterTableStmt, RC_TXT_ALTER_NOT_SUPPORTED},
    {RC_N_ATColDef, RC_TXT_ALTER_NOT_SUPPORTED},
    {RC_N_ATColDefList, RC_TXT_ALTER_NOT_SUPPORTED},
    {RC_N_ATColDefs, RC_TXT_ALTER_NOT_SUPPORTED},
    {RC_N_CasOrRes_Opt, RC_TXT_SQL_OPTION_NOT_SUPPORTED},
    {RC_N_Default_Opt, RC_TXT_SQL_OPTION_NOT_SUPPORTED},
    {RC_N_DefaultValue, RC_TXT_SQL_OPTION_NOT_SUPPORTED},
    {RC_N_Empty, RC_TXT_SQL_OPTION_NOT_SUPPORTED},
    {RC_N_PublicOrUsers, RC_TXT_SQL_OPTION_NOT_SUPPORTED},
    {RC_N_RPriv, RC_TXT_SQL_OPTION_NOT_SUPPORTED},
    {RC_N_RPrivList, RC_TXT_SQL_OPTION_NOT_SUPPORTED},
    {RC_N_DistinctFn, RC_TXT_DISTINCT_OPTION_NOT_SUPPORTED},
    {RC_N_DistinctFnOpParen, RC_TXT_DISTINCT_OPTION_NOT_SUPPORTED},
    {RC_N_RevokeStmt, RC_TXT_REVOKE_OPTION_NOT_SUPPORTED},
    {RC_N_Unique_Opt, RC_TXT_UNIQUE_OPTION_NOT_SUPPORTED},
    {RC_N_UserName, RC_TXT_USER_NAME_OPTION_NOT_SUPPORTED},
    {RC_N_UserNameList, RC_TXT_USER_NAME_OPTION_NOT_SUPPORTED},
};

// Every statement's whole tree is walked: a symbol is looked up in a table
// indexed by it, not searched for in the list.
constexpr unsigned kSymbolLimit = 2048;

struct RejectedIndex {
    uint8_t entry[kSymbolLimit] = {}; // 0 accepted, else index into kRejected + 1
    constexpr RejectedIndex()
    {
        for (unsigned k = 0; k < sizeof kRejected / sizeof kRejected[0]; ++k)
            entry[kRejected[k].symbol] = static_cast<uint8_t>(k + 1);
    }
};
constexpr RejectedIndex kRejectedIndex;
static_assert(sizeof kRejected / sizeof kRejected[0] < 255, "index holds a byte");

const Rejected *Find(uint16_t symbol)
{
    if (symbol >= kSymbolLimit || kRejectedIndex.entry[symbol] == 0)
        return nullptr;
    return &kRejected[kRejectedIndex.entry[symbol] - 1];
}

const rcParseNode *FirstRejected(const rcParseNode *node)
{
    for (; node; node = node->next) {
        if (Find(node->id) != nullptr)
            return node;
        if (const rcParseNode *r = FirstRejected(node->child))
            return r;
    }
    return nullptr;
}

} // namespace

const char *rcChkUnsupportedText(uint16_t symbol, char *buffer, unsigned size)
{
    const Rejected *r = Find(symbol);
    if (r == nullptr)
        return nullptr;
    if (r->textId)
        return rcUtlLoadString(r->textId);
    std::snprintf(buffer, size, "Unsupported SQL: %.*s", static_cast<int>(kSymbolTextMax),
                  rcPrsSymbolText(symbol));
    return buffer;
}

int16_t rcChkUnsupported(rcErrorQueue *errors, const rcParseNode *tree)
{
    const rcParseNode *node = FirstRejected(tree);
    if (!node)
        return 0;
    char buf[96];
    const char *text = rcChkUnsupportedText(node->id, buf, sizeof buf);
    if (errors)
        rcErrPost(errors, RC_ENG_UNSUPPORTED_SQL_COMMAND_STATEMENT, nullptr, 0, text);
    return RC_ENG_UNSUPPORTED_SQL_COMMAND_STATEMENT;
}
