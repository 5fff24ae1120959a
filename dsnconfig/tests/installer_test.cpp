// ConfigDSN as the ODBC installer calls it: SQLConfigDataSource loads
// libdsnconfig.so (the Setup= library of the private odbcinst.ini).
#include "dsnconfig/tests/ini_dir.h"

#include <gtest/gtest.h>
#include <odbcinst.h>

#include <string>
#include <vector>

namespace {

// An attribute list "k=v\0k=v\0\0" from "k=v" texts.
std::string Attributes(const std::vector<std::string> &entries)
{
    std::string out;
    for (const std::string &e : entries)
        out += e + '\0';
    return out + '\0';
}

bool Config(WORD request, const std::vector<std::string> &entries)
{
    std::string list = Attributes(entries);
    return SQLConfigDataSource(nullptr, request, kTestDriver, list.c_str());
}

// The installer errors queued, as codes.
std::vector<DWORD> InstallerErrors()
{
    std::vector<DWORD> codes;
    for (WORD i = 1; i <= 8; ++i) {
        DWORD code = 0;
        char text[512];
        WORD length = 0;
        if (SQLInstallerError(i, &code, text, sizeof text, &length) != SQL_SUCCESS)
            break;
        codes.push_back(code);
    }
    return codes;
}

bool HasError(DWORD code)
{
    for (DWORD c : InstallerErrors())
        if (c == code)
            return true;
    return false;
}

TEST(ConfigDsnInstaller, AddConfigureRemoveUserDataSource)
{
    IniDir ini;
    ASSERT_TRUE(Config(ODBC_ADD_DSN, {"DSN=My Data", "DESC=x", "DBQ=TCP/IP:10.0.0.5"}));
    auto user = ini.Parse("user.ini");
    ASSERT_TRUE(user.count("My Data"));
    EXPECT_EQ(user["My Data"]["Driver"], kTestDriver);
    EXPECT_EQ(user["My Data"]["Description"], "x");
    EXPECT_EQ(user["My Data"]["DBQ"], "TCP/IP:10.0.0.5");
    EXPECT_FALSE(ini.Parse("odbc.ini").count("My Data"))
        << "a user data source stays out of the system file";

    // Keys the call does not name stay as they were.
    ini.Write("user.ini", "[My Data]\nDriver=" + std::string(kTestDriver) +
                              "\nDescription=old\nDBQ=TCP/IP:a\nOdbcTrace=1\nTraceOutput=/tmp/"
                              "t.log\n[Other]\nDBQ=b\n");
    ASSERT_TRUE(Config(ODBC_CONFIG_DSN, {"DSN=My Data", "DBQ=TCP/IP:10.0.0.6"}));
    user = ini.Parse("user.ini");
    EXPECT_EQ(user["My Data"]["DBQ"], "TCP/IP:10.0.0.6");
    EXPECT_EQ(user["My Data"]["Description"], "old");
    EXPECT_EQ(user["My Data"]["OdbcTrace"], "1");
    EXPECT_EQ(user["My Data"]["TraceOutput"], "/tmp/t.log");
    EXPECT_EQ(user["Other"]["DBQ"], "b");

    ASSERT_TRUE(Config(ODBC_REMOVE_DSN, {"DSN=My Data"}));
    user = ini.Parse("user.ini");
    EXPECT_FALSE(user.count("My Data"));
    EXPECT_EQ(user["Other"]["DBQ"], "b");
    // Removing what is not there is no failure.
    EXPECT_TRUE(Config(ODBC_REMOVE_DSN, {"DSN=My Data"}));
}

TEST(ConfigDsnInstaller, SystemDataSourceGoesToTheSystemFile)
{
    IniDir ini;
    ASSERT_TRUE(Config(ODBC_ADD_SYS_DSN, {"DSN=sysdsn", "DBQ=TCP/IP:h"}));
    auto system = ini.Parse("odbc.ini");
    EXPECT_EQ(system["sysdsn"]["DBQ"], "TCP/IP:h");
    EXPECT_EQ(system["sysdsn"]["Driver"], kTestDriver);
    EXPECT_FALSE(system["sysdsn"].count("Description")) << "only the keys given are written";
    EXPECT_FALSE(ini.Parse("user.ini").count("sysdsn"));
    ASSERT_TRUE(Config(ODBC_CONFIG_SYS_DSN, {"DSN=sysdsn", "Description=d"}));
    system = ini.Parse("odbc.ini");
    EXPECT_EQ(system["sysdsn"]["Description"], "d");
    EXPECT_EQ(system["sysdsn"]["DBQ"], "TCP/IP:h");
    ASSERT_TRUE(Config(ODBC_REMOVE_SYS_DSN, {"DSN=sysdsn"}));
    EXPECT_FALSE(ini.Parse("odbc.ini").count("sysdsn"));
}

TEST(ConfigDsnInstaller, RefusalsAreInstallerErrors)
{
    IniDir ini;
    struct Case {
        WORD request;
        std::vector<std::string> entries;
        DWORD error;
    } cases[] = {
        {ODBC_REMOVE_DSN, {"DBQ=TCP/IP:h"}, ODBC_ERROR_INVALID_NAME},
        {ODBC_ADD_DSN, {"DBQ=TCP/IP:h"}, ODBC_ERROR_INVALID_NAME},
        {ODBC_ADD_DSN, {"DSN=1abc"}, ODBC_ERROR_INVALID_NAME},
        {ODBC_ADD_DSN, {"DSN=a!b"}, ODBC_ERROR_INVALID_NAME},
        {ODBC_ADD_DSN, {"DSN=   "}, ODBC_ERROR_INVALID_NAME},
        {ODBC_ADD_DSN,
         {"DSN=\xC9t\xE9"},
         ODBC_ERROR_INVALID_NAME}, // a high byte first is no letter here
        {ODBC_ADD_DSN, {"DSN=" + std::string(33, 'a')}, ODBC_ERROR_INVALID_NAME},
        {ODBC_ADD_DSN, {"DSN=" + std::string(300, 'a')}, ODBC_ERROR_INVALID_KEYWORD_VALUE},
        {ODBC_ADD_DSN,
         {"DSN=ok", "DBQ=" + std::string(256, 'h')},
         ODBC_ERROR_INVALID_KEYWORD_VALUE},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.entries[0].substr(0, 40));
        EXPECT_FALSE(Config(c.request, c.entries));
        EXPECT_TRUE(HasError(c.error));
    }
    EXPECT_TRUE(ini.Parse("user.ini").empty()) << ini.Read("user.ini");
    EXPECT_TRUE(ini.Parse("odbc.ini").empty()) << ini.Read("odbc.ini");
}

TEST(ConfigDsnInstaller, AttributeListEdges)
{
    IniDir ini;
    // Unknown and over-long keys are skipped; an entry without "=" ends the list.
    ASSERT_TRUE(Config(ODBC_ADD_DSN, {"ThisKeyIsMuchTooLong=1", "Port=5", "DSN=edge",
                                      "dbq=TCP/IP:h", "junk", "Description=never"}));
    auto user = ini.Parse("user.ini");
    EXPECT_EQ(user["edge"]["DBQ"], "TCP/IP:h");
    EXPECT_FALSE(user["edge"].count("Description"));
    EXPECT_FALSE(user["edge"].count("Port"));
    // A silent add never asks and never removes: an existing data source keeps its keys.
    ini.Write("user.ini",
              "[edge]\nDriver=" + std::string(kTestDriver) + "\nDBQ=TCP/IP:a\nEngineTrace=1\n");
    ASSERT_TRUE(Config(ODBC_ADD_DSN, {"DSN=edge", "Description=new"}));
    user = ini.Parse("user.ini");
    EXPECT_EQ(user["edge"]["EngineTrace"], "1");
    EXPECT_EQ(user["edge"]["DBQ"], "TCP/IP:a");
    EXPECT_EQ(user["edge"]["Description"], "new");
}

} // namespace
