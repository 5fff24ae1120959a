// The TCP/IP component's entry: create, poll, destroy, find, open, close,
// send, receive and the options.
#include "netclient/nc_component.h"

#include "netclient/nc_charset.h"
#include "netclient/nc_select_dialog.h"
#include "platform/clock.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>

namespace {

std::atomic<int16_t> gLiveComponents{0};

const unsigned char *GetComponentText()
{
    static const unsigned char text[] = "\x0CTCP/IP v2004";
    return text;
}

// Keeps at most 31 characters of a length-prefixed name, zero-terminated.
void SetName(char (&field)[32], const unsigned char *pstr)
{
    std::memset(field, 0, sizeof field);
    if (!pstr)
        return;
    size_t n = std::min<size_t>(pstr[0], 31);
    std::memcpy(field, pstr + 1, n);
}

void CopyNameOut(const char (&field)[32], unsigned char *out)
{
    if (!out)
        return;
    size_t n = std::strlen(field);
    out[0] = uint8_t(n);
    std::memcpy(out + 1, field, n);
}

// Settings a deployment can give without code: the server port and the
// broadcast address used to find servers by name.
void ApplyEnvironment(TcpComponent *c)
{
    if (const char *p = std::getenv("QX_SERVER_PORT")) {
        long v = std::strtol(p, nullptr, 10);
        if (v > 0 && v < 65536)
            c->port = uint16_t(v);
    }
    if (const char *b = std::getenv("QX_BROADCAST_ADDRESS")) {
        in_addr a{};
        if (::inet_pton(AF_INET, b, &a) == 1)
            c->broadcastAddress = ntohl(a.s_addr);
    }
}

void SetOption(TcpComponent *c, ComponentParamBlock *pb)
{
    switch (pb->code) {
    case FourCC("port"): c->port = uint16_t(pb->value); break;
    case FourCC("altp"): c->altPort = uint16_t(pb->value); break;
    case FourCC("sslp"): c->securePort = uint16_t(pb->value); break;
    case FourCC("brst"): c->broadcast = uint8_t(pb->value); break;
    case FourCC("badr"): c->broadcastAddress = uint32_t(pb->value); break;
    case FourCC("time"): c->idleSeconds = pb->value > 0 ? uint32_t(pb->value) / 3 : 0; break;
    case FourCC("tpub"): SetName(c->published, static_cast<const unsigned char *>(pb->data)); break;
    case FourCC("tsel"): SetName(c->selected, static_cast<const unsigned char *>(pb->data)); break;
    case FourCC("tfin"): SetName(c->wanted, static_cast<const unsigned char *>(pb->data)); break;
    case FourCC("ndel"):
        if (pb->channel && pb->channel->link->sock.IsOpen()) {
            int v = pb->value ? 1 : 0;
            ::setsockopt(pb->channel->link->sock.Fd(), IPPROTO_TCP, 1, &v, sizeof v);
        } else {
            c->noDelay = pb->value != 0;
        }
        break;
    case FourCC("reco"): c->reconnect = pb->value != 0; break;
    case FourCC("cryp"): break;
    case FourCC("alta"): c->altBind = uint32_t(pb->value); break;
    case FourCC("IPTa"): {
        c->accessPatterns.clear();
        auto **list = static_cast<const char **>(pb->data);
        for (int32_t i = 0; list && i < pb->length; ++i)
            if (list[i])
                c->accessPatterns.emplace_back(list[i]);
        break;
    }
    case FourCC("altT"):
        if (RawStreamNode *n = nc::FindPlainStream(c, pb->node))
            n->timeoutSeconds = pb->value > 0 ? uint32_t(pb->value) : 0;
        else
            pb->result = nc::kSockError;
        break;
    case FourCC("otim"): c->openTimeoutMs = pb->value > 0 ? uint32_t(pb->value) : 0; break;
    case FourCC("rtim"): c->replyTimeoutMs = pb->value > 0 ? uint32_t(pb->value) : 0; break;
    default: pb->result = QX_ERR_BAD_OPTION; break;
    }
}

void ReadOption(TcpComponent *c, ComponentParamBlock *pb)
{
    auto *out = reinterpret_cast<unsigned char *>(pb->text);
    switch (pb->code) {
    case FourCC("port"): pb->value = c->port; break;
    case FourCC("altp"): pb->value = c->altPort; break;
    case FourCC("time"): pb->value = int32_t(c->idleSeconds * 3); break;
    case FourCC("tpub"): CopyNameOut(c->published, out); break;
    case FourCC("tsel"): CopyNameOut(c->selected, out); break;
    case FourCC("tfin"): CopyNameOut(c->wanted, out); break;
    case FourCC("ndel"): pb->value = c->noDelay ? 1 : 0; break;
    case FourCC("cryp"): pb->value = 0; break;
    case FourCC("otim"): pb->value = int32_t(c->openTimeoutMs); break;
    case FourCC("rtim"): pb->value = int32_t(c->replyTimeoutMs); break;
    case FourCC("ipcl"):
        if (pb->channel)
            pb->value = int32_t(pb->channel->link->location.address);
        else
            pb->result = QX_ERR_BAD_OPTION;
        break;
    default: pb->result = QX_ERR_BAD_OPTION; break;
    }
}

void Create(ComponentParamBlock *pb)
{
    auto *c = new (std::nothrow) TcpComponent;
    if (!c) {
        pb->result = -1;
        return;
    }
    c->clientVersion = uint16_t(pb->value);
    nc::LoadSocketLibrary();
    nc::SockGen probe;
    if (probe.Create(SOCK_STREAM) != 0) {
        nc::UnloadSocketLibrary();
        delete c;
        pb->result = -1;
        return;
    }
    probe.Close();
    ApplyEnvironment(c);
    ++gLiveComponents;
    pb->component = c;
    pb->text = const_cast<unsigned char *>(GetComponentText());
    pb->value = 2;
    pb->code = FourCC("NEWC");
}

void Destroy(ComponentParamBlock *pb)
{
    if (gLiveComponents.load() <= 0)
        return;
    TcpComponent *c = pb->component;
    {
        std::lock_guard lock(c->mutex);
        for (auto &l : c->links)
            nc::LinkDestroy(l.get());
        c->links.clear();
        nc::DestroyPlainStreams(c);
    }
    nc::UnloadSocketLibrary();
    delete c;
    --gLiveComponents;
}

void FindOrFree(ComponentParamBlock *pb)
{
    TcpComponent *c = pb->component;
    if (pb->code == FourCC("dele")) {
        delete pb->location;
        pb->location = nullptr;
        return;
    }
    QXLocationRecord loc;
    uint16_t port;
    bool broadcast;
    {
        std::lock_guard lock(c->mutex);
        port = c->port;
        broadcast = c->broadcast != 0;
    }
    // No lock while names are looked up or answers awaited.
    bool found = nc::ResolveServerAddress(pb->name, port, loc);
    if (!found && broadcast)
        found = nc::FindServerByBroadcast(c, pb->name, loc);
    if (!found) {
        pb->result = QX_ERR_NO_SERVER;
        return;
    }
    pb->location = new QXLocationRecord(loc);
}

} // namespace

int16_t NcLiveComponents() { return gLiveComponents.load(); }

void NetworkComponentEntry(ComponentParamBlock *pb)
{
    pb->result = 0;
    if (pb->selector != 0 && !pb->component)
        return;
    // Without the component's lock: creating and destroying it, finding a
    // server (which waits for answers) and the selection dialog (which waits
    // for the user).
    if (pb->selector == 0 || pb->selector == 2 || pb->selector == 6 || pb->selector == 7) {
        switch (pb->selector) {
        case 0: Create(pb); break;
        case 2: Destroy(pb); break;
        case 6: nc::RunServerListDialog(pb->component, pb); break;
        default: FindOrFree(pb); break;
        }
        return;
    }
    std::lock_guard lock(pb->component->mutex);
    switch (pb->selector) {
    case 0: Create(pb); break;
    case 1: nc::PollLinks(pb->component, pb, false); break;
    case 2: Destroy(pb); break;
    case 7: FindOrFree(pb); break;
    case 8: nc::LinkOpenChannel(pb->component, pb); break;
    case 9: nc::LinkCloseChannel(pb); break;
    case 10: nc::LinkReceive(pb); break;
    case 11: nc::LinkSend(pb); break;
    case 12: SetOption(pb->component, pb); break;
    case 13: ReadOption(pb->component, pb); break;
    case 19:
        if (!pb->channel)
            pb->result = QX_ERR_CHANNEL;
        else
            pb->value = nc::LinkChannelStatus(pb->channel), pb->length = pb->value;
        break;
    case 23: nc::LinkSmallFrame(pb); break;
    case 27: nc::DiscoveryOpen(pb->component, pb); break;
    case 28: nc::DiscoveryClose(pb); break;
    case 29: nc::DiscoverySend(pb); break;
    case 30: nc::DiscoveryRead(pb); break;
    case 3: nc::StartComponentSockets(pb->component, pb); break;
    case 4: nc::StopComponentSockets(pb->component); break;
    case 5: nc::ServerPoll(pb->component, pb); break;
    case 14: nc::AcceptPlainStream(pb->component, pb); break;
    case 15: nc::PollPlainStreams(pb->component, pb); break;
    case 16: nc::FinishPlainStream(pb->component, pb); break;
    case 17: nc::PlainStreamReceive(pb->component, pb); break;
    case 18: nc::PlainStreamSend(pb->component, pb); break;
    case 21: nc::StartAltListener(pb->component, pb); break;
    case 22: nc::StopAltListener(pb->component); break;
    case 24: nc::PlainStreamState(pb->component, pb); break;
    case 25: nc::GetLocalAddresses(pb); break;
    case 32: nc::PauseServer(pb->component, pb); break;
    case 33: nc::ConnectPlainStream(pb->component, pb); break;
    case 31: // no operation behind it
    case 34: // making a node secure needs a secure-socket provider, which is never given
        pb->result = -1;
        break;
    default: break;
    }
}
