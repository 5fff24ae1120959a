// The unsupported-SQL check: the grammar accepts more than the engine runs
// (privileges, ALTER TABLE, defaults, cascading options, user names,
// DISTINCT inside set functions). The semantic check runs this first over a
// statement's tree; the first rejected node in depth-first order stops the
// statement with 11405 and a text naming what is not supported.
#pragma once

#include <cstdint>

struct rcParseNode;
struct rcErrorQueue;

// 0 when nothing is rejected; 11405 when a node was rejected (posted on
// errors with its text).
int16_t rcChkUnsupported(rcErrorQueue *errors, const rcParseNode *tree);
// The text posted for a symbol, or null when the symbol is accepted.
// `buffer` (at least 80 bytes) receives texts built from the symbol's name.
const char *rcChkUnsupportedText(uint16_t symbol, char *buffer, unsigned size);
