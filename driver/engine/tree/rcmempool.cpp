#include "driver/engine/tree/rcmempool.h"

#include <cstdlib>
#include <cstring>

namespace {

rcMemPoolChunk *NewChunk(uint16_t tag)
{
    // Not zero-filled here: each block is zeroed as it is handed out, so a
    // statement pays for the bytes it uses, not for the whole chunk.
    void *raw = std::malloc(RC_MEMPOOL_CHUNK);
    if (raw == nullptr)
        return nullptr;
    std::memset(raw, 0, RC_MEMPOOL_HEADER);
    auto *chunk = static_cast<rcMemPoolChunk *>(raw);
    chunk->tag = tag;
    chunk->used = static_cast<uint16_t>(RC_MEMPOOL_HEADER);
    chunk->capacity = static_cast<uint16_t>(RC_MEMPOOL_CHUNK);
    chunk->chunks = 1;
    chunk->next = nullptr;
    chunk->last = chunk;
    return chunk;
}

} // namespace

rcMemPool rcMemPoolCreate(uint16_t tag) { return NewChunk(tag); }

namespace {

// A block of its own: the link to the pool's previous one, then the block.
constexpr size_t kLargeHeader = 16;

bool AtChunkLimit(const rcMemPoolChunk *pool)
{
    return pool->chunkLimit != 0 && pool->chunks >= pool->chunkLimit;
}

void *LargeBlock(rcMemPool pool, size_t n)
{
    if (AtChunkLimit(pool) || n > SIZE_MAX - kLargeHeader)
        return nullptr;
    void *raw = std::calloc(1, kLargeHeader + n);
    if (raw == nullptr)
        return nullptr;
    std::memcpy(raw, &pool->large, sizeof(void *));
    pool->large = raw;
    ++pool->chunks;
    return static_cast<char *>(raw) + kLargeHeader;
}

} // namespace

void *rcMemPoolAlloc(rcMemPool pool, size_t n)
{
    if (pool == nullptr)
        return nullptr;
    if (n > RC_MEMPOOL_MAX_BLOCK)
        return LargeBlock(pool, n);
    // Only the last chunk serves requests; what an earlier chunk has left
    // stays unused.
    rcMemPoolChunk *last = pool->last;
    if (last->used + n > last->capacity) {
        if (AtChunkLimit(pool))
            return nullptr;
        rcMemPoolChunk *fresh = NewChunk(pool->tag);
        if (fresh == nullptr)
            return nullptr;
        last->next = fresh;
        pool->last = fresh;
        ++pool->chunks;
        last = fresh;
    }
    char *block = reinterpret_cast<char *>(last) + last->used;
    size_t rounded = (n + 7) & ~size_t(7);
    size_t used = last->used + rounded;
    if (used > last->capacity)
        used = last->capacity;
    std::memset(block, 0, used - last->used);
    last->used = static_cast<uint16_t>(used);
    return block;
}

void rcMemPoolDestroy(rcMemPool pool)
{
    void *large = pool != nullptr ? pool->large : nullptr;
    while (large != nullptr) {
        void *older = nullptr;
        std::memcpy(&older, large, sizeof(void *));
        std::free(large);
        large = older;
    }
    while (pool != nullptr) {
        rcMemPoolChunk *next = pool->next;
        std::free(pool);
        pool = next;
    }
}

void rcMemPoolSetChunkLimit(rcMemPool pool, uint16_t chunks)
{
    if (pool != nullptr)
        pool->chunkLimit = chunks;
}

int16_t rcTreePoolCreate(rcMemPool *out)
{
    *out = rcMemPoolCreate(1000);
    return *out == nullptr ? -1 : 0;
}

void rcTreePoolDestroy(rcMemPool pool)
{
    if (pool != nullptr)
        rcMemPoolDestroy(pool);
}

char *rcTreePoolStrndup(rcMemPool pool, const char *text, size_t len)
{
    auto *copy = static_cast<char *>(rcMemPoolAlloc(pool, len + 1));
    if (copy == nullptr)
        return nullptr;
    std::memcpy(copy, text, len);
    copy[len] = '\0';
    return copy;
}

char *rcTreePoolStrdup(rcMemPool pool, const char *text)
{
    return rcTreePoolStrndup(pool, text, std::strlen(text));
}
