// The translation library's two calls on raw bytes: every Windows-1252
// byte to UTF-8 and back, lengths when the output is short, in place, and
// the refusals.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

extern "C" int SQLDataSourceToDriver(uint32_t, int16_t, void *, int32_t, void *, int32_t,
                                     int32_t *, unsigned char *, int16_t, int16_t *);
extern "C" int SQLDriverToDataSource(uint32_t, int16_t, void *, int32_t, void *, int32_t,
                                     int32_t *, unsigned char *, int16_t, int16_t *);

namespace {

constexpr int16_t kChar = 1, kInteger = 4;

struct Result {
    int ok;
    std::string out;
    int32_t length;
    std::string error;
};

Result Call(bool toUtf8, std::string in, int32_t outSize, uint32_t option = 0,
            int16_t type = kChar)
{
    std::string out(static_cast<size_t>(outSize > 0 ? outSize : 0) + 8, '#');
    int32_t length = -99;
    unsigned char error[200] = {};
    int16_t errorLength = 0;
    auto fn = toUtf8 ? SQLDataSourceToDriver : SQLDriverToDataSource;
    int ok = fn(option, type, in.data(), static_cast<int32_t>(in.size()), out.data(), outSize,
                &length, error, sizeof error - 1, &errorLength);
    int32_t written = std::min<int32_t>(length < 0 ? 0 : length, outSize < 0 ? 0 : outSize);
    return {ok, out.substr(0, static_cast<size_t>(written)), length,
            std::string(reinterpret_cast<char *>(error), static_cast<size_t>(errorLength))};
}

TEST(QxUtf8, EveryByteGoesToUtf8AndBack)
{
    for (int b = 1; b < 256; ++b) {
        std::string one(1, static_cast<char>(b));
        Result up = Call(true, one, 8);
        ASSERT_EQ(up.ok, 1) << b;
        ASSERT_EQ(static_cast<int32_t>(up.out.size()), up.length) << b;
        // One character: its lead byte tells its length.
        auto lead = static_cast<unsigned char>(up.out[0]);
        ASSERT_EQ(up.length, lead < 0x80 ? 1 : lead < 0xE0 ? 2 : 3) << b;
        Result down = Call(false, up.out, 8);
        ASSERT_EQ(down.ok, 1) << b << " " << down.error;
        EXPECT_EQ(down.out, one) << b;
    }
    EXPECT_EQ(Call(true, "\x80", 8).out, "\xE2\x82\xAC");    // the euro sign
    EXPECT_EQ(Call(true, "\x9F", 8).out, "\xC5\xB8");        // Y with diaeresis
    EXPECT_EQ(Call(true, "\xFF", 8).out, "\xC3\xBF");        // y with diaeresis
    EXPECT_EQ(Call(true, "\x81", 8).out, "\xC2\x81");        // unassigned: its control
}

// Only whole characters are written; the length is always the whole one.
TEST(QxUtf8, ShortOutputHoldsWholeCharacters)
{
    const std::string text = "a\xE9\x80z"; // a é € z: 1 + 2 + 3 + 1 bytes
    struct {
        int32_t size;
        const char *written;
    } cases[] = {{0, ""}, {1, "a"}, {2, "a"}, {3, "a\xC3\xA9"}, {5, "a\xC3\xA9"},
                 {6, "a\xC3\xA9\xE2\x82\xAC"}, {7, "a\xC3\xA9\xE2\x82\xAC" "z"}};
    for (const auto &c : cases) {
        Result r = Call(true, text, c.size);
        EXPECT_EQ(r.ok, 1);
        EXPECT_EQ(r.length, 7) << c.size;
        EXPECT_EQ(r.out.substr(0, std::strlen(c.written)), c.written) << c.size;
        EXPECT_EQ(r.out.substr(std::strlen(c.written)).find_first_not_of('#'), std::string::npos)
            << "written past the whole characters at size " << c.size;
    }
}

TEST(QxUtf8, GrowsInPlace)
{
    char buffer[16] = "\xE9t\xE9\x80";
    int32_t length = 0;
    int16_t errorLength = 0;
    ASSERT_EQ(SQLDataSourceToDriver(0, kChar, buffer, 4, buffer, sizeof buffer, &length, nullptr,
                                    0, &errorLength),
              1);
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(length)), "\xC3\xA9t\xC3\xA9\xE2\x82\xAC");
}

TEST(QxUtf8, RefusesWhatWindows1252CannotHold)
{
    struct {
        const char *name;
        std::string in;
        const char *mentions;
    } cases[] = {
        {"outside the code page", "x\xC5\x81", "U+0141 at byte 2"},
        {"a C1 control the code page uses otherwise", "\xC2\x80", "U+0080"},
        {"not UTF-8", "Z\xFCrich", "0xFC at byte 2"},
        {"cut sequence", "ab\xE2\x82", "at byte 3"},
        {"overlong", "\xC0\xA9", "at byte 1"},
        {"surrogate", "\xED\xA0\x80", "at byte 1"},
        {"beyond Unicode", "\xF4\x90\x80\x80", "at byte 1"},
    };
    for (const auto &c : cases) {
        Result r = Call(false, c.in, 16);
        EXPECT_EQ(r.ok, 0) << c.name;
        EXPECT_NE(r.error.find(c.mentions), std::string::npos) << c.name << ": " << r.error;
    }
    // The C1 controls that stand for the code page's unassigned bytes go back.
    EXPECT_EQ(Call(false, "\xC2\x81\xC2\x9D", 8).out, "\x81\x9D");
    // Option 1 takes bytes that are not UTF-8 as Windows-1252 characters.
    Result lenient = Call(false, "Z\xFCrich \xE2\x82\xAC", 16, 1);
    EXPECT_EQ(lenient.ok, 1);
    EXPECT_EQ(lenient.out, "Z\xFCrich \x80");
}

TEST(QxUtf8, OtherTypesAndTerminatedInputAreCopied)
{
    Result number = Call(true, std::string("\x01\x02\x03\x04", 4), 4, 0, kInteger);
    EXPECT_EQ(number.ok, 1);
    EXPECT_EQ(number.out, std::string("\x01\x02\x03\x04", 4));
    char in[] = "\xE9";
    char out[8] = {};
    int32_t length = 0;
    int16_t errorLength = 0;
    ASSERT_EQ(SQLDataSourceToDriver(0, kChar, in, -3, out, sizeof out, &length, nullptr, 0,
                                    &errorLength),
              1); // SQL_NTS
    EXPECT_EQ(length, 2);
}

} // namespace
