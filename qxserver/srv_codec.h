// The emulator's own byte codec, written from the wire layouts (it shares no
// code with the client library, so each checks the other).
//
//   link frame header (12): kind, 0, channel BE16, length BE32, 1 2 3 4
//   link handshake (72):    BE32 72, BE32 2, service name (length byte first)
//   request header (6):     code 16-bit, body length 32-bit (server order)
//   reply header (6):       status 16-bit, body length 32-bit (server order)
//   bodies are XORed with the login key over whole 4-byte groups
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qxs {

struct FrameHeader {
    uint8_t kind = 0;
    uint16_t channel = 0;
    uint32_t length = 0;
};

enum : uint8_t {
    kKindOpen = 1, kKindClose = 2, kKindData = 3, kKindPingOld = 7, kKindReconnect = 66,
    kKindPing = 249,
};

constexpr size_t kFrameHeaderSize = 12;
constexpr size_t kHandshakeSize = 72;

void EncodeFrameHeader(uint8_t out[12], uint8_t kind, uint16_t channel, uint32_t length);
// False when the marker bytes are wrong.
bool DecodeFrameHeader(const uint8_t in[12], FrameHeader &out);
std::vector<uint8_t> EncodeHandshake(const std::string &serviceName);

// Numbers in the server's byte order: big-endian or little-endian.
struct Order {
    bool bigEndian = false;
    void Put16(uint8_t *p, int16_t v) const;
    void Put32(uint8_t *p, int32_t v) const;
    int16_t Get16(const uint8_t *p) const;
    int32_t Get32(const uint8_t *p) const;
};

void XorBody(uint8_t *body, size_t length, const uint8_t key[4]);

// Builder of a reply body in server order.
class BodyWriter {
public:
    explicit BodyWriter(Order o) : order_(o) {}
    void I16(int16_t v);
    void I32(int32_t v);
    void U8(uint8_t v) { bytes_.push_back(v); }
    void Bytes(const void *p, size_t n);
    std::vector<uint8_t> &Data() { return bytes_; }

private:
    Order order_;
    std::vector<uint8_t> bytes_;
};

// Bounds-checked reader of a request body.
class BodyReader {
public:
    BodyReader(const uint8_t *p, size_t n, Order o) : p_(p), n_(n), order_(o) {}
    int16_t I16();
    int32_t I32();
    uint8_t U8();
    const uint8_t *Bytes(size_t n);
    bool Ok() const { return ok_; }
    size_t Left() const { return n_ - pos_; }

private:
    const uint8_t *p_;
    size_t n_;
    size_t pos_ = 0;
    Order order_;
    bool ok_ = true;
};

} // namespace qxs
