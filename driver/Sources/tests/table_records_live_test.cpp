// Table cursors against the QX Server emulator while a second connection
// deletes records between the cursor's calls: changes through bookmarks and
// deletions of the row just read still reach their own records.
#include <algorithm>
#include <cstdio>
#include <map>

#include "driver/Sources/tests/filter_tree.h"
#include "driver/Sources/tests/live_support.h"

namespace {

using namespace drmlive;

constexpr int kRecords = 250;

// "N" (or the letter given) and the number.
std::string Name(int32_t id, char letter = 'N')
{
    std::string name(1, letter);
    return name += std::to_string(id);
}

class LiveRecords : public Live {
protected:
    void SetUp() override
    {
        Live::SetUp();
        if (IsSkipped())
            return;
        std::string f = R"({"users": [{"name": "drm", "password": "secret"}], "tables": [
 {"name": "Items", "fields": [
   {"name": "ID", "type": "longint", "indexed": true, "unique": true, "mandatory": true},
   {"name": "Name", "type": "alpha", "length": 20}],
  "records": [)";
        for (int i = 1; i <= kRecords; ++i)
            f += (i > 1 ? ",\n" : "") + std::string("{\"ID\": ") + std::to_string(i) +
                 ", \"Name\": \"" + Name(i) + "\"}";
        std::string fixture = (dir_ / "items.json").string();
        std::ofstream(fixture) << f + "]}]}";
        StartServer({}, fixture);
        s = Begin();
        other = Begin();
        ASSERT_EQ(DrmOpenDatabase(s, server_.Dbq().c_str(), &db, 0), 0);
        ASSERT_EQ(DrmOpenDatabase(other, server_.Dbq().c_str(), &otherDb, 0), 0);
    }
    uint32_t Open(uint32_t session, uint32_t database, const F *filter = nullptr)
    {
        uint32_t c = 0;
        EXPECT_EQ(DrmOpenTable(session, database, "Items", "", 0, &c), 0);
        if (filter) {
            EncodedFilter e(*filter);
            EXPECT_EQ(DrmSetFilter(session, c, e.tree.data(), e.data.data()), 0);
        }
        return c;
    }
    int32_t Id(uint32_t session, uint32_t c)
    {
        int32_t v = -1;
        uint32_t n = 0;
        EXPECT_EQ(DrmRetrieveColumn(session, c, 1, &v, 4, &n, nullptr), 0);
        return v;
    }
    // The second connection deletes these records.
    void OtherDeletes(const std::vector<int32_t> &ids)
    {
        for (int32_t id : ids) {
            F one = Eq(Col(1), Long(id));
            uint32_t c = Open(other, otherDb, &one);
            ASSERT_EQ(DrmMove(other, c, kDrmMoveFirst), 0) << id;
            ASSERT_EQ(DrmDeleteRecord(other, c), 0) << id;
            ASSERT_EQ(DrmCloseTable(other, c), 0);
        }
    }
    // The server's records: ID to name, read by the second connection.
    std::map<int32_t, std::string> Data()
    {
        std::map<int32_t, std::string> out;
        uint32_t c = Open(other, otherDb);
        for (int32_t r = DrmMove(other, c, kDrmMoveFirst); r == 0;
             r = DrmMove(other, c, kDrmMoveNext)) {
            char name[32];
            uint32_t n = 0;
            EXPECT_EQ(DrmRetrieveColumn(other, c, 2, name, sizeof name, &n, nullptr), 0);
            out[Id(other, c)] = std::string(name, n);
        }
        EXPECT_EQ(DrmCloseTable(other, c), 0);
        return out;
    }
    std::map<int32_t, std::string> Expected()
    {
        std::map<int32_t, std::string> out;
        for (int i = 1; i <= kRecords; ++i)
            out[i] = Name(i);
        return out;
    }
    uint32_t s = 0, other = 0, db = 0, otherDb = 0;
};

// An UPDATE that collects bookmarks first, with records deleted by the other
// connection between collecting and changing, and between the changes.
TEST_F(LiveRecords, ChangesThroughBookmarksReachTheirRecords)
{
    uint32_t c = Open(s, db);
    std::vector<std::vector<uint8_t>> marks;
    std::vector<int32_t> ids;
    for (int32_t r = DrmMove(s, c, kDrmMoveFirst); r == 0; r = DrmMove(s, c, kDrmMoveNext)) {
        int32_t id = Id(s, c);
        if (id % 3 != 0)
            continue;
        std::vector<uint8_t> mark(36);
        uint32_t n = 0;
        ASSERT_EQ(DrmGetBookmark(s, c, mark.data(), 36, &n), 0);
        marks.push_back(mark);
        ids.push_back(id);
    }
    OtherDeletes({1, 2, 30, 150});
    auto expected = Expected();
    for (int32_t id : {1, 2, 30, 150})
        expected.erase(id);
    for (size_t k = 0; k < marks.size(); ++k) {
        SCOPED_TRACE(ids[k]);
        if (ids[k] == 120) { // meanwhile
            OtherDeletes({100, 101, 210});
            for (int32_t id : {100, 101, 210})
                expected.erase(id);
        }
        int32_t r = DrmGotoBookmark(s, c, marks[k].data(), 36);
        if (!expected.count(ids[k])) {
            EXPECT_EQ(r, -1603);
            continue;
        }
        ASSERT_EQ(r, 0);
        ASSERT_EQ(Id(s, c), ids[k]);
        ASSERT_EQ(DrmInitUpdate(s, c, 2), 0);
        if (ids[k] == 201) { // between opening the change and sending it
            OtherDeletes({199, 200});
            expected.erase(199);
            expected.erase(200);
        }
        std::string name = Name(ids[k], 'U');
        ASSERT_EQ(DrmSetColumn(s, c, 2, name.data(), static_cast<uint32_t>(name.size()), 0, 0), 0);
        ASSERT_EQ(DrmUpdateRecord(s, c), 0);
        expected[ids[k]] = name;
    }
    EXPECT_EQ(Data(), expected);
}

// A DELETE reading its rows in windows: the other connection deletes records
// before the row just read, and records the cursor has not reached.
TEST_F(LiveRecords, DeletesOfTheRowJustReadReachIt)
{
    uint32_t c = Open(s, db);
    auto expected = Expected();
    for (int32_t r = DrmMove(s, c, kDrmMoveFirst); r == 0; r = DrmMove(s, c, kDrmMoveNext)) {
        int32_t id = Id(s, c);
        if (id == 50 || id == 150) {
            std::vector<int32_t> gone = id == 50 ? std::vector<int32_t>{3, 5, 60}
                                                 : std::vector<int32_t>{141, 160, 199, 200};
            OtherDeletes(gone);
            for (int32_t g : gone)
                expected.erase(g);
        }
        if (id % 2 != 0)
            continue;
        // Already gone when the window was read: skipped or refused.
        int32_t deleted = DrmDeleteRecord(s, c);
        if (!expected.count(id)) {
            EXPECT_EQ(deleted, -1603) << id;
            continue;
        }
        ASSERT_EQ(deleted, 0) << id;
        expected.erase(id);
    }
    EXPECT_EQ(Data(), expected);
}

// Reading on, a cursor sends its next window's request ahead. Cursors of one
// connection taking turns, and a deletion through the connection while a
// window is out, leave every cursor its own rows; a cursor reading alone
// makes no request more than reading without it (and none past the end).
TEST_F(LiveRecords, WindowsSentAheadLeaveEachCursorItsOwnRows)
{
    auto read = [&](uint32_t c, size_t n, bool first = false) {
        std::vector<int32_t> ids;
        for (int32_t r = first ? DrmMove(s, c, kDrmMoveFirst) : DrmMove(s, c, kDrmMoveNext);
             r == 0; r = ids.size() < n ? DrmMove(s, c, kDrmMoveNext) : 1) {
            ids.push_back(Id(s, c));
        }
        return ids;
    };
    auto ids = [](int32_t from, int32_t to, std::vector<int32_t> without = {}) {
        std::vector<int32_t> out;
        for (int32_t i = from; i <= to; ++i)
            if (std::find(without.begin(), without.end(), i) == without.end())
                out.push_back(i);
        return out;
    };
    uint32_t a = Open(s, db), b = Open(s, db);
    EXPECT_EQ(read(a, 150, true), ids(1, 150));
    EXPECT_EQ(read(b, 1000, true), ids(1, kRecords));
    EXPECT_EQ(read(a, 60), ids(151, 210));
    EXPECT_EQ(read(b, 120, true), ids(1, 120));
    EXPECT_EQ(read(a, 1000), ids(211, kRecords));
    // Deleted through the connection while the window holding it is out.
    EXPECT_EQ(read(a, 150, true), ids(1, 150));
    F one = Eq(Col(1), Long(230));
    uint32_t d = Open(s, db, &one);
    ASSERT_EQ(DrmMove(s, d, kDrmMoveFirst), 0);
    ASSERT_EQ(DrmDeleteRecord(s, d), 0);
    EXPECT_EQ(read(a, 1000), ids(151, kRecords, {230}));
    for (uint32_t c : {a, b, d})
        ASSERT_EQ(DrmCloseTable(s, c), 0);
    // Alone: the windows 0..99, 99..199 and 199..299, as without reading ahead.
    auto windows = [&] {
        std::istringstream in(Log());
        size_t n = 0;
        for (std::string line; std::getline(in, line);)
            n += line.find("request code=91 ") != std::string::npos ? 1 : 0;
        return n;
    };
    uint32_t c = Open(s, db);
    const size_t before = windows();
    EXPECT_EQ(read(c, 1000, true), ids(1, kRecords, {230}));
    ASSERT_EQ(DrmCloseTable(s, c), 0);
    EXPECT_EQ(windows() - before, 3u);
}

} // namespace
