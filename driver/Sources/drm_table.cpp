// The table cursor: selections, moves, index choice and key seeks, and the
// sharing of one server selection per table between cursors.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <limits>

#include "driver/Sources/drm.h"
#include "driver/Sources/drm_database.h"
#include "driver/Sources/drm_session.h"
#include "driver/Sources/drm_table.h"
#include "driver/Sources/drm_values.h"

VDRMTable::VDRMTable(uint32_t cursorId, VDRMDatabase *database, int32_t tableIndex)
    : VDRMCursor(cursorId, database, kDrmCursorTable), tableIndex(tableIndex),
      tableNumber(static_cast<int16_t>(tableIndex + 1))
{}

VDRMTable::~VDRMTable()
{
    FreeRecordBuffer();
    DrmFreeValue(&key);
    auto it = database->selectionHolders.find(tableNumber);
    if (it != database->selectionHolders.end() && it->second == this)
        database->selectionHolders.erase(it);
    DrmQxConnection c = Connection();
    if (c == 0)
        return;
    if (privateNamed_)
        DrmQxKillSelection(c, privateName_);
    for (auto b = savedSelections.rbegin(); b != savedSelections.rend(); ++b)
        DrmQxKillSelection(c, b->bytes);
}

int32_t VDRMTable::oOpen(const char *, uint32_t) { return 0; }

const VDRMTableEntry *VDRMTable::oTableEntry() const
{
    const VDRMTableEntryArray *tables = database->catalog.get();
    if (!tables || tableIndex < 0 || tableIndex >= tables->oCount())
        return nullptr;
    return &tables->oGet(tableIndex);
}

DrmQxConnection VDRMTable::Connection() const { return database->connection; }

uint32_t VDRMTable::CodePage() const { return database->session->codePage; }

const VDRMFieldDefArray *VDRMTable::Fields() const
{
    const VDRMTableEntry *entry = oTableEntry();
    return entry ? entry->fields.get() : nullptr;
}

uint8_t VDRMTable::FieldType(int32_t field) const
{
    const VDRMFieldDefArray *defs = Fields();
    if (!defs || field < 1 || field > defs->oCount())
        return 0xFF;
    return DrmFieldType(defs->oGet(field - 1).row);
}

// ---- Sharing the table's server selection ---------------------------------------

int32_t VDRMTable::oSaveSelection()
{
    if (!privateNamed_) {
        char name[16];
        int n = std::snprintf(name, sizeof name, "SL_%" PRIu32, ++database->nameCounter);
        privateName_[0] = static_cast<uint8_t>(std::min(n, 15));
        std::memcpy(privateName_ + 1, name, privateName_[0]);
        privateNamed_ = true;
    }
    int32_t status = DrmQxCopySelection(Connection(), privateName_, tableNumber);
    privateSaved_ = status == 0;
    return status;
}

int32_t VDRMTable::SaveHolderOfTable()
{
    auto it = database->selectionHolders.find(tableNumber);
    if (it != database->selectionHolders.end() && it->second != this &&
        it->second->selectionBuilt) {
        int32_t status = it->second->oSaveSelection();
        if (status != 0)
            return status;
    }
    database->selectionHolders[tableNumber] = this;
    return 0;
}

int32_t VDRMTable::TakeOverSelection()
{
    ++database->currentRecordMoves; // a new selection follows
    int32_t status = SaveHolderOfTable();
    privateSaved_ = false;
    return status;
}

int32_t VDRMTable::ClaimSelection()
{
    auto it = database->selectionHolders.find(tableNumber);
    if (it != database->selectionHolders.end() && it->second == this)
        return 0;
    int32_t status = SaveHolderOfTable();
    if (status != 0 || !privateSaved_)
        return status;
    int16_t table = 0;
    ++database->currentRecordMoves;
    status = DrmQxUseSelection(Connection(), privateName_, &table);
    if (status != 0)
        database->selectionHolders.erase(tableNumber); // the server holds someone else's
    return status;
}

void VDRMTable::ForgetSelection()
{
    cache.oReset();
    bookmarkName_[0] = 0;
    deletedRows_.clear();
    recordRow_ = -1;
    ForgetWindow();
}

int32_t VDRMTable::ShiftBefore(int32_t row) const
{
    return static_cast<int32_t>(std::lower_bound(deletedRows_.begin(), deletedRows_.end(), row) -
                                deletedRows_.begin());
}

// ---- Selections -------------------------------------------------------------

namespace {

constexpr uint8_t kOpLess = 5;

// The value no record of the type is below (the empty value for texts and
// dates, which sort first).
void SetLeastValue(QXValue *value)
{
    switch (value->type) {
    case QX_TYPE_REAL: value->real = std::numeric_limits<double>::lowest(); break;
    case QX_TYPE_BOOLEAN:
    case QX_TYPE_INTEGER: value->shortValue = INT16_MIN; break;
    case QX_TYPE_LONGINT:
    case QX_TYPE_TIME: value->longValue = INT32_MIN; break;
    default: break;
    }
}

} // namespace

int32_t VDRMTable::oGetTableInfo(uint32_t *info, uint32_t length)
{
    if (!selectionBuilt) {
        // Before the selection exists the whole table is the best estimate.
        int32_t count = 0;
        int32_t status = DrmQxRecordsInFile(Connection(), tableNumber, &count);
        if (status != 0)
            return status;
        rowCount = count;
    }
    return VDRMCursor::oGetTableInfo(info, length);
}

int32_t VDRMTable::FillParameters()
{
    const VDRMSession *session = database->session;
    for (size_t i = 0; i < search->lines.size(); ++i) {
        uint32_t id = search->paramIds[i];
        if (id == 0)
            continue;
        const DrmParam *param = session->oFindParam(id);
        if (!param)
            return -2;
        QXSearchLine &line = search->lines[i];
        QXValue &value = line.value;
        const uint8_t type = value.type;
        value = QXValue{};
        value.type = type;
        line.op = search->operators[i];
        if (param->isNull) {
            // A comparison with NULL holds for no record: ask for values
            // below the least one of the type.
            line.op = kOpLess;
            SetLeastValue(&value);
        } else {
            int32_t status =
                DrmValueFromC(CodePage(), param->type, param->value.data(), param->length, &value);
            if (status != 0) {
                DrmFreeValue(&value);
                return status;
            }
            line.op = DrmSearchOperatorFor(line.op, value);
            // A text cut at the longest alpha value equals no alpha value
            // unless only blanks were cut (they do not count).
            if (value.type == QX_TYPE_ALPHA && param->length > kDrmAlphaMaxWrite) {
                const uint8_t *bytes = param->value.data();
                if (std::any_of(bytes + kDrmAlphaMaxWrite, bytes + param->length,
                                [](uint8_t c) { return c != ' '; })) {
                    line.op = kOpLess;
                    value = QXValue{};
                    value.type = QX_TYPE_ALPHA;
                }
            }
        }
        paramGenerationSeen = session->paramGeneration;
    }
    return 0;
}

bool VDRMTable::HitsShareIndexKey(const QXSearchLine *lines, size_t count) const
{
    // The server reads the lines left to right, each joined to the result
    // so far: after an equality on the index field, ANDs only narrow it.
    constexpr uint8_t kOpEqual = 1, kConjAnd = 1;
    for (size_t i = count; i-- > 0;) {
        const QXSearchLine &l = lines[i];
        if (l.field == indexField && l.op == kOpEqual && (l.table == 0 || l.table == tableNumber) &&
            (i == 0 || l.conjunction == kConjAnd))
            return true;
        if (l.conjunction != kConjAnd)
            return false;
    }
    return false;
}

int32_t VDRMTable::SortOnIndex()
{
    QXSortKey sortKey{indexField, tableNumber, 1, 0};
    QXSortSpec oneKey{1, tableNumber, &sortKey};
    return DrmQxSort(Connection(), &oneKey);
}

int32_t VDRMTable::oBuildSelection()
{
    selectionBuilt = false;
    ForgetSelection();
    int32_t status = TakeOverSelection();
    if (status != 0)
        return status;
    int32_t count = 0;
    if (!search) {
        status = DrmQxSelectAllRecords(Connection(), tableNumber);
        if (status == 0)
            status = DrmQxRecordsInSelection(Connection(), tableNumber, &count);
    } else {
        status = FillParameters();
        if (status != 0)
            return status;
        QXSearchArray array{static_cast<int16_t>(search->lines.size()), search->defaultTable,
                            search->lines.data()};
        status = DrmQxSearch(Connection(), &array, &count);
    }
    rowCount = status == 0 ? count : 0;
    // The found records in index order; one record (a unique key's), or
    // records that all hold the same key, are in order as they stand (the
    // server keeps records in their order), so a point query costs the
    // search and the read.
    if (status == 0 && indexField != 0 && count > 1 &&
        !(search && HitsShareIndexKey(search->lines.data(), search->lines.size())))
        status = SortOnIndex();
    selectionBuilt = status == 0;
    return status;
}

int32_t VDRMTable::oMove(int32_t direction)
{
    if (paramGenerationSeen != 0 && paramGenerationSeen != database->session->paramGeneration)
        selectionBuilt = false;
    // Starting over after deleting records: the rows held no longer exist.
    if (direction == kDrmMoveFirst && !deletedRows_.empty())
        selectionBuilt = false;
    if (!selectionBuilt) {
        if (!cache.oHasFieldList())
            oRetrieveAllFields();
        int32_t status = oBuildSelection();
        if (status != 0)
            return status;
    }
    int32_t result = VDRMCursor::oMove(direction);
    while (result == 0 && std::binary_search(deletedRows_.begin(), deletedRows_.end(), currentRow))
        result = VDRMCursor::oMove(kDrmMoveNext); // a row deleted here is not read again
    if (result != 0) {
        recordRow_ = -1;
        return result;
    }
    return MoveCache(currentRow);
}

int32_t VDRMTable::oSetTableIndex(const char *indexName)
{
    indexField = 0;
    if (!indexName || !*indexName)
        return 0;
    const VDRMFieldDefArray *defs = Fields();
    int32_t at = DrmFindField(defs, indexName);
    if (at < 0)
        return -1404;
    indexField = defs->oGet(at).fieldNumber;
    return 0;
}

int32_t VDRMTable::oMakeKey(const void *data, uint32_t length, uint32_t flags)
{
    if (!(flags & 0x1))
        return -1;
    QXValue made{};
    made.type = 0xFF;
    uint32_t typeId = DrmTypeCatalogEntry(FieldType(indexField));
    int32_t result = DrmValueFromC(CodePage(), typeId, data, length, &made);
    if (result != 0) {
        DrmFreeValue(&made);
        return result;
    }
    DrmFreeValue(&key);
    key = made;
    // A text key longer than any alpha value was cut: no record equals it,
    // unless only blanks were cut (trailing blanks do not count).
    keyCut_ = false;
    if (key.type == QX_TYPE_ALPHA && length > kDrmAlphaMaxWrite) {
        const auto *bytes = static_cast<const uint8_t *>(data);
        keyCut_ = std::any_of(bytes + kDrmAlphaMaxWrite, bytes + length,
                              [](uint8_t c) { return c != ' '; });
    }
    return 0;
}

int32_t VDRMTable::oSeek(uint32_t flags)
{
    selectionBuilt = false;
    currentRow = 0;
    ForgetSelection();
    if (!cache.oHasFieldList())
        oRetrieveAllFields();
    int32_t status = TakeOverSelection();
    if (status != 0)
        return status;
    int32_t count = 0;
    bool shared = false;
    if (flags & 0x60) {
        status = DrmQxSelectAllRecords(Connection(), tableNumber);
        if (status == 0)
            status = DrmQxRecordsInSelection(Connection(), tableNumber, &count);
    } else {
        if (indexField == 0)
            return -1;
        QXSearchLine line{};
        line.field = indexField;
        line.table = tableNumber;
        line.op = (flags & 0x01) ? 1 : (flags & 0x10) ? 3 : (flags & 0x08) ? 4 : 0;
        line.value = key;
        if (keyCut_ && line.op == 1) {
            line.op = kOpLess; // nothing is below the empty text
            line.value = QXValue{};
        } else if (keyCut_ && line.op == 4) {
            line.op = 3; // every value at least the whole key is above its cut
        }
        line.op = DrmSearchOperatorFor(line.op, line.value); // an empty key equals only NULLs
        QXSearchArray array{1, tableNumber, &line};
        status = DrmQxSearch(Connection(), &array, &count);
        shared = HitsShareIndexKey(&line, 1);
    }
    rowCount = status == 0 ? count : 0;
    // The found records in index order, unless they all hold the key sought.
    if (status == 0 && indexField != 0 && count > 1 && !shared)
        status = SortOnIndex();
    if (status != 0)
        return status;
    selectionBuilt = true;
    // The last index entry is the last row of the sorted selection.
    if ((flags & 0x40) && !(flags & 0x20)) {
        if (rowCount <= 0)
            return kDrmErrKeyNotFound;
        currentRow = rowCount - 1;
    }
    int32_t result = LoadWindow(currentRow, currentRow);
    return result == -9963 ? kDrmErrKeyNotFound : result;
}
