// Reading whole rows of temporary tables, spilled or not, and the
// statements' default limits (see
// rctmp.h).
#include <cstdlib>
#include <cstring>

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/temp/rctmp.h"

const unsigned char *rcTmpReadRow(TempTable *t, int64_t row)
{
    if (t->failed || row < 0 || row >= t->rowCount) {
        rcErrRaise(t->owner.errors, RC_MSG_GENERAL_ERROR);
        return nullptr;
    }
    if (rcTmpSettle(t) != 0)
        return nullptr;
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
