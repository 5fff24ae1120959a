// Sort driver: in-memory sort and the external sort through the sort library.
#include "driver/engine/temp/rcswp.h"

#include "driver/core/rccnv.h"
#include "driver/core/rclock.h"
#include "driver/core/rcmem.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcstrings.h"
#include "driver/engine/temp/rctmpkey.h"
#include "driver/sort/srtsort.h"
#include "platform/file.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace {

// The sort library keeps its state process-wide: one external sort at a
// time, also when no environment (and so no driver-wide lock) exists.
std::mutex gSortLibrary;

const char *keyTypeOf(int16_t storageType)
{
    switch (storageType) {
    case SQL_INTEGER: return "I";
    case SQL_DOUBLE: return "E";
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR: return "C";
    case SQL_DATE: return "XDT";
    case SQL_TIME: return "XTM";
    case SQL_TIMESTAMP: return "XTS";
    case RC_SQL_SCALED64: return "XD";
    case RC_SQL_DECIMAL38: return "XBD";
    default: return nullptr;
    }
}

bool cancelled(const TempTable *t)
{
    return t->owner.cancel != nullptr && t->owner.cancel->load(std::memory_order_relaxed) != 0;
}

int stringCompare(void *, const unsigned char *a, const unsigned char *b, size_t len)
{
    return rcTmpCompareText(a, b, len);
}

int valueCompare(void *, int sqlType, int isNullA, const unsigned char *a, int isNullB,
                 const unsigned char *b, size_t len)
{
    if (isNullA || isNullB)
        return isNullA && isNullB ? 0 : (isNullA ? -1 : 1);
    return rcTmpCompareValue(static_cast<int16_t>(sqlType), a, b, static_cast<uint32_t>(len));
}

// Appends a quoted argument: the work directory may hold blanks or "+".
bool appendQuoted(std::string &text, const char *value)
{
    char quote = std::strchr(value, '"') == nullptr ? '"' : '\'';
    if (quote == '\'') {
        if (std::strchr(value, '\'') != nullptr)
            return false;
        text += " APOS";
    }
    text += " W(";
    text += quote;
    text += value;
    text += quote;
    text += ')';
    return true;
}

int16_t failSort(TempTable *t)
{
    rcTmpDiscardFile(t);
    rcTrcWriteBlock(t->owner.trace, 2, "rcSwpSortExec", -1);
    return -1;
}

} // namespace

int rcSwpSortCancelled(void *table)
{
    return cancelled(static_cast<const TempTable *>(table)) ? -1 : 0;
}

int16_t rcSwpInternalSort(TempTable *t)
{
    if (t->rowCount < 2 || t->keyCount == 0)
        return 0;
    // Sort (prefix of the first key, row number) pairs: the prefix decides
    // most comparisons, the full key comparison the rest, and the row number
    // keeps equal keys in the order they were put.
    struct Entry {
        uint64_t prefix;
        uint32_t row;
    };
    const uint32_t len = uint32_t(t->rowLength);
    const unsigned char *rows = t->rows;
    const size_t count = size_t(t->rowCount);
    auto *order = static_cast<Entry *>(rcMemAlloc(sizeof(Entry) * count));
    auto *sorted = static_cast<unsigned char *>(rcMemAlloc(t->capacity));
    if (order == nullptr || sorted == nullptr) {
        rcMemFree(order);
        rcMemFree(sorted);
        return static_cast<int16_t>(rcErrRaise(t->owner.errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    }
    for (size_t i = 0; i < count; ++i)
        order[i] = {rcTmpKeyPrefix(t, rows + i * len), uint32_t(i)};
    std::sort(order, order + count, [t, rows, len](const Entry &a, const Entry &b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        int c = rcTmpCompareRowBytes(t, rows + size_t(a.row) * len, rows + size_t(b.row) * len);
        return c != 0 ? c < 0 : a.row < b.row;
    });
    for (size_t i = 0; i < count; ++i)
        std::memcpy(sorted + i * len, rows + size_t(order[i].row) * len, len);
    rcMemFree(order);
    rcMemFree(t->rows);
    t->rows = sorted;
    return 0;
}

int16_t rcSwpBuildControl(TempTable *t, std::string &text)
{
    if (t->rowLength > RC_SWP_MAX_ROW) {
        rcErrPost(t->owner.errors, RC_ENG_SORT_DATA_ROW_EXCEEDS_65500, nullptr, 0, nullptr);
        return -1;
    }
    // Key columns that hold a NULL: only they need their indicator sorted
    // (the library takes 256 keys, so a table of up to 256 key columns
    // without NULLs sorts too).
    std::vector<bool> nulls(t->keyCount, false);
    for (uint16_t c = 0; c < t->columnCount; ++c)
        if ((t->columns[c].keyFlags & RC_TMP_KEY) && t->columns[c].keyPosition < t->keyCount)
            nulls[t->columns[c].keyPosition] = t->columns[c].hasNull || t->rawRows;
    text = "S(";
    for (uint16_t k = 0; k < t->keyCount; ++k) {
        const rcTmpKeyDesc &key = t->keys[k];
        const char *type = keyTypeOf(key.storageType);
        if (type == nullptr)
            return static_cast<int16_t>(
                rcErrRaise(t->owner.errors, RC_ENG_UNABLE_SORT_COLUMN_TYPE));
        // The NULL indicator in the opposite order, then the value.
        if (nulls[k])
            text += std::to_string(key.offset + 1) + ",1,BIN," + (key.descending ? "A," : "D,");
        text += std::to_string(key.offset + RC_TMP_INDICATOR + 1) + "," +
                std::to_string(key.valueSize) + "," + type + "," + (key.descending ? "D," : "A,");
    }
    text.back() = ')';
    // CORE in kilobytes: the owner's limit, raised so that the sort's record
    // buffer holds at least 40 rows.
    uint32_t core = t->owner.limits.sortCoreKb;
    uint32_t rowKb = (uint32_t(t->rowLength) + 1023) / 1024;
    if (core < 40 * (rowKb + 1))
        core = 40 * (rowKb + 1);
    text += " CORE(" + std::to_string(core) + ")";
    text += " F(FIX," + std::to_string(t->rowLength) + ")";
    // The work directory is the spill file's own.
    std::string dir = t->spillName;
    dir.erase(dir.rfind('/') + 1);
    if (!appendQuoted(text, dir.c_str())) {
        rcErrPost(t->owner.errors, RC_ENG_ERROR_SORTING_DATA, nullptr, 0, nullptr);
        return -1;
    }
    return 0;
}

void rcSwpMapError(TempTable *t, uint32_t sortError)
{
    uint32_t msg;
    const char *text = nullptr;
    switch (sortError) {
    case 206: msg = RC_ENG_MAXIMUM_NUMBER_SORT_COLUMNS_EXCEEDED; break;
    case 210:
    case 229:
    case 231:
    case 321: msg = RC_ENG_ERROR_WRITING_TEMPORARY_SORT_FILE; break;
    case 219:
    case 240: msg = RC_ENG_OUT_DISK_SPACE_WRITING_TEMPORARY; break;
    case 329: msg = RC_ENG_ERROR_CREATING_TEMPORARY_SORT_FILE; break;
    case 330: msg = RC_ENG_INSUFFICIENT_NUMBER_FILE_HANDLES_SORT; break;
    default:
        msg = RC_ENG_ERROR_SORTING_DATA;
        if (t->rowLength > 30000)
            text = rcUtlLoadString(RC_TXT_MAXIMUM_ROW_LENGTH_EXCEEDED_SORT);
        break;
    }
    rcErrPost(t->owner.errors, msg, nullptr, int32_t(sortError), text);
}

int16_t rcSwpSortExec(TempTable *t)
{
    rcTrcWrite(t->owner.trace, 2, "rcSwpSortExec(%p)", static_cast<void *>(t));
    if (t->failed)
        return -1;
    if (t->nextColumn != 0) {
        rcErrPost(t->owner.errors, RC_MSG_GENERAL_ERROR, nullptr, 0,
                  "The temporary table holds an incomplete row.");
        return -1;
    }
    if (rcTmpSettle(t) != 0 || rcTmpBuildKeys(t) != 0)
        return -1;
    t->reading = true;
    t->currentRow = -1;
    if (t->spillName == nullptr && !(t->owner.engineOptions & RC_TMP_OPT_NOOPTSORT)) {
        rcTrcPrintf(t->owner.trace, 2, "Performing internal sort...\n");
        if (rcSwpInternalSort(t) != 0)
            return -1;
        rcTrcPrintf(t->owner.trace, 2, "Internal sort complete.\n");
        rcTrcWriteBlock(t->owner.trace, 2, "rcSwpSortExec", 0);
        return 0;
    }
    if (t->keyCount == 0 || t->rowCount == 0) {
        // Nothing to order: the rows stay as they are.
        return 0;
    }
    // All rows to the file, which is then closed for the library.
    if (t->pending || t->spillName == nullptr) {
        if (rcTmpSpill(t) != 0)
            return failSort(t);
        t->pending = 0;
    }
    std::string control;
    if (rcSwpBuildControl(t, control) != 0)
        return failSort(t);
    PlatFileClose(t->spillFd);
    t->spillFd = -1;
    rcTrcPrintf(t->owner.trace, 2, "Invoking Mervik sort...\n");
    uint32_t count = 0, err = 0;
    {
        rcDriverLockHold driverLock;
        std::lock_guard<std::mutex> library(gSortLibrary);
        SrtCallbacks cb;
        cb.cancelled = rcSwpSortCancelled;
        cb.stringCompare = stringCompare;
        cb.valueCompare = valueCompare;
        cb.context = t;
        srtSetCallbacks(&cb);
        // The spill file exists, so the library takes its whole name even
        // when it holds blanks or "+".
        srtSortFiles(t->spillName, t->spillName, control.c_str(), &count, &err);
        srtSetCallbacks(nullptr);
    }
    if (cancelled(t) || err == SRT_ERR_CANCELLED) {
        rcTrcPrintf(t->owner.trace, 2, "Mervik sort cancelled (Async)\n");
        rcErrRaise(t->owner.errors, RC_MSG_OPERATION_CANCELLED);
        return failSort(t);
    }
    rcTrcPrintf(t->owner.trace, 2, "Mervik sort complete\n");
    if (err != 0) {
        rcSwpMapError(t, err);
        return failSort(t);
    }
    if (t->rowCount < int64_t(UINT32_MAX) && int64_t(count) != t->rowCount) {
        rcErrPost(t->owner.errors, RC_ENG_ERROR_SORTING_DATA, nullptr, 0, nullptr);
        return failSort(t);
    }
    t->spillFd = PlatFileOpen(t->spillName, PLAT_OPEN_READ);
    if (t->spillFd < 0) {
        rcErrPost(t->owner.errors, RC_ENG_UNABLE_OPEN_TEMPORARY_SORT_FILE, nullptr, 0, nullptr);
        return failSort(t);
    }
    if (rcTmpRewind(t, 0) != 0)
        return failSort(t);
    rcTrcWriteBlock(t->owner.trace, 2, "rcSwpSortExec", 0);
    return 0;
}
