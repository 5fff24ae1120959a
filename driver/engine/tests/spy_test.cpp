// The diagnostic dumps: nothing while the spy output is closed, the documented
// lines when it is open, and malformed word arrays shown as warnings.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/engine/rcspy.h"

namespace {

// Builds a word array whose word 0 is its size in bytes.
struct Words {
    std::vector<uint32_t> w{0};
    uint32_t Add(std::initializer_list<uint32_t> node)
    {
        uint32_t at = static_cast<uint32_t>(w.size());
        // Word by word: g++ 12 at -O3 reports a false overflow for insert() of a list.
        for (uint32_t v : node)
            w.push_back(v);
        w[0] = static_cast<uint32_t>(w.size() * 4);
        return at;
    }
    void Set(size_t at, uint32_t value) { w[at] = value; }
    const uint32_t *data() const { return w.data(); }
};

// A data tree: word 0 its size, word 1 reserved, values on 8-byte boundaries.
struct DataTree {
    std::vector<uint32_t> w{16, 0};
    uint32_t AddBytes(const void *bytes, size_t n)
    {
        uint32_t offset = static_cast<uint32_t>(w.size() * 4);
        size_t slots = (n + 8) / 8 * 2;
        size_t at = w.size();
        w.resize(w.size() + slots, 0);
        std::memcpy(&w[at], bytes, n);
        w[0] = static_cast<uint32_t>(w.size() * 4);
        return offset;
    }
    const uint32_t *data() const { return w.data(); }
};

std::string gSeen;

class SpyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gSeen.clear();
        rcSpySetSink([](void *, const char *text, size_t n) { gSeen.append(text, n); }, nullptr);
    }
    void TearDown() override
    {
        rcSpyClose();
        rcSpySetSink(nullptr, nullptr);
    }
};

TEST_F(SpyTest, FilterTreeLinesIndentFourBlanksPerLevel)
{
    DataTree data;
    int32_t fortyTwo = 42;
    uint32_t longAt = data.AddBytes(&fortyTwo, 4);
    uint32_t textAt = data.AddBytes("abc", 3);
    Words f;
    uint32_t root = f.Add({1001, 2, 0, 0});   // AND
    uint32_t orNode = f.Add({1002, 2, 0, 0}); // OR
    uint32_t eq = f.Add({1004, 2, 0, 0});     // EQ
    uint32_t col = f.Add({500, 7, 3});
    uint32_t lit = f.Add({4, 4, 0, longAt});
    uint32_t like = f.Add({1018, 2, 0, 0});
    uint32_t col2 = f.Add({500, 7, 1});
    uint32_t text = f.Add({10, 3, 0, textAt});
    uint32_t param = f.Add({4, 4, 1, 0x1000});
    f.Set(root + 2, orNode);
    f.Set(root + 3, param);
    f.Set(orNode + 2, eq);
    f.Set(orNode + 3, like);
    f.Set(eq + 2, col);
    f.Set(eq + 3, lit);
    f.Set(like + 2, col2);
    f.Set(like + 3, text);
    EXPECT_EQ(rcSpyFormatFilterTree(f.data(), data.data()),
              "Operator: AND\r\n"
              "    Operator: OR\r\n"
              "        Operator: EQ\r\n"
              "            Column: TabID=7, ColID=3\r\n"
              "            Literal: Long: 42\r\n"
              "        Operator: LIKE\r\n"
              "            Column: TabID=7, ColID=1\r\n"
              "            Literal: Text: abc\r\n"
              "    Dynamic: Long: Param=4096\r\n");
}

TEST_F(SpyTest, MalformedTreesShowWarningsAndReadNothingOutside)
{
    DataTree data;
    std::string longText(65, 'x');
    uint32_t longAt = data.AddBytes(longText.data(), longText.size());
    Words f;
    uint32_t root = f.Add({1001, 5, 0, 0, 0, 0, 0});
    uint32_t back = f.Add({1003, 1, 1}); // NOT whose child is the root: a cycle
    uint32_t unknownOp = f.Add({1500});
    uint32_t badValue = f.Add({4, 4, 0, 4000}); // offset outside the data tree
    uint32_t tooLong = f.Add({10, 65, 0, longAt});
    f.Set(root + 2, back);
    f.Set(root + 3, unknownOp);
    f.Set(root + 4, badValue);
    f.Set(root + 5, tooLong);
    f.Set(root + 6, 999); // past the end
    EXPECT_EQ(rcSpyFormatFilterTree(f.data(), data.data()),
              "Operator: AND\r\n"
              "    Operator: NOT\r\n"
              "        WARNING! Bad node index 1.\r\n"
              "    WARNING! Unknown operator node type.\r\n"
              "    Literal: Long: WARNING! Value outside the data tree.\r\n"
              "    Literal: Text: Data too long to display.\r\n"
              "    WARNING! Bad node index 999.\r\n");
    // A child count that runs past the end, and an empty tree.
    Words g;
    g.Add({1002, 40, 2});
    EXPECT_EQ(rcSpyFormatFilterTree(g.data(), nullptr),
              "Operator: OR\r\n    WARNING! Child list runs past the end of the tree.\r\n");
    uint32_t empty[] = {4};
    EXPECT_EQ(rcSpyFormatFilterTree(empty, nullptr),
              "WARNING! Empty or malformed filter tree.\r\n");
}

TEST_F(SpyTest, WordDumpShowsBytesInMemoryOrder)
{
    uint32_t block[2] = {8, 0};
    const uint8_t bytes[4] = {'C', 'B', 0, 'A'};
    std::memcpy(&block[1], bytes, 4);
    std::string expected = "  [ 0]    0x00000008    . . . .    8\r\n";
    char line[80];
    std::snprintf(line, sizeof line, "  [ 1]    0x%08x    C B . A    %d\r\n", block[1],
                  static_cast<int32_t>(block[1]));
    expected += line;
    EXPECT_EQ(rcSpyFormatWords(block), expected);

    uint32_t list[] = {20, 11, 1, 12, 4};
    EXPECT_EQ(rcSpyFormatRetrieveList(list),
              "RETRIEVE: 2 columns\r\n    Cursor=11, Column=1\r\n    Cursor=12, Column=4\r\n");
    uint32_t bad[] = {9, 1, 2};
    EXPECT_EQ(rcSpyFormatRetrieveList(bad), "WARNING! Retrieve list of 9 bytes is malformed.\r\n");
}

TEST_F(SpyTest, PredicateArgumentsAndColumnValues)
{
    uint32_t block[8] = {};
    std::memcpy(&block[2], "CONTAINS", 9);
    block[5] = 0x00070003;
    std::memcpy(&block[6], "ab", 3);
    struct Case {
        rcSpyPredArg arg;
        const char *line;
    };
    const Case cases[] = {
        {{RC_SPY_ARG_PREDNAME, 10, 2, 0},
         "PredID=3: ArgType=PredName, DRM_COLTYPE=10, Data Offset=2, NULL=0, CONTAINS\r\n"},
        {{RC_SPY_ARG_COLID, 4, 5, 0},
         "PredID=3: ArgType=ColID, DRM_COLTYPE=4, Data Offset=5, NULL=0, TabID,ColID=70003\r\n"},
        {{RC_SPY_ARG_LITERAL, 10, 6, 0},
         "PredID=3: ArgType=Literal, DRM_COLTYPE=10, Data Offset=6, NULL=0, 'ab'\r\n"},
        {{RC_SPY_ARG_SEPARATOR, 0, 6, 0},
         "PredID=3: ArgType=Seperator, DRM_COLTYPE=0, Data Offset=6, NULL=0, a\r\n"},
        {{RC_SPY_ARG_LITERAL, 10, 8, 0},
         "PredID=3: ArgType=Literal, DRM_COLTYPE=10, Data Offset=8, NULL=0, WARNING! Data offset "
         "outside the block.\r\n"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(rcSpyFormatPredicateArg(3, c.arg, block, 8), c.line);

    // Three values: a long, a NULL text, one of unknown type (skipped).
    uint32_t values[16] = {3, 4, 8, 11, 4, 4, 0, 0xFFFFFFFF, 10, 0, 1, 77, 1, 0, 0, 0};
    EXPECT_EQ(rcSpyFormatColumnValues(values, 16),
              "DRM_COLTYPE=4, DataLen=4, NULL=0\r\n-1\r\nDRM_COLTYPE=10, DataLen=0, NULL=1\r\n");
}

TEST_F(SpyTest, DumpsWriteOnlyWhileTheOutputIsOpen)
{
    Words f;
    f.Add({500, 1, 2});
    rcSpyDump(RC_SPY_FILTER_TREE, f.data());
    rcSpyDump(RC_SPY_TABLE_NAME, "EMP");
    rcSpyWrite("text");
    EXPECT_EQ(gSeen, "");
    rcSpyOpen();
    rcSpyDump(RC_SPY_TABLE_NAME, "EMP");
    rcSpyDump(RC_SPY_FILTER_TREE, f.data());
    rcSpyDump(RC_SPY_TEXT, "done\r\n");
    EXPECT_EQ(gSeen, "\r\n---------------------------------\r\nTABLE: EMP\r\n"
                     "Column: TabID=1, ColID=2\r\ndone\r\n");
    rcSpyClose();
    rcSpyDump(RC_SPY_TEXT, "more");
    EXPECT_EQ(gSeen.find("more"), std::string::npos);
}

} // namespace
