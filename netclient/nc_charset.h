// Mac Roman <-> Windows (code page 1252) conversion of server, computer and
// service names and login texts, through the names mapping of
// platform/macroman.h (record data uses the data module's mapping).
#pragma once

#include <cstddef>
#include <cstdint>

namespace nc {

// Fills full 256-entry tables.
void BuildCharsetTables(uint8_t macToWin[256], uint8_t winToMac[256]);

// Convert n bytes in place (n from 1 to 32767; other n change nothing).
void ConvertMacToPCText(uint8_t *text, long n);
void ConvertPCToMacText(uint8_t *text, long n);

} // namespace nc
