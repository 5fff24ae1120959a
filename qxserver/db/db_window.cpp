// Arrays of a connection's selection: windows of values, record numbers to a
// selection, and the read-ahead of the next window (see db_database.h).
//
// The rows of a sorted selection lie anywhere in the table's storage, some
// cache lines each, so a window of them waits for memory once per row where a
// window in storage order streams. Two things hide that wait: a window asks
// for the memory of the rows some places ahead of the one it writes (so that
// the reads overlap), and while the server waits for the next request it
// brings the rows of the window after the last one into the caches (ReadAhead:
// a client reading a result asks for that window next). A window of records
// close behind each other in record-number order does neither: its rows lie
// in storage order, which the processor streams by itself.
#include <algorithm>
#include <utility>

#include "qxserver/db/db_database.h"

namespace qxdb {
namespace {

// How many rows ahead of the one it writes a window asks for the memory of.
constexpr ptrdiff_t kRowsAhead = 16;
// Records in record-number order at most this far apart are read as they
// come (the processor streams their rows).
constexpr int32_t kStreamedGap = 8;
// Longest window read ahead.
constexpr int32_t kMaxReadAhead = 1000;

// Longest text whose bytes a window reads ahead.
constexpr size_t kMaxBytesAhead = 256;

// Calls fetch(p) for every cache line of the values of `columns` in `row`
// and, with `bytes`, of the bytes they hold elsewhere (that reads the row).
template <typename Fetch>
void ForLines(const Value *row, const std::vector<FieldRef> &columns, bool bytes, Fetch fetch)
{
    for (const FieldRef &c : columns) {
        if (c.field == 0)
            continue; // the record number is no value of the row
        const Value &v = row[c.field - 1];
        if (!bytes) {
            fetch(reinterpret_cast<const char *>(&v));
            fetch(reinterpret_cast<const char *>(&v) + sizeof(Value) - 1);
        } else if (!v.bytes.empty() && v.bytes.size() <= kMaxBytesAhead) {
            for (size_t at = 0; at < v.bytes.size(); at += 64)
                fetch(v.bytes.data() + at);
            fetch(v.bytes.data() + v.bytes.size() - 1);
        }
    }
}

// A prefetch asks for a line and goes on; it may be dropped (when the
// processor has too many lines on the way). A read (volatile: it is done)
// waits for the line and brings it for sure.
void Prefetch(const char *p) { __builtin_prefetch(p); }
void Read(const char *p) { (void)*static_cast<const volatile char *>(p); }

// Collects a selection array's values in a vector.
class VectorSink final : public ValueSink {
public:
    explicit VectorSink(std::vector<Value> &out) : out_(out) {}
    void Rows(int32_t rows) override { out_.reserve(static_cast<size_t>(rows)); }
    void Put(const Value &v) override { out_.push_back(v); }

private:
    std::vector<Value> &out_;
};

} // namespace

int16_t Connection::SelectionToArray(int table, const std::vector<FieldRef> &columns, int32_t first,
                                     int32_t last, std::vector<Value> &out, int32_t &rows)
{
    out.clear();
    VectorSink sink(out);
    return SelectionToArray(table, columns, first, last, sink, rows);
}

// Two passes over the window: the first counts the rows this connection
// still sees (the count goes before the values), the second hands their
// values over where they lie.
int16_t Connection::SelectionToArray(int table, const std::vector<FieldRef> &columns, int32_t first,
                                     int32_t last, ValueSink &out, int32_t &rows)
{
    rows = 0;
    std::lock_guard<std::mutex> guard(db_.mu_);
    const TableDef *def = db_.Definition(table);
    if (def == nullptr)
        return kStatusBadTable;
    if (columns.empty())
        return kStatusBadRequest;
    for (const FieldRef &c : columns) {
        if (c.table != 0 && c.table != table)
            return kStatusBadTable;
        if (c.field < 0 || static_cast<size_t>(c.field) > def->fields.size())
            return kStatusBadField;
    }
    const bool numbered =
        std::any_of(columns.begin(), columns.end(), [](const FieldRef &c) { return c.field == 0; });
    // The window read ahead (its rows are in the caches already) is this one.
    const bool warm = readAhead_.warm && readAhead_.table == table && readAhead_.first == first;
    readAhead_.count = 0;
    readAhead_.warm = false;
    const std::vector<int32_t> &sel = State(table).selection;
    if (first < 0)
        first = 0;
    int64_t end =
        std::min<int64_t>(static_cast<int64_t>(last) + 1, static_cast<int64_t>(sel.size()));
    if (first >= end) {
        out.Rows(0);
        return kOk;
    }
    const int32_t *begin = sel.data() + first;
    const int32_t *stop = sel.data() + end;
    // Records close behind each other in record-number order lie so in
    // storage (mostly: slots of deleted records are reused), which the
    // processor streams by itself.
    bool inOrder = true;
    for (const int32_t *r = begin; r != stop; ++r) {
        if (Visible(table, *r) != nullptr)
            ++rows;
        inOrder = inOrder && (r == begin || (r[-1] < *r && *r - r[-1] <= kStreamedGap));
    }
    out.Rows(rows);
    if (columns.size() == 1 && numbered) {
        for (const int32_t *r = begin; r != stop; ++r)
            if (Visible(table, *r) != nullptr)
                out.Put(Value::Long(*r));
        return kOk;
    }
    if (!inOrder && end - first <= kMaxReadAhead && end < static_cast<int64_t>(sel.size())) {
        readAhead_.table = table;
        readAhead_.columns = columns;
        readAhead_.first = static_cast<int32_t>(end);
        readAhead_.count = static_cast<int32_t>(end - first);
    }
    // Field 0 beside fields: the record number in its place among the values.
    auto put = [&](int32_t record, const Value *v) {
        if (!numbered) {
            for (const FieldRef &c : columns)
                out.Put(v[c.field - 1]);
            return;
        }
        for (const FieldRef &c : columns)
            out.Put(c.field == 0 ? Value::Long(record) : v[c.field - 1]);
    };
    if (inOrder || warm) {
        for (const int32_t *r = begin; r != stop; ++r)
            if (const Value *v = Visible(table, *r))
                put(*r, v);
        return kOk;
    }
    // The row `kRowsAhead` places on is asked for, the bytes of the one half
    // as far on (its row has come by then), and the row here is written.
    auto ahead = [&](const int32_t *r, bool bytes) {
        if (r < stop)
            if (const Value *v = Visible(table, *r))
                ForLines(v, columns, bytes, Prefetch);
    };
    for (const int32_t *r = begin; r != stop && r < begin + kRowsAhead; ++r)
        ahead(r, false);
    for (const int32_t *r = begin; r != stop && r < begin + kRowsAhead / 2; ++r)
        ahead(r, true);
    for (const int32_t *r = begin; r != stop; ++r) {
        ahead(r + kRowsAhead, false);
        ahead(r + kRowsAhead / 2, true);
        if (const Value *v = Visible(table, *r))
            put(*r, v);
    }
    return kOk;
}

void Connection::ReadAhead()
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    if (readAhead_.count == 0)
        return;
    // Once per window; the selection may have changed since.
    const int32_t n = std::exchange(readAhead_.count, 0);
    readAhead_.warm = true;
    const std::vector<int32_t> &sel = State(readAhead_.table).selection;
    size_t from = static_cast<size_t>(readAhead_.first);
    size_t to = std::min(sel.size(), from + static_cast<size_t>(n));
    // The values are asked for first (the reads of the bytes then find the
    // rows on the way), then everything is read.
    for (size_t i = from; i < to; ++i)
        if (const Value *v = Visible(readAhead_.table, sel[i]))
            ForLines(v, readAhead_.columns, false, Prefetch);
    for (size_t i = from; i < to; ++i)
        if (const Value *v = Visible(readAhead_.table, sel[i])) {
            ForLines(v, readAhead_.columns, false, Read);
            ForLines(v, readAhead_.columns, true, Read);
        }
}

int16_t Connection::ArrayToSelection(int table, const std::vector<int32_t> &records)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    if (db_.TableAt(table) == nullptr)
        return kStatusBadTable;
    TableState &s = State(table);
    s.selection.clear();
    for (int32_t r : records)
        if (Visible(table, r) != nullptr)
            s.selection.push_back(r);
    SetCurrent(table, s.selection.empty() ? -1 : s.selection.front());
    return kOk;
}

} // namespace qxdb
