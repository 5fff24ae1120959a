#include "driver/Sources/VArrays.h"

#include <cstring>

namespace {

int Sign(int64_t d) { return d < 0 ? -1 : (d > 0 ? 1 : 0); }

uint32_t Word(const unsigned char *p)
{
    uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

} // namespace

int DrmCompareBytes(const void *a, const void *b, size_t size)
{
    const auto *pa = static_cast<const unsigned char *>(a);
    const auto *pb = static_cast<const unsigned char *>(b);
    if (size == 4)
        return Sign(static_cast<int32_t>(Word(pb) - Word(pa)));
    size_t words = size / 4;
    for (size_t i = 0; i < words; ++i) {
        int32_t d = static_cast<int32_t>(Word(pb + 4 * i) - Word(pa + 4 * i));
        if (d != 0)
            return Sign(d);
    }
    for (size_t i = words * 4; i < size; ++i) {
        int d = static_cast<int>(pb[i]) - static_cast<int>(pa[i]);
        if (d != 0)
            return Sign(d);
    }
    return 0;
}

void DrmThrowBadArrayIndex()
{
    throw VError(-1, kDrmSrcArrays, 1271, "bad value for array indexing");
}

void DrmPascalToCInPlace(uint8_t *text)
{
    size_t n = text[0];
    std::memmove(text, text + 1, n);
    text[n] = 0;
}

void DrmCToPascalInPlace(uint8_t *text)
{
    size_t n = std::strlen(reinterpret_cast<const char *>(text));
    std::memmove(text + 1, text, n);
    text[0] = static_cast<uint8_t>(n);
}
