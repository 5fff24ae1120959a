// What a query's read windows carry, through the Driver Manager against
// qxserver: each window request (_QX_SubSelectionToArray, code 91) names
// only the fields the plan reads of its table (its select list, the
// conditions the engine tests, join, sort and group keys, set-function
// arguments, the values an UPDATE reads), so a narrow query moves fewer
// bytes than SELECT *, and the rows are what they would be with every
// field (test builds fail a read of a field left out of the list).
#include "tests/e2e_fixture.h"
#include "tests/server_log.h"

#include <string>
#include <vector>

namespace {

class E2eRetrieve : public E2eConnected {
protected:
    void SetUp() override
    {
        fixture = QX_PUSH_FIXTURE;
        E2eConnected::SetUp();
    }
    struct Windows {
        size_t count = 0;
        long maxFields = 0; // the most fields one window request names
        long replyBytes = 0;
    };
    // The window requests logged since the last call.
    Windows NewWindows()
    {
        Windows w;
        for (const std::string &line : QxLogRequestsSince(ReadFile("server.log"), &seen, "code=")) {
            if (line.find("code=91 ") == std::string::npos)
                continue;
            ++w.count;
            // The request: selection, table, count, then a (table, field)
            // pair of 16-bit numbers per field; the first pair asks for the
            // record numbers (field 0), which the table cursor reads with
            // every window.
            long length = std::stol(line.substr(line.find("length=") + 7));
            w.maxFields = std::max(w.maxFields, (length - 12) / 4 - 1);
            w.replyBytes += std::stol(line.substr(line.find("reply=") + 6));
        }
        return w;
    }
    size_t seen = 0;
};

TEST_F(E2eRetrieve, WindowsCarryTheFieldsThePlanReads)
{
    struct Case {
        const char *sql;
        long fields; // the widest window's fields
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {"SELECT * FROM Items WHERE Id < 3",
         8,
         {"1|apple|5|1.5|2020-01-31|08:30:00|1|red",
          "2|Banana|-2|0.25|2019-12-01|12:00:00|0|NULL"}},
        {"SELECT Name FROM Items WHERE Id < 3", 2, {"apple", "Banana"}},
        // A condition the engine tests, and the sort key.
        {"SELECT Name FROM Items WHERE Qty * 2 > 4 ORDER BY Id", 3, {"apple", "cherry", "_under"}},
        // Group key and set-function argument.
        {"SELECT Ok, COUNT(*), MIN(Qty) FROM Items GROUP BY Ok", 2, {"0|2|-2", "1|4|0"}},
        // Join keys and the columns of both tables.
        {"SELECT Kinds.Label, Items.Name FROM Items, Kinds WHERE Items.Id = Kinds.Id "
         "ORDER BY Kinds.Id",
         2,
         {"one|apple", "four|cherry"}},
        // Tables whose values are never read still give their rows.
        {"SELECT COUNT(*) FROM Items, Kinds", 1, {"18"}},
        {"SELECT COUNT(*) FROM Items WHERE Qty + 0 > 0", 1, {"4"}},
    };
    for (const Case &c : cases) {
        NewWindows();
        EXPECT_EQ(Query(c.sql), c.rows) << c.sql;
        Windows w = NewWindows();
        EXPECT_GT(w.count, 0u) << c.sql;
        EXPECT_EQ(w.maxFields, c.fields) << c.sql;
    }
}

TEST_F(E2eRetrieve, ANarrowQueryMovesFewerBytes)
{
    NewWindows();
    ASSERT_EQ(Query("SELECT * FROM Items").size(), 6u);
    Windows all = NewWindows();
    ASSERT_EQ(Query("SELECT Id FROM Items").size(), 6u);
    Windows one = NewWindows();
    EXPECT_EQ(one.count, all.count);
    EXPECT_EQ(one.maxFields, 1);
    EXPECT_LT(one.replyBytes * 3, all.replyBytes);
}

// An UPDATE reads the values of its SET and of the conditions it tests.
TEST_F(E2eRetrieve, UpdateReadsWhatItsValuesAndConditionsRead)
{
    NewWindows();
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLExecDirect(stmt, Text("UPDATE Items SET Qty = Qty + 100 WHERE Price * 1 > 2"), SQL_NTS)))
        << Diag();
    SQLLEN n = 0;
    EXPECT_EQ(SQLRowCount(stmt, &n), SQL_SUCCESS);
    EXPECT_EQ(n, 3);
    ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    Windows w = NewWindows();
    EXPECT_GT(w.count, 0u);
    EXPECT_EQ(w.maxFields, 2);
    EXPECT_EQ(Query("SELECT Id, Qty FROM Items WHERE Qty > 50 ORDER BY Id"),
              (std::vector<std::string>{"3|100", "4|112", "6|101"}));
}

} // namespace
