#include "driver/core/rcfile.h"

#include "driver/core/rcmsgid.h"
#include "platform/file.h"
#include "platform/strings.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>

namespace {

constexpr char kMark[4] = {'F', 'I', 'L', '\0'};
constexpr uint32_t kSetSlots = 10;
constexpr int kTempTries = 301;

bool Valid(const rcFile *f) { return f && std::memcmp(f->mark, kMark, sizeof kMark) == 0; }

void RemoveRecord(rcListHolder *set, rcFile *f)
{
    uint32_t index;
    if (set && set->list && rcListFindPtr(set->list, f, &index) == 0)
        rcListRemoveAt(set->list, index);
}

bool StorePath(const std::string &value, char *path, size_t size)
{
    if (!path || value.size() + 1 > size)
        return false;
    std::memcpy(path, value.c_str(), value.size() + 1);
    return true;
}

long NextNumber()
{
    thread_local std::minstd_rand generator(
        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count() ^
                              std::hash<std::thread::id>{}(std::this_thread::get_id())));
    return static_cast<long>(generator() & 0x7fffffff);
}

} // namespace

int rcFileOpen(rcListHolder *set, rcFile **file, const char *name, uint32_t flags)
{
    if (file)
        *file = nullptr;
    if (!set || !file)
        return RC_FILE_ERR_TOO_MANY;
    if (!name || std::strlen(name) > kRcFileMaxName)
        return RC_FILE_ERR_OPEN;
    if (!set->list) {
        set->list = rcListCreate(kSetSlots, sizeof(rcFile), true, 0);
        if (!set->list)
            return RC_FILE_ERR_TOO_MANY;
    }
    bool create = flags & RC_FILE_CREATE;
    if ((flags & RC_FILE_REPLACE) && !create)
        return RC_FILE_NOT_OPENED;
    auto *f = static_cast<rcFile *>(rcListAppendNew(set->list));
    if (!f)
        return RC_FILE_ERR_TOO_MANY;

    uint32_t open = PLAT_OPEN_READ;
    if (flags & RC_FILE_READWRITE)
        open = PLAT_OPEN_READWRITE;
    else if (flags & RC_FILE_WRITE)
        open = PLAT_OPEN_WRITE;
    if (create) {
        open |= PLAT_OPEN_CREATE;
        // Without permission to replace, the create itself refuses an existing
        // file: no window between a check and the create.
        if (!(flags & RC_FILE_REPLACE))
            open |= PLAT_OPEN_EXCLUSIVE;
    }
    int fd = PlatFileOpen(name, open);
    if (fd < 0) {
        int err = errno;
        RemoveRecord(set, f);
        errno = err;
        return (create && err == EEXIST) ? RC_FILE_ERR_EXISTS : RC_FILE_ERR_OPEN;
    }
    f->fd = fd;
    f->set = set;
    f->style = flags;
    std::memcpy(f->mark, kMark, sizeof kMark);
    std::memcpy(f->name, name, std::strlen(name) + 1);
    *file = f;
    return RC_FILE_OK;
}

int rcFileClose(rcFile *file, bool deleteFile)
{
    if (!Valid(file))
        return RC_FILE_ERR_HANDLE;
    bool closed = PlatFileClose(file->fd);
    if (deleteFile)
        PlatFileDelete(file->name);
    file->mark[0] = '\0';
    RemoveRecord(file->set, file);
    return closed ? RC_FILE_OK : RC_FILE_ERR_CLOSE;
}

int rcFileReadAt(rcFile *file, int64_t offset, uint32_t count, void *buffer, uint32_t *bytesRead)
{
    if (bytesRead)
        *bytesRead = 0;
    if (!Valid(file))
        return RC_FILE_ERR_HANDLE;
    if (offset >= 0 && PlatFileSeek(file->fd, offset, 0) < 0)
        return RC_FILE_ERR_READ;
    int64_t n = PlatFileRead(file->fd, buffer, count);
    if (n < 0)
        return RC_FILE_ERR_READ;
    if (bytesRead)
        *bytesRead = static_cast<uint32_t>(n);
    return static_cast<uint32_t>(n) < count ? RC_FILE_SHORT : RC_FILE_OK;
}

int rcFileWriteAt(rcFile *file, int64_t offset, uint32_t count, const void *data)
{
    if (!Valid(file))
        return RC_FILE_ERR_HANDLE;
    if (offset >= 0 && PlatFileSeek(file->fd, offset, 0) < 0)
        return RC_FILE_ERR_WRITE;
    int64_t n = PlatFileWrite(file->fd, data, count);
    return n == static_cast<int64_t>(count) ? RC_FILE_OK : RC_FILE_ERR_WRITE;
}

int rcFileRead(rcFile *file, uint32_t count, void *buffer, uint32_t *bytesRead)
{
    return rcFileReadAt(file, -1, count, buffer, bytesRead);
}

int rcFileWrite(rcFile *file, uint32_t count, const void *data)
{
    return rcFileWriteAt(file, -1, count, data);
}

int rcFileSeek(rcFile *file, int64_t offset, int origin, int64_t *position)
{
    if (!Valid(file))
        return RC_FILE_ERR_HANDLE;
    int64_t pos = PlatFileSeek(file->fd, offset, origin);
    if (pos < 0)
        return RC_FILE_ERR_SEEK;
    if (position)
        *position = pos;
    return RC_FILE_OK;
}

bool rcFileExists(const char *name) { return PlatFileExists(name); }

int rcFileCreateTempIn(const char *directory, const char *prefix, char *path, size_t size)
{
    std::string dir = (directory && *directory) ? directory : ".";
    if (dir.back() != '/')
        dir += '/';
    for (int attempt = 0; attempt < kTempTries; ++attempt) {
        char number[64];
        std::snprintf(number, sizeof number, "%s%ld", prefix ? prefix : "", NextNumber());
        number[9] = '\0';
        std::string candidate = dir + number + ".tmp";
        if (candidate.size() > kRcFileMaxName || candidate.size() + 1 > size)
            return RC_FILE_ERR_OPEN;
        int fd = PlatFileOpen(candidate.c_str(),
                              PLAT_OPEN_READWRITE | PLAT_OPEN_CREATE | PLAT_OPEN_EXCLUSIVE);
        if (fd < 0)
            continue;
        PlatFileClose(fd);
        StorePath(candidate, path, size);
        return RC_FILE_OK;
    }
    return RC_FILE_ERR_OPEN;
}

int rcFileCreateTemp(const char *prefix, const char *directory, char *path, size_t size, int mode)
{
    if (directory && *directory)
        return rcFileCreateTempIn(directory, prefix, path, size);
    std::string created;
    if (!PlatCreateTempFile(std::string(), prefix ? prefix : "", &created))
        return RC_FILE_ERR_OPEN;
    std::string result = created;
    if (mode == 3) {
        PlatFileDelete(created.c_str());
        result = created.substr(0, created.find_last_of('/') + 1);
    }
    if (!StorePath(result, path, size)) {
        if (mode != 3)
            PlatFileDelete(created.c_str());
        return RC_FILE_ERR_OPEN;
    }
    return RC_FILE_OK;
}

void rcFileErrorText(int code, char *text, size_t size, rcModule module)
{
    if (!text || size == 0)
        return;
    text[0] = '\0';
    bool known = code == RC_FILE_SHORT ||
                 (code >= RC_FILE_ERR_OPEN && code <= RC_FILE_ERR_HANDLE) ||
                 code == RC_FILE_ERR_RENAME || code == RC_FILE_ERR_MEMORY;
    if (!known)
        return;
    int err = errno;
    const char *prefix = PlatFindString(module, RC_FILE_MANAGER_PREFIX);
    const char *message = PlatFindString(module, static_cast<uint32_t>(code));
    std::string out = std::string(prefix ? prefix : "") + (message ? message : "");
    char last[64];
    std::snprintf(last, sizeof last, "Operating system LastError = %ld", static_cast<long>(err));
    if (out.size() + std::strlen(last) < size)
        out += last;
    size_t n = out.size() < size ? out.size() : size - 1;
    std::memcpy(text, out.data(), n);
    text[n] = '\0';
}
