// Scalar functions known to the SQL front end, the CONVERT type names, and
// the check of every scalar-function call of a parse tree.
#pragma once

#include <cstdint>

#include "driver/frontend/rcprs.h"

// Argument kinds.
enum : uint8_t {
    RC_FN_ARG_ANY = 0,
    RC_FN_ARG_CHAR = 1,
    RC_FN_ARG_NUMERIC = 2,
    RC_FN_ARG_DATE = 5,
    RC_FN_ARG_INTEGER = 6,
};

struct rcScalarFnEntry {
    const char *name;
    uint8_t code; // function code run by expression programs
    uint16_t argCount;
    uint8_t argKind[3];
};

// Function codes with a meaning outside the expression programs.
enum : uint8_t {
    RC_FN_CONVERT = 2,
    RC_FN_QUARTER = 26,
};

// The table, searched in order; its size in count.
const rcScalarFnEntry *rcPrsScalarFnTable(int *count);
// The entry a checked ScalarFn node stores in its attribute: index + 1.
const rcScalarFnEntry *rcPrsScalarFnOf(const rcParseNode *fn);

// Checks a ScalarFn node: name and argument count against the table; stores
// the entry in the node's attribute; rewrites the target type of CONVERT.
// Returns 1, or 0 with the message recorded (1520, 1521, 1525).
int rcPrsCheckScalarFnNode(rcParseNode *fn);

// CONVERT type names: name -> SQL type code (0 when unknown), and back.
int16_t rcPrsConvertTypeCode(const char *name);
bool rcPrsConvertTypeName(int16_t code, const char **name);

// Typing of a call. SQL types: 1 CHAR, 4 INTEGER, 9 DATE, 10 TIME, 12 VARCHAR.
struct rcScalarFnType {
    int16_t sqlType;
    uint32_t length;
};
// The result type of a checked call, given the type of its first argument
// (used by the functions whose result takes it over). QUARTER gives INTEGER
// like MONTH.
rcScalarFnType rcPrsScalarFnResultType(const rcScalarFnEntry *fn, rcScalarFnType firstArgument);
// The type an untyped parameter takes at argument position (0-based); false
// when the function accepts no parameter there.
bool rcPrsScalarFnParamType(const rcScalarFnEntry *fn, int position, rcScalarFnType *type);
// Whether a value of the SQL type suits an argument kind.
bool rcPrsScalarFnKindAccepts(uint8_t kind, int16_t sqlType);

// The quarter (1-4) of a month (1-12); 0 for a month out of range.
int rcFnQuarterOfMonth(int month);

// Checks the quoted text of a date (9), time (10) or timestamp (11)
// literal: the content must be of exactly that kind and valid.
bool rcPrsCheckDateLiteral(uint32_t sqlType, const char *quoted);
