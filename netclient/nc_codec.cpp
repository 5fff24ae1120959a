// Login-key XOR and the conversion between host doubles and the server's
// 10-byte reals.
#include "netclient/nc_codec.h"

#include <bit>

namespace nc {

void XorWithSessionKey(uint8_t *body, size_t length, const uint8_t key[4])
{
    uint32_t k;
    std::memcpy(&k, key, 4);
    if (k == 0)
        return;
    size_t whole = length & ~size_t(3);
    for (size_t j = 0; j < whole; j += 4) {
        uint32_t w;
        std::memcpy(&w, body + j, 4);
        w ^= k;
        std::memcpy(body + j, &w, 4);
    }
}

void RealToServer(double value, uint8_t out[10])
{
    uint64_t bits = std::bit_cast<uint64_t>(value);
    uint16_t sign = uint16_t((bits >> 63) << 15);
    int exp = int((bits >> 52) & 0x7FF);
    uint64_t frac = bits & ((uint64_t(1) << 52) - 1);
    uint16_t e15;
    uint64_t mant;
    if (exp == 0x7FF) { // infinity, or NaN with its payload (quiet bit included)
        e15 = 0x7FFF;
        mant = (uint64_t(1) << 63) | (frac << 11);
    } else if (exp == 0 && frac == 0) {
        e15 = 0;
        mant = 0;
    } else if (exp == 0) { // denormal double: normalise, the wider exponent holds it
        int e = 1 - 1023 + 16383;
        mant = frac << 11;
        int shift = std::countl_zero(mant);
        mant <<= shift;
        e15 = uint16_t(e - shift);
    } else {
        e15 = uint16_t(exp - 1023 + 16383);
        mant = (uint64_t(1) << 63) | (frac << 11);
    }
    PlatPutBE16(out, uint16_t(sign | e15));
    PlatPutBE32(out + 2, uint32_t(mant >> 32));
    PlatPutBE32(out + 6, uint32_t(mant));
}

double RealFromServer(const uint8_t in[10])
{
    uint16_t se = PlatGetBE16(in);
    uint64_t sign = uint64_t(se >> 15) << 63;
    int e = se & 0x7FFF;
    uint64_t mant = (uint64_t(PlatGetBE32(in + 2)) << 32) | PlatGetBE32(in + 6);
    if (e == 0x7FFF) {
        uint64_t fraction = mant & ~(uint64_t(1) << 63);
        if (fraction == 0)
            return std::bit_cast<double>(sign | (uint64_t(0x7FF) << 52));
        // A NaN keeps the top 52 bits of its payload; one whose payload lies
        // only in the low 11 bits becomes the quiet NaN, never an infinity.
        uint64_t payload = fraction >> 11;
        if (payload == 0)
            payload = uint64_t(1) << 51;
        return std::bit_cast<double>(sign | (uint64_t(0x7FF) << 52) | payload);
    }
    if (mant == 0)
        return std::bit_cast<double>(sign);
    // Normalise (the integer bit may be clear in an unnormal or denormal value).
    int shift = std::countl_zero(mant);
    mant <<= shift;
    int unbiased = e - 16383 - shift;
    if (e == 0)
        unbiased += 1; // a denormal's exponent is that of the smallest normal
    if (unbiased > 1023)
        return std::bit_cast<double>(sign | (uint64_t(0x7FF) << 52));
    if (unbiased >= -1022) {
        uint64_t exp = uint64_t(unbiased + 1023);
        return std::bit_cast<double>(sign | (exp << 52) |
                                     ((mant >> 11) & ((uint64_t(1) << 52) - 1)));
    }
    int down = -1022 - unbiased; // into the double's denormal range, truncated
    if (down >= 53)
        return std::bit_cast<double>(sign);
    return std::bit_cast<double>(sign | (mant >> (11 + down)));
}

} // namespace nc
