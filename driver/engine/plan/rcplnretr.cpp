// The retrieve list of a plan (see rcplnretr.h).
#include "driver/engine/plan/rcplnretr.h"

#include <algorithm>
#include <limits>
#include <new>
#include <vector>

#include "driver/core/rccnv.h"
#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/rcsem.h"
#include "driver/engine/tam.h"

namespace {

bool IsLong(int16_t t) { return t == SQL_LONGVARCHAR || t == SQL_LONGVARBINARY; }

// Bytes a value of the column takes in a window, roughly: the column a
// table that reads none is given is the one that costs least.
uint32_t WindowBytes(const rcTblColumn &c)
{
    int16_t t = c.type.sqlType;
    if (IsLong(t))
        return std::numeric_limits<uint32_t>::max();
    if (rcCnvIsCharType(t) || rcCnvIsBinaryType(t))
        return 1 + c.type.length;
    switch (t) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT: return 2;
    case SQL_INTEGER:
    case SQL_TIME: return 4;
    case SQL_DATE: return 6;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE: return 10;
    default: return 16;
    }
}

const rcTblColumn *Narrowest(const rcTblEntry &table)
{
    const rcTblColumn *best = nullptr;
    for (const rcTblColumn &c : table.columns)
        if (best == nullptr || WindowBytes(c) < WindowBytes(*best))
            best = &c;
    return best;
}

struct Entry {
    uint32_t table; // the statement's table id: the order of the tables
    rcPlnRetrieveColumn column;
};

} // namespace

uint32_t rcPlnCacheLength(const rcTblColumn &column)
{
    int16_t t = column.type.sqlType;
    if (IsLong(t))
        return 0;
    if (rcCnvIsCharType(t) || rcCnvIsBinaryType(t))
        return column.type.length + 1;
    // Fixed-size values: as many bytes as an evaluation slot holds.
    return sizeof(rcExpValue{}.v);
}

int16_t rcPlnSetRetrieveList(rcPlnStmt *stmt)
{
    stmt->retrieve.clear();
    stmt->retrieveMadeFrom = stmt->columns.size();
    std::vector<Entry> entries;
    try {
        entries.reserve(stmt->columns.size() + stmt->tables.size());
        for (const rcPlnColumn *c : stmt->columns)
            if (c->column != nullptr && c->column->owner != nullptr && c->base.handle != nullptr)
                entries.push_back({c->column->owner->id,
                                   {c->base.handle, c->column->number,
                                    rcPlnCacheLength(*c->column)}});
        for (const PlanNode *t : stmt->tables) {
            const rcTblEntry *table = t->table;
            if (table == nullptr || table->handle == nullptr)
                continue;
            bool reads = std::any_of(entries.begin(), entries.end(), [&](const Entry &e) {
                return e.column.handle == table->handle;
            });
            const rcTblColumn *one = reads ? nullptr : Narrowest(*table);
            if (one != nullptr)
                entries.push_back({table->id, {table->handle, one->number, rcPlnCacheLength(*one)}});
        }
        std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
            return a.table != b.table ? a.table < b.table : a.column.column < b.column.column;
        });
        auto same = [](const Entry &a, const Entry &b) {
            return a.column.handle == b.column.handle && a.column.column == b.column.column;
        };
        entries.erase(std::unique(entries.begin(), entries.end(), same), entries.end());
        stmt->retrieve.reserve(entries.size());
        for (const Entry &e : entries)
            stmt->retrieve.push_back(e.column);
    } catch (const std::bad_alloc &) {
        stmt->retrieve.clear();
        return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    }
    if (stmt->retrieve.empty() || stmt->session == nullptr)
        return 0;
    std::vector<TamRetrieveEntry> list;
    try {
        list.reserve(stmt->retrieve.size());
        for (const rcPlnRetrieveColumn &c : stmt->retrieve)
            list.push_back({c.handle, c.column});
    } catch (const std::bad_alloc &) {
        return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    }
    int32_t rc =
        TamSetRetrieveColumns(stmt->session, list.data(), static_cast<uint32_t>(list.size()));
    if (rc < 0) {
        rcErrPost(stmt->errors, rcErrMapDrm(rc), nullptr, rc, nullptr);
        return PLN_ERROR;
    }
    return 0;
}

int16_t rcPlnRefreshRetrieveList(rcPlnStmt *stmt)
{
    if (stmt->retrieveMadeFrom == stmt->columns.size())
        return 0;
    return rcPlnSetRetrieveList(stmt);
}
