// Catalog result sets: rows put in any order come back through the
// statement's plan in the order ODBC gives the function; SQLGetData's reads
// of a row (pieces, NULL, numbers, repeated reads); the described columns;
// closing and releasing the result; name patterns.
#include "driver/engine/catalog/rccat.h"

#include <sqlext.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/core/rcerror.h"
#include "driver/core/rclock.h"
#include "driver/core/rcmem.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/exec/rcexe.h"
#include "driver/engine/exec/rcexestmt.h"
#include "driver/engine/rcsem.h"
#include "driver/engine/rcstmt.h"

namespace {

class CatalogResult : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(rcInitDriverGlobals(), 0);
        stmt.errors = &errors;
    }
    void TearDown() override
    {
        rcCatRelease(&stmt);
        rcErrQueueDestroy(&errors);
        rcPoolFreeAll();
    }
    int16_t Fetch() { return rcExeFetch(stmt.planner); }
    int16_t Get(uint16_t k, int16_t type, void *buf, int32_t size, int32_t *length, uint32_t at,
                bool *isNull)
    {
        return rcExeGetColumn(stmt.planner, k, type, buf, size, length, at, isNull);
    }
    // Text of column k (from 0) of the current row, "NULL" for NULL.
    std::string Text(uint16_t k)
    {
        char buf[300] = {};
        int32_t length = 0;
        bool isNull = false;
        EXPECT_EQ(Get(k, SQL_C_CHAR, buf, sizeof buf, &length, 0, &isNull), 0);
        return isNull ? "NULL" : buf;
    }
    rcErrorQueue errors{};
    rcStmt stmt;
};

TEST_F(CatalogResult, StatisticsComeInOdbcOrder)
{
    ASSERT_EQ(rcCatBegin(&stmt, RC_CAT_STATISTICS), 0);
    // NON_UNIQUE, INDEX_NAME, TYPE, SEQ_IN_INDEX, COLUMN_NAME; the table's
    // own row has NULL for NON_UNIQUE and comes first.
    struct Row {
        int nonUnique; // -1 NULL
        const char *index;
        int type, seq;
        const char *column;
    };
    const Row rows[] = {
        {1, "Name", 3, 1, "Name"}, {0, "Key", 3, 2, "B"},     {-1, nullptr, 0, 0, nullptr},
        {0, "Key", 3, 1, "A"},     {1, "Dept", 3, 1, "Dept"}, {0, "Clu", 1, 1, "C"},
    };
    for (const Row &r : rows) {
        rcCatValue v[13] = {rcCatValue::Str("Q"),
                            {},
                            rcCatValue::Str("T"),
                            r.nonUnique < 0 ? rcCatValue{} : rcCatValue::Num(r.nonUnique),
                            {},
                            rcCatValue::Str(r.index),
                            rcCatValue::Num(r.type),
                            r.seq == 0 ? rcCatValue{} : rcCatValue::Num(r.seq),
                            rcCatValue::Str(r.column),
                            {},
                            {},
                            {},
                            {}};
        ASSERT_EQ(rcCatPutRow(&stmt, v), 0);
    }
    ASSERT_EQ(rcCatFinish(&stmt), 0);
    std::vector<std::string> got;
    while (Fetch() == 0)
        got.push_back(Text(3) + " " + Text(6) + " " + Text(5) + " " + Text(7));
    EXPECT_EQ(got, (std::vector<std::string>{"NULL 0 NULL NULL", "0 1 Clu 1", "0 3 Key 1",
                                             "0 3 Key 2", "1 3 Dept 1", "1 3 Name 1"}));
    EXPECT_EQ(Fetch(), 100);
    EXPECT_EQ(Fetch(), 100);
}

TEST_F(CatalogResult, GetDataInPiecesAndRepeated)
{
    ASSERT_EQ(rcCatBegin(&stmt, RC_CAT_PRIMARY_KEYS), 0);
    rcCatValue v[6] = {rcCatValue::Str("TCP/IP:127.0.0.1:19813"),
                       {},
                       rcCatValue::Str("Emp"),
                       rcCatValue::Str("ID"),
                       rcCatValue::Num(1),
                       {}};
    ASSERT_EQ(rcCatPutRow(&stmt, v), 0);
    ASSERT_EQ(rcCatFinish(&stmt), 0);
    char buf[8];
    int32_t length = 0;
    bool isNull = false;
    // Before a fetch no row is current.
    EXPECT_EQ(Get(0, SQL_C_CHAR, buf, sizeof buf, &length, 0, &isNull), -1);
    rcErrClearQueue(&errors);
    ASSERT_EQ(Fetch(), 0);
    // 22 characters read from offsets 7 apart: each reports what is left.
    std::string whole;
    std::vector<int32_t> lengths;
    int16_t rc;
    uint32_t at = 0;
    while ((rc = Get(0, SQL_C_CHAR, buf, sizeof buf, &length, at, &isNull)) == 1) {
        whole += buf;
        lengths.push_back(length);
        at += sizeof buf - 1;
    }
    ASSERT_EQ(rc, 0);
    whole += buf;
    lengths.push_back(length);
    EXPECT_EQ(whole, "TCP/IP:127.0.0.1:19813");
    EXPECT_EQ(lengths, (std::vector<int32_t>{22, 15, 8, 1}));
    // Read again from the start: the value stays.
    EXPECT_EQ(Get(0, SQL_C_CHAR, buf, sizeof buf, &length, 0, &isNull), 1);
    EXPECT_EQ(length, 22);
    // NULL.
    EXPECT_EQ(Get(1, SQL_C_CHAR, buf, sizeof buf, &length, 0, &isNull), 0);
    EXPECT_TRUE(isNull);
    // A number as its own type and as text.
    int16_t seq = 0;
    EXPECT_EQ(Get(4, SQL_C_SSHORT, &seq, sizeof seq, &length, 0, &isNull), 0);
    EXPECT_FALSE(isNull);
    EXPECT_EQ(seq, 1);
    EXPECT_EQ(length, 2);
    EXPECT_EQ(Get(4, SQL_C_CHAR, buf, sizeof buf, &length, 0, &isNull), 0);
    EXPECT_STREQ(buf, "1");
    // A missing buffer still reports the length.
    EXPECT_EQ(Get(2, SQL_C_CHAR, nullptr, 0, &length, 0, &isNull), 1);
    EXPECT_EQ(length, 3);
    // A column past the visible ones.
    EXPECT_EQ(Get(6, SQL_C_CHAR, buf, sizeof buf, &length, 0, &isNull), -1);
}

TEST_F(CatalogResult, EmptyResultClosedAndRewound)
{
    // No rows: the first fetch ends the result.
    ASSERT_EQ(rcCatBegin(&stmt, RC_CAT_TABLES), 0);
    ASSERT_EQ(rcCatFinish(&stmt), 0);
    EXPECT_EQ(Fetch(), 100);
    // Two rows read, then put before the first row again.
    ASSERT_EQ(rcCatBegin(&stmt, RC_CAT_TABLES), 0);
    for (const char *name : {"B", "A"}) {
        rcCatValue v[5] = {{}, {}, rcCatValue::Str(name), rcCatValue::Str("TABLE"), {}};
        ASSERT_EQ(rcCatPutRow(&stmt, v), 0);
    }
    ASSERT_EQ(rcCatFinish(&stmt), 0);
    ASSERT_EQ(Fetch(), 0);
    EXPECT_EQ(Text(2), "A");
    ASSERT_EQ(Fetch(), 0);
    ASSERT_EQ(Fetch(), 100);
    rcCatSetKind(&stmt, RC_CAT_TABLES);
    ASSERT_EQ(Fetch(), 0);
    EXPECT_EQ(Text(2), "A");
    // Closing the cursor frees the rows; the result cannot be read, and the
    // release afterwards (TearDown) frees the rest once.
    rcDrsCloseResult(&stmt);
    EXPECT_FALSE(rcExeStmtOpen(&stmt));
    EXPECT_EQ(Fetch(), -1);
    EXPECT_TRUE(rcCatActive(&stmt));
}

// The connection's type catalog, as far as the description reads it.
class TypeNames final : public rcStmtConn {
public:
    rcErrorQueue *errors() override { return nullptr; }
    const rcStmtOptionBlock *options() override { return &block; }
    void sourceInfo(rcStmtSourceInfo *) override {}
    bool typeInfo(int16_t, uint32_t *, int16_t *) override { return false; }
    TamSession *session() override { return nullptr; }
    rcTraceChannel *engineTrace() override { return nullptr; }
    const char *typeName(int16_t sqlType) override
    {
        return sqlType == SQL_VARCHAR ? "Alpha" : sqlType == SQL_SMALLINT ? "Short" : "";
    }
    rcStmtOptionBlock block;
};

TEST_F(CatalogResult, ColumnsAreDescribedWithoutTheHiddenOnes)
{
    TypeNames names;
    stmt.conn = &names;
    ASSERT_EQ(rcCatBegin(&stmt, RC_CAT_COLUMNS), 0);
    std::vector<rcResultColumn> cols;
    rcCatTakeColumns(&stmt, &cols);
    stmt.conn = nullptr;
    // SQLColumns keeps 13 columns, the last one (the ordinal) hidden.
    ASSERT_EQ(cols.size(), 12u);
    struct Want {
        size_t k;
        const char *name;
        int16_t type;
        uint32_t precision, length, display;
        int16_t scale;
        uint16_t nullable, searchable;
        bool isUnsigned;
        const char *typeName;
    };
    const Want want[] = {
        {0, "TABLE_QUALIFIER", SQL_VARCHAR, 128, 128, 128, -9999, SQL_NULLABLE, SQL_SEARCHABLE,
         true, "Alpha"},
        {3, "COLUMN_NAME", SQL_VARCHAR, 128, 128, 128, -9999, SQL_NO_NULLS, SQL_SEARCHABLE, true,
         "Alpha"},
        {4, "DATA_TYPE", SQL_SMALLINT, 5, 2, 6, 0, SQL_NO_NULLS, SQL_ALL_EXCEPT_LIKE, false,
         "Short"},
        {6, "PRECISION", SQL_INTEGER, 10, 4, 11, 0, SQL_NULLABLE, SQL_ALL_EXCEPT_LIKE, false, ""},
        {11, "REMARKS", SQL_VARCHAR, 254, 254, 254, -9999, SQL_NULLABLE, SQL_SEARCHABLE, true,
         "Alpha"},
    };
    for (const Want &w : want) {
        const rcResultColumn &c = cols[w.k];
        EXPECT_EQ(c.name, w.name) << w.k;
        EXPECT_EQ(c.sqlType, w.type) << w.name;
        EXPECT_EQ(c.precision, w.precision) << w.name;
        EXPECT_EQ(c.length, w.length) << w.name;
        EXPECT_EQ(c.displaySize, w.display) << w.name;
        EXPECT_EQ(c.scale, w.scale) << w.name;
        EXPECT_EQ(c.nullable, w.nullable) << w.name;
        EXPECT_EQ(c.searchable, w.searchable) << w.name;
        EXPECT_EQ(c.isUnsigned, w.isUnsigned) << w.name;
        EXPECT_EQ(c.typeName, w.typeName) << w.name;
    }
    // Taken once: the result keeps none.
    rcCatTakeColumns(&stmt, &cols);
    EXPECT_TRUE(cols.empty());
}

TEST(CatalogNames, PatternsAsOdbcDefinesThem)
{
    struct Case {
        const char *name, *pattern;
        bool exact, match;
    };
    const Case cases[] = {
        {"A_B", "A_B", false, true},
        {"AxB", "A_B", false, true},
        {"AxB", "A\\_B", false, false},
        {"A_B", "A\\_B", false, true},
        {"100%", "100\\%", false, true},
        {"1000", "100\\%", false, false},
        {"a\\b", "a\\\\b", false, true},
        {"Emp", "emp", false, true},
        {"Emp", "emp", true, false},
        {"Emp", "E%", true, true},
        {"ANN\xC9"
         "E",
         "ann\xE9"
         "e",
         false, true},
        {"Emp", "", false, false},
        {"", "%", false, true},
        {"Employees", "%p_o%", false, true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(rcCatNameMatches(c.name, c.pattern, c.exact), c.match)
            << c.name << " ~ " << c.pattern;
}

} // namespace
