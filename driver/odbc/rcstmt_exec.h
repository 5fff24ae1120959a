// Statement execution: the steps the statement workers compose, between the
// handle (rcstmt_handle.h) and the engine (driver/engine/exec/rcexestmt.h).
//
// Legal order on a handle:
//   rcStmtCloseIfNeeded      an open result set refuses (24000); anything
//                            else executed is closed
//   rcStmtPrepare(text)      SET statements applied, the text prepared by the
//                            front end (the data module's parse hook may
//                            replace it), the engine's record told, a query
//                            or data change planned (its plan errors are
//                            SQLPrepare's), the query plan written when
//                            QryPlan asks: state 2
//   rcStmtExecute            the sequence checks, then rcStmtExecuteParams:
//                            each row of parameter values checked and sent
//                            (rcstmt_param.h), then rcStmtRunPrepared
//   rcStmtRunPrepared        by the statement's kind: a query's plan has its
//                            indexes validated when the ValidateIndex option
//                            asks, and is opened with the parameter values
//                            of this execution (state 4); a data change
//                            runs to its end (rcstmt_dml.h);
//                            views are stored; a SET or USE did its work at
//                            preparation (state 3)
//   rcStmtNextRow            SQLFetch's move of the open cursor: the next
//                            row current and counted (state 5), or the end
//   rcStmtResetCursor        SQL_CLOSE: the engine closes the result
//                            (rcDrsCloseResult), the plan stays; back to
//                            state 2 (or 1). Executing again opens the same
//                            plan: nothing is prepared or planned twice
// SQLExecDirect is rcStmtExecDirect: rcStmtCloseIfNeeded and rcStmtPrepare,
// then rcStmtExecute, each in a frame of its own that keeps the queue (the
// trace shows them as SQLPrepare and SQLExecute within SQLExecDirect, and
// the prepare step's warnings stay queued); a failure forgets what it
// prepared (rcStmtResetPrepared) and puts back the state the statement had.
//
// A query that SQLExecDirect prepared without a warning and ran is kept
// for the handle's next SQLExecDirect: given the same text byte for byte,
// its prepare step prepares and plans nothing and the execution opens the
// kept plan, as SQLExecute of a prepared statement does (the parameters are
// bound and checked at each execution alike). The handle forgets it
// (rcStmtForgetDirect) when anything can make the text prepare otherwise
// or the statement's state may be damaged: another preparation or a
// catalog function on the handle, SQLSetStmtOption, SQLCancel, a failed
// SQLExecDirect, fetch or SQLGetData; and it is not used when the
// connection's prepare epoch moved since (rcconn.h), when the QryPlan flag
// asks for each preparation's plan record, or when the data module's parse
// hook wants to see each preparation.
//
// Index validation (the ValidateIndex engine option): before a query is
// opened, every table its plan reads through an index is counted twice on
// the same connection, once in table order and once in the index's order,
// each as a statement of its own run by these steps (never validated
// again); different counts post 5135 with the "Bad index" text on the
// statement. The outcome never stops the query.
//
// Each step answers an ODBC code: SQL_SUCCESS, SQL_SUCCESS_WITH_INFO,
// SQL_NEED_DATA (data at execution) or SQL_ERROR after posting on the
// statement's queue.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

struct rcStmtHandle;

// The call lines of the statement calls whose steps the driver also runs
// within other calls (SQLExecDirect's prepare and execute, the statements of
// index validation): the workers and those steps write the same line.
inline constexpr char kRcLineAllocStmt[] = "SQLAllocStmt(0x%08lx, 0x%08lx)";
inline constexpr char kRcLineFreeStmt[] = "SQLFreeStmt(0x%08lx, %u)";
inline constexpr char kRcLinePrepare[] = "SQLPrepare(0x%08lx, \"%-.600s\", %ld)";
inline constexpr char kRcLineExecute[] = "SQLExecute(0x%08lx)";
inline constexpr char kRcLineExecDirect[] = "SQLExecDirect(0x%08lx, \"%-.600s\", %ld)";
inline constexpr char kRcLineFetch[] = "SQLFetch(0x%08lx)";

SQLRETURN rcStmtCloseIfNeeded(rcStmtHandle *s);
// text: terminated, in the application's encoding (through the translation
// library it comes back to the driver's Windows-1252 first).
SQLRETURN rcStmtPrepare(rcStmtHandle *s, const char *text);
SQLRETURN rcStmtExecute(rcStmtHandle *s);
// SQLExecDirect's work after its own frame (text terminated, as for
// rcStmtPrepare).
SQLRETURN rcStmtExecDirect(rcStmtHandle *s, const char *text);
// Runs the prepared statement with its parameters (SQLExecute's work after
// its own checks).
SQLRETURN rcStmtExecuteParams(rcStmtHandle *s);
// Runs the rows of the execution from the current one; resume: the current
// row's values are complete (its data at execution has arrived).
SQLRETURN rcStmtParamRunRows(rcStmtHandle *s, bool resume);
// Runs the prepared statement once with the parameter values the engine
// holds.
SQLRETURN rcStmtRunPrepared(rcStmtHandle *s);
// Forgets what was prepared: the engine's record reset, the front end's
// tree and tables freed.
void rcStmtResetPrepared(rcStmtHandle *s);
// The handle's SQLExecDirect preparation is not used again (see above).
void rcStmtForgetDirect(rcStmtHandle *s);
// The open query's next row: SQL_SUCCESS (SQL_SUCCESS_WITH_INFO: a value
// was cut on the way) with the row current, SQL_NO_DATA_FOUND at the end and
// once SQL_MAX_ROWS rows went out, SQL_ERROR. The handle is in state 5.
SQLRETURN rcStmtNextRow(rcStmtHandle *s);
void rcStmtResetCursor(rcStmtHandle *s);
// Closes an open result (rcDrsCloseResult: temporary tables freed, the plan
// kept); nothing when none is open.
void rcStmtCloseQuery(rcStmtHandle *s);
// Plans the prepared statement (a query, or the row source of a data
// change); nothing when it is planned. 0, or -1 after posting on the
// handle's queue.
int16_t rcStmtMakePlanner(rcStmtHandle *s);
// True for a statement kind that produces a result set.
inline bool rcStmtProducesResult(uint16_t kind) { return kind >= 100 && kind < 4096; }

// Index validation (rcstmt_validate.cpp): after the query is planned and
// before it is opened, outside the engine lock.
void rcStmtValidateIndexes(rcStmtHandle *s);
