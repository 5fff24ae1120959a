// Scalar functions of expression programs. Each pops its arguments (never
// NULL: a NULL argument has made the whole expression NULL before the
// function runs) and gives one value. Texts work on bytes; results are made
// in the run arena. Lengths and positions are clamped to the value, so no
// function reads outside its argument.
#include <cmath>
#include <cstring>

#include "driver/core/rccnv.h"
#include "driver/core/rccollate.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/expr/rcexpimpl.h"
#include "platform/clock.h"

namespace {

constexpr uint32_t kConvertTextMax = 255; // CONVERT to a character type keeps 255 bytes
constexpr uint32_t kShortTextLimit = 256; // CONCAT results from here on are LONGVARCHAR
constexpr uint32_t kUserMax = 128;

unsigned char Lower1252(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return static_cast<unsigned char>(c + 0x20);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return static_cast<unsigned char>(c + 0x20);
    switch (c) {
    case 0x8A:
    case 0x8C:
    case 0x8E: return static_cast<unsigned char>(c + 0x10);
    case 0x9F: return 0xFF;
    default: return c;
    }
}

void SetText(rcExpValue *r, int16_t type, const char *text, uint32_t n)
{
    r->type = type;
    r->isNull = 0;
    r->text = text;
    r->length = n;
}

void SetInt(rcExpValue *r, int32_t i)
{
    r->type = SQL_INTEGER;
    r->isNull = 0;
    r->text = nullptr;
    r->length = sizeof(int32_t);
    r->v.i32 = i;
}

int16_t Text(rcExpEnv *env, const rcExpValue &v, const char **t, uint32_t *n)
{
    return rcExpAsText(env, v, t, n);
}

// An integer argument, clamped to the 32-bit range.
int16_t Int(rcExpEnv *env, const rcExpValue &v, int64_t *out)
{
    double d;
    if (!rcExpToDouble(v, &d, env->numScale)) {
        rcExpValue t;
        if (rcExpCast(env, v, SQL_DOUBLE, &t) < 0)
            return RC_EXP_ERROR;
        d = t.v.f64;
    }
    if (std::isnan(d))
        return rcExpPost(env, RC_MSG_INVALID_ARGUMENT_VALUE);
    d = std::trunc(d);
    *out = d < -2147483648.0 ? INT32_MIN : d > 2147483647.0 ? INT32_MAX : static_cast<int64_t>(d);
    return RC_EXP_OK;
}

int16_t DateArg(rcExpEnv *env, const rcExpValue &v, TIMESTAMP_STRUCT *ts)
{
    if (!rcExpAsTimestamp(v, ts) || v.type == SQL_TIME || ts->month < 1 || ts->month > 12)
        return rcExpPost(env, RC_MSG_INVALID_DATE_TIME_TIMESTAMP_VALUE);
    return RC_EXP_OK;
}

// The engine type a CONVERT type code names.
int16_t ConvertTarget(int code)
{
    switch (code) {
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_BIGINT: return RC_SQL_DECIMAL38;
    case SQL_FLOAT: return SQL_DOUBLE;
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_LONGVARBINARY:
    case SQL_VARBINARY:
    case SQL_BINARY:
    case SQL_LONGVARCHAR:
    case SQL_CHAR:
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_REAL:
    case SQL_DOUBLE:
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TIMESTAMP:
    case SQL_VARCHAR: return static_cast<int16_t>(code);
    default: return 0;
    }
}

// A BIGINT is held exactly: the fraction is cut toward zero, and a value
// beyond the signed 64-bit range is refused (-1).
int BigIntCut(rcExpValue *r)
{
    MultiPrecisionNumber &n = r->v.num;
    rcNumSetExponent(n, 0);
    MultiPrecisionNumber high, low;
    rcNumFromText(high, 19, 0, "9223372036854775807");
    rcNumFromText(low, 19, 0, "9223372036854775808");
    rcNumNegate(low);
    if (!rcNumIsValid(n) || rcNumCompare(n, high) == 3 || rcNumCompare(n, low) == 1)
        return -1;
    return 0;
}

int16_t Convert(rcExpEnv *env, const rcExpValue &v, int code, rcExpValue *r)
{
    int16_t type = ConvertTarget(code);
    if (type == 0)
        return rcExpPost(env, RC_MSG_INVALID_ARGUMENT_VALUE);
    int16_t rc = rcExpCast(env, v, type, r);
    if (rc < 0)
        return rc;
    if (code == SQL_BIGINT && !r->isNull && BigIntCut(r) != 0)
        return rcExpPost(env, RC_MSG_NUMERIC_VALUE_OUT_RANGE);
    // Only CONVERT's own truncation is dropped: it never posted one, and the
    // statement's other diagnostics stay where they are.
    if ((rcCnvIsCharType(type) || rcCnvIsBinaryType(type)) && r->length > kConvertTextMax)
        r->length = kConvertTextMax;
    if (rcCnvIsCharType(type) && r->text) {
        char *copy = rcExpArenaAlloc(env, r->length + 1);
        if (!copy)
            return RC_EXP_ERROR;
        std::memcpy(copy, r->text, r->length);
        copy[r->length] = '\0';
        r->text = copy;
    }
    return RC_EXP_OK;
}

int16_t Locate(rcExpEnv *env, rcExpValue *a, rcExpValue *r)
{
    const char *needle, *hay;
    uint32_t nl, hl;
    int64_t start;
    if (Text(env, a[0], &needle, &nl) < 0 || Text(env, a[1], &hay, &hl) < 0 ||
        Int(env, a[2], &start) < 0)
        return RC_EXP_ERROR;
    if (start < 1)
        start = 1;
    int32_t pos = 0;
    if (start <= static_cast<int64_t>(hl) + 1 && nl <= hl) {
        for (uint64_t i = static_cast<uint64_t>(start - 1); i + nl <= hl; ++i) {
            if (std::memcmp(hay + i, needle, nl) == 0) {
                pos = static_cast<int32_t>(i + 1);
                break;
            }
        }
    }
    SetInt(r, pos);
    return RC_EXP_OK;
}

int16_t Substring(rcExpEnv *env, rcExpValue *a, uint8_t op, rcExpValue *r)
{
    const char *s;
    uint32_t n;
    if (Text(env, a[0], &s, &n) < 0)
        return RC_EXP_ERROR;
    int64_t from = 0, count = 0;
    if (op == RC_FN_OP_SUBSTRING) {
        if (Int(env, a[1], &from) < 0 || Int(env, a[2], &count) < 0)
            return RC_EXP_ERROR;
        from = from < 1 ? 0 : from - 1;
    } else {
        if (Int(env, a[1], &count) < 0)
            return RC_EXP_ERROR;
        if (count < 0)
            count = 0;
        if (count > static_cast<int64_t>(n))
            count = static_cast<int64_t>(n);
        from = op == RC_FN_OP_LEFT ? 0 : static_cast<int64_t>(n) - count;
    }
    if (count < 0)
        count = 0;
    if (from > static_cast<int64_t>(n))
        from = static_cast<int64_t>(n);
    if (count > static_cast<int64_t>(n) - from)
        count = static_cast<int64_t>(n) - from;
    SetText(r, SQL_VARCHAR, s + from, static_cast<uint32_t>(count));
    // The piece is terminated in a copy of its own.
    char *copy = rcExpArenaAlloc(env, static_cast<size_t>(count) + 1);
    if (!copy)
        return RC_EXP_ERROR;
    std::memcpy(copy, s + from, static_cast<size_t>(count));
    copy[count] = '\0';
    r->text = copy;
    return RC_EXP_OK;
}

int16_t Trim(rcExpEnv *env, const rcExpValue &v, bool left, rcExpValue *r)
{
    const char *s;
    uint32_t n;
    if (Text(env, v, &s, &n) < 0)
        return RC_EXP_ERROR;
    uint32_t b = 0, e = n;
    if (left)
        while (b < e && s[b] == ' ')
            ++b;
    else
        while (e > b && s[e - 1] == ' ')
            --e;
    char *copy = rcExpArenaAlloc(env, e - b + 1);
    if (!copy)
        return RC_EXP_ERROR;
    std::memcpy(copy, s + b, e - b);
    copy[e - b] = '\0';
    SetText(r, SQL_VARCHAR, copy, e - b);
    return RC_EXP_OK;
}

int16_t Case(rcExpEnv *env, const rcExpValue &v, bool upper, rcExpValue *r)
{
    const char *s;
    uint32_t n;
    if (Text(env, v, &s, &n) < 0)
        return RC_EXP_ERROR;
    char *copy = rcExpArenaAlloc(env, n + 1);
    if (!copy)
        return RC_EXP_ERROR;
    for (uint32_t i = 0; i < n; ++i) {
        auto c = static_cast<unsigned char>(s[i]);
        copy[i] = static_cast<char>(upper ? rcCollateUpper1252(c) : Lower1252(c));
    }
    copy[n] = '\0';
    SetText(r, rcCnvIsCharType(v.type) ? v.type : SQL_VARCHAR, copy, n);
    return RC_EXP_OK;
}

int16_t Concat(rcExpEnv *env, rcExpValue *a, rcExpValue *r)
{
    const char *out;
    uint32_t n;
    int16_t rc = rcExpConcatText(env, a[0], a[1], &out, &n);
    if (rc < 0)
        return rc;
    SetText(r, n + 1 < kShortTextLimit ? SQL_CHAR : SQL_LONGVARCHAR, out, n);
    return rc;
}

int16_t Mod(rcExpEnv *env, rcExpValue *a, rcExpValue *r)
{
    double x, y;
    if (!rcExpToDouble(a[0], &x, env->numScale) || !rcExpToDouble(a[1], &y, env->numScale))
        return rcExpPost(env, RC_ENG_INCOMPATIBLE_TYPES_EXPRESSION);
    if (y == 0.0)
        return rcExpPost(env, RC_MSG_DIVISION_BY_ZERO);
    double m = std::fmod(x, y);
    if (!(m >= -2147483648.0 && m <= 2147483647.0))
        return rcExpPost(env, RC_MSG_NUMERIC_VALUE_OUT_RANGE);
    SetInt(r, static_cast<int32_t>(m));
    return RC_EXP_OK;
}

} // namespace

int16_t rcEvlScalarFunction(rcExpEnv *env, ExprProgram *p, uint8_t op, rcExpValue *a, int argc,
                            rcExpValue *r)
{
    *r = rcExpValue();
    (void)argc;
    switch (op) {
    case RC_FN_OP_CONCAT: return Concat(env, a, r);
    case RC_FN_OP_CONVERT: {
        int64_t code;
        if (Int(env, a[1], &code) < 0)
            return RC_EXP_ERROR;
        return Convert(env, a[0], static_cast<int>(code), r);
    }
    case RC_FN_OP_CURDATE: {
        PlatDate d = PlatToday();
        r->type = SQL_DATE;
        r->v.date = DATE_STRUCT{d.year, d.month, d.day};
        return RC_EXP_OK;
    }
    case RC_FN_OP_CURTIME: {
        PlatTimeOfDay t = PlatNowTimeOfDay();
        r->type = SQL_TIME;
        r->v.time = TIME_STRUCT{t.hour, t.minute, t.second};
        return RC_EXP_OK;
    }
    case RC_FN_OP_DATABASE: {
        const char *d = env->database ? env->database : "";
        SetText(r, SQL_CHAR, d, static_cast<uint32_t>(std::strlen(d)));
        return RC_EXP_OK;
    }
    case RC_FN_OP_USER: {
        const char *u = env->userName ? env->userName : "";
        size_t n = std::strlen(u);
        SetText(r, SQL_CHAR, u, static_cast<uint32_t>(n < kUserMax ? n : kUserMax));
        if (n > kUserMax) {
            char *copy = rcExpArenaAlloc(env, kUserMax + 1);
            if (!copy)
                return RC_EXP_ERROR;
            std::memcpy(copy, u, kUserMax);
            copy[kUserMax] = '\0';
            r->text = copy;
        }
        return RC_EXP_OK;
    }
    case RC_FN_OP_DAY:
    case RC_FN_OP_DAYOFMONTH:
    case RC_FN_OP_DAYOFWEEK:
    case RC_FN_OP_DAYOFYEAR:
    case RC_FN_OP_MONTH:
    case RC_FN_OP_YEAR:
    case RC_FN_OP_QUARTER: {
        TIMESTAMP_STRUCT ts;
        if (DateArg(env, a[0], &ts) < 0)
            return RC_EXP_ERROR;
        DATE_STRUCT d{ts.year, ts.month, ts.day};
        int v = op == RC_FN_OP_MONTH       ? ts.month
                : op == RC_FN_OP_YEAR      ? ts.year
                : op == RC_FN_OP_QUARTER   ? (ts.month - 1) / 3 + 1
                : op == RC_FN_OP_DAYOFWEEK ? rcEvlDayOfWeek(d)
                : op == RC_FN_OP_DAYOFYEAR ? rcEvlDayOfYear(d)
                                           : ts.day;
        SetInt(r, v);
        return RC_EXP_OK;
    }
    case RC_FN_OP_LCASE:
    case RC_FN_OP_UCASE: return Case(env, a[0], op == RC_FN_OP_UCASE, r);
    case RC_FN_OP_LEFT:
    case RC_FN_OP_RIGHT:
    case RC_FN_OP_SUBSTRING: return Substring(env, a, op, r);
    case RC_FN_OP_LENGTH: {
        const char *s;
        uint32_t n;
        if (Text(env, a[0], &s, &n) < 0)
            return RC_EXP_ERROR;
        if (a[0].type == SQL_CHAR)
            while (n > 0 && s[n - 1] == ' ')
                --n;
        SetInt(r, static_cast<int32_t>(n));
        return RC_EXP_OK;
    }
    case RC_FN_OP_LTRIM:
    case RC_FN_OP_RTRIM: return Trim(env, a[0], op == RC_FN_OP_LTRIM, r);
    case RC_FN_OP_LOCATE: return Locate(env, a, r);
    case RC_FN_OP_MOD: return Mod(env, a, r);
    case RC_FN_OP_NULL:
        r->type = SQL_CHAR;
        r->isNull = 1;
        return RC_EXP_NULL;
    case RC_FN_OP_RAND:
        p->randSeed = p->randSeed * 1103515245u + 12345u;
        SetInt(r, static_cast<int32_t>((p->randSeed >> 1) & 0x7FFFFFFF));
        return RC_EXP_OK;
    default: return RC_EXP_ERROR;
    }
}
