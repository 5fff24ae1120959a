// RC_SQL_DECIMAL38 text scanning and its converters, and the numeric
// comparison routines of the engine's value comparison.
#include "driver/core/rcnumprivate.h"

#include "driver/core/rccnvimpl.h"

#include <cmath>
#include <cstring>

int rcNumScanText(const char *text, NumScannedText &out)
{
    out = NumScannedText{};
    CnvScannedNumber raw;
    if (rcCnvScanNumberRaw(text, raw) != kCnvOk)
        return 0;
    // The exponent must fit 16 bits and each digit run 65535 digits.
    if (raw.exponent > 32767 || raw.exponent < -32767 || raw.intCount > 65535 ||
        raw.fracCount > 65535)
        return 0;
    int32_t fracCount = raw.fracCount;
    while (fracCount > 0 && raw.fracDigits[fracCount - 1] == '0')
        --fracCount;
    int32_t lastNonZero = raw.intCount;
    while (lastNonZero > 0 && raw.intDigits[lastNonZero - 1] == '0')
        --lastNonZero;
    out.intDigits = raw.intDigits;
    out.intCount = static_cast<uint16_t>(raw.intCount);
    out.fracDigits = raw.fracDigits;
    out.fracCount = static_cast<uint16_t>(fracCount);
    out.exponent = static_cast<int16_t>(raw.exponent);
    out.negative = raw.negative;
    out.significant = static_cast<uint16_t>(fracCount > 0 ? raw.intCount + fracCount : lastNonZero);
    return 1;
}

int rcCnvTextToDecimal(const char *text, MultiPrecisionNumber &out, int32_t dstLen,
                       int16_t precision, int16_t scale)
{
    if (dstLen < static_cast<int32_t>(sizeof(MultiPrecisionNumber)))
        return kCnvOutOfRange;
    NumScannedText s;
    if (strnlen(text, 257) > 256 || rcNumScanText(text, s) == 0)
        return kCnvInvalid;
    int e = s.exponent;
    if (s.intCount > precision || (e < 1 && -e > precision) || (e >= 1 && e > precision))
        return kCnvOutOfRange;
    int result = kCnvOk;
    int kept = s.fracCount;
    if (kept > scale) {
        kept = scale > 0 ? scale : 0;
        result = kCnvTruncated;
    }
    char digits[512];
    std::memcpy(digits, s.intDigits != nullptr ? s.intDigits : "", s.intCount);
    if (kept > 0)
        std::memcpy(digits + s.intCount, s.fracDigits, static_cast<size_t>(kept));
    MultiPrecisionNumber v;
    rcNumFromText(v, s.intCount + kept, e - kept, digits);
    if (!rcNumIsValid(v))
        return kCnvOutOfRange;
    if (s.negative)
        rcNumNegate(v);
    out = v;
    return result;
}

int rcCnvPrivateToChar(const MultiPrecisionNumber &value, char *out, int32_t L, int32_t *outLen)
{
    // A value whose status records an overflow has no digits to show.
    if (!rcNumIsValid(value))
        return kCnvOutOfRange;
    if (L > 512)
        L = 512;
    char digits[129];
    rcNumToText(value, 128, value.exponent, digits);
    digits[128] = '\0';
    const char *d = digits;
    while (*d == '0')
        ++d;
    const int n = static_cast<int>(digits + 128 - d);
    const int e = value.exponent;
    if (n == 0) {
        if (L < 2)
            return kCnvOutOfRange;
        std::memcpy(out, "0", 2);
        *outLen = 1;
        return kCnvOk;
    }
    char *p = out;
    bool negative = rcNumSign(value) == kNumNegative;
    if (negative)
        --L;
    int result = kCnvOk;
    int len;
    if (e == 0) {
        if (L <= n)
            return kCnvOutOfRange;
        len = n;
    } else if (e > 0) {
        if (L <= n + e)
            return kCnvOutOfRange;
        len = n + e;
    } else if (-e <= n) {
        int before = n + e;
        if ((before > 0 && L <= before) || (before == 0 && L < 4))
            return kCnvOutOfRange;
        if (L < before + 3) {
            len = before;
            result = kCnvTruncated;
        } else {
            int room = L - 1 - (before + 1);
            int after = n - before < room ? n - before : room;
            len = before + 1 + after;
            if (L <= n + 1)
                result = kCnvTruncated;
        }
    } else {
        if (L <= n + (-e - n) + 2)
            return kCnvOutOfRange;
        len = 1 + (-e - n) + n;
    }
    if (negative)
        *p++ = '-';
    if (e >= 0) {
        std::memcpy(p, d, static_cast<size_t>(n));
        std::memset(p + n, '0', static_cast<size_t>(len - n));
    } else if (-e <= n) {
        int before = n + e;
        std::memcpy(p, d, static_cast<size_t>(before));
        if (len > before) {
            p[before] = '.';
            std::memcpy(p + before + 1, d + before, static_cast<size_t>(len - before - 1));
        }
    } else {
        p[0] = '.';
        std::memset(p + 1, '0', static_cast<size_t>(-e - n));
        std::memcpy(p + 1 + (-e - n), d, static_cast<size_t>(n));
    }
    p[len] = '\0';
    *outLen = len + (negative ? 1 : 0);
    return result;
}

namespace {

MultiPrecisionNumber loadDecimal(const void *src)
{
    MultiPrecisionNumber v;
    std::memcpy(&v, src, sizeof v);
    return v;
}

} // namespace

RC_CNV_CONVERTER(rcNumToCharConv)
{
    (void)srcClass, (void)srcLen, (void)dstClass, (void)precision, (void)scale;
    return rcCnvPrivateToChar(loadDecimal(src), static_cast<char *>(dst), dstLen, outLen);
}

RC_CNV_CONVERTER(rcNumFromCharConv)
{
    (void)srcClass, (void)srcLen, (void)dstClass;
    MultiPrecisionNumber v;
    int rc = rcCnvTextToDecimal(static_cast<const char *>(src), v, dstLen, precision, scale);
    if (rc == kCnvOk || rc == kCnvTruncated) {
        std::memcpy(dst, &v, sizeof v);
        *outLen = sizeof v;
    }
    return rc;
}

RC_CNV_CONVERTER(rcCnvFromPrivate)
{
    (void)srcClass, (void)srcLen, (void)dstLen, (void)precision, (void)scale;
    MultiPrecisionNumber v = loadDecimal(src);
    int32_t i = 0;
    uint32_t u = 0;
    if (dstClass == RC_SQL_DECIMAL38) {
        std::memcpy(dst, &v, sizeof v);
        *outLen = sizeof v;
        return kCnvOk;
    }
    // An overflowed value (status set) is out of range for every C type.
    if (!rcNumIsValid(v) && dstClass >= kClsBit && dstClass <= kClsDouble)
        return kCnvOutOfRange;
    switch (dstClass) {
    case kClsBit:
    case kClsSTiny:
    case kClsSShort:
    case kClsSLong: {
        if (!rcNumToInt32(v, i))
            return kCnvOutOfRange;
        int width = dstClass == kClsSLong ? 4 : (dstClass == kClsSShort ? 2 : 1);
        bool fits = dstClass == kClsBit      ? (i == 0 || i == 1)
                    : dstClass == kClsSTiny  ? (i >= -128 && i <= 127)
                    : dstClass == kClsSShort ? (i >= -32768 && i <= 32767)
                                             : true;
        if (!fits)
            return kCnvOutOfRange;
        if (width == 1) {
            int8_t b = static_cast<int8_t>(i);
            std::memcpy(dst, &b, 1);
        } else if (width == 2) {
            int16_t s = static_cast<int16_t>(i);
            std::memcpy(dst, &s, 2);
        } else {
            std::memcpy(dst, &i, 4);
        }
        *outLen = width;
        return kCnvOk;
    }
    case kClsUTiny:
    case kClsUShort:
    case kClsULong: {
        if (!rcNumToUInt32(v, u))
            return kCnvOutOfRange;
        if ((dstClass == kClsUTiny && u > 255) || (dstClass == kClsUShort && u > 65535))
            return kCnvOutOfRange;
        if (dstClass == kClsUTiny) {
            uint8_t b = static_cast<uint8_t>(u);
            std::memcpy(dst, &b, 1);
            *outLen = 1;
        } else if (dstClass == kClsUShort) {
            uint16_t s = static_cast<uint16_t>(u);
            std::memcpy(dst, &s, 2);
            *outLen = 2;
        } else {
            std::memcpy(dst, &u, 4);
            *outLen = 4;
        }
        return kCnvOk;
    }
    case kClsReal: {
        float f;
        rcNumToFloat(v, f);
        std::memcpy(dst, &f, 4);
        *outLen = 4;
        return kCnvOk;
    }
    case kClsDouble: {
        double d;
        rcNumToDouble(v, d);
        std::memcpy(dst, &d, 8);
        *outLen = 8;
        return kCnvOk;
    }
    default: return kCnvOk;
    }
}

RC_CNV_CONVERTER(rcCnvToPrivate)
{
    (void)srcLen, (void)dstClass, (void)dstLen, (void)precision, (void)scale;
    MultiPrecisionNumber v;
    switch (srcClass) {
    case kClsBit: {
        uint8_t b;
        std::memcpy(&b, src, 1);
        rcNumFromInt32(v, 0, b & 1);
        break;
    }
    case kClsSTiny: {
        int8_t b;
        std::memcpy(&b, src, 1);
        rcNumFromInt32(v, 0, b);
        break;
    }
    case kClsUTiny: {
        uint8_t b;
        std::memcpy(&b, src, 1);
        rcNumFromInt32(v, 0, b);
        break;
    }
    case kClsSShort: {
        int16_t s;
        std::memcpy(&s, src, 2);
        rcNumFromInt32(v, 0, s);
        break;
    }
    case kClsUShort: {
        uint16_t s;
        std::memcpy(&s, src, 2);
        rcNumFromInt32(v, 0, s);
        break;
    }
    case kClsSLong: {
        int32_t l;
        std::memcpy(&l, src, 4);
        rcNumFromInt32(v, 0, l);
        break;
    }
    case kClsULong: {
        uint32_t l;
        std::memcpy(&l, src, 4);
        rcNumFromUInt32(v, 0, l);
        break;
    }
    case kClsReal: {
        float f;
        std::memcpy(&f, src, 4);
        rcNumFromFloat(v, f);
        break;
    }
    case kClsDouble: {
        double d;
        std::memcpy(&d, src, 8);
        rcNumFromDouble(v, d);
        break;
    }
    case RC_SQL_DECIMAL38: v = loadDecimal(src); break;
    default: return kCnvInvalid;
    }
    if (!rcNumIsValid(v))
        return kCnvOutOfRange;
    std::memcpy(dst, &v, sizeof v);
    *outLen = sizeof v;
    return kCnvOk;
}

int rcCnvCompareDouble(double a, double b)
{
    constexpr double kEpsilon = 2.220446049250313e-16;
    if (a == b || std::fabs(a - b) <= kEpsilon)
        return 0;
    return a < b ? -1 : 1;
}

int rcCnvCompareReal(float a, float b)
{
    constexpr double kEpsilon = 1.1920928955078125e-7;
    double x = a, y = b;
    if (x == y || std::fabs(x - y) <= kEpsilon)
        return 0;
    return x < y ? -1 : 1;
}

int rcCnvCompareDoubleExact(double a, double b)
{
    bool na = std::isnan(a), nb = std::isnan(b);
    if (na || nb)
        return na == nb ? 0 : (na ? 1 : -1);
    return a < b ? -1 : (a > b ? 1 : 0);
}

int rcCnvCompareInt64(const void *a, const void *b)
{
    int64_t x, y;
    std::memcpy(&x, a, 8);
    std::memcpy(&y, b, 8);
    return x < y ? -1 : (x > y ? 1 : 0);
}

namespace {

int impliedScale(int16_t scale) { return scale < 0 ? 0 : (scale > 18 ? 18 : scale); }

} // namespace

RC_CNV_CONVERTER(rcCnvScaledToAny)
{
    (void)srcClass, (void)srcLen;
    int64_t v;
    std::memcpy(&v, src, sizeof v);
    if (dstClass == RC_SQL_SCALED64) {
        std::memcpy(dst, &v, sizeof v);
        *outLen = sizeof v;
        return kCnvOk;
    }
    MultiPrecisionNumber m;
    rcNumFromInt64(m, -impliedScale(scale), v);
    if (dstClass == kClsChar)
        return rcCnvPrivateToChar(m, static_cast<char *>(dst), dstLen, outLen);
    return rcCnvFromPrivate(&m, RC_SQL_DECIMAL38, sizeof m, dst, dstClass, dstLen, precision, scale,
                            outLen);
}

RC_CNV_CONVERTER(rcCnvAnyToScaled)
{
    (void)dstClass, (void)dstLen;
    const int s = impliedScale(scale);
    MultiPrecisionNumber m;
    int rc = kCnvOk;
    if (srcClass == kClsChar) {
        rc = rcCnvTextToDecimal(static_cast<const char *>(src), m, sizeof m, 38,
                                static_cast<int16_t>(s));
        if (rc != kCnvOk && rc != kCnvTruncated)
            return rc;
    } else {
        int32_t len = 0;
        int r = rcCnvToPrivate(src, srcClass, srcLen, &m, RC_SQL_DECIMAL38, sizeof m, precision,
                               scale, &len);
        if (r != kCnvOk)
            return r;
    }
    // Digits finer than the implied scale are dropped.
    MultiPrecisionNumber t = m;
    rcNumSetExponent(t, -s);
    // The stored integer is the value's digits at exponent -s.
    MultiPrecisionNumber unscaled = t;
    unscaled.exponent = 0;
    int64_t v;
    if (!rcNumIsValid(t) || !rcNumToInt64(unscaled, v))
        return kCnvOutOfRange;
    if (rc == kCnvOk && rcNumCompare(t, m) != 2)
        rc = kCnvTruncated;
    std::memcpy(dst, &v, sizeof v);
    *outLen = sizeof v;
    return rc;
}
