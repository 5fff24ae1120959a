// Unsigned big-integer scratch used by the exact-numeric library.
//
// A value lives on the caller's stack; limbs are 32 bits, least significant
// first, and `n` is the number of limbs in use (no leading zero limbs, zero
// has n == 0). Capacity covers the widest intermediate the library forms: the
// exact expansion of a subnormal double (about 2600 bits).
#pragma once

#include <cstdint>

namespace rcnum {

struct Big {
    static constexpr int kCap = 96;
    uint32_t limb[kCap];
    int n = 0;

    void setZero() { n = 0; }
    bool isZero() const { return n == 0; }
    void setU64(uint64_t v)
    {
        n = 0;
        while (v != 0) {
            limb[n++] = static_cast<uint32_t>(v);
            v >>= 32;
        }
    }
    void trim()
    {
        while (n > 0 && limb[n - 1] == 0)
            --n;
    }
    int bitLength() const
    {
        if (n == 0)
            return 0;
        return 32 * (n - 1) + (32 - __builtin_clz(limb[n - 1]));
    }
    bool fitsU64() const { return n <= 2; }
    uint64_t toU64() const
    {
        uint64_t v = 0;
        if (n > 0)
            v = limb[0];
        if (n > 1)
            v |= static_cast<uint64_t>(limb[1]) << 32;
        return v;
    }
    // this = this * m + add. Returns false when the capacity is exceeded.
    bool mulAdd(uint32_t m, uint32_t add)
    {
        uint64_t carry = add;
        for (int i = 0; i < n; ++i) {
            uint64_t t = static_cast<uint64_t>(limb[i]) * m + carry;
            limb[i] = static_cast<uint32_t>(t);
            carry = t >> 32;
        }
        if (carry != 0) {
            if (n >= kCap)
                return false;
            limb[n++] = static_cast<uint32_t>(carry);
        }
        trim();
        return true;
    }
    // this = this / d, returns the remainder. d must not be 0.
    uint32_t divSmall(uint32_t d)
    {
        uint64_t rem = 0;
        for (int i = n - 1; i >= 0; --i) {
            uint64_t cur = (rem << 32) | limb[i];
            limb[i] = static_cast<uint32_t>(cur / d);
            rem = cur % d;
        }
        trim();
        return static_cast<uint32_t>(rem);
    }
    bool testBit(int bit) const
    {
        int w = bit / 32;
        return w < n && ((limb[w] >> (bit % 32)) & 1u) != 0;
    }
};

inline int compare(const Big &a, const Big &b)
{
    if (a.n != b.n)
        return a.n < b.n ? -1 : 1;
    for (int i = a.n - 1; i >= 0; --i)
        if (a.limb[i] != b.limb[i])
            return a.limb[i] < b.limb[i] ? -1 : 1;
    return 0;
}

// r = a + b; false on capacity overflow. r may alias a or b.
inline bool add(const Big &a, const Big &b, Big &r)
{
    const Big &lng = a.n >= b.n ? a : b;
    const Big &sht = a.n >= b.n ? b : a;
    int ln = lng.n, sn = sht.n;
    uint64_t carry = 0;
    for (int i = 0; i < ln; ++i) {
        uint64_t t = static_cast<uint64_t>(lng.limb[i]) + (i < sn ? sht.limb[i] : 0u) + carry;
        r.limb[i] = static_cast<uint32_t>(t);
        carry = t >> 32;
    }
    r.n = ln;
    if (carry != 0) {
        if (ln >= Big::kCap)
            return false;
        r.limb[r.n++] = 1;
    }
    return true;
}

// r = a - b, requires a >= b. r may alias a.
inline void sub(const Big &a, const Big &b, Big &r)
{
    int64_t borrow = 0;
    int bn = b.n;
    for (int i = 0; i < a.n; ++i) {
        int64_t t = static_cast<int64_t>(a.limb[i]) - (i < bn ? b.limb[i] : 0u) - borrow;
        borrow = t < 0 ? 1 : 0;
        r.limb[i] = static_cast<uint32_t>(t + (borrow << 32));
    }
    r.n = a.n;
    r.trim();
}

// r = a * b; false on capacity overflow. r must not alias a or b.
inline bool mul(const Big &a, const Big &b, Big &r)
{
    if (a.n == 0 || b.n == 0) {
        r.n = 0;
        return true;
    }
    if (a.n + b.n > Big::kCap)
        return false;
    int rn = a.n + b.n;
    for (int i = 0; i < rn; ++i)
        r.limb[i] = 0;
    for (int i = 0; i < a.n; ++i) {
        uint64_t carry = 0;
        for (int j = 0; j < b.n; ++j) {
            uint64_t t = static_cast<uint64_t>(a.limb[i]) * b.limb[j] + r.limb[i + j] + carry;
            r.limb[i + j] = static_cast<uint32_t>(t);
            carry = t >> 32;
        }
        r.limb[i + b.n] = static_cast<uint32_t>(carry);
    }
    r.n = rn;
    r.trim();
    return true;
}

// Shifts left by `bits`; false on capacity overflow.
inline bool shiftLeft(Big &a, int bits)
{
    if (a.n == 0 || bits == 0)
        return true;
    int words = bits / 32, rest = bits % 32;
    int newN = a.n + words + 1;
    if (newN > Big::kCap)
        return false;
    a.limb[a.n] = 0;
    for (int i = a.n; i >= 0; --i) {
        uint32_t hi = a.limb[i] << rest;
        uint32_t lo = (rest != 0 && i > 0) ? (a.limb[i - 1] >> (32 - rest)) : 0u;
        a.limb[i + words] = hi | lo;
    }
    for (int i = 0; i < words; ++i)
        a.limb[i] = 0;
    a.n = newN;
    a.trim();
    return true;
}

inline void shiftRight(Big &a, int bits)
{
    int words = bits / 32, rest = bits % 32;
    if (words >= a.n) {
        a.n = 0;
        return;
    }
    int newN = a.n - words;
    for (int i = 0; i < newN; ++i) {
        uint32_t lo = a.limb[i + words] >> rest;
        uint32_t hi =
            (rest != 0 && i + words + 1 < a.n) ? (a.limb[i + words + 1] << (32 - rest)) : 0u;
        a.limb[i] = lo | hi;
    }
    a.n = newN;
    a.trim();
}

// Multiplies by 10^k; false on capacity overflow.
inline bool mulPow10(Big &a, int k)
{
    static constexpr uint32_t kPow[10] = {1,      10,      100,      1000,      10000,
                                          100000, 1000000, 10000000, 100000000, 1000000000};
    while (k > 0) {
        int step = k > 9 ? 9 : k;
        if (!a.mulAdd(kPow[step], 0))
            return false;
        k -= step;
    }
    return true;
}

// Divides by 10^k with truncation. Returns true when a non-zero digit was dropped.
inline bool divPow10(Big &a, int k)
{
    static constexpr uint32_t kPow[10] = {1,      10,      100,      1000,      10000,
                                          100000, 1000000, 10000000, 100000000, 1000000000};
    bool dropped = false;
    while (k > 0 && a.n > 0) {
        int step = k > 9 ? 9 : k;
        if (a.divSmall(kPow[step]) != 0)
            dropped = true;
        k -= step;
    }
    return dropped;
}

// q = a / b (truncated), rem = a % b; b must not be zero. Bit-wise restoring
// division over the bits in use; a single-limb divisor takes a short path.
inline void divMod(const Big &a, const Big &b, Big &q, Big &rem)
{
    if (b.n == 1) {
        q = a;
        uint32_t r = q.divSmall(b.limb[0]);
        rem.setU64(r);
        return;
    }
    if (compare(a, b) < 0) {
        rem = a;
        q.setZero();
        return;
    }
    if (a.fitsU64()) {
        uint64_t x = a.toU64(), y = b.toU64();
        q.setU64(x / y);
        rem.setU64(x % y);
        return;
    }
    int shift = a.bitLength() - b.bitLength();
    Big d = b;
    shiftLeft(d, shift);
    rem = a;
    q.n = shift / 32 + 1;
    for (int i = 0; i < q.n; ++i)
        q.limb[i] = 0;
    for (int bit = shift; bit >= 0; --bit) {
        if (compare(rem, d) >= 0) {
            sub(rem, d, rem);
            q.limb[bit / 32] |= 1u << (bit % 32);
        }
        shiftRight(d, 1);
    }
    q.trim();
}

} // namespace rcnum
