// The query-plan file: one readable record per planned query, every record
// bounded (block limit, eleven trees, SQL length field), appended after one
// file header.
#include "driver/core/rcerror.h"
#include "driver/core/rclist.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/tests/base_fixture.h"
#include "driver/engine/plan/rcpln.h"
#include "driver/engine/plan/rcplngroup.h"
#include "driver/engine/plan/rcplnfile.h"
#include "driver/engine/plan/rcplnhash.h"
#include "driver/engine/plan/tests/plnfile_reader.h"
#include "driver/engine/rcsem.h"
#include "tests/support/temp_dir.h"

#include <deque>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

namespace {

class PlnFile : public DriverEnvTest {
protected:
    void SetUp() override
    {
        DriverEnvTest::SetUp();
        rcPlnStmtInit(&stmt, &errors, nullptr);
        emp.name = "EMP";
        emp.alias = "e";
        dept.name = "DEPT";
        path = dir.Path().string() + "/plan.qry";
    }
    void TearDown() override
    {
        rcPlnStmtFree(&stmt);
        rcErrQueueDestroy(&errors);
        DriverEnvTest::TearDown();
    }
    PlanNode *New(uint8_t kind, PlanNode *first = nullptr, PlanNode *second = nullptr)
    {
        PlanNode *n = rcPlnNewNode(&stmt, kind);
        n->first = first;
        n->second = second;
        return n;
    }
    PlanNode *Table(rcTblEntry *t)
    {
        PlanNode *n = New(PLN_TABLE);
        n->table = t;
        n->access = PLN_ACCESS_SCAN;
        return n;
    }
    // ORD_TT over a filter over a join of two tables.
    void PlanJoin()
    {
        PlanNode *join = New(PLN_JOIN, Table(&emp), Table(&dept));
        join->subtype = PLN_JOIN_INNER;
        PlanNode *temp = New(PLN_TEMPTABLE, New(PLN_RESTRICT, join));
        std::memcpy(temp->name, "ORD_TT", 7);
        plan.root = temp;
        stmt.plan = &plan;
    }
    // n subqueries, each a filter over a table.
    void AddSubqueries(int n)
    {
        for (int i = 0; i < n; ++i) {
            subPlans.emplace_back();
            subPlans.back().root = New(PLN_RESTRICT, Table(&dept));
            PlanNode *sub = New(PLN_SUBQUERY);
            sub->form = 1;
            sub->subPlan = &subPlans.back();
            stmt.subqueries.push_back(sub);
        }
    }
    std::vector<uint8_t> File()
    {
        std::ifstream in(path, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    std::string FirstText()
    {
        auto *r = static_cast<rcErrorRecord *>(rcListAt(errors.list, 0));
        return r != nullptr && r->text != nullptr ? r->text : "";
    }
    std::vector<PlnFileRecord> Records()
    {
        std::vector<PlnFileRecord> records;
        PlnFileReader reader;
        EXPECT_TRUE(reader.Read(File(), &records)) << reader.error;
        return records;
    }

    qxtest::TempDir dir;
    std::string path;
    rcErrorQueue errors{};
    rcPlnStmt stmt;
    QueryPlan plan{};
    std::deque<QueryPlan> subPlans; // stays put as it grows
    rcTblEntry emp, dept;
};

TEST_F(PlnFile, RecordsAreAppendedAfterOneHeader)
{
    PlanJoin();
    const char *sql = "SELECT * FROM EMP e1"; // 20 characters
    ASSERT_EQ(rcSpyQueryPlan(path.c_str(), sql, &stmt, &errors), 0);
    AddSubqueries(2);
    ASSERT_EQ(rcSpyQueryPlan(path.c_str(), "SELECT 2", &stmt, &errors), 0);
    std::vector<uint8_t> file = File();
    ASSERT_GE(file.size(), 8u);
    EXPECT_EQ(std::memcmp(file.data(), "SPY\0\x1d\x0c\x01\x00", 8), 0);
    std::vector<PlnFileRecord> records = Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].sql, sql);
    EXPECT_EQ(records[0].sqlLengthField, 21);
    ASSERT_EQ(records[0].trees.size(), 1u);
    EXPECT_EQ(records[0].trees[0], "9 2 1 3 3");
    EXPECT_EQ(records[0].tables, (std::vector<std::string>{"EMP e", "DEPT"}));
    ASSERT_EQ(records[1].trees.size(), 3u);
    EXPECT_EQ(records[1].trees[1], "2 3");
    EXPECT_EQ(rcErrQueueCount(&errors), 0u);
}

TEST_F(PlnFile, JoinRecordsNameTheirMethod)
{
    PlanJoin();
    PlanNode *join = plan.root->first->first;
    join->subtype = PLN_JOIN_INNER_INDEX;
    ASSERT_EQ(rcSpyQueryPlan(path.c_str(), "SELECT 1", &stmt, &errors), 0);
    // A hash join reads its inner side once: the subtype loses "by index".
    rcPlnHashJoin hash;
    hash.keys.resize(2);
    join->hashJoin = &hash;
    ASSERT_EQ(rcSpyQueryPlan(path.c_str(), "SELECT 2", &stmt, &errors), 0);
    join->hashJoin = nullptr;
    std::vector<PlnFileRecord> records = Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].joins, (std::vector<std::string>{"7 1 Nested loop, inner side by index"}));
    EXPECT_EQ(records[1].joins, (std::vector<std::string>{"5 2 Hash join on 2 keys"}));
    EXPECT_EQ(rcErrQueueCount(&errors), 0u);
}

// Every node that groups or removes duplicates names its method.
TEST_F(PlnFile, GroupingsNameTheirMethod)
{
    PlanNode *hash = New(PLN_HASHGROUP, Table(&emp));
    ASSERT_TRUE(rcGrpSetup(&stmt, hash, RC_GRP_HASH, false, {}));
    stmt.temps.push_back(hash); // freed with the statement
    PlanNode *stream = New(PLN_HASHGROUP, hash);
    ASSERT_TRUE(rcGrpSetup(&stmt, stream, RC_GRP_STREAM, true, {}));
    stmt.temps.push_back(stream);
    PlanNode *sorted = New(PLN_TEMPTABLE, stream);
    std::memcpy(sorted->name, "DST_TT", 7);
    PlanNode *order = New(PLN_TEMPTABLE, New(PLN_DISTINCT, sorted));
    std::memcpy(order->name, "ORD_TT", 7);
    plan.root = order;
    stmt.plan = &plan;
    ASSERT_EQ(rcSpyQueryPlan(path.c_str(), "SELECT", &stmt, &errors), 0);
    std::vector<PlnFileRecord> records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].trees[0], "9 4 9 12 12 3");
    EXPECT_EQ(records[0].methods,
              (std::vector<std::string>{"SORT DISTINCT", "STREAM DISTINCT", "HASH GROUP BY"}));
}

TEST_F(PlnFile, MoreTreesThanTheTableHoldsAreRefusedWhole)
{
    PlanJoin();
    AddSubqueries(10); // eleven trees: written
    ASSERT_EQ(rcSpyQueryPlan(path.c_str(), "SELECT 11", &stmt, &errors), 0);
    AddSubqueries(1); // twelve: refused, nothing written
    EXPECT_EQ(rcSpyQueryPlan(path.c_str(), "SELECT 12", &stmt, &errors), 1);
    std::vector<PlnFileRecord> records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].trees.size(), 11u);
    ASSERT_EQ(rcErrQueueCount(&errors), 1u);
    std::string text = FirstText();
    EXPECT_NE(text.find("12 plan trees"), std::string::npos) << text;
}

TEST_F(PlnFile, BlocksStayWithinTheirLimit)
{
    // A chain deeper than the block has room for: the records that do not fit
    // are left out and the block stays readable.
    PlanNode *top = Table(&emp);
    for (int i = 0; i < 200; ++i)
        top = New(PLN_DISTINCT, top);
    plan.root = top;
    stmt.plan = &plan;
    for (uint32_t limit : {kRcPlnTreesStart + 3 * kRcPlnNodeRecordSize, kRcPlnBlockSize}) {
        std::vector<uint8_t> block;
        std::string why;
        ASSERT_EQ(rcPlnFileBuildBlock(&stmt, limit, &block, &why), 0);
        EXPECT_LE(block.size(), limit);
    }
    ASSERT_EQ(rcSpyQueryPlan(path.c_str(), "x", &stmt, &errors, 500), 0);
    std::vector<PlnFileRecord> records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].trees[0], "4 4 4");
    EXPECT_LE(records[0].blockLength, 500u);
}

TEST_F(PlnFile, LongSqlTextIsCutToItsLengthField)
{
    PlanJoin();
    std::string sql(70000, 'x');
    ASSERT_EQ(rcSpyQueryPlan(path.c_str(), sql.c_str(), &stmt, &errors), 0);
    std::vector<PlnFileRecord> records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].sqlLengthField, 65535);
    EXPECT_EQ(records[0].sql.size(), kRcPlnSqlMax);
    EXPECT_EQ(records[0].trees[0], "9 2 1 3 3");
}

TEST_F(PlnFile, NoPathWritesNothingAndUnwritableFilesWarn)
{
    PlanJoin();
    EXPECT_EQ(rcSpyQueryPlan("", "SELECT 1", &stmt, &errors), 0);
    EXPECT_EQ(rcErrQueueCount(&errors), 0u);
    std::string bad = dir.Path().string() + "/missing/plan.qry";
    EXPECT_EQ(rcSpyQueryPlan(bad.c_str(), "SELECT 1", &stmt, &errors), 1);
    ASSERT_EQ(rcErrQueueCount(&errors), 1u);
    std::string text = FirstText();
    EXPECT_NE(text.find("unable to open"), std::string::npos) << text;
}

} // namespace
