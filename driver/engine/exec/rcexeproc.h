// Stored procedure calls ({call p(...)} and {? = call p(...)}) over the
// table-access layer.
//
// Interface and legal order (one rcPrcCall per prepared call statement):
//   rcPrcPrepare(call, dm, database, name, args, errors)   opens the procedure,
//       reads its column descriptions and checks the call's arguments against
//       them; 0, or -1 after posting (the procedure is closed again)
//   rcPrcExecute(call, io, errors)     any number of times: passes the input
//       argument array, receives the output array and writes the outputs
//       back; 0, 1 (a value was cut: 01004 posted), -1 after posting
//   rcPrcFetch(call, errors)           for a procedure with result columns:
//       0 a row, 100 no more rows, -1 after posting
//   rcPrcGetColumn(call, k, ...)       a result column of the current row
//   rcPrcClose(call)                   closes the procedure (statement reset)
//   rcPrcClearCursor(call)             forgets the procedure's handle without
//                                      closing it (its tables were closed)
//
// The data module is reached through an rcPrcDataModule: rcPrcTamModule gives
// the table-access layer's (the data module of this system answers every
// procedure call with -1001, so preparation fails with 11002 "API not
// supported"); tests hand in a data module of their own that has procedures.
//
// The procedure's column descriptions (one row per argument or result
// column, in order) give a name, a use (SQL_PARAM_INPUT,
// SQL_PARAM_INPUT_OUTPUT, SQL_PARAM_OUTPUT, SQL_RETURN_VALUE, SQL_RESULT_COL),
// an SQL type, a length and a scale. The argument arrays handed to the data
// module hold one rcPrcArgValue per input (or output) argument, in argument
// order; each names its argument's position (0 the return value, then 1, 2 ...).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/engine/expr/rcexp.h"

struct rcErrorQueue;
struct TamSession;
struct TamTableHandle;

constexpr uint32_t RC_PRC_NAME_MAX = 64;    // longest procedure name
constexpr uint32_t RC_PRC_MAX_DATA = 65500; // largest argument value in bytes

// A column description of a procedure.
struct rcPrcColumnDesc {
    char name[RC_PRC_NAME_MAX + 1];
    uint16_t use; // SQL_PARAM_INPUT .. SQL_RETURN_VALUE, SQL_RESULT_COL
    int16_t sqlType;
    uint32_t length;
    int16_t scale;
};

// An argument value crossing to or from the data module.
struct rcPrcArgValue {
    uint16_t position; // 0 the return value, then the arguments from 1
    int16_t sqlType;
    uint32_t length;   // bytes of the value (input), bytes written (output)
    uint32_t isNull;   // 1 NULL
    void *data;        // the value in the C form of its SQL type
    uint32_t capacity; // output: bytes the data module may write
};
struct rcPrcArgArray {
    uint32_t count;
    rcPrcArgValue *values;
};

struct rcPrcDataModule {
    // 0 and the procedure's handle, or a negative data-module code.
    int32_t (*open)(void *ctx, const char *database, const char *name,
                    TamTableHandle **handle) = nullptr;
    // Every column description of the procedure, in order; 0 or a code.
    int32_t (*describe)(void *ctx, TamTableHandle *procedure,
                        std::vector<rcPrcColumnDesc> *out) = nullptr;
    // Runs the procedure; 0 or a code.
    int32_t (*execute)(void *ctx, TamTableHandle *procedure, rcPrcArgArray *in,
                       rcPrcArgArray *out) = nullptr;
    // Result rows: 0x80000000 the first, 1 the next; -1603 past the last.
    int32_t (*move)(void *ctx, TamTableHandle *procedure, int32_t direction) = nullptr;
    // A result column (from 1) of the current row, as TamGetColumn reads it.
    int32_t (*column)(void *ctx, TamTableHandle *procedure, uint32_t column, void *buffer,
                      uint32_t length, uint32_t *outLength, int16_t sqlType) = nullptr;
    void (*close)(void *ctx, TamTableHandle *procedure) = nullptr;
    void *ctx = nullptr;
};

rcPrcDataModule rcPrcTamModule(TamSession *session);

// An argument of the call as written.
enum : uint8_t { RC_PRC_ARG_PARAM = 1, RC_PRC_ARG_LITERAL = 2, RC_PRC_ARG_OTHER = 3 };
struct rcPrcCallArg {
    uint8_t kind = RC_PRC_ARG_OTHER;
    uint32_t param = 0;  // dynamic parameter number (from 0)
    std::string literal; // the literal's value as text
    bool literalIsText = false;
};
// The call as written: the name, whether it is {? = call ...} (the return
// value then goes to parameter 0), the arguments.
struct rcPrcCallText {
    std::string name;
    bool returnValue = false;
    uint32_t returnParam = 0;
    std::vector<rcPrcCallArg> args;
};

// Flags of a prepared call.
enum : uint32_t {
    RC_PRC_RESULTS = 0x1, // the procedure returns result columns
    RC_PRC_INPUT = 0x2,   // it has input arguments
    RC_PRC_OUTPUT = 0x4,  // it has output arguments
    RC_PRC_RETURN = 0x8,  // it returns a value
};

struct rcPrcCall {
    uint32_t flags = 0;
    char name[RC_PRC_NAME_MAX + 1] = {};
    TamTableHandle *handle = nullptr;
    uint16_t fetched = 0;
    rcPrcDataModule dm;
    std::vector<rcPrcColumnDesc> arguments; // the return value first, then the arguments
    std::vector<rcPrcColumnDesc> results;   // result columns
    std::vector<rcPrcCallArg> bound;        // what the call gives each entry of arguments
    rcExpEnv env;                           // conversions of argument values
    bool envReady = false;
};

// The application's parameters at execution.
struct rcPrcParamIo {
    // The value of parameter number (from 0): 0, or -1 after posting.
    int16_t (*value)(void *ctx, uint32_t number, rcExpValue *out) = nullptr;
    // How the application bound it: SQL_PARAM_INPUT, SQL_PARAM_INPUT_OUTPUT
    // or SQL_PARAM_OUTPUT.
    int16_t (*use)(void *ctx, uint32_t number) = nullptr;
    // Writes an output value into parameter number: 0, 1 cut, -1 failed.
    int16_t (*output)(void *ctx, uint32_t number, const rcExpValue &value) = nullptr;
    void *ctx = nullptr;
};

int16_t rcPrcPrepare(rcPrcCall *call, const rcPrcDataModule &dm, const char *database,
                     const rcPrcCallText &text, rcErrorQueue *errors);
int16_t rcPrcExecute(rcPrcCall *call, const rcPrcParamIo &io, rcErrorQueue *errors);
int16_t rcPrcFetch(rcPrcCall *call, rcErrorQueue *errors);
int16_t rcPrcGetColumn(rcPrcCall *call, uint16_t column, void *buffer, uint32_t length,
                       uint32_t *outLength, bool *isNull, rcErrorQueue *errors);
void rcPrcClose(rcPrcCall *call);
void rcPrcClearCursor(rcPrcCall *call);
