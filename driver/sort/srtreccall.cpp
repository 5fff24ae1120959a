// Record-at-a-time sorting: srtRecordCall.
//
// Function 1 begins (control statement), 2 hands over one record, 3 ends the
// input on its first call and returns the sorted records one per call (the
// error becomes 1 when none is left), 4 finishes and removes the work files.
// The sorted output is written to a work file of framed records (4-byte
// length, then the bytes) that function 3 reads back.
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <unistd.h>

#include "driver/sort/srtcall.h"
#include "driver/sort/srtcond.h"
#include "platform/byteorder.h"

namespace {

struct RecordSort {
    SrtCallbacks callbacks;
    SrtSettings s;
    SrtCompare cmp;
    SrtWorkDir work;
    std::unique_ptr<SrtSorter> sorter;
    size_t used = 0;
    uint64_t rrn = 0;
    bool inputEnded = false;
    FILE *sorted = nullptr;

    ~RecordSort()
    {
        if (sorted)
            std::fclose(sorted);
    }
    bool cancelled() const
    {
        return callbacks.cancelled && callbacks.cancelled(callbacks.context) != 0;
    }
};

std::mutex recordLock;
std::unique_ptr<RecordSort> active;

uint32_t begin(const unsigned char *text, uint32_t length)
{
    if (active)
        return 261;
    auto rs = std::make_unique<RecordSort>();
    rs->callbacks = srtCurrentCallbacks();
    if (uint32_t err = srtParseControl(reinterpret_cast<const char *>(text), length, true,
                                       rs->callbacks, rs->s))
        return err;
    if (rs->work.create(rs->s.workDir))
        return 329;
    uint32_t workFiles = 0;
    if (uint32_t err = srtProbeHandles(rs->work, 256, workFiles))
        return err;
    rs->cmp.init(rs->s, rs->callbacks);
    SrtMemory mem;
    SrtSettings variable = rs->s;
    variable.recordLength = 0;
    variable.org = SRT_TXT; // records of any length
    if (uint32_t err = srtDivideMemory(variable, workFiles, mem))
        return err;
    RecordSort *self = rs.get();
    rs->sorter =
        std::make_unique<SrtSorter>(rs->cmp, rs->work, [self] { return self->cancelled(); });
    if (uint32_t err =
            rs->sorter->allocate(mem.bufferBytes, mem.descCount, mem.fanIn, mem.mergeBytes))
        return err;
    active = std::move(rs);
    return 0;
}

uint32_t put(const unsigned char *rec, uint32_t len)
{
    if (!active)
        return 261;
    RecordSort &rs = *active;
    if (rs.inputEnded)
        return 262;
    SrtSorter &sorter = *rs.sorter;
    if (len > sorter.capacity())
        return 245;
    if (rs.used + len > sorter.capacity() || sorter.descFull()) {
        if (uint32_t err = sorter.endBlock(false, nullptr))
            return err;
        rs.used = 0;
    }
    ++rs.rrn;
    if ((rs.s.origin && rs.rrn < rs.s.origin) || !srtSelectRecord(rs.cmp, rec, len))
        return 0;
    if (len)
        std::memcpy(sorter.buffer() + rs.used, rec, len);
    sorter.add(static_cast<uint32_t>(rs.used), len, rs.rrn, 0);
    rs.used += len;
    return 0;
}

uint32_t endInput(RecordSort &rs)
{
    std::string path = rs.work.path("sorted");
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return 210;
    uint32_t err;
    {
        SrtWriter writer(fd, 1 << 16, 240, 321, true);
        SrtOutput out(rs.cmp, writer);
        err = rs.sorter->endBlock(true, &out);
        if (!err && rs.sorter->hasRuns())
            err = rs.sorter->merge(out);
        if (!err)
            err = out.finish();
    }
    rs.sorter.reset();
    if (err) {
        ::close(fd);
        return err;
    }
    if (::lseek(fd, 0, SEEK_SET) != 0 || !(rs.sorted = ::fdopen(fd, "rb"))) {
        ::close(fd);
        return 229;
    }
    return 0;
}

uint32_t get(unsigned char *data, uint32_t *length)
{
    if (!active)
        return 261;
    RecordSort &rs = *active;
    if (!rs.inputEnded) {
        rs.inputEnded = true;
        if (uint32_t err = endInput(rs))
            return err;
    }
    if (!rs.sorted)
        return 262;
    unsigned char head[4];
    size_t n = std::fread(head, 1, 4, rs.sorted);
    if (n == 0)
        return 1;
    if (n != 4)
        return 229;
    uint32_t len = PlatGetLE32(head);
    if (!length || len > *length || (!data && len)) {
        // The record stays for a call with room for it.
        if (std::fseek(rs.sorted, -4, SEEK_CUR) != 0)
            return 229;
        return 245;
    }
    if (std::fread(data, 1, len, rs.sorted) != len)
        return 229;
    *length = len;
    return 0;
}

} // namespace

void srtRecordCall(int function, unsigned char *data, uint32_t *length, uint32_t *error)
{
    std::lock_guard<std::mutex> g(recordLock);
    uint32_t err = 0;
    try {
        switch (function) {
        case 1:
        case 2:
            if (!data && length && *length) {
                err = function == 1 ? 201 : 245;
                break;
            }
            err =
                function == 1 ? begin(data, length ? *length : 0) : put(data, length ? *length : 0);
            break;
        case 3: err = get(data, length); break;
        case 4:
            if (!active) {
                err = 261;
                break;
            }
            if (active->sorted) {
                std::fclose(active->sorted);
                active->sorted = nullptr;
            }
            active->sorter.reset();
            err = active->work.remove();
            active.reset();
            break;
        default: err = 260;
        }
    } catch (const std::exception &) { // memory exhausted
        err = 225;
    }
    if (error)
        *error = err;
}
