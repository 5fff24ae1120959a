#include "driver/engine/rcvalpool.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "driver/core/rcmem.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/rcstmt.h"

namespace {

unsigned char *BlockOf(const void *value)
{
    return const_cast<unsigned char *>(static_cast<const unsigned char *>(value)) - RC_VAL_HEADER;
}

int32_t PoolOf(const unsigned char *block)
{
    int32_t id;
    std::memcpy(&id, block + 4, sizeof id);
    return id;
}

void *Stamp(unsigned char *block, uint8_t origin, int32_t poolId)
{
    block[0] = origin;
    std::memcpy(block + 4, &poolId, sizeof poolId);
    return block + RC_VAL_HEADER;
}

// The pool record of a value pool id: the current pool or a retired one.
rcValPoolRef *PoolRef(rcStmt *stmt, int32_t id)
{
    if (stmt->valuePool.id == id)
        return &stmt->valuePool;
    for (rcValPoolRef &r : stmt->retiredValuePools)
        if (r.id == id)
            return &r;
    return nullptr;
}

// Sets the exhausted pool aside (or destroys it when nothing of it is in
// use) and reports it once on the statement.
void RetireValuePool(rcStmt *stmt)
{
    stmt->poolOverflow = true;
    rcErrPost(stmt->errors, RC_ENG_BACKUP_MEMORY_POOL_INVOKED, nullptr, 0, nullptr);
    if (stmt->valuePool.live == 0)
        rcPoolDestroy(stmt->valuePool.id);
    else
        stmt->retiredValuePools.push_back(stmt->valuePool);
    stmt->valuePool = rcValPoolRef{};
    stmt->valuePoolBlocks = 0;
}

bool EnsureValuePool(rcStmt *stmt)
{
    if (stmt->valuePool.id > 0)
        return true;
    int32_t id = rcPoolCreate();
    if (id <= 0)
        return false;
    stmt->valuePool = rcValPoolRef{id, 0};
    stmt->valuePoolBlocks = 0;
    return true;
}

// A block of size bytes from the current value pool, with one fresh pool
// tried when the current one is exhausted.
unsigned char *PoolBlock(rcStmt *stmt, size_t size)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!EnsureValuePool(stmt))
            return nullptr;
        bool full =
            stmt->valuePoolBlockLimit != 0 && stmt->valuePoolBlocks >= stmt->valuePoolBlockLimit;
        void *block = full ? nullptr : rcPoolAlloc(stmt->valuePool.id, size);
        if (block != nullptr) {
            ++stmt->valuePool.live;
            ++stmt->valuePoolBlocks;
            return static_cast<unsigned char *>(block);
        }
        RetireValuePool(stmt);
    }
    return nullptr;
}

void FreePoolBlock(rcStmt *stmt, unsigned char *block)
{
    int32_t id = PoolOf(block);
    rcPoolFree(id, block);
    rcValPoolRef *ref = PoolRef(stmt, id);
    if (ref == nullptr)
        return;
    if (ref->live > 0)
        --ref->live;
    if (ref != &stmt->valuePool && ref->live == 0) {
        // A retired pool whose last buffer went.
        rcPoolDestroy(id);
        auto &retired = stmt->retiredValuePools;
        retired.erase(retired.begin() + (ref - retired.data()));
    }
}

} // namespace

uint8_t rcValOrigin(const void *value) { return BlockOf(value)[0]; }

void *rcValAlloc(rcStmt *stmt, size_t n)
{
    if (n > SIZE_MAX - RC_VAL_HEADER)
        return nullptr; // the header would not fit in front of it
    if (!EnsureValuePool(stmt))
        return nullptr;
    if (n >= RC_VAL_GLOBAL_FROM) {
        auto *block = static_cast<unsigned char *>(rcMemAlloc(n + RC_VAL_HEADER));
        return block != nullptr ? Stamp(block, RC_VAL_ORIGIN_GLOBAL, 0) : nullptr;
    }
    unsigned char *block = PoolBlock(stmt, n + RC_VAL_HEADER);
    return block != nullptr ? Stamp(block, RC_VAL_ORIGIN_POOL, stmt->valuePool.id) : nullptr;
}

void rcValFree(rcStmt *stmt, void *value)
{
    if (value == nullptr)
        return;
    unsigned char *block = BlockOf(value);
    switch (block[0]) {
    case RC_VAL_ORIGIN_POOL: FreePoolBlock(stmt, block); break;
    case RC_VAL_ORIGIN_GLOBAL: rcMemFree(block); break;
    default: break; // not ours to free
    }
}

size_t rcValSize(rcStmt *, const void *value)
{
    const unsigned char *block = BlockOf(value);
    switch (block[0]) {
    case RC_VAL_ORIGIN_POOL: return rcPoolBlockSize(PoolOf(block), block);
    case RC_VAL_ORIGIN_GLOBAL: return rcMemSize(block);
    default: return 0;
    }
}

int16_t rcValRealloc(rcStmt *stmt, void **value, size_t n, bool keep)
{
    if (n > SIZE_MAX - RC_VAL_HEADER)
        return -1; // the header would not fit in front of it
    unsigned char *block = BlockOf(*value);
    const size_t wanted = n + RC_VAL_HEADER;
    if (block[0] == RC_VAL_ORIGIN_GLOBAL) {
        void *raw = block;
        if (rcMemRealloc(&raw, wanted) != 0)
            return -1;
        *value = static_cast<unsigned char *>(raw) + RC_VAL_HEADER;
        return 0;
    }
    if (block[0] != RC_VAL_ORIGIN_POOL)
        return 0;

    const size_t oldSize = rcPoolBlockSize(PoolOf(block), block);
    if (n > RC_VAL_GLOBAL_FROM) {
        // Grows out of the pool into global memory.
        size_t size = std::max(wanted, oldSize);
        auto *fresh = static_cast<unsigned char *>(rcMemAlloc(size));
        if (fresh == nullptr)
            return -1;
        if (keep)
            std::memcpy(fresh, block, std::min(oldSize, size));
        FreePoolBlock(stmt, block);
        *value = Stamp(fresh, RC_VAL_ORIGIN_GLOBAL, 0);
        return 0;
    }
    // Within the pool: resize in place when the pool allows it (a pool that
    // reached the tests' block limit counts as unable to).
    int32_t id = PoolOf(block);
    bool atLimit =
        stmt->valuePoolBlockLimit != 0 && stmt->valuePoolBlocks >= stmt->valuePoolBlockLimit;
    if (void *moved = atLimit ? nullptr : rcPoolRealloc(id, block, wanted)) {
        *value = static_cast<unsigned char *>(moved) + RC_VAL_HEADER;
        return 0;
    }
    // Otherwise a new block, taking over what fits of the old value: never
    // more than the new block holds.
    size_t carry = keep ? std::min(oldSize, wanted) - RC_VAL_HEADER : 0;
    unsigned char *fresh = PoolBlock(stmt, wanted);
    uint8_t origin = RC_VAL_ORIGIN_POOL;
    int32_t freshPool = stmt->valuePool.id;
    if (fresh == nullptr) {
        fresh = static_cast<unsigned char *>(rcMemAlloc(wanted));
        origin = RC_VAL_ORIGIN_GLOBAL;
        freshPool = 0;
        if (fresh == nullptr)
            return -1;
    }
    std::memcpy(fresh + RC_VAL_HEADER, block + RC_VAL_HEADER, carry);
    FreePoolBlock(stmt, block);
    *value = Stamp(fresh, origin, freshPool);
    return 0;
}
