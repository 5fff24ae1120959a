// Result columns read as 64-bit integers (SQL_C_SBIGINT, SQL_C_UBIGINT).
#pragma once

#include <sqltypes.h>

#include <cstdint>

struct rcStmtHandle;

// Column k (from 0) of the current row as a 64-bit integer (cType
// SQL_C_SBIGINT or SQL_C_UBIGINT): the fraction is cut toward zero (1, 01004
// posted), a value outside the C type's range is 22003, a text that is no
// number 22005, a date, time or binary column 07006 (-1 after posting).
// 0 when delivered whole, a NULL included.
int16_t rcStmtDeliverBigInt(rcStmtHandle *s, uint16_t k, int16_t cType, void *value,
                            SQLLEN *length);
