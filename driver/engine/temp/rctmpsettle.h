// Compact temporary tables: the slot sizes of the stream as puts write it.
#pragma once

#include <cstdint>

// Text and binary storage types, whose slots carry a length.
bool rcTmpIsVariable(int16_t storageType);
// Bytes of a compact text or binary slot holding n value bytes: the
// indicator, the value (text with its terminator), padded to 4 bytes.
uint32_t rcTmpCompactSlot(int16_t storageType, uint32_t n);

struct TempTable;
// Back to the declared layout, for a compact table whose rows were cleared.
void rcTmpUnsettle(TempTable *t);
