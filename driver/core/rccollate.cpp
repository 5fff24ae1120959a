// Windows-1252 collation tables, built at compile time.
#include "driver/core/rccollate.h"

#include <array>
#include <cstdint>

namespace {

constexpr unsigned char upperOf(unsigned c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned char>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return static_cast<unsigned char>(c - 32);
    switch (c) {
    case 0x9A: return 0x8A; // š
    case 0x9C: return 0x8C; // œ
    case 0x9E: return 0x8E; // ž
    case 0xFF: return 0x9F; // ÿ
    default: return static_cast<unsigned char>(c);
    }
}

// Letter position (base letter x 2, +1 for a ligature or letter sorted just
// after its base), or -1 for a character that is not a letter.
constexpr int letterOf(unsigned char u)
{
    if (u >= 'A' && u <= 'Z')
        return (u - 'A') * 2;
    if (u >= 0xC0 && u <= 0xC5)
        return ('A' - 'A') * 2;
    switch (u) {
    case 0xAA: return 0;                   // ª
    case 0xC6: return 1;                   // Æ
    case 0xC7: return ('C' - 'A') * 2;     // Ç
    case 0xD0: return ('D' - 'A') * 2 + 1; // Ð
    case 0xD1: return ('N' - 'A') * 2;     // Ñ
    case 0xD8: return ('O' - 'A') * 2;     // Ø
    case 0xBA: return ('O' - 'A') * 2;     // º
    case 0x8C: return ('O' - 'A') * 2 + 1; // Œ
    case 0x8A: return ('S' - 'A') * 2;     // Š
    case 0xDF: return ('S' - 'A') * 2 + 1; // ß
    case 0xDD: return ('Y' - 'A') * 2;     // Ý
    case 0x9F: return ('Y' - 'A') * 2;     // Ÿ
    case 0x8E: return ('Z' - 'A') * 2;     // Ž
    case 0xDE: return ('Z' - 'A') * 2 + 1; // Þ
    default: break;
    }
    if (u >= 0xC8 && u <= 0xCB)
        return ('E' - 'A') * 2;
    if (u >= 0xCC && u <= 0xCF)
        return ('I' - 'A') * 2;
    if (u >= 0xD2 && u <= 0xD6)
        return ('O' - 'A') * 2;
    if (u >= 0xD9 && u <= 0xDC)
        return ('U' - 'A') * 2;
    return -1;
}

struct Tables {
    std::array<uint16_t, 256> primary{};
    std::array<uint8_t, 256> secondary{};
    std::array<uint8_t, 256> upper{};
};

constexpr Tables buildTables()
{
    Tables t{};
    for (unsigned c = 0; c < 256; ++c) {
        unsigned char u = upperOf(c);
        t.upper[c] = u;
        t.secondary[c] = u;
        int letter = letterOf(u);
        uint16_t weight;
        if (c == 0)
            weight = 0;
        else if (c < 0x20 || c == 0x7F)
            weight = static_cast<uint16_t>(0x100 | c);
        else if (c >= '0' && c <= '9')
            weight = static_cast<uint16_t>(0x300 | (c - '0'));
        else if (c == 0xB9 || c == 0xB2 || c == 0xB3) // superscript one, two, three
            weight = static_cast<uint16_t>(0x300 | (c == 0xB9 ? 1 : c - 0xB0));
        else if (letter >= 0)
            weight = static_cast<uint16_t>(0x400 | letter);
        else
            weight = static_cast<uint16_t>(0x200 | c);
        t.primary[c] = weight;
    }
    return t;
}

constexpr Tables kTables = buildTables();

size_t boundedLength(const char *s, size_t len)
{
    size_t n = 0;
    while (n < len && s[n] != '\0')
        ++n;
    return n;
}

} // namespace

unsigned char rcCollateUpper1252(unsigned char c) { return kTables.upper[c]; }

unsigned rcCollatePrimary1252(unsigned char c) { return kTables.primary[c]; }

int rcCollateCompare1252(const char *a, size_t lenA, const char *b, size_t lenB)
{
    size_t na = boundedLength(a, lenA), nb = boundedLength(b, lenB);
    size_t n = na < nb ? na : nb;
    const auto *ua = reinterpret_cast<const unsigned char *>(a);
    const auto *ub = reinterpret_cast<const unsigned char *>(b);
    for (size_t i = 0; i < n; ++i) {
        uint16_t pa = kTables.primary[ua[i]], pb = kTables.primary[ub[i]];
        if (pa != pb)
            return pa < pb ? -1 : 1;
    }
    if (na != nb)
        return na < nb ? -1 : 1;
    for (size_t i = 0; i < n; ++i) {
        uint8_t sa = kTables.secondary[ua[i]], sb = kTables.secondary[ub[i]];
        if (sa != sb)
            return sa < sb ? -1 : 1;
    }
    return 0;
}
