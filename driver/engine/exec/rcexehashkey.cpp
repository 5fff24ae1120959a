// Hashes of join keys (see rcexehash.h). Values the engine's comparison
// finds equal hash alike: integers by value; other numbers as the doubles
// they are compared as (-0 as 0, every NaN as one NaN, as the comparison
// holds them equal); text by the primary collation weights of its
// characters up to a NUL, trailing blanks left out, so that case never
// matters (accents do, at the collation's second level, but texts that
// differ only there merely share a bucket); binary values byte for byte;
// dates and timestamps by their fields, a time of day by its own.
#include <cmath>
#include <cstring>

#include "driver/core/rccnv.h"
#include "driver/core/rccollate.h"
#include "driver/engine/exec/rcexehash.h"

namespace {

uint64_t Mix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

bool AsInt64(const rcExpValue &v, int64_t *out)
{
    switch (v.type) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_C_UTINYINT: *out = v.v.u8; return true;
    case SQL_SMALLINT: *out = v.v.i16; return true;
    case SQL_INTEGER: *out = v.v.i32; return true;
    case SQL_BIGINT: *out = v.v.i64; return true;
    default: return false;
    }
}

uint64_t DoubleHash(double d)
{
    if (std::isnan(d))
        return 0x7FF8000000000001ull;
    if (d == 0)
        d = 0; // -0 equals 0
    uint64_t bits = 0;
    std::memcpy(&bits, &d, sizeof bits);
    return Mix(bits);
}

uint64_t TimestampHash(const TIMESTAMP_STRUCT &ts, bool timeOnly)
{
    uint64_t x = timeOnly ? 0
                          : (static_cast<uint64_t>(static_cast<uint16_t>(ts.year)) << 16) |
                                (static_cast<uint64_t>(ts.month) << 8) | ts.day;
    x = (x << 24) | (static_cast<uint64_t>(ts.hour) << 16) |
        (static_cast<uint64_t>(ts.minute) << 8) | ts.second;
    return Mix(Mix(x) ^ ts.fraction);
}

} // namespace

uint64_t rcExeHashValue(uint8_t kind, const rcExpValue &v, int16_t numScale)
{
    switch (kind) {
    case PLN_HK_INT64: {
        int64_t i = 0;
        if (AsInt64(v, &i))
            return Mix(static_cast<uint64_t>(i));
        break;
    }
    case PLN_HK_TEXT: {
        const auto *s = reinterpret_cast<const unsigned char *>(v.text != nullptr ? v.text : "");
        size_t n = v.length;
        while (n > 0 && s[n - 1] == ' ')
            --n;
        uint64_t h = 0xCBF29CE484222325ull;
        size_t k = 0;
        for (; k < n && s[k] != 0; ++k)
            h = (h ^ rcCollatePrimary1252(s[k])) * 0x100000001B3ull;
        return Mix(h ^ k);
    }
    case PLN_HK_BYTES: {
        const auto *s = reinterpret_cast<const unsigned char *>(v.text != nullptr ? v.text : "");
        uint64_t h = 0xCBF29CE484222325ull;
        for (uint32_t k = 0; k < v.length; ++k)
            h = (h ^ s[k]) * 0x100000001B3ull;
        return Mix(h ^ v.length);
    }
    case PLN_HK_DATETIME:
    case PLN_HK_TIME: {
        TIMESTAMP_STRUCT ts{};
        if (v.type == SQL_DATE) {
            ts.year = v.v.date.year;
            ts.month = v.v.date.month;
            ts.day = v.v.date.day;
        } else if (v.type == SQL_TIME) {
            ts.hour = v.v.time.hour;
            ts.minute = v.v.time.minute;
            ts.second = v.v.time.second;
        } else if (v.type == SQL_TIMESTAMP) {
            ts = v.v.ts;
        }
        return TimestampHash(ts, kind == PLN_HK_TIME);
    }
    default: break;
    }
    // PLN_HK_DOUBLE, and a number of another type than planned.
    double d = 0;
    if (rcExpToDouble(v, &d, numScale))
        return DoubleHash(d);
    return 0;
}

int16_t rcExeHashKeys(rcPlnStmt *stmt, const rcPlnHashJoin *h, bool inner, uint32_t *out)
{
    uint64_t acc = 0x243F6A8885A308D3ull;
    for (const rcPlnHashKey &k : h->keys) {
        rcExpValue v;
        if (rcExpEvalValue(&stmt->env, inner ? k.inner : k.outer, &v) < 0)
            return PLN_ERROR;
        if (v.isNull)
            return 1;
        acc = Mix(acc ^ rcExeHashValue(k.kind, v, stmt->env.numScale));
    }
    *out = static_cast<uint32_t>(acc ^ (acc >> 32));
    return 0;
}
