// Clock services: a millisecond tick count, sleeping and "today".
//
// Every piece of code that measures time, waits or asks for the current date
// goes through these routines, so that tests can install a clock of their own
// (PlatSetClock) and run time-outs, keep-alives and date defaults without
// waiting for real time to pass.
#pragma once

#include <cstdint>

struct PlatDate {
    int16_t year;
    uint8_t month; // 1-12
    uint8_t day;   // 1-31
};

struct PlatClock {
    uint32_t (*tickCount)(); // milliseconds, wraps at 2^32 like a tick counter
    void (*sleep)(uint32_t ms);
    PlatDate (*today)(); // local calendar date
};

// Milliseconds since an arbitrary start; wraps around. Compare with
// PlatTicksSince, never by subtraction of your own.
uint32_t PlatTickCount();
// Milliseconds elapsed since `start` (a value of PlatTickCount), across wraps.
uint32_t PlatTicksSince(uint32_t start);
void PlatSleep(uint32_t ms);
PlatDate PlatToday();

// Installs `clock` in place of the system clock; nullptr restores the system
// clock. Each member left null falls back to the system routine.
void PlatSetClock(const PlatClock *clock);

// Local time of day with milliseconds (trace time stamps).
struct PlatTimeOfDay {
    uint8_t hour;    // 0-23
    uint8_t minute;  // 0-59
    uint8_t second;  // 0-59
    uint16_t millis; // 0-999
};
PlatTimeOfDay PlatNowTimeOfDay();
// Installs a source of the time of day for tests; nullptr restores the system's.
void PlatSetTimeOfDaySource(PlatTimeOfDay (*source)());
