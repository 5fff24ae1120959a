// rcList: the driver's growable array of fixed-size elements.
//
// Elements are copied in by value and addressed by index from 0. Each element
// has storage of its own that never moves while the element is live (growing and
// sorting move only the element pointers), so a pointer from rcListAppendNew or
// rcListAt stays valid until that element is removed. Removed buffers are zeroed
// and kept as spares, reused before new storage is taken. A unique list refuses
// an element equal byte for byte to a live one.
//
// Storage comes from a numbered pool (rcmem.h): a pool id of 0 makes a private
// pool that the list destroys with itself. Every pool operation needs the
// driver-wide lock, so lists exist only while an environment does.
//
//   list = rcListCreate(capacity, elementSize, unique, poolId)
//   rcListAppend / rcListAppendNew / rcListSet / rcListGet / rcListAt /
//   rcListRemoveAt / rcListFindKey / rcListFindPtr / rcListSort / rcListClear
//   rcListDestroy(list)
// A list is not locked by itself: its owner serialises access. rcListSortLocked
// and rcListSearchLocked run under the driver-wide lock because the comparison
// context they publish (rcListCompareContext) is process-wide.
//
// Comparison routines receive two pointers to element pointers and answer <0, 0
// or >0. The sort is the list's own merge sort: it stays in bounds and ends even
// with a routine that is not a strict weak order (comparisons with a tolerance).
#pragma once

#include <cstddef>
#include <cstdint>

enum : int {
    RC_LIST_DUPLICATE = -7,
    RC_LIST_NO_MEMORY = -8,
    RC_LIST_NOT_FOUND = -9,
    RC_LIST_BAD_INDEX = -10,
};

struct rcList {
    uint32_t capacity;    // slots of the element-pointer array
    uint32_t count;       // live elements
    uint32_t spareCount;  // zeroed buffers kept right after the live ones
    uint32_t growStep;    // the initial capacity; the least the array grows by
    uint32_t elementSize; // bytes per element
    uint32_t unique;      // refuse an element equal to a live one
    int32_t poolId;       // pool of header, array and element storage
    uint32_t ownsPool;    // the list made its pool and destroys it
    void **elements;      // live elements, then spares
    // element storage is taken from chunks of several elements
    void *chunks; // newest chunk; each chunk begins with the previous one's address
    unsigned char *chunkNext;
    uint32_t chunkLeft;
    uint32_t stride; // element size rounded up for alignment
};

using rcListCompare = int (*)(const void *a, const void *b);

rcList *rcListCreate(uint32_t initialCapacity, uint32_t elementSize, bool unique, int32_t poolId);
void rcListDestroy(rcList *list);
int rcListAppend(rcList *list, const void *element);
void *rcListAppendNew(rcList *list);
int rcListGet(const rcList *list, void *element, uint32_t index);
// The storage of element index, or null when index >= count.
void *rcListAt(const rcList *list, uint32_t index);
int rcListSet(rcList *list, const void *element, uint32_t index);
int rcListRemoveAt(rcList *list, uint32_t index);
int rcListFindKey(const rcList *list, const void *element, uint32_t *index);
int rcListFindPtr(const rcList *list, const void *elementPtr, uint32_t *index);
uint32_t rcListCount(const rcList *list);
uint32_t rcListClear(rcList *list);
void rcListSort(rcList *list, rcListCompare compare);
void rcListSortLocked(rcList *list, rcListCompare compare, void *context);
void *rcListSearchLocked(const rcList *list, const void *key, rcListCompare compare, void *context);
// The context value of the locked sort or search in progress.
void *rcListCompareContext();

// A one-word holder for a list made on first use (file sets, rcfile.h).
struct rcListHolder {
    rcList *list;
};
// 0, or 4013 when memory ran out.
int rcFileSetCreate(rcListHolder **holder);
void rcListHolderFree(rcListHolder *holder);
