#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/Sources/drm.h"
#include "driver/Sources/drm_values.h"
#include "driver/Sources/tests/fake_server.h"

namespace {

TEST(TypeMaps, CatalogRowsAndDefaults)
{
    struct Case {
        uint8_t server;
        int32_t row;
        uint32_t typeId;
    };
    const Case cases[] = {{0, 12, 104}, {1, 5, 7},  {2, 8, 12}, {3, 7, 11},    {4, 9, 101},
                          {6, 1, 1},    {8, 3, 3},  {9, 4, 4},  {11, 10, 102}, {5, 0, 0},
                          {7, 0, 0},    {10, 0, 0}, {30, 0, 0}};
    for (const Case &c : cases) {
        EXPECT_EQ(DrmCTypeOfServerType(c.server), c.row) << int(c.server);
        EXPECT_EQ(DrmTypeCatalogEntry(c.server), c.typeId) << int(c.server);
    }
    EXPECT_EQ(DrmServerTypeCount(), 13);
    struct Def {
        uint32_t typeId;
        int32_t server;
    };
    const Def defs[] = {{1, 6},    {2, 8},   {3, 8},   {4, 9},  {5, 1},  {6, 1},
                        {7, 1},    {8, 4},   {10, 0},  {11, 3}, {12, 2}, {101, 4},
                        {102, 11}, {103, 1}, {104, 0}, {0, -1}, {9, -1}, {200, -1}};
    for (const Def &d : defs)
        EXPECT_EQ(DrmDefaultServerType(d.typeId), d.server) << d.typeId;
}

class Values : public ::testing::Test {
protected:
    QXValue Alpha(const std::string &chars)
    {
        QXValue v{};
        v.type = QX_TYPE_ALPHA;
        v.alpha[0] = static_cast<uint8_t>(chars.size());
        std::memcpy(v.alpha + 1, chars.data(), chars.size());
        return v;
    }
    QXValue Long(uint8_t type, const std::string &bytes)
    {
        QXValue v{};
        v.type = type;
        v.length = static_cast<int32_t>(bytes.size());
        v.data = server.AllocHandle(v.length);
        std::memcpy(server.LockHandle(v.data), bytes.data(), bytes.size());
        return v;
    }
    FakeServer server;
};

TEST_F(Values, AlphaReadsWithinTheBufferAndConverts)
{
    QXValue v = Alpha(std::string(79, 'a') + "\x8E");
    std::vector<char> buf(81, '#');
    uint32_t n = 0;
    ASSERT_EQ(DrmValueToC(&v, 1252, 104, buf.data(), 80, &n, nullptr), 0);
    EXPECT_EQ(n, 80u);
    EXPECT_EQ(buf[79], '\xE9');
    EXPECT_EQ(buf[80], '#'); // no terminator without room
    EXPECT_EQ(DrmValueToC(&v, 1252, 104, buf.data(), 79, &n, nullptr), kDrmErrBufferTooSmall);
    ASSERT_EQ(DrmValueToC(&v, 1252, 104, buf.data(), 81, &n, nullptr), 0);
    EXPECT_EQ(buf[80], 0);
    v.alpha[0] = 255; // a length beyond the value's room is cut
    std::vector<char> big(300);
    ASSERT_EQ(DrmValueToC(&v, 1252, 104, big.data(), 300, &n, nullptr), 0);
    EXPECT_EQ(n, 83u);
}

TEST_F(Values, FixedTypesRead)
{
    uint8_t buf[16];
    uint32_t n = 0;
    QXValue d{};
    d.type = QX_TYPE_DATE;
    d.date[0] = 24;
    d.date[1] = 12;
    d.date[2] = 1999; // day, month, year
    ASSERT_EQ(DrmValueToC(&d, 0, 101, buf, 6, &n, nullptr), 0);
    int16_t ymd[3];
    std::memcpy(ymd, buf, 6);
    EXPECT_EQ(ymd[0], 1999);
    EXPECT_EQ(ymd[1], 12);
    EXPECT_EQ(ymd[2], 24);
    EXPECT_EQ(DrmValueToC(&d, 0, 101, buf, 5, &n, nullptr), kDrmErrBufferTooSmall);

    QXValue t{};
    t.type = QX_TYPE_TIME;
    t.longValue = 13 * 3600 + 5 * 60 + 9;
    ASSERT_EQ(DrmValueToC(&t, 0, 102, buf, 6, &n, nullptr), 0);
    int16_t hms[3];
    std::memcpy(hms, buf, 6);
    EXPECT_EQ(hms[0], 13);
    EXPECT_EQ(hms[1], 5);
    EXPECT_EQ(hms[2], 9);

    QXValue b{};
    b.type = QX_TYPE_BOOLEAN;
    b.shortValue = 7;
    ASSERT_EQ(DrmValueToC(&b, 0, 1, buf, 1, &n, nullptr), 0);
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(n, 1u);

    QXValue unknown{};
    unknown.type = 5;
    EXPECT_EQ(DrmValueToC(&unknown, 0, 0, buf, 16, &n, nullptr), -1);
    QXValue empty{};
    empty.type = 30;
    EXPECT_EQ(DrmValueToC(&empty, 0, 11, buf, 16, &n, nullptr), 0);
    EXPECT_EQ(n, 0u);
}

TEST_F(Values, LongValuesContinueWhereTheLastReadStopped)
{
    std::string text(5000, 'x');
    text[4999] = 'z';
    QXValue v = Long(QX_TYPE_TEXT, text);
    std::vector<char> buf(4096);
    DRM_RETINFO state{0, 0};
    uint32_t n = 0;
    EXPECT_EQ(DrmValueToC(&v, 1252, 12, buf.data(), 4096, &n, &state), kDrmWarnTruncated);
    EXPECT_EQ(n, 4096u);
    EXPECT_EQ(state.delivered, 4096u);
    EXPECT_EQ(DrmValueToC(&v, 1252, 12, buf.data(), 4096, &n, &state), 0);
    EXPECT_EQ(n, 904u);
    EXPECT_EQ(buf[903], 'z');
    // A length that claims more than the handle holds reads only what is there.
    v.length = 1 << 30;
    state = {0, 0};
    EXPECT_EQ(DrmValueToC(&v, 1252, 12, buf.data(), 4096, &n, &state), kDrmWarnTruncated);
    EXPECT_EQ(state.size, 5000u);
    DrmFreeValue(&v);
    EXPECT_EQ(server.liveHandles, 0);
}

TEST_F(Values, Writers)
{
    QXValue v{};
    int16_t hms[3] = {25, 0, 0};
    v.type = 255;
    ASSERT_EQ(DrmValueFromC(0, 102, hms, 6, &v), 0);
    EXPECT_EQ(v.type, QX_TYPE_TIME);
    EXPECT_EQ(v.longValue, 3600);

    QXValue c{};
    c.type = 255;
    double money = 1.5;
    EXPECT_EQ(DrmValueFromC(0, 5, &money, 8, &c), -1); // currency: a default, no writer

    QXValue s{};
    s.type = QX_TYPE_INTEGER;
    int16_t shortValue = -12;
    EXPECT_EQ(DrmValueFromC(0, 3, &shortValue, 1, &s), kDrmErrBufferTooSmall); // too short to read
    ASSERT_EQ(DrmValueFromC(0, 3, &shortValue, 2, &s), 0);
    EXPECT_EQ(s.shortValue, -12);

    QXValue a{};
    a.type = 255;
    std::string longText(90, 'q');
    longText[0] = '\xE9';
    ASSERT_EQ(DrmValueFromC(1252, 10, longText.data(), 90, &a), 0);
    EXPECT_EQ(a.type, QX_TYPE_ALPHA);
    EXPECT_EQ(a.alpha[0], 80);   // cut to 80
    EXPECT_EQ(a.alpha[1], 0x8E); // sent as Mac Roman

    QXValue mismatched{};
    mismatched.type = QX_TYPE_TEXT;
    EXPECT_EQ(DrmValueFromC(0, 10, "ab", 2, &mismatched),
              -1); // short text to a text field: no writer
}

TEST_F(Values, TextWriterShortensCrLf)
{
    QXValue v{};
    v.type = QX_TYPE_TEXT;
    std::string text = "a\r\nb\r\nc";
    ASSERT_EQ(DrmValueFromC(1252, 12, text.data(), static_cast<uint32_t>(text.size()), &v), 0);
    EXPECT_EQ(v.length, 5);
    EXPECT_EQ(std::string(static_cast<char *>(server.LockHandle(v.data)), 5), "a\rb\rc");
    DrmFreeValue(&v);

    QXValue p{};
    p.type = QX_TYPE_PICTURE;
    server.status["AllocHandle"] = 1;
    EXPECT_EQ(DrmValueFromC(0, 11, "xy", 2, &p), kDrmErrNoMemory);
    EXPECT_EQ(server.liveHandles, 0);
}

} // namespace
