#include "driver/core/rclist.h"

#include "driver/core/rclock.h"
#include "driver/core/rcmem.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr size_t kChunkHeader = 16;
constexpr uint32_t kMaxChunkElements = 4096;

void *g_compareContext = nullptr;

bool Grow(rcList *list)
{
    // At least the grow step; a large list grows by half its size so that
    // appending stays linear.
    uint32_t step = list->growStep ? list->growStep : 1;
    if (list->capacity / 2 > step)
        step = list->capacity / 2;
    if (list->capacity > UINT32_MAX - step)
        return false;
    uint32_t capacity = list->capacity + step;
    void *array =
        rcPoolRealloc(list->poolId, list->elements, static_cast<size_t>(capacity) * sizeof(void *));
    if (!array)
        return false;
    list->elements = static_cast<void **>(array);
    list->capacity = capacity;
    return true;
}

// A zero-filled buffer for a new live element at position count: a spare, or
// fresh storage from the current chunk.
void *TakeBuffer(rcList *list)
{
    if (list->spareCount) {
        --list->spareCount;
        return list->elements[list->count];
    }
    if (!list->chunkLeft) {
        uint32_t n = list->growStep ? list->growStep : 1;
        if (list->count > n)
            n = list->count < kMaxChunkElements ? list->count : kMaxChunkElements;
        void *chunk =
            rcPoolAlloc(list->poolId, kChunkHeader + static_cast<size_t>(n) * list->stride);
        if (!chunk)
            return nullptr;
        std::memcpy(chunk, &list->chunks, sizeof(void *));
        list->chunks = chunk;
        list->chunkNext = static_cast<unsigned char *>(chunk) + kChunkHeader;
        list->chunkLeft = n;
    }
    void *buffer = list->chunkNext;
    list->chunkNext += list->stride;
    --list->chunkLeft;
    return buffer;
}

bool HasEqual(const rcList *list, const void *element)
{
    for (uint32_t i = 0; i < list->count; ++i)
        if (std::memcmp(list->elements[i], element, list->elementSize) == 0)
            return true;
    return false;
}

// Appends without the uniqueness test.
void *AppendRaw(rcList *list)
{
    if (list->count == list->capacity && !Grow(list))
        return nullptr;
    void *buffer = TakeBuffer(list);
    if (!buffer)
        return nullptr;
    list->elements[list->count++] = buffer;
    return buffer;
}

void InsertionSort(void **a, size_t n, rcListCompare compare)
{
    for (size_t i = 1; i < n; ++i) {
        void *v = a[i];
        size_t j = i;
        while (j > 0 && compare(&v, &a[j - 1]) < 0) {
            a[j] = a[j - 1];
            --j;
        }
        a[j] = v;
    }
}

// Bottom-up merge sort of the pointer array: runs of 16 by insertion, then
// merges. Every index stays in its range whatever the routine answers.
void MergeSort(void **a, size_t n, rcListCompare compare)
{
    constexpr size_t kRun = 16;
    std::unique_ptr<void *[]> work(new (std::nothrow) void *[n]);
    if (!work) {
        InsertionSort(a, n, compare);
        return;
    }
    for (size_t lo = 0; lo < n; lo += kRun)
        InsertionSort(a + lo, (n - lo < kRun) ? n - lo : kRun, compare);
    void **src = a;
    void **dst = work.get();
    for (size_t width = kRun; width < n; width *= 2) {
        for (size_t lo = 0; lo < n; lo += 2 * width) {
            size_t mid = lo + width < n ? lo + width : n;
            size_t hi = lo + 2 * width < n ? lo + 2 * width : n;
            size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi)
                dst[k++] = (compare(&src[j], &src[i]) < 0) ? src[j++] : src[i++];
            while (i < mid)
                dst[k++] = src[i++];
            while (j < hi)
                dst[k++] = src[j++];
        }
        void **t = src;
        src = dst;
        dst = t;
    }
    if (src != a)
        std::memcpy(a, src, n * sizeof(void *));
}

} // namespace

rcList *rcListCreate(uint32_t initialCapacity, uint32_t elementSize, bool unique, int32_t poolId)
{
    bool owns = poolId == 0;
    if (owns) {
        poolId = rcPoolCreate();
        if (poolId < 0)
            return nullptr;
    }
    auto *list = static_cast<rcList *>(rcPoolAlloc(poolId, sizeof(rcList)));
    uint32_t capacity = initialCapacity ? initialCapacity : 1;
    void *array =
        list ? rcPoolAlloc(poolId, static_cast<size_t>(capacity) * sizeof(void *)) : nullptr;
    if (!array) {
        if (owns)
            rcPoolDestroy(poolId);
        else
            rcPoolFree(poolId, list);
        return nullptr;
    }
    list->capacity = capacity;
    list->growStep = capacity;
    list->elementSize = elementSize;
    list->stride = (elementSize + 7u) & ~7u;
    if (!list->stride)
        list->stride = 8;
    list->unique = unique ? 1 : 0;
    list->poolId = poolId;
    list->ownsPool = owns ? 1 : 0;
    list->elements = static_cast<void **>(array);
    return list;
}

void rcListDestroy(rcList *list)
{
    if (!list)
        return;
    int32_t pool = list->poolId;
    if (list->ownsPool) {
        rcPoolDestroy(pool);
        return;
    }
    void *chunk = list->chunks;
    while (chunk) {
        void *previous;
        std::memcpy(&previous, chunk, sizeof(void *));
        rcPoolFree(pool, chunk);
        chunk = previous;
    }
    rcPoolFree(pool, list->elements);
    rcPoolFree(pool, list);
}

int rcListAppend(rcList *list, const void *element)
{
    if (list->unique && HasEqual(list, element))
        return RC_LIST_DUPLICATE;
    void *buffer = AppendRaw(list);
    if (!buffer)
        return RC_LIST_NO_MEMORY;
    std::memcpy(buffer, element, list->elementSize);
    return 0;
}

void *rcListAppendNew(rcList *list) { return AppendRaw(list); }

int rcListGet(const rcList *list, void *element, uint32_t index)
{
    if (index >= list->count)
        return RC_LIST_BAD_INDEX;
    std::memcpy(element, list->elements[index], list->elementSize);
    return 0;
}

void *rcListAt(const rcList *list, uint32_t index)
{
    return index < list->count ? list->elements[index] : nullptr;
}

int rcListSet(rcList *list, const void *element, uint32_t index)
{
    if (index < list->count) {
        if (list->unique && HasEqual(list, element))
            return RC_LIST_DUPLICATE;
        std::memcpy(list->elements[index], element, list->elementSize);
        return 0;
    }
    if (list->unique && HasEqual(list, element))
        return RC_LIST_DUPLICATE;
    // Zero-filled fillers up to index; they are not tested for uniqueness.
    while (list->count < index)
        if (!AppendRaw(list))
            return RC_LIST_NO_MEMORY;
    if (list->unique && list->count > 0 && HasEqual(list, element))
        return RC_LIST_DUPLICATE;
    void *buffer = AppendRaw(list);
    if (!buffer)
        return RC_LIST_NO_MEMORY;
    std::memcpy(buffer, element, list->elementSize);
    return 0;
}

int rcListRemoveAt(rcList *list, uint32_t index)
{
    if (index >= list->count)
        return RC_LIST_BAD_INDEX;
    void *freed = list->elements[index];
    std::memset(freed, 0, list->elementSize);
    uint32_t used = list->count + list->spareCount;
    std::memmove(&list->elements[index], &list->elements[index + 1],
                 (used - index - 1) * sizeof(void *));
    list->elements[used - 1] = freed;
    --list->count;
    ++list->spareCount;
    return 0;
}

int rcListFindKey(const rcList *list, const void *element, uint32_t *index)
{
    for (uint32_t i = 0; i < list->count; ++i) {
        if (std::memcmp(list->elements[i], element, list->elementSize) == 0) {
            if (index)
                *index = i;
            return 0;
        }
    }
    return RC_LIST_NOT_FOUND;
}

int rcListFindPtr(const rcList *list, const void *elementPtr, uint32_t *index)
{
    for (uint32_t i = 0; i < list->count; ++i) {
        if (list->elements[i] == elementPtr) {
            if (index)
                *index = i;
            return 0;
        }
    }
    return RC_LIST_NOT_FOUND;
}

uint32_t rcListCount(const rcList *list) { return list ? list->count : 0; }

uint32_t rcListClear(rcList *list)
{
    uint32_t had = list->count;
    for (uint32_t i = 0; i < had; ++i)
        std::memset(list->elements[i], 0, list->elementSize);
    list->spareCount += had;
    list->count = 0;
    return had;
}

void rcListSort(rcList *list, rcListCompare compare)
{
    if (list->count > 1 && compare)
        MergeSort(list->elements, list->count, compare);
}

void rcListSortLocked(rcList *list, rcListCompare compare, void *context)
{
    rcDriverLockHold hold;
    void *saved = g_compareContext;
    g_compareContext = context;
    rcListSort(list, compare);
    g_compareContext = saved;
}

void *rcListSearchLocked(const rcList *list, const void *key, rcListCompare compare, void *context)
{
    if (!list || list->count == 0 || !compare)
        return nullptr;
    rcDriverLockHold hold;
    void *saved = g_compareContext;
    g_compareContext = context;
    void *found = nullptr;
    uint32_t lo = 0, hi = list->count;
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        int c = compare(&key, &list->elements[mid]);
        if (c == 0) {
            found = list->elements[mid];
            break;
        }
        if (c < 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    g_compareContext = saved;
    return found;
}

void *rcListCompareContext() { return g_compareContext; }

int rcFileSetCreate(rcListHolder **holder)
{
    *holder = static_cast<rcListHolder *>(rcMemAlloc(sizeof(rcListHolder)));
    return *holder ? 0 : 4013;
}

void rcListHolderFree(rcListHolder *holder)
{
    if (!holder)
        return;
    rcListDestroy(holder->list);
    rcMemFree(holder);
}
