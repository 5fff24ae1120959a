// What the planner gives the expression programs: types of checked nodes,
// the column values of base columns (redirected into temporary tables) and
// the set-function nodes.
#pragma once

#include "driver/engine/plan/rcpln.h"

// The statement's column record of a resolved ColName, made on first use;
// none after posting (a column of no table of the plan).
rcPlnColumn *rcPlnColumnOf(rcPlnStmt *stmt, const rcParseNode *colName);
// Reads a redirected column (a temporary table above holds its value) in
// its default C type: 0, RC_EVL_COL_NULL, RC_EVL_COL_TRUNCATED, or -1. A
// value kept in pieces is read whole, from partial's offset on when given
// (partial->size then tells the whole value's length).
int32_t rcPlnReadRedirected(const rcPlnColumn *c, void *buffer, uint32_t length,
                            uint32_t *outLength, DRM_RETINFO *partial = nullptr);
// The set-function node of a SetFunctionRef, made on first use.
PlanNode *rcPlnSetFunctionOf(rcPlnStmt *stmt, const rcParseNode *setFunctionRef);
// The value of a set function for the current row (accumulator or, once a
// temporary table above holds it, that table's column).
int16_t rcPlnSetFunctionValue(rcPlnStmt *stmt, PlanNode *node, rcExpValue *out);
// Posts 5160 (driver not capable) with the text; answers -1.
int16_t rcPlnNotCapable(rcPlnStmt *stmt, const char *text);
// Points every column and set function (of one block, or all with -1) back
// at its source.
void rcPlnResetRedirects(rcPlnStmt *stmt, int block = -1);
// The subquery test for the current outer row (the executor's, rcexe.h):
// 0 TRUE, 100 FALSE, RC_EXP_SUBQUERY_UNKNOWN UNKNOWN, -1 error.
int16_t rcPlnSubqueryHook(void *ctx, void *subqueryNode);
