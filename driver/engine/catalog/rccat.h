// Catalog result sets: the answers of SQLTables, SQLColumns, SQLStatistics,
// SQLPrimaryKeys, SQLSpecialColumns, SQLGetTypeInfo, the table-type list and
// the catalog functions the data source may offer (SQLForeignKeys,
// SQLTablePrivileges, SQLColumnPrivileges, SQLProcedures,
// SQLProcedureColumns), built whole before the call returns and read back
// with the statement's fetch.
//
// Interface and legal order of calls (each answers 0, 1 with a warning
// queued, -1 after posting on the statement's queue):
//   rcCatRelease(stmt)                 drops any earlier result (statement
//                                      reset frees it too)
//   rcCatTablesPrepare / rcCatColumnsPrepare / rcCatStatisticsPrepare / rcCatPrimaryKeysPrepare /
//   rcCatForeignKeysPrepare / rcCatTablePrivilegesPrepare / rcCatColumnPrivilegesPrepare /
//   rcCatProceduresPrepare / rcCatProcColumnsPrepare (stmt, conn, arguments ...)
//                                      read the data module's catalog
//                                      cursors and build the result
//   or, for results the ODBC layer fills itself:
//   rcCatBegin(stmt, source) -> rcCatPutRow(stmt, row) ... -> rcCatFinish(stmt)
//   rcCatTakeColumns(stmt, &columns)   the result's described columns
//   rcExeFetch / rcExeGetColumn (stmt->planner, rcexe.h)
//                                      its rows and values, as any query's
//
// Algorithm: a result is a temporary table (rctmp.h) with one column per
// result column, typed and sized by the result source's column table
// (rcCatResultColumns), from which rcCatDefineColumns also makes the
// columns that SQLDescribeCol and SQLColAttributes report. The producers
// walk the data module's catalog cursors through the table-access layer,
// put each row that matches the arguments, and the table is sorted on the
// ordering columns ODBC names for the function before the call returns, so
// later changes in the data source do not show in an open result. The
// finished table becomes the statement's plan, one PLN_TEMPSCAN node over
// it (rcexeresult.h): fetch, SQLGetData, SQL_MAX_ROWS and SQL_MAX_LENGTH
// read it on the road of every result.
//
// Name patterns: "%" any run of characters, "_" one character, the search
// escape (a backslash) makes the next "%", "_" or escape literal; names are
// compared without regard to case (Windows-1252 upper case, as the server
// compares names) unless the data source reports case-sensitive names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct rcResultColumn;
struct rcStmt;
struct TamSession;

// Result sources: which function built the statement's result.
enum rcCatSource : uint16_t {
    RC_CAT_TABLES = 2,
    RC_CAT_QUALIFIERS = 3,
    RC_CAT_OWNERS = 4,
    RC_CAT_TABLE_TYPES = 5,
    RC_CAT_COLUMNS = 6,
    RC_CAT_STATISTICS = 7,
    RC_CAT_PRIMARY_KEYS = 8,
    RC_CAT_TYPE_INFO = 9,
    RC_CAT_SPECIAL_COLUMNS = 10,
    RC_CAT_PROCEDURES = 11,
    RC_CAT_PROC_COLUMNS = 12,
    RC_CAT_FOREIGN_KEYS = 13,
    RC_CAT_TABLE_PRIVILEGES = 14,
    RC_CAT_COLUMN_PRIVILEGES = 15,
};

// One result column: the name and type ODBC 2 gives it, its column size,
// nullability (1 nullable, 0 not) and the bytes a value is kept in.
struct rcCatColumnDef {
    const char *name;
    int16_t sqlType;
    uint32_t precision;
    uint16_t nullable;
    uint16_t storeLength;
};

// The column table of a result source; null (count 0) for an unknown one.
const rcCatColumnDef *rcCatResultColumns(uint16_t source, uint16_t *count);

// Table-type mask of SQLTables: 0 every type, RC_CAT_MASK_NONE nothing.
enum : uint32_t {
    RC_CAT_TYPE_TABLE = 1,
    RC_CAT_TYPE_SYSTEM_TABLE = 2,
    RC_CAT_TYPE_VIEW = 4,
    RC_CAT_MASK_NONE = 0xFFFFFFFFu,
};

// Capabilities of the data source the catalog reads (the connection's
// data-module information).
enum : uint32_t {
    RC_CAT_CAP_TABLE_CASE = 0x1,
    RC_CAT_CAP_COLUMN_CASE = 0x2,
    RC_CAT_CAP_PRIMARY_KEY = 0x100,
    RC_CAT_CAP_FOREIGN_KEY = 0x200,
    RC_CAT_CAP_TABLE_PRIVILEGE = 0x400,
    RC_CAT_CAP_COLUMN_PRIVILEGE = 0x800,
    RC_CAT_CAP_PROCEDURES = 0x1000,
    RC_CAT_CAP_VIEWS = 0x2000,
    RC_CAT_CAP_COLUMNS_BY_NAME = 0x4000,
};

// What ODBC reports of a column's type.
struct rcCatTypeDesc {
    int16_t sqlType = 0;
    std::string typeName;
    int32_t precision = 0; // column size
    int32_t length = 0;    // octet length (DECIMAL: precision + 2)
    int16_t scale = 0;
    bool hasScale = false; // false: SCALE is NULL
    int16_t radix = 0;     // 0: RADIX is NULL
};

// A stored view's column.
struct rcCatViewColumn {
    std::string name;
    int16_t sqlType = 0;
    uint32_t length = 0;
    uint32_t precision = 0;
    int16_t scale = 0;
    uint32_t flags = 0; // bit 0 nullable
};

// The catalog's view of its connection, implemented by the ODBC layer (the
// connection's settings, type catalog and the driver's stored views, which
// live above the engine).
class rcCatConn {
public:
    virtual TamSession *Session() = 0;
    // The connection's current qualifier.
    virtual const char *Qualifier() = 0;
    virtual uint32_t Capabilities() = 0; // RC_CAT_CAP_* bits
    virtual uint16_t MaxColumns() = 0;
    // The ODBC description of a data-module column type; -1 when the
    // connection has no SQL type for it.
    virtual int DescribeDrmType(uint32_t drmType, uint32_t length, uint16_t precision,
                                int16_t scale, rcCatTypeDesc *out) = 0;
    // The same for a stored view's column, typed by SQL type.
    virtual int DescribeSqlType(int16_t sqlType, uint32_t length, uint32_t precision, int16_t scale,
                                rcCatTypeDesc *out) = 0;
    // Stored view names in catalogue order: 0 with the name, 100 past the
    // last, -1 (posted).
    virtual int NextViewName(bool restart, std::string *name) = 0;
    // The stored columns of a view, in definition order: 0 or -1 (posted).
    virtual int ViewColumns(const std::string &name, std::vector<rcCatViewColumn> *out) = 0;

protected:
    ~rcCatConn() = default;
};

// One value of a row being put; the kind decides the C form.
struct rcCatValue {
    enum Kind : uint8_t { Null, Text, Int } kind = Null;
    const char *text = nullptr;
    int32_t number = 0;
    static rcCatValue Str(const char *s) { return s ? rcCatValue{Text, s, 0} : rcCatValue{}; }
    static rcCatValue Num(int32_t n) { return rcCatValue{Int, nullptr, n}; }
};

// The result's columns: frees any earlier result and makes an empty one of
// count columns typed and sized by defs (kept by the caller for the
// result's life), the first visible of them seen by the application. 0, or
// -1 posted. The visible columns are described too: name, SQL type, column
// size, length, display size, scale (none for text), nullability, the type
// name of the statement's connection, signedness and searchability.
int16_t rcCatDefineColumns(rcStmt *stmt, uint16_t count, uint16_t visible,
                           const rcCatColumnDef *defs);
// Sets the statement's catalog kind (its result source) and puts the result
// before its first row.
void rcCatSetKind(rcStmt *stmt, uint16_t kind);
// Moves the described columns of the statement's result into *out, which
// is cleared first (left empty without a result).
void rcCatTakeColumns(rcStmt *stmt, std::vector<rcResultColumn> *out);

// Builders of the ODBC layer's own results. Begin makes an empty result of
// the source's columns and sort keys; each PutRow takes one value per column;
// Finish sorts the rows and opens the result as the statement's plan.
int16_t rcCatBegin(rcStmt *stmt, uint16_t source);
int16_t rcCatPutRow(rcStmt *stmt, const rcCatValue *row);
int16_t rcCatFinish(rcStmt *stmt);

// The producers. Absent arguments are null; patterns as said above.
int16_t rcCatTablesPrepare(rcStmt *stmt, rcCatConn *conn, const char *qualifier, const char *owner,
                           const char *table, uint32_t typeMask);
int16_t rcCatColumnsPrepare(rcStmt *stmt, rcCatConn *conn, const char *qualifier, const char *owner,
                            const char *table, const char *column);
int16_t rcCatStatisticsPrepare(rcStmt *stmt, rcCatConn *conn, const char *qualifier,
                               const char *owner, const char *table, uint16_t unique);
int16_t rcCatPrimaryKeysPrepare(rcStmt *stmt, rcCatConn *conn, const char *qualifier,
                                const char *owner, const char *table);
int16_t rcCatForeignKeysPrepare(rcStmt *stmt, rcCatConn *conn, const char *pkQualifier,
                                const char *pkOwner, const char *pkTable, const char *fkQualifier,
                                const char *fkOwner, const char *fkTable);
int16_t rcCatTablePrivilegesPrepare(rcStmt *stmt, rcCatConn *conn, const char *qualifier,
                                    const char *owner, const char *table);
int16_t rcCatColumnPrivilegesPrepare(rcStmt *stmt, rcCatConn *conn, const char *qualifier,
                                     const char *owner, const char *table, const char *column);
int16_t rcCatProceduresPrepare(rcStmt *stmt, rcCatConn *conn, const char *qualifier,
                               const char *owner, const char *procedure);
int16_t rcCatProcColumnsPrepare(rcStmt *stmt, rcCatConn *conn, const char *qualifier,
                                const char *owner, const char *procedure, const char *column);

// The best row identifier of a table (SQLSpecialColumns with
// SQL_BEST_ROWID and SQL_SCOPE_CURROW): the columns of its primary key, or
// else of its first unique index, whose columns are all not nullable unless
// nullable columns are allowed. An absent table gives an empty result.
int16_t rcCatBestRowId(rcStmt *stmt, rcCatConn *conn, const char *qualifier, const char *owner,
                       const char *table, bool allowNullable);

// True while the statement holds a catalog result.
bool rcCatActive(const rcStmt *stmt);
// Frees the result, and its plan once it has one.
void rcCatRelease(rcStmt *stmt);

// LIKE of a catalog name against a pattern (see above); exact is true when
// names compare with case.
bool rcCatNameMatches(const char *name, const char *pattern, bool exact);

// The RADIX ODBC gives an SQL type: 2 for BIT, 10 for the exact and
// approximate numbers, 0 (NULL) otherwise.
int16_t rcCatRadixOf(int16_t sqlType);
