// Stored views: the statement's side of the view files (fe_viewfile.h) and the
// expansion of views named in a statement (fe_viewexpand.cpp).
//
// The server has no views, so the driver keeps them in "zorview.def" and
// "zorview.dat" in the view file directory: key "ViewFileDirectory" of section
// "ZorviEngineOptions" in odbc.ini, else the connection's qualifier when that
// names a directory, else the driver's configuration directory.
//
// Interface, as statement preparation and execution call it:
//   Preparation of any statement:
//     rcVwParseStatement(stmt, text, &root, &arena, nullptr, false, escapes)
//         parses the text and merges every view it names into the tree (views of
//         views included); a CREATE VIEW tree is left as parsed. The catalogue is
//         read again first when "zorview.def" changed since this statement read it.
//     rcVwExpand(stmt, arena, root) does the merging alone on a tree the caller
//         parsed into arena.
//   CREATE VIEW (kind 12): preparation plans the view's query (rcVwQueryText of
//     the CreateViewStmt root, itself expanded) to learn its result columns; then
//     execution calls
//     rcVwCreate(stmt, createRoot, columns, count)      0 or -1 (posted)
//   DROP VIEW (kind 13): execution calls
//     rcVwDrop(stmt, dropRoot)                          0 or -1 (posted);
//     a name that is no view is an error
//   Catalog functions (SQLTables, SQLColumns):
//     rcVwNextName(stmt, restart, name)                 0, 100 at the end, -1
//     rcVwLookup(stmt, name, &count, &entry)            0, 1000 not a view, -1
//     rcVwGetColumn(stmt, index, ...)                   of the view last looked up
//   rcVwFreeCatalog(stmt) frees the loaded catalogue (the statement's
//     reset frees it too: it hangs on rcStmt::views).
// Every routine that fails posts its message on the statement's error queue.
// Calls are made under the engine lock (preparation and execution hold it);
// the files themselves are guarded by a file lock (fe_viewfile.h), so several
// processes may share a directory.
//
// View names follow one case rule everywhere: compared without regard to case
// unless the data source reports case-sensitive table names (capability bit 1).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "driver/frontend/fe_viewfile.h"
#include "driver/frontend/rcprs.h"
#include "driver/engine/rcstmt.h"

// A result column of a view's query, as plan building describes it.
struct rcVwColumnDesc {
    const char *name = "";
    int16_t sqlType = 0;
    uint32_t length = 0;
    uint32_t precision = 0;
    int16_t scale = 0;
    uint32_t flags = 0; // bit 0 nullable; bits 0-12 are stored
};

// The statement's view catalogue (rcStmt::views): allocated on first use,
// freed by rcVwFreeCatalog or the statement's reset.
struct rcViewCatalog {
    std::string dir; // the directory the catalogue was read from
    rcVwFileCatalog file;
    bool loaded = false;
    uint16_t enumIndex = 0; // rcVwNextName
    rcViewEntry current;    // the view last looked up, with its record
    std::vector<rcViewColumn> columns;
    std::string text;
};

// The queue the view routines post their messages on.
inline rcErrorQueue *rcVwErrors(rcStmt *stmt) { return stmt->errors; }

// Capability bits of rcStmtSourceInfo::capabilities read here.
enum : uint32_t {
    RC_VW_CAP_TABLE_CASE = 0x1,
    RC_VW_CAP_COLUMN_CASE = 0x2,
};

// The view file directory, ending with "/". 0, or -1 (posted) when there is none.
int rcVwGetDir(rcStmt *stmt, std::string *dir);
// Tests: a directory used instead of odbc.ini and the qualifier (null: none).
// The ODBC installer library keeps what it read of odbc.ini for the life of
// the process, so tests that need several settings cannot use it.
void rcVwSetTestDirectory(const char *dir);
// Reads the catalogue when the statement has none or the file changed. 0 or -1.
int rcVwLoadCatalog(rcStmt *stmt);
// 1 when name is a stored view, else 0 (also when the catalogue cannot be read:
// the error is then posted).
int rcVwIsViewName(rcStmt *stmt, const char *name);
// Finds the view and reads its record. 0, 1000 not a view, -1 error (posted).
int rcVwLookup(rcStmt *stmt, const char *name, uint16_t *columnCount, rcViewEntry *entry);
// Names in catalogue order: 0 with name (64 bytes), 100 past the last, -1.
int rcVwNextName(rcStmt *stmt, bool restart, char *name);
// A column of the view last looked up: 0, 100 past the last column, -1 for a
// negative index. Outputs may be null. The flags are the stored bits 0-9 and
// 11 with bit 12 set.
int rcVwGetColumn(rcStmt *stmt, int index, char *name, int16_t *sqlType, uint32_t *length,
                  uint32_t *precision, int16_t *scale, uint32_t *flags);
// The definition text of the view last looked up ("" when none).
const char *rcVwGetText(rcStmt *stmt);

// The definition text stored for a CREATE VIEW: the regenerated query.
std::string rcVwQueryText(const rcParseNode *createRoot);

int rcVwCreate(rcStmt *stmt, const rcParseNode *createRoot, const rcVwColumnDesc *columns,
               size_t count);
int rcVwDrop(rcStmt *stmt, const rcParseNode *dropRoot);
void rcVwFreeCatalog(rcStmt *stmt);

// View expansion (fe_viewexpand.cpp).
//
// rcVwParseStatement: with subTree false parses text into a new arena (*arena,
// *root; escapes are scanned unless the statement's SQL_NOSCAN option is on:
// the caller says which; a failed parse posts 5124 with a bounded text and
// frees the arena) and
// then merges the views; with subTree true *root is a part of a tree already
// parsed into *arena. counter numbers the merged views ("View%dTab%d"); null
// uses a local one. 0, or -1 (posted).
int rcVwParseStatement(rcStmt *stmt, const char *text, rcParseNode **root, rcMemPool *arena,
                       uint16_t *counter, bool subTree, bool escapes = true);
// Merges the views named in a tree already parsed into arena. 0 or -1 (posted).
int rcVwExpand(rcStmt *stmt, rcMemPool arena, rcParseNode *root);
// Posts the error of a failed parse of text: 5124 with the text around the
// error position and the marker "<< ??? >>", bounded in length.
void rcVwSyntaxErrorText(rcStmt *stmt, const char *text, int parseResult);
// The bounded text rcVwSyntaxErrorText posts for a syntax error at pos.
std::string rcVwSyntaxErrorExcerpt(const char *text, long pos);

// Deepest nesting of views inside views; a deeper or circular chain is refused.
inline constexpr int kRcVwMaxDepth = 16;
