// Statements prepared, executed and reset again and again, one kind of
// statement at a time: each reset frees what the prepare and the execution
// before it hung on the engine's record, and the drop frees the rest. A
// state kept by a cycle shows at once in the record's slots, the count of
// live statements and the pool table (which grows only when every pool slot
// is taken); one lost shows in the leak check at the end of the process.
#include "tests/engine_server_fixture.h"

#include "driver/core/rcmem.h"
#include "driver/engine/rcstmt.h"
#include "driver/frontend/fe_view.h"
#include "driver/odbc/rcstmt_exec.h"
#include "driver/odbc/rcstmt_handle.h"

#include <functional>
#include <string>

namespace {

constexpr int kCycles = 300;

SQLCHAR *Sql(const char *text) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(text)); }

// Which slots of the record a cycle's execution fills.
struct Slots {
    bool planner, dataChange, catalog, views, params;
};

Slots SlotsOf(const rcStmt *e)
{
    return {e->planner != nullptr, e->dataChange != nullptr, e->catResult != nullptr,
            e->views != nullptr, e->params != nullptr};
}

std::string Show(const Slots &s)
{
    std::string out;
    out += s.planner ? "planner " : "";
    out += s.dataChange ? "change " : "";
    out += s.catalog ? "catalog " : "";
    out += s.views ? "views " : "";
    out += s.params ? "params " : "";
    return out.empty() ? "none" : out;
}

class StmtCycles : public EngineServerFixture {
protected:
    static void SetUpTestSuite() { StartServer("qxstmtcycle", QX_DEMO_FIXTURE); }
    static void TearDownTestSuite() { StopServer(); }

    void SetUp() override
    {
        EngineServerFixture::SetUp();
        viewDir_.emplace("qxcycleviews");
        rcVwSetTestDirectory(viewDir_->Str().c_str());
        ASSERT_EQ(SQLAllocStmtImpl(conn_, &hstmt_), SQL_SUCCESS);
        s_ = static_cast<rcStmtHandle *>(hstmt_);
    }
    void TearDown() override
    {
        if (s_ != nullptr)
            SQLFreeStmtImpl(s_, SQL_DROP);
        rcVwSetTestDirectory(nullptr);
        viewDir_.reset();
        EngineServerFixture::TearDown();
    }

    std::string Diag()
    {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLCHAR message[600] = {};
        SQLSMALLINT length = 0;
        SQLErrorImpl(nullptr, nullptr, s_, state, &native, message, sizeof message, &length);
        return std::string(reinterpret_cast<char *>(state)) + " " +
               reinterpret_cast<char *>(message);
    }
    // Rows up to the end, then the cursor closed; the number of rows.
    int FetchAll()
    {
        int rows = 0;
        SQLRETURN rc;
        while ((rc = SQLFetchImpl(s_)) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO)
            ++rows;
        EXPECT_EQ(rc, SQL_NO_DATA_FOUND) << Diag();
        EXPECT_EQ(SQLFreeStmtImpl(s_, SQL_CLOSE), SQL_SUCCESS);
        return rows;
    }
    int PrepareExecuteFetch(const char *sql)
    {
        EXPECT_EQ(SQLPrepareImpl(s_, Sql(sql), SQL_NTS), SQL_SUCCESS) << sql << ": " << Diag();
        EXPECT_EQ(SQLExecuteImpl(s_), SQL_SUCCESS) << sql << ": " << Diag();
        return FetchAll();
    }

    std::optional<qxtest::TempDir> viewDir_;
    SQLHSTMT hstmt_ = nullptr;
    rcStmtHandle *s_ = nullptr;
};

TEST_F(StmtCycles, EveryKindFreesItsStateAtEachReset)
{
    SQLINTEGER id = 0;
    SQLLEN idLength = 0;
    struct Case {
        const char *name;
        std::function<void()> setUp;
        // One cycle: prepare (resetting the last), execute, read; answers
        // the rows read or changed.
        std::function<int(int)> cycle;
        int rows;
        Slots filled; // after a cycle (a query looks for views of the names in
                  // its FROM clause and SQLTables lists the views: both load
                  // the view catalogue)
    };
    const Case cases[] = {
        {"query", [] {},
         [&](int) {
             return PrepareExecuteFetch("SELECT City, COUNT(*) FROM Customers WHERE ID < 40 "
                                        "GROUP BY City ORDER BY City");
         },
         -1, {true, false, false, true, false}},
        {"data change", [] {},
         [&](int) {
             EXPECT_EQ(SQLPrepareImpl(s_, Sql("UPDATE Products SET Stock = Stock WHERE ID < 4"),
                                      SQL_NTS),
                       SQL_SUCCESS)
                 << Diag();
             EXPECT_EQ(SQLExecuteImpl(s_), SQL_SUCCESS) << Diag();
             SQLLEN changed = 0;
             EXPECT_EQ(SQLRowCountImpl(s_, &changed), SQL_SUCCESS);
             return static_cast<int>(changed);
         },
         3, {true, true, false, false, false}},
        {"catalog", [] {},
         [&](int) {
             EXPECT_EQ(SQLTablesImpl(s_, nullptr, 0, nullptr, 0, Sql("%"), SQL_NTS, nullptr, 0),
                       SQL_SUCCESS)
                 << Diag();
             return FetchAll();
         },
         // The catalog result is read through a plan of its own.
         -1, {true, false, true, true, false}},
        {"view use",
         [&] {
             EXPECT_EQ(SQLExecDirectImpl(s_,
                                         Sql("CREATE VIEW Cheap AS SELECT ID, Name FROM Products "
                                             "WHERE Price < 20"),
                                         SQL_NTS),
                       SQL_SUCCESS)
                 << Diag();
         },
         [&](int) { return PrepareExecuteFetch("SELECT Name FROM Cheap ORDER BY Name"); }, -1,
         {true, false, false, true, false}},
        {"parameters",
         [&] {
             EXPECT_EQ(SQLBindParameterImpl(s_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                            &id, 0, &idLength),
                       SQL_SUCCESS)
                 << Diag();
         },
         [&](int k) {
             id = 1 + k % 150;
             return PrepareExecuteFetch("SELECT Name, City FROM Customers WHERE ID = ?");
         },
         1, {true, false, false, true, true}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        c.setUp();
        // One cycle first: what the statement makes once (its second pool,
        // its value pool) is made before the counts are taken.
        int rows = c.cycle(0);
        if (c.rows >= 0) {
            EXPECT_EQ(rows, c.rows);
        }
        EXPECT_GT(rows, 0);
        const long live = rcDrsLiveStatements();
        const size_t pools = rcPoolTableLength();
        for (int k = 1; k <= kCycles; ++k) {
            ASSERT_EQ(c.cycle(k), rows) << "cycle " << k;
            ASSERT_EQ(Show(SlotsOf(s_->engine)), Show(c.filled)) << "cycle " << k;
        }
        EXPECT_EQ(rcDrsLiveStatements(), live);
        EXPECT_EQ(rcPoolTableLength(), pools);
        // The reset leaves only the parameters, which live with the record.
        rcStmtResetPrepared(s_);
        EXPECT_EQ(Show(SlotsOf(s_->engine)), Show(Slots{false, false, false, false, c.filled.params}));
    }
    // The drop frees the record with its parameters.
    const long live = rcDrsLiveStatements();
    EXPECT_EQ(SQLFreeStmtImpl(s_, SQL_DROP), SQL_SUCCESS);
    s_ = nullptr;
    EXPECT_EQ(rcDrsLiveStatements(), live - 1);
}

} // namespace
