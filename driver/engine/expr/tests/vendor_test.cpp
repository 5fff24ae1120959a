// Vendor predicates in filter programs, against a fake data module behind
// the table-access call: the call blocks it receives, its answers in
// three-valued logic, and the errors of compiling and running.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "driver/core/rclist.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/expr/tests/expr_test_util.h"
#include "driver/engine/rcspy.h"
#include "driver/engine/tam.h"
#include "driver/engine/tam_drminfo.h"

using namespace exptest;

namespace {

constexpr rcTruth T = RC_TRUE, F = RC_FALSE, U = RC_UNKNOWN;

// Data-module column types the fake knows, with their SQL types.
constexpr uint32_t kDrmBit = 1, kDrmLong = 4, kDrmDouble = 7, kDrmText = 10, kDrmBad = 999;
constexpr uint32_t kTable = 77; // the identifier the fake gives the test table
// Parameter kinds of the fake's catalog rows.
constexpr uint32_t kName = 16, kValue = 1, kNoArgument = 128;

struct Row {
    uint32_t value;
    uint32_t role;
};

// The data module: its predicates (number, catalog rows) and, per call, the
// blocks it was handed; it answers `answer`.
class FakeDataModule {
public:
    explicit FakeDataModule(World &w)
    {
        current = this;
        w.env.vendor.predicateOf = &FakeDataModule::PredicateOf;
        w.env.vendor.sqlTypeOf = &FakeDataModule::SqlTypeOf;
        w.env.vendor.drmTypeOf = &FakeDataModule::DrmTypeOf;
        w.env.vendor.columnIdOf = &FakeDataModule::ColumnIdOf;
        w.env.vendorCtx = this;
        w.env.execExtPredicate = &FakeDataModule::Exec;
    }
    ~FakeDataModule()
    {
        for (auto &p : preds_)
            rcListDestroy(p.second.args);
        current = nullptr;
    }
    FakeDataModule(const FakeDataModule &) = delete;
    FakeDataModule &operator=(const FakeDataModule &) = delete;

    void Define(const char *name, uint32_t number, const std::vector<Row> &rows)
    {
        TamExtPredicate &p = preds_[name];
        std::snprintf(p.name, sizeof p.name, "%s", name);
        p.number = number;
        p.args = rcListCreate(4, sizeof(TamExtPredicateArg), false, 0);
        for (const Row &r : rows) {
            TamExtPredicateArg a{r.value, r.role};
            rcListAppend(p.args, &a);
        }
    }

    int32_t answer = 1;
    int calls = 0;
    uint32_t number = 0;
    std::vector<uint32_t> desc, data;
    const void *dataAt = nullptr;

private:
    static const TamExtPredicate *PredicateOf(void *ctx, const rcParseNode *name)
    {
        auto *f = static_cast<FakeDataModule *>(ctx);
        auto it = f->preds_.find(name->text);
        return it == f->preds_.end() ? nullptr : &it->second;
    }
    static bool SqlTypeOf(void *, uint32_t drm, int16_t *sql)
    {
        static const std::map<uint32_t, int16_t> m = {
            {kDrmBit, SQL_BIT},
            {kDrmLong, SQL_INTEGER},
            {kDrmDouble, SQL_DOUBLE},
            {kDrmText, SQL_VARCHAR},
        };
        auto it = m.find(drm);
        if (it == m.end())
            return false;
        *sql = it->second;
        return true;
    }
    static bool DrmTypeOf(void *, int16_t sql, uint32_t *drm)
    {
        static const std::map<int16_t, uint32_t> m = {{SQL_BIT, kDrmBit},
                                                      {SQL_INTEGER, kDrmLong},
                                                      {SQL_DOUBLE, kDrmDouble},
                                                      {SQL_CHAR, kDrmText},
                                                      {SQL_VARCHAR, kDrmText}};
        auto it = m.find(sql);
        if (it == m.end())
            return false;
        *drm = it->second;
        return true;
    }
    static bool ColumnIdOf(void *, const rcEvlColumnRef *col, uint32_t *table, uint32_t *id)
    {
        *table = kTable;
        *id = col->column;
        return true;
    }
    static int32_t Exec(TamSession *, uint32_t number, const uint32_t *d, const uint32_t *v)
    {
        FakeDataModule *f = current;
        ++f->calls;
        f->number = number;
        f->desc.assign(d, d + d[0] / 4);
        f->data.assign(v, v + v[0] / 4);
        f->dataAt = v;
        return f->answer;
    }

    static inline FakeDataModule *current = nullptr;
    std::map<std::string, TamExtPredicate> preds_;
};

uint32_t ColumnIndex(const char *name)
{
    const auto &cols = Columns();
    for (size_t k = 0; k < cols.size(); ++k)
        if (std::strcmp(cols[k].name, name) == 0)
            return static_cast<uint32_t>(k);
    return 0;
}

uint32_t Word(const char *bytes)
{
    uint32_t w = 0;
    std::memcpy(&w, bytes, 4);
    return w;
}

std::vector<uint32_t> DoubleWords(double d)
{
    uint32_t w[2];
    std::memcpy(w, &d, 8);
    return {w[0], w[1]};
}

rcFltId Compile(World &w, const std::string &cond, int16_t want = 0)
{
    const rcParseNode *node = w.ParseCond(cond);
    EXPECT_NE(node, nullptr) << cond << " not read";
    rcFltId f = 0;
    EXPECT_EQ(rcFltCompile(&w.env, node, &f) >= 0, want == 0) << cond;
    return f;
}

TEST(VendorPredicates, ArgumentsOfEveryKindReachTheDataModule)
{
    World w;
    FakeDataModule dm(w);
    // name row first, a row that takes no argument in the middle.
    dm.Define("near", 41,
              {{0, kName},
               {kDrmLong, kValue},
               {kDrmText, kValue},
               {0, kNoArgument},
               {kDrmDouble, kValue},
               {kDrmBit, kValue},
               {kDrmLong, kValue}});
    w.params = {{SQL_INTEGER, "5"}, {SQL_INTEGER, std::nullopt}};
    rcFltId f = Compile(w, "{pred near, i, 'abc', ?, 1, ?}");
    w.row = {{"i", "3"}};
    rcTruth t = U;
    ASSERT_EQ(rcFltRunTruth(&w.env, f, &t), 0) << w.TakeMessage();
    EXPECT_EQ(t, T);
    EXPECT_EQ(dm.number, 41u);
    std::vector<uint32_t> desc = {16 * 5 + 4, 32,         0, 1, 0, // i: a column identifier
                                  64,         kDrmText,   3, 0,    // 'abc' and its NUL
                                  64,         kDrmDouble, 4, 0,    // ? = 5 as a double
                                  64,         kDrmBit,    6, 0,    // 1 as one byte 255
                                  64,         kDrmLong,   7, 1};   // a NULL parameter: no data
    EXPECT_EQ(dm.desc, desc);
    std::vector<uint32_t> data = {7 * 4, kTable, ColumnIndex("i"), Word("abc")};
    for (uint32_t x : DoubleWords(5.0))
        data.push_back(x);
    data.push_back(255);
    EXPECT_EQ(dm.data, data);

    // The next row reuses the same blocks.
    const void *first = dm.dataAt;
    w.params[1].text = "-2";
    ASSERT_EQ(rcFltRunTruth(&w.env, f, &t), 0);
    EXPECT_EQ(dm.dataAt, first);
    ASSERT_EQ(dm.desc.size(), desc.size());
    EXPECT_EQ(dm.desc[20], 0u); // no longer NULL
    EXPECT_EQ(dm.data.back(), static_cast<uint32_t>(-2));
}

TEST(VendorPredicates, UntypedParametersTakeTheCommonType)
{
    World w;
    FakeDataModule dm(w);
    dm.Define("twice", 7, {{0, kValue}, {0, kValue}, {0, kName}, {0, kValue}});
    w.params = {{SQL_INTEGER, "2"}};
    // d DOUBLE, ? INTEGER, i + 1 INTEGER: all go as doubles; d by identifier.
    rcFltId f = Compile(w, "{pred twice, d, ?, i + 1}");
    w.row = {{"i", "3"}, {"d", "1.5"}};
    rcTruth t = U;
    ASSERT_EQ(rcFltRunTruth(&w.env, f, &t), 0) << w.TakeMessage();
    std::vector<uint32_t> desc = {16 * 3 + 4,                    // three arguments
                                  32,         0,          1, 0,  // d: a column identifier
                                  64,         kDrmDouble, 3, 0,  // ? = 2 as a double
                                  64,         kDrmDouble, 5, 0}; // i + 1 = 4 as a double
    EXPECT_EQ(dm.desc, desc);
    std::vector<uint32_t> data = {7 * 4, kTable, ColumnIndex("d")};
    for (double x : {2.0, 4.0})
        for (uint32_t wd : DoubleWords(x))
            data.push_back(wd);
    EXPECT_EQ(dm.data, data);
}

TEST(VendorPredicates, AnswersInThreeValuedLogic)
{
    struct Case {
        int32_t answer;
        const char *cond;
        rcTruth truth;
        int calls;
    };
    const Case cases[] = {
        {1, "{pred p, i}", T, 1},           {2, "{pred p, i}", U, 1},
        {0, "{pred p, i}", F, 1},           {9, "{pred p, i}", F, 1},
        {2, "{pred p, i} OR i = 3", T, 1},  {2, "{pred p, i} OR i = 4", U, 1},
        {0, "{pred p, i} OR i = 4", F, 1},  {2, "{pred p, i} AND i = 3", U, 1},
        {1, "{pred p, i} AND i = 3", T, 1}, {0, "{pred p, i} AND i = 3", F, 1},
        {2, "NOT {pred p, i}", U, 1},       {0, "NOT {pred p, i}", T, 1},
        {1, "i = 4 AND {pred p, i}", F, 0}, // decided before the call
        {1, "i = 3 OR {pred p, i}", T, 0},  {2, "i = 3 AND NOT {pred p, i}", U, 1},
    };
    for (const Case &c : cases) {
        World w;
        FakeDataModule dm(w);
        dm.Define("p", 1, {{0, kName}, {kDrmLong, kValue}});
        dm.answer = c.answer;
        rcFltId f = Compile(w, c.cond);
        w.row = {{"i", "3"}};
        rcTruth t = RC_UNKNOWN;
        EXPECT_EQ(rcFltRunTruth(&w.env, f, &t), 0) << c.cond;
        EXPECT_EQ(t, c.truth) << c.cond << " answer " << c.answer;
        EXPECT_EQ(dm.calls, c.calls) << c.cond;
        int passed = -1;
        EXPECT_EQ(rcFltRun(&w.env, f, &passed), 0);
        EXPECT_EQ(passed, c.truth == T ? 1 : 0) << c.cond;
        EXPECT_EQ(w.TakeMessage(), 0u) << c.cond;
    }
}

TEST(VendorPredicates, CompileErrors)
{
    struct Case {
        const char *cond;
        uint32_t msg;
    };
    const Case cases[] = {
        // One parameter; the kinds 16 and 128 take no argument.
        {"{pred p, i, j}", RC_ENG_INVALID_MISSING_ARGUMENT},
        {"{pred bad, i}", RC_ENG_INVALID_DUPLICATE_DRM_COLTYP_SPECIFIED},
        // An untyped parameter whose common type the data module has no type for.
        {"{pred any, dt}", RC_ENG_INVALID_DUPLICATE_DRM_COLTYP_SPECIFIED},
        // A name the data module does not describe (any more).
        {"{pred gone, i}", RC_ENG_INVALID_EXTENDED_PREDICATE},
    };
    for (const Case &c : cases) {
        World w;
        FakeDataModule dm(w);
        dm.Define("p", 1, {{0, kName}, {kDrmLong, kValue}, {0, kNoArgument}});
        dm.Define("bad", 2, {{0, kName}, {kDrmBad, kValue}});
        dm.Define("any", 3, {{0, kName}, {0, kValue}});
        Compile(w, c.cond, -1);
        EXPECT_EQ(w.TakeMessage(), c.msg) << c.cond;
    }
}

TEST(VendorPredicates, DataModuleErrorIsMappedAndFailsTheRun)
{
    World w;
    FakeDataModule dm(w);
    dm.Define("p", 1, {{0, kName}, {kDrmLong, kValue}});
    rcFltId f = Compile(w, "{pred p, i}");
    w.row = {{"i", "3"}};
    dm.answer = -1001;
    int passed = -1;
    EXPECT_EQ(rcFltRun(&w.env, f, &passed), -1);
    EXPECT_EQ(passed, 0);
    ASSERT_NE(w.errors.list, nullptr);
    ASSERT_EQ(rcListCount(w.errors.list), 2u);
    rcErrorRecord rec;
    rcListGet(w.errors.list, &rec, 0);
    EXPECT_EQ(rec.msgId, rcErrMapDrm(-1001));
    EXPECT_EQ(rec.native, -1001);
    rcListGet(w.errors.list, &rec, 1);
    EXPECT_EQ(rec.msgId, static_cast<uint32_t>(RC_ENG_FILTER_EVALUATION_ERROR));
}

TEST(VendorPredicates, ArgumentsPastTheDataBlockFailTheRun)
{
    struct Case {
        const char *cond;
        int16_t rc;
    };
    // Four words of data: a column takes two, 'abcdefg' two, 'abcdefgh' three.
    const Case cases[] = {
        {"{pred p, v, 'abcdefg'}", 0},
        {"{pred p, v, 'abcdefgh'}", -1},
    };
    for (const Case &c : cases) {
        World w;
        FakeDataModule dm(w);
        w.env.maxVendorWords = 4;
        dm.Define("p", 1, {{0, kName}, {kDrmText, kValue}, {kDrmText, kValue}});
        rcFltId f = Compile(w, c.cond);
        w.row = {{"v", "x"}};
        int passed = -1;
        EXPECT_EQ(rcFltRun(&w.env, f, &passed), c.rc) << c.cond;
        EXPECT_EQ(dm.calls, c.rc == 0 ? 1 : 0) << c.cond;
        EXPECT_EQ(w.TakeMessage(), c.rc == 0 ? 0u : RC_MSG_MEMORY_ALLOCATION_ERROR) << c.cond;
    }
}

TEST(VendorPredicates, TheSpyShowsTheFirstArgument)
{
    World w;
    FakeDataModule dm(w);
    dm.Define("p", 9, {{0, kName}, {kDrmText, kValue}, {kDrmLong, kValue}});
    rcFltId f = Compile(w, "{pred p, 'abc', i}");
    w.row = {{"i", "3"}};
    std::string out;
    rcSpySetSink([](void *ctx, const char *text,
                    size_t n) { static_cast<std::string *>(ctx)->append(text, n); },
                 &out);
    rcSpyOpen();
    int passed = -1;
    EXPECT_EQ(rcFltRun(&w.env, f, &passed), 0);
    rcSpyClose();
    rcSpySetSink(nullptr, nullptr);
    rcSpyPredArg first{RC_SPY_ARG_LITERAL, kDrmText, 1, 0};
    EXPECT_EQ(out, rcSpyFormatPredicateArg(9, first, dm.data.data(), dm.data.size()));
    EXPECT_NE(out.find("abc"), std::string::npos) << out;
}

} // namespace
