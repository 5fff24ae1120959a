// The SQL type table: the sizes ODBC applications see for each type (column
// size, display size, scale), the bytes of a value, and the class questions
// the converters and the type catalog ask.
#include "driver/core/rccnv.h"
#include "driver/core/rcsqltype.h"

#include <gtest/gtest.h>

namespace {

struct SizeCase {
    int16_t type;
    int32_t length, precision;   // of the column
    int32_t columnSize, display; // as reported
    int16_t scale;               // reported for a column of scale 3
    int32_t valueBytes;          // of a value in its C form (text: its length)
};

TEST(SqlTypeTable, SizesAndScalesAsReported)
{
    const SizeCase cases[] = {
        {SQL_CHAR, 20, 0, 20, 20, kRcSqlNoScale, 4},
        {SQL_VARCHAR, 80, 0, 80, 80, kRcSqlNoScale, 4},
        {SQL_LONGVARCHAR, 65500, 0, 65500, 65500, kRcSqlNoScale, 4},
        {SQL_NUMERIC, 22, 18, 10, 10, kRcSqlNoScale, 4},
        {SQL_DECIMAL, 12, 10, 10, 12, 3, 4},
        {SQL_INTEGER, 4, 0, 10, 11, 0, 4},
        {SQL_SMALLINT, 2, 0, 5, 6, 0, 2},
        {SQL_BIGINT, 20, 19, 20, 20, 0, 4},
        {SQL_TINYINT, 1, 0, 3, 4, 0, 1},
        {SQL_BIT, 1, 0, 1, 1, 0, 1},
        {SQL_REAL, 4, 0, 7, 13, kRcSqlNoScale, 4},
        {SQL_FLOAT, 8, 0, 15, 22, kRcSqlNoScale, 8},
        {SQL_DOUBLE, 8, 0, 15, 22, kRcSqlNoScale, 8},
        {SQL_DATE, 6, 0, 10, 10, kRcSqlNoScale, 6},
        {SQL_TIME, 6, 0, 8, 8, kRcSqlNoScale, 6},
        {SQL_TIMESTAMP, 16, 0, 30, 30, 0, 16},  // no precision from the catalog
        {SQL_TIMESTAMP, 16, 19, 19, 30, 0, 16}, // the catalog's precision
        {SQL_BINARY, 16, 0, 16, 32, kRcSqlNoScale, 0},
        {SQL_VARBINARY, 16, 0, 16, 16, kRcSqlNoScale, 0},
        {SQL_LONGVARBINARY, 65500, 0, 65500, 256000000, kRcSqlNoScale, 0},
        // The engine's private types: sized like their ODBC relatives, but
        // no C form of their own.
        {RC_SQL_DECIMAL38, 38, 38, 38, 40, 3, 0},
        {RC_SQL_SCALED64, 8, 18, 8, 8, kRcSqlNoScale, 0},
        {RC_SQL_ENGINE_TINYINT, 1, 0, 3, 4, kRcSqlNoScale, 0},
        // A code without a row: its length, no scale, no size.
        {SQL_WVARCHAR, 30, 0, 30, 30, kRcSqlNoScale, 0},
    };
    for (const SizeCase &c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ(rcSqlColumnSize(c.type, c.length, c.precision), c.columnSize);
        EXPECT_EQ(rcSqlDisplaySize(c.type, c.length, c.precision), c.display);
        EXPECT_EQ(rcSqlScale(c.type, 3), c.scale);
        EXPECT_EQ(rcCnvSqlValueLength("1234", c.type), c.valueBytes);
    }
    EXPECT_EQ(rcCnvSqlValueLength(nullptr, SQL_VARCHAR), 0);
}

TEST(SqlTypeTable, ClassesOfTheOdbcTypesOnly)
{
    const struct {
        int16_t type;
        bool character, binary, numeric;
    } cases[] = {
        {SQL_CHAR, true, false, false},
        {SQL_LONGVARCHAR, true, false, false},
        {SQL_VARBINARY, false, true, false},
        {SQL_LONGVARBINARY, false, true, false},
        {SQL_BIT, false, false, true},
        {SQL_BIGINT, false, false, true},
        {SQL_DOUBLE, false, false, true},
        {SQL_DECIMAL, false, false, true},
        {SQL_TIMESTAMP, false, false, false},
        {RC_SQL_DECIMAL38, false, false, false},
        {RC_SQL_ENGINE_TINYINT, false, false, false},
        {SQL_WCHAR, false, false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ(rcCnvIsCharType(c.type), c.character);
        EXPECT_EQ(rcCnvIsBinaryType(c.type), c.binary);
        EXPECT_EQ(rcCnvIsNumericType(c.type), c.numeric);
    }
    ASSERT_NE(rcSqlTypeOf(RC_SQL_DECIMAL38), nullptr);
    EXPECT_EQ(rcSqlTypeOf(RC_SQL_DECIMAL38)->cls, RC_SQLCLASS_EXACT);
    EXPECT_EQ(rcSqlTypeOf(SQL_WCHAR), nullptr);
    // Every number finds its own type or none, in and out of the range of
    // ODBC type numbers looked up by index (0, 13 and SQL_WVARCHAR have no
    // type here; RC_SQL_ENGINE_TINYINT lies outside the range).
    for (int t = -12; t <= 40; ++t) {
        SCOPED_TRACE(t);
        const rcSqlTypeTraits *found = rcSqlTypeOf(static_cast<int16_t>(t));
        if (found != nullptr) {
            EXPECT_EQ(found->type, t);
        }
        EXPECT_EQ(found != nullptr, (t >= -7 && t <= -1) || (t >= 1 && t <= 12));
    }
    ASSERT_NE(rcSqlTypeOf(RC_SQL_ENGINE_TINYINT), nullptr);
    EXPECT_EQ(rcSqlTypeOf(RC_SQL_ENGINE_TINYINT)->type, RC_SQL_ENGINE_TINYINT);
}

} // namespace
