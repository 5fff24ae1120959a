// Server values and engine values: the type maps.
//
// Data-module type ids: 0 null, 1 bit, 2 unsigned byte, 3 short, 4 long,
// 5 currency, 6 IEEE single, 7 IEEE double, 8 date time, 10 text,
// 11 long binary, 12 long text, 101 date, 102 time, 103 numeric, 104 var text.
// Server field types: 0 alpha, 1 real, 2 text, 3 picture, 4 date, 6 boolean,
// 7 and 30 long values without data, 8 integer, 9 long integer, 11 time.
#pragma once

#include <cstdint>

enum : uint32_t {
    kDrmTypeNull = 0,
    kDrmTypeBit = 1,
    kDrmTypeUByte = 2,
    kDrmTypeShort = 3,
    kDrmTypeLong = 4,
    kDrmTypeCurrency = 5,
    kDrmTypeSingle = 6,
    kDrmTypeDouble = 7,
    kDrmTypeDateTime = 8,
    kDrmTypeText = 10,
    kDrmTypeLongBinary = 11,
    kDrmTypeLongText = 12,
    kDrmTypeDate = 101,
    kDrmTypeTime = 102,
    kDrmTypeNumeric = 103,
    kDrmTypeVarText = 104,
};

enum : uint8_t {
    kQxTypeAlpha = 0,
    kQxTypeReal = 1,
    kQxTypeText = 2,
    kQxTypePicture = 3,
    kQxTypeDate = 4,
    kQxTypeBoolean = 6,
    kQxTypeInteger = 8,
    kQxTypeLongInteger = 9,
    kQxTypeTime = 11,
};

// One row of the static type catalog.
struct DrmTypeRow {
    uint32_t typeId;
    const char *name;
    uint32_t createParams;
    uint32_t flags;
    uint32_t maxLength;
    uint16_t maxScale;
    uint32_t maxPrecision;
    const char *localName;
};

inline constexpr int32_t kDrmTypeCatalogRows = 13;
extern const DrmTypeRow kDrmTypeCatalog[kDrmTypeCatalogRows];

// Catalog row of a server field type (0, unknown, for types without one).
int32_t DrmCTypeOfServerType(uint8_t serverType);
int32_t DrmServerTypeCount();
// Data-module type id of a server type's catalog row.
uint32_t DrmTypeCatalogEntry(uint8_t serverType);
// Default server type for a data-module type; -1 when none.
int32_t DrmDefaultServerType(uint32_t typeId);
