// Value comparison of the engine and LIKE matching.
//
// rcCmpValues orders two values of one engine type, NULL below every value.
// It is exact (it is used for sorting, grouping, DISTINCT, index ranges,
// MIN/MAX and joins); text is ordered by the driver's Windows-1252
// collation. Storage forms by type: -28 one unsigned byte; -7 one byte
// holding a truth character or number; 4 and 5 signed 32 and 16 bits;
// 6 (FLOAT) and 8 (DOUBLE) an 8-byte double; 7 (REAL) a 4-byte single;
// 9, 10, 11 the ODBC DATE, TIME and TIMESTAMP structures; 1, 12, -1
// terminated text; 32020 an 8-byte integer; 32021 a MultiPrecisionNumber.
// Binary and unknown types compare equal.
#pragma once

#include <cstdint>

struct rcStmt;
struct rcErrorQueue;

int16_t rcCmpValues(rcStmt *stmt, int16_t type, bool firstIsNull, const void *first,
                    bool secondIsNull, const void *second, uint32_t firstExtra,
                    uint32_t secondExtra);
int rcCmpDate(const void *a, const void *b);
int rcCmpTime(const void *a, const void *b);
int rcCmpTimestamp(const void *a, const void *b);

// LIKE: "%" any run (also empty), "_" one character, a backslash makes the
// next pattern character literal. 1 when the value matches, else 0.
int rcCmpLikeCore(const char *value, const char *pattern);
// Mode bit 0 set: case-sensitive; otherwise case-insensitive (Windows-1252
// upper case). Neither the value nor the pattern is modified.
int rcCmpLike(const char *value, const char *pattern, int mode);

// The value as SQL_C_CHAR text of at most 258 characters, in a buffer of
// the calling thread that stays valid until its next call. An empty text
// when the value cannot be converted.
const char *rcCnvToCharStatic(rcStmt *stmt, const void *value, int16_t sqlType, int32_t length);

// When both are fixed, or equal, nothing changes; otherwise a zero that is
// not fixed takes the other value (the first is tried first).
void rcUtlMergePair(bool firstFixed, bool secondFixed, int32_t &first, int32_t &second);

// Makes `buffer` (an rcMemAlloc block or null) hold at least `needed` bytes:
// nothing happens when it already does; otherwise it is reallocated to
// needed + 1 bytes. 0, or -1 after posting 5136 on `errors` when memory runs
// out or the size does not fit the 16-bit size word (needed + 1 > 65535).
int rcUtlEnsureBuffer(rcErrorQueue *errors, char *&buffer, uint16_t &size, uint32_t needed);
