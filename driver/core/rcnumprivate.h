// The private exact numeric types of the engine and their comparisons.
//
// RC_SQL_DECIMAL38 (32021) holds a MultiPrecisionNumber (38 bytes);
// RC_SQL_SCALED64 (32020) holds an 8-byte signed integer. The conversion
// matrix connects RC_SQL_DECIMAL38 with character text and the C numeric
// classes; RC_SQL_SCALED64 (value = integer x 10^-scale, the scale being the
// conversion's scale argument) with character text, the C numeric classes and
// RC_SQL_DECIMAL38.
#pragma once

#include "driver/core/rcnum.h"

#include <cstdint>

// Decimal text as rcNumScanText reads it.
struct NumScannedText {
    const char *intDigits; // first significant integer digit
    uint16_t intCount;
    const char *fracDigits;
    uint16_t fracCount; // trailing zeros dropped
    int16_t exponent;
    bool negative;
    uint16_t significant; // significant digits
};

// Through the one number scanner (rcCnvScanNumberRaw, rccnvimpl.h): 1 when the
// text is a number ([blanks][sign]digits[.digits][E[sign]digits][blanks]
// with at least one mantissa digit and an exponent that fits 16 bits), 0 otherwise.
int rcNumScanText(const char *text, NumScannedText &out);
// Text -> RC_SQL_DECIMAL38 with precision and scale: 0, -7 (fraction cut), -8, -9.
int rcCnvTextToDecimal(const char *text, MultiPrecisionNumber &out, int32_t dstLen,
                       int16_t precision, int16_t scale);
// RC_SQL_DECIMAL38 -> text into out (length L, capped at 512): 0, -7, -8.
int rcCnvPrivateToChar(const MultiPrecisionNumber &value, char *out, int32_t L, int32_t *outLen);

// Tolerance comparisons, for equality tests only: 0 when |a - b| is within
// the absolute epsilon (2.220446049250313e-16, 1.1920928955078125e-7 for
// singles), else -1 (a < b) or 1.
int rcCnvCompareDouble(double a, double b);
int rcCnvCompareReal(float a, float b);
// Exact three-way comparisons used for ordering: -1, 0, 1. NaN sorts above
// every number and equal to itself; -0 equals +0.
int rcCnvCompareDoubleExact(double a, double b);
// Two 8-byte signed integers at any alignment: -1, 0, 1.
int rcCnvCompareInt64(const void *a, const void *b);
