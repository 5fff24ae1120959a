// What the data module's column and index catalogs said of the tables that a
// connection's statements named, kept on its table-access session: the next
// statement naming a table reads neither catalog again.
//
// A table's facts are found by the qualifier it was opened in and its name as
// the statement gives them; reading a catalog fills them once it was read
// through without error (a failed read keeps nothing). Every definition the
// session makes or drops (a table created or deleted) forgets the facts
// of every table, and ending the session frees them. Definitions made by
// other connections are not seen: the facts stay as this connection read them.
//
// Interface, in the order of use:
//   TamFindTableFacts  the facts kept of a table, null when none
//   TamKeepTableFacts  the facts of a table, made empty when none are kept
//   TamForgetTableFacts / TamFreeTableFacts
// A pointer handed out holds until the next definition or the session's end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/engine/rcsem.h"

struct TamSession;

// One row of a table's index catalog, in catalog order.
struct TamIndexRow {
    char name[65] = {};
    uint32_t flags = 0;
    uint32_t number = 0;    // key column's number
    uint32_t direction = 0; // bit 0: descending
};

struct TamTableFacts {
    bool columnsRead = false;
    std::vector<rcTblColumn> columns; // owners unset
    bool indexesRead = false;
    std::vector<TamIndexRow> indexRows; // empty when the data module has no index catalog
};

TamTableFacts *TamFindTableFacts(TamSession *session, const std::string &path,
                                 const std::string &table);
TamTableFacts *TamKeepTableFacts(TamSession *session, const std::string &path,
                                 const std::string &table);
void TamForgetTableFacts(TamSession *session);
void TamFreeTableFacts(TamSession *session);
