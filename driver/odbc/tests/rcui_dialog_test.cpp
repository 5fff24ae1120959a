// The logon dialog's model and the providers.
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcui_dialog.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

TEST(LoginModel, FieldsFollowWhatMayBeAsked)
{
    const struct {
        bool user, password;
        const char *uid, *pwd;
        const char *shownUser;
        size_t focus;
    } cases[] = {
        {true, true, "u", "p", "u", 1}, // both known: both shown, focus on the password
        {true, true, "", "p", "", 0},   // a missing user id takes the focus
        {true, true, "u", "", "", 0},   // a missing password also starts at the user id
        {false, true, "u", "", "", 0},  {false, true, "u", "p", "", 1},
    };
    for (const auto &c : cases) {
        rcLoginModel m;
        m.askUser = c.user;
        m.askPassword = c.password;
        m.Init(c.uid, c.pwd);
        EXPECT_EQ(m.fields[0].value, c.shownUser) << c.uid << "/" << c.pwd;
        EXPECT_EQ(m.fields[0].enabled, c.user);
        EXPECT_EQ(m.fields[1].enabled, c.password);
        EXPECT_TRUE(m.fields[1].hidden);
        EXPECT_EQ(m.focus, c.focus) << c.uid << "/" << c.pwd;
    }
}

TEST(LoginModel, ApplyBoundsAnswers)
{
    rcLoginModel m;
    m.askUser = m.askPassword = true;
    m.Init("", "");
    m.fields[0].value = std::string(200, 'u');
    m.fields[1].value = std::string(50, 'p');
    char uid[513], pwd[513];
    m.Apply(uid, sizeof uid, pwd, sizeof pwd);
    EXPECT_EQ(std::string(uid), std::string(kRcLoginUserMax, 'u'));
    EXPECT_EQ(std::string(pwd), std::string(kRcLoginPasswordMax, 'p'));
}

TEST(LoginDialog, NothingToAskShowsNoDialog)
{
    PlatScriptedDialog script;
    PlatDialogSetProvider(&script);
    rcConn conn{};
    rcLoginBuffer login{};
    EXPECT_EQ(rcUiLoginDialog(&conn, &login, nullptr), 0);
    EXPECT_TRUE(script.titles.empty());
    conn.passwordRequired = 1;
    script.answers = {{PLAT_DIALOG_OK, {"", "secret"}}};
    EXPECT_EQ(rcUiLoginDialog(&conn, &login, nullptr), 0);
    EXPECT_EQ(script.titles, (std::vector<std::string>{"Logon"}));
    EXPECT_STREQ(login.pwd, "secret");
    EXPECT_EQ(rcUiLoginDialog(&conn, &login, nullptr), 100); // the script ran out: Cancel
    PlatDialogSetProvider(nullptr);
}

TEST(TablePasswordDialog, OkGivesTheAnswerCancelKeepsTheBuffer)
{
    PlatScriptedDialog script;
    PlatDialogSetProvider(&script);
    char password[32] = "Orders";
    script.answers = {{PLAT_DIALOG_OK, {""}}};
    EXPECT_EQ(rcUiTablePasswordDialog(nullptr, "Orders", password, sizeof password), 0);
    EXPECT_STREQ(password, ""); // an empty answer, not the table name
    std::strcpy(password, "Orders");
    EXPECT_EQ(rcUiTablePasswordDialog(nullptr, "Orders", password, sizeof password), -1);
    EXPECT_STREQ(password, "Orders");
    EXPECT_NE(script.shown[0][0].label.find("Orders"), std::string::npos);
    PlatDialogSetProvider(nullptr);
}

TEST(DialogProvider, WithoutTerminalEverythingIsCancelled)
{
    qxtest::ScopedEnv noDialog("QX_DIALOG", "none");
    std::vector<PlatDialogField> fields(1);
    EXPECT_EQ(PlatDialogCurrent()->Run("Logon", fields, 0), PLAT_DIALOG_CANCEL);
}

} // namespace
