// Value buffers of the expression interpreter.
//
// A value buffer is a block with an 8-byte header in front of the value; the
// caller holds the value's address. Header byte 0 is the origin: 1 a block of
// a value pool of the statement (a numbered pool whose id the header keeps),
// 2 a separate block of global memory (values of 258 bytes or more). So a
// buffer is freed, sized and resized without the caller knowing where it
// lives.
//
//   v = rcValAlloc(stmt, n)               null when memory is out
//   rcValRealloc(stmt, &v, n, keep)       0, or -1 (v unchanged)
//   rcValSize(stmt, v)                    block size, header included
//   rcValFree(stmt, v)
// When a value pool is exhausted the statement's pool-overflow flag is set,
// 11467 is posted on the statement and allocation goes on in a fresh pool.
// The exhausted pool is kept until its last buffer is freed or the statement
// record goes, so a buffer still in use is never freed under its owner.
#pragma once

#include <cstddef>
#include <cstdint>

struct rcStmt;

constexpr size_t RC_VAL_HEADER = 8;
constexpr size_t RC_VAL_GLOBAL_FROM = 258; // values this long go to global memory

enum : uint8_t {
    RC_VAL_ORIGIN_POOL = 1,
    RC_VAL_ORIGIN_GLOBAL = 2,
};

void *rcValAlloc(rcStmt *stmt, size_t n);
void rcValFree(rcStmt *stmt, void *value);
size_t rcValSize(rcStmt *stmt, const void *value);
int16_t rcValRealloc(rcStmt *stmt, void **value, size_t n, bool keep);
// The origin byte of a value buffer.
uint8_t rcValOrigin(const void *value);
