// The driver object and sessions.
//
// VDRMDriver is the one process-wide object: its names, the driver-level
// information items, and every open session (sorted by session id).
// A VDRMSession is the data module's side of one engine connection: it owns
// its open databases (in opening order), every cursor opened through it
// (sorted by cursor id) and the parameter values filters refer to, answers
// the capability items and runs transactions on all its databases.
// Session ids (per process) and cursor ids (per session) start at 1 and are
// never reused.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/Sources/VArrays.h"
#include "driver/Sources/drm.h"

class VDRMDatabase;
class VDRMCursor;
class VDRMDriver;

// A parameter value kept by the session (matched on its whole 32-bit id).
struct DrmParam {
    uint32_t id = 0;
    uint32_t type = 0;
    uint32_t length = 0;
    bool isNull = false;
    std::vector<uint8_t> value;
};

class VDRMSession : public VObject {
public:
    VDRMSession(VDRMDriver *driver, uint32_t id);
    ~VDRMSession() override;

    int32_t oGetInfo(uint32_t item, void *buffer, uint32_t length, uint32_t *outLength);
    int32_t oSetOption(uint32_t option, uint32_t value);
    int32_t oSetParam(uint32_t id, uint32_t type, const void *data, uint32_t length);
    const DrmParam *oFindParam(uint32_t id) const;
    // Forgets the parameters first..last (their statement went); 0.
    int32_t oFreeParams(uint32_t first, uint32_t last);
    int32_t oSetTransact(uint32_t code);
    int32_t oSetRetrieveColumns(const uint32_t *list);

    int32_t oOpenDatabase(const char *path, uint32_t *database);
    int32_t oCloseDatabase(uint32_t database);
    VDRMDatabase *oGetDatabase(uint32_t database); // throws -1203

    int32_t oGetTypeCatalogInfo(uint32_t database, uint32_t *info, uint32_t length);
    int32_t oGetDatabaseTableInfo(uint32_t database, uint32_t *info, uint32_t length);
    int32_t oGetTableColumnInfo(uint32_t cursor, uint32_t *info, uint32_t length);
    int32_t oGetTableIndexInfo(uint32_t cursor, const char *indexName, uint32_t *info,
                               uint32_t length);
    int32_t oOpenTable(uint32_t database, const char *table, const char *secondName, uint32_t flags,
                       uint32_t *cursor);
    int32_t oCloseTable(uint32_t cursor);
    VDRMCursor *oGetCursor(uint32_t cursor);        // throws -1310
    VDRMCursor *oFindCursor(uint32_t cursor) const; // null when unknown
    int32_t oRegisterCursor(std::unique_ptr<VDRMCursor> &cursor);
    // Destroys every cursor made on the database.
    void oDropCursorsOf(const VDRMDatabase *database);

    uint32_t nextCursorId = 1;
    VDRMDriver *driver;
    uint32_t sessionId;
    char user[256] = {};
    char password[256] = {};
    char dataSource[256] = {};
    int32_t transactState = 1;
    VObjArray<VDRMDatabase> databases;
    VObjArray<VDRMCursor> cursors;
    // The cursor oGetCursor found last (a fetch asks for one cursor for every
    // value); forgotten whenever a cursor is destroyed.
    uint32_t lastCursorId = 0;
    VDRMCursor *lastCursor = nullptr;
    uint32_t paramGeneration = 0;
    std::vector<DrmParam> params; // sorted by id
    uint32_t codePage = 0;
    uint32_t loginTimeout = 0; // seconds; 0: kDrmDefaultLoginTimeout
};

class VDRMDriver : public VObject {
public:
    VDRMDriver();
    ~VDRMDriver() override;

    int32_t oGetInfo(uint32_t session, uint32_t item, void *buffer, uint32_t length,
                     uint32_t *outLength);
    VDRMSession *oGetSession(uint32_t session); // throws -1104
    int32_t oBeginSession(uint32_t *session, const char *user, const char *password,
                          const char *dataSource);
    int32_t oEndSession(uint32_t session);

    char driverFileName[32] = "sqldriver.DLL";
    char dbmsName[32] = "QX Server";
    char versionText[40] = "06.7.1000 QX Server 1.5.X or > 6.0.4";
    char qualifierTerm[32] = "QX";
    VObjArray<VDRMSession> sessions;
    // The session oGetSession found last; forgotten when a session ends.
    uint32_t lastSessionId = 0;
    VDRMSession *lastSession = nullptr;
};

// The process-wide driver object (built on first use, after the server
// connection manager, so that it is destroyed before it).
VDRMDriver &DrmDriver();

// Answer helpers shared by the information items: a number of 2 or 4 bytes,
// or a text without its NUL; -1038 (nothing written) when it does not fit.
int32_t DrmAnswerNumber(uint32_t value, uint32_t width, void *buffer, uint32_t length,
                        uint32_t *outLength);
int32_t DrmAnswerText(const char *text, void *buffer, uint32_t length, uint32_t *outLength);
