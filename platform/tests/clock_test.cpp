#include "platform/clock.h"

#include <gtest/gtest.h>

namespace {

uint32_t g_ticks = 0;
uint32_t FakeTicks() { return g_ticks; }
void FakeSleep(uint32_t ms) { g_ticks += ms; }
PlatDate FakeToday() { return PlatDate{1996, 2, 29}; }

TEST(PlatClock, InjectedClockDrivesTicksSleepAndToday)
{
    PlatClock fake{FakeTicks, FakeSleep, FakeToday};
    PlatSetClock(&fake);
    g_ticks = 0xFFFFFFF0u; // just before the wrap
    uint32_t start = PlatTickCount();
    PlatSleep(0x20);
    EXPECT_EQ(PlatTicksSince(start), 0x20u);
    PlatDate d = PlatToday();
    EXPECT_EQ(d.year, 1996);
    EXPECT_EQ(d.month, 2);
    EXPECT_EQ(d.day, 29);
    PlatSetClock(nullptr);
}

TEST(PlatClock, SystemClockAdvances)
{
    uint32_t start = PlatTickCount();
    PlatSleep(5);
    EXPECT_GE(PlatTicksSince(start), 4u);
    PlatDate d = PlatToday();
    EXPECT_GE(d.year, 2000);
    EXPECT_GE(d.month, 1);
    EXPECT_LE(d.month, 12);
}

} // namespace
