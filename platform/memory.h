// Movable memory: zero-filled blocks reached through a handle and a lock count.
//
// Interface and legal order of calls:
//   h = PlatMemAlloc(size)      zero-filled block, lock count 0 (null: no memory)
//   p = PlatMemLock(h)          the block's address; lock count + 1
//   PlatMemUnlock(h)            lock count - 1
//   PlatMemReAlloc(h, size)     resizes; new bytes are zero; the data may move, so
//                               every pointer from PlatMemLock is stale afterwards
//   PlatMemFree(h)              frees the block, locked or not
// PlatMemHandleOf(p) finds the handle again from an address that PlatMemLock gave.
// PlatWipe(p, n) overwrites n bytes with zeros in a way the compiler keeps even
// when the memory is freed or goes out of scope right after (for secrets).
// The lock count is bookkeeping for callers that mirror the movable-memory style
// (the block never moves while the caller does not resize it).
#pragma once

#include <cstddef>
#include <cstdint>

struct PlatMemBlock;
using PlatMemHandle = PlatMemBlock *;

PlatMemHandle PlatMemAlloc(size_t size);
void *PlatMemLock(PlatMemHandle h);
// Drops one lock; answers the lock count left.
uint32_t PlatMemUnlock(PlatMemHandle h);
uint32_t PlatMemLockCount(PlatMemHandle h);
// Answers false (block unchanged) when memory ran out.
bool PlatMemReAlloc(PlatMemHandle h, size_t size);
size_t PlatMemSize(PlatMemHandle h);
void PlatMemFree(PlatMemHandle h);
// The handle of a block from its data address; null for null.
PlatMemHandle PlatMemHandleOf(const void *data);
// Zeros n bytes at p; never dropped as a dead store. Null p or n 0: nothing.
void PlatWipe(void *p, size_t n);
