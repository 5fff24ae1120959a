// Exact numerics: conversions between MultiPrecisionNumber and digit text,
// 32-bit integers and IEEE doubles and singles.
//
// Doubles go out through their decimal digits and std::from_chars, which
// rounds correctly to nearest; doubles come in exactly (mantissa x 2^k is
// expanded into decimal digits), keeping as many leading digits as 16 words
// hold. Nothing here depends on the C locale.
#include "driver/core/rcnum.h"

#include "driver/core/rcnumimpl.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

using rcnum::Big;
using rcnum::Unpacked;

void rcNumFromText(MultiPrecisionNumber &a, int count, int exponent, const char *digits)
{
    int i = 0;
    while (i < count && (digits[i] & 0x0F) == 0)
        ++i;
    Unpacked u;
    u.exp = exponent;
    u.mag.setZero();
    while (i < count) {
        uint32_t group = 0, scale = 1;
        for (int j = 0; j < 9 && i < count; ++j, ++i) {
            uint32_t d = static_cast<uint32_t>(digits[i] & 0x0F);
            group = group * 10 + (d > 9 ? 9 : d);
            scale *= 10;
        }
        if (!u.mag.mulAdd(scale, group) || u.mag.bitLength() > 241) {
            rcNumSetOverflow(a);
            return;
        }
    }
    rcnum::pack(u, a);
}

namespace {

// Writes the decimal digits of `mag` right to left ending at `end`, at most
// `room` of them; returns the number written.
int writeDigits(Big mag, char *end, int room)
{
    int written = 0;
    while (!mag.isZero() && written < room) {
        uint32_t group = mag.divSmall(1000000000);
        bool last = mag.isZero();
        for (int j = 0; j < 9 && written < room; ++j) {
            if (last && group == 0)
                break;
            *--end = static_cast<char>('0' + group % 10);
            group /= 10;
            ++written;
        }
    }
    return written;
}

} // namespace

bool rcNumToText(const MultiPrecisionNumber &a, int width, int exponent, char *out)
{
    if (width <= 0)
        return a.status == 0;
    Unpacked u;
    rcnum::unpack(a, u);
    int zeros = 0;
    if (exponent > u.exp) {
        rcnum::divPow10(u.mag, exponent - u.exp);
    } else if (exponent < u.exp) {
        int diff = u.exp - exponent;
        zeros = diff < width ? diff : width;
    }
    std::memset(out, '0', static_cast<size_t>(width));
    writeDigits(u.mag, out + width - zeros, width - zeros);
    return a.status == 0;
}

namespace {

// The value truncated toward zero at exponent 0; false when it exceeds 64 bits.
bool truncatedMagnitude(const MultiPrecisionNumber &a, bool &neg, uint64_t &mag)
{
    Unpacked u;
    rcnum::unpack(a, u);
    if (u.exp > 0) {
        if (u.exp > 20 && !u.mag.isZero())
            return false;
        rcnum::mulPow10(u.mag, u.exp);
    } else if (u.exp < 0) {
        rcnum::divPow10(u.mag, -u.exp);
    }
    if (!u.mag.fitsU64())
        return false;
    neg = u.neg;
    mag = u.mag.toU64();
    return true;
}

} // namespace

bool rcNumToInt32(const MultiPrecisionNumber &a, int32_t &out)
{
    bool neg;
    uint64_t mag;
    if (!truncatedMagnitude(a, neg, mag))
        return false;
    if (neg ? mag > 2147483648ull : mag > 2147483647ull)
        return false;
    out = neg ? static_cast<int32_t>(-static_cast<int64_t>(mag)) : static_cast<int32_t>(mag);
    return true;
}

bool rcNumToUInt32(const MultiPrecisionNumber &a, uint32_t &out)
{
    if (rcNumSign(a) == kNumNegative)
        return false;
    bool neg;
    uint64_t mag;
    if (!truncatedMagnitude(a, neg, mag) || mag > 0xFFFFFFFFull)
        return false;
    out = static_cast<uint32_t>(mag);
    return true;
}

void rcNumFromInt64(MultiPrecisionNumber &a, int exponent, int64_t v)
{
    Unpacked u;
    u.neg = v < 0;
    u.mag.setU64(u.neg ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v));
    u.exp = exponent;
    rcnum::pack(u, a);
}

bool rcNumToInt64(const MultiPrecisionNumber &a, int64_t &out)
{
    bool neg;
    uint64_t mag;
    if (!truncatedMagnitude(a, neg, mag))
        return false;
    if (neg ? mag > (1ull << 63) : mag > INT64_MAX)
        return false;
    out = neg ? static_cast<int64_t>(0 - mag) : static_cast<int64_t>(mag);
    return true;
}

bool rcNumToDouble(const MultiPrecisionNumber &a, double &out)
{
    Unpacked u;
    rcnum::unpack(a, u);
    if (u.mag.isZero()) {
        out = 0.0;
        return true;
    }
    char text[128];
    char *end = text + 80;
    int n = writeDigits(u.mag, end, 80);
    char *first = end - n;
    *--first = '-';
    if (!u.neg)
        ++first;
    *end = 'e';
    auto tail = std::to_chars(end + 1, text + sizeof text, u.exp);
    double v = 0.0;
    auto res = std::from_chars(first, tail.ptr, v, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) {
        // Out of range of a double: beyond the largest magnitude, or below the
        // smallest.
        v = (n + u.exp > 0) ? HUGE_VAL : 0.0;
        if (u.neg)
            v = -v;
    }
    out = v;
    return true;
}

bool rcNumToFloat(const MultiPrecisionNumber &a, float &out)
{
    double d;
    rcNumToDouble(a, d);
    out = static_cast<float>(d);
    return true;
}

bool rcNumFromDouble(MultiPrecisionNumber &a, double v)
{
    uint64_t bits = std::bit_cast<uint64_t>(v);
    bool neg = (bits >> 63) != 0;
    int biased = static_cast<int>((bits >> 52) & 0x7FF);
    uint64_t frac = bits & ((1ull << 52) - 1);
    if (biased == 0x7FF) {
        rcNumSetOverflow(a);
        return false;
    }
    uint64_t mant = biased == 0 ? frac : (frac | (1ull << 52));
    int e2 = biased == 0 ? -1074 : biased - 1075;
    if (mant == 0) {
        rcNumSetZero(a, 0);
        return true;
    }
    int tz = std::countr_zero(mant);
    mant >>= tz;
    e2 += tz;
    Unpacked u;
    u.mag.setU64(mant);
    u.exp = 0;
    if (e2 > 0) {
        if (e2 + u.mag.bitLength() > 241) {
            rcNumSetOverflow(a);
            return false;
        }
        rcnum::shiftLeft(u.mag, e2);
    } else if (e2 < 0) {
        // mant x 2^-r = mant x 5^r x 10^-r, then the low digits that 16 words
        // cannot hold are dropped.
        int r = -e2;
        static constexpr uint32_t kPow5[14] = {1,       5,        25,        125,       625,
                                               3125,    15625,    78125,     390625,    1953125,
                                               9765625, 48828125, 244140625, 1220703125};
        for (int left = r; left > 0; left -= 13)
            u.mag.mulAdd(kPow5[left >= 13 ? 13 : left], 0);
        u.exp = -r;
        int excess = u.mag.bitLength() - 240;
        while (excess > 0) {
            int k = excess * 3 / 10 + 1;
            rcnum::divPow10(u.mag, k);
            u.exp += k;
            excess = u.mag.bitLength() - 240;
        }
    }
    u.neg = neg;
    return rcnum::pack(u, a);
}

bool rcNumFromFloat(MultiPrecisionNumber &a, float v)
{
    return rcNumFromDouble(a, static_cast<double>(v));
}
