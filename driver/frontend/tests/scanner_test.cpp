#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/frontend/tests/frontend_test_util.h"

namespace {

using Tokens = std::vector<std::string>;

struct ScanCase {
    std::string text;
    bool escapes;
    Tokens tokens;
};

class ScannerTable : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScannerTable, TokensAndValues)
{
    const ScanCase &c = GetParam();
    EXPECT_EQ(ScanTokens(c.text.c_str(), c.escapes), c.tokens) << c.text;
}

const std::string k64(64, 'x');
const std::string k65(65, 'x');
const std::string k63(63, 'q');

// n copies of fill between two edge characters. Built in place: g++ 12 at -O3 reports a false
// -Wrestrict overlap for a literal prefixed to a std::string with operator+.
std::string Enclosed(char edge, size_t n, char fill)
{
    std::string s(n + 2, fill);
    s.front() = s.back() = edge;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ScannerTable,
    ::testing::Values(
        // Keywords in any case, identifiers.
        ScanCase{"select SELECT SeLeCt", true, {"SELECT", "SELECT", "SELECT"}},
        ScanCase{"a_b Emp2 \xE9t\xE9",
                 true,
                 {"IDENTIFIER:a_b", "IDENTIFIER:Emp2", "IDENTIFIER:\xE9t\xE9"}},
        ScanCase{"_ab", true, {"FAIL"}}, ScanCase{k64, true, {"IDENTIFIER:" + k64}},
        ScanCase{k65, true, {"FAIL"}}, ScanCase{"\"" + k63 + "\"", true, {"IDENTIFIER:" + k63}},
        ScanCase{"\"" + k63 + "q\"", true, {"FAIL"}},
        ScanCase{"\"a \"\"b\"\"\" \"\"", true, {"IDENTIFIER:a \"b\"", "IDENTIFIER"}},
        ScanCase{"\"open", true, {"\"", "IDENTIFIER:open"}}, ScanCase{"PROCEDURE", true, {"FAIL"}},
        ScanCase{"SVBEGIN SVEND", false, {"SVBEGIN", "SVEND"}},
        // Numbers at the 32-bit edge and the other number forms.
        ScanCase{"2147483647 2147483648", true, {"USINT_LIT:2147483647", "DECNUM_LIT:2147483648"}},
        ScanCase{"0000000001 00000000001 99999999999",
                 true,
                 {"USINT_LIT:0000000001", "DECNUM_LIT:00000000001", "DECNUM_LIT:99999999999"}},
        ScanCase{"1.5E3 1e+5 2.e-1 .5e2",
                 true,
                 {"APPROX_NUM_LIT:1.5E3", "APPROX_NUM_LIT:1e+5", "APPROX_NUM_LIT:2.e-1",
                  "APPROX_NUM_LIT:.5e2"}},
        ScanCase{"12. .5 1.5E",
                 true,
                 {"DECNUM_LIT:12.", "DECNUM_LIT:.5", "DECNUM_LIT:1.5", "IDENTIFIER:E"}},
        // String literals keep their quotes and lose the doubling.
        ScanCase{"'it''s' ''", true, {"CHAR_STR_LIT:'it's'", "CHAR_STR_LIT:''"}},
        ScanCase{"'open", true, {"FAIL"}},
        // NOT LIKE is one token across any white space, LIKE as a whole word.
        ScanCase{"NOT   LIKE", true, {"NOT LIKE"}},
        ScanCase{"not\r\n\tlike x", true, {"NOT LIKE", "IDENTIFIER:x"}},
        ScanCase{
            "NOTLIKE NOT LIKEWISE", true, {"IDENTIFIER:NOTLIKE", "NOT", "IDENTIFIER:LIKEWISE"}},
        // Operators and punctuation; there are no comments.
        ScanCase{"<= >= <> < > = * , ? ( ) + - . [ ] }",
                 true,
                 {"<=", ">=", "<>", "<", ">", "=", "*", ",", "?", "(", ")", "+", "-", ".", "[", "]",
                  "}"}},
        ScanCase{"a--b", true, {"IDENTIFIER:a", "-", "-", "IDENTIFIER:b"}},
        ScanCase{"a # b", true, {"IDENTIFIER:a", "FAIL"}},
        // Paths, and division after an operand.
        ScanCase{"c:\\data\\emp", true, {"PATH:c:\\data\\", "IDENTIFIER:emp"}},
        ScanCase{"FROM \\\\server\\share\\ t",
                 true,
                 {"FROM", "PATH:\\\\server\\share\\", "IDENTIFIER:t"}},
        ScanCase{"FROM /data/ t", true, {"FROM", "PATH:/data/", "IDENTIFIER:t"}},
        ScanCase{"a/b/c", true, {"IDENTIFIER:a", "/", "IDENTIFIER:b", "/", "IDENTIFIER:c"}},
        ScanCase{"(a)/b/ ?/c/ 2/x/",
                 true,
                 {"(", "IDENTIFIER:a", ")", "/", "IDENTIFIER:b", "/", "?", "/", "IDENTIFIER:c", "/",
                  "USINT_LIT:2", "/", "IDENTIFIER:x", "/"}},
        ScanCase{"= //x/", true, {"=", "/", "PATH:/x/"}},
        // Escapes on and off.
        ScanCase{"{fn ucase(a)}",
                 true,
                 {"{", "#400", "IDENTIFIER:ucase", "(", "IDENTIFIER:a", ")", "}"}},
        ScanCase{"{fn ucase(a)}", false, {"FAIL"}},
        ScanCase{"{? = call p}", true, {"{", "?", "=", "#401", "IDENTIFIER:p", "}"}},
        ScanCase{"fn d ts", true, {"IDENTIFIER:fn", "IDENTIFIER:d", "IDENTIFIER:ts"}},
        ScanCase{"--(*vendor(MicroSoft),product(ODBC) d '1999-01-01'*)--",
                 true,
                 {"SVBEGIN", "IDENTIFIER:vendor", "(", "IDENTIFIER:MicroSoft", ")", ",",
                  "IDENTIFIER:product", "(", "IDENTIFIER:ODBC", ")", "#402",
                  "CHAR_STR_LIT:'1999-01-01'", "SVEND"}},
        ScanCase{"--(*", false, {"FAIL"}}));

TEST(Scanner, BlankRunOfAnyLengthIsWhiteSpace)
{
    std::string text(1, 'a');
    text.append(5000, ' ').append("\n\t b");
    EXPECT_EQ(ScanTokens(text.c_str()), (Tokens{"IDENTIFIER:a", "IDENTIFIER:b"}));
}

TEST(Scanner, OverlongTokenFailsWithItsMessage)
{
    struct Case {
        std::string text;
        uint16_t message; // 0: scans fine
    };
    const Case cases[] = {
        {Enclosed('\'', 1097, 'x'), 0},
        {Enclosed('\'', 1098, 'x'), 1522},
        {Enclosed('/', 297, 'p'), 0},
        {Enclosed('/', 299, 'p'), 1522}, // a path is never cut short
        {k65, 1510},
        {"\"" + k63 + "q\"", 1510},
        {"schema", 1515},
    };
    for (const Case &c : cases) {
        Tokens tokens = ScanTokens(c.text.c_str());
        if (c.message == 0) {
            EXPECT_EQ(tokens.size(), 1u) << c.text.substr(0, 20);
            EXPECT_NE(tokens.back(), "FAIL");
        } else {
            EXPECT_EQ(tokens.back(), "FAIL") << c.text.substr(0, 20);
            EXPECT_EQ(rcPrsLastErrorId(), c.message) << c.text.substr(0, 20);
        }
    }
}

TEST(Scanner, EveryTokenOwnsItsText)
{
    // More identifiers and literals than any rotation of buffers would hold:
    // every node still has its own text at the end.
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += "id" + std::to_string(i) + " '" + std::to_string(i) + "' ";
    rcMemPool arena = rcPrsNewArena();
    rcPrsContext ctx;
    ctx.arena = arena;
    rcPrsScanReset(&ctx.scan, text.c_str(), true);
    std::vector<rcParseNode *> nodes;
    rcParseNode *value = nullptr;
    while (rcPrsScan(&ctx, &value) > 0)
        nodes.push_back(value);
    ASSERT_EQ(nodes.size(), 80u);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(std::string(nodes[2 * i]->text), "id" + std::to_string(i));
        EXPECT_EQ(std::string(nodes[2 * i + 1]->text),
                  std::string(1, '\'').append(std::to_string(i)).append(1, '\''));
    }
    rcPrsFreeArena(arena);
}

} // namespace
