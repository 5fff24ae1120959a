// Statement handles: the ODBC part of a statement.
//
// A statement handle belongs to one connection (listed in its statements)
// and owns the engine's state of the statement (rcStmt, driver/engine/
// rcstmt.h): rcStmtHandleAlloc creates both, rcStmtHandleFree drops the
// engine's state and frees the handle. The handle keeps what ODBC defines:
// the handle state, the error queue (lent to the engine's record, which posts
// on it), the statement option block, the column and parameter bindings and
// the pending asynchronous call.
//
// Legal order: rcStmtHandleAlloc -> (the statement calls) -> rcStmtHandleFree;
// rcConnDropStatements frees every handle of a connection at disconnect.
//
// The engine reaches the connection through the handle's rcConnStmtLink, an
// implementation of rcStmtConn, and plans with the connection's facts the
// handle gives it (rcExeConnFacts, driver/engine/exec/rcexestmt.h).
//
// Besides, a handle holds the front end's prepared statement (fe_prepared.h)
// with the source that opens its tables on the connection
// (rcstmt_source.h), the cursor name and the flags of the prepare-execute
// sequence. What preparation found (kind, tree, parameters, result columns)
// is read there only; the engine's record gets the tree where it plans. The workers of the statement functions are in rcodbc_impl.h.
//
// Handle states: 1 allocated, 2 prepared, 3 executed without an open result,
// 4 executed with a result set not yet fetched, 5 positioned by SQLFetch,
// 6 positioned by an extended fetch.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include "driver/core/rcerror.h"
#include "driver/engine/exec/rcexestmt.h"
#include "driver/engine/rcstmt.h"
#include "driver/frontend/fe_prepared.h"
#include "driver/odbc/rctranslate.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct rcConn;
struct rcStmt;
class rcConnFeSource;

// The tag of a live statement handle (its first field; the entry guard
// checks it, rcentry.h).
enum : uint32_t { kRcStmtTag = 0x54534351u }; // "QCST"

// ODBC statement handle states.
enum rcStmtHandleState : uint16_t {
    RC_STMT_ALLOCATED = 1,
    RC_STMT_PREPARED = 2,
    RC_STMT_EXECUTED = 3,
    RC_STMT_CURSOR_OPEN = 4,
    RC_STMT_NEED_DATA = 5,
    RC_STMT_FETCHED = 5,     // positioned by SQLFetch
    RC_STMT_EXT_FETCHED = 6, // positioned by an extended fetch
};

inline constexpr uint32_t kRcStmtOptionWords = 16;
inline constexpr size_t kRcCursorNameMax = 18;

// A column bound by SQLBindCol: filled at each SQLFetch.
struct rcColBinding {
    int16_t cType = 0;
    void *value = nullptr; // null: not bound
    int64_t bufferLength = 0;
    SQLLEN *length = nullptr;
};

// What SQLGetData delivered of one column's value: valid while row equals
// the handle's rowSerial (a fetch moves on without touching the list).
struct rcColPiece {
    uint32_t row = 0;
    rcXlatePiece at;   // bytes of the value read, and bytes the application received
    bool done = false; // all delivered: the next call answers SQL_NO_DATA
};

// A parameter bound by SQLBindParameter or SQLSetParam (rcstmt_param.h).
enum : uint16_t {
    RC_PARAM_BOUND = 0x2,
    RC_PARAM_PUT = 0x8,        // SQLPutData gave data since SQLParamData named it
    RC_PARAM_CHARACTER = 0x10, // SQL_C_CHAR data
    RC_PARAM_AT_EXEC = 0x40,   // the value comes at execution
};

struct rcParamBinding {
    uint32_t number = 0;
    uint16_t paramType = SQL_PARAM_INPUT;
    int16_t cType = 0;
    int16_t sqlType = 0;
    uint64_t precision = 0;
    int16_t scale = 0;
    const void *value = nullptr; // handed to the engine: the row's value or the collected data
    int64_t bufferLength = 0;    // cbValueMax
    SQLLEN *indicator = nullptr; // pcbValue
    int64_t length = 0;          // worked out before execution
    bool isNull = false;
    uint16_t flags = 0;
    std::vector<char> collected; // SQLPutData pieces (a NUL after character data)
    int64_t collectedLength = 0;
    bool collectedNull = false;    // SQLPutData gave SQL_NULL_DATA
    SQLPOINTER appValue = nullptr; // rgbValue as bound; SQLParamData's token
    std::string text;              // the row's text in Windows-1252, when it came translated
};

// Data-at-execution states.
enum : uint16_t {
    RC_DAE_NONE = 0,
    RC_DAE_DONE = 1,      // the statement ran after the last piece
    RC_DAE_REQUESTED = 2, // SQLParamData asked for a parameter's data
    RC_DAE_WAITING = 3,   // SQLExecute answered SQL_NEED_DATA
};

constexpr uint32_t kRcNoParam = 0xFFFFFFFF;

struct rcParamState {
    std::vector<rcParamBinding> bindings; // index = parameter number - 1
    uint32_t current = kRcNoParam;        // the data-at-execution parameter being sent
    uint16_t dataState = RC_DAE_NONE;
    uint32_t row = 0;      // the row of a parameter array being run
    uint32_t rowCount = 0; // rows changed by the rows run so far
    bool warned = false;   // a row ran with a warning
};

// What the engine's record of a statement needs of its connection
// (rcstmt_handle.cpp).
struct rcConnStmtLink final : rcStmtConn {
    rcConn *conn = nullptr;

    rcErrorQueue *errors() override;
    const rcStmtOptionBlock *options() override;
    void sourceInfo(rcStmtSourceInfo *info) override;
    bool typeInfo(int16_t sqlType, uint32_t *columnSize, int16_t *scale) override;
    const char *typeName(int16_t sqlType) override;
    TamSession *session() override;
    rcTraceChannel *engineTrace() override;
    const char *qualifier() override;
};

struct rcStmtHandle {
    uint32_t tag = kRcStmtTag; // while the handle lives (rcentry.h)
    rcConn *conn = nullptr;    // owning connection, never changed
    uint16_t state = RC_STMT_ALLOCATED;
    rcErrorQueue errors{};
    uint32_t options[kRcStmtOptionWords] =
        {}; // statement options (rcStmtStoreOption), from the connection's defaults
    uint16_t pendingFunction = 0; // SQL_API_* of an asynchronous call still executing; 0 none
    rcStmt *engine = nullptr;     // the engine's state, created and released with the handle
    rcConnStmtLink link;          // the connection as the engine's record reaches it
    rcExeConnFacts facts;         // what the planner needs of the connection

    std::unique_ptr<rcConnFeSource> source; // the connection as the front end's source
    rcPrepared prep;                        // the prepared statement
    uint32_t setApplied = 0;                // the prepared text was an applied SET statement
    uint32_t prepared = 0;                  // 1 after a successful SQLPrepare
    char cursorName[kRcCursorNameMax + 2] = {};
    uint32_t cursorNameSet = 0;
    uint32_t rowCount = 0;
    uint32_t paramRows = 1;             // SQLParamOptions crow
    SQLULEN *paramRowPointer = nullptr; // SQLParamOptions pirow
    rcParamState *params = nullptr;     // parameter bindings (rcstmt_param.h)
    std::vector<rcColBinding> bindings; // by column number - 1
    bool rowCurrent = false;            // SQLFetch positioned on a row
    uint32_t extFetched = 0;            // SQLExtendedFetch succeeded; cleared by a cursor reset
    uint32_t rowSerial = 0;             // counts the rows fetched, for pieces
    std::vector<rcColPiece> pieces;     // SQLGetData's progress, by column number - 1
    std::vector<char> textScratch;      // a value's text on its way through translation
    // The query SQLExecDirect last prepared and ran on the handle without a
    // fault, and the connection's prepare epoch of then: while directKept
    // holds, SQLExecDirect of the same text runs that preparation and its
    // plan again (rcstmt_exec.h).
    std::string directText;
    uint32_t directEpoch = 0;
    bool directKept = false;
};

// The number of "?" markers of the prepared statement (0 when nothing is
// prepared): preparation's count, kept with the prepared statement only.
inline uint16_t rcStmtParamCount(const rcStmtHandle *s)
{
    return static_cast<uint16_t>(s->prep.params.size());
}

// Allocates a handle and its engine state on a connected connection and lists
// it there; 0, or -1 with the error on the connection (nothing is left).
int16_t rcStmtHandleAlloc(rcConn *conn, rcStmtHandle **out);

// Shared by the statement modules: a handle's address for trace lines, and a
// message posted on the statement (returns -1).
unsigned long rcStmtAddr(const void *p);
SQLRETURN rcStmtRaise(rcStmtHandle *s, uint32_t msgId);
// Drops the engine state, unlists and frees the handle; 0, or -1 when the
// engine could not release its state (the handle is freed all the same).
int16_t rcStmtHandleFree(rcStmtHandle *handle);

// Gives the statement its default cursor name unless it has a name:
// "SQL_CUR" and the next value of its connection's counter in hexadecimal
// (15 characters at most, so it fits the field), skipping a name that
// another statement of the connection holds.
void rcStmtDefaultCursorName(rcStmtHandle *s);

// Frees every statement handle of the connection; 0, or -1 when one failed.
int rcConnDropStatements(rcConn *conn);
// True when a statement of the connection has an asynchronous call pending.
bool rcConnStmtBusy(rcConn *conn);
// Asynchronous execution is on and a call is pending: other functions are
// refused with S1010.
bool rcStmtBusy(const rcStmtHandle *stmt);

// The words of a statement option block (the handle's options, the
// connection's stmtDefaults) by option number 0-14; SQL_MAX_LENGTH's largest
// values are kept one lower (the block's rule).
void rcStmtStoreOption(uint16_t option, uint32_t *block, uint32_t value);
void rcStmtReadOption(uint16_t option, const uint32_t *block, uint32_t *out);
