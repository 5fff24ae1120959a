// Exact numerics: checked differentially against __int128 on random values
// of up to 38 digits, plus vectors for division, rounding and the
// conversions.
#include "driver/core/rcnum.h"
#include "driver/core/rcnumprivate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace {

using i128 = __int128;
using u128 = unsigned __int128;

std::string toString(i128 v)
{
    if (v == 0)
        return "0";
    bool neg = v < 0;
    u128 m = neg ? -static_cast<u128>(v) : static_cast<u128>(v);
    std::string s;
    while (m != 0) {
        s.insert(s.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
        m /= 10;
    }
    return neg ? "-" + s : s;
}

MultiPrecisionNumber fromI128(i128 v, int exponent = 0)
{
    std::string digits = toString(v < 0 ? -v : v);
    MultiPrecisionNumber a;
    rcNumFromText(a, static_cast<int>(digits.size()), exponent, digits.c_str());
    if (v < 0)
        rcNumNegate(a);
    return a;
}

// Reads the words directly (independently of the library's unpacking).
i128 toI128(const MultiPrecisionNumber &a)
{
    u128 v = a.words[a.used - 1] == 0xFFFF ? ~static_cast<u128>(0) : 0;
    for (int i = a.used - 2; i >= 0; --i)
        v = (v << 16) | a.words[i];
    return static_cast<i128>(v);
}

// The stored form is canonical: top word a sign word, no repeated sign
// words, unused words zero.
void expectCanonical(const MultiPrecisionNumber &a)
{
    ASSERT_GE(a.used, 2);
    ASSERT_LE(a.used, 16);
    uint16_t sign = a.words[a.used - 1];
    EXPECT_TRUE(sign == 0 || sign == 0xFFFF);
    if (a.used > 2) {
        EXPECT_NE(a.words[a.used - 2], sign) << "repeated sign word";
    }
    for (int i = a.used; i < 16; ++i)
        EXPECT_EQ(a.words[i], 0);
}

std::string text(const MultiPrecisionNumber &a)
{
    char buf[600];
    int32_t len = 0;
    int rc = rcCnvPrivateToChar(a, buf, sizeof buf, &len);
    EXPECT_EQ(rc, 0);
    return std::string(buf, static_cast<size_t>(len));
}

MultiPrecisionNumber num(const char *digitsText, int exponent)
{
    bool neg = digitsText[0] == '-';
    const char *d = neg ? digitsText + 1 : digitsText;
    MultiPrecisionNumber a;
    rcNumFromText(a, static_cast<int>(std::strlen(d)), exponent, d);
    if (neg)
        rcNumNegate(a);
    return a;
}

i128 pow10(int k)
{
    i128 p = 1;
    while (k-- > 0)
        p *= 10;
    return p;
}

class Random128 {
public:
    explicit Random128(uint64_t seed) : gen_(seed) {}
    // A value with a random number of digits (1..maxDigits) and sign.
    i128 next(int maxDigits)
    {
        int digits = std::uniform_int_distribution<int>(1, maxDigits)(gen_);
        i128 v = 0;
        for (int i = 0; i < digits; ++i)
            v = v * 10 + std::uniform_int_distribution<int>(0, 9)(gen_);
        return (gen_() & 1) != 0 ? -v : v;
    }
    int small(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen_); }

private:
    std::mt19937_64 gen_;
};

constexpr int kRounds = 4000;

TEST(RcNumDifferential, AddSubtractCompareAgainstInt128)
{
    Random128 rnd(1);
    for (int i = 0; i < kRounds; ++i) {
        i128 x = rnd.next(34), y = rnd.next(34);
        int ex = rnd.small(-3, 0), ey = rnd.small(-3, 0);
        MultiPrecisionNumber a = fromI128(x, ex), b = fromI128(y, ey);
        int e = ex < ey ? ex : ey;
        i128 ax = x * pow10(ex - e), by = y * pow10(ey - e);
        SCOPED_TRACE(toString(x) + "e" + std::to_string(ex) + " , " + toString(y) + "e" +
                     std::to_string(ey));

        MultiPrecisionNumber sum;
        ASSERT_EQ(rcNumOp(a, b, sum), 0);
        expectCanonical(sum);
        EXPECT_EQ(sum.exponent, e);
        EXPECT_EQ(toString(toI128(sum)), toString(ax + by));

        MultiPrecisionNumber diff;
        ASSERT_EQ(rcNumOpSubtract(a, b, diff), 0);
        expectCanonical(diff);
        EXPECT_EQ(toString(toI128(diff)), toString(ax - by));

        int expected = ax < by ? -1 : (ax == by ? 0 : 1);
        EXPECT_EQ(rcNumOpCompare(a, b), expected);
        EXPECT_EQ(rcNumOpCompare(a, a), 0);

        // Negation in place keeps the exponent; twice gives the value back.
        MultiPrecisionNumber neg = a;
        ASSERT_EQ(rcNumOpNegate(neg), 0);
        expectCanonical(neg);
        EXPECT_EQ(neg.exponent, ex);
        EXPECT_EQ(toString(toI128(neg)), toString(-x));
        ASSERT_EQ(rcNumOpNegate(neg), 0);
        EXPECT_EQ(rcNumOpCompare(neg, a), 0);
    }
    MultiPrecisionNumber zero = fromI128(0, 0);
    ASSERT_EQ(rcNumOpNegate(zero), 0);
    expectCanonical(zero);
    EXPECT_EQ(rcNumOpCompare(zero, fromI128(0, 0)), 0);
}

TEST(RcNumDifferential, MultiplyDivideAgainstInt128)
{
    Random128 rnd(2);
    for (int i = 0; i < kRounds; ++i) {
        int dx = rnd.small(1, 37);
        i128 x = rnd.next(dx), y = rnd.next(38 - dx);
        SCOPED_TRACE(toString(x) + " , " + toString(y));
        MultiPrecisionNumber a = fromI128(x, -2), b = fromI128(y, -1);

        MultiPrecisionNumber prod;
        ASSERT_EQ(rcNumOpMultiply(a, b, prod), 0);
        expectCanonical(prod);
        EXPECT_EQ(prod.exponent, -3);
        EXPECT_EQ(toString(toI128(prod)), toString(x * y));

        if (y == 0) {
            MultiPrecisionNumber q;
            EXPECT_EQ(rcNumOpDivide(a, b, q), -1);
            continue;
        }
        // Integer quotient at exponent 0 truncates toward zero like C.
        MultiPrecisionNumber ai = fromI128(x), bi = fromI128(y);
        ASSERT_EQ(rcNumDivide(ai, bi, 0), 1);
        expectCanonical(ai);
        EXPECT_EQ(ai.exponent, 0);
        EXPECT_EQ(toString(toI128(ai)), toString(x / y));
    }
}

TEST(RcNumDifferential, TextAndInt32RoundTrips)
{
    Random128 rnd(3);
    for (int i = 0; i < kRounds; ++i) {
        i128 x = rnd.next(38);
        MultiPrecisionNumber a = fromI128(x, 0);
        expectCanonical(a);
        EXPECT_EQ(toString(toI128(a)), toString(x));
        char digits[41];
        ASSERT_TRUE(rcNumToText(a, 40, 0, digits));
        std::string magnitude = toString(x < 0 ? -x : x);
        EXPECT_EQ(std::string(digits, 40), std::string(40 - magnitude.size(), '0') + magnitude);

        int32_t i32 = 0;
        bool fits = x >= INT32_MIN && x <= INT32_MAX;
        EXPECT_EQ(rcNumToInt32(a, i32), fits);
        if (fits) {
            EXPECT_EQ(i32, static_cast<int32_t>(x));
        }
    }
}

TEST(RcNumDifferential, DoublesRoundTripExactly)
{
    std::mt19937_64 gen(4);
    for (int i = 0; i < kRounds; ++i) {
        uint64_t bits = gen();
        double d;
        std::memcpy(&d, &bits, 8);
        if (!std::isfinite(d))
            continue;
        MultiPrecisionNumber a;
        bool ok = rcNumFromDouble(a, d);
        if (std::fabs(d) >= 1.7e72) { // beyond 2^240
            EXPECT_FALSE(ok);
            EXPECT_FALSE(rcNumIsValid(a));
            continue;
        }
        ASSERT_TRUE(ok) << d;
        double back = 0;
        ASSERT_TRUE(rcNumToDouble(a, back));
        EXPECT_EQ(back, d) << "bits " << bits;
    }
}

struct Vector {
    const char *a;
    int ea;
    const char *b;
    int eb;
    int target;
    const char *expected; // text form, or "status" for a set status
};

TEST(RcNumVectors, Division)
{
    const Vector cases[] = {
        {"10", 0, "3", 0, -18, "3.333333333333333333"},
        {"-10", 0, "3", 0, -18, "-3.333333333333333333"},
        {"2", 0, "3", 0, -4, ".6666"},
        {"1", 0, "7", 0, -30, ".142857142857142857142857142857"},
        {"1", 0, "0", 0, -18, "status"},
        {"15", -1, "5", -1, 0, "3"},
        {"100", 0, "4", 0, 2, "25"}, // exponent already finer than the target
        {"99999999999999999999999999999999999999", 0, "-3", 0, 0,
         "-33333333333333333333333333333333333333"},
        {"123456789012345678901234567890", 0, "1234567890123", 0, -5, "100000000000036999.91033"},
        {"1", 0, "3", 0, -100,
         ".333333333333333333333333333333333333333333333333333333333333333333333333"}, // 72 digits fill 16 words,
    };
    for (const Vector &v : cases) {
        SCOPED_TRACE(std::string(v.a) + " / " + v.b);
        MultiPrecisionNumber a = num(v.a, v.ea), b = num(v.b, v.eb);
        int ok = rcNumDivide(a, b, v.target);
        if (std::strcmp(v.expected, "status") == 0) {
            EXPECT_EQ(ok, 0);
            EXPECT_FALSE(rcNumIsValid(a));
            continue;
        }
        EXPECT_EQ(ok, 1);
        EXPECT_TRUE(rcNumIsValid(a));
        EXPECT_EQ(text(a), v.expected);
    }
}

TEST(RcNumVectors, RoundingAndRescaling)
{
    struct Case {
        const char *digits;
        int exponent;
        int target;
        const char *rounded;   // rcNumRoundTo
        const char *truncated; // rcNumSetExponent
    };
    const Case cases[] = {
        {"2345", -3, -2, "2.35", "2.34"},
        {"-2345", -3, -2, "-2.35", "-2.34"},
        {"2344", -3, -2, "2.34", "2.34"},
        {"5", -1, 0, "1", "0"},
        {"-5", -1, 0, "-1", "0"},
        {"49999", -5, 0, "0", "0"},
        {"99995", -4, -3, "10.000", "9.999"},
        {"123", 0, 2, "100", "100"},
        {"123", 0, -2, "123", "123.00"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.digits) + "e" + std::to_string(c.exponent));
        MultiPrecisionNumber r = num(c.digits, c.exponent), t = r;
        rcNumRoundTo(r, c.target);
        rcNumSetExponent(t, c.target);
        EXPECT_EQ(text(r), c.rounded);
        EXPECT_EQ(text(t), c.truncated);
        EXPECT_EQ(t.exponent, c.target);
    }
    MultiPrecisionNumber s = num("123456", -4);
    rcNumSetScale(s, 2);
    EXPECT_EQ(text(s), "12.35");
    rcNumSetScale(s, 38); // out of range: nothing
    EXPECT_EQ(text(s), "12.35");
}

TEST(RcNumVectors, AdditionAcrossDistantExponents)
{
    struct Case {
        const char *a;
        int ea;
        const char *b;
        int eb;
        const char *sum;
    };
    const Case cases[] = {
        {"15", -1, "225", -2, "3.75"},
        {"1", 20, "5", -30, "100000000000000000000.000000000000000000000000000005"},
        // Beyond 16 words: the operand with the lower exponent loses its low digits.
        {"1", 20, "123456789", -50, "100000000000000000000.00000000000000000000000000000000"},
        {"1", 20, "123456789012345678901234567890", -50,
         "100000000000000000000.00000000000000000000123456789012"},
        {"1", 100, "999", 0,
         "1"
         "0000000000"
         "0000000000"
         "0000000000"
         "0000000000"
         "0000000000"
         "0000000000"
         "0000000000"
         "0000000000"
         "0000000000"
         "0000000000"},
        {"-1", 0, "1", 0, "0"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.a) + "e" + std::to_string(c.ea) + " + " + c.b + "e" +
                     std::to_string(c.eb));
        MultiPrecisionNumber x = num(c.a, c.ea), y = num(c.b, c.eb), r;
        ASSERT_EQ(rcNumOp(x, y, r), 0);
        EXPECT_EQ(text(r), c.sum);
        ASSERT_EQ(rcNumOp(y, x, r), 0);
        EXPECT_EQ(text(r), c.sum);
    }
}

TEST(RcNumVectors, ConstructionLayout)
{
    struct Case {
        int32_t value;
        uint16_t used;
        uint16_t w0, w1, w2;
    };
    const Case cases[] = {
        {-32768, 2, 0x8000, 0xFFFF, 0},         {65535, 2, 0xFFFF, 0x0000, 0},
        {65536, 3, 0x0000, 0x0001, 0x0000},     {-65536, 2, 0x0000, 0xFFFF, 0},
        {-65537, 3, 0xFFFF, 0xFFFE, 0xFFFF},    {0, 2, 0, 0, 0},
        {INT32_MIN, 3, 0x0000, 0x8000, 0xFFFF},
    };
    for (const Case &c : cases) {
        MultiPrecisionNumber a;
        rcNumFromInt32(a, 0, c.value);
        EXPECT_EQ(a.used, c.used) << c.value;
        EXPECT_EQ(a.words[0], c.w0) << c.value;
        EXPECT_EQ(a.words[1], c.w1) << c.value;
        EXPECT_EQ(a.words[2], c.w2) << c.value;
        expectCanonical(a);
    }
    MultiPrecisionNumber u;
    rcNumFromUInt32(u, 0, 0xFFFFFFFFu);
    EXPECT_EQ(u.used, 3);
    EXPECT_EQ(toI128(u), static_cast<i128>(0xFFFFFFFFu));
}

TEST(RcNumVectors, StatusAndExtremes)
{
    MultiPrecisionNumber big, one, out;
    rcNumSetExtreme(big, 1);
    rcNumFromInt32(one, 0, 1);
    EXPECT_EQ(rcNumOp(big, one, out), -1);
    EXPECT_FALSE(rcNumIsValid(out));
    EXPECT_EQ(rcNumOp(big, big, out), -1);
    // The status travels: a later valid operation keeps it.
    EXPECT_EQ(rcNumOp(out, one, out), -1);

    MultiPrecisionNumber minusOne;
    rcNumInitExtreme(minusOne, 3);
    EXPECT_EQ(toI128(minusOne), -1);
    MultiPrecisionNumber top;
    rcNumInitExtreme(top, 2);
    EXPECT_EQ(rcNumOpCompare(top, big), 0);
    EXPECT_EQ(rcNumSign(top), kNumPositive);

    // Multiplying two values of 73 digits keeps the leading digits instead of overflowing.
    MultiPrecisionNumber p = big;
    rcNumMultiply(p, big);
    EXPECT_TRUE(rcNumIsValid(p));
    EXPECT_GT(p.exponent, 0);

    // Exponent limits.
    MultiPrecisionNumber e = num("1", 8000);
    rcNumMulPow10(e, 1);
    EXPECT_TRUE(rcNumIsValid(e));
    MultiPrecisionNumber f = num("1", 8191), g = num("1", 1);
    rcNumMultiply(f, g);
    EXPECT_FALSE(rcNumIsValid(f));
}

TEST(RcNumVectors, CompareAndIntegers)
{
    EXPECT_EQ(rcNumCompare(num("10", -1), num("1", 0)), 2);
    EXPECT_EQ(rcNumCompare(num("-5", 0), num("3", 0)), 1);
    EXPECT_EQ(rcNumCompare(num("1", 100), num("999", 0)), 3);
    EXPECT_EQ(rcNumCompare(num("-1", 100), num("-999", 0)), 1);
    // Exact even across a large difference of exponents.
    EXPECT_EQ(
        rcNumCompare(
            num("100000000000000000000000000000000000000000000000000000000000000000000001", -72),
            num("1", -1)),
        3);

    int32_t i = 0;
    EXPECT_FALSE(rcNumToInt32(num("2147483648", 0), i));
    EXPECT_TRUE(rcNumToInt32(num("-2147483648", 0), i));
    EXPECT_EQ(i, INT32_MIN);
    EXPECT_TRUE(rcNumToInt32(num("-29", -1), i));
    EXPECT_EQ(i, -2);
    uint32_t u = 0;
    EXPECT_FALSE(rcNumToUInt32(num("-1", 0), u));
    EXPECT_TRUE(rcNumToUInt32(num("4294967295", 0), u));
    EXPECT_EQ(u, 4294967295u);
    EXPECT_FALSE(rcNumToUInt32(num("4294967296", 0), u));
    EXPECT_TRUE(rcNumToUInt32(num("5", 3), u));
    EXPECT_EQ(u, 5000u);
}

TEST(RcNumVectors, FloatingPoint)
{
    struct Case {
        double value;
        const char *text;
    };
    const Case cases[] = {{0.5, ".5"},
                          {2.25, "2.25"},
                          {-1024.0, "-1024"},
                          {0.0, "0"},
                          {0.1, ".1000000000000000055511151231257827021181583404541015625"}};
    for (const Case &c : cases) {
        MultiPrecisionNumber a;
        EXPECT_TRUE(rcNumFromDouble(a, c.value));
        EXPECT_EQ(text(a), c.text) << c.value;
    }
    MultiPrecisionNumber a;
    EXPECT_FALSE(rcNumFromDouble(a, std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(rcNumIsValid(a));
    EXPECT_FALSE(rcNumFromDouble(a, std::nan("")));
    EXPECT_TRUE(rcNumFromFloat(a, 1.5f));
    EXPECT_EQ(text(a), "1.5");
    EXPECT_TRUE(rcNumFromDouble(a, 4.9406564584124654e-324));
    double back;
    rcNumToDouble(a, back);
    EXPECT_EQ(back, 4.9406564584124654e-324);

    double d;
    rcNumToDouble(num("1", 400), d);
    EXPECT_TRUE(std::isinf(d) && d > 0);
    rcNumToDouble(num("-1", 400), d);
    EXPECT_TRUE(std::isinf(d) && d < 0);
    rcNumToDouble(num("1", -400), d);
    EXPECT_EQ(d, 0.0);
    float f;
    rcNumToFloat(num("1", -1), f);
    EXPECT_EQ(f, 0.1f);
}

TEST(RcNumVectors, ToTextWidthAndExponent)
{
    char out[12];
    ASSERT_TRUE(rcNumToText(num("-12345", -2), 8, -2, out));
    EXPECT_EQ(std::string(out, 8), "00012345");
    ASSERT_TRUE(rcNumToText(num("12345", -2), 8, 0, out)); // truncated to the exponent
    EXPECT_EQ(std::string(out, 8), "00000123");
    ASSERT_TRUE(rcNumToText(num("12", 2), 6, 0, out)); // zeros at the right end
    EXPECT_EQ(std::string(out, 6), "001200");
    MultiPrecisionNumber bad;
    rcNumSetOverflow(bad);
    EXPECT_FALSE(rcNumToText(bad, 4, 0, out));
}

} // namespace
