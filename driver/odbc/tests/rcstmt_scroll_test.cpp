// The scrolling functions' workers (the library does not export them): the
// order of their checks, what SQLSetScrollOptions keeps, and that a
// successful SQLExtendedFetch or SQLSetPos moves no row, writes no output
// and leaves the handle with its cursor closed.
#include "driver/odbc/tests/conn_fixture.h"

#include "driver/odbc/rcoption.h"
#include "driver/odbc/rcodbc_impl.h"
#include "driver/odbc/rcstmt_handle.h"

#include <string>

namespace {

class ScrollTest : public ConnFixture {
protected:
    void SetUp() override
    {
        ConnFixture::SetUp();
        ASSERT_EQ(SQLConnectImpl(conn, reinterpret_cast<const SQLCHAR *>("qx"), SQL_NTS,
                                 reinterpret_cast<const SQLCHAR *>("demo"), SQL_NTS,
                                 reinterpret_cast<const SQLCHAR *>("demo"), SQL_NTS),
                  SQL_SUCCESS)
            << Diag();
    }
    void TearDown() override
    {
        EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
        ConnFixture::TearDown();
    }
    // A new statement, with the query prepared unless sql is null.
    rcStmtHandle *Stmt(const char *sql)
    {
        rcStmtHandle *s = nullptr;
        EXPECT_EQ(rcStmtHandleAlloc(conn, &s), 0);
        if (s != nullptr && sql != nullptr) {
            EXPECT_EQ(SQLPrepareImpl(s, reinterpret_cast<const SQLCHAR *>(sql), SQL_NTS),
                      SQL_SUCCESS)
                << State(s);
        }
        return s;
    }
    // SQLSTATE of the statement's oldest record ("" when none).
    static std::string State(rcStmtHandle *s)
    {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLCHAR message[600] = {};
        SQLSMALLINT length = 0;
        SQLRETURN rc =
            SQLErrorImpl(nullptr, nullptr, s, state, &native, message, sizeof message, &length);
        return rc == SQL_NO_DATA ? "" : reinterpret_cast<char *>(state);
    }
    static uint32_t Option(rcStmtHandle *s, uint16_t option)
    {
        uint32_t v = 0;
        rcStmtReadOption(option, s->options, &v);
        return v;
    }
    // Executes the prepared query and reads it to its end.
    static void RunToEnd(rcStmtHandle *s)
    {
        ASSERT_EQ(SQLExecuteImpl(s), SQL_SUCCESS) << State(s);
        while (SQLFetchImpl(s) == SQL_SUCCESS) {
        }
    }
    const char *kQuery = "SELECT Name, Id FROM Customers";
    char buffer[8] = {};
    SQLLEN length = 0;
};

TEST_F(ScrollTest, SetScrollOptionsKeepsEveryValue)
{
    rcStmtHandle *s = Stmt(kQuery);
    EXPECT_EQ(SQLSetScrollOptionsImpl(s, SQL_CONCUR_VALUES, SQL_SCROLL_KEYSET_DRIVEN, 20),
              SQL_SUCCESS);
    EXPECT_EQ(Option(s, SQL_CONCURRENCY), static_cast<uint32_t>(SQL_CONCUR_VALUES));
    EXPECT_EQ(static_cast<int32_t>(Option(s, SQL_KEYSET_SIZE)), SQL_SCROLL_KEYSET_DRIVEN);
    EXPECT_EQ(Option(s, SQL_ROWSET_SIZE), 20u);
    EXPECT_EQ(s->state, RC_STMT_PREPARED);
    EXPECT_EQ(SQLSetScrollOptionsImpl(s, SQL_CONCUR_READ_ONLY, 5, 2), SQL_SUCCESS);
    EXPECT_EQ(Option(s, SQL_KEYSET_SIZE), 5u);
}

TEST_F(ScrollTest, ExtendedFetchChecksInOrder)
{
    struct Case {
        const char *name;
        const char *sql;             // prepared first unless null
        SQLUSMALLINT fetchType;
        uint32_t cursorType;         // SQL_CURSOR_TYPE before the prepare
        SQLUSMALLINT bindColumn;     // a column bound first (0 none)
        SQLLEN keyset;               // SQLSetScrollOptions when not 0
        SQLUSMALLINT rowset;
        const char *state;
    };
    const Case cases[] = {
        {"nothing prepared", nullptr, SQL_FETCH_FIRST, 0, 3, 0, 0, "24000"},
        {"a change has no result", "DELETE FROM Customers", SQL_FETCH_NEXT, 0, 0, 0, 0, "24000"},
        {"forward only", kQuery, SQL_FETCH_FIRST, 0, 3, 0, 0, "S1106"},
        {"a binding past the columns", kQuery, SQL_FETCH_NEXT, 0, 3, 0, 0, "S1002"},
        {"keyset smaller than the rowset", kQuery, SQL_FETCH_LAST, SQL_CURSOR_KEYSET_DRIVEN, 0,
         2, 5, "S1107"},
        {"keyset as large as the rowset", kQuery, SQL_FETCH_LAST, SQL_CURSOR_KEYSET_DRIVEN, 0, 5,
         5, ""},
        {"static", kQuery, SQL_FETCH_PRIOR, SQL_CURSOR_STATIC, 0, 0, 0, ""},
        {"forward only, next", kQuery, SQL_FETCH_NEXT, 0, 2, 0, 0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        rcStmtHandle *s = Stmt(nullptr);
        ASSERT_EQ(SQLSetStmtOptionImpl(s, SQL_CURSOR_TYPE, c.cursorType), SQL_SUCCESS);
        if (c.sql != nullptr) {
            ASSERT_EQ(SQLPrepareImpl(s, reinterpret_cast<const SQLCHAR *>(c.sql), SQL_NTS),
                      SQL_SUCCESS)
                << State(s);
        }
        if (c.bindColumn != 0) {
            ASSERT_EQ(SQLBindColImpl(s, c.bindColumn, SQL_C_CHAR, buffer, sizeof buffer, &length),
                      SQL_SUCCESS);
        }
        if (c.keyset != 0) {
            ASSERT_EQ(SQLSetScrollOptionsImpl(s, SQL_CONCUR_READ_ONLY, c.keyset, c.rowset),
                      SQL_SUCCESS);
        }
        uint16_t before = s->state;
        SQLULEN rows = 77;
        SQLUSMALLINT status[2] = {88, 88};
        SQLRETURN rc = SQLExtendedFetchImpl(s, c.fetchType, 1, &rows, status);
        EXPECT_EQ(rc, *c.state ? SQL_ERROR : SQL_SUCCESS);
        EXPECT_EQ(State(s), c.state);
        // No row moves and no output is written, whatever the answer.
        EXPECT_EQ(rows, 77u);
        EXPECT_EQ(status[0], 88);
        EXPECT_EQ(s->extFetched, *c.state ? 0u : 1u);
        EXPECT_EQ(s->state, before);
        EXPECT_EQ(rcStmtHandleFree(s), 0);
    }
}

TEST_F(ScrollTest, ExtendedFetchClosesAnOpenCursor)
{
    rcStmtHandle *s = Stmt(kQuery);
    ASSERT_EQ(SQLExecuteImpl(s), SQL_SUCCESS) << State(s);
    ASSERT_EQ(s->state, RC_STMT_CURSOR_OPEN);
    EXPECT_EQ(SQLExtendedFetchImpl(s, SQL_FETCH_NEXT, 0, nullptr, nullptr), SQL_SUCCESS);
    EXPECT_EQ(s->state, RC_STMT_PREPARED);
    EXPECT_EQ(s->extFetched, 1u);
    // No result set any more; the prepared query runs again.
    EXPECT_EQ(SQLFetchImpl(s), SQL_ERROR);
    EXPECT_EQ(State(s), "S1010");
    EXPECT_EQ(SQLExecuteImpl(s), SQL_SUCCESS) << State(s);
    // Closing the cursor resets the position, and the mark with it.
    EXPECT_EQ(SQLFreeStmtImpl(s, SQL_CLOSE), SQL_SUCCESS);
    EXPECT_EQ(s->extFetched, 0u);
    EXPECT_EQ(rcStmtHandleFree(s), 0);
}

TEST_F(ScrollTest, SetPosChecksInOrder)
{
    struct Case {
        const char *name;
        bool toEnd;          // executed and read to its end
        bool extended;       // a successful SQLExtendedFetch first
        SQLUSMALLINT bind;   // a column bound (0 none)
        SQLLEN keyset;       // SQLSetScrollOptions when not 0
        SQLUSMALLINT concurrency;
        SQLSETPOSIROW row;
        SQLUSMALLINT operation;
        SQLUSMALLINT lock;
        const char *state;
    };
    const Case cases[] = {
        {"at the end", true, false, 0, 5, SQL_CONCUR_LOCK, 1, SQL_POSITION, 0, "24000"},
        {"refresh needs a rowset", false, true, 0, 5, SQL_CONCUR_LOCK, 1, SQL_REFRESH, 0,
         "24000"},
        {"update needs a rowset", false, true, 1, 5, SQL_CONCUR_LOCK, 1, SQL_UPDATE, 1, "24000"},
        {"row past the rowset", false, true, 0, 5, SQL_CONCUR_LOCK, 3, SQL_POSITION, 0, "S1107"},
        {"add past the rowset needs no row", false, true, 1, 5, SQL_CONCUR_LOCK, 3, SQL_ADD, 1,
         ""},
        {"no keyset", false, true, 0, 0, SQL_CONCUR_LOCK, 1, SQL_POSITION, 0, "S1109"},
        {"add without bound columns", false, false, 0, 5, SQL_CONCUR_LOCK, 1, SQL_ADD, 1,
         "21S02"},
        {"no lock on a read-only cursor", false, false, 1, 5, SQL_CONCUR_READ_ONLY, 1, SQL_ADD,
         SQL_LOCK_NO_CHANGE, "S1009"},
        {"position", false, true, 0, 5, SQL_CONCUR_READ_ONLY, 2, SQL_POSITION, 0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        rcStmtHandle *s = Stmt(kQuery);
        if (c.toEnd)
            RunToEnd(s);
        if (c.extended) {
            ASSERT_EQ(SQLExtendedFetchImpl(s, SQL_FETCH_NEXT, 0, nullptr, nullptr), SQL_SUCCESS);
        }
        if (c.bind != 0) {
            ASSERT_EQ(SQLBindColImpl(s, c.bind, SQL_C_CHAR, buffer, sizeof buffer, &length),
                      SQL_SUCCESS);
        }
        if (c.keyset != 0 || c.concurrency != SQL_CONCUR_READ_ONLY) {
            ASSERT_EQ(SQLSetScrollOptionsImpl(s, c.concurrency, c.keyset, 2), SQL_SUCCESS);
        }
        SQLRETURN rc = SQLSetPosImpl(s, c.row, c.operation, c.lock);
        EXPECT_EQ(rc, *c.state ? SQL_ERROR : SQL_SUCCESS);
        EXPECT_EQ(State(s), c.state);
        if (!*c.state) {
            // Nothing happened to any row; the cursor position is reset.
            EXPECT_EQ(s->state, RC_STMT_PREPARED);
            EXPECT_EQ(s->extFetched, 0u);
        }
        EXPECT_EQ(rcStmtHandleFree(s), 0);
    }
}

} // namespace
