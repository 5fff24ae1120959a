#include "qxserver/srv_codec.h"

#include <cstring>

namespace qxs {

void EncodeFrameHeader(uint8_t out[12], uint8_t kind, uint16_t channel, uint32_t length)
{
    out[0] = kind;
    out[1] = 0;
    out[2] = uint8_t(channel >> 8);
    out[3] = uint8_t(channel);
    out[4] = uint8_t(length >> 24);
    out[5] = uint8_t(length >> 16);
    out[6] = uint8_t(length >> 8);
    out[7] = uint8_t(length);
    out[8] = 1;
    out[9] = 2;
    out[10] = 3;
    out[11] = 4;
}

bool DecodeFrameHeader(const uint8_t in[12], FrameHeader &out)
{
    if (in[8] != 1 || in[9] != 2 || in[10] != 3 || in[11] != 4)
        return false;
    out.kind = in[0];
    out.channel = uint16_t((in[2] << 8) | in[3]);
    out.length = (uint32_t(in[4]) << 24) | (uint32_t(in[5]) << 16) | (uint32_t(in[6]) << 8) | in[7];
    return true;
}

std::vector<uint8_t> EncodeHandshake(const std::string &serviceName)
{
    std::vector<uint8_t> b(kHandshakeSize, 0);
    b[3] = 72;
    b[7] = 2;
    size_t n = std::min<size_t>(serviceName.size(), 63);
    b[8] = uint8_t(n);
    std::memcpy(b.data() + 9, serviceName.data(), n);
    return b;
}

void Order::Put16(uint8_t *p, int16_t v) const
{
    auto u = uint16_t(v);
    if (bigEndian) {
        p[0] = uint8_t(u >> 8);
        p[1] = uint8_t(u);
    } else {
        p[0] = uint8_t(u);
        p[1] = uint8_t(u >> 8);
    }
}

void Order::Put32(uint8_t *p, int32_t v) const
{
    auto u = uint32_t(v);
    for (int i = 0; i < 4; ++i)
        p[bigEndian ? 3 - i : i] = uint8_t(u >> (8 * i));
}

int16_t Order::Get16(const uint8_t *p) const
{
    return int16_t(bigEndian ? (p[0] << 8) | p[1] : (p[1] << 8) | p[0]);
}

int32_t Order::Get32(const uint8_t *p) const
{
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= uint32_t(p[bigEndian ? 3 - i : i]) << (8 * i);
    return int32_t(u);
}

void XorBody(uint8_t *body, size_t length, const uint8_t key[4])
{
    size_t whole = length - length % 4;
    for (size_t j = 0; j < whole; ++j)
        body[j] ^= key[j % 4];
}

void BodyWriter::I16(int16_t v)
{
    uint8_t b[2];
    order_.Put16(b, v);
    Bytes(b, 2);
}

void BodyWriter::I32(int32_t v)
{
    uint8_t b[4];
    order_.Put32(b, v);
    Bytes(b, 4);
}

void BodyWriter::Bytes(const void *p, size_t n)
{
    auto *b = static_cast<const uint8_t *>(p);
    bytes_.insert(bytes_.end(), b, b + n);
}

int16_t BodyReader::I16()
{
    const uint8_t *b = Bytes(2);
    return b ? order_.Get16(b) : 0;
}

int32_t BodyReader::I32()
{
    const uint8_t *b = Bytes(4);
    return b ? order_.Get32(b) : 0;
}

uint8_t BodyReader::U8()
{
    const uint8_t *b = Bytes(1);
    return b ? *b : 0;
}

const uint8_t *BodyReader::Bytes(size_t n)
{
    if (!ok_ || n > n_ - pos_) {
        ok_ = false;
        return nullptr;
    }
    const uint8_t *b = p_ + pos_;
    pos_ += n;
    return b;
}

} // namespace qxs
