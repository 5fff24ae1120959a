// The emulator's byte codec, for the transport (request and reply headers,
// link frames) and the database requests alike: numbers in the server's byte
// order, the 10-byte server real, length-prefixed names in fixed slots, and
// the wire forms of typed values. It is written from the wire layouts and
// shares no code with the client library, so each checks the other.
//
// The server's byte order is chosen per connection by the transport
// (`bigEndian`); every 16-bit and 32-bit number of a header or body follows
// it. The link layer's numbers and the real are always big-endian. A Reader
// never reads past the body it was given: every Get reports failure instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "qxserver/db/db_value.h"

namespace qxdb {

// The three value layouts of the protocol.
enum ValueForm {
    kFormFields, // field-value results and record buffers: 32-bit text lengths
    kFormArray,  // selection arrays: 16-bit text lengths, no type tag
    kFormSearch, // the 86-byte value of a search line: type byte, spare, payload
};

// A 16-bit or 32-bit number at `p`, big-endian when `bigEndian`, else
// little-endian.
void QxdbStore16(uint8_t *p, int32_t v, bool bigEndian);
void QxdbStore32(uint8_t *p, int64_t v, bool bigEndian);
int16_t QxdbLoad16(const uint8_t *p, bool bigEndian);
int32_t QxdbLoad32(const uint8_t *p, bool bigEndian);

// The server's 10-byte real and the emulator's double. Every double has an
// exact 10-byte form (NaN and infinities the format's own). A 10-byte value
// has a double only when it is exact: one beyond the double's range or
// precision gives false, and the emulator refuses to store or compare it.
void QxdbRealToServer(double d, uint8_t out[10]);
bool QxdbRealFromServer(const uint8_t in[10], double &d);

class Writer {
public:
    explicit Writer(bool bigEndian) : big_(bigEndian) {}
    void Put8(uint8_t v) { out_.push_back(v); }
    void Put16(int32_t v);
    void Put32(int64_t v);
    void PutBytes(const void *p, size_t n);
    void PutZeros(size_t n) { out_.insert(out_.end(), n, 0); }
    void PutReal(double d);
    // Length byte and characters in a slot of `slot` bytes (zero-filled);
    // the name is cut to slot - 1 characters.
    void PutName(const std::string &name, size_t slot);
    // A value's payload in `form` (kFormFields or kFormArray; no type tag).
    void PutValue(const Value &v, ValueForm form);
    void Set16(size_t at, int32_t v);
    void Set32(size_t at, int64_t v);
    size_t size() const { return out_.size(); }
    std::vector<uint8_t> &bytes() { return out_; }

private:
    bool big_;
    std::vector<uint8_t> out_;
};

class Reader {
public:
    Reader(const uint8_t *p, size_t n, bool bigEndian) : p_(p), n_(n), big_(bigEndian) {}
    bool Get8(uint8_t &v);
    bool Get16(int16_t &v);
    bool Get32(int32_t &v);
    bool GetBytes(std::string &s, size_t n);
    bool Skip(size_t n);
    // A length-prefixed name in a fixed slot of `slot` bytes: `tooLong` is
    // set when the length byte does not fit the slot.
    bool GetName(std::string &name, size_t slot, bool &tooLong);
    // A length-prefixed name with no slot (length byte, then the characters).
    bool GetPrefixed(std::string &name);
    // A value of server type `type` in `form`; kFormSearch reads the whole
    // 86-byte value (its own type byte first) and ignores `type`. Returns
    // false when the bytes run short or the type has no such form, and when
    // a real has no double (then RealRefused() tells).
    bool GetValue(Value &v, int type, ValueForm form);
    bool RealRefused() const { return realRefused_; }
    size_t offset() const { return at_; }
    size_t left() const { return n_ - at_; }

private:
    const uint8_t *p_;
    size_t n_;
    size_t at_ = 0;
    bool big_;
    bool realRefused_ = false;
};

} // namespace qxdb
