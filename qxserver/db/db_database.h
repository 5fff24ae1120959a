// The emulator's in-memory database.
//
// Interface: a `Database` holds what the server keeps for everyone (user
// accounts, tables with their records, record locks, semaphores); it is filled
// from a fixture file (db_fixture.h) and may be saved back. Each logged-in
// client gets a `Connection` from `Database::Connect`; its operations map one
// to one onto the server's requests and keep the per-connection state: the
// current selection, current record and read-write mode of every table, the
// named selections and sets, and the open transaction. Destroying a
// Connection is the disconnect: its transaction is rolled back, its locks and
// semaphores are released.
//
// Every operation takes the database's lock, so connections may be served
// from several threads. Rules where the server's behaviour is left open
// (search precedence, collation, record numbers, effect of changes on
// selections, locks, transactions) are listed in qxserver/README.md.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "qxserver/db/db_table.h"
#include "qxserver/db/db_value.h"

namespace qxdb {

class Connection;

class Database {
public:
    Database() = default;
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;
    ~Database();

    // Content, filled by the fixture loader before any connection exists.
    std::vector<User> users;
    std::vector<Table> tables; // table n is tables[n - 1]

    // 0 when the account exists with that password; kStatusBadUser or
    // kStatusBadPassword otherwise.
    int16_t CheckLogin(const std::string &user, const std::string &password) const;

    std::unique_ptr<Connection> Connect(const std::string &user);

    // Catalog (table definitions never change while connections exist).
    int TableCount() const { return static_cast<int>(tables.size()); }
    const TableDef *Definition(int table) const;
    // 1-based table number by name (collation of db_text.h), 0 when none.
    int FindTable(const std::string &name) const;
    // 1-based field number by name, 0 when none.
    int FindField(int table, const std::string &name) const;

    int ConnectionCount() const;
    // User names of the open connections, oldest first.
    std::vector<std::string> ConnectionUsers() const;

    // Opaque data store of the WriteData / ReadData requests.
    void WriteData(const std::string &key, const std::string &data);
    bool ReadData(const std::string &key, std::string &data) const;

    // Sorts whose first key is a field with an index are answered from the
    // index (the order a comparison of the records gives); off, every sort
    // compares records. `sortsByIndex` counts the sorts the index answered.
    // Both for tests, which compare the two ways.
    bool sortByIndex = true;
    int64_t sortsByIndex = 0;

    // Runs `fn` under the database lock (used by the fixture saver).
    template <typename Fn>
    auto Locked(Fn fn) const
    {
        std::lock_guard<std::mutex> guard(mu_);
        return fn();
    }

private:
    friend class Connection;

    struct Lock {
        Connection *owner = nullptr;
        bool txn = false; // held by a change inside a transaction
    };

    mutable std::mutex mu_;
    std::vector<Connection *> connections_;
    std::map<std::pair<int, int32_t>, Lock> locks_;
    std::map<std::string, Connection *> semaphores_;
    std::map<std::string, std::string> data_;

    Table *TableAt(int table);
    // Removes deleted records (`gone`, sorted) from every other connection's
    // selections, named selections, sets and current record.
    void ForgetRecords(int table, const std::vector<int32_t> &gone, Connection *except);
};

// Search request: lines read left to right.
enum SearchOp : uint8_t { kOpEq = 1, kOpNe = 2, kOpGt = 3, kOpGe = 4, kOpLt = 5, kOpLe = 6 };
enum SearchConj : uint8_t { kConjFirst = 0, kConjAnd = 1, kConjOr = 2, kConjAndNot = 3 };

struct SearchLine {
    int16_t field = 0;
    int16_t table = 0; // 0: the request's default table
    uint8_t op = kOpEq;
    uint8_t conj = kConjFirst;
    Value value;
};

struct SearchRequest {
    int16_t table = 0; // default table
    std::vector<SearchLine> lines;
};

struct SortKey {
    int16_t field = 0;
    int16_t table = 0; // 0: the request's table
    bool ascending = true;
};

struct SortRequest {
    int16_t table = 0;
    std::vector<SortKey> keys;
};

struct FieldRef {
    int16_t table = 0;
    int16_t field = 0; // 0 in an array description: the record number
};

// Values of a new record or of changes to the current record.
struct RecordChange {
    int16_t table = 0;
    std::vector<std::pair<int16_t, Value>> values; // field number, value
};

enum Aggregate { kAggSum, kAggAverage, kAggMin, kAggMax };
enum SetOperation { kSetIntersection = 1, kSetUnion = 2, kSetDifference = 3 };

// Receives the values of a selection array as they are read.
class ValueSink {
public:
    virtual void Rows(int32_t rows) = 0;  // once, before the values
    virtual void Put(const Value &v) = 0; // row after row
protected:
    ~ValueSink() = default;
};

// What request 23 answers.
struct SelectionInfo {
    int32_t recordsInTable = 0;
    int32_t recordsInSelection = 0;
    int32_t position = -1; // 0-based position of the current record in the selection
    int32_t record = -1;   // current record number
};

class Connection {
public:
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    Database &db() const { return db_; }
    const std::string &user() const { return user_; }

    // Selections and records (all statuses are kOk or a negative Status).
    int16_t SelectAllRecords(int table);
    int16_t Search(const SearchRequest &req, int32_t &found);
    int16_t SearchInSelection(const SearchRequest &req, int32_t &found);
    int16_t Sort(const SortRequest &req);
    int16_t GotoSelectedRecord(int table, int32_t position); // 0-based
    int16_t GotoRecord(int table, int32_t record);
    int16_t GetSelectionInfo(int table, SelectionInfo &info);
    int16_t RecordsInFile(int table, int32_t &count);
    int16_t AutoSequenceNumber(int table, int32_t &number);
    // Values of fields of the current record of `table`; a pair naming
    // another table reads that table's current record. Returns
    // kStatusRecordLockedRead, with the values, when another connection
    // holds the record.
    int16_t GetFields(int table, const std::vector<FieldRef> &fields, std::vector<Value> &out);
    int16_t UnlockCurrentRecord(int table);
    int16_t SetReadWriteMode(int table, bool readWrite);
    int16_t NewRecord(const RecordChange &change);
    int16_t ModifyRecord(const RecordChange &change);
    int16_t DeleteCurrentRecord(int table);
    int16_t DeleteSelectedRecords(int table);
    int16_t ShrinkSelection(int table, int32_t count);
    int16_t DistinctValues(int table, int field, std::vector<Value> &out);
    int16_t AggregateField(Aggregate kind, int table, int field, double &result);
    // Values of `columns` for the selection positions first..last (0-based,
    // both included, cut to the selection), row after row. A column of field 0
    // gives the record number as a long integer.
    // The sink form hands each value over where it lies (no copy), with the
    // row count first; `rows` is that count.
    int16_t SelectionToArray(int table, const std::vector<FieldRef> &columns, int32_t first,
                             int32_t last, std::vector<Value> &out, int32_t &rows);
    int16_t SelectionToArray(int table, const std::vector<FieldRef> &columns, int32_t first,
                             int32_t last, ValueSink &out, int32_t &rows);
    int16_t ArrayToSelection(int table, const std::vector<int32_t> &records);
    // Brings the rows of the window after the last one SelectionToArray
    // gave (as long as that one, the same columns) into the processor's
    // caches, once: the server calls it while it waits for the next request,
    // since a client reading a result asks for that window next.
    void ReadAhead();

    // Transactions.
    int16_t StartTransaction();
    int16_t Commit();
    int16_t RollBack();
    bool InTransaction() const;

    // Named selections (per connection).
    int16_t CopySelection(const std::string &name, int table);
    int16_t MoveSelection(const std::string &name, int table);
    int16_t UseSelection(const std::string &name, int16_t &table);
    int16_t KillSelection(const std::string &name);

    // Sets (per connection).
    int16_t CreateEmptySet(const std::string &name, int table);
    int16_t CreateSet(const std::string &name, int table);
    int16_t AddToSet(const std::string &name, int table, int32_t record);
    int16_t RemoveFromSet(const std::string &name, int table, int32_t record);
    int16_t UseSet(const std::string &name);
    int16_t ClearSet(const std::string &name);
    int16_t IsInSet(const std::string &name, int32_t record, bool &in);
    int16_t RecordsInSet(const std::string &name, int32_t &count);
    int16_t CopySet(const std::string &from, const std::string &to);
    int16_t CombineSets(SetOperation op, const std::string &a, const std::string &b,
                        const std::string &result);

    // Semaphores (per server). `wasSet` is true when the semaphore was
    // already held (by any connection); otherwise this connection now holds it.
    int16_t SetSemaphore(const std::string &name, bool &wasSet);
    int16_t TestSemaphore(const std::string &name, bool &isSet);
    int16_t ClearSemaphore(const std::string &name);

private:
    friend class Database;
    Connection(Database &db, std::string user);

    struct TableState {
        std::vector<int32_t> selection;
        int32_t current = -1; // current record number
        bool readWrite = false;
    };
    struct Pending {
        bool deleted = false;
        bool created = false;
        std::vector<Value> values;
    };
    struct NamedSelection {
        int table = 0;
        std::vector<int32_t> records;
    };
    struct RecordSet {
        int table = 0;
        std::set<int32_t> records;
    };

    Database &db_;
    std::string user_;
    std::map<int, TableState> state_;
    std::map<std::string, NamedSelection> selections_;
    std::map<std::string, RecordSet> sets_;
    bool txn_ = false;
    std::map<std::pair<int, int32_t>, Pending> pending_;
    std::vector<int32_t> pendingOn_; // entries of pending_ by table number
    struct ReadAheadWindow {
        int table = 0;
        std::vector<FieldRef> columns;
        int32_t first = 0; // selection position
        int32_t count = 0; // 0: nothing to read ahead
        bool warm = false; // read ahead: a window at `first` finds its rows in the caches
    } readAhead_;

    // The helpers below run with the database lock held.
    TableState &State(int table) { return state_[table]; }
    // The row this connection sees for `record` (its own uncommitted change
    // first, then the committed row); nullptr when it sees none.
    const Value *Visible(int table, int32_t record) const;
    // True when this connection has uncommitted changes on `table`.
    bool PendingOn(int table) const
    {
        return static_cast<size_t>(table) < pendingOn_.size() &&
               pendingOn_[static_cast<size_t>(table)] > 0;
    }
    void CountPending(int table, int delta);
    int32_t VisibleCount(int table) const;
    std::vector<int32_t> VisibleRecords(int table) const;
    bool LockedByOther(int table, int32_t record) const;
    void SetCurrent(int table, int32_t record);
    void ReleaseReadWriteLock(int table);
    // In read-write mode, takes the lock of the table's current record when
    // no connection holds it (it was held by another when it became current).
    void TakeFreeLock(int table);
    int16_t CheckValues(int table, int32_t record, const std::vector<Value> &values) const;
    int16_t WriteRecord(int table, int32_t record, std::vector<Value> values, bool created);
    // Deletes one record; the caller then forgets it (Forget and, outside a
    // transaction, Database::ForgetRecords).
    void EraseRecord(int table, int32_t record);
    void ForgetErased(int table, std::vector<int32_t> gone);
    int16_t CheckSearch(const SearchRequest &req, int &table) const;
    // Sorts the selection of `table` (keys checked) from the index of the
    // first key; false, with the selection unchanged, when it cannot.
    bool SortByIndex(int table, const SortRequest &req);
    void Forget(int table, const std::vector<int32_t> &gone); // `gone` sorted
    void EndTransaction(bool commit);
};

// True when a search value of `valueType` can be compared with a field of
// `fieldType`.
bool QxdbComparable(int fieldType, int valueType);

} // namespace qxdb
