// The Drm* entry points: find the object by id, run the operation under the
// VError handler, trace the call and map the result.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "driver/Sources/drm.h"
#include "driver/Sources/drm_cursor.h"
#include "driver/Sources/drm_database.h"
#include "driver/Sources/drm_login.h"
#include "driver/Sources/drm_session.h"
#include "driver/Sources/drm_table.h"
#include "driver/Sources/drm_text.h"
#include "driver/Sources/drm_trace.h"
#include "platform/memory.h"

namespace {

using Hold = std::lock_guard<std::recursive_mutex>;

template <class Op>
int32_t Guarded(Op op)
{
    try {
        return op();
    } catch (const VError &e) {
        return e.code;
    }
}

// Steps 1 and 2 of every call frame.
void TraceFrame(const char *name, uint32_t session)
{
    DrmTraceCall(name);
    DrmTraceSessionID(session);
}

VDRMSession *Session(uint32_t s) { return DrmDriver().oGetSession(s); }
VDRMCursor *Cursor(uint32_t s, uint32_t c) { return Session(s)->oGetCursor(c); }

uint32_t Word(const uint32_t *info, uint32_t infoLength, int word)
{
    return info && infoLength >= 4u * (word + 1) ? info[word] : 0;
}

} // namespace

int32_t DrmMapError(int32_t code)
{
    switch (code) {
    case -9978: return -1905;
    case -9979: return -1903;
    case -9974: return -1601;
    case -9967: return -5002;
    case -9966: return -1511;
    case -9963:
    case -9954: return -1603;
    case -9999: return -1808;
    case -9998: return -1403;
    case -9948: return -1504; // a mandatory field left empty: a NULL it does not take
    case -9991:
    case -9980:
    case -9947:
    case -9944: return -1809;
    case -10001: return -1010;
    case -10002:
    case -10060: return kDrmErrLinkBroken;
    case -10061: return kDrmErrNoServerAtAddress;
    case -10062: return kDrmErrServerNotAnswering;
    case -10003: return -1028;
    case -10021: return -1203;
    case -32004: return -1011;
    default: break;
    }
    if ((code >= -10504 && code <= -9944) || (code >= -32004 && code <= -32001))
        return -1028;
    return code;
}

int32_t DrmBeginSession(uint32_t *session, const char *user, const char *password,
                        const char *dataSource)
{
    Hold hold(DrmModuleLock());
    DrmTraceSessionID(0);
    DrmReadConfig();
    DrmTraceOpen();
    int32_t result =
        Guarded([&] { return DrmDriver().oBeginSession(session, user, password, dataSource); });
    return DrmMapError(result);
}

int32_t DrmEndSession(uint32_t session)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmEndSession", session);
    int32_t result = Guarded([&] { return DrmDriver().oEndSession(session); });
    DrmTraceClose();
    return DrmMapError(result);
}

int32_t DrmGetInfo(uint32_t session, uint32_t item, void *buffer, uint32_t bufferLength,
                   uint32_t *outLength)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmGetInfo", session);
    int32_t result = Guarded(
        [&] { return DrmDriver().oGetInfo(session, item, buffer, bufferLength, outLength); });
    return DrmMapError(result);
}

int32_t DrmSetSessionOption(uint32_t session, uint32_t option, uint32_t value)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmSetSessionOption", session);
    int32_t result = Guarded([&] { return Session(session)->oSetOption(option, value); });
    return DrmMapError(result);
}

int32_t DrmSetLoginPassword(uint32_t session, const char *password)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmSetLoginPassword", session);
    int32_t result = Guarded([&] {
        VDRMSession *s = Session(session);
        size_t n = password ? strnlen(password, sizeof s->password - 1) : 0;
        PlatWipe(s->password, sizeof s->password);
        if (n)
            std::memcpy(s->password, password, n);
        return 0;
    });
    return DrmMapError(result);
}

int32_t DrmOpenDatabase(uint32_t session, const char *path, uint32_t *database, uint32_t)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmOpenDatabase", session);
    uint32_t id = 0;
    int32_t result = Guarded([&] { return Session(session)->oOpenDatabase(path, &id); });
    if (result == 0 && database)
        *database = id;
    DrmTracePrintf(false, " => %u,%d\n", id, result);
    return DrmMapError(result);
}

int32_t DrmCloseDatabase(uint32_t session, uint32_t database)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmCloseDatabase", session);
    int32_t result = Guarded([&] { return Session(session)->oCloseDatabase(database); });
    return DrmMapError(result);
}

int32_t DrmGetDatabaseTableInfo(uint32_t session, uint32_t database, uint32_t *info,
                                uint32_t infoLength)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmGetDatabaseTableInfo", session);
    int32_t result = Guarded(
        [&] { return Session(session)->oGetDatabaseTableInfo(database, info, infoLength); });
    return DrmMapError(result);
}

int32_t DrmGetTypeCatalogInfo(uint32_t session, uint32_t database, uint32_t *info,
                              uint32_t infoLength)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmGetTypeCatalogInfo DRM_OQX", session);
    int32_t result =
        Guarded([&] { return Session(session)->oGetTypeCatalogInfo(database, info, infoLength); });
    return DrmMapError(result);
}

int32_t DrmGetTableColumnInfo(uint32_t session, uint32_t cursor, uint32_t *info,
                              uint32_t infoLength)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmGetTableColumnInfo", session);
    int32_t result =
        Guarded([&] { return Session(session)->oGetTableColumnInfo(cursor, info, infoLength); });
    DrmTracePrintf(false, "Table ID, NumberOfColumns, ReturnCode => %u,%u,%d\n",
                   Word(info, infoLength, 1), Word(info, infoLength, 2), result);
    return DrmMapError(result);
}

int32_t DrmGetTableIndexInfo(uint32_t session, uint32_t cursor, const char *indexName,
                             uint32_t *info, uint32_t infoLength)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmGetTableIndexInfo", session);
    int32_t result = Guarded(
        [&] { return Session(session)->oGetTableIndexInfo(cursor, indexName, info, infoLength); });
    DrmTracePrintf(false, " => %u,%u,%d\n", Word(info, infoLength, 1), Word(info, infoLength, 2),
                   result);
    return DrmMapError(result);
}

int32_t DrmOpenTable(uint32_t session, uint32_t database, const char *table, const char *secondName,
                     uint32_t flags, uint32_t *cursor)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmOpenTable", session);
    uint32_t id = 0;
    int32_t result = Guarded(
        [&] { return Session(session)->oOpenTable(database, table, secondName, flags, &id); });
    if (result == 0 && cursor)
        *cursor = id;
    DrmTracePrintf(false, " => %u,%d\n", id, result);
    return DrmMapError(result);
}

int32_t DrmCloseTable(uint32_t session, uint32_t cursor)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmCloseTable", session);
    int32_t result = Guarded([&] { return Session(session)->oCloseTable(cursor); });
    return DrmMapError(result);
}

int32_t DrmGetTableInfo(uint32_t session, uint32_t cursor, uint32_t *info, uint32_t infoLength)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmGetTableInfo", session);
    int32_t result =
        Guarded([&] { return Cursor(session, cursor)->oGetTableInfo(info, infoLength); });
    DrmTracePrintf(false, " => %u,%d\n", Word(info, infoLength, 1), result);
    return DrmMapError(result);
}

int32_t DrmSetFilter(uint32_t session, uint32_t cursor, const uint32_t *filter,
                     const uint32_t *data)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmSetFilter", session);
    int32_t result = Guarded([&] { return Cursor(session, cursor)->oSetFilter(filter, data); });
    return DrmMapError(result);
}

int32_t DrmMove(uint32_t session, uint32_t cursor, int32_t direction)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmMove", session);
    int32_t result = Guarded([&] { return Cursor(session, cursor)->oMove(direction); });
    return DrmMapError(result);
}

int32_t DrmSetRetrieveColumns(uint32_t session, const uint32_t *list)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmSetRetrieveColumns", session);
    int32_t result = Guarded([&] { return Session(session)->oSetRetrieveColumns(list); });
    return DrmMapError(result);
}

int32_t DrmRetrieveColumn(uint32_t session, uint32_t cursor, uint32_t column, void *buffer,
                          uint32_t bufferLength, uint32_t *outLength, DRM_RETINFO *state)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmRetrieveColumn DRM_OQX", session);
    auto line = [](const char *text) {
        DrmTraceParam(text);
        DrmTraceWrite("\n");
    };
    bool tracing = DrmTraceIsOpen();
    if (tracing) {
        line("\n\n\n");
        line("*********************** Debut d'appel ***********************");
        line(state ? "*-*-*-*-*-* Structure DRM_RETINFO (avant) NON NULL"
                   : "Structure DRM_RETINFO (avant) NULL");
    }
    uint32_t got = 0;
    int32_t result = Guarded([&] {
        return Cursor(session, cursor)->oRetrieveColumn(column, buffer, bufferLength, &got, state);
    });
    if (outLength)
        *outLength = got;
    if (tracing) {
        line(state ? "*-*-*-*-*-* Structure DRM_RETINFO (apres) NON NULL"
                   : "Structure DRM_RETINFO (apres) NULL");
        DrmTraceParamf("ColumnID\t\t\t: %d\n", static_cast<int>(column));
        int shown = buffer ? static_cast<int>(std::min(got, bufferLength)) : 0;
        if (result < 0)
            shown = 0;
        DrmTraceParamf("Retrieved Data\t: %.*s\n", shown, static_cast<const char *>(buffer));
        DrmTraceParamf("pcbActual Data\t: %d\n", static_cast<int>(got));
        DrmTraceParamf("return code\t\t: %d\n", result);
        line("*********************** Fin d'appel ***********************");
        line("\n\n\n");
    }
    return DrmMapError(result);
}

// The engine reads a row's columns one after the other with nothing in
// between, so one lock and one lookup serve them all.
int32_t DrmRetrieveColumns(uint32_t session, uint32_t cursor, DrmColumnRead *reads, uint32_t count)
{
    Hold hold(DrmModuleLock());
    if (DrmTraceIsOpen())
        return kDrmReadEachColumn;
    VDRMCursor *c = nullptr;
    int32_t found = Guarded([&] {
        c = Cursor(session, cursor);
        return 0;
    });
    if (found != 0)
        return DrmMapError(found);
    // A table cursor serves what its window holds in one pass; the rest is
    // read one column at a time.
    if (c->kind == kDrmCursorTable)
        static_cast<VDRMTable *>(c)->oRetrieveHeld(reads, count);
    else
        for (uint32_t i = 0; i < count; ++i)
            reads[i].result = kDrmReadAlone;
    for (uint32_t i = 0; i < count; ++i) {
        DrmColumnRead &r = reads[i];
        if (r.result == kDrmReadAlone) {
            uint32_t got = 0;
            r.result = Guarded([&] {
                return c->oRetrieveColumn(r.column, r.buffer, r.bufferLength, &got, nullptr);
            });
            r.outLength = got;
        }
        if (r.result < 0) // warnings map to themselves
            r.result = DrmMapError(r.result);
    }
    return 0;
}

int32_t DrmGetBookmark(uint32_t session, uint32_t cursor, void *buffer, uint32_t bufferLength,
                       uint32_t *outLength)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmGetBookmark", session);
    int32_t result = Guarded(
        [&] { return Cursor(session, cursor)->oGetBookmark(buffer, bufferLength, outLength); });
    uint32_t first = 0;
    if (buffer && bufferLength >= 4)
        std::memcpy(&first, buffer, 4);
    DrmTracePrintf(false, " => %u,%d\n", first, result);
    return DrmMapError(result);
}

int32_t DrmGotoBookmark(uint32_t session, uint32_t cursor, const void *bookmark, uint32_t length)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmGotoBookmark", session);
    int32_t result =
        Guarded([&] { return Cursor(session, cursor)->oGotoBookmark(bookmark, length); });
    return DrmMapError(result);
}

int32_t DrmSetTableIndex(uint32_t session, uint32_t cursor, const char *indexName)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmSetTableIndex", session);
    int32_t result = Guarded([&] { return Cursor(session, cursor)->oSetTableIndex(indexName); });
    return DrmMapError(result);
}

int32_t DrmMakeKey(uint32_t session, uint32_t cursor, const void *key, uint32_t length,
                   uint32_t flags)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmMakeKey", session);
    int32_t result = Guarded([&] { return Cursor(session, cursor)->oMakeKey(key, length, flags); });
    return DrmMapError(result);
}

int32_t DrmSeek(uint32_t session, uint32_t cursor, uint32_t flags)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmSeek", session);
    int32_t result = Guarded([&] { return Cursor(session, cursor)->oSeek(flags); });
    return DrmMapError(result);
}

int32_t DrmInitUpdate(uint32_t session, uint32_t cursor, uint32_t mode)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmInitUpdate", session);
    int32_t result = Guarded([&] { return Cursor(session, cursor)->oInitUpdate(mode); });
    return DrmMapError(result);
}

int32_t DrmSetColumn(uint32_t session, uint32_t cursor, uint32_t field, const void *data,
                     uint32_t length, uint32_t append, uint32_t isNull)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmSetColumn", session);
    int32_t result = Guarded(
        [&] { return Cursor(session, cursor)->oSetColumn(field, data, length, append, isNull); });
    return DrmMapError(result);
}

int32_t DrmUpdateRecord(uint32_t session, uint32_t cursor)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmUpdateRecord", session);
    int32_t result = Guarded([&] { return Cursor(session, cursor)->oUpdateRecord(); });
    return DrmMapError(result);
}

int32_t DrmDeleteRecord(uint32_t session, uint32_t cursor)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmDeleteRecord", session);
    int32_t result = Guarded([&] { return Cursor(session, cursor)->oDeleteRecord(); });
    return DrmMapError(result);
}

int32_t DrmSetParam(uint32_t session, uint32_t id, uint32_t type, const void *data, uint32_t length)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmSetParam", session);
    int32_t result = Guarded([&] { return Session(session)->oSetParam(id, type, data, length); });
    return DrmMapError(result);
}

int32_t DrmFreeParams(uint32_t session, uint32_t first, uint32_t last)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmFreeParams", session);
    int32_t result = Guarded([&] { return Session(session)->oFreeParams(first, last); });
    return DrmMapError(result);
}

int32_t DrmSetTransact(uint32_t session, uint32_t code)
{
    Hold hold(DrmModuleLock());
    TraceFrame("DrmSetTransact", session);
    DrmTracePrintf(true, "DrmSetTransact : %u %d", session, static_cast<int32_t>(code));
    int32_t result = Guarded([&] { return Session(session)->oSetTransact(code); });
    return DrmMapError(result);
}

// Called for every comparison of text sort keys: it touches no shared state,
// so it takes the lock only to write the trace.
int32_t DrmStringCompare(uint32_t session, const char *text1, uint32_t, uint32_t, const char *text2,
                         uint32_t, uint32_t, int32_t *order)
{
    int32_t r = DrmTextCompareNoCase(text1 ? text1 : "", text2 ? text2 : "");
    if (order)
        *order = r;
    if (DrmTraceActive()) {
        Hold hold(DrmModuleLock());
        TraceFrame("DrmStringCompare", session);
        DrmTracePrintf(false, " => %u,%d\n", static_cast<uint32_t>(r), 0);
    }
    return 0;
}
