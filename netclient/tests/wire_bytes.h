// Wire bytes written by hand from the layouts, for the byte-level tests of the
// client library and of the emulator. Neither side's codec is used here, so
// the tests check each codec against the layouts rather than against itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

using Bytes = std::vector<uint8_t>;

// A 16-bit or 32-bit number, big-endian when `bigEndian`, else little-endian.
Bytes WireNumber16(bool bigEndian, uint16_t v);
Bytes WireNumber32(bool bigEndian, uint32_t v);

// The parts one after the other.
Bytes Cat(std::initializer_list<Bytes> parts);

// A link frame: kind, 0, channel (big-endian 16), the announced length
// (big-endian 32), the marker 1 2 3 4, then the data.
Bytes LinkFrame(uint8_t kind, uint16_t channel, uint32_t length, const Bytes &data = {});

// Reads exactly n bytes from a socket, waiting up to five seconds for each
// part; fewer when the peer closed or time ran out.
Bytes ReadSocket(int fd, size_t n);
