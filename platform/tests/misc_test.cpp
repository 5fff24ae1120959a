#include "platform/codepage.h"
#include "platform/module.h"
#include "platform/profile.h"
#include "platform/strings.h"

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
    unsetenv("QX_ANSI_CODEPAGE");
    EXPECT_EQ(PlatAnsiCodePage(), 1252u);
    setenv("QX_ANSI_CODEPAGE", "1250", 1);
    EXPECT_EQ(PlatAnsiCodePage(), 1250u);
    setenv("QX_ANSI_CODEPAGE", "junk", 1);
    EXPECT_EQ(PlatAnsiCodePage(), 1252u);
    unsetenv("QX_ANSI_CODEPAGE");
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
    setenv("ODBCSYSINI", "/nonexistent-qx", 1);
    setenv("ODBCINI", "/nonexistent-qx/odbc.ini", 1);
    char buf[16];
    int n = PlatGetProfileString("NoSuchDsn", "Key", "dflt", buf, sizeof buf, "odbc.ini");
    EXPECT_STREQ(buf, "dflt");
    EXPECT_EQ(n, 4);
}

} // namespace
