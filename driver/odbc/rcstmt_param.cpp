// Parameter bindings and the checks before an execution (see
// rcstmt_param.h): SQLBindParameter, SQLSetParam, SQLParamOptions, and the
// rows of an execution, each checked, handed to the engine (rcPrm*) and run.
#include "driver/odbc/rcstmt_param.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "driver/core/rccnv.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcstrings.h"
#include "driver/core/rctrace.h"
#include "driver/engine/exec/rcexeprm.h"
#include "driver/engine/rcstmt.h"
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcstmt_api.h"
#include "driver/odbc/rctranslate.h"
#include "driver/odbc/rctypecat.h"

namespace {

bool IsDataAtExec(int64_t ind)
{
    return ind == SQL_DATA_AT_EXEC || ind <= SQL_LEN_DATA_AT_EXEC_OFFSET;
}

bool ProducesResult(const rcStmtHandle *s) { return s->prep.kind >= 100 && s->prep.kind < 4096; }

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

// The SQL types whose length a precision does not limit.
bool PrecisionFree(int16_t t)
{
    switch (t) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_DATE:
    case SQL_TIME: return true;
    default: return false;
    }
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

// The engine's type check of every bound parameter: 0, or -1 posted.
int16_t CheckParams(rcStmtHandle *s, rcParamState *st, uint16_t count)
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

// Checks the row's bindings: -1 after posting, 99 when a parameter's value
// comes at execution, else 0.
int16_t PrepareParams(rcStmtHandle *s, rcParamState *st, uint16_t count)
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

// Hands every bound value of the row to the engine: 0, 1 (a value was cut),
// -1 posted.
int16_t SendParams(rcStmtHandle *s, rcParamState *st, uint16_t count)
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

} // namespace

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

void rcStmtParamFree(rcStmtHandle *s)
{
    delete s->params;
    s->params = nullptr;
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

SQLRETURN rcStmtParamRunRows(rcStmtHandle *s, bool resume)
{
    rcParamState *st = s->params;
    uint16_t count = s->engine->paramCount;
    uint32_t rows = s->paramRows > 0 ? s->paramRows : 1;
    for (; st->row < rows; ++st->row) {
        if (!resume) {
            if (s->paramRowPointer != nullptr)
                *s->paramRowPointer = st->row + 1;
            if (CheckParams(s, st, count) != 0)
                return SQL_ERROR;
            int16_t r = PrepareParams(s, st, count);
            if (r < 0)
                return SQL_ERROR;
            if (r == 99) {
                st->dataState = RC_DAE_WAITING;
                return SQL_NEED_DATA;
            }
        }
        resume = false;
        int16_t sent = SendParams(s, st, count);
        if (sent < 0)
            return SQL_ERROR;
        SQLRETURN rc = rcStmtRunPrepared(s);
        if (rc == SQL_ERROR)
            return SQL_ERROR;
        st->rowCount += s->rowCount;
        st->warned = st->warned || sent == 1 || rc == SQL_SUCCESS_WITH_INFO;
    }
    s->rowCount = st->rowCount;
    return st->warned ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

SQLRETURN rcStmtExecuteParams(rcStmtHandle *s)
{
    uint16_t count = s->engine->paramCount;
    if (count == 0)
        return rcStmtRunPrepared(s);
    rcParamState *st = rcStmtParamState(s);
    if (st == nullptr)
        return SQL_ERROR;
    st->current = kRcNoParam;
    st->dataState = RC_DAE_NONE;
    st->row = 0;
    st->rowCount = 0;
    st->warned = false;
    if (s->paramRows > 1 && ProducesResult(s)) {
        rcErrPost(&s->errors, RC_MSG_DRIVER_NOT_CAPABLE, nullptr, 0,
                  "A query takes one row of parameter values.");
        return SQL_ERROR;
    }
    if (rcPrmSetExpected(s->engine, s->prep.root, count) != 0)
        return SQL_ERROR;
    SQLRETURN rc = rcStmtParamRunRows(s, false);
    if (rc != SQL_NEED_DATA)
        st->dataState = RC_DAE_NONE;
    return rc;
}

SQLRETURN SQLBindParameterImpl(rcStmtHandle *s, SQLUSMALLINT ipar, SQLSMALLINT fParamType,
                               SQLSMALLINT fCType, SQLSMALLINT fSqlType, SQLULEN cbColDef,
                               SQLSMALLINT ibScale, SQLPOINTER rgbValue, SQLLEN cbValueMax,
                               SQLLEN *pcbValue)
{
    rcConn *conn = s->conn;
    rcTraceCall(conn->odbcTrace,
                "SQLBindParameter(0x%08lx, %u, %d, %d, %d, %lu, %d, 0x%08lx, %lu, 0x%08lx)",
                rcStmtAddr(s), ipar, fParamType, fCType, fSqlType,
                static_cast<unsigned long>(cbColDef), ibScale, rcStmtAddr(rgbValue),
                static_cast<unsigned long>(cbValueMax), rcStmtAddr(pcbValue));
    rcErrClearQueue(&s->errors);
    const char *name = "SQLBindParameter";
    // Unicode types hold what their character types hold: the engine's text
    // is Windows-1252 either way.
    if (fSqlType == SQL_WCHAR || fSqlType == SQL_WVARCHAR || fSqlType == SQL_WLONGVARCHAR)
        fSqlType = fSqlType == SQL_WCHAR      ? int16_t{SQL_CHAR}
                   : fSqlType == SQL_WVARCHAR ? int16_t{SQL_VARCHAR}
                                              : int16_t{SQL_LONGVARCHAR};
    if (ipar == 0)
        return rcStmtDone(s, name, rcStmtRaise(s, RC_MSG_INVALID_PARAMETER_NUMBER));
    uint16_t index = 0;
    if (!rcTypHasSqlType(conn, fSqlType) ||
        rcTypFindBest(conn, 1, fSqlType, static_cast<int32_t>(cbColDef), &index) != 0)
        return rcStmtDone(s, name, rcStmtRaise(s, RC_MSG_DRIVER_NOT_CAPABLE));
    const rcTypeEntry *e = rcTypEntry(conn, index);
    if (fSqlType == SQL_DECIMAL || fSqlType == SQL_NUMERIC) {
        int16_t maxScale = e->maxScale < e->minScale ? e->minScale : e->maxScale;
        if (ibScale < e->minScale || ibScale > maxScale)
            return rcStmtDone(s, name, rcStmtRaise(s, RC_MSG_INVALID_SCALE_VALUE));
    }
    uint64_t precision = cbColDef != 0 ? cbColDef : e->precision;
    if (!PrecisionFree(fSqlType) && rcStmtParamEntry(conn, fSqlType, precision) == nullptr)
        return rcStmtDone(s, name, rcStmtRaise(s, RC_MSG_INVALID_PRECISION_VALUE));
    int16_t cType = fCType;
    if (cType == SQL_C_DEFAULT)
        cType = rcTypCTypeAt(conn, index);
    if (!rcCnvCanConvert(cType == SQL_C_WCHAR ? int16_t{SQL_C_CHAR} : cType, 0, fSqlType))
        return rcStmtDone(s, name, rcStmtRaise(s, RC_MSG_RESTRICTED_DATA_TYPE_ATTRIBUTE_VIOLATION));
    rcParamState *st = rcStmtParamState(s);
    if (st == nullptr)
        return rcStmtDone(s, name, SQL_ERROR);
    try {
        if (st->bindings.size() < ipar)
            st->bindings.resize(ipar);
    } catch (const std::bad_alloc &) {
        return rcStmtDone(s, name, rcStmtRaise(s, RC_MSG_MEMORY_ALLOCATION_ERROR));
    }
    // A new record: what the parameter collected before is dropped.
    rcParamBinding &b = st->bindings[ipar - 1];
    b = rcParamBinding{};
    b.number = ipar;
    b.paramType = static_cast<uint16_t>(fParamType);
    b.cType = cType;
    b.sqlType = fSqlType;
    b.precision = precision;
    b.scale = ibScale;
    b.bufferLength = cbValueMax;
    b.indicator = pcbValue;
    b.appValue = rgbValue;
    b.value = rgbValue;
    b.flags = RC_PARAM_BOUND;
    return rcStmtDone(s, name, SQL_SUCCESS);
}

SQLRETURN SQLSetParamImpl(rcStmtHandle *s, SQLUSMALLINT ipar, SQLSMALLINT fCType,
                          SQLSMALLINT fSqlType, SQLULEN cbColDef, SQLSMALLINT ibScale,
                          SQLPOINTER rgbValue, SQLLEN *pcbValue)
{
    return SQLBindParameterImpl(s, ipar, SQL_PARAM_INPUT_OUTPUT, fCType, fSqlType, cbColDef,
                                ibScale, rgbValue, SQL_SETPARAM_VALUE_MAX, pcbValue);
}

SQLRETURN SQLParamOptionsImpl(rcStmtHandle *s, SQLULEN crow, SQLULEN *pirow)
{
    rcTraceCall(s->conn->odbcTrace, "SQLParamOptions(0x%08lx, %lu, 0x%08lx)", rcStmtAddr(s),
                static_cast<unsigned long>(crow), rcStmtAddr(pirow));
    rcErrClearQueue(&s->errors);
    if (crow == 0 || crow > UINT32_MAX)
        return rcStmtDone(s, "SQLParamOptions", rcStmtRaise(s, RC_MSG_ROW_VALUE_WAS_OUT_RANGE));
    s->paramRows = static_cast<uint32_t>(crow);
    s->paramRowPointer = pirow;
    return rcStmtDone(s, "SQLParamOptions", SQL_SUCCESS);
}
