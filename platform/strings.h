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
