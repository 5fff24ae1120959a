// Sort-file record store: long values (LONGVARCHAR, LONGVARBINARY) of an
// ordering too long for a temporary-table slot are kept here, and the row
// keeps only the value's offset (64-bit: an RC_SQL_SCALED64 column).
//
// Interface and legal order:
//   rcSrtFileOpen(owner, &s)                  a new private "SWP" file
//   rcSrtFileOffset(s, &off); rcSrtFileWrite(s, value, sqlType, len) ...
//   rcSrtFileRead(s, off, buf, size, &null, &full) any number of times
//   rcSrtFileClose(s)                         closes and deletes the file
//
// An ordering temporary table keeps the long values it carries here (the
// table owns the store: TempTable::longValues, closed with the table), at
// most RC_SRT_MAX_VALUE bytes of each.
//
// File layout: records of a 32-bit length followed by that many bytes; a
// value's offset is the offset of its length. The length 0xFFFFFFFF marks
// NULL, so an empty text (stored as its terminator alone) stays apart from
// NULL. Text (SQL_NTS, or LONGVARCHAR with a length) is stored with its
// terminating zero. A read into a smaller buffer copies what fits, posts
// 01004 and answers 1.
#pragma once

#include "driver/engine/temp/rctmp.h"

#include <cstdint>

struct rcSortFile {
    rcTmpOwner owner;
    int fd;
    char *name;            // null: the file is unlinked once open
    uint64_t bytesWritten; // offset of the next value
};

constexpr uint32_t RC_SRT_NULL_LENGTH = 0xFFFFFFFFu;
// Longest value a caller stores (a text without its terminator).
constexpr uint32_t RC_SRT_MAX_VALUE = 65500;

// 0, or -1 after posting 5136 or 11412 (with 5135 and the system's text).
int16_t rcSrtFileOpen(const rcTmpOwner &owner, rcSortFile **out);
int16_t rcSrtFileOffset(const rcSortFile *s, uint64_t *offset);
// value null: a NULL. length SQL_NTS: terminated text. 0, or -1 after 11410.
int16_t rcSrtFileWrite(rcSortFile *s, const void *value, int16_t sqlType, int64_t length);
// 0, 1 (cut, 01004 posted), or -1 after 11413. *isNull set; fullLength
// (optional) receives the stored length (0 for NULL).
int16_t rcSrtFileRead(rcSortFile *s, uint64_t offset, void *buffer, uint32_t size, bool *isNull,
                      uint64_t *fullLength = nullptr);
// A piece of the value at offset: its stored bytes from `from` on, at most
// size of them, into buffer; *copied says how many. No message for a value
// longer than the buffer. 0, or -1 after 11413. *isNull set; *fullLength the
// stored length (0 for NULL).
int16_t rcSrtFileReadPart(rcSortFile *s, uint64_t offset, uint64_t from, void *buffer,
                          uint32_t size, bool *isNull, uint64_t *fullLength, uint32_t *copied);
void rcSrtFileClose(rcSortFile *s);
