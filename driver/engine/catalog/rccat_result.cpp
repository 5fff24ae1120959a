// Catalog result sets: the column tables of every result source, the result
// kept on the statement (a sorted temporary table, read through its plan)
// and its description (see rccat.h).
#include "driver/engine/catalog/rccat_impl.h"

#include <sqlext.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "driver/core/rccnv.h"
#include "driver/core/rccollate.h"
#include "driver/core/rccompare.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/exec/rcexeresult.h"
#include "driver/engine/exec/rcexestmt.h"
#include "driver/engine/rcstmt.h"
#include "driver/engine/temp/rcswp.h"

namespace {

constexpr int16_t V = SQL_VARCHAR;
constexpr int16_t S = SQL_SMALLINT;
constexpr int16_t I = SQL_INTEGER;

// Names keep 128 characters, qualifiers 256, remarks 254.
constexpr rcCatColumnDef kTables[] = {
    {"TABLE_QUALIFIER", V, 128, 1, 256}, {"TABLE_OWNER", V, 128, 1, 128},
    {"TABLE_NAME", V, 128, 1, 128},      {"TABLE_TYPE", V, 128, 1, 128},
    {"REMARKS", V, 254, 1, 254},
};
constexpr rcCatColumnDef kColumns[] = {
    {"TABLE_QUALIFIER", V, 128, 1, 256},
    {"TABLE_OWNER", V, 128, 1, 128},
    {"TABLE_NAME", V, 128, 0, 128},
    {"COLUMN_NAME", V, 128, 0, 128},
    {"DATA_TYPE", S, 5, 0, 2},
    {"TYPE_NAME", V, 128, 0, 128},
    {"PRECISION", I, 10, 1, 4},
    {"LENGTH", I, 10, 1, 4},
    {"SCALE", S, 5, 1, 2},
    {"RADIX", S, 5, 1, 2},
    {"NULLABLE", S, 5, 0, 2},
    {"REMARKS", V, 254, 1, 254},
    {"", S, 5, 0, 2}, // hidden: the column's ordinal in its table
};
constexpr rcCatColumnDef kStatistics[] = {
    {"TABLE_QUALIFIER", V, 128, 1, 256},
    {"TABLE_OWNER", V, 128, 1, 128},
    {"TABLE_NAME", V, 128, 0, 128},
    {"NON_UNIQUE", S, 5, 1, 2},
    {"INDEX_QUALIFIER", V, 128, 1, 128},
    {"INDEX_NAME", V, 128, 1, 128},
    {"TYPE", S, 5, 0, 2},
    {"SEQ_IN_INDEX", S, 5, 1, 2},
    {"COLUMN_NAME", V, 128, 1, 128},
    {"COLLATION", SQL_CHAR, 1, 1, 1},
    {"CARDINALITY", I, 10, 1, 4},
    {"PAGES", I, 10, 1, 4},
    {"FILTER_CONDITION", V, 128, 1, 128},
};
constexpr rcCatColumnDef kPrimaryKeys[] = {
    {"TABLE_QUALIFIER", V, 128, 1, 256},
    {"TABLE_OWNER", V, 128, 1, 128},
    {"TABLE_NAME", V, 128, 0, 128},
    {"COLUMN_NAME", V, 128, 0, 128},
    {"KEY_SEQ", S, 5, 0, 2},
    {"PK_NAME", V, 128, 1, 128},
};
constexpr rcCatColumnDef kTypeInfo[] = {
    {"TYPE_NAME", V, 128, 0, 128},
    {"DATA_TYPE", S, 5, 0, 2},
    {"PRECISION", I, 10, 1, 4},
    {"LITERAL_PREFIX", V, 128, 1, 128},
    {"LITERAL_SUFFIX", V, 128, 1, 128},
    {"CREATE_PARAMS", V, 128, 1, 128},
    {"NULLABLE", S, 5, 0, 2},
    {"CASE_SENSITIVE", S, 5, 0, 2},
    {"SEARCHABLE", S, 5, 0, 2},
    {"UNSIGNED_ATTRIBUTE", S, 5, 1, 2},
    {"MONEY", S, 5, 0, 2},
    {"AUTO_INCREMENT", S, 5, 1, 2},
    {"LOCAL_TYPE_NAME", V, 128, 1, 128},
    {"MINIMUM_SCALE", S, 5, 1, 2},
    {"MAXIMUM_SCALE", S, 5, 1, 2},
};
constexpr rcCatColumnDef kSpecialColumns[] = {
    {"SCOPE", S, 5, 1, 2},         {"COLUMN_NAME", V, 128, 0, 128}, {"DATA_TYPE", S, 5, 0, 2},
    {"TYPE_NAME", V, 128, 0, 128}, {"PRECISION", I, 10, 1, 4},      {"LENGTH", I, 10, 1, 4},
    {"SCALE", S, 5, 1, 2},         {"PSEUDO_COLUMN", S, 5, 1, 2},
};
constexpr rcCatColumnDef kProcedures[] = {
    {"PROCEDURE_QUALIFIER", V, 128, 1, 256},
    {"PROCEDURE_OWNER", V, 128, 1, 128},
    {"PROCEDURE_NAME", V, 128, 0, 128},
    {"NUM_INPUT_PARAMS", S, 5, 1, 2},
    {"NUM_OUTPUT_PARAMS", S, 5, 1, 2},
    {"NUM_RESULT_SETS", S, 5, 1, 2},
    {"REMARKS", V, 254, 1, 254},
    {"PROCEDURE_TYPE", S, 5, 1, 2},
};
constexpr rcCatColumnDef kProcColumns[] = {
    {"PROCEDURE_QUALIFIER", V, 128, 1, 256},
    {"PROCEDURE_OWNER", V, 128, 1, 128},
    {"PROCEDURE_NAME", V, 128, 0, 128},
    {"COLUMN_NAME", V, 128, 0, 128},
    {"COLUMN_TYPE", S, 5, 0, 2},
    {"DATA_TYPE", S, 5, 0, 2},
    {"TYPE_NAME", V, 128, 0, 128},
    {"PRECISION", I, 10, 1, 4},
    {"LENGTH", I, 10, 1, 4},
    {"SCALE", S, 5, 1, 2},
    {"RADIX", S, 5, 1, 2},
    {"NULLABLE", S, 5, 0, 2},
    {"REMARKS", V, 254, 1, 254},
    {"", S, 5, 0, 2}, // hidden: the running number of the procedure's columns
};
constexpr rcCatColumnDef kForeignKeys[] = {
    {"PKTABLE_QUALIFIER", V, 128, 1, 256},
    {"PKTABLE_OWNER", V, 128, 1, 128},
    {"PKTABLE_NAME", V, 128, 0, 128},
    {"PKCOLUMN_NAME", V, 128, 0, 128},
    {"FKTABLE_QUALIFIER", V, 128, 1, 256},
    {"FKTABLE_OWNER", V, 128, 1, 128},
    {"FKTABLE_NAME", V, 128, 0, 128},
    {"FKCOLUMN_NAME", V, 128, 0, 128},
    {"KEY_SEQ", S, 5, 0, 2},
    {"UPDATE_RULE", S, 5, 1, 2},
    {"DELETE_RULE", S, 5, 1, 2},
    {"FK_NAME", V, 128, 1, 128},
    {"PK_NAME", V, 128, 1, 128},
};
constexpr rcCatColumnDef kTablePrivileges[] = {
    {"TABLE_QUALIFIER", V, 128, 1, 256}, {"TABLE_OWNER", V, 128, 1, 128},
    {"TABLE_NAME", V, 128, 0, 128},      {"GRANTOR", V, 128, 1, 128},
    {"GRANTEE", V, 128, 0, 128},         {"PRIVILEGE", V, 128, 0, 128},
    {"IS_GRANTABLE", V, 3, 1, 3},
};
constexpr rcCatColumnDef kColumnPrivileges[] = {
    {"TABLE_QUALIFIER", V, 128, 1, 256}, {"TABLE_OWNER", V, 128, 1, 128},
    {"TABLE_NAME", V, 128, 0, 128},      {"COLUMN_NAME", V, 128, 0, 128},
    {"GRANTOR", V, 128, 1, 128},         {"GRANTEE", V, 128, 0, 128},
    {"PRIVILEGE", V, 128, 0, 128},       {"IS_GRANTABLE", V, 3, 1, 3},
};

constexpr uint16_t kNoKey = 0xFFFF;

// A source's columns (visible ones first, hidden after) and its sort keys,
// the ordering ODBC gives each function.
struct SourceDef {
    uint16_t source;
    const rcCatColumnDef *defs;
    uint16_t visible;
    uint16_t total;
    uint16_t keys[5];
};

template <size_t N>
constexpr SourceDef Def(uint16_t source, const rcCatColumnDef (&defs)[N], uint16_t hidden,
                        uint16_t k0 = kNoKey, uint16_t k1 = kNoKey, uint16_t k2 = kNoKey,
                        uint16_t k3 = kNoKey, uint16_t k4 = kNoKey)
{
    return SourceDef{source,
                     defs,
                     static_cast<uint16_t>(N - hidden),
                     static_cast<uint16_t>(N),
                     {k0, k1, k2, k3, k4}};
}

const SourceDef kSources[] = {
    // Tables by type, then name (qualifier and owner are one for all rows).
    Def(RC_CAT_TABLES, kTables, 0, 3, 2),
    Def(RC_CAT_QUALIFIERS, kTables, 0),
    Def(RC_CAT_OWNERS, kTables, 0),
    Def(RC_CAT_TABLE_TYPES, kTables, 0),
    // Columns by table name; a table's columns are put in their order and the
    // sort keeps rows of equal keys in the order put, so each table keeps its
    // column order (also for two tables whose names differ only in case).
    Def(RC_CAT_COLUMNS, kColumns, 1, 2),
    Def(RC_CAT_STATISTICS, kStatistics, 0, 3, 6, 4, 5, 7),
    Def(RC_CAT_PRIMARY_KEYS, kPrimaryKeys, 0, 2, 4),
    Def(RC_CAT_TYPE_INFO, kTypeInfo, 0),
    Def(RC_CAT_SPECIAL_COLUMNS, kSpecialColumns, 0),
    Def(RC_CAT_PROCEDURES, kProcedures, 0, 2),
    Def(RC_CAT_PROC_COLUMNS, kProcColumns, 1, 2),
    Def(RC_CAT_FOREIGN_KEYS, kForeignKeys, 0, 6, 7, 8),
    Def(RC_CAT_TABLE_PRIVILEGES, kTablePrivileges, 0, 2, 5),
    Def(RC_CAT_COLUMN_PRIVILEGES, kColumnPrivileges, 0, 3, 6),
};

const SourceDef *FindSource(uint16_t source)
{
    for (const SourceDef &s : kSources)
        if (s.source == source)
            return &s;
    return nullptr;
}

bool IsText(int16_t sqlType) { return sqlType == SQL_CHAR || sqlType == SQL_VARCHAR; }

// The scale a described column has when it has none.
constexpr int16_t kNoScale = -9999;

// What SQLDescribeCol and SQLColAttributes report of a result column: text
// is unsigned, searchable and has no scale; numbers are signed and
// searchable except with LIKE.
rcResultColumn Described(const rcStmt *stmt, const rcCatColumnDef &d)
{
    rcResultColumn c;
    c.name = d.name;
    c.engineType = d.sqlType;
    c.sqlType = d.sqlType;
    c.precision = d.precision;
    c.nullable = d.nullable != 0 ? SQL_NULLABLE : SQL_NO_NULLS;
    bool text = IsText(d.sqlType);
    c.scale = text ? kNoScale : 0;
    c.length = text ? d.precision : d.sqlType == SQL_SMALLINT ? 2 : 4;
    c.displaySize = text ? d.precision : d.sqlType == SQL_SMALLINT ? 6 : 11;
    const char *typeName = stmt->conn != nullptr ? stmt->conn->typeName(d.sqlType) : nullptr;
    c.typeName = typeName != nullptr ? typeName : "";
    c.isUnsigned = text;
    c.searchable = text ? SQL_SEARCHABLE : SQL_ALL_EXCEPT_LIKE;
    return c;
}

int16_t Post(rcStmt *stmt, uint32_t msg)
{
    rcErrRaise(stmt->errors, msg);
    return -1;
}

} // namespace

const rcCatColumnDef *rcCatResultColumns(uint16_t source, uint16_t *count)
{
    const SourceDef *s = FindSource(source);
    *count = s ? s->visible : 0;
    return s ? s->defs : nullptr;
}

rcCatResult *rcCatResultOf(const rcStmt *stmt) { return stmt->catResult.get(); }

bool rcCatActive(const rcStmt *stmt) { return stmt->catResult != nullptr; }

namespace {

// The release of the statement's catalog result slot.
void FreeResult(rcCatResult *r)
{
    if (r->table)
        rcTmpFree(r->table);
    delete r;
}

} // namespace

void rcCatRelease(rcStmt *stmt)
{
    // A finished result's rows are its plan's: the planner frees them.
    if (rcCatResult *r = rcCatResultOf(stmt); r != nullptr && r->planned)
        rcExeFreePlanner(stmt);
    stmt->catResult.release();
    stmt->catColumnCount = 0;
    stmt->catalogKind = 0;
}

void rcCatSetKind(rcStmt *stmt, uint16_t kind)
{
    stmt->catalogKind = kind;
    stmt->endOfData = 0;
    if (rcCatResult *r = rcCatResultOf(stmt); r != nullptr && r->planned)
        rcExeRewindResult(stmt->planner);
}

int16_t rcCatDefineColumns(rcStmt *stmt, uint16_t count, uint16_t visible,
                           const rcCatColumnDef *defs)
{
    rcCatRelease(stmt);
    auto *r = new (std::nothrow) rcCatResult;
    if (r == nullptr)
        return Post(stmt, RC_MSG_MEMORY_ALLOCATION_ERROR);
    r->defs = defs;
    r->count = count;
    r->visible = visible;
    if (rcTmpCreate(rcTmpOwnerOf(stmt, nullptr), &r->table) != 0) {
        delete r;
        return -1;
    }
    for (uint16_t i = 0; i < count; ++i)
        if (rcTmpAddColumn(r->table, defs[i].sqlType, 0, defs[i].storeLength) != 0) {
            rcTmpFree(r->table);
            delete r;
            return -1;
        }
    r->columns.reserve(visible);
    for (uint16_t i = 0; i < visible && i < count; ++i)
        r->columns.push_back(Described(stmt, defs[i]));
    stmt->catResult.hang(r, &FreeResult);
    stmt->catColumnCount = visible;
    return 0;
}

void rcCatTakeColumns(rcStmt *stmt, std::vector<rcResultColumn> *out)
{
    out->clear();
    if (rcCatResult *r = rcCatResultOf(stmt))
        out->swap(r->columns);
}

int16_t rcCatBegin(rcStmt *stmt, uint16_t source)
{
    rcCatRelease(stmt);
    const SourceDef *def = FindSource(source);
    if (def == nullptr)
        return Post(stmt, RC_MSG_GENERAL_ERROR);
    if (rcCatDefineColumns(stmt, def->total, def->visible, def->defs) != 0)
        return -1;
    rcCatResult *r = rcCatResultOf(stmt);
    r->source = source;
    for (uint16_t k = 0; k < 5 && def->keys[k] != kNoKey; ++k)
        if (rcTmpSetSortKey(r->table, k, def->keys[k], false) != 0) {
            rcCatRelease(stmt);
            return -1;
        }
    rcCatSetKind(stmt, source);
    return 0;
}

int16_t rcCatPutRow(rcStmt *stmt, const rcCatValue *row)
{
    rcCatResult *r = rcCatResultOf(stmt);
    for (uint16_t i = 0; i < r->count; ++i) {
        const rcCatValue &v = row[i];
        int16_t rc;
        if (v.kind == rcCatValue::Null) {
            rc = rcTmpPutColumn(r->table, nullptr, i, true);
        } else if (v.kind == rcCatValue::Text) {
            // A name longer than its column is cut to the column (the
            // server's names never are).
            size_t n = strnlen(v.text, r->defs[i].storeLength);
            rc = rcTmpPutColumnLen(r->table, v.text, static_cast<int32_t>(n), i, false);
        } else if (r->defs[i].sqlType == SQL_SMALLINT) {
            int16_t x = static_cast<int16_t>(v.number);
            rc = rcTmpPutColumn(r->table, &x, i, false);
        } else {
            int32_t x = v.number;
            rc = rcTmpPutColumn(r->table, &x, i, false);
        }
        if (rc < 0)
            return -1;
    }
    return 0;
}

int16_t rcCatFinish(rcStmt *stmt)
{
    rcCatResult *r = rcCatResultOf(stmt);
    const SourceDef *def = FindSource(r->source);
    if (def->keys[0] != kNoKey && rcTmpRowCount(r->table) > 1 && rcSwpSortExec(r->table) != 0)
        return -1;
    // From here on the plan holds the rows.
    if (rcExeOpenTableResult(stmt, r->table, r->visible) != 0)
        return -1;
    r->table = nullptr;
    r->planned = true;
    rcCatSetKind(stmt, r->source);
    return rcErrQueueAny(stmt->errors) ? 1 : 0;
}

bool rcCatNameEquals(const char *a, const char *b, bool exact)
{
    if (exact)
        return std::strcmp(a, b) == 0;
    for (; *a != 0 && *b != 0; ++a, ++b)
        if (rcCollateUpper1252(static_cast<unsigned char>(*a)) !=
            rcCollateUpper1252(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

bool rcCatNameMatches(const char *name, const char *pattern, bool exact)
{
    if (pattern == nullptr)
        return true;
    return rcCmpLike(name, pattern, exact ? 1 : 0) != 0;
}
