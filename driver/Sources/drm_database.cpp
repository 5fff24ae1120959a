#include "driver/Sources/drm_database.h"

#include <atomic>
#include <new>

#include "driver/Sources/drm.h"
#include "driver/Sources/drm_cursor.h"
#include "driver/Sources/drm_netlink.h"
#include "driver/Sources/drm_session.h"
#include "driver/Sources/drm_table.h"

namespace {

// Database ids: one process-wide counter, also used up by failed opens.
std::atomic<uint32_t> g_nextDatabaseId{1};

} // namespace

VDRMDatabase::VDRMDatabase(VDRMSession *session) : databaseId(g_nextDatabaseId++), session(session) {}

VDRMDatabase::~VDRMDatabase() { oClose(); }

int32_t VDRMDatabase::oOpen(const char *path) {
    DrmLoginRecord login;
    DrmMakeLoginRecord(&login, "QX ODBC Driver", session->user, session->password, "ODBC", 1, 0);
    DrmNetPath netPath;
    if (!DrmParseNetPath(path, &netPath))
        return -10021;   // an address that cannot name any server
    int32_t status = DrmServerLink(&login, &netPath, &connection);
    if (status != 0)
        return status;
    status = DrmQxGetServerInfo(connection, &serverInfo);
    if (status != 0)
        return status;
    status = DrmLoadCatalog(connection, &catalog);
    if (status != 0)
        return status;
    return DrmConvertCatalogNames(catalog.get(), session->codePage);
}

int32_t VDRMDatabase::oClose() {
    // Cursors first: they kill their named selections on the connection.
    session->oDropCursorsOf(this);
    selectionHolders.clear();
    if (connection != 0)
        DrmCloseServerLink(&connection);
    catalog.reset();
    return 0;
}

int32_t VDRMDatabase::oOpenTable(uint32_t cursorId, const char *table, const char *secondName, uint32_t flags,
                                 std::unique_ptr<VDRMCursor> *cursor) {
    int32_t index = DrmFindTable(catalog.get(), table);
    if (index < 0)
        return kDrmErrNoTable;
    std::unique_ptr<VDRMTable> t(new (std::nothrow) VDRMTable(cursorId, this, index));
    if (!t)
        return kDrmErrNoMemory;
    int32_t result = t->oOpen(secondName, flags);
    if (result != 0)
        return result;
    *cursor = std::move(t);
    return 0;
}

int32_t VDRMDatabase::oGetTypeCatalog(uint32_t cursorId, uint32_t *info, uint32_t length,
                                      std::unique_ptr<VDRMCursor> *cursor) {
    std::unique_ptr<VDRMTypeTable> t(new (std::nothrow) VDRMTypeTable(cursorId, this));
    if (!t)
        return kDrmErrNoMemory;
    int32_t result = t->oOpen(info, length);
    if (result != 0)
        return result;
    *cursor = std::move(t);
    return 0;
}

int32_t VDRMDatabase::oGetTableList(uint32_t cursorId, uint32_t *info, uint32_t length,
                                    std::unique_ptr<VDRMCursor> *cursor) {
    std::unique_ptr<VDRMTableList> t(new (std::nothrow) VDRMTableList(cursorId, this));
    if (!t)
        return kDrmErrNoMemory;
    int32_t result = t->oFill(info, length);
    if (result != 0)
        return result;
    *cursor = std::move(t);
    return 0;
}
