// SQLTables and SQLColumns: the data module's table and column catalogs and
// the driver's stored views, which both list beside the server's tables
// unless the data source keeps views itself (see rccat.h).
#include "driver/engine/catalog/rccat_impl.h"

#include <cstdio>

#include "driver/core/rcmsgid.h"
#include "driver/core/rcstrings.h"
#include "driver/engine/rcstmt.h"

namespace {

constexpr uint32_t kDrmTableType = 1; // catalog type of a table; others are views
constexpr int32_t kDrmErrTablePassword = -5005;

int16_t Fail(rcStmt *stmt)
{
    rcCatRelease(stmt);
    return -1;
}

// The table-name pattern of the arguments: absent means every name; a
// qualifier given as "" leaves nothing to match.
std::string TablePattern(const rcCatArgs &a, const char *table)
{
    if (a.emptyPattern)
        return "";
    return table ? rcCatUnquote(table) : "%";
}

bool WantsTables(uint32_t mask) { return mask == 0 || (mask & RC_CAT_TYPE_TABLE) != 0; }
bool WantsViews(uint32_t mask) { return mask == 0 || (mask & RC_CAT_TYPE_VIEW) != 0; }

// The stored views whose names match, in catalogue order.
int16_t ViewNames(rcCatConn *conn, const std::string &pattern, bool exact,
                  std::vector<std::string> *out)
{
    std::string name;
    for (int rc = conn->NextViewName(true, &name); rc != 100;
         rc = conn->NextViewName(false, &name)) {
        if (rc != 0)
            return -1;
        if (rcCatNameMatches(name.c_str(), pattern.c_str(), exact))
            out->push_back(name);
    }
    return 0;
}

// One SQLColumns row from a described column.
int16_t PutColumnRow(rcStmt *stmt, const std::string &qualifier, const std::string &table,
                     const std::string &column, const rcCatTypeDesc &t, bool nullable,
                     int32_t ordinal)
{
    rcCatValue row[13] = {
        rcCatValue::Str(qualifier.c_str()),
        {},
        rcCatValue::Str(table.c_str()),
        rcCatValue::Str(column.c_str()),
        rcCatValue::Num(t.sqlType),
        rcCatValue::Str(t.typeName.c_str()),
        rcCatValue::Num(t.precision),
        rcCatValue::Num(t.length),
        t.hasScale ? rcCatValue::Num(t.scale) : rcCatValue{},
        t.radix != 0 ? rcCatValue::Num(t.radix) : rcCatValue{},
        rcCatValue::Num(nullable ? 1 : 0),
        {},
        rcCatValue::Num(ordinal),
    };
    return rcCatPutRow(stmt, row);
}

// The columns of one server table; a table that cannot be opened is left out.
int16_t TableColumns(rcStmt *stmt, rcCatConn *conn, const std::string &qualifier,
                     const std::string &table, const std::string &pattern)
{
    TamSession *s = conn->Session();
    TamTableHandle *h = nullptr;
    if (TamOpenTable(s, nullptr, qualifier.c_str(), table.c_str(), 0, &h) != 0)
        return 0;
    std::vector<rcCatTableColumn> columns;
    int32_t rc = rcCatReadColumns(s, h, conn->MaxColumns(), &columns);
    TamCloseTable(s, h);
    if (rc == kDrmErrTablePassword) {
        char text[400];
        std::snprintf(text, sizeof text, rcUtlLoadString(RC_TXT_MISSING_TABLE_PASSWORD),
                      table.c_str());
        rcErrPost(stmt->errors, rcErrMapDrm(rc), nullptr, rc, text);
        return -1;
    }
    if (rc != 0)
        return rcCatPostDrm(stmt, rc);
    bool exact = (conn->Capabilities() & RC_CAT_CAP_COLUMN_CASE) != 0;
    int32_t ordinal = 0;
    for (const rcCatTableColumn &c : columns) {
        ++ordinal;
        if (!rcCatNameMatches(c.name.c_str(), pattern.c_str(), exact))
            continue;
        rcCatTypeDesc t;
        if (conn->DescribeDrmType(c.drmType, c.length, c.precision, c.scale, &t) != 0) {
            char text[400];
            std::snprintf(text, sizeof text,
                          rcUtlLoadString(RC_TXT_UNSUPPORTED_DATA_TYPE_COLUMN_TABLE),
                          c.name.c_str(), table.c_str());
            rcErrPost(stmt->errors, RC_MSG_DRIVER_NOT_CAPABLE, nullptr, 0, text);
            return -1;
        }
        constexpr uint32_t kNotNull = 0x4;
        if (PutColumnRow(stmt, qualifier, table, c.name, t, (c.attributes & kNotNull) == 0,
                         ordinal) != 0)
            return -1;
    }
    return 0;
}

int16_t ViewColumns(rcStmt *stmt, rcCatConn *conn, const std::string &qualifier,
                    const std::string &view, const std::string &pattern)
{
    std::vector<rcCatViewColumn> columns;
    if (conn->ViewColumns(view, &columns) != 0)
        return -1;
    bool exact = (conn->Capabilities() & RC_CAT_CAP_COLUMN_CASE) != 0;
    int32_t ordinal = 0;
    for (const rcCatViewColumn &c : columns) {
        ++ordinal;
        if (!rcCatNameMatches(c.name.c_str(), pattern.c_str(), exact))
            continue;
        rcCatTypeDesc t;
        if (conn->DescribeSqlType(c.sqlType, c.length, c.precision, c.scale, &t) != 0) {
            t.sqlType = c.sqlType;
            t.precision = static_cast<int32_t>(c.precision);
            t.length = static_cast<int32_t>(c.length);
        }
        if (PutColumnRow(stmt, qualifier, view, c.name, t, (c.flags & 1) != 0, ordinal) != 0)
            return -1;
    }
    return 0;
}

} // namespace

int16_t rcCatTablesPrepare(rcStmt *stmt, rcCatConn *conn, const char *qualifier, const char *owner,
                           const char *table, uint32_t typeMask)
{
    rcCatArgs a;
    if (rcCatCheckArgs(stmt, conn, qualifier, owner, &a) != 0)
        return -1;
    std::string pattern = TablePattern(a, table);
    bool exact = (conn->Capabilities() & RC_CAT_CAP_TABLE_CASE) != 0;
    if (rcCatBegin(stmt, RC_CAT_TABLES) != 0)
        return -1;
    // SYSTEM TABLE alone, or no known type at all, lists nothing: the data
    // module has no system tables.
    bool tables = typeMask != RC_CAT_MASK_NONE && WantsTables(typeMask);
    bool views = typeMask != RC_CAT_MASK_NONE && WantsViews(typeMask);
    if (tables || views) {
        std::vector<rcCatTableEntry> entries;
        int32_t rc = rcCatReadTables(conn->Session(), a.qualifier, &entries);
        if (rc != 0) {
            rcCatPostDrm(stmt, rc);
            return Fail(stmt);
        }
        for (const rcCatTableEntry &e : entries) {
            bool isTable = e.type == kDrmTableType;
            if (!(isTable ? tables : views) ||
                !rcCatNameMatches(e.name.c_str(), pattern.c_str(), exact))
                continue;
            rcCatValue row[5] = {rcCatValue::Str(a.qualifier.c_str()),
                                 {},
                                 rcCatValue::Str(e.name.c_str()),
                                 rcCatValue::Str(isTable ? "TABLE" : "VIEW"),
                                 {}};
            if (rcCatPutRow(stmt, row) != 0)
                return Fail(stmt);
        }
    }
    if (views && (conn->Capabilities() & RC_CAT_CAP_VIEWS) == 0) {
        std::vector<std::string> names;
        if (ViewNames(conn, pattern, exact, &names) != 0)
            return Fail(stmt);
        for (const std::string &v : names) {
            rcCatValue row[5] = {rcCatValue::Str(a.qualifier.c_str()),
                                 {},
                                 rcCatValue::Str(v.c_str()),
                                 rcCatValue::Str("VIEW"),
                                 {}};
            if (rcCatPutRow(stmt, row) != 0)
                return Fail(stmt);
        }
    }
    int16_t rc = rcCatFinish(stmt);
    return rc < 0 ? Fail(stmt) : rc;
}

int16_t rcCatColumnsPrepare(rcStmt *stmt, rcCatConn *conn, const char *qualifier, const char *owner,
                            const char *table, const char *column)
{
    rcCatArgs a;
    if (rcCatCheckArgs(stmt, conn, qualifier, owner, &a) != 0)
        return -1;
    std::string pattern = TablePattern(a, table);
    std::string columnPattern = column ? rcCatUnquote(column) : "%";
    bool exact = (conn->Capabilities() & RC_CAT_CAP_TABLE_CASE) != 0;
    if (rcCatBegin(stmt, RC_CAT_COLUMNS) != 0)
        return -1;
    std::vector<rcCatTableEntry> entries;
    int32_t rc = rcCatReadTables(conn->Session(), a.qualifier, &entries);
    if (rc != 0) {
        rcCatPostDrm(stmt, rc);
        return Fail(stmt);
    }
    for (const rcCatTableEntry &e : entries)
        if (rcCatNameMatches(e.name.c_str(), pattern.c_str(), exact) &&
            TableColumns(stmt, conn, a.qualifier, e.name, columnPattern) != 0)
            return Fail(stmt);
    if ((conn->Capabilities() & RC_CAT_CAP_VIEWS) == 0) {
        std::vector<std::string> names;
        if (ViewNames(conn, pattern, exact, &names) != 0)
            return Fail(stmt);
        for (const std::string &v : names)
            if (ViewColumns(stmt, conn, a.qualifier, v, columnPattern) != 0)
                return Fail(stmt);
    }
    int16_t r = rcCatFinish(stmt);
    return r < 0 ? Fail(stmt) : r;
}
