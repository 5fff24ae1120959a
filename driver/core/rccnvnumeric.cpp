// Converters between the character, numeric-text, bit, integer, real,
// double and binary classes.
//
// The numeric classes are read into one of two carriers (a 64-bit integer
// or a double) and written out with the target's range test, so every
// numeric cell shares one path. A failing range test stores nothing.
#include "driver/core/rccnvimpl.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

constexpr double kDoubleEpsilon = 2.220446049250313e-16;
constexpr double kRealEpsilon = 1.1920928955078125e-7;

bool isIntegerClass(int c) { return c >= kClsSTiny && c <= kClsULong; }
bool isUnsignedClass(int c) { return c == kClsUTiny || c == kClsUShort || c == kClsULong; }
bool isFloatClass(int c) { return c == kClsReal || c == kClsDouble; }

int classWidth(int c)
{
    switch (c) {
    case kClsBit:
    case kClsSTiny:
    case kClsUTiny: return 1;
    case kClsSShort:
    case kClsUShort: return 2;
    case kClsSLong:
    case kClsULong:
    case kClsReal: return 4;
    case kClsDouble: return 8;
    default: return 0;
    }
}

int64_t readInteger(const void *src, int cls)
{
    switch (cls) {
    case kClsBit:
    case kClsUTiny: {
        uint8_t v;
        std::memcpy(&v, src, 1);
        return v;
    }
    case kClsSTiny: {
        int8_t v;
        std::memcpy(&v, src, 1);
        return v;
    }
    case kClsSShort: {
        int16_t v;
        std::memcpy(&v, src, 2);
        return v;
    }
    case kClsUShort: {
        uint16_t v;
        std::memcpy(&v, src, 2);
        return v;
    }
    case kClsSLong: {
        int32_t v;
        std::memcpy(&v, src, 4);
        return v;
    }
    default: {
        uint32_t v;
        std::memcpy(&v, src, 4);
        return v;
    }
    }
}

double readFloat(const void *src, int cls)
{
    if (cls == kClsReal) {
        float f;
        std::memcpy(&f, src, 4);
        return f;
    }
    double d;
    std::memcpy(&d, src, 8);
    return d;
}

bool integerFits(int64_t v, int cls)
{
    switch (cls) {
    case kClsBit: return v == 0 || v == 1;
    case kClsSTiny: return v >= -128 && v <= 127;
    case kClsUTiny: return v >= 0 && v <= 255;
    case kClsSShort: return v >= -32768 && v <= 32767;
    case kClsUShort: return v >= 0 && v <= 65535;
    case kClsSLong: return v >= INT32_MIN && v <= INT32_MAX;
    case kClsULong: return v >= 0 && v <= UINT32_MAX;
    default: return false;
    }
}

// Stores an integer already known to fit the class.
void storeInteger(int64_t v, void *dst, int cls, int32_t *outLen)
{
    switch (cls) {
    case kClsBit:
    case kClsSTiny:
    case kClsUTiny: {
        uint8_t b = static_cast<uint8_t>(v);
        std::memcpy(dst, &b, 1);
        break;
    }
    case kClsSShort:
    case kClsUShort: {
        uint16_t s = static_cast<uint16_t>(v);
        std::memcpy(dst, &s, 2);
        break;
    }
    default: {
        uint32_t l = static_cast<uint32_t>(v);
        std::memcpy(dst, &l, 4);
        break;
    }
    }
    *outLen = classWidth(cls);
}

int storeFloat(double v, void *dst, int cls, int32_t *outLen)
{
    if (cls == kClsReal) {
        if (!std::isinf(v) && std::fabs(v) > 3.4028234663852886e38)
            return kCnvOutOfRange;
        float f = static_cast<float>(v);
        std::memcpy(dst, &f, 4);
        *outLen = 4;
    } else {
        std::memcpy(dst, &v, 8);
        *outLen = 8;
    }
    return kCnvOk;
}

// A double into an integer class, truncating toward zero.
int doubleToInteger(double v, int srcCls, void *dst, int dstCls, int32_t *outLen)
{
    if (std::isnan(v))
        return kCnvOutOfRange;
    if (dstCls == kClsBit) {
        if (v < 0 || v >= 2)
            return kCnvOutOfRange;
        double eps = srcCls == kClsReal ? kRealEpsilon : kDoubleEpsilon;
        storeInteger(static_cast<int64_t>(v), dst, dstCls, outLen);
        return (std::fabs(v) <= eps || std::fabs(v - 1.0) <= eps) ? kCnvOk : kCnvTruncated;
    }
    if (isUnsignedClass(dstCls) && v < 0)
        return kCnvOutOfRange;
    double t = std::trunc(v);
    if (t < -2147483648.0 || t > 4294967295.0)
        return kCnvOutOfRange;
    int64_t i = static_cast<int64_t>(t);
    if (!integerFits(i, dstCls))
        return kCnvOutOfRange;
    storeInteger(i, dst, dstCls, outLen);
    return t != v ? kCnvTruncated : kCnvOk;
}

} // namespace

RC_CNV_CONVERTER(rcCnvCharCopy)
{
    (void)srcClass, (void)dstClass, (void)precision, (void)scale;
    // The core hands over the text length, or SQL_NTS for terminated text.
    const char *text = static_cast<const char *>(src);
    size_t n = srcLen >= 0 ? static_cast<size_t>(srcLen) : std::strlen(text);
    char *out = static_cast<char *>(dst);
    *outLen = static_cast<int32_t>(n);
    if (static_cast<int64_t>(n) < dstLen) {
        std::memcpy(out, text, n);
        out[n] = '\0';
        return kCnvOk;
    }
    if (dstLen > 0) {
        std::memcpy(out, text, static_cast<size_t>(dstLen) - 1);
        out[dstLen - 1] = '\0';
    }
    return kCnvTruncated;
}

RC_CNV_CONVERTER(rcCnvNumericTextToChar)
{
    // Only fraction digits may be cut: a destination that cannot hold the
    // sign and the integer digits is out of range, as for a double. A length
    // of 0 still only reports the length.
    const char *text = static_cast<const char *>(src);
    size_t n = srcLen >= 0 ? static_cast<size_t>(srcLen) : std::strlen(text);
    if (dstLen > 0) {
        const void *point = std::memchr(text, '.', n);
        bool exponent =
            std::memchr(text, 'e', n) != nullptr || std::memchr(text, 'E', n) != nullptr;
        size_t protect = point != nullptr && !exponent
                             ? static_cast<size_t>(static_cast<const char *>(point) - text)
                             : n;
        if (static_cast<int64_t>(protect) >= dstLen)
            return kCnvOutOfRange;
    }
    return rcCnvCharCopy(src, srcClass, static_cast<int32_t>(n), dst, dstClass, dstLen, precision,
                         scale, outLen);
}

RC_CNV_CONVERTER(rcCnvTextToNumericTextConv)
{
    (void)srcClass, (void)srcLen, (void)dstClass;
    return rcCnvTextToNumericText(static_cast<const char *>(src), static_cast<char *>(dst), dstLen,
                                  precision, scale, outLen);
}

RC_CNV_CONVERTER(rcCnvTextToNumber)
{
    (void)srcClass, (void)srcLen, (void)dstLen, (void)precision, (void)scale;
    const char *text = static_cast<const char *>(src);
    if (dstClass == kClsBit) {
        double v;
        int rc = rcCnvTextToDouble(text, v);
        if (rc != kCnvOk)
            return rc;
        if (!(v >= 0 && v < 2))
            return kCnvOutOfRange;
        storeInteger(static_cast<int64_t>(v), dst, dstClass, outLen);
        return (v == 0 || v == 1) ? kCnvOk : kCnvTruncated;
    }
    if (isFloatClass(dstClass)) {
        double v;
        int rc = rcCnvTextToDouble(text, v);
        if (rc != kCnvOk)
            return rc;
        return storeFloat(v, dst, dstClass, outLen);
    }
    int64_t v;
    int rc;
    if (isUnsignedClass(dstClass)) {
        uint32_t u;
        rc = rcCnvTextToULong(text, u);
        v = u;
    } else {
        int32_t s;
        rc = rcCnvTextToLong(text, s);
        v = s;
    }
    if (rc != kCnvOk && rc != kCnvTruncated)
        return rc;
    if (!integerFits(v, dstClass))
        return kCnvOutOfRange;
    storeInteger(v, dst, dstClass, outLen);
    return rc;
}

RC_CNV_CONVERTER(rcCnvHexToBinary)
{
    (void)srcClass, (void)srcLen, (void)dstClass, (void)precision, (void)scale;
    const char *text = static_cast<const char *>(src);
    size_t n = std::strlen(text);
    auto hexValue = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    for (size_t i = 0; i < n; ++i)
        if (hexValue(text[i]) < 0)
            return kCnvInvalid;
    size_t pairs = n / 2;
    size_t room = dstLen > 0 ? static_cast<size_t>(dstLen) : 0;
    size_t stored = pairs < room ? pairs : room;
    uint8_t *out = static_cast<uint8_t *>(dst);
    for (size_t i = 0; i < stored; ++i)
        out[i] = static_cast<uint8_t>(hexValue(text[2 * i]) << 4 | hexValue(text[2 * i + 1]));
    *outLen = static_cast<int32_t>(stored);
    return pairs > room ? kCnvTruncated : kCnvOk;
}

RC_CNV_CONVERTER(rcCnvNumberToText)
{
    (void)srcLen, (void)scale;
    char *out = static_cast<char *>(dst);
    if (srcClass == kClsBit) {
        if (dstLen < 2)
            return kCnvOutOfRange;
        uint8_t b;
        std::memcpy(&b, src, 1);
        out[0] = b != 0 ? '1' : '0';
        out[1] = '\0';
        *outLen = 1;
        return kCnvOk;
    }
    int32_t limit = dstClass == kClsChar ? dstLen : precision;
    if (isIntegerClass(srcClass)) {
        int64_t v = readInteger(src, srcClass);
        if (srcClass == kClsULong)
            return rcCnvULongToText(static_cast<uint32_t>(v), out, dstLen, limit, outLen);
        return rcCnvLongToText(static_cast<int32_t>(v), out, dstLen, limit, outLen);
    }
    double v = readFloat(src, srcClass);
    int digits = srcClass == kClsReal ? 7 : 15;
    if (dstClass == kClsChar)
        return rcCnvDoubleToText(v, out, dstLen, digits, outLen);
    char text[64];
    auto res = std::to_chars(text, text + sizeof text - 1, v, std::chars_format::general, digits);
    *res.ptr = '\0';
    return rcCnvTextToNumericText(text, out, dstLen, precision, scale, outLen);
}

RC_CNV_CONVERTER(rcCnvNumberToNumber)
{
    (void)srcLen, (void)dstLen, (void)precision, (void)scale;
    if (isFloatClass(srcClass)) {
        double v = readFloat(src, srcClass);
        if (isFloatClass(dstClass))
            return storeFloat(v, dst, dstClass, outLen);
        return doubleToInteger(v, srcClass, dst, dstClass, outLen);
    }
    int64_t v = readInteger(src, srcClass);
    if (srcClass == kClsBit && !isFloatClass(dstClass)) {
        // Bit values are copied as bytes into the byte classes, zero-extended into wider ones.
        storeInteger(v, dst, dstClass, outLen);
        return kCnvOk;
    }
    if (isFloatClass(dstClass))
        return storeFloat(static_cast<double>(v), dst, dstClass, outLen);
    if (!integerFits(v, dstClass))
        return kCnvOutOfRange;
    storeInteger(v, dst, dstClass, outLen);
    return kCnvOk;
}

RC_CNV_CONVERTER(rcCnvNumberToBinary)
{
    (void)srcLen, (void)dstClass, (void)precision, (void)scale;
    int width = classWidth(srcClass);
    if (dstLen < width)
        return kCnvOutOfRange;
    std::memcpy(dst, src, static_cast<size_t>(width));
    *outLen = width;
    return kCnvOk;
}

RC_CNV_CONVERTER(rcCnvBinaryToHex)
{
    (void)srcClass, (void)dstClass, (void)precision, (void)scale;
    static constexpr char kHex[] = "0123456789ABCDEF";
    const uint8_t *bytes = static_cast<const uint8_t *>(src);
    char *out = static_cast<char *>(dst);
    int64_t n = srcLen > 0 ? srcLen : 0;
    int64_t i = 0;
    for (; i < n && 2 * (i + 1) < dstLen; ++i) {
        out[2 * i] = kHex[bytes[i] >> 4];
        out[2 * i + 1] = kHex[bytes[i] & 0x0F];
    }
    if (dstLen > 0)
        out[2 * i] = '\0';
    *outLen = static_cast<int32_t>(2 * n);
    return (n == 0 || 2 * n < dstLen) ? kCnvOk : kCnvTruncated;
}

RC_CNV_CONVERTER(rcCnvBinaryToNumericText)
{
    (void)srcClass, (void)dstClass;
    // The bytes are read as text up to a NUL or the source length.
    char text[512];
    const char *bytes = static_cast<const char *>(src);
    int32_t n = 0;
    while (n < srcLen && bytes[n] != '\0') {
        if (n == static_cast<int32_t>(sizeof text) - 1)
            return kCnvInvalid;
        text[n] = bytes[n];
        ++n;
    }
    text[n] = '\0';
    return rcCnvTextToNumericText(text, static_cast<char *>(dst), dstLen, precision, scale, outLen);
}

RC_CNV_CONVERTER(rcCnvBinaryToNumber)
{
    (void)srcClass, (void)dstLen, (void)precision, (void)scale;
    int width = classWidth(dstClass);
    if (srcLen < width)
        return kCnvInvalid;
    std::memcpy(dst, src, static_cast<size_t>(width));
    *outLen = width;
    return kCnvOk;
}

RC_CNV_CONVERTER(rcCnvBinaryCopy)
{
    (void)srcClass, (void)dstClass, (void)precision, (void)scale;
    int32_t n = srcLen > 0 ? srcLen : 0;
    int32_t room = dstLen > 0 ? dstLen : 0;
    if (n > 0 && room > 0)
        std::memcpy(dst, src, static_cast<size_t>(n < room ? n : room));
    *outLen = n;
    return n > room ? kCnvTruncated : kCnvOk;
}
