// The connect road through the unixODBC Driver Manager against qxserver.
#include "tests/e2e_fixture.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>
#include <sys/stat.h>

namespace {

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
    EXPECT_EQ(SQLConnect(h.dbc, Text("demo"), SQL_NTS, Text(c.uid), SQL_NTS, Text(c.pwd), SQL_NTS),
              SQL_ERROR);
    SQLINTEGER native = 0;
    std::string text;
    EXPECT_EQ(h.Diag(&native, &text), c.state) << text;
    EXPECT_EQ(native, c.native) << text;
    EXPECT_NE(server.Pid(), -1);
    EXPECT_NE(ReadFile("server.log").find("login"), std::string::npos);
}

std::string LoginName(const ::testing::TestParamInfo<LoginCase> &info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Cases, LoginFailTest,
    ::testing::Values(LoginCase{"WrongPasswordOdbc2", SQL_OV_ODBC2, "demo", "nope", "08001", -1905},
                      LoginCase{"WrongPasswordOdbc3", SQL_OV_ODBC3, "demo", "nope", "08001", -1905},
                      LoginCase{"UnknownUserOdbc2", SQL_OV_ODBC2, "ghost", "demo", "08001", -1903},
                      LoginCase{"UnknownUserOdbc3", SQL_OV_ODBC3, "ghost", "demo", "08001", -1903}),
    LoginName);

TEST_F(E2eFixture, UnknownServerSaysNoServerAtThatAddress)
{
    for (SQLINTEGER version : {SQL_OV_ODBC2, SQL_OV_ODBC3}) {
        OdbcHandles h(version);
        std::string in = "DRIVER={QX};DBQ=TCP/IP:127.0.0.1:1;UID=demo;PWD=demo";
        SQLCHAR out[512];
        SQLSMALLINT length = 0;
        EXPECT_EQ(SQLDriverConnect(h.dbc, nullptr, Text(in.c_str()), SQL_NTS, out, sizeof out,
                                   &length, SQL_DRIVER_NOPROMPT),
                  SQL_ERROR);
        SQLINTEGER native = 0;
        std::string text;
        EXPECT_EQ(h.Diag(&native, &text), "08001") << text;
        EXPECT_EQ(native, -1950) << text;
        EXPECT_NE(text.find("No server at that address."), std::string::npos) << text;
    }
}

TEST_F(E2eFixture, TraceFileHoldsCallAndReturnLinesWithoutPassword)
{
    OdbcHandles h(SQL_OV_ODBC3);
    SQLConnect(h.dbc, Text("demo"), SQL_NTS, Text("demo"), SQL_NTS, Text("secret"), SQL_NTS);
    std::string trace = ReadFile("trace.log");
    EXPECT_NE(trace.find("SQLConnect(0x"), std::string::npos) << trace;
    struct stat st {};
    ASSERT_EQ(::stat((dir + "/trace.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the trace is the owner's alone";
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
    SQLRETURN rc =
        SQLBrowseConnect(h.dbc, Text("DSN=demo;UID=demo"), SQL_NTS, out, sizeof out, &length);
    std::string text;
    EXPECT_EQ(rc, SQL_NEED_DATA) << h.Diag(nullptr, &text) << text;
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out)).rfind("PWD=?;", 0), 0u) << out;
    rc = SQLBrowseConnect(h.dbc, Text("PWD=demo"), SQL_NTS, out, sizeof out, &length);
    EXPECT_EQ(rc, SQL_SUCCESS) << h.Diag(nullptr, &text) << text;
    EXPECT_EQ(
        std::string(reinterpret_cast<char *>(out)).rfind("DSN=demo;UID=demo;PWD=demo;DBQ=", 0), 0u)
        << out;
    EXPECT_EQ(SQLDisconnect(h.dbc), SQL_SUCCESS);
}

TEST_F(E2eFixture, BrowseRefusedByTheServerCanStartAgain)
{
    OdbcHandles h(SQL_OV_ODBC2);
    SQLCHAR out[512] = {};
    SQLSMALLINT length = 0;
    EXPECT_EQ(SQLBrowseConnect(h.dbc, Text("DSN=demo;UID=demo"), SQL_NTS, out, sizeof out, &length),
              SQL_NEED_DATA);
    EXPECT_EQ(SQLBrowseConnect(h.dbc, Text("PWD=wrong"), SQL_NTS, out, sizeof out, &length),
              SQL_ERROR);
    SQLINTEGER native = 0;
    std::string text;
    EXPECT_EQ(h.Diag(&native, &text), "08001") << text;
    EXPECT_EQ(native, -1905);
    SQLRETURN rc = SQLBrowseConnect(h.dbc, Text("DSN=demo;UID=demo;PWD=demo"), SQL_NTS, out,
                                    sizeof out, &length);
    EXPECT_EQ(rc, SQL_SUCCESS) << h.Diag(nullptr, &text) << text;
    EXPECT_EQ(SQLDisconnect(h.dbc), SQL_SUCCESS);
}

TEST_F(E2eFixture, ConnectByDsnCommitAndRollbackReachTheServer)
{
    OdbcHandles h(SQL_OV_ODBC3);
    SQLRETURN rc =
        SQLConnect(h.dbc, Text("demo"), SQL_NTS, Text("demo"), SQL_NTS, Text("demo"), SQL_NTS);
    std::string text;
    ASSERT_TRUE(SQL_SUCCEEDED(rc)) << h.Diag(nullptr, &text) << text;
    std::string state = h.Diag(nullptr, &text);
    EXPECT_TRUE(state.empty() || state == "01000") << state << " " << text;
    EXPECT_EQ(SQLSetConnectAttr(h.dbc, SQL_ATTR_AUTOCOMMIT,
                                reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
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
    SQLRETURN rc =
        SQLConnect(h.dbc, Text("demo"), SQL_NTS, Text("demo"), SQL_NTS, Text("demo"), SQL_NTS);
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

// Many threads on one environment, as pyodbc uses the driver: each allocates
// connections, connects, disconnects and frees them again. The thread tests
// also run under ThreadSanitizer (scripts/tsan).
TEST_F(E2eFixture, ThreadsConnectOnOneEnvironment)
{
    constexpr int kThreads = 16;
    constexpr int kRounds = 6;
    SQLHENV env = SQL_NULL_HENV;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    std::string in = "DRIVER={QX};DBQ=" + Dbq() + ";UID=demo;PWD=demo";
    std::atomic<int> connected{0};
    std::vector<std::string> failures(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                SQLHDBC dbc = SQL_NULL_HDBC;
                if (SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc) != SQL_SUCCESS) {
                    failures[size_t(t)] = "no connection handle";
                    return;
                }
                SQLCHAR out[512];
                SQLSMALLINT length = 0;
                SQLRETURN rc = SQLDriverConnect(dbc, nullptr, Text(in.c_str()), SQL_NTS, out,
                                                sizeof out, &length, SQL_DRIVER_NOPROMPT);
                if (SQL_SUCCEEDED(rc)) {
                    ++connected;
                    SQLDisconnect(dbc);
                } else {
                    SQLCHAR state[6] = {}, message[512] = {};
                    SQLINTEGER native = 0;
                    SQLSMALLINT n = 0;
                    SQLError(SQL_NULL_HENV, dbc, SQL_NULL_HSTMT, state, &native, message,
                             sizeof message, &n);
                    failures[size_t(t)] = reinterpret_cast<char *>(message);
                }
                SQLFreeHandle(SQL_HANDLE_DBC, dbc);
            }
        });
    for (std::thread &th : threads)
        th.join();
    for (const std::string &f : failures)
        EXPECT_EQ(f, "");
    EXPECT_EQ(connected.load(), kThreads * kRounds);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
}

// Passwords holding the characters connection strings give a meaning: braced
// in SQLDriverConnect ("}}" for "}"), as they are in SQLConnect. The login
// record holds 31 characters; more is refused, never cut.
TEST_F(E2eFixture, PasswordsWithAnyCharacterConnectBraced)
{
    const std::vector<std::string> passwords = {
        "p[w]d", "{br}ace}",           "a;b", "x=y!@",
        "(),?*", std::string(31, 'x'), "}}",  " lead and trail ",
    };
    std::string users;
    for (size_t i = 0; i < passwords.size(); ++i) {
        std::string pw;
        for (char c : passwords[i])
            pw += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
        users += std::string(i ? "," : "") + "{\"name\":\"u" + std::to_string(i) +
                 "\",\"password\":\"" + pw + "\"}";
    }
    users += ",{\"name\":\"" + std::string(31, 'n') + "\",\"password\":\"pw\"}";
    qxtest::WriteFile(tempDir / "users.json", "{\"users\":[" + users + "],\"tables\":[]}");
    server.Stop();
    std::string error;
    ASSERT_TRUE(
        server.Start({"--fixture", dir + "/users.json", "--log", dir + "/server.log"}, &error))
        << error;
    WriteDsn("");

    auto driverConnect = [&](const std::string &in, std::string *state = nullptr,
                             std::string *text = nullptr) {
        OdbcHandles h(SQL_OV_ODBC3);
        SQLCHAR out[1024];
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLDriverConnect(h.dbc, nullptr, Text(in.c_str()), SQL_NTS, out, sizeof out,
                                        &length, SQL_DRIVER_NOPROMPT);
        if (state)
            *state = h.Diag(nullptr, text);
        if (SQL_SUCCEEDED(rc))
            SQLDisconnect(h.dbc);
        return rc;
    };
    for (size_t i = 0; i < passwords.size(); ++i) {
        SCOPED_TRACE(passwords[i]);
        std::string braced = "{";
        for (char c : passwords[i])
            braced += c == '}' ? "}}" : std::string(1, c);
        braced += "}";
        std::string user = "u" + std::to_string(i);
        std::string state, text;
        EXPECT_TRUE(
            SQL_SUCCEEDED(driverConnect("DSN=demo;UID=" + user + ";PWD=" + braced, &state, &text)))
            << state << " " << text;
        EXPECT_TRUE(SQL_SUCCEEDED(
            driverConnect("DRIVER={QX};DBQ=" + Dbq() + ";UID=" + user + ";PWD=" + braced)));
        OdbcHandles h(SQL_OV_ODBC3);
        EXPECT_TRUE(SQL_SUCCEEDED(SQLConnect(h.dbc, Text("demo"), SQL_NTS, Text(user.c_str()),
                                             SQL_NTS, Text(passwords[i].c_str()), SQL_NTS)));
        SQLDisconnect(h.dbc);
    }
    struct Refusal {
        std::string in, state, text;
    } refusals[] = {
        {"DSN=demo;UID=u0;PWD=p[w]d", "08004",
         "Key value must not contain"},                          // unbraced: today's rules
        {"DSN=demo;UID=u0;PWD={p[w]d", "08004", "Syntax error"}, // unclosed brace
        {"DSN=demo;UID=u5;PWD=" + std::string(32, 'x'), "28000", "Password too long"},
        {"DSN=demo;UID=" + std::string(31, 'n') + "XYZ;PWD=pw", "28000",
         "User name or password longer than 31 characters"}, // not cut to the 31
    };
    for (const Refusal &r : refusals) {
        SCOPED_TRACE(r.in);
        std::string state, text;
        EXPECT_EQ(driverConnect(r.in, &state, &text), SQL_ERROR);
        EXPECT_EQ(state, r.state) << text;
        EXPECT_NE(text.find(r.text), std::string::npos) << text;
    }
    EXPECT_TRUE(SQL_SUCCEEDED(driverConnect("DSN=demo;UID=" + std::string(31, 'n') + ";PWD=pw")));
}
