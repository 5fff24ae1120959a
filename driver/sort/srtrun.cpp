// Block sorting, run files and the merge.
#include "driver/sort/srtrun.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

#include "platform/byteorder.h"
#include "platform/file.h"

namespace {

std::mutex statsLock;
SrtStats lastStats;
thread_local SrtStats currentStats;

constexpr uint32_t kCancelEvery = 1u << 16;

void putU64(unsigned char *p, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

uint64_t getU64(const unsigned char *p)
{
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

// Less-than of two records by prefix, keys and record number.
struct RecordLess {
    const SrtCompare &cmp;
    bool operator()(uint64_t pa, const unsigned char *a, uint32_t la, uint64_t ra, uint64_t pb,
                    const unsigned char *b, uint32_t lb, uint64_t rb) const
    {
        if (cmp.prefixUsable && pa != pb)
            return pa < pb;
        int c = srtCompareKeys(cmp, a, la, b, lb);
        if (c)
            return c < 0;
        return ra < rb;
    }
};

// Reads the records of one run file: a 4-byte length, an 8-byte record
// number, an 8-byte byte address when the layout needs it, then the bytes.
class RunReader {
public:
    const unsigned char *rec = nullptr;
    uint32_t len = 0;
    uint64_t rrn = 0, rba = 0, prefix = 0;

    RunReader(const SrtCompare &cmp, size_t bufSize) : cmp_(cmp), buf_(bufSize) {}
    ~RunReader()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }

    uint32_t open(const std::string &path)
    {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        return fd_ < 0 ? 229 : 0;
    }

    // Steps to the next record: 1 there is one, 0 the run is done, else an
    // error code... returned through err.
    bool next(uint32_t &err)
    {
        size_t head = cmp_.settings->needRba ? 20 : 12;
        if (!fill(head, err))
            return false;
        const unsigned char *p = buf_.data() + pos_;
        len = PlatGetLE32(p);
        rrn = getU64(p + 4);
        rba = head == 20 ? getU64(p + 12) : 0;
        if (!fill(head + len, err)) {
            if (!err)
                err = 229;
            return false;
        }
        rec = buf_.data() + pos_ + head;
        pos_ += head + len;
        if (cmp_.prefixUsable)
            prefix = srtKeyPrefix(cmp_, rec, len);
        return true;
    }

private:
    // Makes n bytes available at pos_. False at a clean end of the run.
    bool fill(size_t n, uint32_t &err)
    {
        if (end_ - pos_ >= n)
            return true;
        std::memmove(buf_.data(), buf_.data() + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
        if (buf_.size() < n)
            buf_.resize(n);
        while (end_ < n) {
            ssize_t got = ::read(fd_, buf_.data() + end_, buf_.size() - end_);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                err = 229;
                return false;
            }
            if (got == 0) {
                if (end_ != 0)
                    err = 229; // a run cut short
                return false;
            }
            end_ += static_cast<size_t>(got);
        }
        return true;
    }

    const SrtCompare &cmp_;
    int fd_ = -1;
    std::vector<unsigned char> buf_;
    size_t pos_ = 0, end_ = 0;
};

} // namespace

SrtStats srtLastStats()
{
    std::lock_guard<std::mutex> g(statsLock);
    return lastStats;
}

void srtSetStats(const SrtStats &stats)
{
    std::lock_guard<std::mutex> g(statsLock);
    lastStats = stats;
}

SrtStats &srtCurrentStats() { return currentStats; }

// ---------------------------------------------------------------------------

SrtWorkDir::~SrtWorkDir() { remove(); }

namespace {
const char kWorkDirPrefix[] = "qxsort";
} // namespace

uint32_t SrtWorkDir::create(const std::string &base)
{
    std::string root = base;
    if (root.empty()) {
        const char *tmp = std::getenv("TMPDIR");
        root = tmp && *tmp ? tmp : "/tmp";
        if (root.back() != '/')
            root += '/';
    } else if (root.back() == ':') {
        root += '/';
    }
    // Work directories carry their process's pid: those of processes that
    // were killed in a sort are removed before a new one is made here.
    PlatSweepOrphanTempDirs(root, kWorkDirPrefix);
    std::string templ = root + PlatOwnedTempPrefix(kWorkDirPrefix) + "XXXXXX";
    std::vector<char> name(templ.begin(), templ.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data()))
        return 210;
    dir_ = name.data();
    return 0;
}

std::string SrtWorkDir::path(const std::string &name) const { return dir_ + "/" + name; }

uint32_t SrtWorkDir::remove()
{
    if (dir_.empty())
        return 0;
    uint32_t err = 0;
    if (DIR *d = ::opendir(dir_.c_str())) {
        std::vector<std::string> names;
        while (struct dirent *e = ::readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.push_back(e->d_name);
        ::closedir(d);
        for (const std::string &n : names)
            if (::unlink(path(n).c_str()) != 0)
                err = 312;
    }
    if (::rmdir(dir_.c_str()) != 0)
        err = 312;
    dir_.clear();
    return err;
}

// ---------------------------------------------------------------------------

SrtSorter::SrtSorter(const SrtCompare &cmp, SrtWorkDir &work, std::function<bool()> cancelled)
    : cmp_(cmp), work_(work), cancelled_(std::move(cancelled))
{}

SrtSorter::~SrtSorter() = default;

// Buffer of a run being written: a sixteenth of the merge memory, between
// 64 KB and 1 MB.
size_t SrtSorter::writerBytes() const
{
    size_t n = mergeBytes_ / 16;
    return n < (64u << 10) ? (64u << 10) : n > (1u << 20) ? (1u << 20) : n;
}

uint32_t SrtSorter::allocate(size_t bufferBytes, size_t descCount, uint32_t fanIn,
                             size_t mergeBytes)
{
    try {
        buf_.reset(new unsigned char[bufferBytes]);
        descs_.reserve(descCount);
    } catch (const std::bad_alloc &) {
        return 225;
    }
    cap_ = bufferBytes;
    descCap_ = descCount;
    fanIn_ = fanIn < 2 ? 2 : fanIn;
    mergeBytes_ = mergeBytes;
    return 0;
}

void SrtSorter::add(uint32_t off, uint32_t len, uint64_t rrn, uint64_t rba)
{
    uint64_t prefix = cmp_.prefixUsable ? srtKeyPrefix(cmp_, buf_.get() + off, len) : 0;
    descs_.push_back(SrtDesc{prefix, rrn, rba, off, len});
}

uint32_t SrtSorter::endBlock(bool lastBlock, SrtOutput *direct)
{
    if (!cmp_.settings->keys.empty()) {
        if (cancelled_())
            return SRT_ERR_CANCELLED;
        const unsigned char *base = buf_.get();
        RecordLess less{cmp_};
        std::sort(descs_.begin(), descs_.end(), [&](const SrtDesc &a, const SrtDesc &b) {
            return less(a.prefix, base + a.off, a.len, a.rrn, b.prefix, base + b.off, b.len, b.rrn);
        });
    }
    if (cancelled_())
        return SRT_ERR_CANCELLED;
    uint32_t err = 0;
    if (lastBlock && runs_.empty() && direct) {
        uint32_t n = 0;
        for (const SrtDesc &d : descs_) {
            if (++n % kCancelEvery == 0 && cancelled_())
                return SRT_ERR_CANCELLED;
            if ((err = direct->put(buf_.get() + d.off, d.len, d.rrn, d.rba)))
                return err;
        }
        descs_.clear();
        return 0;
    }
    if (descs_.empty())
        return 0;
    SrtRun run;
    run.path = work_.path("run" + std::to_string(runCounter_++));
    int fd = ::open(run.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return 210;
    {
        SrtWriter w(fd, writerBytes(), 240, 210);
        bool rba = cmp_.settings->needRba;
        unsigned char head[20];
        for (const SrtDesc &d : descs_) {
            PlatPutLE32(head, d.len);
            putU64(head + 4, d.rrn);
            if (rba)
                putU64(head + 12, d.rba);
            if ((err = w.write(head, rba ? 20 : 12)))
                break;
            if ((err = w.write(buf_.get() + d.off, d.len)))
                break;
        }
        if (!err)
            err = w.flush();
        srtCurrentStats().runBytes += w.written();
    }
    if (::close(fd) != 0 && !err)
        err = 307;
    if (err)
        return err;
    run.records = descs_.size();
    runs_.push_back(run);
    ++srtCurrentStats().runsWritten;
    descs_.clear();
    return 0;
}

uint32_t SrtSorter::mergeInto(const std::vector<SrtRun> &inputs, SrtOutput *out, SrtWriter *runOut)
{
    size_t reserved = runOut ? writerBytes() : 0;
    size_t per = (mergeBytes_ > reserved ? mergeBytes_ - reserved : 0) / inputs.size();
    if (per < 4096)
        per = 4096;
    std::vector<std::unique_ptr<RunReader>> readers;
    std::vector<RunReader *> heap;
    uint32_t err = 0;
    for (const SrtRun &r : inputs) {
        readers.push_back(std::make_unique<RunReader>(cmp_, per));
        RunReader &rd = *readers.back();
        if ((err = rd.open(r.path)))
            return err;
        if (rd.next(err))
            heap.push_back(&rd);
        else if (err)
            return err;
    }
    RecordLess less{cmp_};
    // Min-heap: parent not greater than child.
    auto greater = [&](const RunReader *a, const RunReader *b) {
        return less(b->prefix, b->rec, b->len, b->rrn, a->prefix, a->rec, a->len, a->rrn);
    };
    std::make_heap(heap.begin(), heap.end(), greater);
    bool rba = cmp_.settings->needRba;
    unsigned char head[20];
    uint32_t n = 0;
    while (!heap.empty()) {
        if (++n % kCancelEvery == 0 && cancelled_())
            return SRT_ERR_CANCELLED;
        RunReader *top = heap.front();
        if (out) {
            err = out->put(top->rec, top->len, top->rrn, top->rba);
        } else {
            PlatPutLE32(head, top->len);
            putU64(head + 4, top->rrn);
            if (rba)
                putU64(head + 12, top->rba);
            err = runOut->write(head, rba ? 20 : 12);
            if (!err)
                err = runOut->write(top->rec, top->len);
        }
        if (err)
            return err;
        // Replace the top by the next record of its run and sift it down.
        size_t size = heap.size();
        if (!top->next(err)) {
            if (err)
                return err;
            heap.front() = heap.back();
            heap.pop_back();
            --size;
            if (size == 0)
                break;
        }
        size_t i = 0;
        RunReader *moving = heap[0];
        for (;;) {
            size_t c = 2 * i + 1;
            if (c >= size)
                break;
            if (c + 1 < size && greater(heap[c], heap[c + 1]))
                ++c;
            if (!greater(moving, heap[c]))
                break;
            heap[i] = heap[c];
            i = c;
        }
        heap[i] = moving;
    }
    return 0;
}

uint32_t SrtSorter::writeRun(const std::vector<SrtRun> &inputs, SrtRun &run)
{
    run.path = work_.path("run" + std::to_string(runCounter_++));
    int fd = ::open(run.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return 210;
    uint32_t err;
    {
        SrtWriter w(fd, writerBytes(), 240, 231);
        err = mergeInto(inputs, nullptr, &w);
        if (!err)
            err = w.flush();
        srtCurrentStats().runBytes += w.written();
    }
    if (::close(fd) != 0 && !err)
        err = 231;
    for (const SrtRun &r : inputs)
        run.records += r.records;
    return err;
}

uint32_t SrtSorter::merge(SrtOutput &out)
{
    buf_.reset();
    std::vector<SrtDesc>().swap(descs_);
    while (runs_.size() > fanIn_) {
        if (cancelled_())
            return SRT_ERR_CANCELLED;
        std::vector<SrtRun> group(runs_.begin(), runs_.begin() + fanIn_);
        SrtRun merged;
        uint32_t err = writeRun(group, merged);
        for (const SrtRun &r : group)
            ::unlink(r.path.c_str());
        runs_.erase(runs_.begin(), runs_.begin() + fanIn_);
        if (err) {
            ::unlink(merged.path.c_str());
            return err;
        }
        runs_.push_back(merged);
        ++srtCurrentStats().mergedRuns;
    }
    if (cancelled_())
        return SRT_ERR_CANCELLED;
    uint32_t err = mergeInto(runs_, &out, nullptr);
    for (const SrtRun &r : runs_)
        ::unlink(r.path.c_str());
    runs_.clear();
    return err;
}
