// Control statement parser: turns the text of a control statement into
// SrtSettings or the error code of the first fault.
//
// The text is a list of statements, each a keyword (abbreviations allowed)
// with its arguments in parentheses. Tokens are separated by blanks, commas,
// brackets, parentheses, "+", tab, CR and LF; a token that starts with the
// quote character runs to the next one. Each statement's arguments are read
// as a token list (nested parentheses kept as tokens) and handed to the
// statement's own routine. After the last statement the combination of
// statements is checked and the defaults are settled.
#include "platform/strings.h"
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/sort/srtparse_impl.h"

namespace {

struct NameEntry {
    const char *name;
    unsigned minLength;
};

const NameEntry kStatements[] = {
    {"ADDR", 2}, {"BYPA", 1}, {"CORE", 4}, {"DELI", 2}, {"FILE", 1}, {"INCL", 2},
    {"KEYO", 1}, {"LIMI", 1}, {"MERG", 1}, {"OMIT", 2}, {"OUTR", 4}, {"PAUS", 1},
    {"RECO", 1}, {"SORT", 1}, {"WORK", 1}, {"ALTS", 2}, {"EQUA", 2}, {"DUPO", 4},
    {"DUPE", 4}, {"DUPI", 4}, {"ORIG", 4}, {"APOS", 2}, {"SUM", 3},  {"LAST", 1},
};
enum Stmt {
    ST_ADDR,
    ST_BYPA,
    ST_CORE,
    ST_DELI,
    ST_FILE,
    ST_INCL,
    ST_KEYO,
    ST_LIMI,
    ST_MERG,
    ST_OMIT,
    ST_OUTR,
    ST_PAUS,
    ST_RECO,
    ST_SORT,
    ST_WORK,
    ST_ALTS,
    ST_EQUA,
    ST_DUPO,
    ST_DUPE,
    ST_DUPI,
    ST_ORIG,
    ST_APOS,
    ST_SUM,
    ST_LAST
};

const NameEntry kTypes[SRT_TYPE_COUNT] = {
    {"CHA", 1}, {"ALP", 3}, {"SU", 2}, {"SLI", 3}, {"NUM", 1}, {"STI", 3}, {"STS", 3}, {"ZD", 1},
    {"T", 1},   {"INT", 1}, {"PD", 1}, {"BIN", 2}, {"ALT", 3}, {"E", 1},   {"W", 1},   {"SP", 2},
    {"DP", 2},  {"FI", 1},  {"FL", 1}, {"XD", 2},  {"XBD", 3}, {"XTS", 3}, {"XTM", 3}, {"XDT", 3},
};

const NameEntry kOrgs[] = {
    {"FIX", 3}, {"FE", 2},  {"TXT", 3}, {"VS", 2}, {"BT", 2},
    {"RV", 2},  {"CVS", 3}, {"PRE", 3}, {"GP", 2}, {"DB3", 3},
};

// Statement pairs that may not appear together (flag indices i < j).
const uint8_t kConflicts[][2] = {
    {0, 3},  {0, 6}, {0, 7},  {0, 15}, {0, 16}, {0, 19}, {1, 7},  {1, 15}, {1, 16}, {1, 19},
    {2, 5},  {3, 6}, {6, 7},  {3, 7},  {3, 15}, {3, 16}, {3, 19}, {4, 7},  {6, 15}, {6, 16},
    {6, 19}, {7, 8}, {8, 12}, {8, 14}, {8, 15}, {8, 16}, {8, 17}, {8, 19},
};

// Matches a keyword-like token against a name table: the token, cut to four
// characters, must be at least the entry's minimum length and agree with the
// entry's first characters over its own length. Returns the index or -1.
int matchName(const std::string &token, const NameEntry *table, size_t count)
{
    size_t len = token.size() < 4 ? token.size() : 4;
    for (size_t i = 0; i < count; ++i) {
        size_t nameLen = std::strlen(table[i].name);
        if (len < table[i].minLength || len > nameLen)
            continue;
        if (PlatAsciiCaseCompareN(token.c_str(), table[i].name, len) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

bool isSeparator(unsigned char c)
{
    return c == '[' || c == ']' || c == ',' || c == ' ' || c == ')' || c == '(' || c == '+' ||
           c == '\t' || c == '\r' || c == '\n';
}

} // namespace

// ---------------------------------------------------------------------------
// Lexer

SrtToken SrtLexer::next()
{
    SrtToken tok;
    while (pos < length) {
        unsigned char c = static_cast<unsigned char>(text[pos]);
        if (c == '(' || c == ')') {
            ++pos;
            tok.kind = c == '(' ? SrtToken::Open : SrtToken::Close;
            return tok;
        }
        if (!isSeparator(c))
            break;
        ++pos;
    }
    if (pos >= length || static_cast<unsigned char>(text[pos]) == 26) {
        tok.kind = SrtToken::End;
        return tok;
    }
    tok.kind = SrtToken::Word;
    if (static_cast<unsigned char>(text[pos]) == quote) {
        size_t close = pos + 1;
        while (close < length && static_cast<unsigned char>(text[close]) != quote)
            ++close;
        tok.quoted = true;
        tok.text.assign(text + pos + 1, close - pos - 1);
        tok.unterminated = close >= length;
        pos = close < length ? close + 1 : length;
        return tok;
    }
    size_t start = pos;
    while (pos < length && !isSeparator(static_cast<unsigned char>(text[pos])))
        ++pos;
    tok.text.assign(text + start, pos - start);
    return tok;
}

// ---------------------------------------------------------------------------
// Helpers shared by the statement routines

locale_t srtCLocale()
{
    static const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    return c;
}

bool srtParseNumber(const SrtToken &tok, uint64_t &value)
{
    if (tok.kind != SrtToken::Word || tok.quoted || tok.text.empty() || tok.text.size() > 18)
        return false;
    value = 0;
    for (char c : tok.text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
}

int srtMatchType(const std::string &token) { return matchName(token, kTypes, SRT_TYPE_COUNT); }

namespace {

bool equalsNoCase(const SrtToken &tok, const char *word)
{
    return tok.kind == SrtToken::Word && !tok.quoted &&
           PlatAsciiCaseCompare(tok.text.c_str(), word) == 0;
}

// Reads the arguments of a statement: nothing when the next token is not
// "(", else every token up to the matching ")". Returns false when the text
// ends before the list is closed.
bool readArguments(SrtLexer &lex, SrtArgs &args, bool &present)
{
    size_t save = lex.pos;
    SrtToken tok = lex.next();
    present = tok.kind == SrtToken::Open;
    if (!present) {
        lex.pos = save;
        return true;
    }
    int depth = 1;
    for (;;) {
        tok = lex.next();
        if (tok.kind == SrtToken::End || tok.unterminated)
            return false;
        if (tok.kind == SrtToken::Open)
            ++depth;
        if (tok.kind == SrtToken::Close && --depth == 0)
            return true;
        args.push_back(tok);
    }
}

bool isWordList(const SrtArgs &args)
{
    for (const SrtToken &t : args)
        if (t.kind != SrtToken::Word)
            return false;
    return true;
}

// One positive number as the only argument.
bool singleNumber(const SrtArgs &args, bool present, uint64_t &value, uint64_t min, uint64_t max)
{
    return present && args.size() == 1 && srtParseNumber(args[0], value) && value >= min &&
           value <= max;
}

bool fixedWidthType(SrtType type)
{
    return type == SRT_INT || type == SRT_W || type == SRT_FI || type == SRT_E || type == SRT_FL;
}

bool undefinedOrder(SrtType type)
{
    switch (type) {
    case SRT_SLI:
    case SRT_NUM:
    case SRT_STI:
    case SRT_STS:
    case SRT_ZD:
    case SRT_T:
    case SRT_PD:
    case SRT_SP:
    case SRT_DP: return true;
    default: return false;
    }
}

bool engineValueType(SrtType type) { return type >= SRT_XD && type <= SRT_XDT; }

} // namespace

uint32_t srtCheckFieldType(const SrtField &field, SrtType type, const SrtCallbacks &callbacks)
{
    if (undefinedOrder(type))
        return 204;
    if (engineValueType(type) && !callbacks.valueCompare)
        return 204;
    if (fixedWidthType(type)) {
        if (field.numbered)
            return 204;
        if (field.len == SRT_LEN_TO_END)
            return 203;
        if ((type == SRT_E || type == SRT_FL) && field.len != 4 && field.len != 8)
            return 203;
    }
    return 0;
}

// Reads a field at args[i]: "#n", "# n" or a position and a length ("Z..."
// for the rest of the record when allowToEnd). Advances i.
uint32_t srtParseField(const SrtArgs &args, size_t &i, SrtField &field, bool allowToEnd)
{
    field = SrtField{};
    if (i >= args.size() || args[i].kind != SrtToken::Word || args[i].quoted)
        return 202;
    const std::string &t = args[i].text;
    uint64_t n = 0;
    if (!t.empty() && t[0] == '#') {
        SrtToken num = args[i];
        num.text = t.substr(1);
        if (num.text.empty()) {
            if (++i >= args.size())
                return 202;
            num = args[i];
        }
        if (!srtParseNumber(num, n) || n == 0 || n > 0xFFFFFFFFu)
            return 202;
        ++i;
        field.numbered = true;
        field.pos = static_cast<uint32_t>(n);
        return 0;
    }
    if (!srtParseNumber(args[i], n) || n == 0 || n > 0xFFFFFFFEu)
        return 202;
    field.pos = static_cast<uint32_t>(n);
    if (++i >= args.size() || args[i].kind != SrtToken::Word)
        return 203;
    const std::string &l = args[i].text;
    if (allowToEnd && !args[i].quoted && !l.empty() && (l[0] == 'Z' || l[0] == 'z')) {
        field.len = SRT_LEN_TO_END;
    } else {
        if (!srtParseNumber(args[i], n) || n == 0 || n >= SRT_LEN_TO_END)
            return 203;
        field.len = static_cast<uint32_t>(n);
    }
    ++i;
    return 0;
}

namespace {

uint32_t parseKeys(const SrtArgs &args, bool present, const SrtCallbacks &cb, SrtSettings &s)
{
    if (!present || args.empty() || !isWordList(args))
        return 10010;
    s.keys.clear();
    size_t i = 0;
    while (i < args.size()) {
        if (s.keys.size() == 256)
            return 206;
        SrtKey key;
        if (uint32_t err = srtParseField(args, i, key.field, true))
            return err;
        if (i >= args.size())
            return 204;
        int type = srtMatchType(args[i].text);
        if (type < 0 || args[i].quoted)
            return 204;
        key.type = static_cast<SrtType>(type);
        if (++i >= args.size())
            return 209;
        const std::string &order = args[i].text;
        if (order.size() != 1 || args[i].quoted)
            return 209;
        if (order[0] == 'A' || order[0] == 'a')
            key.descending = false;
        else if (order[0] == 'D' || order[0] == 'd')
            key.descending = true;
        else
            return 209;
        ++i;
        if (uint32_t err = srtCheckFieldType(key.field, key.type, cb))
            return err;
        s.keys.push_back(key);
    }
    return 0;
}

uint32_t parseFile(const SrtArgs &args, bool present, SrtSettings &s)
{
    if (!present || args.empty() || args[0].kind != SrtToken::Word)
        return 10033;
    int org = matchName(args[0].text, kOrgs, std::size(kOrgs));
    if (org < 0)
        return 10033;
    uint64_t n = 0;
    switch (org) {
    case SRT_FIX:
    case SRT_PRE:
        if (args.size() != 2 || !srtParseNumber(args[1], n) || n == 0 || n > (1u << 30))
            return 10011;
        s.recordLength = static_cast<uint32_t>(n);
        break;
    case SRT_FE:
        if (args.size() > 2)
            return 10012;
        if (args.size() == 2) {
            if (!srtParseNumber(args[1], n) || n > 255)
                return 10012;
            s.endChar = static_cast<unsigned char>(n);
        }
        break;
    case SRT_BT: return 10015;
    case SRT_GP: {
        // FILE(GP (terminator bytes) (end-of-data bytes))
        std::vector<unsigned char> *lists[2] = {&s.gpTerminator, &s.gpEnd};
        size_t i = 1;
        for (auto *list : lists) {
            list->clear();
            if (i >= args.size() || args[i].kind != SrtToken::Open)
                return 10019;
            for (++i; i < args.size() && args[i].kind == SrtToken::Word; ++i) {
                if (!srtParseNumber(args[i], n) || n > 255)
                    return 10019;
                list->push_back(static_cast<unsigned char>(n));
            }
            if (i >= args.size() || args[i].kind != SrtToken::Close || list->empty())
                return 10019;
            ++i;
        }
        if (i != args.size())
            return 10019;
        break;
    }
    default:
        if (args.size() != 1)
            return 10033;
        break;
    }
    s.org = static_cast<SrtOrg>(org);
    s.flags[SRT_F_ORG0 + org] = true;
    return 0;
}

uint32_t parseWork(const SrtArgs &args, bool present, SrtSettings &s)
{
    if (!present || args.size() != 1 || args[0].kind != SrtToken::Word)
        return 10054;
    std::string dir = args[0].text;
    if (dir.empty() || dir.size() > 4000)
        return 10054;
    char last = dir.back();
    if (last != ':' && last != '/' && last != '\\')
        return 10054;
    for (char &c : dir)
        if (c == '\\')
            c = '/';
    s.workDir = dir;
    return 0;
}

uint32_t parseAlts(const SrtArgs &args, bool present, SrtSettings &s)
{
    if (!present || args.size() != 1 || args[0].kind != SrtToken::Word)
        return 10055;
    // A regular file of exactly 265 bytes, the first 0xAC.
    int fd = ::open(args[0].text.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 10055;
    struct stat st;
    unsigned char bytes[266];
    ssize_t got = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 265)
        got = ::read(fd, bytes, sizeof bytes);
    ::close(fd);
    if (got != 265 || bytes[0] != 0xAC)
        return 10055;
    std::memcpy(s.altWeights, bytes + 9, 256);
    s.altsFile = args[0].text;
    s.haveAlts = true;
    return 0;
}

// DUPO/DUPE/DUPI fields: "pos,len", "pos,E", "#n" and "B n" for the buffer.
uint32_t parseDupFields(const SrtArgs &args, bool present, SrtSettings &s)
{
    s.dupFields.clear();
    if (!present)
        return 0;
    if (!isWordList(args))
        return 10056;
    size_t i = 0;
    uint64_t n = 0;
    while (i < args.size()) {
        const std::string &t = args[i].text;
        if (!args[i].quoted && (t[0] == 'B' || t[0] == 'b')) {
            SrtToken num = args[i];
            num.text = t.substr(1);
            if (num.text.empty()) {
                if (++i >= args.size())
                    return 10056;
                num = args[i];
            }
            if (!srtParseNumber(num, n) || n == 0 || n > (1u << 30))
                return 10056;
            s.dupBuffer = static_cast<uint32_t>(n);
            ++i;
            continue;
        }
        if (s.dupFields.size() == 20)
            return 206;
        SrtField f;
        if (t[0] == '#') {
            if (srtParseField(args, i, f, false))
                return 10056;
        } else {
            if (!srtParseNumber(args[i], n) || n == 0 || n > 0xFFFFFFFEu)
                return 10056;
            f.pos = static_cast<uint32_t>(n);
            if (++i >= args.size())
                return 10056;
            if (equalsNoCase(args[i], "E"))
                f.len = SRT_LEN_TO_END;
            else if (!srtParseNumber(args[i], n) || n == 0 || n >= SRT_LEN_TO_END)
                return 10056;
            else
                f.len = static_cast<uint32_t>(n);
            ++i;
        }
        s.dupFields.push_back(f);
    }
    return 0;
}

// SUM fields: position, length and an optional type NUM each.
uint32_t parseSumFields(const SrtArgs &args, bool present, SrtSettings &s)
{
    s.sumFields.clear();
    if (!present)
        return 0;
    if (!isWordList(args) || args.empty())
        return 10062;
    size_t i = 0;
    uint64_t n = 0;
    while (i < args.size()) {
        if (s.sumFields.size() == 20)
            return 206;
        SrtField f;
        if (!srtParseNumber(args[i], n) || n == 0 || n > 0xFFFFFFFEu)
            return 10062;
        f.pos = static_cast<uint32_t>(n);
        if (++i >= args.size() || !srtParseNumber(args[i], n) || n == 0 || n > 64)
            return 10062;
        f.len = static_cast<uint32_t>(n);
        ++i;
        if (i < args.size() && srtMatchType(args[i].text) == SRT_NUM)
            ++i;
        s.sumFields.push_back(f);
    }
    return 0;
}

uint32_t checkConflicts(const SrtSettings &s)
{
    for (const auto &pair : kConflicts)
        if (s.flags[pair[0]] && s.flags[pair[1]])
            return 10101u + 100u * pair[0] + pair[1];
    if (s.flags[SRT_F_RECCALL])
        for (int j = 0; j < 10; ++j)
            if (j != SRT_BT && s.flags[SRT_F_ORG0 + j])
                return 10101u + 700u + SRT_F_ORG0 + j;
    for (int i = 0; i < 10; ++i)
        for (int j = i + 1; j < 10; ++j)
            if (s.flags[SRT_F_ORG0 + i] && s.flags[SRT_F_ORG0 + j])
                return 10101u + 100u * (SRT_F_ORG0 + i) + SRT_F_ORG0 + j;
    return 0;
}

bool positionalFitsRecord(const SrtField &f, uint32_t recordLength)
{
    if (f.numbered)
        return true;
    if (f.pos > recordLength)
        return false;
    return f.len == SRT_LEN_TO_END || uint64_t(f.pos) + f.len - 1 <= recordLength;
}

// After the last statement: the combination check and the defaults.
uint32_t settle(SrtSettings &s, bool fileGiven, uint64_t recoLength, bool bypassArgs)
{
    bool dupGiven = s.dupMode != SRT_DUP_NONE;
    if (!s.flags[SRT_F_RECCALL] && !fileGiven && !s.flags[SRT_F_RECO])
        s.flags[SRT_F_ORG0 + int(SRT_TXT)] = true;
    if (uint32_t err = checkConflicts(s))
        return err;
    if (s.flags[SRT_F_RECO]) {
        if (s.org != SRT_FE)
            s.org = SRT_FIX;
        s.recordLength = static_cast<uint32_t>(recoLength);
    } else if (s.org == SRT_FE) {
        return 15762;
    }
    if (s.sum && dupGiven)
        return 15762;
    if (s.sum && !s.flags[SRT_F_SORT])
        return 257;
    bool alt = false;
    for (const SrtKey &k : s.keys)
        alt |= k.type == SRT_ALT;
    for (const SrtCondition &c : s.conditions)
        alt |= c.kind == SRT_COND_CMP && c.type == SRT_ALT;
    if (alt && !s.haveAlts)
        return 242;
    bool fixed =
        (s.org == SRT_FIX || s.org == SRT_FE || s.org == SRT_PRE) && !s.flags[SRT_F_RECCALL];
    if (fixed) {
        for (const SrtKey &k : s.keys) {
            if (k.field.pos > s.recordLength && !k.field.numbered)
                return 202;
            if (!positionalFitsRecord(k.field, s.recordLength))
                return 203;
        }
    }
    if (s.bypass && !bypassArgs) {
        if (s.recordLength == 0)
            return 10002;
        s.bypassBytes = s.recordLength;
        s.bypassKeep = true;
    }
    if (s.sum) {
        s.dupMode = SRT_DUP_O;
        s.dupBuffer = 2000;
        s.dupFields.clear();
        for (const SrtKey &k : s.keys)
            s.dupFields.push_back(k.field);
    }
    if (s.flags[SRT_F_ADDR] || s.flags[SRT_F_KEYO]) {
        s.outItems.clear();
        SrtOutItem rrn;
        rrn.kind = SRT_OUT_RRN;
        s.outItems.push_back(rrn);
        if (s.flags[SRT_F_KEYO])
            for (const SrtKey &k : s.keys) {
                SrtOutItem item;
                item.kind = SRT_OUT_FIELD;
                item.field = k.field;
                s.outItems.push_back(item);
            }
        s.layout = true;
    }
    for (const SrtOutItem &item : s.outItems)
        s.needRba |= item.kind == SRT_OUT_RBA;
    return 0;
}

} // namespace

uint32_t srtParseControl(const char *text, size_t length, bool recordCall,
                         const SrtCallbacks &callbacks, SrtSettings &s)
{
    s = SrtSettings{};
    if (recordCall) {
        s.flags[SRT_F_RECCALL] = true;
        s.org = SRT_FIX;
    }
    SrtLexer lex{text, length, 0, static_cast<unsigned char>(s.quote)};
    bool fileGiven = false, bypassArgs = false;
    uint64_t recoLength = 0;
    for (;;) {
        SrtToken tok = lex.next();
        if (tok.kind == SrtToken::End)
            break;
        if (tok.kind != SrtToken::Word || tok.quoted)
            return 201;
        int stmt = matchName(tok.text, kStatements, std::size(kStatements));
        if (stmt < 0)
            return 201;
        SrtArgs args;
        bool present = false;
        bool closed = readArguments(lex, args, present);
        uint64_t n = 0;
        uint32_t err = 0;
        switch (stmt) {
        case ST_ADDR:
        case ST_KEYO:
            if (!closed || !present || args.size() != 1 || !equalsNoCase(args[0], "RRN"))
                return stmt == ST_ADDR ? 10001 : 10004;
            s.flags[stmt == ST_ADDR ? SRT_F_ADDR : SRT_F_KEYO] = true;
            break;
        case ST_BYPA:
            if (!closed)
                return 10002;
            s.bypass = true;
            s.flags[SRT_F_BYPA] = true;
            if (present) {
                if (args.size() != 2 || !srtParseNumber(args[0], n) || n == 0)
                    return 10002;
                if (equalsNoCase(args[1], "R"))
                    s.bypassKeep = true;
                else if (equalsNoCase(args[1], "D"))
                    s.bypassKeep = false;
                else
                    return 10002;
                s.bypassBytes = n;
                bypassArgs = true;
            }
            break;
        case ST_CORE:
            if (!closed || !singleNumber(args, present, n, 0, 0xFFFFFFFFu))
                return 10051;
            s.core = static_cast<uint32_t>(n);
            break;
        case ST_DELI:
            if (!closed || !singleNumber(args, present, n, 0, 255))
                return 10052;
            s.delimiter = static_cast<unsigned char>(n);
            break;
        case ST_FILE:
            if (!closed)
                return 10033;
            if ((err = parseFile(args, present, s)))
                return err;
            fileGiven = true;
            break;
        case ST_INCL:
        case ST_OMIT:
            if (!closed || !present)
                return stmt == ST_INCL ? 10003 : 10006;
            if ((err = srtParseConditions(args, stmt == ST_INCL ? 10003 : 10006, callbacks, s)))
                return err;
            s.omit = stmt == ST_OMIT;
            s.flags[stmt == ST_INCL ? SRT_F_INCL : SRT_F_OMIT] = true;
            break;
        case ST_LIMI:
        case ST_LAST:
            if (!closed || !singleNumber(args, present, n, 1, ~uint64_t(0)))
                return 10005;
            s.limit = n;
            s.flags[SRT_F_LIMI] = true;
            break;
        case ST_SORT:
        case ST_MERG:
            if (!closed)
                return 10010;
            if ((err = parseKeys(args, present, callbacks, s)))
                return err;
            s.merge = stmt == ST_MERG;
            s.flags[SRT_F_SORT] = true;
            break;
        case ST_OUTR:
            if (!closed || !present)
                return 10007;
            if ((err = srtParseOutItems(args, s)))
                return err;
            s.layout = true;
            s.flags[SRT_F_OUTR] = true;
            break;
        case ST_PAUS:
        case ST_EQUA: break;
        case ST_APOS:
            s.quote = '\'';
            lex.quote = '\'';
            break;
        case ST_RECO:
            if (!closed || !singleNumber(args, present, n, 1, 1u << 30))
                return 10009;
            recoLength = n;
            s.flags[SRT_F_RECO] = true;
            break;
        case ST_WORK:
            if (!closed)
                return 10054;
            if ((err = parseWork(args, present, s)))
                return err;
            break;
        case ST_ALTS:
            if (!closed)
                return 10055;
            if ((err = parseAlts(args, present, s)))
                return err;
            break;
        case ST_DUPO:
        case ST_DUPE:
        case ST_DUPI:
            if (!closed)
                return 10056;
            if ((err = parseDupFields(args, present, s)))
                return err;
            s.dupMode = stmt == ST_DUPO ? SRT_DUP_O : stmt == ST_DUPE ? SRT_DUP_E : SRT_DUP_I;
            break;
        case ST_ORIG:
            if (!closed || !singleNumber(args, present, n, 1, ~uint64_t(0)))
                return 10057;
            s.origin = n;
            break;
        case ST_SUM:
            if (!closed)
                return 10062;
            if ((err = parseSumFields(args, present, s)))
                return err;
            s.sum = true;
            break;
        }
    }
    return settle(s, fileGiven, recoLength, bypassArgs);
}
