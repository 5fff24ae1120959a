// Socket layer of the TCP/IP component.
//
// POSIX sockets are called directly. Every wrapped call keeps the last socket
// error as a Winsock-style number (10035 would block, 10036 in progress, 10056
// already connected, 10055 no buffer or no free slot, ...), which is what the
// layers above test. Sockets are referred to by slot number in a process-wide
// table of 512 slots (slot 0 is never handed out).
//
// SockGen is the only socket object: non-blocking, with a 30000-byte receive
// buffer from which exact reads are served, so that 12-byte frame headers and
// their data do not each cost a system call. The same object serves the
// server side: listeners, accepted connections, the discovery socket, and the
// plain-stream reads (what is available, one CR LF line).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// A server location: family 2 (IPv4), port and address in host order, and the
// protocol (6, TCP).
struct QXLocationRecord {
    uint16_t family = 2;
    uint16_t port = 0;
    uint32_t address = 0;
    uint16_t protocol = 6;
};

namespace nc {

enum : int32_t {
    kWsaInvalid = 10022,
    kWsaWouldBlock = 10035,
    kWsaInProgress = 10036,
    kWsaAlready = 10037,
    kWsaNoLibrary = 10051,
    kWsaNoBuffers = 10055,
    kWsaIsConnected = 10056,
    kWsaNotConnected = 10057,
    kWsaTimedOut = 10060,
    kWsaRefused = 10061,
    kWsaHostUnreachable = 10065,
};

enum : int16_t {
    kSockNoSocket = -10001,
    kSockError = -10002,
    kReceiveBusy = -10030,
    kLengthMismatch = -10033,
    kLinkReestablished = -10066,
};

int32_t LastSocketError();
void SetLastSocketError(int32_t code);
int32_t WsaFromErrno(int err);

// Use count of the socket services: every component holds one use.
int LoadSocketLibrary();
void UnloadSocketLibrary();
int SocketLibraryUses();

constexpr int kSocketSlots = 512;
// A new slot for a socket of `type` (SOCK_STREAM, SOCK_DGRAM), or -1 with the
// last error set (10055 when every slot is taken).
int SlotOpen(int type, int protocol);
// A slot for a socket the system already made (an accepted connection).
int SlotAdopt(int fd, int protocol);
// Shuts the sending side, drains what the peer still sent, closes, frees.
void SlotClose(int slot);
int SlotFd(int slot);

bool SameServer(const QXLocationRecord &a, const QXLocationRecord &b);

class SockGen {
public:
    SockGen() = default;
    ~SockGen() { Close(); }
    SockGen(const SockGen &) = delete;
    SockGen &operator=(const SockGen &) = delete;

    // Makes a non-blocking socket: stream sockets get TCP no-delay, datagram
    // sockets broadcast. 0, -10001 (no socket) or -10002.
    int Create(int type);
    bool IsOpen() const { return slot_ > 0; }
    int Fd() const;
    void Close();

    // Starts a non-blocking connect: 0 connected, 1 under way, -1 failed.
    int ConnectStart(const QXLocationRecord &to);
    // Polls a connect under way: 0 connected, 1 still under way, -1 failed.
    int ConnectPoll();

    // Reads exactly `n` bytes into dst, `done` counting what has arrived over
    // calls: 0 complete, 1 partial or would block, -1 peer closed or error.
    int ReadExact(uint8_t *dst, size_t n, size_t &done);
    // Skips n bytes: as ReadExact without a destination.
    int Skip(size_t n, size_t &done);
    // Sends buf[done..n): 0 complete, 1 partial or would block, -1 error.
    int SendAll(const uint8_t *buf, size_t n, size_t &done);
    // True when buffered input is waiting.
    bool HasBuffered() const { return rpos_ < rfill_; }

    // Datagrams of `n` bytes: 0 sent/received, 1 would block, -1 error.
    // A paused socket sends nothing (and reports 0).
    int SendTo(const uint8_t *buf, size_t n, uint32_t address, uint16_t port);
    int RecvFrom(uint8_t *buf, size_t cap, size_t &got, uint32_t &address, uint16_t &port);

    // Server side. Listen binds to `address`:`port` (host order, 0 = any
    // address; port 0 takes a free one), with address reuse, and listens
    // with a backlog of 5: 0 or -10002. Bind does the same for a datagram
    // socket without listening: 0 or -1.
    int Listen(uint16_t port, uint32_t address);
    int Bind(uint16_t port, uint32_t address);
    // Takes one waiting connection into `out` (non-blocking, TCP no-delay as
    // `noDelay` says, the listener's protocol): 1 accepted, 0 none waiting
    // (or the listener is paused, which closes the connection at once),
    // -10001 on an error. `peer` gets the caller's address and port.
    int Accept(SockGen &out, QXLocationRecord &peer, bool noDelay);
    // The socket's own address and port (host order; 0 on failure).
    uint32_t LocalAddress() const;
    uint16_t LocalPort() const;
    void SetNoDelay(bool on);
    // The socket (with what its buffer holds) passes from `other` to this
    // one, whose own socket closes.
    void TakeFrom(SockGen &other);
    // The paused flag: a paused listener closes what it accepts, a paused
    // datagram socket sends nothing.
    bool paused = false;

    // Plain-stream reads. ReadSome hands over what is available, at most
    // `n` bytes, in `got`: 0 something read, 1 would block, -1 closed or
    // error. ReadLine collects one line ending in CR LF (kept) into dst,
    // `done` counting over calls; a line of `cap` bytes without its end is
    // handed over as it is: 0 complete, 1 partial, -1 closed or error.
    int ReadSome(uint8_t *dst, size_t n, size_t &got);
    int ReadLine(uint8_t *dst, size_t cap, size_t &done);

private:
    int Fill();
    int slot_ = -1;
    std::unique_ptr<uint8_t[]> rbuf_;
    size_t rfill_ = 0;
    size_t rpos_ = 0;
};

// The four bytes of an IPv4 address (host order) as dotted-quad text.
std::string AddressText(uint32_t address);

// Resolves "host", "host:port" or "host,port" (a length-prefixed string) to a
// location: digits and dots are an address unless they give 0.0.0.0 or
// 255.255.255.255; other host names are looked up (not those with a tab or
// characters no host name has). False when nothing resolves.
bool ResolveServerAddress(const unsigned char *text, uint16_t defaultPort, QXLocationRecord &out);

// The local computer's name, at most 31 characters.
std::string GetLocalComputerName();

// Up to `count` IPv4 addresses of the local host (host order) from its name;
// their number (0 when the name does not resolve).
int LocalAddresses(uint32_t *out, int count);

} // namespace nc
