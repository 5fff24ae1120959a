// Sort-file record store: offsets, NULL apart from '', truncation reported,
// the file private and removed.
#include "driver/engine/temp/tests/tmp_fixture.h"

#include "driver/core/rcmsgid.h"
#include "driver/engine/temp/rcsrtfile.h"

#include <sys/stat.h>

TEST_F(TmpTest, SortFileKeepsValuesNullAndEmptyApart)
{
    rcSortFile *s;
    ASSERT_EQ(rcSrtFileOpen(owner_, &s), 0);
    ASSERT_EQ(filesIn(dir_).size(), 1u);
    struct stat st {};
    ASSERT_EQ(::stat(s->name, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    std::string big(70000, 'b'); // beyond the old 65500-byte limit
    big[69999] = 'e';
    const unsigned char bytes[] = {0, 1, 0, 2};
    struct In {
        const void *value;
        int16_t type;
        int64_t length;
        std::string expect; // stored bytes
        bool isNull;
    } in[] = {
        {"hello", SQL_LONGVARCHAR, SQL_NTS, std::string("hello", 6), false},
        {"", SQL_LONGVARCHAR, SQL_NTS, std::string("", 1), false},
        {nullptr, SQL_LONGVARCHAR, 0, "", true},
        {"abcdef", SQL_LONGVARCHAR, 3, std::string("abc", 4), false},
        {bytes, SQL_LONGVARBINARY, 4, std::string("\0\1\0\2", 4), false},
        {bytes, SQL_LONGVARBINARY, 0, "", false},
        {big.c_str(), SQL_LONGVARCHAR, int64_t(big.size()), big + '\0', false},
    };
    std::vector<uint64_t> offsets;
    uint64_t expectOffset = 0;
    for (const In &v : in) {
        uint64_t off;
        ASSERT_EQ(rcSrtFileOffset(s, &off), 0);
        EXPECT_EQ(off, expectOffset);
        offsets.push_back(off);
        ASSERT_EQ(rcSrtFileWrite(s, v.value, v.type, v.length), 0);
        expectOffset += 4 + v.expect.size();
    }
    // Read back in reverse order.
    for (size_t k = std::size(in); k-- > 0;) {
        std::string buf(in[k].expect.size() + 8, '#');
        bool isNull = false;
        uint64_t full = 99;
        ASSERT_EQ(rcSrtFileRead(s, offsets[k], buf.data(), uint32_t(buf.size()), &isNull, &full),
                  0);
        EXPECT_EQ(isNull, in[k].isNull) << k;
        EXPECT_EQ(full, in[k].expect.size()) << k;
        EXPECT_EQ(buf.substr(0, in[k].expect.size()), in[k].expect) << k;
    }
    // A smaller buffer: what fits, and 01004.
    char small[40];
    bool isNull;
    uint64_t full;
    EXPECT_EQ(rcSrtFileRead(s, offsets.back(), small, sizeof small, &isNull, &full), 1);
    EXPECT_EQ(std::string(small, sizeof small), std::string(40, 'b'));
    EXPECT_EQ(full, big.size() + 1);
    EXPECT_EQ(takeMessages(), std::vector<uint32_t>{RC_MSG_DATA_TRUNCATED});
    // An offset beyond the data is a read error; the store stays usable.
    EXPECT_EQ(rcSrtFileRead(s, expectOffset, small, sizeof small, &isNull), -1);
    EXPECT_EQ(takeMessages(), std::vector<uint32_t>{RC_ENG_ERROR_READING_TEMPORARY_SORT_FILE});
    ASSERT_EQ(rcSrtFileRead(s, offsets[0], small, sizeof small, &isNull), 0);
    EXPECT_STREQ(small, "hello");
    rcSrtFileClose(s);
    EXPECT_EQ(filesIn(dir_), std::vector<std::string>{});
}

TEST_F(TmpTest, SortFileInAnUnusableDirectoryPostsItsMessages)
{
    std::string missing = dir_ + "no such dir/";
    owner_.workDir = missing.c_str();
    rcSortFile *s = nullptr;
    EXPECT_EQ(rcSrtFileOpen(owner_, &s), -1);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(takeMessages(), (std::vector<uint32_t>{RC_ENG_UNABLE_OPEN_TEMPORARY_SORT_FILE,
                                                     RC_MSG_GENERAL_ERROR}));
}
