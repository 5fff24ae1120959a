#include "platform/memory.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(PlatMemory, HandleSurvivesResizeAndIsFoundFromData)
{
    PlatMemHandle h = PlatMemAlloc(8);
    ASSERT_NE(h, nullptr);
    auto *p = static_cast<unsigned char *>(PlatMemLock(h));
    EXPECT_EQ(PlatMemLockCount(h), 1u);
    EXPECT_EQ(PlatMemHandleOf(p), h);
    std::memcpy(p, "abcdefgh", 8);
    ASSERT_TRUE(PlatMemReAlloc(h, 1 << 20));
    p = static_cast<unsigned char *>(PlatMemLock(h));
    EXPECT_EQ(std::memcmp(p, "abcdefgh", 8), 0);
    EXPECT_EQ(p[8], 0);
    EXPECT_EQ(p[(1 << 20) - 1], 0);
    EXPECT_EQ(PlatMemHandleOf(p), h);
    EXPECT_EQ(PlatMemSize(h), static_cast<size_t>(1 << 20));
    EXPECT_EQ(PlatMemUnlock(h), 1u);
    EXPECT_EQ(PlatMemUnlock(h), 0u);
    EXPECT_EQ(PlatMemUnlock(h), 0u); // never below zero
    PlatMemFree(h);
    EXPECT_EQ(PlatMemHandleOf(nullptr), nullptr);
    EXPECT_EQ(PlatMemAlloc(SIZE_MAX), nullptr);
}
