// Node builders used by the grammar actions. Each records 1503 and marks
// the parse failed when the arena is full; a failed builder returns none,
// and every builder takes none as input quietly, so an action can chain
// them and test the context once at its end.
#pragma once

#include "driver/frontend/rcprsctx.h"

rcParseNode *rcPrsBuildNode(rcPrsContext *ctx, uint16_t id, rcParseNode *child);

// Joins sibling chains. While the tree is being built, the first node of a
// chain keeps the chain's last node in its prev link so that joining does
// not walk long lists; rcPrsLinkTree sets the real links afterwards.
rcParseNode *rcPrsCat2(rcParseNode *a, rcParseNode *b);
inline rcParseNode *rcPrsCat(rcParseNode *a) { return a; }
template <typename... Rest>
rcParseNode *rcPrsCat(rcParseNode *a, rcParseNode *b, Rest... rest)
{
    return rcPrsCat(rcPrsCat2(a, b), rest...);
}

// The root of a query: the UNION tree, wrapped again when ORDER BY follows;
// the ORDER BY and the parameter type list become the root's siblings.
rcParseNode *rcPrsBuildQuery(rcPrsContext *ctx, rcParseNode *selects, rcParseNode *orderBy,
                             rcParseNode *paramTypes);
// An identifier used as a qualifier becomes a PATH node (1526 when its
// quotes are misplaced).
rcParseNode *rcPrsToPath(rcPrsContext *ctx, rcParseNode *ident);
rcParseNode *rcPrsRetag(rcParseNode *node, uint16_t id);
rcParseNode *rcPrsBuildVoid(rcPrsContext *ctx);
// COUNT(*): the function must be COUNT.
rcParseNode *rcPrsBuildCountStar(rcPrsContext *ctx, rcParseNode *fn, rcParseNode *open,
                                 rcParseNode *star, rcParseNode *close);
// {d '...'}, {t '...'}, {ts '...'}: the literal retagged 1404 with its type.
rcParseNode *rcPrsBuildTypedLiteral(rcPrsContext *ctx, uint32_t sqlType, rcParseNode *literal);
void rcPrsCheckVendor(rcPrsContext *ctx, rcParseNode *vendor, rcParseNode *vendorName,
                      rcParseNode *product, rcParseNode *productName);
void rcPrsCheckUserName(rcPrsContext *ctx, rcParseNode *name);
void rcPrsCountSelectItem(rcPrsContext *ctx);
void rcPrsCountInValue(rcPrsContext *ctx);
void rcPrsCountCreateColumn(rcPrsContext *ctx);
