// Compiling typed value nodes into expression programs.
//
// A slot's instructions are emitted in postfix order: operands push, an
// operator pops two and pushes one, a function pops its arguments and pushes
// its result. Literals are converted once here (a character literal stays
// text unless the wanted type is a date-time or exact type). The stack depth
// each slot needs is counted while emitting, so running never grows a stack.
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "driver/core/rccnv.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/expr/rcexpimpl.h"
#include "driver/engine/expr/rcexpnode.h"
#include "platform/clock.h"

namespace {

struct Compiler {
    rcExpEnv *env;
    ExprProgram *p;
    uint32_t depthNow = 0;
    uint32_t depthMax = 0;
    bool top = true;
};

bool Emit(Compiler &c, const rcExpInstr &ins, int pushes, int pops)
{
    if (c.p->code.size() >= c.env->maxCode) {
        rcExpPost(c.env, RC_MSG_MEMORY_ALLOCATION_ERROR);
        return false;
    }
    c.p->code.push_back(ins);
    c.depthNow = c.depthNow - static_cast<uint32_t>(pops) + static_cast<uint32_t>(pushes);
    if (c.depthNow > c.depthMax)
        c.depthMax = c.depthNow;
    return true;
}

bool PushConst(Compiler &c, const rcExpValue &v)
{
    c.p->consts.push_back(v);
    rcExpInstr ins;
    ins.op = RC_OP_PUSH_CONST;
    ins.type = v.type;
    ins.a = static_cast<uint32_t>(c.p->consts.size() - 1);
    return Emit(c, ins, 1, 0);
}

// A copy of text kept by the program (literal texts).
const char *KeepText(ExprProgram *p, const char *text, size_t n)
{
    std::unique_ptr<char[]> copy(new char[n + 1]);
    std::memcpy(copy.get(), text, n);
    copy[n] = '\0';
    p->buffers.push_back(std::move(copy));
    return p->buffers.back().get();
}

bool PushText(Compiler &c, const char *text, size_t n)
{
    rcExpValue v;
    v.type = SQL_CHAR;
    v.text = KeepText(c.p, text, n);
    v.length = static_cast<uint32_t>(n);
    return PushConst(c, v);
}

bool PushInt(Compiler &c, int32_t i)
{
    rcExpValue v;
    v.type = SQL_INTEGER;
    v.v.i32 = i;
    return PushConst(c, v);
}

// Converts literal text to a type at compile time; conversion messages are
// posted, truncation only warns.
bool PushConverted(Compiler &c, const char *text, size_t n, int16_t type)
{
    rcExpValue in;
    in.type = SQL_CHAR;
    in.text = KeepText(c.p, text, n);
    in.length = static_cast<uint32_t>(n);
    rcExpValue out;
    c.p->arena.reset();
    int16_t rc = rcExpCast(c.env, in, type, &out);
    if (rc < 0)
        return false;
    if (out.text) // arena text: keep a copy
        out.text = KeepText(c.p, out.text, out.length);
    return PushConst(c, out);
}

bool CompileNode(Compiler &c, const rcParseNode *node, int16_t wanted);

bool IsWantedConversion(int16_t t)
{
    return t == SQL_DATE || t == SQL_TIME || t == SQL_TIMESTAMP || t == RC_SQL_DECIMAL38;
}

// An exact literal of more digits than a double keeps is held exactly, as
// the front end types it.
bool LongExact(const char *text)
{
    int digits = 0;
    for (const char *p = text; *p != '\0'; ++p)
        digits += (*p >= '0' && *p <= '9') ? 1 : 0;
    return digits > 16;
}

bool CompileLiteral(Compiler &c, const rcParseNode *node, int16_t wanted)
{
    const char *t = node->text ? node->text : "";
    size_t n = std::strlen(t);
    switch (node->id) {
    case RC_T_CHAR_STR_LIT: {
        const char *s = t;
        if (n > 0 && s[0] == '\'') {
            ++s;
            --n;
        }
        if (n > 0 && s[n - 1] == '\'')
            --n;
        if (IsWantedConversion(wanted))
            return PushConverted(c, s, n, wanted);
        return PushText(c, s, n);
    }
    case RC_T_USINT_LIT: {
        errno = 0;
        unsigned long long u = std::strtoull(t, nullptr, 10);
        if (errno == 0 && u <= 2147483647ull)
            return PushInt(c, static_cast<int32_t>(u));
        return PushConverted(
            c, t, n, wanted == RC_SQL_DECIMAL38 || LongExact(t) ? RC_SQL_DECIMAL38 : SQL_DOUBLE);
    }
    case RC_T_DECNUM_LIT:
        if (LongExact(t)) {
            // Every fraction digit of the literal is kept, as it is typed.
            int16_t precision = c.env->numPrecision, scale = c.env->numScale;
            c.env->numPrecision = c.env->numScale = 38;
            bool ok = PushConverted(c, t, n, RC_SQL_DECIMAL38);
            c.env->numPrecision = precision;
            c.env->numScale = scale;
            return ok;
        }
        if (c.env->sourceHasDecimal38 || wanted == RC_SQL_DECIMAL38)
            return PushConverted(c, t, n, RC_SQL_DECIMAL38);
        if (wanted == RC_SQL_SCALED64)
            return PushConverted(c, t, n, RC_SQL_SCALED64);
        return PushConverted(c, t, n, SQL_DOUBLE);
    case RC_T_APPROX_NUM_LIT: return PushConverted(c, t, n, SQL_DOUBLE);
    case RC_N_TypedLiteral: {
        const char *s = t;
        if (n > 0 && s[0] == '\'') {
            ++s;
            --n;
        }
        if (n > 0 && s[n - 1] == '\'')
            --n;
        return PushConverted(c, s, n, static_cast<int16_t>(node->attr));
    }
    default: return false;
    }
}

struct FnShape {
    uint8_t code;
    uint8_t op;
    uint8_t args; // arguments pushed, defaults included
};

constexpr FnShape kFnShapes[] = {
    {1, RC_FN_OP_CONCAT, 2},     {2, RC_FN_OP_CONVERT, 2},  {3, RC_FN_OP_CURDATE, 0},
    {4, RC_FN_OP_CURTIME, 0},    {5, RC_FN_OP_DATABASE, 0}, {11, RC_FN_OP_DAYOFMONTH, 1},
    {12, RC_FN_OP_DAYOFWEEK, 1}, {13, RC_FN_OP_LCASE, 1},   {14, RC_FN_OP_LEFT, 2},
    {15, RC_FN_OP_LENGTH, 1},    {21, RC_FN_OP_LTRIM, 1},   {22, RC_FN_OP_LOCATE, 3},
    {23, RC_FN_OP_LOCATE, 3},    {24, RC_FN_OP_MOD, 2},     {25, RC_FN_OP_MONTH, 1},
    {26, RC_FN_OP_QUARTER, 1},   {31, RC_FN_OP_NULL, 0},    {32, RC_FN_OP_RAND, 0},
    {34, RC_FN_OP_RIGHT, 2},     {35, RC_FN_OP_RTRIM, 1},   {36, RC_FN_OP_SUBSTRING, 3},
    {41, RC_FN_OP_SUBSTRING, 3}, {42, RC_FN_OP_UCASE, 1},   {43, RC_FN_OP_USER, 0},
    {44, RC_FN_OP_YEAR, 1},
};

constexpr int kLocateDefaultStart = 0;
constexpr int kSubstringDefaultLength = 65000;

bool CompileScalarFn(Compiler &c, const rcParseNode *node)
{
    int code = c.env->tree.fnCode ? c.env->tree.fnCode(c.env->treeCtx, node) : 0;
    const FnShape *shape = nullptr;
    for (const FnShape &s : kFnShapes)
        if (s.code == code)
            shape = &s;
    if (!shape)
        return false; // unknown function code: no message
    c.top = false;
    int pushed = 0;
    const rcParseNode *list = rcExpChildOf(node, RC_N_SFParmList);
    for (const rcParseNode *a = list ? list->child : nullptr; a; a = a->next) {
        if (a->id == ',')
            continue;
        if (pushed >= shape->args)
            return false;
        if (!CompileNode(c, a, 0))
            return false;
        ++pushed;
    }
    if (code == 22 && pushed == 2 && !PushInt(c, kLocateDefaultStart))
        return false;
    if (code == 41 && pushed == 2 && !PushInt(c, kSubstringDefaultLength))
        return false;
    if (code == 22 || code == 41)
        ++pushed;
    if (pushed != shape->args)
        return false;
    if (shape->op == RC_FN_OP_RAND)
        c.p->randSeed = PlatTickCount() | 1u;
    rcExpInstr ins;
    ins.op = RC_OP_FN;
    ins.fn = shape->op;
    ins.a = static_cast<uint32_t>(pushed);
    return Emit(c, ins, 1, pushed);
}

int16_t FltCompileNested(rcExpEnv *env, const rcParseNode *cond, rcFltId *id)
{
    return rcFltCompile(env, cond, id);
}

bool CompileIf(Compiler &c, const rcParseNode *node)
{
    // IF ( SearchCond , Expression , Expression )
    const rcParseNode *cond = rcExpChildOf(node, RC_N_SearchCond);
    const rcParseNode *thenNode = nullptr, *elseNode = nullptr;
    for (const rcParseNode *k = cond ? cond->next : nullptr; k; k = k->next) {
        if (k->id != RC_N_Expression)
            continue;
        if (!thenNode)
            thenNode = k;
        else if (!elseNode)
            elseNode = k;
    }
    if (!cond || !thenNode || !elseNode)
        return false;
    // The condition's values and the branches are slots of their own, placed
    // behind a jump over them.
    rcExpInstr jump;
    jump.op = RC_OP_JUMP;
    if (!Emit(c, jump, 0, 0))
        return false;
    size_t jumpAt = c.p->code.size() - 1;
    rcFltId filter = 0;
    if (FltCompileNested(c.env, cond, &filter) < 0)
        return false;
    rcExpSlot thenSlot = 0, elseSlot = 0;
    if (rcExpCompile(c.env, thenNode, &thenSlot, 0) < 0 ||
        rcExpCompile(c.env, elseNode, &elseSlot, 0) < 0)
        return false;
    c.p->code[jumpAt].a = static_cast<uint32_t>(c.p->code.size());
    rcExpInstr ins;
    ins.op = RC_OP_PUSH_IF;
    ins.a = filter;
    ins.b = thenSlot;
    ins.c = elseSlot;
    rcExpType t;
    if (c.env->tree.typeOf && c.env->tree.typeOf(c.env->treeCtx, node, &t))
        ins.type = t.sqlType;
    return Emit(c, ins, 1, 0);
}

bool CompileColumn(Compiler &c, const rcEvlColumnRef *col)
{
    if (!col)
        return false;
    uint32_t size = 48;
    if (rcCnvIsCharType(col->sqlType) || rcCnvIsBinaryType(col->sqlType)) {
        uint64_t want = static_cast<uint64_t>(col->length) + 1;
        size = static_cast<uint32_t>(want > RC_EXP_MAX_TEXT + 1 ? RC_EXP_MAX_TEXT + 1 : want);
        if (size < 2)
            size = 2;
    }
    std::unique_ptr<char[]> buf(new char[size]());
    c.p->buffers.push_back(std::move(buf));
    rcExpInstr ins;
    ins.op = RC_OP_PUSH_COLUMN;
    ins.type = col->sqlType;
    ins.ptr = col;
    ins.a = static_cast<uint32_t>(c.p->buffers.size() - 1);
    ins.b = size;
    return Emit(c, ins, 1, 0);
}

bool CompileExpression(Compiler &c, const rcParseNode *node, int16_t wanted)
{
    const rcParseNode *first = node->child;
    if (!first)
        return false;
    rcExpType t;
    int16_t childWanted = wanted;
    if (c.env->tree.typeOf && c.env->tree.typeOf(c.env->treeCtx, node, &t) && t.sqlType)
        childWanted = t.sqlType;
    // The working type the checks gave a date-time or exact operation with a
    // character operand: its literals are read in that type here.
    if (IsWantedConversion(static_cast<int16_t>(node->attr2)))
        childWanted = static_cast<int16_t>(node->attr2);
    // Binary: Expression op Expression.
    if (first->id == RC_N_Expression && first->next && first->next->next) {
        uint16_t op = first->next->id;
        uint8_t code = op == '+'   ? RC_OP_ADD
                       : op == '-' ? RC_OP_SUB
                       : op == '*' ? RC_OP_MUL
                       : op == '/' ? RC_OP_DIV
                                   : 0;
        if (!code)
            return false;
        c.top = false;
        if (!CompileNode(c, first, childWanted) || !CompileNode(c, first->next->next, childWanted))
            return false;
        rcExpInstr ins;
        ins.op = code;
        ins.type = childWanted;
        return Emit(c, ins, 1, 2);
    }
    // Unary sign.
    if ((first->id == '-' || first->id == '+') && first->next) {
        if (first->id == '+')
            return CompileNode(c, first->next, wanted);
        c.top = false;
        if (!CompileNode(c, first->next, childWanted))
            return false;
        rcExpInstr ins;
        ins.op = RC_OP_NEG;
        return Emit(c, ins, 1, 1);
    }
    return CompileNode(c, first, wanted);
}

bool CompileNodeBody(Compiler &c, const rcParseNode *node, int16_t wanted)
{
    switch (node->id) {
    case RC_N_Expression: return CompileExpression(c, node, wanted);
    case RC_N_Primary:
    case RC_N_ExprOrSubQuery:
    case RC_N_Value:
    case RC_N_PatternValue:
    case RC_N_InsValue: // a value of INSERT ... VALUES, maybe a signed literal
        if (node->child && node->child->id == '(' && node->child->next)
            return CompileNode(c, node->child->next, wanted);
        if (node->child && (node->child->id == '-' || node->child->id == '+') &&
            node->child->next) {
            // A signed literal of an IN list.
            if (node->child->id == '+')
                return CompileNode(c, node->child->next, wanted);
            if (!CompileNode(c, node->child->next, wanted))
                return false;
            rcExpInstr ins;
            ins.op = RC_OP_NEG;
            return Emit(c, ins, 1, 1);
        }
        return node->child && CompileNode(c, node->child, wanted);
    case RC_N_Literal:
    case RC_N_NumericLiteral:
    case RC_N_ExactNumLit: return node->child && CompileNode(c, node->child, wanted);
    case RC_T_CHAR_STR_LIT:
    case RC_T_USINT_LIT:
    case RC_T_DECNUM_LIT:
    case RC_T_APPROX_NUM_LIT:
    case RC_N_TypedLiteral: return CompileLiteral(c, node, wanted);
    case RC_T_USER: {
        const char *u = c.env->userName ? c.env->userName : "";
        return PushText(c, u, std::strlen(u));
    }
    case RC_N_ColName:
        return CompileColumn(c, c.env->tree.columnOf ? c.env->tree.columnOf(c.env->treeCtx, node)
                                                     : nullptr);
    case RC_N_DynamicParm: {
        rcExpInstr ins;
        ins.op = RC_OP_PUSH_PARAM;
        ins.a = node->attr2;
        rcExpType t;
        if (c.env->tree.typeOf && c.env->tree.typeOf(c.env->treeCtx, node, &t))
            ins.type = t.sqlType;
        return Emit(c, ins, 1, 0);
    }
    case RC_N_SetFunctionRef:
    case RC_N_TempColumn: {
        rcExpType t;
        bool setFn = node->id == RC_N_SetFunctionRef;
        auto hook = setFn ? c.env->tree.setFunctionOf : c.env->tree.tempColumnOf;
        void *h = hook ? hook(c.env->treeCtx, node, &t) : nullptr;
        if (!h)
            return false;
        rcExpInstr ins;
        ins.op = setFn ? RC_OP_PUSH_SETFN : RC_OP_PUSH_TEMPCOL;
        ins.ptr = h;
        ins.type = t.sqlType;
        return Emit(c, ins, 1, 0);
    }
    case RC_N_ConvertType: return PushInt(c, static_cast<int32_t>(node->attr));
    case RC_N_ScalarFn: return CompileScalarFn(c, node);
    case RC_N_IFCondExpr: c.top = false; return CompileIf(c, node);
    default: return node->child && CompileNode(c, node->child, wanted);
    }
}

bool CompileNode(Compiler &c, const rcParseNode *node, int16_t wanted)
{
    if (!rcExpEnterNesting(c.env))
        return false;
    bool ok = CompileNodeBody(c, node, wanted);
    rcExpLeaveNesting(c.env);
    return ok;
}

// The node under Expression and Primary wrappers, when it is a plain column
// or parameter.
const rcParseNode *DirectLeaf(const rcParseNode *node)
{
    while (node &&
           (node->id == RC_N_Expression || node->id == RC_N_Primary ||
            node->id == RC_N_ExprOrSubQuery) &&
           node->child && !node->child->next)
        node = node->child;
    return node && (node->id == RC_N_ColName || node->id == RC_N_DynamicParm) ? node : nullptr;
}

int16_t FinishSlot(Compiler &c, rcExpSlotInfo info, rcExpSlot *slot)
{
    rcExpInstr end;
    end.op = RC_OP_END;
    if (!Emit(c, end, 0, 0))
        return RC_EXP_ERROR;
    info.depth = c.depthMax;
    if (info.type.length == 0 && rcCnvIsCharType(info.type.sqlType))
        info.type.length = 1;
    c.p->slots.push_back(info);
    *slot = static_cast<rcExpSlot>(c.p->slots.size());
    return RC_EXP_OK;
}

} // namespace

const rcParseNode *rcExpChildOf(const rcParseNode *node, uint16_t id)
{
    for (const rcParseNode *k = node ? node->child : nullptr; k; k = k->next)
        if (k->id == id)
            return k;
    return nullptr;
}

bool rcExpEnterNesting(rcExpEnv *env)
{
    if (rcExpNewProgram(env) != 0)
        return false;
    if (env->expr->nesting >= env->maxDepth) {
        rcExpPost(env, RC_ENG_MAXIMUM_FILTER_EXPRESSION_DEPTH_REACHED);
        return false;
    }
    ++env->expr->nesting;
    return true;
}

void rcExpLeaveNesting(rcExpEnv *env) { --env->expr->nesting; }

void rcExpEnvInit(rcExpEnv *env) { *env = rcExpEnv(); }

void rcExpEnvFree(rcExpEnv *env)
{
    rcExpFreeProgram(env);
    rcFltFreeProgram(env);
}

int16_t rcExpNewProgram(rcExpEnv *env)
{
    if (env->expr)
        return 0;
    env->expr = new (std::nothrow) ExprProgram();
    if (!env->expr) {
        rcExpPost(env, RC_MSG_MEMORY_ALLOCATION_ERROR);
        return RC_MSG_MEMORY_ALLOCATION_ERROR;
    }
    return 0;
}

void rcExpFreeProgram(rcExpEnv *env)
{
    delete env->expr;
    env->expr = nullptr;
}

int16_t rcExpCompile(rcExpEnv *env, const rcParseNode *node, rcExpSlot *slot, int16_t wantedType)
{
    *slot = 0;
    if (!node || rcExpNewProgram(env) != 0)
        return RC_EXP_ERROR;
    Compiler c{env, env->expr};
    rcExpSlotInfo info;
    info.start = static_cast<uint32_t>(env->expr->code.size());
    if (env->tree.typeOf)
        env->tree.typeOf(env->treeCtx, node, &info.type);
    size_t constsBefore = env->expr->consts.size();
    size_t slotsBefore = env->expr->slots.size();
    bool ok;
    try {
        ok = CompileNode(c, node, wantedType);
    } catch (const std::bad_alloc &) {
        rcExpPost(env, RC_MSG_MEMORY_ALLOCATION_ERROR);
        ok = false;
    }
    if (!ok) {
        // Nothing of a failed compilation stays behind the last good slot.
        env->expr->code.resize(info.start);
        env->expr->consts.resize(constsBefore);
        env->expr->slots.resize(slotsBefore);
        return RC_EXP_ERROR;
    }
    const rcParseNode *leaf = DirectLeaf(node);
    info.direct = leaf != nullptr && env->expr->code.size() == info.start + 1;
    if (info.type.sqlType == 0 && env->expr->code.size() > info.start)
        info.type.sqlType = env->expr->code[info.start].type;
    if (wantedType == RC_SQL_DECIMAL38)
        info.type.sqlType = RC_SQL_DECIMAL38;
    if (info.direct && info.type.length == 0 && leaf->id == RC_N_ColName) {
        const auto *col = static_cast<const rcEvlColumnRef *>(env->expr->code[info.start].ptr);
        info.type = {col->sqlType, col->length, col->precision, col->scale};
    }
    return FinishSlot(c, info, slot);
}

int16_t rcExpCompileParam(rcExpEnv *env, uint32_t number, const rcExpType &type, rcExpSlot *slot)
{
    *slot = 0;
    if (rcExpNewProgram(env) != 0)
        return RC_EXP_ERROR;
    Compiler c{env, env->expr};
    rcExpSlotInfo info;
    info.start = static_cast<uint32_t>(env->expr->code.size());
    info.type = type;
    info.direct = true;
    rcExpInstr ins;
    ins.op = RC_OP_PUSH_PARAM;
    ins.a = number;
    ins.type = type.sqlType;
    if (!Emit(c, ins, 1, 0))
        return RC_EXP_ERROR;
    return FinishSlot(c, info, slot);
}

int16_t rcExpCompileColumn(rcExpEnv *env, const rcEvlColumnRef *column, rcExpSlot *slot)
{
    *slot = 0;
    if (!column || rcExpNewProgram(env) != 0)
        return RC_EXP_ERROR;
    Compiler c{env, env->expr};
    rcExpSlotInfo info;
    info.start = static_cast<uint32_t>(env->expr->code.size());
    info.type = {column->sqlType, column->length, column->precision, column->scale};
    info.direct = true;
    if (!CompileColumn(c, column))
        return RC_EXP_ERROR;
    return FinishSlot(c, info, slot);
}

namespace {
const rcExpSlotInfo *SlotOf(const rcExpEnv *env, rcExpSlot slot)
{
    if (!env->expr || slot == 0 || slot > env->expr->slots.size())
        return nullptr;
    return &env->expr->slots[slot - 1];
}
} // namespace

int16_t rcExpSlotType(const rcExpEnv *env, rcExpSlot slot)
{
    const rcExpSlotInfo *s = SlotOf(env, slot);
    return s ? s->type.sqlType : 0;
}

uint32_t rcExpSlotLength(const rcExpEnv *env, rcExpSlot slot)
{
    const rcExpSlotInfo *s = SlotOf(env, slot);
    return s ? s->type.length : 0;
}

uint16_t rcExpSlotPrecision(const rcExpEnv *env, rcExpSlot slot)
{
    const rcExpSlotInfo *s = SlotOf(env, slot);
    return s ? s->type.precision : 65535;
}

uint16_t rcExpSlotScale(const rcExpEnv *env, rcExpSlot slot)
{
    const rcExpSlotInfo *s = SlotOf(env, slot);
    return s ? s->type.scale : 65535;
}

bool rcExpSlotDirect(const rcExpEnv *env, rcExpSlot slot)
{
    const rcExpSlotInfo *s = SlotOf(env, slot);
    return s && s->direct;
}

const rcEvlColumnRef *rcExpSlotColumn(const rcExpEnv *env, rcExpSlot slot)
{
    const rcExpSlotInfo *s = SlotOf(env, slot);
    if (s == nullptr || !s->direct || s->start >= env->expr->code.size())
        return nullptr;
    const rcExpInstr &first = env->expr->code[s->start];
    return first.op == RC_OP_PUSH_COLUMN ? static_cast<const rcEvlColumnRef *>(first.ptr) : nullptr;
}

int16_t rcExpArithType(int16_t left, int16_t right, char op)
{
    auto isFloat = [](int16_t t) { return t == SQL_FLOAT || t == SQL_REAL || t == SQL_DOUBLE; };
    if ((left == RC_SQL_DECIMAL38 && !isFloat(right)) ||
        (right == RC_SQL_DECIMAL38 && !isFloat(left)))
        return RC_SQL_DECIMAL38;
    if (op == '*' || op == '/')
        return SQL_DOUBLE;
    auto isDateish = [](int16_t t) { return t == SQL_DATE || t == SQL_TIMESTAMP; };
    if (op == '+') {
        if (left == SQL_DATE || right == SQL_DATE)
            return SQL_DATE;
        return left == SQL_TIMESTAMP || right == SQL_TIMESTAMP ? SQL_TIMESTAMP : SQL_DOUBLE;
    }
    // '-'
    if ((isDateish(left) && (isDateish(right) || rcCnvIsCharType(right))) ||
        (rcCnvIsCharType(left) && isDateish(right)))
        return SQL_DOUBLE;
    if (left == SQL_DATE || right == SQL_DATE)
        return SQL_DATE;
    return left == SQL_TIMESTAMP || right == SQL_TIMESTAMP ? SQL_TIMESTAMP : SQL_DOUBLE;
}
