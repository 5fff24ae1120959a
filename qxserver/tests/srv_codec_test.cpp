// Golden bytes of the emulator's codec: frame headers, handshake, numbers in
// both byte orders, the login-key XOR.
#include "qxserver/db/db_codec.h"
#include "qxserver/srv_codec.h"
#include "qxserver/srv_options.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

TEST(ServerCodec, FrameHeaderBytes)
{
    uint8_t h[12];
    qxs::EncodeFrameHeader(h, qxs::kKindData, 0x0102, 0x0A0B0C0D);
    EXPECT_EQ(Bytes(h, h + 12), (Bytes{3, 0, 1, 2, 0x0A, 0x0B, 0x0C, 0x0D, 1, 2, 3, 4}));
    qxs::FrameHeader f;
    ASSERT_TRUE(qxs::DecodeFrameHeader(h, f));
    EXPECT_EQ(f.kind, 3);
    EXPECT_EQ(f.channel, 0x0102);
    EXPECT_EQ(f.length, 0x0A0B0C0Du);
    for (int i = 8; i < 12; ++i) {
        uint8_t bad[12];
        std::copy(h, h + 12, bad);
        bad[i] = 0;
        EXPECT_FALSE(qxs::DecodeFrameHeader(bad, f)) << "marker byte " << i;
    }
}

TEST(ServerCodec, HandshakeBlock)
{
    Bytes hs = qxs::EncodeHandshake("Acct");
    ASSERT_EQ(hs.size(), 72u);
    EXPECT_EQ(Bytes(hs.begin(), hs.begin() + 13),
              (Bytes{0, 0, 0, 72, 0, 0, 0, 2, 4, 'A', 'c', 'c', 't'}));
    EXPECT_TRUE(std::all_of(hs.begin() + 13, hs.end(), [](uint8_t b) { return b == 0; }));
    // A service name is cut to 63 characters.
    EXPECT_EQ(qxs::EncodeHandshake(std::string(100, 'x'))[8], 63);
}

TEST(ServerCodec, NumbersInBothOrders)
{
    struct Case {
        bool big;
        Bytes i16, i32;
    } cases[] = {{false, {0x34, 0x12}, {0x78, 0x56, 0x34, 0x12}},
                 {true, {0x12, 0x34}, {0x12, 0x34, 0x56, 0x78}}};
    for (const Case &c : cases) {
        qxdb::Writer w(c.big);
        w.Put16(0x1234);
        w.Put32(0x12345678);
        Bytes want = c.i16;
        want.insert(want.end(), c.i32.begin(), c.i32.end());
        EXPECT_EQ(w.bytes(), want) << "big-endian " << c.big;
        qxdb::Reader r(want.data(), want.size(), c.big);
        int16_t i16 = 0;
        int32_t i32 = 0;
        EXPECT_TRUE(r.Get16(i16));
        EXPECT_EQ(i16, 0x1234);
        EXPECT_TRUE(r.Get32(i32));
        EXPECT_EQ(i32, 0x12345678);
        EXPECT_FALSE(r.Get16(i16)) << "reading past the end is refused";
        // A header number written in place reads back the same.
        uint8_t h[6];
        qxdb::QxdbStore16(h, -9800, c.big);
        qxdb::QxdbStore32(h + 2, 0x12345678, c.big);
        EXPECT_EQ(qxdb::QxdbLoad16(h, c.big), -9800);
        EXPECT_EQ(Bytes(h + 2, h + 6), c.i32);
        EXPECT_EQ(qxdb::QxdbLoad32(h + 2, c.big), 0x12345678);
    }
}

TEST(ServerCodec, XorCoversWholeGroupsOnly)
{
    const uint8_t key[4] = {0x00, 0xA5, 0x00, 0x5A};
    Bytes b{1, 2, 3, 4, 5, 6, 7};
    qxs::XorBody(b.data(), b.size(), key);
    EXPECT_EQ(b, (Bytes{1, 2 ^ 0xA5, 3, 4 ^ 0x5A, 5, 6, 7}));
    Bytes three{9, 9, 9};
    qxs::XorBody(three.data(), three.size(), key);
    EXPECT_EQ(three, (Bytes{9, 9, 9}));
    // Longer bodies: every whole group, whatever the length's remainder.
    const uint8_t k2[4] = {0x11, 0x22, 0x33, 0x44};
    for (size_t n : {8, 12, 15, 16, 21, 1003}) {
        Bytes body(n), want(n);
        for (size_t j = 0; j < n; ++j) {
            body[j] = uint8_t(j * 13 + 1);
            want[j] = j < n - n % 4 ? uint8_t(body[j] ^ k2[j % 4]) : body[j];
        }
        qxs::XorBody(body.data(), n, k2);
        EXPECT_EQ(body, want) << n;
    }
}

TEST(ServerOptions, FaultInjectionArguments)
{
    const char *argv[] = {
        "qxserver", "--port", "0",        "--version",       "0x551", "--big-endian",     "--key",
        "01000200", "--fail", "38:-9967", "--overlong-body", "44",    "--handshake-word", "0x1234",
        "--delay",  "50"};
    qxs::ServerOptions o;
    std::string error;
    ASSERT_TRUE(qxs::ParseOptions(int(std::size(argv)), const_cast<char **>(argv), o, error))
        << error;
    EXPECT_EQ(o.port, 0);
    EXPECT_EQ(o.version, 0x551);
    EXPECT_TRUE(o.bigEndian);
    EXPECT_EQ(Bytes(o.key, o.key + 4), (Bytes{1, 0, 2, 0}));
    EXPECT_EQ(o.failStatus.at(38), -9967);
    EXPECT_TRUE(o.overlongBody.count(44));
    EXPECT_EQ(o.handshakeWord, 0x1234);
    EXPECT_EQ(o.delayMs, 50u);

    const char *bad[] = {"qxserver", "--port", "70000"};
    EXPECT_FALSE(qxs::ParseOptions(3, const_cast<char **>(bad), o, error));
    const char *bad2[] = {"qxserver", "--fail", "38"};
    EXPECT_FALSE(qxs::ParseOptions(3, const_cast<char **>(bad2), o, error));
}

} // namespace
