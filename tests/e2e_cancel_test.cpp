// SQLCancel through the Driver Manager: from a second thread it stops a
// statement that is executing or fetching (the running call ends with S1008
// soon after, and the statement runs the next query as usual); on a
// statement that nothing runs it closes the cursor.
#include "tests/e2e_fixture.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// How long the cancelled call may go on after SQLCancel, and how long
// SQLCancel itself may take: far above what the driver needs (a row or so),
// far below the queries' own run time (minutes), with room for a loaded
// machine under the sanitizers.
constexpr double kCancelBound = 1.0;
// How long the query must still be running before it is cancelled.
constexpr auto kRunBefore = std::chrono::milliseconds(300);

class E2eCancelTest : public E2eConnected {
protected:
    // Runs `run` (the call to cancel) on a second thread, cancels it from
    // this one after kRunBefore and checks both calls' results and times.
    void CancelWhileRunning(const std::function<SQLRETURN()> &run, const std::string &what)
    {
        std::atomic<bool> started{false}, done{false};
        SQLRETURN rc = SQL_SUCCESS;
        Clock::time_point ended;
        std::thread runner([&] {
            started = true;
            rc = run();
            ended = Clock::now();
            done = true;
        });
        // From the moment the call begins: a loaded machine may start the
        // thread late.
        while (!started)
            std::this_thread::yield();
        std::this_thread::sleep_for(kRunBefore);
        bool stillRunning = !done;
        Clock::time_point cancelled = Clock::now();
        SQLRETURN cancelRc = SQLCancel(stmt);
        double cancelTook = SecondsSince(cancelled);
        runner.join();
        ASSERT_TRUE(stillRunning) << what << ": the query ended before it was cancelled";
        double latency = std::chrono::duration<double>(ended - cancelled).count();
        EXPECT_EQ(cancelRc, SQL_SUCCESS) << what;
        EXPECT_LT(cancelTook, kCancelBound) << what << ": SQLCancel waited";
        EXPECT_LT(latency, kCancelBound) << what << ": the cancelled call went on";
        EXPECT_EQ(rc, SQL_ERROR) << what;
        EXPECT_EQ(Diag(), "S1008 [Zorvi][Zorvi ODBC Driver]Operation cancelled.") << what;
        std::printf("%s: SQLCancel took %.3f s, the call ended %.3f s after it\n", what.c_str(),
                    cancelTook, latency);
    }

    void ExpectUsable(const std::string &what)
    {
        EXPECT_EQ(Query("SELECT COUNT(*) FROM Products"), std::vector<std::string>{"60"}) << what;
    }
};

// Nothing the planner can hand to the server or stop early: each query reads
// tens of millions of row combinations.
const char *const kCrossCount = "SELECT COUNT(*) FROM OrderLines a, Orders b, Customers c";
const char *const kCrossNoRow =
    "SELECT a.Line FROM OrderLines a, Orders b, Customers c WHERE a.Line + b.ID + c.ID < 0";
const char *const kCorrelated =
    "SELECT COUNT(*) FROM Orders o1 WHERE EXISTS (SELECT * FROM Orders o2 "
    "WHERE o2.ID + o1.ID > 0 AND EXISTS (SELECT * FROM Orders o3 "
    "WHERE o3.ID + o2.ID > 0 AND EXISTS (SELECT * FROM Orders o4 WHERE o4.ID + o3.ID < 0)))";
const char *const kSorted = "SELECT a.Line, b.ID FROM OrderLines a, Orders b, Customers c "
                            "WHERE a.Line + c.ID > 0 ORDER BY 2 DESC, 1";

TEST_F(E2eCancelTest, CancelFromAnotherThreadStopsTheExecution)
{
    struct Case {
        const char *what;
        const char *sql;
    };
    for (const Case &c : {Case{"cross join counted", kCrossCount},
                          Case{"correlated subqueries", kCorrelated},
                          Case{"temporary table filled for a sort", kSorted}}) {
        CancelWhileRunning([&] { return SQLExecDirect(stmt, Text(c.sql), SQL_NTS); }, c.what);
        ExpectUsable(c.what);
    }
}

TEST_F(E2eCancelTest, CancelFromAnotherThreadStopsTheFetch)
{
    ASSERT_EQ(SQLExecDirect(stmt, Text(kCrossNoRow), SQL_NTS), SQL_SUCCESS) << Diag();
    CancelWhileRunning([&] { return SQLFetch(stmt); }, "fetch");
    // The cancelled cursor gives no more rows (the Driver Manager, which saw
    // the cancel succeed, refuses the fetch itself); closed, the statement
    // runs on.
    EXPECT_EQ(SQLFetch(stmt), SQL_ERROR);
    EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    ExpectUsable("fetch");
    // A prepared statement runs again after its execution was cancelled.
    ASSERT_EQ(SQLPrepare(stmt, Text(kCrossCount), SQL_NTS), SQL_SUCCESS) << Diag();
    CancelWhileRunning([&] { return SQLExecute(stmt); }, "prepared execution");
    ASSERT_EQ(SQLPrepare(stmt, Text("SELECT COUNT(*) FROM Orders"), SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLExecute(stmt), SQL_SUCCESS) << Diag();
    EXPECT_EQ(ReadRows(), std::vector<std::string>{"400"});
}

// A statement that nothing runs: SQLCancel closes its cursor, as SQL_CLOSE
// does, and leaves no flag behind for its next execution.
TEST_F(E2eCancelTest, CancelOfAnIdleStatementClosesTheCursor)
{
    ASSERT_EQ(SQLExecDirect(stmt, Text("SELECT ID FROM Orders ORDER BY ID"), SQL_NTS),
              SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    EXPECT_EQ(SQLCancel(stmt), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(stmt), SQL_ERROR);
    EXPECT_EQ(Diag().substr(0, 5), "S1010");
    EXPECT_EQ(Query("SELECT ID FROM Orders WHERE ID <= 1003 ORDER BY ID"),
              (std::vector<std::string>{"1001", "1002", "1003"}));
    EXPECT_EQ(SQLCancel(stmt), SQL_SUCCESS);
    ExpectUsable("idle");
}

} // namespace
