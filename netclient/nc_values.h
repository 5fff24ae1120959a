// Typed values between the caller's QXValue and their wire form.
//
// Wire forms by type (numbers in the server's order):
//   0 length-prefixed string      1 10-byte real
//   2 text: 32-bit length + bytes (16-bit length in selection arrays)
//   3 picture: 32-bit length + bytes, the first five 16-bit words swapped
//     when the length exceeds 10      30 BLOB: 32-bit length + bytes
//   4 three 16-bit numbers        6, 8 16-bit      9, 11 32-bit
// In memory (results handed to the caller) the same shapes hold host-order
// numbers, and a real is a host double in the first 8 of its 10 bytes.
#pragma once

#include "netclient/nc_codec.h"
#include "netclient/qxnetclient.h"

#include <cstddef>
#include <cstdint>

namespace nc {

enum class ValueForm { Fields, Array };

bool KnownType(int type);

// Appends the value in wire form; false for an unknown type or a handle that
// cannot be read (the writer's failed flag tells a lack of room).
bool PutWireValue(NcWriter &w, const QXValue &v);

// Converts one value at p (at most `left` bytes) in place from wire form to
// memory form (fromServer) or back; returns its size, or -1 when it does not
// fit or the type is unknown.
long ConvertValueInPlace(uint8_t *p, size_t left, int type, ValueForm form, bool swap,
                         bool fromServer);

// Converts a field-value result in place: `count` 32-bit offsets, each to an
// entry of a 16-bit type and a value. -9800 when any offset or value does not
// fit in `size` bytes.
int16_t ConvertFieldsResult(uint8_t *data, size_t size, int count, bool swap);

} // namespace nc
