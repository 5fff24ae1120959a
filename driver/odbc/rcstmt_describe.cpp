// Describing a prepared statement: result columns (SQLNumResultCols,
// SQLDescribeCol, SQLColAttributes), parameters (SQLNumParams,
// SQLDescribeParam), and SQLNativeSql.
#include "driver/odbc/rcodbc_impl.h"

#include <cstring>
#include <string>

#include "driver/core/rcmsgid.h"
#include "driver/core/rcstr.h"
#include "driver/core/rctrace.h"
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcentry.h"
#include "driver/odbc/rcstmt_exec.h"
#include "driver/odbc/rcstmt_handle.h"
#include "driver/odbc/rctranslate.h"
#include "driver/odbc/rctypecat.h"

namespace {

bool HasResult(const rcStmtHandle *s)
{
    return s->prep.kind >= 100 && s->prep.kind < 4096 && !s->prep.columns.empty();
}

SQLSMALLINT ColumnCount(const rcStmtHandle *s)
{
    return HasResult(s) ? static_cast<SQLSMALLINT>(s->prep.columns.size()) : 0;
}

// Copies a text answer; 1 when it was cut (5102 posted) and a buffer was given.
SQLRETURN CopyText(rcStmtHandle *s, const std::string &text, SQLPOINTER out, SQLSMALLINT size,
                   SQLSMALLINT *length)
{
    int64_t full = 0;
    SQLRETURN rc = SQL_SUCCESS;
    // Names reach the application as it reads text (through the
    // translation library when one is loaded).
    if (rcXlateCopyOut(s->conn, static_cast<char *>(out), text.c_str(), size, &full) &&
        out != nullptr) {
        rcStmtRaise(s, RC_MSG_DATA_TRUNCATED);
        rc = SQL_SUCCESS_WITH_INFO;
    }
    if (length != nullptr)
        *length = static_cast<SQLSMALLINT>(full > 0x7FFF ? 0x7FFF : full);
    return rc;
}

// The length a value of the column takes: the fixed sizes of the date and
// time structures, else the column's own.
SQLLEN LengthOf(const rcResultColumn &c)
{
    switch (c.sqlType) {
    case SQL_DATE:
    case SQL_TIME: return 6;
    case SQL_TIMESTAMP: return 16;
    default: return static_cast<SQLLEN>(c.length);
    }
}

} // namespace

SQLRETURN SQLNumResultColsImpl(rcStmtHandle *s, SQLSMALLINT *count)
{
    // The diagnostics of the preceding prepare or execute stay queued.
    bool keep = s->state >= RC_STMT_PREPARED && s->state <= RC_STMT_CURSOR_OPEN;
    rcCall call(s, "SQLNumResultCols", keep ? unsigned{RC_CALL_KEEP_QUEUE} : 0u,
                "SQLNumResultCols(0x%08lx, 0x%08lx)", rcStmtAddr(s), rcStmtAddr(count));
    if (count != nullptr)
        *count = ColumnCount(s);
    return call.done(SQL_SUCCESS);
}

SQLRETURN SQLDescribeColImpl(rcStmtHandle *s, SQLUSMALLINT column, SQLCHAR *name, SQLSMALLINT size,
                             SQLSMALLINT *length, SQLSMALLINT *type, SQLULEN *columnSize,
                             SQLSMALLINT *scale, SQLSMALLINT *nullable)
{
    rcCall call(
        s, "SQLDescribeCol", 0,
        "SQLDescribeCol(0x%08lx, %u, 0x%08lx, %d, 0x%08lx, 0x%08lx, 0x%08lx, 0x%08lx, 0x%08lx)",
        rcStmtAddr(s), column, rcStmtAddr(name), size, rcStmtAddr(length), rcStmtAddr(type),
        rcStmtAddr(columnSize), rcStmtAddr(scale), rcStmtAddr(nullable));
    if (s->state < RC_STMT_PREPARED)
        return call.done(rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR));
    if (!HasResult(s))
        return call.done(rcStmtRaise(s, RC_MSG_INVALID_CURSOR_STATE));
    if (column == 0 || column > ColumnCount(s))
        return call.done(rcStmtRaise(s, RC_MSG_INVALID_COLUMN_NUMBER));
    const rcResultColumn &c = s->prep.columns[column - 1];
    if (type != nullptr)
        *type = c.sqlType;
    if (columnSize != nullptr)
        *columnSize = c.precision;
    if (scale != nullptr)
        *scale = c.scale == kRcNoScale ? 0 : c.scale;
    if (nullable != nullptr)
        *nullable = static_cast<SQLSMALLINT>(c.nullable);
    return call.done(CopyText(s, c.name, name, size, length));
}

SQLRETURN SQLColAttributesImpl(rcStmtHandle *s, SQLUSMALLINT column, SQLUSMALLINT field,
                               SQLPOINTER text, SQLSMALLINT size, SQLSMALLINT *length,
                               SQLLEN *number)
{
    rcCall call(s, "SQLColAttributes", 0,
                "SQLColAttributes(0x%08lx, %u, %u, 0x%08lx, %d, 0x%08lx, 0x%08lx)", rcStmtAddr(s),
                column, field, rcStmtAddr(text), size, rcStmtAddr(length), rcStmtAddr(number));
    // ODBC 3 applications (PHP's odbc_*) size their buffers by the octet
    // length, which the Driver Manager passes on as it is: it is the
    // column's length in the application's bytes.
    if (field == SQL_DESC_OCTET_LENGTH)
        field = SQL_COLUMN_LENGTH;
    if (s->state < RC_STMT_PREPARED)
        return call.done(rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR));
    if (!HasResult(s))
        return call.done(rcStmtRaise(s, RC_MSG_INVALID_CURSOR_STATE));
    bool numeric =
        field == SQL_COLUMN_COUNT || (field >= SQL_COLUMN_TYPE && field <= SQL_COLUMN_SEARCHABLE);
    if (numeric && number == nullptr)
        return call.done(SQL_SUCCESS);
    if (field == SQL_COLUMN_COUNT) {
        *number = ColumnCount(s);
        return call.done(SQL_SUCCESS);
    }
    if (column == 0 || column > ColumnCount(s))
        return call.done(rcStmtRaise(s, RC_MSG_INVALID_COLUMN_NUMBER));
    if (field > SQL_COLUMN_LABEL)
        return call.done(rcStmtRaise(s, RC_MSG_DRIVER_NOT_CAPABLE));
    const rcResultColumn &c = s->prep.columns[column - 1];
    SQLLEN v = 0;
    switch (field) {
    case SQL_COLUMN_NAME: return call.done(CopyText(s, c.name, text, size, length));
    case SQL_COLUMN_TYPE_NAME: return call.done(CopyText(s, c.typeName, text, size, length));
    case SQL_COLUMN_TABLE_NAME: return call.done(CopyText(s, c.tableName, text, size, length));
    case SQL_COLUMN_OWNER_NAME: return call.done(CopyText(s, "", text, size, length));
    case SQL_COLUMN_QUALIFIER_NAME: return call.done(CopyText(s, c.qualifier, text, size, length));
    case SQL_COLUMN_LABEL: return call.done(CopyText(s, c.name, text, size, length));
    case SQL_COLUMN_TYPE: v = c.sqlType; break;
    case SQL_COLUMN_LENGTH:
        v = LengthOf(c) * (rcXlateIsText(c.sqlType) ? rcXlateMaxWidth(s->conn) : 1);
        break;
    case SQL_COLUMN_PRECISION: v = static_cast<SQLLEN>(c.precision); break;
    case SQL_COLUMN_SCALE: v = c.scale == kRcNoScale ? 0 : c.scale; break;
    case SQL_COLUMN_DISPLAY_SIZE:
        v = static_cast<SQLLEN>(c.displaySize) *
            (rcXlateIsText(c.sqlType) ? rcXlateMaxWidth(s->conn) : 1);
        break;
    case SQL_COLUMN_NULLABLE: v = c.nullable; break;
    case SQL_COLUMN_UNSIGNED: v = c.isUnsigned ? SQL_TRUE : SQL_FALSE; break;
    case SQL_COLUMN_MONEY: v = c.money ? SQL_TRUE : SQL_FALSE; break;
    case SQL_COLUMN_UPDATABLE: v = c.updatable ? SQL_ATTR_WRITE : SQL_ATTR_READONLY; break;
    case SQL_COLUMN_AUTO_INCREMENT: v = c.autoIncrement ? SQL_TRUE : SQL_FALSE; break;
    case SQL_COLUMN_CASE_SENSITIVE: v = c.caseSensitive ? SQL_TRUE : SQL_FALSE; break;
    case SQL_COLUMN_SEARCHABLE: v = c.searchable; break;
    default: break;
    }
    if (number != nullptr)
        *number = v;
    return call.done(SQL_SUCCESS);
}

SQLRETURN SQLNumParamsImpl(rcStmtHandle *s, SQLSMALLINT *count)
{
    rcCall call(s, "SQLNumParams", 0, "SQLNumParams(0x%08lx, 0x%08lx)", rcStmtAddr(s),
                rcStmtAddr(count));
    if (s->state < RC_STMT_PREPARED)
        return call.done(rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR));
    if (count != nullptr)
        *count = static_cast<SQLSMALLINT>(s->prep.params.size());
    return call.done(SQL_SUCCESS);
}

SQLRETURN SQLDescribeParamImpl(rcStmtHandle *s, SQLUSMALLINT param, SQLSMALLINT *type,
                               SQLULEN *columnSize, SQLSMALLINT *scale, SQLSMALLINT *nullable)
{
    rcCall call(s, "SQLDescribeParam", 0,
                "SQLDescribeParam(0x%08lx, %u, 0x%08lx, 0x%08lx, 0x%08lx, 0x%08lx)", rcStmtAddr(s),
                param, rcStmtAddr(type), rcStmtAddr(columnSize), rcStmtAddr(scale),
                rcStmtAddr(nullable));
    if (s->state < RC_STMT_PREPARED)
        return call.done(rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR));
    if (param == 0 || param > s->prep.params.size())
        return call.done(rcStmtRaise(s, RC_MSG_INVALID_PARAMETER_NUMBER));
    const rcParamDesc &d = s->prep.params[param - 1];
    if (type != nullptr)
        *type = d.sqlType;
    if (columnSize != nullptr)
        *columnSize = d.columnSize;
    if (scale != nullptr)
        *scale = d.decimalDigits;
    if (nullable != nullptr)
        *nullable = static_cast<SQLSMALLINT>(d.nullable);
    return call.done(SQL_SUCCESS);
}

SQLRETURN SQLNativeSqlImpl(rcConn *conn, const SQLCHAR *in, SQLINTEGER inLength, SQLCHAR *out,
                           SQLINTEGER outMax, SQLINTEGER *outLength)
{
    rcArgString arg{};
    uint32_t msg =
        rcArgCopyString(&arg, reinterpret_cast<const char *>(in), inLength, kRcArgNoMaximum, 0);
    rcCall call(conn, "SQLNativeSql", 0,
                "SQLNativeSql(0x%08lx, \"%-.600s\", %ld, 0x%08lx, %ld, 0x%08lx)", rcStmtAddr(conn),
                arg.text != nullptr ? arg.text : "NULL", static_cast<long>(inLength),
                rcStmtAddr(out), static_cast<long>(outMax), rcStmtAddr(outLength));
    SQLRETURN rc = SQL_SUCCESS;
    if (msg != RC_MSG_NO_ERROR) {
        rc = static_cast<SQLRETURN>(rcErrRaise(&conn->errors, msg));
    } else if (arg.text == nullptr || arg.text[0] == '\0') {
        // Nothing to translate: an empty text, and its length.
        if (out != nullptr && outMax > 0)
            out[0] = '\0';
        if (outLength != nullptr)
            *outLength = 0;
    } else if (out != nullptr || outLength != nullptr) {
        // The translation library's text in, the driver's native text out
        // through it again.
        std::string text, source;
        const char *sql = arg.text;
        if (rcXlateLoaded(conn) &&
            !rcXlateFromApp(conn, &conn->errors, RC_XLATE_LIBRARY, sql, SQL_NTS, &source)) {
            rc = SQL_ERROR;
        } else if (rcDrsNativeSql(rcXlateLoaded(conn) ? source.c_str() : sql, &text,
                                  &conn->errors) != 0) {
            rc = SQL_ERROR;
        } else {
            int64_t full = 0;
            if (rcXlateCopyOut(conn, reinterpret_cast<char *>(out), text.c_str(), outMax, &full) &&
                out != nullptr) {
                rcErrRaise(&conn->errors, RC_MSG_DATA_TRUNCATED);
                rc = SQL_SUCCESS_WITH_INFO;
            }
            if (outLength != nullptr)
                *outLength = static_cast<SQLINTEGER>(full);
        }
    }
    rcArgFreeStrings(&arg, 1);
    return call.done(rc);
}
