#include "driver/core/tests/base_fixture.h"

#include <atomic>
#include <thread>
#include <vector>

namespace {

TEST(RcMutex, UseCountedCreateAndRelease)
{
    rcMutex *lock = nullptr;
    ASSERT_EQ(rcMutexCreate(&lock), 0);
    ASSERT_EQ(rcMutexCreate(&lock), 0);
    EXPECT_EQ(rcMutexUseCount(lock), 2);
    rcMutexRelease(&lock);
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(rcMutexIsInit(lock), 1u);
    EXPECT_EQ(rcMutexLock(lock), 0);
    EXPECT_EQ(rcMutexLock(lock), 0); // recursive for the owner
    EXPECT_EQ(rcMutexUnlock(lock), 0);
    EXPECT_EQ(rcMutexUnlock(lock), 0);
    rcMutexRelease(&lock);
    EXPECT_EQ(lock, nullptr);
}

// A try answers busy only while another thread holds the lock.
TEST(RcMutex, TryLockFromAnotherThread)
{
    rcMutex *lock = nullptr;
    ASSERT_EQ(rcMutexCreate(&lock), 0);
    ASSERT_EQ(rcMutexTryLock(lock), 0);
    EXPECT_EQ(rcMutexTryLock(lock), 0); // the owner's again
    int other = 0;
    std::thread([&] { other = rcMutexTryLock(lock); }).join();
    EXPECT_EQ(other, RC_MUTEX_BUSY);
    EXPECT_EQ(rcMutexUnlock(lock), 0);
    EXPECT_EQ(rcMutexUnlock(lock), 0);
    std::thread([&] {
        other = rcMutexTryLock(lock);
        if (other == 0)
            rcMutexUnlock(lock);
    }).join();
    EXPECT_EQ(other, 0);
    rcMutexRelease(&lock);
}

TEST(RcMutex, UninitialisedLockAnswersMinusEighteen)
{
    rcMutex never;
    EXPECT_EQ(rcMutexIsInit(&never), 0u);
    EXPECT_EQ(rcMutexLock(&never), RC_MUTEX_NOT_INIT);
    EXPECT_EQ(rcMutexTryLock(&never), RC_MUTEX_NOT_INIT);
    EXPECT_EQ(rcMutexUnlock(&never), RC_MUTEX_NOT_INIT);
}

TEST(RcMutex, ConcurrentCreateAndReleaseKeepOneLock)
{
    rcMutex *lock = nullptr;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i)
                rcMutexCreate(&lock);
        });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(rcMutexUseCount(lock), 1600);
    threads.clear();
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i)
                rcMutexRelease(&lock);
        });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(lock, nullptr);
}

TEST(RcDriverLock, PoolsFromManyThreadsAreSerialised)
{
    ASSERT_EQ(rcInitDriverGlobals(), 0);
    ASSERT_EQ(rcMutexCreate(rcParserLockVar()), 0);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                int32_t id = rcPoolCreate();
                if (id < 1) {
                    ++failures;
                    continue;
                }
                for (int k = 0; k < 20; ++k)
                    if (!rcPoolAlloc(id, 24))
                        ++failures;
                // a holder of the driver-wide lock may call pool operations
                rcDriverLockHold hold;
                rcPoolDestroy(id);
            }
        });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);
    rcMutexRelease(rcParserLockVar());
    EXPECT_EQ(*rcParserLockVar(), nullptr);
    rcPoolFreeAll();
    EXPECT_EQ(*rcDriverLockVar(), nullptr);
}

} // namespace
