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

namespace {

// Mac Roman 0x80-0xFF to Windows-1252; the Mac characters without a 1252
// counterpart sit on the 1252 codes without a Mac counterpart.
constexpr uint8_t kMacToWin[128] = {
    0xC4, 0xC5, 0xC7, 0xC9, 0xD1, 0xD6, 0xDC, 0xE1, 0xE0, 0xE2, 0xE4, 0xE3, 0xE5, 0xE7, 0xE9, 0xE8,
    0xEA, 0xEB, 0xED, 0xEC, 0xEE, 0xEF, 0xF1, 0xF3, 0xF2, 0xF4, 0xF6, 0xF5, 0xFA, 0xF9, 0xFB, 0xFC,
    0x86, 0xB0, 0xA2, 0xA3, 0xA7, 0x95, 0xB6, 0xDF, 0xAE, 0xA9, 0x99, 0xB4, 0xA8, 0x80, 0xC6, 0xD8,
    0x81, 0xB1, 0x8D, 0x8E, 0xA5, 0xB5, 0x8F, 0x90, 0xDE, 0xFE, 0x9D, 0xAA, 0xBA, 0xA6, 0xE6, 0xF8,
    0xBF, 0xA1, 0xAC, 0xB2, 0x83, 0xB3, 0xB9, 0xAB, 0xBB, 0x85, 0xA0, 0xC0, 0xC3, 0xD5, 0x8C, 0x9C,
    0x96, 0x97, 0x93, 0x94, 0x91, 0x92, 0xF7, 0xBE, 0xFF, 0x9F, 0xBD, 0xA4, 0x8B, 0x9B, 0x8A, 0x9A,
    0x87, 0xB7, 0x82, 0x84, 0x89, 0xC2, 0xCA, 0xC1, 0xCB, 0xC8, 0xCD, 0xCE, 0xCF, 0xCC, 0xD3, 0xD4,
    0xAD, 0xD2, 0xDA, 0xDB, 0xD9, 0xD0, 0x88, 0x98, 0xAF, 0xBC, 0xDD, 0xD7, 0xB8, 0x9E, 0xF0, 0xFD,
};

constexpr uint8_t kWinToMac[128] = {
    0xAD, 0xB0, 0xE2, 0xC4, 0xE3, 0xC9, 0xA0, 0xE0, 0xF6, 0xE4, 0xDE, 0xDC, 0xCE, 0xB2, 0xB3, 0xB6,
    0xB7, 0xD4, 0xD5, 0xD2, 0xD3, 0xA5, 0xD0, 0xD1, 0xF7, 0xAA, 0xDF, 0xDD, 0xCF, 0xBA, 0xFD, 0xD9,
    0xCA, 0xC1, 0xA2, 0xA3, 0xDB, 0xB4, 0xBD, 0xA4, 0xAC, 0xA9, 0xBB, 0xC7, 0xC2, 0xF0, 0xA8, 0xF8,
    0xA1, 0xB1, 0xC3, 0xC5, 0xAB, 0xB5, 0xA6, 0xE1, 0xFC, 0xC6, 0xBC, 0xC8, 0xF9, 0xDA, 0xD7, 0xC0,
    0xCB, 0xE7, 0xE5, 0xCC, 0x80, 0x81, 0xAE, 0x82, 0xE9, 0x83, 0xE6, 0xE8, 0xED, 0xEA, 0xEB, 0xEC,
    0xF5, 0x84, 0xF1, 0xEE, 0xEF, 0xCD, 0x85, 0xFB, 0xAF, 0xF4, 0xF2, 0xF3, 0x86, 0xFA, 0xB8, 0xA7,
    0x88, 0x87, 0x89, 0x8B, 0x8A, 0x8C, 0xBE, 0x8D, 0x8F, 0x8E, 0x90, 0x91, 0x93, 0x92, 0x94, 0x95,
    0xFE, 0x96, 0x98, 0x97, 0x99, 0x9B, 0x9A, 0xD6, 0xBF, 0x9D, 0x9C, 0x9E, 0x9F, 0xFF, 0xB9, 0xD8,
};

constexpr uint32_t kCodePageJapanese = 932;
constexpr uint32_t kCodePageWestern = 1252;

struct CodePageTables {
    uint8_t macToWin[128];
    uint8_t winToMac[128];
};

// One byte through iconv; false when the character has no counterpart.
bool ConvertByte(iconv_t cd, uint8_t in, uint32_t *out, size_t outSize) {
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
std::unique_ptr<CodePageTables> BuildTables(uint32_t codePage) {
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
const CodePageTables *TablesFor(uint32_t codePage) {
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

uint32_t Measure(uint32_t length, const uint8_t *source) {
    return length == kDrmLengthMeasure ? static_cast<uint32_t>(std::strlen(reinterpret_cast<const char *>(source)))
                                       : length;
}

} // namespace

uint8_t DrmMacToWindowsByte(uint8_t b) { return b < 0x80 ? b : kMacToWin[b - 0x80]; }
uint8_t DrmWindowsToMacByte(uint8_t b) { return b < 0x80 ? b : kWinToMac[b - 0x80]; }

// Code page 932 text travels unchanged in both directions.
static int32_t PassThrough(uint32_t length, const uint8_t *source, uint32_t *outLength, uint8_t *dest) {
    if (dest != source && length > 0)
        std::memmove(dest, source, length);
    *outLength = length;
    return 0;
}

int32_t DrmTextMacToPC(uint32_t length, const uint8_t *source, uint32_t codePage,
                       uint32_t *outLength, uint8_t *dest) {
    length = Measure(length, source);
    if (codePage == kCodePageJapanese)
        return PassThrough(length, source, outLength, dest);
    // Position for position, so safe in place. ASCII maps to itself: runs of
    // eight ASCII bytes are moved as one word (or left alone in place), and
    // only the other bytes go through the table.
    const CodePageTables *other = TablesFor(codePage);
    const uint8_t *table = other ? other->macToWin : kMacToWin;
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
                       uint32_t *outLength, uint8_t *dest) {
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
            dest[n++] = b < 0x80 ? b : other ? other->winToMac[b - 0x80] : kWinToMac[b - 0x80];
    }
    *outLength = n;
    return 0;
}

uint8_t DrmUpper1252(uint8_t b) { return rcCollateUpper1252(b); }

bool DrmTextEqualNoCase(const char *a, const char *b) { return DrmTextCompareNoCase(a, b) == 0; }

int32_t DrmTextCompareNoCase(const char *a, const char *b) {
    return rcCollateCompare1252(a, std::strlen(a), b, std::strlen(b));
}
