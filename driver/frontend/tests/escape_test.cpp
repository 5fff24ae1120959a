#include <gtest/gtest.h>

#include <string>

#include "driver/frontend/rcprsfn.h"
#include "driver/frontend/rcprsunparse.h"
#include "driver/frontend/tests/frontend_test_util.h"

namespace {

const rcParseNode *FirstFn(const ParsedTree &tree)
{
    return rcPrsFindFirst(tree.root, RC_N_ScalarFn, nullptr);
}

TEST(Escapes, FnEscapeAndPlainCallGiveTheSameCheckedTree)
{
    ParsedTree escaped("SELECT {fn ucase(name)} FROM t");
    ParsedTree vendor("SELECT --(*vendor(MicroSoft),product(ODBC) fn UCASE(name)*)-- FROM t");
    ParsedTree plain("SELECT UCASE(name) FROM t");
    ASSERT_EQ(escaped.result, RC_PRS_OK);
    ASSERT_EQ(vendor.result, RC_PRS_OK);
    ASSERT_EQ(plain.result, RC_PRS_OK);
    EXPECT_TRUE(rcPrsTreeEqual(escaped.root, plain.root));
    EXPECT_TRUE(rcPrsTreeEqual(vendor.root, plain.root));
    const rcScalarFnEntry *entry = rcPrsScalarFnOf(FirstFn(plain));
    ASSERT_NE(entry, nullptr);
    EXPECT_STREQ(entry->name, "UCASE");
    EXPECT_EQ(entry->code, 42);
}

TEST(Escapes, ScalarFunctionsChooseTheEntryByArgumentCount)
{
    struct Case {
        const char *call;
        int code; // 0: rejected
        uint16_t message;
        const char *text;
    };
    const Case cases[] = {
        {"SUBSTRING(a, 1)", 41, 0, nullptr},
        {"SUBSTRING(a, 1, 2)", 36, 0, nullptr},
        {"LOCATE('x', a)", 22, 0, nullptr},
        {"locate('x', a, 2)", 23, 0, nullptr},
        {"LEFT(a, 2)", 14, 0, nullptr},
        {"USER()", 43, 0, nullptr},
        {"NULL()", 31, 0, nullptr},
        {"CURDATE()", 3, 0, nullptr},
        {"QUARTER(d)", 26, 0, nullptr},
        {"MOD(a, 2)", 24, 0, nullptr},
        {"SUBSTRING(a)", 0, 1520, "Invalid parameter count for scalar function SUBSTRING."},
        {"CURDATE(a)", 0, 1520, "Invalid parameter count for scalar function CURDATE."},
        {"FOO(a)", 0, 1521, "Invalid scalar function: FOO."},
        {"CONVERT(a, INTEGER)", 0, 1525, "The second parameter INTEGER for CONVERT is invalid."},
        {"CONVERT(a, 1 + 2)", 0, 1525, "The second parameter  for CONVERT is invalid."},
    };
    for (const Case &c : cases) {
        std::string text = std::string("SELECT ") + c.call + " FROM t";
        ParsedTree tree(text);
        if (c.code != 0) {
            ASSERT_EQ(tree.result, RC_PRS_OK) << c.call << ": " << rcPrsLastErrorText();
            const rcScalarFnEntry *entry = rcPrsScalarFnOf(FirstFn(tree));
            ASSERT_NE(entry, nullptr) << c.call;
            EXPECT_EQ(entry->code, c.code) << c.call;
        } else {
            EXPECT_EQ(tree.result, RC_PRS_PASS2) << c.call;
            EXPECT_EQ(rcPrsLastErrorId(), c.message) << c.call;
            EXPECT_STREQ(rcPrsLastErrorText(), c.text) << c.call;
        }
    }
}

TEST(Escapes, ConvertTargetBecomesATypeNode)
{
    struct Case {
        const char *type;
        int32_t code;
    };
    const Case cases[] = {
        {"SQL_INTEGER", 4}, {"sql_date", 9}, {"SQL_BIT", -7}, {"SQL_VARCHAR", 12}};
    for (const Case &c : cases) {
        ParsedTree tree(std::string("SELECT CONVERT(a, ") + c.type + ") FROM t");
        ASSERT_EQ(tree.result, RC_PRS_OK) << c.type;
        rcParseNode *target = rcPrsFindFirst(tree.root, RC_N_ConvertType, nullptr);
        ASSERT_NE(target, nullptr);
        EXPECT_EQ(static_cast<int32_t>(target->attr), c.code);
        // Regeneration writes the type's own name.
        const char *name = nullptr;
        ASSERT_TRUE(rcPrsConvertTypeName(static_cast<int16_t>(c.code), &name));
        EXPECT_NE(rcPrsUnparse(tree.root).find(name), std::string::npos);
    }
    EXPECT_EQ(rcPrsConvertTypeCode("sql_longvarbinary"), -4);
    EXPECT_EQ(rcPrsConvertTypeCode("INTEGER"), 0);
    const char *name = nullptr;
    EXPECT_FALSE(rcPrsConvertTypeName(99, &name));
}

TEST(Escapes, DateTimeLiterals)
{
    struct Case {
        const char *escape;
        uint32_t type; // 0: rejected with 1532
    };
    const Case cases[] = {
        {"{d '2000-02-29'}", 9},
        {"{D '1999-12-31'}", 9},
        {"{d '1900-02-29'}", 0},
        {"{d '1999-02-30'}", 0},
        {"{d '99-13-45'}", 0},
        {"{d '1999-01-01 10:00:00'}", 0},
        {"{t '23:59:59'}", 10},
        {"{t '10:20'}", 10},
        {"{t '24:00:00'}", 0},
        {"{t '10:60:00'}", 0},
        {"{ts '1999-01-01 10:00:00'}", 11},
        {"{ts '1999-01-01 10:00:00.123456789'}", 11},
        {"{ts '1999-01-01 10:00:00.1234567890'}", 0},
        {"{ts '1999-01-01'}", 0},
        {"{ts '10:00:00'}", 0},
        {"--(*vendor(MicroSoft),product(ODBC) ts '1999-01-01 10:00:00'*)--", 11},
    };
    for (const Case &c : cases) {
        ParsedTree tree(std::string("SELECT ") + c.escape + " FROM t");
        if (c.type != 0) {
            ASSERT_EQ(tree.result, RC_PRS_OK) << c.escape << ": " << rcPrsLastErrorText();
            rcParseNode *literal = rcPrsFindFirst(tree.root, RC_N_TypedLiteral, nullptr);
            ASSERT_NE(literal, nullptr);
            EXPECT_EQ(literal->attr, c.type) << c.escape;
        } else {
            EXPECT_EQ(tree.result, RC_PRS_SYNTAX) << c.escape;
            EXPECT_EQ(rcPrsLastErrorId(), 1532) << c.escape;
        }
    }
    // Without escapes the braces are not accepted at all.
    EXPECT_EQ(ParseText("SELECT {d '2000-01-01'} FROM t", false).message, 1502);
}

TEST(Escapes, QuarterOfAMonth)
{
    const int expected[13] = {0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4};
    for (int month = 0; month <= 12; ++month)
        EXPECT_EQ(rcFnQuarterOfMonth(month), expected[month]) << month;
    EXPECT_EQ(rcFnQuarterOfMonth(13), 0);
}

} // namespace

namespace {

const rcScalarFnEntry *Entry(const char *name, int args)
{
    int count = 0;
    const rcScalarFnEntry *table = rcPrsScalarFnTable(&count);
    for (int i = 0; i < count; ++i)
        if (std::string(table[i].name) == name && table[i].argCount == args)
            return &table[i];
    return nullptr;
}

TEST(ScalarFnTyping, ResultTypes)
{
    struct Case {
        const char *name;
        int args;
        int16_t type;
        uint32_t length;
    };
    const rcScalarFnType first{12, 40}; // a VARCHAR(40) first argument
    const Case cases[] = {
        {"CURDATE", 0, 9, 6},  {"CURTIME", 0, 10, 6},    {"DATABASE", 0, 1, 31},
        {"NULL", 0, 1, 1},     {"USER", 0, 1, 128},      {"LENGTH", 1, 4, 4},
        {"LOCATE", 3, 4, 4},   {"QUARTER", 1, 4, 4},     {"MONTH", 1, 4, 4},
        {"LEFT", 2, 12, 40},   {"SUBSTRING", 2, 12, 40}, {"UCASE", 1, 12, 40},
        {"CONCAT", 2, 12, 40},
    };
    for (const Case &c : cases) {
        const rcScalarFnEntry *fn = Entry(c.name, c.args);
        ASSERT_NE(fn, nullptr) << c.name;
        rcScalarFnType t = rcPrsScalarFnResultType(fn, first);
        EXPECT_EQ(t.sqlType, c.type) << c.name;
        EXPECT_EQ(t.length, c.length) << c.name;
    }
}

TEST(ScalarFnTyping, ParameterTypesByPosition)
{
    struct Case {
        const char *name;
        int args;
        int position;
        int16_t type; // 0: no parameter accepted there
    };
    const Case cases[] = {
        {"CONCAT", 2, 0, 1},    {"CONCAT", 2, 1, 1},    {"MOD", 2, 0, 4},     {"MOD", 2, 1, 4},
        {"MONTH", 1, 0, 9},     {"LEFT", 2, 1, 4},      {"LOCATE", 3, 2, 4},  {"LOCATE", 2, 2, 0},
        {"SUBSTRING", 3, 2, 4}, {"DAYOFWEEK", 1, 0, 0}, {"CONVERT", 2, 0, 0}, {"QUARTER", 1, 0, 0},
    };
    for (const Case &c : cases) {
        rcScalarFnType t{};
        bool accepted = rcPrsScalarFnParamType(Entry(c.name, c.args), c.position, &t);
        EXPECT_EQ(accepted, c.type != 0) << c.name << " " << c.position;
        if (accepted) {
            EXPECT_EQ(t.sqlType, c.type) << c.name << " " << c.position;
        }
    }
    EXPECT_TRUE(rcPrsScalarFnKindAccepts(RC_FN_ARG_DATE, 11));
    EXPECT_TRUE(rcPrsScalarFnKindAccepts(RC_FN_ARG_DATE, 12));
    EXPECT_FALSE(rcPrsScalarFnKindAccepts(RC_FN_ARG_DATE, 4));
    EXPECT_TRUE(rcPrsScalarFnKindAccepts(RC_FN_ARG_INTEGER, 32021));
    EXPECT_FALSE(rcPrsScalarFnKindAccepts(RC_FN_ARG_CHAR, 9));
    EXPECT_TRUE(rcPrsScalarFnKindAccepts(RC_FN_ARG_ANY, 9));
}

} // namespace

namespace {

TEST(Escapes, CheckingACallAgainAcceptsItsRewrittenTarget)
{
    ParsedTree tree("SELECT CONVERT(a, SQL_CHAR), SUBSTRING(b, 2) FROM t");
    ASSERT_EQ(tree.result, RC_PRS_OK);
    for (rcParseNode *fn = rcPrsFindFirst(tree.root, RC_N_ScalarFn, nullptr); fn != nullptr;
         fn = rcPrsFindFirst(tree.root, RC_N_ScalarFn, fn)) {
        uint32_t entry = fn->attr;
        EXPECT_EQ(rcPrsCheckScalarFnNode(fn), 1);
        EXPECT_EQ(fn->attr, entry);
    }
    EXPECT_EQ(rcPrsFindFirst(tree.root, RC_N_ConvertType, nullptr)->attr, 1u);
}

} // namespace
