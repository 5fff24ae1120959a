// Prepare-time semantic checks: scopes, column resolution, typing of
// expressions and predicates, parameter typing (see fe_check.h).
//
// One walk over the tree carries the scope of the select block it is in
// (the tables of that block's FROM list, or the target table of INSERT,
// UPDATE and DELETE, with a link to the enclosing scope). Expressions are
// typed bottom-up; an operand that is a bare parameter takes the type of the
// operand it meets, and the parameter's description records it.
#include "driver/frontend/fe_check.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/core/rccnv.h"
#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcstrings.h"
#include "driver/engine/expr/rcchkunsup.h"
#include "driver/frontend/fe_selectlist.h"
#include "driver/frontend/fe_tablelist.h"
#include "driver/frontend/rcprsfn.h"
#include "driver/frontend/rcprsunparse.h"
#include "platform/strings.h"

namespace {

constexpr int16_t kChar = SQL_CHAR, kVarchar = SQL_VARCHAR, kLongvarchar = SQL_LONGVARCHAR;
constexpr int16_t kTinyintUnsigned = -28;
constexpr uint32_t kExactDigits = 38; // digits of the private exact type
// The most tables one outer join may name.
constexpr size_t kRcOuterJoinTablesMax = 256;

struct Scope {
    const Scope *outer = nullptr;
    std::vector<rcTblEntry *> tables;
};

struct Checker {
    rcPrepared *prep;
    rcErrorQueue *errors;
    rcFeSource *src;
    // Types declared by a [? type, ...] list, by parameter number.
    std::vector<rcSemTypeInfo> declared;

    int Fail(uint32_t msgId) { return rcErrRaise(errors, msgId); }
    rcSemTypeInfo *New(const rcSemTypeInfo &t) { return rcSemNewType(prep, t); }
    rcSemTypeInfo *Attach(rcParseNode *n, const rcSemTypeInfo &t)
    {
        rcSemTypeInfo *r = New(t);
        n->sem = r;
        return r;
    }

    bool NamesEqual(const std::string &a, const char *b) const
    {
        return src->CaseSensitiveNames() ? a == b : PlatAsciiCaseCompare(a.c_str(), b) == 0;
    }

    // Scopes ----------------------------------------------------------------
    void CollectTables(rcParseNode *n, Scope *scope)
    {
        for (; n != nullptr; n = n->next) {
            if (n->id == RC_N_SubQuery)
                continue;
            if (n->id == RC_N_TableName && n->sem != nullptr)
                scope->tables.push_back(static_cast<rcTblEntry *>(n->sem));
            CollectTables(n->child, scope);
        }
    }
    static rcParseNode *ChildOf(rcParseNode *n, uint16_t id)
    {
        for (rcParseNode *c = n != nullptr ? n->child : nullptr; c != nullptr; c = c->next)
            if (c->id == id)
                return c;
        return nullptr;
    }

    // Column resolution -----------------------------------------------------
    int ResolveColumn(rcParseNode *colName, const Scope *scope, rcTblColumn **out)
    {
        rcParseNode *qual = ChildOf(colName, RC_N_TabNameOrCorName);
        rcParseNode *colId = ChildOf(colName, RC_N_ColId);
        const char *name = colId != nullptr && colId->child != nullptr ? colId->child->text : "";
        if (qual != nullptr) {
            const char *q = qual->child != nullptr ? qual->child->text : "";
            for (const Scope *s = scope; s != nullptr; s = s->outer) {
                for (rcTblEntry *t : s->tables) {
                    const std::string &tn = t->alias.empty() ? t->name : t->alias;
                    if (!NamesEqual(tn, q))
                        continue;
                    for (rcTblColumn &c : t->columns)
                        if (NamesEqual(c.name, name)) {
                            *out = &c;
                            return 0;
                        }
                    return rcFePostText(errors, RC_ENG_INVALID_COLUMN_NAME_SELECT_LIST,
                                        RC_TXT_INVALID_COLUMN_NAME,
                                        (std::string(q) + "." + name).c_str());
                }
            }
            return rcFePostText(errors, RC_ENG_INVALID_VIEW_TABLE_NAME, RC_TXT_INVALID_TABLE_NAME,
                                q);
        }
        for (const Scope *s = scope; s != nullptr; s = s->outer) {
            rcTblColumn *found = nullptr;
            for (rcTblEntry *t : s->tables)
                for (rcTblColumn &c : t->columns)
                    if (NamesEqual(c.name, name)) {
                        if (found != nullptr)
                            return rcFePostText(errors, RC_ENG_INVALID_COLUMN_NAME_SELECT_LIST,
                                                RC_TXT_NON_UNIQUE_COLUMN_REFERENCE, name);
                        found = &c;
                    }
            if (found != nullptr) {
                *out = found;
                return 0;
            }
        }
        return rcFePostText(errors, RC_ENG_INVALID_COLUMN_NAME_SELECT_LIST,
                            RC_TXT_INVALID_COLUMN_NAME, name);
    }

    int ColumnType(rcParseNode *colName, const Scope *scope, rcSemTypeInfo *type)
    {
        // A column item made by star expansion already points at its column.
        auto *col = static_cast<rcTblColumn *>(colName->sem);
        if (col == nullptr && ResolveColumn(colName, scope, &col) != 0)
            return -1;
        colName->sem = col;
        *type = col->type;
        type->flags |= RC_SEM_PLAIN_COLUMN;
        return 0;
    }

    // Parameters -------------------------------------------------------------
    rcParamDesc *ParamOf(const rcParseNode *parm)
    {
        if (parm->attr2 >= prep->params.size())
            prep->params.resize(parm->attr2 + 1);
        return &prep->params[parm->attr2];
    }
    // The DynamicParm a bare parameter operand stands for (through
    // Expression, Primary, parentheses and Value), else null.
    static rcParseNode *BareParam(rcParseNode *n)
    {
        while (n != nullptr) {
            switch (n->id) {
            case RC_N_DynamicParm: return n;
            case RC_N_Expression:
            case RC_N_Primary:
            case RC_N_Value:
            case RC_N_ExprOrSubQuery:
            case RC_N_ExprOrNull:
            case RC_N_InsValue: {
                rcParseNode *c = n->child;
                if (c != nullptr && c->id == '(' && c->next != nullptr &&
                    c->next->next != nullptr && c->next->next->id == ')' &&
                    c->next->next->next == nullptr)
                    c = c->next;
                if (c == nullptr || c->next != nullptr)
                    return nullptr;
                n = c;
                break;
            }
            default: return nullptr;
            }
        }
        return nullptr;
    }
    void DescribeParam(rcParseNode *parm, const rcSemTypeInfo &t)
    {
        ParamOf(parm);
        DescribeParam(parm->attr2, t);
    }
    void DescribeParam(uint32_t number, const rcSemTypeInfo &t)
    {
        rcParamDesc *d = &prep->params[number];
        if (t.sqlType == RC_SEM_UNTYPED) {
            *d = rcParamDesc{};
            return;
        }
        src->DescribeParam(t, d);
    }
    // Gives every node on the way from operand down to its parameter the type.
    void TypeParam(rcParseNode *operand, const rcSemTypeInfo &type)
    {
        rcSemTypeInfo t = type;
        t.flags = RC_SEM_NULLABLE | RC_SEM_NULLABILITY_KNOWN;
        for (rcParseNode *n = operand; n != nullptr;) {
            if (n->id == RC_N_Expression || n->id == RC_N_DynamicParm || n->id == RC_N_Value)
                n->sem = New(t);
            if (n->id == RC_N_DynamicParm) {
                DescribeParam(n, t);
                return;
            }
            rcParseNode *c = n->child;
            if (c != nullptr && c->id == '(')
                c = c->next;
            n = c;
        }
    }

    // Expressions ------------------------------------------------------------
    int TypeLiteral(rcParseNode *lit, rcSemTypeInfo *t)
    {
        rcParseNode *c = lit->child;
        if (c != nullptr && c->id == RC_N_NumericLiteral) {
            rcParseNode *v = c->child;
            bool exact = v != nullptr && v->id == RC_N_ExactNumLit;
            const char *text = exact ? v->child->text : v->text;
            int digits = 0;
            for (const char *p = text; *p != '\0' && *p != 'E' && *p != 'e'; ++p)
                digits += (*p >= '0' && *p <= '9') ? 1 : 0;
            if (exact && digits > 16) {
                // Described by its own digits: leading zeros of the integer
                // part count for nothing, every fraction digit is scale.
                uint32_t precision = 0, scale = 0;
                bool significant = false, fraction = false;
                for (const char *p = text; *p != '\0'; ++p) {
                    if (*p == '.') {
                        fraction = true;
                    } else if (*p >= '0' && *p <= '9') {
                        significant = significant || *p != '0' || fraction;
                        precision += significant ? 1 : 0;
                        scale += fraction ? 1 : 0;
                    }
                }
                // The exact type holds 38 digits; more cannot be delivered.
                if (precision > kExactDigits)
                    return Fail(RC_MSG_NUMERIC_VALUE_OUT_RANGE);
                *t = rcSemTypeInfo{RC_SQL_DECIMAL38, 38,
                                   static_cast<uint16_t>(precision < 1 ? 1 : precision),
                                   static_cast<int16_t>(scale)};
            } else if (digits < 8 && src->HasType(SQL_REAL)) {
                *t = rcSemTypeInfo{SQL_REAL, 4};
            } else {
                *t = rcSemTypeInfo{SQL_DOUBLE, 8};
            }
            t->flags = RC_SEM_NULLABILITY_KNOWN;
            return 0;
        }
        // A string literal: the text with its quotes, inner quotes doubled.
        const char *text = c != nullptr ? c->text : "";
        size_t n = std::strlen(text);
        uint32_t len = 0;
        for (size_t i = 1; i + 1 < n; ++i, ++len)
            if (text[i] == '\'' && text[i + 1] == '\'')
                ++i;
        *t = rcSemTypeInfo{kChar, len};
        t->flags = RC_SEM_NULLABILITY_KNOWN;
        return 0;
    }

    int TypeSetFunction(rcParseNode *fn, const Scope *scope, rcSemTypeInfo *t)
    {
        rcParseNode *c = fn->child;
        if (c != nullptr && c->id == RC_T_COUNT) {
            *t = rcSemTypeInfo{SQL_INTEGER, 4};
            t->flags = RC_SEM_NULLABILITY_KNOWN;
            return 0;
        }
        // AllFn(DistAllFnOp(op) ( [ALL] Expression )) or
        // DistinctFn(DistAllFnOp(op) DistinctFnOpParen(( DISTINCT) ColName ))
        rcParseNode *opNode = c != nullptr ? ChildOf(c, RC_N_DistAllFnOp) : nullptr;
        uint16_t op = opNode != nullptr && opNode->child != nullptr ? opNode->child->id : 0;
        rcSemTypeInfo arg;
        bool have = false;
        for (rcParseNode *a = c != nullptr ? c->child : nullptr; a != nullptr; a = a->next) {
            if (a->id == RC_N_Expression) {
                if (TypeExpr(a, scope) != 0)
                    return -1;
                arg = *rcSemTypeOf(a);
                have = true;
            } else if (a->id == RC_N_ColName) {
                if (ColumnType(a, scope, &arg) != 0)
                    return -1;
                have = true;
            }
        }
        if (!have)
            return Fail(RC_MSG_SYNTAX_ERROR);
        if (op == RC_T_COUNT) {
            *t = rcSemTypeInfo{SQL_INTEGER, 4};
            t->flags = RC_SEM_NULLABILITY_KNOWN;
            return 0;
        }
        if (arg.sqlType == RC_SEM_UNTYPED)
            return Fail(RC_ENG_UNABLE_DETERMINE_DYNAMIC_PARAMETER_TYPE);
        if (rcSemIsBinary(arg.sqlType) || arg.sqlType == SQL_BIT)
            return Fail(RC_ENG_INCOMPATIBLE_TYPES_EXPRESSION);
        if (op == RC_T_SUM || op == RC_T_AVG) {
            if (!rcSemIsNumeric(arg.sqlType))
                return Fail(RC_ENG_INCOMPATIBLE_TYPES_EXPRESSION);
            *t = arg.sqlType == RC_SQL_DECIMAL38 ? rcSemTypeInfo{RC_SQL_DECIMAL38, 38, 74, 37}
                                                 : rcSemTypeInfo{SQL_DOUBLE, 8};
        } else {
            *t = arg;
            t->flags &= ~RC_SEM_PLAIN_COLUMN;
            if (arg.sqlType == kLongvarchar)
                rcErrRaise(errors, RC_ENG_LONG_SET_FUNCTION_DATA_WILL);
        }
        t->flags = RC_SEM_NULLABLE | RC_SEM_NULLABILITY_KNOWN;
        return 0;
    }

    int TypeScalarFn(rcParseNode *fn, const Scope *scope, rcSemTypeInfo *t)
    {
        const rcScalarFnEntry *entry = rcPrsScalarFnOf(fn);
        rcParseNode *list = ChildOf(fn, RC_N_SFParmList);
        rcScalarFnType first{SQL_VARCHAR, 254};
        int position = 0;
        bool nullable = false;
        int16_t convertTo = 0;
        for (rcParseNode *a = list != nullptr ? list->child : nullptr; a != nullptr; a = a->next) {
            if (a->id != RC_N_Expression)
                continue;
            rcParseNode *target = entry != nullptr && entry->code == RC_FN_CONVERT && position == 1
                                      ? BareChild(a)
                                      : nullptr;
            if (target != nullptr && target->id == RC_N_ConvertType) {
                convertTo = static_cast<int16_t>(static_cast<int32_t>(target->attr));
                Attach(a, rcSemTypeInfo{SQL_INTEGER, 4});
                ++position;
                continue;
            }
            if (TypeExpr(a, scope) != 0)
                return -1;
            rcSemTypeInfo *at = const_cast<rcSemTypeInfo *>(rcSemTypeOf(a));
            if (at->sqlType == RC_SEM_UNTYPED) {
                rcScalarFnType pt{};
                if (entry == nullptr || !rcPrsScalarFnParamType(entry, position, &pt))
                    return Fail(RC_ENG_UNABLE_DETERMINE_DYNAMIC_PARAMETER_TYPE);
                TypeParam(a, rcSemTypeInfo{pt.sqlType, pt.length});
                at = const_cast<rcSemTypeInfo *>(rcSemTypeOf(a));
            }
            nullable = nullable || (at->flags & RC_SEM_NULLABLE) != 0;
            if (position == 0)
                first = rcScalarFnType{at->sqlType, at->length};
            ++position;
        }
        if (convertTo != 0) {
            uint32_t len = rcSemIsChar(convertTo) ? 254 : src->FixedLength(convertTo);
            if (len == 0)
                len = 254;
            *t = rcSemTypeInfo{convertTo, len};
            if (convertTo == SQL_BIGINT) // 19 digits, 20 characters with the sign
                *t = rcSemTypeInfo{convertTo, 20, 19, 0};
        } else if (entry != nullptr) {
            rcScalarFnType r = rcPrsScalarFnResultType(entry, first);
            *t = rcSemTypeInfo{r.sqlType, r.length};
        } else {
            *t = rcSemTypeInfo{SQL_VARCHAR, 254};
        }
        t->flags = RC_SEM_NULLABILITY_KNOWN | (nullable ? uint32_t{RC_SEM_NULLABLE} : 0u);
        return 0;
    }

    static rcParseNode *BareChild(rcParseNode *expr)
    {
        rcParseNode *p = expr->child;
        if (p == nullptr || p->id != RC_N_Primary || p->next != nullptr)
            return nullptr;
        return p->child;
    }

    int TypePrimary(rcParseNode *primary, const Scope *scope, rcSemTypeInfo *t)
    {
        rcParseNode *c = primary->child;
        if (c == nullptr)
            return Fail(RC_MSG_SYNTAX_ERROR);
        switch (c->id) {
        case RC_N_ColName: return ColumnType(c, scope, t);
        case RC_N_Literal: return TypeLiteral(c, t);
        case RC_N_DynamicParm:
            *t = rcSemTypeInfo{RC_SEM_UNTYPED, RC_SEM_UNTYPED_LENGTH};
            if (c->attr2 < declared.size() && declared[c->attr2].sqlType != 0) {
                *t = declared[c->attr2];
                DescribeParam(c, *t);
            }
            c->sem = New(*t);
            ParamOf(c);
            return 0;
        case RC_T_USER:
            *t = rcSemTypeInfo{kVarchar, 128};
            t->flags = RC_SEM_NULLABILITY_KNOWN;
            return 0;
        case '(':
            if (c->next == nullptr || c->next->id != RC_N_Expression ||
                TypeExpr(c->next, scope) != 0)
                return c->next == nullptr ? Fail(RC_MSG_SYNTAX_ERROR) : -1;
            *t = *rcSemTypeOf(c->next);
            t->flags &= ~RC_SEM_PLAIN_COLUMN;
            return 0;
        case RC_N_SetFunctionRef: return TypeSetFunction(c, scope, t);
        case RC_N_ScalarFn: return TypeScalarFn(c, scope, t);
        case RC_N_TypedLiteral:
            *t = rcSemTypeInfo{static_cast<int16_t>(c->attr),
                               c->attr == static_cast<uint32_t>(SQL_TIMESTAMP) ? 16u : 6u};
            t->flags = RC_SEM_NULLABILITY_KNOWN;
            return 0;
        case RC_N_ConvertType: *t = rcSemTypeInfo{SQL_INTEGER, 4}; return 0;
        case RC_N_IFCondExpr: {
            rcSemTypeInfo a, b;
            int seen = 0;
            for (rcParseNode *x = c->child; x != nullptr; x = x->next) {
                if (x->id == RC_N_SearchCond && Walk(x, scope) != 0)
                    return -1;
                if (x->id != RC_N_Expression)
                    continue;
                if (TypeExpr(x, scope) != 0)
                    return -1;
                (seen++ == 0 ? a : b) = *rcSemTypeOf(x);
            }
            if (a.sqlType == RC_SEM_UNTYPED || b.sqlType == RC_SEM_UNTYPED)
                return Fail(RC_ENG_UNABLE_DETERMINE_DYNAMIC_PARAMETER_TYPE);
            if (!rcSemTypesCompatible(a.sqlType, b.sqlType))
                return Fail(RC_ENG_INCOMPATIBLE_TYPES_EXPRESSION);
            *t = a;
            if (b.sqlType != a.sqlType && rcSemIsNumeric(a.sqlType))
                *t = rcSemTypeInfo{SQL_DOUBLE, 8};
            else if (b.sqlType != a.sqlType && rcSemIsChar(a.sqlType))
                t->sqlType = kVarchar;
            t->length = std::max(a.length, b.length);
            t->flags = RC_SEM_NULLABLE | RC_SEM_NULLABILITY_KNOWN;
            return 0;
        }
        default: return Fail(RC_ENG_UNSUPPORTED_SQL_COMMAND_STATEMENT);
        }
    }

    static bool IsIntegerLiteral(const rcParseNode *expr)
    {
        const rcParseNode *lit = BareChild(const_cast<rcParseNode *>(expr));
        const rcParseNode *num = lit != nullptr && lit->id == RC_N_Literal ? lit->child : nullptr;
        const rcParseNode *exact =
            num != nullptr && num->id == RC_N_NumericLiteral ? num->child : nullptr;
        return exact != nullptr && exact->id == RC_N_ExactNumLit && exact->child != nullptr &&
               exact->child->id == RC_T_USINT_LIT && std::strlen(exact->child->text) < 10;
    }
    static bool IsDateLike(int16_t t) { return t == SQL_DATE || t == SQL_TIMESTAMP; }
    static bool IsSmallInt(int16_t t)
    {
        return t == SQL_INTEGER || t == SQL_SMALLINT || t == kTinyintUnsigned;
    }

    // The result of left op right; 0 with *t set, or -1 posted.
    int Arithmetic(const rcSemTypeInfo &l, int op, const rcSemTypeInfo &r, rcSemTypeInfo *t)
    {
        bool nullable = ((l.flags | r.flags) & RC_SEM_NULLABLE) != 0;
        int16_t a = l.sqlType, b = r.sqlType;
        if (rcSemIsBinary(a) || rcSemIsBinary(b) || a == SQL_BIT || b == SQL_BIT || a == SQL_TIME ||
            b == SQL_TIME)
            return Fail(RC_ENG_INCOMPATIBLE_TYPES_EXPRESSION);
        if (IsDateLike(a)) {
            if ((op == '+' || op == '-') && IsSmallInt(b)) {
                *t = rcSemTypeInfo{a, l.length};
            } else if (op == '-' && (IsDateLike(b) || rcSemIsChar(b))) {
                *t = rcSemTypeInfo{SQL_DOUBLE, 8};
            } else {
                return Fail(RC_ENG_INCOMPATIBLE_TYPES_EXPRESSION);
            }
        } else if (rcSemIsNumeric(a) && IsDateLike(b)) {
            if (op != '+' || !(IsSmallInt(a) || a == SQL_REAL || a == RC_SQL_DECIMAL38))
                return Fail(RC_ENG_INCOMPATIBLE_TYPES_EXPRESSION);
            *t = rcSemTypeInfo{b, r.length};
        } else if (rcSemIsNumeric(a) && rcSemIsNumeric(b)) {
            bool exact = a == RC_SQL_DECIMAL38 || b == RC_SQL_DECIMAL38 || a == SQL_DECIMAL ||
                         b == SQL_DECIMAL || a == SQL_NUMERIC || b == SQL_NUMERIC;
            *t = exact ? rcSemTypeInfo{RC_SQL_DECIMAL38, 38, 74, 37} : rcSemTypeInfo{SQL_DOUBLE, 8};
        } else if (rcSemIsChar(a) && rcSemIsChar(b)) {
            if (op != '+')
                return Fail(RC_ENG_INCOMPATIBLE_TYPES_EXPRESSION);
            if (l.collation != r.collation)
                return Fail(RC_ENG_COLLATE_SEQUENCE_MISMATCH);
            uint32_t len = std::min<uint32_t>(l.length + r.length, RC_SEM_LONG_LENGTH);
            *t = rcSemTypeInfo{a, len};
            t->collation = l.collation;
            if (a != kLongvarchar && len > 254)
                t->sqlType = kLongvarchar;
        } else if (rcSemIsChar(a) && op == '-' && IsDateLike(b)) {
            *t = rcSemTypeInfo{SQL_INTEGER, 4};
        } else {
            return Fail(RC_ENG_INCOMPATIBLE_TYPES_EXPRESSION);
        }
        t->flags = RC_SEM_NULLABILITY_KNOWN | (nullable ? uint32_t{RC_SEM_NULLABLE} : 0u);
        return 0;
    }

    int TypeExpr(rcParseNode *e, const Scope *scope)
    {
        rcParseNode *c = e->child;
        rcSemTypeInfo t;
        if (c == nullptr)
            return Fail(RC_MSG_SYNTAX_ERROR);
        if (c->id == RC_N_Primary) {
            if (TypePrimary(c, scope, &t) != 0)
                return -1;
        } else if ((c->id == '-' || c->id == '+') && c->next != nullptr &&
                   c->next->id == RC_N_Expression) {
            if (TypeExpr(c->next, scope) != 0)
                return -1;
            t = *rcSemTypeOf(c->next);
            t.flags &= ~RC_SEM_PLAIN_COLUMN;
            if (t.sqlType != RC_SEM_UNTYPED && !rcSemIsNumeric(t.sqlType))
                return Fail(RC_ENG_INCOMPATIBLE_TYPES_EXPRESSION);
        } else if (c->id == RC_N_Expression && c->next != nullptr && c->next->next != nullptr) {
            rcParseNode *right = c->next->next;
            int op = c->next->id;
            if (TypeExpr(c, scope) != 0 || TypeExpr(right, scope) != 0)
                return -1;
            const rcSemTypeInfo *l = rcSemTypeOf(c), *r = rcSemTypeOf(right);
            bool lp = l->sqlType == RC_SEM_UNTYPED, rp = r->sqlType == RC_SEM_UNTYPED;
            if (lp && rp)
                return Fail(RC_MSG_INVALID_VARIABLE_PARAMETER);
            if (lp || rp) {
                const rcSemTypeInfo *other = lp ? r : l;
                rcSemTypeInfo pt = *other;
                if (IsDateLike(other->sqlType) && (op == '+' || op == '-'))
                    pt = rcSemTypeInfo{SQL_INTEGER, 4};
                TypeParam(lp ? c : right, pt);
                l = rcSemTypeOf(c);
                r = rcSemTypeOf(right);
            }
            // A whole-number literal added to or taken from a date counts days.
            if (IsDateLike(l->sqlType) && IsIntegerLiteral(right))
                r = Attach(right, rcSemTypeInfo{SQL_INTEGER, 4, 0, 0, RC_SEM_NULLABILITY_KNOWN});
            if (IsDateLike(r->sqlType) && IsIntegerLiteral(c))
                l = Attach(c, rcSemTypeInfo{SQL_INTEGER, 4, 0, 0, RC_SEM_NULLABILITY_KNOWN});
            if (Arithmetic(*l, op, *r, &t) != 0)
                return -1;
            // A DATE, TIME, TIMESTAMP or DECIMAL38 operand against a character
            // operand: the character side is read as that type, so it must be
            // a literal, not a character column.
            int16_t work = 0;
            for (const rcSemTypeInfo *side : {l, r}) {
                int16_t s = side->sqlType;
                if (s == SQL_DATE || s == SQL_TIME || s == SQL_TIMESTAMP || s == RC_SQL_DECIMAL38)
                    work = s;
            }
            if (work != 0 && (rcSemIsChar(l->sqlType) || rcSemIsChar(r->sqlType))) {
                const rcSemTypeInfo *ch = rcSemIsChar(l->sqlType) ? l : r;
                if ((ch->flags & RC_SEM_PLAIN_COLUMN) != 0)
                    return Fail(RC_ENG_INCOMPATIBLE_TYPES_EXPRESSION);
                t.workType = work;
            }
        } else {
            return Fail(RC_MSG_SYNTAX_ERROR);
        }
        e->sem = New(t);
        return 0;
    }

    // Predicates ------------------------------------------------------------
    // Types the operand (an Expression, an ExprOrSubQuery or a subquery in
    // parentheses); a subquery gives the type of its one select item.
    int TypeOperand(rcParseNode *n, const Scope *scope, rcSemTypeInfo **out, rcParseNode **exprNode)
    {
        *exprNode = nullptr;
        if (n->id == RC_N_ExprOrSubQuery)
            n = n->child;
        if (n != nullptr && n->id == RC_N_Expression) {
            if (TypeExpr(n, scope) != 0)
                return -1;
            *out = const_cast<rcSemTypeInfo *>(rcSemTypeOf(n));
            *exprNode = n;
            return 0;
        }
        if (n != nullptr && n->id == '(')
            n = n->next;
        if (n != nullptr && n->id == RC_N_SubQuery) {
            if (Walk(n, scope) != 0)
                return -1;
            rcParseNode *item = FirstSelectItem(n);
            if (item == nullptr || item->sem == nullptr)
                return Fail(RC_ENG_UNSUPPORTED_SQL_COMMAND_STATEMENT);
            *out = static_cast<rcSemTypeInfo *>(item->sem);
            return 0;
        }
        return Fail(RC_MSG_SYNTAX_ERROR);
    }
    static rcParseNode *FirstSelectItem(rcParseNode *subquery)
    {
        rcParseNode *spec = ChildOf(subquery, RC_N_QuerySpec);
        rcParseNode *list = ChildOf(spec, RC_N_SelectList);
        rcParseNode *sub = ChildOf(list, RC_N_SelSubList);
        rcParseNode *item = ChildOf(sub, RC_N_SelSubListItem);
        return ChildOf(item, RC_N_Expression);
    }

    int Compare(rcParseNode *leftNode, rcSemTypeInfo *l, rcParseNode *rightNode, rcSemTypeInfo *r,
                const char *op)
    {
        bool lp = l->sqlType == RC_SEM_UNTYPED, rp = r->sqlType == RC_SEM_UNTYPED;
        if (lp && rp)
            return Fail(RC_ENG_UNABLE_DETERMINE_DYNAMIC_PARAMETER_TYPE);
        if (lp && leftNode != nullptr) {
            TypeParam(leftNode, *r);
            l = const_cast<rcSemTypeInfo *>(rcSemTypeOf(leftNode));
        } else if (rp && rightNode != nullptr) {
            TypeParam(rightNode, *l);
            r = const_cast<rcSemTypeInfo *>(rcSemTypeOf(rightNode));
        }
        if (l->sqlType == RC_SEM_UNTYPED || r->sqlType == RC_SEM_UNTYPED)
            return Fail(RC_ENG_UNABLE_DETERMINE_DYNAMIC_PARAMETER_TYPE);
        uint32_t msg = rcSemCheckCompare(l, r, op);
        return msg != 0 ? Fail(msg) : 0;
    }

    int TypeValue(rcParseNode *value, const Scope *scope, rcParseNode *tested,
                  rcSemTypeInfo *testedType)
    {
        rcParseNode *c = value->child;
        rcSemTypeInfo t;
        bool negate = false;
        while (c != nullptr && (c->id == '-' || c->id == '+') && c->next != nullptr) {
            negate = true;
            c = c->next;
        }
        (void)negate;
        if (c == nullptr)
            return Fail(RC_MSG_SYNTAX_ERROR);
        switch (c->id) {
        case RC_N_DynamicParm:
            ParamOf(c);
            TypeParam(value, *testedType);
            break;
        case RC_N_Literal:
            if (c->child != nullptr && c->child->id == RC_N_NumericLiteral) {
                rcParseNode *v = c->child->child;
                bool usint = v != nullptr && v->id == RC_N_ExactNumLit && v->child != nullptr &&
                             v->child->id == RC_T_USINT_LIT;
                t = usint ? rcSemTypeInfo{SQL_INTEGER, 4} : rcSemTypeInfo{SQL_DOUBLE, 8};
            } else {
                TypeLiteral(c, &t);
            }
            value->sem = New(t);
            break;
        case RC_T_USER:
            t = rcSemTypeInfo{kChar, 128};
            value->sem = New(t);
            break;
        case RC_N_TypedLiteral:
            t = rcSemTypeInfo{static_cast<int16_t>(c->attr),
                              c->attr == static_cast<uint32_t>(SQL_TIMESTAMP) ? 16u : 6u};
            value->sem = New(t);
            break;
        case RC_N_Expression:
            if (TypeExpr(c, scope) != 0)
                return -1;
            value->sem = New(*rcSemTypeOf(c));
            break;
        default: return Fail(RC_ENG_UNSUPPORTED_SQL_COMMAND_STATEMENT);
        }
        (void)tested;
        uint32_t msg =
            rcSemCheckCompare(testedType, static_cast<rcSemTypeInfo *>(value->sem), "IN");
        return msg != 0 ? Fail(msg) : 0;
    }

    int TypePredicate(rcParseNode *p, const Scope *scope)
    {
        rcParseNode *c = p->child;
        rcSemTypeInfo *l = nullptr, *r = nullptr;
        rcParseNode *le = nullptr, *re = nullptr;
        switch (p->id) {
        case RC_N_ComparePredicate:
        case RC_N_QuantifiedPredicate: {
            rcParseNode *op = c->next;
            rcParseNode *right = p->id == RC_N_QuantifiedPredicate ? op->next->next : op->next;
            if (TypeOperand(c, scope, &l, &le) != 0 || TypeOperand(right, scope, &r, &re) != 0)
                return -1;
            const char *opText = op->child != nullptr ? op->child->text : "=";
            return Compare(le, l, re, r, opText);
        }
        case RC_N_BetweenPredicate: {
            std::vector<rcParseNode *> ex;
            for (rcParseNode *x = c; x != nullptr; x = x->next)
                if (x->id == RC_N_Expression)
                    ex.push_back(x);
            if (ex.size() != 3)
                return Fail(RC_MSG_SYNTAX_ERROR);
            rcSemTypeInfo *t[3];
            for (int i = 0; i < 3; ++i) {
                if (TypeExpr(ex[i], scope) != 0)
                    return -1;
                t[i] = const_cast<rcSemTypeInfo *>(rcSemTypeOf(ex[i]));
            }
            // A parameter tested against bounds takes a bound's type.
            if (t[0]->sqlType == RC_SEM_UNTYPED && t[1]->sqlType != RC_SEM_UNTYPED) {
                TypeParam(ex[0], *t[1]);
                t[0] = const_cast<rcSemTypeInfo *>(rcSemTypeOf(ex[0]));
            }
            if (Compare(ex[0], t[0], ex[1], t[1], ">=") != 0)
                return -1;
            t[0] = const_cast<rcSemTypeInfo *>(rcSemTypeOf(ex[0]));
            return Compare(ex[0], t[0], ex[2], t[2], "<=");
        }
        case RC_N_LikePredicate: {
            rcParseNode *pattern = c->next != nullptr ? c->next->next : nullptr;
            if (pattern == nullptr || TypeOperand(c, scope, &l, &le) != 0 ||
                TypeOperand(pattern, scope, &r, &re) != 0)
                return -1;
            if (l->sqlType == RC_SEM_UNTYPED && r->sqlType != RC_SEM_UNTYPED) {
                TypeParam(le, *r);
                l = const_cast<rcSemTypeInfo *>(rcSemTypeOf(le));
            } else if (r->sqlType == RC_SEM_UNTYPED && l->sqlType != RC_SEM_UNTYPED) {
                rcSemTypeInfo pt = *l;
                if (!rcSemIsChar(pt.sqlType))
                    pt = rcSemTypeInfo{kVarchar, 254};
                TypeParam(pattern, pt);
                r = const_cast<rcSemTypeInfo *>(rcSemTypeOf(pattern));
            }
            if (l->sqlType == RC_SEM_UNTYPED || r->sqlType == RC_SEM_UNTYPED)
                return Fail(RC_ENG_UNABLE_DETERMINE_DYNAMIC_PARAMETER_TYPE);
            if (!rcSemIsChar(l->sqlType) || !rcSemIsChar(r->sqlType))
                return Fail(rcSemIsBinary(l->sqlType) || rcSemIsBinary(r->sqlType)
                                ? RC_ENG_CANNOT_COMPARE_BINARY_DATA_TYPE
                                : RC_ENG_INCOMPATIBLE_TYPES_PREDICATE);
            return 0;
        }
        case RC_N_NullPredicate:
            if (TypeOperand(c, scope, &l, &le) != 0)
                return -1;
            if (l->sqlType == RC_SEM_UNTYPED)
                return Fail(RC_ENG_UNABLE_DETERMINE_DYNAMIC_PARAMETER_TYPE);
            return 0;
        case RC_N_InPredicate: {
            if (TypeOperand(c, scope, &l, &le) != 0)
                return -1;
            rcParseNode *list = ChildOf(p, RC_N_ValueListORSubQuery);
            rcParseNode *sub = ChildOf(list, RC_N_SubQuery);
            if (sub != nullptr) {
                if (TypeOperand(sub, scope, &r, &re) != 0)
                    return -1;
                return Compare(le, l, nullptr, r, "IN");
            }
            rcParseNode *values = ChildOf(list, RC_N_ValueList);
            if (l->sqlType == RC_SEM_UNTYPED) {
                // The tested parameter takes the type of the first typed value.
                for (rcParseNode *v = values != nullptr ? values->child : nullptr; v != nullptr;
                     v = v->next) {
                    if (v->id != RC_N_Value || BareParam(v) != nullptr)
                        continue;
                    rcSemTypeInfo probe{RC_SEM_UNTYPED, RC_SEM_UNTYPED_LENGTH};
                    if (TypeValue(v, scope, le, &probe) != 0)
                        return -1;
                    TypeParam(le, *static_cast<rcSemTypeInfo *>(v->sem));
                    l = const_cast<rcSemTypeInfo *>(rcSemTypeOf(le));
                    break;
                }
                if (l->sqlType == RC_SEM_UNTYPED)
                    return Fail(RC_ENG_UNABLE_DETERMINE_DYNAMIC_PARAMETER_TYPE);
            }
            for (rcParseNode *v = values != nullptr ? values->child : nullptr; v != nullptr;
                 v = v->next)
                if (v->id == RC_N_Value && TypeValue(v, scope, le, l) != 0)
                    return -1;
            return 0;
        }
        case RC_N_ExistsPredicate: return Walk(c, scope);
        default: return Walk(c, scope);
        }
    }

    // Statements ------------------------------------------------------------
    int WalkBlock(rcParseNode *block, const Scope *outer)
    {
        Scope scope;
        scope.outer = outer;
        CollectTables(ChildOf(block, RC_N_TableRefList), &scope);
        int r = Walk(block->child, &scope);
        return r;
    }

    int TypeColumnTarget(rcParseNode *target, const Scope *scope, rcParseNode *valueNode)
    {
        rcSemTypeInfo ct;
        if (ColumnType(target, scope, &ct) != 0)
            return -1;
        ct.flags &= ~RC_SEM_PLAIN_COLUMN;
        rcParseNode *expr = valueNode != nullptr ? ChildOf(valueNode, RC_N_Expression) : nullptr;
        if (expr == nullptr)
            return 0; // NULL
        if (TypeExpr(expr, scope) != 0)
            return -1;
        const rcSemTypeInfo *vt = rcSemTypeOf(expr);
        if (vt->sqlType == RC_SEM_UNTYPED) {
            TypeParam(expr, ct);
            return 0;
        }
        if (!AssignableTo(ct.sqlType, vt->sqlType))
            return Fail(RC_ENG_INCOMPATIBLE_TYPES_EXPRESSION);
        return 0;
    }

    // A value of type value can be written into a column of type column (a
    // BIT column takes numbers; a binary column takes text, read as hex).
    static bool AssignableTo(int16_t column, int16_t value)
    {
        return rcSemTypesCompatible(column, value) ||
               (column == SQL_BIT && rcSemIsNumeric(value)) ||
               (rcCnvIsBinaryType(column) && rcCnvIsCharType(value));
    }

    int WalkInsert(rcParseNode *stmt)
    {
        rcParseNode *tableNode = ChildOf(stmt, RC_N_TableName);
        rcTblEntry *table =
            tableNode != nullptr ? static_cast<rcTblEntry *>(tableNode->sem) : nullptr;
        if (table == nullptr)
            return Fail(RC_ENG_INVALID_VIEW_TABLE_NAME);
        std::vector<rcTblColumn *> targets;
        rcParseNode *idList = ChildOf(ChildOf(stmt, RC_N_ColIdList_Opt), RC_N_ColIdList);
        if (idList != nullptr) {
            for (rcParseNode *id = idList->child; id != nullptr; id = id->next) {
                if (id->id != RC_N_ColId)
                    continue;
                const char *name = id->child != nullptr ? id->child->text : "";
                rcTblColumn *found = nullptr;
                for (rcTblColumn &c : table->columns)
                    if (NamesEqual(c.name, name))
                        found = &c;
                if (found == nullptr)
                    return rcFePostText(errors, RC_ENG_INVALID_COLUMN_NAME_SELECT_LIST,
                                        RC_TXT_INVALID_COLUMN_NAME, name);
                id->sem = found;
                targets.push_back(found);
            }
        } else {
            for (rcTblColumn &c : table->columns)
                targets.push_back(&c);
        }
        rcParseNode *source = ChildOf(stmt, RC_N_QuerySpecOrValList);
        rcParseNode *values = ChildOf(source, RC_N_InsValList);
        if (values == nullptr) {
            rcParseNode *query = ChildOf(source, RC_N_QuerySpec);
            return query != nullptr ? WalkBlock(query, nullptr) : 0;
        }
        Scope none;
        size_t i = 0;
        for (rcParseNode *v = values->child; v != nullptr; v = v->next) {
            if (v->id != RC_N_InsValue)
                continue;
            if (i >= targets.size())
                return Fail(RC_MSG_INSERT_VALUE_LIST_DOES_NOT);
            rcTblColumn *col = targets[i++];
            rcParseNode *c = v->child;
            rcSemTypeInfo ct = col->type;
            ct.flags &= ~RC_SEM_PLAIN_COLUMN;
            if (c != nullptr && c->id == RC_N_DynamicParm) {
                ParamOf(c);
                TypeParam(v, ct);
            } else if (c != nullptr && c->id == RC_N_Literal) {
                rcSemTypeInfo lt;
                TypeLiteral(c, &lt);
                v->sem = New(lt);
                if (!AssignableTo(ct.sqlType, lt.sqlType))
                    return Fail(RC_ENG_INCOMPATIBLE_TYPES_EXPRESSION);
            } else if (c != nullptr && c->id == RC_N_Expression) {
                if (TypeExpr(c, &none) != 0)
                    return -1;
                if (rcSemTypeOf(c)->sqlType == RC_SEM_UNTYPED)
                    TypeParam(c, ct);
            }
        }
        if (i != targets.size())
            return Fail(RC_MSG_INSERT_VALUE_LIST_DOES_NOT);
        return 0;
    }

    int WalkUpdate(rcParseNode *stmt, const Scope *outer)
    {
        Scope scope;
        scope.outer = outer;
        rcParseNode *tableNode = ChildOf(stmt, RC_N_TableName);
        if (tableNode != nullptr && tableNode->sem != nullptr)
            scope.tables.push_back(static_cast<rcTblEntry *>(tableNode->sem));
        for (rcParseNode *c = stmt->child; c != nullptr; c = c->next) {
            if (c->id == RC_N_ColAssignList) {
                for (rcParseNode *a = c->child; a != nullptr; a = a->next)
                    if (a->id == RC_N_ColAssign &&
                        TypeColumnTarget(ChildOf(a, RC_N_ColName), &scope,
                                         ChildOf(a, RC_N_ExprOrNull)) != 0)
                        return -1;
            } else if (c->id != RC_N_TableName && Walk(c, &scope) != 0) {
                return -1;
            }
        }
        return 0;
    }

    // The general walk over a sibling chain.
    int Walk(rcParseNode *n, const Scope *scope)
    {
        for (; n != nullptr; n = n->next) {
            switch (n->id) {
            case RC_N_SubSelectStmt:
            case RC_N_QuerySpec:
                if (WalkBlock(n, scope) != 0)
                    return -1;
                continue;
            case RC_N_SubQuery:
                if (Walk(n->child, scope) != 0)
                    return -1;
                continue;
            case RC_N_Expression:
                if (TypeExpr(n, scope) != 0)
                    return -1;
                continue;
            case RC_N_ComparePredicate:
            case RC_N_QuantifiedPredicate:
            case RC_N_BetweenPredicate:
            case RC_N_LikePredicate:
            case RC_N_NullPredicate:
            case RC_N_InPredicate:
            case RC_N_ExistsPredicate:
                if (TypePredicate(n, scope) != 0)
                    return -1;
                continue;
            case RC_N_TableRefList:
                // Only the ON conditions of outer joins hold expressions.
                if (WalkJoins(n->child, scope) != 0)
                    return -1;
                continue;
            case RC_N_ColName:
                if (n->sem == nullptr) {
                    rcSemTypeInfo t;
                    if (ColumnType(n, scope, &t) != 0)
                        return -1;
                }
                continue;
            default:
                if (Walk(n->child, scope) != 0)
                    return -1;
            }
        }
        return 0;
    }
    int WalkJoins(rcParseNode *n, const Scope *scope)
    {
        for (; n != nullptr; n = n->next) {
            if (n->id == RC_N_LeftOuterJoin) {
                if (CheckOuterJoin(n, scope) != 0)
                    return -1;
            } else if (n->id == RC_N_TableRef) {
                if (WalkJoins(n->child, scope) != 0)
                    return -1;
            }
        }
        return 0;
    }

    // An outer join: its nested joins first, then its ON condition, whose
    // column references must stay within the tables the join names and
    // which may hold no literal.
    static void JoinTables(const rcParseNode *n, std::vector<const rcTblEntry *> *out)
    {
        for (; n != nullptr; n = n->next) {
            if (n->id == RC_N_SearchCond || n->id == RC_N_SubQuery)
                continue;
            if (n->id == RC_N_TableName && n->sem != nullptr)
                out->push_back(static_cast<const rcTblEntry *>(n->sem));
            JoinTables(n->child, out);
        }
    }
    static const rcParseNode *FindId(const rcParseNode *n, uint16_t id)
    {
        for (; n != nullptr; n = n->next) {
            if (n->id == RC_N_SubQuery)
                continue;
            if (n->id == id)
                return n;
            if (const rcParseNode *f = FindId(n->child, id))
                return f;
        }
        return nullptr;
    }
    int OuterColumns(const rcParseNode *n, const std::vector<const rcTblEntry *> &tables)
    {
        for (; n != nullptr; n = n->next) {
            if (n->id == RC_N_SubQuery)
                continue;
            if (n->id == RC_N_ColName && n->sem != nullptr) {
                const rcTblColumn *c = static_cast<const rcTblColumn *>(n->sem);
                bool inside = false;
                for (const rcTblEntry *t : tables)
                    inside = inside || t == c->owner;
                if (!inside)
                    return rcFePostText(errors, RC_MSG_GENERAL_ERROR,
                                        RC_TXT_CONDITION_COLUMN_REFERENCE_MUST_WITHIN,
                                        c->name.c_str());
                continue;
            }
            if (OuterColumns(n->child, tables) != 0)
                return -1;
        }
        return 0;
    }
    int CheckOuterJoin(rcParseNode *join, const Scope *scope)
    {
        rcParseNode *cond = nullptr;
        for (rcParseNode *c = join->child; c != nullptr; c = c->next) {
            if (c->id == RC_N_LeftOuterJoin || c->id == RC_N_TableRef) {
                if (WalkJoins(c, scope) != 0)
                    return -1;
                // WalkJoins visits the siblings too: the rest is done.
                break;
            }
        }
        for (rcParseNode *c = join->child; c != nullptr; c = c->next)
            if (c->id == RC_N_SearchCond)
                cond = c;
        std::vector<const rcTblEntry *> tables;
        JoinTables(join->child, &tables);
        if (tables.size() > kRcOuterJoinTablesMax) {
            std::string text =
                "Outer join names more than " + std::to_string(kRcOuterJoinTablesMax) + " tables.";
            rcErrPost(errors, RC_MSG_GENERAL_ERROR, nullptr, 0, text.c_str());
            return -1;
        }
        if (cond == nullptr)
            return 0;
        if (FindId(cond->child, RC_N_Literal) != nullptr ||
            FindId(cond->child, RC_N_TypedLiteral) != nullptr)
            return rcFePostText(errors, RC_MSG_SYNTAX_ERROR, RC_TXT_LITERAL_NOT_ALLOWED_CONDITION,
                                nullptr);
        if (Walk(cond, scope) != 0)
            return -1;
        return OuterColumns(cond->child, tables);
    }

    // GROUP BY and ORDER BY keys of a binary type are refused.
    static bool HasBinaryExpr(const rcParseNode *n)
    {
        for (; n != nullptr; n = n->next) {
            const rcSemTypeInfo *t = n->id == RC_N_Expression ? rcSemTypeOf(n) : nullptr;
            if ((t != nullptr && rcSemIsBinary(t->sqlType)) || HasBinaryExpr(n->child))
                return true;
        }
        return false;
    }
    int CheckKeyTypes(rcParseNode *n)
    {
        for (; n != nullptr; n = n->next) {
            if (n->id == RC_N_GroupBy_Opt && HasBinaryExpr(n->child))
                return Fail(RC_ENG_UNSUPPORTED_TYPE_GROUP_BY_CLAUSE);
            if (n->id == RC_N_OrderBy_Opt && HasBinaryExpr(n->child))
                return Fail(RC_ENG_UNSUPPORTED_TYPE_ORDER_BY_CLAUSE);
            if (n->id != RC_N_SubQuery && CheckKeyTypes(n->child) != 0)
                return -1;
        }
        return 0;
    }
};

void NumberParams(rcParseNode *n, uint32_t *counter)
{
    for (; n != nullptr; n = n->next) {
        if (n->id == RC_N_ParamTypeList)
            continue;
        if (n->id == RC_N_DynamicParm)
            n->attr2 = (*counter)++;
        NumberParams(n->child, counter);
    }
}

bool HasParam(const rcParseNode *n)
{
    for (; n != nullptr; n = n->next)
        if (n->id == RC_N_DynamicParm || HasParam(n->child))
            return true;
    return false;
}

// Reads a [? type, ...] list: the k-th "?" of the list declares the type of
// the statement's parameter k; each "?" of the list is numbered so.
int ReadDeclaredTypes(rcFeSource *src, rcParseNode *list, std::vector<rcSemTypeInfo> *declared,
                      rcErrorQueue *errors)
{
    uint32_t position = 0;
    for (rcParseNode *n = list->child; n != nullptr; n = n->next) {
        if (n->id == RC_N_DynamicParm) {
            n->attr2 = position++;
            continue;
        }
        if (n->id != RC_N_DataType || position == 0 || n->child == nullptr)
            continue;
        int16_t type = rcPrsConvertTypeCode(n->child->text);
        if (type == 0)
            return rcErrRaise(errors, RC_MSG_SYNTAX_ERROR);
        uint32_t len = 0;
        for (rcParseNode *c = n->child; c != nullptr; c = c->next)
            if (c->id == RC_N_Length && c->child != nullptr)
                len = static_cast<uint32_t>(std::strtoul(c->child->text, nullptr, 10));
        if (len == 0)
            len = src->FixedLength(type);
        if (declared->size() < position)
            declared->resize(position);
        rcSemTypeInfo t{type, len};
        if (type == SQL_DECIMAL || type == SQL_NUMERIC)
            t = rcSemTypeInfo{type, len, static_cast<uint16_t>(len)};
        (*declared)[position - 1] = t;
    }
    return 0;
}

} // namespace

bool rcSemIsNumeric(int16_t t)
{
    switch (t) {
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE:
    case RC_SQL_SCALED64:
    case RC_SQL_DECIMAL38:
    case kTinyintUnsigned:
    case SQL_TINYINT:
    case SQL_BIGINT:
    case SQL_NUMERIC:
    case SQL_DECIMAL: return true;
    default: return false;
    }
}

bool rcSemIsChar(int16_t t) { return t == kChar || t == kVarchar || t == kLongvarchar; }
bool rcSemIsBinary(int16_t t)
{
    return t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY;
}

bool rcSemTypesCompatible(int16_t a, int16_t b)
{
    if (rcSemIsBinary(a) || rcSemIsBinary(b))
        return false;
    if (a == b || (rcSemIsNumeric(a) && rcSemIsNumeric(b)) || (rcSemIsChar(a) && rcSemIsChar(b)))
        return true;
    auto charLike = [](int16_t t) { return t == kChar || t == kVarchar; };
    auto dateLike = [](int16_t t) {
        return t == SQL_DATE || t == SQL_TIME || t == SQL_TIMESTAMP || t == RC_SQL_DECIMAL38;
    };
    return (charLike(a) && dateLike(b)) || (dateLike(a) && charLike(b));
}

uint32_t rcSemCheckCompare(rcSemTypeInfo *l, rcSemTypeInfo *r, const char *op)
{
    if (rcSemIsBinary(l->sqlType) || rcSemIsBinary(r->sqlType))
        return RC_ENG_CANNOT_COMPARE_BINARY_DATA_TYPE;
    if (!rcSemTypesCompatible(l->sqlType, r->sqlType)) {
        bool eq =
            std::strcmp(op, "=") == 0 || std::strcmp(op, "<>") == 0 || std::strcmp(op, "IN") == 0;
        bool bitNum = (l->sqlType == SQL_BIT && rcSemIsNumeric(r->sqlType)) ||
                      (r->sqlType == SQL_BIT && rcSemIsNumeric(l->sqlType));
        bool dateTs = (l->sqlType == SQL_DATE && r->sqlType == SQL_TIMESTAMP) ||
                      (l->sqlType == SQL_TIMESTAMP && r->sqlType == SQL_DATE);
        if (!(bitNum && eq) && !dateTs)
            return RC_ENG_INCOMPATIBLE_TYPES_PREDICATE;
    }
    if (l->sqlType == kLongvarchar && r->sqlType == kChar)
        r->sqlType = kVarchar;
    else if (r->sqlType == kLongvarchar && l->sqlType == kChar)
        l->sqlType = kVarchar;
    return 0;
}

bool rcSemIsReservedName(const char *name)
{
    static const char *const kNames[] = {"con",  "nul",  "prn",  "com1", "com2",
                                         "com3", "com4", "LPT1", "LPT2", "LPT3"};
    for (const char *n : kNames)
        if (PlatAsciiCaseCompare(n, name) == 0)
            return true;
    return false;
}

int rcFePostText(rcErrorQueue *errors, uint32_t msgId, uint32_t textId, const char *arg)
{
    const char *format = rcResFind(textId);
    std::string text;
    if (format == nullptr) {
        text = arg != nullptr ? arg : "";
    } else if (arg == nullptr) {
        text = format;
    } else {
        int n = std::snprintf(nullptr, 0, format, arg);
        text.resize(n > 0 ? static_cast<size_t>(n) : 0);
        std::snprintf(text.data(), text.size() + 1, format, arg);
    }
    rcErrPost(errors, msgId, nullptr, 0, text.c_str());
    return -1;
}

rcSemTypeInfo *rcSemNewType(rcPrepared *prep, const rcSemTypeInfo &type)
{
    prep->types.push_back(type);
    return &prep->types.back();
}

int rcSemCheckStatement(rcPrepared *prep, rcErrorQueue *errors)
{
    Checker ck{prep, errors, prep->source, {}};
    rcParseNode *root = prep->root;
    // What the grammar accepts but the engine does not run (DISTINCT inside a
    // set function, privileges, ALTER ...) stops the statement first.
    if (rcChkUnsupported(errors, root) != 0)
        return -1;
    uint32_t counter = 0;
    NumberParams(root, &counter);
    prep->params.clear();
    prep->params.resize(counter);

    for (rcParseNode *s = root->next; s != nullptr; s = s->next)
        if (s->id == RC_N_ParamTypeList &&
            ReadDeclaredTypes(prep->source, s, &ck.declared, errors) != 0)
            return -1;

    if (rcTblOpenAll(prep, errors) != 0)
        return -1;
    if (prep->kind == 9) // CREATE TABLE: nothing more to check
        return 0;
    if (rcSemExtPredicates(prep, errors) != 0)
        return -1;
    if (prep->kind == 100) {
        if (rcSelExpandStars(prep, errors) != 0 || rcSelCheckParams(root, errors) != 0)
            return -1;
    }

    int r = 0;
    switch (root->id) {
    case RC_N_InsertStmt: r = ck.WalkInsert(root); break;
    case RC_N_UpdateStmt: r = ck.WalkUpdate(root, nullptr); break;
    case RC_N_DeleteStmt: {
        Scope scope;
        rcParseNode *t = Checker::ChildOf(root, RC_N_TableName);
        if (t != nullptr && t->sem != nullptr)
            scope.tables.push_back(static_cast<rcTblEntry *>(t->sem));
        r = ck.Walk(root->child, &scope);
        break;
    }
    case RC_N_SubSelectStmt: r = ck.WalkBlock(root, nullptr); break;
    default: r = ck.Walk(root->child, nullptr); break;
    }
    // ORDER BY of a query: in the scope of its first select block.
    if (r == 0 && prep->kind == 100 && root->next != nullptr &&
        root->next->id == RC_N_OrderBy_Opt) {
        rcParseNode *first = root;
        while (first != nullptr && first->id != RC_N_SubSelectStmt)
            first = first->child;
        Scope scope;
        if (first != nullptr)
            ck.CollectTables(Checker::ChildOf(first, RC_N_TableRefList), &scope);
        r = ck.Walk(root->next->child, &scope);
    }
    if (r != 0)
        return -1;
    if (ck.CheckKeyTypes(root->child) != 0 ||
        (root->next != nullptr && ck.CheckKeyTypes(root->next) != 0))
        return -1;
    // Declared types win over the types the parameters met.
    for (uint32_t i = 0; i < ck.declared.size() && i < prep->params.size(); ++i)
        if (ck.declared[i].sqlType != 0)
            ck.DescribeParam(i, ck.declared[i]);
    for (const rcParamDesc &d : prep->params)
        if (d.sqlType == 0)
            return rcErrRaise(errors, RC_ENG_UNABLE_DETERMINE_DYNAMIC_PARAMETER_TYPE);
    return 0;
}
