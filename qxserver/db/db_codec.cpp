// Byte codec of the emulator (see db_codec.h).
#include "qxserver/db/db_codec.h"

#include <cstring>

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

// Sign and 15-bit exponent (bias 16383), then a 64-bit mantissa with an
// explicit integer bit, big-endian. A double's exponent is moved by
// 16383 - 1023; its 52 fraction bits go below the integer bit, which is
// set for normal numbers.
void QxdbRealToServer(double d, uint8_t out[10])
{
    std::memset(out, 0, 10);
    uint64_t bits = DoubleBits(d);
    uint32_t sign = static_cast<uint32_t>(bits >> 63);
    uint32_t exp = static_cast<uint32_t>((bits >> 52) & 0x7FF);
    uint64_t frac = bits & ((uint64_t{1} << 52) - 1);
    if (exp == 0 && frac == 0) {
        if (sign)
            out[0] = 0x80;
        return;
    }
    uint32_t sexp = exp + 15360;
    uint64_t mant = (frac << 11) | (exp != 0 ? uint64_t{1} << 63 : 0);
    uint16_t head = static_cast<uint16_t>((sign << 15) | (sexp & 0x7FFF));
    out[0] = static_cast<uint8_t>(head >> 8);
    out[1] = static_cast<uint8_t>(head);
    for (int i = 0; i < 8; ++i)
        out[2 + i] = static_cast<uint8_t>(mant >> (56 - 8 * i));
}

double QxdbRealFromServer(const uint8_t in[10])
{
    uint16_t head = static_cast<uint16_t>((in[0] << 8) | in[1]);
    uint64_t mant = 0;
    for (int i = 0; i < 8; ++i)
        mant = (mant << 8) | in[2 + i];
    uint64_t sign = head >> 15;
    uint32_t sexp = head & 0x7FFF;
    double d;
    if (sexp == 0 && mant == 0) {
        uint64_t bits = sign << 63;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    uint64_t exp = static_cast<uint64_t>(sexp - 15360) & 0x7FF;
    uint64_t frac = (mant >> 11) & ((uint64_t{1} << 52) - 1);
    uint64_t bits = (sign << 63) | (exp << 52) | frac;
    std::memcpy(&d, &bits, sizeof d);
    return d;
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
        if (!inner.GetValue(v, t, kFormArray))
            return false;
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
        v.real = QxdbRealFromServer(p_ + at_);
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
