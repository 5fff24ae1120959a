#include "platform/paths.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

TEST(PlatPaths, EnvironmentChoosesTheDirectory)
{
    qxtest::ScopedEnv root("QX_DRIVE_ROOT_DIR", "/tmp/qx-root/");
    qxtest::ScopedEnv windows("QX_WINDOWS_DIR", "/tmp/qx-win");
    EXPECT_EQ(PlatDirectory(PlatDir::DriveRoot), "/tmp/qx-root");
    EXPECT_EQ(PlatPathIn(PlatDir::Windows, "QXNCTCP.INI"), "/tmp/qx-win/QXNCTCP.INI");
    EXPECT_EQ(PlatMapWindowsPath("C:\\ODBCDRVR.INI"), "/tmp/qx-root/ODBCDRVR.INI");
    EXPECT_EQ(PlatMapWindowsPath("c:\\sub\\LOG_ODBC.WRI"), "/tmp/qx-root/sub/LOG_ODBC.WRI");
    EXPECT_EQ(PlatMapWindowsPath("rel\\file.txt"), "rel/file.txt");
}

TEST(PlatPaths, DefaultsFollowTheConfigHome)
{
    qxtest::ScopedEnv root("QX_DRIVE_ROOT_DIR", nullptr);
    qxtest::ScopedEnv config("XDG_CONFIG_HOME", "/tmp/xdg");
    EXPECT_EQ(PlatDirectory(PlatDir::DriveRoot), "/tmp/xdg/qxodbc");
}
