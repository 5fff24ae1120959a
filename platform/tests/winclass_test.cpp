// Windows found by class: the lock file lives as long as its window.
#include "platform/winclass.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace {

TEST(ClassWindow, OneWindowPerClassWhileItLives)
{
    char pattern[] = "/tmp/qxlockXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    setenv("QX_LOCK_DIR", pattern, 1);
    EXPECT_FALSE(PlatFindWindowByClass("ODBCSETUP"));
    {
        PlatClassWindow w;
        ASSERT_TRUE(w.Create("ODBCSETUP"));
        EXPECT_TRUE(PlatFindWindowByClass("ODBCSETUP"));
        EXPECT_FALSE(PlatFindWindowByClass("ODBC_BOOTSTRAP"));
        PlatClassWindow second;
        EXPECT_FALSE(second.Create("ODBCSETUP"));
    }
    EXPECT_FALSE(PlatFindWindowByClass("ODBCSETUP"));
    EXPECT_NE(access(PlatClassLockPath("ODBCSETUP").c_str(), F_OK), 0) << "the file goes with the window";
    // A file left by a program that died holds no lock: no window, and a new one can be made.
    std::ofstream(PlatClassLockPath("ODBCSETUP")) << "";
    EXPECT_FALSE(PlatFindWindowByClass("ODBCSETUP"));
    PlatClassWindow again;
    EXPECT_TRUE(again.Create("ODBCSETUP"));
    again.Destroy();
    rmdir(pattern);
    unsetenv("QX_LOCK_DIR");
}

} // namespace
