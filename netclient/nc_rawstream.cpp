// Plain (unframed) stream connections of the component: RawStreamNodes.
//
// A node comes from the alternate listener (selector 14) or from a connect
// (selector 33). Its owner starts one operation at a time, a receive
// (selector 17) or a send (selector 18), and polls (selector 15) until the
// block it gave comes back with a result other than 1:
//   receive, length 0: one line ending in CR LF (kept), at most kLineMax
//     bytes; length -n: what is available, at most n bytes; length n:
//     exactly n bytes. The block's length is set to the bytes received.
//   send: the whole buffer.
//   connect: 0 when connected, -10002 when the connect failed (the node
//     stays, idle).
// An operation that moves nothing for the node's time-out ('altT', 15 s at
// first), a peer that closes, or a socket error ends it with -10002, and the
// node is deleted: the owner forgets it then. The owner ends a node it no
// longer needs with selector 16.
#include "netclient/nc_component.h"

#include "platform/clock.h"

#include <algorithm>
#include <sys/socket.h>

namespace nc {

namespace {

constexpr uint32_t kConnectTimeoutMs = 20000; // 1200 ticks

void Finish(RawStreamNode *n, int32_t result)
{
    if (n->pending) {
        n->pending->result = result;
        n->pending = nullptr;
    }
}

// One step of a node: 44 data moved or an operation ended, 66 a connect
// completed, 1 nothing, 0 the node failed and is to be deleted.
int StepNode(RawStreamNode *n)
{
    int r = 1;
    size_t before = n->done;
    switch (n->state) {
    case RawStreamNode::kNew: n->state = RawStreamNode::kIdle; return 1;
    case RawStreamNode::kConnecting:
        r = n->sock.ConnectPoll();
        if (r == 0) {
            n->state = RawStreamNode::kIdle;
            Finish(n, 0);
            return 66;
        }
        if (r < 0 || PlatTicksSince(n->stampMs) > kConnectTimeoutMs) {
            n->sock.Close();
            n->state = RawStreamNode::kIdle;
            Finish(n, kSockError);
            return 44;
        }
        return 1;
    case RawStreamNode::kReceiving:
        if (n->want == 0) {
            r = n->sock.ReadLine(n->dst, kLineMax, n->done);
        } else if (n->want < 0) {
            size_t got = 0;
            r = n->sock.ReadSome(n->dst, size_t(-int64_t(n->want)), got);
            n->done = got;
        } else {
            r = n->sock.ReadExact(n->dst, size_t(n->want), n->done);
        }
        break;
    case RawStreamNode::kSending: r = n->sock.SendAll(n->src, size_t(n->want), n->done); break;
    default: return 1;
    }
    if (r == 0) {
        if (n->state == RawStreamNode::kReceiving && n->pending)
            n->pending->length = int32_t(n->done);
        n->state = RawStreamNode::kIdle;
        Finish(n, 0);
        return 44;
    }
    if (r > 0) {
        if (n->done != before) {
            n->stampMs = PlatTickCount();
            return 44;
        }
        if (PlatTicksSince(n->stampMs) <= n->timeoutSeconds * 1000)
            return 1;
    }
    n->state = RawStreamNode::kDead;
    Finish(n, kSockError);
    return 0;
}

// Steps every node; deletes the ones that failed. True when any moved.
bool StepNodes(TcpComponent *comp)
{
    bool progress = false;
    auto &nodes = comp->nodes;
    for (size_t i = 0; i < nodes.size();) {
        int r = StepNode(nodes[i].get());
        if (r != 1)
            progress = true;
        if (r == 0) {
            nodes.erase(nodes.begin() + long(i));
            continue;
        }
        ++i;
    }
    return progress;
}

// The node of the block when it is known and idle; else the block's result
// says why not.
RawStreamNode *IdleNode(TcpComponent *comp, ComponentParamBlock *pb, int32_t busy)
{
    RawStreamNode *n = FindPlainStream(comp, pb->node);
    if (!n) {
        pb->result = kSockError;
        return nullptr;
    }
    if (n->state != RawStreamNode::kIdle && n->state != RawStreamNode::kNew) {
        pb->result = busy;
        return nullptr;
    }
    if (pb->length != 0 && !pb->data) {
        pb->result = kSockNoSocket;
        return nullptr;
    }
    return n;
}

} // namespace

RawStreamNode *FindPlainStream(TcpComponent *comp, RawStreamNode *node)
{
    if (!node)
        return nullptr;
    for (auto &n : comp->nodes)
        if (n.get() == node)
            return node;
    return nullptr;
}

void StartAltListener(TcpComponent *comp, ComponentParamBlock *pb)
{
    if (comp->altListener.IsOpen())
        return;
    int32_t status = comp->altListener.Create(SOCK_STREAM);
    if (status == 0)
        status = comp->altListener.Listen(comp->altPort, comp->altBind);
    if (status == 0 && comp->altPort == 0) // a free port was taken: it is the port now
        comp->altPort = comp->altListener.LocalPort();
    if (status != 0)
        comp->altListener.Close();
    pb->result = status;
}

void StopAltListener(TcpComponent *comp) { comp->altListener.Close(); }

void AcceptPlainStream(TcpComponent *comp, ComponentParamBlock *pb)
{
    pb->node = nullptr;
    if (comp->altListener.IsOpen()) {
        auto n = std::make_unique<RawStreamNode>();
        QXLocationRecord peer;
        int r = comp->altListener.Accept(n->sock, peer, comp->noDelay);
        if (r == 1) {
            n->peer = peer;
            n->localAddress = n->sock.LocalAddress();
            n->stampMs = PlatTickCount();
            pb->node = n.get();
            pb->location = &n->peer; // lives as long as the node
            pb->value = int32_t(n->localAddress);
            comp->nodes.push_back(std::move(n));
        } else if (r < 0) {
            pb->result = r;
        }
    }
    StepNodes(comp);
}

void PollPlainStreams(TcpComponent *comp, ComponentParamBlock *pb)
{
    bool progress = StepNodes(comp);
    if (pb->extra == 42)
        pb->extra = progress ? 1 : 0;
}

void FinishPlainStream(TcpComponent *comp, ComponentParamBlock *pb)
{
    RawStreamNode *n = FindPlainStream(comp, pb->node);
    if (!n) {
        pb->result = kSockError;
        return;
    }
    if (n->pending != pb)
        Finish(n, kSockError);
    n->pending = nullptr;
    comp->nodes.erase(std::find_if(comp->nodes.begin(), comp->nodes.end(),
                                   [n](const auto &p) { return p.get() == n; }));
}

void PlainStreamReceive(TcpComponent *comp, ComponentParamBlock *pb)
{
    RawStreamNode *n = IdleNode(comp, pb, kReceiveBusy);
    if (!n)
        return;
    if (pb->length == 0 && !pb->data) {
        pb->result = kSockNoSocket;
        return;
    }
    n->state = RawStreamNode::kReceiving;
    n->dst = static_cast<uint8_t *>(pb->data);
    n->want = pb->length;
    n->done = 0;
    n->stampMs = PlatTickCount();
    n->pending = pb;
    pb->result = 1;
}

void PlainStreamSend(TcpComponent *comp, ComponentParamBlock *pb)
{
    RawStreamNode *n = IdleNode(comp, pb, QX_ERR_SEND_BUSY);
    if (!n)
        return;
    if (pb->length < 0) {
        pb->result = kSockNoSocket;
        return;
    }
    n->state = RawStreamNode::kSending;
    n->src = static_cast<const uint8_t *>(pb->data);
    n->want = pb->length;
    n->done = 0;
    n->stampMs = PlatTickCount();
    n->pending = pb;
    pb->result = 1;
}

void PlainStreamState(TcpComponent *comp, ComponentParamBlock *pb)
{
    pb->value = 0; // this component makes no secure nodes
    if (!FindPlainStream(comp, pb->node))
        pb->result = 1;
}

void ConnectPlainStream(TcpComponent *comp, ComponentParamBlock *pb)
{
    pb->node = nullptr;
    if (!pb->location) {
        pb->result = kSockNoSocket;
        return;
    }
    auto n = std::make_unique<RawStreamNode>();
    if (n->sock.Create(SOCK_STREAM) != 0) {
        pb->result = kSockNoSocket;
        return;
    }
    n->peer = *pb->location;
    n->stampMs = PlatTickCount();
    if (n->sock.ConnectStart(n->peer) < 0) {
        n->sock.Close();
        n->state = RawStreamNode::kIdle;
        pb->result = kSockError;
    } else {
        n->state = RawStreamNode::kConnecting;
        n->pending = pb;
        pb->result = 1;
    }
    pb->node = n.get();
    comp->nodes.push_back(std::move(n));
    StepNodes(comp);
}

void DestroyPlainStreams(TcpComponent *comp)
{
    for (auto &n : comp->nodes)
        Finish(n.get(), kSockError);
    comp->nodes.clear();
}

} // namespace nc
