// Entry points this data module does not offer: each traces the call and
// answers -1001 without looking anything up.
#include <mutex>

#include "driver/Sources/drm.h"
#include "driver/Sources/drm_trace.h"

namespace {

int32_t Unimplemented(const char *name, uint32_t session)
{
    std::lock_guard<std::recursive_mutex> hold(DrmModuleLock());
    DrmTraceUnimplemented(name);
    DrmTraceSessionID(session);
    return kDrmErrNotSupported;
}

} // namespace

using U = uintptr_t;

int32_t DrmGetExtPredicateInfo(uint32_t s, U, U)
{
    return Unimplemented("DrmGetExtPredicateInfo", s);
}
int32_t DrmCreateColumn(uint32_t s, U, U, U, U) { return Unimplemented("DrmCreateColumn", s); }
int32_t DrmCreateIndex(uint32_t s, U, U, U, U, U, U) { return Unimplemented("DrmCreateIndex", s); }
int32_t DrmCreateTable(uint32_t s, U, U, U) { return Unimplemented("DrmCreateTable", s); }
int32_t DrmDeleteIndex(uint32_t s, U, U) { return Unimplemented("DrmDeleteIndex", s); }
int32_t DrmDeleteTable(uint32_t s, U, U) { return Unimplemented("DrmDeleteTable", s); }
int32_t DrmGetExtErrStr(uint32_t s, U, U, U, U) { return Unimplemented("DrmGetExtErrStr", s); }
int32_t DrmGetTableForeignKeyInfo(uint32_t s, U, U, U, U)
{
    return Unimplemented("DrmGetTableForeignKeyInfo", s);
}
int32_t DrmGetTablePrivilegeInfo(uint32_t s, U, U, U)
{
    return Unimplemented("DrmGetTablePrivilegeInfo", s);
}
int32_t DrmGetTableColumnPrivilegeInfo(uint32_t s, U, U, U, U)
{
    return Unimplemented("DrmGetTableColumnPrivilegeInfo", s);
}
// This data module joins no tables itself: an offer of joins is declined
// (-2002), and the engine keeps its own joins.
int32_t DrmSetJoin(uint32_t s, U, U, U)
{
    std::lock_guard<std::recursive_mutex> hold(DrmModuleLock());
    DrmTraceSessionID(s);
    return kDrmErrJoinDeclined;
}
int32_t DrmExecExtPredicate(uint32_t s, U, U, U, U)
{
    return Unimplemented("DrmExecExtPredicate", s);
}
int32_t DrmGetDatabaseProcedureInfo(uint32_t s, U, U, U)
{
    return Unimplemented("DrmGetDatabaseProcedureInfo", s);
}
int32_t DrmGetProcedureColumnInfo(uint32_t s, U, U, U)
{
    return Unimplemented("DrmGetProcedureColumnInfo", s);
}
int32_t DrmOpenProcedure(uint32_t s, U, U, U) { return Unimplemented("DrmOpenProcedure", s); }
int32_t DrmExecProcedure(uint32_t s, U, U, U) { return Unimplemented("DrmExecProcedure", s); }
int32_t DrmCreateView(uint32_t s, U, U, U, U, U) { return Unimplemented("DrmCreateView", s); }
int32_t DrmDeleteView(uint32_t s, U, U) { return Unimplemented("DrmDeleteView", s); }
int32_t DrmOpenView(uint32_t s, U, U, U, U, U, U, U, U) { return Unimplemented("DrmOpenView", s); }
