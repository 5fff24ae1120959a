// The data module against the QX Server emulator, through the real client
// library: catalogs of a fixture, connections released, malformed replies.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "driver/Sources/drm.h"
#include "driver/Sources/drm_netlink.h"
#include "driver/Sources/drm_qx.h"
#include "driver/Sources/drm_trace.h"

namespace {

namespace fs = std::filesystem;

// One emulator process on an ephemeral loopback port.
class Emulator {
public:
    bool Start(const std::vector<std::string> &extra, const fs::path &log) {
        int out[2];
        if (pipe(out) != 0)
            return false;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            close(out[0]);
            close(out[1]);
            std::vector<std::string> args = {QX_SERVER_PATH, "--port", "0", "--fixture", QX_DRM_FIXTURE,
                                             "--log", log.string()};
            args.insert(args.end(), extra.begin(), extra.end());
            std::vector<char *> argv;
            for (std::string &a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        FILE *f = fdopen(out[0], "r");
        char line[128] = {};
        bool ok = f && std::fgets(line, sizeof line, f) && std::sscanf(line, "listening on %u", &port_) == 1;
        if (f)
            std::fclose(f);
        return ok;
    }
    void Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    ~Emulator() { Stop(); }
    std::string Path() const { return "TCP/IP:127.0.0.1:" + std::to_string(port_); }

private:
    pid_t pid_ = -1;
    unsigned port_ = 0;
};

class Live : public ::testing::Test {
protected:
    virtual bool Available() { return DrmNetclientComplete(); }
    void SetUp() override {
        if (!Available())
            GTEST_SKIP() << "client library without the requests this test needs";
        char templ[] = "/tmp/drmliveXXXXXX";
        dir_ = mkdtemp(templ);
        log_ = dir_ / "server.log";
        DrmTraceReset();
        DrmNetLibInit();
    }
    void TearDown() override {
        for (uint32_t s : sessions_)
            DrmEndSession(s);
        server_.Stop();
        if (!dir_.empty())
            fs::remove_all(dir_);
    }
    void StartServer(const std::vector<std::string> &extra = {}) { ASSERT_TRUE(server_.Start(extra, log_)); }
    uint32_t Begin() {
        uint32_t s = 0;
        EXPECT_EQ(DrmBeginSession(&s, "drm", "secret", "Live"), 0);
        sessions_.push_back(s);
        EXPECT_EQ(DrmSetSessionOption(s, kDrmSessionOptionCodePage, 1252), 0);
        return s;
    }
    std::string Log() {
        std::ifstream in(log_);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // Channels the server still holds open at the end of its log: a channel
    // goes with its "close" or with its link closed by the client.
    std::set<std::string> ChannelsLeftOpen(const std::string &text) {
        std::set<std::string> open;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            std::istringstream words(line);
            std::string link, l, channel, c, what;
            words >> link >> l >> channel >> c >> what;
            if (link != "link")
                continue;
            if (channel == "channel" && what == "open")
                open.insert(l + "/" + c);
            else if (channel == "channel" && what == "close")
                open.erase(l + "/" + c);
            else if (channel == "closed" && c == "by")    // "link L closed by the client"
                for (auto it = open.begin(); it != open.end();)
                    it = it->rfind(l + "/", 0) == 0 ? open.erase(it) : std::next(it);
        }
        return open;
    }

    // Waits (up to 3 s) until the server has seen every channel go; the log.
    std::string LogOnceChannelsClosed() {
        std::string log;
        for (int i = 0; i < 300; ++i) {
            log = Log();
            if (ChannelsLeftOpen(log).empty())
                break;
            usleep(10000);
        }
        return log;
    }

    // Lines of the server log that name a channel and end with the word.
    size_t ChannelLines(const std::string &text, const std::string &word) {
        size_t n = 0;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            if (line.find(" channel ") != std::string::npos && line.size() > word.size() &&
                line.compare(line.size() - word.size() - 1, std::string::npos, " " + word) == 0)
                ++n;
        return n;
    }
    std::vector<std::string> Texts(uint32_t s, uint32_t c, uint32_t column) {
        std::vector<std::string> out;
        for (int32_t r = DrmMove(s, c, kDrmMoveFirst); r == 0; r = DrmMove(s, c, kDrmMoveNext)) {
            char buf[64];
            uint32_t n = 0;
            EXPECT_EQ(DrmRetrieveColumn(s, c, column, buf, sizeof buf, &n, nullptr), 0);
            out.emplace_back(buf, n);
        }
        return out;
    }
    std::vector<uint32_t> Numbers(uint32_t s, uint32_t c, uint32_t column) {
        std::vector<uint32_t> out;
        for (int32_t r = DrmMove(s, c, kDrmMoveFirst); r == 0; r = DrmMove(s, c, kDrmMoveNext)) {
            uint32_t v = 0, n = 0;
            EXPECT_EQ(DrmRetrieveColumn(s, c, column, &v, 4, &n, nullptr), 0);
            out.push_back(v);
        }
        return out;
    }

    Emulator server_;
    fs::path dir_, log_;
    std::vector<uint32_t> sessions_;
};

class LiveLink : public Live {
protected:
    bool Available() override { return DrmNetclientConnects(); }
};

TEST_F(LiveLink, ManagerOpensAndClosesConnections) {
    StartServer();
    DrmNetPath path;
    ASSERT_TRUE(DrmParseNetPath(server_.Path().c_str(), &path));
    DrmLoginRecord login, bad;
    DrmMakeLoginRecord(&login, "QX ODBC Driver", "drm", "secret", "ODBC", 1, 0);
    DrmMakeLoginRecord(&bad, "QX ODBC Driver", "drm", "wrong", "ODBC", 1, 0);
    DrmQxConnection a = 0, b = 0, c = 0;
    ASSERT_EQ(DrmServerLink(&login, &path, &a), 0);
    ASSERT_EQ(DrmServerLink(&login, &path, &b), 0);
    EXPECT_NE(DrmServerLink(&bad, &path, &c), 0);
    EXPECT_EQ(c, 0u);
    DrmServerInfo info;
    EXPECT_EQ(DrmQxGetServerInfo(a, &info), 0);
    EXPECT_GE(info.version, 0x600);
    EXPECT_EQ(DrmServerLinkComponentCount(), 1);
    EXPECT_EQ(DrmServerLinkConnectionCount(), 2);
    EXPECT_EQ(DrmCloseServerLink(&a), 0);
    DrmCloseAllServerLinks();
    EXPECT_EQ(DrmServerLinkConnectionCount(), 0);
    EXPECT_NE(DrmServerLink(&login, &path, &c), -1);   // still usable after closing all
    DrmNetLibExit();
    std::string log = LogOnceChannelsClosed();
    EXPECT_TRUE(ChannelsLeftOpen(log).empty()) << log;
}

TEST_F(Live, CatalogsReturnTheFixtureSchema) {
    StartServer();
    uint32_t s = Begin();
    uint32_t db = 0;
    ASSERT_EQ(DrmOpenDatabase(s, server_.Path().c_str(), &db, 0), 0);

    uint32_t info[13] = {};
    ASSERT_EQ(DrmGetDatabaseTableInfo(s, db, info, 28), 0);
    EXPECT_EQ(Texts(s, info[1], 1), (std::vector<std::string>{"Customers", "Ann\xE9" "e"}));

    ASSERT_EQ(DrmGetTypeCatalogInfo(s, db, info, 44), 0);
    EXPECT_EQ(Numbers(s, info[1], 1),
              (std::vector<uint32_t>{0, 1, 2, 3, 4, 7, 10, 11, 12, 101, 102, 103, 104}));

    uint32_t t = 0;
    ASSERT_EQ(DrmOpenTable(s, db, "CUSTOMERS", "", 0, &t), 0);
    ASSERT_EQ(DrmGetTableColumnInfo(s, t, info, 52), 0);
    EXPECT_EQ(info[2], 5u);
    uint32_t columns = info[1];
    EXPECT_EQ(Numbers(s, columns, 3), (std::vector<uint32_t>{4, 104, 101, 7, 12}));
    std::vector<std::string> names;
    for (int32_t r = DrmMove(s, columns, kDrmMoveFirst); r == 0; r = DrmMove(s, columns, kDrmMoveNext)) {
        char buf[40];
        uint32_t n = 0;
        ASSERT_EQ(DrmRetrieveColumn(s, columns, 1, buf, sizeof buf, &n, nullptr), 0);
        names.emplace_back(buf, n);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"ID", "Name", "Since", "Credit", "Notes"}));
    EXPECT_EQ(Numbers(s, columns, 4), (std::vector<uint32_t>{4, 40, 6, 8, 65500}));

    ASSERT_EQ(DrmGetTableIndexInfo(s, t, nullptr, info, 36), 0);
    EXPECT_EQ(Texts(s, info[1], 1), (std::vector<std::string>{"ID", "Name"}));

    uint32_t u = 0;
    ASSERT_EQ(DrmOpenTable(s, db, "ann\xC9" "E", "", 0, &u), 0);
    ASSERT_EQ(DrmGetTableColumnInfo(s, u, info, 52), 0);
    EXPECT_EQ(Numbers(s, info[1], 3), (std::vector<uint32_t>{101, 102, 1, 3, 11}));
}

TEST_F(Live, CloseAndEndReleaseEveryConnection) {
    StartServer();
    uint32_t s = Begin();
    uint32_t a = 0, b = 0;
    ASSERT_EQ(DrmOpenDatabase(s, server_.Path().c_str(), &a, 0), 0);
    ASSERT_EQ(DrmOpenDatabase(s, server_.Path().c_str(), &b, 0), 0);
    EXPECT_EQ(DrmServerLinkConnectionCount(), 2);
    ASSERT_EQ(DrmCloseDatabase(s, a), 0);
    EXPECT_EQ(DrmServerLinkConnectionCount(), 1);
    ASSERT_EQ(DrmEndSession(s), 0);
    sessions_.clear();
    EXPECT_EQ(DrmServerLinkConnectionCount(), 0);
    std::string log = LogOnceChannelsClosed();
    EXPECT_EQ(ChannelLines(log, "open"), 2u) << log;
    EXPECT_TRUE(ChannelsLeftOpen(log).empty()) << log;
}

TEST_F(Live, WrongPasswordAndMissingServer) {
    StartServer();
    uint32_t s = 0;
    ASSERT_EQ(DrmBeginSession(&s, "drm", "wrong", "Live"), 0);
    sessions_.push_back(s);
    uint32_t db = 0;
    EXPECT_EQ(DrmOpenDatabase(s, server_.Path().c_str(), &db, 0), -1905);   // invalid password
    EXPECT_EQ(db, 0u);
    EXPECT_EQ(DrmServerLinkConnectionCount(), 0);
    int32_t r = DrmOpenDatabase(s, "TCP/IP:127.0.0.1:1", &db, 0);
    EXPECT_LT(r, 0);
}

TEST_F(Live, MalformedCatalogRepliesGiveAnError) {
    // Request 50 (table definition) and 99 (table names) answered short or overlong.
    for (const char *fault : {"--short-body", "--overlong-body", "--mismatch-body"}) {
        for (const char *code : {"50", "99", "51"}) {
            StartServer({fault, code});
            uint32_t s = Begin();
            uint32_t db = 0;
            int32_t r = DrmOpenDatabase(s, server_.Path().c_str(), &db, 0);
            EXPECT_LT(r, 0) << fault << " " << code;
            EXPECT_EQ(db, 0u);
            DrmEndSession(s);
            sessions_.clear();
            EXPECT_EQ(DrmServerLinkConnectionCount(), 0) << fault << " " << code;
            server_.Stop();
        }
    }
}

} // namespace
