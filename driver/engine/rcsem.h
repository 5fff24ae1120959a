// Records the semantic checks attach to a checked parse tree, read by the
// expression and filter compilers, the planner and the describe functions.
//
// After the checks of a statement ran (driver/frontend/fe_check.h):
//   - every Expression node's `sem` is its rcSemTypeInfo (the type of the
//     value the subtree gives), and so is the `sem` of every Value of an IN
//     list and of every DynamicParm (the parameter's type);
//   - every ColName node's `sem` is the rcTblColumn it names;
//   - every TableName node's `sem` is its rcTblEntry;
//   - DynamicParm nodes carry their number (0, 1, ...) in attr2.
// The records live in the statement's prepared state and die with it.
//
// Types are the engine's: the SQL types plus RC_SQL_SCALED64 (32020),
// RC_SQL_DECIMAL38 (32021), -28 (unsigned tinyint) and the placeholder of a
// parameter whose type is not known yet (RC_SEM_UNTYPED).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TamTableHandle;
struct rcParseNode;

inline constexpr int16_t RC_SEM_UNTYPED = 22222;
inline constexpr uint32_t RC_SEM_UNTYPED_LENGTH = 40;
inline constexpr uint32_t RC_SEM_LONG_LENGTH = 65500;

enum : uint32_t {
    RC_SEM_NULLABLE = 0x1, // the value may be NULL
    RC_SEM_NULLABILITY_KNOWN = 0x2,
    RC_SEM_PLAIN_COLUMN = 0x400, // the value is a table column, unchanged
};

struct rcSemTypeInfo {
    int16_t sqlType = 0;    // engine type
    uint32_t length = 0;    // bytes of a value (character types: characters)
    uint16_t precision = 0; // DECIMAL38: digits
    int16_t scale = 0;
    uint32_t flags = RC_SEM_NULLABLE | RC_SEM_NULLABILITY_KNOWN;
    uint16_t collation = 0;
    uint16_t collationClass = 0;
    // Working type of a binary operation between a DATE, TIME, TIMESTAMP or
    // DECIMAL38 operand and a character literal: the literal is read as
    // that type. 0 when none.
    int16_t workType = 0;
};

struct rcTblEntry;

// A column of an opened table, as its data module describes it.
struct rcTblColumn {
    std::string name;
    uint32_t number = 0;     // column number at the data module, from 1
    rcSemTypeInfo type;      // engine type, length, precision, scale, nullability
    uint32_t attributes = 0; // the data module's attribute word
    rcTblEntry *owner = nullptr;
};

enum : uint16_t { RC_TBL_TABLE = 1, RC_TBL_VIEW = 3 };

// A table reference of the statement (one per TableName of the tree).
struct rcTblEntry {
    uint16_t kind = RC_TBL_TABLE;
    std::string path;  // qualifier the table was opened in
    std::string name;  // table name as written (upper-cased when the source asks)
    std::string alias; // correlation name, "" when none
    TamTableHandle *handle = nullptr;
    std::vector<rcTblColumn> columns;
    uint32_t id = 0; // position in the statement's table list, from 0
};

// One result column of a prepared query.
struct rcResultColumn {
    std::string name;      // alias, column name or EXPR_n
    std::string tableName; // base table of a plain column, else ""
    std::string qualifier; // its path
    int16_t engineType = 0;
    int16_t sqlType = 0;    // what the application sees
    uint32_t length = 0;    // SQL_COLUMN_LENGTH
    uint32_t precision = 0; // column size
    int16_t scale = 0;      // -9999 when none
    uint32_t displaySize = 0;
    uint16_t nullable = 1; // SQL_NO_NULLS, SQL_NULLABLE, SQL_NULLABLE_UNKNOWN
    bool caseSensitive = false;
    uint16_t searchable = 0; // SQL_UNSEARCHABLE .. SQL_SEARCHABLE
    bool isUnsigned = true;
    bool money = false;
    bool updatable = false;
    bool autoIncrement = false;
    bool hasSetFunction = false;
    std::string typeName;
    const rcTblColumn *column = nullptr; // the table column of a plain column item
    rcParseNode *expression = nullptr;   // the item's Expression node
};

// What SQLDescribeParam reports of a parameter.
struct rcParamDesc {
    int16_t sqlType = 0; // SQL type; 0 while untyped
    uint32_t columnSize = 0;
    int16_t decimalDigits = 0;
    uint16_t nullable = 1;
};
