// Plain-stream connections of the component over loopback: one node
// accepted on the alternate listener, one connected to it; lines, exact and
// available reads, busy nodes, a peer that goes away, the node time-out and
// a failed connect.
#include "netclient/nc_component.h"
#include "netclient/tests/component_kit.h"
#include "platform/clock.h"

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <gtest/gtest.h>

namespace {

std::atomic<uint32_t> gFakeMs{5000};
uint32_t FakeTicks() { return gFakeMs.load(); }

struct FakeClock {
    FakeClock() { PlatSetClock(&clock); }
    ~FakeClock() { PlatSetClock(nullptr); }
    static inline const PlatClock clock{FakeTicks, nullptr, nullptr};
};

class PlainStreams : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(server_.SetOption("altp", 0), 0);
        ASSERT_EQ(server_.SetOption("alta", int32_t(0x7F000001)), 0);
        ASSERT_EQ(server_.Call(21).result, 0);
        uint16_t port = uint16_t(server_.Option("altp"));
        ASSERT_NE(port, 0);
        loc_ = Loopback(port);
        ComponentParamBlock &connect =
            client_.Call(33, [&](ComponentParamBlock &pb) { pb.location = &loc_; });
        ASSERT_NE(connect.node, nullptr);
        client_node_ = connect.node;
        ComponentParamBlock *accept = nullptr;
        ASSERT_TRUE(PollUntil([&] { return connect.result != 1 && server_node_; },
                              [&] {
                                  client_.Call(15);
                                  accept = &server_.Call(14);
                                  if (accept->node) {
                                      server_node_ = accept->node;
                                      peer_ = *accept->location;
                                      local_ = uint32_t(accept->value);
                                  }
                              }));
        ASSERT_EQ(connect.result, 0);
    }
    ComponentParamBlock &Op(TestComponent &side, int32_t selector, RawStreamNode *node,
                            const void *data = nullptr, int32_t length = 0)
    {
        return side.Call(selector, [&](ComponentParamBlock &pb) {
            pb.node = node;
            pb.data = const_cast<void *>(data);
            pb.length = length;
        });
    }
    void Both()
    {
        client_.Call(15);
        server_.Call(15);
    }
    bool Until(ComponentParamBlock &pb)
    {
        return PollUntil([&] { return pb.result != 1; }, [this] { Both(); });
    }
    // Sends from the client and waits until it is out.
    void ClientSends(const std::string &s)
    {
        ComponentParamBlock &send = Op(client_, 18, client_node_, s.data(), int32_t(s.size()));
        ASSERT_TRUE(Until(send));
        ASSERT_EQ(send.result, 0);
    }
    std::string Received(ComponentParamBlock &pb, const std::vector<uint8_t> &buf)
    {
        return std::string(reinterpret_cast<const char *>(buf.data()), size_t(pb.length));
    }

    TestComponent server_, client_;
    QXLocationRecord loc_, peer_;
    uint32_t local_ = 0;
    RawStreamNode *client_node_ = nullptr, *server_node_ = nullptr;
};

TEST_F(PlainStreams, LinesExactAndAvailableReads)
{
    EXPECT_EQ(peer_.address, 0x7F000001u);
    EXPECT_EQ(local_, 0x7F000001u) << "the local address of the accepted connection";
    ComponentParamBlock &state = Op(server_, 24, server_node_);
    EXPECT_EQ(state.result, 0);
    EXPECT_EQ(state.value, 0) << "not a secure node";

    ClientSends("HELLO there\r\nrest!");
    std::vector<uint8_t> buf(nc::kLineMax);
    ComponentParamBlock &line = Op(server_, 17, server_node_, buf.data(), 0);
    ASSERT_TRUE(Until(line));
    ASSERT_EQ(line.result, 0);
    EXPECT_EQ(Received(line, buf), "HELLO there\r\n");
    ComponentParamBlock &exact = Op(server_, 17, server_node_, buf.data(), 5);
    ASSERT_TRUE(Until(exact));
    EXPECT_EQ(Received(exact, buf), "rest!");

    // What is available, once there is something.
    ComponentParamBlock &some = Op(server_, 17, server_node_, buf.data(), -100);
    for (int i = 0; i < 5; ++i)
        Both();
    EXPECT_EQ(some.result, 1) << "nothing there yet";
    EXPECT_EQ(Op(server_, 17, server_node_, buf.data(), 4).result, QX_ERR_RECEIVE_BUSY);
    EXPECT_EQ(Op(server_, 18, server_node_, "x", 1).result, QX_ERR_SEND_BUSY);
    ClientSends("xyz");
    ASSERT_TRUE(Until(some));
    ASSERT_EQ(some.result, 0);
    EXPECT_EQ(Received(some, buf), "xyz");

    // A line whose CR and LF arrive apart.
    ComponentParamBlock &split = Op(server_, 17, server_node_, buf.data(), 0);
    ClientSends("ab\r");
    for (int i = 0; i < 5; ++i)
        Both();
    EXPECT_EQ(split.result, 1);
    ClientSends("\nZ");
    ASSERT_TRUE(Until(split));
    EXPECT_EQ(Received(split, buf), "ab\r\n");

    // The other way, more than any buffer holds at once.
    std::string big(70000, 0);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = char(i % 251);
    ComponentParamBlock &send = Op(server_, 18, server_node_, big.data(), int32_t(big.size()));
    std::vector<uint8_t> in(big.size() + 1);
    ComponentParamBlock &first = Op(client_, 17, client_node_, in.data(), 1);
    ASSERT_TRUE(Until(first));
    EXPECT_EQ(in[0], uint8_t(big[0]));
    ComponentParamBlock &rest =
        Op(client_, 17, client_node_, in.data() + 1, int32_t(big.size() - 1));
    ASSERT_TRUE(Until(rest));
    ASSERT_TRUE(Until(send));
    EXPECT_EQ(send.result, 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(in.data()), big.size()), big);
}

TEST_F(PlainStreams, APeerThatGoesAwayEndsTheNode)
{
    std::vector<uint8_t> buf(16);
    ComponentParamBlock &recv = Op(server_, 17, server_node_, buf.data(), 10);
    ClientSends("four"); // part of what is asked for
    EXPECT_EQ(Op(client_, 16, client_node_).result, 0);
    EXPECT_EQ(Op(client_, 24, client_node_).result, 1) << "finished: no longer known";
    ASSERT_TRUE(Until(recv));
    EXPECT_EQ(recv.result, QX_ERR_LINK);
    // The server's node is gone: every selector says so and touches nothing.
    EXPECT_EQ(Op(server_, 24, server_node_).result, 1);
    EXPECT_EQ(Op(server_, 17, server_node_, buf.data(), 1).result, QX_ERR_LINK);
    EXPECT_EQ(Op(server_, 18, server_node_, "x", 1).result, QX_ERR_LINK);
    EXPECT_EQ(Op(server_, 16, server_node_).result, QX_ERR_LINK);
    EXPECT_TRUE(server_.comp->nodes.empty());
}

TEST_F(PlainStreams, TimeOutCountsFromTheLastProgress)
{
    FakeClock clock;
    ComponentParamBlock &option = server_.Call(12, [&](ComponentParamBlock &pb) {
        pb.code = FourCC("altT");
        pb.node = server_node_;
        pb.value = 2;
    });
    ASSERT_EQ(option.result, 0);
    std::vector<uint8_t> buf(16);
    ComponentParamBlock &recv = Op(server_, 17, server_node_, buf.data(), 4);
    gFakeMs += 1500;
    Both();
    ClientSends("ab"); // progress: the two seconds start again
    for (int i = 0; i < 5; ++i)
        Both();
    gFakeMs += 1500;
    Both();
    EXPECT_EQ(recv.result, 1) << "3 s after the start, 1.5 s after the progress";
    gFakeMs += 600;
    Both();
    EXPECT_EQ(recv.result, QX_ERR_LINK);
    EXPECT_EQ(Op(server_, 24, server_node_).result, 1) << "the node is deleted";
    EXPECT_EQ(Op(client_, 24, client_node_).result, 0) << "an idle node never times out";
}

TEST(PlainStreamConnect, AFailedConnectLeavesTheNodeIdleWithAnError)
{
    // A loopback port that nothing listens on.
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
    socklen_t len = sizeof sa;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &len);
    ::close(fd);
    QXLocationRecord loc = Loopback(ntohs(sa.sin_port));

    TestComponent client;
    ComponentParamBlock &connect =
        client.Call(33, [&](ComponentParamBlock &pb) { pb.location = &loc; });
    ASSERT_TRUE(PollUntil([&] { return connect.result != 1; }, [&] { client.Call(15); }));
    EXPECT_EQ(connect.result, QX_ERR_LINK);
    ComponentParamBlock &state =
        client.Call(24, [&](ComponentParamBlock &pb) { pb.node = connect.node; });
    EXPECT_EQ(state.result, 0) << "still known";
    EXPECT_EQ(client.Call(16, [&](ComponentParamBlock &pb) { pb.node = connect.node; }).result, 0);
    EXPECT_TRUE(client.comp->nodes.empty());
}

} // namespace
