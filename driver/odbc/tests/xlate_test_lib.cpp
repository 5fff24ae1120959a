// A translation library for tests: values going to the data source are
// upper-cased, values coming back lower-cased. Option 13 makes every call
// fail with a text; option 99 reports a length far beyond the buffer.
#include <cctype>
#include <cstdint>
#include <cstring>

namespace {

int Translate(uint32_t option, void *in, int32_t inLength, void *out, int32_t outSize,
              int32_t *outLength, unsigned char *errorText, int16_t errorSize, int16_t *errorLength,
              bool upper)
{
    if (option == 13) {
        const char *text = "refused by the test library";
        int16_t n = static_cast<int16_t>(std::strlen(text));
        if (n > errorSize)
            n = errorSize;
        std::memcpy(errorText, text, static_cast<size_t>(n));
        *errorLength = n;
        return 0;
    }
    int32_t n =
        inLength < 0 ? static_cast<int32_t>(std::strlen(static_cast<const char *>(in))) : inLength;
    if (n > outSize)
        n = outSize;
    const unsigned char *src = static_cast<const unsigned char *>(in);
    unsigned char *dst = static_cast<unsigned char *>(out);
    for (int32_t i = 0; i < n; ++i)
        dst[i] = static_cast<unsigned char>(upper ? std::toupper(src[i]) : std::tolower(src[i]));
    *outLength = option == 99 ? 1000000 : n;
    return 1;
}

} // namespace

extern "C" __attribute__((visibility("default"))) int
SQLDriverToDataSource(uint32_t option, int16_t, void *in, int32_t inLength, void *out,
                      int32_t outSize, int32_t *outLength, unsigned char *errorText,
                      int16_t errorSize, int16_t *errorLength)
{
    return Translate(option, in, inLength, out, outSize, outLength, errorText, errorSize,
                     errorLength, true);
}

#ifndef QX_XLATE_ONE_FUNCTION
extern "C" __attribute__((visibility("default"))) int
SQLDataSourceToDriver(uint32_t option, int16_t, void *in, int32_t inLength, void *out,
                      int32_t outSize, int32_t *outLength, unsigned char *errorText,
                      int16_t errorSize, int16_t *errorLength)
{
    return Translate(option, in, inLength, out, outSize, outLength, errorText, errorSize,
                     errorLength, false);
}
#endif
