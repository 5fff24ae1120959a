// Temporary tables: growing the row buffer, the spill file and read windows.
#include "driver/engine/temp/rctmp.h"

#include "driver/core/rcmem.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcregistry.h"
#include "platform/file.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char *kSpillPrefix = "SWP";

int16_t postWriteFailure(TempTable *t)
{
    rcErrPost(t->owner.errors, RC_ENG_OUT_DISK_SPACE_WRITING_TEMPORARY, nullptr, 0, nullptr);
    rcTmpDiscardFile(t);
    return -1;
}

} // namespace

void rcTmpWorkDirectory(const rcTmpOwner &owner, char *buffer, size_t size)
{
    if (size == 0)
        return;
    buffer[0] = '\0';
    if (owner.workDir != nullptr) {
        std::snprintf(buffer, size, "%s", owner.workDir);
    } else {
        char value[256] = "";
        std::string root = rcRegGetIniRoot();
        rcRegGetIniValue(root.c_str(), "ZorviEngineOptions", "TempFileDirectory", "", value,
                         static_cast<int>(sizeof value));
        std::snprintf(buffer, size, "%s", value);
    }
    if (buffer[0] == '\0')
        std::snprintf(buffer, size, "%s", PlatTempDirectory().c_str());
}

int rcTmpSpillName(const rcTmpOwner &owner, char **name)
{
    *name = nullptr;
    char dir[4096];
    rcTmpWorkDirectory(owner, dir, sizeof dir);
    // The name carries this process's id, so that files a killed process
    // could not delete are known as orphans and removed here.
    PlatSweepOrphanTempFiles(dir, kSpillPrefix);
    std::string path;
    int fd = PlatCreateTempFileOpen(dir, PlatOwnedTempPrefix(kSpillPrefix), &path);
    if (fd < 0) {
        int err = PlatLastError();
        rcErrPost(owner.errors, RC_ENG_UNABLE_OPEN_TEMPORARY_SORT_FILE, nullptr, 0, nullptr);
        char text[256];
        int n = std::snprintf(text, sizeof text, "File Manager: Unable to create a file in %.120s.",
                              dir);
        if (n > 0 && size_t(n) < sizeof text)
            std::snprintf(text + n, sizeof text - size_t(n),
                          " Operating system LastError = %d (%s)", err, std::strerror(err));
        rcErrPost(owner.errors, RC_MSG_GENERAL_ERROR, nullptr, 0, text);
        return -1;
    }
    *name = static_cast<char *>(rcMemAlloc(path.size() + 1));
    if (*name == nullptr) {
        PlatFileClose(fd);
        PlatFileDelete(path.c_str());
        rcErrRaise(owner.errors, RC_MSG_MEMORY_ALLOCATION_ERROR);
        return -1;
    }
    std::memcpy(*name, path.c_str(), path.size() + 1);
    return fd;
}

void rcTmpDiscardFile(TempTable *t)
{
    if (t->spillFd >= 0)
        PlatFileClose(t->spillFd);
    t->spillFd = -1;
    if (t->spillName != nullptr) {
        PlatFileDelete(t->spillName);
        rcMemFree(t->spillName);
        t->spillName = nullptr;
    }
    t->failed = true;
}

// Makes room for the next value slot: grows the buffer up to memoryLimit
// (never below one row), then spills the buffer instead.
int16_t rcTmpGrow(TempTable *t)
{
    const uint32_t slotMax = RC_TMP_INDICATOR + RC_TMP_MAX_VALUE + 8;
    uint32_t limit = t->owner.limits.memoryLimit;
    if (limit < uint32_t(t->rowLength))
        limit = uint32_t(t->rowLength);
    if (t->capacity < limit) {
        // Steps of growStep up to 16 steps (the default limit), then
        // doubling, so that a large limit is reached without quadratic copying.
        uint32_t step = t->owner.limits.growStep;
        uint64_t want =
            t->capacity < 16ull * step ? uint64_t(t->capacity) + step : uint64_t(t->capacity) * 2;
        uint32_t grown = want > limit ? limit : uint32_t(want);
        if (grown > limit || limit - grown < slotMax)
            grown = limit;
        void *p = t->rows;
        if (rcMemRealloc(&p, grown) != 0)
            return static_cast<int16_t>(
                rcErrRaise(t->owner.errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
        t->rows = static_cast<unsigned char *>(p);
        t->capacity = grown;
        if (t->used + slotMax <= t->capacity)
            return 0;
    }
    return rcTmpSpill(t);
}

int16_t rcTmpSpill(TempTable *t)
{
    if (t->failed)
        return -1;
    if (t->spillName == nullptr) {
        int fd = rcTmpSpillName(t->owner, &t->spillName);
        if (fd < 0)
            return -1;
        t->spillFd = fd;
    }
    if (t->spillFd < 0) {
        // The file was closed for the external sort: reopen it for writing.
        t->spillFd = PlatFileOpen(t->spillName, PLAT_OPEN_READWRITE);
        if (t->spillFd < 0) {
            rcErrPost(t->owner.errors, RC_ENG_UNABLE_OPEN_TEMPORARY_SORT_FILE, nullptr, 0, nullptr);
            rcTmpDiscardFile(t);
            return -1;
        }
    }
    if (t->used > 0 &&
        PlatFileWriteAt(t->spillFd, int64_t(t->windowStart), t->rows, t->used) != int64_t(t->used))
        return postWriteFailure(t);
    t->windowStart += t->used;
    t->used = 0;
    t->windowEnd = 0;
    return 0;
}

int16_t rcTmpRewind(TempTable *t, uint64_t offset)
{
    if (t->failed)
        return -1;
    if (t->pending) {
        if (rcTmpSpill(t) != 0)
            return -1;
        t->pending = 0;
    }
    std::memset(t->rows, 0, t->capacity);
    uint64_t left = offset < t->streamLength ? t->streamLength - offset : 0;
    uint32_t want = left < t->capacity ? uint32_t(left) : t->capacity;
    int64_t got = want ? PlatFileReadAt(t->spillFd, int64_t(offset), t->rows, want) : 0;
    if (got != int64_t(want)) {
        rcErrPost(t->owner.errors, RC_ENG_ERROR_READING_TEMPORARY_SORT_FILE, nullptr, 0, nullptr);
        return -1;
    }
    t->windowStart = offset;
    t->windowEnd = offset + want;
    return 0;
}
