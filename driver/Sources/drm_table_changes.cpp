// Record changes of the table cursor: insert, update, delete.
//
// A change runs InitUpdate(0 insert, 2 modify), SetColumn per field, then
// UpdateRecord. Values go into a netclient record buffer as they come,
// except text and picture values: these may arrive in pieces (the append
// flag), so they are gathered here and added when the record is sent.
// Modify and delete work on the record the cursor is positioned on (by a
// move, a seek or a bookmark), found on the server by its position in the
// selection it was read from.
//
// A change is computed from the record as it is once this connection holds
// its lock, never from a read made before: going to the record in
// read-write mode locks it, a field read tells whether another connection
// holds it (then the cursor waits a little and goes to it again), and the
// record is read again into the cache before the engine evaluates the new
// values or its checks.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "driver/Sources/drm.h"
#include "driver/Sources/drm_catalog.h"
#include "driver/Sources/drm_database.h"
#include "driver/Sources/drm_session.h"
#include "driver/Sources/drm_table.h"
#include "driver/Sources/drm_trace.h"
#include "driver/Sources/drm_values.h"

namespace {

constexpr uint32_t kTextMaxLength = 0xFFFF;
constexpr int32_t kNoBuffer = -32003;
constexpr int32_t kPositionOutside = -9945; // beyond the selection's end
constexpr int32_t kRecordLocked = -9967;    // held by another connection
// How long a change waits for a record another connection holds: the
// server keeps such a lock only while that connection changes the record
// (or to the end of its transaction), so a short wait covers the first case.
constexpr auto kLockWait = std::chrono::milliseconds(2000);

// Waits with the module lock let go (the entry point that called holds it
// once): the connection that holds the record may be one of this process,
// which needs the lock to finish its change.
void PauseUnlocked(std::chrono::microseconds pause)
{
    DrmModuleLock().unlock();
    std::this_thread::sleep_for(pause);
    DrmModuleLock().lock();
}

bool IsLong(uint8_t serverType)
{
    return serverType == QX_TYPE_TEXT || serverType == QX_TYPE_PICTURE;
}

} // namespace

void VDRMTable::FreeRecordBuffer()
{
    if (recordBuffer)
        DrmQxApi().FreeHandle(recordBuffer);
    recordBuffer = nullptr;
    pendingLong_.clear();
}

// Makes the cursor's record the server's current record, in read-write
// mode (set once per cursor: nothing here sets the table back to read-only).
// The record is gone to at its row's place; once it is current (and so
// locked against other connections), the record number there must be its
// own, else records before it went and it is looked for lower down.
int32_t VDRMTable::GotoCurrentRecord(int32_t *serverPosition)
{
    int32_t status = ClaimSelection();
    if (status == 0 && !readWrite_) {
        status = DrmQxSetReadWriteMode(Connection(), tableNumber, 1);
        readWrite_ = status == 0;
    }
    int32_t record = kDrmNoRecord;
    if (status == 0 && rowCount > 1)
        status = RecordOfRow(recordRow_, &record);
    if (status != 0)
        return status;
    int32_t position = RowPosition(recordRow_);
    for (int attempt = 0; attempt < 3; ++attempt) {
        status = DrmQxGotoSelectedRecord(Connection(), tableNumber, position + 1);
        positionedAt_ = ++database->currentRecordMoves;
        if (serverPosition)
            *serverPosition = position;
        if (record == kDrmNoRecord)
            return status; // a selection of one record
        if (status == 0)
            status = LoadRecordNumbers(position, position, &numbers_);
        if (status == 0 && numbers_.size() == 1 && numbers_[0] == record)
            return 0;
        if (status != 0 && status != kPositionOutside)
            return status;
        size_t which = 0;
        status = FindRecord(&record, 1, position - 1, recordRow_ - ShiftBefore(recordRow_), &which,
                            &position);
        if (status != 0)
            return status; // no current record: it was deleted meanwhile
    }
    return kDrmErrConflict; // it keeps moving: records before it are being deleted
}

bool VDRMTable::HoldsCurrentLock() const
{
    return lockedRow_ == recordRow_ && lockedAt_ == positionedAt_ &&
           positionedAt_ == database->currentRecordMoves;
}

// Goes to the cursor's record and makes sure this connection holds its lock:
// while another connection holds it, waits and goes to it again, up to
// kLockWait (then -9967, "record is locked"). With `reread` the record's
// values are read again into the cache.
int32_t VDRMTable::LockCurrentRecord(bool reread, bool *changed)
{
    lockedRow_ = -1;
    const auto deadline = std::chrono::steady_clock::now() + kLockWait;
    auto pause = std::chrono::microseconds(200);
    int32_t position = 0;
    for (;;) {
        int32_t status = GotoCurrentRecord(&position);
        if (status != 0)
            return status;
        uint8_t locked = 0;
        status = DrmQxGetFields(Connection(), tableNumber, 1, &locked);
        if (status != 0)
            return status;
        if (!locked)
            break;
        if (std::chrono::steady_clock::now() + pause > deadline)
            return kRecordLocked;
        PauseUnlocked(pause);
        pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(20));
    }
    if (reread && cache.oHasFieldList()) {
        int32_t status = cache.oRefreshCurrent(position, Connection(), changed);
        if (status != 0)
            return status;
    }
    lockedRow_ = recordRow_;
    lockedAt_ = positionedAt_;
    return 0;
}

// Locks the cursor's record again for a change whose values were computed
// while it was locked before; a record that changed meanwhile refuses it.
int32_t VDRMTable::RelockUnchanged()
{
    bool changed = false;
    int32_t status = LockCurrentRecord(true, &changed);
    return status == 0 && changed ? kDrmErrConflict : status;
}

int32_t VDRMTable::oInitUpdate(uint32_t mode)
{
    FreeRecordBuffer();
    updateMode = mode;
    if (mode != 0 && mode != 2)
        return 0;
    if (mode == 2) {
        if (recordRow_ < 0 ||
            std::binary_search(deletedRows_.begin(), deletedRows_.end(), recordRow_))
            return kDrmErrNoCurrentRecord;
        int32_t status = LockCurrentRecord(true);
        if (status != 0)
            return status;
    }
    recordBuffer = DrmQxCreateBuffer(Connection(), tableNumber);
    return recordBuffer ? 0 : kNoBuffer;
}

int32_t VDRMTable::oSetColumn(uint32_t field, const void *data, uint32_t length, uint32_t append,
                              uint32_t isNull)
{
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
        if (type == QX_TYPE_TEXT && length > kTextMaxLength - value.size())
            return kDrmErrTruncation; // a text holds at most 65535 bytes
        const auto *bytes = static_cast<const uint8_t *>(data);
        value.insert(value.end(), bytes, bytes + length);
        return 0;
    }
    QXValue slot{};
    if (isNull) {
        slot.type = type;
    } else {
        if (type == QX_TYPE_ALPHA) {
            uint32_t room = DrmFieldLength(defs->oGet(static_cast<int32_t>(field) - 1).row);
            if (room == 0 || room > kDrmAlphaMaxWrite)
                room = kDrmAlphaMaxWrite;
            if (length > room) {
                const auto *bytes = static_cast<const uint8_t *>(data);
                if (!data ||
                    std::any_of(bytes + room, bytes + length, [](uint8_t c) { return c != ' '; }))
                    return kDrmErrTruncation;
                length = room; // only trailing blanks go
            }
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

int32_t VDRMTable::AddPendingLongValues()
{
    for (auto &[field, bytes] : pendingLong_) {
        const uint8_t type = FieldType(field);
        QXValue slot{};
        int32_t status = 0;
        if (bytes.empty()) {
            slot.type = type; // the empty value: no handle to make
        } else {
            slot.type = 0xFF;
            status = DrmValueFromC(CodePage(), DrmTypeCatalogEntry(type), bytes.data(),
                                   static_cast<uint32_t>(bytes.size()), &slot);
        }
        if (status == 0)
            status = DrmQxAddToBuffer(Connection(), recordBuffer, field, &slot);
        DrmFreeValue(&slot);
        if (status != 0)
            return status;
    }
    return 0;
}

int32_t VDRMTable::oUpdateRecord()
{
    int32_t status = 0;
    if (updateMode == 0 || updateMode == 2) {
        if (!recordBuffer)
            status = kNoBuffer;
        if (status == 0)
            status = AddPendingLongValues();
        // A change goes to the server's current record: when another cursor
        // moved it since the change was opened (the engine evaluates the new
        // values in between, subqueries on this table included), the lock
        // went with it and another connection may have changed the record
        // since: the values were computed from a record that may be stale,
        // so the change is refused unless the record is locked again and
        // still holds what was read.
        if (status == 0 && updateMode == 2 && !HoldsCurrentLock())
            status = RelockUnchanged();
        if (status == 0)
            status = updateMode == 0 ? DrmQxNewRecord(Connection(), recordBuffer)
                                     : DrmQxModifyRecord(Connection(), recordBuffer);
        ++database->currentRecordMoves; // a new record is the current one
    }
    FreeRecordBuffer();
    return status;
}

int32_t VDRMTable::oDeleteRecord()
{
    if (recordRow_ < 0 || std::binary_search(deletedRows_.begin(), deletedRows_.end(), recordRow_))
        return kDrmErrNoCurrentRecord;
    // Opened as a change (mode 2) the record is locked and was read again
    // for the engine's checks; otherwise it is locked here.
    int32_t status = HoldsCurrentLock() ? 0 : LockCurrentRecord(false);
    FreeRecordBuffer();
    if (status == 0)
        status = DrmQxDeleteCurrentRecord(Connection(), tableNumber);
    ++database->currentRecordMoves; // no current record is left
    if (status == 0)
        deletedRows_.insert(std::lower_bound(deletedRows_.begin(), deletedRows_.end(), recordRow_),
                            recordRow_);
    return status;
}
