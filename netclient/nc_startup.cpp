// Library start-up, the network component and server location.
#include "netclient/nc_connection.h"

#include "platform/clock.h"

#include <atomic>
#include <cstring>
#include <sched.h>

namespace {

constexpr uint32_t kClientVersionValue = 0xF0010680u; // low 16 bits: client version 1664
std::atomic<int> gInitCount{0};

} // namespace

namespace nc {

void CallNetworkComponent(int16_t /*number*/, ComponentParamBlock *pb, QXComponent object)
{
    if (reinterpret_cast<uintptr_t>(object) != uintptr_t(0xFFFFFFFFu))
        pb->component = object;
    NetworkComponentEntry(pb);
}

void IdleStep(QXComponent component, QXConnection *conn, bool wait)
{
    ComponentParamBlock pb;
    pb.selector = 1;
    pb.extra = 42;
    CallNetworkComponent(conn ? conn->componentNumber : 0, &pb, component);
    if (conn && conn->systemTask)
        sched_yield();
    if (wait && pb.extra == 0 && component)
        LinkWait(component, 10);
}

bool DeadlinePassed(uint32_t deadlineMs) { return int32_t(PlatTickCount() - deadlineMs) >= 0; }

void WaitFor(QXComponent component, ComponentParamBlock *pb, QXConnection *conn,
             const uint32_t *deadlineMs)
{
    for (;;) {
        {
            std::lock_guard lock(component->mutex);
            if (pb->result != 1)
                return;
            IdleStep(component, conn, false);
            if (pb->result != 1)
                return;
            if (deadlineMs && DeadlinePassed(*deadlineMs)) {
                LinkAbandon(pb->channel, QX_ERR_TIMED_OUT);
                if (pb->result == 1) // no link to give up: the block ends here
                    pb->result = QX_ERR_TIMED_OUT;
                return;
            }
        }
        LinkWait(component, 10);
    }
}

} // namespace nc

extern "C" {

int16_t _QX_InitQXWS(void)
{
    gInitCount.fetch_add(1);
    return 0;
}

int16_t _QX_DeInitQXWS(void)
{
    int n = gInitCount.load();
    while (n > 0 && !gInitCount.compare_exchange_weak(n, n - 1)) {}
    return 0;
}

int16_t _QX_NB_NetworkComponent(void) { return gInitCount.load() > 0 ? 1 : 0; }

QXComponent _QX_InitNetworkComponent(int16_t componentNumber)
{
    ComponentParamBlock pb;
    pb.selector = 0;
    pb.value = int32_t(kClientVersionValue);
    nc::CallNetworkComponent(componentNumber, &pb, nullptr);
    if (pb.result != 0 || !pb.component)
        return nullptr;
    QXComponent comp = pb.component;
    ComponentParamBlock opt;
    opt.selector = 12;
    opt.code = FourCC("noMe");
    opt.value = int32_t(kClientVersionValue);
    nc::CallNetworkComponent(componentNumber, &opt, comp); // unknown here; the outcome is ignored
    return comp;
}

int16_t _QX_DeInitNetworkComponent(int16_t componentNumber, QXComponent component)
{
    if (!component)
        return 0;
    ComponentParamBlock pb;
    pb.selector = 2;
    nc::CallNetworkComponent(componentNumber, &pb, component);
    return int16_t(pb.result);
}

int16_t _QX_GetComponentInfo(int16_t, int16_t *kind, unsigned char *description)
{
    static const unsigned char text[] = "\x0CTCP/IP v2004";
    if (description)
        std::memcpy(description, text, size_t(text[0]) + 1);
    if (kind)
        *kind = 2;
    return 0;
}

namespace {

int16_t Select(unsigned char *serverName, QXNetworkLocation *location, int16_t number,
               QXComponent component, bool withOther)
{
    ComponentParamBlock pb;
    pb.selector = 6;
    pb.code = FourCC("NDLG");
    pb.value = withOther ? 1 : 0;
    pb.name = serverName;
    if (!component)
        return QX_ERR_BAD_CONNECTION;
    nc::CallNetworkComponent(number, &pb, component);
    if (pb.result == 0 && pb.location) {
        if (location)
            *location = pb.location;
        if (serverName && pb.text)
            std::memcpy(serverName, pb.text, size_t(pb.text[0]) + 1);
    }
    return int16_t(pb.result);
}

} // namespace

int16_t _QX_SelectQXServer(unsigned char *serverName, QXNetworkLocation *location,
                           int16_t componentNumber, QXComponent component)
{
    return Select(serverName, location, componentNumber, component, false);
}

int16_t _QX_SelectQXServerWithOther(unsigned char *serverName, QXNetworkLocation *location,
                                    int16_t componentNumber, QXComponent component)
{
    return Select(serverName, location, componentNumber, component, true);
}

int16_t _QX_FindQXServer(const unsigned char *name, QXNetworkLocation *location,
                         int16_t componentNumber, QXComponent component)
{
    if (!component || !name)
        return QX_ERR_NO_SERVER;
    ComponentParamBlock pb;
    pb.selector = 7;
    pb.code = FourCC("find");
    pb.name = name;
    nc::CallNetworkComponent(componentNumber, &pb, component);
    nc::WaitFor(component, &pb, nullptr);
    if (pb.result == 0 && location)
        *location = pb.location;
    else if (pb.result == 0)
        delete pb.location;
    return int16_t(pb.result);
}

int16_t _QX_FreeNetworkLocation(QXNetworkLocation location, int16_t componentNumber,
                                QXComponent component)
{
    if (!component)
        return 0;
    ComponentParamBlock pb;
    pb.selector = 7;
    pb.code = FourCC("dele");
    pb.location = location;
    nc::CallNetworkComponent(componentNumber, &pb, component);
    return int16_t(pb.result);
}

int16_t _QX_SetComponentOption(QXComponent component, uint32_t code, int32_t value,
                               const unsigned char *text)
{
    if (!component)
        return QX_ERR_BAD_CONNECTION;
    ComponentParamBlock pb;
    pb.selector = 12;
    pb.code = code;
    pb.value = value;
    pb.data = const_cast<unsigned char *>(text);
    nc::CallNetworkComponent(0, &pb, component);
    return int16_t(pb.result);
}

int16_t _QX_GetComponentOption(QXComponent component, uint32_t code, int32_t *value,
                               unsigned char *text)
{
    if (!component)
        return QX_ERR_BAD_CONNECTION;
    ComponentParamBlock pb;
    pb.selector = 13;
    pb.code = code;
    pb.text = text;
    nc::CallNetworkComponent(0, &pb, component);
    if (pb.result == 0 && value)
        *value = pb.value;
    return int16_t(pb.result);
}

int32_t _QX_GetVersionNumber(void) { return 0x07D40001; }

} // extern "C"
