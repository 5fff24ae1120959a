// The connection as the engine's catalog sees it (rcCatConn, see
// driver/engine/catalog/rccat.h): its session, qualifier, capabilities and
// type catalog, and the driver's stored views, which live in the front end.
#include "driver/odbc/rccat_conn.h"

#include <sqlext.h>

#include <cstring>

#include "driver/frontend/fe_view.h"
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcinfo.h"
#include "driver/odbc/rcopt_engine.h"
#include "driver/odbc/rctypecat.h"

namespace {

void Describe(rcConn *conn, int16_t sqlType, int32_t length, int32_t precision, int16_t scale,
              rcCatTypeDesc *out)
{
    out->sqlType = sqlType;
    const char *name = rcTypName(conn, sqlType);
    out->typeName = name ? name : "";
    out->precision = rcTypColumnSizeOf(sqlType, length, precision);
    out->length =
        rcTypDecimalLength(sqlType, rcTypOctetLength(sqlType, length, precision), precision);
    int16_t s = rcTypScaleOf(sqlType, scale);
    out->hasScale = s != -30000;
    out->scale = out->hasScale ? s : 0;
    out->radix = rcCatRadixOf(sqlType);
}

// The connection's capability bits are the catalog's.
constexpr bool Same(uint32_t a, uint32_t b) { return a == b; }
static_assert(Same(RC_CAP_TABLE_CASE, RC_CAT_CAP_TABLE_CASE) &&
              Same(RC_CAP_COLUMN_CASE, RC_CAT_CAP_COLUMN_CASE) &&
              Same(RC_CAP_PRIMARY_KEY, RC_CAT_CAP_PRIMARY_KEY) &&
              Same(RC_CAP_FOREIGN_KEY, RC_CAT_CAP_FOREIGN_KEY) &&
              Same(RC_CAP_TABLE_PRIVILEGE, RC_CAT_CAP_TABLE_PRIVILEGE) &&
              Same(RC_CAP_COLUMN_PRIVILEGE, RC_CAT_CAP_COLUMN_PRIVILEGE) &&
              Same(RC_CAP_PROCEDURES, RC_CAT_CAP_PROCEDURES) &&
              Same(RC_CAP_VIEWS, RC_CAT_CAP_VIEWS) &&
              Same(RC_CAP_COLUMNS_BY_NAME, RC_CAT_CAP_COLUMNS_BY_NAME));

} // namespace

TamSession *rcCatConnOf::Session() { return conn_->session; }

const char *rcCatConnOf::Qualifier() { return conn_->qualifier; }

uint32_t rcCatConnOf::Capabilities() { return rcConDrmInfo(conn_)->capabilities; }

uint16_t rcCatConnOf::MaxColumns()
{
    return conn_->maxColSupport != 0 ? conn_->maxColSupport : kRcMinMaxColSupport;
}

int rcCatConnOf::DescribeDrmType(uint32_t drmType, uint32_t length, uint16_t precision,
                                 int16_t scale, rcCatTypeDesc *out)
{
    int16_t engine = 0, sql = 0;
    if (rcTypEngineTypeOfDrm(conn_, static_cast<int16_t>(drmType), &engine) != 0)
        return -1;
    if (rcTypSqlTypeOf(conn_, engine, &sql) != 0 || sql == 0)
        sql = engine;
    Describe(conn_, sql, static_cast<int32_t>(length), precision, scale, out);
    return 0;
}

int rcCatConnOf::DescribeSqlType(int16_t sqlType, uint32_t length, uint32_t precision,
                                 int16_t scale, rcCatTypeDesc *out)
{
    int16_t sql = 0;
    if (rcTypSqlTypeOf(conn_, sqlType, &sql) != 0 || sql == 0)
        sql = sqlType;
    Describe(conn_, sql, static_cast<int32_t>(length), static_cast<int32_t>(precision), scale, out);
    return 0;
}

int rcCatConnOf::NextViewName(bool restart, std::string *name)
{
    char buffer[kRcVwNameSize + 1] = {};
    int rc = rcVwNextName(stmt_, restart, buffer);
    if (rc == 0)
        name->assign(buffer, strnlen(buffer, kRcVwNameSize));
    return rc;
}

int rcCatConnOf::ViewColumns(const std::string &name, std::vector<rcCatViewColumn> *out)
{
    uint16_t count = 0;
    rcViewEntry entry;
    int rc = rcVwLookup(stmt_, name.c_str(), &count, &entry);
    if (rc == 1000)
        return 0; // gone since it was listed
    if (rc != 0)
        return -1;
    for (int i = 0;; ++i) {
        char column[kRcVwNameSize + 1] = {};
        rcCatViewColumn c;
        rc = rcVwGetColumn(stmt_, i, column, &c.sqlType, &c.length, &c.precision, &c.scale,
                           &c.flags);
        if (rc != 0)
            break;
        c.name.assign(column, strnlen(column, kRcVwNameSize));
        out->push_back(std::move(c));
    }
    return rc < 0 ? -1 : 0;
}
