// Request calls on selections, records and fields.
//
// Every call: lock the connection (-32003), check that it is free (-32001),
// zero the caller's results, build the body in the send buffer, record the
// result pointers, submit, return the status. Calls whose result must be
// converted after the reply (field values, arrays) answer in synchronous
// mode only and refuse a polled connection with -32001.
#include "netclient/nc_connection.h"
#include "netclient/nc_values.h"

#include <cstring>

using nc::CallMode;
using nc::ConnRef;
using nc::NcWriter;
using nc::RequestCall;

namespace {

constexpr int kSearchLine = 96;
constexpr int kValueField = 86;

// Table-only requests: a 16-bit table number as the body; the reply's
// numbers, when the caller wants one, from number `slot` on.
int16_t TableRequest(QXHandle connection, nc::NcRequest code, int16_t table,
                     int32_t *result = nullptr, int slot = 0)
{
    RequestCall r(connection);
    if (int16_t s = r.Open())
        return s;
    r.Body().I16(table);
    r->result[slot] = result;
    return r.Send(code);
}

// Requests whose body is a 32-bit number, then the 16-bit table number.
int16_t NumberTableRequest(QXHandle connection, nc::NcRequest code, int32_t number, int16_t table)
{
    RequestCall r(connection);
    if (int16_t s = r.Open())
        return s;
    NcWriter &w = r.Body();
    w.I32(number);
    w.I16(table);
    return r.Send(code);
}

int16_t SearchRequest(QXHandle connection, QXSearchArray *search, int32_t *found, bool inSelection)
{
    if (found)
        *found = 0;
    RequestCall r(connection);
    if (!r.get())
        return QX_ERR_BAD_CONNECTION;
    if (!search || search->count < 0 || (search->count > 0 && !search->lines))
        return QX_ERR_BAD_CONNECTION;
    if (inSelection && r->polled && r->state != 0)
        return QX_ERR_PENDING;
    for (int i = 0; i < search->count; ++i) {
        uint8_t t = search->lines[i].value.type;
        if (t == QX_TYPE_TEXT || t == QX_TYPE_PICTURE || t == QX_TYPE_BLOB)
            return QX_ERR_TEXT_IN_SEARCH;
    }
    if (uint16_t(r->version) < 0x554 && search->count > 30)
        return QX_ERR_TOO_MANY_LINES;
    if (int16_t s = r.Open())
        return s;
    if (!r.LargeBody(4 + size_t(search->count) * kSearchLine))
        return QX_ERR_NO_MEMORY;
    NcWriter &w = r.Body();
    w.I16(search->count);
    w.I16(search->defaultTable);
    for (int i = 0; i < search->count; ++i) {
        const QXSearchLine &l = search->lines[i];
        size_t start = w.Size();
        w.I16(l.field);
        w.I16(l.table == 0 && !inSelection ? search->defaultTable : l.table);
        w.U8(l.op);
        w.U8(l.callerByte);
        w.U8(l.value.type);
        w.U8(0);
        size_t valueStart = w.Size();
        if (!nc::PutWireValue(w, l.value))
            return QX_ERR_TEXT_IN_SEARCH;
        if (w.Size() - valueStart > size_t(kValueField - 2))
            return QX_ERR_BAD_REPLY_LENGTH;
        w.Zeros(start + 92 - w.Size());
        w.U8(l.conjunction);
        w.Bytes(l.callerBytes, 3);
    }
    r->result[0] = found;
    return r.Send(inSelection ? nc::kNcReqSearchInSelection : nc::kNcReqSearch);
}

// Field reads: codes 52 (one table), 64 (related), 141 (related, formatted).
int16_t FieldsRequest(QXHandle connection, nc::NcRequest code, int16_t count, int16_t table,
                      const int16_t *fields, const QXFieldPair *pairs, QXHandle formats,
                      QXFieldsResult *result, uint8_t *locked)
{
    if (result)
        *result = nullptr;
    if (locked)
        *locked = 0;
    RequestCall r(connection);
    if (int16_t s = r.Open(CallMode::SyncOnly))
        return s;
    if (count < 0 || (count > 0 && !fields && !pairs))
        return QX_ERR_BAD_CONNECTION;
    std::vector<uint8_t> formatBytes;
    if (formats) {
        int32_t n = SizeOfQXHandle(formats);
        auto *p = static_cast<const uint8_t *>(LockQXHandle(formats));
        if (!p)
            return QX_ERR_NO_MEMORY;
        formatBytes.assign(p, p + n);
        UnlockQXHandle(formats);
    }
    if (!r.LargeBody(4 + size_t(count) * (pairs ? 4 : 2) + formatBytes.size()))
        return QX_ERR_NO_MEMORY;
    NcWriter &w = r.Body();
    w.I16(count);
    w.I16(table);
    for (int i = 0; i < count; ++i) {
        if (pairs) {
            w.I16(pairs[i].table);
            w.I16(pairs[i].field);
        } else {
            w.I16(fields[i]);
        }
    }
    w.Bytes(formatBytes.data(), formatBytes.size());
    QXHandle reply = nullptr;
    int16_t status = r.Send(code, &reply);
    if (status != 0) {
        FreeQXHandle(reply);
        return status;
    }
    if (locked)
        *locked = r->replyStatus == QX_ERR_RECORD_LOCKED ? 1 : 0;
    if (reply) {
        auto *data = static_cast<uint8_t *>(LockQXHandle(reply));
        status = nc::ConvertFieldsResult(data, size_t(SizeOfQXHandle(reply)), count, r->swap);
        UnlockQXHandle(reply);
        if (status != 0) {
            FreeQXHandle(reply);
            return status;
        }
    }
    nc::GiveHandle(reply, result);
    return 0;
}

int16_t AggregateRequest(QXHandle connection, nc::NcRequest code, int16_t table, int16_t field,
                         uint8_t *out)
{
    if (out)
        std::memset(out, 0, 10);
    RequestCall r(connection);
    if (int16_t s = r.Open())
        return s;
    NcWriter &w = r.Body();
    w.I16(field);
    w.I16(table);
    w.Zeros(10);
    w.I32(-1);
    r->result[0] = out;
    return r.Send(code);
}

// Named selections: 88 bytes, 16-bit table (or 0) at 0, the name at 2, 32-bit 0 at 84.
int16_t SelectionNameRequest(QXHandle connection, nc::NcRequest code, const unsigned char *name,
                             int16_t table, int16_t *out)
{
    if (out)
        *out = 0;
    RequestCall r(connection);
    if (int16_t s = r.Open())
        return s;
    if (!name)
        return QX_ERR_BAD_CONNECTION;
    NcWriter &w = r.Body();
    w.I16(table);
    w.PStringField(name, 82);
    w.I32(0);
    r->result[0] = out;
    return r.Send(code);
}

} // namespace

extern "C" {

int16_t _QX_SelectAllRecords(QXHandle connection, int16_t table)
{
    return TableRequest(connection, nc::kNcReqSelectAllRecords, table);
}

int16_t _QX_Search(QXHandle connection, QXSearchArray *search, int32_t *found)
{
    return SearchRequest(connection, search, found, false);
}

int16_t _QX_SearchInSelection(QXHandle connection, QXSearchArray *search, int32_t *found)
{
    return SearchRequest(connection, search, found, true);
}

int16_t _QX_Sort(QXHandle connection, const QXSortSpec *sort)
{
    RequestCall r(connection);
    if (int16_t s = r.Open())
        return s;
    if (!sort || sort->count < 0 || (sort->count > 0 && !sort->keys))
        return QX_ERR_BAD_CONNECTION;
    if (uint16_t(r->version) < 0x554 && sort->count > 30)
        return QX_ERR_TOO_MANY_LINES;
    if (!r.LargeBody(4 + size_t(sort->count) * kSearchLine))
        return QX_ERR_NO_MEMORY;
    NcWriter &w = r.Body();
    w.I16(sort->count);
    w.I16(sort->table);
    for (int i = 0; i < sort->count; ++i) {
        w.I16(sort->keys[i].field);
        w.I16(sort->keys[i].table);
        w.U8(sort->keys[i].ascending ? 3 : 5);
        w.Zeros(kSearchLine - 5);
    }
    return r.Send(nc::kNcReqSort);
}

int16_t _QX_GotoSelectedRecord(QXHandle connection, int16_t table, int32_t position)
{
    return NumberTableRequest(connection, nc::kNcReqGotoSelectedRecord, position - 1, table);
}

int16_t _QX_GotoRecord(QXHandle connection, int16_t table, int32_t recordNumber)
{
    RequestCall r(connection);
    if (int16_t s = r.Open())
        return s;
    NcWriter &w = r.Body();
    w.I32(0);
    w.I16(table);
    w.I32(recordNumber);
    return r.Send(nc::kNcReqGotoRecord);
}

int16_t _QX_RecordsInSelection(QXHandle connection, int16_t table, int32_t *count)
{
    if (count)
        *count = 0;
    return TableRequest(connection, nc::kNcReqSelectionPosition, table, count, 1);
}

int16_t _QX_CurrentRecordNumber(QXHandle connection, int16_t table, int32_t *recordNumber,
                                int32_t *position)
{
    if (recordNumber)
        *recordNumber = 0;
    if (position)
        *position = 0;
    RequestCall r(connection);
    if (int16_t s = r.Open(CallMode::SyncOnly))
        return s;
    int32_t numbers[4] = {};
    for (int i = 0; i < 4; ++i)
        r->result[i] = &numbers[i];
    r.Body().I16(table);
    r->decodedCount = 0;
    int16_t status = r.Send(nc::kNcReqSelectionPosition);
    if (status != 0)
        return status;
    if (r->decodedCount < 4)
        return QX_ERR_SERVER_TOO_OLD;
    if (position)
        *position = numbers[2] + 1;
    if (recordNumber)
        *recordNumber = numbers[3];
    return 0;
}

int16_t _QX_RecordsInFile(QXHandle connection, int16_t table, int32_t *count)
{
    if (count)
        *count = 0;
    return TableRequest(connection, nc::kNcReqRecordsInFile, table, count);
}

int16_t _QX_AutoSequenceNumber(QXHandle connection, int16_t table, int32_t *number)
{
    if (number)
        *number = -1;
    return TableRequest(connection, nc::kNcReqAutoSequenceNumber, table, number);
}

int16_t _QX_GetFields(QXHandle connection, const QXFieldList *fields, QXFieldsResult *result,
                      uint8_t *locked)
{
    if (!fields)
        return QX_ERR_BAD_CONNECTION;
    return FieldsRequest(connection, nc::kNcReqGetFields, fields->count, fields->table,
                         fields->fields, nullptr, nullptr, result, locked);
}

int16_t _QX_GetRelatedFields(QXHandle connection, const QXRelatedFieldList *fields,
                             QXFieldsResult *result, uint8_t *locked)
{
    if (!fields)
        return QX_ERR_BAD_CONNECTION;
    return FieldsRequest(connection, nc::kNcReqGetRelatedFields, fields->count, fields->table,
                         nullptr, fields->pairs, nullptr, result, locked);
}

int16_t _QX_GetRelatedFormattedFields(QXHandle connection, const QXRelatedFieldList *fields,
                                      QXHandle formats, QXFieldsResult *result, uint8_t *locked)
{
    if (!fields || !formats)
        return QX_ERR_BAD_CONNECTION;
    return FieldsRequest(connection, nc::kNcReqGetRelatedFormattedFields, fields->count,
                         fields->table, nullptr, fields->pairs, formats, result, locked);
}

int16_t _QX_GetNthField(QXFieldsResult result, int16_t index, QXValue *value)
{
    if (!value)
        return QX_ERR_BAD_CONNECTION;
    *value = QXValue{};
    int32_t size = SizeOfQXHandle(result);
    auto *data = static_cast<const uint8_t *>(LockQXHandle(result));
    if (!data)
        return QX_ERR_BAD_CONNECTION;
    struct Unlock {
        QXHandle h;
        ~Unlock() { UnlockQXHandle(h); }
    } unlock{result};
    if (size < 4)
        return QX_ERR_BAD_REPLY_LENGTH;
    int32_t first;
    std::memcpy(&first, data, 4);
    int32_t count = first / 4;
    if (index < 1 || index > count || first < 4 || first > size)
        return QX_ERR_BAD_REPLY_LENGTH;
    int32_t off;
    std::memcpy(&off, data + 4 * (index - 1), 4);
    if (off < first || int64_t(off) + 2 > size)
        return QX_ERR_BAD_REPLY_LENGTH;
    int16_t type;
    std::memcpy(&type, data + off, 2);
    const uint8_t *p = data + off + 2;
    size_t left = size_t(size - off - 2);
    value->type = uint8_t(type);
    switch (type) {
    case QX_TYPE_ALPHA: {
        if (left < 1 || size_t(p[0]) + 1 > left)
            return QX_ERR_BAD_REPLY_LENGTH;
        size_t n = std::min<size_t>(p[0], sizeof value->alpha - 1);
        value->alpha[0] = uint8_t(n);
        std::memcpy(value->alpha + 1, p + 1, n);
        return 0;
    }
    case QX_TYPE_REAL:
        if (left < 10)
            return QX_ERR_BAD_REPLY_LENGTH;
        std::memcpy(&value->real, p, 8);
        return 0;
    case QX_TYPE_TEXT:
    case QX_TYPE_PICTURE:
    case QX_TYPE_BLOB: {
        if (left < 4)
            return QX_ERR_BAD_REPLY_LENGTH;
        int32_t n;
        std::memcpy(&n, p, 4);
        if (n < 0 || size_t(n) > left - 4)
            return QX_ERR_BAD_REPLY_LENGTH;
        value->length = n;
        if (n > 0) {
            QXHandle h = AllocQXHandle(n);
            void *dst = h ? LockQXHandle(h) : nullptr;
            if (!dst) {
                FreeQXHandle(h);
                return QX_ERR_NO_MEMORY;
            }
            std::memcpy(dst, p + 4, size_t(n));
            UnlockQXHandle(h);
            value->data = h;
        }
        return 0;
    }
    case QX_TYPE_DATE:
        if (left < 6)
            return QX_ERR_BAD_REPLY_LENGTH;
        std::memcpy(value->date, p, 6);
        return 0;
    case QX_TYPE_BOOLEAN:
    case QX_TYPE_INTEGER:
        if (left < 2)
            return QX_ERR_BAD_REPLY_LENGTH;
        std::memcpy(&value->shortValue, p, 2);
        return 0;
    case QX_TYPE_LONGINT:
    case QX_TYPE_TIME:
        if (left < 4)
            return QX_ERR_BAD_REPLY_LENGTH;
        std::memcpy(&value->longValue, p, 4);
        return 0;
    default: return 0; // types not read here: the type byte alone
    }
}

int16_t _QX_UnlockCurrentRecord(QXHandle connection, int16_t table)
{
    return TableRequest(connection, nc::kNcReqUnlockCurrentRecord, table);
}

QXRecordBuffer _QX_CreateBuffer(QXHandle connection, int16_t table)
{
    ConnRef c(connection);
    if (!c)
        return nullptr;
    QXHandle h = AllocQXHandle(6);
    auto *p = h ? static_cast<uint8_t *>(LockQXHandle(h)) : nullptr;
    if (!p) {
        FreeQXHandle(h);
        return nullptr;
    }
    nc::Put16(p, table, c->swap);
    int32_t used = 2;
    std::memcpy(p + 2, &used, 4);
    UnlockQXHandle(h);
    return h;
}

int16_t _QX_AddToBuffer(QXHandle connection, QXRecordBuffer buffer, int16_t field,
                        const QXValue *value)
{
    ConnRef c(connection);
    if (!c)
        return QX_ERR_BAD_CONNECTION;
    if (!value)
        return QX_ERR_BAD_CONNECTION;
    int32_t size = SizeOfQXHandle(buffer);
    if (size < 6)
        return QX_ERR_BAD_CONNECTION;
    auto *p = static_cast<uint8_t *>(LockQXHandle(buffer));
    if (!p)
        return QX_ERR_BAD_CONNECTION;
    int32_t used;
    std::memcpy(&used, p + size - 4, 4);
    UnlockQXHandle(buffer);
    if (used < 2 || used != size - 4)
        return QX_ERR_BAD_CONNECTION;

    // Encode the entry first, then grow the handle once.
    std::vector<uint8_t> entry;
    size_t need = 4 + 4 + 10 + 256;
    if (value->type == QX_TYPE_TEXT || value->type == QX_TYPE_PICTURE ||
        value->type == QX_TYPE_BLOB)
        need += size_t(std::max(0, value->length));
    try {
        entry.resize(need);
    } catch (...) {
        return QX_ERR_NO_MEMORY;
    }
    NcWriter w(entry.data(), entry.size(), c->swap);
    w.I16(field);
    w.I16(value->type);
    if (!nc::PutWireValue(w, *value) || w.Failed())
        return QX_ERR_NO_MEMORY;
    if (w.Size() > size_t(INT32_MAX - 4 - used))
        return QX_ERR_NO_MEMORY;
    int32_t grown = used + int32_t(w.Size());
    if (!ResizeQXHandle(buffer, grown + 4))
        return QX_ERR_NO_MEMORY;
    p = static_cast<uint8_t *>(LockQXHandle(buffer));
    if (!p)
        return QX_ERR_BAD_CONNECTION;
    std::memcpy(p + used, entry.data(), w.Size());
    std::memcpy(p + grown, &grown, 4);
    UnlockQXHandle(buffer);
    return 0;
}

namespace {

int16_t RecordBufferRequest(QXHandle connection, nc::NcRequest code, QXRecordBuffer buffer)
{
    RequestCall r(connection);
    if (int16_t s = r.Open())
        return s;
    int32_t size = SizeOfQXHandle(buffer);
    auto *p = static_cast<const uint8_t *>(LockQXHandle(buffer));
    if (!p)
        return QX_ERR_NO_MEMORY;
    int32_t used = -1;
    if (size >= 6)
        std::memcpy(&used, p + size - 4, 4);
    if (used < 2 || used != size - 4) {
        UnlockQXHandle(buffer);
        return QX_ERR_BAD_CONNECTION;
    }
    int16_t status =
        nc::SubmitRequest(r.get(), code, p, used, nullptr); // copied: the buffer stays the caller's
    UnlockQXHandle(buffer);
    return status;
}

} // namespace

int16_t _QX_ModifyRecord(QXHandle connection, QXRecordBuffer buffer)
{
    return RecordBufferRequest(connection, nc::kNcReqModifyRecord, buffer);
}

int16_t _QX_NewRecord(QXHandle connection, QXRecordBuffer buffer)
{
    return RecordBufferRequest(connection, nc::kNcReqNewRecord, buffer);
}

int16_t _QX_DeleteSelectedRecords(QXHandle connection, int16_t table)
{
    return TableRequest(connection, nc::kNcReqDeleteSelectedRecords, table);
}

int16_t _QX_DeleteCurrentRecord(QXHandle connection, int16_t table)
{
    return NumberTableRequest(connection, nc::kNcReqDeleteCurrentRecord, 0, table);
}

int16_t _QX_SetReadWriteMode(QXHandle connection, int16_t table, uint8_t readWrite)
{
    return TableRequest(connection, readWrite ? nc::kNcReqSetReadWrite : nc::kNcReqSetReadOnly,
                        table);
}

int16_t _QX_OneToMany_Join(QXHandle connection, int16_t a, int16_t b)
{
    RequestCall r(connection);
    if (int16_t s = r.Open())
        return s;
    NcWriter &w = r.Body();
    w.I16(0);
    w.I16(b);
    w.I16(a);
    return r.Send(nc::kNcReqOneToManyJoin);
}

int16_t _QX_ManyToOne_Join(QXHandle connection, int16_t a, int16_t b)
{
    RequestCall r(connection);
    if (int16_t s = r.Open())
        return s;
    NcWriter &w = r.Body();
    w.I16(a);
    w.I16(b);
    return r.Send(nc::kNcReqManyToOneJoin);
}

int16_t _QX_BuildDistinctValues(QXHandle connection, int16_t table, int16_t field, QXHandle *values)
{
    if (values)
        *values = nullptr;
    RequestCall r(connection);
    if (int16_t s = r.Open(CallMode::SyncOnly))
        return s;
    NcWriter &w = r.Body();
    w.I16(int16_t(-table));
    w.I16(field);
    w.Zeros(4);
    QXHandle reply = nullptr;
    int16_t status = r.Send(nc::kNcReqBuildDistinctValues, &reply);
    if (status == 0 && reply) {
        int32_t size = SizeOfQXHandle(reply);
        auto *p = static_cast<uint8_t *>(LockQXHandle(reply));
        if (size >= 4) {
            int32_t last = nc::Get32(p + size - 4, r->swap);
            std::memcpy(p + size - 4, &last, 4);
        }
        UnlockQXHandle(reply);
    }
    nc::GiveHandle(reply, values);
    return status;
}

int16_t _QX_ShrinkSelection(QXHandle connection, int16_t table, int32_t count)
{
    return NumberTableRequest(connection, nc::kNcReqShrinkSelection, count, table);
}

int16_t _QX_GetFirst_Nth_Values(QXHandle connection, int16_t a, int16_t b, int32_t cValue)
{
    RequestCall r(connection);
    if (int16_t s = r.Open())
        return s;
    NcWriter &w = r.Body();
    w.I32(cValue);
    w.I16(a);
    w.I16(b);
    return r.Send(nc::kNcReqGetFirstNthValues);
}

int16_t _QX_StartQXTransaction(QXHandle connection)
{
    RequestCall r(connection);
    if (int16_t s = r.Open())
        return s;
    r.Body().I16(0);
    return r.Send(nc::kNcReqStartTransaction);
}

int16_t _QX_Commit(QXHandle connection)
{
    return nc::BodylessRequest(connection, nc::kNcReqCommit);
}
int16_t _QX_RollBack(QXHandle connection)
{
    return nc::BodylessRequest(connection, nc::kNcReqRollBack);
}

int16_t _QX_CopySelection(QXHandle connection, const unsigned char *name, int16_t table)
{
    return SelectionNameRequest(connection, nc::kNcReqCopySelection, name, table, nullptr);
}

int16_t _QX_MoveSelection(QXHandle connection, const unsigned char *name, int16_t table)
{
    return SelectionNameRequest(connection, nc::kNcReqMoveSelection, name, table, nullptr);
}

int16_t _QX_UseSelection(QXHandle connection, const unsigned char *name, int16_t *table)
{
    return SelectionNameRequest(connection, nc::kNcReqUseSelection, name, 0, table);
}

int16_t _QX_KillSelection(QXHandle connection, const unsigned char *name)
{
    return SelectionNameRequest(connection, nc::kNcReqKillSelection, name, 0, nullptr);
}

int16_t _QX_SumField(QXHandle connection, int16_t table, int16_t field, uint8_t *result)
{
    return AggregateRequest(connection, nc::kNcReqSumField, table, field, result);
}
int16_t _QX_AverageField(QXHandle connection, int16_t table, int16_t field, uint8_t *result)
{
    return AggregateRequest(connection, nc::kNcReqAverageField, table, field, result);
}
int16_t _QX_MaxField(QXHandle connection, int16_t table, int16_t field, uint8_t *result)
{
    return AggregateRequest(connection, nc::kNcReqMaxField, table, field, result);
}
int16_t _QX_MinField(QXHandle connection, int16_t table, int16_t field, uint8_t *result)
{
    return AggregateRequest(connection, nc::kNcReqMinField, table, field, result);
}

} // extern "C"
