// Sorts of a connection's selection (see db_database.h).
//
// A sort is stable: records equal on every key keep their order in the
// selection. A descending key reverses that key's order only. Two ways give
// the same order:
// - by comparison: the selected rows sorted with QxdbCompareValues key by key;
// - by the index of the first key (db_index.h), when that field has one and
//   the connection sees the committed records: the index walked in key order
//   (or backwards) gives the selected records in runs of equal first keys;
//   a run is then put in selection order (or sorted by the other keys, then
//   by selection order). The index holds equal values by record number, so a
//   selection in record-number order sorted by one ascending key needs no
//   comparison at all.
#include <algorithm>

#include "qxserver/db/db_database.h"

namespace qxdb {
namespace {

// A selection this much smaller than its table is sorted by comparison: the
// walk of the whole index would cost more than comparing its few records.
constexpr size_t kIndexSortShare = 64;

// Orders two rows by the keys from `from` on: -1, 0 or 1.
int CompareKeys(const std::vector<SortKey> &keys, size_t from, const Value *a, const Value *b)
{
    for (size_t i = from; i < keys.size(); ++i) {
        size_t f = static_cast<size_t>(keys[i].field) - 1;
        if (int c = QxdbCompareValues(a[f], b[f]); c != 0)
            return keys[i].ascending ? c : -c;
    }
    return 0;
}

} // namespace

int16_t Connection::Sort(const SortRequest &req)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    int table = req.table;
    if (db_.TableAt(table) == nullptr)
        return kStatusBadTable;
    const TableDef &def = db_.tables[static_cast<size_t>(table) - 1].def;
    if (req.keys.empty())
        return kStatusBadRequest;
    for (const SortKey &k : req.keys) {
        if (k.table != 0 && k.table != table)
            return kStatusBadTable;
        if (k.field < 1 || static_cast<size_t>(k.field) > def.fields.size())
            return kStatusBadField;
    }
    TableState &s = State(table);
    if (SortByIndex(table, req)) {
        ++db_.sortsByIndex;
    } else {
        std::vector<std::pair<int32_t, const Value *>> rows;
        rows.reserve(s.selection.size());
        for (int32_t r : s.selection)
            if (const Value *v = Visible(table, r))
                rows.emplace_back(r, v);
        std::stable_sort(rows.begin(), rows.end(), [&req](const auto &a, const auto &b) {
            return CompareKeys(req.keys, 0, a.second, b.second) < 0;
        });
        s.selection.clear();
        for (const auto &r : rows)
            s.selection.push_back(r.first);
    }
    SetCurrent(table, s.selection.empty() ? -1 : s.selection.front());
    return kOk;
}

bool Connection::SortByIndex(int table, const SortRequest &req)
{
    const Table &t = db_.tables[static_cast<size_t>(table) - 1];
    const SortKey &first = req.keys.front();
    const FieldIndex *index = t.IndexOf(static_cast<size_t>(first.field) - 1);
    std::vector<int32_t> &sel = State(table).selection;
    if (!db_.sortByIndex || index == nullptr || PendingOn(table) || index->Size() != t.Count() ||
        sel.size() * kIndexSortShare < t.Count())
        return false;

    // The selection position of every selected record, by its slot. A
    // record the connection no longer sees is left out, as the comparison
    // leaves it out; a record selected twice is left to the comparison.
    std::vector<int32_t> position(t.SlotCount(), -1);
    bool inRecordOrder = true;
    int32_t last = -1;
    size_t kept = 0;
    for (size_t i = 0; i < sel.size(); ++i) {
        int32_t slot = t.SlotOf(sel[i]);
        if (slot < 0)
            continue;
        int32_t &p = position[static_cast<size_t>(slot)];
        if (p >= 0)
            return false;
        p = static_cast<int32_t>(i);
        inRecordOrder = inRecordOrder && sel[i] > last;
        last = sel[i];
        ++kept;
    }

    // The selected records in index order, with their positions, and where
    // each run of equal first keys starts among them.
    struct Item {
        int32_t position;
        int32_t record;
    };
    const bool forward = first.ascending;
    const bool moreKeys = req.keys.size() > 1;
    const bool runs = moreKeys || !inRecordOrder || !forward;
    std::vector<Item> out;
    out.reserve(kept);
    std::vector<size_t> starts;
    bool fresh = true; // the next selected record starts a run
    index->Walk(forward, [&](int32_t r, bool tied) {
        if (forward && !tied)
            fresh = true;
        int32_t slot = t.SlotOf(r);
        int32_t p = slot >= 0 ? position[static_cast<size_t>(slot)] : -1;
        if (p >= 0) {
            if (fresh && runs)
                starts.push_back(out.size());
            fresh = false;
            out.push_back({p, r});
        }
        if (!forward && !tied) // backwards, the first of a run comes last
            fresh = true;
    });

    // Within a run of equal first keys: by the other keys, then by position
    // in the selection. A backward walk met the run's records from the
    // highest record number down: in a selection in record-number order,
    // reversing the run puts it in selection order.
    starts.push_back(out.size());
    for (size_t i = 0; i + 1 < starts.size(); ++i) {
        auto from = out.begin() + static_cast<ptrdiff_t>(starts[i]);
        auto to = out.begin() + static_cast<ptrdiff_t>(starts[i + 1]);
        if (to - from < 2)
            continue;
        if (!moreKeys && inRecordOrder)
            std::reverse(from, to);
        else if (!moreKeys)
            std::sort(from, to,
                      [](const Item &a, const Item &b) { return a.position < b.position; });
        else
            std::sort(from, to, [&](const Item &a, const Item &b) {
                int c = CompareKeys(req.keys, 1, t.Find(a.record), t.Find(b.record));
                return c != 0 ? c < 0 : a.position < b.position;
            });
    }
    sel.resize(out.size());
    for (size_t i = 0; i < out.size(); ++i)
        sel[i] = out[i].record;
    return true;
}

} // namespace qxdb
