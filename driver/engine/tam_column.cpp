// Table-access layer: column reads, the per-table column cache and the
// type-catalog cursor.
//
// Column cache of a table handle:
//   rcColCacheInit(n) -> rcColCacheAdd(column, length) x n -> rcColCacheSeal
//   -> TamGetColumn ... (TamMove / TamSeek / TamGotoBookmark mark it stale)
//   -> rcColCacheFree (also by TamCloseTable)
// Columns of 1..256 bytes are read once per row into a data area and copied
// from there as often as the statement asks; longer columns are always read
// from the data module. Lookup goes through a table by column number made at
// seal (a binary search over the entries, sorted then, when the numbers are
// too large for one). The first read of a row that finds its column stale
// reads every stale cached column of the row in one data-module call
// (DrmRetrieveColumns): one lock and one cursor lookup per row instead of
// one per value. Each value keeps the code its read answered, which the
// first read of that value after the fill returns (as a read of its own
// would have), and is translated for the driver at that first read, when
// the caller's type is known.
#include "driver/core/rclock.h"
#include "driver/core/rcmem.h"
#include "driver/engine/tam.h"

#include <algorithm>
#include <cstring>
#include <new>

struct TamColumnCacheEntry {
    uint32_t notCached;
    uint32_t stale;
    uint32_t column;
    uint32_t offset;
    uint16_t capacity;
    uint16_t length;
    unsigned char *data;
    uint32_t isNull;
    int32_t pending;     // the code of the fill, answered by the first read after it
    uint32_t translated; // the character value has been through the translator
};

namespace {

constexpr uint32_t kCacheMaxValue = 256;
constexpr uint32_t kIndexMaxColumns = 4096; // column numbers a lookup table is made for
constexpr uint16_t kNoEntry = 0xFFFF;

bool IsCharType(int16_t t) { return t == 1 || t == 12 || t == -1; }

} // namespace

namespace {

// Character results pass through the connection's translation library, in
// place: false when it refuses them.
bool TranslateRead(const TamTranslator *translator, int16_t sqlType, void *buffer, uint32_t got,
                   uint32_t length)
{
    uint32_t n = std::min(got, length);
    if (n == 0)
        return true;
    char errorText[256];
    rcDriverLockHold hold;
    return TamTranslateToDriver(translator, sqlType, buffer, n, length, errorText);
}

} // namespace

int32_t TamRetrieveColumn(TamSession *session, TamTableHandle *handle, uint32_t column,
                          void *buffer, uint32_t length, uint32_t *outLength, DRM_RETINFO *partial,
                          int16_t sqlType)
{
    // A piece of a long value: the data module skips what was delivered and
    // tells the whole value's size (0 stays for values that are not long).
    DRM_RETINFO info{};
    DRM_RETINFO *ri = nullptr;
    if (partial) {
        info.delivered = partial->delivered;
        ri = &info;
    }
    uint32_t got = 0;
    int32_t rc =
        DrmRetrieveColumn(session->drmSession, handle->cursor, column, buffer, length, &got, ri);
    if (partial)
        *partial = info;
    if (outLength)
        *outLength = got;
    const TamTranslator *translator = session->link.translator;
    if (rc < 0 || rc == kDrmWarnNull || !TamTranslatorLoaded(translator) || !IsCharType(sqlType))
        return rc;
    if (!TranslateRead(translator, sqlType, buffer, got, length))
        return kTamErrTranslation;
    return rc;
}

int32_t rcColCacheInit(TamSession *session, TamTableHandle *handle, uint32_t columns,
                       uint32_t maxColumns)
{
    if (columns > maxColumns) {
        rcColCacheFree(session, handle);
        handle->cacheAllowed = 0;
        return 0;
    }
    if (columns == 0) {
        rcColCacheFree(session, handle);
        return 0;
    }
    if (!handle->cacheAllowed)
        return 0;
    // A cache initialised again starts over with an array of the new size,
    // so a larger column count never writes past the old array.
    rcColCacheFree(session, handle);
    handle->cacheEntries = new (std::nothrow) TamColumnCacheEntry[columns]();
    if (!handle->cacheEntries)
        return kDrmErrNoMemory;
    handle->cacheCapacity = static_cast<uint16_t>(columns);
    return 0;
}

int32_t rcColCacheAdd(TamSession *, TamTableHandle *handle, uint32_t column, uint32_t length)
{
    if (handle->cacheSealed || !handle->cacheEntries || !handle->cacheAllowed ||
        handle->cacheCount >= handle->cacheCapacity)
        return 0;
    TamColumnCacheEntry &e = handle->cacheEntries[handle->cacheCount++];
    e = TamColumnCacheEntry{};
    e.column = column;
    if (length >= 1 && length <= kCacheMaxValue) {
        e.stale = 1;
        e.offset = handle->cacheDataSize;
        e.capacity = static_cast<uint16_t>(length);
        handle->cacheDataSize += (length + 3) & ~3u;
    } else {
        e.notCached = 1;
    }
    return 0;
}

int32_t rcColCacheSeal(TamSession *session, TamTableHandle *handle)
{
    if (handle->cacheSealed || !handle->cacheEntries || !handle->cacheAllowed)
        return 0;
    handle->cacheData =
        new (std::nothrow) unsigned char[handle->cacheDataSize ? handle->cacheDataSize : 4]();
    if (!handle->cacheData) {
        rcColCacheFree(session, handle);
        return kDrmErrNoMemory;
    }
    TamColumnCacheEntry *begin = handle->cacheEntries;
    TamColumnCacheEntry *end = begin + handle->cacheCount;
    for (TamColumnCacheEntry *e = begin; e != end; ++e)
        e->data = e->notCached ? nullptr : handle->cacheData + e->offset;
    std::sort(begin, end, [](const TamColumnCacheEntry &a, const TamColumnCacheEntry &b) {
        return a.column < b.column;
    });
    uint32_t top = 0;
    for (TamColumnCacheEntry *e = begin; e != end; ++e)
        top = std::max(top, e->column);
    if (top < kIndexMaxColumns) {
        handle->cacheIndex = new (std::nothrow) uint16_t[top + 1];
        if (handle->cacheIndex) {
            handle->cacheIndexSize = top + 1;
            std::fill_n(handle->cacheIndex, top + 1, kNoEntry);
            // From the end, so that a column listed twice finds its first entry.
            for (uint16_t i = handle->cacheCount; i-- > 0;)
                handle->cacheIndex[begin[i].column] = i;
        }
    }
    uint16_t cached = 0;
    for (TamColumnCacheEntry *e = begin; e != end; ++e)
        cached = static_cast<uint16_t>(cached + (e->notCached ? 0 : 1));
    if (cached != 0) {
        handle->cacheReads = new (std::nothrow) DrmColumnRead[cached];
        handle->cacheReadEntry = new (std::nothrow) uint16_t[cached];
        if (!handle->cacheReads || !handle->cacheReadEntry) {
            delete[] handle->cacheReads;
            delete[] handle->cacheReadEntry;
            handle->cacheReads = nullptr;
            handle->cacheReadEntry = nullptr;
        } else {
            for (uint16_t i = 0; i < handle->cacheCount; ++i) {
                const TamColumnCacheEntry &e = begin[i];
                if (e.notCached)
                    continue;
                handle->cacheReads[handle->cacheReadCount] =
                    DrmColumnRead{e.column, e.data, e.capacity, 0, 0};
                handle->cacheReadEntry[handle->cacheReadCount++] = i;
            }
        }
    }
    handle->cacheAllStale = 1;
    handle->cacheSealed = 1;
    return 0;
}

void rcColCacheInvalidate(TamSession *, TamTableHandle *handle)
{
    if (!handle || !handle->cacheEntries)
        return;
    for (uint16_t i = 0; i < handle->cacheCount; ++i)
        handle->cacheEntries[i].stale = 1;
    handle->cacheAllStale = 1;
}

namespace {

inline const TamColumnCacheEntry *FindEntry(const TamTableHandle *handle, uint32_t column)
{
    const TamColumnCacheEntry *begin = handle->cacheEntries;
    if (handle->cacheIndex) {
        if (column < handle->cacheIndexSize && handle->cacheIndex[column] != kNoEntry)
            return begin + handle->cacheIndex[column];
        return nullptr;
    }
    const TamColumnCacheEntry *end = begin + handle->cacheCount;
    const TamColumnCacheEntry *e = std::lower_bound(
        begin, end, column, [](const TamColumnCacheEntry &a, uint32_t c) { return a.column < c; });
    return e == end || e->column != column ? nullptr : e;
}

} // namespace

bool rcColCacheHolds(const TamTableHandle *handle, uint32_t columns, uint32_t column,
                     uint32_t length)
{
    if (!handle || !handle->cacheSealed || !handle->cacheAllowed || !handle->cacheEntries ||
        handle->cacheCount != columns)
        return false;
    const TamColumnCacheEntry *e = FindEntry(handle, column);
    if (!e)
        return false;
    if (length >= 1 && length <= kCacheMaxValue)
        return !e->notCached && e->capacity == length;
    return e->notCached != 0;
}

void rcColCacheFree(TamSession *, TamTableHandle *handle)
{
    if (!handle)
        return;
    delete[] handle->cacheEntries;
    delete[] handle->cacheData;
    delete[] handle->cacheIndex;
    delete[] handle->cacheReads;
    delete[] handle->cacheReadEntry;
    handle->cacheReads = nullptr;
    handle->cacheReadEntry = nullptr;
    handle->cacheReadCount = 0;
    handle->cacheAllStale = 0;
    handle->cacheEntries = nullptr;
    handle->cacheData = nullptr;
    handle->cacheIndex = nullptr;
    handle->cacheIndexSize = 0;
    handle->cacheCapacity = 0;
    handle->cacheCount = 0;
    handle->cacheDataSize = 0;
    handle->cacheSealed = 0;
}

namespace {

// An entry as its read in a row fill left it: a failed read keeps its code
// and stays stale, so that the next read of it tries again.
void TakeRead(TamColumnCacheEntry &f, const DrmColumnRead &read)
{
    f.isNull = read.result == kDrmWarnNull ? 1 : 0;
    f.length = static_cast<uint16_t>(std::min<uint32_t>(read.outLength, 0xFFFF));
    f.pending = read.result;
    f.translated = 0;
    f.stale = read.result < 0 ? 1 : 0;
}

// Fills the stale cached entries of the current row with one data-module
// call (chunks of 32 when only some are stale). 0; kDrmReadEachColumn when
// the data module wants one call per column; or the code of a call that
// found no cursor.
int32_t FillRow(TamSession *session, TamTableHandle *handle)
{
    if (handle->cacheAllStale && handle->cacheReads) {
        // The whole row: the reads made at seal.
        int32_t rc = DrmRetrieveColumns(session->drmSession, handle->cursor, handle->cacheReads,
                                        handle->cacheReadCount);
        if (rc != 0)
            return rc;
        handle->cacheAllStale = 0;
        for (uint16_t i = 0; i < handle->cacheReadCount; ++i)
            TakeRead(handle->cacheEntries[handle->cacheReadEntry[i]], handle->cacheReads[i]);
        return 0;
    }
    handle->cacheAllStale = 0;
    constexpr uint32_t kChunk = 32;
    DrmColumnRead reads[kChunk];
    TamColumnCacheEntry *of[kChunk];
    TamColumnCacheEntry *e = handle->cacheEntries;
    TamColumnCacheEntry *end = e + handle->cacheCount;
    while (e != end) {
        uint32_t n = 0;
        for (; e != end && n < kChunk; ++e) {
            if (e->notCached || !e->stale)
                continue;
            reads[n] = DrmColumnRead{e->column, e->data, e->capacity, 0, 0};
            of[n++] = e;
        }
        if (n == 0)
            break;
        int32_t rc = DrmRetrieveColumns(session->drmSession, handle->cursor, reads, n);
        if (rc != 0)
            return rc;
        for (uint32_t i = 0; i < n; ++i)
            TakeRead(*of[i], reads[i]);
    }
    return 0;
}

int32_t CacheRetrieve(TamSession *session, TamTableHandle *handle, uint32_t column, void *buffer,
                      uint32_t length, uint32_t *outLength, int16_t sqlType)
{
    TamColumnCacheEntry *e = const_cast<TamColumnCacheEntry *>(FindEntry(handle, column));
    if (!e || e->notCached)
        return TamRetrieveColumn(session, handle, column, buffer, length, outLength, nullptr,
                                 sqlType);
    if (e->stale) {
        int32_t rc = FillRow(session, handle);
        if (rc == 0 && e->stale)
            return e->pending; // its read failed
        if (rc == kDrmReadEachColumn) {
            // Read alone: the value translated as it comes.
            handle->cacheAllStale = 0;
            uint32_t got = 0;
            rc = TamRetrieveColumn(session, handle, column, e->data, e->capacity, &got, nullptr,
                                   sqlType);
            e->isNull = rc == kDrmWarnNull ? 1 : 0;
            e->length = static_cast<uint16_t>(std::min<uint32_t>(got, 0xFFFF));
            e->pending = rc;
            e->translated = 1;
            e->stale = rc < 0 ? 1 : 0;
        }
        if (rc < 0)
            return rc;
    }
    if (e->isNull)
        return kDrmWarnNull;
    int32_t rc = e->pending;
    if (!e->translated) {
        const TamTranslator *translator = session->link.translator;
        if (TamTranslatorLoaded(translator) && IsCharType(sqlType) &&
            !TranslateRead(translator, sqlType, e->data, e->length, e->capacity)) {
            e->stale = 1; // read and translated again by the next read
            return kTamErrTranslation;
        }
        e->translated = 1;
    }
    e->pending = 0;
    uint32_t n = std::min<uint32_t>(length, std::min<uint32_t>(e->capacity, e->length));
    if (buffer && n)
        std::memcpy(buffer, e->data, n);
    if (outLength)
        *outLength = n;
    return e->length > length ? 5003 : rc;
}

} // namespace

int32_t TamGetColumn(TamSession *session, TamTableHandle *handle, uint32_t column, void *buffer,
                     uint32_t length, uint32_t *outLength, DRM_RETINFO *partial, int16_t sqlType)
{
    if (!partial && handle->cacheAllowed && handle->cacheSealed)
        return CacheRetrieve(session, handle, column, buffer, length, outLength, sqlType);
    return TamRetrieveColumn(session, handle, column, buffer, length, outLength, partial, sqlType);
}

// ---- cursor handles and the type catalog ----

int32_t TamAllocCursor(TamSession *session, TamCursor **cursor, uint16_t kind)
{
    *cursor = nullptr;
    if (!session->cursors) {
        session->cursors = rcListCreate(5, sizeof(TamCursor), false, 0);
        if (!session->cursors)
            return kDrmErrNoMemory;
    }
    // The session's string pool is kept on failure: the type catalog of the
    // connection still points into it.
    TamCursor *c = static_cast<TamCursor *>(rcListAppendNew(session->cursors));
    if (!c)
        return kDrmErrNoMemory;
    c->kind = kind;
    *cursor = c;
    return 0;
}

int32_t TamCloseCursor(TamSession *session, TamCursor *cursor)
{
    if (!cursor || !cursor->open)
        return 0;
    cursor->open = 0;
    return DrmCloseTable(session->drmSession, cursor->info[1]);
}

uint32_t rcTypAttributeFlags(uint16_t id, uint32_t a)
{
    uint32_t f = 0;
    if (!(a & 1))
        f |= 1;
    if ((id >= 2 && id <= 7) || id == 103) {
        f += (a & 0x20) ? 32 : 64;
        f += (a & 0x2) ? 0x100 : 0x200;
        if (a & 0x40)
            f += 128;
    }
    if (!(a & 0x4))
        f += 0x400;
    if (!(a & 0x8))
        f += 0x800;
    f += 2;
    if (id == 8 || id == 101 || id == 102)
        f += 16;
    if (id == 10 || id == 12 || id == 104) {
        if (!(a & 0x10))
            f += 4;
        f += 16;
    }
    if (id != 11)
        f += 8;
    return f;
}

namespace {

int32_t ReadWord(TamSession *s, uint32_t cursor, uint32_t column, uint32_t *value)
{
    unsigned char bytes[4] = {};
    uint32_t got = 0;
    int32_t rc =
        DrmRetrieveColumn(s->drmSession, cursor, column, bytes, sizeof bytes, &got, nullptr);
    uint32_t v = 0;
    std::memcpy(&v, bytes, sizeof v);
    *value = v;
    return rc;
}

int32_t ReadText(TamSession *s, uint32_t cursor, uint32_t column, const char **text)
{
    char buf[257];
    uint32_t got = 0;
    int32_t rc = DrmRetrieveColumn(s->drmSession, cursor, column, buf, 256, &got, nullptr);
    if (rc < 0)
        return rc;
    size_t n = rc == kDrmWarnNull ? 0 : std::min<uint32_t>(got, 256);
    buf[n] = '\0';
    *text = TamPoolString(s, buf, std::strlen(buf));
    return *text ? 0 : kDrmErrNoMemory;
}

bool IsQuoted(uint16_t id)
{
    return id == 8 || id == 10 || id == 11 || id == 12 || id == 101 || id == 102 || id == 104;
}

} // namespace

int32_t TamFetchCursor(TamSession *session, TamCursor *cursor, uint32_t mode, TamTypeRow *row)
{
    if (cursor->kind != 1)
        return cursor->kind - 1;
    uint32_t *info = cursor->info;
    if (mode == 1 && !cursor->open) {
        std::memset(info, 0, sizeof cursor->info);
        info[0] = sizeof cursor->info;
        int32_t rc = DrmGetTypeCatalogInfo(session->drmSession, session->currentDb, info,
                                           sizeof cursor->info);
        if (rc != 0)
            return rc;
        cursor->open = 1;
    }
    int32_t rc = DrmMove(session->drmSession, info[1], mode == 1 ? kDrmMoveFirst : kDrmMoveNext);
    if (rc != 0)
        return rc;
    const uint32_t c = info[1];
    *row = TamTypeRow{};
    uint32_t id = 0;
    if ((rc = ReadWord(session, c, info[3], &id)) < 0)
        return rc;
    row->typeId = static_cast<uint16_t>(id);
    if ((rc = ReadText(session, c, info[4], &row->typeName)) != 0)
        return rc;
    if (IsQuoted(row->typeId))
        row->literalPrefix = row->literalSuffix = "'";
    uint32_t createParams = 0;
    if ((rc = ReadWord(session, c, info[5], &createParams)) < 0)
        return rc;
    if (createParams)
        row->createParams = (id == 11 || id == 12) ? "max length"
                            : id == 103            ? "precision,scale"
                                                   : "length";
    uint32_t attributes = 0;
    if ((rc = ReadWord(session, c, info[6], &attributes)) < 0)
        return rc;
    row->flags = rcTypAttributeFlags(row->typeId, attributes & 0xFF);
    if ((rc = ReadWord(session, c, info[7], &row->length)) < 0)
        return rc;
    if (id == 5)
        row->length = 18;
    if (id == 103) {
        unsigned char scale[2] = {};
        uint32_t got = 0;
        rc = DrmRetrieveColumn(session->drmSession, c, info[8], scale, sizeof scale, &got, nullptr);
        if (rc < 0)
            return rc;
        int16_t sv = 0;
        if (rc != kDrmWarnNull)
            std::memcpy(&sv, scale, sizeof sv);
        row->scale = sv;
        if ((rc = ReadWord(session, c, info[9], &row->precision)) < 0)
            return rc;
        row->length = row->precision;
    }
    if ((rc = ReadText(session, c, info[10], &row->localTypeName)) != 0)
        return rc;
    return 0;
}
