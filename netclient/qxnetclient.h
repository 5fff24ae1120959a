// netclient: the QX Server client library.
//
// Order of use:
//   _QX_InitQXWS
//   comp = _QX_InitNetworkComponent(0)
//   _QX_FindQXServer(name, &loc, 0, comp)   (or _QX_SelectQXServer)
//   _QX_OpenQXConnection(&login, loc, &conn, 0, comp)
//   request calls on conn ...
//   _QX_CloseQXConnection(conn)
//   _QX_FreeNetworkLocation(loc, 0, comp)
//   _QX_DeInitNetworkComponent(0, comp)
//   _QX_DeInitQXWS                         (counted: one per _QX_InitQXWS)
//
// Every request call returns a signed 16-bit status: 0 success, the library's
// own codes below, or the server's negative status passed through unchanged.
// The library's internal routines (nc::) answer the same statuses; only the
// socket layer answers its own codes (nc_socket.h), turned into statuses by
// its callers. Nothing is thrown across the library's boundary.
// Every variable-sized result is a QXHandle owned by the caller and released
// with FreeQXHandle. Records the caller passes in (login record, search
// arrays, sort specifications, field lists) stay the caller's.
//
// Text exchanged with the server is length-prefixed (a length byte, then the
// characters) in Mac Roman.
#pragma once

#include <cstdint>

#define QX_EXPORT __attribute__((visibility("default")))

// ---- statuses -------------------------------------------------------------
enum : int16_t {
    QX_OK = 0,
    QX_IN_PROGRESS = 1,      // _QX_ProcessQXRequest: still running
    QX_ERR_PENDING = -32001, // polled connection with a request pending,
                             // or a call that answers only synchronously
    QX_ERR_UNEXPECTED_DATA = -32002,
    QX_ERR_BAD_CONNECTION = -32003,
    QX_ERR_NO_MEMORY = -32004,
    QX_ERR_NOTHING_SENT = -32005, // _QX_ReceiveSubSelectionToArray: no window out
    QX_ERR_NO_REPLY_BODY = -10001, // reply that must carry a body carried none
    QX_ERR_SERVER_TOO_OLD = -9956,
    QX_ERR_BAD_REPLY_LENGTH = -9800,
    QX_ERR_TOO_MANY_LINES = -9965,
    QX_ERR_TEXT_IN_SEARCH = -9966,
    QX_ERR_RECORD_LOCKED = -4444, // server status for field reads, see _QX_GetFields
    QX_ERR_NO_SERVER = -10021,
    QX_ERR_BAD_OPTION = -10050,
    // component and link statuses
    QX_ERR_CHANNEL = -10001, // wrong channel state, failed open
    QX_ERR_LINK = -10002,    // link broken or socket error
    QX_ERR_DIALOG_CANCEL = -10020,
    QX_ERR_RECEIVE_BUSY = -10030,
    QX_ERR_SEND_BUSY = -10031,
    QX_ERR_LENGTH_MISMATCH = -10033,
    QX_ERR_LINK_REESTABLISHED = -10066,
    // why a connection could not be made or was given up
    QX_ERR_REFUSED = -10061,       // nothing accepts connections at that address
    QX_ERR_NOT_ANSWERING = -10062, // the connection was not accepted, or no
                                   // handshake came, in the time allowed
    QX_ERR_TIMED_OUT = -10060,     // no reply in the time allowed; the link is
                                   // closed and the connection marked broken
    // handshake or probe reply that cannot be used (negative by design)
    QX_ERR_BAD_HANDSHAKE = -9801,
    QX_ERR_NO_PROBE_BODY = -9802,
};

// Value types of the server (meanings are the data module's).
enum : uint8_t {
    QX_TYPE_ALPHA = 0,   // length-prefixed string
    QX_TYPE_REAL = 1,    // 10-byte real on the wire, host double in memory
    QX_TYPE_TEXT = 2,    // length and bytes in a QXHandle
    QX_TYPE_PICTURE = 3, // length and bytes in a QXHandle
    QX_TYPE_DATE = 4,    // three 16-bit numbers
    QX_TYPE_BOOLEAN = 6, // 16-bit
    QX_TYPE_INTEGER = 8, // 16-bit
    QX_TYPE_LONGINT = 9, // 32-bit
    QX_TYPE_TIME = 11,   // 32-bit
    QX_TYPE_BLOB = 30,   // length and bytes in a QXHandle
};

// ---- movable memory ---------------------------------------------------------
// An opaque handle of a block that carries its own size. 0 (nullptr) is no
// handle. A released handle never locks again (LockQXHandle gives null).
typedef struct QXHandleTag *QXHandle;

// Server location made by find or select; released by _QX_FreeNetworkLocation.
typedef struct QXLocationRecord *QXNetworkLocation;
// A network-component instance made by _QX_InitNetworkComponent.
typedef struct TcpComponent *QXComponent;

// ---- exchange records ---------------------------------------------------------
// Login record: four 32-byte length-prefixed strings (length byte, then up to
// 31 Mac Roman characters) and two bytes. Its 130 bytes are the login body.
struct QXLoginRecord {
    uint8_t applicationName[32];
    uint8_t userName[32];
    uint8_t password[32];
    uint8_t secondName[32];
    uint8_t loginFlag;  // set to 1 by _QX_OpenQXConnection
    uint8_t callerByte; // left as the caller set it
};
static_assert(sizeof(QXLoginRecord) == 130);

struct QXServerInfo {
    int32_t version;
    uint8_t bigEndian; // 1 when the connection swaps byte order
};

// One typed value. Only the members of its type are read or written.
struct QXValue {
    uint8_t type;
    uint8_t alpha[84];  // QX_TYPE_ALPHA: length byte then up to 83 characters
    double real;        // QX_TYPE_REAL
    int32_t length;     // QX_TYPE_TEXT / PICTURE / BLOB: byte count
    QXHandle data;      // QX_TYPE_TEXT / PICTURE / BLOB: the bytes (caller's)
    int16_t date[3];    // QX_TYPE_DATE
    int16_t shortValue; // QX_TYPE_BOOLEAN / INTEGER
    int32_t longValue;  // QX_TYPE_LONGINT / TIME
};

struct QXSearchLine {
    int16_t field;
    int16_t table;          // 0: the array's default table
    uint8_t op;             // comparison operator (caller's codes)
    uint8_t callerByte;     // carried unchanged
    QXValue value;          // QX_TYPE_TEXT is refused (-9966)
    uint8_t conjunction;    // with the previous line (caller's codes)
    uint8_t callerBytes[3]; // carried unchanged
};

struct QXSearchArray {
    int16_t count;
    int16_t defaultTable;
    QXSearchLine *lines; // count lines (the caller's)
};

struct QXSortKey {
    int16_t field;
    int16_t table;
    uint8_t ascending; // non-zero: ascending
    uint8_t unused;
};

struct QXSortSpec {
    int16_t count;
    int16_t table;
    const QXSortKey *keys;
};

// Fields to read from one table.
struct QXFieldList {
    int16_t count;
    int16_t table;
    const int16_t *fields;
};

struct QXFieldPair {
    int16_t table;
    int16_t field;
};

// Fields to read across related tables; also the description of the
// selection-array calls (a pair with field 0 asks for the record numbers, a
// long integer column, alone or beside fields).
struct QXRelatedFieldList {
    int16_t count;
    int16_t table;
    const QXFieldPair *pairs;
};
typedef QXRelatedFieldList QXArrayDescription;

// Result layouts inside the handles the caller receives (all numbers in host
// order):
//   QXFieldsResult   read only through _QX_GetNthField.
//   QXRecordBuffer   made by _QX_CreateBuffer, filled by _QX_AddToBuffer.
//   selection array  32-bit row count, then per row one value per column in
//                    its wire form (string: length byte + text; real: host
//                    double in the first 8 of 10 bytes; text: 16-bit length +
//                    bytes; picture, BLOB: 32-bit length + bytes; date: three
//                    16-bit; 16/32-bit numbers).
//   QXFileList       16-bit count n, then n 32-byte length-prefixed names.
//   QXFileDefinition 30-byte header (16-bit field count at 0), then 66-byte
//                    rows: 32-byte name, type at 32, byte at 33, 16-bit at 34,
//                    four bytes at 36, twelve 16-bit at 40, two bytes at 64.
typedef QXHandle QXFieldsResult;
typedef QXHandle QXRecordBuffer;

extern "C" {

// ---- QXHandle ---------------------------------------------------------------
QX_EXPORT QXHandle AllocQXHandle(int32_t size);
QX_EXPORT void *LockQXHandle(QXHandle h);
QX_EXPORT void UnlockQXHandle(QXHandle h);
// 1 when resized (data up to the smaller size kept), 0 with the block unchanged.
QX_EXPORT uint8_t ResizeQXHandle(QXHandle h, int32_t size);
QX_EXPORT int32_t SizeOfQXHandle(QXHandle h);
// 0 when released, else the handle itself.
QX_EXPORT QXHandle FreeQXHandle(QXHandle h);

// ---- start-up, components, server location -------------------------------------
QX_EXPORT int16_t _QX_InitQXWS(void);
QX_EXPORT int16_t _QX_DeInitQXWS(void);
QX_EXPORT int16_t _QX_NB_NetworkComponent(void);
QX_EXPORT QXComponent _QX_InitNetworkComponent(int16_t componentNumber);
QX_EXPORT int16_t _QX_DeInitNetworkComponent(int16_t componentNumber, QXComponent component);
// description: a length-prefixed buffer of at least 256 bytes.
QX_EXPORT int16_t _QX_GetComponentInfo(int16_t componentNumber, int16_t *kind,
                                       unsigned char *description);
// serverName: out, a length-prefixed buffer of at least 256 bytes.
QX_EXPORT int16_t _QX_SelectQXServer(unsigned char *serverName, QXNetworkLocation *location,
                                     int16_t componentNumber, QXComponent component);
QX_EXPORT int16_t _QX_SelectQXServerWithOther(unsigned char *serverName,
                                              QXNetworkLocation *location, int16_t componentNumber,
                                              QXComponent component);
// name: "host", "host:port", "host,port" or a published server name, optionally
// followed by a tab and the wanted computer name (length-prefixed).
QX_EXPORT int16_t _QX_FindQXServer(const unsigned char *name, QXNetworkLocation *location,
                                   int16_t componentNumber, QXComponent component);
QX_EXPORT int16_t _QX_FreeNetworkLocation(QXNetworkLocation location, int16_t componentNumber,
                                          QXComponent component);
// Sets or reads an option of the component ('port', 'brst', 'time', 'tfin', ...).
// Codes are four characters, first character in the most significant byte.
QX_EXPORT int16_t _QX_SetComponentOption(QXComponent component, uint32_t code, int32_t value,
                                         const unsigned char *text);
QX_EXPORT int16_t _QX_GetComponentOption(QXComponent component, uint32_t code, int32_t *value,
                                         unsigned char *text);

// ---- connections ------------------------------------------------------------
QX_EXPORT int16_t _QX_OpenQXConnection(QXLoginRecord *login, QXNetworkLocation location,
                                       QXHandle *connection, int16_t componentNumber,
                                       QXComponent component);
QX_EXPORT int16_t _QX_CloseQXConnection(QXHandle connection);
// Time limits of a connection's requests, in milliseconds (0: none):
// replyMs for each request, from its submission to its reply; totalMs for all
// requests from now on together. A request past either ends with
// QX_ERR_TIMED_OUT: the link to the server is closed (a late reply would
// put the stream out of step) and every later request on the connection
// answers QX_ERR_LINK. Component option 'otim' bounds _QX_OpenQXConnection as
// a whole (connect, handshake, byte-order word, probe and login) the same
// way; a new connection starts with the component's 'rtim' as its replyMs.
QX_EXPORT int16_t _QX_SetConnectionTimeouts(QXHandle connection, int32_t replyMs, int32_t totalMs);
QX_EXPORT int16_t _QX_GetServerInfo(QXHandle connection, QXServerInfo *info);
QX_EXPORT int16_t _QX_FlushServer(QXHandle connection);
QX_EXPORT int16_t _QX_SetConnectionSync(QXHandle connection);
QX_EXPORT int16_t _QX_SetConnectionAsync(QXHandle connection);
QX_EXPORT int16_t _QX_IsConnectionAsync(QXHandle connection, uint8_t *polled);
QX_EXPORT int16_t _QX_EnableSystemTask(QXHandle connection);
QX_EXPORT int16_t _QX_DisableSystemTask(QXHandle connection);
QX_EXPORT int16_t _QX_IsEnableSystemTask(QXHandle connection, uint8_t *enabled);
// Polled mode: 1 while the request runs, then its status, then 0.
QX_EXPORT int16_t _QX_ProcessQXRequest(QXHandle connection);

// ---- selections, records, fields, arrays -----------------------------------------
QX_EXPORT int16_t _QX_SelectAllRecords(QXHandle connection, int16_t table);
QX_EXPORT int16_t _QX_Search(QXHandle connection, QXSearchArray *search, int32_t *found);
QX_EXPORT int16_t _QX_SearchInSelection(QXHandle connection, QXSearchArray *search, int32_t *found);
QX_EXPORT int16_t _QX_Sort(QXHandle connection, const QXSortSpec *sort);
QX_EXPORT int16_t _QX_GotoSelectedRecord(QXHandle connection, int16_t table, int32_t position);
QX_EXPORT int16_t _QX_GotoRecord(QXHandle connection, int16_t table, int32_t recordNumber);
QX_EXPORT int16_t _QX_RecordsInSelection(QXHandle connection, int16_t table, int32_t *count);
QX_EXPORT int16_t _QX_CurrentRecordNumber(QXHandle connection, int16_t table, int32_t *recordNumber,
                                          int32_t *position);
QX_EXPORT int16_t _QX_RecordsInFile(QXHandle connection, int16_t table, int32_t *count);
QX_EXPORT int16_t _QX_AutoSequenceNumber(QXHandle connection, int16_t table, int32_t *number);
QX_EXPORT int16_t _QX_GetFields(QXHandle connection, const QXFieldList *fields,
                                QXFieldsResult *result, uint8_t *locked);
QX_EXPORT int16_t _QX_GetRelatedFields(QXHandle connection, const QXRelatedFieldList *fields,
                                       QXFieldsResult *result, uint8_t *locked);
// formats: n length-prefixed format strings one after another.
QX_EXPORT int16_t _QX_GetRelatedFormattedFields(QXHandle connection,
                                                const QXRelatedFieldList *fields, QXHandle formats,
                                                QXFieldsResult *result, uint8_t *locked);
// index from 1; types TEXT, PICTURE, BLOB get a new handle in value->data
// (none for length 0), owned by the caller.
QX_EXPORT int16_t _QX_GetNthField(QXFieldsResult result, int16_t index, QXValue *value);
QX_EXPORT int16_t _QX_UnlockCurrentRecord(QXHandle connection, int16_t table);
QX_EXPORT QXRecordBuffer _QX_CreateBuffer(QXHandle connection, int16_t table);
QX_EXPORT int16_t _QX_AddToBuffer(QXHandle connection, QXRecordBuffer buffer, int16_t field,
                                  const QXValue *value);
QX_EXPORT int16_t _QX_ModifyRecord(QXHandle connection, QXRecordBuffer buffer);
QX_EXPORT int16_t _QX_NewRecord(QXHandle connection, QXRecordBuffer buffer);
QX_EXPORT int16_t _QX_DeleteSelectedRecords(QXHandle connection, int16_t table);
QX_EXPORT int16_t _QX_DeleteCurrentRecord(QXHandle connection, int16_t table);
QX_EXPORT int16_t _QX_SetReadWriteMode(QXHandle connection, int16_t table, uint8_t readWrite);
QX_EXPORT int16_t _QX_OneToMany_Join(QXHandle connection, int16_t a, int16_t b);
QX_EXPORT int16_t _QX_ManyToOne_Join(QXHandle connection, int16_t a, int16_t b);
QX_EXPORT int16_t _QX_BuildDistinctValues(QXHandle connection, int16_t table, int16_t field,
                                          QXHandle *values);
QX_EXPORT int16_t _QX_ShrinkSelection(QXHandle connection, int16_t table, int32_t count);
QX_EXPORT int16_t _QX_GetFirst_Nth_Values(QXHandle connection, int16_t a, int16_t b, int32_t c);
QX_EXPORT int16_t _QX_SelectionToArray(QXHandle connection, const QXArrayDescription *desc,
                                       QXHandle *array);
// first and last: 0-based positions in the selection, both included.
QX_EXPORT int16_t _QX_SubSelectionToArray(QXHandle connection, const QXArrayDescription *desc,
                                          int32_t first, int32_t last, QXHandle *array);
// The same request in two halves, on a synchronous connection, so that the
// server works and the reply travels while the caller does something else:
// the send returns once the request is out (0, or the status the call would
// have answered instead), the receive waits for its reply and answers what
// _QX_SubSelectionToArray would have (its reply time counted from the
// receive). One request is out at a time: any other call on the connection
// first reads the reply and drops it, and the receive then answers
// QX_ERR_NOTHING_SENT; array null: the reply is read and dropped.
QX_EXPORT int16_t _QX_SendSubSelectionToArray(QXHandle connection, const QXArrayDescription *desc,
                                              int32_t first, int32_t last);
QX_EXPORT int16_t _QX_ReceiveSubSelectionToArray(QXHandle connection, QXHandle *array);
// array: {16-bit n, 16-bit table, n x (table, field, type) 16-bit, 32-bit rows, rows}.
QX_EXPORT int16_t _QX_ArrayToSelection(QXHandle connection, QXHandle array);
QX_EXPORT int16_t _QX_StartQXTransaction(QXHandle connection);
QX_EXPORT int16_t _QX_Commit(QXHandle connection);
QX_EXPORT int16_t _QX_RollBack(QXHandle connection);
QX_EXPORT int16_t _QX_CopySelection(QXHandle connection, const unsigned char *name, int16_t table);
QX_EXPORT int16_t _QX_MoveSelection(QXHandle connection, const unsigned char *name, int16_t table);
QX_EXPORT int16_t _QX_UseSelection(QXHandle connection, const unsigned char *name, int16_t *table);
QX_EXPORT int16_t _QX_KillSelection(QXHandle connection, const unsigned char *name);
// result: 10 bytes, a host double in the first 8.
QX_EXPORT int16_t _QX_SumField(QXHandle connection, int16_t table, int16_t field, uint8_t *result);
QX_EXPORT int16_t _QX_AverageField(QXHandle connection, int16_t table, int16_t field,
                                   uint8_t *result);
QX_EXPORT int16_t _QX_MaxField(QXHandle connection, int16_t table, int16_t field, uint8_t *result);
QX_EXPORT int16_t _QX_MinField(QXHandle connection, int16_t table, int16_t field, uint8_t *result);
// types: {16-bit n, n 16-bit types} or null. Returns the byte size, 0 for an
// unrecognised type, -32003 for a bad handle.
QX_EXPORT int32_t _QX_ConvertArray(QXHandle connection, const int16_t *types, QXHandle array,
                                   int16_t textDirection, int16_t valueDirection);
// direction: 1 towards the server, 2 from the server. value: type byte then value
// in wire form.
QX_EXPORT int16_t _QX_ConvertField(QXHandle connection, uint8_t *value, int16_t direction);
QX_EXPORT int16_t _QX_StrPCToMac(QXHandle connection, unsigned char *text, int16_t length);
QX_EXPORT int16_t _QX_StrMacToPC(QXHandle connection, unsigned char *text, int16_t length);

// ---- catalog, administration, sets, semaphores ------------------------------------
QX_EXPORT int16_t _QX_CountFiles(QXHandle connection, int16_t *count);
QX_EXPORT int16_t _QX_GetFileList(QXHandle connection, QXHandle *list);
QX_EXPORT int16_t _QX_GetFileDefinition(QXHandle connection, int16_t table, QXHandle *definition);
// names: 16-bit count n, then n 64-byte entries.
QX_EXPORT int16_t _QX_GetFieldNumbers(QXHandle connection, uint8_t *names, QXHandle *numbers);
QX_EXPORT int16_t _QX_GetNbUsers(QXHandle connection, int16_t *count);
QX_EXPORT int16_t _QX_GetNbUserProcesses(QXHandle connection, int16_t *count);
QX_EXPORT int16_t _QX_GetListProcess(QXHandle connection, QXHandle *list);
QX_EXPORT int16_t _QX_GetUsersAndGroups(QXHandle connection, int16_t selector, QXHandle *list,
                                        int16_t *users, int16_t *groups);
QX_EXPORT int16_t _QX_GetNthUser(QXHandle list, int16_t index, uint8_t *user112);
QX_EXPORT int16_t _QX_GetNthGroup(QXHandle list, int16_t index, QXHandle *group);
QX_EXPORT int16_t _QX_SetLogFile(QXHandle connection, const unsigned char *fileName);
QX_EXPORT int16_t _QX_StartFullBackup(QXHandle connection);
QX_EXPORT int16_t _QX_StartIncBackup(QXHandle connection);
QX_EXPORT int16_t _QX_SendToBackupModule(QXHandle connection, QXHandle data, QXHandle *reply);
QX_EXPORT int16_t _QX_Server_CurrentTime(QXHandle connection, int32_t *time);
QX_EXPORT int16_t _QX_Server_CurrentDate(QXHandle connection, int16_t *date3);
QX_EXPORT int16_t _QX_WriteData(QXHandle connection, QXHandle data);
QX_EXPORT int16_t _QX_ReadData(QXHandle connection, const uint8_t *key10, QXHandle *data);
QX_EXPORT int16_t _QX_ProcessNumber(QXHandle connection, const unsigned char *processName,
                                    int16_t *number);
QX_EXPORT int16_t _QX_ExecuteOnServer(QXHandle connection, QXHandle procedureCall, int32_t *result);
QX_EXPORT int16_t _QX_GetProcessVar(QXHandle connection, QXHandle variables);
QX_EXPORT int16_t _QX_SetProcessVar(QXHandle connection, QXHandle variables);
QX_EXPORT int16_t _QX_CreateEmptySet(QXHandle connection, const unsigned char *setName,
                                     int16_t table);
QX_EXPORT int16_t _QX_CreateSet(QXHandle connection, const unsigned char *setName, int16_t table);
QX_EXPORT int16_t _QX_UseSet(QXHandle connection, const unsigned char *setName);
QX_EXPORT int16_t _QX_ClearSet(QXHandle connection, const unsigned char *setName);
QX_EXPORT int16_t _QX_AddToSet(QXHandle connection, const unsigned char *setName, int16_t table);
QX_EXPORT int16_t _QX_RemoveFromSet(QXHandle connection, const unsigned char *setName,
                                    int16_t table);
QX_EXPORT int16_t _QX_IsInSet(QXHandle connection, const unsigned char *setName,
                              int32_t recordNumber, int16_t *isIn);
QX_EXPORT int16_t _QX_RecordsInSet(QXHandle connection, const unsigned char *setName,
                                   int32_t *count);
QX_EXPORT int16_t _QX_CopySet(QXHandle connection, const unsigned char *source,
                              const unsigned char *target);
QX_EXPORT int16_t _QX_UnionSet(QXHandle connection, const unsigned char *a, const unsigned char *b,
                               const unsigned char *result);
QX_EXPORT int16_t _QX_DifferenceSet(QXHandle connection, const unsigned char *a,
                                    const unsigned char *b, const unsigned char *result);
QX_EXPORT int16_t _QX_IntersectionSet(QXHandle connection, const unsigned char *a,
                                      const unsigned char *b, const unsigned char *result);
QX_EXPORT int16_t _QX_SetSemaphore(QXHandle connection, const unsigned char *name, uint8_t *taken);
QX_EXPORT int16_t _QX_CheckSemaphore(QXHandle connection, const unsigned char *name,
                                     uint8_t *isSet);
QX_EXPORT int16_t _QX_ClearSemaphore(QXHandle connection, const unsigned char *name);
QX_EXPORT int32_t _QX_GetVersionNumber(void);

} // extern "C"
