#include "platform/strings.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

const char *PlatFindString(const PlatStringTable *table, uint32_t id)
{
    if (!table || !table->entries)
        return nullptr;
    const PlatStringEntry *end = table->entries + table->count;
    const PlatStringEntry *it = std::lower_bound(
        table->entries, end, id, [](const PlatStringEntry &e, uint32_t v) { return e.id < v; });
    return (it != end && it->id == id) ? it->text : nullptr;
}

int PlatLoadString(const PlatStringTable *table, uint32_t id, char *buffer, int size)
{
    if (!buffer || size <= 0)
        return 0;
    const char *text = PlatFindString(table, id);
    if (!text) {
        buffer[0] = '\0';
        return 0;
    }
    size_t n = std::min(std::strlen(text), static_cast<size_t>(size - 1));
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

int PlatAsciiCaseCompareN(const char *a, const char *b, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        auto x = static_cast<unsigned char>(PlatAsciiLower(a[i]));
        auto y = static_cast<unsigned char>(PlatAsciiLower(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
        if (x == 0)
            return 0;
    }
    return 0;
}

int PlatAsciiCaseCompare(const char *a, const char *b)
{
    return PlatAsciiCaseCompareN(a, b, SIZE_MAX);
}
