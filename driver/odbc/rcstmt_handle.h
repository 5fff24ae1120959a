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
    RC_STMT_CURSOR_OPEN = 4,         // executed with a result set not yet fetched
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

