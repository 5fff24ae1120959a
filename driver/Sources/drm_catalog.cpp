#include "driver/Sources/drm_catalog.h"

#include <cstring>
#include <vector>

#include "driver/Sources/drm_text.h"
#include "driver/Sources/drm_trace.h"
#include "platform/byteorder.h"

namespace {

std::shared_ptr<VDRMFieldDefArray> MakeFieldList()
{
    try {
        return std::make_shared<VDRMFieldDefArray>();
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

// Fills entry i from its definition reply.
int32_t ReadDefinition(const std::vector<uint8_t> &def, VDRMTableEntry *entry)
{
    if (def.size() < kDrmDefHeaderSize)
        return kDrmErrBadReply;
    std::memcpy(entry->head, def.data(), std::min(def.size(), sizeof entry->head));
    int16_t count = static_cast<int16_t>(PlatGetHost16(def.data()));
    if (count < 0 || def.size() < kDrmDefHeaderSize + kDrmFieldRowSize * static_cast<size_t>(count))
        return kDrmErrBadReply;
    entry->fields = MakeFieldList();
    if (!entry->fields || entry->fields->oAppendN(count) < 0)
        return -1;
    for (int32_t j = 0; j < count; ++j) {
        VDRMFieldDef &field = entry->fields->oAt(j);
        field.fieldNumber = static_cast<int16_t>(j + 1);
        std::memcpy(field.row, def.data() + kDrmDefHeaderSize + kDrmFieldRowSize * j,
                    kDrmFieldRowSize);
        if (field.row[0] > kDrmNameMax)
            field.row[0] = kDrmNameMax;
    }
    return 0;
}

} // namespace

uint8_t DrmFieldNameLength(const uint8_t *row)
{
    return row[0] > kDrmNameMax ? static_cast<uint8_t>(kDrmNameMax) : row[0];
}
uint8_t DrmFieldType(const uint8_t *row) { return row[32]; }
uint16_t DrmFieldLength(const uint8_t *row) { return PlatGetHost16(row + 34); }
uint16_t DrmFieldAttribute(const uint8_t *row, int index)
{
    return PlatGetHost16(row + 40 + 2 * index);
}
uint16_t DrmFieldIndexWord(const uint8_t *row) { return DrmFieldAttribute(row, 4); }

bool DrmFieldIsIndexed(const uint8_t *row)
{
    switch (DrmFieldType(row)) {
    case 0:
    case 1:
    case 4:
    case 6:
    case 8:
    case 9:
    case 11: return (DrmFieldIndexWord(row) & 0x8000) != 0;
    default: return false;
    }
}

int32_t DrmLoadCatalog(DrmQxConnection connection, std::unique_ptr<VDRMTableEntryArray> *tables)
{
    tables->reset();
    int16_t n = 0;
    int32_t status = DrmQxCountFiles(connection, &n);
    if (status != 0)
        return status;
    if (n < 0)
        return kDrmErrBadReply;
    try {
        tables->reset(new VDRMTableEntryArray());
    } catch (const std::bad_alloc &) {
        return -1;
    }
    VDRMTableEntryArray &list = **tables;
    if (list.oAppendN(n) < 0)
        return -1;
    if (n == 0)
        return 0;
    std::vector<uint8_t> names;
    status = DrmQxGetFileList(connection, &names);
    if (status != 0)
        return status;
    if (names.size() < 2 + kDrmNameSlotSize * static_cast<size_t>(n) ||
        static_cast<int16_t>(PlatGetHost16(names.data())) < n)
        return kDrmErrBadReply;
    std::vector<uint8_t> def;
    for (int32_t i = 0; i < n && status == 0; ++i) {
        VDRMTableEntry &entry = list.oAt(i);
        entry.tableNumber = static_cast<int16_t>(i + 1);
        def.clear();
        status = DrmQxGetFileDefinition(connection, entry.tableNumber, &def);
        if (status != 0)
            break;
        const uint8_t *slot = names.data() + 2 + kDrmNameSlotSize * i;
        size_t len = slot[0] > kDrmNameMax ? kDrmNameMax : slot[0];
        std::memcpy(entry.name, slot + 1, len);
        entry.name[len] = 0;
        status = ReadDefinition(def, &entry);
    }
    return status;
}

int32_t DrmConvertCatalogNames(VDRMTableEntryArray *tables, uint32_t codePage)
{
    for (int32_t i = 0; i < tables->oCount(); ++i) {
        VDRMTableEntry &entry = tables->oAt(i);
        uint32_t out = 0;
        size_t len = strnlen(entry.name, kDrmNameMax);
        int32_t status =
            DrmTextMacToPC(static_cast<uint32_t>(len), reinterpret_cast<uint8_t *>(entry.name),
                           codePage, &out, reinterpret_cast<uint8_t *>(entry.name));
        if (status != 0)
            return status;
        entry.name[out > kDrmNameMax ? kDrmNameMax : out] = 0;
        if (!entry.fields)
            continue;
        for (int32_t j = 0; j < entry.fields->oCount(); ++j) {
            uint8_t *row = entry.fields->oAt(j).row;
            status = DrmTextMacToPC(DrmFieldNameLength(row), row + 1, codePage, &out, row + 1);
            if (status != 0)
                return status;
            row[0] = static_cast<uint8_t>(out > kDrmNameMax ? kDrmNameMax : out);
        }
    }
    return 0;
}

int32_t DrmFindTable(const VDRMTableEntryArray *tables, const char *name)
{
    if (!tables || !name)
        return -1;
    // Names that differ only in case are different tables: the one spelt
    // exactly so comes first.
    for (int32_t i = 0; i < tables->oCount(); ++i)
        if (std::strcmp(tables->oGet(i).name, name) == 0)
            return i;
    for (int32_t i = 0; i < tables->oCount(); ++i)
        if (DrmTextEqualNoCase(tables->oGet(i).name, name))
            return i;
    return -1;
}

int32_t DrmFindField(const VDRMFieldDefArray *fields, const char *name)
{
    if (!fields || !name)
        return -1;
    size_t len = std::strlen(name);
    for (int32_t i = 0; i < fields->oCount(); ++i) {
        const uint8_t *row = fields->oGet(i).row;
        if (DrmFieldNameLength(row) != len)
            continue;
        bool same = true;
        for (size_t k = 0; k < len && same; ++k)
            same = static_cast<uint8_t>(DrmToUpperAscii(static_cast<char>(row[1 + k]))) ==
                   static_cast<uint8_t>(DrmToUpperAscii(name[k]));
        if (same)
            return i;
    }
    return -1;
}

int32_t DrmNextVisibleField(int32_t *index, const VDRMTableEntry *table)
{
    if (!table || !table->fields)
        return -1;
    int32_t count = table->fields->oCount();
    do {
        ++*index;
    } while (*index < count && !DrmFieldIsIndexed(table->fields->oGet(*index).row));
    return *index < count ? 0 : -2;
}

int32_t DrmCountIndexedFields(const VDRMTableEntry *table)
{
    if (!table || !table->fields)
        return 0;
    int32_t n = 0;
    for (const VDRMFieldDef &field : *table->fields)
        if (DrmFieldIsIndexed(field.row))
            ++n;
    return n;
}
