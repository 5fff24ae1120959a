// Sort-file record store: an append-only file of length-prefixed values.
#include "driver/engine/temp/rcsrtfile.h"

#include "driver/core/rcmem.h"
#include "driver/core/rcmsgid.h"
#include "platform/file.h"

#include <cstring>

namespace {

void putLength(unsigned char *p, uint32_t n)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(n >> (8 * i));
}

uint32_t getLength(const unsigned char *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

int16_t post(rcSortFile *s, uint32_t msgId)
{
    rcErrPost(s->owner.errors, msgId, nullptr, 0, nullptr);
    return -1;
}

} // namespace

int16_t rcSrtFileOpen(const rcTmpOwner &owner, rcSortFile **out)
{
    *out = nullptr;
    auto *s = static_cast<rcSortFile *>(rcMemAlloc(sizeof(rcSortFile)));
    if (s == nullptr)
        return static_cast<int16_t>(rcErrRaise(owner.errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    s->owner = owner;
    s->fd = rcTmpSpillName(owner, &s->name);
    if (s->fd < 0) {
        rcMemFree(s);
        return -1;
    }
    // Only the descriptor is used from here on: without a name the file goes
    // with its last descriptor, even when the process is killed.
    PlatFileDelete(s->name);
    rcMemFree(s->name);
    s->name = nullptr;
    *out = s;
    return 0;
}

int16_t rcSrtFileOffset(const rcSortFile *s, uint64_t *offset)
{
    *offset = s->bytesWritten;
    return 0;
}

int16_t rcSrtFileWrite(rcSortFile *s, const void *value, int16_t sqlType, int64_t length)
{
    uint64_t n;
    if (value == nullptr)
        n = 0;
    else if (length == SQL_NTS)
        n = std::strlen(static_cast<const char *>(value)) + 1;
    else if (length < 0)
        return post(s, RC_ENG_ERROR_WRITING_TEMPORARY_SORT_FILE);
    else
        n = uint64_t(length) + (sqlType == SQL_LONGVARCHAR ? 1 : 0);
    if (n >= RC_SRT_NULL_LENGTH)
        return post(s, RC_ENG_ERROR_WRITING_TEMPORARY_SORT_FILE);
    unsigned char head[4];
    putLength(head, value == nullptr ? RC_SRT_NULL_LENGTH : uint32_t(n));
    if (PlatFileWriteAt(s->fd, int64_t(s->bytesWritten), head, 4) != 4)
        return post(s, RC_ENG_ERROR_WRITING_TEMPORARY_SORT_FILE);
    if (n > 0) {
        // LONGVARCHAR given with its length: the terminator is written apart
        // so that the caller's buffer is never read past its length.
        uint64_t body = length == SQL_NTS || sqlType != SQL_LONGVARCHAR ? n : n - 1;
        if (PlatFileWriteAt(s->fd, int64_t(s->bytesWritten + 4), value, body) != int64_t(body))
            return post(s, RC_ENG_ERROR_WRITING_TEMPORARY_SORT_FILE);
        static const unsigned char zero = 0;
        if (body < n && PlatFileWriteAt(s->fd, int64_t(s->bytesWritten + 4 + body), &zero, 1) != 1)
            return post(s, RC_ENG_ERROR_WRITING_TEMPORARY_SORT_FILE);
    }
    s->bytesWritten += 4 + n;
    return 0;
}

int16_t rcSrtFileReadPart(rcSortFile *s, uint64_t offset, uint64_t from, void *buffer,
                          uint32_t size, bool *isNull, uint64_t *fullLength, uint32_t *copied)
{
    *copied = 0;
    *fullLength = 0;
    unsigned char head[4];
    if (offset > s->bytesWritten || s->bytesWritten - offset < 4 ||
        PlatFileReadAt(s->fd, int64_t(offset), head, 4) != 4)
        return post(s, RC_ENG_ERROR_READING_TEMPORARY_SORT_FILE);
    uint32_t n = getLength(head);
    *isNull = n == RC_SRT_NULL_LENGTH;
    if (*isNull)
        return 0;
    *fullLength = n;
    if (s->bytesWritten - offset - 4 < n)
        return post(s, RC_ENG_ERROR_READING_TEMPORARY_SORT_FILE);
    uint64_t rest = from < n ? n - from : 0;
    uint32_t copy = rest < size ? uint32_t(rest) : size;
    if (copy > 0 &&
        PlatFileReadAt(s->fd, int64_t(offset + 4 + from), buffer, copy) != int64_t(copy))
        return post(s, RC_ENG_ERROR_READING_TEMPORARY_SORT_FILE);
    *copied = copy;
    return 0;
}

int16_t rcSrtFileRead(rcSortFile *s, uint64_t offset, void *buffer, uint32_t size, bool *isNull,
                      uint64_t *fullLength)
{
    uint64_t n = 0;
    uint32_t copied = 0;
    if (rcSrtFileReadPart(s, offset, 0, buffer, size, isNull, &n, &copied) < 0)
        return -1;
    if (fullLength != nullptr)
        *fullLength = n;
    if (copied < n) {
        rcErrPost(s->owner.errors, RC_MSG_DATA_TRUNCATED, nullptr, 0, nullptr);
        return 1;
    }
    return 0;
}

void rcSrtFileClose(rcSortFile *s)
{
    if (s == nullptr)
        return;
    if (s->fd >= 0)
        PlatFileClose(s->fd);
    if (s->name != nullptr) {
        PlatFileDelete(s->name);
        rcMemFree(s->name);
    }
    rcMemFree(s);
}
