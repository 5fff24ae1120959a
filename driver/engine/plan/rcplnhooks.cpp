// The statement context of planning and execution and the hooks that
// connect the expression programs to it (see rcplnhooks.h).
#include "driver/engine/plan/rcplnhooks.h"

#include <cstring>

#include "driver/core/rccnv.h"
#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/plan/rcplnhash.h"
#include "driver/engine/plan/rcplnpush.h"
#include "driver/engine/plan/rcplntree.h"
#include "driver/engine/tam.h"

namespace {

int32_t ColumnReader(void *source, uint32_t column, void *buffer, uint32_t length,
                     uint32_t *outLength, DRM_RETINFO *partial, int16_t sqlType)
{
    auto *c = static_cast<rcPlnColumn *>(source);
    if (c->redirect == nullptr)
        return TamGetColumn(c->base.session, c->base.handle, column, buffer, length, outLength,
                            partial, sqlType);
    return rcPlnReadRedirected(c, buffer, length, outLength, partial);
}

bool TypeOfHook(void *, const rcParseNode *node, rcExpType *out)
{
    const rcParseNode *n = node;
    // Functions and set functions take the type of the expression they make.
    while (n != nullptr && n->id != RC_N_Expression && n->id != RC_N_Value &&
           n->id != RC_N_DynamicParm) {
        if (n->id != RC_N_ScalarFn && n->id != RC_N_IFCondExpr && n->id != RC_N_SetFunctionRef &&
            n->id != RC_N_Primary && n != node)
            return false;
        const rcParseNode *first = n;
        while (first->prev != nullptr)
            first = first->prev;
        n = first->parent;
    }
    if (n == nullptr || n->sem == nullptr)
        return false;
    const auto *t = static_cast<const rcSemTypeInfo *>(n->sem);
    out->sqlType = t->sqlType;
    out->length = t->length;
    out->precision = t->precision;
    out->scale = static_cast<uint16_t>(t->scale);
    return true;
}

const rcEvlColumnRef *ColumnOfHook(void *ctx, const rcParseNode *colName)
{
    rcPlnColumn *c = rcPlnColumnOf(static_cast<rcPlnStmt *>(ctx), colName);
    return c != nullptr ? &c->ref : nullptr;
}

int FnCodeHook(void *ctx, const rcParseNode *fn)
{
    auto *stmt = static_cast<rcPlnStmt *>(ctx);
    return stmt->fnCode != nullptr ? stmt->fnCode(fn) : 0;
}

void *SetFunctionOfHook(void *ctx, const rcParseNode *node, rcExpType *type)
{
    PlanNode *n = rcPlnSetFunctionOf(static_cast<rcPlnStmt *>(ctx), node);
    if (n == nullptr)
        return nullptr;
    type->sqlType = n->acc->resultType;
    type->length = n->acc->resultLength;
    type->precision = n->acc->precision;
    type->scale = static_cast<uint16_t>(n->acc->scale);
    return n;
}

int16_t SetFunctionHook(void *ctx, void *handle, rcExpValue *out)
{
    return rcPlnSetFunctionValue(static_cast<rcPlnStmt *>(ctx), static_cast<PlanNode *>(handle),
                                 out);
}

void *SubqueryOfHook(void *ctx, const rcParseNode *predicate)
{
    return rcPlnSubqueryOf(static_cast<rcPlnStmt *>(ctx), predicate);
}

int16_t ParamHook(void *ctx, uint32_t number, rcExpValue *out)
{
    auto *stmt = static_cast<rcPlnStmt *>(ctx);
    if (stmt->param == nullptr)
        return rcPlnNotCapable(stmt, "No values are bound for the parameters.");
    return stmt->param(stmt->paramCtx, number, out);
}

} // namespace

int16_t rcPlnNotCapable(rcPlnStmt *stmt, const char *text)
{
    rcErrPost(stmt->errors, RC_MSG_DRIVER_NOT_CAPABLE, nullptr, 0, text);
    return PLN_ERROR;
}

void rcPlnStmtInit(rcPlnStmt *stmt, rcErrorQueue *errors, TamSession *session)
{
    stmt->errors = errors;
    stmt->session = session;
    rcExpEnvInit(&stmt->env);
    stmt->env.errors = errors;
    stmt->env.tree.typeOf = &TypeOfHook;
    stmt->env.tree.columnOf = &ColumnOfHook;
    stmt->env.tree.fnCode = &FnCodeHook;
    stmt->env.tree.setFunctionOf = &SetFunctionOfHook;
    stmt->env.tree.subqueryOf = &SubqueryOfHook;
    stmt->env.rt.subquery = &rcPlnSubqueryHook;
    stmt->env.treeCtx = stmt;
    stmt->env.rt.setFunction = &SetFunctionHook;
    stmt->env.rt.param = &ParamHook;
    stmt->env.rtCtx = stmt;
    stmt->tmpOwner.errors = errors;
    stmt->tmpOwner.limits = rcTmpDefaultLimits();
}

void rcPlnStmtFree(rcPlnStmt *stmt)
{
    for (PlanNode *t : stmt->temps) {
        if (t->temp != nullptr) {
            rcTmpFree(t->temp);
            t->temp = nullptr;
        }
        if (t->kind == PLN_HASHGROUP)
            rcExeFreeHashGroup(t);
    }
    rcExeHashFreeAll(stmt);
    for (PlanNode *sub : stmt->subqueries)
        rcCurFreeNode(stmt, sub);
    rcFltPushDownFree(stmt);
    rcGdoFree(stmt);
    rcExpEnvFree(&stmt->env);
    if (stmt->pool != nullptr)
        rcMemPoolDestroy(stmt->pool);
    stmt->pool = nullptr;
    stmt->plan = nullptr;
    stmt->tables.clear();
    stmt->columns.clear();
    stmt->setFunctions.clear();
    stmt->temps.clear();
    stmt->results.clear();
    stmt->items.clear();
    stmt->subqueries.clear();
    stmt->open = false;
}

namespace {

// A long value from the sort file of the table, at the offset its row keeps;
// like the pieces below, from partial's offset on.
int32_t ReadLong(const rcPlnColumn *c, void *buffer, uint32_t length, uint32_t *outLength,
                 DRM_RETINFO *partial)
{
    const void *v = nullptr;
    uint32_t n = 0;
    bool isNull = false;
    if (rcTmpColumnValue(c->redirect, c->redirectColumn, &v, &n, &isNull) < 0)
        return -1;
    uint64_t at = 0;
    if (isNull)
        return RC_EVL_COL_NULL;
    if (n != sizeof at)
        return -1;
    std::memcpy(&at, v, sizeof at);
    uint32_t from = partial != nullptr ? partial->delivered : 0;
    uint64_t stored = 0;
    uint32_t copied = 0;
    if (rcSrtFileReadPart(c->redirect->longValues, at, from, buffer, length, &isNull, &stored,
                          &copied) < 0)
        return -1;
    if (isNull)
        return RC_EVL_COL_NULL;
    // A text is stored with its terminator.
    uint64_t whole = c->ref.sqlType == SQL_LONGVARCHAR && stored > 0 ? stored - 1 : stored;
    uint32_t rest = whole > from ? static_cast<uint32_t>(whole - from) : 0;
    if (copied > rest)
        copied = rest;
    if (partial != nullptr)
        partial->size = static_cast<uint32_t>(whole);
    if (copied < length)
        static_cast<char *>(buffer)[copied] = '\0';
    *outLength = rest;
    return copied < rest ? RC_EVL_COL_TRUNCATED : 0;
}

} // namespace

int32_t rcPlnReadRedirected(const rcPlnColumn *c, void *buffer, uint32_t length,
                            uint32_t *outLength, DRM_RETINFO *partial)
{
    if (c->redirectLong)
        return ReadLong(c, buffer, length, outLength, partial);
    if (c->redirectPieces > 0) {
        // The pieces one after the other, each copied before the next is
        // looked up (a spilled table may load another window for it).
        uint32_t offset = partial != nullptr ? partial->delivered : 0;
        uint32_t at = 0, copied = 0;
        for (uint16_t p = 0; p <= c->redirectPieces; ++p) {
            const void *v = nullptr;
            uint32_t n = 0;
            bool isNull = false;
            if (rcTmpColumnValue(c->redirect, static_cast<uint16_t>(c->redirectColumn + p), &v, &n,
                                 &isNull) < 0)
                return -1;
            if (isNull)
                return RC_EVL_COL_NULL;
            uint32_t from = offset > at ? offset - at : 0;
            if (from < n && copied < length) {
                uint32_t take = n - from < length - copied ? n - from : length - copied;
                std::memcpy(static_cast<char *>(buffer) + copied,
                            static_cast<const char *>(v) + from, take);
                copied += take;
            }
            at += n;
            if (n < PLN_KEY_PIECE)
                break; // the value ended in this piece
        }
        uint32_t rest = at > offset ? at - offset : 0;
        if (partial != nullptr)
            partial->size = at;
        if (copied < length)
            static_cast<char *>(buffer)[copied] = '\0';
        *outLength = rest;
        return copied < rest ? RC_EVL_COL_TRUNCATED : 0;
    }
    int32_t indicator = 0;
    int32_t full = 0;
    int16_t rc = rcTmpGetColumn(c->redirect, c->redirectColumn, buffer,
                                static_cast<int32_t>(length), kCnvDefaultCType, &indicator, &full);
    if (rc < 0)
        return -1;
    if (indicator == 1)
        return RC_EVL_COL_NULL;
    *outLength = static_cast<uint32_t>(full);
    return rc == 1 ? RC_EVL_COL_TRUNCATED : 0;
}

rcPlnColumn *rcPlnColumnOf(rcPlnStmt *stmt, const rcParseNode *colName)
{
    const auto *tc = static_cast<const rcTblColumn *>(colName->sem);
    if (tc == nullptr) {
        rcErrRaise(stmt->errors, RC_MSG_GENERAL_ERROR);
        return nullptr;
    }
    for (rcPlnColumn *c : stmt->columns)
        if (c->column == tc)
            return c;
    PlanNode *table = nullptr;
    for (PlanNode *t : stmt->tables)
        if (t->table == tc->owner)
            table = t;
    if (table == nullptr) {
        rcPlnNotCapable(stmt, "A column of a table outside the query's blocks.");
        return nullptr;
    }
    void *p = rcMemPoolAlloc(stmt->pool, sizeof(rcPlnColumn));
    if (p == nullptr) {
        rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR);
        return nullptr;
    }
    auto *c = new (p) rcPlnColumn{};
    c->column = tc;
    c->tableNode = table;
    c->block = table->block;
    c->base.session = stmt->session;
    c->base.handle = table->table->handle;
    c->ref.nullRow = &table->nullRow;
    c->ref.sqlType = tc->type.sqlType;
    c->ref.length = tc->type.length;
    c->ref.precision = tc->type.precision;
    c->ref.scale = static_cast<uint16_t>(tc->type.scale);
    c->ref.read = &ColumnReader;
    c->ref.source = c;
    c->ref.column = tc->number;
    c->ref.tam = &c->base;
    c->ref.redirect = &c->redirect;
    stmt->columns.push_back(c);
    return c;
}

PlanNode *rcPlnSetFunctionOf(rcPlnStmt *stmt, const rcParseNode *ref)
{
    for (PlanNode *n : stmt->setFunctions)
        if (n->cond == ref)
            return n;
    const rcParseNode *c = ref->child;
    uint8_t fn = 0;
    const rcParseNode *arg = nullptr;
    if (c != nullptr && c->id == RC_T_COUNT) {
        fn = PLN_FN_COUNT; // COUNT(*)
    } else if (c != nullptr && c->id == RC_N_AllFn) {
        const rcParseNode *op = rcPlnChild(c, RC_N_DistAllFnOp);
        uint16_t id = op != nullptr && op->child != nullptr ? op->child->id : 0;
        fn = id == RC_T_MIN     ? PLN_FN_MIN
             : id == RC_T_MAX   ? PLN_FN_MAX
             : id == RC_T_SUM   ? PLN_FN_SUM
             : id == RC_T_COUNT ? PLN_FN_COUNT
             : id == RC_T_AVG   ? PLN_FN_AVG
                                : 0;
        arg = rcPlnChild(c, RC_N_Expression);
    }
    if (fn == 0 || (c->id == RC_N_AllFn && arg == nullptr)) {
        rcPlnNotCapable(stmt, "This set function is not supported.");
        return nullptr;
    }
    // A set function inside another's argument (MAX(COUNT(*))) has no
    // meaning: there is no row set of groups to fold it over.
    if (arg != nullptr &&
        !rcPlnWalkTree(arg, [](const rcParseNode *k) { return k->id != RC_N_SetFunctionRef; })) {
        rcErrRaise(stmt->errors, RC_ENG_NESTED_SET_FUNCTIONS_NOT_ALLOWED);
        return nullptr;
    }
    PlanNode *n = rcPlnNewNode(stmt, PLN_SETFUNC);
    void *p = n != nullptr ? rcMemPoolAlloc(stmt->pool, sizeof(rcPlnAccumulator)) : nullptr;
    if (p == nullptr) {
        if (n != nullptr)
            rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR);
        return nullptr;
    }
    n->acc = new (p) rcPlnAccumulator{};
    n->function = fn;
    n->block = stmt->currentBlock;
    n->cond = ref;
    n->argument = arg;
    if (arg != nullptr && rcExpCompile(&stmt->env, arg, &n->argSlot, 0) < 0)
        return nullptr;
    rcPlnAccumulator *a = n->acc;
    int16_t argType = arg != nullptr ? rcExpSlotType(&stmt->env, n->argSlot) : 0;
    if (fn == PLN_FN_COUNT) {
        a->resultType = SQL_INTEGER;
        a->resultLength = 4;
    } else if (fn == PLN_FN_SUM || fn == PLN_FN_AVG) {
        bool exact = argType == RC_SQL_DECIMAL38;
        a->resultType = exact ? RC_SQL_DECIMAL38 : SQL_DOUBLE;
        a->resultLength = exact ? 38 : 8;
        a->precision = exact ? 38 : 15;
        a->scale = exact ? rcExpSlotScale(&stmt->env, n->argSlot) : 0;
    } else {
        a->resultType = argType;
        a->resultLength = rcExpSlotLength(&stmt->env, n->argSlot);
        if (a->resultLength > RC_TMP_MAX_VALUE)
            a->resultLength = RC_TMP_MAX_VALUE;
        a->precision = rcExpSlotPrecision(&stmt->env, n->argSlot);
        a->scale = static_cast<int16_t>(rcExpSlotScale(&stmt->env, n->argSlot));
    }
    stmt->setFunctions.push_back(n);
    n->number = static_cast<uint16_t>(stmt->setFunctions.size());
    return n;
}

int16_t rcPlnSetFunctionValue(rcPlnStmt *stmt, PlanNode *node, rcExpValue *out)
{
    rcPlnAccumulator *a = node->acc;
    *out = rcExpValue();
    out->type = a->resultType;
    if (node->redirect != nullptr) {
        const void *v = nullptr;
        uint32_t len = 0;
        bool isNull = false;
        if (rcTmpColumnValue(node->redirect, node->redirectColumn, &v, &len, &isNull) < 0)
            return PLN_ERROR;
        if (isNull) {
            out->isNull = 1;
            return 0;
        }
        int16_t t = a->resultType;
        if (t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_BINARY ||
            t == SQL_VARBINARY || t == SQL_LONGVARBINARY) {
            out->text = static_cast<const char *>(v);
            out->length = len;
            return 0;
        }
        int32_t indicator = 0;
        int32_t full = 0;
        if (rcTmpGetColumn(node->redirect, node->redirectColumn, &out->v, sizeof out->v, 99,
                           &indicator, &full) < 0)
            return PLN_ERROR;
        out->length = static_cast<uint32_t>(full);
        return 0;
    }
    switch (node->function) {
    case PLN_FN_COUNT:
        out->v.i32 = static_cast<int32_t>(a->count);
        out->length = 4;
        return 0;
    case PLN_FN_SUM:
    case PLN_FN_AVG:
        if (a->noValue) {
            out->isNull = 1;
            return 0;
        }
        if (a->resultType == RC_SQL_DECIMAL38) {
            out->v.num = a->exact;
            if (node->function == PLN_FN_AVG) {
                MultiPrecisionNumber n{};
                rcNumFromUInt32(n, 0, a->count);
                if (rcNumDivide(out->v.num, n, rcNumExponent(a->exact)) == 0)
                    return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_GENERAL_ERROR));
            }
            out->length = 38;
        } else {
            out->v.f64 = node->function == PLN_FN_AVG ? a->sum / a->count : a->sum;
            out->length = 8;
        }
        return 0;
    default:
        if (a->noValue) {
            out->isNull = 1;
            return 0;
        }
        *out = a->value;
        return 0;
    }
}

void rcPlnResetRedirects(rcPlnStmt *stmt, int block)
{
    for (rcPlnColumn *c : stmt->columns) {
        if (block >= 0 && c->block != block)
            continue;
        c->redirect = nullptr;
        c->redirectPieces = 0;
        c->redirectLong = false;
        c->ref.nullRow = &c->tableNode->nullRow;
    }
    for (PlanNode *n : stmt->setFunctions)
        if (block < 0 || n->block == block)
            n->redirect = nullptr;
    for (PlanNode *t : stmt->tables)
        if (block < 0 || t->block == block)
            t->nullRow = 0;
}
