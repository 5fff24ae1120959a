// Windows found by class, as lock files (see winclass.h).
#include "platform/winclass.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

std::string PlatClassLockPath(const std::string &windowClass)
{
    const char *dir = std::getenv("QX_LOCK_DIR");
    if (!dir || !*dir)
        dir = std::getenv("XDG_RUNTIME_DIR");
    if (!dir || !*dir)
        dir = "/tmp";
    return std::string(dir) + "/" + windowClass + ".lock";
}

bool PlatFindWindowByClass(const std::string &windowClass)
{
    int fd = ::open(PlatClassLockPath(windowClass).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

bool PlatClassWindow::Create(const std::string &windowClass)
{
    Destroy();
    std::string path = PlatClassLockPath(windowClass);
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            return false;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return false;
        }
        // The file may have been removed by its former owner between our
        // open and our lock: hold only the file that is in place.
        struct stat held {
        }, there{};
        if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &there) == 0 &&
            held.st_ino == there.st_ino && held.st_dev == there.st_dev) {
            fd_ = fd;
            path_ = path;
            return true;
        }
        ::close(fd);
    }
    return false;
}

void PlatClassWindow::Destroy()
{
    if (fd_ < 0)
        return;
    ::unlink(path_.c_str());
    ::close(fd_);
    fd_ = -1;
}
