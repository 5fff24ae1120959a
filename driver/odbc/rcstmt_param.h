// Parameters of a statement handle: the application's bindings
// (SQLBindParameter, SQLSetParam, SQLParamOptions), the checks before an
// execution, parameter arrays and the data-at-execution dialogue
// (SQLParamData, SQLPutData).
//
// Legal order on a handle:
//   SQLBindParameter / SQLSetParam (any time; rebinding replaces the record)
//   SQLParamOptions(crow, pirow)     optional: crow rows of values
//   SQLExecute / SQLExecDirect       -> rcStmtExecuteParams(s): for each row
//       checks and converts the bound values (the engine's rcPrm*) and runs
//       the statement once (rcStmtRunPrepared, rcstmt_api.h); a parameter
//       bound with SQL_DATA_AT_EXEC or SQL_LEN_DATA_AT_EXEC(n) stops it with
//       SQL_NEED_DATA, and then
//   SQLParamData                     names the next such parameter (its
//                                    rgbValue as token, SQL_NEED_DATA) or,
//                                    after the last one, runs the row and
//                                    goes on with the next rows
//   SQLPutData (after each SQLParamData that asked for data) appends a piece
//   SQLCancel                        ends the dialogue; the handle is usable
//   SQLFreeStmt(SQL_RESET_PARAMS)    forgets the bindings; SQL_DROP frees them
//
// Pieces are collected in a buffer of the binding (any length, up to the
// limit of the parameter's type); the value reaches the engine only when
// the row runs, so a cancelled dialogue leaves nothing behind.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string>
#include <vector>

struct rcStmtHandle;
struct rcConn;
struct rcTypeEntry;

// Flags of a binding.
enum : uint16_t {
    RC_PARAM_BOUND = 0x2,
    RC_PARAM_PUT = 0x8,        // SQLPutData gave data since SQLParamData named it
    RC_PARAM_CHARACTER = 0x10, // SQL_C_CHAR data
    RC_PARAM_AT_EXEC = 0x40,   // the value comes at execution
};

// Longest total of SQLPutData pieces for one parameter.
constexpr int64_t kRcPutDataMax = 2000000000;

struct rcParamBinding {
    uint32_t number = 0;
    uint16_t paramType = SQL_PARAM_INPUT;
    int16_t cType = 0;
    int16_t sqlType = 0;
    uint64_t precision = 0;
    int16_t scale = 0;
    const void *value = nullptr; // handed to the engine: the row's value or the collected data
    int64_t bufferLength = 0;    // cbValueMax
    SQLLEN *indicator = nullptr; // pcbValue
    int64_t length = 0;          // worked out before execution
    bool isNull = false;
    uint16_t flags = 0;
    std::vector<char> collected; // SQLPutData pieces (a NUL after character data)
    int64_t collectedLength = 0;
    bool collectedNull = false;    // SQLPutData gave SQL_NULL_DATA
    SQLPOINTER appValue = nullptr; // rgbValue as bound; SQLParamData's token
    std::string text;              // the row's text in Windows-1252, when it came translated
};

// The C type the engine is given for a binding: UTF-16 arrives as text.
inline int16_t rcParamEngineCType(const rcParamBinding &b)
{
    return b.cType == SQL_C_WCHAR ? int16_t{SQL_C_CHAR} : b.cType;
}
// True when the binding's text reaches the engine converted (UTF-16, or
// through the connection's translation library).
bool rcParamTranslated(const rcConn *conn, const rcParamBinding &b);

// Data-at-execution states.
enum : uint16_t {
    RC_DAE_NONE = 0,
    RC_DAE_DONE = 1,      // the statement ran after the last piece
    RC_DAE_REQUESTED = 2, // SQLParamData asked for a parameter's data
    RC_DAE_WAITING = 3,   // SQLExecute answered SQL_NEED_DATA
};

constexpr uint32_t kRcNoParam = 0xFFFFFFFF;

struct rcParamState {
    std::vector<rcParamBinding> bindings; // index = parameter number - 1
    uint32_t current = kRcNoParam;        // the data-at-execution parameter being sent
    uint16_t dataState = RC_DAE_NONE;
    uint32_t row = 0;      // the row of a parameter array being run
    uint32_t rowCount = 0; // rows changed by the rows run so far
    bool warned = false;   // a row ran with a warning
};

// The workers of the exported parameter functions.
SQLRETURN SQLBindParameterImpl(rcStmtHandle *s, SQLUSMALLINT ipar, SQLSMALLINT fParamType,
                               SQLSMALLINT fCType, SQLSMALLINT fSqlType, SQLULEN cbColDef,
                               SQLSMALLINT ibScale, SQLPOINTER rgbValue, SQLLEN cbValueMax,
                               SQLLEN *pcbValue);
SQLRETURN SQLSetParamImpl(rcStmtHandle *s, SQLUSMALLINT ipar, SQLSMALLINT fCType,
                          SQLSMALLINT fSqlType, SQLULEN cbColDef, SQLSMALLINT ibScale,
                          SQLPOINTER rgbValue, SQLLEN *pcbValue);
SQLRETURN SQLParamOptionsImpl(rcStmtHandle *s, SQLULEN crow, SQLULEN *pirow);
SQLRETURN SQLParamDataImpl(rcStmtHandle *s, SQLPOINTER *prgbValue);
SQLRETURN SQLPutDataImpl(rcStmtHandle *s, SQLPOINTER rgbValue, SQLLEN cbValue);

// Runs the prepared statement with its parameters (SQLExecute's work after
// its own checks): SQL_SUCCESS, SQL_SUCCESS_WITH_INFO, SQL_NEED_DATA or
// SQL_ERROR (posted).
SQLRETURN rcStmtExecuteParams(rcStmtHandle *s);
// SQL_RESET_PARAMS: every binding is forgotten.
void rcStmtParamReset(rcStmtHandle *s);
// SQLCancel: ends a data-at-execution dialogue.
void rcStmtParamCancel(rcStmtHandle *s);
// True while SQLExecute waits for data at execution.
bool rcStmtParamNeedsData(const rcStmtHandle *s);
// Frees the handle's parameter state (SQL_DROP).
void rcStmtParamFree(rcStmtHandle *s);

// Shared by the two halves (rcstmt_param.cpp, rcstmt_paramdata.cpp).
// The handle's state, made on first use; null after posting 5136.
rcParamState *rcStmtParamState(rcStmtHandle *s);
// Runs the rows of the execution from the current one; resume: the current
// row's values are complete (its data at execution has arrived).
SQLRETURN rcStmtParamRunRows(rcStmtHandle *s, bool resume);
// The type-catalog entry a binding of the SQL type and precision stands
// for: the type's own, or for a longer text or binary value the long type
// of its family; null when no type holds that precision.
const rcTypeEntry *rcStmtParamEntry(rcConn *conn, int16_t sqlType, uint64_t precision);
// Posts 5166 for a value longer than its parameter takes; -1.
int16_t rcStmtParamTooLong(rcStmtHandle *s, uint32_t number);
