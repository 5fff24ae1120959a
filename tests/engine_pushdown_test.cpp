// Push-down against the QX Server emulator: which conditions a table's
// filter takes and which stay with the engine, the searches the server is
// sent (one per query block: each SELECT of a UNION, each subquery), the
// rows (always those of NoFiltOpt), parameters bound at each open, MIN and
// MAX by index seeks and the join offer.
#include "tests/engine_server_fixture.h"
#include "tests/server_log.h"
#include "driver/core/rcerror.h"
#include "driver/engine/exec/rcexe.h"
#include "driver/engine/rcengopt.h"
#include "driver/engine/plan/rcpln.h"
#include "driver/engine/plan/rcplnpush.h"
#include "driver/frontend/fe_prepared.h"
#include "driver/frontend/rcprsfn.h"
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcodbc_impl.h"
#include "driver/odbc/rcstmt_source.h"
#include "driver/odbc/rctxn.h"
#include "driver/Sources/drm_session.h"
#include "driver/engine/tam.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kFilterMask = 0x1001ff; // what the data module reports
constexpr uint32_t kNoFiltOpt = 0x800;
constexpr uint32_t kNoIndexes = 0x4000;

// A parameter value for a run: an integer, a double or a text.
struct Value {
    int16_t type;
    int64_t i = 0;
    double d = 0;
    std::string text;
};
Value Int(int32_t v) { return {SQL_INTEGER, v, 0, ""}; }
Value Dbl(double v) { return {SQL_DOUBLE, 0, v, ""}; }
Value Txt(std::string v) { return {SQL_VARCHAR, 0, 0, std::move(v)}; }

// Parameter ids differ from run to run: "?<id>" reads "?".
std::string WithoutIds(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '?')
            while (i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9')
                ++i;
    }
    return out;
}

struct Result {
    std::vector<std::string> rows; // sorted; "ERROR ..." on failure
    std::string filter;            // "Items: c1 = 3; Kinds: ..." with "part" marks
    std::string access;            // how the tables are read
    bool joinOffered = false;
    int32_t joinAnswer = 0;
};

// What the runs since the last look sent the server: their searches
// (sorted, from "search table") and the bytes of every reply.
struct Traffic {
    std::vector<std::string> searches;
    size_t bytes = 0;
};

class PushDown : public EngineServerFixture {
protected:
    static void SetUpTestSuite() { StartServer("qxpush", QX_PUSH_FIXTURE); }
    static void TearDownTestSuite() { StopServer(); }

    // Plans and runs a query (opened once per parameter set).
    Result Run(const std::string &sql, uint32_t options = 0,
               std::vector<std::vector<Value>> runs = {{}}, uint32_t joinMask = 0)
    {
        Result result;
        rcErrorQueue errors{};
        rcConnFeSource src(conn_);
        rcPrepared prep;
        rcPlnStmt stmt;
        rcPlnStmtInit(&stmt, &errors, conn_->session);
        stmt.fnCode = &FnCode;
        stmt.engineOptions = options;
        stmt.filterMask = kFilterMask;
        stmt.joinMask = joinMask;
        stmt.seekFirstLast = true;
        stmt.param = &PushDown::Param;
        stmt.paramCtx = this;
        bool ok = rcDrsPrepare(&prep, &src, &errors, sql.c_str(), true) >= 0 &&
                  rcPlnBuild(&stmt, prep.root) == 0;
        if (ok && stmt.pushDown != nullptr) {
            for (const rcPlnPushedTable &t : stmt.pushDown->tables) {
                if (!result.filter.empty())
                    result.filter += "; ";
                result.filter +=
                    t.table->table->name + ": " +
                    rcFltTreeText(t.filter.data(), t.data.empty() ? nullptr : t.data.data());
                if (t.partial)
                    result.filter += " (part)";
            }
            result.filter = WithoutIds(result.filter);
            result.joinOffered = stmt.pushDown->joinOffered;
            result.joinAnswer = stmt.pushDown->joinAnswer;
        }
        if (ok)
            rcPlnVisit(&result.access, stmt.plan->root, [](void *ctx, uint8_t kind, PlanNode *n) {
                auto *out = static_cast<std::string *>(ctx);
                if (kind == PLN_TABLE)
                    *out += n->access == PLN_ACCESS_INDEX ? "I" : "S";
                if (kind == PLN_SETFUNC && n->index != nullptr)
                    *out += "M";
                if (kind == PLN_TEMPTABLE)
                    *out += "T";
                return 1;
            });
        for (size_t r = 0; ok && r < runs.size(); ++r) {
            values_ = runs[r];
            result.rows.clear();
            ok = rcExeOpenQuery(&stmt) == 0;
            int16_t rc = 0;
            while (ok && (rc = rcExeFetch(&stmt)) >= 0 && rc != PLN_END) {
                std::string row;
                for (uint16_t k = 0; ok && k < stmt.results.size(); ++k) {
                    char buf[400] = {};
                    int32_t len = 0;
                    bool isNull = false;
                    ok = rcExeGetColumn(&stmt, k, SQL_C_CHAR, buf, sizeof buf, &len, 0, &isNull) >=
                         0;
                    if (k > 0)
                        row += '|';
                    row += isNull ? "NULL" : buf;
                }
                result.rows.push_back(row);
            }
            ok = ok && rc >= 0;
            if (r + 1 < runs.size())
                std::sort(result.rows.begin(), result.rows.end());
        }
        if (!ok)
            result.rows = {"ERROR " + FirstMessage(&errors)};
        std::sort(result.rows.begin(), result.rows.end());
        rcExeCloseQuery(&stmt);
        rcPlnStmtFree(&stmt);
        rcFeReset(&prep);
        rcErrQueueDestroy(&errors);
        return result;
    }

    static int16_t Param(void *ctx, uint32_t number, rcExpValue *out)
    {
        auto *self = static_cast<PushDown *>(ctx);
        *out = rcExpValue();
        if (number >= self->values_.size()) {
            out->isNull = 1;
            return 0;
        }
        const Value &v = self->values_[number];
        out->type = v.type;
        if (v.type == SQL_INTEGER) {
            out->v.i32 = static_cast<int32_t>(v.i);
            out->length = 4;
        } else if (v.type == SQL_DOUBLE) {
            out->v.f64 = v.d;
            out->length = 8;
        } else {
            out->text = v.text.c_str();
            out->length = static_cast<uint32_t>(v.text.size());
        }
        return 0;
    }

    // The requests logged since the last call whose text holds `what`.
    static std::vector<std::string> NewLogLines(const std::string &what)
    {
        static size_t seen = 0;
        return QxLogRequestsSince(qxtest::ReadFile(LogPath()), &seen, what);
    }
    static Traffic NewTraffic()
    {
        Traffic t;
        for (const std::string &l : NewLogLines("code=")) {
            size_t at = l.find("reply=");
            if (at != std::string::npos)
                t.bytes += std::stoul(l.substr(at + 6));
            if (l.find("code=35 ") != std::string::npos && l.find("search") != std::string::npos)
                t.searches.push_back(l.substr(l.find("search")));
        }
        std::sort(t.searches.begin(), t.searches.end());
        return t;
    }

    std::vector<Value> values_;
};

// Items: c1 Id, c2 Name, c3 Qty (SMALLINT), c4 Price (DOUBLE), c5 Born
// (DATE), c6 At (TIME), c7 Ok (BIT), c8 Note (LONGVARCHAR).
TEST_F(PushDown, WhichConditionsArePushedAndWhichStay)
{
    struct Case {
        const char *where;
        const char *filter; // "" when the table's filter is not pushed
    };
    const std::string longText(300, 'x');
    const std::string longLiteral = "Name = '" + longText + "'";
    const Case cases[] = {
        {"Id = 3", "c1 = 3"},
        {"3 < Id", "3 < c1"},
        {"Id = -3", "c1 = -3"},
        {"Qty = 1.5", ""},           // no SMALLINT is 1.5
        {"Qty < 2.0", "c3 < 2"},     // exactly 2
        {"Qty = 70000", ""},         // beyond SMALLINT
        {"Price > 1.5", "c4 > 1.5"}, // exactly a double
        {"Price = 0.1", ""},         // no double is 0.1
        {"Price >= 2.5E1", "c4 >= 25"},
        {"Ok = 1", "c7 = 1"},
        {"Ok = 2", ""},
        {"Name = 'apple'", "c2 = 'apple'"},
        {"Name = 'apple   '", "c2 = 'apple'"}, // trailing blanks do not count
        {"Name <> 'apple'", ""},               // the data module compares text with = only
        {"Name < 'b'", ""},                    // the server orders text otherwise
        {longLiteral.c_str(), ""},
        {"Name = 'it''s'", "c2 = 'it's'"},
        {"Born = {d '2020-01-31'}", "c5 = 2020-01-31"},
        {"Born > '2020-01-01'", "c5 > 2020-01-01"},
        {"Born = {ts '2020-01-31 00:00:00'}", "c5 = 2020-01-31"},
        {"Born < {ts '2020-01-31 10:00:00'}", ""}, // a time of day
        {"At >= {t '08:30:00'}", "c6 >= 08:30:00"},
        {"Note = 'red'", ""},
        {"Name IS NULL", ""},
        {"Name LIKE 'a%'", ""},
        {"Id = Qty", ""},
        {"Id + 1 = 4", ""},
        {"NOT (Id = 3)", "c1 <> 3"},
        {"NOT (Id < 3 OR Qty = 5)", "(c1 >= 3 AND c3 <> 5)"},
        {"Id BETWEEN 2 AND 4", "(c1 >= 2 AND c1 <= 4)"},
        {"Id NOT BETWEEN 2 AND 4", "(c1 < 2 OR c1 > 4)"},
        {"Id IN (1, 3, 5)", "((c1 = 1 OR c1 = 3) OR c1 = 5)"},
        {"Id NOT IN (1, 3)", "(c1 <> 1 AND c1 <> 3)"},
        {"Id = 3 AND Name LIKE 'c%'", "c1 = 3 (part)"},
        {"Id = 3 AND Qty = 1.5", "c1 = 3 (part)"},
        {"Id = 3 OR Name LIKE 'c%'", ""},
        {"Id > 1 AND {fn UCASE(Name)} = 'APPLE'", ""}, // a scalar function: nothing
        {"Qty = 5 AND (Id = 1 OR Id = 4)", "((c1 = 1 OR c1 = 4) AND c3 = 5)"},
        {"Name = ? OR Id = 4", "(c2 = ? OR c1 = 4)"},
        {"Name = ? AND Qty > ?", "(c3 > ? AND c2 = ?)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.where);
        std::string sql = std::string("SELECT Id FROM Items WHERE ") + c.where;
        Result r = Run(sql, kNoIndexes, {{Txt("apple"), Int(0)}});
        std::string want = *c.filter ? std::string("ITEMS: ") + c.filter : "";
        EXPECT_EQ(r.filter, want);
        Result plain = Run(sql, kNoIndexes | kNoFiltOpt, {{Txt("apple"), Int(0)}});
        EXPECT_EQ(plain.filter, "");
        EXPECT_EQ(r.rows, plain.rows);
        EXPECT_TRUE(r.rows.empty() || r.rows[0].rfind("ERROR", 0) != 0) << r.rows[0];
    }
}

TEST_F(PushDown, TheServerIsSentTheSearch)
{
    NewLogLines("");
    Result r = Run("SELECT Id FROM Items WHERE Qty >= 5 AND Name LIKE '%e%'", kNoIndexes);
    EXPECT_EQ(r.rows, (std::vector<std::string>{"1", "4", "5"}));
    EXPECT_EQ(NewLogLines("code=35"),
              (std::vector<std::string>{
                  "request code=35 length=100 -> status=0 reply=4 search table 1: 3>=5"}));
    // Without push-down the table is read whole.
    Run("SELECT Id FROM Items WHERE Qty >= 5 AND Name LIKE '%e%'", kNoIndexes | kNoFiltOpt);
    std::vector<std::string> all = NewLogLines("code=");
    EXPECT_TRUE(std::none_of(all.begin(), all.end(),
                             [](const std::string &l) { return l.find("code=35") != l.npos; }));
    EXPECT_TRUE(std::any_of(all.begin(), all.end(),
                            [](const std::string &l) { return l.find("code=17") != l.npos; }));
}

TEST_F(PushDown, APointQueryIsOneSeek)
{
    for (uint32_t options : {0u, kNoIndexes}) {
        SCOPED_TRACE(options);
        NewLogLines("");
        Result r = Run("SELECT * FROM Items WHERE Id = 4", options);
        ASSERT_EQ(r.rows.size(), 1u);
        EXPECT_EQ(r.rows[0].substr(0, 9), "4|cherry|");
        std::vector<std::string> all = NewLogLines("code=");
        std::vector<std::string> searches, scans;
        for (const std::string &l : all) {
            if (l.find("code=35") != l.npos)
                searches.push_back(l.substr(l.find("search")));
            if (l.find("code=17") != l.npos)
                scans.push_back(l);
        }
        EXPECT_EQ(searches, (std::vector<std::string>{"search table 1: 1=4"}));
        EXPECT_TRUE(scans.empty());
    }
}

TEST_F(PushDown, ParametersAreSentAtEveryOpen)
{
    // Each open sends the current values; the rows follow them.
    Result r =
        Run("SELECT Id FROM Items WHERE Qty > ?", kNoIndexes, {{Int(6)}, {Int(0)}, {Int(100)}});
    EXPECT_EQ(r.filter, "ITEMS: c3 > ?");
    EXPECT_TRUE(r.rows.empty()); // the last run
    NewLogLines("");
    r = Run("SELECT Id FROM Items WHERE Qty > ?", kNoIndexes, {{Int(6)}, {Int(0)}});
    EXPECT_EQ(r.rows, (std::vector<std::string>{"1", "4", "5", "6"}));
    std::vector<std::string> searches = NewLogLines("code=35");
    EXPECT_EQ(searches.size(), 2u);

    struct Case {
        const char *where;
        Value value;
    };
    // Values that do not convert exactly take the filter away for the run;
    // the rows stay those of the engine.
    const Case cases[] = {
        {"Qty > ?", Dbl(1.5)},
        {"Qty = ?", Dbl(5)},
        {"Qty = ?", Int(70000)},
        {"Price = ?", Dbl(0.1)},
        {"Name = ?", Txt("apple")},
        {"Name = ?", Txt(std::string(2000, 'a'))},
        {"Name <> ?", Txt("BANANA  ")},
        {"Born = ?", Txt("2020-01-31")},
        {"Born = ?", Txt("2020-01-31 10:00:00")},
        {"Qty = ?", Txt("5")},
        {"Qty = ?", Txt("5.5")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.where + std::string(" ") + c.value.text + std::to_string(c.value.d));
        std::string sql = std::string("SELECT Id FROM Items WHERE ") + c.where;
        Result pushed = Run(sql, kNoIndexes, {{c.value}});
        Result plain = Run(sql, kNoIndexes | kNoFiltOpt, {{c.value}});
        EXPECT_EQ(pushed.rows, plain.rows);
    }
}

TEST_F(PushDown, JoinsGetAFilterPerTableAndAreOfferedAndDeclined)
{
    const char *sql = "SELECT Items.Id, Label FROM Items, Kinds WHERE Items.Id = Kinds.Id AND "
                      "Kinds.Id > 1 AND Items.Qty >= 0";
    Result r = Run(sql, kNoIndexes, {{}}, 0x1);
    EXPECT_EQ(r.filter, "ITEMS: c3 >= 0; KINDS: c1 > 1");
    EXPECT_TRUE(r.joinOffered);
    EXPECT_EQ(r.joinAnswer, PLN_DRM_JOIN_DECLINED);
    EXPECT_EQ(r.rows, (std::vector<std::string>{"4|four"}));
    Result plain = Run(sql, kNoIndexes | kNoFiltOpt);
    EXPECT_FALSE(plain.joinOffered);
    EXPECT_EQ(plain.rows, r.rows);

    // Never offered: a join under OR, a comparison other than =, a subquery.
    for (const char *q : {"SELECT Items.Id FROM Items, Kinds WHERE Items.Id = Kinds.Id OR "
                          "Items.Qty = 1",
                          "SELECT Items.Id FROM Items, Kinds WHERE Items.Id > Kinds.Id",
                          "SELECT Id FROM Items WHERE Id IN (SELECT Id FROM Kinds)"}) {
        SCOPED_TRACE(q);
        EXPECT_FALSE(Run(q, 0, {{}}, 0x3).joinOffered);
    }
    // An outer join's ON equality is offered (with mask bit 2 only).
    const char *oj = "SELECT Kinds.Id, Items.Name FROM {oj Kinds LEFT OUTER JOIN Items ON "
                     "Kinds.Id = Items.Id} WHERE Kinds.Id > 1";
    r = Run(oj, kNoIndexes, {{}}, 0x2);
    EXPECT_TRUE(r.joinOffered);
    EXPECT_EQ(r.filter, "KINDS: c1 > 1");
    EXPECT_EQ(r.rows, (std::vector<std::string>{"4|cherry", "9|NULL"}));
    EXPECT_FALSE(Run(oj, kNoIndexes, {{}}, 0x1).joinOffered);
}

TEST_F(PushDown, MinAndMaxByIndexSeekOnce)
{
    struct Case {
        const char *sql;
        std::vector<std::string> rows;
        const char *access; // M: a set function answered by a seek
    };
    const Case cases[] = {
        {"SELECT MIN(Id), MAX(Id) FROM Items", {"1|6"}, "MMS"},
        {"SELECT MIN(Qty), MAX(Qty) FROM Items", {"-2|12"}, "MMS"},
        {"SELECT MAX(Price), MIN(Price) FROM Items", {"100|0.1"}, "MMS"},
        // The empty date is NULL: MIN steps over it.
        {"SELECT MIN(Born), MAX(Born) FROM Items", {"2018-03-03|2021-06-15"}, "MMS"},
        {"SELECT MIN(N), MAX(D) FROM Empty", {"NULL|NULL"}, "MMS"},
        // Text is ordered by the driver's collation: no seek.
        {"SELECT MIN(Name), MAX(Name) FROM Items", {"_under|cherry"}, "S"},
        {"SELECT MIN(Id) FROM Items WHERE Qty > 0", {"1"}, "I"},
        {"SELECT MIN(Id), COUNT(*) FROM Items", {"1|6"}, "S"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sql);
        NewLogLines("");
        Result r = Run(c.sql);
        EXPECT_EQ(r.rows, c.rows);
        EXPECT_EQ(r.access.substr(r.access.size() - std::string(c.access).size()), c.access);
        EXPECT_EQ(Run(c.sql, kNoIndexes).rows, c.rows);
    }
    NewLogLines("");
    Run("SELECT MAX(Id) FROM Items");
    std::vector<std::string> all = NewLogLines("code=");
    size_t windows = std::count_if(
        all.begin(), all.end(), [](const std::string &l) { return l.find("code=91") != l.npos; });
    EXPECT_EQ(windows, 1u);
}

// ORDER BY is answered by an index (the server sorts the selection on the
// index's field) only for keys whose order is exact; text keys are sorted by
// the driver's collation above the scan, so that the order does not depend
// on the plan. (A LIKE prefix still reads its range through the index.)
TEST_F(PushDown, OnlyExactKeysAreOrderedByTheServer)
{
    struct Case {
        const char *sql;
        const char *access; // T: a sort above the table, I/S: index or scan
    };
    const Case cases[] = {
        {"SELECT Id FROM Items ORDER BY Id", "I"},
        {"SELECT Id FROM Items WHERE Qty > 0 ORDER BY Qty", "I"},
        {"SELECT Id, Name FROM Items ORDER BY Price", "I"},
        {"SELECT Id FROM Items WHERE Born > {d '2000-01-01'} ORDER BY Born", "I"},
        {"SELECT Id FROM Items ORDER BY Name", "TS"},
        {"SELECT Name FROM Items ORDER BY 1", "TS"},
        {"SELECT Id FROM Items WHERE Name > 'b' ORDER BY Name", "TS"},
        {"SELECT Id FROM Items WHERE Name LIKE 'b%' ORDER BY Name", "TI"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sql);
        NewLogLines("");
        Result r = Run(c.sql);
        bool index = std::string(c.access).find('I') != std::string::npos;
        EXPECT_EQ(NewLogLines("code=36").empty(), !index);
        EXPECT_EQ(r.access, c.access);
        EXPECT_EQ(Run(c.sql, kNoIndexes).rows, r.rows);
    }
}

// An UPDATE's search goes to the data module only while the driver-wide
// switch (engine option 1011) is on; a query's always does. Option 1010 is
// a stored word; other options change nothing.
TEST_F(PushDown, UpdatesPushTheirFilterOnlyUnderTheDriverWideSwitch)
{
    const std::string update = "UPDATE Items SET Name = 'x' WHERE Qty = 5";
    const std::string query = "SELECT Id FROM Items WHERE Qty = 5";
    const uint32_t on = 1, off = 0, word = 0x1234;
    EXPECT_EQ(rcDrsEngineOption(RC_ENGOPT_PUSHDOWN_UPDATE), 0u);
    EXPECT_EQ(Run(update, kNoIndexes, {}).filter, "");
    EXPECT_EQ(Run(query, kNoIndexes, {}).filter, "ITEMS: c3 = 5");
    EXPECT_EQ(rcDrsSetEngineOption(RC_ENGOPT_PUSHDOWN_UPDATE, &on), 0);
    EXPECT_EQ(Run(update, kNoIndexes, {}).filter, "ITEMS: c3 = 5");
    EXPECT_EQ(Run(update, kNoIndexes | kNoFiltOpt, {}).filter, "");
    EXPECT_EQ(rcDrsSetEngineOption(RC_ENGOPT_PUSHDOWN_UPDATE, &off), 0);
    EXPECT_EQ(Run(update, kNoIndexes, {}).filter, "");
    EXPECT_EQ(Run(query, kNoIndexes, {}).filter, "ITEMS: c3 = 5");

    EXPECT_EQ(rcDrsSetEngineOption(RC_ENGOPT_DECIMAL_TEXT, &word), 0);
    EXPECT_EQ(rcDrsEngineOption(RC_ENGOPT_DECIMAL_TEXT), 0x1234u);
    EXPECT_EQ(rcDrsSetEngineOption(RC_ENGOPT_DECIMAL_TEXT, nullptr), 0);
    EXPECT_EQ(rcDrsEngineOption(RC_ENGOPT_DECIMAL_TEXT), 0x1234u);
    EXPECT_EQ(rcDrsSetEngineOption(1012, &on), 0);
    EXPECT_EQ(rcDrsEngineOption(1012), 0u);
    EXPECT_EQ(rcDrsSetEngineOption(RC_ENGOPT_DECIMAL_TEXT, &off), 0);
}

} // namespace

namespace {

// A statement's pushed-down parameters hold records in the data-module
// session while it lives; resetting or dropping it gives them back, so that
// preparing over and over keeps their number where it was.
TEST_F(PushDown, ParameterRecordsGoWithTheirStatement)
{
    VDRMSession *drm = DrmDriver().oGetSession(conn_->session->drmSession);
    const size_t before = drm->params.size();
    {
        // While the statement lives, its parameter has its record.
        rcErrorQueue errors{};
        rcConnFeSource src(conn_);
        rcPrepared prep;
        rcPlnStmt stmt;
        rcPlnStmtInit(&stmt, &errors, conn_->session);
        stmt.filterMask = kFilterMask;
        stmt.engineOptions = kNoIndexes;
        stmt.param = &PushDown::Param;
        stmt.paramCtx = this;
        values_ = {Int(3)};
        ASSERT_GE(rcDrsPrepare(&prep, &src, &errors, "SELECT Id FROM Items WHERE Qty > ?", true),
                  0);
        ASSERT_EQ(rcPlnBuild(&stmt, prep.root), 0);
        ASSERT_EQ(rcExeOpenQuery(&stmt), 0);
        EXPECT_EQ(drm->params.size(), before + 1);
        // Built again (a statement prepared anew), it does not keep the old one.
        rcExeCloseQuery(&stmt);
        ASSERT_EQ(rcFltPushDownAll(&stmt), 0);
        ASSERT_EQ(rcExeOpenQuery(&stmt), 0);
        EXPECT_EQ(drm->params.size(), before + 1);
        rcExeCloseQuery(&stmt);
        rcPlnStmtFree(&stmt);
        rcFeReset(&prep);
        rcErrQueueDestroy(&errors);
        EXPECT_EQ(drm->params.size(), before);
    }
    for (int k = 0; k < 300; ++k)
        Run("SELECT Id FROM Items WHERE Qty > ? AND Price < ?", kNoIndexes, {{Int(k), Dbl(100)}});
    EXPECT_EQ(drm->params.size(), before);
}

} // namespace

namespace {

// Items: c1 Id, c3 Qty, c7 Ok (table 1); Kinds: c1 Id, c2 Label (table 2).
// Each SELECT of a UNION and each subquery sends its own search, once per
// execution (a correlated subquery too, whatever the number of outer rows);
// conditions that read an outer query's columns stay with the engine. The
// rows are those of NoFiltOpt, which sends no search and reads more bytes.
TEST_F(PushDown, EveryQueryBlockSendsItsOwnSearch)
{
    struct Case {
        const char *sql;
        std::vector<std::string> searches;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {"SELECT Id FROM Items WHERE Qty = 5 UNION SELECT Id FROM Kinds WHERE Id = 9",
         {"search table 1: 3=5", "search table 2: 1=9"},
         {"1", "9"}},
        {"SELECT Id FROM Items WHERE Ok = 1 AND Qty > 1 UNION ALL SELECT Id FROM Kinds WHERE "
         "Label = 'four' UNION SELECT Id FROM Items WHERE Qty = 12",
         {"search table 1: 3=12", "search table 1: 3>1 AND 7=1", "search table 2: 2='four'"},
         {"1", "4", "5"}},
        // The LIKE stays with the engine; the rest is the search.
        {"SELECT Id FROM Items WHERE Qty >= 5 AND Name LIKE '%e%' UNION ALL SELECT Id FROM "
         "Kinds WHERE Label = 'nine'",
         {"search table 1: 3>=5", "search table 2: 2='nine'"},
         {"1", "4", "5", "9"}},
        {"SELECT Label FROM Kinds WHERE Id IN (SELECT Id FROM Items WHERE Qty = 12)",
         {"search table 1: 3=12"},
         {"four"}},
        {"SELECT Label FROM Kinds k WHERE EXISTS (SELECT * FROM Items i WHERE i.Ok = 1 AND "
         "i.Id = k.Id)",
         {"search table 1: 7=1"},
         {"one"}},
        {"SELECT Label FROM Kinds k WHERE k.Id > 1 AND NOT EXISTS (SELECT * FROM Items i "
         "WHERE i.Qty > 10 AND i.Id = k.Id)",
         {"search table 1: 3>10", "search table 2: 1>1"},
         {"nine"}},
        // Under OR with an outer column nothing is the subquery's own.
        {"SELECT Label FROM Kinds k WHERE EXISTS (SELECT * FROM Items i WHERE i.Qty = 12 OR "
         "i.Id = k.Id)",
         {},
         {"four", "nine", "one"}},
        {"SELECT Id FROM Kinds WHERE Id IN (SELECT Id FROM Items WHERE Qty > 1) UNION SELECT "
         "Id FROM Items WHERE Ok = 0",
         {"search table 1: 3>1", "search table 1: 7=0"},
         {"1", "2", "4"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sql);
        Run(c.sql, kNoIndexes | kNoFiltOpt); // the tables described once
        NewTraffic();
        Result pushed = Run(c.sql, kNoIndexes);
        Traffic sent = NewTraffic();
        Result plain = Run(c.sql, kNoIndexes | kNoFiltOpt);
        Traffic whole = NewTraffic();
        EXPECT_EQ(pushed.rows, c.rows);
        EXPECT_EQ(plain.rows, c.rows);
        EXPECT_EQ(sent.searches, c.searches);
        EXPECT_TRUE(whole.searches.empty());
        if (!c.searches.empty()) {
            EXPECT_LT(sent.bytes, whole.bytes);
        }
    }
}

// Every open sends each block's search again with the parameters' current
// values (the subquery's once per open, not per outer row).
TEST_F(PushDown, ParametersOfEveryBlockAreSentAtEachOpen)
{
    const char *sql = "SELECT Id FROM Items WHERE Qty > ? UNION SELECT Id FROM Kinds k WHERE "
                      "EXISTS (SELECT * FROM Items i WHERE i.Qty = ? AND i.Id = k.Id)";
    NewTraffic();
    Result r = Run(sql, kNoIndexes, {{Int(6), Int(12)}, {Int(10), Int(5)}});
    EXPECT_EQ(r.rows, (std::vector<std::string>{"1", "4"}));
    EXPECT_EQ(r.filter, "ITEMS: c3 > ?; ITEMS: c3 = ?");
    EXPECT_EQ(NewTraffic().searches,
              (std::vector<std::string>{"search table 1: 3=12", "search table 1: 3=5",
                                        "search table 1: 3>10", "search table 1: 3>6"}));
    EXPECT_EQ(Run(sql, kNoIndexes | kNoFiltOpt, {{Int(10), Int(5)}}).rows, r.rows);
    // A NULL value finds nothing in its block; the other block's search stays.
    EXPECT_EQ(Run(sql, kNoIndexes, {{Int(6)}}).rows, (std::vector<std::string>{"4", "5"}));
    EXPECT_EQ(NewTraffic().searches.size(), 2u);
}

} // namespace
