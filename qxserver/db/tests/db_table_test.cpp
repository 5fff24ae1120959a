// Flat record storage of a table: lookups by record number, slots reused
// after deletions, sparse numbers, unique indexes kept, tables without fields.
#include <gtest/gtest.h>

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
    EXPECT_EQ(t.valueIndex[0].count(Value::Long(3)), 0u);
    EXPECT_EQ(t.valueIndex[0].count(Value::Long(33)), 1u);

    // An erased record is gone from lookups, order and index; its slot is
    // taken by the next record, which keeps its own number.
    t.Erase(3);
    t.Erase(3); // twice: nothing more happens
    EXPECT_EQ(t.Find(3), nullptr);
    EXPECT_EQ(t.Count(), 5u);
    EXPECT_EQ(t.valueIndex[0].count(Value::Long(33)), 0u);
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

} // namespace
} // namespace qxdb
