// The SQL parser: text of one statement -> tree of rcParseNode in an arena.
//
// Error returns in the SQL front end: the parser answers an RC_PRS_* result
// (RC_PRS_OK is 1) and keeps the message of a failure for rcPrsPostLastError;
// the connection-side routines (fe_*.h: transactions, options, driver
// information, dialogs) return 0, or -1 once their message is posted on the
// connection's or statement's queue; rcDrmGetInfo* answer the data module's
// code unposted.
//
// Interface: make an arena (rcPrsNewArena), parse into it (rcPrsParseLocked,
// or rcPrsParse when the engine lock is already held), walk the tree with the
// node operations (rcprsnode.h), free the arena as a whole (rcPrsFreeArena). After a
// failed parse, rcPrsLastErrorId/Text/Pos describe the error.
//
// Every token of the text is a leaf of the tree, punctuation and keywords
// included, in text order; only the escape brackets ("{", "}", the vendor
// brackets and the escape labels) leave no node: the escape's content takes
// its place, so {fn ucase(a)} and ucase(a) give the same tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "driver/core/rcmsgid.h"
#include "driver/engine/tree/rcmempool.h"
#include "driver/engine/tree/rcprsnode.h"
#include "driver/engine/tree/rcprssym.h"

// Results of rcPrsParse.
enum : int {
    RC_PRS_SYNTAX = 0, // syntax or grammar error, message recorded
    RC_PRS_OK = 1,
    RC_PRS_NOMEM = 2,   // arena full (1503)
    RC_PRS_PASS2 = 3,   // the scalar-function check or second pass failed
    RC_PRS_PASS13 = 4,  // first or third pass failed, or too many columns
    RC_PRS_TOOLONG = 5, // a token too long (1522)
};

// Parser message ids (texts in the driver's string table).
enum : uint16_t {
    RC_PRS_MSG_SYNTAX = RC_PARSE_SYNTAX_ERROR,
    RC_PRS_MSG_NOMEM = RC_PARSE_GLOBAL_MEMORY_FULL,
    RC_PRS_MSG_IDENT_LONG = RC_PARSE_IDENTIFIER_TOO_LONG_MAXIMUM_DATABASE,
    RC_PRS_MSG_USER_LONG = RC_PARSE_USER_NAME_TOO_LONG_MAX,
    RC_PRS_MSG_RESERVED = RC_PARSE_RESERVED_KEYWORD_NOT_ALLOWED,
    RC_PRS_MSG_FN_COUNT = RC_PARSE_INVALID_PARAMETER_COUNT_SCALAR_FUNCTION,
    RC_PRS_MSG_FN_NAME = RC_PARSE_INVALID_SCALAR_FUNCTION,
    RC_PRS_MSG_TOKEN_LONG = RC_PARSE_TOKEN_VALUE_EXCEEDED_MAXIMUM_LENGTH,
    RC_PRS_MSG_CONVERT = RC_PARSE_SECOND_PARAMETER_CONVERT_INVALID,
    RC_PRS_MSG_PATH_QUOTES = RC_PARSE_QUOTE_LOCATIONS_PATH_ARE_NOT,
    RC_PRS_MSG_CREATE_COLS = RC_PARSE_TOO_MANY_COLUMNS_CREATE_STATEMENT,
    RC_PRS_MSG_IN_VALUES = RC_PARSE_MAXIMUM_NUMBER_VALUES_EXCEEDED,
    RC_PRS_MSG_DATETIME = RC_PARSE_INVALID_TS_D_T_LABEL,
    RC_PRS_MSG_SELECT_COLS = RC_PARSE_MAXIMUM_NUMBER_RESULT_COLUMNS_EXCEEDED,
    RC_PRS_MSG_FREE_TEXT = 65535,
};

rcMemPool rcPrsNewArena();
void rcPrsFreeArena(rcMemPool arena);

// Parses text into the arena. Escapes ("{", the vendor brackets) are
// accepted only when escapes is true.
int rcPrsParse(rcMemPool arena, const char *text, rcParseNode **root, bool escapes);
// The same under the engine lock.
int rcPrsParseLocked(rcMemPool arena, const char *text, rcParseNode **root, bool escapes);

// Limits checked while parsing: column definitions of CREATE TABLE and
// expression items of all select lists of a statement.
void rcPrsSetLimits(uint16_t maxCreateColumns, uint16_t maxSelectItems);

// The last recorded parse error (of the calling thread's last parse).
// Statement preparation posts its text as the text of message 5124.
uint16_t rcPrsLastErrorId();
const char *rcPrsLastErrorText();
long rcPrsErrorPos();

struct rcErrorQueue;
// Posts the last parse error on a queue: message 5124 with the parser's
// text as the record's text. Returns -1 (the error is posted).
int rcPrsPostLastError(rcErrorQueue *queue);

// Further checks run on the linked tree by rcPrsParse: the first, second and
// third parse-time passes of the semantic checks. Each returns true to go
// on; on failure it records its message with rcPrsRecordError. Unset hooks
// are skipped.
struct rcPrsPassHooks {
    bool (*pass1)(rcParseNode *root) = nullptr;
    bool (*pass2)(rcParseNode *root) = nullptr;
    bool (*pass3)(rcParseNode *root) = nullptr;
};
void rcPrsSetPassHooks(const rcPrsPassHooks &hooks);
// Records a parse error: the message text of id formatted with arg.
void rcPrsRecordError(uint16_t id, const char *arg = nullptr);
// Records a free-text error (id 65535): the two parts joined.
void rcPrsRecordFreeText(const char *first, const char *second);
// The message text of a parser message id.
const char *rcPrsMessageText(uint16_t id);
