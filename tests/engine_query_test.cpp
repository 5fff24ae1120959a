// Queries planned and executed against the QX Server emulator: each case is
// SQL over a small fixture and the rows it must give. The front end parses
// and checks the text over a real connection; the plan reads the tables
// through the table-access layer.
#include "tests/engine_server_fixture.h"
#include "driver/odbc/rcconn.h"
#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/odbc/rcodbc_impl.h"
#include "driver/engine/exec/rcexe.h"
#include "driver/engine/plan/rcpln.h"
#include "driver/engine/rcsem.h"
#include "driver/frontend/fe_prepared.h"
#include "driver/odbc/rctxn.h"
#include "driver/frontend/rcprsfn.h"
#include "driver/odbc/rcstmt_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using std::filesystem::path;

class ExeQuery : public EngineServerFixture {
protected:
    static void SetUpTestSuite() { StartServer("qxexec", QX_EXEC_FIXTURE); }
    static void TearDownTestSuite() { StopServer(); }

    // Runs a query; rows as "v1|v2|...", NULL as "NULL". An error gives one
    // row "ERROR <message id> <text>".
    std::vector<std::string> Run(const std::string &sql, int opens = 1, uint32_t options = 0,
                                 std::string *access = nullptr, std::string *tables = nullptr)
    {
        std::vector<std::string> rows;
        rcErrorQueue errors{};
        rcConnFeSource src(conn_);
        rcPrepared prep;
        rcPlnStmt stmt;
        rcPlnStmtInit(&stmt, &errors, conn_->session);
        stmt.fnCode = &FnCode;
        stmt.engineOptions = options;
        stmt.param = &ExeQuery::Param;
        stmt.paramCtx = this;
        bool ok = rcDrsPrepare(&prep, &src, &errors, sql.c_str(), true) >= 0 &&
                  rcPlnBuild(&stmt, prep.root) == 0;
        // How each table is read: "S" scan, "I" index; the join kinds.
        if (ok && access != nullptr) {
            access->clear();
            rcPlnVisit(access, stmt.plan->root, [](void *ctx, uint8_t kind, PlanNode *n) {
                auto *out = static_cast<std::string *>(ctx);
                if (kind == PLN_TABLE)
                    *out += n->access == PLN_ACCESS_INDEX ? "I" : "S";
                if (kind == PLN_JOIN)
                    *out += 'J', *out += std::to_string(n->subtype);
                if (kind == PLN_TEMPTABLE)
                    *out += n->presorted ? "t" : "T"; // t: rows arrive in key order
                if (kind == PLN_HASHGROUP)
                    *out += n->subtype == 2 ? "g" : "G"; // g: grouped as they arrive
                return 1;
            });
        }
        // The tables' correlation names in plan order (the first drives).
        if (ok && tables != nullptr) {
            tables->clear();
            rcPlnVisit(tables, stmt.plan->root, [](void *ctx, uint8_t kind, PlanNode *n) {
                auto *out = static_cast<std::string *>(ctx);
                if (kind == PLN_TABLE)
                    *out += (out->empty() ? "" : ",") + n->table->alias;
                return 1;
            });
        }
        for (int pass = 0; ok && pass < opens; ++pass) {
            rows.clear();
            ok = rcExeOpenQuery(&stmt) == 0;
            int16_t rc = 0;
            while (ok && (rc = rcExeFetch(&stmt)) >= 0 && rc != PLN_END) {
                std::string row;
                for (uint16_t k = 0; ok && k < stmt.results.size(); ++k) {
                    char buf[PLN_KEY_MAX_VALUE + 100] = {};
                    int32_t len = 0;
                    bool isNull = false;
                    ok = rcExeGetColumn(&stmt, k, SQL_C_CHAR, buf, sizeof buf, &len, 0, &isNull) >=
                         0;
                    if (k)
                        row += '|';
                    row += isNull ? "NULL" : buf;
                }
                rows.push_back(row);
            }
            ok = ok && rc >= 0;
        }
        if (!ok)
            rows = {"ERROR " + FirstMessage(&errors)};
        warning = ok ? FirstMessage(&errors) : "";
        rcExeCloseQuery(&stmt);
        rcPlnStmtFree(&stmt);
        rcFeReset(&prep);
        rcErrQueueDestroy(&errors);
        return rows;
    }

    // Parameter k is the integer params[k].
    static int16_t Param(void *ctx, uint32_t number, rcExpValue *out)
    {
        auto *self = static_cast<ExeQuery *>(ctx);
        *out = rcExpValue();
        out->type = SQL_INTEGER;
        out->length = 4;
        out->v.i32 = number < self->params.size() ? self->params[number] : 0;
        return 0;
    }

    std::vector<int32_t> params;
    std::string warning; // the first message of the last Run that succeeded
};

struct Case {
    const char *sql;
    std::vector<std::string> rows;
    bool ordered;
};

void Check(ExeQuery *, const Case &c, std::vector<std::string> got)
{
    std::vector<std::string> want = c.rows;
    if (!c.ordered) {
        std::sort(want.begin(), want.end());
        std::sort(got.begin(), got.end());
    }
    EXPECT_EQ(got, want) << c.sql;
}

TEST_F(ExeQuery, SelectionAndProjection)
{
    const Case cases[] = {
        {"SELECT Id, Name FROM Emp", {"1|Ann", "2|bob", "3|Cid", "4|dee", "5|Eve", "6|BOB"}, false},
        {"SELECT Name FROM Emp WHERE Salary > 150", {"bob", "Eve", "BOB"}, false},
        {"SELECT Id * 10 + Lvl, {fn UCASE(Name)} FROM Emp WHERE Id <= 2",
         {"12|ANN", "20|BOB"},
         false},
        {"SELECT Name FROM Emp WHERE Name LIKE 'b%'", {"bob", "BOB"}, false},
        {"SELECT Id FROM Emp WHERE Nick IS NULL", {"2", "4"}, false},
        {"SELECT Id FROM Emp WHERE Lvl BETWEEN 0 AND 2 AND NOT Dept = 99", {"1", "2", "6"}, false},
        {"SELECT Id FROM Emp WHERE Dept IN (20, 99) OR Id = 1", {"1", "3", "4", "5"}, false},
        {"SELECT V FROM Nothing", {}, false},
        {"SELECT * FROM Dept", {"10|Sales", "20|Labs", "30|Empty"}, false},
        {"SELECT Id, Bio FROM Emp WHERE Id IN (3, 4)", {"3|short bio", "4|NULL"}, false},
    };
    for (const Case &c : cases)
        Check(this, c, Run(c.sql));
}

TEST_F(ExeQuery, OrderByDistinctAndReopen)
{
    const Case cases[] = {
        {"SELECT Id FROM Emp ORDER BY Salary DESC, Id", {"5", "2", "6", "3", "1", "4"}, true},
        // SMALLINT keys with 0 and negative values sort as values.
        {"SELECT Lvl, Id FROM Emp ORDER BY Lvl, Id",
         {"-1|3", "0|2", "1|6", "2|1", "2|5", "3|4"},
         true},
        {"SELECT Name FROM Emp WHERE Dept = 10 ORDER BY 1 DESC", {"bob", "BOB", "Ann"}, true},
        {"SELECT Id FROM Emp ORDER BY Salary * -1, Id DESC", {"5", "6", "2", "3", "1", "4"}, true},
        // Text keys follow the driver's collation: case does not count.
        {"SELECT DISTINCT Dept FROM Emp", {"10", "20", "99"}, false},
        {"SELECT DISTINCT Salary, Dept FROM Emp ORDER BY 1",
         {"50|20", "100|10", "150|20", "200|10", "300|99"},
         true},
        {"SELECT Id FROM Emp ORDER BY 3", {"ERROR 11407"}, true},
        {"SELECT V FROM Nothing ORDER BY V", {}, true},
    };
    for (const Case &c : cases) {
        std::vector<std::string> got = Run(c.sql, 2);
        if (!got.empty() && got[0].rfind("ERROR", 0) == 0 && c.rows.size() == 1)
            got[0] = got[0].substr(0, c.rows[0].size());
        Check(this, c, got);
    }
    std::vector<std::string> names = Run("SELECT DISTINCT Name FROM Emp WHERE Dept = 10");
    EXPECT_EQ(names.size(), 2u) << "bob and BOB are one value under the collation";
}

// Long values above temporary tables: an ordering carries them itself (in
// its sort file); the rows of the other tables keep their tables' bookmarks,
// and the long value is read from the table again.
TEST_F(ExeQuery, LongValuesAboveTemporaryTables)
{
    const std::string longBio = std::string(300, 'x') + "END";
    const Case cases[] = {
        {"SELECT Id, Bio FROM Emp WHERE Id IN (1, 3, 4) ORDER BY Name DESC",
         {"4|NULL", "3|short bio", "1|" + longBio},
         true},
        {"SELECT DISTINCT Dept, Bio FROM Emp WHERE Dept = 20", {"20|short bio", "20|NULL"}, false},
        {"SELECT d.Title, e.Bio FROM {oj Dept d LEFT OUTER JOIN Emp e ON e.Dept = d.Id AND e.Lvl < "
         "e.Id - e.Id} ORDER BY 1",
         {"Empty|NULL", "Labs|short bio", "Sales|NULL"},
         true},
        // MIN and MAX keep the first 255 characters of a long value.
        {"SELECT Dept, MAX(Name), MAX(Bio) FROM Emp GROUP BY Dept ORDER BY 1",
         {"10|bob|" + longBio.substr(0, RC_TMP_MAX_VALUE - 1), "20|dee|short bio", "99|Eve|NULL"},
         true},
    };
    for (const Case &c : cases)
        Check(this, c, Run(c.sql, 2));
}

// A server that refuses to go back to a saved selection: the rows of a sort
// above a table cannot be restored from their bookmarks.
class ExeQueryNoBookmarks : public ExeQuery {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new qxtest::TempDir("qxnobm");
        server_ = new QxServerProcess();
        std::string error;
        ASSERT_TRUE(server_->Start(
            {"--fixture", QX_EXEC_FIXTURE, "--log", LogPath(), "--fail", "84:-9999"}, &error))
            << error;
    }
    static void TearDownTestSuite() { StopServer(); }
};

// The failed restore is one error record: the data module's message with
// the bookmark text (not the text posted as a message of its own). An
// ordering carries its long values itself and needs no restore.
TEST_F(ExeQueryNoBookmarks, AFailedBookmarkRestoreIsOneRecord)
{
    rcErrorQueue errors{};
    rcConnFeSource src(conn_);
    auto run = [&](const char *sql) {
        rcPrepared prep;
        rcPlnStmt stmt;
        rcPlnStmtInit(&stmt, &errors, conn_->session);
        stmt.fnCode = &FnCode;
        EXPECT_GE(rcDrsPrepare(&prep, &src, &errors, sql, true), 0) << sql;
        EXPECT_EQ(rcPlnBuild(&stmt, prep.root), 0) << sql;
        int16_t rc = rcExeOpenQuery(&stmt);
        int rows = 0;
        while (rc == 0 && (rc = rcExeFetch(&stmt)) == PLN_ROW)
            ++rows;
        rcExeCloseQuery(&stmt);
        rcPlnStmtFree(&stmt);
        rcFeReset(&prep);
        return rc == PLN_END ? rows : -1;
    };
    EXPECT_EQ(run("SELECT Id, Bio FROM Emp ORDER BY Id DESC"), 6);
    EXPECT_EQ(errors.list != nullptr ? rcListCount(errors.list) : 0u, 0u);
    EXPECT_EQ(run("SELECT DISTINCT Id, Bio FROM Emp"), -1);
    ASSERT_NE(errors.list, nullptr);
    EXPECT_EQ(rcListCount(errors.list), 1u);
    auto *r = static_cast<rcErrorRecord *>(rcListAt(errors.list, 0));
    EXPECT_NE(r->msgId, static_cast<uint32_t>(RC_TXT_BOOKMARK_ERROR));
    EXPECT_NE(r->native, 0); // the data module's code
    ASSERT_NE(r->text, nullptr);
    EXPECT_NE(std::string(r->text).find("Bookmark Error"), std::string::npos) << r->text;
    rcErrQueueDestroy(&errors);
}

TEST_F(ExeQuery, Subqueries)
{
    const Case cases[] = {
        {"SELECT Id FROM Emp WHERE Dept IN (SELECT Id FROM Dept)",
         {"1", "2", "3", "4", "6"},
         false},
        {"SELECT Id FROM Emp WHERE Dept NOT IN (SELECT Id FROM Dept)", {"5"}, false},
        // A NULL among the subquery's values: NOT IN is never TRUE.
        {"SELECT Id FROM Emp WHERE Nick IN (SELECT Nick FROM Emp WHERE Id > 3)", {"5", "6"}, false},
        {"SELECT Id FROM Emp WHERE Nick NOT IN (SELECT Nick FROM Emp WHERE Id > 3)", {}, false},
        {"SELECT Title FROM Dept d WHERE EXISTS (SELECT Id FROM Emp e WHERE e.Dept = d.Id)",
         {"Sales", "Labs"},
         false},
        {"SELECT Title FROM Dept d WHERE NOT EXISTS (SELECT Id FROM Emp e WHERE e.Dept = d.Id)",
         {"Empty"},
         false},
        {"SELECT Title FROM Dept WHERE EXISTS (SELECT V FROM Nothing)", {}, false},
        {"SELECT Id FROM Emp WHERE Salary > ALL (SELECT Salary FROM Emp WHERE Dept = 20)",
         {"2", "5", "6"},
         false},
        // ALL over no rows holds.
        {"SELECT Id FROM Emp WHERE Salary > ALL (SELECT Salary FROM Emp WHERE Dept = 11)",
         {"1", "2", "3", "4", "5", "6"},
         false},
        {"SELECT Id FROM Emp WHERE Salary >= ANY (SELECT Salary FROM Emp WHERE Dept = 99)",
         {"5"},
         false},
        {"SELECT Id FROM Emp WHERE Salary = (SELECT MAX(Salary) FROM Emp)", {"5"}, false},
        {"SELECT Id FROM Emp e WHERE Salary > (SELECT AVG(Salary) FROM Emp m WHERE m.Dept = "
         "e.Dept)",
         {"2", "3", "6"},
         false},
        {"SELECT d.Title FROM Dept d WHERE d.Id IN (SELECT Dept FROM Emp GROUP BY Dept HAVING "
         "COUNT(*) > 1) "
         "ORDER BY 1",
         {"Labs", "Sales"},
         true},
        {"SELECT Id FROM Emp WHERE Dept = (SELECT Id FROM Dept)", {"ERROR 11482"}, true},
    };
    for (const Case &c : cases) {
        std::vector<std::string> got = Run(c.sql, 2);
        if (!got.empty() && got[0].rfind("ERROR", 0) == 0 && c.rows.size() == 1)
            got[0] = got[0].substr(0, c.rows[0].size());
        Check(this, c, got);
    }
}

// Subquery predicates follow three-valued logic: a NULL among the rows, a
// NULL outer value or an empty single-row subquery makes the predicate
// UNKNOWN, which NOT leaves UNKNOWN. Correlated subqueries read the outer
// row of the moment, also from HAVING and two levels down.
TEST_F(ExeQuery, SubqueriesThreeValuedAndCorrelated)
{
    const Case cases[] = {
        // Nick values of Id 3 and 4: 'cc' and NULL; of Id > 3: NULL, 'ev', 'bb'.
        {"SELECT Id FROM Emp WHERE NOT (Nick IN (SELECT Nick FROM Emp WHERE Id > 3))", {}, false},
        {"SELECT Id FROM Emp WHERE NOT (Nick IN (SELECT Nick FROM Emp WHERE Id = 1))",
         {"3", "5", "6"},
         false},
        {"SELECT Id FROM Emp WHERE Nick NOT IN (SELECT Nick FROM Emp WHERE Id > 100)",
         {"1", "2", "3", "4", "5", "6"},
         false},
        {"SELECT Id FROM Emp WHERE Nick > ALL (SELECT Nick FROM Emp WHERE Id IN (3, 4))",
         {},
         false},
        {"SELECT Id FROM Emp WHERE NOT (Nick > ALL (SELECT Nick FROM Emp WHERE Id IN (3, 4)))",
         {"1", "3", "6"},
         false},
        {"SELECT Id FROM Emp WHERE NOT (Nick = ANY (SELECT Nick FROM Emp WHERE Id IN (3, 4)))",
         {},
         false},
        {"SELECT Id FROM Emp WHERE Nick = ANY (SELECT Nick FROM Emp WHERE Id IN (3, 4)) OR Id = 1",
         {"1", "3"},
         false},
        {"SELECT Id FROM Emp WHERE NOT (Nick > ALL (SELECT Nick FROM Emp WHERE Id > 100))",
         {},
         false},
        // A single-row subquery without a row, or with a NULL, is NULL.
        {"SELECT Id FROM Emp WHERE NOT (Salary = (SELECT Salary FROM Emp WHERE Id = 99))",
         {},
         false},
        {"SELECT Id FROM Emp WHERE NOT (Nick = (SELECT Nick FROM Emp WHERE Id = 2))", {}, false},
        {"SELECT Id FROM Emp WHERE Salary < (SELECT MAX(Salary) FROM Emp WHERE Dept = 20) AND Lvl "
         "> 0",
         {"1", "4"},
         false},
        // Correlated, in WHERE and in HAVING.
        {"SELECT Id FROM Emp e WHERE Salary >= ALL (SELECT Salary FROM Emp m WHERE m.Dept = "
         "e.Dept)",
         {"2", "3", "5", "6"},
         false},
        {"SELECT Id FROM Emp e WHERE Lvl < ANY (SELECT Lvl FROM Emp m WHERE m.Dept = e.Dept)",
         {"2", "3", "6"},
         false},
        {"SELECT Dept FROM Emp e GROUP BY Dept HAVING MAX(Salary) > (SELECT AVG(Salary) FROM Emp m "
         "WHERE m.Dept = e.Dept)",
         {"10", "20"},
         false},
        {"SELECT Dept FROM Emp e GROUP BY Dept HAVING EXISTS (SELECT Id FROM Dept d WHERE d.Id = "
         "e.Dept)",
         {"10", "20"},
         false},
        {"SELECT Dept, COUNT(*) FROM Emp GROUP BY Dept HAVING COUNT(*) > (SELECT COUNT(*) FROM "
         "Dept "
         "WHERE Id > 10)",
         {"10|3"},
         false},
        {"SELECT Dept FROM Emp GROUP BY Dept HAVING Dept NOT IN (SELECT Id FROM Dept)",
         {"99"},
         false},
        // Two levels down, reading both enclosing blocks.
        {"SELECT Title FROM Dept d WHERE EXISTS (SELECT Id FROM Emp e WHERE e.Dept = d.Id AND "
         "e.Salary > (SELECT AVG(Salary) FROM Emp m WHERE m.Dept = e.Dept))",
         {"Sales", "Labs"},
         false},
        {"SELECT Title FROM Dept d WHERE Id IN (SELECT Dept FROM Emp e WHERE Lvl IN (SELECT Lvl "
         "FROM Emp x WHERE x.Dept <> d.Id AND x.Id <> e.Id))",
         {"Sales"},
         false},
        {"SELECT Id FROM Emp WHERE Dept IN (SELECT Id FROM Dept WHERE Id IN (SELECT Dept FROM Emp "
         "WHERE Lvl < 0))",
         {"3", "4"},
         false},
    };
    for (const Case &c : cases) {
        Check(this, c, Run(c.sql, 2));
        Check(this, c, Run(c.sql, 1, PLN_OPT_NOINDEXES | PLN_OPT_NOJOINOPT));
    }
}

// UNION removes duplicates over every column with the driver's collation,
// UNION ALL appends; mixed operators are read from the left; ORDER BY of a
// UNION takes ordinals (then the other columns order the rows).
TEST_F(ExeQuery, Unions)
{
    const Case cases[] = {
        {"SELECT Dept FROM Emp UNION SELECT Id FROM Dept", {"10", "20", "30", "99"}, false},
        {"SELECT Dept FROM Emp UNION ALL SELECT Id FROM Dept ORDER BY 1",
         {"10", "10", "10", "10", "20", "20", "20", "30", "99"},
         true},
        {"SELECT Dept FROM Emp WHERE Id = 1 UNION ALL SELECT Id FROM Dept WHERE Id = 10",
         {"10", "10"},
         false},
        // Rows equal on the ORDER BY column but not on the others stay.
        {"SELECT Dept, Lvl FROM Emp UNION SELECT Dept, Lvl FROM Emp ORDER BY 1",
         {"10|0", "10|1", "10|2", "20|-1", "20|3", "99|2"},
         true},
        {"SELECT Id, Dept FROM Emp WHERE Id < 3 UNION SELECT Id, Id FROM Dept ORDER BY 2 DESC",
         {"30|30", "20|20", "1|10", "2|10", "10|10"},
         true},
        // Left to right: (Emp UNION Emp) UNION ALL Dept, and the reverse.
        {"SELECT Dept FROM Emp UNION SELECT Dept FROM Emp UNION ALL SELECT Id FROM Dept",
         {"10", "20", "99", "10", "20", "30"},
         false},
        {"SELECT Id FROM Dept UNION ALL SELECT Id FROM Dept UNION SELECT Dept FROM Emp",
         {"10", "20", "30", "99"},
         false},
        {"SELECT Id FROM Dept UNION ALL (SELECT Dept FROM Emp UNION SELECT Dept FROM Emp) ORDER "
         "BY 1 DESC",
         {"99", "30", "20", "20", "10", "10"},
         true},
        // NULLs are one value for duplicate removal.
        {"SELECT Nick FROM Emp UNION SELECT Nick FROM Emp WHERE Id > 4",
         {"NULL", "an", "bb", "cc", "ev"},
         false},
        {"SELECT V FROM Nothing UNION ALL SELECT V FROM Nothing", {}, false},
        {"SELECT V FROM Nothing UNION SELECT V FROM Nothing ORDER BY 1", {}, true},
        // Branches with their own groups, subqueries and sorts.
        {"SELECT Dept, COUNT(*) FROM Emp GROUP BY Dept UNION SELECT Id, COUNT(*) FROM Dept WHERE "
         "Id IN (SELECT Dept FROM Emp) GROUP BY Id ORDER BY 1, 2",
         {"10|1", "10|3", "20|1", "20|2", "99|1"},
         true},
        {"SELECT DISTINCT Dept FROM Emp UNION ALL SELECT e.Dept FROM Emp e WHERE EXISTS (SELECT "
         "Id FROM Dept d WHERE d.Id = e.Dept AND d.Title = 'Labs')",
         {"10", "20", "99", "20", "20"},
         false},
        // Character columns as wide as the widest branch's.
        {"SELECT Nick FROM Emp WHERE Id = 1 UNION ALL SELECT Name FROM Emp WHERE Id = 1",
         {"an", "Ann"},
         false},
        {"SELECT Id FROM Emp UNION SELECT Id FROM Dept ORDER BY 2", {"ERROR 11407"}, true},
        {"SELECT Id FROM Emp UNION SELECT Id FROM Dept ORDER BY Id", {"ERROR 5124"}, true},
        {"SELECT Id, Name FROM Emp UNION SELECT Id FROM Dept", {"ERROR 11483"}, true},
    };
    for (const Case &c : cases) {
        std::vector<std::string> got = Run(c.sql, 2);
        if (!got.empty() && got[0].rfind("ERROR", 0) == 0 && c.rows.size() == 1)
            got[0] = got[0].substr(0, c.rows[0].size());
        Check(this, c, got);
        if (c.rows.empty() || c.rows[0].rfind("ERROR", 0) != 0) {
            std::vector<std::string> plain = Run(c.sql, 1, PLN_OPT_NOINDEXES | PLN_OPT_NOJOINOPT);
            Check(this, c, plain);
        }
    }
    // Every column of every table, long values included, and parameters in
    // both blocks.
    EXPECT_EQ(Run("SELECT * FROM Emp UNION SELECT * FROM Emp").size(), 6u);
    EXPECT_EQ(Run("SELECT * FROM Emp UNION ALL SELECT * FROM Emp WHERE Id = 3").size(), 7u);
    // Long values come whole through UNION ALL, and through a sort up to
    // PLN_KEY_MAX_VALUE bytes; a sort keeps a longer one's first bytes and
    // says so.
    const std::string longBio = std::string(300, 'x') + "END";
    Check(this, {"", {longBio, "short bio"}, false},
          Run("SELECT Bio FROM Emp WHERE Id = 1 UNION ALL SELECT Bio FROM Emp WHERE Id = 3"));
    EXPECT_EQ(warning, "");
    Check(this, {"", {longBio, "short bio"}, false},
          Run("SELECT Bio FROM Emp WHERE Id = 1 UNION SELECT Bio FROM Emp WHERE Id IN (1, 3)"));
    EXPECT_EQ(warning, "");
    std::string bios = "Bio", repeated = longBio;
    for (int k = 0; k < 13; ++k) {
        bios = "{fn CONCAT(Bio, " + bios + ")}";
        repeated += longBio;
    }
    Check(this, {"", {repeated.substr(0, PLN_KEY_MAX_VALUE)}, false},
          Run("SELECT " + bios + " FROM Emp WHERE Id = 1 UNION SELECT " + bios +
              " FROM Emp WHERE Id = 1"));
    EXPECT_EQ(warning, "5102");
    params = {3, 20};
    Check(this,
          {"SELECT Id FROM Emp WHERE Id = ? UNION SELECT Id FROM Dept WHERE Id = ?",
           {"3", "20"},
           false},
          Run("SELECT Id FROM Emp WHERE Id = ? UNION SELECT Id FROM Dept WHERE Id = ?"));
    // bob and BOB are one value under the collation.
    EXPECT_EQ(Run("SELECT Name FROM Emp WHERE Id IN (2, 6) UNION SELECT Title FROM Dept WHERE Id "
                  "= 10")
                  .size(),
              2u);
}

TEST_F(ExeQuery, SetFunctionsAndGroups)
{
    const Case cases[] = {
        {"SELECT COUNT(*), SUM(Salary), MIN(Name), MAX(Lvl), AVG(Lvl) FROM Emp",
         {"6|1000|Ann|3|1.16666666666667"},
         true},
        // Over no rows: COUNT 0, the others NULL.
        {"SELECT COUNT(*), COUNT(V), SUM(V), MIN(V), AVG(V) FROM Nothing",
         {"0|0|NULL|NULL|NULL"},
         true},
        {"SELECT COUNT(Nick) FROM Emp", {"4"}, true},
        {"SELECT Dept, COUNT(*), SUM(Salary) FROM Emp GROUP BY Dept",
         {"10|3|500", "20|2|200", "99|1|300"},
         false},
        {"SELECT Dept, MAX(Salary) FROM Emp GROUP BY Dept HAVING COUNT(*) > 1",
         {"10|200", "20|150"},
         false},
        {"SELECT Dept, SUM(Lvl) FROM Emp GROUP BY Dept ORDER BY 2 DESC",
         {"10|3", "20|2", "99|2"},
         true},
        {"SELECT Dept FROM Emp WHERE Id > 100 GROUP BY Dept", {}, true},
        {"SELECT Dept FROM Emp GROUP BY Dept HAVING COUNT(*) > 10", {}, true},
    };
    for (const Case &c : cases)
        Check(this, c, Run(c.sql, 2));
}

TEST_F(ExeQuery, Joins)
{
    const Case cases[] = {
        {"SELECT Emp.Name, Dept.Title FROM Emp, Dept WHERE Emp.Dept = Dept.Id AND Emp.Salary >= "
         "150",
         {"bob|Sales", "BOB|Sales", "Cid|Labs"},
         false},
        {"SELECT COUNT(*) FROM Emp, Dept", {"18"}, true},
        {"SELECT e.Name FROM Emp e, Emp m WHERE e.Dept = m.Dept AND m.Id = 3 AND e.Id <> 3",
         {"dee"},
         false},
        {"SELECT d.Title, e.Id FROM {oj Dept d LEFT OUTER JOIN Emp e ON e.Dept = d.Id} ORDER BY 1, "
         "2",
         {"Empty|NULL", "Labs|3", "Labs|4", "Sales|1", "Sales|2", "Sales|6"},
         true},
        // WHERE on the inner table runs after the NULL rows are made.
        {"SELECT d.Title FROM {oj Dept d LEFT OUTER JOIN Emp e ON e.Dept = d.Id} WHERE e.Id IS "
         "NULL",
         {"Empty"},
         false},
        {"SELECT d.Title, COUNT(e.Id) FROM {oj Dept d LEFT OUTER JOIN Emp e ON e.Dept = d.Id AND "
         "e.Lvl > e.Id} "
         "GROUP BY d.Title",
         {"Empty|0", "Labs|0", "Sales|1"},
         false},
        {"SELECT a.Id FROM Nothing n, Emp a", {}, false},
        {"SELECT a.Id FROM Emp a, Nothing n", {}, false},
    };
    for (const Case &c : cases)
        Check(this, c, Run(c.sql, 2));
}

struct IndexCase {
    const char *sql;
    const char *access; // tables and joins in plan order
    std::vector<std::string> rows;
};

// Every query gives the same rows through index ranges and the chosen join
// order as with NoIndexes and with the tables joined in text order.
TEST_F(ExeQuery, IndexRangesGiveTheRowsOfAScan)
{
    const IndexCase cases[] = {
        {"SELECT Name FROM Emp WHERE Id = 3", "I", {"Cid"}},
        // Key lists: one range per value, a repeated value read once.
        {"SELECT Id FROM Emp WHERE 4 = Id OR Id = 5", "I", {"4", "5"}},
        {"SELECT Id FROM Emp WHERE Id IN (6, 1, 6, 9, 1.0)", "I", {"1", "6"}},
        {"SELECT Id FROM Emp WHERE Name IN ('bob', 'BOB ', 'eve')", "I", {"2", "5", "6"}},
        {"SELECT Id FROM Emp WHERE Id = 1 OR Dept = 20", "S", {"1", "3", "4"}},
        {"SELECT Id FROM Emp WHERE Id NOT IN (1, 2, 3)", "S", {"4", "5", "6"}},
        {"SELECT d.Title, e.Id FROM Dept d, Emp e WHERE (e.Dept = d.Id OR 99 = e.Dept) AND d.Id < "
         "20",
         "J4II",
         {"Sales|1", "Sales|2", "Sales|6", "Sales|5"}},
        // The driver's comparison: case and trailing blanks do not count.
        {"SELECT Id FROM Emp WHERE Name = 'bob   '", "I", {"2", "6"}},
        {"SELECT Id FROM Emp WHERE Name LIKE 'b%'", "I", {"2", "6"}},
        {"SELECT Id FROM Emp WHERE Name LIKE '%b'", "S", {"2", "6"}},
        // Ranges over text are filters: the server's order of text values is
        // its own, a range through a text index would start and stop
        // otherwise than the driver's collation.
        {"SELECT Id FROM Emp WHERE Name > 'Bob' AND Name <= 'DEE'", "S", {"3", "4"}},
        {"SELECT Id FROM Emp WHERE Id BETWEEN 2 AND 4", "I", {"2", "3", "4"}},
        {"SELECT Id FROM Emp WHERE Id < 3", "I", {"1", "2"}},
        {"SELECT Id FROM Emp WHERE 3 >= Id AND Id > 1", "I", {"2", "3"}},
        // Keys that are no value of the column.
        {"SELECT Id FROM Emp WHERE Id = 2.5", "I", {}},
        {"SELECT Id FROM Emp WHERE Id > 4.5", "I", {"5", "6"}},
        {"SELECT Id FROM Emp WHERE Id >= -0.5 AND Id < 2", "I", {"1"}},
        {"SELECT Id FROM Emp WHERE Name = 'bobbobbobbobbobbobbobbob'", "I", {}},
        {"SELECT Id FROM Emp WHERE Name > 'dddddddddddddddddddddddddddd'", "S", {"4", "5"}},
        {"SELECT Id FROM Emp WHERE Name LIKE 'eveeveeveeveeveeveeveeve%'", "I", {}},
        {"SELECT Id FROM Emp WHERE Dept = 10 AND Salary > 100", "I", {"2", "6"}},
        {"SELECT Id FROM Emp WHERE Dept = 11", "I", {}},
        // Joins whose inner table is read through its index once per outer
        // row; an outer row without a match does not end the join.
        {"SELECT d.Title, e.Id FROM Dept d, Emp e WHERE e.Dept = d.Id",
         "J4SI",
         {"Labs|3", "Labs|4", "Sales|1", "Sales|2", "Sales|6"}},
        {"SELECT e.Id, d.Title FROM Emp e, Dept d WHERE d.Id = e.Dept AND e.Id > 2",
         "J4SI",
         {"3|Labs", "4|Labs", "6|Sales"}},
        {"SELECT d.Title, e.Id FROM {oj Dept d LEFT OUTER JOIN Emp e ON e.Dept = d.Id}",
         "J2SI",
         {"Empty|NULL", "Labs|3", "Labs|4", "Sales|1", "Sales|2", "Sales|6"}},
        {"SELECT e.Id, d.Title FROM {oj Emp e LEFT OUTER JOIN Dept d ON d.Id = e.Dept} WHERE e.Lvl "
         "= 2",
         "J2SI",
         {"1|Sales", "5|NULL"}},
        {"SELECT d.Id, COUNT(*) FROM Dept d, Emp e WHERE e.Dept = d.Id GROUP BY d.Id ORDER BY 2 "
         "DESC",
         "TtJ4II",
         {"10|3", "20|2"}},
        // Join order: the table with a point key drives, the others follow
        // through their join indexes.
        {"SELECT d.Title FROM Dept d, Emp e WHERE e.Dept = d.Id AND e.Id = 3", "J4II", {"Labs"}},
        {"SELECT m.Id FROM Emp m, Dept d, Emp e WHERE e.Dept = d.Id AND m.Dept = d.Id AND e.Id = 1",
         "J4J4III",
         {"1", "2", "6"}},
        {"SELECT n.V, d.Id FROM Dept d, Nothing n", "J1SS", {}},
        // ORDER BY an ascending index of the driving table reads it in key
        // order; other directions and other tables sort, and so do text
        // keys (sorted by the driver's collation, whatever the plan).
        {"SELECT Name, Id FROM Emp ORDER BY Name, Id",
         "TS",
         {"Ann|1", "bob|2", "BOB|6", "Cid|3", "dee|4", "Eve|5"}},
        {"SELECT Name FROM Emp WHERE Id < 3 ORDER BY Name", "TI", {"Ann", "bob"}},
        {"SELECT Id FROM Emp WHERE Id > 3 ORDER BY 1", "I", {"4", "5", "6"}},
        {"SELECT Id FROM Emp WHERE Dept = 10 ORDER BY Id", "TI", {"1", "2", "6"}},
        {"SELECT Id FROM Emp ORDER BY Id DESC", "TS", {"6", "5", "4", "3", "2", "1"}},
        {"SELECT e.Id, d.Title FROM Emp e, Dept d WHERE d.Id = e.Dept ORDER BY e.Id",
         "J4II",
         {"1|Sales", "2|Sales", "3|Labs", "4|Labs", "6|Sales"}},
        {"SELECT e.Id FROM Emp e, Dept d WHERE d.Id = e.Dept ORDER BY d.Id, e.Id",
         "TJ4SI",
         {"1", "2", "6", "3", "4"}},
        // GROUP BY the columns an ascending index leads with: the driving
        // table is read in key order and the groups' rows are not sorted;
        // not on text columns, nor when another index reads the table.
        {"SELECT Dept, COUNT(*), MIN(Id) FROM Emp GROUP BY Dept",
         "tI",
         {"10|3|1", "20|2|3", "99|1|5"}},
        {"SELECT Dept, SUM(Lvl) FROM Emp WHERE Lvl >= 0 GROUP BY Dept HAVING COUNT(*) > 1",
         "tI",
         {"10|3"}},
        {"SELECT d.Title, COUNT(*) FROM Emp e, Dept d WHERE e.Dept = d.Id GROUP BY e.Dept, "
         "d.Title",
         "TJ4SI",
         {"Sales|3", "Labs|2"}},
        {"SELECT COUNT(*) FROM Emp GROUP BY Name", "TS", {"1", "2", "1", "1", "1"}},
        // DISTINCT on such columns likewise.
        {"SELECT DISTINCT Dept FROM Emp", "tI", {"10", "20", "99"}},
        {"SELECT DISTINCT e.Dept FROM Dept d, Emp e WHERE e.Dept = d.Id", "tJ4II", {"10", "20"}},
        {"SELECT DISTINCT Dept, Name FROM Emp WHERE Id < 3", "TI", {"10|Ann", "10|bob"}},
        {"SELECT DISTINCT Lvl FROM Emp WHERE Lvl > 1", "TS", {"2", "3"}},
        {"SELECT Dept, COUNT(*) FROM Emp WHERE Id > 3 GROUP BY Dept",
         "TI",
         {"20|1", "99|1", "10|1"}},
    };
    // The plans are those of the nested loop (NoHashOpt); hash joins give
    // the same rows.
    for (const IndexCase &c : cases) {
        std::string access, scanAccess;
        std::vector<std::string> want = c.rows;
        std::vector<std::string> got = Run(c.sql, 2, PLN_OPT_NOHASHOPT, &access);
        std::vector<std::string> hashed = Run(c.sql, 2);
        std::vector<std::string> scanned = Run(c.sql, 1, PLN_OPT_NOINDEXES, &scanAccess);
        std::vector<std::string> textOrder = Run(c.sql, 1, PLN_OPT_NOJOINOPT);
        bool ordered = std::string(c.sql).find("ORDER BY") != std::string::npos;
        if (!ordered) {
            std::sort(want.begin(), want.end());
            std::sort(got.begin(), got.end());
            std::sort(hashed.begin(), hashed.end());
            std::sort(scanned.begin(), scanned.end());
            std::sort(textOrder.begin(), textOrder.end());
        }
        EXPECT_EQ(textOrder, want) << c.sql << " (NoJoinOpt)";
        EXPECT_EQ(got, want) << c.sql;
        EXPECT_EQ(hashed, want) << c.sql << " (hash joins)";
        EXPECT_EQ(scanned, want) << c.sql << " (NoIndexes)";
        EXPECT_EQ(access, c.access) << c.sql;
        EXPECT_EQ(scanAccess.find('I'), std::string::npos) << c.sql;
    }
}

struct JoinOrderCase {
    const char *sql;
    const char *tables; // correlation names in plan order, the driving table first
    std::vector<std::string> rows;
};

// The join order follows the tables' costs (their row counts narrowed by
// their own restrictions): among the tables no join index reaches, the
// costliest drives; when an index reaches every table, the cheapest; then
// the tables reached through a join index, cheapest first. An ORDER BY that
// an ascending index of one table answers makes that table drive. NoJoinOpt
// keeps the FROM order; every order gives the same rows.
TEST_F(ExeQuery, JoinOrderFollowsCost)
{
    const JoinOrderCase cases[] = {
        // No index on either join column: Emp (6 rows) drives, Dept (3) is
        // read again for every Emp row.
        {"SELECT d.Id, e.Id FROM Dept d, Emp e WHERE d.Title = e.Nick", "e,d", {}},
        // A condition over an expression joins no pair: the tables keep the
        // FROM order.
        {"SELECT d.Id, e.Id FROM Dept d, Emp e WHERE d.Id * 0 = e.Lvl",
         "d,e",
         {"10|2", "20|2", "30|2"}},
        // Both reached through a join index: the cheaper Dept drives.
        {"SELECT e.Id, d.Title FROM Emp e, Dept d WHERE d.Id = e.Dept",
         "d,e",
         {"1|Sales", "2|Sales", "3|Labs", "4|Labs", "6|Sales"}},
        // Emp's equality on its unique key leaves one row: no join index is
        // sought for it and it drives.
        {"SELECT d.Title FROM Dept d, Emp e WHERE e.Dept = d.Id AND e.Id = 4", "e,d", {"Labs"}},
        // ORDER BY Emp's unique key: Emp drives and is read in key order.
        {"SELECT e.Id, d.Title FROM Dept d, Emp e WHERE d.Id = e.Dept ORDER BY e.Id",
         "e,d",
         {"1|Sales", "2|Sales", "3|Labs", "4|Labs", "6|Sales"}},
        // Not for a descending key, nor for a key of two tables.
        {"SELECT e.Id FROM Emp e, Dept d WHERE d.Id = e.Dept ORDER BY e.Id DESC",
         "d,e",
         {"6", "4", "3", "2", "1"}},
        // Three tables: Dept reaches both copies of Emp through their
        // Dept index; the first pair it is in (with e) comes first, then m
        // through its join index.
        {"SELECT m.Id, e.Id FROM Emp m, Emp e, Dept d WHERE e.Dept = d.Id AND m.Dept = d.Id AND "
         "d.Title = 'Labs' AND m.Id < e.Id",
         "d,e,m",
         {"3|4"}},
        // GROUP BY Emp's Dept index: Emp drives and is read in key order.
        {"SELECT e.Dept, COUNT(*) FROM Dept d, Emp e WHERE d.Id = e.Dept GROUP BY e.Dept",
         "e,d",
         {"10|3", "20|2"}},
        // Unrelated tables: a cross product in FROM order.
        {"SELECT COUNT(*) FROM Dept d, Nothing n", "d,n", {"0"}},
        // Groups of tables no condition joins: the groups of one pair come
        // first, in FROM order, each later group of several tables joined
        // as the outer side of what came before, a single table as its
        // inner side.
        {"SELECT COUNT(*) FROM Nothing n, Dept d, Emp e WHERE e.Dept = d.Id", "d,e,n", {"0"}},
        {"SELECT a.Id, c.Id FROM Emp a, Dept b, Emp c, Dept d WHERE a.Dept = b.Id AND c.Dept = "
         "d.Id AND a.Id = 1 AND c.Id = 3",
         "c,d,a,b",
         {"1|3"}},
        {"SELECT COUNT(*) FROM Dept x, Emp m, Emp e, Dept d WHERE e.Dept = d.Id AND m.Dept = d.Id",
         "d,e,m,x",
         {"39"}},
    };
    for (const JoinOrderCase &c : cases) {
        std::string tables, textTables;
        std::vector<std::string> want = c.rows;
        std::vector<std::string> got = Run(c.sql, 1, 0, nullptr, &tables);
        std::vector<std::string> textOrder = Run(c.sql, 1, PLN_OPT_NOJOINOPT, nullptr, &textTables);
        if (std::string(c.sql).find("ORDER BY") == std::string::npos) {
            std::sort(want.begin(), want.end());
            std::sort(got.begin(), got.end());
            std::sort(textOrder.begin(), textOrder.end());
        }
        EXPECT_EQ(got, want) << c.sql;
        EXPECT_EQ(textOrder, want) << c.sql << " (NoJoinOpt)";
        EXPECT_EQ(tables, c.tables) << c.sql;
    }
}

// The server's request log: what a point query by a unique index sends.
TEST_F(ExeQuery, PointQueryIsOneSearchOnTheServer)
{
    auto logSize = [] {
        std::ifstream in(*dir_ / "server.log", std::ios::ate);
        return static_cast<std::streamoff>(in.tellg());
    };
    auto searchesSince = [](std::streamoff from) {
        std::ifstream in(*dir_ / "server.log");
        in.seekg(from);
        std::vector<std::string> out;
        for (std::string line; std::getline(in, line);)
            if (line.find("search table") != std::string::npos)
                out.push_back(line.substr(line.find("search table")));
        return out;
    };
    std::streamoff before = logSize();
    EXPECT_EQ(Run("SELECT Name FROM Emp WHERE Id = 3"), std::vector<std::string>{"Cid"});
    std::vector<std::string> searches = searchesSince(before);
    ASSERT_EQ(searches.size(), 1u);
    EXPECT_NE(searches[0].find("=3"), std::string::npos) << searches[0];
    before = logSize();
    EXPECT_EQ(Run("SELECT Name FROM Emp WHERE Id = 3", 1, PLN_OPT_NOINDEXES),
              std::vector<std::string>{"Cid"});
    EXPECT_TRUE(searchesSince(before).empty());
}

// An uncorrelated subquery compared with values is read from the server
// once per execution, not once per outer row: the requests are those of
// the two queries run apart.
TEST_F(ExeQuery, UncorrelatedSubqueryIsReadOnce)
{
    auto requests = [this](const std::string &sql, std::vector<std::string> *rows) {
        std::ifstream before(*dir_ / "server.log", std::ios::ate);
        std::streamoff from = before.tellg();
        *rows = Run(sql);
        std::ifstream in(*dir_ / "server.log");
        in.seekg(from);
        int n = 0;
        for (std::string line; std::getline(in, line);)
            n += line.find(" request ") != std::string::npos ? 1 : 0;
        return n;
    };
    std::vector<std::string> rows, apart;
    int outer = requests("SELECT Id FROM Emp", &apart);
    int inner = requests("SELECT Id FROM Dept", &apart);
    for (const char *sql :
         {"SELECT Id FROM Emp WHERE Dept IN (SELECT Id FROM Dept)",
          "SELECT Id FROM Emp WHERE Dept > ALL (SELECT Id FROM Dept WHERE Id < 20)",
          "SELECT Id FROM Emp WHERE Dept = (SELECT MAX(Id) FROM Dept) OR Id = 1"}) {
        EXPECT_LE(requests(sql, &rows), outer + inner) << sql;
        EXPECT_FALSE(rows.empty()) << sql;
    }
}

TEST_F(ExeQuery, ParametersTakeTheirValuesAtEachOpen)
{
    std::string access;
    params = {3};
    EXPECT_EQ(Run("SELECT Name FROM Emp WHERE Id = ?", 1, 0, &access),
              std::vector<std::string>{"Cid"});
    EXPECT_EQ(access, "I");
    params = {10, 150};
    std::vector<std::string> got =
        Run("SELECT Id FROM Emp WHERE Dept = ? AND Salary < ? + Lvl", 1, 0, &access);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"1"}));
    EXPECT_EQ(access, "I");
}

} // namespace
