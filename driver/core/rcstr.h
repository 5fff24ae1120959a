// String and argument routines shared by the ODBC entry points and the engine.
//
// String arguments arrive with a length or SQL_NTS (-3); rcArgCopyString turns
// one into a terminated text, pointing at the caller's text when it already is
// one and copying it otherwise (the pair then owns the copy; rcArgFreeStrings
// frees it). Results go back to caller buffers with rcCopyOutString, which cuts
// to the buffer and always reports the full length of the text.
#pragma once

#include <cstddef>
#include <cstdint>

// Argument lengths with a meaning of their own.
enum : int64_t {
    RC_ARG_NULL_DATA = -1, // no text
    RC_ARG_NTS = -3,       // the text is terminated
};
// A maximum of -1 means "no maximum".
constexpr int64_t kRcArgNoMaximum = -1;

struct rcArgString {
    const char *text; // null: no text
    uint32_t owned;   // 1 when text is a copy that rcArgFreeStrings frees
};

// Answers a message id: 5100 success, 5136 out of memory, 5147 too long or a
// negative length other than RC_ARG_NULL_DATA and RC_ARG_NTS, 5160 for a maximum
// of 0 with a text. escape 0 means none; escaped characters count once.
uint32_t rcArgCopyString(rcArgString *out, const char *text, int64_t length, int64_t maximum,
                         char escape);
void rcArgFreeStrings(rcArgString *pairs, size_t count);
// Characters of a search pattern, an escape before itself, "_" or "%" not counted.
int64_t rcStrCountEscaped(const char *text, int64_t length, char escape);

// Copies text into output (size bytes): at most size - 1 characters and a
// terminator; nothing at all when size <= 0 or output is null. *length (when
// given) receives the full length of text. Answers 1 when the text was cut (or
// not written for want of room), else 0.
int rcCopyOutString(char *output, const char *text, int64_t size, int64_t *length);

// True when the pattern holds a "%" or "_" not preceded by the escape character.
bool rcCatPatternHasWildcards(const char *pattern, char escape);
// The first place of word outside single-quoted parts, without regard to case;
// null when none. Two quotes in a row inside a quoted part are a literal quote.
const char *rcStrFindKeyword(const char *text, const char *word);
// Cuts the given characters from both ends in place; answers the first kept one.
char *rcStrTrimSet(char *text, const char *characters);
// "SQL_CUR" and the handle's value in hex, into output (size bytes).
void rcStrDefaultCursorName(const void *handle, char *output, size_t size);
// mode 0 compares without regard to case; any other mode compares bytes.
// Answers -1, 0 or 1.
int rcUtlStrCompare(const char *a, const char *b, int mode);
// Copies at most size characters; the copy is terminated only when shorter.
int rcUtlCopyString(const char *source, char *destination, size_t size);
// Removes a leading quote character and a matching one at the end, in place.
void rcUtlStripQuotes(char *text, char quote);
void rcUtlTrimRight(char *text);
// True for a path naming an existing file or directory given either as a
// drive path ("C:\dir", mapped to its Linux place) or as an absolute path.
bool rcUtlIsDrivePath(const char *path);
