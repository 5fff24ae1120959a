// Connection strings, keywords and data-source settings (see rcconnstr.h).
#include "driver/odbc/rcconnstr.h"

#include "driver/core/rcmem.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcstr.h"
#include "driver/core/rcstrings.h"
#include "driver/engine/tam.h"
#include "driver/engine/tam_drminfo.h"
#include "driver/odbc/rctranslate.h"
#include "platform/memory.h"
#include "platform/profile.h"
#include "platform/strings.h"

#include <cstring>
#include <new>

const rcKeywordDef rcKeywordTable[kRcStaticKeywords] = {
    {"DSN", 0, RC_ATTR_KIND_SOURCE, false, RC_KW_SOURCE},
    {"DRIVER", 0, RC_ATTR_KIND_SOURCE, false, RC_KW_SOURCE},
    {"UID", 0, RC_ATTR_KIND_VALUE, false, RC_KW_LOGIN},
    {"PWD", 0, RC_ATTR_KIND_VALUE, true, RC_KW_LOGIN},
    {"DBQ", 0, RC_ATTR_KIND_VALUE, false, RC_KW_CONNECT},
    {"CODEPAGE", 0, RC_ATTR_KIND_VALUE, false, RC_KW_CONNECT},
    {"QryPlan", 0, RC_ATTR_KIND_VALUE, false, RC_KW_ENGINE},
    {"DrmSpy", 0, RC_ATTR_KIND_VALUE, false, RC_KW_ENGINE},
    {"ValidateIndex", 0, RC_ATTR_KIND_VALUE, false, RC_KW_ENGINE},
    {"Statistics", 0, RC_ATTR_KIND_VALUE, false, RC_KW_ENGINE},
    {"SafeOpt", 0, RC_ATTR_KIND_VALUE, false, RC_KW_ENGINE},
    {"TxnModel", 0, RC_ATTR_KIND_VALUE, false, RC_KW_ENGINE},
    {"PrsSpy", 0, RC_ATTR_KIND_VALUE, false, RC_KW_ENGINE},
    {"NoJoinOpt", 0, RC_ATTR_KIND_VALUE, false, RC_KW_ENGINE},
    {"FiltSpy", 0, RC_ATTR_KIND_VALUE, false, RC_KW_ENGINE},
    {"NoFiltOpt", 0, RC_ATTR_KIND_VALUE, false, RC_KW_ENGINE},
    {"NoStackCheck", 0, RC_ATTR_KIND_VALUE, false, RC_KW_ENGINE},
    {"NoIndexes", 0, RC_ATTR_KIND_VALUE, false, RC_KW_ENGINE},
    {"MaxColSupport", 0, RC_ATTR_KIND_VALUE, false, RC_KW_ENGINE},
};

namespace {

constexpr size_t kBuildBufferSize = 16384;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

const char *SkipBlanks(const char *p)
{
    while (*p && IsBlank(*p))
        ++p;
    return p;
}

bool IsSourceKey(const char *key)
{
    return PlatAsciiCaseCompare(key, "DSN") == 0 || PlatAsciiCaseCompare(key, "DRIVER") == 0;
}

// A braced value starting at p ("{"): the character after its closing brace,
// "}}" inside standing for one "}". Null when no brace closes it.
const char *BracedEnd(const char *p)
{
    for (++p; *p; ++p) {
        if (*p != '}')
            continue;
        if (p[1] != '}')
            return p + 1;
        ++p; // "}}"
    }
    return nullptr;
}

// Characters an unbraced value other than DSN and DRIVER must not hold.
constexpr const char kUnbracedForbidden[] = "[]{}(),;?*=!@";

} // namespace

int rcConInitKeywords(rcConn *conn)
{
    conn->attrs = new (std::nothrow) rcConnAttr[kRcAttrTableSize]();
    if (!conn->attrs)
        return -1;
    for (uint32_t i = 0; i < kRcStaticKeywords; ++i) {
        conn->attrs[i].name = rcKeywordTable[i].keyword;
        conn->attrs[i].labelId = rcKeywordTable[i].labelId;
        conn->attrs[i].kind = rcKeywordTable[i].kind;
    }
    conn->firstDrmKeyword = kRcStaticKeywords;
    // The data module's own keywords, one per answer of item 6, until it
    // answers non-zero; the entry of that answer counts too.
    uint32_t count = kRcStaticKeywords;
    while (count < kRcAttrTableSize) {
        rcConnAttr &attr = conn->attrs[count];
        int32_t rc = TamGetDriverKeyword(attr.nameSlot, sizeof attr.nameSlot);
        if (rc != 0)
            attr.nameSlot[0] = '\0';
        attr.name = attr.nameSlot;
        attr.kind = RC_ATTR_KIND_VALUE;
        ++count;
        if (rc != 0)
            break;
    }
    conn->attrCount = count;
    return 0;
}

void rcConFreeKeywords(rcConn *conn)
{
    if (!conn->attrs)
        return;
    for (uint32_t i = 0; i < kRcAttrTableSize; ++i)
        rcListDestroy(conn->attrs[i].allowed);
    delete[] conn->attrs;
    conn->attrs = nullptr;
    conn->attrCount = 0;
}

int rcAttrParse(rcList *list, const char *text)
{
    const char *p = text;
    if (!p || !*p)
        return 0;
    for (;;) {
        p = SkipBlanks(p);
        const char *key = p;
        while (*p && *p != '=' && !IsBlank(*p))
            ++p;
        if (!*p || p == key)
            return RC_ATTR_SYNTAX;
        size_t keyLength = static_cast<size_t>(p - key);
        p = SkipBlanks(p);
        if (*p != '=')
            return RC_ATTR_NO_EQUALS;
        p = SkipBlanks(p + 1);
        const char *value = p;
        const char *valueEnd;
        if (*p == '{') {
            // A braced value holds any character, "}}" for "}", up to its
            // closing brace; only blanks may follow it. No closing brace is a
            // syntax error (the rest must not be taken for the value).
            p = BracedEnd(p);
            if (!p)
                return RC_ATTR_SYNTAX;
            valueEnd = p;
            p = SkipBlanks(p);
            if (*p && *p != ';')
                return RC_ATTR_SYNTAX;
        } else {
            while (*p && *p != ';')
                ++p;
            valueEnd = p;
        }
        rcAttrPair pair{key, keyLength, value, static_cast<size_t>(valueEnd - value)};
        if (rcListAppend(list, &pair) != 0)
            return RC_ATTR_NO_MEMORY;
        p = SkipBlanks(p);
        if (*p == ';')
            p = SkipBlanks(p + 1);
        if (!*p)
            return 0;
    }
}

int rcConnCheckValue(const char *key, const char *value)
{
    // DSN and DRIVER name things ("{QX Driver}"), so only the separators are
    // refused in them.
    if (IsSourceKey(key)) {
        size_t n = std::strlen(value);
        if (n >= 2 && value[0] == '{' && value[n - 1] == '}')
            return 0; // a braced name may hold anything
    }
    const char *forbidden = IsSourceKey(key) ? ";=" : kUnbracedForbidden;
    return std::strpbrk(value, forbidden) ? 1 : 0;
}

void rcConnSetAttr(rcConn *conn, uint32_t index, const char *value)
{
    rcConnAttr &attr = conn->attrs[index];
    size_t n = value ? strnlen(value, kRcAttrValueMax) : 0;
    if (value && value != attr.value)
        std::memmove(attr.value, value, n);
    attr.value[n] = '\0';
    attr.set = n > 0 ? 1 : 0;
}

int16_t rcConnParseConnStr(rcConn *conn, const char *text)
{
    rcList *pairs = rcListCreate(3, sizeof(rcAttrPair), false, 0);
    if (!pairs)
        return static_cast<int16_t>(rcErrRaise(&conn->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    int rc = rcAttrParse(pairs, text);
    if (rc != 0) {
        rcListDestroy(pairs);
        uint32_t id = rc == RC_ATTR_NO_MEMORY   ? RC_MSG_MEMORY_ALLOCATION_ERROR
                      : rc == RC_ATTR_NO_EQUALS ? RC_MSG_MISSING_CONNECTION_STRING
                                                : RC_MSG_SYNTAX_CONNECTION_STRING;
        return static_cast<int16_t>(rcErrRaise(&conn->errors, id));
    }
    bool unknown = false;
    int16_t result = 0;
    for (uint32_t i = 0; i < rcListCount(pairs); ++i) {
        const rcAttrPair *pair = static_cast<const rcAttrPair *>(rcListAt(pairs, i));
        if (pair->valueLength > kRcAttrValueMax) {
            result = static_cast<int16_t>(
                rcErrRaise(&conn->errors, RC_MSG_KEY_VALUE_CONNECTION_STRING_TOO));
            break;
        }
        rcConnAttr *attr = nullptr;
        for (uint32_t k = 0; k < conn->attrCount; ++k) {
            const char *name = conn->attrs[k].name;
            if (name && std::strlen(name) == pair->keyLength && pair->keyLength > 0 &&
                PlatAsciiCaseCompareN(name, pair->key, pair->keyLength) == 0) {
                attr = &conn->attrs[k];
                break;
            }
        }
        if (!attr) {
            // The translation library of a connection without a data source.
            if (!rcConnTakeTranslationKey(conn, pair->key, pair->keyLength, pair->value,
                                          pair->valueLength))
                unknown = true;
            continue;
        }
        if (attr->set)
            continue;
        if ((attr->kind & RC_ATTR_KIND_SOURCE) &&
            (conn->attrs[RC_ATTR_DSN].set || conn->attrs[RC_ATTR_DRIVER].set))
            continue;
        if (pair->value[0] == '{' && !IsSourceKey(attr->name)) {
            // Braced: the characters between the braces, any of them.
            size_t n = 0;
            for (size_t j = 1; j + 1 < pair->valueLength; ++j) {
                attr->value[n++] = pair->value[j];
                if (pair->value[j] == '}')
                    ++j; // the second brace of "}}"
            }
            attr->value[n] = '\0';
            attr->set = 1;
            continue;
        }
        std::memcpy(attr->value, pair->value, pair->valueLength);
        attr->value[pair->valueLength] = '\0';
        if (rcConnCheckValue(attr->name, attr->value)) {
            attr->value[0] = '\0';
            result =
                static_cast<int16_t>(rcErrRaise(&conn->errors, RC_MSG_KEY_VALUE_MUST_NOT_CONTAIN));
            break;
        }
        attr->set = 1;
    }
    rcListDestroy(pairs);
    if (result != 0)
        return result;
    if (unknown) {
        rcErrRaise(&conn->errors, RC_MSG_INVALID_CONNECTION_STRING_ATTRIBUTE);
        return 1;
    }
    return 0;
}

int16_t rcConnBuildConnStr(rcConn *conn, char *out, int64_t outSize, int64_t *outLength,
                           bool browse)
{
    std::string s;
    s.reserve(256);
    bool missingRequired = false;
    if (!browse) {
        for (uint32_t i = 0; i < conn->attrCount; ++i) {
            const rcConnAttr &a = conn->attrs[i];
            if (!a.set || !a.name || !*a.name)
                continue;
            s.append(a.name).append("=");
            size_t n = std::strlen(a.value);
            if (!IsSourceKey(a.name) && (std::strpbrk(a.value, kUnbracedForbidden) ||
                                         (n && (IsBlank(a.value[0]) || IsBlank(a.value[n - 1]))))) {
                // Written braced, so that the string reads back as it was.
                s.append("{");
                for (const char *c = a.value; *c; ++c)
                    s.append(*c == '}' ? "}}" : std::string(1, *c));
                s.append("}");
            } else {
                s.append(a.value);
            }
            s.append(";");
        }
    } else {
        for (uint32_t i = 0; i < conn->attrCount; ++i)
            if (!conn->attrs[i].set && (conn->attrs[i].kind & RC_ATTR_KIND_REQUIRED))
                missingRequired = true;
        bool sourceSet = conn->attrs[RC_ATTR_DSN].set || conn->attrs[RC_ATTR_DRIVER].set;
        for (uint32_t i = 0; i < conn->attrCount; ++i) {
            const rcConnAttr &a = conn->attrs[i];
            if (a.set || !a.name || !*a.name)
                continue;
            if (a.kind & RC_ATTR_KIND_SOURCE) {
                if (!sourceSet)
                    s.append(a.name).append("=?;");
                continue;
            }
            bool required = (a.kind & RC_ATTR_KIND_REQUIRED) != 0;
            if (!required && !((a.kind & RC_ATTR_KIND_VALUE) && missingRequired))
                continue;
            if (!required)
                s.append("*");
            s.append(a.name);
            if (a.labelId) {
                const char *label = rcUtlLoadString(a.labelId);
                s.append(":").append(label ? label : "");
            }
            s.append("=");
            if ((a.kind & RC_ATTR_KIND_LIST) && a.allowed) {
                s.append("{");
                for (uint32_t v = 0; v < rcListCount(a.allowed); ++v) {
                    const char *const *text =
                        static_cast<const char *const *>(rcListAt(a.allowed, v));
                    if (v)
                        s.append(",");
                    s.append(*text ? *text : "");
                }
                s.append("}");
            } else {
                s.append("?");
            }
            s.append(";");
        }
        if (!sourceSet)
            missingRequired = true;
    }
    if (s.size() >= kBuildBufferSize)
        s.resize(kBuildBufferSize - 1);
    int cut = rcCopyOutString(out, s.c_str(), outSize, outLength);
    if (browse && missingRequired)
        return 99;
    if (cut && out) {
        rcErrRaise(&conn->errors, RC_MSG_DATA_TRUNCATED);
        return 1;
    }
    return 0;
}

int rcConGetKeyword(rcConn *conn, const char *key, char *value)
{
    value[0] = '\0';
    const char *dsn = conn->attrs[RC_ATTR_DSN].value;
    if (*dsn) {
        PlatGetProfileString(dsn, key, "", value, static_cast<int>(kRcAttrValueMax + 1),
                             "odbc.ini");
        if (*value)
            return 1;
    }
    for (uint32_t i = 0; i < conn->attrCount; ++i) {
        const rcConnAttr &a = conn->attrs[i];
        if (a.name && *a.name && PlatAsciiCaseCompare(a.name, key) == 0) {
            if (!a.set)
                return 0;
            std::memcpy(value, a.value, std::strlen(a.value) + 1);
            return 1;
        }
    }
    return 0;
}

void rcConPassKeywords(rcConn *conn)
{
    char value[kRcAttrValueMax + 1];
    for (uint32_t i = conn->firstDrmKeyword; i < conn->attrCount; ++i) {
        rcConnAttr &a = conn->attrs[i];
        if (!a.name || !*a.name || !rcConGetKeyword(conn, a.name, value))
            continue;
        std::string text = std::string(a.name) + "," + value;
        int32_t rc = TamSetSessionText(conn->session, 3, text.c_str());
        if (conn->info.capabilities & RC_CAP_STORE_KEYWORDS)
            rcConnSetAttr(conn, i, value);
        if (rc != 0)
            break;
    }
}

void rcConnMarkBrowseRequired(rcConn *conn)
{
    auto mark = [conn](uint32_t index, bool required) {
        if (required)
            conn->attrs[index].kind |= RC_ATTR_KIND_REQUIRED;
        else
            conn->attrs[index].kind &= static_cast<uint16_t>(~RC_ATTR_KIND_REQUIRED);
    };
    uint32_t v = 0;
    mark(RC_ATTR_PWD, TamGetDriverInfo(kTamDriverPasswordSupport, &v, sizeof v) == 0 && v != 0);
    v = 0;
    mark(RC_ATTR_UID, TamGetDriverInfo(kTamDriverUserSupport, &v, sizeof v) == 0 && v != 0);
    char dbq[kRcAttrValueMax + 1];
    bool named = conn->attrs[RC_ATTR_DBQ].set || rcConGetKeyword(conn, "DBQ", dbq);
    mark(RC_ATTR_DBQ, !named);
}

void rcConnClearAttributes(rcConn *conn)
{
    conn->xlateConnName[0] = '\0';
    conn->xlateConnOption[0] = '\0';
    if (!conn->attrs)
        return;
    for (uint32_t i = 0; i < kRcAttrTableSize; ++i) {
        conn->attrs[i].set = 0;
        // Whole values: the password must not stay behind its terminator.
        PlatWipe(conn->attrs[i].value, sizeof conn->attrs[i].value);
    }
}

std::string rcConnMaskSecrets(const char *text)
{
    // Walks the pairs as rcAttrParse does; the whole value of a secret key
    // becomes "****", braced or not, and an unclosed brace masks the rest.
    std::string out;
    if (!text)
        return out;
    const char *p = text;
    while (*p) {
        const char *key = p;
        while (*p && *p != '=' && *p != ';')
            ++p;
        if (*p != '=') { // no value: copied as it stands
            if (*p)
                ++p;
            out.append(key, p);
            continue;
        }
        const char *k = SkipBlanks(key);
        const char *kEnd = p;
        while (kEnd > k && IsBlank(kEnd[-1]))
            --kEnd;
        out.append(key, ++p); // the key and "="
        const char *value = p;
        const char *v = SkipBlanks(p);
        if (*v == '{') {
            const char *end = BracedEnd(v);
            p = end ? end : value + std::strlen(value);
        }
        while (*p && *p != ';')
            ++p;
        bool secret = false;
        for (const rcKeywordDef &kw : rcKeywordTable)
            if (kw.secret && std::strlen(kw.keyword) == static_cast<size_t>(kEnd - k) &&
                PlatAsciiCaseCompareN(k, kw.keyword, static_cast<size_t>(kEnd - k)) == 0)
                secret = true;
        if (secret)
            out.append("****");
        else
            out.append(value, p);
        if (*p == ';')
            out.push_back(*p++);
    }
    return out;
}
