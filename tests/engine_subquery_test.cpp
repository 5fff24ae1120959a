// Which strategy the planner gives an uncorrelated subquery compared with
// values, planned over a connection to the QX Server emulator: the smallest
// or largest value from an index only where the data module seeks first
// and last keys, an equality seek only for few outer rows, none for a text
// column, a condition, grouping, DISTINCT, a set function, several tables,
// other operators or with NoIndexes or NoHashOpt; the rows are those of the
// plain comparison of every row.
#include "tests/engine_server_fixture.h"
#include "driver/core/rcerror.h"
#include "driver/engine/exec/rcexe.h"
#include "driver/engine/plan/rcpln.h"
#include "driver/engine/plan/rcplnsub.h"
#include "driver/frontend/fe_prepared.h"
#include "driver/odbc/rcstmt_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kNoIndexes = 0x4000;

struct Planned {
    std::string strategy; // of the statement's first subquery
    std::vector<std::string> rows;
};

class SubStrategy : public EngineServerFixture {
protected:
    static void SetUpTestSuite() { StartServer("qxsubq", QX_PUSH_FIXTURE); }
    static void TearDownTestSuite() { StopServer(); }

    Planned Plan(const std::string &sql, uint32_t options = 0, bool seekFirstLast = true)
    {
        Planned out;
        rcErrorQueue errors{};
        rcConnFeSource src(conn_);
        rcPrepared prep;
        rcPlnStmt stmt;
        rcPlnStmtInit(&stmt, &errors, conn_->session);
        stmt.fnCode = &FnCode;
        stmt.engineOptions = options;
        stmt.seekFirstLast = seekFirstLast;
        bool ok = rcDrsPrepare(&prep, &src, &errors, sql.c_str(), true) >= 0 &&
                  rcPlnBuild(&stmt, prep.root) == 0 && !stmt.subqueries.empty();
        if (ok) {
            const rcSubPlanInfo *info = stmt.subqueries.front()->subInfo;
            static const char *const kNames[] = {"none", "smallest", "largest", "equal"};
            out.strategy = info != nullptr ? kNames[info->strategy] : "none";
            ok = rcExeOpenQuery(&stmt) == 0;
        }
        int16_t rc = 0;
        while (ok && (rc = rcExeFetch(&stmt)) >= 0 && rc != PLN_END) {
            char buf[64] = {};
            int32_t len = 0;
            bool isNull = false;
            ok = rcExeGetColumn(&stmt, 0, SQL_C_CHAR, buf, sizeof buf, &len, 0, &isNull) >= 0;
            out.rows.push_back(isNull ? "NULL" : buf);
        }
        if (!ok || rc < 0)
            out.rows = {"ERROR " + FirstMessage(&errors)};
        std::sort(out.rows.begin(), out.rows.end());
        rcExeCloseQuery(&stmt);
        rcPlnStmtFree(&stmt);
        rcFeReset(&prep);
        rcErrQueueDestroy(&errors);
        return out;
    }
};

// Items: Id (unique), Name (text), Qty, Price, Born indexed; At not.
// Kinds: Id 1, 4, 9.
TEST_F(SubStrategy, OnlyWhereTheIndexGivesTheRows)
{
    struct Case {
        const char *where; // or the whole query
        const char *strategy;
    };
    const Case cases[] = {
        {"Id > ANY (SELECT Qty FROM Items)", "smallest"},
        {"Id >= ALL (SELECT Qty FROM Items)", "largest"},
        {"Id <= ANY (SELECT Price FROM Items)", "largest"},
        {"Id < ALL (SELECT Id FROM Items)", "smallest"},
        {"{d '2020-01-01'} > ANY (SELECT Born FROM Items)", "smallest"},
        {"Id = 4 AND Id IN (SELECT Qty FROM Items)", "equal"},
        {"Id = 4 AND Id NOT IN (SELECT Qty FROM Items)", "equal"},
        {"Id = 4 AND Id = ANY (SELECT Price FROM Items)", "equal"},
        {"SELECT Id FROM Items WHERE Id = 2 AND Price IN (SELECT Id FROM Kinds)", "equal"},
        {"Id IN (SELECT Qty FROM Items)", "none"},                // three outer rows cost more
        {"Id = 4 AND Label IN (SELECT Name FROM Items)", "none"}, // text
        {"Label > ANY (SELECT Name FROM Items)", "none"},
        {"Id > ANY (SELECT Qty FROM Items WHERE Ok = 1)", "none"},
        {"Id > ANY (SELECT DISTINCT Qty FROM Items)", "none"},
        {"Id > ANY (SELECT MAX(Qty) FROM Items)", "none"},
        {"Id > ANY (SELECT Qty FROM Items GROUP BY Qty)", "none"},
        {"Id > ANY (SELECT i.Qty FROM Items i, Kinds k)", "none"},
        {"Id > ANY (SELECT Qty + 0 FROM Items)", "none"},
        {"{t '09:00:00'} > ANY (SELECT At FROM Items)", "none"}, // no index
        {"Id <> ANY (SELECT Qty FROM Items)", "none"},
        {"Id = ALL (SELECT Qty FROM Items)", "none"},
        {"Id <> ALL (SELECT Qty FROM Items)", "none"},
        {"Id = (SELECT MIN(Qty) FROM Items)", "none"},
        {"Id > ANY (SELECT Qty FROM Items WHERE Items.Id = Kinds.Id)", "none"},
    };
    for (const Case &c : cases) {
        std::string where = c.where;
        std::string sql =
            where.rfind("SELECT", 0) == 0 ? where : "SELECT Id FROM Kinds WHERE " + where;
        SCOPED_TRACE(sql);
        Planned p = Plan(sql);
        EXPECT_EQ(p.strategy, c.strategy);
        EXPECT_TRUE(p.rows.empty() || p.rows[0].rfind("ERROR", 0) != 0) << p.rows[0];
        // No index, or every row compared in turn: the same rows.
        Planned noIndexes = Plan(sql, kNoIndexes);
        Planned plain = Plan(sql, PLN_OPT_NOHASHOPT);
        EXPECT_EQ(noIndexes.strategy, "none");
        EXPECT_EQ(plain.strategy, "none");
        EXPECT_EQ(noIndexes.rows, p.rows);
        EXPECT_EQ(plain.rows, p.rows);
        // The first and last keys need the data module's seeks to them.
        if (std::string(c.strategy) == "smallest" || std::string(c.strategy) == "largest") {
            EXPECT_EQ(Plan(sql, 0, false).strategy, "none");
        }
    }
}

} // namespace
