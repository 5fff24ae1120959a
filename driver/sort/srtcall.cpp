// srtSortFiles: one whole sort of files, from the control statement to the
// output file.
//
// Steps: parse the statement; make the private work directory and probe how
// many files can be open; check the input list; divide the memory; let the
// organisation prepare; read the input in blocks (select, sort, write each
// block as a run, or straight to the output when it is the whole input);
// merge the runs into the output; finish the output; remove the work files.
// The cancel probe is asked between the steps and during long loops.
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/sort/srtcall.h"
#include "driver/sort/srtcond.h"
#include "driver/sort/srtorg.h"

namespace {

std::mutex callbackLock;
SrtCallbacks installed;

constexpr uint32_t kMaxWorkFiles = 256;
constexpr size_t kMinMergeBuffer = 8192;

// Splits the input list at blanks and "+"; a name in double quotes may hold
// either, and so may a list that as a whole names an existing file.
std::vector<std::string> splitNames(const std::string &text)
{
    std::vector<std::string> names;
    struct stat st;
    std::string whole = text;
    while (!whole.empty() && (whole.back() == ' ' || whole.back() == '\t'))
        whole.pop_back();
    size_t lead = whole.find_first_not_of(" \t");
    if (lead != std::string::npos && whole.find_first_of(" +\t", lead) != std::string::npos &&
        whole[lead] != '"' && ::stat(whole.c_str() + lead, &st) == 0 && S_ISREG(st.st_mode)) {
        names.push_back(whole.substr(lead));
        return names;
    }
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == ' ' || c == '+' || c == '\t') {
            ++i;
            continue;
        }
        if (c == '"') {
            size_t close = text.find('"', i + 1);
            if (close == std::string::npos)
                close = text.size();
            names.push_back(text.substr(i + 1, close - i - 1));
            i = close + 1;
            continue;
        }
        size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '+' && text[i] != '\t')
            ++i;
        names.push_back(text.substr(start, i - start));
    }
    return names;
}

std::string trimBlanks(std::string s)
{
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    size_t e = s.find_last_not_of(" \t");
    s = s.substr(b, e - b + 1);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        s = s.substr(1, s.size() - 2);
    return s;
}

bool sameFile(const std::string &a, const std::string &b)
{
    if (a == b)
        return true;
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

} // namespace

void srtSetCallbacks(const SrtCallbacks *callbacks)
{
    std::lock_guard<std::mutex> g(callbackLock);
    installed = callbacks ? *callbacks : SrtCallbacks{};
}

SrtCallbacks srtCurrentCallbacks()
{
    std::lock_guard<std::mutex> g(callbackLock);
    return installed;
}

uint32_t srtProbeHandles(SrtWorkDir &work, uint32_t limit, uint32_t &count)
{
    std::string probe = work.path("probe");
    int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return 329;
    if (::close(fd) != 0)
        return 333;
    std::vector<int> fds;
    uint32_t err = 0;
    while (fds.size() < limit) {
        fd = ::open(probe.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            if (fds.empty())
                err = 334;
            break;
        }
        fds.push_back(fd);
    }
    count = static_cast<uint32_t>(fds.size());
    for (int f : fds)
        if (::close(f) != 0 && !err)
            err = 331;
    if (::unlink(probe.c_str()) != 0 && !err)
        err = 332;
    if (!err && count < 4)
        err = 330;
    return err;
}

uint32_t srtDivideMemory(const SrtSettings &s, uint32_t workFiles, SrtMemory &m)
{
    uint64_t core = s.core;
    if ((core / 40) * 1024 < s.recordLength)
        core = 2000;
    uint64_t budget = core * 1024;
    srtCurrentStats().core = static_cast<uint32_t>(core);
    if (budget < 40 * 1024)
        return 225;
    if (budget > (uint64_t(1) << 40))
        return 225;
    const uint64_t descSize = sizeof(SrtDesc);
    // An eighth of the memory stays for the output and run buffers; record
    // offsets in a block are 32-bit.
    uint64_t block = budget - budget / 8;
    if (block > (uint64_t(1) << 31))
        block = uint64_t(1) << 31;
    bool fixed = s.org == SRT_FIX || s.org == SRT_FE || s.org == SRT_PRE || s.org == SRT_DB3;
    if (fixed && s.recordLength) {
        uint64_t count = block / (s.recordLength + descSize);
        if (count == 0)
            count = 1;
        m.descCount = count;
        m.bufferBytes = count * s.recordLength;
    } else {
        m.bufferBytes = block / 4 * 3;
        m.descCount = block / 4 / descSize;
    }
    uint64_t memFanIn = budget / kMinMergeBuffer;
    m.fanIn = static_cast<uint32_t>(memFanIn < workFiles - 2 ? memFanIn : workFiles - 2);
    if (m.fanIn < 2)
        m.fanIn = 2;
    m.mergeBytes = budget;
    srtCurrentStats().workFiles = workFiles;
    srtCurrentStats().fanIn = m.fanIn;
    return 0;
}

namespace {

// The state of one srtSortFiles call.
class FileSort {
public:
    FileSort(const SrtCallbacks &cb) : callbacks_(cb) {}
    ~FileSort()
    {
        if (inFd_ >= 0)
            ::close(inFd_);
        if (outFd_ >= 0)
            ::close(outFd_);
    }

    uint32_t run(const std::string &inputs, const std::string &output, const char *stmt,
                 size_t stmtLen, uint32_t &count);

private:
    bool cancelled() const
    {
        return callbacks_.cancelled && callbacks_.cancelled(callbacks_.context) != 0;
    }
    uint32_t openOutput();
    uint32_t readBlocks(SrtSorter &sorter, SrtOutput &out);
    uint32_t openNextInput(bool &ended);

    SrtCallbacks callbacks_;
    SrtSettings s_;
    SrtCompare cmp_;
    SrtFormat fmt_;
    SrtWorkDir work_;
    std::vector<std::string> inputs_;
    std::string output_;
    size_t nextInput_ = 0;
    int inFd_ = -1;
    int outFd_ = -1;
    std::unique_ptr<SrtWriter> writer_;
    uint64_t rrn_ = 0;
    uint64_t fileOffset_ = 0;
};

uint32_t FileSort::openOutput()
{
    if (outFd_ >= 0)
        return 0;
    outFd_ = ::open(output_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (outFd_ < 0)
        return 321;
    writer_->setFd(outFd_);
    return srtOrgStart(fmt_, *writer_);
}

uint32_t FileSort::openNextInput(bool &ended)
{
    if (nextInput_ >= inputs_.size()) {
        ended = true;
        return 0;
    }
    inFd_ = ::open(inputs_[nextInput_++].c_str(), O_RDONLY | O_CLOEXEC);
    if (inFd_ < 0)
        return 214;
    fileOffset_ = 0;
    if (fmt_.skip) {
        if (::lseek(inFd_, static_cast<off_t>(fmt_.skip), SEEK_SET) < 0)
            return 227;
        fileOffset_ = fmt_.skip;
    }
    return 0;
}

uint32_t FileSort::readBlocks(SrtSorter &sorter, SrtOutput &out)
{
    unsigned char *buf = sorter.buffer();
    const size_t cap = sorter.capacity();
    size_t used = 0, parsed = 0;
    bool ended = false, eof = false;
    const bool noKeys = s_.keys.empty();
    const bool select = !s_.conditions.empty();
    while (!ended) {
        if (cancelled())
            return SRT_ERR_CANCELLED;
        bool blockDone = false;
        while (!blockDone && !ended) {
            if (inFd_ < 0) {
                if (uint32_t err = openNextInput(ended))
                    return err;
                eof = false;
                if (ended)
                    break;
            }
            bool fileDone = false;
            while (parsed < used) {
                size_t len = 0;
                SrtRule rule = srtOrgRecord(s_, fmt_, buf + parsed, used - parsed, eof, len);
                if (rule == SRT_REC_INCOMPLETE)
                    break;
                if (rule == SRT_REC_BAD)
                    return 216;
                if (rule == SRT_REC_END) {
                    fmt_.endSeen = true;
                    fileDone = true;
                    parsed = used;
                    break;
                }
                ++rrn_;
                uint64_t rba = fileOffset_;
                fileOffset_ += len;
                size_t off = parsed;
                parsed += len;
                if ((!s_.origin || rrn_ >= s_.origin) &&
                    (!select || srtSelectRecord(cmp_, buf + off, static_cast<uint32_t>(len))))
                    sorter.add(static_cast<uint32_t>(off), static_cast<uint32_t>(len), rrn_, rba);
                if (s_.limit && rrn_ >= s_.limit) {
                    ended = true;
                    break;
                }
                if (sorter.descFull()) {
                    blockDone = true;
                    break;
                }
            }
            if (ended || blockDone)
                break;
            if (fileDone || (eof && parsed == used)) {
                int fd = inFd_;
                inFd_ = -1;
                if (::close(fd) != 0)
                    return 220;
                continue;
            }
            if (used == cap) {
                if (parsed == 0)
                    return 245;
                break; // the block is full; the partial record moves on
            }
            ssize_t n = ::read(inFd_, buf + used, cap - used);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return 216;
            if (n == 0)
                eof = true;
            used += static_cast<size_t>(n);
        }
        bool last = ended;
        if (last && inFd_ >= 0) {
            int fd = inFd_;
            inFd_ = -1;
            if (::close(fd) != 0)
                return 220;
        }
        if ((last && !sorter.hasRuns()) || noKeys)
            if (uint32_t err = openOutput())
                return err;
        if (uint32_t err = sorter.endBlock(last || noKeys, &out))
            return err;
        std::memmove(buf, buf + parsed, used - parsed);
        used -= parsed;
        parsed = 0;
    }
    return 0;
}

uint32_t FileSort::run(const std::string &inputs, const std::string &output, const char *stmt,
                       size_t stmtLen, uint32_t &count)
{
    count = 0;
    if (uint32_t err = srtParseControl(stmt, stmtLen, false, callbacks_, s_))
        return err;
    output_ = trimBlanks(output);
    inputs_ = splitNames(inputs);
    if (work_.create(s_.workDir))
        return 329;
    uint32_t workFiles = 0;
    if (uint32_t err = srtProbeHandles(work_, kMaxWorkFiles, workFiles))
        return err;
    bool plainSort = s_.flags[SRT_F_SORT] && !s_.flags[SRT_F_ADDR] && !s_.flags[SRT_F_KEYO] &&
                     s_.conditions.empty() && !s_.flags[SRT_F_OUTR] && s_.dupMode == SRT_DUP_NONE;
    if (!plainSort)
        for (const std::string &in : inputs_)
            if (sameFile(in, output_))
                return 211;
    if (inputs_.empty() || output_.empty())
        return 213;
    if (uint32_t err = srtOrgPrepare(s_, inputs_, fmt_))
        return err;
    cmp_.init(s_, callbacks_);
    SrtMemory mem;
    if (uint32_t err = srtDivideMemory(s_, workFiles, mem))
        return err;
    SrtSorter sorter(cmp_, work_, [this] { return cancelled(); });
    if (uint32_t err = sorter.allocate(mem.bufferBytes, mem.descCount, mem.fanIn, mem.mergeBytes))
        return err;
    size_t outBuffer = mem.mergeBytes / 8 < (1u << 20) ? mem.mergeBytes / 8 : (1u << 20);
    writer_ = std::make_unique<SrtWriter>(-1, outBuffer, 240, 321);
    SrtOutput out(cmp_, *writer_);
    uint32_t err = readBlocks(sorter, out);
    if (!err && sorter.hasRuns()) {
        if (cancelled())
            err = SRT_ERR_CANCELLED;
        if (!err)
            err = openOutput();
        if (!err)
            err = sorter.merge(out);
    }
    if (!err)
        err = out.finish();
    if (!err)
        err = srtOrgFinish(s_, fmt_, *writer_, out.count());
    count = out.count() > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(out.count());
    if (outFd_ >= 0) {
        int fd = outFd_;
        outFd_ = -1;
        if (::close(fd) != 0 && !err)
            err = 221;
    }
    return err;
}

} // namespace

void srtSortFilesLen(uint32_t /*mode*/, const char *inputNames, size_t inputLength,
                     const char *outputName, size_t outputLength, const char *statement,
                     size_t statementLength, uint32_t *recordCount, uint32_t *error)
{
    srtCurrentStats() = SrtStats{};
    uint32_t count = 0, err = 0;
    try {
        FileSort sort(srtCurrentCallbacks());
        // A text ends at its length or at its first zero byte.
        auto text = [](const char *p, size_t n) {
            return p ? std::string(p, strnlen(p, n)) : std::string();
        };
        std::string stmt = text(statement, statementLength);
        err = sort.run(text(inputNames, inputLength), text(outputName, outputLength), stmt.c_str(),
                       stmt.size(), count);
    } catch (const std::exception &) { // memory exhausted
        err = 225;
    }
    srtSetStats(srtCurrentStats());
    if (recordCount)
        *recordCount = count;
    if (error)
        *error = err;
}

void srtSortFiles(const char *inputNames, const char *outputName, const char *statement,
                  uint32_t *recordCount, uint32_t *error)
{
    srtSortFilesLen(0, inputNames, inputNames ? std::strlen(inputNames) : 0, outputName,
                    outputName ? std::strlen(outputName) : 0, statement,
                    statement ? std::strlen(statement) : 0, recordCount, error);
}
