#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "driver/Sources/drm.h"
#include "driver/Sources/tests/drm_fixture.h"

namespace {

TEST(DrmMapError, TableAndRangeEdges)
{
    struct Case {
        int32_t status, code;
    };
    const Case cases[] = {
        {-9978, -1905},
        {-9979, -1903},
        {-9974, -1601},
        {-9967, -5002},
        {-9966, -1511},
        {-9963, -1603},
        {-9954, -1603},
        {-9999, -1808},
        {-9998, -1403},
        {-9991, -1809},
        {-9980, -1809},
        {-9947, -1809},
        {-9944, -1809},
        {-10001, -1010},
        {-10002, kDrmErrLinkBroken},
        {-10060, kDrmErrLinkBroken},
        {-10061, kDrmErrNoServerAtAddress},
        {-10062, kDrmErrServerNotAnswering},
        {-10003, -1028},
        {-10021, -1203},
        {-32004, -1011},
        // the two ranges and just outside them
        {-10504, -1028},
        {-10505, -10505},
        {-9945, -1028},
        {-9943, -9943},
        {-9956, -1028},
        {-32001, -1028},
        {-32000, -32000},
        {-32003, -1028},
        {-32005, -32005},
        // passed unchanged
        {-9800, -9800},
        {0, 0},
        {1004, 1004},
        {1006, 1006},
        {-1104, -1104},
        {-1, -1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(DrmMapError(c.status), c.code) << c.status;
}

TEST(DrmEntry, UnknownSessionIsRefusedEverywhere)
{
    const uint32_t s = 0xDEAD;
    uint32_t words[16] = {};
    uint32_t out = 0;
    char buf[8];
    uint32_t list[1] = {0};
    int32_t order = 0;
    const int32_t expected = kDrmErrBadSession;
    EXPECT_EQ(DrmSetSessionOption(s, 5, 1252), expected);
    EXPECT_EQ(DrmSetSessionOption(kDrmDriverSession, 0, 1), expected);
    EXPECT_EQ(DrmGetInfo(s, 112, buf, sizeof buf, &out), expected);
    EXPECT_EQ(DrmOpenDatabase(s, "TCP/IP:127.0.0.1", &out, 0), expected);
    EXPECT_EQ(DrmCloseDatabase(s, 1), expected);
    EXPECT_EQ(DrmGetDatabaseTableInfo(s, 1, words, sizeof words), expected);
    EXPECT_EQ(DrmGetTypeCatalogInfo(s, 1, words, sizeof words), expected);
    EXPECT_EQ(DrmGetTableColumnInfo(s, 1, words, sizeof words), expected);
    EXPECT_EQ(DrmGetTableIndexInfo(s, 1, nullptr, words, sizeof words), expected);
    EXPECT_EQ(DrmOpenTable(s, 1, "T", "", 0, &out), expected);
    EXPECT_EQ(DrmCloseTable(s, 1), expected);
    EXPECT_EQ(DrmGetTableInfo(s, 1, words, sizeof words), expected);
    EXPECT_EQ(DrmSetFilter(s, 1, words, words), expected);
    EXPECT_EQ(DrmMove(s, 1, kDrmMoveFirst), expected);
    EXPECT_EQ(DrmSetRetrieveColumns(s, list), expected);
    EXPECT_EQ(DrmRetrieveColumn(s, 1, 1, buf, sizeof buf, &out, nullptr), expected);
    EXPECT_EQ(DrmGetBookmark(s, 1, buf, sizeof buf, &out), expected);
    EXPECT_EQ(DrmGotoBookmark(s, 1, buf, sizeof buf), expected);
    EXPECT_EQ(DrmSetTableIndex(s, 1, "ID"), expected);
    EXPECT_EQ(DrmMakeKey(s, 1, buf, 4, 1), expected);
    EXPECT_EQ(DrmSeek(s, 1, 1), expected);
    EXPECT_EQ(DrmInitUpdate(s, 1, 0), expected);
    EXPECT_EQ(DrmSetColumn(s, 1, 1, buf, 4, 4, 0), expected);
    EXPECT_EQ(DrmUpdateRecord(s, 1), expected);
    EXPECT_EQ(DrmDeleteRecord(s, 1), expected);
    EXPECT_EQ(DrmSetParam(s, 1, 4, buf, 4), expected);
    EXPECT_EQ(DrmSetTransact(s, 4), expected);
    EXPECT_EQ(DrmEndSession(s), -1);
    // Text comparison looks nothing up.
    EXPECT_EQ(DrmStringCompare(s, "abc", 3, 0, "ABC", 3, 0, &order), 0);
    EXPECT_EQ(order, 0);
    EXPECT_EQ(DrmStringCompare(s, "abc", 3, 0, "abd", 3, 0, &order), 0);
    EXPECT_EQ(order, -1);
}

TEST(DrmEntry, UnimplementedEntryPointsAnswerNotSupported)
{
    const uint32_t s = 0xDEAD;
    EXPECT_EQ(DrmGetExtPredicateInfo(s, 0, 0), kDrmErrNotSupported);
    EXPECT_EQ(DrmCreateColumn(s, 0, 0, 0, 0), kDrmErrNotSupported);
    EXPECT_EQ(DrmCreateIndex(s, 0, 0, 0, 0, 0, 0), kDrmErrNotSupported);
    EXPECT_EQ(DrmCreateTable(s, 0, 0, 0), kDrmErrNotSupported);
    EXPECT_EQ(DrmDeleteIndex(s, 0, 0), kDrmErrNotSupported);
    EXPECT_EQ(DrmDeleteTable(s, 0, 0), kDrmErrNotSupported);
    EXPECT_EQ(DrmGetExtErrStr(s, 0, 0, 0, 0), kDrmErrNotSupported);
    EXPECT_EQ(DrmGetTableForeignKeyInfo(s, 0, 0, 0, 0), kDrmErrNotSupported);
    EXPECT_EQ(DrmGetTablePrivilegeInfo(s, 0, 0, 0), kDrmErrNotSupported);
    EXPECT_EQ(DrmGetTableColumnPrivilegeInfo(s, 0, 0, 0, 0), kDrmErrNotSupported);
    EXPECT_EQ(DrmSetJoin(s, 0, 0, 0), kDrmErrJoinDeclined);
    EXPECT_EQ(DrmExecExtPredicate(s, 0, 0, 0, 0), kDrmErrNotSupported);
    EXPECT_EQ(DrmGetDatabaseProcedureInfo(s, 0, 0, 0), kDrmErrNotSupported);
    EXPECT_EQ(DrmGetProcedureColumnInfo(s, 0, 0, 0), kDrmErrNotSupported);
    EXPECT_EQ(DrmOpenProcedure(s, 0, 0, 0), kDrmErrNotSupported);
    EXPECT_EQ(DrmExecProcedure(s, 0, 0, 0), kDrmErrNotSupported);
    EXPECT_EQ(DrmCreateView(s, 0, 0, 0, 0, 0), kDrmErrNotSupported);
    EXPECT_EQ(DrmDeleteView(s, 0, 0), kDrmErrNotSupported);
    EXPECT_EQ(DrmOpenView(s, 0, 0, 0, 0, 0, 0, 0, 0), kDrmErrNotSupported);
    EXPECT_EQ(DrmNoOp(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
}

TEST(DrmEntry, DriverItems)
{
    char buf[64];
    uint32_t out = 0;
    std::memset(buf, '#', sizeof buf);
    ASSERT_EQ(DrmGetInfo(kDrmDriverSession, 2, buf, 13, &out), 0);
    EXPECT_EQ(out, 13u);
    EXPECT_EQ(std::string(buf, 14), "sqldriver.DLL#"); // no NUL written
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(DrmGetInfo(kDrmDriverSession, 2, buf, 12, &out), kDrmErrBufferTooSmall);
    EXPECT_EQ(buf[0], '#');

    struct Case {
        uint32_t item, length;
        int32_t result;
        uint32_t value;
    };
    const Case cases[] = {
        {1, 4, 0, 0},
        {1, 2, kDrmErrBufferTooSmall, 0},
        {3, 4, 0, 1},
        {4, 4, 0, 0},
        {5, 4, kDrmErrInfoNotAnswered, 0},
        {6, 4, kDrmErrNoCurrentRecord, 0},
        {7, 4, kDrmErrInfoNotAnswered, 0},
    };
    for (const Case &c : cases) {
        uint32_t v = 0xCCCCCCCC;
        out = 99;
        EXPECT_EQ(DrmGetInfo(kDrmDriverSession, c.item, &v, c.length, &out), c.result) << c.item;
        if (c.result == 0) {
            EXPECT_EQ(v, c.value) << c.item;
            EXPECT_EQ(out, 4u);
        } else {
            EXPECT_EQ(v, 0xCCCCCCCCu) << c.item; // nothing written
            EXPECT_EQ(out, 99u);
        }
    }
}

using SessionInfo = DrmSessionTest;

TEST_F(SessionInfo, ItemsAnswerAsTheirTableGives)
{
    uint32_t s = Begin();
    struct Case {
        uint32_t item;
        uint32_t width;
        uint32_t value;
    };
    const Case numbers[] = {
        {0, 4, 0},    {100, 4, 0xffff},   {101, 4, 0x1c}, {102, 4, 1}, {103, 4, 1},
        {104, 4, 0},  {105, 4, 0},        {106, 4, 0},    {107, 4, 0}, {108, 2, 31},
        {109, 2, 31}, {110, 2, 31},       {111, 4, 0},    {115, 4, 4}, {116, 4, 0},
        {117, 4, 0},  {118, 4, 0x1001ff}, {119, 4, 0},    {120, 4, 1}, {121, 4, 1},
        {122, 4, 1},  {123, 4, 0},        {124, 4, 0},    {125, 4, 0}, {126, 4, 0},
        {127, 4, 0},  {128, 4, 0},        {129, 4, 1},    {130, 4, 0},
    };
    for (const Case &c : numbers) {
        uint8_t buf[8];
        std::memset(buf, 0xCC, sizeof buf);
        uint32_t out = 0;
        ASSERT_EQ(DrmGetInfo(s, c.item, buf, c.width, &out), 0) << c.item;
        EXPECT_EQ(out, c.width) << c.item;
        uint32_t v = 0;
        std::memcpy(&v, buf, c.width);
        EXPECT_EQ(v, c.value) << c.item;
        EXPECT_EQ(buf[c.width], 0xCC) << c.item;
        EXPECT_EQ(DrmGetInfo(s, c.item, buf, c.width - 1, &out), kDrmErrBufferTooSmall) << c.item;
    }
    const struct {
        uint32_t item;
        const char *text;
    } texts[] = {{112, "QX Server"}, {113, "06.7.1000 QX Server 1.5.X or > 6.0.4"}, {114, "QX"}};
    for (const auto &t : texts) {
        char buf[64];
        uint32_t out = 0;
        uint32_t n = static_cast<uint32_t>(std::strlen(t.text));
        ASSERT_EQ(DrmGetInfo(s, t.item, buf, n, &out), 0) << t.item;
        EXPECT_EQ(std::string(buf, out), t.text);
        EXPECT_EQ(DrmGetInfo(s, t.item, buf, n - 1, &out), kDrmErrBufferTooSmall) << t.item;
    }
    uint32_t v = 0, out = 0;
    EXPECT_EQ(DrmGetInfo(s, 99, &v, 4, &out), kDrmErrInfoNotAnswered);
    EXPECT_EQ(DrmGetInfo(s, 131, &v, 4, &out), kDrmErrInfoNotAnswered);
    EXPECT_EQ(DrmSetSessionOption(s, 4, 1), kDrmErrNotSupported);
}

TEST_F(SessionInfo, VersionOfAnOpenDatabase)
{
    uint32_t s = Begin();
    server.serverVersion = 0x06050012;
    Open(s);
    char buf[128];
    uint32_t out = 0;
    ASSERT_EQ(DrmGetInfo(s, 113, buf, sizeof buf, &out), 0);
    EXPECT_EQ(std::string(buf, out), "6.05.0018");
}

} // namespace

namespace {

using UnknownIds = DrmSessionTest;

TEST_F(UnknownIds, CursorAndDatabaseIdsThatWereNeverHandedOut)
{
    uint32_t s = Begin();
    const uint32_t c = 4242, db = 4242;
    uint32_t words[16] = {};
    uint32_t out = 0;
    char buf[8] = {};
    uint32_t list[] = {8, c, 1};
    const int32_t badCursor = kDrmErrBadCursor;
    EXPECT_EQ(DrmCloseTable(s, c), badCursor);
    EXPECT_EQ(DrmGetTableInfo(s, c, words, sizeof words), badCursor);
    EXPECT_EQ(DrmSetFilter(s, c, words, words), badCursor);
    EXPECT_EQ(DrmMove(s, c, kDrmMoveFirst), badCursor);
    EXPECT_EQ(DrmSetRetrieveColumns(s, list), badCursor);
    EXPECT_EQ(DrmRetrieveColumn(s, c, 1, buf, sizeof buf, &out, nullptr), badCursor);
    EXPECT_EQ(DrmGetBookmark(s, c, buf, sizeof buf, &out), badCursor);
    EXPECT_EQ(DrmGotoBookmark(s, c, buf, sizeof buf), badCursor);
    EXPECT_EQ(DrmSetTableIndex(s, c, "ID"), badCursor);
    EXPECT_EQ(DrmMakeKey(s, c, buf, 4, 1), badCursor);
    EXPECT_EQ(DrmSeek(s, c, 1), badCursor);
    EXPECT_EQ(DrmInitUpdate(s, c, 0), badCursor);
    EXPECT_EQ(DrmSetColumn(s, c, 1, buf, 4, 4, 0), badCursor);
    EXPECT_EQ(DrmUpdateRecord(s, c), badCursor);
    EXPECT_EQ(DrmDeleteRecord(s, c), badCursor);
    EXPECT_EQ(DrmGetTableColumnInfo(s, c, words, sizeof words), badCursor);
    EXPECT_EQ(DrmGetTableIndexInfo(s, c, nullptr, words, sizeof words), badCursor);

    const int32_t noDatabase = kDrmErrNoDatabase;
    EXPECT_EQ(DrmCloseDatabase(s, db), noDatabase);
    EXPECT_EQ(DrmGetDatabaseTableInfo(s, db, words, sizeof words), noDatabase);
    EXPECT_EQ(DrmGetTypeCatalogInfo(s, db, words, sizeof words), noDatabase);
    EXPECT_EQ(DrmOpenTable(s, db, "Customers", "", 0, &out), noDatabase);
}

} // namespace
