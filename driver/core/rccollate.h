// Text collation of the driver: one case-insensitive ordering of Windows-1252
// text, shared by the engine's value comparison and the data module's text
// comparison so that results never depend on the machine's locale.
//
// Order: control characters, then punctuation and symbols (by code), then
// digits, then letters alphabetically with accented forms and ligatures
// beside their base letter; case never matters. Texts equal at that level
// are ordered by their accents (e before é), then they compare equal.
#pragma once

#include <cstddef>

// Compares at most lenA / lenB bytes of each text, stopping early at a NUL.
// Returns -1, 0 or 1.
int rcCollateCompare1252(const char *a, size_t lenA, const char *b, size_t lenB);
// Primary weight of one character (below 0x1000): texts whose weights
// differ compare as their first differing weights do.
unsigned rcCollatePrimary1252(unsigned char c);
// Upper case of one Windows-1252 character (a-z, accented letters, š œ ž ÿ).
unsigned char rcCollateUpper1252(unsigned char c);
