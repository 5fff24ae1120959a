// Converter routines behind the cells of the conversion matrix, and the text
// routines they share. Internal to the conversion core and its tests.
#pragma once

#include "driver/core/rccnv.h"
#include "driver/core/rcnum.h"

#include <cstdint>

// A decimal number read from text: D = the integer digits (no leading zeros)
// followed by the fraction digits (no trailing zeros); value = 0.D shifted
// so that `intCount + exponent` digits stand before the point.
struct CnvScannedNumber {
    const char *intDigits;
    int32_t intCount;
    const char *fracDigits;
    int32_t fracCount;
    int32_t exponent; // saturates at +-100000000
    bool negative;
};

// The one scanner of decimal number text, [blanks][sign]digits[.digits][E[sign]digits][blanks]
// with at least one mantissa digit: kCnvOk or kCnvInvalid. The raw form counts
// the integer digits from the first significant one, trailing zeros included,
// and every fraction digit; the exponent saturates at +-100000000.
int rcCnvScanNumberRaw(const char *text, CnvScannedNumber &s);
// The same, normalised: trailing fraction zeros dropped, and without a fraction
// the integer's trailing zeros moved into the exponent.
int rcCnvScanNumber(const char *text, CnvScannedNumber &s);
bool rcCnvIsBlankTail(const char *p);
// Text to double: 0, -8 (out of range), -9; "1E999" / "-1E999" are the infinities.
int rcCnvTextToDouble(const char *text, double &out);
// Text to a 32-bit integer, truncating toward zero: 0, -7 (digits dropped), -8, -9.
int rcCnvTextToLong(const char *text, int32_t &out);
int rcCnvTextToULong(const char *text, uint32_t &out);
// Numeric text of the number with precision and scale into dst (length L).
int rcCnvTextToNumericText(const char *text, char *dst, int32_t L, int16_t precision, int16_t scale,
                           int32_t *outLen);
int rcCnvDoubleToText(double v, char *dst, int32_t L, int digits, int32_t *outLen);
int rcCnvLongToText(int32_t v, char *dst, int32_t L, int32_t digitLimit, int32_t *outLen);
int rcCnvULongToText(uint32_t v, char *dst, int32_t L, int32_t digitLimit, int32_t *outLen);

#define RC_CNV_CONVERTER(name)                                                                     \
    int name(const void *src, int16_t srcClass, int32_t srcLen, void *dst, int16_t dstClass,       \
             int32_t dstLen, int16_t precision, int16_t scale, int32_t *outLen)

// Character, numeric text and binary classes.
RC_CNV_CONVERTER(rcCnvCharCopy);
RC_CNV_CONVERTER(rcCnvNumericTextToChar);
RC_CNV_CONVERTER(rcCnvTextToNumericTextConv);
RC_CNV_CONVERTER(rcCnvTextToNumber);
RC_CNV_CONVERTER(rcCnvHexToBinary);
RC_CNV_CONVERTER(rcCnvNumberToText);
RC_CNV_CONVERTER(rcCnvNumberToNumber);
RC_CNV_CONVERTER(rcCnvNumberToBinary);
RC_CNV_CONVERTER(rcCnvBinaryToHex);
RC_CNV_CONVERTER(rcCnvBinaryToNumericText);
RC_CNV_CONVERTER(rcCnvBinaryToNumber);
RC_CNV_CONVERTER(rcCnvBinaryCopy);

// Date and time classes.
RC_CNV_CONVERTER(rcCnvCharToDate);
RC_CNV_CONVERTER(rcCnvCharToTime);
RC_CNV_CONVERTER(rcCnvCharToTimestamp);
RC_CNV_CONVERTER(rcCnvDateToChar);
RC_CNV_CONVERTER(rcCnvDateCopy);
RC_CNV_CONVERTER(rcCnvDateToTimestamp);
RC_CNV_CONVERTER(rcCnvTimeToChar);
RC_CNV_CONVERTER(rcCnvTimeCopy);
RC_CNV_CONVERTER(rcCnvTimeToTimestamp);
RC_CNV_CONVERTER(rcCnvTimestampToChar);
RC_CNV_CONVERTER(rcCnvTimestampToDate);
RC_CNV_CONVERTER(rcCnvTimestampToTime);
RC_CNV_CONVERTER(rcCnvTimestampCopy);

// The private decimal type.
RC_CNV_CONVERTER(rcNumToCharConv);
RC_CNV_CONVERTER(rcNumFromCharConv);
RC_CNV_CONVERTER(rcCnvFromPrivate);
RC_CNV_CONVERTER(rcCnvToPrivate);
RC_CNV_CONVERTER(rcCnvScaledToAny);
RC_CNV_CONVERTER(rcCnvAnyToScaled);
