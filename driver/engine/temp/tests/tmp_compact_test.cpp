// Compact tables: short values of wide declared columns take their length in
// the row buffer and the spill file, and the settled table reads, sorts and
// compares exactly as a table of the fixed layout.
#include "driver/engine/temp/tests/tmp_fixture.h"

#include "driver/core/rcmsgid.h"
#include "driver/engine/temp/rcswp.h"

#include <filesystem>
#include <optional>
#include <random>

namespace {

enum : uint16_t { ID, TXT, BIN, NUM };

struct Value {
    int32_t id;
    std::optional<std::string> text; // mostly short; a few near and past 255 bytes
    std::string bin;
    int32_t num;
};

std::vector<Value> makeValues(int count)
{
    std::mt19937 rng(99);
    static const char alphabet[] = "aAbB zZ09";
    std::vector<Value> values;
    for (int n = 0; n < count; ++n) {
        Value v{n, std::nullopt, std::string(rng() % 6, char('a' + rng() % 3)), int32_t(rng() % 7)};
        if (rng() % 9 != 0) {
            size_t len = rng() % 40 == 0 ? 250 + rng() % 20 : rng() % 9;
            std::string s(len, ' ');
            for (char &c : s)
                c = alphabet[rng() % (sizeof alphabet - 1)];
            v.text = s;
        }
        values.push_back(v);
    }
    return values;
}

uint64_t bytesIn(const std::string &dir)
{
    uint64_t total = 0;
    for (const auto &e : std::filesystem::directory_iterator(dir))
        total += e.file_size();
    return total;
}

} // namespace

class TmpCompactTest : public TmpTest {
protected:

    struct Outcome {
        std::vector<std::string> rows; // each row read back as text
        std::vector<uint32_t> messages;
        uint64_t spillBytes = 0; // the spill file after the puts
        uint64_t sortedBytes = 0; // the files once sorted
    };

    Outcome run(const std::vector<Value> &values, bool compact, Mode mode, bool desc)
    {
        Outcome out;
        rcTmpOwner owner = ownerFor(mode);
        TempTable *t;
        EXPECT_EQ(rcTmpCreate(owner, &t), 0);
        EXPECT_EQ(rcTmpAddColumn(t, SQL_INTEGER, 0, 4), 0);
        EXPECT_EQ(rcTmpAddColumn(t, SQL_LONGVARCHAR, 0, 8000), 0);
        EXPECT_EQ(rcTmpAddColumn(t, SQL_VARBINARY, 0, 2000), 0);
        EXPECT_EQ(rcTmpAddColumn(t, SQL_INTEGER, 0, 4), 0);
        EXPECT_EQ(rcTmpSetSortKey(t, 0, TXT, desc), 0);
        EXPECT_EQ(rcTmpSetSortKey(t, 1, NUM, !desc), 0);
        if (compact) {
            EXPECT_EQ(rcTmpSetCompact(t), 0);
        }
        for (const Value &v : values) {
            EXPECT_GE(rcTmpPutColumn(t, &v.id, ID, false), 0);
            EXPECT_GE(rcTmpPutColumn(t, v.text ? v.text->c_str() : nullptr, TXT, !v.text), 0);
            EXPECT_GE(
                rcTmpPutColumnLen(t, v.bin.data(), int32_t(v.bin.size()), BIN, false), 0);
            EXPECT_GE(rcTmpPutColumn(t, &v.num, NUM, false), 0);
        }
        out.spillBytes = bytesIn(dir_);
        EXPECT_EQ(rcSwpSortExec(t), 0);
        out.sortedBytes = bytesIn(dir_);
        int64_t row = 0;
        while (rcTmpMove(t, 1) == 0) {
            int32_t id = -1, num = -1, ind = 0, tind = 0, bind = 0, blen = 0;
            char text[400] = "";
            unsigned char bin[64];
            EXPECT_EQ(rcTmpGetColumn(t, ID, &id, sizeof id, SQL_C_LONG, &ind), 0);
            EXPECT_EQ(rcTmpGetColumn(t, TXT, text, sizeof text, SQL_C_CHAR, &tind), 0);
            EXPECT_EQ(rcTmpGetColumn(t, BIN, bin, sizeof bin, SQL_C_BINARY, &bind, &blen), 0);
            EXPECT_EQ(rcTmpGetColumn(t, NUM, &num, sizeof num, SQL_C_LONG, &ind), 0);
            // Equal neighbours compare equal, as groups and DISTINCT need.
            int cmp = row > 0 ? rcTmpCompareRows(t, row - 1, row) : 0;
            out.rows.push_back(std::to_string(id) + "|" + (tind ? "NULL" : text) + "|" +
                               std::string(reinterpret_cast<char *>(bin), size_t(blen)) + "|" +
                               std::to_string(num) + "|" + std::to_string(cmp < 0 ? -1 : cmp > 0));
            ++row;
        }
        rcTmpFree(t);
        out.messages = takeMessages();
        return out;
    }
};

// The fixed layout gives the reference: the same rows in the same order, the
// same values (texts past 255 bytes cut with one 01004), NULLs, both
// directions, in memory, after a spill and with the external sort forced.
TEST_F(TmpCompactTest, ShortValuesOfWideColumnsReadSortAndCompareAsTheFixedLayout)
{
    std::vector<Value> values = makeValues(3000);
    for (bool desc : {false, true}) {
        for (Mode mode : {InMemory, Spilled, NoOptSort}) {
            Outcome fixed = run(values, false, mode, desc);
            Outcome compact = run(values, true, mode, desc);
            std::string which = std::string(desc ? "DESC" : "ASC") + " mode " +
                                std::to_string(int(mode));
            EXPECT_EQ(compact.rows, fixed.rows) << which;
            EXPECT_EQ(compact.messages, fixed.messages) << which;
            EXPECT_EQ(fixed.messages, std::vector<uint32_t>{RC_MSG_DATA_TRUNCATED}) << which;
            ASSERT_EQ(compact.rows.size(), values.size());
        }
    }
}

// 3000 rows of a few bytes each: the fixed layout writes 536 bytes a row; the
// compact stream and the settled file (44 bytes a row) stay near the data.
TEST_F(TmpCompactTest, SpillFileStaysNearTheDataSize)
{
    std::vector<Value> values = makeValues(3000);
    for (Value &v : values)
        if (v.text && v.text->size() > 8)
            v.text->resize(8);
    Outcome fixed = run(values, false, Spilled, false);
    Outcome compact = run(values, true, Spilled, false);
    EXPECT_EQ(compact.rows, fixed.rows);
    EXPECT_GT(fixed.spillBytes, values.size() * 500);
    EXPECT_LT(compact.spillBytes, values.size() * 40);
    EXPECT_EQ(compact.sortedBytes, values.size() * 44);
    EXPECT_EQ(fixed.sortedBytes, values.size() * 536);
}

// A table that has settled refuses whole rows; cleared, it takes puts at the
// declared widths again.
TEST_F(TmpCompactTest, ClearedTableTakesLongValuesAgain)
{
    TempTable *t;
    ASSERT_EQ(rcTmpCreate(owner_, &t), 0);
    ASSERT_EQ(rcTmpAddColumn(t, SQL_VARCHAR, 0, 1000), 0);
    ASSERT_EQ(rcTmpSetCompact(t), 0);
    ASSERT_EQ(rcTmpPutColumn(t, "ab", 0, false), 0);
    ASSERT_EQ(rcTmpSetRow(t, 0), 0);
    EXPECT_EQ(t->columns[0].valueSize, 3u);
    unsigned char row[8] = {};
    EXPECT_EQ(rcTmpAppendRow(t, row), -1);
    ASSERT_EQ(rcTmpClearRows(t), 0);
    std::string longer(200, 'x');
    ASSERT_EQ(rcTmpPutColumn(t, longer.c_str(), 0, false), 0);
    ASSERT_EQ(rcTmpSetRow(t, 0), 0);
    char back[300];
    int32_t ind = 0;
    EXPECT_EQ(rcTmpGetColumn(t, 0, back, sizeof back, SQL_C_CHAR, &ind), 0);
    EXPECT_EQ(std::string(back), longer);
    rcTmpFree(t);
    EXPECT_EQ(takeMessages(), std::vector<uint32_t>{RC_MSG_GENERAL_ERROR});
}
