#include "platform/memory.h"

#include <cstdlib>
#include <cstring>

// A handle is a small fixed record that stays where it is for the block's
// life; the data lives in a separate allocation whose first 16 bytes point back
// at the handle, so the handle is found from a data address without a lookup.
struct PlatMemBlock {
    unsigned char *raw; // allocation: back-pointer prefix, then the data
    size_t size;
    uint32_t locks;
    uint32_t magic;
};

namespace {

constexpr uint32_t kMagic = 0x4D454D51u; // "QMEM"
constexpr size_t kPrefix = 16;           // keeps the data 16-byte aligned

unsigned char *DataOf(PlatMemHandle h) { return h->raw + kPrefix; }

} // namespace

PlatMemHandle PlatMemAlloc(size_t size)
{
    if (size > SIZE_MAX - kPrefix)
        return nullptr;
    auto *h = static_cast<PlatMemHandle>(std::malloc(sizeof(PlatMemBlock)));
    if (!h)
        return nullptr;
    h->raw = static_cast<unsigned char *>(std::calloc(1, kPrefix + size));
    if (!h->raw) {
        std::free(h);
        return nullptr;
    }
    std::memcpy(h->raw, &h, sizeof h);
    h->size = size;
    h->locks = 0;
    h->magic = kMagic;
    return h;
}

void *PlatMemLock(PlatMemHandle h)
{
    if (!h)
        return nullptr;
    ++h->locks;
    return DataOf(h);
}

uint32_t PlatMemUnlock(PlatMemHandle h)
{
    if (!h)
        return 0;
    if (h->locks)
        --h->locks;
    return h->locks;
}

uint32_t PlatMemLockCount(PlatMemHandle h) { return h ? h->locks : 0; }

bool PlatMemReAlloc(PlatMemHandle h, size_t size)
{
    if (!h || size > SIZE_MAX - kPrefix)
        return false;
    auto *raw = static_cast<unsigned char *>(std::realloc(h->raw, kPrefix + size));
    if (!raw)
        return false;
    if (size > h->size)
        std::memset(raw + kPrefix + h->size, 0, size - h->size);
    h->raw = raw;
    h->size = size;
    return true;
}

size_t PlatMemSize(PlatMemHandle h) { return h ? h->size : 0; }

void PlatMemFree(PlatMemHandle h)
{
    if (!h)
        return;
    h->magic = 0;
    std::free(h->raw);
    std::free(h);
}

PlatMemHandle PlatMemHandleOf(const void *data)
{
    if (!data)
        return nullptr;
    PlatMemHandle h;
    std::memcpy(&h, static_cast<const unsigned char *>(data) - kPrefix, sizeof h);
    return h;
}

void PlatWipe(void *p, size_t n)
{
    if (p && n)
        explicit_bzero(p, n);
}
