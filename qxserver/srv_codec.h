// The link layer's blocks, built with the emulator's byte codec
// (qxserver/db/db_codec.h, which also codes request and reply headers and
// bodies in the server's order):
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
    kKindOpen = 1,
    kKindClose = 2,
    kKindData = 3,
    kKindPingOld = 7,
    kKindReconnect = 66,
    kKindPing = 249,
};

constexpr size_t kFrameHeaderSize = 12;
constexpr size_t kHandshakeSize = 72;

void EncodeFrameHeader(uint8_t out[12], uint8_t kind, uint16_t channel, uint32_t length);
// False when the marker bytes are wrong.
bool DecodeFrameHeader(const uint8_t in[12], FrameHeader &out);
std::vector<uint8_t> EncodeHandshake(const std::string &serviceName);

void XorBody(uint8_t *body, size_t length, const uint8_t key[4]);

} // namespace qxs
