// The byte codec: key XOR, 10-byte reals, bounded readers and writers, and
// the name tables.
#include "netclient/nc_charset.h"
#include "netclient/nc_codec.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

using Bytes = std::vector<uint8_t>;

TEST(Codec, XorOnlyWholeGroupsWithKeyBytesAsReceived)
{
    const uint8_t key[4] = {0x00, 0xA5, 0x00, 0x5A}; // zero bytes are ordinary key bytes
    struct Case {
        Bytes in, out;
    } cases[] = {
        {{1, 2, 3, 4, 5, 6}, {1, 2 ^ 0xA5, 3, 4 ^ 0x5A, 5, 6}}, // 6 bytes: only the first 4
        {{7, 8, 9}, {7, 8, 9}},                                 // 3 bytes: unchanged
        {{1, 1, 1, 1, 1, 1, 1, 1}, {1, 1 ^ 0xA5, 1, 1 ^ 0x5A, 1, 1 ^ 0xA5, 1, 1 ^ 0x5A}},
        {{}, {}},
    };
    for (Case &c : cases) {
        Bytes b = c.in;
        nc::XorWithSessionKey(b.data(), b.size(), key);
        EXPECT_EQ(b, c.out);
        nc::XorWithSessionKey(b.data(), b.size(), key);
        EXPECT_EQ(b, c.in) << "twice restores";
    }
}

TEST(Codec, RealWireForm)
{
    struct Case {
        double value;
        Bytes wire;
    } cases[] = {
        {0.0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {1.0, {0x3F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0}},
        {-2.5, {0xC0, 0x00, 0xA0, 0, 0, 0, 0, 0, 0, 0}},
        {std::numeric_limits<double>::infinity(), {0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case &c : cases) {
        uint8_t out[10];
        nc::RealToServer(c.value, out);
        EXPECT_EQ(Bytes(out, out + 10), c.wire) << c.value;
        EXPECT_EQ(nc::RealFromServer(c.wire.data()), c.value);
    }
}

TEST(Codec, RealRoundTripKeepsSpecialAndExtremeValues)
{
    const double values[] = {1e-310 /* denormal */,
                             std::numeric_limits<double>::denorm_min(),
                             std::numeric_limits<double>::max(),
                             -std::numeric_limits<double>::min(),
                             -std::numeric_limits<double>::infinity(),
                             3.141592653589793,
                             -0.0};
    for (double v : values) {
        uint8_t w[10];
        nc::RealToServer(v, w);
        double back = nc::RealFromServer(w);
        EXPECT_EQ(std::signbit(back), std::signbit(v));
        EXPECT_EQ(back, v) << v;
    }
    uint8_t w[10];
    nc::RealToServer(std::nan(""), w);
    EXPECT_TRUE(std::isnan(nc::RealFromServer(w)));
}

TEST(Codec, RealsOutsideTheDoubleRangeSaturate)
{
    // Exponent 0x7000 (far above a double's range) and 0x0100 (far below).
    const Bytes huge{0x70, 0x00, 0x80, 0, 0, 0, 0, 0, 0, 0};
    const Bytes tiny{0x81, 0x00, 0x80, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(nc::RealFromServer(huge.data()), std::numeric_limits<double>::infinity());
    double t = nc::RealFromServer(tiny.data());
    EXPECT_EQ(t, 0.0);
    EXPECT_TRUE(std::signbit(t));
    // A server NaN (all-ones exponent, fraction set) stays NaN.
    const Bytes nan{0x7F, 0xFF, 0xC0, 0, 0, 0, 0, 0, 0, 1};
    EXPECT_TRUE(std::isnan(nc::RealFromServer(nan.data())));
}

TEST(Codec, WriterAndReaderStayInsideTheirSpan)
{
    uint8_t buf[5];
    nc::NcWriter w(buf, sizeof buf, true);
    w.I16(0x0102);
    w.I16(0x0304);
    EXPECT_FALSE(w.Failed());
    w.I16(0x0506); // one byte of room left
    EXPECT_TRUE(w.Failed());
    EXPECT_EQ(w.Size(), 4u);
    EXPECT_EQ(Bytes(buf, buf + 4), (Bytes{1, 2, 3, 4})) << "swapped: big-endian on this host";

    nc::NcReader r(buf, 4, true);
    EXPECT_EQ(r.I32(), 0x01020304);
    EXPECT_EQ(r.I16(), 0);
    EXPECT_TRUE(r.Failed());
    nc::NcReader r2(buf, 3, false);
    EXPECT_EQ(r2.Bytes(4), nullptr);
    EXPECT_TRUE(r2.Failed());
}

TEST(Charset, TablesAreExactInversesAndKnownCharactersMap)
{
    uint8_t m2w[256], w2m[256];
    nc::BuildCharsetTables(m2w, w2m);
    for (int c = 0; c < 256; ++c) {
        EXPECT_EQ(w2m[m2w[c]], c) << "Mac " << c;
        EXPECT_EQ(m2w[w2m[c]], c) << "Windows " << c;
    }
    // Mac Roman -> Windows 1252 of characters both sides have.
    struct Case {
        uint8_t mac, win;
    } known[] = {{0x80, 0xC4} /* A umlaut */,
                 {0x8E, 0xE9} /* e acute */,
                 {0xA7, 0xDF} /* sharp s */,
                 {0xE4, 0x89} /* per mille */,
                 {0xE5, 0xC2} /* A circumflex */,
                 {0xF4, 0xD9} /* U grave */,
                 {0xC4, 0x83} /* f hook */,
                 {0xDB, 0x80} /* euro */,
                 {0xD2, 0x93} /* left double quote */,
                 {0xCA, 0xA0} /* no-break space */};
    for (const Case &k : known) {
        EXPECT_EQ(m2w[k.mac], k.win) << std::hex << int(k.mac);
        EXPECT_EQ(w2m[k.win], k.mac);
    }
    Bytes text{'C', 'a', 'f', 0xE9, 0x80};
    Bytes orig = text;
    nc::ConvertPCToMacText(text.data(), long(text.size()));
    EXPECT_EQ(text, (Bytes{'C', 'a', 'f', 0x8E, 0xDB}));
    nc::ConvertMacToPCText(text.data(), long(text.size()));
    EXPECT_EQ(text, orig);
    nc::ConvertMacToPCText(text.data(), 0); // out of range: unchanged
    EXPECT_EQ(text, orig);
}

} // namespace
