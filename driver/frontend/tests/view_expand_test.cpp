// View expansion: statements naming views become statements over base
// tables (checked through their regenerated text), and bad views, cycles and
// syntax errors are refused with their messages.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "driver/core/rcmsgid.h"
#include "driver/engine/rcspy.h"
#include "driver/frontend/fe_view.h"
#include "driver/frontend/rcprsunparse.h"
#include "driver/frontend/tests/view_test_util.h"

namespace {

class ViewExpandTest : public ViewTest {
protected:
    // Stores a view straight into the files: its name, its column names and
    // its definition text (which need not be valid).
    void Store(const char *name, std::vector<const char *> columns, const char *text)
    {
        std::vector<rcViewColumn> cols(columns.size());
        for (size_t i = 0; i < columns.size(); ++i)
            std::strcpy(cols[i].name, columns[i]);
        rcVwFileCatalog cat;
        rcVwFileError err;
        ASSERT_EQ(rcVwFileAdd(ViewTestDir(), name, cols, text, false, &cat, &err), 0) << err.text;
    }

    // CREATE VIEW through the statement, column names from the select list.
    void Create(const char *sql, std::vector<const char *> columns)
    {
        ParsedTree t(sql);
        ASSERT_NE(t.root, nullptr) << sql;
        std::vector<rcVwColumnDesc> descs(columns.size());
        for (size_t i = 0; i < columns.size(); ++i) {
            descs[i].name = columns[i];
            descs[i].sqlType = 4;
            descs[i].length = 4;
        }
        ASSERT_EQ(rcVwCreate(&stmt, t.root, descs.data(), descs.size()), 0) << sql;
    }

    // The expanded statement's text, or "ERROR <msg id>: <text>".
    std::string Expand(const char *sql)
    {
        rcParseNode *root = nullptr;
        rcMemPool arena = nullptr;
        std::string out;
        if (rcVwParseStatement(&stmt, sql, &root, &arena, nullptr, false) == 0) {
            out = rcPrsUnparse(root);
            EXPECT_TRUE(Posted(&stmt).empty());
            // The merged tree is a tree the grammar could have built.
            ParsedTree again(out.c_str());
            EXPECT_NE(again.root, nullptr) << out;
            if (again.root != nullptr) {
                EXPECT_EQ(rcPrsUnparse(again.root), out);
            }
        } else {
            std::vector<PostedMessage> m = Posted(&stmt);
            out = "ERROR";
            for (const PostedMessage &p : m)
                out += " " + std::to_string(p.msgId) + ": " + p.text;
        }
        if (arena != nullptr)
            rcPrsFreeArena(arena);
        return out;
    }
};

TEST_F(ViewExpandTest, ViewsBecomeTheirBaseTables)
{
    Create("CREATE VIEW v AS SELECT a, b FROM t WHERE a > 1", {"a", "b"});
    Create("CREATE VIEW w AS SELECT t.a, u.c FROM t, u WHERE t.k = u.k", {"a", "c"});
    Create("CREATE VIEW vv AS SELECT b FROM v WHERE b < 9", {"b"});
    Create("CREATE VIEW calc (dbl) AS SELECT a * 2 FROM t", {"x"});
    struct Case {
        const char *sql;
        const char *expanded;
    };
    const Case cases[] = {
        {"SELECT * FROM v",
         "SELECT View1Tab1 . a A , View1Tab1 . b B FROM t View1Tab1 WHERE View1Tab1 . a > 1"},
        {"SELECT b FROM v WHERE b = 3", "SELECT View1Tab1 . b b FROM t View1Tab1 WHERE ( View1Tab1 "
                                        ". b = 3 ) AND ( View1Tab1 . a > 1 )"},
        // Two views: each merge numbers its own tables.
        {"SELECT x.a, w.c FROM v x, w",
         "SELECT View1Tab1 . a a , View2Tab2 . c c FROM t View1Tab1 , t View2Tab1 , u View2Tab2 "
         "WHERE ( View1Tab1 . a > 1 ) AND ( View2Tab1 . k = View2Tab2 . k )"},
        // A view of a view: the inner view is merged first; the outer merge
        // renames with the counter reached then.
        {"SELECT * FROM vv", "SELECT View2Tab1 . b B FROM t View2Tab1 WHERE ( View2Tab1 . b < 9 ) "
                             "AND ( View2Tab1 . a > 1 )"},
        // An expression column keeps its grouping; ORDER BY it becomes its position.
        {"SELECT dbl FROM calc ORDER BY dbl",
         "SELECT ( View1Tab1 . a * 2 ) dbl FROM t View1Tab1 ORDER BY 1"},
        // Views inside subqueries, and a base table joined to a view.
        {"SELECT k FROM t WHERE k IN (SELECT a FROM v)",
         "SELECT k FROM t WHERE k IN ( SELECT View1Tab1 . a a FROM t View1Tab1 WHERE View1Tab1 . a "
         "> 1 )"},
        {"SELECT * FROM u, v", "SELECT u . * , View1Tab1 . a A , View1Tab1 . b B FROM u , t "
                               "View1Tab1 WHERE View1Tab1 . a > 1"},
        // A subquery's own view is merged first; the outer view keeps its
        // correlated reference.
        {"SELECT a FROM v WHERE EXISTS (SELECT * FROM v x WHERE x.a = v.a)",
         "SELECT View2Tab1 . a a FROM t View2Tab1 WHERE ( EXISTS ( SELECT View1Tab1 . a A , "
         "View1Tab1 . b B FROM t View1Tab1 WHERE ( View1Tab1 . a = View2Tab1 . a ) AND "
         "( View1Tab1 . a > 1 ) ) ) AND ( View2Tab1 . a > 1 )"},
        // No view: left as it is; a CREATE VIEW keeps its query as written.
        {"SELECT a FROM t", "SELECT a FROM t"},
        {"CREATE VIEW z AS SELECT a FROM v", "CREATE VIEW z AS SELECT a FROM v"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Expand(c.sql), c.expanded) << c.sql;
}

TEST_F(ViewExpandTest, GroupedViews)
{
    Create(
        "CREATE VIEW g AS SELECT dept, SUM(sal) total FROM emp GROUP BY dept HAVING COUNT(*) > 1",
        {"dept", "total"});
    Create("CREATE VIEW s AS SELECT SUM(sal) total FROM emp", {"total"});
    Create("CREATE VIEW d AS SELECT DISTINCT dept FROM emp", {"dept"});
    struct Case {
        const char *sql;
        const char *expanded;
    };
    const Case cases[] = {
        {"SELECT * FROM g WHERE total > 10",
         "SELECT View1Tab1 . dept DEPT , SUM ( View1Tab1 . sal ) TOTAL FROM emp View1Tab1 GROUP BY "
         "View1Tab1 . dept HAVING ( COUNT ( * ) > 1 ) AND ( SUM ( View1Tab1 . sal ) > 10 )"},
        {"SELECT total FROM s", "SELECT SUM ( View1Tab1 . sal ) total FROM emp View1Tab1"},
        {"SELECT dept FROM d", "SELECT DISTINCT View1Tab1 . dept dept FROM emp View1Tab1"},
        // Without GROUP BY there are no groups: the outer condition stays a WHERE.
        {"SELECT dept FROM d WHERE dept > 1",
         "SELECT DISTINCT View1Tab1 . dept dept FROM emp View1Tab1 WHERE View1Tab1 . dept > 1"},
        {"SELECT * FROM g, t", "ERROR 11477: "},
        {"SELECT COUNT(*) FROM d", "ERROR 11477: "},
        {"SELECT dept FROM g GROUP BY dept", "ERROR 11477: "},
        {"SELECT total FROM s WHERE total > 1",
         "ERROR 5124: Set functions not allowed in WHERE clause."},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Expand(c.sql), c.expanded) << c.sql;
}

TEST_F(ViewExpandTest, RefusedStatementsAndViews)
{
    Create("CREATE VIEW v AS SELECT a FROM t", {"a"});
    Store("selfv", {"X"}, "SELECT x FROM selfv");
    Store("ca", {"X"}, "SELECT x FROM cb");
    Store("cb", {"X"}, "SELECT x FROM ca");
    Store("broken", {"X"}, "SELECT FROM WHERE");
    Store("qual", {"X"}, "SELECT zz.x FROM t");
    // A chain deeper than the limit, ending in a base table.
    for (int i = 0; i <= kRcVwMaxDepth + 2; ++i) {
        // Built by appending: g++ 12 at -O3 warns falsely (-Wrestrict) on
        // "literal" + std::string.
        std::string name = "d";
        name += std::to_string(i);
        std::string text = "SELECT x FROM ";
        if (i == kRcVwMaxDepth + 2) {
            text += "t";
        } else {
            text += "d";
            text += std::to_string(i + 1);
        }
        Store(name.c_str(), {"X"}, text.c_str());
    }
    Store("shallow", {"X"}, "SELECT x FROM d10");
    struct Case {
        const char *sql;
        uint32_t msg;
        const char *inText;
    };
    const Case cases[] = {
        {"SELECT a FROM {oj v LEFT OUTER JOIN u ON v.a = u.a}",
         RC_ENG_VIEWS_NOT_SUPPORTED_STATEMENTS_CONTAINING, ""},
        {"SELECT a FROM v UNION SELECT a FROM t", RC_ENG_UNION_NOT_SUPPORTED_VIEW_STATEMENTS, ""},
        {"SELECT x FROM selfv", RC_ENG_INVALID_VIEW_TABLE_NAME, "selfv -> selfv"},
        {"SELECT x FROM ca", RC_ENG_INVALID_VIEW_TABLE_NAME, "ca -> cb -> ca"},
        {"SELECT x FROM d0", RC_ENG_INVALID_VIEW_TABLE_NAME, "nested more than 16 deep"},
        {"SELECT x FROM broken", RC_MSG_SYNTAX_ERROR, "<< ??? >>"},
        {"SELECT x FROM qual", RC_ENG_VIEW_COALESCE_ERROR, ""},
    };
    for (const Case &c : cases) {
        std::string out = Expand(c.sql);
        EXPECT_EQ(out.rfind("ERROR " + std::to_string(c.msg) + ":", 0), 0u)
            << c.sql << " -> " << out;
        EXPECT_NE(out.find(c.inText), std::string::npos) << c.sql << " -> " << out;
    }
    // A chain within the limit expands.
    EXPECT_EQ(Expand("SELECT x FROM shallow").rfind("SELECT", 0), 0u);
}

TEST_F(ViewExpandTest, SyntaxErrorTextIsBounded)
{
    std::string out = Expand("SELECT FROM t");
    EXPECT_EQ(out, "ERROR 5124: SELECT FROM<< ??? >> t");
    EXPECT_EQ(rcVwSyntaxErrorExcerpt("abc", -5), "a<< ??? >>bc");
    // Past 502 characters the text starts 200 before the position.
    std::string mid(600, 'x');
    std::string excerpt = rcVwSyntaxErrorExcerpt(mid.c_str(), 550);
    EXPECT_EQ(excerpt, std::string(200, 'x') + "<< ??? >>" + std::string(49, 'x'));
    // A very long text shows 10 characters, the marker and 30 characters.
    std::string huge(20000, 'y');
    EXPECT_EQ(rcVwSyntaxErrorExcerpt(huge.c_str(), 15000),
              std::string(10, 'y') + "<< ??? >>" + std::string(30, 'y'));
    EXPECT_EQ(rcVwSyntaxErrorExcerpt(huge.c_str(), 99999), std::string(10, 'y') + "<< ??? >>");
    std::string big(8000, 'z');
    EXPECT_LE(rcVwSyntaxErrorExcerpt(big.c_str(), 0).size(), 8196u);
}

// A statement that read the catalogue sees views created since at its next
// preparation.
TEST_F(ViewExpandTest, CatalogueIsReadAgainWhenItChanged)
{
    EXPECT_EQ(Expand("SELECT a FROM v"), "SELECT a FROM v");
    ViewStmt other;
    ParsedTree t("CREATE VIEW v AS SELECT a FROM base");
    rcVwColumnDesc col;
    col.name = "a";
    ASSERT_EQ(rcVwCreate(&other, t.root, &col, 1), 0);
    EXPECT_EQ(Expand("SELECT a FROM v"), "SELECT View1Tab1 . a a FROM base View1Tab1");
    // The merging alone, on a tree the caller parsed.
    ParsedTree q("SELECT a FROM v WHERE a = 1");
    ASSERT_EQ(rcVwExpand(&stmt, q.arena, q.root), 0);
    EXPECT_EQ(rcPrsUnparse(q.root),
              "SELECT View1Tab1 . a a FROM base View1Tab1 WHERE View1Tab1 . a = 1");
    ParsedTree d("DROP VIEW v");
    ASSERT_EQ(rcVwDrop(&other, d.root), 0);
    EXPECT_EQ(Expand("SELECT a FROM v"), "SELECT a FROM v");
    Release(&other);
}

TEST_F(ViewExpandTest, ParseSpyShowsTheMerge)
{
    static std::string seen;
    seen.clear();
    rcSpySetSink([](void *, const char *text, size_t n) { seen.append(text, n); }, nullptr);
    Create("CREATE VIEW v AS SELECT a FROM t", {"a"});
    Expand("SELECT a FROM v");
    EXPECT_EQ(seen, "");
    rcSpyOpen();
    stmt.options.engineOptionMask = RC_SPY_OPT_PRSSPY;
    Expand("SELECT a FROM v");
    rcSpyClose();
    rcSpySetSink(nullptr, nullptr);
    EXPECT_EQ(seen.rfind("\r\nMerging view v:(SELECT a FROM t)\r\n\r\n--------- After merging view "
                         "v ----------\r\n",
                         0),
              0u)
        << seen;
    EXPECT_NE(seen.find("View1Tab1"), std::string::npos);
}

// Every statement of the parser's fuzz corpus, with views standing for the
// names it uses most: the expansion fails with a message or leaves a tree that
// regenerates into text the grammar reads back.
TEST_F(ViewExpandTest, CorpusStatementsExpandCleanly)
{
    Create("CREATE VIEW t AS SELECT a, b, c FROM base1 WHERE a > 0", {"a", "b", "c"});
    Create("CREATE VIEW u AS SELECT a, SUM(b) s FROM base2 GROUP BY a", {"a", "s"});
    Create("CREATE VIEW v AS SELECT x.a, y.b c FROM base1 x, base2 y WHERE x.k = y.k", {"a", "c"});
    Create("CREATE VIEW q AS SELECT DISTINCT a FROM base3", {"a"});
    Create("CREATE VIEW r AS SELECT a, c FROM t", {"a", "c"});
    size_t expanded = 0;
    size_t refused = 0;
    for (const auto &file : std::filesystem::directory_iterator(QX_PARSE_CORPUS)) {
        std::ifstream in(file.path(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.empty())
            continue;
        bool escapes = (bytes[0] & 1) != 0;
        std::string text = bytes.substr(1);
        if (text.find('\0') != std::string::npos)
            continue;
        rcParseNode *root = nullptr;
        rcMemPool arena = nullptr;
        if (rcVwParseStatement(&stmt, text.c_str(), &root, &arena, nullptr, false, escapes) == 0) {
            ++expanded;
            std::string out = rcPrsUnparse(root);
            ParsedTree again(out.c_str());
            EXPECT_NE(again.root, nullptr) << text << "\n -> " << out;
            EXPECT_TRUE(Posted(&stmt).empty()) << text;
        } else {
            ++refused;
            EXPECT_FALSE(Posted(&stmt).empty()) << text;
        }
        if (arena != nullptr)
            rcPrsFreeArena(arena);
    }
    EXPECT_GT(expanded, 100u);
    EXPECT_GT(refused, 0u);
}

} // namespace
