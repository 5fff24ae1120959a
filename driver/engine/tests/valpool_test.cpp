#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "driver/core/rclock.h"
#include "driver/core/rcmem.h"
#include "driver/engine/rcvalpool.h"
#include "driver/engine/rcstmt.h"

namespace {

class ValPoolTest : public ::testing::Test {
protected:
    rcStmt *stmt = nullptr;
    rcErrorQueue errors{}; // the statement handle's queue

    void SetUp() override
    {
        ASSERT_EQ(rcInitDriverGlobals(), 0);
        ASSERT_EQ(rcDrsAllocStmt(nullptr, &errors, &stmt), 0);
    }
    void TearDown() override
    {
        EXPECT_EQ(rcDrsDropStmt(stmt), 0);
        rcErrQueueDestroy(&errors);
        rcPoolFreeAll();
    }
};

TEST_F(ValPoolTest, SmallValuesFromThePoolLargeOnesFromGlobalMemory)
{
    void *small = rcValAlloc(stmt, 257);
    void *large = rcValAlloc(stmt, 258);
    ASSERT_NE(small, nullptr);
    ASSERT_NE(large, nullptr);
    EXPECT_EQ(rcValOrigin(small), RC_VAL_ORIGIN_POOL);
    EXPECT_EQ(rcValOrigin(large), RC_VAL_ORIGIN_GLOBAL);
    EXPECT_EQ(rcValSize(stmt, small), 257 + RC_VAL_HEADER);
    EXPECT_GE(rcValSize(stmt, large), 258 + RC_VAL_HEADER);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(small) % 8, 0u);
    std::memset(small, 'a', 257);
    std::memset(large, 'b', 258);
    rcValFree(stmt, small);
    rcValFree(stmt, large);
    EXPECT_EQ(stmt->valuePool.live, 0u);
}

TEST_F(ValPoolTest, ReallocKeepsWhatFitsWhereverTheValueMoves)
{
    auto *v = static_cast<char *>(rcValAlloc(stmt, 16));
    std::strcpy(v, "fifteen chars..");
    void *p = v;
    // Within the pool.
    ASSERT_EQ(rcValRealloc(stmt, &p, 100, true), 0);
    EXPECT_EQ(rcValOrigin(p), RC_VAL_ORIGIN_POOL);
    EXPECT_STREQ(static_cast<char *>(p), "fifteen chars..");
    // Shrinking keeps the prefix that fits.
    ASSERT_EQ(rcValRealloc(stmt, &p, 8, true), 0);
    EXPECT_EQ(std::memcmp(p, "fifteen ", 8), 0);
    EXPECT_EQ(rcValSize(stmt, p), 8 + RC_VAL_HEADER);
    // Growing past 258 moves it to global memory with the contents.
    ASSERT_EQ(rcValRealloc(stmt, &p, 300, true), 0);
    EXPECT_EQ(rcValOrigin(p), RC_VAL_ORIGIN_GLOBAL);
    EXPECT_EQ(std::memcmp(p, "fifteen ", 8), 0);
    EXPECT_EQ(stmt->valuePool.live, 0u);
    ASSERT_EQ(rcValRealloc(stmt, &p, 5000, true), 0);
    EXPECT_EQ(std::memcmp(p, "fifteen ", 8), 0);
    rcValFree(stmt, p);
}

TEST_F(ValPoolTest, SizesThatCannotCarryTheHeaderAreRefused)
{
    // n plus the header would wrap around: no buffer, nothing written.
    for (size_t n : {SIZE_MAX, SIZE_MAX - RC_VAL_HEADER + 1}) {
        EXPECT_EQ(rcValAlloc(stmt, n), nullptr);
        for (size_t start : {size_t(16), size_t(400)}) {
            void *p = rcValAlloc(stmt, start);
            ASSERT_NE(p, nullptr);
            void *before = p;
            EXPECT_EQ(rcValRealloc(stmt, &p, n, true), -1);
            EXPECT_EQ(p, before);
            rcValFree(stmt, p);
        }
    }
    EXPECT_EQ(stmt->valuePool.live, 0u);
}

TEST_F(ValPoolTest, ExhaustedPoolsKeepTheirBuffersUntilFreed)
{
    stmt->valuePoolBlockLimit = 2;
    char *v[5];
    for (int i = 0; i < 5; ++i) {
        v[i] = static_cast<char *>(rcValAlloc(stmt, 32));
        ASSERT_NE(v[i], nullptr) << i;
        std::snprintf(v[i], 32, "value %d", i);
    }
    // Two exhaustions: both earlier pools are still alive because their
    // buffers are in use.
    EXPECT_TRUE(stmt->poolOverflow);
    EXPECT_EQ(stmt->retiredValuePools.size(), 2u);
    EXPECT_EQ(rcErrQueueCount(stmt->errors), 2u); // one record per exhaustion
    SQLCHAR state[6];
    SQLCHAR text[256];
    SQLINTEGER native;
    SQLSMALLINT length;
    ASSERT_EQ(rcErrPopMessage(state, &native, text, sizeof text, &length, stmt->errors), 0);
    EXPECT_STREQ(reinterpret_cast<char *>(state), "S1000");
    EXPECT_NE(std::string(reinterpret_cast<char *>(text)).find("Backup memory pool invoked"),
              std::string::npos);
    for (int i = 0; i < 5; ++i) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "value %d", i);
        EXPECT_STREQ(v[i], expected); // ASan reports any buffer freed too early
    }
    // Freeing the last buffer of a retired pool destroys that pool.
    rcValFree(stmt, v[0]);
    EXPECT_EQ(stmt->retiredValuePools.size(), 2u);
    rcValFree(stmt, v[1]);
    EXPECT_EQ(stmt->retiredValuePools.size(), 1u);
    rcValFree(stmt, v[2]);
    rcValFree(stmt, v[3]);
    EXPECT_TRUE(stmt->retiredValuePools.empty());
    // v[4] stays: the record frees its pool when it goes.
}

} // namespace

namespace {

TEST_F(ValPoolTest, ShrinkingIntoAFreshBlockCopiesOnlyWhatFits)
{
    // The pool cannot resize in place: the value moves to a new block of
    // the new size, and only that much of the old value is carried over.
    stmt->valuePoolBlockLimit = 1;
    auto *v = static_cast<char *>(rcValAlloc(stmt, 200));
    ASSERT_NE(v, nullptr);
    std::memset(v, 'x', 200);
    void *p = v;
    ASSERT_EQ(rcValRealloc(stmt, &p, 10, true), 0);
    EXPECT_NE(p, static_cast<void *>(v));
    EXPECT_EQ(rcValSize(stmt, p), 10 + RC_VAL_HEADER);
    EXPECT_EQ(std::memcmp(p, "xxxxxxxxxx", 10), 0);
    EXPECT_TRUE(stmt->poolOverflow);
    EXPECT_TRUE(stmt->retiredValuePools.empty()); // the old pool held only the old value
    // Growing the same way carries the whole old value.
    ASSERT_EQ(rcValRealloc(stmt, &p, 100, true), 0);
    EXPECT_EQ(std::memcmp(p, "xxxxxxxxxx", 10), 0);
    rcValFree(stmt, p);
}

} // namespace
