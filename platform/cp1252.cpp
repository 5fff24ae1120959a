// Windows-1252 against Unicode (see cp1252.h).
#include "platform/cp1252.h"

namespace {

// Bytes 0x80-0x9F; the unassigned ones keep their own number.
constexpr uint16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

} // namespace

uint16_t PlatCp1252ToUnicode(uint8_t byte)
{
    return byte >= 0x80 && byte <= 0x9F ? kHigh[byte - 0x80] : byte;
}

bool PlatUnicodeToCp1252(uint32_t codePoint, uint8_t *byte)
{
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
        *byte = static_cast<uint8_t>(codePoint);
        return true;
    }
    for (uint8_t i = 0; i < 32; ++i) {
        if (kHigh[i] == codePoint) {
            *byte = static_cast<uint8_t>(0x80 + i);
            return true;
        }
    }
    return false;
}
