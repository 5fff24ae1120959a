// Inside of the expression and filter programs: instruction and program
// layouts shared by the compiler, the interpreter, the scalar functions and
// the filter programs. Not for callers outside driver/engine/expr.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "driver/engine/expr/rcevl.h"
#include "driver/engine/expr/rcexp.h"

// Operations of expression programs.
enum rcExpOp : uint8_t {
    RC_OP_PUSH_CONST = 1, // a = constant index
    RC_OP_PUSH_COLUMN,    // ptr = column, a = buffer index, b = buffer size
    RC_OP_PUSH_PARAM,     // a = parameter number
    RC_OP_PUSH_SETFN,     // ptr = handle
    RC_OP_PUSH_TEMPCOL,   // ptr = handle
    RC_OP_PUSH_IF,        // a = filter, b = then slot, c = else slot
    RC_OP_ADD,
    RC_OP_SUB,
    RC_OP_MUL,
    RC_OP_DIV,
    RC_OP_NEG,
    RC_OP_FN,   // fn = function operation, a = argument count
    RC_OP_JUMP, // a = instruction to continue at
    RC_OP_END,
};

// Function operations (the interpreter's numbering of scalar functions).
enum rcExpFnOp : uint8_t {
    RC_FN_OP_LEFT = 11,
    RC_FN_OP_RIGHT = 12,
    RC_FN_OP_LTRIM = 13,
    RC_FN_OP_RTRIM = 14,
    RC_FN_OP_LENGTH = 15,
    RC_FN_OP_LCASE = 16,
    RC_FN_OP_UCASE = 17,
    RC_FN_OP_SUBSTRING = 18,
    RC_FN_OP_CURDATE = 19,
    RC_FN_OP_MONTH = 20,
    RC_FN_OP_YEAR = 21,
    RC_FN_OP_USER = 22,
    RC_FN_OP_DATABASE = 23,
    RC_FN_OP_MOD = 24,
    RC_FN_OP_CONVERT = 25,
    RC_FN_OP_DAY = 26,
    RC_FN_OP_DAYOFMONTH = 27,
    RC_FN_OP_DAYOFWEEK = 28,
    RC_FN_OP_DAYOFYEAR = 29,
    RC_FN_OP_CURTIME = 30,
    RC_FN_OP_NULL = 31,
    RC_FN_OP_LOCATE = 32,
    RC_FN_OP_CONCAT = 33,
    RC_FN_OP_RAND = 34,
    RC_FN_OP_QUARTER = 35,
};

struct rcExpInstr {
    uint8_t op = 0;
    uint8_t fn = 0;
    int16_t type = 0;
    uint32_t a = 0;
    uint32_t b = 0;
    uint32_t c = 0;
    const void *ptr = nullptr;
};

struct rcExpSlotInfo {
    rcExpType type;
    uint32_t start = 0;  // first instruction
    uint32_t depth = 0;  // stack entries the run needs
    bool direct = false; // one column or parameter read straight through
};

// Chunks that keep their memory across resets: texts made during a run live
// until the next outermost run starts.
class rcExpArena {
public:
    char *alloc(size_t n);
    void reset()
    {
        cur_ = 0;
        used_ = 0;
    }
    size_t chunkCount() const { return chunks_.size(); }

private:
    struct Chunk {
        std::unique_ptr<char[]> data;
        size_t size;
    };
    std::vector<Chunk> chunks_;
    size_t cur_ = 0;
    size_t used_ = 0;
};

struct ExprProgram {
    std::vector<rcExpInstr> code;
    std::vector<rcExpSlotInfo> slots; // slot n at index n - 1
    std::vector<rcExpValue> consts;
    std::vector<std::unique_ptr<char[]>> buffers; // literal texts and column buffers
    std::vector<rcExpValue> stack;
    uint32_t top = 0;
    uint32_t runDepth = 0;  // runs in progress, filter runs included
    uint32_t slotDepth = 0; // expression runs in progress
    rcExpArena arena;
    uint32_t randSeed = 1;
    uint32_t nesting = 0; // compile nesting of expressions and conditions
};

// Filter operations.
enum rcFltOp : uint8_t {
    RC_FLT_COMPARE = 1, // a left slot, b right slot, cmp operator
    RC_FLT_LIKE,        // a value slot, b pattern slot, flag 1 NOT LIKE
    RC_FLT_NULLTEST,    // a slot, flag 1 IS NOT NULL, 2 IS NULL
    RC_FLT_AND,
    RC_FLT_OR,
    RC_FLT_NOT,
    RC_FLT_IN,       // a left slot, b first list entry, c entry count
    RC_FLT_JUMP,     // flag 1 AND, 2 OR; a continue index
    RC_FLT_SUBQUERY, // ptr plan node
    RC_FLT_VENDOR,   // a first argument, b argument count, c predicate number
    RC_FLT_END,
};

// Comparison operators.
enum : uint8_t {
    RC_CMP_EQ = 1,
    RC_CMP_GT = 2,
    RC_CMP_GE = 3,
    RC_CMP_LT = 4,
    RC_CMP_LE = 5,
    RC_CMP_NE = 6,
};

struct rcFltInstr {
    uint8_t op = 0;
    uint8_t cmp = 0;
    uint8_t flag = 0;
    uint32_t a = 0;
    uint32_t b = 0;
    uint32_t c = 0;
    const void *ptr = nullptr;
};

struct rcFltInfo {
    uint32_t start = 0;
    uint32_t depth = 0;    // truth values the run needs
    const char *text = ""; // predicate text for messages
};

// One argument of a vendor predicate.
struct rcFltVendorArg {
    uint32_t drmType = 0;   // data-module column type of a value
    int16_t sqlType = 0;    // the type the value is evaluated in
    bool namedType = false; // false: the common type of all arguments
    rcExpSlot slot = 0;
    const rcEvlColumnRef *column = nullptr; // a bare column, passed by identifier
};

// The call blocks of vendor predicates (32-bit words). Descriptors: word 0 =
// 16 x count + 4, then 4 words per argument. Data: word 0 = bytes used, then
// the arguments.
constexpr uint32_t RC_FLT_VENDOR_DESC_BYTES = 8096;
constexpr uint32_t RC_FLT_VENDOR_MAX_ARGS = (RC_FLT_VENDOR_DESC_BYTES - 4) / 16;

struct FilterProgram {
    std::vector<rcFltInstr> code;
    std::vector<rcFltVendorArg> vendorArgs;
    std::vector<uint32_t> vendorDesc;           // sized when the first vendor predicate is compiled
    std::vector<uint32_t> vendorData;           // word 0 and env->maxVendorWords words of arguments
    std::vector<rcFltInfo> filters;             // filter n at index n - 1
    std::vector<rcExpSlot> inLists;             // IN list entries
    std::vector<std::unique_ptr<char[]>> texts; // predicate texts
    std::vector<uint8_t> stack;
    uint32_t top = 0;
    uint32_t runDepth = 0;
};

// Internal entry points.
// Vendor predicates (rcfltvendor.cpp): a record for the predicate node, its
// arguments appended to f->vendorArgs (false after posting); one run.
bool rcFltCompileVendor(rcExpEnv *env, FilterProgram *f, const rcParseNode *node, rcFltInstr *ins);
int16_t rcFltRunVendor(rcExpEnv *env, FilterProgram *f, const rcFltInstr &ins, rcTruth *truth);
int16_t rcExpRunSlot(rcExpEnv *env, rcExpSlot slot, rcExpValue *out);
int16_t rcEvlScalarFunction(rcExpEnv *env, ExprProgram *p, uint8_t fnOp, rcExpValue *args, int argc,
                            rcExpValue *result);
int16_t rcExpPost(rcExpEnv *env, uint32_t msgId, const char *text = nullptr);
// A value converted to another SQL or C type into *out (inline or arena
// text); 0, 1 truncated, -1 posted.
int16_t rcExpCast(rcExpEnv *env, const rcExpValue &in, int16_t type, rcExpValue *out);
// A number (SMALLINT, INTEGER, REAL, FLOAT, DOUBLE) given as text straight
// into a caller's buffer of at least the longest number text: the text
// rcExpCast to SQL_VARCHAR makes, terminated, without the scratch copy.
// False (nothing delivered) for another type, a smaller buffer or a
// conversion that does not simply succeed: the caller takes the cast.
bool rcExpNumberTextInto(rcExpEnv *env, const rcExpValue &in, char *buffer, int32_t bufferLength,
                         int32_t *outLength);
// The value as text in the arena (NUL-terminated); 0 or -1 posted.
int16_t rcExpAsText(rcExpEnv *env, const rcExpValue &in, const char **text, uint32_t *length);
// The value as a date-time; false when it is none (text is parsed).
bool rcExpAsTimestamp(const rcExpValue &in, TIMESTAMP_STRUCT *out);
char *rcExpArenaAlloc(rcExpEnv *env, size_t n);
// The two values as texts joined in the arena (NUL-terminated), cut at
// RC_EXP_MAX_TEXT: 0, 1 cut (warning), -1 posted. Serves || and CONCAT.
int16_t rcExpConcatText(rcExpEnv *env, const rcExpValue &a, const rcExpValue &b, const char **text,
                        uint32_t *length);
// Compile nesting: false (11431 posted) when env->maxDepth is passed.
bool rcExpEnterNesting(rcExpEnv *env);
void rcExpLeaveNesting(rcExpEnv *env);
// The first child with the id among a node's children; none when absent.
const rcParseNode *rcExpChildOf(const rcParseNode *node, uint16_t id);
