#include "platform/file.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(PlatFile, CreateReadWriteSeek)
{
    qxtest::TempDir tempDir("platfile");
    std::string dir = tempDir.Str();
    std::string path = dir + "/a.bin";
    int fd =
        PlatFileOpen(path.c_str(), PLAT_OPEN_READWRITE | PLAT_OPEN_CREATE | PLAT_OPEN_EXCLUSIVE);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(PlatFileWrite(fd, "hello world", 11), 11);
    EXPECT_EQ(PlatFileSeek(fd, 6, 0), 6);
    char buf[16] = {};
    EXPECT_EQ(PlatFileRead(fd, buf, sizeof buf), 5);
    EXPECT_STREQ(buf, "world");
    EXPECT_EQ(PlatFileSeek(fd, 0, 2), 11);
    EXPECT_EQ(PlatFileSeek(fd, 0, 7), -1);
    EXPECT_TRUE(PlatFileClose(fd));
    // exclusive create refuses the existing file; plain create empties it
    EXPECT_EQ(PlatFileOpen(path.c_str(), PLAT_OPEN_WRITE | PLAT_OPEN_CREATE | PLAT_OPEN_EXCLUSIVE),
              -1);
    EXPECT_EQ(PlatLastError(), EEXIST);
    fd = PlatFileOpen(path.c_str(), PLAT_OPEN_WRITE | PLAT_OPEN_CREATE);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(PlatFileSeek(fd, 0, 2), 0);
    PlatFileClose(fd);
    EXPECT_TRUE(PlatFileExists(path.c_str()));
    EXPECT_TRUE(PlatFileDelete(path.c_str()));
    EXPECT_FALSE(PlatFileExists(path.c_str()));
    EXPECT_EQ(PlatFileOpen(path.c_str(), PLAT_OPEN_READ), -1);
}

TEST(PlatFile, TempFilesAreNewAndFollowTmpdir)
{
    qxtest::TempDir tempDir("platfile");
    std::string dir = tempDir.Str();
    auto tmpdir = std::make_unique<qxtest::ScopedEnv>("TMPDIR", dir);
    EXPECT_EQ(PlatTempDirectory(), dir + "/");
    std::string a, b;
    ASSERT_TRUE(PlatCreateTempFile("", "SWP", &a));
    ASSERT_TRUE(PlatCreateTempFile(dir, "SWP", &b));
    EXPECT_NE(a, b);
    EXPECT_EQ(a.rfind(dir + "/SWP", 0), 0u);
    EXPECT_TRUE(PlatFileExists(a.c_str()));
    EXPECT_FALSE(PlatCreateTempFile(dir + "/missing", "SWP", &b));
    PlatFileDelete(a.c_str());
    PlatFileDelete(b.c_str());
    tmpdir.reset();
    qxtest::ScopedEnv noTmpdir("TMPDIR", nullptr);
    EXPECT_EQ(PlatTempDirectory(), "/tmp/");
}

// An open private temporary file, read and written at offsets beyond 4 GB
// (a sparse file) without moving the file position.
TEST(PlatFile, OpenTempFileReadsAndWritesAt64BitOffsets)
{
    qxtest::TempDir tempDir("platfile");
    std::string dir = tempDir.Str();
    std::string path;
    int fd = PlatCreateTempFileOpen(dir, "SWP", &path);
    ASSERT_GE(fd, 0);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const int64_t far = (int64_t(1) << 32) + 7;
    ASSERT_EQ(PlatFileWriteAt(fd, far, "tail", 4), 4);
    ASSERT_EQ(PlatFileWriteAt(fd, 0, "head", 4), 4);
    char buf[8] = {};
    EXPECT_EQ(PlatFileReadAt(fd, far, buf, sizeof buf), 4);
    EXPECT_EQ(std::string(buf, 4), "tail");
    EXPECT_EQ(PlatFileReadAt(fd, 0, buf, 4), 4);
    EXPECT_EQ(std::string(buf, 4), "head");
    EXPECT_EQ(PlatFileSeek(fd, 0, 1), 0); // the position did not move
    EXPECT_EQ(PlatCreateTempFileOpen(dir + "/missing", "SWP", nullptr), -1);
    PlatFileClose(fd);
    PlatFileDelete(path.c_str());
}

} // namespace
