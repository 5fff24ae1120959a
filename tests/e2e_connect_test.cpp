// The connect road through the unixODBC Driver Manager against qxserver.
#include "tests/e2e_fixture.h"

#include <string>

namespace {

SQLCHAR *Text(const char *s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s)); }

struct LoginCase {
    const char *name;
    SQLINTEGER version;
    const char *uid;
    const char *pwd;
    const char *state;
    SQLINTEGER native;
};

class LoginFailTest : public E2eFixture, public ::testing::WithParamInterface<LoginCase> {};

TEST_P(LoginFailTest, ServerRefusalReachesSQLError)
{
    const LoginCase &c = GetParam();
    OdbcHandles h(c.version);
    EXPECT_EQ(SQLConnect(h.dbc, Text("demo"), SQL_NTS, Text(c.uid), SQL_NTS, Text(c.pwd), SQL_NTS), SQL_ERROR);
    SQLINTEGER native = 0;
    std::string text;
    EXPECT_EQ(h.Diag(&native, &text), c.state) << text;
    EXPECT_EQ(native, c.native) << text;
    EXPECT_NE(server.Pid(), -1);
    EXPECT_NE(ReadFile("server.log").find("login"), std::string::npos);
}

std::string LoginName(const ::testing::TestParamInfo<LoginCase> &info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Cases, LoginFailTest,
                         ::testing::Values(LoginCase{"WrongPasswordOdbc2", SQL_OV_ODBC2, "demo", "nope", "08001", -1905},
                                           LoginCase{"WrongPasswordOdbc3", SQL_OV_ODBC3, "demo", "nope", "08001", -1905},
                                           LoginCase{"UnknownUserOdbc2", SQL_OV_ODBC2, "ghost", "demo", "08001", -1903},
                                           LoginCase{"UnknownUserOdbc3", SQL_OV_ODBC3, "ghost", "demo", "08001", -1903}),
                         LoginName);

TEST_F(E2eFixture, UnknownServerGivesNoSuchDatabase)
{
    for (SQLINTEGER version : {SQL_OV_ODBC2, SQL_OV_ODBC3}) {
        OdbcHandles h(version);
        std::string in = "DRIVER={QX};DBQ=TCP/IP:127.0.0.1:1;UID=demo;PWD=demo";
        SQLCHAR out[512];
        SQLSMALLINT length = 0;
        EXPECT_EQ(SQLDriverConnect(h.dbc, nullptr, Text(in.c_str()), SQL_NTS, out, sizeof out, &length,
                                   SQL_DRIVER_NOPROMPT),
                  SQL_ERROR);
        SQLINTEGER native = 0;
        std::string text;
        EXPECT_EQ(h.Diag(&native, &text), "08004") << text;
        EXPECT_EQ(native, -1028) << text;
    }
}

TEST_F(E2eFixture, TraceFileHoldsCallAndReturnLinesWithoutPassword)
{
    OdbcHandles h(SQL_OV_ODBC3);
    SQLConnect(h.dbc, Text("demo"), SQL_NTS, Text("demo"), SQL_NTS, Text("secret"), SQL_NTS);
    std::string trace = ReadFile("trace.log");
    EXPECT_NE(trace.find("SQLConnect(0x"), std::string::npos) << trace;
    EXPECT_NE(trace.find("\"****\""), std::string::npos) << trace;
    EXPECT_EQ(trace.find("secret"), std::string::npos) << trace;
    EXPECT_NE(trace.find("SQLConnect returned -1."), std::string::npos) << trace;
}

TEST_F(E2eFixture, PromptWithoutUiAnswersAsCancel)
{
    OdbcHandles h(SQL_OV_ODBC3);
    SQLCHAR out[512];
    SQLSMALLINT length = 0;
    EXPECT_EQ(SQLDriverConnect(h.dbc, nullptr, Text("DSN=demo"), SQL_NTS, out, sizeof out, &length,
                               SQL_DRIVER_COMPLETE),
              SQL_NO_DATA);
}

TEST_F(E2eFixture, BrowseConnectAsksThenConnects)
{
    OdbcHandles h(SQL_OV_ODBC2);
    SQLCHAR out[512] = {};
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLBrowseConnect(h.dbc, Text("DSN=demo;UID=demo"), SQL_NTS, out, sizeof out, &length);
    std::string text;
    EXPECT_EQ(rc, SQL_NEED_DATA) << h.Diag(nullptr, &text) << text;
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out)).rfind("PWD=?;", 0), 0u) << out;
    rc = SQLBrowseConnect(h.dbc, Text("PWD=demo"), SQL_NTS, out, sizeof out, &length);
    EXPECT_EQ(rc, SQL_SUCCESS) << h.Diag(nullptr, &text) << text;
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out)).rfind("DSN=demo;UID=demo;PWD=demo;DBQ=", 0), 0u) << out;
    EXPECT_EQ(SQLDisconnect(h.dbc), SQL_SUCCESS);
}

TEST_F(E2eFixture, BrowseRefusedByTheServerCanStartAgain)
{
    OdbcHandles h(SQL_OV_ODBC2);
    SQLCHAR out[512] = {};
    SQLSMALLINT length = 0;
    EXPECT_EQ(SQLBrowseConnect(h.dbc, Text("DSN=demo;UID=demo"), SQL_NTS, out, sizeof out, &length), SQL_NEED_DATA);
    EXPECT_EQ(SQLBrowseConnect(h.dbc, Text("PWD=wrong"), SQL_NTS, out, sizeof out, &length), SQL_ERROR);
    SQLINTEGER native = 0;
    std::string text;
    EXPECT_EQ(h.Diag(&native, &text), "08001") << text;
    EXPECT_EQ(native, -1905);
    SQLRETURN rc = SQLBrowseConnect(h.dbc, Text("DSN=demo;UID=demo;PWD=demo"), SQL_NTS, out, sizeof out, &length);
    EXPECT_EQ(rc, SQL_SUCCESS) << h.Diag(nullptr, &text) << text;
    EXPECT_EQ(SQLDisconnect(h.dbc), SQL_SUCCESS);
}

TEST_F(E2eFixture, ConnectByDsnCommitAndRollbackReachTheServer)
{
    OdbcHandles h(SQL_OV_ODBC3);
    SQLRETURN rc = SQLConnect(h.dbc, Text("demo"), SQL_NTS, Text("demo"), SQL_NTS, Text("demo"), SQL_NTS);
    std::string text;
    ASSERT_TRUE(SQL_SUCCEEDED(rc)) << h.Diag(nullptr, &text) << text;
    std::string state = h.Diag(nullptr, &text);
    EXPECT_TRUE(state.empty() || state == "01000") << state << " " << text;
    EXPECT_EQ(SQLSetConnectAttr(h.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
              SQL_SUCCESS)
        << h.Diag();
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, h.dbc, SQL_COMMIT), SQL_SUCCESS) << h.Diag();
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, h.dbc, SQL_ROLLBACK), SQL_SUCCESS) << h.Diag();
    EXPECT_EQ(SQLDisconnect(h.dbc), SQL_SUCCESS);
}

TEST_F(E2eFixture, TranslationLibraryOfTheDataSourceIsLoaded)
{
    WriteDsn(std::string("TranslationDLL=") + QX_XLATE_TEST_LIB + "\n");
    OdbcHandles h(SQL_OV_ODBC2);
    SQLRETURN rc = SQLConnect(h.dbc, Text("demo"), SQL_NTS, Text("demo"), SQL_NTS, Text("demo"), SQL_NTS);
    std::string text;
    ASSERT_TRUE(SQL_SUCCEEDED(rc)) << h.Diag(nullptr, &text) << text;
    std::string state = h.Diag(nullptr, &text);
    EXPECT_TRUE(state.empty() || state == "01000") << state << " " << text;
    char name[256] = {};
    EXPECT_EQ(SQLGetConnectOption(h.dbc, SQL_TRANSLATE_DLL, name), SQL_SUCCESS);
    EXPECT_STREQ(name, QX_XLATE_TEST_LIB);
    EXPECT_EQ(SQLDisconnect(h.dbc), SQL_SUCCESS);
}

} // namespace
