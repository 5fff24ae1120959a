// The production DrmServerApi: netclient's calls.
//
// The calls are bound weakly, so the driver links and runs (answering as a
// library that finds no server) against a client library that lacks them.
// Only the TCP/IP component exists; AppleTalk, IPX, Local and unknown
// components get a placeholder object and find no server.
// Choosing a server in a dialog answers as Cancel until a dialog provider
// is wired in ("no UI").
#include <cstring>

#include "driver/Sources/drm_qx.h"

#define QX_WEAK(ret, name, args) extern "C" __attribute__((weak)) ret name args

QX_WEAK(QXHandle, AllocQXHandle, (int32_t));
QX_WEAK(void *, LockQXHandle, (QXHandle));
QX_WEAK(void, UnlockQXHandle, (QXHandle));
QX_WEAK(int32_t, SizeOfQXHandle, (QXHandle));
QX_WEAK(QXHandle, FreeQXHandle, (QXHandle));
QX_WEAK(int16_t, _QX_InitQXWS, (void));
QX_WEAK(int16_t, _QX_DeInitQXWS, (void));
QX_WEAK(QXComponent, _QX_InitNetworkComponent, (int16_t));
QX_WEAK(int16_t, _QX_DeInitNetworkComponent, (int16_t, QXComponent));
QX_WEAK(int16_t, _QX_GetComponentInfo, (int16_t, int16_t *, unsigned char *));
QX_WEAK(int16_t, _QX_FindQXServer, (const unsigned char *, QXNetworkLocation *, int16_t, QXComponent));
QX_WEAK(int16_t, _QX_FreeNetworkLocation, (QXNetworkLocation, int16_t, QXComponent));
QX_WEAK(int16_t, _QX_OpenQXConnection, (QXLoginRecord *, QXNetworkLocation, QXHandle *, int16_t, QXComponent));
QX_WEAK(int16_t, _QX_CloseQXConnection, (QXHandle));
QX_WEAK(int16_t, _QX_GetServerInfo, (QXHandle, QXServerInfo *));
QX_WEAK(int16_t, _QX_CountFiles, (QXHandle, int16_t *));
QX_WEAK(int16_t, _QX_GetFileList, (QXHandle, QXHandle *));
QX_WEAK(int16_t, _QX_GetFileDefinition, (QXHandle, int16_t, QXHandle *));
QX_WEAK(int16_t, _QX_StartQXTransaction, (QXHandle));
QX_WEAK(int16_t, _QX_Commit, (QXHandle));
QX_WEAK(int16_t, _QX_RollBack, (QXHandle));
QX_WEAK(int16_t, _QX_SelectAllRecords, (QXHandle, int16_t));
QX_WEAK(int16_t, _QX_Search, (QXHandle, QXSearchArray *, int32_t *));
QX_WEAK(int16_t, _QX_Sort, (QXHandle, const QXSortSpec *));
QX_WEAK(int16_t, _QX_RecordsInSelection, (QXHandle, int16_t, int32_t *));
QX_WEAK(int16_t, _QX_RecordsInFile, (QXHandle, int16_t, int32_t *));
QX_WEAK(int16_t, _QX_GotoSelectedRecord, (QXHandle, int16_t, int32_t));
QX_WEAK(int16_t, _QX_SubSelectionToArray, (QXHandle, const QXArrayDescription *, int32_t, int32_t, QXHandle *));
QX_WEAK(int16_t, _QX_SetReadWriteMode, (QXHandle, int16_t, uint8_t));
QX_WEAK(QXRecordBuffer, _QX_CreateBuffer, (QXHandle, int16_t));
QX_WEAK(int16_t, _QX_AddToBuffer, (QXHandle, QXRecordBuffer, int16_t, const QXValue *));
QX_WEAK(int16_t, _QX_NewRecord, (QXHandle, QXRecordBuffer));
QX_WEAK(int16_t, _QX_ModifyRecord, (QXHandle, QXRecordBuffer));
QX_WEAK(int16_t, _QX_DeleteCurrentRecord, (QXHandle, int16_t));
QX_WEAK(int16_t, _QX_CopySelection, (QXHandle, const unsigned char *, int16_t));
QX_WEAK(int16_t, _QX_UseSelection, (QXHandle, const unsigned char *, int16_t *));
QX_WEAK(int16_t, _QX_KillSelection, (QXHandle, const unsigned char *));

namespace {

constexpr uint16_t kTcpIp = 2;
constexpr DrmQxComponent kNoSuchComponent = 1;   // placeholder object of other components

QXHandle H(DrmQxConnection c) { return reinterpret_cast<QXHandle>(c); }
QXComponent C(DrmQxComponent c) { return reinterpret_cast<QXComponent>(c); }

// Copies a handle's bytes out and frees it.
int32_t TakeBytes(QXHandle handle, std::vector<uint8_t> *bytes) {
    bytes->clear();
    if (!handle)
        return 0;
    int32_t size = SizeOfQXHandle ? SizeOfQXHandle(handle) : 0;
    const void *data = LockQXHandle ? LockQXHandle(handle) : nullptr;
    if (data && size > 0)
        bytes->assign(static_cast<const uint8_t *>(data), static_cast<const uint8_t *>(data) + size);
    if (data)
        UnlockQXHandle(handle);
    if (FreeQXHandle)
        FreeQXHandle(handle);
    return 0;
}

class NetclientApi final : public DrmServerApi {
public:
    int32_t InitQXWS() override { return _QX_InitQXWS ? _QX_InitQXWS() : 0; }
    int32_t DeInitQXWS() override { return _QX_DeInitQXWS ? _QX_DeInitQXWS() : 0; }
    DrmQxComponent InitNetworkComponent(uint16_t component) override {
        if (component != kTcpIp)
            return kNoSuchComponent;
        if (!_QX_InitNetworkComponent)
            return kNoSuchComponent;
        return reinterpret_cast<DrmQxComponent>(_QX_InitNetworkComponent(static_cast<int16_t>(component)));
    }
    int32_t DeInitNetworkComponent(uint16_t component, DrmQxComponent object) override {
        if (object == kNoSuchComponent || !_QX_DeInitNetworkComponent)
            return 0;
        return _QX_DeInitNetworkComponent(static_cast<int16_t>(component), C(object));
    }
    int32_t GetComponentInfo(int16_t index, uint16_t *component) override {
        *component = kTcpIp;
        if (!_QX_GetComponentInfo)
            return 0;
        int16_t kind = 0;
        unsigned char description[256] = {};
        int32_t status = _QX_GetComponentInfo(index, &kind, description);
        if (status == 0)
            *component = static_cast<uint16_t>(kind);
        return status;
    }
    int32_t SelectQXServer(uint8_t *, DrmQxLocation *, uint16_t, DrmQxComponent) override {
        return QX_ERR_DIALOG_CANCEL;   // no UI
    }
    int32_t FindQXServer(std::string_view address, DrmQxLocation *location, uint16_t component,
                         DrmQxComponent object) override {
        if (object == kNoSuchComponent || !_QX_FindQXServer)
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
    int32_t OpenQXConnection(DrmLoginRecord *login, DrmQxLocation location, DrmQxConnection *connection,
                             uint16_t component, DrmQxComponent object) override {
        *connection = 0;
        if (!_QX_OpenQXConnection)
            return QX_ERR_CHANNEL;
        QXLoginRecord record;
        std::memcpy(record.applicationName, login->bytes, 32);
        std::memcpy(record.userName, login->bytes + 32, 32);
        std::memcpy(record.password, login->bytes + 64, 32);
        std::memcpy(record.secondName, login->bytes + 96, 32);
        record.loginFlag = login->bytes[128];
        record.callerByte = login->bytes[129];
        QXHandle handle = nullptr;
        int32_t status = _QX_OpenQXConnection(&record, reinterpret_cast<QXNetworkLocation>(location), &handle,
                                              static_cast<int16_t>(component), C(object));
        login->bytes[128] = record.loginFlag;
        *connection = status == 0 ? reinterpret_cast<DrmQxConnection>(handle) : 0;
        return status;
    }
    int32_t CloseQXConnection(DrmQxConnection connection) override {
        return _QX_CloseQXConnection ? _QX_CloseQXConnection(H(connection)) : int32_t{QX_ERR_BAD_CONNECTION};
    }
    int32_t FreeNetworkLocation(DrmQxLocation location, uint16_t component, DrmQxComponent object) override {
        if (object == kNoSuchComponent || !_QX_FreeNetworkLocation)
            return 0;
        return _QX_FreeNetworkLocation(reinterpret_cast<QXNetworkLocation>(location),
                                       static_cast<int16_t>(component), C(object));
    }
    int32_t GetServerInfo(DrmQxConnection connection, DrmServerInfo *info) override {
        if (!_QX_GetServerInfo)
            return QX_ERR_BAD_CONNECTION;
        QXServerInfo si{};
        int32_t status = _QX_GetServerInfo(H(connection), &si);
        info->version = si.version;
        info->bigEndian = si.bigEndian;
        return status;
    }
    int32_t CountFiles(DrmQxConnection connection, int16_t *count) override {
        *count = 0;
        return _QX_CountFiles ? _QX_CountFiles(H(connection), count) : int32_t{QX_ERR_BAD_CONNECTION};
    }
    int32_t GetFileList(DrmQxConnection connection, std::vector<uint8_t> *bytes) override {
        if (!_QX_GetFileList)
            return QX_ERR_BAD_CONNECTION;
        QXHandle list = nullptr;
        int32_t status = _QX_GetFileList(H(connection), &list);
        TakeBytes(list, bytes);
        return status;
    }
    int32_t GetFileDefinition(DrmQxConnection connection, int16_t table, std::vector<uint8_t> *bytes) override {
        if (!_QX_GetFileDefinition)
            return QX_ERR_BAD_CONNECTION;
        QXHandle def = nullptr;
        int32_t status = _QX_GetFileDefinition(H(connection), table, &def);
        TakeBytes(def, bytes);
        return status;
    }
    int32_t StartQXTransaction(DrmQxConnection c) override {
        return _QX_StartQXTransaction ? _QX_StartQXTransaction(H(c)) : int32_t{QX_ERR_BAD_CONNECTION};
    }
    int32_t Commit(DrmQxConnection c) override { return _QX_Commit ? _QX_Commit(H(c)) : int32_t{QX_ERR_BAD_CONNECTION}; }
    int32_t RollBack(DrmQxConnection c) override {
        return _QX_RollBack ? _QX_RollBack(H(c)) : int32_t{QX_ERR_BAD_CONNECTION};
    }

    int32_t SelectAllRecords(DrmQxConnection c, int16_t table) override {
        return _QX_SelectAllRecords ? _QX_SelectAllRecords(H(c), table) : int32_t{QX_ERR_BAD_CONNECTION};
    }
    int32_t Search(DrmQxConnection c, QXSearchArray *search, int32_t *found) override {
        *found = 0;
        return _QX_Search ? _QX_Search(H(c), search, found) : int32_t{QX_ERR_BAD_CONNECTION};
    }
    int32_t Sort(DrmQxConnection c, const QXSortSpec *sort) override {
        return _QX_Sort ? _QX_Sort(H(c), sort) : int32_t{QX_ERR_BAD_CONNECTION};
    }
    int32_t RecordsInSelection(DrmQxConnection c, int16_t table, int32_t *count) override {
        *count = 0;
        return _QX_RecordsInSelection ? _QX_RecordsInSelection(H(c), table, count) : int32_t{QX_ERR_BAD_CONNECTION};
    }
    int32_t RecordsInFile(DrmQxConnection c, int16_t table, int32_t *count) override {
        *count = 0;
        return _QX_RecordsInFile ? _QX_RecordsInFile(H(c), table, count) : int32_t{QX_ERR_BAD_CONNECTION};
    }
    int32_t GotoSelectedRecord(DrmQxConnection c, int16_t table, int32_t position) override {
        return _QX_GotoSelectedRecord ? _QX_GotoSelectedRecord(H(c), table, position) : int32_t{QX_ERR_BAD_CONNECTION};
    }
    int32_t SubSelectionToArray(DrmQxConnection c, const QXArrayDescription *fields, int32_t first, int32_t last,
                                std::vector<uint8_t> *bytes) override {
        bytes->clear();
        if (!_QX_SubSelectionToArray)
            return QX_ERR_BAD_CONNECTION;
        QXHandle array = nullptr;
        int32_t status = _QX_SubSelectionToArray(H(c), fields, first, last, &array);
        TakeBytes(array, bytes);
        return status;
    }
    int32_t SetReadWriteMode(DrmQxConnection c, int16_t table, uint8_t readWrite) override {
        return _QX_SetReadWriteMode ? _QX_SetReadWriteMode(H(c), table, readWrite) : int32_t{QX_ERR_BAD_CONNECTION};
    }
    QXHandle CreateBuffer(DrmQxConnection c, int16_t table) override {
        return _QX_CreateBuffer ? _QX_CreateBuffer(H(c), table) : nullptr;
    }
    int32_t AddToBuffer(DrmQxConnection c, QXHandle buffer, int16_t field, const QXValue *value) override {
        return _QX_AddToBuffer ? _QX_AddToBuffer(H(c), buffer, field, value) : int32_t{QX_ERR_BAD_CONNECTION};
    }
    int32_t NewRecord(DrmQxConnection c, QXHandle buffer) override {
        return _QX_NewRecord ? _QX_NewRecord(H(c), buffer) : int32_t{QX_ERR_BAD_CONNECTION};
    }
    int32_t ModifyRecord(DrmQxConnection c, QXHandle buffer) override {
        return _QX_ModifyRecord ? _QX_ModifyRecord(H(c), buffer) : int32_t{QX_ERR_BAD_CONNECTION};
    }
    int32_t DeleteCurrentRecord(DrmQxConnection c, int16_t table) override {
        return _QX_DeleteCurrentRecord ? _QX_DeleteCurrentRecord(H(c), table) : int32_t{QX_ERR_BAD_CONNECTION};
    }
    int32_t CopySelection(DrmQxConnection c, const uint8_t *name, int16_t table) override {
        return _QX_CopySelection ? _QX_CopySelection(H(c), name, table) : int32_t{QX_ERR_BAD_CONNECTION};
    }
    int32_t UseSelection(DrmQxConnection c, const uint8_t *name, int16_t *table) override {
        return _QX_UseSelection ? _QX_UseSelection(H(c), name, table) : int32_t{QX_ERR_BAD_CONNECTION};
    }
    int32_t KillSelection(DrmQxConnection c, const uint8_t *name) override {
        return _QX_KillSelection ? _QX_KillSelection(H(c), name) : int32_t{QX_ERR_BAD_CONNECTION};
    }

    QXHandle AllocHandle(int32_t size) override { return AllocQXHandle ? AllocQXHandle(size) : nullptr; }
    void *LockHandle(QXHandle h) override { return LockQXHandle ? LockQXHandle(h) : nullptr; }
    void UnlockHandle(QXHandle h) override {
        if (UnlockQXHandle)
            UnlockQXHandle(h);
    }
    int32_t SizeOfHandle(QXHandle h) override { return SizeOfQXHandle ? SizeOfQXHandle(h) : 0; }
    void FreeHandle(QXHandle h) override {
        if (FreeQXHandle)
            FreeQXHandle(h);
    }
};

} // namespace

DrmServerApi &DrmNetclientApi() {
    // Never destroyed: the unload path still closes connections through it.
    static NetclientApi &api = *new NetclientApi;
    return api;
}

bool DrmNetclientComplete() {
    return AllocQXHandle && LockQXHandle && UnlockQXHandle && SizeOfQXHandle && FreeQXHandle && _QX_InitQXWS &&
           _QX_DeInitQXWS && _QX_InitNetworkComponent && _QX_DeInitNetworkComponent && _QX_FindQXServer &&
           _QX_FreeNetworkLocation && _QX_OpenQXConnection && _QX_CloseQXConnection && _QX_GetServerInfo &&
           _QX_CountFiles && _QX_GetFileList && _QX_GetFileDefinition && _QX_StartQXTransaction && _QX_Commit &&
           _QX_RollBack && _QX_SelectAllRecords && _QX_Search && _QX_Sort && _QX_RecordsInSelection &&
           _QX_RecordsInFile && _QX_GotoSelectedRecord && _QX_SubSelectionToArray && _QX_SetReadWriteMode &&
           _QX_CreateBuffer && _QX_AddToBuffer && _QX_NewRecord && _QX_ModifyRecord && _QX_DeleteCurrentRecord &&
           _QX_CopySelection && _QX_UseSelection && _QX_KillSelection;
}

bool DrmNetclientConnects() {
    return _QX_InitQXWS && _QX_InitNetworkComponent && _QX_DeInitNetworkComponent && _QX_FindQXServer &&
           _QX_FreeNetworkLocation && _QX_OpenQXConnection && _QX_CloseQXConnection && _QX_GetServerInfo;
}
