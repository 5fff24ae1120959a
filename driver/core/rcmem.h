// Memory of the driver: global blocks and numbered pools.
//
// Global blocks (rcMemAlloc / rcMemRealloc / rcMemSize / rcMemFree) are
// zero-filled movable blocks kept locked while they exist; handles, buffers and
// copied texts come from them. No lock is taken.
//
// Numbered pools group blocks so that a whole group is freed at once. A pool is
// a slot of a process-wide table (made with 100 slots by rcInitDriverGlobals,
// grown by 25); slot 0 is never handed out. Every pool operation runs under the
// driver-wide lock and fails quietly when there is none (no environment):
//   id = rcPoolCreate()                 1 or more, or -1
//   p  = rcPoolAlloc(id, size)          zero-filled; null when no such pool or no memory
//   p  = rcPoolRealloc(id, p, size)     keeps the data; null leaves the old block valid
//   rcPoolFree(id, p)                   one block
//   rcPoolDestroy(id)                   every block, and the slot becomes free
//   rcPoolFreeAll()                     called as each environment goes: the last
//                                       one frees every pool and the table, so
//                                       lists and queues are destroyed before it
// The blocks of a pool form a chain from the newest (held by the slot) to the
// oldest, through a 16-byte header in front of each user pointer.
#pragma once

#include <cstddef>
#include <cstdint>

enum : int { RC_MEM_NO_MEMORY = -10 };

void *rcMemAlloc(size_t size);
void rcMemFree(void *p);
// A null *p allocates. 0, or -10 when memory ran out (*p unchanged).
int rcMemRealloc(void **p, size_t size);
size_t rcMemSize(const void *p);

int32_t rcPoolCreate();
void rcPoolDestroy(int32_t id);
void *rcPoolAlloc(int32_t id, size_t size);
void *rcPoolRealloc(int32_t id, void *p, size_t size);
void rcPoolFree(int32_t id, void *p);
size_t rcPoolBlockSize(int32_t id, const void *p);
void rcPoolFreeAll();

// Internal to the base services and their tests.
// Makes the table with 100 slots when it is smaller; call under the driver-wide lock.
bool rcPoolTableEnsure();
// Current length of the pool table (0 when there is none).
size_t rcPoolTableLength();
