// Request calls end to end against qxserver with the demo fixture, in both
// byte orders: catalog, selections, searches, sorts, field reads, arrays,
// record buffers, transactions, named selections, aggregates, sets and
// semaphores. Both codecs (the library's and the emulator's) must agree.
#include "netclient/qxnetclient.h"
#include "tests/support/qxserver_process.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>
#include <cstring>
#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes PStr(const std::string &s)
{
    // Sized once and copied into (see PString in connection_test.cpp for why).
    Bytes p(s.size() + 1);
    p[0] = uint8_t(s.size());
    std::copy(s.begin(), s.end(), p.begin() + 1);
    return p;
}

std::string Text(const uint8_t *pstr)
{
    return std::string(reinterpret_cast<const char *>(pstr + 1), pstr[0]);
}

QXValue Alpha(const std::string &s)
{
    QXValue v{};
    v.type = QX_TYPE_ALPHA;
    v.alpha[0] = uint8_t(s.size());
    std::memcpy(v.alpha + 1, s.data(), s.size());
    return v;
}

QXValue Long(int32_t n)
{
    QXValue v{};
    v.type = QX_TYPE_LONGINT;
    v.longValue = n;
    return v;
}

QXValue Real(double d)
{
    QXValue v{};
    v.type = QX_TYPE_REAL;
    v.real = d;
    return v;
}

enum { kCustomers = 1, kProducts = 2 };
enum {
    kId = 1,
    kName = 2,
    kCity = 3,
    kCountry = 4,
    kSince = 5,
    kCredit = 6,
    kActive = 7,
    kNotes = 8
};

struct Server {
    bool big;
    const char *version;
};

class RequestTest : public ::testing::TestWithParam<Server> {
protected:
    void SetUp() override
    {
        std::vector<std::string> args{"--fixture", QX_DEMO_FIXTURE, "--version",
                                      GetParam().version};
        if (GetParam().big)
            args.push_back("--big-endian");
        std::string error;
        ASSERT_TRUE(server_.Start(args, &error)) << error;
        comp_ = _QX_InitNetworkComponent(0);
        conn_ = Connect();
        ASSERT_NE(conn_, nullptr);
    }
    void TearDown() override
    {
        for (QXHandle c : conns_)
            _QX_CloseQXConnection(c);
        for (QXNetworkLocation l : locs_)
            _QX_FreeNetworkLocation(l, 0, comp_);
        _QX_DeInitNetworkComponent(0, comp_);
    }
    QXHandle Connect()
    {
        Bytes addr = PStr("127.0.0.1:" + std::to_string(server_.Port()));
        QXNetworkLocation loc = nullptr;
        EXPECT_EQ(_QX_FindQXServer(addr.data(), &loc, 0, comp_), 0);
        locs_.push_back(loc);
        QXLoginRecord login{};
        login.userName[0] = 4, std::memcpy(login.userName + 1, "demo", 4);
        login.password[0] = 4, std::memcpy(login.password + 1, "demo", 4);
        QXHandle c = nullptr;
        EXPECT_EQ(_QX_OpenQXConnection(&login, loc, &c, 0, comp_), 0);
        if (c)
            conns_.push_back(c);
        return c;
    }
    // Values of `fields` of table 1's current record.
    std::vector<QXValue> Read(QXHandle c, std::vector<int16_t> fields, uint8_t *locked = nullptr)
    {
        QXFieldList list{int16_t(fields.size()), kCustomers, fields.data()};
        QXFieldsResult result = nullptr;
        uint8_t lockedByte = 9;
        EXPECT_EQ(_QX_GetFields(c, &list, &result, &lockedByte), 0);
        if (locked)
            *locked = lockedByte;
        std::vector<QXValue> out(fields.size());
        for (size_t i = 0; i < fields.size(); ++i)
            EXPECT_EQ(_QX_GetNthField(result, int16_t(i + 1), &out[i]), 0);
        FreeQXHandle(result);
        return out;
    }
    int32_t Count(QXHandle c, int16_t table = kCustomers)
    {
        int32_t n = -1;
        EXPECT_EQ(_QX_RecordsInSelection(c, table, &n), 0);
        return n;
    }

    QxServerProcess server_;
    QXComponent comp_ = nullptr;
    QXHandle conn_ = nullptr;
    std::vector<QXHandle> conns_;
    std::vector<QXNetworkLocation> locs_;
};

TEST_P(RequestTest, Catalog)
{
    int16_t files = 0;
    EXPECT_EQ(_QX_CountFiles(conn_, &files), 0);
    EXPECT_EQ(files, 4);
    QXHandle list = nullptr;
    ASSERT_EQ(_QX_GetFileList(conn_, &list), 0);
    auto *p = static_cast<const uint8_t *>(LockQXHandle(list));
    int16_t n;
    std::memcpy(&n, p, 2);
    ASSERT_EQ(n, 4);
    EXPECT_EQ(SizeOfQXHandle(list), 2 + 4 * 32);
    EXPECT_EQ(Text(p + 2), "Customers");
    EXPECT_EQ(Text(p + 2 + 3 * 32), "OrderLines");
    UnlockQXHandle(list);
    FreeQXHandle(list);

    QXHandle def = nullptr;
    ASSERT_EQ(_QX_GetFileDefinition(conn_, kCustomers, &def), 0);
    ASSERT_EQ(SizeOfQXHandle(def), 30 + 8 * 66);
    p = static_cast<const uint8_t *>(LockQXHandle(def));
    std::memcpy(&n, p, 2);
    EXPECT_EQ(n, 8);
    struct Row {
        int field;
        const char *name;
        uint8_t type;
    } rows[] = {{kId, "ID", 9},         {kName, "Name", 0},     {kSince, "Since", 4},
                {kCredit, "Credit", 1}, {kActive, "Active", 6}, {kNotes, "Notes", 2}};
    for (const Row &r : rows) {
        const uint8_t *row = p + 30 + 66 * (r.field - 1);
        EXPECT_EQ(Text(row), r.name);
        EXPECT_EQ(row[32], r.type) << r.name;
    }
    UnlockQXHandle(def);
    FreeQXHandle(def);
    EXPECT_LT(_QX_GetFileDefinition(conn_, 99, &def), 0);
    EXPECT_EQ(def, nullptr);
}

TEST_P(RequestTest, SelectGotoAndReadFields)
{
    ASSERT_EQ(_QX_SelectAllRecords(conn_, kCustomers), 0);
    EXPECT_EQ(Count(conn_), 150);
    int32_t inFile = 0;
    EXPECT_EQ(_QX_RecordsInFile(conn_, kCustomers, &inFile), 0);
    EXPECT_EQ(inFile, 150);
    ASSERT_EQ(_QX_GotoSelectedRecord(conn_, kCustomers, 2), 0);
    int32_t record = -1, position = -1;
    ASSERT_EQ(_QX_CurrentRecordNumber(conn_, kCustomers, &record, &position), 0);
    EXPECT_EQ(position, 2);
    EXPECT_EQ(record, 1);

    std::vector<QXValue> v = Read(conn_, {kId, kName, kSince, kCredit, kActive, kNotes});
    EXPECT_EQ(v[0].type, QX_TYPE_LONGINT);
    EXPECT_EQ(v[0].longValue, 2);
    EXPECT_EQ(Text(v[1].alpha), "Zo\x91 M\x9Fller") << "Mac Roman text";
    EXPECT_EQ(v[2].type, QX_TYPE_DATE);
    EXPECT_EQ(v[2].date[0], 15);
    EXPECT_EQ(v[2].date[1], 8);
    EXPECT_EQ(v[2].date[2], 2009);
    EXPECT_DOUBLE_EQ(v[3].real, 10941.86);
    EXPECT_EQ(v[4].shortValue, 1);
    EXPECT_EQ(v[5].type, QX_TYPE_TEXT);
    FreeQXHandle(v[5].data);

    QXValue out;
    QXFieldList one{1, kCustomers, nullptr};
    int16_t idField = kId;
    one.fields = &idField;
    QXFieldsResult r = nullptr;
    ASSERT_EQ(_QX_GetFields(conn_, &one, &r, nullptr), 0);
    EXPECT_EQ(_QX_GetNthField(r, 0, &out), QX_ERR_BAD_REPLY_LENGTH);
    EXPECT_EQ(_QX_GetNthField(r, 2, &out), QX_ERR_BAD_REPLY_LENGTH);
    FreeQXHandle(r);
    EXPECT_EQ(_QX_GetNthField(r, 1, &out), QX_ERR_BAD_CONNECTION) << "released result";
    EXPECT_EQ(_QX_GotoSelectedRecord(conn_, kCustomers, 151), -9945);
}

TEST_P(RequestTest, SearchAndSort)
{
    QXSearchLine line{};
    line.field = kCountry;
    line.op = 1; // equal
    line.value = Alpha("Italy");
    QXSearchArray search{1, kCustomers, &line};
    int32_t found = -1;
    ASSERT_EQ(_QX_Search(conn_, &search, &found), 0);
    EXPECT_GT(found, 0);
    EXPECT_EQ(Count(conn_), found);
    EXPECT_EQ(line.table, 0) << "the caller's array is left as it was";

    QXSearchLine two[2] = {line, {}};
    two[1].field = kCredit;
    two[1].table = kCustomers;
    two[1].op = 3; // greater
    two[1].value = Real(10000.0);
    two[1].conjunction = 1; // and
    QXSearchArray narrowed{2, kCustomers, two};
    int32_t richer = -1;
    ASSERT_EQ(_QX_Search(conn_, &narrowed, &richer), 0);
    EXPECT_LT(richer, found);

    // Sort the selection by credit, descending, then read it as an array.
    QXSortKey key{kCredit, kCustomers, 0, 0};
    QXSortSpec sort{1, kCustomers, &key};
    ASSERT_EQ(_QX_Sort(conn_, &sort), 0);
    QXFieldPair cols[2] = {{kCustomers, kId}, {kCustomers, kCredit}};
    QXArrayDescription desc{2, kCustomers, cols};
    QXHandle array = nullptr;
    ASSERT_EQ(_QX_SelectionToArray(conn_, &desc, &array), 0);
    auto *p = static_cast<const uint8_t *>(LockQXHandle(array));
    int32_t rows;
    std::memcpy(&rows, p, 4);
    ASSERT_EQ(rows, richer);
    ASSERT_EQ(SizeOfQXHandle(array), 4 + rows * 14);
    double previous = INFINITY;
    for (int i = 0; i < rows; ++i) {
        double credit;
        std::memcpy(&credit, p + 4 + 14 * i + 4, 8);
        EXPECT_GT(credit, 10000.0);
        EXPECT_LE(credit, previous);
        previous = credit;
    }
    UnlockQXHandle(array);
    FreeQXHandle(array);

    // A window of the selection, record numbers only.
    QXFieldPair numbers{kCustomers, 0};
    QXArrayDescription numbersOnly{1, kCustomers, &numbers};
    ASSERT_EQ(_QX_SubSelectionToArray(conn_, &numbersOnly, 1, 2, &array), 0);
    EXPECT_EQ(SizeOfQXHandle(array), 4 + 2 * 4);
    FreeQXHandle(array);

    // Refused before sending.
    QXSearchLine text{};
    text.field = kNotes;
    text.value.type = QX_TYPE_TEXT;
    QXSearchArray bad{1, kCustomers, &text};
    EXPECT_EQ(_QX_Search(conn_, &bad, &found), QX_ERR_TEXT_IN_SEARCH);
    EXPECT_EQ(found, 0);
}

TEST_P(RequestTest, RecordBuffersAndTransactions)
{
    // A buffer after one 16-bit value: table, field, type, value = 8 bytes used.
    QXRecordBuffer small = _QX_CreateBuffer(conn_, kProducts);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(SizeOfQXHandle(small), 6);
    QXValue stock{};
    stock.type = QX_TYPE_INTEGER;
    stock.shortValue = 5;
    ASSERT_EQ(_QX_AddToBuffer(conn_, small, 5, &stock), 0);
    EXPECT_EQ(SizeOfQXHandle(small), 12);
    FreeQXHandle(small);

    QXRecordBuffer b = _QX_CreateBuffer(conn_, kCustomers);
    QXValue id = Long(9001), name = Alpha("N\x8Aw Customer"), credit = Real(-12.5);
    QXValue notes{};
    notes.type = QX_TYPE_TEXT;
    notes.length = 5000;
    notes.data = AllocQXHandle(5000);
    std::memset(LockQXHandle(notes.data), 'n', 5000);
    UnlockQXHandle(notes.data);
    ASSERT_EQ(_QX_AddToBuffer(conn_, b, kId, &id), 0);
    ASSERT_EQ(_QX_AddToBuffer(conn_, b, kName, &name), 0);
    ASSERT_EQ(_QX_AddToBuffer(conn_, b, kCredit, &credit), 0);
    ASSERT_EQ(_QX_AddToBuffer(conn_, b, kNotes, &notes), 0);
    FreeQXHandle(notes.data);

    ASSERT_EQ(_QX_StartQXTransaction(conn_), 0);
    ASSERT_EQ(_QX_NewRecord(conn_, b), 0);
    int32_t inFile = 0;
    _QX_RecordsInFile(conn_, kCustomers, &inFile);
    EXPECT_EQ(inFile, 151);
    ASSERT_EQ(_QX_RollBack(conn_), 0);
    _QX_RecordsInFile(conn_, kCustomers, &inFile);
    EXPECT_EQ(inFile, 150);

    ASSERT_EQ(_QX_NewRecord(conn_, b), 0);
    FreeQXHandle(b);
    QXSearchLine line{};
    line.field = kId;
    line.op = 1;
    line.value = Long(9001);
    QXSearchArray search{1, kCustomers, &line};
    int32_t found = 0;
    ASSERT_EQ(_QX_Search(conn_, &search, &found), 0);
    ASSERT_EQ(found, 1);
    ASSERT_EQ(_QX_GotoSelectedRecord(conn_, kCustomers, 1), 0);
    std::vector<QXValue> v = Read(conn_, {kName, kCredit, kNotes});
    EXPECT_EQ(Text(v[0].alpha), "N\x8Aw Customer");
    EXPECT_EQ(v[1].real, -12.5);
    ASSERT_EQ(v[2].length, 5000);
    EXPECT_EQ(static_cast<const char *>(LockQXHandle(v[2].data))[4999], 'n');
    UnlockQXHandle(v[2].data);
    FreeQXHandle(v[2].data);

    // Change it, then delete it.
    QXRecordBuffer change = _QX_CreateBuffer(conn_, kCustomers);
    QXValue city = Alpha("Bern");
    ASSERT_EQ(_QX_AddToBuffer(conn_, change, kCity, &city), 0);
    ASSERT_EQ(_QX_ModifyRecord(conn_, change), 0);
    FreeQXHandle(change);
    EXPECT_EQ(Text(Read(conn_, {kCity})[0].alpha), "Bern");
    ASSERT_EQ(_QX_DeleteCurrentRecord(conn_, kCustomers), 0);
    _QX_RecordsInFile(conn_, kCustomers, &inFile);
    EXPECT_EQ(inFile, 150);
}

TEST_P(RequestTest, LockedRecordReadsGiveTheFlag)
{
    QXHandle other = Connect();
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(_QX_SelectAllRecords(other, kCustomers), 0);
    ASSERT_EQ(_QX_SetReadWriteMode(other, kCustomers, 1), 0);
    ASSERT_EQ(_QX_GotoSelectedRecord(other, kCustomers, 1), 0); // locks record 0

    ASSERT_EQ(_QX_SelectAllRecords(conn_, kCustomers), 0);
    ASSERT_EQ(_QX_GotoSelectedRecord(conn_, kCustomers, 1), 0);
    uint8_t locked = 0;
    std::vector<QXValue> v = Read(conn_, {kId}, &locked);
    EXPECT_EQ(locked, 1);
    EXPECT_EQ(v[0].longValue, 1) << "values come with the flag";
    ASSERT_EQ(_QX_UnlockCurrentRecord(other, kCustomers), 0);
    Read(conn_, {kId}, &locked);
    EXPECT_EQ(locked, 0);
}

TEST_P(RequestTest, NamedSelectionsAggregatesSetsAndSemaphores)
{
    ASSERT_EQ(_QX_SelectAllRecords(conn_, kProducts), 0);
    Bytes name = PStr("all products");
    ASSERT_EQ(_QX_CopySelection(conn_, name.data(), kProducts), 0);
    QXSearchLine line{};
    line.field = 1;
    line.op = 1;
    line.value = Long(3);
    QXSearchArray search{1, kProducts, &line};
    int32_t found = 0;
    ASSERT_EQ(_QX_Search(conn_, &search, &found), 0);
    EXPECT_EQ(Count(conn_, kProducts), 1);
    int16_t table = 0;
    ASSERT_EQ(_QX_UseSelection(conn_, name.data(), &table), 0);
    EXPECT_EQ(table, kProducts);
    EXPECT_EQ(Count(conn_, kProducts), 60);
    ASSERT_EQ(_QX_KillSelection(conn_, name.data()), 0);
    EXPECT_LT(_QX_UseSelection(conn_, name.data(), &table), 0);

    // Aggregates agree with the values read as an array.
    QXFieldPair price{kProducts, 4};
    QXArrayDescription desc{1, kProducts, &price};
    QXHandle array = nullptr;
    ASSERT_EQ(_QX_SelectionToArray(conn_, &desc, &array), 0);
    auto *p = static_cast<const uint8_t *>(LockQXHandle(array));
    double sum = 0, max = -INFINITY;
    for (int i = 0; i < 60; ++i) {
        double d;
        std::memcpy(&d, p + 4 + 10 * i, 8);
        sum += d;
        max = std::max(max, d);
    }
    UnlockQXHandle(array);
    FreeQXHandle(array);
    uint8_t result[10];
    ASSERT_EQ(_QX_SumField(conn_, kProducts, 4, result), 0);
    double got;
    std::memcpy(&got, result, 8);
    EXPECT_NEAR(got, sum, 1e-6 * std::fabs(sum));
    ASSERT_EQ(_QX_MaxField(conn_, kProducts, 4, result), 0);
    std::memcpy(&got, result, 8);
    EXPECT_EQ(got, max);

    // Sets and semaphores need newer servers.
    Bytes set = PStr("picked");
    Bytes sem = PStr("door");
    uint8_t flag = 9;
    if (uint16_t(std::stoi(GetParam().version, nullptr, 0)) < 0x650) {
        EXPECT_EQ(_QX_CheckSemaphore(conn_, sem.data(), &flag), QX_ERR_SERVER_TOO_OLD);
        return;
    }
    ASSERT_EQ(_QX_GotoSelectedRecord(conn_, kProducts, 5), 0);
    ASSERT_EQ(_QX_CreateEmptySet(conn_, set.data(), kProducts), 0);
    ASSERT_EQ(_QX_AddToSet(conn_, set.data(), kProducts), 0);
    int32_t inSet = 0;
    ASSERT_EQ(_QX_RecordsInSet(conn_, set.data(), &inSet), 0);
    EXPECT_EQ(inSet, 1);
    int32_t record = 0, position = 0;
    ASSERT_EQ(_QX_CurrentRecordNumber(conn_, kProducts, &record, &position), 0);
    int16_t isIn = 0;
    ASSERT_EQ(_QX_IsInSet(conn_, set.data(), record, &isIn), 0);
    EXPECT_EQ(isIn, 1);
    ASSERT_EQ(_QX_SetSemaphore(conn_, sem.data(), &flag), 0);
    ASSERT_EQ(_QX_CheckSemaphore(conn_, sem.data(), &flag), 0);
    EXPECT_EQ(flag, 1);
    ASSERT_EQ(_QX_ClearSemaphore(conn_, sem.data()), 0);
    ASSERT_EQ(_QX_CheckSemaphore(conn_, sem.data(), &flag), 0);
    EXPECT_EQ(flag, 0);
}

TEST_P(RequestTest, PolledModeRefusesCallsThatAnswerSynchronously)
{
    ASSERT_EQ(_QX_SetConnectionAsync(conn_), 0);
    int16_t field = kId;
    QXFieldList list{1, kCustomers, &field};
    QXFieldsResult r = nullptr;
    EXPECT_EQ(_QX_GetFields(conn_, &list, &r, nullptr), QX_ERR_PENDING);
    QXHandle h = nullptr;
    EXPECT_EQ(_QX_GetFileList(conn_, &h), QX_ERR_PENDING);
    // A call with a plain result works polled.
    int32_t count = -1;
    ASSERT_EQ(_QX_RecordsInFile(conn_, kCustomers, &count), 0);
    int16_t s;
    while ((s = _QX_ProcessQXRequest(conn_)) == 1) {}
    EXPECT_EQ(s, 0);
    EXPECT_EQ(count, 150);
    EXPECT_EQ(_QX_SetConnectionSync(conn_), 0);
}

TEST_P(RequestTest, ArraysBackToSelectionsAndTextConversion)
{
    ASSERT_EQ(_QX_SelectAllRecords(conn_, kCustomers), 0);
    // Record numbers of positions 2 to 4 (0-based window), then a selection of them.
    QXFieldPair numbers{kCustomers, 0};
    QXArrayDescription desc{1, kCustomers, &numbers};
    QXHandle window = nullptr;
    ASSERT_EQ(_QX_SubSelectionToArray(conn_, &desc, 2, 4, &window), 0);
    ASSERT_EQ(SizeOfQXHandle(window), 4 + 3 * 4);
    auto *w = static_cast<const uint8_t *>(LockQXHandle(window));
    int32_t rows, recs[3];
    std::memcpy(&rows, w, 4);
    std::memcpy(recs, w + 4, 12);
    UnlockQXHandle(window);
    FreeQXHandle(window);
    ASSERT_EQ(rows, 3);
    EXPECT_EQ(recs[0], 2);
    EXPECT_EQ(recs[2], 4);

    QXHandle array = AllocQXHandle(4 + 6 + 4 + 12);
    auto *a = static_cast<uint8_t *>(LockQXHandle(array));
    int16_t head[5] = {1, kCustomers, kCustomers, 0, QX_TYPE_LONGINT};
    std::memcpy(a, head, 10);
    std::memcpy(a + 10, &rows, 4);
    std::memcpy(a + 14, recs, 12);
    Bytes before(a, a + 26);
    UnlockQXHandle(array);
    ASSERT_EQ(_QX_ArrayToSelection(conn_, array), 0);
    EXPECT_EQ(Count(conn_), 3);
    EXPECT_EQ(Bytes(static_cast<uint8_t *>(LockQXHandle(array)),
                    static_cast<uint8_t *>(LockQXHandle(array)) + 26),
              before)
        << "the caller's array stays in host order";
    UnlockQXHandle(array);
    UnlockQXHandle(array);
    FreeQXHandle(array);

    // Names read as an array, then converted from Mac Roman to Windows text.
    ASSERT_EQ(_QX_GotoSelectedRecord(conn_, kCustomers, 1), 0);
    QXFieldPair name{kCustomers, kName};
    QXArrayDescription names{1, kCustomers, &name};
    ASSERT_EQ(_QX_SelectAllRecords(conn_, kCustomers), 0);
    ASSERT_EQ(_QX_SubSelectionToArray(conn_, &names, 1, 1, &array), 0);
    int16_t types[2] = {1, QX_TYPE_ALPHA};
    EXPECT_EQ(_QX_ConvertArray(conn_, types, array, int16_t(0x8000), 0), 4 + 1 + 10);
    a = static_cast<uint8_t *>(LockQXHandle(array));
    EXPECT_EQ(Text(a + 4), "Zo\xEB M\xFCller") << "Windows text";
    UnlockQXHandle(array);
    EXPECT_EQ(_QX_ConvertArray(conn_, types, array, 1, 0), 4 + 1 + 10);
    a = static_cast<uint8_t *>(LockQXHandle(array));
    EXPECT_EQ(Text(a + 4), "Zo\x91 M\x9Fller") << "back to Mac Roman";
    UnlockQXHandle(array);
    FreeQXHandle(array);
    Bytes text = PStr("Caf\xE9");
    EXPECT_EQ(_QX_StrPCToMac(conn_, text.data(), 4), 0);
    EXPECT_EQ(text[4], 0x8E);
    EXPECT_EQ(_QX_StrMacToPC(conn_, text.data(), 4), 0);
    EXPECT_EQ(text[4], 0xE9);
}

TEST_P(RequestTest, AdministrationAndSmallerCalls)
{
    // Users: the demo account, widened to 112 bytes for older servers too.
    QXHandle list = nullptr;
    int16_t users = -1, groups = -1;
    ASSERT_EQ(_QX_GetUsersAndGroups(conn_, 0, &list, &users, &groups), 0);
    EXPECT_EQ(users, 1);
    EXPECT_EQ(groups, 0);
    uint8_t user[112];
    ASSERT_EQ(_QX_GetNthUser(list, 1, user), 0);
    EXPECT_EQ(Text(user + 4), "demo");
    int32_t number;
    std::memcpy(&number, user + 108, 4);
    EXPECT_EQ(number, 1);
    EXPECT_EQ(_QX_GetNthUser(list, 2, user), QX_ERR_BAD_REPLY_LENGTH);
    QXHandle group = nullptr;
    EXPECT_EQ(_QX_GetNthGroup(list, 1, &group), QX_ERR_BAD_REPLY_LENGTH);
    FreeQXHandle(list);
    int16_t count = 0;
    EXPECT_EQ(_QX_GetNbUsers(conn_, &count), 0);
    EXPECT_EQ(count, 1);

    // Field numbers by name: table name and field name, 32 bytes each.
    Bytes names(2 + 2 * 64, 0);
    names[0] = 2;
    auto put = [&](size_t at, const std::string &s) {
        names[at] = uint8_t(s.size());
        std::memcpy(names.data() + at + 1, s.data(), s.size());
    };
    put(2, "Products"), put(2 + 32, "Price");
    put(2 + 64, "Products"), put(2 + 96, "Nothing");
    QXHandle numbers = nullptr;
    ASSERT_EQ(_QX_GetFieldNumbers(conn_, names.data(), &numbers), 0);
    EXPECT_EQ(names[0], 2) << "the caller's count is left in host order";
    ASSERT_EQ(SizeOfQXHandle(numbers), 4 + 2 * 4);
    int16_t got[6];
    std::memcpy(got, LockQXHandle(numbers), 12);
    UnlockQXHandle(numbers);
    FreeQXHandle(numbers);
    EXPECT_EQ((std::vector<int16_t>(got, got + 6)),
              (std::vector<int16_t>{2, 1, kProducts, 4, 0, 0}));

    // Clock, sequence numbers, distinct values, shrinking, moves.
    int16_t date[3] = {};
    ASSERT_EQ(_QX_Server_CurrentDate(conn_, date), 0);
    EXPECT_GE(date[2], 2000);
    EXPECT_TRUE(date[1] >= 1 && date[1] <= 12);
    int32_t seconds = -1;
    ASSERT_EQ(_QX_Server_CurrentTime(conn_, &seconds), 0);
    EXPECT_TRUE(seconds >= 0 && seconds < 86400);
    int32_t seq1 = 0, seq2 = 0;
    ASSERT_EQ(_QX_AutoSequenceNumber(conn_, kProducts, &seq1), 0);
    ASSERT_EQ(_QX_AutoSequenceNumber(conn_, kProducts, &seq2), 0);
    EXPECT_EQ(seq2, seq1 + 1);

    ASSERT_EQ(_QX_SelectAllRecords(conn_, kProducts), 0);
    QXHandle distinct = nullptr;
    ASSERT_EQ(_QX_BuildDistinctValues(conn_, kProducts, 3, &distinct), 0);
    int32_t size = SizeOfQXHandle(distinct);
    ASSERT_GE(size, 4);
    int32_t categories;
    std::memcpy(&categories, static_cast<uint8_t *>(LockQXHandle(distinct)) + size - 4, 4);
    UnlockQXHandle(distinct);
    FreeQXHandle(distinct);
    EXPECT_GT(categories, 1);
    EXPECT_LT(categories, 60);

    ASSERT_EQ(_QX_ShrinkSelection(conn_, kProducts, 10), 0);
    EXPECT_EQ(Count(conn_, kProducts), 10);
    ASSERT_EQ(_QX_GotoRecord(conn_, kProducts, 7), 0);
    int32_t record = 0, position = 0;
    ASSERT_EQ(_QX_CurrentRecordNumber(conn_, kProducts, &record, &position), 0);
    EXPECT_EQ(record, 7);
    Bytes moved = PStr("ten");
    ASSERT_EQ(_QX_MoveSelection(conn_, moved.data(), kProducts), 0);
    int16_t table = 0;
    ASSERT_EQ(_QX_UseSelection(conn_, moved.data(), &table), 0);
    EXPECT_EQ(Count(conn_, kProducts), 10);

    // Searching within the selection narrows it further.
    QXSearchLine line{};
    line.field = 1;
    line.table = kProducts;
    line.op = 5; // less than
    line.value = Long(4);
    QXSearchArray within{1, kProducts, &line};
    int32_t found = -1;
    ASSERT_EQ(_QX_SearchInSelection(conn_, &within, &found), 0);
    EXPECT_EQ(found, 3);
    ASSERT_EQ(_QX_DeleteSelectedRecords(conn_, kProducts), 0);
    int32_t inFile = 0;
    ASSERT_EQ(_QX_RecordsInFile(conn_, kProducts, &inFile), 0);
    EXPECT_EQ(inFile, 57);
}

TEST_P(RequestTest, LargeBodiesRoundTrip)
{
    // Around the 10240-byte send buffer, a body split over several frames
    // buffers, and lengths that are not multiples of the key's four bytes.
    for (int32_t size : {13, 3000, 10240, 10241, 100003}) {
        SCOPED_TRACE(size);
        QXHandle data = AllocQXHandle(size);
        auto *p = static_cast<uint8_t *>(LockQXHandle(data));
        const uint8_t key[10] = {
            'k', 'e', 'y', uint8_t(size), uint8_t(size >> 8), uint8_t(size >> 16)};
        std::memcpy(p, key, 10);
        for (int32_t i = 10; i < size; ++i)
            p[i] = uint8_t(i * 31 + 7);
        Bytes written(p, p + size);
        UnlockQXHandle(data);
        ASSERT_EQ(_QX_WriteData(conn_, data), 0);
        Bytes after(static_cast<uint8_t *>(LockQXHandle(data)),
                    static_cast<uint8_t *>(LockQXHandle(data)) + size);
        UnlockQXHandle(data);
        UnlockQXHandle(data);
        EXPECT_EQ(after, written) << "the caller's bytes are left as they were";
        FreeQXHandle(data);

        QXHandle back = nullptr;
        ASSERT_EQ(_QX_ReadData(conn_, key, &back), 0);
        ASSERT_EQ(SizeOfQXHandle(back), size - 10);
        auto *q = static_cast<const uint8_t *>(LockQXHandle(back));
        EXPECT_TRUE(std::equal(q, q + size - 10, written.begin() + 10));
        UnlockQXHandle(back);
        FreeQXHandle(back);
    }
}

TEST_P(RequestTest, ConnectionsOfOneComponentFromSeveralThreads)
{
    QXHandle conns[3] = {conn_, Connect(), Connect()};
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&, t] {
            int16_t table = int16_t(1 + t);
            for (int i = 0; i < 100; ++i) {
                int32_t n = -1;
                if (_QX_RecordsInFile(conns[t], table, &n) != 0 || n != (t == 0   ? 150
                                                                         : t == 1 ? 60
                                                                                  : 400))
                    ++failures;
            }
        });
    for (std::thread &th : threads)
        th.join();
    EXPECT_EQ(failures.load(), 0);
}

// A body larger than a link frame carries is refused, and the connection
// stays usable for the next request.
TEST_P(RequestTest, OversizedBodyIsRefusedAndTheConnectionGoesOn)
{
    const int32_t size = 64 * 1024 * 1024 + 1;
    QXHandle data = AllocQXHandle(size);
    ASSERT_NE(data, nullptr);
    EXPECT_LT(_QX_WriteData(conn_, data), 0);
    FreeQXHandle(data);
    int32_t n = -1;
    EXPECT_EQ(_QX_RecordsInFile(conn_, kCustomers, &n), 0);
    EXPECT_EQ(n, 150);
}

// One connection shared by several threads: each call runs as a whole, so
// no reply lands in another thread's call.
TEST_P(RequestTest, OneConnectionFromSeveralThreads)
{
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&, t] {
            int16_t table = int16_t(1 + t);
            for (int i = 0; i < 60; ++i) {
                int32_t n = -1;
                if (_QX_RecordsInFile(conn_, table, &n) != 0 || n != (t == 0   ? 150
                                                                      : t == 1 ? 60
                                                                               : 400))
                    ++failures;
            }
        });
    for (std::thread &th : threads)
        th.join();
    EXPECT_EQ(failures.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(Servers, RequestTest,
                         ::testing::Values(Server{false, "0x650"}, Server{true, "0x650"},
                                           Server{true, "0x5FF"}),
                         [](const auto &info) {
                             return std::string(info.param.big ? "Big" : "Little") +
                                    (std::string(info.param.version) == "0x650" ? "Current"
                                                                                : "Old");
                         });

} // namespace
