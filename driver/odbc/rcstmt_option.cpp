// Statement options: SQLSetStmtOption's and SQLGetStmtOption's work on one
// handle, and on every statement of a connection (see rcstmt_option.h).
//
// Options 0-14 are kept in the handle's option block (rcStmtStoreOption),
// 32 bits a word. Setting one goes: a pending asynchronous call refuses
// (S1010); the cursor options (SQL_CONCURRENCY, SQL_CURSOR_TYPE,
// SQL_SIMULATE_CURSOR, SQL_USE_BOOKMARKS) only while nothing is prepared
// or executed (24000 with a result set, S1011 once prepared or executed);
// SQL_GET_BOOKMARK and SQL_ROW_NUMBER are read-only (S1C00); then the value
// rules (rcStmtOptionRefusal); SQL_MAX_ROWS and the driver's own options
// (above 14) reach the engine. A value the block cannot hold as given (more
// than 32 bits, SQL_MAX_LENGTH's rule for the largest values) is kept as
// the block holds it and 01S02 says so; so is a rowset size above 1.
#include "driver/odbc/rcstmt_option.h"

#include <cstring>

#include "driver/core/rcmsgid.h"
#include "driver/engine/rcstmt.h"
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcstmt_handle.h"
#include "driver/odbc/rcstmt_source.h"

namespace {

bool IsCursorOption(uint16_t option)
{
    return option == SQL_CONCURRENCY || option == SQL_CURSOR_TYPE ||
           option == SQL_SIMULATE_CURSOR || option == SQL_USE_BOOKMARKS;
}

// The options whose values are row and length counts: SQLULEN on 64-bit
// ODBC, for SQLGetStmtOption and SQLGetStmtAttr alike; every other option
// is read as a 32-bit word.
bool IsCountOption(uint16_t option)
{
    return option == SQL_MAX_ROWS || option == SQL_MAX_LENGTH || option == SQL_KEYSET_SIZE ||
           option == SQL_ROWSET_SIZE;
}

} // namespace

uint32_t rcStmtOptionRefusal(uint16_t option, SQLULEN value)
{
    switch (option) {
    // Not offered: only the value that leaves things as they are is taken
    // (no time-out, no keyset, no simulated cursor, no bookmarks; data is
    // always retrieved).
    case SQL_RETRIEVE_DATA: return value == SQL_RD_ON ? 0u : uint32_t{RC_MSG_DRIVER_NOT_CAPABLE};
    case SQL_QUERY_TIMEOUT:
    case SQL_KEYSET_SIZE:
    case SQL_SIMULATE_CURSOR:
    case SQL_USE_BOOKMARKS:
    // Escapes are always scanned; columns are bound column-wise.
    case SQL_NOSCAN:
    case SQL_BIND_TYPE: return value == 0 ? 0u : uint32_t{RC_MSG_DRIVER_NOT_CAPABLE};
    case SQL_GET_BOOKMARK:
    case SQL_ROW_NUMBER: return RC_MSG_DRIVER_NOT_CAPABLE;
    default: return 0; // SQL_MAX_ROWS, SQL_MAX_LENGTH, SQL_ASYNC_ENABLE, the cursor's kind
    }
}

uint32_t rcStmtOptionWord(uint16_t option, SQLULEN value)
{
    // No block cursor is offered to applications (SQLExtendedFetch is not
    // exported), so SQLFetch moves one row whatever the rowset size: a
    // larger one is kept as 1, or an ODBC 3 application reading rowsets
    // through the Driver Manager would wait for rows-fetched counts that
    // nothing writes.
    if (option == SQL_ROWSET_SIZE && value > 1)
        return 1;
    return value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
}

SQLRETURN rcStmtSetOption(rcStmtHandle *s, uint16_t option, SQLULEN value)
{
    if (rcStmtBusy(s))
        return rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR);
    if (IsCursorOption(option)) {
        if (s->state >= RC_STMT_CURSOR_OPEN)
            return rcStmtRaise(s, RC_MSG_INVALID_CURSOR_STATE);
        if (s->state >= RC_STMT_PREPARED)
            return rcStmtRaise(s, RC_MSG_OPERATION_INVALID_AT_TIME);
    }
    if (option <= SQL_ROW_NUMBER) {
        uint32_t refusal = rcStmtOptionRefusal(option, value);
        if (refusal != 0)
            return rcStmtRaise(s, refusal);
    }
    uint32_t word = rcStmtOptionWord(option, value);
    if (option == SQL_MAX_ROWS) {
        // The engine remembers it: the fetch stops after this many rows.
        if (rcDrsSetStmtOption(s->engine, option, word) != 0)
            return SQL_ERROR;
    } else if (option > SQL_ROW_NUMBER) {
        // The engine's own options (table passwords, kept tables, ...).
        if (rcDrsSetStmtOption(s->engine, option, value) != 0)
            return SQL_ERROR;
        // Tables kept open between statements go when the option is cleared.
        if (option == RC_STMT_OPT_KEEP_TABLES_OPEN && s->engine->options.keepTablesOpen == 0)
            s->source->CloseKeptTables(false);
        return SQL_SUCCESS;
    }
    rcStmtStoreOption(option, s->options, word);
    uint32_t kept = 0;
    rcStmtReadOption(option, s->options, &kept);
    if (kept != value) {
        rcErrRaise(&s->errors, RC_MSG_OPTION_VALUE_CHANGED);
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

SQLRETURN rcStmtGetOption(rcStmtHandle *s, uint16_t option, void *value)
{
    uint32_t v = 0;
    if (option == SQL_GET_BOOKMARK || option == SQL_ROW_NUMBER) {
        // Only on a row: after SQLFetch gave one and before the end.
        if (s->state < RC_STMT_FETCHED || !s->rowCurrent)
            return rcStmtRaise(s, RC_MSG_INVALID_CURSOR_STATE);
        uint32_t bookmarks = 0;
        rcStmtReadOption(SQL_USE_BOOKMARKS, s->options, &bookmarks);
        if (option == SQL_GET_BOOKMARK && bookmarks == SQL_UB_OFF)
            return rcStmtRaise(s, RC_MSG_OPERATION_INVALID_AT_TIME);
        if (option == SQL_ROW_NUMBER)
            v = s->rowCount;
        else
            rcStmtReadOption(option, s->options, &v);
    } else if (option <= SQL_ROW_NUMBER) {
        rcStmtReadOption(option, s->options, &v);
    } else {
        rcDrsGetStmtOption(s->engine, option, &v);
    }
    if (value != nullptr && IsCountOption(option)) {
        SQLULEN wide = v;
        std::memcpy(value, &wide, sizeof wide);
    } else if (value != nullptr) {
        std::memcpy(value, &v, sizeof v);
    }
    return SQL_SUCCESS;
}

int16_t rcConnSetStmtOptions(rcConn *conn, uint16_t option, uintptr_t value)
{
    bool warning = false;
    for (uint32_t i = 0; i < rcListCount(conn->statements); ++i) {
        auto *handle = *static_cast<rcStmtHandle **>(rcListAt(conn->statements, i));
        rcErrClearQueue(&handle->errors);
        SQLRETURN rc = rcStmtSetOption(handle, option, value);
        if (rc == SQL_ERROR) {
            // The application asks the connection what went wrong.
            for (uint32_t k = 0; k < rcErrQueueCount(&handle->errors); ++k) {
                auto *r = static_cast<const rcErrorRecord *>(rcListAt(handle->errors.list, k));
                rcErrPost(&conn->errors, r->msgId, r->sqlState[0] != '\0' ? r->sqlState : nullptr,
                          r->native, r->text);
            }
            return -1;
        }
        warning = warning || rc == SQL_SUCCESS_WITH_INFO;
    }
    // The default of later statements: the same value rules.
    uint32_t refusal = rcStmtOptionRefusal(option, value);
    if (refusal != 0)
        return static_cast<int16_t>(rcErrRaise(&conn->errors, refusal));
    rcStmtStoreOption(option, conn->stmtDefaults, rcStmtOptionWord(option, value));
    uint32_t kept = 0;
    rcStmtReadOption(option, conn->stmtDefaults, &kept);
    if (kept != value || warning) {
        rcErrRaise(&conn->errors, RC_MSG_OPTION_VALUE_CHANGED);
        return 1;
    }
    return 0;
}
