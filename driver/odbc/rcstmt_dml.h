// Execution of data changes on a statement handle: INSERT, UPDATE and DELETE
// run to their end at SQLExecute / SQLExecDirect and leave a row count.
//
// Legal order on a handle whose prepared text is a data change:
//   rcStmtPlanChange      at preparation: plans the row source
//                         (rcExeMakePlanner) and prepares the target table,
//                         columns and value programs (rcExeDmlPrepare)
//   rcStmtExecuteChange   any number of times: refuses changes on a
//                         read-only connection, raises the statement's
//                         transaction event, runs the change with this
//                         execution's parameter values, and under
//                         auto-commit commits it when the statement
//                         completes
//   SQLRowCount           the rows inserted, changed or deleted
// The engine's work of the change is freed with the engine's record state
// (the handle's release routine of data changes, rcstmt_handle.cpp).
#pragma once

#include <sql.h>

#include <cstdint>

struct rcStmtHandle;

// True for the kinds that change the data source or its definitions (data
// changes, table and index definitions, views).
bool rcStmtIsChange(uint16_t kind);
// True for INSERT, UPDATE and DELETE.
bool rcStmtIsDataChange(uint16_t kind);
// Posts 5127 (access violation) and answers true when the connection is
// read-only and kind changes the data source.
bool rcStmtRefuseReadOnly(rcStmtHandle *s, uint16_t kind);
// Raises the transaction event of the statement's kind; errors the state
// machine posted on the connection are posted on the statement too. 0 run
// the statement, 1 the event says not to run it, -1 error.
int rcStmtTxnEvent(rcStmtHandle *s);
// Plans the prepared INSERT, UPDATE or DELETE: 0, or -1 after posting.
int16_t rcStmtPlanChange(rcStmtHandle *s);
// Runs the prepared INSERT, UPDATE or DELETE: SQL_SUCCESS,
// SQL_SUCCESS_WITH_INFO or SQL_ERROR; s->rowCount holds the rows done.
SQLRETURN rcStmtExecuteChange(rcStmtHandle *s);
