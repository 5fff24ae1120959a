// Value conversion between SQL types and the application's C types.
//
// Every value crossing the driver passes through rcCnvConvertValue (inside
// the driver, keeps the core code) or the exported rcCnvConvert (returns a
// message id). Both classify the source and destination types into
// conversion classes, look the pair up in the constant matrix of converter
// routines and call the routine on compact value forms; ODBC DATE, TIME and
// TIMESTAMP structures are validated and narrowed before, widened after.
//
// Lengths: the source length is the byte count of a character or binary
// source (SQL_NTS for terminated text) and is ignored for fixed-width types.
// The destination length is the byte size of the destination buffer for
// every type, fixed-width C types included: a destination shorter than the
// C form of its type receives nothing and the call answers "out of range"
// (the ODBC layer passes the width of a fixed C type when the application's
// buffer length does not apply). A destination length of 0 writes nothing;
// the out length still reports the length of the value.
//
// Binary mode: 0 turns a request for SQL_C_BINARY into the natural C form of
// the source; 1 allows binary destinations only from SQL_BINARY and SQL_CHAR
// sources (text read as hexadecimal); 2 (rcCnvConvert only) copies SQL_CHAR
// and SQL_VARCHAR text into SQL_C_BINARY as bytes.
//
// The tables are compile-time constants; every routine is re-entrant.
#pragma once

#include "driver/core/rcmsgid.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

// Private engine types.
constexpr int16_t RC_SQL_SCALED64 = 32020;
constexpr int16_t RC_SQL_DECIMAL38 = 32021;
// Stands for "the default C type" in rcCnvBothChar / rcCnvBothBinary.
constexpr int16_t kCnvDefaultCType = 99;

// Message ids of the driver's string table that conversions answer.
constexpr int32_t kCnvMsgSuccess = RC_MSG_NO_ERROR;         // 5100
constexpr int32_t kCnvMsgTruncated = RC_MSG_DATA_TRUNCATED; // 5102 "01004..."
constexpr int32_t kCnvMsgRestricted =
    RC_MSG_RESTRICTED_DATA_TYPE_ATTRIBUTE_VIOLATION;                             // 5105 "07006..."
constexpr int32_t kCnvMsgOutOfRange = RC_MSG_NUMERIC_VALUE_OUT_RANGE;            // 5116 "22003..."
constexpr int32_t kCnvMsgAssignment = RC_MSG_ERROR_IN_ASSIGNMENT;                // 5117 "22005..."
constexpr int32_t kCnvMsgNoMemory = RC_MSG_MEMORY_ALLOCATION_ERROR;              // 5136
constexpr int32_t kCnvMsgInvalidDate = RC_MSG_INVALID_DATE_TIME_TIMESTAMP_VALUE; // 5169 "22008..."

// Converter codes (results of the routines behind the matrix cells).
constexpr int kCnvOk = 0;
constexpr int kCnvTruncated = -7;  // a value was stored, shortened
constexpr int kCnvOutOfRange = -8; // out of range or destination too small; nothing stored
constexpr int kCnvInvalid = -9;    // source not valid for the conversion
constexpr int kCnvBadDate = -10;   // invalid date, time or timestamp

// Core codes (results of rcCnvConvertValue).
constexpr int kCnvCoreOk = 0;
constexpr int kCnvCoreNoMemory = -5;
constexpr int kCnvCoreTruncated = -6;
constexpr int kCnvCoreOutOfRange = -7;
constexpr int kCnvCoreAssignment = -8;
constexpr int kCnvCoreInvalidDate = -9;
constexpr int kCnvCoreNoConversion = -10;

// Conversion classes; the class code is also the matrix index. The private
// types sit at matrix indexes 15 (RC_SQL_DECIMAL38) and 16 (RC_SQL_SCALED64);
// their converters receive the type number as class code.
//
// RC_SQL_SCALED64 holds an 8-byte signed integer with an implied scale: the
// value is integer x 10^-scale, the scale being the conversion's scale
// argument (0..18; other values count as the nearest limit).
enum CnvClass : int16_t {
    kClsChar = 0,
    kClsNumText = 1,
    kClsBit = 2,
    kClsSTiny = 3,
    kClsUTiny = 4,
    kClsSShort = 5,
    kClsUShort = 6,
    kClsSLong = 7,
    kClsULong = 8,
    kClsReal = 9,
    kClsDouble = 10,
    kClsBinary = 11,
    kClsDate = 12,
    kClsTime = 13,
    kClsTimestamp = 14,
};
constexpr int kCnvDecimalIndex = 15;
constexpr int kCnvScaledIndex = 16;
constexpr int kCnvMatrixSize = 17;

// Compact forms handed to the date and time converters.
struct CnvDate {
    int16_t year;
    uint8_t month;
    uint8_t day;
};
struct CnvTime {
    uint8_t hour;
    uint8_t minute;
    uint8_t second;
};
struct CnvTimestamp {
    CnvDate date;
    CnvTime time;
    uint8_t filler;
    uint32_t fraction; // nanoseconds
};
static_assert(sizeof(CnvDate) == 4 && sizeof(CnvTime) == 3 && sizeof(CnvTimestamp) == 12);
static_assert(sizeof(DATE_STRUCT) == 6 && sizeof(TIME_STRUCT) == 6 &&
              sizeof(TIMESTAMP_STRUCT) == 16);

using rcCnvConverter = int (*)(const void *src, int16_t srcClass, int32_t srcLen, void *dst,
                               int16_t dstClass, int32_t dstLen, int16_t precision, int16_t scale,
                               int32_t *outLen);

// Exported conversion: returns a message id (kCnvMsg*).
extern "C" __attribute__((visibility("default"))) int32_t
rcCnvConvert(const void *src, int32_t srcType, int32_t srcLen, int16_t binaryMode, void *dst,
             uint16_t dstType, int32_t dstLen, int16_t precision, int16_t scale, int32_t *outLen);

// The conversion core: returns a core code (kCnvCore*).
int rcCnvConvertValue(const void *src, int16_t srcType, int32_t srcLen, int16_t binaryMode,
                      void *dst, int16_t dstType, int32_t dstLen, int16_t precision, int16_t scale,
                      int32_t *outLen);
// Core code -> message id; 0 for a code it does not know.
int32_t rcCnvCodeToMsg(int coreCode);
bool rcCnvCanConvert(int16_t srcType, int32_t binaryMode, int16_t dstType);

// The tables are constants; these keep the connect and disconnect roads'
// calls meaningful and always succeed.
int rcCnvInit();
void rcCnvFreeMatrix();

// The byte size of the C form of a fixed-length C type; 0 for character,
// binary and any type whose buffer length the application gives.
int32_t rcCnvCFixedSize(int16_t cType);

// Class map and matrix lookups: the matrix index of a type, or -1.
int rcCnvMatrixIndex(int16_t type);
// The class code a converter receives for a matrix index.
int16_t rcCnvClassCode(int index);
rcCnvConverter rcCnvMatrixCell(int srcIndex, int dstIndex);

// Type predicates.
bool rcCnvIsCharType(int16_t t);
bool rcCnvIsBinaryType(int16_t t);
bool rcCnvIsNumericType(int16_t t);
bool rcCnvIsFixedLengthType(int16_t t);
bool rcCnvIsUnpaddedType(int16_t t);
// The same test under the name the engine uses: false for SQL_CHAR and SQL_BINARY.
inline bool rcCnvIsPaddedType(int16_t t) { return rcCnvIsUnpaddedType(t); }
bool rcCnvBothChar(int16_t a, int16_t b);
bool rcCnvBothBinary(int16_t a, int16_t b);

// Byte length of a value in its C form.
int32_t rcCnvSqlValueLength(const void *value, int16_t sqlType);
int32_t rcCnvCValueLength(const void *value, int16_t cType);
