// The connection's type catalog (see rctypecat.h).
#include "driver/core/rctypecat.h"

#include "driver/core/rccnv.h"
#include "driver/core/rcconn.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/tam.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <strings.h>

const rcTypeMapping rcTypStaticMappings[kRcTypeRows] = {
    {1, 1, 10, 1},     {2, 1, 5, RC_SQL_SCALED64}, {3, 1, 103, RC_SQL_DECIMAL38}, {4, 4, 4, 4},
    {5, 5, 3, 5},      {6, 8, 0, 6},               {7, 7, 6, 7},                  {8, 8, 7, 8},
    {12, 1, 104, 12},  {9, 9, 101, 9},             {10, 10, 102, 10},             {11, 11, 8, 11},
    {-1, 1, 12, -1},   {-6, -6, 2, RC_SQL_ENGINE_TINYINT}, {-7, -7, 1, -7},       {-2, -2, 9, -2},
    {-4, -2, 11, -4},
};

namespace {

struct StaticDefault {
    int16_t sqlType;
    uint32_t octetLength;
    int16_t maxScale;
    uint32_t precision;
};

constexpr StaticDefault kDefaults[kRcTypeRows] = {
    {1, 256, 0, 0},   {2, 22, 4, 18},  {3, 65, 64, 65}, {4, 4, 0, 11},      {5, 2, 0, 6},    {6, 8, 37, 37},
    {7, 4, 37, 37},   {8, 8, 37, 37},  {12, 512, 0, 511}, {9, 6, 0, 10},    {10, 6, 0, 8},   {11, 16, 0, 26},
    {-1, 65500, 0, 0}, {-6, 1, 0, 4},  {-7, 1, 0, 1},   {-2, 256, 0, 0},    {-4, 65500, 0, 0},
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

int32_t rcTypColumnSize(int16_t t, int32_t length, int32_t precision)
{
    switch (t) {
    case -28: return 3;
    case -7: return 1;
    case -6: return 3;
    case 2: return 10;
    case 3: return precision;
    case 4: return 10;
    case 5: return 5;
    case 6: return 15;
    case 7: return 7;
    case 8: return 15;
    case 9: return 10;
    case 10: return 8;
    case 11: return precision ? precision : 30;
    case RC_SQL_DECIMAL38: return precision;
    default: return length;
    }
}

int16_t rcTypScale(int16_t t, int16_t scale)
{
    switch (t) {
    case -7: case -6: case -5: case 4: case 5: case 11:
        return 0;
    case 3: case RC_SQL_DECIMAL38:
        return scale;
    default:
        return -30000;
    }
}

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
            return static_cast<int16_t>(rcErrRaise(&conn->errors, RC_ENG_INVALID_DUPLICATE_DRM_COLTYP_SPECIFIED));
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
        e.precision = static_cast<uint32_t>(
            rcTypColumnSize(m->sqlType, static_cast<int32_t>(e.octetLength), static_cast<int32_t>(row.precision)));
        int16_t scale = rcTypScale(m->sqlType, row.scale);
        e.maxScale = scale == -30000 ? kRcNoScale : scale;
        switch (m->sqlType) {
        case -7: case -6: case 2: case 3: case 4: case 5:
            e.minScale = 0;
            break;
        default:
            e.minScale = kRcNoScale;
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

uint16_t Rows(const rcConn *conn, bool all) { return all ? conn->typeMappingCount : conn->typeEntryCount; }

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

int rcTypCTypeOf(const rcConn *conn, int16_t sqlType, int16_t *out)
{
    for (uint16_t i = 0; i < Rows(conn, true); ++i)
        if (conn->typeMappings[i].sqlType == sqlType) {
            *out = conn->typeMappings[i].cType;
            return 0;
        }
    return -1;
}

const char *rcTypName(const rcConn *conn, int16_t sqlType)
{
    for (uint16_t i = 0; i < Rows(conn, false); ++i)
        if (conn->typeEntries[i].sqlType == sqlType)
            return conn->typeEntries[i].typeName ? conn->typeEntries[i].typeName : "";
    return "";
}

int rcTypFindByName(const rcConn *conn, const char *name, int16_t *sqlType)
{
    for (uint16_t i = 0; i < Rows(conn, false); ++i) {
        const char *n = conn->typeEntries[i].typeName;
        if (n && strcasecmp(n, name) == 0) {
            *sqlType = conn->typeEntries[i].sqlType;
            return 0;
        }
    }
    return -1;
}

const rcTypeEntry *rcTypEntry(const rcConn *conn, uint16_t index) { return &conn->typeEntries[index]; }

int rcTypCharCaseSensitive(const rcConn *conn)
{
    for (uint16_t i = 0; i < Rows(conn, false); ++i)
        if (conn->typeEntries[i].sqlType == 1)
            return (conn->typeEntries[i].flags & RC_TYPE_CASE_SENSITIVE) ? 1 : 0;
    return 1;
}

uint32_t rcTypConvertMask(const rcConn *conn, uint32_t *mask)
{
    uint32_t bits = 0;
    for (uint16_t i = 0; i < Rows(conn, false); ++i) {
        switch (conn->typeEntries[i].sqlType) {
        case 1: bits |= 0x1; break;
        case 2: bits |= 0x2; break;
        case 3: bits |= 0x4; break;
        case 4: bits |= 0x8; break;
        case 5: bits |= 0x10; break;
        case 6: bits |= 0x20; break;
        case 7: bits |= 0x40; break;
        case 8: bits |= 0x80; break;
        case 12: bits |= 0x100; break;
        case -1: bits |= 0x200; break;
        case -2: bits |= 0x400; break;
        case -7: bits |= 0x1000; break;
        case -6: bits |= 0x2000; break;
        case -5: bits |= 0x4000; break;
        case 9: bits |= 0x8000; break;
        case 10: bits |= 0x10000; break;
        case 11: bits |= 0x20000; break;
        case -4: bits |= 0x40000; break;
        default: break;
        }
    }
    *mask = Rows(conn, false) ? (*mask & bits) : 0;
    return bits;
}

int rcTypNullable(const rcConn *conn, int16_t engineType)
{
    for (uint16_t i = 0; i < Rows(conn, true); ++i)
        if (conn->typeMappings[i].engineType == engineType) {
            uint32_t f = conn->typeEntries[i].flags;
            if (!(f & RC_TYPE_NULLABILITY_KNOWN))
                return 2;
            return (f & RC_TYPE_NULLABLE) ? 1 : 0;
        }
    return 2;
}
