// Dynamic parameters: descriptors, the type check and the conversion of a
// bound value into the type its marker expects (see rcexeprm.h).
//
// The conversion runs once per execution, when the ODBC layer hands the
// value over: numbers, dates and times land in the descriptor's value,
// texts and binary values in its buffer (with a NUL after them, as the
// expression programs expect of every text). The reader the programs call
// for each row only hands out that value.
#include "driver/engine/exec/rcexeprm.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "driver/core/rccnv.h"
#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcstrings.h"
#include "driver/engine/rcsem.h"
#include "driver/engine/rcstmt.h"
#include "driver/engine/tree/rcprssym.h"

namespace {

// Longest text a number, date or time converts to.
constexpr int32_t kNumberTextMax = 160;

rcPrmStore *Store(rcStmt *stmt) { return stmt->params.get(); }

// The release of the statement's parameter slot.
void FreeStore(rcPrmStore *store) { delete store; }

bool IsChar(int16_t t) { return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR; }
bool IsBinary(int16_t t) { return t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY; }
bool IsNumeric(int16_t t) { return rcExpIsNumericType(t) || t == SQL_C_UTINYINT; }
bool IsDateOrStamp(int16_t t) { return t == SQL_DATE || t == SQL_TIMESTAMP; }
bool IsDateTime(int16_t t) { return t == SQL_DATE || t == SQL_TIME || t == SQL_TIMESTAMP; }

// Posts msgId with a text naming the parameter ("... #%d.").
int16_t PostNumbered(rcStmt *stmt, uint32_t msgId, uint32_t textId, unsigned number)
{
    char text[256];
    std::snprintf(text, sizeof text, rcUtlLoadString(textId), number);
    rcErrPost(stmt->errors, msgId, nullptr, 0, text);
    return -1;
}

// One direction of the pairs that pass the type check.
bool PassesOneWay(int16_t a, int16_t b)
{
    if (a == SQL_BIT && b == SQL_CHAR)
        return true;
    if (IsDateOrStamp(a) && IsDateOrStamp(b))
        return true;
    if (a == RC_SQL_DECIMAL38 && IsNumeric(b))
        return true;
    if (IsNumeric(a) && (IsDateOrStamp(b) || IsNumeric(b)))
        return true;
    return IsDateTime(a) && a == b;
}

void SetExpected(rcPrmStore *store, const rcParseNode *n)
{
    for (; n != nullptr; n = n->next) {
        if (n->id == RC_N_ParamTypeList)
            continue;
        if (n->id == RC_N_DynamicParm && n->attr2 < store->list.size()) {
            rcPrmDescriptor &d = store->list[n->attr2];
            const auto *t = static_cast<const rcSemTypeInfo *>(n->sem);
            d.expectedType = t != nullptr ? t->sqlType : RC_PRM_UNTYPED;
            d.expectedPrecision = t != nullptr ? t->precision : 0;
            d.expectedScale = t != nullptr ? t->scale : 0;
        }
        SetExpected(store, n->child);
    }
}

// The buffer of a descriptor with room for n bytes and a NUL; null after
// posting 5136.
char *Room(rcStmt *stmt, rcPrmDescriptor *d, size_t n)
{
    try {
        if (d->buffer.size() < n + 1)
            d->buffer.resize(n + 1);
    } catch (const std::bad_alloc &) {
        rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR);
        return nullptr;
    }
    return d->buffer.data();
}

// The conversion target of an engine type, and the type the value carries.
int16_t TargetOf(int16_t type, int16_t *valueType)
{
    *valueType = type;
    switch (type) {
    case SQL_TINYINT:
    case SQL_C_UTINYINT: return SQL_C_UTINYINT;
    case SQL_NUMERIC:
    case SQL_DECIMAL: *valueType = RC_SQL_DECIMAL38; return RC_SQL_DECIMAL38;
    case SQL_FLOAT: return SQL_DOUBLE;
    default: return type;
    }
}

// rcCnvConvertValue's core code as the parameter's result: 0, 1 cut (01004
// with the parameter's number), -1 posted.
int16_t ConversionResult(rcStmt *stmt, const rcPrmDescriptor *d, int core)
{
    if (core == kCnvCoreOk)
        return 0;
    int32_t msg = rcCnvCodeToMsg(core);
    if (core == kCnvCoreTruncated) {
        PostNumbered(stmt, static_cast<uint32_t>(msg), RC_TXT_DATA_TRUNCATED_PARAMETER, d->number);
        return 1;
    }
    if (msg == 0)
        msg = RC_MSG_RESTRICTED_DATA_TYPE_ATTRIBUTE_VIOLATION;
    return PostNumbered(stmt, static_cast<uint32_t>(msg), RC_TXT_PARAMETER_NUMBER, d->number);
}

// Converts the binding's value into the descriptor as type target (an
// engine type). 0, 1 or -1.
int16_t Convert(rcStmt *stmt, rcPrmDescriptor *d, const rcPrmBinding &b, int16_t target)
{
    rcExpValue &v = d->value;
    int16_t valueType = target;
    int16_t dst = TargetOf(target, &valueType);
    v = rcExpValue();
    v.type = valueType;
    int16_t cType = b.cType;
    bool textSource = cType == SQL_C_CHAR || cType == SQL_C_BINARY;
    int32_t srcLen = 0;
    if (textSource) {
        if (b.length > INT32_MAX)
            return PostNumbered(stmt, RC_MSG_INVALID_STRING_BUFFER_LENGTH, RC_TXT_PARAMETER_NUMBER,
                                d->number);
        srcLen = static_cast<int32_t>(b.length);
    }
    int16_t precision = static_cast<int16_t>(stmt->numericPrecision ? stmt->numericPrecision : 38);
    int16_t scale = static_cast<int16_t>(stmt->numericPrecision ? stmt->numericScale : 4);
    int32_t outLen = 0;
    int core;
    if (IsChar(dst) || IsBinary(dst)) {
        bool toChar = IsChar(dst);
        // Texts to texts and bytes to bytes are copied whole.
        if ((toChar && cType == SQL_C_CHAR) || (!toChar && cType == SQL_C_BINARY)) {
            char *p = Room(stmt, d, static_cast<size_t>(srcLen));
            if (p == nullptr)
                return -1;
            if (srcLen > 0)
                std::memcpy(p, b.value, static_cast<size_t>(srcLen));
            p[srcLen] = '\0';
            v.text = p;
            v.length = static_cast<uint32_t>(srcLen);
            return 0;
        }
        int32_t cap = kNumberTextMax;
        if (textSource)
            cap = toChar ? srcLen * 2 + 1 : srcLen / 2 + 1;
        char *p = Room(stmt, d, static_cast<size_t>(cap));
        if (p == nullptr)
            return -1;
        // Text read as hexadecimal digits into bytes; anything else as text.
        core =
            rcCnvConvertValue(b.value, cType, srcLen, toChar ? 0 : 1, p,
                              toChar ? SQL_C_CHAR : SQL_C_BINARY, cap, precision, scale, &outLen);
        if (outLen > cap - (toChar ? 1 : 0))
            outLen = cap - (toChar ? 1 : 0);
        if (outLen < 0)
            outLen = 0;
        p[outLen] = '\0';
        v.text = p;
        v.length = static_cast<uint32_t>(outLen);
        return ConversionResult(stmt, d, core);
    }
    if (dst == SQL_BIGINT) {
        // BIGINT travels as numeric text: read it back as a 64-bit integer.
        char text[kNumberTextMax];
        core = rcCnvConvertValue(b.value, cType, srcLen, 0, text, SQL_C_CHAR, sizeof text,
                                 precision, 0, &outLen);
        if (core == kCnvCoreOk || core == kCnvCoreTruncated) {
            char *end = nullptr;
            v.v.i64 = std::strtoll(text, &end, 10);
            if (end == text || (*end != '\0' && *end != '.'))
                core = kCnvCoreAssignment;
        }
        return ConversionResult(stmt, d, core);
    }
    core = rcCnvConvertValue(b.value, cType, srcLen, 0, &v.v, dst, sizeof v.v, precision, scale,
                             &outLen);
    return ConversionResult(stmt, d, core);
}

} // namespace

int16_t rcPrmDescriptorAt(rcStmt *stmt, uint16_t index, rcPrmDescriptor **out)
{
    *out = nullptr;
    try {
        if (stmt->params == nullptr)
            stmt->params.hang(new rcPrmStore, &FreeStore);
        rcPrmStore *store = Store(stmt);
        if (store->list.size() <= index) {
            size_t from = store->list.size();
            store->list.resize(static_cast<size_t>(index) + 1);
            for (size_t i = from; i < store->list.size(); ++i)
                store->list[i].number = static_cast<uint16_t>(i + 1);
        }
        *out = &store->list[index];
        (*out)->flags &= static_cast<uint8_t>(~RC_PRM_PENDING);
        return 0;
    } catch (const std::bad_alloc &) {
        return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    }
}

int16_t rcPrmSetExpected(rcStmt *stmt, const rcParseNode *root, uint16_t count)
{
    rcPrmDescriptor *last = nullptr;
    if (count > 0 && rcPrmDescriptorAt(stmt, static_cast<uint16_t>(count - 1), &last) != 0)
        return -1;
    rcPrmStore *store = Store(stmt);
    if (store == nullptr)
        return 0;
    for (rcPrmDescriptor &d : store->list) {
        d.expectedType = RC_PRM_UNTYPED;
        d.expectedPrecision = 0;
        d.expectedScale = 0;
    }
    rcPrmNewExecution(stmt);
    store->count = count;
    SetExpected(store, root);
    return 0;
}

void rcPrmNewExecution(rcStmt *stmt)
{
    rcPrmStore *store = Store(stmt);
    if (store == nullptr)
        return;
    for (rcPrmDescriptor &d : store->list) {
        // A value of an earlier execution never stands for this one's.
        d.flags = RC_PRM_NO_VALUE;
        d.value = rcExpValue();
        d.value.isNull = 1;
    }
}

bool rcPrmTypesMatch(int16_t e, int16_t g)
{
    if (e == RC_PRM_UNTYPED || g == RC_PRM_UNTYPED)
        return true;
    // A long text takes a long text or a VARCHAR; a long text binding only
    // a long text.
    if (e == SQL_LONGVARCHAR && g != SQL_LONGVARCHAR && g != SQL_VARCHAR)
        return false;
    if (g == SQL_LONGVARCHAR && e != SQL_LONGVARCHAR)
        return false;
    if (rcCnvBothChar(e, g) || rcCnvBothBinary(e, g))
        return true;
    if (PassesOneWay(e, g) || PassesOneWay(g, e))
        return true;
    return e == g;
}

int16_t rcPrmCheckData(rcStmt *stmt, uint16_t index, int16_t, int16_t sqlType)
{
    rcPrmStore *store = Store(stmt);
    if (store == nullptr)
        return 0;
    if (index >= store->list.size())
        return -1;
    const rcPrmDescriptor &d = store->list[index];
    if (!rcPrmTypesMatch(d.expectedType, sqlType))
        return PostNumbered(stmt, RC_ENG_DYNAMIC_PARAMETER_TYPE_MISMATCH,
                            RC_TXT_DYNAMIC_PARAMETER_TYPE_MISMATCH, d.number);
    return 0;
}

int16_t rcPrmPutData(rcStmt *stmt, uint16_t index, const rcPrmBinding &b)
{
    rcPrmStore *store = Store(stmt);
    if (store == nullptr || index >= store->list.size())
        return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_INVALID_PARAMETER_NUMBER));
    rcPrmDescriptor *d = &store->list[index];
    if (b.scale < 0)
        return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_INVALID_SCALE_VALUE));
    // A NULL is NULL in every type: only a value is checked against the
    // type the statement expects.
    bool noValue =
        b.paramType == SQL_PARAM_OUTPUT || b.indicator == SQL_NULL_DATA || b.value == nullptr;
    if (!noValue && rcPrmCheckData(stmt, index, b.cType, b.sqlType) != 0)
        return -1;
    d->cType = b.cType;
    d->sqlType = b.sqlType;
    d->scale = b.scale;
    d->indicator = b.indicator;
    d->flags = 0;
    d->value = rcExpValue();
    // An output-only parameter gives the statement nothing.
    if (noValue) {
        d->flags = RC_PRM_NO_VALUE;
        d->value.type = d->expectedType != RC_PRM_UNTYPED ? d->expectedType : b.sqlType;
        d->value.isNull = 1;
        return 0;
    }
    if (b.cType == 0)
        return PostNumbered(stmt, RC_ENG_INCOMPATIBLE_TYPES_EXPRESSION, RC_TXT_PARAMETER_NUMBER,
                            d->number);
    // A length beyond the application's buffer, or a negative one that
    // stands for nothing, is refused rather than read past the buffer.
    bool variable = b.cType == SQL_C_CHAR || b.cType == SQL_C_BINARY;
    int64_t ind = b.indicator;
    bool dataAtExec = ind == SQL_DATA_AT_EXEC || ind <= SQL_LEN_DATA_AT_EXEC_OFFSET;
    if (variable && ind > 0 && b.bufferLength > 0 && ind > b.bufferLength)
        return PostNumbered(stmt, RC_MSG_INVALID_VARIABLE_PARAMETER,
                            RC_TXT_PCBVALUE_LENGTH_EXCEEDS_BUFFER_LENGTH, d->number);
    if (ind < 0 && ind != SQL_NTS && !dataAtExec)
        return PostNumbered(stmt, RC_MSG_INVALID_VARIABLE_PARAMETER, RC_TXT_PARAMETER_NUMBER,
                            d->number);
    if (b.length < 0)
        return PostNumbered(stmt, RC_MSG_INVALID_STRING_BUFFER_LENGTH, RC_TXT_PARAMETER_NUMBER,
                            d->number);
    int16_t target = d->expectedType != RC_PRM_UNTYPED ? d->expectedType : b.sqlType;
    return Convert(stmt, d, b, target);
}

int16_t rcPrmValue(void *ctx, uint32_t number, rcExpValue *out)
{
    auto *stmt = static_cast<rcStmt *>(ctx);
    rcPrmStore *store = Store(stmt);
    if (store == nullptr || number >= store->list.size() || number >= store->count)
        return PostNumbered(stmt, RC_MSG_VARIABLE_PARAMETER_NOT_SET,
                            RC_TXT_SQLBINDPARAMETER_HAS_NOT_CALLED_PARAMETER, number + 1);
    *out = store->list[number].value;
    return 0;
}

void rcPrmFreeAll(rcStmt *stmt) { stmt->params.release(); }
