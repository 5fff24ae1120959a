// Databases: one open server database of a session.
//
// Opening parses the network path, finds the server and logs in with the
// session's user name and password, reads the server information and loads
// the server catalog, converting its names to Windows text. Destroying it
// closes the connection, drops the catalog and every cursor made on it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "driver/Sources/drm_catalog.h"
#include "driver/Sources/drm_qx.h"

class VDRMSession;
class VDRMCursor;
class VDRMTable;

class VDRMDatabase : public VObject {
public:
    explicit VDRMDatabase(VDRMSession *session);
    ~VDRMDatabase() override;

    int32_t oOpen(const char *path);
    int32_t oClose();
    int32_t oOpenTable(uint32_t cursorId, const char *table, const char *secondName, uint32_t flags,
                       std::unique_ptr<VDRMCursor> *cursor);
    int32_t oGetTypeCatalog(uint32_t cursorId, uint32_t *info, uint32_t length,
                            std::unique_ptr<VDRMCursor> *cursor);
    int32_t oGetTableList(uint32_t cursorId, uint32_t *info, uint32_t length,
                          std::unique_ptr<VDRMCursor> *cursor);

    uint32_t databaseId;
    VDRMSession *session;
    DrmQxConnection connection = 0;
    DrmServerInfo serverInfo;
    std::unique_ptr<VDRMTableEntryArray> catalog;
    // The cursor whose selection the server holds, per table number.
    std::map<int16_t, VDRMTable *> selectionHolders;
    // Numbers of the selection names made on this database's connection.
    uint32_t nameCounter = 0;
    // Advanced by every request of a table cursor that may make another
    // record the server's current record (selections, record changes).
    uint64_t currentRecordMoves = 0;
};
