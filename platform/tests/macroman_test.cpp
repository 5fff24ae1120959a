// The two Mac Roman <-> Windows-1252 mappings: each direction is the exact
// inverse of the other over all 256 bytes, and the two mappings keep the
// characters where they differ on purpose.
#include "platform/macroman.h"

#include <gtest/gtest.h>

namespace {

struct Mapping {
    const char *name;
    const PlatMacRomanMapping &map;
};

const Mapping kMappings[] = {{"names", kPlatMacRomanNames}, {"records", kPlatMacRomanRecords}};

TEST(MacRoman, EachMappingIsAnExactInverseOverAllBytes)
{
    for (const Mapping &m : kMappings) {
        for (int b = 0; b < 256; ++b) {
            uint8_t c = static_cast<uint8_t>(b);
            EXPECT_EQ(PlatWinToMac(m.map, PlatMacToWin(m.map, c)), c) << m.name << " Mac " << b;
            EXPECT_EQ(PlatMacToWin(m.map, PlatWinToMac(m.map, c)), c) << m.name << " Windows " << b;
            if (b < 0x80) {
                EXPECT_EQ(PlatMacToWin(m.map, c), c) << m.name;
                EXPECT_EQ(PlatWinToMac(m.map, c), c) << m.name;
            } else {
                EXPECT_GE(PlatMacToWin(m.map, c), 0x80) << m.name << " Mac " << b;
            }
        }
    }
}

TEST(MacRoman, SharedCharactersAgreeAndMac0xDBDiffers)
{
    struct Case {
        uint8_t mac, win;
    };
    // Characters both sets have map alike in both mappings.
    const Case shared[] = {{0x80, 0xC4} /* A diaeresis */,    {0x8E, 0xE9} /* e acute */,
                           {0xA7, 0xDF} /* sharp s */,        {0xA5, 0x95} /* bullet */,
                           {0xCA, 0xA0} /* no-break space */, {0xD2, 0x93} /* left double quote */};
    for (const Mapping &m : kMappings)
        for (const Case &c : shared) {
            EXPECT_EQ(PlatMacToWin(m.map, c.mac), c.win) << m.name << " " << int(c.mac);
            EXPECT_EQ(PlatWinToMac(m.map, c.win), c.mac) << m.name << " " << int(c.win);
        }
    EXPECT_EQ(PlatMacToWin(kPlatMacRomanNames, 0xDB), 0x80);   // euro sign
    EXPECT_EQ(PlatMacToWin(kPlatMacRomanRecords, 0xDB), 0xA4); // currency sign
}

} // namespace
