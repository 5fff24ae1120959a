// The client library's spin policy: how long LinkWait looks for a reply,
// decided from the waits it saw (no timing here: the observations are given).
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "netclient/nc_component.h"

namespace nc {
namespace {

constexpr uint32_t kMax = kLinkSpinMicros;

LinkSpinObservation Waited(uint32_t micros, uint32_t budget = 100)
{
    LinkSpinObservation o;
    o.budgetMicros = budget;
    o.waitedMicros = micros;
    return o;
}

TEST(LinkSpinPolicy, SpinsAsLongAsRecentWaitsTook)
{
    struct Case {
        const char *what;
        std::function<void(LinkSpinPolicy &)> history;
        uint32_t low, high; // the budget after it
    };
    const Case cases[] = {
        {"nothing seen yet: the longest spin", [](LinkSpinPolicy &) {}, kMax, kMax},
        {"replies after 15 us: half as long again",
         [](LinkSpinPolicy &p) {
             for (int i = 0; i < 60; ++i)
                 p.Record(Waited(15));
         },
         32, 32},
        {"a reply late now and then: the spin covers it for a while",
         [](LinkSpinPolicy &p) {
             for (int i = 0; i < 60; ++i)
                 p.Record(Waited(15));
             p.Record(Waited(100));
             for (int i = 0; i < 5; ++i)
                 p.Record(Waited(15));
         },
         110, 140},
        {"replies after 1 us: the shortest spin",
         [](LinkSpinPolicy &p) {
             for (int i = 0; i < 80; ++i)
                 p.Record(Waited(1));
         },
         LinkSpinPolicy::kMinMicros, LinkSpinPolicy::kMinMicros},
        {"replies after 200 us: the longest spin",
         [](LinkSpinPolicy &p) {
             for (int i = 0; i < 40; ++i)
                 p.Record(Waited(200));
         },
         kMax, kMax},
        {"one reply in ten far off: still pays",
         [](LinkSpinPolicy &p) {
             for (int i = 0; i < 100; ++i)
                 p.Record(Waited(i % 10 == 0 ? 20000 : 15));
         },
         32, 32},
        {"replies far off: no spin",
         [](LinkSpinPolicy &p) {
             for (int i = 0; i < 12; ++i)
                 p.Record(Waited(5000));
         },
         0, 0},
        {"the wait gave up: no spin",
         [](LinkSpinPolicy &p) {
             for (int i = 0; i < 12; ++i) {
                 LinkSpinObservation o = Waited(20);
                 o.arrived = false;
                 p.Record(o);
             }
         },
         0, 0},
        {"quick again after far off: spins again",
         [](LinkSpinPolicy &p) {
             for (int i = 0; i < 12; ++i)
                 p.Record(Waited(5000));
             for (int i = 0; i < 40; ++i)
                 p.Record(Waited(50, 0)); // seen while sleeping
         },
         85, 85},
        {"a spin lost its CPU: no spin",
         [](LinkSpinPolicy &p) {
             LinkSpinObservation o = Waited(15);
             o.preempted = true;
             p.Record(o);
             for (uint32_t i = 1; i < LinkSpinPolicy::kLoadedWaits; ++i)
                 p.Record(Waited(15, 0));
         },
         0, 0},
        {"and spins again some waits later",
         [](LinkSpinPolicy &p) {
             LinkSpinObservation o = Waited(15);
             o.preempted = true;
             p.Record(o);
             for (uint32_t i = 0; i < LinkSpinPolicy::kLoadedWaits + 20; ++i)
                 p.Record(Waited(15, 0));
         },
         32, 32},
        {"more runnable threads than CPUs: no spin", [](LinkSpinPolicy &p) { p.NoteLoad(9, 8); }, 0,
         0},
        {"as many as CPUs: spins",
         [](LinkSpinPolicy &p) {
             p.NoteLoad(9, 8);
             p.NoteLoad(8, 8);
         },
         kMax, kMax},
    };
    for (const Case &c : cases) {
        LinkSpinPolicy p(kMax);
        c.history(p);
        EXPECT_GE(p.Budget(), c.low) << c.what;
        EXPECT_LE(p.Budget(), c.high) << c.what;
    }
}

TEST(LinkSpinPolicy, LooksAgainNowAndThenWhileSpinningDoesNotPay)
{
    LinkSpinPolicy p(kMax);
    for (int i = 0; i < 12; ++i)
        p.Record(Waited(5000));
    // Waits without spinning, then one spin in full; it found nothing, so
    // the next waits sleep again.
    std::vector<uint32_t> budgets;
    for (uint32_t i = 0; i < 2 * LinkSpinPolicy::kProbeEvery + 2; ++i) {
        budgets.push_back(p.Budget());
        p.Record(Waited(5000, budgets.back()));
    }
    for (size_t i = 0; i < budgets.size(); ++i)
        EXPECT_EQ(budgets[i],
                  i % (LinkSpinPolicy::kProbeEvery + 1) == LinkSpinPolicy::kProbeEvery ? kMax : 0u)
            << i;
}

TEST(LinkSpinPolicy, StaysWithinItsLongestSpin)
{
    LinkSpinPolicy none(0);
    EXPECT_EQ(none.Budget(), 0u);
    LinkSpinPolicy small(10);
    EXPECT_EQ(small.Budget(), 10u);
    for (int i = 0; i < 40; ++i)
        small.Record(Waited(1));
    EXPECT_EQ(small.Budget(), 10u);
}

} // namespace
} // namespace nc
