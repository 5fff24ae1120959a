#include "driver/Sources/drm_cursor.h"

#include <cstring>
#include <new>

#include "driver/Sources/drm_database.h"
#include "driver/Sources/drm_session.h"
#include "driver/Sources/drm_trace.h"
#include "driver/Sources/drm_values.h"

namespace {

void PutWord(uint32_t *info, int word, uint32_t value) { info[word] = value; }

// Column ids first..last into words from `word` on.
void PutColumnIds(uint32_t *info, int word, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i)
        info[word + static_cast<int>(i)] = i + 1;
}

int32_t AnswerU32(uint32_t value, void *buffer, uint32_t length, uint32_t *outLength)
{
    return DrmAnswerNumber(value, 4, buffer, length, outLength);
}

// A name with a terminating zero; needs name length + 1 bytes; out length
// is the name length.
int32_t AnswerNameZ(const uint8_t *chars, uint32_t n, void *buffer, uint32_t length,
                    uint32_t *outLength)
{
    if (length < n + 1 || !buffer)
        return kDrmErrBufferTooSmall;
    std::memcpy(buffer, chars, n);
    static_cast<uint8_t *>(buffer)[n] = 0;
    if (outLength)
        *outLength = n;
    return 0;
}

// The catalog entry of the table cursor a list was made from; null when the
// cursor has gone or has no table.
const VDRMTableEntry *SourceEntry(const VDRMCursor *list, uint32_t sourceId)
{
    const VDRMCursor *source = list->database->session->oFindCursor(sourceId);
    return source ? source->oTableEntry() : nullptr;
}

} // namespace

// ---- Base ---------------------------------------------------------------

int32_t VDRMCursor::oGetTableInfo(uint32_t *info, uint32_t length)
{
    if (length < 12 || !info)
        return kDrmErrBufferTooSmall;
    PutWord(info, 1, static_cast<uint32_t>(rowCount));
    PutWord(info, 2, secondInfoWord);
    return 0;
}

int32_t VDRMCursor::oSetFilter(const uint32_t *, const uint32_t *) { return 0; }

int32_t VDRMCursor::oMove(int32_t direction)
{
    if (direction == kDrmMoveFirst)
        currentRow = 0;
    else if (direction == kDrmMoveNext) {
        if (currentRow >= 0)
            ++currentRow;
    } else
        return kDrmErrBadDirection;
    return currentRow >= rowCount ? kDrmErrNoCurrentRecord : 0;
}

int32_t VDRMCursor::oSetRetrieveColumns(const uint32_t *, uint32_t) { return 0; }
int32_t VDRMCursor::oGetBookmark(void *, uint32_t, uint32_t *) { return kDrmErrBadCursor; }
int32_t VDRMCursor::oGotoBookmark(const void *, uint32_t) { return kDrmErrBadCursor; }
int32_t VDRMCursor::oSetTableIndex(const char *) { return 0; }
int32_t VDRMCursor::oMakeKey(const void *, uint32_t, uint32_t) { return 0; }
int32_t VDRMCursor::oSeek(uint32_t) { return 0; }
int32_t VDRMCursor::oInitUpdate(uint32_t) { return kDrmErrBadCursor; }
int32_t VDRMCursor::oSetColumn(uint32_t, const void *, uint32_t, uint32_t, uint32_t)
{
    return kDrmErrBadCursor;
}
int32_t VDRMCursor::oUpdateRecord() { return kDrmErrBadCursor; }
int32_t VDRMCursor::oDeleteRecord() { return kDrmErrBadCursor; }

// ---- Type catalog -------------------------------------------------------

int32_t VDRMTypeTable::oOpen(uint32_t *info, uint32_t length)
{
    if (length < 44 || !info)
        return kDrmErrBufferTooSmall;
    if (!opened_) {
        opened_ = true;
        rowCount = kDrmTypeCatalogRows;
    }
    PutWord(info, 1, cursorId);
    PutWord(info, 2, static_cast<uint32_t>(rowCount));
    PutColumnIds(info, 3, 8);
    return 0;
}

int32_t VDRMTypeTable::oRetrieveColumn(uint32_t column, void *buffer, uint32_t length,
                                       uint32_t *outLength, DRM_RETINFO *)
{
    static const char *const kNames[] = {"drm_typeId", "realName", "create",  "flag",
                                         "maxlen",     "maxScale", "maxPrec", "locName"};
    DrmTraceCall("VDRMTypeTable::oRetrieveColumn");
    if (column < 1 || column > 8)
        return -1;
    if (currentRow < 0 || currentRow >= rowCount)
        return kDrmErrNoCurrentRecord;
    const DrmTypeRow &row = kDrmTypeCatalog[currentRow];
    int32_t result = 0;
    switch (column) {
    case 1: result = AnswerU32(row.typeId, buffer, length, outLength); break;
    case 2: result = DrmAnswerText(row.name, buffer, length, outLength); break;
    case 3: result = AnswerU32(row.createParams, buffer, length, outLength); break;
    case 4: result = AnswerU32(row.flags, buffer, length, outLength); break;
    case 5: result = AnswerU32(row.maxLength, buffer, length, outLength); break;
    case 6: result = DrmAnswerNumber(row.maxScale, 2, buffer, length, outLength); break;
    case 7: result = AnswerU32(row.maxPrecision, buffer, length, outLength); break;
    case 8: result = DrmAnswerText(row.localName, buffer, length, outLength); break;
    }
    DrmTraceCall(kNames[column - 1]);
    return result;
}

// ---- Table list ---------------------------------------------------------

int32_t VDRMTableList::oFill(uint32_t *info, uint32_t length)
{
    // Words 0 to 6: the size word, the cursor id and five column ids.
    if (length < 28 || !info)
        return kDrmErrBufferTooSmall;
    if (database->catalog)
        rowCount = database->catalog->oCount();
    PutWord(info, 1, cursorId);
    PutColumnIds(info, 2, 5);
    return 0;
}

int32_t VDRMTableList::oRetrieveColumn(uint32_t column, void *buffer, uint32_t length,
                                       uint32_t *outLength, DRM_RETINFO *)
{
    const VDRMTableEntryArray *tables = database->catalog.get();
    if (!tables)
        return -1;
    if (column < 1 || column > 5)
        return -1;
    if (currentRow < 0 || currentRow >= tables->oCount())
        return kDrmErrNoCurrentRecord;
    const VDRMTableEntry &entry = tables->oGet(currentRow);
    switch (column) {
    case 1: return DrmAnswerText(entry.name, buffer, length, outLength);
    case 2: return AnswerU32(1, buffer, length, outLength);
    default: return AnswerU32(0, buffer, length, outLength);
    }
}

// ---- Column list --------------------------------------------------------

int32_t DrmMakeColumnList(VDRMCursor *source, uint32_t cursorId, uint32_t *info, uint32_t length,
                          std::unique_ptr<VDRMCursor> *cursor)
{
    if (source->kind != kDrmCursorTable)
        return -1;
    std::unique_ptr<VDRMColumnList> list(
        new (std::nothrow) VDRMColumnList(cursorId, source->database, source->cursorId));
    if (!list)
        return kDrmErrNoMemory;
    int32_t result = list->oFill(info, length);
    if (result != 0)
        return result;
    *cursor = std::move(list);
    return 0;
}

int32_t VDRMColumnList::oFill(uint32_t *info, uint32_t length)
{
    if (length < 52 || !info)
        return kDrmErrBufferTooSmall;
    PutWord(info, 1, cursorId);
    const VDRMTableEntry *entry = SourceEntry(this, sourceId);
    rowCount = entry && entry->fields ? entry->fields->oCount() : 0;
    PutWord(info, 2, static_cast<uint32_t>(rowCount));
    PutColumnIds(info, 3, 10);
    return 0;
}

namespace {

uint32_t ColumnMaxLength(uint32_t typeId, const DrmTypeRow &row, const uint8_t *field)
{
    if (typeId == kDrmTypeText || typeId == kDrmTypeVarText)
        return DrmFieldLength(field);
    if (row.maxLength != 0)
        return row.maxLength;
    switch (typeId) {
    case kDrmTypeBit:
    case kDrmTypeUByte: return 1;
    case kDrmTypeShort: return 2;
    case kDrmTypeLong: return 4;
    case kDrmTypeDouble: return 8;
    case kDrmTypeDate:
    case kDrmTypeTime: return 6;
    case kDrmTypeNumeric: return 38;
    default: return 0;
    }
}

} // namespace

int32_t VDRMColumnList::oRetrieveColumn(uint32_t column, void *buffer, uint32_t length,
                                        uint32_t *outLength, DRM_RETINFO *)
{
    const VDRMTableEntry *entry = SourceEntry(this, sourceId);
    if (!entry || !entry->fields)
        return kDrmErrBadCursor;
    if (column < 1 || column > 10)
        return -1;
    if (currentRow < 0 || currentRow >= entry->fields->oCount())
        return kDrmErrNoCurrentRecord;
    const VDRMFieldDef &field = entry->fields->oGet(currentRow);
    uint8_t serverType = DrmFieldType(field.row);
    const DrmTypeRow &row = kDrmTypeCatalog[DrmCTypeOfServerType(serverType)];
    int32_t result = 0;
    switch (column) {
    case 1: {
        uint8_t n = DrmFieldNameLength(field.row);
        result = AnswerNameZ(field.row + 1, n, buffer, length, outLength);
        DrmTraceParamf("COLLIST_NAME_COLID -> %.*s\n", static_cast<int>(n),
                       reinterpret_cast<const char *>(field.row + 1));
        break;
    }
    case 2:
        result = AnswerU32(static_cast<uint32_t>(static_cast<int32_t>(field.fieldNumber)), buffer,
                           length, outLength);
        DrmTraceParamf("COLLIST_DRMID_COLID -> %d\n", field.fieldNumber);
        break;
    case 3:
        result = AnswerU32(row.typeId, buffer, length, outLength);
        DrmTraceParamf("COLLIST_TYPE_COLID -> %d\n", static_cast<int>(row.typeId));
        DrmTraceParamf("COLLIST_TYPE_COLID -> (%s)\n", DrmTypeName(row.typeId));
        break;
    case 4: {
        uint32_t maxLen = ColumnMaxLength(row.typeId, row, field.row);
        result = AnswerU32(maxLen, buffer, length, outLength);
        DrmTraceParamf("COLLIST_MAXLEN_COLID -> %d\n", static_cast<int>(maxLen));
        break;
    }
    case 5: {
        bool plain = serverType == 0 || serverType == 2 || serverType == 3 || serverType == 4;
        result = AnswerU32(plain ? 32 : 36, buffer, length, outLength);
        break;
    }
    case 6:
        result = DrmAnswerNumber(row.maxScale, 2, buffer, length, outLength);
        DrmTraceParamf("COLLIST_SCALE_COLID -> %d\n", row.maxScale);
        break;
    case 7:
        result = DrmAnswerNumber(row.maxPrecision & 0xFFFF, 2, buffer, length, outLength);
        DrmTraceParamf("COLLIST_PREC_COLID -> %u\n", row.maxPrecision);
        break;
    case 8:
        result = AnswerU32(0, buffer, length, outLength);
        DrmTraceParam("COLLIST_BASETABLEID_COLID -> 0\n");
        break;
    case 9:
        result = AnswerU32(0, buffer, length, outLength);
        DrmTraceParam("COLLIST_PROCCOLTYPE_COLID -> 0\n");
        break;
    case 10:
        result = AnswerU32(0, buffer, length, outLength);
        DrmTraceParam("COLLIST_SEQID_COLID -> 0\n");
        break;
    }
    return result;
}

// ---- Index list ---------------------------------------------------------

int32_t DrmMakeIndexList(VDRMCursor *source, uint32_t cursorId, uint32_t *info, uint32_t length,
                         std::unique_ptr<VDRMCursor> *cursor)
{
    std::unique_ptr<VDRMIndexList> list(
        new (std::nothrow) VDRMIndexList(cursorId, source->database, source->cursorId));
    if (!list)
        return kDrmErrNoMemory;
    if (length < 36 || !info)
        return kDrmErrBufferTooSmall;
    if (source->kind != kDrmCursorTable)
        throw VError(-1, kDrmSrcTabl, 663, "About to make a bad casting !!!");
    int32_t result = list->oInit(info, length);
    if (result != 0)
        return result;
    *cursor = std::move(list);
    return 0;
}

int32_t VDRMIndexList::oInit(uint32_t *info, uint32_t length)
{
    if (length < 36 || !info)
        return kDrmErrBufferTooSmall;
    PutWord(info, 1, cursorId);
    rowCount = DrmCountIndexedFields(SourceEntry(this, sourceId));
    PutWord(info, 2, static_cast<uint32_t>(rowCount));
    PutColumnIds(info, 3, 6);
    return 0;
}

int32_t VDRMIndexList::oMove(int32_t direction)
{
    int32_t result = VDRMCursor::oMove(direction);
    if (result != 0)
        return result;
    if (direction == kDrmMoveFirst) {
        fieldIndex = -1;
        primaryReported = false;
    }
    return DrmNextVisibleField(&fieldIndex, SourceEntry(this, sourceId)) == 0
               ? 0
               : kDrmErrNoCurrentRecord;
}

int32_t VDRMIndexList::oRetrieveColumn(uint32_t column, void *buffer, uint32_t length,
                                       uint32_t *outLength, DRM_RETINFO *)
{
    const VDRMTableEntry *entry = SourceEntry(this, sourceId);
    if (!entry || !entry->fields)
        return kDrmErrBadCursor;
    if (column < 1 || column > 6)
        return -1;
    if (fieldIndex < 0 || fieldIndex >= entry->fields->oCount())
        return kDrmErrNoCurrentRecord;
    const uint8_t *row = entry->fields->oGet(fieldIndex).row;
    switch (column) {
    case 1:
    case 6: return AnswerNameZ(row + 1, DrmFieldNameLength(row), buffer, length, outLength);
    case 2: {
        uint16_t word = DrmFieldIndexWord(row);
        uint32_t flags = 0;
        if (word & 0x4000)
            flags |= 1;
        bool primary = (word & 0x6000) == 0x6000 && !primaryReported;
        if (primary)
            flags |= 2;
        int32_t result = AnswerU32(flags, buffer, length, outLength);
        if (result == 0 && primary)
            primaryReported = true;
        return result;
    }
    case 4: return AnswerU32(static_cast<uint32_t>(fieldIndex + 1), buffer, length, outLength);
    default: return AnswerU32(0, buffer, length, outLength);
    }
}
