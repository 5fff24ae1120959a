// QXHandle: size prefix, resize keeps data, released handles stay dead.
#include "netclient/qxnetclient.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

TEST(QXHandle, EmptyBlockIsValid)
{
    QXHandle h = AllocQXHandle(0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(SizeOfQXHandle(h), 0);
    EXPECT_NE(LockQXHandle(h), nullptr);
    UnlockQXHandle(h);
    EXPECT_EQ(FreeQXHandle(h), nullptr);
}

TEST(QXHandle, ResizeKeepsTheSmallerOfBothSizes)
{
    struct Case {
        int32_t from, to;
    } cases[] = {{10, 100}, {100, 10}, {64, 64}, {1, 0}, {0, 7}};
    for (const Case &c : cases) {
        QXHandle h = AllocQXHandle(c.from);
        auto *p = static_cast<uint8_t *>(LockQXHandle(h));
        for (int32_t i = 0; i < c.from; ++i)
            p[i] = uint8_t(i * 7 + 1);
        UnlockQXHandle(h);
        ASSERT_EQ(ResizeQXHandle(h, c.to), 1);
        EXPECT_EQ(SizeOfQXHandle(h), c.to);
        p = static_cast<uint8_t *>(LockQXHandle(h));
        for (int32_t i = 0; i < std::min(c.from, c.to); ++i)
            ASSERT_EQ(p[i], uint8_t(i * 7 + 1)) << c.from << "->" << c.to << " at " << i;
        for (int32_t i = c.from; i < c.to; ++i)
            ASSERT_EQ(p[i], 0) << "grown bytes are zero";
        UnlockQXHandle(h);
        FreeQXHandle(h);
    }
}

TEST(QXHandle, ReleasedOrBadHandlesAreRefused)
{
    QXHandle h = AllocQXHandle(16);
    ASSERT_EQ(FreeQXHandle(h), nullptr);
    EXPECT_EQ(LockQXHandle(h), nullptr);
    EXPECT_EQ(SizeOfQXHandle(h), 0);
    EXPECT_EQ(ResizeQXHandle(h, 32), 0);
    EXPECT_EQ(FreeQXHandle(h), h) << "a second release is refused";
    // The slot is reused by a new block; the old handle still does not lock.
    QXHandle again = AllocQXHandle(16);
    EXPECT_EQ(LockQXHandle(h), nullptr);
    FreeQXHandle(again);

    EXPECT_EQ(LockQXHandle(nullptr), nullptr);
    UnlockQXHandle(nullptr);
    EXPECT_EQ(AllocQXHandle(-1), nullptr);
    EXPECT_EQ(ResizeQXHandle(nullptr, 4), 0);
}

} // namespace
