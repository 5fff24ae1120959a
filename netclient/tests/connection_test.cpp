// Connections over loopback against qxserver: byte orders, keys, versions,
// login statuses, shared links, polled mode, discovery and injected faults.
#include "netclient/nc_component.h"
#include "netclient/qxnetclient.h"
#include "tests/support/qxserver_process.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <thread>
#include <gtest/gtest.h>

namespace {

void SetPString(uint8_t (&field)[32], const std::string &s)
{
    std::memset(field, 0, sizeof field);
    field[0] = uint8_t(s.size());
    std::memcpy(field + 1, s.data(), s.size());
}

QXLoginRecord Login(const std::string &user, const std::string &password)
{
    QXLoginRecord r{};
    SetPString(r.applicationName, "netclient tests");
    SetPString(r.userName, user);
    SetPString(r.password, password);
    r.callerByte = 0x5C;
    return r;
}

std::vector<uint8_t> PString(const std::string &s)
{
    // Sized once and copied into: growing a one-byte vector with insert() makes g++ 12 at -O3
    // report a false -Warray-bounds on the memmove it inlines.
    std::vector<uint8_t> p(s.size() + 1);
    p[0] = uint8_t(s.size());
    std::copy(s.begin(), s.end(), p.begin() + 1);
    return p;
}

class ConnectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        _QX_InitQXWS();
        comp_ = _QX_InitNetworkComponent(0);
        ASSERT_NE(comp_, nullptr);
    }
    void TearDown() override
    {
        for (QXNetworkLocation l : locations_)
            _QX_FreeNetworkLocation(l, 0, comp_);
        _QX_DeInitNetworkComponent(0, comp_);
        _QX_DeInitQXWS();
    }
    // Starts a server with the demo account and the given extra arguments.
    void StartServer(std::vector<std::string> args)
    {
        log_ = server_.LogPath();
        args.insert(args.end(),
                    {"--fixture", server_.FixtureWithUsers({{"demo", "demo"}}), "--log", log_});
        std::string error;
        ASSERT_TRUE(server_.Start(args, &error)) << error;
    }
    QXNetworkLocation Location()
    {
        auto text = PString("127.0.0.1:" + std::to_string(server_.Port()));
        QXNetworkLocation loc = nullptr;
        EXPECT_EQ(_QX_FindQXServer(text.data(), &loc, 0, comp_), 0);
        locations_.push_back(loc);
        return loc;
    }
    int16_t Open(QXHandle *conn, const std::string &user = "demo", const std::string &pw = "demo")
    {
        QXLoginRecord login = Login(user, pw);
        return _QX_OpenQXConnection(&login, Location(), conn, 0, comp_);
    }
    std::string Log() { return QxServerProcess::ReadFile(log_); }

    QXComponent comp_ = nullptr;
    QxServerProcess server_;
    std::string log_;
    std::vector<QXNetworkLocation> locations_;
};

TEST_F(ConnectionTest, OpensInBothByteOrdersWithKeysHoldingZeroBytes)
{
    struct Case {
        bool big;
        const char *key;
    } cases[] = {{false, "00A5005A"}, {true, "00A5005A"}, {true, "00000000"}, {false, "FF000001"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.big ? "big-endian " : "little-endian ") + c.key);
        server_.Stop();
        std::vector<std::string> args{"--key", c.key};
        if (c.big)
            args.push_back("--big-endian");
        StartServer(args);
        QXHandle conn = nullptr;
        ASSERT_EQ(Open(&conn), 0);
        ASSERT_NE(conn, nullptr);
        QXServerInfo info{};
        EXPECT_EQ(_QX_GetServerInfo(conn, &info), 0);
        EXPECT_EQ(info.version, 0x650);
        EXPECT_EQ(info.bigEndian, c.big ? 1 : 0);
        // The server decoded the keyed login and a later request.
        EXPECT_EQ(_QX_FlushServer(conn), 0);
        EXPECT_EQ(_QX_CloseQXConnection(conn), 0);
        EXPECT_NE(Log().find("login demo"), std::string::npos) << Log();
        EXPECT_NE(Log().find("code=38"), std::string::npos);
    }
}

TEST_F(ConnectionTest, VersionGate)
{
    struct Case {
        const char *version;
        int16_t status;
    } cases[] = {{"0x550", QX_ERR_SERVER_TOO_OLD},
                 {"0x551", 0},
                 {"0x650", 0},
                 // only the low 16 bits count, unsigned
                 {"0x10550", QX_ERR_SERVER_TOO_OLD},
                 {"0xF551", 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.version);
        server_.Stop();
        StartServer({"--version", c.version});
        QXLoginRecord login = Login("demo", "demo");
        QXLoginRecord before = login;
        QXHandle conn = reinterpret_cast<QXHandle>(1);
        EXPECT_EQ(_QX_OpenQXConnection(&login, Location(), &conn, 0, comp_), c.status);
        EXPECT_EQ(login.loginFlag, 1);
        before.loginFlag = 1;
        EXPECT_EQ(std::memcmp(&login, &before, sizeof login), 0)
            << "the rest of the record is unchanged";
        if (c.status == 0)
            EXPECT_EQ(_QX_CloseQXConnection(conn), 0);
        else
            EXPECT_EQ(conn, nullptr);
    }
}

TEST_F(ConnectionTest, LoginStatusesPassThrough)
{
    StartServer({});
    struct Case {
        const char *user, *password;
        int16_t status;
    } cases[] = {{"demo", "wrong", -9978}, {"nobody", "demo", -9979}, {"demo", "demo", 0}};
    for (const Case &c : cases) {
        QXHandle conn = nullptr;
        EXPECT_EQ(Open(&conn, c.user, c.password), c.status) << c.user << "/" << c.password;
        if (conn)
            _QX_CloseQXConnection(conn);
    }
    // The probe login carried no password: the emulator saw the marker only.
    EXPECT_EQ(Log().find("wrong"), std::string::npos);
}

TEST_F(ConnectionTest, ConnectionsShareOneLinkAsChannels)
{
    StartServer({});
    QXHandle a = nullptr, b = nullptr, c = nullptr;
    ASSERT_EQ(Open(&a), 0);
    ASSERT_EQ(Open(&b), 0);
    EXPECT_EQ(_QX_FlushServer(b), 0);
    EXPECT_EQ(_QX_FlushServer(a), 0);
    EXPECT_EQ(_QX_CloseQXConnection(a), 0);
    ASSERT_EQ(Open(&c), 0); // takes the freed number 1 again
    EXPECT_EQ(_QX_FlushServer(c), 0);
    EXPECT_EQ(_QX_CloseQXConnection(b), 0);
    EXPECT_EQ(_QX_CloseQXConnection(c), 0);
    std::string log = Log();
    EXPECT_NE(log.find("link 1 channel 1 open"), std::string::npos) << log;
    EXPECT_NE(log.find("link 1 channel 2 open"), std::string::npos) << log;
    EXPECT_EQ(log.find("link 2 accepted"), std::string::npos) << "one TCP connection only\n" << log;
    size_t firstClose = log.find("link 1 channel 1 close");
    ASSERT_NE(firstClose, std::string::npos);
    EXPECT_NE(log.find("link 1 channel 1 open", firstClose), std::string::npos) << log;
}

TEST_F(ConnectionTest, PolledModeReportsPendingThenTheStatus)
{
    StartServer({"--delay", "150", "--fail", "38:-9967"});
    QXHandle conn = nullptr;
    ASSERT_EQ(Open(&conn), 0);
    EXPECT_EQ(_QX_SetConnectionSync(conn), 0) << "already synchronous";
    ASSERT_EQ(_QX_SetConnectionAsync(conn), 0);
    uint8_t polled = 0;
    EXPECT_EQ(_QX_IsConnectionAsync(conn, &polled), 0);
    EXPECT_EQ(polled, 1);

    EXPECT_EQ(_QX_FlushServer(conn), 0) << "started";
    EXPECT_EQ(_QX_FlushServer(conn), QX_ERR_PENDING);
    EXPECT_EQ(_QX_SetConnectionSync(conn), QX_ERR_PENDING);
    EXPECT_EQ(_QX_SetConnectionAsync(conn), QX_ERR_PENDING);
    EXPECT_EQ(_QX_CloseQXConnection(conn), QX_ERR_PENDING) << "close waits for the request";
    int pendingSteps = 0;
    int16_t r;
    while ((r = _QX_ProcessQXRequest(conn)) == 1)
        ++pendingSteps;
    EXPECT_GT(pendingSteps, 0);
    EXPECT_EQ(r, -9967);
    EXPECT_EQ(_QX_ProcessQXRequest(conn), 0);
    EXPECT_EQ(_QX_SetConnectionSync(conn), 0);
    EXPECT_EQ(_QX_CloseQXConnection(conn), 0);
    EXPECT_EQ(_QX_ProcessQXRequest(conn), QX_ERR_BAD_CONNECTION) << "a closed handle is refused";
}

TEST_F(ConnectionTest, InjectedFaultsGiveClearNegativeStatuses)
{
    struct Case {
        std::vector<std::string> args;
        int16_t open;  // status of the open
        int16_t flush; // status of a flush on an open connection
    } cases[] = {
        {{"--handshake-word", "0x1234"}, QX_ERR_BAD_HANDSHAKE, 0},
        {{"--probe-no-body"}, QX_ERR_NO_PROBE_BODY, 0},
        {{"--short-body", "44"}, QX_ERR_BAD_REPLY_LENGTH, 0},
        {{"--overlong-body", "44"}, QX_ERR_BAD_REPLY_LENGTH, 0},
        {{"--mismatch-body", "44"}, QX_ERR_LENGTH_MISMATCH, 0},
        {{"--drop-mid-reply", "44"}, QX_ERR_LINK, 0},
        {{"--fail", "44:-9967"}, -9967, 0},
        {{"--fail", "38:-9991"}, 0, -9991},
        {{"--drop-mid-reply", "38"}, 0, QX_ERR_LINK},
        {{"--overlong-body", "38"}, 0, QX_ERR_BAD_REPLY_LENGTH},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
        server_.Stop();
        StartServer(c.args);
        QXHandle conn = nullptr;
        EXPECT_EQ(Open(&conn), c.open);
        if (c.open != 0) {
            EXPECT_EQ(conn, nullptr);
            continue;
        }
        EXPECT_EQ(_QX_FlushServer(conn), c.flush);
        _QX_CloseQXConnection(conn);
    }
}

TEST_F(ConnectionTest, ServerFoundByBroadcastByName)
{
    StartServer({"--service", "Accounts", "--computer", "hostA"});
    ASSERT_EQ(_QX_SetComponentOption(comp_, 0x62616472 /* badr */, int32_t(0x7F000001), nullptr),
              0);
    ASSERT_EQ(_QX_SetComponentOption(comp_, 0x706F7274 /* port */, server_.Port(), nullptr), 0);
    QXNetworkLocation loc = nullptr;
    auto name = PString("Accounts");
    ASSERT_EQ(_QX_FindQXServer(name.data(), &loc, 0, comp_), 0);
    locations_.push_back(loc);
    QXLoginRecord login = Login("demo", "demo");
    QXHandle conn = nullptr;
    ASSERT_EQ(_QX_OpenQXConnection(&login, loc, &conn, 0, comp_), 0);
    EXPECT_EQ(_QX_CloseQXConnection(conn), 0);

    // The exact computer name ends the wait at once.
    auto exact = PString("Accounts\thostA");
    QXNetworkLocation loc2 = nullptr;
    ASSERT_EQ(_QX_FindQXServer(exact.data(), &loc2, 0, comp_), 0);
    locations_.push_back(loc2);

    auto unknown = PString("Nobody");
    QXNetworkLocation none = nullptr;
    EXPECT_EQ(_QX_FindQXServer(unknown.data(), &none, 0, comp_), QX_ERR_NO_SERVER);
    EXPECT_EQ(none, nullptr);
    EXPECT_NE(Log().find("service=\"Nobody\" ignored"), std::string::npos) << Log();
}

TEST_F(ConnectionTest, ReconnectAfterABrokenLink)
{
    StartServer({"--drop-link", "127"});
    for (bool reconnect : {false, true}) {
        SCOPED_TRACE(reconnect ? "reconnect on" : "reconnect off");
        ASSERT_EQ(_QX_SetComponentOption(comp_, 0x7265636F /* reco */, reconnect, nullptr), 0);
        QXHandle conn = nullptr;
        ASSERT_EQ(Open(&conn), 0);
        int32_t time = 0;
        if (!reconnect) {
            EXPECT_EQ(_QX_Server_CurrentTime(conn, &time), QX_ERR_LINK);
            EXPECT_EQ(_QX_FlushServer(conn), QX_ERR_LINK) << "the connection is gone for good";
        } else {
            EXPECT_EQ(_QX_Server_CurrentTime(conn, &time), QX_ERR_LINK_REESTABLISHED);
            EXPECT_EQ(_QX_FlushServer(conn), 0) << "the same session over the new link";
            int32_t n = -1;
            EXPECT_EQ(_QX_RecordsInFile(conn, 1, &n), -9971)
                << "still logged in: the table is unknown";
        }
        EXPECT_EQ(_QX_CloseQXConnection(conn), 0);
    }
    EXPECT_NE(Log().find("re-established with 1 channels"), std::string::npos) << Log();
}

TEST_F(ConnectionTest, DiscoveryForProgramsListsAnswers)
{
    StartServer({"--service", "Ledger", "--computer", "host\tB"});
    _QX_SetComponentOption(comp_, 0x62616472 /* badr */, int32_t(0x7F000001), nullptr);
    _QX_SetComponentOption(comp_, 0x706F7274 /* port */, server_.Port(), nullptr);
    ComponentParamBlock open;
    open.selector = 27;
    open.component = comp_;
    NetworkComponentEntry(&open);
    ASSERT_EQ(open.result, 0);
    ComponentParamBlock send = open;
    send.selector = 29;
    NetworkComponentEntry(&send);
    ASSERT_EQ(send.result, 0);
    ComponentParamBlock read = open;
    read.selector = 30;
    for (int i = 0; i < 100 && read.length == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        read = open;
        read.selector = 30;
        NetworkComponentEntry(&read);
    }
    ASSERT_EQ(read.length, 1);
    const unsigned char *t = read.text;
    std::vector<std::string> fields;
    for (int i = 0; i < 3; ++i) {
        fields.emplace_back(reinterpret_cast<const char *>(t + 1), t[0]);
        t += 1 + t[0];
    }
    EXPECT_EQ(fields, (std::vector<std::string>{"Ledger", "host_B", "127.0.0.1"}))
        << "tabs become _";
    ComponentParamBlock close = open;
    close.selector = 28;
    NetworkComponentEntry(&close);
}

TEST_F(ConnectionTest, ServerSelectorsWithoutTheirObjects)
{
    // Selectors given no node, no link and no listener do nothing harmful:
    // the node selectors refuse an unknown node, 31 and 34 (no secure-socket
    // provider here) answer -1, the polls find nothing to do.
    struct Case {
        int32_t selector;
        int32_t result;
    } cases[] = {
        {4, 0},
        {5, 1},
        {14, 0},
        {15, 0},
        {16, QX_ERR_LINK},
        {17, QX_ERR_LINK},
        {18, QX_ERR_LINK},
        {22, 0},
        {24, 1},
        {31, -1},
        {34, -1},
    };
    int bogus = 0;
    for (const Case &c : cases) {
        ComponentParamBlock pb;
        pb.selector = c.selector;
        pb.component = comp_;
        pb.node = reinterpret_cast<RawStreamNode *>(&bogus); // not a node of the component
        NetworkComponentEntry(&pb);
        EXPECT_EQ(pb.result, c.result) << "selector " << c.selector;
        EXPECT_EQ(pb.channel, nullptr) << "selector " << c.selector;
    }
    ComponentParamBlock merge;
    merge.selector = 5;
    merge.length = 667;
    merge.component = comp_;
    merge.link = reinterpret_cast<ServerLink *>(&bogus);
    NetworkComponentEntry(&merge);
    EXPECT_EQ(merge.result, 0) << "not a link of the component: nothing merged";
}

TEST(StartUp, InitialisationIsCounted)
{
    EXPECT_EQ(_QX_NB_NetworkComponent(), 0);
    _QX_DeInitQXWS(); // without init: nothing
    EXPECT_EQ(_QX_NB_NetworkComponent(), 0);
    _QX_InitQXWS();
    _QX_InitQXWS(); // a second user
    EXPECT_EQ(_QX_NB_NetworkComponent(), 1);
    _QX_DeInitQXWS();
    EXPECT_EQ(_QX_NB_NetworkComponent(), 1) << "the other user keeps the library";
    _QX_DeInitQXWS();
    EXPECT_EQ(_QX_NB_NetworkComponent(), 0);

    int16_t kind = 0;
    unsigned char text[256];
    EXPECT_EQ(_QX_GetComponentInfo(7, &kind, text), 0);
    EXPECT_EQ(kind, 2);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(text + 1), text[0]), "TCP/IP v2004");
}

TEST(StartUp, ComponentOptions)
{
    QXComponent comp = _QX_InitNetworkComponent(0);
    ASSERT_NE(comp, nullptr);
    int32_t v = 0;
    EXPECT_EQ(_QX_GetComponentOption(comp, 0x706F7274 /* port */, &v, nullptr), 0);
    EXPECT_EQ(v, 19813);
    EXPECT_EQ(_QX_SetComponentOption(comp, 0x74696D65 /* time */, 10, nullptr), 0);
    EXPECT_EQ(_QX_GetComponentOption(comp, 0x74696D65, &v, nullptr), 0);
    EXPECT_EQ(v, 9);
    auto longName = PString(std::string(40, 'n'));
    EXPECT_EQ(_QX_SetComponentOption(comp, 0x74707562 /* tpub */, 0, longName.data()), 0);
    unsigned char out[256] = {};
    EXPECT_EQ(_QX_GetComponentOption(comp, 0x74707562, nullptr, out), 0);
    EXPECT_EQ(out[0], 31);
    EXPECT_EQ(_QX_GetComponentOption(comp, 0x7473656C /* tsel */, nullptr, out), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out + 1), out[0]), "QX Server");
    for (uint32_t code : {0x73736C70u /* sslp */, 0x62727374u /* brst */, 0x7265636Fu /* reco */})
        EXPECT_EQ(_QX_GetComponentOption(comp, code, &v, nullptr), QX_ERR_BAD_OPTION);
    EXPECT_EQ(_QX_SetComponentOption(comp, 0x6E6F4D65 /* noMe */, 1, nullptr), QX_ERR_BAD_OPTION);
    _QX_DeInitNetworkComponent(0, comp);
}

TEST(StartUp, UnknownAddressOrRefusedConnection)
{
    QXComponent comp = _QX_InitNetworkComponent(0);
    ASSERT_NE(comp, nullptr);
    _QX_SetComponentOption(comp, 0x62727374 /* brst */, 0, nullptr);
    QXNetworkLocation loc = nullptr;
    auto bad = PString("no such host!");
    EXPECT_EQ(_QX_FindQXServer(bad.data(), &loc, 0, comp), QX_ERR_NO_SERVER);
    // A port nobody listens on: the link fails, the open reports it.
    QxServerProcess s;
    ASSERT_TRUE(s.Start({}));
    uint16_t port = s.Port();
    s.Stop();
    auto text = PString("127.0.0.1:" + std::to_string(port));
    ASSERT_EQ(_QX_FindQXServer(text.data(), &loc, 0, comp), 0);
    QXLoginRecord login = Login("demo", "demo");
    QXHandle conn = nullptr;
    EXPECT_LT(_QX_OpenQXConnection(&login, loc, &conn, 0, comp), 0);
    EXPECT_EQ(conn, nullptr);
    _QX_FreeNetworkLocation(loc, 0, comp);
    _QX_DeInitNetworkComponent(0, comp);
}

constexpr uint32_t kOpenTime = 0x6F74696D;  // 'otim'
constexpr uint32_t kReplyTime = 0x7274696D; // 'rtim'

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A loopback port on which nothing listens.
uint16_t UnusedPort()
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
    socklen_t len = sizeof sa;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &len);
    ::close(fd);
    return ntohs(sa.sin_port);
}

// The open as a whole within 'otim', each failure told apart: a server that
// holds its replies (timed out), a stopped server whose kernel accepts the
// connection but that never greets (not answering), no server (refused).
TEST_F(ConnectionTest, OpenEndsWithinItsTimeWithTheReason)
{
    ASSERT_EQ(_QX_SetComponentOption(comp_, kOpenTime, 1000, nullptr), 0);
    int32_t value = 0;
    EXPECT_EQ(_QX_GetComponentOption(comp_, kOpenTime, &value, nullptr), 0);
    EXPECT_EQ(value, 1000);
    {
        SCOPED_TRACE("replies held back");
        StartServer({"--delay", "600000"});
        QXHandle conn = nullptr;
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Open(&conn), QX_ERR_TIMED_OUT);
        EXPECT_EQ(conn, nullptr);
        EXPECT_LT(SecondsSince(start), 1.8);
        server_.Stop();
    }
    {
        SCOPED_TRACE("stopped server");
        StartServer({});
        ::kill(server_.Pid(), SIGSTOP);
        QXHandle conn = nullptr;
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Open(&conn), QX_ERR_NOT_ANSWERING);
        EXPECT_LT(SecondsSince(start), 1.8);
        ::kill(server_.Pid(), SIGCONT);
        ASSERT_EQ(Open(&conn), 0) << "a new link once the server runs again";
        EXPECT_EQ(_QX_CloseQXConnection(conn), 0);
    }
    {
        SCOPED_TRACE("nothing listening");
        auto text = PString("127.0.0.1:" + std::to_string(UnusedPort()));
        QXNetworkLocation loc = nullptr;
        ASSERT_EQ(_QX_FindQXServer(text.data(), &loc, 0, comp_), 0);
        locations_.push_back(loc);
        QXLoginRecord login = Login("demo", "demo");
        QXHandle conn = nullptr;
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(_QX_OpenQXConnection(&login, loc, &conn, 0, comp_), QX_ERR_REFUSED);
        EXPECT_LT(SecondsSince(start), 1.0);
    }
}

// A request past its time gives up the link and marks the connection
// broken; the server stopped after the open stands for one that hangs.
TEST_F(ConnectionTest, RequestPastItsTimeBreaksTheConnection)
{
    StartServer({});
    struct Case {
        const char *name;
        int32_t componentReply, reply, total;
    } cases[] = {
        {"reply time of the component", 1000, 0, 0},
        {"reply time of the connection", 0, 1000, 0},
        {"time for all requests", 0, 0, 1000},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        ASSERT_EQ(_QX_SetComponentOption(comp_, kReplyTime, k.componentReply, nullptr), 0);
        QXHandle conn = nullptr, other = nullptr;
        ASSERT_EQ(Open(&conn), 0);
        ASSERT_EQ(Open(&other), 0); // a channel of the same link
        if (k.reply || k.total) {
            ASSERT_EQ(_QX_SetConnectionTimeouts(conn, k.reply, k.total), 0);
        }
        EXPECT_EQ(_QX_FlushServer(conn), 0) << "in time";
        EXPECT_EQ(_QX_FlushServer(other), 0) << "in time";
        ::kill(server_.Pid(), SIGSTOP);
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(_QX_FlushServer(conn), QX_ERR_TIMED_OUT);
        EXPECT_LT(SecondsSince(start), 1.8);
        EXPECT_EQ(_QX_FlushServer(conn), QX_ERR_LINK) << "marked broken";
        // The link went with the time-out: the other connection's next
        // requests say the link is lost, at once.
        // (A request with a body: its header goes out as a small frame.)
        start = std::chrono::steady_clock::now();
        int32_t count = 0;
        EXPECT_EQ(_QX_RecordsInFile(other, 1, &count), QX_ERR_LINK) << "the shared link is lost";
        EXPECT_EQ(_QX_RecordsInFile(other, 1, &count), QX_ERR_LINK) << "and stays lost";
        EXPECT_LT(SecondsSince(start), 0.5);
        ::kill(server_.Pid(), SIGCONT);
        EXPECT_EQ(_QX_FlushServer(conn), QX_ERR_LINK) << "broken for good";
        EXPECT_EQ(_QX_CloseQXConnection(conn), 0);
        EXPECT_EQ(_QX_CloseQXConnection(other), 0);
    }
    ASSERT_EQ(_QX_SetComponentOption(comp_, kReplyTime, 0, nullptr), 0);
    QXHandle conn = nullptr;
    ASSERT_EQ(Open(&conn), 0) << "the server serves new connections";
    EXPECT_EQ(_QX_FlushServer(conn), 0);
    EXPECT_EQ(_QX_SetConnectionTimeouts(nullptr, 1, 1), QX_ERR_BAD_CONNECTION);
    EXPECT_EQ(_QX_CloseQXConnection(conn), 0);
}

} // namespace
