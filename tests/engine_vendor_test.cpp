// Vendor predicates through the statement handle's own road (prepare, plan,
// fetch) over a real connection. This server's data module has no vendor
// predicates (its catalog call is not implemented), so the test gives the
// connection the list a data module that has them would give; the
// predicate's evaluation then reaches the server's data module, which
// answers that it does not implement it.
#include "tests/engine_server_fixture.h"
#include "driver/core/rclist.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/tam.h"
#include "driver/engine/tam_drminfo.h"
#include "driver/odbc/rcodbc_impl.h"
#include "driver/odbc/rcstmt_handle.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Roles of a predicate's catalog rows.
constexpr uint32_t kNameRow = 16, kValueRow = 1;
constexpr uint32_t kDrmInteger = 4; // the data module's type of an INTEGER value

class ExeVendor : public EngineServerFixture {
protected:
    static void SetUpTestSuite() { StartServer("qxvendor", QX_EXEC_FIXTURE); }
    static void TearDownTestSuite() { StopServer(); }

    void SetUp() override
    {
        EngineServerFixture::SetUp();
        ASSERT_EQ(SQLAllocStmtImpl(conn_, &hstmt_), SQL_SUCCESS);
        stmt_ = static_cast<rcStmtHandle *>(hstmt_);
    }
    void TearDown() override
    {
        SQLFreeStmtImpl(stmt_, SQL_DROP);
        EngineServerFixture::TearDown();
    }

    // Gives the connection one predicate: its name row, then its parameters.
    void Declare(const char *name, uint32_t number, const std::vector<TamExtPredicateArg> &rows)
    {
        rcList *list = rcListCreate(2, sizeof(TamExtPredicate), false, 0);
        ASSERT_NE(list, nullptr);
        auto *p = static_cast<TamExtPredicate *>(rcListAppendNew(list));
        ASSERT_NE(p, nullptr);
        std::snprintf(p->name, sizeof p->name, "%s", name);
        p->number = number;
        p->args = rcListCreate(4, sizeof(TamExtPredicateArg), false, 0);
        for (const TamExtPredicateArg &a : rows)
            rcListAppend(p->args, &a);
        TamFreeExtPredicates(conn_->session->extPredicates);
        conn_->session->extPredicates = list;
    }

    SQLRETURN Exec(const std::string &sql)
    {
        return SQLExecDirectImpl(stmt_, reinterpret_cast<const SQLCHAR *>(sql.c_str()), SQL_NTS);
    }
    const rcErrorRecord *First() const
    {
        return stmt_->errors.list != nullptr && rcListCount(stmt_->errors.list) > 0
                   ? static_cast<const rcErrorRecord *>(rcListAt(stmt_->errors.list, 0))
                   : nullptr;
    }

    SQLHSTMT hstmt_ = nullptr;
    rcStmtHandle *stmt_ = nullptr;
};

// The planned filter hands the predicate to the data module on the
// connection's session: the module's own answer comes back as the error.
// The name may stand at any item, where its naming row stands.
TEST_F(ExeVendor, APredicateIsEvaluatedByTheDataModuleOfTheConnection)
{
    struct Case {
        std::vector<TamExtPredicateArg> rows;
        const char *sql;
    };
    const Case cases[] = {
        {{{0, kNameRow}, {kDrmInteger, kValueRow}}, "SELECT Name FROM Emp WHERE {pred near, Id}"},
        {{{kDrmInteger, kValueRow}, {0, kNameRow}, {0, kValueRow}},
         "SELECT Name FROM Emp WHERE Id > 0 AND {pred Id, near, Lvl + 1}"},
    };
    for (const Case &c : cases) {
        Declare("near", 41, c.rows);
        SQLRETURN rc = Exec(c.sql);
        while (SQL_SUCCEEDED(rc))
            rc = SQLFetchImpl(stmt_);
        ASSERT_EQ(rc, SQL_ERROR) << c.sql;
        const rcErrorRecord *r = First();
        ASSERT_NE(r, nullptr) << c.sql;
        EXPECT_EQ(r->native, kDrmErrNotSupported) << c.sql;
        EXPECT_EQ(r->msgId, rcErrMapDrm(kDrmErrNotSupported)) << c.sql;
        SQLFreeStmtImpl(stmt_, SQL_CLOSE);
    }
}

// A name the data source does not have, in another letter case, or whose
// naming row stands elsewhere, is refused when the statement is prepared.
TEST_F(ExeVendor, AnUnknownPredicateIsRefusedAtPrepare)
{
    Declare("near", 41, {{0, kNameRow}, {kDrmInteger, kValueRow}});
    const char *const refused[][2] = {
        {"SELECT Name FROM Emp WHERE {pred far, Id + 1}", "Invalid extended predicate: far."},
        {"SELECT Name FROM Emp WHERE {pred Near, Id + 1}", "Invalid extended predicate: Near."},
        {"SELECT Name FROM Emp WHERE {pred Id, near}", "Invalid extended predicate: near."},
    };
    for (const auto &c : refused) {
        std::string sql = c[0];
        EXPECT_EQ(SQLPrepareImpl(stmt_, reinterpret_cast<const SQLCHAR *>(sql.c_str()), SQL_NTS),
                  SQL_ERROR)
            << sql;
        const rcErrorRecord *r = First();
        ASSERT_NE(r, nullptr) << sql;
        EXPECT_EQ(r->msgId, static_cast<uint32_t>(RC_ENG_INVALID_EXTENDED_PREDICATE)) << sql;
        EXPECT_STREQ(r->text, c[1]) << sql;
    }
}

} // namespace
