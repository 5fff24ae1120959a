#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/Sources/VArrays.h"

namespace {

std::vector<int32_t> Items(const VArray<int32_t> &a) { return {a.begin(), a.end()}; }

int Ascending(const int32_t &a, const int32_t &b) { return DrmCompareI32(a, b); }

TEST(VArray, DefaultComparisonOrdersFromLargestAndInsertsBeforeEqual)
{
    VArray<int32_t> a(4, true);
    EXPECT_EQ(a.oCount(), 0);
    EXPECT_EQ(a.oCapacity(), 0);
    for (int32_t v : {1, 3, 2})
        a.oAdd(v);
    EXPECT_EQ(Items(a), (std::vector<int32_t>{3, 2, 1}));
    EXPECT_GE(a.oCapacity(), 4);
    EXPECT_EQ(a.oIndexOf(2), 1);
    EXPECT_EQ(a.oIndexOf(7), -1);
    // Wrapped difference: 0x7FFFFFFF - (-1) wraps negative, so -1 sorts
    // "after" the largest positive number just as the subtraction says.
    EXPECT_EQ(DrmCompareBytes(std::vector<int32_t>{-1}.data(),
                              std::vector<int32_t>{0x7FFFFFFF}.data(), 4),
              -1);
}

TEST(VArray, ComparisonOfWiderElementsRunsWordsThenBytes)
{
    struct Six {
        uint8_t b[6];
    };
    Six a{{1, 0, 0, 0, 5, 9}}, b{{1, 0, 0, 0, 5, 7}}, c{{2, 0, 0, 0, 0, 0}};
    EXPECT_EQ(DrmCompareBytes(&a, &b, 6), -1); // b - a on the last byte is negative
    EXPECT_EQ(DrmCompareBytes(&b, &a, 6), 1);
    EXPECT_EQ(DrmCompareBytes(&a, &c, 6), 1); // first word decides
    EXPECT_EQ(DrmCompareBytes(&a, &a, 6), 0);
}

TEST(VArray, InsertDeleteAndRanges)
{
    VArray<int32_t> a(2);
    for (int32_t v : {10, 20, 30, 40, 50})
        EXPECT_GE(a.oAppend(v), 0);
    EXPECT_EQ(a.oInsert(5, -3), 1);
    EXPECT_EQ(a.oInsert(60, 99), 1);
    EXPECT_EQ(Items(a), (std::vector<int32_t>{5, 10, 20, 30, 40, 50, 60}));
    a.oDelete(0);
    a.oDelete(-1);
    a.oDeleteLast();
    EXPECT_EQ(Items(a), (std::vector<int32_t>{10, 20, 30, 40, 50}));
    a.oDeleteRange(2, 10);
    EXPECT_EQ(Items(a), (std::vector<int32_t>{10, 20}));
    a.oDeleteRange(0, 0);
    EXPECT_EQ(a.oCount(), 2);
    EXPECT_EQ(a.oAppendN(3), 2);
    EXPECT_EQ(Items(a), (std::vector<int32_t>{10, 20, 0, 0, 0}));
    a.oClear();
    EXPECT_EQ(a.oCount(), 0);
    EXPECT_EQ(a.oCapacity(), 0);
}

TEST(VArray, SortBothWaysAndEmpty)
{
    VArray<int32_t> a(4, false, &Ascending);
    a.oSort(true);
    EXPECT_EQ(a.oCount(), 0);
    for (int32_t v : {5, -2, 9, 0, 5})
        a.oAppend(v);
    a.oSort(true);
    EXPECT_EQ(Items(a), (std::vector<int32_t>{-2, 0, 5, 5, 9}));
    a.oSort(false);
    EXPECT_EQ(Items(a), (std::vector<int32_t>{9, 5, 5, 0, -2}));
}

TEST(VArray, FindByKeyOrFailThrowsTheIndexingError)
{
    VArray<int32_t> a(4, true, &Ascending);
    for (int32_t v : {4, 8, 15})
        a.oAdd(v);
    EXPECT_EQ(a.oFindKeyOrFail([](int32_t e) { return DrmCompareI32(8, e); }), 1);
    try {
        a.oFindKeyOrFail([](int32_t e) { return DrmCompareI32(9, e); });
        FAIL() << "no throw";
    } catch (const VError &e) {
        EXPECT_EQ(e.code, -1);
        EXPECT_EQ(e.line, 1271u);
        EXPECT_STREQ(e.source, "VArrays");
        EXPECT_STREQ(e.message, "bad value for array indexing");
    }
    EXPECT_THROW(a.oGet(3), VError);
}

struct Tracked : VObject {
    Tracked(uint32_t id, std::vector<uint32_t> *log) : id(id), log(log) {}
    ~Tracked() override { log->push_back(id); }
    uint32_t id;
    std::vector<uint32_t> *log;
};
uint32_t TrackedKey(const Tracked &t) { return t.id; }

TEST(VObjArray, KeepsSortedByKeyAndDestroysWhatItOwns)
{
    std::vector<uint32_t> destroyed;
    {
        VObjArray<Tracked> a(4, &TrackedKey);
        for (uint32_t id : {7u, 2u, 0xFFFFFFF0u, 5u}) {
            std::unique_ptr<Tracked> t(new Tracked(id, &destroyed));
            ASSERT_GE(a.oAdd(t), 0);
            EXPECT_EQ(t, nullptr);
        }
        // Unsigned keys: 0xFFFFFFF0 is the largest.
        EXPECT_EQ(a.oGet(0)->id, 2u);
        EXPECT_EQ(a.oGet(3)->id, 0xFFFFFFF0u);
        EXPECT_EQ(a.oFindObject(5)->id, 5u);
        EXPECT_EQ(a.oFindObject(6), nullptr);
        bool found = true;
        a.oFind(6, &found);
        EXPECT_FALSE(found);
        a.oDelete(1);
        EXPECT_EQ(destroyed, (std::vector<uint32_t>{5}));
    }
    // The rest go last first.
    EXPECT_EQ(destroyed, (std::vector<uint32_t>{5, 0xFFFFFFF0u, 7, 2}));
}

TEST(VArrayStrings, PascalAndCInPlace)
{
    uint8_t buf[300] = {};
    buf[0] = 3;
    std::memcpy(buf + 1, "abc", 3);
    DrmPascalToCInPlace(buf);
    EXPECT_STREQ(reinterpret_cast<char *>(buf), "abc");
    DrmCToPascalInPlace(buf);
    EXPECT_EQ(buf[0], 3);
    EXPECT_EQ(std::memcmp(buf + 1, "abc", 3), 0);
    // A 255-character text keeps its full length byte.
    std::memset(buf, 'x', 255);
    buf[255] = 0;
    DrmCToPascalInPlace(buf);
    EXPECT_EQ(buf[0], 255);
}

} // namespace
