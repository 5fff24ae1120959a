#include "platform/clock.h"

#include <atomic>
#include <ctime>
#include <time.h>

namespace {

uint32_t SystemTickCount()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms =
        static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

void SystemSleep(uint32_t ms)
{
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {}
}

PlatDate SystemToday()
{
    time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    return PlatDate{static_cast<int16_t>(local.tm_year + 1900),
                    static_cast<uint8_t>(local.tm_mon + 1), static_cast<uint8_t>(local.tm_mday)};
}

std::atomic<const PlatClock *> g_clock{nullptr};

} // namespace

uint32_t PlatTickCount()
{
    const PlatClock *c = g_clock.load(std::memory_order_acquire);
    return (c && c->tickCount) ? c->tickCount() : SystemTickCount();
}

uint32_t PlatTicksSince(uint32_t start)
{
    return PlatTickCount() - start; // unsigned arithmetic handles the wrap
}

void PlatSleep(uint32_t ms)
{
    const PlatClock *c = g_clock.load(std::memory_order_acquire);
    if (c && c->sleep)
        c->sleep(ms);
    else
        SystemSleep(ms);
}

PlatDate PlatToday()
{
    const PlatClock *c = g_clock.load(std::memory_order_acquire);
    return (c && c->today) ? c->today() : SystemToday();
}

void PlatSetClock(const PlatClock *clock) { g_clock.store(clock, std::memory_order_release); }

namespace {

std::atomic<PlatTimeOfDay (*)()> g_timeOfDay{nullptr};

} // namespace

PlatTimeOfDay PlatNowTimeOfDay()
{
    if (auto *source = g_timeOfDay.load(std::memory_order_acquire))
        return source();
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    return PlatTimeOfDay{static_cast<uint8_t>(local.tm_hour), static_cast<uint8_t>(local.tm_min),
                         static_cast<uint8_t>(local.tm_sec),
                         static_cast<uint16_t>(ts.tv_nsec / 1000000)};
}

void PlatSetTimeOfDaySource(PlatTimeOfDay (*source)())
{
    g_timeOfDay.store(source, std::memory_order_release);
}
