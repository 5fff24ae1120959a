// Column values for evaluation, day serials and the date literal reader, and
// the unsupported-SQL check.
#include <gtest/gtest.h>

#include <cstring>

#include "driver/core/rcmsgid.h"
#include "driver/engine/expr/rcchkunsup.h"
#include "driver/engine/expr/tests/expr_test_util.h"

using namespace exptest;

namespace {

// A raw row source: each column answers a fixed code and bytes.
struct RawColumn {
    int32_t code;
    std::string bytes;
};

int32_t RawRead(void *source, uint32_t column, void *buffer, uint32_t length, uint32_t *outLength,
                DRM_RETINFO *partial, int16_t)
{
    const auto &col = static_cast<std::vector<RawColumn> *>(source)->at(column);
    size_t from = partial ? partial->delivered : 0;
    size_t rest = from < col.bytes.size() ? col.bytes.size() - from : 0;
    std::memcpy(buffer, col.bytes.data() + from, rest < length ? rest : length);
    *outLength = static_cast<uint32_t>(rest);
    if (col.code == 0 && rest > length)
        return RC_EVL_COL_TRUNCATED;
    return col.code;
}

struct ColumnFixture : ::testing::Test {
    std::vector<RawColumn> cols;
    uint32_t nullRow = 0;
    rcErrorQueue errors{};
    ~ColumnFixture() override { rcErrQueueDestroy(&errors); }
    rcEvlColumnRef Ref(uint32_t column, int16_t type)
    {
        rcEvlColumnRef r;
        r.sqlType = type;
        r.read = RawRead;
        r.source = &cols;
        r.column = column;
        r.nullRow = &nullRow;
        return r;
    }
};

TEST_F(ColumnFixture, ValuesNullsAndTheNullRow)
{
    cols = {{0, "abcd"}, {0, std::string("\x05", 1)}, {kDrmWarnNull, ""}, {0, "ab"}};
    char buf[8];
    bool isNull = true;
    uint32_t len = 0;
    rcEvlColumnRef v = Ref(0, SQL_VARCHAR), bit = Ref(1, SQL_BIT), nul = Ref(2, SQL_INTEGER),
                   c = Ref(3, SQL_CHAR);
    // A VARCHAR value exactly as long as the buffer gives up its last byte.
    ASSERT_EQ(rcEvlFetchColumn(&errors, &v, buf, 4, &isNull, &len), 0);
    EXPECT_FALSE(isNull);
    EXPECT_EQ(len, 3u);
    EXPECT_STREQ(buf, "abc");
    ASSERT_EQ(rcEvlFetchColumn(&errors, &v, buf, 5, &isNull, &len), 0);
    EXPECT_STREQ(buf, "abcd");
    // A BIT column holding 5 reads as 1.
    ASSERT_EQ(rcEvlFetchColumn(&errors, &bit, buf, 1, &isNull, &len), 0);
    EXPECT_EQ(buf[0], 1);
    ASSERT_EQ(rcEvlFetchColumn(&errors, &nul, buf, 4, &isNull, &len), 0);
    EXPECT_TRUE(isNull);
    // On the null row of an outer join every column is NULL without a read,
    // and a CHAR column also reads as an empty text.
    nullRow = 1;
    cols.clear();
    std::strcpy(buf, "junk");
    ASSERT_EQ(rcEvlFetchColumn(&errors, &c, buf, 8, &isNull, &len), 0);
    EXPECT_TRUE(isNull);
    EXPECT_STREQ(buf, "");
    ASSERT_EQ(rcEvlFetchColumnPart(&errors, &v, buf, 8, 0, &isNull, &len), 0);
    EXPECT_TRUE(isNull);
    EXPECT_FALSE(rcErrQueueAny(&errors));
}

TEST_F(ColumnFixture, PiecesAndFailures)
{
    cols = {{0, "0123456789"}, {RC_EVL_TRANSLATION_FAILED, ""}, {-1001, ""}};
    char buf[4];
    bool isNull = false;
    uint32_t len = 0;
    rcEvlColumnRef lv = Ref(0, SQL_LONGVARCHAR);
    EXPECT_EQ(rcEvlFetchColumnPart(&errors, &lv, buf, 4, 0, &isNull, &len), 1);
    EXPECT_STREQ(buf, "012");
    EXPECT_EQ(rcEvlFetchColumnPart(&errors, &lv, buf, 4, 8, &isNull, &len), 0);
    EXPECT_STREQ(buf, "89");
    rcEvlColumnRef x = Ref(1, SQL_VARCHAR), y = Ref(2, SQL_INTEGER);
    EXPECT_EQ(rcEvlFetchColumn(&errors, &x, buf, 4, &isNull, &len), -1);
    EXPECT_EQ(rcEvlFetchColumn(&errors, &y, buf, 4, &isNull, &len), -1);
    EXPECT_EQ(rcErrQueueCount(&errors), 2u);
}

TEST(ValueHolders, StoreInPlaceOrAsACopiedText)
{
    rcEvlHolder h;
    int32_t i = 42;
    ASSERT_EQ(rcEvlStoreResult(nullptr, SQL_INTEGER, &h, &i, 4), 0);
    EXPECT_EQ(h.kind, RC_EVL_HOLD_INPLACE);
    int32_t back;
    std::memcpy(&back, h.value, 4);
    EXPECT_EQ(back, 42);
    ASSERT_EQ(rcEvlStoreResult(nullptr, SQL_VARCHAR, &h, "hello", 5), 0);
    EXPECT_EQ(h.kind, RC_EVL_HOLD_TEXT);
    EXPECT_STREQ(h.text, "hello");
    ASSERT_EQ(rcEvlStoreResult(nullptr, SQL_VARCHAR, &h, "", 0), 0); // the old text is freed
    EXPECT_STREQ(h.text, "");
    rcEvlHolderFree(&h);
}

TEST(DaySerials, KnownDaysAndRoundTrips)
{
    struct {
        DATE_STRUCT date;
        double serial;
    } known[] = {
        {{1899, 12, 30}, 0},   {{1900, 1, 1}, 2},         {{1900, 3, 1}, 61},
        {{2000, 1, 1}, 36526}, {{2000, 2, 29}, 36585},    {{1800, 1, 1}, -36522},
        {{1, 1, 1}, -693593},  {{9999, 12, 31}, 2958465},
    };
    for (const auto &k : known) {
        double s = -1;
        ASSERT_EQ(rcEvlDateToSerial(k.date, &s), 0);
        EXPECT_EQ(s, k.serial) << k.date.year << "-" << k.date.month << "-" << k.date.day;
        DATE_STRUCT back{};
        ASSERT_EQ(rcEvlSerialToDate(k.serial, &back), 0);
        EXPECT_EQ(back.year, k.date.year);
        EXPECT_EQ(back.month, k.date.month);
        EXPECT_EQ(back.day, k.date.day);
    }
    for (double s = -800000; s < 3000000; s += 997) {
        DATE_STRUCT d{};
        ASSERT_EQ(rcEvlSerialToDate(s, &d), 0);
        double again = 0;
        ASSERT_EQ(rcEvlDateToSerial(d, &again), 0);
        EXPECT_EQ(again, s);
    }
    DATE_STRUCT d{};
    EXPECT_EQ(rcEvlSerialToDate(36526.9, &d), 0); // the fraction is dropped
    EXPECT_EQ(d.day, 1);
    EXPECT_EQ(rcEvlSerialToDate(2147483647.0, &d), -8);
    EXPECT_EQ(rcEvlSerialToDate(-2147483648.0, &d), -8);
    EXPECT_EQ(rcEvlSerialToDate(20000000.0, &d), -8); // past year 32766
    double s;
    for (DATE_STRUCT bad :
         {DATE_STRUCT{2000, 0, 1}, DATE_STRUCT{2000, 13, 1}, DATE_STRUCT{2000, 1, 0},
          DATE_STRUCT{1900, 2, 29}, DATE_STRUCT{2001, 4, 31}})
        EXPECT_EQ(rcEvlDateToSerial(bad, &s), -10);
}

TEST(DaySerials, ArithmeticWeekdaysAndYearDays)
{
    DATE_STRUCT out{};
    ASSERT_EQ(rcEvlDateAddDays({2000, 1, 31}, 31, &out), 0);
    EXPECT_EQ(out.month, 3);
    EXPECT_EQ(out.day, 2);
    ASSERT_EQ(rcEvlDateSubDays({2000, 3, 1}, 1, &out), 0);
    EXPECT_EQ(out.day, 29);
    EXPECT_EQ(rcEvlDateAddDays({2000, 2, 30}, 1, &out), -10);
    TIMESTAMP_STRUCT ts{};
    ASSERT_EQ(rcEvlTimestampAddDays({1999, 12, 31, 23, 59, 59, 5}, 1, &ts), 0);
    EXPECT_EQ(ts.year, 2000);
    EXPECT_EQ(ts.hour, 23);
    EXPECT_EQ(ts.fraction, 5u);
    double days = 0;
    ASSERT_EQ(rcEvlTimestampDiff({2000, 3, 1, 0, 0, 0, 0}, {2000, 2, 28, 23, 0, 0, 0}, &days), 0);
    EXPECT_EQ(days, 2);
    EXPECT_EQ(rcEvlDayOfWeek({2000, 1, 1}), 7);
    EXPECT_EQ(rcEvlDayOfWeek({1900, 1, 1}), 2);
    EXPECT_EQ(rcEvlDayOfWeek({2024, 2, 29}), 5);
    EXPECT_EQ(rcEvlDayOfYear({2000, 12, 31}), 366);
    EXPECT_EQ(rcEvlDayOfYear({1999, 12, 31}), 365);
}

TEST(DateLiterals, KindsEscapesAndRejections)
{
    TIMESTAMP_STRUCT ts{};
    EXPECT_EQ(rcEvlParseTimestampLiteral(1, "'2000-01-01'", &ts), RC_EVL_LIT_ACCEPTED);
    EXPECT_EQ(rcEvlParseTimestampLiteral(3, "'2000-01-01'"), RC_EVL_LIT_OTHER_KIND);
    EXPECT_EQ(rcEvlParseTimestampLiteral(2, "'10:20'"), RC_EVL_LIT_ACCEPTED);
    EXPECT_EQ(rcEvlParseTimestampLiteral(3, "'1999-01-01 10:00:00.5'", &ts), RC_EVL_LIT_ACCEPTED);
    EXPECT_EQ(ts.fraction, 500000000u);
    EXPECT_EQ(rcEvlParseTimestampLiteral(1, "'{d '2000-02-29'}'"), RC_EVL_LIT_ACCEPTED);
    EXPECT_EQ(rcEvlParseTimestampLiteral(1, "'2000-02-30'"), RC_EVL_LIT_REJECTED);
    EXPECT_EQ(rcEvlParseTimestampLiteral(1, "'1900-02-29'"), RC_EVL_LIT_REJECTED);
    EXPECT_EQ(rcEvlParseTimestampLiteral(2, "'24:00:00'"), RC_EVL_LIT_REJECTED);
    EXPECT_EQ(rcEvlParseTimestampLiteral(1, "'yesterday'"), RC_EVL_LIT_REJECTED);
    EXPECT_EQ(rcEvlParseTimestampLiteral(1, "'2000-01-01 00:00:00.000000000 and far too long'"),
              RC_EVL_LIT_REJECTED);
    EXPECT_EQ(rcEvlParseTimestampLiteral(1, ""), RC_EVL_LIT_REJECTED);
}

// The unsupported-SQL check over statement trees of the grammar's shapes.
TEST(UnsupportedSql, RefusedStatementsNameTheClauseAndOthersPass)
{
    TreeArena t;
    auto tok = [&](uint16_t id, const char *text) { return t.Node(id, text); };
    auto col = [&](const char *name) {
        return t.N(RC_N_ColName, {t.N(RC_N_ColId, {tok(RC_T_IDENTIFIER, name)})});
    };
    auto table = [&] { return t.N(RC_N_TableName, {tok(RC_T_IDENTIFIER, "t")}); };
    auto from = [&] {
        return t.N(RC_N_TableRefList, {tok(RC_T_FROM, "FROM"), t.N(RC_N_TableRef, {table()})});
    };
    auto item = [&](rcParseNode *e) {
        return t.N(RC_N_SelSubListItem, {t.N(RC_N_Expression, {e})});
    };
    auto select = [&](rcParseNode *distinct, rcParseNode *what) {
        return t.N(RC_N_SelectStmt, {t.N(RC_N_QuerySpec, {tok(RC_T_SELECT, "SELECT"), distinct,
                                                          t.N(RC_N_SelectList, {what}), from()})});
    };
    auto columnDef = [&](rcParseNode *extra) {
        return t.N(RC_N_ColDef, {t.N(RC_N_ColId, {tok(RC_T_IDENTIFIER, "a")}),
                                 t.N(RC_N_DataType, {tok(RC_T_IDENTIFIER, "INTEGER")}), extra});
    };
    struct {
        const char *what;
        rcParseNode *tree;
        const char *text; // null: accepted
    } cases[] = {
        {"GRANT SELECT ON t TO PUBLIC",
         t.N(RC_N_GrantStmt, {tok(RC_T_GRANT, "GRANT"),
                              t.N(RC_N_GPrivList, {t.N(RC_N_GPriv, {tok(RC_T_SELECT, "SELECT")})}),
                              tok(RC_T_ON, "ON"), table(), tok(RC_T_TO, "TO"),
                              t.N(RC_N_PublicOrUsers, {tok(RC_T_PUBLIC, "PUBLIC")})}),
         "Privileges not supported."},
        {"REVOKE SELECT ON t FROM PUBLIC",
         t.N(RC_N_RevokeStmt,
             {tok(RC_T_REVOKE, "REVOKE"), t.N(RC_N_RPrivList, {tok(RC_T_SELECT, "SELECT")})}),
         "Revoke option not supported."},
        {"ALTER TABLE t ADD a INTEGER",
         t.N(RC_N_AlterTableStmt, {tok(RC_T_ALTER, "ALTER"), tok(RC_T_TABLE, "TABLE"), table(),
                                   tok(RC_T_ADD, "ADD"), t.N(RC_N_ATColDef, {columnDef(nullptr)})}),
         "Alter not supported."},
        {"CREATE TABLE t (a INTEGER DEFAULT 1)",
         t.N(RC_N_CreateTableStmt,
             {tok(RC_T_CREATE, "CREATE"), tok(RC_T_TABLE, "TABLE"), table(),
              t.N(RC_N_ColElementList,
                  {columnDef(t.N(RC_N_Default_Opt,
                                 {tok(RC_T_DEFAULT, "DEFAULT"),
                                  t.N(RC_N_DefaultValue, {tok(RC_T_USINT_LIT, "1")})}))})}),
         "SQL option not supported."},
        {"SELECT COUNT(DISTINCT a) FROM t",
         select(nullptr, item(t.N(RC_N_Primary,
                                  {t.N(RC_N_SetFunctionRef,
                                       {t.N(RC_N_DistinctFn,
                                            {t.N(RC_N_DistAllFnOp, {tok(RC_T_COUNT, "COUNT")}),
                                             t.N(RC_N_DistinctFnOpParen,
                                                 {tok('(', "("), tok(RC_T_DISTINCT, "DISTINCT")}),
                                             col("a"), tok(')', ")")})})}))),
         "Distinct option not supported."},
        {"a CASCADE token",
         t.N(RC_N_DropTableStmt, {tok(RC_T_DROP, "DROP"), tok(RC_T_TABLE, "TABLE"), table(),
                                  tok(RC_T_CASCADE, "CASCADE")}),
         "Unsupported SQL: CASCADE"},
        {"SELECT DISTINCT a FROM t",
         select(t.N(RC_N_AllDistinct_Opt, {tok(RC_T_DISTINCT, "DISTINCT")}),
                item(t.N(RC_N_Primary, {col("a")}))),
         nullptr},
        {"SELECT SUM(a) FROM t",
         select(nullptr,
                item(t.N(RC_N_Primary,
                         {t.N(RC_N_SetFunctionRef,
                              {t.N(RC_N_AllFn,
                                   {t.N(RC_N_DistAllFnOp, {tok(RC_T_SUM, "SUM")}), tok('(', "("),
                                    t.N(RC_N_Expression, {t.N(RC_N_Primary, {col("a")})}),
                                    tok(')', ")")})})}))),
         nullptr},
        {"CREATE TABLE t (a INTEGER)",
         t.N(RC_N_CreateTableStmt, {tok(RC_T_CREATE, "CREATE"), tok(RC_T_TABLE, "TABLE"), table(),
                                    t.N(RC_N_ColElementList, {columnDef(nullptr)})}),
         nullptr},
        {"DELETE FROM t",
         t.N(RC_N_DeleteStmt, {tok(RC_T_DELETE, "DELETE"), tok(RC_T_FROM, "FROM"), table()}),
         nullptr},
    };
    for (const auto &c : cases) {
        rcErrorQueue errors{};
        int16_t rc = rcChkUnsupported(&errors, c.tree);
        std::string text;
        uint32_t msg = 0;
        if (errors.list && rcListCount(errors.list) > 0) {
            rcErrorRecord rec;
            rcListGet(errors.list, &rec, 0);
            msg = rec.msgId;
            text = rec.text ? rec.text : "";
        }
        if (c.text) {
            EXPECT_EQ(rc, RC_ENG_UNSUPPORTED_SQL_COMMAND_STATEMENT) << c.what;
            EXPECT_EQ(msg, RC_ENG_UNSUPPORTED_SQL_COMMAND_STATEMENT) << c.what;
            EXPECT_EQ(text, c.text) << c.what;
        } else {
            EXPECT_EQ(rc, 0) << c.what;
            EXPECT_EQ(msg, 0u) << c.what;
        }
        rcErrQueueDestroy(&errors);
    }
    char buf[96];
    EXPECT_STREQ(rcChkUnsupportedText(RC_T_CASCADE, buf, sizeof buf), "Unsupported SQL: CASCADE");
    EXPECT_EQ(rcChkUnsupportedText(RC_T_SELECT, buf, sizeof buf), nullptr);
}

} // namespace
