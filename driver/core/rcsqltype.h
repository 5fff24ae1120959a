// SQL types: one table of what the driver knows of each SQL type code.
//
// A row per code the driver handles: the ODBC 2 SQL types and the engine's
// private ones (RC_SQL_SCALED64, RC_SQL_DECIMAL38 and the engine's own
// tinyint). Each row gives the type's class, the bytes of a value in its C
// form, and the rules for its column size, display size and scale as the
// result-column descriptions and the type catalog report them. Code that
// asks "is this a character type", "how long is a value of it" or "what
// size does it show" reads the row (rcSqlTypeOf) instead of switching on
// the codes itself.
//
// A code the table does not hold has no row: rcSqlTypeOf answers null and
// the questions below answer as for a type of no class (not character, not
// numeric, no fixed size, column and display size its length, no scale).
#pragma once

#include <cstdint>

// The engine's own tinyint (a one-byte value the data source reports as
// SQL_TINYINT).
inline constexpr int16_t RC_SQL_ENGINE_TINYINT = -28;

// Scale a type does not have.
inline constexpr int16_t kRcSqlNoScale = -30000;

enum rcSqlClass : uint8_t {
    RC_SQLCLASS_CHARACTER = 1,
    RC_SQLCLASS_EXACT,       // exact numerics (BIT and the private numerics included)
    RC_SQLCLASS_APPROXIMATE, // FLOAT, REAL, DOUBLE
    RC_SQLCLASS_DATETIME,
    RC_SQLCLASS_BINARY,
};

// How a size comes about: a fixed number, the column's length or
// precision, the precision unless it is 0 (then the number), twice the
// length (hexadecimal digits), the precision plus sign and point.
enum rcSqlSizeRule : uint8_t {
    RC_SIZE_LENGTH = 0,
    RC_SIZE_FIXED,
    RC_SIZE_PRECISION,
    RC_SIZE_PRECISION_OR_FIXED,
    RC_SIZE_TWICE_LENGTH,
    RC_SIZE_PRECISION_PLUS_2,
};

// The scale a type reports: none, always 0, or the column's own.
enum rcSqlScaleRule : uint8_t {
    RC_SCALE_NONE = 0,
    RC_SCALE_ZERO,
    RC_SCALE_GIVEN,
};

struct rcSqlTypeTraits {
    int16_t type;
    rcSqlClass cls;
    bool odbc;          // an ODBC SQL type (false: the engine's private types)
    uint8_t valueBytes; // bytes of a value of fixed size; 0 when its size varies
    bool textValue;     // the C form is a terminated text (character, NUMERIC, DECIMAL, BIGINT)
    rcSqlSizeRule sizeRule;
    int32_t size; // the number of RC_SIZE_FIXED and RC_SIZE_PRECISION_OR_FIXED
    rcSqlSizeRule displayRule;
    int32_t display;
    rcSqlScaleRule scaleRule;
};

// The row of a type code, or null when the table has none.
const rcSqlTypeTraits *rcSqlTypeOf(int16_t type);

// Class questions; false for a code without a row. Numeric and character
// and binary ask about the ODBC types only.
bool rcSqlIsCharacter(int16_t type);
bool rcSqlIsBinary(int16_t type);
bool rcSqlIsNumeric(int16_t type);

// Sizes from the rules of the type's row (a code without a row: length).
int32_t rcSqlColumnSize(int16_t type, int32_t length, int32_t precision);
int32_t rcSqlDisplaySize(int16_t type, int32_t length, int32_t precision);
// The scale a type reports: 0, the given scale, or kRcSqlNoScale.
int16_t rcSqlScale(int16_t type, int16_t scale);
