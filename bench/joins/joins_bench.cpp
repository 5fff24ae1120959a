// Join benchmarks: queries whose joins the nested loop would answer with a
// server round trip per outer row, timed through the unixODBC Driver Manager
// against qxserver with generated data, and counted in the server's request
// log (requests, and bytes of requests and replies).
//
//   joins_bench [--orders N] [--rounds R] [--case q4|eight|four]... [--mode M]...
//
// Cases (each generates its fixture once):
//   q4     SELECT o.id, c.name FROM orders o, customers c WHERE o.customer =
//          c.id AND o.amount > 900, over the data of the peer benchmark
//          (bench-peers' gen_data.py, N orders, N/20 customers, seed 1)
//   eight  eight tables of 100 rows with several indexed fields, IN lists on
//          indexed fields as single-table filters and one equality join,
//          5,040 rows
//   four   four tables of 3,000, 3,000, 300 and 120 rows joined by equalities
//          of fields without an index in use (run with NoIndexes), 3,000 rows
// Modes: default, nohash (NoHashOpt), noindexes (NoIndexes), and the two
// together (noindexes+nohash, which the nested loop takes hours for on
// "four": not run unless asked for).
//
// Each query runs once untimed, then R times timed (execution and fetching
// every row into 256-byte SQL_C_CHAR buffers); printed: the median, fastest
// and slowest of the timed runs, the rows, the client's CPU seconds per run
// (driver and Driver Manager, this process), and from a separate run with
// the server's request log, the requests and bytes of one execution.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/qxserver_process.h"

namespace {

uint64_t SplitMix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

const char *kStatus[] = {"NEW", "PAID", "SHIPPED", "DELIVERED", "CANCELLED", "RETURNED"};
const char *kWords[] = {
    "alpha",  "bravo",   "charlie",  "delta",    "echo",      "foxtrot",  "golf",     "hotel",
    "india",  "juliet",  "kilo",     "lima",     "mike",      "november", "oscar",    "papa",
    "quebec", "romeo",   "sierra",   "tango",    "uniform",   "victor",   "whiskey",  "xray",
    "yankee", "zulu",    "red",      "orange",   "yellow",    "green",    "blue",     "indigo",
    "violet", "black",   "white",    "grey",     "north",     "south",    "east",     "west",
    "urgent", "fragile", "express",  "standard", "gift",      "return",   "exchange", "box",
    "crate",  "pallet",  "envelope", "parcel",   "small",     "medium",   "large",    "heavy",
    "light",  "fast",    "slow",     "priority", "backorder", "partial",  "complete", "damaged"};
const char *kFirst[] = {"Ada",   "Alan",   "Barbara", "Brian",  "Carla", "Chen",   "Dmitri",
                        "Elena", "Farid",  "Grace",   "Hana",   "Ivan",  "Jonas",  "Kaito",
                        "Lena",  "Marco",  "Nadia",   "Omar",   "Paula", "Quinn",  "Rosa",
                        "Sven",  "Tariq",  "Uma",     "Viktor", "Wen",   "Xavier", "Yara",
                        "Zoe",   "Anders", "Bianca",  "Cyrus"};
const char *kLast[] = {"Abbott", "Berg",   "Costa",  "Dubois",   "Eriksen", "Fischer", "Garcia",
                       "Haas",   "Ito",    "Jensen", "Kowalski", "Larsen",  "Moreau",  "Novak",
                       "Okafor", "Petrov", "Quist",  "Rossi",    "Santos",  "Tanaka",  "Ueda",
                       "Vargas", "Weber",  "Xu",     "Yilmaz",   "Zhang",   "Almeida", "Brandt",
                       "Conti",  "Daly",   "Evans",  "Fontaine"};
const char *kCity[] = {
    "Amsterdam", "Athens",  "Barcelona",  "Berlin", "Bogota",   "Boston",    "Brussels", "Budapest",
    "Cairo",     "Chicago", "Copenhagen", "Dublin", "Helsinki", "Istanbul",  "Jakarta",  "Kyoto",
    "Lagos",     "Lima",    "Lisbon",     "London", "Madrid",   "Melbourne", "Montreal", "Mumbai",
    "Nairobi",   "Oslo",    "Paris",      "Prague", "Quito",    "Reykjavik", "Riga",     "Rome",
    "Santiago",  "Seoul",   "Stockholm",  "Sydney", "Tallinn",  "Tokyo",     "Vienna",   "Warsaw"};

// Days since 1970-01-01 -> "YYYY-MM-DD" (civil calendar).
std::string Date(int64_t z)
{
    z += 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    auto doe = static_cast<unsigned>(z - era * 146097);
    unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t y = static_cast<int64_t>(yoe) + era * 400;
    unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    unsigned mp = (5 * doy + 2) / 153;
    unsigned d = doy - (153 * mp + 2) / 5 + 1;
    unsigned m = mp < 10 ? mp + 3 : mp - 9;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", static_cast<long long>(y + (m <= 2)), m, d);
    return buf;
}

struct Fixture {
    std::ostringstream out;
    bool firstTable = true;
    bool firstRecord = true;
    Fixture()
    {
        out << "{\"users\": [{\"name\": \"demo\", \"password\": \"demo\"}],\n \"tables\": [\n";
    }
    void Table(const std::string &name, const std::string &fields)
    {
        if (!firstTable)
            out << "\n  ]},\n";
        firstTable = false;
        firstRecord = true;
        out << "  {\"name\": \"" << name << "\", \"fields\": [" << fields << "], \"records\": [\n";
    }
    void Record(const std::string &json)
    {
        out << (firstRecord ? "   " : ",\n   ") << json;
        firstRecord = false;
    }
    std::string Text() { return out.str() + "\n  ]}\n ]}\n"; }
};

// bench-peers' orders and customers (gen_data.py, seed 1), as csv2qx.py
// writes them.
std::string PeerData(int64_t n)
{
    const uint64_t seed = 1;
    int64_t customers = n / 20 > 1 ? n / 20 : 1;
    Fixture f;
    f.Table(
        "orders",
        R"({"name": "id", "type": "longint", "indexed": true, "unique": true, "mandatory": true},
 {"name": "customer", "type": "longint", "indexed": true}, {"name": "amount", "type": "real"},
 {"name": "status", "type": "alpha", "length": 10}, {"name": "note", "type": "alpha", "length": 80},
 {"name": "created", "type": "date", "indexed": true})");
    const int64_t epoch = 18262; // 2020-01-01
    for (int64_t i = 1; i <= n; ++i) {
        uint64_t base = (seed << 48) ^ (1ull << 44);
        auto r = [&](uint64_t col) {
            return SplitMix(base ^ (col << 40) ^ static_cast<uint64_t>(i));
        };
        uint64_t cents = r(2) % 100000;
        std::string note;
        if (r(4) % 50 != 0) {
            int64_t length = -1;
            for (uint64_t j = 0; j < 1 + r(5) % 12; ++j) {
                const char *w = kWords[r(8 + j) % 64];
                if (length + 1 + static_cast<int64_t>(std::strlen(w)) > 80)
                    break;
                if (!note.empty())
                    note += ' ';
                note += w;
                length += 1 + static_cast<int64_t>(std::strlen(w));
            }
        }
        std::string noteField;
        if (!note.empty()) {
            noteField = "\"note\":\"";
            noteField += note;
            noteField += "\",";
        }
        char rec[400];
        std::snprintf(rec, sizeof rec,
                      "{\"id\":%lld,\"customer\":%lld,\"amount\":%llu.%02llu,\"status\":\"%s\",%s"
                      "\"created\":\"%s\"}",
                      static_cast<long long>(i),
                      static_cast<long long>(1 + r(1) % static_cast<uint64_t>(customers)),
                      static_cast<unsigned long long>(cents / 100),
                      static_cast<unsigned long long>(cents % 100), kStatus[r(3) % 6],
                      noteField.c_str(),
                      Date(epoch + static_cast<int64_t>(r(6) % 1827)).c_str());
        f.Record(rec);
    }
    f.Table(
        "customers",
        R"({"name": "id", "type": "longint", "indexed": true, "unique": true, "mandatory": true},
 {"name": "name", "type": "alpha", "length": 40}, {"name": "city", "type": "alpha", "length": 30})");
    for (int64_t i = 1; i <= customers; ++i) {
        uint64_t base = (seed << 48) ^ (2ull << 44);
        auto r = [&](uint64_t col) {
            return SplitMix(base ^ (col << 40) ^ static_cast<uint64_t>(i));
        };
        char rec[200];
        std::snprintf(rec, sizeof rec, "{\"id\":%lld,\"name\":\"%s %s\",\"city\":\"%s\"}",
                      static_cast<long long>(i), kFirst[r(1) % 32], kLast[r(2) % 32],
                      kCity[r(3) % 40]);
        f.Record(rec);
    }
    return f.Text();
}

// Eight tables t1..t8 of 100 rows: a unique indexed id, indexed b (id mod
// 10) and c (id mod 7), an alpha d and a real e.
std::string EightTables()
{
    Fixture f;
    for (int t = 1; t <= 8; ++t) {
        std::string name = "t";
        name += std::to_string(t);
        f.Table(name,
                R"({"name": "a", "type": "longint", "indexed": true, "unique": true},
 {"name": "b", "type": "longint", "indexed": true}, {"name": "c", "type": "integer", "indexed": true},
 {"name": "d", "type": "alpha", "length": 20}, {"name": "e", "type": "real"})");
        for (int i = 1; i <= 100; ++i) {
            char rec[160];
            std::snprintf(rec, sizeof rec,
                          "{\"a\":%d,\"b\":%d,\"c\":%d,\"d\":\"t%d row %d\",\"e\":%d.5}", i, i % 10,
                          i % 7, t, i, (i * 37 + t) % 1000);
            f.Record(rec);
        }
    }
    return f.Text();
}

// a (3,000), b (3,000), c (300), d (120): b.aref = a.id (one row of b per
// row of a), a.cref = c.id, c.dref = d.id; nothing of the join is indexed.
std::string FourTables()
{
    Fixture f;
    char rec[160];
    f.Table("a", R"({"name": "id", "type": "longint"}, {"name": "cref", "type": "longint"},
 {"name": "name", "type": "alpha", "length": 20})");
    for (int i = 1; i <= 3000; ++i) {
        std::snprintf(rec, sizeof rec, "{\"id\":%d,\"cref\":%d,\"name\":\"a%d\"}", i,
                      1 + i % 300, i);
        f.Record(rec);
    }
    f.Table("b", R"({"name": "id", "type": "longint"}, {"name": "aref", "type": "longint"},
 {"name": "qty", "type": "integer"})");
    for (int i = 1; i <= 3000; ++i) {
        std::snprintf(rec, sizeof rec, "{\"id\":%d,\"aref\":%d,\"qty\":%d}", i,
                      1 + (i * 7) % 3000, i % 50);
        f.Record(rec);
    }
    f.Table("c", R"({"name": "id", "type": "longint"}, {"name": "dref", "type": "longint"},
 {"name": "label", "type": "alpha", "length": 20})");
    for (int i = 1; i <= 300; ++i) {
        std::snprintf(rec, sizeof rec, "{\"id\":%d,\"dref\":%d,\"label\":\"c%d\"}", i,
                      1 + i % 120, i);
        f.Record(rec);
    }
    f.Table("d", R"({"name": "id", "type": "longint"}, {"name": "region", "type": "alpha", "length": 20})");
    for (int i = 1; i <= 120; ++i) {
        std::snprintf(rec, sizeof rec, "{\"id\":%d,\"region\":\"region %d\"}", i, i % 12);
        f.Record(rec);
    }
    return f.Text();
}

struct Case {
    std::string name;
    std::string sql;
    std::string fixture;
};

SQLCHAR *Text(const std::string &s)
{
    return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s.c_str()));
}

std::string Diag(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt)
{
    SQLCHAR state[6] = {}, message[512] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLError(env, dbc, stmt, state, &native, message, sizeof message, &length);
    return std::string(reinterpret_cast<char *>(state)) + " " + reinterpret_cast<char *>(message);
}

// Requests and bytes (request and reply lengths) in a request log's text.
void CountLog(const std::string &text, long *requests, long *bytes)
{
    *requests = 0;
    *bytes = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        size_t at = line.find("request code=");
        if (at == std::string::npos)
            continue;
        ++*requests;
        size_t l = line.find("length=", at), r = line.find("reply=", at);
        if (l != std::string::npos)
            *bytes += std::atol(line.c_str() + l + 7);
        if (r != std::string::npos)
            *bytes += std::atol(line.c_str() + r + 6);
    }
}

std::string ReadAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Result {
    std::vector<double> seconds;
    double cpu = 0; // the client's CPU seconds over the timed runs
    long rows = -1;
    std::string error;
};

// Connects (connection string `connect`) and runs the query `warm + rounds` times;
// with a log, counts the requests and bytes of the last execution in it.
Result Run(const std::string &sql, const std::string &options, int warm, int rounds,
           const std::string &log = "", long *requests = nullptr, long *bytes = nullptr)
{
    Result out;
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocEnv(&env);
    SQLAllocConnect(env, &dbc);
    std::string in = options + "UID=demo;PWD=demo;";
    SQLCHAR conn[1024];
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, Text(in), SQL_NTS, conn, sizeof conn, &len,
                                        SQL_DRIVER_NOPROMPT))) {
        out.error = Diag(env, dbc, SQL_NULL_HSTMT);
        return out;
    }
    SQLAllocStmt(dbc, &stmt);
    double cpuStart = 0;
    for (int k = 0; k < warm + rounds; ++k) {
        if (k == warm)
            cpuStart = CpuSeconds();
        size_t logged = log.empty() ? 0 : ReadAll(log).size();
        auto start = std::chrono::steady_clock::now();
        if (!SQL_SUCCEEDED(SQLExecDirect(stmt, Text(sql), SQL_NTS))) {
            out.error = Diag(env, dbc, stmt);
            break;
        }
        SQLSMALLINT columns = 0;
        SQLNumResultCols(stmt, &columns);
        std::vector<std::vector<char>> buffers(static_cast<size_t>(columns),
                                               std::vector<char>(256));
        std::vector<SQLLEN> lengths(static_cast<size_t>(columns));
        for (SQLSMALLINT c = 0; c < columns; ++c)
            SQLBindCol(stmt, static_cast<SQLUSMALLINT>(c + 1), SQL_C_CHAR,
                       buffers[static_cast<size_t>(c)].data(), 256,
                       &lengths[static_cast<size_t>(c)]);
        long rows = 0;
        SQLRETURN rc;
        while ((rc = SQLFetch(stmt)) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO)
            ++rows;
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (rc != SQL_NO_DATA_FOUND) {
            out.error = Diag(env, dbc, stmt);
            break;
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_UNBIND);
        out.rows = rows;
        if (k >= warm)
            out.seconds.push_back(s);
        if (!log.empty())
            CountLog(ReadAll(log).substr(logged), requests, bytes);
    }
    out.cpu = CpuSeconds() - cpuStart;
    SQLFreeStmt(stmt, SQL_DROP);
    SQLDisconnect(dbc);
    SQLFreeConnect(dbc);
    SQLFreeEnv(env);
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    long orders = 200000;
    int rounds = 5;
    std::vector<std::string> cases, modes;
    for (int k = 1; k < argc; ++k) {
        std::string a = argv[k];
        if (a == "--orders" && k + 1 < argc)
            orders = std::atol(argv[++k]);
        else if (a == "--rounds" && k + 1 < argc)
            rounds = std::atoi(argv[++k]);
        else if (a == "--case" && k + 1 < argc)
            cases.push_back(argv[++k]);
        else if (a == "--mode" && k + 1 < argc)
            modes.push_back(argv[++k]);
        else {
            std::fprintf(stderr,
                         "usage: joins_bench [--orders N] [--rounds R] [--case q4|eight|four]... "
                         "[--mode default|nohash|noindexes|noindexes+nohash]...\n");
            return 2;
        }
    }
    if (cases.empty())
        cases = {"q4", "eight", "four"};
    if (modes.empty())
        modes = {"default", "nohash"};
    const std::map<std::string, std::string> options = {
        {"default", ""},
        {"nohash", "NoHashOpt=1"},
        {"noindexes", "NoIndexes=1"},
        {"noindexes+nohash", "NoIndexes=1;NoHashOpt=1"}};

    std::string eight = "SELECT t1.d, t2.d, t3.d, t4.d, t5.d, t6.d, t7.d, t8.d "
                        "FROM t1, t2, t3, t4, t5, t6, t7, t8 "
                        "WHERE t1.a IN (11, 12, 13, 14, 15) AND t2.b = t1.b AND t2.c IN (1, 2) "
                        "AND t3.a IN (21, 22) AND t4.b IN (3) AND t4.c IN (1, 2) "
                        "AND t5.a IN (31, 32) AND t6.c IN (4) AND t6.b IN (2, 9) "
                        "AND t7.a IN (41, 42, 43, 44, 45, 46, 47) AND t8.a IN (51, 52)";
    std::string four = "SELECT a.name, b.qty, c.label, d.region FROM a, b, c, d "
                       "WHERE b.aref = a.id AND a.cref = c.id AND c.dref = d.id";
    char dirTemplate[] = "/tmp/qxjoinsXXXXXX";
    if (mkdtemp(dirTemplate) == nullptr)
        return 2;
    std::string dir = dirTemplate;
    // One data source per mode, written once (the Driver Manager keeps what
    // it read of the file): the engine options as its settings (NoHashOpt
    // has no connection-string keyword).
    std::ofstream(dir + "/odbcinst.ini") << "[QX]\nDriver=" QX_SQLDRIVER_LIB "\n";
    {
        std::ofstream ini(dir + "/odbc.ini");
        for (const auto &[name, settings] : options) {
            std::string lines = settings;
            std::replace(lines.begin(), lines.end(), ';', '\n');
            ini << "[bench_" << name << "]\nDriver=QX\n" << lines << "\n";
        }
    }
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
    setenv("QX_DRIVE_ROOT_DIR", dir.c_str(), 1);
    setenv("QX_DIALOG", "none", 1);
    std::printf("%-6s %-17s %8s %10s %10s %10s %10s %9s %12s\n", "case", "mode", "rows",
                "median s", "min s", "max s", "client cpu", "requests", "bytes");
    for (const std::string &c : cases) {
        std::string sql, text;
        if (c == "q4") {
            sql = "SELECT o.id, c.name FROM orders o, customers c WHERE o.customer = c.id AND "
                  "o.amount > 900";
            text = PeerData(orders);
        } else if (c == "eight") {
            sql = eight;
            text = EightTables();
        } else if (c == "four") {
            sql = four;
            text = FourTables();
        } else {
            std::fprintf(stderr, "unknown case %s\n", c.c_str());
            return 2;
        }
        std::string fixture = dir + "/" + c + ".json";
        std::ofstream(fixture) << text;
        for (const std::string &m : modes) {
            auto o = options.find(m);
            if (o == options.end()) {
                std::fprintf(stderr, "unknown mode %s\n", m.c_str());
                return 2;
            }
            // One run counted in the request log, then the timed runs
            // without a log.
            long requests = 0, bytes = 0;
            for (bool logged : {true, false}) {
                QxServerProcess server;
                std::string log = dir + "/server.log";
                std::remove(log.c_str());
                std::vector<std::string> args = {"--fixture", fixture};
                if (logged)
                    args.insert(args.end(), {"--log", log});
                std::string error;
                if (!server.Start(args, &error)) {
                    std::fprintf(stderr, "qxserver: %s\n", error.c_str());
                    return 2;
                }
                // The mode's data source, the server's address in the
                // connection string.
                std::string connect = "DSN=bench_" + m + ";DBQ=" + server.Dbq() + ";";
                if (logged) {
                    // The second execution of a connection.
                    Result r = Run(sql, connect, 1, 1, log, &requests, &bytes);
                    if (!r.error.empty()) {
                        std::printf("%-6s %-17s error: %s\n", c.c_str(), m.c_str(),
                                    r.error.c_str());
                        break;
                    }
                    continue;
                }
                Result r = Run(sql, connect, 1, rounds);
                if (!r.error.empty()) {
                    std::printf("%-6s %-17s error: %s\n", c.c_str(), m.c_str(), r.error.c_str());
                    continue;
                }
                std::vector<double> s = r.seconds;
                std::sort(s.begin(), s.end());
                std::printf("%-6s %-17s %8ld %10.4f %10.4f %10.4f %10.4f %9ld %12ld\n", c.c_str(),
                            m.c_str(), r.rows, s[s.size() / 2], s.front(), s.back(),
                            r.cpu / static_cast<double>(s.size()), requests, bytes);
                std::fflush(stdout);
            }
        }
    }
    if (std::getenv("QX_BENCH_KEEP") != nullptr) {
        std::printf("files kept in %s\n", dir.c_str());
        return 0;
    }
    std::string rm = "rm -rf '" + dir + "'";
    return std::system(rm.c_str()) == 0 ? 0 : 1;
}
