// The workers of the statement functions: allocation, preparation and
// execution (composed of the execution module's steps, rcstmt_exec.h),
// cursor names, row counts and the states between them (see
// rcstmt_handle.h).
#include "driver/odbc/rcodbc_impl.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "driver/core/rclock.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcstr.h"
#include "driver/core/rctrace.h"
#include "driver/engine/rcstmt.h"
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcentry.h"
#include "driver/odbc/rcstmt_dml.h"
#include "driver/odbc/rcstmt_exec.h"
#include "driver/odbc/rcstmt_handle.h"
#include "driver/odbc/rcstmt_param.h"
#include "platform/strings.h"

namespace {

bool ProducesResult(const rcStmtHandle *s) { return rcStmtProducesResult(s->prep.kind); }

// The text of a call's argument, copied when it came with a length.
struct ArgText {
    rcArgString arg{};
    uint32_t msg = RC_MSG_NO_ERROR;
    ArgText(const SQLCHAR *text, int64_t length)
    {
        msg =
            rcArgCopyString(&arg, reinterpret_cast<const char *>(text), length, kRcArgNoMaximum, 0);
        // Statement text goes on past a NUL inside the given length: running
        // the part before it would run another statement than the one
        // given. NULs only (a length counting the terminator) are no text.
        if (msg == RC_MSG_NO_ERROR && text != nullptr && length > 0) {
            const auto *end = text + length;
            const auto *nul =
                static_cast<const SQLCHAR *>(std::memchr(text, 0, static_cast<size_t>(length)));
            if (nul != nullptr && std::find_if(nul, end, [](SQLCHAR c) { return c != 0; }) != end)
                msg = RC_MSG_SYNTAX_ERROR;
        }
    }
    ~ArgText() { rcArgFreeStrings(&arg, 1); }
    const char *c_str() const { return arg.text != nullptr ? arg.text : ""; }
    const char *trace() const { return arg.text != nullptr ? arg.text : "NULL"; }
};

} // namespace

SQLRETURN SQLAllocStmtImpl(rcConn *conn, SQLHSTMT *phstmt)
{
    rcCall call(conn, "SQLAllocStmt", 0, kRcLineAllocStmt, rcStmtAddr(conn), rcStmtAddr(phstmt));
    SQLRETURN rc = SQL_SUCCESS;
    rcStmtHandle *handle = nullptr;
    if (phstmt != nullptr)
        *phstmt = SQL_NULL_HSTMT;
    if (conn->state < RC_CONN_CONNECTED)
        rc = static_cast<SQLRETURN>(rcErrRaise(&conn->errors, RC_MSG_CONNECTION_NOT_OPEN));
    else if (phstmt == nullptr)
        rc = static_cast<SQLRETURN>(rcErrRaise(&conn->errors, RC_MSG_INVALID_ARGUMENT_VALUE));
    else if (rcStmtHandleAlloc(conn, &handle) != 0)
        rc = SQL_ERROR;
    else
        *phstmt = handle;
    return call.done(rc);
}

SQLRETURN SQLFreeStmtImpl(rcStmtHandle *s, SQLUSMALLINT option)
{
    rcCall call(s, "SQLFreeStmt", 0, kRcLineFreeStmt, rcStmtAddr(s), option);
    switch (option) {
    case SQL_CLOSE: rcStmtResetCursor(s); break;
    // The handle is gone after this; the return line goes through the
    // connection.
    case SQL_DROP: return call.done(rcStmtHandleFree(s) == 0 ? SQL_SUCCESS : SQL_ERROR);
    case SQL_UNBIND: s->bindings.clear(); break;
    case SQL_RESET_PARAMS: rcStmtParamReset(s); break;
    default: break;
    }
    return call.done(SQL_SUCCESS);
}

SQLRETURN SQLPrepareImpl(rcStmtHandle *s, const SQLCHAR *text, SQLINTEGER length)
{
    ArgText sql(text, length);
    rcCall call(s, "SQLPrepare", 0, kRcLinePrepare, rcStmtAddr(s), sql.trace(),
                static_cast<long>(length));
    if (rcStmtCloseIfNeeded(s) != SQL_SUCCESS)
        return call.done(SQL_ERROR);
    if (sql.msg != RC_MSG_NO_ERROR)
        return call.done(rcStmtRaise(s, sql.msg));
    return call.done(rcStmtPrepare(s, sql.c_str()));
}

SQLRETURN SQLExecuteImpl(rcStmtHandle *s)
{
    rcCall call(s, "SQLExecute", 0, kRcLineExecute, rcStmtAddr(s));
    return call.done(rcStmtExecute(s));
}

SQLRETURN SQLExecDirectImpl(rcStmtHandle *s, const SQLCHAR *text, SQLINTEGER length)
{
    ArgText sql(text, length);
    rcCall call(s, "SQLExecDirect", 0, kRcLineExecDirect, rcStmtAddr(s), sql.trace(),
                static_cast<long>(length));
    if (sql.msg != RC_MSG_NO_ERROR)
        return call.done(rcStmtRaise(s, sql.msg));
    return call.done(rcStmtExecDirect(s, sql.c_str()));
}

SQLRETURN SQLCancelImpl(rcStmtHandle *s)
{
    // Called without the connection's lock. A statement that another
    // thread is executing or fetching is only flagged: that call ends with
    // "Operation cancelled." at its next row, and its error queue is left
    // alone. On a statement no call runs, cancelling (under the lock) ends a
    // data-at-execution dialogue and closes the cursor. While the lock is
    // held for some other call of the connection, the two are asked again
    // until one applies.
    rcConn *conn = s->conn;
    if (conn == nullptr || conn->tag != kRcConnTag || conn->lock == nullptr)
        return SQL_INVALID_HANDLE;
    for (;;) {
        if (rcDrsCancelRunning(s->engine)) {
            rcTraceCall(conn->odbcTrace, "SQLCancel(0x%08lx)", rcStmtAddr(s));
            rcTraceReturn(conn->odbcTrace, "SQLCancel", SQL_SUCCESS);
            return SQL_SUCCESS;
        }
        if (rcMutexTryLock(conn->lock) == 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    SQLRETURN rc;
    {
        rcCall call(s, "SQLCancel", 0, "SQLCancel(0x%08lx)", rcStmtAddr(s));
        rcStmtParamCancel(s);
        rcStmtResetCursor(s);
        rcStmtForgetDirect(s);
        rc = call.done(SQL_SUCCESS);
    }
    rcMutexUnlock(conn->lock);
    return rc;
}

SQLRETURN SQLSetCursorNameImpl(rcStmtHandle *s, const SQLCHAR *name, SQLSMALLINT length)
{
    ArgText arg(name, length);
    rcCall call(s, "SQLSetCursorName", 0, "SQLSetCursorName(0x%08lx, \"%s\", %d)", rcStmtAddr(s),
                arg.trace(), length);
    if (s->state >= RC_STMT_CURSOR_OPEN)
        return call.done(rcStmtRaise(s, RC_MSG_INVALID_CURSOR_STATE));
    if (arg.msg != RC_MSG_NO_ERROR)
        return call.done(rcStmtRaise(s, arg.msg));
    const char *text = arg.c_str();
    size_t n = std::strlen(text);
    if (n == 0 || n > kRcCursorNameMax)
        return call.done(rcStmtRaise(s, RC_MSG_INVALID_CURSOR_NAME));
    rcList *list = s->conn->statements;
    for (uint32_t i = 0; list != nullptr && i < rcListCount(list); ++i) {
        auto *other = *static_cast<rcStmtHandle **>(rcListAt(list, i));
        if (other != s && PlatAsciiCaseCompare(other->cursorName, text) == 0)
            return call.done(rcStmtRaise(s, RC_MSG_DUPLICATE_CURSOR_NAME));
    }
    std::memcpy(s->cursorName, text, n + 1);
    s->cursorNameSet = 1;
    return call.done(SQL_SUCCESS);
}

SQLRETURN SQLGetCursorNameImpl(rcStmtHandle *s, SQLCHAR *name, SQLSMALLINT size,
                               SQLSMALLINT *length)
{
    rcCall call(s, "SQLGetCursorName", 0, "SQLGetCursorName(0x%08lx, 0x%08lx, %d, 0x%08lx)",
                rcStmtAddr(s), rcStmtAddr(name), size, rcStmtAddr(length));
    bool available = (s->state < RC_STMT_EXECUTED && s->cursorNameSet) ||
                     (s->state >= RC_STMT_EXECUTED && ProducesResult(s));
    if (!available)
        return call.done(rcStmtRaise(s, RC_MSG_NO_CURSOR_NAME_AVAILABLE));
    // An executed query without a name of the application's has the default.
    rcStmtDefaultCursorName(s);
    int64_t full = 0;
    SQLRETURN rc = SQL_SUCCESS;
    if (rcCopyOutString(reinterpret_cast<char *>(name), s->cursorName, size, &full) &&
        name != nullptr) {
        rcStmtRaise(s, RC_MSG_DATA_TRUNCATED);
        rc = SQL_SUCCESS_WITH_INFO;
    }
    if (length != nullptr)
        *length = static_cast<SQLSMALLINT>(full);
    return call.done(rc);
}

SQLRETURN SQLRowCountImpl(rcStmtHandle *s, SQLLEN *count)
{
    rcCall call(s, "SQLRowCount", 0, "SQLRowCount(0x%08lx, 0x%08lx)", rcStmtAddr(s),
                rcStmtAddr(count));
    if (s->state < RC_STMT_EXECUTED)
        return call.done(rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR));
    // The rows a data change did; the rows fetched so far of a query once
    // it is positioned; -1 for every other statement.
    if (count != nullptr) {
        if (rcStmtIsDataChange(s->prep.kind))
            *count = static_cast<SQLLEN>(s->rowCount);
        else if (s->prep.kind == RC_KIND_QUERY && s->state >= RC_STMT_FETCHED)
            *count = static_cast<SQLLEN>(s->rowCount);
        else
            *count = -1;
    }
    return call.done(SQL_SUCCESS);
}

SQLRETURN SQLMoreResultsImpl(rcStmtHandle *s)
{
    rcCall call(s, "SQLMoreResults", 0, "SQLMoreResults(0x%08lx)", rcStmtAddr(s));
    rcStmtResetCursor(s);
    return call.done(SQL_NO_DATA_FOUND);
}
