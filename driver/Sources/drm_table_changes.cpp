// Record changes of the table cursor: insert, update, delete; and bookmarks.
//
// A change runs InitUpdate(0 insert, 2 modify), SetColumn per field, then
// UpdateRecord. Values go into a netclient record buffer as they come,
// except text and picture values: these may arrive in pieces (the append
// flag), so they are gathered here and added when the record is sent.
// Modify and delete work on the record the cursor is positioned on (by a
// move, a seek or a bookmark), found on the server by its position in the
// selection it was read from.
//
// A bookmark names a copy of the cursor's selection on the server and the
// row in it. One copy serves every bookmark taken until the selection is
// made again; every copy is killed when the cursor goes.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "driver/Sources/drm.h"
#include "driver/Sources/drm_catalog.h"
#include "driver/Sources/drm_database.h"
#include "driver/Sources/drm_session.h"
#include "driver/Sources/drm_table.h"
#include "driver/Sources/drm_values.h"

namespace {

constexpr uint32_t kTextMaxLength = 0xFFFF;
constexpr int32_t kNoBuffer = -32003;

bool IsLong(uint8_t serverType) { return serverType == kQxTypeText || serverType == kQxTypePicture; }

// Saved-selection order: a shorter name first, names of one length by bytes.
bool NameBefore(const DrmBookmark &a, const DrmBookmark &b) {
    if (a.bytes[0] != b.bytes[0])
        return a.bytes[0] < b.bytes[0];
    return std::memcmp(a.bytes + 1, b.bytes + 1, a.bytes[0]) < 0;
}

} // namespace

void VDRMTable::FreeRecordBuffer() {
    if (recordBuffer)
        DrmQxApi().FreeHandle(recordBuffer);
    recordBuffer = nullptr;
    pendingLong_.clear();
}

int32_t VDRMTable::oInitUpdate(uint32_t mode) {
    FreeRecordBuffer();
    updateMode = mode;
    if (mode != 0 && mode != 2)
        return 0;
    if (mode == 2) {
        if (recordRow_ < 0 || std::binary_search(deletedRows_.begin(), deletedRows_.end(), recordRow_))
            return kDrmErrNoCurrentRecord;
        int32_t status = ClaimSelection();
        if (status == 0)
            status = DrmQxSetReadWriteMode(Connection(), tableNumber, 1);
        if (status == 0)
            status = DrmQxGotoSelectedRecord(Connection(), tableNumber, recordRow_ + 1 - ShiftBefore(recordRow_));
        if (status != 0)
            return status;
    }
    recordBuffer = DrmQxCreateBuffer(Connection(), tableNumber);
    return recordBuffer ? 0 : kNoBuffer;
}

int32_t VDRMTable::oSetColumn(uint32_t field, const void *data, uint32_t length, uint32_t append, uint32_t isNull) {
    const VDRMFieldDefArray *defs = Fields();
    const uint8_t type = FieldType(static_cast<int32_t>(field));
    if (type == 0xFF)
        return -1;
    if (!recordBuffer)
        return kNoBuffer;
    const auto number = static_cast<int16_t>(field);
    if (IsLong(type)) {
        std::vector<uint8_t> &value = pendingLong_[number];
        if (!append || isNull)
            value.clear();
        if (isNull || length == 0)
            return 0;
        if (!data)
            return kDrmErrBufferTooSmall;
        if (type == kQxTypeText && length > kTextMaxLength - value.size())
            return kDrmErrTruncation;   // a text holds at most 65535 bytes
        const auto *bytes = static_cast<const uint8_t *>(data);
        value.insert(value.end(), bytes, bytes + length);
        return 0;
    }
    QXValue slot{};
    if (isNull) {
        slot.type = type;
    } else {
        if (type == kQxTypeAlpha) {
            uint32_t room = DrmFieldLength(defs->oGet(static_cast<int32_t>(field) - 1).row);
            if (room == 0 || room > kDrmAlphaMaxWrite)
                room = kDrmAlphaMaxWrite;
            if (length > room)
                return kDrmErrTruncation;
        }
        slot.type = 0xFF;
        int32_t result = DrmValueFromC(CodePage(), DrmTypeCatalogEntry(type), data, length, &slot);
        if (result != 0) {
            DrmFreeValue(&slot);
            return result;
        }
    }
    int32_t status = DrmQxAddToBuffer(Connection(), recordBuffer, number, &slot);
    DrmFreeValue(&slot);
    return status;
}

int32_t VDRMTable::AddPendingLongValues() {
    for (auto &[field, bytes] : pendingLong_) {
        const uint8_t type = FieldType(field);
        QXValue slot{};
        slot.type = 0xFF;
        int32_t status = DrmValueFromC(CodePage(), DrmTypeCatalogEntry(type), bytes.data(),
                                       static_cast<uint32_t>(bytes.size()), &slot);
        if (status == 0)
            status = DrmQxAddToBuffer(Connection(), recordBuffer, field, &slot);
        DrmFreeValue(&slot);
        if (status != 0)
            return status;
    }
    return 0;
}

int32_t VDRMTable::oUpdateRecord() {
    int32_t status = 0;
    if (updateMode == 0 || updateMode == 2) {
        if (!recordBuffer)
            status = kNoBuffer;
        if (status == 0)
            status = AddPendingLongValues();
        if (status == 0)
            status = updateMode == 0 ? DrmQxNewRecord(Connection(), recordBuffer)
                                     : DrmQxModifyRecord(Connection(), recordBuffer);
    }
    FreeRecordBuffer();
    return status;
}

int32_t VDRMTable::oDeleteRecord() {
    if (recordRow_ < 0 || std::binary_search(deletedRows_.begin(), deletedRows_.end(), recordRow_))
        return kDrmErrNoCurrentRecord;
    int32_t status = ClaimSelection();
    if (status == 0)
        status = DrmQxSetReadWriteMode(Connection(), tableNumber, 1);
    if (status == 0)
        status = DrmQxGotoSelectedRecord(Connection(), tableNumber, recordRow_ + 1 - ShiftBefore(recordRow_));
    if (status == 0)
        status = DrmQxDeleteCurrentRecord(Connection(), tableNumber);
    if (status == 0)
        deletedRows_.insert(std::lower_bound(deletedRows_.begin(), deletedRows_.end(), recordRow_), recordRow_);
    return status;
}

// ---- Bookmarks ----------------------------------------------------------------

int32_t VDRMTable::oGetBookmark(void *buffer, uint32_t length, uint32_t *outLength) {
    if (!buffer || length < kDrmBookmarkSize)
        return kDrmErrBufferTooSmall;
    int32_t row = recordRow_ >= 0 ? recordRow_ : currentRow;
    if (!selectionBuilt || row < 0)
        return kDrmErrNoCurrentRecord;
    if (bookmarkName_[0] == 0) {
        int32_t status = ClaimSelection();
        if (status != 0)
            return status;
        DrmBookmark saved;
        char name[16];
        int n = std::snprintf(name, sizeof name, "BM_%ul", ++database->nameCounter);
        saved.bytes[0] = static_cast<uint8_t>(std::min(n, 15));
        std::memcpy(saved.bytes + 1, name, saved.bytes[0]);
        status = DrmQxCopySelection(Connection(), saved.bytes, tableNumber);
        if (status != 0)
            return status;
        savedSelections.insert(std::upper_bound(savedSelections.begin(), savedSelections.end(), saved, NameBefore),
                               saved);
        std::memcpy(bookmarkName_, saved.bytes, 16);
    }
    auto *out = static_cast<uint8_t *>(buffer);
    std::memcpy(out, bookmarkName_, 1 + size_t{bookmarkName_[0]});
    uint32_t index = static_cast<uint32_t>(row);
    std::memcpy(out + 32, &index, 4);
    if (outLength)
        *outLength = kDrmBookmarkSize;
    return 0;
}

int32_t VDRMTable::oGotoBookmark(const void *bookmark, uint32_t length) {
    if (!bookmark || length < kDrmBookmarkSize)
        return kDrmErrBufferTooSmall;
    const auto *bytes = static_cast<const uint8_t *>(bookmark);
    if (bytes[0] == 0 || bytes[0] > 15)
        return -1;
    uint32_t index;
    std::memcpy(&index, bytes + 32, 4);
    if (index > INT32_MAX)
        return -1;
    cache.oReset();
    recordRow_ = -1;
    int32_t status = TakeOverSelection();
    if (status != 0)
        return status;
    int16_t table = 0;
    status = DrmQxUseSelection(Connection(), bytes, &table);
    if (status != 0)
        return status;
    // The server now holds that copy; later bookmarks may name it again.
    std::memset(bookmarkName_, 0, sizeof bookmarkName_);
    DrmBookmark probe;
    std::memcpy(probe.bytes, bytes, 1 + size_t{bytes[0]});
    if (std::binary_search(savedSelections.begin(), savedSelections.end(), probe, NameBefore))
        std::memcpy(bookmarkName_, bytes, 1 + size_t{bytes[0]});
    if (!cache.oHasFieldList())
        oRetrieveAllFields();
    return PositionCache(static_cast<int32_t>(index));
}
