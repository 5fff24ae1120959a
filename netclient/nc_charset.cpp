#include "netclient/nc_charset.h"

#include "platform/macroman.h"

namespace nc {

void BuildCharsetTables(uint8_t macToWin[256], uint8_t winToMac[256])
{
    for (int c = 0; c < 0x80; ++c)
        macToWin[c] = winToMac[c] = uint8_t(c);
    for (int c = 0; c < 0x80; ++c) {
        macToWin[0x80 + c] = kPlatMacRomanNames.macToWin[c];
        winToMac[0x80 + c] = kPlatMacRomanNames.winToMac[c];
    }
}

namespace {

void Convert(uint8_t *text, long n, const uint8_t high[128])
{
    if (n < 1 || n > 32767)
        return;
    for (long i = 0; i < n; ++i)
        if (text[i] >= 0x80)
            text[i] = high[text[i] - 0x80];
}

} // namespace

void ConvertMacToPCText(uint8_t *text, long n) { Convert(text, n, kPlatMacRomanNames.macToWin); }
void ConvertPCToMacText(uint8_t *text, long n) { Convert(text, n, kPlatMacRomanNames.winToMac); }

} // namespace nc
