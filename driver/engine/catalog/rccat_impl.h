// Shared inside the catalog: the result kept on the statement and the
// helpers the producers use (argument rules, catalog cursor reads).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/engine/catalog/rccat.h"
#include "driver/engine/rcsem.h"
#include "driver/engine/tam.h"
#include "driver/engine/temp/rctmp.h"

// The statement's catalog result (rcStmt::catResult).
struct rcCatResult {
    uint16_t source = 0;
    const rcCatColumnDef *defs = nullptr;
    uint16_t count = 0;   // columns kept, hidden ones last
    uint16_t visible = 0; // columns the application sees
    // The rows while they are put; the finished table then belongs to the
    // statement's plan (rcexeresult.h), and table is null.
    TempTable *table = nullptr;
    bool planned = false; // the statement's planner is this result's plan
    // The visible columns as the describe functions report them, until the
    // ODBC layer takes them (rcCatTakeColumns).
    std::vector<rcResultColumn> columns;
};

rcCatResult *rcCatResultOf(const rcStmt *stmt);

// The arguments every producer checks the same way.
struct rcCatArgs {
    std::string qualifier;     // the qualifier to read (the connection's when none was given)
    bool emptyPattern = false; // a qualifier given as "" matches no name
};
// Checks owner and qualifier: a non-empty owner posts 5160 with "Owner names
// are not supported.", a qualifier beginning with "%" (other than "%" alone)
// 5160 with "% and _ not supported for Directory name."; -1 then, else 0.
int16_t rcCatCheckArgs(rcStmt *stmt, rcCatConn *conn, const char *qualifier, const char *owner,
                       rcCatArgs *out);
// A name argument without its enclosing double quotes.
std::string rcCatUnquote(const char *name);
// Posts a data-module code as its mapped message; -1.
int16_t rcCatPostDrm(rcStmt *stmt, int32_t code);
// Posts 5160 with the text of a string-table entry (formatted with arg when
// given); -1.
int16_t rcCatNotCapable(rcStmt *stmt, uint32_t textId, const char *arg = nullptr);

// Reads of the current row of a catalog cursor (the column numbers come from
// the engine's catalog-information record): 0, 1004 NULL, or a negative code.
int32_t rcCatReadText(TamSession *s, TamTableHandle *h, uint32_t column, std::string *out);
int32_t rcCatReadU32(TamSession *s, TamTableHandle *h, uint32_t column, uint32_t *out);
int32_t rcCatReadI16(TamSession *s, TamTableHandle *h, uint32_t column, int16_t *out);

// A table of the data source's catalog, with its column descriptions.
struct rcCatTableColumn {
    std::string name;
    uint32_t drmType = 0;
    uint32_t length = 0;
    uint32_t attributes = 0; // data-module attribute word; 0x4 not null
    uint16_t precision = 0;
    int16_t scale = 0;
};
// Reads the column catalog of an open table: 0 or a negative code.
int32_t rcCatReadColumns(TamSession *s, TamTableHandle *table, uint16_t limit,
                         std::vector<rcCatTableColumn> *out);

// An index row of a table's index catalog.
struct rcCatIndexRow {
    std::string indexName;
    uint32_t flags = 0; // bit 0 unique, bit 1 primary key, bit 5 clustered
    uint32_t position = 0;
    uint32_t collation = 0; // 1 descending
    std::string column;
};
enum : uint32_t {
    RC_CAT_INDEX_UNIQUE = 0x1,
    RC_CAT_INDEX_PRIMARY = 0x2,
    RC_CAT_INDEX_CLUSTERED = 0x20,
};
// Reads the index catalog of an open table: 0 or a negative code.
int32_t rcCatReadIndexes(TamSession *s, TamTableHandle *table, std::vector<rcCatIndexRow> *out);

// The names of the data source's tables (name and catalog type: 1 table,
// other values views the data module lists), in catalog order; exact, when
// given, is a name without wildcards that alone is wanted.
struct rcCatTableEntry {
    std::string name;
    uint32_t type = 1;
    uint32_t cardinality = 0;
    uint32_t pages = 0;
};
int32_t rcCatReadTables(TamSession *s, const std::string &qualifier,
                        std::vector<rcCatTableEntry> *out);

// Names equal without regard to case (Windows-1252) unless exact.
bool rcCatNameEquals(const char *a, const char *b, bool exact);
