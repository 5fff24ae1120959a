// The component's server side over loopback, against the component's own
// client side: the link handshake and frames both ways, several channels on
// one link, access patterns and pausing.
#include "netclient/nc_component.h"
#include "netclient/qxnetclient.h"
#include "netclient/tests/component_kit.h"

#include <algorithm>
#include <map>
#include <gtest/gtest.h>

namespace {

std::string Text(const void *p, size_t n) { return std::string(static_cast<const char *>(p), n); }

class ServerSide : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(server_.comp, nullptr);
        ASSERT_NE(client_.comp, nullptr);
        port_ = StartServer(server_, "Orders");
        ASSERT_NE(port_, 0);
        loc_ = Loopback(port_);
    }
    // One poll of each side; channels the server hands over are collected.
    void Both()
    {
        client_.Poll(1);
        ComponentParamBlock &pb = server_.Poll(5);
        if (pb.location) { // a connection was accepted in this poll
            peer_ = *pb.location;
            peerPort_ = pb.value;
        }
        if (pb.result == 0 && pb.channel)
            accepted_.push_back(pb.channel);
    }
    bool Until(const std::function<bool()> &done)
    {
        return PollUntil(done, [this] { Both(); });
    }
    ComponentParamBlock &Open()
    {
        return client_.Call(8, [&](ComponentParamBlock &pb) { pb.location = &loc_; });
    }
    static void Put(TestComponent &side, LinkChannel *ch, int32_t selector, const void *data,
                    size_t n, ComponentParamBlock **out = nullptr)
    {
        ComponentParamBlock &pb = side.Call(selector, [&](ComponentParamBlock &b) {
            b.channel = ch;
            b.data = const_cast<void *>(data);
            b.length = int32_t(n);
        });
        if (out)
            *out = &pb;
    }
    // Sends from one side, receives the same bytes on the other.
    std::string Exchange(TestComponent &from, LinkChannel *fromCh, TestComponent &to,
                         LinkChannel *toCh, const std::string &data)
    {
        ComponentParamBlock *send = nullptr, *recv = nullptr;
        Put(from, fromCh, 11, data.data(), data.size(), &send);
        std::string got(data.size(), '?');
        Put(to, toCh, 10, got.data(), got.size(), &recv);
        EXPECT_TRUE(Until([&] { return send->result != 1 && recv->result != 1; }));
        EXPECT_EQ(send->result, 0);
        EXPECT_EQ(recv->result, 0);
        return got;
    }
    int32_t Status(TestComponent &side, LinkChannel *ch)
    {
        return side.Call(19, [&](ComponentParamBlock &pb) { pb.channel = ch; }).value;
    }
    bool NoLinks() { return server_.comp->links.empty() && client_.comp->links.empty(); }

    TestComponent server_, client_;
    uint16_t port_ = 0;
    QXLocationRecord loc_;
    QXLocationRecord peer_;
    int32_t peerPort_ = 0;
    std::vector<LinkChannel *> accepted_;
};

TEST_F(ServerSide, HandshakeFramesBothWaysAndClose)
{
    ComponentParamBlock &open = Open();
    ASSERT_EQ(open.result, 1);
    ASSERT_TRUE(Until([&] { return open.result != 1 && accepted_.size() == 1; }));
    ASSERT_EQ(open.result, 0);
    LinkChannel *cch = open.channel, *sch = accepted_[0];
    EXPECT_EQ(Text(open.link->handshake + 9, open.link->handshake[8]), "Orders")
        << "the server's service name in its handshake";
    EXPECT_EQ(sch->number, 1);
    EXPECT_EQ(peer_.address, 0x7F000001u);
    EXPECT_EQ(peerPort_, open.link->sock.LocalPort()) << "the peer's port in the block's value";
    EXPECT_FALSE(sch->link->openedHere);

    // Beyond the 3000-byte channel buffer, then a reply made of a small
    // frame and a data frame that go out together.
    std::string big(5000, 0);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = char(i * 7);
    ComponentParamBlock *send = nullptr;
    Put(client_, cch, 11, big.data(), big.size(), &send);
    ASSERT_TRUE(Until([&] { return send->result != 1 && Status(server_, sch) == 5000; }));
    std::string got(5000, 0);
    ComponentParamBlock *recv = nullptr;
    Put(server_, sch, 10, got.data(), got.size(), &recv);
    EXPECT_EQ(recv->result, 0) << "a queued block is handed over at once";
    EXPECT_EQ(got, big);

    ComponentParamBlock *small = nullptr, *body = nullptr;
    Put(server_, sch, 23, "head", 4, &small);
    EXPECT_EQ(small->result, 0);
    Put(server_, sch, 11, "body12", 6, &body);
    char head[4], rest[6];
    ComponentParamBlock *r1 = nullptr, *r2 = nullptr;
    Put(client_, cch, 10, head, 4, &r1);
    ASSERT_TRUE(Until([&] { return body->result != 1 && r1->result != 1; }));
    EXPECT_EQ(r1->result, 0);
    Put(client_, cch, 10, rest, 6, &r2);
    ASSERT_TRUE(Until([&] { return r2->result != 1; }));
    EXPECT_EQ(Text(head, 4) + Text(rest, 6), "headbody12");

    // The client closes its last channel, and with it the connection: the
    // server's channel reports the end; once the server closes it too, both
    // links are gone.
    ComponentParamBlock *close = nullptr;
    Put(client_, cch, 9, nullptr, 0, &close);
    ASSERT_TRUE(Until([&] { return close->result != 1 && Status(server_, sch) == -1; }));
    EXPECT_EQ(close->result, 0);
    Put(server_, sch, 9, nullptr, 0, &close);
    EXPECT_EQ(close->result, 0);
    EXPECT_TRUE(Until([&] { return NoLinks(); }));
}

TEST_F(ServerSide, SeveralChannelsShareOneLink)
{
    std::vector<ComponentParamBlock *> opens;
    for (int i = 0; i < 3; ++i)
        opens.push_back(&Open());
    ASSERT_TRUE(Until([&] {
        return accepted_.size() == 3 &&
               std::all_of(opens.begin(), opens.end(), [](auto *o) { return o->result != 1; });
    }));
    EXPECT_EQ(client_.comp->links.size(), 1u);
    EXPECT_EQ(server_.comp->links.size(), 1u) << "one TCP connection carries them all";
    std::map<int, LinkChannel *> serverByNumber;
    for (LinkChannel *ch : accepted_)
        serverByNumber[ch->number] = ch;
    ASSERT_EQ(serverByNumber.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(opens[i]->result, 0);
        EXPECT_EQ(opens[i]->channel->number, i + 1);
        ASSERT_TRUE(serverByNumber.count(i + 1));
    }

    // Sent on all three before any is read: each arrives on its own channel.
    std::vector<std::string> sent{"first", "second!", "third.."};
    std::vector<ComponentParamBlock *> sends(3);
    for (int i = 0; i < 3; ++i)
        Put(client_, opens[i]->channel, 11, sent[i].data(), sent[i].size(), &sends[i]);
    for (int i = 2; i >= 0; --i) {
        LinkChannel *sch = serverByNumber[i + 1];
        ASSERT_TRUE(Until([&] { return Status(server_, sch) > 0; }));
        EXPECT_EQ(Status(server_, sch), int32_t(sent[i].size()));
        std::string got(sent[i].size(), 0);
        ComponentParamBlock *recv = nullptr;
        Put(server_, sch, 10, got.data(), got.size(), &recv);
        EXPECT_EQ(got, sent[i]) << "channel " << i + 1;
        EXPECT_EQ(Exchange(server_, sch, client_, opens[i]->channel, "back" + std::to_string(i)),
                  "back" + std::to_string(i));
    }

    // Channel 2 closes; the next open gets number 2 again, on the same link.
    ComponentParamBlock *close = nullptr;
    Put(client_, opens[1]->channel, 9, nullptr, 0, &close);
    LinkChannel *old2 = serverByNumber[2];
    ASSERT_TRUE(Until([&] { return close->result != 1 && Status(server_, old2) == -1; }));
    char one;
    ComponentParamBlock *recv = nullptr;
    Put(server_, old2, 10, &one, 1, &recv);
    EXPECT_EQ(recv->result, QX_ERR_CHANNEL) << "closed by the peer";
    Put(server_, old2, 9, nullptr, 0, &close);
    EXPECT_EQ(close->result, 0) << "no close frame for a channel the peer closed";
    accepted_.clear();
    ComponentParamBlock &again = Open();
    ASSERT_TRUE(Until([&] { return again.result != 1 && accepted_.size() == 1; }));
    EXPECT_EQ(again.channel->number, 2);
    EXPECT_EQ(accepted_[0]->number, 2);
    EXPECT_EQ(server_.comp->links.size(), 1u);
    EXPECT_EQ(Exchange(client_, again.channel, server_, accepted_[0], "reused"), "reused");
}

TEST(AddressPatterns, Matching)
{
    struct Case {
        const char *pattern, *text;
        bool match;
    } cases[] = {
        {"127.0.0.1", "127.0.0.1", true},
        {"127.0.0.?", "127.0.0.1", true},
        {"127.0.0.?", "127.0.0.10", false},
        {"127.*", "127.0.0.1", true},
        {"1*1", "127.0.0.1", true},
        {"*.0.*1", "127.0.0.1", true},
        {"127.0.0.1***", "127.0.0.1", true},
        {"*2", "127.0.0.1", false},
        {"", "127.0.0.1", false},
        {"*", "", true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(nc::MatchAddressPattern(c.pattern, c.text), c.match)
            << c.pattern << " against " << c.text;

    using P = std::vector<std::string>;
    EXPECT_TRUE(nc::AddressAllowed({}, 0x7F000001));
    EXPECT_TRUE(nc::AddressAllowed(P{"-10.*", "+127.*"}, 0x7F000001));
    EXPECT_FALSE(nc::AddressAllowed(P{"-127.0.*", "+127.*"}, 0x7F000001)) << "the first match";
    EXPECT_FALSE(nc::AddressAllowed(P{"+10.*"}, 0x7F000001)) << "no match refuses";
    EXPECT_FALSE(nc::AddressAllowed(P{"127.*"}, 0x7F000001)) << "neither + nor -";
}

TEST_F(ServerSide, AccessPatternsAndPauseRefuseConnections)
{
    struct Case {
        const char *name;
        std::vector<const char *> patterns;
        bool paused;
        bool allowed;
    } cases[] = {
        {"no patterns", {}, false, true},
        {"allowed by a pattern", {"-10.*", "+127.0.0.?"}, false, true},
        {"refused by a pattern", {"-127.*", "+*"}, false, false},
        {"matching no pattern", {"+192.168.*"}, false, false},
        {"paused server", {}, true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(server_
                      .Call(12,
                            [&](ComponentParamBlock &pb) {
                                pb.code = FourCC("IPTa");
                                pb.data = const_cast<const char **>(c.patterns.data());
                                pb.length = int32_t(c.patterns.size());
                            })
                      .result,
                  0);
        server_.Call(32, [&](ComponentParamBlock &pb) { pb.value = c.paused; });
        accepted_.clear();
        ComponentParamBlock &open = Open();
        ASSERT_TRUE(Until([&] { return open.result != 1; }));
        if (!c.allowed) {
            EXPECT_EQ(open.result, QX_ERR_LINK);
            ComponentParamBlock *close = nullptr;
            Put(client_, open.channel, 9, nullptr, 0, &close);
            EXPECT_EQ(close->result, 0);
            EXPECT_TRUE(Until([&] { return NoLinks(); }));
            EXPECT_TRUE(accepted_.empty());
            continue;
        }
        ASSERT_EQ(open.result, 0);
        ASSERT_TRUE(Until([&] { return accepted_.size() == 1; }));
        EXPECT_EQ(Exchange(client_, open.channel, server_, accepted_[0], "hi"), "hi");
        ComponentParamBlock *close = nullptr;
        Put(client_, open.channel, 9, nullptr, 0, &close);
        Put(server_, accepted_[0], 9, nullptr, 0, &close);
        ASSERT_TRUE(Until([&] { return NoLinks(); }));
    }
}

TEST(ServerSelectors, LocalAddressesStayInTheirArray)
{
    TestComponent comp;
    uint32_t addresses[4] = {0xAAAAAAAA, 0xAAAAAAAA, 0xAAAAAAAA, 0xAAAAAAAA};
    ComponentParamBlock &pb = comp.Call(25, [&](ComponentParamBlock &b) {
        b.data = addresses;
        b.length = 2;
    });
    EXPECT_EQ(pb.result, 0);
    EXPECT_GE(pb.marker, 0);
    EXPECT_LE(pb.marker, 2);
    for (int i = 0; i < pb.marker; ++i)
        EXPECT_NE(addresses[i], 0xAAAAAAAAu);
    EXPECT_EQ(addresses[2], 0xAAAAAAAAu);
    EXPECT_EQ(addresses[3], 0xAAAAAAAAu);
}

} // namespace
