// Statement handles of the ODBC layer.
//
// An rcStmtHandle is what SQLAllocStmt hands out: the connection it belongs
// to, the handle state and its sequence rules, the error queue, the cursor
// name, the statement options, and the front end's prepared state
// (fe_prepared.h) with the source that opens the statement's tables on the
// connection (rcstmt_source.h).
//
// Handle states: 1 allocated, 2 prepared, 3 executed without an open result,
// 4 executed with a result set not yet fetched, 5 positioned by SQLFetch,
// 6 positioned by an extended fetch.
//
// Legal order: SQLAllocStmtImpl -> (SQLPrepareImpl -> SQLExecuteImpl ... |
// SQLExecDirectImpl ...) -> SQLFreeStmtImpl(SQL_CLOSE) ... ->
// SQLFreeStmtImpl(SQL_DROP). Every worker writes the call and return trace
// lines on the connection's channel and empties the statement's error queue
// on entry (SQLNumResultCols and SQLExecute keep the diagnostics of the
// preceding prepare, see there).
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <memory>

#include "driver/core/rcerror.h"
#include "driver/frontend/fe_prepared.h"

struct rcConn;
class rcConnFeSource;

enum : uint16_t {
    RC_STMT_ALLOCATED = 1,
    RC_STMT_PREPARED = 2,
    RC_STMT_EXECUTED = 3,
    RC_STMT_RESULT = 4,
    RC_STMT_FETCHED = 5,
    RC_STMT_EXT_FETCHED = 6,
};

inline constexpr size_t kRcCursorNameMax = 18;
inline constexpr uint32_t kRcStmtOptionWords = 16;

struct rcStmtHandle {
    rcStmtHandle();
    ~rcStmtHandle();
    rcStmtHandle(const rcStmtHandle &) = delete;
    rcStmtHandle &operator=(const rcStmtHandle &) = delete;

    uint32_t magic = 0;                // kRcStmtMagic while the handle lives
    rcConn *conn = nullptr;
    uint16_t state = RC_STMT_ALLOCATED;
    rcErrorQueue errors{};
    std::unique_ptr<rcConnFeSource> source;
    rcPrepared prep;                   // the prepared statement
    uint32_t setApplied = 0;           // the prepared text was an applied SET statement
    uint32_t engineMask = 0;           // engine option mask (SET statements change it)
    uint16_t debugLevel = 0;           // engine trace level (SET DebugLevel)
    uint32_t prepared = 0;             // 1 after a successful SQLPrepare
    uint32_t keepDiagnostics = 0;      // SQLExecDirect keeps its prepare step's records
    uint32_t inExecDirect = 0;
    char cursorName[kRcCursorNameMax + 2] = {};
    uint32_t cursorNameSet = 0;
    uint32_t rowCount = 0;
    uint32_t options[kRcStmtOptionWords] = {};
    uint32_t maxRows = 0;              // SQL_MAX_ROWS: the fetch stops after this many rows
    uint32_t paramRows = 1;            // SQLParamOptions crow
    uint32_t paramRowPointer = 0;
};

inline constexpr uint32_t kRcStmtMagic = 0x53544D54; // "STMT"

// The handle behind an application's statement handle, or null when it is
// not one of ours (also after it was dropped).
rcStmtHandle *rcStmtFromHandle(SQLHSTMT hstmt);

SQLRETURN SQLAllocStmtImpl(rcConn *conn, SQLHSTMT *phstmt);
SQLRETURN SQLFreeStmtImpl(rcStmtHandle *stmt, SQLUSMALLINT option);
SQLRETURN SQLPrepareImpl(rcStmtHandle *stmt, const SQLCHAR *text, SQLINTEGER length);
SQLRETURN SQLExecuteImpl(rcStmtHandle *stmt);
SQLRETURN SQLExecDirectImpl(rcStmtHandle *stmt, const SQLCHAR *text, SQLINTEGER length);
SQLRETURN SQLCancelImpl(rcStmtHandle *stmt);
SQLRETURN SQLGetCursorNameImpl(rcStmtHandle *stmt, SQLCHAR *name, SQLSMALLINT size, SQLSMALLINT *length);
SQLRETURN SQLSetCursorNameImpl(rcStmtHandle *stmt, const SQLCHAR *name, SQLSMALLINT length);
SQLRETURN SQLSetStmtOptionImpl(rcStmtHandle *stmt, SQLUSMALLINT option, SQLULEN value);
SQLRETURN SQLGetStmtOptionImpl(rcStmtHandle *stmt, SQLUSMALLINT option, SQLPOINTER value);
SQLRETURN SQLRowCountImpl(rcStmtHandle *stmt, SQLLEN *count);
SQLRETURN SQLMoreResultsImpl(rcStmtHandle *stmt);

SQLRETURN SQLNumResultColsImpl(rcStmtHandle *stmt, SQLSMALLINT *count);
SQLRETURN SQLDescribeColImpl(rcStmtHandle *stmt, SQLUSMALLINT column, SQLCHAR *name, SQLSMALLINT size,
                             SQLSMALLINT *length, SQLSMALLINT *type, SQLULEN *columnSize, SQLSMALLINT *scale,
                             SQLSMALLINT *nullable);
SQLRETURN SQLColAttributesImpl(rcStmtHandle *stmt, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
                               SQLSMALLINT size, SQLSMALLINT *length, SQLLEN *number);
SQLRETURN SQLNumParamsImpl(rcStmtHandle *stmt, SQLSMALLINT *count);
SQLRETURN SQLDescribeParamImpl(rcStmtHandle *stmt, SQLUSMALLINT param, SQLSMALLINT *type, SQLULEN *columnSize,
                               SQLSMALLINT *scale, SQLSMALLINT *nullable);

SQLRETURN SQLNativeSqlImpl(rcConn *conn, const SQLCHAR *in, SQLINTEGER inLength, SQLCHAR *out, SQLINTEGER outMax,
                           SQLINTEGER *outLength);

// Number of live statement handles in the process.
long rcStmtLiveHandles();
