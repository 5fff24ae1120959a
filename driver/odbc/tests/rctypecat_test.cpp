// The connection's type catalog read from the data module, and its accessors.
#include "driver/odbc/tests/conn_fixture.h"

#include "driver/odbc/rctypecat.h"

#include <algorithm>

namespace {

using TypeCatalogTest = ConnFixture;

TEST_F(TypeCatalogTest, CatalogRowsComeFirstSortedThenEveryStaticType)
{
    ASSERT_EQ(DriverConnect("DSN=qx;UID=demo;PWD=demo"), SQL_SUCCESS) << Diag();
    ASSERT_EQ(conn->typeMappingCount, kRcTypeRows);
    for (uint16_t i = 1; i < conn->typeEntryCount; ++i)
        EXPECT_LT(conn->typeEntries[i - 1].sqlType, conn->typeEntries[i].sqlType);
    for (const rcTypeMapping &m : rcTypStaticMappings)
        EXPECT_TRUE(rcTypHasSqlType(conn, m.sqlType)) << m.sqlType;
    for (uint16_t i = 0; i < kRcTypeRows; ++i)
        EXPECT_EQ(conn->typeEntries[i].sqlType, conn->typeMappings[i].sqlType);
    int16_t engine = 0;
    EXPECT_EQ(rcTypEngineTypeOf(conn, SQL_NUMERIC, &engine), 0);
    EXPECT_EQ(engine, RC_SQL_SCALED64);
    EXPECT_EQ(rcTypEngineTypeOf(conn, RC_SQL_SCALED64, &engine), 0);
    EXPECT_EQ(engine, RC_SQL_SCALED64);
    // Fixed-length types take the static octet length.
    uint16_t index = 0;
    ASSERT_EQ(rcTypFindBySqlType(conn, 0, SQL_INTEGER, &index), 0);
    EXPECT_EQ(rcTypEntry(conn, index)->octetLength, 4u);
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
    EXPECT_EQ(conn->typeEntries, nullptr);
}

TEST_F(TypeCatalogTest, FindBestTakesTheFirstRowOfTheTypeAndForTimestampsEnoughPrecision)
{
    ASSERT_EQ(DriverConnect("DSN=qx;UID=demo;PWD=demo"), SQL_SUCCESS) << Diag();
    uint16_t best = 0, first = 0;
    ASSERT_EQ(rcTypFindBySqlType(conn, 0, SQL_INTEGER, &first), 0);
    ASSERT_EQ(rcTypFindBest(conn, 0, SQL_INTEGER, 1000, &best),
              0); // precision counts for timestamps only
    EXPECT_EQ(best, first);
    EXPECT_EQ(rcTypFindBest(conn, 0, 12345, 0, &best), -1);

    // Mode 1 searches every row, the static ones too.
    int32_t widest = -1;
    for (uint16_t i = 0; i < conn->typeMappingCount; ++i)
        if (conn->typeEntries[i].sqlType == SQL_TIMESTAMP)
            widest =
                std::max<int32_t>(widest, static_cast<int32_t>(conn->typeEntries[i].precision));
    ASSERT_GE(widest, 0) << "no timestamp row";
    ASSERT_EQ(rcTypFindBySqlType(conn, 1, SQL_TIMESTAMP, &first), 0);
    ASSERT_EQ(rcTypFindBest(conn, 1, SQL_TIMESTAMP, 0, &best), 0);
    EXPECT_EQ(best, first);
    ASSERT_EQ(rcTypFindBest(conn, 1, SQL_TIMESTAMP, widest, &best), 0);
    EXPECT_EQ(rcTypEntry(conn, best)->sqlType, SQL_TIMESTAMP);
    EXPECT_GE(static_cast<int32_t>(rcTypEntry(conn, best)->precision), widest);
    EXPECT_EQ(rcTypFindBest(conn, 1, SQL_TIMESTAMP, widest + 1, &best), -1);
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
}

TEST(TypeRules, PureRules)
{
    const struct {
        int16_t type;
        int32_t length, precision, size;
    } sizes[] = {{-28, 0, 0, 3}, {2, 0, 0, 10},   {3, 0, 12, 12},
                 {11, 0, 0, 30}, {11, 0, 23, 23}, {12, 40, 0, 40}};
    for (const auto &c : sizes)
        EXPECT_EQ(rcTypColumnSizeOf(c.type, c.length, c.precision), c.size) << c.type;
    EXPECT_EQ(rcTypScaleOf(SQL_INTEGER, 5), 0);
    EXPECT_EQ(rcTypScaleOf(RC_SQL_DECIMAL38, 5), 5);
    EXPECT_EQ(rcTypScaleOf(SQL_CHAR, 5), -30000);
    uint32_t octets = 0;
    EXPECT_EQ(rcTypDefaultOctetLength(SQL_VARCHAR, &octets), 1);
    EXPECT_EQ(octets, 512u);
    EXPECT_EQ(rcTypDefaultOctetLength(-5, &octets), 0);
}

} // namespace

namespace {

// A connection whose catalog rows are the given SQL types (in order), then
// the static rows of the others, as the loader leaves it.
struct CatalogConn {
    explicit CatalogConn(std::initializer_list<int16_t> offered)
    {
        conn.typeEntries = new rcTypeEntry[kRcTypeRows]();
        conn.typeMappings = new rcTypeMapping[kRcTypeRows]();
        uint16_t n = 0;
        for (int16_t t : offered)
            Put(n++, t, true);
        for (const rcTypeMapping &m : rcTypStaticMappings) {
            bool seen = false;
            for (int16_t t : offered)
                seen = seen || t == m.sqlType;
            if (!seen)
                Put(n++, m.sqlType, false);
        }
        conn.typeEntryCount = static_cast<uint16_t>(offered.size());
        conn.typeMappingCount = kRcTypeRows;
    }
    ~CatalogConn() { rcTypFreeCatalog(&conn); }
    void Put(uint16_t i, int16_t sqlType, bool offered)
    {
        for (const rcTypeMapping &m : rcTypStaticMappings)
            if (m.sqlType == sqlType)
                conn.typeMappings[i] = m;
        rcTypeEntry &e = conn.typeEntries[i];
        e.sqlType = sqlType;
        e.typeName = offered ? "T" : "";
        e.octetLength = sqlType == SQL_VARCHAR ? 254 : 100;
        if (!offered)
            rcTypDefaultOctetLength(sqlType, &e.octetLength);
    }
    rcConn conn{};
};

TEST(TypeFit, VarcharOnlySourceTakesCharAndLongText)
{
    CatalogConn c{SQL_VARCHAR};
    const struct {
        int16_t in;
        int16_t out;
        uint16_t length;
    } cases[] = {{SQL_CHAR, SQL_VARCHAR, 10},
                 {SQL_LONGVARCHAR, SQL_VARCHAR, 254},
                 {SQL_VARCHAR, SQL_VARCHAR, 10},
                 {SQL_INTEGER, SQL_DOUBLE, 8},
                 {SQL_DATE, SQL_DATE, 10}};
    for (const auto &k : cases) {
        rcTypColumnDesc d{k.in, 10, 0, 0};
        EXPECT_EQ(rcTypFitColumnType(&c.conn, &d), 0);
        EXPECT_EQ(d.type, k.out) << k.in;
        EXPECT_EQ(d.length, k.length) << k.in;
    }
}

TEST(TypeFit, IntegerBecomesDecimalWhereOffered)
{
    CatalogConn c{SQL_DECIMAL, SQL_CHAR};
    rcTypColumnDesc d{SQL_INTEGER, 4, 0, 0};
    EXPECT_EQ(rcTypFitColumnType(&c.conn, &d), 0);
    EXPECT_EQ(d.type, RC_SQL_DECIMAL38);
    EXPECT_EQ(d.length, 38);
    EXPECT_EQ(d.precision, 10);
    rcTypColumnDesc text{SQL_LONGVARCHAR, 0, 0, 0};
    rcTypFitColumnType(&c.conn, &text);
    EXPECT_EQ(text.type, SQL_CHAR);
}

TEST(TypeAccessors, EmptyAndPartialCatalogs)
{
    CatalogConn none{};
    for (const rcTypeMapping &m : rcTypStaticMappings) {
        EXPECT_STREQ(rcTypName(&none.conn, m.sqlType), "");
        EXPECT_EQ(rcTypIsSupported(&none.conn, m.sqlType), 0);
    }
    EXPECT_EQ(rcTypCharCaseSensitive(&none.conn), 1);
    uint32_t mask = 0xFFFFFFFF;
    rcTypConvertMask(&none.conn, &mask);
    EXPECT_EQ(mask, 0u);

    CatalogConn some{SQL_CHAR, SQL_INTEGER, SQL_DATE, SQL_FLOAT};
    mask = 0xFFFFFFFF;
    rcTypConvertMask(&some.conn, &mask);
    EXPECT_EQ(mask, 0x1u | 0x8 | 0x8000 | 0x20);
    int32_t drm = -1;
    EXPECT_EQ(rcTypDrmTypeOf(&some.conn, SQL_FLOAT, &drm), 0);
    EXPECT_EQ(drm, 0); // a valid data-source type id
    EXPECT_EQ(rcTypDrmTypeOf(&some.conn, SQL_DOUBLE, &drm), -1);
    int16_t out = 0;
    EXPECT_EQ(rcTypSqlTypeAt(&some.conn, 17, &out), -1);
    EXPECT_EQ(rcTypSqlTypeAt(&some.conn, -1, &out), -1);
    EXPECT_EQ(rcTypSqlTypeAt(&some.conn, 0, &out), 0);
    EXPECT_EQ(out, SQL_CHAR);
    EXPECT_EQ(rcTypBinaryResult(SQL_INTEGER, SQL_DOUBLE), SQL_DOUBLE);
    EXPECT_EQ(rcTypBinaryResult(SQL_CHAR, SQL_BIT), SQL_CHAR);
    EXPECT_EQ(rcTypRank(RC_SQL_DECIMAL38), 110);
    EXPECT_EQ(rcTypDisplaySize(SQL_BINARY, 8, 0), 16);
}

} // namespace
