// The retrieve list of a plan: the columns its reads take from each table,
// handed to the data module so that a read window carries those fields only.
//
// Interface and legal order (after rcPlnBuild, which calls the first):
//   rcPlnSetRetrieveList(stmt)      makes the list from the columns the
//                                   planner resolved and hands it to the
//                                   data module; 0, or -1 after posting
//   rcPlnRefreshRetrieveList(stmt)  before each open: hands the list on again
//                                   when columns were resolved since (a node
//                                   that compiled a program late)
//
// One road: every column value a plan reads from a table goes through an
// rcPlnColumn, made by rcPlnColumnOf when the planner resolves the column
// reference (expressions, filters, join and sort keys, set-function
// arguments, UPDATE values, bound columns read directly). The list is made
// from those, so a plan node of any kind is covered by resolving its
// columns the usual way. A table whose columns the plan never reads (COUNT(*),
// a table that only multiplies rows) still needs a field for its windows:
// it gets its narrowest one. Entries of one table stand together, tables in
// statement order, columns ascending, without duplicates.
//
// The data module fails a read of a column left out (test builds) or reads
// the whole record again (release builds): see DrmSetStrictRetrieve.
#pragma once

#include <cstdint>

#include "driver/engine/plan/rcpln.h"

struct rcTblColumn;

int16_t rcPlnSetRetrieveList(rcPlnStmt *stmt);
int16_t rcPlnRefreshRetrieveList(rcPlnStmt *stmt);

// Bytes a column-cache entry of the column holds: its value as the engine
// reads it (a text or binary value with its terminator); 0 for a long value,
// which is never cached. Over 256 the cache reads it through as well.
uint32_t rcPlnCacheLength(const rcTblColumn &column);
