// The data module's parse-tree hook: every prepared query's parse tree and
// SQL text are offered to the data module with a table of nine callbacks for
// walking the tree; the data module may take the statement over or hand back
// new SQL text, which preparation then prepares instead (once).
//
// Interface:
//   rcDrmParseHook(stmt, root, text, &newText)   after the semantic checks of
//       a query, only when the statement's data-source information asks for
//       the hook (rcStmtSourceInfo::parseHook). 0 (newText empty when the
//       data module handed back nothing), or -1 with 11008 posted when the
//       data module ran out of memory; its other codes are not errors.
// The callbacks, in the order of the table:
//   1 next node (root, node): root for none, else the first child, the next
//     sibling, or the next sibling of the nearest ancestor below root
//   2 find node (root, start, symbol, skip children): rcPrsFindNext
//   3 numeric literal (node): the text of the number under a Literal or
//     NumericLiteral node, null when none
//   4 cursor of a reference (node): the data-module cursor of the table of a
//     ColName, Expression or TableName node; 0 otherwise
//   5 column of a reference (node): the data-module column number of a
//     ColName or Expression node; 0 otherwise
//   6 value of a SetFunctionRef node: its second attribute word
//   7 text of a subtree (node, buffer, size, out cut flag)
//   8 allocate (context, size): zero-filled driver memory
//   9 offset of a DynamicParm node (base, node): base plus its attribute
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct rcStmt;
struct rcParseNode;

// What the data module gets: flags (bit 2 set by the data module when it
// takes the statement), the statement and the nine callbacks.
struct rcParseHookRecord {
    uint32_t flags = 0;
    rcStmt *stmt = nullptr;
    const void *callbacks[9] = {};
};
inline constexpr uint32_t kRcParseHookTakesStatement = 0x4;

// The data module's side (TamParseHook by default); tests put their own.
using rcParseHookFn = int32_t (*)(rcStmt *stmt, const char *text, const rcParseNode *root,
                                  rcParseHookRecord *record, char **newText);
void rcDrmSetParseHookFn(rcParseHookFn fn);

int16_t rcDrmParseHook(rcStmt *stmt, const rcParseNode *root, const char *text,
                       std::string *newText);

// The callbacks, for the data module's side and the tests.
const rcParseNode *rcHookNextNode(const rcParseNode *root, const rcParseNode *node);
const char *rcHookNumericLiteral(const rcParseNode *node);
uint32_t rcHookCursorOf(const rcParseNode *node);
uint32_t rcHookColumnOf(const rcParseNode *node);
