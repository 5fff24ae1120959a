// Locks of the driver: reference-counted recursive locks (rcMutex).
//
// An rcMutex is reached through a pointer variable that is null until the first
// rcMutexCreate and null again after the last rcMutexRelease. Legal order:
//   rcMutexCreate(&var)     first call makes the lock; later calls add a use
//   rcMutexIsInit(var)      callers test this before locking (var must not be null)
//   rcMutexLock(var) ... rcMutexUnlock(var)   recursive for the owning thread
//   rcMutexTryLock(var)     as rcMutexLock when the lock is free or the caller's;
//                           RC_MUTEX_BUSY (nothing held) when another thread has it
//   rcMutexRelease(&var)    drops a use; the last one destroys it and nulls var
// Creating and releasing through the same variable from several threads is safe:
// one process-wide guard serialises the use counts.
//
// The driver's process-wide locks:
//   driver-wide lock  one use per environment (rcInitDriverGlobals / rcPoolFreeAll);
//                     serialises pools, the locked list sort and search, and the
//                     engine's own sections. Re-entered by its owner.
//   parser lock       one use per environment; held around statement preparation.
//   pool guard        inside rcPoolFreeAll only; taken before the driver-wide lock.
#pragma once

#include "platform/lock.h"

#include <atomic>
#include <cstdint>

enum : int {
    RC_MUTEX_NO_MEMORY = -11,
    RC_MUTEX_NOT_INIT = -18,
    RC_MUTEX_BUSY = -19,
};

struct rcMutex {
    PlatLock lock;
    uint16_t useCount = 0;
    std::atomic<uint32_t> initialised{0};
};

int rcMutexCreate(rcMutex **var);
int rcMutexLock(rcMutex *m);
int rcMutexTryLock(rcMutex *m);
int rcMutexUnlock(rcMutex *m);
int rcMutexRelease(rcMutex **var);
uint32_t rcMutexIsInit(const rcMutex *m);
// The number of uses (0 for null).
uint16_t rcMutexUseCount(const rcMutex *m);

// The driver-wide and parser lock variables (null while no environment exists).
rcMutex **rcDriverLockVar();
rcMutex **rcParserLockVar();

// Enters the driver-wide lock when it exists; answers false (nothing held)
// when there is no environment.
bool rcDriverLockEnter();
void rcDriverLockLeave();

// Holds the driver-wide lock for a scope when it exists; held() tells whether.
class rcDriverLockHold {
public:
    rcDriverLockHold() : held_(rcDriverLockEnter()) {}
    ~rcDriverLockHold()
    {
        if (held_)
            rcDriverLockLeave();
    }
    rcDriverLockHold(const rcDriverLockHold &) = delete;
    rcDriverLockHold &operator=(const rcDriverLockHold &) = delete;
    bool held() const { return held_; }

private:
    bool held_;
};

// Holds the parser lock for a scope when it exists (statement preparation
// and the stored views are read under it); without an environment nothing is held.
class rcParserLockHold {
public:
    rcParserLockHold() : m_(*rcParserLockVar())
    {
        if (m_ != nullptr && rcMutexIsInit(m_))
            rcMutexLock(m_);
        else
            m_ = nullptr;
    }
    ~rcParserLockHold()
    {
        if (m_ != nullptr)
            rcMutexUnlock(m_);
    }
    rcParserLockHold(const rcParserLockHold &) = delete;
    rcParserLockHold &operator=(const rcParserLockHold &) = delete;

private:
    rcMutex *m_;
};

// Called by each environment allocation: adds a use of the driver-wide lock and
// makes the pool table (100 slots) when it does not exist. 0, or -11.
int rcInitDriverGlobals();
