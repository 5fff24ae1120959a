// Table cursors against the QX Server emulator: a table of 260 records,
// searched, read in windows, changed and bookmarked through the real client
// library; the server's data is read back after every change.
#include <cstdio>
#include <functional>
#include <map>

#include "driver/Sources/drm_database.h"
#include "driver/Sources/drm_session.h"
#include "driver/Sources/tests/filter_tree.h"
#include "driver/Sources/tests/live_support.h"

namespace {

using namespace drmlive;

constexpr int kRecords = 260;

// Items: 1 ID longint (indexed), 2 Name alpha(20) (indexed), 3 Qty integer,
// 4 Price real, 5 Born date, 6 Notes text.
std::string LongNote(int i)
{
    std::string s;
    for (int k = 0; s.size() < 3000; ++k)
        s += "note " + std::to_string(i) + "/" + std::to_string(k) + ";";
    return s.substr(0, 3000);
}

std::string Fixture()
{
    std::string f = R"({"users": [{"name": "drm", "password": "secret"}], "tables": [
 {"name": "Items", "fields": [
   {"name": "ID", "type": "longint", "indexed": true, "unique": true, "mandatory": true},
   {"name": "Name", "type": "alpha", "length": 20, "indexed": true},
   {"name": "Qty", "type": "integer"},
   {"name": "Price", "type": "real"},
   {"name": "Born", "type": "date"},
   {"name": "Notes", "type": "text"}],
  "records": [)";
    for (int i = 1; i <= kRecords; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "N%03d", i);
        std::string notes = "null";
        if (i % 50 == 0)
            notes = "\"" + LongNote(i) + "\"";
        else if (i % 2 == 0)
            notes = "\"short " + std::to_string(i) + "\"";
        char day[32];
        std::snprintf(day, sizeof day, "2000-01-%02d", i % 28 + 1);
        f += (i > 1 ? ",\n" : "") + std::string("{\"ID\": ") + std::to_string(i) +
             ", \"Name\": \"" + name + "\", \"Qty\": " + std::to_string(i % 7) +
             ", \"Price\": " + std::to_string(i * 0.5) + ", \"Born\": \"" + day +
             "\", \"Notes\": " + notes + "}";
    }
    return f + "]}]}";
}

class LiveTables : public Live {
protected:
    void SetUp() override
    {
        Live::SetUp();
        if (IsSkipped())
            return;
        fixture_ = (dir_ / "items.json").string();
        std::ofstream(fixture_) << Fixture();
        StartServer({}, fixture_);
        s = Begin();
        ASSERT_EQ(DrmOpenDatabase(s, server_.Dbq().c_str(), &db, 0), 0);
    }

    uint32_t Open(const F *filter = nullptr, const char *index = nullptr)
    {
        uint32_t c = 0;
        EXPECT_EQ(DrmOpenTable(s, db, "Items", "", 0, &c), 0);
        if (filter) {
            EncodedFilter e(*filter);
            EXPECT_EQ(DrmSetFilter(s, c, e.tree.data(), e.data.data()), 0);
        }
        if (index) {
            EXPECT_EQ(DrmSetTableIndex(s, c, index), 0);
        }
        return c;
    }

    int32_t Id(uint32_t c, uint32_t column = 1)
    {
        int32_t v = -1;
        uint32_t n = 0;
        EXPECT_EQ(DrmRetrieveColumn(s, c, column, &v, 4, &n, nullptr), 0);
        return v;
    }
    std::string Name(uint32_t c)
    {
        char buf[32];
        uint32_t n = 0;
        EXPECT_EQ(DrmRetrieveColumn(s, c, 2, buf, sizeof buf, &n, nullptr), 0);
        return std::string(buf, n);
    }
    std::vector<int32_t> Ids(uint32_t c)
    {
        std::vector<int32_t> ids;
        for (int32_t r = DrmMove(s, c, kDrmMoveFirst); r == 0; r = DrmMove(s, c, kDrmMoveNext))
            ids.push_back(Id(c));
        return ids;
    }
    // The server's records by ID: name and quantity, read by a fresh cursor.
    std::map<int32_t, std::pair<std::string, int16_t>> Data()
    {
        uint32_t c = Open();
        std::map<int32_t, std::pair<std::string, int16_t>> out;
        for (int32_t r = DrmMove(s, c, kDrmMoveFirst); r == 0; r = DrmMove(s, c, kDrmMoveNext)) {
            int16_t q = 0;
            uint32_t n = 0;
            EXPECT_EQ(DrmRetrieveColumn(s, c, 3, &q, 2, &n, nullptr), 0);
            out[Id(c)] = {Name(c), q};
        }
        EXPECT_EQ(DrmCloseTable(s, c), 0);
        return out;
    }
    size_t Requests(int code)
    {
        std::string log = Log(), key = "request code=" + std::to_string(code) + " ";
        size_t n = 0;
        for (size_t at = log.find(key); at != std::string::npos; at = log.find(key, at + 1))
            ++n;
        return n;
    }
    static std::vector<int32_t> Where(const std::function<bool(int)> &keep)
    {
        std::vector<int32_t> ids;
        for (int i = 1; i <= kRecords; ++i)
            if (keep(i))
                ids.push_back(i);
        return ids;
    }

    std::string fixture_;
    uint32_t s = 0, db = 0;
};

TEST_F(LiveTables, PushedFiltersGiveExactlyTheMatchingRows)
{
    const int16_t born5[3] = {2000, 1, 5};
    struct Case {
        const char *name;
        F filter;
        std::function<bool(int)> keep;
        bool pushed;
        const char *logged; // the lines as the emulator logs them
    };
    const std::vector<Case> cases = {
        {"ID > 200", Gt(Col(1), Long(200)), [](int i) { return i > 200; }, true, "1>200"},
        {"100 >= ID", Ge(Long(100), Col(1)), [](int i) { return i <= 100; }, true, "1<=100"},
        {"Qty = 3 AND ID < 50", And(Eq(Col(3), Short(3)), Lt(Col(1), Long(50))),
         [](int i) { return i % 7 == 3 && i < 50; }, true, "3=3 AND 1<50"},
        {"(Qty = 1 OR Qty = 2) AND ID >= 240",
         And(Or(Eq(Col(3), Short(1)), Eq(Col(3), Short(2))), Ge(Col(1), Long(240))),
         [](int i) { return (i % 7 == 1 || i % 7 == 2) && i >= 240; }, true,
         "3=1 OR 3=2 AND 1>=240"},
        {"ID < 10 AND (Name = N003 OR Name = N250)",
         And(Lt(Col(1), Long(10)), Or(Eq(Col(2), Text("N003")), Eq(Col(2), Text("N250")))),
         [](int i) { return i == 3; }, true, "2='N003' OR 2='N250' AND 1<10"},
        {"Name = n002 OR ID = 3", Or(Eq(Col(2), Text("n002")), Eq(Col(1), Long(3))),
         [](int i) { return i == 2 || i == 3; }, true, "2='n002' OR 1=3"},
        // Odd records have no notes, which the engine reads as NULL.
        {"Notes <> short 4 is left to the engine", Ne(Col(6), Text("short 4")),
         [](int) { return true; }, false, ""},
        {"Notes < x is left to the engine", Lt(Col(6), Text("x")), [](int) { return true; }, false,
         ""},
        {"Name > N250 is left to the engine", Gt(Col(2), Text("N250")), [](int) { return true; },
         false, ""},
        {"Born < 2000-01-05 is left to the engine", Lt(Col(5), Lit(101, born5, 6)),
         [](int) { return true; }, false, ""},
        {"Notes = '' OR ID = 7", Or(Eq(Col(6), Text("")), Eq(Col(1), Long(7))),
         [](int i) { return i == 7; }, true, "6<'' OR 1=7"},
        {"Price > 100.0", Gt(Col(4), Dbl(100.0)), [](int i) { return i * 0.5 > 100.0; }, true,
         "4>(type 1)"},
        {"Born = 2000-01-05", Eq(Col(5), Lit(101, born5, 6)), [](int i) { return i % 28 + 1 == 5; },
         true, "5=(type 4)"},
        {"NOT (ID > 5) is left to the engine", Not(Gt(Col(1), Long(5))), [](int) { return true; },
         false, ""},
    };
    size_t pushed = 0;
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        uint32_t c = 0;
        ASSERT_EQ(DrmOpenTable(s, db, "Items", "", 0, &c), 0);
        EncodedFilter e(k.filter);
        ASSERT_EQ(DrmSetFilter(s, c, e.tree.data(), e.data.data()), k.pushed ? 0 : -2003);
        pushed += k.pushed;
        EXPECT_EQ(Ids(c), Where(k.keep));
        uint32_t info[3] = {};
        ASSERT_EQ(DrmGetTableInfo(s, c, info, 12), 0);
        EXPECT_EQ(info[1], Where(k.keep).size());
        ASSERT_EQ(DrmCloseTable(s, c), 0);
    }
    EXPECT_EQ(Requests(35), pushed); // one server search per pushed filter
    std::string log = Log();
    for (const Case &k : cases) {
        if (k.pushed) {
            EXPECT_NE(log.find(std::string("search table 1: ") + k.logged + "\n"),
                      std::string::npos)
                << k.logged;
        }
    }
}

TEST_F(LiveTables, ParametersAreSearchedWithTheirCurrentValues)
{
    // Name = ? OR ID = ?: a NULL parameter matches nothing, not the empty name.
    F filter = Or(Eq(Col(2), Par(10, 1)), Eq(Col(1), Par(4, 2)));
    uint32_t c = Open(&filter);
    int32_t id = 9;
    ASSERT_EQ(DrmSetParam(s, 1, 10, "N004", 4), 0);
    ASSERT_EQ(DrmSetParam(s, 2, 4, &id, 4), 0);
    EXPECT_EQ(Ids(c), (std::vector<int32_t>{4, 9}));
    ASSERT_EQ(DrmSetParam(s, 1, 10, nullptr, 0), 0);
    EXPECT_EQ(Ids(c), (std::vector<int32_t>{9}));
    ASSERT_EQ(DrmSetParam(s, 2, 4, nullptr, 0), 0);
    EXPECT_EQ(Ids(c), (std::vector<int32_t>{}));
    ASSERT_EQ(DrmSetParam(s, 1, 10, "N250", 4), 0);
    EXPECT_EQ(Ids(c), (std::vector<int32_t>{250}));
}

TEST_F(LiveTables, AnOverlongParameterFindsWhatTheEngineWould)
{
    // Past 80 characters only blanks may follow for an alpha value to equal it.
    F filter = Eq(Col(2), Par(10, 1));
    uint32_t c = Open(&filter);
    std::string blanks = "N250" + std::string(90, ' ');
    ASSERT_EQ(DrmSetParam(s, 1, 10, blanks.data(), static_cast<uint32_t>(blanks.size())), 0);
    EXPECT_EQ(Ids(c), (std::vector<int32_t>{250}));
    std::string longer = blanks + "x";
    ASSERT_EQ(DrmSetParam(s, 1, 10, longer.data(), static_cast<uint32_t>(longer.size())), 0);
    EXPECT_EQ(Ids(c), (std::vector<int32_t>{}));
    // A text field holds longer values than a search value: left to the engine.
    uint32_t n = 0;
    ASSERT_EQ(DrmOpenTable(s, db, "Items", "", 0, &n), 0);
    EncodedFilter e(Eq(Col(6), Par(10, 1)));
    EXPECT_EQ(DrmSetFilter(s, n, e.tree.data(), e.data.data()), -2003);
    ASSERT_EQ(DrmCloseTable(s, n), 0);
}

TEST_F(LiveTables, RecordsAreFetchedAHundredAtATime)
{
    F filter = Le(Col(1), Long(250));
    uint32_t c = Open(&filter);
    size_t before = Requests(91);
    std::vector<int32_t> ids = Ids(c);
    EXPECT_EQ(ids, Where([](int i) { return i <= 250; }));
    // One request per window: its values with their record numbers, each
    // window after the first led by the last row read (which must still be
    // where it was).
    EXPECT_EQ(Requests(91) - before, 3u);
}

TEST_F(LiveTables, TwoCursorsOnOneTableReadTheirOwnRows)
{
    F outer = Le(Col(1), Long(120)), inner = Gt(Col(1), Long(110));
    uint32_t a = Open(&outer), b = Open(&inner);
    std::vector<int32_t> seen;
    int passes = 0;
    for (int32_t r = DrmMove(s, a, kDrmMoveFirst); r == 0; r = DrmMove(s, a, kDrmMoveNext)) {
        int32_t id = Id(a);
        seen.push_back(id);
        if (id % 40 != 0)
            continue;
        ++passes;
        EXPECT_EQ(Ids(b), Where([](int i) { return i > 110; })) << "inner pass for " << id;
        EXPECT_EQ(Id(a), id); // the outer record is still there
    }
    EXPECT_EQ(passes, 3);
    EXPECT_EQ(seen, Where([](int i) { return i <= 120; }));
}

TEST_F(LiveTables, InsertUpdateAndDeleteChangeExactlyTheIntendedRecords)
{
    auto expected = Data();
    ASSERT_EQ(expected.size(), static_cast<size_t>(kRecords));

    // Insert.
    uint32_t c = Open();
    ASSERT_EQ(DrmInitUpdate(s, c, 0), 0);
    int32_t id = 1000;
    int16_t qty = 9;
    ASSERT_EQ(DrmSetColumn(s, c, 1, &id, 4, 0, 0), 0);
    ASSERT_EQ(DrmSetColumn(s, c, 2, "New", 3, 0, 0), 0);
    ASSERT_EQ(DrmSetColumn(s, c, 3, &qty, 2, 0, 0), 0);
    EXPECT_EQ(DrmSetColumn(s, c, 2, "123456789012345678901", 21, 0, 0), -1047); // Name holds 20
    ASSERT_EQ(DrmUpdateRecord(s, c), 0);
    expected[1000] = {"New", 9};
    EXPECT_EQ(Data(), expected);

    // Update the record a search found.
    F one = Eq(Col(1), Long(42));
    uint32_t u = Open(&one);
    ASSERT_EQ(DrmMove(s, u, kDrmMoveFirst), 0);
    ASSERT_EQ(DrmInitUpdate(s, u, 2), 0);
    ASSERT_EQ(DrmSetColumn(s, u, 2, "Changed", 7, 0, 0), 0);
    ASSERT_EQ(DrmUpdateRecord(s, u), 0);
    expected[42].first = "Changed";
    EXPECT_EQ(Data(), expected);

    // Delete every row a search delivers.
    F some = And(Eq(Col(3), Short(3)), Lt(Col(1), Long(50)));
    uint32_t d = Open(&some);
    for (int32_t r = DrmMove(s, d, kDrmMoveFirst); r == 0; r = DrmMove(s, d, kDrmMoveNext)) {
        expected.erase(Id(d));
        ASSERT_EQ(DrmDeleteRecord(s, d), 0);
    }
    EXPECT_EQ(Data(), expected);

    // The same cursor run again finds nothing more to delete.
    EXPECT_EQ(DrmMove(s, d, kDrmMoveFirst), -1603);
    EXPECT_EQ(Data(), expected);

    // Delete some rows of the whole table across windows, in index order.
    uint32_t w = Open(nullptr, "Name");
    for (int32_t r = DrmMove(s, w, kDrmMoveFirst); r == 0; r = DrmMove(s, w, kDrmMoveNext)) {
        int32_t i = Id(w);
        if (i % 100 == 0 || i == 101 || i == 199 || i == 1000) {
            expected.erase(i);
            ASSERT_EQ(DrmDeleteRecord(s, w), 0) << i;
        }
    }
    EXPECT_EQ(Data(), expected);

    // Delete after a key seek: the sought record only.
    uint32_t k = Open(nullptr, "ID");
    int32_t key = 77;
    ASSERT_EQ(DrmMakeKey(s, k, &key, 4, 1), 0);
    ASSERT_EQ(DrmSeek(s, k, 1), 0);
    EXPECT_EQ(Id(k), 77);
    ASSERT_EQ(DrmDeleteRecord(s, k), 0);
    expected.erase(77);
    EXPECT_EQ(Data(), expected);
    key = 77;
    ASSERT_EQ(DrmMakeKey(s, k, &key, 4, 1), 0);
    EXPECT_EQ(DrmSeek(s, k, 1), -1601);
}

TEST_F(LiveTables, AnUpdateChangesItsRecordAfterOtherCursorsMovedOnTheTable)
{
    // UPDATE Items SET Qty = (SELECT ... FROM Items ...): the engine opens the
    // change, then runs the subquery on another cursor of the same table.
    auto expected = Data();
    F five = Eq(Col(1), Long(5)), nine = Eq(Col(1), Long(9));
    uint32_t u = Open(&five);
    ASSERT_EQ(DrmMove(s, u, kDrmMoveFirst), 0);
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass);
        ASSERT_EQ(DrmInitUpdate(s, u, 2), 0);
        uint32_t sub = Open(&nine);
        ASSERT_EQ(DrmMove(s, sub, kDrmMoveFirst), 0);
        EXPECT_EQ(Id(sub), 9);
        if (pass == 1) { // and a record made meanwhile by a third cursor
            uint32_t ins = Open();
            int32_t id = 2000;
            ASSERT_EQ(DrmInitUpdate(s, ins, 0), 0);
            ASSERT_EQ(DrmSetColumn(s, ins, 1, &id, 4, 0, 0), 0);
            ASSERT_EQ(DrmSetColumn(s, ins, 2, "Made", 4, 0, 0), 0);
            ASSERT_EQ(DrmUpdateRecord(s, ins), 0);
            expected[2000] = {"Made", 0};
        }
        int16_t qty = static_cast<int16_t>(90 + pass);
        ASSERT_EQ(DrmSetColumn(s, u, 3, &qty, 2, 0, 0), 0);
        ASSERT_EQ(DrmUpdateRecord(s, u), 0);
        expected[5].second = qty;
        EXPECT_EQ(Data(), expected);
        ASSERT_EQ(DrmCloseTable(s, sub), 0);
    }
}

TEST_F(LiveTables, ReadsAfterDeletesAndABookmarkReturnFindTheirRows)
{
    uint32_t c = Open(nullptr, "ID");
    std::vector<uint8_t> mark(36), gone(36);
    uint32_t n = 0;
    for (int32_t r = DrmMove(s, c, kDrmMoveFirst); r == 0; r = DrmMove(s, c, kDrmMoveNext)) {
        int32_t id = Id(c);
        if (id == 6) {
            ASSERT_EQ(DrmGetBookmark(s, c, mark.data(), 36, &n), 0);
        }
        if (id == 8) {
            ASSERT_EQ(DrmGetBookmark(s, c, gone.data(), 36, &n), 0);
        }
        if (id == 8 || id == 10) {
            ASSERT_EQ(DrmDeleteRecord(s, c), 0);
        }
        if (id == 12)
            break;
    }
    ASSERT_EQ(DrmGotoBookmark(s, c, mark.data(), 36), 0);
    EXPECT_EQ(Id(c), 6);
    // Moving on continues after the cursor's own row, past the deleted ones.
    std::vector<int32_t> next;
    for (int i = 0; i < 3 && DrmMove(s, c, kDrmMoveNext) == 0; ++i)
        next.push_back(Id(c));
    EXPECT_EQ(next, (std::vector<int32_t>{13, 14, 15}));
    EXPECT_EQ(DrmGotoBookmark(s, c, gone.data(), 36), -1603);
}

TEST_F(LiveTables, KeySeeksGiveTheRecordsFromTheKeyInIndexOrder)
{
    uint32_t c = Open(nullptr, "ID");
    int32_t key = 255;
    EXPECT_EQ(DrmMakeKey(s, c, &key, 4, 0), -1); // without the key flag nothing is made
    ASSERT_EQ(DrmMakeKey(s, c, &key, 4, 1), 0);
    struct Case {
        uint32_t flags;
        std::vector<int32_t> ids;
    };
    for (const Case &k : std::vector<Case>{{0x01, {255}},
                                           {0x10, {256, 257, 258, 259, 260}},
                                           {0x08, {255, 256, 257, 258, 259, 260}}}) {
        SCOPED_TRACE(k.flags);
        ASSERT_EQ(DrmSeek(s, c, k.flags), 0);
        std::vector<int32_t> ids{Id(c)};
        while (DrmMove(s, c, kDrmMoveNext) == 0)
            ids.push_back(Id(c));
        EXPECT_EQ(ids, k.ids);
    }
    // The whole table in index order: by name, so N001 first.
    uint32_t byName = Open(nullptr, "Name");
    ASSERT_EQ(DrmSeek(s, byName, 0x20), 0);
    EXPECT_EQ(Name(byName), "N001");
    uint32_t info[3] = {};
    ASSERT_EQ(DrmGetTableInfo(s, byName, info, 12), 0);
    EXPECT_EQ(info[1], static_cast<uint32_t>(kRecords));

    // A name key longer than any name: nothing equals it, and at least it
    // starts after the names it begins with.
    std::string longKey = "N250" + std::string(90, ' ') + "x";
    ASSERT_EQ(DrmMakeKey(s, byName, longKey.data(), static_cast<uint32_t>(longKey.size()), 1), 0);
    EXPECT_EQ(DrmSeek(s, byName, 0x01), -1601);
    ASSERT_EQ(DrmSeek(s, byName, 0x08), 0);
    EXPECT_EQ(Name(byName), "N251");
    std::string blanks = "N250" + std::string(90, ' ');
    ASSERT_EQ(DrmMakeKey(s, byName, blanks.data(), static_cast<uint32_t>(blanks.size()), 1), 0);
    ASSERT_EQ(DrmSeek(s, byName, 0x01), 0);
    EXPECT_EQ(Name(byName), "N250");
    EXPECT_EQ(DrmSetTableIndex(s, byName, "Nope"), -1404);
    EXPECT_EQ(DrmMakeKey(s, byName, &key, 4, 1), -1); // no index field left to make a key for
}

TEST_F(LiveTables, LongValuesArriveWholeInPieces)
{
    F fifty = Eq(Col(1), Long(50));
    uint32_t c = Open(&fifty);
    ASSERT_EQ(DrmMove(s, c, kDrmMoveFirst), 0);
    std::string whole;
    DRM_RETINFO info{8, 0};
    int32_t r = 0;
    do {
        char piece[1000];
        uint32_t n = 0;
        r = DrmRetrieveColumn(s, c, 6, piece, sizeof piece, &n, &info);
        ASSERT_TRUE(r == 0 || r == 1006) << r;
        whole.append(piece, n);
        if (r == 1006)
            info.delivered = static_cast<uint32_t>(whole.size());
    } while (r == 1006);
    EXPECT_EQ(whole, LongNote(50));
    // A delivered count beyond the value gives nothing more, not foreign bytes.
    info.delivered = 1u << 30;
    char piece[16];
    uint32_t n = 9;
    EXPECT_EQ(DrmRetrieveColumn(s, c, 6, piece, sizeof piece, &n, &info), 0);
    EXPECT_EQ(n, 0u);
    // An odd record has no notes: NULL.
    F one = Eq(Col(1), Long(1));
    uint32_t o = Open(&one);
    ASSERT_EQ(DrmMove(s, o, kDrmMoveFirst), 0);
    EXPECT_EQ(DrmRetrieveColumn(s, o, 6, piece, sizeof piece, &n, nullptr), 1004);

    // Written in pieces, read back whole.
    std::string text = LongNote(7) + LongNote(8);
    ASSERT_EQ(DrmInitUpdate(s, c, 2), 0);
    ASSERT_EQ(DrmSetColumn(s, c, 6, text.data(), 2500, 0, 0), 0);
    ASSERT_EQ(
        DrmSetColumn(s, c, 6, text.data() + 2500, static_cast<uint32_t>(text.size() - 2500), 1, 0),
        0);
    ASSERT_EQ(DrmUpdateRecord(s, c), 0);
    uint32_t again = Open(&fifty);
    ASSERT_EQ(DrmMove(s, again, kDrmMoveFirst), 0);
    std::vector<char> all(8000);
    ASSERT_EQ(
        DrmRetrieveColumn(s, again, 6, all.data(), static_cast<uint32_t>(all.size()), &n, nullptr),
        0);
    EXPECT_EQ(std::string(all.data(), n), text);
}

TEST_F(LiveTables, BookmarksRestoreTheRowAndLeaveNoNamedSelection)
{
    F filter = Gt(Col(1), Long(10));
    uint32_t c = Open(&filter, "ID");
    std::vector<std::vector<uint8_t>> marks;
    for (int32_t r = DrmMove(s, c, kDrmMoveFirst); r == 0; r = DrmMove(s, c, kDrmMoveNext)) {
        int32_t id = Id(c);
        if (id == 15 || id == 160 || id == 255) {
            std::vector<uint8_t> mark(36);
            uint32_t n = 0;
            ASSERT_EQ(DrmGetBookmark(s, c, mark.data(), 36, &n), 0);
            marks.push_back(mark);
        }
    }
    ASSERT_EQ(marks.size(), 3u);
    const int32_t want[] = {255, 15, 160};
    const int order[] = {2, 0, 1};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(DrmGotoBookmark(s, c, marks[static_cast<size_t>(order[i])].data(), 36), 0);
        EXPECT_EQ(Id(c), want[i]);
        EXPECT_EQ(Name(c).substr(1), std::to_string(1000 + want[i]).substr(1));
    }
    // A change after a bookmark return changes the bookmarked record.
    ASSERT_EQ(DrmGotoBookmark(s, c, marks[1].data(), 36), 0);
    ASSERT_EQ(DrmInitUpdate(s, c, 2), 0);
    ASSERT_EQ(DrmSetColumn(s, c, 2, "Marked", 6, 0, 0), 0);
    ASSERT_EQ(DrmUpdateRecord(s, c), 0);
    EXPECT_EQ(Data()[160].first, "Marked");

    // Closing the cursor kills its named selections on the server.
    DrmQxConnection connection = DrmDriver().oGetSession(s)->oGetDatabase(db)->connection;
    int16_t table = 0;
    EXPECT_EQ(DrmQxUseSelection(connection, marks[0].data(), &table), 0);
    ASSERT_EQ(DrmCloseTable(s, c), 0);
    for (const auto &mark : marks)
        EXPECT_NE(DrmQxUseSelection(connection, mark.data(), &table), 0);
}

} // namespace
