// Temporary-table benchmark: rows of (integer, double, 20-character text,
// date) are appended, sorted on (text, integer) and read back, once with the
// whole table in memory and with the default in-memory limit, so that the
// table spills and the sort library sorts it (with the default CORE of 256
// kilobytes, and with 4 megabytes). The same rows, written as
// text lines, are sorted by `LC_ALL=C sort` for comparison.
//
//   temptable_bench [rows] [work directory]
#include "driver/core/rccnv.h"
#include "driver/core/rclock.h"
#include "driver/core/rcmem.h"
#include "driver/engine/temp/rcswp.h"
#include "driver/engine/temp/rctmp.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

struct Row {
    int32_t i;
    double d;
    char text[21];
    DATE_STRUCT date;
};

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

long maxRssKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

void report(const char *mode, const char *phase, size_t rows, double secs)
{
    std::printf("%-10s %-8s %8.3f s %12.0f rows/s\n", mode, phase, secs, double(rows) / secs);
}

bool runMode(const char *mode, const std::vector<Row> &rows, rcTmpOwner owner, rcErrorQueue &errors)
{
    TempTable *t;
    if (rcTmpCreate(owner, &t) != 0 || rcTmpAddColumn(t, SQL_INTEGER, 0, 4) != 0 ||
        rcTmpAddColumn(t, SQL_DOUBLE, 0, 8) != 0 || rcTmpAddColumn(t, SQL_VARCHAR, 0, 20) != 0 ||
        rcTmpAddColumn(t, SQL_DATE, 0, 6) != 0 || rcTmpSetSortKey(t, 0, 2, false) != 0 ||
        rcTmpSetSortKey(t, 1, 0, false) != 0)
        return false;
    auto start = std::chrono::steady_clock::now();
    for (const Row &r : rows) {
        if (rcTmpPutColumn(t, &r.i, 0, false) != 0 || rcTmpPutColumn(t, &r.d, 1, false) != 0 ||
            rcTmpPutColumn(t, r.text, 2, false) != 0 || rcTmpPutColumn(t, &r.date, 3, false) != 0)
            return false;
    }
    report(mode, "append", rows.size(), seconds(start));
    start = std::chrono::steady_clock::now();
    if (rcSwpSortExec(t) != 0)
        return false;
    report(mode, "sort", rows.size(), seconds(start));
    start = std::chrono::steady_clock::now();
    size_t n = 0;
    int64_t checksum = 0;
    while (rcTmpMove(t, 1) == 0) {
        const void *v;
        uint32_t len;
        bool isNull;
        for (uint16_t c = 0; c < 4; ++c)
            if (rcTmpColumnValue(t, c, &v, &len, &isNull) != 0)
                return false;
        checksum += static_cast<const unsigned char *>(v)[0];
        ++n;
    }
    report(mode, "read", n, seconds(start));
    rcTmpFree(t);
    std::printf("%-10s rows read %zu (checksum %lld), max RSS so far %ld kB, messages %u\n", mode,
                n, static_cast<long long>(checksum), maxRssKb(), rcErrQueueCount(&errors));
    return n == rows.size();
}

} // namespace

int main(int argc, char **argv)
{
    size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
    std::string dir = argc > 2 ? argv[2] : "/tmp/";
    if (dir.back() != '/')
        dir += '/';
    rcInitDriverGlobals();
    std::mt19937 rng(42);
    std::vector<Row> rows(count);
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (Row &r : rows) {
        r.i = int32_t(rng() % 1000);
        r.d = (double(rng()) - 2147483648.0) / 1000.0;
        for (int k = 0; k < 20; ++k)
            r.text[k] = letters[rng() % 52];
        r.text[0] = letters[rng() % 4]; // common first letters: ties decided later
        r.text[20] = '\0';
        r.date = DATE_STRUCT{int16_t(1990 + rng() % 40), uint16_t(1 + rng() % 12),
                             uint16_t(1 + rng() % 28)};
    }

    rcErrorQueue errors{};
    rcTmpOwner owner;
    owner.errors = &errors;
    owner.workDir = dir.c_str();
    // The spilling run first, so that its peak memory shows apart.
    bool ok = runMode("spill", rows, owner, errors);
    owner.limits.sortCoreKb = 4096;
    ok = runMode("spill-4MB", rows, owner, errors) && ok;
    owner.limits.memoryLimit = 1u << 30;
    ok = runMode("in-memory", rows, owner, errors) && ok;

    // The same rows as text lines, sorted by the system's sort.
    std::string in = dir + "temptable_bench.txt", out = dir + "temptable_bench.sorted";
    FILE *f = std::fopen(in.c_str(), "w");
    if (f == nullptr)
        return 2;
    for (const Row &r : rows)
        std::fprintf(f, "%s\t%d\t%.6f\t%04d-%02d-%02d\n", r.text, r.i, r.d, r.date.year,
                     r.date.month, r.date.day);
    std::fclose(f);
    for (const char *parallel : {"", " --parallel=1"}) {
        std::string cmd = "LC_ALL=C sort -f -t '\t' -k1,1 -k2,2n" + std::string(parallel) +
                          " -o '" + out + "' '" + in + "'";
        auto start = std::chrono::steady_clock::now();
        int rc = std::system(cmd.c_str());
        report(*parallel ? "sort(1)x1" : "sort(1)", "sort", rows.size(), seconds(start));
        if (rc != 0)
            ok = false;
    }
    std::remove(in.c_str());
    std::remove(out.c_str());
    rcErrQueueDestroy(&errors);
    rcPoolFreeAll();
    return ok ? 0 : 1;
}
