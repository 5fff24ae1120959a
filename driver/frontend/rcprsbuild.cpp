#include "platform/strings.h"
#include "driver/frontend/rcprsbuild.h"

#include <cstdio>
#include <cstring>

rcParseNode *rcPrsBuildNode(rcPrsContext *ctx, uint16_t id, rcParseNode *child)
{
    if (ctx->failed)
        return nullptr;
    rcParseNode *node = rcPrsNewNode(ctx->arena, id, child);
    if (node == nullptr)
        rcPrsFail(ctx, RC_PRS_MSG_NOMEM, nullptr, RC_PRS_NOMEM);
    return node;
}

namespace {

rcParseNode *ChainTail(rcParseNode *first)
{
    rcParseNode *tail = first->prev != nullptr ? first->prev : first;
    while (tail->next != nullptr)
        tail = tail->next;
    return tail;
}

} // namespace

rcParseNode *rcPrsCat2(rcParseNode *a, rcParseNode *b)
{
    if (a == nullptr)
        return b;
    if (b == nullptr)
        return a;
    rcParseNode *bTail = ChainTail(b);
    ChainTail(a)->next = b;
    a->prev = bTail;
    return a;
}

rcParseNode *rcPrsBuildQuery(rcPrsContext *ctx, rcParseNode *selects, rcParseNode *orderBy,
                             rcParseNode *paramTypes)
{
    if (ctx->failed || selects == nullptr)
        return nullptr;
    rcParseNode *root = selects;
    if (orderBy != nullptr) {
        root = rcPrsBuildNode(ctx, RC_N_FullSelectStmt, selects);
        if (root == nullptr)
            return nullptr;
        root->next = orderBy;
        orderBy->next = paramTypes;
    } else {
        root->next = paramTypes;
    }
    root->prev = nullptr;
    return root;
}

rcParseNode *rcPrsToPath(rcPrsContext *ctx, rcParseNode *ident)
{
    if (ctx->failed || ident == nullptr)
        return nullptr;
    size_t len = std::strlen(ident->text);
    char *copy = rcTreePoolStrndup(ctx->arena, ident->text, len);
    if (copy == nullptr) {
        rcPrsFail(ctx, RC_PRS_MSG_NOMEM, nullptr, RC_PRS_NOMEM);
        return nullptr;
    }
    if (!rcPrsCheckPathQuotes(copy)) {
        rcPrsFail(ctx, RC_PRS_MSG_PATH_QUOTES, ident->text, RC_PRS_SYNTAX);
        return nullptr;
    }
    ident->text = copy;
    ident->id = RC_T_PATH;
    return ident;
}

rcParseNode *rcPrsRetag(rcParseNode *node, uint16_t id)
{
    if (node != nullptr)
        node->id = id;
    return node;
}

rcParseNode *rcPrsBuildVoid(rcPrsContext *ctx)
{
    if (ctx->failed)
        return nullptr;
    rcParseNode *node = rcPrsNewNameNode(ctx->arena, RC_N_Void, "VOID");
    if (node == nullptr)
        rcPrsFail(ctx, RC_PRS_MSG_NOMEM, nullptr, RC_PRS_NOMEM);
    return node;
}

rcParseNode *rcPrsBuildCountStar(rcPrsContext *ctx, rcParseNode *fn, rcParseNode *open,
                                 rcParseNode *star, rcParseNode *close)
{
    if (ctx->failed || fn == nullptr)
        return nullptr;
    if (fn->id != RC_T_COUNT) {
        rcPrsFail(ctx, RC_PRS_MSG_SYNTAX, nullptr, RC_PRS_SYNTAX);
        return nullptr;
    }
    return rcPrsBuildNode(ctx, RC_N_SetFunctionRef, rcPrsCat(fn, open, star, close));
}

rcParseNode *rcPrsBuildTypedLiteral(rcPrsContext *ctx, uint32_t sqlType, rcParseNode *literal)
{
    if (ctx->failed || literal == nullptr)
        return nullptr;
    if (!rcPrsCheckDateLiteral(sqlType, literal->text)) {
        rcPrsFail(ctx, RC_PRS_MSG_DATETIME, nullptr, RC_PRS_SYNTAX);
        return nullptr;
    }
    literal->id = RC_N_TypedLiteral;
    literal->attr = sqlType;
    return literal;
}

void rcPrsCheckVendor(rcPrsContext *ctx, rcParseNode *vendor, rcParseNode *vendorName,
                      rcParseNode *product, rcParseNode *productName)
{
    if (ctx->failed)
        return;
    if (PlatAsciiCaseCompare(vendor->text, "Vendor") != 0 ||
        PlatAsciiCaseCompare(vendorName->text, "MicroSoft") != 0 ||
        PlatAsciiCaseCompare(product->text, "Product") != 0 ||
        PlatAsciiCaseCompare(productName->text, "ODBC") != 0)
        rcPrsFail(ctx, RC_PRS_MSG_SYNTAX, nullptr, RC_PRS_SYNTAX);
}

void rcPrsCheckUserName(rcPrsContext *ctx, rcParseNode *name)
{
    if (!ctx->failed && std::strlen(name->text) > 8)
        rcPrsFail(ctx, RC_PRS_MSG_USER_LONG, nullptr, RC_PRS_SYNTAX);
}

void rcPrsCountSelectItem(rcPrsContext *ctx)
{
    if (ctx->failed)
        return;
    if (++ctx->selectItems > ctx->maxSelectItems) {
        char limit[16];
        std::snprintf(limit, sizeof limit, "%u", static_cast<unsigned>(ctx->maxSelectItems));
        rcPrsFail(ctx, RC_PRS_MSG_SELECT_COLS, limit, RC_PRS_SYNTAX);
    }
}

void rcPrsCountInValue(rcPrsContext *ctx)
{
    if (!ctx->failed && ++ctx->inValues > 300)
        rcPrsFail(ctx, RC_PRS_MSG_IN_VALUES, nullptr, RC_PRS_SYNTAX);
}

void rcPrsCountCreateColumn(rcPrsContext *ctx)
{
    if (!ctx->failed && ++ctx->createColumns > ctx->maxCreateColumns)
        rcPrsFail(ctx, RC_PRS_MSG_CREATE_COLS, nullptr, RC_PRS_PASS13);
}
