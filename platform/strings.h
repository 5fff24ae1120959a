// Compiled-in string tables: each library keeps its texts (messages, labels,
// key names) in a table of {id, text} sorted by id.
#pragma once

#include <cstddef>
#include <cstdint>

struct PlatStringEntry {
    uint32_t id;
    const char *text;
};

struct PlatStringTable {
    const PlatStringEntry *entries; // sorted by id, ascending
    size_t count;
};

// The text of id, or null when the table holds no such id.
const char *PlatFindString(const PlatStringTable *table, uint32_t id);
// Copies the text of id into buffer (at most size - 1 characters, terminated)
// and answers the characters copied; 0 and an empty buffer when missing.
int PlatLoadString(const PlatStringTable *table, uint32_t id, char *buffer, int size);

// Comparison without regard to the case of ASCII letters, whatever locale the
// application set (in some, "i" and "I" are no pair): keywords, key names and
// settings compare the same everywhere. Answers <0, 0 or >0 as strcmp does.
inline char PlatAsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
inline char PlatAsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
int PlatAsciiCaseCompare(const char *a, const char *b);
// At most n characters.
int PlatAsciiCaseCompareN(const char *a, const char *b, size_t n);
