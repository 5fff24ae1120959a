// Record cache and column reads of the table cursor.
//
// A window of up to 100 records comes with one _QX_SubSelectionToArray
// request. When it arrives, one pass over the array records where every
// value of every record starts, checking each value's extent against the
// bytes received; a column read then finds its value by the field's place in
// the list (a table by field number) and the record's index, tests it for
// NULL and converts it from the array straight into the engine's buffer,
// without walking the array again or copying the value into a slot first.
//
// The request asks for field 0, the record number, before the listed fields,
// so that the cursor learns which records the window holds with no request
// of its own (see drm_table_records.cpp); reading on, it asks for the record
// before the window too, to check in the same request that it is the last
// one read. A server that refuses field 0 beside other fields gets the
// fields alone from then on, and the cursor asks for the numbers apart.
#include <algorithm>
#include <cstring>

#include "driver/Sources/drm.h"
#include "driver/Sources/drm_catalog.h"
#include "driver/Sources/drm_database.h"
#include "driver/Sources/drm_session.h"
#include "driver/Sources/drm_table.h"
#include "driver/Sources/drm_trace.h"
#include "driver/Sources/drm_values.h"
#include "platform/byteorder.h"

namespace {

// The server's answer to a request form it does not take.
constexpr int32_t kServerRefusedRequest = -9950;

// Bytes of the value at p (with `left` bytes there); 0 when the type has no
// array form or the value runs past the end.
size_t ValueSize(uint8_t type, const uint8_t *p, size_t left)
{
    size_t size = 0;
    switch (type) {
    case QX_TYPE_ALPHA:
        if (left < 1)
            return 0;
        size = 1 + size_t{p[0]};
        break;
    case QX_TYPE_REAL: size = 10; break;
    case QX_TYPE_TEXT:
        if (left < 2)
            return 0;
        size = 2 + size_t{PlatGetHost16(p)};
        break;
    case QX_TYPE_PICTURE:
    case QX_TYPE_BLOB:
        if (left < 4)
            return 0;
        size = 4 + size_t{PlatGetHost32(p)};
        break;
    case QX_TYPE_DATE: size = 6; break;
    case QX_TYPE_BOOLEAN:
    case 7:
    case QX_TYPE_INTEGER: size = 2; break;
    case QX_TYPE_LONGINT:
    case QX_TYPE_TIME: size = 4; break;
    default: return 0;
    }
    return size <= left ? size : 0;
}

} // namespace

bool DrmIsNullValue(const QXValue *value)
{
    switch (value->type) {
    case QX_TYPE_ALPHA: return value->alpha[0] == 0;
    case QX_TYPE_TEXT:
    case QX_TYPE_PICTURE: return value->length == 0;
    case QX_TYPE_DATE: return value->date[0] == 0 && value->date[1] == 0 && value->date[2] == 0;
    default: return false;
    }
}

// ---- Field block ----------------------------------------------------------

int32_t DrmFieldBlock::oLoad(std::vector<uint8_t> bytes, const std::vector<uint8_t> &types,
                             int32_t maxRecords)
{
    bytes_ = std::move(bytes);
    types_ = types;
    offsets_.clear();
    ends_.clear();
    count_ = 0;
    if (bytes_.size() < 4)
        return kDrmErrBadReply;
    uint32_t announced = PlatGetHost32(bytes_.data());
    uint32_t n = std::min<uint32_t>(announced, static_cast<uint32_t>(std::max(0, maxRecords)));
    const size_t fields = types_.size();
    offsets_.reserve(size_t{n} * fields);
    size_t at = 4;
    for (uint32_t r = 0; r < n; ++r) {
        for (size_t k = 0; k < fields; ++k) {
            size_t size = ValueSize(types_[k], bytes_.data() + at, bytes_.size() - at);
            if (size == 0)
                return kDrmErrBadReply;
            offsets_.push_back(static_cast<uint32_t>(at));
            at += size;
        }
        ends_.push_back(static_cast<uint32_t>(at));
    }
    count_ = static_cast<int32_t>(n);
    return 0;
}

bool DrmFieldBlock::oSameRecord(int32_t r, const DrmFieldBlock &other, int32_t q) const
{
    if (r < 0 || r >= count_ || q < 0 || q >= other.count_ || types_ != other.types_)
        return false;
    auto start = [](const DrmFieldBlock &b, int32_t i) {
        return i == 0 ? 4u : b.ends_[static_cast<size_t>(i) - 1];
    };
    uint32_t a = start(*this, r), n = ends_[static_cast<size_t>(r)] - a;
    uint32_t b = start(other, q), m = other.ends_[static_cast<size_t>(q)] - b;
    return n == m && std::memcmp(bytes_.data() + a, other.bytes_.data() + b, n) == 0;
}

int32_t DrmFieldBlock::oGetField(int32_t r, int32_t k, QXValue *slot) const
{
    const int32_t fields = static_cast<int32_t>(types_.size());
    if (r < 0 || r >= count_ || k < 0 || k >= fields)
        return -1;
    const uint8_t *p = bytes_.data() + offsets_[static_cast<size_t>(r) * fields + k];
    const uint8_t type = types_[static_cast<size_t>(k)];
    // Only the members of the type are written (and read by every reader of
    // a value): clearing the whole slot for each value read cost more than
    // the rest of the copy.
    slot->type = type;
    switch (type) {
    case QX_TYPE_ALPHA: {
        uint8_t n = std::min<uint8_t>(p[0], sizeof slot->alpha - 1);
        slot->alpha[0] = n;
        std::memcpy(slot->alpha + 1, p + 1, n);
        break;
    }
    case QX_TYPE_REAL: std::memcpy(&slot->real, p, 8); break;
    case QX_TYPE_TEXT:
    case QX_TYPE_PICTURE:
    case QX_TYPE_BLOB: {
        uint32_t n = type == QX_TYPE_TEXT ? PlatGetHost16(p) : PlatGetHost32(p);
        const uint8_t *data = p + (type == QX_TYPE_TEXT ? 2 : 4);
        slot->length = static_cast<int32_t>(n);
        slot->data = nullptr;
        if (n > 0) {
            DrmServerApi &api = DrmQxApi();
            QXHandle h = api.AllocHandle(static_cast<int32_t>(n));
            auto *dest = h ? static_cast<uint8_t *>(api.LockHandle(h)) : nullptr;
            if (!dest) {
                if (h)
                    api.FreeHandle(h);
                return -1;
            }
            std::memcpy(dest, data, n);
            api.UnlockHandle(h);
            slot->data = h;
        }
        break;
    }
    case QX_TYPE_DATE:
        for (int i = 0; i < 3; ++i)
            slot->date[i] = static_cast<int16_t>(PlatGetHost16(p + 2 * i));
        break;
    case QX_TYPE_BOOLEAN:
    case 7:
    case QX_TYPE_INTEGER: slot->shortValue = static_cast<int16_t>(PlatGetHost16(p)); break;
    case QX_TYPE_LONGINT:
    case QX_TYPE_TIME: slot->longValue = static_cast<int32_t>(PlatGetHost32(p)); break;
    default: return -1;
    }
    return 0;
}

int32_t DrmFieldBlock::oValueToC(int32_t r, int32_t k, uint32_t codePage, void *buffer,
                                 uint32_t length, uint32_t *outLength, DRM_RETINFO *state) const
{
    const int32_t fields = static_cast<int32_t>(types_.size());
    if (r < 0 || r >= count_ || k < 0 || k >= fields)
        return -1;
    const uint8_t *p = bytes_.data() + offsets_[static_cast<size_t>(r) * fields + k];
    return DrmFieldBytesToC(types_[static_cast<size_t>(k)], p, codePage, buffer, length, outLength,
                            state);
}

bool DrmFieldBlock::oLongBytes(int32_t r, int32_t k, uint8_t *type, const uint8_t **data,
                               uint32_t *length) const
{
    const int32_t fields = static_cast<int32_t>(types_.size());
    if (r < 0 || r >= count_ || k < 0 || k >= fields)
        return false;
    const uint8_t t = types_[static_cast<size_t>(k)];
    if (t != QX_TYPE_TEXT && t != QX_TYPE_PICTURE)
        return false;
    const uint8_t *p = bytes_.data() + offsets_[static_cast<size_t>(r) * fields + k];
    *type = t;
    *length = t == QX_TYPE_TEXT ? PlatGetHost16(p) : PlatGetHost32(p);
    *data = p + (t == QX_TYPE_TEXT ? 2 : 4);
    return true;
}

// ---- Record cache ---------------------------------------------------------

VDRMRecordCache::~VDRMRecordCache() { DropAhead(); }

void VDRMRecordCache::oSetSelection(int16_t table, std::vector<int16_t> fields,
                                    std::vector<uint8_t> types)
{
    aheadOff_ = false;
    table_ = table;
    fields_ = std::move(fields);
    types_ = std::move(types);
    placeOf_.clear();
    for (size_t k = 0; k < fields_.size(); ++k) {
        const int16_t f = fields_[k];
        if (f < 0)
            continue;
        if (placeOf_.size() <= static_cast<size_t>(f))
            placeOf_.resize(static_cast<size_t>(f) + 1, -1);
        if (placeOf_[static_cast<size_t>(f)] < 0) // a field listed twice reads its first place
            placeOf_[static_cast<size_t>(f)] = static_cast<int16_t>(k);
    }
    BuildPairs();
    oSetBlockSize(kDrmWindowSize);
}

void VDRMRecordCache::BuildPairs()
{
    pairs_.clear();
    blockTypes_.clear();
    firstField_ = numbered_ ? 1 : 0;
    if (numbered_) {
        pairs_.push_back(QXFieldPair{table_, 0});
        blockTypes_.push_back(QX_TYPE_LONGINT);
    }
    for (int16_t f : fields_)
        pairs_.push_back(QXFieldPair{table_, f});
    blockTypes_.insert(blockTypes_.end(), types_.begin(), types_.end());
}

bool VDRMRecordCache::oWindowNumbers(std::vector<int32_t> *out) const
{
    out->clear();
    if (!block_ || firstField_ == 0)
        return false;
    out->reserve(static_cast<size_t>(windowCount_));
    for (int32_t i = 0; i < windowCount_; ++i) {
        QXValue slot;
        if (block_->oGetField(i + lead_, 0, &slot) != 0)
            return false;
        out->push_back(slot.longValue);
    }
    return true;
}

void VDRMRecordCache::oSetBlockSize(int32_t n)
{
    blockSize_ = n < 1 ? 1 : n;
    oReset();
}

void VDRMRecordCache::oReset()
{
    DropAhead();
    ClearWindow();
}

void VDRMRecordCache::ClearWindow()
{
    windowFirst_ = current_ = windowCount_ = lead_ = serverFirst_ = 0;
    gaps_.clear();
    block_.reset();
    fresh_.reset();
    freshIndex_ = -1;
}

int32_t VDRMRecordCache::IndexOf(int32_t n) const
{
    return n - windowFirst_ -
           static_cast<int32_t>(std::lower_bound(gaps_.begin(), gaps_.end(), n) - gaps_.begin());
}

bool VDRMRecordCache::oHolds(int32_t n) const
{
    if (gaps_.empty()) // no row of the window is gone: rows are window positions
        return windowCount_ > 0 && n >= windowFirst_ && n - windowFirst_ < windowCount_;
    return windowCount_ > 0 && n >= windowFirst_ &&
           !std::binary_search(gaps_.begin(), gaps_.end(), n) && IndexOf(n) < windowCount_;
}

bool VDRMRecordCache::oSelect(int32_t n)
{
    if (!oHolds(n))
        return false;
    current_ = IndexOf(n);
    return true;
}

int32_t VDRMRecordCache::oGoto(int32_t n, int32_t shift, std::vector<int32_t> gaps,
                               DrmQxConnection connection, const int32_t *lead)
{
    if (oHolds(n)) {
        current_ = IndexOf(n);
        return 0;
    }
    ClearWindow(); // a window request sent ahead stays for TakeAhead
    if (fields_.empty()) {
        DropAhead();
        return -1;
    }
    const int32_t first = n - 1 - shift;
    if (lead && (!numbered_ || first < 1)) {
        DropAhead();
        return numbered_ ? kDrmLeadMoved : kDrmNumbersRefused;
    }
    const int32_t leading = lead ? 1 : 0;
    std::vector<uint8_t> bytes;
    int32_t status = 0;
    for (;;) {
        QXArrayDescription description{static_cast<int16_t>(pairs_.size()), table_, pairs_.data()};
        const int32_t from = first - leading, to = first + blockSize_ - 1;
        if (!TakeAhead(connection, from, to, &status, &bytes))
            status = DrmQxSubSelectionToArray(connection, &description, from, to, &bytes);
        if (status != kServerRefusedRequest || !numbered_)
            break;
        numbered_ = false; // a server that sends record numbers only alone
        BuildPairs();
        if (lead)
            return kDrmNumbersRefused;
    }
    if (status != 0)
        return status;
    auto block = std::make_unique<DrmFieldBlock>();
    status = block->oLoad(std::move(bytes), blockTypes_, blockSize_ + leading);
    if (status != 0)
        return status;
    if (lead) {
        QXValue number;
        if (block->oRecordCount() == 0 || block->oGetField(0, 0, &number) != 0 ||
            number.longValue != *lead)
            return kDrmLeadMoved;
    }
    if (block->oRecordCount() == leading)
        return -9963;
    windowCount_ = block->oRecordCount() - leading;
    lead_ = leading;
    block_ = std::move(block);
    windowFirst_ = n;
    serverFirst_ = first;
    current_ = 0;
    gaps_ = std::move(gaps);
    return 0;
}

void VDRMRecordCache::oSendAhead(DrmQxConnection connection)
{
    DropAhead();
    if (aheadOff_ || !numbered_ || !block_ || fields_.empty() || windowCount_ != blockSize_)
        return;
    // As reading on asks for it: the window's last record, then the next window.
    const int32_t first = serverFirst_ + windowCount_ - 1;
    const int32_t last = first + blockSize_;
    QXArrayDescription description{static_cast<int16_t>(pairs_.size()), table_, pairs_.data()};
    ahead_ = DrmQxSendSubSelectionToArray(connection, &description, first, last);
    aheadConnection_ = connection;
    aheadFirst_ = first;
    aheadLast_ = last;
}

void VDRMRecordCache::DropAhead()
{
    if (ahead_ != 0)
        DrmQxDropSubSelectionToArray(aheadConnection_, ahead_);
    ahead_ = 0;
}

bool VDRMRecordCache::TakeAhead(DrmQxConnection connection, int32_t first, int32_t last,
                                int32_t *status, std::vector<uint8_t> *bytes)
{
    if (ahead_ == 0)
        return false;
    if (connection != aheadConnection_ || first != aheadFirst_ || last != aheadLast_) {
        DropAhead(); // not the window read on to
        return false;
    }
    const DrmQxTicket ticket = ahead_;
    ahead_ = 0;
    switch (DrmQxTakeSubSelectionToArray(connection, ticket, status, bytes)) {
    case DrmQxTake::kTaken: return true;
    case DrmQxTake::kLost: aheadOff_ = true; return false;
    case DrmQxTake::kAskAgain: return false;
    }
    return false;
}

bool VDRMRecordCache::oListed(int16_t field) const
{
    return std::find(fields_.begin(), fields_.end(), field) != fields_.end();
}

int32_t VDRMRecordCache::oFieldIndex(int16_t field) const
{
    if (!block_ || field < 0 || static_cast<size_t>(field) >= placeOf_.size())
        return -1;
    return placeOf_[static_cast<size_t>(field)];
}

const DrmFieldBlock *VDRMRecordCache::BlockOf(int32_t *r) const
{
    if (fresh_ && current_ == freshIndex_) {
        *r = 0;
        return fresh_.get();
    }
    *r = current_ + lead_;
    return block_.get();
}

int32_t VDRMRecordCache::oValueToC(int32_t k, uint32_t codePage, void *buffer, uint32_t length,
                                   uint32_t *outLength, DRM_RETINFO *state) const
{
    int32_t r = 0;
    const DrmFieldBlock *block = BlockOf(&r);
    return block ? block->oValueToC(r, k + firstField_, codePage, buffer, length, outLength, state)
                 : -1;
}

void VDRMRecordCache::oFieldsToC(DrmColumnRead *reads, uint32_t count, uint32_t codePage,
                                 int32_t alone) const
{
    // The record is found once for the row, each value by its place.
    int32_t r = 0;
    const DrmFieldBlock *block = block_ ? BlockOf(&r) : nullptr;
    for (uint32_t i = 0; i < count; ++i) {
        DrmColumnRead &read = reads[i];
        const int32_t k = block && read.column < placeOf_.size() ? placeOf_[read.column] : -1;
        if (k < 0) {
            read.result = alone;
            continue;
        }
        uint32_t got = 0;
        read.result = block->oValueToC(r, k + firstField_, codePage, read.buffer, read.bufferLength,
                                       &got, nullptr);
        read.outLength = got;
    }
}

int32_t VDRMRecordCache::oRefreshCurrent(int32_t position, DrmQxConnection connection,
                                         bool *changed)
{
    if (!block_ || fields_.empty())
        return 0; // no values held: nothing read before to replace
    QXArrayDescription description{static_cast<int16_t>(pairs_.size()), table_, pairs_.data()};
    std::vector<uint8_t> bytes;
    int32_t status = DrmQxSubSelectionToArray(connection, &description, position, position, &bytes);
    if (status != 0)
        return status;
    auto block = std::make_unique<DrmFieldBlock>();
    status = block->oLoad(std::move(bytes), blockTypes_, 1);
    if (status != 0)
        return status;
    if (block->oRecordCount() != 1)
        return -9963;
    if (changed) {
        int32_t r = 0;
        const DrmFieldBlock *held = BlockOf(&r);
        *changed = !held || !held->oSameRecord(r, *block, 0);
    }
    fresh_ = std::move(block);
    freshIndex_ = current_;
    return 0;
}

// ---- Column lists and reads of the table cursor --------------------------------

namespace {

#ifdef NDEBUG
bool gStrictRetrieve = false;
#else
bool gStrictRetrieve = true;
#endif

} // namespace

void DrmSetStrictRetrieve(bool strict) { gStrictRetrieve = strict; }
bool DrmStrictRetrieve() { return gStrictRetrieve; }

// A field of the table that the installed list leaves out, read on a held
// record (see DrmSetStrictRetrieve).
int32_t VDRMTable::ReadUnlisted(uint32_t column)
{
    DrmTracePrintf(true, "UNLISTED COLUMN: %u of table %d%s\n", column, tableNumber,
                   gStrictRetrieve ? "" : ", every field read from now on");
    if (gStrictRetrieve)
        return -1;
    const int32_t row = recordRow_;
    oRetrieveAllFields();
    return MoveCache(row);
}

int32_t VDRMTable::oSetRetrieveColumns(const uint32_t *entries, uint32_t count)
{
    std::vector<int16_t> fields;
    std::vector<uint8_t> types;
    fields.reserve(count);
    types.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t column = entries[2 * i + 1];
        uint8_t type = column <= 0x7FFF ? FieldType(static_cast<int32_t>(column)) : 0xFF;
        if (type == 0xFF)
            continue; // not a field of the table: reading it answers -1
        fields.push_back(static_cast<int16_t>(column));
        types.push_back(type);
    }
    cache.oSetSelection(tableNumber, std::move(fields), std::move(types));
    recordRow_ = -1;
    return 0;
}

int32_t VDRMTable::oRetrieveAllFields()
{
    const VDRMFieldDefArray *defs = Fields();
    int32_t n = defs ? defs->oCount() : 0;
    std::vector<int16_t> fields;
    std::vector<uint8_t> types;
    for (int32_t f = 1; f <= n; ++f) {
        fields.push_back(static_cast<int16_t>(f));
        types.push_back(FieldType(f));
    }
    cache.oSetSelection(tableNumber, std::move(fields), std::move(types));
    recordRow_ = -1;
    return 0;
}

void VDRMTable::oRetrieveHeld(DrmColumnRead *reads, uint32_t count)
{
    cache.oFieldsToC(reads, count, CodePage(), kDrmReadAlone);
}

int32_t VDRMTable::oRetrieveColumn(uint32_t column, void *buffer, uint32_t length,
                                   uint32_t *outLength, DRM_RETINFO *state)
{
    if (column > 0x7FFF)
        return -1; // no field has that number (not one cut to 16 bits)
    const auto field = static_cast<int16_t>(column);
    int32_t k = cache.oFieldIndex(field);
    if (k < 0 && recordRow_ >= 0 && !cache.oListed(field) && FieldType(field) != 0xFF) {
        int32_t status = ReadUnlisted(column);
        if (status != 0)
            return status;
        k = cache.oFieldIndex(field);
    }
    if (k < 0)
        return -1;
    // Every value is tested and delivered where the window holds it.
    return cache.oValueToC(k, CodePage(), buffer, length, outLength, state);
}
