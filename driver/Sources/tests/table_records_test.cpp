// The table cursor when records of its selection go without its doing (a
// deletion by another cursor or connection), against the scripted server:
// reading on past a window, returning to bookmarks and changing records all
// find their own record by its record number.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "driver/Sources/drm.h"
#include "driver/Sources/tests/drm_fixture.h"

namespace {

class TableRecords : public DrmSessionTest {
protected:
    void SetUp() override
    {
        DrmSessionTest::SetUp();
        s = Begin();
        db = Open(s);
        t = OpenTable(s, db, "Customers");
        server.calls.clear();
    }
    int32_t Id()
    {
        int32_t v = -1;
        uint32_t n = 0;
        EXPECT_EQ(DrmRetrieveColumn(s, t, 1, &v, 4, &n, nullptr), 0);
        return v;
    }
    // The ids of the rows up to `n` further moves (or the end).
    std::vector<int32_t> Read(size_t n, int32_t *last = nullptr)
    {
        std::vector<int32_t> ids;
        int32_t r = 0;
        while (ids.size() < n && (r = DrmMove(s, t, kDrmMoveNext)) == 0)
            ids.push_back(Id());
        if (last)
            *last = r;
        return ids;
    }
    // Takes the records with these ids (1-based first positions) out of the
    // server's selection, as another connection's deletion does.
    void RemoveIds(const std::vector<int32_t> &ids)
    {
        for (int32_t id : ids) {
            std::vector<int32_t> &r = server.Records();
            auto at = std::find(r.begin(), r.end(), id + 99);
            ASSERT_NE(at, r.end()) << id;
            server.Remove(static_cast<int32_t>(at - r.begin()));
        }
    }
    std::vector<std::string> CallsStarting(const std::string &prefix) const
    {
        std::vector<std::string> out;
        for (const std::string &c : server.calls)
            if (c.rfind(prefix, 0) == 0)
                out.push_back(c);
        return out;
    }
    static std::vector<int32_t> Ids(int32_t from, int32_t to)
    {
        std::vector<int32_t> ids;
        for (int32_t i = from; i <= to; ++i)
            ids.push_back(i);
        return ids;
    }
    std::vector<int32_t> Bookmark()
    {
        std::vector<int32_t> mark(9);
        uint32_t n = 0;
        EXPECT_EQ(DrmGetBookmark(s, t, mark.data(), 36, &n), 0);
        return mark;
    }
    uint32_t s = 0, db = 0, t = 0;
};

// 250 records, read to id 150 (the second window is held), then records go.
TEST_F(TableRecords, ReadingOnGoesOnAfterTheLastRowRead)
{
    struct Case {
        const char *what;
        std::vector<int32_t> removed;
        std::vector<int32_t> rest; // ids read after the window held (151..200)
        int32_t end;               // the last move's result
    };
    std::vector<int32_t> after200 = Ids(201, 250);
    std::vector<int32_t> without230 = after200;
    without230.erase(std::find(without230.begin(), without230.end(), 230));
    const Case cases[] = {
        {"none", {}, after200, -1603},
        {"before the window and in it, and ahead", {5, 120, 180, 230}, without230, -1603},
        // The window's last row went: the one before it is found.
        {"the last row read", {200, 3}, after200, -1603},
        // The whole window went: the last row of the window before it.
        {"the window", Ids(101, 200), after200, -1603},
        // Every row read in the window went, and others before it: nothing
        // tells where to go on.
        {"every row read", Ids(1, 200), {}, -1101},
    };
    // A server that sends record numbers only alone is asked for them apart;
    // one that takes window requests in halves gets the next one ahead.
    for (bool ahead : {false, true})
    for (bool alone : {false, true}) {
        t = OpenTable(s, db, "Customers");
        server.numbersAlone = alone;
        server.sendsAhead = ahead;
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.what) + (alone ? ", numbers alone" : "") +
                         (ahead ? ", sent ahead" : ""));
            server.selectionSize = 0;
            ASSERT_EQ(DrmSetFilter(s, t, nullptr, nullptr), 0); // built again at the first move
            server.selectionSize = 250;
            ASSERT_EQ(DrmMove(s, t, kDrmMoveFirst), 0);
            ASSERT_EQ(Read(149), Ids(2, 150));
            RemoveIds(c.removed);
            int32_t last = 0;
            std::vector<int32_t> rest = Read(1000, &last);
            // Rows of the window held are read as they were.
            rest.erase(rest.begin(), rest.begin() + 50);
            EXPECT_EQ(rest, c.rest);
            EXPECT_EQ(last, c.end);
        }
    }
}

// The array requests of reading 250 records: one per window when the record
// numbers come with the values, else the numbers apart (the first request,
// refused, tells).
TEST_F(TableRecords, RequestsOfAFullRead)
{
    struct Case {
        bool alone;
        std::vector<std::string> requests;
    };
    const Case cases[] = {
        {false,
         {"SubSelectionToArray 0 99", "SubSelectionToArray 99 199", "SubSelectionToArray 199 299"}},
        {true,
         {"SubSelectionToArray 0 99", "SubSelectionToArray 0 99", "RecordNumbers 0 99",
          "RecordNumbers 99 199", "SubSelectionToArray 100 199", "RecordNumbers 199 299",
          "SubSelectionToArray 200 299"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.alone ? "numbers alone" : "numbers with values");
        t = OpenTable(s, db, "Customers");
        server.numbersAlone = c.alone;
        server.selectionSize = 250;
        server.calls.clear();
        int32_t last = 0;
        ASSERT_EQ(DrmMove(s, t, kDrmMoveFirst), 0);
        ASSERT_EQ(Read(1000, &last), Ids(2, 250));
        EXPECT_EQ(last, -1603);
        std::vector<std::string> requests;
        for (const std::string &call : server.calls)
            if (call.rfind("SubSelectionToArray", 0) == 0 || call.rfind("RecordNumbers", 0) == 0)
                requests.push_back(call);
        EXPECT_EQ(requests, c.requests);
    }
}

// The first window read, every record of it going: the reader goes on with
// the first record left.
TEST_F(TableRecords, ReadingOnAfterTheWholeFirstWindowWent)
{
    server.selectionSize = 250;
    ASSERT_EQ(DrmMove(s, t, kDrmMoveFirst), 0);
    ASSERT_EQ(Read(49), Ids(2, 50));
    RemoveIds(Ids(1, 100));
    int32_t last = 0;
    std::vector<int32_t> rest = Read(1000, &last);
    rest.erase(rest.begin(), rest.begin() + 50); // 51..100 as they were read
    EXPECT_EQ(rest, Ids(101, 250));
    EXPECT_EQ(last, -1603);
}

TEST_F(TableRecords, BookmarksFindTheirRecordsAfterRecordsBeforeThemWent)
{
    server.selectionSize = 400;
    std::vector<std::vector<int32_t>> marks;
    for (int32_t r = DrmMove(s, t, kDrmMoveFirst); r == 0; r = DrmMove(s, t, kDrmMoveNext)) {
        int32_t id = Id();
        if (id == 11 || id == 151 || id == 391)
            marks.push_back(Bookmark());
    }
    ASSERT_EQ(marks.size(), 3u);
    auto back = [&](size_t k) {
        int32_t r = DrmGotoBookmark(s, t, marks[k].data(), 36);
        return r == 0 ? Id() : r;
    };
    RemoveIds({1, 2, 3});
    server.calls.clear();
    EXPECT_EQ(back(2), 391);
    EXPECT_EQ(server.calls,
              (std::vector<std::string>{
                  "UseSelection " + server.Name(reinterpret_cast<uint8_t *>(marks[2].data())),
                  "RecordNumbers 291 489", "SubSelectionToArray 387 486"}));
    EXPECT_EQ(back(0), 11);
    EXPECT_EQ(back(1), 151);
    // A record that went is no current record; the others are still found,
    // also after more records went before them than a window holds.
    RemoveIds(Ids(200, 350));
    RemoveIds({151});
    EXPECT_EQ(back(1), -1603);
    EXPECT_EQ(back(2), 391);
    EXPECT_EQ(back(0), 11);
    EXPECT_EQ(server.Count("RecordsInSelection"), 2u); // looked further down for 151 and 391
}

// The engine reads a row, then deletes or changes it: records that went in
// between move it, and the change still goes to it, or to no record.
TEST_F(TableRecords, ChangesGoToTheirOwnRecord)
{
    server.selectionSize = 200;
    ASSERT_EQ(DrmMove(s, t, kDrmMoveFirst), 0);
    ASSERT_EQ(Read(5), Ids(2, 6));
    RemoveIds({2});
    server.calls.clear();
    ASSERT_EQ(DrmDeleteRecord(s, t), 0);
    // Position 6 holds 7 now; 6 is found at 5 and checked there once current.
    EXPECT_EQ(server.calls, (std::vector<std::string>{"SetReadWriteMode 1", "GotoSelectedRecord 6",
                                                      "RecordNumbers 5 5", "RecordNumbers 0 4",
                                                      "GotoSelectedRecord 5", "RecordNumbers 4 4",
                                                      "GetFields 1", "DeleteCurrentRecord"}));
    std::vector<int32_t> left = {100, 102, 103, 104};
    for (int32_t r = 106; r < 300; ++r)
        left.push_back(r);
    EXPECT_EQ(server.records, left);

    // The next row went before its change: nothing is changed.
    ASSERT_EQ(Read(1), Ids(7, 7));
    RemoveIds({7});
    EXPECT_EQ(DrmInitUpdate(s, t, 2), -1603);
    EXPECT_EQ(server.Count("CreateBuffer"), 0u);
    EXPECT_EQ(DrmDeleteRecord(s, t), -1603);
    EXPECT_EQ(server.Count("DeleteCurrentRecord"), 1u);

    // The next one is changed where it is now: 1, 3, 4, 5, 8.
    ASSERT_EQ(Read(1), Ids(8, 8));
    server.calls.clear();
    ASSERT_EQ(DrmInitUpdate(s, t, 2), 0);
    ASSERT_EQ(DrmUpdateRecord(s, t), 0);
    EXPECT_EQ(CallsStarting("GotoSelectedRecord"),
              (std::vector<std::string>{"GotoSelectedRecord 7", "GotoSelectedRecord 5"}));
    EXPECT_EQ(server.Count("ModifyRecord"), 1u);
}

// In the selection's last window the record numbers are read when a change
// needs them: fewer than the window holds show that records went since it
// was read, and nothing is changed.
TEST_F(TableRecords, AChangeAfterRecordsWentFromTheLastWindowIsAConflict)
{
    server.selectionSize = 20;
    ASSERT_EQ(DrmMove(s, t, kDrmMoveFirst), 0);
    ASSERT_EQ(Read(5), Ids(2, 6));
    RemoveIds({2});
    server.calls.clear();
    EXPECT_EQ(DrmDeleteRecord(s, t), -1101);
    EXPECT_EQ(server.Count("DeleteCurrentRecord"), 0u);
    EXPECT_EQ(server.Count("GotoSelectedRecord"), 0u);
    uint8_t mark[36];
    uint32_t n = 0;
    EXPECT_EQ(DrmGetBookmark(s, t, mark, sizeof mark, &n), -1101);
    // Built again, the selection is read as it is.
    ASSERT_EQ(DrmSetFilter(s, t, nullptr, nullptr), 0);
    ASSERT_EQ(DrmMove(s, t, kDrmMoveFirst), 0);
    ASSERT_EQ(Read(5), (std::vector<int32_t>{3, 4, 5, 6, 7}));
    ASSERT_EQ(DrmDeleteRecord(s, t), 0);
    EXPECT_EQ(server.records.size(), 18u);
}

TEST_F(TableRecords, ASelectionOfOneRecordNeedsNoRecordNumbers)
{
    server.selectionSize = 1;
    ASSERT_EQ(DrmMove(s, t, kDrmMoveFirst), 0);
    std::vector<int32_t> mark = Bookmark();
    ASSERT_EQ(DrmGotoBookmark(s, t, mark.data(), 36), 0);
    EXPECT_EQ(Id(), 1);
    ASSERT_EQ(DrmInitUpdate(s, t, 2), 0);
    ASSERT_EQ(DrmUpdateRecord(s, t), 0);
    EXPECT_EQ(server.Count("RecordNumbers"), 0u);
    // Gone, the record is not there to be read back.
    RemoveIds({1});
    EXPECT_EQ(DrmGotoBookmark(s, t, mark.data(), 36), -1603);
}

// Reading on window after window, the next window's request goes out as
// soon as one arrives (in halves: "Send", then "Receive" at its load), as
// reading on asks for it: from the last row read. None goes past the
// selection's last row, and none when the numbers come apart.
TEST_F(TableRecords, AFullReadSendsEachNextWindowAhead)
{
    struct Case {
        int32_t size;
        bool alone;
        std::vector<std::string> requests;
    };
    const std::vector<std::string> two = {"SubSelectionToArray 0 99", "SubSelectionToArray 99 199"};
    auto with = [&](std::vector<std::string> more) {
        std::vector<std::string> all = two;
        all.insert(all.end(), more.begin(), more.end());
        return all;
    };
    const Case cases[] = {
        {350, false, with({"Send 199 299", "Receive", "Send 299 399", "Receive"})},
        {300, false, with({"Send 199 299", "Receive"})},
        {201, false, with({"Send 199 299", "Receive"})},
        {200, false, two},
        {100, false, {"SubSelectionToArray 0 99"}},
        {250, true,
         {"SubSelectionToArray 0 99", "SubSelectionToArray 0 99", "RecordNumbers 0 99",
          "RecordNumbers 99 199", "SubSelectionToArray 100 199", "RecordNumbers 199 299",
          "SubSelectionToArray 200 299"}},
    };
    server.sendsAhead = true;
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + (c.alone ? ", numbers alone" : ""));
        t = OpenTable(s, db, "Customers");
        server.numbersAlone = c.alone;
        server.selectionSize = c.size;
        server.calls.clear();
        int32_t last = 0;
        ASSERT_EQ(DrmMove(s, t, kDrmMoveFirst), 0);
        ASSERT_EQ(Read(1000, &last), Ids(2, c.size));
        EXPECT_EQ(last, -1603);
        std::vector<std::string> requests;
        for (const char *p : {"SubSelectionToArray", "RecordNumbers", "Send", "Receive"})
            for (const std::string &call : CallsStarting(p))
                requests.push_back(call);
        std::vector<std::string> inOrder;
        for (const std::string &call : server.calls)
            if (std::find(requests.begin(), requests.end(), call) != requests.end())
                inOrder.push_back(call);
        EXPECT_EQ(inOrder, c.requests);
        ASSERT_EQ(DrmCloseTable(s, t), 0);
    }
}

// The connection carries one request at a time: whatever else goes to it
// while a window is out takes the reply and drops it first. A change through
// another connection drops it at its take (the records it holds may have
// changed since the server read them); a read there leaves it. A window
// dropped is asked for whole when reached, and the cursor reads ahead no
// more (until its next column list). The rows read are the same.
TEST_F(TableRecords, OtherRequestsDropTheWindowSentAhead)
{
    struct Case {
        const char *what;
        std::function<void()> between;
        bool dropped;
        bool atOnce; // by the request itself, before it goes
    };
    uint32_t other = 0, otherSession = 0;
    auto otherConnection = [&] {
        otherSession = Begin();
        other = OpenTable(otherSession, Open(otherSession), "CUSTOMERS");
    };
    const Case cases[] = {
        {"another cursor's read of the table",
         [&] {
             otherSession = s;
             other = OpenTable(s, db, "Customers");
             ASSERT_EQ(DrmMove(s, other, kDrmMoveFirst), 0);
         },
         true, true},
        {"a count of another table",
         [&] {
             otherSession = s;
             other = OpenTable(s, db, "CUSTOMERS");
             uint32_t info[8] = {};
             ASSERT_EQ(DrmGetTableInfo(s, other, info, sizeof info), 0);
         },
         true, true},
        {"a record made through another connection",
         [&] {
             otherConnection();
             ASSERT_EQ(DrmInitUpdate(otherSession, other, 0), 0);
             ASSERT_EQ(DrmUpdateRecord(otherSession, other), 0);
         },
         true, false},
        {"a read through another connection",
         [&] {
             otherConnection();
             uint32_t info[8] = {};
             ASSERT_EQ(DrmGetTableInfo(otherSession, other, info, sizeof info), 0);
         },
         false, false},
    };
    server.sendsAhead = true;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        t = OpenTable(s, db, "Customers");
        server.selectionSize = 450;
        ASSERT_EQ(DrmMove(s, t, kDrmMoveFirst), 0);
        ASSERT_EQ(Read(149), Ids(2, 150));
        ASSERT_EQ(CallsStarting("Send"), std::vector<std::string>{"Send 199 299"});
        server.calls.clear();
        c.between();
        ASSERT_FALSE(server.calls.empty());
        EXPECT_EQ(server.calls.front() == "Receive dropped", c.atOnce);
        int32_t last = 0;
        EXPECT_EQ(Read(1000, &last), Ids(151, 450));
        EXPECT_EQ(last, -1603);
        auto count = [&](const char *call) {
            return std::count(server.calls.begin(), server.calls.end(), std::string(call));
        };
        EXPECT_EQ(count("Receive dropped"), c.dropped ? 1 : 0);
        EXPECT_EQ(count("Receive"), c.dropped ? 0 : 3); // windows 3, 4 and 5
        EXPECT_EQ(count("SubSelectionToArray 199 299"), c.dropped ? 1 : 0);
        EXPECT_EQ(CallsStarting("Send").size(), c.dropped ? 0u : 2u);
        ASSERT_EQ(DrmCloseTable(otherSession, other), 0);
        ASSERT_EQ(DrmCloseTable(s, t), 0);
    }
    // Closing the cursor, or making its selection again, drops its window.
    for (bool close : {true, false}) {
        SCOPED_TRACE(close ? "closed" : "selection made again");
        t = OpenTable(s, db, "Customers");
        ASSERT_EQ(DrmMove(s, t, kDrmMoveFirst), 0);
        ASSERT_EQ(Read(149), Ids(2, 150));
        server.calls.clear();
        if (close) {
            ASSERT_EQ(DrmCloseTable(s, t), 0);
        } else {
            ASSERT_EQ(DrmSetFilter(s, t, nullptr, nullptr), 0);
            ASSERT_EQ(DrmMove(s, t, kDrmMoveFirst), 0);
        }
        ASSERT_FALSE(server.calls.empty());
        EXPECT_EQ(server.calls.front(), "Receive dropped");
        EXPECT_EQ(server.Count("Receive dropped"), 1u);
        if (!close) {
            ASSERT_EQ(DrmCloseTable(s, t), 0);
        }
    }
}

// A window sent ahead fails as its request made at the load would: the
// failure comes with the move that reaches the window, and only a failure
// that broke the connection is taken from the half; any other is left to
// the request made again.
TEST_F(TableRecords, AWindowSentAheadFailsAsTheRequestMadeAtTheLoad)
{
    struct Case {
        const char *what;
        const char *half; // the half that fails
        int32_t status;
        bool askedAgain;
    };
    const Case cases[] = {
        {"a server status", "ReceiveSubSelectionToArray", -9963, true},
        {"a time-out", "ReceiveSubSelectionToArray", QX_ERR_TIMED_OUT, false},
        {"a link lost at the send", "SendSubSelectionToArray", QX_ERR_LINK, false},
    };
    for (const Case &c : cases) {
        std::vector<int32_t> ids[2];
        int32_t last[2] = {0, 0};
        for (bool ahead : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (ahead ? ", sent ahead" : ", whole"));
            server.sendsAhead = ahead;
            server.status.clear();
            t = OpenTable(s, db, "Customers");
            server.selectionSize = 450;
            ASSERT_EQ(DrmMove(s, t, kDrmMoveFirst), 0);
            ASSERT_EQ(Read(49), Ids(2, 50));
            if (ahead)
                server.status[c.half] = c.status; // from the next window's send on
            ASSERT_EQ(Read(100), Ids(51, 150));
            server.status["SubSelectionToArray"] = c.status;
            server.calls.clear();
            ids[ahead] = Read(1000, &last[ahead]);
            if (ahead) {
                EXPECT_EQ(server.Count("SubSelectionToArray 199 299"), c.askedAgain ? 1u : 0u);
            }
            ASSERT_EQ(DrmCloseTable(s, t), 0);
        }
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ids[1], ids[0]);
        EXPECT_EQ(ids[0], Ids(151, 200));
        EXPECT_EQ(last[1], last[0]);
        EXPECT_NE(last[0], 0);
    }
    server.status.clear();
}

} // namespace
