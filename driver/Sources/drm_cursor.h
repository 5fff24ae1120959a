// Cursors: the base class and the catalog cursors.
//
// Everything the engine reads row by row is a cursor, reached by id through
// the session. The base offers a row counter with first/next moves and
// harmless defaults for the other operations; the catalog cursors add their
// fill and column reads:
//   VDRMTypeTable   kind 1: the static type catalog (13 rows, 8 columns)
//   VDRMTableList   kind 2: the database's tables (5 columns)
//   VDRMColumnList  kind 4: the fields of a table cursor's table (10 columns)
//   VDRMIndexList   kind 5: the indexed fields of that table (6 columns)
// Column and index lists keep the id of the table cursor they were made
// from and look it up at each read, so closing that cursor first leaves them
// answering -1310 rather than reading freed memory.
#pragma once

#include <cstdint>

#include "driver/Sources/drm.h"
#include "driver/Sources/drm_catalog.h"

class VDRMDatabase;

enum : uint32_t {
    kDrmCursorTypeCatalog = 1,
    kDrmCursorTableList = 2,
    kDrmCursorTable = 3,
    kDrmCursorColumnList = 4,
    kDrmCursorIndexList = 5,
};

class VDRMCursor : public VObject {
public:
    VDRMCursor(uint32_t cursorId, VDRMDatabase *database, uint32_t kind)
        : database(database), kind(kind), cursorId(cursorId)
    {}

    virtual int32_t oGetTableInfo(uint32_t *info, uint32_t length);
    virtual int32_t oSetFilter(const uint32_t *filter, const uint32_t *data);
    virtual int32_t oMove(int32_t direction);
    // The run of retrieve-list entries (cursor id, column) that name this cursor.
    virtual int32_t oSetRetrieveColumns(const uint32_t *entries, uint32_t count);
    virtual int32_t oRetrieveColumn(uint32_t column, void *buffer, uint32_t length,
                                    uint32_t *outLength, DRM_RETINFO *state) = 0;
    virtual int32_t oGetBookmark(void *buffer, uint32_t length, uint32_t *outLength);
    virtual int32_t oGotoBookmark(const void *bookmark, uint32_t length);
    virtual int32_t oSetTableIndex(const char *indexName);
    virtual int32_t oMakeKey(const void *key, uint32_t length, uint32_t flags);
    virtual int32_t oSeek(uint32_t flags);
    virtual int32_t oInitUpdate(uint32_t mode);
    virtual int32_t oSetColumn(uint32_t field, const void *data, uint32_t length, uint32_t append,
                               uint32_t isNull);
    virtual int32_t oUpdateRecord();
    virtual int32_t oDeleteRecord();

    // The catalog entry of a server-table cursor's table; null for others.
    virtual const VDRMTableEntry *oTableEntry() const { return nullptr; }

    VDRMDatabase *database;
    uint32_t kind;
    uint32_t cursorId;
    int32_t rowCount = 0;
    int32_t currentRow = 0;
    uint32_t secondInfoWord = 0;
};

class VDRMTypeTable : public VDRMCursor {
public:
    VDRMTypeTable(uint32_t cursorId, VDRMDatabase *database)
        : VDRMCursor(cursorId, database, kDrmCursorTypeCatalog)
    {}
    int32_t oOpen(uint32_t *info, uint32_t length);
    int32_t oRetrieveColumn(uint32_t column, void *buffer, uint32_t length, uint32_t *outLength,
                            DRM_RETINFO *state) override;

private:
    bool opened_ = false;
};

class VDRMTableList : public VDRMCursor {
public:
    VDRMTableList(uint32_t cursorId, VDRMDatabase *database)
        : VDRMCursor(cursorId, database, kDrmCursorTableList)
    {}
    int32_t oFill(uint32_t *info, uint32_t length);
    int32_t oRetrieveColumn(uint32_t column, void *buffer, uint32_t length, uint32_t *outLength,
                            DRM_RETINFO *state) override;
};

class VDRMColumnList : public VDRMCursor {
public:
    VDRMColumnList(uint32_t cursorId, VDRMDatabase *database, uint32_t sourceId)
        : VDRMCursor(cursorId, database, kDrmCursorColumnList), sourceId(sourceId)
    {}
    int32_t oFill(uint32_t *info, uint32_t length);
    int32_t oRetrieveColumn(uint32_t column, void *buffer, uint32_t length, uint32_t *outLength,
                            DRM_RETINFO *state) override;

    uint32_t sourceId;
};

class VDRMIndexList : public VDRMCursor {
public:
    VDRMIndexList(uint32_t cursorId, VDRMDatabase *database, uint32_t sourceId)
        : VDRMCursor(cursorId, database, kDrmCursorIndexList), sourceId(sourceId)
    {}
    int32_t oInit(uint32_t *info, uint32_t length);
    int32_t oMove(int32_t direction) override;
    int32_t oRetrieveColumn(uint32_t column, void *buffer, uint32_t length, uint32_t *outLength,
                            DRM_RETINFO *state) override;

    uint32_t sourceId;
    int32_t fieldIndex = -1;
    bool primaryReported = false;
};

// Makes a column or index list from a table cursor of the session; the new
// cursor is handed out on 0.
int32_t DrmMakeColumnList(VDRMCursor *source, uint32_t cursorId, uint32_t *info, uint32_t length,
                          std::unique_ptr<VDRMCursor> *cursor);
int32_t DrmMakeIndexList(VDRMCursor *source, uint32_t cursorId, uint32_t *info, uint32_t length,
                         std::unique_ptr<VDRMCursor> *cursor);
