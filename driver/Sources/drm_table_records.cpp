// Record identity of the table cursor: which record a row is, and where that
// record is in the server's selection now.
//
// The server drops a deleted record from every selection that holds it: the
// deleting connection's current and named selections, and those of every
// other connection that sees the deletion. The cursor knows the rows it
// deleted itself; records deleted by another cursor or connection move every
// later record of its selection (and of its bookmarks' copies) down by one,
// unseen. So where a position must hold a given record, the cursor asks the
// server for the record numbers there (a selection array of field 0) and
// compares:
// - reading on past its window, it looks for the last row it read and goes
//   on with the record after it;
// - a bookmark keeps the record number, and returning to it looks the
//   record up at or below the position it had;
// - a change or deletion goes to the position of its record and checks,
//   once the record is the server's current one (and locked), that it is
//   the right one.
// The record numbers of a full window come with its values; reading on, the
// window's request starts one row early, with the last row read, whose
// record number tells whether it is still where it was (a server that sends
// record numbers only alone gets a request of numbers beside each window,
// which also holds the last row read's). Those of the
// selection's last window are taken when they are first needed: as selections
// never gain records, getting fewer than the window holds is the only way
// records can have gone since, and then the cursor cannot tell its rows
// apart and reports a conflict. A selection that had one record at most
// needs none of this: its first position holds that record or nothing.
#include <algorithm>
#include <cstring>

#include "driver/Sources/drm.h"
#include "driver/Sources/drm_catalog.h"
#include "driver/Sources/drm_database.h"
#include "driver/Sources/drm_table.h"
#include "platform/byteorder.h"

namespace {

// The last row before `row` that the cursor did not delete, -1 none.
// `deleted` is sorted; the rows right before `row` may all be in it: they are
// the last entries e with deleted[e] - e == row - n, n the entries below row
// (deleted[e] - e never falls as e grows), found by halving.
int32_t LastRowKept(const std::vector<int32_t> &deleted, int32_t row)
{
    const auto n = static_cast<int32_t>(std::lower_bound(deleted.begin(), deleted.end(), row) -
                                        deleted.begin());
    int32_t lo = 0, hi = n; // the run starts in [lo, hi]
    while (lo < hi) {
        int32_t mid = lo + (hi - lo) / 2;
        if (deleted[static_cast<size_t>(mid)] - mid < row - n)
            lo = mid + 1;
        else
            hi = mid;
    }
    return row - 1 - (n - lo);
}

} // namespace

void VDRMTable::ForgetWindow()
{
    windowRows_.clear();
    windowRecords_.clear();
    windowPosition_ = 0;
    anchorRow_ = -1;
    anchorRecord_ = kDrmNoRecord;
    externalShift_ = 0;
}

int32_t VDRMTable::LoadRecordNumbers(int32_t first, int32_t last, std::vector<int32_t> *out)
{
    out->clear();
    if (first < 0)
        first = 0;
    if (last < first)
        return 0;
    QXFieldPair numbers{tableNumber, 0};
    QXArrayDescription description{1, tableNumber, &numbers};
    std::vector<uint8_t> &bytes = numberBytes_;
    int32_t status = DrmQxSubSelectionToArray(Connection(), &description, first, last, &bytes);
    if (status != 0)
        return status;
    if (bytes.size() < 4)
        return kDrmErrBadReply;
    const uint32_t n = PlatGetHost32(bytes.data());
    if (n > static_cast<uint32_t>(last - first) + 1 || bytes.size() != 4 + size_t{n} * 4)
        return kDrmErrBadReply;
    out->resize(n);
    for (uint32_t k = 0; k < n; ++k)
        (*out)[k] = static_cast<int32_t>(PlatGetHost32(bytes.data() + 4 + 4 * size_t{k}));
    return 0;
}

int32_t VDRMTable::RowPosition(int32_t row) const
{
    auto at = std::lower_bound(windowRows_.begin(), windowRows_.end(), row);
    if (at == windowRows_.end() || *at != row)
        return row - ShiftBefore(row) - externalShift_;
    // Its place at the load, less the rows of the window deleted since.
    int32_t gone = 0;
    if (!deletedRows_.empty() && deletedRows_.back() >= windowRows_.front())
        for (auto r = windowRows_.begin(); r != at; ++r)
            gone += std::binary_search(deletedRows_.begin(), deletedRows_.end(), *r) ? 1 : 0;
    return windowPosition_ + static_cast<int32_t>(at - windowRows_.begin()) - gone;
}

// The window's rows that the cursor did not delete since lie one after the
// other from the window's first position.
int32_t VDRMTable::LoadWindowRecords()
{
    std::vector<int32_t> kept;
    kept.reserve(windowRows_.size());
    for (int32_t r : windowRows_)
        if (!std::binary_search(deletedRows_.begin(), deletedRows_.end(), r))
            kept.push_back(r);
    std::vector<int32_t> numbers;
    int32_t status = ClaimSelection();
    if (status == 0 && !kept.empty())
        status = LoadRecordNumbers(
            windowPosition_, windowPosition_ + static_cast<int32_t>(kept.size()) - 1, &numbers);
    if (status != 0)
        return status;
    if (numbers.size() != kept.size())
        return kDrmErrConflict; // records went since the window was read
    windowRecords_.assign(windowRows_.size(), kDrmNoRecord);
    auto next = numbers.begin();
    for (size_t k = 0; k < windowRows_.size(); ++k)
        if (std::binary_search(kept.begin(), kept.end(), windowRows_[k]))
            windowRecords_[k] = *next++;
    return 0;
}

int32_t VDRMTable::RecordOfRow(int32_t row, int32_t *record)
{
    *record = kDrmNoRecord;
    auto at = std::lower_bound(windowRows_.begin(), windowRows_.end(), row);
    if (at == windowRows_.end() || *at != row)
        return -1;
    const auto k = static_cast<size_t>(at - windowRows_.begin());
    if (windowRecords_.empty() || windowRecords_[k] == kDrmNoRecord) {
        int32_t status = LoadWindowRecords();
        if (status != 0)
            return status;
    }
    *record = windowRecords_[k];
    return *record == kDrmNoRecord ? kDrmErrNoCurrentRecord : 0;
}

int32_t VDRMTable::FindRecord(const int32_t *records, size_t count, int32_t high, int32_t floor,
                              size_t *which, int32_t *position, bool window)
{
    std::vector<int32_t> &numbers = numbers_;
    int32_t from = 0;
    auto lookIn = [&](int32_t first, int32_t last, bool *found) {
        *found = false;
        from = first = std::max(first, 0);
        int32_t status = LoadRecordNumbers(first, last, &numbers);
        for (size_t k = 0; status == 0 && k < count && !*found; ++k) {
            auto at = std::find(numbers.rbegin(), numbers.rend(), records[k]);
            if (at != numbers.rend()) {
                *found = true;
                *which = k;
                *position = first + static_cast<int32_t>(numbers.rend() - at) - 1;
            }
        }
        return status;
    };
    nextRecords_.clear();
    if (high < 0 || count == 0)
        return kDrmErrNoCurrentRecord;
    // Mostly nothing, or a few records, went before it; the record numbers
    // of a window from it come with the same request.
    bool found = false;
    int32_t status =
        lookIn(high - (kDrmWindowSize - 1), high + (window ? kDrmWindowSize - 1 : 0), &found);
    if (status == 0 && found && window) {
        auto at = numbers.begin() + (*position - from);
        nextRecords_.assign(at, std::min(numbers.end(), at + kDrmWindowSize));
    }
    if (status != 0 || found || high < kDrmWindowSize)
        return status != 0 ? status : found ? 0 : kDrmErrNoCurrentRecord;
    // Further down: no record is lower than its row's place less every
    // record others deleted from the selection (what the server lacks of
    // the count the cursor expects).
    int32_t held = 0;
    status = DrmQxRecordsInSelection(Connection(), tableNumber, &held);
    if (status != 0)
        return status;
    const int32_t others = std::max(0, rowCount - static_cast<int32_t>(deletedRows_.size()) - held);
    if (floor - others <= high - kDrmWindowSize)
        status = lookIn(floor - others, high - kDrmWindowSize, &found);
    return status != 0 ? status : found ? 0 : kDrmErrNoCurrentRecord;
}

int32_t VDRMTable::LoadWindow(int32_t row, int32_t position, int32_t record,
                              const std::vector<int32_t> *records, const int32_t *lead)
{
    recordRow_ = -1;
    const bool held = cache.oHolds(row + 1);
    if (!held) {
        int32_t status = ClaimSelection();
        if (status != 0)
            return status;
        // The last row read before this window, for reading on after a
        // bookmark return or a new column list.
        for (size_t k = windowRows_.size(); k-- > 0 && !windowRecords_.empty();) {
            const int32_t r = windowRows_[k];
            if (r <= currentRow && windowRecords_[k] != kDrmNoRecord &&
                !std::binary_search(deletedRows_.begin(), deletedRows_.end(), r)) {
                anchorRow_ = r;
                anchorRecord_ = windowRecords_[k];
                break;
            }
        }
        windowRows_.clear();
        windowRecords_.clear();
    }
    std::vector<int32_t> gaps;
    for (auto it = std::upper_bound(deletedRows_.begin(), deletedRows_.end(), row);
         it != deletedRows_.end(); ++it)
        gaps.push_back(*it + 1);
    int32_t result = cache.oGoto(row + 1, row - position, gaps, Connection(), lead);
    if (result != 0)
        return result;
    recordRow_ = row;
    if (held)
        return 0;
    // The rows of the new window: from this one on, less the gaps.
    const int32_t n = cache.oWindowCount();
    windowPosition_ = position;
    windowRows_.reserve(static_cast<size_t>(n));
    auto gap = gaps.begin();
    for (int32_t r = row; static_cast<int32_t>(windowRows_.size()) < n; ++r) {
        if (gap != gaps.end() && *gap == r + 1) {
            ++gap;
            continue;
        }
        windowRows_.push_back(r);
    }
    if (records && static_cast<int32_t>(records->size()) == n) {
        windowRecords_.assign(records->begin(), records->end());
    } else if (rowCount > 1 && n == kDrmWindowSize) {
        // The record numbers of a full window come with it: later, records
        // gone before it could not be told from it. Those of the selection's
        // last window are read when asked for: fewer of them than the window
        // holds tell that records went.
        result = cache.oWindowNumbers(&windowRecords_) ? 0 : LoadWindowRecords();
        if (result != 0) {
            cache.oReset();
            recordRow_ = -1;
            windowRows_.clear();
            return result;
        }
    } else if (record != kDrmNoRecord) {
        windowRecords_.assign(static_cast<size_t>(n), kDrmNoRecord);
        windowRecords_[0] = record;
    }
    return 0;
}

int32_t VDRMTable::MoveCache(int32_t row)
{
    // Within the window (the path of nearly every row): the row becomes
    // current there, as LoadWindow would make it, without its bookkeeping.
    if (cache.oSelect(row + 1)) {
        recordRow_ = row;
        return 0;
    }
    const int32_t prev = LastRowKept(deletedRows_, row);
    if (prev < 0)
        return LoadWindow(row, 0); // every row before it is gone
    // The rows read before this one, the last first, with their records;
    // `every` while they are all the rows before it that are left.
    std::vector<int32_t> records;
    int32_t high = -1, oldest = prev;
    bool every = !windowRecords_.empty() && !windowRows_.empty() &&
                 LastRowKept(deletedRows_, windowRows_.front()) < 0;
    for (size_t k = windowRows_.size(); k-- > 0 && !windowRecords_.empty();) {
        const int32_t r = windowRows_[k];
        if (r > prev || std::binary_search(deletedRows_.begin(), deletedRows_.end(), r))
            continue;
        if (windowRecords_[k] == kDrmNoRecord || (records.empty() && r != prev)) {
            every = false;
            break; // a row not known, or the row before is not in the window
        }
        if (records.empty())
            high = RowPosition(r);
        records.push_back(windowRecords_[k]);
        oldest = r;
    }
    if (records.empty() && anchorRow_ == prev && anchorRecord_ != kDrmNoRecord) {
        records.push_back(anchorRecord_);
        high = prev - ShiftBefore(prev) - externalShift_;
    }
    const int32_t expected = row - ShiftBefore(row) - externalShift_;
    if (records.empty())
        return LoadWindow(row, expected); // nothing to go by
    if (anchorRow_ >= 0 && anchorRow_ < oldest && anchorRecord_ != kDrmNoRecord) {
        records.push_back(anchorRecord_);
        oldest = anchorRow_;
    }
    int32_t status = ClaimSelection();
    if (status != 0)
        return status;
    // Reading on from the window's last row: a plain walk forward.
    const bool onward = !windowRows_.empty() && windowRows_.back() == prev;
    // Mostly the row before is where it was: it comes first in the request
    // of the new window, which is kept when its record number is the one read.
    status = LoadWindow(row, high + 1, kDrmNoRecord, nullptr, &records.front());
    if (status == 0) {
        externalShift_ += expected - (high + 1);
        // The next window's request goes out now, while this one is read,
        // unless this one holds the selection's last rows.
        if (onward && !windowRows_.empty()) {
            const int32_t next = windowRows_.back() + 1;
            if (rowCount - next > ShiftBefore(rowCount) - ShiftBefore(next))
                cache.oSendAhead(Connection());
        }
        return 0;
    }
    if (status == kDrmNumbersRefused) {
        // The row before and the new window's record numbers in one request.
        std::vector<int32_t> &ahead = nextRecords_;
        status = LoadRecordNumbers(high, high + kDrmWindowSize, &ahead);
        if (status != 0)
            return status;
        if (!ahead.empty() && ahead.front() == records.front()) {
            ahead.erase(ahead.begin());
            externalShift_ += expected - (high + 1);
            return LoadWindow(row, high + 1, kDrmNoRecord, &ahead);
        }
    } else if (status != kDrmLeadMoved) {
        return status;
    }
    // Records before it went: go on after the last row read that is left.
    size_t which = 0;
    int32_t found = 0;
    status = FindRecord(records.data(), records.size(), high - 1, oldest - ShiftBefore(oldest),
                        &which, &found);
    if (status == kDrmErrNoCurrentRecord && every) {
        found = -1; // all went: this row is the first left
        status = 0;
    }
    if (status == kDrmErrNoCurrentRecord)
        return kDrmErrConflict; // no row read is left to tell where to go on
    if (status != 0)
        return status;
    externalShift_ += expected - (found + 1);
    return LoadWindow(row, found + 1);
}
