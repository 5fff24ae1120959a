// Number text for the conversion core: scanning decimal text, laying it out
// as numeric text with precision and scale, reading it as a double or a
// 32-bit integer, and formatting integers and doubles as text.
//
// Everything is locale-independent: std::from_chars / std::to_chars, with
// fixed output forms ("%.15g"-style general notation for doubles, "1E999"
// and "-1E999" for the infinities).
#include "platform/strings.h"
#include "driver/core/rccnvimpl.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr int32_t kExponentLimit = 100000000;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Writes text into a destination of length L, keeping room for the
// terminator, and counts the full length.
struct Sink {
    char *dst;
    int64_t cap; // characters that may be stored (L - 1, or 0)
    int64_t len = 0;

    void put(char c)
    {
        if (len < cap)
            dst[len] = c;
        ++len;
    }
    void fill(char c, int64_t n)
    {
        for (int64_t i = 0; i < n; ++i)
            put(c);
    }
    void finish(int32_t L)
    {
        if (L > 0)
            dst[len < cap ? len : cap] = '\0';
    }
};

char digitAt(const CnvScannedNumber &s, int64_t i)
{
    return i < s.intCount ? s.intDigits[i] : s.fracDigits[i - s.intCount];
}

} // namespace

int rcCnvScanNumberRaw(const char *text, CnvScannedNumber &s)
{
    s = CnvScannedNumber{};
    int state = 0;
    bool signSeen = false, mantissaDigit = false, expDigit = false, expSign = false, expNeg = false;
    int64_t exp = 0;
    for (const char *p = text; *p != '\0'; ++p) {
        char c = *p;
        if (c == ' ') {
            if (state == 0)
                continue;
            if (state == 4 && !expDigit)
                return kCnvInvalid;
            state = 5;
        } else if (c == '+' || c == '-') {
            if (state == 0 && !signSeen) {
                signSeen = true;
                s.negative = c == '-';
            } else if (state == 4 && !expDigit && !expSign) {
                expSign = true;
                expNeg = c == '-';
            } else {
                return kCnvInvalid;
            }
        } else if (c == '.') {
            if (state > 2)
                return kCnvInvalid;
            state = 3;
            s.fracDigits = p + 1;
        } else if (isDigit(c)) {
            switch (state) {
            case 0:
            case 1:
                mantissaDigit = true;
                if (c == '0') {
                    state = 1;
                } else {
                    state = 2;
                    s.intDigits = p;
                    s.intCount = 1;
                }
                break;
            case 2: ++s.intCount; break;
            case 3:
                mantissaDigit = true;
                ++s.fracCount;
                break;
            case 4:
                expDigit = true;
                exp = exp * 10 + (c - '0');
                if (exp > kExponentLimit)
                    exp = kExponentLimit;
                break;
            default: return kCnvInvalid;
            }
        } else if (c == 'E' || c == 'e') {
            if (state < 1 || state > 3 || !mantissaDigit)
                return kCnvInvalid;
            state = 4;
        } else {
            return kCnvInvalid;
        }
    }
    if (!mantissaDigit || (state == 4 && !expDigit))
        return kCnvInvalid;
    s.exponent = static_cast<int32_t>(expNeg ? -exp : exp);
    return kCnvOk;
}

int rcCnvScanNumber(const char *text, CnvScannedNumber &s)
{
    if (rcCnvScanNumberRaw(text, s) != kCnvOk)
        return kCnvInvalid;
    while (s.fracCount > 0 && s.fracDigits[s.fracCount - 1] == '0')
        --s.fracCount;
    if (s.fracCount == 0) {
        while (s.intCount > 0 && s.intDigits[s.intCount - 1] == '0') {
            --s.intCount;
            if (s.exponent < kExponentLimit)
                ++s.exponent;
        }
    }
    return kCnvOk;
}

bool rcCnvIsBlankTail(const char *p)
{
    if (*p == '.') {
        for (++p; *p == ' ' || *p == '0'; ++p) {}
        return *p == '\0';
    }
    while (*p == ' ')
        ++p;
    return *p == '\0';
}

int rcCnvTextToNumericText(const char *text, char *dst, int32_t L, int16_t precision, int16_t scale,
                           int32_t *outLen)
{
    CnvScannedNumber s;
    if (rcCnvScanNumber(text, s) != kCnvOk)
        return kCnvInvalid;
    const int64_t n = static_cast<int64_t>(s.intCount) + s.fracCount;
    const int64_t I = static_cast<int64_t>(s.exponent) + s.intCount;
    const int64_t P = precision, S = scale;
    int result = kCnvOk;
    // The range test comes before anything is stored; the destination must
    // hold the sign and the integer digits.
    const bool intDigits = I != 0 && ((S >= 1 && I >= 0) || (S < 1 && I + S >= 0));
    const int64_t sign = s.negative && n > 0 ? 1 : 0;
    if (intDigits && (I > P - (S > 0 ? S : 0) || L == 0 || (L > 0 && sign + I > L - 1)))
        return kCnvOutOfRange;
    Sink out{dst, L > 0 ? L - 1 : 0};
    if (s.negative && n > 0)
        out.put('-');
    int64_t used = 0; // digits of D written
    if (intDigits) {
        used = I < n ? I : n;
        for (int64_t i = 0; i < used; ++i)
            out.put(digitAt(s, i));
        out.fill('0', I - used);
    } else {
        out.put('0');
    }
    if (S > 0) {
        if (I < 0 && -I <= S) {
            int64_t take = n < S + I ? n : S + I;
            out.put('.');
            out.fill('0', -I);
            for (int64_t i = 0; i < take; ++i)
                out.put(digitAt(s, i));
            out.fill('0', S + I - take);
            used = take;
        } else if (I >= 0) {
            int64_t rest = n - used;
            int64_t take = rest < S ? rest : S;
            if (take > 0)
                out.put('.');
            for (int64_t i = 0; i < take; ++i)
                out.put(digitAt(s, used + i));
            used += take;
        }
    }
    if (used < n && result == kCnvOk)
        result = kCnvTruncated;
    if (out.len > out.cap)
        result = kCnvTruncated;
    out.finish(L);
    *outLen = static_cast<int32_t>(out.len);
    return result;
}

int rcCnvTextToDouble(const char *text, double &out)
{
    CnvScannedNumber s;
    if (rcCnvScanNumber(text, s) != kCnvOk)
        return kCnvInvalid;
    if (PlatAsciiCaseCompare(text, "1E999") == 0 || PlatAsciiCaseCompare(text, "-1E999") == 0) {
        out = s.negative ? -HUGE_VAL : HUGE_VAL;
        return kCnvOk;
    }
    const char *p = text;
    while (*p == ' ' || *p == '+' || *p == '-')
        ++p;
    const char *end = p + std::strlen(p);
    double v = 0.0;
    auto res = std::from_chars(p, end, v, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) {
        // Below the smallest double the value is 0; above the largest it does not fit.
        if (static_cast<int64_t>(s.exponent) + s.intCount > 0)
            return kCnvOutOfRange;
        v = 0.0;
    } else if (res.ec != std::errc() || !rcCnvIsBlankTail(res.ptr)) {
        return kCnvInvalid;
    }
    out = s.negative ? -v : v;
    return kCnvOk;
}

namespace {

// The number truncated toward zero as a magnitude of up to 10 digits;
// `dropped` tells whether non-zero digits were cut.
int truncatedInteger(const char *text, bool &negative, uint64_t &mag, bool &dropped)
{
    CnvScannedNumber s;
    if (rcCnvScanNumber(text, s) != kCnvOk)
        return kCnvInvalid;
    const int64_t n = static_cast<int64_t>(s.intCount) + s.fracCount;
    const int64_t I = static_cast<int64_t>(s.exponent) + s.intCount;
    negative = s.negative && n > 0;
    mag = 0;
    if (I > 10)
        return kCnvOutOfRange;
    int64_t take = I < 0 ? 0 : (I < n ? I : n);
    for (int64_t i = 0; i < take; ++i)
        mag = mag * 10 + static_cast<uint64_t>(digitAt(s, i) - '0');
    for (int64_t i = take; i < I; ++i)
        mag *= 10;
    dropped = take < n;
    return kCnvOk;
}

} // namespace

int rcCnvTextToLong(const char *text, int32_t &out)
{
    bool negative, dropped;
    uint64_t mag;
    int rc = truncatedInteger(text, negative, mag, dropped);
    if (rc != kCnvOk)
        return rc;
    if (negative ? mag > 2147483648ull : mag > 2147483647ull)
        return kCnvOutOfRange;
    out = negative ? static_cast<int32_t>(-static_cast<int64_t>(mag)) : static_cast<int32_t>(mag);
    return dropped ? kCnvTruncated : kCnvOk;
}

int rcCnvTextToULong(const char *text, uint32_t &out)
{
    bool negative, dropped;
    uint64_t mag;
    int rc = truncatedInteger(text, negative, mag, dropped);
    if (rc != kCnvOk)
        return rc;
    if (negative || mag > 0xFFFFFFFFull)
        return kCnvOutOfRange;
    out = static_cast<uint32_t>(mag);
    return dropped ? kCnvTruncated : kCnvOk;
}

int rcCnvDoubleToText(double v, char *dst, int32_t L, int digits, int32_t *outLen)
{
    char text[64];
    int n;
    if (std::isinf(v)) {
        const char *inf = v > 0 ? "1E999" : "-1E999";
        n = static_cast<int>(std::strlen(inf));
        if (L <= n)
            return kCnvOutOfRange;
        std::memcpy(dst, inf, static_cast<size_t>(n) + 1);
        *outLen = n;
        return kCnvOk;
    }
    if (std::isnan(v))
        return kCnvOutOfRange;
    auto res = std::to_chars(text, text + sizeof text, v, std::chars_format::general, digits);
    n = static_cast<int>(res.ptr - text);
    if (n > 0 && text[n - 1] == '.')
        --n;
    text[n] = '\0';
    const char *point = std::strchr(text, '.');
    int protect = (std::strchr(text, 'e') != nullptr || point == nullptr)
                      ? n
                      : static_cast<int>(point - text);
    if (L <= protect)
        return kCnvOutOfRange;
    *outLen = n;
    if (n < L) {
        std::memcpy(dst, text, static_cast<size_t>(n) + 1);
        return kCnvOk;
    }
    std::memcpy(dst, text, static_cast<size_t>(L) - 1);
    dst[L - 1] = '\0';
    return kCnvTruncated;
}

int rcCnvLongToText(int32_t v, char *dst, int32_t L, int32_t digitLimit, int32_t *outLen)
{
    char text[16];
    auto res = std::to_chars(text, text + sizeof text, v);
    int32_t n = static_cast<int32_t>(res.ptr - text);
    if (n >= L || n > digitLimit + (v < 0 ? 1 : 0))
        return kCnvOutOfRange;
    std::memcpy(dst, text, static_cast<size_t>(n));
    dst[n] = '\0';
    *outLen = n;
    return kCnvOk;
}

int rcCnvULongToText(uint32_t v, char *dst, int32_t L, int32_t digitLimit, int32_t *outLen)
{
    char text[16];
    auto res = std::to_chars(text, text + sizeof text, v);
    int32_t n = static_cast<int32_t>(res.ptr - text);
    if (n >= L || n > digitLimit)
        return kCnvOutOfRange;
    std::memcpy(dst, text, static_cast<size_t>(n));
    dst[n] = '\0';
    *outLen = n;
    return kCnvOk;
}
