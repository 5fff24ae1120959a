// Flat record storage of a table, with its field indexes (see db_table.h).
#include "qxserver/db/db_table.h"

#include <algorithm>

namespace qxdb {

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
        for (FieldIndex &x : indexes_)
            x.Erase(*this, record);
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
    for (FieldIndex &x : indexes_)
        x.Insert(*this, record);
}

void Table::Erase(int32_t record)
{
    if (Find(record) == nullptr)
        return;
    for (FieldIndex &x : indexes_)
        x.Erase(*this, record);
    int32_t &slot = SlotRef(record);
    Value *row = &cells_[static_cast<size_t>(slot) * stride_];
    std::fill_n(row, stride_, Value()); // gives the values' bytes back now
    free_.push_back(slot);
    slot = -1;
    --count_;
}

void Table::RebuildIndexes()
{
    indexes_.clear();
    for (size_t k = 0; k < def.fields.size(); ++k)
        if (def.fields[k].unique || def.fields[k].indexed) {
            indexes_.emplace_back(k);
            indexes_.back().Build(*this);
        }
}

} // namespace qxdb
