// The index of one field of a table: its records in key order, kept through
// every Put and Erase of the table (db_table.h).
//
// Order: by the field's value under QxdbCompareValues (the comparison of
// searches and sorts), records of equal values by record number. Every
// committed record is in it, empty values included: they are ordinary values
// of a sort.
//
// Storage: record numbers in chunks of at most kMaxChunk entries, so that a
// walk in key order reads a few hundred kilobytes for 200,000 records and an
// insertion moves the entries of one chunk. Each entry also says whether its
// value equals the value of the entry before it (kept by Insert and Erase),
// so that a sort finds the runs of equal values without comparing values.
// The comparisons that place an entry read the values from the table's rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "qxserver/db/db_value.h"

namespace qxdb {

struct Table;

class FieldIndex {
public:
    explicit FieldIndex(size_t field) : field_(field) {}

    size_t Field() const { return field_; } // 0-based field of the table
    size_t Size() const { return size_; }

    // Indexes every record of `t` anew.
    void Build(const Table &t);
    // Adds `record`, whose row is in `t` already.
    void Insert(const Table &t, int32_t record);
    // Removes `record`, whose row is still in `t`.
    void Erase(const Table &t, int32_t record);

    // A place in the index; At() is false past the last entry.
    struct Cursor {
        size_t chunk = 0;
        size_t at = 0;
    };
    bool At(const Cursor &c) const { return c.chunk < chunks_.size(); }
    int32_t Record(const Cursor &c) const { return RecordOf(chunks_[c.chunk][c.at]); }
    // True when the entry's value equals the one of the entry before it.
    bool Tied(const Cursor &c) const { return TiedOf(chunks_[c.chunk][c.at]); }
    void Next(Cursor &c) const
    {
        if (++c.at == chunks_[c.chunk].size()) {
            ++c.chunk;
            c.at = 0;
        }
    }
    // The first entry whose value is not below `v`.
    Cursor LowerBound(const Table &t, const Value &v) const;

    // Calls fn(record, tied) for every entry in key order, or in its reverse
    // when `forward` is false; `tied` is Tied() of the entry (its value
    // equals the value of the entry before it in key order).
    template <typename Fn>
    void Walk(bool forward, Fn fn) const
    {
        if (forward) {
            for (const auto &chunk : chunks_)
                for (uint32_t e : chunk)
                    fn(RecordOf(e), TiedOf(e));
            return;
        }
        for (auto c = chunks_.rbegin(); c != chunks_.rend(); ++c)
            for (auto e = c->rbegin(); e != c->rend(); ++e)
                fn(RecordOf(*e), TiedOf(*e));
    }

    // Entries per chunk: a new index is cut in chunks of kBuildChunk, a chunk
    // grown past kMaxChunk is split in two.
    static constexpr size_t kBuildChunk = 512;
    static constexpr size_t kMaxChunk = 1024;

private:
    // An entry: the record number shifted left by one, the low bit Tied.
    static int32_t RecordOf(uint32_t e) { return static_cast<int32_t>(e >> 1); }
    static bool TiedOf(uint32_t e) { return (e & 1) != 0; }
    static uint32_t Entry(int32_t record, bool tied)
    {
        return (static_cast<uint32_t>(record) << 1) | (tied ? 1u : 0u);
    }

    const Value &Key(const Table &t, int32_t record) const;
    // Orders `record` (with its value) against the entry `e`: (value, record).
    int Compare(const Table &t, uint32_t e, const Value &v, int32_t record) const;
    // The first chunk whose last entry is not below (v, record); the last
    // chunk when every entry is below.
    size_t ChunkFor(const Table &t, const Value &v, int32_t record) const;

    size_t field_;
    size_t size_ = 0;
    std::vector<std::vector<uint32_t>> chunks_; // never an empty chunk
};

} // namespace qxdb
