// The workers of the parameter functions (see rcstmt_param.h):
// SQLBindParameter, SQLSetParam and SQLParamOptions keep the bindings;
// the data-at-execution dialogue: SQLParamData names each parameter whose
// value comes at execution and, after the last one, runs the row; SQLPutData
// collects the pieces of the named parameter.
//
// Pieces are appended to the binding's own buffer whatever their length (a
// length is never cut to 16 bits); the total is limited by the parameter's
// type: the smaller of its precision and the type's octet length for
// character and binary data (the whole octet length for DECIMAL and NUMERIC),
// refused with 22001 beyond it, and 2,000,000,000 bytes for any value.
#include "driver/odbc/rcodbc_impl.h"

#include <cstring>
#include <new>

#include "driver/core/rccnv.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rctrace.h"
#include "driver/engine/rcstmt.h"
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcentry.h"
#include "driver/odbc/rcinfo.h"
#include "driver/odbc/rcstmt_exec.h"
#include "driver/odbc/rcstmt_param.h"
#include "driver/odbc/rctypecat.h"

namespace {

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

bool IsDataAtExec(const rcParamBinding &b) { return (b.flags & RC_PARAM_AT_EXEC) != 0; }

// The next parameter after the current one whose value comes at execution;
// kRcNoParam when none is left.
uint32_t NextDataParam(const rcStmtHandle *s, const rcParamState *st)
{
    uint32_t count = rcStmtParamCount(s);
    uint32_t from = st->current == kRcNoParam ? 0 : st->current + 1;
    for (uint32_t i = from; i < count && i < st->bindings.size(); ++i)
        if ((st->bindings[i].flags & RC_PARAM_BOUND) && IsDataAtExec(st->bindings[i]))
            return i;
    return kRcNoParam;
}

bool IsExactNumeric(int16_t t) { return t == SQL_DECIMAL || t == SQL_NUMERIC; }

// Whether the data source wants the length of long data with the binding
// (SQL_NEED_LONG_DATA_LEN answers "Y").
bool NeedsLongDataLength(rcConn *conn)
{
    uintptr_t value = 0;
    rcInfoKind kind = RC_INFO_TEXT;
    if (rcDrsGetInfo(conn, SQL_NEED_LONG_DATA_LEN, &value, &kind) != 0 || kind != RC_INFO_TEXT ||
        value == 0)
        return false;
    const char *answer = reinterpret_cast<const char *>(value);
    return answer[0] == 'Y' || answer[0] == 'y';
}

// The most bytes the parameter takes: -1 when its type sets no limit.
int64_t LimitOf(rcStmtHandle *s, const rcParamBinding &b, const SQLLEN *ind)
{
    // Translated text is measured once it is converted (rcstmt_param.cpp).
    if ((b.cType != SQL_C_CHAR && b.cType != SQL_C_BINARY) || rcParamTranslated(s->conn, b))
        return -1;
    int16_t t = b.sqlType;
    if (!rcCnvIsCharType(t) && !rcCnvIsBinaryType(t) && !IsExactNumeric(t))
        return -1;
    const rcTypeEntry *e = rcStmtParamEntry(s->conn, t, b.precision);
    if (e == nullptr)
        return -1;
    if (NeedsLongDataLength(s->conn)) {
        if (ind == nullptr)
            return -1;
        return *ind <= SQL_LEN_DATA_AT_EXEC_OFFSET ? SQL_LEN_DATA_AT_EXEC_OFFSET - *ind : *ind;
    }
    int64_t octets = e->octetLength;
    if (IsExactNumeric(t))
        return octets;
    int64_t precision = static_cast<int64_t>(b.precision);
    return precision < octets ? precision : octets;
}

} // namespace

SQLRETURN SQLParamDataImpl(rcStmtHandle *s, SQLPOINTER *prgbValue)
{
    rcCall call(s, "SQLParamData", 0, "SQLParamData(0x%08lx, 0x%08lx)", rcStmtAddr(s),
                rcStmtAddr(prgbValue));
    rcParamState *st = s->params;
    if (st == nullptr || !rcStmtParamNeedsData(s))
        return call.done(rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR));
    if (st->current != kRcNoParam && !(st->bindings[st->current].flags & RC_PARAM_PUT))
        return call.done(rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR));
    uint32_t next = NextDataParam(s, st);
    if (next != kRcNoParam) {
        rcParamBinding &b = st->bindings[next];
        st->current = next;
        b.collectedLength = 0;
        b.collectedNull = false;
        b.flags = static_cast<uint16_t>(b.flags & ~RC_PARAM_PUT);
        if (prgbValue != nullptr)
            *prgbValue = b.appValue;
        st->dataState = RC_DAE_REQUESTED;
        return call.done(SQL_NEED_DATA);
    }
    // Every value of the row is here: run it, then the rows after it.
    st->current = kRcNoParam;
    st->dataState = RC_DAE_NONE;
    SQLRETURN rc = rcStmtParamRunRows(s, true);
    if (rc == SQL_NEED_DATA)
        return call.done(rc);
    st->dataState = RC_DAE_NONE;
    return call.done(rc);
}

SQLRETURN SQLPutDataImpl(rcStmtHandle *s, SQLPOINTER rgbValue, SQLLEN cbValue)
{
    rcCall call(s, "SQLPutData", 0, "SQLPutData(0x%08lx, 0x%08lx, %ld)", rcStmtAddr(s),
                rcStmtAddr(rgbValue), static_cast<long>(cbValue));
    rcParamState *st = s->params;
    if (st == nullptr || st->dataState != RC_DAE_REQUESTED || st->current == kRcNoParam)
        return call.done(rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR));
    if (rgbValue != nullptr && cbValue < 0 && cbValue != SQL_NTS && cbValue != SQL_NULL_DATA)
        return call.done(rcStmtRaise(s, RC_MSG_INVALID_STRING_BUFFER_LENGTH));
    rcParamBinding &b = st->bindings[st->current];
    bool variable = b.cType == SQL_C_CHAR || b.cType == SQL_C_WCHAR || b.cType == SQL_C_BINARY;
    if ((b.flags & RC_PARAM_PUT) && !variable)
        return call.done(rcStmtRaise(s, RC_MSG_NUMERIC_VALUE_OUT_RANGE));
    if (b.collectedNull)
        return call.done(rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR));
    if (cbValue == SQL_NULL_DATA || (rgbValue == nullptr && cbValue == 0)) {
        // NULL: only as the whole value.
        if (b.collectedLength > 0)
            return call.done(rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR));
        b.collectedNull = true;
        b.flags |= RC_PARAM_PUT;
        return call.done(SQL_SUCCESS);
    }
    if (rgbValue == nullptr || (cbValue < 0 && cbValue != SQL_NTS))
        return call.done(rcStmtRaise(s, RC_MSG_INVALID_ARGUMENT_VALUE));
    int64_t piece = cbValue;
    if (!variable)
        piece = rcCnvCFixedSize(b.cType);
    else if (cbValue == SQL_NTS && b.cType == SQL_C_WCHAR)
        for (piece = 0; static_cast<const SQLWCHAR *>(rgbValue)[piece / 2] != 0;)
            piece += 2;
    else if (cbValue == SQL_NTS)
        piece = static_cast<int64_t>(std::strlen(static_cast<const char *>(rgbValue)));
    int64_t total = b.collectedLength + piece;
    if (total > kRcPutDataMax)
        return call.done(rcStmtRaise(s, RC_MSG_MAXIMUM_SQLPUTDATA_LENGTH_EXCEEDED));
    int64_t limit = LimitOf(s, b, b.indicator != nullptr ? b.indicator + st->row : nullptr);
    if (limit >= 0 && total > limit)
        return call.done(static_cast<SQLRETURN>(rcStmtParamTooLong(s, b.number)));
    bool character = (b.flags & RC_PARAM_CHARACTER) != 0;
    // One byte more: the NUL after character data, and an address even for
    // an empty binary value.
    size_t need = static_cast<size_t>(total) + 1;
    try {
        if (b.collected.size() < need)
            b.collected.resize(need);
    } catch (const std::bad_alloc &) {
        return call.done(rcStmtRaise(s, RC_MSG_MEMORY_ALLOCATION_ERROR));
    }
    if (piece > 0)
        std::memcpy(b.collected.data() + b.collectedLength, rgbValue, static_cast<size_t>(piece));
    if (character)
        b.collected[static_cast<size_t>(total)] = '\0';
    b.collectedLength = total;
    b.flags |= RC_PARAM_PUT;
    return call.done(SQL_SUCCESS);
}

SQLRETURN SQLBindParameterImpl(rcStmtHandle *s, SQLUSMALLINT ipar, SQLSMALLINT fParamType,
                               SQLSMALLINT fCType, SQLSMALLINT fSqlType, SQLULEN cbColDef,
                               SQLSMALLINT ibScale, SQLPOINTER rgbValue, SQLLEN cbValueMax,
                               SQLLEN *pcbValue)
{
    rcConn *conn = s->conn;
    rcCall call(s, "SQLBindParameter", 0,
                "SQLBindParameter(0x%08lx, %u, %d, %d, %d, %lu, %d, 0x%08lx, %lu, 0x%08lx)",
                rcStmtAddr(s), ipar, fParamType, fCType, fSqlType,
                static_cast<unsigned long>(cbColDef), ibScale, rcStmtAddr(rgbValue),
                static_cast<unsigned long>(cbValueMax), rcStmtAddr(pcbValue));
    // Unicode types hold what their character types hold: the engine's text
    // is Windows-1252 either way.
    if (fSqlType == SQL_WCHAR || fSqlType == SQL_WVARCHAR || fSqlType == SQL_WLONGVARCHAR)
        fSqlType = fSqlType == SQL_WCHAR      ? int16_t{SQL_CHAR}
                   : fSqlType == SQL_WVARCHAR ? int16_t{SQL_VARCHAR}
                                              : int16_t{SQL_LONGVARCHAR};
    if (ipar == 0)
        return call.done(rcStmtRaise(s, RC_MSG_INVALID_PARAMETER_NUMBER));
    uint16_t index = 0;
    if (!rcTypHasSqlType(conn, fSqlType) ||
        rcTypFindBest(conn, 1, fSqlType, static_cast<int32_t>(cbColDef), &index) != 0)
        return call.done(rcStmtRaise(s, RC_MSG_DRIVER_NOT_CAPABLE));
    const rcTypeEntry *e = rcTypEntry(conn, index);
    if (fSqlType == SQL_DECIMAL || fSqlType == SQL_NUMERIC) {
        int16_t maxScale = e->maxScale < e->minScale ? e->minScale : e->maxScale;
        if (ibScale < e->minScale || ibScale > maxScale)
            return call.done(rcStmtRaise(s, RC_MSG_INVALID_SCALE_VALUE));
    }
    uint64_t precision = cbColDef != 0 ? cbColDef : e->precision;
    if (!PrecisionFree(fSqlType) && rcStmtParamEntry(conn, fSqlType, precision) == nullptr)
        return call.done(rcStmtRaise(s, RC_MSG_INVALID_PRECISION_VALUE));
    int16_t cType = fCType;
    if (cType == SQL_C_DEFAULT)
        cType = rcTypCTypeAt(conn, index);
    if (!rcCnvCanConvert(cType == SQL_C_WCHAR ? int16_t{SQL_C_CHAR} : cType, 0, fSqlType))
        return call.done(rcStmtRaise(s, RC_MSG_RESTRICTED_DATA_TYPE_ATTRIBUTE_VIOLATION));
    rcParamState *st = rcStmtParamState(s);
    if (st == nullptr)
        return call.done(SQL_ERROR);
    try {
        if (st->bindings.size() < ipar)
            st->bindings.resize(ipar);
    } catch (const std::bad_alloc &) {
        return call.done(rcStmtRaise(s, RC_MSG_MEMORY_ALLOCATION_ERROR));
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
    return call.done(SQL_SUCCESS);
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
    rcCall call(s, "SQLParamOptions", 0, "SQLParamOptions(0x%08lx, %lu, 0x%08lx)", rcStmtAddr(s),
                static_cast<unsigned long>(crow), rcStmtAddr(pirow));
    if (crow == 0 || crow > UINT32_MAX)
        return call.done(rcStmtRaise(s, RC_MSG_ROW_VALUE_WAS_OUT_RANGE));
    s->paramRows = static_cast<uint32_t>(crow);
    s->paramRowPointer = pirow;
    return call.done(SQL_SUCCESS);
}
