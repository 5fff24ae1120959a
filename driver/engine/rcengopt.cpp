// The driver-wide engine settings of rcDrsSetEngineOption (see rcengopt.h).
#include "driver/engine/rcengopt.h"

#include <atomic>
#include <cstring>

#include "driver/core/rclock.h"

namespace {

// Written under the driver-wide lock; atomic so that a reader outside it
// (a plan being built) sees a whole value.
std::atomic<uint32_t> gDecimalText{0};
std::atomic<uint32_t> gPushDownUpdate{0};

std::atomic<uint32_t> *SettingOf(uint16_t option)
{
    switch (option) {
    case RC_ENGOPT_DECIMAL_TEXT: return &gDecimalText;
    case RC_ENGOPT_PUSHDOWN_UPDATE: return &gPushDownUpdate;
    default: return nullptr;
    }
}

} // namespace

int16_t rcDrsSetEngineOption(uint16_t option, const void *value)
{
    std::atomic<uint32_t> *setting = SettingOf(option);
    if (setting == nullptr || value == nullptr)
        return 0;
    uint32_t v = 0;
    std::memcpy(&v, value, sizeof v);
    rcDriverLockHold driverLock;
    setting->store(v);
    return 0;
}

uint32_t rcDrsEngineOption(uint16_t option)
{
    const std::atomic<uint32_t> *setting = SettingOf(option);
    return setting != nullptr ? setting->load() : 0;
}
