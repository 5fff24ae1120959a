#include "driver/core/rcregistry.h"

#include "platform/profile.h"
#include "platform/strings.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace {

std::mutex g_rootGuard;
std::string g_root;

// A default no stored value can equal: tells "missing" from a real value.
constexpr const char kMissing[] = "\x01\x02(missing)\x03";
constexpr int kValueRoom = 4096;
constexpr int kListRoom = 65536;

const char *const kRootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_CONFIG", "HKEY_CURRENT_USER",
                                  "HKEY_LOCAL_MACHINE", "HKEY_USERS"};

std::vector<std::string> SplitPath(const char *root)
{
    std::vector<std::string> parts;
    std::string part;
    for (const char *p = root; *p; ++p) {
        if (*p == '\\') {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part += *p;
        }
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

bool IsRootName(const std::string &s)
{
    for (const char *name : kRootNames)
        if (PlatAsciiCaseCompare(s.c_str(), name) == 0)
            return true;
    return false;
}

int ReadValue(const std::string &file, const char *section, const char *key, char *buffer, int size)
{
    std::vector<char> value(kValueRoom);
    PlatGetProfileString(section, key, kMissing, value.data(), kValueRoom, file.c_str());
    if (std::strcmp(value.data(), kMissing) == 0)
        return 0;
    size_t len = std::strlen(value.data());
    if (len >= static_cast<size_t>(kValueRoom - 1) || len + 1 > static_cast<size_t>(size))
        return 0; // does not fit: counts as missing
    std::memcpy(buffer, value.data(), len + 1);
    return static_cast<int>(len + 1);
}

int ListValues(const std::string &file, const char *section, char *buffer, int size)
{
    std::memset(buffer, 0, static_cast<size_t>(size));
    std::vector<char> names(kListRoom);
    PlatGetProfileString(section, nullptr, "", names.data(), kListRoom, file.c_str());
    // A list that filled the buffer may lack its closing empty name: end it here.
    names[kListRoom - 2] = '\0';
    names[kListRoom - 1] = '\0';
    int used = 0;
    for (const char *p = names.data(); p < names.data() + kListRoom && *p;
         p += std::strlen(p) + 1) {
        int len = static_cast<int>(std::strlen(p));
        if (used + len + 2 > size) {
            if (size >= 2) {
                buffer[size - 1] = '\0';
                buffer[size - 2] = '\0';
            }
            std::memset(buffer + used, 0, static_cast<size_t>(size - used));
            return size - 2;
        }
        std::memcpy(buffer + used, p, static_cast<size_t>(len) + 1);
        used += len + 1;
    }
    buffer[used] = '\0';
    return used + 1;
}

} // namespace

std::string rcRegGetIniRoot()
{
    std::lock_guard<std::mutex> hold(g_rootGuard);
    return g_root;
}

void rcRegSetIniRoot(const char *root)
{
    std::lock_guard<std::mutex> hold(g_rootGuard);
    g_root = root ? root : "";
}

void rcRegInitIniRoot(const char *root)
{
    std::lock_guard<std::mutex> hold(g_rootGuard);
    if (g_root.empty() && root)
        g_root = root;
}

std::string rcRegFileOfRoot(const char *root)
{
    if (!root)
        return {};
    std::vector<std::string> parts = SplitPath(root);
    if (parts.empty())
        return {};
    if (parts.size() == 1 && IsRootName(parts[0]))
        return {};
    return parts.back();
}

int rcRegGetIniValue(const char *root, const char *section, const char *key,
                     const char *defaultValue, char *buffer, int size)
{
    if (!root || !*root || !buffer || size <= 0)
        return 0;
    std::string file = rcRegFileOfRoot(root);
    int n = 0;
    if (!file.empty() && section && *section)
        n = key ? ReadValue(file, section, key, buffer, size)
                : ListValues(file, section, buffer, size);
    if (n == 0) {
        const char *d = defaultValue ? defaultValue : "";
        size_t len = std::strlen(d);
        // Always terminated: a default as long as the buffer is cut by one.
        size_t copy = len < static_cast<size_t>(size) ? len : static_cast<size_t>(size) - 1;
        std::memcpy(buffer, d, copy);
        buffer[copy] = '\0';
    }
    return n;
}
