// State of one parse, shared by the scanner, the grammar actions and
// rcPrsParse. Internal to the parser.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/frontend/rcprs.h"

// Token codes that only the scanner and the grammar use: the escape labels
// right after "{" (or after the vendor prefix), and the "?" "=" of a call
// with a return value.
enum : int {
    RC_TOK_ESC_FN = 400,
    RC_TOK_ESC_CALL = 401,
    RC_TOK_ESC_D = 402,
    RC_TOK_ESC_T = 403,
    RC_TOK_ESC_TS = 404,
    RC_TOK_ESC_OJ = 405,
    RC_TOK_ESC_PRED = 406,
};

// Scanner results besides token codes.
constexpr int RC_SCAN_END = 0;
constexpr int RC_SCAN_FAIL = -2;

struct rcPrsScanner {
    const char *text = nullptr; // NUL-terminated input
    size_t pos = 0;             // next byte to read
    long lastRead = -1;         // position of the last byte read
    long line = 1;              // newlines consumed + 1
    bool escapes = false;
    int prevToken = 0; // previous token code (0 at the start)
    // Escape label tracking: 1 when the next identifier is an escape label;
    // after "{" "?" the "=" is expected (2), then the label (1).
    int labelState = 0;
    int vendorStep = -1; // tokens seen since SVBEGIN, -1 outside
};

struct rcPrsContext {
    rcMemPool arena = nullptr;
    rcParseNode *root = nullptr;
    rcPrsScanner scan;
    bool oom = false;           // the arena refused a node (1503 recorded)
    bool failed = false;        // an action or the scanner recorded an error
    int result = RC_PRS_SYNTAX; // result to report when failed is set
    uint16_t createColumns = 0; // column definitions of CREATE TABLE
    uint32_t selectItems = 0;   // expression items of all select lists
    uint16_t inValues = 0;      // values of the current IN list
    uint16_t maxCreateColumns = 0xFFFF;
    uint16_t maxSelectItems = 0xFFFF;
};

// Scanner: returns a token code with *value set to its node (none for the
// escape brackets and labels), RC_SCAN_END at the end of the text, or
// RC_SCAN_FAIL when the parse must fail (any message already recorded).
int rcPrsScan(rcPrsContext *ctx, rcParseNode **value);
void rcPrsScanReset(rcPrsScanner *scan, const char *text, bool escapes);

// The deepest tree a parse accepts. Left-associative chains (a OR b OR ...,
// a + b + ...) nest one level per operator without growing the parser
// stack; the walkers of the tree recurse once per level, so an unbounded
// depth would overflow the machine stack of whoever walks it.
constexpr size_t RC_PRS_MAX_TREE_DEPTH = 4000;

// Grammar entry (generated).
int rcPrsRunGrammar(rcPrsContext *ctx);

// Records an error of the current parse: message id, its argument, and the
// result the parse reports.
void rcPrsFail(rcPrsContext *ctx, uint16_t id, const char *arg, int result);

// Checks used by the grammar actions.
bool rcPrsCheckDateLiteral(uint32_t sqlType, const char *quoted);
