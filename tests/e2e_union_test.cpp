// UNION, subqueries and procedure calls through the unixODBC Driver Manager
// against qxserver: the rows, the result columns a UNION describes, and the
// call escape that the data module refuses at preparation.
#include "tests/e2e_fixture.h"

#include <memory>
#include <string>
#include <vector>

namespace {

class E2eUnion : public E2eConnected {
protected:
    void SetUp() override
    {
        fixture = QX_FETCH_FIXTURE;
        E2eConnected::SetUp();
    }
};

TEST_F(E2eUnion, UnionRowsAndColumns)
{
    EXPECT_EQ(Query("SELECT Name FROM Dept UNION SELECT Nick FROM Emp WHERE ID < 3 ORDER BY 1"),
              (std::vector<std::string>{"an", "bo", "Desk", "Lab", "Sales"}));
    EXPECT_EQ(Query("SELECT Dept FROM Emp UNION ALL SELECT ID FROM Dept ORDER BY 1 DESC"),
              (std::vector<std::string>{"3", "3", "2", "2", "2", "1", "1", "1"}));
    // The column is as wide as the widest branch's, named after the first.
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLPrepare(stmt, Text("SELECT Nick FROM Emp UNION SELECT Name FROM Emp"), SQL_NTS)))
        << Diag();
    SQLCHAR name[64] = {};
    SQLSMALLINT nameLength = 0, type = 0, scale = 0, nullable = 0;
    SQLULEN size = 0;
    ASSERT_EQ(
        SQLDescribeCol(stmt, 1, name, sizeof name, &nameLength, &type, &size, &scale, &nullable),
        SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char *>(name), "Nick");
    EXPECT_EQ(size, 30u);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    // Executed twice, the statement gives the same rows.
    for (int pass = 0; pass < 2; ++pass)
        EXPECT_EQ(Query("SELECT Dept FROM Emp WHERE Salary > (SELECT AVG(Salary) FROM Emp e WHERE "
                        "e.Dept = Emp.Dept) UNION SELECT ID FROM Dept WHERE ID NOT IN (SELECT "
                        "Dept FROM Emp WHERE Nick IS NULL) ORDER BY 1"),
                  (std::vector<std::string>{"1", "2", "3"}))
            << "pass " << pass;
}

TEST_F(E2eUnion, CallEscapeFailsAtPreparation)
{
    for (const char *sql : {"{call p(?)}", "{? = call p}", "{call Inventory(1, 'x')}"}) {
        EXPECT_EQ(SQLPrepare(stmt, Text(sql), SQL_NTS), SQL_ERROR) << sql;
        std::string diag = Diag();
        EXPECT_EQ(diag.substr(0, 6), "S1000 ") << sql;
        EXPECT_NE(diag.find("]API not supported"), std::string::npos) << diag;
    }
}

} // namespace
