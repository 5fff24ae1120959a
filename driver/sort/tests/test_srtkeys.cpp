// Key type comparisons, record comparison and INCL/OMIT selection.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "driver/sort/srtcond.h"
#include "driver/sort/srtkeys.h"

namespace {

using Bytes = std::string;

int compare(SrtType type, const Bytes &a, const Bytes &b, const SrtCompare *with = nullptr)
{
    SrtSettings s;
    SrtCompare cmp;
    cmp.init(s, SrtCallbacks{});
    const SrtCompare &c = with ? *with : cmp;
    auto pa = reinterpret_cast<const unsigned char *>(a.data());
    auto pb = reinterpret_cast<const unsigned char *>(b.data());
    return srtCompareValues(c, type, static_cast<uint32_t>(a.size()), pa, 0,
                            static_cast<uint32_t>(a.size()), pb, 0,
                            static_cast<uint32_t>(b.size()));
}

Bytes f32(float f)
{
    Bytes b(4, '\0');
    std::memcpy(b.data(), &f, 4);
    return b;
}

Bytes f64(double d)
{
    Bytes b(8, '\0');
    std::memcpy(b.data(), &d, 8);
    return b;
}

struct CompareCase {
    const char *what;
    SrtType type;
    Bytes a, b;
    int expected;
};

TEST(SrtKeys, TypeComparisons)
{
    const CompareCase cases[] = {
        {"INT -1 before 0", SRT_INT, Bytes("\xff\xff\xff\xff", 4), Bytes("\0\0\0\0", 4), -1},
        {"INT 256 after 1", SRT_INT, Bytes("\0\x01\0\0", 4), Bytes("\x01\0\0\0", 4), 1},
        {"INT -2 before -1", SRT_INT, Bytes("\xfe\xff", 2), Bytes("\xff\xff", 2), -1},
        {"INT equal", SRT_INT, Bytes("\x05\0", 2), Bytes("\x05\0", 2), 0},
        {"FI 0001 before 0100", SRT_FI, Bytes("\0\x01", 2), Bytes("\x01\0", 2), -1},
        {"FI negative first", SRT_FI, Bytes("\x80\0", 2), Bytes("\0\0", 2), -1},
        {"W is unsigned", SRT_W, Bytes("\xff\xff", 2), Bytes("\0\x01", 2), 1},
        {"W little-endian", SRT_W, Bytes("\x02\x01", 2), Bytes("\x01\x02", 2), -1},
        {"BIN unsigned bytes", SRT_BIN, Bytes("\x80", 1), Bytes("\x7f", 1), 1},
        {"CHA shorter first", SRT_CHA, Bytes("ab"), Bytes("abc"), -1},
        {"CHA bytes", SRT_CHA, Bytes("b"), Bytes("abc"), 1},
        {"ALP folds case", SRT_ALP, Bytes("abc"), Bytes("ABC"), 0},
        {"ALP order", SRT_ALP, Bytes("abc"), Bytes("ABD"), -1},
        {"E float", SRT_E, f32(-1.5f), f32(0.25f), -1},
        {"FL double", SRT_FL, f64(1e10), f64(2.0), 1},
        {"E NaN after numbers", SRT_E, f64(NAN), f64(1e300), 1},
        {"E NaN equal NaN", SRT_E, f64(NAN), f64(NAN), 0},
    };
    for (const CompareCase &c : cases) {
        EXPECT_EQ(compare(c.type, c.a, c.b), c.expected) << c.what;
        EXPECT_EQ(compare(c.type, c.b, c.a), -c.expected) << c.what << " (reversed)";
    }
}

// Every comparison is a strict weak order: checked on random values by
// sorting and verifying transitivity of the result with the comparator.
TEST(SrtKeys, RandomValuesGiveAConsistentOrder)
{
    std::mt19937 rng(7);
    const SrtType types[] = {SRT_INT, SRT_FI, SRT_W, SRT_BIN, SRT_CHA, SRT_ALP, SRT_E};
    for (SrtType type : types) {
        std::vector<Bytes> values;
        for (int i = 0; i < 200; ++i) {
            Bytes b(type == SRT_E ? 8 : 2, '\0');
            for (char &c : b)
                c = static_cast<char>(rng() % 4 == 0 ? 0xff : rng() % 3);
            if (type == SRT_E)
                b = f64(static_cast<double>(static_cast<int>(rng() % 7) - 3) / 2);
            values.push_back(b);
        }
        std::sort(values.begin(), values.end(),
                  [&](const Bytes &a, const Bytes &b) { return compare(type, a, b) < 0; });
        for (size_t i = 1; i < values.size(); ++i)
            for (size_t j = i; j < values.size(); j += 17)
                ASSERT_LE(compare(type, values[i - 1], values[j]), 0) << "type " << int(type);
    }
}

struct EngineCall {
    int sqlType, nullA, nullB;
};
std::vector<EngineCall> engineCalls;

// Engine comparison stand-in: NULL first, then values as 4-byte integers.
int engineCompare(void *, int sqlType, int nullA, const unsigned char *a, int nullB,
                  const unsigned char *b, size_t len)
{
    engineCalls.push_back({sqlType, nullA, nullB});
    if (nullA || nullB)
        return nullA && nullB ? 0 : nullA ? -1 : 1;
    int32_t x = 0, y = 0;
    std::memcpy(&x, a, len < 4 ? len : 4);
    std::memcpy(&y, b, len < 4 ? len : 4);
    return x < y ? -5 : x > y ? 7 : 0;
}

int stringCompareReversed(void *, const unsigned char *a, const unsigned char *b, size_t len)
{
    return -std::memcmp(a, b, len);
}

TEST(SrtKeys, EngineTypesCallBackWithNullIndicators)
{
    SrtSettings s;
    SrtCompare cmp;
    SrtCallbacks cb;
    cb.valueCompare = engineCompare;
    cmp.init(s, cb);
    // Rows laid out as the engine's: a 4-byte indicator, then the value.
    Bytes nullRow("\x01\0\0\0\x09\0\0\0", 8), row("\0\0\0\0\x01\0\0\0", 8);
    auto p = [](const Bytes &b) { return reinterpret_cast<const unsigned char *>(b.data()); };
    engineCalls.clear();
    EXPECT_EQ(srtCompareValues(cmp, SRT_XDT, 4, p(nullRow), 4, 4, p(row), 4, 4), -1);
    ASSERT_EQ(engineCalls.size(), 1u);
    EXPECT_EQ(engineCalls[0].sqlType, 9);
    EXPECT_EQ(engineCalls[0].nullA, 1);
    EXPECT_EQ(engineCalls[0].nullB, 0);
    // XD takes both values as not NULL.
    EXPECT_EQ(srtCompareValues(cmp, SRT_XD, 4, p(nullRow), 4, 4, p(row), 4, 4), 1);
    EXPECT_EQ(engineCalls[1].sqlType, 32020);
    EXPECT_EQ(engineCalls[1].nullA, 0);
    const std::pair<SrtType, int> types[] = {{SRT_XBD, 32021}, {SRT_XTS, 11}, {SRT_XTM, 10}};
    for (auto [type, sql] : types) {
        srtCompareValues(cmp, type, 4, p(row), 4, 4, p(row), 4, 4);
        EXPECT_EQ(engineCalls.back().sqlType, sql);
    }
}

TEST(SrtKeys, CharacterKeysUseTheEngineStringComparison)
{
    SrtSettings s;
    SrtCompare cmp;
    SrtCallbacks cb;
    cb.stringCompare = stringCompareReversed;
    cmp.init(s, cb);
    EXPECT_EQ(compare(SRT_CHA, "a", "b", &cmp), 1);
    EXPECT_EQ(compare(SRT_SU, "a", "b", &cmp), 1);
    EXPECT_EQ(compare(SRT_CHA, "ab", "abc", &cmp), -1); // shorter first still
    EXPECT_FALSE(cmp.prefixUsable);
}

TEST(SrtKeys, RecordsCompareKeyByKey)
{
    SrtSettings s;
    SrtCallbacks none;
    ASSERT_EQ(srtParseControl("S(3,2,C,D,1,2,C,A) F(FIX,4)", 27, false, none, s), 0u);
    SrtCompare cmp;
    cmp.init(s, none);
    auto c = [&](const char *a, const char *b) {
        return srtCompareKeys(cmp, reinterpret_cast<const unsigned char *>(a), 4,
                              reinterpret_cast<const unsigned char *>(b), 4);
    };
    EXPECT_EQ(c("aazz", "bbaa"), -1); // first key descending
    EXPECT_EQ(c("aazz", "bbzz"), -1); // tie: second key ascending
    EXPECT_EQ(c("aazz", "aazz"), 0);
    // Prefixes never contradict the full comparison.
    ASSERT_TRUE(cmp.prefixUsable);
    uint64_t pa = srtKeyPrefix(cmp, reinterpret_cast<const unsigned char *>("aazz"), 4);
    uint64_t pb = srtKeyPrefix(cmp, reinterpret_cast<const unsigned char *>("bbaa"), 4);
    EXPECT_LT(pa, pb);
}

TEST(SrtKeys, NumberedFieldsFollowTheDelimiterAndQuotes)
{
    SrtSettings s;
    SrtCallbacks none;
    ASSERT_EQ(srtParseControl("DELI(59)", 8, false, none, s), 0u);
    SrtCompare cmp;
    cmp.init(s, none);
    const char *rec = "a;\"x;y\";ccc\r\n";
    auto p = reinterpret_cast<const unsigned char *>(rec);
    uint32_t n = static_cast<uint32_t>(std::strlen(rec)), off = 0, len = 0;
    const std::tuple<uint32_t, std::string> cases[] = {{1, "a"}, {2, "x;y"}, {3, "ccc"}, {4, ""}};
    for (auto [number, want] : cases) {
        SrtField f;
        f.numbered = true;
        f.pos = number;
        srtLocate(cmp, p, n, f, off, len);
        EXPECT_EQ(std::string(rec + off, len), want) << number;
    }
}

struct SelectCase {
    const char *statement;
    const char *records; // one character per record, as its first byte
    const char *kept;
};

TEST(SrtKeys, SelectionKeepsTheRightRecords)
{
    const SelectCase cases[] = {
        {"INCL(1,1,CHA,EQ,\"A\")", "ABCA", "AA"},
        {"OMIT(1,1,CHA,EQ,\"A\")", "ABCA", "BC"},
        {"INCL((1,1,CHA,EQ,\"A\") OR (1,1,CHA,EQ,\"B\"))", "ABCA", "ABA"},
        {"INCL(1,1,CHA,GE,\"B\")", "ABCA", "BC"},
        {"INCL(1,1,CHA,NE,\"B\" AND 1,1,CHA,LT,\"C\")", "ABCA", "AA"},
        // no precedence: (A OR B) AND C is never true for one byte
        {"INCL(1,1,CHA,EQ,\"A\" OR 1,1,CHA,EQ,\"B\" AND 1,1,CHA,EQ,\"C\")", "ABCA", ""},
        // second field: byte 1 against byte 2 (the record is doubled)
        {"INCL(1,1,CHA,EQ,2,1)", "AB", "AB"},
    };
    for (const SelectCase &c : cases) {
        SrtSettings s;
        ASSERT_EQ(srtParseControl(c.statement, std::strlen(c.statement), false, SrtCallbacks{}, s),
                  0u)
            << c.statement;
        SrtCompare cmp;
        cmp.init(s, SrtCallbacks{});
        std::string kept;
        for (const char *r = c.records; *r; ++r) {
            unsigned char rec[2] = {static_cast<unsigned char>(*r), static_cast<unsigned char>(*r)};
            if (srtSelectRecord(cmp, rec, 2))
                kept += *r;
        }
        EXPECT_EQ(kept, c.kept) << c.statement;
    }
}

TEST(SrtKeys, ContainsAndBinaryConditions)
{
    struct Case {
        const char *statement;
        Bytes record;
        bool kept;
    } cases[] = {
        {"INCL(1,6,CHA,CO,\"cd\")", "abcdef", true},
        {"INCL(1,6,CHA,CO,\"CD\")", "abcdef", false},
        {"INCL(1,6,ALP,CO,\"C*E\")", "abcdef", true},
        {"INCL(1,6,ALP,CO,\"C*G\")", "abcdef", false},
        {"INCL(1,4,INT,LT,\"0\")", Bytes("\xff\xff\xff\xff", 4), true},
        {"INCL(1,4,INT,EQ,\"256\")", Bytes("\0\x01\0\0", 4), true},
        {"INCL(1,2,FI,GT,\"255\")", Bytes("\x01\0", 2), true},
        {"INCL(1,8,FL,GE,\"2.5\")", f64(2.5), true},
        {"INCL(1,4,E,LT,\"2.5\")", f32(2.5f), false},
    };
    for (const Case &c : cases) {
        SrtSettings s;
        ASSERT_EQ(srtParseControl(c.statement, std::strlen(c.statement), false, SrtCallbacks{}, s),
                  0u)
            << c.statement;
        SrtCompare cmp;
        cmp.init(s, SrtCallbacks{});
        EXPECT_EQ(srtSelectRecord(cmp, reinterpret_cast<const unsigned char *>(c.record.data()),
                                  static_cast<uint32_t>(c.record.size())),
                  c.kept)
            << c.statement;
    }
}

} // namespace
