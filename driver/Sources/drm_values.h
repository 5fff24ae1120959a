// Server values and engine values: the type maps.
//
// Data-module type ids: 0 null, 1 bit, 2 unsigned byte, 3 short, 4 long,
// 5 currency, 6 IEEE single, 7 IEEE double, 8 date time, 10 text,
// 11 long binary, 12 long text, 101 date, 102 time, 103 numeric, 104 var text.
// Server field types: 0 alpha, 1 real, 2 text, 3 picture, 4 date, 6 boolean,
// 7 and 30 long values without data, 8 integer, 9 long integer, 11 time.
#pragma once

#include <cstdint>

#include "netclient/qxnetclient.h"

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

// Characters an alpha value carries to the server (server field types are
// netclient's QX_TYPE_*).
inline constexpr uint32_t kDrmAlphaMaxWrite = 80;

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

// ---- Value conversion -------------------------------------------------------
// Reading (server value -> engine value) and writing (engine value -> server
// value). Alpha and text characters are converted from and to Mac Roman.
// Long values (text, picture) live in a handle of the value; a read with a
// DRM_RETINFO skips what was already delivered and records what it delivers.
struct DRM_RETINFO;

// 0, 1006 (long value cut), -1038 (destination too small), -1 (no reader)
// or a text-conversion code.
int32_t DrmValueToC(const QXValue *value, uint32_t codePage, uint32_t typeId, void *dest,
                    uint32_t destSize, uint32_t *outLength, DRM_RETINFO *state);
// The long value (text or picture, `type`) of `available` bytes at `bytes`
// delivered as DrmValueToC delivers it, read in place: 0, 1006 or a
// text-conversion code.
int32_t DrmLongBytesToC(uint8_t type, const uint8_t *bytes, uint32_t available, uint32_t codePage,
                        void *dest, uint32_t destSize, uint32_t *outLength, DRM_RETINFO *state);
// The value of server type `type` as a window array holds it at `bytes`
// (host order), tested for NULL and delivered as DrmIsNullValue and
// DrmValueToC do for the slot it would fill: 1004 for a NULL, else as
// DrmValueToC. Nothing is copied on the way.
int32_t DrmFieldBytesToC(uint8_t type, const uint8_t *bytes, uint32_t codePage, void *dest,
                         uint32_t destSize, uint32_t *outLength, DRM_RETINFO *state);
// Fills *value from the engine value; a type byte above 254 asks for the
// default server type of typeId. 0, -1 (no writer), -1011 (no memory),
// -1038 (source shorter than the type needs, or too long for a text value)
// or a text-conversion code. A text or picture value gets a handle the
// caller releases (DrmFreeValue).
int32_t DrmValueFromC(uint32_t codePage, uint32_t typeId, const void *source, uint32_t sourceLength,
                      QXValue *value);
// Releases the handle of a long value, if any.
void DrmFreeValue(QXValue *value);
