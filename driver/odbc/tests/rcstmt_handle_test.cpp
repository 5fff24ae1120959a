// Statement handles on a connection: the handle and the engine's record are
// made and released together, connection-wide statement options reach every
// statement, a pending call makes the connection busy, and disconnect drops
// every statement.
#include "driver/odbc/tests/conn_fixture.h"

#include "driver/engine/rcstmt.h"
#include "driver/odbc/rcoption.h"
#include "driver/odbc/rcstmt_handle.h"

#include <string>

namespace {

class StmtHandleTest : public ConnFixture {
protected:
    void Connect()
    {
        ASSERT_EQ(SQLConnectImpl(conn, reinterpret_cast<const SQLCHAR *>("qx"), SQL_NTS,
                                 reinterpret_cast<const SQLCHAR *>("demo"), SQL_NTS,
                                 reinterpret_cast<const SQLCHAR *>("demo"), SQL_NTS),
                  SQL_SUCCESS)
            << Diag();
    }

    // SQLSTATE of the oldest record of a statement ("" when none).
    std::string StmtDiag(rcStmtHandle *stmt)
    {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLCHAR message[600] = {};
        SQLSMALLINT length = 0;
        SQLRETURN rc =
            SQLErrorImpl(nullptr, nullptr, stmt, state, &native, message, sizeof message, &length);
        return rc == SQL_NO_DATA ? "" : reinterpret_cast<char *>(state);
    }
};

TEST_F(StmtHandleTest, HandleAndEngineRecordLiveAndDieTogether)
{
    Connect();
    long before = rcDrsLiveStatements();
    rcStmtHandle *a = nullptr;
    rcStmtHandle *b = nullptr;
    ASSERT_EQ(rcStmtHandleAlloc(conn, &a), 0);
    ASSERT_EQ(rcStmtHandleAlloc(conn, &b), 0);
    EXPECT_EQ(conn->state, RC_CONN_STATEMENTS);
    EXPECT_EQ(rcListCount(conn->statements), 2u);
    EXPECT_EQ(rcDrsLiveStatements(), before + 2);
    // The engine's record reaches the connection through its link and posts
    // on the handle's queue.
    ASSERT_NE(a->engine, nullptr);
    EXPECT_EQ(a->engine->conn, &conn->stmtLink);
    EXPECT_EQ(a->engine->errors, &a->errors);
    EXPECT_EQ(a->engine->sourceInfo.maxColumns, conn->maxColSupport);

    EXPECT_EQ(rcStmtHandleFree(a), 0);
    EXPECT_EQ(conn->state, RC_CONN_STATEMENTS);
    EXPECT_EQ(rcStmtHandleFree(b), 0);
    EXPECT_EQ(conn->state, RC_CONN_CONNECTED);
    EXPECT_EQ(rcListCount(conn->statements), 0u);
    EXPECT_EQ(rcDrsLiveStatements(), before);
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
}

TEST_F(StmtHandleTest, ConnectionStatementOptionsReachEveryStatement)
{
    Connect();
    rcStmtHandle *stmt = nullptr;
    ASSERT_EQ(rcStmtHandleAlloc(conn, &stmt), 0);
    // SQL_NOSCAN 0 is stored on the statement and in the connection's defaults.
    ASSERT_EQ(SQLSetConnectOptionImpl(conn, SQL_NOSCAN, SQL_NOSCAN_OFF), SQL_SUCCESS) << Diag();
    uint32_t value = 99;
    rcStmtReadOption(SQL_NOSCAN, stmt->options, &value);
    EXPECT_EQ(value, 0u);
    // A value the engine refuses fails with the error on the statement.
    EXPECT_EQ(SQLSetConnectOptionImpl(conn, SQL_NOSCAN, SQL_NOSCAN_ON), SQL_ERROR);
    EXPECT_EQ(StmtDiag(stmt), "S1C00");
    // A later statement starts from the connection's defaults.
    rcStmtHandle *later = nullptr;
    ASSERT_EQ(rcStmtHandleAlloc(conn, &later), 0);
    value = 99;
    rcStmtReadOption(SQL_NOSCAN, later->options, &value);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
}

TEST_F(StmtHandleTest, PendingCallMakesTheConnectionBusy)
{
    Connect();
    rcStmtHandle *stmt = nullptr;
    ASSERT_EQ(rcStmtHandleAlloc(conn, &stmt), 0);
    EXPECT_FALSE(rcConnStmtBusy(conn));
    stmt->pendingFunction = SQL_API_SQLEXECDIRECT;
    EXPECT_TRUE(rcConnStmtBusy(conn));
    SQLUINTEGER mode = 0;
    EXPECT_EQ(SQLGetConnectOptionImpl(conn, SQL_ACCESS_MODE, &mode), SQL_ERROR);
    EXPECT_EQ(Diag(), "S1010");
    stmt->pendingFunction = 0;
    EXPECT_EQ(SQLGetConnectOptionImpl(conn, SQL_ACCESS_MODE, &mode), SQL_SUCCESS);
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
}

TEST_F(StmtHandleTest, DisconnectDropsEveryStatement)
{
    Connect();
    long before = rcDrsLiveStatements();
    for (int i = 0; i < 3; ++i) {
        rcStmtHandle *stmt = nullptr;
        ASSERT_EQ(rcStmtHandleAlloc(conn, &stmt), 0);
    }
    EXPECT_EQ(rcDrsLiveStatements(), before + 3);
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS) << Diag();
    EXPECT_EQ(rcListCount(conn->statements), 0u);
    EXPECT_EQ(rcDrsLiveStatements(), before);
    EXPECT_EQ(conn->state, RC_CONN_ALLOCATED);
}

} // namespace
