// Bookmarks of the table cursor.
//
// A bookmark names a copy of the cursor's selection on the server and the
// row in it. One copy serves every bookmark taken until the selection is
// made again; names are numbered per database, so no two cursors share one,
// and every copy is killed when the cursor goes. Records deleted after the
// copy was made leave it, so a bookmark also keeps its record's number and a
// position the record cannot be above: returning looks the record up there
// and below (drm_table_records.cpp), and a record that is gone is reported
// as no current record.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "driver/Sources/drm.h"
#include "driver/Sources/drm_database.h"
#include "driver/Sources/drm_table.h"

namespace {

// Saved-selection order: a shorter name first, names of one length by bytes.
bool NameBefore(const DrmBookmark &a, const DrmBookmark &b)
{
    if (a.bytes[0] != b.bytes[0])
        return a.bytes[0] < b.bytes[0];
    return std::memcmp(a.bytes + 1, b.bytes + 1, a.bytes[0]) < 0;
}

} // namespace

int32_t VDRMTable::oGetBookmark(void *buffer, uint32_t length, uint32_t *outLength)
{
    if (!buffer || length < kDrmBookmarkSize)
        return kDrmErrBufferTooSmall;
    int32_t row = recordRow_ >= 0 ? recordRow_ : currentRow;
    if (!selectionBuilt || row < 0)
        return kDrmErrNoCurrentRecord;
    if (recordRow_ != row) {
        int32_t status = MoveCache(row);
        if (status != 0)
            return status;
    }
    int32_t record = kDrmNoRecord;
    if (rowCount > 1) {
        int32_t status = RecordOfRow(row, &record);
        if (status != 0)
            return status;
    }
    const int32_t position = RowPosition(row);
    if (bookmarkName_[0] == 0) {
        int32_t status = ClaimSelection();
        if (status != 0)
            return status;
        DrmBookmark saved;
        char name[16];
        // A bookmark's selection name ends in the letter l, after the number.
        int n = std::snprintf(name, sizeof name, "BM_%" PRIu32 "l", ++database->nameCounter);
        saved.bytes[0] = static_cast<uint8_t>(std::min(n, 15));
        std::memcpy(saved.bytes + 1, name, saved.bytes[0]);
        status = DrmQxCopySelection(Connection(), saved.bytes, tableNumber);
        if (status != 0)
            return status;
        savedSelections.insert(
            std::upper_bound(savedSelections.begin(), savedSelections.end(), saved, NameBefore),
            saved);
        std::memcpy(bookmarkName_, saved.bytes, 16);
    }
    auto *out = static_cast<uint8_t *>(buffer);
    std::memcpy(out, bookmarkName_, 1 + size_t{bookmarkName_[0]});
    std::memcpy(out + kDrmBookmarkRecord, &record, 4);
    std::memcpy(out + kDrmBookmarkPosition, &position, 4);
    uint32_t index = static_cast<uint32_t>(row);
    std::memcpy(out + kDrmBookmarkRow, &index, 4);
    if (outLength)
        *outLength = kDrmBookmarkSize;
    return 0;
}

int32_t VDRMTable::oGotoBookmark(const void *bookmark, uint32_t length)
{
    if (!bookmark || length < kDrmBookmarkSize)
        return kDrmErrBufferTooSmall;
    const auto *bytes = static_cast<const uint8_t *>(bookmark);
    if (bytes[0] == 0 || bytes[0] > 15)
        return -1;
    uint32_t index;
    int32_t record, position;
    std::memcpy(&index, bytes + kDrmBookmarkRow, 4);
    std::memcpy(&record, bytes + kDrmBookmarkRecord, 4);
    std::memcpy(&position, bytes + kDrmBookmarkPosition, 4);
    if (index > INT32_MAX || position < 0)
        return -1;
    const auto row = static_cast<int32_t>(index);
    if (std::memcmp(bytes, bookmarkName_, 1 + size_t{bytes[0]}) == 0 &&
        std::binary_search(deletedRows_.begin(), deletedRows_.end(), row))
        return kDrmErrNoCurrentRecord; // deleted here since the bookmark was taken
    cache.oReset();
    recordRow_ = -1;
    int32_t status = TakeOverSelection();
    if (status != 0)
        return status;
    int16_t table = 0;
    status = DrmQxUseSelection(Connection(), bytes, &table);
    if (status != 0) {
        // The server still holds the selection this cursor had given up.
        database->selectionHolders.erase(tableNumber);
        selectionBuilt = false;
        return status;
    }
    // The server now holds that copy; later bookmarks may name it again.
    std::memset(bookmarkName_, 0, sizeof bookmarkName_);
    DrmBookmark probe;
    std::memcpy(probe.bytes, bytes, 1 + size_t{bytes[0]});
    if (std::binary_search(savedSelections.begin(), savedSelections.end(), probe, NameBefore))
        std::memcpy(bookmarkName_, bytes, 1 + size_t{bytes[0]});
    if (!cache.oHasFieldList())
        oRetrieveAllFields();
    if (record == kDrmNoRecord)
        return LoadWindow(row, position); // a selection of one record
    // Records deleted since moved it down, if anything.
    size_t which = 0;
    status = FindRecord(&record, 1, position, row - ShiftBefore(row), &which, &position, true);
    if (status != 0)
        return status;
    return LoadWindow(row, position, record, &nextRecords_);
}
