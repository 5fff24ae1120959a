// The data-at-execution dialogue (see rcstmt_param.h): SQLParamData names
// each parameter whose value comes at execution and, after the last one,
// runs the row; SQLPutData collects the pieces of the named parameter;
// SQLCancel ends the dialogue.
//
// Pieces are appended to the binding's own buffer whatever their length (a
// length is never cut to 16 bits); the total is limited by the parameter's
// type: the smaller of its precision and the type's octet length for
// character and binary data (the whole octet length for DECIMAL and NUMERIC),
// refused with 22001 beyond it, and 2,000,000,000 bytes for any value.
#include "driver/odbc/rcstmt_param.h"

#include <cstring>
#include <new>

#include "driver/core/rccnv.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rctrace.h"
#include "driver/engine/rcstmt.h"
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcinfo.h"
#include "driver/odbc/rcstmt_api.h"
#include "driver/odbc/rctypecat.h"

namespace {

bool IsDataAtExec(const rcParamBinding &b) { return (b.flags & RC_PARAM_AT_EXEC) != 0; }

// The next parameter after the current one whose value comes at execution;
// kRcNoParam when none is left.
uint32_t NextDataParam(const rcStmtHandle *s, const rcParamState *st)
{
    uint32_t count = s->engine->paramCount;
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
    if (rcInfAnswer(conn, SQL_NEED_LONG_DATA_LEN, &value, &kind) != 0 || kind != RC_INFO_TEXT ||
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

SQLRETURN SQLParamDataImpl(rcStmtHandle *s, SQLPOINTER *prgbValue)
{
    rcTraceCall(s->conn->odbcTrace, "SQLParamData(0x%08lx, 0x%08lx)", rcStmtAddr(s),
                rcStmtAddr(prgbValue));
    rcErrClearQueue(&s->errors);
    const char *name = "SQLParamData";
    rcParamState *st = s->params;
    if (st == nullptr || !rcStmtParamNeedsData(s))
        return rcStmtDone(s, name, rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR));
    if (st->current != kRcNoParam && !(st->bindings[st->current].flags & RC_PARAM_PUT))
        return rcStmtDone(s, name, rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR));
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
        return rcStmtDone(s, name, SQL_NEED_DATA);
    }
    // Every value of the row is here: run it, then the rows after it.
    st->current = kRcNoParam;
    st->dataState = RC_DAE_NONE;
    SQLRETURN rc = rcStmtParamRunRows(s, true);
    if (rc == SQL_NEED_DATA)
        return rcStmtDone(s, name, rc);
    st->dataState = RC_DAE_NONE;
    return rcStmtDone(s, name, rc);
}

SQLRETURN SQLPutDataImpl(rcStmtHandle *s, SQLPOINTER rgbValue, SQLLEN cbValue)
{
    rcTraceCall(s->conn->odbcTrace, "SQLPutData(0x%08lx, 0x%08lx, %ld)", rcStmtAddr(s),
                rcStmtAddr(rgbValue), static_cast<long>(cbValue));
    rcErrClearQueue(&s->errors);
    const char *name = "SQLPutData";
    rcParamState *st = s->params;
    if (st == nullptr || st->dataState != RC_DAE_REQUESTED || st->current == kRcNoParam)
        return rcStmtDone(s, name, rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR));
    if (rgbValue != nullptr && cbValue < 0 && cbValue != SQL_NTS && cbValue != SQL_NULL_DATA)
        return rcStmtDone(s, name, rcStmtRaise(s, RC_MSG_INVALID_STRING_BUFFER_LENGTH));
    rcParamBinding &b = st->bindings[st->current];
    bool variable = b.cType == SQL_C_CHAR || b.cType == SQL_C_WCHAR || b.cType == SQL_C_BINARY;
    if ((b.flags & RC_PARAM_PUT) && !variable)
        return rcStmtDone(s, name, rcStmtRaise(s, RC_MSG_NUMERIC_VALUE_OUT_RANGE));
    if (b.collectedNull)
        return rcStmtDone(s, name, rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR));
    if (cbValue == SQL_NULL_DATA || (rgbValue == nullptr && cbValue == 0)) {
        // NULL: only as the whole value.
        if (b.collectedLength > 0)
            return rcStmtDone(s, name, rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR));
        b.collectedNull = true;
        b.flags |= RC_PARAM_PUT;
        return rcStmtDone(s, name, SQL_SUCCESS);
    }
    if (rgbValue == nullptr || (cbValue < 0 && cbValue != SQL_NTS))
        return rcStmtDone(s, name, rcStmtRaise(s, RC_MSG_INVALID_ARGUMENT_VALUE));
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
        return rcStmtDone(s, name, rcStmtRaise(s, RC_MSG_MAXIMUM_SQLPUTDATA_LENGTH_EXCEEDED));
    int64_t limit = LimitOf(s, b, b.indicator != nullptr ? b.indicator + st->row : nullptr);
    if (limit >= 0 && total > limit)
        return rcStmtDone(s, name, static_cast<SQLRETURN>(rcStmtParamTooLong(s, b.number)));
    bool character = (b.flags & RC_PARAM_CHARACTER) != 0;
    // One byte more: the NUL after character data, and an address even for
    // an empty binary value.
    size_t need = static_cast<size_t>(total) + 1;
    try {
        if (b.collected.size() < need)
            b.collected.resize(need);
    } catch (const std::bad_alloc &) {
        return rcStmtDone(s, name, rcStmtRaise(s, RC_MSG_MEMORY_ALLOCATION_ERROR));
    }
    if (piece > 0)
        std::memcpy(b.collected.data() + b.collectedLength, rgbValue, static_cast<size_t>(piece));
    if (character)
        b.collected[static_cast<size_t>(total)] = '\0';
    b.collectedLength = total;
    b.flags |= RC_PARAM_PUT;
    return rcStmtDone(s, name, SQL_SUCCESS);
}
