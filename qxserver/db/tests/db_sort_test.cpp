// Sorts answered from a field's index give the order the comparison of the
// records gives: the same database sorted both ways (Database::sortByIndex
// off and on), on data with duplicate keys, texts equal under the collation,
// empty values, descending keys, more keys than the indexed first one,
// selections in any order, and after changes, deletions and transactions.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "qxserver/db/db_database.h"

namespace qxdb {
namespace {

// Fields: 1 ID longint unique, 2 Word alpha indexed, 3 Num integer indexed,
// 4 Day date indexed, 5 Amount real, 6 Note text.
constexpr int kFields = 6;

class IndexSorts : public ::testing::Test {
protected:
    void SetUp() override
    {
        db.users.push_back({"demo", "demo"});
        Table t;
        t.def.name = "T";
        t.def.fields = {{"ID", kTypeLongInt, 0, true, true, true},
                        {"Word", kTypeAlpha, 12, true},
                        {"Num", kTypeInteger, 0, true},
                        {"Day", kTypeDate, 0, true},
                        {"Amount", kTypeReal},
                        {"Note", kTypeText}};
        // Half the records as a fixture loads them (indexes built at once),
        // the other half created one by one (indexes kept on each).
        for (int32_t r = 0; r < 1500; ++r)
            t.Put(r, Row());
        t.nextRecord = 1500;
        t.RebuildIndexes();
        db.tables.push_back(std::move(t));
        a = db.Connect("demo");
        b = db.Connect("demo");
        for (int i = 0; i < 1500; ++i)
            ASSERT_EQ(a->NewRecord(Change()), kOk);
    }

    // Values drawn from small pools, so that every key repeats.
    std::vector<Value> Row()
    {
        static const char *const words[] = {"abc", "ABC",      "abc  ",    "",   "b",
                                            "B ",  "\x83MILE", "\x8Emile", "zz", "a"};
        static const double amounts[] = {-1.5, 0, 2, 2.25, 1e6};
        static const char *const notes[] = {"", "x", "X ", "note"};
        std::vector<Value> v;
        v.push_back(Value::Long(nextId++));
        v.push_back(Value::Alpha(words[rng() % 10]));
        v.push_back(Value::Int(static_cast<int16_t>(int(rng() % 7) - 3)));
        v.push_back(rng() % 4 == 0 ? Value::Empty(kTypeDate)
                                   : Value::Date(2020 + int(rng() % 3), 1 + int(rng() % 2), 1));
        v.push_back(Value::Real(amounts[rng() % 5]));
        v.push_back(Value::Text(notes[rng() % 4]));
        return v;
    }
    RecordChange Change(bool withId = true)
    {
        std::vector<Value> v = Row();
        RecordChange c;
        c.table = 1;
        for (int f = withId ? 1 : 2; f <= kFields; ++f)
            c.values.emplace_back(static_cast<int16_t>(f), v[static_cast<size_t>(f) - 1]);
        return c;
    }

    // A committed record, at random.
    int32_t AnyRecord()
    {
        std::vector<int32_t> all;
        db.tables[0].ForEach([&](int32_t r, const Value *) { all.push_back(r); });
        return all[rng() % all.size()];
    }

    std::vector<int32_t> Selection(Connection &c)
    {
        std::vector<Value> vals;
        int32_t rows = 0;
        EXPECT_EQ(c.SelectionToArray(1, {{1, 0}}, 0, 1000000, vals, rows), kOk);
        std::vector<int32_t> out;
        for (const Value &v : vals)
            out.push_back(v.num);
        return out;
    }

    // A first key with an index, then up to two keys of any field.
    std::vector<SortKey> Keys()
    {
        std::vector<SortKey> keys{{static_cast<int16_t>(1 + rng() % 4), 0, rng() % 2 == 0}};
        for (unsigned n = rng() % 3; n > 0; --n)
            keys.push_back({static_cast<int16_t>(1 + rng() % kFields), 0, rng() % 2 == 0});
        return keys;
    }

    // Sorts the selections below by random keys, with and without the
    // index, and compares. Returns how many sorts the index answered.
    int64_t CompareSorts(Connection &c)
    {
        std::vector<int32_t> all;
        db.tables[0].ForEach([&](int32_t r, const Value *) { all.push_back(r); });
        std::vector<int32_t> shuffled = all;
        std::shuffle(shuffled.begin(), shuffled.end(), rng);
        shuffled.resize(shuffled.size() / 3);
        std::vector<int32_t> twice = shuffled;
        twice.push_back(shuffled.front());
        const std::vector<int32_t> few(shuffled.begin(), shuffled.begin() + 5);
        std::vector<std::function<void()>> selections = {
            [&] { EXPECT_EQ(c.SelectAllRecords(1), kOk); },
            [&] { // a search walk: record order, a part of the table
                SearchRequest req{1, {}};
                req.lines.push_back({3, 0, kOpGe, kConjFirst, Value::Int(0)});
                int32_t found = 0;
                EXPECT_EQ(c.Search(req, found), kOk);
            },
            [&] { // sorted before by a field without index: ties keep that order
                EXPECT_EQ(c.SelectAllRecords(1), kOk);
                EXPECT_EQ(c.Sort({1, {{5, 0, false}, {6, 0, true}}}), kOk);
            },
            [&] { EXPECT_EQ(c.ArrayToSelection(1, shuffled), kOk); },
            [&] { EXPECT_EQ(c.ArrayToSelection(1, twice), kOk); },
            [&] { EXPECT_EQ(c.ArrayToSelection(1, few), kOk); },
        };
        int64_t before = db.sortsByIndex;
        for (int round = 0; round < 20; ++round) {
            std::vector<SortKey> keys = Keys();
            for (size_t s = 0; s < selections.size(); ++s) {
                db.sortByIndex = false;
                selections[s]();
                EXPECT_EQ(c.Sort({1, keys}), kOk);
                std::vector<int32_t> compared = Selection(c);
                db.sortByIndex = true;
                selections[s]();
                EXPECT_EQ(c.Sort({1, keys}), kOk);
                EXPECT_EQ(Selection(c), compared)
                    << "selection " << s << ", first key " << keys[0].field
                    << (keys[0].ascending ? " up" : " down") << ", " << keys.size() << " keys";
                if (HasFailure())
                    return -1;
            }
        }
        return db.sortsByIndex - before;
    }

    std::mt19937 rng{28};
    int32_t nextId = 1;
    Database db;
    std::unique_ptr<Connection> a, b;
};

TEST_F(IndexSorts, GiveTheOrderOfTheComparison)
{
    // All sorts of the first four selections (large, no record twice) come
    // from the index.
    EXPECT_EQ(CompareSorts(*a), 20 * 4);

    // Changes of indexed fields, deletions one by one and of a selection.
    for (int i = 0; i < 400; ++i) {
        ASSERT_EQ(a->GotoRecord(1, AnyRecord()), kOk);
        if (i % 5 == 0)
            ASSERT_EQ(a->DeleteCurrentRecord(1), kOk);
        else
            ASSERT_EQ(a->ModifyRecord(Change(false)), kOk);
    }
    int32_t found = 0;
    ASSERT_EQ(a->Search({1, {{2, 0, kOpEq, kConjFirst, Value::Alpha("ZZ")}}}, found), kOk);
    ASSERT_GT(found, 0);
    ASSERT_EQ(a->DeleteSelectedRecords(1), kOk);
    EXPECT_GT(CompareSorts(*a), 0);

    // Another connection's transaction: open (a sees the committed records,
    // sorted by the index), then committed.
    ASSERT_EQ(b->StartTransaction(), kOk);
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(b->GotoRecord(1, AnyRecord()), kOk);
        ASSERT_EQ(b->ModifyRecord(Change(false)), kOk);
        ASSERT_EQ(b->NewRecord(Change()), kOk);
    }
    EXPECT_GT(CompareSorts(*a), 0);
    ASSERT_EQ(b->Commit(), kOk);
    EXPECT_GT(CompareSorts(*a), 0);

    // A connection with changes of its own pending sorts by comparison.
    ASSERT_EQ(a->StartTransaction(), kOk);
    ASSERT_EQ(a->GotoRecord(1, AnyRecord()), kOk);
    ASSERT_EQ(a->ModifyRecord(Change(false)), kOk);
    EXPECT_EQ(CompareSorts(*a), 0);
    ASSERT_EQ(a->RollBack(), kOk);
    EXPECT_GT(CompareSorts(*a), 0);
}

} // namespace
} // namespace qxdb
