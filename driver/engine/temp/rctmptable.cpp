// Temporary tables: columns, storing values, positioning and reading.
#include "driver/engine/temp/rctmp.h"

#include "driver/core/rccnv.h"
#include "driver/core/rcmem.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/temp/rcsrtfile.h"
#include "driver/engine/temp/rctmpkey.h"
#include "driver/engine/temp/rctmpsettle.h"
#include "platform/file.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint16_t kFirstColumns = 5;
constexpr uint32_t kMinGrowStep = 2 * (RC_TMP_INDICATOR + RC_TMP_MAX_VALUE + 8);

// The smallest positive normal double: the NULL filler of DOUBLE keys.
constexpr uint64_t kNullDoubleBits = 0x0010000000000000ull;
// "-99999999999999.9999" at scale 4: the NULL filler of RC_SQL_SCALED64.
constexpr int64_t kNullScaled = -999999999999999999ll;

uint32_t slotSize(const TempTableColumn &c)
{
    return RC_TMP_INDICATOR + ((c.valueSize + 3u) & ~3u);
}

bool isText(int16_t type)
{
    return type == SQL_CHAR || type == SQL_VARCHAR || type == SQL_LONGVARCHAR;
}

int16_t postText(TempTable *t, uint32_t msgId, const char *text)
{
    rcErrPost(t->owner.errors, msgId, nullptr, 0, text);
    return -1;
}

int16_t failedTable(TempTable *t)
{
    return postText(t, RC_MSG_GENERAL_ERROR,
                    "The temporary table is unusable after an earlier error.");
}

// A value cut to fit its slot: 01004 is posted once per table. Only blanks
// cut from text lose nothing and pass silently.
int16_t noteTruncation(TempTable *t)
{
    if (!t->truncWarned) {
        t->truncWarned = true;
        rcErrPost(t->owner.errors, RC_MSG_DATA_TRUNCATED, nullptr, 0, nullptr);
    }
    return 1;
}

bool onlyBlanksFrom(const unsigned char *s, size_t from, size_t bound)
{
    for (size_t i = from; i < bound && s[i] != '\0'; ++i)
        if (s[i] != ' ')
            return false;
    return true;
}

uint8_t truthValue(uint8_t b)
{
    switch (b) {
    case 'Y':
    case 'T':
    case '1': return 1;
    case 'N':
    case 'F':
    case '0': return 0;
    default: return b;
    }
}

void putInt(unsigned char *dst, int32_t v) { std::memcpy(dst, &v, sizeof v); }
void putDouble(unsigned char *dst, double v) { std::memcpy(dst, &v, sizeof v); }

// Writes the NULL filler of the storage type so that the external sort,
// which also sees value bytes, finds a value of the type.
void putNullFiller(const TempTableColumn &c, unsigned char *dst)
{
    switch (c.storageType) {
    case SQL_INTEGER: putInt(dst, INT_MIN); break;
    case SQL_DOUBLE: std::memcpy(dst, &kNullDoubleBits, sizeof kNullDoubleBits); break;
    case RC_SQL_SCALED64: std::memcpy(dst, &kNullScaled, sizeof kNullScaled); break;
    default: break; // zero bytes (already cleared)
    }
}

// The C type a value of the column's SQL type is read as by default.
int16_t defaultCType(int16_t sqlType)
{
    switch (sqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR: return SQL_C_CHAR;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: return SQL_C_BINARY;
    case SQL_FLOAT:
    case SQL_DOUBLE: return SQL_C_DOUBLE;
    case SQL_REAL: return SQL_C_FLOAT;
    case SQL_SMALLINT: return SQL_C_SHORT;
    case SQL_INTEGER: return SQL_C_LONG;
    default: return sqlType; // BIT, unsigned TINYINT, DATE, TIME, TIMESTAMP
    }
}

// Makes the slot at stream offset `offset` (bytes `size`) readable; answers
// its address in the row buffer or null (posted).
unsigned char *mapSlot(TempTable *t, uint64_t rowStart, uint64_t offset, uint32_t size)
{
    if (offset < t->windowStart || offset + size > t->windowEnd) {
        // Load the window at the row when the row fits in the buffer, so that
        // the following columns and rows come with it.
        uint64_t at = uint64_t(t->rowLength) <= t->capacity ? rowStart : offset;
        if (rcTmpRewind(t, at) != 0)
            return nullptr;
        if (offset + size > t->windowEnd) {
            postText(t, RC_ENG_ERROR_READING_TEMPORARY_SORT_FILE, nullptr);
            return nullptr;
        }
    }
    return t->rows + (offset - t->windowStart);
}

// The slot of a column of a row, or null (posted).
unsigned char *rowSlot(TempTable *t, int64_t row, const TempTableColumn &c)
{
    uint64_t rowStart = uint64_t(row) * uint32_t(t->rowLength);
    return mapSlot(t, rowStart, rowStart + c.rowOffset, RC_TMP_INDICATOR + c.valueSize);
}

} // namespace

int16_t rcTmpStorageType(int16_t sqlType)
{
    switch (sqlType) {
    case SQL_BIT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_C_UTINYINT: return SQL_INTEGER;
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE: return SQL_DOUBLE;
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TIMESTAMP:
    case RC_SQL_SCALED64:
    case RC_SQL_DECIMAL38: return sqlType;
    default: return 0;
    }
}

uint32_t rcTmpValueSize(int16_t storageType, int32_t length)
{
    switch (storageType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
        return length >= -1 && length < int32_t(RC_TMP_MAX_VALUE) ? uint32_t(length + 1)
                                                                  : RC_TMP_MAX_VALUE;
    case SQL_DATE:
    case SQL_TIME: return sizeof(DATE_STRUCT);
    case SQL_TIMESTAMP: return sizeof(TIMESTAMP_STRUCT);
    case SQL_INTEGER: return 4;
    case SQL_DOUBLE:
    case RC_SQL_SCALED64: return 8;
    case RC_SQL_DECIMAL38: return 38;
    default: return 0;
    }
}

int16_t rcTmpCreate(const rcTmpOwner &owner, TempTable **out)
{
    *out = nullptr;
    auto *t = static_cast<TempTable *>(rcMemAlloc(sizeof(TempTable)));
    rcTmpLimits limits = owner.limits;
    if (limits.growStep < kMinGrowStep)
        limits.growStep = kMinGrowStep;
    if (limits.memoryLimit < limits.growStep)
        limits.memoryLimit = limits.growStep;
    if (t != nullptr) {
        t->columns =
            static_cast<TempTableColumn *>(rcMemAlloc(sizeof(TempTableColumn) * kFirstColumns));
        t->rows = static_cast<unsigned char *>(rcMemAlloc(limits.growStep));
    }
    if (t == nullptr || t->columns == nullptr || t->rows == nullptr) {
        if (t != nullptr) {
            rcMemFree(t->columns);
            rcMemFree(t->rows);
            rcMemFree(t);
        }
        return static_cast<int16_t>(rcErrRaise(owner.errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    }
    t->owner = owner;
    t->owner.limits = limits;
    t->columnCapacity = kFirstColumns;
    t->spillFd = -1;
    t->capacity = limits.growStep;
    t->currentRow = -1;
    *out = t;
    return 0;
}

int16_t rcTmpAddColumn(TempTable *t, int16_t sqlType, uint32_t precScale, int32_t length)
{
    if (t->rowCount > 0 || t->nextColumn != 0 || t->reading)
        return postText(t, RC_MSG_GENERAL_ERROR, "Columns are added before the first row.");
    int16_t storage = rcTmpStorageType(sqlType);
    if (storage == 0) {
        char text[96];
        std::snprintf(text, sizeof text, "A temporary table cannot hold values of SQL type %d.",
                      sqlType);
        return postText(t, RC_MSG_DRIVER_NOT_CAPABLE, text);
    }
    if (t->columnCount == t->columnCapacity) {
        void *p = t->columns;
        if (t->columnCount == UINT16_MAX ||
            rcMemRealloc(&p, sizeof(TempTableColumn) * (t->columnCapacity * 2u)) != 0)
            return static_cast<int16_t>(
                rcErrRaise(t->owner.errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
        t->columns = static_cast<TempTableColumn *>(p);
        t->columnCapacity = static_cast<uint16_t>(
            t->columnCapacity * 2u > UINT16_MAX ? UINT16_MAX : t->columnCapacity * 2u);
    }
    TempTableColumn &c = t->columns[t->columnCount];
    c = {};
    c.sqlType = sqlType;
    c.length = length;
    c.storageType = storage;
    c.valueSize = rcTmpValueSize(storage, length);
    c.rowOffset = static_cast<uint32_t>(t->rowLength);
    c.keyPosition = RC_TMP_NO_KEY;
    c.precScale = precScale;
    if (uint64_t(t->rowLength) + slotSize(c) > INT32_MAX)
        return postText(t, RC_MSG_GENERAL_ERROR, "Temporary table row too long.");
    t->rowLength += static_cast<int32_t>(slotSize(c));
    ++t->columnCount;
    return 0;
}

int16_t rcTmpSetCompact(TempTable *t)
{
    if (t->rowCount > 0 || t->nextColumn != 0 || t->reading || t->rawRows)
        return postText(t, RC_MSG_GENERAL_ERROR, "Columns are added before the first row.");
    t->compact = true;
    return 0;
}

int16_t rcTmpSetInPlace(TempTable *t)
{
    if (t->rowCount > 0 || t->nextColumn != 0 || t->reading || t->compact || t->inPlace)
        return postText(t, RC_MSG_GENERAL_ERROR, "Columns are added before the first row.");
    for (uint16_t k = 0; k < t->columnCount; ++k)
        if (rcTmpPutColumnLen(t, nullptr, 0, k, true) < 0)
            return -1;
    t->inPlace = true;
    t->reading = true;
    t->currentRow = 0;
    return 0;
}

int16_t rcTmpSetSortKey(TempTable *t, uint16_t keyPosition, uint16_t column, bool descending)
{
    if (column >= t->columnCount || t->reading)
        return -1;
    TempTableColumn &c = t->columns[column];
    if (rcCnvIsBinaryType(c.storageType))
        return static_cast<int16_t>(rcErrRaise(t->owner.errors, RC_ENG_UNABLE_SORT_COLUMN_TYPE));
    if (!(c.keyFlags & RC_TMP_KEY))
        ++t->keyCount;
    c.keyPosition = keyPosition;
    c.keyFlags = static_cast<uint8_t>(RC_TMP_KEY | (descending ? RC_TMP_KEY_DESC : 0));
    rcMemFree(t->keys);
    t->keys = nullptr;
    return 0;
}

int16_t rcTmpPutColumn(TempTable *t, const void *value, uint16_t column, bool isNull)
{
    if (column >= t->columnCount)
        return -1;
    const TempTableColumn &c = t->columns[column];
    int32_t length = SQL_NTS;
    if (c.sqlType == SQL_CHAR || rcCnvIsBinaryType(c.sqlType))
        length = c.length;
    return rcTmpPutColumnLen(t, value, length, column, isNull);
}

int16_t rcTmpPutColumnLen(TempTable *t, const void *value, int32_t length, uint16_t column,
                          bool isNull)
{
    if (column >= t->columnCount)
        return -1;
    if (t->failed)
        return failedTable(t);
    const TempTableColumn &c = t->columns[column];
    uint32_t slot = slotSize(c);
    unsigned char *dst;
    if (t->inPlace) {
        dst = t->rows + c.rowOffset;
        if (!isNull && value != nullptr && (c.sqlType == SQL_INTEGER || c.sqlType == SQL_DOUBLE)) {
            // The common slots whole: indicator and value, nothing after.
            static_assert(RC_TMP_INDICATOR == 4, "a 4-byte indicator");
            std::memset(dst, 0, RC_TMP_INDICATOR);
            if (c.sqlType == SQL_INTEGER)
                std::memcpy(dst + RC_TMP_INDICATOR, value, 4);
            else
                std::memcpy(dst + RC_TMP_INDICATOR, value, 8);
            return 0;
        }
        // The old value's bytes go; the rest of the slot is zero already.
        int16_t st = c.storageType;
        bool variable =
            isText(st) || st == SQL_BINARY || st == SQL_VARBINARY || st == SQL_LONGVARBINARY;
        uint32_t old = variable ? RC_TMP_INDICATOR + uint32_t(dst[1] | (dst[2] << 8)) : slot;
        std::memset(dst, 0, old);
    } else {
        if (t->reading || column != t->nextColumn)
            return postText(t, RC_MSG_GENERAL_ERROR,
                            "Temporary-table values are stored column by column before reading.");
        // Room for the widest slot; a compact slot then takes only its value.
        if (t->used + slot > t->capacity && rcTmpGrow(t) != 0)
            return -1;
        dst = t->rows + t->used;
        std::memset(dst, 0, slot);
    }
    unsigned char *v = dst + RC_TMP_INDICATOR;
    int16_t rc = 0;
    if (isNull || value == nullptr) {
        dst[0] = RC_TMP_NULL;
        t->columns[column].hasNull = true;
        putNullFiller(c, v);
    } else {
        const auto *src = static_cast<const unsigned char *>(value);
        switch (c.sqlType) {
        case SQL_BIT: putInt(v, truthValue(*src)); break;
        case SQL_C_UTINYINT: putInt(v, *src); break;
        case SQL_SMALLINT: {
            int16_t x;
            std::memcpy(&x, src, sizeof x);
            putInt(v, x);
            break;
        }
        case SQL_REAL: {
            float x;
            std::memcpy(&x, src, sizeof x);
            putDouble(v, x);
            break;
        }
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_LONGVARCHAR: {
            // Never read past the source: a CHAR array of its declared length,
            // terminated text, or the length given.
            size_t bound = length >= 0 ? size_t(length) : SIZE_MAX;
            size_t room = c.valueSize - 1;
            size_t n =
                strnlen(reinterpret_cast<const char *>(src), bound < room + 1 ? bound : room + 1);
            if (n > room) {
                n = room;
                if (!onlyBlanksFrom(src, room, bound))
                    rc = noteTruncation(t);
            }
            std::memcpy(v, src, n);
            dst[1] = static_cast<unsigned char>(n & 0xFF);
            dst[2] = static_cast<unsigned char>(n >> 8);
            break;
        }
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY: {
            size_t n = length > 0 ? size_t(length) : 0;
            if (n > c.valueSize) {
                n = c.valueSize;
                rc = noteTruncation(t);
            }
            std::memcpy(v, src, n);
            dst[1] = static_cast<unsigned char>(n & 0xFF);
            dst[2] = static_cast<unsigned char>(n >> 8);
            break;
        }
        default: // INTEGER, DOUBLE, FLOAT, DATE, TIME, TIMESTAMP, the private types
            std::memcpy(v, src, c.sqlType == SQL_FLOAT ? sizeof(double) : c.valueSize);
            break;
        }
    }
    if (t->inPlace)
        return rc;
    if (t->compact && rcTmpIsVariable(c.storageType)) {
        uint32_t n = uint32_t(dst[1] | (dst[2] << 8));
        if (n > t->columns[column].longest)
            t->columns[column].longest = n;
        slot = rcTmpCompactSlot(c.storageType, n);
    }
    t->used += slot;
    t->streamLength += slot;
    t->windowEnd = t->streamLength;
    t->pending = 1;
    if (++t->nextColumn == t->columnCount) {
        t->nextColumn = 0;
        ++t->rowCount;
    }
    return rc;
}

int16_t rcTmpColumnValue(TempTable *t, uint16_t column, const void **value, uint32_t *length,
                         bool *isNull)
{
    if (column >= t->columnCount)
        return -1;
    if (t->failed)
        return failedTable(t);
    if (t->currentRow < 0 || t->currentRow >= t->rowCount)
        return postText(t, RC_MSG_GENERAL_ERROR, "No current row in the temporary table.");
    if (rcTmpSettle(t) != 0)
        return -1;
    t->reading = true;
    const TempTableColumn &c = t->columns[column];
    unsigned char *slot = rowSlot(t, t->currentRow, c);
    if (slot == nullptr)
        return -1;
    *isNull = slot[0] == RC_TMP_NULL;
    *value = slot + RC_TMP_INDICATOR;
    bool variable = isText(c.storageType) || rcCnvIsBinaryType(c.storageType);
    *length = variable ? uint32_t(slot[1] | (slot[2] << 8)) : c.valueSize;
    return 0;
}

int16_t rcTmpGetColumn(TempTable *t, uint16_t column, void *target, int32_t targetLength,
                       int16_t cType, int32_t *indicator, int32_t *outLength)
{
    const void *value;
    uint32_t length;
    bool isNull;
    int16_t rc = rcTmpColumnValue(t, column, &value, &length, &isNull);
    if (rc != 0)
        return rc;
    if (isNull) {
        *indicator = 1;
        return 0;
    }
    *indicator = 0;
    const TempTableColumn &c = t->columns[column];
    int16_t dstType = cType == kCnvDefaultCType ? defaultCType(c.sqlType) : cType;
    int32_t got = 0;
    int32_t msg;
    if (dstType == c.storageType && !isText(c.storageType) && !rcCnvIsBinaryType(c.storageType)) {
        // Same form (the private exact types among them): a copy.
        if (targetLength < int32_t(c.valueSize))
            msg = kCnvMsgOutOfRange;
        else {
            std::memcpy(target, value, c.valueSize);
            got = int32_t(c.valueSize);
            msg = kCnvMsgSuccess;
        }
    } else {
        int16_t srcType = c.storageType;
        if (isText(srcType))
            srcType = SQL_CHAR;
        else if (rcCnvIsBinaryType(srcType))
            srcType = SQL_BINARY;
        bool exact = dstType == SQL_DECIMAL || dstType == RC_SQL_DECIMAL38;
        msg = rcCnvConvert(value, srcType, int32_t(length), 0, target,
                           static_cast<uint16_t>(dstType), targetLength,
                           exact ? t->owner.numPrecision : 0, exact ? t->owner.numScale : 0, &got);
    }
    if (outLength != nullptr)
        *outLength = got;
    if (msg == kCnvMsgSuccess)
        return 0;
    rcErrPost(t->owner.errors, static_cast<uint32_t>(msg), nullptr, 0, nullptr);
    return msg == kCnvMsgTruncated || msg == RC_MSG_STRING_DATA_RIGHT_TRUNCATION ? 1 : -1;
}

int16_t rcTmpSetRow(TempTable *t, int64_t row)
{
    if (t->failed)
        return failedTable(t);
    if (row < 0 || row >= t->rowCount)
        return -1;
    if (rcTmpSettle(t) != 0)
        return -1;
    t->reading = true;
    t->currentRow = row;
    return 0;
}

int16_t rcTmpMove(TempTable *t, int direction)
{
    if (t->failed)
        return failedTable(t);
    if (t->rowCount == 0)
        return 100;
    if (rcTmpSettle(t) != 0)
        return -1;
    t->reading = true;
    switch (direction) {
    case 1:
        if (t->currentRow >= t->rowCount - 1)
            return 100;
        ++t->currentRow;
        return 0;
    case 2:
        if (t->currentRow > 0)
            --t->currentRow;
        return 0;
    case 3: t->currentRow = 0; return 0;
    default: return 0;
    }
}

int64_t rcTmpRowNumber(const TempTable *t) { return t->currentRow; }

int64_t rcTmpRowCount(const TempTable *t) { return t->rowCount; }

int rcTmpCompareRows(TempTable *t, int64_t rowA, int64_t rowB)
{
    if (t->failed || rowA < 0 || rowB < 0 || rowA >= t->rowCount || rowB >= t->rowCount) {
        if (!t->failed)
            postText(t, RC_MSG_GENERAL_ERROR, "No such row in the temporary table.");
        return 0;
    }
    if (rcTmpSettle(t) != 0 || rcTmpBuildKeys(t) != 0)
        return 0;
    t->reading = true;
    uint32_t len = uint32_t(t->rowLength);
    if (t->scratch == nullptr) {
        t->scratch = static_cast<unsigned char *>(rcMemAlloc(len));
        if (t->scratch == nullptr) {
            rcErrRaise(t->owner.errors, RC_MSG_MEMORY_ALLOCATION_ERROR);
            return 0;
        }
    }
    uint64_t startA = uint64_t(rowA) * len, startB = uint64_t(rowB) * len;
    const unsigned char *a = mapSlot(t, startA, startA, len);
    if (a == nullptr)
        return 0;
    if (!(startB >= t->windowStart && startB + len <= t->windowEnd)) {
        std::memcpy(t->scratch, a, len);
        a = t->scratch;
    }
    const unsigned char *b = mapSlot(t, startB, startB, len);
    if (b == nullptr)
        return 0;
    return rcTmpCompareRowBytes(t, a, b);
}

void rcTmpFree(TempTable *t)
{
    if (t == nullptr)
        return;
    if (t->spillFd >= 0)
        PlatFileClose(t->spillFd);
    if (t->spillName != nullptr) {
        PlatFileDelete(t->spillName);
        rcMemFree(t->spillName);
    }
    rcMemFree(t->rows);
    rcMemFree(t->columns);
    rcMemFree(t->keys);
    rcMemFree(t->scratch);
    rcSrtFileClose(t->longValues);
    rcMemFree(t);
}

// ---- Rows as records --------------------------------------------------------

bool rcTmpRowFits(const TempTable *t)
{
    uint64_t limit = t->owner.limits.memoryLimit;
    if (limit < uint64_t(t->rowLength))
        limit = uint64_t(t->rowLength);
    return t->spillName == nullptr && uint64_t(t->used) + uint32_t(t->rowLength) <= limit;
}

int16_t rcTmpAppendRow(TempTable *t, const unsigned char *row)
{
    if (t->failed)
        return failedTable(t);
    if (t->reading || t->nextColumn != 0 || t->compact)
        return postText(t, RC_MSG_GENERAL_ERROR,
                        "Temporary-table rows are stored whole before reading.");
    uint32_t len = uint32_t(t->rowLength);
    // Room for the whole row: grow, or spill the buffer (the table's limit
    // holds at least one row).
    while (t->used + len > t->capacity)
        if (rcTmpGrow(t) != 0)
            return -1;
    std::memcpy(t->rows + t->used, row, len);
    for (uint16_t c = 0; c < t->columnCount; ++c)
        if (row[t->columns[c].rowOffset] == RC_TMP_NULL)
            t->columns[c].hasNull = true;
    t->used += len;
    t->streamLength += len;
    t->windowEnd = t->streamLength;
    t->pending = 1;
    ++t->rowCount;
    return 0;
}

unsigned char *rcTmpRowBytes(TempTable *t, int64_t row)
{
    if (t->failed || row < 0 || row >= t->rowCount ||
        (t->compact && !t->settled && rcTmpSettle(t) != 0) || t->spillName != nullptr)
        return nullptr;
    // The caller may write the row: the NULLs of its columns are unknown.
    t->rawRows = true;
    return t->rows + uint64_t(row) * uint32_t(t->rowLength);
}

int16_t rcTmpClearRows(TempTable *t)
{
    if (t->spillName != nullptr || t->failed)
        return postText(t, RC_MSG_GENERAL_ERROR, "A spilled temporary table cannot be cleared.");
    if (t->inPlace)
        return postText(t, RC_MSG_GENERAL_ERROR, "A row rewritten in place cannot be cleared.");
    t->used = 0;
    t->streamLength = 0;
    t->windowStart = 0;
    t->windowEnd = 0;
    t->rowCount = 0;
    t->currentRow = -1;
    t->pending = 0;
    t->nextColumn = 0;
    t->reading = false;
    if (t->compact)
        rcTmpUnsettle(t); // puts start again at the declared widths
    return 0;
}

const unsigned char *rcTmpCurrentRowBytes(TempTable *t)
{
    if (t->failed) {
        failedTable(t);
        return nullptr;
    }
    if (t->currentRow < 0 || t->currentRow >= t->rowCount) {
        postText(t, RC_MSG_GENERAL_ERROR, "No current row in the temporary table.");
        return nullptr;
    }
    if (rcTmpSettle(t) != 0)
        return nullptr;
    t->reading = true;
    uint64_t start = uint64_t(t->currentRow) * uint32_t(t->rowLength);
    return mapSlot(t, start, start, uint32_t(t->rowLength));
}
