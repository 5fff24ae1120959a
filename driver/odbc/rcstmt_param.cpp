// Parameter values of an execution (see rcstmt_param.h): the rows of the
// bindings, each checked, converted and handed to the engine (rcPrm*).
#include "driver/odbc/rcstmt_param.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "driver/core/rccnv.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcstrings.h"
#include "driver/engine/exec/rcexeprm.h"
#include "driver/engine/rcstmt.h"
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcstmt_handle.h"
#include "driver/odbc/rctranslate.h"
#include "driver/odbc/rctypecat.h"

namespace {

bool IsDataAtExec(int64_t ind)
{
    return ind == SQL_DATA_AT_EXEC || ind <= SQL_LEN_DATA_AT_EXEC_OFFSET;
}

// Posts msgId with a string-table text that names the parameter; -1.
int16_t PostNumbered(rcStmtHandle *s, uint32_t msgId, uint32_t textId, uint32_t number)
{
    char text[256];
    std::snprintf(text, sizeof text, rcUtlLoadString(textId), static_cast<int>(number));
    rcErrPost(&s->errors, msgId, nullptr, 0, text);
    return -1;
}

int16_t PostText(rcStmtHandle *s, uint32_t msgId, uint32_t textId)
{
    rcErrPost(&s->errors, msgId, nullptr, 0, rcUtlLoadString(textId));
    return -1;
}

// The row's value address and indicator of a binding (parameter arrays:
// one element per row; character and binary elements are cbValueMax apart).
const void *RowValue(const rcParamBinding &b, uint32_t row)
{
    if (b.appValue == nullptr || row == 0)
        return b.appValue;
    int64_t stride = rcCnvCFixedSize(b.cType);
    if (stride == 0)
        stride = b.bufferLength > 0 ? b.bufferLength : 0;
    return static_cast<const char *>(b.appValue) + stride * row;
}

SQLLEN *RowIndicator(const rcParamBinding &b, uint32_t row)
{
    return b.indicator != nullptr ? b.indicator + row : nullptr;
}

// Bytes of a UTF-16 text up to its zero unit.
int64_t WideLength(const void *value)
{
    const auto *p = static_cast<const unsigned char *>(value);
    int64_t n = 0;
    while (p[n] != 0 || p[n + 1] != 0)
        n += 2;
    return n;
}

// The byte length of the row's value; -1 after posting.
int16_t ComputeLength(rcStmtHandle *s, rcParamBinding *b, const SQLLEN *ind)
{
    if (b->isNull) {
        b->length = 0;
        return 0;
    }
    bool atExec = (b->flags & RC_PARAM_AT_EXEC) != 0;
    if (b->cType == SQL_C_BINARY) {
        if (atExec)
            b->length = b->collectedLength;
        else if (ind != nullptr && *ind >= 0)
            b->length = *ind;
        else
            return PostText(s, RC_MSG_INVALID_STRING_BUFFER_LENGTH,
                            RC_TXT_INVALID_VALUE_STORED_PCBVALUE);
        return 0;
    }
    bool wide = b->cType == SQL_C_WCHAR;
    if (b->cType != SQL_C_CHAR && !wide) {
        b->length = rcCnvCFixedSize(b->cType);
        return 0;
    }
    if (atExec)
        b->length = b->collectedLength;
    else if ((ind == nullptr || *ind == SQL_NTS) && b->value == nullptr)
        b->length = 0;
    else if ((ind == nullptr || *ind == SQL_NTS) && wide)
        b->length = WideLength(b->value);
    else if (ind == nullptr || *ind == SQL_NTS)
        b->length = static_cast<int64_t>(std::strlen(static_cast<const char *>(b->value)));
    else if (*ind >= 0)
        b->length = *ind;
    return 0;
}

// Text the application gives in its own encoding (UTF-16, or through the
// translation library) becomes the driver's Windows-1252 in the binding's
// own buffer, which the engine then reads: -1 after posting a character
// the code page lacks.
int16_t TranslateValue(rcStmtHandle *s, rcParamBinding *b)
{
    if (b->isNull || b->value == nullptr || !rcParamTranslated(s->conn, *b))
        return 0;
    rcXlateMode mode = b->cType == SQL_C_WCHAR ? RC_XLATE_WIDE : RC_XLATE_LIBRARY;
    if (!rcXlateFromApp(s->conn, &s->errors, mode, b->value, b->length, &b->text))
        return -1;
    b->value = b->text.c_str();
    b->length = static_cast<int64_t>(b->text.size());
    return 0;
}

// A character value longer than the precision it was bound with; -1.
int16_t CheckCharLength(rcStmtHandle *s, const rcParamBinding &b, const SQLLEN *ind)
{
    if (!rcCnvBothChar(rcParamEngineCType(b), b.sqlType) || ind == nullptr)
        return 0;
    int64_t v = *ind;
    if (!(v >= 1 || v == SQL_NTS || IsDataAtExec(v)))
        return 0;
    if (b.length > static_cast<int64_t>(b.precision))
        return rcStmtParamTooLong(s, b.number);
    return 0;
}

int16_t EngineType(const rcStmtHandle *s, int16_t sqlType)
{
    int16_t t = 0;
    return rcTypEngineTypeOf(s->conn, sqlType, &t) == 0 && t != 0 ? t : sqlType;
}

} // namespace

int16_t rcStmtParamCheckRow(rcStmtHandle *s, rcParamState *st, uint16_t count)
{
    for (uint16_t i = 0; i < count && i < st->bindings.size(); ++i) {
        const rcParamBinding &b = st->bindings[i];
        if (!(b.flags & RC_PARAM_BOUND))
            continue;
        // A NULL is NULL in every type.
        const SQLLEN *ind = RowIndicator(b, st->row);
        if (ind != nullptr && *ind == SQL_NULL_DATA)
            continue;
        if (rcPrmCheckData(s->engine, i, rcParamEngineCType(b), EngineType(s, b.sqlType)) != 0)
            return -1;
    }
    return 0;
}

int16_t rcStmtParamPrepareRow(rcStmtHandle *s, rcParamState *st, uint16_t count)
{
    st->current = kRcNoParam;
    bool failed = false, needData = false;
    for (uint16_t i = 0; i < count; ++i) {
        if (i >= st->bindings.size() || !(st->bindings[i].flags & RC_PARAM_BOUND)) {
            PostNumbered(s, RC_MSG_VARIABLE_PARAMETER_NOT_SET,
                         RC_TXT_SQLBINDPARAMETER_HAS_NOT_CALLED_PARAMETER, i + 1u);
            failed = true;
            continue;
        }
        rcParamBinding &b = st->bindings[i];
        b.isNull = false;
        b.flags = RC_PARAM_BOUND;
        b.value = RowValue(b, st->row);
        const SQLLEN *ind = RowIndicator(b, st->row);
        int64_t v = ind != nullptr ? *ind : 0;
        if (ind != nullptr && IsDataAtExec(v)) {
            if (rcPrmCheckData(s->engine, i, rcParamEngineCType(b), EngineType(s, b.sqlType)) != 0)
                return -1;
            b.flags |= RC_PARAM_AT_EXEC;
            b.collectedLength = 0;
            b.collectedNull = false;
            needData = true;
        }
        if (b.cType == SQL_C_CHAR || b.cType == SQL_C_WCHAR)
            b.flags |= RC_PARAM_CHARACTER;
        bool atExec = (b.flags & RC_PARAM_AT_EXEC) != 0;
        bool variable = b.cType == SQL_C_CHAR || b.cType == SQL_C_WCHAR || b.cType == SQL_C_BINARY;
        if (b.value == nullptr && !atExec) {
            bool fine = ind != nullptr &&
                        (v == SQL_NULL_DATA || v == SQL_DEFAULT_PARAM || (v == 0 && variable));
            if (!fine)
                return PostText(s, RC_MSG_INVALID_STRING_BUFFER_LENGTH,
                                RC_TXT_SQLBINDPARAMETER_PCBVALUE_MUST_EQUAL_SQL);
        }
        if (variable && ind != nullptr && v < 0 && v != SQL_NTS && v != SQL_NULL_DATA &&
            v != SQL_DEFAULT_PARAM && !atExec)
            return PostText(s, RC_MSG_INVALID_STRING_BUFFER_LENGTH,
                            RC_TXT_INVALID_VALUE_STORED_PCBVALUE);
        if (ind != nullptr && v == SQL_NULL_DATA)
            b.isNull = true;
        if (b.paramType != SQL_PARAM_OUTPUT && !atExec &&
            (ComputeLength(s, &b, ind) != 0 || TranslateValue(s, &b) != 0))
            return -1;
        if (!atExec && CheckCharLength(s, b, ind) != 0)
            return -1;
    }
    if (failed)
        return -1;
    return needData ? 99 : 0;
}

int16_t rcStmtParamSendRow(rcStmtHandle *s, rcParamState *st, uint16_t count)
{
    int16_t result = 0;
    for (uint16_t i = 0; i < count && i < st->bindings.size(); ++i) {
        rcParamBinding &b = st->bindings[i];
        if (!(b.flags & RC_PARAM_BOUND))
            continue;
        const SQLLEN *ind = RowIndicator(b, st->row);
        rcPrmBinding pb;
        pb.bufferLength = b.bufferLength;
        if (b.flags & RC_PARAM_AT_EXEC) {
            b.isNull = b.collectedNull;
            b.value = b.collectedNull ? nullptr : b.collected.data();
            if (ComputeLength(s, &b, ind) != 0 || TranslateValue(s, &b) != 0 ||
                CheckCharLength(s, b, ind) != 0)
                return -1;
            // The collected value is the whole value: no buffer length applies.
            pb.bufferLength = 0;
            pb.indicator = b.isNull ? SQL_NULL_DATA : b.length;
        } else if (!b.isNull && rcParamTranslated(s->conn, b)) {
            // The converted text is the whole value.
            pb.bufferLength = 0;
            pb.indicator = b.length;
        } else {
            pb.indicator = b.isNull ? SQL_NULL_DATA : ind != nullptr ? *ind : 0;
        }
        pb.cType = rcParamEngineCType(b);
        pb.sqlType = EngineType(s, b.sqlType);
        pb.scale = b.scale;
        pb.paramType = b.paramType;
        pb.value = b.isNull ? nullptr : b.value;
        pb.length = b.length;
        int16_t r = rcPrmPutData(s->engine, i, pb);
        if (r < 0)
            return -1;
        if (r == 1)
            result = 1;
    }
    return result;
}

bool rcParamTranslated(const rcConn *conn, const rcParamBinding &b)
{
    return b.cType == SQL_C_WCHAR ||
           (b.cType == SQL_C_CHAR && rcXlateLoaded(conn) && rcXlateIsText(b.sqlType));
}

const rcTypeEntry *rcStmtParamEntry(rcConn *conn, int16_t sqlType, uint64_t precision)
{
    uint16_t index = 0;
    if (rcTypFindBest(conn, 1, sqlType, static_cast<int32_t>(precision), &index) != 0)
        return nullptr;
    const rcTypeEntry *e = rcTypEntry(conn, index);
    if (static_cast<int64_t>(precision) <= static_cast<int64_t>(e->precision))
        return e;
    // Clients bind every text as VARCHAR with its own length: a length the
    // long type of the family holds is taken.
    int16_t longType = rcCnvIsCharType(sqlType)     ? SQL_LONGVARCHAR
                       : rcCnvIsBinaryType(sqlType) ? SQL_LONGVARBINARY
                                                    : 0;
    if (longType == 0 || longType == sqlType ||
        rcTypFindBest(conn, 1, longType, static_cast<int32_t>(precision), &index) != 0)
        return nullptr;
    e = rcTypEntry(conn, index);
    return static_cast<int64_t>(precision) <= static_cast<int64_t>(e->precision) ? e : nullptr;
}

int16_t rcStmtParamTooLong(rcStmtHandle *s, uint32_t number)
{
    return PostNumbered(s, RC_MSG_CHARACTER_DATA_RIGHT_TRUNCATION,
                        RC_TXT_STRING_LENGTH_EXCEEDS_COLUMN_LENGTH, number);
}

rcParamState *rcStmtParamState(rcStmtHandle *s)
{
    if (s->params == nullptr) {
        s->params = new (std::nothrow) rcParamState;
        if (s->params == nullptr)
            rcStmtRaise(s, RC_MSG_MEMORY_ALLOCATION_ERROR);
    }
    return s->params;
}

void rcStmtParamReset(rcStmtHandle *s)
{
    if (s->params == nullptr)
        return;
    for (rcParamBinding &b : s->params->bindings)
        b.flags = static_cast<uint16_t>(b.flags & ~RC_PARAM_BOUND);
}

bool rcStmtParamNeedsData(const rcStmtHandle *s)
{
    return s->params != nullptr &&
           (s->params->dataState == RC_DAE_WAITING || s->params->dataState == RC_DAE_REQUESTED);
}

void rcStmtParamCancel(rcStmtHandle *s)
{
    rcParamState *st = s->params;
    if (st == nullptr)
        return;
    if (st->dataState == RC_DAE_WAITING || st->dataState == RC_DAE_REQUESTED) {
        // Nothing reached the engine yet: dropping the pieces is the whole
        // of cancelling.
        for (rcParamBinding &b : st->bindings) {
            b.collectedLength = 0;
            b.collectedNull = false;
            b.flags = static_cast<uint16_t>(b.flags & RC_PARAM_BOUND);
        }
    }
    st->dataState = RC_DAE_NONE;
    st->current = kRcNoParam;
    st->row = 0;
}
