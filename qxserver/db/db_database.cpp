// The database and the record-level work of a connection: visibility of
// records under transactions, record locks, record creation, change and
// deletion, transactions and disconnect (see db_database.h).
#include "qxserver/db/db_database.h"

#include <algorithm>

#include "qxserver/db/db_text.h"

namespace qxdb {

// ---------------------------------------------------------------- Database

Database::~Database() = default;

int16_t Database::CheckLogin(const std::string &user, const std::string &password) const
{
    for (const auto &u : users)
        if (u.name == user)
            return u.password == password ? kOk : kStatusBadPassword;
    return kStatusBadUser;
}

std::unique_ptr<Connection> Database::Connect(const std::string &user)
{
    std::unique_ptr<Connection> c(new Connection(*this, user));
    std::lock_guard<std::mutex> guard(mu_);
    connections_.push_back(c.get());
    return c;
}

const TableDef *Database::Definition(int table) const
{
    if (table < 1 || table > TableCount())
        return nullptr;
    return &tables[static_cast<size_t>(table) - 1].def;
}

Table *Database::TableAt(int table)
{
    if (table < 1 || table > TableCount())
        return nullptr;
    return &tables[static_cast<size_t>(table) - 1];
}

int Database::FindTable(const std::string &name) const
{
    for (size_t i = 0; i < tables.size(); ++i)
        if (QxdbCompareText(tables[i].def.name, name) == 0)
            return static_cast<int>(i) + 1;
    return 0;
}

int Database::FindField(int table, const std::string &name) const
{
    const TableDef *def = Definition(table);
    if (def == nullptr)
        return 0;
    for (size_t k = 0; k < def->fields.size(); ++k)
        if (QxdbCompareText(def->fields[k].name, name) == 0)
            return static_cast<int>(k) + 1;
    return 0;
}

int Database::ConnectionCount() const
{
    std::lock_guard<std::mutex> guard(mu_);
    return static_cast<int>(connections_.size());
}

std::vector<std::string> Database::ConnectionUsers() const
{
    std::lock_guard<std::mutex> guard(mu_);
    std::vector<std::string> out;
    for (const Connection *c : connections_)
        out.push_back(c->user());
    return out;
}

void Database::WriteData(const std::string &key, const std::string &data)
{
    std::lock_guard<std::mutex> guard(mu_);
    data_[key] = data;
}

bool Database::ReadData(const std::string &key, std::string &data) const
{
    std::lock_guard<std::mutex> guard(mu_);
    auto it = data_.find(key);
    if (it == data_.end())
        return false;
    data = it->second;
    return true;
}

void Database::ForgetRecords(int table, const std::vector<int32_t> &gone, Connection *except)
{
    for (Connection *c : connections_)
        if (c != except)
            c->Forget(table, gone);
    for (int32_t r : gone)
        locks_.erase({table, r});
}

// ------------------------------------------------------- Connection basics

Connection::Connection(Database &db, std::string user) : db_(db), user_(std::move(user)) {}

Connection::~Connection()
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    if (txn_)
        EndTransaction(false);
    for (auto it = db_.locks_.begin(); it != db_.locks_.end();)
        it = it->second.owner == this ? db_.locks_.erase(it) : std::next(it);
    for (auto it = db_.semaphores_.begin(); it != db_.semaphores_.end();)
        it = it->second == this ? db_.semaphores_.erase(it) : std::next(it);
    auto &list = db_.connections_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

const Value *Connection::Visible(int table, int32_t record) const
{
    if (PendingOn(table)) {
        auto p = pending_.find({table, record});
        if (p != pending_.end()) {
            static const Value kNoFields; // the row of a table without fields
            if (p->second.deleted)
                return nullptr;
            return p->second.values.empty() ? &kNoFields : p->second.values.data();
        }
    }
    return db_.tables[static_cast<size_t>(table) - 1].Find(record);
}

void Connection::CountPending(int table, int delta)
{
    if (pendingOn_.size() <= static_cast<size_t>(table))
        pendingOn_.resize(static_cast<size_t>(table) + 1);
    pendingOn_[static_cast<size_t>(table)] += delta;
}

std::vector<int32_t> Connection::VisibleRecords(int table) const
{
    const Table &t = db_.tables[static_cast<size_t>(table) - 1];
    std::vector<int32_t> out;
    out.reserve(t.Count());
    t.ForEach([&out](int32_t r, const Value *) { out.push_back(r); });
    if (!PendingOn(table))
        return out;
    // Merge the committed records with this connection's own changes.
    auto lo = pending_.lower_bound({table, INT32_MIN});
    auto hi = pending_.lower_bound({table + 1, INT32_MIN});
    std::vector<int32_t> merged;
    merged.reserve(out.size());
    auto c = out.begin();
    auto p = lo;
    while (c != out.end() || p != hi) {
        if (p == hi || (c != out.end() && *c < p->first.second)) {
            merged.push_back(*c);
            ++c;
        } else {
            if (!p->second.deleted)
                merged.push_back(p->first.second);
            if (c != out.end() && *c == p->first.second)
                ++c;
            ++p;
        }
    }
    return merged;
}

int32_t Connection::VisibleCount(int table) const
{
    const Table &t = db_.tables[static_cast<size_t>(table) - 1];
    auto n = static_cast<int32_t>(t.Count());
    if (!PendingOn(table))
        return n;
    auto lo = pending_.lower_bound({table, INT32_MIN});
    auto hi = pending_.lower_bound({table + 1, INT32_MIN});
    for (auto p = lo; p != hi; ++p) {
        if (p->second.created)
            n += p->second.deleted ? 0 : 1;
        else if (p->second.deleted)
            n -= 1;
    }
    return n;
}

bool Connection::LockedByOther(int table, int32_t record) const
{
    auto it = db_.locks_.find({table, record});
    return it != db_.locks_.end() && it->second.owner != this;
}

void Connection::SetCurrent(int table, int32_t record)
{
    TableState &s = State(table);
    if (s.current != record)
        ReleaseReadWriteLock(table);
    s.current = record;
}

void Connection::ReleaseReadWriteLock(int table)
{
    TableState &s = State(table);
    if (s.current < 0)
        return;
    auto it = db_.locks_.find({table, s.current});
    if (it != db_.locks_.end() && it->second.owner == this && !it->second.txn)
        db_.locks_.erase(it);
}

void Connection::TakeFreeLock(int table)
{
    TableState &s = State(table);
    if (s.readWrite && s.current >= 0)
        db_.locks_.emplace(std::make_pair(table, s.current), Database::Lock{this, false});
}

void Connection::Forget(int table, const std::vector<int32_t> &gone)
{
    auto isGone = [&gone](int32_t r) { return std::binary_search(gone.begin(), gone.end(), r); };
    auto st = state_.find(table);
    if (st != state_.end()) {
        auto &sel = st->second.selection;
        sel.erase(std::remove_if(sel.begin(), sel.end(), isGone), sel.end());
        if (isGone(st->second.current))
            st->second.current = -1;
    }
    for (auto &[name, ns] : selections_)
        if (ns.table == table)
            ns.records.erase(std::remove_if(ns.records.begin(), ns.records.end(), isGone),
                             ns.records.end());
    for (auto &[name, rs] : sets_)
        if (rs.table == table)
            for (int32_t r : gone)
                rs.records.erase(r);
}

// ------------------------------------------------------- Record changes

int16_t Connection::CheckValues(int table, int32_t record, const std::vector<Value> &values) const
{
    const Table &t = db_.tables[static_cast<size_t>(table) - 1];
    for (size_t k = 0; k < t.def.fields.size(); ++k) {
        const FieldDef &f = t.def.fields[k];
        if (f.mandatory && values[k].IsEmpty())
            return kStatusMandatory;
    }
    for (size_t k = 0; k < t.def.fields.size(); ++k) {
        if (!t.def.fields[k].unique || values[k].IsEmpty())
            continue;
        // Against the committed records and every connection's uncommitted
        // ones (this connection's included), so that no commit can break
        // the rule.
        bool duplicate = false;
        t.ForEachEqual(k, values[k], [&](int32_t other) {
            duplicate = duplicate ||
                        (other != record &&
                         (!PendingOn(table) || pending_.find({table, other}) == pending_.end()));
        });
        if (duplicate)
            return kStatusDuplicateKey;
        for (const Connection *c : db_.connections_) {
            if (!c->PendingOn(table))
                continue;
            auto lo = c->pending_.lower_bound({table, INT32_MIN});
            auto hi = c->pending_.lower_bound({table + 1, INT32_MIN});
            for (auto p = lo; p != hi; ++p)
                if (!p->second.deleted && p->first.second != record &&
                    QxdbCompareValues(p->second.values[k], values[k]) == 0)
                    return kStatusDuplicateKey;
        }
    }
    return kOk;
}

int16_t Connection::WriteRecord(int table, int32_t record, std::vector<Value> values, bool created)
{
    if (int16_t st = CheckValues(table, record, values); st != kOk)
        return st;
    Table &t = db_.tables[static_cast<size_t>(table) - 1];
    if (txn_) {
        auto [it, inserted] = pending_.try_emplace({table, record});
        if (inserted)
            CountPending(table, 1);
        Pending &p = it->second;
        p.created = p.created || created;
        p.deleted = false;
        p.values = std::move(values);
        db_.locks_[{table, record}] = Database::Lock{this, true};
    } else {
        t.Put(record, std::move(values));
    }
    return kOk;
}

int16_t Connection::NewRecord(const RecordChange &change)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    Table *t = db_.TableAt(change.table);
    if (t == nullptr)
        return kStatusBadTable;
    if (t->nextRecord == INT32_MAX)
        return kStatusBadRequest;
    std::vector<Value> values;
    values.reserve(t->def.fields.size());
    for (const auto &f : t->def.fields)
        values.push_back(Value::Empty(f.type));
    for (const auto &[field, value] : change.values) {
        if (field < 1 || static_cast<size_t>(field) > t->def.fields.size())
            return kStatusBadField;
        Value v = value;
        if (!QxdbCoerce(t->def.fields[static_cast<size_t>(field) - 1], v))
            return kStatusBadValueType;
        values[static_cast<size_t>(field) - 1] = std::move(v);
    }
    int32_t record = t->nextRecord;
    if (int16_t st = WriteRecord(change.table, record, std::move(values), true); st != kOk)
        return st;
    t->nextRecord = record + 1;
    SetCurrent(change.table, record);
    return kOk;
}

int16_t Connection::ModifyRecord(const RecordChange &change)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    Table *t = db_.TableAt(change.table);
    if (t == nullptr)
        return kStatusBadTable;
    TableState &s = State(change.table);
    const Value *cur = s.current >= 0 ? Visible(change.table, s.current) : nullptr;
    if (cur == nullptr)
        return kStatusNoCurrentRecord;
    if (LockedByOther(change.table, s.current))
        return kStatusRecordLocked;
    std::vector<Value> values(cur, cur + t->def.fields.size());
    for (const auto &[field, value] : change.values) {
        if (field < 1 || static_cast<size_t>(field) > t->def.fields.size())
            return kStatusBadField;
        Value v = value;
        if (!QxdbCoerce(t->def.fields[static_cast<size_t>(field) - 1], v))
            return kStatusBadValueType;
        values[static_cast<size_t>(field) - 1] = std::move(v);
    }
    if (int16_t st = WriteRecord(change.table, s.current, std::move(values), false); st != kOk)
        return st;
    if (!txn_)
        ReleaseReadWriteLock(change.table);
    return kOk;
}

void Connection::EraseRecord(int table, int32_t record)
{
    auto key = std::make_pair(table, record);
    if (!txn_) {
        db_.tables[static_cast<size_t>(table) - 1].Erase(record);
        return;
    }
    auto p = pending_.find(key);
    if (p != pending_.end() && p->second.created) {
        pending_.erase(p); // created and deleted in the same transaction
        CountPending(table, -1);
        db_.locks_.erase(key);
        return;
    }
    auto [np, inserted] = pending_.try_emplace(key);
    if (inserted)
        CountPending(table, 1);
    np->second.deleted = true;
    np->second.values.clear();
    db_.locks_[key] = Database::Lock{this, true};
}

void Connection::ForgetErased(int table, std::vector<int32_t> gone)
{
    std::sort(gone.begin(), gone.end());
    Forget(table, gone);
    if (!txn_)
        db_.ForgetRecords(table, gone, this); // others see it at commit otherwise
}

int16_t Connection::DeleteCurrentRecord(int table)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    if (db_.TableAt(table) == nullptr)
        return kStatusBadTable;
    TableState &s = State(table);
    if (s.current < 0 || Visible(table, s.current) == nullptr)
        return kStatusNoCurrentRecord;
    if (LockedByOther(table, s.current))
        return kStatusRecordLocked;
    int32_t r = s.current;
    EraseRecord(table, r);
    ForgetErased(table, {r});
    return kOk;
}

int16_t Connection::DeleteSelectedRecords(int table)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    if (db_.TableAt(table) == nullptr)
        return kStatusBadTable;
    std::vector<int32_t> doomed = State(table).selection;
    for (int32_t r : doomed)
        if (LockedByOther(table, r))
            return kStatusRecordLocked;
    std::vector<int32_t> gone;
    for (int32_t r : doomed)
        if (Visible(table, r) != nullptr) {
            EraseRecord(table, r);
            gone.push_back(r);
        }
    ForgetErased(table, std::move(gone));
    TableState &s = State(table);
    s.selection.clear();
    s.current = -1;
    return kOk;
}

int16_t Connection::UnlockCurrentRecord(int table)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    if (db_.TableAt(table) == nullptr)
        return kStatusBadTable;
    ReleaseReadWriteLock(table);
    return kOk;
}

int16_t Connection::SetReadWriteMode(int table, bool readWrite)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    if (db_.TableAt(table) == nullptr)
        return kStatusBadTable;
    TableState &s = State(table);
    if (!readWrite)
        ReleaseReadWriteLock(table);
    s.readWrite = readWrite;
    return kOk;
}

// ------------------------------------------------------- Transactions

bool Connection::InTransaction() const
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    return txn_;
}

int16_t Connection::StartTransaction()
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    if (txn_)
        return kStatusTransaction;
    txn_ = true;
    return kOk;
}

int16_t Connection::Commit()
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    if (txn_)
        EndTransaction(true);
    return kOk;
}

int16_t Connection::RollBack()
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    if (txn_)
        EndTransaction(false);
    return kOk;
}

void Connection::EndTransaction(bool commit)
{
    std::map<int, std::vector<int32_t>> gone; // by table, sorted as pending_ is
    for (auto &[key, p] : pending_) {
        auto [table, record] = key;
        Table &t = db_.tables[static_cast<size_t>(table) - 1];
        if (commit) {
            if (p.deleted) {
                t.Erase(record);
                gone[table].push_back(record);
            } else {
                t.Put(record, std::move(p.values));
            }
        } else if (p.created) {
            gone[table].push_back(record); // the record never existed
        }
    }
    pending_.clear();
    pendingOn_.assign(pendingOn_.size(), 0);
    for (auto &[table, records] : gone) {
        if (commit)
            db_.ForgetRecords(table, records, this);
        else
            Forget(table, records);
    }
    for (auto it = db_.locks_.begin(); it != db_.locks_.end();)
        it = (it->second.owner == this && it->second.txn) ? db_.locks_.erase(it) : std::next(it);
    txn_ = false;
}

} // namespace qxdb
