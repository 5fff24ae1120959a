// The workers of result sets: SQLBindCol, SQLFetch and SQLGetData.
//
// Every result set is a plan in the executor, a query's or the temporary
// table of a catalog function (rcexeresult.h): a fetch moves its root one
// row (rcStmtNextRow, rcstmt_exec.h) and copies the bound columns, and
// SQLGetData converts one column of the current row, both through
// rcExeGetColumn, which converts straight into the application's buffer. A
// bound column of a plain query may be read directly from the cursor
// (rcexegdo.h), the fast branch of the same loop. SQLGetData reads a long
// value in pieces: the handle keeps, per column, how much of the current
// row's value went out (rcColPiece, tied to the row by a serial number the
// fetch counts up, so a fetch clears nothing), and the engine reads from
// that offset on.
#include "driver/odbc/rcodbc_impl.h"

#include "driver/core/rccnv.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcsqltype.h"
#include "driver/core/rctrace.h"
#include "driver/engine/exec/rcexe.h"
#include "driver/engine/exec/rcexegdo.h"
#include "driver/engine/exec/rcexestmt.h"
#include "driver/engine/rcstmt.h"
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcentry.h"
#include "driver/odbc/rcinfo.h"
#include "driver/odbc/rcstmt_bigint.h"
#include "driver/odbc/rcstmt_exec.h"
#include "driver/odbc/rcstmt_handle.h"
#include "driver/odbc/rctranslate.h"

namespace {

// The data source's bookmarks persist across scrolling (SQL_BP_SCROLL): only
// then can column 0 be bound.
bool BookmarksScroll(rcConn *conn)
{
    uintptr_t persistence = 0;
    rcInfoKind kind{};
    return rcDrsGetInfo(conn, SQL_BOOKMARK_PERSISTENCE, &persistence, &kind) == 0 &&
           (persistence & SQL_BP_SCROLL) != 0;
}

// The C type SQL_C_DEFAULT stands for with a column of this SQL type.
int16_t DefaultCType(int16_t sqlType)
{
    switch (sqlType) {
    case SQL_BIT: return SQL_C_BIT;
    case SQL_TINYINT: return SQL_C_TINYINT;
    case SQL_SMALLINT: return SQL_C_SHORT;
    case SQL_INTEGER: return SQL_C_LONG;
    case SQL_REAL: return SQL_C_FLOAT;
    case SQL_FLOAT:
    case SQL_DOUBLE: return SQL_C_DOUBLE;
    case SQL_DATE: return SQL_C_DATE;
    case SQL_TIME: return SQL_C_TIME;
    case SQL_TIMESTAMP: return SQL_C_TIMESTAMP;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: return SQL_C_BINARY;
    default: return SQL_C_CHAR;
    }
}

bool KnownCType(int16_t t)
{
    switch (t) {
    case SQL_C_CHAR:
    case SQL_C_LONG:
    case SQL_C_SHORT:
    case SQL_C_FLOAT:
    case SQL_C_DOUBLE:
    case SQL_C_DATE:
    case SQL_C_TIME:
    case SQL_C_TIMESTAMP:
    case SQL_C_BINARY:
    case SQL_C_BIT:
    case SQL_C_TINYINT:
    case SQL_C_SLONG:
    case SQL_C_SSHORT:
    case SQL_C_STINYINT:
    case SQL_C_ULONG:
    case SQL_C_USHORT:
    case SQL_C_UTINYINT:
    case SQL_C_WCHAR:
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
    case SQL_C_DEFAULT: return true;
    default: return false;
    }
}

// A column whose values SQL_MAX_LENGTH limits: character and binary data.
bool CharOrBinary(int16_t sqlType) { return rcSqlIsCharacter(sqlType) || rcSqlIsBinary(sqlType); }

bool IsBinaryType(int16_t sqlType)
{
    return sqlType == SQL_BINARY || sqlType == SQL_VARBINARY || sqlType == SQL_LONGVARBINARY;
}

// The statement's SQL_MAX_LENGTH (0: no limit).
uint32_t MaxLength(const rcStmtHandle *s)
{
    uint32_t v = 0;
    rcStmtReadOption(SQL_MAX_LENGTH, s->options, &v);
    return v;
}

// Reads result column k's text for translated delivery (rcXlateReadFn).
struct ColumnText {
    rcStmtHandle *s;
    uint16_t k;
};

int16_t ReadColumnText(void *context, uint32_t offset, char *buffer, int32_t size, int32_t *left,
                       bool *isNull)
{
    auto *c = static_cast<ColumnText *>(context);
    int32_t out = 0;
    int16_t rc =
        rcExeGetColumn(c->s->engine->planner, c->k, SQL_C_CHAR, buffer, size, &out, offset, isNull);
    *left = out;
    return rc < 0 ? -1 : 0;
}

bool IsBigIntCType(int16_t cType) { return cType == SQL_C_SBIGINT || cType == SQL_C_UBIGINT; }

// One delivery of column k (from 0) of the current row into the
// application's buffer, starting at->source bytes into a character or binary
// value (characters of the text for SQL_C_CHAR); at moves to where the next
// piece starts. *more tells that a piece is left; it is false when the value
// went out whole (NULL, a fixed-size C type, or the rest fitted).
// SQL_MAX_LENGTH ends a character or binary value after that many bytes (two
// hexadecimal characters a byte for binary data as text) without
// truncation; a text keeps its terminator within the limit, binary data
// never gets one. Text that leaves through the translation library or as
// UTF-16 goes out in whole characters, the limit counting the bytes the
// application receives. 0, 1 cut (01004 posted), -1 error.
int16_t Deliver(rcStmtHandle *s, uint16_t k, int16_t cType, void *value, int64_t bufferLength,
                SQLLEN *length, uint32_t maxLength, rcXlatePiece *at, bool *more)
{
    *more = false;
    int16_t sqlType = s->prep.columns[k].sqlType;
    if (cType == SQL_C_DEFAULT)
        cType = DefaultCType(sqlType);
    if (IsBigIntCType(cType))
        return rcStmtDeliverBigInt(s, k, cType, value, length);
    rcXlateMode mode = rcXlateModeOf(s->conn, cType, sqlType);
    if (mode != RC_XLATE_NONE) {
        ColumnText text{s, k};
        uint32_t limit = CharOrBinary(sqlType) ? maxLength : 0;
        return rcXlateDeliverText(s->conn, &s->errors, mode, &s->textScratch, &ReadColumnText,
                                  &text, value, bufferLength, length, limit, at, more);
    }
    uint32_t offset = at->source;
    bool isChar = cType == SQL_C_CHAR;
    int32_t size = rcCnvCFixedSize(cType);
    bool pieces = size == 0 && (isChar || CharOrBinary(sqlType));
    if (size == 0)
        size = bufferLength > INT32_MAX ? INT32_MAX : static_cast<int32_t>(bufferLength);
    int64_t cap = -1; // what the limit still lets through
    if (pieces && maxLength != 0 && CharOrBinary(sqlType)) {
        int64_t limit = static_cast<int64_t>(maxLength) * (isChar && IsBinaryType(sqlType) ? 2 : 1);
        cap = limit > offset ? limit - offset : 0;
        if (cap + (isChar ? 1 : 0) < size)
            size = static_cast<int32_t>(cap + (isChar ? 1 : 0));
    }
    int32_t out = 0;
    bool isNull = false;
    int16_t rc = rcExeGetColumn(s->engine->planner, k, cType, value, size, &out, offset, &isNull);
    if (rc < 0)
        return -1;
    // A NULL leaves an empty string in a character buffer that has a byte.
    if (isNull && isChar && value != nullptr && bufferLength > 0)
        static_cast<char *>(value)[0] = '\0';
    if (isNull || !pieces) {
        if (length != nullptr)
            *length = isNull ? SQL_NULL_DATA : static_cast<SQLLEN>(out);
        if (rc == 1)
            rcErrPostTruncatedColumn(&s->errors, k + 1u);
        return rc;
    }
    // out is what is left of the value from the offset on.
    int64_t rest = out;
    int64_t room = isChar ? (size > 0 ? size - 1 : 0) : size;
    if (cap >= 0 && rest > cap)
        rest = cap;
    if (length != nullptr)
        *length = static_cast<SQLLEN>(rest);
    if (rest <= room)
        return 0;
    at->source = offset + static_cast<uint32_t>(room);
    *more = true;
    rcErrPostTruncatedColumn(&s->errors, k + 1u);
    return 1;
}

} // namespace

SQLRETURN SQLBindColImpl(rcStmtHandle *s, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER value,
                         SQLLEN bufferLength, SQLLEN *length)
{
    rcCall call(s, "SQLBindCol", 0, "SQLBindCol(0x%08lx, %u, %d, 0x%08lx, %ld, 0x%08lx)",
                rcStmtAddr(s), column, cType, rcStmtAddr(value), static_cast<long>(bufferLength),
                rcStmtAddr(length));
    // Column 0 is the bookmark, bound as SQL_C_BOOKMARK where the data
    // source keeps bookmarks that scroll; no cursor of the driver has one.
    if (column == 0) {
        uint32_t refusal = BookmarksScroll(s->conn) && cType != SQL_C_BOOKMARK
                               ? uint32_t{RC_MSG_PROGRAM_TYPE_ARGUMENT_OUT_RANGE}
                               : uint32_t{RC_MSG_DRIVER_NOT_CAPABLE};
        return call.done(rcStmtRaise(s, refusal));
    }
    // No further than the columns a select list may have: SQLGetInfo's
    // SQL_MAX_COLUMNS_IN_SELECT, the connection's MaxColSupport (read here
    // directly, as an application binds every column of every execution).
    uint16_t maxColumns = s->conn->maxColSupport;
    if (maxColumns != 0 && column > maxColumns)
        return call.done(rcStmtRaise(s, RC_MSG_INVALID_COLUMN_NUMBER));
    if (bufferLength < 0 || bufferLength > INT32_MAX)
        return call.done(rcStmtRaise(s, RC_MSG_INVALID_STRING_BUFFER_LENGTH));
    if (!KnownCType(cType))
        return call.done(rcStmtRaise(s, RC_MSG_PROGRAM_TYPE_ARGUMENT_OUT_RANGE));
    if (value == nullptr) {
        // Unbinds the column.
        if (column <= s->bindings.size())
            s->bindings[column - 1] = rcColBinding{};
        return call.done(SQL_SUCCESS);
    }
    if (column > s->bindings.size())
        s->bindings.resize(column);
    s->bindings[column - 1] = rcColBinding{cType, value, bufferLength, length};
    return call.done(SQL_SUCCESS);
}

SQLRETURN SQLFetchImpl(rcStmtHandle *s)
{
    rcCall call(s, "SQLFetch", 0, kRcLineFetch, rcStmtAddr(s));
    rcStmt *e = s->engine;
    rcDrsRunScope running(e, false); // SQLCancel from another thread stops the fetch
    // A statement without a result set has no cursor.
    if (s->prep.kind < RC_KIND_QUERY && s->state >= RC_STMT_EXECUTED)
        return call.done(rcStmtRaise(s, RC_MSG_INVALID_CURSOR_STATE));
    if (s->state == RC_STMT_EXT_FETCHED || s->state < RC_STMT_CURSOR_OPEN || !rcExeStmtOpen(e))
        return call.done(rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR));
    // A binding beyond the result's columns fails before a row is read.
    uint16_t count = static_cast<uint16_t>(s->prep.columns.size());
    for (size_t k = count; k < s->bindings.size(); ++k)
        if (s->bindings[k].value != nullptr)
            return call.done(rcStmtRaise(s, RC_MSG_INVALID_COLUMN_NUMBER));
    SQLRETURN moved = rcStmtNextRow(s);
    if (!SQL_SUCCEEDED(moved))
        return call.done(moved);
    bool warned = moved == SQL_SUCCESS_WITH_INFO;
    uint32_t maxLength = s->bindings.empty() ? 0 : MaxLength(s);
    rcPlnStmt *planned = e->planner;
    for (uint16_t k = 0; k < s->bindings.size(); ++k) {
        const rcColBinding &b = s->bindings[k];
        if (b.value == nullptr)
            continue;
        rcXlatePiece at;
        bool more = false;
        // Text the application reads translated is never read straight
        // into its buffer.
        int16_t sqlType = s->prep.columns[k].sqlType;
        int16_t cType = b.cType == SQL_C_DEFAULT ? DefaultCType(sqlType) : b.cType;
        int16_t r =
            rcXlateModeOf(s->conn, cType, sqlType) != RC_XLATE_NONE || IsBigIntCType(cType)
                ? int16_t{RC_GDO_NOT_DIRECT}
                : rcGdoReadBound(planned, k, b.cType, b.value, b.bufferLength, b.length, maxLength);
        if (r == RC_GDO_NOT_DIRECT)
            r = Deliver(s, k, b.cType, b.value, b.bufferLength, b.length, maxLength, &at, &more);
        if (r < 0) {
            rcStmtForgetDirect(s);
            return call.done(SQL_ERROR);
        }
        warned = warned || r == 1;
    }
    return call.done(warned ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS);
}

SQLRETURN SQLGetDataImpl(rcStmtHandle *s, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER value,
                         SQLLEN bufferLength, SQLLEN *length)
{
    rcCall call(s, "SQLGetData", 0, "SQLGetData(0x%08lx, %u, %d, 0x%08lx, %ld, 0x%08lx)",
                rcStmtAddr(s), column, cType, rcStmtAddr(value), static_cast<long>(bufferLength),
                rcStmtAddr(length));
    // Whatever the handle's state, without a current row there is nothing to
    // read.
    if (s->state < RC_STMT_CURSOR_OPEN || !s->rowCurrent || !rcExeStmtOpen(s->engine))
        return call.done(rcStmtRaise(s, RC_MSG_INVALID_CURSOR_STATE));
    if (column == 0 || column > s->prep.columns.size())
        return call.done(rcStmtRaise(s, RC_MSG_INVALID_COLUMN_NUMBER));
    uint16_t k = static_cast<uint16_t>(column - 1);
    // A bound column is delivered by the fetch only.
    if (k < s->bindings.size() && s->bindings[k].value != nullptr)
        return call.done(rcStmtRaise(s, RC_MSG_INVALID_COLUMN_NUMBER));
    if (bufferLength < 0 || bufferLength > INT32_MAX)
        return call.done(rcStmtRaise(s, RC_MSG_INVALID_STRING_BUFFER_LENGTH));
    if (!KnownCType(cType))
        return call.done(rcStmtRaise(s, RC_MSG_PROGRAM_TYPE_ARGUMENT_OUT_RANGE));
    if (s->pieces.size() < s->prep.columns.size())
        s->pieces.resize(s->prep.columns.size());
    rcColPiece &piece = s->pieces[k];
    if (piece.row != s->rowSerial)
        piece = rcColPiece{s->rowSerial, {}, false};
    // Every byte of a value goes out once; after the last piece, no data.
    if (piece.done)
        return call.done(SQL_NO_DATA_FOUND);
    bool more = false;
    int16_t r = Deliver(s, k, cType, value, bufferLength, length, MaxLength(s), &piece.at, &more);
    piece.done = r < 0 || !more;
    if (r < 0)
        rcStmtForgetDirect(s);
    return call.done(r < 0 ? SQL_ERROR : r == 1 ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS);
}
