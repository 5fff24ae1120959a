// Byte codec of the emulator (see db_codec.h).
#include "qxserver/db/db_codec.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace qxdb {
namespace {

constexpr size_t kSearchValueSize = 86;

uint64_t DoubleBits(double d)
{
    uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

} // namespace

void QxdbStore16(uint8_t *p, int32_t v, bool bigEndian)
{
    auto u = static_cast<uint16_t>(v);
    p[bigEndian ? 0 : 1] = static_cast<uint8_t>(u >> 8);
    p[bigEndian ? 1 : 0] = static_cast<uint8_t>(u);
}

void QxdbStore32(uint8_t *p, int64_t v, bool bigEndian)
{
    auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(u >> (bigEndian ? 24 - 8 * i : 8 * i));
}

int16_t QxdbLoad16(const uint8_t *p, bool bigEndian)
{
    return static_cast<int16_t>(bigEndian ? (p[0] << 8) | p[1] : (p[1] << 8) | p[0]);
}

int32_t QxdbLoad32(const uint8_t *p, bool bigEndian)
{
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= static_cast<uint32_t>(p[i]) << (bigEndian ? 24 - 8 * i : 8 * i);
    return static_cast<int32_t>(u);
}

// The server real: sign bit and 15-bit exponent (bias 16383), then a 64-bit
// mantissa whose top bit is the integer bit, all big-endian. Its value is
// mantissa x 2^(exponent - 16383 - 63), an exponent of 0 counting as 1
// (denormals). The all-ones exponent holds infinity (fraction 0) and NaN.
//
// Every double has an exact counterpart: frexp splits a finite double into
// a fraction in [0.5, 1) and a power of two, and the fraction's 53 bits
// scaled by 2^64 are the mantissa with its integer bit set; a subnormal
// double comes out normalised the same way. A NaN keeps its sign and its
// payload (the double's fraction, quiet bit included) below the integer bit.
void QxdbRealToServer(double d, uint8_t out[10])
{
    std::memset(out, 0, 10);
    uint64_t bits = DoubleBits(d);
    uint32_t head = std::signbit(d) ? 0x8000 : 0;
    uint64_t mant = 0;
    if (std::isnan(d)) {
        head |= 0x7FFF;
        mant = (uint64_t{1} << 63) | ((bits & ((uint64_t{1} << 52) - 1)) << 11);
    } else if (std::isinf(d)) {
        head |= 0x7FFF;
        mant = uint64_t{1} << 63;
    } else if (d != 0.0) {
        int e = 0;
        double fraction = std::frexp(std::fabs(d), &e); // |d| = fraction x 2^e
        mant = static_cast<uint64_t>(std::ldexp(fraction, 64));
        head |= static_cast<uint32_t>(e - 1 + 16383);
    }
    out[0] = static_cast<uint8_t>(head >> 8);
    out[1] = static_cast<uint8_t>(head);
    for (int i = 0; i < 8; ++i)
        out[2 + i] = static_cast<uint8_t>(mant >> (56 - 8 * i));
}

// The reverse, exact or not at all: a finite value is taken when its
// significant bits fit the double's 53 and lie within its range (down to the
// last bit of the smallest subnormal). Infinities are infinities; a NaN keeps
// its sign and the top 52 bits of its payload (a payload only in the low bits
// becomes the quiet NaN). Denormal and unnormal forms (integer bit clear) are
// read by their value.
bool QxdbRealFromServer(const uint8_t in[10], double &d)
{
    uint32_t head = static_cast<uint32_t>((in[0] << 8) | in[1]);
    uint64_t mant = 0;
    for (int i = 0; i < 8; ++i)
        mant = (mant << 8) | in[2 + i];
    bool negative = (head & 0x8000) != 0;
    int sexp = static_cast<int>(head & 0x7FFF);
    if (sexp == 0x7FFF) {
        uint64_t payload = (mant << 1) >> 12; // below the integer bit, top 52 bits
        if ((mant << 1) == 0) {
            d = negative ? -std::numeric_limits<double>::infinity()
                         : std::numeric_limits<double>::infinity();
            return true;
        }
        if (payload == 0)
            payload = uint64_t{1} << 51;
        uint64_t bits = (negative ? uint64_t{1} << 63 : 0) | (uint64_t{0x7FF} << 52) | payload;
        std::memcpy(&d, &bits, sizeof d);
        return true;
    }
    if (mant == 0) {
        d = negative ? -0.0 : 0.0;
        return true;
    }
    int low = std::countr_zero(mant);
    int high = 63 - std::countl_zero(mant);
    int scale = (sexp == 0 ? 1 : sexp) - 16383 - 63; // value = mant x 2^scale
    if (high + scale > 1023 || low + scale < -1074 || high - low > 52)
        return false;
    d = std::ldexp(static_cast<double>(mant >> low), low + scale); // exact
    if (negative)
        d = -d;
    return true;
}

// ---------------------------------------------------------------- Writer

void Writer::Put16(int32_t v)
{
    out_.resize(out_.size() + 2);
    Set16(out_.size() - 2, v);
}

void Writer::Put32(int64_t v)
{
    out_.resize(out_.size() + 4);
    Set32(out_.size() - 4, v);
}

void Writer::Set16(size_t at, int32_t v) { QxdbStore16(out_.data() + at, v, big_); }

void Writer::Set32(size_t at, int64_t v) { QxdbStore32(out_.data() + at, v, big_); }

void Writer::PutBytes(const void *p, size_t n)
{
    const auto *b = static_cast<const uint8_t *>(p);
    out_.insert(out_.end(), b, b + n);
}

void Writer::PutReal(double d)
{
    uint8_t r[10];
    QxdbRealToServer(d, r);
    PutBytes(r, 10);
}

void Writer::PutName(const std::string &name, size_t slot)
{
    size_t n = name.size() < slot ? name.size() : slot - 1;
    if (n > 255)
        n = 255;
    Put8(static_cast<uint8_t>(n));
    PutBytes(name.data(), n);
    PutZeros(slot - 1 - n);
}

void Writer::PutValue(const Value &v, ValueForm form)
{
    switch (v.type) {
    case kTypeAlpha: {
        size_t n = v.bytes.size() > 255 ? 255 : v.bytes.size();
        Put8(static_cast<uint8_t>(n));
        PutBytes(v.bytes.data(), n);
        break;
    }
    case kTypeReal: PutReal(v.real); break;
    case kTypeText:
        if (form == kFormArray)
            Put16(static_cast<int32_t>(v.bytes.size()));
        else
            Put32(static_cast<int64_t>(v.bytes.size()));
        PutBytes(v.bytes.data(), v.bytes.size());
        break;
    case kTypePicture: {
        // A picture longer than 10 bytes starts with five 16-bit words, kept
        // in little-endian order in memory and written in the server's order.
        Put32(static_cast<int64_t>(v.bytes.size()));
        size_t head = v.bytes.size() > 10 ? 10 : 0;
        for (size_t i = 0; i < head; i += 2)
            Put16(static_cast<uint8_t>(v.bytes[i]) | (static_cast<uint8_t>(v.bytes[i + 1]) << 8));
        PutBytes(v.bytes.data() + head, v.bytes.size() - head);
        break;
    }
    case kTypeBlob:
        Put32(static_cast<int64_t>(v.bytes.size()));
        PutBytes(v.bytes.data(), v.bytes.size());
        break;
    case kTypeDate:
        Put16(v.day);
        Put16(v.month);
        Put16(v.year);
        break;
    case kTypeBoolean:
    case kTypeInteger: Put16(v.num); break;
    default: Put32(v.num); break; // long integer, time
    }
}

// ---------------------------------------------------------------- Reader

bool Reader::Get8(uint8_t &v)
{
    if (left() < 1)
        return false;
    v = p_[at_++];
    return true;
}

bool Reader::Get16(int16_t &v)
{
    if (left() < 2)
        return false;
    v = QxdbLoad16(p_ + at_, big_);
    at_ += 2;
    return true;
}

bool Reader::Get32(int32_t &v)
{
    if (left() < 4)
        return false;
    v = QxdbLoad32(p_ + at_, big_);
    at_ += 4;
    return true;
}

bool Reader::GetBytes(std::string &s, size_t n)
{
    if (left() < n)
        return false;
    s.assign(reinterpret_cast<const char *>(p_ + at_), n);
    at_ += n;
    return true;
}

bool Reader::Skip(size_t n)
{
    if (left() < n)
        return false;
    at_ += n;
    return true;
}

bool Reader::GetName(std::string &name, size_t slot, bool &tooLong)
{
    tooLong = false;
    if (left() < slot)
        return false;
    size_t n = p_[at_];
    if (n > slot - 1) {
        tooLong = true;
        return false;
    }
    name.assign(reinterpret_cast<const char *>(p_ + at_ + 1), n);
    at_ += slot;
    return true;
}

bool Reader::GetPrefixed(std::string &name)
{
    uint8_t n = 0;
    return Get8(n) && GetBytes(name, n);
}

bool Reader::GetValue(Value &v, int type, ValueForm form)
{
    size_t start = at_;
    if (form == kFormSearch) {
        if (left() < kSearchValueSize)
            return false;
        uint8_t t = 0, spare = 0;
        Get8(t);
        Get8(spare);
        Reader inner(p_ + at_, kSearchValueSize - 2, big_);
        if (t == kTypeText || t == kTypePicture || t == kTypeBlob)
            return false;
        if (!inner.GetValue(v, t, kFormArray)) {
            realRefused_ = inner.RealRefused();
            return false;
        }
        at_ = start + kSearchValueSize;
        return true;
    }
    v = Value::Empty(static_cast<uint8_t>(type));
    int16_t s16 = 0;
    int32_t s32 = 0;
    switch (type) {
    case kTypeAlpha: return GetPrefixed(v.bytes);
    case kTypeReal: {
        if (left() < 10)
            return false;
        if (!QxdbRealFromServer(p_ + at_, v.real)) {
            realRefused_ = true;
            return false;
        }
        at_ += 10;
        return true;
    }
    case kTypeText:
        if (form == kFormArray) {
            if (!Get16(s16) || s16 < 0)
                return false;
            return GetBytes(v.bytes, static_cast<size_t>(s16));
        }
        return Get32(s32) && s32 >= 0 && GetBytes(v.bytes, static_cast<size_t>(s32));
    case kTypePicture: {
        if (!Get32(s32) || s32 < 0 || left() < static_cast<size_t>(s32))
            return false;
        size_t head = s32 > 10 ? 10 : 0;
        for (size_t i = 0; i < head; i += 2) {
            Get16(s16);
            auto u = static_cast<uint16_t>(s16);
            v.bytes.push_back(static_cast<char>(u & 0xFF));
            v.bytes.push_back(static_cast<char>(u >> 8));
        }
        std::string rest;
        GetBytes(rest, static_cast<size_t>(s32) - head);
        v.bytes += rest;
        return true;
    }
    case kTypeBlob: return Get32(s32) && s32 >= 0 && GetBytes(v.bytes, static_cast<size_t>(s32));
    case kTypeDate: {
        int16_t d = 0, m = 0, y = 0;
        if (!Get16(d) || !Get16(m) || !Get16(y))
            return false;
        v.day = d;
        v.month = m;
        v.year = y;
        return true;
    }
    case kTypeBoolean:
    case kTypeInteger:
        if (!Get16(s16))
            return false;
        v.num = s16;
        return true;
    case kTypeLongInt:
    case kTypeTime:
        if (!Get32(s32))
            return false;
        v.num = s32;
        return true;
    default: return false;
    }
}

} // namespace qxdb
