#include "driver/Sources/drm_database.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/clock.h"
#include "platform/memory.h"
#include "platform/profile.h"

#include "driver/Sources/drm.h"
#include "driver/Sources/drm_cursor.h"
#include "driver/Sources/drm_netlink.h"
#include "driver/Sources/drm_session.h"
#include "driver/Sources/drm_table.h"

namespace {

// Database ids: one process-wide counter, also used up by failed opens.
std::atomic<uint32_t> g_nextDatabaseId{1};

} // namespace

VDRMDatabase::VDRMDatabase(VDRMSession *session) : databaseId(g_nextDatabaseId++), session(session)
{}

VDRMDatabase::~VDRMDatabase() { oClose(); }

namespace {

// A number of seconds the data source sets (key; 0 allowed), else `otherwise`.
uint32_t SettingSeconds(const char *dataSource, const char *key, uint32_t otherwise)
{
    char text[32] = {};
    if (dataSource && *dataSource)
        PlatGetProfileString(dataSource, key, "", text, sizeof text, "odbc.ini");
    char *end = nullptr;
    unsigned long seconds = std::strtoul(text, &end, 10);
    if (!*text || *end || seconds > 86400)
        return otherwise;
    return static_cast<uint32_t>(seconds);
}

} // namespace

int32_t VDRMDatabase::oOpen(const char *path)
{
    // The login record holds 31 characters of each; a longer name or
    // password is refused rather than cut into another one.
    if (std::strlen(session->user) > kDrmLoginFieldMax ||
        std::strlen(session->password) > kDrmLoginFieldMax)
        return kDrmErrLoginTooLong;
    DrmLoginRecord login;
    DrmMakeLoginRecord(&login, "QX ODBC Driver", session->user, session->password, "ODBC", 1, 0);
    DrmNetPath netPath;
    if (!DrmParseNetPath(path, &netPath))
        return -10021; // an address that cannot name any server
    // The login time bounds the whole connect: connection, login and the
    // catalog's requests.
    // SQL_LOGIN_TIMEOUT, else the data source's "LoginTimeout", else the default.
    uint32_t loginSeconds = session->loginTimeout;
    if (loginSeconds == 0)
        loginSeconds = SettingSeconds(session->dataSource, "LoginTimeout", 0);
    uint32_t loginMs = (loginSeconds ? loginSeconds : kDrmDefaultLoginTimeout) * 1000;
    uint32_t start = PlatTickCount();
    DrmQxSetOpenTimeout(loginMs);
    int32_t status = DrmServerLink(&login, &netPath, &connection);
    PlatWipe(&login, sizeof login);
    DrmQxSetOpenTimeout(0);
    if (status == 0) {
        uint32_t spent = PlatTickCount() - start;
        status = DrmQxSetConnectionTimeouts(connection, 0, spent < loginMs ? loginMs - spent : 1);
    }
    if (status == 0)
        status = DrmQxGetServerInfo(connection, &serverInfo);
    if (status == 0)
        status = DrmLoadCatalog(connection, &catalog);
    if (status == 0)
        status = DrmQxSetConnectionTimeouts(
            connection,
            SettingSeconds(session->dataSource, "ReplyTimeout", kDrmDefaultReplyTimeout) * 1000, 0);
    if (status == -10060)
        return kDrmErrTimedOut; // at connect: the login time ran out
    if (status != 0)
        return status;
    return DrmConvertCatalogNames(catalog.get(), session->codePage);
}

int32_t VDRMDatabase::oClose()
{
    // Cursors first: they kill their named selections on the connection.
    session->oDropCursorsOf(this);
    selectionHolders.clear();
    if (connection != 0)
        DrmCloseServerLink(&connection);
    catalog.reset();
    return 0;
}

int32_t VDRMDatabase::oOpenTable(uint32_t cursorId, const char *table, const char *secondName,
                                 uint32_t flags, std::unique_ptr<VDRMCursor> *cursor)
{
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
                                      std::unique_ptr<VDRMCursor> *cursor)
{
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
                                    std::unique_ptr<VDRMCursor> *cursor)
{
    std::unique_ptr<VDRMTableList> t(new (std::nothrow) VDRMTableList(cursorId, this));
    if (!t)
        return kDrmErrNoMemory;
    int32_t result = t->oFill(info, length);
    if (result != 0)
        return result;
    *cursor = std::move(t);
    return 0;
}
