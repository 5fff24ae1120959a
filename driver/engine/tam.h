// The table-access layer: the engine's only road to the data module.
//
// One TamSession per connection keeps the data-module session id, the open
// databases with reference counts, the cursor handles of catalog readers and
// the string pool of type-catalog rows. Engine table handles (TamTableHandle)
// turn into data-module cursor ids; names and character values crossing to the
// data source go through the connection's translation library.
//
// The session knows nothing of the connection that owns it: it gets the
// connection's translator and error queue as a TamSessionLink at
// TamBeginSession, and leaves flags the connection reads (infoDue,
// exactQualifiers) instead of calling back. Every operation
// answers the data module's code unchanged (0, negative error, positive
// warning) unless said otherwise; callers map codes with rcErrMapDrm. The
// exceptions, each said at its declaration, answer 0 or -1: TamSetParam, and
// TamConvertParam, which posts its message itself.
//
// Legal order:
//   TamBeginSession -> TamSetSessionOption(5, code page) -> TamUseDatabase(DBQ)
//   -> TamOpenTable / TamMove / TamGetColumn ... TamCloseTable
//   -> TamAllocCursor / TamFetchCursor ... TamCloseCursor (type catalog)
//   -> TamEndSession (closes the databases, always ends the data-module session)
#pragma once

#include "driver/Sources/drm.h"
#include "driver/core/rclist.h"
#include "driver/engine/tam_translate.h"

#include <cstddef>
#include <cstdint>

struct rcErrorQueue;

inline constexpr uint32_t kTamNoDatabase = 0xFFFFFFFFu;
inline constexpr uint32_t kTamSessionOptionMaxRows = 4; // SQL_MAX_ROWS of a statement
inline constexpr size_t kTamNameMax = 255;
inline constexpr int32_t kTamErrInvalidName = -1002; // a name longer than its buffer
inline constexpr int32_t kTamErrTranslation = -5019; // the translation library refused a value
inline constexpr int32_t kTamTooManyColumns =
    5040; // a table has more columns than the driver takes

// Database names: a qualifier of the connection (260 characters at most)
// reaches the data module whole.
inline constexpr size_t kTamDatabaseNameMax = 260;

struct TamDatabase {
    uint16_t refCount;
    char name[kTamDatabaseNameMax + 1];
    uint32_t id;
    uint32_t pendingInfo;
};

// A type-catalog row; texts live in the session's string pool.
struct TamTypeRow {
    uint16_t typeId;
    const char *typeName;
    const char *literalPrefix;
    const char *literalSuffix;
    const char *createParams;
    uint32_t flags;
    uint32_t length;
    int16_t scale;
    uint32_t precision;
    const char *localTypeName;
};

// A cursor handle of the session (kind 1: type catalog).
struct TamCursor {
    uint16_t kind;
    uint32_t info
        [11]; // the data module's information record: size 44, cursor id, rows, 8 column numbers
    uint32_t open; // the data-module cursor exists
};

// What the session needs of its connection; both outlive the session.
struct TamSessionLink {
    const TamTranslator *translator = nullptr; // names, user, password and values; null: none
    rcErrorQueue *errors = nullptr;            // the connection's queue for translation failures
};

struct TamTableFactsCache;

struct TamSession {
    uint32_t context;
    TamSessionLink link;
    uint32_t exactQualifiers; // database names compare with case; set by the connection
    uint32_t infoDue;         // a database opened with its information pending came into use:
                              // the connection rereads the data module's information
    rcList *databases;        // of TamDatabase
    uint32_t drmSession;
    uint32_t openOption;
    uint32_t currentDb;
    char dataSource[256];
    rcList *cursors;                // of TamCursor
    rcList *strings;                // of char *: the string pool of type-catalog rows
    rcList *extPredicates;          // vendor predicates (tam_drminfo.h); null when none
    uint32_t paramIds;              // the last parameter id handed to the data module
    TamTableFactsCache *tableFacts; // catalog facts of the tables named (tam_tablefacts.h)
};

struct TamColumnCacheEntry;

struct TamTableHandle {
    uint32_t database;
    uint32_t cursor;
    uint16_t cacheCapacity;
    TamColumnCacheEntry *cacheEntries;
    uint16_t cacheCount;
    uint32_t cacheDataSize;
    uint32_t cacheSealed;
    uint32_t cacheAllowed;
    unsigned char *cacheData;
    // Entry of each column number below cacheIndexSize (0xFFFF: none), made
    // at seal when the columns are small numbers; null otherwise.
    uint16_t *cacheIndex = nullptr;
    uint32_t cacheIndexSize = 0;
    // The reads of every cached entry, in entry order, made at seal
    // (cacheReadEntry: each read's entry); a fill while cacheAllStale is
    // set (after seal and rcColCacheInvalidate, until a read) hands them to
    // the data module as they are.
    DrmColumnRead *cacheReads = nullptr;
    uint16_t *cacheReadEntry = nullptr;
    uint16_t cacheReadCount = 0;
    uint32_t cacheAllStale = 0;
};

// Login limits: the longest user name and password a session accepts.
inline constexpr size_t kTamUserMax = 128;
inline constexpr size_t kTamPasswordMax = 31; // what the login record's password field holds

// Session and databases.
int32_t TamBeginSession(const TamSessionLink &link, uint32_t context, TamSession **session,
                        const char *uid, const char *pwd, uint32_t openOption,
                        const char *dataSource);
int32_t TamEndSession(TamSession *session);
int32_t TamRefDatabase(TamSession *session, const char *name, uint32_t infoFlag, uint32_t *id);
int32_t TamUnrefDatabase(TamSession *session, uint32_t id);
int32_t TamUseDatabase(TamSession *session, const char *name);
int32_t TamSetSessionOption(TamSession *session, uint32_t option, uint32_t value);
// A text session option (3: a keyword, its name, a comma and the value). The
// data module's option call carries 32-bit numbers only, so texts are refused
// with -1001 (not supported).
int32_t TamSetSessionText(TamSession *session, uint32_t option, const char *text);
int32_t TamSetDriverOption(uint32_t option, uint32_t value);
int32_t TamSetTransact(TamSession *session, uint32_t code);
int32_t TamSetTranslateDll(TamSession *session, uintptr_t a, uintptr_t b);
int32_t TamSetTranslateOption(TamSession *session, uintptr_t value);
int32_t TamGetExtErrStr(TamSession *session, int32_t code, char *buffer, uint32_t size,
                        uint32_t *length);

// Tables.
// The data module's parse-tree hook: offered the SQL text, the parse tree and
// the callback table of rcparsehook.h, it may hand back new text in *newText
// (rcMemAlloc memory the caller frees) or leave it null. The data module's
// code.
int32_t TamParseHook(TamSession *session, const char *text, const void *root,
                     const void *const *callbacks, char **newText, void *record);
int32_t TamOpenTable(TamSession *session, const char *password, const char *database,
                     const char *table, uint32_t flags, TamTableHandle **handle);
int32_t TamCloseTable(TamSession *session, TamTableHandle *handle);
int32_t TamMove(TamSession *session, TamTableHandle *handle, int32_t direction);
int32_t TamSeek(TamSession *session, TamTableHandle *handle, uint32_t flags);
int32_t TamMakeKey(TamSession *session, TamTableHandle *handle, const void *data, uint32_t length,
                   uint32_t flags);
int32_t TamSetTableIndex(TamSession *session, TamTableHandle *handle, const char *index);
int32_t TamGetBookmark(TamSession *session, TamTableHandle *handle, void *buffer, uint32_t length,
                       uint32_t *outLength);
int32_t TamGotoBookmark(TamSession *session, TamTableHandle *handle, const void *bookmark,
                        uint32_t length);
int32_t TamSetFilter(TamSession *session, TamTableHandle *handle, const uint32_t *filter,
                     const uint32_t *data);
int32_t TamInitUpdate(TamSession *session, TamTableHandle *handle, uint32_t mode);
int32_t TamSetColumn(TamSession *session, TamTableHandle *handle, uint32_t column, void *data,
                     uint32_t length, uint32_t append, int16_t sqlType, uint32_t isNull);
int32_t TamUpdateRecord(TamSession *session, TamTableHandle *handle);
int32_t TamDeleteRecord(TamSession *session, TamTableHandle *handle);

// Catalog information (tam_catalog.cpp). The engine's record: word k as the
// engine reads it (word 0 its size in bytes, word 1 the data-module cursor
// id) and the new handle on the catalog cursor, owned by the caller
// (TamCloseTable).
inline constexpr uint32_t kTamInfoWords = 20;
struct TamInfoRecord {
    TamTableHandle *handle;
    uint32_t word[kTamInfoWords];
};
int32_t TamGetTableColumnInfo(TamSession *session, TamTableHandle *handle, const char *column,
                              TamInfoRecord *rec);
int32_t TamGetProcedureColumnInfo(TamSession *session, TamTableHandle *procedure,
                                  TamInfoRecord *rec);
int32_t TamGetTableIndexInfo(TamSession *session, TamTableHandle *handle, const char *index,
                             TamInfoRecord *rec);
int32_t TamGetDatabaseTableInfo(TamSession *session, const char *database, TamInfoRecord *rec);
// No handle is made: words 8 and 9 only.
int32_t TamGetTableInfo(TamSession *session, TamTableHandle *handle, TamInfoRecord *rec);

// Definitions.
int32_t TamCreateTable(TamSession *session, const char *database, const char *table,
                       TamTableHandle **handle);
int32_t TamDeleteTable(TamSession *session, const char *database, const char *table);

// Procedures, views, joins, parameters.
int32_t TamOpenProcedure(TamSession *session, const char *database, const char *procedure,
                         TamTableHandle **handle);
int32_t TamExecProcedure(TamSession *session, TamTableHandle *handle, uintptr_t a, uintptr_t b);
int32_t rcDrmSetJoin(TamSession *session, uintptr_t a, uintptr_t b, uintptr_t c);
inline uint32_t rcStmtFirstField(const TamTableHandle *h) { return h->cursor; }
inline uint32_t rcStmtSecondField(const TamTableHandle *h) { return h->database; }
// A data-module parameter of the session: 0, or -1 when the data module refuses it.
int32_t TamSetParam(TamSession *session, uint32_t id, uint32_t type, const void *data,
                    uint32_t length);
// Forgets the data-module parameters first..last of the session: 0 or -1.
int32_t TamFreeParams(TamSession *session, uint32_t first, uint32_t last);
// Evaluates a vendor predicate of the data module: its identifier and the two
// blocks of its call (argument descriptors, argument data; each opens with its
// length word). The data module's answer (1 true, 2 unknown, other false), or
// its negative code (this data module offers no vendor predicates: -1001).
int32_t TamExecExtPredicate(TamSession *session, uint32_t predicateId,
                            const uint32_t *descriptorBlock, const uint32_t *dataBlock);
// Passes a character parameter value through the translation library, in
// place, under the driver-wide lock; 0, or -1 with the translation error
// (11088, native -5019) posted on stmtErrors (the connection's when null).
int32_t TamConvertParam(TamSession *session, rcErrorQueue *stmtErrors, int16_t sqlType, void *data,
                        int64_t length, int64_t bufferLength);

// The columns the next fetches read: the engine names each by its table
// handle; the data module gets {cursor id, column} pairs.
struct TamRetrieveEntry {
    TamTableHandle *table;
    uint32_t column;
};
int32_t TamSetRetrieveColumns(TamSession *session, const TamRetrieveEntry *entries, uint32_t count);

// Column reads (tam_column.cpp).
int32_t TamRetrieveColumn(TamSession *session, TamTableHandle *handle, uint32_t column,
                          void *buffer, uint32_t length, uint32_t *outLength, DRM_RETINFO *partial,
                          int16_t sqlType);
int32_t TamGetColumn(TamSession *session, TamTableHandle *handle, uint32_t column, void *buffer,
                     uint32_t length, uint32_t *outLength, DRM_RETINFO *partial, int16_t sqlType);
int32_t rcColCacheInit(TamSession *session, TamTableHandle *handle, uint32_t columns,
                       uint32_t maxColumns);
int32_t rcColCacheAdd(TamSession *session, TamTableHandle *handle, uint32_t column,
                      uint32_t length);
int32_t rcColCacheSeal(TamSession *session, TamTableHandle *handle);
void rcColCacheInvalidate(TamSession *session, TamTableHandle *handle);
// True when the sealed cache has `columns` entries and one for `column` that
// rcColCacheAdd(column, length) would have made (cached with that capacity,
// or left uncached): a cache that holds every column of a list so can be kept
// (rcColCacheInvalidate) instead of being built again.
bool rcColCacheHolds(const TamTableHandle *handle, uint32_t columns, uint32_t column,
                     uint32_t length);
void rcColCacheFree(TamSession *session, TamTableHandle *handle);

// Cursor handles of the session (type catalog).
int32_t TamAllocCursor(TamSession *session, TamCursor **cursor, uint16_t kind);
int32_t TamCloseCursor(TamSession *session, TamCursor *cursor);
int32_t TamFetchCursor(TamSession *session, TamCursor *cursor, uint32_t mode, TamTypeRow *row);
uint32_t rcTypAttributeFlags(uint16_t typeId, uint32_t attributes);
// A copy of text in the session's string pool; null when memory ran out.
const char *TamPoolString(TamSession *session, const char *text, size_t length);

// Data-module code -> message id (11002..11095), 5135 for a code with no row.
uint16_t rcErrMapDrm(int32_t code);
