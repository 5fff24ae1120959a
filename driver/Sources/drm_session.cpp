#include "driver/Sources/drm_session.h"

#include "platform/memory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "driver/Sources/drm_cursor.h"
#include "driver/Sources/drm_database.h"
#include "driver/Sources/drm_trace.h"

namespace {

uint32_t CursorKey(const VDRMCursor &c) { return c.cursorId; }

enum class Answer { Num4, Num2, Text };

struct InfoItem {
    uint32_t item;
    Answer kind;
    uint32_t value;
    const char *trace;
};

// Capability answers of a session; texts (112-114) are filled in by oGetInfo.
constexpr InfoItem kInfoItems[] = {
    {0, Answer::Num4, 0, "0 -> 0 (Temporary)\n"},
    {100, Answer::Num4, 0xffff, "DRM_infoCollate -> DRM_sortUnknown\n"},
    {101, Answer::Num4, 0x1c,
     "DRM_infoAccess -> DRM_bitInfoInsert | DRM_bitInfoUpdate | DRM_bitInfoDelete\n"},
    {102, Answer::Num4, 1, "DRM_infoIndexSupport -> TRUE\n"},
    {103, Answer::Num4, 1, "DRM_infoColNullableSupport -> TRUE\n"},
    {104, Answer::Num4, 0, "DRM_infoTabPasswordSupport -> FALSE\n"},
    {105, Answer::Num4, 0, "DRM_infoTableNameCaseSens -> FALSE\n"},
    {106, Answer::Num4, 0, "DRM_infoColumnNameCaseSens -> FALSE\n"},
    {107, Answer::Num4, 0, "DRM_infoQualNameCaseSens -> FALSE\n"},
    {108, Answer::Num2, 31, "DRM_infoQualMaxLen -> 31\n"},
    {109, Answer::Num2, 31, "DRM_infoTabNameMaxLen -> 31\n"},
    {110, Answer::Num2, 31, "DRM_infoColNameMaxLen -> 31\n"},
    {111, Answer::Num4, 0, "DRM_infoTabNameExtSupport -> FALSE\n"},
    {112, Answer::Text, 0, "DRM_infoDBMSName -> %s"},
    {113, Answer::Text, 0, "DRM_infoIsamVersion -> %s"},
    {114, Answer::Text, 0, "DRM_infoQualTerm -> %s"},
    {115, Answer::Num4, 4, "DRM_infoTransactSupport DRM_txnDDL_IGNORE\n"},
    {116, Answer::Num4, 0, "DRM_infoIsolationSupport -> 0\n"},
    {117, Answer::Num4, 0, "DRM_infoDefaultIsolation -> 0\n"},
    {118, Answer::Num4, 0x1001ff,
     "DRM_infoPDFilterSupport -> DRM_bitInfoAnd\t| DRM_bitInfoOr | DRM_bitInfoNot...\n"},
    {119, Answer::Num4, 0, "DRM_bitInfoNoPDJoin -> DRM_bitInfoNoPDJoin\n"},
    {120, Answer::Num4, 1, "DRM_infoFoldNametoUpper -> TRUE\n"},
    {121, Answer::Num4, 1, "DRM_infoSeekFirstLastSupport -> TRUE\n"},
    {122, Answer::Num4, 1, "DRM_infoPrimaryKeySupport -> TRUE\n"},
    {123, Answer::Num4, 0, "DRM_infoForeignKeySupport -> FALSE\n"},
    {124, Answer::Num4, 0, "DRM_infoTablePrivilegeSupport -> FALSE\n"},
    {125, Answer::Num4, 0, "DRM_infoColumnPrivilegeSupport -> FALSE\n"},
    {126, Answer::Num4, 0, "DRM_infoStoredProcedureSupport -> FALSE(Temporary)\n"},
    {127, Answer::Num4, 0, "DRM_infoStoredViewSupport -> FALSE\n"},
    {128, Answer::Num4, 0, "DRM_infoColumnsOrdByColNameSupport -> FALSE\n"},
    {129, Answer::Num4, 1, "DRM_infoPDFiltIndexSupport -> TRUE\n"},
    {130, Answer::Num4, 0, "DRM_infoDrmCntStrings -> FALSE\n"},
};

const InfoItem *FindItem(uint32_t item)
{
    for (const InfoItem &i : kInfoItems)
        if (i.item == item)
            return &i;
    return nullptr;
}

} // namespace

VDRMSession::VDRMSession(VDRMDriver *driver, uint32_t id)
    : driver(driver), sessionId(id), databases(1), cursors(4, &CursorKey, false)
{}

VDRMSession::~VDRMSession()
{
    databases.oClear(); // last opened first; each takes its cursors along
    cursors.oClear();
    params.clear();
    PlatWipe(password, sizeof password);
}

int32_t VDRMSession::oGetInfo(uint32_t item, void *buffer, uint32_t length, uint32_t *outLength)
{
    const InfoItem *info = FindItem(item);
    if (!info) {
        DrmTraceParamf("VDRMSession::oGetInfo: \t\t\t%u, flag not implemented\n", item);
        return kDrmErrInfoNotAnswered;
    }
    if (info->kind != Answer::Text) {
        int32_t result = DrmAnswerNumber(info->value, info->kind == Answer::Num2 ? 2 : 4, buffer,
                                         length, outLength);
        DrmTraceParam(info->trace);
        return result;
    }
    char version[32];
    const char *text = driver->dbmsName;
    if (item == 113) {
        text = driver->versionText;
        if (databases.oCount() > 0) {
            // The server's own version: major.minor.build from its version word.
            uint32_t v = static_cast<uint32_t>(databases.oGet(0)->serverInfo.version);
            std::snprintf(version, sizeof version, "%u.%02u.%04u", (v >> 24) & 0xFF,
                          (v >> 16) & 0xFF, v & 0xFF);
            text = version;
        }
    } else if (item == 114) {
        text = driver->qualifierTerm;
    }
    int32_t result = DrmAnswerText(text, buffer, length, outLength);
    DrmTraceParamf(info->trace, text);
    DrmTraceWrite("\n");
    return result;
}

int32_t VDRMSession::oSetOption(uint32_t option, uint32_t value)
{
    if (option == kDrmSessionOptionLoginTimeout) {
        loginTimeout = value;
        return 0;
    }
    if (option != kDrmSessionOptionCodePage)
        return kDrmErrNotSupported;
    codePage = value;
    return 0;
}

int32_t VDRMSession::oSetParam(uint32_t id, uint32_t type, const void *data, uint32_t length)
{
    auto at = std::lower_bound(params.begin(), params.end(), id,
                               [](const DrmParam &p, uint32_t key) { return p.id < key; });
    bool found = at != params.end() && at->id == id;
    try {
        DrmParam record;
        record.id = id;
        record.type = type;
        record.isNull = data == nullptr;
        record.length = data ? length : 0;
        if (data && length > 0)
            record.value.assign(static_cast<const uint8_t *>(data),
                                static_cast<const uint8_t *>(data) + length);
        if (found)
            *at = std::move(record);
        else
            params.insert(at, std::move(record));
    } catch (const std::bad_alloc &) {
        if (found)
            params.erase(at);
        return kDrmErrNoMemory;
    }
    ++paramGeneration;
    return 0;
}

int32_t VDRMSession::oFreeParams(uint32_t first, uint32_t last)
{
    auto below = [](const DrmParam &p, uint32_t key) { return p.id < key; };
    auto from = std::lower_bound(params.begin(), params.end(), first, below);
    auto to = last < first
                  ? from
                  : std::upper_bound(from, params.end(), last,
                                     [](uint32_t key, const DrmParam &p) { return key < p.id; });
    if (from != to) {
        params.erase(from, to);
        ++paramGeneration; // a filter that reads one of them finds it gone
    }
    return 0;
}

const DrmParam *VDRMSession::oFindParam(uint32_t id) const
{
    auto at = std::lower_bound(params.begin(), params.end(), id,
                               [](const DrmParam &p, uint32_t key) { return p.id < key; });
    return at != params.end() && at->id == id ? &*at : nullptr;
}

int32_t VDRMSession::oSetTransact(uint32_t code)
{
    int32_t (*call)(DrmQxConnection) = nullptr;
    switch (code) {
    case kDrmTransactNone1:
    case kDrmTransactNone2: transactState = 1; return 0;
    case kDrmTransactStart: call = &DrmQxStartQXTransaction; break;
    case kDrmTransactCommit: call = &DrmQxCommit; break;
    case kDrmTransactRollBack: call = &DrmQxRollBack; break;
    default: transactState = 1; return kDrmErrNotSupported;
    }
    transactState = code == kDrmTransactStart ? 3 : 1;
    for (int32_t i = 0; i < databases.oCount(); ++i) {
        int32_t status = call(databases.oGet(i)->connection);
        if (status != 0)
            return status;
    }
    return 0;
}

int32_t VDRMSession::oSetRetrieveColumns(const uint32_t *list)
{
    if (!list)
        return 0;
    uint32_t count = list[0] / 8;
    const uint32_t *entries = list + 1;
    uint32_t i = 0;
    while (i < count) {
        uint32_t id = entries[2 * i];
        VDRMCursor *cursor = oFindCursor(id);
        if (!cursor)
            return kDrmErrBadCursor;
        uint32_t run = 1;
        while (i + run < count && entries[2 * (i + run)] == id)
            ++run;
        int32_t result = cursor->oSetRetrieveColumns(entries + 2 * i, run);
        if (result != 0)
            return result;
        i += run;
    }
    return 0;
}

int32_t VDRMSession::oOpenDatabase(const char *path, uint32_t *database)
{
    std::unique_ptr<VDRMDatabase> db(new (std::nothrow) VDRMDatabase(this));
    if (!db)
        return -1;
    int32_t status = db->oOpen(path);
    // The password served this login; a later open is handed it again
    // (DrmSetLoginPassword) by the engine, which keeps the connection's.
    PlatWipe(password, sizeof password);
    if (status != 0)
        return status;
    uint32_t id = db->databaseId;
    if (databases.oAdd(db) < 0)
        return -2;
    *database = id;
    return 0;
}

int32_t VDRMSession::oCloseDatabase(uint32_t database)
{
    for (int32_t i = 0; i < databases.oCount(); ++i) {
        if (databases.oGet(i)->databaseId == database) {
            databases.oDelete(i);
            return 0;
        }
    }
    return kDrmErrNoDatabase;
}

VDRMDatabase *VDRMSession::oGetDatabase(uint32_t database)
{
    for (int32_t i = 0; i < databases.oCount(); ++i)
        if (databases.oGet(i)->databaseId == database)
            return databases.oGet(i);
    throw VError(kDrmErrNoDatabase, kDrmSrcDb, 35, "bad database ID");
}

VDRMCursor *VDRMSession::oGetCursor(uint32_t cursor)
{
    if (lastCursor && cursor == lastCursorId)
        return lastCursor;
    VDRMCursor *c = oFindCursor(cursor);
    if (!c)
        throw VError(kDrmErrBadCursor, kDrmSrcTabl, 59, "bad table ID");
    lastCursorId = cursor;
    lastCursor = c;
    return c;
}

VDRMCursor *VDRMSession::oFindCursor(uint32_t cursor) const { return cursors.oFindObject(cursor); }

int32_t VDRMSession::oRegisterCursor(std::unique_ptr<VDRMCursor> &cursor)
{
    if (cursors.oAdd(cursor) < 0) {
        cursor.reset();
        return kDrmErrNoMemory;
    }
    return 0;
}

void VDRMSession::oDropCursorsOf(const VDRMDatabase *database)
{
    lastCursor = nullptr;
    for (int32_t i = cursors.oCount() - 1; i >= 0; --i) {
        if (i < cursors.oCount() && cursors.oGet(i)->database == database)
            cursors.oDelete(i);
    }
}

int32_t VDRMSession::oGetTypeCatalogInfo(uint32_t database, uint32_t *info, uint32_t length)
{
    uint32_t id = nextCursorId++;
    VDRMDatabase *db = oGetDatabase(database);
    std::unique_ptr<VDRMCursor> cursor;
    int32_t result = db->oGetTypeCatalog(id, info, length, &cursor);
    return result != 0 ? result : oRegisterCursor(cursor);
}

int32_t VDRMSession::oGetDatabaseTableInfo(uint32_t database, uint32_t *info, uint32_t length)
{
    uint32_t id = nextCursorId++;
    VDRMDatabase *db = oGetDatabase(database);
    std::unique_ptr<VDRMCursor> cursor;
    int32_t result = db->oGetTableList(id, info, length, &cursor);
    return result != 0 ? result : oRegisterCursor(cursor);
}

int32_t VDRMSession::oGetTableColumnInfo(uint32_t cursorId, uint32_t *info, uint32_t length)
{
    uint32_t id = nextCursorId++;
    VDRMCursor *source = oGetCursor(cursorId);
    std::unique_ptr<VDRMCursor> cursor;
    int32_t result = DrmMakeColumnList(source, id, info, length, &cursor);
    return result != 0 ? result : oRegisterCursor(cursor);
}

int32_t VDRMSession::oGetTableIndexInfo(uint32_t cursorId, const char *, uint32_t *info,
                                        uint32_t length)
{
    uint32_t id = nextCursorId++;
    VDRMCursor *source = oGetCursor(cursorId);
    std::unique_ptr<VDRMCursor> cursor;
    int32_t result = DrmMakeIndexList(source, id, info, length, &cursor);
    return result != 0 ? result : oRegisterCursor(cursor);
}

int32_t VDRMSession::oOpenTable(uint32_t database, const char *table, const char *secondName,
                                uint32_t flags, uint32_t *cursorOut)
{
    uint32_t id = nextCursorId++;
    VDRMDatabase *db = oGetDatabase(database);
    std::unique_ptr<VDRMCursor> cursor;
    int32_t result = db->oOpenTable(id, table, secondName, flags, &cursor);
    if (result != 0)
        return result;
    result = oRegisterCursor(cursor);
    if (result == 0 && cursorOut)
        *cursorOut = id;
    return result;
}

int32_t VDRMSession::oCloseTable(uint32_t cursor)
{
    bool found = false;
    int32_t at = cursors.oFind(cursor, &found);
    if (!found)
        return kDrmErrBadCursor;
    lastCursor = nullptr;
    cursors.oDelete(at);
    return 0;
}
