// The owner block of a statement's temporary tables, the one place it is
// made from a statement record: catalog results and query plans alike.
#include "driver/engine/rcstmt.h"
#include "driver/engine/temp/rctmp.h"

rcTmpOwner rcTmpOwnerOf(rcStmt *stmt, const rcTmpCancelFlag *cancel)
{
    rcTmpOwner owner;
    owner.errors = stmt->errors;
    owner.cancel = cancel;
    owner.workDir = nullptr; // TempFileDirectory from the settings
    owner.engineOptions = stmt->options.engineOptionMask;
    if (stmt->numericPrecision != 0) {
        owner.numPrecision = static_cast<int16_t>(stmt->numericPrecision);
        owner.numScale = static_cast<int16_t>(stmt->numericScale);
    }
    owner.limits = rcTmpDefaultLimits();
    owner.trace = {stmt->conn != nullptr ? stmt->conn->engineTrace() : nullptr, stmt->debugLevel,
                   false};
    return owner;
}
