// Filter programs: search conditions compiled into truth-value programs.
//
// A condition becomes postfix records: each predicate pushes TRUE, FALSE or
// UNKNOWN; AND, OR and NOT combine the top values by standard three-valued
// logic. Between the operands of AND and OR a jump record ends the connective
// early when its left value decides it (FALSE for AND, TRUE for OR), from the
// first row on, so `b <> 0 AND a / b > 1` never divides by zero. Values are
// expression slots of the statement's expression program.
#include <cstring>
#include <string>

#include "driver/core/rccompare.h"
#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcstrings.h"
#include "driver/engine/expr/rcexpimpl.h"
#include "driver/engine/expr/rcexpnode.h"

namespace {

constexpr size_t kPredicateTextMax = 128;
constexpr uint16_t kSubqueryPseudoTable = 11350;

// Records are gathered apart and appended whole when the condition is done,
// since conditions nested in IF values complete while this one is compiled.
struct FltCompiler {
    rcExpEnv *env;
    FilterProgram *f;
    std::vector<rcFltInstr> code = {};
    uint32_t depthNow = 0;
    uint32_t depthMax = 0;
};

bool Emit(FltCompiler &c, const rcFltInstr &ins, int pushes, int pops)
{
    if (c.f->code.size() + c.code.size() >= c.env->maxFilterCode) {
        rcExpPost(c.env, RC_MSG_MEMORY_ALLOCATION_ERROR);
        return false;
    }
    c.code.push_back(ins);
    c.depthNow = c.depthNow - static_cast<uint32_t>(pops) + static_cast<uint32_t>(pushes);
    if (c.depthNow > c.depthMax)
        c.depthMax = c.depthNow;
    return true;
}

void LeafText(const rcParseNode *node, std::string &out)
{
    for (; node && out.size() < kPredicateTextMax; node = node->next) {
        if (node->child)
            LeafText(node->child, out);
        else if (node->text && *node->text) {
            if (!out.empty())
                out += ' ';
            out += node->text;
        }
    }
}

int16_t TypeOf(rcExpEnv *env, const rcParseNode *node)
{
    rcExpType t;
    if (env->tree.typeOf && env->tree.typeOf(env->treeCtx, node, &t))
        return t.sqlType;
    return 0;
}

bool Slot(FltCompiler &c, const rcParseNode *node, int16_t wanted, rcExpSlot *slot)
{
    return rcExpCompile(c.env, node, slot, wanted) >= 0;
}

uint8_t CompareOf(uint16_t token)
{
    switch (token) {
    case RC_T_EQ: return RC_CMP_EQ;
    case RC_T_GT: return RC_CMP_GT;
    case RC_T_GE: return RC_CMP_GE;
    case RC_T_LT: return RC_CMP_LT;
    case RC_T_LE: return RC_CMP_LE;
    case RC_T_NE: return RC_CMP_NE;
    default: return 0;
    }
}

bool EmitCompare(FltCompiler &c, rcExpSlot l, rcExpSlot r, uint8_t cmp)
{
    rcFltInstr ins;
    ins.op = RC_FLT_COMPARE;
    ins.a = l;
    ins.b = r;
    ins.cmp = cmp;
    return Emit(c, ins, 1, 0);
}

bool EmitSimple(FltCompiler &c, uint8_t op)
{
    rcFltInstr ins;
    ins.op = op;
    return Emit(c, ins, op == RC_FLT_NOT ? 1 : 1, op == RC_FLT_NOT ? 1 : 2);
}

bool CompileCond(FltCompiler &c, const rcParseNode *node);

bool CompileSubquery(FltCompiler &c, const rcParseNode *node)
{
    void *h = c.env->tree.subqueryOf ? c.env->tree.subqueryOf(c.env->treeCtx, node) : nullptr;
    if (!h)
        return false;
    rcFltInstr ins;
    ins.op = RC_FLT_SUBQUERY;
    ins.ptr = h;
    return Emit(c, ins, 1, 0);
}

bool HasSubquery(const rcParseNode *node)
{
    for (const rcParseNode *k = node ? node->child : nullptr; k; k = k->next)
        if (k->id == RC_N_SubQuery || HasSubquery(k))
            return true;
    return false;
}

bool CompileCompare(FltCompiler &c, const rcParseNode *node)
{
    const rcParseNode *left = node->child;
    const rcParseNode *op = left ? left->next : nullptr;
    const rcParseNode *right = op ? op->next : nullptr;
    if (!left || !op || !right)
        return false;
    uint8_t cmp = CompareOf(op->child ? op->child->id : op->id);
    if (!cmp)
        return false;
    int16_t wanted = rcExpResultType(TypeOf(c.env, right), TypeOf(c.env, left));
    rcExpSlot l, r;
    return Slot(c, left, wanted, &l) && Slot(c, right, wanted, &r) && EmitCompare(c, l, r, cmp);
}

bool CompileBetween(FltCompiler &c, const rcParseNode *node)
{
    const rcParseNode *x = node->child;
    bool negated = false;
    std::vector<const rcParseNode *> operands;
    for (const rcParseNode *k = x; k; k = k->next) {
        if (k->id == RC_N_NOT_Opt)
            negated = true;
        else if (k->id == RC_N_Expression)
            operands.push_back(k);
    }
    if (operands.size() != 3)
        return false;
    int16_t wanted =
        rcExpResultType(rcExpResultType(TypeOf(c.env, operands[1]), TypeOf(c.env, operands[2])),
                        TypeOf(c.env, operands[0]));
    rcExpSlot sx, sa, sb;
    if (!Slot(c, operands[0], wanted, &sx) || !Slot(c, operands[1], wanted, &sa) ||
        !Slot(c, operands[2], wanted, &sb))
        return false;
    if (!EmitCompare(c, sx, sa, RC_CMP_GE) || !EmitCompare(c, sx, sb, RC_CMP_LE) ||
        !EmitSimple(c, RC_FLT_AND))
        return false;
    return !negated || EmitSimple(c, RC_FLT_NOT);
}

bool CompileIn(FltCompiler &c, const rcParseNode *node)
{
    const rcParseNode *x = node->child;
    bool negated = rcExpChildOf(node, RC_N_NOT_Opt) != nullptr;
    const rcParseNode *source = rcExpChildOf(node, RC_N_ValueListORSubQuery);
    const rcParseNode *list = rcExpChildOf(source, RC_N_ValueList);
    if (!x || !list)
        return false;
    int16_t wanted = rcExpResultType(TypeOf(c.env, x), 0);
    rcExpSlot sx;
    if (!Slot(c, x, wanted, &sx))
        return false;
    std::vector<rcExpSlot> entries;
    for (const rcParseNode *v = list->child; v; v = v->next) {
        if (v->id == ',')
            continue;
        rcExpSlot s;
        if (!Slot(c, v, wanted, &s))
            return false;
        entries.push_back(s);
    }
    rcFltInstr ins;
    ins.op = RC_FLT_IN;
    ins.a = sx;
    ins.b = static_cast<uint32_t>(c.f->inLists.size());
    ins.c = static_cast<uint32_t>(entries.size());
    c.f->inLists.insert(c.f->inLists.end(), entries.begin(), entries.end());
    if (!Emit(c, ins, 1, 0))
        return false;
    return !negated || EmitSimple(c, RC_FLT_NOT);
}

bool CompileLike(FltCompiler &c, const rcParseNode *node)
{
    const rcParseNode *x = node->child;
    const rcParseNode *kind = x ? x->next : nullptr;
    const rcParseNode *pattern = kind ? kind->next : nullptr;
    if (!x || !kind || !pattern)
        return false;
    uint16_t word = kind->child ? kind->child->id : kind->id;
    rcExpSlot sx, sp;
    if (!Slot(c, x, 0, &sx) || !Slot(c, pattern, 0, &sp))
        return false;
    rcFltInstr ins;
    ins.op = RC_FLT_LIKE;
    ins.a = sx;
    ins.b = sp;
    ins.flag = word == RC_T_NOTLIKE ? 1 : 0;
    return Emit(c, ins, 1, 0);
}

bool CompileNullTest(FltCompiler &c, const rcParseNode *node)
{
    rcExpSlot s;
    if (!node->child || !Slot(c, node->child, 0, &s))
        return false;
    rcFltInstr ins;
    ins.op = RC_FLT_NULLTEST;
    ins.a = s;
    ins.flag = rcExpChildOf(node, RC_N_NOT_Opt) ? 1 : 2;
    return Emit(c, ins, 1, 0);
}

bool CompileConnective(FltCompiler &c, const rcParseNode *left, uint16_t word,
                       const rcParseNode *right)
{
    if (!CompileCond(c, left))
        return false;
    rcFltInstr jump;
    jump.op = RC_FLT_JUMP;
    jump.flag = word == RC_T_AND ? 1 : 2;
    if (!Emit(c, jump, 0, 0))
        return false;
    size_t at = c.code.size() - 1;
    if (!CompileCond(c, right) || !EmitSimple(c, word == RC_T_AND ? RC_FLT_AND : RC_FLT_OR))
        return false;
    c.code[at].a = static_cast<uint32_t>(c.code.size());
    return true;
}

bool CompileCondBody(FltCompiler &c, const rcParseNode *node)
{
    if (!node)
        return false;
    switch (node->id) {
    case RC_N_SearchCond:
    case RC_N_BooleanPrimary:
    case RC_N_WhereSearchCond_Opt:
    case RC_N_Having_Opt: {
        const rcParseNode *first = node->child;
        if (!first)
            return false;
        if (first->id == RC_T_NOT && first->next)
            return CompileCond(c, first->next) && EmitSimple(c, RC_FLT_NOT);
        if (first->id == '(' && first->next)
            return CompileCond(c, first->next);
        if (first->next && (first->next->id == RC_T_AND || first->next->id == RC_T_OR) &&
            first->next->next)
            return CompileConnective(c, first, first->next->id, first->next->next);
        // WHERE and HAVING lead with their keyword.
        if ((first->id == RC_T_WHERE || first->id == RC_T_HAVING) && first->next)
            return CompileCond(c, first->next);
        return CompileCond(c, first);
    }
    case RC_N_Predicate: return CompileCond(c, node->child);
    case RC_N_ComparePredicate:
        if (HasSubquery(node))
            return CompileSubquery(c, node);
        return CompileCompare(c, node);
    case RC_N_BetweenPredicate: return CompileBetween(c, node);
    case RC_N_InPredicate:
        if (HasSubquery(node))
            return CompileSubquery(c, node);
        return CompileIn(c, node);
    case RC_N_LikePredicate: return CompileLike(c, node);
    case RC_N_NullPredicate: return CompileNullTest(c, node);
    case RC_N_VendorStringPredicate: {
        rcFltInstr ins;
        return rcFltCompileVendor(c.env, c.f, node, &ins) && Emit(c, ins, 1, 0);
    }
    case RC_N_ExistsPredicate:
    case RC_N_QuantifiedPredicate:
    case kSubqueryPseudoTable: return CompileSubquery(c, node);
    default: return false;
    }
}

bool CompileCond(FltCompiler &c, const rcParseNode *node)
{
    if (!rcExpEnterNesting(c.env))
        return false;
    bool ok = CompileCondBody(c, node);
    rcExpLeaveNesting(c.env);
    return ok;
}

int16_t Finish(FltCompiler &c, rcFltInfo info, rcFltId *filter)
{
    rcFltInstr end;
    end.op = RC_FLT_END;
    if (!Emit(c, end, 0, 0))
        return RC_EXP_ERROR;
    info.start = static_cast<uint32_t>(c.f->code.size());
    for (rcFltInstr &ins : c.code) {
        if (ins.op == RC_FLT_JUMP)
            ins.a += info.start;
        c.f->code.push_back(ins);
    }
    info.depth = c.depthMax;
    c.f->filters.push_back(info);
    *filter = static_cast<rcFltId>(c.f->filters.size());
    return RC_EXP_OK;
}

rcTruth FromOrder(uint8_t cmp, int order)
{
    bool r = false;
    switch (cmp) {
    case RC_CMP_EQ: r = order == 0; break;
    case RC_CMP_GT: r = order > 0; break;
    case RC_CMP_GE: r = order >= 0; break;
    case RC_CMP_LT: r = order < 0; break;
    case RC_CMP_LE: r = order <= 0; break;
    default: r = order != 0; break;
    }
    return r ? RC_TRUE : RC_FALSE;
}

rcTruth And(uint8_t a, uint8_t b)
{
    if (a == RC_FALSE || b == RC_FALSE)
        return RC_FALSE;
    return a == RC_TRUE && b == RC_TRUE ? RC_TRUE : RC_UNKNOWN;
}

rcTruth Or(uint8_t a, uint8_t b)
{
    if (a == RC_TRUE || b == RC_TRUE)
        return RC_TRUE;
    return a == RC_FALSE && b == RC_FALSE ? RC_FALSE : RC_UNKNOWN;
}

int16_t Step(rcExpEnv *env, FilterProgram *f, const rcFltInstr &ins, rcTruth *t)
{
    switch (ins.op) {
    case RC_FLT_COMPARE: {
        rcExpValue l, r;
        if (rcExpRunSlot(env, ins.a, &l) < 0)
            return RC_EXP_ERROR;
        if (l.isNull) {
            *t = RC_UNKNOWN;
            return RC_EXP_OK;
        }
        if (rcExpRunSlot(env, ins.b, &r) < 0)
            return RC_EXP_ERROR;
        if (r.isNull) {
            *t = RC_UNKNOWN;
            return RC_EXP_OK;
        }
        int order = 0;
        if (rcExpCompareValues(env, l, r, &order) < 0)
            return RC_EXP_ERROR;
        *t = FromOrder(ins.cmp, order);
        return RC_EXP_OK;
    }
    case RC_FLT_NULLTEST: {
        rcExpValue v;
        if (rcExpRunSlot(env, ins.a, &v) < 0)
            return RC_EXP_ERROR;
        bool isNull = v.isNull != 0;
        *t = (ins.flag == 2) == isNull ? RC_TRUE : RC_FALSE;
        return RC_EXP_OK;
    }
    case RC_FLT_LIKE: {
        rcExpValue v, p;
        if (rcExpRunSlot(env, ins.a, &v) < 0)
            return RC_EXP_ERROR;
        if (v.isNull) {
            *t = RC_UNKNOWN;
            return RC_EXP_OK;
        }
        if (rcExpRunSlot(env, ins.b, &p) < 0)
            return RC_EXP_ERROR;
        if (p.isNull) {
            *t = RC_UNKNOWN;
            return RC_EXP_OK;
        }
        const char *vt, *pt;
        uint32_t vn, pn;
        if (rcExpAsText(env, v, &vt, &vn) < 0 || rcExpAsText(env, p, &pt, &pn) < 0)
            return RC_EXP_ERROR;
        bool match = rcCmpLike(vt, pt, env->textCaseSensitive ? 1 : 0) != 0;
        *t = match != (ins.flag == 1) ? RC_TRUE : RC_FALSE;
        return RC_EXP_OK;
    }
    case RC_FLT_IN: {
        rcExpValue x;
        if (rcExpRunSlot(env, ins.a, &x) < 0)
            return RC_EXP_ERROR;
        if (x.isNull) {
            *t = RC_UNKNOWN;
            return RC_EXP_OK;
        }
        bool sawNull = false;
        for (uint32_t i = 0; i < ins.c; ++i) {
            rcExpValue e;
            if (rcExpRunSlot(env, f->inLists[ins.b + i], &e) < 0)
                return RC_EXP_ERROR;
            if (e.isNull) { // the list keeps being scanned after a NULL
                sawNull = true;
                continue;
            }
            int order = 0;
            if (rcExpCompareValues(env, x, e, &order) < 0)
                return RC_EXP_ERROR;
            if (order == 0) {
                *t = RC_TRUE;
                return RC_EXP_OK;
            }
        }
        *t = sawNull ? RC_UNKNOWN : RC_FALSE;
        return RC_EXP_OK;
    }
    case RC_FLT_SUBQUERY: {
        if (!env->rt.subquery)
            return rcExpPost(env, RC_MSG_GENERAL_ERROR);
        int16_t rc = env->rt.subquery(env->rtCtx, const_cast<void *>(ins.ptr));
        if (rc < 0)
            return RC_EXP_ERROR;
        *t = rc == 0 ? RC_TRUE : rc == RC_EXP_SUBQUERY_UNKNOWN ? RC_UNKNOWN : RC_FALSE;
        return RC_EXP_OK;
    }
    case RC_FLT_VENDOR: return rcFltRunVendor(env, f, ins, t);
    default: return RC_EXP_ERROR;
    }
}

int16_t Run(rcExpEnv *env, FilterProgram *f, const rcFltInfo &info, uint32_t base, rcTruth *result)
{
    uint8_t *s = f->stack.data() + base;
    uint32_t sp = 0;
    for (uint32_t pc = info.start;; ++pc) {
        const rcFltInstr &ins = f->code[pc];
        switch (ins.op) {
        case RC_FLT_AND:
            --sp;
            s[sp - 1] = And(s[sp - 1], s[sp]);
            continue;
        case RC_FLT_OR:
            --sp;
            s[sp - 1] = Or(s[sp - 1], s[sp]);
            continue;
        case RC_FLT_NOT:
            s[sp - 1] = s[sp - 1] == RC_TRUE    ? RC_FALSE
                        : s[sp - 1] == RC_FALSE ? RC_TRUE
                                                : RC_UNKNOWN;
            continue;
        case RC_FLT_JUMP:
            if ((ins.flag == 1 && s[sp - 1] == RC_FALSE) || (ins.flag == 2 && s[sp - 1] == RC_TRUE))
                pc = ins.a - 1; // the left value decides the connective
            continue;
        case RC_FLT_END: *result = static_cast<rcTruth>(s[0]); return RC_EXP_OK;
        default: {
            rcTruth t = RC_UNKNOWN;
            if (Step(env, f, ins, &t) < 0)
                return RC_EXP_ERROR;
            s = f->stack.data() + base; // a nested run may have grown the stack
            s[sp++] = t;
            continue;
        }
        }
    }
}

} // namespace

int16_t rcFltNewProgram(rcExpEnv *env)
{
    if (env->filter)
        return 0;
    env->filter = new (std::nothrow) FilterProgram();
    if (!env->filter) {
        rcExpPost(env, RC_MSG_MEMORY_ALLOCATION_ERROR);
        return RC_MSG_MEMORY_ALLOCATION_ERROR;
    }
    return 0;
}

void rcFltFreeProgram(rcExpEnv *env)
{
    delete env->filter;
    env->filter = nullptr;
}

int16_t rcFltCompile(rcExpEnv *env, const rcParseNode *cond, rcFltId *filter)
{
    *filter = 0;
    if (!cond || rcFltNewProgram(env) != 0 || rcExpNewProgram(env) != 0)
        return RC_EXP_ERROR;
    FltCompiler c{env, env->filter, {}};
    rcFltInfo info;
    bool ok;
    try {
        ok = CompileCond(c, cond);
        if (ok) {
            std::string text;
            LeafText(cond->child ? cond->child : cond, text);
            if (text.size() > kPredicateTextMax)
                text.resize(kPredicateTextMax);
            std::unique_ptr<char[]> copy(new char[text.size() + 1]);
            std::memcpy(copy.get(), text.c_str(), text.size() + 1);
            info.text = copy.get();
            env->filter->texts.push_back(std::move(copy));
        }
    } catch (const std::bad_alloc &) {
        rcExpPost(env, RC_MSG_MEMORY_ALLOCATION_ERROR);
        ok = false;
    }
    if (!ok)
        return RC_EXP_ERROR;
    return Finish(c, info, filter);
}

int16_t rcFltCompileColumn(rcExpEnv *env, rcExpSlot left, rcExpSlot right, uint16_t tokenOp,
                           rcFltId *filter)
{
    *filter = 0;
    if (rcFltNewProgram(env) != 0)
        return RC_EXP_ERROR;
    FltCompiler c{env, env->filter, {}};
    rcFltInfo info;
    if (right == 0) {
        rcFltInstr ins;
        ins.op = RC_FLT_NULLTEST;
        ins.a = left;
        ins.flag = 1;
        if (!Emit(c, ins, 1, 0))
            return RC_EXP_ERROR;
    } else {
        uint8_t cmp = CompareOf(tokenOp);
        if (!cmp || !EmitCompare(c, left, right, cmp))
            return RC_EXP_ERROR;
    }
    return Finish(c, info, filter);
}

int16_t rcFltCompileLiteral(rcExpEnv *env, rcExpSlot slot, const char *pattern, rcFltId *filter)
{
    *filter = 0;
    if (rcFltNewProgram(env) != 0 || rcExpNewProgram(env) != 0)
        return RC_EXP_ERROR;
    // The pattern becomes a constant slot of its own.
    ExprProgram *p = env->expr;
    size_t n = std::strlen(pattern);
    std::unique_ptr<char[]> copy(new char[n + 1]);
    std::memcpy(copy.get(), pattern, n + 1);
    rcExpValue v;
    v.type = SQL_CHAR;
    v.text = copy.get();
    v.length = static_cast<uint32_t>(n);
    p->buffers.push_back(std::move(copy));
    p->consts.push_back(v);
    rcExpSlotInfo si;
    si.start = static_cast<uint32_t>(p->code.size());
    si.type = {SQL_CHAR, static_cast<uint32_t>(n ? n : 1), 0, 0};
    si.depth = 1;
    rcExpInstr push;
    push.op = RC_OP_PUSH_CONST;
    push.type = SQL_CHAR;
    push.a = static_cast<uint32_t>(p->consts.size() - 1);
    rcExpInstr end;
    end.op = RC_OP_END;
    p->code.push_back(push);
    p->code.push_back(end);
    p->slots.push_back(si);
    rcExpSlot patternSlot = static_cast<rcExpSlot>(p->slots.size());

    FltCompiler c{env, env->filter, {}};
    rcFltInfo info;
    rcFltInstr ins;
    ins.op = RC_FLT_LIKE;
    ins.a = slot;
    ins.b = patternSlot;
    ins.flag = 1;
    if (!Emit(c, ins, 1, 0))
        return RC_EXP_ERROR;
    return Finish(c, info, filter);
}

int16_t rcFltRunTruth(rcExpEnv *env, rcFltId filter, rcTruth *truth)
{
    *truth = RC_UNKNOWN;
    FilterProgram *f = env->filter;
    if (!f || filter == 0 || filter > f->filters.size() || rcExpNewProgram(env) != 0)
        return rcExpPost(env, RC_MSG_GENERAL_ERROR);
    ExprProgram *p = env->expr;
    const rcFltInfo &info = f->filters[filter - 1];
    if (p->runDepth == 0) {
        p->arena.reset();
        p->top = 0;
        f->top = 0;
        rcEvlFpGuardOn();
    }
    if (p->runDepth >= env->maxDepth)
        return rcExpPost(env, RC_ENG_MAXIMUM_FILTER_EXPRESSION_DEPTH_REACHED);
    uint32_t base = f->top;
    if (f->stack.size() < base + info.depth + 1)
        f->stack.resize(base + info.depth + 1);
    f->top = base + info.depth + 1;
    ++p->runDepth;
    int16_t rc = Run(env, f, info, base, truth);
    --p->runDepth;
    f->top = base;
    if (rc < 0) {
        std::string text = rcUtlLoadString(RC_TXT_ERROR_IN_PREDICATE);
        text += info.text;
        if (env->errors)
            rcErrPost(env->errors, RC_ENG_FILTER_EVALUATION_ERROR, nullptr, 0, text.c_str());
    }
    return rc;
}

int16_t rcFltRun(rcExpEnv *env, rcFltId filter, int *passed)
{
    rcTruth t;
    int16_t rc = rcFltRunTruth(env, filter, &t);
    *passed = rc == 0 && t == RC_TRUE ? 1 : 0;
    return rc;
}

const char *rcFltText(const rcExpEnv *env, rcFltId filter)
{
    if (!env->filter || filter == 0 || filter > env->filter->filters.size())
        return "";
    return env->filter->filters[filter - 1].text;
}
