// Column caches of a plan's tables, made at each open from its retrieve
// list (rcplnretr.h): one cache entry per column the plan reads of a table,
// so that a value read several times a row (a filter, a sort key, the select
// list, a bound column) costs one data-module read. TamMove, TamSeek and
// TamGotoBookmark mark a table's values stale; TamGetColumn reads through
// the cache (tam_column.cpp). A cache that cannot be had (no memory) leaves
// its table read straight from the data module. A table whose cache already
// holds every column of the list as the list would make it (the same plan
// opened again, a point query executed once more) keeps it, every value
// marked stale, instead of allocating and sorting it anew.
#include "driver/engine/exec/rcexe.h"

#include <cstdint>

#include "driver/engine/tam.h"

void rcExePrepareColumnCaches(rcPlnStmt *stmt)
{
    if (stmt->session == nullptr)
        return;
    const std::vector<rcPlnRetrieveColumn> &list = stmt->retrieve;
    for (size_t at = 0; at < list.size();) {
        TamTableHandle *h = list[at].handle;
        size_t end = at;
        while (end < list.size() && list[end].handle == h)
            ++end;
        // A table of more columns than MaxColSupport is refused when it is
        // opened, so no statement reads more of one table than that.
        uint32_t n = static_cast<uint32_t>(end - at);
        bool holds = true;
        for (size_t k = at; k < end && holds; ++k)
            holds = rcColCacheHolds(h, n, list[k].column, list[k].cacheLength);
        if (holds) {
            rcColCacheInvalidate(stmt->session, h);
            at = end;
            continue;
        }
        if (rcColCacheInit(stmt->session, h, n, UINT16_MAX) == 0) {
            for (size_t k = at; k < end; ++k)
                if (rcColCacheAdd(stmt->session, h, list[k].column, list[k].cacheLength) != 0)
                    break;
            rcColCacheSeal(stmt->session, h);
        }
        at = end;
    }
}
