// The connection's type catalog (see rctypecat.h).
#include "driver/odbc/rctypecat.h"

#include "driver/core/rccnv.h"
#include "driver/odbc/rcconn.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcsqltype.h"
#include "driver/engine/tam.h"
#include "platform/strings.h"

#include <algorithm>
#include <cstring>
#include <new>

const rcTypeMapping rcTypStaticMappings[kRcTypeRows] = {
    {SQL_CHAR, SQL_C_CHAR, 10, SQL_CHAR},
    {SQL_NUMERIC, SQL_C_CHAR, 5, RC_SQL_SCALED64},
    {SQL_DECIMAL, SQL_C_CHAR, 103, RC_SQL_DECIMAL38},
    {SQL_INTEGER, SQL_C_LONG, 4, SQL_INTEGER},
    {SQL_SMALLINT, SQL_C_SHORT, 3, SQL_SMALLINT},
    {SQL_FLOAT, SQL_C_DOUBLE, 0, SQL_FLOAT},
    {SQL_REAL, SQL_C_FLOAT, 6, SQL_REAL},
    {SQL_DOUBLE, SQL_C_DOUBLE, 7, SQL_DOUBLE},
    {SQL_VARCHAR, SQL_C_CHAR, 104, SQL_VARCHAR},
    {SQL_DATE, SQL_C_DATE, 101, SQL_DATE},
    {SQL_TIME, SQL_C_TIME, 102, SQL_TIME},
    {SQL_TIMESTAMP, SQL_C_TIMESTAMP, 8, SQL_TIMESTAMP},
    {SQL_LONGVARCHAR, SQL_C_CHAR, 12, SQL_LONGVARCHAR},
    {SQL_TINYINT, SQL_C_TINYINT, 2, RC_SQL_ENGINE_TINYINT},
    {SQL_BIT, SQL_C_BIT, 1, SQL_BIT},
    {SQL_BINARY, SQL_C_BINARY, 9, SQL_BINARY},
    {SQL_LONGVARBINARY, SQL_C_BINARY, 11, SQL_LONGVARBINARY},
};

namespace {

struct StaticDefault {
    int16_t sqlType;
    uint32_t octetLength;
    int16_t maxScale;
    uint32_t precision;
};

constexpr StaticDefault kDefaults[kRcTypeRows] = {
    {SQL_CHAR, 256, 0, 0},
    {SQL_NUMERIC, 22, 4, 18},
    {SQL_DECIMAL, 65, 64, 65},
    {SQL_INTEGER, 4, 0, 11},
    {SQL_SMALLINT, 2, 0, 6},
    {SQL_FLOAT, 8, 37, 37},
    {SQL_REAL, 4, 37, 37},
    {SQL_DOUBLE, 8, 37, 37},
    {SQL_VARCHAR, 512, 0, 511},
    {SQL_DATE, 6, 0, 10},
    {SQL_TIME, 6, 0, 8},
    {SQL_TIMESTAMP, 16, 0, 26},
    {SQL_LONGVARCHAR, 65500, 0, 0},
    {SQL_TINYINT, 1, 0, 4},
    {SQL_BIT, 1, 0, 1},
    {SQL_BINARY, 256, 0, 0},
    {SQL_LONGVARBINARY, 65500, 0, 0},
};

rcTypeEntry DefaultEntry(const StaticDefault &d)
{
    rcTypeEntry e{};
    e.sqlType = d.sqlType;
    e.typeName = "";
    e.octetLength = d.octetLength;
    e.maxScale = d.maxScale;
    e.precision = d.precision;
    return e;
}

const rcTypeMapping *MappingOfDrm(int16_t drmType)
{
    for (const rcTypeMapping &m : rcTypStaticMappings)
        if (m.drmType == drmType)
            return &m;
    return nullptr;
}

const rcTypeMapping *MappingOfSql(int16_t sqlType)
{
    for (const rcTypeMapping &m : rcTypStaticMappings)
        if (m.sqlType == sqlType)
            return &m;
    return nullptr;
}

const StaticDefault *DefaultOf(int16_t sqlType)
{
    for (const StaticDefault &d : kDefaults)
        if (d.sqlType == sqlType)
            return &d;
    return nullptr;
}

void FreeArrays(rcConn *conn)
{
    delete[] conn->typeEntries;
    delete[] conn->typeMappings;
    conn->typeEntries = nullptr;
    conn->typeMappings = nullptr;
    conn->typeEntryCount = 0;
    conn->typeMappingCount = 0;
}

} // namespace

bool rcTypIsFixedLength(int16_t t) { return rcCnvIsFixedLengthType(t); }

int32_t rcTypColumnSizeOf(int16_t t, int32_t length, int32_t precision)
{
    return rcSqlColumnSize(t, length, precision);
}

int16_t rcTypScaleOf(int16_t t, int16_t scale) { return rcSqlScale(t, scale); }

int rcTypDefaultOctetLength(int16_t sqlType, uint32_t *out)
{
    const StaticDefault *d = DefaultOf(sqlType);
    if (!d)
        return 0;
    *out = d->octetLength;
    return 1;
}

void rcTypFreeCatalog(rcConn *conn) { FreeArrays(conn); }

int16_t rcTypLoadCatalog(rcConn *conn)
{
    FreeArrays(conn);
    conn->typeEntries = new (std::nothrow) rcTypeEntry[kRcTypeRows]();
    conn->typeMappings = new (std::nothrow) rcTypeMapping[kRcTypeRows]();
    if (!conn->typeEntries || !conn->typeMappings) {
        FreeArrays(conn);
        return static_cast<int16_t>(rcErrRaise(&conn->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    }
    conn->typeMappingCount = kRcTypeRows;
    TamCursor *cursor = nullptr;
    int32_t rc = TamAllocCursor(conn->session, &cursor, 1);
    uint16_t rows = 0;
    bool taken[kRcTypeRows] = {};
    TamTypeRow row{};
    uint32_t mode = 1;
    while (rc == 0) {
        rc = TamFetchCursor(conn->session, cursor, mode, &row);
        mode = 2;
        if (rc != 0)
            break;
        const rcTypeMapping *m = MappingOfDrm(static_cast<int16_t>(row.typeId));
        size_t slot = m ? static_cast<size_t>(m - rcTypStaticMappings) : 0;
        if (!m || taken[slot] || rows >= kRcTypeRows) {
            TamCloseCursor(conn->session, cursor);
            FreeArrays(conn);
            return static_cast<int16_t>(
                rcErrRaise(&conn->errors, RC_ENG_INVALID_DUPLICATE_DRM_COLTYP_SPECIFIED));
        }
        taken[slot] = true;
        rcTypeEntry &e = conn->typeEntries[rows++];
        e.sqlType = m->sqlType;
        e.typeName = row.typeName ? row.typeName : "";
        e.literalPrefix = row.literalPrefix;
        e.literalSuffix = row.literalSuffix;
        e.createParams = row.createParams;
        e.flags = row.flags;
        e.localTypeName = row.localTypeName;
        e.octetLength = row.length;
        if (rcTypIsFixedLength(m->sqlType))
            e.octetLength = DefaultOf(m->sqlType)->octetLength;
        e.precision = static_cast<uint32_t>(rcTypColumnSizeOf(
            m->sqlType, static_cast<int32_t>(e.octetLength), static_cast<int32_t>(row.precision)));
        int16_t scale = rcTypScaleOf(m->sqlType, row.scale);
        e.maxScale = scale == kRcSqlNoScale ? kRcNoScale : scale;
        switch (m->sqlType) {
        case SQL_BIT:
        case SQL_TINYINT:
        case SQL_NUMERIC:
        case SQL_DECIMAL:
        case SQL_INTEGER:
        case SQL_SMALLINT: e.minScale = 0; break;
        default: e.minScale = kRcNoScale;
        }
    }
    if (rc != kDrmErrNoCurrentRecord) {
        if (cursor)
            TamCloseCursor(conn->session, cursor);
        FreeArrays(conn);
        rcErrPostConnDrm(conn, rc);
        return -1;
    }
    TamCloseCursor(conn->session, cursor);
    conn->typeEntryCount = rows;
    std::sort(conn->typeEntries, conn->typeEntries + rows,
              [](const rcTypeEntry &a, const rcTypeEntry &b) { return a.sqlType < b.sqlType; });
    for (uint16_t i = 0; i < rows; ++i)
        conn->typeMappings[i] = *MappingOfSql(conn->typeEntries[i].sqlType);
    uint16_t n = rows;
    for (size_t i = 0; i < kRcTypeRows; ++i) {
        if (taken[i])
            continue;
        conn->typeMappings[n] = rcTypStaticMappings[i];
        conn->typeEntries[n] = DefaultEntry(kDefaults[i]);
        ++n;
    }
    return 0;
}

// ---- accessors ----

namespace {

uint16_t Rows(const rcConn *conn, bool all)
{
    return all ? conn->typeMappingCount : conn->typeEntryCount;
}

} // namespace

int rcTypEngineTypeOf(const rcConn *conn, int16_t type, int16_t *out)
{
    for (uint16_t i = 0; i < Rows(conn, true); ++i) {
        const rcTypeMapping &m = conn->typeMappings[i];
        if (m.sqlType == type || m.engineType == type) {
            *out = m.engineType;
            return 0;
        }
    }
    *out = 0;
    return -1;
}

int rcTypSqlTypeOf(const rcConn *conn, int16_t engineType, int16_t *out)
{
    for (uint16_t i = 0; i < Rows(conn, true); ++i)
        if (conn->typeMappings[i].engineType == engineType) {
            *out = conn->typeMappings[i].sqlType;
            return 0;
        }
    return -1;
}

int rcTypDrmTypeOf(const rcConn *conn, int16_t engineType, int32_t *out)
{
    for (uint16_t i = 0; i < Rows(conn, false); ++i)
        if (conn->typeMappings[i].engineType == engineType) {
            *out = conn->typeMappings[i].drmType;
            return 0;
        }
    *out = 0;
    return -1;
}

int rcTypEngineTypeOfDrm(const rcConn *conn, int16_t drmType, int16_t *out)
{
    for (uint16_t i = 0; i < Rows(conn, false); ++i)
        if (conn->typeMappings[i].drmType == drmType) {
            *out = conn->typeMappings[i].engineType;
            return 0;
        }
    *out = 0;
    return -1;
}

int rcTypIsSupported(const rcConn *conn, int16_t sqlType)
{
    for (uint16_t i = 0; i < Rows(conn, false); ++i)
        if (conn->typeMappings[i].sqlType == sqlType)
            return 1;
    return 0;
}

int rcTypHasSqlType(const rcConn *conn, int16_t sqlType)
{
    for (uint16_t i = 0; i < Rows(conn, true); ++i)
        if (conn->typeMappings[i].sqlType == sqlType)
            return 1;
    return 0;
}

int rcTypFindBySqlType(const rcConn *conn, int mode, int16_t sqlType, uint16_t *index)
{
    for (uint16_t i = 0; i < Rows(conn, mode != 0); ++i)
        if (conn->typeMappings[i].sqlType == sqlType) {
            *index = i;
            return 0;
        }
    return 0xFFFF;
}

const char *rcTypName(const rcConn *conn, int16_t sqlType)
{
    for (uint16_t i = 0; i < Rows(conn, false); ++i)
        if (conn->typeEntries[i].sqlType == sqlType)
            return conn->typeEntries[i].typeName ? conn->typeEntries[i].typeName : "";
    return "";
}

const rcTypeEntry *rcTypEntry(const rcConn *conn, uint16_t index)
{
    return &conn->typeEntries[index];
}

int rcTypCharCaseSensitive(const rcConn *conn)
{
    for (uint16_t i = 0; i < Rows(conn, false); ++i)
        if (conn->typeEntries[i].sqlType == SQL_CHAR)
            return (conn->typeEntries[i].flags & RC_TYPE_CASE_SENSITIVE) ? 1 : 0;
    return 1;
}

uint32_t rcTypConvertMask(const rcConn *conn, uint32_t *mask)
{
    uint32_t bits = 0;
    for (uint16_t i = 0; i < Rows(conn, false); ++i) {
        switch (conn->typeEntries[i].sqlType) {
        case SQL_CHAR: bits |= SQL_CVT_CHAR; break;
        case SQL_NUMERIC: bits |= SQL_CVT_NUMERIC; break;
        case SQL_DECIMAL: bits |= SQL_CVT_DECIMAL; break;
        case SQL_INTEGER: bits |= SQL_CVT_INTEGER; break;
        case SQL_SMALLINT: bits |= SQL_CVT_SMALLINT; break;
        case SQL_FLOAT: bits |= SQL_CVT_FLOAT; break;
        case SQL_REAL: bits |= SQL_CVT_REAL; break;
        case SQL_DOUBLE: bits |= SQL_CVT_DOUBLE; break;
        case SQL_VARCHAR: bits |= SQL_CVT_VARCHAR; break;
        case SQL_LONGVARCHAR: bits |= SQL_CVT_LONGVARCHAR; break;
        case SQL_BINARY: bits |= SQL_CVT_BINARY; break;
        case SQL_BIT: bits |= SQL_CVT_BIT; break;
        case SQL_TINYINT: bits |= SQL_CVT_TINYINT; break;
        case SQL_BIGINT: bits |= SQL_CVT_BIGINT; break;
        case SQL_DATE: bits |= SQL_CVT_DATE; break;
        case SQL_TIME: bits |= SQL_CVT_TIME; break;
        case SQL_TIMESTAMP: bits |= SQL_CVT_TIMESTAMP; break;
        case SQL_LONGVARBINARY: bits |= SQL_CVT_LONGVARBINARY; break;
        default: break;
        }
    }
    *mask = Rows(conn, false) ? (*mask & bits) : 0;
    return bits;
}

// ---- more accessors ----

namespace {

const rcTypeEntry *EntryOf(const rcConn *conn, bool all, int16_t sqlType)
{
    for (uint16_t i = 0; i < Rows(conn, all); ++i)
        if (conn->typeEntries[i].sqlType == sqlType)
            return &conn->typeEntries[i];
    return nullptr;
}

} // namespace

int rcTypIsSourceEngineType(const rcConn *conn, int16_t engineType)
{
    for (uint16_t i = 0; i < Rows(conn, false); ++i)
        if (conn->typeMappings[i].engineType == engineType)
            return 1;
    return 0;
}

int rcTypFindBest(const rcConn *conn, int mode, int16_t sqlType, int32_t precision, uint16_t *index)
{
    for (uint16_t i = 0; i < Rows(conn, mode != 0); ++i) {
        const rcTypeEntry &e = conn->typeEntries[i];
        if (e.sqlType != sqlType)
            continue;
        if (sqlType == SQL_TIMESTAMP && static_cast<int64_t>(e.precision) < precision)
            continue;
        *index = i;
        return 0;
    }
    return -1;
}

int rcTypSqlTypeAt(const rcConn *conn, int index, int16_t *out)
{
    if (index < 0 || index >= kRcTypeRows || index >= conn->typeMappingCount)
        return -1;
    *out = conn->typeMappings[index].sqlType;
    return 0;
}

int16_t rcTypCTypeAt(const rcConn *conn, uint16_t index) { return conn->typeMappings[index].cType; }

uint32_t rcTypCatPrecision(const rcConn *conn, int16_t sqlType)
{
    const rcTypeEntry *e = EntryOf(conn, true, sqlType);
    return e ? e->precision : 0;
}

int16_t rcTypCatMaxScale(const rcConn *conn, int16_t sqlType)
{
    const rcTypeEntry *e = EntryOf(conn, true, sqlType);
    return e ? e->maxScale : kRcNoScale;
}

int rcTypOctetLengthOf(const rcConn *conn, int16_t sqlType, uint32_t *out)
{
    const rcTypeEntry *e = EntryOf(conn, true, sqlType);
    if (!e)
        return 0;
    *out = e->octetLength;
    return 1;
}

int rcTypFixedLength(const rcConn *conn, int16_t sqlType, uint32_t *out)
{
    switch (sqlType) {
    case SQL_DATE:
    case SQL_TIME: *out = 6; return 1;
    case SQL_TIMESTAMP: *out = 16; return 1;
    case RC_SQL_DECIMAL38: *out = 38; return 1;
    default: return rcTypOctetLengthOf(conn, sqlType, out);
    }
}

int rcTypFitColumnType(const rcConn *conn, rcTypColumnDesc *c)
{
    if (rcTypIsSourceEngineType(conn, c->type))
        return 0;
    switch (c->type) {
    case SQL_VARCHAR: c->type = SQL_CHAR; break;
    case SQL_CHAR: c->type = SQL_VARCHAR; break;
    case SQL_LONGVARCHAR: {
        c->type = rcTypIsSupported(conn, SQL_CHAR) ? SQL_CHAR : SQL_VARCHAR;
        uint32_t octets = 0;
        if (rcTypOctetLengthOf(conn, c->type, &octets))
            c->length = static_cast<uint16_t>(std::min<uint32_t>(octets, 0xFFFF));
        break;
    }
    case SQL_INTEGER:
        if (rcTypIsSourceEngineType(conn, RC_SQL_DECIMAL38)) {
            c->type = RC_SQL_DECIMAL38;
            c->length = 38;
            c->precision = 10;
            c->scale = 0;
        } else {
            c->type = SQL_DOUBLE;
            c->length = 8;
        }
        break;
    default: break;
    }
    return 0;
}

// ---- more pure rules ----

int32_t rcTypDisplaySize(int16_t t, int32_t length, int32_t precision)
{
    return rcSqlDisplaySize(t, length, precision);
}

int32_t rcTypOctetLength(int16_t t, int32_t length, int32_t precision)
{
    if (rcTypIsFixedLength(t))
        return rcCnvSqlValueLength(nullptr, t);
    if (t == SQL_DECIMAL)
        return precision + 2;
    if ((t == SQL_LONGVARCHAR || t == SQL_LONGVARBINARY) && length == 0)
        return 65500;
    return length;
}

int32_t rcTypDecimalLength(int16_t t, int32_t length, int32_t precision)
{
    return t == SQL_DECIMAL ? precision + 2 : length;
}

int16_t rcTypBinaryResult(int16_t a, int16_t b)
{
    static constexpr int16_t kOrder[] = {
        SQL_TIMESTAMP,        SQL_DATE,   SQL_TIME, SQL_LONGVARCHAR, RC_SQL_DECIMAL38,
        RC_SQL_SCALED64,      SQL_DOUBLE, SQL_REAL, SQL_INTEGER,     SQL_SMALLINT,
        RC_SQL_ENGINE_TINYINT};
    for (int16_t t : kOrder)
        if (a == t || b == t)
            return t;
    return a;
}

int rcTypRank(int16_t t)
{
    switch (t) {
    case SQL_BIT: return 55;
    case RC_SQL_ENGINE_TINYINT:
    case SQL_TINYINT: return 60;
    case SQL_SMALLINT: return 65;
    case SQL_INTEGER: return 70;
    case SQL_REAL: return 75;
    case SQL_FLOAT: return 80;
    case SQL_TIME: return 85;
    case SQL_DATE: return 90;
    case SQL_TIMESTAMP: return 95;
    case SQL_DOUBLE:
    case RC_SQL_SCALED64: return 100;
    case RC_SQL_DECIMAL38: return 110;
    default: return 0;
    }
}
