#include "qxserver/srv_codec.h"

#include "qxserver/db/db_codec.h"

#include <cstring>

namespace qxs {

void EncodeFrameHeader(uint8_t out[12], uint8_t kind, uint16_t channel, uint32_t length)
{
    out[0] = kind;
    out[1] = 0;
    qxdb::QxdbStore16(out + 2, channel, true);
    qxdb::QxdbStore32(out + 4, length, true);
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
    out.channel = uint16_t(qxdb::QxdbLoad16(in + 2, true));
    out.length = uint32_t(qxdb::QxdbLoad32(in + 4, true));
    return true;
}

std::vector<uint8_t> EncodeHandshake(const std::string &serviceName)
{
    std::vector<uint8_t> b(kHandshakeSize, 0);
    qxdb::QxdbStore32(b.data(), kHandshakeSize, true);
    qxdb::QxdbStore32(b.data() + 4, 2, true);
    size_t n = std::min<size_t>(serviceName.size(), 63);
    b[8] = uint8_t(n);
    std::memcpy(b.data() + 9, serviceName.data(), n);
    return b;
}

void XorBody(uint8_t *body, size_t length, const uint8_t key[4])
{
    // Eight bytes at a time with the key repeated twice, then the last whole
    // group of four; the length mod 4 bytes at the end stay as they are.
    uint64_t k8;
    std::memcpy(&k8, key, 4);
    std::memcpy(reinterpret_cast<uint8_t *>(&k8) + 4, key, 4);
    size_t whole = length - length % 4;
    size_t j = 0;
    for (; j + 8 <= whole; j += 8) {
        uint64_t w;
        std::memcpy(&w, body + j, 8);
        w ^= k8;
        std::memcpy(body + j, &w, 8);
    }
    for (; j < whole; ++j)
        body[j] ^= key[j % 4];
}

} // namespace qxs
