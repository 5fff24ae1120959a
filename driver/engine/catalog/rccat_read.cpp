// Catalog producers' shared parts: the argument rules and the reads of the
// data module's table, column and index catalogs through the table-access
// layer (see rccat_impl.h).
#include "driver/engine/catalog/rccat_impl.h"

#include <sqlext.h>

#include <cstdio>
#include <cstring>

#include "driver/core/rcmsgid.h"
#include "driver/core/rcstrings.h"
#include "driver/engine/rcstmt.h"

namespace {

// Words of the engine's catalog-information records that hold the column
// numbers of the data module's catalog cursors (tam_catalog.cpp).
enum : uint32_t {
    kTableName = 4,
    kTableType = 5,
    kTableCardinality = 10,
    kTablePages = 11,
    kColumnName = 4,
    kColumnType = 6,
    kColumnLength = 11,
    kColumnAttributes = 12,
    kColumnPrecision = 16,
    kColumnScale = 17,
    kIndexName = 3,
    kIndexFlags = 4,
    kIndexPosition = 9,
    kIndexCollation = 16,
    kIndexColumn = 17,
};

bool IsEnd(int32_t rc) { return rc == kDrmErrNoCurrentRecord || rc == kDrmErrKeyNotFound; }

// Reads every row of a catalog cursor with read(handle) and closes it.
template <typename ReadRow>
int32_t Walk(TamSession *s, TamInfoRecord &rec, ReadRow read)
{
    int32_t rc = 0;
    for (rc = TamMove(s, rec.handle, kDrmMoveFirst); rc == 0;
         rc = TamMove(s, rec.handle, kDrmMoveNext)) {
        rc = read(rec);
        if (rc != 0)
            break;
    }
    TamCloseTable(s, rec.handle);
    return IsEnd(rc) ? 0 : rc;
}

// A value read that found nothing (NULL) leaves the default.
int32_t Ok(int32_t rc) { return rc == kDrmWarnNull ? 0 : rc; }

} // namespace

int16_t rcCatPostDrm(rcStmt *stmt, int32_t code)
{
    rcErrPost(stmt->errors, rcErrMapDrm(code), nullptr, code, nullptr);
    return -1;
}

int16_t rcCatNotCapable(rcStmt *stmt, uint32_t textId, const char *arg)
{
    char text[512] = {};
    // The text is a format only when there is something to put in it: "%"
    // stands for itself in the others.
    if (textId != 0 && arg != nullptr)
        std::snprintf(text, sizeof text, rcUtlLoadString(textId), arg);
    else if (textId != 0)
        std::snprintf(text, sizeof text, "%s", rcUtlLoadString(textId));
    rcErrPost(stmt->errors, RC_MSG_DRIVER_NOT_CAPABLE, nullptr, 0, textId != 0 ? text : nullptr);
    return -1;
}

std::string rcCatUnquote(const char *name)
{
    std::string s = name ? name : "";
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        s = s.substr(1, s.size() - 2);
    return s;
}

int16_t rcCatCheckArgs(rcStmt *stmt, rcCatConn *conn, const char *qualifier, const char *owner,
                       rcCatArgs *out)
{
    if (owner != nullptr && owner[0] != '\0')
        return rcCatNotCapable(stmt, RC_TXT_OWNER_NAMES_ARE_NOT_SUPPORTED);
    out->emptyPattern = qualifier != nullptr && qualifier[0] == '\0';
    if (qualifier == nullptr || qualifier[0] == '\0' || std::strcmp(qualifier, "%") == 0) {
        out->qualifier = conn->Qualifier();
    } else if (qualifier[0] == '%') {
        return rcCatNotCapable(stmt, RC_TXT_NOT_SUPPORTED_DIRECTORY_NAME);
    } else {
        out->qualifier = rcCatUnquote(qualifier);
    }
    return 0;
}

int32_t rcCatReadText(TamSession *s, TamTableHandle *h, uint32_t column, std::string *out)
{
    char buffer[kTamNameMax + 2] = {};
    uint32_t got = 0;
    int32_t rc = TamGetColumn(s, h, column, buffer, kTamNameMax + 1, &got, nullptr, SQL_CHAR);
    if (rc == kDrmWarnTruncated)
        got = kTamNameMax;
    else if (rc != 0)
        return Ok(rc);
    out->assign(buffer, strnlen(buffer, got < kTamNameMax + 1 ? got : kTamNameMax + 1));
    return 0;
}

int32_t rcCatReadU32(TamSession *s, TamTableHandle *h, uint32_t column, uint32_t *out)
{
    uint32_t got = 0;
    *out = 0;
    return Ok(TamGetColumn(s, h, column, out, sizeof *out, &got, nullptr, SQL_INTEGER));
}

int32_t rcCatReadI16(TamSession *s, TamTableHandle *h, uint32_t column, int16_t *out)
{
    uint32_t got = 0;
    *out = 0;
    return Ok(TamGetColumn(s, h, column, out, sizeof *out, &got, nullptr, SQL_SMALLINT));
}

int32_t rcCatReadTables(TamSession *s, const std::string &qualifier,
                        std::vector<rcCatTableEntry> *out)
{
    TamInfoRecord rec{};
    int32_t rc = TamGetDatabaseTableInfo(s, qualifier.c_str(), &rec);
    if (rc != 0)
        return rc;
    return Walk(s, rec, [&](TamInfoRecord &r) {
        rcCatTableEntry e;
        int32_t x = rcCatReadText(s, r.handle, r.word[kTableName], &e.name);
        if (x == 0)
            x = rcCatReadU32(s, r.handle, r.word[kTableType], &e.type);
        if (x == 0)
            x = rcCatReadU32(s, r.handle, r.word[kTableCardinality], &e.cardinality);
        if (x == 0)
            x = rcCatReadU32(s, r.handle, r.word[kTablePages], &e.pages);
        if (x == 0)
            out->push_back(std::move(e));
        return x;
    });
}

int32_t rcCatReadColumns(TamSession *s, TamTableHandle *table, uint16_t limit,
                         std::vector<rcCatTableColumn> *out)
{
    TamInfoRecord rec{};
    int32_t rc = TamGetTableColumnInfo(s, table, nullptr, &rec);
    if (rc != 0)
        return rc;
    return Walk(s, rec, [&](TamInfoRecord &r) {
        if (limit != 0 && out->size() >= limit)
            return int32_t{kDrmErrNoCurrentRecord}; // the driver takes no more columns
        rcCatTableColumn c;
        int32_t x = rcCatReadText(s, r.handle, r.word[kColumnName], &c.name);
        if (x == 0)
            x = rcCatReadU32(s, r.handle, r.word[kColumnType], &c.drmType);
        if (x == 0)
            x = rcCatReadU32(s, r.handle, r.word[kColumnLength], &c.length);
        if (x == 0)
            x = rcCatReadU32(s, r.handle, r.word[kColumnAttributes], &c.attributes);
        if (x == 0 && (c.drmType == 8 || c.drmType == 103)) {
            int16_t p = 0;
            x = rcCatReadI16(s, r.handle, r.word[kColumnPrecision], &p);
            c.precision = static_cast<uint16_t>(p);
            if (x == 0)
                x = rcCatReadI16(s, r.handle, r.word[kColumnScale], &c.scale);
        }
        if (x == 0)
            out->push_back(std::move(c));
        return x;
    });
}

int32_t rcCatReadIndexes(TamSession *s, TamTableHandle *table, std::vector<rcCatIndexRow> *out)
{
    TamInfoRecord rec{};
    int32_t rc = TamGetTableIndexInfo(s, table, nullptr, &rec);
    if (rc != 0)
        return rc;
    return Walk(s, rec, [&](TamInfoRecord &r) {
        rcCatIndexRow row;
        int32_t x = rcCatReadText(s, r.handle, r.word[kIndexName], &row.indexName);
        if (x == 0)
            x = rcCatReadU32(s, r.handle, r.word[kIndexFlags], &row.flags);
        if (x == 0)
            x = rcCatReadU32(s, r.handle, r.word[kIndexPosition], &row.position);
        if (x == 0)
            x = rcCatReadU32(s, r.handle, r.word[kIndexCollation], &row.collation);
        if (x == 0)
            x = rcCatReadText(s, r.handle, r.word[kIndexColumn], &row.column);
        if (x == 0)
            out->push_back(std::move(row));
        return x;
    });
}

int16_t rcCatRadixOf(int16_t sqlType)
{
    switch (sqlType) {
    case SQL_BIT: return 2;
    case SQL_TINYINT:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE: return 10;
    default: return 0;
    }
}
