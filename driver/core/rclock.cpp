#include "driver/core/rclock.h"

#include "driver/core/rcmem.h"

#include <mutex>
#include <new>

namespace {

// Serialises use counts and the creation and destruction of every rcMutex.
std::mutex &CountGuard()
{
    static std::mutex guard;
    return guard;
}

rcMutex *g_driverLock = nullptr;
rcMutex *g_parserLock = nullptr;

} // namespace

int rcMutexCreate(rcMutex **var)
{
    std::lock_guard<std::mutex> hold(CountGuard());
    if (!*var) {
        *var = new (std::nothrow) rcMutex;
        if (!*var)
            return RC_MUTEX_NO_MEMORY;
    }
    rcMutex *m = *var;
    if (m->useCount != 0) {
        ++m->useCount;
        return 0;
    }
    m->useCount = 1;
    m->initialised.store(1, std::memory_order_release);
    return 0;
}

int rcMutexLock(rcMutex *m)
{
    if (!m || !m->initialised.load(std::memory_order_acquire))
        return RC_MUTEX_NOT_INIT;
    m->lock.Enter();
    return 0;
}

int rcMutexTryLock(rcMutex *m)
{
    if (!m || !m->initialised.load(std::memory_order_acquire))
        return RC_MUTEX_NOT_INIT;
    return m->lock.TryEnter() ? 0 : RC_MUTEX_BUSY;
}

int rcMutexUnlock(rcMutex *m)
{
    if (!m || !m->initialised.load(std::memory_order_acquire))
        return RC_MUTEX_NOT_INIT;
    m->lock.Leave();
    return 0;
}

int rcMutexRelease(rcMutex **var)
{
    std::lock_guard<std::mutex> hold(CountGuard());
    rcMutex *m = *var;
    if (!m)
        return 0;
    if (m->useCount > 0)
        --m->useCount;
    if (m->useCount == 0) {
        m->initialised.store(0, std::memory_order_release);
        delete m;
        *var = nullptr;
    }
    return 0;
}

uint32_t rcMutexIsInit(const rcMutex *m)
{
    return m ? m->initialised.load(std::memory_order_acquire) : 0;
}

uint16_t rcMutexUseCount(const rcMutex *m)
{
    std::lock_guard<std::mutex> hold(CountGuard());
    return m ? m->useCount : 0;
}

rcMutex **rcDriverLockVar() { return &g_driverLock; }
rcMutex **rcParserLockVar() { return &g_parserLock; }

bool rcDriverLockEnter()
{
    rcMutex *m;
    {
        std::lock_guard<std::mutex> hold(CountGuard());
        m = g_driverLock;
        if (!rcMutexIsInit(m))
            return false;
    }
    m->lock.Enter();
    return true;
}

void rcDriverLockLeave()
{
    rcMutex *m = g_driverLock;
    if (m)
        m->lock.Leave();
}

int rcInitDriverGlobals()
{
    int rc = rcMutexCreate(&g_driverLock);
    if (rc != 0)
        return rc;
    bool made;
    {
        rcDriverLockHold hold;
        made = rcPoolTableEnsure();
    }
    if (!made) {
        // no table: the environment cannot be made, drop the use again
        rcMutexRelease(&g_driverLock);
        return RC_MUTEX_NO_MEMORY;
    }
    return 0;
}
