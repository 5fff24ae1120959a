// Typed values of the evaluator: promotion and comparison, conversion
// between types through the driver's conversion matrix, the run arena.
#include <charconv>
#include <cmath>
#include <cstring>

#include "driver/core/rccnv.h"
#include "driver/core/rccollate.h"
#include "driver/core/rccompare.h"
#include "driver/core/rcdate.h"
#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcnumprivate.h"
#include "driver/core/rcsqltype.h"
#include "driver/engine/expr/rcexpimpl.h"

bool rcExpToInt64(const rcExpValue &v, int64_t *out)
{
    switch (v.type) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_C_UTINYINT: *out = v.v.u8; return true;
    case SQL_SMALLINT: *out = v.v.i16; return true;
    case SQL_INTEGER: *out = v.v.i32; return true;
    case SQL_BIGINT: *out = v.v.i64; return true;
    default: return false;
    }
}

namespace {

constexpr size_t kArenaChunk = 4096;
constexpr int32_t kNumberTextMax = RC_EXP_NUMBER_TEXT_MAX;

bool IsChar(int16_t t) { return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR; }
bool IsBinary(int16_t t) { return t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY; }
bool IsDateTime(int16_t t) { return t == SQL_DATE || t == SQL_TIME || t == SQL_TIMESTAMP; }

size_t TrimmedLength(const char *s, size_t n)
{
    while (n > 0 && s[n - 1] == ' ')
        --n;
    return n;
}

int Sign(double d) { return d < 0 ? -1 : d > 0 ? 1 : 0; }

template <typename T>
int Order(T a, T b)
{
    return a < b ? -1 : b < a ? 1 : 0;
}

// A message id from a conversion core code.
uint32_t CoreMsg(int core)
{
    int32_t msg = rcCnvCodeToMsg(core);
    return msg ? static_cast<uint32_t>(msg) : RC_MSG_RESTRICTED_DATA_TYPE_ATTRIBUTE_VIOLATION;
}

bool ToNumber(rcExpEnv *env, const rcExpValue &v, MultiPrecisionNumber *out)
{
    int64_t i;
    double d;
    if (v.type == RC_SQL_DECIMAL38) {
        *out = v.v.num;
        return true;
    }
    if (v.type == RC_SQL_SCALED64) {
        rcNumFromInt64(*out, 0, v.v.i64);
        rcNumSetExponent(*out, rcNumExponent(*out));
        out->exponent = static_cast<int16_t>(out->exponent - env->numScale);
        return true;
    }
    if (rcExpToInt64(v, &i)) {
        rcNumFromInt64(*out, 0, i);
        return true;
    }
    if (rcExpToDouble(v, &d, env->numScale))
        return rcNumFromDouble(*out, d);
    return false;
}

} // namespace

char *rcExpArena::alloc(size_t n)
{
    n = (n + 7) & ~size_t(7);
    while (cur_ < chunks_.size()) {
        Chunk &c = chunks_[cur_];
        if (c.size - used_ >= n) {
            char *p = c.data.get() + used_;
            used_ += n;
            return p;
        }
        ++cur_;
        used_ = 0;
    }
    size_t size = n > kArenaChunk ? n : kArenaChunk;
    std::unique_ptr<char[]> data(new (std::nothrow) char[size]);
    if (!data)
        return nullptr;
    chunks_.push_back({std::move(data), size});
    cur_ = chunks_.size() - 1;
    used_ = n;
    return chunks_.back().data.get();
}

char *rcExpArenaAlloc(rcExpEnv *env, size_t n)
{
    char *p = env->expr ? env->expr->arena.alloc(n) : nullptr;
    if (!p)
        rcExpPost(env, RC_MSG_MEMORY_ALLOCATION_ERROR);
    return p;
}

int16_t rcExpPost(rcExpEnv *env, uint32_t msgId, const char *text)
{
    if (env->errors)
        rcErrPost(env->errors, msgId, nullptr, 0, text);
    return RC_EXP_ERROR;
}

bool rcExpIsIntegerType(int16_t t)
{
    return t == SQL_BIT || t == SQL_TINYINT || t == SQL_C_UTINYINT || t == SQL_SMALLINT ||
           t == SQL_INTEGER || t == SQL_BIGINT;
}

bool rcExpIsNumericType(int16_t t)
{
    return rcExpIsIntegerType(t) || t == SQL_REAL || t == SQL_FLOAT || t == SQL_DOUBLE ||
           t == RC_SQL_SCALED64 || t == RC_SQL_DECIMAL38 || t == SQL_BIGINT || t == SQL_NUMERIC ||
           t == SQL_DECIMAL;
}

bool rcExpToDouble(const rcExpValue &v, double *out, int16_t scale)
{
    int64_t i;
    if (rcExpToInt64(v, &i)) {
        *out = static_cast<double>(i);
        return true;
    }
    switch (v.type) {
    case SQL_REAL: *out = v.v.f32; return true;
    case SQL_FLOAT:
    case SQL_DOUBLE: *out = v.v.f64; return true;
    case RC_SQL_SCALED64: *out = static_cast<double>(v.v.i64) / std::pow(10.0, scale); return true;
    case RC_SQL_DECIMAL38: return rcNumToDouble(v.v.num, *out);
    default: return false;
    }
}

int rcExpCompareText(const char *a, size_t lenA, const char *b, size_t lenB)
{
    return rcCollateCompare1252(a, TrimmedLength(a, lenA), b, TrimmedLength(b, lenB));
}

bool rcExpAsTimestamp(const rcExpValue &in, TIMESTAMP_STRUCT *out)
{
    std::memset(out, 0, sizeof *out);
    switch (in.type) {
    case SQL_DATE:
        out->year = in.v.date.year;
        out->month = in.v.date.month;
        out->day = in.v.date.day;
        return true;
    case SQL_TIMESTAMP: *out = in.v.ts; return true;
    case SQL_TIME:
        out->hour = in.v.time.hour;
        out->minute = in.v.time.minute;
        out->second = in.v.time.second;
        return true;
    default: break;
    }
    if (!IsChar(in.type) || !in.text)
        return false;
    char buf[64];
    size_t n = in.length < sizeof buf - 1 ? in.length : sizeof buf - 1;
    std::memcpy(buf, in.text, n);
    buf[n] = '\0';
    CnvTimestamp ts;
    int16_t cls;
    if (rcCnvParseDateTime(buf, ts, cls) != 0)
        return false;
    rcCnvWidenTimestamp(ts, out);
    return true;
}

int16_t rcExpCast(rcExpEnv *env, const rcExpValue &in, int16_t type, rcExpValue *out)
{
    if (in.type == type) {
        *out = in;
        return RC_EXP_OK;
    }
    out->type = type;
    out->isNull = 0;
    out->text = nullptr;
    out->length = 0;
    int32_t outLen = 0;
    const void *src =
        IsChar(in.type) || IsBinary(in.type) ? static_cast<const void *>(in.text) : &in.v;
    int32_t srcLen = IsChar(in.type) || IsBinary(in.type) ? static_cast<int32_t>(in.length) : 0;
    int16_t prec = env->numPrecision, scale = env->numScale;
    if (in.type == SQL_TIMESTAMP) // as text: seconds, or all nine fraction digits
        prec = scale = 0;
    int core;
    if (IsChar(type) || IsBinary(type)) {
        int32_t cap = kNumberTextMax;
        if (IsChar(in.type) || IsBinary(in.type))
            cap = static_cast<int32_t>(in.length) * 2 + 1;
        for (;;) {
            char *buf = rcExpArenaAlloc(env, static_cast<size_t>(cap));
            if (!buf)
                return RC_EXP_ERROR;
            core = rcCnvConvertValue(src, in.type, srcLen, 2, buf,
                                     IsChar(type) ? SQL_C_CHAR : SQL_C_BINARY, cap, prec, scale,
                                     &outLen);
            if (core == kCnvCoreTruncated && outLen >= cap &&
                cap < static_cast<int32_t>(RC_EXP_MAX_TEXT) + 1) {
                cap = outLen + 1;
                continue;
            }
            out->text = buf;
            out->length = static_cast<uint32_t>(outLen < cap ? outLen : cap - 1);
            break;
        }
    } else {
        int16_t dst = type == SQL_TINYINT ? static_cast<int16_t>(SQL_C_UTINYINT) : type;
        core = rcCnvConvertValue(src, in.type, srcLen, 0, &out->v, dst, sizeof out->v, prec, scale,
                                 &outLen);
    }
    if (core == kCnvCoreOk)
        return RC_EXP_OK;
    if (core == kCnvCoreTruncated)
        return RC_EXP_WARNING;
    return rcExpPost(env, CoreMsg(core));
}

bool rcExpNumberTextInto(rcExpEnv *env, const rcExpValue &in, char *buffer, int32_t bufferLength,
                         int32_t *outLength)
{
    if (buffer == nullptr || bufferLength < kNumberTextMax)
        return false;
    // An integer's text is its decimal digits, as the converter writes them
    // into a buffer of that size.
    if (in.type == SQL_INTEGER || in.type == SQL_SMALLINT) {
        int32_t v = in.type == SQL_INTEGER ? in.v.i32 : in.v.i16;
        std::to_chars_result r = std::to_chars(buffer, buffer + kNumberTextMax - 1, v);
        *r.ptr = '\0';
        *outLength = static_cast<int32_t>(r.ptr - buffer);
        return true;
    }
    if (!rcExpIsTextNumber(in.type))
        return false;
    int32_t outLen = 0;
    int core = rcCnvConvertValue(&in.v, in.type, 0, 2, buffer, SQL_C_CHAR, kNumberTextMax,
                                 env->numPrecision, env->numScale, &outLen);
    if (core != kCnvCoreOk || outLen < 0 || outLen >= kNumberTextMax)
        return false;
    buffer[outLen] = '\0';
    *outLength = outLen;
    return true;
}

bool rcExpIsTextNumber(int16_t sqlType)
{
    return sqlType == SQL_SMALLINT || sqlType == SQL_INTEGER || sqlType == SQL_REAL ||
           sqlType == SQL_FLOAT || sqlType == SQL_DOUBLE;
}

bool rcExpNumberAsText(rcExpEnv *env, int16_t sqlType, const void *value, char *buffer,
                       int32_t bufferLength, int32_t *outLength)
{
    if (!rcExpIsTextNumber(sqlType))
        return false;
    rcExpValue v;
    v.type = sqlType;
    std::memcpy(&v.v, value, rcSqlTypeOf(sqlType)->valueBytes);
    return rcExpNumberTextInto(env, v, buffer, bufferLength, outLength);
}

int16_t rcExpAsText(rcExpEnv *env, const rcExpValue &in, const char **text, uint32_t *length)
{
    if (IsChar(in.type)) {
        *text = in.text;
        *length = in.length;
        return RC_EXP_OK;
    }
    rcExpValue t;
    int16_t rc = rcExpCast(env, in, SQL_VARCHAR, &t);
    if (rc < 0)
        return rc;
    *text = t.text;
    *length = t.length;
    return RC_EXP_OK;
}

int16_t rcExpResultType(int16_t a, int16_t b)
{
    if (a == RC_SQL_DECIMAL38 || b == RC_SQL_DECIMAL38)
        return RC_SQL_DECIMAL38;
    if (a == RC_SQL_SCALED64 || b == RC_SQL_SCALED64)
        return RC_SQL_SCALED64;
    if (a == SQL_DATE || b == SQL_DATE)
        return SQL_DATE;
    if (a == SQL_TIME || b == SQL_TIME)
        return SQL_TIME;
    if (a == SQL_TIMESTAMP || b == SQL_TIMESTAMP)
        return SQL_TIMESTAMP;
    return 0;
}

// Comparison after promotion: texts by the driver's collation without
// trailing blanks; date-times as timestamps (a text side is read as one);
// exact numerics exactly; integers as 64-bit integers; every other number,
// REAL included, in double precision (NaN last).
int16_t rcExpCompareValues(rcExpEnv *env, const rcExpValue &a, const rcExpValue &b, int *order)
{
    if (IsChar(a.type) && IsChar(b.type)) {
        *order = rcExpCompareText(a.text, a.length, b.text, b.length);
        return RC_EXP_OK;
    }
    if (IsBinary(a.type) || IsBinary(b.type)) {
        if (!(IsBinary(a.type) || IsChar(a.type)) || !(IsBinary(b.type) || IsChar(b.type)))
            return rcExpPost(env, RC_ENG_CANNOT_COMPARE_BINARY_DATA_TYPE);
        size_t n = a.length < b.length ? a.length : b.length;
        int c = std::memcmp(a.text, b.text, n);
        *order = c ? Sign(c) : Order(a.length, b.length);
        return RC_EXP_OK;
    }
    if (IsDateTime(a.type) || IsDateTime(b.type)) {
        TIMESTAMP_STRUCT x, y;
        if (!rcExpAsTimestamp(a, &x) || !rcExpAsTimestamp(b, &y))
            return rcExpPost(env, RC_MSG_INVALID_DATE_TIME_TIMESTAMP_VALUE);
        if (a.type == SQL_TIME || b.type == SQL_TIME) {
            x.year = y.year = 0;
            x.month = y.month = x.day = y.day = 0;
        }
        int c = rcCmpTimestamp(&x, &y);
        *order = c;
        return RC_EXP_OK;
    }
    int64_t i, j;
    if (rcExpToInt64(a, &i) && rcExpToInt64(b, &j)) {
        *order = Order(i, j);
        return RC_EXP_OK;
    }
    if (a.type == RC_SQL_DECIMAL38 || b.type == RC_SQL_DECIMAL38) {
        MultiPrecisionNumber x, y;
        rcExpValue ta = a, tb = b;
        if (IsChar(a.type) && rcExpCast(env, a, RC_SQL_DECIMAL38, &ta) < 0)
            return RC_EXP_ERROR;
        if (IsChar(b.type) && rcExpCast(env, b, RC_SQL_DECIMAL38, &tb) < 0)
            return RC_EXP_ERROR;
        if (!ToNumber(env, ta, &x) || !ToNumber(env, tb, &y))
            return rcExpPost(env, RC_ENG_INCOMPATIBLE_TYPES_PREDICATE);
        *order = rcNumOpCompare(x, y);
        return RC_EXP_OK;
    }
    double x, y;
    rcExpValue ta = a, tb = b;
    if (!rcExpIsNumericType(a.type) && rcExpCast(env, a, SQL_DOUBLE, &ta) < 0)
        return RC_EXP_ERROR;
    if (!rcExpIsNumericType(b.type) && rcExpCast(env, b, SQL_DOUBLE, &tb) < 0)
        return RC_EXP_ERROR;
    if (!rcExpToDouble(ta, &x, env->numScale) || !rcExpToDouble(tb, &y, env->numScale))
        return rcExpPost(env, RC_ENG_INCOMPATIBLE_TYPES_PREDICATE);
    // The order the sorts use: a NaN after every number and equal only to a
    // NaN, so that a filter agrees with ORDER BY and with the server's search.
    *order = rcCnvCompareDoubleExact(x, y);
    return RC_EXP_OK;
}
