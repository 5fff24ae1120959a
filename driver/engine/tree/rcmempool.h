// Bump-allocation pools for parse trees and prepare-time data.
//
// Interface: rcMemPoolCreate -> rcMemPoolAlloc (any number of times) ->
// rcMemPoolDestroy. Blocks are never freed one by one; the whole chain of
// chunks goes at once. rcTreePool* are the statement's parse-pool wrappers.
//
// Algorithm: a chain of fixed 16000-byte chunks. Each request is served,
// zero-filled, at the current end of the LAST chunk; when it does not fit there a
// new chunk is chained on, and whatever was left of the old one stays unused.
// A request larger than a chunk can hold (RC_MEMPOOL_MAX_BLOCK) gets a
// zero-filled block of its own, kept on a second list of the pool and freed
// with it; the chunk chain goes on as before. Callers that size a request
// from a count (columns, values of an IN list) so never meet a limit of the
// pool's chunk size. Sizes are rounded up to 8 bytes so that every block may
// hold pointers.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t RC_MEMPOOL_CHUNK = 16000;

struct rcMemPoolChunk {
    uint16_t tag;         // the creator's tag, copied into every chunk
    uint16_t used;        // bytes in use in this chunk, header included
    uint16_t capacity;    // RC_MEMPOOL_CHUNK
    uint16_t chunkLimit;  // first chunk: most chunks the pool may hold, 0 = no limit
    uint32_t chunks;      // first chunk: chunks in the chain
    rcMemPoolChunk *next; // next chunk of the chain, none in the last
    rcMemPoolChunk *last; // first chunk: the last chunk of the chain
    void *large;          // first chunk: the blocks of their own, newest first
};

// The pool is the address of its first chunk.
using rcMemPool = rcMemPoolChunk *;

// Bytes of a chunk before its first block, and the largest request a chunk
// serves (a larger one gets a block of its own).
constexpr size_t RC_MEMPOOL_HEADER = (sizeof(rcMemPoolChunk) + 7) & ~size_t(7);
constexpr size_t RC_MEMPOOL_MAX_BLOCK = RC_MEMPOOL_CHUNK - RC_MEMPOOL_HEADER;

rcMemPool rcMemPoolCreate(uint16_t tag);
void *rcMemPoolAlloc(rcMemPool pool, size_t n);
void rcMemPoolDestroy(rcMemPool pool);
// Caps the number of chunks of a pool (blocks of their own count as chunks),
// so that tests reach "memory out".
void rcMemPoolSetChunkLimit(rcMemPool pool, uint16_t chunks);

// The statement's parse pool (tag 1000).
int16_t rcTreePoolCreate(rcMemPool *out);
void rcTreePoolDestroy(rcMemPool pool);
char *rcTreePoolStrdup(rcMemPool pool, const char *text);
// Copies len bytes of text and a terminating zero.
char *rcTreePoolStrndup(rcMemPool pool, const char *text, size_t len);
