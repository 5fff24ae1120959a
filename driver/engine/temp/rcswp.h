// Sort driver: puts the rows of a filled temporary table into the order of
// its sort keys.
//
// Interface: rcSwpSortExec(t) once, after the last row was put and before
// the first read; then read the table from row 0 (rctmp.h). 0 sorted, -1
// after a posted message: 11414 unsortable key type, 11459 row over 65500
// bytes, 5142 cancelled, the spill-file messages, or the mapped message of a
// sort-library error. After a failure the table's file is deleted at once.
//
// Algorithm: a table that never left memory is sorted there (unless the
// owner's engine options hold NoOptSort): a stable sort of row numbers with
// the key comparator, then the rows are moved into that order. Otherwise
// the pending rows are spilled, the spill file is closed, and the sort
// library sorts it in place under the driver-wide lock, from a control
// statement with a key per key column: the value (C with the driver's collation, I, E, XDT,
// XTM, XTS, XD, XBD through callbacks into the same comparisons as in
// memory), preceded, for a column that holds a NULL, by the NULL indicator
// byte (BIN, in the opposite order, so that NULLs come first ascending and
// last descending). CORE is the owner's limit, raised so that at least 40 rows fit;
// the work directory is the spill file's. The library keeps equal keys in
// input order, as the in-memory sort does, so both give the same order.
#pragma once

#include "driver/engine/temp/rctmp.h"

#include <cstdint>
#include <string>

int16_t rcSwpSortExec(TempTable *t);
int16_t rcSwpInternalSort(TempTable *t);
// The control statement for the table's keys and row layout; -1 after
// posting 11459 (row over 65500 bytes) or 11414 (key without a key type).
int16_t rcSwpBuildControl(TempTable *t, std::string &text);
// Posts the message for a sort-library error code.
void rcSwpMapError(TempTable *t, uint32_t sortError);
// The cancel probe the sort library calls: non-zero when the owner's
// cancel flag is set.
int rcSwpSortCancelled(void *table);

// Largest row the external sort accepts.
constexpr int32_t RC_SWP_MAX_ROW = 65500;
