// Locks: a recursive lock with the enter/leave shape of a critical section.
// The owning thread may enter again; each Enter needs one Leave.
#pragma once

#include <mutex>

class PlatLock {
public:
    void Enter() { m_.lock(); }
    bool TryEnter() { return m_.try_lock(); }
    void Leave() { m_.unlock(); }

private:
    std::recursive_mutex m_;
};

// Scoped hold of a PlatLock.
class PlatLockHold {
public:
    explicit PlatLockHold(PlatLock &lock) : lock_(lock) { lock_.Enter(); }
    ~PlatLockHold() { lock_.Leave(); }
    PlatLockHold(const PlatLockHold &) = delete;
    PlatLockHold &operator=(const PlatLockHold &) = delete;

private:
    PlatLock &lock_;
};
