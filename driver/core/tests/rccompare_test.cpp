// Engine value comparison, the Windows-1252 collation and LIKE.
#include "driver/core/rccnv.h"
#include "driver/core/rccollate.h"
#include "driver/core/rccompare.h"
#include "driver/core/rcerror.h"
#include "driver/core/rcmem.h"
#include "driver/core/tests/base_fixture.h"
#include "driver/core/rcnum.h"
#include "driver/core/rcnumprivate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

struct Value {
    std::vector<uint8_t> bytes;
    bool isNull = false;
};

template <typename V>
Value Of(V v)
{
    Value r;
    r.bytes.resize(sizeof v);
    std::memcpy(r.bytes.data(), &v, sizeof v);
    return r;
}
Value Text(const char *s)
{
    Value r;
    r.bytes.assign(s, s + std::strlen(s) + 1);
    return r;
}
Value Null()
{
    Value r;
    r.bytes.resize(64);
    r.isNull = true;
    return r;
}
Value Dec(const char *digits, int exponent)
{
    bool neg = digits[0] == '-';
    const char *d = neg ? digits + 1 : digits;
    MultiPrecisionNumber v;
    rcNumFromText(v, static_cast<int>(std::strlen(d)), exponent, d);
    if (neg)
        rcNumNegate(v);
    return Of(v);
}

struct CmpCase {
    int16_t type;
    Value a, b;
    int expected;
};

TEST(CmpValues, OrdersEveryEngineType)
{
    const CmpCase cases[] = {
        {SQL_C_UTINYINT, Of(uint8_t{200}), Of(uint8_t{100}), 1},
        {SQL_BIT, Of(uint8_t{'Y'}), Of(uint8_t{1}), 0},
        {SQL_BIT, Of(uint8_t{'Y'}), Of(uint8_t{'N'}), 1},
        {SQL_BIT, Of(uint8_t{'F'}), Of(uint8_t{'0'}), 0},
        {SQL_BIT, Of(uint8_t{'T'}), Of(uint8_t{'1'}), 0},
        {SQL_INTEGER, Of(int32_t{-5}), Of(int32_t{3}), -1},
        {SQL_SMALLINT, Of(int16_t{-1}), Of(int16_t{-1}), 0},
        // Exact: no tolerance in ordering; FLOAT is a double, REAL a single.
        {SQL_REAL, Of(1.0f), Of(1.0000001f), -1},
        {SQL_DOUBLE, Of(1.0), Of(1.0000001), -1},
        {SQL_DOUBLE, Of(1e-300), Of(2e-300), -1},
        {SQL_FLOAT, Of(1.0), Of(1.0 + 1e-15), -1},
        {SQL_FLOAT, Of(2.5), Of(2.5), 0},
        {SQL_DOUBLE, Of(-0.0), Of(0.0), 0},
        {SQL_DOUBLE, Of(std::nan("")), Of(1e308), 1},
        {SQL_DATE, Of(DATE_STRUCT{2000, 1, 31}), Of(DATE_STRUCT{2000, 2, 1}), -1},
        {SQL_DATE, Of(DATE_STRUCT{-1, 12, 31}), Of(DATE_STRUCT{1, 1, 1}), -1},
        {SQL_TIME, Of(TIME_STRUCT{10, 0, 1}), Of(TIME_STRUCT{10, 0, 0}), 1},
        {SQL_TIMESTAMP, Of(TIMESTAMP_STRUCT{2000, 1, 1, 0, 0, 0, 2}),
         Of(TIMESTAMP_STRUCT{2000, 1, 1, 0, 0, 0, 1}), 1},
        {SQL_TIMESTAMP, Of(TIMESTAMP_STRUCT{1999, 1, 1, 23, 0, 0, 0}),
         Of(TIMESTAMP_STRUCT{2000, 1, 1, 0, 0, 0, 0}), -1},
        {SQL_VARCHAR, Text("abc"), Text("ABC"), 0},
        {SQL_CHAR, Text("abc"), Text("abd"), -1},
        {SQL_LONGVARCHAR, Text("ab"), Text("abc"), -1},
        {RC_SQL_SCALED64, Of(int64_t{-1}), Of(int64_t{0}), -1},
        {RC_SQL_SCALED64, Of(std::numeric_limits<int64_t>::max()), Of(int64_t{1}), 1},
        {RC_SQL_DECIMAL38, Dec("10", -1), Dec("1", 0), 0},
        {RC_SQL_DECIMAL38, Dec("-15", -1), Dec("-1", 0), -1},
        {SQL_BINARY, Of(uint8_t{1}), Of(uint8_t{2}), 0},
        {SQL_VARBINARY, Of(uint8_t{1}), Of(uint8_t{2}), 0},
    };
    for (const CmpCase &c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ(
            rcCmpValues(nullptr, c.type, false, c.a.bytes.data(), false, c.b.bytes.data(), 0, 0),
            c.expected);
        EXPECT_EQ(
            rcCmpValues(nullptr, c.type, false, c.b.bytes.data(), false, c.a.bytes.data(), 0, 0),
            -c.expected);
    }
}

TEST(CmpValues, NullIsBelowEveryValue)
{
    const int16_t types[] = {SQL_C_UTINYINT,   SQL_BIT,       SQL_INTEGER, SQL_SMALLINT,
                             SQL_REAL,         SQL_FLOAT,     SQL_DOUBLE,  SQL_DATE,
                             SQL_TIME,         SQL_TIMESTAMP, SQL_CHAR,    RC_SQL_SCALED64,
                             RC_SQL_DECIMAL38, SQL_BINARY};
    Value v = Text("zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz");
    Value n = Null();
    for (int16_t t : types) {
        EXPECT_EQ(rcCmpValues(nullptr, t, true, n.bytes.data(), false, v.bytes.data(), 0, 0), -1)
            << t;
        EXPECT_EQ(rcCmpValues(nullptr, t, false, v.bytes.data(), true, n.bytes.data(), 0, 0), 1)
            << t;
        EXPECT_EQ(rcCmpValues(nullptr, t, true, n.bytes.data(), true, n.bytes.data(), 0, 0), 0)
            << t;
    }
}

TEST(CmpValues, ToleranceComparesAreForEqualityOnly)
{
    EXPECT_EQ(rcCnvCompareDouble(1.0, 1.0 + 1e-17), 0);
    EXPECT_EQ(rcCnvCompareDouble(1e-300, 2e-300), 0);
    EXPECT_EQ(rcCnvCompareDouble(1.0, 1.0000001), -1);
    EXPECT_EQ(rcCnvCompareReal(1.0f, 1.0000001f), 0);
    EXPECT_EQ(rcCnvCompareReal(2.0f, 1.0f), 1);
    int64_t a = -1, b = 0, c = std::numeric_limits<int64_t>::max();
    EXPECT_EQ(rcCnvCompareInt64(&a, &b), -1);
    EXPECT_EQ(rcCnvCompareInt64(&c, &b), 1);
    EXPECT_EQ(rcCnvCompareInt64(&c, &c), 0);
}

TEST(CmpValues, SortingDoublesIsAStrictWeakOrder)
{
    // A tolerance compare would make a ~ b ~ c while a < c; the exact order never does.
    std::vector<double> values = {1.0, 1.0 + 2e-16, 1.0 + 4e-16, 1.0 + 6e-16, 0.5, 1.0 + 2e-16};
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end(), [](double x, double y) {
        return rcCmpValues(nullptr, SQL_DOUBLE, false, &x, false, &y, 0, 0) < 0;
    });
    EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end()));
}

TEST(Collate1252, CaseInsensitiveLocaleFreeOrder)
{
    struct Case {
        const char *a;
        const char *b;
        int expected;
    };
    const Case cases[] = {
        {"abc", "ABC", 0},
        {"abc", "abd", -1},
        {"ab", "abc", -1},
        {"", "a", -1},
        {"Zebra", "apple", 1},
        {"a-b", "a0", -1},       // punctuation before digits
        {"9", "a", -1},          // digits before letters
        {"\xe9t\xe9", "ETE", 1}, // accents after the plain letter
        {"\xe9t\xe9", "\xc9T\xc9", 0},
        {"\xe9tz", "ete", 1}, // the base letters decide first
        {"\xe9ta", "etz", -1},
        {"\xe6", "az", 1}, // the ae ligature sorts as a letter of its own after a
        {"\xe6", "b", -1},
        {"\xfe", "z", 1},    // thorn after z
        {"\x9a", "\x8a", 0}, // s caron, both cases
        {"\xff", "\x9f", 0}, // y diaeresis, both cases
        {"[", "a", -1},
        {"_", "A", -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.a) + " / " + c.b);
        EXPECT_EQ(rcCollateCompare1252(c.a, std::strlen(c.a), c.b, std::strlen(c.b)), c.expected);
        EXPECT_EQ(rcCollateCompare1252(c.b, std::strlen(c.b), c.a, std::strlen(c.a)), -c.expected);
    }
    // Lengths bound the texts; a NUL ends them early.
    EXPECT_EQ(rcCollateCompare1252("abcX", 3, "ABCY", 3), 0);
    EXPECT_EQ(rcCollateCompare1252("ab\0z", 4, "ab", 2), 0);
}

TEST(Like, PatternsAndCaseModes)
{
    struct Case {
        const char *value;
        const char *pattern;
        int mode;
        int expected;
    };
    const Case cases[] = {
        {"abc", "A%", 0, 1},
        {"abc", "A%", 1, 0},
        {"abc", "a%", 1, 1},
        {"abc", "%", 1, 1},
        {"", "%", 1, 1},
        {"", "_", 1, 0},
        {"abc", "a_c", 1, 1},
        {"abc", "a__c", 1, 0},
        {"abc", "%c", 1, 1},
        {"abcc", "%c", 1, 1},
        {"abcd", "%c", 1, 0},
        {"abcabc", "%bc%bc", 1, 1},
        {"abcab", "%bc%bc", 1, 0},
        {"aXbXc", "a%b%c", 1, 1},
        {"mississippi", "%iss%ppi", 1, 1},
        {"mississippi", "m%ss%s_pp%", 1, 1},
        {"100%", "100\\%", 1, 1},
        {"1000", "100\\%", 1, 0},
        {"a_b", "a\\_b", 1, 1},
        {"axb", "a\\_b", 1, 0},
        {"a\\b", "a\\\\b", 1, 1},
        {"ab", "a%%%b", 1, 1},
        {"\xe9t\xe9", "\xc9T_", 0, 1},
        {"\xe9t\xe9", "\xc9T_", 1, 0},
        {"abc", "ABC", -128, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.value) + " LIKE " + c.pattern + " mode " +
                     std::to_string(c.mode));
        std::string value = c.value, pattern = c.pattern;
        EXPECT_EQ(rcCmpLike(value.c_str(), pattern.c_str(), c.mode), c.expected);
        // The caller's strings are never changed.
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(pattern, c.pattern);
        if (c.mode & 1) {
            EXPECT_EQ(rcCmpLikeCore(c.value, c.pattern), c.expected);
        }
    }
}

TEST(CnvToCharStatic, TextOfAValuePerThread)
{
    int32_t v = -42;
    EXPECT_STREQ(rcCnvToCharStatic(nullptr, &v, SQL_INTEGER, 4), "-42");
    double d = 2.5;
    EXPECT_STREQ(rcCnvToCharStatic(nullptr, &d, SQL_FLOAT, 8), "2.5");
    EXPECT_STREQ(rcCnvToCharStatic(nullptr, "abc", SQL_VARCHAR, SQL_NTS), "abc");
    int64_t scaled = 5;
    EXPECT_STREQ(rcCnvToCharStatic(nullptr, &scaled, RC_SQL_SCALED64, 8), "5");
    DATE_STRUCT bad{1999, 2, 30};
    EXPECT_STREQ(rcCnvToCharStatic(nullptr, &bad, SQL_DATE, 6), "");
    std::string big(400, 'x');
    EXPECT_EQ(std::strlen(rcCnvToCharStatic(nullptr, big.c_str(), SQL_CHAR, SQL_NTS)), 258u);
}

TEST(UtlMergePair, ZeroTakesTheOtherUnlessFixed)
{
    struct Case {
        bool firstFixed, secondFixed;
        int32_t first, second, expectFirst, expectSecond;
    };
    const Case cases[] = {
        {false, false, 0, 5, 5, 5}, {false, false, 5, 0, 5, 5}, {true, false, 0, 5, 0, 5},
        {true, true, 0, 5, 0, 5},   {false, true, 3, 5, 3, 5},  {false, false, 4, 4, 4, 4},
    };
    for (const Case &c : cases) {
        int32_t a = c.first, b = c.second;
        rcUtlMergePair(c.firstFixed, c.secondFixed, a, b);
        EXPECT_EQ(a, c.expectFirst);
        EXPECT_EQ(b, c.expectSecond);
    }
}

} // namespace

namespace {

class UtlEnsureBuffer : public DriverEnvTest {};

TEST_F(UtlEnsureBuffer, GrowsOnceAndReportsWhatCannotBeMade)
{
    rcErrorQueue errors{};
    char *buffer = nullptr;
    uint16_t size = 0;
    ASSERT_EQ(rcUtlEnsureBuffer(&errors, buffer, size, 10), 0);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(size, 11);
    std::memset(buffer, 'x', 11);
    char *before = buffer;
    EXPECT_EQ(rcUtlEnsureBuffer(&errors, buffer, size, 11), 0);
    EXPECT_EQ(buffer, before);
    EXPECT_EQ(rcUtlEnsureBuffer(&errors, buffer, size, 300), 0);
    EXPECT_EQ(size, 301);
    EXPECT_EQ(buffer[10], 'x'); // the data is kept
    EXPECT_FALSE(rcErrQueueAny(&errors));

    EXPECT_EQ(rcUtlEnsureBuffer(&errors, buffer, size, 70000), -1);
    EXPECT_EQ(size, 301);
    ASSERT_EQ(rcErrQueueCount(&errors), 1u);
    SQLCHAR state[6] = {};
    EXPECT_EQ(rcErrPopMessage(state, nullptr, nullptr, 0, nullptr, &errors), SQL_SUCCESS);
    rcErrQueueDestroy(&errors);
    rcMemFree(buffer);
}

} // namespace
