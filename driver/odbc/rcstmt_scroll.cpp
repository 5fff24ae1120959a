// The scrolling functions: SQLSetScrollOptions, SQLExtendedFetch and
// SQLSetPos. The driver's cursors are forward-only and the library does not
// export these (driver/sqldriver.map; SQLGetFunctions answers 0 for them),
// but the workers are whole: each checks its arguments against the handle
// and the statement options in a fixed order and posts the first refusal.
//
//   SQLSetScrollOptions  keeps SQL_CONCURRENCY, SQL_KEYSET_SIZE and
//                        SQL_ROWSET_SIZE as given
//   SQLExtendedFetch     on a result set: moves no row and writes no output;
//                        closes the cursor (the handle goes back to prepared
//                        or allocated) and marks the handle extended-fetched
//   SQLSetPos            does no row operation; closes the cursor
//
// Closing the cursor with the position keeps the handle's state and the
// engine's cursor in step: a handle that says prepared has no plan open.
#include "driver/odbc/rcodbc_impl.h"

#include <cstdint>

#include "driver/core/rcmsgid.h"
#include "driver/core/rctrace.h"
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcentry.h"
#include "driver/odbc/rcstmt_exec.h"
#include "driver/odbc/rcstmt_handle.h"

namespace {

uint32_t Option(const rcStmtHandle *s, uint16_t option)
{
    uint32_t v = 0;
    rcStmtReadOption(option, s->options, &v);
    return v;
}

// The last SQLFetch reached the end of the result.
bool AtEnd(const rcStmtHandle *s) { return s->state >= RC_STMT_FETCHED && !s->rowCurrent; }

// The highest column number with a bound buffer (0: none).
size_t BoundColumns(const rcStmtHandle *s)
{
    size_t n = s->bindings.size();
    while (n > 0 && s->bindings[n - 1].value == nullptr)
        --n;
    return n;
}

// A 32-bit word of a count given as SQLLEN: negative counts keep their
// 32-bit form (the keyset size's SQL_SCROLL_* codes); a count beyond the
// word is its largest value.
uint32_t CountWord(SQLLEN v)
{
    if (v < INT32_MIN)
        return static_cast<uint32_t>(INT32_MIN);
    if (v > static_cast<SQLLEN>(UINT32_MAX))
        return UINT32_MAX;
    return static_cast<uint32_t>(v);
}

} // namespace

SQLRETURN SQLSetScrollOptionsImpl(rcStmtHandle *s, SQLUSMALLINT concurrency, SQLLEN keyset,
                                  SQLUSMALLINT rowset)
{
    rcCall call(s, "SQLSetScrollOptions", RC_CALL_BUSY_CHECK,
                "SQLSetScrollOptions(0x%08lx, %u, %ld, %u)", rcStmtAddr(s), concurrency,
                static_cast<long>(keyset), rowset);
    if (call.refused())
        return call.done(SQL_ERROR);
    rcStmtStoreOption(SQL_CONCURRENCY, s->options, concurrency);
    rcStmtStoreOption(SQL_KEYSET_SIZE, s->options, CountWord(keyset));
    rcStmtStoreOption(SQL_ROWSET_SIZE, s->options, rowset);
    return call.done(SQL_SUCCESS);
}

SQLRETURN SQLExtendedFetchImpl(rcStmtHandle *s, SQLUSMALLINT fetchType, SQLLEN row,
                               SQLULEN *rowCount, SQLUSMALLINT *rowStatus)
{
    rcCall call(s, "SQLExtendedFetch", RC_CALL_BUSY_CHECK,
                "SQLExtendedFetch(0x%08lx, %u, %ld, 0x%08lx, 0x%08lx)", rcStmtAddr(s), fetchType,
                static_cast<long>(row), rcStmtAddr(rowCount), rcStmtAddr(rowStatus));
    if (call.refused())
        return call.done(SQL_ERROR);
    uint32_t refusal = 0;
    uint32_t cursorType = Option(s, SQL_CURSOR_TYPE);
    uint32_t keyset = Option(s, SQL_KEYSET_SIZE);
    if (s->prep.kind < RC_KIND_QUERY)
        refusal = RC_MSG_INVALID_CURSOR_STATE;
    else if (cursorType == SQL_CURSOR_FORWARD_ONLY && fetchType != SQL_FETCH_NEXT)
        refusal = RC_MSG_FETCH_TYPE_OUT_RANGE;
    else if (BoundColumns(s) > s->prep.columns.size())
        refusal = RC_MSG_INVALID_COLUMN_NUMBER;
    else if (cursorType == SQL_CURSOR_KEYSET_DRIVEN && keyset != 0 &&
             keyset < Option(s, SQL_ROWSET_SIZE))
        refusal = RC_MSG_ROW_VALUE_WAS_OUT_RANGE;
    if (refusal != 0)
        return call.done(rcStmtRaise(s, refusal));
    rcStmtResetCursor(s);
    s->extFetched = 1;
    return call.done(SQL_SUCCESS);
}

SQLRETURN SQLSetPosImpl(rcStmtHandle *s, SQLSETPOSIROW row, SQLUSMALLINT operation,
                        SQLUSMALLINT lock)
{
    rcCall call(s, "SQLSetPos", RC_CALL_BUSY_CHECK, "SQLSetPos(0x%08lx, %u, %u, %u)", rcStmtAddr(s),
                static_cast<unsigned>(row), operation, lock);
    bool onRows = operation == SQL_REFRESH || operation == SQL_UPDATE || operation == SQL_DELETE;
    bool writes = operation == SQL_UPDATE || operation == SQL_DELETE || operation == SQL_ADD;
    if (call.refused())
        return call.done(SQL_ERROR);
    uint32_t refusal = 0;
    if (s->extFetched == 0 && AtEnd(s))
        refusal = RC_MSG_INVALID_CURSOR_STATE;
    else if (onRows && (AtEnd(s) || s->state < RC_STMT_EXT_FETCHED))
        refusal = RC_MSG_INVALID_CURSOR_STATE;
    else if (row > Option(s, SQL_ROWSET_SIZE) && operation != SQL_ADD)
        refusal = RC_MSG_ROW_VALUE_WAS_OUT_RANGE;
    else if (Option(s, SQL_KEYSET_SIZE) == 0)
        refusal = RC_MSG_INVALID_CURSOR_POSITION_NO_KEYSET;
    else if ((operation == SQL_UPDATE || operation == SQL_ADD) && BoundColumns(s) == 0)
        refusal = RC_MSG_DEGREE_DERIVED_TABLE_DOES_NOT;
    else if (lock == SQL_LOCK_NO_CHANGE && writes &&
             Option(s, SQL_CONCURRENCY) == SQL_CONCUR_READ_ONLY)
        refusal = RC_MSG_INVALID_ARGUMENT_VALUE;
    if (refusal != 0)
        return call.done(rcStmtRaise(s, refusal));
    rcStmtResetCursor(s);
    return call.done(SQL_SUCCESS);
}
