// Key type comparisons and record comparison. The engine's types call back
// into the engine; the others compare here.
#include "driver/sort/srtkeys.h"

#include <cmath>
#include <cstring>

namespace {

int sign(int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

int compareUpper(const unsigned char *a, uint32_t aLen, const unsigned char *b, uint32_t bLen)
{
    uint32_t n = aLen < bLen ? aLen : bLen;
    for (uint32_t i = 0; i < n; ++i) {
        unsigned char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z')
            y = static_cast<unsigned char>(y - 32);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return aLen == bLen ? 0 : aLen < bLen ? -1 : 1;
}

// Signed integer of len bytes; littleEndian picks the byte order.
int compareSigned(const unsigned char *a, const unsigned char *b, uint32_t len, bool littleEndian)
{
    unsigned char topA = littleEndian ? a[len - 1] : a[0];
    unsigned char topB = littleEndian ? b[len - 1] : b[0];
    bool negA = topA & 0x80, negB = topB & 0x80;
    if (negA != negB)
        return negA ? -1 : 1;
    for (uint32_t i = 0; i < len; ++i) {
        unsigned char x = littleEndian ? a[len - 1 - i] : a[i];
        unsigned char y = littleEndian ? b[len - 1 - i] : b[i];
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

int compareUnsignedLE(const unsigned char *a, const unsigned char *b, uint32_t len)
{
    for (uint32_t i = len; i-- > 0;)
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    return 0;
}

double readFloat(const unsigned char *p, uint32_t len)
{
    if (len == 4) {
        float f;
        std::memcpy(&f, p, 4);
        return f;
    }
    double d;
    std::memcpy(&d, p, 8);
    return d;
}

// NaNs order after every number and equal to each other.
int compareFloat(double x, double y)
{
    bool nx = std::isnan(x), ny = std::isnan(y);
    if (nx || ny)
        return nx == ny ? 0 : nx ? 1 : -1;
    return x < y ? -1 : x > y ? 1 : 0;
}

int compareAlt(const unsigned char *w, const unsigned char *a, uint32_t aLen,
               const unsigned char *b, uint32_t bLen)
{
    uint32_t i = 0, j = 0;
    for (;;) {
        while (i < aLen && w[a[i]] == 0)
            ++i;
        while (j < bLen && w[b[j]] == 0)
            ++j;
        if (i == aLen || j == bLen)
            return (i == aLen) == (j == bLen) ? 0 : i == aLen ? -1 : 1;
        if (w[a[i]] != w[b[j]])
            return w[a[i]] < w[b[j]] ? -1 : 1;
        ++i;
        ++j;
    }
}

int sqlTypeOf(SrtType type)
{
    switch (type) {
    case SRT_XD: return 32020;
    case SRT_XBD: return 32021;
    case SRT_XTS: return 11;
    case SRT_XTM: return 10;
    default: return 9;
    }
}

} // namespace

int srtCompareBytes(const unsigned char *a, uint32_t aLen, const unsigned char *b, uint32_t bLen)
{
    uint32_t n = aLen < bLen ? aLen : bLen;
    int c = n ? std::memcmp(a, b, n) : 0;
    if (c)
        return sign(c);
    return aLen == bLen ? 0 : aLen < bLen ? -1 : 1;
}

void SrtCompare::init(const SrtSettings &s, const SrtCallbacks &cb)
{
    settings = &s;
    callbacks = cb;
    dataOffset = s.org == SRT_VS ? 2 : 0;
    static const unsigned char crlf[2] = {13, 10};
    terminator = s.org == SRT_TXT ? crlf : s.org == SRT_GP ? s.gpTerminator.data() : nullptr;
    terminatorLen = s.org == SRT_TXT  ? 2
                    : s.org == SRT_GP ? static_cast<uint32_t>(s.gpTerminator.size())
                                      : 0;
    prefixUsable = false;
    if (!s.keys.empty()) {
        const SrtKey &k = s.keys[0];
        bool bytes =
            k.type == SRT_BIN || ((k.type == SRT_CHA || k.type == SRT_SU) && !cb.stringCompare);
        prefixUsable = bytes && !k.field.numbered;
    }
}

bool srtLocate(const SrtCompare &cmp, const unsigned char *rec, uint32_t recLen,
               const SrtField &field, uint32_t &offset, uint32_t &len, bool wholeRecord)
{
    // A line's terminator frames the record; it is data only for the output
    // layout. The last line of a file may have none.
    if (cmp.terminatorLen && !wholeRecord && recLen >= cmp.terminatorLen &&
        std::memcmp(rec + recLen - cmp.terminatorLen, cmp.terminator, cmp.terminatorLen) == 0)
        recLen -= cmp.terminatorLen;
    if (!field.numbered) {
        uint64_t start = uint64_t(cmp.dataOffset) + field.pos - 1;
        if (start >= recLen) {
            offset = recLen;
            len = 0;
            return false;
        }
        offset = static_cast<uint32_t>(start);
        uint32_t left = recLen - offset;
        len = field.len == SRT_LEN_TO_END || field.len > left ? left : field.len;
        return true;
    }
    // The n-th delimited field; a field that begins with a double quote runs
    // to the next double quote.
    uint32_t end = recLen;
    const unsigned char delim = cmp.settings->delimiter;
    uint32_t p = cmp.dataOffset;
    for (uint32_t n = 1;; ++n) {
        uint32_t start = p, stop;
        if (p < end && rec[p] == '"') {
            start = p + 1;
            stop = start;
            while (stop < end && rec[stop] != '"')
                ++stop;
            p = stop < end ? stop + 1 : end;
            while (p < end && rec[p] != delim)
                ++p;
        } else {
            while (p < end && rec[p] != delim)
                ++p;
            stop = p;
        }
        if (n == field.pos) {
            offset = start;
            len = stop - start;
            return true;
        }
        if (p >= end) {
            offset = end;
            len = 0;
            return false;
        }
        ++p; // past the delimiter
    }
}

int srtCompareValues(const SrtCompare &cmp, SrtType type, uint32_t declaredLen,
                     const unsigned char *recA, uint32_t offA, uint32_t lenA,
                     const unsigned char *recB, uint32_t offB, uint32_t lenB)
{
    const unsigned char *a = recA + offA, *b = recB + offB;
    switch (type) {
    case SRT_CHA:
    case SRT_SU:
        if (cmp.callbacks.stringCompare) {
            uint32_t n = lenA < lenB ? lenA : lenB;
            int c = n ? sign(cmp.callbacks.stringCompare(cmp.callbacks.context, a, b, n)) : 0;
            if (c)
                return c;
            return lenA == lenB ? 0 : lenA < lenB ? -1 : 1;
        }
        return srtCompareBytes(a, lenA, b, lenB);
    case SRT_ALP: return compareUpper(a, lenA, b, lenB);
    case SRT_ALT: return compareAlt(cmp.settings->altWeights, a, lenA, b, lenB);
    case SRT_INT:
    case SRT_W:
    case SRT_FI:
    case SRT_E:
    case SRT_FL: {
        // A value cut short by the end of its record orders before every
        // complete one; two short ones compare as bytes.
        bool fullA = lenA == declaredLen, fullB = lenB == declaredLen;
        if (!fullA || !fullB)
            return fullA == fullB ? srtCompareBytes(a, lenA, b, lenB) : fullA ? 1 : -1;
        if (type == SRT_INT)
            return compareSigned(a, b, declaredLen, true);
        if (type == SRT_FI)
            return compareSigned(a, b, declaredLen, false);
        if (type == SRT_W)
            return compareUnsignedLE(a, b, declaredLen);
        return compareFloat(readFloat(a, declaredLen), readFloat(b, declaredLen));
    }
    case SRT_XD:
    case SRT_XBD:
    case SRT_XTS:
    case SRT_XTM:
    case SRT_XDT: {
        int nullA = 0, nullB = 0;
        if (type != SRT_XD) {
            nullA = offA >= 4 ? recA[offA - 4] : 0;
            nullB = offB >= 4 ? recB[offB - 4] : 0;
        }
        uint32_t n = lenA < lenB ? lenA : lenB;
        int c = sign(cmp.callbacks.valueCompare(cmp.callbacks.context, sqlTypeOf(type), nullA, a,
                                                nullB, b, n));
        if (c)
            return c;
        return lenA == lenB ? 0 : lenA < lenB ? -1 : 1;
    }
    default: // BIN, and any type without an order of its own
        return srtCompareBytes(a, lenA, b, lenB);
    }
}

int srtCompareKeys(const SrtCompare &cmp, const unsigned char *a, uint32_t aLen,
                   const unsigned char *b, uint32_t bLen)
{
    for (const SrtKey &k : cmp.settings->keys) {
        uint32_t offA, lenA, offB, lenB;
        srtLocate(cmp, a, aLen, k.field, offA, lenA);
        srtLocate(cmp, b, bLen, k.field, offB, lenB);
        int c = srtCompareValues(cmp, k.type, k.field.len, a, offA, lenA, b, offB, lenB);
        if (c)
            return k.descending ? -c : c;
    }
    return 0;
}

uint64_t srtKeyPrefix(const SrtCompare &cmp, const unsigned char *rec, uint32_t recLen)
{
    const SrtKey &k = cmp.settings->keys[0];
    uint32_t off, len;
    srtLocate(cmp, rec, recLen, k.field, off, len);
    uint64_t v = 0;
    uint32_t n = len < 8 ? len : 8;
    for (uint32_t i = 0; i < 8; ++i)
        v = (v << 8) | (i < n ? rec[off + i] : 0);
    return k.descending ? ~v : v;
}
