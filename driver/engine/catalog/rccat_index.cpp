// SQLStatistics, SQLPrimaryKeys and the best row identifier of
// SQLSpecialColumns: the index catalog of one table (see rccat.h).
#include "driver/engine/catalog/rccat_impl.h"

#include <sqlext.h>

#include "driver/core/rcmsgid.h"
#include "driver/engine/rcstmt.h"

namespace {

constexpr uint32_t kDrmTableType = 1;
constexpr uint32_t kNotNull = 0x4; // data-module column attribute

int16_t Fail(rcStmt *stmt)
{
    rcCatRelease(stmt);
    return -1;
}

// A statistic the table catalog gives; 0 there means it does not know.
rcCatValue Known(uint32_t value)
{
    return value != 0 ? rcCatValue::Num(static_cast<int32_t>(value)) : rcCatValue{};
}

int16_t Finish(rcStmt *stmt)
{
    int16_t rc = rcCatFinish(stmt);
    return rc < 0 ? Fail(stmt) : rc;
}

// The server tables named exactly by name (without regard to case unless
// the data source compares names with case), with their names as stored.
int16_t FindTables(rcStmt *stmt, rcCatConn *conn, const std::string &qualifier,
                   const std::string &name, std::vector<rcCatTableEntry> *out)
{
    std::vector<rcCatTableEntry> entries;
    int32_t rc = rcCatReadTables(conn->Session(), qualifier, &entries);
    if (rc != 0)
        return rcCatPostDrm(stmt, rc);
    bool exact = (conn->Capabilities() & RC_CAT_CAP_TABLE_CASE) != 0;
    for (rcCatTableEntry &e : entries)
        if (e.type == kDrmTableType && rcCatNameEquals(e.name.c_str(), name.c_str(), exact))
            out->push_back(std::move(e));
    return 0;
}

// Checks the arguments, begins the result of source and finds the tables
// named exactly by table (none for an empty pattern or name). 0 with the
// tables; -1 posted (the result released once begun).
int16_t BeginOverTables(rcStmt *stmt, rcCatConn *conn, const char *qualifier, const char *owner,
                        const char *table, uint16_t source, rcCatArgs *a,
                        std::vector<rcCatTableEntry> *tables)
{
    if (rcCatCheckArgs(stmt, conn, qualifier, owner, a) != 0)
        return -1;
    if (rcCatBegin(stmt, source) != 0)
        return -1;
    if (a->emptyPattern || table == nullptr || table[0] == '\0')
        return 0;
    if (FindTables(stmt, conn, a->qualifier, rcCatUnquote(table), tables) != 0)
        return Fail(stmt);
    return 0;
}

// Opens a table and reads its index catalog (and, when asked, its columns).
// 0 with the rows; 1 when the table cannot be opened (no error); -1 posted.
int16_t ReadTable(rcStmt *stmt, rcCatConn *conn, const std::string &qualifier,
                  const std::string &table, std::vector<rcCatIndexRow> *indexes,
                  std::vector<rcCatTableColumn> *columns)
{
    TamSession *s = conn->Session();
    TamTableHandle *h = nullptr;
    if (TamOpenTable(s, nullptr, qualifier.c_str(), table.c_str(), 0, &h) != 0)
        return 1;
    int32_t rc = rcCatReadIndexes(s, h, indexes);
    if (rc == 0 && columns != nullptr)
        rc = rcCatReadColumns(s, h, conn->MaxColumns(), columns);
    TamCloseTable(s, h);
    return rc == 0 ? 0 : rcCatPostDrm(stmt, rc);
}

} // namespace

int16_t rcCatStatisticsPrepare(rcStmt *stmt, rcCatConn *conn, const char *qualifier,
                               const char *owner, const char *table, uint16_t unique)
{
    rcCatArgs a;
    std::vector<rcCatTableEntry> tables;
    if (BeginOverTables(stmt, conn, qualifier, owner, table, RC_CAT_STATISTICS, &a, &tables) != 0)
        return -1;
    const char *q = a.qualifier.c_str();
    for (const rcCatTableEntry &e : tables) {
        std::vector<rcCatIndexRow> indexes;
        int16_t rc = ReadTable(stmt, conn, a.qualifier, e.name, &indexes, nullptr);
        if (rc < 0)
            return Fail(stmt);
        if (rc > 0)
            continue;
        const char *name = e.name.c_str();
        rcCatValue stat[13] = {rcCatValue::Str(q),
                               {},
                               rcCatValue::Str(name),
                               {},
                               {},
                               {},
                               rcCatValue::Num(SQL_TABLE_STAT),
                               {},
                               {},
                               {},
                               Known(e.cardinality),
                               Known(e.pages),
                               {}};
        if (rcCatPutRow(stmt, stat) != 0)
            return Fail(stmt);
        for (const rcCatIndexRow &x : indexes) {
            bool isUnique = (x.flags & RC_CAT_INDEX_UNIQUE) != 0;
            if (unique == SQL_INDEX_UNIQUE && !isUnique)
                continue;
            rcCatValue row[13] = {rcCatValue::Str(q),
                                  {},
                                  rcCatValue::Str(name),
                                  rcCatValue::Num(isUnique ? SQL_FALSE : SQL_TRUE),
                                  {},
                                  rcCatValue::Str(x.indexName.c_str()),
                                  rcCatValue::Num((x.flags & RC_CAT_INDEX_CLUSTERED) != 0
                                                      ? SQL_INDEX_CLUSTERED
                                                      : SQL_INDEX_OTHER),
                                  rcCatValue::Num(static_cast<int32_t>(x.position + 1)),
                                  rcCatValue::Str(x.column.c_str()),
                                  rcCatValue::Str(x.collation == 1 ? "D" : "A"),
                                  {},
                                  {},
                                  {}};
            if (rcCatPutRow(stmt, row) != 0)
                return Fail(stmt);
        }
    }
    return Finish(stmt);
}

int16_t rcCatPrimaryKeysPrepare(rcStmt *stmt, rcCatConn *conn, const char *qualifier,
                                const char *owner, const char *table)
{
    if ((conn->Capabilities() & RC_CAT_CAP_PRIMARY_KEY) == 0)
        return rcCatNotCapable(stmt, 0);
    rcCatArgs a;
    std::vector<rcCatTableEntry> tables;
    if (BeginOverTables(stmt, conn, qualifier, owner, table, RC_CAT_PRIMARY_KEYS, &a, &tables) != 0)
        return -1;
    if (tables.empty())
        return Finish(stmt);
    const rcCatTableEntry &e = tables.front();
    std::vector<rcCatIndexRow> indexes;
    int16_t rc = ReadTable(stmt, conn, a.qualifier, e.name, &indexes, nullptr);
    if (rc < 0)
        return Fail(stmt);
    for (const rcCatIndexRow &x : indexes) {
        if ((x.flags & RC_CAT_INDEX_PRIMARY) == 0)
            continue;
        rcCatValue row[6] = {rcCatValue::Str(a.qualifier.c_str()),
                             {},
                             rcCatValue::Str(e.name.c_str()),
                             rcCatValue::Str(x.column.c_str()),
                             rcCatValue::Num(static_cast<int32_t>(x.position + 1)),
                             rcCatValue::Str(x.indexName.empty() ? nullptr : x.indexName.c_str())};
        if (rcCatPutRow(stmt, row) != 0)
            return Fail(stmt);
    }
    return Finish(stmt);
}

int16_t rcCatBestRowId(rcStmt *stmt, rcCatConn *conn, const char *qualifier, const char *owner,
                       const char *table, bool allowNullable)
{
    rcCatArgs a;
    if (rcCatCheckArgs(stmt, conn, qualifier, owner, &a) != 0)
        return -1;
    if (rcCatBegin(stmt, RC_CAT_SPECIAL_COLUMNS) != 0)
        return -1;
    std::string name = rcCatUnquote(table);
    if (a.emptyPattern || name.empty())
        return Finish(stmt);
    std::vector<rcCatTableEntry> tables;
    if (FindTables(stmt, conn, a.qualifier, name, &tables) != 0)
        return Fail(stmt);
    if (tables.empty())
        return Finish(stmt);
    std::vector<rcCatIndexRow> indexes;
    std::vector<rcCatTableColumn> columns;
    int16_t rc = ReadTable(stmt, conn, a.qualifier, tables.front().name, &indexes, &columns);
    if (rc < 0)
        return Fail(stmt);
    auto columnOf = [&](const std::string &c) -> const rcCatTableColumn * {
        for (const rcCatTableColumn &t : columns)
            if (t.name == c)
                return &t;
        return nullptr;
    };
    // An index is its run of rows with one name; it qualifies when it has
    // the mark and, unless nullable columns are allowed, none of its
    // columns may be NULL.
    auto choose = [&](uint32_t mark, size_t *first, size_t *last) {
        for (size_t i = 0; i < indexes.size();) {
            size_t j = i;
            bool ok = (indexes[i].flags & mark) != 0;
            for (; j < indexes.size() && indexes[j].indexName == indexes[i].indexName; ++j) {
                const rcCatTableColumn *c = columnOf(indexes[j].column);
                if (c == nullptr || (!allowNullable && (c->attributes & kNotNull) == 0))
                    ok = false;
            }
            if (ok) {
                *first = i;
                *last = j;
                return true;
            }
            i = j;
        }
        return false;
    };
    size_t first = 0, last = 0;
    if (!choose(RC_CAT_INDEX_PRIMARY, &first, &last) && !choose(RC_CAT_INDEX_UNIQUE, &first, &last))
        return Finish(stmt);
    for (size_t i = first; i < last; ++i) {
        const rcCatTableColumn *c = columnOf(indexes[i].column);
        rcCatTypeDesc t;
        if (conn->DescribeDrmType(c->drmType, c->length, c->precision, c->scale, &t) != 0)
            return Finish(stmt);
        rcCatValue row[8] = {rcCatValue::Num(SQL_SCOPE_CURROW),
                             rcCatValue::Str(c->name.c_str()),
                             rcCatValue::Num(t.sqlType),
                             rcCatValue::Str(t.typeName.c_str()),
                             rcCatValue::Num(t.precision),
                             rcCatValue::Num(t.length),
                             t.hasScale ? rcCatValue::Num(t.scale) : rcCatValue{},
                             rcCatValue::Num(SQL_PC_NOT_PSEUDO)};
        if (rcCatPutRow(stmt, row) != 0)
            return Fail(stmt);
    }
    return Finish(stmt);
}
