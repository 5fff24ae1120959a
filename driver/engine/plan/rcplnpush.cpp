// Filter push-down: conditions of one table -> filter tree -> DrmFilterTree
// and DrmDataTree words -> the data module (see rcplnpush.h).
//
// A table's conditions are converted into a tree of FNode records: AND and
// OR nodes, comparisons, column leaves and value leaves (literal text as
// written, parameters by index, escape-typed literals). NOT is moved down
// onto the comparisons while converting; BETWEEN and IN lists become the
// comparisons they stand for; what has no search form (LIKE, IS NULL,
// arithmetic, columns of two tables) becomes a NONE leaf. Validation then
// types every comparison against its column's value type, converting the
// value exactly or making the comparison NONE, and applies the capability
// mask: an AND drops NONE sides (the filter becomes a part), an OR with a
// NONE side is NONE. What is left is encoded and offered.
#include "driver/engine/plan/rcplnpush.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "driver/core/rccnvimpl.h"
#include "driver/core/rcdate.h"
#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/plan/rcplnsub.h"
#include "driver/engine/plan/rcplntree.h"
#include "driver/engine/rcspy.h"
#include "driver/engine/tam.h"

namespace {

enum : uint16_t { kValueData = 0, kValueParam = 1, kValueUntyped = 3, kValueTyped = 4 };

struct FNode {
    uint16_t code = PLN_FO_NONE; // operator, PLN_FO_COLUMN or a value type
    uint16_t flag = 0;           // values: kValue*
    std::vector<int> kids;
    const rcTblColumn *column = nullptr;
    std::string text;     // untyped literal: numbers signed, texts with quotes
    int16_t typedSql = 0; // escape literal: SQL_DATE, SQL_TIME or SQL_TIMESTAMP
    uint32_t param = 0;   // parameter index
    std::vector<uint8_t> value;
};

struct Work {
    rcPlnStmt *stmt = nullptr;
    const rcTblEntry *table = nullptr;
    std::vector<FNode> nodes;
    std::vector<rcPlnPushedParam> params;
    bool killed = false; // a scalar function or IF: nothing is pushed

    int Add(FNode n)
    {
        nodes.push_back(std::move(n));
        return static_cast<int>(nodes.size()) - 1;
    }
    int None() { return Add(FNode{}); }
    int Op(uint16_t code, std::vector<int> kids)
    {
        FNode n;
        n.code = code;
        n.kids = std::move(kids);
        return Add(std::move(n));
    }
};

bool SpyOn(const rcPlnStmt *stmt)
{
    return (stmt->engineOptions & RC_SPY_OPT_FILTSPY) != 0 && rcSpyIsOpen();
}

void Spy(const rcPlnStmt *stmt, const char *text)
{
    if (SpyOn(stmt))
        rcSpyWrite(text);
}

uint16_t Negated(uint16_t code)
{
    switch (code) {
    case PLN_FO_EQ: return PLN_FO_NE;
    case PLN_FO_NE: return PLN_FO_EQ;
    case PLN_FO_LT: return PLN_FO_GE;
    case PLN_FO_GE: return PLN_FO_LT;
    case PLN_FO_GT: return PLN_FO_LE;
    case PLN_FO_LE: return PLN_FO_GT;
    default: return code;
    }
}

uint16_t CompareCode(uint16_t token)
{
    switch (token) {
    case RC_T_EQ: return PLN_FO_EQ;
    case RC_T_NE: return PLN_FO_NE;
    case RC_T_LT: return PLN_FO_LT;
    case RC_T_LE: return PLN_FO_LE;
    case RC_T_GT: return PLN_FO_GT;
    case RC_T_GE: return PLN_FO_GE;
    default: return 0;
    }
}

// ---- Conversion of the parse tree --------------------------------------

int LiteralLeaf(Work &w, const rcParseNode *lit)
{
    const rcParseNode *c = lit->child;
    FNode n;
    n.code = PLN_PV_UNTYPED;
    n.flag = kValueUntyped;
    if (c != nullptr && c->id == RC_N_NumericLiteral) {
        const rcParseNode *v = c->child;
        if (v != nullptr && v->id == RC_N_ExactNumLit)
            v = v->child;
        if (v == nullptr || v->text == nullptr)
            return -1;
        n.text = v->text;
    } else if (c != nullptr && c->id == RC_T_CHAR_STR_LIT) {
        n.text = c->text;
    } else {
        return -1;
    }
    return w.Add(std::move(n));
}

int TypedLeaf(Work &w, const rcParseNode *lit)
{
    FNode n;
    n.code = PLN_PV_UNTYPED;
    n.flag = kValueTyped;
    n.typedSql = static_cast<int16_t>(lit->attr);
    n.text = lit->text != nullptr ? lit->text : "";
    return w.Add(std::move(n));
}

int ParamLeaf(Work &w, const rcParseNode *p)
{
    FNode n;
    n.code = PLN_PV_UNTYPED;
    n.flag = kValueParam;
    n.param = p->attr2;
    return w.Add(std::move(n));
}

// A leaf of a value: a literal made negative, else NONE.
int Negative(Work &w, int inner)
{
    if (inner < 0)
        return inner;
    FNode &n = w.nodes[static_cast<size_t>(inner)];
    if (n.flag != kValueUntyped || n.text.empty() || n.text[0] == '\'')
        return w.None();
    n.text = n.text[0] == '-' ? n.text.substr(1) : "-" + n.text;
    return inner;
}

int ConvertExpr(Work &w, const rcParseNode *e);

int ConvertPrimary(Work &w, const rcParseNode *p)
{
    if (p == nullptr)
        return -1;
    switch (p->id) {
    case RC_N_ColName: {
        const auto *col = static_cast<const rcTblColumn *>(p->sem);
        if (col == nullptr || col->owner != w.table)
            return w.None();
        FNode n;
        n.code = PLN_FO_COLUMN;
        n.column = col;
        return w.Add(std::move(n));
    }
    case RC_N_Literal: return LiteralLeaf(w, p);
    case RC_N_TypedLiteral: return TypedLeaf(w, p);
    case RC_N_DynamicParm: return ParamLeaf(w, p);
    case '(': return p->next != nullptr ? ConvertExpr(w, p->next) : -1;
    case RC_N_ScalarFn:
    case RC_N_IFCondExpr: w.killed = true; return -1;
    case RC_N_SetFunctionRef:
    case RC_T_USER: return w.None();
    default: return -1;
    }
}

int ConvertExpr(Work &w, const rcParseNode *e)
{
    if (e == nullptr)
        return -1;
    if (e->id == RC_N_ExprOrSubQuery)
        e = e->child;
    if (e == nullptr || e->id != RC_N_Expression || e->child == nullptr)
        return -1;
    const rcParseNode *c = e->child;
    if (c->id == RC_N_Expression) {
        // Arithmetic stays with the engine; its operands are still looked at
        // for what kills the filter.
        for (const rcParseNode *k = c; k != nullptr; k = k->next)
            if (k->id == RC_N_Expression && ConvertExpr(w, k) < 0)
                return -1;
        return w.None();
    }
    if (c->id == '-' && c->next != nullptr)
        return Negative(w, ConvertExpr(w, c->next));
    if (c->id == '+' && c->next != nullptr)
        return ConvertExpr(w, c->next);
    if (c->id == RC_N_Primary)
        return ConvertPrimary(w, c->child);
    return -1;
}

// A value of an IN list: Value -> ? | USER | literal | +/- literal | escape.
int ConvertValue(Work &w, const rcParseNode *v)
{
    const rcParseNode *c = v != nullptr ? v->child : nullptr;
    if (c == nullptr)
        return -1;
    if (c->id == '-' && c->next != nullptr)
        return Negative(w, ConvertPrimary(w, c->next));
    if (c->id == '+' && c->next != nullptr)
        return ConvertPrimary(w, c->next);
    return ConvertPrimary(w, c);
}

int Copy(Work &w, int node)
{
    FNode n = w.nodes[static_cast<size_t>(node)];
    return w.Add(std::move(n));
}

int ConvertCond(Work &w, const rcParseNode *n, bool negate);

int Connective(Work &w, uint16_t code, const rcParseNode *a, const rcParseNode *b, bool negate)
{
    if (negate)
        code = code == PLN_FO_AND ? PLN_FO_OR : PLN_FO_AND;
    int l = ConvertCond(w, a, negate);
    int r = l >= 0 ? ConvertCond(w, b, negate) : -1;
    return r >= 0 ? w.Op(code, {l, r}) : -1;
}

int ComparePredicate(Work &w, const rcParseNode *p, bool negate)
{
    const rcParseNode *left = p->child;
    const rcParseNode *op = left != nullptr ? left->next : nullptr;
    const rcParseNode *right = op != nullptr ? op->next : nullptr;
    if (right == nullptr || op->id != RC_N_CompareOp)
        return -1;
    uint16_t code = CompareCode(op->child != nullptr ? op->child->id : op->id);
    if (code == 0)
        return -1;
    if (right->id == RC_N_ExprOrSubQuery && right->child != nullptr &&
        right->child->id == RC_N_SubQuery)
        return -1;
    int l = ConvertExpr(w, left);
    int r = l >= 0 ? ConvertExpr(w, right) : -1;
    return r >= 0 ? w.Op(negate ? Negated(code) : code, {l, r}) : -1;
}

// x BETWEEN a AND b is x >= a AND x <= b; NOT BETWEEN x < a OR x > b.
int BetweenPredicate(Work &w, const rcParseNode *p, bool negate)
{
    std::vector<const rcParseNode *> operands;
    for (const rcParseNode *k = p->child; k != nullptr; k = k->next) {
        if (k->id == RC_N_NOT_Opt)
            negate = !negate;
        else if (k->id == RC_N_Expression)
            operands.push_back(k);
    }
    if (operands.size() != 3)
        return -1;
    int x = ConvertExpr(w, operands[0]);
    int a = x >= 0 ? ConvertExpr(w, operands[1]) : -1;
    int b = a >= 0 ? ConvertExpr(w, operands[2]) : -1;
    if (b < 0)
        return -1;
    int low = w.Op(negate ? PLN_FO_LT : PLN_FO_GE, {x, a});
    int high = w.Op(negate ? PLN_FO_GT : PLN_FO_LE, {Copy(w, x), b});
    return w.Op(negate ? PLN_FO_OR : PLN_FO_AND, {low, high});
}

// x IN (a, b) is x = a OR x = b; NOT IN x <> a AND x <> b.
int InPredicate(Work &w, const rcParseNode *p, bool negate)
{
    if (rcPlnChild(p, RC_N_NOT_Opt) != nullptr)
        negate = !negate;
    const rcParseNode *source = rcPlnChild(p, RC_N_ValueListORSubQuery);
    const rcParseNode *list = rcPlnChild(source, RC_N_ValueList);
    if (list == nullptr)
        return -1; // a subquery
    int x = ConvertExpr(w, p->child);
    if (x < 0)
        return -1;
    int result = -1;
    uint32_t count = 0;
    for (const rcParseNode *v = list->child; v != nullptr; v = v->next) {
        if (v->id != RC_N_Value)
            continue;
        int value = ConvertValue(w, v);
        if (value < 0)
            return -1;
        int cmp = w.Op(negate ? PLN_FO_NE : PLN_FO_EQ, {count == 0 ? x : Copy(w, x), value});
        result = result < 0 ? cmp : w.Op(negate ? PLN_FO_AND : PLN_FO_OR, {result, cmp});
        ++count;
    }
    if (count > PLN_PUSH_IN_MAX)
        return w.None();
    return result >= 0 ? result : -1;
}

int ConvertCond(Work &w, const rcParseNode *n, bool negate)
{
    if (n == nullptr)
        return -1;
    switch (n->id) {
    case RC_N_SearchCond:
    case RC_N_BooleanPrimary:
    case RC_N_WhereSearchCond_Opt: {
        const rcParseNode *first = n->child;
        if (first == nullptr)
            return -1;
        if (first->id == RC_T_NOT && first->next != nullptr)
            return ConvertCond(w, first->next, !negate);
        if (first->id == '(' && first->next != nullptr)
            return ConvertCond(w, first->next, negate);
        if (first->next != nullptr && (first->next->id == RC_T_AND || first->next->id == RC_T_OR) &&
            first->next->next != nullptr)
            return Connective(w, first->next->id == RC_T_AND ? PLN_FO_AND : PLN_FO_OR, first,
                              first->next->next, negate);
        if (first->id == RC_T_WHERE && first->next != nullptr)
            return ConvertCond(w, first->next, negate);
        return ConvertCond(w, first, negate);
    }
    case RC_N_Predicate: return ConvertCond(w, n->child, negate);
    case RC_N_ComparePredicate: return ComparePredicate(w, n, negate);
    case RC_N_BetweenPredicate: return BetweenPredicate(w, n, negate);
    case RC_N_InPredicate: return InPredicate(w, n, negate);
    case RC_N_LikePredicate:
    case RC_N_NullPredicate:
        // No search form: the server has no wildcards, and it keeps empty
        // values where the engine reads NULL.
        return w.None();
    default: return -1; // EXISTS, quantified, vendor predicates
    }
}

// ---- Typing: exact conversions of values -------------------------------

// An exact decimal: sign, digits (at most 38 significant), power of ten.
struct Decimal {
    bool negative = false;
    __uint128_t mantissa = 0;
    int exponent = 0;
};

// Through the driver's one number scanner; the digits go into the mantissa
// and the point into the exponent.
bool ParseDecimal(const std::string &text, Decimal *out)
{
    *out = Decimal{};
    CnvScannedNumber s;
    if (rcCnvScanNumber(text.c_str(), s) != kCnvOk || s.exponent > 400 || s.exponent < -400)
        return false;
    out->negative = s.negative;
    int digits = 0;
    auto add = [&](const char *p, int32_t count) {
        for (int32_t i = 0; i < count; ++i) {
            if (out->mantissa == 0 && p[i] == '0')
                continue;
            if (++digits > 38)
                return false;
            out->mantissa = out->mantissa * 10 + static_cast<unsigned>(p[i] - '0');
        }
        return true;
    };
    if (!add(s.intDigits, s.intCount) || !add(s.fracDigits, s.fracCount))
        return false;
    out->exponent = s.exponent - s.fracCount;
    return true;
}

// The whole number a decimal is, when it is one and fits 64 bits.
bool ExactInteger(const Decimal &d, int64_t *out)
{
    __uint128_t m = d.mantissa;
    int e = d.exponent;
    while (e < 0 && m != 0) {
        if (m % 10 != 0)
            return false;
        m /= 10;
        ++e;
    }
    for (; e > 0 && m != 0; --e) {
        m *= 10;
        if (m > static_cast<__uint128_t>(INT64_MAX) + 1)
            return false;
    }
    if (m > static_cast<__uint128_t>(INT64_MAX) + (d.negative ? 1 : 0))
        return false;
    *out =
        d.negative ? static_cast<int64_t>(0 - static_cast<uint64_t>(m)) : static_cast<int64_t>(m);
    return true;
}

// The double a decimal is, when it is exactly one: m x 10^e = m x 5^e x 2^e
// needs 5^-e to divide m (e < 0) and what is left to fit 53 bits.
bool ExactDouble(const Decimal &d, double *out)
{
    __uint128_t m = d.mantissa;
    int e = d.exponent;
    if (m == 0) {
        *out = d.negative ? -0.0 : 0.0;
        return true;
    }
    int twos = 0;
    while (e < 0) {
        if (m % 5 != 0)
            return false;
        m /= 5;
        --twos;
        ++e;
    }
    for (; e > 0; --e) {
        if (m > (static_cast<__uint128_t>(1) << 120))
            return false;
        m *= 10;
    }
    while ((m & 1) == 0) {
        m >>= 1;
        ++twos;
    }
    if (m >= (static_cast<__uint128_t>(1) << 53) || twos > 960 || twos < -1000)
        return false;
    double v = std::ldexp(static_cast<double>(static_cast<uint64_t>(m)), twos);
    if (!std::isfinite(v) || v == 0)
        return false;
    *out = d.negative ? -v : v;
    return true;
}

// The value type of a column whose values a search compares exactly; 0 for
// the others.
uint16_t ValueTypeOf(int16_t sqlType)
{
    switch (sqlType) {
    case SQL_BIT: return PLN_PV_BIT;
    case SQL_TINYINT: return PLN_PV_TINYINT;
    case SQL_SMALLINT: return PLN_PV_SMALLINT;
    case SQL_INTEGER: return PLN_PV_INTEGER;
    case SQL_FLOAT:
    case SQL_DOUBLE: return PLN_PV_DOUBLE;
    case SQL_DATE: return PLN_PV_DATE;
    case SQL_TIME: return PLN_PV_TIME;
    case SQL_CHAR: return PLN_PV_CHAR;
    case SQL_VARCHAR: return PLN_PV_VARCHAR;
    default: return 0;
    }
}

bool IsTextType(uint16_t type) { return type == PLN_PV_CHAR || type == PLN_PV_VARCHAR; }

template <typename T>
void Put(std::vector<uint8_t> *out, const T &v)
{
    out->resize(sizeof v);
    std::memcpy(out->data(), &v, sizeof v);
}

bool IntegerValue(uint16_t type, int64_t i, std::vector<uint8_t> *out)
{
    switch (type) {
    case PLN_PV_BIT:
        if (i != 0 && i != 1)
            return false;
        Put(out, static_cast<uint8_t>(i));
        return true;
    case PLN_PV_TINYINT:
        if (i < 0 || i > UINT8_MAX)
            return false;
        Put(out, static_cast<uint8_t>(i));
        return true;
    case PLN_PV_SMALLINT:
        if (i < INT16_MIN || i > INT16_MAX)
            return false;
        Put(out, static_cast<int16_t>(i));
        return true;
    case PLN_PV_INTEGER:
        if (i < INT32_MIN || i > INT32_MAX)
            return false;
        Put(out, static_cast<int32_t>(i));
        return true;
    case PLN_PV_DOUBLE:
        if (i > (int64_t{1} << 53) || i < -(int64_t{1} << 53))
            return false;
        Put(out, static_cast<double>(i));
        return true;
    default: return false;
    }
}

bool DoubleValue(uint16_t type, double d, std::vector<uint8_t> *out)
{
    if (!std::isfinite(d))
        return false;
    if (type == PLN_PV_DOUBLE) {
        Put(out, d);
        return true;
    }
    if (d != std::trunc(d) || std::fabs(d) > 9.0e15)
        return false;
    return IntegerValue(type, static_cast<int64_t>(d), out);
}

// A number written as text into the type, exactly.
bool NumberValue(uint16_t type, const std::string &text, std::vector<uint8_t> *out)
{
    Decimal d;
    if (!ParseDecimal(text, &d))
        return false;
    if (type == PLN_PV_DOUBLE) {
        double v = 0;
        return ExactDouble(d, &v) && DoubleValue(type, v, out);
    }
    int64_t i = 0;
    return ExactInteger(d, &i) && IntegerValue(type, i, out);
}

// Date or time text (or a timestamp whose other part is zero) into the type.
bool DateTimeValue(uint16_t type, const std::string &text, std::vector<uint8_t> *out)
{
    CnvTimestamp ts{};
    int16_t cls = 0;
    if (text.size() > 64 || rcCnvParseDateTime(text.c_str(), ts, cls) != 0)
        return false;
    bool hasDate = ts.date.year != 0 || ts.date.month != 0 || ts.date.day != 0;
    bool hasTime =
        ts.time.hour != 0 || ts.time.minute != 0 || ts.time.second != 0 || ts.fraction != 0;
    if (type == PLN_PV_DATE) {
        if (!hasDate || hasTime || !rcCnvDateValid(ts.date))
            return false;
        DATE_STRUCT d{ts.date.year, ts.date.month, ts.date.day};
        Put(out, d);
        return true;
    }
    if (type == PLN_PV_TIME) {
        if (hasDate || ts.fraction != 0 || !rcCnvTimeValid(ts.time))
            return false;
        TIME_STRUCT t{ts.time.hour, ts.time.minute, ts.time.second};
        Put(out, t);
        return true;
    }
    return false;
}

// A character literal without its quotes (inner quotes undoubled).
bool Unquote(const std::string &text, std::string *out)
{
    if (text.size() < 2 || text.front() != '\'' || text.back() != '\'')
        return false;
    out->clear();
    for (size_t i = 1; i + 1 < text.size(); ++i) {
        out->push_back(text[i]);
        if (text[i] == '\'' && text[i + 1] == '\'')
            ++i;
    }
    return true;
}

// Text as a search compares it: trailing blanks do not count.
bool TextValue(const char *text, size_t length, size_t limit, std::vector<uint8_t> *out)
{
    while (length > 0 && text[length - 1] == ' ')
        --length;
    if (length > limit || std::memchr(text, '\0', length) != nullptr)
        return false;
    out->assign(text, text + length);
    return true;
}

// Types a literal leaf as `type`; false when it does not convert exactly.
bool TypeLiteral(FNode &v, uint16_t type)
{
    std::string body;
    bool ok = false;
    if (v.flag == kValueTyped) {
        ok = (type == PLN_PV_DATE || type == PLN_PV_TIME) && DateTimeValue(type, v.text, &v.value);
        if (!ok && Unquote(v.text, &body))
            ok =
                (type == PLN_PV_DATE || type == PLN_PV_TIME) && DateTimeValue(type, body, &v.value);
    } else if (!v.text.empty() && v.text.front() == '\'') {
        if (!Unquote(v.text, &body))
            return false;
        if (IsTextType(type))
            ok = TextValue(body.data(), body.size(), PLN_PUSH_TEXT_MAX, &v.value);
        else if (type == PLN_PV_DATE || type == PLN_PV_TIME)
            ok = DateTimeValue(type, body, &v.value);
    } else if (!IsTextType(type) && type != PLN_PV_DATE && type != PLN_PV_TIME) {
        ok = NumberValue(type, v.text, &v.value);
    }
    if (ok) {
        v.code = type;
        v.flag = kValueData;
    }
    return ok;
}

// 0 none, 1 part, 2 full. Replaces a reduced AND by its kept side.
int Validate(Work &w, int at)
{
    FNode &n = w.nodes[static_cast<size_t>(at)];
    const uint32_t mask = w.stmt->filterMask;
    auto allowed = [&](uint16_t code) { return (mask & (1u << (code - PLN_FO_AND))) != 0; };
    switch (n.code) {
    case PLN_FO_AND:
    case PLN_FO_OR: {
        if (!allowed(n.code) || n.kids.size() != 2)
            return 0;
        int a = n.kids[0], b = n.kids[1];
        int ra = Validate(w, a);
        int rb = Validate(w, b);
        FNode &self = w.nodes[static_cast<size_t>(at)];
        if (self.code == PLN_FO_OR)
            return ra == 0 || rb == 0 ? 0 : (ra == 2 && rb == 2 ? 2 : 1);
        if (ra == 0 && rb == 0)
            return 0;
        if (ra == 0 || rb == 0) {
            FNode kept = w.nodes[static_cast<size_t>(ra == 0 ? b : a)];
            w.nodes[static_cast<size_t>(at)] = std::move(kept);
            return 1;
        }
        return ra == 2 && rb == 2 ? 2 : 1;
    }
    case PLN_FO_EQ:
    case PLN_FO_NE:
    case PLN_FO_LT:
    case PLN_FO_LE:
    case PLN_FO_GT:
    case PLN_FO_GE: {
        if (!allowed(n.code) || n.kids.size() != 2)
            return 0;
        const uint16_t code = n.code;
        int colAt = n.kids[0], valAt = n.kids[1];
        if (w.nodes[static_cast<size_t>(colAt)].code != PLN_FO_COLUMN)
            std::swap(colAt, valAt);
        const FNode &col = w.nodes[static_cast<size_t>(colAt)];
        FNode &val = w.nodes[static_cast<size_t>(valAt)];
        if (col.code != PLN_FO_COLUMN || val.code != PLN_PV_UNTYPED)
            return 0; // two columns, two values, arithmetic
        uint16_t type = ValueTypeOf(col.column->type.sqlType);
        if (type == 0)
            return 0;
        if (IsTextType(type)) {
            // The server orders text otherwise than the driver's collation,
            // and values cross the translation library when one is loaded.
            if ((code != PLN_FO_EQ && code != PLN_FO_NE) ||
                TamTranslatorLoaded(w.stmt->session->link.translator))
                return 0;
        }
        if (val.flag == kValueParam) {
            val.code = type;
            w.params.push_back({val.param, 0, type});
            return 2;
        }
        return TypeLiteral(val, type) ? 2 : 0;
    }
    default: return 0;
    }
}

// ---- Encoding ----------------------------------------------------------

uint32_t DataBytes(const FNode &n)
{
    if (n.flag != kValueData)
        return 0;
    if (IsTextType(n.code))
        return static_cast<uint32_t>((n.value.size() + 8) / 8 * 8);
    return n.code == PLN_PV_TIMESTAMP ? 16 : n.code == PLN_PV_DECIMAL38 ? 40 : 8;
}

uint32_t NodeWords(const FNode &n)
{
    if (n.code == PLN_FO_COLUMN)
        return 3;
    if (n.code < PLN_FO_NONE || n.code > 1022)
        return 4;
    return 2 + static_cast<uint32_t>(n.kids.size());
}

void CountWords(const Work &w, int at, uint32_t *words, uint32_t *dataBytes)
{
    const FNode &n = w.nodes[static_cast<size_t>(at)];
    *words += NodeWords(n);
    *dataBytes += DataBytes(n);
    for (int k : n.kids)
        CountWords(w, k, words, dataBytes);
}

struct Encoder {
    const Work &w;
    const TamTableHandle *handle;
    uint32_t paramBase;
    std::vector<uint32_t> *tree;
    std::vector<uint32_t> *data;
    uint32_t nextWord = 1;
    uint32_t nextByte = 8;

    uint32_t Put(int at)
    {
        const FNode &n = w.nodes[static_cast<size_t>(at)];
        uint32_t here = nextWord;
        nextWord += NodeWords(n);
        uint32_t *t = tree->data() + here;
        if (n.code == PLN_FO_COLUMN) {
            t[0] = PLN_FO_COLUMN;
            t[1] = handle->cursor;
            t[2] = n.column->number;
        } else if (n.code < PLN_FO_NONE || n.code > 1022) {
            t[0] = n.code;
            if (n.flag == kValueParam) {
                t[1] = IsTextType(n.code) ? PLN_PUSH_PARAM_MAX : 8;
                t[2] = 1;
                t[3] = paramBase + n.param;
            } else {
                t[1] = static_cast<uint32_t>(n.value.size());
                t[2] = 0;
                t[3] = nextByte;
                auto *bytes = reinterpret_cast<uint8_t *>(data->data());
                if (!n.value.empty())
                    std::memcpy(bytes + nextByte, n.value.data(), n.value.size());
                nextByte += DataBytes(n);
            }
        } else {
            t[0] = n.code;
            t[1] = static_cast<uint32_t>(n.kids.size());
            for (size_t k = 0; k < n.kids.size(); ++k) {
                uint32_t child = Put(n.kids[k]);
                tree->data()[here + 2 + k] = child;
            }
        }
        return here;
    }
};

void Encode(const Work &w, int root, const TamTableHandle *handle, uint32_t paramBase,
            rcPlnPushedTable *out)
{
    uint32_t words = 1, dataBytes = 0;
    CountWords(w, root, &words, &dataBytes);
    out->filter.assign(words, 0);
    out->filter[0] = words * 4;
    out->data.clear();
    if (dataBytes > 0) {
        out->data.assign((dataBytes + 8) / 4, 0);
        out->data[0] = static_cast<uint32_t>(out->data.size() * 4);
    }
    Encoder e{w, handle, paramBase, &out->filter, &out->data};
    e.Put(root);
}

// ---- Collecting a table's conditions -----------------------------------

void SplitAnd(const rcParseNode *cond, std::vector<const rcParseNode *> *out)
{
    const rcParseNode *a = cond->child;
    if (a != nullptr && a->id == RC_N_SearchCond && a->next != nullptr && a->next->id == RC_T_AND &&
        a->next->next != nullptr) {
        SplitAnd(a, out);
        SplitAnd(a->next->next, out);
        return;
    }
    out->push_back(cond);
}

// True when every column of the condition is one of the table's and it
// holds no subquery.
bool OnlyTable(const rcParseNode *cond, const rcTblEntry *table)
{
    return rcPlnWalkTree(cond, [&](const rcParseNode *n) {
        if (n->id == RC_N_SubQuery)
            return false;
        if (n->id != RC_N_ColName)
            return true;
        const auto *c = static_cast<const rcTblColumn *>(n->sem);
        return c != nullptr && c->owner == table;
    });
}

int16_t PostDrm(rcPlnStmt *stmt, int32_t code)
{
    rcErrPost(stmt->errors, rcErrMapDrm(code), nullptr, code, nullptr);
    return PLN_ERROR;
}

uint32_t ParamBase(rcPlnStmt *stmt)
{
    // One block of ids per push-down run: the session's counter, never 0.
    uint32_t base = stmt->session->paramIds + 1;
    if (base == 0)
        base = 1;
    return base;
}

} // namespace

int16_t rcFltPushDownTable(rcPlnStmt *stmt, const std::vector<const rcParseNode *> &conds,
                           PlanNode *table)
{
    if (conds.empty() || table->table == nullptr || table->table->handle == nullptr)
        return 0;
    const bool spy = SpyOn(stmt);
    if (spy) {
        rcSpyWrite("\r\n---------------------------------\r\nFilter Info:");
        rcSpyDump(RC_SPY_TABLE_NAME, table->table->name.c_str());
    }
    Work w;
    w.stmt = stmt;
    w.table = table->table;
    int root = -1;
    for (const rcParseNode *c : conds) {
        int n = ConvertCond(w, c, false);
        if (n < 0) {
            if (w.killed) {
                Spy(stmt, "\r\nKilling filter - contains a SCALAR function\r\n\r\n");
                return 0;
            }
            return 0; // a part that has no filter form: nothing is pushed
        }
        root = root < 0 ? n : w.Op(PLN_FO_AND, {root, n});
    }
    const int validated = Validate(w, root);
    if (validated == 0) {
        Spy(stmt, "\r\nKilling filter - operator not supported\r\n\r\n");
        return 0;
    }
    rcPlnPushDown *pd = stmt->pushDown;
    uint32_t base = ParamBase(stmt);
    for (rcPlnPushedParam &p : w.params) {
        if (p.index >= pd->marks.size())
            pd->marks.resize(p.index + 1, 0);
        pd->marks[p.index] = p.type;
        p.id = base + p.index;
        if (stmt->session->paramIds < p.id)
            stmt->session->paramIds = p.id;
    }
    rcPlnPushedTable pushed;
    pushed.table = table;
    pushed.params = w.params;
    Encode(w, root, table->table->handle, base, &pushed);
    const uint32_t *data = pushed.data.empty() ? nullptr : pushed.data.data();
    if (spy) {
        rcSpyWrite("\r\n---------------------------------\r\nFinal Filter Form:\r\n");
        rcSpyDump(RC_SPY_FILTER_TREE, pushed.filter.data(), data);
        rcSpyWrite("\r\n");
    }
    int32_t rc = TamSetFilter(stmt->session, table->table->handle, pushed.filter.data(), data);
    if (rc == PLN_DRM_FILTER_REFUSED)
        return 0;
    if (rc != 0 && rc != PLN_DRM_FILTER_PARTIAL)
        return PostDrm(stmt, rc);
    pushed.partial = rc == PLN_DRM_FILTER_PARTIAL || validated == 1;
    pushed.installed = true;
    for (const rcPlnPushedTable &t : pd->tables)
        if (t.table == table)
            return 0;
    pd->tables.push_back(std::move(pushed));
    return 0;
}

namespace {

// Gives back to the data module the parameter records of the pushed
// filters: they live as long as the plan that set them.
void FreePushedParams(rcPlnStmt *stmt)
{
    if (stmt->pushDown == nullptr || stmt->session == nullptr)
        return;
    for (const rcPlnPushedTable &t : stmt->pushDown->tables)
        for (const rcPlnPushedParam &p : t.params)
            TamFreeParams(stmt->session, p.id, p.id);
}

} // namespace

int16_t rcFltPushDownAll(rcPlnStmt *stmt)
{
    if (stmt->filterMask == 0 || (stmt->engineOptions & PLN_OPT_NOFILTOPT) != 0 ||
        stmt->session == nullptr)
        return 0;
    if (stmt->pushDown == nullptr) {
        stmt->pushDown = new (std::nothrow) rcPlnPushDown;
        if (stmt->pushDown == nullptr)
            return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    }
    FreePushedParams(stmt);
    stmt->pushDown->tables.clear();
    stmt->pushDown->marks.clear();
    try {
        for (PlanNode *t : stmt->tables) {
            // Two references sharing one cursor would share its filter.
            bool shared = false;
            for (PlanNode *o : stmt->tables)
                shared = shared || (o != t && o->table->handle == t->table->handle);
            if (shared)
                continue;
            std::vector<const rcParseNode *> conds;
            for (PlanNode *n = t->parent; n != nullptr && n->kind == PLN_RESTRICT; n = n->parent) {
                std::vector<const rcParseNode *> parts;
                SplitAnd(n->cond, &parts);
                for (const rcParseNode *c : parts)
                    if (OnlyTable(c, t->table))
                        conds.push_back(c);
            }
            if (rcFltPushDownTable(stmt, conds, t) != 0)
                return PLN_ERROR;
        }
    } catch (const std::bad_alloc &) {
        return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    }
    return 0;
}

namespace {

// The current value of a pushed parameter as its value type; false when it
// does not convert exactly (the table's filter is then left out).
bool ParamValue(const rcExpValue &v, uint16_t type, std::vector<uint8_t> *out)
{
    switch (v.type) {
    case SQL_BIT:
    case SQL_TINYINT: return !IsTextType(type) && IntegerValue(type, v.v.u8, out);
    case SQL_SMALLINT: return !IsTextType(type) && IntegerValue(type, v.v.i16, out);
    case SQL_INTEGER: return !IsTextType(type) && IntegerValue(type, v.v.i32, out);
    case SQL_BIGINT: return !IsTextType(type) && IntegerValue(type, v.v.i64, out);
    case SQL_REAL: return !IsTextType(type) && DoubleValue(type, v.v.f32, out);
    case SQL_FLOAT:
    case SQL_DOUBLE: return !IsTextType(type) && DoubleValue(type, v.v.f64, out);
    case SQL_DATE:
        if (type != PLN_PV_DATE)
            return false;
        Put(out, v.v.date);
        return true;
    case SQL_TIME:
        if (type != PLN_PV_TIME)
            return false;
        Put(out, v.v.time);
        return true;
    case SQL_TIMESTAMP: {
        const TIMESTAMP_STRUCT &ts = v.v.ts;
        bool time = ts.hour != 0 || ts.minute != 0 || ts.second != 0 || ts.fraction != 0;
        if (type == PLN_PV_DATE && !time) {
            Put(out, DATE_STRUCT{ts.year, ts.month, ts.day});
            return true;
        }
        return false;
    }
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR: {
        if (v.text == nullptr || v.length > PLN_PUSH_PARAM_MAX)
            return false;
        if (IsTextType(type))
            return TextValue(v.text, v.length, PLN_PUSH_PARAM_MAX, out);
        std::string text(v.text, v.length);
        if (type == PLN_PV_DATE || type == PLN_PV_TIME)
            return DateTimeValue(type, text, out);
        return NumberValue(type, text, out);
    }
    default: return false;
    }
}

// A table whose every read after an open starts at an index seek: the data
// module's seek searches by the key alone and makes the selection that the
// moves after it read, so the filter it holds is not what finds its rows.
// A subquery's seek table is left out: it may be switched to a scan while
// the query runs and its filter taken away (rcSubForgetSeeks).
bool ReadBySeeksOnly(const rcPlnStmt *stmt, const PlanNode *table)
{
    if (table->access != PLN_ACCESS_INDEX)
        return false;
    for (const PlanNode *sub : stmt->subqueries)
        if (sub->subInfo != nullptr && sub->subInfo->table == table)
            return false;
    return true;
}

} // namespace

int16_t rcFltBindParams(rcPlnStmt *stmt)
{
    rcPlnPushDown *pd = stmt->pushDown;
    if (pd == nullptr)
        return 0;
    try {
        std::vector<uint8_t> bytes;
        for (rcPlnPushedTable &t : pd->tables) {
            TamTableHandle *h = t.table->table->handle;
            // The same filter of no parameters is with this cursor since the
            // last open, and the seeks search afresh.
            if (t.kept && t.params.empty() && t.keptCursor == h->cursor &&
                ReadBySeeksOnly(stmt, t.table))
                continue;
            t.kept = false;
            bool exact = true;
            for (const rcPlnPushedParam &p : t.params) {
                rcExpValue v;
                if (stmt->param == nullptr) {
                    exact = false;
                    break;
                }
                if (stmt->param(stmt->paramCtx, p.index, &v) < 0)
                    return PLN_ERROR;
                if (v.isNull) {
                    if (TamSetParam(stmt->session, p.id, p.type, nullptr, 0) != 0)
                        return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_GENERAL_ERROR));
                    continue;
                }
                if (!ParamValue(v, p.type, &bytes)) {
                    exact = false;
                    break;
                }
                if (TamSetParam(stmt->session, p.id, p.type, bytes.data(),
                                static_cast<uint32_t>(bytes.size())) != 0)
                    return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_GENERAL_ERROR));
            }
            // The filter is given again at every open, so that the data
            // module searches afresh; without exact values it is taken away.
            int32_t rc = exact ? TamSetFilter(stmt->session, h, t.filter.data(),
                                              t.data.empty() ? nullptr : t.data.data())
                               : TamSetFilter(stmt->session, h, nullptr, nullptr);
            t.installed = exact && (rc == 0 || rc == PLN_DRM_FILTER_PARTIAL);
            t.kept = t.installed;
            t.keptCursor = h->cursor;
            if (rc != 0 && rc != PLN_DRM_FILTER_PARTIAL && rc != PLN_DRM_FILTER_REFUSED)
                return PostDrm(stmt, rc);
        }
    } catch (const std::bad_alloc &) {
        return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    }
    return 0;
}

void rcFltPushDownFree(rcPlnStmt *stmt)
{
    FreePushedParams(stmt);
    delete stmt->pushDown;
    stmt->pushDown = nullptr;
}

std::string rcFltTreeText(const uint32_t *filter, const uint32_t *data)
{
    if (filter == nullptr || filter[0] < 8)
        return "";
    const uint32_t words = filter[0] / 4;
    std::string out;
    auto node = [&](auto &&self, uint32_t at, int depth) -> void {
        if (at == 0 || at >= words || depth > 64) {
            out += "?";
            return;
        }
        const uint32_t *t = filter + at;
        uint32_t code = t[0];
        static const char *const kOps[] = {"=", "<=", ">=", "<", ">", "<>"};
        if (code == PLN_FO_COLUMN && at + 2 < words) {
            out += 'c';
            out += std::to_string(t[2]);
        } else if ((code == PLN_FO_AND || code == PLN_FO_OR) && at + 1 + t[1] < words) {
            out += "(";
            for (uint32_t k = 0; k < t[1]; ++k) {
                if (k)
                    out += code == PLN_FO_AND ? " AND " : " OR ";
                self(self, t[2 + k], depth + 1);
            }
            out += ")";
        } else if (code >= PLN_FO_EQ && code <= PLN_FO_NE && t[1] == 2 && at + 3 < words) {
            self(self, t[2], depth + 1);
            out += std::string(" ") + kOps[code - PLN_FO_EQ] + " ";
            self(self, t[3], depth + 1);
        } else if (code < PLN_FO_NONE && at + 3 < words) {
            if (t[2] == 1) {
                out += '?';
                out += std::to_string(t[3]);
                return;
            }
            if (data == nullptr || t[3] + t[1] > data[0]) {
                out += "?";
                return;
            }
            const auto *b = reinterpret_cast<const uint8_t *>(data) + t[3];
            char buf[64];
            switch (code) {
            case PLN_PV_BIT:
            case PLN_PV_TINYINT: std::snprintf(buf, sizeof buf, "%u", b[0]); break;
            case PLN_PV_SMALLINT: {
                int16_t v;
                std::memcpy(&v, b, 2);
                std::snprintf(buf, sizeof buf, "%d", v);
                break;
            }
            case PLN_PV_INTEGER: {
                int32_t v;
                std::memcpy(&v, b, 4);
                std::snprintf(buf, sizeof buf, "%d", v);
                break;
            }
            case PLN_PV_DOUBLE: {
                double v;
                std::memcpy(&v, b, 8);
                std::snprintf(buf, sizeof buf, "%.17g", v);
                break;
            }
            case PLN_PV_DATE:
            case PLN_PV_TIME: {
                uint16_t v[3];
                std::memcpy(v, b, 6);
                std::snprintf(buf, sizeof buf,
                              code == PLN_PV_DATE ? "%04u-%02u-%02u" : "%02u:%02u:%02u", v[0], v[1],
                              v[2]);
                break;
            }
            default:
                out += '\'';
                out.append(reinterpret_cast<const char *>(b), t[1]);
                out += '\'';
                return;
            }
            out += buf;
        } else {
            out += "op";
            out += std::to_string(code);
        }
    };
    node(node, 1, 0);
    return out;
}
