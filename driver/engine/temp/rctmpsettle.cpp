// Compact temporary tables: settling the stream of puts into the fixed
// layout once reading or sorting begins (see rctmp.h, rcTmpSetCompact).
#include "driver/engine/temp/rctmpsettle.h"

#include "driver/core/rcmem.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/temp/rctmp.h"
#include "platform/file.h"

#include <cstring>

namespace {

uint32_t fixedSlot(uint32_t valueSize) { return RC_TMP_INDICATOR + ((valueSize + 3u) & ~3u); }

bool isTextType(int16_t type)
{
    return type == SQL_CHAR || type == SQL_VARCHAR || type == SQL_LONGVARCHAR;
}

// The sequential reader of the compact stream: from the row buffer of a
// table that never spilled, else windows of its spill file.
struct StreamReader {
    TempTable *t;
    unsigned char *buffer; // file windows; null when the stream is in memory
    uint32_t size;
    uint64_t start = 0, end = 0;

    // The `bytes` at stream offset `at`, or null (posted).
    const unsigned char *at(uint64_t offset, uint32_t bytes)
    {
        if (buffer == nullptr)
            return offset + bytes <= t->used ? t->rows + offset : nullptr;
        if (offset < start || offset + bytes > end) {
            uint64_t left = t->streamLength - offset;
            uint32_t want = left < size ? uint32_t(left) : size;
            if (want < bytes || PlatFileReadAt(t->spillFd, int64_t(offset), buffer, want) !=
                                    int64_t(want)) {
                rcErrPost(t->owner.errors, RC_ENG_ERROR_READING_TEMPORARY_SORT_FILE, nullptr, 0,
                          nullptr);
                return nullptr;
            }
            start = offset;
            end = offset + want;
        }
        return buffer + (offset - start);
    }
};

int16_t noMemory(TempTable *t)
{
    return static_cast<int16_t>(rcErrRaise(t->owner.errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
}

} // namespace

bool rcTmpIsVariable(int16_t storageType)
{
    return isTextType(storageType) || storageType == SQL_BINARY || storageType == SQL_VARBINARY ||
           storageType == SQL_LONGVARBINARY;
}

uint32_t rcTmpCompactSlot(int16_t storageType, uint32_t n)
{
    return fixedSlot(isTextType(storageType) ? n + 1 : n);
}

int16_t rcTmpSettle(TempTable *t)
{
    if (!t->compact || t->settled)
        return 0;
    if (t->failed)
        return -1;
    t->settled = true;
    // The settled layout: text and binary slots as wide as their longest value.
    uint16_t n = t->columnCount;
    uint32_t rowLength = 0;
    for (uint16_t k = 0; k < n; ++k) {
        TempTableColumn &c = t->columns[k];
        if (rcTmpIsVariable(c.storageType)) {
            uint32_t need = isTextType(c.storageType) ? c.longest + 1 : c.longest;
            if (need == 0)
                need = 1;
            if (need < c.valueSize)
                c.valueSize = need;
        }
        c.rowOffset = rowLength;
        rowLength += fixedSlot(c.valueSize);
    }
    t->rowLength = int32_t(rowLength);
    rcMemFree(t->keys);
    t->keys = nullptr;
    rcMemFree(t->scratch);
    t->scratch = nullptr;

    uint64_t total = uint64_t(t->rowCount) * rowLength;
    bool spilled = t->spillName != nullptr;
    if (spilled && rcTmpSpill(t) != 0) // the pending tail goes to the file too
        return -1;
    StreamReader in{t, nullptr, 0};
    if (spilled) {
        in.size = t->capacity;
        in.buffer = static_cast<unsigned char *>(rcMemAlloc(in.size));
        if (in.buffer == nullptr)
            return noMemory(t);
    }
    // The settled rows: a new row buffer when they fit in the memory limit,
    // else a new spill file written through a buffer of the table's capacity.
    bool inMemory = !spilled && total <= t->owner.limits.memoryLimit;
    uint32_t outSize = inMemory ? (total > t->capacity ? uint32_t(total) : t->capacity)
                                : (t->capacity > rowLength ? t->capacity : rowLength);
    auto *out = static_cast<unsigned char *>(rcMemAlloc(outSize));
    int outFd = -1;
    char *outName = nullptr;
    if (out == nullptr) {
        rcMemFree(in.buffer);
        return noMemory(t);
    }
    if (!inMemory && (outFd = rcTmpSpillName(t->owner, &outName)) < 0) {
        rcMemFree(in.buffer);
        rcMemFree(out);
        rcTmpDiscardFile(t);
        return -1;
    }
    int16_t rc = 0;
    uint64_t from = 0, written = 0;
    uint32_t fill = 0;
    for (int64_t r = 0; r < t->rowCount && rc == 0; ++r) {
        if (fill + rowLength > outSize) {
            if (PlatFileWriteAt(outFd, int64_t(written), out, fill) != int64_t(fill)) {
                rcErrPost(t->owner.errors, RC_ENG_OUT_DISK_SPACE_WRITING_TEMPORARY, nullptr, 0,
                          nullptr);
                rc = -1;
                break;
            }
            written += fill;
            fill = 0;
        }
        unsigned char *row = out + fill;
        std::memset(row, 0, rowLength);
        for (uint16_t k = 0; k < n; ++k) {
            const TempTableColumn &c = t->columns[k];
            const unsigned char *ind = in.at(from, RC_TMP_INDICATOR);
            if (ind == nullptr) {
                rc = -1;
                break;
            }
            uint32_t slot = fixedSlot(c.valueSize);
            uint32_t len = 0;
            if (rcTmpIsVariable(c.storageType)) {
                len = uint32_t(ind[1] | (ind[2] << 8));
                slot = rcTmpCompactSlot(c.storageType, len);
            }
            const unsigned char *src = in.at(from, slot);
            if (src == nullptr) {
                rc = -1;
                break;
            }
            uint32_t copy = slot < fixedSlot(c.valueSize) ? slot : fixedSlot(c.valueSize);
            std::memcpy(row + c.rowOffset, src, copy);
            from += slot;
        }
        fill += rowLength;
    }
    rcMemFree(in.buffer);
    if (rc == 0 && !inMemory && fill > 0) {
        if (PlatFileWriteAt(outFd, int64_t(written), out, fill) != int64_t(fill)) {
            rcErrPost(t->owner.errors, RC_ENG_OUT_DISK_SPACE_WRITING_TEMPORARY, nullptr, 0,
                      nullptr);
            rc = -1;
        }
    }
    // The compact stream is no longer needed either way.
    if (t->spillFd >= 0)
        PlatFileClose(t->spillFd);
    if (t->spillName != nullptr) {
        PlatFileDelete(t->spillName);
        rcMemFree(t->spillName);
    }
    t->spillFd = outFd;
    t->spillName = outName;
    if (rc != 0) {
        rcMemFree(out);
        rcTmpDiscardFile(t);
        return -1;
    }
    t->streamLength = total;
    t->windowStart = 0;
    if (inMemory) {
        rcMemFree(t->rows);
        t->rows = out;
        t->capacity = outSize;
        t->used = uint32_t(total);
        t->windowEnd = total;
        t->pending = t->rowCount > 0 ? 1 : 0;
    } else {
        // Windows of the new file are loaded on demand into the old buffer.
        rcMemFree(out);
        t->used = 0;
        t->windowEnd = 0;
        t->pending = 0;
    }
    return 0;
}

void rcTmpUnsettle(TempTable *t)
{
    uint32_t rowLength = 0;
    for (uint16_t k = 0; k < t->columnCount; ++k) {
        TempTableColumn &c = t->columns[k];
        c.valueSize = rcTmpValueSize(c.storageType, c.length);
        c.longest = 0;
        c.rowOffset = rowLength;
        rowLength += fixedSlot(c.valueSize);
    }
    t->rowLength = int32_t(rowLength);
    t->settled = false;
    rcMemFree(t->keys);
    t->keys = nullptr;
    rcMemFree(t->scratch);
    t->scratch = nullptr;
}
