// Merging one stored view into a query block (internal to the view
// expansion, fe_viewexpand.cpp).
//
// rcVwMerge(ctx, block, tableRef, view) replaces the table reference of the
// view in the block's FROM list by the view's own tables, renamed
// "View<counter>Tab<n>" so that they cannot clash with the block's names;
// every reference of the block to a view column becomes (a copy of) the
// view's expression for that column; the view's WHERE is joined to the
// block's with AND; a grouped view brings its GROUP BY, HAVING and DISTINCT
// along (only into a block of one table that is not grouped itself).
#pragma once

#include <string>
#include <vector>

#include "driver/frontend/fe_viewfile.h"
#include "driver/frontend/rcprs.h"
#include "driver/engine/rcstmt.h"

struct rcVwMergeCtx {
    rcStmt *stmt = nullptr;
    rcMemPool arena = nullptr;   // the statement's arena; every new node goes here
    rcParseNode *root = nullptr; // the statement's root, relinked after each change
    bool tableCase = false;      // table and view names compare with case
    bool columnCase = false;     // column names compare with case
};

// The view as looked up: its name, its stored columns and its parsed,
// expanded and copied tree (a SubSelectStmt in ctx.arena).
struct rcVwMergeView {
    std::string name;
    std::vector<rcViewColumn> columns;
    rcParseNode *tree = nullptr;
    uint16_t counter = 0;
};

// 0, or -1 with the message posted on ctx.stmt.
int rcVwMerge(rcVwMergeCtx &ctx, rcParseNode *block, rcParseNode *tableRef,
              const rcVwMergeView &view);

// After the views of the statement's main block were merged: ORDER BY items
// equal to a select-list expression become that item's position.
int rcVwOrderByPositions(rcVwMergeCtx &ctx);

// Tree helpers shared with the expansion.
bool rcVwIsBlock(const rcParseNode *node);
rcParseNode *rcVwEnclosingBlock(rcParseNode *node);
// The name of a TableName (its last IDENTIFIER), "" when none.
const char *rcVwTableNameText(const rcParseNode *tableName);
// The correlation name of a TableRef, "" when none.
const char *rcVwCorNameText(const rcParseNode *tableRef);
// Nodes with the id in the subtree of node (node included, siblings not), in
// document order; without descending into nodes of stopId (0: none).
std::vector<rcParseNode *> rcVwCollect(rcParseNode *node, uint16_t id, uint16_t stopId = 0);
// The TableRef nodes of a block's FROM list, in order (inside outer joins too).
std::vector<rcParseNode *> rcVwFromTableRefs(rcParseNode *block);

// Marks table references that came out of a merged view (TableRef attr2).
inline constexpr uint32_t kRcVwMergedMark = 0x5657u;
