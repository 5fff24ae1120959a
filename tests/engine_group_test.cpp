// Grouping against the QX Server emulator: the method each plan takes (a
// hash table, a stream of rows in key order, or the sort that NoHashOpt
// keeps), the one sort where an ORDER BY follows a grouping on its keys,
// what the server is sent for it (the request log), the spill past the hash
// memory limit, and the method named in the engine trace.
#include "tests/engine_server_fixture.h"
#include "tests/server_log.h"
#include "driver/core/rcerror.h"
#include "driver/core/rcregistry.h"
#include "driver/core/rctrace.h"
#include "driver/engine/exec/rcexe.h"
#include "driver/engine/exec/rcexegroup.h"
#include "driver/engine/plan/rcpln.h"
#include "driver/frontend/fe_prepared.h"
#include "driver/odbc/rcstmt_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kFilterMask = 0x1001ff; // what the data module reports
constexpr uint32_t kNoFiltOpt = 0x800;
constexpr uint32_t kNoHashOpt = 0x200000;

struct Outcome {
    std::vector<std::string> rows;     // in the order fetched; "ERROR ..." on failure
    std::string plan;                  // the plan's nodes top down, "HASH GROUP BY; Big"
    rcGrpCounts counts{};              // of the first grouping node
    std::vector<std::string> requests; // the server requests of the run
};

class Grouping : public EngineServerFixture {
protected:
    static void SetUpTestSuite() { StartServer("qxgroup", QX_GROUP_FIXTURE); }
    static void TearDownTestSuite() { StopServer(); }

    Outcome Run(const std::string &sql, uint32_t options = 0, uint32_t hashLimit = 0,
                rcTrcTarget trace = {})
    {
        Outcome out;
        rcErrorQueue errors{};
        rcConnFeSource src(conn_);
        rcPrepared prep;
        rcPlnStmt stmt;
        rcPlnStmtInit(&stmt, &errors, conn_->session);
        stmt.fnCode = &FnCode;
        stmt.engineOptions = options;
        stmt.filterMask = kFilterMask;
        stmt.seekFirstLast = true;
        stmt.tmpOwner.trace = trace;
        if (hashLimit != 0)
            stmt.tmpOwner.limits.hashMemoryLimit = hashLimit;
        bool ok = rcDrsPrepare(&prep, &src, &errors, sql.c_str(), true) >= 0 &&
                  rcPlnBuild(&stmt, prep.root) == 0;
        if (ok)
            rcPlnVisit(&out, stmt.plan->root, [](void *ctx, uint8_t kind, PlanNode *n) {
                auto *o = static_cast<Outcome *>(ctx);
                std::string name;
                if (kind == PLN_HASHGROUP) {
                    name = rcGrpMethodName(n);
                    if (o->counts.passes == 0)
                        o->counts = {1, 0, 1}; // filled after the run
                } else if (kind == PLN_TEMPTABLE) {
                    name = std::string(n->name) + (n->presorted ? " in key order" : "");
                } else if (kind == PLN_DISTINCT) {
                    name = "DISTINCT";
                } else if (kind == PLN_GROUP) {
                    name = "GROUP";
                } else if (kind == PLN_TABLE) {
                    name = n->table->name + (n->access == PLN_ACCESS_INDEX ? " by index" : "");
                }
                if (!name.empty())
                    o->plan.append(o->plan.empty() ? "" : "; ").append(name);
                return 1;
            });
        NewLogLines("");
        ok = ok && rcExeOpenQuery(&stmt) == 0;
        int16_t rc = 0;
        while (ok && (rc = rcExeFetch(&stmt)) >= 0 && rc != PLN_END) {
            std::string row;
            for (uint16_t k = 0; ok && k < stmt.results.size(); ++k) {
                char buf[300] = {};
                int32_t len = 0;
                bool isNull = false;
                ok = rcExeGetColumn(&stmt, k, SQL_C_CHAR, buf, sizeof buf, &len, 0, &isNull) >= 0;
                row.append(k > 0 ? "|" : "").append(isNull ? "NULL" : buf);
            }
            out.rows.push_back(row);
        }
        ok = ok && rc >= 0;
        if (!ok)
            out.rows = {"ERROR " + FirstMessage(&errors)};
        out.requests = NewLogLines("request");
        if (ok && out.counts.passes != 0)
            out.counts = rcGrpCountsOf(rcPlnFirstOfKind(stmt.plan->root, PLN_HASHGROUP));
        rcExeCloseQuery(&stmt);
        rcPlnStmtFree(&stmt);
        rcFeReset(&prep);
        rcErrQueueDestroy(&errors);
        return out;
    }

    static std::vector<std::string> NewLogLines(const std::string &what)
    {
        static size_t seen = 0;
        return QxLogRequestsSince(qxtest::ReadFile(LogPath()), &seen, what);
    }

    static size_t Count(const std::vector<std::string> &requests, const std::string &code)
    {
        return static_cast<size_t>(
            std::count_if(requests.begin(), requests.end(), [&](const std::string &l) {
                return l.find(code + " ") != std::string::npos;
            }));
    }
};

// Request codes in the server's log.
const std::string kSelectAll = "code=17";
const std::string kSearch = "code=35";
const std::string kSort = "code=36";
const std::string kWindow = "code=91";

TEST_F(Grouping, EachPlanNamesItsMethodAndSortsAtMostOnce)
{
    struct Case {
        const char *sql;
        const char *hashed;
        const char *sorted; // with NoHashOpt
    };
    const Case cases[] = {
        // An ORDER BY on the grouping keys (or their first ones) sorts no
        // more: the groups come in that order.
        {"SELECT K, COUNT(*) FROM Big GROUP BY K ORDER BY K", "HASH GROUP BY; BIG",
         "GROUP; GRP_TT in key order; BIG by index"},
        {"SELECT K, N, COUNT(*) FROM Big GROUP BY K, N ORDER BY 1", "HASH GROUP BY; BIG",
         "GROUP; GRP_TT; BIG"},
        {"SELECT T, COUNT(*) FROM Big GROUP BY T ORDER BY T", "HASH GROUP BY; BIG",
         "GROUP; GRP_TT; BIG"},
        // Other orders sort the groups.
        {"SELECT K, COUNT(*) FROM Big GROUP BY K ORDER BY K DESC", "ORD_TT; HASH GROUP BY; BIG",
         "ORD_TT; GROUP; GRP_TT in key order; BIG by index"},
        {"SELECT K, COUNT(*) FROM Big GROUP BY K ORDER BY 2, 1", "ORD_TT; HASH GROUP BY; BIG",
         "ORD_TT; GROUP; GRP_TT in key order; BIG by index"},
        {"SELECT K, N, COUNT(*) FROM Big GROUP BY K, N ORDER BY N", "ORD_TT; HASH GROUP BY; BIG",
         "ORD_TT; GROUP; GRP_TT; BIG"},
        // DISTINCT likewise.
        {"SELECT DISTINCT T, K FROM Big ORDER BY T, K", "HASH DISTINCT; BIG",
         "DISTINCT; DST_TT; BIG"},
        {"SELECT DISTINCT T, K FROM Big ORDER BY K", "ORD_TT; HASH DISTINCT; BIG",
         "ORD_TT; DISTINCT; DST_TT; BIG"},
        // Groups on the DISTINCT's very keys are distinct already.
        {"SELECT DISTINCT K FROM Big GROUP BY K ORDER BY K", "HASH GROUP BY; BIG",
         "GROUP; GRP_TT in key order; BIG by index"},
        {"SELECT DISTINCT COUNT(*) FROM Big GROUP BY K ORDER BY 1",
         "HASH DISTINCT; HASH GROUP BY; BIG",
         "DISTINCT; DST_TT; GROUP; GRP_TT in key order; BIG by index"},
        // Rows read through the index for their range arrive grouped.
        {"SELECT K, COUNT(*) FROM Big WHERE K BETWEEN 5 AND 8 GROUP BY K ORDER BY K",
         "STREAM GROUP BY; BIG by index", "GROUP; GRP_TT in key order; BIG by index"},
        {"SELECT DISTINCT K FROM Big WHERE K BETWEEN 5 AND 8", "STREAM DISTINCT; BIG by index",
         "DISTINCT; DST_TT in key order; BIG by index"},
        // A long value is kept through its row's bookmark: sorted.
        {"SELECT DISTINCT Note FROM H", "DISTINCT; DST_TT; H", "DISTINCT; DST_TT; H"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sql);
        Outcome hashed = Run(c.sql, kNoFiltOpt);
        Outcome sorted = Run(c.sql, kNoFiltOpt | kNoHashOpt);
        EXPECT_EQ(hashed.plan, c.hashed);
        EXPECT_EQ(sorted.plan, c.sorted);
        EXPECT_EQ(hashed.rows, sorted.rows);
        ASSERT_FALSE(hashed.rows.empty());
        EXPECT_NE(hashed.rows[0].rfind("ERROR", 0), 0u) << hashed.rows[0];
    }
}

// The peer benchmark's grouping: the table is read once in storage order
// (a selection of all records, then its windows), and nothing is sorted by
// the server. The sorted grouping has the server sort the table on K.
TEST_F(Grouping, GroupingReadsTheTableInStorageOrderWithoutAServerSort)
{
    const char *sql = "SELECT K, COUNT(*), SUM(V) FROM Big GROUP BY K ORDER BY K";
    Outcome hashed = Run(sql);
    EXPECT_EQ(hashed.rows.size(), 700u);
    EXPECT_EQ(Count(hashed.requests, kSort), 0u);
    EXPECT_EQ(Count(hashed.requests, kSearch), 0u);
    EXPECT_EQ(Count(hashed.requests, kSelectAll), 1u);
    // 1500 records: 15 windows, their record numbers in the same requests.
    EXPECT_EQ(Count(hashed.requests, kWindow), 15u);
    Outcome sorted = Run(sql, kNoHashOpt);
    EXPECT_EQ(sorted.rows, hashed.rows);
    EXPECT_EQ(Count(sorted.requests, kSort), 1u);
}

// Records found by an equality on the index field share its key: the
// selection is read as found, not sorted on the index.
TEST_F(Grouping, AnEqualitySeekIsNotFollowedByASort)
{
    Outcome seek = Run("SELECT Id FROM Big WHERE K = 5", kNoFiltOpt);
    EXPECT_EQ(seek.plan, "BIG by index");
    EXPECT_EQ(seek.rows, (std::vector<std::string>{"5", "705", "1405"}));
    EXPECT_EQ(Count(seek.requests, kSearch), 1u);
    EXPECT_EQ(Count(seek.requests, kSort), 0u);
    // The pushed filter of the same equality, read through the index.
    Outcome pushed = Run("SELECT K, COUNT(*) FROM Big WHERE K = 5 GROUP BY K");
    EXPECT_EQ(pushed.rows, (std::vector<std::string>{"5|3"}));
    EXPECT_EQ(Count(pushed.requests, kSort), 0u);
    // A range is read in key order.
    Outcome range = Run("SELECT Id FROM Big WHERE K > 697", kNoFiltOpt);
    EXPECT_EQ(range.rows, (std::vector<std::string>{"698", "1398", "699", "1399"}));
    EXPECT_EQ(Count(range.requests, kSort), 1u);
}

// Past the hash memory limit the rows of further groups are kept aside and
// grouped in later passes: the same groups, representatives, values and
// order as in memory and as the sorted grouping.
TEST_F(Grouping, SpilledGroupingsGiveTheSameRows)
{
    const char *const queries[] = {
        "SELECT K, COUNT(*), SUM(V), AVG(V), MIN(T), MAX(D) FROM Big GROUP BY K",
        "SELECT {fn CONCAT(T, '|')}, COUNT(*), MIN(Id), MAX(V) FROM Big GROUP BY T",
        "SELECT D, COUNT(*), SUM(K), MIN(N) FROM Big GROUP BY D ORDER BY 2 DESC, 4",
        "SELECT DISTINCT {fn CONCAT(T, '|')}, D FROM Big",
        "SELECT K, COUNT(*) FROM Big GROUP BY K HAVING COUNT(*) > 2 ORDER BY K DESC",
    };
    for (const char *sql : queries) {
        SCOPED_TRACE(sql);
        Outcome memory = Run(sql);
        Outcome spilled = Run(sql, 0, 2000);
        Outcome sorted = Run(sql, kNoHashOpt);
        EXPECT_EQ(memory.counts.passes, 1u);
        EXPECT_EQ(memory.counts.spilledRows, 0u);
        EXPECT_GT(spilled.counts.passes, 2u);
        EXPECT_GT(spilled.counts.spilledRows, 500u);
        EXPECT_EQ(spilled.counts.groups, memory.counts.groups);
        EXPECT_EQ(memory.rows, sorted.rows);
        EXPECT_EQ(spilled.rows, sorted.rows);
    }
}

// The engine trace names the method of each grouping node.
TEST_F(Grouping, TheEngineTraceNamesTheMethod)
{
    std::string traceFile = (*dir_ / "engine.trace").string();
    ini_->WriteOdbc("[qx]\nDriver=QX\nDBQ=" + server_->Dbq() +
                    "\nEngineTrace=2\nTraceOutput=" + traceFile + "\n");
    uint32_t level = 0;
    rcTraceChannel *channel = rcTraceOpen(rcRegGetIniRoot().c_str(), "qx", "EngineTrace", &level);
    ASSERT_NE(channel, nullptr);
    Run("SELECT K, COUNT(*) FROM Big GROUP BY K", 0, 2000, {channel, 2, false});
    Run("SELECT DISTINCT K FROM Big WHERE K BETWEEN 5 AND 8", kNoFiltOpt, 0, {channel, 2, false});
    Run("SELECT DISTINCT T FROM Big", kNoHashOpt, 0, {channel, 2, false});
    rcTraceClose(channel);
    std::string text = qxtest::ReadFile(traceFile);
    EXPECT_NE(text.find("HASH GROUP BY..."), std::string::npos) << text;
    EXPECT_NE(text.find("HASH GROUP BY: 700 groups"), std::string::npos) << text;
    EXPECT_NE(text.find("STREAM DISTINCT..."), std::string::npos) << text;
    EXPECT_NE(text.find("SORT DISTINCT..."), std::string::npos) << text;
}

} // namespace
