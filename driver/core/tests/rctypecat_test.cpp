// The connection's type catalog read from the data module, and its accessors.
#include "driver/core/tests/conn_fixture.h"

#include "driver/core/rctypecat.h"

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

TEST(TypeRules, PureRules)
{
    const struct {
        int16_t type;
        int32_t length, precision, size;
    } sizes[] = {{-28, 0, 0, 3}, {2, 0, 0, 10}, {3, 0, 12, 12}, {11, 0, 0, 30}, {11, 0, 23, 23}, {12, 40, 0, 40}};
    for (const auto &c : sizes)
        EXPECT_EQ(rcTypColumnSize(c.type, c.length, c.precision), c.size) << c.type;
    EXPECT_EQ(rcTypScale(SQL_INTEGER, 5), 0);
    EXPECT_EQ(rcTypScale(RC_SQL_DECIMAL38, 5), 5);
    EXPECT_EQ(rcTypScale(SQL_CHAR, 5), -30000);
    uint32_t octets = 0;
    EXPECT_EQ(rcTypDefaultOctetLength(SQL_VARCHAR, &octets), 1);
    EXPECT_EQ(octets, 512u);
    EXPECT_EQ(rcTypDefaultOctetLength(-5, &octets), 0);
}

} // namespace
