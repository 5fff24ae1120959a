// Connection strings: parsing into the attribute table, the output and browse
// strings, masking of secrets in trace lines.
#include "driver/odbc/rcconnect.h"
#include "driver/odbc/rcconnstr.h"
#include "driver/odbc/rcopt_engine.h"
#include "driver/core/tests/turkish_locale.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class ConnStrTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(rcEnvAlloc(&env), 0);
        ASSERT_EQ(rcConAlloc(env, &conn), 0);
    }
    void TearDown() override
    {
        rcConFree(conn);
        rcEnvFree(env);
    }

    // The SQLSTATE of the oldest queued record ("" when none); empties the queue.
    std::string State()
    {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLCHAR text[600];
        SQLSMALLINT length = 0;
        SQLRETURN rc = rcErrPopMessage(state, &native, text, sizeof text, &length, &conn->errors);
        rcErrClearQueue(&conn->errors);
        return rc == SQL_NO_DATA ? "" : reinterpret_cast<char *>(state);
    }

    std::string Value(uint32_t index) const
    {
        return conn->attrs[index].set ? conn->attrs[index].value : "<unset>";
    }

    rcEnv *env = nullptr;
    rcConn *conn = nullptr;
};

TEST_F(ConnStrTest, TableHasStaticKeywordsThenDataModuleEntry)
{
    EXPECT_STREQ(conn->attrs[RC_ATTR_DSN].name, "DSN");
    EXPECT_STREQ(conn->attrs[18].name, "MaxColSupport");
    // The data module offers no keywords of its own: one empty entry counts.
    EXPECT_EQ(conn->firstDrmKeyword, 19);
    EXPECT_EQ(conn->attrCount, 20u);
    EXPECT_STREQ(conn->attrs[19].name, "");
}

// The keyword table names the engine options a connection string may carry;
// the engine option table says what each does. A keyword of the one that the
// other does not know would be stored and never applied.
TEST_F(ConnStrTest, EngineKeywordsAreEngineOptions)
{
    size_t engineKeywords = 0;
    for (const rcKeywordDef &k : rcKeywordTable) {
        if (k.use != RC_KW_ENGINE)
            continue;
        ++engineKeywords;
        bool known = false;
        for (const rcOptEntry &e : rcOptTable)
            known = known || std::strcmp(e.name, k.keyword) == 0;
        EXPECT_TRUE(known) << k.keyword;
    }
    // The options a connection string may not name (5175) have no keyword.
    for (const char *name : {"DebugLevel", "TraceExact", "NoGetDataOpt", "NoOptSort"})
        for (const rcKeywordDef &k : rcKeywordTable)
            EXPECT_STRNE(k.keyword, name);
    EXPECT_EQ(engineKeywords, 13u);
}

struct ParseCase {
    const char *input;
    int16_t result;
    const char *state;    // SQLSTATE queued, "" for none
    uint32_t index;       // attribute to check
    const char *expected; // its value, "<unset>" when not set
};

class ParseTest : public ConnStrTest, public ::testing::WithParamInterface<ParseCase> {};

TEST_P(ParseTest, StoresWhatTheRulesSay)
{
    const ParseCase &c = GetParam();
    EXPECT_EQ(rcConnParseConnStr(conn, c.input), c.result) << c.input;
    EXPECT_EQ(State(), c.state) << c.input;
    EXPECT_EQ(Value(c.index), c.expected) << c.input;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseTest,
    ::testing::Values(ParseCase{"DSN=a;DRIVER=b", 0, "", RC_ATTR_DRIVER, "<unset>"},
                      ParseCase{"DRIVER=b;DSN=a", 0, "", RC_ATTR_DSN, "<unset>"},
                      ParseCase{"DRIVER=b;DSN=a", 0, "", RC_ATTR_DRIVER, "b"},
                      ParseCase{"UID=x;UID=y", 0, "", RC_ATTR_UID, "x"},
                      ParseCase{" uid = x ; pwd=y", 0, "", RC_ATTR_UID, "x "},
                      ParseCase{" uid = x ; pwd=y", 0, "", RC_ATTR_PWD, "y"},
                      ParseCase{"DBQ=a(b", -1, "08004", RC_ATTR_DBQ, "<unset>"},
                      ParseCase{"DSN=a(b", 0, "", RC_ATTR_DSN, "a(b"},
                      ParseCase{"DSN=a=b", -1, "08004", RC_ATTR_DSN, "<unset>"},
                      ParseCase{"Foo=1;UID=u", 1, "01S00", RC_ATTR_UID, "u"},
                      ParseCase{"=x", -1, "08004", RC_ATTR_DSN, "<unset>"},
                      ParseCase{"DSN", -1, "08004", RC_ATTR_DSN, "<unset>"},
                      ParseCase{"DSN x", -1, "08004", RC_ATTR_DSN, "<unset>"},
                      // A DSN-less string as unixODBC passes it: braces in DRIVER.
                      ParseCase{"DRIVER={QX Driver};DBQ=TCP/IP:h:1", 0, "", RC_ATTR_DRIVER,
                                "{QX Driver}"},
                      ParseCase{"DRIVER={a;b};UID=u", 0, "", RC_ATTR_UID, "u"},
                      ParseCase{"DRIVER={a;b};UID=u", 0, "", RC_ATTR_DRIVER, "{a;b}"},
                      // Braced values hold any character, "}}" for "}"; unbraced
                      // ones keep the rules above; an unclosed brace is a syntax error.
                      ParseCase{"PWD={x;y}", 0, "", RC_ATTR_PWD, "x;y"},
                      ParseCase{"PWD={[]{}}(),;?*=!@};UID=u", 0, "", RC_ATTR_PWD, "[]{}(),;?*=!@"},
                      ParseCase{"PWD={[]{}}(),;?*=!@};UID=u", 0, "", RC_ATTR_UID, "u"},
                      ParseCase{"PWD={a}}}}b} ;UID=u", 0, "", RC_ATTR_PWD, "a}}b"},
                      ParseCase{"PWD={};UID=u", 0, "", RC_ATTR_UID, "u"},
                      ParseCase{"PWD=a}b", -1, "08004", RC_ATTR_PWD, "<unset>"},
                      ParseCase{"PWD={S3cret;PwTail", -1, "08004", RC_ATTR_PWD, "<unset>"},
                      ParseCase{"PWD={a}b;UID=u", -1, "08004", RC_ATTR_UID, "<unset>"},
                      ParseCase{"PWD={a}}", -1, "08004", RC_ATTR_PWD, "<unset>"}),
    [](const ::testing::TestParamInfo<ParseCase> &info) {
        return "case" + std::to_string(info.index);
    });

TEST_F(ConnStrTest, ValueOf512IsKeptAnd513Refused)
{
    std::string v512(512, 'v');
    EXPECT_EQ(rcConnParseConnStr(conn, ("UID=" + v512).c_str()), 0);
    EXPECT_EQ(Value(RC_ATTR_UID), v512);
    EXPECT_EQ(rcConnParseConnStr(conn, ("PWD=" + v512 + "w").c_str()), -1);
    EXPECT_EQ(State(), "08004");
    EXPECT_EQ(Value(RC_ATTR_PWD), "<unset>");
}

TEST_F(ConnStrTest, CompletedStringListsSetEntriesInTableOrderAndReportsCut)
{
    ASSERT_EQ(rcConnParseConnStr(conn, "PWD=p;DBQ=TCP/IP:h:1;DSN=d;UID=u"), 0);
    char out[128];
    int64_t length = 0;
    EXPECT_EQ(rcConnBuildConnStr(conn, out, sizeof out, &length, false), 0);
    EXPECT_STREQ(out, "DSN=d;UID=u;PWD=p;DBQ=TCP/IP:h:1;");
    EXPECT_EQ(length, 33);
    char small[10];
    EXPECT_EQ(rcConnBuildConnStr(conn, small, sizeof small, &length, false), 1);
    EXPECT_STREQ(small, "DSN=d;UID");
    EXPECT_EQ(State(), "01004");
}

TEST_F(ConnStrTest, BrowseAsksForTheSourceUntilOneIsGiven)
{
    char out[128];
    int64_t length = 0;
    EXPECT_EQ(rcConnBuildConnStr(conn, out, sizeof out, &length, true), 99);
    EXPECT_STREQ(out, "DSN=?;DRIVER=?;");
    ASSERT_EQ(rcConnParseConnStr(conn, "DSN=d"), 0);
    EXPECT_EQ(rcConnBuildConnStr(conn, out, sizeof out, &length, true), 0);
    EXPECT_STREQ(out, "");
}

TEST_F(ConnStrTest, CompletedStringBracesValuesThatNeedIt)
{
    ASSERT_EQ(rcConnParseConnStr(conn, "DSN=d;UID=u;PWD={p;w}}d=}"), 0);
    char out[128];
    int64_t length = 0;
    EXPECT_EQ(rcConnBuildConnStr(conn, out, sizeof out, &length, false), 0);
    EXPECT_STREQ(out, "DSN=d;UID=u;PWD={p;w}}d=};");
    rcConnClearAttributes(conn);
    ASSERT_EQ(rcConnParseConnStr(conn, out), 0) << "reads back";
    EXPECT_EQ(Value(RC_ATTR_PWD), "p;w}d=");
}

TEST_F(ConnStrTest, ClearForgetsEveryValue)
{
    ASSERT_EQ(rcConnParseConnStr(conn, "DSN=d;UID=u"), 0);
    rcConnClearAttributes(conn);
    EXPECT_EQ(Value(RC_ATTR_DSN), "<unset>");
    EXPECT_EQ(Value(RC_ATTR_UID), "<unset>");
    EXPECT_EQ(rcConnParseConnStr(conn, "UID=v"), 0);
    EXPECT_EQ(Value(RC_ATTR_UID), "v");
}

TEST_F(ConnStrTest, KeywordsMatchWithoutRegardToCaseWhateverTheLocale)
{
    TurkishLocale turkish;
    if (!turkish.ok())
        GTEST_SKIP() << "no Turkish locale";
    EXPECT_EQ(rcConnParseConnStr(conn, "dsn=qx;uid=demo;pwd=secret;dbq=x;maxcolsupport=300"), 0)
        << State();
    EXPECT_EQ(Value(RC_ATTR_DSN), "qx");
    EXPECT_EQ(Value(RC_ATTR_UID), "demo");
    EXPECT_EQ(Value(RC_ATTR_DBQ), "x");
    char value[kRcAttrValueMax + 1];
    EXPECT_EQ(rcConGetKeyword(conn, "MAXCOLSUPPORT", value), 1);
    EXPECT_STREQ(value, "300");
    EXPECT_EQ(rcConnMaskSecrets("uid=a;pwd=secret"), "uid=a;pwd=****");
}

TEST(ConnStrMask, PasswordValuesAreMasked)
{
    const struct {
        const char *in;
        const char *out;
    } cases[] = {
        {"DSN=d;PWD=secret;UID=u", "DSN=d;PWD=****;UID=u"},
        {"pwd = secret", "pwd =****"},
        {"PWD={se;cret};UID=u", "PWD=****;UID=u"},
        {"DSN=PWD;UID=pwd", "DSN=PWD;UID=pwd"},
        {"", ""},
        // The whole value however it is written, an unclosed brace to the end.
        {"PWD={S3cret;PwTail", "PWD=****"},
        {"PWD={a}};UID=x};UID=u", "PWD=****;UID=u"},
        {"UID=u; Pwd = {x;y} ;DBQ=d", "UID=u; Pwd =****;DBQ=d"},
        {"DRIVER={a;PWD=b};PWD=c", "DRIVER={a;PWD=b};PWD=****"},
        {"PWD=;UID=u", "PWD=****;UID=u"},
        {"UID=u;PWD", "UID=u;PWD"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(rcConnMaskSecrets(c.in), c.out) << c.in;
}

} // namespace
