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

namespace {

// A locked block stays where its data pointer says: a resize while it is
// locked keeps the block in place (shrinking, or growing within what the
// block already holds) or fails and leaves block and size as they were.
// Once the last lock is gone, the block may move again.
TEST(QXHandle, ResizeNeverMovesALockedBlock)
{
    QXHandle h = AllocQXHandle(16);
    auto *p = static_cast<uint8_t *>(LockQXHandle(h));
    ASSERT_NE(p, nullptr);
    std::memset(p, 0x5A, 16);

    EXPECT_EQ(ResizeQXHandle(h, 1 << 20), 0) << "growing a locked block would move it";
    EXPECT_EQ(SizeOfQXHandle(h), 16);
    EXPECT_EQ(ResizeQXHandle(h, 8), 1) << "shrinking keeps the block in place";
    EXPECT_EQ(SizeOfQXHandle(h), 8);
    EXPECT_EQ(LockQXHandle(h), p);
    UnlockQXHandle(h);
    EXPECT_EQ(ResizeQXHandle(h, 12), 1) << "growing back within the block";
    EXPECT_EQ(SizeOfQXHandle(h), 12);
    for (int i = 0; i < 8; ++i)
        ASSERT_EQ(p[i], 0x5A) << i;
    for (int i = 8; i < 12; ++i)
        ASSERT_EQ(p[i], 0) << "bytes grown back are zero again, at " << i;
    p[11] = 1; // still the live block (AddressSanitizer watches this)
    UnlockQXHandle(h);

    ASSERT_EQ(ResizeQXHandle(h, 1 << 20), 1) << "unlocked, the block may move";
    EXPECT_EQ(SizeOfQXHandle(h), 1 << 20);
    p = static_cast<uint8_t *>(LockQXHandle(h));
    EXPECT_EQ(p[11], 1);
    EXPECT_EQ(p[(1 << 20) - 1], 0);
    UnlockQXHandle(h);
    FreeQXHandle(h);
}

} // namespace

namespace {

// A field-value result handle whose entry offsets lie outside the block (at
// the very end of the 32-bit range too) is refused, never read.
TEST(QXHandle, FieldResultOffsetsOutsideTheBlockAreRefused)
{
    for (int32_t off : {INT32_MAX, INT32_MAX - 1, 12, 11}) {
        QXHandle h = AllocQXHandle(12);
        auto *p = static_cast<uint8_t *>(LockQXHandle(h));
        int32_t first = 8;
        std::memcpy(p, &first, 4);
        std::memcpy(p + 4, &off, 4);
        UnlockQXHandle(h);
        QXValue v{};
        EXPECT_EQ(_QX_GetNthField(h, 2, &v), QX_ERR_BAD_REPLY_LENGTH) << off;
        FreeQXHandle(h);
    }
}

} // namespace
