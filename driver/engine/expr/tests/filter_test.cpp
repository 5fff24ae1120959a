// Filter programs: (condition, row) -> TRUE, FALSE or UNKNOWN.
#include <gtest/gtest.h>

#include "driver/core/rcmsgid.h"
#include "driver/engine/expr/tests/expr_test_util.h"

using namespace exptest;

namespace {

constexpr rcTruth T = RC_TRUE, F = RC_FALSE, U = RC_UNKNOWN;

const char *Name(rcTruth t) { return t == RC_TRUE ? "TRUE" : t == RC_FALSE ? "FALSE" : "UNKNOWN"; }

struct CondCase {
    const char *cond;
    Row row;
    rcTruth truth;
};

rcTruth Truth(World &w, const std::string &cond)
{
    const rcParseNode *node = w.ParseCond(cond);
    EXPECT_NE(node, nullptr) << cond << " not read";
    if (!node)
        return U;
    rcFltId f = 0;
    EXPECT_EQ(rcFltCompile(&w.env, node, &f), 0) << cond;
    rcTruth t = U;
    EXPECT_EQ(rcFltRunTruth(&w.env, f, &t), 0) << cond;
    return t;
}

void RunCases(const std::vector<CondCase> &cases)
{
    for (const CondCase &c : cases) {
        World w;
        w.row = c.row;
        rcTruth t = Truth(w, c.cond);
        EXPECT_EQ(t, c.truth) << c.cond << " gave " << Name(t);
        EXPECT_EQ(w.TakeMessage(), 0u) << c.cond;
    }
}

TEST(FilterPrograms, ComparisonsOfEveryTypePair)
{
    RunCases({
        {"i = 3", {{"i", "3"}}, T},
        {"i <> 3", {{"i", "3"}}, F},
        {"i < s", {{"i", "3"}, {"s", "4"}}, T},
        {"i >= d", {{"i", "3"}, {"d", "3.0"}}, T},
        {"i > d", {{"i", "3"}, {"d", "2.5"}}, T},
        {"i <= 2.5", {{"i", "3"}}, F},
        {"n = 2.5", {{"n", "2.50"}}, T},
        {"n > i", {{"n", "12345678901234567890"}, {"i", "5"}}, T},
        // REAL against DOUBLE in double precision: 0.1f lies above 0.1.
        {"r > d", {{"r", "0.1"}, {"d", "0.1"}}, T},
        {"r = 0.5", {{"r", "0.5"}}, T},
        // Text: case-insensitive Windows-1252, trailing blanks do not count.
        {"'ABC ' = 'ABC'", {}, T},
        {"c = 'ab'", {{"c", "ab        "}}, T},
        {"v = 'ABC'", {{"v", "abc"}}, T},
        {"v < 'b'", {{"v", "Abc"}}, T},
        {"v = '\xc9T\xc9'", {{"v", "\xe9t\xe9"}}, T},
        {"v = 'ete'", {{"v", "\xe9t\xe9"}}, F},
        {"v > c", {{"v", "b"}, {"c", "a"}}, T},
        // Dates and times, text read as a date-time.
        {"dt = {d '2000-01-01'}", {{"dt", "2000-01-01"}}, T},
        {"dt < '2000-02-01'", {{"dt", "2000-01-31"}}, T},
        {"ts > dt", {{"ts", "2000-01-01 00:00:01"}, {"dt", "2000-01-01"}}, T},
        {"ts = dt", {{"ts", "2000-01-01 00:00:00"}, {"dt", "2000-01-01"}}, T},
        {"tm < {t '12:00:00'}", {{"tm", "11:59:59"}}, T},
        {"ts = {ts '2000-01-01 10:00:00.5'}", {{"ts", "2000-01-01 10:00:00.5"}}, T},
        {"i = '3'", {{"i", "3"}}, T},
        {"b = 1", {{"b", "1"}}, T},
        {"b <> s", {{"b", "1"}, {"s", "0"}}, T},
        {"n = 0.1", {{"n", "0.1"}}, T},
        // NULL on either side.
        {"i = 3", {}, U},
        {"3 = i", {}, U},
        {"v = c", {{"v", "x"}}, U},
    });
}

TEST(FilterPrograms, BetweenInLikeAndNullTests)
{
    RunCases({
        {"i BETWEEN 1 AND 3", {{"i", "1"}}, T},
        {"i BETWEEN 1 AND 3", {{"i", "3"}}, T},
        {"i BETWEEN 1 AND 3", {{"i", "4"}}, F},
        {"i NOT BETWEEN 1 AND 3", {{"i", "4"}}, T},
        {"i BETWEEN 1 AND 3", {}, U},
        {"i NOT BETWEEN 1 AND 3", {}, U},
        {"i BETWEEN j AND 3", {{"i", "5"}}, F},
        {"i BETWEEN j AND 3", {{"i", "2"}}, U},
        {"dt BETWEEN '2000-01-01' AND '2000-12-31'", {{"dt", "2000-06-30"}}, T},
        {"i IN (1, 2)", {{"i", "2"}}, T},
        {"i IN (1, 2)", {{"i", "5"}}, F},
        {"i NOT IN (1, 2)", {{"i", "5"}}, T},
        {"i NOT IN (1, 2)", {}, U},
        {"i IN (-1, +2)", {{"i", "-1"}}, T},
        {"v IN ('a', 'B ')", {{"v", "b"}}, T},
        {"v IN (USER, 'x')", {{"v", "ALICE"}}, T},
        {"dt IN ('2000-01-01', {d '2000-01-02'})", {{"dt", "2000-01-02"}}, T},
        {"v LIKE 'a\\_b'", {{"v", "a_b"}}, T},
        {"v LIKE 'a\\_b'", {{"v", "axb"}}, F},
        {"v LIKE 'a_b'", {{"v", "axb"}}, T},
        {"v LIKE '%abc'", {{"v", "xxabc"}}, T},
        {"v LIKE '%abc'", {{"v", "abcx"}}, F},
        {"v LIKE '%'", {{"v", ""}}, T},
        {"v LIKE 'a%%c'", {{"v", "abbc"}}, T},
        {"v LIKE '100\\%'", {{"v", "100%"}}, T},
        {"v LIKE '100\\%'", {{"v", "1000"}}, F},
        {"'abc' LIKE 'A%'", {}, T},
        {"v NOT LIKE 'a%'", {{"v", "abc"}}, F},
        {"v NOT LIKE 'a%'", {{"v", "xbc"}}, T},
        {"v LIKE 'a%'", {}, U},
        {"v NOT LIKE 'a%'", {}, U},
        {"v IS NULL", {}, T},
        {"v IS NULL", {{"v", ""}}, F},
        {"v IS NOT NULL", {{"v", ""}}, T},
        {"i + j IS NULL", {{"i", "1"}}, T},
    });
}

TEST(FilterPrograms, TheNullRowOfAnOuterJoinReadsNothing)
{
    World w;
    w.row = {{"i", "1"}, {"c", "abc"}};
    w.nullRow = 1;
    EXPECT_EQ(Truth(w, "c IS NULL AND i + 1 IS NULL"), RC_TRUE);
    EXPECT_EQ(Truth(w, "i = 1 OR c = 'abc'"), RC_UNKNOWN);
    EXPECT_EQ(w.reads, 0);
    w.nullRow = 0;
    EXPECT_EQ(Truth(w, "i = 1 AND c = 'abc'"), RC_TRUE);
}

TEST(FilterPrograms, InWithNullParametersKeepsScanning)
{
    World w;
    w.params = {{SQL_INTEGER, std::nullopt}};
    rcFltId f = 0;
    ASSERT_EQ(rcFltCompile(&w.env, w.ParseCond("i IN (?, 1)"), &f), 0);
    rcTruth t;
    w.row = {{"i", "1"}};
    ASSERT_EQ(rcFltRunTruth(&w.env, f, &t), 0);
    EXPECT_EQ(t, RC_TRUE);
    w.row = {{"i", "2"}};
    ASSERT_EQ(rcFltRunTruth(&w.env, f, &t), 0);
    EXPECT_EQ(t, RC_UNKNOWN);
    w.params[0].text = "2";
    ASSERT_EQ(rcFltRunTruth(&w.env, f, &t), 0);
    EXPECT_EQ(t, RC_TRUE);
}

TEST(FilterPrograms, LikeCaseFollowsTheConnection)
{
    World w;
    w.env.textCaseSensitive = true;
    EXPECT_EQ(Truth(w, "'abc' LIKE 'A%'"), RC_FALSE);
    EXPECT_EQ(Truth(w, "'abc' LIKE 'a%'"), RC_TRUE);
}

// Three-valued logic over every combination, in both operand orders and
// under NOT, run on the same program row after row.
TEST(FilterPrograms, ThreeValuedLogicOverEveryCombination)
{
    const char *atom[] = {"", "1 = 1", "1 = 2", "i = 1"}; // TRUE, FALSE, UNKNOWN (i is NULL)
    auto andOf = [](rcTruth a, rcTruth b) {
        return a == F || b == F ? F : a == T && b == T ? T : U;
    };
    auto orOf = [](rcTruth a, rcTruth b) {
        return a == T || b == T ? T : a == F && b == F ? F : U;
    };
    auto notOf = [](rcTruth a) { return a == T ? F : a == F ? T : U; };
    for (rcTruth a : {T, F, U}) {
        for (rcTruth b : {T, F, U}) {
            std::string x = atom[a], y = atom[b];
            struct {
                std::string cond;
                rcTruth want;
            } cases[] = {
                {x + " AND " + y, andOf(a, b)},
                {x + " OR " + y, orOf(a, b)},
                {"NOT (" + x + " AND " + y + ")", notOf(andOf(a, b))},
                {"NOT (" + x + " OR " + y + ")", notOf(orOf(a, b))},
                {"NOT " + x + " AND " + y, andOf(notOf(a), b)},
                {"(" + x + " OR " + y + ") AND (" + y + " OR " + x + ")",
                 andOf(orOf(a, b), orOf(b, a))},
                {"NOT (" + x + " AND (" + y + " OR " + x + "))", notOf(andOf(a, orOf(b, a)))},
            };
            for (const auto &c : cases) {
                World w;
                rcFltId f = 0;
                ASSERT_EQ(rcFltCompile(&w.env, w.ParseCond(c.cond), &f), 0) << c.cond;
                for (int run = 0; run < 3; ++run) { // the same answer on later rows
                    rcTruth t;
                    ASSERT_EQ(rcFltRunTruth(&w.env, f, &t), 0) << c.cond;
                    EXPECT_EQ(t, c.want) << c.cond << " run " << run << " gave " << Name(t);
                }
            }
        }
    }
}

TEST(FilterPrograms, ConditionsShortCircuitFromTheFirstRow)
{
    RunCases({
        {"j <> 0 AND i / j > 1", {{"i", "5"}, {"j", "0"}}, F},
        {"j = 0 OR i / j > 1", {{"i", "5"}, {"j", "0"}}, T},
        {"NOT (j <> 0 AND i / j > 1)", {{"i", "5"}, {"j", "0"}}, T},
        {"j <> 0 AND i / j > 1", {{"i", "5"}, {"j", "2"}}, T},
    });
    // The right side is not even read when the left side decides.
    World w;
    w.row = {{"i", "1"}, {"v", "x"}};
    rcFltId f = 0;
    ASSERT_EQ(rcFltCompile(&w.env, w.ParseCond("i = 2 AND v = 'x'"), &f), 0);
    int passed = 1;
    ASSERT_EQ(rcFltRun(&w.env, f, &passed), 0);
    EXPECT_EQ(passed, 0);
    EXPECT_EQ(w.reads, 1);
}

TEST(FilterPrograms, AnEvaluationErrorFailsTheRunWithThePredicateText)
{
    World w;
    w.row = {{"i", "5"}, {"j", "0"}};
    rcFltId f = 0;
    ASSERT_EQ(rcFltCompile(&w.env, w.ParseCond("i / j > 1"), &f), 0);
    EXPECT_STREQ(rcFltText(&w.env, f), "i / j > 1");
    int passed = 1;
    EXPECT_EQ(rcFltRun(&w.env, f, &passed), -1);
    EXPECT_EQ(passed, 0);
    ASSERT_EQ(rcErrQueueCount(&w.errors), 3u); // division, expression, filter
    rcErrorRecord rec;
    rcListGet(w.errors.list, &rec, 2);
    EXPECT_EQ(rec.msgId, RC_ENG_FILTER_EVALUATION_ERROR);
    EXPECT_STREQ(rec.text, "Error in predicate: i / j > 1");
    EXPECT_EQ(w.TakeMessage(), RC_ENG_DIVISION_BY_ZERO);
}

TEST(FilterPrograms, IfValuesRunTheirConditionInsideAnother)
{
    RunCases({
        {"IF(i > 1, v, c) = 'big'", {{"i", "2"}, {"v", "big"}, {"c", "small"}}, T},
        {"IF(i > 1, v, c) = 'big'", {{"i", "0"}, {"v", "big"}, {"c", "small"}}, F},
        {"j = 1 AND IF(i > 1 AND j = 1, 1, 0) = 1", {{"i", "2"}, {"j", "1"}}, T},
    });
    // An IF whose condition is false evaluates only the else branch.
    World w;
    w.row = {{"i", "0"}, {"j", "0"}};
    rcExpSlot slot = 0;
    ASSERT_EQ(rcExpCompile(&w.env, w.ParseExpr("IF(i > 1, i / j, 7)"), &slot, 0), 0);
    EXPECT_EQ(Show(w, slot), "7");
}

TEST(FilterPrograms, PlannerFiltersOverSlots)
{
    World w;
    w.row = {{"i", "3"}, {"j", "3"}, {"v", "abc"}};
    rcExpSlot si = 0, sj = 0, sv = 0;
    ASSERT_EQ(rcExpCompileColumn(&w.env, &w.refs[0], &si), 0);
    ASSERT_EQ(rcExpCompileColumn(&w.env, &w.refs[1], &sj), 0);
    ASSERT_EQ(rcExpCompileColumn(&w.env, &w.refs[7], &sv), 0);
    rcFltId eq = 0, notNull = 0, notLike = 0, bad = 0;
    ASSERT_EQ(rcFltCompileColumn(&w.env, si, sj, RC_T_EQ, &eq), 0);
    ASSERT_EQ(rcFltCompileColumn(&w.env, si, 0, 0, &notNull), 0);
    ASSERT_EQ(rcFltCompileLiteral(&w.env, sv, "x%", &notLike), 0);
    EXPECT_EQ(rcFltCompileColumn(&w.env, si, sj, RC_T_AND, &bad), -1);
    int passed = 0;
    ASSERT_EQ(rcFltRun(&w.env, eq, &passed), 0);
    EXPECT_EQ(passed, 1);
    ASSERT_EQ(rcFltRun(&w.env, notNull, &passed), 0);
    EXPECT_EQ(passed, 1);
    ASSERT_EQ(rcFltRun(&w.env, notLike, &passed), 0);
    EXPECT_EQ(passed, 1);
    w.row.erase("i");
    ASSERT_EQ(rcFltRun(&w.env, notNull, &passed), 0);
    EXPECT_EQ(passed, 0);
}

TEST(FilterPrograms, SubqueryTestsComeThroughTheRuntimeHook)
{
    World w;
    static int answer = 0;
    w.env.tree.subqueryOf = [](void *, const rcParseNode *) -> void * { return &answer; };
    w.env.rt.subquery = [](void *, void *h) -> int16_t {
        return static_cast<int16_t>(*static_cast<int *>(h));
    };
    rcFltId f = 0;
    ASSERT_EQ(rcFltCompile(&w.env, w.ParseCond("EXISTS (SELECT i FROM t) OR i = 1"), &f), 0);
    rcTruth t;
    answer = 0;
    ASSERT_EQ(rcFltRunTruth(&w.env, f, &t), 0);
    EXPECT_EQ(t, RC_TRUE);
    answer = 100;
    ASSERT_EQ(rcFltRunTruth(&w.env, f, &t), 0);
    EXPECT_EQ(t, RC_UNKNOWN); // i is NULL
    answer = -1;
    EXPECT_EQ(rcFltRunTruth(&w.env, f, &t), -1);
}

TEST(FilterPrograms, DeepConditionsGrowOrStopCleanly)
{
    World w;
    std::string deep = "i = 1";
    for (int k = 0; k < 300; ++k)
        deep = "(" + deep + " OR i = " + std::to_string(k + 2) + ")";
    w.row = {{"i", "301"}};
    EXPECT_EQ(Truth(w, deep), RC_TRUE);
    w.env.maxDepth = 50;
    rcFltId f = 0;
    EXPECT_EQ(rcFltCompile(&w.env, w.ParseCond(deep), &f), -1);
    EXPECT_EQ(w.TakeMessage(), RC_ENG_MAXIMUM_FILTER_EXPRESSION_DEPTH_REACHED);
}

} // namespace
