// The data module's information of a connection (see rcinfo.h).
#include "driver/odbc/rcinfo.h"

#include "driver/core/rcmem.h"
#include "driver/engine/tam.h"
#include "driver/engine/tam_drminfo.h"
#include "driver/odbc/rcconn.h"

#include <array>

namespace {

// The four information texts are per connection here (the connection frees
// them with itself), so no connection frees another's.
std::array<char **, 4> InfoTexts(rcConn *conn)
{
    return {&conn->info.driverName, &conn->info.dbmsName, &conn->info.isamVersion,
            &conn->info.qualTerm};
}

bool EnsureInfoTexts(rcConn *conn)
{
    for (char **t : InfoTexts(conn)) {
        if (!*t)
            *t = static_cast<char *>(rcMemAlloc(kRcInfoTextSize));
        if (!*t)
            return false;
    }
    return true;
}

uint32_t AskNumber(rcConn *conn, uint32_t item)
{
    uint32_t v = 0;
    TamGetSessionInfo(conn->session, item, &v, sizeof v);
    return v;
}

} // namespace

void rcConReadDrmInfo(rcConn *conn)
{
    rcSourceInfo &info = conn->info;
    uint32_t v = 0;
    TamGetDriverInfo(1, &v, sizeof v);
    info.validateQualifier = v;
    if (EnsureInfoTexts(conn)) {
        TamGetDriverInfo(2, info.driverName, kRcInfoTextSize);
        TamGetSessionInfo(conn->session, 112, info.dbmsName, kRcInfoTextSize);
        TamGetSessionInfo(conn->session, 113, info.isamVersion, kRcInfoTextSize);
        TamGetSessionInfo(conn->session, 114, info.qualTerm, kRcInfoTextSize);
    }
    info.collate = AskNumber(conn, 100);
    info.access = AskNumber(conn, 101);
    info.indexSupport = AskNumber(conn, 102);
    info.colNullable = AskNumber(conn, 103);
    info.tabNameExt = AskNumber(conn, 111);
    info.pdFilterSupport = AskNumber(conn, 118);
    info.joinPushDown = AskNumber(conn, 119);
    info.qualMaxLen = static_cast<uint16_t>(AskNumber(conn, 108));
    info.tabNameMaxLen = static_cast<uint16_t>(AskNumber(conn, 109));
    info.colNameMaxLen = static_cast<uint16_t>(AskNumber(conn, 110));
    static constexpr struct {
        uint32_t item;
        uint32_t bit;
    } kBits[] = {{105, RC_CAP_TABLE_CASE},      {106, RC_CAP_COLUMN_CASE},
                 {107, RC_CAP_QUALIFIER_CASE},  {104, RC_CAP_TABLE_PASSWORD},
                 {121, RC_CAP_SEEK_FIRST_LAST}, {120, RC_CAP_FOLD_UPPER},
                 {122, RC_CAP_PRIMARY_KEY},     {123, RC_CAP_FOREIGN_KEY},
                 {124, RC_CAP_TABLE_PRIVILEGE}, {125, RC_CAP_COLUMN_PRIVILEGE},
                 {126, RC_CAP_PROCEDURES},      {127, RC_CAP_VIEWS},
                 {128, RC_CAP_COLUMNS_BY_NAME}, {129, RC_CAP_FILTER_INDEX},
                 {130, RC_CAP_STORE_KEYWORDS}};
    info.capabilities = 0;
    for (const auto &b : kBits)
        if (AskNumber(conn, b.item))
            info.capabilities |= b.bit;
    // The transaction answers: isolation words for the transaction machine,
    // and the engine's transaction flag from the capability.
    uint32_t answer = 0;
    rcInfDrmBitmask(conn, 46, &answer);
    conn->options.txnFlag = answer == 5 ? 0 : 1;
    rcInfDrmBitmask(conn, 72, &answer);
    rcInfDrmBitmask(conn, 26, &answer);
    if (conn->session) {
        conn->session->exactQualifiers = (info.capabilities & RC_CAP_QUALIFIER_CASE) ? 1 : 0;
        conn->session->infoDue = 0;
    }
    rcList *predicates = nullptr;
    if (TamLoadExtPredicates(conn->session, &predicates) == 0 && conn->session) {
        TamFreeExtPredicates(conn->session->extPredicates);
        conn->session->extPredicates = predicates;
    }
}

rcSourceInfo *rcConDrmInfo(rcConn *conn)
{
    if (conn->session && conn->session->infoDue)
        rcConReadDrmInfo(conn);
    return &conn->info;
}

void rcInfFreeSourceInfo(rcConn *conn)
{
    for (char **t : InfoTexts(conn)) {
        rcMemFree(*t);
        *t = nullptr;
    }
}
