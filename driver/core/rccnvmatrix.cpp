// The conversion core: class map, converter matrix and rcCnvConvert.
//
// rcCnvConvertValue classifies both types, finds the converter of the pair,
// prepares the source (character data with an explicit length is read in
// place when a text-to-text copy counts it or a NUL ends it within that
// length, else copied with a terminator; ODBC date and time structures
// validated and narrowed), checks that a fixed-width destination can hold
// its C form, calls the converter and widens date and time results back
// into the ODBC structures.
#include "driver/core/rccnvimpl.h"
#include "driver/core/rcdate.h"
#include "driver/core/rcsqltype.h"

#include <array>
#include <cstring>
#include <memory>
#include <new>

namespace {

struct ClassRow {
    int16_t type;
    int16_t classCode;
    int16_t index;
};

// First match wins; a repeated number always maps to one class.
constexpr ClassRow kClassMap[] = {
    // SQL types
    {SQL_CHAR, kClsChar, 0},
    {SQL_VARCHAR, kClsChar, 0},
    {SQL_LONGVARCHAR, kClsChar, 0},
    {SQL_DECIMAL, kClsNumText, 1},
    {SQL_NUMERIC, kClsNumText, 1},
    {SQL_BIT, kClsBit, 2},
    {SQL_TINYINT, kClsSTiny, 3},
    {SQL_SMALLINT, kClsSShort, 5},
    {SQL_INTEGER, kClsSLong, 7},
    {SQL_REAL, kClsReal, 9},
    {SQL_FLOAT, kClsDouble, 10},
    {SQL_DOUBLE, kClsDouble, 10},
    {SQL_BIGINT, kClsNumText, 1},
    {SQL_BINARY, kClsBinary, 11},
    {SQL_VARBINARY, kClsBinary, 11},
    {SQL_LONGVARBINARY, kClsBinary, 11},
    {SQL_DATE, kClsDate, 12},
    {SQL_TIME, kClsTime, 13},
    {SQL_TIMESTAMP, kClsTimestamp, 14},
    // C types
    {SQL_C_CHAR, kClsChar, 0},
    {SQL_C_BIT, kClsBit, 2},
    {SQL_C_TINYINT, kClsSTiny, 3},
    {SQL_C_STINYINT, kClsSTiny, 3},
    {SQL_C_UTINYINT, kClsUTiny, 4},
    {SQL_C_SHORT, kClsSShort, 5},
    {SQL_C_SSHORT, kClsSShort, 5},
    {SQL_C_USHORT, kClsUShort, 6},
    {SQL_C_LONG, kClsSLong, 7},
    {SQL_C_SLONG, kClsSLong, 7},
    {SQL_C_ULONG, kClsULong, 8},
    {-18 /* bookmark */, kClsULong, 8},
    {SQL_C_FLOAT, kClsReal, 9},
    {SQL_C_DOUBLE, kClsDouble, 10},
    {SQL_C_BINARY, kClsBinary, 11},
    {SQL_C_DATE, kClsDate, 12},
    {SQL_C_TIME, kClsTime, 13},
    {SQL_C_TIMESTAMP, kClsTimestamp, 14},
    // The private exact decimal
    {RC_SQL_DECIMAL38, RC_SQL_DECIMAL38, kCnvDecimalIndex},
    {RC_SQL_SCALED64, RC_SQL_SCALED64, kCnvScaledIndex},
};

using Matrix = std::array<std::array<rcCnvConverter, kCnvMatrixSize>, kCnvMatrixSize>;

constexpr Matrix kMatrix = [] {
    Matrix m{};
    m[0][0] = rcCnvCharCopy;
    m[0][1] = rcCnvTextToNumericTextConv;
    m[1][0] = rcCnvNumericTextToChar;
    m[1][1] = rcCnvTextToNumericTextConv;
    for (int c = kClsBit; c <= kClsDouble; ++c) {
        m[0][c] = rcCnvTextToNumber;
        m[1][c] = rcCnvTextToNumber;
    }
    m[0][kClsBinary] = rcCnvHexToBinary;
    m[1][kClsBinary] = rcCnvHexToBinary;
    m[0][kClsDate] = rcCnvCharToDate;
    m[0][kClsTime] = rcCnvCharToTime;
    m[0][kClsTimestamp] = rcCnvCharToTimestamp;
    m[0][kCnvDecimalIndex] = rcNumFromCharConv;
    for (int r = kClsBit; r <= kClsDouble; ++r) {
        m[r][kClsChar] = rcCnvNumberToText;
        m[r][kClsNumText] = rcCnvNumberToText;
        for (int c = kClsBit; c <= kClsDouble; ++c)
            m[r][c] = rcCnvNumberToNumber;
        m[r][kClsBinary] = rcCnvNumberToBinary;
        m[r][kCnvDecimalIndex] = rcCnvToPrivate;
        m[kCnvDecimalIndex][r] = rcCnvFromPrivate;
        m[r][kCnvScaledIndex] = rcCnvAnyToScaled;
        m[kCnvScaledIndex][r] = rcCnvScaledToAny;
    }
    for (int p : {static_cast<int>(kClsChar), kCnvDecimalIndex, kCnvScaledIndex}) {
        m[p][kCnvScaledIndex] = rcCnvAnyToScaled;
        m[kCnvScaledIndex][p] = rcCnvScaledToAny;
    }
    m[kClsBinary][kClsChar] = rcCnvBinaryToHex;
    m[kClsBinary][kClsNumText] = rcCnvBinaryToNumericText;
    m[kClsBinary][kClsReal] = rcCnvBinaryToNumber;
    m[kClsBinary][kClsDouble] = rcCnvBinaryToNumber;
    m[kClsBinary][kClsBinary] = rcCnvBinaryCopy;
    m[kClsDate][kClsChar] = rcCnvDateToChar;
    m[kClsDate][kClsBinary] = rcCnvDateCopy;
    m[kClsDate][kClsDate] = rcCnvDateCopy;
    m[kClsDate][kClsTimestamp] = rcCnvDateToTimestamp;
    m[kClsTime][kClsChar] = rcCnvTimeToChar;
    m[kClsTime][kClsBinary] = rcCnvTimeCopy;
    m[kClsTime][kClsTime] = rcCnvTimeCopy;
    m[kClsTime][kClsTimestamp] = rcCnvTimeToTimestamp;
    m[kClsTimestamp][kClsChar] = rcCnvTimestampToChar;
    m[kClsTimestamp][kClsBinary] = rcCnvTimestampCopy;
    m[kClsTimestamp][kClsDate] = rcCnvTimestampToDate;
    m[kClsTimestamp][kClsTime] = rcCnvTimestampToTime;
    m[kClsTimestamp][kClsTimestamp] = rcCnvTimestampCopy;
    m[kCnvDecimalIndex][kClsChar] = rcNumToCharConv;
    m[kCnvDecimalIndex][kCnvDecimalIndex] = rcCnvFromPrivate;
    return m;
}();

// Bytes of the C form a destination of this matrix index must hold; 0 for
// the variable-length classes.
constexpr int kDestWidth[kCnvMatrixSize] = {0, 0, 1, 1, 1, 2, 2, 4, 4, 4, 8, 0, 6, 6, 16, 38, 8};

// The C type whose bytes a binary-mode-0 request for SQL_C_BINARY receives.
int16_t naturalCType(int16_t srcType)
{
    switch (srcType) {
    case SQL_BIGINT:
    case SQL_LONGVARCHAR:
    case SQL_CHAR:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_VARCHAR: return SQL_C_CHAR;
    case SQL_FLOAT:
    case SQL_DOUBLE: return SQL_C_DOUBLE;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: return SQL_C_BINARY;
    default: return srcType; // -7, -6, 4, 5, 7, 9, 10, 11 and other types keep their number
    }
}

int converterToCore(int rc)
{
    switch (rc) {
    case kCnvOk: return kCnvCoreOk;
    case kCnvTruncated: return kCnvCoreTruncated;
    case kCnvOutOfRange: return kCnvCoreOutOfRange;
    case kCnvInvalid: return kCnvCoreAssignment;
    case kCnvBadDate: return kCnvCoreInvalidDate;
    case -6: return kCnvCoreNoMemory;
    default: return kCnvCoreOk;
    }
}

constexpr int32_t kSmallCopy = 260;

} // namespace

namespace {

// Matrix index by type number for the dense range of ODBC types (-28..12),
// built from the class map at compile time (first match wins).
constexpr int kDenseLow = -28, kDenseHigh = 12;
constexpr auto kDenseIndex = [] {
    std::array<int8_t, kDenseHigh - kDenseLow + 1> t{};
    for (auto &v : t)
        v = -1;
    for (const ClassRow &row : kClassMap)
        if (row.type >= kDenseLow && row.type <= kDenseHigh && t[row.type - kDenseLow] < 0)
            t[row.type - kDenseLow] = static_cast<int8_t>(row.index);
    return t;
}();

} // namespace

int32_t rcCnvCFixedSize(int16_t cType)
{
    switch (cType) {
    case SQL_C_LONG:
    case SQL_C_SLONG:
    case SQL_C_ULONG: return sizeof(SQLINTEGER);
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
    case SQL_C_USHORT: return sizeof(SQLSMALLINT);
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT:
    case SQL_C_BIT: return 1;
    case SQL_C_FLOAT: return sizeof(SQLREAL);
    case SQL_C_DOUBLE: return sizeof(SQLDOUBLE);
    case SQL_C_DATE: return sizeof(DATE_STRUCT);
    case SQL_C_TIME: return sizeof(TIME_STRUCT);
    case SQL_C_TIMESTAMP: return sizeof(TIMESTAMP_STRUCT);
    default: return 0;
    }
}

int rcCnvMatrixIndex(int16_t type)
{
    if (type >= kDenseLow && type <= kDenseHigh)
        return kDenseIndex[type - kDenseLow];
    if (type == RC_SQL_DECIMAL38)
        return kCnvDecimalIndex;
    return type == RC_SQL_SCALED64 ? kCnvScaledIndex : -1;
}

int16_t rcCnvClassCode(int index)
{
    if (index == kCnvDecimalIndex)
        return RC_SQL_DECIMAL38;
    return index == kCnvScaledIndex ? RC_SQL_SCALED64 : static_cast<int16_t>(index);
}

rcCnvConverter rcCnvMatrixCell(int srcIndex, int dstIndex)
{
    if (srcIndex < 0 || srcIndex >= kCnvMatrixSize || dstIndex < 0 || dstIndex >= kCnvMatrixSize)
        return nullptr;
    return kMatrix[srcIndex][dstIndex];
}

int rcCnvInit() { return 0; }

void rcCnvFreeMatrix() {}

int rcCnvConvertValue(const void *src, int16_t srcType, int32_t srcLen, int16_t binaryMode,
                      void *dst, int16_t dstType, int32_t dstLen, int16_t precision, int16_t scale,
                      int32_t *outLen)
{
    int32_t scratchOut = 0;
    if (outLen == nullptr)
        outLen = &scratchOut;
    if (dst == nullptr || dstLen < 0)
        dstLen = 0;
    if (binaryMode == 0 && dstType == SQL_C_BINARY)
        dstType = naturalCType(srcType);
    if (rcCnvIsBinaryType(dstType) && binaryMode == 1 && srcType != SQL_BINARY &&
        srcType != SQL_CHAR)
        return kCnvCoreNoConversion;
    int si = rcCnvMatrixIndex(srcType), di = rcCnvMatrixIndex(dstType);
    rcCnvConverter conv = rcCnvMatrixCell(si, di);
    if (conv == nullptr)
        return kCnvCoreNoConversion;
    if (src == nullptr)
        return kCnvCoreAssignment;
    if (dstLen < kDestWidth[di])
        return kCnvCoreOutOfRange;

    // Source preparation.
    const void *s = src;
    char small[kSmallCopy];
    std::unique_ptr<char[]> large;
    CnvTimestamp compactSrc;
    if (si == kClsChar || si == kClsNumText) {
        if (srcLen != SQL_NTS) {
            if (srcLen < 0)
                return kCnvCoreAssignment;
            const char *text = static_cast<const char *>(src);
            const void *nul = std::memchr(text, '\0', static_cast<size_t>(srcLen));
            size_t n = nul != nullptr ? static_cast<size_t>(static_cast<const char *>(nul) - text)
                                      : static_cast<size_t>(srcLen);
            if (conv == rcCnvCharCopy || conv == rcCnvNumericTextToChar) {
                // Text to text reads the counted characters in place.
                srcLen = static_cast<int32_t>(n);
            } else if (nul == nullptr) {
                // Unterminated within its length: a terminated copy.
                char *copy = small;
                if (n >= static_cast<size_t>(kSmallCopy)) {
                    large.reset(new (std::nothrow) char[n + 1]);
                    if (!large)
                        return kCnvCoreNoMemory;
                    copy = large.get();
                }
                std::memcpy(copy, text, n);
                copy[n] = '\0';
                s = copy;
            }
        }
    } else if (si == kClsBinary) {
        if (srcLen == SQL_NTS)
            srcLen = static_cast<int32_t>(std::strlen(static_cast<const char *>(src)));
        else if (srcLen < 0)
            return kCnvCoreAssignment;
    } else if (si == kClsDate || si == kClsTime || si == kClsTimestamp) {
        bool valid = si == kClsDate   ? rcCnvNarrowDate(src, compactSrc.date)
                     : si == kClsTime ? rcCnvNarrowTime(src, compactSrc.time)
                                      : rcCnvNarrowTimestamp(src, compactSrc);
        if (!valid)
            return kCnvCoreInvalidDate;
        s = si == kClsTime ? static_cast<const void *>(&compactSrc.time) : &compactSrc;
    }

    CnvTimestamp compactDst{};
    bool widen = di == kClsDate || di == kClsTime || di == kClsTimestamp;
    void *d = widen ? static_cast<void *>(di == kClsTime ? static_cast<void *>(&compactDst.time)
                                                         : &compactDst)
                    : dst;
    int rc = conv(s, rcCnvClassCode(si), srcLen, d, rcCnvClassCode(di), dstLen, precision, scale,
                  outLen);
    if (widen && (rc == kCnvOk || rc == kCnvTruncated)) {
        if (di == kClsDate) {
            rcCnvWidenDate(compactDst.date, dst);
            *outLen = sizeof(DATE_STRUCT);
        } else if (di == kClsTime) {
            rcCnvWidenTime(compactDst.time, dst);
            *outLen = sizeof(TIME_STRUCT);
        } else {
            rcCnvWidenTimestamp(compactDst, dst);
            *outLen = sizeof(TIMESTAMP_STRUCT);
        }
    }
    return converterToCore(rc);
}

int32_t rcCnvCodeToMsg(int coreCode)
{
    switch (coreCode) {
    case kCnvCoreOk: return kCnvMsgSuccess;
    case kCnvCoreNoMemory: return kCnvMsgNoMemory;
    case kCnvCoreTruncated: return kCnvMsgTruncated;
    case kCnvCoreOutOfRange: return kCnvMsgOutOfRange;
    case kCnvCoreAssignment: return kCnvMsgAssignment;
    case kCnvCoreInvalidDate: return kCnvMsgInvalidDate;
    case kCnvCoreNoConversion: return kCnvMsgRestricted;
    default: return 0;
    }
}

extern "C" int32_t rcCnvConvert(const void *src, int32_t srcType, int32_t srcLen,
                                int16_t binaryMode, void *dst, uint16_t dstType, int32_t dstLen,
                                int16_t precision, int16_t scale, int32_t *outLen)
{
    int16_t st = static_cast<int16_t>(srcType);
    int16_t dt = static_cast<int16_t>(dstType);
    if (binaryMode == 2 && (st == SQL_CHAR || st == SQL_VARCHAR) && dt == SQL_C_BINARY)
        st = SQL_LONGVARBINARY; // the characters are copied as bytes
    int rc =
        rcCnvConvertValue(src, st, srcLen, binaryMode, dst, dt, dstLen, precision, scale, outLen);
    int32_t msg = rcCnvCodeToMsg(rc);
    return msg != 0 ? msg : kCnvMsgSuccess;
}

bool rcCnvCanConvert(int16_t srcType, int32_t binaryMode, int16_t dstType)
{
    if (rcCnvIsBinaryType(dstType) && binaryMode == 1 && srcType != SQL_BINARY &&
        srcType != SQL_CHAR)
        return false;
    return rcCnvMatrixCell(rcCnvMatrixIndex(srcType), rcCnvMatrixIndex(dstType)) != nullptr;
}

bool rcCnvIsCharType(int16_t t) { return rcSqlIsCharacter(t); }

bool rcCnvIsBinaryType(int16_t t) { return rcSqlIsBinary(t); }

bool rcCnvIsNumericType(int16_t t) { return rcSqlIsNumeric(t); }

bool rcCnvIsFixedLengthType(int16_t t)
{
    return !(rcCnvIsCharType(t) || rcCnvIsBinaryType(t) || t == SQL_NUMERIC || t == SQL_DECIMAL);
}

bool rcCnvIsUnpaddedType(int16_t t) { return t != SQL_CHAR && t != SQL_BINARY; }

bool rcCnvBothChar(int16_t a, int16_t b)
{
    return (rcCnvIsCharType(a) && rcCnvIsCharType(b)) || (a == SQL_CHAR && b == kCnvDefaultCType) ||
           (a == kCnvDefaultCType && b == SQL_CHAR);
}

bool rcCnvBothBinary(int16_t a, int16_t b)
{
    return (rcCnvIsBinaryType(a) && rcCnvIsBinaryType(b)) ||
           (a == SQL_BINARY && b == kCnvDefaultCType) || (a == kCnvDefaultCType && b == SQL_BINARY);
}

int32_t rcCnvSqlValueLength(const void *value, int16_t sqlType)
{
    const rcSqlTypeTraits *t = rcSqlTypeOf(sqlType);
    if (t == nullptr || !t->odbc)
        return 0;
    if (t->textValue)
        return value != nullptr ? static_cast<int32_t>(std::strlen(static_cast<const char *>(value)))
                                : 0;
    return t->valueBytes;
}

int32_t rcCnvCValueLength(const void *value, int16_t cType)
{
    switch (cType) {
    case SQL_C_UTINYINT:
    case SQL_C_STINYINT:
    case SQL_C_BIT:
    case SQL_C_TINYINT: return 1;
    case SQL_C_ULONG:
    case SQL_C_SLONG:
    case SQL_C_LONG:
    case SQL_C_FLOAT: return 4;
    case SQL_C_USHORT:
    case SQL_C_SSHORT:
    case SQL_C_SHORT: return 2;
    case SQL_C_DOUBLE: return 8;
    case SQL_C_DATE:
    case SQL_C_TIME: return 6;
    case SQL_C_TIMESTAMP: return 16;
    case SQL_C_CHAR:
        return value != nullptr
                   ? static_cast<int32_t>(std::strlen(static_cast<const char *>(value)))
                   : 0;
    default: return 0;
    }
}
