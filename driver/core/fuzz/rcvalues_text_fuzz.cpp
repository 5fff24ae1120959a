// Fuzz target for the value text parsers: the number scanners, the
// date and time literal parser, and the conversion core reading text into
// every class (the first byte picks the destination type, the rest is the
// text, passed with its explicit length so that no terminator is assumed).
#include "driver/core/rccnv.h"
#include "driver/core/rccnvimpl.h"
#include "driver/core/rcdate.h"
#include "driver/core/rcnum.h"
#include "driver/core/rcnumprivate.h"

#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    static constexpr int16_t kTargets[] = {
        SQL_C_CHAR,   SQL_NUMERIC, SQL_C_BIT,       SQL_C_STINYINT,   SQL_C_UTINYINT, SQL_C_SSHORT,
        SQL_C_USHORT, SQL_C_SLONG, SQL_C_ULONG,     SQL_C_FLOAT,      SQL_C_DOUBLE,   SQL_C_BINARY,
        SQL_C_DATE,   SQL_C_TIME,  SQL_C_TIMESTAMP, RC_SQL_DECIMAL38, RC_SQL_SCALED64};
    const int16_t dstType = kTargets[data[0] % (sizeof kTargets / sizeof kTargets[0])];
    const int16_t precision = static_cast<int16_t>(data[0] % 40);
    const int16_t scale = static_cast<int16_t>((data[0] / 40) % 12);
    const char *text = reinterpret_cast<const char *>(data + 1);
    const int32_t len = static_cast<int32_t>(size - 1);

    alignas(8) unsigned char out[600];
    int32_t outLen = 0;
    for (int32_t dstLen : {0, 1, 7, 38, 600}) {
        std::memset(out, 0xA5, sizeof out);
        int rc = rcCnvConvertValue(text, SQL_CHAR, len, 1, out, dstType, dstLen, precision, scale,
                                   &outLen);
        // Nothing may be written past the destination length, nor anywhere
        // when the conversion fails.
        size_t untouched =
            (rc == kCnvCoreOk || rc == kCnvCoreTruncated) ? static_cast<size_t>(dstLen) : 0;
        for (size_t i = untouched; i < sizeof out; ++i)
            if (out[i] != 0xA5)
                __builtin_trap();
    }
    // Bytes read as binary into text and numeric text.
    rcCnvConvertValue(data, SQL_BINARY, static_cast<int32_t>(size), 1, out, SQL_C_CHAR, 64, 0, 0,
                      &outLen);
    rcCnvConvertValue(data, SQL_BINARY, static_cast<int32_t>(size), 1, out, SQL_NUMERIC, 64, 20, 4,
                      &outLen);

    // The bytes as a fixed-width value (double, timestamp, private decimal)
    // into text and numeric text of every length up to 40.
    static constexpr int16_t kFixed[] = {SQL_DOUBLE,    SQL_REAL,         SQL_INTEGER,
                                         SQL_TIMESTAMP, RC_SQL_DECIMAL38, RC_SQL_SCALED64};
    alignas(8) unsigned char value[sizeof(MultiPrecisionNumber)] = {};
    std::memcpy(value, data + 1, size - 1 < sizeof value ? size - 1 : sizeof value);
    const int16_t fixedType = kFixed[data[0] % (sizeof kFixed / sizeof kFixed[0])];
    for (int16_t textType : {SQL_C_CHAR, SQL_NUMERIC}) {
        for (int32_t dstLen = 0; dstLen <= 40; ++dstLen) {
            std::memset(out, 0xA5, sizeof out);
            int rc = rcCnvConvertValue(value, fixedType, 0, 0, out, textType, dstLen, precision,
                                       scale, &outLen);
            size_t untouched =
                (rc == kCnvCoreOk || rc == kCnvCoreTruncated) ? static_cast<size_t>(dstLen) : 0;
            for (size_t i = untouched; i < sizeof out; ++i)
                if (out[i] != 0xA5)
                    __builtin_trap();
            if (rc == kCnvCoreOk && dstLen > 0 &&
                std::memchr(out, '\0', static_cast<size_t>(dstLen)) == nullptr)
                __builtin_trap();
        }
    }

    std::string terminated(text, static_cast<size_t>(len));
    CnvScannedNumber scanned;
    rcCnvScanNumber(terminated.c_str(), scanned);
    NumScannedText decimal;
    rcNumScanText(terminated.c_str(), decimal);
    CnvTimestamp ts;
    int16_t cls;
    if (rcCnvParseDateTime(terminated.c_str(), ts, cls) == 0 && !rcCnvTimestampValid(ts) &&
        cls == kClsTimestamp)
        __builtin_trap();
    MultiPrecisionNumber num;
    if (rcCnvTextToDecimal(terminated.c_str(), num, 38, 38, 10) >= kCnvTruncated) {
        char back[600];
        int32_t backLen = 0;
        rcCnvPrivateToChar(num, back, sizeof back, &backLen);
    }
    // Arithmetic on arbitrary 38-byte images (the engine hands values around
    // as raw blocks): nothing may read or write out of bounds.
    if (size >= 1 + 2 * sizeof(MultiPrecisionNumber)) {
        MultiPrecisionNumber a, b, r;
        std::memcpy(&a, data + 1, sizeof a);
        std::memcpy(&b, data + 1 + sizeof a, sizeof b);
        rcNumOp(a, b, r);
        rcNumOpSubtract(a, b, r);
        rcNumOpMultiply(a, b, r);
        rcNumOpDivide(a, b, r);
        rcNumOpCompare(a, b);
        rcNumRoundTo(r, data[0] % 50 - 10);
        double d;
        rcNumToDouble(a, d);
        char text[600];
        int32_t textLen = 0;
        rcCnvPrivateToChar(b, text, sizeof text, &textLen);
    }
    return 0;
}
