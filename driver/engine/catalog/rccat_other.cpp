// The catalog functions that depend on a capability of the data source:
// SQLForeignKeys, SQLTablePrivileges, SQLColumnPrivileges, SQLProcedures and
// SQLProcedureColumns (see rccat.h). Each is refused with 5160 (driver not
// capable) unless the data source reports the capability; the data module
// of this driver reports none of them and offers none of their catalogs, so
// a data source that claims one still answers "not capable" from the data
// module, which is posted as its mapped message.
#include "driver/engine/catalog/rccat_impl.h"

#include "driver/core/rcmsgid.h"
#include "driver/engine/rcstmt.h"

namespace {

// Checks the capability and the arguments; without the capability 5160
// without text. With it the data module is asked for its catalog, whose
// refusal (-1001, not supported) is posted.
int16_t Refuse(rcStmt *stmt, rcCatConn *conn, uint32_t capability, const char *qualifier,
               const char *owner)
{
    if ((conn->Capabilities() & capability) == 0)
        return rcCatNotCapable(stmt, 0);
    rcCatArgs a;
    if (rcCatCheckArgs(stmt, conn, qualifier, owner, &a) != 0)
        return -1;
    return rcCatPostDrm(stmt, kDrmErrNotSupported);
}

} // namespace

int16_t rcCatForeignKeysPrepare(rcStmt *stmt, rcCatConn *conn, const char *pkQualifier,
                                const char *pkOwner, const char *, const char *,
                                const char *fkOwner, const char *)
{
    // An owner on either side is refused as on the primary-key side.
    const char *owner = pkOwner != nullptr && pkOwner[0] != '\0' ? pkOwner : fkOwner;
    return Refuse(stmt, conn, RC_CAT_CAP_FOREIGN_KEY, pkQualifier, owner);
}

int16_t rcCatTablePrivilegesPrepare(rcStmt *stmt, rcCatConn *conn, const char *qualifier,
                                    const char *owner, const char *)
{
    return Refuse(stmt, conn, RC_CAT_CAP_TABLE_PRIVILEGE, qualifier, owner);
}

int16_t rcCatColumnPrivilegesPrepare(rcStmt *stmt, rcCatConn *conn, const char *qualifier,
                                     const char *owner, const char *, const char *)
{
    return Refuse(stmt, conn, RC_CAT_CAP_COLUMN_PRIVILEGE, qualifier, owner);
}

int16_t rcCatProceduresPrepare(rcStmt *stmt, rcCatConn *conn, const char *qualifier,
                               const char *owner, const char *)
{
    return Refuse(stmt, conn, RC_CAT_CAP_PROCEDURES, qualifier, owner);
}

int16_t rcCatProcColumnsPrepare(rcStmt *stmt, rcCatConn *conn, const char *qualifier,
                                const char *owner, const char *, const char *)
{
    return Refuse(stmt, conn, RC_CAT_CAP_PROCEDURES, qualifier, owner);
}
