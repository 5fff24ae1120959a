// Mac Roman conversions and the text collation (see db_text.h).
#include "qxserver/db/db_text.h"

#include <array>
#include <mutex>

namespace qxdb {
namespace {

// Unicode value of the Mac Roman characters 0x80-0xFF.
constexpr uint16_t kMacHigh[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, // 80
    0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8, // 88
    0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3, // 90
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, // 98
    0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF, // A0
    0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8, // A8
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211, // B0
    0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8, // B8
    0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB, // C0
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153, // C8
    0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA, // D0
    0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02, // D8
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1, // E0
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4, // E8
    0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC, // F0
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7, // F8
};

// Unicode value of the Windows-1252 characters 0x80-0x9F (0 = unused).
constexpr uint16_t kWin80[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

uint32_t MacToUnicode(uint8_t c) { return c < 0x80 ? c : kMacHigh[c - 0x80]; }

// Windows-1252 code of a Unicode character, or -1.
int UnicodeToWin(uint32_t u)
{
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return static_cast<int>(u);
    for (int i = 0; i < 32; ++i)
        if (kWin80[i] == u)
            return 0x80 + i;
    return -1;
}

// Upper case of a Windows-1252 character, as Windows-1252 folds it.
int WinUpper(int w)
{
    if (w >= 'a' && w <= 'z')
        return w - 32;
    if (w >= 0xE0 && w <= 0xFE && w != 0xF7)
        return w - 32;
    switch (w) {
    case 0x9A: return 0x8A; // s caron
    case 0x9C: return 0x8C; // oe
    case 0x9E: return 0x8E; // z caron
    case 0xFF: return 0x9F; // y diaeresis
    default: return w;
    }
}

struct Collation {
    std::array<uint32_t, 256> key{};
    Collation()
    {
        for (int c = 0; c < 256; ++c) {
            uint32_t u = MacToUnicode(static_cast<uint8_t>(c));
            int w = UnicodeToWin(u);
            key[c] = w >= 0 ? static_cast<uint32_t>(WinUpper(w)) : 0x10000u + u;
        }
    }
};

const Collation &TheCollation()
{
    static const Collation collation; // thread-safe static initialisation
    return collation;
}

std::string_view TrimBlanks(std::string_view s)
{
    size_t n = s.size();
    while (n > 0 && s[n - 1] == ' ')
        --n;
    return s.substr(0, n);
}

} // namespace

bool QxdbUtf8ToMacRoman(std::string_view in, std::string &out)
{
    out.clear();
    out.reserve(in.size());
    size_t i = 0;
    while (i < in.size()) {
        uint8_t b = static_cast<uint8_t>(in[i]);
        uint32_t u;
        size_t extra;
        if (b < 0x80) {
            u = b;
            extra = 0;
        } else if ((b & 0xE0) == 0xC0) {
            u = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            u = b & 0x0F;
            extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            u = b & 0x07;
            extra = 3;
        } else
            return false;
        if (i + extra >= in.size())
            return false;
        for (size_t k = 1; k <= extra; ++k) {
            uint8_t c = static_cast<uint8_t>(in[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            u = (u << 6) | (c & 0x3F);
        }
        i += extra + 1;
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
            continue;
        }
        int found = -1;
        for (int k = 0; k < 128; ++k)
            if (kMacHigh[k] == u) {
                found = 0x80 + k;
                break;
            }
        if (found < 0)
            return false;
        out.push_back(static_cast<char>(found));
    }
    return true;
}

std::string QxdbMacRomanToUtf8(std::string_view mac)
{
    std::string out;
    out.reserve(mac.size() + mac.size() / 4);
    for (char ch : mac) {
        uint32_t u = MacToUnicode(static_cast<uint8_t>(ch));
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
        } else if (u < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (u >> 6)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (u >> 12)));
            out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        }
    }
    return out;
}

int QxdbCompareText(std::string_view a, std::string_view b)
{
    const auto &key = TheCollation().key;
    a = TrimBlanks(a);
    b = TrimBlanks(b);
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        uint32_t ka = key[static_cast<uint8_t>(a[i])];
        uint32_t kb = key[static_cast<uint8_t>(b[i])];
        if (ka != kb)
            return ka < kb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

} // namespace qxdb
