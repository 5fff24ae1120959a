// Date and time literal parsing, validity and the calendar routines.
#include "driver/core/rccnvimpl.h"
#include "driver/core/rcdate.h"
#include "platform/clock.h"

#include "driver/core/tests/turkish_locale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

namespace {

struct ParseCase {
    const char *text;
    int rc;
    int16_t cls = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    uint32_t fraction = 0;
};

TEST(CnvParseDateTime, LiteralForms)
{
    const ParseCase cases[] = {
        {"1999-12-31", 0, kClsDate, 1999, 12, 31},
        {"23:59:59", 0, kClsTime, 0, 0, 0, 23, 59, 59},
        {"1999-12-31 23:59:59", 0, kClsTimestamp, 1999, 12, 31, 23, 59, 59},
        {"1999-12-31 23:59:59.123", 0, kClsTimestamp, 1999, 12, 31, 23, 59, 59, 123000000},
        {"1999-12-31 23:59", 0, kClsTimestamp, 1999, 12, 31, 23, 59, 0},
        {"{d '1999-12-31'}", 0, kClsDate, 1999, 12, 31},
        {"{t '10:11:12'}", 0, kClsTime, 0, 0, 0, 10, 11, 12},
        {"{ts '1999-12-31 23:59:59.5'}", 0, kClsTimestamp, 1999, 12, 31, 23, 59, 59, 500000000},
        {"{ts '2000-01-01 00:00:00.000000001'}", 0, kClsTimestamp, 2000, 1, 1, 0, 0, 0, 1},
        {"--(*vendor(Microsoft),product(ODBC) d '1999-12-31'*)--", 0, kClsDate, 1999, 12, 31},
        {"--(* VENDOR ( microsoft ) , Product ( odbc ) ts '1999-12-31 01:02:03'*)--", 0,
         kClsTimestamp, 1999, 12, 31, 1, 2, 3},
        {"{d '2000-02-29'}", 0, kClsDate, 2000, 2, 29},
        // Refused.
        {"--(*vendor(Microsoft),product(ODBC) d '1999-12-31'}", kCnvBadDate},
        {"{d '1999-12-31'*)--", kCnvBadDate},
        {"'1999-12-31'", kCnvBadDate},
        {"24:00:00", kCnvBadDate},
        {"23:60:00", kCnvBadDate},
        {"1999-13-01", kCnvBadDate},
        {"1999-00-01", kCnvBadDate},
        {"1999-02-30", kCnvBadDate},
        {"1900-02-29", kCnvBadDate},
        {"1999-04-31", kCnvBadDate},
        {"99-12-31", kCnvBadDate},
        {"1999-1-31", kCnvBadDate},
        {"{d '1999'}", kCnvBadDate},
        {"{d '1999-12-31 10:00:00'}", kCnvBadDate},
        {"1999-", kCnvBadDate},
        {"10", kCnvBadDate},
        {"", kCnvBadDate},
        {"{x '1999-12-31'}", kCnvBadDate},
        {"1999-12-31\t", kCnvBadDate},
        {"--(*vendor(Microsoft) d '1999-12-31'*)--", kCnvBadDate},
        {"1999-12-31 23:59:59.1234567890", kCnvBadDate},
        {"{ts '1999-12-31 23:59:59'", 0, kClsTimestamp, 1999, 12, 31, 23, 59, 59},
        {"{d '99999-12-31'}", kCnvBadDate},
    };
    for (const ParseCase &c : cases) {
        SCOPED_TRACE(c.text);
        CnvTimestamp ts;
        std::memset(&ts, 0x77, sizeof ts);
        int16_t cls = -1;
        ASSERT_EQ(rcCnvParseDateTime(c.text, ts, cls), c.rc);
        if (c.rc != 0)
            continue;
        EXPECT_EQ(cls, c.cls);
        EXPECT_EQ(ts.date.year, c.year);
        EXPECT_EQ(ts.date.month, c.month);
        EXPECT_EQ(ts.date.day, c.day);
        EXPECT_EQ(ts.time.hour, c.hour);
        EXPECT_EQ(ts.time.minute, c.minute);
        EXPECT_EQ(ts.time.second, c.second);
        EXPECT_EQ(ts.fraction, c.fraction);
    }
}

// The escape words are ASCII: under a Turkish single-byte locale "I" does
// not lower-case to "i", and the escape form must still be read.
TEST(CnvParseDateTime, EscapeWordsIgnoreTheLocale)
{
    TurkishLocale turkish;
    if (!turkish.ok())
        GTEST_SKIP() << "no Turkish locale could be made";
    CnvTimestamp ts;
    int16_t cls = -1;
    int rc = rcCnvParseDateTime("--(*VENDOR(MICROSOFT),PRODUCT(ODBC) d '1999-12-31'*)--", ts, cls);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(cls, kClsDate);
}

TEST(CnvCalendar, LeapYearsAndMonthLengths)
{
    struct Case {
        int16_t year;
        bool leap;
    };
    const Case cases[] = {{1996, true}, {1900, false}, {2000, true}, {2100, false},
                          {2024, true}, {2023, false}, {0, true}};
    for (const Case &c : cases)
        EXPECT_EQ(rcCnvIsLeapYear(c.year), c.leap) << c.year;
    EXPECT_EQ(rcCnvDaysInMonth(2000, 2), 29);
    EXPECT_EQ(rcCnvDaysInMonth(1999, 2), 28);
    EXPECT_EQ(rcCnvDaysInMonth(1999, 12), 31);
    EXPECT_EQ(rcCnvDaysInMonth(1999, 11), 30);
    EXPECT_EQ(rcCnvDaysInMonth(1999, 13), 0);

    CnvTimestamp ts{{1999, 12, 31}, {23, 59, 59}, 0, 999999999};
    EXPECT_TRUE(rcCnvTimestampValid(ts));
    ts.fraction = 1000000000;
    EXPECT_FALSE(rcCnvTimestampValid(ts));
}

PlatDate leapDay() { return PlatDate{2024, 2, 29}; }

TEST(CnvToday, ComesFromTheInjectableClock)
{
    static const PlatClock clock{nullptr, nullptr, leapDay};
    PlatSetClock(&clock);
    CnvDate d;
    rcCnvToday(d);
    EXPECT_EQ(d.year, 2024);
    EXPECT_EQ(d.month, 2);
    EXPECT_EQ(d.day, 29);

    TIMESTAMP_STRUCT ts{};
    int32_t out = 0;
    EXPECT_EQ(rcCnvConvert("{t '10:11:12'}", SQL_CHAR, SQL_NTS, 0, &ts, SQL_C_TIMESTAMP, sizeof ts,
                           0, 0, &out),
              5100);
    EXPECT_EQ(ts.year, 2024);
    EXPECT_EQ(ts.month, 2);
    EXPECT_EQ(ts.day, 29);
    EXPECT_EQ(ts.hour, 10);
    TIME_STRUCT t{8, 9, 10};
    EXPECT_EQ(rcCnvConvert(&t, SQL_C_TIME, 0, 0, &ts, SQL_C_TIMESTAMP, sizeof ts, 0, 0, &out),
              5100);
    EXPECT_EQ(ts.day, 29);
    EXPECT_EQ(ts.hour, 8);
    PlatSetClock(nullptr);
}

TEST(CnvTimestampText, LengthFollowsPrecisionAndScale)
{
    struct Case {
        uint32_t fraction;
        int16_t precision, scale;
        int32_t L;
        const char *text;
        int32_t out;
        int rc;
    };
    const Case cases[] = {
        {0, 0, 0, 30, "1999-12-31 23:59:59", 19, 0},
        {500000000, 0, 0, 30, "1999-12-31 23:59:59.500000000", 29, 0},
        {500000000, 0, 0, 29, "1999-12-31 23:59:59.50000000", 29, kCnvTruncated},
        {500000000, 0, 0, 19, "1999-12-31 23:59:5", 29, kCnvTruncated},
        {500000000, 0, 0, 18, nullptr, 0, kCnvOutOfRange},
        {500000000, 19, 3, 24, "1999-12-31 23:59:59.500", 23, 0},
        {0, 19, 3, 24, "1999-12-31 23:59:59.000", 23, 0},
        {500000000, 23, 0, 24, "1999-12-31 23:59:59.500", 23, 0},
        {500000000, 23, 0, 22, nullptr, 0, kCnvOutOfRange},
        {500000000, 0, 12, 40, "1999-12-31 23:59:59.500000000", 29, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.fraction) + " p " + std::to_string(c.precision) + " s " +
                     std::to_string(c.scale) + " L " + std::to_string(c.L));
        CnvTimestamp ts{{1999, 12, 31}, {23, 59, 59}, 0, c.fraction};
        char buf[48];
        std::memset(buf, 0x5A, sizeof buf);
        int32_t out = -1;
        EXPECT_EQ(rcCnvTimestampToChar(&ts, kClsTimestamp, 12, buf, kClsChar, c.L, c.precision,
                                       c.scale, &out),
                  c.rc);
        if (c.text != nullptr) {
            EXPECT_STREQ(buf, c.text);
            EXPECT_EQ(out, c.out);
        }
        for (int i = c.L; i < static_cast<int>(sizeof buf); ++i)
            ASSERT_EQ(buf[i], 0x5A) << "written past the length at " << i;
    }
}

} // namespace
