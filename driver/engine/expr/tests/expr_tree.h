// Test trees of the expression and filter programs: a small reader of
// expression and condition text that builds parse trees of the shapes the
// SQL grammar builds (Expression, Primary, ColName, Literal, ScalarFn,
// SearchCond, BooleanPrimary, Predicate and the predicate nodes), so that the
// tests' tables stay readable without the front end's parser. A ScalarFn
// node carries its function code in its attribute; the CONVERT target its
// SQL type code, as the checks leave it.
#pragma once

#include <cctype>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver/engine/expr/rcexpnode.h"

namespace exptest {

struct TestFn {
    const char *name;
    int args;
    uint8_t code;
};

// The scalar functions and their codes (the front end's table).
inline const std::vector<TestFn> &TestFunctions()
{
    static const std::vector<TestFn> fns = {
        {"CONCAT", 2, 1},     {"CONVERT", 2, 2},     {"CURDATE", 0, 3},    {"CURTIME", 0, 4},
        {"DATABASE", 0, 5},   {"DAYOFMONTH", 1, 11}, {"DAYOFWEEK", 1, 12}, {"LCASE", 1, 13},
        {"LEFT", 2, 14},      {"LENGTH", 1, 15},     {"LOCATE", 3, 23},    {"LOCATE", 2, 22},
        {"LTRIM", 1, 21},     {"MOD", 2, 24},        {"MONTH", 1, 25},     {"QUARTER", 1, 26},
        {"NULL", 0, 31},      {"RIGHT", 2, 34},      {"RTRIM", 1, 35},     {"SUBSTRING", 3, 36},
        {"SUBSTRING", 2, 41}, {"UCASE", 1, 42},      {"USER", 0, 43},      {"YEAR", 1, 44},
    };
    return fns;
}

inline int16_t ConvertTypeCode(const std::string &name)
{
    static const struct {
        const char *name;
        int16_t code;
    } types[] = {
        {"SQL_BIT", SQL_BIT},         {"SQL_TINYINT", SQL_TINYINT},
        {"SQL_BIGINT", SQL_BIGINT},   {"SQL_CHAR", SQL_CHAR},
        {"SQL_NUMERIC", SQL_NUMERIC}, {"SQL_DECIMAL", SQL_DECIMAL},
        {"SQL_INTEGER", SQL_INTEGER}, {"SQL_SMALLINT", SQL_SMALLINT},
        {"SQL_FLOAT", SQL_FLOAT},     {"SQL_REAL", SQL_REAL},
        {"SQL_DOUBLE", SQL_DOUBLE},   {"SQL_DATE", SQL_DATE},
        {"SQL_TIME", SQL_TIME},       {"SQL_TIMESTAMP", SQL_TIMESTAMP},
        {"SQL_VARCHAR", SQL_VARCHAR}, {"SQL_LONGVARCHAR", SQL_LONGVARCHAR},
    };
    for (const auto &t : types)
        if (strcasecmp(t.name, name.c_str()) == 0)
            return t.code;
    return 0;
}

// Nodes of one test, freed with it.
class TreeArena {
public:
    rcParseNode *Node(uint16_t id, const char *text = "")
    {
        nodes_.emplace_back();
        rcParseNode *n = &nodes_.back();
        n->id = id;
        texts_.emplace_back(text);
        n->text = texts_.back().c_str();
        return n;
    }
    // A node over a chain of children.
    rcParseNode *N(uint16_t id, std::initializer_list<rcParseNode *> children)
    {
        return Wrap(id, Chain(children));
    }
    rcParseNode *Wrap(uint16_t id, rcParseNode *chain)
    {
        rcParseNode *n = Node(id);
        n->child = chain;
        for (rcParseNode *k = chain; k; k = k->next)
            k->parent = n;
        return n;
    }
    static rcParseNode *Chain(std::initializer_list<rcParseNode *> items)
    {
        rcParseNode *first = nullptr, *last = nullptr;
        for (rcParseNode *k : items) {
            if (!k)
                continue;
            if (last)
                last->next = k;
            else
                first = k;
            k->prev = last;
            last = k;
            while (last->next)
                last = last->next;
        }
        return first;
    }

private:
    std::deque<rcParseNode> nodes_;
    std::deque<std::string> texts_;
};

// Reads expression and condition text into grammar-shaped trees; throws
// std::runtime_error on text it does not know.
class TreeReader {
public:
    TreeReader(TreeArena &arena, const std::string &text) : a_(arena) { Lex(text); }

    rcParseNode *Expression()
    {
        rcParseNode *e = a_.Wrap(RC_N_Expression, Additive());
        return e;
    }
    rcParseNode *Condition() { return a_.Wrap(RC_N_SearchCond, Or()); }
    bool AtEnd() const { return pos_ == toks_.size(); }

private:
    struct Tok {
        std::string text;
        char kind; // 'i' identifier, 'n' number, 's' string, 'p' punctuation
    };

    void Lex(const std::string &s)
    {
        size_t i = 0;
        while (i < s.size()) {
            unsigned char c = static_cast<unsigned char>(s[i]);
            if (std::isspace(c)) {
                ++i;
            } else if (std::isalpha(c) || c == '_') {
                size_t j = i;
                while (j < s.size() &&
                       (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '_'))
                    ++j;
                toks_.push_back({s.substr(i, j - i), 'i'});
                i = j;
            } else if (std::isdigit(c) ||
                       (c == '.' && i + 1 < s.size() && std::isdigit(s[i + 1]))) {
                size_t j = i;
                while (j < s.size() &&
                       (std::isdigit(static_cast<unsigned char>(s[j])) || s[j] == '.'))
                    ++j;
                if (j < s.size() && (s[j] == 'E' || s[j] == 'e')) {
                    ++j;
                    if (j < s.size() && (s[j] == '+' || s[j] == '-'))
                        ++j;
                    while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j])))
                        ++j;
                }
                toks_.push_back({s.substr(i, j - i), 'n'});
                i = j;
            } else if (c == '\'') {
                std::string t = "'";
                size_t j = i + 1;
                for (;; ++j) {
                    if (j >= s.size())
                        throw std::runtime_error("open string");
                    if (s[j] == '\'') {
                        if (j + 1 < s.size() && s[j + 1] == '\'') {
                            t += '\'';
                            ++j;
                            continue;
                        }
                        break;
                    }
                    t += s[j];
                }
                toks_.push_back({t + "'", 's'});
                i = j + 1;
            } else {
                std::string two = s.substr(i, 2);
                if (two == "<>" || two == "<=" || two == ">=") {
                    toks_.push_back({two, 'p'});
                    i += 2;
                } else {
                    toks_.push_back({std::string(1, static_cast<char>(c)), 'p'});
                    ++i;
                }
            }
        }
    }

    const Tok *Peek(size_t ahead = 0) const
    {
        return pos_ + ahead < toks_.size() ? &toks_[pos_ + ahead] : nullptr;
    }
    bool Is(const char *word, size_t ahead = 0) const
    {
        const Tok *t = Peek(ahead);
        return t && strcasecmp(t->text.c_str(), word) == 0 && (t->kind == 'i' || t->kind == 'p');
    }
    const Tok &Take()
    {
        if (pos_ >= toks_.size())
            throw std::runtime_error("unexpected end");
        return toks_[pos_++];
    }
    rcParseNode *Expect(const char *word, uint16_t id)
    {
        if (!Is(word))
            throw std::runtime_error(std::string("expected ") + word);
        return a_.Node(id, Take().text.c_str());
    }
    rcParseNode *Punct(char c)
    {
        return Expect(std::string(1, c).c_str(), static_cast<uint8_t>(c));
    }

    // Conditions: chains that the caller wraps, as the grammar's rules do.
    rcParseNode *Or()
    {
        rcParseNode *chain = And();
        while (Is("OR")) {
            rcParseNode *op = Expect("OR", RC_T_OR);
            chain = TreeArena::Chain(
                {a_.Wrap(RC_N_SearchCond, chain), op, a_.Wrap(RC_N_SearchCond, And())});
        }
        return chain;
    }
    rcParseNode *And()
    {
        rcParseNode *chain = Not();
        while (Is("AND")) {
            rcParseNode *op = Expect("AND", RC_T_AND);
            chain = TreeArena::Chain(
                {a_.Wrap(RC_N_SearchCond, chain), op, a_.Wrap(RC_N_SearchCond, Not())});
        }
        return chain;
    }
    rcParseNode *Not()
    {
        if (Is("NOT")) {
            rcParseNode *op = Expect("NOT", RC_T_NOT);
            return TreeArena::Chain({op, a_.Wrap(RC_N_BooleanPrimary, BoolPrimary())});
        }
        return a_.Wrap(RC_N_BooleanPrimary, BoolPrimary());
    }
    rcParseNode *BoolPrimary()
    {
        if (Is("(")) {
            size_t save = pos_;
            try {
                rcParseNode *open = Punct('(');
                rcParseNode *inner = a_.Wrap(RC_N_SearchCond, Or());
                rcParseNode *close = Punct(')');
                static const char *const follow[] = {
                    "=", "<>", "<",       ">",  "<=",   ">=", "+",  "-",
                    "*", "/",  "BETWEEN", "IN", "LIKE", "IS", "NOT"};
                bool more = false;
                for (const char *f : follow)
                    more = more || Is(f);
                if (!more)
                    return TreeArena::Chain({open, inner, close});
            } catch (const std::runtime_error &) {}
            pos_ = save;
        }
        return a_.Wrap(RC_N_Predicate, Predicate());
    }
    uint16_t CompareToken() const
    {
        static const struct {
            const char *text;
            uint16_t id;
        } ops[] = {{"=", RC_T_EQ}, {"<>", RC_T_NE}, {"<", RC_T_LT},
                   {">", RC_T_GT}, {"<=", RC_T_LE}, {">=", RC_T_GE}};
        for (const auto &o : ops)
            if (Is(o.text))
                return o.id;
        return 0;
    }
    rcParseNode *SubQuery()
    {
        rcParseNode *open = Punct('(');
        int depth = 1;
        rcParseNode *body = a_.Node(RC_T_SELECT, "SELECT");
        while (depth > 0) {
            const Tok &t = Take();
            if (t.text == "(")
                ++depth;
            else if (t.text == ")")
                --depth;
        }
        return a_.N(RC_N_SubQuery, {open, body, a_.Node(')', ")")});
    }
    rcParseNode *Predicate()
    {
        if (Is("{")) { // {pred name, arg, ...}: the name as the checks resolve it
            Punct('{');
            if (!Is("pred"))
                throw std::runtime_error("expected pred");
            Take();
            rcParseNode *name = a_.Node(RC_N_VendorPredName, Take().text.c_str());
            rcParseNode *last = name;
            while (Is(",")) {
                rcParseNode *comma = Punct(',');
                rcParseNode *arg = Expression();
                last->next = comma;
                comma->prev = last;
                comma->next = arg;
                arg->prev = comma;
                last = arg;
            }
            Punct('}');
            return a_.Wrap(RC_N_VendorStringPredicate, name);
        }
        if (Is("EXISTS")) {
            rcParseNode *kw = Expect("EXISTS", RC_T_EXISTS);
            return a_.N(RC_N_ExistsPredicate, {kw, SubQuery()});
        }
        rcParseNode *left = Expression();
        if (uint16_t op = CompareToken()) {
            rcParseNode *cmp = a_.Wrap(RC_N_CompareOp, a_.Node(op, Take().text.c_str()));
            return a_.N(RC_N_ComparePredicate,
                        {left, cmp, a_.Wrap(RC_N_ExprOrSubQuery, Expression())});
        }
        rcParseNode *notOpt = nullptr;
        if (Is("NOT"))
            notOpt = a_.Wrap(RC_N_NOT_Opt, Expect("NOT", RC_T_NOT));
        if (Is("BETWEEN")) {
            rcParseNode *kw = Expect("BETWEEN", RC_T_BETWEEN);
            rcParseNode *lo = Expression();
            rcParseNode *andKw = Expect("AND", RC_T_AND);
            return a_.N(RC_N_BetweenPredicate, {left, notOpt, kw, lo, andKw, Expression()});
        }
        if (Is("IN")) {
            rcParseNode *kw = Expect("IN", RC_T_IN);
            rcParseNode *open = Punct('(');
            std::vector<rcParseNode *> items;
            for (;;) {
                items.push_back(a_.Wrap(RC_N_Value, SimpleValue()));
                if (!Is(","))
                    break;
                items.push_back(Punct(','));
            }
            rcParseNode *list = a_.Node(RC_N_ValueList);
            for (size_t k = 0; k < items.size(); ++k)
                items[k]->next = k + 1 < items.size() ? items[k + 1] : nullptr;
            list->child = items.front();
            rcParseNode *source = a_.N(RC_N_ValueListORSubQuery, {open, list, Punct(')')});
            return a_.N(RC_N_InPredicate, {left, notOpt, kw, source});
        }
        if (Is("LIKE")) {
            uint16_t id = notOpt ? RC_T_NOTLIKE : RC_T_LIKE;
            rcParseNode *kw = a_.Wrap(RC_N_NotOrNotLike, a_.Node(id, Take().text.c_str()));
            rcParseNode *pattern = a_.Wrap(RC_N_Expression, a_.Wrap(RC_N_Primary, Pattern()));
            return a_.N(RC_N_LikePredicate, {left, kw, pattern});
        }
        if (Is("IS")) {
            rcParseNode *is = Expect("IS", RC_T_IS);
            rcParseNode *n = Is("NOT") ? a_.Wrap(RC_N_NOT_Opt, Expect("NOT", RC_T_NOT)) : nullptr;
            return a_.N(RC_N_NullPredicate, {left, is, n, Expect("NULL", RC_T_NULL)});
        }
        throw std::runtime_error("no predicate");
    }
    rcParseNode *Pattern()
    {
        const Tok *t = Peek();
        if (t && t->kind == 's')
            return a_.Wrap(RC_N_Literal, a_.Node(RC_T_CHAR_STR_LIT, Take().text.c_str()));
        if (Is("?"))
            return a_.Wrap(RC_N_DynamicParm, Punct('?'));
        return Expect("USER", RC_T_USER);
    }
    rcParseNode *SimpleValue()
    {
        if (Is("?")) {
            rcParseNode *p = a_.Wrap(RC_N_DynamicParm, Punct('?'));
            p->attr2 = params_++;
            return p;
        }
        if (Is("USER"))
            return Expect("USER", RC_T_USER);
        if (Is("+") || Is("-")) {
            rcParseNode *sign = Punct(Peek()->text[0]);
            return TreeArena::Chain({sign, Literal()});
        }
        if (Is("{"))
            return Escape();
        return Literal();
    }
    rcParseNode *Literal()
    {
        const Tok &t = Take();
        if (t.kind == 's')
            return a_.Wrap(RC_N_Literal, a_.Node(RC_T_CHAR_STR_LIT, t.text.c_str()));
        if (t.kind != 'n')
            throw std::runtime_error("not a literal: " + t.text);
        if (t.text.find_first_of("eE") != std::string::npos)
            return a_.Wrap(RC_N_Literal, a_.Wrap(RC_N_NumericLiteral,
                                                 a_.Node(RC_T_APPROX_NUM_LIT, t.text.c_str())));
        uint16_t id = t.text.find('.') != std::string::npos ? RC_T_DECNUM_LIT : RC_T_USINT_LIT;
        return a_.Wrap(
            RC_N_Literal,
            a_.Wrap(RC_N_NumericLiteral, a_.Wrap(RC_N_ExactNumLit, a_.Node(id, t.text.c_str()))));
    }
    rcParseNode *Escape()
    {
        Punct('{');
        const Tok &label = Take();
        rcParseNode *out;
        if (strcasecmp(label.text.c_str(), "fn") == 0) {
            out = ScalarFn();
        } else {
            int16_t type = strcasecmp(label.text.c_str(), "d") == 0    ? SQL_DATE
                           : strcasecmp(label.text.c_str(), "t") == 0  ? SQL_TIME
                           : strcasecmp(label.text.c_str(), "ts") == 0 ? SQL_TIMESTAMP
                                                                       : 0;
            const Tok &lit = Take();
            if (!type || lit.kind != 's')
                throw std::runtime_error("bad escape");
            out = a_.Node(RC_N_TypedLiteral, lit.text.c_str());
            out->attr = static_cast<uint32_t>(type);
        }
        Punct('}');
        return out;
    }
    rcParseNode *ScalarFn()
    {
        const Tok &name = Take();
        rcParseNode *id = a_.Node(RC_T_IDENTIFIER, name.text.c_str());
        rcParseNode *open = Punct('(');
        std::vector<rcParseNode *> args;
        bool convert = strcasecmp(name.text.c_str(), "CONVERT") == 0;
        int count = 0;
        while (!Is(")")) {
            if (count > 0)
                args.push_back(Punct(','));
            if (convert && count == 1) {
                rcParseNode *target = a_.Node(RC_N_ConvertType, Take().text.c_str());
                target->attr = static_cast<uint32_t>(ConvertTypeCode(target->text));
                args.push_back(a_.Wrap(RC_N_Expression, a_.Wrap(RC_N_Primary, target)));
            } else {
                args.push_back(Expression());
            }
            ++count;
        }
        rcParseNode *close = Punct(')');
        rcParseNode *list;
        if (args.empty()) {
            list = a_.Node(RC_N_Void, "VOID");
        } else {
            for (size_t k = 0; k + 1 < args.size(); ++k)
                args[k]->next = args[k + 1];
            list = a_.Wrap(RC_N_SFParmList, args.front());
        }
        rcParseNode *fn = a_.N(RC_N_ScalarFn, {id, open, list, close});
        for (const TestFn &f : TestFunctions())
            if (strcasecmp(f.name, name.text.c_str()) == 0 && f.args == count)
                fn->attr = f.code;
        if (!fn->attr)
            throw std::runtime_error("unknown function " + name.text);
        return fn;
    }

    // Expressions: chains of Expression operands and operators.
    rcParseNode *Additive()
    {
        rcParseNode *chain = Multiplicative();
        while (Is("+") || Is("-")) {
            rcParseNode *op = Punct(Peek()->text[0]);
            chain = TreeArena::Chain(
                {a_.Wrap(RC_N_Expression, chain), op, a_.Wrap(RC_N_Expression, Multiplicative())});
        }
        return chain;
    }
    rcParseNode *Multiplicative()
    {
        rcParseNode *chain = Unary();
        while (Is("*") || Is("/")) {
            rcParseNode *op = Punct(Peek()->text[0]);
            chain = TreeArena::Chain(
                {a_.Wrap(RC_N_Expression, chain), op, a_.Wrap(RC_N_Expression, Unary())});
        }
        return chain;
    }
    rcParseNode *Unary()
    {
        if (Is("+") || Is("-")) {
            rcParseNode *op = Punct(Peek()->text[0]);
            return TreeArena::Chain({op, a_.Wrap(RC_N_Expression, Unary())});
        }
        return a_.Wrap(RC_N_Primary, Primary());
    }
    rcParseNode *Primary()
    {
        const Tok *t = Peek();
        if (!t)
            throw std::runtime_error("unexpected end");
        if (t->kind == 'n' || t->kind == 's')
            return Literal();
        if (Is("?")) {
            rcParseNode *p = a_.Wrap(RC_N_DynamicParm, Punct('?'));
            p->attr2 = params_++;
            return p;
        }
        if (Is("(")) {
            rcParseNode *open = Punct('(');
            rcParseNode *inner = Expression();
            return TreeArena::Chain({open, inner, Punct(')')});
        }
        if (Is("{"))
            return Escape();
        if (Is("IF") && Is("(", 1)) {
            rcParseNode *kw = Expect("IF", RC_T_IF);
            rcParseNode *open = Punct('(');
            rcParseNode *cond = Condition();
            rcParseNode *c1 = Punct(',');
            rcParseNode *a = Expression();
            rcParseNode *c2 = Punct(',');
            rcParseNode *b = Expression();
            return a_.N(RC_N_IFCondExpr, {kw, open, cond, c1, a, c2, b, Punct(')')});
        }
        static const struct {
            const char *name;
            uint16_t id;
        } aggregates[] = {{"SUM", RC_T_SUM},
                          {"COUNT", RC_T_COUNT},
                          {"MIN", RC_T_MIN},
                          {"MAX", RC_T_MAX},
                          {"AVG", RC_T_AVG}};
        for (const auto &g : aggregates) {
            if (Is(g.name) && Is("(", 1)) {
                rcParseNode *op = a_.Wrap(RC_N_DistAllFnOp, Expect(g.name, g.id));
                rcParseNode *open = Punct('(');
                rcParseNode *arg = Expression();
                return a_.Wrap(RC_N_SetFunctionRef, a_.N(RC_N_AllFn, {op, open, arg, Punct(')')}));
            }
        }
        if (t->kind == 'i' && Is("(", 1))
            return ScalarFn();
        if (Is("USER"))
            return Expect("USER", RC_T_USER);
        if (t->kind == 'i')
            return a_.Wrap(RC_N_ColName,
                           a_.Wrap(RC_N_ColId, a_.Node(RC_T_IDENTIFIER, Take().text.c_str())));
        throw std::runtime_error("unexpected " + t->text);
    }

    TreeArena &a_;
    std::vector<Tok> toks_;
    size_t pos_ = 0;
    uint32_t params_ = 0;
};

} // namespace exptest
