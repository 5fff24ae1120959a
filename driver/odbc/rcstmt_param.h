// Parameters of a statement handle: the rows of values an execution hands
// the engine, from the application's bindings (rcParamBinding,
// rcstmt_handle.h).
//
// Legal order on a handle:
//   SQLBindParameter / SQLSetParam (any time; rebinding replaces the record)
//   SQLParamOptions(crow, pirow)     optional: crow rows of values
//   SQLExecute / SQLExecDirect       -> rcStmtExecuteParams (rcstmt_exec.h):
//       for each row rcStmtParamCheckRow, rcStmtParamPrepareRow (a parameter
//       bound with SQL_DATA_AT_EXEC or SQL_LEN_DATA_AT_EXEC(n) stops the
//       execution with SQL_NEED_DATA), rcStmtParamSendRow, then the row runs
//   SQLParamData                     names the next such parameter (its
//                                    rgbValue as token, SQL_NEED_DATA) or,
//                                    after the last one, runs the row and
//                                    goes on with the next rows
//   SQLPutData (after each SQLParamData that asked for data) appends a piece
//   SQLCancel                        ends the dialogue (rcStmtParamCancel)
//   SQLFreeStmt(SQL_RESET_PARAMS)    forgets the bindings; SQL_DROP frees them
//
// Pieces are collected in a buffer of the binding (any length, up to the
// limit of the parameter's type); the value reaches the engine only when
// the row runs, so a cancelled dialogue leaves nothing behind.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "driver/odbc/rcstmt_handle.h"

struct rcConn;
struct rcTypeEntry;

// Longest total of SQLPutData pieces for one parameter.
constexpr int64_t kRcPutDataMax = 2000000000;

// The C type the engine is given for a binding: UTF-16 arrives as text.
inline int16_t rcParamEngineCType(const rcParamBinding &b)
{
    return b.cType == SQL_C_WCHAR ? int16_t{SQL_C_CHAR} : b.cType;
}
// True when the binding's text reaches the engine converted (UTF-16, or
// through the connection's translation library).
bool rcParamTranslated(const rcConn *conn, const rcParamBinding &b);

// The rows of an execution (st->row is the current one; count the
// statement's markers). The engine's type check of every bound parameter:
// 0, or -1 posted.
int16_t rcStmtParamCheckRow(rcStmtHandle *s, rcParamState *st, uint16_t count);
// Checks the row's bindings and works out their lengths: -1 after posting,
// 99 when a parameter's value comes at execution, else 0.
int16_t rcStmtParamPrepareRow(rcStmtHandle *s, rcParamState *st, uint16_t count);
// Hands every bound value of the row to the engine: 0, 1 (a value was cut),
// -1 posted.
int16_t rcStmtParamSendRow(rcStmtHandle *s, rcParamState *st, uint16_t count);

// SQL_RESET_PARAMS: every binding is forgotten.
void rcStmtParamReset(rcStmtHandle *s);
// SQLCancel: ends a data-at-execution dialogue.
void rcStmtParamCancel(rcStmtHandle *s);
// True while SQLExecute waits for data at execution.
bool rcStmtParamNeedsData(const rcStmtHandle *s);
// The handle's state, made on first use; null after posting 5136.
rcParamState *rcStmtParamState(rcStmtHandle *s);
// The type-catalog entry a binding of the SQL type and precision stands
// for: the type's own, or for a longer text or binary value the long type
// of its family; null when no type holds that precision.
const rcTypeEntry *rcStmtParamEntry(rcConn *conn, int16_t sqlType, uint64_t precision);
// Posts 5166 for a value longer than its parameter takes; -1.
int16_t rcStmtParamTooLong(rcStmtHandle *s, uint32_t number);
