// The server's spin policy: how long it looks for the next request, decided
// from the waits it saw (no timing here: the observations are given).
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "qxserver/srv_spin.h"

namespace qxs {
namespace {

constexpr uint32_t kMax = 300;

SpinObservation Waited(uint32_t micros, uint32_t budget = 100)
{
    SpinObservation o;
    o.budgetMicros = budget;
    o.waitedMicros = micros;
    return o;
}

TEST(SpinPolicy, SpinsAsLongAsRecentWaitsTook)
{
    struct Case {
        const char *what;
        std::function<void(SpinPolicy &)> history;
        uint32_t low, high; // the budget after it
    };
    const Case cases[] = {
        {"nothing seen yet: the longest spin", [](SpinPolicy &) {}, kMax, kMax},
        {"requests 15 us apart: half as long again",
         [](SpinPolicy &p) {
             for (int i = 0; i < 60; ++i)
                 p.Record(Waited(15));
         },
         32, 32},
        {"a request late now and then: the spin covers it for a while",
         [](SpinPolicy &p) {
             for (int i = 0; i < 60; ++i)
                 p.Record(Waited(15));
             p.Record(Waited(100));
             for (int i = 0; i < 5; ++i)
                 p.Record(Waited(15));
         },
         110, 140},
        {"requests 1 us apart: the shortest spin",
         [](SpinPolicy &p) {
             for (int i = 0; i < 80; ++i)
                 p.Record(Waited(1));
         },
         SpinPolicy::kMinMicros, SpinPolicy::kMinMicros},
        {"requests 200 us apart: the longest spin",
         [](SpinPolicy &p) {
             for (int i = 0; i < 40; ++i)
                 p.Record(Waited(200));
         },
         kMax, kMax},
        {"one request in ten far off: still pays",
         [](SpinPolicy &p) {
             for (int i = 0; i < 100; ++i)
                 p.Record(Waited(i % 10 == 0 ? 20000 : 15));
         },
         32, 32},
        {"requests far off: no spin",
         [](SpinPolicy &p) {
             for (int i = 0; i < 12; ++i)
                 p.Record(Waited(5000));
         },
         0, 0},
        {"the wait gave up: no spin",
         [](SpinPolicy &p) {
             for (int i = 0; i < 12; ++i) {
                 SpinObservation o = Waited(20);
                 o.arrived = false;
                 p.Record(o);
             }
         },
         0, 0},
        {"quick again after far off: spins again",
         [](SpinPolicy &p) {
             for (int i = 0; i < 12; ++i)
                 p.Record(Waited(5000));
             for (int i = 0; i < 40; ++i)
                 p.Record(Waited(50, 0)); // seen while sleeping
         },
         85, 85},
        {"a spin lost its CPU: no spin",
         [](SpinPolicy &p) {
             SpinObservation o = Waited(15);
             o.preempted = true;
             p.Record(o);
             for (uint32_t i = 1; i < SpinPolicy::kLoadedWaits; ++i)
                 p.Record(Waited(15, 0));
         },
         0, 0},
        {"and spins again some waits later",
         [](SpinPolicy &p) {
             SpinObservation o = Waited(15);
             o.preempted = true;
             p.Record(o);
             for (uint32_t i = 0; i < SpinPolicy::kLoadedWaits + 20; ++i)
                 p.Record(Waited(15, 0));
         },
         32, 32},
        {"more runnable threads than CPUs: no spin", [](SpinPolicy &p) { p.NoteLoad(9, 8); }, 0, 0},
        {"as many as CPUs: spins",
         [](SpinPolicy &p) {
             p.NoteLoad(9, 8);
             p.NoteLoad(8, 8);
         },
         kMax, kMax},
    };
    for (const Case &c : cases) {
        SpinPolicy p(kMax);
        c.history(p);
        EXPECT_GE(p.Budget(), c.low) << c.what;
        EXPECT_LE(p.Budget(), c.high) << c.what;
    }
}

TEST(SpinPolicy, LooksAgainNowAndThenWhileSpinningDoesNotPay)
{
    SpinPolicy p(kMax);
    for (int i = 0; i < 12; ++i)
        p.Record(Waited(5000));
    // Waits without spinning, then one spin in full; it found nothing, so
    // the next waits sleep again.
    std::vector<uint32_t> budgets;
    for (uint32_t i = 0; i < 2 * SpinPolicy::kProbeEvery + 2; ++i) {
        budgets.push_back(p.Budget());
        p.Record(Waited(5000, budgets.back()));
    }
    for (size_t i = 0; i < budgets.size(); ++i)
        EXPECT_EQ(budgets[i],
                  i % (SpinPolicy::kProbeEvery + 1) == SpinPolicy::kProbeEvery ? kMax : 0u)
            << i;
}

TEST(SpinPolicy, StaysWithinItsLongestSpin)
{
    SpinPolicy none(0);
    EXPECT_EQ(none.Budget(), 0u);
    SpinPolicy small(10);
    EXPECT_EQ(small.Budget(), 10u);
    for (int i = 0; i < 40; ++i)
        small.Record(Waited(1));
    EXPECT_EQ(small.Budget(), 10u);
}

} // namespace
} // namespace qxs
