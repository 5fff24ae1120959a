// The server side of the link layer: a link made of an accepted connection
// (its handshake goes out first), the hand-over of channels the peer opens,
// and the merge of a link that a client re-established after a break into
// the older link from the same peer.
#include "netclient/nc_component.h"
#include "netclient/nc_link_internal.h"
#include "platform/byteorder.h"
#include "platform/clock.h"

#include <algorithm>
#include <cstring>

namespace nc {

using namespace link;

void LinkAccepted(TcpComponent *comp, ServerLink *link, const QXLocationRecord &peer)
{
    link->component = comp;
    link->openedHere = false;
    link->location = peer;
    link->sendState = ServerLink::kSendHandshake;
    link->recvState = ServerLink::kRecvConnecting; // nothing is read before the handshake is out
    std::memset(link->handshake, 0, kHandshakeSize);
    PlatPutBE32(link->handshake, kHandshakeSize);
    PlatPutBE32(link->handshake + 4, 2);
    size_t n = strnlen(comp->serviceName, 63);
    link->handshake[8] = uint8_t(n);
    std::memcpy(link->handshake + 9, comp->serviceName, n);
    link->handshakeSent = 0;
    link->idleTicks = comp->idleSeconds * 60;
    link->connectStartMs = PlatTickCount();
    Activity(link);
}

LinkChannel *LinkTakePeerChannel(ServerLink *link)
{
    for (auto &c : link->channels)
        if (!c->handedOver) {
            c->handedOver = true;
            return c.get();
        }
    return nullptr;
}

int LinkMerge(TcpComponent *comp, ServerLink *given)
{
    auto at = std::find_if(comp->links.begin(), comp->links.end(),
                           [given](const auto &l) { return l.get() == given; });
    if (at == comp->links.end() || !given->reestablished || given->dead)
        return 0;
    if (given->sendChannel || (given->pingSending && given->pingDone > 0))
        return 0; // a frame is partly out on the new connection: it cannot change hands
    // The older link from the same peer: one whose connection broke first,
    // else the oldest.
    ServerLink *old = nullptr;
    for (auto &l : comp->links) {
        ServerLink *o = l.get();
        if (o == given || o->openedHere || o->location.address != given->location.address)
            continue;
        if (o->dead) {
            old = o;
            break;
        }
        if (!old)
            old = o;
    }
    if (!old)
        return 0;

    // Whatever was under way on the old link is lost with its connection:
    // pending blocks get -10066 and the channels return to idle, as the
    // client's do when it re-establishes the link.
    DropTransfers(old);

    // The new connection, and how far it got: its handshake may still be
    // going out, a frame header may be half read.
    old->sock.TakeFrom(given->sock);
    old->dead = false;
    old->location = given->location;
    old->sendState = given->sendState;
    std::memcpy(old->handshake, given->handshake, kHandshakeSize);
    old->handshakeSent = given->handshakeSent;
    old->recvState = given->recvState;
    std::memcpy(old->header, given->header, kFrameHeader);
    old->headerGot = given->headerGot;
    old->skipLeft = given->skipLeft;
    old->skipDone = given->skipDone;
    if (old->recvState == ServerLink::kRecvData) { // the block under way is skipped
        old->skipLeft = given->recvBlock->length - given->recvGot;
        old->skipDone = 0;
        old->recvState = old->skipLeft ? ServerLink::kRecvSkip : ServerLink::kRecvHeader;
    }
    if (old->recvState == ServerLink::kRecvDead)
        old->recvState = ServerLink::kRecvHeader;
    // Data the peer already sent on the new link belongs to the old link's
    // channel of the same number.
    for (auto &c : given->channels) {
        LinkChannel *to = FindChannel(old, c->number);
        if (!to || to->state != LinkChannel::kIdle)
            continue;
        for (RecvBlock &b : c->blocks)
            if (b.complete && !b.direct)
                to->blocks.push_back(std::move(b));
    }
    old->keepAlive = 0;
    old->reestablished = false;
    Activity(old);

    given->recvChannel = nullptr;
    given->recvBlock = nullptr;
    for (auto &c : given->channels)
        Complete(c.get(), kLinkReestablished);
    comp->links.erase(at);
    return 1;
}

} // namespace nc
