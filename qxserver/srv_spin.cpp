// The server's spin policy (see srv_spin.h).
#include "qxserver/srv_spin.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace qxs {

uint32_t SpinPolicy::Budget() const
{
    if (max_ == 0 || busy_ || preempted_ > 0)
        return 0;
    if (hits_ < 64)
        return sinceSpin_ >= kProbeEvery ? max_ : 0;
    return std::clamp(longest_ + longest_ / 2 + kSlackMicros, std::min(kMinMicros, max_), max_);
}

void SpinPolicy::Record(const SpinObservation &o)
{
    if (o.preempted)
        preempted_ = kLoadedWaits;
    else if (preempted_ > 0)
        --preempted_;
    bool hit = o.arrived && o.waitedMicros <= max_;
    hits_ = hits_ - hits_ / 8 + (hit ? 32 : 0);
    longest_ -= (longest_ + 15) / 16;
    if (hit)
        longest_ = std::max(longest_, o.waitedMicros);
    sinceSpin_ = o.budgetMicros > 0 ? 0 : sinceSpin_ + 1;
}

bool QxsRunnableThreads(uint32_t &runnable)
{
    // "0.52 0.58 0.59 3/456 12345": the fourth field is runnable/total.
    int fd = ::open("/proc/loadavg", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buf[128];
    ssize_t n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (n <= 0)
        return false;
    buf[n] = 0;
    unsigned r = 0, total = 0;
    double a = 0, b = 0, c = 0;
    if (std::sscanf(buf, "%lf %lf %lf %u/%u", &a, &b, &c, &r, &total) != 5)
        return false;
    runnable = r;
    return true;
}

} // namespace qxs
