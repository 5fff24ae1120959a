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
// The release routines the statement handles give their engine records.
const rcStmtParts *rcStmtFetchParts();
