// A database's copy of the server catalog: its tables, their definitions and
// field rows, read once when the database opens and asked ever after.
//
// Byte layouts come from the server (numbers already in host order):
//   table-name list: 16-bit count, then 32-byte length-prefixed names;
//   table definition: 30-byte header (16-bit field count first), then one
//   66-byte row per field: length-prefixed name (32), type byte (32),
//   a byte (33), 16-bit length (34), four bytes (36), twelve 16-bit
//   attribute numbers (40), two bytes (64).
// Every count and length is checked against the bytes really received; a
// reply too short for what it announces fails the load with kDrmErrBadReply.
#pragma once

#include <cstdint>
#include <memory>

#include "driver/Sources/VArrays.h"
#include "driver/Sources/drm_qx.h"

inline constexpr int32_t kDrmErrBadReply = -1028;
inline constexpr size_t kDrmFieldRowSize = 66;
inline constexpr size_t kDrmDefHeaderSize = 30;
inline constexpr size_t kDrmNameSlotSize = 32;
inline constexpr size_t kDrmNameMax = 31;

struct VDRMFieldDef {
    int16_t fieldNumber = 0;
    uint8_t row[kDrmFieldRowSize] = {};
};

class VDRMFieldDefArray : public VArray<VDRMFieldDef> {
public:
    VDRMFieldDefArray() : VArray<VDRMFieldDef>(5) {}
};

struct VDRMTableEntry {
    int16_t tableNumber = 0;
    char name[kDrmNameSlotSize] = {};
    std::shared_ptr<VDRMFieldDefArray> fields;
    uint8_t head[96] = {};
};

class VDRMTableEntryArray : public VArray<VDRMTableEntry> {
public:
    VDRMTableEntryArray() : VArray<VDRMTableEntry>(5) {}
};

// Field row accessors.
uint8_t DrmFieldNameLength(const uint8_t *row); // at most 31
uint8_t DrmFieldType(const uint8_t *row);
uint16_t DrmFieldLength(const uint8_t *row);
uint16_t DrmFieldAttribute(const uint8_t *row, int index); // 0..11
// The attribute number that marks indexed fields (the fifth).
uint16_t DrmFieldIndexWord(const uint8_t *row);
bool DrmFieldIsIndexed(const uint8_t *row);

// Reads the catalog. 0 with the list set; otherwise the first failing
// status, the list (when made) holding what was read before the failure.
int32_t DrmLoadCatalog(DrmQxConnection connection, std::unique_ptr<VDRMTableEntryArray> *tables);
// Converts every table and field name from server text in place.
int32_t DrmConvertCatalogNames(VDRMTableEntryArray *tables, uint32_t codePage);

// Index of the table spelt exactly so, else of the first whose name equals
// ignoring case, or -1.
int32_t DrmFindTable(const VDRMTableEntryArray *tables, const char *name);
// Index of the first field whose name equals (only a-z fold), or -1.
int32_t DrmFindField(const VDRMFieldDefArray *fields, const char *name);
// Moves *index to the next indexed field: 0, -2 when none follows, -1 when
// the entry or its field list is missing.
int32_t DrmNextVisibleField(int32_t *index, const VDRMTableEntry *table);
// The number of indexed fields of the table (0 without a field list).
int32_t DrmCountIndexedFields(const VDRMTableEntry *table);
