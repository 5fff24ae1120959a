// QXHandle: movable memory blocks that carry their own size.
//
// A handle is an index into a process-wide table plus a generation number, so
// that a released handle is recognised (LockQXHandle gives null) instead of
// reaching freed memory. The block behind a slot is size + 4 bytes: a 32-bit
// size prefix, then the data; callers only ever see the data. Blocks are
// zero-filled, so nothing uninitialised leaves the process.
//
// A locked block never moves: a data pointer a caller holds stays valid until
// its unlock. Resizing a locked block shrinks it in place or grows it within
// the bytes it already holds; a growth that needs a new block fails (0) and
// leaves block and size as they were. Unlocked blocks move freely.
#include "netclient/qxnetclient.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

struct HandleSlot {
    uint8_t *block = nullptr; // size prefix + data
    int32_t capacity = 0;     // data bytes the block holds (>= the size prefix)
    uint32_t generation = 1;
    int32_t locks = 0;
    bool used = false;
};

struct HandleTable {
    std::mutex mutex;
    std::vector<HandleSlot> slots;
    std::vector<uint32_t> freeSlots;
};

// The table outlives every static destructor: other libraries' clean-up at
// process exit (a data-module session closing its connections) still frees
// handles after this library's statics would have been destroyed.
HandleTable &Table()
{
    static HandleTable *table = new HandleTable;
    return *table;
}

QXHandle MakeHandle(uint32_t index, uint32_t generation)
{
    uint64_t v = (uint64_t(generation) << 32) | (uint64_t(index) + 1);
    return reinterpret_cast<QXHandle>(static_cast<uintptr_t>(v));
}

// The slot of a live handle, or null. Caller holds the table's mutex.
HandleSlot *Find(HandleTable &t, QXHandle h)
{
    auto v = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(h));
    uint32_t index = uint32_t(v & 0xFFFFFFFFu);
    uint32_t generation = uint32_t(v >> 32);
    if (index == 0 || index > t.slots.size())
        return nullptr;
    HandleSlot &s = t.slots[index - 1];
    if (!s.used || s.generation != generation)
        return nullptr;
    return &s;
}

void WriteSize(uint8_t *block, int32_t n) { std::memcpy(block, &n, 4); }

} // namespace

extern "C" {

QXHandle AllocQXHandle(int32_t size)
{
    if (size < 0 || size > INT32_MAX - 4)
        return nullptr;
    auto *block = static_cast<uint8_t *>(std::calloc(1, size_t(size) + 4));
    if (!block)
        return nullptr;
    WriteSize(block, size);
    HandleTable &t = Table();
    std::lock_guard lock(t.mutex);
    uint32_t index;
    if (!t.freeSlots.empty()) {
        index = t.freeSlots.back();
        t.freeSlots.pop_back();
    } else {
        try {
            t.slots.emplace_back();
            t.freeSlots.reserve(t.slots.size());
        } catch (...) {
            std::free(block);
            return nullptr;
        }
        index = uint32_t(t.slots.size() - 1);
    }
    HandleSlot &s = t.slots[index];
    s.block = block;
    s.capacity = size;
    s.locks = 0;
    s.used = true;
    return MakeHandle(index, s.generation);
}

void *LockQXHandle(QXHandle h)
{
    if (!h)
        return nullptr;
    HandleTable &t = Table();
    std::lock_guard lock(t.mutex);
    HandleSlot *s = Find(t, h);
    if (!s)
        return nullptr;
    ++s->locks;
    return s->block + 4;
}

void UnlockQXHandle(QXHandle h)
{
    if (!h)
        return;
    HandleTable &t = Table();
    std::lock_guard lock(t.mutex);
    HandleSlot *s = Find(t, h);
    if (s && s->locks > 0)
        --s->locks;
}

uint8_t ResizeQXHandle(QXHandle h, int32_t size)
{
    if (!h || size < 0 || size > INT32_MAX - 4)
        return 0;
    HandleTable &t = Table();
    std::lock_guard lock(t.mutex);
    HandleSlot *s = Find(t, h);
    if (!s)
        return 0;
    int32_t old;
    std::memcpy(&old, s->block, 4);
    if (s->locks > 0) {
        // In place: a locked block must not move under its data pointer.
        if (size > s->capacity)
            return 0;
        if (size > old)
            std::memset(s->block + 4 + old, 0, size_t(size - old));
        WriteSize(s->block, size);
        return 1;
    }
    auto *block = static_cast<uint8_t *>(std::realloc(s->block, size_t(size) + 4));
    if (!block)
        return 0;
    if (size > old)
        std::memset(block + 4 + old, 0, size_t(size - old));
    WriteSize(block, size);
    s->block = block;
    s->capacity = size;
    return 1;
}

int32_t SizeOfQXHandle(QXHandle h)
{
    if (!h)
        return 0;
    HandleTable &t = Table();
    std::lock_guard lock(t.mutex);
    HandleSlot *s = Find(t, h);
    if (!s)
        return 0;
    int32_t n;
    std::memcpy(&n, s->block, 4);
    return n;
}

QXHandle FreeQXHandle(QXHandle h)
{
    if (!h)
        return h;
    HandleTable &t = Table();
    std::lock_guard lock(t.mutex);
    HandleSlot *s = Find(t, h);
    if (!s)
        return h;
    std::free(s->block);
    s->block = nullptr;
    s->used = false;
    s->locks = 0;
    ++s->generation;
    if (s->generation == 0)
        s->generation = 1;
    t.freeSlots.push_back(uint32_t(s - t.slots.data()));
    return nullptr;
}

} // extern "C"
