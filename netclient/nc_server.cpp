// The server side of the TCP/IP component: the stream listener and the
// discovery socket (selectors 3 and 4), the server poll (selector 5) that
// accepts connections as links, answers discovery queries and hands over the
// channels peers open, the access patterns that decide which peers may
// connect, pausing (selector 32) and the local addresses (selector 25).
//
// A server program owns its component: it starts the sockets, then polls
// with selector 5; each block that comes back with result 0 carries a new
// channel in `channel` and its link in `link`. When that link is marked
// re-established (the peer's link broke and it connected again), the program
// may merge it into the peer's older link with selector 5 and length 667: the
// older link and its channels go on over the new connection and the new link
// is deleted, with the channel just handed over.
#include "netclient/nc_component.h"

#include "platform/clock.h"

#include <algorithm>
#include <cstring>
#include <sys/socket.h>

namespace nc {

namespace {

constexpr int32_t kMergeLinks = 667;
// Connections taken per server poll: the rest wait for the next one.
constexpr int kAcceptsPerPoll = 16;

void AcceptWaiting(TcpComponent *comp, ComponentParamBlock *pb)
{
    if (!comp->listener.IsOpen())
        return;
    for (int i = 0; i < kAcceptsPerPoll; ++i) {
        auto link = std::make_unique<ServerLink>();
        QXLocationRecord peer;
        if (comp->listener.Accept(link->sock, peer, comp->noDelay) != 1)
            return;
        if (!AddressAllowed(comp->accessPatterns, peer.address)) {
            // Two zero words tell the peer that it is refused.
            static const uint8_t refusal[8] = {};
            size_t done = 0;
            link->sock.SendAll(refusal, sizeof refusal, done);
            link->sock.Close();
            continue;
        }
        LinkAccepted(comp, link.get(), peer);
        pb->location = &link->location; // lives as long as the link
        pb->value = peer.port;
        comp->links.push_back(std::move(link));
    }
}

} // namespace

void PollLinks(TcpComponent *comp, ComponentParamBlock *pb, bool handOver)
{
    bool progress = false;
    pb->result = 1;
    for (size_t i = 0; i < comp->links.size();) {
        ServerLink *link = comp->links[i].get();
        if (handOver) {
            if (LinkChannel *ch = LinkTakePeerChannel(link)) {
                pb->channel = ch;
                pb->link = link;
                pb->result = 0;
                progress = true;
                break;
            }
        }
        int r = LinkPump(link);
        if (r == 44)
            progress = true;
        if (r == 0) {
            comp->links.erase(comp->links.begin() + long(i));
            progress = true;
            continue;
        }
        if (handOver) {
            if (LinkChannel *ch = LinkTakePeerChannel(link)) {
                pb->channel = ch;
                pb->link = link;
                pb->result = 0;
                break;
            }
        }
        ++i;
    }
    if (pb->extra == 42)
        pb->extra = progress ? 1 : 0;
    if (comp->reestablished) {
        pb->length = 33;
        comp->reestablished = false;
    }
}

void StartComponentSockets(TcpComponent *comp, ComponentParamBlock *pb)
{
    std::memset(comp->serviceName, 0, sizeof comp->serviceName);
    if (pb->text)
        std::memcpy(comp->serviceName, pb->text + 1, std::min<size_t>(pb->text[0], 63));
    if (comp->broadcast)
        BuildIdentityAnswer(comp);
    int32_t status = 0;
    const uint16_t port = comp->port;
    if (!comp->listener.IsOpen()) {
        status = comp->listener.Create(SOCK_STREAM);
        if (status == 0)
            status = comp->listener.Listen(comp->port, 0);
        // A server port of 0 takes a free port, which becomes the server
        // port: the discovery socket binds the same number.
        if (status == 0 && comp->port == 0)
            comp->port = comp->listener.LocalPort();
    }
    if (status == 0 && comp->broadcast && !comp->discovery.IsOpen()) {
        if (comp->discovery.Create(SOCK_DGRAM) != 0 || comp->discovery.Bind(comp->port, 0) != 0)
            status = -1;
    }
    if (status != 0) {
        comp->listener.Close();
        comp->discovery.Close();
        comp->port = port;
    }
    pb->result = status;
}

void StopComponentSockets(TcpComponent *comp)
{
    comp->listener.Close();
    comp->discovery.Close();
}

void ServerPoll(TcpComponent *comp, ComponentParamBlock *pb)
{
    if (pb->length == kMergeLinks) {
        pb->result = LinkMerge(comp, pb->link);
        return;
    }
    AcceptWaiting(comp, pb);
    if (comp->discovery.IsOpen())
        AnswerServerQueries(comp);
    PollLinks(comp, pb, true);
}

void PauseServer(TcpComponent *comp, ComponentParamBlock *pb)
{
    comp->listener.paused = pb->value != 0;
    comp->discovery.paused = pb->value != 0;
}

void GetLocalAddresses(ComponentParamBlock *pb)
{
    pb->marker = LocalAddresses(static_cast<uint32_t *>(pb->data), pb->length);
}

bool MatchAddressPattern(const char *pattern, const char *text)
{
    // Iterative wildcard matching: on a mismatch go back to the last "*"
    // and let it take one more character.
    const char *star = nullptr, *resume = nullptr;
    while (*text) {
        if (*pattern == '?' || (*pattern && *pattern != '*' && *pattern == *text)) {
            ++pattern, ++text;
        } else if (*pattern == '*') {
            star = pattern++;
            resume = text;
        } else if (star) {
            pattern = star + 1;
            text = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == 0;
}

bool AddressAllowed(const std::vector<std::string> &patterns, uint32_t address)
{
    if (patterns.empty())
        return true;
    std::string text = AddressText(address);
    for (const std::string &p : patterns) {
        if (p.empty() || (p[0] != '+' && p[0] != '-'))
            continue;
        if (MatchAddressPattern(p.c_str() + 1, text.c_str()))
            return p[0] == '+';
    }
    return false;
}

} // namespace nc
