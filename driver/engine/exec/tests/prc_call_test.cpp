// Procedure calls against a data module of the test's own that has
// procedures: preparation checks, argument arrays in and out, result rows.
#include "driver/engine/exec/rcexeproc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sqlext.h>
#include <string>
#include <vector>

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/tests/base_fixture.h"
#include "driver/engine/tam.h"

namespace {

// The fake data module: procedures by name.
struct FakeProcedure {
    std::vector<rcPrcColumnDesc> columns;
    std::vector<std::string> rows; // one VARCHAR result column
    // Execution: return value and output y from input x (INTEGER).
    bool addOne = false;
};

struct FakeModule {
    std::map<std::string, FakeProcedure> procedures;
    std::map<TamTableHandle *, const FakeProcedure *> open;
    std::vector<std::string> inputsSeen; // "position:type:value"
    int opens = 0;
    int32_t moveError = 0;
    size_t row = 0;
    TamTableHandle handles[4]{};

    rcPrcDataModule Module()
    {
        rcPrcDataModule dm;
        dm.ctx = this;
        dm.open = [](void *ctx, const char *, const char *name, TamTableHandle **h) -> int32_t {
            auto *f = static_cast<FakeModule *>(ctx);
            ++f->opens;
            auto it = f->procedures.find(name);
            if (it == f->procedures.end())
                return kDrmErrNotSupported;
            *h = &f->handles[f->open.size()];
            f->open[*h] = &it->second;
            return 0;
        };
        dm.describe = [](void *ctx, TamTableHandle *h, std::vector<rcPrcColumnDesc> *out) {
            *out = static_cast<FakeModule *>(ctx)->open.at(h)->columns;
            return int32_t{0};
        };
        dm.execute = [](void *ctx, TamTableHandle *h, rcPrcArgArray *in,
                        rcPrcArgArray *out) -> int32_t {
            auto *f = static_cast<FakeModule *>(ctx);
            int32_t x = 0;
            for (uint32_t i = 0; i < in->count; ++i) {
                const rcPrcArgValue &v = in->values[i];
                std::string value = v.isNull ? "NULL"
                                    : v.sqlType == SQL_INTEGER
                                        ? std::to_string(*static_cast<int32_t *>(v.data))
                                        : std::string(static_cast<char *>(v.data), v.length);
                if (v.sqlType == SQL_INTEGER && !v.isNull)
                    x = *static_cast<int32_t *>(v.data);
                f->inputsSeen.push_back(std::to_string(v.position) + ":" +
                                        std::to_string(v.sqlType) + ":" + value);
            }
            if (f->open.at(h)->addOne)
                for (uint32_t i = 0; i < out->count; ++i) {
                    rcPrcArgValue &v = out->values[i];
                    *static_cast<int32_t *>(v.data) = v.position == 0 ? x * 2 : x + 1;
                    v.length = 4;
                }
            f->row = 0;
            return 0;
        };
        dm.move = [](void *ctx, TamTableHandle *h, int32_t direction) -> int32_t {
            auto *f = static_cast<FakeModule *>(ctx);
            if (f->moveError != 0)
                return f->moveError;
            f->row = direction == static_cast<int32_t>(0x80000000u) ? 0 : f->row + 1;
            return f->row < f->open.at(h)->rows.size() ? 0 : kDrmErrNoCurrentRecord;
        };
        dm.column = [](void *ctx, TamTableHandle *h, uint32_t, void *buffer, uint32_t length,
                       uint32_t *outLength, int16_t) -> int32_t {
            auto *f = static_cast<FakeModule *>(ctx);
            const std::string &v = f->open.at(h)->rows[f->row];
            std::snprintf(static_cast<char *>(buffer), length, "%s", v.c_str());
            *outLength = static_cast<uint32_t>(v.size());
            return 0;
        };
        dm.close = [](void *ctx, TamTableHandle *h) {
            static_cast<FakeModule *>(ctx)->open.erase(h);
        };
        return dm;
    }
};

rcPrcColumnDesc Col(const char *name, uint16_t use, int16_t type, uint32_t length = 4)
{
    rcPrcColumnDesc d{};
    std::snprintf(d.name, sizeof d.name, "%s", name);
    d.use = use;
    d.sqlType = type;
    d.length = length;
    return d;
}

rcPrcCallArg Param(uint32_t n)
{
    rcPrcCallArg a;
    a.kind = RC_PRC_ARG_PARAM;
    a.param = n;
    return a;
}

rcPrcCallArg Literal(const char *text, bool isText)
{
    rcPrcCallArg a;
    a.kind = RC_PRC_ARG_LITERAL;
    a.literal = text;
    a.literalIsText = isText;
    return a;
}

rcPrcCallText Call(const std::string &name, std::vector<rcPrcCallArg> args, bool returns = false)
{
    rcPrcCallText t;
    t.name = name;
    t.args = std::move(args);
    t.returnValue = returns;
    t.returnParam = 0;
    if (returns)
        for (rcPrcCallArg &a : t.args)
            if (a.kind == RC_PRC_ARG_PARAM)
                ++a.param; // the return value is parameter 0
    return t;
}

class PrcCall : public DriverEnvTest {
protected:
    void SetUp() override
    {
        DriverEnvTest::SetUp();
        FakeProcedure add;
        add.columns = {Col("x", SQL_PARAM_INPUT, SQL_INTEGER),
                       Col("y", SQL_PARAM_OUTPUT, SQL_INTEGER),
                       Col("r", SQL_RETURN_VALUE, SQL_INTEGER)};
        add.addOne = true;
        fake.procedures["addone"] = add;
        FakeProcedure names;
        names.columns = {Col("prefix", SQL_PARAM_INPUT, SQL_VARCHAR, 20),
                         Col("Name", SQL_RESULT_COL, SQL_VARCHAR, 20)};
        names.rows = {"Ann", "Ada"};
        fake.procedures["names"] = names;
        FakeProcedure twice;
        twice.columns = {Col("a", SQL_RETURN_VALUE, SQL_INTEGER),
                         Col("b", SQL_RETURN_VALUE, SQL_INTEGER)};
        fake.procedures["tworeturns"] = twice;
    }
    void TearDown() override
    {
        rcPrcClose(&call);
        EXPECT_TRUE(fake.open.empty()) << "a procedure was left open";
        rcErrQueueDestroy(&errors);
        DriverEnvTest::TearDown();
    }
    std::string First()
    {
        if (errors.list == nullptr || rcListCount(errors.list) == 0)
            return "";
        auto *r = static_cast<rcErrorRecord *>(rcListAt(errors.list, 0));
        return std::to_string(r->msgId) + (r->text != nullptr ? std::string(" ") + r->text : "");
    }

    // Parameters: values, how they are bound, what the outputs wrote.
    std::map<uint32_t, rcExpValue> values;
    std::map<uint32_t, int16_t> uses;
    std::map<uint32_t, std::string> written;
    int16_t writeResult = 0;
    rcPrcParamIo Io()
    {
        rcPrcParamIo io;
        io.ctx = this;
        io.value = [](void *ctx, uint32_t n, rcExpValue *out) -> int16_t {
            *out = static_cast<PrcCall *>(ctx)->values[n];
            return 0;
        };
        io.use = [](void *ctx, uint32_t n) -> int16_t {
            auto *self = static_cast<PrcCall *>(ctx);
            return self->uses.count(n) ? self->uses[n] : int16_t{SQL_PARAM_INPUT};
        };
        io.output = [](void *ctx, uint32_t n, const rcExpValue &v) -> int16_t {
            auto *self = static_cast<PrcCall *>(ctx);
            self->written[n] = v.isNull ? "NULL" : std::to_string(v.v.i32);
            return self->writeResult;
        };
        return io;
    }
    static rcExpValue Int(int32_t i)
    {
        rcExpValue v;
        v.type = SQL_INTEGER;
        v.length = 4;
        v.v.i32 = i;
        return v;
    }

    FakeModule fake;
    rcPrcCall call;
    rcErrorQueue errors{};
};

TEST_F(PrcCall, PreparationChecksTheCallAgainstTheProcedure)
{
    struct Case {
        rcPrcCallText text;
        const char *error; // first message, "" for success
    };
    const Case cases[] = {
        {Call("addone", {Param(0), Param(1)}), ""},
        {Call("addone", {Literal("41", false), Param(0)}, true), ""},
        {Call("names", {Literal("A", true)}), ""},
        {Call(std::string(65, 'p'), {}), "11403"},
        {Call("nosuch", {}), "11002"},
        {Call("names", {Param(0)}, true), "11491"},
        {Call("addone", {Param(0)}), "11487"},
        {Call("addone", {Param(0), Param(1), Param(2)}), "11487"},
        {Call("addone", {Param(0), Literal("1", false)}), "11488"},
        {Call("addone", {Literal("'x'", true), Param(0)}), "11452"},
        {Call("addone", {rcPrcCallArg{}, Param(0)}), "5135 SQL option not supported."},
        {Call("tworeturns", {}), "11468"},
    };
    for (const Case &c : cases) {
        rcErrClearQueue(&errors);
        int opensBefore = fake.opens;
        int16_t rc = rcPrcPrepare(&call, fake.Module(), "db", c.text, &errors);
        std::string first = First();
        EXPECT_EQ(first.substr(0, std::strlen(c.error)), c.error) << c.text.name;
        EXPECT_EQ(rc, *c.error ? -1 : 0) << c.text.name;
        if (*c.error) {
            EXPECT_TRUE(fake.open.empty()) << c.text.name << ": a failed prepare closes";
        }
        if (c.text.name.size() > RC_PRC_NAME_MAX) {
            EXPECT_EQ(fake.opens, opensBefore) << "the name is refused before the data module";
        }
        rcPrcClose(&call);
    }
}

TEST_F(PrcCall, ExecutionPassesInputsAndWritesOutputsBack)
{
    ASSERT_EQ(rcPrcPrepare(&call, fake.Module(), "db", Call("addone", {Param(0), Param(1)}, true),
                           &errors),
              0);
    EXPECT_EQ(call.flags, RC_PRC_INPUT | RC_PRC_OUTPUT | RC_PRC_RETURN);
    values[1] = Int(5);
    uses = {{0, SQL_PARAM_OUTPUT}, {1, SQL_PARAM_INPUT}, {2, SQL_PARAM_OUTPUT}};
    ASSERT_EQ(rcPrcExecute(&call, Io(), &errors), 0) << First();
    EXPECT_EQ(fake.inputsSeen, std::vector<std::string>{"1:4:5"});
    EXPECT_EQ(written, (std::map<uint32_t, std::string>{{0, "10"}, {2, "6"}}));
    // Again with a new value.
    values[1] = Int(-3);
    ASSERT_EQ(rcPrcExecute(&call, Io(), &errors), 0);
    EXPECT_EQ(written[2], "-2");

    // An output argument bound as input, and an output that cannot be written.
    uses[2] = SQL_PARAM_INPUT;
    EXPECT_EQ(rcPrcExecute(&call, Io(), &errors), -1);
    EXPECT_EQ(First(), "11490");
    rcErrClearQueue(&errors);
    uses[2] = SQL_PARAM_OUTPUT;
    writeResult = 1;
    EXPECT_EQ(rcPrcExecute(&call, Io(), &errors), 1);
    EXPECT_EQ(First(), "5102");
    rcErrClearQueue(&errors);
    writeResult = -1;
    EXPECT_EQ(rcPrcExecute(&call, Io(), &errors), -1);
    EXPECT_EQ(First(), "5135 Error writing to output parameter 1.");
}

TEST_F(PrcCall, LiteralAndTextArgumentsAreConverted)
{
    ASSERT_EQ(rcPrcPrepare(&call, fake.Module(), "db",
                           Call("addone", {Literal("41", false), Param(0)}), &errors),
              0);
    uses[0] = SQL_PARAM_OUTPUT;
    ASSERT_EQ(rcPrcExecute(&call, Io(), &errors), 0) << First();
    EXPECT_EQ(written[0], "42");
    rcPrcClose(&call);
    uses.clear();

    ASSERT_EQ(rcPrcPrepare(&call, fake.Module(), "db", Call("names", {Param(0)}), &errors), 0);
    std::string longText(RC_PRC_MAX_DATA + 1, 'a');
    rcExpValue v;
    v.type = SQL_VARCHAR;
    v.text = longText.c_str();
    v.length = static_cast<uint32_t>(longText.size());
    values[0] = v;
    EXPECT_EQ(rcPrcExecute(&call, Io(), &errors), -1);
    EXPECT_EQ(First(), "11489");
    rcErrClearQueue(&errors);
    v.length = 2;
    values[0] = v;
    fake.inputsSeen.clear();
    ASSERT_EQ(rcPrcExecute(&call, Io(), &errors), 0) << First();
    EXPECT_EQ(fake.inputsSeen, std::vector<std::string>{"1:12:aa"});
}

TEST_F(PrcCall, ResultRowsAreFetchedLikeATable)
{
    ASSERT_EQ(
        rcPrcPrepare(&call, fake.Module(), "db", Call("names", {Literal("A", true)}), &errors), 0);
    EXPECT_EQ(call.flags, RC_PRC_INPUT | RC_PRC_RESULTS);
    ASSERT_EQ(call.results.size(), 1u);
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_EQ(rcPrcExecute(&call, Io(), &errors), 0) << First();
        std::vector<std::string> rows;
        int16_t rc = 0;
        while ((rc = rcPrcFetch(&call, &errors)) == 0) {
            char buf[32] = {};
            uint32_t len = 0;
            bool isNull = false;
            ASSERT_EQ(rcPrcGetColumn(&call, 0, buf, sizeof buf, &len, &isNull, &errors), 0);
            rows.push_back(buf);
        }
        EXPECT_EQ(rc, 100);
        EXPECT_EQ(rows, (std::vector<std::string>{"Ann", "Ada"})) << "pass " << pass;
    }
    char buf[8];
    uint32_t len = 0;
    bool isNull = false;
    EXPECT_EQ(rcPrcGetColumn(&call, 1, buf, sizeof buf, &len, &isNull, &errors), -1);
    EXPECT_EQ(First(), "5137");
    rcErrClearQueue(&errors);
    fake.moveError = kDrmErrBadSession;
    EXPECT_EQ(rcPrcFetch(&call, &errors), -1);
    EXPECT_NE(First(), "");
}

} // namespace
