// Vendor predicates in filter programs: {pred name, arg, ...} compiled
// against the data module's description of the predicate and evaluated by
// the data module for every row.
//
//   rcFltCompileVendor(env, f, node, &ins)  prepare: one record per predicate
//   rcFltRunVendor(env, f, ins, &truth)     per row
//
// Compiling walks the predicate's parameter rows in order (rows of kind 16,
// the name, and 128 take no argument) beside the arguments; each argument is
// compiled with its parameter's SQL type, or with the common type of all
// arguments when the parameter names none. Running fills the statement's two
// call blocks, made once at compile time: a bare column goes as its
// (table, column) identifiers, any other argument as its value in the
// argument's type, padded to whole words. The data module answers 1 TRUE,
// 2 UNKNOWN, any other non-negative value FALSE; a negative code is mapped to
// its message and posted.
#include <cstdio>
#include <cstring>

#include "driver/core/rccnv.h"
#include "driver/core/rcerror.h"
#include "driver/core/rclist.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcstrings.h"
#include "driver/engine/expr/rcexpimpl.h"
#include "driver/engine/expr/rcexpnode.h"
#include "driver/engine/rcspy.h"
#include "driver/engine/tam.h"
#include "driver/engine/tam_drminfo.h"

namespace {

int16_t NodeType(rcExpEnv *env, const rcParseNode *node)
{
    rcExpType t;
    if (env->tree.typeOf && env->tree.typeOf(env->treeCtx, node, &t))
        return t.sqlType;
    return 0;
}

// The column a slot reads straight through; null for any other slot.
const rcEvlColumnRef *BareColumn(const rcExpEnv *env, rcExpSlot slot)
{
    const ExprProgram *p = env->expr;
    if (!p || slot == 0 || slot > p->slots.size() || !p->slots[slot - 1].direct)
        return nullptr;
    const rcExpInstr &first = p->code[p->slots[slot - 1].start];
    return first.op == RC_OP_PUSH_COLUMN ? static_cast<const rcEvlColumnRef *>(first.ptr) : nullptr;
}

bool ColumnId(rcExpEnv *env, const rcEvlColumnRef *col, uint32_t *table, uint32_t *id)
{
    if (env->vendor.columnIdOf)
        return env->vendor.columnIdOf(env->vendorCtx, col, table, id);
    *table = 0;
    if (col->read == rcEvlTamReader && col->source) {
        const auto *src = static_cast<const rcEvlTamSource *>(col->source);
        if (src->handle)
            *table = rcStmtFirstField(src->handle);
    }
    *id = col->column;
    return true;
}

bool IsText(int16_t t) { return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR; }

// Bytes of a value held inline, by type.
uint32_t InlineBytes(int16_t t)
{
    switch (t) {
    case SQL_TINYINT: return 1;
    case SQL_SMALLINT: return 2;
    case SQL_INTEGER:
    case SQL_REAL: return 4;
    case SQL_DATE:
    case SQL_TIME: return 6;
    case SQL_TIMESTAMP: return 16;
    case RC_SQL_DECIMAL38: return 38;
    default: return 8;
    }
}

} // namespace

int16_t rcExpPostUnknownPredicate(rcErrorQueue *errors, const char *name)
{
    // The message's own text holds the place of the name.
    const char *message = rcResFind(RC_ENG_INVALID_EXTENDED_PREDICATE);
    const char *format = message != nullptr && std::strlen(message) > 5
                             ? message + 5 /* after its SQLSTATE */
                             : "%s";
    char text[160];
    std::snprintf(text, sizeof text, format, name != nullptr ? name : "");
    if (errors)
        rcErrPost(errors, RC_ENG_INVALID_EXTENDED_PREDICATE, nullptr, 0, text);
    return RC_EXP_ERROR;
}

bool rcFltCompileVendor(rcExpEnv *env, FilterProgram *f, const rcParseNode *node, rcFltInstr *ins)
{
    // The checks resolved the name (its item became the name node); an
    // escape they did not resolve names no predicate of the data source.
    const rcParseNode *name = rcExpChildOf(node, RC_N_VendorPredName);
    const TamExtPredicate *pred =
        name && env->vendor.predicateOf ? env->vendor.predicateOf(env->vendorCtx, name) : nullptr;
    if (!pred) {
        rcExpPostUnknownPredicate(env->errors, name ? name->text : "");
        return false;
    }
    uint32_t params = pred->args ? rcListCount(pred->args) : 0;
    uint32_t next = 0;
    size_t first = f->vendorArgs.size();
    int16_t common = 0;
    // Every other item is an argument, in order (commas and the AND and OR
    // words between arguments take no parameter).
    for (const rcParseNode *k = node->child; k; k = k->next) {
        if (k == name || k->id == ',' || k->id == RC_T_AND || k->id == RC_T_OR)
            continue;
        const TamExtPredicateArg *pa = nullptr;
        while (next < params) {
            pa = static_cast<const TamExtPredicateArg *>(rcListAt(pred->args, next++));
            if (pa->role != RC_SPY_ARG_PREDNAME && pa->role != RC_SPY_ARG_SEPARATOR)
                break;
            pa = nullptr;
        }
        if (!pa || f->vendorArgs.size() - first >= RC_FLT_VENDOR_MAX_ARGS) {
            f->vendorArgs.resize(first);
            rcExpPost(env, RC_ENG_INVALID_MISSING_ARGUMENT);
            return false;
        }
        rcFltVendorArg a;
        a.drmType = pa->value;
        a.namedType = pa->value != 0;
        if (a.namedType && (!env->vendor.sqlTypeOf ||
                            !env->vendor.sqlTypeOf(env->vendorCtx, pa->value, &a.sqlType))) {
            f->vendorArgs.resize(first);
            rcExpPost(env, RC_ENG_INVALID_DUPLICATE_DRM_COLTYP_SPECIFIED);
            return false;
        }
        int16_t t = NodeType(env, k);
        if (t != 0) {
            int16_t r = common == 0 ? t : rcExpResultType(common, t);
            common = r != 0 ? r : common;
        }
        a.column = reinterpret_cast<const rcEvlColumnRef *>(k); // the node, until compiled
        f->vendorArgs.push_back(a);
    }
    // The values, now that the common type is known.
    for (size_t i = first; i < f->vendorArgs.size(); ++i) {
        rcFltVendorArg &a = f->vendorArgs[i];
        const auto *k = reinterpret_cast<const rcParseNode *>(a.column);
        a.column = nullptr;
        if (!a.namedType)
            a.sqlType = common;
        if (rcExpCompile(env, k, &a.slot, a.sqlType) < 0) {
            f->vendorArgs.resize(first);
            return false;
        }
        if (a.sqlType == 0)
            a.sqlType = rcExpSlotType(env, a.slot);
        if (!a.namedType && (!env->vendor.drmTypeOf ||
                             !env->vendor.drmTypeOf(env->vendorCtx, a.sqlType, &a.drmType))) {
            f->vendorArgs.resize(first);
            rcExpPost(env, RC_ENG_INVALID_DUPLICATE_DRM_COLTYP_SPECIFIED);
            return false;
        }
        a.column = BareColumn(env, a.slot);
    }
    // The call blocks, once for the statement.
    if (f->vendorDesc.empty()) {
        f->vendorDesc.assign(RC_FLT_VENDOR_DESC_BYTES / 4, 0);
        f->vendorData.assign(env->maxVendorWords + 1, 0);
    }
    ins->op = RC_FLT_VENDOR;
    ins->a = static_cast<uint32_t>(first);
    ins->b = static_cast<uint32_t>(f->vendorArgs.size() - first);
    ins->c = pred->number;
    return true;
}

int16_t rcFltRunVendor(rcExpEnv *env, FilterProgram *f, const rcFltInstr &ins, rcTruth *truth)
{
    uint32_t *desc = f->vendorDesc.data();
    uint32_t *data = f->vendorData.data();
    const uint32_t limit = static_cast<uint32_t>(f->vendorData.size()); // word 0 included
    desc[0] = 16 * ins.b + 4;
    uint32_t pos = 1;
    for (uint32_t i = 0; i < ins.b; ++i) {
        const rcFltVendorArg &a = f->vendorArgs[ins.a + i];
        uint32_t *d = desc + 1 + 4 * i;
        if (a.column) {
            if (limit - pos < 2)
                return rcExpPost(env, RC_MSG_MEMORY_ALLOCATION_ERROR);
            d[0] = RC_SPY_ARG_COLID;
            d[1] = 0;
            d[2] = pos;
            d[3] = 0;
            if (!ColumnId(env, a.column, &data[pos], &data[pos + 1]))
                return rcExpPost(env, RC_MSG_GENERAL_ERROR);
            pos += 2;
            continue;
        }
        rcExpValue v, c;
        if (rcExpRunSlot(env, a.slot, &v) < 0)
            return RC_EXP_ERROR;
        d[0] = RC_SPY_ARG_LITERAL;
        d[1] = a.drmType;
        d[2] = pos;
        d[3] = v.isNull ? 1 : 0;
        if (v.isNull)
            continue;
        if (rcExpCast(env, v, a.sqlType, &c) < 0)
            return RC_EXP_ERROR;
        uint32_t lead = 0, bytes;
        const void *src;
        uint8_t bit;
        if (a.sqlType == SQL_BIT) {
            bit = c.v.u8 ? 255 : 0;
            src = &bit;
            bytes = 1;
        } else if (c.text) {
            bytes = c.length + (IsText(a.sqlType) ? 1 : 0); // texts with their NUL
            lead = a.sqlType == SQL_LONGVARBINARY ? 1 : 0;
            src = c.text;
        } else {
            bytes = InlineBytes(a.sqlType);
            src = c.v.raw;
        }
        uint32_t words = lead + (bytes + 3) / 4;
        if (bytes > limit * 4 || limit - pos < words)
            return rcExpPost(env, RC_MSG_MEMORY_ALLOCATION_ERROR);
        if (lead)
            data[pos] = c.length;
        uint8_t *to = reinterpret_cast<uint8_t *>(data + pos + lead);
        uint32_t copy = c.text ? c.length : bytes; // a text's NUL comes from the padding
        std::memcpy(to, src, copy);
        std::memset(to + copy, 0, (words - lead) * 4 - copy);
        if (IsText(a.sqlType) && env->session &&
            TamConvertParam(env->session, env->errors, a.sqlType, to, c.length,
                            (words - lead) * 4) < 0)
            return RC_EXP_ERROR;
        pos += words;
    }
    data[0] = pos * 4;
    if (ins.b > 0 && rcSpyIsOpen()) { // diagnostics only: the first argument
        rcSpyPredArg first{desc[1], desc[2], desc[3], desc[4]};
        rcSpyWrite(rcSpyFormatPredicateArg(ins.c, first, data, pos).c_str());
    }
    rcExpExecExtPredicateFn exec =
        env->execExtPredicate ? env->execExtPredicate : TamExecExtPredicate;
    int32_t rc = exec(env->session, ins.c, desc, data);
    if (rc < 0) {
        if (env->errors)
            rcErrPost(env->errors, rcErrMapDrm(rc), nullptr, rc, nullptr);
        return RC_EXP_ERROR;
    }
    *truth = rc == 1 ? RC_TRUE : rc == 2 ? RC_UNKNOWN : RC_FALSE;
    return RC_EXP_OK;
}
