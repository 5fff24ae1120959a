// Driver information: the answers of SQLGetInfo (see rcinfo.h).
#include "driver/odbc/rcinfo.h"

#include "driver/odbc/rcconn.h"
#include "driver/core/rcmsgid.h"
#include "driver/odbc/rctypecat.h"
#include "driver/engine/tam_drminfo.h"
#include "driver/odbc/rctxn.h"
#include "driver/frontend/rcprsfn.h"

#include <cstring>

namespace {

struct Fixed {
    uint16_t type;
    rcInfoKind kind;
    uintptr_t value;
};

uintptr_t T(const char *text) { return reinterpret_cast<uintptr_t>(text); }

// Answers that never change.
const Fixed kFixed[] = {
    {0, RC_INFO_U16, 0},
    {1, RC_INFO_U16, 0},
    {8, RC_INFO_U32, 1},
    {9, RC_INFO_U16, 2},
    {10, RC_INFO_TEXT, T("02.00")},
    {12, RC_INFO_U16, 1},
    {14, RC_INFO_TEXT, T("\\")},
    {15, RC_INFO_U16, 0},
    {19, RC_INFO_TEXT, T("N")},
    {22, RC_INFO_U16, 1},
    {23, RC_INFO_U16, 1},
    {24, RC_INFO_U16, 1},
    {27, RC_INFO_TEXT, T("Y")},
    {29, RC_INFO_TEXT, T("\"")},
    {31, RC_INFO_U16, 18},
    {32, RC_INFO_U16, 0},
    {36, RC_INFO_TEXT, T("N")},
    {37, RC_INFO_TEXT, T("N")},
    {38, RC_INFO_TEXT, T("Y")},
    {39, RC_INFO_TEXT, T("")},
    {40, RC_INFO_TEXT, T("DRM vendor procedure")},
    {43, RC_INFO_U32, 1},
    {44, RC_INFO_U32, 17},
    {45, RC_INFO_TEXT, T("TABLE")},
    {48, RC_INFO_U32, 1},
    {73, RC_INFO_TEXT, T("N")},
    {74, RC_INFO_U16, 2},
    {77, RC_INFO_TEXT, T("02.00")},
    {78, RC_INFO_U32, 2},
    {79, RC_INFO_U32, 0},
    {80, RC_INFO_U32, 0},
    {81, RC_INFO_U32, 3},
    {82, RC_INFO_U32, 0},
    {83, RC_INFO_U32, 0},
    {85, RC_INFO_U16, 1},
    {86, RC_INFO_U32, 0},
    {87, RC_INFO_TEXT, T("Y")},
    {88, RC_INFO_U16, 2},
    {89, RC_INFO_TEXT, T("USE,IF,SVBEGIN,SVEND")},
    {90, RC_INFO_TEXT, T("N")},
    {91, RC_INFO_U32, 0},
    {92, RC_INFO_U32, 13},
    {94, RC_INFO_TEXT, T("")},
    {95, RC_INFO_U32, 31},
    {96, RC_INFO_U32, 3},
    {97, RC_INFO_U16, 255},
    {98, RC_INFO_U16, 255},
    {99, RC_INFO_U16, 255},
    {102, RC_INFO_U32, 0},
    {103, RC_INFO_TEXT, T("Y")},
    {105, RC_INFO_U32, 16384},
    {106, RC_INFO_U16, 0},
    {107, RC_INFO_U16, 128},
    {108, RC_INFO_U32, 1000},
    {109, RC_INFO_U32, 0},
    {110, RC_INFO_U32, 0},
    {111, RC_INFO_TEXT, T("N")},
    {112, RC_INFO_U32, 1000},
    {113, RC_INFO_TEXT, T("Y")},
    {114, RC_INFO_U16, 1},
    {1001, RC_INFO_U32, 12345},
    {1002, RC_INFO_TEXT, T("Company=Zorvi;Driver=Engine;")},
    {10021, RC_INFO_U32, 0},
    {65002, RC_INFO_U32, 89},
    {65003, RC_INFO_U32, 89},
};

// The conversion masks before the data source's filter.
uint32_t ConvertMask(uint16_t type)
{
    switch (type) {
    case 53:
    case 54:
    case 69:
    case 71: return 0;
    case 55:
    case 58:
    case 59:
    case 60:
    case 61:
    case 63:
    case 64:
    case 65:
    case 68: return 13311;
    case 56:
    case 70: return 242685;
    case 57: return 164097;
    case 62: return 769;
    case 66: return 196865;
    case 67: return 229633;
    default: return 0;
    }
}

const char *Text(const char *t) { return t ? t : ""; }

// The scalar functions the parser accepts, by information type and bit.
struct FnBit {
    const char *name;
    uint16_t infoType;
    uint32_t bit;
};
const FnBit kFnBits[] = {
    {"MOD", SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_MOD},
    {"CONCAT", SQL_STRING_FUNCTIONS, SQL_FN_STR_CONCAT},
    {"LEFT", SQL_STRING_FUNCTIONS, SQL_FN_STR_LEFT},
    {"LTRIM", SQL_STRING_FUNCTIONS, SQL_FN_STR_LTRIM},
    {"LENGTH", SQL_STRING_FUNCTIONS, SQL_FN_STR_LENGTH},
    {"LOCATE", SQL_STRING_FUNCTIONS, SQL_FN_STR_LOCATE | SQL_FN_STR_LOCATE_2},
    {"LCASE", SQL_STRING_FUNCTIONS, SQL_FN_STR_LCASE},
    {"RIGHT", SQL_STRING_FUNCTIONS, SQL_FN_STR_RIGHT},
    {"RTRIM", SQL_STRING_FUNCTIONS, SQL_FN_STR_RTRIM},
    {"SUBSTRING", SQL_STRING_FUNCTIONS, SQL_FN_STR_SUBSTRING},
    {"UCASE", SQL_STRING_FUNCTIONS, SQL_FN_STR_UCASE},
    {"USER", SQL_SYSTEM_FUNCTIONS, SQL_FN_SYS_USERNAME},
    {"DATABASE", SQL_SYSTEM_FUNCTIONS, SQL_FN_SYS_DBNAME},
    {"CURDATE", SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURDATE},
    {"CURTIME", SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURTIME},
    {"DAYOFMONTH", SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_DAYOFMONTH},
    {"DAYOFWEEK", SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_DAYOFWEEK},
    {"MONTH", SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_MONTH},
    {"QUARTER", SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_QUARTER},
    {"YEAR", SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_YEAR},
};

// The function mask of an information type: the bits of the functions the
// parser's table holds, so the answer follows what the driver accepts.
uint32_t FunctionMask(uint16_t infoType)
{
    int count = 0;
    const rcScalarFnEntry *table = rcPrsScalarFnTable(&count);
    uint32_t mask = 0;
    for (int i = 0; i < count; ++i)
        for (const FnBit &f : kFnBits)
            if (f.infoType == infoType && std::strcmp(f.name, table[i].name) == 0)
                mask |= f.bit;
    return mask;
}

} // namespace

int rcInfDrmBitmask(rcConn *conn, uint16_t infoType, uint32_t *value)
{
    uint32_t item = infoType == 26 ? 117 : infoType == 72 ? 116 : 115;
    uint32_t v = 0;
    if (TamGetSessionInfo(conn->session, item, &v, sizeof v) != 0) {
        *value = 0;
        return -1;
    }
    if (item == 115) {
        *value = v <= 5 ? v : 0;
        return 0;
    }
    v &= 0x1F;
    if (item == 117)
        rcTxnSetDefaultIsolation(v);
    else
        rcTxnSetFlag(v);
    *value = v;
    return 0;
}

int rcInfAnswer(rcConn *conn, uint16_t type, uintptr_t *value, rcInfoKind *kind)
{
    for (const Fixed &f : kFixed) {
        if (f.type == type) {
            *value = f.value;
            *kind = f.kind;
            return 0;
        }
    }
    const rcSourceInfo &info = conn->info;
    auto text = [&](const char *t) {
        *value = T(Text(t));
        *kind = RC_INFO_TEXT;
        return 0;
    };
    auto u16 = [&](uint32_t v) {
        *value = v;
        *kind = RC_INFO_U16;
        return 0;
    };
    auto u32 = [&](uint32_t v) {
        *value = v;
        *kind = RC_INFO_U32;
        return 0;
    };
    bool procedures = (info.capabilities & RC_CAP_PROCEDURES) != 0;
    bool anyCase =
        (info.capabilities & (RC_CAP_TABLE_CASE | RC_CAP_COLUMN_CASE | RC_CAP_QUALIFIER_CASE)) != 0;
    switch (type) {
    case SQL_NUMERIC_FUNCTIONS:
    case SQL_STRING_FUNCTIONS:
    case SQL_SYSTEM_FUNCTIONS:
    case SQL_TIMEDATE_FUNCTIONS: return u32(FunctionMask(type));
    case 2: return text(conn->attrs ? conn->attrs[RC_ATTR_DSN].value : "");
    case 6: return text(info.driverName);
    case 7:
        *value = RC_TXT_DRIVER_VERSION;
        *kind = RC_INFO_STRING_ID;
        return 0;
    case 11: return text(info.access & 0x8 ? "Y" : "N");
    case 13:
    case 17: return text(info.dbmsName);
    case 16: return text(conn->qualifier);
    case 18: return text(info.isamVersion);
    case 20:
    case 21: return text(procedures ? "Y" : "N");
    case 25:
        return text(conn->accessMode == SQL_MODE_READ_ONLY || (info.access & 0x1C) == 0 ? "Y"
                                                                                        : "N");
    case 26:
    case 72:
    case 46: {
        uint32_t v = 0;
        rcInfDrmBitmask(conn, type, &v);
        // A capability of 5 is answered as 0; the isolation answers are bit
        // masks, where 5 is an ordinary value.
        if (type == 46 && v == 5)
            v = 0;
        return type == 46 ? u16(v) : u32(v);
    }
    case 28:
    case 93: return u16(anyCase ? 3 : 4);
    case 30: return u16(info.colNameMaxLen);
    case 33: return u16(procedures ? 64 : 0);
    case 34: return u16(info.qualMaxLen);
    case 35: return u16(info.tabNameMaxLen);
    case 41: return text(".");
    case 42: return text(info.qualTerm);
    case 47: return text(conn->attrs ? conn->attrs[RC_ATTR_UID].value : "");
    case 75: return u16(info.colNullable ? 1 : 0);
    case 84: return u16(2);
    case 100:
    case 101: return u16(conn->maxColSupport);
    case 104: return u32(0);
    default: break;
    }
    if (type >= 53 && type <= 71) {
        uint32_t mask = ConvertMask(type);
        rcTypConvertMask(conn, &mask);
        return u32(mask);
    }
    rcErrRaise(&conn->errors, RC_MSG_DRIVER_NOT_CAPABLE);
    return -1;
}

int rcInfCanConvert(rcConn *conn, int16_t from, int16_t to)
{
    static constexpr struct {
        int16_t sqlType;
        uint16_t info;
        uint32_t bit;
    } kTypes[] = {
        {SQL_BIT, SQL_CONVERT_BIT, SQL_CVT_BIT},
        {SQL_TINYINT, SQL_CONVERT_TINYINT, SQL_CVT_TINYINT},
        {SQL_BIGINT, SQL_CONVERT_BIGINT, SQL_CVT_BIGINT},
        {SQL_LONGVARBINARY, SQL_CONVERT_LONGVARBINARY, SQL_CVT_LONGVARBINARY},
        {SQL_VARBINARY, SQL_CONVERT_VARBINARY, SQL_CVT_VARBINARY},
        {SQL_BINARY, SQL_CONVERT_BINARY, SQL_CVT_BINARY},
        {SQL_LONGVARCHAR, SQL_CONVERT_LONGVARCHAR, SQL_CVT_LONGVARCHAR},
        {SQL_CHAR, SQL_CONVERT_CHAR, SQL_CVT_CHAR},
        {SQL_NUMERIC, SQL_CONVERT_NUMERIC, SQL_CVT_NUMERIC},
        {SQL_DECIMAL, SQL_CONVERT_DECIMAL, SQL_CVT_DECIMAL},
        {SQL_INTEGER, SQL_CONVERT_INTEGER, SQL_CVT_INTEGER},
        {SQL_SMALLINT, SQL_CONVERT_SMALLINT, SQL_CVT_SMALLINT},
        {SQL_FLOAT, SQL_CONVERT_FLOAT, SQL_CVT_FLOAT},
        {SQL_REAL, SQL_CONVERT_REAL, SQL_CVT_REAL},
        {SQL_DOUBLE, SQL_CONVERT_DOUBLE, SQL_CVT_DOUBLE},
        {SQL_DATE, SQL_CONVERT_DATE, SQL_CVT_DATE},
        {SQL_TIME, SQL_CONVERT_TIME, SQL_CVT_TIME},
        {SQL_TIMESTAMP, SQL_CONVERT_TIMESTAMP, SQL_CVT_TIMESTAMP},
        {SQL_VARCHAR, SQL_CONVERT_VARCHAR, SQL_CVT_VARCHAR},
    };
    uint16_t info = 0;
    uint32_t bit = 0;
    for (const auto &t : kTypes) {
        if (t.sqlType == from)
            info = t.info;
        if (t.sqlType == to)
            bit = t.bit;
    }
    if (!info || !bit)
        return 0;
    uintptr_t value = 0;
    rcInfoKind kind{};
    if (rcInfAnswer(conn, info, &value, &kind) != 0)
        return 0;
    return (static_cast<uint32_t>(value) & bit) ? 1 : 0;
}
