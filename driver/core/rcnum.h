// Exact numerics: MultiPrecisionNumber, a fixed-size two's-complement integer
// of up to 16 words of 16 bits with a decimal exponent (value = integer x
// 10^exponent). It is the storage form of the private engine type
// RC_SQL_DECIMAL38 and is copied and compared by the engine as a 38-byte block.
//
// Errors never abort: an overflow beyond 16 words, an exponent outside
// -8191..8191, a division by zero or an infinite input set the status word,
// and the status travels with the value through later operations. Callers
// test rcNumIsValid afterwards; the rcNumOp* wrappers turn it into -1.
//
// Values are always kept normalised (no repeated top sign word) and the
// words above `used` are zero, so equal results have equal byte images.
// Every routine works on per-call storage and is re-entrant.
#pragma once

#include <cstddef>
#include <cstdint>

struct MultiPrecisionNumber {
    uint16_t status;    // 0 valid, 1 overflow or error
    int16_t exponent;   // decimal exponent, -8191..8191
    uint16_t used;      // words in use, 2..16
    uint16_t words[16]; // least significant first; top used word is 0x0000 or 0xFFFF
};
static_assert(sizeof(MultiPrecisionNumber) == 38);
static_assert(offsetof(MultiPrecisionNumber, status) == 0);
static_assert(offsetof(MultiPrecisionNumber, exponent) == 2);
static_assert(offsetof(MultiPrecisionNumber, used) == 4);
static_assert(offsetof(MultiPrecisionNumber, words) == 6);

constexpr int kNumMaxWords = 16;
constexpr int kNumMinExponent = -8191;
constexpr int kNumMaxExponent = 8191;

// rcNumSign results.
constexpr int kNumNegative = 1;
constexpr int kNumZero = 2;
constexpr int kNumPositive = 3;

// Construction and access.
void rcNumFromInt32(MultiPrecisionNumber &a, int exponent, int32_t v);
void rcNumFromUInt32(MultiPrecisionNumber &a, int exponent, uint32_t v);
void rcNumSetZero(MultiPrecisionNumber &a, int exponent);
void rcNumSetOverflow(MultiPrecisionNumber &a);
// sign 0: zero; > 0: the largest positive value (2^240 - 1); < 0: the value -1.
void rcNumSetExtreme(MultiPrecisionNumber &a, int sign);
int rcNumExponent(const MultiPrecisionNumber &a);
bool rcNumIsValid(const MultiPrecisionNumber &a);
int rcNumSign(const MultiPrecisionNumber &a);
void rcNumNormalize(MultiPrecisionNumber &a);

// Arithmetic, in place on the first value.
void rcNumAdd(MultiPrecisionNumber &a, const MultiPrecisionNumber &b);
void rcNumSubtract(MultiPrecisionNumber &a, const MultiPrecisionNumber &b);
void rcNumMultiply(MultiPrecisionNumber &a, const MultiPrecisionNumber &b);
// a = a / b truncated toward zero, aiming at the target exponent. Returns 1,
// or 0 when b is zero (status set).
int rcNumDivide(MultiPrecisionNumber &a, const MultiPrecisionNumber &b, int targetExponent);
void rcNumNegate(MultiPrecisionNumber &a);
// 1 when a < b, 2 when equal, 3 when a > b. Exact.
int rcNumCompare(const MultiPrecisionNumber &a, const MultiPrecisionNumber &b);
// Rescales: a lower exponent multiplies, a higher one divides truncating toward zero.
void rcNumSetExponent(MultiPrecisionNumber &a, int exponent);
// Drops digits down to `exponent`, rounding half away from zero (only when it is higher).
void rcNumRoundTo(MultiPrecisionNumber &a, int exponent);
// Multiplies by 10^k lowering the exponent by k / divides by 10^k raising it (truncating).
void rcNumMulPow10(MultiPrecisionNumber &a, int k);
void rcNumDivPow10(MultiPrecisionNumber &a, int k);

// Text and floating point.
// a = the run of `count` digits (digit value = low four bits) x 10^exponent.
void rcNumFromText(MultiPrecisionNumber &a, int count, int exponent, const char *digits);
// Writes exactly `width` digits of the magnitude at `exponent`, right-aligned,
// "0"-padded, no sign, no point, no terminator. True when the status is 0.
bool rcNumToText(const MultiPrecisionNumber &a, int width, int exponent, char *out);
bool rcNumToInt32(const MultiPrecisionNumber &a, int32_t &out);
bool rcNumToUInt32(const MultiPrecisionNumber &a, uint32_t &out);
// 64-bit integers (the storage of RC_SQL_SCALED64): the value at exponent 0,
// truncated toward zero; true when it fits.
void rcNumFromInt64(MultiPrecisionNumber &a, int exponent, int64_t v);
bool rcNumToInt64(const MultiPrecisionNumber &a, int64_t &out);
bool rcNumToDouble(const MultiPrecisionNumber &a, double &out);
bool rcNumToFloat(const MultiPrecisionNumber &a, float &out);
bool rcNumFromDouble(MultiPrecisionNumber &a, double v);
bool rcNumFromFloat(MultiPrecisionNumber &a, float v);

// Wrapper operations of the engine: the result goes to `out`; 0, or -1 when
// out's status is set.
int rcNumOp(const MultiPrecisionNumber &a, const MultiPrecisionNumber &b,
            MultiPrecisionNumber &out);
int rcNumOpSubtract(const MultiPrecisionNumber &a, const MultiPrecisionNumber &b,
                    MultiPrecisionNumber &out);
int rcNumOpMultiply(const MultiPrecisionNumber &a, const MultiPrecisionNumber &b,
                    MultiPrecisionNumber &out);
// out = a / b with target exponent -18; division by zero gives -1.
int rcNumOpDivide(const MultiPrecisionNumber &a, const MultiPrecisionNumber &b,
                  MultiPrecisionNumber &out);
int rcNumOpNegate(MultiPrecisionNumber &a);
// -1 when a < b, 0 equal, 1 when a > b.
int rcNumOpCompare(const MultiPrecisionNumber &a, const MultiPrecisionNumber &b);
// Aggregate start value: mode 2 the largest value, mode 3 the value -1, else zero.
void rcNumInitExtreme(MultiPrecisionNumber &a, int mode);
// For 0 <= s < 38 rounds to s decimal places; other s: nothing.
void rcNumSetScale(MultiPrecisionNumber &a, int s);
