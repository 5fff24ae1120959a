// Table-access layer: catalog-information cursors, definitions, procedures,
// views, joins, parameters and the retrieve list.
//
// A catalog-information call opens a data-module catalog cursor and returns it
// as a new TamTableHandle in the engine's record (TamInfoRecord): word k of the
// engine record takes word j of the data module's size-prefixed record by the
// call's own table of pairs; word 1 keeps the data-module cursor id.
#include "driver/core/rcerror.h"
#include "driver/core/rclock.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/tam.h"
#include "driver/engine/tam_tablefacts.h"

#include <cstring>
#include <new>
#include <vector>

namespace {

struct WordPair {
    uint8_t engine;
    uint8_t drm;
};

constexpr WordPair kColumnPairs[] = {{1, 1},  {2, 2},  {4, 3},  {5, 4},   {6, 5},   {11, 6},
                                     {12, 7}, {17, 8}, {16, 9}, {18, 10}, {19, 11}, {10, 12}};
constexpr WordPair kIndexPairs[] = {{1, 1}, {2, 2},  {3, 3},  {4, 4},
                                    {9, 5}, {10, 6}, {16, 7}, {17, 8}};
constexpr WordPair kTablePairs[] = {{1, 1}, {4, 2}, {5, 3}, {10, 4}, {11, 5}, {9, 6}};
constexpr WordPair kTableInfoPairs[] = {{8, 1}, {9, 2}};

template <size_t N>
void Copy(TamInfoRecord *rec, uint32_t engineBytes, const uint32_t *drm, size_t drmWords,
          const WordPair (&pairs)[N])
{
    std::memset(rec->word, 0, sizeof rec->word);
    rec->word[0] = engineBytes;
    for (const WordPair &p : pairs)
        if (p.drm < drmWords && p.engine < kTamInfoWords)
            rec->word[p.engine] = drm[p.drm];
}

// Passes a name through the connection's translation library into out (size
// bytes); null stays null. A name that does not fit is refused (-1002), never
// cut: a cut name could name another object. -5019 when the library refuses.
int32_t Translate(TamSession *s, const char *name, char *out, size_t size, const char **result)
{
    if (!name) {
        *result = nullptr;
        return 0;
    }
    size_t n = strnlen(name, size);
    if (n >= size)
        return kTamErrInvalidName;
    std::memcpy(out, name, n);
    out[n] = '\0';
    *result = out;
    if (!TamTranslatorLoaded(s->link.translator) || n == 0)
        return 0;
    int64_t got = 0;
    return TamTranslateToSource(s->link.translator, s->link.errors, 1, name,
                                static_cast<int64_t>(n), out, static_cast<int64_t>(size), &got)
               ? 0
               : kTamErrTranslation;
}

void AddRef(TamSession *s, uint32_t db)
{
    for (uint32_t i = 0; i < rcListCount(s->databases); ++i) {
        TamDatabase *d = static_cast<TamDatabase *>(rcListAt(s->databases, i));
        if (d->id == db) {
            ++d->refCount;
            return;
        }
    }
}

// A new handle on the catalog cursor the data module opened; it takes one
// reference of database db (none for kTamNoDatabase).
int32_t NewCatalogHandle(TamSession *s, TamInfoRecord *rec, uint32_t db, bool takeRef)
{
    TamTableHandle *h = new (std::nothrow) TamTableHandle{};
    if (!h)
        return kDrmErrNoMemory;
    h->database = db;
    h->cursor = rec->word[1];
    if (takeRef && db != kTamNoDatabase)
        AddRef(s, db);
    rec->handle = h;
    return 0;
}

} // namespace

int32_t TamGetTableColumnInfo(TamSession *session, TamTableHandle *handle, const char *,
                              TamInfoRecord *rec)
{
    rec->handle = nullptr;
    uint32_t drm[13] = {sizeof drm};
    int32_t rc = DrmGetTableColumnInfo(session->drmSession, handle->cursor, drm, sizeof drm);
    Copy(rec, 80, drm, 13, kColumnPairs);
    return rc != 0 ? rc : NewCatalogHandle(session, rec, handle->database, true);
}

int32_t TamGetProcedureColumnInfo(TamSession *session, TamTableHandle *procedure,
                                  TamInfoRecord *rec)
{
    rec->handle = nullptr;
    uint32_t drm[13] = {sizeof drm};
    int32_t rc = DrmGetProcedureColumnInfo(session->drmSession, procedure->cursor,
                                           reinterpret_cast<uintptr_t>(drm), sizeof drm);
    Copy(rec, 80, drm, 13, kColumnPairs);
    return rc != 0 ? rc : NewCatalogHandle(session, rec, kTamNoDatabase, false);
}

int32_t TamGetTableIndexInfo(TamSession *session, TamTableHandle *handle, const char *index,
                             TamInfoRecord *rec)
{
    rec->handle = nullptr;
    char buf[65];
    const char *name = nullptr;
    if (int32_t t = Translate(session, index, buf, sizeof buf, &name))
        return t;
    uint32_t drm[9] = {sizeof drm};
    int32_t rc = DrmGetTableIndexInfo(session->drmSession, handle->cursor, name, drm, sizeof drm);
    Copy(rec, 72, drm, 9, kIndexPairs);
    return rc != 0 ? rc : NewCatalogHandle(session, rec, handle->database, true);
}

namespace {

using DatabaseCall = int32_t (*)(uint32_t session, uint32_t db, uint32_t *drm, uint32_t length);

int32_t DatabaseInfo(TamSession *session, const char *database, TamInfoRecord *rec,
                     DatabaseCall call)
{
    rec->handle = nullptr;
    uint32_t db = 0;
    int32_t rc = TamRefDatabase(session, database, 1, &db);
    if (rc != 0)
        return rc;
    uint32_t drm[8] = {sizeof drm};
    rc = call(session->drmSession, db, drm, sizeof drm);
    Copy(rec, 48, drm, 8, kTablePairs);
    if (rc == 0)
        rc = NewCatalogHandle(session, rec, db, false); // the reference passes to the handle
    if (rc != 0) {
        int32_t drop = TamUnrefDatabase(session, db);
        return drop != 0 ? drop : rc;
    }
    return 0;
}

} // namespace

int32_t TamGetDatabaseTableInfo(TamSession *session, const char *database, TamInfoRecord *rec)
{
    return DatabaseInfo(session, database, rec,
                        [](uint32_t s, uint32_t db, uint32_t *drm, uint32_t length) {
                            return DrmGetDatabaseTableInfo(s, db, drm, length);
                        });
}

int32_t TamGetTableInfo(TamSession *session, TamTableHandle *handle, TamInfoRecord *rec)
{
    rec->handle = nullptr;
    uint32_t drm[3] = {sizeof drm};
    int32_t rc = DrmGetTableInfo(session->drmSession, handle->cursor, drm, sizeof drm);
    Copy(rec, 40, drm, 3, kTableInfoPairs);
    return rc;
}

// ---- definitions ----

namespace {

// Opens a cursor that a data-module call makes for a named object of a
// database (a new table, a procedure): references the database, translates
// the name and lets `open` fill the cursor; on failure the reference goes.
template <typename OpenFn>
int32_t OpenNamedCursor(TamSession *session, const char *database, const char *object, OpenFn open,
                        TamTableHandle **handle)
{
    *handle = nullptr;
    uint32_t db = 0;
    int32_t rc = TamRefDatabase(session, database, 0, &db);
    if (rc != 0)
        return rc;
    char buf[65];
    const char *name = nullptr;
    TamTableHandle *h = nullptr;
    if (int32_t t = Translate(session, object, buf, sizeof buf, &name))
        rc = t;
    else if (!(h = new (std::nothrow) TamTableHandle{}))
        rc = kDrmErrNoMemory;
    else
        rc = open(db, reinterpret_cast<uintptr_t>(name), reinterpret_cast<uintptr_t>(&h->cursor));
    if (rc != 0) {
        delete h;
        int32_t drop = TamUnrefDatabase(session, db);
        return drop != 0 ? drop : rc;
    }
    h->database = db;
    *handle = h;
    return 0;
}

} // namespace

int32_t TamCreateTable(TamSession *session, const char *database, const char *table,
                       TamTableHandle **handle)
{
    TamForgetTableFacts(session); // a definition changes what the catalogs say
    int32_t rc = OpenNamedCursor(
        session, database, table,
        [session](uint32_t db, uintptr_t name, uintptr_t cursor) {
            return DrmCreateTable(session->drmSession, db, name, cursor);
        },
        handle);
    if (rc == 0)
        (*handle)->cacheAllowed = 1;
    return rc;
}

int32_t TamDeleteTable(TamSession *session, const char *database, const char *table)
{
    TamForgetTableFacts(session);
    uint32_t db = 0;
    int32_t rc = TamRefDatabase(session, database, 0, &db);
    if (rc != 0)
        return rc;
    char buf[65];
    const char *name = nullptr;
    rc = Translate(session, table, buf, sizeof buf, &name);
    if (rc == 0)
        rc = DrmDeleteTable(session->drmSession, db, reinterpret_cast<uintptr_t>(name));
    int32_t drop = TamUnrefDatabase(session, db);
    return drop != 0 ? drop : rc;
}

// ---- procedures and views ----

int32_t TamOpenProcedure(TamSession *session, const char *database, const char *procedure,
                         TamTableHandle **handle)
{
    // No column cache for procedures.
    return OpenNamedCursor(
        session, database, procedure,
        [session](uint32_t db, uintptr_t name, uintptr_t cursor) {
            return DrmOpenProcedure(session->drmSession, db, name, cursor);
        },
        handle);
}

int32_t TamExecProcedure(TamSession *session, TamTableHandle *handle, uintptr_t a, uintptr_t b)
{
    return DrmExecProcedure(session->drmSession, handle->cursor, a, b);
}

// ---- joins, parameters, predicates ----

int32_t rcDrmSetJoin(TamSession *session, uintptr_t a, uintptr_t b, uintptr_t c)
{
    return DrmSetJoin(session->drmSession, a, b, c);
}

int32_t TamSetParam(TamSession *session, uint32_t id, uint32_t type, const void *data,
                    uint32_t length)
{
    return DrmSetParam(session->drmSession, id, type, data, length) == 0 ? 0 : -1;
}

int32_t TamFreeParams(TamSession *session, uint32_t first, uint32_t last)
{
    return DrmFreeParams(session->drmSession, first, last) == 0 ? 0 : -1;
}

int32_t TamExecExtPredicate(TamSession *session, uint32_t predicateId,
                            const uint32_t *descriptorBlock, const uint32_t *dataBlock)
{
    // The data module's fourth value is not used by the engine.
    return DrmExecExtPredicate(session->drmSession, predicateId,
                               reinterpret_cast<uintptr_t>(descriptorBlock),
                               reinterpret_cast<uintptr_t>(dataBlock), 0);
}

int32_t TamConvertParam(TamSession *session, rcErrorQueue *stmtErrors, int16_t sqlType, void *data,
                        int64_t length, int64_t bufferLength)
{
    rcDriverLockHold hold;
    if (!session || !TamTranslatorLoaded(session->link.translator) ||
        !(sqlType == 1 || sqlType == 12 || sqlType == -1) || length <= 0)
        return 0;
    // A parameter goes to the data source: SQLDriverToDataSource, in place.
    // A refusal leaves the library's text (5167) and the translation error.
    int64_t got = 0;
    rcErrorQueue *errors = stmtErrors ? stmtErrors : session->link.errors;
    if (TamTranslateToSource(session->link.translator, errors, sqlType, data, length, data,
                             bufferLength, &got))
        return 0;
    rcErrPost(errors, rcErrMapDrm(-5019), nullptr, -5019, nullptr);
    return -1;
}

int32_t TamSetRetrieveColumns(TamSession *session, const TamRetrieveEntry *entries, uint32_t count)
{
    // The data module's list: a byte length, then {cursor id, column} pairs.
    std::vector<uint32_t> list(1 + 2 * static_cast<size_t>(count));
    list[0] = static_cast<uint32_t>(list.size() * sizeof(uint32_t));
    for (uint32_t i = 0; i < count; ++i) {
        list[1 + 2 * i] = entries[i].table ? entries[i].table->cursor : 0;
        list[2 + 2 * i] = entries[i].column;
    }
    return DrmSetRetrieveColumns(session->drmSession, list.data());
}
