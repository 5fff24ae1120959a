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

const rcParseNode *FirstRejected(const rcParseNode *node)
{
    char buf[96];
    for (; node; node = node->next) {
        if (rcChkUnsupportedText(node->id, buf, sizeof buf))
            return node;
        if (const rcParseNode *r = FirstRejected(node->child))
            return r;
    }
    return nullptr;
}

} // namespace

const char *rcChkUnsupportedText(uint16_t symbol, char *buffer, unsigned size)
{
    for (const Rejected &r : kRejected) {
        if (r.symbol != symbol)
            continue;
        if (r.textId)
            return rcUtlLoadString(r.textId);
        std::snprintf(buffer, size, "Unsupported SQL: %.*s", static_cast<int>(kSymbolTextMax),
                      rcPrsSymbolText(symbol));
        return buffer;
    }
    return nullptr;
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
