#include "driver/core/rcstrings.h"

#include "driver/core/rcmem.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kLoadedSize = 513; // 512 characters and a terminator
constexpr int kUtlBufferSize = 256;

std::atomic<rcModule> g_module{&kRcDriverStringTable};

} // namespace

rcModule rcUtlGetModule() { return g_module.load(); }

char *rcResLoadString(rcModule module, uint32_t id)
{
    auto *block = static_cast<char *>(rcMemAlloc(kLoadedSize));
    if (!block)
        return nullptr;
    PlatLoadString(module, id, block, kLoadedSize);
    return block;
}

void rcResFreeString(char *text) { rcMemFree(text); }

const char *rcUtlLoadString(uint32_t id)
{
    // One buffer per thread; the table is compiled in, so no block is needed.
    thread_local char buffer[kUtlBufferSize];
    PlatLoadString(rcUtlGetModule(), id, buffer, kUtlBufferSize);
    return buffer;
}

char *rcUtlLoadStringEx(uint32_t id) { return rcResLoadString(rcUtlGetModule(), id); }

const char *rcResFind(uint32_t id) { return PlatFindString(rcUtlGetModule(), id); }
