// Test kit of the expression and filter programs: expression and condition
// text is read into grammar-shaped trees (expr_tree.h) and typed by a small
// typer here (column types from a fixed test table, literal, arithmetic and
// function types by the rules of the semantic checks); column values come
// from a fake row source that holds one row of texts, converted to each
// column's storage form when read.
#pragma once

#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "driver/core/rccnv.h"
#include "driver/core/rcerror.h"
#include "driver/core/rcstrings.h"
#include "driver/engine/expr/rcevl.h"
#include "driver/engine/expr/rcexp.h"
#include "driver/engine/expr/tests/expr_tree.h"

namespace exptest {

struct Column {
    const char *name;
    int16_t type;
    uint32_t length;
};

// The test table t.
inline const std::vector<Column> &Columns()
{
    static const std::vector<Column> cols = {
        {"i", SQL_INTEGER, 4},     {"j", SQL_INTEGER, 4},
        {"s", SQL_SMALLINT, 2},    {"r", SQL_REAL, 4},
        {"d", SQL_DOUBLE, 8},      {"n", RC_SQL_DECIMAL38, 38},
        {"c", SQL_CHAR, 10},       {"v", SQL_VARCHAR, 20},
        {"dt", SQL_DATE, 6},       {"dt2", SQL_DATE, 6},
        {"ts", SQL_TIMESTAMP, 16}, {"tm", SQL_TIME, 6},
        {"b", SQL_BIT, 1},         {"amount", SQL_DOUBLE, 8},
        {"status", SQL_CHAR, 10},  {"lv", SQL_LONGVARCHAR, 100000},
        {"bin", SQL_BINARY, 4},
    };
    return cols;
}

using Row = std::map<std::string, std::string>; // absent: NULL

struct Param {
    int16_t type;
    std::optional<std::string> text;
};

// One statement's world: the table's current row, parameters, the program.
class World {
public:
    World()
    {
        rcExpEnvInit(&env);
        env.errors = &errors;
        env.userName = "alice";
        env.database = "sales";
        env.tree.typeOf = &World::TypeOfHook;
        env.tree.columnOf = &World::ColumnOfHook;
        env.tree.fnCode = &World::FnCodeHook;
        env.treeCtx = this;
        env.rt.param = &World::ParamHook;
        env.rtCtx = this;
        const auto &cols = Columns();
        refs.resize(cols.size());
        for (size_t k = 0; k < cols.size(); ++k) {
            refs[k].sqlType = cols[k].type;
            refs[k].length = cols[k].length;
            refs[k].read = &World::Read;
            refs[k].source = this;
            refs[k].column = static_cast<uint32_t>(k);
            refs[k].nullRow = &nullRow;
        }
    }
    ~World()
    {
        rcExpEnvFree(&env);
        rcErrQueueDestroy(&errors);
    }
    World(const World &) = delete;
    World &operator=(const World &) = delete;

    // Reads an expression; null when the text is not understood.
    const rcParseNode *ParseExpr(const std::string &expr)
    {
        try {
            TreeReader r(trees, expr);
            const rcParseNode *e = r.Expression();
            return r.AtEnd() ? e : nullptr;
        } catch (const std::exception &) {
            return nullptr;
        }
    }
    // Reads a search condition; null when the text is not understood.
    const rcParseNode *ParseCond(const std::string &cond)
    {
        try {
            TreeReader r(trees, cond);
            const rcParseNode *c = r.Condition();
            return r.AtEnd() ? c : nullptr;
        } catch (const std::exception &) {
            return nullptr;
        }
    }

    // The first message queued (its id), 0 when none; clears the queue.
    uint32_t TakeMessage(std::string *text = nullptr)
    {
        uint32_t id = 0;
        if (errors.list && rcListCount(errors.list) > 0) {
            rcErrorRecord rec;
            rcListGet(errors.list, &rec, 0);
            id = rec.msgId;
            if (text)
                *text = rec.text ? rec.text : "";
        }
        rcErrClearQueue(&errors);
        return id;
    }

    rcExpEnv env;
    rcErrorQueue errors{};
    Row row;
    uint32_t nullRow = 0;
    std::vector<Param> params;
    std::vector<rcEvlColumnRef> refs;
    TreeArena trees;
    int reads = 0;

private:
    static int ColumnIndex(const rcParseNode *colName)
    {
        const rcParseNode *id = colName->child;
        while (id && id->id != RC_N_ColId)
            id = id->next;
        const char *name = id && id->child ? id->child->text : "";
        const auto &cols = Columns();
        for (size_t k = 0; k < cols.size(); ++k)
            if (strcasecmp(cols[k].name, name) == 0)
                return static_cast<int>(k);
        return -1;
    }

    static const rcEvlColumnRef *ColumnOfHook(void *ctx, const rcParseNode *colName)
    {
        auto *w = static_cast<World *>(ctx);
        int k = ColumnIndex(colName);
        return k < 0 ? nullptr : &w->refs[static_cast<size_t>(k)];
    }

    static int FnCodeHook(void *, const rcParseNode *fn) { return static_cast<int>(fn->attr); }

    static bool IsChar(int16_t t)
    {
        return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR;
    }

    // The typer: the rules of the semantic checks, enough for the tests.
    static bool TypeOfHook(void *ctx, const rcParseNode *node, rcExpType *out)
    {
        auto *w = static_cast<World *>(ctx);
        *out = w->TypeOf(node);
        return out->sqlType != 0;
    }

    rcExpType TypeOf(const rcParseNode *node)
    {
        if (!node)
            return {};
        switch (node->id) {
        case RC_N_Expression: {
            const rcParseNode *f = node->child;
            if (f && f->id == RC_N_Expression && f->next && f->next->next) {
                rcExpType l = TypeOf(f), r = TypeOf(f->next->next);
                char op = static_cast<char>(f->next->id);
                if (op == '+' && IsChar(r.sqlType))
                    return {SQL_VARCHAR, l.length + r.length, 0, 0};
                if (l.sqlType == RC_SQL_DECIMAL38 || r.sqlType == RC_SQL_DECIMAL38)
                    return {RC_SQL_DECIMAL38, 38, 74, 37};
                bool ld = l.sqlType == SQL_DATE || l.sqlType == SQL_TIMESTAMP;
                bool rd = r.sqlType == SQL_DATE || r.sqlType == SQL_TIMESTAMP;
                if (ld && op == '-' && (rd || IsChar(r.sqlType)))
                    return {SQL_DOUBLE, 8, 0, 0};
                if (ld)
                    return l;
                if (rd && op == '+')
                    return r;
                return {SQL_DOUBLE, 8, 0, 0};
            }
            if (f && (f->id == '-' || f->id == '+'))
                return TypeOf(f->next);
            return TypeOf(f);
        }
        case RC_N_Primary:
            if (node->child && node->child->id == '(')
                return TypeOf(node->child->next);
            return TypeOf(node->child);
        case RC_N_ColName: {
            int k = ColumnIndex(node);
            if (k < 0)
                return {};
            const Column &c = Columns()[static_cast<size_t>(k)];
            return {c.type, c.length, 0, 0};
        }
        case RC_N_Literal:
        case RC_N_NumericLiteral:
        case RC_N_ExactNumLit: return TypeOf(node->child);
        case RC_T_CHAR_STR_LIT: {
            uint32_t n = static_cast<uint32_t>(std::strlen(node->text));
            return {SQL_CHAR, n >= 2 ? n - 2 : 0, 0, 0};
        }
        case RC_T_USINT_LIT: return {SQL_INTEGER, 4, 0, 0};
        case RC_T_DECNUM_LIT:
        case RC_T_APPROX_NUM_LIT: return {SQL_DOUBLE, 8, 0, 0};
        case RC_N_TypedLiteral:
            return {static_cast<int16_t>(node->attr), node->attr == SQL_TIMESTAMP ? 16u : 6u, 0, 0};
        case RC_T_USER: return {SQL_CHAR, 128, 0, 0};
        case RC_N_DynamicParm:
            if (node->attr2 < params.size())
                return {params[node->attr2].type, 40, 0, 0};
            return {SQL_INTEGER, 4, 0, 0};
        case RC_N_IFCondExpr:
            for (const rcParseNode *k = node->child; k; k = k->next)
                if (k->id == RC_N_Expression)
                    return TypeOf(k);
            return {};
        case RC_N_ScalarFn: {
            rcExpType first;
            for (const rcParseNode *k = node->child; k; k = k->next)
                if (k->id == RC_N_SFParmList)
                    first = TypeOf(k->child);
            switch (node->attr) {
            case 2: // CONVERT: the target's type
                for (const rcParseNode *k = node->child; k; k = k->next)
                    if (k->id == RC_N_SFParmList)
                        for (const rcParseNode *a = k->child; a; a = a->next)
                            if (a->id == RC_N_Expression && a->child && a->child->child &&
                                a->child->child->id == RC_N_ConvertType)
                                return {static_cast<int16_t>(a->child->child->attr), 255, 0, 0};
                return {};
            case 3: return {SQL_DATE, 6, 0, 0};
            case 4: return {SQL_TIME, 6, 0, 0};
            case 5: return {SQL_CHAR, 31, 0, 0};
            case 31: return {SQL_CHAR, 1, 0, 0};
            case 43: return {SQL_CHAR, 128, 0, 0};
            case 11:
            case 12:
            case 15:
            case 22:
            case 23:
            case 24:
            case 25:
            case 26:
            case 44: return {SQL_INTEGER, 4, 0, 0};
            case 14:
            case 21:
            case 34:
            case 35:
            case 36:
            case 41: return {SQL_VARCHAR, first.length, 0, 0};
            default: return first;
            }
        }
        default: return TypeOf(node->child);
        }
    }

    // The fake row source: the row's text for a column converted to the
    // column's storage form; absent means NULL.
    static int32_t Read(void *source, uint32_t column, void *buffer, uint32_t length,
                        uint32_t *outLength, DRM_RETINFO *partial, int16_t sqlType)
    {
        auto *w = static_cast<World *>(source);
        ++w->reads;
        const Column &c = Columns()[column];
        auto it = w->row.find(c.name);
        if (it == w->row.end())
            return RC_EVL_COL_NULL;
        const std::string &text = it->second;
        if (IsChar(sqlType) || sqlType == SQL_BINARY) {
            size_t from = partial ? partial->delivered : 0;
            size_t rest = from < text.size() ? text.size() - from : 0;
            size_t n = rest < length ? rest : length;
            std::memcpy(buffer, text.data() + from, n);
            *outLength = static_cast<uint32_t>(rest);
            return rest > length ? RC_EVL_COL_TRUNCATED : 0;
        }
        int32_t out = 0;
        int16_t dst = sqlType == RC_SQL_DECIMAL38 || sqlType == SQL_BIT ? sqlType : sqlType;
        int core = rcCnvConvertValue(text.c_str(), SQL_CHAR, SQL_NTS, 0, buffer, dst,
                                     static_cast<int32_t>(length), 38, 4, &out);
        *outLength = static_cast<uint32_t>(out);
        return core == 0 ? 0 : -1001;
    }

    static int16_t ParamHook(void *ctx, uint32_t number, rcExpValue *out)
    {
        auto *w = static_cast<World *>(ctx);
        if (number >= w->params.size())
            return -1;
        const Param &p = w->params[number];
        out->type = p.type;
        if (!p.text) {
            out->isNull = 1;
            return 0;
        }
        if (IsChar(p.type)) {
            out->text = p.text->c_str();
            out->length = static_cast<uint32_t>(p.text->size());
            return 0;
        }
        int32_t len = 0;
        return rcCnvConvertValue(p.text->c_str(), SQL_CHAR, SQL_NTS, 0, &out->v, p.type,
                                 sizeof out->v, 38, 4, &len) == 0
                   ? 0
                   : -1;
    }
};

// The value of an expression as text through SQL_C_CHAR, or "NULL".
inline std::string Show(World &w, rcExpSlot slot, int16_t *type = nullptr)
{
    rcExpValue v;
    if (rcExpEvalValue(&w.env, slot, &v) < 0)
        return "ERROR";
    if (type)
        *type = v.type;
    if (v.isNull)
        return "NULL";
    char buf[512];
    int32_t len = 0;
    bool isNull = false;
    int16_t rc = rcExpEvaluate(&w.env, slot, SQL_C_CHAR, buf, sizeof buf, &len, 0, &isNull);
    if (rc < 0)
        return "ERROR";
    return buf;
}

} // namespace exptest
