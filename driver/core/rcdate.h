// Dates and times of the conversion core: validity, the calendar routines
// the engine's date arithmetic uses, and the parser of date and time text
// (plain, {d '...'}, {t '...'}, {ts '...'} and the escape-comment form
// "--(*vendor(Microsoft),product(ODBC) d '...'*)--").
#pragma once

#include "driver/core/rccnv.h"

#include <cstdint>

bool rcCnvIsLeapYear(int16_t year);
// Days in the month (1-12) of the year; 0 for another month.
int rcCnvDaysInMonth(int16_t year, int month);
// Year 0..9999, month 1-12, day within the month.
bool rcCnvDateValid(const CnvDate &d);
// Hour 0-23, minute and second 0-59.
bool rcCnvTimeValid(const CnvTime &t);
// A valid date and time and a fraction below 1000000000.
bool rcCnvTimestampValid(const CnvTimestamp &ts);
// The local calendar date, from the injectable platform clock.
void rcCnvToday(CnvDate &out);

// Parses date or time text: 0 or -10. The timestamp is zeroed first; `cls`
// receives kClsDate, kClsTime or kClsTimestamp.
int rcCnvParseDateTime(const char *text, CnvTimestamp &out, int16_t &cls);

// ODBC structures <-> compact forms. The narrowing routines read the
// structure bytes (any alignment) and return false for an invalid value.
bool rcCnvNarrowDate(const void *odbc, CnvDate &out);
bool rcCnvNarrowTime(const void *odbc, CnvTime &out);
bool rcCnvNarrowTimestamp(const void *odbc, CnvTimestamp &out);
void rcCnvWidenDate(const CnvDate &in, void *odbc);
void rcCnvWidenTime(const CnvTime &in, void *odbc);
void rcCnvWidenTimestamp(const CnvTimestamp &in, void *odbc);
