// Mac Roman <-> Windows (code page 1252) tables for server, computer and
// service names. Codes 0x00-0x7F map to themselves; the upper halves are exact
// inverses of each other, so a round trip gives back the same text.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nc {

extern const uint8_t kMacToWinHigh[128];
extern const uint8_t kWinToMacHigh[128];

// Fills full 256-entry tables.
void BuildCharsetTables(uint8_t macToWin[256], uint8_t winToMac[256]);

// Convert n bytes in place (n from 1 to 32767; other n change nothing).
void ConvertMacToPCText(uint8_t *text, long n);
void ConvertPCToMacText(uint8_t *text, long n);

} // namespace nc
