// Push-down and direct column retrieval through the unixODBC Driver Manager
// against qxserver: the searches the server is sent for a query's
// conditions (none with NoFiltOpt), one search for a point query, and bound
// columns read straight from the cursor giving what the usual conversion
// gives (NoGetDataOpt), NULLs, and no byte past the application's buffer.
#include "tests/e2e_fixture.h"
#include "tests/server_log.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

class E2ePushDown : public E2eConnected {
protected:
    void SetUp() override
    {
        fixture = QX_PUSH_FIXTURE;
        E2eFixture::SetUp();
    }
    // Connects with the engine options given as connection-string keywords.
    void Connect(const std::string &options)
    {
        h = std::make_unique<OdbcHandles>(SQL_OV_ODBC2);
        std::string in = "DSN=demo;UID=demo;PWD=demo;" + options;
        SQLCHAR out[1024] = {};
        SQLSMALLINT length = 0;
        ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(h->dbc, nullptr, Text(in.c_str()), SQL_NTS, out,
                                                   sizeof out, &length, SQL_DRIVER_NOPROMPT)))
            << h->Diag();
        ASSERT_EQ(SQLAllocStmt(h->dbc, &stmt), SQL_SUCCESS);
    }
    // Rows of the query read through bound columns: Id as SQL_C_LONG, Name
    // as SQL_C_CHAR into nameSize bytes, Qty as SQL_C_SHORT, Price as
    // SQL_C_DOUBLE. Each row "id|name|qty|price|state", the state "01004"
    // when the fetch said the data was cut.
    std::vector<std::string> Bound(const char *sql, SQLLEN nameSize)
    {
        SQLINTEGER id = 0;
        SQLSMALLINT qty = 0;
        double price = 0;
        std::vector<char> name(static_cast<size_t>(nameSize) + 4, '#');
        SQLLEN lengths[4] = {};
        EXPECT_EQ(SQLBindCol(stmt, 1, SQL_C_LONG, &id, 0, &lengths[0]), SQL_SUCCESS);
        EXPECT_EQ(SQLBindCol(stmt, 2, SQL_C_CHAR, name.data(), nameSize, &lengths[1]), SQL_SUCCESS);
        EXPECT_EQ(SQLBindCol(stmt, 3, SQL_C_SHORT, &qty, 0, &lengths[2]), SQL_SUCCESS);
        EXPECT_EQ(SQLBindCol(stmt, 4, SQL_C_DOUBLE, &price, 0, &lengths[3]), SQL_SUCCESS);
        std::vector<std::string> rows;
        if (!SQL_SUCCEEDED(SQLExecDirect(stmt, Text(sql), SQL_NTS)))
            return {"ERROR " + Diag()};
        SQLRETURN rc;
        while ((rc = SQLFetch(stmt)) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
            std::string state = rc == SQL_SUCCESS_WITH_INFO ? Diag().substr(0, 5) : "";
            std::string text = lengths[1] == SQL_NULL_DATA
                                   ? "NULL(" + std::string(name.data()) + ")"
                                   : std::string(name.data()) + ":" + std::to_string(lengths[1]);
            rows.push_back(std::to_string(id) + "|" + text + "|" + std::to_string(qty) + "|" +
                           std::to_string(price) + "|" + state);
            // Nothing is written past the buffer.
            EXPECT_EQ(std::string(name.data() + nameSize, 4), "####") << sql;
        }
        EXPECT_EQ(rc, SQL_NO_DATA_FOUND) << Diag();
        EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
        EXPECT_EQ(SQLFreeStmt(stmt, SQL_UNBIND), SQL_SUCCESS);
        return rows;
    }
    // The requests logged since the last call whose text holds `what`.
    std::vector<std::string> NewLogLines(const std::string &what)
    {
        return QxLogRequestsSince(ReadFile("server.log"), &seen, what);
    }
    void Run(const char *sql)
    {
        ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt, Text(sql), SQL_NTS))) << Diag();
        while (SQL_SUCCEEDED(SQLFetch(stmt)))
            ;
        ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    }

    size_t seen = 0;
};

TEST_F(E2ePushDown, ConditionsReachTheServerAsSearches)
{
    Connect("");
    NewLogLines("");
    Run("SELECT Name FROM Items WHERE Ok = 1 AND At >= {t '08:30:00'}");
    EXPECT_EQ(NewLogLines("code=35"),
              (std::vector<std::string>{"request code=35 length=196 -> status=0 reply=4 search "
                                        "table 1: 6>=30600 AND 7=1"}));
    // A point query by the unique index: one search, no scan.
    Run("SELECT * FROM Items WHERE Id = 4");
    std::vector<std::string> all = NewLogLines("code=");
    EXPECT_EQ(std::count_if(all.begin(), all.end(),
                            [](const std::string &l) { return l.find("code=35") != l.npos; }),
              1);
    EXPECT_EQ(std::count_if(all.begin(), all.end(),
                            [](const std::string &l) { return l.find("code=17") != l.npos; }),
              0);
    Disconnect();

    Connect("NoFiltOpt=1;NoIndexes=1");
    NewLogLines("");
    Run("SELECT Name FROM Items WHERE Ok = 1 AND At >= {t '08:30:00'}");
    EXPECT_TRUE(NewLogLines("code=35").empty());
}

TEST_F(E2ePushDown, BoundColumnsReadDirectlyGiveWhatTheConversionGives)
{
    const char *sql = "SELECT Id, Name, Qty, Price FROM Items";
    const char *joined = "SELECT i.Id, i.Name, i.Qty, k.Id * 1.5 FROM Items i, Kinds k "
                         "WHERE i.Id = k.Id";
    for (const char *extra : {"", "NoGetDataOpt=1"}) {
        SCOPED_TRACE(extra);
        Connect(extra);
        // Name is alpha(20): 21 bytes take every value; the empty name is NULL.
        std::vector<std::string> rows = Bound(sql, 21);
        std::sort(rows.begin(), rows.end());
        EXPECT_EQ(rows,
                  (std::vector<std::string>{"1|apple:5|5|1.500000|", "2|Banana:6|-2|0.250000|",
                                            "3|NULL()|0|100.000000|", "4|cherry:6|12|2.750000|",
                                            "5|_under:6|7|0.100000|", "6|BANANA:6|1|3.000000|"}));
        // A smaller buffer: cut with 01004, the length the whole value's.
        rows = Bound("SELECT Id, Name, Qty, Price FROM Items WHERE Id = 4", 4);
        EXPECT_EQ(rows, (std::vector<std::string>{"4|che:6|12|2.750000|01004"}));
        rows = Bound(joined, 21);
        std::sort(rows.begin(), rows.end());
        EXPECT_EQ(rows,
                  (std::vector<std::string>{"1|apple:5|5|1.500000|", "4|cherry:6|12|6.000000|"}));
        Disconnect();
    }
}

} // namespace
