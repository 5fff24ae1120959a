// The table cursor against the scripted server: filters turned into search
// lines, windows, changes, bookmarks and shared selections, seen through
// the requests the cursor makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "driver/Sources/drm.h"
#include "driver/Sources/drm_catalog.h"
#include "driver/Sources/drm_table.h"
#include "driver/Sources/tests/drm_fixture.h"
#include "driver/Sources/tests/filter_tree.h"

namespace {

class Tables : public DrmSessionTest {
protected:
    void SetUp() override
    {
        DrmSessionTest::SetUp();
        s = Begin();
        db = Open(s);
        server.calls.clear();
    }

    int32_t SetFilter(uint32_t c, const F &f)
    {
        EncodedFilter e(f);
        return DrmSetFilter(s, c, e.tree.data(), e.data.data());
    }

    // The last search as text: "AND 1>5" per line.
    std::vector<std::string> Lines() const
    {
        static const char *const kOps[] = {"?", "=", "<>", ">", ">=", "<", "<="};
        static const char *const kConj[] = {"", "AND ", "OR ", "NOT "};
        std::vector<std::string> out;
        for (const QXSearchLine &l : server.lastSearch) {
            std::string v;
            if (l.value.type == 0)
                v.assign(reinterpret_cast<const char *>(l.value.alpha + 1), l.value.alpha[0]);
            else if (l.value.type == 9)
                v = std::to_string(l.value.longValue);
            else if (l.value.type == 8)
                v = std::to_string(l.value.shortValue);
            else
                v = "type" + std::to_string(l.value.type);
            out.push_back(std::string(kConj[l.conjunction & 3]) + std::to_string(l.field) +
                          kOps[l.op % 7] + v);
        }
        return out;
    }

    std::vector<std::string> CallsStarting(const std::string &prefix) const
    {
        std::vector<std::string> out;
        for (const std::string &c : server.calls)
            if (c.rfind(prefix, 0) == 0)
                out.push_back(c);
        return out;
    }

    int32_t ReadLong(uint32_t c, uint32_t column)
    {
        int32_t v = -1;
        uint32_t n = 0;
        EXPECT_EQ(DrmRetrieveColumn(s, c, column, &v, 4, &n, nullptr), 0);
        return v;
    }

    uint32_t s = 0, db = 0;
};

TEST_F(Tables, FiltersBecomeOneFlatSearchOrAreLeftToTheEngine)
{
    // Customers: 1 ID long, 2 Name alpha(40), 3 Name2 alpha(20), 4 Notes text.
    const F a = Eq(Col(1), Long(1)), b = Eq(Col(1), Long(2)), c = Eq(Col(1), Long(3)),
            d = Eq(Col(1), Long(4));
    struct Case {
        const char *name;
        F filter;
        std::vector<std::string> lines; // empty: refused with -2003
        bool part = false;              // a part taken (-2004): the operands of an AND that fit
    };
    const std::vector<Case> cases = {
        {"single comparison", Eq(Col(1), Long(5)), {"1=5"}},
        {"value first mirrors the operator", Lt(Long(5), Col(1)), {"1>5"}},
        {"value first, at least", Ge(Long(5), Col(1)), {"1<=5"}},
        {"value first, not equal", Ne(Long(5), Col(1)), {"1<>5"}},
        {"(a OR b) AND c", And(Or(a, b), Eq(Col(2), Text("Bo"))), {"1=1", "OR 1=2", "AND 2=Bo"}},
        {"a AND (b OR c)",
         And(a, Or(Eq(Col(2), Text("A")), Eq(Col(2), Text("B")))),
         {"2=A", "OR 2=B", "AND 1=1"}},
        {"a AND b AND c", And(And(a, b), c), {"1=1", "AND 1=2", "AND 1=3"}},
        {"((c AND d) OR b) AND a",
         And(a, Or(b, And(c, d))),
         {"1=3", "AND 1=4", "OR 1=2", "AND 1=1"}},
        {"a AND ((c OR d) OR b)", And(a, Or(Or(c, d), b)), {"1=3", "OR 1=4", "OR 1=2", "AND 1=1"}},
        {"alpha value against a text field", Eq(Col(4), Text("x")), {"4=x"}},
        {"(a OR b) AND (c OR d)", And(Or(a, b), Or(c, d)), {"1=1", "OR 1=2"}, true},
        {"(a AND b) OR (c AND d)", Or(And(a, b), And(c, d)), {}},
        {"NOT a", Not(a), {}},
        {"a AND NOT b", And(a, Not(b)), {"1=1"}, true},
        {"a AND LIKE AND b",
         And(And(a, Op(1018, {Col(2), Text("A%")})), b),
         {"1=1", "AND 1=2"},
         true},
        {"(a OR LIKE) AND c AND (b OR d)",
         And(And(Or(a, Op(1018, {Col(2), Text("A%")})), c), Or(b, d)),
         {"1=2", "OR 1=4", "AND 1=3"},
         true},
        {"NOT a AND text not equal", And(Not(a), Ne(Col(2), Text("Bo"))), {}},
        {"two columns", Eq(Col(1), Col(2)), {}},
        {"two values", Eq(Long(1), Long(2)), {}},
        {"number against an alpha field", Eq(Col(2), Long(5)), {}},
        {"text against a number field", Eq(Col(1), Text("5")), {}},
        {"text longer than a search value", Eq(Col(2), Text(std::string(81, 'x'))), {}},
        {"long text value", Eq(Col(2), Text("x", 12)), {}},
        {"LIKE", Op(1019, {Col(2), Text("A%")}), {}},
        {"AND of three operands", Op(1001, {a, b, c}), {}},
        {"unknown column", Eq(Col(9), Long(1)), {}},
        // An empty text reads as NULL: only = of a text with text is pushed,
        // and = or >= an empty (or blank) text finds nothing or what > finds.
        {"text not equal", Ne(Col(2), Text("Bo")), {}},
        {"text below", Lt(Col(2), Text("Bo")), {}},
        {"text at most, value first", Ge(Text("Bo"), Col(2)), {}},
        {"text above (collations differ)", Gt(Col(2), Text("Bo")), {}},
        {"equal to the empty text", Eq(Col(2), Text("")), {"2<"}},
        {"equal to blanks", Or(Eq(Col(2), Text("  ")), a), {"2<  ", "OR 1=1"}},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        uint32_t t = OpenTable(s, db, "Customers");
        server.lastSearch.clear();
        server.calls.clear();
        int32_t r = SetFilter(t, k.filter);
        ASSERT_EQ(r, k.lines.empty() ? -2003 : k.part ? -2004 : 0);
        server.selectionSize = 0;
        EXPECT_EQ(DrmMove(s, t, kDrmMoveFirst), -1603);
        if (k.lines.empty()) {
            EXPECT_EQ(server.Count("Search"), 0u);
            EXPECT_EQ(server.Count("SelectAllRecords"), 1u);
        } else {
            EXPECT_EQ(Lines(), k.lines);
        }
        EXPECT_EQ(DrmCloseTable(s, t), 0);
    }
}

TEST_F(Tables, MalformedTreesAreRefused)
{
    uint32_t t = OpenTable(s, db, "Customers");
    EncodedFilter e(Eq(Col(1), Long(5)));
    std::vector<uint32_t> tree = e.tree;
    tree[3] = 1000; // a child beyond the tree
    EXPECT_EQ(DrmSetFilter(s, t, tree.data(), e.data.data()), -2003);
    tree = e.tree;
    tree[3] = 1; // a comparison that is its own operand
    EXPECT_EQ(DrmSetFilter(s, t, tree.data(), e.data.data()), -2003);
    std::vector<uint32_t> data = e.data;
    data[0] = 8; // the literal lies beyond the data tree
    EXPECT_EQ(DrmSetFilter(s, t, e.tree.data(), data.data()), -2003);
    EXPECT_EQ(DrmSetFilter(s, t, e.tree.data(), nullptr), -2003);
}

TEST_F(Tables, ParametersAreFilledAtEachBuildAfterTheyChange)
{
    uint32_t t = OpenTable(s, db, "Customers");
    ASSERT_EQ(SetFilter(t, Gt(Col(1), Par(4, 7))), 0);
    server.selectionSize = 3;
    EXPECT_EQ(DrmMove(s, t, kDrmMoveFirst), -2); // no value for parameter 7 yet
    EXPECT_EQ(server.Count("Search"), 0u);

    int32_t v = 40;
    ASSERT_EQ(DrmSetParam(s, 7, 4, &v, 4), 0);
    ASSERT_EQ(DrmMove(s, t, kDrmMoveFirst), 0);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"1>40"}));
    ASSERT_EQ(DrmMove(s, t, kDrmMoveNext), 0);
    EXPECT_EQ(server.Count("Search"), 1u); // unchanged parameters: no new search

    v = 41;
    ASSERT_EQ(DrmSetParam(s, 7, 4, &v, 4), 0);
    ASSERT_EQ(DrmMove(s, t, kDrmMoveFirst), 0);
    EXPECT_EQ(server.Count("Search"), 2u);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"1>41"}));

    // A NULL parameter: the comparison holds for no record.
    ASSERT_EQ(DrmSetParam(s, 7, 4, nullptr, 0), 0);
    ASSERT_EQ(DrmMove(s, t, kDrmMoveFirst), 0);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"1<-2147483648"}));
    ASSERT_EQ(DrmSetParam(s, 7, 4, &v, 4), 0);
    ASSERT_EQ(DrmMove(s, t, kDrmMoveFirst), 0);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"1>41"}));
}

TEST_F(Tables, AnEmptyTextParameterFindsNoRecord)
{
    // The empty text is NULL to the engine: = finds nothing, >= what > finds.
    uint32_t t = OpenTable(s, db, "Customers");
    ASSERT_EQ(SetFilter(t, Or(Eq(Col(2), Par(10, 7)), Eq(Col(3), Par(10, 8)))), 0);
    server.selectionSize = 0;
    ASSERT_EQ(DrmSetParam(s, 7, 10, "", 0), 0);
    ASSERT_EQ(DrmSetParam(s, 8, 10, "Bo", 2), 0);
    EXPECT_EQ(DrmMove(s, t, kDrmMoveFirst), -1603);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"2<", "OR 3=Bo"}));
    ASSERT_EQ(DrmSetParam(s, 7, 10, "Al", 2), 0);
    ASSERT_EQ(DrmSetParam(s, 8, 10, "   ", 3), 0);
    EXPECT_EQ(DrmMove(s, t, kDrmMoveFirst), -1603);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"2=Al", "OR 3<   "}));
}

TEST_F(Tables, AnEmptyKeyFindsNoRecord)
{
    uint32_t t = OpenTable(s, db, "Customers");
    ASSERT_EQ(DrmSetTableIndex(s, t, "Name"), 0);
    ASSERT_EQ(DrmMakeKey(s, t, "", 0, 1), 0);
    server.selectionSize = 0;
    struct Case {
        uint32_t flags;
        const char *line;
    };
    for (const Case &k : {Case{0x01, "2<"}, Case{0x08, "2>"}, Case{0x10, "2>"}}) {
        SCOPED_TRACE(k.flags);
        EXPECT_EQ(DrmSeek(s, t, k.flags), -1601);
        EXPECT_EQ(Lines(), (std::vector<std::string>{k.line}));
    }
}

TEST_F(Tables, FirstAndLastIndexEntries)
{
    // The whole table sorted on the index: the first seek stands on its first
    // row, the last seek on its last row (a window is read from there).
    uint32_t t = OpenTable(s, db, "Customers");
    ASSERT_EQ(DrmSetTableIndex(s, t, "ID"), 0);
    server.selectionSize = 250;
    ASSERT_EQ(DrmSeek(s, t, 0x20), 0);
    EXPECT_EQ(ReadLong(t, 1), 1);
    ASSERT_EQ(DrmSeek(s, t, 0x40), 0);
    EXPECT_EQ(ReadLong(t, 1), 250);
    EXPECT_EQ(DrmMove(s, t, kDrmMoveNext), -1603);
    EXPECT_EQ(server.Count("Sort"), 2u);
    EXPECT_EQ(server.Count("Search"), 0u);
    server.selectionSize = 0;
    EXPECT_EQ(DrmSeek(s, t, 0x40), -1601);
}

// The found records are sorted on the cursor's index, unless every one of
// them holds the same key: an equality on the index field that the whole
// search is ANDed with (the server's sort keeps equal records in order).
TEST_F(Tables, HitsThatShareTheIndexKeyAreNotSorted)
{
    struct Case {
        const char *index;
        F filter;
        size_t sorts;
    };
    const Case cases[] = {
        {"ID", Eq(Col(1), Long(5)), 0},
        {"ID", And(Eq(Col(1), Long(5)), Eq(Col(2), Text("Al"))), 0},
        {"Name", And(Gt(Col(1), Long(3)), Eq(Col(2), Text("Al"))), 0},
        {"ID", Or(Eq(Col(1), Long(5)), Eq(Col(1), Long(6))), 1},
        {"ID", And(Eq(Col(1), Long(5)), Or(Eq(Col(2), Text("Al")), Eq(Col(2), Text("Bo")))), 0},
        {"ID", Gt(Col(1), Long(5)), 1},
        {"ID", Ne(Col(1), Long(5)), 1},
        {"Name", Eq(Col(1), Long(5)), 1},
        {"Name", Eq(Col(2), Text("Al")), 0},
    };
    for (const Case &c : cases) {
        uint32_t t = OpenTable(s, db, "Customers");
        ASSERT_EQ(DrmSetTableIndex(s, t, c.index), 0);
        ASSERT_EQ(SetFilter(t, c.filter), 0);
        server.selectionSize = 5;
        server.calls.clear();
        ASSERT_EQ(DrmMove(s, t, kDrmMoveFirst), 0);
        EXPECT_EQ(server.Count("Sort"), c.sorts) << c.index << " " << Lines().size();
        DrmCloseTable(s, t);
    }
    // An equality seek on the index finds records that share the key; a
    // seek from a key on reads them in key order.
    uint32_t t = OpenTable(s, db, "Customers");
    ASSERT_EQ(DrmSetTableIndex(s, t, "Name"), 0);
    ASSERT_EQ(DrmMakeKey(s, t, "Bo", 2, 1), 0);
    server.selectionSize = 5;
    server.calls.clear();
    ASSERT_EQ(DrmSeek(s, t, 0x01), 0);
    EXPECT_EQ(server.Count("Sort"), 0u);
    ASSERT_EQ(DrmSeek(s, t, 0x08), 0);
    EXPECT_EQ(server.Count("Sort"), 1u);
}

TEST_F(Tables, ANullFilterTakesTheFilterAway)
{
    uint32_t t = OpenTable(s, db, "Customers");
    ASSERT_EQ(SetFilter(t, Eq(Col(1), Long(5))), 0);
    server.selectionSize = 0;
    EXPECT_EQ(DrmMove(s, t, kDrmMoveFirst), -1603);
    EXPECT_EQ(server.Count("Search"), 1u);
    ASSERT_EQ(DrmSetFilter(s, t, nullptr, nullptr), 0);
    EXPECT_EQ(DrmMove(s, t, kDrmMoveFirst), -1603);
    EXPECT_EQ(server.Count("Search"), 1u);
    EXPECT_EQ(server.Count("SelectAllRecords"), 1u);
}

TEST_F(Tables, RecordsComeInWindowsOfAHundred)
{
    uint32_t t = OpenTable(s, db, "Customers");
    server.fileSize = 999;
    uint32_t info[3] = {};
    ASSERT_EQ(DrmGetTableInfo(s, t, info, 12), 0);
    EXPECT_EQ(info[1], 999u);
    server.selectionSize = 250;
    std::vector<int32_t> ids;
    for (int32_t r = DrmMove(s, t, kDrmMoveFirst); r == 0; r = DrmMove(s, t, kDrmMoveNext))
        ids.push_back(ReadLong(t, 1));
    ASSERT_EQ(ids.size(), 250u);
    for (size_t i = 0; i < ids.size(); ++i)
        ASSERT_EQ(ids[i], static_cast<int32_t>(i + 1));
    // One request per window: the record numbers come with the values, and
    // each window after the first starts with the last row read, to check
    // that it is where it was.
    EXPECT_EQ(CallsStarting("SubSelectionToArray"),
              (std::vector<std::string>{"SubSelectionToArray 0 99", "SubSelectionToArray 99 199",
                                        "SubSelectionToArray 199 299"}));
    EXPECT_EQ(CallsStarting("RecordNumbers"), std::vector<std::string>{});
    // The row count is the selection's, asked of the server, not the table's.
    ASSERT_EQ(DrmGetTableInfo(s, t, info, 12), 0);
    EXPECT_EQ(info[1], 250u);

    // Reading the same record's columns backwards and forwards costs nothing.
    ASSERT_EQ(DrmMove(s, t, kDrmMoveFirst), 0);
    char name[16];
    uint32_t n = 0;
    ASSERT_EQ(DrmRetrieveColumn(s, t, 2, name, sizeof name, &n, nullptr), 0);
    EXPECT_EQ(std::string(name, n), "R1");
    EXPECT_EQ(ReadLong(t, 1), 1);
    EXPECT_EQ(DrmRetrieveColumn(s, t, 9, name, sizeof name, &n, nullptr), -1);
    EXPECT_EQ(CallsStarting("SubSelectionToArray").size(), 4u);
}

TEST_F(Tables, RetrieveListsReadOnlyTheirFields)
{
    uint32_t t = OpenTable(s, db, "Customers");
    server.selectionSize = 3;
    const uint32_t list[] = {24, t, 2, t, 99, t, 1}; // column 99 is not a field of the table
    ASSERT_EQ(DrmSetRetrieveColumns(s, list), 0);
    ASSERT_EQ(DrmMove(s, t, kDrmMoveFirst), 0);
    EXPECT_EQ(ReadLong(t, 1), 1);
    char buf[8];
    uint32_t n = 0;
    EXPECT_EQ(DrmRetrieveColumn(s, t, 99, buf, sizeof buf, &n, nullptr), -1);
    EXPECT_EQ(DrmRetrieveColumn(s, t, 3, buf, sizeof buf, &n, nullptr), -1); // not in the list
    EXPECT_EQ(DrmRetrieveColumn(s, t, 0x10001, buf, sizeof buf, &n, nullptr),
              -1); // no such column, not 1
    // A new list empties the cache: nothing to read until the next move.
    ASSERT_EQ(DrmSetRetrieveColumns(s, list), 0);
    EXPECT_EQ(DrmRetrieveColumn(s, t, 1, buf, sizeof buf, &n, nullptr), -1);
    ASSERT_EQ(DrmMove(s, t, kDrmMoveNext), 0);
    EXPECT_EQ(ReadLong(t, 1), 2);
    // Leniently (release builds) a field left out is still read right: the
    // cursor loads the record again with every field.
    const bool strict = DrmStrictRetrieve();
    DrmSetStrictRetrieve(false);
    server.calls.clear();
    char name[8] = {};
    EXPECT_EQ(DrmRetrieveColumn(s, t, 3, name, sizeof name, &n, nullptr), 0);
    EXPECT_STREQ(name, "R2");
    EXPECT_EQ(CallsStarting("SubSelectionToArray").size(), 1u);
    EXPECT_EQ(ReadLong(t, 1), 2);
    DrmSetStrictRetrieve(strict);
}

TEST_F(Tables, ARowReadInOneCallAnswersAsColumnReadsOneByOne)
{
    // Customers: 1 ID long, 2 Name alpha(40), 3 Name2 alpha(20), 4 Notes text.
    uint32_t t = OpenTable(s, db, "Customers");
    server.selectionSize = 150; // two windows
    const uint32_t list[] = {32, t, 4, t, 1, t, 99, t, 2};
    ASSERT_EQ(DrmSetRetrieveColumns(s, list), 0);
    struct Read {
        uint32_t column;
        uint32_t size;
    };
    // Listed columns in and out of list order, one read twice, buffers that
    // fit, cut a text (1006) or are too small for an alpha (-1038) or a long
    // (-1038), a column left out of the list, one that is no field and one
    // past 16 bits.
    const Read reads[] = {{2, 16}, {1, 4},  {4, 16}, {4, 1},  {2, 1},
                          {1, 3},  {2, 16}, {3, 16}, {99, 8}, {0x10002, 8}};
    constexpr size_t kReads = std::size(reads);
    const bool strict = DrmStrictRetrieve();
    DrmSetStrictRetrieve(true); // column 3 answers -1, not a new window
    int rows = 0;
    for (int32_t r = DrmMove(s, t, kDrmMoveFirst); r == 0; r = DrmMove(s, t, kDrmMoveNext)) {
        std::vector<std::vector<uint8_t>> one(kReads), all(kReads);
        DrmColumnRead batch[kReads];
        int32_t want[kReads];
        uint32_t wantN[kReads];
        for (size_t i = 0; i < kReads; ++i) {
            one[i].assign(reads[i].size + 1, '#');
            all[i].assign(reads[i].size + 1, '#');
            wantN[i] = 0;
            want[i] = DrmRetrieveColumn(s, t, reads[i].column, one[i].data(), reads[i].size,
                                        &wantN[i], nullptr);
            batch[i] = DrmColumnRead{reads[i].column, all[i].data(), reads[i].size, 77, 77};
        }
        ASSERT_EQ(DrmRetrieveColumns(s, t, batch, kReads), 0);
        for (size_t i = 0; i < kReads; ++i) {
            SCOPED_TRACE(testing::Message() << "row " << rows << " read " << i);
            EXPECT_EQ(batch[i].result, want[i]);
            EXPECT_EQ(batch[i].outLength, wantN[i]);
            EXPECT_EQ(all[i], one[i]);
        }
        if (rows == 0) { // the codes themselves, once
            EXPECT_EQ(std::vector<int32_t>(want, want + kReads),
                      (std::vector<int32_t>{0, 0, 0, kDrmWarnTruncated, kDrmErrBufferTooSmall,
                                            kDrmErrBufferTooSmall, 0, -1, -1, -1}));
        }
        ++rows;
    }
    DrmSetStrictRetrieve(strict);
    EXPECT_EQ(rows, 150);
    // The reads come from the windows: no request of their own.
    EXPECT_EQ(CallsStarting("SubSelectionToArray").size(), 2u);
    // No such cursor or session: the code DrmRetrieveColumn gives, nothing read.
    DrmColumnRead r{1, nullptr, 0, 77, 77};
    uint32_t n = 0;
    EXPECT_EQ(DrmRetrieveColumns(s, t + 100, &r, 1),
              DrmRetrieveColumn(s, t + 100, 1, nullptr, 0, &n, nullptr));
    EXPECT_EQ(DrmRetrieveColumns(s + 100, t, &r, 1),
              DrmRetrieveColumn(s + 100, t, 1, nullptr, 0, &n, nullptr));
    EXPECT_EQ(r.result, 77);
    EXPECT_EQ(DrmRetrieveColumns(s, t, &r, 0), 0);
}

TEST_F(Tables, ShortWindowRepliesAndFailedBuilds)
{
    uint32_t t = OpenTable(s, db, "Customers");
    server.selectionSize = 10;
    server.truncateArray = 30; // fewer bytes than the ten records it announces
    EXPECT_EQ(DrmMove(s, t, kDrmMoveFirst), kDrmErrBadReply);
    server.truncateArray = 0;
    ASSERT_EQ(DrmMove(s, t, kDrmMoveFirst), 0);
    EXPECT_EQ(ReadLong(t, 1), 1);

    uint32_t u = OpenTable(s, db, "Customers");
    server.status["SelectAllRecords"] = -9950;
    EXPECT_LT(DrmMove(s, u, kDrmMoveFirst), 0);
    server.status.clear();
    ASSERT_EQ(DrmMove(s, u, kDrmMoveFirst), 0); // a failed build is built again
    EXPECT_EQ(ReadLong(u, 1), 1);
}

TEST_F(Tables, LongValuesGivenInPiecesAreJoinedAndOverlongTextIsRefused)
{
    uint32_t t = OpenTable(s, db, "Customers");
    ASSERT_EQ(DrmInitUpdate(s, t, 0), 0);
    int32_t id = 7;
    ASSERT_EQ(DrmSetColumn(s, t, 1, &id, 4, 0, 0), 0);
    ASSERT_EQ(DrmSetColumn(s, t, 4, "abc", 3, 0, 0), 0);
    ASSERT_EQ(DrmSetColumn(s, t, 4, "def", 3, 1, 0), 0);
    ASSERT_EQ(DrmSetColumn(s, t, 4, "gh", 2, 1, 0), 0);
    EXPECT_EQ(DrmSetColumn(s, t, 3, "123456789012345678901", 21, 0, 0), -1047); // Name2 holds 20
    ASSERT_EQ(DrmSetColumn(s, t, 3, "12345678901234567890   ", 23, 0, 0), 0);   // blanks beyond go
    ASSERT_EQ(DrmUpdateRecord(s, t), 0);
    EXPECT_EQ(server.longValues, (std::vector<std::string>{"abcdefgh"}));
    ASSERT_EQ(server.buffers.size(), 1u);
    std::vector<int16_t> fields;
    for (auto &[field, value] : server.buffers[0])
        fields.push_back(field);
    EXPECT_EQ(fields, (std::vector<int16_t>{1, 3, 4}));
    EXPECT_EQ(server.buffers[0][1].second.alpha[0], 20);
    EXPECT_EQ(server.Count("NewRecord"), 1u);
    EXPECT_EQ(server.liveHandles, 0);

    // A NULL long value is the empty value of its type.
    ASSERT_EQ(DrmInitUpdate(s, t, 0), 0);
    ASSERT_EQ(DrmSetColumn(s, t, 4, "abc", 3, 0, 0), 0);
    ASSERT_EQ(DrmSetColumn(s, t, 4, nullptr, 0, 0, 1), 0);
    ASSERT_EQ(DrmUpdateRecord(s, t), 0);
    ASSERT_EQ(server.buffers.size(), 2u);
    ASSERT_EQ(server.buffers[1].size(), 1u);
    EXPECT_EQ(server.buffers[1][0].second.type, 2);
    EXPECT_EQ(server.buffers[1][0].second.length, 0);

    std::string piece(40000, 'x');
    ASSERT_EQ(DrmInitUpdate(s, t, 0), 0);
    ASSERT_EQ(DrmSetColumn(s, t, 4, piece.data(), 40000, 0, 0), 0);
    EXPECT_EQ(DrmSetColumn(s, t, 4, piece.data(), 40000, 1, 0), -1047);
    EXPECT_EQ(DrmUpdateRecord(s, t), 0);
    EXPECT_EQ(server.liveHandles, 0);
}

TEST_F(Tables, DeleteRemovesExactlyTheCurrentRecord)
{
    uint32_t t = OpenTable(s, db, "Customers");
    server.selectionSize = 5;
    EXPECT_EQ(DrmDeleteRecord(s, t), -1603); // no current record yet
    ASSERT_EQ(DrmMove(s, t, kDrmMoveFirst), 0);
    ASSERT_EQ(DrmMove(s, t, kDrmMoveNext), 0);
    ASSERT_EQ(DrmMove(s, t, kDrmMoveNext), 0);
    server.calls.clear();
    ASSERT_EQ(DrmDeleteRecord(s, t), 0);
    EXPECT_EQ(DrmDeleteRecord(s, t), -1603); // the same record twice would hit its neighbour
    ASSERT_EQ(DrmMove(s, t, kDrmMoveNext), 0);
    ASSERT_EQ(DrmDeleteRecord(s, t), 0);
    // Rows 2 and 3 are both at position 3 once row 2 is gone; the selection
    // is never replaced by the whole table and never deleted as a whole.
    // The record there is checked to be the row's before it goes.
    EXPECT_EQ(server.calls, (std::vector<std::string>{"SetReadWriteMode 1", "RecordNumbers 0 4",
                                                      "GotoSelectedRecord 3", "RecordNumbers 2 2",
                                                      "GetFields 1", "DeleteCurrentRecord",
                                                      "GotoSelectedRecord 3", "RecordNumbers 2 2",
                                                      "GetFields 1", "DeleteCurrentRecord"}));
    EXPECT_EQ(server.records, (std::vector<int32_t>{100, 101, 104}));
}

TEST_F(Tables, UpdatePositionsOnTheRecordOfTheBookmark)
{
    uint32_t t = OpenTable(s, db, "Customers");
    server.selectionSize = 5;
    ASSERT_EQ(DrmMove(s, t, kDrmMoveFirst), 0);
    ASSERT_EQ(DrmMove(s, t, kDrmMoveNext), 0);
    uint8_t mark[36];
    uint32_t n = 0;
    ASSERT_EQ(DrmGetBookmark(s, t, mark, sizeof mark, &n), 0);
    ASSERT_EQ(DrmMove(s, t, kDrmMoveNext), 0);
    ASSERT_EQ(DrmMove(s, t, kDrmMoveNext), 0);
    ASSERT_EQ(DrmGotoBookmark(s, t, mark, sizeof mark), 0);
    EXPECT_EQ(ReadLong(t, 1), 2);
    server.calls.clear();
    ASSERT_EQ(DrmInitUpdate(s, t, 2), 0);
    EXPECT_EQ(server.calls, (std::vector<std::string>{
                                "SetReadWriteMode 1", "GotoSelectedRecord 2", "RecordNumbers 1 1",
                                "GetFields 1", "SubSelectionToArray 1 1", "CreateBuffer 1"}));
    server.calls.clear();
    ASSERT_EQ(DrmUpdateRecord(s, t), 0);
    EXPECT_EQ(server.Count("GotoSelectedRecord"), 0u); // still the current record: not sent again
}

// A change locks its record first: while another connection holds it the
// cursor goes to it again, and once it holds it the record is read again
// for the engine; a delete after that change needs no second visit.
TEST_F(Tables, AChangeWaitsForTheLockThenReadsTheRecordAgain)
{
    uint32_t t = OpenTable(s, db, "Customers");
    server.selectionSize = 5;
    ASSERT_EQ(DrmMove(s, t, kDrmMoveFirst), 0);
    ASSERT_EQ(DrmMove(s, t, kDrmMoveNext), 0);
    EXPECT_EQ(ReadLong(t, 1), 2);
    server.lockedReads = 2;
    server.calls.clear();
    ASSERT_EQ(DrmInitUpdate(s, t, 2), 0);
    const std::vector<std::string> visit = {"GotoSelectedRecord 2", "RecordNumbers 1 1",
                                            "GetFields 1"};
    std::vector<std::string> expected = {"SetReadWriteMode 1", "RecordNumbers 0 4"};
    for (int k = 0; k < 3; ++k)
        expected.insert(expected.end(), visit.begin(), visit.end());
    expected.push_back("SubSelectionToArray 1 1");
    expected.push_back("CreateBuffer 1");
    EXPECT_EQ(server.calls, expected);
    EXPECT_EQ(ReadLong(t, 1), 2);
    server.calls.clear();
    ASSERT_EQ(DrmDeleteRecord(s, t), 0);
    EXPECT_EQ(server.calls, (std::vector<std::string>{"DeleteCurrentRecord"}));
}

TEST_F(Tables, AFailedBookmarkReturnBuildsTheSelectionAgain)
{
    uint32_t t = OpenTable(s, db, "Customers");
    server.selectionSize = 5;
    ASSERT_EQ(DrmMove(s, t, kDrmMoveFirst), 0);
    uint8_t mark[36];
    uint32_t n = 0;
    ASSERT_EQ(DrmGetBookmark(s, t, mark, sizeof mark, &n), 0);
    EXPECT_EQ(DrmGotoBookmark(s, t, mark, 35), kDrmErrBufferTooSmall);
    server.status["UseSelection"] = -9952;
    EXPECT_LT(DrmGotoBookmark(s, t, mark, sizeof mark), 0);
    server.status.clear();
    server.calls.clear();
    ASSERT_EQ(DrmMove(s, t, kDrmMoveNext), 0);
    EXPECT_EQ(server.Count("SelectAllRecords"), 1u);
    EXPECT_EQ(ReadLong(t, 1), 2);
}

// prefix, a decimal number without leading zeros, suffix.
bool IsNumberedName(const std::string &name, const std::string &prefix, const std::string &suffix)
{
    if (name.size() <= prefix.size() + suffix.size() || name.rfind(prefix, 0) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    return digits[0] != '0' && digits.find_first_not_of("0123456789") == std::string::npos;
}

TEST_F(Tables, BookmarkNamesAreUniqueAndKilledAtClose)
{
    uint32_t a = OpenTable(s, db, "Customers");
    uint32_t b = OpenTable(s, db, "Customers");
    server.selectionSize = 5;
    uint8_t m1[36] = {}, m2[36] = {}, m3[36] = {};
    uint32_t n = 0;
    EXPECT_EQ(DrmGetBookmark(s, a, m1, 35, &n), kDrmErrBufferTooSmall);
    ASSERT_EQ(DrmMove(s, a, kDrmMoveFirst), 0);
    ASSERT_EQ(DrmGetBookmark(s, a, m1, sizeof m1, &n), 0);
    EXPECT_EQ(n, 36u);
    ASSERT_EQ(DrmMove(s, a, kDrmMoveNext), 0);
    ASSERT_EQ(DrmGetBookmark(s, a, m2, sizeof m2, &n), 0);
    ASSERT_EQ(DrmMove(s, b, kDrmMoveFirst), 0);
    ASSERT_EQ(DrmGetBookmark(s, b, m3, sizeof m3, &n), 0);
    std::string n1(reinterpret_cast<char *>(m1) + 1, m1[0]),
        n3(reinterpret_cast<char *>(m3) + 1, m3[0]);
    EXPECT_EQ(std::memcmp(m1, m2, 16), 0); // one copy of the selection serves both rows
    EXPECT_NE(n1, n3);
    // "BM_", the number in decimal, then the letter l.
    EXPECT_TRUE(IsNumberedName(n1, "BM_", "l")) << n1;
    EXPECT_TRUE(IsNumberedName(n3, "BM_", "l")) << n3;
    uint32_t row1 = 9, row2 = 9;
    std::memcpy(&row1, m1 + 32, 4);
    std::memcpy(&row2, m2 + 32, 4);
    EXPECT_EQ(row1, 0u);
    EXPECT_EQ(row2, 1u);

    server.calls.clear();
    ASSERT_EQ(DrmCloseTable(s, a), 0);
    ASSERT_EQ(DrmCloseTable(s, b), 0);
    std::vector<std::string> kills = CallsStarting("KillSelection");
    EXPECT_NE(std::find(kills.begin(), kills.end(), "KillSelection " + n1), kills.end());
    EXPECT_NE(std::find(kills.begin(), kills.end(), "KillSelection " + n3), kills.end());
}

TEST_F(Tables, CursorsOnOneTableKeepTheirOwnSelections)
{
    uint32_t a = OpenTable(s, db, "Customers");
    uint32_t b = OpenTable(s, db, "Customers");
    server.selectionSize = 150;
    ASSERT_EQ(DrmMove(s, a, kDrmMoveFirst), 0);
    ASSERT_EQ(SetFilter(b, Gt(Col(1), Long(3))), 0);
    server.calls.clear();
    ASSERT_EQ(DrmMove(s, b, kDrmMoveFirst), 0);
    // A's selection is saved before B's search replaces it.
    std::vector<std::string> first = {server.calls.begin(), server.calls.begin() + 2};
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].rfind("CopySelection SL_", 0), 0u) << first[0];
    EXPECT_EQ(first[1], "Search 1");
    std::string saved = first[0].substr(std::string("CopySelection ").size());
    EXPECT_TRUE(IsNumberedName(saved, "SL_", "")) << saved;

    // A reads within its window without a request, then needs its selection back.
    server.calls.clear();
    for (int i = 0; i < 99; ++i)
        ASSERT_EQ(DrmMove(s, a, kDrmMoveNext), 0);
    EXPECT_TRUE(server.calls.empty());
    ASSERT_EQ(DrmMove(s, a, kDrmMoveNext), 0);
    ASSERT_EQ(server.calls.size(), 3u);
    EXPECT_EQ(server.calls[0].rfind("CopySelection SL_", 0), 0u); // B's selection saved in turn
    EXPECT_EQ(server.calls[1], "UseSelection " + saved);
    // A's last row is where it was: it leads the next window.
    EXPECT_EQ(server.calls[2], "SubSelectionToArray 99 199");
    EXPECT_EQ(ReadLong(a, 1), 101);
}

} // namespace
