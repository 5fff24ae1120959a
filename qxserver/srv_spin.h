// How long the server looks for the next request before it sleeps.
//
// After serving a request the server polls its sockets for a while without
// sleeping: a client reading a result asks again within microseconds, and a
// thread put to sleep wakes up slowly on an idle (virtual) CPU. That pays
// only while it holds. When the next request is far off the CPU is burnt for
// nothing; when the machine is loaded the spinning thread holds a CPU the
// client (or anyone) needs and gives up the quick wake-up a sleeping thread
// gets, so the request is served later, not sooner.
//
// SpinPolicy decides from what the last waits showed (the caller measures
// them; the decision is a function of those observations only):
//   - no spin while the machine is loaded: more runnable threads than CPUs
//     at the last look (NoteLoad), or a spin that lost its CPU (a gap of
//     kPreemptedMicros between two looks at the sockets) within the last
//     kLoadedWaits waits;
//   - no spin while fewer than a quarter of the recent waits ended within
//     the longest spin, except that every kProbeEvery-th wait spins in full
//     to look again;
//   - otherwise half as long again as the longest recent wait (a wait
//     counts less and less over the next waits, by 1/16 each) plus
//     kSlackMicros, at least kMinMicros and at most the longest spin.
// The --spin-us option fixes the spin instead (0: never).
#pragma once

#include <cstdint>

namespace qxs {

struct SpinObservation {
    uint32_t budgetMicros = 0; // how long the wait was ready to spin
    uint32_t waitedMicros = 0; // from its start to the event, or to giving up
    bool arrived = true;       // false: the wait gave up without an event
    bool preempted = false;    // the spin lost its CPU for a while
};

class SpinPolicy {
public:
    static constexpr uint32_t kMinMicros = 20;
    static constexpr uint32_t kSlackMicros = 10;
    static constexpr uint32_t kPreemptedMicros = 100;
    static constexpr uint32_t kLoadedWaits = 64;
    static constexpr uint32_t kProbeEvery = 32;

    // `maxMicros`: the longest spin.
    explicit SpinPolicy(uint32_t maxMicros) : max_(maxMicros), longest_(maxMicros) {}

    // How long the next wait spins (0: it sleeps at once).
    uint32_t Budget() const;
    void Record(const SpinObservation &o);
    // The machine as last seen: threads ready to run, CPUs.
    void NoteLoad(uint32_t runnable, uint32_t cpus) { busy_ = cpus > 0 && runnable > cpus; }

private:
    uint32_t max_;
    uint32_t longest_;       // longest recent wait within max_ (fades by 1/16 a wait)
    uint32_t hits_ = 256;    // share of recent waits within max_, in 256ths (1/8)
    uint32_t preempted_ = 0; // waits left without spinning after a lost CPU
    uint32_t sinceSpin_ = 0; // waits since the last one that spun
    bool busy_ = false;
};

// Threads ready to run on the machine now (/proc/loadavg); false when it
// cannot be read.
bool QxsRunnableThreads(uint32_t &runnable);

} // namespace qxs
