#include "platform/paths.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(PlatPaths, EnvironmentChoosesTheDirectory)
{
    setenv("QX_DRIVE_ROOT_DIR", "/tmp/qx-root/", 1);
    setenv("QX_WINDOWS_DIR", "/tmp/qx-win", 1);
    EXPECT_EQ(PlatDirectory(PlatDir::DriveRoot), "/tmp/qx-root");
    EXPECT_EQ(PlatPathIn(PlatDir::Windows, "QXNCTCP.INI"), "/tmp/qx-win/QXNCTCP.INI");
    EXPECT_EQ(PlatMapWindowsPath("C:\\ODBCDRVR.INI"), "/tmp/qx-root/ODBCDRVR.INI");
    EXPECT_EQ(PlatMapWindowsPath("c:\\sub\\LOG_ODBC.WRI"), "/tmp/qx-root/sub/LOG_ODBC.WRI");
    EXPECT_EQ(PlatMapWindowsPath("rel\\file.txt"), "rel/file.txt");
    unsetenv("QX_DRIVE_ROOT_DIR");
    unsetenv("QX_WINDOWS_DIR");
}

TEST(PlatPaths, DefaultsFollowTheConfigHome)
{
    unsetenv("QX_DRIVE_ROOT_DIR");
    setenv("XDG_CONFIG_HOME", "/tmp/xdg", 1);
    EXPECT_EQ(PlatDirectory(PlatDir::DriveRoot), "/tmp/xdg/qxodbc");
    unsetenv("XDG_CONFIG_HOME");
}
