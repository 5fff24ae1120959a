// A table of the emulator's database: its definition and its committed
// records in flat storage.
//
// Interface: fill `def` first; then Put, Erase and Find records by record
// number in any order (RebuildIndexes after loading records, which makes the
// index of every unique or indexed field). ForEach visits the records in
// record-number order. A row is `def.fields.size()` values side by side; a
// pointer to a row stays valid until the next Put or Erase.
//
// Storage: every record's values live in one contiguous array of slots, one
// slot per record, of `Stride()` values each. A slot freed by Erase goes to a
// free list and the next Put reuses it, so the array does not grow with
// deletions. Record numbers (never given twice, see qxserver/README.md) map to
// slots through a directory of fixed-size pages allocated on first use, so a
// lookup is two array reads and a sparse numbering (a fixture's "#" far ahead)
// costs one page, not an array as long as the number.
//
// Indexes (db_index.h) hold the committed records of a field in key order;
// Put and Erase keep them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "qxserver/db/db_index.h"
#include "qxserver/db/db_value.h"

namespace qxdb {

// Orders two values of one field: -1, 0 or 1 (text by the collation of
// db_text.h, numbers by value, dates by year, month and day).
int QxdbCompareValues(const Value &a, const Value &b);

struct Table {
    Table() = default;
    Table(Table &&) = default;
    Table &operator=(Table &&) = default;

    TableDef def;
    int32_t nextRecord = 0; // number the next new record gets; never reused
    int32_t sequence = 0;   // last number handed out by AutoSequenceNumber

    // The committed row of `record`; nullptr when there is none.
    const Value *Find(int32_t record) const
    {
        int32_t slot = SlotOf(record);
        return slot < 0 ? nullptr : &cells_[static_cast<size_t>(slot) * stride_];
    }
    size_t Count() const { return count_; }

    // The slot of `record` (dense: below SlotCount()), -1 when there is none.
    int32_t SlotOf(int32_t record) const
    {
        size_t page = static_cast<size_t>(record) >> kPageBits;
        if (record < 0 || page >= pages_.size() || !pages_[page])
            return -1;
        return pages_[page][static_cast<size_t>(record) & kPageMask];
    }
    size_t SlotCount() const { return stride_ ? cells_.size() / stride_ : 0; }

    // The index of field `field` (0-based); nullptr when it has none.
    const FieldIndex *IndexOf(size_t field) const
    {
        for (const FieldIndex &x : indexes_)
            if (x.Field() == field)
                return &x;
        return nullptr;
    }
    // Calls fn(record) for every record whose field `field` equals `v`, by
    // record number. False (and no call) when the field has no index.
    template <typename Fn>
    bool ForEachEqual(size_t field, const Value &v, Fn fn) const
    {
        const FieldIndex *x = IndexOf(field);
        if (x == nullptr)
            return false;
        FieldIndex::Cursor c = x->LowerBound(*this, v);
        if (!x->At(c) || QxdbCompareValues(Find(x->Record(c))[field], v) != 0)
            return true;
        do {
            fn(x->Record(c));
            x->Next(c);
        } while (x->At(c) && x->Tied(c));
        return true;
    }

    // Calls fn(record, row) for every committed record, by record number.
    template <typename Fn>
    void ForEach(Fn fn) const
    {
        for (size_t p = 0; p < pages_.size(); ++p) {
            if (!pages_[p])
                continue;
            const int32_t *slots = pages_[p].get();
            for (size_t i = 0; i < kPageSize; ++i)
                if (slots[i] >= 0)
                    fn(static_cast<int32_t>((p << kPageBits) | i),
                       &cells_[static_cast<size_t>(slots[i]) * stride_]);
        }
    }

    // Stores `values` (one per field) as the record's row, replacing the row
    // it had.
    void Put(int32_t record, std::vector<Value> values);
    void Erase(int32_t record);
    void RebuildIndexes();

private:
    static constexpr size_t kPageBits = 12;
    static constexpr size_t kPageSize = size_t(1) << kPageBits;
    static constexpr size_t kPageMask = kPageSize - 1;

    std::vector<FieldIndex> indexes_;               // of the unique and indexed fields
    std::vector<std::unique_ptr<int32_t[]>> pages_; // record number -> slot, -1 none
    std::vector<Value> cells_;                      // slot s holds cells_[s * stride_ ...]
    std::vector<int32_t> free_;                     // slots of erased records
    size_t stride_ = 0; // values per slot (at least 1), fixed by the first Put
    size_t count_ = 0;

    int32_t &SlotRef(int32_t record); // allocates the record's page
};

} // namespace qxdb
