// Field indexes in key order (see db_index.h).
#include "qxserver/db/db_index.h"

#include <algorithm>

#include "qxserver/db/db_table.h"

namespace qxdb {

const Value &FieldIndex::Key(const Table &t, int32_t record) const
{
    return t.Find(record)[field_];
}

int FieldIndex::Compare(const Table &t, uint32_t e, const Value &v, int32_t record) const
{
    int32_t r = RecordOf(e);
    if (int c = QxdbCompareValues(Key(t, r), v); c != 0)
        return c;
    return r < record ? -1 : (r > record ? 1 : 0);
}

size_t FieldIndex::ChunkFor(const Table &t, const Value &v, int32_t record) const
{
    size_t lo = 0, hi = chunks_.size() - 1;
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        if (Compare(t, chunks_[mid].back(), v, record) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

void FieldIndex::Build(const Table &t)
{
    chunks_.clear();
    std::vector<std::pair<const Value *, int32_t>> keys;
    keys.reserve(t.Count());
    t.ForEach([&](int32_t r, const Value *row) { keys.emplace_back(row + field_, r); });
    // Stable on records met in record-number order: equal values stay in it.
    std::stable_sort(keys.begin(), keys.end(), [](const auto &a, const auto &b) {
        return QxdbCompareValues(*a.first, *b.first) < 0;
    });
    size_ = keys.size();
    for (size_t i = 0; i < keys.size(); ++i) {
        if (i % kBuildChunk == 0) {
            chunks_.emplace_back();
            chunks_.back().reserve(std::min(kBuildChunk, keys.size() - i));
        }
        bool tied = i > 0 && QxdbCompareValues(*keys[i - 1].first, *keys[i].first) == 0;
        chunks_.back().push_back(Entry(keys[i].second, tied));
    }
}

void FieldIndex::Insert(const Table &t, int32_t record)
{
    const Value &v = Key(t, record);
    ++size_;
    if (chunks_.empty()) {
        chunks_.push_back({Entry(record, false)});
        return;
    }
    size_t ci = ChunkFor(t, v, record);
    std::vector<uint32_t> *chunk = &chunks_[ci];
    size_t at = static_cast<size_t>(
        std::partition_point(chunk->begin(), chunk->end(),
                             [&](uint32_t e) { return Compare(t, e, v, record) < 0; }) -
        chunk->begin());
    // The entry before the new one, and the one after it (it may sit in the
    // next chunk): the new entry is tied to the first when their values are
    // equal, the second is tied to the new one when theirs are.
    const uint32_t *before = at > 0   ? &(*chunk)[at - 1]
                             : ci > 0 ? &chunks_[ci - 1].back()
                                      : nullptr;
    bool tied = before != nullptr && QxdbCompareValues(Key(t, RecordOf(*before)), v) == 0;
    uint32_t *after = at < chunk->size()        ? &(*chunk)[at]
                      : ci + 1 < chunks_.size() ? &chunks_[ci + 1].front()
                                                : nullptr;
    if (after != nullptr)
        *after = Entry(RecordOf(*after), QxdbCompareValues(v, Key(t, RecordOf(*after))) == 0);
    chunk->insert(chunk->begin() + static_cast<ptrdiff_t>(at), Entry(record, tied));
    if (chunk->size() > kMaxChunk) {
        std::vector<uint32_t> upper(chunk->begin() + static_cast<ptrdiff_t>(chunk->size() / 2),
                                    chunk->end());
        chunk->resize(chunk->size() / 2);
        chunks_.insert(chunks_.begin() + static_cast<ptrdiff_t>(ci) + 1, std::move(upper));
    }
}

void FieldIndex::Erase(const Table &t, int32_t record)
{
    if (chunks_.empty())
        return;
    const Value &v = Key(t, record);
    size_t ci = ChunkFor(t, v, record);
    std::vector<uint32_t> &chunk = chunks_[ci];
    auto it = std::partition_point(chunk.begin(), chunk.end(),
                                   [&](uint32_t e) { return Compare(t, e, v, record) < 0; });
    if (it == chunk.end() || RecordOf(*it) != record)
        return;
    // The entry after the erased one was tied to it; it stays tied to the
    // entry before only when the erased one was tied to that entry too.
    bool tied = TiedOf(*it);
    size_t at = static_cast<size_t>(it - chunk.begin());
    uint32_t *after = at + 1 < chunk.size()     ? &chunk[at + 1]
                      : ci + 1 < chunks_.size() ? &chunks_[ci + 1].front()
                                                : nullptr;
    if (after != nullptr && !tied)
        *after = Entry(RecordOf(*after), false);
    chunk.erase(it);
    --size_;
    if (chunk.empty())
        chunks_.erase(chunks_.begin() + static_cast<ptrdiff_t>(ci));
}

FieldIndex::Cursor FieldIndex::LowerBound(const Table &t, const Value &v) const
{
    if (chunks_.empty())
        return {};
    // Below every record number: the first entry of value v, or the first
    // one above it.
    size_t ci = ChunkFor(t, v, -1);
    const std::vector<uint32_t> &chunk = chunks_[ci];
    auto it = std::partition_point(chunk.begin(), chunk.end(),
                                   [&](uint32_t e) { return Compare(t, e, v, -1) < 0; });
    Cursor c{ci, static_cast<size_t>(it - chunk.begin())};
    if (c.at == chunk.size()) {
        ++c.chunk;
        c.at = 0;
    }
    return c;
}

} // namespace qxdb
