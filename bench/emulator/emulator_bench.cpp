// The emulator's own cost of sorts and selection windows, in process (no
// socket): the requests go through QxdbServeRequest as the server serves them.
//
//   emulator_bench FIXTURE [TABLE [ROUNDS [SORTS]]]
//
// FIXTURE is a qxserver fixture, e.g. the bench-peers `orders` data written by
// csv2qx.py (TABLE defaults to "orders"). For every sort below it prints the
// median, fastest and slowest of ROUNDS (default 7) runs of the sort (after a
// select all), and the cost per window of reading the whole selection in
// windows of 100 records of every field (or of the fields QX_BENCH_COLUMNS
// lists, "2,3"): sorted; sorted with the next window read ahead between two
// requests (untimed, as the server does while it waits, and a pause of a
// round trip); in storage order the same way (after the select all, in the
// same round); and the ratio of the two read-ahead figures. The sorts are by the table's fields in
// turn: ascending, descending, and the second field with the third; SORTS
// chooses others: keys separated by ':', sorts by ',', a field number
// negative for descending ("2,-2,2:-3").
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "qxserver/db/db_codec.h"
#include "qxserver/db/db_fixture.h"
#include "qxserver/db/db_requests.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace qxdb;

constexpr int kWindow = 100;
// Between a reply and the next request on loopback: the round trip and the
// client's work on 100 rows take more than this.
constexpr int kGapMicros = 20;
constexpr size_t kSortLine = 96;

struct Stats {
    double median = 0, low = 0, high = 0;
};

Stats Summarise(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.front(), v.back()};
}

class Bench {
public:
    Bench(Connection &c, int16_t table, std::vector<int> columns)
        : c_(c), table_(table), columns_(std::move(columns))
    {}

    bool Serve(int16_t code, const std::vector<uint8_t> &body, Reply &r)
    {
        r = QxdbServeRequest(c_, code, body.data(), body.size(), opt_);
        return r.status == 0;
    }

    bool SelectAll()
    {
        Writer w(false);
        w.Put16(table_);
        Reply r;
        return Serve(17, w.bytes(), r);
    }

    // keys: field number, negative for descending.
    bool Sort(const std::vector<int> &keys)
    {
        Writer w(false);
        w.Put16(static_cast<int32_t>(keys.size()));
        w.Put16(table_);
        for (int k : keys) {
            w.Put16(std::abs(k));
            w.Put16(table_);
            w.Put8(k > 0 ? 3 : 5);
            w.PutZeros(kSortLine - 5);
        }
        Reply r;
        return Serve(36, w.bytes(), r);
    }

    // Microseconds per window of every record of the selection; with
    // `readAhead`, the connection reads the next window ahead between two
    // requests and the next request comes kGapMicros later (both untimed),
    // as the server reads ahead while the reply travels and the client
    // takes the rows.
    double ReadWindows(int32_t records, int64_t &bytes, bool readAhead = false)
    {
        Writer w(false);
        w.Put16(static_cast<int32_t>(columns_.size()));
        w.Put16(-table_);
        for (int f : columns_) {
            w.Put16(table_);
            w.Put16(f);
        }
        size_t at = w.size();
        w.Put32(0);
        w.Put32(0);
        std::vector<uint8_t> body = w.bytes();
        int windows = 0;
        Clock::duration spent{};
        for (int32_t first = 0; first < records; first += kWindow, ++windows) {
            Writer b(false);
            b.bytes() = body;
            b.Set32(at, first);
            b.Set32(at + 4, first + kWindow - 1);
            Reply r;
            auto t0 = Clock::now();
            if (!Serve(91, b.bytes(), r))
                return -1;
            spent += Clock::now() - t0;
            bytes += static_cast<int64_t>(r.body.size());
            if (readAhead) {
                c_.ReadAhead();
                for (auto until = Clock::now() + std::chrono::microseconds(kGapMicros);
                     Clock::now() < until;) {}
            }
        }
        std::chrono::duration<double, std::micro> us = spent;
        return windows ? us.count() / windows : 0;
    }

private:
    Connection &c_;
    int16_t table_;
    std::vector<int> columns_;
    WireOptions opt_;
};

std::string Describe(const TableDef &def, const std::vector<int> &keys)
{
    std::string s;
    for (int k : keys) {
        const FieldDef &f = def.fields[static_cast<size_t>(std::abs(k)) - 1];
        s += (s.empty() ? "" : ", ") + f.name + (k < 0 ? " desc" : "") +
             (f.indexed || f.unique ? " [indexed]" : "");
    }
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: emulator_bench FIXTURE [TABLE [ROUNDS]]\n");
        return 2;
    }
    std::string tableName = argc > 2 && *argv[2] ? argv[2] : "orders";
    int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 7;
    Database db;
    std::string error;
    if (!QxdbLoadFixture(argv[1], db, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    int table = db.FindTable(tableName);
    if (table == 0 || db.users.empty()) {
        std::fprintf(stderr, "no table %s (or no user)\n", tableName.c_str());
        return 1;
    }
    const TableDef &def = *db.Definition(table);
    auto conn = db.Connect(db.users.front().name);
    std::vector<int> columns;
    if (const char *c = std::getenv("QX_BENCH_COLUMNS")) {
        for (char *end = nullptr; *c; c = *end ? end + 1 : end) {
            long f = std::strtol(c, &end, 10);
            if (end == c || f < 1 || f > long(def.fields.size())) {
                std::fprintf(stderr, "bad QX_BENCH_COLUMNS\n");
                return 2;
            }
            columns.push_back(int(f));
        }
    }
    if (columns.empty())
        for (size_t f = 1; f <= def.fields.size(); ++f)
            columns.push_back(int(f));
    Bench b(*conn, static_cast<int16_t>(table), columns);
    int32_t records = 0;
    conn->RecordsInFile(table, records);
    std::printf("%s: %d records, %zu fields (%zu read), %d rounds; sort ms and window us: "
                "median (fastest-slowest)\n",
                tableName.c_str(), records, def.fields.size(), columns.size(), rounds);

    std::vector<std::vector<int>> sorts;
    if (argc > 4) {
        sorts.emplace_back();
        for (const char *p = argv[4]; *p;) {
            char *end = nullptr;
            long f = std::strtol(p, &end, 10);
            if (end == p || f == 0 || std::labs(f) > long(def.fields.size())) {
                std::fprintf(stderr, "bad sort list %s\n", argv[4]);
                return 2;
            }
            sorts.back().push_back(int(f));
            p = end;
            if (*p == ',')
                sorts.emplace_back();
            if (*p)
                ++p;
        }
    } else {
        for (size_t f = 1; f <= def.fields.size(); ++f) {
            sorts.push_back({int(f)});
            sorts.push_back({-int(f)});
        }
        if (def.fields.size() > 2)
            sorts.push_back({2, 3}); // e.g. customer, amount
    }
    int64_t bytes = 0;
    // Each round reads the selection in storage order and then sorted, so
    // that a busy moment of the machine weighs on both alike.
    for (const auto &keys : sorts) {
        std::vector<double> sortMs, storageUs, sortedUs, aheadUs, ratio;
        for (int i = 0; i < rounds; ++i) {
            b.SelectAll();
            storageUs.push_back(b.ReadWindows(records, bytes, true));
            auto t0 = Clock::now();
            if (!b.Sort(keys)) {
                std::fprintf(stderr, "sort failed\n");
                return 1;
            }
            sortMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
            sortedUs.push_back(b.ReadWindows(records, bytes));
            aheadUs.push_back(b.ReadWindows(records, bytes, true));
            ratio.push_back(aheadUs.back() / storageUs.back());
        }
        Stats a = Summarise(sortMs), w = Summarise(sortedUs), st = Summarise(storageUs),
              ra = Summarise(aheadUs), q = Summarise(ratio);
        std::printf("%-34s sort %7.2f ms (%.2f-%.2f)  window %6.2f us (%.2f-%.2f), read ahead "
                    "%5.2f us (%.2f-%.2f), storage order %5.2f us, ratio %.2f (%.2f-%.2f)\n",
                    Describe(def, keys).c_str(), a.median, a.low, a.high, w.median, w.low, w.high,
                    ra.median, ra.low, ra.high, st.median, q.median, q.low, q.high);
    }
    std::printf("(%lld reply bytes)\n", static_cast<long long>(bytes));
    return 0;
}
