#include "driver/core/rcmsgid.h"
#include "driver/core/rcstr.h"
#include "driver/core/tests/base_fixture.h"
#include "driver/core/tests/turkish_locale.h"

#include <cstring>
#include <string>

namespace {

TEST(RcArgCopyString, LengthsAndLimits)
{
    struct Case {
        const char *text;
        int64_t length;
        int64_t maximum;
        char escape;
        uint32_t msg;
        const char *result; // null: no text
        bool owned;
    } cases[] = {
        {nullptr, 5, -1, 0, RC_MSG_NO_ERROR, nullptr, false},
        {"abc", RC_ARG_NULL_DATA, -1, 0, RC_MSG_NO_ERROR, nullptr, false},
        {"abc", RC_ARG_NTS, -1, 0, RC_MSG_NO_ERROR, "abc", false},
        {"abcdef", 3, -1, 0, RC_MSG_NO_ERROR, "abc", true},
        {"abc", 0, -1, 0, RC_MSG_NO_ERROR, "", true},
        {"abc", RC_ARG_NTS, 0, 0, RC_MSG_DRIVER_NOT_CAPABLE, nullptr, false},
        {"abcd", RC_ARG_NTS, 3, 0, RC_MSG_INVALID_STRING_BUFFER_LENGTH, nullptr, false},
        {"ab\\%", RC_ARG_NTS, 3, '\\', RC_MSG_NO_ERROR, "ab\\%",
         false}, // the escape is not counted
        {"abc", -2, -1, 0, RC_MSG_INVALID_STRING_BUFFER_LENGTH, nullptr, false},
        {"abc", -100, 10, 0, RC_MSG_INVALID_STRING_BUFFER_LENGTH, nullptr, false},
    };
    for (const Case &c : cases) {
        rcArgString out{reinterpret_cast<const char *>(1), 7};
        EXPECT_EQ(rcArgCopyString(&out, c.text, c.length, c.maximum, c.escape), c.msg) << c.length;
        if (c.result) {
            ASSERT_NE(out.text, nullptr);
            EXPECT_STREQ(out.text, c.result);
        } else {
            EXPECT_EQ(out.text, nullptr) << c.length;
        }
        EXPECT_EQ(out.owned != 0, c.owned) << c.length;
        if (c.owned) {
            EXPECT_NE(out.text, c.text);
        }
        rcArgFreeStrings(&out, 1);
        EXPECT_EQ(out.text, nullptr);
    }
}

TEST(RcStrCountEscaped, EscapesCountOnce)
{
    EXPECT_EQ(rcStrCountEscaped("a\\_b\\\\c\\x", RC_ARG_NTS, '\\'), 7);
    EXPECT_EQ(rcStrCountEscaped("a\\_b", 2, '\\'),
              2); // the length ends before the escaped character
    EXPECT_EQ(rcStrCountEscaped("hello", RC_ARG_NTS, 0), 5);
    EXPECT_EQ(rcStrCountEscaped("hello", 3, 0), 3);
}

TEST(RcCopyOutString, CutsAndReportsTheFullLength)
{
    char out[8];
    int64_t length = -1;
    EXPECT_EQ(rcCopyOutString(out, "abcdef", 4, &length), 1);
    EXPECT_STREQ(out, "abc");
    EXPECT_EQ(length, 6);
    EXPECT_EQ(rcCopyOutString(nullptr, "abcdef", 4, &length), 0);
    EXPECT_EQ(length, 6);
    EXPECT_EQ(rcCopyOutString(out, "abcdefg", 8, &length), 0);
    EXPECT_STREQ(out, "abcdefg");
    std::memcpy(out, "zzzzzzz", 8);
    EXPECT_EQ(rcCopyOutString(out, "abc", 0, &length), 1); // size 0: nothing written
    EXPECT_STREQ(out, "zzzzzzz");
    EXPECT_EQ(length, 3);
    EXPECT_EQ(rcCopyOutString(out, "abc", 1, nullptr), 1);
    EXPECT_STREQ(out, "");
}

TEST(RcStrPatterns, WildcardsAndKeywords)
{
    EXPECT_FALSE(rcCatPatternHasWildcards("A\\%", '\\'));
    EXPECT_TRUE(rcCatPatternHasWildcards("A_", '\\'));
    EXPECT_TRUE(rcCatPatternHasWildcards("A\\\\%", '\\'));
    EXPECT_TRUE(rcCatPatternHasWildcards("A\\%", 0));
    EXPECT_FALSE(rcCatPatternHasWildcards("ABC", '\\'));

    const char *text = "select 'where it''s where' from t where x";
    const char *found = rcStrFindKeyword(text, "WHERE");
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found, "where x");
    EXPECT_EQ(rcStrFindKeyword("a 'b c", "C"), nullptr);
    EXPECT_EQ(rcStrFindKeyword("abc", "abcd"), nullptr);
}

TEST(RcStrPatterns, KeywordsAndNamesMatchWhateverTheLocale)
{
    TurkishLocale turkish;
    if (!turkish.ok())
        GTEST_SKIP() << "no Turkish locale";
    const char *found = rcStrFindKeyword("select a from t where b like 'x'", "LIKE");
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found, "like 'x'");
    EXPECT_EQ(rcUtlStrCompare("Orders_Archive", "ORDERS_ARCHIVE", 0), 0);
    EXPECT_EQ(rcUtlStrCompare("sid", "SID", 0), 0);
}

TEST(RcStrEdit, TrimStripAndCompare)
{
    char a[] = "--xx--";
    EXPECT_STREQ(rcStrTrimSet(a, "-"), "xx");
    char b[] = "'word'";
    rcUtlStripQuotes(b, '\'');
    EXPECT_STREQ(b, "word");
    char c[] = "'word";
    rcUtlStripQuotes(c, '\'');
    EXPECT_STREQ(c, "word");
    char d[] = "'";
    rcUtlStripQuotes(d, '\'');
    EXPECT_STREQ(d, "");
    char e[] = "name   ";
    rcUtlTrimRight(e);
    EXPECT_STREQ(e, "name");
    EXPECT_EQ(rcUtlStrCompare("abc", "ABC", 0), 0);
    EXPECT_EQ(rcUtlStrCompare("abc", "ABC", 1), 1);
    EXPECT_EQ(rcUtlStrCompare("ABC", "abd", 1), -1);
    char cursor[32];
    rcStrDefaultCursorName(reinterpret_cast<void *>(0x1a2b), cursor, sizeof cursor);
    EXPECT_STREQ(cursor, "SQL_CUR1a2b");
    char dest[4];
    rcUtlCopyString("abcdef", dest, sizeof dest);
    EXPECT_EQ(std::string(dest, 4), "abcd");
}

TEST(RcUtlIsDrivePath, DrivePathsMapToTheirPlace)
{
    qxtest::ScopedEnv root("QX_DRIVE_ROOT_DIR", "/tmp");
    EXPECT_TRUE(rcUtlIsDrivePath("C:\\"));
    EXPECT_FALSE(rcUtlIsDrivePath("C:\\no-such-dir-qx"));
    EXPECT_FALSE(rcUtlIsDrivePath("C:"));
    EXPECT_TRUE(rcUtlIsDrivePath("/tmp"));
    EXPECT_FALSE(rcUtlIsDrivePath("relative"));
}

} // namespace
