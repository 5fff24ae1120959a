// Temporary tables: the rows that grouping, ordering, DISTINCT, UNION and the
// catalog result sets collect first and read back later, usually sorted.
//
// Interface and legal order of calls (all answer 0 success, 1 success with a
// warning posted, -1 after a message was posted on the owner's error queue
// (or, where said, without one), 100 at the end of the rows):
//   rcTmpCreate(owner, &t)                      the owner block is copied
//                                               (rcTmpOwnerOf(stmt, cancel))
//   rcTmpAddColumn(t, sqlType, precScale, len)  each column, before any row
//   rcTmpSetSortKey(t, keyPos, column, desc)    optional; keys 0, 1, 2 ...
//   rcTmpPutColumn[Len](t, value, column, null) column by column, row by
//                                               row; the last column
//                                               completes a row. Grows the
//                                               row buffer, then spills.
//   rcSwpSortExec(t)                            optional (rcswp.h)
//   rcTmpSetRow(t, n) / rcTmpMove(t, dir)       position; then
//   rcTmpGetColumn / rcTmpColumnValue           read values of that row
//   rcTmpCompareRows(t, a, b)                   key order of two rows
//   rcTmpFree(t)                                closes and deletes the files
// No row may be put once reading or sorting has begun. After a failed spill
// or sort the table's file is gone and every further call answers -1.
//
// Rows have a fixed layout: one slot per column, a 4-byte indicator (byte 0:
// 1 NULL, 0 value; bytes 1-2: the byte length of a text or binary value)
// then the value in its storage type, padded to 4 bytes. Text is always
// terminated within its slot. The row stream (all rows in the order put)
// lives in a row buffer that grows by growStep up to memoryLimit; past that
// the buffer is appended to a private spill file (created O_EXCL as
// "SWP<pid>_XXXXXX" in TempFileDirectory; files of processes that no longer
// exist are removed when the next one is made) and reused. Reading a spilled table
// loads windows of the stream from the file at 64-bit offsets. A compact
// table (rcTmpSetCompact) writes each text and binary slot only as long as
// its value while rows are put, and settles into the fixed layout, with
// those slots as wide as the longest value put, when reading begins: files
// follow the data, not the declared widths.
//
// Sort keys order NULL as a value of its own (first ascending, last
// descending), text by the driver's Windows-1252 collation without regard
// to case or trailing blanks, doubles by value (-0.0 equals 0.0, NaN last);
// the in-memory sort and the external sort agree, and both keep rows with
// equal keys in the order they were put.
#pragma once

#include "driver/core/rcerror.h"
#include "driver/core/rctrace.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

// SQLCancel's flag: the owner sets it (from any thread); a running sort
// checks it between steps and stops with 5142.
using rcTmpCancelFlag = std::atomic<uint32_t>;

// Engine option bit: sort every table with the external sort library.
constexpr uint32_t RC_TMP_OPT_NOOPTSORT = 0x100000;

// Internal limits; tests shrink them so that growth, spill, read windows and
// the external sort's merge passes run with few rows.
struct rcTmpLimits {
    uint32_t memoryLimit = 256000; // largest row buffer, bytes
    uint32_t growStep = 16000;     // first size and growth step of the row buffer
    uint32_t sortCoreKb = 256;     // CORE of the external sort, kilobytes (raised to fit a row)
    // Groups (and hash tables) the engine keeps in memory, bytes; past it
    // the rows of further groups go to temporary tables that spill.
    uint32_t hashMemoryLimit = 16u << 20;
};

// What the owning statement gives its temporary tables.
struct rcTmpOwner {
    rcErrorQueue *errors = nullptr;          // messages are posted here
    const rcTmpCancelFlag *cancel = nullptr; // null: never cancelled
    // TempFileDirectory. Null: read "TempFileDirectory" of
    // "ZorviEngineOptions" from the settings; empty: the system's
    // temporary directory.
    const char *workDir = nullptr;
    uint32_t engineOptions = 0; // RC_TMP_OPT_NOOPTSORT
    int16_t numPrecision = 18;  // for DECIMAL38 conversions on read
    int16_t numScale = 4;
    rcTmpLimits limits;
    rcTrcTarget trace{}; // engine trace; channel null: none
};

// Key flags of a column.
enum : uint8_t {
    RC_TMP_KEY = 0x02,
    RC_TMP_KEY_DESC = 0x04,
};
constexpr uint16_t RC_TMP_NO_KEY = 0xFFFF;
// Largest value slot of a text or binary column; longer values are cut with 01004.
constexpr uint32_t RC_TMP_MAX_VALUE = 256;
constexpr uint32_t RC_TMP_INDICATOR = 4;
constexpr uint8_t RC_TMP_NULL = 1;

struct TempTableColumn {
    int16_t sqlType;
    int32_t length;
    int16_t storageType; // 0: the table cannot store the type
    uint32_t valueSize;
    uint32_t rowOffset;   // slot start; the value is at rowOffset + 4
    uint16_t keyPosition; // RC_TMP_NO_KEY when no key
    uint8_t keyFlags;
    uint32_t precScale;
    bool hasNull; // a NULL was stored: the external sort keys on the indicator too
    uint32_t longest; // compact tables: the longest text or binary value put, bytes
};

struct rcTmpKeyDesc; // a key column as the comparator reads it (rctmpkey.h)

struct TempTable {
    rcTmpOwner owner;
    uint16_t columnCount;
    uint16_t columnCapacity;
    TempTableColumn *columns;
    // Spill file: open descriptor (-1 none) and its path (null until the first spill).
    int spillFd;
    char *spillName;
    uint32_t capacity;    // bytes of the row buffer
    unsigned char *rows;  // the row buffer
    uint64_t windowStart; // stream offset of the row buffer's first byte
    uint64_t streamLength;
    int32_t rowLength;
    uint32_t used;      // bytes of the buffer filled since the last spill
    uint64_t windowEnd; // stream offset just past the bytes the buffer holds for reading
    int64_t currentRow; // -1 before the first row is made current
    int64_t rowCount;
    uint32_t pending; // the buffer holds rows the spill file does not
    uint16_t keyCount;
    uint16_t nextColumn;    // column the next put expects
    bool reading;           // a read or sort has begun: no more rows
    bool failed;            // a spill or sort failed; the file is gone
    bool truncWarned;       // 01004 for a cut value was posted once
    bool rawRows;           // rows were written whole (rcTmpRowBytes): any key may hold NULLs
    bool compact;           // puts store text and binary slots by their length (rcTmpSetCompact)
    bool settled;           // a compact stream was rewritten into the fixed layout
    bool inPlace;           // one row, rewritten in place by puts (rcTmpSetInPlace)
    rcTmpKeyDesc *keys;     // built by the first sort or comparison
    unsigned char *scratch; // one row, for comparing rows of different windows
    // The long values whose offsets the rows keep (rcsrtfile.h), made by the
    // table's filler; closed and deleted with the table.
    struct rcSortFile *longValues;
};

struct rcStmt;
// The owner block of a statement's tables, for catalog results and query
// plans alike: its error queue, engine options (NoOptSort), numeric
// precision and scale, engine trace and the default limits; the cancel flag
// is the caller's (SQLCancel sets it), null for none.
rcTmpOwner rcTmpOwnerOf(rcStmt *stmt, const rcTmpCancelFlag *cancel);

int16_t rcTmpCreate(const rcTmpOwner &owner, TempTable **out);
// Posts 5160 (driver not capable) for a type the table cannot store
// (TINYINT, BIGINT, NUMERIC, DECIMAL and any other type outside the list).
int16_t rcTmpAddColumn(TempTable *t, int16_t sqlType, uint32_t precScale, int32_t length);
// Before the first row, for a table filled by puts and read through the
// column calls only: text and binary slots are stored as long as their
// values, and when reading or sorting begins the table settles once into
// the fixed layout with those slots sized by the longest value put (never
// wider than the declared slot). From then on valueSize, rowOffset and
// rowLength describe the settled layout; whole-row calls see it too.
int16_t rcTmpSetCompact(TempTable *t);
// After the columns, before the first row, for a table that holds one row
// that puts rewrite (the grouping's row of the current input row): the row
// is made at once with every column NULL, is current from then on, and
// each put replaces one column's value in place, in any column order,
// clearing only the bytes the old value took. The row's bytes are those the
// same values put into a fresh row would give. Answers as the puts do.
int16_t rcTmpSetInPlace(TempTable *t);
// Settles a compact table (a no-op for others or once done); every read,
// comparison and sort calls it first. 0, or -1 after posting.
int16_t rcTmpSettle(TempTable *t);
// Posts 11414 for a binary key column; -1 without a message for a bad index.
int16_t rcTmpSetSortKey(TempTable *t, uint16_t keyPosition, uint16_t column, bool descending);
// value in the C form of the column's SQL type (text terminated, or a CHAR
// array of the column's length; binary: the column's length in bytes).
int16_t rcTmpPutColumn(TempTable *t, const void *value, uint16_t column, bool isNull);
// The same with an explicit byte length for text and binary (SQL_NTS for
// terminated text); ignored for the fixed types.
int16_t rcTmpPutColumnLen(TempTable *t, const void *value, int32_t length, uint16_t column,
                          bool isNull);
// Converts the current row's value to cType (99: the column's own type);
// *indicator = 1 for NULL (target untouched), else 0. A cut value posts
// 01004 or 22001 and answers 1. outLength (optional) gets the full length.
int16_t rcTmpGetColumn(TempTable *t, uint16_t column, void *target, int32_t targetLength,
                       int16_t cType, int32_t *indicator, int32_t *outLength = nullptr);
// The current row's stored value without conversion: pointer into the row
// buffer (valid until the next call on the table), its byte length (text:
// without terminator) and NULL flag.
int16_t rcTmpColumnValue(TempTable *t, uint16_t column, const void **value, uint32_t *length,
                         bool *isNull);
// row is 0-based; -1 without a message when row < 0 or row >= row count.
int16_t rcTmpSetRow(TempTable *t, int64_t row);
// 1 next, 2 previous, 3 first; 100 at the end or with no rows.
int16_t rcTmpMove(TempTable *t, int direction);
int64_t rcTmpRowNumber(const TempTable *t);
int64_t rcTmpRowCount(const TempTable *t);
// Key order of two rows (0-based), as the sort orders them: <0, 0, >0;
// 0 as well after a failure (posted). Equal rows make one group or one
// DISTINCT row.
int rcTmpCompareRows(TempTable *t, int64_t rowA, int64_t rowB);
void rcTmpFree(TempTable *t);

// Rows as records, for a table kept as a store of groups that are updated
// in place (exec/rcexegroup.cpp); rows are the table's own layout.
//   rcTmpRowFits(t)           one more row stays within the memory limit
//   rcTmpAppendRow(t, row)    appends a whole row (grows, spills past the
//                             limit as puts do); 0 or -1 after posting
//   rcTmpRowBytes(t, n)       row n in the row buffer; null once the table
//                             spilled (or no such row)
//   rcTmpClearRows(t)         forgets every row of a table that never
//                             spilled, so that rows may be put again
//   rcTmpCurrentRowBytes(t)   the current row (its window loaded), null
//                             after posting
bool rcTmpRowFits(const TempTable *t);
int16_t rcTmpAppendRow(TempTable *t, const unsigned char *row);
unsigned char *rcTmpRowBytes(TempTable *t, int64_t row);
int16_t rcTmpClearRows(TempTable *t);
const unsigned char *rcTmpCurrentRowBytes(TempTable *t);

// Buffer and file operations, used by the sort driver.
int16_t rcTmpGrow(TempTable *t);
int16_t rcTmpSpill(TempTable *t);
int16_t rcTmpRewind(TempTable *t, uint64_t offset);
// Creates a new private file with the prefix "SWP" in the owner's work
// directory; answers its descriptor and stores its path in *name (rcMemAlloc
// block), or -1 after posting 11412 and 5135 with the system's error text.
int rcTmpSpillName(const rcTmpOwner &owner, char **name);
// The work directory the owner names (TempFileDirectory or the system's).
void rcTmpWorkDirectory(const rcTmpOwner &owner, char *buffer, size_t size);
// Closes and deletes the spill file; the table is marked failed.
void rcTmpDiscardFile(TempTable *t);

// Storage type and value size of a column (0 storage type: not storable).
int16_t rcTmpStorageType(int16_t sqlType);
uint32_t rcTmpValueSize(int16_t storageType, int32_t length);

// Whole rows read back (rctmprow.cpp), for copying rows between tables of
// the same columns with rcTmpAppendRow: rcTmpReadRow makes row current and
// answers its bytes, from the spill file when the table spilled (valid until
// the next call on the table), or null after posting.
const unsigned char *rcTmpReadRow(TempTable *t, int64_t row);
// The memory limit that statements give their tables: memoryLimit and
// growStep from the environment variable QX_TMP_MEMORY_LIMIT (bytes) when
// it is set, so that tests can make every table spill; else the defaults.
rcTmpLimits rcTmpDefaultLimits();
