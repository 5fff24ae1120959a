// Statement handles: the ODBC part of a statement.
//
// A statement handle belongs to one connection (listed in its statements)
// and owns the engine's state of the statement (rcStmt, driver/engine/
// rcstmt.h): rcStmtHandleAlloc creates both, rcStmtHandleFree drops the
// engine's state and frees the handle. The handle keeps what ODBC defines:
// the handle state, the error queue (lent to the engine's record, which posts
// on it), the statement option block and the pending asynchronous call.
//
// Legal order: rcStmtHandleAlloc -> (the statement calls) -> rcStmtHandleFree;
// rcConnDropStatements frees every handle of a connection at disconnect.
//
// The engine reaches the connection through the connection's rcConnStmtLink
// (rcconn.h), an implementation of rcStmtConn.
#pragma once

#include "driver/core/rcerror.h"
#include "driver/odbc/rcentry.h"

#include <cstdint>

struct rcConn;
struct rcStmt;

// ODBC statement handle states.
enum rcStmtHandleState : uint16_t {
    RC_STMT_ALLOCATED = 1,
    RC_STMT_PREPARED = 2,
    RC_STMT_EXECUTED = 3,
    RC_STMT_CURSOR_OPEN = 4,
    RC_STMT_NEED_DATA = 5,
};

inline constexpr uint32_t kRcStmtOptionWords = 16;

struct rcStmtHandle {
    uint32_t tag = kRcStmtTag;         // while the handle lives (rcentry.h)
    rcConn *conn = nullptr;            // owning connection, never changed
    uint16_t state = RC_STMT_ALLOCATED;
    rcErrorQueue errors{};
    uint32_t options[kRcStmtOptionWords] = {}; // statement options (rcStmtStoreOption), from the connection's defaults
    uint16_t pendingFunction = 0;      // SQL_API_* of an asynchronous call still executing; 0 none
    rcStmt *engine = nullptr;          // the engine's state, created and released with the handle
};

// Allocates a handle and its engine state on a connected connection and lists
// it there; 0, or -1 with the error on the connection (nothing is left).
int16_t rcStmtHandleAlloc(rcConn *conn, rcStmtHandle **out);
// Drops the engine state, unlists and frees the handle; 0, or -1 when the
// engine could not release its state (the handle is freed all the same).
int16_t rcStmtHandleFree(rcStmtHandle *handle);

// Frees every statement handle of the connection; 0, or -1 when one failed.
int rcConnDropStatements(rcConn *conn);
// True when a statement of the connection has an asynchronous call pending.
bool rcConnStmtBusy(rcConn *conn);
// Sets a statement option (0..14) on every statement of the connection:
// 0, 1 when one answered with a warning, -1 at the first failure (its error
// is on that statement's queue).
int16_t rcConnSetStmtOptions(rcConn *conn, uint16_t option, uintptr_t value);
