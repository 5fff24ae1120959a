// The production DrmServerApi: netclient's calls.
//
// Only the TCP/IP component exists; AppleTalk, IPX, Local and unknown
// components get a placeholder object and find no server.
// Choosing a server in a dialog answers as Cancel until a dialog provider
// is wired in ("no UI").
#include <cstring>

#include "driver/Sources/drm_qx.h"
#include "netclient/qxnetclient.h"
#include "platform/memory.h"

namespace {

constexpr uint16_t kTcpIp = 2;
constexpr DrmQxComponent kNoSuchComponent = 1;   // placeholder object of other components
constexpr uint32_t kOptionOpenTime = 0x6F74696D; // 'otim': bound of a whole connection open

QXHandle H(DrmQxConnection c) { return reinterpret_cast<QXHandle>(c); }
QXComponent C(DrmQxComponent c) { return reinterpret_cast<QXComponent>(c); }

// Copies a handle's bytes out and frees it.
int32_t TakeBytes(QXHandle handle, std::vector<uint8_t> *bytes)
{
    bytes->clear();
    if (!handle)
        return 0;
    int32_t size = SizeOfQXHandle(handle);
    const void *data = LockQXHandle(handle);
    if (data && size > 0)
        bytes->assign(static_cast<const uint8_t *>(data),
                      static_cast<const uint8_t *>(data) + size);
    if (data)
        UnlockQXHandle(handle);
    FreeQXHandle(handle);
    return 0;
}

class NetclientApi final : public DrmServerApi {
public:
    int32_t InitQXWS() override { return _QX_InitQXWS(); }
    int32_t DeInitQXWS() override { return _QX_DeInitQXWS(); }
    DrmQxComponent InitNetworkComponent(uint16_t component) override
    {
        if (component != kTcpIp)
            return kNoSuchComponent;
        return reinterpret_cast<DrmQxComponent>(
            _QX_InitNetworkComponent(static_cast<int16_t>(component)));
    }
    int32_t DeInitNetworkComponent(uint16_t component, DrmQxComponent object) override
    {
        if (object == kNoSuchComponent)
            return 0;
        return _QX_DeInitNetworkComponent(static_cast<int16_t>(component), C(object));
    }
    int32_t GetComponentInfo(int16_t index, uint16_t *component) override
    {
        *component = kTcpIp;
        int16_t kind = 0;
        unsigned char description[256] = {};
        int32_t status = _QX_GetComponentInfo(index, &kind, description);
        if (status == 0)
            *component = static_cast<uint16_t>(kind);
        return status;
    }
    int32_t SelectQXServer(uint8_t *name, DrmQxLocation *location, uint16_t component,
                           DrmQxComponent object) override
    {
        if (object == kNoSuchComponent)
            return QX_ERR_NO_SERVER;
        QXNetworkLocation loc = nullptr;
        int32_t status = _QX_SelectQXServer(name, &loc, static_cast<int16_t>(component), C(object));
        *location = status == 0 ? reinterpret_cast<DrmQxLocation>(loc) : 0;
        return status;
    }
    int32_t FindQXServer(std::string_view address, DrmQxLocation *location, uint16_t component,
                         DrmQxComponent object) override
    {
        if (object == kNoSuchComponent)
            return QX_ERR_NO_SERVER;
        unsigned char name[256];
        size_t n = address.size() > 255 ? 255 : address.size();
        name[0] = static_cast<unsigned char>(n);
        std::memcpy(name + 1, address.data(), n);
        QXNetworkLocation loc = nullptr;
        int32_t status = _QX_FindQXServer(name, &loc, static_cast<int16_t>(component), C(object));
        *location = status == 0 ? reinterpret_cast<DrmQxLocation>(loc) : 0;
        return status;
    }
    int32_t OpenQXConnection(DrmLoginRecord *login, DrmQxLocation location,
                             DrmQxConnection *connection, uint16_t component,
                             DrmQxComponent object) override
    {
        *connection = 0;
        QXLoginRecord record;
        std::memcpy(record.applicationName, login->bytes, 32);
        std::memcpy(record.userName, login->bytes + 32, 32);
        std::memcpy(record.password, login->bytes + 64, 32);
        std::memcpy(record.secondName, login->bytes + 96, 32);
        record.loginFlag = login->bytes[128];
        record.callerByte = login->bytes[129];
        QXHandle handle = nullptr;
        if (object != kNoSuchComponent)
            _QX_SetComponentOption(C(object), kOptionOpenTime, static_cast<int32_t>(openTimeoutMs_),
                                   nullptr);
        int32_t status =
            _QX_OpenQXConnection(&record, reinterpret_cast<QXNetworkLocation>(location), &handle,
                                 static_cast<int16_t>(component), C(object));
        login->bytes[128] = record.loginFlag;
        PlatWipe(&record, sizeof record);
        *connection = status == 0 ? reinterpret_cast<DrmQxConnection>(handle) : 0;
        return status;
    }
    void SetOpenTimeout(uint32_t ms) override { openTimeoutMs_ = ms; }
    int32_t SetConnectionTimeouts(DrmQxConnection connection, uint32_t replyMs,
                                  uint32_t totalMs) override
    {
        return _QX_SetConnectionTimeouts(H(connection), static_cast<int32_t>(replyMs),
                                         static_cast<int32_t>(totalMs));
    }
    int32_t CloseQXConnection(DrmQxConnection connection) override
    {
        return _QX_CloseQXConnection(H(connection));
    }
    int32_t FreeNetworkLocation(DrmQxLocation location, uint16_t component,
                                DrmQxComponent object) override
    {
        if (object == kNoSuchComponent)
            return 0;
        return _QX_FreeNetworkLocation(reinterpret_cast<QXNetworkLocation>(location),
                                       static_cast<int16_t>(component), C(object));
    }
    int32_t GetServerInfo(DrmQxConnection connection, DrmServerInfo *info) override
    {
        QXServerInfo si{};
        int32_t status = _QX_GetServerInfo(H(connection), &si);
        info->version = si.version;
        info->bigEndian = si.bigEndian;
        return status;
    }
    int32_t CountFiles(DrmQxConnection connection, int16_t *count) override
    {
        *count = 0;
        return _QX_CountFiles(H(connection), count);
    }
    int32_t GetFileList(DrmQxConnection connection, std::vector<uint8_t> *bytes) override
    {
        QXHandle list = nullptr;
        int32_t status = _QX_GetFileList(H(connection), &list);
        TakeBytes(list, bytes);
        return status;
    }
    int32_t GetFileDefinition(DrmQxConnection connection, int16_t table,
                              std::vector<uint8_t> *bytes) override
    {
        QXHandle def = nullptr;
        int32_t status = _QX_GetFileDefinition(H(connection), table, &def);
        TakeBytes(def, bytes);
        return status;
    }
    int32_t StartQXTransaction(DrmQxConnection c) override { return _QX_StartQXTransaction(H(c)); }
    int32_t Commit(DrmQxConnection c) override { return _QX_Commit(H(c)); }
    int32_t RollBack(DrmQxConnection c) override { return _QX_RollBack(H(c)); }

    int32_t SelectAllRecords(DrmQxConnection c, int16_t table) override
    {
        return _QX_SelectAllRecords(H(c), table);
    }
    int32_t Search(DrmQxConnection c, QXSearchArray *search, int32_t *found) override
    {
        *found = 0;
        return _QX_Search(H(c), search, found);
    }
    int32_t Sort(DrmQxConnection c, const QXSortSpec *sort) override
    {
        return _QX_Sort(H(c), sort);
    }
    int32_t RecordsInSelection(DrmQxConnection c, int16_t table, int32_t *count) override
    {
        *count = 0;
        return _QX_RecordsInSelection(H(c), table, count);
    }
    int32_t RecordsInFile(DrmQxConnection c, int16_t table, int32_t *count) override
    {
        *count = 0;
        return _QX_RecordsInFile(H(c), table, count);
    }
    int32_t GotoSelectedRecord(DrmQxConnection c, int16_t table, int32_t position) override
    {
        return _QX_GotoSelectedRecord(H(c), table, position);
    }
    int32_t SubSelectionToArray(DrmQxConnection c, const QXArrayDescription *fields, int32_t first,
                                int32_t last, std::vector<uint8_t> *bytes) override
    {
        bytes->clear();
        QXHandle array = nullptr;
        int32_t status = _QX_SubSelectionToArray(H(c), fields, first, last, &array);
        TakeBytes(array, bytes);
        return status;
    }
    int32_t SendSubSelectionToArray(DrmQxConnection c, const QXArrayDescription *fields,
                                    int32_t first, int32_t last) override
    {
        return _QX_SendSubSelectionToArray(H(c), fields, first, last);
    }
    int32_t ReceiveSubSelectionToArray(DrmQxConnection c, std::vector<uint8_t> *bytes) override
    {
        QXHandle array = nullptr;
        int32_t status = _QX_ReceiveSubSelectionToArray(H(c), bytes ? &array : nullptr);
        if (bytes)
            TakeBytes(array, bytes);
        return status;
    }
    int32_t SetReadWriteMode(DrmQxConnection c, int16_t table, uint8_t readWrite) override
    {
        return _QX_SetReadWriteMode(H(c), table, readWrite);
    }
    int32_t GetFields(DrmQxConnection c, int16_t table, int16_t field, uint8_t *locked) override
    {
        QXFieldList list{1, table, &field};
        QXFieldsResult result = nullptr;
        *locked = 0;
        int32_t status = _QX_GetFields(H(c), &list, &result, locked);
        if (result)
            FreeQXHandle(result);
        return status;
    }
    QXHandle CreateBuffer(DrmQxConnection c, int16_t table) override
    {
        return _QX_CreateBuffer(H(c), table);
    }
    int32_t AddToBuffer(DrmQxConnection c, QXHandle buffer, int16_t field,
                        const QXValue *value) override
    {
        return _QX_AddToBuffer(H(c), buffer, field, value);
    }
    int32_t NewRecord(DrmQxConnection c, QXHandle buffer) override
    {
        return _QX_NewRecord(H(c), buffer);
    }
    int32_t ModifyRecord(DrmQxConnection c, QXHandle buffer) override
    {
        return _QX_ModifyRecord(H(c), buffer);
    }
    int32_t DeleteCurrentRecord(DrmQxConnection c, int16_t table) override
    {
        return _QX_DeleteCurrentRecord(H(c), table);
    }
    int32_t CopySelection(DrmQxConnection c, const uint8_t *name, int16_t table) override
    {
        return _QX_CopySelection(H(c), name, table);
    }
    int32_t UseSelection(DrmQxConnection c, const uint8_t *name, int16_t *table) override
    {
        return _QX_UseSelection(H(c), name, table);
    }
    int32_t KillSelection(DrmQxConnection c, const uint8_t *name) override
    {
        return _QX_KillSelection(H(c), name);
    }

    QXHandle AllocHandle(int32_t size) override { return AllocQXHandle(size); }
    void *LockHandle(QXHandle h) override { return LockQXHandle(h); }
    void UnlockHandle(QXHandle h) override { UnlockQXHandle(h); }
    int32_t SizeOfHandle(QXHandle h) override { return SizeOfQXHandle(h); }
    void FreeHandle(QXHandle h) override { FreeQXHandle(h); }

private:
    uint32_t openTimeoutMs_ = 0;
};

} // namespace

DrmServerApi &DrmNetclientApi()
{
    // Never destroyed: the unload path still closes connections through it.
    static NetclientApi &api = *new NetclientApi;
    return api;
}
