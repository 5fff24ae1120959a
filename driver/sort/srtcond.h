// INCL/OMIT record selection.
#pragma once

#include "driver/sort/srtkeys.h"

// Whether a record is kept: INCL keeps records that satisfy the condition,
// OMIT those that do not. True when there is no condition.
bool srtSelectRecord(const SrtCompare &cmp, const unsigned char *rec, uint32_t recLen);
