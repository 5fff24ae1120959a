// Column values, date arithmetic and the literal reader of the evaluator.
//
// Column values: a column reference names a base-table column and the reader
// that fetches it (TamGetColumn through rcEvlTamReader in the driver, a fake
// row source in tests). While the table's null-row flag is set (the executor
// sets it for the inner table of an outer join row without a match) every
// column reads as NULL without a call.
//   rcEvlFetchColumn(errors, col, buf, size, &isNull, &len)      whole value
//   rcEvlFetchColumnPart(errors, col, buf, size, offset, ...)    a piece
//   rcEvlStoreResult(type, holder, value, length)                keep a value
//
// Dates: day serials count days from 30 December 1899 (day 0), so 1 January
// 1900 is day 2; leap years follow the Gregorian rule. Operations test their
// results with explicit checks (zero divisors, results that are not finite),
// so no trap or signal handler is ever installed and the floating-point
// guard has nothing to do.
#pragma once

#include <cstdint>

#include <sql.h>
#include <sqlext.h>

#include "driver/Sources/drm.h"

struct rcErrorQueue;

// Reads column `column` of the row source's current row, as TamGetColumn
// does: 0, 1004 NULL, 1006 truncated, a negative data-module code on failure.
using rcEvlColumnReader = int32_t (*)(void *source, uint32_t column, void *buffer, uint32_t length,
                                      uint32_t *outLength, DRM_RETINFO *partial, int16_t sqlType);

constexpr int32_t RC_EVL_COL_NULL = kDrmWarnNull;
constexpr int32_t RC_EVL_COL_TRUNCATED = kDrmWarnTruncated;
constexpr int32_t RC_EVL_TRANSLATION_FAILED = -5019;

struct rcEvlTamSource;
struct TempTable;

struct rcEvlColumnRef {
    const uint32_t *nullRow = nullptr; // the table's null-row flag; none without outer joins
    int16_t sqlType = 0;
    uint32_t length = 0; // declared length (characters or bytes)
    uint16_t precision = 0;
    uint16_t scale = 0;
    rcEvlColumnReader read = nullptr;
    void *source = nullptr; // the reader's table
    uint32_t column = 0;
    // A base-table column: its table, read with TamGetColumn itself (no
    // reader between) while *redirect is null; the reader is called while
    // the column is redirected to a temporary table, or when tam is null.
    const rcEvlTamSource *tam = nullptr;
    TempTable *const *redirect = nullptr;
};

// The reader over the table-access layer: source is an rcEvlTamSource.
struct TamSession;
struct TamTableHandle;
struct rcEvlTamSource {
    TamSession *session;
    TamTableHandle *handle;
};
int32_t rcEvlTamReader(void *source, uint32_t column, void *buffer, uint32_t length,
                       uint32_t *outLength, DRM_RETINFO *partial, int16_t sqlType);

int16_t rcEvlFetchColumn(rcErrorQueue *errors, const rcEvlColumnRef *col, void *buffer,
                         uint32_t size, bool *isNull, uint32_t *length);
// 0 the rest fitted, 1 more data follows, -1 error posted.
int16_t rcEvlFetchColumnPart(rcErrorQueue *errors, const rcEvlColumnRef *col, void *buffer,
                             uint32_t size, uint32_t offset, bool *isNull, uint32_t *length);

// A value holder: kind 3 owns a copied text (rcMemAlloc), kind 4 holds the
// value in place.
struct rcEvlHolder {
    uint16_t kind = 0;
    int16_t sqlType = 0;
    char *text = nullptr;
    unsigned char value[40] = {};
};
constexpr uint16_t RC_EVL_HOLD_TEXT = 3;
constexpr uint16_t RC_EVL_HOLD_INPLACE = 4;
// 0, or -1 with 5136 posted.
int16_t rcEvlStoreResult(rcErrorQueue *errors, int16_t sqlType, rcEvlHolder *holder,
                         const void *value, uint32_t length);
void rcEvlHolderFree(rcEvlHolder *holder);

// Day serials and date arithmetic.
int16_t rcEvlDateToSerial(const DATE_STRUCT &date, double *serial); // 0 or -10
int16_t rcEvlSerialToDate(double serial, DATE_STRUCT *date);        // 0 or -8
int16_t rcEvlDateAddDays(const DATE_STRUCT &date, double days, DATE_STRUCT *out);
int16_t rcEvlDateSubDays(const DATE_STRUCT &date, double days, DATE_STRUCT *out);
int16_t rcEvlTimestampAddDays(const TIMESTAMP_STRUCT &ts, double days, TIMESTAMP_STRUCT *out);
int16_t rcEvlDateDiff(const DATE_STRUCT &a, const DATE_STRUCT &b, double *days);
int16_t rcEvlTimestampDiff(const TIMESTAMP_STRUCT &a, const TIMESTAMP_STRUCT &b, double *days);
int rcEvlDayOfYear(const DATE_STRUCT &date);
int rcEvlDayOfWeek(const DATE_STRUCT &date); // 1 Sunday .. 7 Saturday

// Reads a quoted date, time or timestamp literal, escapes included. wanted:
// 1 date, 2 time, 3 timestamp. 2 accepted, 3 accepted but another kind, 1
// rejected. The value, when accepted, in *out (date and time parts set as
// present).
enum : int16_t {
    RC_EVL_LIT_REJECTED = 1,
    RC_EVL_LIT_ACCEPTED = 2,
    RC_EVL_LIT_OTHER_KIND = 3,
};
int16_t rcEvlParseTimestampLiteral(int wanted, const char *quoted, TIMESTAMP_STRUCT *out = nullptr);

// Floating-point guard around evaluation (kept for the callers' bracket).
void rcEvlFpGuardOn();
