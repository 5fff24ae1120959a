// The connection's translation library and text at the application
// boundary (see rctranslate.h).
#include "driver/odbc/rctranslate.h"

#include "driver/odbc/rcconn.h"
#include "driver/core/rcmem.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcstr.h"
#include "platform/cp1252.h"
#include "platform/module.h"
#include "platform/strings.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int16_t kErrorTextSize = 512;

// Every byte as one character of its own width.
void MeasureIdentity(rcConn *conn) { std::memset(conn->xlateWidth, 1, sizeof conn->xlateWidth); }

// Posts a failed conversion toward the driver: 22018 with the library's
// text (or ours).
// Posts a failed conversion toward the driver: 22018 with the library's
// text (or ours); with no queue the text is left in *keep instead.
bool PostRefused(rcErrorQueue *errors, const char *text, std::string *keep = nullptr)
{
    if (errors != nullptr)
        rcErrPostState(errors, "22018", 0, text);
    else if (keep != nullptr)
        *keep = text;
    return false;
}

// The Windows-1252 byte of UTF-16 unit u; false (posted) when there is none.
bool NarrowUnit(rcErrorQueue *errors, uint16_t u, int64_t position, char *out, std::string *keep)
{
    uint8_t byte = 0;
    if (u >= 0xD800 && u <= 0xDFFF ? false : PlatUnicodeToCp1252(u, &byte)) {
        *out = static_cast<char>(byte);
        return true;
    }
    char text[160];
    std::snprintf(text, sizeof text,
                  "Character U+%04X at position %ld of the text has no Windows-1252 counterpart; "
                  "the data source cannot store it.",
                  u, static_cast<long>(position) + 1);
    return PostRefused(errors, text, keep);
}

// Calls SQLDataSourceToDriver on in (n bytes) into out (size bytes, no
// terminator); *got the library's whole length. False (posted) on failure.
bool LibraryToApp(rcConn *conn, rcErrorQueue *errors, const char *in, int32_t n, char *out,
                  int32_t size, int32_t *got)
{
    unsigned char errorText[kErrorTextSize] = {};
    int16_t errorLength = 0;
    *got = 0;
    if (n == 0)
        return true;
    int ok = conn->xlate.toDriver(conn->xlate.option, SQL_CHAR, const_cast<char *>(in), n, out,
                                  size, got, errorText, kErrorTextSize - 1, &errorLength);
    if (ok && *got >= 0)
        return true;
    errorText[std::clamp<int>(errorLength, 0, kErrorTextSize - 1)] = '\0';
    if (errors != nullptr)
        rcErrPost(errors, RC_MSG_DRIVER_UNABLE_LOAD_TRANSLATE_DLL, nullptr, 0,
                  reinterpret_cast<char *>(errorText));
    return false;
}

} // namespace

void rcXlateUnload(rcConn *conn)
{
    if (conn->xlateModule)
        PlatFreeModule(conn->xlateModule);
    rcMemFree(conn->xlateName);
    conn->xlateName = nullptr;
    conn->xlateModule = nullptr;
    conn->xlate.toSource = nullptr;
    conn->xlate.toDriver = nullptr;
    MeasureIdentity(conn);
}

void rcXlateMeasure(rcConn *conn)
{
    MeasureIdentity(conn);
    if (!conn->xlate.toDriver)
        return;
    for (int b = 1; b < 256; ++b) {
        char in = static_cast<char>(b);
        char out[16];
        int32_t got = 0;
        unsigned char errorText[kErrorTextSize];
        int16_t errorLength = 0;
        // A byte the library refuses or blows up keeps width 1: the value's
        // own call reports the failure.
        if (conn->xlate.toDriver(conn->xlate.option, SQL_CHAR, &in, 1, out, sizeof out, &got,
                                 errorText, kErrorTextSize - 1, &errorLength) &&
            got > 0 && got <= 8)
            conn->xlateWidth[b] = static_cast<uint8_t>(got);
    }
}

int16_t rcXlateLoad(rcConn *conn, const char *name)
{
    if (!name)
        return static_cast<int16_t>(rcErrRaise(&conn->errors, RC_MSG_INVALID_ARGUMENT_VALUE));
    if (!*name) {
        rcXlateUnload(conn);
        return 0;
    }
    size_t n = strnlen(name, kRcXlateNameMax + 1);
    if (n > kRcXlateNameMax) // a cut name would load another file
        return static_cast<int16_t>(
            rcErrRaise(&conn->errors, RC_MSG_DRIVER_UNABLE_LOAD_TRANSLATE_DLL));
    char *copy = static_cast<char *>(rcMemAlloc(n + 1));
    if (!copy)
        return static_cast<int16_t>(rcErrRaise(&conn->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    std::memcpy(copy, name, n);
    copy[n] = '\0';
    PlatModule *module = PlatLoadModule(copy);
    void *toSource = module ? PlatModuleSymbol(module, "SQLDriverToDataSource") : nullptr;
    void *toDriver = module ? PlatModuleSymbol(module, "SQLDataSourceToDriver") : nullptr;
    if (!module || !toSource || !toDriver) {
        if (module)
            PlatFreeModule(module);
        rcMemFree(copy);
        return static_cast<int16_t>(
            rcErrRaise(&conn->errors, RC_MSG_DRIVER_UNABLE_LOAD_TRANSLATE_DLL));
    }
    rcXlateUnload(conn);
    conn->xlateName = copy;
    conn->xlateModule = module;
    conn->xlate.toSource = reinterpret_cast<TamXlateFn>(toSource);
    conn->xlate.toDriver = reinterpret_cast<TamXlateFn>(toDriver);
    rcXlateMeasure(conn);
    return 0;
}

bool rcConnTakeTranslationKey(rcConn *conn, const char *key, size_t keyLength, const char *value,
                              size_t valueLength)
{
    auto is = [&](const char *name) {
        return std::strlen(name) == keyLength && PlatAsciiCaseCompareN(name, key, keyLength) == 0;
    };
    char *slot = is("TranslationDLL")      ? conn->xlateConnName
                 : is("TranslationOption") ? conn->xlateConnOption
                                           : nullptr;
    if (!slot)
        return false;
    size_t size = slot == conn->xlateConnName ? sizeof conn->xlateConnName
                                              : sizeof conn->xlateConnOption;
    if (slot[0] != '\0')
        return true; // the first occurrence wins
    if (valueLength >= 2 && value[0] == '{' && value[valueLength - 1] == '}') {
        ++value;
        valueLength -= 2;
    }
    // A name too long for the slot would load another file: it is kept cut
    // to one character more than a name may have, which rcXlateLoad refuses.
    size_t n = std::min(valueLength, size - 1);
    std::memcpy(slot, value, n);
    slot[n] = '\0';
    return true;
}

bool rcXlateToDataSource(rcConn *conn, rcErrorQueue *stmtErrors, int16_t sqlType, const void *in,
                         int64_t inLength, void *out, int64_t outSize, int64_t *outLength)
{
    return TamTranslateToSource(&conn->xlate, stmtErrors ? stmtErrors : &conn->errors, sqlType, in,
                                inLength, out, outSize, outLength);
}

bool rcXlateToDriver(rcConn *conn, int16_t sqlType, void *buffer, int64_t inLength,
                     int64_t bufferSize, char *errorText)
{
    return TamTranslateToDriver(&conn->xlate, sqlType, buffer, inLength, bufferSize, errorText);
}

bool rcXlateIsText(int16_t t) { return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR; }

uint32_t rcXlateMaxWidth(const rcConn *conn)
{
    if (!rcXlateLoaded(conn))
        return 1;
    uint32_t most = 1;
    for (uint8_t w : conn->xlateWidth)
        most = std::max<uint32_t>(most, w);
    return most;
}

rcXlateMode rcXlateModeOf(const rcConn *conn, int16_t cType, int16_t sqlType)
{
    if (cType == SQL_C_WCHAR)
        return RC_XLATE_WIDE;
    if (cType == SQL_C_CHAR && rcXlateLoaded(conn) && rcXlateIsText(sqlType))
        return RC_XLATE_LIBRARY;
    return RC_XLATE_NONE;
}

bool rcXlateFromApp(rcConn *conn, rcErrorQueue *errors, rcXlateMode mode, const void *in,
                    int64_t length, std::string *out)
{
    out->clear();
    if (in == nullptr)
        return true;
    if (mode == RC_XLATE_WIDE) {
        const auto *units = static_cast<const unsigned char *>(in);
        int64_t n = 0;
        if (length == SQL_NTS)
            while (units[2 * n] != 0 || units[2 * n + 1] != 0)
                ++n;
        else
            n = length < 0 ? 0 : length / 2;
        out->resize(static_cast<size_t>(n));
        for (int64_t i = 0; i < n; ++i) {
            uint16_t u = 0;
            std::memcpy(&u, units + 2 * i, 2);
            if (!NarrowUnit(errors, u, i, &(*out)[static_cast<size_t>(i)], out))
                return false;
        }
        return true;
    }
    const char *text = static_cast<const char *>(in);
    int64_t n = length == SQL_NTS ? static_cast<int64_t>(std::strlen(text)) : std::max<int64_t>(length, 0);
    if (mode != RC_XLATE_LIBRARY || !rcXlateLoaded(conn) || n == 0) {
        out->assign(text, static_cast<size_t>(n));
        return true;
    }
    if (n > INT32_MAX)
        return PostRefused(errors, "The text is too long to translate.", out);
    // The library reports the whole length; a second call gets the room it
    // asked for when the first was too small.
    out->resize(static_cast<size_t>(n));
    for (int attempt = 0; attempt < 2; ++attempt) {
        int32_t got = 0;
        unsigned char errorText[kErrorTextSize] = {};
        int16_t errorLength = 0;
        int ok = conn->xlate.toSource(conn->xlate.option, SQL_CHAR, const_cast<char *>(text),
                                      static_cast<int32_t>(n), out->data(),
                                      static_cast<int32_t>(out->size()), &got, errorText,
                                      kErrorTextSize - 1, &errorLength);
        if (!ok) {
            errorText[std::clamp<int>(errorLength, 0, kErrorTextSize - 1)] = '\0';
            return PostRefused(errors,
                               errorText[0] ? reinterpret_cast<char *>(errorText)
                                            : "The translation library refused the text.",
                               out);
        }
        if (got >= 0 && static_cast<size_t>(got) <= out->size()) {
            out->resize(static_cast<size_t>(got));
            return true;
        }
        if (got < 0)
            break;
        out->resize(static_cast<size_t>(got));
    }
    return PostRefused(errors, "The translation library gave no consistent length.", out);
}

bool rcXlateToApp(rcConn *conn, rcErrorQueue *errors, const char *in, int64_t length,
                  std::string *out)
{
    int64_t n = length == SQL_NTS ? static_cast<int64_t>(std::strlen(in)) : std::max<int64_t>(length, 0);
    if (!rcXlateLoaded(conn) || n == 0 || n > INT32_MAX) {
        out->assign(in, static_cast<size_t>(n));
        return true;
    }
    int64_t total = 0;
    for (int64_t i = 0; i < n; ++i)
        total += conn->xlateWidth[static_cast<uint8_t>(in[i])];
    out->resize(static_cast<size_t>(total));
    int32_t got = 0;
    if (!LibraryToApp(conn, errors, in, static_cast<int32_t>(n), out->data(),
                      static_cast<int32_t>(total), &got))
        return false;
    out->resize(static_cast<size_t>(std::clamp<int64_t>(got, 0, total)));
    return true;
}

bool rcXlateCopyOut(rcConn *conn, char *out, const char *text, int64_t size, int64_t *full)
{
    if (!rcXlateLoaded(conn))
        return rcCopyOutString(out, text, size, full);
    std::string translated;
    // A text the library cannot give goes out as the driver has it; nothing
    // is posted (diagnostics themselves come this way).
    if (!rcXlateToApp(conn, nullptr, text, SQL_NTS, &translated))
        return rcCopyOutString(out, text, size, full);
    if (full)
        *full = static_cast<int64_t>(translated.size());
    if (out == nullptr || size <= 0)
        return !translated.empty();
    // Whole characters only: the cut falls after the last source byte whose
    // translation still fits.
    int64_t room = size - 1, used = 0, k = 0;
    for (size_t i = 0; text[i] != '\0'; ++i) {
        int64_t w = conn->xlateWidth[static_cast<uint8_t>(text[i])];
        if (used + w > room)
            break;
        used += w;
        ++k;
    }
    used = std::min<int64_t>(used, static_cast<int64_t>(translated.size()));
    std::memcpy(out, translated.data(), static_cast<size_t>(used));
    out[used] = '\0';
    return used < static_cast<int64_t>(translated.size());
}

int16_t rcXlateDeliverText(rcConn *conn, rcErrorQueue *errors, rcXlateMode mode,
                           std::vector<char> *scratch, rcXlateReadFn read, void *context,
                           void *value, int64_t bufferLength, SQLLEN *length, uint32_t maxLength,
                           rcXlatePiece *piece, bool *more)
{
    *more = false;
    // The driver's text from where the last piece stopped, whole.
    if (scratch->size() < 256)
        scratch->resize(256);
    int32_t left = 0;
    bool isNull = false;
    int32_t cap = static_cast<int32_t>(std::min<size_t>(scratch->size(), INT32_MAX));
    if (read(context, piece->source, scratch->data(), cap, &left, &isNull) != 0)
        return -1;
    if (!isNull && left >= cap) {
        scratch->resize(static_cast<size_t>(left) + 1);
        cap = left + 1;
        if (read(context, piece->source, scratch->data(), cap, &left, &isNull) != 0)
            return -1;
    }
    const int64_t unit = mode == RC_XLATE_WIDE ? 2 : 1;
    char *out = static_cast<char *>(value);
    bool hasRoom = out != nullptr && bufferLength >= unit;
    if (isNull) {
        if (hasRoom)
            std::memset(out, 0, static_cast<size_t>(unit));
        if (length)
            *length = SQL_NULL_DATA;
        return 0;
    }
    left = std::clamp<int32_t>(left, 0, cap - 1);
    const auto *src = reinterpret_cast<const unsigned char *>(scratch->data());
    // Room for whole units before the terminator; SQL_MAX_LENGTH counts what
    // the application received of the value.
    int64_t room = hasRoom ? (bufferLength / unit - 1) * unit : 0;
    int64_t limit = INT64_MAX;
    if (maxLength != 0)
        limit = maxLength > piece->delivered ? maxLength - piece->delivered : 0;
    // k bytes of the source fit into the buffer (m bytes out); the value's
    // rest is total bytes out, ended at the limit.
    int64_t total = 0, m = 0, k = 0;
    bool fits = true;
    for (int32_t i = 0; i < left; ++i) {
        int64_t w = mode == RC_XLATE_WIDE ? 2 : conn->xlateWidth[src[i]];
        if (total + w > limit)
            break;
        total += w;
        if (fits && total <= room) {
            m = total;
            ++k;
        } else {
            fits = false;
        }
    }
    if (mode == RC_XLATE_WIDE) {
        for (int64_t i = 0; i < k; ++i) {
            uint16_t u = PlatCp1252ToUnicode(src[i]);
            std::memcpy(out + 2 * i, &u, 2);
        }
    } else if (k > 0) {
        int32_t got = 0;
        if (!LibraryToApp(conn, errors, reinterpret_cast<const char *>(src),
                          static_cast<int32_t>(k), out, static_cast<int32_t>(room), &got))
            return -1;
        // A library whose answer is not its measure: what it wrote counts.
        if (got != m) {
            total += got - m;
            m = std::clamp<int64_t>(got, 0, room);
        }
    }
    if (hasRoom)
        std::memset(out + m, 0, static_cast<size_t>(unit));
    if (length)
        *length = static_cast<SQLLEN>(total);
    piece->source += static_cast<uint32_t>(k);
    piece->delivered += static_cast<uint32_t>(m);
    if (total <= m)
        return 0;
    *more = true;
    rcErrRaise(errors, RC_MSG_DATA_TRUNCATED);
    return 1;
}
