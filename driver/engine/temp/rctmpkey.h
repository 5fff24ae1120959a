// Sort-key comparison of temporary-table rows, shared by the in-memory sort,
// grouping and DISTINCT (rcTmpCompareRows) and the external sort's callbacks,
// so that every road orders and groups rows alike.
//
// Rules: the NULL indicator decides first (NULL before every value; the
// order of a descending key is reversed as a whole, so NULLs come last
// there); text by the driver's Windows-1252 collation, case and trailing
// blanks not counting; doubles by value (-0.0 equals 0.0, NaN after every
// number); integers, dates, times, timestamps and the private exact types by
// value.
#pragma once

#include "driver/engine/temp/rctmp.h"

#include <cstddef>
#include <cstdint>

struct rcTmpKeyDesc {
    uint32_t offset; // slot start in the row
    uint32_t valueSize;
    int16_t storageType;
    bool descending;
};

// Builds t->keys from the key columns (once); -1 after posting 11414 for a
// key of a type without an order, or 5136.
int16_t rcTmpBuildKeys(TempTable *t);
// Compares two rows on the table's keys (t->keys built).
int rcTmpCompareRowBytes(const TempTable *t, const unsigned char *a, const unsigned char *b);
// Eight bytes of the first key such that a smaller prefix means an earlier
// row (equal prefixes decide nothing): the NULL indicator, then the value's
// leading part (text: the collation weights of its first five characters).
uint64_t rcTmpKeyPrefix(const TempTable *t, const unsigned char *row);
// Compares two terminated texts of at most size bytes each by the collation.
int rcTmpCompareText(const unsigned char *a, const unsigned char *b, size_t size);
// Compares two non-NULL values of a storage type.
int rcTmpCompareValue(int16_t storageType, const unsigned char *a, const unsigned char *b,
                      uint32_t valueSize);
