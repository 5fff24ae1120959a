// The shared test scaffolding: directories go with their contents, environment
// variables come back as they were, and a started server is reaped when stopped.
#include "tests/support/qxserver_process.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

TEST(TestSupport, TempDirIsRemovedWithItsContents)
{
    fs::path kept;
    {
        qxtest::TempDir dir("qxsupport");
        ASSERT_FALSE(dir.Path().empty());
        kept = dir.Path();
        fs::create_directories(dir / "a b/c");
        qxtest::WriteFile(dir / "a b/c/file", "text");
        EXPECT_EQ(qxtest::ReadFile(dir / "a b/c/file"), "text");
    }
    EXPECT_FALSE(fs::exists(kept));
}

TEST(TestSupport, ScopedEnvRestoresValueOrAbsence)
{
    ::setenv("QX_SUPPORT_SET", "before", 1);
    ::unsetenv("QX_SUPPORT_UNSET");
    {
        qxtest::ScopedEnv a("QX_SUPPORT_SET", "during");
        qxtest::ScopedEnv b("QX_SUPPORT_UNSET", "during");
        qxtest::ScopedEnv c("QX_SUPPORT_SET_GONE", nullptr);
        EXPECT_STREQ(std::getenv("QX_SUPPORT_SET"), "during");
        EXPECT_STREQ(std::getenv("QX_SUPPORT_UNSET"), "during");
        {
            qxtest::ScopedEnv d("QX_SUPPORT_SET", nullptr);
            EXPECT_EQ(std::getenv("QX_SUPPORT_SET"), nullptr);
        }
        EXPECT_STREQ(std::getenv("QX_SUPPORT_SET"), "during");
    }
    EXPECT_STREQ(std::getenv("QX_SUPPORT_SET"), "before");
    EXPECT_EQ(std::getenv("QX_SUPPORT_UNSET"), nullptr);
    ::unsetenv("QX_SUPPORT_SET");
}

TEST(TestSupport, OdbcIniFilesPointTheInstallerIntoTheDirectory)
{
    qxtest::ScopedEnv clear("ODBCINI", nullptr);
    qxtest::TempDir dir;
    {
        qxtest::OdbcIniFiles ini(dir.Path());
        ini.WriteOdbcinst("[QX]\nDriver=/nonexistent\n");
        ini.WriteOdbc("[qx]\nDriver=QX\n");
        EXPECT_EQ(std::getenv("ODBCSYSINI"), dir.Str());
        EXPECT_EQ(std::getenv("ODBCINI"), (dir / "odbc.ini").string());
        EXPECT_EQ(qxtest::ReadFile(dir / "odbcinst.ini"), "[QX]\nDriver=/nonexistent\n");
        EXPECT_EQ(qxtest::ReadFile(ini.OdbcIni()), "[qx]\nDriver=QX\n");
    }
    EXPECT_EQ(std::getenv("ODBCINI"), nullptr);
}

TEST(TestSupport, ServerStartsOnAFreePortAndIsReapedWhenStopped)
{
    QxServerProcess server;
    std::string error;
    ASSERT_TRUE(server.Start({"--fixture", server.FixtureWithUsers({{"u", "p"}})}, &error))
        << error;
    EXPECT_NE(server.Port(), 0);
    EXPECT_EQ(server.Dbq(), "TCP/IP:127.0.0.1:" + std::to_string(server.Port()));
    pid_t pid = server.Pid();
    ASSERT_GT(pid, 0);
    server.Stop();
    errno = 0;
    EXPECT_EQ(::kill(pid, 0), -1); // reaped: no zombie left under that id
    EXPECT_EQ(errno, ESRCH);

    QxServerProcess bad;
    EXPECT_FALSE(bad.Start({"--no-such-option"}, &error));
    EXPECT_EQ(bad.Pid(), -1);
}

} // namespace
