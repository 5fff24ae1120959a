// Evaluates typical select-list expressions and conditions over a million
// in-memory rows and prints the cost per row. Column values come from a
// row array the way the record cache hands them over (a copy of the stored
// bytes); the expressions are parsed, typed and compiled once, as prepare
// does. Operator new is counted so that an allocation per row would show.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "driver/core/rclock.h"
#include "driver/engine/expr/tests/expr_test_util.h"

namespace {

std::atomic<uint64_t> gAllocations{0};

struct BenchRow {
    int32_t i;
    double amount;
    char status[11];
    char v[21];
    DATE_STRUCT dt;
};

constexpr size_t kRows = 1000000;
std::vector<BenchRow> gRows;
size_t gCurrent = 0;

// Column numbers of the test table (exptest::Columns()).
enum : uint32_t { kColI = 0, kColV = 7, kColDt = 8, kColAmount = 13, kColStatus = 14 };

int32_t CacheRead(void *, uint32_t column, void *buffer, uint32_t length, uint32_t *outLength,
                  DRM_RETINFO *, int16_t)
{
    const BenchRow &r = gRows[gCurrent];
    auto copyText = [&](const char *t) {
        size_t n = std::strlen(t);
        size_t m = n < length ? n : length;
        std::memcpy(buffer, t, m);
        *outLength = static_cast<uint32_t>(n);
        return n > length ? RC_EVL_COL_TRUNCATED : 0;
    };
    switch (column) {
    case kColI:
        std::memcpy(buffer, &r.i, 4);
        *outLength = 4;
        return 0;
    case kColAmount:
        std::memcpy(buffer, &r.amount, 8);
        *outLength = 8;
        return 0;
    case kColStatus: return copyText(r.status);
    case kColV: return copyText(r.v);
    case kColDt:
        std::memcpy(buffer, &r.dt, sizeof r.dt);
        *outLength = sizeof r.dt;
        return 0;
    default: return RC_EVL_COL_NULL;
    }
}

void Report(const char *what, double ns, uint64_t allocations, uint64_t hits)
{
    std::printf("%-44s %7.1f ns/row  %10llu allocations  %8llu rows passed\n", what, ns,
                static_cast<unsigned long long>(allocations),
                static_cast<unsigned long long>(hits));
}

template <typename Fn>
double TimeRows(Fn &&perRow, uint64_t *allocations)
{
    // One warm-up pass sizes every buffer.
    gCurrent = 0;
    perRow();
    uint64_t before = gAllocations.load();
    auto start = std::chrono::steady_clock::now();
    for (gCurrent = 0; gCurrent < kRows; ++gCurrent)
        perRow();
    auto end = std::chrono::steady_clock::now();
    *allocations = gAllocations.load() - before;
    return std::chrono::duration<double, std::nano>(end - start).count() / kRows;
}

} // namespace

void *operator new(size_t n)
{
    ++gAllocations;
    if (void *p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, size_t) noexcept { std::free(p); }

int main()
{
    if (rcInitDriverGlobals() != 0)
        return 1;
    static const char *statuses[] = {"PAID", "OPEN", "paid", "VOID"};
    gRows.resize(kRows);
    for (size_t k = 0; k < kRows; ++k) {
        BenchRow &r = gRows[k];
        r.i = static_cast<int32_t>(k % 17);
        r.amount = static_cast<double>((k * 7919) % 2000);
        std::strcpy(r.status, statuses[k % 4]);
        std::snprintf(r.v, sizeof r.v, "ab%05zu", k % 100000);
        r.dt = DATE_STRUCT{static_cast<SQLSMALLINT>(1990 + k % 30),
                           static_cast<SQLUSMALLINT>(1 + k % 12),
                           static_cast<SQLUSMALLINT>(1 + k % 28)};
    }

    exptest::World w;
    for (rcEvlColumnRef &ref : w.refs)
        ref.read = CacheRead;

    const char *conditions[] = {
        "amount > 900 AND status = 'PAID'",
        "i IN (1, 5, 9, 13)",
        "v LIKE 'ab1%'",
        "dt BETWEEN {d '2000-01-01'} AND {d '2009-12-31'}",
    };
    for (const char *text : conditions) {
        rcFltId f = 0;
        if (rcFltCompile(&w.env, w.ParseCond(text), &f) != 0) {
            std::fprintf(stderr, "cannot compile %s\n", text);
            return 1;
        }
        uint64_t hits = 0, allocations = 0;
        double ns = TimeRows(
            [&] {
                int passed = 0;
                rcFltRun(&w.env, f, &passed);
                hits += static_cast<uint64_t>(passed);
            },
            &allocations);
        Report(text, ns, allocations, hits);
    }

    const char *expressions[] = {
        "amount * 1.08 + i",
        "dt + 30",
        "UCASE(status) + '-' + v",
        "SUBSTRING(v, 2, 3)",
    };
    for (const char *text : expressions) {
        rcExpSlot slot = 0;
        if (rcExpCompile(&w.env, w.ParseExpr(text), &slot, 0) != 0) {
            std::fprintf(stderr, "cannot compile %s\n", text);
            return 1;
        }
        uint64_t allocations = 0;
        char buf[64];
        double ns = TimeRows(
            [&] {
                int32_t len = 0;
                bool isNull = false;
                rcExpEvaluate(&w.env, slot, SQL_C_CHAR, buf, sizeof buf, &len, 0, &isNull);
            },
            &allocations);
        Report(text, ns, allocations, 0);
        uint64_t allocations2 = 0;
        double ns2 = TimeRows(
            [&] {
                rcExpValue v;
                rcExpEvalValue(&w.env, slot, &v);
            },
            &allocations2);
        std::string label = std::string(text) + " (value only)";
        Report(label.c_str(), ns2, allocations2, 0);
    }
    return 0;
}
