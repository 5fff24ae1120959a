// The connection's type catalog: the SQL types its data source offers, with
// what SQLGetTypeInfo reports and the engine needs, and for each of the
// driver's 17 SQL types its default C type, data-source type id and engine type.
//
// Loaded once by rcTypLoadCatalog after the data-module session is open; the
// catalog rows (types the source offers, sorted by SQL type) come first, then
// the static rows of the types it does not offer, so all 17 rows always exist.
// Texts point into the table-access session's string pool.
#pragma once

#include "driver/core/rccnv.h"
#include "driver/core/rcsqltype.h"

#include <cstdint>

struct rcConn;

inline constexpr uint16_t kRcTypeRows = 17;
inline constexpr int16_t kRcNoScale = -9999;

struct rcTypeMapping {
    int16_t sqlType;
    int16_t cType;
    int16_t drmType;
    int16_t engineType;
};

enum : uint32_t {
    RC_TYPE_NULLABLE = 1,
    RC_TYPE_NULLABILITY_KNOWN = 2,
    RC_TYPE_CASE_SENSITIVE = 4,
    RC_TYPE_INDEXABLE = 0x800,
};

struct rcTypeEntry {
    int16_t sqlType;
    const char *typeName;
    const char *literalPrefix;
    const char *literalSuffix;
    const char *createParams;
    uint32_t flags;
    uint32_t octetLength;
    int16_t maxScale;
    uint32_t precision;
    const char *localTypeName;
    int16_t minScale;
};

extern const rcTypeMapping rcTypStaticMappings[kRcTypeRows];

int16_t rcTypLoadCatalog(rcConn *conn);
void rcTypFreeCatalog(rcConn *conn);

int rcTypEngineTypeOf(const rcConn *conn, int16_t type, int16_t *out);
int rcTypSqlTypeOf(const rcConn *conn, int16_t engineType, int16_t *out);
int rcTypDrmTypeOf(const rcConn *conn, int16_t engineType, int32_t *out);
int rcTypEngineTypeOfDrm(const rcConn *conn, int16_t drmType, int16_t *out);
int rcTypIsSupported(const rcConn *conn, int16_t sqlType);
int rcTypHasSqlType(const rcConn *conn, int16_t sqlType);
int rcTypFindBySqlType(const rcConn *conn, int mode, int16_t sqlType, uint16_t *index);
const char *rcTypName(const rcConn *conn, int16_t sqlType);
const rcTypeEntry *rcTypEntry(const rcConn *conn, uint16_t index);
int rcTypCharCaseSensitive(const rcConn *conn);
uint32_t rcTypConvertMask(const rcConn *conn, uint32_t *mask);

int rcTypIsSourceEngineType(const rcConn *conn, int16_t engineType);
int rcTypFindBest(const rcConn *conn, int mode, int16_t sqlType, int32_t precision,
                  uint16_t *index);
int rcTypSqlTypeAt(const rcConn *conn, int index, int16_t *out);
int16_t rcTypCTypeAt(const rcConn *conn, uint16_t index);
// Of all rows; the type must be one of the 17.
uint32_t rcTypCatPrecision(const rcConn *conn, int16_t sqlType);
int16_t rcTypCatMaxScale(const rcConn *conn, int16_t sqlType);
int rcTypOctetLengthOf(const rcConn *conn, int16_t sqlType, uint32_t *out);
int rcTypFixedLength(const rcConn *conn, int16_t sqlType, uint32_t *out);

// A column to be created: type, length, precision, scale.
struct rcTypColumnDesc {
    int16_t type; // engine type
    uint16_t length;
    uint16_t precision;
    uint16_t scale;
};
// Rewrites the type into one the data source offers.
int rcTypFitColumnType(const rcConn *conn, rcTypColumnDesc *column);

// Pure type rules.
int32_t rcTypDisplaySize(int16_t sqlType, int32_t length, int32_t precision);
int32_t rcTypOctetLength(int16_t sqlType, int32_t length, int32_t precision);
int32_t rcTypDecimalLength(int16_t sqlType, int32_t length, int32_t precision);
int16_t rcTypBinaryResult(int16_t a, int16_t b);
int rcTypRank(int16_t engineType);
int32_t rcTypColumnSizeOf(int16_t sqlType, int32_t length, int32_t precision);
int16_t rcTypScaleOf(int16_t sqlType, int16_t scale);
int rcTypDefaultOctetLength(int16_t sqlType, uint32_t *out);
bool rcTypIsFixedLength(int16_t sqlType);
