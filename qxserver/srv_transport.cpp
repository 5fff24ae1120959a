#include "qxserver/srv_transport.h"

#include "platform/clock.h"
#include "platform/file.h"
#include "qxserver/db/db_codec.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qxs {

namespace {

constexpr uint32_t kMaxFrame = 64u * 1024 * 1024;
constexpr size_t kDatagram = 96;
constexpr uint32_t kListenRestMs = 100; // pause of the listener while accept has no descriptors

void NonBlocking(int fd)
{
    int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

std::string Field32(const uint8_t *p)
{
    size_t n = strnlen(reinterpret_cast<const char *>(p), 32);
    return std::string(reinterpret_cast<const char *>(p), std::min<size_t>(n, 31));
}

void PutField32(uint8_t *p, const std::string &s)
{
    size_t n = std::min<size_t>(s.size(), 31);
    std::memcpy(p, s.data(), n);
}

std::vector<uint8_t> DataFrame(uint16_t channel, const uint8_t *data, size_t n)
{
    std::vector<uint8_t> f(kFrameHeaderSize + n);
    EncodeFrameHeader(f.data(), kKindData, channel, uint32_t(n));
    if (n)
        std::memcpy(f.data() + kFrameHeaderSize, data, n);
    return f;
}

} // namespace

ServerTransport::ServerTransport(ServerContext &ctx, const HandlerTable &table)
    : ctx_(ctx), table_(table)
{
    long n = ::sysconf(_SC_NPROCESSORS_ONLN);
    cpus_ = n > 0 ? uint32_t(n) : 1;
}

ServerTransport::~ServerTransport()
{
    for (auto &l : links_)
        if (l->fd >= 0)
            ::close(l->fd);
    if (listenFd_ >= 0)
        ::close(listenFd_);
    if (udpFd_ >= 0)
        ::close(udpFd_);
    if (log_)
        std::fclose(log_);
}

void ServerTransport::Log(const char *fmt, ...)
{
    if (!log_)
        return;
    char line[1024];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    if (n < 0)
        return;
    // Names come from clients: a control character is written as \xHH (and
    // a backslash doubled), so that no client can forge or split log lines.
    size_t len = std::min(size_t(n), sizeof line - 1);
    for (size_t i = 0; i < len; ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        if (c < 0x20 || c == 0x7F)
            std::fprintf(log_, "\\x%02X", c);
        else if (c == '\\')
            std::fputs("\\\\", log_);
        else
            std::fputc(c, log_);
    }
    std::fputc('\n', log_);
    std::fflush(log_);
}

bool ServerTransport::Start(std::string &error)
{
    if (!ctx_.options.logFile.empty()) {
        log_ = PlatOpenPrivateFile(ctx_.options.logFile.c_str(), "w");
        if (!log_) {
            error = "cannot write log " + ctx_.options.logFile;
            return false;
        }
    }
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(ctx_.options.port);
    if (::bind(listenFd_, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0 ||
        ::listen(listenFd_, 16) != 0) {
        error = std::string("cannot listen: ") + std::strerror(errno);
        return false;
    }
    socklen_t len = sizeof sa;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr *>(&sa), &len);
    port_ = ntohs(sa.sin_port);
    NonBlocking(listenFd_);

    // Discovery: on loopback unless --discovery-address says otherwise
    // (0.0.0.0 receives broadcasts from the network).
    udpFd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ::setsockopt(udpFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    ::setsockopt(udpFd_, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    sockaddr_in ua{};
    ua.sin_family = AF_INET;
    ua.sin_addr.s_addr = htonl(ctx_.options.discoveryAddress);
    ua.sin_port = htons(port_);
    if (::bind(udpFd_, reinterpret_cast<sockaddr *>(&ua), sizeof ua) != 0) {
        error = std::string("cannot bind discovery socket: ") + std::strerror(errno);
        return false;
    }
    NonBlocking(udpFd_);
    return true;
}

std::unique_ptr<ServerTransport::Link> ServerTransport::NewLink(int fd)
{
    auto l = std::make_unique<Link>();
    l->fd = fd;
    l->id = nextLinkId_++;
    l->out = EncodeHandshake(ctx_.options.service);
    l->acceptedMs = PlatTickCount();
    return l;
}

void ServerTransport::Accept()
{
    for (;;) {
        sockaddr_in peer{};
        socklen_t peerLen = sizeof peer;
        int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr *>(&peer), &peerLen,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // The connection stays in the backlog; polling the listener
                // again at once would only spin.
                if (!listenResting_)
                    Log("accept failed: %s; listener rests", std::strerror(errno));
                listenResting_ = true;
                listenRestUntilMs_ = PlatTickCount() + kListenRestMs;
            }
            return;
        }
        if (links_.size() >= ctx_.options.maxLinks) {
            Log("link refused: %zu links open", links_.size());
            ::close(fd);
            continue;
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::unique_ptr<Link> l;
        try {
            l = NewLink(fd);
            l->peer = ntohl(peer.sin_addr.s_addr);
            links_.push_back(std::move(l));
        } catch (const std::bad_alloc &) {
            ::close(fd);
            return;
        }
        Log("link %u accepted", links_.back()->id);
    }
}

void ServerTransport::AnswerDiscovery()
{
    for (;;) {
        uint8_t q[kDatagram + 1];
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n = ::recvfrom(udpFd_, q, sizeof q, 0, reinterpret_cast<sockaddr *>(&from), &len);
        if (n < 0)
            return;
        if (size_t(n) != kDatagram)
            continue;
        std::string published = Field32(q + 32);
        std::string service = Field32(q + 64);
        bool match = published == ctx_.options.published &&
                     (service.empty() || service == ctx_.options.service);
        Log("discovery code=%d name=\"%s\" service=\"%s\" %s", q[0] | (q[1] << 8),
            published.c_str(), service.c_str(), match ? "answered" : "ignored");
        if (!match)
            continue;
        uint8_t a[kDatagram] = {};
        std::string computer = ctx_.options.computer;
        for (char &c : computer)
            if (c == '\t')
                c = '_';
        PutField32(a, computer);
        PutField32(a + 32, ctx_.options.published);
        PutField32(a + 64, ctx_.options.service);
        ::sendto(udpFd_, a, sizeof a, 0, reinterpret_cast<sockaddr *>(&from), len);
    }
}

void ServerTransport::Queue(Link &l, std::vector<uint8_t> bytes, bool dropAfter)
{
    if (l.out.size() - l.outPos + l.heldBytes + bytes.size() > ctx_.options.linkBuffer) {
        Drop(l, "holds too many unread replies");
        return;
    }
    if (ctx_.options.delayMs == 0 && l.held.empty()) {
        if (l.out.empty())
            l.out = std::move(bytes);
        else
            l.out.insert(l.out.end(), bytes.begin(), bytes.end());
        if (dropAfter)
            l.dropWhenFlushed = true;
        return;
    }
    l.heldBytes += bytes.size();
    l.held.push_back({PlatTickCount() + ctx_.options.delayMs, std::move(bytes), dropAfter});
}

void ServerTransport::Drop(Link &l, const char *why)
{
    if (!l.dead)
        Log("link %u dropped: %s", l.id, why);
    l.dead = true;
}

void ServerTransport::ReleaseHeld(Link &l)
{
    while (!l.held.empty() && int32_t(PlatTickCount() - l.held.front().dueMs) >= 0) {
        Output &o = l.held.front();
        l.heldBytes -= o.bytes.size();
        l.out.insert(l.out.end(), o.bytes.begin(), o.bytes.end());
        if (o.dropAfter)
            l.dropWhenFlushed = true;
        l.held.pop_front();
    }
}

void ServerTransport::OpenChannel(Link &l, uint16_t number)
{
    Channel &c = l.channels[number];
    c = Channel{};
    c.session.channel = number;
    c.session.bigEndian = ctx_.options.bigEndian;
    uint16_t word = ctx_.options.bigEndian ? 0x0000 : 0xFFFF;
    if (ctx_.options.handshakeWord >= 0)
        word = uint16_t(ctx_.options.handshakeWord);
    uint8_t w[2] = {uint8_t(word >> 8), uint8_t(word)};
    Queue(l, DataFrame(number, w, 2), false);
    Log("link %u channel %u open", l.id, number);
}

void ServerTransport::Reconnect(Link &l)
{
    for (auto it = orphans_.rbegin(); it != orphans_.rend(); ++it) {
        if (it->peer != l.peer)
            continue;
        Log("link %u re-established with %zu channels", l.id, it->channels.size());
        for (auto &[number, channel] : it->channels)
            l.channels[number] = std::move(channel);
        orphans_.erase(std::next(it).base());
        return;
    }
    OpenChannel(l, 1); // nothing to take over: a new channel 1
}

bool ServerTransport::ServeRequests(Link &l, Channel &c)
{
    const ServerOptions &o = ctx_.options;
    Session &s = c.session;
    // Requests are taken at c.pos; the served ones leave the buffer in one
    // move when the batch ends, whatever way it ends.
    struct Compact {
        Channel &c;
        ~Compact()
        {
            if (c.pos >= c.input.size())
                c.input.clear();
            else if (c.pos > 0)
                c.input.erase(c.input.begin(), c.input.begin() + long(c.pos));
            c.pos = 0;
        }
    } compact{c};
    for (;;) {
        if (l.dead)
            return false;
        const uint8_t *at = c.input.data() + c.pos;
        size_t avail = c.input.size() - c.pos;
        if (avail < 6)
            return true;
        Request r;
        r.code = qxdb::QxdbLoad16(at, s.bigEndian);
        if (o.dropLink.count(r.code)) {
            Log("link %u channel %u request code=%d -> link dropped", l.id, s.channel, r.code);
            c.pos = c.input.size();
            l.keepSessions = true;
            return false;
        }
        int32_t length = qxdb::QxdbLoad32(at + 2, s.bigEndian);
        if (length < 0 || uint32_t(length) > kMaxFrame || 6 + size_t(length) > o.linkBuffer) {
            Log("link %u channel %u bad request length %d", l.id, s.channel, length);
            return false;
        }
        if (avail < 6 + size_t(length))
            return true;
        r.body.assign(at + 6, at + 6 + length);
        c.pos += 6 + size_t(length);
        if (s.keyed)
            XorBody(r.body.data(), r.body.size(), o.key);

        Reply reply;
        auto fail = o.failStatus.find(r.code);
        if (fail != o.failStatus.end()) {
            reply.status = fail->second;
            reply.note = "injected status";
        } else {
            reply = HandleRequest(ctx_, table_, s, r);
        }
        if (o.probeNoBody && reply.keyAfter) {
            reply.body.clear();
            reply.note += " without body";
        }
        if (o.shortBody.count(r.code))
            reply.body.resize(reply.body.size() / 2);
        int32_t announced = int32_t(reply.body.size());
        if (o.overlongBody.count(r.code))
            announced = 0x7FFFFFF0;
        bool drop = o.dropMidReply.count(r.code) > 0;
        Log("link %u channel %u request code=%d length=%d -> status=%d reply=%d %s", l.id,
            s.channel, r.code, length, reply.status, announced, reply.note.c_str());

        // Both frames (the reply header, then the body) built in place in one
        // buffer; the body is copied once and XORed where it lies.
        size_t bodySize = reply.body.size() + (o.mismatchBody.count(r.code) ? 1 : 0);
        bool withBody = !drop && bodySize > 0 && !o.overlongBody.count(r.code);
        std::vector<uint8_t> out;
        out.reserve(2 * kFrameHeaderSize + 6 + (withBody ? bodySize : 0));
        out.resize(kFrameHeaderSize + 6);
        EncodeFrameHeader(out.data(), kKindData, s.channel, 6);
        qxdb::QxdbStore16(out.data() + kFrameHeaderSize, reply.status, s.bigEndian);
        qxdb::QxdbStore32(out.data() + kFrameHeaderSize + 2, announced, s.bigEndian);
        if (drop)
            out.resize(8); // the connection breaks inside the reply's frame header
        if (withBody) {
            size_t at = out.size();
            out.resize(at + kFrameHeaderSize);
            EncodeFrameHeader(out.data() + at, kKindData, s.channel, uint32_t(bodySize));
            out.insert(out.end(), reply.body.begin(), reply.body.end());
            out.resize(at + kFrameHeaderSize + bodySize, 0); // the spare byte of a mismatched body
            if (s.keyed)
                XorBody(out.data() + at + kFrameHeaderSize, bodySize, o.key);
        }
        Queue(l, std::move(out), drop);
        if (reply.keyAfter)
            s.keyed = true;
        if (s.loggedIn)
            l.loggedIn = true;
    }
}

bool ServerTransport::ParseFrames(Link &l)
{
    size_t pos = 0;
    bool ok = true;
    while (ok && l.in.size() - pos >= kFrameHeaderSize) {
        FrameHeader h;
        if (!DecodeFrameHeader(l.in.data() + pos, h)) {
            Log("link %u bad frame marker", l.id);
            ok = false;
            break;
        }
        size_t dataLen = h.kind == kKindData ? h.length : 0;
        if (dataLen > kMaxFrame || kFrameHeaderSize + dataLen > ctx_.options.linkBuffer) {
            Log("link %u frame too large", l.id);
            ok = false;
            break;
        }
        if (l.in.size() - pos < kFrameHeaderSize + dataLen)
            break;
        const uint8_t *data = l.in.data() + pos + kFrameHeaderSize;
        pos += kFrameHeaderSize + dataLen;
        switch (h.kind) {
        case kKindOpen: OpenChannel(l, h.channel); break;
        case kKindReconnect:
            Reconnect(l);
            for (auto &entry : l.channels)
                if (entry.second.session.loggedIn)
                    l.loggedIn = true;
            break;
        case kKindClose:
            Log("link %u channel %u close", l.id, h.channel);
            l.channels.erase(h.channel);
            break;
        case kKindPing:
        case kKindPingOld: Log("link %u ping %u", l.id, h.length); break;
        case kKindData: {
            auto it = l.channels.find(h.channel);
            if (it == l.channels.end())
                break;
            it->second.input.insert(it->second.input.end(), data, data + dataLen);
            ok = ServeRequests(l, it->second);
            break;
        }
        default:
            Log("link %u unknown frame kind %u", l.id, h.kind);
            ok = false;
            break;
        }
    }
    if (pos >= l.in.size())
        l.in.clear();
    else if (pos > 0)
        l.in.erase(l.in.begin(), l.in.begin() + long(pos));
    return ok;
}

size_t ServerTransport::Inbound(const Link &l) const
{
    size_t n = l.in.size();
    for (const auto &entry : l.channels)
        n += entry.second.input.size();
    return n;
}

bool ServerTransport::Consume(Link &l, const uint8_t *data, size_t n)
{
    l.in.insert(l.in.end(), data, data + n);
    if (!ParseFrames(l))
        return false;
    if (Inbound(l) > ctx_.options.linkBuffer) {
        Drop(l, "holds too many unfinished bytes");
        return false;
    }
    return !l.dead;
}

void ServerTransport::ReadLink(Link &l)
{
    uint8_t buf[65536];
    try {
        // Each piece read is parsed before the next, so what one link holds
        // stays within its bound however fast the client sends.
        while (!l.dead) {
            ssize_t n = ::recv(l.fd, buf, sizeof buf, 0);
            if (n > 0) {
                if (!Consume(l, buf, size_t(n)))
                    l.dead = true;
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                Log("link %u closed by the client", l.id);
                l.dead = true;
            }
            break;
        }
    } catch (const std::bad_alloc &) {
        Drop(l, "out of memory");
    }
}

void ServerTransport::WriteLink(Link &l)
{
    while (l.outPos < l.out.size()) {
        ssize_t n = ::send(l.fd, l.out.data() + l.outPos, l.out.size() - l.outPos, MSG_NOSIGNAL);
        if (n <= 0) {
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                l.dead = true;
            return;
        }
        l.outPos += size_t(n);
    }
    l.out.clear();
    l.outPos = 0;
    if (l.dropWhenFlushed) {
        Log("link %u dropped mid-reply", l.id);
        l.dead = true;
    }
}

// A client reading a result asks for its next window within microseconds of
// the last reply: after serving, the server looks for the next request
// without sleeping for as long as the spin policy says it pays (srv_spin.h),
// yielding the CPU between two looks; a look that comes late means the CPU
// went to another thread, and the spin ends.
int ServerTransport::Wait(std::vector<pollfd> &fds, int timeout, bool served)
{
    using Clock = std::chrono::steady_clock;
    if (!served)
        return ::poll(fds.data(), fds.size(), timeout);
    auto start = Clock::now();
    if (ctx_.options.spinMicros < 0 && start - lastLoadLook_ >= std::chrono::milliseconds(20)) {
        lastLoadLook_ = start;
        uint32_t runnable = 0;
        if (QxsRunnableThreads(runnable))
            spin_.NoteLoad(runnable, cpus_);
    }
    SpinObservation o;
    o.budgetMicros =
        ctx_.options.spinMicros >= 0 ? uint32_t(ctx_.options.spinMicros) : spin_.Budget();
    int n = 0;
    if (o.budgetMicros > 0) {
        auto until = start + std::chrono::microseconds(o.budgetMicros);
        auto last = start;
        while ((n = ::poll(fds.data(), fds.size(), 0)) == 0) {
            auto now = Clock::now();
            if (now - last >= std::chrono::microseconds(SpinPolicy::kPreemptedMicros))
                o.preempted = true;
            if (o.preempted || now >= until)
                break;
            last = now;
            sched_yield();
        }
    }
    if (n == 0)
        n = ::poll(fds.data(), fds.size(), timeout);
    o.arrived = n > 0;
    o.waitedMicros = uint32_t(std::min<int64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count(),
        INT32_MAX));
    spin_.Record(o);
    return n;
}

void ServerTransport::Run(const volatile bool *stop)
{
    bool served = false;
    while (!*stop) {
        uint32_t now = PlatTickCount();
        if (listenResting_ && int32_t(now - listenRestUntilMs_) >= 0)
            listenResting_ = false;
        std::vector<pollfd> fds;
        try {
            fds.reserve(links_.size() + 2);
        } catch (const std::bad_alloc &) {
            continue;
        }
        fds.push_back({listenResting_ ? -1 : listenFd_, POLLIN, 0});
        fds.push_back({udpFd_, POLLIN, 0});
        int timeout = 200;
        if (listenResting_)
            timeout = std::min<int>(timeout, std::max<int>(1, int32_t(listenRestUntilMs_ - now)));
        for (auto &l : links_) {
            try {
                ReleaseHeld(*l);
            } catch (const std::bad_alloc &) {
                Drop(*l, "out of memory");
            }
            short ev = POLLIN;
            if (!l->out.empty())
                ev |= POLLOUT;
            fds.push_back({l->fd, ev, 0});
            if (!l->held.empty())
                timeout = std::min<int>(
                    timeout, std::max<int>(1, int32_t(l->held.front().dueMs - PlatTickCount())));
        }
        int n = Wait(fds, timeout, served);
        served = n > 0;
        if (n < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN)
            Accept();
        if (fds[1].revents & POLLIN)
            AnswerDiscovery();
        now = PlatTickCount();
        for (size_t i = 0; i + 2 < fds.size() && i < links_.size(); ++i) {
            Link &l = *links_[i];
            if (!l.loggedIn && ctx_.options.loginTimeoutMs != 0 &&
                now - l.acceptedMs >= ctx_.options.loginTimeoutMs) {
                Drop(l, "no login in time");
                continue;
            }
            if (fds[i + 2].revents & (POLLIN | POLLHUP | POLLERR))
                ReadLink(l);
            try {
                ReleaseHeld(l);
            } catch (const std::bad_alloc &) {
                Drop(l, "out of memory");
            }
            if (!l.dead && !l.out.empty())
                WriteLink(l);
        }
        // The replies are out: while the clients take them, the sessions
        // that read a window bring the next one into the caches.
        if (served)
            ReadAhead();
        while (!orphans_.empty() && int32_t(PlatTickCount() - orphans_.front().deadlineMs) >= 0)
            orphans_.pop_front();
        for (size_t i = 0; i < links_.size();) {
            if (links_[i]->dead) {
                Link &l = *links_[i];
                ::close(l.fd);
                Log("link %u gone", l.id);
                if (l.keepSessions && !l.channels.empty()) {
                    for (auto &[number, channel] : l.channels) {
                        channel.input.clear();
                        channel.pos = 0;
                    }
                    try {
                        orphans_.push_back(
                            {l.peer, PlatTickCount() + 60000, std::move(l.channels)});
                    } catch (const std::bad_alloc &) {}
                }
                links_.erase(links_.begin() + long(i));
            } else {
                ++i;
            }
        }
    }
}

void ServerTransport::ReadAhead()
{
    for (auto &l : links_)
        if (!l->dead)
            for (auto &entry : l->channels)
                if (entry.second.session.db)
                    entry.second.session.db->ReadAhead();
}

void ServerTransport::TakeOutput(Link &l, std::vector<uint8_t> &out)
{
    ReleaseHeld(l);
    out.insert(out.end(), l.out.begin() + long(l.outPos), l.out.end());
    l.out.clear();
    l.outPos = 0;
    if (l.dropWhenFlushed)
        l.dead = true;
}

uint32_t ServerTransport::OpenMemoryLink(std::vector<uint8_t> &out)
{
    links_.push_back(NewLink(-1));
    Link &l = *links_.back();
    TakeOutput(l, out);
    return l.id;
}

bool ServerTransport::FeedMemoryLink(uint32_t id, const uint8_t *data, size_t n,
                                     std::vector<uint8_t> &out)
{
    for (size_t i = 0; i < links_.size(); ++i) {
        Link &l = *links_[i];
        if (l.id != id)
            continue;
        try {
            if (!Consume(l, data, n))
                l.dead = true;
            TakeOutput(l, out);
        } catch (const std::bad_alloc &) {
            Drop(l, "out of memory");
        }
        if (!l.dead)
            return true;
        links_.erase(links_.begin() + long(i));
        return false;
    }
    return false;
}

} // namespace qxs
