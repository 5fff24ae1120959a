// The one road of a statement's result (see rccat_road.h): a catalog result
// while the statement holds one, else the executor's plan.
#include "driver/engine/catalog/rccat_road.h"

#include "driver/engine/catalog/rccat.h"
#include "driver/engine/exec/rcexe.h"
#include "driver/engine/exec/rcexestmt.h"
#include "driver/engine/rcstmt.h"

bool rcCatRoadOpen(const rcStmt *stmt) { return rcCatActive(stmt) || rcExeStmtOpen(stmt); }

int16_t rcCatRoadNext(rcStmt *stmt)
{
    if (!rcCatActive(stmt))
        return rcExeFetch(stmt->planner);
    int16_t rc = rcCatFetch(stmt);
    return rc < 0 ? int16_t{PLN_ERROR} : rc == 100 ? int16_t{PLN_END} : int16_t{PLN_ROW};
}

int16_t rcCatRoadColumn(rcStmt *stmt, uint16_t column, int16_t wantedType, void *buffer,
                        int32_t bufferLength, int32_t *outLength, uint32_t pieceOffset,
                        bool *isNull)
{
    if (rcCatActive(stmt))
        return rcCatGetColumn(stmt, column, wantedType, buffer, bufferLength, outLength,
                              pieceOffset, isNull);
    return rcExeGetColumn(stmt->planner, column, wantedType, buffer, bufferLength, outLength,
                          pieceOffset, isNull);
}

rcPlnStmt *rcCatRoadPlanned(rcStmt *stmt) { return rcCatActive(stmt) ? nullptr : stmt->planner.get(); }
