// Catalog functions through the unixODBC Driver Manager against qxserver:
// the rows and column descriptions of SQLTables, SQLColumns, SQLStatistics,
// SQLPrimaryKeys, SQLSpecialColumns and SQLGetTypeInfo for null, exact and
// pattern arguments (names with accents, quotes, "_" and "%", a table
// without fields, stored views among the tables), the functions the data
// source does not offer, long values read in pieces, and the cursor states
// of a catalog result.
//
// The fixture (catalog.json): Emp (ID key, Name and Dept indexed, Badge a
// unique index on a field that may be empty), Tags (only a unique index,
// on a field that may be empty), ANNÉE and Année (names differing only in
// case), A_B and AxB, Say"Hi, and Nothing without fields; the stored views
// Rich and Staff are made by each test's set-up. Text crosses in
// Windows-1252.
#include "tests/e2e_fixture.h"

#include <sys/stat.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using Rows = std::vector<std::string>;

class E2eCatalog : public E2eConnected {
protected:
    void SetUp() override
    {
        fixture = QX_CATALOG_FIXTURE;
        E2eFixture::SetUp();
        ASSERT_EQ(mkdir((dir + "/views").c_str(), 0700), 0);
        WriteDsn("[ZorviEngineOptions]\nViewFileDirectory=" + dir + "/views\n");
        ConnectDemo();
        for (const char *sql :
             {"CREATE VIEW Staff AS SELECT ID, Name AS Who FROM Emp",
              "CREATE VIEW Rich AS SELECT Name, Salary FROM Emp WHERE Salary > 1000"})
            ASSERT_EQ(SQLExecDirect(stmt, Text(sql), SQL_NTS), SQL_SUCCESS) << sql << Diag();
        qualifier = Dbq();
    }
    // The rows of the open result as "v1|v2|...", NULL as "NULL", of the
    // columns given (from 1; all when empty), read with SQLGetData; the
    // cursor is closed after. A failed call gives "ERROR state text".
    Rows Read(SQLRETURN rc, std::vector<SQLUSMALLINT> columns = {})
    {
        if (!SQL_SUCCEEDED(rc))
            return {"ERROR " + Diag()};
        if (columns.empty()) {
            SQLSMALLINT count = 0;
            EXPECT_EQ(SQLNumResultCols(stmt, &count), SQL_SUCCESS);
            for (SQLUSMALLINT k = 1; k <= count; ++k)
                columns.push_back(k);
        }
        Rows rows;
        while ((rc = SQLFetch(stmt)) == SQL_SUCCESS) {
            std::string row;
            for (SQLUSMALLINT k : columns) {
                char buf[300] = {};
                SQLLEN length = 0;
                EXPECT_EQ(SQLGetData(stmt, k, SQL_C_CHAR, buf, sizeof buf, &length), SQL_SUCCESS)
                    << Diag();
                row += (row.empty() && k == columns.front() ? "" : "|");
                row += length == SQL_NULL_DATA ? "NULL" : buf;
            }
            rows.push_back(row);
        }
        EXPECT_EQ(rc, SQL_NO_DATA_FOUND) << Diag();
        EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
        return rows;
    }
    // The result's columns as "NAME type size nullable".
    Rows Described()
    {
        SQLSMALLINT count = 0;
        EXPECT_EQ(SQLNumResultCols(stmt, &count), SQL_SUCCESS);
        Rows out;
        for (SQLUSMALLINT k = 1; k <= count; ++k) {
            SQLCHAR name[64] = {};
            SQLSMALLINT length = 0, type = 0, scale = 0, nullable = 0;
            SQLULEN size = 0;
            EXPECT_EQ(SQLDescribeCol(stmt, k, name, sizeof name, &length, &type, &size, &scale,
                                     &nullable),
                      SQL_SUCCESS);
            out.push_back(std::string(reinterpret_cast<char *>(name)) + " " + std::to_string(type) +
                          " " + std::to_string(size) + " " + std::to_string(nullable));
        }
        return out;
    }
    // Catalog calls with terminated arguments; null stays null.
    SQLRETURN Tables(const char *q, const char *o, const char *t, const char *types)
    {
        return SQLTables(stmt, Text(q), SQL_NTS, Text(o), SQL_NTS, Text(t), SQL_NTS, Text(types),
                         SQL_NTS);
    }
    SQLRETURN Columns(const char *t, const char *c)
    {
        return SQLColumns(stmt, nullptr, 0, nullptr, 0, Text(t), SQL_NTS, Text(c), SQL_NTS);
    }

    std::string qualifier;
};

// Accented names as they cross in Windows-1252.
const std::string kAnneeUpper = "ANN\xC9"
                                "E";
const std::string kAnnee = "Ann\xE9"
                           "e";
const std::string kEte = "\xC9t\xE9";

TEST_F(E2eCatalog, TablesByArguments)
{
    // The whole row once: qualifier, no owner, no remarks; tables by type,
    // then by name, the stored views after the tables.
    Rows all = Read(Tables(nullptr, nullptr, nullptr, nullptr));
    ASSERT_EQ(all.size(), 10u) << ::testing::PrintToString(all);
    EXPECT_EQ(all.front(), qualifier + "|NULL|A_B|TABLE|NULL");
    EXPECT_EQ(all.back(), qualifier + "|NULL|Staff|VIEW|NULL");

    struct Case {
        const char *qualifier, *owner, *table, *types;
        Rows rows; // TABLE_NAME|TABLE_TYPE
    };
    const std::string annee = kAnnee; // a pattern without wildcards, another case
    const Case cases[] = {
        {nullptr,
         nullptr,
         nullptr,
         nullptr,
         {"A_B|TABLE", kAnneeUpper + "|TABLE", kAnnee + "|TABLE", "AxB|TABLE", "Emp|TABLE",
          "Nothing|TABLE", "Say\"Hi|TABLE", "Tags|TABLE", "Rich|VIEW", "Staff|VIEW"}},
        // "_" is any one character; escaped it is itself.
        {nullptr, nullptr, "A_B", nullptr, {"A_B|TABLE", "AxB|TABLE"}},
        {nullptr, nullptr, "A\\_B", nullptr, {"A_B|TABLE"}},
        // Names compare without regard to case, accented letters too.
        {nullptr, nullptr, "ann%", nullptr, {kAnneeUpper + "|TABLE", kAnnee + "|TABLE"}},
        {nullptr, nullptr, annee.c_str(), nullptr, {kAnneeUpper + "|TABLE", kAnnee + "|TABLE"}},
        {nullptr, nullptr, "%I%", nullptr, {"Nothing|TABLE", "Say\"Hi|TABLE", "Rich|VIEW"}},
        {"", nullptr, "%", nullptr, {}},              // an empty qualifier names nothing
        {"%", "", "\"Emp\"", nullptr, {"Emp|TABLE"}}, // quotes, "%" qualifier, empty owner
        // Table types.
        {nullptr, nullptr, "%", "'VIEW'", {"Rich|VIEW", "Staff|VIEW"}},
        {nullptr, nullptr, "%I%", "TABLE", {"Nothing|TABLE", "Say\"Hi|TABLE"}},
        {nullptr, nullptr, "S%", " 'VIEW' , 'table'", {"Say\"Hi|TABLE", "Staff|VIEW"}},
        {nullptr, nullptr, "%", "SYSTEM TABLE", {}},
        {nullptr, nullptr, "%", "FOO", {}},
        {nullptr, nullptr, "%", "''", {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Read(Tables(c.qualifier, c.owner, c.table, c.types), {3, 4}), c.rows)
            << (c.table ? c.table : "null") << " / " << (c.types ? c.types : "null");
    // The trace has each call with its arguments.
    std::string trace = ReadFile("trace.log");
    EXPECT_NE(trace.find("SQLTables(0x"), std::string::npos);
    EXPECT_NE(trace.find(", \"NULL\", 0, \"NULL\", 0, \"A\\_B\", -3, \"NULL\", 0)"),
              std::string::npos);
}

TEST_F(E2eCatalog, TableTypesAndRefusedArguments)
{
    EXPECT_EQ(Read(Tables("", "", "", "%")),
              (Rows{"NULL|NULL|NULL|TABLE|NULL", "NULL|NULL|NULL|SYSTEM TABLE|NULL",
                    "NULL|NULL|NULL|VIEW|NULL"}));
    struct Case {
        const char *qualifier, *owner, *table;
        const char *text; // part of the message
    };
    const Case cases[] = {
        {nullptr, "dbo", nullptr, "Owner names are not supported."},
        {"%x", nullptr, nullptr, "% and _ not supported for Directory name."},
        {"", "%", "", "not capable"}, // the owner list
        {"%", "", "", "not capable"}, // the qualifier list
    };
    for (const Case &c : cases) {
        Rows rows = Read(Tables(c.qualifier, c.owner, c.table, nullptr));
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].substr(0, 11), "ERROR S1C00") << rows[0];
        EXPECT_NE(rows[0].find(c.text), std::string::npos) << rows[0];
    }
    // A qualifier naming no database: the data source's failure is
    // reported, by SQLSpecialColumns too (not an empty result).
    EXPECT_EQ(Read(Tables("nowhere", nullptr, nullptr, nullptr)).front().substr(0, 11),
              "ERROR 08004");
    EXPECT_EQ(SQLSpecialColumns(stmt, SQL_BEST_ROWID, Text("nowhere"), SQL_NTS, nullptr, 0,
                                Text("Emp"), SQL_NTS, SQL_SCOPE_CURROW, SQL_NULLABLE),
              SQL_ERROR);
    EXPECT_EQ(Diag().substr(0, 5), "08004");
    // A name within the driver's 31 characters when the escape before "_"
    // is not counted, and one beyond them.
    std::string escaped = std::string(29, 'x') + "\\_y";
    EXPECT_EQ(Read(Tables(nullptr, nullptr, escaped.c_str(), nullptr)), Rows{});
    EXPECT_EQ(
        Read(Tables(nullptr, nullptr, (escaped + "z").c_str(), nullptr)).front().substr(0, 11),
        "ERROR S1090");
    // A name longer than the driver takes.
    EXPECT_EQ(Read(Tables(nullptr, nullptr, std::string(300, 'x').c_str(), nullptr))
                  .front()
                  .substr(0, 11),
              "ERROR S1090");
}

TEST_F(E2eCatalog, ColumnsByArguments)
{
    struct Case {
        const char *table, *column;
        // TABLE_NAME|COLUMN_NAME|DATA_TYPE|TYPE_NAME|PRECISION|LENGTH|SCALE|RADIX|
        // NULLABLE|REMARKS
        Rows rows;
    };
    const std::string annee = kAnnee;
    const Case cases[] = {
        {"Emp",
         nullptr,
         {"Emp|ID|4|LONGINT|10|4|0|10|0|NULL", "Emp|Name|12|STRING|30|30|NULL|NULL|1|NULL",
          "Emp|Salary|8|REAL|15|8|NULL|10|0|NULL", "Emp|Dept|5|INTEGER|5|2|0|10|0|NULL",
          "Emp|Badge|12|STRING|8|8|NULL|NULL|1|NULL"}},
        // A column pattern keeps the table's column order.
        {"emp",
         "%a%",
         {"Emp|Name|12|STRING|30|30|NULL|NULL|1|NULL", "Emp|Salary|8|REAL|15|8|NULL|10|0|NULL",
          "Emp|Badge|12|STRING|8|8|NULL|NULL|1|NULL"}},
        // Two tables whose names differ in case: each with its own columns,
        // one after the other.
        {annee.c_str(),
         nullptr,
         {kAnneeUpper + "|" + kEte + "|12|STRING|10|10|NULL|NULL|1|NULL",
          kAnnee + "|Mois|5|INTEGER|5|2|0|10|0|NULL", kAnnee + "|Jour|5|INTEGER|5|2|0|10|0|NULL"}},
        {"%", "q", {"Say\"Hi|Q|9|DATE|10|6|NULL|NULL|1|NULL"}},
        {"\"Say\"Hi\"", nullptr, {"Say\"Hi|Q|9|DATE|10|6|NULL|NULL|1|NULL"}},
        {"Nothing", nullptr, {}},
        {"Emp", "Nope", {}},
        // Stored views list their stored columns.
        {"Staff",
         nullptr,
         {"Staff|ID|4|LONGINT|10|4|0|10|0|NULL", "Staff|WHO|12|STRING|30|30|NULL|NULL|1|NULL"}},
        {"%",
         "sal%",
         {"Emp|Salary|8|REAL|15|8|NULL|10|0|NULL", "Rich|SALARY|8|REAL|15|8|NULL|10|0|NULL"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Read(Columns(c.table, c.column), {3, 4, 5, 6, 7, 8, 9, 10, 11, 12}), c.rows)
            << c.table << " / " << (c.column ? c.column : "null");
    // The qualifier and owner of every row.
    Rows rows = Read(Columns("A_B", nullptr), {1, 2});
    EXPECT_EQ(rows, (Rows{qualifier + "|NULL", qualifier + "|NULL"}));
}

TEST_F(E2eCatalog, IndexesKeysAndRowIdentifiers)
{
    auto statistics = [&](const char *table, SQLUSMALLINT unique) {
        return SQLStatistics(stmt, nullptr, 0, nullptr, 0, Text(table), SQL_NTS, unique, SQL_QUICK);
    };
    auto keys = [&](const char *table) {
        return SQLPrimaryKeys(stmt, nullptr, 0, nullptr, 0, Text(table), SQL_NTS);
    };
    auto special = [&](SQLUSMALLINT type, const char *table, SQLUSMALLINT scope,
                       SQLUSMALLINT nullable) {
        return SQLSpecialColumns(stmt, type, nullptr, 0, nullptr, 0, Text(table), SQL_NTS, scope,
                                 nullable);
    };
    struct Case {
        const char *what;
        std::function<SQLRETURN()> call;
        Rows rows;
    };
    const Case cases[] = {
        // The table's statistics row, then unique indexes before the others,
        // each by name.
        {"statistics all",
         [&] { return statistics("emp", SQL_INDEX_ALL); },
         {"Emp|NULL|NULL|NULL|0|NULL|NULL|NULL|NULL|NULL", "Emp|0|NULL|Badge|3|1|Badge|A|NULL|NULL",
          "Emp|0|NULL|ID|3|1|ID|A|NULL|NULL", "Emp|1|NULL|Dept|3|1|Dept|A|NULL|NULL",
          "Emp|1|NULL|Name|3|1|Name|A|NULL|NULL"}},
        {"statistics unique",
         [&] { return statistics("Emp", SQL_INDEX_UNIQUE); },
         {"Emp|NULL|NULL|NULL|0|NULL|NULL|NULL|NULL|NULL", "Emp|0|NULL|Badge|3|1|Badge|A|NULL|NULL",
          "Emp|0|NULL|ID|3|1|ID|A|NULL|NULL"}},
        {"statistics without indexes",
         [&] { return statistics("A_B", SQL_INDEX_ALL); },
         {"A_B|NULL|NULL|NULL|0|NULL|NULL|NULL|NULL|NULL"}},
        // The table name is no pattern.
        {"statistics of a pattern", [&] { return statistics("E%", SQL_INDEX_ALL); }, {}},
        {"primary key", [&] { return keys("EMP"); }, {"Emp|ID|1|ID"}},
        {"no primary key", [&] { return keys("Tags"); }, {}},
        {"primary key of no table", [&] { return keys(""); }, {}},
        // The best row identifier: the key, else a unique index whose
        // columns cannot be NULL unless NULL is allowed.
        {"row id",
         [&] { return special(SQL_BEST_ROWID, "Emp", SQL_SCOPE_CURROW, SQL_NO_NULLS); },
         {"0|ID|4|LONGINT|10|4|0|1"}},
        {"row id, nullable index",
         [&] { return special(SQL_BEST_ROWID, "Tags", SQL_SCOPE_CURROW, SQL_NO_NULLS); },
         {}},
        {"row id, NULL allowed",
         [&] { return special(SQL_BEST_ROWID, "Tags", SQL_SCOPE_CURROW, SQL_NULLABLE); },
         {"0|Tag|12|STRING|10|10|NULL|1"}},
        {"row version",
         [&] { return special(SQL_ROWVER, "Emp", SQL_SCOPE_CURROW, SQL_NULLABLE); },
         {}},
        {"row id of no table",
         [&] { return special(SQL_BEST_ROWID, "Nope", SQL_SCOPE_CURROW, SQL_NULLABLE); },
         {}},
    };
    for (const Case &c : cases) {
        SQLRETURN rc = c.call();
        SQLSMALLINT count = 0;
        SQLNumResultCols(stmt, &count);
        std::vector<SQLUSMALLINT> columns;
        if (count == 13) // statistics: from TABLE_NAME on
            columns = {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
        else if (count == 6) // primary keys: from TABLE_NAME on
            columns = {3, 4, 5, 6};
        Rows rows = Read(rc, columns);
        for (std::string &r : rows) // statistics rows: CARDINALITY and PAGES last but one
            if (count == 13)
                r = r.substr(0, r.rfind('|'));
        EXPECT_EQ(rows, c.rows) << c.what;
    }
}

// Every function's result is described with ODBC 2's column names and types.
TEST_F(E2eCatalog, ResultDescriptions)
{
    struct Case {
        const char *what;
        std::function<SQLRETURN()> call;
        Rows columns;
    };
    const std::string v = std::to_string(SQL_VARCHAR) + " ", s = std::to_string(SQL_SMALLINT) + " ",
                      i = std::to_string(SQL_INTEGER) + " ";
    const Case cases[] = {
        {"tables",
         [&] { return Tables(nullptr, nullptr, nullptr, nullptr); },
         {"TABLE_QUALIFIER " + v + "128 1", "TABLE_OWNER " + v + "128 1",
          "TABLE_NAME " + v + "128 1", "TABLE_TYPE " + v + "128 1", "REMARKS " + v + "254 1"}},
        {"columns",
         [&] { return Columns("Emp", nullptr); },
         {"TABLE_QUALIFIER " + v + "128 1", "TABLE_OWNER " + v + "128 1",
          "TABLE_NAME " + v + "128 0", "COLUMN_NAME " + v + "128 0", "DATA_TYPE " + s + "5 0",
          "TYPE_NAME " + v + "128 0", "PRECISION " + i + "10 1", "LENGTH " + i + "10 1",
          "SCALE " + s + "5 1", "RADIX " + s + "5 1", "NULLABLE " + s + "5 0",
          "REMARKS " + v + "254 1"}},
        {"statistics",
         [&] {
             return SQLStatistics(stmt, nullptr, 0, nullptr, 0, Text("Emp"), SQL_NTS, SQL_INDEX_ALL,
                                  SQL_QUICK);
         },
         {"TABLE_QUALIFIER " + v + "128 1", "TABLE_OWNER " + v + "128 1",
          "TABLE_NAME " + v + "128 0", "NON_UNIQUE " + s + "5 1", "INDEX_QUALIFIER " + v + "128 1",
          "INDEX_NAME " + v + "128 1", "TYPE " + s + "5 0", "SEQ_IN_INDEX " + s + "5 1",
          "COLUMN_NAME " + v + "128 1", "COLLATION " + std::to_string(SQL_CHAR) + " 1 1",
          "CARDINALITY " + i + "10 1", "PAGES " + i + "10 1", "FILTER_CONDITION " + v + "128 1"}},
        {"primary keys",
         [&] { return SQLPrimaryKeys(stmt, nullptr, 0, nullptr, 0, Text("Emp"), SQL_NTS); },
         {"TABLE_QUALIFIER " + v + "128 1", "TABLE_OWNER " + v + "128 1",
          "TABLE_NAME " + v + "128 0", "COLUMN_NAME " + v + "128 0", "KEY_SEQ " + s + "5 0",
          "PK_NAME " + v + "128 1"}},
        {"special columns",
         [&] {
             return SQLSpecialColumns(stmt, SQL_ROWVER, nullptr, 0, nullptr, 0, Text("Emp"),
                                      SQL_NTS, SQL_SCOPE_CURROW, SQL_NULLABLE);
         },
         {"SCOPE " + s + "5 1", "COLUMN_NAME " + v + "128 0", "DATA_TYPE " + s + "5 0",
          "TYPE_NAME " + v + "128 0", "PRECISION " + i + "10 1", "LENGTH " + i + "10 1",
          "SCALE " + s + "5 1", "PSEUDO_COLUMN " + s + "5 1"}},
        {"type info",
         [&] { return SQLGetTypeInfo(stmt, SQL_ALL_TYPES); },
         {"TYPE_NAME " + v + "128 0", "DATA_TYPE " + s + "5 0", "PRECISION " + i + "10 1",
          "LITERAL_PREFIX " + v + "128 1", "LITERAL_SUFFIX " + v + "128 1",
          "CREATE_PARAMS " + v + "128 1", "NULLABLE " + s + "5 0", "CASE_SENSITIVE " + s + "5 0",
          "SEARCHABLE " + s + "5 0", "UNSIGNED_ATTRIBUTE " + s + "5 1", "MONEY " + s + "5 0",
          "AUTO_INCREMENT " + s + "5 1", "LOCAL_TYPE_NAME " + v + "128 1",
          "MINIMUM_SCALE " + s + "5 1", "MAXIMUM_SCALE " + s + "5 1"}},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(c.call(), SQL_SUCCESS) << c.what << ": " << Diag();
        EXPECT_EQ(Described(), c.columns) << c.what;
        SQLLEN count = 0;
        EXPECT_EQ(SQLColAttributes(stmt, 1, SQL_COLUMN_COUNT, nullptr, 0, nullptr, &count),
                  SQL_SUCCESS);
        EXPECT_EQ(count, static_cast<SQLLEN>(c.columns.size())) << c.what;
        EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    }
}

TEST_F(E2eCatalog, TypeInformation)
{
    Rows all = Read(SQLGetTypeInfo(stmt, SQL_ALL_TYPES), {2});
    ASSERT_GE(all.size(), 8u);
    for (size_t k = 1; k < all.size(); ++k) // ordered by DATA_TYPE
        EXPECT_LE(std::stoi(all[k - 1]), std::stoi(all[k]));
    EXPECT_EQ(Read(SQLGetTypeInfo(stmt, SQL_VARCHAR)),
              (Rows{"STRING|12|255|'|'|NULL|1|1|3|NULL|0|NULL|STRING|NULL|NULL"}));
    EXPECT_EQ(Read(SQLGetTypeInfo(stmt, SQL_INTEGER)),
              (Rows{"LONGINT|4|10|NULL|NULL|NULL|1|0|2|0|0|0|LONGINT|0|0"}));
    EXPECT_EQ(Read(SQLGetTypeInfo(stmt, SQL_BIGINT)), Rows{}); // a type the source lacks
}

TEST_F(E2eCatalog, FunctionsTheSourceDoesNotOffer)
{
    const std::function<SQLRETURN()> calls[] = {
        [&] {
            return SQLForeignKeys(stmt, nullptr, 0, nullptr, 0, Text("Emp"), SQL_NTS, nullptr, 0,
                                  nullptr, 0, nullptr, 0);
        },
        [&] { return SQLTablePrivileges(stmt, nullptr, 0, nullptr, 0, Text("%"), SQL_NTS); },
        [&] {
            return SQLColumnPrivileges(stmt, nullptr, 0, nullptr, 0, Text("Emp"), SQL_NTS, nullptr,
                                       0);
        },
        [&] { return SQLProcedures(stmt, nullptr, 0, nullptr, 0, nullptr, 0); },
        [&] { return SQLProcedureColumns(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); },
    };
    for (const auto &call : calls) {
        EXPECT_EQ(call(), SQL_ERROR);
        EXPECT_EQ(Diag().substr(0, 5), "S1C00") << Diag();
        // Nothing was built: the statement has no result.
        EXPECT_EQ(SQLFetch(stmt), SQL_ERROR);
    }
    // The functions are exported and reported.
    SQLUSMALLINT exists[100] = {};
    ASSERT_EQ(SQLGetFunctions(h->dbc, SQL_API_ALL_FUNCTIONS, exists), SQL_SUCCESS);
    for (SQLUSMALLINT f :
         {SQL_API_SQLTABLES, SQL_API_SQLCOLUMNS, SQL_API_SQLSTATISTICS, SQL_API_SQLSPECIALCOLUMNS,
          SQL_API_SQLGETTYPEINFO, SQL_API_SQLPRIMARYKEYS, SQL_API_SQLFOREIGNKEYS,
          SQL_API_SQLTABLEPRIVILEGES, SQL_API_SQLCOLUMNPRIVILEGES, SQL_API_SQLPROCEDURES,
          SQL_API_SQLPROCEDURECOLUMNS})
        EXPECT_EQ(exists[f], SQL_TRUE) << f;
}

// A long value read in pieces ends: each piece reports the length left,
// the last one succeeds, and a further call finds no data.
TEST_F(E2eCatalog, LongValuesInPieces)
{
    ASSERT_EQ(Tables(nullptr, nullptr, "Emp", nullptr), SQL_SUCCESS) << Diag();
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    std::string whole;
    std::vector<SQLLEN> lengths;
    SQLRETURN rc;
    char piece[6];
    SQLLEN length = 0;
    int calls = 0;
    while ((rc = SQLGetData(stmt, 1, SQL_C_CHAR, piece, sizeof piece, &length)) ==
               SQL_SUCCESS_WITH_INFO &&
           ++calls < 100) {
        EXPECT_EQ(Diag().substr(0, 5), "01004");
        lengths.push_back(length);
        whole += piece;
    }
    ASSERT_EQ(rc, SQL_SUCCESS) << Diag();
    whole += piece;
    EXPECT_EQ(whole, qualifier);
    EXPECT_EQ(lengths.front(), static_cast<SQLLEN>(qualifier.size()));
    for (size_t k = 1; k < lengths.size(); ++k)
        EXPECT_EQ(lengths[k], lengths[k - 1] - 5);
    EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_CHAR, piece, sizeof piece, &length), SQL_NO_DATA_FOUND);
    // A NULL and a name read whole, the same column again finds no data.
    EXPECT_EQ(SQLGetData(stmt, 2, SQL_C_CHAR, piece, sizeof piece, &length), SQL_SUCCESS);
    EXPECT_EQ(length, SQL_NULL_DATA);
    EXPECT_EQ(piece[0], '\0');
    EXPECT_EQ(SQLGetData(stmt, 3, SQL_C_CHAR, piece, sizeof piece, &length), SQL_SUCCESS);
    EXPECT_STREQ(piece, "Emp");
    EXPECT_EQ(SQLGetData(stmt, 3, SQL_C_CHAR, piece, sizeof piece, &length), SQL_NO_DATA_FOUND);
    // SQL_MAX_LENGTH caps a value.
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtOption(stmt, SQL_MAX_LENGTH, 4), SQL_SUCCESS);
    ASSERT_EQ(Tables(nullptr, nullptr, "Emp", nullptr), SQL_SUCCESS) << Diag();
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    char buf[64] = {};
    EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_CHAR, buf, sizeof buf, &length), SQL_SUCCESS);
    EXPECT_EQ(std::string(buf), qualifier.substr(0, 4));
}

// A catalog result is read as a query's: a number asked for as short text
// comes in pieces, and a cut value names its column.
TEST_F(E2eCatalog, CatalogValuesReadAsQueryValues)
{
    ASSERT_EQ(Columns("Emp", "ID"), SQL_SUCCESS) << Diag();
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS) << Diag();
    char piece[2] = {};
    SQLLEN length = 0;
    // PRECISION 10: "1" then "0", then no data.
    ASSERT_EQ(SQLGetData(stmt, 7, SQL_C_CHAR, piece, sizeof piece, &length), SQL_SUCCESS_WITH_INFO);
    std::string diag = Diag();
    EXPECT_EQ(diag.substr(0, 5), "01004");
    EXPECT_NE(diag.find("column 7"), std::string::npos) << diag;
    EXPECT_STREQ(piece, "1");
    EXPECT_EQ(length, 2);
    ASSERT_EQ(SQLGetData(stmt, 7, SQL_C_CHAR, piece, sizeof piece, &length), SQL_SUCCESS);
    EXPECT_STREQ(piece, "0");
    EXPECT_EQ(length, 1);
    EXPECT_EQ(SQLGetData(stmt, 7, SQL_C_CHAR, piece, sizeof piece, &length), SQL_NO_DATA_FOUND);
}

TEST_F(E2eCatalog, CursorStatesAndBoundColumns)
{
    // Bound columns are filled by each fetch; a short buffer is cut.
    char name[4] = {};
    SQLSMALLINT type = 0;
    SQLLEN nameLength = 0, typeLength = 0;
    ASSERT_EQ(SQLBindCol(stmt, 4, SQL_C_CHAR, name, sizeof name, &nameLength), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt, 5, SQL_C_SHORT, &type, 0, &typeLength), SQL_SUCCESS);
    ASSERT_EQ(Columns("Emp", "%e%"), SQL_SUCCESS) << Diag();
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS_WITH_INFO); // "Name" into 3 characters
    EXPECT_STREQ(name, "Nam");
    EXPECT_EQ(nameLength, 4);
    EXPECT_EQ(type, SQL_VARCHAR);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS_WITH_INFO); // Dept
    EXPECT_STREQ(name, "Dep");
    EXPECT_EQ(type, SQL_SMALLINT);
    // While the result is open, another call on the statement is refused.
    EXPECT_EQ(Tables(nullptr, nullptr, nullptr, nullptr), SQL_ERROR);
    EXPECT_EQ(Diag().substr(0, 5), "24000");
    EXPECT_EQ(SQLExecDirect(stmt, Text("SELECT ID FROM Emp"), SQL_NTS), SQL_ERROR);
    EXPECT_EQ(Diag().substr(0, 5), "24000");
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS_WITH_INFO); // the result goes on: Badge
    EXPECT_STREQ(name, "Bad");
    EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA_FOUND);
    EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA_FOUND);
    // Closed, the result is gone for the fetch; nothing was prepared.
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(stmt), SQL_ERROR);
    EXPECT_EQ(SQLExecute(stmt), SQL_ERROR);
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_UNBIND), SQL_SUCCESS);
    // A query on the same statement after a catalog result.
    EXPECT_EQ(Read(SQLExecDirect(stmt, Text("SELECT ID FROM Emp ORDER BY ID"), SQL_NTS)),
              (Rows{"1", "2"}));
    // SQLRowCount counts the rows fetched.
    ASSERT_EQ(Tables(nullptr, nullptr, "A%", nullptr), SQL_SUCCESS);
    while (SQLFetch(stmt) == SQL_SUCCESS) {}
    SQLLEN count = -1;
    EXPECT_EQ(SQLRowCount(stmt, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 4); // A_B, ANNÉE, Année, AxB
    // SQL_MAX_ROWS ends a catalog result as it ends a query's.
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtOption(stmt, SQL_MAX_ROWS, 2), SQL_SUCCESS) << Diag();
    EXPECT_EQ(Read(Tables(nullptr, nullptr, "A%", nullptr), {3}), (Rows{"A_B", kAnneeUpper}));
    EXPECT_EQ(Read(Columns("Emp", "%"), {4}), (Rows{"ID", "Name"}));
}

} // namespace

namespace {

// A catalog larger than the memory a temporary table keeps: the result
// spills to a file and is sorted by the sort library, which must keep each
// table's columns in their order as the in-memory sort does.
class E2eCatalogLarge : public E2eConnected {
protected:
    static constexpr int kTables = 80;
    static constexpr int kColumns = 6;
    void SetUp() override
    {
        // Tables listed in reverse name order, so that the sort has work.
        std::string json = "{\"users\":[{\"name\":\"demo\",\"password\":\"demo\"}],\"tables\":[";
        for (int t = kTables - 1; t >= 0; --t) {
            char name[16];
            std::snprintf(name, sizeof name, "T%03d", t);
            json += std::string(t == kTables - 1 ? "" : ",") + "{\"name\":\"" + name +
                    "\",\"records\":[],\"fields\":[";
            for (int k = 0; k < kColumns; ++k)
                json += std::string(k == 0 ? "" : ",") + "{\"name\":\"C" + std::to_string(k) +
                        "\",\"type\":\"alpha\",\"length\":20}";
            json += "]}";
        }
        json += "]}";
        fixture = tempDir.Str() + "/large.json";
        FILE *f = std::fopen(fixture.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(json.c_str(), f);
        std::fclose(f);
        E2eFixture::SetUp();
        ConnectDemo();
    }
};

TEST_F(E2eCatalogLarge, SpilledResultKeepsTheOrder)
{
    ASSERT_EQ(SQLColumns(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_SUCCESS);
    std::vector<std::string> got, expected;
    for (int t = 0; t < kTables; ++t)
        for (int k = 0; k < kColumns; ++k) {
            char row[32];
            std::snprintf(row, sizeof row, "T%03d.C%d", t, k);
            expected.push_back(row);
        }
    char table[64], column[64];
    SQLLEN tl = 0, cl = 0;
    ASSERT_EQ(SQLBindCol(stmt, 3, SQL_C_CHAR, table, sizeof table, &tl), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt, 4, SQL_C_CHAR, column, sizeof column, &cl), SQL_SUCCESS);
    while (SQLFetch(stmt) == SQL_SUCCESS)
        got.push_back(std::string(table) + "." + column);
    EXPECT_EQ(got, expected);
}

} // namespace
