// Lost links through the unixODBC Driver Manager against qxserver: a reply
// timeout on one connection closes the link the connections of the process
// share, and every other connection then says the link is lost too (never an
// unknown database); a server killed inside a transaction makes commit and
// rollback say the connection failed, and the connection can still
// disconnect. A new connection works once the server answers again.
#include "tests/e2e_fixture.h"

#include <csignal>
#include <string>
#include <sys/types.h>

namespace {

// One connection of the Driver Manager in ODBC 3 mode and one statement.
struct Conn {
    Conn() : h(SQL_OV_ODBC3) {}
    ~Conn()
    {
        if (stmt != SQL_NULL_HSTMT)
            SQLFreeStmt(stmt, SQL_DROP);
        SQLDisconnect(h.dbc);
    }
    bool Connect()
    {
        SQLRETURN rc = SQLConnect(h.dbc, Text("demo"), SQL_NTS, Text("demo"), SQL_NTS,
                                  Text("demo"), SQL_NTS);
        return SQL_SUCCEEDED(rc) && SQLAllocStmt(h.dbc, &stmt) == SQL_SUCCESS;
    }
    // SQLDisconnect's return; the Driver Manager frees the statement with
    // the connection, so the handle is forgotten here.
    SQLRETURN Disconnect()
    {
        stmt = SQL_NULL_HSTMT;
        return SQLDisconnect(h.dbc);
    }
    // "OK n" with the rows read, or "STATE text" of the first diagnostic.
    std::string Run(const std::string &sql)
    {
        SQLRETURN rc = SQLExecDirect(stmt, Text(sql.c_str()), SQL_NTS);
        SQLSMALLINT columns = 0;
        if (SQL_SUCCEEDED(rc))
            SQLNumResultCols(stmt, &columns);
        int rows = 0;
        while (SQL_SUCCEEDED(rc) && columns > 0 && (rc = SQLFetch(stmt)) == SQL_SUCCESS)
            ++rows;
        if (rc == SQL_NO_DATA_FOUND || (SQL_SUCCEEDED(rc) && rc != SQL_SUCCESS_WITH_INFO)) {
            SQLFreeStmt(stmt, SQL_CLOSE);
            return "OK " + std::to_string(rows);
        }
        std::string d = StmtDiag();
        SQLFreeStmt(stmt, SQL_CLOSE);
        return d;
    }
    // SQLTransact's result as "OK" or "STATE text".
    std::string Transact(SQLUSMALLINT type)
    {
        SQLRETURN rc = SQLTransact(SQL_NULL_HENV, h.dbc, type);
        if (SQL_SUCCEEDED(rc))
            return "OK";
        std::string text;
        std::string state = h.Diag(nullptr, &text);
        return state + " " + text;
    }
    std::string StmtDiag() const
    {
        SQLCHAR state[6] = {};
        SQLCHAR message[1024] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc =
            SQLError(h.env, h.dbc, stmt, state, &native, message, sizeof message, &length);
        return SQL_SUCCEEDED(rc) ? std::string(reinterpret_cast<char *>(state)) + " " +
                                       reinterpret_cast<char *>(message)
                                 : "no diagnostic";
    }
    OdbcHandles h;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
};

bool IsLinkLost(const std::string &outcome)
{
    return outcome.rfind("08S01", 0) == 0 || outcome.rfind("08007", 0) == 0;
}

const char kQuery[] = "SELECT ID FROM Customers";

class E2eLinkLoss : public E2eFixture {
protected:
    void SetUp() override
    {
        E2eFixture::SetUp();
        WriteDsn("ReplyTimeout=1\n");
    }
    void TearDown() override
    {
        if (stopped)
            kill(server.Pid(), SIGCONT);
        E2eFixture::TearDown();
    }
    void Pause()
    {
        ASSERT_EQ(kill(server.Pid(), SIGSTOP), 0);
        stopped = true;
    }
    void Resume()
    {
        ASSERT_EQ(kill(server.Pid(), SIGCONT), 0);
        stopped = false;
    }
    bool stopped = false;
};

TEST_F(E2eLinkLoss, ReplyTimeoutOnOneConnectionIsLinkLossOnTheOthers)
{
    Conn a, b;
    ASSERT_TRUE(a.Connect());
    ASSERT_TRUE(b.Connect());
    ASSERT_EQ(a.Run(kQuery).rfind("OK", 0), 0u);
    ASSERT_EQ(b.Run(kQuery).rfind("OK", 0), 0u);

    Pause();
    std::string first = a.Run(kQuery);
    EXPECT_EQ(first.rfind("08S01", 0), 0u) << first;
    // The shared link is gone: the other connection says so at once, on
    // every statement.
    for (int i = 0; i < 2; ++i) {
        std::string other = b.Run(kQuery);
        EXPECT_EQ(other.rfind("08S01", 0), 0u) << other;
    }
    std::string again = a.Run(kQuery);
    EXPECT_EQ(again.rfind("08S01", 0), 0u) << again;
    Resume();

    Conn c;
    ASSERT_TRUE(c.Connect()) << c.h.Diag();
    EXPECT_EQ(c.Run(kQuery).rfind("OK", 0), 0u);
    EXPECT_EQ(a.Disconnect(), SQL_SUCCESS) << a.h.Diag();
    EXPECT_EQ(b.Disconnect(), SQL_SUCCESS) << b.h.Diag();
}

// The server killed while a transaction is open: the first and the second
// end of it say the connection failed, the transaction is over, and the
// connection disconnects. Both orders, commit first and rollback first.
TEST_F(E2eLinkLoss, ServerKilledInsideATransaction)
{
    for (SQLUSMALLINT first : {SQL_COMMIT, SQL_ROLLBACK}) {
        SCOPED_TRACE(first == SQL_COMMIT ? "commit first" : "rollback first");
        if (server.Pid() <= 0) {
            std::string error;
            ASSERT_TRUE(server.Start({"--fixture", fixture}, &error)) << error;
            WriteDsn("ReplyTimeout=1\n");
        }
        Conn a;
        ASSERT_TRUE(a.Connect());
        ASSERT_EQ(SQLSetConnectOption(a.h.dbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF), SQL_SUCCESS);
        ASSERT_EQ(a.Run("UPDATE Customers SET City = 'Gone' WHERE ID = 1"), "OK 0");
        pid_t pid = server.Pid();
        ASSERT_EQ(kill(pid, SIGKILL), 0);
        server.Stop(); // reaps it
        std::string end = a.Transact(first);
        EXPECT_TRUE(IsLinkLost(end)) << end;
        std::string other = a.Transact(first == SQL_COMMIT ? SQL_ROLLBACK : SQL_COMMIT);
        EXPECT_TRUE(IsLinkLost(other) || other == "OK") << other;
        EXPECT_EQ(SQLFreeStmt(a.stmt, SQL_DROP), SQL_SUCCESS);
        a.stmt = SQL_NULL_HSTMT;
        EXPECT_EQ(a.Disconnect(), SQL_SUCCESS) << a.h.Diag();
    }
}

} // namespace
