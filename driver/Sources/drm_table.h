// The server-table cursor (VDRMTable) and its record cache.
//
// The server keeps one current selection per table and connection; the
// cursor makes it (select-all, or one flat search built from the engine's
// pushed-down filter, sorted by the index field when one is chosen), reads it
// in windows of 100 records through its record cache, and inserts, changes
// and deletes records. Order of calls from the engine: table information and
// retrieve columns, at most one filter, an index choice, then moves or
// key seeks; changes run InitUpdate, SetColumn..., UpdateRecord.
//
// Several cursors may share a table of one database (one connection): the
// database records which cursor's selection the server currently holds.
// Before a cursor replaces the server's selection, the holder saves its own
// under a private name; a cursor that needs its selection back (to read a
// window, position a change, copy a bookmark) restores it from that name.
//
// Row numbers: the cursor counts rows of its selection as built (0-based).
// Records it deletes leave the server's selection (and its named copies), so
// a row is found on the server at its number less the rows deleted before
// it; moves step over deleted rows, and starting over after a deletion
// builds the selection again. Records deleted by other cursors or other
// connections leave them too, unseen by this cursor: where it must know
// which record a position holds (reading on past a window, a bookmark, a
// change) it compares record numbers, read from the server with the window.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "driver/Sources/drm_cursor.h"
#include "driver/Sources/drm_qx.h"

// Value slot helpers of the record cache.
bool DrmIsNullValue(const QXValue *value);
// The search operator that finds the rows the engine would for a line
// comparing with `value`: the empty text (or one of blanks only) and the date
// 0/0/0 equal only NULL records, so = becomes < (nothing) and >= becomes >.
uint8_t DrmSearchOperatorFor(uint8_t op, const QXValue &value);

// Reader over one window array: the record count word, then the listed
// fields' values packed per record. Every value's extent is checked against
// the bytes received when the block is made.
class DrmFieldBlock : public VObject {
public:
    // 0, or kDrmErrBadReply when the bytes do not hold the records they
    // announce (or a value of a type with no array form).
    int32_t oLoad(std::vector<uint8_t> bytes, const std::vector<uint8_t> &types,
                  int32_t maxRecords);
    int32_t oRecordCount() const { return count_; }
    // Copies value k of record r into the slot: its type and the members of
    // that type, the others left as they were. Text and picture values get
    // a handle of their own (released by the reader). 0 or -1.
    int32_t oGetField(int32_t r, int32_t k, QXValue *slot) const;
    // When value k is a text or picture: true, with its type, bytes (in the
    // block) and length; false for every other type.
    bool oLongBytes(int32_t r, int32_t k, uint8_t *type, const uint8_t **data,
                    uint32_t *length) const;
    // Value k of record r tested for NULL and delivered to the engine where
    // it lies (DrmFieldBytesToC): 1004, 0, 1006, -1 or a conversion code.
    int32_t oValueToC(int32_t r, int32_t k, uint32_t codePage, void *buffer, uint32_t length,
                      uint32_t *outLength, DRM_RETINFO *state) const;
    // Record r holds the same bytes as record q of `other` (same field types).
    bool oSameRecord(int32_t r, const DrmFieldBlock &other, int32_t q) const;

private:
    std::vector<uint8_t> bytes_;
    std::vector<uint32_t> offsets_; // record r, field k at r * n + k
    std::vector<uint32_t> ends_;    // where each record ends
    std::vector<uint8_t> types_;
    int32_t count_ = 0;
};

class VDRMRecordCache : public VObject {
public:
    VDRMRecordCache() = default;
    VDRMRecordCache(const VDRMRecordCache &) = delete;
    VDRMRecordCache &operator=(const VDRMRecordCache &) = delete;
    ~VDRMRecordCache() override;
    // Installs the fields to read (server field numbers and their types);
    // empties the cache.
    void oSetSelection(int16_t table, std::vector<int16_t> fields, std::vector<uint8_t> types);
    void oSetBlockSize(int32_t n);
    void oReset();
    bool oHasFieldList() const { return !fields_.empty(); }
    // Whether the installed field list holds the field (server number).
    bool oListed(int16_t field) const;
    bool oHolds(int32_t n) const;
    // Makes row n (1-based) current when the window holds it: true, else
    // false with nothing changed.
    bool oSelect(int32_t n);
    int32_t oWindowCount() const { return windowCount_; }
    // Makes row `position` (1-based, cursor numbering) current. When the row
    // is not held, a window is loaded from server position position - shift;
    // `gaps` are the later rows (1-based, sorted) already gone from the
    // server, which the window therefore does not hold.
    // 0, -9963 (no record there), -1 (no field list) or a server status.
    // With `lead`, the record before the window comes in the same request and
    // must have that record number: kDrmLeadMoved (nothing loaded) when it
    // has another or is not there, kDrmNumbersRefused when the server does
    // not send record numbers with values.
    int32_t oGoto(int32_t position, int32_t shift, std::vector<int32_t> gaps,
                  DrmQxConnection connection, const int32_t *lead = nullptr);
    // Reading on: sends the request of the window after the one held (from
    // its last record, as reading on asks for it) ahead of its load, when the
    // window is full and its records come numbered; oGoto takes the reply
    // when it asks for just that window on the connection. A request sent
    // ahead that was lost to another request stops reading ahead until the
    // next field list.
    void oSendAhead(DrmQxConnection connection);
    // The record numbers of the window's records, read with their values;
    // false when the server does not send them so.
    bool oWindowNumbers(std::vector<int32_t> *out) const;
    // Place of a field (server number) in the field list, looked up once per
    // column read; -1 when it is not listed or no record is held.
    int32_t oFieldIndex(int16_t field) const;
    // Value k of the field list of the current record, tested for NULL and
    // delivered to the engine where the window holds it
    // (DrmFieldBlock::oValueToC); -1 when nothing is held.
    int32_t oValueToC(int32_t k, uint32_t codePage, void *buffer, uint32_t length,
                      uint32_t *outLength, DRM_RETINFO *state) const;
    // The reads of a row (DrmRetrieveColumns) whose fields the list holds,
    // each as oValueToC without a DRM_RETINFO; the others (and all of them
    // when nothing is held) are left with `alone` as their result.
    void oFieldsToC(DrmColumnRead *reads, uint32_t count, uint32_t codePage, int32_t alone) const;
    // Reads the current record again, from server position `position`
    // (0-based): its values stand for the window's until the cache is reset
    // or loads another window (nothing to do when it holds none). 0, -9963
    // (no record there) or a server status.
    // `changed` (when given) tells whether the values differ from those held.
    int32_t oRefreshCurrent(int32_t position, DrmQxConnection connection, bool *changed = nullptr);

private:
    int16_t table_ = 0;
    std::vector<int16_t> fields_;
    // Place in fields_ of each field number up to the highest listed (-1: not
    // listed), so that a column read finds its value without a search.
    std::vector<int16_t> placeOf_;
    // What a window asks for: with record numbers, field 0 (the record
    // number) first, then the fields.
    std::vector<QXFieldPair> pairs_;
    std::vector<uint8_t> types_;
    std::vector<uint8_t> blockTypes_; // the types of pairs_
    bool numbered_ = true;   // cleared for good when the server refuses field 0 beside fields
    int32_t firstField_ = 0; // place of the first listed field in a record of the block
    int32_t lead_ = 0;       // records of the block before the window's first
    void BuildPairs();
    int32_t blockSize_ = 0;
    int32_t current_ = 0; // index of the current record in the window
    int32_t windowFirst_ = 0;
    int32_t windowCount_ = 0;
    std::vector<int32_t> gaps_;
    int32_t IndexOf(int32_t n) const;
    std::unique_ptr<DrmFieldBlock> block_;
    std::unique_ptr<DrmFieldBlock> fresh_; // the current record read again
    int32_t freshIndex_ = -1;              // its index in the window
    const DrmFieldBlock *BlockOf(int32_t *r) const;
    void ClearWindow();
    int32_t serverFirst_ = 0; // server position of the window's first record
    // The window request sent ahead: its ticket (0 none), connection and range.
    DrmQxTicket ahead_ = 0;
    DrmQxConnection aheadConnection_ = 0;
    int32_t aheadFirst_ = 0;
    int32_t aheadLast_ = 0;
    bool aheadOff_ = false;
    void DropAhead();
    // The reply of the request sent ahead when it is the one for
    // first..last: true with its status and bytes.
    bool TakeAhead(DrmQxConnection connection, int32_t first, int32_t last, int32_t *status,
                   std::vector<uint8_t> *bytes);
};

// One flat server search and the parameter ids of its lines (0 = literal).
struct DrmSearch {
    int16_t defaultTable = 0;
    std::vector<QXSearchLine> lines;
    std::vector<uint32_t> paramIds;
    std::vector<uint8_t> operators; // each line's operator as the filter gave it
};

// A bookmark as handed to the engine: a length-prefixed selection name of at
// most 15 characters in bytes 0..15, the record number of the row at 24
// (kDrmNoRecord when its selection held one record: nothing to tell apart),
// a position in the selection that the record cannot be above at 28, and the
// row at 32 (host order).
inline constexpr uint32_t kDrmBookmarkSize = 36;
inline constexpr uint32_t kDrmBookmarkRecord = 24;
inline constexpr uint32_t kDrmBookmarkPosition = 28;
inline constexpr uint32_t kDrmBookmarkRow = 32;
inline constexpr int32_t kDrmNoRecord = -1;
struct DrmBookmark {
    uint8_t bytes[kDrmBookmarkSize] = {};
};

inline constexpr int32_t kDrmErrNotPushed = -2003;
// Records of the cursor's selection went (deleted by others) so that it
// cannot tell which record a row is: "Write conflict: operation aborted."
inline constexpr int32_t kDrmErrConflict = -1101;
inline constexpr int32_t kDrmErrTruncation = -1047;
inline constexpr int32_t kDrmWindowSize = 100;
// Results of VDRMRecordCache::oGoto with a lead record (nothing loaded).
inline constexpr int32_t kDrmLeadMoved = 1;
inline constexpr int32_t kDrmNumbersRefused = 2;

// A column read that the retrieve list left out (a fault of the engine's
// list, never of the application). Strict: the read fails with -1 and the
// trace log names the column, so a missing column shows at once. Lenient:
// the cursor installs every field of its table and loads the current
// record's window again, so the read gives the right value at the cost of
// a wider window until the next list. Strict unless NDEBUG (test and debug
// builds fail loudly; a release build reads on).
void DrmSetStrictRetrieve(bool strict);
bool DrmStrictRetrieve();

// The result a read of DrmRetrieveColumns keeps when the cursor leaves it to
// oRetrieveColumn.
inline constexpr int32_t kDrmReadAlone = INT32_MIN;

class VDRMTable : public VDRMCursor {
public:
    VDRMTable(uint32_t cursorId, VDRMDatabase *database, int32_t tableIndex);
    ~VDRMTable() override;

    int32_t oOpen(const char *secondName, uint32_t flags);
    int32_t oGetTableInfo(uint32_t *info, uint32_t length) override;
    int32_t oSetFilter(const uint32_t *filter, const uint32_t *data) override;
    int32_t oMove(int32_t direction) override;
    int32_t oSetRetrieveColumns(const uint32_t *entries, uint32_t count) override;
    int32_t oRetrieveColumn(uint32_t column, void *buffer, uint32_t length, uint32_t *outLength,
                            DRM_RETINFO *state) override;
    // The reads of a row served from the window at once; a read it cannot
    // serve so keeps kDrmReadAlone, for oRetrieveColumn.
    void oRetrieveHeld(DrmColumnRead *reads, uint32_t count);
    int32_t oGetBookmark(void *buffer, uint32_t length, uint32_t *outLength) override;
    int32_t oGotoBookmark(const void *bookmark, uint32_t length) override;
    int32_t oSetTableIndex(const char *indexName) override;
    int32_t oMakeKey(const void *key, uint32_t length, uint32_t flags) override;
    int32_t oSeek(uint32_t flags) override;
    int32_t oInitUpdate(uint32_t mode) override;
    int32_t oSetColumn(uint32_t field, const void *data, uint32_t length, uint32_t append,
                       uint32_t isNull) override;
    int32_t oUpdateRecord() override;
    int32_t oDeleteRecord() override;
    const VDRMTableEntry *oTableEntry() const override;

    int32_t oBuildSelection();
    int32_t oRetrieveAllFields();
    // Saves this cursor's server selection under its private name (called
    // when another cursor is about to replace it).
    int32_t oSaveSelection();

    int32_t tableIndex;
    int16_t tableNumber;
    int16_t indexField = 0;
    std::unique_ptr<DrmSearch> search;
    uint32_t paramGenerationSeen = 0;
    bool selectionBuilt = false;
    VDRMRecordCache cache;
    uint32_t updateMode = 0;
    QXHandle recordBuffer = nullptr;
    QXValue key{};
    std::vector<DrmBookmark> savedSelections; // sorted: shorter name first, then bytes

private:
    DrmQxConnection Connection() const;
    uint32_t CodePage() const;
    const VDRMFieldDefArray *Fields() const;
    uint8_t FieldType(int32_t field) const; // 0xFF when the field is unknown
    // The server holds this cursor's selection after 0; a status otherwise.
    int32_t ClaimSelection();
    // Called before a request that makes a new selection of the table.
    int32_t TakeOverSelection();
    int32_t SaveHolderOfTable();
    void ForgetSelection();
    int32_t ShiftBefore(int32_t row) const;
    int32_t FillParameters();
    int32_t SortOnIndex();
    // Every record the search lines find holds the same value of the index
    // field (an equality on it that the whole search is ANDed with).
    bool HitsShareIndexKey(const QXSearchLine *lines, size_t count) const;
    int32_t AddPendingLongValues();
    int32_t GotoCurrentRecord(int32_t *serverPosition = nullptr);
    int32_t LockCurrentRecord(bool reread, bool *changed = nullptr);
    int32_t RelockUnchanged();
    bool HoldsCurrentLock() const;
    int32_t ReadUnlisted(uint32_t column);
    void FreeRecordBuffer();

    uint8_t privateName_[16] = {};
    bool privateSaved_ = false;
    bool privateNamed_ = false;
    bool readWrite_ = false;
    uint64_t positionedAt_ = 0; // database's currentRecordMoves after GotoCurrentRecord
    uint64_t lockedAt_ = 0;     // positionedAt_ when LockCurrentRecord last succeeded
    int32_t lockedRow_ = -1;    // and the row it locked
    bool keyCut_ = false;
    std::vector<int32_t> deletedRows_; // sorted rows of this selection deleted by the cursor
    int32_t recordRow_ = -1;           // row the cache is positioned on, -1 none
    std::map<int16_t, std::vector<uint8_t>> pendingLong_; // long values given in pieces
    // The named copy of the current selection made for bookmarks, reused
    // by every bookmark until the selection is made again (0 length: none).
    uint8_t bookmarkName_[16] = {};

    // Record identity (drm_table_records.cpp).
    int32_t MoveCache(int32_t row);
    int32_t LoadWindow(int32_t row, int32_t position, int32_t record = kDrmNoRecord,
                       const std::vector<int32_t> *records = nullptr,
                       const int32_t *lead = nullptr);
    int32_t LoadRecordNumbers(int32_t first, int32_t last, std::vector<int32_t> *out);
    int32_t LoadWindowRecords();
    int32_t RecordOfRow(int32_t row, int32_t *record);
    int32_t RowPosition(int32_t row) const;
    int32_t FindRecord(const int32_t *records, size_t count, int32_t high, int32_t floor,
                       size_t *which, int32_t *position, bool window = false);
    void ForgetWindow();
    std::vector<int32_t> windowRows_;    // the rows the cache's window holds, in order
    std::vector<int32_t> windowRecords_; // their record numbers (kDrmNoRecord: gone); empty: unread
    int32_t windowPosition_ = 0;         // server position of the window's first row at its load
    int32_t anchorRow_ = -1;             // a row read before the window, -1 none,
    int32_t anchorRecord_ = kDrmNoRecord; // and its record number
    int32_t externalShift_ = 0;        // records ahead of the reading point gone by others' deletes
    std::vector<uint8_t> numberBytes_; // the last reply of record numbers
    std::vector<int32_t> numbers_;     // the record numbers last looked through
    std::vector<int32_t> nextRecords_; // those of the window to load next
};
