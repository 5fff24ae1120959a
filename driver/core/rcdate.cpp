// Date and time validity, calendar routines, the ODBC structure narrowing
// and widening, and the date and time literal parser.
//
// The parser reads the text twice: a first pass decides the kind (date,
// time or timestamp) from the keyword or the separators, a second pass
// walks a small state machine that reads the fields and checks the
// brackets and quotes.
#include "driver/core/rcdate.h"

#include "platform/clock.h"

#include <cstring>

bool rcCnvIsLeapYear(int16_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int rcCnvDaysInMonth(int16_t year, int month)
{
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return kDays[month - 1] + (month == 2 && rcCnvIsLeapYear(year) ? 1 : 0);
}

bool rcCnvDateValid(const CnvDate &d)
{
    return d.year >= 0 && d.year <= 9999 && d.day >= 1 &&
           d.day <= rcCnvDaysInMonth(d.year, d.month);
}

bool rcCnvTimeValid(const CnvTime &t) { return t.hour <= 23 && t.minute <= 59 && t.second <= 59; }

bool rcCnvTimestampValid(const CnvTimestamp &ts)
{
    return rcCnvDateValid(ts.date) && rcCnvTimeValid(ts.time) && ts.fraction < 1000000000u;
}

void rcCnvToday(CnvDate &out)
{
    PlatDate d = PlatToday();
    out.year = d.year;
    out.month = d.month;
    out.day = d.day;
}

bool rcCnvNarrowDate(const void *odbc, CnvDate &out)
{
    DATE_STRUCT d;
    std::memcpy(&d, odbc, sizeof d);
    if (d.month < 1 || d.month > 12 || d.day < 1 || d.day > 31)
        return false;
    out = CnvDate{d.year, static_cast<uint8_t>(d.month), static_cast<uint8_t>(d.day)};
    return rcCnvDateValid(out);
}

bool rcCnvNarrowTime(const void *odbc, CnvTime &out)
{
    TIME_STRUCT t;
    std::memcpy(&t, odbc, sizeof t);
    if (t.hour > 23 || t.minute > 59 || t.second > 59)
        return false;
    out = CnvTime{static_cast<uint8_t>(t.hour), static_cast<uint8_t>(t.minute),
                  static_cast<uint8_t>(t.second)};
    return true;
}

bool rcCnvNarrowTimestamp(const void *odbc, CnvTimestamp &out)
{
    TIMESTAMP_STRUCT ts;
    std::memcpy(&ts, odbc, sizeof ts);
    if (ts.month < 1 || ts.month > 12 || ts.day < 1 || ts.day > 31 || ts.hour > 23 ||
        ts.minute > 59 || ts.second > 59)
        return false;
    out = CnvTimestamp{};
    out.date = CnvDate{ts.year, static_cast<uint8_t>(ts.month), static_cast<uint8_t>(ts.day)};
    out.time = CnvTime{static_cast<uint8_t>(ts.hour), static_cast<uint8_t>(ts.minute),
                       static_cast<uint8_t>(ts.second)};
    out.fraction = static_cast<uint32_t>(ts.fraction);
    return rcCnvTimestampValid(out);
}

void rcCnvWidenDate(const CnvDate &in, void *odbc)
{
    DATE_STRUCT d{in.year, in.month, in.day};
    std::memcpy(odbc, &d, sizeof d);
}

void rcCnvWidenTime(const CnvTime &in, void *odbc)
{
    TIME_STRUCT t{in.hour, in.minute, in.second};
    std::memcpy(odbc, &t, sizeof t);
}

void rcCnvWidenTimestamp(const CnvTimestamp &in, void *odbc)
{
    TIMESTAMP_STRUCT ts{in.date.year,   in.date.month,  in.date.day, in.time.hour,
                        in.time.minute, in.time.second, in.fraction};
    std::memcpy(odbc, &ts, sizeof ts);
}

namespace {

enum Token {
    kTokOpenBrace = 0,
    kTokOpenEscape = 1,
    kTokCloseBrace = 2,
    kTokCloseEscape = 3,
    kTokTs = 4,
    kTokD = 5,
    kTokT = 6,
    kTokQuote = 7,
    kTokDash = 8,
    kTokBlank = 9,
    kTokColon = 10,
    kTokPoint = 11,
    kTokNumber = 12,
    kTokEnd = 13,
};

struct TokenValue {
    int kind;
    uint32_t value;
    int digits;
};

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Matches `word` ignoring ASCII case (whatever the locale) after optional
// blanks; advances on success.
bool matchWord(const char *&p, const char *word)
{
    const char *q = p;
    while (*q == ' ')
        ++q;
    size_t n = 0;
    for (; word[n] != '\0'; ++n)
        if (asciiLower(q[n]) != asciiLower(word[n]))
            return false;
    p = q + n;
    return true;
}

// Reads one token at p: 0, or -10 for a character that starts none.
int nextToken(const char *&p, TokenValue &t)
{
    t = TokenValue{kTokEnd, 0, 0};
    char c = *p;
    if (c >= '0' && c <= '9') {
        uint64_t v = 0;
        int digits = 0;
        while (*p >= '0' && *p <= '9') {
            v = v * 10 + static_cast<uint64_t>(*p - '0');
            if (v > 0xFFFFFFFFull)
                v = 0xFFFFFFFFull;
            ++digits;
            ++p;
        }
        t = TokenValue{kTokNumber, static_cast<uint32_t>(v), digits};
        return 0;
    }
    switch (c) {
    case '\0': return 0;
    case '{': t.kind = kTokOpenBrace; break;
    case '}': t.kind = kTokCloseBrace; break;
    case '\'': t.kind = kTokQuote; break;
    case ' ': t.kind = kTokBlank; break;
    case ':': t.kind = kTokColon; break;
    case '.': t.kind = kTokPoint; break;
    case 'd': t.kind = kTokD; break;
    case 't':
        if (p[1] == 's') {
            t.kind = kTokTs;
            p += 2;
            return 0;
        }
        t.kind = kTokT;
        break;
    case '*':
        if (std::strncmp(p, "*)--", 4) != 0)
            return kCnvBadDate;
        t.kind = kTokCloseEscape;
        p += 4;
        return 0;
    case '-': {
        if (p[1] != '-') {
            t.kind = kTokDash;
            break;
        }
        const char *q = p;
        if (std::strncmp(q, "--(*", 4) != 0)
            return kCnvBadDate;
        q += 4;
        static constexpr const char *kWords[] = {"vendor",  "(", "Microsoft", ")", ",",
                                                 "product", "(", "ODBC",      ")"};
        for (const char *w : kWords)
            if (!matchWord(q, w))
                return kCnvBadDate;
        t.kind = kTokOpenEscape;
        p = q;
        return 0;
    }
    default: return kCnvBadDate;
    }
    ++p;
    return 0;
}

} // namespace

int rcCnvParseDateTime(const char *text, CnvTimestamp &out, int16_t &cls)
{
    out = CnvTimestamp{};
    // First pass: the kind.
    int kind = -1;
    bool dashSeen = false;
    TokenValue t;
    for (const char *p = text; kind < 0;) {
        if (nextToken(p, t) != 0)
            return kCnvBadDate;
        switch (t.kind) {
        case kTokTs: kind = kClsTimestamp; break;
        case kTokD: kind = kClsDate; break;
        case kTokT: kind = kClsTime; break;
        case kTokDash: dashSeen = true; break;
        case kTokColon: kind = dashSeen ? kClsTimestamp : kClsTime; break;
        case kTokEnd:
            if (!dashSeen)
                return kCnvBadDate;
            kind = kClsDate;
            break;
        default: break;
        }
    }
    // Second pass: the fields.
    int s = 0, opener = -1;
    bool quote = false;
    for (const char *p = text;;) {
        if (nextToken(p, t) != 0)
            return kCnvBadDate;
        if (t.kind == kTokEnd)
            break;
        switch (t.kind) {
        case kTokOpenBrace:
        case kTokOpenEscape:
            if (s > 0)
                return kCnvBadDate;
            s = 1;
            opener = t.kind;
            break;
        case kTokCloseBrace:
        case kTokCloseEscape:
            if (opener < 0 || (opener == kTokOpenBrace) != (t.kind == kTokCloseBrace))
                return kCnvBadDate;
            if (s < (kind == kClsDate ? 5 : 9))
                return kCnvBadDate;
            s = 10;
            break;
        case kTokTs:
        case kTokD: s = 2; break;
        case kTokT: s = 6; break;
        case kTokQuote:
            if (!quote) {
                quote = true;
                break;
            }
            if (opener < 0 || (s < 7 && kind != kClsDate))
                return kCnvBadDate;
            if (s > 2) {
                s = 10;
                quote = false;
            }
            break;
        case kTokDash:
            if (s != 3 && s != 4)
                return kCnvBadDate;
            break;
        case kTokBlank:
            if (s == 5)
                s = 6;
            break;
        case kTokColon:
            if (s != 7 && s != 8)
                return kCnvBadDate;
            break;
        case kTokPoint:
            if (s != 9)
                return kCnvBadDate;
            break;
        case kTokNumber:
            if (kind == kClsTime && s < 6)
                s = 6;
            switch (s) {
            case 0:
            case 1:
            case 2:
                if (t.digits != 4 || t.value > 9999)
                    return kCnvBadDate;
                out.date.year = static_cast<int16_t>(t.value);
                s = 3;
                break;
            case 3:
                if (t.digits != 2 || t.value < 1 || t.value > 12)
                    return kCnvBadDate;
                out.date.month = static_cast<uint8_t>(t.value);
                s = 4;
                break;
            case 4:
                if (t.digits != 2 || t.value < 1 || t.value > 31)
                    return kCnvBadDate;
                out.date.day = static_cast<uint8_t>(t.value);
                s = 5;
                break;
            case 5: s = 6; break;
            case 6:
                if (kind == kClsDate || t.digits != 2 || t.value > 23)
                    return kCnvBadDate;
                out.time.hour = static_cast<uint8_t>(t.value);
                s = 7;
                break;
            case 7:
            case 8:
                if (t.digits != 2 || t.value > 59)
                    return kCnvBadDate;
                (s == 7 ? out.time.minute : out.time.second) = static_cast<uint8_t>(t.value);
                ++s;
                break;
            case 9: {
                uint64_t f = t.value;
                for (int d = t.digits; d < 9; ++d)
                    f *= 10;
                if (t.digits > 9 || f >= 1000000000u)
                    return kCnvBadDate;
                out.fraction = static_cast<uint32_t>(f);
                s = 10;
                break;
            }
            default: ++s; break;
            }
            break;
        default: break;
        }
    }
    cls = static_cast<int16_t>(kind);
    // Validity of the fields the kind carries.
    bool valid = true;
    if (kind != kClsTime)
        valid = rcCnvDateValid(out.date);
    if (kind != kClsDate)
        valid = valid && rcCnvTimeValid(out.time) && out.fraction < 1000000000u;
    return valid ? 0 : kCnvBadDate;
}
