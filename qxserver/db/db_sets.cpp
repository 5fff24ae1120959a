// Named selections and sets of a connection, and the server's semaphores
// (see db_database.h). Names are compared byte for byte.
#include <algorithm>
#include <iterator>

#include "qxserver/db/db_database.h"

namespace qxdb {

// ------------------------------------------------------- Named selections

int16_t Connection::CopySelection(const std::string &name, int table)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    if (db_.TableAt(table) == nullptr)
        return kStatusBadTable;
    selections_[name] = NamedSelection{table, State(table).selection}; // a name in use is replaced
    return kOk;
}

int16_t Connection::MoveSelection(const std::string &name, int table)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    if (db_.TableAt(table) == nullptr)
        return kStatusBadTable;
    TableState &s = State(table);
    selections_[name] = NamedSelection{table, std::move(s.selection)};
    s.selection.clear();
    SetCurrent(table, -1);
    return kOk;
}

int16_t Connection::UseSelection(const std::string &name, int16_t &table)
{
    table = 0;
    std::lock_guard<std::mutex> guard(db_.mu_);
    auto it = selections_.find(name);
    if (it == selections_.end())
        return kStatusUnknownName;
    const NamedSelection &ns = it->second;
    TableState &s = State(ns.table);
    s.selection = ns.records;
    SetCurrent(ns.table, s.selection.empty() ? -1 : s.selection.front());
    table = static_cast<int16_t>(ns.table);
    return kOk;
}

int16_t Connection::KillSelection(const std::string &name)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    return selections_.erase(name) ? kOk : kStatusUnknownName;
}

// ------------------------------------------------------- Sets

int16_t Connection::CreateEmptySet(const std::string &name, int table)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    if (db_.TableAt(table) == nullptr)
        return kStatusBadTable;
    sets_[name] = RecordSet{table, {}};
    return kOk;
}

int16_t Connection::CreateSet(const std::string &name, int table)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    if (db_.TableAt(table) == nullptr)
        return kStatusBadTable;
    const auto &sel = State(table).selection;
    sets_[name] = RecordSet{table, std::set<int32_t>(sel.begin(), sel.end())};
    return kOk;
}

int16_t Connection::AddToSet(const std::string &name, int table, int32_t record)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    auto it = sets_.find(name);
    if (it == sets_.end())
        return kStatusUnknownName;
    if (it->second.table != table)
        return kStatusBadTable;
    if (Visible(table, record) == nullptr)
        return kStatusNoCurrentRecord;
    it->second.records.insert(record);
    return kOk;
}

int16_t Connection::RemoveFromSet(const std::string &name, int table, int32_t record)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    auto it = sets_.find(name);
    if (it == sets_.end())
        return kStatusUnknownName;
    if (it->second.table != table)
        return kStatusBadTable;
    it->second.records.erase(record);
    return kOk;
}

int16_t Connection::UseSet(const std::string &name)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    auto it = sets_.find(name);
    if (it == sets_.end())
        return kStatusUnknownName;
    int table = it->second.table;
    TableState &s = State(table);
    s.selection.assign(it->second.records.begin(), it->second.records.end());
    SetCurrent(table, s.selection.empty() ? -1 : s.selection.front());
    return kOk;
}

int16_t Connection::ClearSet(const std::string &name)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    return sets_.erase(name) ? kOk : kStatusUnknownName;
}

int16_t Connection::IsInSet(const std::string &name, int32_t record, bool &in)
{
    in = false;
    std::lock_guard<std::mutex> guard(db_.mu_);
    auto it = sets_.find(name);
    if (it == sets_.end())
        return kStatusUnknownName;
    in = it->second.records.count(record) != 0;
    return kOk;
}

int16_t Connection::RecordsInSet(const std::string &name, int32_t &count)
{
    count = 0;
    std::lock_guard<std::mutex> guard(db_.mu_);
    auto it = sets_.find(name);
    if (it == sets_.end())
        return kStatusUnknownName;
    count = static_cast<int32_t>(it->second.records.size());
    return kOk;
}

int16_t Connection::CopySet(const std::string &from, const std::string &to)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    auto it = sets_.find(from);
    if (it == sets_.end())
        return kStatusUnknownName;
    RecordSet copy = it->second;
    sets_[to] = std::move(copy);
    return kOk;
}

int16_t Connection::CombineSets(SetOperation op, const std::string &a, const std::string &b,
                                const std::string &result)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    auto ia = sets_.find(a), ib = sets_.find(b);
    if (ia == sets_.end() || ib == sets_.end())
        return kStatusUnknownName;
    if (ia->second.table != ib->second.table)
        return kStatusBadTable;
    const auto &x = ia->second.records;
    const auto &y = ib->second.records;
    RecordSet out{ia->second.table, {}};
    auto dst = std::inserter(out.records, out.records.end());
    switch (op) {
    case kSetIntersection:
        std::set_intersection(x.begin(), x.end(), y.begin(), y.end(), dst);
        break;
    case kSetUnion: std::set_union(x.begin(), x.end(), y.begin(), y.end(), dst); break;
    case kSetDifference: std::set_difference(x.begin(), x.end(), y.begin(), y.end(), dst); break;
    default: return kStatusBadRequest;
    }
    sets_[result] = std::move(out);
    return kOk;
}

// ------------------------------------------------------- Semaphores

int16_t Connection::SetSemaphore(const std::string &name, bool &wasSet)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    auto [it, inserted] = db_.semaphores_.emplace(name, this);
    wasSet = !inserted;
    return kOk;
}

int16_t Connection::TestSemaphore(const std::string &name, bool &isSet)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    isSet = db_.semaphores_.count(name) != 0;
    return kOk;
}

int16_t Connection::ClearSemaphore(const std::string &name)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    auto it = db_.semaphores_.find(name);
    if (it != db_.semaphores_.end() && it->second == this)
        db_.semaphores_.erase(it);
    return kOk;
}

} // namespace qxdb
