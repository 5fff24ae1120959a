// Flat record storage of a table: lookups by record number, slots reused
// after deletions, sparse numbers, unique indexes kept, tables without fields;
// field indexes in key order through insertions, changes and deletions.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "qxserver/db/db_table.h"

namespace qxdb {
namespace {

Table TwoFields()
{
    Table t;
    t.def.fields = {{"A", kTypeLongInt, 0, true, true, false}, {"B", kTypeAlpha, 20}};
    t.RebuildIndexes();
    return t;
}

// Records whose field `field` equals `v`, through the field's index.
std::vector<int32_t> Equal(const Table &t, size_t field, const Value &v)
{
    std::vector<int32_t> out;
    EXPECT_TRUE(t.ForEachEqual(field, v, [&](int32_t r) { out.push_back(r); }));
    return out;
}

std::vector<int32_t> Numbers(const Table &t)
{
    std::vector<int32_t> out;
    t.ForEach([&](int32_t r, const Value *) { out.push_back(r); });
    return out;
}

TEST(TableStorage, PutFindEraseAndOrder)
{
    Table t = TwoFields();
    // Far apart numbers (other pages, one near the top) and out of order.
    const int32_t nums[] = {5000, 0, 3, INT32_MAX - 1, 4095, 4096};
    for (int32_t r : nums)
        t.Put(r, {Value::Long(r), Value::Alpha("x")});
    EXPECT_EQ(t.Count(), 6u);
    EXPECT_EQ(Numbers(t), (std::vector<int32_t>{0, 3, 4095, 4096, 5000, INT32_MAX - 1}));
    for (int32_t r : nums)
        ASSERT_NE(t.Find(r), nullptr) << r;
    EXPECT_EQ(t.Find(INT32_MAX - 1)[0].num, INT32_MAX - 1);
    for (int32_t r : {1, 4097, -1, INT32_MAX})
        EXPECT_EQ(t.Find(r), nullptr) << r;

    // Replacing a row keeps the count and reindexes the unique field.
    t.Put(3, {Value::Long(33), Value::Alpha("y")});
    EXPECT_EQ(t.Count(), 6u);
    EXPECT_EQ(t.Find(3)[1].bytes, "y");
    EXPECT_EQ(Equal(t, 0, Value::Long(3)), std::vector<int32_t>{});
    EXPECT_EQ(Equal(t, 0, Value::Long(33)), std::vector<int32_t>{3});

    // An erased record is gone from lookups, order and index; its slot is
    // taken by the next record, which keeps its own number.
    t.Erase(3);
    t.Erase(3); // twice: nothing more happens
    EXPECT_EQ(t.Find(3), nullptr);
    EXPECT_EQ(t.Count(), 5u);
    EXPECT_EQ(Equal(t, 0, Value::Long(33)), std::vector<int32_t>{});
    t.Put(6000, {Value::Long(6000), Value::Alpha("z")});
    EXPECT_EQ(t.Find(3), nullptr);
    EXPECT_EQ(t.Find(6000)[1].bytes, "z");
    EXPECT_EQ(Numbers(t), (std::vector<int32_t>{0, 4095, 4096, 5000, 6000, INT32_MAX - 1}));
}

TEST(TableStorage, TableWithoutFieldsHoldsRecords)
{
    Table t;
    t.Put(0, {});
    t.Put(2, {});
    EXPECT_NE(t.Find(0), nullptr);
    EXPECT_NE(t.Find(2), nullptr);
    EXPECT_EQ(t.Find(1), nullptr);
    t.Erase(0);
    EXPECT_EQ(Numbers(t), std::vector<int32_t>{2});
}

// What the index of `field` must hold: every record by (value, record
// number), each tied to the one before when their values are equal.
std::vector<std::pair<int32_t, bool>> ExpectedOrder(const Table &t, size_t field)
{
    std::vector<int32_t> records = Numbers(t);
    std::stable_sort(records.begin(), records.end(), [&](int32_t a, int32_t b) {
        return QxdbCompareValues(t.Find(a)[field], t.Find(b)[field]) < 0;
    });
    std::vector<std::pair<int32_t, bool>> out;
    for (size_t i = 0; i < records.size(); ++i)
        out.emplace_back(records[i], i > 0 && QxdbCompareValues(t.Find(records[i - 1])[field],
                                                                t.Find(records[i])[field]) == 0);
    return out;
}

std::vector<std::pair<int32_t, bool>> Walked(const Table &t, size_t field, bool forward = true)
{
    std::vector<std::pair<int32_t, bool>> out;
    t.IndexOf(field)->Walk(forward, [&](int32_t r, bool tied) { out.emplace_back(r, tied); });
    return out;
}

TEST(FieldIndex, KeyOrderHoldsThroughChanges)
{
    // An alpha field whose values repeat, also as texts equal under the
    // collation (case, trailing blanks, accents) and empty, and a real field
    // with duplicates, negatives and zero. Enough records for the index to
    // split chunks, then enough deletions to empty some.
    Table t;
    t.def.fields = {
        {"Word", kTypeAlpha, 12, true}, {"Amount", kTypeReal, 0, true}, {"X", kTypeLongInt}};
    t.RebuildIndexes();
    const std::vector<std::string> words = {"abc",      "ABC",      "abc  ", "",  "b", "B ",
                                            "\x83MILE", "\x8Emile", "zz",    "a", "ab"};
    const double amounts[] = {-1.5, 0, 0, 2, 2.25, 1e9, -1e9};
    std::mt19937 rng(28);
    int32_t next = 0;
    std::vector<int32_t> live;
    auto row = [&] {
        return std::vector<Value>{Value::Alpha(words[rng() % words.size()]),
                                  Value::Real(amounts[rng() % 7]), Value::Long(int32_t(rng()))};
    };
    auto check = [&](const char *when) {
        SCOPED_TRACE(when);
        for (size_t f : {0u, 1u}) {
            auto expected = ExpectedOrder(t, f);
            ASSERT_EQ(Walked(t, f), expected) << "field " << f;
            std::reverse(expected.begin(), expected.end());
            auto backward = Walked(t, f, false);
            for (size_t i = 0; i < backward.size(); ++i)
                ASSERT_EQ(backward[i].first, expected[i].first);
        }
        for (const std::string &w : words) {
            std::vector<int32_t> walk;
            t.ForEach([&](int32_t r, const Value *v) {
                if (QxdbCompareValues(v[0], Value::Alpha(w)) == 0)
                    walk.push_back(r);
            });
            ASSERT_EQ(Equal(t, 0, Value::Alpha(w)), walk) << w;
        }
        EXPECT_FALSE(t.ForEachEqual(2, Value::Long(1), [](int32_t) {}));
    };
    for (int i = 0; i < 7000; ++i) {
        unsigned op = rng() % 10;
        if (op < 6 || live.empty()) { // new record, now and then far ahead
            int32_t r = next++;
            if (rng() % 50 == 0)
                r = next = next + 5000;
            t.Put(r, row());
            live.push_back(r);
        } else if (op < 8) { // change
            t.Put(live[rng() % live.size()], row());
        } else {
            size_t k = rng() % live.size();
            t.Erase(live[k]);
            live.erase(live.begin() + static_cast<ptrdiff_t>(k));
        }
        if (i % 1000 == 999)
            check("while adding");
    }
    ASSERT_GT(live.size(), 2 * FieldIndex::kMaxChunk);
    std::shuffle(live.begin(), live.end(), rng);
    while (live.size() > 40) {
        t.Erase(live.back());
        live.pop_back();
    }
    check("after most records went");
    auto before = Walked(t, 0);
    t.RebuildIndexes();
    EXPECT_EQ(Walked(t, 0), before);
    for (int32_t r : live)
        t.Erase(r);
    check("empty");
    t.Put(7, row());
    check("one record");
}

} // namespace
} // namespace qxdb
