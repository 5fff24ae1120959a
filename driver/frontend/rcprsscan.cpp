// SQL scanner: cuts the statement text into tokens for the grammar.
//
// Longest match; among rules matching the same length the earlier rule wins:
// string literal, unsigned integer, approximate number, decimal number,
// NOT LIKE, quoted identifier, word (keyword or identifier), vendor
// brackets, operators and punctuation, path, white space. Identifiers,
// literals and paths get their own copy of their text in the parse arena;
// keywords and punctuation take their printable name from the symbol table.
#include <cstring>

#include "driver/frontend/rcprsctx.h"

namespace {

struct Keyword {
    const char *text;
    uint16_t token;
};

const Keyword kKeywords[] = {
    {"ADD", RC_T_ADD},
    {"ALL", RC_T_ALL},
    {"ALTER", RC_T_ALTER},
    {"AND", RC_T_AND},
    {"ANY", RC_T_ANY},
    {"AS", RC_T_AS},
    {"ASC", RC_T_ASC},
    {"AVG", RC_T_AVG},
    {"BETWEEN", RC_T_BETWEEN},
    {"BY", RC_T_BY},
    {"CASCADE", RC_T_CASCADE},
    {"CHECK", RC_T_CHECK},
    {"COUNT", RC_T_COUNT},
    {"CREATE", RC_T_CREATE},
    {"DEFAULT", RC_T_DEFAULT},
    {"DELETE", RC_T_DELETE},
    {"DESC", RC_T_DESC},
    {"DISTINCT", RC_T_DISTINCT},
    {"DROP", RC_T_DROP},
    {"EXISTS", RC_T_EXISTS},
    {"FOREIGN", RC_T_FOREIGN},
    {"FROM", RC_T_FROM},
    {"GRANT", RC_T_GRANT},
    {"GROUP", RC_T_GROUP},
    {"HAVING", RC_T_HAVING},
    {"IF", RC_T_IF},
    {"IN", RC_T_IN},
    {"INDEX", RC_T_INDEX},
    {"INSERT", RC_T_INSERT},
    {"INTO", RC_T_INTO},
    {"IS", RC_T_IS},
    {"JOIN", RC_T_JOIN},
    {"KEY", RC_T_KEY},
    {"LEFT", RC_T_LEFT},
    {"LIKE", RC_T_LIKE},
    {"MAX", RC_T_MAX},
    {"MIN", RC_T_MIN},
    {"NOT", RC_T_NOT},
    {"NULL", RC_T_NULL},
    {"ON", RC_T_ON},
    {"OR", RC_T_OR},
    {"ORDER", RC_T_ORDER},
    {"OUTER", RC_T_OUTER},
    {"PRIMARY", RC_T_PRIMARY},
    {"PUBLIC", RC_T_PUBLIC},
    {"REFERENCES", RC_T_REFERENCES},
    {"RESTRICT", RC_T_RESTRICT},
    {"REVOKE", RC_T_REVOKE},
    {"SELECT", RC_T_SELECT},
    {"SET", RC_T_SET},
    {"SUM", RC_T_SUM},
    {"SVBEGIN", RC_T_SVBEGIN},
    {"SVEND", RC_T_SVEND},
    {"TABLE", RC_T_TABLE},
    {"TO", RC_T_TO},
    {"UNION", RC_T_UNION},
    {"UNIQUE", RC_T_UNIQUE},
    {"UPDATE", RC_T_UPDATE},
    {"USER", RC_T_USER},
    {"VALUES", RC_T_VALUES},
    {"VIEW", RC_T_VIEW},
    {"WHERE", RC_T_WHERE},
};

const char *const kReserved[] = {
    "AUTHORIZATION", "COBOL",      "ESCAPE",    "LANGUAGE", "MODULE",
    "OPTION",        "PRIVILEGES", "PROCEDURE", "SCHEMA",
};

const Keyword kLabels[] = {
    {"FN", RC_TOK_ESC_FN},     {"CALL", RC_TOK_ESC_CALL}, {"D", RC_TOK_ESC_D},
    {"T", RC_TOK_ESC_T},       {"TS", RC_TOK_ESC_TS},     {"OJ", RC_TOK_ESC_OJ},
    {"PRED", RC_TOK_ESC_PRED},
};

constexpr size_t kMaxToken = 1100;    // a token this long fails the parse
constexpr size_t kMaxIdentifier = 64; // plain identifier
constexpr size_t kMaxQuoted = 65;     // quoted identifier, quotes included
constexpr size_t kMaxPath = 300;      // longest path

inline unsigned char At(const rcPrsScanner &s, size_t i)
{
    return static_cast<unsigned char>(s.text[i]);
}

inline bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
inline bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool IsWordStart(unsigned char c) { return IsLetter(c) || c >= 0x7F; }
inline bool IsWordChar(unsigned char c) { return IsWordStart(c) || IsDigit(c) || c == '_'; }
inline bool IsBlank(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
inline bool IsSeparator(unsigned char c) { return c == '\\' || c == '/'; }

inline char Upper(unsigned char c)
{
    return static_cast<char>((c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c);
}

bool EqualNoCase(const char *a, size_t len, const char *word)
{
    if (len == 0 || Upper(static_cast<unsigned char>(a[0])) != word[0])
        return false;
    size_t n = std::strlen(word);
    if (n != len)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (Upper(static_cast<unsigned char>(a[i])) != word[i])
            return false;
    return true;
}

// End of a word starting at i (a word-start byte).
size_t WordEnd(const rcPrsScanner &s, size_t i)
{
    while (IsWordChar(At(s, i)))
        ++i;
    return i;
}

// Length of a path starting at i, 0 when none starts there.
size_t PathLength(const rcPrsScanner &s, size_t i)
{
    size_t p = i;
    if (IsLetter(At(s, p)) && At(s, p + 1) == ':' && IsSeparator(At(s, p + 2)))
        p += 3;
    else if (At(s, p) == '\\' && At(s, p + 1) == '\\')
        p += 2;
    else if (IsSeparator(At(s, p)))
        p += 1;
    else
        return 0;
    // Components, each a word followed by a separator.
    for (;;) {
        if (!IsWordStart(At(s, p)))
            break;
        size_t end = WordEnd(s, p);
        if (!IsSeparator(At(s, end)))
            break;
        p = end + 1;
    }
    return p - i;
}

// A token ends right after an operand, where "/" and "\" are operators.
bool AfterOperand(int token)
{
    switch (token) {
    case RC_T_IDENTIFIER:
    case RC_T_CHAR_STR_LIT:
    case RC_T_USINT_LIT:
    case RC_T_DECNUM_LIT:
    case RC_T_APPROX_NUM_LIT:
    case RC_T_USER:
    case ')':
    case '?':
    case '}': return true;
    default: return false;
    }
}

void Consume(rcPrsScanner &s, size_t end)
{
    for (size_t i = s.pos; i < end; ++i)
        if (s.text[i] == '\n')
            ++s.line;
    s.pos = end;
    s.lastRead = static_cast<long>(end) - 1;
}

} // namespace

void rcPrsScanReset(rcPrsScanner *scan, const char *text, bool escapes)
{
    *scan = rcPrsScanner{};
    scan->text = text;
    scan->escapes = escapes;
}

namespace {

// Makes the token's node; RC_SCAN_FAIL when the arena is full.
int Emit(rcPrsContext *ctx, int token, const char *text, size_t len, rcParseNode **value)
{
    rcParseNode *node = rcPrsNewNameNodeN(ctx->arena, static_cast<uint16_t>(token), text, len);
    if (node == nullptr) {
        rcPrsFail(ctx, RC_PRS_MSG_NOMEM, nullptr, RC_PRS_NOMEM);
        return RC_SCAN_FAIL;
    }
    *value = node;
    return token;
}

// A token whose text is one of the scanner's own constant texts.
int EmitConstant(rcPrsContext *ctx, int token, const char *text, rcParseNode **value)
{
    rcParseNode *node = rcPrsNewNode(ctx->arena, static_cast<uint16_t>(token), nullptr);
    if (node == nullptr) {
        rcPrsFail(ctx, RC_PRS_MSG_NOMEM, nullptr, RC_PRS_NOMEM);
        return RC_SCAN_FAIL;
    }
    node->text = text;
    *value = node;
    return token;
}

int TooLong(rcPrsContext *ctx)
{
    rcPrsFail(ctx, RC_PRS_MSG_TOKEN_LONG, nullptr, RC_PRS_TOOLONG);
    return RC_SCAN_FAIL;
}

// Removes the quote pairs of a quoted token: the value between the outer
// quotes with each doubled quote made single, keeping the outer quotes when
// keepOuter is set. Returns the value's length in out (out has room).
size_t Unquote(const char *raw, size_t len, char quote, bool keepOuter, char *out)
{
    size_t o = 0;
    if (keepOuter)
        out[o++] = quote;
    for (size_t i = 1; i + 1 < len; ++i) {
        out[o++] = raw[i];
        if (raw[i] == quote)
            ++i; // the second quote of a doubled pair
    }
    if (keepOuter)
        out[o++] = quote;
    return o;
}

int ScanToken(rcPrsContext *ctx, rcParseNode **value)
{
    rcPrsScanner &s = ctx->scan;
    *value = nullptr;
    // White space of any length separates tokens.
    size_t i = s.pos;
    while (IsBlank(At(s, i)))
        ++i;
    Consume(s, i);
    const size_t start = s.pos;
    const unsigned char c = At(s, start);
    const char *tok = s.text + start;
    if (c == '\0')
        return RC_SCAN_END;

    // String literal.
    if (c == '\'') {
        size_t p = start + 1;
        for (;;) {
            unsigned char d = At(s, p);
            if (d == '\0') {
                Consume(s, p);
                return RC_SCAN_FAIL; // unterminated: no rule takes the quote
            }
            if (d == '\'') {
                if (At(s, p + 1) == '\'') {
                    p += 2;
                    continue;
                }
                break;
            }
            ++p;
        }
        size_t len = p + 1 - start;
        Consume(s, p + 1);
        if (len >= kMaxToken)
            return TooLong(ctx);
        char buf[kMaxToken];
        size_t n = Unquote(tok, len, '\'', true, buf);
        return Emit(ctx, RC_T_CHAR_STR_LIT, buf, n, value);
    }

    // Numbers.
    if (IsDigit(c) || (c == '.' && IsDigit(At(s, start + 1)))) {
        size_t p = start;
        while (IsDigit(At(s, p)))
            ++p;
        size_t intDigits = p - start;
        bool point = false;
        if (At(s, p) == '.') {
            point = true;
            ++p;
            while (IsDigit(At(s, p)))
                ++p;
        }
        bool exponent = false;
        if (At(s, p) == 'E' || At(s, p) == 'e') {
            size_t q = p + 1;
            if (At(s, q) == '+' || At(s, q) == '-')
                ++q;
            if (IsDigit(At(s, q))) {
                while (IsDigit(At(s, q)))
                    ++q;
                p = q;
                exponent = true;
            }
        }
        size_t len = p - start;
        Consume(s, p);
        if (len >= kMaxToken)
            return TooLong(ctx);
        int token;
        if (exponent)
            token = RC_T_APPROX_NUM_LIT;
        else if (point)
            token = RC_T_DECNUM_LIT;
        else if (intDigits < 10 || (intDigits == 10 && std::strncmp(tok, "2147483648", 10) < 0))
            token = RC_T_USINT_LIT;
        else
            token = RC_T_DECNUM_LIT;
        return Emit(ctx, token, tok, len, value);
    }

    // Quoted identifier; an unterminated one is the lone double quote.
    if (c == '"') {
        size_t p = start + 1;
        bool closed = false;
        for (;;) {
            unsigned char d = At(s, p);
            if (d == '\0')
                break;
            if (d == '"') {
                if (At(s, p + 1) == '"') {
                    p += 2;
                    continue;
                }
                closed = true;
                break;
            }
            ++p;
        }
        if (!closed) {
            Consume(s, start + 1);
            return Emit(ctx, '"', tok, 1, value);
        }
        size_t len = p + 1 - start;
        Consume(s, p + 1);
        if (len >= kMaxToken)
            return TooLong(ctx);
        if (len > kMaxQuoted) {
            rcPrsFail(ctx, RC_PRS_MSG_IDENT_LONG, nullptr, RC_PRS_SYNTAX);
            return RC_SCAN_FAIL;
        }
        char buf[kMaxQuoted];
        size_t n = Unquote(tok, len, '"', false, buf);
        return Emit(ctx, RC_T_IDENTIFIER, buf, n, value);
    }

    // Paths, unless an operand came right before (then "/" is division).
    if (!AfterOperand(s.prevToken)) {
        size_t plen = PathLength(s, start);
        bool plainSeparator = plen == 1; // a lone "/" or "\" is the operator
        if (plen > 0 && !plainSeparator) {
            Consume(s, start + plen);
            // A path cut short would name another table: too long fails.
            if (plen > kMaxPath)
                return TooLong(ctx);
            return Emit(ctx, RC_T_PATH, tok, plen, value);
        }
    }

    // Words: NOT LIKE, escape labels, keywords, identifiers.
    if (IsWordStart(c)) {
        size_t end = WordEnd(s, start);
        size_t len = end - start;
        if (EqualNoCase(tok, len, "NOT") && IsBlank(At(s, end))) {
            size_t q = end;
            while (IsBlank(At(s, q)))
                ++q;
            size_t likeEnd = q + 4;
            // LIKE must be a whole word: NOT LIKEWISE is NOT and LIKEWISE.
            if (IsWordStart(At(s, q)) && WordEnd(s, q) == likeEnd &&
                EqualNoCase(s.text + q, 4, "LIKE")) {
                Consume(s, likeEnd);
                return EmitConstant(ctx, RC_T_NOTLIKE, rcPrsSymbolName(RC_T_NOTLIKE), value);
            }
        }
        Consume(s, end);
        if (len >= kMaxToken)
            return TooLong(ctx);
        if (s.labelState == 1) {
            for (const Keyword &label : kLabels)
                if (EqualNoCase(tok, len, label.text))
                    return label.token;
        }
        for (const Keyword &kw : kKeywords)
            if (EqualNoCase(tok, len, kw.text))
                return EmitConstant(ctx, kw.token, rcPrsSymbolName(kw.token), value);
        for (const char *word : kReserved)
            if (EqualNoCase(tok, len, word)) {
                rcPrsFail(ctx, RC_PRS_MSG_RESERVED, nullptr, RC_PRS_SYNTAX);
                return RC_SCAN_FAIL;
            }
        if (len > kMaxIdentifier) {
            rcPrsFail(ctx, RC_PRS_MSG_IDENT_LONG, nullptr, RC_PRS_SYNTAX);
            return RC_SCAN_FAIL;
        }
        return Emit(ctx, RC_T_IDENTIFIER, tok, len, value);
    }

    // Vendor brackets.
    if (c == '-' && std::strncmp(tok, "--(*", 4) == 0) {
        Consume(s, start + 4);
        if (!s.escapes)
            return RC_SCAN_FAIL;
        return EmitConstant(ctx, RC_T_SVBEGIN, rcPrsSymbolName(RC_T_SVBEGIN), value);
    }
    if (c == '*' && std::strncmp(tok, "*)--", 4) == 0) {
        Consume(s, start + 4);
        return EmitConstant(ctx, RC_T_SVEND, rcPrsSymbolName(RC_T_SVEND), value);
    }

    // Operators and punctuation.
    int token = 0;
    size_t len = 1;
    switch (c) {
    case '<':
        if (At(s, start + 1) == '=') {
            token = RC_T_LE;
            len = 2;
        } else if (At(s, start + 1) == '>') {
            token = RC_T_NE;
            len = 2;
        } else {
            token = RC_T_LT;
        }
        break;
    case '>':
        if (At(s, start + 1) == '=') {
            token = RC_T_GE;
            len = 2;
        } else {
            token = RC_T_GT;
        }
        break;
    case '=': token = RC_T_EQ; break;
    case '*':
    case ',':
    case '?':
    case '(':
    case ')':
    case '+':
    case '-':
    case '\\':
    case '/':
    case '.':
    case '}':
    case '[':
    case ']': token = c; break;
    case '{': Consume(s, start + 1); return s.escapes ? '{' : RC_SCAN_FAIL;
    default: Consume(s, start + 1); return RC_SCAN_FAIL; // no rule takes this character
    }
    Consume(s, start + len);
    if (token == '}')
        return '}';
    return EmitConstant(ctx, token, rcPrsSymbolName(static_cast<uint16_t>(token)), value);
}

} // namespace

int rcPrsScan(rcPrsContext *ctx, rcParseNode **value)
{
    rcPrsScanner &s = ctx->scan;
    int token = ScanToken(ctx, value);
    if (token == RC_SCAN_FAIL || token == RC_SCAN_END)
        return token;
    // Escape labels come right after "{", after "{ ? =", and after the
    // vendor prefix "--(* vendor(MicroSoft),product(ODBC)".
    int labelState = 0;
    if (token == '{') {
        labelState = 1;
    } else if (s.labelState == 1 && token == '?') {
        labelState = 2;
    } else if (s.labelState == 2 && token == RC_T_EQ) {
        labelState = 1;
    }
    if (token == RC_T_SVBEGIN) {
        s.vendorStep = 0;
    } else if (s.vendorStep >= 0) {
        if (++s.vendorStep == 9) {
            labelState = 1;
            s.vendorStep = -1;
        }
    }
    s.labelState = labelState;
    s.prevToken = token;
    return token;
}
