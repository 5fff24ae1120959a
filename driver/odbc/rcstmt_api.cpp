// The workers of the statement functions: allocation, preparation and
// execution (composed of the execution module's steps, rcstmt_exec.h),
// cursor names, row counts and the states between them (see
// rcstmt_handle.h).
#include "driver/odbc/rcodbc_impl.h"

#include <cstring>
#include <string>

#include "driver/core/rcmsgid.h"
#include "driver/core/rcstr.h"
#include "driver/core/rctrace.h"
#include "driver/engine/rcstmt.h"
#include "driver/odbc/rcconn.h"
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
    }
    ~ArgText() { rcArgFreeStrings(&arg, 1); }
    const char *c_str() const { return arg.text != nullptr ? arg.text : ""; }
    const char *trace() const { return arg.text != nullptr ? arg.text : "NULL"; }
};

} // namespace

SQLRETURN SQLAllocStmtImpl(rcConn *conn, SQLHSTMT *phstmt)
{
    rcTraceCall(conn->odbcTrace, "SQLAllocStmt(0x%08lx, 0x%08lx)", rcStmtAddr(conn),
                rcStmtAddr(phstmt));
    rcErrClearQueue(&conn->errors);
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
    rcTraceReturn(conn->odbcTrace, "SQLAllocStmt", rc);
    return rc;
}

SQLRETURN SQLFreeStmtImpl(rcStmtHandle *s, SQLUSMALLINT option)
{
    rcConn *conn = s->conn;
    rcTraceCall(conn->odbcTrace, "SQLFreeStmt(0x%08lx, %u)", rcStmtAddr(s), option);
    rcErrClearQueue(&s->errors);
    switch (option) {
    case SQL_CLOSE: rcStmtCloseCursor(s); break;
    case SQL_DROP: {
        // The handle is gone after this: only the connection is used.
        SQLRETURN rc = rcStmtHandleFree(s) == 0 ? SQL_SUCCESS : SQL_ERROR;
        rcTraceReturn(conn->odbcTrace, "SQLFreeStmt", rc);
        return rc;
    }
    case SQL_UNBIND: s->bindings.clear(); break;
    case SQL_RESET_PARAMS: rcStmtParamReset(s); break;
    default: break;
    }
    return rcStmtDone(s, "SQLFreeStmt", SQL_SUCCESS);
}

SQLRETURN SQLPrepareImpl(rcStmtHandle *s, const SQLCHAR *text, SQLINTEGER length)
{
    ArgText sql(text, length);
    rcTraceCall(s->conn->odbcTrace, "SQLPrepare(0x%08lx, \"%-.600s\", %ld)", rcStmtAddr(s),
                sql.trace(), static_cast<long>(length));
    if (!s->inExecDirect)
        rcErrClearQueue(&s->errors);
    s->keepDiagnostics = 0;
    if (rcStmtCloseIfNeeded(s) != SQL_SUCCESS)
        return rcStmtDone(s, "SQLPrepare", SQL_ERROR);
    if (sql.msg != RC_MSG_NO_ERROR)
        return rcStmtDone(s, "SQLPrepare", rcStmtRaise(s, sql.msg));
    return rcStmtDone(s, "SQLPrepare", rcStmtPrepare(s, sql.c_str()));
}

SQLRETURN SQLExecuteImpl(rcStmtHandle *s)
{
    rcTraceCall(s->conn->odbcTrace, "SQLExecute(0x%08lx)", rcStmtAddr(s));
    if (!s->keepDiagnostics)
        rcErrClearQueue(&s->errors);
    return rcStmtDone(s, "SQLExecute", rcStmtExecute(s));
}

SQLRETURN SQLExecDirectImpl(rcStmtHandle *s, const SQLCHAR *text, SQLINTEGER length)
{
    ArgText sql(text, length);
    rcTraceCall(s->conn->odbcTrace, "SQLExecDirect(0x%08lx, \"%-.600s\", %ld)", rcStmtAddr(s),
                sql.trace(), static_cast<long>(length));
    rcErrClearQueue(&s->errors);
    if (sql.msg != RC_MSG_NO_ERROR)
        return rcStmtDone(s, "SQLExecDirect", rcStmtRaise(s, sql.msg));
    uint16_t entryState = s->state;
    s->inExecDirect = 1;
    SQLRETURN rc = SQLPrepareImpl(s, reinterpret_cast<const SQLCHAR *>(sql.c_str()), SQL_NTS);
    bool warned = rc == SQL_SUCCESS_WITH_INFO;
    if (rc != SQL_ERROR) {
        s->keepDiagnostics = 1;
        rc = SQLExecuteImpl(s);
        s->keepDiagnostics = 0;
        if (rc == SQL_ERROR)
            rcStmtResetPrepared(s);
    }
    s->prepared = 0;
    s->inExecDirect = 0;
    if (rc == SQL_ERROR) {
        // Back to the state the statement had at entry; what it had prepared
        // is gone.
        s->state = entryState == RC_STMT_PREPARED ? uint16_t{RC_STMT_ALLOCATED} : entryState;
    } else if (warned && rc == SQL_SUCCESS) {
        rc = SQL_SUCCESS_WITH_INFO;
    }
    return rcStmtDone(s, "SQLExecDirect", rc);
}

SQLRETURN SQLCancelImpl(rcStmtHandle *s)
{
    rcTraceCall(s->conn->odbcTrace, "SQLCancel(0x%08lx)", rcStmtAddr(s));
    rcErrClearQueue(&s->errors);
    // Nothing runs asynchronously: cancelling ends a data-at-execution
    // dialogue and closes the cursor.
    rcStmtParamCancel(s);
    rcStmtCloseCursor(s);
    return rcStmtDone(s, "SQLCancel", SQL_SUCCESS);
}

SQLRETURN SQLSetCursorNameImpl(rcStmtHandle *s, const SQLCHAR *name, SQLSMALLINT length)
{
    ArgText arg(name, length);
    rcTraceCall(s->conn->odbcTrace, "SQLSetCursorName(0x%08lx, \"%s\", %d)", rcStmtAddr(s),
                arg.trace(), length);
    rcErrClearQueue(&s->errors);
    if (s->state >= RC_STMT_CURSOR_OPEN)
        return rcStmtDone(s, "SQLSetCursorName", rcStmtRaise(s, RC_MSG_INVALID_CURSOR_STATE));
    if (arg.msg != RC_MSG_NO_ERROR)
        return rcStmtDone(s, "SQLSetCursorName", rcStmtRaise(s, arg.msg));
    const char *text = arg.c_str();
    size_t n = std::strlen(text);
    if (n == 0 || n > kRcCursorNameMax)
        return rcStmtDone(s, "SQLSetCursorName", rcStmtRaise(s, RC_MSG_INVALID_CURSOR_NAME));
    rcList *list = s->conn->statements;
    for (uint32_t i = 0; list != nullptr && i < rcListCount(list); ++i) {
        auto *other = *static_cast<rcStmtHandle **>(rcListAt(list, i));
        if (other != s && PlatAsciiCaseCompare(other->cursorName, text) == 0)
            return rcStmtDone(s, "SQLSetCursorName", rcStmtRaise(s, RC_MSG_DUPLICATE_CURSOR_NAME));
    }
    std::memcpy(s->cursorName, text, n + 1);
    s->cursorNameSet = 1;
    return rcStmtDone(s, "SQLSetCursorName", SQL_SUCCESS);
}

SQLRETURN SQLGetCursorNameImpl(rcStmtHandle *s, SQLCHAR *name, SQLSMALLINT size,
                               SQLSMALLINT *length)
{
    rcTraceCall(s->conn->odbcTrace, "SQLGetCursorName(0x%08lx, 0x%08lx, %d, 0x%08lx)",
                rcStmtAddr(s), rcStmtAddr(name), size, rcStmtAddr(length));
    rcErrClearQueue(&s->errors);
    bool available = (s->state < RC_STMT_EXECUTED && s->cursorNameSet) ||
                     (s->state >= RC_STMT_EXECUTED && ProducesResult(s));
    if (!available)
        return rcStmtDone(s, "SQLGetCursorName", rcStmtRaise(s, RC_MSG_NO_CURSOR_NAME_AVAILABLE));
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
    return rcStmtDone(s, "SQLGetCursorName", rc);
}

SQLRETURN SQLRowCountImpl(rcStmtHandle *s, SQLLEN *count)
{
    rcTraceCall(s->conn->odbcTrace, "SQLRowCount(0x%08lx, 0x%08lx)", rcStmtAddr(s),
                rcStmtAddr(count));
    rcErrClearQueue(&s->errors);
    if (s->state < RC_STMT_EXECUTED)
        return rcStmtDone(s, "SQLRowCount", rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR));
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
    return rcStmtDone(s, "SQLRowCount", SQL_SUCCESS);
}

SQLRETURN SQLMoreResultsImpl(rcStmtHandle *s)
{
    rcTraceCall(s->conn->odbcTrace, "SQLMoreResults(0x%08lx)", rcStmtAddr(s));
    rcErrClearQueue(&s->errors);
    rcStmtCloseCursor(s);
    return rcStmtDone(s, "SQLMoreResults", SQL_NO_DATA_FOUND);
}
