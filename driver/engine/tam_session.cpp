// Table-access layer: sessions, databases, tables and session-wide calls.
#include "driver/core/rcmem.h"
#include "driver/core/rcstr.h"
#include "driver/engine/tam.h"
#include "driver/engine/tam_drminfo.h"
#include "driver/engine/tam_login.h"
#include "driver/engine/tam_tablefacts.h"
#include "driver/Sources/drm_login.h"
#include "platform/memory.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace {

// Passes a name through the connection's translation library into out
// (size bytes). Null stays null. A name that does not fit is refused (-1002),
// never cut: a cut name could name another database or table. -5019 when the
// library refuses it.
int32_t TranslateName(TamSession *s, const char *name, char *out, size_t size, const char **result)
{
    if (!name) {
        *result = nullptr;
        return 0;
    }
    size_t n = strnlen(name, size);
    if (n >= size)
        return kTamErrInvalidName;
    if (!TamTranslatorLoaded(s->link.translator) || n == 0) {
        std::memcpy(out, name, n);
        out[n] = '\0';
        *result = out;
        return 0;
    }
    int64_t got = 0;
    if (!TamTranslateToSource(s->link.translator, s->link.errors, 1, name, static_cast<int64_t>(n),
                              out, static_cast<int64_t>(size), &got))
        return kTamErrTranslation;
    *result = out;
    return 0;
}

TamDatabase *FindDatabase(TamSession *s, uint32_t id, uint32_t *index)
{
    for (uint32_t i = 0; i < rcListCount(s->databases); ++i) {
        TamDatabase *db = static_cast<TamDatabase *>(rcListAt(s->databases, i));
        if (db->id == id) {
            if (index)
                *index = i;
            return db;
        }
    }
    return nullptr;
}

// The connection's password of each session that was given one
// (TamSetLoginPassword): a pointer to the connection's attribute, never a copy.
struct LoginPasswords {
    std::mutex lock;
    std::vector<std::pair<const TamSession *, const char *>> entries;
};

LoginPasswords &Passwords()
{
    static LoginPasswords *passwords = new LoginPasswords; // outlives every session
    return *passwords;
}

const char *LoginPassword(const TamSession *s)
{
    LoginPasswords &p = Passwords();
    std::lock_guard<std::mutex> hold(p.lock);
    for (const auto &e : p.entries)
        if (e.first == s)
            return e.second;
    return nullptr;
}

void FreeStrings(TamSession *s)
{
    if (!s->strings)
        return;
    for (uint32_t i = 0; i < rcListCount(s->strings); ++i)
        rcMemFree(*static_cast<char **>(rcListAt(s->strings, i)));
    rcListDestroy(s->strings);
    s->strings = nullptr;
}

} // namespace

void TamSetLoginPassword(TamSession *session, const char *password)
{
    LoginPasswords &p = Passwords();
    std::lock_guard<std::mutex> hold(p.lock);
    auto at = std::find_if(p.entries.begin(), p.entries.end(),
                           [session](const auto &e) { return e.first == session; });
    if (at != p.entries.end())
        p.entries.erase(at);
    if (session && password)
        p.entries.emplace_back(session, password);
}

const char *TamPoolString(TamSession *session, const char *text, size_t length)
{
    if (!session->strings) {
        session->strings = rcListCreate(32, sizeof(char *), false, 0);
        if (!session->strings)
            return nullptr;
    }
    char *copy = static_cast<char *>(rcMemAlloc(length + 1));
    if (!copy)
        return nullptr;
    std::memcpy(copy, text, length);
    copy[length] = '\0';
    if (rcListAppend(session->strings, &copy) != 0) {
        rcMemFree(copy);
        return nullptr;
    }
    return copy;
}

int32_t TamBeginSession(const TamSessionLink &link, uint32_t context, TamSession **session,
                        const char *uid, const char *pwd, uint32_t openOption,
                        const char *dataSource)
{
    *session = nullptr;
    if (dataSource && std::strlen(dataSource) > kTamNameMax)
        return kDrmErrInfoNotAnswered;
    TamSession *s = new (std::nothrow) TamSession{};
    if (!s)
        return kDrmErrNoMemory;
    s->link = link;
    s->currentDb = kTamNoDatabase;
    if (dataSource)
        std::strcpy(s->dataSource, dataSource);
    s->openOption = openOption;
    s->databases = rcListCreate(10, sizeof(TamDatabase), false, 0);
    if (!s->databases) {
        delete s;
        return kDrmErrNoMemory;
    }
    // Longer than the login record holds (31 characters) is refused when the
    // database opens, with its own message; these only bound the copy.
    char user[129];
    char password[129];
    const char *u = nullptr;
    const char *p = nullptr;
    int32_t translated = TranslateName(s, uid ? uid : "", user, sizeof user, &u);
    if (translated == 0)
        translated = TranslateName(s, pwd ? pwd : "", password, sizeof password, &p);
    if (translated != 0) {
        PlatWipe(password, sizeof password);
        rcListDestroy(s->databases);
        delete s;
        return translated;
    }
    int32_t rc = DrmBeginSession(&s->drmSession, u, p, s->dataSource);
    PlatWipe(password, sizeof password);
    if (rc != 0) {
        rcListDestroy(s->databases);
        delete s;
        return rc;
    }
    s->context = context;
    *session = s;
    return 0;
}

int32_t TamEndSession(TamSession *session)
{
    if (!session)
        return 0;
    int32_t closeResult = 0;
    for (uint32_t i = 0; i < rcListCount(session->databases); ++i) {
        const TamDatabase *db = static_cast<const TamDatabase *>(rcListAt(session->databases, i));
        closeResult = DrmCloseDatabase(session->drmSession, db->id);
    }
    // The data-module session always ends, so its server connection goes even
    // when a database would not close; the first failure is reported.
    int32_t endResult = DrmEndSession(session->drmSession);
    rcListDestroy(session->databases);
    rcListDestroy(session->cursors);
    TamFreeExtPredicates(session->extPredicates);
    FreeStrings(session);
    TamFreeTableFacts(session);
    TamSetLoginPassword(session, nullptr);
    delete session;
    return closeResult != 0 ? closeResult : endResult;
}

int32_t TamRefDatabase(TamSession *session, const char *name, uint32_t infoFlag, uint32_t *id)
{
    char translated[kTamDatabaseNameMax + 1];
    const char *n = nullptr;
    if (int32_t t = TranslateName(session, name ? name : "", translated, sizeof translated, &n))
        return t;
    bool exact = session->exactQualifiers != 0;
    for (uint32_t i = 0; i < rcListCount(session->databases); ++i) {
        TamDatabase *db = static_cast<TamDatabase *>(rcListAt(session->databases, i));
        if (rcUtlStrCompare(db->name, n, exact ? 1 : 0) != 0)
            continue;
        if (db->pendingInfo && infoFlag == 0) {
            session->infoDue = 1;
            db->pendingInfo = 0;
        }
        ++db->refCount;
        *id = db->id;
        return 0;
    }
    if (const char *given = LoginPassword(session)) {
        char password[129];
        const char *p = nullptr;
        int32_t t = TranslateName(session, given, password, sizeof password, &p);
        if (t == 0)
            t = DrmSetLoginPassword(session->drmSession, p);
        PlatWipe(password, sizeof password);
        if (t != 0)
            return t;
    }
    uint32_t newId = 0;
    int32_t rc = DrmOpenDatabase(session->drmSession, n, &newId, session->openOption > 0 ? 2 : 0);
    if (rc != 0)
        return rc;
    TamDatabase entry{};
    entry.refCount = 1;
    size_t nameLength = strnlen(n, sizeof entry.name - 1);
    std::memcpy(entry.name, n, nameLength); // entry is zeroed: the name stays terminated
    entry.id = newId;
    entry.pendingInfo = infoFlag;
    if (rcListAppend(session->databases, &entry) != 0) {
        DrmCloseDatabase(session->drmSession, newId);
        return kDrmErrNoMemory;
    }
    *id = newId;
    return 0;
}

int32_t TamUnrefDatabase(TamSession *session, uint32_t id)
{
    uint32_t index = 0;
    TamDatabase *db = FindDatabase(session, id, &index);
    if (!db)
        return -1;
    if (--db->refCount > 0)
        return 0;
    if (rcListRemoveAt(session->databases, index) != 0)
        return -1;
    return DrmCloseDatabase(session->drmSession, id);
}

int32_t TamUseDatabase(TamSession *session, const char *name)
{
    uint32_t id = 0;
    int32_t rc = TamRefDatabase(session, name, 1, &id);
    if (rc != 0)
        return rc;
    if (session->currentDb != kTamNoDatabase) {
        rc = TamUnrefDatabase(session, session->currentDb);
        if (rc != 0) {
            TamUnrefDatabase(session, id);
            return rc;
        }
    }
    session->currentDb = id;
    return 0;
}

int32_t TamSetSessionOption(TamSession *session, uint32_t option, uint32_t value)
{
    return DrmSetSessionOption(session->drmSession, option, value);
}

int32_t TamSetSessionText(TamSession *, uint32_t, const char *) { return kDrmErrNotSupported; }

int32_t TamSetDriverOption(uint32_t option, uint32_t value)
{
    return DrmSetSessionOption(kDrmDriverSession, option, value) == 0 ? 0 : -1;
}

int32_t TamSetTransact(TamSession *session, uint32_t code)
{
    if (!session)
        return -1;
    int32_t rc = DrmSetTransact(session->drmSession, code);
    return rc < 0 ? rc : (rc == 0 ? 0 : -1); // a data-module code tells a lost link apart
}

int32_t TamSetTranslateDll(TamSession *, uintptr_t, uintptr_t) { return 0; }
int32_t TamSetTranslateOption(TamSession *, uintptr_t) { return 0; }

int32_t TamGetExtErrStr(TamSession *session, int32_t code, char *buffer, uint32_t size,
                        uint32_t *length)
{
    if (buffer && size)
        buffer[0] = '\0';
    if (length)
        *length = 0;
    return DrmGetExtErrStr(session ? session->drmSession : kDrmDriverSession,
                           static_cast<uintptr_t>(code), reinterpret_cast<uintptr_t>(buffer), size,
                           reinterpret_cast<uintptr_t>(length));
}

int32_t TamParseHook(TamSession *session, const char *text, const void *root,
                     const void *const *callbacks, char **newText, void *record)
{
    *newText = nullptr;
    uint32_t id = session != nullptr ? session->drmSession : kDrmDriverSession;
    return DrmNoOp(&id, const_cast<char *>(text), const_cast<void *>(root),
                   const_cast<void **>(callbacks), newText, record);
}

int32_t TamOpenTable(TamSession *session, const char *password, const char *database,
                     const char *table, uint32_t flags, TamTableHandle **handle)
{
    *handle = nullptr;
    uint32_t db = 0;
    int32_t rc = TamRefDatabase(session, database, (flags & 4) ? 1 : 0, &db);
    if (rc != 0)
        return rc;
    char nameBuf[65];
    char pwdBuf[65];
    const char *name = nullptr;
    const char *pwd = nullptr;
    TamTableHandle *h = nullptr;
    rc = TranslateName(session, table, nameBuf, sizeof nameBuf, &name);
    if (rc == 0)
        rc = TranslateName(session, password, pwdBuf, sizeof pwdBuf, &pwd);
    if (rc != 0) {
        // the name or the password was refused
    } else if (!(h = new (std::nothrow) TamTableHandle{})) {
        rc = kDrmErrNoMemory;
    } else {
        h->database = db;
        h->cacheAllowed = (flags & 0x1000) ? 0 : 1;
        rc = DrmOpenTable(session->drmSession, db, name, pwd, flags & ~0x1000u, &h->cursor);
    }
    if (rc != 0) {
        delete h;
        int32_t drop = TamUnrefDatabase(session, db);
        return drop != 0 ? drop : rc;
    }
    *handle = h;
    return 0;
}

int32_t TamCloseTable(TamSession *session, TamTableHandle *handle)
{
    if (!handle)
        return 0;
    int32_t rc = DrmCloseTable(session->drmSession, handle->cursor);
    rcColCacheFree(session, handle);
    if (handle->database != kTamNoDatabase) {
        int32_t drop = TamUnrefDatabase(session, handle->database);
        if (drop != 0)
            rc = drop;
    }
    delete handle;
    return rc;
}

int32_t TamMove(TamSession *session, TamTableHandle *handle, int32_t direction)
{
    rcColCacheInvalidate(session, handle);
    return DrmMove(session->drmSession, handle->cursor, direction);
}

int32_t TamSeek(TamSession *session, TamTableHandle *handle, uint32_t flags)
{
    rcColCacheInvalidate(session, handle);
    return DrmSeek(session->drmSession, handle->cursor, flags);
}

int32_t TamGotoBookmark(TamSession *session, TamTableHandle *handle, const void *bookmark,
                        uint32_t length)
{
    rcColCacheInvalidate(session, handle);
    return DrmGotoBookmark(session->drmSession, handle->cursor, bookmark, length);
}

int32_t TamMakeKey(TamSession *session, TamTableHandle *handle, const void *data, uint32_t length,
                   uint32_t flags)
{
    return DrmMakeKey(session->drmSession, handle->cursor, data, length, flags);
}

int32_t TamSetTableIndex(TamSession *session, TamTableHandle *handle, const char *index)
{
    char buf[65];
    const char *name = nullptr;
    if (int32_t t = TranslateName(session, index, buf, sizeof buf, &name))
        return t;
    return DrmSetTableIndex(session->drmSession, handle->cursor, name);
}

int32_t TamGetBookmark(TamSession *session, TamTableHandle *handle, void *buffer, uint32_t length,
                       uint32_t *outLength)
{
    return DrmGetBookmark(session->drmSession, handle->cursor, buffer, length, outLength);
}

int32_t TamSetFilter(TamSession *session, TamTableHandle *handle, const uint32_t *filter,
                     const uint32_t *data)
{
    return DrmSetFilter(session->drmSession, handle->cursor, filter, data);
}

int32_t TamInitUpdate(TamSession *session, TamTableHandle *handle, uint32_t mode)
{
    int32_t rc = DrmInitUpdate(session->drmSession, handle->cursor, mode);
    // A change of the current record reads it again under its lock: the
    // values read before are stale.
    if (mode == 2 && rc == 0)
        rcColCacheInvalidate(session, handle);
    return rc;
}

int32_t TamSetColumn(TamSession *session, TamTableHandle *handle, uint32_t column, void *data,
                     uint32_t length, uint32_t append, int16_t sqlType, uint32_t isNull)
{
    if (!isNull && data && length > 0 && TamTranslatorLoaded(session->link.translator) &&
        (sqlType == 1 || sqlType == 12 || sqlType == -1)) {
        int64_t got = 0;
        if (!TamTranslateToSource(session->link.translator, session->link.errors, sqlType, data,
                                  length, data, static_cast<int64_t>(length) + 1, &got))
            return -5019;
    }
    return DrmSetColumn(session->drmSession, handle->cursor, column, data, length, append, isNull);
}

int32_t TamUpdateRecord(TamSession *session, TamTableHandle *handle)
{
    return DrmUpdateRecord(session->drmSession, handle->cursor);
}

int32_t TamDeleteRecord(TamSession *session, TamTableHandle *handle)
{
    return DrmDeleteRecord(session->drmSession, handle->cursor);
}
