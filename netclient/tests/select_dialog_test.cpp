// The saved server list and the selection model's saved-list commands.
#include "netclient/nc_select_dialog.h"
#include "platform/dialog.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

class SavedListTest : public ::testing::Test {
protected:
    qxtest::TempDir tempDir{"qxsaved"};
    void SetUp() override
    {
        ASSERT_FALSE(tempDir.Path().empty());
        dir = tempDir.Str();
        path = dir + "/sub/QXNCTCP.INI";
    }
    std::string Read() const
    {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    int FilesInDirectory() const
    {
        int n = 0;
        if (DIR *d = opendir((dir + "/sub").c_str())) {
            while (dirent *e = readdir(d))
                n += e->d_name[0] != '.';
            closedir(d);
        }
        return n;
    }
    std::string dir, path;
};

TEST_F(SavedListTest, FullLengthLinesRoundTripAndNamesMatchExactly)
{
    nc::NcSavedServerList list;
    list.lastBroadcast = "Sales\tBOX";
    list.lastSaved = std::string(63, 'n');
    list.entries = {
        {std::string(31, '1'), std::string(63, 'n')}, {"10.0.0.5", "box"}, {"10.0.0.6", "box 2"}};
    ASSERT_TRUE(list.Save(path));
    EXPECT_EQ(FilesInDirectory(), 1) << "the new file replaced the list, nothing else stays";
    nc::NcSavedServerList back;
    ASSERT_TRUE(back.Load(path));
    EXPECT_EQ(back.lastBroadcast, "Sales\tBOX");
    ASSERT_EQ(back.entries.size(), 3u);
    EXPECT_EQ(back.entries[0].address, std::string(31, '1'));
    EXPECT_EQ(back.entries[0].name, std::string(63, 'n'));
    ASSERT_NE(back.Find("box"), nullptr);
    EXPECT_EQ(back.Find("box")->address, "10.0.0.5");
    EXPECT_EQ(back.Find("bo"), nullptr);
    EXPECT_EQ(back.Find("box 2")->address, "10.0.0.6");
}

TEST_F(SavedListTest, NewReplacesOnlyWhenAskedAndDeleteRemovesTheExactName)
{
    qxtest::ScopedEnv noDialog("QX_DIALOG", "none");
    TcpComponent comp;
    nc::NcServerListModel m(&comp, "QX Server", path);
    ASSERT_EQ(m.Start(), 0);
    EXPECT_EQ(Read(), "\n\n") << "a first run makes the file with two empty lines";
    m.ToggleMore();
    auto yes = [](const std::string &, const std::string &) { return true; };
    auto no = [](const std::string &, const std::string &) { return false; };
    EXPECT_TRUE(m.New("A", "10.0.0.5", no));
    EXPECT_TRUE(m.New("A 2", "10.0.0.7", no));
    EXPECT_FALSE(m.New("A", "10.0.0.6", no));
    EXPECT_FALSE(m.New("B", "bad address", yes));
    EXPECT_EQ(Read(), "\n\n10.0.0.5 A\n10.0.0.7 A 2\n");
    EXPECT_TRUE(m.New("A", "10.0.0.6", yes));
    EXPECT_EQ(Read(), "\n\n10.0.0.6 A\n10.0.0.7 A 2\n");
    EXPECT_FALSE(m.Delete("A", no));
    EXPECT_TRUE(m.Delete("A", yes));
    EXPECT_EQ(Read(), "\n\n10.0.0.7 A 2\n");
    ASSERT_TRUE(m.SelectSaved("A 2"));
    EXPECT_EQ(m.Ok(), nc::kChoiceSaved);
    EXPECT_EQ(m.chosenName, "10.0.0.7");
    EXPECT_EQ(Read(), "\nA 2\n10.0.0.7 A 2\n");
    EXPECT_FALSE(m.SelectSaved("A")) << "no entry of that exact name is left";
}

} // namespace
