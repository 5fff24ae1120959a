// Prepared statements through the unixODBC Driver Manager against qxserver:
// a query or data change is planned inside SQLPrepare (its plan errors are
// SQLPrepare's), and every SQLExecute opens that one plan with the values
// bound at the time. The engine trace line "rcExeMakePlanner(" (level 2)
// counts the plans built; each case also checks its rows against the same
// query with the values written as literals, with push-down and index use
// switched on and off.
#include "tests/e2e_prepare_fixture.h"

#include <string>
#include <vector>

namespace {

// A parameter value bound as text (SQL_VARCHAR) or as a 32-bit integer.
struct Value {
    bool number;
    SQLINTEGER i;
    std::string text;
};
Value Int(SQLINTEGER v) { return {true, v, {}}; }
Value Chars(const char *s) { return {false, 0, s}; }
std::string Literal(const Value &v) { return v.number ? std::to_string(v.i) : "'" + v.text + "'"; }

class E2ePrepare : public E2ePlans {
protected:
    // Binds values[k] as parameter k + 1 (buffers kept in `bound`).
    void Bind(const std::vector<Value> &values)
    {
        bound = values;
        lengths.assign(values.size(), SQL_NTS);
        for (size_t k = 0; k < bound.size(); ++k) {
            Value &v = bound[k];
            SQLUSMALLINT n = static_cast<SQLUSMALLINT>(k + 1);
            SQLRETURN rc = v.number
                               ? SQLBindParameter(stmt, n, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER,
                                                  0, 0, &v.i, 0, nullptr)
                               : SQLBindParameter(stmt, n, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                                                  40, 0, v.text.data(), 0, &lengths[k]);
            ASSERT_EQ(rc, SQL_SUCCESS) << Diag();
        }
    }

    // Executes the prepared statement and reads its rows, the cursor closed
    // after.
    std::vector<std::string> Run()
    {
        SQLRETURN rc = SQLExecute(stmt);
        if (!SQL_SUCCEEDED(rc))
            return {"ERROR " + Diag()};
        std::vector<std::string> rows = ReadRows();
        EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
        return rows;
    }

    // The text with each "?" replaced by the literal of its value.
    static std::string WithLiterals(const std::string &sql, const std::vector<Value> &values)
    {
        std::string out;
        size_t k = 0;
        for (char c : sql)
            out += c == '?' && k < values.size() ? Literal(values[k++]) : std::string(1, c);
        return out;
    }

    std::vector<Value> bound;
    std::vector<SQLLEN> lengths;
};

// One prepared query and the value rows it is executed with, in turn:
// values that move an index range, change what a pushed filter keeps,
// match nothing and match everything.
struct Reuse {
    const char *sql;
    std::vector<std::vector<Value>> runs;
};

TEST_F(E2ePrepare, OnePlanServesEveryExecutionWhateverTheValues)
{
    const std::vector<Reuse> cases = {
        {"SELECT ID, Name, City FROM Customers WHERE ID = ?",
         {{Int(1)}, {Int(150)}, {Int(151)}, {Int(0)}, {Int(77)}}},
        {"SELECT ID FROM Customers WHERE ID >= ? AND ID < ? ORDER BY ID DESC",
         {{Int(1), Int(4)}, {Int(140), Int(400)}, {Int(5), Int(4)}, {Int(-5), Int(3)}}},
        {"SELECT ID, City FROM Customers WHERE City = ? AND ID > ? ORDER BY ID",
         {{Chars("Paris"), Int(0)},
          {Chars("London"), Int(100)},
          {Chars("Nowhere"), Int(0)},
          {Chars("Paris"), Int(149)}}},
        {"SELECT COUNT(*), MIN(o.Total), MAX(o.ID) FROM Orders o WHERE o.CustomerID = ?",
         {{Int(3)}, {Int(57)}, {Int(4)}}},
        {"SELECT c.Name, o.ID FROM Customers c, Orders o WHERE o.CustomerID = c.ID AND c.ID "
         "BETWEEN ? AND ? ORDER BY o.ID",
         {{Int(1), Int(2)}, {Int(10), Int(12)}, {Int(2), Int(1)}}},
        {"SELECT Name FROM Customers WHERE Name LIKE ? ORDER BY 1",
         {{Chars("A%")}, {Chars("%e%")}, {Chars("%q%")}}},
        {"SELECT ID FROM Customers WHERE ID IN (SELECT CustomerID FROM Orders WHERE ID = ?)",
         {{Int(1005)}, {Int(1399)}, {Int(100000)}}},
    };
    for (const char *options : {"", "NoFiltOpt=1", "NoIndexes=1"}) {
        Reconnect(options);
        for (const Reuse &c : cases) {
            NewPlans();
            ASSERT_EQ(SQLPrepare(stmt, Text(c.sql), SQL_NTS), SQL_SUCCESS) << c.sql << Diag();
            EXPECT_EQ(NewPlans(), 1u) << "planned inside SQLPrepare: " << c.sql;
            std::vector<std::vector<std::string>> got;
            for (const std::vector<Value> &values : c.runs) {
                Bind(values);
                got.push_back(Run());
            }
            EXPECT_EQ(NewPlans(), 0u) << "executions build no plan: " << c.sql << " " << options;
            ASSERT_EQ(SQLFreeStmt(stmt, SQL_RESET_PARAMS), SQL_SUCCESS);
            for (size_t r = 0; r < c.runs.size(); ++r) {
                std::string literal = WithLiterals(c.sql, c.runs[r]);
                EXPECT_EQ(got[r], Query(literal)) << literal << " " << options;
            }
        }
    }
}

// Plan errors are SQLPrepare's, with the SQLSTATE and text they had at
// execution; nothing is prepared after them, so SQLExecute is out of
// sequence.
TEST_F(E2ePrepare, PlanErrorsComeFromPrepare)
{
    const std::string outOfRange =
        "S1000 [Zorvi][Zorvi ODBC Driver]Column identifier out of range.";
    SQLHSTMT other = SQL_NULL_HSTMT;
    ASSERT_EQ(SQLAllocStmt(h->dbc, &other), SQL_SUCCESS);
    ASSERT_EQ(
        SQLExecDirect(other, Text("CREATE VIEW Few AS SELECT ID, City FROM Customers"), SQL_NTS),
        SQL_SUCCESS);
    SQLFreeStmt(other, SQL_DROP);
    for (const char *sql : {"SELECT Name FROM Customers ORDER BY 2",
                            "SELECT Name, City FROM Customers WHERE ID = ? ORDER BY 0",
                            "SELECT Name FROM Customers UNION SELECT Name FROM Products ORDER BY 3",
                            "SELECT * FROM Few ORDER BY 3"}) {
        SQLRETURN rc = SQLPrepare(stmt, Text(sql), SQL_NTS);
        EXPECT_EQ(rc, SQL_ERROR) << sql;
        EXPECT_EQ(Diag(), outOfRange) << sql;
        EXPECT_EQ(SQLExecute(stmt), SQL_ERROR) << sql;
        EXPECT_EQ(Diag().substr(0, 5), "S1010") << sql;
        // SQLExecDirect's prepare step fails the same way.
        EXPECT_EQ(SQLExecDirect(stmt, Text(sql), SQL_NTS), SQL_ERROR) << sql;
        EXPECT_EQ(Diag(), outOfRange) << sql;
    }
}

// What may happen to a prepared statement between its executions keeps its
// plan: closing the cursor, resetting and rebinding its parameters, values
// sent at execution, rows changed by another statement. A catalog call on
// the handle ends the prepared statement.
TEST_F(E2ePrepare, ThePlanOutlivesCloseResetAndDataAtExecution)
{
    const char *sql = "SELECT COUNT(*) FROM Orders WHERE CustomerID = ?";
    ASSERT_EQ(SQLPrepare(stmt, Text(sql), SQL_NTS), SQL_SUCCESS) << Diag();
    EXPECT_EQ(NewPlans(), 1u);
    std::string three = Query("SELECT COUNT(*) FROM Orders WHERE CustomerID = 3").at(0);
    ASSERT_EQ(SQLPrepare(stmt, Text(sql), SQL_NTS), SQL_SUCCESS) << Diag();
    NewPlans();

    // Closed in the middle of its rows, then executed again.
    Bind({Int(3)});
    ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS) << Diag();
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    EXPECT_EQ(Run(), std::vector<std::string>{three});

    // Parameters reset: executing without them fails, rebinding runs again.
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_RESET_PARAMS), SQL_SUCCESS);
    EXPECT_EQ(SQLExecute(stmt), SQL_ERROR);
    Bind({Int(3)});
    EXPECT_EQ(Run(), std::vector<std::string>{three});

    // The value sent at execution.
    SQLLEN atExec = SQL_DATA_AT_EXEC;
    ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_INTEGER, 0, 0,
                               reinterpret_cast<SQLPOINTER>(1), 0, &atExec),
              SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(stmt), SQL_NEED_DATA) << Diag();
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA);
    ASSERT_EQ(SQLPutData(stmt, const_cast<char *>("3"), SQL_NTS), SQL_SUCCESS) << Diag();
    ASSERT_EQ(SQLParamData(stmt, &token), SQL_SUCCESS) << Diag();
    EXPECT_EQ(ReadRows(), std::vector<std::string>{three});
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);

    // Rows another statement adds between two executions are counted.
    SQLHSTMT other = SQL_NULL_HSTMT;
    ASSERT_EQ(SQLAllocStmt(h->dbc, &other), SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(other,
                            Text("INSERT INTO Orders (ID, CustomerID, Total, Status) VALUES "
                                 "(9001, 3, 1.5, 'new')"),
                            SQL_NTS),
              SQL_SUCCESS);
    Bind({Int(3)});
    EXPECT_EQ(Run(), std::vector<std::string>{std::to_string(std::stoi(three) + 1)});
    EXPECT_EQ(NewPlans(), 0u) << "none of these executions plans again";
    SQLFreeStmt(other, SQL_DROP);

    // A catalog result on the handle replaces the prepared statement.
    ASSERT_EQ(SQLTables(stmt, nullptr, 0, nullptr, 0, Text("Orders"), SQL_NTS, nullptr, 0),
              SQL_SUCCESS)
        << Diag();
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    EXPECT_EQ(SQLExecute(stmt), SQL_ERROR);
    EXPECT_EQ(Diag().substr(0, 5), "S1010");
}

// A prepared data change is planned once too and runs with each
// execution's values: the rows its WHERE finds move with them.
TEST_F(E2ePrepare, DataChangesArePlannedAtPrepare)
{
    struct Case {
        const char *sql;
        std::vector<Value> values;
        SQLLEN rows;
    };
    const std::vector<Case> runs = {
        {"UPDATE Customers SET City = ? WHERE ID BETWEEN ? AND ?",
         {Chars("Oslo"), Int(1), Int(3)},
         3},
        {"UPDATE Customers SET City = ? WHERE ID BETWEEN ? AND ?",
         {Chars("Rome"), Int(3), Int(3)},
         1},
        {"UPDATE Customers SET City = ? WHERE ID BETWEEN ? AND ?",
         {Chars("Lima"), Int(9), Int(8)},
         0},
        {"DELETE FROM Orders WHERE CustomerID = ? AND ID > ?", {Int(3), Int(0)}, -1},
        {"DELETE FROM Orders WHERE CustomerID = ? AND ID > ?", {Int(3), Int(0)}, 0},
    };
    const char *prepared = nullptr;
    for (const Case &c : runs) {
        if (prepared == nullptr || std::string(prepared) != c.sql) {
            prepared = c.sql;
            NewPlans();
            ASSERT_EQ(SQLPrepare(stmt, Text(c.sql), SQL_NTS), SQL_SUCCESS) << Diag();
            EXPECT_EQ(NewPlans(), 1u) << c.sql;
        }
        SQLLEN expected = c.rows;
        if (expected < 0) {
            SQLHSTMT other = SQL_NULL_HSTMT;
            ASSERT_EQ(SQLAllocStmt(h->dbc, &other), SQL_SUCCESS);
            ASSERT_EQ(SQLExecDirect(other, Text("SELECT COUNT(*) FROM Orders WHERE CustomerID = 3"),
                                    SQL_NTS),
                      SQL_SUCCESS);
            ASSERT_EQ(SQLFetch(other), SQL_SUCCESS);
            SQLINTEGER n = 0;
            ASSERT_EQ(SQLGetData(other, 1, SQL_C_LONG, &n, 0, nullptr), SQL_SUCCESS);
            SQLFreeStmt(other, SQL_DROP);
            ASSERT_GT(n, 0);
            expected = n;
        }
        Bind(c.values);
        ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(stmt))) << c.sql << Diag();
        SQLLEN count = -2;
        ASSERT_EQ(SQLRowCount(stmt, &count), SQL_SUCCESS);
        EXPECT_EQ(count, expected) << WithLiterals(c.sql, c.values);
        EXPECT_EQ(NewPlans(), 0u) << c.sql;
    }
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_RESET_PARAMS), SQL_SUCCESS);
    EXPECT_EQ(Query("SELECT ID, City FROM Customers WHERE ID BETWEEN 1 AND 4 ORDER BY ID").size(),
              4u);
    EXPECT_EQ(Query("SELECT City FROM Customers WHERE ID BETWEEN 1 AND 3 ORDER BY ID"),
              (std::vector<std::string>{"Oslo", "Oslo", "Rome"}));
    EXPECT_EQ(Query("SELECT COUNT(*) FROM Orders WHERE CustomerID = 3"),
              std::vector<std::string>{"0"});
}

} // namespace
