// Hash joins through the unixODBC Driver Manager against qxserver, seen in
// the emulator's request log: the inner table of a join is read once per
// execution (its own filter as one server search), where the nested loop
// (NoHashOpt) searches it once per outer row; the query-plan file and the
// engine trace name the method.
#include "driver/engine/plan/rcplnfile.h"
#include "driver/engine/plan/tests/plnfile_reader.h"
#include "tests/e2e_fixture.h"
#include "tests/server_log.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

class E2eHashJoin : public E2eConnected {
protected:
    void SetUp() override
    {
        fixture = QX_HASH_FIXTURE;
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
    // The requests logged since the last call whose text holds `what`.
    std::vector<std::string> NewLogLines(const std::string &what)
    {
        return QxLogRequestsSince(ReadFile("server.log"), &seen, what);
    }
    static size_t Count(const std::vector<std::string> &lines, const std::string &what)
    {
        return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const auto &l) {
            return l.find(what) != std::string::npos;
        }));
    }

    size_t seen = 0;
};

// Cust is table 1 of the fixture (its Id field 1, Score field 4), Ord table 2.
constexpr const char *kJoin = "SELECT c.Name, o.Id FROM Cust c, Ord o "
                              "WHERE o.Cust = c.Id AND o.Qty > 0";

TEST_F(E2eHashJoin, TheInnerTableIsReadOncePerExecution)
{
    // The nested loop: Ord's filter is one search, then Cust is searched by
    // its unique index for every order that passes (8 of them; one finds no
    // customer). NoHashOpt is a setting of the data source.
    WriteDsn("NoHashOpt=1\n");
    Connect("");
    NewLogLines("");
    std::vector<std::string> rows = Query(kJoin);
    EXPECT_EQ(rows.size(), 7u);
    std::vector<std::string> log = NewLogLines("code=");
    EXPECT_EQ(Count(log, "search table 2:"), 1u);
    EXPECT_EQ(Count(log, "search table 1:"), 8u);
    Disconnect();

    // The hash join: the same rows; Cust is read whole, once, and never
    // searched; Ord's filter stays one search.
    WriteDsn("");
    Connect("");
    NewLogLines("");
    std::vector<std::string> hashed = Query(kJoin);
    std::sort(rows.begin(), rows.end());
    std::sort(hashed.begin(), hashed.end());
    EXPECT_EQ(hashed, rows);
    log = NewLogLines("code=");
    EXPECT_EQ(Count(log, "search table 2:"), 1u);
    EXPECT_EQ(Count(log, "search table 1:"), 0u);
    EXPECT_EQ(Count(log, "code=17 "), 1u); // all of Cust's records, once

    // The inner side's own filter is one search too; a prepared statement
    // executed twice reads it once per execution.
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLPrepare(stmt,
                   Text("SELECT c.Name, o.Id FROM Cust c, Ord o WHERE o.Cust = c.Id AND "
                        "o.Qty > 0 AND c.Score > 1"),
                   SQL_NTS)))
        << Diag();
    NewLogLines("");
    for (int run = 0; run < 2; ++run) {
        ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(stmt))) << Diag();
        EXPECT_EQ(ReadRows().size(), 5u);
        ASSERT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    }
    log = NewLogLines("code=35");
    EXPECT_EQ(Count(log, "search table 1: 4>"), 2u);
    EXPECT_EQ(Count(log, "search table 2:"), 2u);
    Disconnect();
}

TEST_F(E2eHashJoin, PlanFileAndEngineTraceNameTheMethod)
{
    WriteDsn("QryPlan=1\nQryPlanOutput=" + dir + "/plan.qry\nEngineTrace=2\nTraceOutput=" + dir +
             "/trace.log\n");
    Connect("");
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt, Text("SET DebugLevel 2"), SQL_NTS))) << Diag();
    EXPECT_EQ(Query(kJoin).size(), 7u);
    // A point lookup joined to its detail rows keeps the nested loop: one
    // row of Big, its 13 rows of BigRef through their index (the whole of
    // BigRef would take more requests).
    EXPECT_EQ(Query("SELECT b.Pad, r.Id FROM Big b, BigRef r WHERE b.Id = 5 AND r.K = b.K").size(),
              13u);
    Disconnect();

    std::ifstream in(dir + "/plan.qry", std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    std::vector<PlnFileRecord> records;
    PlnFileReader reader;
    ASSERT_TRUE(reader.Read(file, &records)) << reader.error;
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].joins, (std::vector<std::string>{"5 2 Hash join on 1 key"}));
    EXPECT_EQ(records[1].joins, (std::vector<std::string>{"7 1 Nested loop, inner side by index"}));

    std::string trace = ReadFile("trace.log");
    EXPECT_NE(trace.find("Hash join: c read once into a hash table on 1 key(s)"), std::string::npos)
        << trace;
    EXPECT_NE(trace.find("Hash join: 7 inner rows in memory"), std::string::npos) << trace;
}

// A table whose filter the data module took is priced by its row count
// and reached through no join index: BigRef (500 rows) with its pushed
// filter drives; without push-down (NoFiltOpt) it is reached from Big
// through its index on K.
TEST_F(E2eHashJoin, APushedFilterPricesItsTable)
{
    WriteDsn("QryPlan=1\nQryPlanOutput=" + dir + "/plan.qry\n");
    const char *sql = "SELECT COUNT(*) FROM Big b, BigRef r WHERE b.K = r.K AND r.Id > 490";
    for (const char *options : {"", "NoFiltOpt=1"}) {
        Connect(options);
        EXPECT_EQ(Query(sql), (std::vector<std::string>{"76"})) << options;
        Disconnect();
    }
    std::ifstream in(dir + "/plan.qry", std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    std::vector<PlnFileRecord> records;
    PlnFileReader reader;
    ASSERT_TRUE(reader.Read(file, &records)) << reader.error;
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].tables, (std::vector<std::string>{"BIGREF r", "BIG b"}));
    EXPECT_EQ(records[1].tables, (std::vector<std::string>{"BIG b", "BIGREF r"}));
}

} // namespace
