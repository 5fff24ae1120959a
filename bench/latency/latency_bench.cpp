// Loopback latency through the client library against qxserver: point
// queries, a sort, and windows of a sorted selection, on a quiet machine or
// with every CPU kept busy.
//
//   latency_bench [--records N] [--queries Q] [--rounds R] [--load P]
//                 [--think-us T] [-- SERVER ARGS...]
//
// The server serves a generated `orders` table of N records (default
// 200,000): 1 id longint unique, 2 customer longint indexed (N/20 values),
// 3 amount real, 4 note alpha 80. Each round measures
//   point query  Q times (default 2000): a search id = k and a read of the
//                found record (two round trips, as a point query of the
//                driver makes them); median, 90th and 99th percentile, mean;
//   sort         select all, then sort by customer (two round trips);
//   windows      the selection read in windows of 100 records of customer
//                and amount, in storage order and sorted by customer.
// and the figures are the medians over R rounds (default 5) with the
// smallest and largest round. --load P starts P processes that spin on a
// CPU for the whole run (P = the CPU count loads the machine fully);
// --think-us T spends T microseconds of CPU between two point queries (the
// client's own work). QX_LINK_SPIN_US and the server's --spin-us (after --)
// override the wait policies.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "netclient/qxnetclient.h"
#include "tests/support/qxserver_process.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int16_t kTable = 1;

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

std::string Fixture(int records)
{
    static const char *const words[] = {"alpha", "bravo",   "charlie", "delta",
                                        "echo",  "foxtrot", "golf",    "hotel"};
    std::string f = R"({"users": [{"name": "bench", "password": "bench"}], "tables": [
 {"name": "orders", "fields": [
   {"name": "id", "type": "longint", "indexed": true, "unique": true, "mandatory": true},
   {"name": "customer", "type": "longint", "indexed": true},
   {"name": "amount", "type": "real"},
   {"name": "note", "type": "alpha", "length": 80}],
  "records": [)";
    f.reserve(size_t(records) * 120);
    uint64_t x = 28;
    auto next = [&x] {
        x = x * 6364136223846793005ull + 1442695040888963407ull;
        return x >> 33;
    };
    const uint64_t customers = std::max(1, records / 20);
    char line[256];
    for (int i = 1; i <= records; ++i) {
        std::string note;
        for (uint64_t n = 1 + next() % 8; n > 0; --n)
            note += std::string(note.empty() ? "" : " ") + words[next() % 8];
        std::snprintf(line, sizeof line,
                      "%s{\"id\": %d, \"customer\": %llu, \"amount\": %llu.%02llu, "
                      "\"note\": \"%s\"}",
                      i > 1 ? ",\n" : "", i,
                      static_cast<unsigned long long>(1 + next() % customers),
                      static_cast<unsigned long long>(next() % 1000),
                      static_cast<unsigned long long>(next() % 100), note.c_str());
        f += line;
    }
    return f + "]}]}";
}

struct Stats {
    double median = 0, low = 0, high = 0;
};
Stats Summarise(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.front(), v.back()};
}
double Percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

void Spend(int micros)
{
    for (auto until = Clock::now() + std::chrono::microseconds(micros); Clock::now() < until;) {}
}

class Client {
public:
    bool Open(uint16_t port)
    {
        comp_ = _QX_InitNetworkComponent(0);
        std::string where = "127.0.0.1:" + std::to_string(port);
        std::vector<uint8_t> addr{uint8_t(where.size())};
        addr.insert(addr.end(), where.begin(), where.end());
        QXLoginRecord login{};
        login.userName[0] = 5, std::memcpy(login.userName + 1, "bench", 5);
        login.password[0] = 5, std::memcpy(login.password + 1, "bench", 5);
        return _QX_FindQXServer(addr.data(), &loc_, 0, comp_) == 0 &&
               _QX_OpenQXConnection(&login, loc_, &conn_, 0, comp_) == 0;
    }
    ~Client()
    {
        if (conn_)
            _QX_CloseQXConnection(conn_);
        if (loc_)
            _QX_FreeNetworkLocation(loc_, 0, comp_);
        if (comp_)
            _QX_DeInitNetworkComponent(0, comp_);
    }

    // Search id = k, then read the found record's four fields.
    bool PointQuery(int32_t k)
    {
        QXSearchLine line{};
        line.field = 1;
        line.table = kTable;
        line.op = 1; // =
        line.value.type = QX_TYPE_LONGINT;
        line.value.longValue = k;
        QXSearchArray search{1, kTable, &line};
        int32_t found = 0;
        if (_QX_Search(conn_, &search, &found) != 0 || found != 1)
            return false;
        return Window(0, 0, kAll) == 1;
    }

    bool Sort()
    {
        const QXSortKey key{2, kTable, 1, 0};
        const QXSortSpec spec{1, kTable, &key};
        return _QX_SelectAllRecords(conn_, kTable) == 0 && _QX_Sort(conn_, &spec) == 0;
    }
    bool SelectAll() { return _QX_SelectAllRecords(conn_, kTable) == 0; }

    // Rows read of positions first..last of customer and amount (kTwo) or
    // of every field (kAll); -1 on failure.
    enum Columns { kTwo, kAll };
    int32_t Window(int32_t first, int32_t last, Columns which)
    {
        static const QXFieldPair all[4] = {{kTable, 1}, {kTable, 2}, {kTable, 3}, {kTable, 4}};
        const QXArrayDescription desc{int16_t(which == kAll ? 4 : 2), kTable,
                                      which == kAll ? all : all + 1};
        QXHandle array = nullptr;
        if (_QX_SubSelectionToArray(conn_, &desc, first, last, &array) != 0)
            return -1;
        int32_t n = 0;
        std::memcpy(&n, LockQXHandle(array), 4);
        UnlockQXHandle(array);
        FreeQXHandle(array);
        return n;
    }

private:
    QXComponent comp_ = nullptr;
    QXNetworkLocation loc_ = nullptr;
    QXHandle conn_ = nullptr;
};

std::vector<pid_t> gLoad;

void StopLoad()
{
    for (pid_t p : gLoad)
        ::kill(p, SIGKILL);
    for (pid_t p : gLoad)
        ::waitpid(p, nullptr, 0);
    gLoad.clear();
}

} // namespace

int main(int argc, char **argv)
{
    int records = 200000, queries = 2000, rounds = 5, load = 0, think = 0;
    std::vector<std::string> serverArgs;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&] { return i + 1 < argc ? std::atoi(argv[++i]) : 0; };
        if (a == "--records")
            records = std::max(1000, value());
        else if (a == "--queries")
            queries = std::max(10, value());
        else if (a == "--rounds")
            rounds = std::max(1, value());
        else if (a == "--load")
            load = std::max(0, value());
        else if (a == "--think-us")
            think = std::max(0, value());
        else if (a == "--") {
            serverArgs.assign(argv + i + 1, argv + argc);
            break;
        } else {
            std::fprintf(stderr, "unknown argument %s\n", a.c_str());
            return 2;
        }
    }
    QxServerProcess server;
    std::string path = server.TempFile(Fixture(records));
    std::vector<std::string> args{"--fixture", path};
    args.insert(args.end(), serverArgs.begin(), serverArgs.end());
    std::string error;
    if (!server.Start(args, &error)) {
        std::fprintf(stderr, "qxserver: %s\n", error.c_str());
        return 1;
    }
    Client c;
    if (!c.Open(server.Port())) {
        std::fprintf(stderr, "no connection\n");
        return 1;
    }
    for (int i = 0; i < load; ++i) {
        pid_t p = ::fork();
        if (p == 0) {
            volatile unsigned n = 0;
            for (;;)
                n = n + 1;
        }
        if (p > 0)
            gLoad.push_back(p);
    }

    std::vector<double> p50, p90, p99, mean, sortUs, storageUs, sortedUs;
    uint64_t seed = 5;
    for (int round = 0; round < rounds; ++round) {
        std::vector<double> lat;
        lat.reserve(size_t(queries));
        for (int q = 0; q < queries; ++q) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            int32_t k = int32_t(1 + (seed >> 33) % uint64_t(records));
            auto t0 = Clock::now();
            if (!c.PointQuery(k)) {
                std::fprintf(stderr, "point query failed\n");
                StopLoad();
                return 1;
            }
            lat.push_back(Micros(Clock::now() - t0));
            Spend(think);
        }
        p50.push_back(Percentile(lat, 0.5));
        p90.push_back(Percentile(lat, 0.9));
        p99.push_back(Percentile(lat, 0.99));
        double sum = 0;
        for (double v : lat)
            sum += v;
        mean.push_back(sum / double(lat.size()));

        for (bool sorted : {false, true}) {
            auto t0 = Clock::now();
            bool ok = sorted ? c.Sort() : c.SelectAll();
            if (sorted)
                sortUs.push_back(Micros(Clock::now() - t0));
            int32_t rows = 0, windows = 0;
            t0 = Clock::now();
            for (int32_t first = 0; ok && first < records; first += 100, ++windows) {
                int32_t n = c.Window(first, first + 99, Client::kTwo);
                ok = n > 0;
                rows += n;
            }
            if (!ok || rows != records) {
                std::fprintf(stderr, "windows failed\n");
                StopLoad();
                return 1;
            }
            (sorted ? sortedUs : storageUs).push_back(Micros(Clock::now() - t0) / windows);
        }
    }
    StopLoad();

    auto show = [](const char *what, const std::vector<double> &v, const char *unit) {
        Stats s = Summarise(v);
        std::printf("%-28s %9.1f %s (%.1f-%.1f)\n", what, s.median, unit, s.low, s.high);
    };
    std::printf("%d records, %d rounds, %d point queries a round, load %d, think %d us\n", records,
                rounds, queries, load, think);
    show("point query median", p50, "us");
    show("point query p90", p90, "us");
    show("point query p99", p99, "us");
    show("point query mean", mean, "us");
    show("sort by customer", sortUs, "us");
    show("window, storage order", storageUs, "us");
    show("window, sorted", sortedUs, "us");
    return 0;
}
