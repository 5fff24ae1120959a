// Uncorrelated subqueries through the Driver Manager against qxserver, with
// thousands of rows: each execution reads the subquery once (its search
// and windows in the request log), in time linear in the rows; a prepared
// statement executed again reads it again and sees what changed in
// between; the index strategies answer from a few seeks instead of reading
// the subquery's table.
#include "tests/e2e_fixture.h"
#include "tests/server_log.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

namespace {

// Big (table 2): N 0..9999 (indexed), G = N / 1000. Probe (table 3): the
// 5000 even numbers 0..9998. Few: (1, 6), (2, 7), (3, 20000).
const char *kFillBig = "INSERT INTO Big (N, G) SELECT a.D * 1000 + b.D * 100 + c.D * 10 + d.D, a.D "
                       "FROM Digits a, Digits b, Digits c, Digits d";
const char *kFillProbe =
    "INSERT INTO Probe (N) SELECT 2 * (a.D * 1000 + b.D * 100 + c.D * 10 + d.D) "
    "FROM Digits a, Digits b, Digits c, Digits d WHERE a.D < 5";

size_t Count(const std::vector<std::string> &lines, const std::string &what)
{
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string &l) {
        return l.find(what) != std::string::npos;
    }));
}

class E2eSubquery : public E2eConnected {
protected:
    void SetUp() override
    {
        fixture = QX_SUBQUERY_FIXTURE;
        E2eConnected::SetUp();
        ASSERT_EQ(SQLAllocStmt(h->dbc, &other), SQL_SUCCESS);
        Change(kFillBig);
        Change(kFillProbe);
    }
    void TearDown() override
    {
        SQLFreeStmt(other, SQL_DROP);
        E2eConnected::TearDown();
    }
    // A data change on the second statement (auto-commit).
    void Change(const char *sql)
    {
        ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(other, Text(sql), SQL_NTS))) << sql;
        ASSERT_EQ(SQLFreeStmt(other, SQL_CLOSE), SQL_SUCCESS);
    }
    // Executes the prepared COUNT(*) query: its count, -1 on failure.
    long Execute()
    {
        if (!SQL_SUCCEEDED(SQLExecute(stmt)) || !SQL_SUCCEEDED(SQLFetch(stmt)))
            return -1;
        SQLINTEGER n = -1;
        SQLLEN length = 0;
        EXPECT_EQ(SQLGetData(stmt, 1, SQL_C_LONG, &n, 0, &length), SQL_SUCCESS) << Diag();
        EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
        return n;
    }
    void Prepare(const char *sql)
    {
        ASSERT_EQ(SQLPrepare(stmt, Text(sql), SQL_NTS), SQL_SUCCESS) << Diag();
    }
    // The requests logged since the last call.
    std::vector<std::string> NewRequests()
    {
        return QxLogRequestsSince(ReadFile("server.log"), &seen, "code=");
    }

    SQLHSTMT other = SQL_NULL_HSTMT;
    size_t seen = 0;
};

// The subqueries hold a WHERE, which the server's search answers: one
// search of Big per execution is one read of the subquery.
TEST_F(E2eSubquery, EachExecutionReadsTheSubqueryOnceInLinearTime)
{
    struct Case {
        const char *sql;
        long count;
    };
    const Case cases[] = {
        {"SELECT COUNT(*) FROM Probe WHERE N IN (SELECT N FROM Big WHERE G < 5)", 2500},
        {"SELECT COUNT(*) FROM Probe WHERE N NOT IN (SELECT N FROM Big WHERE G < 5)", 2500},
        {"SELECT COUNT(*) FROM Probe WHERE N <> ALL (SELECT N FROM Big WHERE G >= 5)", 2500},
        {"SELECT COUNT(*) FROM Probe WHERE N > ALL (SELECT N FROM Big WHERE G < 5)", 2500},
        {"SELECT COUNT(*) FROM Probe WHERE N <= ANY (SELECT N FROM Big WHERE G < 9)", 4500},
        {"SELECT COUNT(*) FROM Probe WHERE N <> ANY (SELECT N FROM Big WHERE G < 5)", 5000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sql);
        Prepare(c.sql);
        for (int run = 0; run < 2; ++run) {
            NewRequests();
            auto start = std::chrono::steady_clock::now();
            EXPECT_EQ(Execute(), c.count) << Diag();
            std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            // Comparing every outer row with every row of the subquery
            // (25 million comparisons) takes far longer.
            EXPECT_LT(took.count(), 5.0);
            EXPECT_EQ(Count(NewRequests(), "search table 2:"), 1u);
        }
    }
}

// Executing a prepared statement again reads its tables again: a change
// made in between shows, in a subquery read through a search or a scan,
// and in the outer table.
TEST_F(E2eSubquery, AnotherExecutionSeesTheChangedTables)
{
    Prepare("SELECT COUNT(*) FROM Probe WHERE N IN (SELECT N FROM Big WHERE G < 5)");
    EXPECT_EQ(Execute(), 2500);
    Change("DELETE FROM Big WHERE N < 100");
    NewRequests();
    EXPECT_EQ(Execute(), 2450);
    EXPECT_EQ(Count(NewRequests(), "search table 2:"), 1u);
    Change("INSERT INTO Big (N, G) VALUES (2, 0)");
    EXPECT_EQ(Execute(), 2451);

    Prepare("SELECT COUNT(*) FROM Probe WHERE N NOT IN (SELECT N FROM Big)");
    EXPECT_EQ(Execute(), 49); // 0, 4, 6 .. 98
    Change("INSERT INTO Big (N, G) VALUES (4, 0)");
    EXPECT_EQ(Execute(), 48);
    Change("INSERT INTO Probe (N) VALUES (-1)");
    EXPECT_EQ(Execute(), 49);
    Prepare("SELECT COUNT(*) FROM Few");
    EXPECT_EQ(Execute(), 3);
    Change("INSERT INTO Few (Id, N) VALUES (4, 8)");
    EXPECT_EQ(Execute(), 4);
}

// ANY and ALL with <, <=, >, >= over a plain indexed column take the
// smallest or largest value from the index: a seek or two, never the
// table's hundred windows. IN seeks each outer value while the outer rows
// are few; once the seeks of an execution would cost more than one read,
// the rest is answered from one read of the subquery.
TEST_F(E2eSubquery, IndexSeeksAnswerInPlaceOfReading)
{
    Prepare("SELECT COUNT(*) FROM Probe");
    NewRequests();
    ASSERT_EQ(Execute(), 5000);
    size_t probeWindows = Count(NewRequests(), "code=91");
    struct Case {
        const char *sql;
        long count;
    };
    const Case cases[] = {
        {"SELECT COUNT(*) FROM Probe WHERE N >= ANY (SELECT N FROM Big)", 5000},
        {"SELECT COUNT(*) FROM Probe WHERE N > ANY (SELECT N FROM Big)", 4999},
        {"SELECT COUNT(*) FROM Probe WHERE N < ALL (SELECT N FROM Big)", 0},
        {"SELECT COUNT(*) FROM Probe WHERE N >= ALL (SELECT N FROM Big)", 0},
        {"SELECT COUNT(*) FROM Probe WHERE N < ANY (SELECT N FROM Big)", 5000},
        {"SELECT COUNT(*) FROM Probe WHERE NOT (N <= ALL (SELECT N FROM Big))", 4999},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sql);
        Prepare(c.sql);
        EXPECT_EQ(Execute(), c.count) << Diag();
        std::vector<std::string> requests = NewRequests();
        // A seek reads a window or two (values and their record numbers).
        EXPECT_LE(Count(requests, "code=91"), probeWindows + 4);
        EXPECT_EQ(Count(requests, "search table 2:"), 0u);
    }

    // Three outer rows: a seek each (searches of Big for the value).
    Prepare("SELECT COUNT(*) FROM Few WHERE N IN (SELECT N FROM Big)");
    EXPECT_EQ(Execute(), 2);
    std::vector<std::string> requests = NewRequests();
    EXPECT_EQ(Count(requests, "search table 2: 1=6"), 1u);
    EXPECT_EQ(Count(requests, "search table 2: 1=20000"), 1u);
    EXPECT_LE(Count(requests, "code=91"), 8u);
    // Four thousand outer rows for the same plan: the seeks stop early and
    // Big is read once.
    Change("INSERT INTO Few (Id, N) SELECT 10 + a.D * 1000 + b.D * 100 + c.D * 10 + d.D, "
           "a.D * 1000 + b.D * 100 + c.D * 10 + d.D FROM Digits a, Digits b, Digits c, Digits d "
           "WHERE a.D < 4");
    NewRequests();
    EXPECT_EQ(Execute(), 4002);
    requests = NewRequests();
    size_t seeks = Count(requests, "search table 2:");
    EXPECT_GT(seeks, 0u);
    EXPECT_LT(seeks, 200u);
    EXPECT_GE(Count(requests, "code=91"), 100u); // Big's windows and Few's
}

} // namespace
