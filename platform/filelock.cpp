#include "platform/filelock.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool Flock(int fd, int op)
{
    int r;
    do {
        r = ::flock(fd, op);
    } while (r != 0 && errno == EINTR);
    return r == 0;
}

} // namespace

bool PlatFileLockExclusive(int fd) { return Flock(fd, LOCK_EX); }
bool PlatFileLockShared(int fd) { return Flock(fd, LOCK_SH); }
bool PlatFileUnlock(int fd) { return Flock(fd, LOCK_UN); }

bool PlatFileSync(int fd)
{
    int r;
    do {
        r = ::fsync(fd);
    } while (r != 0 && errno == EINTR);
    return r == 0;
}

bool PlatFileRename(const char *from, const char *to)
{
    return from != nullptr && to != nullptr && std::rename(from, to) == 0;
}

PlatFileStamp PlatFileGetStamp(const char *path)
{
    PlatFileStamp s;
    struct stat st {};
    if (path == nullptr || ::stat(path, &st) != 0)
        return s;
    s.device = static_cast<uint64_t>(st.st_dev);
    s.inode = static_cast<uint64_t>(st.st_ino);
    s.size = static_cast<int64_t>(st.st_size);
    s.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return s;
}

bool PlatIsDirectory(const char *path)
{
    struct stat st {};
    return path != nullptr && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool PlatMakeDirectories(const char *path)
{
    if (path == nullptr || path[0] == '\0')
        return false;
    std::string p = path;
    for (size_t at = 1; at <= p.size(); ++at) {
        if (at < p.size() && p[at] != '/')
            continue;
        std::string part = p.substr(0, at);
        if (!PlatIsDirectory(part.c_str()) && ::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
            return false;
    }
    return PlatIsDirectory(path);
}

unsigned long PlatProcessId() { return static_cast<unsigned long>(::getpid()); }
