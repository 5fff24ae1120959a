#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/Sources/drm.h"
#include "driver/Sources/drm_table.h"
#include "driver/Sources/drm_values.h"
#include "driver/Sources/tests/fake_server.h"
#include "platform/byteorder.h"

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

// A window array of the server types, built in host order as netclient
// hands it over.
class WindowArray {
public:
    explicit WindowArray(uint32_t records) { Word32(records); }
    WindowArray &Alpha(const std::string &chars)
    {
        bytes.push_back(static_cast<uint8_t>(chars.size()));
        bytes.insert(bytes.end(), chars.begin(), chars.end());
        return *this;
    }
    WindowArray &Real(double d)
    {
        uint8_t b[10] = {};
        std::memcpy(b, &d, 8);
        bytes.insert(bytes.end(), b, b + 10);
        return *this;
    }
    WindowArray &Text(const std::string &chars)
    {
        Word16(static_cast<uint16_t>(chars.size()));
        bytes.insert(bytes.end(), chars.begin(), chars.end());
        return *this;
    }
    WindowArray &Bytes32(const std::string &data) // picture, blob
    {
        Word32(static_cast<uint32_t>(data.size()));
        bytes.insert(bytes.end(), data.begin(), data.end());
        return *this;
    }
    WindowArray &Date(int16_t day, int16_t month, int16_t year)
    {
        return Word16(static_cast<uint16_t>(day))
            .Word16(static_cast<uint16_t>(month))
            .Word16(static_cast<uint16_t>(year));
    }
    WindowArray &Word16(uint16_t v)
    {
        uint8_t b[2];
        PlatPutHost16(b, v);
        bytes.insert(bytes.end(), b, b + 2);
        return *this;
    }
    WindowArray &Word32(uint32_t v)
    {
        uint8_t b[4];
        PlatPutHost32(b, v);
        bytes.insert(bytes.end(), b, b + 4);
        return *this;
    }
    std::vector<uint8_t> bytes;
};

// The column read as it was made before values were delivered in place:
// long values from their bytes, the others through a value slot.
int32_t ReadThroughSlot(const DrmFieldBlock &block, int32_t r, int32_t k, uint32_t codePage,
                        void *buffer, uint32_t size, uint32_t *outLength, DRM_RETINFO *state)
{
    uint8_t type = 0;
    const uint8_t *bytes = nullptr;
    uint32_t n = 0;
    if (block.oLongBytes(r, k, &type, &bytes, &n))
        return n == 0 ? kDrmWarnNull
                      : DrmLongBytesToC(type, bytes, n, codePage, buffer, size, outLength, state);
    QXValue slot{};
    int32_t result = block.oGetField(r, k, &slot);
    if (result != 0)
        return result;
    result = DrmIsNullValue(&slot)
                 ? kDrmWarnNull
                 : DrmValueToC(&slot, codePage, 0, buffer, size, outLength, state);
    DrmFreeValue(&slot);
    return result;
}

TEST_F(Values, ValuesReadInPlaceMatchTheSlotRoadForEveryTypeSizeAndCodePage)
{
    // alpha, real, text, picture, date, boolean, 7, integer, long, time, blob
    const std::vector<uint8_t> types = {0, 1, 2, 3, 4, 6, 7, 8, 9, 11, 30};
    WindowArray a(4);
    a.Alpha("abc\x8E").Real(3.25).Text("hi\rthere\x8E\xA5").Bytes32(std::string("\x00\x8E\xFF", 3));
    a.Date(24, 12, 1999).Word16(7).Word16(5).Word16(static_cast<uint16_t>(-12)).Word32(123456);
    a.Word32(13 * 3600 + 5 * 60 + 9).Bytes32("zz");
    // The NULL forms (and zeros of the types that have none).
    a.Alpha("").Real(0).Text("").Bytes32("").Date(0, 0, 0).Word16(0).Word16(0).Word16(0);
    a.Word32(0).Word32(0).Bytes32("");
    // Lengths past what a value holds or a buffer takes; a date with one
    // number set; the last second of a day.
    a.Alpha(std::string(90, 'q'))
        .Real(-1e300)
        .Text(std::string(300, 't'))
        .Bytes32(std::string(70000, 'p'));
    a.Date(0, 0, 1)
        .Word16(1)
        .Word16(0)
        .Word16(0x7FFF)
        .Word32(0x80000000u)
        .Word32(86399)
        .Bytes32("");
    a.Alpha("\x8E").Real(1).Text("\x8E").Bytes32("x").Date(1, 0, 0).Word16(0xFFFF).Word16(1);
    a.Word16(0x8000).Word32(0xFFFFFFFFu).Word32(90000).Bytes32("y");
    DrmFieldBlock block;
    ASSERT_EQ(block.oLoad(a.bytes, types, 4), 0);
    ASSERT_EQ(block.oRecordCount(), 4);

    const uint32_t sizes[] = {0, 1, 2, 4, 5, 6, 8, 9, 80, 83, 84, 299, 300, 4096, 70000};
    const uint32_t codePages[] = {0, 1252, 932, 1251};
    const DRM_RETINFO states[] = {{0, 0}, {8, 0}, {8, 3}, {8, 299}, {8, 100000}};
    for (int32_t r = 0; r < 4; ++r)
        for (int32_t k = 0; k < static_cast<int32_t>(types.size()); ++k)
            for (uint32_t size : sizes)
                for (uint32_t cp : codePages)
                    for (size_t st = 0; st < std::size(states); ++st) {
                        std::vector<uint8_t> want(size + 1, '#'), got(size + 1, '#');
                        uint32_t wantN = 0xDEAD, gotN = 0xDEAD;
                        DRM_RETINFO ws = states[st], gs = states[st];
                        DRM_RETINFO *wp = st == 0 ? nullptr : &ws, *gp = st == 0 ? nullptr : &gs;
                        int32_t w = ReadThroughSlot(block, r, k, cp, want.data(), size, &wantN, wp);
                        int32_t g = block.oValueToC(r, k, cp, got.data(), size, &gotN, gp);
                        SCOPED_TRACE(testing::Message()
                                     << "record " << r << " field " << k << " size " << size
                                     << " code page " << cp << " state " << st);
                        ASSERT_EQ(g, w);
                        ASSERT_EQ(gotN, wantN);
                        ASSERT_EQ(got, want);
                        ASSERT_EQ(gs.size, ws.size);
                        ASSERT_EQ(gs.delivered, ws.delivered);
                    }
    // Nothing read in place leaves a handle behind; places outside the block
    // and types without an array form are refused.
    EXPECT_EQ(server.liveHandles, 0);
    uint8_t buf[8];
    uint32_t n = 0;
    EXPECT_EQ(block.oValueToC(4, 0, 0, buf, sizeof buf, &n, nullptr), -1);
    EXPECT_EQ(block.oValueToC(0, 11, 0, buf, sizeof buf, &n, nullptr), -1);
    EXPECT_EQ(block.oValueToC(-1, 0, 0, buf, sizeof buf, &n, nullptr), -1);
    const uint8_t raw[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(DrmFieldBytesToC(5, raw, 0, buf, sizeof buf, &n, nullptr), -1);
}

} // namespace
