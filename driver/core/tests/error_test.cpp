#include "driver/core/rcerror.h"
#include "driver/core/rcstrings.h"
#include "driver/core/tests/base_fixture.h"

#include <cstring>
#include <string>
#include <vector>
#include <cstdio>

namespace {

class RcErrorTest : public DriverEnvTest {
protected:
    void TearDown() override
    {
        rcErrQueueDestroy(&queue);
        DriverEnvTest::TearDown();
    }

    struct Popped {
        SQLRETURN rc;
        std::string state;
        SQLINTEGER native;
        std::string message;
        SQLSMALLINT length;
    };

    Popped Pop(SQLSMALLINT size = 512)
    {
        Popped p{};
        SQLCHAR state[6] = {};
        std::string buffer(static_cast<size_t>(size > 0 ? size : 1), '\x7f');
        p.native = -12345;
        p.rc = rcErrSQLError(&queue, nullptr, 0, nullptr, nullptr, &queue, state, &p.native,
                             reinterpret_cast<SQLCHAR *>(buffer.data()), size, &p.length);
        p.state = reinterpret_cast<char *>(state);
        p.message = buffer.c_str();
        return p;
    }

    rcErrorQueue queue{};
};

TEST_F(RcErrorTest, MergeRuleDecidesWhatIsQueued)
{
    struct Post {
        uint32_t id;
        int32_t native;
        const char *text;
    };
    struct Case {
        const char *name;
        std::vector<Post> posts;
        std::vector<std::string> texts; // the records' texts, oldest first ("" = none)
    };
    const Case cases[] = {
        {"same text twice", {{5135, 0, "A"}, {5135, 0, "A"}}, {"A"}},
        {"no text twice", {{5135, 0, nullptr}, {5135, 0, nullptr}}, {"", ""}},
        {"texts differ", {{5135, 0, "A"}, {5135, 0, "B"}}, {"A", "B"}},
        {"walk stops at first match",
         {{5135, 0, "A"}, {5135, 0, "B"}, {5135, 0, "B"}},
         {"A", "B", "B"}},
        {"text fills a record without", {{5135, 0, nullptr}, {5135, 0, "T"}}, {"T"}},
        {"other native code", {{5135, 1, "A"}, {5135, 2, "A"}}, {"A", "A"}},
        {"other message", {{5135, 0, "A"}, {5143, 0, "A"}}, {"A", "A"}},
    };
    for (const Case &c : cases) {
        rcErrClearQueue(&queue);
        for (const Post &p : c.posts)
            ASSERT_EQ(rcErrPost(&queue, p.id, nullptr, p.native, p.text), 0) << c.name;
        ASSERT_EQ(rcErrQueueCount(&queue), c.texts.size()) << c.name;
        for (size_t i = 0; i < c.texts.size(); ++i) {
            auto *rec =
                static_cast<rcErrorRecord *>(rcListAt(queue.list, static_cast<uint32_t>(i)));
            EXPECT_EQ(std::string(rec->text ? rec->text : ""), c.texts[i])
                << c.name << " record " << i;
        }
    }
}

TEST_F(RcErrorTest, RecordsComeBackOldestFirstWithPrefixes)
{
    rcErrPost(&queue, RC_MSG_INVALID_ARGUMENT_VALUE, nullptr, 0, nullptr);
    rcErrPost(&queue, RC_MSG_SYNTAX_ERROR, nullptr, 0, "Syntax error");
    rcErrPostState(&queue, "40001", 0, "rolled back");

    Popped a = Pop();
    EXPECT_EQ(a.rc, SQL_SUCCESS);
    EXPECT_EQ(a.state, "S1009");
    EXPECT_EQ(a.native, 0);
    EXPECT_EQ(a.message, "[Zorvi][Zorvi ODBC Driver]Invalid argument value.");
    EXPECT_EQ(a.length, static_cast<SQLSMALLINT>(a.message.size()));

    Popped b = Pop();
    EXPECT_EQ(b.state, "37000");
    EXPECT_EQ(b.message, "[Zorvi][Zorvi ODBC Driver]Syntax error");

    Popped c = Pop(); // explicit SQLSTATE with message id 0: the general error's text
    EXPECT_EQ(c.state, "40001");
    EXPECT_EQ(c.message, "[Zorvi][Zorvi ODBC Driver]rolled back");

    Popped d = Pop();
    EXPECT_EQ(d.rc, SQL_NO_DATA_FOUND);
    EXPECT_EQ(d.state, "00000");
    EXPECT_EQ(d.native, 0);
    EXPECT_EQ(d.message, "");
    EXPECT_EQ(d.length, 0);
}

void FakeDrmText(void *context, int32_t code, char *buffer, size_t size)
{
    std::snprintf(buffer, size, "%s %d", static_cast<const char *>(context), code);
}

TEST_F(RcErrorTest, DataModuleCodesBecomeGeneralErrorWithItsText)
{
    char who[] = "server said";
    rcErrPostStmtDrm(&queue, RC_DRM_API_NOT_SUPPORTED, -3500, nullptr, FakeDrmText, who);
    rcErrPostStmtDrm(&queue, RC_DRM_INVALID_PATH, -1022, nullptr, FakeDrmText, who);
    Popped a = Pop();
    EXPECT_EQ(a.state, "S1000");
    EXPECT_EQ(a.native, -3500);
    EXPECT_EQ(a.message, "[Zorvi][Zorvi ODBC Driver][Tabula File Library]server said -3500");
    Popped b = Pop(); // outside the data module's own range: posted as given
    EXPECT_EQ(b.state, "08004");
    EXPECT_EQ(b.native, -1022);
    EXPECT_EQ(b.message, "[Zorvi][Zorvi ODBC Driver][Tabula File Library]Invalid path.");
}

// An id the string table has no text for (an unmapped data-module code)
// has an empty SQLSTATE and only the prefixes, or the record's own text.
TEST_F(RcErrorTest, IdWithoutTextHasNoStateAndOnlyThePrefixes)
{
    rcErrPost(&queue, RC_MSG_UNMAPPED, nullptr, -1777, nullptr);
    rcErrPost(&queue, 11018, nullptr, 0, "own text"); // an id the table does not hold
    Popped a = Pop();
    EXPECT_EQ(a.rc, SQL_SUCCESS);
    EXPECT_EQ(a.state, "");
    EXPECT_EQ(a.native, -1777);
    EXPECT_EQ(a.message, "[Zorvi][Zorvi ODBC Driver][Tabula File Library]");
    Popped b = Pop();
    EXPECT_EQ(b.state, "");
    EXPECT_EQ(b.message, "[Zorvi][Zorvi ODBC Driver]own text");
}

TEST_F(RcErrorTest, TruncationNamesTheColumn)
{
    rcErrPostTruncatedColumn(&queue, 3);
    rcErrPostTruncatedColumn(&queue, 12);
    rcErrPostTruncatedColumn(&queue, 3); // the same record again is not queued twice
    Popped a = Pop();
    EXPECT_EQ(a.state, "01004");
    EXPECT_EQ(a.message, "[Zorvi][Zorvi ODBC Driver]Data truncated column 3.");
    EXPECT_EQ(Pop().message, "[Zorvi][Zorvi ODBC Driver]Data truncated column 12.");
    EXPECT_EQ(Pop().rc, SQL_NO_DATA_FOUND);
}

TEST_F(RcErrorTest, ShortBufferCutsTextButReportsFullLength)
{
    rcErrPost(&queue, RC_MSG_GENERAL_ERROR, nullptr, 0, nullptr);
    rcErrPost(&queue, RC_MSG_GENERAL_ERROR, nullptr, 0, nullptr);
    const std::string full = "[Zorvi][Zorvi ODBC Driver]General error.";
    Popped a = Pop(10);
    EXPECT_EQ(a.rc, SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(a.message, full.substr(0, 9));
    EXPECT_EQ(a.length, static_cast<SQLSMALLINT>(full.size()));
    Popped b = Pop(0); // no room at all: nothing written, still the length
    EXPECT_EQ(b.rc, SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(b.length, static_cast<SQLSMALLINT>(full.size()));
    EXPECT_EQ(rcErrQueueCount(&queue), 0u);
}

TEST_F(RcErrorTest, NullOutputsAreSkipped)
{
    rcErrPost(&queue, RC_MSG_DATA_TRUNCATED, nullptr, 7, nullptr);
    SQLSMALLINT length = -1;
    EXPECT_EQ(rcErrSQLError(&queue, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, 0, &length),
              SQL_SUCCESS);
    EXPECT_EQ(length, static_cast<SQLSMALLINT>(std::strlen(
                          "[Zorvi][Zorvi ODBC Driver][Tabula File Library]Data truncated.")));
    EXPECT_EQ(rcErrSQLError(nullptr, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, 0, nullptr),
              SQL_NO_DATA_FOUND);
}

TEST_F(RcErrorTest, OverflowAnswersErrorUntilCleared)
{
    rcErrPost(&queue, RC_MSG_GENERAL_ERROR, nullptr, 0, nullptr);
    queue.overflow = 1; // as after a record lost for want of memory
    EXPECT_EQ(Pop().rc, SQL_ERROR);
    rcErrClearQueue(&queue);
    EXPECT_EQ(queue.overflow, 0u);
    EXPECT_EQ(Pop().rc, SQL_NO_DATA_FOUND);
}

TEST_F(RcErrorTest, HelpersPostTheirMessages)
{
    EXPECT_EQ(rcErrRaise(&queue, RC_MSG_FUNCTION_SEQUENCE_ERROR), -1);
    EXPECT_EQ(rcErrNotCapable(&queue), -1);
    rcErrPost5171(&queue, "careful");
    EXPECT_EQ(Pop().state, "S1010");
    EXPECT_EQ(Pop().state, "S1C00");
    Popped w = Pop();
    EXPECT_EQ(w.state, "01000");
    EXPECT_EQ(w.message, "[Zorvi][Zorvi ODBC Driver]careful");
    EXPECT_EQ(rcErrTxnState(5, "40001"), 3);
    EXPECT_EQ(rcErrTxnState(5, "S1000"), 5);
}

TEST_F(RcErrorTest, ConversionTextsFollowTheType)
{
    struct Case {
        int16_t type;
        const char *value;
        const char *text;
    } cases[] = {
        {-7, "2", "Error converting to Bit type.: 2"},
        {9, nullptr, "Error converting to Date type.."},
        {4, "x1", "Error converting to numeric type: x1"},
        {11, nullptr, "Error converting to numeric type."},
        {1, "abc", "Data conversion error: abc"},
        {-2, nullptr, "Data conversion error."},
    };
    for (const Case &c : cases) {
        rcErrPostLong(&queue, RC_MSG_ERROR_IN_ASSIGNMENT, c.type, c.value);
        Popped p = Pop();
        EXPECT_EQ(p.state, "22005");
        EXPECT_EQ(p.message, std::string("[Zorvi][Zorvi ODBC Driver]") + c.text) << c.type;
    }
}

TEST(RcStrings, TableHoldsMessagesAsStored)
{
    EXPECT_STREQ(rcResFind(RC_MSG_NO_ERROR), "00000No error.");
    EXPECT_STREQ(rcResFind(RC_MSG_KEY_VALUE_MUST_NOT_CONTAIN),
                 "08004Key value must not contain any of the following characters: [ ] { } ( ) , ; "
                 "? * = ! @");
    EXPECT_STREQ(rcResFind(RC_DRM_INVALID_CODEPAGE), "S1000Invalid CodePage.");
    EXPECT_STREQ(rcResFind(RC_ENG_PASSWORD_TOO_LONG), "28000Password too long.");
    EXPECT_STREQ(rcResFind(RC_PARSE_SYNTAX_ERROR), "Syntax error");
    EXPECT_STREQ(rcResFind(RC_PREFIX_TABULA_FILE_LIBRARY), "[Tabula File Library]");
    EXPECT_EQ(rcResFind(RC_MSG_UNMAPPED), nullptr);
    // every SQLSTATE-range text begins with five SQLSTATE characters
    for (size_t i = 0; i < kRcDriverStringTable.count; ++i) {
        const PlatStringEntry &e = kRcDriverStringTable.entries[i];
        if (i > 0) {
            ASSERT_LT(kRcDriverStringTable.entries[i - 1].id, e.id)
                << "table not sorted at " << e.id;
        }
        bool stated = (e.id >= 5100 && e.id <= 5182) || (e.id >= 11002 && e.id <= 11095) ||
                      (e.id >= 11401 && e.id <= 11495);
        if (stated) {
            EXPECT_GE(std::strlen(e.text), 5u) << e.id;
        }
    }
}

TEST(RcStrings, LoadersCutAndAnswerEmptyForMissingIds)
{
    EXPECT_STREQ(rcUtlLoadString(RC_MSG_GENERAL_ERROR), "S1000General error.");
    EXPECT_STREQ(rcUtlLoadString(4711), "");
    std::string long438 = rcResFind(RC_ENG_OUT_DISK_SPACE_WRITING_TEMPORARY);
    ASSERT_GT(long438.size(), 0u);
    char *block = rcUtlLoadStringEx(RC_ENG_OUT_DISK_SPACE_WRITING_TEMPORARY);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::string(block), long438);
    rcResFreeString(block);
    block = rcResLoadString(rcUtlGetModule(), 4711);
    ASSERT_NE(block, nullptr);
    EXPECT_STREQ(block, "");
    rcResFreeString(block);
}

} // namespace
