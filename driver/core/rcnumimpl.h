// Internal helpers shared by the exact-numeric sources (not for other areas).
#pragma once

#include "driver/core/rcnum.h"
#include "driver/core/rcnumbig.h"

namespace rcnum {

// A MultiPrecisionNumber as sign and magnitude.
struct Unpacked {
    bool neg = false;
    int exp = 0;
    uint16_t status = 0;
    Big mag;
};

void unpack(const MultiPrecisionNumber &a, Unpacked &u);
// Packs u into a; a magnitude beyond 16 words or an exponent out of range
// leaves the overflow value (status 1) and returns false.
bool pack(const Unpacked &u, MultiPrecisionNumber &a);
void alignExponents(Unpacked &x, Unpacked &y);
void addSigned(const Unpacked &x, const Unpacked &y, Unpacked &r);
int compareMagnitudes(const Big &ma, int ea, const Big &mb, int eb);

} // namespace rcnum
