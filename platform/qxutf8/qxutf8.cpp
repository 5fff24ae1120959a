// libqxutf8.so: an ODBC translation library between the driver's
// Windows-1252 and the UTF-8 of Linux applications.
//
// A data source names it with "TranslationDLL" (or a connection string with
// TranslationDLL=...); the driver loads it after connect and calls
//   SQLDataSourceToDriver  Windows-1252 -> UTF-8, for text going to the
//                          application (results, names, native SQL)
//   SQLDriverToDataSource  UTF-8 -> Windows-1252, for text coming from it
//                          (SQL text, parameters, catalog arguments)
// for character data (SQL_CHAR, SQL_VARCHAR, SQL_LONGVARCHAR); values of
// other types are copied unchanged.
//
// Lengths: the output length is always the whole converted length; only
// whole characters are written, as many as the output size holds, and no
// terminator. Nothing is lost on the way to UTF-8 (every byte has its
// character); on the way back a character that Windows-1252 lacks, or bytes
// that are not UTF-8, fail the call with a message naming the character and
// its byte position, so that nothing is replaced in silence.
//
// The translation option: bit 0 (TranslationOption=1) takes bytes that are
// not UTF-8 as Windows-1252 characters instead of refusing them, for
// applications that send Windows-1252 themselves.
//
// The library has no state and links nothing of the driver.
#include "platform/cp1252.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr int16_t kSqlChar = 1, kSqlVarchar = 12, kSqlLongVarchar = -1;
constexpr int32_t kSqlNts = -3;
constexpr uint32_t kOptionLenient = 1;

bool IsText(int16_t t) { return t == kSqlChar || t == kSqlVarchar || t == kSqlLongVarchar; }

int32_t InputLength(const void *in, int32_t length)
{
    if (length == kSqlNts)
        return in != nullptr ? static_cast<int32_t>(std::strlen(static_cast<const char *>(in))) : 0;
    return length < 0 ? 0 : length;
}

void PutError(unsigned char *text, int16_t size, int16_t *length, const char *message)
{
    int16_t n = static_cast<int16_t>(std::strlen(message));
    if (text == nullptr || size <= 0)
        n = 0;
    else if (n > size)
        n = size;
    if (n > 0)
        std::memcpy(text, message, static_cast<size_t>(n));
    if (length != nullptr)
        *length = n;
}

// Values that are not text.
int Copy(const void *in, int32_t inLength, void *out, int32_t outSize, int32_t *outLength)
{
    int32_t n = InputLength(in, inLength);
    int32_t copied = n < outSize ? n : (outSize > 0 ? outSize : 0);
    if (copied > 0 && out != in)
        std::memmove(out, in, static_cast<size_t>(copied));
    if (outLength != nullptr)
        *outLength = n;
    return 1;
}

int Utf8Length(uint16_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : 3; }

// One UTF-8 character starting at p (n bytes left): its code point and
// length, or 0 when the bytes are not UTF-8 (overlong forms and surrogates
// included).
int DecodeUtf8(const unsigned char *p, int32_t n, uint32_t *cp)
{
    unsigned char b = p[0];
    int len = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 0 || len > n)
        return 0;
    uint32_t c = len == 1 ? b : len == 2 ? (b & 0x1Fu) : len == 3 ? (b & 0x0Fu) : (b & 0x07u);
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (p[i] & 0x3Fu);
    }
    static constexpr uint32_t kLeast[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kLeast[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    *cp = c;
    return len;
}

} // namespace

extern "C" __attribute__((visibility("default"))) int
SQLDataSourceToDriver(uint32_t, int16_t sqlType, void *in, int32_t inLength, void *out,
                      int32_t outSize, int32_t *outLength, unsigned char *, int16_t,
                      int16_t *errorLength)
{
    if (errorLength != nullptr)
        *errorLength = 0;
    if (!IsText(sqlType) || inLength == -1)
        return Copy(in, inLength, out, outSize, outLength);
    int32_t n = InputLength(in, inLength);
    const auto *src = static_cast<const unsigned char *>(in);
    auto *dst = static_cast<unsigned char *>(out);
    // The whole length, and how many characters fit; then the characters
    // are written from the last one back, so that the output may be the
    // input's own buffer (it only grows).
    int32_t total = 0, fit = 0, fitBytes = 0;
    for (int32_t i = 0; i < n; ++i) {
        total += Utf8Length(PlatCp1252ToUnicode(src[i]));
        if (total <= outSize && fit == i) {
            fit = i + 1;
            fitBytes = total;
        }
    }
    int32_t at = fitBytes;
    for (int32_t i = fit; i-- > 0;) {
        uint16_t c = PlatCp1252ToUnicode(src[i]);
        int len = Utf8Length(c);
        at -= len;
        unsigned char *q = dst + at;
        if (len == 1) {
            q[0] = static_cast<unsigned char>(c);
        } else if (len == 2) {
            q[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
            q[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        } else {
            q[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
            q[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            q[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        }
    }
    if (outLength != nullptr)
        *outLength = total;
    return 1;
}

extern "C" __attribute__((visibility("default"))) int
SQLDriverToDataSource(uint32_t option, int16_t sqlType, void *in, int32_t inLength, void *out,
                      int32_t outSize, int32_t *outLength, unsigned char *errorText,
                      int16_t errorSize, int16_t *errorLength)
{
    if (errorLength != nullptr)
        *errorLength = 0;
    if (!IsText(sqlType) || inLength == -1)
        return Copy(in, inLength, out, outSize, outLength);
    int32_t n = InputLength(in, inLength);
    const auto *src = static_cast<const unsigned char *>(in);
    auto *dst = static_cast<unsigned char *>(out);
    // The output never outgrows the input, so in place is safe.
    int32_t total = 0;
    for (int32_t i = 0; i < n;) {
        uint32_t cp = 0;
        int len = DecodeUtf8(src + i, n - i, &cp);
        uint8_t byte = 0;
        char message[160];
        if (len == 0) {
            if (!(option & kOptionLenient)) {
                std::snprintf(message, sizeof message,
                              "Invalid UTF-8 byte 0x%02X at byte %ld of the text; the translation "
                              "library qxutf8 expects UTF-8.",
                              src[i], static_cast<long>(i) + 1);
                PutError(errorText, errorSize, errorLength, message);
                return 0;
            }
            byte = src[i];
            len = 1;
        } else if (!PlatUnicodeToCp1252(cp, &byte)) {
            std::snprintf(message, sizeof message,
                          "Character U+%04lX at byte %ld of the text has no Windows-1252 "
                          "counterpart; the data source cannot store it.",
                          static_cast<unsigned long>(cp), static_cast<long>(i) + 1);
            PutError(errorText, errorSize, errorLength, message);
            return 0;
        }
        if (total < outSize)
            dst[total] = byte;
        ++total;
        i += len;
    }
    if (outLength != nullptr)
        *outLength = total;
    return 1;
}
