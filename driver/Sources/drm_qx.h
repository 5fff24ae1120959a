// The data module's road to netclient.
//
// Every server request the data module makes goes through the DrmQx* calls
// below: each writes "QX CALL: " and the request's name to the trace log,
// then runs the request through the installed DrmServerApi. The production
// table forwards to netclient's _QX_ calls and copies variable-sized results
// out of their QXHandles (freeing them at once), so the rest of the module
// holds no netclient memory; tests install a table of their own.
//
// Statuses are netclient's signed 16-bit statuses widened to 32 bits.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "netclient/qxnetclient.h"

using DrmQxConnection = uintptr_t; // a connection handle; 0 none
using DrmQxComponent = uintptr_t;  // a network component object; 0 none
using DrmQxLocation = uintptr_t;   // a server location; 0 none

struct DrmServerInfo {
    int32_t version = 0;
    uint8_t bigEndian = 0;
};

// The 130-byte login record sent to the server: four 32-byte length-prefixed
// texts (application, user, password, second name), then two bytes.
struct DrmLoginRecord {
    uint8_t bytes[130] = {};
};
// Fills a login record; each text is cut to 31 characters.
void DrmMakeLoginRecord(DrmLoginRecord *record, std::string_view application, std::string_view user,
                        std::string_view password, std::string_view secondName, uint8_t byte128,
                        uint8_t byte129);

// A server table's answer to the halves of a request it only makes whole.
inline constexpr int32_t kDrmQxWhole = 1;

class DrmServerApi {
public:
    virtual ~DrmServerApi() = default;
    virtual int32_t InitQXWS() = 0;
    virtual int32_t DeInitQXWS() = 0;
    virtual DrmQxComponent InitNetworkComponent(uint16_t component) = 0;
    virtual int32_t DeInitNetworkComponent(uint16_t component, DrmQxComponent object) = 0;
    // Component at a 1-based position: its number.
    virtual int32_t GetComponentInfo(int16_t index, uint16_t *component) = 0;
    // Shows the selection dialog; the chosen server's name lands in
    // pascalName (length byte and up to 79 characters).
    virtual int32_t SelectQXServer(uint8_t *pascalName, DrmQxLocation *location, uint16_t component,
                                   DrmQxComponent object) = 0;
    virtual int32_t FindQXServer(std::string_view address, DrmQxLocation *location,
                                 uint16_t component, DrmQxComponent object) = 0;
    virtual int32_t OpenQXConnection(DrmLoginRecord *login, DrmQxLocation location,
                                     DrmQxConnection *connection, uint16_t component,
                                     DrmQxComponent object) = 0;
    virtual int32_t CloseQXConnection(DrmQxConnection connection) = 0;
    // Time limits: the next OpenQXConnection as a whole, and a connection's
    // requests (each reply; all of them from now on); milliseconds, 0 none.
    virtual void SetOpenTimeout(uint32_t /*ms*/) {}
    virtual int32_t SetConnectionTimeouts(DrmQxConnection /*connection*/, uint32_t /*replyMs*/,
                                          uint32_t /*totalMs*/)
    {
        return 0;
    }
    virtual int32_t FreeNetworkLocation(DrmQxLocation location, uint16_t component,
                                        DrmQxComponent object) = 0;
    virtual int32_t GetServerInfo(DrmQxConnection connection, DrmServerInfo *info) = 0;
    virtual int32_t CountFiles(DrmQxConnection connection, int16_t *count) = 0;
    // The table-name list: 16-bit count, then 32-byte length-prefixed names.
    virtual int32_t GetFileList(DrmQxConnection connection, std::vector<uint8_t> *bytes) = 0;
    // A table definition: 30-byte header, then 66-byte field rows.
    virtual int32_t GetFileDefinition(DrmQxConnection connection, int16_t table,
                                      std::vector<uint8_t> *bytes) = 0;
    virtual int32_t StartQXTransaction(DrmQxConnection connection) = 0;
    virtual int32_t Commit(DrmQxConnection connection) = 0;
    virtual int32_t RollBack(DrmQxConnection connection) = 0;

    // Selections and records of one table (a table cursor's requests).
    virtual int32_t SelectAllRecords(DrmQxConnection connection, int16_t table) = 0;
    virtual int32_t Search(DrmQxConnection connection, QXSearchArray *search, int32_t *found) = 0;
    virtual int32_t Sort(DrmQxConnection connection, const QXSortSpec *sort) = 0;
    virtual int32_t RecordsInSelection(DrmQxConnection connection, int16_t table,
                                       int32_t *count) = 0;
    virtual int32_t RecordsInFile(DrmQxConnection connection, int16_t table, int32_t *count) = 0;
    virtual int32_t GotoSelectedRecord(DrmQxConnection connection, int16_t table,
                                       int32_t position) = 0;
    // The records at 0-based positions first..last of the selection: a
    // 32-bit record count, then the listed fields' values packed per record.
    virtual int32_t SubSelectionToArray(DrmQxConnection connection,
                                        const QXArrayDescription *fields, int32_t first,
                                        int32_t last, std::vector<uint8_t> *bytes) = 0;
    // The same request in two halves, for reading ahead: the send returns
    // once the request is out, the receive gives its reply (bytes null: read
    // and dropped). Only DrmQxSendSubSelectionToArray and its take or drop
    // call them, one request out per connection. A table without the halves
    // answers kDrmQxWhole: the request is then made whole when taken.
    virtual int32_t SendSubSelectionToArray(DrmQxConnection /*connection*/,
                                            const QXArrayDescription * /*fields*/,
                                            int32_t /*first*/, int32_t /*last*/)
    {
        return kDrmQxWhole;
    }
    virtual int32_t ReceiveSubSelectionToArray(DrmQxConnection /*connection*/,
                                               std::vector<uint8_t> * /*bytes*/)
    {
        return kDrmQxWhole;
    }
    virtual int32_t SetReadWriteMode(DrmQxConnection connection, int16_t table,
                                     uint8_t readWrite) = 0;
    // Reads `field` of the table's current record; *locked is 1 when another
    // connection holds the record's lock (the values come all the same).
    virtual int32_t GetFields(DrmQxConnection connection, int16_t table, int16_t field,
                              uint8_t *locked) = 0;
    // Record buffers are handles released with FreeHandle.
    virtual QXHandle CreateBuffer(DrmQxConnection connection, int16_t table) = 0;
    virtual int32_t AddToBuffer(DrmQxConnection connection, QXHandle buffer, int16_t field,
                                const QXValue *value) = 0;
    virtual int32_t NewRecord(DrmQxConnection connection, QXHandle buffer) = 0;
    virtual int32_t ModifyRecord(DrmQxConnection connection, QXHandle buffer) = 0;
    virtual int32_t DeleteCurrentRecord(DrmQxConnection connection, int16_t table) = 0;
    // Named selections: names are length-prefixed (at most 31 characters).
    virtual int32_t CopySelection(DrmQxConnection connection, const uint8_t *name,
                                  int16_t table) = 0;
    virtual int32_t UseSelection(DrmQxConnection connection, const uint8_t *name,
                                 int16_t *table) = 0;
    virtual int32_t KillSelection(DrmQxConnection connection, const uint8_t *name) = 0;

    // Movable memory of long values (QXHandle).
    virtual QXHandle AllocHandle(int32_t size) = 0;
    virtual void *LockHandle(QXHandle handle) = 0;
    virtual void UnlockHandle(QXHandle handle) = 0;
    virtual int32_t SizeOfHandle(QXHandle handle) = 0;
    virtual void FreeHandle(QXHandle handle) = 0;
};

// The netclient table (built once).
DrmServerApi &DrmNetclientApi();
// The installed table; tests put their own in place, nullptr restores netclient.
DrmServerApi &DrmQxApi();
void DrmSetServerApi(DrmServerApi *api);

int32_t DrmQxInitQXWS();
int32_t DrmQxDeInitQXWS();
DrmQxComponent DrmQxInitNetworkComponent(uint16_t component);
int32_t DrmQxDeInitNetworkComponent(uint16_t component, DrmQxComponent object);
int32_t DrmQxGetComponentInfo(int16_t index, uint16_t *component);
int32_t DrmQxSelectQXServer(uint8_t *pascalName, DrmQxLocation *location, uint16_t component,
                            DrmQxComponent object);
int32_t DrmQxFindQXServer(std::string_view address, DrmQxLocation *location, uint16_t component,
                          DrmQxComponent object);
int32_t DrmQxOpenQXConnection(DrmLoginRecord *login, DrmQxLocation location,
                              DrmQxConnection *connection, uint16_t component,
                              DrmQxComponent object);
int32_t DrmQxCloseQXConnection(DrmQxConnection connection);
int32_t DrmQxFreeNetworkLocation(DrmQxLocation location, uint16_t component, DrmQxComponent object);
int32_t DrmQxGetServerInfo(DrmQxConnection connection, DrmServerInfo *info);
// Time limits in milliseconds (0: none), see DrmServerApi.
void DrmQxSetOpenTimeout(uint32_t ms);
int32_t DrmQxSetConnectionTimeouts(DrmQxConnection connection, uint32_t replyMs, uint32_t totalMs);
int32_t DrmQxCountFiles(DrmQxConnection connection, int16_t *count);
int32_t DrmQxGetFileList(DrmQxConnection connection, std::vector<uint8_t> *bytes);
int32_t DrmQxGetFileDefinition(DrmQxConnection connection, int16_t table,
                               std::vector<uint8_t> *bytes);
int32_t DrmQxStartQXTransaction(DrmQxConnection connection);
int32_t DrmQxCommit(DrmQxConnection connection);
int32_t DrmQxRollBack(DrmQxConnection connection);

int32_t DrmQxSelectAllRecords(DrmQxConnection connection, int16_t table);
int32_t DrmQxSearch(DrmQxConnection connection, QXSearchArray *search, int32_t *found);
int32_t DrmQxSort(DrmQxConnection connection, const QXSortSpec *sort);
int32_t DrmQxRecordsInSelection(DrmQxConnection connection, int16_t table, int32_t *count);
int32_t DrmQxRecordsInFile(DrmQxConnection connection, int16_t table, int32_t *count);
int32_t DrmQxGotoSelectedRecord(DrmQxConnection connection, int16_t table, int32_t position);
int32_t DrmQxSubSelectionToArray(DrmQxConnection connection, const QXArrayDescription *fields,
                                 int32_t first, int32_t last, std::vector<uint8_t> *bytes);
int32_t DrmQxSetReadWriteMode(DrmQxConnection connection, int16_t table, uint8_t readWrite);
int32_t DrmQxGetFields(DrmQxConnection connection, int16_t table, int16_t field, uint8_t *locked);
QXHandle DrmQxCreateBuffer(DrmQxConnection connection, int16_t table);
int32_t DrmQxAddToBuffer(DrmQxConnection connection, QXHandle buffer, int16_t field,
                         const QXValue *value);
int32_t DrmQxNewRecord(DrmQxConnection connection, QXHandle buffer);
int32_t DrmQxModifyRecord(DrmQxConnection connection, QXHandle buffer);
int32_t DrmQxDeleteCurrentRecord(DrmQxConnection connection, int16_t table);
int32_t DrmQxCopySelection(DrmQxConnection connection, const uint8_t *name, int16_t table);
int32_t DrmQxUseSelection(DrmQxConnection connection, const uint8_t *name, int16_t *table);
int32_t DrmQxKillSelection(DrmQxConnection connection, const uint8_t *name);

// ---- Windows read ahead (drm_qx_ahead.cpp) --------------------------------
// A window request sent before it is needed, so that the server works and
// the reply travels while the caller goes on: the connection carries one
// request at a time, so every other DrmQx call on the connection first reads
// the reply and drops it (DrmQxSettleAhead), and the window is then asked for
// again as usual. A ticket names one request sent ahead; 0 none.
using DrmQxTicket = uint64_t;
DrmQxTicket DrmQxSendSubSelectionToArray(DrmQxConnection connection,
                                         const QXArrayDescription *fields, int32_t first,
                                         int32_t last);
enum class DrmQxTake {
    kTaken,    // *status and *bytes are the request's, as a request made now gives them
    kLost,     // another request went to the connection since: ask again
    kAskAgain, // it failed short of losing the link: ask again, the status is the server's then
};
// The reply of the ticket's request. A failure that broke the connection (a
// timeout, a lost link) is taken, as the request made now would have met it.
DrmQxTake DrmQxTakeSubSelectionToArray(DrmQxConnection connection, DrmQxTicket ticket,
                                       int32_t *status, std::vector<uint8_t> *bytes);
// Gives the ticket's request up (its reply read and dropped); nothing when
// the ticket is no longer out.
void DrmQxDropSubSelectionToArray(DrmQxConnection connection, DrmQxTicket ticket);
// Reads and drops the reply of any window sent ahead on the connection:
// called first by every DrmQx call of a connection.
void DrmQxSettleAhead(DrmQxConnection connection);
// Called before a request that changes records (on any connection): every
// window sent ahead before it is dropped at its take, and asked for again.
void DrmQxNoteChange();
