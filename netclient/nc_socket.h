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
// their data do not each cost a system call.
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
    int SendTo(const uint8_t *buf, size_t n, uint32_t address, uint16_t port);
    int RecvFrom(uint8_t *buf, size_t cap, size_t &got, uint32_t &address, uint16_t &port);

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

} // namespace nc
