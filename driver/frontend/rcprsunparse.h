// SQL text regeneration: a parse tree back to text that parses to the same
// tree. Tokens are written left to right, one blank apart; string literals
// get their inner quotes doubled again, identifiers that are not plain words
// (or are keywords) are quoted again, and the escapes whose content left no
// brackets in the tree are written back: {d}, {t}, {ts}, {call}, {pred}.
// CONVERT's target type is written as its SQL_xxx name. The text grows as
// needed, so there is no length limit.
#pragma once

#include <string>

#include "driver/frontend/rcprs.h"

// Regenerates the statement whose root is given (with the root's siblings:
// ORDER BY and the parameter type list of a query).
std::string rcPrsUnparse(const rcParseNode *root);
// Regenerates one subtree without its siblings.
std::string rcPrsUnparseNode(const rcParseNode *node);
// Appends an identifier, quoted when it has to be.
void rcPrsAppendIdentifier(std::string &out, const char *name);
// True when an identifier must be quoted to scan back as itself.
bool rcPrsIdentifierNeedsQuotes(const char *name);
