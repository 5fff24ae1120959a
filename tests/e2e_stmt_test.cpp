// Statements through the unixODBC Driver Manager against qxserver with a
// database of our own: preparation results and diagnostics, describe
// answers, parameter types, statement states, native SQL, SQLGetInfo and
// the engine's SET statements.
#include "tests/e2e_fixture.h"
#include "driver/engine/plan/tests/plnfile_reader.h"

#include <cstring>
#include <memory>

#include <string>
#include <sys/stat.h>
#include <vector>

// Live heap bytes, from the address sanitizer's allocator when it is there.
extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));

namespace {

size_t HeapBytes()
{
    if (__sanitizer_get_current_allocated_bytes)
        return __sanitizer_get_current_allocated_bytes();
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return static_cast<size_t>(resident) * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

class E2eStmt : public E2eConnected {
protected:
    void SetUp() override
    {
        fixture = QX_STMT_FIXTURE;
        E2eFixture::SetUp();
        if (std::string extra = DsnExtra(); !extra.empty())
            WriteDsn(extra);
        ConnectDemo();
    }
    // Lines added to odbc.ini before the connection is made.
    virtual std::string DsnExtra() { return ""; }
    // The first diagnostic record of the statement: SQLSTATE and text.
    std::string Diag(std::string *text = nullptr, SQLHSTMT s = SQL_NULL_HSTMT) const
    {
        SQLCHAR state[6] = {};
        SQLCHAR message[1024] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLError(h->env, h->dbc, s != SQL_NULL_HSTMT ? s : stmt, state, &native,
                                message, sizeof message, &length);
        if (text)
            *text = reinterpret_cast<char *>(message);
        return SQL_SUCCEEDED(rc) ? reinterpret_cast<char *>(state) : "";
    }
    SQLRETURN Prepare(const std::string &sql)
    {
        return SQLPrepare(stmt, Text(sql.c_str()), SQL_NTS);
    }
};

struct FailCase {
    const char *sql;
    const char *state;
    const char *text; // part of the message, "" to skip
};

TEST_F(E2eStmt, PrepareFailuresGiveTheirDiagnostics)
{
    const FailCase cases[] = {
        {"", "37000", "Syntax Error"},
        {"SELEKT * FROM Emp", "37000", "Syntax error"},
        {"SELECT * FROM Nope", "", "NOPE"},
        {"SELECT Nope FROM Emp", "S0022", "Invalid column name: 'Nope'."},
        {"SELECT ID FROM Emp, Dept", "S0022", "Non unique column reference: ID."},
        {"SELECT x.ID FROM Emp e", "37000",
         "Unknown table or correlation name [x] in select list."},
        {"SELECT ID FROM Emp WHERE Name = 3", "S1000", "Incompatible types in predicate."},
        {"SELECT Hired + Name FROM Emp", "S1000", "Incompatible types in expression."},
        {"SELECT Name * 2 FROM Emp", "S1000", "Incompatible types in expression."},
        {"SELECT Hired * 2 FROM Emp", "S1000", "Incompatible types in expression."},
        {"SELECT ID FROM Emp WHERE SUM(Salary) > 1", "37000", "Expression not row based in WHERE."},
        {"SELECT ID, Name FROM Emp GROUP BY ID", "37000", "Name in SELECT LIST"},
        {"SELECT ID FROM Emp GROUP BY ID HAVING Salary > 1", "37000", "Salary in HAVING"},
        {"SELECT ID FROM Emp HAVING ID > 1", "37000", "ID in HAVING"},
        {"SELECT * FROM Emp, Emp", "37000", "Table reference [Emp] must be unique."},
        {"SELECT ? FROM Emp", "S1006", ""},
        {"SELECT ID + ? FROM Emp", "37000", "Parameters are not permitted in the SELECT list."},
        {"SELECT ID FROM Emp WHERE ? = ?", "S1006", ""},
        {"SELECT Alpha FROM AllTypes WHERE Picture = 'x'", "S1000",
         "Cannot compare a binary data type."},
        {"UPDATE Emp SET Name = 'x' WHERE ID IN (SELECT ID FROM Dept)", "37000",
         "Unsupported SQL command in statement."},
        {"CREATE TABLE T (A INTEGER)", "37000", "Unsupported SQL command in statement."},
        {"DROP TABLE Emp", "37000", "Unsupported SQL command in statement."},
    };
    for (const FailCase &c : cases) {
        EXPECT_EQ(Prepare(c.sql), SQL_ERROR) << c.sql;
        std::string text;
        std::string state = Diag(&text);
        if (c.state[0] != '\0') {
            EXPECT_EQ(state, c.state) << c.sql << ": " << text;
        }
        EXPECT_NE(text.find(c.text), std::string::npos) << c.sql << ": " << text;
    }
}

TEST_F(E2eStmt, MoreResultColumnsThanMaxColSupport)
{
    // Three stars over Emp give 15 columns; the minimum MaxColSupport is 256,
    // so a statement naming more than 256 columns fails.
    std::string sql = "SELECT ID";
    for (int i = 0; i < 256; ++i)
        sql += ", ID";
    sql += " FROM Emp";
    EXPECT_EQ(Prepare(sql), SQL_ERROR);
    std::string text;
    EXPECT_EQ(Diag(&text), "37000") << text;
    EXPECT_NE(text.find("256"), std::string::npos) << text;
}

struct ColCase {
    const char *name;
    SQLSMALLINT type;
    SQLULEN size;
    SQLSMALLINT scale;
    SQLSMALLINT nullable;
    const char *table;
};

void ExpectDescribe(SQLHSTMT stmt, const char *sql, const std::vector<ColCase> &want)
{
    ASSERT_EQ(SQLPrepare(stmt, Text(sql), SQL_NTS), SQL_SUCCESS) << sql;
    SQLSMALLINT count = -1;
    EXPECT_EQ(SQLNumResultCols(stmt, &count), SQL_SUCCESS);
    ASSERT_EQ(count, static_cast<SQLSMALLINT>(want.size())) << sql;
    for (size_t i = 0; i < want.size(); ++i) {
        const ColCase &w = want[i];
        SQLCHAR name[64] = {};
        SQLSMALLINT nameLength = 0, type = 0, scale = -1, nullable = -1;
        SQLULEN size = 0;
        SQLUSMALLINT col = static_cast<SQLUSMALLINT>(i + 1);
        ASSERT_EQ(SQLDescribeCol(stmt, col, name, sizeof name, &nameLength, &type, &size, &scale,
                                 &nullable),
                  SQL_SUCCESS);
        EXPECT_STREQ(reinterpret_cast<char *>(name), w.name) << sql;
        EXPECT_EQ(nameLength, static_cast<SQLSMALLINT>(std::strlen(w.name)));
        EXPECT_EQ(type, w.type) << sql << " " << w.name;
        EXPECT_EQ(size, w.size) << sql << " " << w.name;
        EXPECT_EQ(scale, w.scale) << sql << " " << w.name;
        EXPECT_EQ(nullable, w.nullable) << sql << " " << w.name;
        SQLCHAR table[64] = {};
        SQLSMALLINT tableLength = 0;
        EXPECT_EQ(SQLColAttributes(stmt, col, SQL_COLUMN_TABLE_NAME, table, sizeof table,
                                   &tableLength, nullptr),
                  SQL_SUCCESS);
        EXPECT_STREQ(reinterpret_cast<char *>(table), w.table) << sql << " " << w.name;
        SQLLEN number = -1;
        EXPECT_EQ(SQLColAttributes(stmt, col, SQL_COLUMN_TYPE, nullptr, 0, nullptr, &number),
                  SQL_SUCCESS);
        EXPECT_EQ(number, w.type);
        SQLCHAR label[64] = {};
        EXPECT_EQ(
            SQLColAttributes(stmt, col, SQL_COLUMN_LABEL, label, sizeof label, nullptr, nullptr),
            SQL_SUCCESS);
        EXPECT_STREQ(reinterpret_cast<char *>(label), w.name);
    }
}

TEST_F(E2eStmt, DescribeResultColumns)
{
    ExpectDescribe(stmt, "SELECT * FROM Emp, Dept",
                   {{"ID", SQL_INTEGER, 10, 0, SQL_NO_NULLS, "EMP"},
                    {"Name", SQL_VARCHAR, 30, 0, SQL_NULLABLE, "EMP"},
                    {"Salary", SQL_DOUBLE, 15, 0, SQL_NO_NULLS, "EMP"},
                    {"Hired", SQL_DATE, 10, 0, SQL_NULLABLE, "EMP"},
                    {"Dept", SQL_SMALLINT, 5, 0, SQL_NO_NULLS, "EMP"},
                    {"ID", SQL_SMALLINT, 5, 0, SQL_NO_NULLS, "DEPT"},
                    {"Name", SQL_VARCHAR, 20, 0, SQL_NULLABLE, "DEPT"}});
    ExpectDescribe(stmt, "SELECT d.*, e.Name AS Who FROM Emp e, Dept d WHERE e.Dept = d.ID",
                   {{"ID", SQL_SMALLINT, 5, 0, SQL_NO_NULLS, "DEPT"},
                    {"Name", SQL_VARCHAR, 20, 0, SQL_NULLABLE, "DEPT"},
                    {"Who", SQL_VARCHAR, 30, 0, SQL_NULLABLE, "EMP"}});
    ExpectDescribe(stmt, "SELECT Salary * 2, Name, COUNT(*), Name + '!', {fn UCASE(Name)} FROM Emp",
                   {{"EXPR_1", SQL_DOUBLE, 15, 0, SQL_NO_NULLS, ""},
                    {"Name", SQL_VARCHAR, 30, 0, SQL_NULLABLE, "EMP"},
                    {"EXPR_2", SQL_INTEGER, 10, 0, SQL_NO_NULLS, ""},
                    {"EXPR_3", SQL_VARCHAR, 31, 0, SQL_NULLABLE, ""},
                    {"EXPR_4", SQL_VARCHAR, 30, 0, SQL_NULLABLE, ""}});
    ExpectDescribe(stmt, "SELECT \"Line No\", o.Qty FROM \"Order Lines\" o",
                   {{"Line No", SQL_INTEGER, 10, 0, SQL_NO_NULLS, "ORDER LINES"},
                    {"Qty", SQL_SMALLINT, 5, 0, SQL_NO_NULLS, "ORDER LINES"}});
}

TEST_F(E2eStmt, DescribeEveryFieldType)
{
    ASSERT_EQ(Prepare("SELECT * FROM AllTypes"), SQL_SUCCESS) << Diag();
    SQLSMALLINT count = 0;
    SQLNumResultCols(stmt, &count);
    ASSERT_EQ(count, 10);
    std::string seen;
    for (SQLUSMALLINT i = 1; i <= count; ++i) {
        SQLCHAR name[64] = {}, typeName[64] = {};
        SQLSMALLINT type = 0, scale = 0, nullable = 0;
        SQLULEN size = 0;
        ASSERT_EQ(
            SQLDescribeCol(stmt, i, name, sizeof name, nullptr, &type, &size, &scale, &nullable),
            SQL_SUCCESS);
        EXPECT_EQ(SQLColAttributes(stmt, i, SQL_COLUMN_TYPE_NAME, typeName, sizeof typeName,
                                   nullptr, nullptr),
                  SQL_SUCCESS);
        SQLLEN display = 0, length = 0;
        SQLColAttributes(stmt, i, SQL_COLUMN_DISPLAY_SIZE, nullptr, 0, nullptr, &display);
        SQLColAttributes(stmt, i, SQL_COLUMN_LENGTH, nullptr, 0, nullptr, &length);
        EXPECT_GT(display, 0) << name;
        EXPECT_GT(length, 0) << name;
        EXPECT_NE(typeName[0], '\0') << name;
        if (std::strcmp(reinterpret_cast<char *>(name), "Blob") == 0)
            continue; // the data module does not map blob fields to a binary type yet
        seen += std::string(reinterpret_cast<char *>(name)) + ":" + std::to_string(type) + ":" +
                std::to_string(size) + " ";
    }
    EXPECT_EQ(seen,
              "Alpha:12:12 Real:8:15 Text:-1:65500 Picture:-4:65500 Day:9:10 Flag:-7:1 Small:5:5 "
              "Big:4:10 Clock:10:8 ");
}

TEST_F(E2eStmt, DescribeErrors)
{
    SQLSMALLINT type = 0;
    EXPECT_EQ(SQLDescribeCol(stmt, 1, nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr),
              SQL_ERROR);
    EXPECT_EQ(Diag(), "S1010");
    ASSERT_EQ(Prepare("SELECT ID FROM Emp"), SQL_SUCCESS);
    EXPECT_EQ(SQLDescribeCol(stmt, 2, nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr),
              SQL_ERROR);
    EXPECT_EQ(Diag(), "S1002");
    SQLCHAR name[2] = {};
    SQLSMALLINT length = 0;
    EXPECT_EQ(SQLDescribeCol(stmt, 1, name, sizeof name, &length, &type, nullptr, nullptr, nullptr),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(Diag(), "01004");
    EXPECT_EQ(length, 2);
    ASSERT_EQ(Prepare("DELETE FROM Emp WHERE ID = 7"), SQL_SUCCESS) << Diag();
    SQLSMALLINT count = -1;
    EXPECT_EQ(SQLNumResultCols(stmt, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(SQLDescribeCol(stmt, 1, nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr),
              SQL_ERROR);
    EXPECT_EQ(Diag(), "24000");
}

struct ParamCase {
    const char *sql;
    std::vector<SQLSMALLINT> types;
};

TEST_F(E2eStmt, ParameterTypes)
{
    const ParamCase cases[] = {
        {"SELECT ID FROM Emp WHERE ID = ? AND Name > ?", {SQL_INTEGER, SQL_VARCHAR}},
        {"SELECT ID FROM Emp WHERE Dept IN (1, ?, ?)", {SQL_SMALLINT, SQL_SMALLINT}},
        {"SELECT ID FROM Emp WHERE Name LIKE ?", {SQL_VARCHAR}},
        {"SELECT ID FROM Emp WHERE Hired BETWEEN ? AND ?", {SQL_DATE, SQL_DATE}},
        {"SELECT ID FROM Emp WHERE Hired + ? > {d '2020-01-01'}", {SQL_INTEGER}},
        {"INSERT INTO Emp (Name, ID, Hired) VALUES (?, ?, ?)",
         {SQL_VARCHAR, SQL_INTEGER, SQL_DATE}},
        {"INSERT INTO Dept VALUES (?, ?)", {SQL_SMALLINT, SQL_VARCHAR}},
        {"UPDATE Emp SET Salary = ?, Name = ? WHERE ID = ?",
         {SQL_DOUBLE, SQL_VARCHAR, SQL_INTEGER}},
        {"DELETE FROM Emp WHERE Hired < ?", {SQL_DATE}},
    };
    for (const ParamCase &c : cases) {
        ASSERT_EQ(Prepare(c.sql), SQL_SUCCESS) << c.sql << ": " << Diag();
        SQLSMALLINT count = -1;
        EXPECT_EQ(SQLNumParams(stmt, &count), SQL_SUCCESS);
        ASSERT_EQ(count, static_cast<SQLSMALLINT>(c.types.size())) << c.sql;
        for (size_t i = 0; i < c.types.size(); ++i) {
            SQLSMALLINT type = 0, scale = -1, nullable = -1;
            SQLULEN size = 0;
            ASSERT_EQ(SQLDescribeParam(stmt, static_cast<SQLUSMALLINT>(i + 1), &type, &size, &scale,
                                       &nullable),
                      SQL_SUCCESS);
            EXPECT_EQ(type, c.types[i]) << c.sql << " parameter " << i + 1;
            EXPECT_GT(size, 0u) << c.sql;
            EXPECT_EQ(nullable, SQL_NULLABLE);
        }
        SQLSMALLINT type = 0;
        EXPECT_EQ(SQLDescribeParam(stmt, static_cast<SQLUSMALLINT>(c.types.size() + 1), &type,
                                   nullptr, nullptr, nullptr),
                  SQL_ERROR);
        EXPECT_EQ(Diag(), "S1093");
    }
}

// A call of a sequence: 'P' prepare a query, 'D' prepare a DELETE, 'S'
// prepare a SET statement, 'E' execute, 'X' exec direct of a SET statement,
// 'Y' a failing exec direct, 'C' close, 'N' SQLNumResultCols, 'Q'
// SQLDescribeCol, 'G' get cursor name.
struct Step {
    char call;
    SQLRETURN rc;
    const char *state;
};

TEST_F(E2eStmt, StatementStateSequences)
{
    const std::vector<std::vector<Step>> sequences = {
        {{'E', SQL_ERROR, "S1010"}},
        {{'D', SQL_SUCCESS, ""}, {'E', SQL_SUCCESS, ""}, {'E', SQL_SUCCESS, ""}},
        {{'S', SQL_SUCCESS, ""},
         {'N', SQL_SUCCESS, ""},
         {'E', SQL_SUCCESS, ""},
         {'E', SQL_SUCCESS, ""},
         {'C', SQL_SUCCESS, ""},
         {'E', SQL_SUCCESS, ""}},
        {{'X', SQL_SUCCESS, ""},
         {'E', SQL_ERROR, "S1010"},
         {'P', SQL_SUCCESS, ""},
         {'E', SQL_SUCCESS, ""},
         {'E', SQL_ERROR, "24000"},
         {'C', SQL_SUCCESS, ""},
         {'E', SQL_SUCCESS, ""}},
        {{'G', SQL_ERROR, "S1015"}, {'P', SQL_SUCCESS, ""}, {'G', SQL_ERROR, "S1015"}},
        {{'P', SQL_SUCCESS, ""},
         {'C', SQL_SUCCESS, ""},
         {'P', SQL_SUCCESS, ""},
         {'N', SQL_SUCCESS, ""}},
        // A failing SQLExecDirect leaves the state it found; after a
        // prepared statement that is gone, the handle is back to allocated.
        {{'Y', SQL_ERROR, "S0022"}, {'Q', SQL_ERROR, "S1010"}, {'E', SQL_ERROR, "S1010"}},
        {{'P', SQL_SUCCESS, ""},
         {'Q', SQL_SUCCESS, ""},
         {'Y', SQL_ERROR, "S0022"},
         {'Q', SQL_ERROR, "S1010"}},
        // An open result set must be closed before the handle is reused;
        // SQLMoreResults closes it and finds no second one.
        {{'W', SQL_SUCCESS, ""},
         {'R', SQL_SUCCESS, ""},
         {'P', SQL_ERROR, "24000"},
         {'C', SQL_SUCCESS, ""},
         {'P', SQL_SUCCESS, ""},
         {'E', SQL_SUCCESS, ""},
         {'F', SQL_SUCCESS, ""},
         {'M', SQL_NO_DATA_FOUND, ""},
         {'E', SQL_SUCCESS, ""},
         {'F', SQL_SUCCESS, ""},
         {'C', SQL_SUCCESS, ""}},
    };
    for (const auto &seq : sequences) {
        SQLHSTMT s = SQL_NULL_HSTMT;
        ASSERT_EQ(SQLAllocStmt(h->dbc, &s), SQL_SUCCESS);
        std::string trail;
        for (const Step &step : seq) {
            trail += step.call;
            SQLRETURN rc = SQL_ERROR;
            SQLSMALLINT count = 0;
            SQLCHAR name[32];
            switch (step.call) {
            case 'P': rc = SQLPrepare(s, Text("SELECT Name FROM Emp"), SQL_NTS); break;
            case 'D': rc = SQLPrepare(s, Text("DELETE FROM Emp WHERE ID = 9"), SQL_NTS); break;
            case 'S': rc = SQLPrepare(s, Text("SET NoIndexes ON"), SQL_NTS); break;
            case 'E': rc = SQLExecute(s); break;
            case 'X': rc = SQLExecDirect(s, Text("SET NoJoinOpt ON"), SQL_NTS); break;
            case 'C': rc = SQLFreeStmt(s, SQL_CLOSE); break;
            case 'N': rc = SQLNumResultCols(s, &count); break;
            case 'G': rc = SQLGetCursorName(s, name, sizeof name, nullptr); break;
            case 'Y': rc = SQLExecDirect(s, Text("SELECT Nope FROM Emp"), SQL_NTS); break;
            case 'W': rc = SQLExecDirect(s, Text("SELECT Name FROM Emp"), SQL_NTS); break;
            case 'F': rc = SQLFetch(s); break;
            case 'M': rc = SQLMoreResults(s); break;
            case 'R': {
                SQLLEN rows = 0;
                rc = SQLRowCount(s, &rows);
                EXPECT_EQ(rows, -1) << trail;
                break;
            }
            case 'Q':
                rc = SQLDescribeCol(s, 1, name, sizeof name, nullptr, nullptr, nullptr, nullptr,
                                    nullptr);
                break;
            }
            EXPECT_EQ(rc, step.rc) << trail << ": " << Diag(nullptr, s);
            if (step.state[0] != '\0') {
                EXPECT_EQ(Diag(nullptr, s), step.state) << trail;
            }
        }
        EXPECT_EQ(SQLFreeStmt(s, SQL_DROP), SQL_SUCCESS);
    }
}

// The heads of the trace's call and return lines from the first line that
// starts with `from` on: ">SQLName" for a call, "<SQLName returned N." for
// a return.
std::vector<std::string> TraceHeads(const std::string &trace, const std::string &from)
{
    std::vector<std::string> heads;
    size_t at = trace.find(from);
    while (at != std::string::npos && at < trace.size()) {
        size_t end = trace.find('\n', at);
        std::string line = trace.substr(at, end == std::string::npos ? end : end - at);
        if (!line.empty() && line[0] == '>')
            heads.push_back(line.substr(0, line.find('(')));
        else if (!line.empty() && line[0] == '<')
            heads.push_back(line.substr(0, line.find('.') + 1));
        at = end == std::string::npos ? end : end + 1;
    }
    return heads;
}

// SQLExecDirect shows its prepare and execute steps as the calls they stand
// for, the prepare step with the copied text and SQL_NTS as its length; a
// warning of the prepare step stays queued for the application.
TEST_F(E2eStmt, ExecDirectTracesItsPrepareAndExecuteSteps)
{
    ASSERT_EQ(SQLExecDirect(stmt, Text("SELECT Name FROM Emp WHERE ID = 1"), 33), SQL_SUCCESS)
        << Diag();
    std::string trace = ReadFile("trace.log");
    EXPECT_EQ(TraceHeads(trace, ">SQLExecDirect("),
              (std::vector<std::string>{">SQLExecDirect", ">SQLPrepare", "<SQLPrepare returned 0.",
                                        ">SQLExecute", "<SQLExecute returned 0.",
                                        "<SQLExecDirect returned 0."}))
        << trace;
    EXPECT_NE(trace.find("\"SELECT Name FROM Emp WHERE ID = 1\", 33)"), std::string::npos);
    EXPECT_NE(trace.find("\"SELECT Name FROM Emp WHERE ID = 1\", -3)"), std::string::npos);
}

TEST_F(E2eStmt, TextWithAnExplicitLengthIsReadNoFurther)
{
    // The buffer holds more than the length given, and no terminator.
    char text[40];
    std::memset(text, 'Z', sizeof text);
    std::memcpy(text, "SELECT Name FROM Emp", 20);
    EXPECT_EQ(SQLPrepare(stmt, reinterpret_cast<SQLCHAR *>(text), 20), SQL_SUCCESS) << Diag();
    EXPECT_EQ(SQLExecDirect(stmt, reinterpret_cast<SQLCHAR *>(text), 20), SQL_SUCCESS) << Diag();
    std::string trace = ReadFile("trace.log");
    EXPECT_NE(trace.find("SQLPrepare(0x"), std::string::npos);
    EXPECT_NE(trace.find("\"SELECT Name FROM Emp\""), std::string::npos) << trace;
    EXPECT_EQ(trace.find("ZZZ"), std::string::npos);
    EXPECT_NE(trace.find("SQLExecDirect returned 0."), std::string::npos) << trace;
}

TEST_F(E2eStmt, FreeStmtOptions)
{
    ASSERT_EQ(Prepare("SELECT Name FROM Emp WHERE ID = ?"), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_UNBIND), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_RESET_PARAMS), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    // Still prepared after closing: it describes as before.
    SQLSMALLINT count = 0;
    EXPECT_EQ(SQLNumParams(stmt, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(SQLNumResultCols(stmt, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 1);
    // Disconnecting drops the statements the application left.
    SQLHSTMT left = SQL_NULL_HSTMT;
    ASSERT_EQ(SQLAllocStmt(h->dbc, &left), SQL_SUCCESS);
    ASSERT_EQ(SQLPrepare(left, Text("SELECT * FROM Emp, Dept"), SQL_NTS), SQL_SUCCESS);
}

TEST_F(E2eStmt, CursorNames)
{
    SQLHSTMT other = SQL_NULL_HSTMT;
    ASSERT_EQ(SQLAllocStmt(h->dbc, &other), SQL_SUCCESS);
    EXPECT_EQ(SQLSetCursorName(stmt, Text("C23456789012345678"), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(SQLSetCursorName(other, Text("C234567890123456789"), SQL_NTS), SQL_ERROR);
    EXPECT_EQ(Diag(nullptr, other), "34000");
    EXPECT_EQ(SQLSetCursorName(other, Text("c23456789012345678"), SQL_NTS), SQL_ERROR);
    EXPECT_EQ(Diag(nullptr, other), "3C000");
    // An explicit length is honoured: only "CUR" is read.
    EXPECT_EQ(SQLSetCursorName(other, Text("CURSOR"), 3), SQL_SUCCESS);
    SQLCHAR name[32] = {};
    SQLSMALLINT length = 0;
    EXPECT_EQ(SQLGetCursorName(other, name, sizeof name, &length), SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char *>(name), "CUR");
    EXPECT_EQ(SQLGetCursorName(stmt, name, 4, &length), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(length, 18);
    EXPECT_EQ(SQLFreeStmt(other, SQL_DROP), SQL_SUCCESS);

    // Executed queries without a name get default names that fit the
    // field, stay with their statement and differ from each other and from
    // the names taken.
    SQLHSTMT a = SQL_NULL_HSTMT, b = SQL_NULL_HSTMT, c = SQL_NULL_HSTMT;
    for (SQLHSTMT *s : {&a, &b, &c})
        ASSERT_EQ(SQLAllocStmt(h->dbc, s), SQL_SUCCESS);
    EXPECT_EQ(SQLSetCursorName(b, Text("SQL_CUR1"), SQL_NTS), SQL_SUCCESS);
    std::vector<std::string> names;
    for (SQLHSTMT s : {a, c}) {
        ASSERT_EQ(SQLExecDirect(s, Text("SELECT Name FROM Emp"), SQL_NTS), SQL_SUCCESS);
        for (int again = 0; again < 2; ++again) {
            ASSERT_EQ(SQLGetCursorName(s, name, sizeof name, &length), SQL_SUCCESS);
            std::string got = reinterpret_cast<char *>(name);
            EXPECT_EQ(got.rfind("SQL_CUR", 0), 0u) << got;
            EXPECT_EQ(size_t(length), got.size());
            EXPECT_LE(length, 18);
            if (again == 0)
                names.push_back(got);
            EXPECT_EQ(got, names.back());
        }
    }
    EXPECT_NE(names[0], names[1]);
    EXPECT_NE(names[0], "SQL_CUR1");
    EXPECT_NE(names[1], "SQL_CUR1");
    for (SQLHSTMT s : {a, b, c})
        EXPECT_EQ(SQLFreeStmt(s, SQL_DROP), SQL_SUCCESS);
}

TEST_F(E2eStmt, StatementOptions)
{
    SQLULEN value = 99;
    EXPECT_EQ(SQLSetStmtOption(stmt, SQL_MAX_ROWS, 5), SQL_SUCCESS);
    EXPECT_EQ(SQLGetStmtOption(stmt, SQL_MAX_ROWS, &value), SQL_SUCCESS);
    EXPECT_EQ(value, 5u);
    // Escapes are always scanned: SQL_NOSCAN on is refused, the value stays.
    EXPECT_EQ(SQLSetStmtOption(stmt, SQL_NOSCAN, SQL_NOSCAN_ON), SQL_ERROR);
    EXPECT_EQ(Diag(), "S1C00");
    EXPECT_EQ(SQLGetStmtOption(stmt, SQL_NOSCAN, &value), SQL_SUCCESS);
    EXPECT_EQ(value, static_cast<SQLULEN>(SQL_NOSCAN_OFF));
    EXPECT_EQ(SQLSetStmtOption(stmt, SQL_NOSCAN, SQL_NOSCAN_OFF), SQL_SUCCESS);
    EXPECT_EQ(SQLSetStmtOption(stmt, SQL_QUERY_TIMEOUT, 30), SQL_ERROR);
    EXPECT_EQ(Diag(), "S1C00");
    // A statement option set on the connection reaches its statements.
    EXPECT_EQ(SQLSetConnectOption(h->dbc, SQL_MAX_ROWS, 9), SQL_SUCCESS) << h->Diag();
    EXPECT_EQ(SQLGetStmtOption(stmt, SQL_MAX_ROWS, &value), SQL_SUCCESS);
    EXPECT_EQ(value, 9u);
}

// The cursor's kind and the rowset: taken and kept as given on a statement
// with nothing prepared, refused once one is prepared (S1011) or has a
// result set (24000); a value the option block cannot keep as given comes
// back changed, with 01S02.
TEST_F(E2eStmt, CursorOptionsAndTheirStates)
{
    struct Case {
        SQLUSMALLINT option;
        SQLULEN value;
        bool cursorOption; // refused once prepared
    };
    const Case cases[] = {
        {SQL_CURSOR_TYPE, SQL_CURSOR_STATIC, true},
        {SQL_CONCURRENCY, SQL_CONCUR_LOCK, true},
        {SQL_ROWSET_SIZE, 1, false},
        {SQL_ASYNC_ENABLE, SQL_ASYNC_ENABLE_ON, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.option);
        SQLULEN value = 0;
        EXPECT_EQ(SQLSetStmtOption(stmt, c.option, c.value), SQL_SUCCESS) << Diag();
        EXPECT_EQ(SQLGetStmtOption(stmt, c.option, &value), SQL_SUCCESS);
        EXPECT_EQ(value, c.value);
        ASSERT_EQ(Prepare("SELECT Name FROM Emp"), SQL_SUCCESS) << Diag();
        EXPECT_EQ(SQLSetStmtOption(stmt, c.option, c.value),
                  c.cursorOption ? SQL_ERROR : SQL_SUCCESS);
        if (c.cursorOption) {
            EXPECT_EQ(Diag(), "S1011");
        }
        ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS) << Diag();
        EXPECT_EQ(SQLSetStmtOption(stmt, c.option, c.value),
                  c.cursorOption ? SQL_ERROR : SQL_SUCCESS);
        if (c.cursorOption) {
            EXPECT_EQ(Diag(), "24000");
        }
        ASSERT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocStmt(h->dbc, &stmt), SQL_SUCCESS);
    }
    // SQL_MAX_LENGTH keeps its largest values one lower; without a block
    // cursor a rowset size above 1 is kept as 1.
    SQLULEN value = 0;
    EXPECT_EQ(SQLSetStmtOption(stmt, SQL_ROWSET_SIZE, 10), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(Diag(), "01S02");
    EXPECT_EQ(SQLGetStmtOption(stmt, SQL_ROWSET_SIZE, &value), SQL_SUCCESS);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(SQLSetStmtOption(stmt, SQL_MAX_LENGTH, 2147483647), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(Diag(), "01S02");
    EXPECT_EQ(SQLGetStmtOption(stmt, SQL_MAX_LENGTH, &value), SQL_SUCCESS);
    EXPECT_EQ(value, 2147483646u);
    EXPECT_EQ(SQLSetStmtOption(stmt, SQL_MAX_LENGTH, 0), SQL_SUCCESS);

    // The current row's number and bookmark: only on a row; no bookmarks.
    EXPECT_EQ(SQLGetStmtOption(stmt, SQL_ROW_NUMBER, &value), SQL_ERROR);
    EXPECT_EQ(Diag(), "24000");
    ASSERT_EQ(SQLExecDirect(stmt, Text("SELECT Name FROM Emp WHERE ID <= 2"), SQL_NTS), SQL_SUCCESS)
        << Diag();
    EXPECT_EQ(SQLGetStmtOption(stmt, SQL_GET_BOOKMARK, &value), SQL_ERROR);
    EXPECT_EQ(Diag(), "24000");
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    EXPECT_EQ(SQLGetStmtOption(stmt, SQL_ROW_NUMBER, &value), SQL_SUCCESS);
    EXPECT_EQ(value, 2u);
    EXPECT_EQ(SQLGetStmtOption(stmt, SQL_GET_BOOKMARK, &value), SQL_ERROR);
    EXPECT_EQ(Diag(), "S1011");
    EXPECT_EQ(SQLSetStmtOption(stmt, SQL_GET_BOOKMARK, 1), SQL_ERROR);
    EXPECT_EQ(Diag(), "S1C00");
    EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA_FOUND);
    EXPECT_EQ(SQLGetStmtOption(stmt, SQL_ROW_NUMBER, &value), SQL_ERROR);
    EXPECT_EQ(Diag(), "24000");
}

// On 64-bit ODBC the row and length counts among the statement options are
// SQLULEN: an application reads them into 8 bytes, through SQLGetStmtOption
// (ODBC 2) or SQLGetStmtAttr (ODBC 3, which the Driver Manager hands to the
// driver's SQLGetStmtOption), and must get every byte written; the other
// options stay 32-bit words. The buffers start filled with a pattern.
TEST_F(E2eStmt, CountOptionsAreReadAsSqlulen)
{
    struct Case {
        SQLUSMALLINT option;
        SQLULEN set;
        SQLULEN expected;
    };
    const Case counts[] = {
        {SQL_MAX_ROWS, 5, 5},
        {SQL_MAX_LENGTH, 300, 300},
        {SQL_ROWSET_SIZE, 1, 1},
        {SQL_KEYSET_SIZE, 0, 0},
    };
    OdbcHandles h3(SQL_OV_ODBC3);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLConnect(h3.dbc, Text("demo"), SQL_NTS, Text("demo"), SQL_NTS,
                                         Text("demo"), SQL_NTS)))
        << h3.Diag();
    SQLHSTMT s3 = SQL_NULL_HSTMT;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, h3.dbc, &s3), SQL_SUCCESS);
    for (const Case &c : counts) {
        SCOPED_TRACE(c.option);
        ASSERT_EQ(SQLSetStmtOption(stmt, c.option, c.set), SQL_SUCCESS) << Diag();
        SQLULEN value = ~SQLULEN{0};
        EXPECT_EQ(SQLGetStmtOption(stmt, c.option, &value), SQL_SUCCESS);
        EXPECT_EQ(value, c.expected);
        ASSERT_EQ(SQLSetStmtAttr(s3, c.option, reinterpret_cast<SQLPOINTER>(c.set), 0),
                  SQL_SUCCESS);
        value = ~SQLULEN{0};
        EXPECT_EQ(SQLGetStmtAttr(s3, c.option, &value, sizeof value, nullptr), SQL_SUCCESS);
        EXPECT_EQ(value, c.expected);
    }
    // A 32-bit option leaves the bytes after its word as they were.
    SQLULEN word = ~SQLULEN{0};
    EXPECT_EQ(SQLGetStmtOption(stmt, SQL_NOSCAN, &word), SQL_SUCCESS);
    EXPECT_EQ(word, (~SQLULEN{0} << 32) | SQL_NOSCAN_OFF);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, s3), SQL_SUCCESS);
    EXPECT_EQ(SQLDisconnect(h3.dbc), SQL_SUCCESS);
}

TEST_F(E2eStmt, NativeSqlRegeneratesText)
{
    const char *texts[] = {
        "SELECT {fn UCASE(Name)}, {fn CONVERT(ID, SQL_CHAR)} FROM Emp WHERE Hired > {d "
        "'2020-01-02'}",
        "SELECT \"Line No\" FROM \"Order Lines\" WHERE Qty = 3",
        "SELECT e.Name, d.Name FROM {oj Emp e LEFT OUTER JOIN Dept d ON e.Dept = d.ID}",
        "SELECT Name FROM Emp WHERE Name LIKE 'a''b%' ORDER BY 1",
    };
    for (const char *text : texts) {
        SQLCHAR out[1024] = {};
        SQLINTEGER length = 0;
        ASSERT_EQ(SQLNativeSql(h->dbc, Text(text), SQL_NTS, out, sizeof out, &length), SQL_SUCCESS)
            << h->Diag();
        EXPECT_EQ(length, static_cast<SQLINTEGER>(std::strlen(reinterpret_cast<char *>(out))));
        EXPECT_EQ(std::string(reinterpret_cast<char *>(out)).find("{fn"), std::string::npos) << out;
        EXPECT_EQ(SQLPrepare(stmt, out, SQL_NTS), SQL_SUCCESS) << out << ": " << Diag();
        SQLCHAR again[1024] = {};
        ASSERT_EQ(SQLNativeSql(h->dbc, out, SQL_NTS, again, sizeof again, nullptr), SQL_SUCCESS);
        EXPECT_STREQ(reinterpret_cast<char *>(again), reinterpret_cast<char *>(out));
    }
    SQLCHAR small[8] = {};
    SQLINTEGER length = 0;
    EXPECT_EQ(
        SQLNativeSql(h->dbc, Text("SELECT Name FROM Emp"), SQL_NTS, small, sizeof small, &length),
        SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(length, 20);
    EXPECT_EQ(h->Diag(), "01004");
    length = 77;
    SQLCHAR empty[8] = "x";
    EXPECT_EQ(SQLNativeSql(h->dbc, Text(""), SQL_NTS, empty, sizeof empty, &length), SQL_SUCCESS);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(SQLNativeSql(h->dbc, Text("SELECT FROM"), SQL_NTS, small, sizeof small, &length),
              SQL_ERROR);
    EXPECT_EQ(h->Diag(), "37000");
}

struct InfoCase {
    SQLUSMALLINT type;
    char kind;  // 's' text, 'h' 16-bit, 'w' 32-bit
    long value; // numbers
    const char *text;
};

TEST_F(E2eStmt, GetInfoAnswersByKind)
{
    const InfoCase cases[] = {
        {SQL_IDENTIFIER_QUOTE_CHAR, 's', 0, "\""},
        {SQL_SEARCH_PATTERN_ESCAPE, 's', 0, "\\"},
        {SQL_DRIVER_ODBC_VER, 's', 0, "02.00"},
        {SQL_MAX_CURSOR_NAME_LEN, 'h', 18, ""},
        {SQL_MAX_COLUMNS_IN_SELECT, 'h', 256, ""},
        {SQL_POSITIONED_STATEMENTS, 'w', 0, ""},
        {SQL_NUMERIC_FUNCTIONS, 'w', SQL_FN_NUM_MOD, ""},
        {SQL_MAX_STATEMENT_LEN, 'w', 16384, ""},
        {SQL_STRING_FUNCTIONS, 'w', 73341, ""},
        {SQL_SYSTEM_FUNCTIONS, 'w', SQL_FN_SYS_USERNAME | SQL_FN_SYS_DBNAME, ""},
        {SQL_TIMEDATE_FUNCTIONS, 'w',
         SQL_FN_TD_CURDATE | SQL_FN_TD_CURTIME | SQL_FN_TD_DAYOFMONTH | SQL_FN_TD_DAYOFWEEK |
             SQL_FN_TD_MONTH | SQL_FN_TD_QUARTER | SQL_FN_TD_YEAR,
         ""},
        {SQL_TXN_CAPABLE, 'h', -1, ""},
        {SQL_DEFAULT_TXN_ISOLATION, 'w', -1, ""},
        {SQL_KEYWORDS, 's', 0, "USE,IF,SVBEGIN,SVEND"},
        // The fixed answers the driver spells with the standard names, as the
        // numbers applications receive.
        {SQL_FETCH_DIRECTION, 'w', 1, ""},
        {SQL_ODBC_API_CONFORMANCE, 'h', 2, ""},
        {SQL_ODBC_SAG_CLI_CONFORMANCE, 'h', 1, ""},
        {SQL_ODBC_SQL_CONFORMANCE, 'h', 0, ""},
        {SQL_CONCAT_NULL_BEHAVIOR, 'h', 1, ""},
        {SQL_CURSOR_COMMIT_BEHAVIOR, 'h', 1, ""},
        {SQL_CURSOR_ROLLBACK_BEHAVIOR, 'h', 1, ""},
        {SQL_SCROLL_CONCURRENCY, 'w', 1, ""},
        {SQL_SCROLL_OPTIONS, 'w', 17, ""},
        {SQL_CONVERT_FUNCTIONS, 'w', 1, ""},
        {SQL_CORRELATION_NAME, 'h', 2, ""},
        {SQL_LOCK_TYPES, 'w', 2, ""},
        {SQL_GETDATA_EXTENSIONS, 'w', 3, ""},
        {SQL_FILE_USAGE, 'h', 2, ""},
        {SQL_NULL_COLLATION, 'h', 1, ""},
        {SQL_GROUP_BY, 'h', 2, ""},
        {SQL_QUALIFIER_USAGE, 'w', 13, ""},
        {SQL_SUBQUERIES, 'w', 31, ""},
        {SQL_UNION, 'w', 3, ""},
        {SQL_QUALIFIER_LOCATION, 'h', 1, ""},
        {SQL_CONVERT_BINARY, 'w', 0, ""},
    };
    for (const InfoCase &c : cases) {
        char buffer[256] = {};
        SQLSMALLINT length = -1;
        ASSERT_EQ(SQLGetInfo(h->dbc, c.type, buffer, sizeof buffer, &length), SQL_SUCCESS)
            << c.type;
        if (c.kind == 's') {
            EXPECT_STREQ(buffer, c.text);
            EXPECT_EQ(length, static_cast<SQLSMALLINT>(std::strlen(c.text)));
        } else if (c.kind == 'h') {
            EXPECT_EQ(length, 2) << c.type;
            if (c.value >= 0) {
                EXPECT_EQ(*reinterpret_cast<SQLUSMALLINT *>(buffer), c.value) << c.type;
            }
        } else {
            EXPECT_EQ(length, 4) << c.type;
            if (c.value >= 0) {
                EXPECT_EQ(*reinterpret_cast<SQLUINTEGER *>(buffer),
                          static_cast<SQLUINTEGER>(c.value))
                    << c.type;
            }
        }
    }
    // Every information type answers with its kind.
    const SQLUSMALLINT texts[] = {2,  6,  7,  11, 13, 14, 16, 17, 18,  19,  20,
                                  21, 25, 27, 29, 36, 37, 38, 39, 40,  41,  42,
                                  45, 47, 73, 77, 87, 89, 90, 94, 103, 111, 113};
    const SQLUSMALLINT shorts[] = {0,  1,  9,  12, 15, 22, 23, 24, 28, 30, 31,  32,  33,  34,  35,
                                   46, 74, 75, 84, 85, 88, 93, 97, 98, 99, 100, 101, 106, 107, 114};
    const SQLUSMALLINT longs[] = {8,  26, 43, 44, 48,  49,  50,  51,  52,  53,  54, 55,
                                  56, 57, 58, 59, 60,  61,  62,  63,  64,  65,  66, 67,
                                  68, 69, 70, 71, 72,  78,  79,  80,  81,  82,  83, 86,
                                  91, 92, 95, 96, 102, 104, 105, 108, 109, 110, 112};
    for (SQLUSMALLINT type : texts) {
        char buffer[512] = {};
        SQLSMALLINT length = -1;
        ASSERT_TRUE(SQL_SUCCEEDED(SQLGetInfo(h->dbc, type, buffer, sizeof buffer, &length)))
            << type;
        EXPECT_EQ(length, static_cast<SQLSMALLINT>(std::strlen(buffer))) << type;
    }
    for (SQLUSMALLINT type : shorts) {
        char buffer[8] = {};
        SQLSMALLINT length = -1;
        ASSERT_EQ(SQLGetInfo(h->dbc, type, buffer, sizeof buffer, &length), SQL_SUCCESS) << type;
        EXPECT_EQ(length, 2) << type;
    }
    for (SQLUSMALLINT type : longs) {
        char buffer[8] = {};
        SQLSMALLINT length = -1;
        ASSERT_EQ(SQLGetInfo(h->dbc, type, buffer, sizeof buffer, &length), SQL_SUCCESS) << type;
        EXPECT_EQ(length, 4) << type;
    }
    char unknown[8];
    EXPECT_EQ(SQLGetInfo(h->dbc, 3000, unknown, sizeof unknown, nullptr), SQL_ERROR);
    EXPECT_EQ(h->Diag(), "S1C00");
    // A cut text answer reports its full length.
    char small[4] = {};
    SQLSMALLINT length = 0;
    EXPECT_EQ(SQLGetInfo(h->dbc, SQL_KEYWORDS, small, sizeof small, &length),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(length, 20);
    EXPECT_EQ(h->Diag(), "01004");
    // The functions the driver says it has are the ones its library
    // exports, and the other way round.
    struct Function {
        SQLUSMALLINT id;
        const char *name;
    };
    const Function functions[] = {
        {SQL_API_SQLALLOCSTMT, "SQLAllocStmt"},
        {SQL_API_SQLPREPARE, "SQLPrepare"},
        {SQL_API_SQLDESCRIBECOL, "SQLDescribeCol"},
        {SQL_API_SQLSETCURSORNAME, "SQLSetCursorName"},
        {SQL_API_SQLGETCURSORNAME, "SQLGetCursorName"},
        {SQL_API_SQLCANCEL, "SQLCancel"},
        {SQL_API_SQLROWCOUNT, "SQLRowCount"},
        {SQL_API_SQLNUMPARAMS, "SQLNumParams"},
        {SQL_API_SQLDESCRIBEPARAM, "SQLDescribeParam"},
        {SQL_API_SQLNATIVESQL, "SQLNativeSql"},
        {SQL_API_SQLMORERESULTS, "SQLMoreResults"},
        {SQL_API_SQLBROWSECONNECT, "SQLBrowseConnect"},
        {SQL_API_SQLGETSTMTOPTION, "SQLGetStmtOption"},
        {SQL_API_SQLSETSTMTOPTION, "SQLSetStmtOption"},
        {SQL_API_SQLEXTENDEDFETCH, "SQLExtendedFetch"},
        {SQL_API_SQLSETPOS, "SQLSetPos"},
        {SQL_API_SQLSETSCROLLOPTIONS, "SQLSetScrollOptions"},
    };
    void *lib = dlopen(QX_SQLDRIVER_LIB, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    for (const Function &f : functions) {
        SQLUSMALLINT exists = 0;
        EXPECT_EQ(SQLGetFunctions(h->dbc, f.id, &exists), SQL_SUCCESS);
        bool exported = dlsym(lib, f.name) != nullptr;
        EXPECT_EQ(exists == SQL_TRUE, exported) << f.name;
    }
    dlclose(lib);
}

TEST_F(E2eStmt, SetStatementsApplyAndAreSeenByTheNextStatement)
{
    // DebugLevel is consumed, not handed to the parser.
    EXPECT_EQ(SQLExecDirect(stmt, Text("SET DebugLevel 3"), SQL_NTS), SQL_SUCCESS) << Diag();
    EXPECT_EQ(SQLExecDirect(stmt, Text("SET TxnModel 1"), SQL_NTS), SQL_SUCCESS) << Diag();
    EXPECT_EQ(SQLExecDirect(stmt, Text("SET TxnModel 7"), SQL_NTS), SQL_ERROR);
    EXPECT_EQ(Diag(), "S1009");
    EXPECT_EQ(SQLExecDirect(stmt, Text("SET NoIndexes ON"), SQL_NTS), SQL_SUCCESS);
    SQLSMALLINT count = -1;
    EXPECT_EQ(SQLNumResultCols(stmt, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 0);
    // The next statement on the handle prepares as before.
    EXPECT_EQ(Prepare("SELECT Name FROM Emp"), SQL_SUCCESS) << Diag();
    EXPECT_EQ(SQLNumResultCols(stmt, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 1);
}

TEST_F(E2eStmt, AllocatePrepareDropCyclesKeepMemoryFlat)
{
    auto cycle = [&] {
        SQLHSTMT s = SQL_NULL_HSTMT;
        ASSERT_EQ(SQLAllocStmt(h->dbc, &s), SQL_SUCCESS);
        ASSERT_EQ(
            SQLPrepare(
                s,
                Text("SELECT e.Name, d.Name FROM Emp e, Dept d WHERE e.Dept = d.ID AND e.ID > ?"),
                SQL_NTS),
            SQL_SUCCESS);
        ASSERT_EQ(SQLPrepare(s, Text("SELECT Nope FROM Emp"), SQL_NTS), SQL_ERROR);
        ASSERT_EQ(SQLFreeStmt(s, SQL_DROP), SQL_SUCCESS);
    };
    for (int i = 0; i < 50; ++i)
        cycle();
    size_t before = HeapBytes();
    for (int i = 0; i < 1000; ++i)
        cycle();
    size_t after = HeapBytes();
    EXPECT_LT(after, before + 64 * 1024) << "before " << before << ", after " << after;
}

// Stored views: the view files live in a directory of the test's own, named
// by the data source's settings.
class E2eView : public E2eStmt {
protected:
    std::string DsnExtra() override
    {
        return "[ZorviEngineOptions]\nViewFileDirectory=" + dir + "/views\n";
    }
    void SetUp() override
    {
        E2eStmt::SetUp();
        ASSERT_EQ(mkdir((dir + "/views").c_str(), 0700), 0);
    }
    SQLRETURN Exec(const std::string &sql)
    {
        return SQLExecDirect(stmt, Text(sql.c_str()), SQL_NTS);
    }
    // Executes a statement that must succeed.
    void Run(const std::string &sql) { ASSERT_EQ(Exec(sql), SQL_SUCCESS) << sql << ": " << Diag(); }
    // Executes (or only prepares) a statement that must fail with state and
    // a message holding part.
    void Refused(const std::string &sql, const char *state, const char *part,
                 bool prepareOnly = false)
    {
        SQLRETURN rc = prepareOnly ? Prepare(sql) : Exec(sql);
        std::string text;
        EXPECT_EQ(rc, SQL_ERROR) << sql;
        EXPECT_EQ(Diag(&text), state) << sql << ": " << text;
        EXPECT_NE(text.find(part), std::string::npos) << sql << ": " << text;
    }
};

TEST_F(E2eView, CreateDescribeAndDrop)
{
    // Preparing a CREATE VIEW stores nothing and describes no result.
    ASSERT_EQ(Prepare("CREATE VIEW Staff AS SELECT ID, Name AS Who, Salary FROM Emp"), SQL_SUCCESS)
        << Diag();
    SQLSMALLINT count = -1;
    EXPECT_EQ(SQLNumResultCols(stmt, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 0);
    ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS) << Diag();
    ExpectDescribe(stmt, "SELECT * FROM Staff",
                   {{"ID", SQL_INTEGER, 10, 0, SQL_NO_NULLS, "EMP"},
                    {"WHO", SQL_VARCHAR, 30, 0, SQL_NULLABLE, "EMP"},
                    {"SALARY", SQL_DOUBLE, 15, 0, SQL_NO_NULLS, "EMP"}});
    // A view of a view, with a column list and an expression. The view's
    // columns are stored upper case; a named one shows as the query names it.
    Run("CREATE VIEW Rich (Person, Twice) AS SELECT Who, Salary * 2 FROM Staff WHERE Salary > "
        "1000");
    ExpectDescribe(stmt, "SELECT Twice, Person FROM Rich",
                   {{"Twice", SQL_DOUBLE, 15, 0, SQL_NO_NULLS, ""},
                    {"Person", SQL_VARCHAR, 30, 0, SQL_NULLABLE, "EMP"}});
    ExpectDescribe(stmt, "SELECT * FROM Rich",
                   {{"PERSON", SQL_VARCHAR, 30, 0, SQL_NULLABLE, "EMP"},
                    {"TWICE", SQL_DOUBLE, 15, 0, SQL_NO_NULLS, ""}});
    // A view joined with a table.
    ExpectDescribe(stmt, "SELECT s.Who, d.Name, d.ID FROM Staff s, Dept d WHERE s.ID = d.ID",
                   {{"Who", SQL_VARCHAR, 30, 0, SQL_NULLABLE, "EMP"},
                    {"Name", SQL_VARCHAR, 20, 0, SQL_NULLABLE, "DEPT"},
                    {"ID", SQL_SMALLINT, 5, 0, SQL_NO_NULLS, "DEPT"}});
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);

    Run("DROP VIEW Rich");
    Refused("SELECT * FROM Rich", "S1000", "Unable to open table: RICH", true);
    Refused("DROP VIEW Rich", "S0002", "View Rich does not exist.");
    ExpectDescribe(stmt, "SELECT Who FROM Staff",
                   {{"Who", SQL_VARCHAR, 30, 0, SQL_NULLABLE, "EMP"}});
}

TEST_F(E2eView, BadDefinitionsAreRefused)
{
    Run("CREATE VIEW A AS SELECT ID FROM Dept");
    struct Case {
        const char *sql;
        const char *state;
        const char *text;
    };
    const Case cases[] = {
        {"CREATE VIEW A AS SELECT ID FROM Emp", "S1000", "View already exists"},
        {"CREATE VIEW Self AS SELECT * FROM Self", "S1000", "Unable to open table: SELF"},
        {"CREATE VIEW Two (X, Y) AS SELECT ID FROM Dept", "S1000", "Invalid view column list"},
        {"CREATE VIEW Bad AS SELECT Nope FROM Dept", "S0022", ""},
    };
    for (const Case &c : cases)
        Refused(c.sql, c.state, c.text);
    // A chain back to itself: B over A, then A again over B.
    Run("CREATE VIEW B AS SELECT ID FROM A");
    Run("DROP VIEW A");
    Refused("CREATE VIEW A AS SELECT ID FROM B", "S1000", "Unable to open table: A");
    ExpectDescribe(stmt, "SELECT * FROM Dept WHERE ID IN (SELECT ID FROM Emp)",
                   {{"ID", SQL_SMALLINT, 5, 0, SQL_NO_NULLS, "DEPT"},
                    {"Name", SQL_VARCHAR, 20, 0, SQL_NULLABLE, "DEPT"}});
}

// Rows read through views: each row's columns as text, joined by "|".
TEST_F(E2eView, QueriesThroughViewsReturnTheBaseRows)
{
    auto rows = [&](const std::string &sql) {
        std::vector<std::string> out;
        EXPECT_EQ(Exec(sql), SQL_SUCCESS) << sql << ": " << Diag();
        SQLSMALLINT columns = 0;
        SQLNumResultCols(stmt, &columns);
        while (SQLFetch(stmt) == SQL_SUCCESS) {
            std::string row;
            for (SQLUSMALLINT c = 1; c <= columns; ++c) {
                char value[64] = {};
                SQLLEN length = 0;
                SQLGetData(stmt, c, SQL_C_CHAR, value, sizeof value, &length);
                if (c > 1)
                    row += '|';
                row += length == SQL_NULL_DATA ? "NULL" : value;
            }
            out.push_back(row);
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
        return out;
    };
    using Rows = std::vector<std::string>;
    Run("CREATE VIEW Staff AS SELECT ID, Name AS Who, Salary, Dept FROM Emp");
    Run("CREATE VIEW Rich AS SELECT Who, Dept FROM Staff WHERE Salary > 1000");
    Run("CREATE VIEW PerDept (Dept, Heads) AS SELECT Dept, COUNT(*) FROM Emp GROUP BY Dept");
    struct Case {
        const char *sql;
        Rows rows;
    };
    const Case cases[] = {
        {"SELECT Who FROM Staff WHERE Salary > 1000", {"Ann"}},
        {"SELECT Who FROM Staff WHERE ID = 2", {"Bo"}},
        {"SELECT s.Who, d.Name FROM Staff s, Dept d WHERE s.Dept = d.ID ORDER BY 1",
         {"Ann|Sales", "Bo|Lab"}},
        {"SELECT * FROM Rich", {"Ann|1"}},
        {"SELECT r.Who, d.Name FROM Rich r, Dept d WHERE r.Dept = d.ID", {"Ann|Sales"}},
        {"SELECT Dept, COUNT(*) FROM Staff GROUP BY Dept ORDER BY Dept", {"1|1", "2|1"}},
        {"SELECT Dept, Heads FROM PerDept WHERE Dept = 2", {"2|1"}},
        {"SELECT Heads FROM PerDept ORDER BY 1", {"1", "1"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(rows(c.sql), c.rows) << c.sql;
    // A grouped view joined to a table is refused.
    Refused("SELECT p.Heads FROM PerDept p, Dept d WHERE p.Dept = d.ID", "S1000",
            "Grouped view access violation", true);
}

TEST_F(E2eView, DamagedViewFileIsRefusedWithItsFault)
{
    Run("CREATE VIEW Names AS SELECT Name FROM Emp");
    // A view count above what the file can hold.
    {
        FILE *f = std::fopen((dir + "/views/zorview.def").c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        const unsigned char count[2] = {0xff, 0x7f};
        ASSERT_EQ(std::fseek(f, 4, SEEK_SET), 0);
        ASSERT_EQ(std::fwrite(count, 1, 2, f), 2u);
        std::fclose(f);
    }
    Refused("SELECT * FROM Names", "S1000", "zorview.def is damaged: view count 32767", true);
    Refused("CREATE VIEW Other AS SELECT Name FROM Dept", "S1000", "is damaged");
}

TEST_F(E2eView, ReadOnlyConnectionsChangeNoViews)
{
    Run("CREATE VIEW Keep AS SELECT Name FROM Dept");
    ASSERT_EQ(SQLSetConnectOption(h->dbc, SQL_ACCESS_MODE, SQL_MODE_READ_ONLY), SQL_SUCCESS)
        << h->Diag();
    Refused("CREATE VIEW Other AS SELECT Name FROM Dept", "37000", "", true);
    Refused("DROP VIEW Keep", "37000", "", true);
    ExpectDescribe(stmt, "SELECT * FROM Keep",
                   {{"NAME", SQL_VARCHAR, 20, 0, SQL_NULLABLE, "DEPT"}});
}

TEST_F(E2eView, ViewsOutliveTheConnection)
{
    Run("CREATE VIEW Names AS SELECT Name FROM Emp");
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_DROP), SQL_SUCCESS);
    stmt = SQL_NULL_HSTMT;
    ASSERT_EQ(SQLDisconnect(h->dbc), SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLConnect(h->dbc, Text("demo"), SQL_NTS, Text("demo"), SQL_NTS, Text("demo"), SQL_NTS)))
        << h->Diag();
    ASSERT_EQ(SQLAllocStmt(h->dbc, &stmt), SQL_SUCCESS);
    ExpectDescribe(stmt, "SELECT * FROM Names",
                   {{"NAME", SQL_VARCHAR, 30, 0, SQL_NULLABLE, "EMP"}});
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    Run("DROP VIEW Names");
    Refused("SELECT * FROM Names", "S1000", "Unable to open table: NAMES", true);
}

} // namespace

// The query-plan file: with QryPlan on, every prepared query and UPDATE
// appends one record that a reader can follow; other statements write none.
class E2ePlanFile : public E2eStmt {
protected:
    std::string DsnExtra() override { return "QryPlan=1\nQryPlanOutput=" + dir + "/plan.qry\n"; }
};

TEST_F(E2ePlanFile, EveryPreparedQueryWritesOneRecord)
{
    const std::vector<std::string> queries = {
        "SELECT Name FROM Emp",
        "SELECT e.Name, d.Name FROM Emp e, Dept d WHERE e.Dept = d.ID ORDER BY 1",
        "SELECT Name FROM Emp WHERE Dept IN (SELECT ID FROM Dept WHERE Name <> '100%')",
        "SELECT Name FROM Emp UNION SELECT Name FROM Dept",
        "UPDATE Emp SET Name = ? WHERE ID = ? AND Salary > 0",
    };
    for (const std::string &sql : queries)
        ASSERT_EQ(Prepare(sql), SQL_SUCCESS) << sql << ": " << Diag();
    // The UPDATE planned at its prepare runs with the values bound after it.
    SQLCHAR name[] = "Zed";
    SQLINTEGER id = 2;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_CHAR, 20,
                                               0, name, sizeof name, nullptr)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0,
                                               0, &id, 0, nullptr)));
    ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS) << Diag();
    SQLLEN changed = 0;
    ASSERT_EQ(SQLRowCount(stmt, &changed), SQL_SUCCESS);
    EXPECT_EQ(changed, 1);
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_RESET_PARAMS), SQL_SUCCESS);
    // Executing, and preparing other kinds, adds nothing.
    ASSERT_EQ(Prepare(queries[0]), SQL_SUCCESS) << Diag();
    ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS) << Diag();
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    ASSERT_EQ(Prepare("DELETE FROM Emp WHERE ID = 9"), SQL_SUCCESS) << Diag();
    ASSERT_EQ(Prepare("INSERT INTO Dept (ID, Name) VALUES (9, 'x')"), SQL_SUCCESS) << Diag();
    ASSERT_EQ(Prepare("SELECT Nope FROM Emp"), SQL_ERROR);

    std::string bytes = ReadFile("plan.qry");
    std::vector<PlnFileRecord> records;
    PlnFileReader reader;
    ASSERT_TRUE(reader.Read(std::vector<uint8_t>(bytes.begin(), bytes.end()), &records))
        << reader.error;
    ASSERT_EQ(records.size(), queries.size() + 1);
    for (size_t i = 0; i < queries.size(); ++i) {
        EXPECT_EQ(records[i].sql, queries[i]);
        EXPECT_EQ(records[i].sqlLengthField, queries[i].size() + 1);
    }
    EXPECT_EQ(records[0].trees, std::vector<std::string>{"3"});
    EXPECT_EQ(records[0].tables, std::vector<std::string>{"EMP"});
    ASSERT_EQ(records[1].trees.size(), 1u);
    EXPECT_NE(records[1].trees[0].find('1'), std::string::npos) << records[1].trees[0];
    EXPECT_EQ(records[1].tables, (std::vector<std::string>{"EMP e", "DEPT d"}));
    EXPECT_EQ(records[2].trees.size(), 2u);
    // The union's two inputs follow its own tree.
    ASSERT_EQ(records[3].trees.size(), 3u);
    EXPECT_NE(records[3].trees[0].find("10"), std::string::npos) << records[3].trees[0];
    EXPECT_EQ(records[3].tables, (std::vector<std::string>{"EMP", "DEPT"}));
    // The UPDATE's rows: its table under the filters of its WHERE clause.
    ASSERT_EQ(records[4].trees.size(), 1u);
    EXPECT_EQ(records[4].trees[0], "2 2 3");
    EXPECT_EQ(records[4].tables, std::vector<std::string>{"EMP"});
    EXPECT_EQ(records[5].sql, queries[0]);
}

// A query-plan file that cannot be written is a warning of the prepare
// step; SQLExecDirect runs on and leaves that warning queued.
class E2ePlanFileUnwritable : public E2eStmt {
protected:
    std::string DsnExtra() override
    {
        return "QryPlan=1\nQryPlanOutput=" + dir + "/no such folder/plan.qry\n";
    }
};

TEST_F(E2ePlanFileUnwritable, ExecDirectKeepsThePrepareStepsWarning)
{
    ASSERT_EQ(SQLExecDirect(stmt, Text("SELECT Name FROM Emp"), SQL_NTS), SQL_SUCCESS_WITH_INFO);
    // The execute step sees the warning queued too.
    EXPECT_EQ(TraceHeads(ReadFile("trace.log"), ">SQLExecDirect("),
              (std::vector<std::string>{">SQLExecDirect", ">SQLPrepare", "<SQLPrepare returned 1.",
                                        ">SQLExecute", "<SQLExecute returned 1.",
                                        "<SQLExecDirect returned 1."}));
    EXPECT_EQ(Diag().substr(0, 2), "01") << Diag();
}
