// Expression programs: (expression, row) -> value and type, and the errors
// they post.
#include <gtest/gtest.h>

#include "driver/core/rclock.h"
#include "driver/core/rcmem.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/expr/rcexpimpl.h"
#include "driver/engine/expr/tests/expr_test_util.h"
#include "platform/clock.h"

using namespace exptest;

namespace {

// The driver's globals (locks, pool table) as an environment makes them.
class DriverGlobals : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_EQ(rcInitDriverGlobals(), 0); }
    void TearDown() override { rcPoolFreeAll(); }
};
const auto *const kGlobals = ::testing::AddGlobalTestEnvironment(new DriverGlobals);

struct ExprCase {
    const char *expr;
    Row row;
    const char *value; // as SQL_C_CHAR text, "NULL" or "ERROR"
    int16_t type;      // 0: not checked
};

void RunCases(const std::vector<ExprCase> &cases)
{
    for (const ExprCase &c : cases) {
        World w;
        w.row = c.row;
        const rcParseNode *node = w.ParseExpr(c.expr);
        ASSERT_NE(node, nullptr) << c.expr << " not read";
        rcExpSlot slot = 0;
        ASSERT_EQ(rcExpCompile(&w.env, node, &slot, 0), 0) << c.expr;
        int16_t type = 0;
        EXPECT_EQ(Show(w, slot, &type), c.value) << c.expr;
        if (c.type && std::string(c.value) != "ERROR") {
            EXPECT_EQ(type, c.type) << c.expr;
        }
    }
}

TEST(ExprPrograms, ArithmeticAcrossNumericTypes)
{
    RunCases({
        {"i + j", {{"i", "2"}, {"j", "3"}}, "5", SQL_DOUBLE},
        {"i - j", {{"i", "2"}, {"j", "3"}}, "-1", SQL_DOUBLE},
        {"i * s", {{"i", "6"}, {"s", "7"}}, "42", SQL_DOUBLE},
        {"i / 4", {{"i", "10"}}, "2.5", SQL_DOUBLE},
        {"-s", {{"s", "-32767"}}, "32767", SQL_SMALLINT},
        {"-i", {{"i", "5"}}, "-5", SQL_INTEGER},
        {"-(i + 1)", {{"i", "5"}}, "-6", SQL_DOUBLE},
        {"+i", {{"i", "5"}}, "5", SQL_INTEGER},
        {"2 + 3 * 4", {}, "14", SQL_DOUBLE},
        {"(2 + 3) * 4", {}, "20", SQL_DOUBLE},
        {"1.5 + 1", {}, "2.5", SQL_DOUBLE},
        {"1.5E1 * 2", {}, "30", SQL_DOUBLE},
        // REAL with DOUBLE is computed in double precision.
        {"r + d", {{"r", "0.5"}, {"d", "0.25"}}, "0.75", SQL_DOUBLE},
        {"n + 1", {{"n", "12345678901234567890.5"}}, "12345678901234567891.5", RC_SQL_DECIMAL38},
        {"n * n", {{"n", "1000000000000"}}, "1000000000000000000000000", RC_SQL_DECIMAL38},
        {"-n", {{"n", "2.25"}}, "-2.25", RC_SQL_DECIMAL38},
    });
}

TEST(ExprPrograms, NullInEveryOperatorGivesNull)
{
    RunCases({
        {"i + j", {{"i", "1"}}, "NULL", 0},
        {"i - j", {{"j", "1"}}, "NULL", 0},
        {"i * 2", {}, "NULL", 0},
        {"2 / i", {}, "NULL", 0},
        {"-i", {}, "NULL", 0},
        {"v + 'x'", {}, "NULL", 0},
        {"dt + 1", {}, "NULL", 0},
        {"n + 1", {}, "NULL", 0},
        {"UCASE(v)", {}, "NULL", 0},
        {"LEFT(v, i)", {{"v", "abc"}}, "NULL", 0},
        {"LOCATE('a', v)", {}, "NULL", 0},
        {"CONCAT(v, c)", {{"v", "a"}}, "NULL", 0},
        {"{fn NULL()}", {}, "NULL", 0},
        {"IF(i > 1, v, c)", {{"i", "2"}}, "NULL", 0},
        // A NULL stops the run before a division by zero further on.
        {"j + i / 0", {{"i", "1"}}, "NULL", 0},
    });
}

TEST(ExprPrograms, ConcatenationTakesTheRightOperandsSide)
{
    RunCases({
        {"'abc' + 'def'", {}, "abcdef", SQL_VARCHAR},
        {"v + c", {{"v", "ab"}, {"c", "cd"}}, "abcd", SQL_VARCHAR},
        {"i + 'x'", {{"i", "5"}}, "5x", SQL_VARCHAR},
        {"'' + ''", {}, "", SQL_VARCHAR},
        {"USER + '@' + {fn DATABASE()}", {}, "alice@sales", SQL_VARCHAR},
    });
}

TEST(ExprPrograms, DateArithmeticBySerialDays)
{
    RunCases({
        {"dt + 31", {{"dt", "2000-01-31"}}, "2000-03-02", SQL_DATE},
        {"dt + 1", {{"dt", "1999-12-31"}}, "2000-01-01", SQL_DATE},
        {"dt + 1", {{"dt", "1900-02-28"}}, "1900-03-01", SQL_DATE},
        {"dt + 1", {{"dt", "2004-02-28"}}, "2004-02-29", SQL_DATE},
        {"3 + dt", {{"dt", "2000-02-27"}}, "2000-03-01", SQL_DATE},
        {"dt - 1", {{"dt", "2000-03-01"}}, "2000-02-29", SQL_DATE},
        {"dt + 1.5", {{"dt", "2000-01-01"}}, "2000-01-02", SQL_DATE},
        {"dt - dt2", {{"dt", "2000-03-01"}, {"dt2", "2000-02-01"}}, "29", SQL_DOUBLE},
        {"dt2 - dt", {{"dt", "2001-01-01"}, {"dt2", "2000-01-01"}}, "-366", SQL_DOUBLE},
        {"dt - '1999-12-31'", {{"dt", "2000-01-01"}}, "1", SQL_DOUBLE},
        {"ts + 1", {{"ts", "2000-02-28 13:45:10"}}, "2000-02-29 13:45:10", SQL_TIMESTAMP},
        {"ts - dt", {{"ts", "2000-01-05 23:59:59"}, {"dt", "2000-01-01"}}, "4", SQL_DOUBLE},
        {"{d '2000-01-01'} + 365", {}, "2000-12-31", SQL_DATE},
        {"dt * 2", {{"dt", "2000-01-01"}}, "ERROR", 0},
        {"dt + dt2", {{"dt", "2000-01-01"}, {"dt2", "2000-01-01"}}, "ERROR", 0},
        {"tm + 1", {{"tm", "10:00:00"}}, "ERROR", 0},
    });
}

TEST(ExprPrograms, ScalarFunctionsWithTheirEdges)
{
    RunCases({
        {"LEFT('abc', 5)", {}, "abc", SQL_VARCHAR},
        {"LEFT('abc', -1)", {}, "", SQL_VARCHAR},
        {"LEFT('abc', 2)", {}, "ab", SQL_VARCHAR},
        {"LEFT('', 3)", {}, "", SQL_VARCHAR},
        {"RIGHT('abc', 2)", {}, "bc", SQL_VARCHAR},
        {"RIGHT('abc', 9)", {}, "abc", SQL_VARCHAR},
        {"RIGHT('abc', -2)", {}, "", SQL_VARCHAR},
        {"SUBSTRING('abcdef', 2, 3)", {}, "bcd", SQL_VARCHAR},
        {"SUBSTRING('abc', 5, 1)", {}, "", SQL_VARCHAR},
        {"SUBSTRING('abcdef', 0, 2)", {}, "ab", SQL_VARCHAR},
        {"SUBSTRING('abcdef', -3, 2)", {}, "ab", SQL_VARCHAR},
        {"SUBSTRING('abcdef', 3)", {}, "cdef", SQL_VARCHAR},
        {"SUBSTRING('abcdef', 2, -1)", {}, "", SQL_VARCHAR},
        {"SUBSTRING('abcdef', 5, 100000)", {}, "ef", SQL_VARCHAR},
        {"SUBSTRING(v, 2, 2)", {{"v", "xyz"}}, "yz", SQL_VARCHAR},
        {"LOCATE('c', 'abc')", {}, "3", SQL_INTEGER},
        {"LOCATE('x', 'abc')", {}, "0", SQL_INTEGER},
        {"LOCATE('a', 'abca', 2)", {}, "4", SQL_INTEGER},
        {"LOCATE('a', 'abca', 0)", {}, "1", SQL_INTEGER},
        {"LOCATE('a', 'abc', 10)", {}, "0", SQL_INTEGER},
        {"LOCATE('abcd', 'abc')", {}, "0", SQL_INTEGER},
        {"LENGTH(c)", {{"c", "ab  "}}, "2", SQL_INTEGER},
        {"LENGTH(v)", {{"v", "ab  "}}, "4", SQL_INTEGER},
        {"LENGTH('')", {}, "0", SQL_INTEGER},
        {"LTRIM('  a ')", {}, "a ", SQL_VARCHAR},
        {"RTRIM('  a  ')", {}, "  a", SQL_VARCHAR},
        {"UCASE('abc\xe0')", {}, "ABC\xc0", 0},
        {"LCASE('ABC\xc0')", {}, "abc\xe0", 0},
        {"CONCAT('ab', 'cd')", {}, "abcd", SQL_CHAR},
        {"CONCAT('', '')", {}, "", SQL_CHAR},
        {"MOD(7, 3)", {}, "1", SQL_INTEGER},
        {"MOD(-7, 2)", {}, "-1", SQL_INTEGER},
        {"MOD(7, 0)", {}, "ERROR", 0},
        {"DAYOFWEEK({d '2000-01-01'})", {}, "7", SQL_INTEGER},
        {"DAYOFWEEK({d '2024-03-10'})", {}, "1", SQL_INTEGER},
        {"DAYOFMONTH(dt)", {{"dt", "2000-02-29"}}, "29", SQL_INTEGER},
        {"MONTH(ts)", {{"ts", "1999-12-31 23:59:59"}}, "12", SQL_INTEGER},
        {"YEAR('1998-07-04')", {}, "1998", SQL_INTEGER},
        {"QUARTER({d '2000-01-15'})", {}, "1", SQL_INTEGER},
        {"QUARTER({d '2000-03-31'})", {}, "1", SQL_INTEGER},
        {"QUARTER({d '2000-04-01'})", {}, "2", SQL_INTEGER},
        {"QUARTER({d '2000-12-31'})", {}, "4", SQL_INTEGER},
        {"MONTH('not a date')", {}, "ERROR", 0},
        {"USER()", {}, "alice", SQL_CHAR},
        {"DATABASE()", {}, "sales", SQL_CHAR},
        {"CONVERT(i, SQL_CHAR)", {{"i", "42"}}, "42", SQL_CHAR},
        {"CONVERT('12', SQL_INTEGER)", {}, "12", SQL_INTEGER},
        {"CONVERT('2000-01-02', SQL_DATE)", {}, "2000-01-02", SQL_DATE},
        {"CONVERT('abc', SQL_INTEGER)", {}, "ERROR", 0},
        {"IF(i > 1, 'big', 'small')", {{"i", "2"}}, "big", 0},
        {"IF(i > 1, 'big', 'small')", {{"i", "1"}}, "small", 0},
        {"IF(i > 1, 'big', 'small')", {}, "small", 0},
    });
}

// Runs one expression and gives the first message it posted.
uint32_t ErrorOf(const char *expr, const Row &row, std::string *text = nullptr)
{
    World w;
    w.row = row;
    rcExpSlot slot = 0;
    const rcParseNode *node = w.ParseExpr(expr);
    if (!node || rcExpCompile(&w.env, node, &slot, 0) != 0)
        return w.TakeMessage(text);
    rcExpValue v;
    EXPECT_EQ(rcExpEvalValue(&w.env, slot, &v), -1) << expr;
    return w.TakeMessage(text);
}

TEST(ExprPrograms, EachErrorPostsItsMessage)
{
    EXPECT_EQ(ErrorOf("i / j", {{"i", "1"}, {"j", "0"}}), RC_ENG_DIVISION_BY_ZERO);
    EXPECT_EQ(ErrorOf("1 / 0", {}), RC_ENG_DIVISION_BY_ZERO);
    EXPECT_EQ(ErrorOf("n / 0", {{"n", "1"}}), RC_ENG_DIVISION_BY_ZERO);
    EXPECT_EQ(ErrorOf("d * d", {{"d", "1E300"}}), RC_ENG_FLOATING_POINT_OVERFLOW);
    EXPECT_EQ(ErrorOf("MOD(i, 0)", {{"i", "7"}}), RC_MSG_DIVISION_BY_ZERO);
    EXPECT_EQ(ErrorOf("dt * 2", {{"dt", "2000-01-01"}}), RC_ENG_INCOMPATIBLE_TYPES_EXPRESSION);
    EXPECT_EQ(ErrorOf("-i", {{"i", "-2147483648"}}), RC_MSG_NUMERIC_VALUE_OUT_RANGE);
    EXPECT_EQ(ErrorOf("'x' * 2", {}), RC_MSG_ERROR_IN_ASSIGNMENT);
    EXPECT_EQ(ErrorOf("dt - 'someday'", {{"dt", "2000-01-01"}}),
              RC_MSG_INVALID_DATE_TIME_TIMESTAMP_VALUE);
}

TEST(ExprPrograms, EvaluationFailureIsFollowedByTheEvaluationError)
{
    World w;
    w.row = {{"i", "1"}, {"j", "0"}};
    rcExpSlot slot = 0;
    ASSERT_EQ(rcExpCompile(&w.env, w.ParseExpr("i / j"), &slot, 0), 0);
    bool isNull = false;
    int32_t len = 0;
    double out = 0;
    EXPECT_EQ(rcExpEvaluate(&w.env, slot, SQL_C_DOUBLE, &out, sizeof out, &len, 0, &isNull), -1);
    ASSERT_EQ(rcErrQueueCount(&w.errors), 2u);
    EXPECT_EQ(w.TakeMessage(), RC_ENG_DIVISION_BY_ZERO);
    // The next row evaluates normally.
    w.row = {{"i", "1"}, {"j", "4"}};
    EXPECT_EQ(rcExpEvaluate(&w.env, slot, SQL_C_DOUBLE, &out, sizeof out, &len, 0, &isNull), 0);
    EXPECT_EQ(out, 0.25);
}

TEST(ExprPrograms, CurrentDateAndTimeReadTheInjectableClock)
{
    static const PlatClock clock{nullptr, nullptr, [] { return PlatDate{2024, 2, 29}; }};
    PlatSetClock(&clock);
    PlatSetTimeOfDaySource([] { return PlatTimeOfDay{23, 59, 58, 999}; });
    RunCases({
        {"CURDATE()", {}, "2024-02-29", SQL_DATE},
        {"CURTIME()", {}, "23:59:58", SQL_TIME},
        {"CURDATE() + 1", {}, "2024-03-01", SQL_DATE},
        {"DAYOFWEEK(CURDATE())", {}, "5", SQL_INTEGER},
    });
    PlatSetClock(nullptr);
    PlatSetTimeOfDaySource(nullptr);
}

TEST(ExprPrograms, AppliedToARealColumnComparisonIsInDoublePrecision)
{
    World w;
    w.row = {{"r", "0.1"}, {"d", "0.1"}};
    rcExpSlot slot = 0;
    ASSERT_EQ(rcExpCompile(&w.env, w.ParseExpr("r - d"), &slot, 0), 0);
    rcExpValue v;
    ASSERT_EQ(rcExpEvalValue(&w.env, slot, &v), 0);
    EXPECT_EQ(v.type, SQL_DOUBLE);
    EXPECT_EQ(v.v.f64, static_cast<double>(0.1f) - 0.1);
}

// Delivery into the application's buffer.
TEST(ExprDelivery, ATextThatFillsTheBufferExactlyIsCutWithAWarning)
{
    World w;
    w.row = {{"v", "abcd"}};
    rcExpSlot slot = 0;
    ASSERT_EQ(rcExpCompile(&w.env, w.ParseExpr("v + ''"), &slot, 0), 0);
    char buf[8];
    int32_t len = 0;
    bool isNull = false;
    EXPECT_EQ(rcExpEvaluate(&w.env, slot, SQL_C_CHAR, buf, 4, &len, 0, &isNull), 1);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(len, 4);
    EXPECT_EQ(rcExpEvaluate(&w.env, slot, SQL_C_CHAR, buf, 4, &len, 3, &isNull), 0);
    EXPECT_STREQ(buf, "d");
    EXPECT_EQ(len, 1);
    EXPECT_EQ(rcExpEvaluate(&w.env, slot, SQL_C_CHAR, buf, 5, &len, 0, &isNull), 0);
    EXPECT_STREQ(buf, "abcd");
    // Binary has no terminator: exactly four bytes fit.
    EXPECT_EQ(rcExpEvaluate(&w.env, slot, SQL_C_BINARY, buf, 4, &len, 0, &isNull), 0);
    EXPECT_EQ(std::string(buf, 4), "abcd");
}

TEST(ExprDelivery, ALongColumnIsReadPieceByPiece)
{
    World w;
    w.row = {{"lv", "0123456789"}};
    rcExpSlot slot = 0;
    ASSERT_EQ(rcExpCompile(&w.env, w.ParseExpr("lv"), &slot, 0), 0);
    EXPECT_TRUE(rcExpSlotDirect(&w.env, slot));
    std::string got;
    char buf[5];
    int32_t len = 0;
    bool isNull = false;
    int16_t rc = 1;
    for (uint32_t offset = 0; rc == 1; offset += 4) {
        rc = rcExpEvaluate(&w.env, slot, SQL_C_CHAR, buf, sizeof buf, &len, offset, &isNull);
        ASSERT_GE(rc, 0);
        got += buf;
    }
    EXPECT_EQ(got, "0123456789");
}

TEST(ExprDelivery, ConversionToTheWantedType)
{
    World w;
    w.row = {{"i", "7"}, {"v", "12.5"}, {"dt", "2001-02-03"}};
    struct {
        const char *expr;
        int16_t wanted;
        const char *text;
    } cases[] = {
        {"i", SQL_C_CHAR, "7"},
        {"i * 2", SQL_C_CHAR, "14"},
        {"v", SQL_C_CHAR, "12.5"},
        {"dt", SQL_C_CHAR, "2001-02-03"},
    };
    for (const auto &c : cases) {
        rcExpSlot slot = 0;
        ASSERT_EQ(rcExpCompile(&w.env, w.ParseExpr(c.expr), &slot, 0), 0);
        char buf[64];
        int32_t len = 0;
        bool isNull = false;
        EXPECT_EQ(rcExpEvaluate(&w.env, slot, c.wanted, buf, sizeof buf, &len, 0, &isNull), 0)
            << c.expr;
        EXPECT_STREQ(buf, c.text) << c.expr;
    }
    rcExpSlot slot = 0;
    ASSERT_EQ(rcExpCompile(&w.env, w.ParseExpr("v"), &slot, 0), 0);
    int32_t len = 0, n = 0;
    bool isNull = false;
    EXPECT_EQ(rcExpEvaluate(&w.env, slot, SQL_C_LONG, &n, sizeof n, &len, 0, &isNull),
              1); // fraction cut
    EXPECT_EQ(n, 12);
    w.row.erase("v");
    EXPECT_EQ(rcExpEvaluate(&w.env, slot, SQL_C_LONG, &n, sizeof n, &len, 0, &isNull), 0);
    EXPECT_TRUE(isNull);
    EXPECT_EQ(len, 0);
}

TEST(ExprDelivery, ANumberInItsOwnTypeArrivesAsTheConverterGivesIt)
{
    World w;
    struct {
        const char *column;
        const char *value;
        int16_t type;
    } values[] = {{"i", "-2147483648", SQL_INTEGER}, {"i", "7", SQL_INTEGER},
                  {"s", "-32768", SQL_SMALLINT},     {"d", "-0", SQL_DOUBLE},
                  {"d", "1e308", SQL_DOUBLE},        {"amount", "0.1", SQL_DOUBLE}};
    for (const auto &v : values) {
        w.row = {{v.column, v.value}};
        rcExpSlot slot = 0;
        ASSERT_EQ(rcExpCompile(&w.env, w.ParseExpr(v.column), &slot, 0), 0);
        // The value as read, and what the converter makes of it in each room.
        unsigned char raw[8] = {};
        int32_t len = 0;
        bool isNull = false;
        ASSERT_EQ(rcExpEvaluate(&w.env, slot, SQL_C_BINARY, raw, sizeof raw, &len, 0, &isNull), 0);
        for (int32_t room : {0, 1, 2, 3, 4, 7, 8, 16}) {
            unsigned char want[16], got[16];
            std::memset(want, '#', sizeof want);
            std::memset(got, '#', sizeof got);
            int32_t wantLen = -5, gotLen = -5;
            int32_t msg = rcCnvConvert(raw, v.type, 0, 0, want, static_cast<uint16_t>(v.type), room,
                                       0, 0, &wantLen);
            const int16_t wantRc = msg == kCnvMsgSuccess ? 0 : -1;
            EXPECT_EQ(rcExpEvaluate(&w.env, slot, v.type, got, room, &gotLen, 0, &isNull), wantRc)
                << v.column << " " << v.value << " room " << room;
            EXPECT_EQ(gotLen, wantLen) << v.column << " " << v.value << " room " << room;
            EXPECT_EQ(std::memcmp(got, want, sizeof got), 0)
                << v.column << " " << v.value << " room " << room;
        }
    }
}

// A number wanted as text in a buffer that holds any number's text is
// written straight into it: the same text as the cast to VARCHAR that a
// smaller buffer still takes, for every numeric type and its edges.
TEST(ExprDelivery, ANumberAsTextIsTheCastsTextInEveryBuffer)
{
    World w;
    const struct {
        const char *column;
        const char *value;
    } values[] = {
        {"i", "-2147483648"}, {"i", "2147483647"}, {"i", "0"},      {"s", "-32768"},
        {"s", "32767"},       {"d", "-0"},         {"d", "1e308"},  {"d", "0.1"},
        {"d", "123456789012345678"}, {"d", "-2.5e-300"}, {"r", "3.4e38"}, {"r", "0.3"}, {"r", "-1.5e-30"},
    };
    for (const auto &v : values) {
        w.row = {{v.column, v.value}};
        rcExpSlot slot = 0;
        ASSERT_EQ(rcExpCompile(&w.env, w.ParseExpr(v.column), &slot, 0), 0);
        rcExpValue value;
        ASSERT_EQ(rcExpEvalValue(&w.env, slot, &value), 0) << v.column << " " << v.value;
        rcExpValue cast;
        ASSERT_EQ(rcExpCast(&w.env, value, SQL_VARCHAR, &cast), 0) << v.value;
        const std::string want(cast.text, cast.length);
        for (int32_t room : {32, RC_EXP_NUMBER_TEXT_MAX - 1, RC_EXP_NUMBER_TEXT_MAX, 256}) {
            char buf[256];
            std::memset(buf, '#', sizeof buf);
            int32_t len = -5;
            bool isNull = true;
            EXPECT_EQ(rcExpEvaluate(&w.env, slot, SQL_C_CHAR, buf, room, &len, 0, &isNull), 0)
                << v.column << " " << v.value << " room " << room;
            EXPECT_FALSE(isNull);
            EXPECT_EQ(std::string(buf, static_cast<size_t>(len)), want)
                << v.column << " " << v.value << " room " << room;
            EXPECT_EQ(buf[len], '\0');
        }
        char direct[RC_EXP_NUMBER_TEXT_MAX];
        int32_t len = -5;
        ASSERT_TRUE(rcExpNumberAsText(&w.env, value.type, &value.v, direct, sizeof direct, &len))
            << v.value;
        EXPECT_EQ(std::string(direct, static_cast<size_t>(len)), want);
        EXPECT_FALSE(rcExpNumberAsText(&w.env, value.type, &value.v, direct, sizeof direct - 1,
                                       &len)); // too small a buffer: the caller casts
    }
    int32_t len = 0;
    char buf[RC_EXP_NUMBER_TEXT_MAX];
    const DATE_STRUCT date{2001, 2, 3};
    EXPECT_FALSE(rcExpNumberAsText(&w.env, SQL_DATE, &date, buf, sizeof buf, &len));
}

TEST(ExprDelivery, EvaluateAllocSizesTheBufferByType)
{
    World w;
    w.row = {{"i", "7"},
             {"v", std::string(300, 'z')},
             {"lv", std::string(300, 'z')},
             {"dt", "2001-02-03"}};
    struct {
        const char *expr;
        int16_t type;
        int16_t result;
        int32_t length;
    } cases[] = {
        {"i", SQL_INTEGER, 0, 4},
        {"dt", SQL_DATE, 0, 6},
        {"v", SQL_VARCHAR, 0, 20}, // the column's own length: the reader cut it
        {"v + v", SQL_VARCHAR, 0, 40},
        {"lv + ''", SQL_VARCHAR, 1, 255}, // at most 256 bytes with the terminator
        {"j", SQL_INTEGER, 0, 0},         // NULL: no buffer
    };
    for (const auto &c : cases) {
        rcExpSlot slot = 0;
        ASSERT_EQ(rcExpCompile(&w.env, w.ParseExpr(c.expr), &slot, 0), 0);
        void *buf = nullptr;
        int32_t len = -1;
        EXPECT_EQ(rcExpEvaluateAlloc(&w.env, slot, c.type, &buf, &len, 0), c.result) << c.expr;
        EXPECT_EQ(len, c.length) << c.expr;
        EXPECT_EQ(buf == nullptr, std::string(c.expr) == "j") << c.expr;
        rcMemFree(buf);
    }
}

TEST(ExprDelivery, ConvertDropsOnlyItsOwnTruncation)
{
    World w;
    rcErrPost(&w.errors, RC_MSG_GENERAL_WARNING, nullptr, 0, "earlier warning");
    std::string longText(300, 'x');
    w.row = {{"lv", longText}};
    rcExpSlot slot = 0;
    ASSERT_EQ(rcExpCompile(&w.env, w.ParseExpr("CONVERT(lv, SQL_CHAR)"), &slot, 0), 0);
    rcExpValue v;
    ASSERT_EQ(rcExpEvalValue(&w.env, slot, &v), 0);
    EXPECT_EQ(v.length, 255u);
    std::string text;
    EXPECT_EQ(rcErrQueueCount(&w.errors), 1u);
    EXPECT_EQ(w.TakeMessage(&text), RC_MSG_GENERAL_WARNING);
    EXPECT_EQ(text, "earlier warning");
}

// Programs and their limits.
TEST(ExprLimits, SlotsPastSixteenBitsStayDistinct)
{
    World w;
    w.row = {{"i", "3"}};
    const rcParseNode *plus = w.ParseExpr("i + 1");
    const rcParseNode *times = w.ParseExpr("i * 100");
    rcExpSlot first = 0, last = 0;
    ASSERT_EQ(rcExpCompile(&w.env, times, &first, 0), 0);
    for (int k = 0; k < 70000; ++k)
        ASSERT_EQ(rcExpCompile(&w.env, plus, &last, 0), 0);
    ASSERT_EQ(rcExpCompile(&w.env, times, &last, 0), 0);
    EXPECT_GT(last, 65536u);
    EXPECT_EQ(Show(w, first), "300");
    EXPECT_EQ(Show(w, last), "300");
    EXPECT_EQ(Show(w, last - 1), "4");
}

TEST(ExprLimits, AFullCodeBufferRefusesWithAMessage)
{
    World w;
    w.env.maxCode = 10;
    const rcParseNode *node = w.ParseExpr("i + 1 + 2 + 3 + 4 + 5");
    rcExpSlot slot = 0;
    EXPECT_EQ(rcExpCompile(&w.env, node, &slot, 0), -1);
    EXPECT_EQ(slot, 0u);
    EXPECT_EQ(w.TakeMessage(), RC_MSG_MEMORY_ALLOCATION_ERROR);
    // What fitted before still works.
    w.env.maxCode = 1000;
    ASSERT_EQ(rcExpCompile(&w.env, w.ParseExpr("2 * 3"), &slot, 0), 0);
    EXPECT_EQ(Show(w, slot), "6");
}

TEST(ExprLimits, DeepNestingStopsAtTheDepthLimit)
{
    World w;
    w.env.maxDepth = 20;
    std::string deep = "i";
    for (int k = 0; k < 30; ++k)
        deep = "(" + deep + " + 1)";
    rcExpSlot slot = 0;
    EXPECT_EQ(rcExpCompile(&w.env, w.ParseExpr(deep), &slot, 0), -1);
    EXPECT_EQ(w.TakeMessage(), RC_ENG_MAXIMUM_FILTER_EXPRESSION_DEPTH_REACHED);
    w.env.maxDepth = RC_EXP_MAX_DEPTH;
    w.row = {{"i", "0"}};
    ASSERT_EQ(rcExpCompile(&w.env, w.ParseExpr(deep), &slot, 0), 0);
    EXPECT_EQ(Show(w, slot), "30");
}

TEST(ExprLimits, LiteralsAreKeptPerExpression)
{
    World w;
    std::string longLiteral(1000, 'q');
    rcExpSlot a = 0, b = 0;
    ASSERT_EQ(rcExpCompile(&w.env, w.ParseExpr("'" + longLiteral + "'"), &a, 0), 0);
    ASSERT_EQ(rcExpCompile(&w.env, w.ParseExpr("'short'"), &b, 0), 0);
    EXPECT_EQ(Show(w, b), "short");
    rcExpValue v;
    ASSERT_EQ(rcExpEvalValue(&w.env, a, &v), 0);
    EXPECT_EQ(std::string(v.text, v.length), longLiteral);
}

TEST(ExprLimits, SlotAttributes)
{
    World w;
    rcExpSlot slot = 0;
    ASSERT_EQ(rcExpCompile(&w.env, w.ParseExpr("v"), &slot, 0), 0);
    EXPECT_TRUE(rcExpSlotDirect(&w.env, slot));
    EXPECT_EQ(rcExpSlotType(&w.env, slot), SQL_VARCHAR);
    EXPECT_EQ(rcExpSlotLength(&w.env, slot), 20u);
    ASSERT_EQ(rcExpCompile(&w.env, w.ParseExpr("i + 1"), &slot, 0), 0);
    EXPECT_FALSE(rcExpSlotDirect(&w.env, slot));
    EXPECT_EQ(rcExpSlotType(&w.env, slot), SQL_DOUBLE);
    EXPECT_EQ(rcExpSlotPrecision(&w.env, 0), 65535);
    EXPECT_EQ(rcExpSlotScale(&w.env, 0), 65535);
    EXPECT_EQ(rcExpArithType(SQL_DATE, SQL_INTEGER, '+'), SQL_DATE);
    EXPECT_EQ(rcExpArithType(SQL_DATE, SQL_DATE, '-'), SQL_DOUBLE);
    EXPECT_EQ(rcExpArithType(SQL_INTEGER, SQL_SMALLINT, '*'), SQL_DOUBLE);
    EXPECT_EQ(rcExpArithType(RC_SQL_DECIMAL38, SQL_INTEGER, '+'), RC_SQL_DECIMAL38);
    EXPECT_EQ(rcExpArithType(RC_SQL_DECIMAL38, SQL_REAL, '+'), SQL_DOUBLE);
    EXPECT_EQ(rcExpResultType(SQL_INTEGER, SQL_DATE), SQL_DATE);
    EXPECT_EQ(rcExpResultType(SQL_INTEGER, SQL_CHAR), 0);
}

TEST(ExprLiterals, WorkingTypesAndExactLiterals)
{
    World w;
    w.row = {{"dt", "2000-03-01"}};
    // With the working type DATE on the operation the literal is read at
    // compile time, so a bad one fails there.
    auto *minus = const_cast<rcParseNode *>(w.ParseExpr("dt - '2000-02-01'"));
    minus->attr2 = SQL_DATE;
    rcExpSlot slot = 0;
    ASSERT_EQ(rcExpCompile(&w.env, minus, &slot, 0), 0);
    EXPECT_EQ(Show(w, slot), "29");
    auto *bad = const_cast<rcParseNode *>(w.ParseExpr("dt - '2000-02-30'"));
    bad->attr2 = SQL_DATE;
    EXPECT_EQ(rcExpCompile(&w.env, bad, &slot, 0), -1);
    EXPECT_EQ(w.TakeMessage(), RC_MSG_INVALID_DATE_TIME_TIMESTAMP_VALUE);
    // Decimal literals are exact when the data source offers the exact type.
    w.env.sourceHasDecimal38 = true;
    ASSERT_EQ(rcExpCompile(&w.env, w.ParseExpr("0.1 + 0.2"), &slot, 0), 0);
    int16_t type = 0;
    EXPECT_EQ(Show(w, slot, &type), ".3"); // exactly, in the converter's text form
    EXPECT_EQ(type, RC_SQL_DECIMAL38);
    ASSERT_EQ(rcExpCompile(&w.env, w.ParseExpr("1.5"), &slot, RC_SQL_DECIMAL38), 0);
    EXPECT_EQ(rcExpSlotType(&w.env, slot), RC_SQL_DECIMAL38);
}

TEST(ExprParams, SetFunctionsComeThroughTheirHooks)
{
    World w;
    static double sum = 0;
    w.env.tree.setFunctionOf = [](void *, const rcParseNode *, rcExpType *t) -> void * {
        *t = {SQL_DOUBLE, 8, 0, 0};
        return &sum;
    };
    w.env.rt.setFunction = [](void *, void *h, rcExpValue *out) -> int16_t {
        out->type = SQL_DOUBLE;
        out->v.f64 = *static_cast<double *>(h);
        return 0;
    };
    rcExpSlot slot = 0;
    ASSERT_EQ(rcExpCompile(&w.env, w.ParseExpr("SUM(i) / 2"), &slot, 0), 0);
    sum = 21;
    EXPECT_EQ(Show(w, slot), "10.5");
    sum = 3;
    EXPECT_EQ(Show(w, slot), "1.5");
}

TEST(ExprLimits, RowsAfterTheFirstAllocateNothing)
{
    World w;
    rcExpSlot slot = 0;
    ASSERT_EQ(rcExpCompile(&w.env,
                           w.ParseExpr("UCASE(v) + '-' + LEFT(c, 2) + CONVERT(i, SQL_CHAR)"), &slot,
                           0),
              0);
    w.row = {{"v", "abc"}, {"c", "xyz"}, {"i", "12"}};
    EXPECT_EQ(Show(w, slot), "ABC-xy12");
    size_t chunks = w.env.expr->arena.chunkCount();
    size_t stack = w.env.expr->stack.capacity();
    for (int k = 0; k < 1000; ++k)
        ASSERT_EQ(Show(w, slot), "ABC-xy12");
    EXPECT_EQ(w.env.expr->arena.chunkCount(), chunks);
    EXPECT_EQ(w.env.expr->stack.capacity(), stack);
}

TEST(ExprParams, ParametersComeThroughTheRuntimeHook)
{
    World w;
    w.params = {{SQL_INTEGER, "40"}, {SQL_VARCHAR, "abc"}};
    w.row = {{"i", "2"}};
    rcExpSlot slot = 0;
    ASSERT_EQ(rcExpCompile(&w.env, w.ParseExpr("i + ?"), &slot, 0), 0);
    EXPECT_EQ(Show(w, slot), "42");
    rcExpSlot direct = 0;
    ASSERT_EQ(rcExpCompileParam(&w.env, 1, {SQL_VARCHAR, 256, 0, 0}, &direct), 0);
    EXPECT_TRUE(rcExpSlotDirect(&w.env, direct));
    EXPECT_EQ(Show(w, direct), "abc");
    w.params[0].text.reset();
    EXPECT_EQ(Show(w, slot), "NULL");
}

} // namespace
