// The component's server side run as a server program would run it: a
// thread of its own that polls, echoes and merges, reached by the client
// side's find, program discovery and re-established links; and the answers
// to discovery queries, datagram by datagram.
#include "netclient/nc_charset.h"
#include "netclient/nc_component.h"
#include "netclient/nc_connection.h"
#include "netclient/qxnetclient.h"
#include "netclient/tests/component_kit.h"
#include "platform/clock.h"

#include <arpa/inet.h>
#include <atomic>
#include <list>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <gtest/gtest.h>

namespace {

// A datagram socket of the test on loopback.
struct Udp {
    Udp()
    {
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
    }
    ~Udp() { ::close(fd); }
    void Send(const uint8_t *data, size_t n, uint16_t port)
    {
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sa.sin_port = htons(port);
        ::sendto(fd, data, n, 0, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
    }
    // What is waiting, without waiting.
    std::vector<std::vector<uint8_t>> Drain()
    {
        std::vector<std::vector<uint8_t>> out;
        uint8_t buf[200];
        ssize_t n;
        while ((n = ::recv(fd, buf, sizeof buf, 0)) >= 0)
            out.emplace_back(buf, buf + n);
        return out;
    }
    int fd;
};

std::vector<uint8_t> Query(uint16_t code, const char *published, const std::string &service)
{
    std::vector<uint8_t> q(96);
    nc::BuildServerQuery(q.data(), code, published, service);
    return q;
}

// Loopback datagrams are delivered within sendto, so one server poll after
// sending sees the query, and its answer is waiting when the poll returns.
TEST(ServerDiscovery, AnswersQueriesForItsNames)
{
    TestComponent server;
    auto published = PStr("Ledger Co");
    ASSERT_EQ(server.SetOption("tpub", 0, published.data()), 0);
    uint16_t port = StartServer(server, "Caf\xE9\tA"); // Windows text, with a tab
    ASSERT_NE(port, 0);

    auto short95 = Query(0, "Ledger Co", "");
    short95.resize(95);
    struct Case {
        const char *name;
        std::vector<uint8_t> datagram;
        bool answered;
    } cases[] = {
        {"find with the service name", Query(9, "Ledger Co", "Caf\xE9_A"), true},
        {"dialog query, no service name", Query(0, "Ledger Co", ""), true},
        {"another service", Query(9, "Ledger Co", "Payroll"), false},
        {"another published name", Query(9, "QX Server", ""), false},
        {"95 bytes", short95, false},
    };
    std::string computer = nc::GetLocalComputerName();
    for (std::string::size_type i = 0; i < computer.size(); ++i)
        if (computer[i] == '\t')
            computer[i] = '_';
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Udp udp;
        udp.Send(c.datagram.data(), c.datagram.size(), port);
        server.Poll(5);
        auto answers = udp.Drain();
        ASSERT_EQ(answers.size(), c.answered ? 1u : 0u);
        if (!c.answered)
            continue;
        const std::vector<uint8_t> &a = answers[0];
        ASSERT_EQ(a.size(), 96u);
        std::vector<uint8_t> name(a.begin(), a.begin() + 32);
        nc::ConvertMacToPCText(name.data(), 31);
        EXPECT_STREQ(reinterpret_cast<const char *>(name.data()), computer.c_str());
        EXPECT_STREQ(reinterpret_cast<const char *>(a.data() + 32), "Ledger Co");
        EXPECT_STREQ(reinterpret_cast<const char *>(a.data() + 64), "Caf\xE9_A") << "tabs become _";
        EXPECT_EQ(a[31], 0);
        EXPECT_EQ(a[63], 0);
        EXPECT_EQ(a[95], 0);
    }

    // Paused, the server stays silent; afterwards it answers again.
    auto q = Query(0, "Ledger Co", "");
    for (int paused : {1, 0}) {
        server.Call(32, [&](ComponentParamBlock &pb) { pb.value = paused; });
        Udp udp;
        udp.Send(q.data(), q.size(), port);
        server.Poll(5);
        EXPECT_EQ(udp.Drain().size(), paused ? 0u : 1u) << "paused " << paused;
    }

    // Stopped, the sockets are gone and the port can be taken again.
    server.Call(4);
    EXPECT_FALSE(server.comp->listener.IsOpen());
    EXPECT_FALSE(server.comp->discovery.IsOpen());
}

// A server program in a thread of its own: it echoes every data block on
// every channel it is handed, and merges re-established links.
class EchoServer {
public:
    explicit EchoServer(const std::string &service)
    {
        port_ = StartServer(server_, service);
        if (port_)
            thread_ = std::thread([this] { Run(); });
    }
    ~EchoServer()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    uint16_t Port() const { return port_; }
    int Merges() const { return merges_; }
    int Channels() const { return channels_; }
    size_t Links()
    {
        std::lock_guard lock(server_.comp->mutex);
        return server_.comp->links.size();
    }

private:
    struct Served {
        LinkChannel *ch;
        ComponentParamBlock send;
        std::vector<uint8_t> buf;
        bool sending = false;
    };
    ComponentParamBlock Call(int32_t selector,
                             const std::function<void(ComponentParamBlock &)> &fill)
    {
        ComponentParamBlock pb;
        pb.selector = selector;
        pb.component = server_.comp;
        fill(pb);
        NetworkComponentEntry(&pb);
        return pb;
    }
    void Run()
    {
        std::list<Served> served;
        while (!stop_) {
            ComponentParamBlock pb = Call(5, [](ComponentParamBlock &b) { b.extra = 42; });
            bool moved = pb.extra != 0;
            if (pb.result == 0 && pb.channel) {
                ServerLink *link = pb.link;
                if (link->reestablished && Call(5, [&](ComponentParamBlock &b) {
                                               b.length = 667;
                                               b.link = link;
                                           }).result == 1) {
                    ++merges_; // the channel went with its link
                } else {
                    served.push_back({pb.channel, {}, {}});
                    ++channels_;
                }
            }
            for (Served &s : served) {
                if (s.sending) {
                    if (s.send.result == 1)
                        continue;
                    s.sending = false;
                }
                int32_t n = Call(19, [&](ComponentParamBlock &b) { b.channel = s.ch; }).value;
                if (n <= 0)
                    continue; // nothing yet, or broken: kept, a merge may revive it
                s.buf.resize(size_t(n));
                if (Call(10, [&](ComponentParamBlock &b) {
                        b.channel = s.ch;
                        b.data = s.buf.data();
                        b.length = n;
                    }).result != 0)
                    continue;
                s.send = ComponentParamBlock{};
                s.send.selector = 11;
                s.send.component = server_.comp;
                s.send.channel = s.ch;
                s.send.data = s.buf.data();
                s.send.length = n;
                NetworkComponentEntry(&s.send);
                s.sending = s.send.result == 1;
                moved = true;
            }
            if (!moved)
                std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    }

    TestComponent server_;
    uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> merges_{0}, channels_{0};
};

// The client's side of an exchange with the echo server, waited for with the
// client library's own wait.
struct EchoClient {
    int16_t Run(int32_t selector, const void *data = nullptr, size_t n = 0)
    {
        ComponentParamBlock pb;
        pb.selector = selector;
        pb.component = side.comp;
        pb.channel = channel;
        pb.location = &location;
        pb.data = const_cast<void *>(data);
        pb.length = int32_t(n);
        NetworkComponentEntry(&pb);
        uint32_t deadline = PlatTickCount() + 5000;
        nc::WaitFor(side.comp, &pb, nullptr, &deadline);
        if (selector == 8 && pb.result == 0)
            channel = pb.channel;
        return int16_t(pb.result);
    }
    std::string Echo(const std::string &s)
    {
        if (Run(11, s.data(), s.size()) != 0)
            return "send failed";
        std::string got(s.size(), 0);
        int16_t r = Run(10, got.data(), got.size());
        return r == 0 ? got : "receive " + std::to_string(r);
    }
    TestComponent side;
    QXLocationRecord location;
    LinkChannel *channel = nullptr;
};

TEST(ServerMerge, AReestablishedLinkGoesOnAsTheBrokenOne)
{
    EchoServer server("Echo");
    ASSERT_NE(server.Port(), 0);
    // Two clients from the same address: `steady` keeps its link; `broken`
    // loses its connection and re-establishes it.
    EchoClient steady, broken;
    steady.location = broken.location = Loopback(server.Port());
    ASSERT_EQ(broken.side.SetOption("reco", 1), 0);
    ASSERT_EQ(steady.Run(8), 0);
    ASSERT_EQ(broken.Run(8), 0);
    EXPECT_EQ(steady.Echo("alpha"), "alpha");
    EXPECT_EQ(broken.Echo("one"), "one");
    ASSERT_TRUE(PollUntil([&] { return server.Channels() == 2; }, [] {}));

    ASSERT_EQ(broken.side.comp->links.size(), 1u);
    ::shutdown(broken.side.comp->links[0]->sock.Fd(), SHUT_RDWR);
    char c[3];
    EXPECT_EQ(broken.Run(10, c, 3), QX_ERR_LINK_REESTABLISHED);
    ASSERT_TRUE(PollUntil([&] { return server.Merges() == 1; }, [] {}));
    EXPECT_EQ(broken.Echo("two"), "two") << "served by the server's old channel";
    EXPECT_EQ(steady.Echo("beta"), "beta") << "the other client's link is untouched";
    EXPECT_EQ(server.Channels(), 2) << "the re-established link brought no new channel";
    EXPECT_EQ(server.Links(), 2u);
}

TEST(ServerMerge, WithoutReestablishmentNothingMerges)
{
    TestComponent server, client;
    uint16_t port = StartServer(server, "Echo");
    ASSERT_NE(port, 0);
    QXLocationRecord loc = Loopback(port);
    ComponentParamBlock &open =
        client.Call(8, [&](ComponentParamBlock &pb) { pb.location = &loc; });
    LinkChannel *sch = nullptr;
    ServerLink *slink = nullptr;
    ASSERT_TRUE(PollUntil([&] { return open.result != 1 && sch; },
                          [&] {
                              client.Poll(1);
                              ComponentParamBlock &pb = server.Poll(5);
                              if (pb.result == 0 && pb.channel)
                                  sch = pb.channel, slink = pb.link;
                          }));
    EXPECT_FALSE(slink->reestablished);
    ComponentParamBlock &merge = server.Call(5, [&](ComponentParamBlock &pb) {
        pb.length = 667;
        pb.link = slink;
    });
    EXPECT_EQ(merge.result, 0);
    ComponentParamBlock &stale = server.Call(5, [&](ComponentParamBlock &pb) {
        pb.length = 667;
        pb.link = reinterpret_cast<ServerLink *>(&merge); // not a link of the component
    });
    EXPECT_EQ(stale.result, 0);
    EXPECT_EQ(server.comp->links.size(), 1u);
}

TEST(ServerDiscovery, FindAndProgramDiscoveryReachTheServer)
{
    EchoServer server("Ledger");
    ASSERT_NE(server.Port(), 0);
    TestComponent client;
    ASSERT_EQ(client.SetOption("badr", int32_t(0x7F000001)), 0); // directed, not broadcast
    ASSERT_EQ(client.SetOption("port", server.Port()), 0);

    // The exact computer name ends the find's wait at its answer.
    auto name = PStr("Ledger\t" + nc::GetLocalComputerName());
    QXNetworkLocation loc = nullptr;
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(_QX_FindQXServer(name.data(), &loc, 0, client.comp), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_EQ(loc->address, 0x7F000001u);
    EXPECT_EQ(loc->port, server.Port());
    EchoClient echo;
    echo.location = *loc;
    _QX_FreeNetworkLocation(loc, 0, client.comp);
    ASSERT_EQ(echo.Run(8), 0) << "the location found opens a channel";
    EXPECT_EQ(echo.Echo("found"), "found");

    ComponentParamBlock &open = client.Call(27);
    ASSERT_EQ(open.result, 0);
    void *record = open.data;
    ASSERT_EQ(client.Call(29, [&](ComponentParamBlock &pb) { pb.data = record; }).result, 0);
    ComponentParamBlock *read = nullptr;
    ASSERT_TRUE(PollUntil(
        [&] { return read && read->length > 0; },
        [&] { read = &client.Call(30, [&](ComponentParamBlock &pb) { pb.data = record; }); }));
    ASSERT_EQ(read->length, 1);
    const unsigned char *t = read->text;
    std::vector<std::string> fields;
    for (int i = 0; i < 3; ++i) {
        fields.emplace_back(reinterpret_cast<const char *>(t + 1), t[0]);
        t += 1 + t[0];
    }
    EXPECT_EQ(fields[0], "Ledger");
    EXPECT_EQ(fields[2], "127.0.0.1");
    client.Call(28, [&](ComponentParamBlock &pb) { pb.data = record; });
}

} // namespace
