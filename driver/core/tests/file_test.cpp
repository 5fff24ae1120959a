#include "driver/core/rcfile.h"
#include "driver/core/tests/base_fixture.h"
#include "tests/support/temp_dir.h"

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <unistd.h>

namespace {

class RcFileTest : public DriverEnvTest {
protected:
    void SetUp() override
    {
        DriverEnvTest::SetUp();
        ASSERT_FALSE(tempDir.Path().empty());
        dir = tempDir.Str();
        ASSERT_EQ(rcFileSetCreate(&set), 0);
    }
    void TearDown() override
    {
        rcListHolderFree(set);
        DriverEnvTest::TearDown();
    }
    std::string Path(const char *name) const { return dir + "/" + name; }
    int Entries() const
    {
        int n = 0;
        DIR *d = opendir(dir.c_str());
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.')
                ++n;
        closedir(d);
        return n;
    }

    qxtest::TempDir tempDir{"rcfile"};
    std::string dir;
    rcListHolder *set = nullptr;
};

TEST_F(RcFileTest, WriteReadShortReadAndSeek)
{
    rcFile *f = nullptr;
    ASSERT_EQ(rcFileOpen(set, &f, Path("data").c_str(), RC_FILE_CREATE | RC_FILE_READWRITE), 0);
    char sixty[60];
    std::memset(sixty, 'x', sizeof sixty);
    ASSERT_EQ(rcFileWriteAt(f, 0, sizeof sixty, sixty), 0);
    char buffer[100];
    uint32_t got = 0;
    EXPECT_EQ(rcFileReadAt(f, 0, 100, buffer, &got), RC_FILE_SHORT);
    EXPECT_EQ(got, 60u);
    EXPECT_EQ(rcFileReadAt(f, 10, 50, buffer, &got), 0);
    EXPECT_EQ(got, 50u);
    int64_t pos = -1;
    EXPECT_EQ(rcFileSeek(f, -10, 2, &pos), 0);
    EXPECT_EQ(pos, 50);
    EXPECT_EQ(rcFileWrite(f, 3, "end"), 0);
    EXPECT_EQ(rcFileSeek(f, 0, 1, &pos), 0);
    EXPECT_EQ(pos, 53);
    EXPECT_EQ(rcFileSeek(f, -100, 0, &pos), RC_FILE_ERR_SEEK);
    EXPECT_EQ(rcFileClose(f, false), 0);
    EXPECT_EQ(rcListCount(set->list), 0u);
}

TEST_F(RcFileTest, CreateRefusesAnExistingFileUnlessReplacing)
{
    rcFile *f = nullptr;
    ASSERT_EQ(rcFileOpen(set, &f, Path("exists").c_str(), RC_FILE_CREATE | RC_FILE_WRITE), 0);
    ASSERT_EQ(rcFileWrite(f, 5, "hello"), 0);
    rcFileClose(f, false);

    rcFile *g = nullptr;
    EXPECT_EQ(rcFileOpen(set, &g, Path("exists").c_str(), RC_FILE_CREATE | RC_FILE_WRITE),
              RC_FILE_ERR_EXISTS);
    EXPECT_EQ(g, nullptr);
    EXPECT_EQ(rcListCount(set->list), 0u);
    EXPECT_EQ(rcFileOpen(set, &g, Path("exists").c_str(), RC_FILE_REPLACE), RC_FILE_NOT_OPENED);
    ASSERT_EQ(rcFileOpen(set, &g, Path("exists").c_str(),
                         RC_FILE_CREATE | RC_FILE_REPLACE | RC_FILE_READWRITE),
              0);
    int64_t size = -1;
    rcFileSeek(g, 0, 2, &size);
    EXPECT_EQ(size, 0); // created anew
    rcFileClose(g, true);
    EXPECT_FALSE(rcFileExists(Path("exists").c_str()));
}

TEST_F(RcFileTest, FailuresAnswerTheirCodes)
{
    rcFile *f = nullptr;
    EXPECT_EQ(rcFileOpen(set, &f, Path("missing").c_str(), 0), RC_FILE_ERR_OPEN);
    std::string longName = dir + "/" + std::string(300, 'n');
    EXPECT_EQ(rcFileOpen(set, &f, longName.c_str(), RC_FILE_CREATE), RC_FILE_ERR_OPEN);
    EXPECT_EQ(rcListCount(set->list), 0u);

    ASSERT_EQ(rcFileOpen(set, &f, Path("ro").c_str(), RC_FILE_CREATE | RC_FILE_WRITE), 0);
    rcFileClose(f, false);
    ASSERT_EQ(rcFileOpen(set, &f, Path("ro").c_str(), 0), 0);
    EXPECT_EQ(rcFileWrite(f, 1, "x"), RC_FILE_ERR_WRITE);
    rcFile *stale = f;
    rcFileClose(f, false);
    char b[4];
    uint32_t got;
    EXPECT_EQ(rcFileRead(stale, 1, b, &got), RC_FILE_ERR_HANDLE);
    EXPECT_EQ(rcFileWrite(stale, 1, "x"), RC_FILE_ERR_HANDLE);
    EXPECT_EQ(rcFileSeek(stale, 0, 0, nullptr), RC_FILE_ERR_HANDLE);
    EXPECT_EQ(rcFileClose(stale, false), RC_FILE_ERR_HANDLE);
}

TEST_F(RcFileTest, TemporaryFilesInADirectory)
{
    char a[300], b[300];
    ASSERT_EQ(rcFileCreateTempIn(dir.c_str(), "SWP", a, sizeof a), 0);
    ASSERT_EQ(rcFileCreateTemp("SWP", dir.c_str(), b, sizeof b, 0), 0);
    EXPECT_STRNE(a, b);
    std::string name = std::string(a).substr(dir.size() + 1);
    EXPECT_EQ(name.rfind("SWP", 0), 0u);
    EXPECT_LE(name.size(), 13u); // at most 9 characters and ".tmp"
    EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
    EXPECT_TRUE(rcFileExists(a));
    EXPECT_EQ(Entries(), 2);
    char tiny[8];
    EXPECT_EQ(rcFileCreateTempIn(dir.c_str(), "SWP", tiny, sizeof tiny), RC_FILE_ERR_OPEN);
    EXPECT_EQ(rcFileCreateTempIn((dir + "/none").c_str(), "SWP", a, sizeof a), RC_FILE_ERR_OPEN);
}

TEST_F(RcFileTest, TemporaryDirectoryModeLeavesNoFile)
{
    qxtest::ScopedEnv tmp("TMPDIR", dir);
    char path[300];
    ASSERT_EQ(rcFileCreateTemp("QX", nullptr, path, sizeof path, 3), 0);
    EXPECT_EQ(std::string(path), dir + "/");
    EXPECT_EQ(Entries(), 0);
    ASSERT_EQ(rcFileCreateTemp("QX", "", path, sizeof path, 0), 0);
    EXPECT_EQ(std::string(path).rfind(dir + "/QX", 0), 0u);
    EXPECT_EQ(Entries(), 1);
}

TEST(RcFileText, MessagesOfTheCodes)
{
    char text[200];
    errno = 2;
    rcFileErrorText(RC_FILE_ERR_OPEN, text, sizeof text, rcUtlGetModule());
    EXPECT_STREQ(text, "File Manager: Unable to open file.Operating system LastError = 2");
    rcFileErrorText(RC_FILE_ERR_OPEN, text, 40,
                    rcUtlGetModule()); // the system part only when it fits
    EXPECT_STREQ(text, "File Manager: Unable to open file.");
    for (int code : {4011, 4014, 0, 1}) {
        std::strcpy(text, "junk");
        rcFileErrorText(code, text, sizeof text, rcUtlGetModule());
        EXPECT_STREQ(text, "") << code;
    }
    rcFileErrorText(RC_FILE_SHORT, text, sizeof text, rcUtlGetModule());
    EXPECT_EQ(std::string(text).rfind("File Manager: Fewer bytes", 0), 0u);
}

} // namespace
