// Calls into a translation library: character data crossing between the
// driver and the data source.
//
// The connection loads the library and owns the TamTranslator that names its
// two functions and the translation option (driver/odbc/rctranslate.h); the
// table-access session keeps a pointer to it and passes names, user, password
// and character values through it. With no library loaded (null functions)
// values are copied unchanged.
//
//   TamTranslateToSource(translator, errors, ...)   SQLDriverToDataSource
//   TamTranslateToDriver(translator, ...)           SQLDataSourceToDriver
#pragma once

#include <cstddef>
#include <cstdint>

struct rcErrorQueue;

// The ODBC translation signature shared by both functions of a library.
using TamXlateFn = int (*)(uint32_t option, int16_t sqlType, void *in, int32_t inLength, void *out,
                           int32_t outSize, int32_t *outLength, unsigned char *errorText,
                           int16_t errorSize, int16_t *errorLength);

struct TamTranslator {
    TamXlateFn toSource = nullptr; // SQLDriverToDataSource; null when no library is loaded
    TamXlateFn toDriver = nullptr; // SQLDataSourceToDriver
    uint32_t option = 0;           // the translation option passed on every call
};

inline bool TamTranslatorLoaded(const TamTranslator *t) { return t && t->toSource && t->toDriver; }

// Converts in (inLength bytes, or SQL_NTS) into out (outSize bytes); true on
// success, also when no library is loaded (the value is copied). A failure
// posts 5167 with the library's text on errors. outLength may be null.
bool TamTranslateToSource(const TamTranslator *t, rcErrorQueue *errors, int16_t sqlType,
                          const void *in, int64_t inLength, void *out, int64_t outSize,
                          int64_t *outLength);
// Translates buffer in place; true on success. errorText (256 bytes)
// receives the library's text on failure; nothing is posted.
bool TamTranslateToDriver(const TamTranslator *t, int16_t sqlType, void *buffer, int64_t inLength,
                          int64_t bufferSize, char *errorText);
