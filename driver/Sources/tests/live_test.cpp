// The data module against the QX Server emulator, through the real client
// library: catalogs of a fixture, connections released, malformed replies.
#include "driver/Sources/drm_login.h"
#include "driver/Sources/tests/live_support.h"

#include <chrono>

namespace {

using namespace drmlive;

TEST_F(LiveLink, ManagerOpensAndClosesConnections)
{
    StartServer();
    DrmNetPath path;
    ASSERT_TRUE(DrmParseNetPath(server_.Dbq().c_str(), &path));
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
    EXPECT_NE(DrmServerLink(&login, &path, &c), -1); // still usable after closing all
    DrmNetLibExit();
    std::string log = LogOnceChannelsClosed();
    EXPECT_TRUE(ChannelsLeftOpen(log).empty()) << log;
}

TEST_F(Live, CatalogsReturnTheFixtureSchema)
{
    StartServer();
    uint32_t s = Begin();
    uint32_t db = 0;
    ASSERT_EQ(DrmOpenDatabase(s, server_.Dbq().c_str(), &db, 0), 0);

    uint32_t info[13] = {};
    ASSERT_EQ(DrmGetDatabaseTableInfo(s, db, info, 28), 0);
    EXPECT_EQ(Texts(s, info[1], 1), (std::vector<std::string>{"Customers", "Ann\xE9"
                                                                           "e"}));

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
    for (int32_t r = DrmMove(s, columns, kDrmMoveFirst); r == 0;
         r = DrmMove(s, columns, kDrmMoveNext)) {
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
    ASSERT_EQ(DrmOpenTable(s, db,
                           "ann\xC9"
                           "E",
                           "", 0, &u),
              0);
    ASSERT_EQ(DrmGetTableColumnInfo(s, u, info, 52), 0);
    EXPECT_EQ(Numbers(s, info[1], 3), (std::vector<uint32_t>{101, 102, 1, 3, 11}));
}

TEST_F(Live, CloseAndEndReleaseEveryConnection)
{
    StartServer();
    uint32_t s = Begin();
    uint32_t a = 0, b = 0;
    ASSERT_EQ(DrmOpenDatabase(s, server_.Dbq().c_str(), &a, 0), 0);
    ASSERT_EQ(DrmSetLoginPassword(s, "secret"), 0); // every open logs in with what it is handed
    ASSERT_EQ(DrmOpenDatabase(s, server_.Dbq().c_str(), &b, 0), 0);
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

TEST_F(Live, WrongPasswordAndMissingServer)
{
    StartServer();
    uint32_t s = 0;
    ASSERT_EQ(DrmBeginSession(&s, "drm", "wrong", "Live"), 0);
    sessions_.push_back(s);
    uint32_t db = 0;
    EXPECT_EQ(DrmOpenDatabase(s, server_.Dbq().c_str(), &db, 0), -1905); // invalid password
    EXPECT_EQ(db, 0u);
    EXPECT_EQ(DrmServerLinkConnectionCount(), 0);
    int32_t r = DrmOpenDatabase(s, "TCP/IP:127.0.0.1:1", &db, 0);
    EXPECT_LT(r, 0);
}

TEST_F(Live, MalformedCatalogRepliesGiveAnError)
{
    // Request 50 (table definition) and 99 (table names) answered short or overlong.
    for (const char *fault : {"--short-body", "--overlong-body", "--mismatch-body"}) {
        for (const char *code : {"50", "99", "51"}) {
            StartServer({fault, code});
            uint32_t s = Begin();
            uint32_t db = 0;
            int32_t r = DrmOpenDatabase(s, server_.Dbq().c_str(), &db, 0);
            EXPECT_LT(r, 0) << fault << " " << code;
            EXPECT_EQ(db, 0u);
            DrmEndSession(s);
            sessions_.clear();
            EXPECT_EQ(DrmServerLinkConnectionCount(), 0) << fault << " " << code;
            server_.Stop();
        }
    }
}

// The connect as a whole within the login time, each failure told apart;
// a request past the data source's ReplyTimeout breaks the connection.
TEST_F(Live, ConnectAndRequestsEndInTimeWithTheReason)
{
    auto within = [](auto call, int32_t expected, double seconds) {
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(call(), expected);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                  seconds);
    };
    {
        SCOPED_TRACE("replies held back");
        StartServer({"--delay", "600000"});
        uint32_t s = Begin();
        ASSERT_EQ(DrmSetSessionOption(s, kDrmSessionOptionLoginTimeout, 1), 0);
        uint32_t db = 0;
        within([&] { return DrmOpenDatabase(s, server_.Dbq().c_str(), &db, 0); }, kDrmErrTimedOut,
               1.8);
        server_.Stop();
    }
    StartServer();
    {
        SCOPED_TRACE("stopped server");
        uint32_t s = Begin();
        ASSERT_EQ(DrmSetSessionOption(s, kDrmSessionOptionLoginTimeout, 1), 0);
        kill(server_.Pid(), SIGSTOP);
        uint32_t db = 0;
        within([&] { return DrmOpenDatabase(s, server_.Dbq().c_str(), &db, 0); },
               kDrmErrServerNotAnswering, 1.8);
        kill(server_.Pid(), SIGCONT);
        within([&] { return DrmOpenDatabase(s, "TCP/IP:127.0.0.1:1", &db, 0); },
               kDrmErrNoServerAtAddress, 1.0);
    }
    {
        SCOPED_TRACE("reply time of the data source");
        std::ofstream((dir_ / "odbc.ini").c_str()) << "[Live]\nReplyTimeout=1\n";
        setenv("ODBCINI", (dir_ / "odbc.ini").c_str(), 1);
        uint32_t s = Begin();
        uint32_t db = 0;
        ASSERT_EQ(DrmOpenDatabase(s, server_.Dbq().c_str(), &db, 0), 0);
        unsetenv("ODBCINI");
        kill(server_.Pid(), SIGSTOP);
        within([&] { return DrmSetTransact(s, kDrmTransactStart); }, kDrmErrLinkBroken, 1.8);
        within([&] { return DrmSetTransact(s, kDrmTransactStart); }, kDrmErrLinkBroken, 0.5);
        kill(server_.Pid(), SIGCONT);
    }
}

} // namespace
