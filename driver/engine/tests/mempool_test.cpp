#include <gtest/gtest.h>

#include <cstring>

#include "driver/engine/tree/rcmempool.h"

namespace {

size_t Offset(rcMemPool chunk, const void *block)
{
    return size_t(static_cast<const char *>(block) - reinterpret_cast<const char *>(chunk));
}

TEST(MemPool, BlocksFollowEachOtherRoundedAndZeroed)
{
    rcMemPool pool = rcMemPoolCreate(1000);
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(pool->tag, 1000);
    EXPECT_EQ(pool->capacity, RC_MEMPOOL_CHUNK);
    auto *a = static_cast<unsigned char *>(rcMemPoolAlloc(pool, 1));
    auto *b = static_cast<unsigned char *>(rcMemPoolAlloc(pool, 13));
    auto *c = static_cast<unsigned char *>(rcMemPoolAlloc(pool, 8));
    EXPECT_EQ(Offset(pool, a), RC_MEMPOOL_HEADER);
    EXPECT_EQ(b - a, 8); // a 1-byte request takes a whole aligned slot
    EXPECT_EQ(c - b, 16);
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(b[i], 0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(c) % 8, 0u);
    rcMemPoolDestroy(pool);
}

// Chunks come from the heap unzeroed: memory a destroyed pool scribbled on
// (which the next pool is likely given again) still reaches callers zeroed,
// in the first chunk and in the chunks chained on.
TEST(MemPool, BlocksAreZeroedWhenTheHeapGivesUsedMemoryBack)
{
    for (int round = 0; round < 2; ++round) {
        rcMemPool pool = rcMemPoolCreate(7);
        ASSERT_NE(pool, nullptr);
        EXPECT_EQ(pool->large, nullptr);
        EXPECT_EQ(pool->chunkLimit, 0);
        for (int i = 0; i < 40; ++i) {
            auto *block = static_cast<unsigned char *>(rcMemPoolAlloc(pool, 997));
            ASSERT_NE(block, nullptr);
            for (int k = 0; k < 997; ++k)
                ASSERT_EQ(block[k], 0) << "round " << round << " block " << i;
            std::memset(block, 0xA5, 997);
        }
        rcMemPoolDestroy(pool);
    }
}

TEST(MemPool, LargestChunkRequestFitsAFreshChunk)
{
    rcMemPool pool = rcMemPoolCreate(10);
    void *whole = rcMemPoolAlloc(pool, RC_MEMPOOL_MAX_BLOCK);
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(Offset(pool, whole), RC_MEMPOOL_HEADER); // no new chunk was needed
    EXPECT_EQ(pool->next, nullptr);
    rcMemPoolDestroy(pool);
}

// Requests sized from a count (258 bytes per IN value, a column entry per
// select-list column) may exceed a chunk: each gets a zeroed block of its
// own, and the chunk in use goes on serving the small requests.
TEST(MemPool, ARequestLargerThanAChunkGetsABlockOfItsOwn)
{
    rcMemPool pool = rcMemPoolCreate(4096);
    auto *small = static_cast<char *>(rcMemPoolAlloc(pool, 100));
    ASSERT_NE(small, nullptr);
    for (size_t n : {RC_MEMPOOL_MAX_BLOCK + 1, 258 * size_t(300), size_t(1) << 20}) {
        SCOPED_TRACE(n);
        auto *big = static_cast<unsigned char *>(rcMemPoolAlloc(pool, n));
        ASSERT_NE(big, nullptr);
        EXPECT_EQ(big[0], 0);
        EXPECT_EQ(big[n - 1], 0);
        std::memset(big, 0xA5, n); // all of it is the caller's (ASan checks)
        EXPECT_EQ(reinterpret_cast<uintptr_t>(big) % 8, 0u);
    }
    EXPECT_EQ(pool->next, nullptr); // the chunk chain is untouched
    auto *next = static_cast<char *>(rcMemPoolAlloc(pool, 8));
    EXPECT_EQ(next - small, 104);
    rcMemPoolDestroy(pool); // frees the blocks too (ASan reports a leak otherwise)
}

TEST(MemPool, OverflowOpensANewChunkAndNeverGoesBack)
{
    rcMemPool pool = rcMemPoolCreate(881);
    ASSERT_NE(rcMemPoolAlloc(pool, 15000), nullptr);
    void *big = rcMemPoolAlloc(pool, 2000);
    ASSERT_NE(pool->next, nullptr);
    EXPECT_EQ(pool->next->tag, 881);
    EXPECT_EQ(Offset(pool->next, big), RC_MEMPOOL_HEADER);
    // The first chunk still has room for 8 bytes, but requests go on in
    // the last chunk.
    void *small = rcMemPoolAlloc(pool, 8);
    EXPECT_EQ(Offset(pool->next, small), RC_MEMPOOL_HEADER + 2000);
    rcMemPoolDestroy(pool); // frees both chunks (ASan reports a leak otherwise)
}

TEST(MemPool, ChunkLimitMakesAllocationFailWithoutLosingBlocks)
{
    rcMemPool pool = rcMemPoolCreate(0);
    rcMemPoolSetChunkLimit(pool, 1);
    auto *kept = static_cast<char *>(rcMemPoolAlloc(pool, 100));
    std::strcpy(kept, "still here");
    EXPECT_EQ(rcMemPoolAlloc(pool, 15900), nullptr);
    EXPECT_STREQ(kept, "still here");
    EXPECT_NE(rcMemPoolAlloc(pool, 64), nullptr); // what still fits is served
    // A block of its own counts as a chunk.
    EXPECT_EQ(rcMemPoolAlloc(pool, RC_MEMPOOL_CHUNK), nullptr);
    rcMemPoolDestroy(pool);
}

TEST(TreePool, CreateStrdupDestroy)
{
    rcMemPool pool = nullptr;
    ASSERT_EQ(rcTreePoolCreate(&pool), 0);
    EXPECT_EQ(pool->tag, 1000);
    char *copy = rcTreePoolStrdup(pool, "SELECT");
    EXPECT_STREQ(copy, "SELECT");
    char *part = rcTreePoolStrndup(pool, "abcdef", 3);
    EXPECT_STREQ(part, "abc");
    rcTreePoolDestroy(pool);
    rcTreePoolDestroy(nullptr); // nothing to do
}

} // namespace
