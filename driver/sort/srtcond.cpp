// Conditions of INCL and OMIT: parsing into postfix entries and evaluation.
//
// A condition list is comparisons (field, type, operator, quoted constant or
// second field) and parenthesised lists joined by AND or OR. Connectives at
// one level apply from left to right with no precedence: A AND B OR C is
// (A AND B) OR C. Constants are converted to the field's type once, here.
#include "platform/strings.h"
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "driver/sort/srtcond.h"
#include "driver/sort/srtparse_impl.h"

namespace {

struct CondParser {
    const SrtArgs &args;
    uint32_t syntaxError;
    const SrtCallbacks &callbacks;
    std::vector<SrtCondition> &out;
    size_t i = 0;

    uint32_t push(const SrtCondition &c)
    {
        if (out.size() == 40)
            return 206;
        out.push_back(c);
        return 0;
    }

    uint32_t list()
    {
        if (uint32_t err = item())
            return err;
        while (i < args.size() && args[i].kind != SrtToken::Close) {
            const SrtToken &t = args[i];
            SrtCondition conn;
            if (t.kind == SrtToken::Word && !t.quoted &&
                PlatAsciiCaseCompare(t.text.c_str(), "AND") == 0)
                conn.kind = SRT_COND_AND;
            else if (t.kind == SrtToken::Word && !t.quoted &&
                     PlatAsciiCaseCompare(t.text.c_str(), "OR") == 0)
                conn.kind = SRT_COND_OR;
            else
                return t.kind == SrtToken::Word ? 208 : syntaxError;
            ++i;
            if (i >= args.size())
                return syntaxError;
            if (uint32_t err = item())
                return err;
            if (uint32_t err = push(conn))
                return err;
        }
        return 0;
    }

    uint32_t item()
    {
        if (i >= args.size())
            return syntaxError;
        if (args[i].kind == SrtToken::Open) {
            ++i;
            if (uint32_t err = list())
                return err;
            if (i >= args.size() || args[i].kind != SrtToken::Close)
                return syntaxError;
            ++i;
            return 0;
        }
        if (args[i].kind != SrtToken::Word)
            return syntaxError;
        return comparison();
    }

    bool atWord() const { return i < args.size() && args[i].kind == SrtToken::Word; }

    uint32_t comparison()
    {
        static const char *const ops[] = {"CO", "EQ", "NE", "GT", "GE", "LT", "LE"};
        SrtCondition c;
        if (uint32_t err = srtParseField(args, i, c.field, true))
            return atWord() || err == 202 ? err : syntaxError;
        if (!atWord())
            return syntaxError;
        int type = srtMatchType(args[i].text);
        if (type < 0 || args[i].quoted)
            return 204;
        c.type = static_cast<SrtType>(type);
        if (uint32_t err = srtCheckFieldType(c.field, c.type, callbacks))
            return err;
        if (!atWord() || ++i >= args.size() || args[i].kind != SrtToken::Word)
            return syntaxError;
        int op = -1;
        for (int k = 0; k < 7; ++k)
            if (!args[i].quoted && PlatAsciiCaseCompare(args[i].text.c_str(), ops[k]) == 0)
                op = k;
        if (op < 0)
            return 205;
        c.op = static_cast<SrtCondOp>(op);
        if (c.op == SRT_OP_CO && c.type != SRT_CHA && c.type != SRT_ALP)
            return 205;
        if (++i >= args.size() || args[i].kind != SrtToken::Word)
            return syntaxError;
        if (args[i].quoted) {
            if (uint32_t err = convertConstant(args[i].text, c))
                return err;
            ++i;
        } else {
            c.withField = true;
            if (uint32_t err = srtParseField(args, i, c.other, true))
                return err;
        }
        return push(c);
    }

    static uint32_t convertConstant(const std::string &text, SrtCondition &c)
    {
        if (text.size() > 50)
            return 207;
        uint32_t len = c.field.len;
        switch (c.type) {
        case SRT_SU:
        case SRT_ALT: return 207;
        case SRT_INT:
        case SRT_W:
        case SRT_BIN:
        case SRT_FI: {
            if (c.field.numbered || (len != 2 && len != 4))
                return 207;
            char *end = nullptr;
            errno = 0;
            long long v = std::strtoll(text.c_str(), &end, 10);
            if (text.empty() || *end || errno)
                return 207;
            bool isSigned = c.type == SRT_INT || c.type == SRT_FI;
            long long lo = isSigned ? -(1LL << (len * 8 - 1)) : 0;
            long long hi = isSigned ? (1LL << (len * 8 - 1)) - 1 : (1LL << (len * 8)) - 1;
            if (v < lo || v > hi)
                return 207;
            uint64_t u = static_cast<uint64_t>(v);
            c.constant.assign(len, '\0');
            bool bigEndian = c.type == SRT_BIN || c.type == SRT_FI;
            for (uint32_t k = 0; k < len; ++k) {
                char byte = static_cast<char>((u >> (8 * k)) & 0xFF);
                c.constant[bigEndian ? len - 1 - k : k] = byte;
            }
            return 0;
        }
        case SRT_E:
        case SRT_FL: {
            char *end = nullptr;
            double d = strtod_l(text.c_str(), &end, srtCLocale());
            if (text.empty() || *end)
                return 207;
            c.constant.assign(len, '\0');
            if (len == 4) {
                float f = static_cast<float>(d);
                std::memcpy(c.constant.data(), &f, 4);
            } else {
                std::memcpy(c.constant.data(), &d, 8);
            }
            return 0;
        }
        default: c.constant = text; return 0;
        }
    }
};

bool contains(const unsigned char *hay, uint32_t hayLen, const unsigned char *needle,
              uint32_t needleLen, bool letters)
{
    if (needleLen == 0)
        return true;
    for (uint32_t at = 0; at + needleLen <= hayLen; ++at) {
        uint32_t k = 0;
        for (; k < needleLen; ++k) {
            unsigned char x = hay[at + k], y = needle[k];
            if (letters) {
                if (y == '*')
                    continue;
                if (x >= 'a' && x <= 'z')
                    x = static_cast<unsigned char>(x - 32);
                if (y >= 'a' && y <= 'z')
                    y = static_cast<unsigned char>(y - 32);
            }
            if (x != y)
                break;
        }
        if (k == needleLen)
            return true;
    }
    return false;
}

bool evalComparison(const SrtCompare &cmp, const SrtCondition &c, const unsigned char *rec,
                    uint32_t recLen)
{
    uint32_t off, len;
    srtLocate(cmp, rec, recLen, c.field, off, len);
    const unsigned char *other;
    uint32_t otherOff, otherLen;
    if (c.withField) {
        other = rec;
        srtLocate(cmp, rec, recLen, c.other, otherOff, otherLen);
    } else {
        other = reinterpret_cast<const unsigned char *>(c.constant.data());
        otherOff = 0;
        otherLen = static_cast<uint32_t>(c.constant.size());
    }
    if (c.op == SRT_OP_CO)
        return contains(rec + off, len, other + otherOff, otherLen, c.type == SRT_ALP);
    int r = srtCompareValues(cmp, c.type, c.field.len, rec, off, len, other, otherOff, otherLen);
    switch (c.op) {
    case SRT_OP_EQ: return r == 0;
    case SRT_OP_NE: return r != 0;
    case SRT_OP_GT: return r > 0;
    case SRT_OP_GE: return r >= 0;
    case SRT_OP_LT: return r < 0;
    default: return r <= 0;
    }
}

} // namespace

uint32_t srtParseConditions(const SrtArgs &args, uint32_t syntaxError,
                            const SrtCallbacks &callbacks, SrtSettings &settings)
{
    settings.conditions.clear();
    CondParser p{args, syntaxError, callbacks, settings.conditions};
    if (uint32_t err = p.list())
        return err;
    return p.i == args.size() ? 0 : syntaxError;
}

bool srtSelectRecord(const SrtCompare &cmp, const unsigned char *rec, uint32_t recLen)
{
    const std::vector<SrtCondition> &conds = cmp.settings->conditions;
    if (conds.empty())
        return true;
    bool stack[40];
    int top = 0;
    for (const SrtCondition &c : conds) {
        if (c.kind == SRT_COND_CMP) {
            stack[top++] = evalComparison(cmp, c, rec, recLen);
        } else {
            bool b = stack[--top];
            bool a = stack[--top];
            stack[top++] = c.kind == SRT_COND_AND ? (a && b) : (a || b);
        }
    }
    bool result = stack[0];
    return cmp.settings->omit ? !result : result;
}
