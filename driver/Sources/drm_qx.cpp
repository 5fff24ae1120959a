#include "driver/Sources/drm_qx.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "driver/Sources/drm_trace.h"

namespace {

std::atomic<DrmServerApi *> g_api{nullptr};

void PutPascal(uint8_t *slot, std::string_view text)
{
    size_t n = std::min<size_t>(text.size(), 31);
    slot[0] = static_cast<uint8_t>(n);
    std::memcpy(slot + 1, text.data(), n);
}

} // namespace

void DrmMakeLoginRecord(DrmLoginRecord *record, std::string_view application, std::string_view user,
                        std::string_view password, std::string_view secondName, uint8_t byte128,
                        uint8_t byte129)
{
    std::memset(record->bytes, 0, sizeof record->bytes);
    PutPascal(record->bytes + 0, application);
    PutPascal(record->bytes + 32, user);
    PutPascal(record->bytes + 64, password);
    PutPascal(record->bytes + 96, secondName);
    record->bytes[128] = byte128;
    record->bytes[129] = byte129;
}

DrmServerApi &DrmQxApi()
{
    DrmServerApi *api = g_api.load();
    return api ? *api : DrmNetclientApi();
}

void DrmSetServerApi(DrmServerApi *api) { g_api.store(api); }

int32_t DrmQxInitQXWS()
{
    DrmTraceQxCall("_QX_InitQXWS");
    return DrmQxApi().InitQXWS();
}
int32_t DrmQxDeInitQXWS()
{
    DrmTraceQxCall("_QX_DeInitQXWS");
    return DrmQxApi().DeInitQXWS();
}
DrmQxComponent DrmQxInitNetworkComponent(uint16_t component)
{
    DrmTraceQxCall("_QX_InitNetworkComponent");
    return DrmQxApi().InitNetworkComponent(component);
}
int32_t DrmQxDeInitNetworkComponent(uint16_t component, DrmQxComponent object)
{
    DrmTraceQxCall("_QX_DeInitNetworkComponent");
    return DrmQxApi().DeInitNetworkComponent(component, object);
}
int32_t DrmQxGetComponentInfo(int16_t index, uint16_t *component)
{
    DrmTraceQxCall("_QX_GetComponentInfo");
    return DrmQxApi().GetComponentInfo(index, component);
}
int32_t DrmQxSelectQXServer(uint8_t *pascalName, DrmQxLocation *location, uint16_t component,
                            DrmQxComponent object)
{
    DrmTraceQxCall("_QX_SelectQXServer");
    return DrmQxApi().SelectQXServer(pascalName, location, component, object);
}
int32_t DrmQxFindQXServer(std::string_view address, DrmQxLocation *location, uint16_t component,
                          DrmQxComponent object)
{
    DrmTraceQxCall("_QX_FindQXServer");
    return DrmQxApi().FindQXServer(address, location, component, object);
}
int32_t DrmQxOpenQXConnection(DrmLoginRecord *login, DrmQxLocation location,
                              DrmQxConnection *connection, uint16_t component,
                              DrmQxComponent object)
{
    DrmTraceQxCall("_QX_OpenQXConnection");
    return DrmQxApi().OpenQXConnection(login, location, connection, component, object);
}
int32_t DrmQxCloseQXConnection(DrmQxConnection connection)
{
    DrmQxSettleAhead(connection);
    DrmTraceQxCall("_QX_CloseQXConnection");
    return DrmQxApi().CloseQXConnection(connection);
}
int32_t DrmQxFreeNetworkLocation(DrmQxLocation location, uint16_t component, DrmQxComponent object)
{
    DrmTraceQxCall("_QX_FreeNetworkLocation");
    return DrmQxApi().FreeNetworkLocation(location, component, object);
}
void DrmQxSetOpenTimeout(uint32_t ms) { DrmQxApi().SetOpenTimeout(ms); }

int32_t DrmQxSetConnectionTimeouts(DrmQxConnection connection, uint32_t replyMs, uint32_t totalMs)
{
    DrmQxSettleAhead(connection);
    return DrmQxApi().SetConnectionTimeouts(connection, replyMs, totalMs);
}

int32_t DrmQxGetServerInfo(DrmQxConnection connection, DrmServerInfo *info)
{
    DrmQxSettleAhead(connection);
    DrmTraceQxCall("_QX_GetServerInfo");
    return DrmQxApi().GetServerInfo(connection, info);
}
int32_t DrmQxCountFiles(DrmQxConnection connection, int16_t *count)
{
    DrmQxSettleAhead(connection);
    DrmTraceQxCall("_QX_CountFiles");
    return DrmQxApi().CountFiles(connection, count);
}
int32_t DrmQxGetFileList(DrmQxConnection connection, std::vector<uint8_t> *bytes)
{
    DrmQxSettleAhead(connection);
    DrmTraceQxCall("_QX_GetFileList");
    return DrmQxApi().GetFileList(connection, bytes);
}
int32_t DrmQxGetFileDefinition(DrmQxConnection connection, int16_t table,
                               std::vector<uint8_t> *bytes)
{
    DrmQxSettleAhead(connection);
    DrmTraceQxCall("_QX_GetFileDefinition");
    return DrmQxApi().GetFileDefinition(connection, table, bytes);
}
int32_t DrmQxStartQXTransaction(DrmQxConnection connection)
{
    DrmQxSettleAhead(connection);
    DrmTraceQxCall("_QX_StartQXTransaction");
    return DrmQxApi().StartQXTransaction(connection);
}
int32_t DrmQxCommit(DrmQxConnection connection)
{
    DrmQxSettleAhead(connection);
    DrmQxNoteChange();
    DrmTraceQxCall("_QX_Commit");
    return DrmQxApi().Commit(connection);
}
int32_t DrmQxRollBack(DrmQxConnection connection)
{
    DrmQxSettleAhead(connection);
    DrmQxNoteChange();
    DrmTraceQxCall("_QX_RollBack");
    return DrmQxApi().RollBack(connection);
}
int32_t DrmQxSelectAllRecords(DrmQxConnection c, int16_t table)
{
    DrmQxSettleAhead(c);
    DrmTraceQxCall("_QX_SelectAllRecords");
    return DrmQxApi().SelectAllRecords(c, table);
}
int32_t DrmQxSearch(DrmQxConnection c, QXSearchArray *search, int32_t *found)
{
    DrmQxSettleAhead(c);
    DrmTraceQxCall("_QX_Search");
    return DrmQxApi().Search(c, search, found);
}
int32_t DrmQxSort(DrmQxConnection c, const QXSortSpec *sort)
{
    DrmQxSettleAhead(c);
    DrmTraceQxCall("_QX_Sort");
    return DrmQxApi().Sort(c, sort);
}
int32_t DrmQxRecordsInSelection(DrmQxConnection c, int16_t table, int32_t *count)
{
    DrmQxSettleAhead(c);
    DrmTraceQxCall("_QX_RecordsInSelection");
    return DrmQxApi().RecordsInSelection(c, table, count);
}
int32_t DrmQxRecordsInFile(DrmQxConnection c, int16_t table, int32_t *count)
{
    DrmQxSettleAhead(c);
    DrmTraceQxCall("_QX_RecordsInFile");
    return DrmQxApi().RecordsInFile(c, table, count);
}
int32_t DrmQxGotoSelectedRecord(DrmQxConnection c, int16_t table, int32_t position)
{
    DrmQxSettleAhead(c);
    DrmTraceQxCall("_QX_GotoSelectedRecord");
    return DrmQxApi().GotoSelectedRecord(c, table, position);
}
int32_t DrmQxSubSelectionToArray(DrmQxConnection c, const QXArrayDescription *fields, int32_t first,
                                 int32_t last, std::vector<uint8_t> *bytes)
{
    DrmQxSettleAhead(c);
    DrmTraceQxCall("_QX_SubSelectionToArray");
    return DrmQxApi().SubSelectionToArray(c, fields, first, last, bytes);
}
int32_t DrmQxGetFields(DrmQxConnection c, int16_t table, int16_t field, uint8_t *locked)
{
    DrmQxSettleAhead(c);
    DrmTraceQxCall("_QX_GetFields");
    return DrmQxApi().GetFields(c, table, field, locked);
}
int32_t DrmQxSetReadWriteMode(DrmQxConnection c, int16_t table, uint8_t readWrite)
{
    DrmQxSettleAhead(c);
    DrmTraceQxCall("_QX_SetReadWriteMode");
    return DrmQxApi().SetReadWriteMode(c, table, readWrite);
}
QXHandle DrmQxCreateBuffer(DrmQxConnection c, int16_t table)
{
    DrmQxSettleAhead(c);
    DrmTraceQxCall("_QX_CreateBuffer");
    return DrmQxApi().CreateBuffer(c, table);
}
int32_t DrmQxAddToBuffer(DrmQxConnection c, QXHandle buffer, int16_t field, const QXValue *value)
{
    DrmQxSettleAhead(c);
    DrmTraceQxCall("_QX_AddToBuffer");
    return DrmQxApi().AddToBuffer(c, buffer, field, value);
}
int32_t DrmQxNewRecord(DrmQxConnection c, QXHandle buffer)
{
    DrmQxSettleAhead(c);
    DrmQxNoteChange();
    DrmTraceQxCall("_QX_NewRecord");
    return DrmQxApi().NewRecord(c, buffer);
}
int32_t DrmQxModifyRecord(DrmQxConnection c, QXHandle buffer)
{
    DrmQxSettleAhead(c);
    DrmQxNoteChange();
    DrmTraceQxCall("_QX_ModifyRecord");
    return DrmQxApi().ModifyRecord(c, buffer);
}
int32_t DrmQxDeleteCurrentRecord(DrmQxConnection c, int16_t table)
{
    DrmQxSettleAhead(c);
    DrmQxNoteChange();
    DrmTraceQxCall("_QX_DeleteCurrentRecord");
    return DrmQxApi().DeleteCurrentRecord(c, table);
}
int32_t DrmQxCopySelection(DrmQxConnection c, const uint8_t *name, int16_t table)
{
    DrmQxSettleAhead(c);
    DrmTraceQxCall("_QX_CopySelection");
    return DrmQxApi().CopySelection(c, name, table);
}
int32_t DrmQxUseSelection(DrmQxConnection c, const uint8_t *name, int16_t *table)
{
    DrmQxSettleAhead(c);
    DrmTraceQxCall("_QX_UseSelection");
    return DrmQxApi().UseSelection(c, name, table);
}
int32_t DrmQxKillSelection(DrmQxConnection c, const uint8_t *name)
{
    DrmQxSettleAhead(c);
    DrmTraceQxCall("_QX_KillSelection");
    return DrmQxApi().KillSelection(c, name);
}
