// Windows-1252, the driver's character set, against Unicode.
//
// Bytes 0x80-0x9F hold the typographic characters of code page 1252 ("€",
// "‚", "ƒ", "„", ... "Ÿ"); every other byte is the Unicode character of the
// same number. The five bytes the code page leaves unassigned (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) stand for the control characters of their number, as the
// system's own conversion does, so that every byte survives a round trip.
#pragma once

#include <cstdint>

// The Unicode character (always in the Basic Multilingual Plane) of a byte.
uint16_t PlatCp1252ToUnicode(uint8_t byte);
// The byte of a Unicode character; false when the code page has none.
bool PlatUnicodeToCp1252(uint32_t codePoint, uint8_t *byte);
