// Dynamic parameters of a statement: the engine's copy of each bound value,
// checked against the type the semantic checks gave its "?" marker and
// converted to that type once per execution.
//
// Interface and legal order (the ODBC layer drives it, one statement at a
// time under the statement's connection lock):
//   rcPrmSetExpected(stmt, root)         at preparation: the expected type
//                                        of every marker of the prepared tree
//   rcPrmNewExecution(stmt)              at each execution: no value of an
//                                        earlier one is left
//   for every bound parameter index:
//     rcPrmCheckData(stmt, index, c, t)  the binding's SQL type against the
//                                        expected one
//     rcPrmPutData(stmt, index, binding) converts the binding's value into the
//                                        descriptor (0, 1 cut, -1 posted)
//   rcPrmValue (the planner's and the expression programs' `param` reader)
//                                        any number of times while the
//                                        statement runs: the converted value,
//                                        no work per row
//   rcPrmFreeAll(stmt)                   frees them (the statement's drop
//                                        does too)
//
// The descriptors hang on rcStmt::params and keep their buffers from one
// execution to the next, so executing again (or the next row of a parameter
// array) converts into memory it already has.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/engine/expr/rcexp.h"
#include "driver/engine/rcsem.h"

struct rcStmt;
struct rcParseNode;

// Flags of a descriptor.
enum : uint8_t {
    RC_PRM_NO_VALUE = 0x1, // NULL (or, for data at execution, the value is complete)
    RC_PRM_PENDING = 0x2,  // the value arrives at execution
};

// Type a marker has when nothing gave it one.
constexpr int16_t RC_PRM_UNTYPED = RC_SEM_UNTYPED;

// What the ODBC layer hands over for one parameter at execution.
struct rcPrmBinding {
    int16_t cType = SQL_C_CHAR;
    int16_t sqlType = SQL_CHAR; // the binding's SQL type as an engine type
    int16_t scale = 0;
    uint16_t paramType = SQL_PARAM_INPUT;
    const void *value = nullptr; // null: no value
    int64_t length = 0;          // bytes of a character or binary value
    int64_t bufferLength = 0;    // the application's buffer size; <= 0 not given
    int64_t indicator = 0;       // the length/indicator's value; 0 when none
};

struct rcPrmDescriptor {
    uint16_t number = 0;                   // from 1
    int16_t expectedType = RC_PRM_UNTYPED; // engine type the statement expects
    uint16_t expectedPrecision = 0;
    int16_t expectedScale = 0;
    int16_t cType = 0;
    int16_t sqlType = 0;
    int16_t scale = 0;
    int64_t indicator = 0;
    uint8_t flags = 0;
    rcExpValue value;         // the converted value of this execution
    std::vector<char> buffer; // its bytes for character and binary values
};

struct rcPrmStore {
    std::vector<rcPrmDescriptor> list;
    uint16_t count = 0; // markers of the prepared statement
};

// The descriptor at index (from 0), made with the ones before it when
// missing. 0, or -1 with 5136 posted.
int16_t rcPrmDescriptorAt(rcStmt *stmt, uint16_t index, rcPrmDescriptor **out);

// Reads the expected type of every marker of the tree (root and the nodes
// after it, a parameter type list excepted) and the marker count. 0, or -1.
int16_t rcPrmSetExpected(rcStmt *stmt, const rcParseNode *root, uint16_t count);
// Forgets the values of the last execution (every descriptor without a
// value); the expected types stay.
void rcPrmNewExecution(rcStmt *stmt);

// Checks the binding's SQL type (an engine type) against what the statement
// expects of parameter index: 0, or -1 with 11423 posted.
int16_t rcPrmCheckData(rcStmt *stmt, uint16_t index, int16_t cType, int16_t sqlType);

// Takes the binding's value for parameter index: checks it, converts it to
// the expected type and keeps the result. 0, 1 (a value was cut, 01004
// posted), or -1 after posting.
int16_t rcPrmPutData(rcStmt *stmt, uint16_t index, const rcPrmBinding &binding);

// The `param` reader of rcPlnStmt and rcExpEnv: ctx is the rcStmt; number
// from 0. 0, or -1 after posting (a marker without a value: 07001).
int16_t rcPrmValue(void *ctx, uint32_t number, rcExpValue *out);

// The type check alone: expected engine type e against given type g.
bool rcPrmTypesMatch(int16_t expected, int16_t given);

// Frees every descriptor and the store (the statement's drop does too).
void rcPrmFreeAll(rcStmt *stmt);
