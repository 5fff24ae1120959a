// The data-source dialog model, answered by the scripted provider: OK,
// Cancel, the overwrite question, renames, the test connection against
// qxserver and browsing by broadcast.
#include "dsnconfig/dsn_config.h"
#include "dsnconfig/dsn_dialog.h"
#include "dsnconfig/tests/ini_dir.h"
#include "tests/support/qxserver_process.h"

#include <gtest/gtest.h>
#include <odbcinst.h>

namespace {

std::string Attributes(const std::vector<std::string> &entries)
{
    std::string out;
    for (const std::string &e : entries)
        out += e + '\0';
    return out + '\0';
}

class DsnDialogTest : public ::testing::Test {
protected:
    void SetUp() override { PlatDialogSetProvider(&script); }
    void TearDown() override { PlatDialogSetProvider(nullptr); }

    int Configure(WORD request, const std::vector<std::string> &entries)
    {
        std::string list = Attributes(entries);
        return DsnConfigure(true, request, kTestDriver, list.c_str());
    }

    static DWORD FirstError()
    {
        DWORD code = 0;
        char text[512];
        WORD length = 0;
        SQLInstallerError(1, &code, text, sizeof text, &length);
        return code;
    }

    std::string Dbq() const { return "TCP/IP:127.0.0.1:" + std::to_string(server.Port()); }

    IniDir ini;
    PlatScriptedDialog script;
    QxServerProcess server;
};

TEST_F(DsnDialogTest, OkWritesTheFieldsCancelWritesNothing)
{
    script.answers = {{PLAT_DIALOG_OK, {"web", "Sales data", "TCP/IP:10.0.0.5"}}};
    EXPECT_EQ(Configure(ODBC_ADD_DSN, {}), DSN_TRUE);
    ASSERT_EQ(script.shown.size(), 1u);
    EXPECT_EQ(script.shown[0][DSN_FIELD_DESCRIPTION].value, "ODBC Driver for QX Server (32 bits)");
    auto user = ini.Parse("user.ini");
    EXPECT_EQ(user["web"]["Description"], "Sales data");
    EXPECT_EQ(user["web"]["DBQ"], "TCP/IP:10.0.0.5");

    // Configure shows what odbc.ini holds; Cancel changes nothing.
    script.answers = {{PLAT_DIALOG_CANCEL, {}}};
    EXPECT_EQ(Configure(ODBC_CONFIG_DSN, {"DSN=web"}), DSN_FALSE);
    EXPECT_EQ(FirstError(), DWORD(ODBC_ERROR_USER_CANCELED));
    EXPECT_EQ(script.shown[1][DSN_FIELD_NAME].value, "web");
    EXPECT_EQ(script.shown[1][DSN_FIELD_DESCRIPTION].value, "Sales data");
    EXPECT_EQ(script.shown[1][DSN_FIELD_PATH].value, "TCP/IP:10.0.0.5");
    EXPECT_EQ(ini.Parse("user.ini"), user);

    // OK without a name keeps the dialog open; the bad name is refused with its message.
    script.answers = {{PLAT_DIALOG_OK, {""}}, {PLAT_DIALOG_OK, {"9lives"}}};
    EXPECT_EQ(Configure(ODBC_ADD_DSN, {}), DSN_FALSE);
    EXPECT_EQ(script.shown.size(), 4u);
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_NE(script.messages[0].find("'9lives' cannot be used"), std::string::npos);
    EXPECT_EQ(ini.Parse("user.ini"), user);
}

TEST_F(DsnDialogTest, OverwriteIsAskedBeforeAnythingChanges)
{
    std::string before =
        "[web]\nDriver=" + std::string(kTestDriver) + "\nDBQ=TCP/IP:a\nOdbcTrace=1\n";
    ini.Write("user.ini", before);
    script.answers = {{PLAT_DIALOG_OK, {"web", "d", "TCP/IP:b"}}, {PLAT_DIALOG_CANCEL, {}}};
    EXPECT_EQ(Configure(ODBC_ADD_DSN, {}), DSN_FALSE);
    ASSERT_EQ(script.questions.size(), 1u);
    EXPECT_EQ(script.questions[0], ": Data source web already exists.\nOverwrite?");
    EXPECT_EQ(ini.Read("user.ini"), before);

    script.answers = {{PLAT_DIALOG_OK, {"web", "d", "TCP/IP:b"}}, {PLAT_DIALOG_OK, {}}};
    EXPECT_EQ(Configure(ODBC_ADD_DSN, {}), DSN_TRUE);
    auto user = ini.Parse("user.ini");
    EXPECT_EQ(user["web"]["DBQ"], "TCP/IP:b");
    EXPECT_EQ(user["web"]["OdbcTrace"], "1");
}

TEST_F(DsnDialogTest, RenameCarriesTheKeysAndNeverLandsOnAnExistingName)
{
    ini.Write("user.ini",
              "[old]\nDriver=" + std::string(kTestDriver) +
                  "\nDescription=o\nDBQ=TCP/IP:a\nEngineTrace=1\n[taken]\nDBQ=TCP/IP:t\n");
    auto before = ini.Parse("user.ini");
    script.answers = {{PLAT_DIALOG_OK, {"Taken"}}};
    EXPECT_EQ(Configure(ODBC_CONFIG_DSN, {"DSN=old"}), DSN_FALSE);
    EXPECT_EQ(FirstError(), DWORD(ODBC_ERROR_INVALID_NAME));
    EXPECT_EQ(ini.Parse("user.ini"), before);

    script.answers = {{PLAT_DIALOG_OK, {"new", "n"}}};
    EXPECT_EQ(Configure(ODBC_CONFIG_DSN, {"DSN=old"}), DSN_TRUE);
    auto user = ini.Parse("user.ini");
    EXPECT_FALSE(user.count("old"));
    EXPECT_EQ(user["new"]["EngineTrace"], "1");
    EXPECT_EQ(user["new"]["Description"], "n");
    EXPECT_EQ(user["new"]["DBQ"], "TCP/IP:a");
    EXPECT_EQ(user["taken"]["DBQ"], "TCP/IP:t");
}

TEST_F(DsnDialogTest, DefaultKeepsItsName)
{
    script.answers = {{PLAT_DIALOG_OK, {"other", "d", "TCP/IP:x"}}};
    EXPECT_EQ(Configure(ODBC_CONFIG_DSN, {"DSN=default"}), DSN_TRUE);
    EXPECT_FALSE(script.shown[0][DSN_FIELD_NAME].enabled);
    EXPECT_EQ(script.shown[0][DSN_FIELD_NAME].value, "");
    auto user = ini.Parse("user.ini");
    EXPECT_FALSE(user.count("other"));
    EXPECT_EQ(user["default"]["DBQ"], "TCP/IP:x");
}

TEST_F(DsnDialogTest, TestConnectionReportsTheServersAnswer)
{
    ASSERT_TRUE(server.Start({"--fixture", server.FixtureWithUsers({{"demo", "demo"}})}));
    script.answers = {
        {DSN_BUTTON_TEST, {"web", "", Dbq(), "demo", "demo"}},
        {DSN_BUTTON_TEST, {"web", "", Dbq(), "demo", "wrong"}},
        {DSN_BUTTON_TEST, {"web", "", "TCP/IP:" + std::string(90, 'h'), "demo", "demo"}},
        {PLAT_DIALOG_CANCEL, {}},
    };
    EXPECT_EQ(Configure(ODBC_ADD_DSN, {}), DSN_FALSE);
    ASSERT_EQ(script.messages.size(), 3u);
    EXPECT_EQ(script.messages[0], "Data Source Test: Connection succeed !");
    EXPECT_EQ(script.messages[1],
              "Data Source Test: Connection failed. Error: -9978\nInvalid password.");
    EXPECT_EQ(script.messages[2],
              "Data Source Test: Connection failed. Error: -10021\nNo server was found.");
    EXPECT_TRUE(ini.Parse("user.ini").empty()) << "user name and password are never stored";
}

TEST_F(DsnDialogTest, BrowseByBroadcastAndTheSavedList)
{
    ASSERT_TRUE(server.Start({"--fixture", server.FixtureWithUsers({{"demo", "demo"}}), "--service",
                              "Sales", "--computer", "BOX"}));
    // The selection dialog lives in the client library: it reads its answers from a script file.
    qxtest::ScopedEnv port("QX_SERVER_PORT", std::to_string(server.Port()));
    qxtest::ScopedEnv broadcast("QX_BROADCAST_ADDRESS", "127.255.255.255");
    std::string scriptFile = ini.dir + "/select.script";
    qxtest::ScopedEnv dialog("QX_DIALOG", "script:" + scriptFile);
    std::string address = "127.0.0.1:" + std::to_string(server.Port());
    ini.Write("select.script", "ok\tSales\\tBOX\n"
                               "1026\n"
                               "1000\t\t\tbox by address\t" +
                                   address +
                                   "\n"
                                   "ok\t\tbox by address\n");
    DsnCall call;
    call.add = true;
    DsnDialogModel m;
    m.Init(call);
    ASSERT_EQ(m.Browse(), 0) << ini.Read("select.script.log");
    EXPECT_EQ(m.fields[DSN_FIELD_PATH].value, "TCP/IP:Sales BOX");
    EXPECT_NE(ini.Read("select.script.log").find("| Sales\tBOX"), std::string::npos)
        << ini.Read("select.script.log");
    EXPECT_EQ(ini.Read("QXNCTCP.INI"), "Sales\tBOX\n\n");
    m.fields[DSN_FIELD_USER].value = "demo";
    m.fields[DSN_FIELD_PASSWORD].value = "demo";
    EXPECT_EQ(m.Test(), 0) << "the chosen server is found again by its names";

    // A saved server, chosen from the list the next time round.
    ASSERT_EQ(m.Browse(), 0);
    EXPECT_EQ(m.fields[DSN_FIELD_PATH].value, "TCP/IP:" + address);
    EXPECT_EQ(ini.Read("QXNCTCP.INI"),
              "Sales\tBOX\nbox by address\n" + address + " box by address\n");
    EXPECT_EQ(m.Test(), 0);
    ini.Write("select.script", "cancel\n");
    EXPECT_EQ(m.Browse(), -10020);
    EXPECT_EQ(m.fields[DSN_FIELD_PATH].value, "TCP/IP:" + address);
}

} // namespace
