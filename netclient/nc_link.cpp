// Link layer: one TCP connection per server carrying numbered channels.
//
// Wire: every piece is a 12-byte frame header (kind, 0, channel big-endian,
// length big-endian, marker bytes 1 2 3 4), data frames followed by their
// data. The accepting side first sends a 72-byte handshake (length 72, version
// 2, service name). Nothing runs on its own: LinkPump does the work each time
// the owner polls, reading and sending as far as the socket allows.
//
// Channel life: open (kind-1 frame queued; pending until sent) -> idle ->
// send (pending until the frame is out) / receive (pending until a block of
// the asked length arrived) -> close (kind-2 frame; pending until sent) ->
// deleted at the link's clean-up. A channel is only ever deleted after its
// owner closed it, so an owner never holds a dangling channel.
#include "netclient/nc_codec.h"
#include "netclient/nc_component.h"
#include "netclient/nc_link_internal.h"
#include "platform/clock.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

namespace nc {

using namespace link;

uint32_t TicksSinceMs(uint32_t startMs)
{
    return uint32_t(uint64_t(PlatTicksSince(startMs)) * 6 / 100);
}

void PutFrameHeader(uint8_t *out, uint8_t kind, uint16_t channel, uint32_t length)
{
    out[0] = kind;
    out[1] = 0;
    PlatPutBE16(out + 2, channel);
    PlatPutBE32(out + 4, length);
    out[8] = 1, out[9] = 2, out[10] = 3, out[11] = 4;
}

namespace link {

void Complete(LinkChannel *ch, int32_t result)
{
    if (ch->pending) {
        ch->pending->result = result;
        ch->pending = nullptr;
    }
}

void DropTransfers(ServerLink *link)
{
    link->queue.clear();
    link->sendChannel = nullptr;
    link->recvChannel = nullptr;
    link->recvBlock = nullptr;
    link->pingSending = false;
    for (auto &c : link->channels) {
        LinkChannel *ch = c.get();
        ++ch->epoch;
        ch->queued = false;
        ch->blocks.clear();
        ch->wantDst = nullptr;
        ch->bufLen = 0;
        ch->rest = nullptr;
        ch->restLen = 0;
        ch->restOwn.clear();
        ch->smallFramePrepared = false;
        ch->closeAfterSend = false;
        if (ch->state == LinkChannel::kClosing) {
            ch->state = LinkChannel::kClosed;
            Complete(ch, 0);
            link->cleanup = true;
        } else if (ch->state != LinkChannel::kClosed && ch->state != LinkChannel::kFinished &&
                   ch->state != LinkChannel::kPeerClosed) {
            ch->state = LinkChannel::kIdle;
            Complete(ch, kLinkReestablished);
        }
    }
}

void Activity(ServerLink *link)
{
    link->lastActivityMs = PlatTickCount();
    link->keepAlive = 0;
}

LinkChannel *FindChannel(ServerLink *link, uint16_t number)
{
    for (auto &c : link->channels)
        if (c->number == number && c->state != LinkChannel::kFinished)
            return c.get();
    return nullptr;
}

} // namespace link

namespace {

constexpr uint32_t kConnectTimeoutTicks = 1200;

void Enqueue(ServerLink *link, LinkChannel *ch)
{
    if (!ch->queued) {
        link->queue.push_back(ch);
        ch->queued = true;
    }
}

void Dequeue(ServerLink *link, LinkChannel *ch)
{
    if (ch->queued) {
        link->queue.erase(std::remove(link->queue.begin(), link->queue.end(), ch),
                          link->queue.end());
        ch->queued = false;
    }
}

// The rest of a block being received into a channel that goes away is skipped.
void StopReceivingInto(ServerLink *link, LinkChannel *ch)
{
    if (link->recvChannel != ch)
        return;
    if (link->recvState == ServerLink::kRecvData && link->recvBlock) {
        link->skipLeft = link->recvBlock->length - link->recvGot;
        link->skipDone = 0;
        link->recvState = link->skipLeft ? ServerLink::kRecvSkip : ServerLink::kRecvHeader;
    }
    link->recvChannel = nullptr;
    link->recvBlock = nullptr;
}

void FailLink(ServerLink *link, int16_t status = kSockError)
{
    link->dead = true;
    link->sock.Close();
    link->sendState = ServerLink::kSendDead;
    link->recvState = ServerLink::kRecvDead;
    link->queue.clear();
    link->sendChannel = nullptr;
    link->recvChannel = nullptr;
    link->recvBlock = nullptr;
    for (auto &c : link->channels) {
        LinkChannel *ch = c.get();
        ch->queued = false;
        ch->blocks.clear();
        ch->wantDst = nullptr;
        if (ch->state == LinkChannel::kClosing) {
            ch->state = LinkChannel::kClosed;
            Complete(ch, 0);
        } else if (ch->state != LinkChannel::kClosed && ch->state != LinkChannel::kFinished) {
            ch->state = LinkChannel::kBroken;
            Complete(ch, status);
        }
    }
    link->cleanup = true;
}

uint16_t NextFreeChannel(ServerLink *link)
{
    uint16_t n = 1;
    for (;;) {
        bool taken = false;
        for (auto &c : link->channels)
            if (c->number == n) {
                taken = true;
                break;
            }
        if (!taken)
            return n;
        ++n;
    }
}

} // namespace

void link::DeleteChannel(ServerLink *link, LinkChannel *ch)
{
    Dequeue(link, ch);
    StopReceivingInto(link, ch);
    link->channels.erase(std::remove_if(link->channels.begin(), link->channels.end(),
                                        [ch](const auto &c) { return c.get() == ch; }),
                         link->channels.end());
}

namespace {

void BuildCloseFrame(LinkChannel *ch)
{
    PutFrameHeader(ch->buf, kFrameClose, ch->number, 0);
    ch->bufLen = kFrameHeader;
    ch->rest = nullptr;
    ch->restLen = 0;
    ch->smallFramePrepared = false;
    ch->state = LinkChannel::kClosing;
}

// A frame of the channel went out completely.
void FinishSend(ServerLink *link, LinkChannel *ch)
{
    ch->bufLen = 0;
    ch->rest = nullptr;
    ch->restLen = 0;
    ch->restOwn.clear();
    ch->smallFramePrepared = false;
    switch (ch->state) {
    case LinkChannel::kOpening:
        ch->state = LinkChannel::kIdle;
        Complete(ch, 0);
        break;
    case LinkChannel::kClosing:
        if (ch->closeAfterSend) { // the data frame went out; now the close frame
            ch->closeAfterSend = false;
            BuildCloseFrame(ch);
            Enqueue(link, ch);
            break;
        }
        ch->state = LinkChannel::kClosed;
        Complete(ch, 0);
        link->cleanup = true;
        break;
    case LinkChannel::kSending:
        ch->state = LinkChannel::kIdle;
        Complete(ch, 0);
        break;
    default: break;
    }
}

// Hands the first queued block to a waiting receive when it is complete;
// true when it did.
bool TryDeliver(LinkChannel *ch)
{
    if (ch->state != LinkChannel::kWaiting || ch->blocks.empty() || !ch->blocks.front().complete)
        return false;
    RecvBlock &b = ch->blocks.front();
    int32_t result = 0;
    if (b.length == ch->wantLen) {
        if (!b.direct && b.length)
            std::memcpy(ch->wantDst, b.own.data(), b.length);
    } else {
        result = kLengthMismatch;
    }
    ch->blocks.pop_front();
    ch->wantDst = nullptr;
    ch->state = LinkChannel::kIdle;
    Complete(ch, result);
    return true;
}

// Interprets a complete frame header. False when the link must fail.
bool ReceiveFrame(ServerLink *link)
{
    const uint8_t *h = link->header;
    if (h[8] != 1 || h[9] != 2 || h[10] != 3 || h[11] != 4)
        return false;
    uint8_t kind = h[0];
    uint16_t number = PlatGetBE16(h + 2);
    uint32_t length = PlatGetBE32(h + 4);
    link->recvState = ServerLink::kRecvHeader;
    if (kind == kFramePing || kind == kFramePingOld) {
        if (link->idleTicks == 0 || length < link->idleTicks) {
            link->idleTicks = length;
            link->lastActivityMs = PlatTickCount();
        }
        return true;
    }
    if (kind == kFrameReconnect) {
        if (!link->openedHere) // a client whose link broke announces its new one
            link->reestablished = true;
        kind = kFrameOpen;
    }
    if (kind != kFrameOpen && kind != kFrameClose && kind != kFrameData)
        return false;
    if (kind != kFrameData)
        length = 0;
    if (length > kMaxFrameData)
        return false;
    LinkChannel *ch = FindChannel(link, number);
    bool accepting = ch && ch->state != LinkChannel::kClosing &&
                     ch->state != LinkChannel::kClosed && ch->state != LinkChannel::kPeerClosed &&
                     ch->state != LinkChannel::kBroken;
    if (kind == kFrameClose) {
        if (accepting) {
            if (ch->state == LinkChannel::kWaiting) {
                ch->wantDst = nullptr;
                Complete(ch, kSockNoSocket);
            }
            ch->blocks.clear();
            ch->state = LinkChannel::kPeerClosed;
            link->cleanup = true;
        }
        return true;
    }
    if (kind == kFrameOpen) {
        // Only the accepting side takes channels opened by the peer; they
        // wait for a server poll to hand them over, and reading stops for
        // this pump so that the owner sees the channel (and may merge its
        // link) before anything else of the link is read.
        if (ch && !link->openedHere && ch->state == LinkChannel::kClosed &&
            link->sendChannel != ch) {
            // Its owner closed it and the peer opens the number anew before
            // the clean-up came round: the old channel goes now.
            DeleteChannel(link, ch);
            ch = nullptr;
        }
        if (!ch && !link->openedHere) {
            auto peer = std::make_unique<LinkChannel>();
            peer->link = link;
            peer->number = number;
            peer->state = LinkChannel::kIdle;
            peer->handedOver = false;
            link->channels.push_back(std::move(peer));
            link->peerOpened = true;
        }
        return true;
    }
    if (length == 0)
        return true;
    if (!accepting) {
        link->skipLeft = length;
        link->skipDone = 0;
        link->recvState = ServerLink::kRecvSkip;
        return true;
    }
    RecvBlock b;
    b.length = length;
    if (ch->state == LinkChannel::kWaiting && ch->blocks.empty() && ch->wantLen == length) {
        b.direct = ch->wantDst;
    } else {
        try {
            b.own.resize(length);
        } catch (...) {
            return false;
        }
    }
    ch->blocks.push_back(std::move(b));
    link->recvChannel = ch;
    link->recvBlock = &ch->blocks.back();
    link->recvGot = 0;
    link->recvState = ServerLink::kRecvData;
    return true;
}

// Send side: returns false when the link failed.
bool PumpSend(ServerLink *link, bool &progress)
{
    for (;;) {
        switch (link->sendState) {
        case ServerLink::kSendHandshake: {
            size_t before = link->handshakeSent;
            int r = link->sock.SendAll(link->handshake, kHandshakeSize, link->handshakeSent);
            if (link->handshakeSent != before)
                progress = true;
            if (r < 0)
                return false;
            if (r == 1)
                return true;
            link->sendState = ServerLink::kReady;
            link->recvState = ServerLink::kRecvHeader;
            Activity(link);
            continue;
        }
        case ServerLink::kConnecting: {
            int r = link->sock.ConnectPoll();
            if (r == 0) {
                link->sendState = ServerLink::kAwaitHandshake;
                link->recvState = ServerLink::kRecvHandshake;
                Activity(link);
                progress = true;
                continue;
            }
            if (r < 0) {
                int32_t e = LastSocketError();
                link->failStatus =
                    int16_t(e == kWsaRefused || e == kWsaHostUnreachable ? int16_t(QX_ERR_REFUSED)
                                                                         : int16_t(kSockError));
                return false;
            }
            if (TicksSinceMs(link->connectStartMs) > kConnectTimeoutTicks) {
                link->failStatus = QX_ERR_NOT_ANSWERING;
                return false;
            }
            return true;
        }
        case ServerLink::kReady: {
            if (link->pingSending) {
                int r = link->sock.SendAll(link->ping, kFrameHeader, link->pingDone);
                if (r < 0)
                    return false;
                if (r == 1)
                    return true;
                link->pingSending = false;
                link->lastActivityMs = PlatTickCount(); // a new period, not activity
                progress = true;
                continue;
            }
            if (link->queue.empty())
                return true;
            LinkChannel *ch = link->queue.front();
            link->queue.pop_front();
            ch->queued = false;
            link->sendChannel = ch;
            link->sendDone = link->restDone = 0;
            link->sendState = ServerLink::kSendingChannel;
            continue;
        }
        case ServerLink::kSendingChannel: {
            LinkChannel *ch = link->sendChannel;
            size_t before = link->sendDone + link->restDone;
            int r = link->sock.SendAll(ch->buf, ch->bufLen, link->sendDone);
            if (r == 0 && ch->restLen) {
                const uint8_t *rest = ch->restOwn.empty() ? ch->rest : ch->restOwn.data();
                r = link->sock.SendAll(rest, ch->restLen, link->restDone);
            }
            if (link->sendDone + link->restDone != before) {
                Activity(link);
                progress = true;
            }
            if (r < 0)
                return false;
            if (r == 1)
                return true;
            link->sendChannel = nullptr;
            link->sendState = ServerLink::kReady;
            FinishSend(link, ch);
            continue;
        }
        default: return true;
        }
    }
}

bool PumpReceive(ServerLink *link, bool &progress)
{
    link->peerOpened = false;
    for (;;) {
        int r;
        switch (link->recvState) {
        case ServerLink::kRecvHandshake:
            r = link->sock.ReadExact(link->handshake, kHandshakeSize, link->handshakeGot);
            if (link->handshakeGot >= 4 && PlatGetBE32(link->handshake) != kHandshakeSize)
                return false;
            if (r == 1) { // a server that never sends its handshake is given up like a connect
                if (TicksSinceMs(link->connectStartMs) <= kConnectTimeoutTicks)
                    return true;
                link->failStatus = QX_ERR_NOT_ANSWERING;
                return false;
            }
            if (r != 0)
                return false;
            if (PlatGetBE32(link->handshake + 4) != 2)
                return false;
            link->sendState = ServerLink::kReady;
            link->recvState = ServerLink::kRecvHeader;
            Activity(link);
            progress = true;
            continue;
        case ServerLink::kRecvHeader:
            r = link->sock.ReadExact(link->header, kFrameHeader, link->headerGot);
            if (r != 0)
                return r > 0;
            link->headerGot = 0;
            Activity(link);
            progress = true;
            if (!ReceiveFrame(link))
                return false;
            if (link->peerOpened)
                return true;
            continue;
        case ServerLink::kRecvData: {
            RecvBlock *b = link->recvBlock;
            r = link->sock.ReadExact(b->Data(), b->length, link->recvGot);
            if (r != 0)
                return r > 0;
            Activity(link);
            progress = true;
            b->complete = true;
            LinkChannel *ch = link->recvChannel;
            link->recvBlock = nullptr;
            link->recvChannel = nullptr;
            link->recvState = ServerLink::kRecvHeader;
            // A receive just completed: its owner posts the next one (a
            // reply's body after its header) before the next frame is read,
            // so that body lands in the owner's memory directly instead of
            // being buffered and copied.
            if (TryDeliver(ch))
                return true;
            continue;
        }
        case ServerLink::kRecvSkip:
            r = link->sock.Skip(link->skipLeft, link->skipDone);
            if (r != 0)
                return r > 0;
            Activity(link);
            progress = true;
            link->recvState = ServerLink::kRecvHeader;
            continue;
        default: return true;
        }
    }
}

// Keep-alive: ping after an idle period, give up after two more.
bool KeepAlive(ServerLink *link)
{
    if (link->idleTicks == 0 || link->sendState < ServerLink::kReady)
        return true;
    if (TicksSinceMs(link->lastActivityMs) <= link->idleTicks)
        return true;
    if (link->pingSending) // a ping partly out for a whole period
        return false;
    switch (link->keepAlive) {
    case 0:
        if (link->sendState != ServerLink::kReady)
            return true; // a frame is going out; the ping follows it
        PutFrameHeader(link->ping, kFramePing, 0, link->idleTicks);
        link->pingSending = true;
        link->pingDone = 0;
        link->keepAlive = -1;
        link->lastActivityMs = PlatTickCount();
        return true;
    case -1:
        link->keepAlive = -2;
        link->lastActivityMs = PlatTickCount();
        return true;
    default: return false;
    }
}

// Waits up to the connect time-out for the socket to be ready.
bool WaitSocket(SockGen &sock, short events, uint32_t startMs)
{
    for (;;) {
        uint32_t elapsedTicks = TicksSinceMs(startMs);
        if (elapsedTicks > kConnectTimeoutTicks)
            return false;
        pollfd p{sock.Fd(), events, 0};
        int n = ::poll(&p, 1, 50);
        if (n < 0)
            return false;
        if (n > 0)
            return true;
    }
}

// After a broken link that this side opened, with the reconnect switch on:
// connect again, read the server's handshake, announce the link with a
// kind-66 frame. Every channel keeps its number; whatever was under way on
// it ends with -10066 so that its owner restarts the exchange.
bool Reestablish(ServerLink *link)
{
    TcpComponent *comp = link->component;
    if (!comp || !comp->reconnect || !link->openedHere || link->dead)
        return false;
    link->sock.Close();
    if (link->sock.Create(SOCK_STREAM) != 0)
        return false;
    uint32_t start = PlatTickCount();
    int r = link->sock.ConnectStart(link->location);
    while (r == 1) {
        if (!WaitSocket(link->sock, POLLOUT, start))
            return false;
        r = link->sock.ConnectPoll();
    }
    if (r != 0)
        return false;
    uint8_t handshake[kHandshakeSize];
    size_t got = 0;
    while ((r = link->sock.ReadExact(handshake, kHandshakeSize, got)) == 1)
        if (!WaitSocket(link->sock, POLLIN, start))
            return false;
    if (r != 0 || PlatGetBE32(handshake) != kHandshakeSize || PlatGetBE32(handshake + 4) != 2)
        return false;
    uint8_t frame[kFrameHeader];
    PutFrameHeader(frame, kFrameReconnect, 1, 0);
    frame[4] = 1111 & 0xFF, frame[5] = 1111 >> 8, frame[6] = 0,
    frame[7] = 0; // little-endian by custom
    size_t sent = 0;
    while ((r = link->sock.SendAll(frame, sizeof frame, sent)) == 1)
        if (!WaitSocket(link->sock, POLLOUT, start))
            return false;
    if (r != 0)
        return false;

    link->sendState = ServerLink::kReady;
    link->recvState = ServerLink::kRecvHeader;
    link->headerGot = 0;
    DropTransfers(link);
    comp->reestablished = true;
    Activity(link);
    return true;
}

} // namespace

void LinkOpenChannel(TcpComponent *comp, ComponentParamBlock *pb)
{
    if (!pb->location) {
        pb->result = kSockNoSocket;
        return;
    }
    ServerLink *link = nullptr;
    for (auto &l : comp->links)
        if (!l->dead && l->openedHere && SameServer(l->location, *pb->location)) {
            link = l.get();
            break;
        }
    if (!link) {
        auto made = std::make_unique<ServerLink>();
        made->component = comp;
        made->location = *pb->location;
        if (made->sock.Create(SOCK_STREAM) != 0) {
            pb->result = kSockNoSocket;
            return;
        }
        int r = made->sock.ConnectStart(made->location);
        if (r < 0) {
            pb->result = kSockNoSocket;
            return;
        }
        made->connectStartMs = PlatTickCount();
        if (r == 0) {
            made->sendState = ServerLink::kAwaitHandshake;
            made->recvState = ServerLink::kRecvHandshake;
        }
        link = made.get();
        comp->links.push_back(std::move(made));
    }
    link->idleTicks = comp->idleSeconds * 60;
    Activity(link);
    auto ch = std::make_unique<LinkChannel>();
    ch->link = link;
    ch->number = NextFreeChannel(link);
    ch->state = LinkChannel::kOpening;
    PutFrameHeader(ch->buf, kFrameOpen, ch->number, 0);
    ch->bufLen = kFrameHeader;
    ch->pending = pb;
    LinkChannel *raw = ch.get();
    link->channels.push_back(std::move(ch));
    Enqueue(link, raw);
    pb->channel = raw;
    pb->link = link;
    pb->result = 1;
}

void LinkCloseChannel(ComponentParamBlock *pb)
{
    LinkChannel *ch = pb->channel;
    if (!ch) {
        pb->result = kSockNoSocket;
        return;
    }
    ServerLink *link = ch->link;
    if (ch->pending && ch->pending != pb)
        Complete(ch, kSockNoSocket);
    ch->pending = nullptr;
    StopReceivingInto(link, ch); // before the blocks go: it reads the one being received
    ch->blocks.clear();
    ch->wantDst = nullptr;
    switch (ch->state) {
    case LinkChannel::kPeerClosed:
    case LinkChannel::kBroken:
    case LinkChannel::kClosed:
    case LinkChannel::kFinished:
        ch->state = LinkChannel::kClosed;
        link->cleanup = true;
        pb->result = 0;
        return;
    default: break;
    }
    if (link->dead) {
        ch->state = LinkChannel::kClosed;
        link->cleanup = true;
        pb->result = 0;
        return;
    }
    if (link->sendChannel == ch) {
        // A frame is partly out: finish it from our own copy, then close.
        size_t restLeft = ch->restLen;
        if (restLeft && ch->restOwn.empty())
            ch->restOwn.assign(ch->rest, ch->rest + ch->restLen);
        ch->closeAfterSend = true;
        ch->state = LinkChannel::kClosing;
    } else {
        Dequeue(link, ch);
        BuildCloseFrame(ch);
        Enqueue(link, ch);
    }
    ch->pending = pb;
    pb->result = 1;
}

void LinkSend(ComponentParamBlock *pb)
{
    LinkChannel *ch = pb->channel;
    if (!ch) {
        pb->result = kSockNoSocket;
        return;
    }
    bool afterSmall = ch->state == LinkChannel::kSending && ch->smallFramePrepared && !ch->queued &&
                      ch->link->sendChannel != ch;
    if ((ch->state != LinkChannel::kIdle && !afterSmall) || pb->length < 0 ||
        uint32_t(pb->length) > kMaxFrameData || ch->link->dead) {
        if (afterSmall) { // the small frame waiting for this send goes too
            ch->bufLen = 0;
            ch->smallFramePrepared = false;
            ch->state = LinkChannel::kIdle;
        }
        pb->result = ch->link->dead ? kSockError : kSockNoSocket;
        return;
    }
    size_t off = afterSmall ? ch->bufLen : 0;
    size_t len = size_t(pb->length);
    PutFrameHeader(ch->buf + off, kFrameData, ch->number, uint32_t(len));
    off += kFrameHeader;
    size_t inBuf = std::min(len, kChannelBuffer - off);
    if (inBuf)
        std::memcpy(ch->buf + off, pb->data, inBuf);
    ch->bufLen = off + inBuf;
    ch->rest = static_cast<const uint8_t *>(pb->data) + inBuf;
    ch->restLen = len - inBuf;
    ch->restOwn.clear();
    ch->state = LinkChannel::kSending;
    ch->pending = pb;
    pb->result = 1;
    Enqueue(ch->link, ch);
}

void LinkSmallFrame(ComponentParamBlock *pb)
{
    LinkChannel *ch = pb->channel;
    // A channel of a failed link says so, as a send on it does: the owner
    // then knows the link is lost, not that it misused the channel.
    if (ch && (ch->state == LinkChannel::kBroken || ch->link->dead)) {
        pb->result = kSockError;
        return;
    }
    if (!ch || ch->state != LinkChannel::kIdle || pb->length < 0 || pb->length >= 128) {
        pb->result = kSockNoSocket;
        return;
    }
    PutFrameHeader(ch->buf, kFrameData, ch->number, uint32_t(pb->length));
    if (pb->length)
        std::memcpy(ch->buf + kFrameHeader, pb->data, size_t(pb->length));
    ch->bufLen = kFrameHeader + size_t(pb->length);
    ch->smallFramePrepared = true;
    ch->state = LinkChannel::kSending;
    pb->result = 0;
}

void LinkReceive(ComponentParamBlock *pb)
{
    LinkChannel *ch = pb->channel;
    if (!ch) {
        pb->result = kSockNoSocket;
        return;
    }
    if (ch->state == LinkChannel::kPeerClosed) {
        pb->result = kSockNoSocket;
        return;
    }
    if (ch->state == LinkChannel::kBroken) {
        pb->result = kSockError;
        return;
    }
    if (ch->state != LinkChannel::kIdle || pb->length < 0) {
        pb->result = kReceiveBusy;
        return;
    }
    ch->state = LinkChannel::kWaiting;
    ch->wantDst = static_cast<uint8_t *>(pb->data);
    ch->wantLen = uint32_t(pb->length);
    ch->pending = pb;
    pb->result = 1;
    TryDeliver(ch);
}

int32_t LinkChannelStatus(LinkChannel *ch)
{
    if (!ch->blocks.empty() && ch->blocks.front().complete)
        return int32_t(ch->blocks.front().length);
    if (ch->state == LinkChannel::kPeerClosed || ch->state == LinkChannel::kBroken)
        return -1;
    return 0;
}

int LinkPump(ServerLink *link)
{
    bool progress = false;
    if (!link->dead) {
        bool ok = PumpSend(link, progress) && PumpReceive(link, progress) && KeepAlive(link) &&
                  PumpSend(link, progress);
        if (!ok) {
            if (link->recvState == ServerLink::kRecvConnecting ||
                link->recvState == ServerLink::kRecvHandshake || !Reestablish(link))
                FailLink(link, link->failStatus);
            progress = true;
        }
    }
    if (link->cleanup) {
        link->cleanup = false;
        std::vector<LinkChannel *> gone;
        for (auto &c : link->channels)
            if ((c->state == LinkChannel::kClosed || c->state == LinkChannel::kFinished) &&
                link->sendChannel != c.get())
                gone.push_back(c.get());
        for (LinkChannel *ch : gone)
            DeleteChannel(link, ch);
        if (link->channels.empty()) {
            link->sock.Close();
            link->dead = true;
            return 0;
        }
    }
    if (link->dead && link->channels.empty())
        return 0;
    return progress ? 44 : 1;
}

int LinkSpinMicros()
{
    static const int spin = [] {
        const char *v = std::getenv("QX_LINK_SPIN_US");
        if (!v || !*v)
            return -1;
        long n = std::strtol(v, nullptr, 10);
        return n < 0 ? 0 : n > 1000000 ? 1000000 : static_cast<int>(n);
    }();
    return spin;
}

uint32_t LinkSpinPolicy::Budget() const
{
    if (max_ == 0 || busy_ || preempted_ > 0)
        return 0;
    if (hits_ < 64)
        return sinceSpin_ >= kProbeEvery ? max_ : 0;
    return std::clamp(longest_ + longest_ / 2 + kSlackMicros, std::min(kMinMicros, max_), max_);
}

void LinkSpinPolicy::Record(const LinkSpinObservation &o)
{
    if (o.preempted)
        preempted_ = kLoadedWaits;
    else if (preempted_ > 0)
        --preempted_;
    bool hit = o.arrived && o.waitedMicros <= max_;
    hits_ = hits_ - hits_ / 8 + (hit ? 32 : 0);
    longest_ -= (longest_ + 15) / 16;
    if (hit)
        longest_ = std::max(longest_, o.waitedMicros);
    sinceSpin_ = o.budgetMicros > 0 ? 0 : sinceSpin_ + 1;
}

namespace {

// Threads ready to run on the machine now (/proc/loadavg, "0.52 0.58 0.59
// 3/456 12345": runnable/total); false when it cannot be read.
bool RunnableThreads(uint32_t &runnable)
{
    int fd = ::open("/proc/loadavg", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buf[128];
    ssize_t n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (n <= 0)
        return false;
    buf[n] = 0;
    unsigned r = 0, total = 0;
    double a = 0, b = 0, c = 0;
    if (std::sscanf(buf, "%lf %lf %lf %u/%u", &a, &b, &c, &r, &total) != 5)
        return false;
    runnable = r;
    return true;
}

// Each waiting thread learns its own waits.
struct WaitState {
    LinkSpinPolicy policy{kLinkSpinMicros};
    std::chrono::steady_clock::time_point lastLoadLook{};
};

} // namespace

void LinkWait(TcpComponent *comp, int ms)
{
    using Clock = std::chrono::steady_clock;
    pollfd fds[64];
    nfds_t n = 0;
    std::unique_lock lock(comp->mutex);
    for (auto &l : comp->links) {
        if (l->dead || n == 64)
            continue;
        if (l->sock.HasBuffered())
            return;
        short events = POLLIN;
        bool ready =
            l->sendState == ServerLink::kReady || l->sendState == ServerLink::kSendingChannel;
        if (l->sendState == ServerLink::kConnecting ||
            (ready && (l->sendChannel || !l->queue.empty() || l->pingSending)))
            events |= POLLOUT;
        fds[n++] = {l->sock.Fd(), events, 0};
    }
    lock.unlock();
    if (n == 0)
        return;
    // See LinkSpinPolicy: spin first as long as it pays, yielding the CPU
    // between two looks; a look that comes late means the CPU went to
    // another thread, and the spin ends.
    static const uint32_t cpus = [] {
        long c = ::sysconf(_SC_NPROCESSORS_ONLN);
        return c > 0 ? uint32_t(c) : 1u;
    }();
    thread_local WaitState wait;
    const int fixed = LinkSpinMicros();
    auto start = Clock::now();
    if (fixed < 0 && start - wait.lastLoadLook >= std::chrono::milliseconds(20)) {
        wait.lastLoadLook = start;
        uint32_t runnable = 0;
        if (RunnableThreads(runnable))
            wait.policy.NoteLoad(runnable, cpus);
    }
    LinkSpinObservation o;
    o.budgetMicros = fixed >= 0 ? uint32_t(fixed) : wait.policy.Budget();
    int ready = 0;
    if (o.budgetMicros > 0) {
        auto until = start + std::chrono::microseconds(o.budgetMicros);
        auto last = start;
        while ((ready = ::poll(fds, n, 0)) == 0) {
            auto now = Clock::now();
            if (now - last >= std::chrono::microseconds(LinkSpinPolicy::kPreemptedMicros))
                o.preempted = true;
            if (o.preempted || now >= until)
                break;
            last = now;
            sched_yield();
        }
    }
    if (ready == 0)
        ready = ::poll(fds, n, ms);
    o.arrived = ready > 0;
    o.waitedMicros = uint32_t(std::min<int64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count(),
        INT32_MAX));
    wait.policy.Record(o);
}

void LinkAbandon(LinkChannel *ch, int16_t status)
{
    ServerLink *link = ch ? ch->link : nullptr;
    if (!link || link->dead)
        return;
    bool greeted = link->recvState != ServerLink::kRecvConnecting &&
                   link->recvState != ServerLink::kRecvHandshake;
    FailLink(link, greeted ? status : int16_t(QX_ERR_NOT_ANSWERING));
}

void LinkDestroy(ServerLink *link)
{
    for (auto &c : link->channels)
        Complete(c.get(), kSockError);
    link->sock.Close();
}

} // namespace nc
