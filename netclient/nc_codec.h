// Byte codec of the request/reply protocol.
//
// Numbers travel in the server's byte order: a connection either swaps every
// 16- and 32-bit number (server of the other byte order) or sends host order.
// NcWriter and NcReader work on a fixed span, never past its end: a writer
// that runs out of room and a reader asked for bytes that are not there both
// set a failed flag, which the caller checks once at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/byteorder.h"

namespace nc {

inline uint16_t Swap16(uint16_t v) { return uint16_t((v >> 8) | (v << 8)); }
inline uint32_t Swap32(uint32_t v) { return __builtin_bswap32(v); }

inline int16_t SwapShortForServer(bool swap, int16_t v)
{
    return swap ? int16_t(Swap16(uint16_t(v))) : v;
}
inline int32_t SwapLongForServer(bool swap, int32_t v)
{
    return swap ? int32_t(Swap32(uint32_t(v))) : v;
}

inline void Put16(uint8_t *p, int16_t v, bool swap)
{
    PlatPutHost16(p, uint16_t(SwapShortForServer(swap, v)));
}
inline void Put32(uint8_t *p, int32_t v, bool swap)
{
    PlatPutHost32(p, uint32_t(SwapLongForServer(swap, v)));
}
inline int16_t Get16(const uint8_t *p, bool swap)
{
    return SwapShortForServer(swap, int16_t(PlatGetHost16(p)));
}
inline int32_t Get32(const uint8_t *p, bool swap)
{
    return SwapLongForServer(swap, int32_t(PlatGetHost32(p)));
}
// Big-endian numbers of the link layer and discovery datagrams: PlatGetBE16 and
// the others of platform/byteorder.h.

class NcWriter {
public:
    NcWriter(uint8_t *buf, size_t capacity, bool swap) : buf_(buf), cap_(capacity), swap_(swap) {}
    void I16(int16_t v)
    {
        if (Room(2))
            Put16(buf_ + pos_, v, swap_), pos_ += 2;
    }
    void I32(int32_t v)
    {
        if (Room(4))
            Put32(buf_ + pos_, v, swap_), pos_ += 4;
    }
    void U8(uint8_t v)
    {
        if (Room(1))
            buf_[pos_++] = v;
    }
    void Bytes(const void *p, size_t n)
    {
        if (Room(n)) {
            if (n)
                std::memcpy(buf_ + pos_, p, n);
            pos_ += n;
        }
    }
    void Zeros(size_t n)
    {
        if (Room(n))
            std::memset(buf_ + pos_, 0, n), pos_ += n;
    }
    // A length-prefixed string: the length byte tells how many follow.
    void PString(const unsigned char *s) { Bytes(s, size_t(s[0]) + 1); }
    // A length-prefixed string in a fixed field of `width` bytes; the text is
    // cut to width - 1 characters, the rest of the field is zero.
    void PStringField(const unsigned char *s, size_t width)
    {
        if (!Room(width))
            return;
        size_t n = s ? s[0] : 0;
        if (n > width - 1)
            n = width - 1;
        std::memset(buf_ + pos_, 0, width);
        buf_[pos_] = uint8_t(n);
        if (n)
            std::memcpy(buf_ + pos_ + 1, s + 1, n);
        pos_ += width;
    }
    uint8_t *At(size_t off) { return buf_ + off; }
    size_t Size() const { return pos_; }
    bool Failed() const { return failed_; }
    bool Swap() const { return swap_; }

private:
    bool Room(size_t n)
    {
        if (failed_ || n > cap_ - pos_) {
            failed_ = true;
            return false;
        }
        return true;
    }
    uint8_t *buf_;
    size_t cap_;
    size_t pos_ = 0;
    bool swap_;
    bool failed_ = false;
};

class NcReader {
public:
    NcReader(const uint8_t *buf, size_t size, bool swap) : buf_(buf), size_(size), swap_(swap) {}
    int16_t I16()
    {
        if (!Have(2))
            return 0;
        int16_t v = Get16(buf_ + pos_, swap_);
        pos_ += 2;
        return v;
    }
    int32_t I32()
    {
        if (!Have(4))
            return 0;
        int32_t v = Get32(buf_ + pos_, swap_);
        pos_ += 4;
        return v;
    }
    uint8_t U8() { return Have(1) ? buf_[pos_++] : 0; }
    const uint8_t *Bytes(size_t n)
    {
        if (!Have(n))
            return nullptr;
        const uint8_t *p = buf_ + pos_;
        pos_ += n;
        return p;
    }
    size_t Left() const { return size_ - pos_; }
    size_t Pos() const { return pos_; }
    bool Failed() const { return failed_; }

private:
    bool Have(size_t n)
    {
        if (failed_ || n > size_ - pos_) {
            failed_ = true;
            return false;
        }
        return true;
    }
    const uint8_t *buf_;
    size_t size_;
    size_t pos_ = 0;
    bool swap_;
    bool failed_ = false;
};

// XORs body byte j with key byte j mod 4 over whole 4-byte groups; the last
// length mod 4 bytes stay as they are. Applying it twice restores the body.
void XorWithSessionKey(uint8_t *body, size_t length, const uint8_t key[4]);

// The server's 10-byte real: big-endian sign and 15-bit exponent (bias
// 16383), then a 64-bit mantissa with an explicit integer bit.
// Towards the server every double is exact: a normal number moves its
// exponent by 16383 - 1023 and sets the integer bit, a subnormal is
// normalised (the wider exponent holds it), -0.0 keeps its sign, infinities
// and NaN take the all-ones exponent (a NaN its payload below the integer
// bit). From the server the mantissa is cut to the double's 52 fraction bits
// without rounding; a value beyond the double's range is an infinity of its
// sign, one below it is cut into a subnormal or a zero of its sign, and a NaN
// stays a NaN. So every double comes back bit for bit.
void RealToServer(double value, uint8_t out[10]);
double RealFromServer(const uint8_t in[10]);

} // namespace nc
