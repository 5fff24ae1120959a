// Statement handles on a connection: the handle and the engine's record are
// made and released together, connection-wide statement options reach every
// statement, a pending call makes the connection busy, and disconnect drops
// every statement.
#include "driver/odbc/tests/conn_fixture.h"

#include "driver/engine/rcstmt.h"
#include "driver/odbc/rcoption.h"
#include "driver/odbc/rcodbc_impl.h"
#include "driver/odbc/rcstmt_handle.h"
#include "driver/odbc/rcstmt_source.h"
#include "driver/core/rcmem.h"
#include "driver/engine/rcparsehook.h"
#include "driver/engine/tam.h"
#include "driver/engine/tam_tablefacts.h"
#include "driver/engine/plan/rcpln.h"
#include "driver/engine/tree/rcprssym.h"
#include "platform/dialog.h"

#include <cstring>
#include <functional>
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
    // SQLSTATE and text of the oldest record of a statement (taken off).
    std::string StmtText(rcStmtHandle *stmt)
    {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLCHAR message[600] = {};
        SQLSMALLINT length = 0;
        SQLErrorImpl(nullptr, nullptr, stmt, state, &native, message, sizeof message, &length);
        return std::string(reinterpret_cast<char *>(state)) + " " +
               reinterpret_cast<char *>(message);
    }
    SQLRETURN Prepare(rcStmtHandle *stmt, const char *sql)
    {
        return SQLPrepareImpl(stmt, reinterpret_cast<const SQLCHAR *>(sql), SQL_NTS);
    }
};

// A data module whose tables ask for the password "secret", counting opens.
int gOpens = 0;
bool gAskPassword = false;
int32_t OpenWithPassword(TamSession *session, const char *password, const char *database,
                         const char *table, uint32_t flags, TamTableHandle **handle)
{
    ++gOpens;
    if (gAskPassword && (password == nullptr || std::string(password) != "secret")) {
        *handle = nullptr;
        return -1905;
    }
    return TamOpenTable(session, nullptr, database, table, flags, handle);
}

class TableOpenTest : public StmtHandleTest {
protected:
    void SetUp() override
    {
        StmtHandleTest::SetUp();
        gOpens = 0;
        gAskPassword = false;
        rcConnFeSetOpenHook(&OpenWithPassword);
        PlatDialogSetProvider(&script);
        Connect();
    }
    void TearDown() override
    {
        EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
        PlatDialogSetProvider(nullptr);
        rcConnFeSetOpenHook(nullptr);
        StmtHandleTest::TearDown();
    }
    rcStmtHandle *Alloc()
    {
        rcStmtHandle *stmt = nullptr;
        EXPECT_EQ(rcStmtHandleAlloc(conn, &stmt), 0);
        // The data source has tables with passwords.
        if (gAskPassword && stmt != nullptr)
            stmt->engine->sourceInfo.capabilities |= RC_SRC_CAP_TABLE_PASSWORDS;
        return stmt;
    }
    PlatScriptedDialog script;
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
    EXPECT_EQ(a->engine->conn, &a->link);
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
    // A value the engine refuses fails with the error on the statement, and
    // on the connection the application asks.
    EXPECT_EQ(SQLSetConnectOptionImpl(conn, SQL_NOSCAN, SQL_NOSCAN_ON), SQL_ERROR);
    EXPECT_EQ(StmtDiag(stmt), "S1C00");
    EXPECT_EQ(Diag(), "S1C00");
    // A cursor option of a prepared statement: S1011, the defaults unchanged.
    ASSERT_EQ(SQLPrepareImpl(stmt, reinterpret_cast<const SQLCHAR *>("SELECT Name FROM Customers"),
                             SQL_NTS),
              SQL_SUCCESS);
    EXPECT_EQ(SQLSetConnectOptionImpl(conn, SQL_CURSOR_TYPE, SQL_CURSOR_STATIC), SQL_ERROR);
    EXPECT_EQ(Diag(), "S1011");
    EXPECT_EQ(conn->stmtDefaults[10], 0u);
    // A value kept changed says so on the connection.
    EXPECT_EQ(SQLSetConnectOptionImpl(conn, SQL_MAX_LENGTH, 0x100000000ull), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(Diag(), "01S02");
    rcStmtReadOption(SQL_MAX_LENGTH, stmt->options, &value);
    EXPECT_EQ(value, 0xFFFFFFFEu);
    // A later statement starts from the connection's defaults.
    rcStmtHandle *later = nullptr;
    ASSERT_EQ(rcStmtHandleAlloc(conn, &later), 0);
    value = 99;
    rcStmtReadOption(SQL_NOSCAN, later->options, &value);
    EXPECT_EQ(value, 0u);
    // Without statements the defaults follow the same value rules.
    ASSERT_EQ(rcStmtHandleFree(stmt), 0);
    ASSERT_EQ(rcStmtHandleFree(later), 0);
    EXPECT_EQ(SQLSetConnectOptionImpl(conn, SQL_NOSCAN, SQL_NOSCAN_ON), SQL_ERROR);
    EXPECT_EQ(Diag(), "S1C00");
    // No block cursor: a rowset size above one row is kept as 1.
    EXPECT_EQ(SQLSetConnectOptionImpl(conn, SQL_ROWSET_SIZE, 20), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(Diag(), "01S02");
    EXPECT_EQ(conn->stmtDefaults[8], 1u);
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

TEST_F(TableOpenTest, TablePasswordsComeFromTheListsOrTheDialog)
{
    gAskPassword = true;
    const char *sql = "SELECT Name FROM Customers";

    // Asked once; the answer goes to the statement's and the connection's
    // lists, so a later statement needs no dialog.
    script.answers = {{PLAT_DIALOG_OK, {"secret"}}};
    rcStmtHandle *a = Alloc();
    ASSERT_EQ(Prepare(a, sql), SQL_SUCCESS) << StmtText(a);
    ASSERT_EQ(script.titles.size(), 1u);
    EXPECT_EQ(script.titles[0], "Password");
    rcStmtHandle *b = Alloc();
    EXPECT_EQ(Prepare(b, sql), SQL_SUCCESS) << StmtText(b);
    EXPECT_EQ(script.titles.size(), 1u);
    char password[32] = {};
    EXPECT_EQ(rcDrsFindTablePassword(b->engine, "customers", password, sizeof password), 1);
    EXPECT_STREQ(password, "secret");
    EXPECT_EQ(rcStmtHandleFree(a), 0);
    EXPECT_EQ(rcStmtHandleFree(b), 0);

    // Without a known password: a wrong answer is asked no second time,
    // Cancel refuses, and a connection that may show no dialog says so.
    rcListFreeRef(&conn->stmtOptions.tablePasswords);
    struct Case {
        std::vector<PlatScriptedDialog::Answer> answers;
        bool quiet;
        const char *text;
        size_t dialogs;
    };
    const Case cases[] = {
        {{{PLAT_DIALOG_OK, {"wrong"}}, {PLAT_DIALOG_OK, {"secret"}}},
         false,
         "Invalid or missing password.",
         1},
        {{{PLAT_DIALOG_CANCEL, {}}}, false, "Invalid or missing password.", 1},
        {{}, true, "Missing or invalid password, table: CUSTOMERS.", 0},
    };
    for (const Case &c : cases) {
        script.titles.clear();
        script.answers = c.answers;
        ASSERT_EQ(SQLSetConnectOptionImpl(conn, SQL_QUIET_MODE, c.quiet ? 0 : 1), SQL_SUCCESS);
        rcStmtHandle *s = Alloc();
        EXPECT_EQ(Prepare(s, sql), SQL_ERROR);
        std::string text = StmtText(s);
        EXPECT_EQ(text.rfind("S1000 ", 0), 0u) << text;
        EXPECT_NE(text.find(c.text), std::string::npos) << text;
        EXPECT_EQ(script.titles.size(), c.dialogs) << c.text;
        EXPECT_EQ(rcStmtHandleFree(s), 0);
    }

    // Statement option 1151 gives the password.
    rcStmtHandle *s = Alloc();
    EXPECT_EQ(SQLSetStmtOptionImpl(s, RC_STMT_OPT_TABLE_PASSWORD,
                                   reinterpret_cast<SQLULEN>("Customers,secret")),
              SQL_SUCCESS);
    EXPECT_EQ(Prepare(s, sql), SQL_SUCCESS) << StmtText(s);
    EXPECT_EQ(rcStmtHandleFree(s), 0);
}

TEST_F(TableOpenTest, KeptTablesStayOpenBetweenStatements)
{
    rcStmtHandle *s = Alloc();
    auto *source =
        static_cast<rcConnFeSource *>(s->prep.source != nullptr ? s->prep.source : s->source.get());
    ASSERT_EQ(SQLSetStmtOptionImpl(s, RC_STMT_OPT_KEEP_TABLES_OPEN, 1), SQL_SUCCESS);
    SQLUINTEGER value = 0;
    EXPECT_EQ(SQLGetStmtOptionImpl(s, RC_STMT_OPT_KEEP_TABLES_OPEN, &value), SQL_SUCCESS);
    EXPECT_EQ(value, 1u);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(Prepare(s, "SELECT Name FROM Customers"), SQL_SUCCESS) << StmtText(s);
    EXPECT_EQ(gOpens, 1);
    EXPECT_EQ(source->KeptTables(), 1u);
    // The same table twice is two open tables, both kept.
    ASSERT_EQ(Prepare(s, "SELECT a.Name FROM Customers a, Customers b"), SQL_SUCCESS);
    ASSERT_EQ(Prepare(s, "SELECT a.Name FROM Customers a, Customers b"), SQL_SUCCESS);
    EXPECT_EQ(gOpens, 3);
    EXPECT_EQ(source->KeptTables(), 3u);
    // Clearing the option closes the kept tables not in use; the rest go
    // when their statement lets them go.
    ASSERT_EQ(SQLSetStmtOptionImpl(s, RC_STMT_OPT_KEEP_TABLES_OPEN, 0), SQL_SUCCESS);
    EXPECT_EQ(source->KeptTables(), 2u);
    ASSERT_EQ(Prepare(s, "SELECT Name FROM Customers"), SQL_SUCCESS);
    EXPECT_EQ(source->KeptTables(), 0u);
    EXPECT_EQ(gOpens, 4);
    ASSERT_EQ(Prepare(s, "SELECT Name FROM Customers"), SQL_SUCCESS);
    EXPECT_EQ(gOpens, 5);
    EXPECT_EQ(rcStmtHandleFree(s), 0);
    // A statement left with kept tables is dropped, tables and all, by the
    // disconnect.
    rcStmtHandle *left = Alloc();
    ASSERT_EQ(SQLSetStmtOptionImpl(left, RC_STMT_OPT_KEEP_TABLES_OPEN, 1), SQL_SUCCESS);
    ASSERT_EQ(Prepare(left, "SELECT Name FROM Customers"), SQL_SUCCESS);
    ASSERT_EQ(Prepare(left, "SELECT Id FROM Customers"), SQL_SUCCESS);
    EXPECT_EQ(left->source->KeptTables(), 1u);
}

// A table's columns and index rows are read from the catalogs by the first
// statement of the connection that names it and kept for the next ones; a
// definition through the connection forgets them, and a new connection reads
// them again. (The kept facts are marked here, so that a statement that reads
// the catalogs again shows.)
TEST_F(TableOpenTest, TableFactsAreReadOncePerConnection)
{
    rcStmtHandle *a = Alloc();
    ASSERT_EQ(Prepare(a, "SELECT Name FROM Customers WHERE Name > 1"), SQL_SUCCESS) << StmtText(a);
    ASSERT_EQ(SQLExecuteImpl(a), SQL_SUCCESS) << StmtText(a); // plans: the index rows are read
    ASSERT_EQ(a->prep.tables.size(), 1u);
    const std::string path = a->prep.tables.front()->path;
    const std::string name = a->prep.tables.front()->name;
    TamTableFacts *facts = TamFindTableFacts(conn->session, path, name);
    ASSERT_NE(facts, nullptr);
    ASSERT_TRUE(facts->columnsRead);
    EXPECT_TRUE(facts->indexesRead);
    ASSERT_EQ(facts->columns.size(), 2u);
    EXPECT_EQ(facts->columns[0].name, "Name");
    facts->columns[0].name = "Marked";
    TamIndexRow marked;
    std::strcpy(marked.name, "Marked");
    marked.number = 2;
    facts->indexRows = {marked};

    ASSERT_EQ(SQLFreeStmtImpl(a, SQL_CLOSE), SQL_SUCCESS);

    // Another statement of the connection takes what is kept.
    rcStmtHandle *b = Alloc();
    ASSERT_EQ(Prepare(b, "SELECT Marked FROM Customers WHERE Marked > 1"), SQL_SUCCESS)
        << StmtText(b);
    ASSERT_EQ(SQLExecuteImpl(b), SQL_SUCCESS) << StmtText(b);
    ASSERT_EQ(b->prep.tables.size(), 1u);
    const rcTblEntry *table = b->prep.tables.front().get();
    ASSERT_NE(b->engine->planner, nullptr);
    const rcPlnIndexList *indexes = nullptr;
    ASSERT_EQ(rcIdxGetInfo(b->engine->planner, table, &indexes), 0);
    ASSERT_EQ(indexes->indexes.size(), 1u);
    EXPECT_STREQ(indexes->indexes[0].name, "Marked");
    EXPECT_EQ(indexes->indexes[0].keys.front().column, &table->columns[1]);
    EXPECT_EQ(rcStmtHandleFree(b), 0);

    // Each definition the connection makes or drops forgets every table's facts.
    struct Case {
        const char *what;
        std::function<void()> define;
    };
    const Case cases[] = {
        {"table made",
         [&] {
             TamTableHandle *made = nullptr;
             if (TamCreateTable(conn->session, path.c_str(), "Other", &made) == 0)
                 TamCloseTable(conn->session, made);
         }},
        {"table dropped", [&] { TamDeleteTable(conn->session, path.c_str(), "Other"); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        facts = TamFindTableFacts(conn->session, path, name);
        ASSERT_NE(facts, nullptr);
        facts->columns[0].name = "Marked";
        ASSERT_EQ(Prepare(a, "SELECT Marked FROM Customers"), SQL_SUCCESS) << StmtText(a);
        c.define();
        EXPECT_EQ(TamFindTableFacts(conn->session, path, name), nullptr);
        EXPECT_EQ(Prepare(a, "SELECT Marked FROM Customers"), SQL_ERROR);
        ASSERT_EQ(Prepare(a, "SELECT Name FROM Customers"), SQL_SUCCESS) << StmtText(a);
    }
    EXPECT_EQ(rcStmtHandleFree(a), 0);

    // A new connection has its own.
    ASSERT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
    Connect();
    EXPECT_EQ(TamFindTableFacts(conn->session, path, name), nullptr);
}

// A data module's parse hook that walks the tree with the callbacks and
// hands back another select list.
struct HookSeen {
    int calls = 0;
    int nodes = 0;
    uint32_t cursor = 0, column = 0;
    int32_t result = 0;
};
HookSeen gHook;

int32_t RewritingHook(rcStmt *, const char *text, const rcParseNode *root,
                      rcParseHookRecord *record, char **newText)
{
    ++gHook.calls;
    using Next = const rcParseNode *(*)(const rcParseNode *, const rcParseNode *);
    using Find =
        const rcParseNode *(*)(const rcParseNode *, const rcParseNode *, uint32_t, uint32_t);
    using Of = uint32_t (*)(const rcParseNode *);
    auto next = reinterpret_cast<Next>(record->callbacks[0]);
    for (const rcParseNode *n = next(root, nullptr); n != nullptr; n = next(root, n))
        ++gHook.nodes;
    const rcParseNode *col =
        reinterpret_cast<Find>(record->callbacks[1])(root, nullptr, RC_N_ColName, 0);
    gHook.cursor = reinterpret_cast<Of>(record->callbacks[3])(col);
    gHook.column = reinterpret_cast<Of>(record->callbacks[4])(col);
    if (gHook.result == 0 && std::string(text) == "SELECT Name FROM Customers") {
        const char *other = "SELECT Id FROM Customers";
        *newText = static_cast<char *>(rcMemAlloc(std::strlen(other) + 1));
        std::memcpy(*newText, other, std::strlen(other) + 1);
    }
    return gHook.result;
}

TEST_F(TableOpenTest, ParseHookSeesTheTreeAndMayHandBackText)
{
    rcDrmSetParseHookFn(&RewritingHook);
    rcStmtHandle *s = Alloc();
    // Not asked unless the data source wants it.
    gHook = HookSeen{};
    ASSERT_EQ(Prepare(s, "SELECT Name FROM Customers"), SQL_SUCCESS) << StmtText(s);
    EXPECT_EQ(gHook.calls, 0);
    s->engine->sourceInfo.parseHook = 1;
    ASSERT_EQ(Prepare(s, "SELECT Name FROM Customers"), SQL_SUCCESS) << StmtText(s);
    EXPECT_EQ(gHook.calls, 1); // the handed-back text is not offered again
    EXPECT_GT(gHook.nodes, 5);
    EXPECT_NE(gHook.cursor, 0u);
    EXPECT_EQ(gHook.column, 1u);
    ASSERT_EQ(s->prep.columns.size(), 1u);
    EXPECT_EQ(s->prep.columns[0].name, "Id");
    // Other statements kinds are not offered; an out-of-memory answer fails.
    ASSERT_EQ(Prepare(s, "DELETE FROM Customers"), SQL_SUCCESS) << StmtText(s);
    EXPECT_EQ(gHook.calls, 1);
    gHook.result = -1011;
    EXPECT_EQ(Prepare(s, "SELECT Name FROM Customers"), SQL_ERROR);
    EXPECT_EQ(StmtText(s).rfind("S1001 ", 0), 0u);
    rcDrmSetParseHookFn(nullptr);
    EXPECT_EQ(rcStmtHandleFree(s), 0);
}

} // namespace
