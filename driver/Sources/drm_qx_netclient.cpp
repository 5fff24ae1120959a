// The production DrmServerApi: netclient's request calls.
#include "driver/Sources/drm_qx.h"

namespace {

// Until the client library's calls are bound, every request answers as a
// library with no server reachable.
class NetclientApi final : public DrmServerApi {
public:
    int32_t InitQXWS() override { return 0; }
    int32_t DeInitQXWS() override { return 0; }
    DrmQxComponent InitNetworkComponent(uint16_t) override { return 0; }
    int32_t DeInitNetworkComponent(uint16_t, DrmQxComponent) override { return 0; }
    int32_t GetComponentInfo(int16_t, uint16_t *component) override {
        *component = 2;
        return 0;
    }
    int32_t SelectQXServer(uint8_t *, DrmQxLocation *, uint16_t, DrmQxComponent) override {
        return -10020;
    }
    int32_t FindQXServer(std::string_view, DrmQxLocation *, uint16_t, DrmQxComponent) override {
        return -10021;
    }
    int32_t OpenQXConnection(DrmLoginRecord *, DrmQxLocation, DrmQxConnection *connection, uint16_t,
                             DrmQxComponent) override {
        *connection = 0;
        return -10001;
    }
    int32_t CloseQXConnection(DrmQxConnection) override { return -32003; }
    int32_t FreeNetworkLocation(DrmQxLocation, uint16_t, DrmQxComponent) override { return 0; }
    int32_t GetServerInfo(DrmQxConnection, DrmServerInfo *) override { return -32003; }
    int32_t CountFiles(DrmQxConnection, int16_t *count) override {
        *count = 0;
        return -32003;
    }
    int32_t GetFileList(DrmQxConnection, std::vector<uint8_t> *) override { return -32003; }
    int32_t GetFileDefinition(DrmQxConnection, int16_t, std::vector<uint8_t> *) override {
        return -32003;
    }
    int32_t StartQXTransaction(DrmQxConnection) override { return -32003; }
    int32_t Commit(DrmQxConnection) override { return -32003; }
    int32_t RollBack(DrmQxConnection) override { return -32003; }
};

} // namespace

DrmServerApi &DrmNetclientApi() {
    // Never destroyed: the unload path still closes connections through it.
    static NetclientApi &api = *new NetclientApi;
    return api;
}
