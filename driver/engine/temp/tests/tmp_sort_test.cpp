// Sort driver: the in-memory sort, the external sort after a spill and the
// external sort forced by NoOptSort give the same order, which is checked
// against a reference sort written here from the ordering rules; NULLs,
// collation, doubles, cancel, limits and failures.
#include "driver/engine/temp/tests/tmp_fixture.h"

#include "driver/core/rccnv.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcnum.h"
#include "driver/engine/rcstmt.h"
#include "driver/engine/temp/rcswp.h"
#include "driver/engine/temp/rctmpkey.h"
#include "driver/sort/srtrun.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <optional>
#include <random>
#include <thread>

namespace {

enum Col : uint16_t { ID, TEXT, INT, DBL, DATE, TS, SCALED, DEC, LONGTEXT, SMALL, NCOLS };

struct Row {
    int32_t id;
    std::optional<std::string> text, longText;
    std::optional<int32_t> i;
    std::optional<double> d;
    std::optional<DATE_STRUCT> date;
    std::optional<TIMESTAMP_STRUCT> ts;
    std::optional<int64_t> scaled;
    std::optional<int64_t> dec; // value in hundredths
    std::optional<int16_t> small;
};

// Reference text order from the rules: trailing blanks do not count; letters
// without regard to case after digits after punctuation; a text that is a
// prefix of another comes first. (The generator uses ASCII only.)
int refText(std::string a, std::string b)
{
    auto weight = [](unsigned char c) {
        if (std::isalpha(c))
            return 0x400 + (std::toupper(c) - 'A') * 2;
        if (std::isdigit(c))
            return 0x300 + (c - '0');
        return 0x200 + c;
    };
    while (!a.empty() && a.back() == ' ')
        a.pop_back();
    while (!b.empty() && b.back() == ' ')
        b.pop_back();
    for (size_t k = 0; k < a.size() && k < b.size(); ++k)
        if (weight(a[k]) != weight(b[k]))
            return weight(a[k]) < weight(b[k]) ? -1 : 1;
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

template <typename T>
int refValue(const T &a, const T &b)
{
    return a < b ? -1 : b < a ? 1 : 0;
}

int refColumn(const Row &x, const Row &y, Col c)
{
    auto opt = [](const auto &a, const auto &b, auto cmp) {
        if (!a || !b)
            return a.has_value() == b.has_value() ? 0 : a ? 1 : -1; // NULL first
        return cmp(*a, *b);
    };
    switch (c) {
    case TEXT: return opt(x.text, y.text, refText);
    case LONGTEXT: return opt(x.longText, y.longText, refText);
    case INT: return opt(x.i, y.i, refValue<int32_t>);
    case DBL: return opt(x.d, y.d, refValue<double>); // -0.0 == 0.0 by value
    case DATE:
        return opt(x.date, y.date, [](const DATE_STRUCT &a, const DATE_STRUCT &b) {
            return refValue(std::tie(a.year, a.month, a.day), std::tie(b.year, b.month, b.day));
        });
    case TS:
        return opt(x.ts, y.ts, [](const TIMESTAMP_STRUCT &a, const TIMESTAMP_STRUCT &b) {
            return refValue(
                std::tie(a.year, a.month, a.day, a.hour, a.minute, a.second, a.fraction),
                std::tie(b.year, b.month, b.day, b.hour, b.minute, b.second, b.fraction));
        });
    case SCALED: return opt(x.scaled, y.scaled, refValue<int64_t>);
    case DEC: return opt(x.dec, y.dec, refValue<int64_t>);
    case SMALL: return opt(x.small, y.small, refValue<int16_t>);
    case ID: return refValue(x.id, y.id);
    default: return 0;
    }
}

struct Key {
    Col col;
    bool desc;
};

std::vector<int32_t> referenceOrder(const std::vector<Row> &rows, const std::vector<Key> &keys)
{
    std::vector<Row> sorted = rows;
    std::stable_sort(sorted.begin(), sorted.end(), [&](const Row &a, const Row &b) {
        for (const Key &k : keys) {
            int c = refColumn(a, b, k.col);
            if (c)
                return (k.desc ? -c : c) < 0;
        }
        return false;
    });
    std::vector<int32_t> ids;
    for (const Row &r : sorted)
        ids.push_back(r.id);
    return ids;
}

std::string randomText(std::mt19937 &rng, size_t maxLen)
{
    static const char alphabet[] = "aAbB zZ09-.";
    std::string s(rng() % (maxLen + 1), ' ');
    for (char &c : s)
        c = alphabet[rng() % (sizeof alphabet - 1)];
    return s;
}

std::vector<Row> makeRows(std::mt19937 &rng, int count)
{
    std::vector<Row> rows(static_cast<size_t>(count));
    auto maybe = [&rng]() { return rng() % 8 != 0; };
    for (int n = 0; n < count; ++n) {
        Row &r = rows[size_t(n)];
        r.id = n;
        if (maybe())
            r.text = randomText(rng, 4); // short: many equal keys
        if (maybe()) {
            std::string common(200, 'q');
            r.longText = common + randomText(rng, 30);
        }
        if (maybe())
            r.i = rng() % 9 == 0 ? INT_MIN : int32_t(rng() % 21) - 10;
        if (maybe()) {
            static const double pool[] = {-0.0,   0.0, -1.5, 1.5, 2.2250738585072014e-308,
                                          -1e300, 7.0};
            r.d = pool[rng() % 7];
        }
        if (maybe())
            r.date = DATE_STRUCT{int16_t(2000 + rng() % 3), uint16_t(1 + rng() % 2), 1};
        if (maybe()) {
            TIMESTAMP_STRUCT t{};
            t.year = 2020;
            t.month = 1;
            t.day = uint16_t(1 + rng() % 2);
            t.second = uint16_t(rng() % 3);
            t.fraction = uint32_t(rng() % 2);
            r.ts = t;
        }
        if (maybe())
            r.scaled = int64_t(rng() % 7) - 3;
        if (maybe())
            r.dec = int64_t(rng() % 9) - 4;
        if (maybe())
            r.small = int16_t(int(rng() % 5) - 2);
    }
    return rows;
}

void addColumns(TempTable *t)
{
    const std::pair<int16_t, int32_t> cols[NCOLS] = {
        {SQL_INTEGER, 4},   {SQL_VARCHAR, 12},   {SQL_INTEGER, 4},     {SQL_DOUBLE, 8},
        {SQL_DATE, 6},      {SQL_TIMESTAMP, 16}, {RC_SQL_SCALED64, 8}, {RC_SQL_DECIMAL38, 38},
        {SQL_VARCHAR, 250}, {SQL_SMALLINT, 2},
    };
    for (const auto &c : cols)
        ASSERT_EQ(rcTmpAddColumn(t, c.first, 0, c.second), 0);
}

void putRow(TempTable *t, const Row &r)
{
    auto put = [t](Col c, const void *v) { ASSERT_EQ(rcTmpPutColumn(t, v, c, v == nullptr), 0); };
    put(ID, &r.id);
    put(TEXT, r.text ? r.text->c_str() : nullptr);
    put(INT, r.i ? &*r.i : nullptr);
    put(DBL, r.d ? &*r.d : nullptr);
    put(DATE, r.date ? &*r.date : nullptr);
    put(TS, r.ts ? &*r.ts : nullptr);
    put(SCALED, r.scaled ? &*r.scaled : nullptr);
    MultiPrecisionNumber n{};
    // Hundredths at two scales: odd values at exponent -2, even ones at -3.
    if (r.dec && *r.dec % 2)
        rcNumFromInt32(n, -2, int32_t(*r.dec));
    else if (r.dec)
        rcNumFromInt32(n, -3, int32_t(*r.dec * 10));
    put(DEC, r.dec ? &n : nullptr);
    put(LONGTEXT, r.longText ? r.longText->c_str() : nullptr);
    put(SMALL, r.small ? &*r.small : nullptr);
}

std::vector<int32_t> readIds(TempTable *t)
{
    std::vector<int32_t> ids;
    while (rcTmpMove(t, 1) == 0) {
        int32_t id = -1, ind = 0;
        EXPECT_EQ(rcTmpGetColumn(t, ID, &id, sizeof id, SQL_C_LONG, &ind), 0);
        ids.push_back(id);
    }
    return ids;
}

} // namespace

class TmpSortTest : public TmpTest {
protected:

    std::vector<int32_t> sortIds(const std::vector<Row> &rows, const std::vector<Key> &keys,
                                 Mode mode)
    {
        rcTmpOwner owner = ownerFor(mode);
        TempTable *t;
        EXPECT_EQ(rcTmpCreate(owner, &t), 0);
        addColumns(t);
        for (uint16_t k = 0; k < keys.size(); ++k)
            EXPECT_EQ(rcTmpSetSortKey(t, k, keys[k].col, keys[k].desc), 0);
        for (const Row &r : rows)
            putRow(t, r);
        EXPECT_EQ(filesIn(dir_).size(), mode == Spilled ? 1u : 0u);
        EXPECT_EQ(rcSwpSortExec(t), 0);
        if (mode == Spilled) {
            EXPECT_GT(srtLastStats().runsWritten, 1u);
        }
        std::vector<int32_t> ids = readIds(t);
        rcTmpFree(t);
        EXPECT_EQ(takeMessages(), std::vector<uint32_t>{});
        return ids;
    }
};

TEST_F(TmpSortTest, InMemoryExternalAndNoOptSortAgreeWithReference)
{
    std::mt19937 rng(4711);
    std::vector<Row> rows = makeRows(rng, 1500);
    const std::vector<std::vector<Key>> keySets = {
        {{TEXT, false}},
        {{INT, true}},
        {{TEXT, false}, {INT, true}},
        {{DBL, false}},
        {{DATE, true}, {DEC, false}},
        {{LONGTEXT, false}},
        {{SCALED, true}, {TS, false}},
        {{SMALL, false}, {DBL, true}, {TEXT, true}},
    };
    for (const auto &keys : keySets) {
        std::vector<int32_t> expected = referenceOrder(rows, keys);
        std::string which = "keys starting with column " + std::to_string(keys[0].col);
        EXPECT_EQ(sortIds(rows, keys, InMemory), expected) << which;
        EXPECT_EQ(sortIds(rows, keys, Spilled), expected) << which;
        EXPECT_EQ(sortIds(rows, keys, NoOptSort), expected) << which;
    }
}

// NULL is a value of its own: never tied with '' or the smallest integer,
// first ascending and last descending; 'abc', 'ABC', 'abc ' make one group.
TEST_F(TmpSortTest, NullsTextGroupsAndDoublesByValue)
{
    struct In {
        const char *text;
        std::optional<int32_t> i;
        std::optional<double> d;
    };
    const In in[] = {
        {"abc", 5, 1.5},        {nullptr, std::nullopt, std::nullopt},
        {"ABC", INT_MIN, -0.0}, {"", 0, 0.0},
        {"abc ", -3, -2.0},     {"abd", std::nullopt, 2.2250738585072014e-308},
    };
    struct Case {
        Col col;
        bool desc;
        std::vector<int> order; // input positions
    } cases[] = {
        {TEXT, false, {1, 3, 0, 2, 4, 5}}, {TEXT, true, {5, 0, 2, 4, 3, 1}},
        {INT, false, {1, 5, 2, 4, 3, 0}},  {INT, true, {0, 3, 4, 2, 1, 5}},
        {DBL, false, {1, 4, 2, 3, 5, 0}},  {DBL, true, {0, 5, 2, 3, 4, 1}},
    };
    for (Mode mode : {InMemory, Spilled, NoOptSort}) {
        for (const Case &c : cases) {
            rcTmpOwner owner = owner_;
            if (mode == NoOptSort)
                owner.engineOptions = RC_TMP_OPT_NOOPTSORT;
            TempTable *t;
            ASSERT_EQ(rcTmpCreate(owner, &t), 0);
            addColumns(t);
            ASSERT_EQ(rcTmpSetSortKey(t, 0, c.col, c.desc), 0);
            // Spilled: enough copies of the rows that the buffer overflows;
            // only the first six (ids 0-5) are looked at.
            int copies = mode == Spilled ? 40 : 1;
            for (int k = 0; k < copies; ++k)
                for (int n = 0; n < 6; ++n) {
                    Row r;
                    r.id = k * 6 + n;
                    if (in[n].text)
                        r.text = in[n].text;
                    r.i = in[n].i;
                    r.d = in[n].d;
                    putRow(t, r);
                }
            ASSERT_EQ(rcSwpSortExec(t), 0);
            std::vector<int32_t> ids = readIds(t);
            std::vector<int> got;
            for (int32_t id : ids)
                if (id < 6)
                    got.push_back(id);
            EXPECT_EQ(got, c.order) << "mode " << mode << " column " << c.col << " desc " << c.desc;
            if (c.col == TEXT && !c.desc && mode != Spilled) {
                // Neighbours in one group compare equal; '' and NULL do not.
                EXPECT_EQ(rcTmpCompareRows(t, 2, 3), 0);
                EXPECT_EQ(rcTmpCompareRows(t, 3, 4), 0);
                EXPECT_LT(rcTmpCompareRows(t, 0, 1), 0);
                EXPECT_LT(rcTmpCompareRows(t, 4, 5), 0);
            }
            rcTmpFree(t);
            EXPECT_EQ(takeMessages(), std::vector<uint32_t>{});
        }
    }
}

TEST_F(TmpSortTest, CancelledSortPostsItsMessageAndLeavesNoFile)
{
    TempTable *t;
    ASSERT_EQ(rcTmpCreate(owner_, &t), 0);
    addColumns(t);
    ASSERT_EQ(rcTmpSetSortKey(t, 0, TEXT, false), 0);
    std::mt19937 rng(1);
    for (const Row &r : makeRows(rng, 200))
        putRow(t, r);
    ASSERT_EQ(filesIn(dir_).size(), 1u);
    cancel_ = 1;
    EXPECT_EQ(rcSwpSortExec(t), -1);
    EXPECT_EQ(takeMessages(), std::vector<uint32_t>{RC_MSG_OPERATION_CANCELLED});
    EXPECT_EQ(filesIn(dir_), std::vector<std::string>{});
    EXPECT_EQ(rcTmpMove(t, 1), -1);
    takeMessages();
    rcTmpFree(t);
}

TEST_F(TmpSortTest, FailedSortLeavesNoFile)
{
    // 129 key columns holding NULLs make 258 keys for the library (value
    // and indicator each), more than it takes.
    owner_.engineOptions = RC_TMP_OPT_NOOPTSORT;
    TempTable *t;
    ASSERT_EQ(rcTmpCreate(owner_, &t), 0);
    for (uint16_t c = 0; c < 129; ++c) {
        ASSERT_EQ(rcTmpAddColumn(t, SQL_INTEGER, 0, 4), 0);
        ASSERT_EQ(rcTmpSetSortKey(t, c, c, false), 0);
    }
    for (int32_t v = 0; v < 129 * 3; ++v)
        ASSERT_EQ(rcTmpPutColumn(t, &v, uint16_t(v % 129), v >= 129 * 2), 0);
    EXPECT_EQ(rcSwpSortExec(t), -1);
    EXPECT_EQ(takeMessages(), std::vector<uint32_t>{RC_ENG_MAXIMUM_NUMBER_SORT_COLUMNS_EXCEEDED});
    EXPECT_EQ(filesIn(dir_), std::vector<std::string>{});
    rcTmpFree(t);
}

// Key columns without NULLs need no indicator key: 256 of them (a select
// list's most, DISTINCT over every column) sort through the library, and
// come out in the order of the in-memory sort.
TEST_F(TmpSortTest, AKeyPerColumnWithoutNullsLetsTheLibrarySort256Keys)
{
    std::vector<std::vector<int32_t>> got;
    for (uint32_t options : {0u, RC_TMP_OPT_NOOPTSORT}) {
        owner_.engineOptions = options;
        TempTable *t;
        ASSERT_EQ(rcTmpCreate(owner_, &t), 0);
        for (uint16_t c = 0; c < 256; ++c) {
            ASSERT_EQ(rcTmpAddColumn(t, SQL_INTEGER, 0, 4), 0);
            ASSERT_EQ(rcTmpSetSortKey(t, c, c, c % 2 == 1), 0);
        }
        // Rows equal on all keys but the last two.
        for (int32_t r : {3, 1, 2, 1, 0}) {
            for (uint16_t c = 0; c < 256; ++c) {
                int32_t v = c < 254 ? 7 : (c == 254 ? r : r * 10);
                ASSERT_EQ(rcTmpPutColumn(t, &v, c, false), 0);
            }
        }
        ASSERT_EQ(rcSwpSortExec(t), 0);
        EXPECT_EQ(takeMessages(), std::vector<uint32_t>{});
        std::vector<int32_t> order;
        while (rcTmpMove(t, 1) == 0) {
            int32_t v = 0;
            int32_t ind = 0;
            ASSERT_EQ(rcTmpGetColumn(t, 255, &v, sizeof v, SQL_C_LONG, &ind), 0);
            order.push_back(v);
        }
        got.push_back(order);
        rcTmpFree(t);
    }
    EXPECT_EQ(got[0], (std::vector<int32_t>{0, 10, 10, 20, 30}));
    EXPECT_EQ(got[1], got[0]);
    EXPECT_EQ(filesIn(dir_), std::vector<std::string>{});
}

TEST_F(TmpSortTest, BinaryKeysAreRefusedWithAMessage)
{
    TempTable *t;
    ASSERT_EQ(rcTmpCreate(owner_, &t), 0);
    ASSERT_EQ(rcTmpAddColumn(t, SQL_VARBINARY, 0, 10), 0);
    EXPECT_EQ(rcTmpSetSortKey(t, 0, 0, false), -1);
    EXPECT_EQ(takeMessages(), std::vector<uint32_t>{RC_ENG_UNABLE_SORT_COLUMN_TYPE});
    // A gap in the key positions is refused when the sort begins.
    ASSERT_EQ(rcTmpAddColumn(t, SQL_INTEGER, 0, 4), 0);
    ASSERT_EQ(rcTmpSetSortKey(t, 1, 1, false), 0);
    EXPECT_EQ(rcSwpSortExec(t), -1);
    EXPECT_EQ(takeMessages(), std::vector<uint32_t>{RC_MSG_GENERAL_ERROR});
    rcTmpFree(t);
}

// Rows up to 65500 bytes sort through the library (CORE grows with the row);
// a longer row posts 11459.
TEST_F(TmpSortTest, LongRowsSortUpTo65500Bytes)
{
    owner_.engineOptions = RC_TMP_OPT_NOOPTSORT;
    for (int extra : {0, 1}) {
        TempTable *t;
        ASSERT_EQ(rcTmpCreate(owner_, &t), 0);
        for (int c = 0; c < 251; ++c)
            ASSERT_EQ(rcTmpAddColumn(t, SQL_CHAR, 0, 255), 0);
        for (int c = 0; c < 30 + extra; ++c)
            ASSERT_EQ(rcTmpAddColumn(t, SQL_INTEGER, 0, 4), 0);
        ASSERT_EQ(t->rowLength, 65500 + 8 * extra);
        ASSERT_EQ(rcTmpSetSortKey(t, 0, 251, true), 0);
        std::string text(255, 'v');
        for (int32_t r = 0; r < 12; ++r)
            for (uint16_t c = 0; c < t->columnCount; ++c) {
                int32_t v = (r * 7) % 12;
                ASSERT_EQ(rcTmpPutColumn(t, c < 251 ? static_cast<const void *>(text.c_str()) : &v,
                                         c, false),
                          0);
            }
        if (extra) {
            EXPECT_EQ(rcSwpSortExec(t), -1);
            EXPECT_EQ(takeMessages(), std::vector<uint32_t>{RC_ENG_SORT_DATA_ROW_EXCEEDS_65500});
        } else {
            ASSERT_EQ(rcSwpSortExec(t), 0);
            for (int32_t want = 11; want >= 0; --want) {
                ASSERT_EQ(rcTmpMove(t, 1), 0);
                int32_t v = -1, ind;
                ASSERT_EQ(rcTmpGetColumn(t, 251, &v, sizeof v, SQL_C_LONG, &ind), 0);
                EXPECT_EQ(v, want);
                char back[300];
                ASSERT_EQ(rcTmpGetColumn(t, 250, back, sizeof back, SQL_C_CHAR, &ind), 0);
                EXPECT_EQ(back, text);
            }
            EXPECT_EQ(takeMessages(), std::vector<uint32_t>{});
        }
        rcTmpFree(t);
    }
}

TEST_F(TmpSortTest, ControlStatementPutsTheNullIndicatorIntoKeysThatHoldNulls)
{
    TempTable *t;
    ASSERT_EQ(rcTmpCreate(owner_, &t), 0);
    ASSERT_EQ(rcTmpAddColumn(t, SQL_INTEGER, 0, 4), 0);
    ASSERT_EQ(rcTmpAddColumn(t, SQL_CHAR, 0, 20), 0);
    ASSERT_EQ(rcTmpSetSortKey(t, 0, 1, false), 0);
    ASSERT_EQ(rcTmpSetSortKey(t, 1, 0, true), 0);
    int32_t v = 1;
    ASSERT_EQ(rcTmpPutColumn(t, &v, 0, false), 0);
    ASSERT_EQ(rcTmpPutColumn(t, "x", 1, false), 0);
    // Only the text column holds a NULL: its indicator is a key of its own.
    ASSERT_EQ(rcTmpPutColumn(t, &v, 0, false), 0);
    ASSERT_EQ(rcTmpPutColumn(t, nullptr, 1, true), 0);
    ASSERT_EQ(rcTmpSpill(t), 0);
    ASSERT_EQ(rcTmpBuildKeys(t), 0);
    std::string text;
    ASSERT_EQ(rcSwpBuildControl(t, text), 0);
    EXPECT_EQ(text, "S(9,1,BIN,D,13,21,C,A,5,4,I,D) CORE(80) F(FIX,36) W(\"" + dir_ + "\")");
    // Both hold one.
    ASSERT_EQ(rcTmpPutColumn(t, nullptr, 0, true), 0);
    ASSERT_EQ(rcTmpPutColumn(t, "y", 1, false), 0);
    ASSERT_EQ(rcTmpSpill(t), 0);
    ASSERT_EQ(rcSwpBuildControl(t, text), 0);
    EXPECT_EQ(text,
              "S(9,1,BIN,D,13,21,C,A,1,1,BIN,A,5,4,I,D) CORE(80) F(FIX,36) W(\"" + dir_ + "\")");
    rcTmpFree(t);
}

// A TempFileDirectory of more than 260 characters with blanks and "+" in
// it: spill, external sort and the library's work files all work there.
TEST_F(TmpSortTest, LongWorkDirectoryWithBlanksAndPlus)
{
    std::string top = dir_ + std::string(150, 'd') + " + ";
    std::string longDir = top + "/" + std::string(120, 'e') + " x/";
    ASSERT_TRUE(std::filesystem::create_directories(longDir));
    owner_.workDir = longDir.c_str();
    owner_.engineOptions = RC_TMP_OPT_NOOPTSORT;
    std::mt19937 rng(99);
    std::vector<Row> rows = makeRows(rng, 300);
    TempTable *t;
    ASSERT_EQ(rcTmpCreate(owner_, &t), 0);
    addColumns(t);
    ASSERT_EQ(rcTmpSetSortKey(t, 0, TEXT, true), 0);
    ASSERT_EQ(rcTmpSetSortKey(t, 1, ID, false), 0);
    for (const Row &r : rows)
        putRow(t, r);
    ASSERT_EQ(filesIn(longDir).size(), 1u);
    ASSERT_EQ(rcSwpSortExec(t), 0);
    EXPECT_EQ(readIds(t), referenceOrder(rows, {{TEXT, true}, {ID, false}}));
    rcTmpFree(t);
    EXPECT_EQ(takeMessages(), std::vector<uint32_t>{});
    EXPECT_EQ(filesIn(longDir), std::vector<std::string>{});
    std::filesystem::remove_all(top);
}

// SQLCancel from another thread while the library is sorting (its work
// directory exists): the sort stops with 5142 and leaves no file at all.
TEST_F(TmpSortTest, CancelDuringTheExternalSort)
{
    TempTable *t;
    ASSERT_EQ(rcTmpCreate(owner_, &t), 0);
    addColumns(t);
    ASSERT_EQ(rcTmpSetSortKey(t, 0, LONGTEXT, false), 0);
    std::mt19937 rng(5);
    for (const Row &r : makeRows(rng, 30000))
        putRow(t, r);
    std::atomic<bool> done{false};
    std::thread canceller([&] {
        // The spill file is there; a second entry is the library's work directory.
        while (!done && filesIn(dir_).size() < 2)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        cancel_ = 1;
    });
    int16_t rc = rcSwpSortExec(t);
    done = true;
    canceller.join();
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(takeMessages(), std::vector<uint32_t>{RC_MSG_OPERATION_CANCELLED});
    EXPECT_EQ(filesIn(dir_), std::vector<std::string>{});
    rcTmpFree(t);
}

// A statement's tables post on its queue and follow its NoOptSort option.
TEST_F(TmpSortTest, OwnerOfAStatement)
{
    rcStmt *stmt = nullptr;
    ASSERT_EQ(rcDrsAllocStmt(nullptr, &errors_, &stmt), 0);
    stmt->options.engineOptionMask = RC_TMP_OPT_NOOPTSORT;
    rcTmpOwner owner = rcTmpOwnerOf(stmt, &cancel_);
    EXPECT_EQ(owner.errors, &errors_);
    EXPECT_EQ(owner.cancel, &cancel_);
    EXPECT_EQ(owner.engineOptions, RC_TMP_OPT_NOOPTSORT);
    owner.workDir = dir_.c_str();
    TempTable *t;
    ASSERT_EQ(rcTmpCreate(owner, &t), 0);
    ASSERT_EQ(rcTmpAddColumn(t, SQL_INTEGER, 0, 4), 0);
    ASSERT_EQ(rcTmpSetSortKey(t, 0, 0, true), 0);
    for (int32_t v : {3, 1, 2})
        ASSERT_EQ(rcTmpPutColumn(t, &v, 0, false), 0);
    ASSERT_EQ(rcSwpSortExec(t), 0); // through the library: the file exists
    EXPECT_EQ(filesIn(dir_).size(), 1u);
    std::vector<int32_t> got;
    while (rcTmpMove(t, 1) == 0) {
        int32_t v, ind;
        ASSERT_EQ(rcTmpGetColumn(t, 0, &v, sizeof v, SQL_C_LONG, &ind), 0);
        got.push_back(v);
    }
    EXPECT_EQ(got, (std::vector<int32_t>{3, 2, 1}));
    rcTmpFree(t);
    ASSERT_EQ(rcDrsDropStmt(stmt), 0);
}
