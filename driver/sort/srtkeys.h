// Key types and record comparison.
//
// A comparison of two field values answers -1 (A less), 0 or +1; every type
// is a strict weak order. Records compare key by key; the caller breaks ties
// with the relative record number so that equal keys keep their input order.
#pragma once

#include <cstdint>

#include "driver/sort/srtstate.h"

struct SrtCompare {
    const SrtSettings *settings = nullptr;
    SrtCallbacks callbacks;
    uint32_t dataOffset = 0;                   // record prefix before position 1 (VS: 2)
    const unsigned char *terminator = nullptr; // line end left out of fields (TXT, GP)
    uint32_t terminatorLen = 0;
    bool prefixUsable = false; // the first key can be ordered by srtKeyPrefix

    void init(const SrtSettings &s, const SrtCallbacks &cb);
};

// Locates a field in a record: start offset and length (clamped to the
// record). The line end of TXT and GP records is not part of any field
// unless wholeRecord (output layout). Returns false when the field starts
// beyond the record.
bool srtLocate(const SrtCompare &cmp, const unsigned char *rec, uint32_t recLen,
               const SrtField &field, uint32_t &offset, uint32_t &len, bool wholeRecord = false);

// Compares two located values of a type. declaredLen is the field's length
// from the statement (for the fixed-width types); offA/offB are the values'
// offsets in their records (for the NULL indicator of the engine types).
int srtCompareValues(const SrtCompare &cmp, SrtType type, uint32_t declaredLen,
                     const unsigned char *recA, uint32_t offA, uint32_t lenA,
                     const unsigned char *recB, uint32_t offB, uint32_t lenB);

// Compares two records on the sort keys: -1, 0 or +1 (descending keys
// already reversed).
int srtCompareKeys(const SrtCompare &cmp, const unsigned char *a, uint32_t aLen,
                   const unsigned char *b, uint32_t bLen);

// Eight bytes of the first key, big-endian, such that a smaller prefix means
// a smaller record (equal prefixes decide nothing). Only when prefixUsable.
uint64_t srtKeyPrefix(const SrtCompare &cmp, const unsigned char *rec, uint32_t recLen);

// Byte comparison of a and b over the shorter length, the shorter first.
int srtCompareBytes(const unsigned char *a, uint32_t aLen, const unsigned char *b, uint32_t bLen);
