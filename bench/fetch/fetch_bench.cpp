// Fetch throughput against qxserver on loopback.
//
// One server process serves a generated table of QX_BENCH_RECORDS records
// (default 20000) with an integer, an alpha(40), a real, a date and a text
// field. Two readers go through the whole table per iteration:
//   Netclient_Windows   _QX_SelectAllRecords, then _QX_SubSelectionToArray
//                       windows of 100 records of all five fields;
//   Drm_TableCursor     the data module's table cursor: DrmOpenTable, DrmMove
//                       through every row, DrmRetrieveColumn of every column.
// Each reports rows/s. QX_BENCH_ITERATIONS=n runs each n times exactly (for
// a profiler: valgrind --tool=callgrind with QX_BENCH_RECORDS=5000).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "driver/Sources/drm.h"
#include "driver/Sources/drm_netlink.h"
#include "netclient/qxnetclient.h"
#include "tests/support/qxserver_process.h"

namespace {

constexpr int16_t kTable = 1;
constexpr int kWindow = 100;

int Records()
{
    const char *n = std::getenv("QX_BENCH_RECORDS");
    int v = n ? std::atoi(n) : 20000;
    return v > 0 ? v : 20000;
}

// Fields: 1 Num integer, 2 Name alpha(40), 3 Price real, 4 Born date, 5 Notes text.
std::string Fixture(int records)
{
    std::string f = R"({"users": [{"name": "bench", "password": "bench"}], "tables": [
 {"name": "Rows", "fields": [
   {"name": "Num", "type": "integer"},
   {"name": "Name", "type": "alpha", "length": 40},
   {"name": "Price", "type": "real"},
   {"name": "Born", "type": "date"},
   {"name": "Notes", "type": "text"}],
  "records": [)";
    f.reserve(size_t(records) * 160);
    char line[256];
    for (int i = 0; i < records; ++i) {
        std::snprintf(
            line, sizeof line,
            "%s{\"Num\": %d, \"Name\": \"Customer number %06d of the bench\", \"Price\": %d.25, "
            "\"Born\": \"%04d-%02d-%02d\", \"Notes\": %s}",
            i ? ",\n" : "", i % 30000, i, i % 100000, 1950 + i % 60, i % 12 + 1, i % 28 + 1,
            i % 3 == 0 ? "null" : "\"a short note about this record, some forty bytes\"");
        f += line;
    }
    return f + "]}]}";
}

// The server and its fixture, shared by every benchmark of the run.
struct Server {
    QxServerProcess process;
    int records = 0;
    bool ok = false;
};

Server &TheServer()
{
    static Server server; // stopped when the program exits
    static const bool started = [] {
        server.records = Records();
        std::string path = server.process.TempFile(Fixture(server.records));
        std::string error;
        server.ok = server.process.Start({"--fixture", path}, &error);
        if (!server.ok)
            std::fprintf(stderr, "%s\n", error.c_str());
        return server.ok;
    }();
    (void)started;
    return server;
}

void Netclient_Windows(benchmark::State &state)
{
    Server &server = TheServer();
    if (!server.ok) {
        state.SkipWithError("qxserver did not start");
        return;
    }
    QXComponent comp = _QX_InitNetworkComponent(0);
    std::string where = "127.0.0.1:" + std::to_string(server.process.Port());
    std::vector<uint8_t> addr{uint8_t(where.size())};
    addr.insert(addr.end(), where.begin(), where.end());
    QXNetworkLocation loc = nullptr;
    QXHandle conn = nullptr;
    QXLoginRecord login{};
    login.userName[0] = 5, std::memcpy(login.userName + 1, "bench", 5);
    login.password[0] = 5, std::memcpy(login.password + 1, "bench", 5);
    if (_QX_FindQXServer(addr.data(), &loc, 0, comp) != 0 ||
        _QX_OpenQXConnection(&login, loc, &conn, 0, comp) != 0) {
        state.SkipWithError("no connection");
        return;
    }
    const QXFieldPair pairs[5] = {{kTable, 1}, {kTable, 2}, {kTable, 3}, {kTable, 4}, {kTable, 5}};
    const QXArrayDescription desc{5, kTable, pairs};
    int64_t rows = 0;
    for (auto _ : state) {
        const int64_t before = rows;
        if (_QX_SelectAllRecords(conn, kTable) != 0) {
            state.SkipWithError("select failed");
            break;
        }
        for (int32_t first = 0; first < server.records; first += kWindow) {
            QXHandle array = nullptr;
            if (_QX_SubSelectionToArray(conn, &desc, first, first + kWindow - 1, &array) != 0) {
                state.SkipWithError("window failed");
                break;
            }
            int32_t n = 0;
            std::memcpy(&n, LockQXHandle(array), 4);
            UnlockQXHandle(array);
            FreeQXHandle(array);
            rows += n;
        }
        if (rows - before != server.records)
            state.SkipWithError("not every record was read");
    }
    state.counters["rows/s"] = benchmark::Counter(double(rows), benchmark::Counter::kIsRate);
    _QX_CloseQXConnection(conn);
    _QX_FreeNetworkLocation(loc, 0, comp);
    _QX_DeInitNetworkComponent(0, comp);
}

void Drm_TableCursor(benchmark::State &state)
{
    Server &server = TheServer();
    if (!server.ok) {
        state.SkipWithError("qxserver did not start");
        return;
    }
    DrmNetLibInit();
    uint32_t s = 0, db = 0;
    std::string path = "TCP/IP:127.0.0.1:" + std::to_string(server.process.Port());
    if (DrmBeginSession(&s, "bench", "bench", "Bench") != 0 ||
        DrmSetSessionOption(s, kDrmSessionOptionCodePage, 1252) != 0 ||
        DrmOpenDatabase(s, path.c_str(), &db, 0) != 0) {
        state.SkipWithError("no session");
        return;
    }
    int64_t rows = 0;
    int64_t checksum = 0;
    for (auto _ : state) {
        uint32_t c = 0;
        if (DrmOpenTable(s, db, "Rows", "", 0, &c) != 0) {
            state.SkipWithError("open table failed");
            break;
        }
        const int64_t before = rows;
        int32_t r = DrmMove(s, c, kDrmMoveFirst);
        for (; r == 0; r = DrmMove(s, c, kDrmMoveNext)) {
            int16_t num = 0;
            char name[64];
            double price = 0;
            uint8_t born[6];
            char notes[256];
            uint32_t n = 0;
            DrmRetrieveColumn(s, c, 1, &num, sizeof num, &n, nullptr);
            DrmRetrieveColumn(s, c, 2, name, sizeof name, &n, nullptr);
            checksum += n;
            DrmRetrieveColumn(s, c, 3, &price, sizeof price, &n, nullptr);
            DrmRetrieveColumn(s, c, 4, born, sizeof born, &n, nullptr);
            DrmRetrieveColumn(s, c, 5, notes, sizeof notes, &n, nullptr);
            checksum += num;
            ++rows;
        }
        if (r != kDrmErrNoCurrentRecord || rows - before != server.records)
            state.SkipWithError("not every record was read");
        DrmCloseTable(s, c);
    }
    benchmark::DoNotOptimize(checksum);
    state.counters["rows/s"] = benchmark::Counter(double(rows), benchmark::Counter::kIsRate);
    DrmCloseDatabase(s, db);
    DrmEndSession(s);
}

} // namespace

// QX_BENCH_ITERATIONS fixes the iteration count (for a profiler's run).
int main(int argc, char **argv)
{
    const char *fixed = std::getenv("QX_BENCH_ITERATIONS");
    for (auto [name, fn] : {std::pair{"Netclient_Windows", &Netclient_Windows},
                            std::pair{"Drm_TableCursor", &Drm_TableCursor}}) {
        auto *b =
            benchmark::RegisterBenchmark(name, fn)->Unit(benchmark::kMillisecond)->UseRealTime();
        if (fixed && std::atoi(fixed) > 0)
            b->Iterations(std::atoi(fixed));
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
