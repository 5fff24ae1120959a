#include "driver/Sources/drm_netlink.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "driver/Sources/drm_trace.h"

namespace {

uint32_t ComponentKey(const VDRMServerLinkInfo &info)
{
    return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(info.component)));
}

struct Registry {
    VObjArray<VDRMServerLinkInfo> links{4, &ComponentKey, true};
    bool started = false;
};

Registry &TheRegistry()
{
    static Registry registry;
    return registry;
}

struct ExitAtUnload {
    ~ExitAtUnload() { DrmNetLibExit(); }
};

struct Component {
    const char *name;
    uint16_t number;
};
constexpr Component kComponents[] = {
    {"AppleTalk", kDrmNetAppleTalk},
    {"TCP/IP", kDrmNetTcpIp},
    {"IPX", kDrmNetIpx},
    {"Local", kDrmNetLocal},
};

// The record of a component, registering the component when needed.
int32_t GetLinkInfo(uint16_t component, VDRMServerLinkInfo **info)
{
    Registry &r = TheRegistry();
    uint32_t key = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(component)));
    *info = r.links.oFindObject(key);
    if (*info)
        return 0;
    int32_t status = DrmInitNetwork(component);
    if (status != 0)
        return status;
    *info = r.links.oFindObject(key);
    return *info ? 0 : -1;
}

} // namespace

VDRMServerLinkInfo::~VDRMServerLinkInfo()
{
    while (connections.oCount() > 0)
        oCloseConnectionAt(connections.oCount() - 1);
    if (object != 0) {
        DrmQxDeInitNetworkComponent(component, object);
        object = 0;
    }
}

int32_t VDRMServerLinkInfo::oCloseConnection(DrmQxConnection connection)
{
    int32_t at = connections.oIndexOf(connection);
    if (at < 0)
        return -1;
    return oCloseConnectionAt(at);
}

int32_t VDRMServerLinkInfo::oCloseConnectionAt(int32_t i)
{
    DrmQxConnection handle = connections.oGet(i);
    connections.oDelete(i);
    if (handle == 0)
        return -1;
    return DrmQxCloseQXConnection(handle);
}

void DrmNetLibInit()
{
    std::lock_guard<std::recursive_mutex> hold(DrmModuleLock());
    Registry &r = TheRegistry();
    if (r.started)
        return;
    r.started = true;
    static ExitAtUnload exitAtUnload; // destroyed before the registry, built after it
    DrmQxInitQXWS();
}

void DrmNetLibExit()
{
    std::lock_guard<std::recursive_mutex> hold(DrmModuleLock());
    Registry &r = TheRegistry();
    if (!r.started)
        return;
    r.links.oClear();
    DrmQxDeInitQXWS();
    r.started = false;
}

int32_t DrmInitNetwork(uint16_t component)
{
    std::lock_guard<std::recursive_mutex> hold(DrmModuleLock());
    DrmNetLibInit();
    Registry &r = TheRegistry();
    uint32_t key = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(component)));
    if (r.links.oFindObject(key))
        return 0;
    DrmQxComponent object = DrmQxInitNetworkComponent(component);
    if (object == 0)
        return -1;
    std::unique_ptr<VDRMServerLinkInfo> info(new (std::nothrow)
                                                 VDRMServerLinkInfo(component, object));
    int32_t result = 0;
    if (!info)
        result = -2;
    else if (r.links.oAdd(info) < 0)
        result = -3;
    if (result != 0) {
        if (info)
            info->object = 0; // de-initialised below, not by the record
        DrmQxDeInitNetworkComponent(component, object);
    }
    return result;
}

int32_t DrmSelectServer(DrmNetPath *path)
{
    std::lock_guard<std::recursive_mutex> hold(DrmModuleLock());
    DrmNetLibInit();
    uint16_t component = 0;
    DrmQxGetComponentInfo(1, &component);
    for (;;) {
        path->component = component;
        VDRMServerLinkInfo *info = nullptr;
        int32_t status = GetLinkInfo(component, &info);
        if (status != 0)
            return status;
        uint8_t name[1 + kDrmNetAddressMax + 1] = {};
        DrmQxLocation location = 0;
        status = DrmQxSelectQXServer(name, &location, component, info->object);
        if (status == 0) {
            size_t n = name[0] > kDrmNetAddressMax ? kDrmNetAddressMax : name[0];
            path->addressLength = static_cast<uint8_t>(n);
            std::memcpy(path->address, name + 1, n);
            path->address[n] = 0;
            if (location != 0)
                DrmQxFreeNetworkLocation(location, component, info->object);
            return 0;
        }
        if (status != 2)
            return status;
    }
}

int32_t DrmServerLink(DrmLoginRecord *login, const DrmNetPath *path, DrmQxConnection *connection)
{
    std::lock_guard<std::recursive_mutex> hold(DrmModuleLock());
    DrmNetLibInit();
    VDRMServerLinkInfo *info = nullptr;
    int32_t status = GetLinkInfo(path->component, &info);
    if (status != 0)
        return status;
    size_t n = path->addressLength > kDrmNetAddressMax ? kDrmNetAddressMax : path->addressLength;
    std::string text(path->address, n);
    DrmQxLocation location = 0;
    bool found = false;
    // "Service Name Computer": try each blank from the right as the split
    // between service and computer, then the text as it stands.
    for (size_t i = text.size(); i-- > 0 && !found;) {
        if (text[i] != ' ')
            continue;
        text[i] = '\t';
        status = DrmQxFindQXServer(text, &location, path->component, info->object);
        found = status == 0;
        if (!found)
            text[i] = ' ';
    }
    if (!found) {
        status = DrmQxFindQXServer(text, &location, path->component, info->object);
        found = status == 0;
    }
    if (found) {
        *connection = 0;
        status = DrmQxOpenQXConnection(login, location, connection, path->component, info->object);
        if (status == 0 && *connection != 0 && info->connections.oAppend(*connection) < 0) {
            DrmQxCloseQXConnection(*connection);
            *connection = 0;
            status = -32004;
        }
    }
    if (location != 0)
        DrmQxFreeNetworkLocation(location, path->component, info->object);
    return status;
}

int32_t DrmCloseServerLink(DrmQxConnection *connection)
{
    std::lock_guard<std::recursive_mutex> hold(DrmModuleLock());
    Registry &r = TheRegistry();
    for (int32_t i = 0; i < r.links.oCount(); ++i) {
        VDRMServerLinkInfo *info = r.links.oGet(i);
        if (info->connections.oIndexOf(*connection) >= 0) {
            int32_t status = info->oCloseConnection(*connection);
            *connection = 0;
            return status;
        }
    }
    return -1;
}

void DrmCloseAllServerLinks()
{
    std::lock_guard<std::recursive_mutex> hold(DrmModuleLock());
    Registry &r = TheRegistry();
    for (int32_t i = 0; i < r.links.oCount(); ++i) {
        VDRMServerLinkInfo *info = r.links.oGet(i);
        while (info->connections.oCount() > 0)
            info->oCloseConnectionAt(info->connections.oCount() - 1);
    }
}

bool DrmParseNetPath(const char *text, DrmNetPath *path)
{
    path->component = 0;
    path->addressLength = 0;
    path->address[0] = 0;
    if (!text)
        return true;
    for (const Component &c : kComponents) {
        size_t len = std::strlen(c.name);
        if (std::strncmp(text, c.name, len) != 0)
            continue;
        const char *rest = text + len;
        if (*rest != 0)
            ++rest; // the separator, whatever it is
        size_t n = std::strlen(rest);
        if (n > kDrmNetAddressMax)
            return false;
        path->component = c.number;
        path->addressLength = static_cast<uint8_t>(n);
        std::memcpy(path->address, rest, n + 1);
        return true;
    }
    return true;
}

void DrmFormatNetPath(const DrmNetPath *path, char *buffer, size_t bufferSize)
{
    if (bufferSize == 0)
        return;
    buffer[0] = 0;
    for (const Component &c : kComponents) {
        if (c.number != path->component)
            continue;
        size_t n =
            path->addressLength > kDrmNetAddressMax ? kDrmNetAddressMax : path->addressLength;
        std::snprintf(buffer, bufferSize, "%s:%.*s", c.name, static_cast<int>(n), path->address);
        return;
    }
}

int32_t DrmServerLinkComponentCount()
{
    std::lock_guard<std::recursive_mutex> hold(DrmModuleLock());
    return TheRegistry().links.oCount();
}

int32_t DrmServerLinkConnectionCount()
{
    std::lock_guard<std::recursive_mutex> hold(DrmModuleLock());
    Registry &r = TheRegistry();
    int32_t n = 0;
    for (int32_t i = 0; i < r.links.oCount(); ++i)
        n += r.links.oGet(i)->connections.oCount();
    return n;
}
