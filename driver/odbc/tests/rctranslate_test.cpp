// The translation library: loading, both directions, failures and clamping.
#include "driver/odbc/tests/conn_fixture.h"

#include "driver/engine/tam.h"
#include "driver/odbc/rcoption.h"
#include "driver/odbc/rctranslate.h"

#include <cstring>
#include <string>

namespace {

using TranslateTest = ConnFixture;

TEST_F(TranslateTest, WithoutLibraryValuesPassUnchanged)
{
    char out[16];
    int64_t length = 0;
    EXPECT_TRUE(
        rcXlateToDataSource(conn, nullptr, SQL_CHAR, "abc", SQL_NTS, out, sizeof out, &length));
    EXPECT_STREQ(out, "abc");
    EXPECT_EQ(length, 4); // text and terminator
    int32_t number = 0x01020304;
    int32_t copy = 0;
    EXPECT_TRUE(
        rcXlateToDataSource(conn, nullptr, SQL_INTEGER, &number, 99, &copy, sizeof copy, &length));
    EXPECT_EQ(copy, number);
    EXPECT_EQ(length, 4);
}

TEST_F(TranslateTest, LoadedLibraryWorksInBothDirections)
{
    ASSERT_EQ(rcXlateLoad(conn, QX_XLATE_TEST_LIB), 0);
    char out[10];
    int64_t length = 0;
    // A CHAR output of 10 bytes is offered 9 and terminated.
    EXPECT_TRUE(
        rcXlateToDataSource(conn, nullptr, SQL_CHAR, "abcdefghijkl", 12, out, sizeof out, &length));
    EXPECT_EQ(length, 9);
    EXPECT_STREQ(out, "ABCDEFGHI");
    char buffer[16] = "MiXeD";
    char error[256];
    EXPECT_TRUE(rcXlateToDriver(conn, SQL_CHAR, buffer, 5, sizeof buffer, error));
    EXPECT_STREQ(buffer, "mixed");
    rcXlateUnload(conn);
}

TEST_F(TranslateTest, LengthsFromTheLibraryAreClampedToTheBuffer)
{
    ASSERT_EQ(rcXlateLoad(conn, QX_XLATE_TEST_LIB), 0);
    conn->xlate.option = 99; // the library reports 1000000 bytes
    char out[8];
    int64_t length = 0;
    EXPECT_TRUE(
        rcXlateToDataSource(conn, nullptr, SQL_VARCHAR, "abc", 3, out, sizeof out, &length));
    EXPECT_LE(length, 7);
    char buffer[8] = "ABC";
    char error[256];
    EXPECT_TRUE(rcXlateToDriver(conn, SQL_CHAR, buffer, 3, sizeof buffer, error));
    EXPECT_EQ(buffer[7], '\0');
    rcXlateUnload(conn);
}

TEST_F(TranslateTest, FailedTranslationPostsTheLibraryText)
{
    ASSERT_EQ(rcXlateLoad(conn, QX_XLATE_TEST_LIB), 0);
    conn->xlate.option = 13;
    char out[8];
    EXPECT_FALSE(rcXlateToDataSource(conn, nullptr, SQL_CHAR, "abc", 3, out, sizeof out, nullptr));
    std::string text;
    EXPECT_EQ(Diag(nullptr, &text), "IM009");
    EXPECT_NE(text.find("refused by the test library"), std::string::npos) << text;
    rcXlateUnload(conn);
}

// A character parameter on its way to the data source goes through the
// library in place; other types, empty values and no library leave it alone.
TEST_F(TranslateTest, ParameterValuesAreTranslatedInPlace)
{
    ASSERT_EQ(DriverConnect("DSN=qx;UID=demo;PWD=demo"), SQL_SUCCESS) << Diag();
    TamSession *session = conn->session;
    char value[16] = "abc";
    EXPECT_EQ(TamConvertParam(session, nullptr, SQL_CHAR, value, 3, sizeof value), 0);
    EXPECT_STREQ(value, "abc"); // no library
    ASSERT_EQ(rcXlateLoad(conn, QX_XLATE_TEST_LIB), 0);
    // A connection gives its session no translator after the login (the
    // library works at the application boundary); the table-access layer's
    // own translation is tested with one handed to it.
    EXPECT_EQ(session->link.translator, nullptr);
    session->link.translator = &conn->xlate;
    for (int16_t type : {SQL_CHAR, SQL_VARCHAR, SQL_LONGVARCHAR}) {
        std::strcpy(value, "abc");
        EXPECT_EQ(TamConvertParam(session, nullptr, type, value, 3, sizeof value), 0) << type;
        EXPECT_STREQ(value, "ABC") << type;
    }
    std::strcpy(value, "abc");
    EXPECT_EQ(TamConvertParam(session, nullptr, SQL_INTEGER, value, 3, sizeof value), 0);
    EXPECT_EQ(TamConvertParam(session, nullptr, SQL_CHAR, value, 0, sizeof value), 0);
    EXPECT_STREQ(value, "abc");
    EXPECT_EQ(Diag(), "");

    conn->xlate.option = 13; // the library refuses
    EXPECT_EQ(TamConvertParam(session, nullptr, SQL_CHAR, value, 3, sizeof value), -1);
    bool translationError = false;
    SQLINTEGER native = 0;
    for (std::string state = Diag(&native); !state.empty(); state = Diag(&native))
        translationError = translationError || native == -5019;
    EXPECT_TRUE(translationError) << "no record with native error -5019";
    rcXlateUnload(conn);
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
}

TEST_F(TranslateTest, LibraryWithoutBothFunctionsIsRefusedAndKeepsThePrevious)
{
    ASSERT_EQ(rcXlateLoad(conn, QX_XLATE_TEST_LIB), 0);
    EXPECT_EQ(rcXlateLoad(conn, QX_XLATE_BROKEN_LIB), -1);
    EXPECT_EQ(Diag(), "IM009");
    EXPECT_STREQ(conn->xlateName, QX_XLATE_TEST_LIB);
    EXPECT_EQ(rcXlateLoad(conn, ""), 0); // an empty name unloads
    EXPECT_EQ(conn->xlateModule, nullptr);
    EXPECT_EQ(rcXlateLoad(conn, nullptr), -1);
    EXPECT_EQ(Diag(), "S1009");
    EXPECT_EQ(rcXlateLoad(conn, std::string(256, 'x').c_str()), -1);
    EXPECT_EQ(Diag(), "IM009");
}

TEST_F(TranslateTest, DataSourceLibraryIsLoadedAfterConnectKeepingWarnings)
{
    WriteIni(std::string("TranslationDLL=") + QX_XLATE_TEST_LIB + "\nTranslationOption=5\n");
    ASSERT_EQ(DriverConnect("DSN=qx;UID=demo;PWD=demo;Foo=1"), SQL_SUCCESS_WITH_INFO) << Diag();
    // The warning of the unknown keyword survived loading the library.
    EXPECT_EQ(Diag(), "01S00");
    EXPECT_NE(conn->xlateModule, nullptr);
    EXPECT_EQ(conn->xlate.option, 5u);
    char name[300] = {};
    EXPECT_EQ(SQLGetConnectOptionImpl(conn, SQL_TRANSLATE_DLL, name), SQL_SUCCESS);
    EXPECT_STREQ(name, QX_XLATE_TEST_LIB);
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
    EXPECT_EQ(conn->xlateModule, nullptr); // unloaded at disconnect
}

TEST_F(TranslateTest, LibrarySetBeforeConnectTranslatesTheLogin)
{
    // The server's account is upper case: the login reaches it translated.
    server.user = "DEMO";
    server.password = "DEMO";
    std::string lib = QX_XLATE_TEST_LIB;
    ASSERT_EQ(
        SQLSetConnectOptionImpl(conn, SQL_TRANSLATE_DLL, reinterpret_cast<uintptr_t>(lib.c_str())),
        SQL_SUCCESS)
        << Diag();
    lib.assign(lib.size(), 'x'); // the driver copied the name
    ASSERT_EQ(DriverConnect("DSN=qx;UID=demo;PWD=demo"), SQL_SUCCESS) << Diag();
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
}

TEST_F(TranslateTest, BrokenDataSourceLibraryFailsTheConnect)
{
    WriteIni(std::string("TranslationDLL=") + QX_XLATE_BROKEN_LIB + "\n");
    EXPECT_EQ(DriverConnect("DSN=qx;UID=demo;PWD=demo"), SQL_ERROR);
    EXPECT_EQ(Diag(), "IM009");
    EXPECT_EQ(conn->session, nullptr);
    EXPECT_EQ(conn->state, RC_CONN_ALLOCATED);
}

TEST_F(TranslateTest, DataSourceLibraryNameTooLongFailsTheConnect)
{
    // Never passed over as if the data source named no library.
    WriteIni("TranslationDLL=/" + std::string(300, 'x') + ".so\n");
    EXPECT_EQ(DriverConnect("DSN=qx;UID=demo;PWD=demo"), SQL_ERROR);
    EXPECT_EQ(Diag(), "IM009");
    EXPECT_EQ(conn->session, nullptr);
    EXPECT_EQ(conn->state, RC_CONN_ALLOCATED);
}

} // namespace
