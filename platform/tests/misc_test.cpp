#include "platform/codepage.h"
#include "platform/module.h"
#include "platform/profile.h"
#include "platform/strings.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

const PlatStringEntry kEntries[] = {{1, "one"}, {5, "five"}, {9, "a longer text"}};
const PlatStringTable kTable = {kEntries, 3};

TEST(PlatStrings, LookupAndCut)
{
    EXPECT_STREQ(PlatFindString(&kTable, 5), "five");
    EXPECT_EQ(PlatFindString(&kTable, 4), nullptr);
    EXPECT_EQ(PlatFindString(&kTable, 10), nullptr);
    char buf[5];
    EXPECT_EQ(PlatLoadString(&kTable, 9, buf, sizeof buf), 4);
    EXPECT_STREQ(buf, "a lo");
    EXPECT_EQ(PlatLoadString(&kTable, 2, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "");
}

TEST(PlatCodePage, DefaultsTo1252)
{
    {
        qxtest::ScopedEnv none("QX_ANSI_CODEPAGE", nullptr);
        EXPECT_EQ(PlatAnsiCodePage(), 1252u);
    }
    {
        qxtest::ScopedEnv other("QX_ANSI_CODEPAGE", "1250");
        EXPECT_EQ(PlatAnsiCodePage(), 1250u);
    }
    qxtest::ScopedEnv junk("QX_ANSI_CODEPAGE", "junk");
    EXPECT_EQ(PlatAnsiCodePage(), 1252u);
}

TEST(PlatModule, LoadsSystemLibraryAndReportsFailures)
{
    PlatModule *m = PlatLoadModule("libm.so.6");
    ASSERT_NE(m, nullptr);
    EXPECT_NE(PlatModuleSymbol(m, "cos"), nullptr);
    EXPECT_EQ(PlatModuleSymbol(m, "no_such_symbol_here"), nullptr);
    PlatFreeModule(m);
    EXPECT_EQ(PlatLoadModule("NOSUCHLIB.DLL"), nullptr);
    EXPECT_NE(std::strlen(PlatModuleError()), 0u);
    EXPECT_EQ(PlatLoadModule(""), nullptr);
}

TEST(PlatProfile, MissingFileGivesTheDefault)
{
    qxtest::ScopedEnv sysIni("ODBCSYSINI", "/nonexistent-qx");
    qxtest::ScopedEnv userIni("ODBCINI", "/nonexistent-qx/odbc.ini");
    char buf[16];
    int n = PlatGetProfileString("NoSuchDsn", "Key", "dflt", buf, sizeof buf, "odbc.ini");
    EXPECT_STREQ(buf, "dflt");
    EXPECT_EQ(n, 4);
}

} // namespace
