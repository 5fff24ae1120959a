#include "driver/core/tests/base_fixture.h"

#include <cstring>
#include <vector>

namespace {

TEST(RcMem, GlobalBlocksAreZeroFilledAndKeepDataWhenResized)
{
    auto *p = static_cast<unsigned char *>(rcMemAlloc(64));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(rcMemSize(p), 64u);
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(p[i], 0);
    std::memset(p, 0xAB, 64);
    void *v = p;
    ASSERT_EQ(rcMemRealloc(&v, 4096), 0);
    p = static_cast<unsigned char *>(v);
    EXPECT_EQ(rcMemSize(p), 4096u);
    EXPECT_EQ(p[63], 0xAB);
    EXPECT_EQ(p[64], 0); // grown bytes are zero
    EXPECT_EQ(p[4095], 0);
    rcMemFree(p);

    void *fresh = nullptr; // a null pointer allocates
    ASSERT_EQ(rcMemRealloc(&fresh, 10), 0);
    EXPECT_EQ(rcMemSize(fresh), 10u);
    rcMemFree(fresh);
    EXPECT_EQ(rcMemSize(nullptr), 0u);
}

TEST(RcPool, EveryOperationFailsQuietlyWithoutAnEnvironment)
{
    ASSERT_EQ(*rcDriverLockVar(), nullptr);
    EXPECT_EQ(rcPoolCreate(), -1);
    EXPECT_EQ(rcPoolAlloc(1, 10), nullptr);
    rcPoolDestroy(1);
    rcPoolFreeAll();
}

using RcPoolTest = DriverEnvTest;

TEST_F(RcPoolTest, IdsStartAtOneAndFreedSlotsAreReused)
{
    int32_t a = rcPoolCreate();
    int32_t b = rcPoolCreate();
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    rcPoolDestroy(a);
    EXPECT_EQ(rcPoolCreate(), 1);
}

TEST_F(RcPoolTest, TableGrowsByTwentyFiveAtTheHundredthCreate)
{
    EXPECT_EQ(rcPoolTableLength(), 100u);
    std::vector<int32_t> ids;
    for (int i = 0; i < 99; ++i)
        ids.push_back(rcPoolCreate());
    EXPECT_EQ(ids.front(), 1);
    EXPECT_EQ(ids.back(), 99);
    EXPECT_EQ(rcPoolTableLength(), 100u);
    EXPECT_EQ(rcPoolCreate(), 100); // the first slot of the grown table
    EXPECT_EQ(rcPoolTableLength(), 125u);
}

TEST_F(RcPoolTest, BlocksChainAndFreeInAnyOrder)
{
    int32_t id = rcPoolCreate();
    std::vector<unsigned char *> blocks;
    for (int i = 0; i < 5; ++i) {
        auto *b = static_cast<unsigned char *>(rcPoolAlloc(id, 32 + i));
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(rcPoolBlockSize(id, b), static_cast<size_t>(32 + i));
        EXPECT_EQ(b[31], 0);
        std::memset(b, i + 1, 32);
        blocks.push_back(b);
    }
    // middle, newest and oldest: the chain stays whole for the rest
    rcPoolFree(id, blocks[2]);
    rcPoolFree(id, blocks[4]);
    rcPoolFree(id, blocks[0]);
    EXPECT_EQ(blocks[1][0], 2);
    EXPECT_EQ(blocks[3][31], 4);
    rcPoolDestroy(id); // frees blocks 1 and 3 (ASan reports any leak or double free)
}

TEST_F(RcPoolTest, FreeingTheOnlyBlockKeepsThePoolReserved)
{
    int32_t id = rcPoolCreate();
    rcPoolFree(id, rcPoolAlloc(id, 8));
    EXPECT_NE(rcPoolAlloc(id, 8), nullptr);
    EXPECT_NE(rcPoolCreate(), id);
}

TEST_F(RcPoolTest, ReallocKeepsDataAndPlaceInTheChain)
{
    int32_t id = rcPoolCreate();
    auto *older = static_cast<char *>(rcPoolAlloc(id, 16));
    auto *middle = static_cast<char *>(rcPoolAlloc(id, 16));
    auto *newer = static_cast<char *>(rcPoolAlloc(id, 16));
    std::strcpy(middle, "middle");
    middle = static_cast<char *>(rcPoolRealloc(id, middle, 1 << 20));
    ASSERT_NE(middle, nullptr);
    EXPECT_STREQ(middle, "middle");
    EXPECT_EQ(rcPoolBlockSize(id, middle), static_cast<size_t>(1 << 20));
    auto *newest = static_cast<char *>(rcPoolRealloc(id, newer, 1 << 16));
    ASSERT_NE(newest, nullptr);
    rcPoolFree(id, middle); // relinks older and newest around the moved block
    rcPoolFree(id, older);
    rcPoolFree(id, newest);
    EXPECT_NE(rcPoolAlloc(id, 4), nullptr);
    rcPoolDestroy(id);
}

TEST(RcPoolEnvironments, PoolsLiveUntilTheLastEnvironmentGoes)
{
    ASSERT_EQ(rcInitDriverGlobals(), 0);
    ASSERT_EQ(rcInitDriverGlobals(), 0);
    int32_t id = rcPoolCreate();
    auto *p = static_cast<char *>(rcPoolAlloc(id, 8));
    ASSERT_NE(p, nullptr);
    rcPoolFreeAll(); // first environment freed
    ASSERT_NE(*rcDriverLockVar(), nullptr);
    std::strcpy(p, "alive");
    EXPECT_NE(rcPoolAlloc(id, 8), nullptr);
    rcPoolFreeAll(); // the last one frees every pool
    EXPECT_EQ(*rcDriverLockVar(), nullptr);
    EXPECT_EQ(rcPoolTableLength(), 0u);
    EXPECT_EQ(rcPoolAlloc(id, 8), nullptr);
}

} // namespace
