// The TCP/IP network component: one entry, NetworkComponentEntry, taking a
// ComponentParamBlock whose selector names the operation.
//
// Client selectors: 0 create, 1 poll, 2 destroy, 6 select (the dialog of
// nc_select_dialog.h), 7 find / free a location, 8 open a channel, 9 close,
// 10 receive, 11 send, 12 / 13 set / read an option, 19 channel status,
// 23 queue a small frame, 27-30 discovery for programs.
//
// Server selectors (nc_server.cpp): 3 start the stream listener and the
// discovery socket with a service name, 4 stop them, 5 server poll (accept
// waiting connections as links, answer discovery queries, run the links and
// hand over one channel a peer opened; with length 667 merge a link that came
// back after a break into the peer's older link), 25 local addresses, 32
// pause. A server program's order of calls: 0, options ('port', 'tpub',
// 'IPTa', 'time'), 3, then 5 in a loop; a block that comes back from 5 with
// result 0 carries a new channel (and its link), which is served with 9, 10,
// 11 and 19 like a client's; 4 and 2 at the end. A poll that accepted a
// connection points `location` at the peer's address kept by the new link
// and writes the peer's port to `value`. A 'port' of 0 at selector 3 takes a
// free port, which 'port' then reads back (likewise 'altp' at selector 21).
//
// Plain streams (nc_rawstream.cpp): unframed TCP connections of the
// component, the RawStreamNodes: 21 / 22 start / stop the alternate
// listener, 14 accept one connection, 33 connect one, 15 poll, 17 / 18
// receive / send, 16 finish a node, 24 its state. Selector 14 writes the new
// node to `node`, points `location` at the peer's address kept by the node
// and writes the local IPv4 address to `value`. A node's owner names it in
// the block's `node`; a node whose connection fails is deleted by the poll
// after its pending block got -10002, so every selector first looks the node
// up in the component's list (unknown: -10002) and never follows a stale one.
// This component carries no secure-socket provider: 34 answers -1 and the
// secure listener and secure nodes never exist.
//
// Operations that complete later (open, close, send, receive) leave 1 in the
// block's result; polling (selector 1, 5 or 15) runs the links and writes the
// final status into that same block, which therefore must stay alive until
// then.
#pragma once

#include "netclient/nc_socket.h"
#include "netclient/qxnetclient.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct ServerLink;
struct LinkChannel;
struct RawStreamNode;

struct ComponentParamBlock {
    int32_t selector = 0;
    int32_t result = 0;
    TcpComponent *component = nullptr;
    LinkChannel *channel = nullptr;
    RawStreamNode *node = nullptr; // the channel of the plain-stream selectors
    ServerLink *link = nullptr;
    QXLocationRecord *location = nullptr;
    const unsigned char *name = nullptr;
    unsigned char *text = nullptr;
    void *data = nullptr;
    int32_t length = 0;
    int32_t marker = 0;
    int32_t extra = 0;
    uint32_t code = 0;
    int32_t value = 0;
    int16_t secureResult = 0;
};

constexpr uint32_t FourCC(const char (&s)[5])
{
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
           (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

namespace nc {
constexpr uint16_t kDefaultServerPort = 19813;
constexpr size_t kChannelBuffer = 3000;
constexpr size_t kFrameHeader = 12;
constexpr size_t kHandshakeSize = 72;
// Largest data frame accepted from a peer; a bigger length fails the link.
constexpr uint32_t kMaxFrameData = 64u * 1024 * 1024;
// Link time is counted in ticks of 1/60 second.
uint32_t TicksSinceMs(uint32_t startMs);
} // namespace nc

enum LinkFrameKind : uint8_t {
    kFrameOpen = 1,
    kFrameClose = 2,
    kFrameData = 3,
    kFramePingOld = 7,
    kFrameReconnect = 66,
    kFramePing = 249,
};

// A received data block of a channel.
struct RecvBlock {
    std::vector<uint8_t> own; // the bytes, unless they go straight to `direct`
    uint8_t *direct = nullptr;
    uint32_t length = 0;
    bool complete = false;
    uint8_t *Data() { return direct ? direct : own.data(); }
};

struct LinkChannel {
    enum State : int16_t {
        kIdle = 0,
        kWaiting = 1,
        kOpening = 2,
        kClosing = 3,
        kClosed = 4,
        kSending = 6,
        kPeerClosed = 7,
        kBroken = 8,
        kFinished = 9,
    };
    ServerLink *link = nullptr;
    uint16_t number = 0;
    int16_t state = kOpening;
    bool smallFramePrepared = false;
    bool queued = false;
    uint8_t buf[nc::kChannelBuffer];
    size_t bufLen = 0;
    const uint8_t *rest = nullptr; // data beyond the buffer, sent from the caller's
    size_t restLen = 0;
    std::deque<RecvBlock> blocks;
    ComponentParamBlock *pending = nullptr;
    uint8_t *wantDst = nullptr;
    uint32_t wantLen = 0;
    std::vector<uint8_t> restOwn; // the unsent rest, kept when the owner closes mid-send
    bool closeAfterSend = false;
    uint32_t epoch =
        0; // counts re-establishments of the link: an exchange begun before one is lost
    // False for a channel the peer opened, until a server poll hands it over.
    bool handedOver = true;
};

struct ServerLink {
    enum SendState {
        kSendHandshake = 0,
        kConnecting = 1,
        kAwaitHandshake = 2,
        kReady = 3,
        kSendingChannel = 8,
        kSendDead = 6
    };
    enum RecvState {
        kRecvConnecting = 1,
        kRecvHandshake = 2,
        kRecvHeader = 3,
        kRecvSkip = 5,
        kRecvDead = 6,
        kRecvData = 7
    };
    TcpComponent *component = nullptr;
    nc::SockGen sock;
    int sendState = kConnecting;
    int recvState = kRecvConnecting;
    uint8_t header[nc::kFrameHeader];
    size_t headerGot = 0;
    std::deque<LinkChannel *> queue;
    std::vector<std::unique_ptr<LinkChannel>> channels;
    LinkChannel *recvChannel = nullptr;
    RecvBlock *recvBlock = nullptr;
    size_t recvGot = 0;
    LinkChannel *sendChannel = nullptr;
    size_t sendDone = 0; // of the channel buffer
    size_t restDone = 0; // of the data beyond it
    size_t skipLeft = 0;
    size_t skipDone = 0;
    uint32_t idleTicks = 0; // 0: never times out
    uint32_t lastActivityMs = 0;
    int keepAlive = 0; // 0, -1 after a ping went out, -2 after a second period
    uint8_t ping[nc::kFrameHeader];
    bool pingSending = false;
    size_t pingDone = 0;
    uint8_t handshake[nc::kHandshakeSize] = {};
    size_t handshakeGot = 0;
    QXLocationRecord location;
    bool cleanup = false;
    bool openedHere = true;     // false for a link the server side accepted
    bool reestablished = false; // accepted link that the peer announced as a reconnect
    bool peerOpened = false;    // a channel the peer opened waits: reading pauses
    size_t handshakeSent = 0;   // accepting side: of the handshake block
    bool dead = false;
    uint32_t connectStartMs = 0;
    int16_t failStatus = nc::kSockError; // what the pending blocks get when the link fails
};

// A plain (unframed) stream connection of the component: accepted on the
// alternate listener or connected by selector 33. One operation at a time.
struct RawStreamNode {
    enum State : int16_t {
        kNew = 0,
        kIdle = 1,
        kReceiving = 2,
        kSending = 3,
        kDead = 4,
        kConnecting = 5,
    };
    int16_t state = kNew;
    nc::SockGen sock;
    ComponentParamBlock *pending = nullptr;
    uint32_t stampMs = 0;  // start or last progress of the operation under way
    QXLocationRecord peer; // the far end
    uint32_t localAddress = 0;
    uint32_t timeoutSeconds = 15; // option 'altT'
    // The operation under way: receive into dst (want 0: one CR LF line of
    // up to kLineMax bytes; -n: what is available, up to n; n: exactly n),
    // or send src[0..want).
    uint8_t *dst = nullptr;
    const uint8_t *src = nullptr;
    int32_t want = 0;
    size_t done = 0;
};

namespace nc {
// The longest line a plain-stream receive of length 0 collects: the
// receiving buffer must hold this many bytes.
constexpr size_t kLineMax = 30000;
} // namespace nc

struct TcpComponent {
    // Held by every component operation and by each step of a request, so
    // that connections on one component may be used from several threads.
    std::recursive_mutex mutex;
    std::vector<std::unique_ptr<ServerLink>> links;
    uint16_t port = nc::kDefaultServerPort;
    uint16_t altPort = 80;
    uint16_t securePort = 443;
    uint32_t altBind = 0;
    uint8_t broadcast = 1;
    uint32_t broadcastAddress = 0xFFFFFFFFu;
    uint32_t idleSeconds = 0;
    bool noDelay = true;
    bool reconnect = false;
    bool reestablished = false;
    char published[32] = "QX Server";
    char selected[32] = "QX Server";
    char wanted[32] = "QX Server";
    std::vector<std::string> accessPatterns;
    uint16_t clientVersion = 0;
    uint32_t openTimeoutMs = 0;  // 'otim': bound of a whole connection open, 0 none
    uint32_t replyTimeoutMs = 0; // 'rtim': a new connection's reply time, 0 none

    // Server side.
    nc::SockGen listener;    // stream listener on `port` (selector 3)
    nc::SockGen discovery;   // UDP socket on `port` answering queries
    nc::SockGen altListener; // plain-stream listener on `altPort` (selector 21)
    char serviceName[64] = {};
    uint8_t identity[96] = {}; // the answer to a matching discovery query
    std::vector<std::unique_ptr<RawStreamNode>> nodes;
};

void NetworkComponentEntry(ComponentParamBlock *pb);

// Link layer (nc_link.cpp; the server side in nc_link_server.cpp).
namespace nc {
void LinkOpenChannel(TcpComponent *comp, ComponentParamBlock *pb);
void LinkCloseChannel(ComponentParamBlock *pb);
void LinkSend(ComponentParamBlock *pb);
void LinkSmallFrame(ComponentParamBlock *pb);
void LinkReceive(ComponentParamBlock *pb);
int32_t LinkChannelStatus(LinkChannel *ch);
// Runs one pump of the link: 44 something happened, 1 nothing, 0 dead.
int LinkPump(ServerLink *link);
// Server side: makes a link of a connection accepted from `peer` (its
// socket already in link->sock); its handshake goes out on the next pumps.
void LinkAccepted(TcpComponent *comp, ServerLink *link, const QXLocationRecord &peer);
// The first channel the peer opened on the link that was not handed over
// yet, now handed over; none when no such channel waits.
LinkChannel *LinkTakePeerChannel(ServerLink *link);
// Selector 5 with 667: when `link` is marked re-established, the older link
// from the same peer address (a broken one first) takes over its socket and
// `link` is deleted with its channels: 1. Else nothing happens: 0.
int LinkMerge(TcpComponent *comp, ServerLink *link);
// Waits up to `ms` for any link of the component to become ready; takes the
// component's lock only to collect the sockets, never while waiting.
// Before it sleeps in poll, LinkWait looks at the sockets (yielding the CPU
// between two looks) for as long as that pays: a reply usually comes within
// microseconds on loopback, and a thread put to sleep wakes up slowly on an
// idle (virtual) CPU, but on a loaded machine a spinning thread holds a CPU
// the server needs and loses the quick wake-up of a sleeping one.
// LinkSpinPolicy decides from what the thread's recent waits showed:
//   - no spin while the machine is loaded (more runnable threads than CPUs
//     at the last look, or a spin that lost its CPU, a gap of
//     kPreemptedMicros between two looks, within the last kLoadedWaits
//     waits);
//   - no spin while fewer than a quarter of the recent waits ended within
//     kLinkSpinMicros, except every kProbeEvery-th wait, which spins in full;
//   - otherwise half as long again as the longest recent wait (a wait
//     counts less and less over the next waits, by 1/16 each) plus
//     kSlackMicros, at least kMinMicros and at most kLinkSpinMicros.
// The environment's QX_LINK_SPIN_US (read once) fixes the spin instead (0
// never); LinkSpinMicros gives it, -1 when unset.
inline constexpr int kLinkSpinMicros = 300;
int LinkSpinMicros();
struct LinkSpinObservation {
    uint32_t budgetMicros = 0; // how long the wait was ready to spin
    uint32_t waitedMicros = 0; // from its start to the event, or to giving up
    bool arrived = true;       // false: the wait gave up without an event
    bool preempted = false;    // the spin lost its CPU for a while
};
class LinkSpinPolicy {
public:
    static constexpr uint32_t kMinMicros = 20;
    static constexpr uint32_t kSlackMicros = 10;
    static constexpr uint32_t kPreemptedMicros = 100;
    static constexpr uint32_t kLoadedWaits = 64;
    static constexpr uint32_t kProbeEvery = 32;

    explicit LinkSpinPolicy(uint32_t maxMicros) : max_(maxMicros), longest_(maxMicros) {}
    // How long the next wait spins (0: it sleeps at once).
    uint32_t Budget() const;
    void Record(const LinkSpinObservation &o);
    // The machine as last seen: threads ready to run, CPUs.
    void NoteLoad(uint32_t runnable, uint32_t cpus) { busy_ = cpus > 0 && runnable > cpus; }

private:
    uint32_t max_;
    uint32_t longest_;       // longest recent wait within max_ (fades by 1/16 a wait)
    uint32_t hits_ = 256;    // share of recent waits within max_, in 256ths (1/8)
    uint32_t preempted_ = 0; // waits left without spinning after a lost CPU
    uint32_t sinceSpin_ = 0; // waits since the last one that spun
    bool busy_ = false;
};
void LinkWait(TcpComponent *comp, int ms);
// Gives up the link that carries `ch` (its owner stopped waiting for it):
// the socket closes and every pending block of its channels gets `status`,
// or QX_ERR_NOT_ANSWERING while the link was not yet connected and greeted.
// Called with the component's lock held.
void LinkAbandon(LinkChannel *ch, int16_t status);
void LinkDestroy(ServerLink *link);
// Writes a 12-byte frame header.
void PutFrameHeader(uint8_t *out, uint8_t kind, uint16_t channel, uint32_t length);
} // namespace nc

// Discovery (nc_discovery.cpp).
namespace nc {
// Broadcasts a find query for `text` ("service" or "service\tcomputer") and
// waits about two seconds for answers. False when no server answered.
bool FindServerByBroadcast(TcpComponent *comp, const unsigned char *text, QXLocationRecord &out);
// Selectors 27-30: the discovery record travels in the block's data field;
// selector 30 answers the text list in text and the answer count in length.
void DiscoveryOpen(TcpComponent *comp, ComponentParamBlock *pb);
void DiscoveryClose(ComponentParamBlock *pb);
void DiscoverySend(ComponentParamBlock *pb);
void DiscoveryRead(ComponentParamBlock *pb);
// Builds a 96-byte query.
void BuildServerQuery(uint8_t out[96], uint16_t code, const char *published,
                      const std::string &service);
// Server side: the 96-byte identity answer from the local computer name and
// the component's published and service names; answering every waiting
// query on the discovery socket that asks for them.
void BuildIdentityAnswer(TcpComponent *comp);
void AnswerServerQueries(TcpComponent *comp);
} // namespace nc

// Server side (nc_server.cpp) and plain streams (nc_rawstream.cpp).
namespace nc {
void StartComponentSockets(TcpComponent *comp, ComponentParamBlock *pb); // selector 3
void StopComponentSockets(TcpComponent *comp);                           // selector 4
void ServerPoll(TcpComponent *comp, ComponentParamBlock *pb);            // selector 5
// Runs every link once as selector 1 does; with `handOver`, stops at the
// first channel a peer opened and writes it (and its link) to the block with
// result 0. Else result 1.
void PollLinks(TcpComponent *comp, ComponentParamBlock *pb, bool handOver);
void PauseServer(TcpComponent *comp, ComponentParamBlock *pb); // selector 32
void GetLocalAddresses(ComponentParamBlock *pb);               // selector 25
// True when the access patterns let `address` (host order) connect: no
// patterns allow all; else the first "+" pattern that matches allows, the
// first "-" one refuses; no match refuses. "?" is one character, "*" any run.
bool AddressAllowed(const std::vector<std::string> &patterns, uint32_t address);
bool MatchAddressPattern(const char *pattern, const char *text);

void StartAltListener(TcpComponent *comp, ComponentParamBlock *pb);   // selector 21
void StopAltListener(TcpComponent *comp);                             // selector 22
void AcceptPlainStream(TcpComponent *comp, ComponentParamBlock *pb);  // selector 14
void PollPlainStreams(TcpComponent *comp, ComponentParamBlock *pb);   // selector 15
void FinishPlainStream(TcpComponent *comp, ComponentParamBlock *pb);  // selector 16
void PlainStreamReceive(TcpComponent *comp, ComponentParamBlock *pb); // selector 17
void PlainStreamSend(TcpComponent *comp, ComponentParamBlock *pb);    // selector 18
void PlainStreamState(TcpComponent *comp, ComponentParamBlock *pb);   // selector 24
void ConnectPlainStream(TcpComponent *comp, ComponentParamBlock *pb); // selector 33
// The node when it is one of the component's, else none.
RawStreamNode *FindPlainStream(TcpComponent *comp, RawStreamNode *node);
void DestroyPlainStreams(TcpComponent *comp);
} // namespace nc
