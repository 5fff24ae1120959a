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
    {SQL_ACTIVE_CONNECTIONS, RC_INFO_U16, 0},
    {SQL_ACTIVE_STATEMENTS, RC_INFO_U16, 0},
    {SQL_FETCH_DIRECTION, RC_INFO_U32, SQL_FD_FETCH_NEXT},
    {SQL_ODBC_API_CONFORMANCE, RC_INFO_U16, SQL_OAC_LEVEL2},
    {SQL_ODBC_VER, RC_INFO_TEXT, T("02.00")},
    {SQL_ODBC_SAG_CLI_CONFORMANCE, RC_INFO_U16, SQL_OSCC_COMPLIANT},
    {SQL_SEARCH_PATTERN_ESCAPE, RC_INFO_TEXT, T("\\")},
    {SQL_ODBC_SQL_CONFORMANCE, RC_INFO_U16, SQL_OSC_MINIMUM},
    {SQL_ACCESSIBLE_TABLES, RC_INFO_TEXT, T("N")},
    {SQL_CONCAT_NULL_BEHAVIOR, RC_INFO_U16, SQL_CB_NON_NULL},
    {SQL_CURSOR_COMMIT_BEHAVIOR, RC_INFO_U16, SQL_CB_CLOSE},
    {SQL_CURSOR_ROLLBACK_BEHAVIOR, RC_INFO_U16, SQL_CB_CLOSE},
    {SQL_EXPRESSIONS_IN_ORDERBY, RC_INFO_TEXT, T("Y")},
    {SQL_IDENTIFIER_QUOTE_CHAR, RC_INFO_TEXT, T("\"")},
    {SQL_MAX_CURSOR_NAME_LEN, RC_INFO_U16, 18},
    {SQL_MAX_OWNER_NAME_LEN, RC_INFO_U16, 0},
    {SQL_MULT_RESULT_SETS, RC_INFO_TEXT, T("N")},
    {SQL_MULTIPLE_ACTIVE_TXN, RC_INFO_TEXT, T("N")},
    {SQL_OUTER_JOINS, RC_INFO_TEXT, T("Y")},
    {SQL_OWNER_TERM, RC_INFO_TEXT, T("")},
    {SQL_PROCEDURE_TERM, RC_INFO_TEXT, T("DRM vendor procedure")},
    {SQL_SCROLL_CONCURRENCY, RC_INFO_U32, SQL_SCCO_READ_ONLY},
    {SQL_SCROLL_OPTIONS, RC_INFO_U32, SQL_SO_FORWARD_ONLY | SQL_SO_STATIC},
    {SQL_TABLE_TERM, RC_INFO_TEXT, T("TABLE")},
    {SQL_CONVERT_FUNCTIONS, RC_INFO_U32, SQL_FN_CVT_CONVERT},
    {SQL_ODBC_SQL_OPT_IEF, RC_INFO_TEXT, T("N")},
    {SQL_CORRELATION_NAME, RC_INFO_U16, SQL_CN_ANY},
    {SQL_DRIVER_ODBC_VER, RC_INFO_TEXT, T("02.00")},
    {SQL_LOCK_TYPES, RC_INFO_U32, SQL_LCK_EXCLUSIVE},
    {SQL_POS_OPERATIONS, RC_INFO_U32, 0},
    {SQL_POSITIONED_STATEMENTS, RC_INFO_U32, 0},
    {SQL_GETDATA_EXTENSIONS, RC_INFO_U32, SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER},
    {SQL_BOOKMARK_PERSISTENCE, RC_INFO_U32, 0},
    {SQL_STATIC_SENSITIVITY, RC_INFO_U32, 0},
    {SQL_NULL_COLLATION, RC_INFO_U16, SQL_NC_LOW},
    {SQL_ALTER_TABLE, RC_INFO_U32, 0},
    {SQL_COLUMN_ALIAS, RC_INFO_TEXT, T("Y")},
    {SQL_GROUP_BY, RC_INFO_U16, SQL_GB_GROUP_BY_CONTAINS_SELECT},
    {SQL_KEYWORDS, RC_INFO_TEXT, T("USE,IF,SVBEGIN,SVEND")},
    {SQL_ORDER_BY_COLUMNS_IN_SELECT, RC_INFO_TEXT, T("N")},
    {SQL_OWNER_USAGE, RC_INFO_U32, 0},
    {SQL_QUALIFIER_USAGE, RC_INFO_U32,
     SQL_QU_DML_STATEMENTS | SQL_QU_TABLE_DEFINITION | SQL_QU_INDEX_DEFINITION},
    {SQL_SPECIAL_CHARACTERS, RC_INFO_TEXT, T("")},
    {SQL_SUBQUERIES, RC_INFO_U32,
     SQL_SQ_COMPARISON | SQL_SQ_EXISTS | SQL_SQ_IN | SQL_SQ_QUANTIFIED |
         SQL_SQ_CORRELATED_SUBQUERIES},
    {SQL_UNION, RC_INFO_U32, SQL_U_UNION | SQL_U_UNION_ALL},
    {SQL_MAX_COLUMNS_IN_GROUP_BY, RC_INFO_U16, 255},
    {SQL_MAX_COLUMNS_IN_INDEX, RC_INFO_U16, 255},
    {SQL_MAX_COLUMNS_IN_ORDER_BY, RC_INFO_U16, 255},
    {SQL_MAX_INDEX_SIZE, RC_INFO_U32, 0},
    {SQL_MAX_ROW_SIZE_INCLUDES_LONG, RC_INFO_TEXT, T("Y")},
    {SQL_MAX_STATEMENT_LEN, RC_INFO_U32, 16384},
    {SQL_MAX_TABLES_IN_SELECT, RC_INFO_U16, 0},
    {SQL_MAX_USER_NAME_LEN, RC_INFO_U16, 128},
    {SQL_MAX_CHAR_LITERAL_LEN, RC_INFO_U32, 1000},
    {SQL_TIMEDATE_ADD_INTERVALS, RC_INFO_U32, 0},
    {SQL_TIMEDATE_DIFF_INTERVALS, RC_INFO_U32, 0},
    {SQL_NEED_LONG_DATA_LEN, RC_INFO_TEXT, T("N")},
    {SQL_MAX_BINARY_LITERAL_LEN, RC_INFO_U32, 1000},
    {SQL_LIKE_ESCAPE_CLAUSE, RC_INFO_TEXT, T("Y")},
    {SQL_QUALIFIER_LOCATION, RC_INFO_U16, SQL_QL_START},
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
    case SQL_CONVERT_BIGINT:
    case SQL_CONVERT_BINARY:
    case SQL_CONVERT_VARBINARY:
    case SQL_CONVERT_LONGVARBINARY: return 0;
    case SQL_CONVERT_BIT:
    case SQL_CONVERT_DECIMAL:
    case SQL_CONVERT_DOUBLE:
    case SQL_CONVERT_FLOAT:
    case SQL_CONVERT_INTEGER:
    case SQL_CONVERT_NUMERIC:
    case SQL_CONVERT_REAL:
    case SQL_CONVERT_SMALLINT:
    case SQL_CONVERT_TINYINT:
        return SQL_CVT_CHAR | SQL_CVT_NUMERIC | SQL_CVT_DECIMAL | SQL_CVT_INTEGER |
               SQL_CVT_SMALLINT | SQL_CVT_FLOAT | SQL_CVT_REAL | SQL_CVT_DOUBLE | SQL_CVT_VARCHAR |
               SQL_CVT_LONGVARCHAR | SQL_CVT_BIT | SQL_CVT_TINYINT;
    case SQL_CONVERT_CHAR:
    case SQL_CONVERT_VARCHAR:
        return SQL_CVT_CHAR | SQL_CVT_DECIMAL | SQL_CVT_INTEGER | SQL_CVT_SMALLINT | SQL_CVT_FLOAT |
               SQL_CVT_REAL | SQL_CVT_DOUBLE | SQL_CVT_VARCHAR | SQL_CVT_LONGVARCHAR | SQL_CVT_BIT |
               SQL_CVT_TINYINT | SQL_CVT_DATE | SQL_CVT_TIME | SQL_CVT_TIMESTAMP;
    case SQL_CONVERT_DATE: return SQL_CVT_CHAR | SQL_CVT_VARCHAR | SQL_CVT_DATE | SQL_CVT_TIMESTAMP;
    case SQL_CONVERT_LONGVARCHAR: return SQL_CVT_CHAR | SQL_CVT_VARCHAR | SQL_CVT_LONGVARCHAR;
    case SQL_CONVERT_TIME: return SQL_CVT_CHAR | SQL_CVT_VARCHAR | SQL_CVT_TIME | SQL_CVT_TIMESTAMP;
    case SQL_CONVERT_TIMESTAMP:
        return SQL_CVT_CHAR | SQL_CVT_VARCHAR | SQL_CVT_DATE | SQL_CVT_TIME | SQL_CVT_TIMESTAMP;
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
    uint32_t item = infoType == SQL_DEFAULT_TXN_ISOLATION  ? 117
                    : infoType == SQL_TXN_ISOLATION_OPTION ? 116
                                                           : 115;
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

int rcDrsGetInfo(rcConn *conn, uint16_t type, uintptr_t *value, rcInfoKind *kind)
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
    case SQL_DATA_SOURCE_NAME: return text(conn->attrs ? conn->attrs[RC_ATTR_DSN].value : "");
    case SQL_DRIVER_NAME: return text(info.driverName);
    case SQL_DRIVER_VER:
        *value = RC_TXT_DRIVER_VERSION;
        *kind = RC_INFO_STRING_ID;
        return 0;
    case SQL_ROW_UPDATES: return text(info.access & 0x8 ? "Y" : "N");
    case SQL_SERVER_NAME:
    case SQL_DBMS_NAME: return text(info.dbmsName);
    case SQL_DATABASE_NAME: return text(conn->qualifier);
    case SQL_DBMS_VER: return text(info.isamVersion);
    case SQL_ACCESSIBLE_PROCEDURES:
    case SQL_PROCEDURES: return text(procedures ? "Y" : "N");
    case SQL_DATA_SOURCE_READ_ONLY:
        return text(conn->accessMode == SQL_MODE_READ_ONLY || (info.access & 0x1C) == 0 ? "Y"
                                                                                        : "N");
    case SQL_DEFAULT_TXN_ISOLATION:
    case SQL_TXN_ISOLATION_OPTION:
    case SQL_TXN_CAPABLE: {
        uint32_t v = 0;
        rcInfDrmBitmask(conn, type, &v);
        // A capability of 5 is answered as 0; the isolation answers are bit
        // masks, where 5 is an ordinary value.
        if (type == SQL_TXN_CAPABLE && v == 5)
            v = 0;
        return type == SQL_TXN_CAPABLE ? u16(v) : u32(v);
    }
    case SQL_IDENTIFIER_CASE:
    case SQL_QUOTED_IDENTIFIER_CASE: return u16(anyCase ? SQL_IC_SENSITIVE : SQL_IC_MIXED);
    case SQL_MAX_COLUMN_NAME_LEN: return u16(info.colNameMaxLen);
    case SQL_MAX_PROCEDURE_NAME_LEN: return u16(procedures ? 64 : 0);
    case SQL_MAX_QUALIFIER_NAME_LEN: return u16(info.qualMaxLen);
    case SQL_MAX_TABLE_NAME_LEN: return u16(info.tabNameMaxLen);
    case SQL_QUALIFIER_NAME_SEPARATOR: return text(".");
    case SQL_QUALIFIER_TERM: return text(info.qualTerm);
    case SQL_USER_NAME: return text(conn->attrs ? conn->attrs[RC_ATTR_UID].value : "");
    case SQL_NON_NULLABLE_COLUMNS: return u16(info.colNullable ? SQL_NNC_NON_NULL : SQL_NNC_NULL);
    case SQL_FILE_USAGE: return u16(SQL_FILE_QUALIFIER);
    case SQL_MAX_COLUMNS_IN_SELECT:
    case SQL_MAX_COLUMNS_IN_TABLE: return u16(conn->maxColSupport);
    case SQL_MAX_ROW_SIZE: return u32(0);
    default: break;
    }
    if (type >= SQL_CONVERT_BIGINT && type <= SQL_CONVERT_LONGVARBINARY) {
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
    if (rcDrsGetInfo(conn, info, &value, &kind) != 0)
        return 0;
    return (static_cast<uint32_t>(value) & bit) ? 1 : 0;
}
