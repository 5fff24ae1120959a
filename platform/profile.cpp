#include "platform/profile.h"
#include "platform/strings.h"

#include <odbcinst.h>

#include <cstring>
#include <mutex>
#include <vector>

namespace {

// The installer library keeps state of its own between calls: one reader at a time.
std::mutex g_profileGuard;

// True when the section of file lists key (names compare without regard to case).
bool KeyListed(const char *section, const char *key, const char *file)
{
    std::vector<char> names(65536);
    int n = SQLGetPrivateProfileString(section, nullptr, "", names.data(),
                                       static_cast<int>(names.size()), file);
    if (n <= 0)
        return false;
    names.back() = '\0';
    for (const char *p = names.data(); *p && p < names.data() + n; p += std::strlen(p) + 1)
        if (PlatAsciiCaseCompare(p, key) == 0)
            return true;
    return false;
}

} // namespace

int PlatGetProfileString(const char *section, const char *key, const char *defaultValue,
                         char *buffer, int size, const char *file)
{
    if (!buffer || size <= 0)
        return 0;
    buffer[0] = '\0';
    std::lock_guard<std::mutex> hold(g_profileGuard);
    const char *dflt = defaultValue ? defaultValue : "";
    int n = SQLGetPrivateProfileString(section, key, dflt, buffer, size, file);
    if (n < 0)
        n = 0;
    if (n >= size)
        n = size - 1;
    buffer[size - 1] = '\0';
    // The installer answers 0 and an empty text both for an empty value and for
    // a file it cannot read; only the first is a value, the second gets the default.
    if (key && n == 0 && buffer[0] == '\0' && *dflt && !KeyListed(section, key, file)) {
        size_t len = std::strlen(dflt);
        if (len >= static_cast<size_t>(size))
            len = static_cast<size_t>(size) - 1;
        std::memcpy(buffer, dflt, len);
        buffer[len] = '\0';
        n = static_cast<int>(len);
    }
    return n;
}
