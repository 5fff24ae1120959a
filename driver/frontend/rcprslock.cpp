#include "driver/frontend/rcprslock.h"

#include <mutex>

namespace {
std::recursive_mutex gEngineLock;
}

void rcPrsEngineLock()
{
    gEngineLock.lock();
}

void rcPrsEngineUnlock()
{
    gEngineLock.unlock();
}
