// Procedure call statements (see fe_proc.h).
#include "driver/frontend/fe_proc.h"

#include <string>
#include <vector>

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/exec/rcexeproc.h"
#include "driver/engine/rcstmt.h"

namespace {

void Leaves(const rcParseNode *n, std::vector<const rcParseNode *> *out)
{
    for (; n != nullptr; n = n->next) {
        if (n->child != nullptr)
            Leaves(n->child, out);
        else
            out->push_back(n);
    }
}

bool IsNumber(uint16_t id)
{
    return id == RC_T_USINT_LIT || id == RC_T_DECNUM_LIT || id == RC_T_APPROX_NUM_LIT;
}

// An argument: a parameter, a literal (a number with its sign, or a text),
// or anything else.
rcPrcCallArg ReadArg(const rcParseNode *expr, uint32_t *params)
{
    std::vector<const rcParseNode *> leaves;
    Leaves(expr->child, &leaves);
    rcPrcCallArg a;
    if (leaves.size() == 1 && leaves[0]->id == '?') {
        a.kind = RC_PRC_ARG_PARAM;
        a.param = (*params)++;
    } else if (leaves.size() == 1 && leaves[0]->id == RC_T_CHAR_STR_LIT) {
        a.kind = RC_PRC_ARG_LITERAL;
        a.literal = leaves[0]->text != nullptr ? leaves[0]->text : "";
        a.literalIsText = true;
    } else if ((leaves.size() == 1 && IsNumber(leaves[0]->id)) ||
               (leaves.size() == 2 && (leaves[0]->id == '-' || leaves[0]->id == '+') &&
                IsNumber(leaves[1]->id))) {
        a.kind = RC_PRC_ARG_LITERAL;
        if (leaves.size() == 2 && leaves[0]->id == '-')
            a.literal = "-";
        a.literal += leaves.back()->text != nullptr ? leaves.back()->text : "";
    } else {
        // Parameters inside keep their numbers.
        for (const rcParseNode *leaf : leaves)
            if (leaf->id == '?')
                ++*params;
    }
    return a;
}

} // namespace

bool rcFeReadCall(const rcParseNode *root, rcPrcCallText *out)
{
    if (root == nullptr || root->id != RC_N_Procedure)
        return false;
    uint32_t params = 0;
    for (const rcParseNode *k = root->child; k != nullptr; k = k->next) {
        switch (k->id) {
        case RC_N_ProcedureReturnValue:
            out->returnValue = true;
            out->returnParam = params++;
            break;
        case RC_N_ProcedureName:
            out->name = k->child != nullptr && k->child->text != nullptr ? k->child->text : "";
            break;
        case RC_N_SFParmList:
            for (const rcParseNode *e = k->child; e != nullptr; e = e->next)
                if (e->id == RC_N_Expression)
                    out->args.push_back(ReadArg(e, &params));
            break;
        default: break;
        }
    }
    return true;
}

int rcFePrepareCall(rcPrepared *prep, rcErrorQueue *errors)
{
    rcPrcCallText text;
    if (!rcFeReadCall(prep->root, &text))
        return rcErrRaise(errors, RC_MSG_SYNTAX_ERROR);
    rcStmtConn *conn = prep->stmt != nullptr ? prep->stmt->conn : nullptr;
    TamSession *session = conn != nullptr ? conn->session() : nullptr;
    if (session == nullptr)
        return rcErrRaise(errors, RC_MSG_DRIVER_NOT_CAPABLE);
    rcPrcCall call;
    if (rcPrcPrepare(&call, rcPrcTamModule(session), conn->qualifier(), text, errors) != 0)
        return -1;
    rcPrcClose(&call);
    return rcErrRaise(errors, RC_MSG_DRIVER_NOT_CAPABLE);
}
