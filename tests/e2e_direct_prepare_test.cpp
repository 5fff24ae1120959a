// SQLExecDirect of the text a statement handle ran last, through the
// unixODBC Driver Manager against qxserver: the handle keeps the query's
// preparation and plan, so the same text given again (after SQL_CLOSE)
// prepares and plans nothing, as SQLExecute of a prepared statement does.
// Whatever can make the text prepare otherwise, or may have left the
// statement damaged, makes the next SQLExecDirect prepare it anew. The
// engine trace line "rcExeMakePlanner(" (level 2) counts the plans built;
// every result is checked against what a fresh handle reads.
#include "tests/e2e_prepare_fixture.h"

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

class E2eDirect : public E2ePlans {
protected:
    // The rows of sql read on a handle of its own: what a preparation of
    // its own makes of the text.
    std::vector<std::string> Fresh(const std::string &sql)
    {
        SQLHSTMT mine = stmt;
        SQLHSTMT other = SQL_NULL_HSTMT;
        EXPECT_EQ(SQLAllocStmt(h->dbc, &other), SQL_SUCCESS);
        stmt = other;
        std::vector<std::string> rows = Query(sql);
        stmt = mine;
        SQLFreeStmt(other, SQL_DROP);
        return rows;
    }

    // Runs sql on another handle of the connection (its result discarded).
    void Elsewhere(const std::string &sql)
    {
        SQLHSTMT other = SQL_NULL_HSTMT;
        ASSERT_EQ(SQLAllocStmt(h->dbc, &other), SQL_SUCCESS);
        EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(other, Text(sql.c_str()), SQL_NTS))) << sql;
        SQLFreeStmt(other, SQL_DROP);
    }
};

// The same text again reuses the preparation whatever happened to the
// cursor, the column bindings and the parameters in between; a text that
// differs in one byte is prepared anew.
TEST_F(E2eDirect, TheSameTextRunsTheKeptPlan)
{
    const std::string point = "SELECT ID, Name, City FROM Customers WHERE ID = 7";
    const std::vector<std::string> seven = Fresh(point);
    ASSERT_EQ(seven.size(), 1u);
    NewPlans();
    for (int run = 0; run < 3; ++run)
        EXPECT_EQ(Query(point), seven) << run;
    EXPECT_EQ(NewPlans(), 1u) << "one plan for three executions";

    // Closed in the middle of its rows, then given again.
    const std::string range = "SELECT ID FROM Customers WHERE ID < 20 ORDER BY ID DESC";
    const std::vector<std::string> below = Fresh(range);
    ASSERT_EQ(below.size(), 19u);
    NewPlans();
    ASSERT_EQ(SQLExecDirect(stmt, Text(range.c_str()), SQL_NTS), SQL_SUCCESS) << Diag();
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    EXPECT_EQ(Query(range), below);
    EXPECT_EQ(NewPlans(), 1u);

    // Bound columns, then unbound: the fetch delivers into the buffers, and
    // SQLGetData reads after SQL_UNBIND.
    EXPECT_EQ(Query(point), seven);
    NewPlans();
    SQLINTEGER id = 0;
    char name[64] = {};
    SQLLEN idLength = 0, nameLength = 0;
    ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, &id, 0, &idLength), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, name, sizeof name, &nameLength), SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(stmt, Text(point.c_str()), SQL_NTS), SQL_SUCCESS) << Diag();
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS) << Diag();
    EXPECT_EQ(id, 7);
    EXPECT_EQ(seven[0].rfind("7|" + std::string(name) + "|", 0), 0u) << seven[0];
    EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA_FOUND);
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_UNBIND), SQL_SUCCESS);
    EXPECT_EQ(Query(point), seven);
    EXPECT_EQ(NewPlans(), 0u) << "bindings are no part of the preparation";

    // Parameters are bound and checked at each execution, as for SQLExecute:
    // reset, the execution fails (and the failed state is not kept); bound
    // again, the text is prepared again and then kept.
    const std::string marked = "SELECT ID, City FROM Customers WHERE ID = ?";
    SQLINTEGER value = 0;
    ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &value, 0,
                               nullptr),
              SQL_SUCCESS);
    NewPlans();
    for (SQLINTEGER v : {1, 150, 151, 77}) {
        value = v;
        std::string literal = "SELECT ID, City FROM Customers WHERE ID = " + std::to_string(v);
        EXPECT_EQ(Query(marked), Fresh(literal)) << literal;
    }
    // (The fresh handles write no plans to the trace: their debug level is 0.)
    EXPECT_EQ(NewPlans(), 1u) << "one plan for the marked text";
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_RESET_PARAMS), SQL_SUCCESS);
    EXPECT_EQ(SQLExecDirect(stmt, Text(marked.c_str()), SQL_NTS), SQL_ERROR);
    EXPECT_EQ(Diag().substr(0, 5), "07001");
    ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &value, 0,
                               nullptr),
              SQL_SUCCESS);
    value = 3;
    const std::vector<std::string> three = Fresh("SELECT ID, City FROM Customers WHERE ID = 3");
    NewPlans();
    EXPECT_EQ(Query(marked), three);
    EXPECT_EQ(Query(marked), three);
    EXPECT_EQ(NewPlans(), 1u) << "prepared again after the failure, then kept";
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_RESET_PARAMS), SQL_SUCCESS);

    // One byte more, or another case, is another text.
    NewPlans();
    EXPECT_EQ(Query(point + " "), seven);
    EXPECT_EQ(Query("select ID, Name, City FROM Customers WHERE ID = 7"), seven);
    EXPECT_EQ(Query(point), seven);
    EXPECT_EQ(NewPlans(), 3u);
}

// The kept plan of a point query with a filter pushed to the data module
// reads the table as it is at each execution: a change made between two
// executions shows in the second, and numbers bound as text (read straight
// from the cursor) are the texts SQLGetData gives.
TEST_F(E2eDirect, AKeptPointQueryReadsEachExecutionAfresh)
{
    const std::string point =
        "SELECT ID, Credit, City FROM Customers WHERE ID = 7 AND City <> 'Nowhere'";
    const std::vector<std::string> seven = Fresh(point);
    ASSERT_EQ(seven.size(), 1u);
    const std::string city = seven[0].substr(seven[0].rfind('|') + 1);
    struct Bound {
        char id[256], credit[256], city[64];
        SQLLEN idLength, creditLength, cityLength;
    } b{};
    auto run = [&]() {
        std::vector<std::string> rows;
        EXPECT_EQ(SQLBindCol(stmt, 1, SQL_C_CHAR, b.id, sizeof b.id, &b.idLength), SQL_SUCCESS);
        EXPECT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, b.credit, sizeof b.credit, &b.creditLength),
                  SQL_SUCCESS);
        EXPECT_EQ(SQLBindCol(stmt, 3, SQL_C_CHAR, b.city, sizeof b.city, &b.cityLength),
                  SQL_SUCCESS);
        EXPECT_EQ(SQLExecDirect(stmt, Text(point.c_str()), SQL_NTS), SQL_SUCCESS) << Diag();
        while (SQLFetch(stmt) == SQL_SUCCESS) {
            EXPECT_EQ(b.idLength, static_cast<SQLLEN>(std::strlen(b.id)));
            EXPECT_EQ(b.creditLength, static_cast<SQLLEN>(std::strlen(b.credit)));
            rows.push_back(std::string(b.id) + "|" + b.credit + "|" + b.city);
        }
        EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
        EXPECT_EQ(SQLFreeStmt(stmt, SQL_UNBIND), SQL_SUCCESS);
        return rows;
    };
    NewPlans();
    EXPECT_EQ(run(), seven);
    EXPECT_EQ(run(), seven);
    Elsewhere("UPDATE Customers SET City = 'Nowhere' WHERE ID = 7");
    EXPECT_TRUE(run().empty()) << "the change made between the executions";
    Elsewhere("UPDATE Customers SET City = '" + city + "', Credit = 1234.5 WHERE ID = 7");
    const std::vector<std::string> changed = Fresh(point);
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0], "7|1234.5|" + city);
    EXPECT_EQ(run(), changed);
    EXPECT_EQ(Query(point), changed); // read with SQLGetData
    EXPECT_EQ(NewPlans(), 1u) << "one plan for the executions";
}

// Each of these between two SQLExecDirect calls of the same text makes the
// second one prepare it anew, and its rows are what a fresh preparation
// reads.
TEST_F(E2eDirect, WhatMayChangeThePreparationPreparesAgain)
{
    const std::string point = "SELECT ID, {fn UCASE(Name)} FROM Customers WHERE ID = 9";
    struct Case {
        const char *what;
        std::function<void()> between;
    };
    const Case cases[] = {
        {"SQLPrepare of another text",
         [&] { ASSERT_EQ(SQLPrepare(stmt, Text("SELECT ID FROM Orders"), SQL_NTS), SQL_SUCCESS); }},
        {"SQLPrepare of the same text",
         [&] { ASSERT_EQ(SQLPrepare(stmt, Text(point.c_str()), SQL_NTS), SQL_SUCCESS); }},
        {"a catalog function on the handle",
         [&] {
             ASSERT_EQ(SQLTables(stmt, nullptr, 0, nullptr, 0, Text("Orders"), SQL_NTS, nullptr,
                                 0),
                       SQL_SUCCESS);
             ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
         }},
        {"another text executed directly", [&] { Query("SELECT COUNT(*) FROM Products"); }},
        {"a statement option set",
         [&] { ASSERT_EQ(SQLSetStmtOption(stmt, SQL_MAX_LENGTH, 0), SQL_SUCCESS); }},
        {"a connection option set",
         [&] {
             ASSERT_EQ(SQLSetConnectOption(h->dbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_ON),
                       SQL_SUCCESS);
         }},
        {"a SET statement on another handle", [&] { Elsewhere("SET DebugLevel 2"); }},
        {"a view defined on another handle",
         [&] { Elsewhere("CREATE VIEW Unrelated AS SELECT ID FROM Products"); }},
        {"a view dropped on another handle", [&] { Elsewhere("DROP VIEW Unrelated"); }},
        {"SQLExecDirect refused while the cursor is open",
         [&] {
             ASSERT_EQ(SQLExecDirect(stmt, Text(point.c_str()), SQL_NTS), SQL_SUCCESS) << Diag();
             EXPECT_EQ(SQLExecDirect(stmt, Text(point.c_str()), SQL_NTS), SQL_ERROR);
             EXPECT_EQ(Diag().substr(0, 5), "24000");
             ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
         }},
        {"a failed fetch",
         [&] {
             // The name does not convert to an integer.
             SQLINTEGER n = 0;
             ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_LONG, &n, 0, nullptr), SQL_SUCCESS);
             ASSERT_EQ(SQLExecDirect(stmt, Text(point.c_str()), SQL_NTS), SQL_SUCCESS) << Diag();
             EXPECT_EQ(SQLFetch(stmt), SQL_ERROR);
             ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
             ASSERT_EQ(SQLFreeStmt(stmt, SQL_UNBIND), SQL_SUCCESS);
         }},
        {"a failed SQLGetData",
         [&] {
             ASSERT_EQ(SQLExecDirect(stmt, Text(point.c_str()), SQL_NTS), SQL_SUCCESS) << Diag();
             ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
             SQLINTEGER n = 0;
             EXPECT_EQ(SQLGetData(stmt, 2, SQL_C_LONG, &n, 0, nullptr), SQL_ERROR);
             ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
         }},
    };
    const std::vector<std::string> nine = Fresh(point);
    ASSERT_EQ(nine.size(), 1u) << nine.front();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(Query(point), nine);
        c.between();
        NewPlans();
        EXPECT_EQ(Query(point), nine);
        EXPECT_EQ(NewPlans(), 1u) << "prepared again";
        EXPECT_EQ(Query(point), nine);
        EXPECT_EQ(NewPlans(), 0u) << "and kept after";
    }

    // SQL_MAX_ROWS set in between holds for the next execution.
    const std::string all = "SELECT ID FROM Customers ORDER BY ID";
    ASSERT_EQ(Query(all).size(), 150u);
    ASSERT_EQ(SQLSetStmtOption(stmt, SQL_MAX_ROWS, 2), SQL_SUCCESS);
    EXPECT_EQ(Query(all), (std::vector<std::string>{"1", "2"}));
    ASSERT_EQ(SQLSetStmtOption(stmt, SQL_MAX_ROWS, 0), SQL_SUCCESS);
    EXPECT_EQ(Query(all).size(), 150u);
}

// A view redefined through the connection changes what the same text
// reads: the kept preparation of the old definition is not used.
TEST_F(E2eDirect, AViewRedefinedReadsTheNewDefinition)
{
    const std::string sql = "SELECT * FROM Near ORDER BY 1";
    Elsewhere("CREATE VIEW Near AS SELECT ID, City FROM Customers WHERE ID < 4");
    const std::vector<std::string> before = Query(sql);
    ASSERT_EQ(before.size(), 3u);
    EXPECT_EQ(Query(sql), before);
    Elsewhere("DROP VIEW Near");
    Elsewhere("CREATE VIEW Near AS SELECT Name FROM Customers WHERE ID BETWEEN 5 AND 6");
    const std::vector<std::string> after = Query(sql);
    EXPECT_EQ(after, Fresh(sql));
    EXPECT_EQ(after, Fresh("SELECT Name FROM Customers WHERE ID BETWEEN 5 AND 6 ORDER BY 1"));
    Elsewhere("DROP VIEW Near");
    EXPECT_EQ(Query(sql).front().substr(0, 6), "ERROR ");
}

} // namespace
