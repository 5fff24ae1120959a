// The emulator's transport: a single-threaded poll loop over the TCP
// listener, the UDP discovery socket and one link per accepted connection.
//
// A link sends its 72-byte handshake, then reads frames. An open frame makes
// a channel (one client session) and answers the byte-order word as a 2-byte
// data frame. Data frames feed the channel's request stream; each complete
// request (6-byte header and body) is handled and answered with a header
// frame and, when there is a body, a body frame. Replies can be held back
// (--delay) and bent by the fault-injection options.
//
// Requests are parsed at an offset into the channel's stream, which is
// compacted once per batch, so a frame of many small requests costs linear
// time. Limits keep one client from taking the server down: a link holding
// more than --link-buffer bytes in either direction (unfinished frames and
// requests, unread replies) is dropped, links beyond --max-links are closed
// at once, links that have not logged in within --login-timeout are dropped,
// and an allocation failure drops the link that caused it. While accept
// fails for want of file descriptors the listener rests for a moment instead
// of waking the poll loop again at once.
#pragma once

#include "qxserver/srv_requests.h"
#include "qxserver/srv_spin.h"

#include <chrono>
#include <cstdio>
#include <poll.h>
#include <deque>
#include <map>
#include <memory>
#include <vector>

namespace qxs {

class ServerTransport {
public:
    // The longest spin for the next request (without --spin-us).
    static constexpr uint32_t kMaxSpinMicros = 300;

    ServerTransport(ServerContext &ctx, const HandlerTable &table);
    ~ServerTransport();
    // Binds the TCP listener on 127.0.0.1 and the UDP socket on the same port.
    bool Start(std::string &error);
    uint16_t Port() const { return port_; }
    // Serves until *stop becomes true.
    void Run(const volatile bool *stop);

    // In-process links without a socket, for the fuzz target: the bytes a
    // client sends go in, what the server sends back comes out (the
    // handshake first). Feed answers false once the link was dropped.
    uint32_t OpenMemoryLink(std::vector<uint8_t> &out);
    bool FeedMemoryLink(uint32_t id, const uint8_t *data, size_t n, std::vector<uint8_t> &out);

private:
    struct Channel {
        Session session;
        std::vector<uint8_t> input;
        size_t pos = 0; // start of the first request not yet served
    };
    struct Output {
        uint32_t dueMs;
        std::vector<uint8_t> bytes;
        bool dropAfter;
    };
    struct Link {
        int fd = -1;
        uint32_t id = 0;
        std::vector<uint8_t> in;
        std::vector<uint8_t> out;
        size_t outPos = 0;
        std::deque<Output> held;
        size_t heldBytes = 0;
        uint32_t acceptedMs = 0;
        bool loggedIn = false; // a session of this link has logged in
        std::map<uint16_t, Channel> channels;
        bool dropWhenFlushed = false;
        bool dead = false;
        uint32_t peer = 0;         // the client's IPv4 address
        bool keepSessions = false; // dropped on purpose: the sessions wait for a reconnect
    };
    // Sessions of a link that broke, kept for the client's reconnect frame.
    struct Orphans {
        uint32_t peer;
        uint32_t deadlineMs;
        std::map<uint16_t, Channel> channels;
    };

    void Accept();
    std::unique_ptr<Link> NewLink(int fd);
    bool Consume(Link &l, const uint8_t *data, size_t n);
    size_t Inbound(const Link &l) const;
    void Drop(Link &l, const char *why);
    void TakeOutput(Link &l, std::vector<uint8_t> &out);
    void AnswerDiscovery();
    void ReadLink(Link &l);
    void WriteLink(Link &l);
    void ReleaseHeld(Link &l);
    bool ParseFrames(Link &l);
    void OpenChannel(Link &l, uint16_t number);
    void Reconnect(Link &l);
    bool ServeRequests(Link &l, Channel &c);
    void Queue(Link &l, std::vector<uint8_t> bytes, bool dropAfter);
    // Polls `fds`; after serving (`served`) it spins first as the policy says.
    int Wait(std::vector<pollfd> &fds, int timeout, bool served);
    void ReadAhead();
    void Log(const char *fmt, ...) __attribute__((format(printf, 2, 3)));

    ServerContext &ctx_;
    const HandlerTable &table_;
    int listenFd_ = -1;
    int udpFd_ = -1;
    uint16_t port_ = 0;
    uint32_t nextLinkId_ = 1;
    bool listenResting_ = false;
    uint32_t listenRestUntilMs_ = 0;
    std::vector<std::unique_ptr<Link>> links_;
    std::deque<Orphans> orphans_;
    std::FILE *log_ = nullptr;
    SpinPolicy spin_{kMaxSpinMicros};
    uint32_t cpus_ = 1;
    std::chrono::steady_clock::time_point lastLoadLook_{};
};

} // namespace qxs
