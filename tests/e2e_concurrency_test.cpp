// Changes of one record by several clients at once, through the Driver
// Manager against qxserver: every increment that reports success is in the
// final value (none is lost by a change computed from a read made before the
// record was locked), a record another client holds makes a change wait and
// then fail with "Record is locked.", and a row that no longer meets the
// WHERE once it is locked is left alone.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "tests/e2e_fixture.h"

namespace {

// One connection of its own (environment included) with one statement.
struct Client {
    Client() : h(SQL_OV_ODBC2)
    {
        ok = SQL_SUCCEEDED(SQLConnect(h.dbc, Text("demo"), SQL_NTS, Text("demo"), SQL_NTS,
                                      Text("demo"), SQL_NTS)) &&
             SQLAllocStmt(h.dbc, &stmt) == SQL_SUCCESS;
    }
    ~Client()
    {
        if (stmt != SQL_NULL_HSTMT)
            SQLFreeStmt(stmt, SQL_DROP);
        SQLDisconnect(h.dbc);
    }
    std::string Diag() const
    {
        SQLCHAR state[6] = {};
        SQLCHAR message[1024] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc =
            SQLError(h.env, h.dbc, stmt, state, &native, message, sizeof message, &length);
        return SQL_SUCCEEDED(rc) ? std::string(reinterpret_cast<char *>(state)) + " " +
                                       reinterpret_cast<char *>(message)
                                 : "";
    }
    // "OK n" (n from SQLRowCount) or "ERROR <first diagnostic>".
    std::string Exec(const char *sql)
    {
        SQLRETURN rc = SQLExecDirect(stmt, Text(sql), SQL_NTS);
        std::string out;
        if (SQL_SUCCEEDED(rc)) {
            SQLLEN rows = -1;
            SQLRowCount(stmt, &rows);
            out = "OK " + std::to_string(rows);
        } else {
            out = "ERROR " + Diag();
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
        return out;
    }
    // Bal of the record with that ID, -1 when there is none.
    long Balance(int id)
    {
        std::string sql = "SELECT Bal FROM Acct WHERE ID = " + std::to_string(id);
        long value = -1;
        if (SQL_SUCCEEDED(SQLExecDirect(stmt, Text(sql.c_str()), SQL_NTS)) &&
            SQLFetch(stmt) == SQL_SUCCESS) {
            SQLINTEGER v = 0;
            SQLLEN n = 0;
            if (SQL_SUCCEEDED(SQLGetData(stmt, 1, SQL_C_LONG, &v, sizeof v, &n)))
                value = v;
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
        return value;
    }
    void Manual() { SQLSetConnectOption(h.dbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF); }
    bool Commit() { return SQL_SUCCEEDED(SQLTransact(h.env, h.dbc, SQL_COMMIT)); }

    OdbcHandles h;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    bool ok = false;
};

constexpr const char *kIncrement = "UPDATE Acct SET Bal = Bal + 1 WHERE ID = 1";
// The outcome of a change refused because another client holds the record.
bool IsLocked(const std::string &outcome)
{
    const std::string tail = "Record is locked.";
    return outcome.rfind("ERROR S1000 ", 0) == 0 && outcome.size() > tail.size() &&
           outcome.compare(outcome.size() - tail.size(), tail.size(), tail) == 0;
}

// What one client's run of increments gave.
struct Tally {
    int done = 0;   // reported as one row changed
    int locked = 0; // refused with the locked-record message
    int other = 0;  // anything else: a fault
    char first[200] = {};
};

Tally RunIncrements(int n)
{
    Tally t;
    Client c;
    if (!c.ok) {
        t.other = 1;
        std::snprintf(t.first, sizeof t.first, "connect: %s", c.h.Diag().c_str());
        return t;
    }
    for (int i = 0; i < n; ++i) {
        std::string r = c.Exec(kIncrement);
        if (r == "OK 1") {
            ++t.done;
        } else if (IsLocked(r)) {
            ++t.locked;
        } else if (t.other++ == 0) {
            std::snprintf(t.first, sizeof t.first, "%s", r.c_str());
        }
    }
    return t;
}

class E2eConcurrency : public E2eFixture {
protected:
    void SetUp() override
    {
        fixture = QX_ACCT_FIXTURE;
        E2eFixture::SetUp();
    }
    void ExpectSum(const Tally *tallies, int count, int perClient)
    {
        int done = 0;
        for (int k = 0; k < count; ++k) {
            std::printf("client %d: %d increments, %d refused as locked\n", k, tallies[k].done,
                        tallies[k].locked);
            EXPECT_EQ(tallies[k].other, 0) << tallies[k].first;
            EXPECT_EQ(tallies[k].done + tallies[k].locked + tallies[k].other, perClient);
            done += tallies[k].done;
        }
        Client c;
        ASSERT_TRUE(c.ok);
        EXPECT_EQ(c.Balance(1), done) << "increments lost";
        EXPECT_GT(done, count * perClient / 2); // a short lock is waited for
    }
};

constexpr int kPerClient = 150;
constexpr int kThreadRuns = 150;

TEST_F(E2eConcurrency, TwoProcessesLoseNoIncrement)
{
    Tally tallies[2];
    pid_t pids[2] = {};
    int pipes[2][2] = {};
    for (int k = 0; k < 2; ++k) {
        ASSERT_EQ(::pipe(pipes[k]), 0);
        pids[k] = ::fork();
        ASSERT_GE(pids[k], 0);
        if (pids[k] == 0) {
            ::close(pipes[k][0]);
            Tally t = RunIncrements(kPerClient);
            ssize_t w = ::write(pipes[k][1], &t, sizeof t);
            ::_exit(w == static_cast<ssize_t>(sizeof t) ? 0 : 1);
        }
        ::close(pipes[k][1]);
    }
    for (int k = 0; k < 2; ++k) {
        ssize_t got = ::read(pipes[k][0], &tallies[k], sizeof tallies[k]);
        ::close(pipes[k][0]);
        int status = 0;
        ::waitpid(pids[k], &status, 0);
        ASSERT_EQ(got, static_cast<ssize_t>(sizeof tallies[k]));
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ExpectSum(tallies, 2, kPerClient);
}

TEST_F(E2eConcurrency, TwoThreadsLoseNoIncrement)
{
    Tally tallies[2];
    std::thread a([&] { tallies[0] = RunIncrements(kThreadRuns); });
    std::thread b([&] { tallies[1] = RunIncrements(kThreadRuns); });
    a.join();
    b.join();
    ExpectSum(tallies, 2, kThreadRuns);
}

// A record changed in another client's open transaction stays locked: a
// change waits a while, then fails, and goes through once it is committed.
TEST_F(E2eConcurrency, ARecordLockedByAnotherClientFailsAfterAWait)
{
    Client holder, other;
    ASSERT_TRUE(holder.ok && other.ok);
    holder.Manual();
    ASSERT_EQ(holder.Exec("UPDATE Acct SET Bal = Bal + 1 WHERE ID = 2"), "OK 1");
    auto start = std::chrono::steady_clock::now();
    std::string outcome = other.Exec("UPDATE Acct SET Bal = Bal + 1 WHERE ID = 2");
    EXPECT_TRUE(IsLocked(outcome)) << outcome;
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    outcome = other.Exec("DELETE FROM Acct WHERE ID = 2");
    EXPECT_TRUE(IsLocked(outcome)) << outcome;
    ASSERT_TRUE(holder.Commit());
    EXPECT_EQ(other.Exec("UPDATE Acct SET Bal = Bal + 1 WHERE ID = 2"), "OK 1");
    EXPECT_EQ(other.Balance(2), 102);
}

// A row that met the WHERE when it was read but no longer does once its
// lock is had (another client changed it meanwhile) is neither deleted nor
// changed.
TEST_F(E2eConcurrency, TheWhereIsCheckedOnTheLockedRecord)
{
    struct Case {
        const char *statement;
        const char *expect;
        long balance; // of ID 3 afterwards (-1: gone)
    };
    const Case cases[] = {
        {"DELETE FROM Acct WHERE Bal = 7", "OK 0", 8},
        {"UPDATE Acct SET Bal = Bal + 10 WHERE Bal = 7", "OK 0", 8},
        {"DELETE FROM Acct WHERE Bal = 7 OR Bal = 8", "OK 1", -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.statement);
        Client holder, other;
        ASSERT_TRUE(holder.ok && other.ok);
        ASSERT_EQ(holder.Exec("UPDATE Acct SET Bal = 7 WHERE ID = 3"), "OK 1");
        holder.Manual();
        ASSERT_EQ(holder.Exec("UPDATE Acct SET Bal = 8 WHERE ID = 3"), "OK 1");
        std::string outcome;
        std::thread t([&] { outcome = other.Exec(c.statement); });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ASSERT_TRUE(holder.Commit());
        t.join();
        EXPECT_EQ(outcome, c.expect);
        EXPECT_EQ(other.Balance(3), c.balance);
        if (c.balance < 0)
            break; // the record is gone
    }
}

} // namespace
