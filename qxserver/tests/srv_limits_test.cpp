// The emulator facing hostile clients: floods of tiny requests, links that
// hold too much or never log in, more links than allowed, no descriptors
// left, discovery from other addresses and names that would forge log lines.
// After each, an ordinary client must still be served.
#include "tests/support/qxserver_process.h"
#include "netclient/tests/wire_bytes.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kKey[4] = {0x00, 0xA5, 0x00, 0x5A}; // the emulator's default key

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
    int Fd() const { return fd_; }
    bool Write(const Bytes &b)
    {
        size_t done = 0;
        while (done < b.size()) {
            ssize_t n = ::send(fd_, b.data() + done, b.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += size_t(n);
        }
        return true;
    }
    Bytes Read(size_t n) { return ReadSocket(fd_, n); }
    // As Read, waiting up to a minute in all (a loaded machine is slow).
    Bytes ReadPatiently(size_t n)
    {
        Bytes b;
        auto end = Clock::now() + std::chrono::seconds(60);
        while (b.size() < n && Clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            uint8_t buf[65536];
            ssize_t got = ::recv(fd_, buf, std::min(sizeof buf, n - b.size()), 0);
            if (got <= 0)
                break;
            b.insert(b.end(), buf, buf + got);
        }
        return b;
    }
    // True when the server closed the connection within `ms`.
    bool ClosedWithin(int ms)
    {
        auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            uint8_t buf[65536];
            ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0)
                return true;
        }
        return false;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
};

Bytes Frame(uint8_t kind, uint16_t channel, const Bytes &data)
{
    return LinkFrame(kind, channel, uint32_t(data.size()), data);
}

Bytes Request(int16_t code, const Bytes &body)
{
    return Cat(
        {WireNumber16(false, uint16_t(code)), WireNumber32(false, uint32_t(body.size())), body});
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

// Handshake, channel 1, probe and login; the status of the login.
int LogIn(RawClient &c, const std::string &user, const std::string &password)
{
    if (c.Read(72).size() != 72 || !c.Write(Frame(1, 1, {})) || c.Read(14).size() != 14)
        return 1;
    Bytes probe = LoginBody("", "");
    probe[32] = 3, probe[33] = 0x7F, probe[34] = 'Q', probe[35] = 'X';
    c.Write(Frame(3, 1, Request(44, probe)));
    if (c.Read(18 + 26).size() != 44)
        return 1;
    Bytes body = LoginBody(user, password);
    for (size_t j = 0; j < 128; ++j)
        body[j] ^= kKey[j % 4];
    c.Write(Frame(3, 1, Request(44, body)));
    Bytes reply = c.Read(18);
    if (reply.size() != 18)
        return 1;
    return int16_t(reply[12] | (reply[13] << 8));
}

// An ordinary client logs in and is answered a flush (code 38).
void ExpectServed(uint16_t port)
{
    RawClient c(port);
    ASSERT_TRUE(c.Connected());
    ASSERT_EQ(LogIn(c, "demo", "demo"), 0);
    c.Write(Frame(3, 1, Request(38, {})));
    EXPECT_EQ(c.Read(18), Frame(3, 1, Cat({WireNumber16(false, 0), WireNumber32(false, 0)})));
}

class ServerLimits : public ::testing::Test {
protected:
    void Start(std::vector<std::string> args)
    {
        log_ = server_.LogPath();
        args.insert(args.end(),
                    {"--fixture", server_.FixtureWithUsers({{"demo", "demo"}}), "--log", log_});
        std::string error;
        ASSERT_TRUE(server_.Start(args, &error)) << error;
    }
    std::string Log() const { return QxServerProcess::ReadFile(log_); }

    QxServerProcess server_;
    std::string log_;
};

// Seconds the server takes to answer one frame of n tiny requests.
double Flood(uint16_t port, size_t n)
{
    Bytes many;
    many.reserve(n * 6);
    for (size_t i = 0; i < n; ++i) {
        Bytes r = Request(38, {});
        many.insert(many.end(), r.begin(), r.end());
    }
    RawClient c(port);
    if (c.Read(72).size() != 72 || !c.Write(Frame(1, 1, {})) || c.Read(14).size() != 14)
        return -1;
    auto start = Clock::now();
    Bytes got;
    std::thread reader([&] { got = c.ReadPatiently(n * 18); });
    c.Write(Frame(3, 1, many));
    reader.join();
    if (got.size() != n * 18 ||
        Bytes(got.end() - 18, got.end()) !=
            Frame(3, 1, Cat({WireNumber16(false, uint16_t(-9991)), WireNumber32(false, 0)})))
        return -1; // every request answered (not logged in)
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST_F(ServerLimits, OneFrameOfManyTinyRequestsIsServedInLinearTime)
{
    Start({});
    // Four times the requests take about four times as long; parsing that
    // moved the rest of the buffer after each request took sixteen times
    // (the margin absorbs a loaded machine).
    double small = Flood(server_.Port(), 40000);
    double large = Flood(server_.Port(), 160000);
    ASSERT_GT(small, 0);
    ASSERT_GT(large, 0);
    EXPECT_LT(large, 10 * small + 2.0) << small << " s, then " << large << " s";
    ExpectServed(server_.Port());
}

TEST_F(ServerLimits, ALinkHoldingTooMuchIsDroppedWhileOthersAreServed)
{
    Start({"--link-buffer", "65536"});
    struct Case {
        const char *name;
        std::vector<Bytes> writes;
    } cases[] = {
        {"frame larger than the bound", {LinkFrame(3, 1, 100000)}},
        {"request larger than the bound",
         {Frame(1, 1, {}),
          Frame(3, 1, Cat({WireNumber16(false, 38), WireNumber32(false, 70000)}))}},
        {"unfinished requests on three channels",
         {Frame(1, 1, {}), Frame(1, 2, {}), Frame(1, 3, {}),
          Frame(3, 1, Cat({WireNumber16(false, 38), WireNumber32(false, 60000), Bytes(30000, 0)})),
          Frame(3, 2, Cat({WireNumber16(false, 38), WireNumber32(false, 60000), Bytes(30000, 0)})),
          Frame(3, 3,
                Cat({WireNumber16(false, 38), WireNumber32(false, 60000), Bytes(30000, 0)}))}},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        RawClient c(server_.Port());
        ASSERT_EQ(c.Read(72).size(), 72u);
        for (const Bytes &w : k.writes)
            c.Write(w);
        EXPECT_TRUE(c.ClosedWithin(5000));
        ExpectServed(server_.Port());
    }
    EXPECT_NE(Log().find("dropped: holds too many unfinished bytes"), std::string::npos) << Log();
}

TEST_F(ServerLimits, AClientThatNeverReadsIsDropped)
{
    Start({"--link-buffer", "65536"});
    RawClient c(server_.Port());
    ASSERT_EQ(c.Read(72).size(), 72u);
    c.Write(Frame(1, 1, {}));
    // Requests answered with 18 bytes each, never read: beyond what the
    // sockets hold, replies pile up in the server until the bound.
    Bytes batch;
    for (int i = 0; i < 10000; ++i) {
        Bytes r = Request(38, {});
        batch.insert(batch.end(), r.begin(), r.end());
    }
    Bytes frame = Frame(3, 1, batch);
    bool dropped = false;
    for (int i = 0; i < 400 && !dropped; ++i) {
        if (!c.Write(frame))
            dropped = true;
        dropped = dropped || Log().find("holds too many unread replies") != std::string::npos;
    }
    EXPECT_TRUE(dropped) << Log();
    ExpectServed(server_.Port());
}

TEST_F(ServerLimits, LinksBeyondTheLimitAreClosedAtOnce)
{
    Start({"--max-links", "2"});
    auto a = std::make_unique<RawClient>(server_.Port());
    RawClient b(server_.Port());
    ASSERT_EQ(a->Read(72).size(), 72u);
    ASSERT_EQ(b.Read(72).size(), 72u);
    RawClient third(server_.Port());
    EXPECT_TRUE(third.ClosedWithin(3000));
    a.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ExpectServed(server_.Port());
}

TEST_F(ServerLimits, LinksWithoutALoginAreDroppedAfterTheTimeout)
{
    Start({"--login-timeout", "700"});
    RawClient silent(server_.Port());
    RawClient loggedIn(server_.Port());
    ASSERT_EQ(silent.Read(72).size(), 72u);
    ASSERT_EQ(LogIn(loggedIn, "demo", "demo"), 0);
    auto start = Clock::now();
    EXPECT_TRUE(silent.ClosedWithin(5000));
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_LT(seconds, 3.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    loggedIn.Write(Frame(3, 1, Request(38, {})));
    EXPECT_EQ(loggedIn.Read(18), Frame(3, 1, Cat({WireNumber16(false, 0), WireNumber32(false, 0)})))
        << "a logged-in link stays";
}

// Clock ticks of CPU time the process has used (user and system).
long CpuTicks(pid_t pid)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::istringstream rest(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14)
            utime = std::stol(field);
        if (i == 15)
            stime = std::stol(field);
    }
    return utime + stime;
}

int OpenDescriptors(pid_t pid)
{
    int n = 0;
    std::string dir = "/proc/" + std::to_string(pid) + "/fd/";
    for (int fd = 0; fd < 4096; ++fd)
        if (::access((dir + std::to_string(fd)).c_str(), F_OK) == 0)
            ++n;
    return n;
}

TEST_F(ServerLimits, NoDescriptorsLeftDoesNotSpinTheServer)
{
    Start({});
    pid_t pid = server_.Pid();
    rlimit original{};
    ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, nullptr, &original), 0);
    rlimit lim = original;
    lim.rlim_cur = rlim_t(OpenDescriptors(pid) + 2);
    ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, &lim, nullptr), 0);
    std::vector<std::unique_ptr<RawClient>> clients;
    for (int i = 0; i < 6; ++i)
        clients.push_back(std::make_unique<RawClient>(server_.Port()));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    long before = CpuTicks(pid);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    long used = CpuTicks(pid) - before;
    EXPECT_LT(used, 40) << "clock ticks of CPU in 1.5 s while accept fails";
    clients.clear();
    ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, &original, nullptr), 0);
    ExpectServed(server_.Port());
    EXPECT_NE(Log().find("listener rests"), std::string::npos) << Log();
}

// Sends a discovery query for "QX Server" to address:port; true when answered.
bool DiscoveryAnswered(const char *address, uint16_t port)
{
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    uint8_t q[96] = {};
    std::memcpy(q + 32, "QX Server", 9);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &sa.sin_addr);
    ::sendto(fd, q, sizeof q, 0, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
    pollfd p{fd, POLLIN, 0};
    bool answered = ::poll(&p, 1, 700) == 1;
    ::close(fd);
    return answered;
}

TEST_F(ServerLimits, DiscoveryListensOnLoopbackUnlessToldOtherwise)
{
    Start({});
    EXPECT_TRUE(DiscoveryAnswered("127.0.0.1", server_.Port()));
    EXPECT_FALSE(DiscoveryAnswered("127.0.0.2", server_.Port())) << "not on every address";
    QxServerProcess any;
    ASSERT_TRUE(any.Start({"--discovery-address", "0.0.0.0"}));
    EXPECT_TRUE(DiscoveryAnswered("127.0.0.2", any.Port()));
    QxServerProcess bad;
    EXPECT_FALSE(bad.Start({"--discovery-address", "loopback"}));
}

TEST_F(ServerLimits, ControlCharactersInNamesCannotForgeLogLines)
{
    Start({});
    RawClient c(server_.Port());
    EXPECT_EQ(LogIn(c, "x\nlink 9 gone\\", "pw"), -9979);
    std::string log = Log();
    EXPECT_EQ(log.find("\nlink 9 gone"), std::string::npos) << log;
    struct stat st {};
    ASSERT_EQ(::stat(log_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the log is the owner's alone";
    EXPECT_NE(log.find("login x\\x0Alink 9 gone\\\\ unknown"), std::string::npos) << log;
}

} // namespace
