// Exact numerics: arithmetic on MultiPrecisionNumber.
//
// Each operation unpacks its operands into sign and magnitude (rcnum::Big),
// computes exactly on the magnitudes and packs the result back into the
// 16-word two's-complement form, where a magnitude that needs more than 240
// bits (a sixteenth word beyond the sign word) sets the overflow status.
// Alignment of exponents for addition and subtraction, and the room-making
// division before a wide multiplication, drop low digits as the stored form
// requires; comparison is always exact.
#include "driver/core/rcnum.h"

#include "driver/core/rcnumbig.h"
#include "driver/core/rcnumimpl.h"

#include <cstring>

namespace rcnum {

void unpack(const MultiPrecisionNumber &a, Unpacked &u)
{
    int used = a.used;
    if (used < 2 || used > kNumMaxWords)
        used = used < 2 ? 2 : kNumMaxWords;
    u.status = a.status;
    u.exp = a.exponent;
    u.neg = a.words[used - 1] == 0xFFFF;
    // Words to limbs, two's complement removed for a negative value.
    uint32_t carry = 1;
    u.mag.n = (used + 1) / 2;
    for (int i = 0; i < u.mag.n; ++i) {
        uint32_t lo = a.words[2 * i];
        uint32_t hi = 2 * i + 1 < used ? a.words[2 * i + 1] : (u.neg ? 0xFFFFu : 0u);
        uint32_t v = lo | (hi << 16);
        if (u.neg) {
            uint64_t t = static_cast<uint64_t>(~v) + carry;
            v = static_cast<uint32_t>(t);
            carry = static_cast<uint32_t>(t >> 32);
        }
        u.mag.limb[i] = v;
    }
    u.mag.trim();
}

bool pack(const Unpacked &u, MultiPrecisionNumber &a)
{
    int bits = u.mag.bitLength();
    bool fits = bits <= 240;
    if (!fits && u.neg && bits == 241) {
        // -2^240 is the one 241-bit magnitude that has a 16-word form.
        fits = true;
        for (int i = 0; i < u.mag.n - 1 && fits; ++i)
            fits = u.mag.limb[i] == 0;
        fits = fits && u.mag.limb[u.mag.n - 1] == (1u << (240 % 32));
    }
    if (!fits || u.exp < kNumMinExponent || u.exp > kNumMaxExponent) {
        rcNumSetOverflow(a);
        return false;
    }
    bool neg = u.neg && !u.mag.isZero();
    uint32_t carry = 1;
    for (int i = 0; i < 8; ++i) {
        uint32_t v = i < u.mag.n ? u.mag.limb[i] : 0u;
        if (neg) {
            uint64_t t = static_cast<uint64_t>(~v) + carry;
            v = static_cast<uint32_t>(t);
            carry = static_cast<uint32_t>(t >> 32);
        }
        a.words[2 * i] = static_cast<uint16_t>(v);
        a.words[2 * i + 1] = static_cast<uint16_t>(v >> 16);
    }
    a.status = u.status;
    a.exponent = static_cast<int16_t>(u.exp);
    a.used = kNumMaxWords;
    rcNumNormalize(a);
    return true;
}

int usedWords(const Unpacked &u)
{
    MultiPrecisionNumber t;
    Unpacked c = u;
    c.exp = 0;
    if (!pack(c, t))
        return kNumMaxWords + 1;
    return t.used;
}

// Brings both operands to one exponent. The operand with the higher exponent
// is multiplied up when that stays within 16 words; otherwise low digits of
// the other operand are dropped.
void alignExponents(Unpacked &x, Unpacked &y)
{
    if (x.exp == y.exp)
        return;
    Unpacked &hi = x.exp > y.exp ? x : y;
    Unpacked &lo = x.exp > y.exp ? y : x;
    int d = hi.exp - lo.exp;
    int hiUsed = usedWords(hi);
    if (hiUsed + (d + 3) / 4 < kNumMaxWords) {
        mulPow10(hi.mag, d);
        hi.exp = lo.exp;
        return;
    }
    if (hi.mag.isZero()) {
        hi.exp = lo.exp;
        return;
    }
    if (lo.mag.isZero() || d >= 80) {
        lo.mag.setZero();
        lo.exp = hi.exp;
        return;
    }
    int g = 4 * (15 - hiUsed);
    if (g >= 0)
        mulPow10(hi.mag, g);
    else
        divPow10(hi.mag, -g);
    hi.exp -= g;
    divPow10(lo.mag, d - g);
    lo.exp = hi.exp;
}

// Signed addition of two aligned values: r = x + y.
void addSigned(const Unpacked &x, const Unpacked &y, Unpacked &r)
{
    r.exp = x.exp;
    if (x.neg == y.neg) {
        r.neg = x.neg;
        add(x.mag, y.mag, r.mag);
        return;
    }
    int c = compare(x.mag, y.mag);
    if (c >= 0) {
        r.neg = x.neg;
        sub(x.mag, y.mag, r.mag);
    } else {
        r.neg = y.neg;
        sub(y.mag, x.mag, r.mag);
    }
}

int compareMagnitudes(const Big &ma, int ea, const Big &mb, int eb)
{
    if (ma.isZero() || mb.isZero())
        return ma.isZero() ? (mb.isZero() ? 0 : -1) : 1;
    if (ea == eb)
        return compare(ma, mb);
    // A difference of more than 80 digits decides on its own: a magnitude is
    // below 2^241 < 10^73.
    if (ea - eb > 80)
        return 1;
    if (eb - ea > 80)
        return -1;
    Big t;
    if (ea > eb) {
        t = ma;
        mulPow10(t, ea - eb);
        return compare(t, mb);
    }
    t = mb;
    mulPow10(t, eb - ea);
    return compare(ma, t);
}

} // namespace rcnum

using rcnum::Big;
using rcnum::Unpacked;

void rcNumFromInt32(MultiPrecisionNumber &a, int exponent, int32_t v)
{
    std::memset(&a, 0, sizeof a);
    a.exponent = static_cast<int16_t>(exponent);
    uint32_t u = static_cast<uint32_t>(v);
    a.words[0] = static_cast<uint16_t>(u);
    a.words[1] = static_cast<uint16_t>(u >> 16);
    a.words[2] = v < 0 ? 0xFFFF : 0;
    a.used = 3;
    rcNumNormalize(a);
    if (exponent < kNumMinExponent || exponent > kNumMaxExponent)
        rcNumSetOverflow(a);
}

void rcNumFromUInt32(MultiPrecisionNumber &a, int exponent, uint32_t v)
{
    std::memset(&a, 0, sizeof a);
    a.exponent = static_cast<int16_t>(exponent);
    a.words[0] = static_cast<uint16_t>(v);
    a.words[1] = static_cast<uint16_t>(v >> 16);
    a.used = 3;
    rcNumNormalize(a);
    if (exponent < kNumMinExponent || exponent > kNumMaxExponent)
        rcNumSetOverflow(a);
}

void rcNumSetZero(MultiPrecisionNumber &a, int exponent)
{
    std::memset(&a, 0, sizeof a);
    a.used = 2;
    if (exponent < kNumMinExponent || exponent > kNumMaxExponent)
        a.status = 1;
    else
        a.exponent = static_cast<int16_t>(exponent);
}

void rcNumSetOverflow(MultiPrecisionNumber &a)
{
    std::memset(&a, 0, sizeof a);
    a.used = 2;
    a.status = 1;
}

void rcNumSetExtreme(MultiPrecisionNumber &a, int sign)
{
    std::memset(&a, 0, sizeof a);
    if (sign == 0) {
        a.used = 2;
    } else if (sign > 0) {
        for (int i = 0; i < 15; ++i)
            a.words[i] = 0xFFFF;
        a.used = 16;
    } else {
        // All 16 words 0xFFFF: the value -1, normalised to two words.
        for (int i = 0; i < 16; ++i)
            a.words[i] = 0xFFFF;
        a.used = 16;
        rcNumNormalize(a);
    }
}

int rcNumExponent(const MultiPrecisionNumber &a) { return a.exponent; }

bool rcNumIsValid(const MultiPrecisionNumber &a) { return a.status == 0; }

int rcNumSign(const MultiPrecisionNumber &a)
{
    int used = a.used < 2 ? 2 : (a.used > kNumMaxWords ? kNumMaxWords : a.used);
    if (a.words[used - 1] == 0xFFFF)
        return kNumNegative;
    for (int i = 0; i < used; ++i)
        if (a.words[i] != 0)
            return kNumPositive;
    return kNumZero;
}

void rcNumNormalize(MultiPrecisionNumber &a)
{
    int used = a.used < 2 ? 2 : (a.used > kNumMaxWords ? kNumMaxWords : a.used);
    uint16_t sign = a.words[used - 1];
    while (used > 2 && a.words[used - 1] == sign && a.words[used - 2] == sign)
        --used;
    for (int i = used; i < kNumMaxWords; ++i)
        a.words[i] = 0;
    a.used = static_cast<uint16_t>(used);
}

void rcNumAdd(MultiPrecisionNumber &a, const MultiPrecisionNumber &b)
{
    uint16_t status = a.status | b.status;
    Unpacked x, y, r;
    rcnum::unpack(a, x);
    rcnum::unpack(b, y);
    rcnum::alignExponents(x, y);
    rcnum::addSigned(x, y, r);
    r.status = status;
    if (!rcnum::pack(r, a))
        return;
    a.status = status;
}

void rcNumSubtract(MultiPrecisionNumber &a, const MultiPrecisionNumber &b)
{
    uint16_t status = a.status | b.status;
    Unpacked x, y, r;
    rcnum::unpack(a, x);
    rcnum::unpack(b, y);
    y.neg = !y.neg;
    rcnum::alignExponents(x, y);
    rcnum::addSigned(x, y, r);
    r.status = status;
    rcnum::pack(r, a);
}

void rcNumMultiply(MultiPrecisionNumber &a, const MultiPrecisionNumber &b)
{
    uint16_t status = a.status | b.status;
    Unpacked x, y, r;
    rcnum::unpack(a, x);
    rcnum::unpack(b, y);
    int wx = a.used, wy = b.used;
    if (wx + wy > kNumMaxWords) {
        // Make room: an operand wider than 8 words loses low digits, 5 per
        // word of excess that the other operand does not leave free.
        int shortX = wx < 8 ? 8 - wx : 0, shortY = wy < 8 ? 8 - wy : 0;
        if (wx > 8 && wx - 8 > shortY) {
            int k = 5 * (wx - 8 - shortY);
            rcnum::divPow10(x.mag, k);
            x.exp += k;
        }
        if (wy > 8 && wy - 8 > shortX) {
            int k = 5 * (wy - 8 - shortX);
            rcnum::divPow10(y.mag, k);
            y.exp += k;
        }
    }
    rcnum::mul(x.mag, y.mag, r.mag);
    r.neg = x.neg != y.neg;
    r.exp = x.exp + y.exp;
    r.status = status;
    rcnum::pack(r, a);
}

int rcNumDivide(MultiPrecisionNumber &a, const MultiPrecisionNumber &b, int targetExponent)
{
    uint16_t status = a.status | b.status;
    Unpacked x, y, r;
    rcnum::unpack(a, x);
    rcnum::unpack(b, y);
    if (y.mag.isZero()) {
        rcNumSetOverflow(a);
        return 0;
    }
    int qexp = x.exp - y.exp;
    int m = qexp - targetExponent;
    if (m > 0 && !x.mag.isZero()) {
        // Scale the dividend so that the quotient reaches the target
        // exponent, as far as the scratch room allows (a quotient that would
        // need more overflows anyway).
        int room = (2400 - x.mag.bitLength()) * 3 / 10;
        if (m > room)
            m = room;
        rcnum::mulPow10(x.mag, m);
        qexp -= m;
    }
    Big rem;
    rcnum::divMod(x.mag, y.mag, r.mag, rem);
    int excess = r.mag.bitLength() - 240;
    while (excess > 0) {
        int k = excess * 3 / 10 + 1;
        rcnum::divPow10(r.mag, k);
        qexp += k;
        excess = r.mag.bitLength() - 240;
    }
    r.neg = x.neg != y.neg;
    r.exp = qexp;
    r.status = status;
    rcnum::pack(r, a);
    return 1;
}

void rcNumNegate(MultiPrecisionNumber &a)
{
    Unpacked x;
    rcnum::unpack(a, x);
    x.neg = !x.neg;
    rcnum::pack(x, a);
}

int rcNumCompare(const MultiPrecisionNumber &a, const MultiPrecisionNumber &b)
{
    Unpacked x, y;
    rcnum::unpack(a, x);
    rcnum::unpack(b, y);
    bool xn = x.neg && !x.mag.isZero(), yn = y.neg && !y.mag.isZero();
    if (xn != yn)
        return xn ? 1 : 3;
    int c = rcnum::compareMagnitudes(x.mag, x.exp, y.mag, y.exp);
    if (xn)
        c = -c;
    return c < 0 ? 1 : (c == 0 ? 2 : 3);
}

void rcNumSetExponent(MultiPrecisionNumber &a, int exponent)
{
    if (exponent < kNumMinExponent || exponent > kNumMaxExponent) {
        a.status = 1;
        return;
    }
    Unpacked x;
    rcnum::unpack(a, x);
    if (exponent < x.exp) {
        if (x.exp - exponent > 80 && !x.mag.isZero()) {
            rcNumSetOverflow(a);
            return;
        }
        rcnum::mulPow10(x.mag, x.exp - exponent);
    } else if (exponent > x.exp) {
        rcnum::divPow10(x.mag, exponent - x.exp);
    }
    x.exp = exponent;
    rcnum::pack(x, a);
}

void rcNumRoundTo(MultiPrecisionNumber &a, int exponent)
{
    if (exponent <= a.exponent)
        return;
    if (exponent > kNumMaxExponent) {
        a.status = 1;
        return;
    }
    Unpacked x;
    rcnum::unpack(a, x);
    int k = exponent - x.exp;
    if (k > 80) {
        x.mag.setZero();
    } else {
        rcnum::divPow10(x.mag, k - 1);
        uint32_t first = x.mag.divSmall(10);
        if (first >= 5)
            x.mag.mulAdd(1, 1);
    }
    x.exp = exponent;
    rcnum::pack(x, a);
}

void rcNumMulPow10(MultiPrecisionNumber &a, int k)
{
    if (k <= 0)
        return;
    if (a.exponent - k < kNumMinExponent) {
        a.status = 1;
        return;
    }
    rcNumSetExponent(a, a.exponent - k);
}

void rcNumDivPow10(MultiPrecisionNumber &a, int k)
{
    if (k <= 0)
        return;
    if (a.exponent + k > kNumMaxExponent) {
        a.status = 1;
        return;
    }
    rcNumSetExponent(a, a.exponent + k);
}

int rcNumOp(const MultiPrecisionNumber &a, const MultiPrecisionNumber &b, MultiPrecisionNumber &out)
{
    MultiPrecisionNumber t = a;
    rcNumAdd(t, b);
    out = t;
    return out.status != 0 ? -1 : 0;
}

int rcNumOpSubtract(const MultiPrecisionNumber &a, const MultiPrecisionNumber &b,
                    MultiPrecisionNumber &out)
{
    MultiPrecisionNumber t = a;
    rcNumSubtract(t, b);
    out = t;
    return out.status != 0 ? -1 : 0;
}

int rcNumOpMultiply(const MultiPrecisionNumber &a, const MultiPrecisionNumber &b,
                    MultiPrecisionNumber &out)
{
    MultiPrecisionNumber t = a;
    rcNumMultiply(t, b);
    out = t;
    return out.status != 0 ? -1 : 0;
}

int rcNumOpDivide(const MultiPrecisionNumber &a, const MultiPrecisionNumber &b,
                  MultiPrecisionNumber &out)
{
    MultiPrecisionNumber t = a;
    int ok = rcNumDivide(t, b, -18);
    out = t;
    return (ok == 0 || out.status != 0) ? -1 : 0;
}

int rcNumOpNegate(MultiPrecisionNumber &a)
{
    rcNumNegate(a);
    return 0;
}

int rcNumOpCompare(const MultiPrecisionNumber &a, const MultiPrecisionNumber &b)
{
    return rcNumCompare(a, b) - 2;
}

void rcNumInitExtreme(MultiPrecisionNumber &a, int mode)
{
    if (mode == 2)
        rcNumSetExtreme(a, 1);
    else if (mode == 3)
        rcNumSetExtreme(a, -1);
    else
        rcNumSetExtreme(a, 0);
}

void rcNumSetScale(MultiPrecisionNumber &a, int s)
{
    if (s >= 0 && s < 38)
        rcNumRoundTo(a, -s);
}
