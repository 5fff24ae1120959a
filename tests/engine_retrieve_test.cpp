// The retrieve list a plan gives the data module, and the column caches the
// executor builds from it at each open, planned over a connection to the
// QX Server emulator: one entry per column the plan reads of each table
// (one for a table it reads none of), and the rows read through the cache.
#include "tests/engine_server_fixture.h"
#include "driver/core/rcerror.h"
#include "driver/engine/exec/rcexe.h"
#include "driver/engine/plan/rcpln.h"
#include "driver/engine/tam.h"
#include "driver/frontend/fe_prepared.h"
#include "driver/odbc/rcstmt_source.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class RetrieveList : public EngineServerFixture {
protected:
    static void SetUpTestSuite() { StartServer("qxretr", QX_PUSH_FIXTURE); }
    static void TearDownTestSuite() { StopServer(); }
};

// Items: Id 1, Name 2, Qty 3, Price 4, Born 5, At 6, Ok 7, Note 8 (text).
// Kinds: Id 1, Label 2.
TEST_F(RetrieveList, OneCachedEntryPerColumnThePlanReads)
{
    struct Case {
        const char *sql;
        // Per table in FROM order: the listed columns.
        std::vector<std::vector<uint32_t>> columns;
        size_t rows;
    };
    const Case cases[] = {
        {"SELECT Name, Name FROM Items WHERE Qty * 2 > 4", {{2, 3}}, 3},
        {"SELECT Note, Id FROM Items ORDER BY Price", {{1, 4, 8}}, 6},
        {"SELECT Label FROM Items, Kinds WHERE Items.Qty = Kinds.Id", {{3}, {1, 2}}, 1},
        // Kinds gives rows only: its narrowest field.
        {"SELECT MAX(Items.At) FROM Items, Kinds", {{6}, {1}}, 1},
    };
    for (const Case &c : cases) {
        rcErrorQueue errors{};
        rcConnFeSource src(conn_);
        rcPrepared prep;
        rcPlnStmt stmt;
        rcPlnStmtInit(&stmt, &errors, conn_->session);
        stmt.fnCode = &FnCode;
        ASSERT_GE(rcDrsPrepare(&prep, &src, &errors, c.sql, true), 0) << c.sql;
        ASSERT_EQ(rcPlnBuild(&stmt, prep.root), 0) << c.sql << FirstMessage(&errors);
        ASSERT_EQ(rcExeOpenQuery(&stmt), 0) << c.sql << FirstMessage(&errors);
        size_t rows = 0;
        int16_t rc = 0;
        while ((rc = rcExeFetch(&stmt)) >= 0 && rc != PLN_END)
            ++rows;
        EXPECT_GE(rc, 0) << c.sql << FirstMessage(&errors);
        EXPECT_EQ(rows, c.rows) << c.sql;
        std::vector<std::vector<uint32_t>> listed;
        const TamTableHandle *last = nullptr;
        for (const rcPlnRetrieveColumn &r : stmt.retrieve) {
            if (r.handle != last)
                listed.emplace_back();
            last = r.handle;
            listed.back().push_back(r.column);
        }
        EXPECT_EQ(listed, c.columns) << c.sql;
        // Each table's values are read through its sealed cache.
        for (const PlanNode *t : stmt.tables) {
            const TamTableHandle *h = t->table->handle;
            size_t n = 0;
            for (const rcPlnRetrieveColumn &r : stmt.retrieve)
                n += r.handle == h ? 1 : 0;
            EXPECT_TRUE(h->cacheSealed) << c.sql;
            EXPECT_EQ(h->cacheCount, n) << c.sql;
        }
        rcExeCloseQuery(&stmt);
        rcPlnStmtFree(&stmt);
        rcFeReset(&prep);
        rcErrQueueDestroy(&errors);
    }
}

} // namespace
