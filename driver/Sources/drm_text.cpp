#include "driver/Sources/drm_text.h"

#include <algorithm>
#include <cstring>
#include <iconv.h>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "driver/core/rccollate.h"
#include "platform/macroman.h"

namespace {

constexpr uint32_t kCodePageJapanese = 932;
constexpr uint32_t kCodePageWestern = 1252;

struct CodePageTables {
    uint8_t macToWin[128];
    uint8_t winToMac[128];
};

// One byte through iconv; false when the character has no counterpart.
bool ConvertByte(iconv_t cd, uint8_t in, uint32_t *out, size_t outSize)
{
    char inBuf[1] = {static_cast<char>(in)};
    char outBuf[4] = {};
    char *ip = inBuf, *op = outBuf;
    size_t il = 1, ol = outSize;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1) || ol != 0)
        return false;
    *out = 0;
    std::memcpy(out, outBuf, outSize);
    return true;
}

// Tables between Mac Roman and another Windows code page, built from the
// system's character sets; characters without a counterpart become '?'.
// Null when the system does not know the code page.
std::unique_ptr<CodePageTables> BuildTables(uint32_t codePage)
{
    std::string name = "CP" + std::to_string(codePage);
    iconv_t macToUcs = iconv_open("UCS-4LE", "MACINTOSH");
    iconv_t ucsToWin = iconv_open(name.c_str(), "UCS-4LE");
    iconv_t winToUcs = iconv_open("UCS-4LE", name.c_str());
    iconv_t ucsToMac = iconv_open("MACINTOSH", "UCS-4LE");
    std::unique_ptr<CodePageTables> t;
    iconv_t bad = reinterpret_cast<iconv_t>(-1);
    if (macToUcs != bad && ucsToWin != bad && winToUcs != bad && ucsToMac != bad) {
        t = std::make_unique<CodePageTables>();
        for (int b = 0x80; b < 0x100; ++b) {
            uint32_t ucs = 0, back = 0;
            t->macToWin[b - 0x80] = '?';
            if (ConvertByte(macToUcs, static_cast<uint8_t>(b), &ucs, 4)) {
                char in[4];
                std::memcpy(in, &ucs, 4);
                char *ip = in, out[4] = {}, *op = out;
                size_t il = 4, ol = 1;
                iconv(ucsToWin, nullptr, nullptr, nullptr, nullptr);
                if (iconv(ucsToWin, &ip, &il, &op, &ol) != static_cast<size_t>(-1) && ol == 0)
                    t->macToWin[b - 0x80] = static_cast<uint8_t>(out[0]);
            }
            t->winToMac[b - 0x80] = '?';
            if (ConvertByte(winToUcs, static_cast<uint8_t>(b), &back, 4)) {
                char in[4];
                std::memcpy(in, &back, 4);
                char *ip = in, out[4] = {}, *op = out;
                size_t il = 4, ol = 1;
                iconv(ucsToMac, nullptr, nullptr, nullptr, nullptr);
                if (iconv(ucsToMac, &ip, &il, &op, &ol) != static_cast<size_t>(-1) && ol == 0)
                    t->winToMac[b - 0x80] = static_cast<uint8_t>(out[0]);
            }
        }
    }
    for (iconv_t cd : {macToUcs, ucsToWin, winToUcs, ucsToMac})
        if (cd != bad)
            iconv_close(cd);
    return t;
}

// The tables of a code page other than 1252 (built once per code page), or
// null to use the fixed Western tables.
const CodePageTables *TablesFor(uint32_t codePage)
{
    if (codePage == 0 || codePage == kCodePageWestern)
        return nullptr;
    // Every value read converts its text: the last code page of the thread
    // is answered without the lock (built tables are never freed).
    thread_local uint32_t lastCodePage = 0;
    thread_local const CodePageTables *lastTables = nullptr;
    if (codePage == lastCodePage)
        return lastTables;
    static std::mutex lock;
    static std::map<uint32_t, std::unique_ptr<CodePageTables>> *cache =
        new std::map<uint32_t, std::unique_ptr<CodePageTables>>();
    std::lock_guard<std::mutex> hold(lock);
    auto it = cache->find(codePage);
    if (it == cache->end())
        it = cache->emplace(codePage, BuildTables(codePage)).first;
    lastCodePage = codePage;
    lastTables = it->second.get();
    return lastTables;
}

uint32_t Measure(uint32_t length, const uint8_t *source)
{
    return length == kDrmLengthMeasure
               ? static_cast<uint32_t>(std::strlen(reinterpret_cast<const char *>(source)))
               : length;
}

} // namespace

uint8_t DrmMacToWindowsByte(uint8_t b) { return PlatMacToWin(kPlatMacRomanRecords, b); }
uint8_t DrmWindowsToMacByte(uint8_t b) { return PlatWinToMac(kPlatMacRomanRecords, b); }

namespace {

// Code page 932 text travels unchanged in both directions.
int32_t PassThrough(uint32_t length, const uint8_t *source, uint32_t *outLength, uint8_t *dest)
{
    if (dest != source && length > 0)
        std::memmove(dest, source, length);
    *outLength = length;
    return 0;
}

} // namespace

int32_t DrmTextMacToPC(uint32_t length, const uint8_t *source, uint32_t codePage,
                       uint32_t *outLength, uint8_t *dest)
{
    length = Measure(length, source);
    if (codePage == kCodePageJapanese)
        return PassThrough(length, source, outLength, dest);
    // Position for position, so safe in place. ASCII maps to itself: runs of
    // eight ASCII bytes are moved as one word (or left alone in place), and
    // only the other bytes go through the table.
    const CodePageTables *other = TablesFor(codePage);
    const uint8_t *table = other ? other->macToWin : kPlatMacRomanRecords.macToWin;
    constexpr uint64_t kHighBits = 0x8080808080808080ull;
    uint32_t i = 0;
    while (i < length) {
        if (length - i >= 8) {
            uint64_t word;
            std::memcpy(&word, source + i, 8);
            if ((word & kHighBits) == 0) {
                if (dest != source)
                    std::memcpy(dest + i, &word, 8);
                i += 8;
                continue;
            }
        }
        uint32_t end = std::min<uint32_t>(length, i + 8);
        for (; i < end; ++i) {
            uint8_t b = source[i];
            dest[i] = b < 0x80 ? b : table[b - 0x80];
        }
    }
    *outLength = length;
    return 0;
}

int32_t DrmTextPCToMac(uint32_t codePage, uint32_t length, const uint8_t *source,
                       uint32_t *outLength, uint8_t *dest)
{
    length = Measure(length, source);
    if (codePage == kCodePageJapanese)
        return PassThrough(length, source, outLength, dest);
    // The output never runs ahead of the input, so in place is safe too.
    const CodePageTables *other = TablesFor(codePage);
    uint32_t n = 0;
    bool afterCR = false;
    for (uint32_t i = 0; i < length; ++i) {
        uint8_t b = source[i];
        bool drop = b == '\n' && afterCR;
        afterCR = b == '\r';
        if (!drop)
            dest[n++] = b < 0x80 ? b
                        : other  ? other->winToMac[b - 0x80]
                                 : kPlatMacRomanRecords.winToMac[b - 0x80];
    }
    *outLength = n;
    return 0;
}

bool DrmTextEqualNoCase(const char *a, const char *b) { return DrmTextCompareNoCase(a, b) == 0; }

int32_t DrmTextCompareNoCase(const char *a, const char *b)
{
    return rcCollateCompare1252(a, std::strlen(a), b, std::strlen(b));
}
