// The byte codec: key XOR, 10-byte reals, bounded readers and writers, and
// the name tables.
#include "netclient/nc_charset.h"
#include "netclient/nc_codec.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

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

// Same value bit for bit (a NaN only has to be a NaN).
bool SameDouble(double a, double b)
{
    return std::isnan(a) ? std::isnan(b) : std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}
std::string Hex(double d)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%a", d);
    return buf;
}

// The server's form of doubles, the special ones included. The emulator's
// tests hold the same bytes for its own codec.
TEST(Codec, RealGoldenBytesBothWays)
{
    using L = std::numeric_limits<double>;
    struct Case {
        double value;
        Bytes wire;
    } cases[] = {
        {0.0, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {-0.0, {0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {1.0, {0x3F, 0xFF, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {-2.5, {0xC0, 0x00, 0xA0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {0.1, {0x3F, 0xFB, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xD0, 0x00}},
        {L::max(), {0x43, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF8, 0x00}},
        {-L::min(), {0xBC, 0x01, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {L::denorm_min(), {0x3B, 0xCD, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {std::nextafter(L::min(), 0.0), // the largest subnormal
         {0x3C, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF0, 0x00}},
        {1e-310, {0x3B, 0xF9, 0x93, 0x44, 0x5B, 0x87, 0x31, 0x58, 0x00, 0x00}},
        {L::infinity(), {0x7F, 0xFF, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {-L::infinity(), {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {std::bit_cast<double>(uint64_t{0x7FF8000000000000}),
         {0x7F, 0xFF, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {std::bit_cast<double>(uint64_t{0xFFF8000000000000}),
         {0xFF, 0xFF, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {std::bit_cast<double>(uint64_t{0x7FF0000000000001}), // a signalling NaN
         {0x7F, 0xFF, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00}},
    };
    for (const Case &c : cases) {
        uint8_t out[10];
        nc::RealToServer(c.value, out);
        EXPECT_EQ(Bytes(out, out + 10), c.wire) << Hex(c.value);
        double back = nc::RealFromServer(c.wire.data());
        EXPECT_EQ(std::bit_cast<uint64_t>(back), std::bit_cast<uint64_t>(c.value))
            << Hex(c.value) << " read as " << Hex(back);
    }
}

TEST(Codec, EveryDoubleComesBackBitForBit)
{
    // Walk the exponents and a few fractions of each, both signs, with the
    // neighbours of the range ends.
    std::vector<double> values;
    for (uint64_t exp = 0; exp <= 0x7FF; ++exp)
        for (uint64_t frac : {uint64_t{0}, uint64_t{1}, uint64_t{0x8000000000000},
                              uint64_t{0xFFFFFFFFFFFFF}, uint64_t{0x123456789ABCD}})
            for (uint64_t sign : {uint64_t{0}, uint64_t{1}})
                values.push_back(std::bit_cast<double>((sign << 63) | (exp << 52) | frac));
    for (double v : values) {
        uint8_t w[10];
        nc::RealToServer(v, w);
        double back = nc::RealFromServer(w);
        ASSERT_EQ(std::bit_cast<uint64_t>(back), std::bit_cast<uint64_t>(v))
            << Hex(v) << " read as " << Hex(back);
    }
}

// Server reals that no double holds: beyond the range an infinity of the
// sign, extra mantissa bits cut (not rounded), below the range a subnormal or
// a zero of the sign; forms with the integer bit clear read by their value.
TEST(Codec, RealsWithoutADoubleReadAsTheNearestTowardZero)
{
    using L = std::numeric_limits<double>;
    struct Case {
        const char *what;
        Bytes wire;
        double want;
    } cases[] = {
        {"2^1024", {0x43, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0}, L::infinity()},
        {"-2^16383", {0xFF, 0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0}, -L::infinity()},
        {"just above DBL_MAX", {0x43, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFC, 0x00},
         L::max()},
        {"1 + 2^-63", {0x3F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 1}, 1.0},
        {"-(1 + 2^-53)", {0xBF, 0xFF, 0x80, 0, 0, 0, 0, 0, 0x04, 0x00}, -1.0},
        {"2^-1075", {0x3B, 0xCC, 0x80, 0, 0, 0, 0, 0, 0, 0}, 0.0},
        {"-1.5 x 2^-1074", {0xBB, 0xCD, 0xC0, 0, 0, 0, 0, 0, 0, 0}, -L::denorm_min()},
        {"-2^-1100", {0xBB, 0xB3, 0x80, 0, 0, 0, 0, 0, 0, 0}, -0.0},
        {"smallest denormal", {0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 1}, 0.0},
        {"pseudo-denormal 2^-16382", {0x00, 0x00, 0x80, 0, 0, 0, 0, 0, 0, 0}, 0.0},
        {"unnormal 0.5", {0x3F, 0xFF, 0x40, 0, 0, 0, 0, 0, 0, 0}, 0.5},
        {"pseudo-zero", {0x40, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}, 0.0},
        {"pseudo-infinity", {0x7F, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0}, L::infinity()},
        {"NaN with low payload", {0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 1}, L::quiet_NaN()},
        {"-NaN", {0xFF, 0xFF, 0xC0, 0, 0, 0, 0, 0, 0, 1}, -L::quiet_NaN()},
    };
    for (const Case &c : cases) {
        double got = nc::RealFromServer(c.wire.data());
        EXPECT_TRUE(SameDouble(c.want, got)) << c.what << ": " << Hex(got);
        EXPECT_EQ(std::signbit(got), std::signbit(c.want)) << c.what;
    }
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
