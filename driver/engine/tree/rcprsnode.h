// The parse tree: its node record and the operations on it.
//
// The frontend's parser (rcprs.h) builds a tree of rcParseNode in an arena
// (rcmempool.h); the semantic checks, the expression compiler and the planner
// read and rewrite it with the operations below. Nodes live as long as their
// arena and are never freed one by one.
//
// Every node has its symbol id (rcprssym.h), its first child and next sibling;
// rcPrsLinkTree sets the previous-sibling and parent links the searches use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "driver/engine/tree/rcmempool.h"
#include "driver/engine/tree/rcprssym.h"

struct rcParseNode {
    uint16_t id = 0;               // rcSym: token, nonterminal or pass id
    rcParseNode *child = nullptr;  // first child
    rcParseNode *next = nullptr;   // next sibling
    rcParseNode *prev = nullptr;   // previous sibling (set by rcPrsLinkTree)
    rcParseNode *parent = nullptr; // set on a first child only
    uint32_t attr = 0;             // set by actions and later passes
    uint32_t attr2 = 0;            // for later passes
    const char *text = "";         // token text, "" for nonterminals
    // Record attached by the semantic checks (driver/engine/rcsem.h): the
    // type record of an Expression, the column of a ColName, the table entry
    // of a TableName; null elsewhere and before the checks.
    void *sem = nullptr;
};

// Node operations.
rcParseNode *rcPrsNewNode(rcMemPool arena, uint16_t id, rcParseNode *child);
rcParseNode *rcPrsNewNameNode(rcMemPool arena, uint16_t id, const char *text);
rcParseNode *rcPrsNewNameNodeN(rcMemPool arena, uint16_t id, const char *text, size_t len);
void rcPrsLinkTree(rcParseNode *root);
// Links the tree as rcPrsLinkTree does and returns its depth: the number of
// levels from the root down to the deepest leaf.
size_t rcPrsLinkTreeDepth(rcParseNode *root);
rcParseNode *rcPrsFindNext(rcParseNode *root, uint16_t id, rcParseNode *from, bool skipChildren);
// Stop id 65534: do not descend into SubQuery or Union_Opt nodes.
constexpr uint16_t RC_PRS_STOP_SUBQUERY = 65534;
rcParseNode *rcPrsFindNextEx(rcParseNode *root, uint16_t id, rcParseNode *from, bool skipChildren,
                             uint16_t stopId);
rcParseNode *rcPrsFindFirst(rcParseNode *root, uint16_t id, rcParseNode *from);
rcParseNode *rcPrsFindInScope(rcParseNode *node, uint16_t id);
rcParseNode *rcPrsParentOf(const rcParseNode *node);
rcParseNode *rcPrsChainedChild(rcParseNode *node);
void rcPrsReplaceNode(rcParseNode *oldNode, rcParseNode *newNode);
// Copies a sibling chain with its subtrees; 0 when the arena is full.
int rcPrsCopyTree(rcMemPool arena, rcParseNode **out, const rcParseNode *chain);
bool rcPrsTreeEqual(const rcParseNode *a, const rcParseNode *b);
rcParseNode *rcPrsFindEqual(rcParseNode *tree, rcParseNode *from, const rcParseNode *pattern,
                            bool skipChildren);

// Path helpers. rcPrsCheckPathQuotes removes the quotes of a quoted path in
// place; false when they are misplaced.
bool rcPrsCheckPathQuotes(char *path);
// Splits "dir\name" into a PATH node (up to the last separator) with an
// IDENTIFIER sibling; none when the arena is full.
rcParseNode *rcPrsMakePathName(rcMemPool arena, const char *text);
// Splits "a.b" at its first "." into two IDENTIFIER nodes (quotes removed).
rcParseNode *rcPrsSplitQualified(rcMemPool arena, const char *text);

// Tree dump: one line per node, indented two blanks per level:
// "Name" or "Name 'text'" with " attr=N" when the attribute is set.
std::string rcPrsDumpTree(const rcParseNode *root);
