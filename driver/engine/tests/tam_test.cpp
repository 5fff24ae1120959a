// The table-access layer over the data module (with a scripted server):
// sessions and database references, the type-catalog cursor, the column
// cache and the data-module error mapping.
#include "driver/Sources/tests/fake_server.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/tests/base_fixture.h"
#include "driver/engine/tam.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char *kDb = "TCP/IP:127.0.0.1";

class TamTest : public DriverEnvTest {
protected:
    void SetUp() override
    {
        DriverEnvTest::SetUp();
        server.tables.push_back({"Customers", {{"Name", 1, 20}, {"Id", 3}}});
        ASSERT_EQ(TamBeginSession({}, 7, &session, "demo", "demo", 0, "qx"), 0);
    }
    void TearDown() override
    {
        if (session) {
            EXPECT_EQ(TamEndSession(session), 0);
        }
        EXPECT_TRUE(server.open.empty()) << "a server connection was left open";
        DriverEnvTest::TearDown();
    }
    // A table handle over the data module's type catalog, for column reads.
    TamTableHandle TypeCatalogHandle()
    {
        uint32_t info[11] = {44};
        EXPECT_EQ(DrmGetTypeCatalogInfo(session->drmSession, session->currentDb, info, sizeof info),
                  0);
        TamTableHandle h{};
        h.database = kTamNoDatabase;
        h.cursor = info[1];
        h.cacheAllowed = 1;
        return h;
    }
    FakeServer server;
    TamSession *session = nullptr;
};

TEST_F(TamTest, DataSourceNameOf255IsTakenAnd256Refused)
{
    TamSession *s = nullptr;
    EXPECT_EQ(TamBeginSession({}, 0, &s, "demo", "demo", 0, std::string(256, 'd').c_str()), -1003);
    EXPECT_EQ(s, nullptr);
    ASSERT_EQ(TamBeginSession({}, 0, &s, "demo", "demo", 0, std::string(255, 'd').c_str()), 0);
    EXPECT_EQ(TamEndSession(s), 0);
}

TEST_F(TamTest, TwoTablesOfOneDatabaseShareOneReference)
{
    TamTableHandle *a = nullptr;
    TamTableHandle *b = nullptr;
    ASSERT_EQ(TamOpenTable(session, nullptr, kDb, "Customers", 0, &a), 0);
    ASSERT_EQ(TamOpenTable(session, nullptr, kDb, "Customers", 0, &b), 0);
    EXPECT_EQ(rcListCount(session->databases), 1u);
    EXPECT_EQ(server.open.size(), 1u);
    EXPECT_EQ(TamCloseTable(session, a), 0);
    EXPECT_EQ(server.open.size(), 1u);
    EXPECT_EQ(TamCloseTable(session, b), 0);
    EXPECT_TRUE(server.open.empty());
    EXPECT_EQ(rcListCount(session->databases), 0u);
    // A failed open drops the reference it took.
    TamTableHandle *c = nullptr;
    EXPECT_EQ(TamOpenTable(session, nullptr, kDb, "Nothing", 0, &c), kDrmErrNoTable);
    EXPECT_EQ(c, nullptr);
    EXPECT_TRUE(server.open.empty());
}

TEST_F(TamTest, NamesTooLongForTheDataModuleAreRefusedNotCut)
{
    // Cut to 64 characters this would be "Customers" and blanks.
    std::string table = "Customers" + std::string(56, ' ') + "_archive";
    TamTableHandle *h = nullptr;
    EXPECT_EQ(TamOpenTable(session, nullptr, kDb, table.c_str(), 0, &h), -1002);
    EXPECT_EQ(h, nullptr);
    EXPECT_TRUE(server.open.empty());
    EXPECT_EQ(rcListCount(session->databases), 0u);
    // A database name longer than any qualifier is refused the same way.
    EXPECT_EQ(TamUseDatabase(session, (std::string(kDb) + std::string(261, ' ')).c_str()), -1002);
    EXPECT_TRUE(server.open.empty());
}

TEST_F(TamTest, EndingTheSessionClosesWhatIsStillOpen)
{
    ASSERT_EQ(TamUseDatabase(session, kDb), 0);
    TamTableHandle *a = nullptr;
    ASSERT_EQ(TamOpenTable(session, nullptr, kDb, "Customers", 0, &a), 0);
    EXPECT_EQ(TamEndSession(session), 0);
    session = nullptr;
    EXPECT_TRUE(server.open.empty());
    delete a; // the handle itself belongs to the engine
}

TEST_F(TamTest, TypeCatalogCursorReadsRowsAndOtherKindsDoNotCall)
{
    ASSERT_EQ(TamUseDatabase(session, kDb), 0);
    TamCursor *cursor = nullptr;
    ASSERT_EQ(TamAllocCursor(session, &cursor, 1), 0);
    TamTypeRow row{};
    int rows = 0;
    bool saw103 = false;
    for (int32_t rc = TamFetchCursor(session, cursor, 1, &row); rc == 0;
         rc = TamFetchCursor(session, cursor, 2, &row)) {
        ++rows;
        if (row.typeId == 103) {
            saw103 = true; // a decimal: scale and precision read, length = precision
            EXPECT_EQ(row.scale, 10);
            EXPECT_EQ(row.precision, 8u);
            EXPECT_EQ(row.length, 8u);
        }
        if (row.typeId == 5) {
            EXPECT_EQ(row.length, 18u);
        }
        if (row.typeId == 104) {
            EXPECT_STREQ(row.literalPrefix, "'");
        }
        ASSERT_NE(row.typeName, nullptr);
    }
    EXPECT_GT(rows, 0);
    EXPECT_TRUE(saw103);
    EXPECT_EQ(TamCloseCursor(session, cursor), 0);
    TamCursor *other = nullptr;
    ASSERT_EQ(TamAllocCursor(session, &other, 3), 0);
    EXPECT_EQ(TamFetchCursor(session, other, 1, &row), 2);
}

TEST_F(TamTest, ColumnCacheCopiesCutsAndRefreshesAfterMove)
{
    ASSERT_EQ(TamUseDatabase(session, kDb), 0);
    TamTableHandle h = TypeCatalogHandle();
    ASSERT_EQ(rcColCacheInit(session, &h, 2, 256), 0);
    ASSERT_EQ(rcColCacheAdd(session, &h, 8, 300), 0); // too long: never cached
    ASSERT_EQ(rcColCacheAdd(session, &h, 2, 10), 0);
    ASSERT_EQ(rcColCacheSeal(session, &h), 0);
    ASSERT_EQ(TamMove(session, &h, kDrmMoveFirst), 0);
    char buf[32] = {};
    uint32_t length = 0;
    EXPECT_EQ(TamGetColumn(session, &h, 2, buf, 4, &length, nullptr, 1), 5003);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(std::string(buf, 4), "UNKN");
    std::memset(buf, 0, sizeof buf);
    EXPECT_EQ(TamGetColumn(session, &h, 2, buf, sizeof buf, &length, nullptr, 1), 0);
    EXPECT_EQ(std::string(buf, length), "UNKNOWN");
    ASSERT_EQ(TamMove(session, &h, kDrmMoveNext), 0);
    EXPECT_EQ(TamGetColumn(session, &h, 2, buf, sizeof buf, &length, nullptr, 1), 0);
    EXPECT_EQ(std::string(buf, length), "BOOLEAN");
    EXPECT_EQ(TamGetColumn(session, &h, 8, buf, sizeof buf, &length, nullptr, 1), 0);
    EXPECT_EQ(std::string(buf, length), "BOOLEAN");
    // Initialised again for more columns: the cache grows with it.
    ASSERT_EQ(rcColCacheInit(session, &h, 6, 256), 0);
    for (uint32_t c = 1; c <= 6; ++c)
        ASSERT_EQ(rcColCacheAdd(session, &h, c, 16), 0);
    ASSERT_EQ(rcColCacheSeal(session, &h), 0);
    EXPECT_EQ(TamGetColumn(session, &h, 2, buf, sizeof buf, &length, nullptr, 1), 0);
    EXPECT_EQ(std::string(buf, length), "BOOLEAN");
    // More columns than the statement's maximum: no cache at all.
    ASSERT_EQ(rcColCacheInit(session, &h, 300, 256), 0);
    EXPECT_EQ(h.cacheAllowed, 0u);
    EXPECT_EQ(h.cacheEntries, nullptr);
    EXPECT_EQ(DrmCloseTable(session->drmSession, h.cursor), 0);
}

// A cache kept for the same list at an open must be exactly the one the
// list would make: a column missing, cached with another capacity, cached
// where the list leaves it uncached or a different column count builds anew.
TEST_F(TamTest, ColumnCacheHoldsOnlyTheColumnsAsItsListMakesThemAndServesTheRowAfterInvalidate)
{
    ASSERT_EQ(TamUseDatabase(session, kDb), 0);
    TamTableHandle h = TypeCatalogHandle();
    EXPECT_FALSE(rcColCacheHolds(&h, 2, 2, 10)); // nothing sealed yet
    ASSERT_EQ(rcColCacheInit(session, &h, 2, 256), 0);
    ASSERT_EQ(rcColCacheAdd(session, &h, 8, 300), 0);
    ASSERT_EQ(rcColCacheAdd(session, &h, 2, 10), 0);
    EXPECT_FALSE(rcColCacheHolds(&h, 2, 2, 10)); // not sealed
    ASSERT_EQ(rcColCacheSeal(session, &h), 0);
    const struct {
        uint32_t count, column, length;
        bool holds;
    } cases[] = {
        {2, 2, 10, true},   {2, 8, 300, true},  {2, 8, 0, true}, // 0 and 300: both uncached
        {2, 2, 11, false},  {2, 2, 300, false}, {2, 8, 16, false},
        {2, 3, 10, false},  {1, 2, 10, false},  {3, 2, 10, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(rcColCacheHolds(&h, c.count, c.column, c.length), c.holds)
            << c.count << " " << c.column << " " << c.length;
    // Kept: invalidated, the next read fills the row of the cursor anew.
    char buf[32] = {};
    uint32_t length = 0;
    ASSERT_EQ(TamMove(session, &h, kDrmMoveFirst), 0);
    EXPECT_EQ(TamGetColumn(session, &h, 2, buf, sizeof buf, &length, nullptr, 1), 0);
    EXPECT_EQ(std::string(buf, length), "UNKNOWN");
    ASSERT_EQ(DrmMove(session->drmSession, h.cursor, kDrmMoveNext), 0); // behind the cache
    EXPECT_EQ(TamGetColumn(session, &h, 2, buf, sizeof buf, &length, nullptr, 1), 0);
    EXPECT_EQ(std::string(buf, length), "UNKNOWN"); // the value of the row read before
    rcColCacheInvalidate(session, &h);
    EXPECT_EQ(TamGetColumn(session, &h, 2, buf, sizeof buf, &length, nullptr, 1), 0);
    EXPECT_EQ(std::string(buf, length), "BOOLEAN");
    rcColCacheFree(session, &h);
    EXPECT_FALSE(rcColCacheHolds(&h, 2, 2, 10));
    EXPECT_EQ(DrmCloseTable(session->drmSession, h.cursor), 0);
}

// A translation library that lowers every N, counting its calls, and fails
// while told to.
int gTranslations = 0;
bool gTranslationFails = false;
int LowerN(uint32_t, int16_t, void *in, int32_t inLength, void *out, int32_t, int32_t *outLength,
           unsigned char *, int16_t, int16_t *errorLength)
{
    ++gTranslations;
    *errorLength = 0;
    if (gTranslationFails)
        return 0;
    auto *b = static_cast<char *>(out);
    std::memmove(b, in, static_cast<size_t>(inLength));
    for (int32_t i = 0; i < inLength; ++i)
        if (b[i] == 'N')
            b[i] = 'n';
    *outLength = inLength;
    return 1;
}

TEST_F(TamTest, ColumnCacheFillsTheRowAtOnceAndTranslatesEachValueAtItsFirstRead)
{
    ASSERT_EQ(TamUseDatabase(session, kDb), 0);
    TamTranslator translator{LowerN, LowerN, 0};
    session->link.translator = &translator;
    gTranslations = 0;
    gTranslationFails = false;
    TamTableHandle h = TypeCatalogHandle();
    ASSERT_EQ(rcColCacheInit(session, &h, 3, 256), 0);
    ASSERT_EQ(rcColCacheAdd(session, &h, 2, 16), 0);  // type name
    ASSERT_EQ(rcColCacheAdd(session, &h, 8, 16), 0);  // another text
    ASSERT_EQ(rcColCacheAdd(session, &h, 500, 8), 0); // no column of the cursor
    ASSERT_EQ(rcColCacheSeal(session, &h), 0);
    // Each row's values as the data module gives them one by one, untranslated.
    std::vector<std::string> plain;
    ASSERT_EQ(TamMove(session, &h, kDrmMoveFirst), 0);
    for (int row = 0; row < 3; ++row) {
        char buf[32] = {};
        uint32_t n = 0;
        ASSERT_EQ(DrmRetrieveColumn(session->drmSession, h.cursor, 2, buf, 16, &n, nullptr), 0);
        plain.push_back(std::string(buf, n));
        ASSERT_EQ(TamMove(session, &h, kDrmMoveNext), 0);
    }
    uint32_t n = 0;
    char bad[8];
    const int32_t missing =
        DrmRetrieveColumn(session->drmSession, h.cursor, 500, bad, sizeof bad, &n, nullptr);
    ASSERT_LT(missing, 0);

    ASSERT_EQ(TamMove(session, &h, kDrmMoveFirst), 0);
    for (int row = 0; row < 3; ++row) {
        std::string want = plain[static_cast<size_t>(row)];
        for (char &c : want)
            c = c == 'N' ? 'n' : c;
        char buf[32] = {};
        const int before = gTranslations;
        // A column that fails does not keep the row's others from being read,
        // and answers its code each time.
        EXPECT_EQ(TamGetColumn(session, &h, 500, bad, sizeof bad, &n, nullptr, 1), missing);
        ASSERT_EQ(TamGetColumn(session, &h, 2, buf, sizeof buf, &n, nullptr, 1), 0);
        EXPECT_EQ(std::string(buf, n), want) << row;
        ASSERT_EQ(TamGetColumn(session, &h, 2, buf, sizeof buf, &n, nullptr, 1), 0);
        EXPECT_EQ(std::string(buf, n), want) << row;
        EXPECT_EQ(TamGetColumn(session, &h, 500, bad, sizeof bad, &n, nullptr, 1), missing);
        EXPECT_EQ(gTranslations, before + 1) << "translated once, at its first read";
        // A non-character read of a value leaves it untranslated.
        ASSERT_EQ(TamGetColumn(session, &h, 8, buf, sizeof buf, &n, nullptr, 4), 0);
        EXPECT_EQ(gTranslations, before + 1);
        ASSERT_EQ(TamMove(session, &h, kDrmMoveNext), 0);
    }
    // A translation that fails answers -5019; the next read reads and
    // translates the value again.
    ASSERT_EQ(TamMove(session, &h, kDrmMoveFirst), 0);
    char buf[32] = {};
    gTranslationFails = true;
    EXPECT_EQ(TamGetColumn(session, &h, 2, buf, sizeof buf, &n, nullptr, 1), kTamErrTranslation);
    gTranslationFails = false;
    ASSERT_EQ(TamGetColumn(session, &h, 2, buf, sizeof buf, &n, nullptr, 1), 0);
    std::string first = plain[0];
    for (char &c : first)
        c = c == 'N' ? 'n' : c;
    EXPECT_EQ(std::string(buf, n), first);
    session->link.translator = nullptr;
    rcColCacheFree(session, &h);
    EXPECT_EQ(DrmCloseTable(session->drmSession, h.cursor), 0);
}

TEST(TamErrorMap, CodesMapToTheirRowsAndUnknownToGeneralError)
{
    const struct {
        int32_t code;
        uint16_t id;
    } cases[] = {
        {-1001, 11002},           {1004, 11005},  {-1029, 11018}, {-1603, 11065},
        {-1903, 11078},           {-1905, 11079}, {-5022, 11090}, {-1100, RC_MSG_GENERAL_ERROR},
        {0, RC_MSG_GENERAL_ERROR}};
    for (const auto &c : cases)
        EXPECT_EQ(rcErrMapDrm(c.code), c.id) << c.code;
}

TEST(TamTypeFlags, AttributeBytesBecomeEntryFlags)
{
    // Type 10 (CHAR), nothing set: nullable, case sensitive, searchable.
    EXPECT_EQ(rcTypAttributeFlags(10, 0), 1u | 0x400 | 0x800 | 2 | 4 | 16 | 8);
    // Type 11 (long binary), not nullable: no searchable bit.
    EXPECT_EQ(rcTypAttributeFlags(11, 1 | 4 | 8), 2u);
    // Type 4 (integer), unsigned and auto-increment bits.
    EXPECT_EQ(rcTypAttributeFlags(4, 0x20 | 0x2 | 0x40 | 1 | 4 | 8), 32u + 0x100 + 128 + 2 + 8);
}

} // namespace

namespace {

TEST_F(TamTest, CatalogCursorsHoldTheirDatabaseAndMapTheRecord)
{
    TamInfoRecord tables{};
    ASSERT_EQ(TamGetDatabaseTableInfo(session, kDb, &tables), 0);
    ASSERT_NE(tables.handle, nullptr);
    EXPECT_EQ(tables.word[0], 48u);
    EXPECT_EQ(tables.handle->cursor, tables.word[1]);
    EXPECT_NE(tables.word[4], 0u); // the first column number moved to word 4
    EXPECT_EQ(server.open.size(), 1u);
    // Rows of the table list: one per table of the server.
    int rows = 0;
    for (int32_t rc = TamMove(session, tables.handle, kDrmMoveFirst); rc == 0;
         rc = TamMove(session, tables.handle, kDrmMoveNext))
        ++rows;
    EXPECT_EQ(rows, 1);

    TamTableHandle *customers = nullptr;
    ASSERT_EQ(TamOpenTable(session, nullptr, kDb, "Customers", 0, &customers), 0);
    TamInfoRecord columns{};
    ASSERT_EQ(TamGetTableColumnInfo(session, customers, nullptr, &columns), 0);
    EXPECT_EQ(columns.word[0], 80u);
    EXPECT_EQ(columns.word[2], 2u); // two fields
    // The column cursor keeps the database open after the table and the list go.
    EXPECT_EQ(TamCloseTable(session, customers), 0);
    EXPECT_EQ(TamCloseTable(session, tables.handle), 0);
    EXPECT_EQ(server.open.size(), 1u);
    EXPECT_EQ(TamCloseTable(session, columns.handle), 0);
    EXPECT_TRUE(server.open.empty());
}

TEST_F(TamTest, NotOfferedDefinitionsReturnTheDataModuleCodeAndDropTheReference)
{
    TamTableHandle *h = nullptr;
    EXPECT_EQ(TamCreateTable(session, kDb, "New", &h), kDrmErrNotSupported);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(TamDeleteTable(session, kDb, "Customers"), kDrmErrNotSupported);
    EXPECT_EQ(TamOpenProcedure(session, kDb, "p", &h), kDrmErrNotSupported);
    EXPECT_TRUE(server.open.empty());
    EXPECT_EQ(rcListCount(session->databases), 0u);
}

TEST_F(TamTest, VendorPredicatesAreNotOfferedByThisDataModule)
{
    const uint32_t descriptors[1] = {4}; // no arguments
    const uint32_t data[1] = {4};
    EXPECT_EQ(TamExecExtPredicate(session, 1, descriptors, data), kDrmErrNotSupported);
}

} // namespace
