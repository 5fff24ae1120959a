// Finding a server by UDP broadcast, and answering such queries.
//
// Query (96 bytes, zero-filled): code little-endian at 0 (9 from find), the
// published name asked for at 32, the wanted service name at 64 (Mac Roman).
// Answer (96 bytes): the server computer's name at 0 (Mac Roman), its
// published name at 32, its service name at 64, each zero-terminated inside
// its 32 bytes. The answer's sender address is the server's address.
//
// The server side answers a query whose published name is its own and whose
// service name is empty (the dialog, programs) or its own (find).
#include "netclient/nc_charset.h"
#include "netclient/nc_component.h"
#include "platform/clock.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>
#include <poll.h>
#include <sys/socket.h>

namespace nc {

namespace {

constexpr size_t kDatagram = 96;
constexpr uint32_t kFindWaitTicks = 119;

std::string Field(const uint8_t *p)
{
    size_t n = strnlen(reinterpret_cast<const char *>(p), 32);
    if (n == 32)
        n = 31;
    return std::string(reinterpret_cast<const char *>(p), n);
}

} // namespace

void BuildServerQuery(uint8_t out[96], uint16_t code, const char *published,
                      const std::string &service)
{
    std::memset(out, 0, kDatagram);
    out[0] = uint8_t(code);
    out[1] = uint8_t(code >> 8);
    std::memcpy(out + 32, published, strnlen(published, 31)); // the field's zero stays
    size_t n = std::min<size_t>(service.size(), 31);
    std::memcpy(out + 64, service.data(), n);
    ConvertPCToMacText(out + 64, 31);
}

void BuildIdentityAnswer(TcpComponent *comp)
{
    uint8_t *a = comp->identity;
    std::memset(a, 0, kDatagram);
    std::string computer = GetLocalComputerName();
    std::memcpy(a, computer.data(), std::min<size_t>(computer.size(), 31));
    std::memcpy(a + 32, comp->published, strnlen(comp->published, 31));
    std::memcpy(a + 64, comp->serviceName, strnlen(comp->serviceName, 31));
    for (size_t i = 0; i < kDatagram; ++i)
        if (a[i] == '\t')
            a[i] = '_';
    ConvertPCToMacText(a, 31);
}

void AnswerServerQueries(TcpComponent *comp)
{
    // Fields compared as the zero-terminated text of their first 31 bytes.
    auto same = [](const uint8_t *a, const uint8_t *b) {
        return std::strncmp(reinterpret_cast<const char *>(a), reinterpret_cast<const char *>(b),
                            31) == 0;
    };
    // Bounded, so that a flood of datagrams cannot hold the poll.
    for (int i = 0; i < 256; ++i) {
        uint8_t query[kDatagram + 1];
        size_t got = 0;
        uint32_t address = 0;
        uint16_t port = 0;
        if (comp->discovery.RecvFrom(query, sizeof query, got, address, port) != 0)
            return;
        if (got != kDatagram || !same(query + 32, comp->identity + 32))
            continue;
        ConvertMacToPCText(query + 64, 31);
        if (query[64] != 0 && !same(query + 64, comp->identity + 64))
            continue;
        comp->discovery.SendTo(comp->identity, kDatagram, address, port);
    }
}

bool FindServerByBroadcast(TcpComponent *comp, const unsigned char *text, QXLocationRecord &out)
{
    if (!text)
        return false;
    std::string all(reinterpret_cast<const char *>(text + 1), text[0]);
    std::string service = all, computer;
    size_t tab = all.find('\t');
    if (tab != std::string::npos) {
        service = all.substr(0, tab);
        computer = all.substr(tab + 1);
    }
    SockGen sock;
    if (sock.Create(SOCK_DGRAM) != 0)
        return false;
    uint8_t query[kDatagram];
    char wanted[32];
    uint32_t broadcastAddress;
    uint16_t port;
    {
        std::lock_guard lock(comp->mutex);
        std::memcpy(wanted, comp->wanted, sizeof wanted);
        broadcastAddress = comp->broadcastAddress;
        port = comp->port;
    }
    BuildServerQuery(query, 9, wanted, service);
    if (sock.SendTo(query, kDatagram, broadcastAddress, port) != 0)
        return false;
    uint32_t sentMs = PlatTickCount();
    bool have = false;
    for (;;) {
        uint32_t ticks = TicksSinceMs(sentMs);
        if (ticks > kFindWaitTicks)
            break;
        uint8_t answer[kDatagram + 1];
        size_t got = 0;
        uint32_t address = 0;
        uint16_t port = 0;
        int r = sock.RecvFrom(answer, sizeof answer, got, address, port);
        if (r == 1) {
            pollfd p{sock.Fd(), POLLIN, 0};
            ::poll(&p, 1, 20);
            continue;
        }
        if (r < 0)
            break;
        if (got != kDatagram)
            continue;
        ConvertMacToPCText(answer, 31);
        std::string answerComputer = Field(answer);
        if (Field(answer + 32) != Field(reinterpret_cast<const uint8_t *>(wanted)))
            continue;
        bool exact = !computer.empty() && answerComputer == computer;
        if (answerComputer == "\t")
            continue;
        if (!have || exact) {
            out = QXLocationRecord{};
            out.address = address;
            out.port = port;
            have = true;
        }
        if (exact)
            break;
    }
    return have;
}

} // namespace nc

// Discovery for programs (selectors 27 to 30): a record with its own UDP
// socket, the name asked for and the answers of the latest query as a text
// list: per answer three length-prefixed strings (service name, computer
// name, the sender's dotted address).
namespace nc {

namespace {

struct DiscoveryRecord {
    SockGen sock;
    char name[32] = {};
    uint16_t port = 0;
    uint32_t broadcastAddress = 0;
    std::vector<uint8_t> list;
};

void AppendPString(std::vector<uint8_t> &out, const std::string &s)
{
    size_t n = std::min<size_t>(s.size(), 255);
    out.push_back(uint8_t(n));
    out.insert(out.end(), s.begin(), s.begin() + long(n));
}

} // namespace

void DiscoveryOpen(TcpComponent *comp, ComponentParamBlock *pb)
{
    auto rec = std::make_unique<DiscoveryRecord>();
    std::memcpy(rec->name, comp->selected, sizeof rec->name);
    rec->port = comp->port;
    rec->broadcastAddress = comp->broadcastAddress;
    if (rec->sock.Create(SOCK_DGRAM) != 0) {
        pb->result = -1;
        return;
    }
    pb->data = rec.release();
}

void DiscoveryClose(ComponentParamBlock *pb)
{
    delete static_cast<DiscoveryRecord *>(pb->data);
    pb->data = nullptr;
}

void DiscoverySend(ComponentParamBlock *pb)
{
    auto *rec = static_cast<DiscoveryRecord *>(pb->data);
    if (!rec) {
        pb->result = -1;
        return;
    }
    uint8_t query[kDatagram];
    BuildServerQuery(query, 0, rec->name, std::string());
    rec->list.clear();
    pb->result = rec->sock.SendTo(query, kDatagram, rec->broadcastAddress, rec->port) == 0 ? 0 : -1;
}

void DiscoveryRead(ComponentParamBlock *pb)
{
    auto *rec = static_cast<DiscoveryRecord *>(pb->data);
    if (!rec) {
        pb->result = -1;
        return;
    }
    int count = 0;
    rec->list.clear();
    for (int answers = 0; answers < 127;) {
        uint8_t answer[kDatagram + 1];
        size_t got = 0;
        uint32_t address = 0;
        uint16_t port = 0;
        if (rec->sock.RecvFrom(answer, sizeof answer, got, address, port) != 0)
            break;
        if (got != kDatagram)
            continue;
        ++answers;
        ConvertMacToPCText(answer, 31);
        if (Field(answer + 32) != Field(reinterpret_cast<const uint8_t *>(rec->name)))
            continue;
        ConvertMacToPCText(answer + 32, 31);
        ConvertMacToPCText(answer + 64, 31);
        AppendPString(rec->list, Field(answer + 64));
        AppendPString(rec->list, Field(answer));
        AppendPString(rec->list, AddressText(address));
        ++count;
    }
    pb->data = rec;
    pb->text = rec->list.data();
    pb->length = count;
}

} // namespace nc
