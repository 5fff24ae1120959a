// Flat record storage and value indexes of a table (see db_table.h).
#include "qxserver/db/db_table.h"

#include <algorithm>

namespace qxdb {
namespace {

void Unindex(Table &t, int32_t record, const Value *values)
{
    for (auto &[k, index] : t.valueIndex) {
        auto [lo, hi] = index.equal_range(values[k]);
        for (auto it = lo; it != hi; ++it)
            if (it->second == record) {
                index.erase(it);
                break;
            }
    }
}

void Index(Table &t, int32_t record, const Value *values)
{
    for (auto &[k, index] : t.valueIndex)
        if (!values[k].IsEmpty())
            index.emplace(values[k], record);
}

} // namespace

int32_t &Table::SlotRef(int32_t record)
{
    size_t page = static_cast<size_t>(record) >> kPageBits;
    if (page >= pages_.size())
        pages_.resize(page + 1);
    if (!pages_[page]) {
        pages_[page] = std::make_unique<int32_t[]>(kPageSize);
        std::fill_n(pages_[page].get(), kPageSize, -1);
    }
    return pages_[page][static_cast<size_t>(record) & kPageMask];
}

void Table::Put(int32_t record, std::vector<Value> values)
{
    if (stride_ == 0)
        stride_ = std::max<size_t>(def.fields.size(), 1);
    values.resize(stride_);
    int32_t &slot = SlotRef(record);
    if (slot >= 0) {
        Unindex(*this, record, &cells_[static_cast<size_t>(slot) * stride_]);
    } else if (!free_.empty()) {
        slot = free_.back();
        free_.pop_back();
        ++count_;
    } else {
        slot = static_cast<int32_t>(cells_.size() / stride_);
        cells_.resize(cells_.size() + stride_);
        ++count_;
    }
    Value *row = &cells_[static_cast<size_t>(slot) * stride_];
    std::move(values.begin(), values.end(), row);
    Index(*this, record, row);
}

void Table::Erase(int32_t record)
{
    if (Find(record) == nullptr)
        return;
    int32_t &slot = SlotRef(record);
    Value *row = &cells_[static_cast<size_t>(slot) * stride_];
    Unindex(*this, record, row);
    std::fill_n(row, stride_, Value()); // gives the values' bytes back now
    free_.push_back(slot);
    slot = -1;
    --count_;
}

void Table::RebuildIndexes()
{
    valueIndex.clear();
    for (size_t k = 0; k < def.fields.size(); ++k)
        if (def.fields[k].unique || def.fields[k].indexed)
            valueIndex[k];
    ForEach([this](int32_t record, const Value *row) { Index(*this, record, row); });
}

} // namespace qxdb
