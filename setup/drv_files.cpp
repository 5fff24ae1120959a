// Installing a set of files as one step (see drv_files.h).
#include "setup/drv_files.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Reason(const std::string &what, const std::string &path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

// Copies src to a new temporary file beside dst; the temporary name or "".
std::string CopyToTemp(const std::string &src, const std::string &dstDir, const std::string &name,
                       std::string *error)
{
    int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        *error = Reason("cannot read", src);
        return "";
    }
    std::string temp = dstDir + "/." + name + ".XXXXXX";
    int out = ::mkstemp(temp.data());
    if (out < 0) {
        *error = Reason("cannot create a file in", dstDir);
        ::close(in);
        return "";
    }
    bool ok = true;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n == 0)
            break;
        if (n < 0) {
            *error = Reason("cannot read", src);
            ok = false;
            break;
        }
        for (ssize_t done = 0; ok && done < n;) {
            ssize_t w = ::write(out, buf + done, size_t(n - done));
            if (w <= 0) {
                *error = Reason("cannot write", temp);
                ok = false;
            }
            done += w > 0 ? w : 0;
        }
        if (!ok)
            break;
    }
    if (ok && (::fchmod(out, 0755) != 0 || ::fsync(out) != 0)) {
        *error = Reason("cannot write", temp);
        ok = false;
    }
    if (::close(out) != 0 && ok) {
        *error = Reason("cannot write", temp);
        ok = false;
    }
    ::close(in);
    if (!ok) {
        ::unlink(temp.c_str());
        return "";
    }
    return temp;
}

} // namespace

DrvFileSet::DrvFileSet(std::string sourceDir, std::string targetDir)
    : source_(std::move(sourceDir)), target_(std::move(targetDir))
{}

DrvFileSet::~DrvFileSet() { Undo(); }

bool DrvFileSet::Copy(const std::vector<std::string> &names, std::string *error)
{
    if (!DrvMakeDirectories(target_, &createdTarget_)) {
        *error = Reason("cannot create", target_);
        return false;
    }
    for (const std::string &name : names) {
        Item item;
        item.name = name;
        item.temp = CopyToTemp(source_ + "/" + name, target_, name, error);
        if (item.temp.empty()) {
            Undo();
            return false;
        }
        items_.push_back(item);
    }
    return true;
}

bool DrvFileSet::Install(std::string *error)
{
    for (Item &item : items_) {
        std::string target = target_ + "/" + item.name;
        if (::access(target.c_str(), F_OK) == 0) {
            item.kept = target_ + "/." + item.name + ".kept";
            ::unlink(item.kept.c_str());
            if (::link(target.c_str(), item.kept.c_str()) != 0) {
                *error = Reason("cannot keep", target);
                item.kept.clear();
                Undo();
                return false;
            }
        }
        if (::rename(item.temp.c_str(), target.c_str()) != 0) {
            *error = Reason("cannot install", target);
            Undo();
            return false;
        }
        item.installed = true;
        item.temp.clear();
    }
    return true;
}

void DrvFileSet::Undo()
{
    for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
        std::string target = target_ + "/" + it->name;
        if (!it->temp.empty())
            ::unlink(it->temp.c_str());
        if (it->installed) {
            if (!it->kept.empty())
                ::rename(it->kept.c_str(), target.c_str());
            else
                ::unlink(target.c_str());
        } else if (!it->kept.empty()) {
            ::unlink(it->kept.c_str());
        }
    }
    items_.clear();
    if (createdTarget_)
        ::rmdir(target_.c_str());
    createdTarget_ = false;
}

void DrvFileSet::Commit()
{
    for (const Item &item : items_)
        if (!item.kept.empty())
            ::unlink(item.kept.c_str());
    items_.clear();
    createdTarget_ = false;
}

std::string DrvProgramDirectory()
{
    char path[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    std::string p(path, size_t(n));
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : p.substr(0, slash);
}

bool DrvMakeDirectories(const std::string &dir, bool *created)
{
    *created = false;
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        bool parentCreated = false;
        if (!DrvMakeDirectories(dir.substr(0, slash), &parentCreated))
            return false;
    }
    if (::mkdir(dir.c_str(), 0755) != 0)
        return false;
    *created = true;
    return true;
}
