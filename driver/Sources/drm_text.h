// Mac Roman <-> Windows text conversion.
//
// The server keeps text in Mac Roman with CR line ends; the driver works in
// the session's Windows code page with CR LF. The conversion is chosen per
// call from the session's code page, whatever the process locale:
//   0 (not set) and 1252: the record-data mapping of platform/macroman.h,
//     two tables, exact inverses of each other, so every byte round-trips;
//   932 (Japanese): text passes unchanged;
//   any other code page the system knows: tables built once from the
//     system's character sets, '?' for characters without a counterpart;
//     an unknown code page uses the 1252 tables.
// Toward the server, an LF right after a CR is dropped. Source and
// destination may be the same buffer.
#pragma once

#include <cstdint>

inline constexpr uint32_t kDrmLengthMeasure = 0xFFFFFFFFu; // zero-terminated source

// Server text to Windows text. 0, or -1011 when no work buffer.
int32_t DrmTextMacToPC(uint32_t length, const uint8_t *source, uint32_t codePage,
                       uint32_t *outLength, uint8_t *dest);
// Windows text to server text (CR LF becomes CR). The destination holds at
// least length bytes.
int32_t DrmTextPCToMac(uint32_t codePage, uint32_t length, const uint8_t *source,
                       uint32_t *outLength, uint8_t *dest);

uint8_t DrmMacToWindowsByte(uint8_t b);
uint8_t DrmWindowsToMacByte(uint8_t b);

// Equality and order of two zero-terminated Windows-1252 texts ignoring case,
// in the driver's one text collation (accented letters fold with their case
// but stay distinct from their base letter).
bool DrmTextEqualNoCase(const char *a, const char *b);
// -1, 0 or 1.
int32_t DrmTextCompareNoCase(const char *a, const char *b);
