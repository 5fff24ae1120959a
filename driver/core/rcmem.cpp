#include "driver/core/rcmem.h"

#include "driver/core/rclock.h"
#include "platform/memory.h"

#include <climits>
#include <cstring>
#include <new>

// ---------------------------------------------------------------- global blocks

void *rcMemAlloc(size_t size)
{
    PlatMemHandle h = PlatMemAlloc(size);
    return h ? PlatMemLock(h) : nullptr;
}

void rcMemFree(void *p)
{
    if (!p)
        return;
    PlatMemHandle h = PlatMemHandleOf(p);
    PlatMemUnlock(h);
    PlatMemFree(h);
}

int rcMemRealloc(void **p, size_t size)
{
    if (!*p) {
        void *n = rcMemAlloc(size);
        if (!n)
            return RC_MEM_NO_MEMORY;
        *p = n;
        return 0;
    }
    PlatMemHandle h = PlatMemHandleOf(*p);
    PlatMemUnlock(h);
    bool ok = PlatMemReAlloc(h, size);
    *p = PlatMemLock(h);
    return ok ? 0 : RC_MEM_NO_MEMORY;
}

size_t rcMemSize(const void *p) { return p ? PlatMemSize(PlatMemHandleOf(p)) : 0; }

// ---------------------------------------------------------------- pools

namespace {

struct PoolBlock {
    PoolBlock *newer; // null for the newest block
    PoolBlock *older; // null for the oldest block
};
constexpr size_t kHeader = 16;
static_assert(sizeof(PoolBlock) <= kHeader, "header fits");

struct PoolSlot {
    bool reserved;
    PoolBlock *newest;
};

constexpr size_t kInitialSlots = 100;
constexpr size_t kGrowSlots = 25;

PoolSlot *g_table = nullptr;
size_t g_tableLength = 0;
rcMutex *g_poolGuard = nullptr;

void *UserOf(PoolBlock *b) { return reinterpret_cast<unsigned char *>(b) + kHeader; }
PoolBlock *BlockOf(const void *p)
{
    return reinterpret_cast<PoolBlock *>(
        const_cast<unsigned char *>(static_cast<const unsigned char *>(p)) - kHeader);
}

PoolSlot *SlotOf(int32_t id)
{
    if (id <= 0 || static_cast<size_t>(id) >= g_tableLength || !g_table[id].reserved)
        return nullptr;
    return &g_table[id];
}

bool GrowTable(size_t length)
{
    void *table = g_table;
    if (rcMemRealloc(&table, length * sizeof(PoolSlot)) != 0)
        return false;
    g_table = static_cast<PoolSlot *>(table);
    std::memset(g_table + g_tableLength, 0, (length - g_tableLength) * sizeof(PoolSlot));
    g_tableLength = length;
    return true;
}

void FreeChain(PoolSlot &slot)
{
    PoolBlock *b = slot.newest;
    while (b) {
        PoolBlock *older = b->older;
        rcMemFree(b);
        b = older;
    }
    slot.newest = nullptr;
}

} // namespace

bool rcPoolTableEnsure()
{
    if (g_tableLength >= kInitialSlots)
        return true;
    return GrowTable(kInitialSlots);
}

size_t rcPoolTableLength()
{
    rcDriverLockHold hold;
    return g_tableLength;
}

int32_t rcPoolCreate()
{
    rcDriverLockHold hold;
    if (!hold.held() || !g_table)
        return -1;
    for (size_t i = 1; i < g_tableLength; ++i) {
        if (!g_table[i].reserved) {
            g_table[i].reserved = true;
            g_table[i].newest = nullptr;
            return static_cast<int32_t>(i);
        }
    }
    size_t old = g_tableLength;
    if (old > static_cast<size_t>(INT32_MAX) - kGrowSlots || !GrowTable(old + kGrowSlots))
        return -1;
    g_table[old].reserved = true;
    return static_cast<int32_t>(old);
}

void rcPoolDestroy(int32_t id)
{
    rcDriverLockHold hold;
    if (!hold.held())
        return;
    PoolSlot *slot = SlotOf(id);
    if (!slot)
        return;
    FreeChain(*slot);
    slot->reserved = false;
}

void *rcPoolAlloc(int32_t id, size_t size)
{
    rcDriverLockHold hold;
    if (!hold.held())
        return nullptr;
    PoolSlot *slot = SlotOf(id);
    if (!slot || size > SIZE_MAX - kHeader)
        return nullptr;
    auto *b = static_cast<PoolBlock *>(rcMemAlloc(kHeader + size));
    if (!b)
        return nullptr;
    b->newer = nullptr;
    b->older = slot->newest;
    if (slot->newest)
        slot->newest->newer = b;
    slot->newest = b;
    return UserOf(b);
}

void *rcPoolRealloc(int32_t id, void *p, size_t size)
{
    if (!p)
        return rcPoolAlloc(id, size);
    rcDriverLockHold hold;
    if (!hold.held())
        return nullptr;
    PoolSlot *slot = SlotOf(id);
    if (!slot || size > SIZE_MAX - kHeader)
        return nullptr;
    void *raw = BlockOf(p);
    if (rcMemRealloc(&raw, kHeader + size) != 0)
        return nullptr;
    auto *b = static_cast<PoolBlock *>(raw);
    if (b->older)
        b->older->newer = b;
    if (b->newer)
        b->newer->older = b;
    else
        slot->newest = b;
    return UserOf(b);
}

void rcPoolFree(int32_t id, void *p)
{
    if (!p)
        return;
    rcDriverLockHold hold;
    if (!hold.held())
        return;
    PoolSlot *slot = SlotOf(id);
    if (!slot)
        return;
    PoolBlock *b = BlockOf(p);
    if (b->older)
        b->older->newer = b->newer;
    if (b->newer)
        b->newer->older = b->older;
    else
        slot->newest = b->older;
    rcMemFree(b);
}

size_t rcPoolBlockSize(int32_t id, const void *p)
{
    (void)id;
    if (!p)
        return 0;
    return rcMemSize(BlockOf(p)) - kHeader;
}

void rcPoolFreeAll()
{
    if (rcMutexCreate(&g_poolGuard) != 0)
        return;
    rcMutexLock(g_poolGuard);
    rcMutex **driverLock = rcDriverLockVar();
    if (rcMutexIsInit(*driverLock)) {
        {
            rcDriverLockHold hold;
            // Our use is the last one: no environment is left to use a pool.
            if (hold.held() && rcMutexUseCount(*driverLock) == 1) {
                for (size_t i = 1; i < g_tableLength; ++i) {
                    FreeChain(g_table[i]);
                    g_table[i].reserved = false;
                }
                rcMemFree(g_table);
                g_table = nullptr;
                g_tableLength = 0;
            }
        }
        rcMutexRelease(driverLock);
    }
    rcMutexUnlock(g_poolGuard);
    rcMutexRelease(&g_poolGuard);
}
