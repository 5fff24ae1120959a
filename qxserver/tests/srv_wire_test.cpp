// The emulator's bytes on the wire, seen by a raw socket client: handshake,
// byte-order word, probe reply, keyed login and reply framing, in both orders.
#include "tests/support/qxserver_process.h"
#include "netclient/tests/wire_bytes.h"

#include <arpa/inet.h>
#include <cstring>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class RawClient {
public:
    explicit RawClient(uint16_t port)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sa.sin_port = htons(port);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0;
    }
    ~RawClient() { ::close(fd_); }
    bool Connected() const { return connected_; }
    void Write(const Bytes &b)
    {
        EXPECT_EQ(::send(fd_, b.data(), b.size(), MSG_NOSIGNAL), ssize_t(b.size()));
    }
    Bytes Read(size_t n) { return ReadSocket(fd_, n); }

private:
    int fd_ = -1;
    bool connected_ = false;
};

// A frame announcing the length of its data.
Bytes Frame(uint8_t kind, uint16_t channel, const Bytes &data)
{
    return LinkFrame(kind, channel, uint32_t(data.size()), data);
}

Bytes LoginBody(const std::string &user, const std::string &password)
{
    Bytes b(130, 0);
    b[32] = uint8_t(user.size());
    std::memcpy(b.data() + 33, user.data(), user.size());
    b[64] = uint8_t(password.size());
    std::memcpy(b.data() + 65, password.data(), password.size());
    b[128] = 1;
    return b;
}

TEST(ServerWire, HandshakeProbeAndKeyedLoginInBothOrders)
{
    const uint8_t key[4] = {0x00, 0x11, 0x00, 0x22};
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "big-endian" : "little-endian");
        auto n16 = [big](uint16_t v) { return WireNumber16(big, v); };
        auto n32 = [big](uint32_t v) { return WireNumber32(big, v); };
        QxServerProcess server;
        std::string fixture = server.TempFile(
            R"({"users":[{"name":"ann","password":"pw"}],"tables":[{"name":"T","fields":)"
            R"([{"name":"ID","type":"longint"}],"records":[{"ID":1},{"ID":2},{"ID":3}]}]})");
        std::vector<std::string> args{"--fixture", fixture,  "--key",     "00110022",
                                      "--version", "0x0600", "--service", "Svc"};
        if (big)
            args.push_back("--big-endian");
        ASSERT_TRUE(server.Start(args));
        RawClient c(server.Port());
        ASSERT_TRUE(c.Connected());
        Bytes hs = c.Read(72);
        ASSERT_EQ(hs.size(), 72u);
        EXPECT_EQ(Bytes(hs.begin(), hs.begin() + 12),
                  (Bytes{0, 0, 0, 72, 0, 0, 0, 2, 3, 'S', 'v', 'c'}));

        c.Write(Frame(1, 7, {}));
        EXPECT_EQ(c.Read(14), Frame(3, 7, big ? Bytes{0, 0} : Bytes{0xFF, 0xFF}))
            << "byte-order word";

        // Probe: marker user, no XOR either way.
        Bytes probe = LoginBody("", "");
        probe[32] = 3, probe[33] = 0x7F, probe[34] = 'Q', probe[35] = 'X';
        c.Write(Cat({Frame(3, 7, Cat({n16(44), n32(130)})), Frame(3, 7, probe)}));
        EXPECT_EQ(c.Read(18), Frame(3, 7, Cat({n16(0), n32(14)})));
        EXPECT_EQ(c.Read(26), Frame(3, 7,
                                    Cat({Bytes{0, uint8_t(big ? 0 : 1)}, n32(0x600), n32(0),
                                         Bytes(key, key + 4)})));

        // Keyed login with a wrong password, then the right one.
        for (const char *pw : {"xx", "pw"}) {
            Bytes body = LoginBody("ann", pw);
            for (size_t j = 0; j < 128; ++j)
                body[j] ^= key[j % 4];
            c.Write(Cat({Frame(3, 7, Cat({n16(44), n32(130)})), Frame(3, 7, body)}));
            int16_t status = std::strcmp(pw, "pw") == 0 ? 0 : -9978;
            EXPECT_EQ(c.Read(18), Frame(3, 7, Cat({n16(uint16_t(status)), n32(0)}))) << pw;
        }
        // A request the emulator does not know: its status, no body.
        c.Write(Frame(3, 7, Cat({n16(400), n32(0)})));
        EXPECT_EQ(c.Read(18), Frame(3, 7, Cat({n16(uint16_t(-9990)), n32(0)})));
        // A reply body is XORed with the key: record count of table 1 (code 18).
        c.Write(Cat({Frame(3, 7, Cat({n16(18), n32(2)})), Frame(3, 7, n16(1))}));
        EXPECT_EQ(c.Read(18), Frame(3, 7, Cat({n16(0), n32(4)})));
        Bytes count = n32(3);
        for (size_t j = 0; j < 4; ++j)
            count[j] ^= key[j];
        EXPECT_EQ(c.Read(16), Frame(3, 7, count));
        c.Write(Frame(2, 7, {}));
    }
}

TEST(ServerWire, BrokenFramesDropTheLink)
{
    QxServerProcess server;
    ASSERT_TRUE(server.Start({}));
    struct Case {
        const char *name;
        Bytes bytes;
    } cases[] = {
        {"bad marker", {1, 0, 0, 1, 0, 0, 0, 0, 1, 2, 3, 5}},
        {"unknown kind", Frame(9, 1, {})},
        {"frame too large", LinkFrame(3, 1, 0x7FFFFFFF)},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        RawClient c(server.Port());
        ASSERT_EQ(c.Read(72).size(), 72u);
        c.Write(k.bytes);
        EXPECT_TRUE(c.Read(1).empty()) << "the emulator closes the connection";
    }
}

} // namespace
