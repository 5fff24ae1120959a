// The data module's entry points, called by the SQL engine.
//
// Objects are named by 32-bit ids: a session (from DrmBeginSession), the
// databases opened in it (DrmOpenDatabase) and its cursors over tables and
// catalogs. Every entry point returns a data-module code: 0 success, a
// negative error, a positive warning (1004 value is NULL, 1006 data cut).
// Server and client-library statuses reach the caller through DrmMapError.
// Inside the module a failure is either returned as a data-module code or
// thrown as a VError holding one; every entry point catches the VError and
// returns its code, so no exception leaves the module. Nothing is posted on
// an ODBC handle here: the engine maps the code (rcErrMapDrm) and posts it.
// Session id 0xFFFFFFFF names the driver itself, in DrmGetInfo only.
//
// Usual order: DrmBeginSession, DrmSetSessionOption(5, code page),
// DrmOpenDatabase, catalog cursors (DrmGet...Info) or DrmOpenTable, then
// DrmMove (first, next... until -1603) and DrmRetrieveColumn per row,
// DrmCloseTable, DrmCloseDatabase, DrmEndSession. Ending a session closes
// whatever it still holds.
//
// All entry points serialise on the module-wide lock.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr uint32_t kDrmDriverSession = 0xFFFFFFFFu;
inline constexpr int32_t kDrmMoveFirst = static_cast<int32_t>(0x80000000u);
inline constexpr int32_t kDrmMoveNext = 1;
inline constexpr uint32_t kDrmSessionOptionCodePage = 5;
// Seconds the next database open (the whole connect) may take; 0 gives
// kDrmDefaultLoginTimeout.
inline constexpr uint32_t kDrmSessionOptionLoginTimeout = 6;
inline constexpr uint32_t kDrmDefaultLoginTimeout = 15;
// Seconds a request waits for its reply when the data source does not say
// (key "ReplyTimeout", 0 for no limit).
inline constexpr uint32_t kDrmDefaultReplyTimeout = 300;
// Characters of the user name and of the password the login record holds.
inline constexpr size_t kDrmLoginFieldMax = 31;

// Result codes used by this module.
enum : int32_t {
    kDrmOk = 0,
    kDrmWarnNull = 1004,
    kDrmWarnTruncated = 1006,
    kDrmErrNotSupported = -1001,
    kDrmErrInfoNotAnswered = -1003,
    kDrmErrBadDbId = -1010,
    kDrmErrNoMemory = -1011,
    kDrmErrNotADatabase = -1028,
    kDrmErrBufferTooSmall = -1038,
    kDrmErrBadSession = -1104,
    kDrmErrNoDatabase = -1203,
    kDrmErrNoTable = -1305,
    kDrmErrBadCursor = -1310,
    kDrmErrBadDirection = -1507,
    kDrmErrKeyNotFound = -1601,
    kDrmErrNoCurrentRecord = -1603,
    kDrmErrJoinDeclined = -2002,  // DrmSetJoin: the joins stay with the engine
    kDrmErrFilterPartial = -2004, // DrmSetFilter: a part of the filter was taken
    // Connection failures, told apart.
    kDrmErrNoServerAtAddress = -1950,  // refused: nothing listens there
    kDrmErrServerNotAnswering = -1951, // no connection or no greeting in time
    kDrmErrTimedOut = -1952,           // the connect took longer than its time
    kDrmErrLinkBroken = -1953,         // link error; the connection is marked broken
    kDrmErrLoginTooLong = -1954,       // user name or password beyond 31 characters
};

// State of a partly read long value between column reads.
struct DRM_RETINFO {
    uint32_t size;
    uint32_t delivered;
};

// Transaction codes of DrmSetTransact: 1, 2 nothing; 3 start; 4 commit;
// 5 roll back, on every open database of the session.
enum DrmTransactCode : uint32_t {
    kDrmTransactNone1 = 1,
    kDrmTransactNone2 = 2,
    kDrmTransactStart = 3,
    kDrmTransactCommit = 4,
    kDrmTransactRollBack = 5,
};

// Info records (DrmCursorInfo) are arrays of u32 words: word 0 the caller's
// record size (never written), then what each call fills; infoLength is the
// record's size in bytes. A retrieve list is a u32 byte length followed by
// {cursor id, column} pairs. Filter and data trees are the engine's word
// arrays.
int32_t DrmMapError(int32_t code);

int32_t DrmBeginSession(uint32_t *session, const char *user, const char *password,
                        const char *dataSource);
int32_t DrmEndSession(uint32_t session);
int32_t DrmGetInfo(uint32_t session, uint32_t item, void *buffer, uint32_t bufferLength,
                   uint32_t *outLength);
int32_t DrmSetSessionOption(uint32_t session, uint32_t option, uint32_t value);
int32_t DrmOpenDatabase(uint32_t session, const char *path, uint32_t *database, uint32_t unused);
int32_t DrmCloseDatabase(uint32_t session, uint32_t database);
int32_t DrmGetDatabaseTableInfo(uint32_t session, uint32_t database, uint32_t *info,
                                uint32_t infoLength);
int32_t DrmGetTypeCatalogInfo(uint32_t session, uint32_t database, uint32_t *info,
                              uint32_t infoLength);
int32_t DrmGetTableColumnInfo(uint32_t session, uint32_t cursor, uint32_t *info,
                              uint32_t infoLength);
int32_t DrmGetTableIndexInfo(uint32_t session, uint32_t cursor, const char *indexName,
                             uint32_t *info, uint32_t infoLength);
int32_t DrmOpenTable(uint32_t session, uint32_t database, const char *table, const char *secondName,
                     uint32_t flags, uint32_t *cursor);
int32_t DrmCloseTable(uint32_t session, uint32_t cursor);
int32_t DrmGetTableInfo(uint32_t session, uint32_t cursor, uint32_t *info, uint32_t infoLength);
int32_t DrmSetFilter(uint32_t session, uint32_t cursor, const uint32_t *filter,
                     const uint32_t *data);
int32_t DrmMove(uint32_t session, uint32_t cursor, int32_t direction);
int32_t DrmSetRetrieveColumns(uint32_t session, const uint32_t *list);
int32_t DrmRetrieveColumn(uint32_t session, uint32_t cursor, uint32_t column, void *buffer,
                          uint32_t bufferLength, uint32_t *outLength, DRM_RETINFO *state);
// One column of a row read with DrmRetrieveColumns: what to read and into
// where, and what DrmRetrieveColumn would answer for it.
struct DrmColumnRead {
    uint32_t column;
    void *buffer;
    uint32_t bufferLength;
    uint32_t outLength; // out
    int32_t result;     // out: the read's code, mapped (DrmMapError)
};
// Reads several columns of the cursor's current row in one call, each as
// DrmRetrieveColumn without a DRM_RETINFO would, in the order given. 0 when
// every read has its result; kDrmReadEachColumn, with nothing read, while the
// trace log is open (the log shows every column read as a call of its own,
// so the caller reads them with DrmRetrieveColumn); a session or cursor that
// does not exist answers as DrmRetrieveColumn does.
inline constexpr int32_t kDrmReadEachColumn = 1;
int32_t DrmRetrieveColumns(uint32_t session, uint32_t cursor, DrmColumnRead *reads, uint32_t count);
int32_t DrmGetBookmark(uint32_t session, uint32_t cursor, void *buffer, uint32_t bufferLength,
                       uint32_t *outLength);
int32_t DrmGotoBookmark(uint32_t session, uint32_t cursor, const void *bookmark, uint32_t length);
int32_t DrmSetTableIndex(uint32_t session, uint32_t cursor, const char *indexName);
int32_t DrmMakeKey(uint32_t session, uint32_t cursor, const void *key, uint32_t length,
                   uint32_t flags);
int32_t DrmSeek(uint32_t session, uint32_t cursor, uint32_t flags);
int32_t DrmInitUpdate(uint32_t session, uint32_t cursor, uint32_t mode);
// append: 1 for the second and later pieces of one long value, joined to
// the pieces before; text longer than its field answers -1047.
int32_t DrmSetColumn(uint32_t session, uint32_t cursor, uint32_t field, const void *data,
                     uint32_t length, uint32_t append, uint32_t isNull);
int32_t DrmUpdateRecord(uint32_t session, uint32_t cursor);
int32_t DrmDeleteRecord(uint32_t session, uint32_t cursor);
int32_t DrmSetParam(uint32_t session, uint32_t id, uint32_t type, const void *data,
                    uint32_t length);
// Forgets the parameter values with ids first..last (a statement that set
// them is reset or dropped).
int32_t DrmFreeParams(uint32_t session, uint32_t first, uint32_t last);
int32_t DrmSetTransact(uint32_t session, uint32_t code);
int32_t DrmStringCompare(uint32_t session, const char *text1, uint32_t length1, uint32_t unused1,
                         const char *text2, uint32_t length2, uint32_t unused2, int32_t *order);
// The parse hook: takes no statement.
int32_t DrmNoOp(void *, void *, void *, void *, void *, void *);

// Not offered by this data module: each returns -1001. The arguments after
// the session id are not read.
int32_t DrmGetExtPredicateInfo(uint32_t session, uintptr_t, uintptr_t);
int32_t DrmCreateColumn(uint32_t session, uintptr_t, uintptr_t, uintptr_t, uintptr_t);
int32_t DrmCreateIndex(uint32_t session, uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t,
                       uintptr_t);
int32_t DrmCreateTable(uint32_t session, uintptr_t, uintptr_t, uintptr_t);
int32_t DrmDeleteIndex(uint32_t session, uintptr_t, uintptr_t);
int32_t DrmDeleteTable(uint32_t session, uintptr_t, uintptr_t);
int32_t DrmGetExtErrStr(uint32_t session, uintptr_t, uintptr_t, uintptr_t, uintptr_t);
int32_t DrmGetTableForeignKeyInfo(uint32_t session, uintptr_t, uintptr_t, uintptr_t, uintptr_t);
int32_t DrmGetTablePrivilegeInfo(uint32_t session, uintptr_t, uintptr_t, uintptr_t);
int32_t DrmGetTableColumnPrivilegeInfo(uint32_t session, uintptr_t, uintptr_t, uintptr_t,
                                       uintptr_t);
int32_t DrmSetJoin(uint32_t session, uintptr_t, uintptr_t, uintptr_t);
int32_t DrmExecExtPredicate(uint32_t session, uintptr_t, uintptr_t, uintptr_t, uintptr_t);
int32_t DrmGetDatabaseProcedureInfo(uint32_t session, uintptr_t, uintptr_t, uintptr_t);
int32_t DrmGetProcedureColumnInfo(uint32_t session, uintptr_t, uintptr_t, uintptr_t);
int32_t DrmOpenProcedure(uint32_t session, uintptr_t, uintptr_t, uintptr_t);
int32_t DrmExecProcedure(uint32_t session, uintptr_t, uintptr_t, uintptr_t);
int32_t DrmCreateView(uint32_t session, uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t);
int32_t DrmDeleteView(uint32_t session, uintptr_t, uintptr_t);
int32_t DrmOpenView(uint32_t session, uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t,
                    uintptr_t, uintptr_t, uintptr_t);
