// Expression and filter programs: value expressions and search conditions of
// a statement compiled once at prepare time and run for every row.
//
// Interface and legal order (one rcExpEnv per statement, owned by it):
//   rcExpEnvInit(env)                     zeroes, sets limits; the owner fills
//                                         errors, connection facts and hooks
//   rcExpCompile(env, node, &slot, want)  any number of times (prepare)
//   rcFltCompile(env, cond, &filter)      any number of times (prepare)
//   rcExpEvaluate / rcExpEvalValue        per row and per column
//   rcFltRun(env, filter, &passed)        per row
//   rcExpEnvFree(env)                     statement reset or drop
// Slots and filters are numbered from 1; 0 names nothing. Numbers are 32 bits
// wide, so a statement with any number of expressions never evaluates the
// wrong one; the code size is bounded by env->maxCode (refused with 5136).
//
// Algorithm: each expression becomes a run of postfix instructions in the
// program's code vector (push operand, operator, scalar function, end) with a
// slot record giving its type and the stack depth it needs. Running a slot
// works on typed values (rcExpValue) in a stack that is sized at compile time
// and reused; texts made while running (concatenation, functions) go to an
// arena that is emptied at the start of each outermost run and keeps its
// chunks, so numbers, short texts and dates cost no allocation per row.
// Conditions compile to truth-value programs with standard three-valued logic
// and short-circuit jumps (AND stops at FALSE, OR at TRUE) from the first row.
//
// The compiler reads trees as the semantic checks leave them: see
// rcExpTreeHooks for what it asks of a typed tree. Runtime values that other
// parts of the engine own (parameters, set functions, temporary-table
// columns, subqueries) come through rcExpRuntimeHooks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include <sql.h>
#include <sqlext.h>

#include "driver/core/rcnum.h"

struct rcParseNode;
struct rcErrorQueue;
struct rcEvlColumnRef;

using rcExpSlot = uint32_t; // 0: no expression
using rcFltId = uint32_t;   // 0: no filter

// Truth values of conditions.
enum rcTruth : uint8_t {
    RC_TRUE = 1,
    RC_FALSE = 2,
    RC_UNKNOWN = 3,
};

// Results of evaluation steps.
enum : int16_t {
    RC_EXP_OK = 0,
    RC_EXP_WARNING = 1, // a value was cut (truncation)
    RC_EXP_NULL = 104,  // an operation's result is NULL
    RC_EXP_ERROR = -1,  // an error was posted
};
// The subquery hook's answer for UNKNOWN.
constexpr int16_t RC_EXP_SUBQUERY_UNKNOWN = 103;

// The type record of a typed parse node.
struct rcExpType {
    int16_t sqlType = 0;
    uint32_t length = 0;
    uint16_t precision = 0;
    uint16_t scale = 0;
};

// A typed value. Character and binary values point at their bytes (always
// followed by a NUL for character types) and carry their length; every other
// type is held inline.
struct rcExpValue {
    int16_t type = 0;
    uint8_t isNull = 0;
    uint8_t spare = 0;
    uint32_t length = 0;        // bytes of text or binary
    const char *text = nullptr; // character and binary values
    union {
        uint8_t u8;
        int16_t i16;
        int32_t i32;
        int64_t i64;
        float f32;
        double f64;
        DATE_STRUCT date;
        TIME_STRUCT time;
        TIMESTAMP_STRUCT ts;
        MultiPrecisionNumber num;
        unsigned char raw[40];
    } v{};
};

// What the compiler asks of a typed tree. `typeOf` gives the type record
// that the semantic checks attached to a value node (Expression, and the
// ScalarFn, IFCondExpr and SetFunctionRef under it); `columnOf` the column of
// a resolved ColName; `fnCode` the function code (1-44) of a checked ScalarFn;
// `setFunctionOf`, `tempColumnOf` and `subqueryOf` an opaque handle of the
// set-function node, temporary-table column or subquery plan node that the
// planner made for the node. A dynamic parameter's number is the node's
// second attribute word; a CONVERT target's SQL type code its attribute; a
// binary Expression's second attribute word, when it is DATE, TIME,
// TIMESTAMP or RC_SQL_DECIMAL38, the working type its character literals
// are converted to at compile time.
struct rcExpTreeHooks {
    bool (*typeOf)(void *ctx, const rcParseNode *node, rcExpType *out) = nullptr;
    const rcEvlColumnRef *(*columnOf)(void *ctx, const rcParseNode *colName) = nullptr;
    int (*fnCode)(void *ctx, const rcParseNode *scalarFn) = nullptr;
    void *(*setFunctionOf)(void *ctx, const rcParseNode *node, rcExpType *type) = nullptr;
    void *(*tempColumnOf)(void *ctx, const rcParseNode *node, rcExpType *type) = nullptr;
    void *(*subqueryOf)(void *ctx, const rcParseNode *node) = nullptr;
};

// Values owned by other parts at run time. Each fills `out` (type, isNull,
// value; texts may point into the owner's memory, valid until the next row)
// and returns 0, or -1 after posting an error. `subquery` answers the
// subquery test for the current outer row: 0 TRUE, 100 FALSE,
// RC_EXP_SUBQUERY_UNKNOWN UNKNOWN, -1 error.
struct rcExpRuntimeHooks {
    int16_t (*param)(void *ctx, uint32_t number, rcExpValue *out) = nullptr;
    int16_t (*setFunction)(void *ctx, void *handle, rcExpValue *out) = nullptr;
    int16_t (*tempColumn)(void *ctx, void *handle, rcExpValue *out) = nullptr;
    int16_t (*subquery)(void *ctx, void *handle) = nullptr;
};

// Vendor predicates: predicates of the data module's own, called by name in
// SQL text ({pred name, arg, ...}) and evaluated by the data module.
// `predicateOf` gives the data module's description of the predicate that a
// resolved name node names (null: none); `sqlTypeOf` maps a data-module
// column type to its SQL type and `drmTypeOf` back (false: no mapping);
// `columnIdOf` gives the (table, column) identifiers the data module knows a
// column by (null hook: the table-access cursor of a table-access column).
struct TamExtPredicate;
struct TamSession;
struct rcExpVendorHooks {
    const TamExtPredicate *(*predicateOf)(void *ctx, const rcParseNode *name) = nullptr;
    bool (*sqlTypeOf)(void *ctx, uint32_t drmType, int16_t *sqlType) = nullptr;
    bool (*drmTypeOf)(void *ctx, int16_t sqlType, uint32_t *drmType) = nullptr;
    bool (*columnIdOf)(void *ctx, const rcEvlColumnRef *column, uint32_t *table,
                       uint32_t *id) = nullptr;
};
// Posts 11486 on errors, naming the predicate that is not the data
// source's; answers -1.
int16_t rcExpPostUnknownPredicate(rcErrorQueue *errors, const char *name);
// The table-access call that runs a vendor predicate (TamExecExtPredicate
// unless replaced): (session, predicate number, descriptor block, data block)
// -> negative data-module code, or 1 TRUE, 2 UNKNOWN, other FALSE.
using rcExpExecExtPredicateFn = int32_t (*)(TamSession *, uint32_t, const uint32_t *,
                                            const uint32_t *);

struct ExprProgram;
struct FilterProgram;

// Limits (parameters, so tests can shrink them).
constexpr uint32_t RC_EXP_MAX_CODE = 1u << 20;      // instructions of all expressions
constexpr uint32_t RC_FLT_MAX_CODE = 1u << 20;      // records of all filters
constexpr uint32_t RC_EXP_MAX_DEPTH = 4096;         // nesting of expressions and conditions
constexpr uint32_t RC_EXP_MAX_TEXT = 65500;         // longest text an operation makes
constexpr uint32_t RC_FLT_VENDOR_DATA_WORDS = 8000; // argument data of one vendor predicate call

struct rcExpEnv {
    rcErrorQueue *errors = nullptr; // the statement's error queue
    // Connection facts.
    const char *userName = "";       // USER
    const char *database = "";       // DATABASE()
    bool textCaseSensitive = false;  // LIKE compares exactly
    bool sourceHasDecimal38 = false; // decimal literals become RC_SQL_DECIMAL38
    int16_t numPrecision = 38;       // precision and scale of private numerics
    int16_t numScale = 4;
    // Hooks.
    rcExpTreeHooks tree;
    void *treeCtx = nullptr;
    rcExpRuntimeHooks rt;
    void *rtCtx = nullptr;
    rcExpVendorHooks vendor;
    void *vendorCtx = nullptr;
    TamSession *session = nullptr;                      // the connection's data-module session
    rcExpExecExtPredicateFn execExtPredicate = nullptr; // null: TamExecExtPredicate
    // Limits.
    uint32_t maxCode = RC_EXP_MAX_CODE;
    uint32_t maxFilterCode = RC_FLT_MAX_CODE;
    uint32_t maxDepth = RC_EXP_MAX_DEPTH;
    uint32_t maxVendorWords = RC_FLT_VENDOR_DATA_WORDS;
    // Programs, made on first use.
    ExprProgram *expr = nullptr;
    FilterProgram *filter = nullptr;
};

void rcExpEnvInit(rcExpEnv *env);
void rcExpEnvFree(rcExpEnv *env);

// Expression programs.
int16_t rcExpNewProgram(rcExpEnv *env);
void rcExpFreeProgram(rcExpEnv *env);
// Compiles a value node; wantedType 0, or a type literals are converted to
// at compile time (9, 10, 11, RC_SQL_DECIMAL38, RC_SQL_SCALED64). With
// RC_SQL_DECIMAL38 the slot's type is RC_SQL_DECIMAL38.
int16_t rcExpCompile(rcExpEnv *env, const rcParseNode *node, rcExpSlot *slot, int16_t wantedType);
// A slot that reads a dynamic parameter straight through.
int16_t rcExpCompileParam(rcExpEnv *env, uint32_t number, const rcExpType &type, rcExpSlot *slot);
// A slot that reads a column straight through.
int16_t rcExpCompileColumn(rcExpEnv *env, const rcEvlColumnRef *column, rcExpSlot *slot);
int16_t rcExpSlotType(const rcExpEnv *env, rcExpSlot slot);
uint32_t rcExpSlotLength(const rcExpEnv *env, rcExpSlot slot);
uint16_t rcExpSlotPrecision(const rcExpEnv *env, rcExpSlot slot); // 65535 for slot 0
uint16_t rcExpSlotScale(const rcExpEnv *env, rcExpSlot slot);     // 65535 for slot 0
bool rcExpSlotDirect(const rcExpEnv *env, rcExpSlot slot);
// The column a slot reads straight through (a plain column), else null.
const rcEvlColumnRef *rcExpSlotColumn(const rcExpEnv *env, rcExpSlot slot);
// The type a comparison of two values is made in (0: as they are).
int16_t rcExpResultType(int16_t a, int16_t b);
// The result type of arithmetic (op '+', '-', '*', '/').
int16_t rcExpArithType(int16_t left, int16_t right, char op);

// Runs a slot and leaves its value in *out (texts valid until the next
// outermost run). 0, or -1 after posting; a NULL result gives 0 with isNull.
int16_t rcExpEvalValue(rcExpEnv *env, rcExpSlot slot, rcExpValue *out);
// Runs a slot into the caller's buffer converted to wantedType (an SQL type
// or an application C type). 0, 1 (truncated) or -1; NULL gives 0 with
// *outLength 0 and *isNull 1. pieceOffset: bytes of a text or binary value
// delivered by earlier calls.
int16_t rcExpEvaluate(rcExpEnv *env, rcExpSlot slot, int16_t wantedType, void *buffer,
                      int32_t bufferLength, int32_t *outLength, uint32_t pieceOffset, bool *isNull);
// The longest text of a number, a date or a time.
constexpr int32_t RC_EXP_NUMBER_TEXT_MAX = 160;
// A number (SMALLINT, INTEGER, REAL, FLOAT or DOUBLE, `value` in its C
// form) as text in `buffer`, terminated: what rcExpEvaluate gives for a
// column of that type wanted as SQL_C_CHAR. False (nothing promised of the
// buffer) for another type, a buffer shorter than RC_EXP_NUMBER_TEXT_MAX or
// a number that the converter does not simply write.
bool rcExpNumberAsText(rcExpEnv *env, int16_t sqlType, const void *value, char *buffer,
                       int32_t bufferLength, int32_t *outLength);
// The types rcExpNumberAsText writes: SMALLINT, INTEGER, REAL, FLOAT, DOUBLE.
bool rcExpIsTextNumber(int16_t sqlType);
// Evaluates into a buffer of its own (rcMemAlloc; the caller frees it with
// rcMemFree) sized for the type: character types the slot length + 1 but at
// most 256, INTEGER 4, SMALLINT 2, DATE and TIME 6, TIMESTAMP 16,
// RC_SQL_DECIMAL38 38, others 8. A longer value is cut (result 1). *buffer is
// null for NULL. 0, 1, or -1 (5136 when the buffer cannot be had).
int16_t rcExpEvaluateAlloc(rcExpEnv *env, rcExpSlot slot, int16_t type, void **buffer,
                           int32_t *outLength, uint32_t pieceOffset);
// Converts a value to wantedType into a buffer (the last step of rcExpEvaluate).
int16_t rcExpConvertValue(rcExpEnv *env, const rcExpValue &value, int16_t wantedType, void *buffer,
                          int32_t bufferLength, int32_t *outLength, uint32_t pieceOffset);

// Filter programs.
int16_t rcFltNewProgram(rcExpEnv *env);
void rcFltFreeProgram(rcExpEnv *env);
// Compiles a search condition (SearchCond, BooleanPrimary, Predicate or a
// predicate node). 0, 1 (a warning was posted) or -1.
int16_t rcFltCompile(rcExpEnv *env, const rcParseNode *cond, rcFltId *filter);
// One comparison of two slots; tokenOp an RC_T_EQ .. RC_T_NE token id. With
// right 0: left IS NOT NULL.
int16_t rcFltCompileColumn(rcExpEnv *env, rcExpSlot left, rcExpSlot right, uint16_t tokenOp,
                           rcFltId *filter);
// slot NOT LIKE pattern.
int16_t rcFltCompileLiteral(rcExpEnv *env, rcExpSlot slot, const char *pattern, rcFltId *filter);
// Runs a filter for the current row: *passed 1 for TRUE, 0 for FALSE or
// UNKNOWN. 0, or -1 after posting.
int16_t rcFltRun(rcExpEnv *env, rcFltId filter, int *passed);
// The same, giving the truth value.
int16_t rcFltRunTruth(rcExpEnv *env, rcFltId filter, rcTruth *truth);
// The predicate text kept for messages.
const char *rcFltText(const rcExpEnv *env, rcFltId filter);

// Value helpers shared by programs, scalar functions and tests.
// Orders two non-NULL values after promoting them to one type; -1, 0, 1 in
// *order. 0, or -1 after posting (values that cannot be compared).
int16_t rcExpCompareValues(rcExpEnv *env, const rcExpValue &a, const rcExpValue &b, int *order);
// The driver's text comparison: Windows-1252, case-insensitive, trailing
// blanks not counting.
int rcExpCompareText(const char *a, size_t lenA, const char *b, size_t lenB);
bool rcExpIsIntegerType(int16_t t);
bool rcExpIsNumericType(int16_t t);
// An integer-typed value (BIT, TINYINT, SMALLINT, INTEGER, BIGINT) as
// int64; false for any other type.
bool rcExpToInt64(const rcExpValue &v, int64_t *out);
// A numeric value as double; false when it is not numeric.
bool rcExpToDouble(const rcExpValue &v, double *out, int16_t scale);
