// The connect road over the data module: connect, failures and their
// diagnostics, disconnect, prompting, options and supported functions.
#include "driver/odbc/tests/conn_fixture.h"

#include "driver/odbc/rcconnstr.h"
#include "driver/odbc/rcoption.h"
#include "driver/odbc/rctypecat.h"
#include "driver/engine/tam.h"
#include "driver/odbc/rcinfo.h"
#include "platform/dialog.h"

#include <fstream>
#include <string>

namespace {

using ConnectTest = ConnFixture;

TEST_F(ConnectTest, DsnConnectOpensSessionReadsCatalogAndDisconnectEndsIt)
{
    SQLRETURN rc = SQLConnectImpl(conn, reinterpret_cast<const SQLCHAR *>("qx"), SQL_NTS,
                                  reinterpret_cast<const SQLCHAR *>("demo"), 4,
                                  reinterpret_cast<const SQLCHAR *>("demo"), SQL_NTS);
    ASSERT_EQ(rc, SQL_SUCCESS) << Diag();
    EXPECT_EQ(conn->state, RC_CONN_CONNECTED);
    ASSERT_NE(conn->session, nullptr);
    EXPECT_STREQ(conn->qualifier, "TCP/IP:127.0.0.1"); // DBQ of the data source
    EXPECT_EQ(server.open.size(), 1u);
    // The type catalog was read from the data module at connect.
    EXPECT_EQ(conn->typeMappingCount, kRcTypeRows);
    EXPECT_GT(conn->typeEntryCount, 0);
    EXPECT_TRUE(rcTypIsSupported(conn, SQL_CHAR));
    EXPECT_STRNE(rcTypName(conn, SQL_CHAR), "");
    EXPECT_EQ(conn->txnState, 4);
    EXPECT_EQ(conn->maxColSupport, kRcMinMaxColSupport);

    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
    EXPECT_EQ(conn->state, RC_CONN_ALLOCATED);
    EXPECT_EQ(conn->session, nullptr);
    EXPECT_TRUE(server.open.empty());
    EXPECT_FALSE(conn->attrs[RC_ATTR_DSN].set);
}

TEST_F(ConnectTest, DsnLessStringWithBracedDriverConnects)
{
    std::string out;
    ASSERT_EQ(DriverConnect("DRIVER={QX Driver};DBQ=TCP/IP:127.0.0.1;UID=demo;PWD=demo",
                            SQL_DRIVER_NOPROMPT, &out),
              SQL_SUCCESS)
        << Diag();
    EXPECT_EQ(
        out.rfind("DRIVER={QX Driver};UID=demo;PWD=demo;DBQ=TCP/IP:127.0.0.1;CODEPAGE=1252;", 0),
        0u)
        << out;
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
}

TEST_F(ConnectTest, CompletedStringLengthIsReportedWithoutAnOutputBuffer)
{
    std::string out;
    ASSERT_EQ(DriverConnect("DSN=qx;UID=demo;PWD=demo", SQL_DRIVER_NOPROMPT, &out), SQL_SUCCESS)
        << Diag();
    ASSERT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
    // An application asking only for the length gets the full length.
    SQLSMALLINT length = -1;
    const char *in = "DSN=qx;UID=demo;PWD=demo";
    ASSERT_EQ(SQLDriverConnectImpl(conn, nullptr, reinterpret_cast<const SQLCHAR *>(in), SQL_NTS,
                                   nullptr, 0, &length, SQL_DRIVER_NOPROMPT),
              SQL_SUCCESS)
        << Diag();
    EXPECT_EQ(length, static_cast<SQLSMALLINT>(out.size()));
    EXPECT_EQ(Diag(), "");
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
}

struct FailCase {
    const char *in;
    const char *state;
    SQLINTEGER native;
};

std::string FailName(const ::testing::TestParamInfo<FailCase> &info)
{
    static const char *const names[] = {"WrongPassword", "UnknownUser", "UnknownServer",
                                        "PasswordTooLong", "ForbiddenCharacter"};
    return names[info.index];
}

class ConnectFailTest : public ConnFixture, public ::testing::WithParamInterface<FailCase> {};

TEST_P(ConnectFailTest, FailureLeavesAllocatedHandleWithRecord)
{
    const FailCase &c = GetParam();
    EXPECT_EQ(DriverConnect(c.in), SQL_ERROR);
    SQLINTEGER native = 0;
    EXPECT_EQ(Diag(&native), c.state) << c.in;
    EXPECT_EQ(native, c.native) << c.in;
    EXPECT_EQ(conn->state, RC_CONN_ALLOCATED);
    EXPECT_EQ(conn->session, nullptr);
    EXPECT_FALSE(conn->attrs[RC_ATTR_UID].set);
    EXPECT_TRUE(server.open.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConnectFailTest,
    ::testing::Values(FailCase{"DSN=qx;UID=demo;PWD=wrong", "08001", -1905},
                      FailCase{"DSN=qx;UID=nobody;PWD=demo", "08001", -1903},
                      FailCase{"DBQ=TCP/IP:10.9.9.9;UID=demo;PWD=demo", "08004", -1203},
                      FailCase{"DSN=qx;UID=demo;PWD=01234567890123456789012345678901", "28000", 0},
                      FailCase{"DBQ=a(b", "08004", 0}),
    FailName);

TEST_F(ConnectTest, QualifierOf260IsTriedAnd261Refused)
{
    std::string d260(260, 'q');
    EXPECT_EQ(DriverConnect("UID=demo;PWD=demo;DBQ=" + d260), SQL_ERROR);
    SQLINTEGER native = 0;
    EXPECT_EQ(Diag(&native), "08004");
    EXPECT_EQ(native, -1203); // reached the data module
    EXPECT_EQ(DriverConnect("UID=demo;PWD=demo;DBQ=" + d260 + "q"), SQL_ERROR);
    std::string text;
    EXPECT_EQ(Diag(&native, &text), "08001");
    EXPECT_NE(text.find("Path name is greater than current maximum"), std::string::npos) << text;
}

TEST_F(ConnectTest, DisconnectInTransactionIsRefusedAndKeepsConnection)
{
    ASSERT_EQ(DriverConnect("DSN=qx;UID=demo;PWD=demo"), SQL_SUCCESS) << Diag();
    conn->state = RC_CONN_TRANSACTION;
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_ERROR);
    EXPECT_EQ(Diag(), "25000");
    EXPECT_NE(conn->session, nullptr);
    conn->state = RC_CONN_CONNECTED;
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
}

TEST_F(ConnectTest, BrowseAnswersNeedDataThenConnects)
{
    SQLCHAR out[256];
    SQLSMALLINT length = 0;
    EXPECT_EQ(SQLBrowseConnectImpl(conn, reinterpret_cast<const SQLCHAR *>("UID=demo"), SQL_NTS,
                                   out, sizeof out, &length),
              SQL_NEED_DATA);
    std::string answer = reinterpret_cast<char *>(out);
    // The data module requires a password; no database is named yet.
    EXPECT_EQ(answer.rfind("DSN=?;DRIVER=?;PWD=?;DBQ=?;*CODEPAGE=?;*QryPlan=?;", 0), 0u) << answer;
    EXPECT_EQ(conn->state, RC_CONN_BROWSING);
    // The data source names the database: only the password is missing.
    EXPECT_EQ(SQLBrowseConnectImpl(conn, reinterpret_cast<const SQLCHAR *>("DSN=qx"), SQL_NTS, out,
                                   sizeof out, &length),
              SQL_NEED_DATA);
    answer = reinterpret_cast<char *>(out);
    EXPECT_EQ(answer.rfind("PWD=?;*DBQ=?;", 0), 0u) << answer;
    EXPECT_EQ(SQLBrowseConnectImpl(conn, reinterpret_cast<const SQLCHAR *>("PWD=demo"), SQL_NTS,
                                   out, sizeof out, &length),
              SQL_SUCCESS)
        << Diag();
    EXPECT_EQ(conn->state, RC_CONN_CONNECTED);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out)).rfind("DSN=qx;UID=demo;PWD=demo;", 0), 0u);
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
}

TEST_F(ConnectTest, BrowseRefusedByTheServerStartsOverWithNewValues)
{
    SQLCHAR out[256];
    SQLSMALLINT length = 0;
    auto browse = [&](const char *in) {
        return SQLBrowseConnectImpl(conn, reinterpret_cast<const SQLCHAR *>(in), SQL_NTS, out,
                                    sizeof out, &length);
    };
    EXPECT_EQ(browse("DSN=qx;UID=demo"), SQL_NEED_DATA);
    EXPECT_EQ(browse("PWD=wrong"), SQL_ERROR);
    SQLINTEGER native = 0;
    EXPECT_EQ(Diag(&native), "08001");
    EXPECT_EQ(native, -1905);
    // A refused connect leaves nothing behind: the refused password is gone.
    EXPECT_EQ(conn->state, RC_CONN_ALLOCATED);
    EXPECT_FALSE(conn->attrs[RC_ATTR_PWD].set);
    EXPECT_EQ(browse("DSN=qx;UID=demo;PWD=demo"), SQL_SUCCESS) << Diag();
    EXPECT_EQ(conn->state, RC_CONN_CONNECTED);
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
}

class PromptTest : public ConnFixture {
protected:
    void SetUp() override
    {
        ConnFixture::SetUp();
        PlatDialogSetProvider(&script);
    }
    void TearDown() override
    {
        PlatDialogSetProvider(nullptr);
        ConnFixture::TearDown();
    }
    PlatScriptedDialog script;
};

TEST_F(PromptTest, WrongUserShowsErrorClearsItAndAsksAgain)
{
    script.answers = {{PLAT_DIALOG_OK, {"nobody", "demo"}}, {PLAT_DIALOG_OK, {"demo", "demo"}}};
    ASSERT_EQ(DriverConnect("DSN=qx", SQL_DRIVER_COMPLETE), SQL_SUCCESS) << Diag();
    ASSERT_EQ(script.titles.size(), 2u);
    EXPECT_EQ(script.shown[1][0].value, ""); // the user id was cleared
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0], "Logon Error: Invalid user id specified.");
    EXPECT_STREQ(conn->attrs[RC_ATTR_UID].value, "demo");
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
}

TEST_F(PromptTest, CancelEndsWithNoDataAndNoSession)
{
    script.answers = {{PLAT_DIALOG_CANCEL, {}}};
    EXPECT_EQ(DriverConnect("DSN=qx", SQL_DRIVER_COMPLETE), SQL_NO_DATA);
    EXPECT_EQ(conn->session, nullptr);
    EXPECT_EQ(conn->state, RC_CONN_ALLOCATED);
}

TEST_F(PromptTest, NoUiAnswersAsCancel)
{
    PlatDialogSetProvider(nullptr);
    {
        qxtest::ScopedEnv noDialog("QX_DIALOG", "none");
        EXPECT_EQ(DriverConnect("DSN=qx", SQL_DRIVER_PROMPT), SQL_NO_DATA);
    }
    EXPECT_EQ(conn->session, nullptr);
}

TEST_F(PromptTest, OverlongAnswersAreCutToTheFieldLimits)
{
    server.password = std::string(31, 'p');
    script.answers = {{PLAT_DIALOG_OK, {"demo", std::string(40, 'p')}}};
    ASSERT_EQ(DriverConnect("DSN=qx", SQL_DRIVER_PROMPT), SQL_SUCCESS) << Diag();
    EXPECT_EQ(std::string(conn->attrs[RC_ATTR_PWD].value), std::string(31, 'p'));
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
}

TEST_F(ConnectTest, PromptingModesReportOverlongValuesAs5147)
{
    EXPECT_EQ(DriverConnect("DSN=qx;UID=demo;PWD=" + std::string(32, 'p'), SQL_DRIVER_COMPLETE),
              SQL_ERROR);
    EXPECT_EQ(Diag(), "S1090");
}

TEST_F(ConnectTest, OptionsBeforeConnectAreKeptAndReplayed)
{
    // The login time-out is kept for the connect (it bounds it as a whole).
    EXPECT_EQ(SQLSetConnectOptionImpl(conn, SQL_LOGIN_TIMEOUT, 5), SQL_SUCCESS);
    char qualifier[32] = "TCP/IP:127.0.0.1";
    EXPECT_EQ(SQLSetConnectOptionImpl(conn, SQL_CURRENT_QUALIFIER,
                                      reinterpret_cast<uintptr_t>(qualifier)),
              SQL_SUCCESS);
    std::memset(qualifier, 'x', sizeof qualifier - 1); // the driver kept a copy
    EXPECT_EQ(SQLSetConnectOptionImpl(conn, SQL_AUTOCOMMIT, 0), SQL_SUCCESS);
    ASSERT_EQ(DriverConnect("UID=demo;PWD=demo;DBQ=TCP/IP:127.0.0.1"), SQL_SUCCESS) << Diag();
    EXPECT_EQ(conn->autoCommit, 0u);
    EXPECT_EQ(conn->txnState, 0); // manual mode
    char value[300] = {};
    EXPECT_EQ(SQLGetConnectOptionImpl(conn, SQL_CURRENT_QUALIFIER, value), SQL_SUCCESS);
    EXPECT_STREQ(value, "TCP/IP:127.0.0.1");
    uint32_t timeout = 0;
    EXPECT_EQ(SQLGetConnectOptionImpl(conn, SQL_LOGIN_TIMEOUT, &timeout), SQL_SUCCESS);
    EXPECT_EQ(timeout, 5u);
    EXPECT_EQ(SQLSetConnectOptionImpl(conn, SQL_LOGIN_TIMEOUT, 7), SQL_SUCCESS)
        << "for a later connect";
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
}

TEST_F(ConnectTest, CommitAndRollbackReachTheServerInManualMode)
{
    ASSERT_EQ(DriverConnect("DSN=qx;UID=demo;PWD=demo"), SQL_SUCCESS) << Diag();
    ASSERT_EQ(SQLSetConnectOptionImpl(conn, SQL_AUTOCOMMIT, 0), SQL_SUCCESS) << Diag();
    int pass = 0;
    ASSERT_EQ(rcTxnStmtEvent(conn, 2, &pass), 0); // an INSERT begins a transaction
    server.calls.clear();
    EXPECT_EQ(SQLTransactImpl(nullptr, conn, SQL_COMMIT), SQL_SUCCESS);
    ASSERT_EQ(server.calls.size(), 1u);
    EXPECT_EQ(server.calls[0].rfind("Commit", 0), 0u);
    ASSERT_EQ(rcTxnStmtEvent(conn, 3, &pass), 0);
    server.calls.clear();
    EXPECT_EQ(SQLTransactImpl(nullptr, conn, SQL_ROLLBACK), SQL_SUCCESS);
    ASSERT_EQ(server.calls.size(), 1u);
    EXPECT_EQ(server.calls[0].rfind("RollBack", 0), 0u);
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
}

TEST_F(ConnectTest, AutoCommitOffEndsTheTransactionAStatementOpened)
{
    ASSERT_EQ(DriverConnect("DSN=qx;UID=demo;PWD=demo"), SQL_SUCCESS) << Diag();
    rcTxnSetFlag(SQL_TXN_READ_COMMITTED); // transactions in use
    int pass = 0;
    ASSERT_EQ(rcTxnStmtEvent(conn, 2, &pass), 0); // under auto-commit an INSERT begins one
    ASSERT_EQ(rcTxnStateRef(conn), 1u);
    server.calls.clear();
    ASSERT_EQ(SQLSetConnectOptionImpl(conn, SQL_AUTOCOMMIT, 0), SQL_SUCCESS) << Diag();
    ASSERT_FALSE(server.calls.empty());
    EXPECT_EQ(server.calls[0].rfind("Commit", 0), 0u);
    EXPECT_EQ(rcTxnStateRef(conn), 0u);
    // Manual mode: the next statement begins a transaction of its own, and
    // only SQLTransact ends it.
    ASSERT_EQ(rcTxnStmtEvent(conn, 2, &pass), 0);
    server.calls.clear();
    EXPECT_EQ(SQLTransactImpl(nullptr, conn, SQL_COMMIT), SQL_SUCCESS);
    ASSERT_EQ(server.calls.size(), 1u);
    EXPECT_EQ(server.calls[0].rfind("Commit", 0), 0u);
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
    rcTxnSetFlag(0);
}

TEST_F(ConnectTest, EngineOptionsComeFromStringAndDataSource)
{
    WriteIni("QryPlan=false\nNoIndexes=0\nMaxColSupport=0x400\nSafeOpt=False\n");
    ASSERT_EQ(DriverConnect("DSN=qx;UID=demo;PWD=demo;NoJoinOpt=1"), SQL_SUCCESS) << Diag();
    EXPECT_EQ(conn->options.mask, uint32_t{RC_OPT_QRYPLAN | RC_OPT_NOJOINOPT});
    EXPECT_EQ(conn->qryPlan, 1u);
    EXPECT_EQ(conn->maxColSupport, 1024);
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
}

TEST_F(ConnectTest, SupportedFunctionsStayInsideTheTable)
{
    const struct {
        SQLUSMALLINT id;
        SQLUSMALLINT expected;
    } cases[] = {{SQL_API_SQLEXTENDEDFETCH, 0},
                 {SQL_API_SQLBINDPARAMETER, 1},
                 {SQL_API_SQLSETPARAM, 0},
                 {SQL_API_SQLPARAMOPTIONS, 1},
                 {SQL_API_SQLCONNECT, 1},
                 {99, 0},
                 {100, 0},
                 {999, 0},
                 {65535, 0}};
    for (const auto &c : cases) {
        SQLUSMALLINT exists = 7;
        EXPECT_EQ(SQLGetFunctionsImpl(conn, c.id, &exists), SQL_SUCCESS);
        EXPECT_EQ(exists, c.expected) << c.id;
    }
    SQLUSMALLINT all[100];
    EXPECT_EQ(SQLGetFunctionsImpl(conn, SQL_API_ALL_FUNCTIONS, all), SQL_SUCCESS);
    EXPECT_EQ(all[SQL_API_SQLDRIVERCONNECT], 1);
    EXPECT_EQ(all[SQL_API_SQLSETPOS], 0);
}

TEST_F(ConnectTest, OdbcTraceHoldsCallAndReturnLinesWithoutPassword)
{
    WriteIni("OdbcTrace=1\nTraceOutput=" + dir + "/trace.log\nTraceAppend=0\n");
    ASSERT_EQ(SQLConnectImpl(conn, reinterpret_cast<const SQLCHAR *>("qx"), SQL_NTS,
                             reinterpret_cast<const SQLCHAR *>("demo"), SQL_NTS,
                             reinterpret_cast<const SQLCHAR *>("demo"), SQL_NTS),
              SQL_SUCCESS)
        << Diag();
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
    std::string log = qxtest::ReadFile(dir + "/trace.log");
    EXPECT_NE(log.find("SQLConnect(0x"), std::string::npos) << log;
    EXPECT_NE(log.find("\"demo\", -3, \"****\", -3)"), std::string::npos) << log;
    EXPECT_NE(log.find("SQLConnect returned 0."), std::string::npos) << log;
    EXPECT_NE(log.find("SQLDisconnect returned 0."), std::string::npos) << log;
}

TEST_F(ConnectTest, OdbcTraceMasksTheWholePasswordHoweverWritten)
{
    WriteIni("OdbcTrace=1\nTraceOutput=" + dir + "/trace.log\nTraceAppend=0\n");
    // An unclosed brace is refused, and its whole tail masked.
    EXPECT_EQ(DriverConnect("DSN=qx;UID=demo;PWD={S3cret;PwTail"), SQL_ERROR);
    EXPECT_EQ(Diag(), "08004");
    server.password = "a}b;c";
    ASSERT_EQ(DriverConnect("DSN=qx;UID=demo;PWD={a}}b;c}"), SQL_SUCCESS) << Diag();
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
    std::ifstream in(dir + "/trace.log");
    std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(log.find("SQLDriverConnect(0x"), std::string::npos) << log;
    for (const char *secret : {"S3cret", "PwTail", "a}}b", "b;c"})
        EXPECT_EQ(log.find(secret), std::string::npos) << secret << "\n" << log;
    EXPECT_NE(log.find("PWD=****"), std::string::npos) << log;
}

} // namespace

namespace {

using GetInfoTest = ConnFixture;

TEST_F(GetInfoTest, AnswersAreCopiedByKindWithTheirLimits)
{
    ASSERT_EQ(DriverConnect("DSN=qx;UID=demo;PWD=demo"), SQL_SUCCESS) << Diag();
    char text[64] = {};
    SQLSMALLINT length = 0;
    EXPECT_EQ(SQLGetInfoImpl(conn, SQL_DRIVER_ODBC_VER, text, 4, &length), SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(text, "02.");
    EXPECT_EQ(length, 5); // the full length of "02.00", not the cut one
    EXPECT_EQ(Diag(), "01004");
    EXPECT_EQ(Diag(), "");
    EXPECT_EQ(SQLGetInfoImpl(conn, SQL_DRIVER_VER, text, sizeof text, &length), SQL_SUCCESS);
    EXPECT_STREQ(text, "06.7.0000");
    EXPECT_EQ(SQLGetInfoImpl(conn, SQL_DATA_SOURCE_NAME, text, sizeof text, &length), SQL_SUCCESS);
    EXPECT_STREQ(text, "qx");
    uint16_t small = 0;
    EXPECT_EQ(SQLGetInfoImpl(conn, SQL_TXN_CAPABLE, &small, 1, &length), SQL_ERROR);
    EXPECT_EQ(Diag(), "22003");
    EXPECT_EQ(SQLGetInfoImpl(conn, SQL_TXN_CAPABLE, &small, 2, &length), SQL_SUCCESS);
    EXPECT_EQ(small, 4); // DDL ignored inside a transaction
    EXPECT_EQ(length, 2);
    EXPECT_EQ(SQLGetInfoImpl(conn, SQL_IDENTIFIER_CASE, &small, 2, &length), SQL_SUCCESS);
    EXPECT_EQ(small, 4); // no case-sensitive names
    uint32_t mask = 0;
    EXPECT_EQ(SQLGetInfoImpl(conn, SQL_CONVERT_CHAR, &mask, 4, &length), SQL_SUCCESS);
    EXPECT_EQ(mask & ~uint32_t{242685}, 0u);
    EXPECT_NE(mask & SQL_CVT_CHAR, 0u);
    for (int type : {SQL_DRIVER_HDBC, 76, 500}) {
        EXPECT_EQ(SQLGetInfoImpl(conn, static_cast<SQLUSMALLINT>(type), &mask, 4, &length),
                  SQL_ERROR)
            << type;
        EXPECT_EQ(Diag(), "S1C00");
    }
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
}

// Whether a conversion between two SQL types is possible, from the SQL_CONVERT_*
// answer of the source type (the mask already filtered by the data source's types).
TEST_F(GetInfoTest, CanConvertReadsTheSourceTypesConvertMask)
{
    ASSERT_EQ(DriverConnect("DSN=qx;UID=demo;PWD=demo"), SQL_SUCCESS) << Diag();
    struct Case {
        int16_t from, to;
        SQLUSMALLINT info;
        uint32_t bit;
    } cases[] = {{SQL_CHAR, SQL_NUMERIC, SQL_CONVERT_CHAR, SQL_CVT_NUMERIC},
                 {SQL_DECIMAL, SQL_NUMERIC, SQL_CONVERT_DECIMAL, SQL_CVT_NUMERIC},
                 {SQL_CHAR, SQL_CHAR, SQL_CONVERT_CHAR, SQL_CVT_CHAR},
                 {SQL_INTEGER, SQL_VARCHAR, SQL_CONVERT_INTEGER, SQL_CVT_VARCHAR},
                 {SQL_BIT, SQL_LONGVARBINARY, SQL_CONVERT_BIT, SQL_CVT_LONGVARBINARY},
                 {SQL_TIMESTAMP, SQL_DATE, SQL_CONVERT_TIMESTAMP, SQL_CVT_DATE}};
    for (const Case &c : cases) {
        uint32_t mask = 0;
        SQLSMALLINT length = 0;
        ASSERT_EQ(SQLGetInfoImpl(conn, c.info, &mask, 4, &length), SQL_SUCCESS);
        EXPECT_EQ(rcInfCanConvert(conn, c.from, c.to), (mask & c.bit) ? 1 : 0)
            << c.from << " " << c.to;
    }
    EXPECT_EQ(rcInfCanConvert(conn, SQL_CHAR, SQL_NUMERIC), 0); // NUMERIC is not in CHAR's mask
    EXPECT_EQ(rcInfCanConvert(conn, SQL_CHAR, SQL_CHAR), 1);
    EXPECT_EQ(rcInfCanConvert(conn, 99, SQL_CHAR), 0); // unknown source type
    EXPECT_EQ(rcInfCanConvert(conn, SQL_CHAR, 99), 0); // unknown target type
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
}

// A data-module code whose message id has no text (-1029 maps to 11018):
// the record keeps the code, with an empty SQLSTATE and only the prefixes
// as its text. A code the map does not hold is the general error.
TEST_F(GetInfoTest, DataModuleCodesWithoutTextHaveNoState)
{
    rcErrPostConnDrm(conn, -1029);
    SQLINTEGER native = 0;
    std::string text;
    EXPECT_EQ(Diag(&native, &text), "");
    EXPECT_EQ(native, -1029);
    EXPECT_EQ(text, "[Zorvi][Zorvi ODBC Driver][Tabula File Library]");
    rcErrPostConnDrm(conn, -1100);
    EXPECT_EQ(Diag(&native, &text), "S1000");
    EXPECT_EQ(native, -1100);
}

} // namespace

namespace {

// A provider that cannot show anything.
class BrokenDialog : public PlatScriptedDialog {
public:
    int Run(const std::string &, std::vector<PlatDialogField> &, size_t) override
    {
        return PLAT_DIALOG_FAILED;
    }
};

TEST_F(ConnectTest, DialogThatCannotShowFailsWithARecord)
{
    BrokenDialog broken;
    PlatDialogSetProvider(&broken);
    EXPECT_EQ(DriverConnect("DSN=qx", SQL_DRIVER_PROMPT), SQL_ERROR);
    PlatDialogSetProvider(nullptr);
    EXPECT_EQ(Diag(), "S1000");
    EXPECT_EQ(conn->session, nullptr);
}

} // namespace
