// Server-connection manager.
//
// One registry per loaded library (the driver and the setup library each
// carry their own): one VDRMServerLinkInfo per initialised network component,
// with the connections opened through it. DrmNetLibInit starts netclient on
// first use and arranges DrmNetLibExit for unload: every component record is
// destroyed (its connections closed, last first; the component
// de-initialised), then netclient is de-initialised.
//
// Network path text (the DBQ value): a component name ("AppleTalk", "TCP/IP",
// "IPX", "Local"), one separator character, then the server address. For
// TCP/IP the address is a host name or IP address with an optional ":port",
// or a published service name, a space and a computer name.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/Sources/VArrays.h"
#include "driver/Sources/drm_qx.h"

enum : uint16_t {
    kDrmNetAppleTalk = 1,
    kDrmNetTcpIp = 2,
    kDrmNetIpx = 4,
    kDrmNetLocal = 69,
};

inline constexpr size_t kDrmNetAddressMax = 79;

struct DrmNetPath {
    uint16_t component = 0; // 0 when the text named no known component
    uint8_t addressLength = 0;
    char address[kDrmNetAddressMax + 1] = {};
};

class VDRMServerLinkInfo : public VObject {
public:
    VDRMServerLinkInfo(uint16_t component, DrmQxComponent object)
        : component(component), object(object), connections(1)
    {}
    ~VDRMServerLinkInfo() override;

    // -1 when this record does not hold the handle.
    int32_t oCloseConnection(DrmQxConnection connection);
    // Removes entry i; -1 when its handle is 0, else the close status.
    int32_t oCloseConnectionAt(int32_t i);

    uint16_t component;
    DrmQxComponent object;
    VArray<DrmQxConnection> connections;
};

void DrmNetLibInit();
void DrmNetLibExit();

int32_t DrmInitNetwork(uint16_t component);
// Lets the user choose a server; 0 with the record filled.
int32_t DrmSelectServer(DrmNetPath *path);
// Finds the server of the path and opens a connection with the login.
int32_t DrmServerLink(DrmLoginRecord *login, const DrmNetPath *path, DrmQxConnection *connection);
// Closes a connection this manager opened and zeroes the caller's handle;
// -1 (handle left alone) when no component holds it.
int32_t DrmCloseServerLink(DrmQxConnection *connection);
// Closes every connection the manager keeps; components stay initialised.
void DrmCloseAllServerLinks();

// Fills the record from the text. False (and an empty record) when the
// address does not fit the record.
bool DrmParseNetPath(const char *text, DrmNetPath *path);
// Writes "name:address", or an empty text for an unknown component. The
// buffer takes at least 96 bytes; the text is cut to fit bufferSize.
void DrmFormatNetPath(const DrmNetPath *path, char *buffer, size_t bufferSize);

// Number of component records and connections (tests, diagnostics).
int32_t DrmServerLinkComponentCount();
int32_t DrmServerLinkConnectionCount();
