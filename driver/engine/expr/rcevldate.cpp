// Day serials, date and timestamp arithmetic, day of week and year, the
// reader of date and time literals and the floating-point guard.
#include <cmath>
#include <cstring>

#include "driver/core/rcdate.h"
#include "driver/engine/expr/rcevl.h"

namespace {

constexpr int kDayZeroOffset = 2; // 1 January 1900 is day 2

int64_t LeapsBefore(int64_t year) // leap years in 1..year-1
{
    int64_t y = year - 1;
    auto fdiv = [](int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
    return fdiv(y, 4) - fdiv(y, 100) + fdiv(y, 400);
}

int64_t DaysBeforeYear(int64_t year) // days from 1 January 1900 to 1 January of year
{
    return (year - 1900) * 365 + (LeapsBefore(year) - LeapsBefore(1900));
}

int DaysBeforeMonth(int16_t year, int month)
{
    int d = 0;
    for (int m = 1; m < month; ++m)
        d += rcCnvDaysInMonth(year, m);
    return d;
}

} // namespace

int16_t rcEvlDateToSerial(const DATE_STRUCT &date, double *serial)
{
    if (date.month == 0 || date.month > 12 || date.day == 0 ||
        date.day > rcCnvDaysInMonth(date.year, date.month))
        return -10;
    int64_t s = DaysBeforeYear(date.year) + kDayZeroOffset +
                DaysBeforeMonth(date.year, date.month) + date.day - 1;
    *serial = static_cast<double>(s);
    return 0;
}

int16_t rcEvlSerialToDate(double serial, DATE_STRUCT *date)
{
    if (!(serial < 2147483647.0) || !(serial > -2147483648.0))
        return -8;
    int64_t s =
        static_cast<int64_t>(std::trunc(serial)) - kDayZeroOffset; // days since 1 January 1900
    int64_t year = 1900 + s / 365;
    while (DaysBeforeYear(year) > s)
        --year;
    while (DaysBeforeYear(year + 1) <= s)
        ++year;
    if (year >= 32767 || year < -32767)
        return -8;
    int64_t rest = s - DaysBeforeYear(year);
    int month = 1;
    while (month < 12 && rest >= rcCnvDaysInMonth(static_cast<int16_t>(year), month)) {
        rest -= rcCnvDaysInMonth(static_cast<int16_t>(year), month);
        ++month;
    }
    date->year = static_cast<SQLSMALLINT>(year);
    date->month = static_cast<SQLUSMALLINT>(month);
    date->day = static_cast<SQLUSMALLINT>(rest + 1);
    return 0;
}

int16_t rcEvlDateAddDays(const DATE_STRUCT &date, double days, DATE_STRUCT *out)
{
    double s;
    int16_t rc = rcEvlDateToSerial(date, &s);
    if (rc != 0)
        return rc;
    return rcEvlSerialToDate(s + std::trunc(days), out);
}

int16_t rcEvlDateSubDays(const DATE_STRUCT &date, double days, DATE_STRUCT *out)
{
    return rcEvlDateAddDays(date, -days, out);
}

int16_t rcEvlTimestampAddDays(const TIMESTAMP_STRUCT &ts, double days, TIMESTAMP_STRUCT *out)
{
    DATE_STRUCT d{ts.year, ts.month, ts.day}, r;
    int16_t rc = rcEvlDateAddDays(d, days, &r);
    if (rc != 0)
        return rc;
    *out = ts;
    out->year = r.year;
    out->month = r.month;
    out->day = r.day;
    return 0;
}

int16_t rcEvlDateDiff(const DATE_STRUCT &a, const DATE_STRUCT &b, double *days)
{
    double x, y;
    int16_t rc = rcEvlDateToSerial(a, &x);
    if (rc == 0)
        rc = rcEvlDateToSerial(b, &y);
    if (rc == 0)
        *days = x - y;
    return rc;
}

int16_t rcEvlTimestampDiff(const TIMESTAMP_STRUCT &a, const TIMESTAMP_STRUCT &b, double *days)
{
    return rcEvlDateDiff(DATE_STRUCT{a.year, a.month, a.day}, DATE_STRUCT{b.year, b.month, b.day},
                         days);
}

int rcEvlDayOfYear(const DATE_STRUCT &date)
{
    return DaysBeforeMonth(date.year, date.month) + date.day;
}

int rcEvlDayOfWeek(const DATE_STRUCT &date)
{
    int y = date.year;
    int w = (rcEvlDayOfYear(date) + (y - 1) / 4 + y + (y - 1) / 400 - (y - 1) / 100 - 1) % 7;
    if (w < 0)
        w += 7;
    return w + 1;
}

int16_t rcEvlParseTimestampLiteral(int wanted, const char *quoted, TIMESTAMP_STRUCT *out)
{
    if (!quoted || !*quoted)
        return RC_EVL_LIT_REJECTED;
    const char *text = quoted + 1;
    size_t n = std::strlen(text);
    while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\t' || text[n - 1] == '\''))
        --n;
    if (n > 34)
        return RC_EVL_LIT_REJECTED;
    char buf[40];
    std::memcpy(buf, text, n);
    buf[n] = '\0';
    CnvTimestamp ts;
    int16_t cls = 0;
    if (rcCnvParseDateTime(buf, ts, cls) != 0)
        return RC_EVL_LIT_REJECTED;
    if (out)
        rcCnvWidenTimestamp(ts, out);
    int kind = cls == kClsDate ? 1 : cls == kClsTime ? 2 : 3;
    return kind == wanted ? RC_EVL_LIT_ACCEPTED : RC_EVL_LIT_OTHER_KIND;
}

// Results are checked where they are made (a zero divisor, a result that is
// not finite), so the guard neither traps nor touches the floating-point
// environment of the application's thread; clearing the status flags per
// row would cost more than the whole evaluation.
void rcEvlFpGuardOn() {}
