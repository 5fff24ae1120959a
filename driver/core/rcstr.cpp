#include "driver/core/rcstr.h"

#include "driver/core/rcmem.h"
#include "driver/core/rcmsgid.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/strings.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

char Upper(char c) { return PlatAsciiUpper(c); }

} // namespace

int64_t rcStrCountEscaped(const char *text, int64_t length, char escape)
{
    if (!text)
        return 0;
    if (length == RC_ARG_NTS && !escape)
        return static_cast<int64_t>(std::strlen(text));
    int64_t count = 0;
    for (int64_t i = 0; length == RC_ARG_NTS ? text[i] != '\0' : i < length; ++i) {
        char next = (length == RC_ARG_NTS || i + 1 < length) ? text[i + 1] : '\0';
        if (escape && text[i] == escape && (next == escape || next == '_' || next == '%'))
            ++i; // the escaped character is the one counted
        ++count;
    }
    return count;
}

uint32_t rcArgCopyString(rcArgString *out, const char *text, int64_t length, int64_t maximum,
                         char escape)
{
    out->text = nullptr;
    out->owned = 0;
    if (!text || length == RC_ARG_NULL_DATA)
        return RC_MSG_NO_ERROR;
    if (length < 0 && length != RC_ARG_NTS)
        return RC_MSG_INVALID_STRING_BUFFER_LENGTH;
    if (maximum == kRcArgNoMaximum && length == RC_ARG_NTS) {
        out->text = text;
        return RC_MSG_NO_ERROR;
    }
    int64_t count = rcStrCountEscaped(text, length, escape);
    if (maximum == 0)
        return RC_MSG_DRIVER_NOT_CAPABLE;
    if (maximum != kRcArgNoMaximum && count > maximum)
        return RC_MSG_INVALID_STRING_BUFFER_LENGTH;
    if (length == RC_ARG_NTS) {
        out->text = text;
        return RC_MSG_NO_ERROR;
    }
    auto *copy = static_cast<char *>(rcMemAlloc(static_cast<size_t>(length) + 1));
    if (!copy)
        return RC_MSG_MEMORY_ALLOCATION_ERROR;
    std::memcpy(copy, text, static_cast<size_t>(length));
    copy[length] = '\0';
    out->text = copy;
    out->owned = 1;
    return RC_MSG_NO_ERROR;
}

void rcArgFreeStrings(rcArgString *pairs, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (pairs[i].owned)
            rcMemFree(const_cast<char *>(pairs[i].text));
        pairs[i].text = nullptr;
        pairs[i].owned = 0;
    }
}

int rcCopyOutString(char *output, const char *text, int64_t size, int64_t *length)
{
    size_t len = text ? std::strlen(text) : 0;
    if (length)
        *length = static_cast<int64_t>(len);
    if (!output)
        return 0;
    if (size <= 0)
        return len > 0 ? 1 : 0;
    if (len >= static_cast<uint64_t>(size)) {
        std::memcpy(output, text, static_cast<size_t>(size - 1));
        output[size - 1] = '\0';
        return 1;
    }
    std::memcpy(output, text ? text : "", len);
    output[len] = '\0';
    return 0;
}

bool rcCatPatternHasWildcards(const char *pattern, char escape)
{
    if (!pattern)
        return false;
    for (const char *p = pattern; *p; ++p) {
        if (escape && *p == escape) {
            if (p[1] == '\0')
                break;
            ++p;
            continue;
        }
        if (*p == '%' || *p == '_')
            return true;
    }
    return false;
}

const char *rcStrFindKeyword(const char *text, const char *word)
{
    if (!text || !word || !*word)
        return nullptr;
    size_t wlen = std::strlen(word);
    bool quoted = false;
    for (const char *p = text; *p; ++p) {
        if (*p == '\'') {
            if (quoted && p[1] == '\'') {
                ++p; // a literal quote inside the quoted part
                continue;
            }
            quoted = !quoted;
            continue;
        }
        if (quoted)
            continue;
        size_t i = 0;
        while (i < wlen && p[i] && Upper(p[i]) == Upper(word[i]))
            ++i;
        if (i == wlen)
            return p;
    }
    return nullptr;
}

char *rcStrTrimSet(char *text, const char *characters)
{
    if (!text)
        return nullptr;
    if (!characters || !*characters)
        return text;
    char *start = text;
    while (*start && std::strchr(characters, *start))
        ++start;
    size_t len = std::strlen(start);
    while (len > 0 && std::strchr(characters, start[len - 1]))
        start[--len] = '\0';
    return start;
}

void rcStrDefaultCursorName(const void *handle, char *output, size_t size)
{
    if (output && size)
        std::snprintf(output, size, "SQL_CUR%lx",
                      static_cast<unsigned long>(reinterpret_cast<uintptr_t>(handle)));
}

int rcUtlStrCompare(const char *a, const char *b, int mode)
{
    int c = mode == 0 ? PlatAsciiCaseCompare(a, b) : std::strcmp(a, b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

int rcUtlCopyString(const char *source, char *destination, size_t size)
{
    std::strncpy(destination, source, size);
    return 0;
}

void rcUtlStripQuotes(char *text, char quote)
{
    if (!text || text[0] != quote)
        return;
    size_t len = std::strlen(text);
    std::memmove(text, text + 1, len); // the terminator moves too
    --len;
    if (len > 0 && text[len - 1] == quote)
        text[len - 1] = '\0';
}

void rcUtlTrimRight(char *text)
{
    if (!text)
        return;
    size_t len = std::strlen(text);
    while (len > 0 && text[len - 1] == ' ')
        text[--len] = '\0';
}

bool rcUtlIsDrivePath(const char *path)
{
    if (!path)
        return false;
    size_t len = std::strlen(path);
    if (len >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
        path[2] == '\\')
        return PlatFileExists(PlatMapWindowsPath(path).c_str());
    return path[0] == '/' && PlatFileExists(path);
}
