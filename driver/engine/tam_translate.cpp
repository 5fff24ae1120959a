// Calls into a translation library (see tam_translate.h).
#include "driver/engine/tam_translate.h"

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kErrorTextSize = 512;

bool IsCharType(int16_t t) { return t == 1 || t == 12 || t == -1; }

// Bytes of a value of sqlType when it is copied without a library.
int64_t CopyLength(int16_t sqlType, const void *in, int64_t inLength)
{
    if (inLength == -1) // SQL_NULL_DATA
        return 0;
    switch (sqlType) {
    case -7:
    case -6: return 1;
    case 4:
    case 7: return 4;
    case 5: return 2;
    case 6:
    case 8: return 8;
    case 9:
    case 10: return 6;
    case 11: return 16;
    case -5:
    case -4:
    case -3:
    case -2:
    case -1:
    case 1:
    case 2:
    case 3:
    case 12:
        if (inLength == -3) // SQL_NTS
            return static_cast<int64_t>(std::strlen(static_cast<const char *>(in))) + 1;
        return inLength < 0 ? 0 : inLength;
    default: return inLength < 0 ? 0 : inLength;
    }
}

} // namespace

bool TamTranslateToSource(const TamTranslator *t, rcErrorQueue *errors, int16_t sqlType,
                          const void *in, int64_t inLength, void *out, int64_t outSize,
                          int64_t *outLength)
{
    if (!t || !t->toSource) {
        if (in == out) {
            if (outLength)
                *outLength = inLength;
            return true;
        }
        int64_t n = std::min(CopyLength(sqlType, in, inLength), std::max<int64_t>(outSize, 0));
        if (n > 0)
            std::memmove(out, in, static_cast<size_t>(n));
        if (n < outSize)
            static_cast<char *>(out)[n] = '\0';
        if (outLength)
            *outLength = n;
        return true;
    }
    bool isChar = IsCharType(sqlType);
    int32_t size =
        static_cast<int32_t>(std::min<int64_t>(isChar ? outSize - 1 : outSize, INT32_MAX));
    if (size < 0)
        size = 0;
    int32_t got = 0;
    unsigned char errorText[kErrorTextSize] = {};
    int16_t errorLength = 0;
    int ok =
        t->toSource(t->option, sqlType, const_cast<void *>(in), static_cast<int32_t>(inLength), out,
                    size, &got, errorText, static_cast<int16_t>(kErrorTextSize - 1), &errorLength);
    if (ok) {
        // The library's answer is clamped to the room it was given.
        int64_t n = std::clamp<int64_t>(got, 0, size);
        if (outLength)
            *outLength = n;
        if (isChar && outSize > 0)
            static_cast<char *>(out)[n] = '\0';
        return true;
    }
    errorText[std::clamp<int>(errorLength, 0, static_cast<int>(kErrorTextSize - 1))] = '\0';
    rcErrPost(errors, RC_MSG_DRIVER_UNABLE_LOAD_TRANSLATE_DLL, nullptr, 0,
              reinterpret_cast<char *>(errorText));
    return false;
}

bool TamTranslateToDriver(const TamTranslator *t, int16_t sqlType, void *buffer, int64_t inLength,
                          int64_t bufferSize, char *errorText)
{
    errorText[0] = '\0';
    if (!t || !t->toDriver)
        return true;
    int32_t size = static_cast<int32_t>(std::clamp<int64_t>(bufferSize, 0, INT32_MAX));
    int32_t got = 0;
    int16_t errorLength = 0;
    int ok = t->toDriver(t->option, sqlType, buffer, static_cast<int32_t>(inLength), buffer, size,
                         &got, reinterpret_cast<unsigned char *>(errorText), 255, &errorLength);
    errorText[std::clamp<int>(errorLength, 0, 255)] = '\0';
    if (ok && sqlType == 1) {
        int64_t n = std::clamp<int64_t>(got, 0, size > 0 ? size - 1 : 0);
        if (size > 0)
            static_cast<char *>(buffer)[n] = '\0';
    }
    return ok != 0;
}
