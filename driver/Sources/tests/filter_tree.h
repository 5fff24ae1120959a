// Builds the engine's filter and data trees for tests: an expression is
// written as nested F values and encoded with the root at word 1, children
// after their parent, literals in the data tree on 4-byte boundaries.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct F {
    enum Kind { Node, Column, Literal, Param } kind = Node;
    uint32_t code = 0; // operator code, or the value's type
    std::vector<F> kids;
    uint32_t column = 0;
    uint32_t param = 0;
    std::vector<uint8_t> bytes;
};

inline F Col(uint32_t column)
{
    F f;
    f.kind = F::Column;
    f.column = column;
    return f;
}
inline F Lit(uint32_t type, const void *data, size_t n)
{
    F f;
    f.kind = F::Literal;
    f.code = type;
    f.bytes.assign(static_cast<const uint8_t *>(data), static_cast<const uint8_t *>(data) + n);
    return f;
}
inline F Long(int32_t v) { return Lit(4, &v, 4); }
inline F Short(int16_t v) { return Lit(3, &v, 2); }
inline F Dbl(double v) { return Lit(7, &v, 8); }
inline F Text(const std::string &s, uint32_t type = 10) { return Lit(type, s.data(), s.size()); }
inline F Par(uint32_t type, uint32_t id)
{
    F f;
    f.kind = F::Param;
    f.code = type;
    f.param = id;
    return f;
}
inline F Op(uint32_t code, std::vector<F> kids)
{
    F f;
    f.code = code;
    f.kids = std::move(kids);
    return f;
}
inline F Eq(F a, F b) { return Op(1004, {a, b}); }
inline F Le(F a, F b) { return Op(1005, {a, b}); }
inline F Ge(F a, F b) { return Op(1006, {a, b}); }
inline F Lt(F a, F b) { return Op(1007, {a, b}); }
inline F Gt(F a, F b) { return Op(1008, {a, b}); }
inline F Ne(F a, F b) { return Op(1009, {a, b}); }
inline F And(F a, F b) { return Op(1001, {a, b}); }
inline F Or(F a, F b) { return Op(1002, {a, b}); }
inline F Not(F a) { return Op(1003, {a}); }

struct EncodedFilter {
    std::vector<uint32_t> tree{0};
    std::vector<uint32_t> data{0, 0};

    uint32_t Write(const F &f)
    {
        uint32_t at = static_cast<uint32_t>(tree.size());
        switch (f.kind) {
        case F::Column: tree.insert(tree.end(), {500, 1, f.column}); break;
        case F::Param: tree.insert(tree.end(), {f.code, 0, 1, f.param}); break;
        case F::Literal: {
            uint32_t offset = static_cast<uint32_t>(data.size() * 4);
            std::vector<uint32_t> words((f.bytes.size() + 3) / 4, 0);
            if (!f.bytes.empty())
                std::memcpy(words.data(), f.bytes.data(), f.bytes.size());
            data.insert(data.end(), words.begin(), words.end());
            tree.insert(tree.end(), {f.code, static_cast<uint32_t>(f.bytes.size()), 0, offset});
            break;
        }
        case F::Node: {
            tree.push_back(f.code);
            tree.push_back(static_cast<uint32_t>(f.kids.size()));
            size_t slots = tree.size();
            tree.resize(tree.size() + f.kids.size(), 0);
            for (size_t i = 0; i < f.kids.size(); ++i) {
                uint32_t child = Write(f.kids[i]);
                tree[slots + i] = child;
            }
            break;
        }
        }
        return at;
    }
    explicit EncodedFilter(const F &root)
    {
        Write(root);
        tree[0] = static_cast<uint32_t>(tree.size() * 4);
        data[0] = static_cast<uint32_t>(data.size() * 4);
    }
};
