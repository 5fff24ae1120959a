// The table of SQL types (see rcsqltype.h).
#include "driver/core/rcsqltype.h"

#include <cstddef>

#include <sql.h>
#include <sqlext.h>

#include "driver/core/rccnv.h"

namespace {

constexpr rcSqlClass CHR = RC_SQLCLASS_CHARACTER;
constexpr rcSqlClass EXA = RC_SQLCLASS_EXACT;
constexpr rcSqlClass APX = RC_SQLCLASS_APPROXIMATE;
constexpr rcSqlClass DTM = RC_SQLCLASS_DATETIME;
constexpr rcSqlClass BIN = RC_SQLCLASS_BINARY;

// type, class, ODBC type, value bytes, text value, column size, display size, scale
constexpr rcSqlTypeTraits kTypes[] = {
    {SQL_CHAR, CHR, true, 0, true, RC_SIZE_LENGTH, 0, RC_SIZE_LENGTH, 0, RC_SCALE_NONE},
    {SQL_VARCHAR, CHR, true, 0, true, RC_SIZE_LENGTH, 0, RC_SIZE_LENGTH, 0, RC_SCALE_NONE},
    {SQL_LONGVARCHAR, CHR, true, 0, true, RC_SIZE_LENGTH, 0, RC_SIZE_LENGTH, 0, RC_SCALE_NONE},
    {SQL_NUMERIC, EXA, true, 0, true, RC_SIZE_FIXED, 10, RC_SIZE_FIXED, 10, RC_SCALE_NONE},
    {SQL_DECIMAL, EXA, true, 0, true, RC_SIZE_PRECISION, 0, RC_SIZE_PRECISION_PLUS_2, 0,
     RC_SCALE_GIVEN},
    {SQL_INTEGER, EXA, true, 4, false, RC_SIZE_FIXED, 10, RC_SIZE_FIXED, 11, RC_SCALE_ZERO},
    {SQL_SMALLINT, EXA, true, 2, false, RC_SIZE_FIXED, 5, RC_SIZE_FIXED, 6, RC_SCALE_ZERO},
    {SQL_BIGINT, EXA, true, 0, true, RC_SIZE_LENGTH, 0, RC_SIZE_LENGTH, 0, RC_SCALE_ZERO},
    {SQL_TINYINT, EXA, true, 1, false, RC_SIZE_FIXED, 3, RC_SIZE_FIXED, 4, RC_SCALE_ZERO},
    {SQL_BIT, EXA, true, 1, false, RC_SIZE_FIXED, 1, RC_SIZE_LENGTH, 0, RC_SCALE_ZERO},
    {SQL_FLOAT, APX, true, 8, false, RC_SIZE_FIXED, 15, RC_SIZE_FIXED, 22, RC_SCALE_NONE},
    {SQL_REAL, APX, true, 4, false, RC_SIZE_FIXED, 7, RC_SIZE_FIXED, 13, RC_SCALE_NONE},
    {SQL_DOUBLE, APX, true, 8, false, RC_SIZE_FIXED, 15, RC_SIZE_FIXED, 22, RC_SCALE_NONE},
    {SQL_DATE, DTM, true, 6, false, RC_SIZE_FIXED, 10, RC_SIZE_FIXED, 10, RC_SCALE_NONE},
    {SQL_TIME, DTM, true, 6, false, RC_SIZE_FIXED, 8, RC_SIZE_FIXED, 8, RC_SCALE_NONE},
    // A timestamp's column size is its precision when the catalog gives one.
    {SQL_TIMESTAMP, DTM, true, 16, false, RC_SIZE_PRECISION_OR_FIXED, 30, RC_SIZE_FIXED, 30,
     RC_SCALE_ZERO},
    // Binary values show as two hexadecimal digits a byte; a long one as the
    // largest display the driver reports.
    {SQL_BINARY, BIN, true, 0, false, RC_SIZE_LENGTH, 0, RC_SIZE_TWICE_LENGTH, 0, RC_SCALE_NONE},
    {SQL_VARBINARY, BIN, true, 0, false, RC_SIZE_LENGTH, 0, RC_SIZE_LENGTH, 0, RC_SCALE_NONE},
    {SQL_LONGVARBINARY, BIN, true, 0, false, RC_SIZE_LENGTH, 0, RC_SIZE_FIXED, 256000000,
     RC_SCALE_NONE},
    // The engine's private types.
    {RC_SQL_ENGINE_TINYINT, EXA, false, 1, false, RC_SIZE_FIXED, 3, RC_SIZE_FIXED, 4,
     RC_SCALE_NONE},
    {RC_SQL_SCALED64, EXA, false, 0, false, RC_SIZE_LENGTH, 0, RC_SIZE_LENGTH, 0, RC_SCALE_NONE},
    {RC_SQL_DECIMAL38, EXA, false, 38, false, RC_SIZE_PRECISION, 0, RC_SIZE_PRECISION_PLUS_2, 0,
     RC_SCALE_GIVEN},
};

int32_t Size(rcSqlSizeRule rule, int32_t number, int32_t length, int32_t precision)
{
    switch (rule) {
    case RC_SIZE_FIXED: return number;
    case RC_SIZE_PRECISION: return precision;
    case RC_SIZE_PRECISION_OR_FIXED: return precision ? precision : number;
    case RC_SIZE_TWICE_LENGTH: return 2 * length;
    case RC_SIZE_PRECISION_PLUS_2: return precision + 2;
    case RC_SIZE_LENGTH: break;
    }
    return length;
}

bool OdbcOfClass(int16_t type, rcSqlClass a, rcSqlClass b)
{
    const rcSqlTypeTraits *t = rcSqlTypeOf(type);
    return t != nullptr && t->odbc && (t->cls == a || t->cls == b);
}

} // namespace

namespace {

// The ODBC types' numbers lie between kFirstDirect and kLastDirect: those
// are found through this table of indexes into kTypes (-1: none), made
// once at compile time, as type tests run for every value the engine
// moves; the engine's own types are looked up in the list.
constexpr int kFirstDirect = -8, kLastDirect = 12;
struct DirectIndex {
    int8_t at[kLastDirect - kFirstDirect + 1];
};
constexpr DirectIndex MakeDirectIndex()
{
    DirectIndex d{};
    for (int8_t &a : d.at)
        a = -1;
    for (std::size_t k = 0; k < sizeof kTypes / sizeof kTypes[0]; ++k)
        if (kTypes[k].type >= kFirstDirect && kTypes[k].type <= kLastDirect)
            d.at[kTypes[k].type - kFirstDirect] = static_cast<int8_t>(k);
    return d;
}
constexpr DirectIndex kDirect = MakeDirectIndex();

} // namespace

const rcSqlTypeTraits *rcSqlTypeOf(int16_t type)
{
    if (type >= kFirstDirect && type <= kLastDirect) {
        const int k = kDirect.at[type - kFirstDirect];
        return k < 0 ? nullptr : &kTypes[k];
    }
    for (const rcSqlTypeTraits &t : kTypes)
        if (t.type == type)
            return &t;
    return nullptr;
}

bool rcSqlIsCharacter(int16_t type) { return OdbcOfClass(type, CHR, CHR); }
bool rcSqlIsBinary(int16_t type) { return OdbcOfClass(type, BIN, BIN); }
bool rcSqlIsNumeric(int16_t type) { return OdbcOfClass(type, EXA, APX); }

int32_t rcSqlColumnSize(int16_t type, int32_t length, int32_t precision)
{
    const rcSqlTypeTraits *t = rcSqlTypeOf(type);
    return t != nullptr ? Size(t->sizeRule, t->size, length, precision) : length;
}

int32_t rcSqlDisplaySize(int16_t type, int32_t length, int32_t precision)
{
    const rcSqlTypeTraits *t = rcSqlTypeOf(type);
    return t != nullptr ? Size(t->displayRule, t->display, length, precision) : length;
}

int16_t rcSqlScale(int16_t type, int16_t scale)
{
    const rcSqlTypeTraits *t = rcSqlTypeOf(type);
    if (t == nullptr || t->scaleRule == RC_SCALE_NONE)
        return kRcSqlNoScale;
    return t->scaleRule == RC_SCALE_ZERO ? 0 : scale;
}
