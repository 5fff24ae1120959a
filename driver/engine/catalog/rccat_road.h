// The one road of a statement's result: the rows and column values of
// whatever result is open, a catalog function's (rccat.h) or a query plan's
// (rcexe.h), so the ODBC layer's fetch, SQLGetData, SQL_MAX_ROWS,
// SQL_MAX_LENGTH, pieces and truncation are written once over both.
//
// Interface (one statement, under its connection's lock):
//   rcCatRoadOpen(stmt)              true while a result may be fetched
//   rcCatRoadNext(stmt)              the next row: PLN_ROW, PLN_ROW_WARNING
//                                    (posted), PLN_END, PLN_ERROR (posted)
//   rcCatRoadColumn(stmt, k, ...)    a value of the current row, as
//                                    rcExeGetColumn gives it: 0, 1 cut, -1
//   rcCatRoadPlanned(stmt)           the plan, when a plan made the result
//                                    (its direct bound reads are the fast
//                                    branch); null for a catalog result
#pragma once

#include <cstdint>

struct rcStmt;
struct rcPlnStmt;

bool rcCatRoadOpen(const rcStmt *stmt);
int16_t rcCatRoadNext(rcStmt *stmt);
int16_t rcCatRoadColumn(rcStmt *stmt, uint16_t column, int16_t wantedType, void *buffer,
                        int32_t bufferLength, int32_t *outLength, uint32_t pieceOffset,
                        bool *isNull);
rcPlnStmt *rcCatRoadPlanned(rcStmt *stmt);
