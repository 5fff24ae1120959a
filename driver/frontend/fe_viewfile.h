// The view files: "zorview.def" (the view catalogue) and "zorview.dat" (the
// view records) in one view file directory, shared by every connection and
// process that uses that directory.
//
// Interface (no statement involved; errors come back in an rcVwFileError that
// the caller posts):
//   rcVwFileLoad(dir, &catalog, &err)          read and check "zorview.def";
//                                              a missing file is an empty catalogue
//   rcVwFileChanged(dir, catalog)              true when the file on disk is not the
//                                              version the catalogue was read from
//   rcVwFileReadRecord(dir, entry, ...)        read and check one view's record
//   rcVwFileAdd(dir, name, columns, text, ...) CREATE VIEW: append the record, add the entry
//   rcVwFileRemove(dir, name, ...)             DROP VIEW: remove the entry
// Add and Remove never write from a copy read earlier: each takes an exclusive
// flock on "zorview.lck" in the directory, reads "zorview.def" again, makes
// its change, writes the new catalogue to a temporary file in the directory and
// renames it over "zorview.def", then lets the lock go. "zorview.dat" only
// grows: a record is appended (and synced) before the entry that points to it
// is published, so a reader never meets an entry without its record. Readers
// take no lock: a rename replaces "zorview.def" in one step.
//
// Byte layouts (little-endian, written and read field by field):
//   zorview.def  u32 header (1), u16 view count, 255 entries of 74 bytes:
//                name[64] NUL-terminated, u16 column count, u16 0,
//                u32 offset of the record in zorview.dat, u16 text length with NUL
//   zorview.dat  per view: column count x 80-byte column records
//                (name[64], u16 SQL type, u32 length, u32 precision, u16 scale,
//                u32 attribute flags), then the definition text and its NUL
// Everything read is checked before use (counts, name terminators, offsets and
// lengths against the file's size, the text's terminator); a damaged file gives
// an error naming the file and the fault.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/filelock.h"

inline constexpr const char *kRcVwDefFile = "zorview.def";
inline constexpr const char *kRcVwDatFile = "zorview.dat";
inline constexpr const char *kRcVwLockFile = "zorview.lck";

inline constexpr size_t kRcVwNameSize = 64; // name fields, NUL included
inline constexpr size_t kRcVwNameMax = kRcVwNameSize - 1;
inline constexpr uint32_t kRcVwEntrySize = 74;
inline constexpr uint32_t kRcVwColumnSize = 80;
inline constexpr uint32_t kRcVwSlots = 255;    // entries in the file
inline constexpr uint32_t kRcVwMaxViews = 254; // views CREATE VIEW allows
inline constexpr uint32_t kRcVwDefSize = 6 + kRcVwSlots * kRcVwEntrySize; // 18876
inline constexpr uint32_t kRcVwTextMax = 65535; // text length field, NUL included

// Column flags reported to callers: the stored bits 0-9 and 11, bit 12 always.
inline constexpr uint32_t kRcVwColumnFlagMask = 0x0BFF;
inline constexpr uint32_t kRcVwColumnFlagAlways = 0x1000;
inline constexpr uint32_t kRcVwColumnNullable = 0x1;

struct rcViewEntry {
    char name[kRcVwNameSize] = {};
    uint16_t columnCount = 0;
    uint32_t offset = 0;     // of the record in zorview.dat
    uint16_t textLength = 0; // definition text with its NUL
};

struct rcViewColumn {
    char name[kRcVwNameSize] = {};
    int16_t sqlType = 0;
    uint32_t length = 0;
    uint32_t precision = 0;
    int16_t scale = 0;
    uint32_t flags = 0;
};

// A catalogue as read from "zorview.def", with the version it was read from.
struct rcVwFileCatalog {
    std::vector<rcViewEntry> entries;
    PlatFileStamp stamp; // size -1: there was no file
};

// An error for the caller to post: a message id and its text.
struct rcVwFileError {
    uint32_t msgId = 0;
    std::string text;
};

// Name comparison of views: one rule everywhere (the data source's table-name
// case rule).
bool rcVwNameEqual(const char *a, const char *b, bool caseSensitive);

// Serialisers of the stored layouts.
std::vector<uint8_t> rcVwEncodeCatalog(const std::vector<rcViewEntry> &entries);
// Decodes size bytes of "zorview.def"; a short block is accepted while it holds
// every counted entry. False with the fault in *why.
bool rcVwDecodeCatalog(const uint8_t *bytes, size_t size, std::vector<rcViewEntry> *entries,
                       std::string *why);
void rcVwEncodeColumn(const rcViewColumn &column, uint8_t *out);
bool rcVwDecodeColumn(const uint8_t *in, rcViewColumn *column, std::string *why);
// Decodes a view's record (size bytes, from its offset on): the entry's column
// records and its NUL-terminated text of the entry's length.
bool rcVwDecodeRecord(const uint8_t *bytes, size_t size, const rcViewEntry &entry,
                      std::vector<rcViewColumn> *columns, std::string *text, std::string *why);

// 0, or -1 with *err set.
int rcVwFileLoad(const std::string &dir, rcVwFileCatalog *catalog, rcVwFileError *err);
bool rcVwFileChanged(const std::string &dir, const rcVwFileCatalog &catalog);
int rcVwFileReadRecord(const std::string &dir, const rcViewEntry &entry,
                       std::vector<rcViewColumn> *columns, std::string *text, rcVwFileError *err);
// Adds a view under the lock: 11479 when the catalogue holds kRcVwMaxViews
// views, 11480 when the name is taken, file errors 11412. *catalog receives
// the catalogue as written.
int rcVwFileAdd(const std::string &dir, const char *name, const std::vector<rcViewColumn> &columns,
                const std::string &text, bool caseSensitive, rcVwFileCatalog *catalog,
                rcVwFileError *err);
// Removes a view under the lock; a name that is no view is an error (11403).
int rcVwFileRemove(const std::string &dir, const char *name, bool caseSensitive,
                   rcVwFileCatalog *catalog, rcVwFileError *err);

// Test hook: called inside rcVwFileAdd and rcVwFileRemove while the lock is
// held, after the catalogue was read again and before it is written.
void rcVwFileSetLockedHook(void (*hook)());
