// Direct column retrieval: a bound result column of a plain query read
// straight from the data-module cursor into the application's buffer.
//
// Interface (after rcExeFetch gave a row):
//   rcGdoReadBound(stmt, k, cType, buffer, bufferLength, length)
//     RC_GDO_NOT_DIRECT: the column does not qualify (or this value does
//     not fit the direct read); the caller converts it as usual.
//     0 read; 1 read and cut (01004 posted); -1 error posted.
//   rcGdoFree(stmt)   by rcPlnStmtFree
//
// A column qualifies when NoGetDataOpt is off, the query reads its rows
// from base tables alone (no temporary table, set function, DISTINCT or
// outer join, so the cursor's current row is the result row), the result
// column is a plain column of a table, the C type is CHAR, LONG, SHORT,
// FLOAT or DOUBLE and equals the column's SQL type (or CHAR for VARCHAR),
// and the buffer holds the column's length (one more for CHAR). The
// decision is kept per column for its binding (C type and buffer length).
// The value goes through the table-access layer's read, so character values
// cross the translation library like every other; a character value never
// gets a terminator past the buffer, and one that does not fit is cut with
// 01004.
#pragma once

#include <cstdint>
#include <sql.h>
#include <sqlext.h>

#include "driver/engine/plan/rcpln.h"

constexpr int16_t RC_GDO_NOT_DIRECT = -2;
// NoGetDataOpt: no direct column retrieval.
constexpr uint32_t RC_GDO_OPT_NOGETDATAOPT = 0x80000;

// maxLength: the statement's SQL_MAX_LENGTH (0 none); a column longer than
// it is not read directly.
int16_t rcGdoReadBound(rcPlnStmt *stmt, uint16_t column, int16_t cType, void *buffer,
                       int64_t bufferLength, SQLLEN *length, uint32_t maxLength);
// rcGdoFree: rcpln.h.
