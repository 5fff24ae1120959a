#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/Sources/drm_text.h"

namespace {

std::vector<uint8_t> ToMac(std::vector<uint8_t> in, uint32_t cp = 1252)
{
    uint32_t n = 0;
    EXPECT_EQ(DrmTextPCToMac(cp, static_cast<uint32_t>(in.size()), in.data(), &n, in.data()), 0);
    in.resize(n);
    return in;
}

std::vector<uint8_t> ToPC(std::vector<uint8_t> in, uint32_t cp = 1252)
{
    uint32_t n = 0;
    EXPECT_EQ(DrmTextMacToPC(static_cast<uint32_t>(in.size()), in.data(), cp, &n, in.data()), 0);
    in.resize(n);
    return in;
}

TEST(MacText, EveryByteRoundTripsBothWays)
{
    std::vector<uint8_t> all;
    for (int b = 0; b < 256; ++b)
        if (b != '\n') // LF after CR is dropped toward the server
            all.push_back(static_cast<uint8_t>(b));
    EXPECT_EQ(ToPC(ToMac(all)), all);
    EXPECT_EQ(ToMac(ToPC(all)), all);
    // The tables are permutations of 0x80-0xFF.
    std::vector<bool> seen(256, false);
    for (int b = 0x80; b < 256; ++b) {
        uint8_t w = DrmMacToWindowsByte(static_cast<uint8_t>(b));
        ASSERT_GE(w, 0x80);
        EXPECT_FALSE(seen[w]) << b;
        seen[w] = true;
        EXPECT_EQ(DrmWindowsToMacByte(w), b);
    }
}

TEST(MacText, KnownCharacters)
{
    struct Case {
        uint8_t mac, win;
        const char *what;
    };
    const Case cases[] = {
        {0xA5, 0x95, "bullet"},  {0xAD, 0x80, "euro sign slot"}, {0xDB, 0xA4, "currency sign"},
        {0x8E, 0xE9, "e acute"}, {0x80, 0xC4, "A diaeresis"},    {0x41, 0x41, "ASCII kept"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(DrmMacToWindowsByte(c.mac), c.win) << c.what;
        EXPECT_EQ(DrmWindowsToMacByte(c.win), c.mac) << c.what;
    }
}

TEST(MacText, CrLfBecomesCrTowardTheServerOnly)
{
    EXPECT_EQ(ToMac({'a', '\r', '\n', 'b'}), (std::vector<uint8_t>{'a', '\r', 'b'}));
    EXPECT_EQ(ToPC({'a', '\r', 'b'}), (std::vector<uint8_t>{'a', '\r', 'b'}));
    // A leading LF and an LF after CR CR LF: only LFs right after a CR go.
    EXPECT_EQ(ToMac({'\n', '\r', '\r', '\n', '\n'}),
              (std::vector<uint8_t>{'\n', '\r', '\r', '\n'}));
}

TEST(MacText, JapaneseCodePagePassesUnchanged)
{
    std::vector<uint8_t> sjis = {0x82, 0xA0, '\r', '\n', 0x93, 0xFA};
    EXPECT_EQ(ToMac(sjis, 932), sjis);
    EXPECT_EQ(ToPC(sjis, 932), sjis);
}

TEST(MacText, OtherCodePagesUseTheSystemCharacterSets)
{
    // Mac e acute is 0xE9 in 1250 as in 1252; Mac Z caron has no Mac Roman
    // form, so Windows-1250 0x8E goes out as '?'; Cyrillic text of 1251
    // has no Mac Roman form at all.
    EXPECT_EQ(ToPC({0x8E}, 1250), (std::vector<uint8_t>{0xE9}));
    EXPECT_EQ(ToMac({0x8E}, 1250), (std::vector<uint8_t>{'?'}));
    EXPECT_EQ(ToMac({0xC0, 'a'}, 1251), (std::vector<uint8_t>{'?', 'a'}));
    // An unknown code page falls back to the Western tables.
    EXPECT_EQ(ToPC({0xA5}, 99999), (std::vector<uint8_t>{0x95}));
}

TEST(MacText, MeasuredLengthAndSeparateDestination)
{
    const char *src = "Caf\x8E"; // Mac e acute
    uint8_t out[8] = {};
    uint32_t n = 0;
    ASSERT_EQ(DrmTextMacToPC(kDrmLengthMeasure, reinterpret_cast<const uint8_t *>(src), 0, &n, out),
              0);
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out), n), "Caf\xE9");
}

TEST(MacText, LongTextsConvertEveryByteWhereverTheAccentsFall)
{
    // ASCII runs are taken eight bytes at a time: accents at every offset of
    // texts of every length around that step, in place and to another buffer.
    for (uint32_t cp : {1252u, 1250u}) {
        std::vector<uint8_t> one = {0x8E};
        const uint8_t eAcute = ToPC(one, cp)[0];
        for (size_t length = 0; length <= 40; ++length) {
            for (size_t accent = 0; accent <= length; ++accent) {
                SCOPED_TRACE(testing::Message()
                             << "cp " << cp << " length " << length << " accent " << accent);
                std::vector<uint8_t> mac(length), expected(length);
                for (size_t i = 0; i < length; ++i) {
                    mac[i] =
                        i == accent || i % 13 == 12 ? 0x8E : static_cast<uint8_t>('a' + i % 26);
                    expected[i] = mac[i] == 0x8E ? eAcute : mac[i];
                }
                EXPECT_EQ(ToPC(mac, cp), expected);
                std::vector<uint8_t> out(length + 1, 0xEE);
                uint32_t n = 0;
                ASSERT_EQ(
                    DrmTextMacToPC(static_cast<uint32_t>(length), mac.data(), cp, &n, out.data()),
                    0);
                EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + n), expected);
                EXPECT_EQ(out[length], 0xEE) << "nothing written past the text";
            }
        }
    }
}

TEST(WindowsText, CaseFoldingOfTheCodePage)
{
    EXPECT_TRUE(DrmTextEqualNoCase("customers", "CUSTOMERS"));
    EXPECT_TRUE(DrmTextEqualNoCase("Ann\xE9"
                                   "e",
                                   "ANN\xC9"
                                   "E"));
    EXPECT_FALSE(DrmTextEqualNoCase("Name", "Name2"));
    EXPECT_FALSE(DrmTextEqualNoCase("\xF7", "\xD7")); // division and multiplication signs
    EXPECT_EQ(DrmTextCompareNoCase("abc", "ABC"), 0);
    EXPECT_EQ(DrmTextCompareNoCase("abc", "abd"), -1);
    EXPECT_EQ(DrmTextCompareNoCase("abd", "ABC"), 1);
    EXPECT_EQ(DrmTextCompareNoCase("ab", "abc"), -1);
    // Accented letters sort beside their base letter, after it.
    EXPECT_EQ(DrmTextCompareNoCase("e", "\xE9"), -1);
    EXPECT_EQ(DrmTextCompareNoCase("\xE9t\xE9", "FIN"), -1);
}

} // namespace
