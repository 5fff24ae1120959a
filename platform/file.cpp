#include "platform/file.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <dirent.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int PlatFileOpen(const char *path, uint32_t flags)
{
    if (!path || !*path) {
        errno = ENOENT;
        return -1;
    }
    int oflags = O_CLOEXEC;
    if (flags & PLAT_OPEN_READWRITE)
        oflags |= O_RDWR;
    else if (flags & PLAT_OPEN_WRITE)
        oflags |= O_WRONLY;
    else
        oflags |= O_RDONLY;
    if (flags & PLAT_OPEN_CREATE) {
        oflags |= O_CREAT;
        oflags |= (flags & PLAT_OPEN_EXCLUSIVE) ? O_EXCL : O_TRUNC;
        if (!(flags & (PLAT_OPEN_WRITE | PLAT_OPEN_READWRITE)))
            oflags = (oflags & ~O_RDONLY) | O_RDWR;
    }
    int fd;
    do {
        fd = ::open(path, oflags, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool PlatFileClose(int fd) { return ::close(fd) == 0; }

int64_t PlatFileRead(int fd, void *buffer, size_t count)
{
    auto *p = static_cast<unsigned char *>(buffer);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::read(fd, p + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

int64_t PlatFileWrite(int fd, const void *data, size_t count)
{
    const auto *p = static_cast<const unsigned char *>(data);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::write(fd, p + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return done ? static_cast<int64_t>(done) : -1;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

int64_t PlatFileReadAt(int fd, int64_t offset, void *buffer, size_t count)
{
    auto *p = static_cast<unsigned char *>(buffer);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::pread(fd, p + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

int64_t PlatFileWriteAt(int fd, int64_t offset, const void *data, size_t count)
{
    const auto *p = static_cast<const unsigned char *>(data);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::pwrite(fd, p + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return done ? static_cast<int64_t>(done) : -1;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

int64_t PlatFileSeek(int fd, int64_t offset, int origin)
{
    int whence = origin == 1 ? SEEK_CUR : origin == 2 ? SEEK_END : SEEK_SET;
    if (origin < 0 || origin > 2) {
        errno = EINVAL;
        return -1;
    }
    off_t pos = ::lseek(fd, static_cast<off_t>(offset), whence);
    return pos < 0 ? -1 : static_cast<int64_t>(pos);
}

bool PlatFileExists(const char *path)
{
    struct stat st {};
    return path && ::stat(path, &st) == 0;
}

bool PlatFileDelete(const char *path) { return path && ::unlink(path) == 0; }

int PlatLastError() { return errno; }

std::string PlatTempDirectory()
{
    const char *t = std::getenv("TMPDIR");
    std::string dir = (t && *t) ? t : "/tmp";
    if (dir.back() != '/')
        dir += '/';
    return dir;
}

int PlatCreateTempFileOpen(const std::string &dir, const std::string &prefix, std::string *path)
{
    std::string base = dir.empty() ? PlatTempDirectory() : dir;
    if (base.back() != '/')
        base += '/';
    std::string pattern = base + prefix + "XXXXXX";
    // mkstemp opens with O_CREAT | O_EXCL (mode 0600) and retries on a name
    // that exists.
    int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (path)
        *path = pattern;
    return fd;
}

std::string PlatOwnedTempPrefix(const std::string &prefix)
{
    return prefix + std::to_string(long(::getpid())) + "_";
}

namespace {

// The pid of "<prefix><digits>_XXXXXX", or 0 when the name is not of that form.
long orphanTempPid(const char *name, const std::string &prefix)
{
    if (std::strncmp(name, prefix.c_str(), prefix.size()) != 0)
        return 0;
    const char *p = name + prefix.size();
    long pid = 0;
    int digits = 0;
    for (; *p >= '0' && *p <= '9'; ++p, ++digits) {
        if (digits >= 10)
            return 0;
        pid = pid * 10 + (*p - '0');
    }
    if (digits == 0 || *p != '_')
        return 0;
    // mkstemp's six characters: letters and digits.
    size_t n = std::strlen(++p);
    if (n != 6)
        return 0;
    for (; *p; ++p)
        if (!((*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z')))
            return 0;
    return pid;
}

} // namespace

namespace {

// Removes a private directory's regular files of the user, then the
// directory; answers whether it went.
bool removeOwnedDirectory(const std::string &path, uid_t user)
{
    if (DIR *d = ::opendir(path.c_str())) {
        while (struct dirent *e = ::readdir(d)) {
            std::string file = path + "/" + e->d_name;
            struct stat st;
            if (::lstat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == user)
                ::unlink(file.c_str());
        }
        ::closedir(d);
    }
    return ::rmdir(path.c_str()) == 0;
}

// Removes the entries "<prefix><pid>_XXXXXX" of dir whose process no longer
// exists: regular files, or directories (with their files) when directories.
int sweepOrphans(const std::string &dir, const std::string &prefix, bool directories)
{
    std::string base = dir.empty() ? PlatTempDirectory() : dir;
    if (base.back() != '/')
        base += '/';
    DIR *d = ::opendir(base.c_str());
    if (!d)
        return 0;
    int removed = 0;
    const long self = long(::getpid());
    const uid_t user = ::getuid();
    while (struct dirent *e = ::readdir(d)) {
        long pid = orphanTempPid(e->d_name, prefix);
        if (pid <= 0 || pid == self || pid > long(INT32_MAX))
            continue;
        // Only a process that is certainly gone: EPERM means it lives.
        if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH)
            continue;
        std::string path = base + e->d_name;
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || st.st_uid != user)
            continue;
        if (directories ? S_ISDIR(st.st_mode) && removeOwnedDirectory(path, user)
                        : S_ISREG(st.st_mode) && ::unlink(path.c_str()) == 0)
            ++removed;
    }
    ::closedir(d);
    return removed;
}

} // namespace

int PlatSweepOrphanTempFiles(const std::string &dir, const std::string &prefix)
{
    return sweepOrphans(dir, prefix, false);
}

int PlatSweepOrphanTempDirs(const std::string &dir, const std::string &prefix)
{
    return sweepOrphans(dir, prefix, true);
}

bool PlatCreateTempFile(const std::string &dir, const std::string &prefix, std::string *path)
{
    int fd = PlatCreateTempFileOpen(dir, prefix, path);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

std::FILE *PlatOpenPrivateFile(const char *path, const char *mode)
{
    if (!path || !mode || (mode[0] != 'w' && mode[0] != 'a'))
        return nullptr;
    int flags = O_CREAT | O_CLOEXEC | (mode[0] == 'w' ? O_TRUNC : O_APPEND);
    flags |= std::strchr(mode, '+') ? O_RDWR : O_WRONLY;
    int fd = ::open(path, flags, 0600);
    if (fd < 0)
        return nullptr;
    std::FILE *f = ::fdopen(fd, mode);
    if (!f)
        ::close(fd);
    return f;
}
