// Unaligned 16- and 32-bit numbers in byte buffers: the one reader and writer
// of each width for each byte order (host, little-endian, big-endian). Files,
// wire frames and server records all go through these.
#pragma once

#include <cstdint>
#include <cstring>

// Host order (the data module's records, the server's numbers once swapped).
inline uint16_t PlatGetHost16(const void *p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
inline uint32_t PlatGetHost32(const void *p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline void PlatPutHost16(void *p, uint16_t v) { std::memcpy(p, &v, 2); }
inline void PlatPutHost32(void *p, uint32_t v) { std::memcpy(p, &v, 4); }

// Little-endian (sort files and records).
inline uint16_t PlatGetLE16(const void *p)
{
    const uint8_t *b = static_cast<const uint8_t *>(p);
    return uint16_t(b[0] | (b[1] << 8));
}
inline uint32_t PlatGetLE32(const void *p)
{
    const uint8_t *b = static_cast<const uint8_t *>(p);
    return b[0] | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}
inline void PlatPutLE16(void *p, uint16_t v)
{
    uint8_t *b = static_cast<uint8_t *>(p);
    b[0] = uint8_t(v);
    b[1] = uint8_t(v >> 8);
}
inline void PlatPutLE32(void *p, uint32_t v)
{
    uint8_t *b = static_cast<uint8_t *>(p);
    b[0] = uint8_t(v);
    b[1] = uint8_t(v >> 8);
    b[2] = uint8_t(v >> 16);
    b[3] = uint8_t(v >> 24);
}

// Big-endian (network link frames, discovery datagrams, four-character codes).
inline uint16_t PlatGetBE16(const void *p)
{
    const uint8_t *b = static_cast<const uint8_t *>(p);
    return uint16_t((b[0] << 8) | b[1]);
}
inline uint32_t PlatGetBE32(const void *p)
{
    const uint8_t *b = static_cast<const uint8_t *>(p);
    return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}
inline void PlatPutBE16(void *p, uint16_t v)
{
    uint8_t *b = static_cast<uint8_t *>(p);
    b[0] = uint8_t(v >> 8);
    b[1] = uint8_t(v);
}
inline void PlatPutBE32(void *p, uint32_t v)
{
    uint8_t *b = static_cast<uint8_t *>(p);
    b[0] = uint8_t(v >> 24);
    b[1] = uint8_t(v >> 16);
    b[2] = uint8_t(v >> 8);
    b[3] = uint8_t(v);
}
