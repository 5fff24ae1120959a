#include "netclient/nc_socket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cstdio>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace nc {

namespace {

thread_local int32_t tLastError = 0;
std::atomic<int> gLibraryUses{0};

struct SlotEntry {
    int fd = -1;
    int protocol = 0;
};

struct SlotTable {
    std::mutex mutex;
    SlotEntry slots[kSocketSlots];
    int inUse = 0;
};

SlotTable &Slots()
{
    static SlotTable table;
    return table;
}

} // namespace

int32_t LastSocketError() { return tLastError; }
void SetLastSocketError(int32_t code) { tLastError = code; }

int32_t WsaFromErrno(int err)
{
    switch (err) {
    case 0: return 0;
    case EAGAIN: return kWsaWouldBlock;
    case EINPROGRESS: return kWsaInProgress;
    case EALREADY: return kWsaAlready;
    case EINVAL: return kWsaInvalid;
    case ENOBUFS:
    case ENOMEM:
    case EMFILE:
    case ENFILE: return kWsaNoBuffers;
    case EISCONN: return kWsaIsConnected;
    case ENOTCONN: return kWsaNotConnected;
    case ETIMEDOUT: return kWsaTimedOut;
    case ECONNREFUSED: return kWsaRefused;
    case EHOSTUNREACH:
    case ENETUNREACH: return kWsaHostUnreachable;
    case ECONNRESET: return 10054;
    case EADDRINUSE: return 10048;
    case EPIPE: return 10058;
    default: return 10000 + err;
    }
}

namespace {

void KeepErrno() { tLastError = WsaFromErrno(errno); }

} // namespace

int LoadSocketLibrary()
{
    gLibraryUses.fetch_add(1);
    return 0;
}

void UnloadSocketLibrary()
{
    int n = gLibraryUses.load();
    while (n > 0 && !gLibraryUses.compare_exchange_weak(n, n - 1)) {}
}

int SocketLibraryUses() { return gLibraryUses.load(); }

int SlotOpen(int type, int protocol)
{
    SlotTable &t = Slots();
    std::lock_guard lock(t.mutex);
    int slot = 1;
    while (slot < kSocketSlots && t.slots[slot].fd >= 0)
        ++slot;
    if (slot == kSocketSlots) {
        tLastError = kWsaNoBuffers;
        return -1;
    }
    int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        KeepErrno();
        return -1;
    }
    t.slots[slot] = {fd, protocol};
    ++t.inUse;
    tLastError = 0;
    return slot;
}

int SlotAdopt(int fd, int protocol)
{
    SlotTable &t = Slots();
    std::lock_guard lock(t.mutex);
    int slot = 1;
    while (slot < kSocketSlots && t.slots[slot].fd >= 0)
        ++slot;
    if (slot == kSocketSlots) {
        tLastError = kWsaNoBuffers;
        return -1;
    }
    t.slots[slot] = {fd, protocol};
    ++t.inUse;
    tLastError = 0;
    return slot;
}

namespace {

int SlotProtocol(int slot)
{
    if (slot <= 0 || slot >= kSocketSlots)
        return 0;
    SlotTable &t = Slots();
    std::lock_guard lock(t.mutex);
    return t.slots[slot].protocol;
}

} // namespace

int SlotFd(int slot)
{
    if (slot <= 0 || slot >= kSocketSlots)
        return -1;
    SlotTable &t = Slots();
    std::lock_guard lock(t.mutex);
    return t.slots[slot].fd;
}

void SlotClose(int slot)
{
    if (slot <= 0 || slot >= kSocketSlots)
        return;
    int fd;
    {
        SlotTable &t = Slots();
        std::lock_guard lock(t.mutex);
        fd = t.slots[slot].fd;
        if (fd < 0)
            return;
        t.slots[slot] = {};
        --t.inUse;
    }
    ::shutdown(fd, SHUT_WR);
    uint8_t drain[512];
    while (::recv(fd, drain, sizeof drain, MSG_DONTWAIT) > 0) {}
    ::close(fd);
}

bool SameServer(const QXLocationRecord &a, const QXLocationRecord &b)
{
    return a.family == b.family && a.port == b.port && a.address == b.address;
}

int SockGen::Fd() const { return SlotFd(slot_); }

int SockGen::Create(int type)
{
    Close();
    slot_ = SlotOpen(type, type == SOCK_STREAM ? 6 : 17);
    if (slot_ < 0)
        return kSockNoSocket;
    int fd = Fd();
    int one = 1;
    if (type == SOCK_STREAM) {
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        // A server host that vanishes without closing the connection would
        // leave a waiting call hanging for ever: the system probes an idle
        // connection and reports a dead peer as a socket error after about
        // two minutes. A server that is merely slow keeps answering probes.
        int idle = 60, interval = 10, count = 6;
        ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
    } else
        ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        KeepErrno();
        Close();
        return kSockError;
    }
    rbuf_.reset(new uint8_t[30000]);
    rfill_ = rpos_ = 0;
    return 0;
}

void SockGen::Close()
{
    if (slot_ > 0)
        SlotClose(slot_);
    slot_ = -1;
    rfill_ = rpos_ = 0;
}

namespace {

sockaddr_in ToSockaddr(uint32_t address, uint16_t port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(address);
    return sa;
}

} // namespace

int SockGen::ConnectStart(const QXLocationRecord &to)
{
    sockaddr_in sa = ToSockaddr(to.address, to.port);
    if (::connect(Fd(), reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0) {
        tLastError = 0;
        return 0;
    }
    KeepErrno();
    if (tLastError == kWsaInProgress || tLastError == kWsaWouldBlock || tLastError == kWsaAlready)
        return 1;
    return -1;
}

int SockGen::ConnectPoll()
{
    pollfd p{Fd(), POLLOUT, 0};
    int n = ::poll(&p, 1, 0);
    if (n < 0) {
        KeepErrno();
        return -1;
    }
    if (n == 0)
        return 1;
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(p.fd, SOL_SOCKET, SO_ERROR, &err, &len) < 0) {
        KeepErrno();
        return -1;
    }
    tLastError = WsaFromErrno(err);
    return err == 0 ? 0 : -1;
}

int SockGen::Fill()
{
    rpos_ = rfill_ = 0;
    ssize_t n = ::recv(Fd(), rbuf_.get(), 30000, 0);
    if (n > 0) {
        rfill_ = size_t(n);
        tLastError = 0;
        return 0;
    }
    if (n == 0) {
        tLastError = 0;
        return -1;
    }
    KeepErrno();
    return tLastError == kWsaWouldBlock ? 1 : -1;
}

int SockGen::ReadExact(uint8_t *dst, size_t n, size_t &done)
{
    if (slot_ <= 0)
        return -1;
    while (done < n) {
        if (rpos_ == rfill_ && dst && n - done >= 30000) {
            // A large block goes straight to its destination, not through
            // the receive buffer.
            ssize_t got = ::recv(Fd(), dst + done, n - done, 0);
            if (got > 0) {
                done += size_t(got);
                tLastError = 0;
                continue;
            }
            if (got == 0) {
                tLastError = 0;
                return -1;
            }
            KeepErrno();
            return tLastError == kWsaWouldBlock ? 1 : -1;
        }
        if (rpos_ == rfill_) {
            int r = Fill();
            if (r != 0)
                return r;
        }
        size_t take = std::min(n - done, rfill_ - rpos_);
        if (dst)
            std::memcpy(dst + done, rbuf_.get() + rpos_, take);
        rpos_ += take;
        done += take;
    }
    return 0;
}

int SockGen::Skip(size_t n, size_t &done) { return ReadExact(nullptr, n, done); }

int SockGen::SendAll(const uint8_t *buf, size_t n, size_t &done)
{
    if (slot_ <= 0)
        return -1;
    while (done < n) {
        ssize_t s = ::send(Fd(), buf + done, n - done, MSG_NOSIGNAL);
        if (s < 0) {
            KeepErrno();
            return tLastError == kWsaWouldBlock ? 1 : -1;
        }
        done += size_t(s);
    }
    tLastError = 0;
    return 0;
}

int SockGen::SendTo(const uint8_t *buf, size_t n, uint32_t address, uint16_t port)
{
    if (paused)
        return 0;
    sockaddr_in sa = ToSockaddr(address, port);
    ssize_t s = ::sendto(Fd(), buf, n, MSG_NOSIGNAL, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
    if (s < 0) {
        KeepErrno();
        return tLastError == kWsaWouldBlock ? 1 : -1;
    }
    return size_t(s) == n ? 0 : -1;
}

int SockGen::RecvFrom(uint8_t *buf, size_t cap, size_t &got, uint32_t &address, uint16_t &port)
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    ssize_t n = ::recvfrom(Fd(), buf, cap, 0, reinterpret_cast<sockaddr *>(&sa), &len);
    if (n < 0) {
        KeepErrno();
        return tLastError == kWsaWouldBlock ? 1 : -1;
    }
    got = size_t(n);
    address = ntohl(sa.sin_addr.s_addr);
    port = ntohs(sa.sin_port);
    return 0;
}

int SockGen::Listen(uint16_t port, uint32_t address)
{
    int fd = Fd();
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa = ToSockaddr(address, port);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0 || ::listen(fd, 5) != 0) {
        KeepErrno();
        return kSockError;
    }
    tLastError = 0;
    return 0;
}

int SockGen::Bind(uint16_t port, uint32_t address)
{
    sockaddr_in sa = ToSockaddr(address, port);
    if (::bind(Fd(), reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
        KeepErrno();
        return -1;
    }
    tLastError = 0;
    return 0;
}

int SockGen::Accept(SockGen &out, QXLocationRecord &peer, bool noDelay)
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    int fd = ::accept4(Fd(), reinterpret_cast<sockaddr *>(&sa), &len, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        KeepErrno();
        if (tLastError == kWsaWouldBlock || tLastError == kWsaNoBuffers || errno == ECONNABORTED ||
            errno == EINTR)
            return 0;
        return kSockNoSocket;
    }
    if (paused) {
        ::close(fd);
        return 0;
    }
    out.Close();
    int slot = SlotAdopt(fd, SlotProtocol(slot_));
    if (slot < 0) {
        ::close(fd);
        return 0;
    }
    out.slot_ = slot;
    out.rbuf_.reset(new uint8_t[30000]);
    out.rfill_ = out.rpos_ = 0;
    out.SetNoDelay(noDelay);
    peer = QXLocationRecord{};
    peer.address = ntohl(sa.sin_addr.s_addr);
    peer.port = ntohs(sa.sin_port);
    return 1;
}

uint32_t SockGen::LocalAddress() const
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(Fd(), reinterpret_cast<sockaddr *>(&sa), &len) != 0)
        return 0;
    return ntohl(sa.sin_addr.s_addr);
}

uint16_t SockGen::LocalPort() const
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(Fd(), reinterpret_cast<sockaddr *>(&sa), &len) != 0)
        return 0;
    return ntohs(sa.sin_port);
}

void SockGen::SetNoDelay(bool on)
{
    int v = on ? 1 : 0;
    ::setsockopt(Fd(), IPPROTO_TCP, TCP_NODELAY, &v, sizeof v);
}

void SockGen::TakeFrom(SockGen &other)
{
    if (&other == this)
        return;
    Close();
    slot_ = other.slot_;
    rbuf_ = std::move(other.rbuf_);
    rfill_ = other.rfill_;
    rpos_ = other.rpos_;
    paused = other.paused;
    other.slot_ = -1;
    other.rfill_ = other.rpos_ = 0;
}

int SockGen::ReadSome(uint8_t *dst, size_t n, size_t &got)
{
    got = 0;
    if (slot_ <= 0)
        return -1;
    if (n == 0)
        return 0;
    if (rpos_ == rfill_) {
        int r = Fill();
        if (r != 0)
            return r;
    }
    got = std::min(n, rfill_ - rpos_);
    std::memcpy(dst, rbuf_.get() + rpos_, got);
    rpos_ += got;
    return 0;
}

int SockGen::ReadLine(uint8_t *dst, size_t cap, size_t &done)
{
    if (slot_ <= 0)
        return -1;
    while (done < cap) {
        if (rpos_ == rfill_) {
            int r = Fill();
            if (r != 0)
                return r;
        }
        uint8_t c = rbuf_[rpos_++];
        dst[done++] = c;
        if (c == '\n' && done >= 2 && dst[done - 2] == '\r')
            return 0;
    }
    return 0;
}

std::string AddressText(uint32_t a)
{
    char buf[20];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", (a >> 24) & 255, (a >> 16) & 255, (a >> 8) & 255,
                  a & 255);
    return buf;
}

namespace {

bool LooksLikeHostName(const std::string &h)
{
    if (h.empty())
        return false;
    for (char c : h)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_'))
            return false;
    return true;
}

} // namespace

bool ResolveServerAddress(const unsigned char *text, uint16_t defaultPort, QXLocationRecord &out)
{
    if (!text)
        return false;
    std::string s(reinterpret_cast<const char *>(text + 1), text[0]);
    std::string host = s;
    uint16_t port = defaultPort;
    size_t sep = s.find(',');
    if (sep == std::string::npos)
        sep = s.find(':');
    if (sep != std::string::npos) {
        host = s.substr(0, sep);
        std::string p = s.substr(sep + 1);
        if (p.empty() || p.size() > 5 || p.find_first_not_of("0123456789") != std::string::npos)
            return false;
        unsigned long v = std::stoul(p);
        if (v == 0 || v > 65535)
            return false;
        port = uint16_t(v);
    }
    uint32_t address = 0;
    if (!host.empty() && host.find_first_not_of("0123456789.") == std::string::npos) {
        in_addr a{};
        if (::inet_pton(AF_INET, host.c_str(), &a) == 1) {
            address = ntohl(a.s_addr);
            if (address == 0xFFFFFFFFu)
                address = 0;
        }
    }
    if (address == 0) {
        if (!LooksLikeHostName(host))
            return false;
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *res = nullptr;
        if (::getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || !res)
            return false;
        address = ntohl(reinterpret_cast<sockaddr_in *>(res->ai_addr)->sin_addr.s_addr);
        ::freeaddrinfo(res);
        if (address == 0xFFFFFFFFu || address == 0)
            return false;
    }
    out = QXLocationRecord{};
    out.address = address;
    out.port = port;
    return true;
}

int LocalAddresses(uint32_t *out, int count)
{
    char name[256] = {};
    if (!out || count <= 0 || ::gethostname(name, sizeof name - 1) != 0)
        return 0;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *res = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &res) != 0 || !res)
        return 0;
    int n = 0;
    for (addrinfo *a = res; a && n < count; a = a->ai_next)
        out[n++] = ntohl(reinterpret_cast<sockaddr_in *>(a->ai_addr)->sin_addr.s_addr);
    ::freeaddrinfo(res);
    return n;
}

std::string GetLocalComputerName()
{
    char buf[256] = {};
    if (::gethostname(buf, sizeof buf - 1) != 0)
        return {};
    std::string name(buf);
    if (name.size() > 31)
        name.resize(31);
    return name;
}

} // namespace nc
