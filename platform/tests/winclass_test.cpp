// Windows found by class: the lock file lives as long as its window.
#include "platform/winclass.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace {

TEST(ClassWindow, OneWindowPerClassWhileItLives)
{
    qxtest::TempDir dir("qxlock");
    ASSERT_FALSE(dir.Path().empty());
    qxtest::ScopedEnv lockDir("QX_LOCK_DIR", dir.Str());
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
    EXPECT_NE(access(PlatClassLockPath("ODBCSETUP").c_str(), F_OK), 0)
        << "the file goes with the window";
    // A file left by a program that died holds no lock: no window, and a new one can be made.
    std::ofstream(PlatClassLockPath("ODBCSETUP")) << "";
    EXPECT_FALSE(PlatFindWindowByClass("ODBCSETUP"));
    PlatClassWindow again;
    EXPECT_TRUE(again.Create("ODBCSETUP"));
    again.Destroy();
}

} // namespace
