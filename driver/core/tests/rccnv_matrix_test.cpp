// The conversion matrix through the exported rcCnvConvert: one table row per
// case (source type, value, binary mode, destination type, buffer length,
// precision, scale) -> (bytes, out length, message id). The rows cover every
// filled cell of the matrix; every empty cell is checked to refuse.
#include "driver/core/rccnv.h"
#include "driver/core/rcnum.h"
#include "platform/clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <vector>

namespace {

struct Bytes {
    std::vector<uint8_t> b;
    int32_t len = 0;
    bool given = true;
};

Bytes T(const char *s) // terminated text
{
    Bytes r;
    r.b.assign(s, s + std::strlen(s) + 1);
    r.len = SQL_NTS;
    return r;
}

Bytes TL(const std::string &s, int32_t len) // text with an explicit length
{
    Bytes r;
    r.b.assign(s.begin(), s.end());
    r.len = len;
    return r;
}

Bytes B(std::initializer_list<uint8_t> bytes)
{
    Bytes r;
    r.b = bytes;
    r.len = static_cast<int32_t>(r.b.size());
    return r;
}

template <typename V>
Bytes Raw(V v)
{
    Bytes r;
    r.b.resize(sizeof v);
    std::memcpy(r.b.data(), &v, sizeof v);
    r.len = sizeof v;
    return r;
}

Bytes I8(int8_t v) { return Raw(v); }
Bytes U8(uint8_t v) { return Raw(v); }
Bytes I16(int16_t v) { return Raw(v); }
Bytes U16(uint16_t v) { return Raw(v); }
Bytes I32(int32_t v) { return Raw(v); }
Bytes U32(uint32_t v) { return Raw(v); }
Bytes F32(float v) { return Raw(v); }
Bytes F64(double v) { return Raw(v); }
Bytes Dt(int y, int m, int d) { return Raw(DATE_STRUCT{int16_t(y), uint16_t(m), uint16_t(d)}); }
Bytes Tm(int h, int m, int s) { return Raw(TIME_STRUCT{uint16_t(h), uint16_t(m), uint16_t(s)}); }
Bytes Ts(int y, int mo, int d, int h, int mi, int s, uint32_t f)
{
    return Raw(TIMESTAMP_STRUCT{int16_t(y), uint16_t(mo), uint16_t(d), uint16_t(h), uint16_t(mi),
                                uint16_t(s), f});
}
Bytes Dec(const char *digits, int exponent) // a private decimal built directly
{
    bool neg = digits[0] == '-';
    const char *d = neg ? digits + 1 : digits;
    MultiPrecisionNumber v;
    rcNumFromText(v, static_cast<int>(std::strlen(d)), exponent, d);
    if (neg)
        rcNumNegate(v);
    return Raw(v);
}
Bytes DecOverflow() // a private decimal whose status records an overflow
{
    MultiPrecisionNumber v;
    rcNumSetOverflow(v);
    return Raw(v);
}
Bytes I64(int64_t v) { return Raw(v); }
Bytes Text(const char *s) // expected text, terminator included
{
    return T(s);
}
Bytes Nothing() // nothing is stored
{
    Bytes r;
    r.given = false;
    return r;
}

// Representative types of the matrix indexes.
constexpr int16_t CH = SQL_CHAR, NT = SQL_NUMERIC, BI = SQL_BIT, ST = SQL_C_STINYINT,
                  UT = SQL_C_UTINYINT, SS = SQL_SMALLINT, US = SQL_C_USHORT, SL = SQL_INTEGER,
                  UL = SQL_C_ULONG, RE = SQL_REAL, DB = SQL_DOUBLE, VB = SQL_VARBINARY,
                  DA = SQL_DATE, TI = SQL_TIME, TS = SQL_TIMESTAMP, DEC = RC_SQL_DECIMAL38,
                  SC = RC_SQL_SCALED64, CB = SQL_C_BINARY;
constexpr int32_t OK = 5100, TRUNC = 5102, RESTR = 5105, RANGE = 5116, ASSIGN = 5117,
                  BADDATE = 5169;
constexpr int32_t ANY = std::numeric_limits<int32_t>::min();

struct Row {
    int16_t src;
    Bytes value;
    int16_t mode;
    int16_t dst;
    int32_t dstLen;
    Bytes expect;
    int32_t out;
    int32_t msg;
    int16_t precision = 0;
    int16_t scale = 0;
};

const std::string k300(300, '7');
constexpr float kInfF = std::numeric_limits<float>::infinity();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::vector<Row> rows()
{
    return {
        // character ->
        {CH, T("hello"), 1, CH, 10, Text("hello"), 5, OK},
        {CH, T("hello"), 1, CH, 3, Text("he"), 5, TRUNC},
        {CH, T("hello"), 1, CH, 0, Nothing(), 5, TRUNC},
        {CH, TL("abcdef", 3), 1, CH, 10, Text("abc"), 3, OK},
        {CH, TL("abcdef", 6), 1, CH, 4, Text("abc"), 6, TRUNC},
        {CH, TL(std::string("ab\0cd", 5), 5), 1, CH, 10, Text("ab"), 2, OK},
        {CH, TL(std::string("12\0x9", 5), 5), 1, SL, 4, I32(12), 4, OK},
        {CH, TL("129", 2), 1, SL, 4, I32(12), 4, OK},
        {CH, TL(k300, 300), 1, CH, 400, Text(k300.c_str()), 300, OK},
        {CH, TL(k300, 300), 1, SL, 4, Nothing(), ANY, RANGE},
        {CH, T("123.456"), 1, NT, 20, Text("123.45"), 6, TRUNC, 5, 2},
        {CH, T("123.456"), 1, NT, 20, Nothing(), ANY, RANGE, 3, 2},
        {CH, T("-123.456"), 1, NT, 20, Nothing(), ANY, RANGE, 3, 2},
        {CH, T("-123.456"), 1, NT, 5, Text("-123"), 8, TRUNC, 10, 3},
        {CH, T("-123.456"), 1, NT, 4, Nothing(), ANY, RANGE, 10, 3},
        {DB, F64(-12345.5), 0, NT, 20, Nothing(), ANY, RANGE, 4, 0},
        {CH, T("0.00123"), 1, NT, 20, Text("0.0012"), 6, TRUNC, 10, 4},
        {CH, T("1E2"), 1, NT, 20, Text("100"), 3, OK, 5, 0},
        {CH, T("-1.5E-3"), 1, NT, 20, Text("-0.0015"), 7, OK, 5, 4},
        {CH, T("-12.5"), 1, NT, 4, Text("-12"), 5, TRUNC, 5, 1},
        {CH, T("1"), 1, BI, 1, U8(1), 1, OK},
        {CH, T("0.5"), 1, BI, 1, U8(0), 1, TRUNC},
        {CH, T("2"), 1, BI, 1, Nothing(), ANY, RANGE},
        {CH, T("-128"), 1, ST, 1, I8(-128), 1, OK},
        {CH, T("128"), 1, ST, 1, Nothing(), ANY, RANGE},
        {CH, T("12.5"), 1, ST, 1, I8(12), 1, TRUNC},
        {CH, T("255"), 1, UT, 1, U8(255), 1, OK},
        {CH, T("-1"), 1, UT, 1, Nothing(), ANY, RANGE},
        {CH, T(" 12 "), 1, SS, 2, I16(12), 2, OK},
        {CH, T("40000"), 1, SS, 2, Nothing(), ANY, RANGE},
        {CH, T("12abc"), 1, SS, 2, Nothing(), ANY, ASSIGN},
        {CH, T("65535"), 1, US, 2, U16(65535), 2, OK},
        {CH, T("-1"), 1, US, 2, Nothing(), ANY, RANGE},
        {CH, T("12.000"), 1, SL, 4, I32(12), 4, OK},
        {CH, T("2147483647"), 1, SL, 4, I32(2147483647), 4, OK},
        {CH, T("2147483648"), 1, SL, 4, Nothing(), ANY, RANGE},
        {CH, T("-2147483648"), 1, SL, 4, I32(INT32_MIN), 4, OK},
        {CH, T("99999999999999999999"), 1, SL, 4, Nothing(), ANY, RANGE},
        {CH, T("1e3"), 1, SL, 4, I32(1000), 4, OK},
        {CH, T("12.000001"), 1, SL, 4, I32(12), 4, TRUNC},
        {CH, T("."), 1, SL, 4, Nothing(), ANY, ASSIGN},
        {CH, T("-"), 1, SL, 4, Nothing(), ANY, ASSIGN},
        {CH, T("E5"), 1, SL, 4, Nothing(), ANY, ASSIGN},
        {CH, T("   "), 1, SL, 4, Nothing(), ANY, ASSIGN},
        {CH, T("12"), 1, SL, 3, Nothing(), ANY, RANGE},
        {CH, T("4294967295"), 1, UL, 4, U32(4294967295u), 4, OK},
        {CH, T("4294967296"), 1, UL, 4, Nothing(), ANY, RANGE},
        {CH, T("-1"), 1, UL, 4, Nothing(), ANY, RANGE},
        {CH, T("-0"), 1, UL, 4, U32(0), 4, OK},
        {CH, T("1.5"), 1, RE, 4, F32(1.5f), 4, OK},
        {CH, T("1E39"), 1, RE, 4, Nothing(), ANY, RANGE},
        {CH, T("1E999"), 1, RE, 4, F32(kInfF), 4, OK},
        {CH, T("-1e999"), 1, RE, 4, F32(-kInfF), 4, OK},
        {CH, T("1e308"), 1, DB, 8, F64(1e308), 8, OK},
        {CH, T("1e309"), 1, DB, 8, Nothing(), ANY, RANGE},
        {CH, T("-2.5"), 1, DB, 8, F64(-2.5), 8, OK},
        {CH, T("1e-400"), 1, DB, 8, F64(0.0), 8, OK},
        {CH, T("0.1"), 1, DB, 8, F64(0.1), 8, OK},
        {CH, T("1A2B"), 1, VB, 10, B({0x1A, 0x2B}), 2, OK},
        {CH, T("ABC"), 1, VB, 10, B({0xAB}), 1, OK},
        {CH, T("0G"), 1, VB, 10, Nothing(), ANY, ASSIGN},
        {CH, T("1A2B3C"), 1, VB, 2, B({0x1A, 0x2B}), 2, TRUNC},
        {CH, T("1A2B"), 1, CB, 10, B({0x1A, 0x2B}), 2, OK},
        {CH, T("1A2B"), 2, CB, 10, B({'1', 'A', '2', 'B'}), 4, OK},
        {CH, T("1A2B"), 2, CB, 3, B({'1', 'A', '2'}), 4, TRUNC},
        {CH, T("1A2B"), 0, CB, 10, Text("1A2B"), 4, OK},
        {CH, T("1999-12-31"), 1, DA, 6, Dt(1999, 12, 31), 6, OK},
        {CH, T("{ts '1999-12-31 10:00:00'}"), 1, DA, 6, Dt(1999, 12, 31), 6, TRUNC},
        {CH, T("1999-02-30"), 1, DA, 6, Nothing(), ANY, BADDATE},
        {CH, T("{t '10:11:12'}"), 1, DA, 6, Nothing(), ANY, BADDATE},
        {CH, T("1999-12-31"), 1, DA, 5, Nothing(), ANY, RANGE},
        {CH, T("23:59:59"), 1, TI, 6, Tm(23, 59, 59), 6, OK},
        {CH, T("24:00:00"), 1, TI, 6, Nothing(), ANY, BADDATE},
        {CH, T("{ts '1999-12-31 10:11:12.5'}"), 1, TI, 6, Tm(10, 11, 12), 6, TRUNC},
        {CH, T("{ts '1999-12-31 23:59:59.5'}"), 1, TS, 16, Ts(1999, 12, 31, 23, 59, 59, 500000000),
         16, OK},
        {CH, T("1999-12-31 23:59"), 1, TS, 16, Ts(1999, 12, 31, 23, 59, 0, 0), 16, OK},
        {CH, T("{d '2000-02-29'}"), 1, TS, 16, Ts(2000, 2, 29, 0, 0, 0, 0), 16, OK},
        {CH, T("{t '10:11:12'}"), 1, TS, 16, Ts(2026, 12, 9, 10, 11, 12, 0), 16, OK},
        {CH, T("{ts '1999-12-31 23:59:59'}"), 1, TS, 15, Nothing(), ANY, RANGE},
        {CH, T("-12.345"), 1, DEC, 38, Dec("-1234", -2), 38, TRUNC, 10, 2},
        {CH, T("1E5"), 1, DEC, 38, Dec("1", 5), 38, OK, 5, 0},
        {CH, T("1E5"), 1, DEC, 38, Nothing(), ANY, RANGE, 4, 0},
        {CH, T("12a"), 1, DEC, 38, Nothing(), ANY, ASSIGN, 10, 0},
        {CH, TL(std::string(257, '1'), 257), 1, DEC, 38, Nothing(), ANY, ASSIGN, 30000, 0},
        {CH, T("5"), 1, DEC, 37, Nothing(), ANY, RANGE, 10, 0},

        // numeric text ->
        {NT, T("123.45"), 1, CH, 10, Text("123.45"), 6, OK},
        {NT, T("123.45"), 1, CH, 4, Text("123"), 6, TRUNC},
        {NT, T("123.45"), 1, CH, 3, Nothing(), ANY, RANGE},
        {NT, T("-123"), 1, CH, 4, Nothing(), ANY, RANGE},
        {NT, T("-123"), 1, CH, 0, Nothing(), 4, TRUNC},
        {NT, TL("-0.5xx", 4), 1, CH, 3, Text("-0"), 4, TRUNC},
        {NT, T("123.456"), 1, NT, 10, Text("123.456"), 7, OK, 6, 3},
        {NT, T("1"), 1, BI, 1, U8(1), 1, OK},
        {NT, T("-5"), 1, ST, 1, I8(-5), 1, OK},
        {NT, T("200"), 1, UT, 1, U8(200), 1, OK},
        {NT, T("-300"), 1, SS, 2, I16(-300), 2, OK},
        {NT, T("60000"), 1, US, 2, U16(60000), 2, OK},
        {NT, T("99999"), 1, SL, 4, I32(99999), 4, OK},
        {NT, T("3000000000"), 1, UL, 4, U32(3000000000u), 4, OK},
        {NT, T("0.25"), 1, RE, 4, F32(0.25f), 4, OK},
        {NT, T("-0.125"), 1, DB, 8, F64(-0.125), 8, OK},
        {NT, T("ff00"), 0, VB, 4, B({0xFF, 0x00}), 2, OK},
        {SQL_BIGINT, T("123"), 0, CB, 10, Text("123"), 3, OK},

        // bit ->
        {BI, U8(1), 0, CH, 2, Text("1"), 1, OK},
        {BI, U8(1), 0, CH, 1, Nothing(), ANY, RANGE},
        {BI, U8(0), 0, NT, 5, Text("0"), 1, OK},
        {BI, U8(1), 0, BI, 1, U8(1), 1, OK},
        {BI, U8(1), 0, ST, 1, I8(1), 1, OK},
        {BI, U8(1), 0, UT, 1, U8(1), 1, OK},
        {BI, U8(1), 0, SS, 2, I16(1), 2, OK},
        {BI, U8(1), 0, US, 2, U16(1), 2, OK},
        {BI, U8(1), 0, SL, 4, I32(1), 4, OK},
        {BI, U8(1), 0, UL, 4, U32(1), 4, OK},
        {BI, U8(1), 0, RE, 4, F32(1.0f), 4, OK},
        {BI, U8(1), 0, DB, 8, F64(1.0), 8, OK},
        {BI, U8(1), 0, VB, 1, B({1}), 1, OK},
        {BI, U8(1), 0, VB, 0, Nothing(), ANY, RANGE},
        {BI, U8(1), 0, DEC, 38, Dec("1", 0), 38, OK},
        {BI, U8(1), 0, SL, 3, Nothing(), ANY, RANGE},

        // signed tiny ->
        {ST, I8(-5), 0, CH, 3, Text("-5"), 2, OK},
        {ST, I8(-5), 0, CH, 2, Nothing(), ANY, RANGE},
        {ST, I8(-5), 0, NT, 10, Text("-5"), 2, OK, 1},
        {ST, I8(-5), 0, BI, 1, Nothing(), ANY, RANGE},
        {ST, I8(1), 0, BI, 1, U8(1), 1, OK},
        {ST, I8(-5), 0, ST, 1, I8(-5), 1, OK},
        {ST, I8(-5), 0, UT, 1, Nothing(), ANY, RANGE},
        {ST, I8(-5), 0, SS, 2, I16(-5), 2, OK},
        {ST, I8(-5), 0, US, 2, Nothing(), ANY, RANGE},
        {ST, I8(-5), 0, SL, 4, I32(-5), 4, OK},
        {ST, I8(-5), 0, UL, 4, Nothing(), ANY, RANGE},
        {ST, I8(-5), 0, RE, 4, F32(-5.0f), 4, OK},
        {ST, I8(-5), 0, DB, 8, F64(-5.0), 8, OK},
        {ST, I8(-5), 0, VB, 1, B({0xFB}), 1, OK},
        {ST, I8(-5), 0, DEC, 38, Dec("-5", 0), 38, OK},

        // unsigned tiny ->
        {UT, U8(200), 0, CH, 4, Text("200"), 3, OK},
        {UT, U8(200), 0, NT, 10, Nothing(), ANY, RANGE, 2},
        {UT, U8(200), 0, BI, 1, Nothing(), ANY, RANGE},
        {UT, U8(200), 0, ST, 1, Nothing(), ANY, RANGE},
        {UT, U8(200), 0, UT, 1, U8(200), 1, OK},
        {UT, U8(200), 0, SS, 2, I16(200), 2, OK},
        {UT, U8(200), 0, US, 2, U16(200), 2, OK},
        {UT, U8(200), 0, SL, 4, I32(200), 4, OK},
        {UT, U8(200), 0, UL, 4, U32(200), 4, OK},
        {UT, U8(200), 0, RE, 4, F32(200.0f), 4, OK},
        {UT, U8(200), 0, DB, 8, F64(200.0), 8, OK},
        {UT, U8(200), 0, VB, 4, B({200}), 1, OK},
        {UT, U8(200), 0, DEC, 38, Dec("200", 0), 38, OK},

        // signed short ->
        {SS, I16(-300), 0, CH, 4, Nothing(), ANY, RANGE},
        {SS, I16(-300), 0, CH, 5, Text("-300"), 4, OK},
        {SS, I16(-300), 0, NT, 10, Text("-300"), 4, OK, 3},
        {SS, I16(-300), 0, BI, 1, Nothing(), ANY, RANGE},
        {SS, I16(-300), 0, ST, 1, Nothing(), ANY, RANGE},
        {SS, I16(-300), 0, UT, 1, Nothing(), ANY, RANGE},
        {SS, I16(-300), 0, SS, 2, I16(-300), 2, OK},
        {SS, I16(-300), 0, US, 2, Nothing(), ANY, RANGE},
        {SS, I16(-300), 0, SL, 4, I32(-300), 4, OK},
        {SS, I16(-300), 0, UL, 4, Nothing(), ANY, RANGE},
        {SS, I16(-300), 0, RE, 4, F32(-300.0f), 4, OK},
        {SS, I16(-300), 0, DB, 8, F64(-300.0), 8, OK},
        {SS, I16(-300), 0, VB, 2, B({0xD4, 0xFE}), 2, OK},
        {SS, I16(-300), 0, VB, 1, Nothing(), ANY, RANGE},
        {SS, I16(-300), 0, DEC, 38, Dec("-300", 0), 38, OK},
        {SS, I16(7), 0, CB, 2, I16(7), 2, OK},
        {SS, I16(7), 0, CB, 1, Nothing(), ANY, RANGE},

        // unsigned short ->
        {US, U16(65535), 0, CH, 6, Text("65535"), 5, OK},
        {US, U16(65535), 0, NT, 10, Text("65535"), 5, OK, 5},
        {US, U16(65535), 0, BI, 1, Nothing(), ANY, RANGE},
        {US, U16(65535), 0, ST, 1, Nothing(), ANY, RANGE},
        {US, U16(65535), 0, UT, 1, Nothing(), ANY, RANGE},
        {US, U16(65535), 0, SS, 2, Nothing(), ANY, RANGE},
        {US, U16(65535), 0, US, 2, U16(65535), 2, OK},
        {US, U16(65535), 0, SL, 4, I32(65535), 4, OK},
        {US, U16(65535), 0, UL, 4, U32(65535), 4, OK},
        {US, U16(65535), 0, RE, 4, F32(65535.0f), 4, OK},
        {US, U16(65535), 0, DB, 8, F64(65535.0), 8, OK},
        {US, U16(65535), 0, VB, 2, B({0xFF, 0xFF}), 2, OK},
        {US, U16(65535), 0, DEC, 38, Dec("65535", 0), 38, OK},

        // signed long ->
        {SL, I32(123), 0, CH, 3, Nothing(), ANY, RANGE},
        {SL, I32(123), 0, CH, 4, Text("123"), 3, OK},
        {SL, I32(INT32_MIN), 0, CH, 12, Text("-2147483648"), 11, OK},
        {SL, I32(123), 0, NT, 10, Nothing(), ANY, RANGE, 2},
        {SL, I32(123), 0, NT, 10, Text("123"), 3, OK, 3},
        {SL, I32(123), 0, NT, 10, Nothing(), ANY, RANGE, 0},
        {SL, I32(1), 0, BI, 1, U8(1), 1, OK},
        {SL, I32(123), 0, BI, 1, Nothing(), ANY, RANGE},
        {SL, I32(123), 0, ST, 1, I8(123), 1, OK},
        {SL, I32(123), 0, UT, 1, U8(123), 1, OK},
        {SL, I32(123), 0, SS, 2, I16(123), 2, OK},
        {SL, I32(123), 0, US, 2, U16(123), 2, OK},
        {SL, I32(123), 0, SL, 4, I32(123), 4, OK},
        {SL, I32(123), 0, UL, 4, U32(123), 4, OK},
        {SL, I32(-1), 0, UL, 4, Nothing(), ANY, RANGE},
        {SL, I32(123), 0, RE, 4, F32(123.0f), 4, OK},
        {SL, I32(123), 0, DB, 8, F64(123.0), 8, OK},
        {SL, I32(5), 0, VB, 4, I32(5), 4, OK},
        {SL, I32(5), 0, CB, 4, I32(5), 4, OK},
        {SL, I32(5), 0, CB, 3, Nothing(), ANY, RANGE},
        {SL, I32(5), 1, CB, 4, Nothing(), ANY, RESTR},
        {SL, I32(5), 2, CB, 4, I32(5), 4, OK},
        {SL, I32(123), 0, DEC, 38, Dec("123", 0), 38, OK},
        {SL, I32(123), 0, DEC, 20, Nothing(), ANY, RANGE},

        // unsigned long ->
        {UL, U32(4294967295u), 0, CH, 11, Text("4294967295"), 10, OK},
        {UL, U32(4294967295u), 0, NT, 11, Text("4294967295"), 10, OK, 10},
        {UL, U32(4294967295u), 0, BI, 1, Nothing(), ANY, RANGE},
        {UL, U32(4294967295u), 0, ST, 1, Nothing(), ANY, RANGE},
        {UL, U32(255), 0, UT, 1, U8(255), 1, OK},
        {UL, U32(4294967295u), 0, SS, 2, Nothing(), ANY, RANGE},
        {UL, U32(4294967295u), 0, US, 2, Nothing(), ANY, RANGE},
        {UL, U32(4294967295u), 0, SL, 4, Nothing(), ANY, RANGE},
        {UL, U32(2147483647u), 0, SL, 4, I32(2147483647), 4, OK},
        {UL, U32(4294967295u), 0, UL, 4, U32(4294967295u), 4, OK},
        {UL, U32(4294967295u), 0, RE, 4, F32(4294967296.0f), 4, OK},
        {UL, U32(4294967295u), 0, DB, 8, F64(4294967295.0), 8, OK},
        {UL, U32(1), 0, VB, 4, B({1, 0, 0, 0}), 4, OK},
        {UL, U32(4294967295u), 0, DEC, 38, Dec("4294967295", 0), 38, OK},

        // real ->
        {RE, F32(1.5f), 0, CH, 10, Text("1.5"), 3, OK},
        {RE, F32(1e10f), 0, CH, 10, Text("1e+10"), 5, OK},
        {RE, F32(0.1f), 0, CH, 10, Text("0.1"), 3, OK},
        {RE, F32(1.5f), 0, NT, 10, Text("1.5"), 3, OK, 5, 1},
        {RE, F32(1.5f), 0, BI, 1, U8(1), 1, TRUNC},
        {RE, F32(1.5f), 0, ST, 1, I8(1), 1, TRUNC},
        {RE, F32(1.5f), 0, UT, 1, U8(1), 1, TRUNC},
        {RE, F32(-1.5f), 0, SS, 2, I16(-1), 2, TRUNC},
        {RE, F32(-1.5f), 0, US, 2, Nothing(), ANY, RANGE},
        {RE, F32(3e9f), 0, SL, 4, Nothing(), ANY, RANGE},
        {RE, F32(3e9f), 0, UL, 4, U32(3000000000u), 4, OK},
        {RE, F32(1.5f), 0, RE, 4, F32(1.5f), 4, OK},
        {RE, F32(-kInfF), 0, DB, 8, F64(-kInf), 8, OK},
        {RE, F32(1.5f), 0, VB, 4, F32(1.5f), 4, OK},
        {RE, F32(1.5f), 0, VB, 3, Nothing(), ANY, RANGE},
        {RE, F32(1.5f), 0, DEC, 38, Dec("15", -1), 38, OK},
        {RE, F32(std::nanf("")), 0, DEC, 38, Nothing(), ANY, RANGE},

        // double ->
        {DB, F64(0.1), 0, CH, 10, Text("0.1"), 3, OK},
        {DB, F64(1e20), 0, CH, 10, Text("1e+20"), 5, OK},
        {DB, F64(-1.0 / 3), 0, CH, 30, Text("-0.333333333333333"), 18, OK},
        {DB, F64(123456.789), 0, CH, 6, Nothing(), ANY, RANGE},
        {DB, F64(123456.789), 0, CH, 9, Text("123456.7"), 10, TRUNC},
        {DB, F64(kInf), 0, CH, 6, Text("1E999"), 5, OK},
        {DB, F64(kInf), 0, CH, 5, Nothing(), ANY, RANGE},
        {DB, F64(-kInf), 0, CH, 7, Text("-1E999"), 6, OK},
        {DB, F64(3.14159), 0, NT, 10, Text("3.14"), 4, TRUNC, 10, 2},
        {DB, F64(0.5), 0, BI, 1, U8(0), 1, TRUNC},
        {DB, F64(1.0), 0, BI, 1, U8(1), 1, OK},
        {DB, F64(2.0), 0, BI, 1, Nothing(), ANY, RANGE},
        {DB, F64(1.5), 0, ST, 1, I8(1), 1, TRUNC},
        {DB, F64(255.0), 0, UT, 1, U8(255), 1, OK},
        {DB, F64(40000.0), 0, SS, 2, Nothing(), ANY, RANGE},
        {DB, F64(-1.5), 0, SS, 2, I16(-1), 2, TRUNC},
        {DB, F64(65535.0), 0, US, 2, U16(65535), 2, OK},
        {DB, F64(-2147483648.0), 0, SL, 4, I32(INT32_MIN), 4, OK},
        {DB, F64(std::nan("")), 0, SL, 4, Nothing(), ANY, RANGE},
        {DB, F64(4294967295.0), 0, UL, 4, U32(4294967295u), 4, OK},
        {DB, F64(1e39), 0, RE, 4, Nothing(), ANY, RANGE},
        {DB, F64(kInf), 0, RE, 4, F32(kInfF), 4, OK},
        {DB, F64(2.5), 0, DB, 8, F64(2.5), 8, OK},
        {DB, F64(2.5), 0, VB, 8, F64(2.5), 8, OK},
        {SQL_FLOAT, F64(2.5), 0, CB, 8, F64(2.5), 8, OK},
        {DB, F64(2.25), 0, DEC, 38, Dec("225", -2), 38, OK},
        {DB, F64(kInf), 0, DEC, 38, Nothing(), ANY, RANGE},

        // binary ->
        {VB, B({0x0A, 0xFF}), 0, CH, 5, Text("0AFF"), 4, OK},
        {VB, B({0x0A, 0xFF}), 0, CH, 4, Text("0A"), 4, TRUNC},
        {VB, B({0x0A, 0xFF}), 0, CH, 0, Nothing(), 4, TRUNC},
        {VB, B({'1', '2', '.', '5'}), 0, NT, 10, Text("12.5"), 4, OK, 5, 1},
        {VB, B({'1', '2', 0, '5'}), 0, NT, 10, Text("12"), 2, OK, 5, 1},
        {VB, F32(1.5f), 0, RE, 4, F32(1.5f), 4, OK},
        {VB, B({0, 0, 0xC0}), 0, RE, 4, Nothing(), ANY, ASSIGN},
        {VB, F64(-2.0), 0, DB, 8, F64(-2.0), 8, OK},
        {VB, B({1, 2, 3, 4}), 0, DB, 8, Nothing(), ANY, ASSIGN},
        {VB, B({0x0A, 0xFF}), 0, VB, 1, B({0x0A}), 2, TRUNC},
        {SQL_BINARY, B({0x0A, 0xFF}), 1, CB, 2, B({0x0A, 0xFF}), 2, OK},
        {VB, B({0x0A, 0xFF}), 1, CB, 2, Nothing(), ANY, RESTR},
        {VB, B({0x0A, 0xFF}), 0, CB, 4, B({0x0A, 0xFF}), 2, OK},

        // date ->
        {DA, Dt(1999, 12, 31), 0, CH, 11, Text("1999-12-31"), 10, OK},
        {DA, Dt(1999, 12, 31), 0, CH, 10, Nothing(), ANY, RANGE},
        {DA, Dt(1999, 12, 31), 0, VB, 4, B({0xCF, 0x07, 12, 31}), 4, OK},
        {DA, Dt(1999, 12, 31), 0, VB, 3, Nothing(), ANY, RANGE},
        {DA, Dt(1999, 12, 31), 0, CB, 6, Dt(1999, 12, 31), 6, OK},
        {DA, Dt(1999, 12, 31), 0, CB, 5, Nothing(), ANY, RANGE},
        {DA, Dt(2000, 2, 29), 0, DA, 6, Dt(2000, 2, 29), 6, OK},
        {DA, Dt(1999, 2, 29), 0, DA, 6, Nothing(), ANY, BADDATE},
        {DA, Dt(1999, 13, 1), 0, DA, 6, Nothing(), ANY, BADDATE},
        {DA, Dt(1999, 256 + 12, 1), 0, CH, 11, Nothing(), ANY, BADDATE},
        {DA, Dt(1999, 4, 31), 0, TS, 16, Nothing(), ANY, BADDATE},
        {DA, Dt(1999, 12, 31), 0, TS, 16, Ts(1999, 12, 31, 0, 0, 0, 0), 16, OK},
        {SQL_C_DATE, Dt(1999, 12, 31), 0, SQL_C_CHAR, 20, Text("1999-12-31"), 10, OK},

        // time ->
        {TI, Tm(23, 59, 59), 0, CH, 9, Text("23:59:59"), 8, OK},
        {TI, Tm(23, 59, 59), 0, CH, 8, Nothing(), ANY, RANGE},
        {TI, Tm(23, 59, 59), 0, VB, 3, B({23, 59, 59}), 3, OK},
        {TI, Tm(23, 59, 59), 0, TI, 6, Tm(23, 59, 59), 6, OK},
        {TI, Tm(24, 0, 0), 0, TI, 6, Nothing(), ANY, BADDATE},
        {TI, Tm(10, 60, 0), 0, CH, 9, Nothing(), ANY, BADDATE},
        {TI, Tm(10, 11, 12), 0, TS, 16, Ts(2026, 12, 9, 10, 11, 12, 0), 16, OK},

        // timestamp ->
        {TS, Ts(1999, 12, 31, 23, 59, 59, 500000000), 0, CH, 30,
         Text("1999-12-31 23:59:59.500000000"), 29, OK},
        {TS, Ts(1999, 12, 31, 23, 59, 59, 500000000), 0, CH, 29,
         Text("1999-12-31 23:59:59.50000000"), 29, TRUNC},
        {TS, Ts(1999, 12, 31, 23, 59, 59, 0), 0, CH, 20, Text("1999-12-31 23:59:59"), 19, OK},
        {TS, Ts(1999, 12, 31, 23, 59, 59, 0), 0, CH, 18, Nothing(), ANY, RANGE},
        {TS, Ts(1999, 12, 31, 23, 59, 59, 500000000), 0, CH, 30, Text("1999-12-31 23:59:59.500"),
         23, OK, 19, 3},
        {TS, Ts(1999, 12, 31, 23, 59, 59, 500000000), 0, VB, 12,
         B({0xCF, 0x07, 12, 31, 23, 59, 59, 0, 0x00, 0x65, 0xCD, 0x1D}), 12, OK},
        {TS, Ts(1999, 12, 31, 23, 59, 59, 0), 0, VB, 11, Nothing(), ANY, RANGE},
        {TS, Ts(1999, 12, 31, 10, 0, 0, 0), 0, DA, 6, Dt(1999, 12, 31), 6, TRUNC},
        {TS, Ts(1999, 12, 31, 0, 0, 0, 0), 0, DA, 6, Dt(1999, 12, 31), 6, OK},
        {TS, Ts(1999, 12, 31, 10, 11, 12, 5), 0, TI, 6, Tm(10, 11, 12), 6, TRUNC},
        {TS, Ts(1999, 12, 31, 10, 11, 12, 0), 0, TI, 6, Tm(10, 11, 12), 6, OK},
        {TS, Ts(1999, 12, 31, 10, 11, 12, 7), 0, TS, 16, Ts(1999, 12, 31, 10, 11, 12, 7), 16, OK},
        {TS, Ts(1999, 12, 31, 10, 11, 12, 1000000000), 0, TS, 16, Nothing(), ANY, BADDATE},
        {TS, Ts(1999, 12, 31, 25, 0, 0, 0), 0, CH, 30, Nothing(), ANY, BADDATE},
        {TS, Ts(1999, 12, 31, 10, 11, 12, 0), 0, TS, 15, Nothing(), ANY, RANGE},

        // private decimal ->
        {DEC, Dec("-15", -1), 0, CH, 10, Text("-1.5"), 4, OK},
        {DEC, Dec("5", -2), 0, CH, 10, Text(".05"), 3, OK},
        {DEC, Dec("1", 2), 0, CH, 10, Text("100"), 3, OK},
        {DEC, Dec("12345", -3), 0, CH, 4, Text("12"), 2, TRUNC},
        {DEC, Dec("0", 0), 0, CH, 10, Text("0"), 1, OK},
        {DEC, DecOverflow(), 0, CH, 10, Nothing(), ANY, RANGE},
        {DEC, DecOverflow(), 0, SL, 4, Nothing(), ANY, RANGE},
        {DEC, DecOverflow(), 0, UL, 4, Nothing(), ANY, RANGE},
        {DEC, DecOverflow(), 0, DB, 8, Nothing(), ANY, RANGE},
        {DEC, DecOverflow(), 0, DEC, 38, DecOverflow(), 38, OK},
        {DEC, Dec("1", 0), 0, BI, 1, U8(1), 1, OK},
        {DEC, Dec("2", 0), 0, BI, 1, Nothing(), ANY, RANGE},
        {DEC, Dec("-128", 0), 0, ST, 1, I8(-128), 1, OK},
        {DEC, Dec("300", 0), 0, UT, 1, Nothing(), ANY, RANGE},
        {DEC, Dec("-300", 0), 0, SS, 2, I16(-300), 2, OK},
        {DEC, Dec("65535", 0), 0, US, 2, U16(65535), 2, OK},
        {DEC, Dec("27", -1), 0, SL, 4, I32(2), 4, OK},
        {DEC, Dec("-1", 0), 0, UL, 4, Nothing(), ANY, RANGE},
        {DEC, Dec("15", -1), 0, RE, 4, F32(1.5f), 4, OK},
        {DEC, Dec("-125", -3), 0, DB, 8, F64(-0.125), 8, OK},
        {DEC, Dec("-125", -3), 0, DEC, 38, Dec("-125", -3), 38, OK},
        {DEC, Dec("-125", -3), 0, CB, 38, Dec("-125", -3), 38, OK},
        {DEC, Dec("-125", -3), 0, SC, 8, I64(-1250), 8, OK, 0, 4},
        {DEC, Dec("-125", -3), 0, SC, 8, I64(-1), 8, TRUNC, 0, 1},

        // scaled 64-bit integer (implied scale = the scale argument) ->
        {SC, I64(-12345), 0, CH, 10, Text("-1.2345"), 7, OK, 0, 4},
        {SC, I64(12345), 0, CH, 10, Text("12345"), 5, OK, 0, 0},
        {SC, I64(5), 0, CH, 10, Text(".05"), 3, OK, 0, 2},
        {SC, I64(INT64_MIN), 0, CH, 30, Text("-9223372036854775808"), 20, OK, 0, 0},
        {SC, I64(10000), 0, BI, 1, U8(1), 1, OK, 0, 4},
        {SC, I64(-1280000), 0, ST, 1, I8(-128), 1, OK, 0, 4},
        {SC, I64(2560000), 0, UT, 1, Nothing(), ANY, RANGE, 0, 4},
        {SC, I64(-15000), 0, SS, 2, I16(-1), 2, OK, 0, 4},
        {SC, I64(655350000), 0, US, 2, U16(65535), 2, OK, 0, 4},
        {SC, I64(27), 0, SL, 4, I32(2), 4, OK, 0, 1},
        {SC, I64(-1), 0, UL, 4, Nothing(), ANY, RANGE, 0, 0},
        {SC, I64(15), 0, RE, 4, F32(1.5f), 4, OK, 0, 1},
        {SC, I64(-125), 0, DB, 8, F64(-0.125), 8, OK, 0, 3},
        {SC, I64(-125), 0, DEC, 38, Dec("-125", -3), 38, OK, 0, 3},
        {SC, I64(77), 0, SC, 8, I64(77), 8, OK, 0, 3},
        {SC, I64(77), 0, CB, 8, I64(77), 8, OK, 0, 3},
        {SC, I64(77), 0, SC, 7, Nothing(), ANY, RANGE, 0, 3},
        // -> scaled 64-bit integer
        {CH, T("-12.34567"), 1, SC, 8, I64(-123456), 8, TRUNC, 0, 4},
        {CH, T("12.5"), 1, SC, 8, I64(125000), 8, OK, 0, 4},
        {CH, T("9223372036854775807"), 1, SC, 8, I64(INT64_MAX), 8, OK, 0, 0},
        {CH, T("9223372036854775808"), 1, SC, 8, Nothing(), ANY, RANGE, 0, 0},
        {CH, T("1e15"), 1, SC, 8, Nothing(), ANY, RANGE, 0, 4},
        {CH, T("x"), 1, SC, 8, Nothing(), ANY, ASSIGN, 0, 4},
        {BI, U8(1), 0, SC, 8, I64(10), 8, OK, 0, 1},
        {ST, I8(-5), 0, SC, 8, I64(-500), 8, OK, 0, 2},
        {UT, U8(200), 0, SC, 8, I64(200), 8, OK, 0, 0},
        {SS, I16(-300), 0, SC, 8, I64(-300), 8, OK, 0, 0},
        {US, U16(65535), 0, SC, 8, I64(65535), 8, OK, 0, 0},
        {SL, I32(INT32_MIN), 0, SC, 8, I64(INT32_MIN * int64_t{10000}), 8, OK, 0, 4},
        {UL, U32(4294967295u), 0, SC, 8, I64(4294967295), 8, OK, 0, 0},
        {RE, F32(1.5f), 0, SC, 8, I64(15), 8, OK, 0, 1},
        {DB, F64(2.125), 0, SC, 8, I64(212), 8, TRUNC, 0, 2},
        {DB, F64(1e30), 0, SC, 8, Nothing(), ANY, RANGE, 0, 2},
    };
}

const PlatDate kToday{2026, 12, 9};
PlatDate fixedToday() { return kToday; }

class ConversionMatrix : public ::testing::Test {
protected:
    void SetUp() override
    {
        static const PlatClock clock{nullptr, nullptr, fixedToday};
        PlatSetClock(&clock);
    }
    void TearDown() override { PlatSetClock(nullptr); }
};

std::string describe(const Row &r)
{
    std::string s = "src " + std::to_string(r.src) + " mode " + std::to_string(r.mode) + " dst " +
                    std::to_string(r.dst) + " len " + std::to_string(r.dstLen) + " p/s " +
                    std::to_string(r.precision) + "/" + std::to_string(r.scale);
    if (r.value.len == SQL_NTS)
        s += " text \"" + std::string(reinterpret_cast<const char *>(r.value.b.data())) + "\"";
    return s;
}

TEST_F(ConversionMatrix, EveryRowConverts)
{
    for (const Row &r : rows()) {
        SCOPED_TRACE(describe(r));
        uint8_t buf[600];
        std::memset(buf, 0xA5, sizeof buf);
        int32_t out = ANY;
        int32_t msg =
            rcCnvConvert(r.value.b.data(), r.src, r.value.len, r.mode, buf,
                         static_cast<uint16_t>(r.dst), r.dstLen, r.precision, r.scale, &out);
        EXPECT_EQ(msg, r.msg);
        if (r.out != ANY) {
            EXPECT_EQ(out, r.out);
        }
        if (r.expect.given) {
            ASSERT_LE(r.expect.b.size(), sizeof buf);
            EXPECT_EQ(std::memcmp(buf, r.expect.b.data(), r.expect.b.size()), 0)
                << "bytes: " << std::string(reinterpret_cast<char *>(buf), r.expect.b.size());
        }
        size_t firstUntouched = r.expect.given ? static_cast<size_t>(r.dstLen) : 0;
        for (size_t i = firstUntouched; i < sizeof buf; ++i) {
            if (buf[i] != 0xA5) {
                ADD_FAILURE() << "byte " << i << " written";
                break;
            }
        }
    }
}

// Which cells hold a converter, by matrix index (source rows, target columns).
constexpr const char *kFilled[kCnvMatrixSize] = {
    //   01234567890123456
    "YYYYYYYYYYYYYYYYY", // 0 character
    "YYYYYYYYYYYY.....", // 1 numeric text
    "YYYYYYYYYYYY...YY", // 2 bit
    "YYYYYYYYYYYY...YY", "YYYYYYYYYYYY...YY", "YYYYYYYYYYYY...YY",
    "YYYYYYYYYYYY...YY", "YYYYYYYYYYYY...YY", "YYYYYYYYYYYY...YY", // 3-8 integers
    "YYYYYYYYYYYY...YY", "YYYYYYYYYYYY...YY",                      // 9 real, 10 double
    "YY.......YYY.....",                                           // 11 binary
    "Y..........YY.Y..",                                           // 12 date
    "Y..........Y.YY..",                                           // 13 time
    "Y..........YYYY..",                                           // 14 timestamp
    "Y.YYYYYYYYY....YY",                                           // 15 decimal
    "Y.YYYYYYYYY....YY",                                           // 16 scaled 64-bit
};
constexpr int16_t kRepresentative[kCnvMatrixSize] = {CH, NT, BI, ST, UT, SS, US,  SL, UL,
                                                     RE, DB, VB, DA, TI, TS, DEC, SC};

TEST_F(ConversionMatrix, RowsCoverEveryFilledCell)
{
    std::set<std::pair<int, int>> covered;
    for (const Row &r : rows()) {
        if (r.dst == CB)
            continue; // reaches a cell through the binary-mode rules
        covered.insert({rcCnvMatrixIndex(r.src), rcCnvMatrixIndex(r.dst)});
    }
    for (int s = 0; s < kCnvMatrixSize; ++s)
        for (int d = 0; d < kCnvMatrixSize; ++d)
            if (kFilled[s][d] == 'Y') {
                EXPECT_TRUE(covered.count({s, d})) << "no row for cell " << s << "," << d;
            }
}

TEST_F(ConversionMatrix, EmptyCellsRefuseAndStoreNothing)
{
    alignas(8) uint8_t src[64] = {};
    std::strcpy(reinterpret_cast<char *>(src), "1");
    for (int s = 0; s < kCnvMatrixSize; ++s) {
        for (int d = 0; d < kCnvMatrixSize; ++d) {
            bool filled = kFilled[s][d] == 'Y';
            EXPECT_EQ(rcCnvMatrixCell(s, d) != nullptr, filled) << s << "," << d;
            EXPECT_EQ(rcCnvCanConvert(kRepresentative[s], 0, kRepresentative[d]), filled)
                << s << "," << d;
            if (filled)
                continue;
            uint8_t buf[64];
            std::memset(buf, 0xA5, sizeof buf);
            int32_t out = 77;
            EXPECT_EQ(rcCnvConvert(src, kRepresentative[s], 1, 0, buf,
                                   static_cast<uint16_t>(kRepresentative[d]), sizeof buf, 10, 2,
                                   &out),
                      RESTR)
                << s << "," << d;
            EXPECT_EQ(out, 77);
            for (uint8_t b : buf)
                ASSERT_EQ(b, 0xA5) << s << "," << d;
        }
    }
}

TEST_F(ConversionMatrix, TypesOutsideTheClassMapRefuse)
{
    int64_t scaled = 12345;
    char buf[32];
    EXPECT_EQ(rcCnvConvert(&scaled, 32022, 8, 0, buf, SQL_C_CHAR, sizeof buf, 0, 0, nullptr),
              RESTR);
    EXPECT_EQ(rcCnvConvert("1", SQL_CHAR, SQL_NTS, 0, buf, 32019, sizeof buf, 0, 0, nullptr),
              RESTR);
    EXPECT_EQ(
        rcCnvConvert(&scaled, RC_SQL_SCALED64, 8, 0, buf, SQL_DATE, sizeof buf, 0, 0, nullptr),
        RESTR);
    EXPECT_EQ(rcCnvConvert("1", 1234, SQL_NTS, 0, buf, SQL_C_CHAR, sizeof buf, 0, 0, nullptr),
              RESTR);
    EXPECT_FALSE(rcCnvCanConvert(SQL_INTEGER, 1, SQL_BINARY));
    EXPECT_TRUE(rcCnvCanConvert(SQL_CHAR, 1, SQL_BINARY));
    EXPECT_TRUE(rcCnvCanConvert(SQL_BINARY, 1, SQL_VARBINARY));
}

TEST_F(ConversionMatrix, NullOutLengthAndNullDestination)
{
    // A NULL destination with length 0 reports the length and writes nothing.
    int32_t out = 0;
    EXPECT_EQ(rcCnvConvert("hello", SQL_CHAR, SQL_NTS, 1, nullptr, SQL_C_CHAR, 0, 0, 0, &out),
              TRUNC);
    EXPECT_EQ(out, 5);
    EXPECT_EQ(rcCnvConvert("hello", SQL_CHAR, SQL_NTS, 1, nullptr, SQL_C_CHAR, 100, 0, 0, &out),
              TRUNC);
    int32_t v = 0;
    EXPECT_EQ(rcCnvConvert("42", SQL_CHAR, SQL_NTS, 1, &v, SQL_C_SLONG, 4, 0, 0, nullptr), OK);
    EXPECT_EQ(v, 42);
}

TEST(ConversionHelpers, PredicatesAndLengths)
{
    struct Case {
        int16_t type;
        bool isChar, isBinary, isNumeric, fixed;
    };
    const Case cases[] = {
        {SQL_CHAR, true, false, false, false},
        {SQL_VARCHAR, true, false, false, false},
        {SQL_LONGVARCHAR, true, false, false, false},
        {SQL_NUMERIC, false, false, true, false},
        {SQL_DECIMAL, false, false, true, false},
        {SQL_BIGINT, false, false, true, true},
        {SQL_BIT, false, false, true, true},
        {SQL_BINARY, false, true, false, false},
        {SQL_LONGVARBINARY, false, true, false, false},
        {SQL_DATE, false, false, false, true},
        {SQL_FLOAT, false, false, true, true},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(rcCnvIsCharType(c.type), c.isChar) << c.type;
        EXPECT_EQ(rcCnvIsBinaryType(c.type), c.isBinary) << c.type;
        EXPECT_EQ(rcCnvIsNumericType(c.type), c.isNumeric) << c.type;
        EXPECT_EQ(rcCnvIsFixedLengthType(c.type), c.fixed) << c.type;
    }
    EXPECT_TRUE(rcCnvBothChar(SQL_VARCHAR, SQL_LONGVARCHAR));
    EXPECT_TRUE(rcCnvBothChar(kCnvDefaultCType, SQL_CHAR));
    EXPECT_FALSE(rcCnvBothChar(kCnvDefaultCType, SQL_VARCHAR));
    EXPECT_TRUE(rcCnvBothBinary(SQL_BINARY, kCnvDefaultCType));
    EXPECT_FALSE(rcCnvIsUnpaddedType(SQL_CHAR));
    EXPECT_TRUE(rcCnvIsUnpaddedType(SQL_VARCHAR));

    EXPECT_EQ(rcCnvSqlValueLength("abc", SQL_VARCHAR), 3);
    EXPECT_EQ(rcCnvSqlValueLength(nullptr, SQL_FLOAT), 8);
    EXPECT_EQ(rcCnvSqlValueLength(nullptr, SQL_REAL), 4);
    EXPECT_EQ(rcCnvSqlValueLength(nullptr, SQL_TIMESTAMP), 16);
    EXPECT_EQ(rcCnvSqlValueLength(nullptr, SQL_BINARY), 0);
    EXPECT_EQ(rcCnvCValueLength(nullptr, SQL_C_USHORT), 2);
    EXPECT_EQ(rcCnvCValueLength(nullptr, SQL_C_ULONG), 4);
    EXPECT_EQ(rcCnvCValueLength("abcd", SQL_C_CHAR), 4);
    EXPECT_EQ(rcCnvCodeToMsg(-6), TRUNC);
    EXPECT_EQ(rcCnvCodeToMsg(-5), 5136);
    EXPECT_EQ(rcCnvCodeToMsg(3), 0);
}

} // namespace
