// Execution of data changes: INSERT (one row of values, or the rows of a
// query), searched UPDATE and searched DELETE.
//
// Interface and legal order (after rcPlnBuild planned the statement's tree,
// rcpln.h; the planner plans the row source of UPDATE and DELETE and the
// query of INSERT ... SELECT):
//   rcExeDmlPrepare(stmt, root, &dml)   once per plan: target table, target
//                                       columns and the value programs
//   rcExeDmlRun(stmt, dml, &result)     any number of times (new parameter
//                                       values each time); opens and closes
//                                       the plan itself
//   rcExeDmlFree(dml)                   when the statement is reset (the
//                                       release of rcStmt::dataChange)
//
// Each row is written by TamInitUpdate (0 a new record, 2 the current one),
// TamSetColumn per target column and TamUpdateRecord; a deletion by
// TamDeleteRecord on the row the plan stands on. A value is evaluated as a
// typed value and converted to the column's type into one work buffer that
// grows to the longest value (no allocation per row once it has).
//
// UPDATE and DELETE go on with the next row after a row fails with an error
// that is not fatal for the connection, and report it at the end. An UPDATE
// whose row source reads through an index whose key it changes first
// collects the bookmarks of every row to change and then changes them, so no
// row is met twice.
#pragma once

#include <cstdint>

#include "driver/engine/plan/rcpln.h"

struct rcExeDml;

// What an execution did: rows written, changed or deleted; rows of UPDATE or
// DELETE that failed (their errors are posted).
struct rcExeDmlResult {
    uint32_t rows = 0;
    uint32_t failedRows = 0;
};

// 0, or -1 after posting (unknown or duplicate column, value count).
int16_t rcExeDmlPrepare(rcPlnStmt *stmt, const rcParseNode *root, rcExeDml **out);
// 0 done; 1 done with warnings queued, or some rows failed while others were
// changed; -1 error (nothing more is done; rows already written stay written
// and are counted in result->rows).
int16_t rcExeDmlRun(rcPlnStmt *stmt, rcExeDml *dml, rcExeDmlResult *result);
void rcExeDmlFree(rcExeDml *dml);

// True for the data-module codes after which no further row is tried: the
// connection or the server's transaction is gone.
bool rcExeDmlFatal(int32_t code);
