#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/frontend/rcprsunparse.h"
#include "driver/frontend/tests/frontend_test_util.h"

namespace {

// Statements that parse; each also goes through regeneration and back.
const char *const kStatements[] = {
    "SELECT a FROM t",
    "select DISTINCT a, b+1 AS x, c y FROM t WHERE a = 'it''s' AND NOT b > 2 OR c LIKE 'x%'",
    "SELECT * FROM t ORDER BY 1 [?]",
    "SELECT a FROM t WHERE a = ? ORDER BY a DESC, 2 ASC [?, ? INTEGER, ? CHAR(10)]",
    "SELECT a FROM t UNION SELECT b FROM u ORDER BY 1",
    "SELECT a FROM t UNION ALL (SELECT b FROM u UNION SELECT c FROM v)",
    "(SELECT a FROM t UNION SELECT b FROM u) UNION SELECT c FROM v",
    "SELECT COUNT(*), SUM(DISTINCT a), AVG(ALL b), MAX(c+1), MIN(d), COUNT(DISTINCT e) FROM t "
    "GROUP BY a, b HAVING COUNT(*) > 1",
    "SELECT IF(a > 1 AND b < 2, b, c), t.*, t.a x, USER, -a*b/c - +d FROM t",
    "SELECT a FROM t WHERE a = ANY (SELECT b FROM u) AND a IN (SELECT b FROM u) "
    "AND x > (SELECT MAX(b) FROM u) AND y <= ALL (SELECT b FROM u WHERE u.c = t.c)",
    "SELECT a FROM t WHERE (a + 1) * 2 > 3 AND (b = 1 OR c <> 2) AND NOT (d >= 4)",
    "SELECT a FROM t WHERE b LIKE ? AND c NOT LIKE 'x%' AND d IS NULL AND e IS NOT NULL AND f LIKE "
    "USER",
    "SELECT a FROM t WHERE a NOT IN (1, -2, +3.5, 'x', ?, USER, {d '2000-02-29'}) AND "
    "b NOT BETWEEN 1 AND 2 AND EXISTS (SELECT * FROM u)",
    "SELECT a FROM t1 LEFT OUTER JOIN t2 ON t1.a = t2.a LEFT OUTER JOIN t3 ON t2.b = t3.b, t4",
    "SELECT a FROM {oj t1 LEFT OUTER JOIN t2 ON t1.a = t2.a}, (t5 LEFT OUTER JOIN t6 ON x = y) "
    "LEFT OUTER JOIN t7 ON z = w",
    "SELECT a FROM (t1 LEFT OUTER JOIN t2 ON t1.a = t2.a), t3",
    "SELECT a FROM c:\\data\\emp e, \\\\srv\\share\\ t, q/r, q\\s, q.u, q..v, \"my dir\"/w",
    "SELECT {fn ucase(name)}, UCASE(name), LEFT(a, 2), {fn CURDATE()}, CONVERT(a, sql_integer), "
    "SUBSTRING(a, 1, 2), NULL(), USER() FROM t",
    "SELECT --(*vendor(MicroSoft),product(ODBC) fn UCASE(a)*)--, {t '10:20:30'}, {ts '1999-01-01 "
    "10:00:00.5'} FROM t",
    "SELECT \"select\", \"a b\", \"it\"\"s\", 1.5E3, 12., .5, 2147483648 FROM \"from\"",
    "SELECT a FROM t WHERE {pred contains, a, 'x', AND, b}",
    "INSERT INTO t (a, b) VALUES (1, -2.5, 'x', NULL, ?, USER, {d '2000-01-01'})",
    "INSERT INTO c:\\data\\ t SELECT a, b FROM u WHERE c > 0",
    "UPDATE t SET a = a + 1, b = NULL WHERE c = ?",
    "DELETE FROM c:\\data\\ emp WHERE a BETWEEN 1 AND 2",
    "DELETE FROM t",
    "CREATE TABLE t (a CHAR(10) NOT NULL UNIQUE, b DECIMAL(10,2) DEFAULT -0.5, c DATE DEFAULT USER "
    "CHECK (c > 1) REFERENCES u (x), PRIMARY KEY (a), UNIQUE (b, c), CHECK (a <> b), "
    "FOREIGN KEY (c) REFERENCES u (y))",
    "CREATE UNIQUE INDEX i ON t (a ASC, b DESC, c)",
    "CREATE INDEX i ON t (a)",
    "DROP INDEX t.i",
    "DROP TABLE t CASCADE",
    "DROP VIEW v",
    "CREATE VIEW v (x) AS SELECT a FROM t WHERE a > 1",
    "ALTER TABLE t ADD (a INTEGER, b CHAR(2))",
    "ALTER TABLE t ADD a INTEGER",
    "GRANT SELECT, INSERT, DELETE, UPDATE (a), REFERENCES ON t TO bob, amy",
    "GRANT ALL ON t TO PUBLIC",
    "REVOKE SELECT, UPDATE ON t FROM PUBLIC RESTRICT",
    "{call p}",
    "{call p()}",
    "{? = call p(1, 'a', ?)}",
    "--(*vendor(MicroSoft),product(ODBC) call p(?)*)--",
    "use c:\\data",
};

TEST(Parser, EveryStatementParses)
{
    for (const char *text : kStatements) {
        ParsedTree tree(text);
        EXPECT_EQ(tree.result, RC_PRS_OK) << text << ": " << rcPrsLastErrorText();
    }
}

TEST(Parser, RegeneratedTextParsesToTheSameTree)
{
    for (const char *text : kStatements) {
        ParsedTree tree(text);
        ASSERT_EQ(tree.result, RC_PRS_OK) << text;
        std::string again = rcPrsUnparse(tree.root);
        ParsedTree reparsed(again);
        ASSERT_EQ(reparsed.result, RC_PRS_OK) << again << ": " << rcPrsLastErrorText();
        EXPECT_TRUE(rcPrsTreeEqual(tree.root, reparsed.root)) << text << "\n"
                                                              << again << "\n"
                                                              << CompactDump(tree.root) << "\n"
                                                              << CompactDump(reparsed.root);
        // And the text is stable from then on.
        EXPECT_EQ(rcPrsUnparse(reparsed.root), again);
    }
}

TEST(Parser, RegenerationQuotesLiteralsAndIdentifiers)
{
    ParsedTree tree("SELECT \"it\"\"s\", \"order\", plain FROM t WHERE a = 'it''s'");
    ASSERT_EQ(tree.result, RC_PRS_OK);
    EXPECT_EQ(rcPrsUnparse(tree.root),
              "SELECT \"it\"\"s\" , \"order\" , plain FROM t WHERE a = 'it''s'");
}

struct GoldenCase {
    const char *text;
    const char *dump;
};

TEST(Parser, GoldenTrees)
{
    const GoldenCase cases[] = {
        {"SELECT a FROM t UNION SELECT b FROM u ORDER BY 1",
         "FullSelectStmt(FullSelectStmt(SubSelectStmt(SELECT SelectList(SelSubList(SelSubListItem("
         "Expression(Primary(ColName(ColId(a))))))) FROM TableRefList(TableRef(TableName(t)))) "
         "Union_Opt(UNION) SubSelectStmt(SELECT SelectList(SelSubList(SelSubListItem(Expression("
         "Primary(ColName(ColId(b))))))) FROM TableRefList(TableRef(TableName(u)))))) OrderBy_Opt("
         "ORDER BY "
         "SortSpecList(SortSpec(Expression(Primary(Literal(NumericLiteral(ExactNumLit(1))))))))"},
        {"SELECT * FROM t ORDER BY 1 [?]",
         "FullSelectStmt(SubSelectStmt(SELECT SelectList(*) FROM "
         "TableRefList(TableRef(TableName(t))))) "
         "OrderBy_Opt(ORDER BY SortSpecList(SortSpec(Expression(Primary(Literal(NumericLiteral("
         "ExactNumLit(1)))))))) #1135(DynamicParm(?))"},
        {"SELECT * FROM t [?, ? CHAR(2)]",
         "SubSelectStmt(SELECT SelectList(*) FROM TableRefList(TableRef(TableName(t)))) "
         "#1135(DynamicParm(?) DynamicParm(?) DataType(CHAR ( Length(2) )))"},
        {"SELECT COUNT(*), SUM(DISTINCT a) FROM t",
         "SubSelectStmt(SELECT "
         "SelectList(SelSubList(SelSubListItem(Expression(Primary(SetFunctionRef("
         "COUNT ( * ))))) , "
         "SelSubListItem(Expression(Primary(SetFunctionRef(DistinctFn(DistAllFnOp(SUM) "
         "DistinctFnOpParen(( DISTINCT) ColName(ColId(a)) )))))))) FROM "
         "TableRefList(TableRef(TableName(t))))"},
        {"INSERT INTO t (a) VALUES (-2.5, NULL, {d '2000-01-01'})",
         "InsertStmt(INSERT INTO TableName(t) ColIdList_Opt(( ColIdList(ColId(a)) )) "
         "QuerySpecOrValList("
         "VALUES ( InsValList(InsValue(- Literal(NumericLiteral(ExactNumLit(2.5)))) , "
         "InsValue(NULL) , "
         "InsValue('2000-01-01'@9)) )))"},
        {"UPDATE t SET b = NULL WHERE c = ?",
         "UpdateStmt(UPDATE TableName(t) SET ColAssignList(ColAssign(ColName(ColId(b)) = "
         "ExprOrNull(NULL))) "
         "WhereSearchCond_Opt(WHERE "
         "SearchCond(BooleanPrimary(Predicate(ComparePredicate(Expression("
         "Primary(ColName(ColId(c)))) CompareOp(=) "
         "ExprOrSubQuery(Expression(Primary(DynamicParm(?))))))))))"},
        {"DELETE FROM c:\\data\\ emp WHERE a NOT BETWEEN 1 AND 2",
         "DeleteStmt(DELETE FROM TableName(c:\\data\\ emp) WhereSearchCond_Opt(WHERE SearchCond("
         "BooleanPrimary(Predicate(BetweenPredicate(Expression(Primary(ColName(ColId(a)))) "
         "NOT_Opt(NOT) "
         "BETWEEN Expression(Primary(Literal(NumericLiteral(ExactNumLit(1))))) AND "
         "Expression(Primary("
         "Literal(NumericLiteral(ExactNumLit(2)))))))))))"},
        {"SELECT a FROM t WHERE x IN (1, ?) AND b IS NOT NULL",
         "SubSelectStmt(SELECT "
         "SelectList(SelSubList(SelSubListItem(Expression(Primary(ColName(ColId(a))))))) "
         "FROM TableRefList(TableRef(TableName(t))) WhereSearchCond_Opt(WHERE "
         "SearchCond(SearchCond("
         "BooleanPrimary(Predicate(InPredicate(Expression(Primary(ColName(ColId(x)))) IN "
         "ValueListORSubQuery(( "
         "ValueList(Value(Literal(NumericLiteral(ExactNumLit(1)))) , Value(DynamicParm(?))) )))))) "
         "AND "
         "SearchCond(BooleanPrimary(Predicate(NullPredicate(Expression(Primary(ColName(ColId(b)))) "
         "IS "
         "NOT_Opt(NOT) NULL)))))))"},
        {"DROP INDEX t.i", "DropIndexStmt(DROP INDEX IndexName(t . i))"},
        {"{? = call p(1)}", "Procedure(ProcedureReturnValue(?) ProcedureName(p) ( "
                            "SFParmList(Expression(Primary(Literal("
                            "NumericLiteral(ExactNumLit(1)))))) ))"},
        {"  USE  c:\\data  ", "#1410(USE c:\\data)"},
        {"SELECT a FROM q/r",
         "SubSelectStmt(SELECT SelectList(SelSubList(SelSubListItem(Expression("
         "Primary(ColName(ColId(a))))))) FROM TableRefList(TableRef(TableName(q / r))))"},
    };
    for (const GoldenCase &c : cases) {
        ParsedTree tree(c.text);
        ASSERT_EQ(tree.result, RC_PRS_OK) << c.text << ": " << rcPrsLastErrorText();
        EXPECT_EQ(CompactDump(tree.root), c.dump) << c.text;
    }
    // The qualifier of q/r became a PATH node.
    ParsedTree tree("SELECT a FROM q/r");
    rcParseNode *name = rcPrsFindFirst(tree.root, RC_N_TableName, nullptr);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->child->id, RC_T_PATH);
}

// Renders expressions and conditions with explicit parentheses.
std::string Infix(const rcParseNode *n);

std::string InfixChain(const rcParseNode *n)
{
    if (n == nullptr)
        return "?";
    if (n->next == nullptr)
        return Infix(n);
    if (n->next->next == nullptr) // sign or NOT and its operand
        return "(" + std::string(n->text) + " " + Infix(n->next) + ")";
    if (n->id == '(') // ( inner )
        return Infix(n->next);
    return "(" + Infix(n) + " " + n->next->text + " " + Infix(n->next->next) + ")";
}

std::string Infix(const rcParseNode *n)
{
    switch (n->id) {
    case RC_N_Expression:
    case RC_N_Primary:
    case RC_N_SearchCond:
    case RC_N_BooleanPrimary:
    case RC_N_Predicate:
    case RC_N_ExprOrSubQuery: return InfixChain(n->child);
    case RC_N_ComparePredicate:
        return Infix(n->child) + n->child->next->child->text + Infix(n->child->next->next);
    case RC_N_ColName:
    case RC_N_Literal: return rcPrsUnparseNode(n);
    default: return n->text;
    }
}

TEST(Parser, Precedence)
{
    struct Case {
        const char *condition;
        const char *grouped;
    };
    const Case cases[] = {
        {"-a * b = 1", "((- a) * b)=1"},
        {"a - b - c = 1", "((a - b) - c)=1"},
        {"a + b * c = 1", "(a + (b * c))=1"},
        {"a / b * c = 1", "((a / b) * c)=1"},
        {"a/b/c = 1", "((a / b) / c)=1"},
        {"-(a + b) = 1", "(- (a + b))=1"},
        {"x = 1 OR y = 2 AND z = 3", "(x=1 OR (y=2 AND z=3))"},
        {"x = 1 AND y = 2 OR z = 3", "((x=1 AND y=2) OR z=3)"},
        {"NOT x = 1 AND y = 2", "((NOT x=1) AND y=2)"},
        {"(x = 1 OR y = 2) AND z = 3", "((x=1 OR y=2) AND z=3)"},
    };
    for (const Case &c : cases) {
        std::string text = std::string("SELECT a FROM t WHERE ") + c.condition;
        ParsedTree tree(text);
        ASSERT_EQ(tree.result, RC_PRS_OK) << text;
        rcParseNode *where = rcPrsFindFirst(tree.root, RC_N_WhereSearchCond_Opt, nullptr);
        ASSERT_NE(where, nullptr);
        EXPECT_EQ(Infix(where->child->next), c.grouped) << c.condition;
    }
}

struct ErrorCase {
    std::string text;
    int result;
    uint16_t message;
};

TEST(Parser, ErrorsAndTheirMessages)
{
    const std::string ins301 = [] {
        std::string s = "SELECT a FROM t WHERE a IN (0";
        for (int i = 1; i < 301; ++i) {
            s += ',';
            s += std::to_string(i);
        }
        return s + ")";
    }();
    const ErrorCase cases[] = {
        {"SELECT FROM t", RC_PRS_SYNTAX, 1502},
        {"DELETE FROM t WHERE CURRENT OF c", RC_PRS_SYNTAX, 1502},
        {"SELECT SUM(DISTINCT a + b) FROM t", RC_PRS_SYNTAX, 1502},
        {"SELECT SUM(*) FROM t", RC_PRS_SYNTAX, 1502},
        {"SELECT {? = fn f()} FROM t", RC_PRS_SYNTAX, 1502},
        {"SELECT {x 'abc'} FROM t", RC_PRS_SYNTAX, 1502},
        {"SELECT --(*vendor(IBM),product(ODBC) fn f()*)-- FROM t", RC_PRS_SYNTAX, 1502},
        {"SELECT a FROM t WHERE a = 1 # 2", RC_PRS_SYNTAX, 1502},
        {"SELECT a FROM t WHERE a = 'open", RC_PRS_SYNTAX, 1502},
        {"useless", RC_PRS_SYNTAX, 1502},
        {"USE " + std::string(261, 'p'), RC_PRS_SYNTAX, 1502},
        {"USE \"c:\\da\"ta", RC_PRS_SYNTAX, 1502},
        {"SELECT a FROM " + std::string(65, 't'), RC_PRS_SYNTAX, 1510},
        // A quoted identifier that is too long fails the parse, even after a
        // complete statement: it is never cut off silently.
        {"DELETE FROM t \"" + std::string(64, 'x') + "\"", RC_PRS_SYNTAX, 1510},
        {"GRANT ALL ON t TO abcdefghi", RC_PRS_SYNTAX, 1511},
        {"SELECT a FROM procedure", RC_PRS_SYNTAX, 1515},
        {"SELECT FOO(a) FROM t", RC_PRS_PASS2, 1521},
        {"SELECT SUBSTRING(a) FROM t", RC_PRS_PASS2, 1520},
        {"SELECT CONVERT(a, INTEGER) FROM t", RC_PRS_PASS2, 1525},
        {"SELECT a FROM t WHERE b = '" + std::string(1100, 'x') + "'", RC_PRS_TOOLONG, 1522},
        {"SELECT a FROM \"a\"\"b\"/t", RC_PRS_SYNTAX, 1526},
        {ins301, RC_PRS_SYNTAX, 1531},
        {"SELECT {d '1999-02-30'} FROM t", RC_PRS_SYNTAX, 1532},
        {"SELECT {d '99-13-45'} FROM t", RC_PRS_SYNTAX, 1532},
        {"SELECT a FROM t WHERE {fn ucase(a)} = 1", RC_PRS_SYNTAX, 0}, // escapes off below
    };
    for (size_t i = 0; i + 1 < std::size(cases); ++i) {
        const ErrorCase &c = cases[i];
        ParseOutcome out = ParseText(c.text.c_str());
        EXPECT_EQ(out.result, c.result) << c.text.substr(0, 60);
        EXPECT_EQ(out.message, c.message) << c.text.substr(0, 60) << ": " << out.error;
    }
    ParseOutcome off = ParseText(cases[std::size(cases) - 1].text.c_str(), false);
    EXPECT_EQ(off.result, RC_PRS_SYNTAX);
    EXPECT_EQ(off.message, 1502);
}

TEST(Parser, ListLimitsCountPerListOrPerStatement)
{
    auto values = [](const char *head, int n, const char *tail) {
        std::string s = head;
        for (int i = 0; i < n; ++i) {
            if (i)
                s += ',';
            s += std::to_string(i);
        }
        return s + tail;
    };
    // Two IN lists of 200 values, and a VALUES list of 301, are fine.
    std::string two =
        values("SELECT a FROM t WHERE a IN (", 200, ")") + values(" AND b IN (", 200, ")");
    EXPECT_EQ(ParseText(two.c_str()).result, RC_PRS_OK);
    EXPECT_EQ(ParseText(values("INSERT INTO t VALUES (", 301, ")").c_str()).result, RC_PRS_OK);

    rcPrsSetLimits(2, 3);
    EXPECT_EQ(ParseText("CREATE TABLE t (a INTEGER, b INTEGER)").result, RC_PRS_OK);
    ParseOutcome cols = ParseText("CREATE TABLE t (a INTEGER, b INTEGER, c INTEGER)");
    EXPECT_EQ(cols.result, RC_PRS_PASS13);
    EXPECT_EQ(cols.message, 1527);
    // Select items of subqueries count; t.* items do not.
    EXPECT_EQ(ParseText("SELECT a, b, t.* FROM t WHERE x IN (SELECT c FROM u)").result, RC_PRS_OK);
    ParseOutcome items = ParseText("SELECT a, b FROM t WHERE EXISTS (SELECT c, d FROM u)");
    EXPECT_EQ(items.message, 1533);
    EXPECT_EQ(items.error, "Maximum number of 3 result columns exceeded.");
    rcPrsSetLimits(0xFFFF, 0xFFFF);
}

TEST(Parser, ArenaFullFailsWithGlobalMemoryFull)
{
    std::string text = "SELECT a FROM t WHERE a IN (0";
    for (int i = 1; i < 300; ++i) {
        text += ',';
        text += std::to_string(i);
    }
    text += ")";
    rcMemPool arena = rcPrsNewArena();
    rcMemPoolSetChunkLimit(arena, 1);
    rcParseNode *root = nullptr;
    EXPECT_EQ(rcPrsParseLocked(arena, text.c_str(), &root, true), RC_PRS_NOMEM);
    EXPECT_EQ(rcPrsLastErrorId(), 1503);
    rcPrsFreeArena(arena);
}

TEST(Parser, ErrorPositionIsTheLastCharacterRead)
{
    ParseOutcome out = ParseText("SELECT a FROM t WHERE a = = 1");
    EXPECT_EQ(out.message, 1502);
    EXPECT_EQ(rcPrsErrorPos(), 26); // the second "="
    ParseText("USE");
    EXPECT_EQ(rcPrsErrorPos(), 3);
}

TEST(ParseTree, LinksSearchAndScope)
{
    ParsedTree tree("SELECT a FROM t WHERE b IN (SELECT c FROM u WHERE d = 1) ORDER BY e");
    ASSERT_EQ(tree.result, RC_PRS_OK);
    // Depth-first order over the whole statement, ORDER BY included.
    std::vector<std::string> names;
    for (rcParseNode *n = rcPrsFindFirst(tree.root, RC_N_ColId, nullptr); n != nullptr;
         n = rcPrsFindFirst(tree.root, RC_N_ColId, n))
        names.push_back(n->child->text);
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "c", "d", "e"}));
    // Without descending into subqueries.
    names.clear();
    for (rcParseNode *n =
             rcPrsFindNextEx(tree.root, RC_N_ColId, nullptr, false, RC_PRS_STOP_SUBQUERY);
         n != nullptr; n = rcPrsFindNextEx(tree.root, RC_N_ColId, n, false, RC_PRS_STOP_SUBQUERY))
        names.push_back(n->child->text);
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "e"}));

    rcParseNode *d = rcPrsFindFirst(tree.root, RC_N_ColId, nullptr);
    while (d != nullptr && std::string(d->child->text) != "d")
        d = rcPrsFindFirst(tree.root, RC_N_ColId, d);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(rcPrsFindInScope(d, RC_N_QuerySpec)->id, RC_N_QuerySpec);
    EXPECT_EQ(rcPrsFindInScope(d, RC_N_OrderBy_Opt), nullptr);
    rcParseNode *where = rcPrsFindFirst(tree.root, RC_N_WhereSearchCond_Opt, nullptr);
    EXPECT_EQ(rcPrsParentOf(where->child->next), where);
    EXPECT_EQ(where->child->next->prev, where->child);

    // The bare column inside an expression.
    rcParseNode *expr = rcPrsFindFirst(tree.root, RC_N_Expression, nullptr);
    ASSERT_NE(rcPrsChainedChild(expr), nullptr);
    EXPECT_EQ(rcPrsChainedChild(expr)->id, RC_N_ColName);
    ParsedTree sum("SELECT a + 1 FROM t");
    EXPECT_EQ(rcPrsChainedChild(rcPrsFindFirst(sum.root, RC_N_Expression, nullptr)), nullptr);
}

TEST(ParseTree, CopyCompareReplace)
{
    ParsedTree tree("SELECT T.A + 1, x FROM t WHERE t.a + 1 > 2");
    ASSERT_EQ(tree.result, RC_PRS_OK);
    rcParseNode *copy = nullptr;
    ASSERT_EQ(rcPrsCopyTree(tree.arena, &copy, tree.root), 1);
    EXPECT_TRUE(rcPrsTreeEqual(copy, tree.root));
    EXPECT_EQ(rcPrsUnparse(copy), rcPrsUnparse(tree.root));

    // The select item T.A + 1 equals the WHERE operand t.a + 1 (names
    // compare without regard to case).
    rcParseNode *item = rcPrsFindFirst(tree.root, RC_N_SelSubListItem, nullptr)->child;
    rcParseNode *same = rcPrsFindEqual(tree.root, item, item, true);
    ASSERT_NE(same, nullptr);
    EXPECT_NE(rcPrsFindInScope(same, RC_N_WhereSearchCond_Opt), nullptr);

    // String literals compare exactly.
    ParsedTree lower("SELECT 'a' FROM t");
    ParsedTree upper("SELECT 'A' FROM t");
    EXPECT_FALSE(rcPrsTreeEqual(lower.root, upper.root));

    // Replacing the x column by the first item's expression.
    rcParseNode *x = rcPrsFindNext(tree.root, RC_N_SelSubListItem, rcPrsParentOf(item), true);
    ASSERT_NE(x, nullptr);
    rcParseNode *replacement = nullptr;
    ASSERT_EQ(rcPrsCopyTree(tree.arena, &replacement, item), 1);
    rcParseNode *old = x->child;
    rcPrsReplaceNode(old, replacement);
    EXPECT_EQ(x->child, replacement);
    EXPECT_EQ(rcPrsParentOf(replacement), x);
    EXPECT_EQ(old->parent, nullptr);
    EXPECT_EQ(rcPrsUnparse(tree.root), "SELECT T . A + 1 , T . A + 1 FROM t WHERE t . a + 1 > 2");
}

TEST(ParseTree, PathHelpers)
{
    struct Case {
        const char *path;
        bool ok;
        const char *result;
    };
    const Case cases[] = {
        {"c:\\data", true, "c:\\data"},
        {"\"c:\\my data\"", true, "c:\\my data"},
        {"\"c:\\my data\"\\", true, "c:\\my data\\"},
        {"\"c:\\my\" data", false, nullptr},
        {"c:\\\"data\"", false, nullptr},
        {"\"open", false, nullptr},
    };
    for (const Case &c : cases) {
        char buf[64];
        std::strcpy(buf, c.path);
        EXPECT_EQ(rcPrsCheckPathQuotes(buf), c.ok) << c.path;
        if (c.ok) {
            EXPECT_STREQ(buf, c.result);
        }
    }
    rcMemPool arena = rcPrsNewArena();
    rcParseNode *split = rcPrsMakePathName(arena, "c:\\data\\emp");
    ASSERT_NE(split, nullptr);
    EXPECT_EQ(CompactDump(split), "c:\\data\\ emp");
    EXPECT_EQ(split->id, RC_T_PATH);
    rcParseNode *qualified = rcPrsSplitQualified(arena, "\"my t\".col");
    EXPECT_EQ(CompactDump(qualified), "my t col");
    rcPrsFreeArena(arena);
}

} // namespace

#include <atomic>
#include <chrono>
#include <thread>

#include "driver/core/rclock.h"

namespace {

TEST(ParserThreads, ParsesOnSeveralThreadsKeepTheirOwnState)
{
    // Each thread parses its own statements, good and bad, and checks the
    // tree and the error it gets: no state is shared between parses.
    std::atomic<int> failures{0};
    auto work = [&failures](int seed) {
        for (int i = 0; i < 200; ++i) {
            std::string name(1, 'c');
            name.append(std::to_string(seed)).append(1, '_').append(std::to_string(i));
            std::string good = "SELECT " + name + " FROM t WHERE x = 'v" + name + "'";
            ParsedTree tree(good);
            if (tree.result != RC_PRS_OK || rcPrsUnparse(tree.root) != good.substr(0, 7) + name +
                                                                           " FROM t WHERE x = 'v" +
                                                                           name + "'")
                ++failures;
            ParseOutcome bad =
                ParseText(("SELECT FOO" + std::to_string(seed) + "(a) FROM t").c_str());
            if (bad.message != 1521 ||
                bad.error != "Invalid scalar function: FOO" + std::to_string(seed) + ".")
                ++failures;
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back(work, t);
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST(ParserThreads, ParseWaitsForTheParserLock)
{
    rcMutex **var = rcParserLockVar();
    ASSERT_EQ(rcMutexCreate(var), 0);
    ASSERT_EQ(rcMutexLock(*var), 0);
    std::atomic<bool> done{false};
    std::thread other([&done] {
        ParsedTree tree("SELECT a FROM t");
        done = tree.result == RC_PRS_OK;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(done.load()); // held here: the other parse waits
    // The holder itself may parse: the lock is re-entrant.
    EXPECT_EQ(ParseText("SELECT b FROM u").result, RC_PRS_OK);
    rcMutexUnlock(*var);
    other.join();
    EXPECT_TRUE(done.load());
    rcMutexRelease(var);
    EXPECT_EQ(*var, nullptr);
}

} // namespace

#include "driver/core/rcerror.h"
#include "driver/core/rcmem.h"

namespace {

TEST(Parser, DeepNestingFailsCleanly)
{
    // Deeper than the parser stack allows: a syntax error, no crash.
    std::string deep =
        "SELECT a FROM t WHERE " + std::string(5000, '(') + "a = 1" + std::string(5000, ')');
    ParseOutcome out = ParseText(deep.c_str());
    EXPECT_EQ(out.result, RC_PRS_SYNTAX);
    EXPECT_EQ(out.message, 1502);
    // Within the limit, the tree regenerates and parses back.
    std::string nested =
        "SELECT " + std::string(200, '(') + "a" + std::string(200, ')') + " FROM t";
    ParsedTree tree(nested);
    ASSERT_EQ(tree.result, RC_PRS_OK);
    ParsedTree again(rcPrsUnparse(tree.root));
    EXPECT_TRUE(rcPrsTreeEqual(tree.root, again.root));
}

TEST(Parser, OverlyDeepTreeFailsBeforeAnyWalkerRecurses)
{
    // A long OR chain nests one level per term without growing the parser
    // stack; a tree that deep would overflow the machine stack of every
    // recursive walker (regeneration, copy, compare, the later passes).
    std::string chain = "SELECT a FROM t WHERE a = 0";
    for (int i = 1; i < 20000; ++i)
        chain += " OR a = " + std::to_string(i);
    ParseOutcome out = ParseText(chain.c_str());
    EXPECT_EQ(out.result, RC_PRS_SYNTAX);
    EXPECT_EQ(out.message, 1502);
    std::string sum = "SELECT 0";
    for (int i = 1; i < 20000; ++i)
        sum += "+a";
    EXPECT_EQ(ParseText((sum + " FROM t").c_str()).message, 1502);
    // A generated chain of a thousand terms still parses and regenerates.
    std::string fine = "SELECT a FROM t WHERE a = 0";
    for (int i = 1; i < 1000; ++i)
        fine += " OR a = " + std::to_string(i);
    ParsedTree tree(fine);
    ASSERT_EQ(tree.result, RC_PRS_OK);
    ParsedTree again(rcPrsUnparse(tree.root));
    ASSERT_EQ(again.result, RC_PRS_OK);
    EXPECT_TRUE(rcPrsTreeEqual(tree.root, again.root));
}

TEST(Parser, LastErrorIsPostedAsSyntaxErrorText)
{
    ASSERT_EQ(rcInitDriverGlobals(), 0);
    rcErrorQueue queue{};
    ParseText("SELECT FOO(a) FROM t");
    EXPECT_EQ(rcPrsPostLastError(&queue), -1);
    SQLCHAR state[6];
    SQLCHAR text[256];
    SQLINTEGER native;
    SQLSMALLINT length;
    ASSERT_EQ(rcErrPopMessage(state, &native, text, sizeof text, &length, &queue), 0);
    EXPECT_STREQ(reinterpret_cast<char *>(state), "37000");
    EXPECT_NE(std::string(reinterpret_cast<char *>(text)).find("Invalid scalar function: FOO."),
              std::string::npos);
    rcErrQueueDestroy(&queue);
    rcPoolFreeAll();
}

} // namespace

namespace {

TEST(ParseTree, CopyIntoAFullArenaFails)
{
    std::string text = "SELECT a FROM t WHERE a IN (0";
    for (int i = 1; i < 250; ++i) {
        text += ',';
        text += std::to_string(i);
    }
    ParsedTree tree(text + ")");
    ASSERT_EQ(tree.result, RC_PRS_OK);
    rcMemPool small = rcPrsNewArena();
    rcMemPoolSetChunkLimit(small, 1);
    rcParseNode *copy = nullptr;
    EXPECT_EQ(rcPrsCopyTree(small, &copy, tree.root), 0);
    EXPECT_EQ(copy, nullptr);
    rcPrsFreeArena(small);
}

TEST(Parser, FreeTextErrorJoinsItsParts)
{
    rcPrsRecordFreeText("Table password ", "refused.");
    EXPECT_EQ(rcPrsLastErrorId(), 65535);
    EXPECT_STREQ(rcPrsLastErrorText(), "Table password refused.");
}

} // namespace
