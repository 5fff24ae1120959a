#include "platform/paths.h"

#include <cstdlib>

namespace {

std::string DefaultDirectory()
{
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg)
        return std::string(xdg) + "/qxodbc";
    const char *home = std::getenv("HOME");
    if (home && *home)
        return std::string(home) + "/.config/qxodbc";
    return "/tmp/qxodbc";
}

} // namespace

std::string PlatDirectory(PlatDir which)
{
    const char *var = which == PlatDir::DriveRoot ? "QX_DRIVE_ROOT_DIR" : "QX_WINDOWS_DIR";
    const char *value = std::getenv(var);
    if (value && *value) {
        std::string dir(value);
        while (dir.size() > 1 && dir.back() == '/')
            dir.pop_back();
        return dir;
    }
    return DefaultDirectory();
}

std::string PlatPathIn(PlatDir which, std::string_view fileName)
{
    std::string path = PlatDirectory(which);
    path += '/';
    path += fileName;
    return path;
}

std::string PlatMapWindowsPath(std::string_view windowsPath)
{
    if (windowsPath.size() >= 3 && windowsPath[1] == ':' &&
        (windowsPath[2] == '\\' || windowsPath[2] == '/')) {
        std::string rest(windowsPath.substr(3));
        for (char &c : rest)
            if (c == '\\')
                c = '/';
        return PlatPathIn(PlatDir::DriveRoot, rest);
    }
    std::string path(windowsPath);
    for (char &c : path)
        if (c == '\\')
            c = '/';
    return path;
}
