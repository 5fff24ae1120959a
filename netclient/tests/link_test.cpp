// Byte-level behaviour of the client against a scripted peer: the exact
// frames, headers and XOR of an open, a request and a close in both byte
// orders; peers that break the link layer's rules; the keep-alive.
#include "netclient/nc_component.h"
#include "netclient/qxnetclient.h"
#include "netclient/tests/fake_peer.h"
#include "tests/support/qxserver_process.h"
#include "platform/clock.h"

#include <atomic>
#include <mutex>
#include <chrono>
#include <cstring>
#include <gtest/gtest.h>

namespace {

Bytes PStr(const std::string &s)
{
    Bytes p{uint8_t(s.size())};
    p.insert(p.end(), s.begin(), s.end());
    return p;
}

QXLoginRecord Record()
{
    QXLoginRecord r{};
    r.applicationName[0] = 3, std::memcpy(r.applicationName + 1, "app", 3);
    r.userName[0] = 4, std::memcpy(r.userName + 1, "demo", 4);
    r.password[0] = 6, std::memcpy(r.password + 1, "secret", 6);
    r.secondName[0] = 1, r.secondName[1] = 'x';
    r.callerByte = 0x5C;
    return r;
}

Bytes RecordBytes(const QXLoginRecord &r)
{
    const auto *p = reinterpret_cast<const uint8_t *>(&r);
    return Bytes(p, p + sizeof r);
}

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        comp_ = _QX_InitNetworkComponent(0);
        ASSERT_NE(comp_, nullptr);
    }
    void TearDown() override
    {
        if (loc_)
            _QX_FreeNetworkLocation(loc_, 0, comp_);
        _QX_DeInitNetworkComponent(0, comp_);
    }
    int16_t Open(const std::string &address, QXHandle *conn, QXLoginRecord *record = nullptr)
    {
        Bytes text = PStr(address);
        if (loc_)
            _QX_FreeNetworkLocation(loc_, 0, comp_);
        loc_ = nullptr;
        EXPECT_EQ(_QX_FindQXServer(text.data(), &loc_, 0, comp_), 0);
        QXLoginRecord r = Record();
        return _QX_OpenQXConnection(record ? record : &r, loc_, conn, 0, comp_);
    }
    QXComponent comp_ = nullptr;
    QXNetworkLocation loc_ = nullptr;
};

TEST_F(LinkTest, GoldenBytesOfOpenRequestAndClose)
{
    const uint8_t key[4] = {0x00, 0xA5, 0x00, 0x5A};
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "big-endian server" : "little-endian server");
        auto n16 = [big](uint16_t v) { return WireNumber16(big, v); };
        auto n32 = [big](uint32_t v) { return WireNumber32(big, v); };
        QXLoginRecord sent = Record();
        sent.loginFlag = 1;
        Bytes probe = RecordBytes(sent);
        std::fill(probe.begin() + 32, probe.begin() + 96, 0);
        probe[32] = 3, probe[33] = 0x7F, probe[34] = 'Q', probe[35] = 'X';
        Bytes keyed = RecordBytes(sent);
        for (size_t j = 0; j < 128; ++j) // 130 bytes: the last two travel as they are
            keyed[j] ^= key[j % 4];

        FakePeer peer([&](FakePeer &p) {
            p.Write(FakePeer::Handshake("Test"));
            EXPECT_EQ(p.Read(12), (Bytes{1, 0, 0, 1, 0, 0, 0, 0, 1, 2, 3, 4})) << "open channel 1";
            p.Write(LinkFrame(3, 1, 2, big ? Bytes{0, 0} : Bytes{0xFF, 0xFF}));
            // Probe: header frame and body frame, no XOR yet.
            EXPECT_EQ(p.Read(18), LinkFrame(3, 1, 6, Cat({n16(44), n32(130)})));
            EXPECT_EQ(p.Read(12 + 130), LinkFrame(3, 1, 130, probe));
            Bytes answer =
                Cat({Bytes{0, uint8_t(big ? 0 : 1)}, n32(0x650), n32(7), Bytes(key, key + 4)});
            p.Write(LinkFrame(3, 1, 6, Cat({n16(0), n32(14)})));
            p.Write(LinkFrame(3, 1, 14, answer));
            // The real login, XORed with the key.
            EXPECT_EQ(p.Read(18), LinkFrame(3, 1, 6, Cat({n16(44), n32(130)})));
            EXPECT_EQ(p.Read(12 + 130), LinkFrame(3, 1, 130, keyed));
            p.Write(LinkFrame(3, 1, 6, Cat({n16(0), n32(0)})));
            // A request without a body; the reply's status with a short body.
            EXPECT_EQ(p.Read(18), LinkFrame(3, 1, 6, Cat({n16(38), n32(0)})));
            p.Write(LinkFrame(3, 1, 6, Cat({n16(uint16_t(-5)), n32(3)})));
            p.Write(LinkFrame(3, 1, 3, {9, 9, 9}));
            EXPECT_EQ(p.Read(12), (Bytes{2, 0, 0, 1, 0, 0, 0, 0, 1, 2, 3, 4})) << "close channel 1";
        });
        QXHandle conn = nullptr;
        QXLoginRecord record = Record();
        ASSERT_EQ(Open(peer.Address(), &conn, &record), 0);
        EXPECT_EQ(RecordBytes(record), RecordBytes(sent)) << "only the login flag changed";
        QXServerInfo info{};
        _QX_GetServerInfo(conn, &info);
        EXPECT_EQ(info.bigEndian, big ? 1 : 0);
        EXPECT_EQ(info.version, 0x650);
        EXPECT_EQ(_QX_FlushServer(conn), -5);
        EXPECT_EQ(_QX_CloseQXConnection(conn), 0);
    }
}

TEST_F(LinkTest, PeersBreakingTheRulesFailTheOpen)
{
    struct Case {
        const char *name;
        std::function<void(FakePeer &)> after; // runs after the handshake and the open frame
        int16_t status;
        bool handshake = true;
    } cases[] = {
        {"handshake length 73", [](FakePeer &) {}, QX_ERR_LINK, false},
        {"word frame with a bad marker",
         [](FakePeer &p) {
             Bytes f = LinkFrame(3, 1, 2, {0xFF, 0xFF});
             f[9] = 9;
             p.Write(f);
         },
         QX_ERR_LINK},
        {"frame far too large", [](FakePeer &p) { p.Write(LinkFrame(3, 1, 0x7FFFFFF0u)); },
         QX_ERR_LINK},
        {"unknown frame kind", [](FakePeer &p) { p.Write(LinkFrame(77, 1, 0)); }, QX_ERR_LINK},
        {"word of three bytes",
         [](FakePeer &p) {
             p.Write(LinkFrame(3, 1, 3, {0xFF, 0xFF, 0}));
         },
         QX_ERR_LENGTH_MISMATCH},
        {"channel closed by the peer", [](FakePeer &p) { p.Write(LinkFrame(2, 1, 0)); },
         QX_ERR_CHANNEL},
        {"connection dropped", [](FakePeer &p) { p.Close(); }, QX_ERR_LINK},
        {"bad byte-order word",
         [](FakePeer &p) {
             p.Write(LinkFrame(3, 1, 2, {0x12, 0x34}));
         },
         QX_ERR_BAD_HANDSHAKE},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto start = std::chrono::steady_clock::now();
        FakePeer peer([&](FakePeer &p) {
            if (!c.handshake) {
                p.Write(FakePeer::Handshake("Test", 73));
                return;
            }
            p.Write(FakePeer::Handshake("Test"));
            p.Read(12);
            c.after(p);
            p.Read(12); // the client's close frame, or its end
        });
        QXHandle conn = reinterpret_cast<QXHandle>(1);
        EXPECT_EQ(Open(peer.Address(), &conn), c.status);
        EXPECT_EQ(conn, nullptr);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2))
            << "no waiting out";
        EXPECT_TRUE(comp_->links.empty()) << "the failed link is gone";
    }
}

// Logs in as a little-endian server with no key, then hands each request
// (code and body) to `serve`, which answers with a status and body.
void LoggedInPeer(FakePeer &p,
                  const std::function<std::pair<int16_t, Bytes>(int16_t, const Bytes &)> &serve)
{
    auto le32 = [](uint32_t v) {
        return Bytes{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    };
    p.Write(FakePeer::Handshake("Test"));
    p.Read(12);
    p.Write(LinkFrame(3, 1, 2, {0xFF, 0xFF}));
    for (int login = 0;; ++login) {
        Bytes head = p.Read(18);
        if (head.size() < 18 || head[0] != 3)
            return;
        int16_t code = int16_t(head[12] | (head[13] << 8));
        uint32_t length =
            head[14] | (head[15] << 8) | (head[16] << 16) | (uint32_t(head[17]) << 24);
        Bytes body;
        if (length) {
            Bytes frame = p.Read(12 + length);
            if (frame.size() < 12 + length)
                return;
            body.assign(frame.begin() + 12, frame.end());
        }
        std::pair<int16_t, Bytes> answer{0, {}};
        if (login == 0)
            answer.second = {0, 1, 0x50, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        else if (login > 1)
            answer = serve(code, body);
        Bytes reply{uint8_t(answer.first), uint8_t(uint16_t(answer.first) >> 8)};
        Bytes len = le32(uint32_t(answer.second.size()));
        reply.insert(reply.end(), len.begin(), len.end());
        p.Write(LinkFrame(3, 1, 6, reply));
        if (!answer.second.empty())
            p.Write(LinkFrame(3, 1, uint32_t(answer.second.size()), answer.second));
    }
}

TEST_F(LinkTest, RequestBodiesOnTheWire)
{
    std::vector<std::pair<int16_t, Bytes>> seen;
    std::mutex mutex;
    {
        FakePeer peer([&](FakePeer &p) {
            LoggedInPeer(p, [&](int16_t code, const Bytes &body) {
                std::lock_guard lock(mutex);
                seen.emplace_back(code, body);
                if (code == 35)
                    return std::pair<int16_t, Bytes>{0, {7, 0, 0, 0}};
                if (code == 103)
                    return std::pair<int16_t, Bytes>{0, {0x40, 0x00, 0xC0, 0, 0, 0, 0, 0, 0, 0}};
                return std::pair<int16_t, Bytes>{0, {}};
            });
        });
        QXHandle conn = nullptr;
        ASSERT_EQ(Open(peer.Address(), &conn), 0);

        QXSearchLine line{};
        line.field = 4;
        line.op = 1;
        line.callerByte = 0xAB;
        line.value.type = QX_TYPE_ALPHA;
        line.value.alpha[0] = 5;
        std::memcpy(line.value.alpha + 1, "Italy", 5);
        line.conjunction = 2;
        line.callerBytes[0] = 0xCD;
        QXSearchArray search{1, 3, &line};
        int32_t found = 0;
        ASSERT_EQ(_QX_Search(conn, &search, &found), 0);
        EXPECT_EQ(found, 7);

        std::vector<QXSortKey> keys(107, QXSortKey{2, 3, 1, 0});
        keys[106].ascending = 0;
        QXSortSpec sort{107, 3, keys.data()};
        ASSERT_EQ(_QX_Sort(conn, &sort), 0);
        sort.count = 106;
        ASSERT_EQ(_QX_Sort(conn, &sort), 0);

        uint8_t sum[10];
        ASSERT_EQ(_QX_SumField(conn, 3, 6, sum), 0);
        double d;
        std::memcpy(&d, sum, 8);
        EXPECT_EQ(d, 3.0);
        ASSERT_EQ(_QX_CloseQXConnection(conn), 0);
    } // the peer has seen everything once it is gone

    ASSERT_EQ(seen.size(), 4u);
    Bytes line0{4, 0, 3, 0, 1, 0xAB, 0, 0, 5, 'I', 't', 'a', 'l', 'y'};
    line0.resize(92, 0);
    line0.insert(line0.end(), {2, 0xCD, 0, 0});
    Bytes want{1, 0, 3, 0};
    want.insert(want.end(), line0.begin(), line0.end());
    EXPECT_EQ(seen[0].first, 35);
    EXPECT_EQ(seen[0].second, want) << "table 0 filled in with the default table";

    EXPECT_EQ(seen[1].first, 36);
    ASSERT_EQ(seen[1].second.size(), 4u + 107 * 96) << "beyond the send buffer";
    EXPECT_EQ(Bytes(seen[1].second.begin(), seen[1].second.begin() + 9),
              (Bytes{107, 0, 3, 0, 2, 0, 3, 0, 3}));
    EXPECT_EQ(seen[1].second[4 + 106 * 96 + 4], 5) << "descending";
    EXPECT_EQ(seen[2].second.size(), 4u + 106 * 96) << "10180 bytes, inside the send buffer";

    EXPECT_EQ(seen[3].first, 103);
    EXPECT_EQ(seen[3].second,
              (Bytes{6, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
}

// A connection closed while a stray data frame for its channel is only
// partly received: the rest of that frame is skipped, nothing of the dropped
// block is touched again.
TEST_F(LinkTest, CloseWhileAStrayFrameIsPartlyReceived)
{
    auto n16 = [](uint16_t v) { return WireNumber16(false, v); };
    auto n32 = [](uint32_t v) { return WireNumber32(false, v); };
    FakePeer peer([&](FakePeer &p) {
        p.Write(FakePeer::Handshake("Test"));
        p.Read(12);
        p.Write(LinkFrame(3, 1, 2, Bytes{0xFF, 0xFF}));
        p.Read(18 + 12 + 130);
        p.Write(LinkFrame(3, 1, 6, Cat({n16(0), n32(14)})));
        p.Write(LinkFrame(3, 1, 14, Cat({Bytes{0, 1}, n32(0x650), n32(7), Bytes(4, 0)})));
        p.Read(18 + 12 + 130);
        p.Write(LinkFrame(3, 1, 6, Cat({n16(0), n32(0)})));
        Bytes stray;
        for (int i = 0; i < 40; ++i) // complete strays queue up on the channel
            stray = Cat({stray, LinkFrame(3, 1, 1, Bytes{uint8_t(i)})});
        Bytes partial = LinkFrame(3, 1, 100, Bytes(100, 7));
        partial.resize(12 + 10);
        p.Write(Cat({stray, partial}));
        EXPECT_EQ(p.Read(12), (Bytes{2, 0, 0, 1, 0, 0, 0, 0, 1, 2, 3, 4})) << "close channel 1";
    });
    QXHandle conn = nullptr;
    ASSERT_EQ(Open(peer.Address(), &conn), 0);
    for (int i = 0; i < 10; ++i) { // the link reads what arrives
        ComponentParamBlock pb;
        pb.selector = 1;
        pb.component = comp_;
        NetworkComponentEntry(&pb);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(_QX_CloseQXConnection(conn), 0);
}

std::atomic<uint32_t> gFakeMs{1000};
uint32_t FakeTicks() { return gFakeMs.load(); }

TEST_F(LinkTest, KeepAlivePingsThenGivesUp)
{
    QxServerProcess server;
    std::string log = server.LogPath();
    ASSERT_TRUE(
        server.Start({"--fixture", server.FixtureWithUsers({{"demo", "secret"}}), "--log", log}));
    ASSERT_EQ(_QX_SetComponentOption(comp_, 0x74696D65 /* time */, 30, nullptr), 0); // 10 s
    static const PlatClock fake{FakeTicks, nullptr, nullptr};
    PlatSetClock(&fake);
    QXHandle conn = nullptr;
    ASSERT_EQ(Open("127.0.0.1:" + std::to_string(server.Port()), &conn), 0);
    auto pump = [&] {
        for (int i = 0; i < 5; ++i) {
            ComponentParamBlock pb;
            pb.selector = 1;
            pb.component = comp_;
            NetworkComponentEntry(&pb);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    };
    auto waitForLog = [&](const std::string &text) {
        for (int i = 0; i < 100; ++i) {
            if (QxServerProcess::ReadFile(log).find(text) != std::string::npos)
                return true;
            pump();
        }
        return false;
    };
    pump();
    gFakeMs += 9900; // inside the period: nothing
    pump();
    EXPECT_EQ(QxServerProcess::ReadFile(log).find("ping"), std::string::npos);
    gFakeMs += 200;
    pump();
    EXPECT_TRUE(waitForLog("link 1 ping 600")) << QxServerProcess::ReadFile(log);
    gFakeMs += 10100; // second period without traffic: still open
    pump();
    EXPECT_EQ(QxServerProcess::ReadFile(log).find("closed by the client"), std::string::npos);
    gFakeMs += 10100; // third: the link gives up
    pump();
    EXPECT_TRUE(waitForLog("link 1 closed by the client")) << QxServerProcess::ReadFile(log);
    PlatSetClock(nullptr);
    EXPECT_EQ(_QX_FlushServer(conn), QX_ERR_LINK);
    EXPECT_EQ(_QX_CloseQXConnection(conn), 0);
}

} // namespace
