#include "driver/core/rclist.h"
#include "driver/core/tests/base_fixture.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

using RcListTest = DriverEnvTest;

int CompareInts(const void *a, const void *b)
{
    int x = **static_cast<int *const *>(a);
    int y = **static_cast<int *const *>(b);
    return x < y ? -1 : x > y ? 1 : 0;
}

std::vector<int> Contents(const rcList *list)
{
    std::vector<int> out;
    for (uint32_t i = 0; i < rcListCount(list); ++i) {
        int v = 0;
        EXPECT_EQ(rcListGet(list, &v, i), 0);
        out.push_back(v);
    }
    return out;
}

TEST_F(RcListTest, GrowsByItsStepAndElementsNeverMove)
{
    rcList *list = rcListCreate(4, sizeof(int), false, 0);
    ASSERT_NE(list, nullptr);
    std::vector<void *> where;
    for (int i = 0; i < 12; ++i) {
        ASSERT_EQ(rcListAppend(list, &i), 0);
        where.push_back(rcListAt(list, static_cast<uint32_t>(i)));
        if (i == 3) {
            EXPECT_EQ(list->capacity, 4u);
        } else if (i == 4) {
            EXPECT_EQ(list->capacity, 8u);
        } else if (i == 8) {
            EXPECT_EQ(list->capacity, 12u);
        }
    }
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(rcListAt(list, static_cast<uint32_t>(i)), where[static_cast<size_t>(i)]);
    rcListDestroy(list);
}

TEST_F(RcListTest, UniqueListRefusesEqualElementUntilRemoved)
{
    rcList *list = rcListCreate(2, sizeof(int), true, 0);
    int a = 7, b = 8;
    EXPECT_EQ(rcListAppend(list, &a), 0);
    EXPECT_EQ(rcListAppend(list, &b), 0);
    EXPECT_EQ(rcListAppend(list, &a), RC_LIST_DUPLICATE);
    EXPECT_EQ(rcListSet(list, &b, 0), RC_LIST_DUPLICATE);
    EXPECT_EQ(rcListSet(list, &a, 0), RC_LIST_DUPLICATE); // the element at the index counts too
    ASSERT_EQ(rcListRemoveAt(list, 0), 0);
    EXPECT_EQ(rcListAppend(list, &a), 0);
    EXPECT_EQ(Contents(list), (std::vector<int>{8, 7}));
    rcListDestroy(list);
}

TEST_F(RcListTest, RemoveKeepsOrderAndReusesBuffersZeroed)
{
    rcList *list = rcListCreate(3, sizeof(int), false, 0);
    for (int v : {10, 20, 30})
        rcListAppend(list, &v);
    void *removed = rcListAt(list, 0);
    ASSERT_EQ(rcListRemoveAt(list, 0), 0);
    EXPECT_EQ(Contents(list), (std::vector<int>{20, 30}));
    EXPECT_EQ(list->spareCount, 1u);
    auto *fresh = static_cast<int *>(rcListAppendNew(list));
    EXPECT_EQ(fresh, removed); // the spare comes back first
    EXPECT_EQ(*fresh, 0);
    EXPECT_EQ(rcListRemoveAt(list, 3), RC_LIST_BAD_INDEX);
    int out;
    EXPECT_EQ(rcListGet(list, &out, rcListCount(list)), RC_LIST_BAD_INDEX);
    EXPECT_EQ(rcListClear(list), 3u);
    EXPECT_EQ(rcListCount(list), 0u);
    EXPECT_EQ(list->spareCount, 3u);
    rcListDestroy(list);
}

TEST_F(RcListTest, SetBeyondTheEndFillsWithZeroElements)
{
    for (bool unique : {false, true}) {
        rcList *list = rcListCreate(2, sizeof(int), unique, 0);
        int v = 42;
        ASSERT_EQ(rcListSet(list, &v, 5), 0) << "unique " << unique;
        EXPECT_EQ(Contents(list), (std::vector<int>{0, 0, 0, 0, 0, 42}));
        int w = 9;
        EXPECT_EQ(rcListSet(list, &w, 2), 0);
        EXPECT_EQ(Contents(list)[2], 9);
        rcListDestroy(list);
    }
}

TEST_F(RcListTest, FindByKeyAndByAddress)
{
    rcList *list = rcListCreate(4, sizeof(int), false, 0);
    for (int v : {5, 6, 5})
        rcListAppend(list, &v);
    uint32_t index = 99;
    int key = 5;
    EXPECT_EQ(rcListFindKey(list, &key, &index), 0);
    EXPECT_EQ(index, 0u);
    key = 4;
    EXPECT_EQ(rcListFindKey(list, &key, &index), RC_LIST_NOT_FOUND);
    EXPECT_EQ(rcListFindPtr(list, rcListAt(list, 2), &index), 0);
    EXPECT_EQ(index, 2u);
    EXPECT_EQ(rcListFindPtr(list, &key, &index), RC_LIST_NOT_FOUND);
    rcListDestroy(list);
}

int g_calls = 0;
int CountingCompare(const void *a, const void *b)
{
    ++g_calls;
    return CompareInts(a, b);
}

TEST_F(RcListTest, SortMovesPointersAndSearchFindsKeys)
{
    rcList *list = rcListCreate(8, sizeof(int), false, 0);
    std::vector<int> values;
    for (int i = 0; i < 1000; ++i)
        values.push_back((i * 7919) % 1009);
    for (int v : values)
        rcListAppend(list, &v);
    void *first = rcListAt(list, 0);
    int firstValue = values[0];
    rcListSortLocked(list, CompareInts, nullptr);
    std::vector<int> sorted = Contents(list);
    EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end()));
    uint32_t index;
    ASSERT_EQ(rcListFindPtr(list, first, &index), 0);
    EXPECT_EQ(sorted[index], firstValue); // the element itself did not move
    int key = values[500];
    auto *found = static_cast<int *>(rcListSearchLocked(list, &key, CompareInts, nullptr));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(*found, key);
    key = 5000;
    EXPECT_EQ(rcListSearchLocked(list, &key, CompareInts, nullptr), nullptr);
    rcListDestroy(list);

    rcList *one = rcListCreate(1, sizeof(int), false, 0);
    int v = 1;
    rcListAppend(one, &v);
    g_calls = 0;
    rcListSort(one, CountingCompare);
    EXPECT_EQ(g_calls, 0);
    rcListDestroy(one);
}

// A comparison with a tolerance: not a strict weak order. The list's sort must
// stay in bounds and keep every element.
int ToleranceCompare(const void *a, const void *b)
{
    int x = **static_cast<int *const *>(a);
    int y = **static_cast<int *const *>(b);
    return (x - y > 2) ? 1 : (y - x > 2) ? -1 : 0;
}

TEST_F(RcListTest, SortWithToleranceKeepsEveryElement)
{
    rcList *list = rcListCreate(16, sizeof(int), false, 0);
    std::vector<int> values;
    for (int i = 0; i < 500; ++i)
        values.push_back((i * 37) % 101);
    for (int v : values)
        rcListAppend(list, &v);
    rcListSort(list, ToleranceCompare);
    std::vector<int> after = Contents(list);
    std::sort(after.begin(), after.end());
    std::sort(values.begin(), values.end());
    EXPECT_EQ(after, values);
    rcListDestroy(list);
}

void *g_seenContext = nullptr;
int ContextCompare(const void *a, const void *b)
{
    g_seenContext = rcListCompareContext();
    return CompareInts(a, b);
}

TEST_F(RcListTest, LockedSortPublishesTheContext)
{
    rcList *list = rcListCreate(4, sizeof(int), false, 0);
    for (int v : {3, 1, 2})
        rcListAppend(list, &v);
    int marker;
    rcListSortLocked(list, ContextCompare, &marker);
    EXPECT_EQ(g_seenContext, &marker);
    EXPECT_EQ(Contents(list), (std::vector<int>{1, 2, 3}));
    rcListDestroy(list);
}

TEST_F(RcListTest, ListsInASharedPoolGoWithThePool)
{
    int32_t pool = rcPoolCreate();
    rcList *a = rcListCreate(2, 24, false, pool);
    rcList *b = rcListCreate(2, 24, false, pool);
    for (int i = 0; i < 50; ++i) {
        ASSERT_NE(rcListAppendNew(a), nullptr);
        ASSERT_NE(rcListAppendNew(b), nullptr);
    }
    rcListDestroy(a); // frees its own storage only
    EXPECT_EQ(rcListCount(b), 50u);
    rcPoolDestroy(pool);
}

TEST(RcListNoEnvironment, CreateFailsWithoutTheDriverLock)
{
    EXPECT_EQ(rcListCreate(4, 4, false, 0), nullptr);
}

} // namespace
