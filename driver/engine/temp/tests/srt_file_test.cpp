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
    // Only the descriptor is used: the name is gone once the file is open,
    // so a killed process leaves nothing behind.
    EXPECT_EQ(filesIn(dir_), std::vector<std::string>{});
    EXPECT_EQ(s->name, nullptr);
    struct stat st {};
    ASSERT_EQ(::fstat(s->fd, &st), 0);
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

// Pieces of a value from any place in it, as a column reads a long value
// piece by piece; a stored length that runs past the file is a read error,
// and the table that owns the store deletes it.
TEST_F(TmpTest, SortFilePiecesAndOwnership)
{
    TempTable *t = nullptr;
    ASSERT_EQ(rcTmpCreate(owner_, &t), 0);
    ASSERT_EQ(rcSrtFileOpen(owner_, &t->longValues), 0);
    rcSortFile *s = t->longValues;
    std::string text = "0123456789abcdefghij";
    ASSERT_EQ(rcSrtFileWrite(s, text.data(), SQL_LONGVARCHAR, int64_t(text.size())), 0);
    struct Piece {
        uint64_t from;
        uint32_t size;
        std::string bytes;
    } pieces[] = {
        {0, 8, "01234567"}, {8, 8, "89abcdef"}, {16, 8, std::string("ghij\0", 5)},
        {21, 8, ""},        {99, 8, ""},
    };
    for (const Piece &p : pieces) {
        char buf[8];
        bool isNull = true;
        uint64_t full = 0;
        uint32_t copied = 99;
        ASSERT_EQ(rcSrtFileReadPart(s, 0, p.from, buf, p.size, &isNull, &full, &copied), 0);
        EXPECT_FALSE(isNull);
        EXPECT_EQ(full, text.size() + 1);
        EXPECT_EQ(std::string(buf, copied), p.bytes) << p.from;
    }
    EXPECT_EQ(takeMessages(), std::vector<uint32_t>{});
    // A length word that claims more than the file holds.
    uint64_t at = 0;
    rcSrtFileOffset(s, &at);
    const unsigned char head[4] = {0xFF, 0xFF, 0, 0};
    ASSERT_EQ(rcSrtFileWrite(s, head, SQL_LONGVARBINARY, 4), 0);
    char buf[8];
    bool isNull;
    uint64_t full;
    uint32_t copied;
    EXPECT_EQ(rcSrtFileReadPart(s, at + 4, 0, buf, sizeof buf, &isNull, &full, &copied), -1);
    EXPECT_EQ(rcSrtFileReadPart(s, UINT64_MAX - 2, 0, buf, sizeof buf, &isNull, &full, &copied),
              -1);
    EXPECT_EQ(takeMessages(), (std::vector<uint32_t>{RC_ENG_ERROR_READING_TEMPORARY_SORT_FILE,
                                                     RC_ENG_ERROR_READING_TEMPORARY_SORT_FILE}));
    rcTmpFree(t);
    EXPECT_EQ(filesIn(dir_), std::vector<std::string>{});
}
