// Number text: the scanners, numeric-text layout, double formatting (one
// fixed form whatever the locale) and the private decimal's text forms.
#include "driver/core/rccnvimpl.h"
#include "driver/core/rcnumprivate.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

TEST(CnvScanNumber, AcceptsNumbersAndRefusesTheRest)
{
    struct Case {
        const char *text;
        int rc;
        const char *digits = nullptr; // integer then fraction digits
        int intCount = 0;
        int exponent = 0;
        bool negative = false;
    };
    const Case cases[] = {
        {"12", 0, "12", 2, 0, false},
        {"  -0012.5000  ", 0, "125", 2, 0, true},
        {"1200", 0, "12", 2, 2, false},
        {"+.05", 0, "05", 0, 0, false},
        {"1.5e-3", 0, "15", 1, -3, false},
        {"1E+2", 0, "1", 1, 2, false},
        {"0", 0, "", 0, 0, false},
        {"0.000", 0, "", 0, 0, false},
        {"1e99999999999", 0, "1", 1, 100000000, false},
        {".", kCnvInvalid},
        {"-", kCnvInvalid},
        {"E5", kCnvInvalid},
        {"   ", kCnvInvalid},
        {"", kCnvInvalid},
        {"1E", kCnvInvalid},
        {"1e+", kCnvInvalid},
        {"--1", kCnvInvalid},
        {"1-", kCnvInvalid},
        {"1 2", kCnvInvalid},
        {"1..2", kCnvInvalid},
        {"12abc", kCnvInvalid},
        {"0x10", kCnvInvalid},
        {"1,5", kCnvInvalid},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        CnvScannedNumber s;
        ASSERT_EQ(rcCnvScanNumber(c.text, s), c.rc);
        if (c.rc != 0)
            continue;
        std::string digits(s.intDigits ? s.intDigits : "", static_cast<size_t>(s.intCount));
        digits.append(s.fracDigits ? s.fracDigits : "", static_cast<size_t>(s.fracCount));
        EXPECT_EQ(digits, c.digits);
        EXPECT_EQ(s.intCount, c.intCount);
        EXPECT_EQ(s.exponent, c.exponent);
        EXPECT_EQ(s.negative, c.negative);
    }
}

TEST(NumScanText, AcceptsNumbersAndRefusesTheRest)
{
    struct Case {
        const char *text;
        int isNumber;
        int intCount = 0, fracCount = 0, exponent = 0, significant = 0;
    };
    const Case cases[] = {
        {"-12.345", 1, 2, 3, 0, 5},
        {"00100", 1, 3, 0, 0, 1},
        {"1.2300", 1, 1, 2, 0, 3},
        {"1E5", 1, 1, 0, 5, 1},
        {"1e-32767", 1, 1, 0, -32767, 1},
        {" 7 ", 1, 1, 0, 0, 1},
        {"1e32768", 0},
        {"1e99999", 0},
        {".", 0},
        {"-", 0},
        {"E5", 0},
        {"  ", 0},
        {"", 0},
        {"12a", 0},
        {"1e", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        NumScannedText s;
        ASSERT_EQ(rcNumScanText(c.text, s), c.isNumber);
        if (!c.isNumber)
            continue;
        EXPECT_EQ(s.intCount, c.intCount);
        EXPECT_EQ(s.fracCount, c.fracCount);
        EXPECT_EQ(s.exponent, c.exponent);
        EXPECT_EQ(s.significant, c.significant);
    }
}

TEST(CnvDoubleToText, FixedFormInEveryLocale)
{
    struct Case {
        double value;
        int digits;
        int32_t L;
        const char *text;
        int32_t out;
        int rc;
    };
    const Case cases[] = {
        {0.1, 15, 20, "0.1", 3, 0},
        {1.0 / 3, 15, 20, "0.333333333333333", 17, 0},
        {1.0 / 3, 7, 20, "0.3333333", 9, 0},
        {1e20, 15, 20, "1e+20", 5, 0},
        {1.5e-7, 15, 20, "1.5e-07", 7, 0},
        {-123456789012345.0, 15, 20, "-123456789012345", 16, 0},
        {1234567.0, 7, 20, "1234567", 7, 0},
        {12345678.0, 7, 20, "1.234568e+07", 12, 0},
        {100.0, 15, 4, "100", 3, 0},
        {100.0, 15, 3, nullptr, 0, kCnvOutOfRange},
        {2.5, 15, 2, "2", 3, kCnvTruncated},
        {1e20, 15, 5, nullptr, 0, kCnvOutOfRange},
    };
    auto check = [&] {
        for (const Case &c : cases) {
            SCOPED_TRACE(c.value);
            char buf[32];
            int32_t out = -1;
            int rc = rcCnvDoubleToText(c.value, buf, c.L, c.digits, &out);
            EXPECT_EQ(rc, c.rc);
            if (c.text != nullptr) {
                EXPECT_STREQ(buf, c.text);
                EXPECT_EQ(out, c.out);
            }
        }
        double d = 0;
        EXPECT_EQ(rcCnvTextToDouble("1.25", d), 0);
        EXPECT_EQ(d, 1.25);
        EXPECT_EQ(rcCnvTextToDouble("1,25", d), kCnvInvalid);
    };
    check();
    // A locale with a decimal comma must change nothing.
    const char *saved = std::setlocale(LC_ALL, nullptr);
    std::string previous = saved != nullptr ? saved : "C";
    for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"}) {
        if (std::setlocale(LC_ALL, name) != nullptr) {
            check();
            break;
        }
    }
    std::setlocale(LC_ALL, previous.c_str());
}

TEST(CnvTextToInteger, ExactRangesAndTruncation)
{
    struct Case {
        const char *text;
        int rcSigned;
        int32_t s;
        int rcUnsigned;
        uint32_t u;
    };
    const Case cases[] = {
        {"2147483647", 0, 2147483647, 0, 2147483647u},
        {"2147483648", kCnvOutOfRange, 0, 0, 2147483648u},
        {"-2147483648", 0, INT32_MIN, kCnvOutOfRange, 0},
        {"-2147483649", kCnvOutOfRange, 0, kCnvOutOfRange, 0},
        {"4294967295", kCnvOutOfRange, 0, 0, 4294967295u},
        {"4294967296", kCnvOutOfRange, 0, kCnvOutOfRange, 0},
        {"-1", 0, -1, kCnvOutOfRange, 0},
        {"-0.5", kCnvTruncated, 0, kCnvOutOfRange, 0},
        {"12.5", kCnvTruncated, 12, kCnvTruncated, 12},
        {"1.95e1", kCnvTruncated, 19, kCnvTruncated, 19},
        {"1.9e1", 0, 19, 0, 19},
        {"1e-30", kCnvTruncated, 0, kCnvTruncated, 0},
        {"1e10", kCnvOutOfRange, 0, kCnvOutOfRange, 0},
        {"000000000000000000042", 0, 42, 0, 42u},
        {"4e9", kCnvOutOfRange, 0, 0, 4000000000u},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        int32_t s = 0;
        uint32_t u = 0;
        EXPECT_EQ(rcCnvTextToLong(c.text, s), c.rcSigned);
        if (c.rcSigned == 0 || c.rcSigned == kCnvTruncated) {
            EXPECT_EQ(s, c.s);
        }
        EXPECT_EQ(rcCnvTextToULong(c.text, u), c.rcUnsigned);
        if (c.rcUnsigned == 0 || c.rcUnsigned == kCnvTruncated) {
            EXPECT_EQ(u, c.u);
        }
    }
}

TEST(CnvTextToNumericText, LayoutWithPrecisionAndScale)
{
    struct Case {
        const char *text;
        int16_t P, S;
        int32_t L;
        const char *expected;
        int rc;
    };
    const Case cases[] = {
        {"123.456", 5, 2, 20, "123.45", kCnvTruncated},
        {"123.456", 3, 2, 20, nullptr, kCnvOutOfRange},
        {"0.00123", 10, 4, 20, "0.0012", kCnvTruncated},
        {"1E2", 5, 0, 20, "100", 0},
        {"1.5E-3", 5, 4, 20, "0.0015", 0},
        {"1.5E-3", 5, 6, 20, "0.001500", 0},
        {"1.5E-5", 5, 2, 20, "0", kCnvTruncated},
        {"-7", 5, 2, 20, "-7", 0},
        {"0", 5, 2, 20, "0", 0},
        {"99", 5, 0, 3, "99", 0},
        {"999", 5, 0, 3, nullptr, kCnvOutOfRange},
        {"12.75", 5, 2, 4, "12.", kCnvTruncated},
        {"5", 0, 0, 20, nullptr, kCnvOutOfRange},
        {"1e30000", 30000, 0, 20, nullptr, kCnvOutOfRange},
        {"abc", 5, 2, 20, nullptr, kCnvInvalid},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        char buf[64];
        std::memset(buf, 0x5A, sizeof buf);
        int32_t out = -1;
        EXPECT_EQ(rcCnvTextToNumericText(c.text, buf, c.L, c.P, c.S, &out), c.rc);
        if (c.expected != nullptr) {
            EXPECT_STREQ(buf, c.expected);
        }
        for (int i = c.L; i < static_cast<int>(sizeof buf); ++i)
            ASSERT_EQ(buf[i], 0x5A) << "written past the length at " << i;
    }
}

TEST(PrivateDecimalText, TextToDecimalAndBack)
{
    struct Case {
        const char *text;
        int16_t P, S;
        int rc;
        const char *back; // the value written back as text with room to spare
    };
    const Case cases[] = {
        {"-12.345", 10, 2, kCnvTruncated, "-12.34"},
        {"1E5", 5, 0, 0, "100000"},
        {"1E5", 4, 0, kCnvOutOfRange, nullptr},
        {"0.05", 5, 2, 0, ".05"},
        {"-1.5", 5, 1, 0, "-1.5"},
        {"12a", 10, 2, kCnvInvalid, nullptr},
        {"123456", 5, 0, kCnvOutOfRange, nullptr},
        {"1e-6", 5, 6, kCnvOutOfRange, nullptr},
        {"12345678901234567890123456789012345678", 38, 0, 0,
         "12345678901234567890123456789012345678"},
        {"0", 1, 0, 0, "0"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        MultiPrecisionNumber v;
        EXPECT_EQ(rcCnvTextToDecimal(c.text, v, 38, c.P, c.S), c.rc);
        if (c.back == nullptr)
            continue;
        char buf[80];
        int32_t out = 0;
        EXPECT_EQ(rcCnvPrivateToChar(v, buf, sizeof buf, &out), 0);
        EXPECT_STREQ(buf, c.back);
        EXPECT_EQ(out, static_cast<int32_t>(std::strlen(c.back)));
    }
    MultiPrecisionNumber v;
    EXPECT_EQ(rcCnvTextToDecimal("1", v, 37, 5, 0), kCnvOutOfRange);
    EXPECT_EQ(rcCnvTextToDecimal(std::string(257, '1').c_str(), v, 38, 30000, 0), kCnvInvalid);
}

TEST(PrivateDecimalText, ShortDestinations)
{
    struct Case {
        const char *digits;
        int exponent;
        int32_t L;
        const char *expected;
        int rc;
    };
    const Case cases[] = {
        {"12345", -3, 4, "12", kCnvTruncated},
        {"12345", -3, 5, "12.3", kCnvTruncated},
        {"12345", -3, 6, "12.34", kCnvTruncated},
        {"12345", -3, 7, "12.345", 0},
        {"12345", -3, 2, nullptr, kCnvOutOfRange},
        {"-12345", -3, 8, "-12.345", 0},
        {"-12345", -3, 7, "-12.34", kCnvTruncated},
        {"5", -2, 4, nullptr, kCnvOutOfRange},
        {"5", -2, 5, ".05", 0},
        {"1", 2, 3, nullptr, kCnvOutOfRange},
        {"1", 2, 4, "100", 0},
        {"0", 0, 1, nullptr, kCnvOutOfRange},
        {"0", 0, 0, nullptr, kCnvOutOfRange},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.digits) + "e" + std::to_string(c.exponent) + " L " +
                     std::to_string(c.L));
        bool neg = c.digits[0] == '-';
        const char *d = neg ? c.digits + 1 : c.digits;
        MultiPrecisionNumber v;
        rcNumFromText(v, static_cast<int>(std::strlen(d)), c.exponent, d);
        if (neg)
            rcNumNegate(v);
        char buf[32];
        std::memset(buf, 0x5A, sizeof buf);
        int32_t out = -1;
        EXPECT_EQ(rcCnvPrivateToChar(v, buf, c.L, &out), c.rc);
        if (c.expected != nullptr) {
            EXPECT_STREQ(buf, c.expected);
        }
        for (int i = c.L; i < static_cast<int>(sizeof buf); ++i)
            ASSERT_EQ(buf[i], 0x5A) << "written past the length at " << i;
    }
}

} // namespace
