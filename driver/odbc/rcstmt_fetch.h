// Result sets of prepared queries: execution opens the query's plan, the
// fetch functions (SQLFetch, SQLBindCol, SQLGetData in rcstmt_api.h) read it.
//
// Legal order on a handle whose prepared text is a query:
//   rcStmtOpenQuery      plans the query on its first execution after a
//                        prepare (the plan stays with the engine's record)
//                        and opens it; the handle's cursor is open
//   SQLFetch / SQLGetData ... rows of the result
//   rcStmtCloseQuery     closes the cursor; the plan stays for the next
//                        execution
// The plan is freed with the engine's record state (rcDrsResetStmt at the
// next prepare, rcDrsDropStmt) through rcStmtFetchParts' releasePlanNodes.
#pragma once

#include <sqltypes.h>

#include <cstdint>

struct rcStmtHandle;
struct rcStmtParts;

// Plans the prepared statement once per prepare (a query, or the row source
// of a data change). 0, or -1 after posting on the handle's queue.
int16_t rcStmtMakePlanner(rcStmtHandle *s);
// Plans (once per prepare) and opens the prepared query. 0, or -1 after
// posting on the handle's queue.
int16_t rcStmtOpenQuery(rcStmtHandle *s);
// Closes an open query (temporary tables freed); nothing when none is open.
void rcStmtCloseQuery(rcStmtHandle *s);
// Column k (from 0) of the current row as a 64-bit integer (cType
// SQL_C_SBIGINT or SQL_C_UBIGINT): the fraction is cut toward zero (1, 01004
// posted), a value outside the C type's range is 22003, a text that is no
// number 22005, a date, time or binary column 07006 (-1 after posting).
// 0 when delivered whole, a NULL included.
int16_t rcStmtDeliverBigInt(rcStmtHandle *s, uint16_t k, int16_t cType, void *value,
                            SQLLEN *length);
// The release routines the statement handles give their engine records.
const rcStmtParts *rcStmtFetchParts();
