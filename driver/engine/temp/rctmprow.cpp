// Whole rows of temporary tables and the statements' default limits (see
// rctmp.h).
#include <cstdlib>
#include <cstring>

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/temp/rctmp.h"

int16_t rcTmpPutRow(TempTable *t, const unsigned char *row)
{
    if (t->failed || t->reading || t->nextColumn != 0)
        return static_cast<int16_t>(rcErrRaise(t->owner.errors, RC_MSG_GENERAL_ERROR));
    uint32_t length = static_cast<uint32_t>(t->rowLength);
    // A row goes whole into the buffer when it can: make room first.
    if (t->used + length > t->capacity && rcTmpGrow(t) != 0)
        return -1;
    uint32_t done = 0;
    while (done < length) {
        if (t->used >= t->capacity) {
            if (rcTmpGrow(t) != 0)
                return -1;
            continue;
        }
        uint32_t room = t->capacity - t->used;
        uint32_t n = length - done < room ? length - done : room;
        std::memcpy(t->rows + t->used, row + done, n);
        done += n;
        t->used += n;
        t->streamLength += n;
        t->pending = 1;
    }
    t->windowEnd = t->streamLength;
    ++t->rowCount;
    return 0;
}

const unsigned char *rcTmpRowBytes(TempTable *t, int64_t row)
{
    if (t->failed || row < 0 || row >= t->rowCount) {
        rcErrRaise(t->owner.errors, RC_MSG_GENERAL_ERROR);
        return nullptr;
    }
    t->reading = true;
    uint32_t length = static_cast<uint32_t>(t->rowLength);
    uint64_t start = static_cast<uint64_t>(row) * length;
    if (start < t->windowStart || start + length > t->windowEnd) {
        if (length > t->capacity || rcTmpRewind(t, start) != 0 || start + length > t->windowEnd) {
            if (!t->failed)
                rcErrRaise(t->owner.errors, RC_ENG_ERROR_READING_TEMPORARY_SORT_FILE);
            return nullptr;
        }
    }
    t->currentRow = row;
    return t->rows + (start - t->windowStart);
}

rcTmpLimits rcTmpDefaultLimits()
{
    rcTmpLimits limits;
    const char *v = std::getenv("QX_TMP_MEMORY_LIMIT");
    if (v == nullptr || *v == '\0')
        return limits;
    unsigned long n = std::strtoul(v, nullptr, 10);
    if (n == 0 || n > limits.memoryLimit * 1024ul)
        return limits;
    limits.memoryLimit = static_cast<uint32_t>(n);
    if (limits.growStep > limits.memoryLimit)
        limits.growStep = limits.memoryLimit;
    return limits;
}
