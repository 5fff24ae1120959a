// The workers of the option and information functions: SQLGetInfo (the
// typed answer copied into the caller's buffer), SQLGetFunctions, and
// SQLSetConnectOption, SQLGetConnectOption, SQLSetStmtOption and
// SQLGetStmtOption over the options' work (rcoption.h, rcstmt_option.h).
#include "driver/odbc/rcodbc_impl.h"

#include "driver/core/rcmsgid.h"
#include "driver/core/rcstr.h"
#include "driver/core/rcstrings.h"
#include "driver/core/rctrace.h"
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcentry.h"
#include "driver/odbc/rcinfo.h"
#include "driver/odbc/rcoption.h"
#include "driver/odbc/rcstmt_exec.h"
#include "driver/odbc/rcstmt_handle.h"
#include "driver/odbc/rcstmt_option.h"

#include <cstring>

SQLRETURN SQLGetInfoImpl(rcConn *conn, SQLUSMALLINT type, SQLPOINTER out, SQLSMALLINT outMax,
                         SQLSMALLINT *length)
{
    rcCall call(conn, "SQLGetInfo", RC_CALL_BUSY_CHECK,
                "SQLGetInfo(0x%08lx, %u, 0x%08lx, %d, 0x%08lx)",
                static_cast<unsigned long>(reinterpret_cast<uintptr_t>(conn)), type,
                static_cast<unsigned long>(reinterpret_cast<uintptr_t>(out)), outMax,
                static_cast<unsigned long>(reinterpret_cast<uintptr_t>(length)));
    SQLRETURN rc = SQL_SUCCESS;
    uintptr_t value = 0;
    rcInfoKind kind{};
    char *loaded = nullptr;
    if (call.refused()) {
        rc = SQL_ERROR;
    } else if (rcDrsGetInfo(conn, type, &value, &kind) != 0) {
        rc = SQL_ERROR;
    } else {
        if (kind == RC_INFO_STRING_ID) {
            loaded = rcUtlLoadStringEx(static_cast<uint32_t>(value));
            if (!loaded)
                rc = static_cast<SQLRETURN>(
                    rcErrRaise(&conn->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
            value = reinterpret_cast<uintptr_t>(loaded);
            kind = RC_INFO_TEXT;
        }
        if (rc == SQL_SUCCESS && kind == RC_INFO_TEXT) {
            const char *text = reinterpret_cast<const char *>(value);
            int64_t full = static_cast<int64_t>(std::strlen(text));
            if (out) {
                int64_t copied = 0;
                if (rcCopyOutString(static_cast<char *>(out), text, outMax, &copied)) {
                    rcErrRaise(&conn->errors, RC_MSG_DATA_TRUNCATED);
                    rc = SQL_SUCCESS_WITH_INFO; // the length stays the full one
                }
            }
            if (length)
                *length = static_cast<SQLSMALLINT>(full > 0x7FFF ? 0x7FFF : full);
        } else if (rc == SQL_SUCCESS) {
            SQLSMALLINT size = kind == RC_INFO_U16 ? 2 : 4;
            if (outMax >= 0 && outMax < size) {
                rc = static_cast<SQLRETURN>(
                    rcErrRaise(&conn->errors, RC_MSG_NUMERIC_VALUE_OUT_RANGE));
            } else {
                if (out && kind == RC_INFO_U16) {
                    uint16_t v = static_cast<uint16_t>(value);
                    std::memcpy(out, &v, sizeof v);
                } else if (out) {
                    uint32_t v = static_cast<uint32_t>(value);
                    std::memcpy(out, &v, sizeof v);
                }
                if (length)
                    *length = size;
            }
        }
    }
    if (loaded)
        rcResFreeString(loaded);
    return call.done(rc);
}

SQLRETURN SQLSetConnectOptionImpl(rcConn *conn, SQLUSMALLINT option, SQLULEN value)
{
    rcCall call(conn, "SQLSetConnectOption", 0, "SQLSetConnectOption(0x%08lx, %u, %lu)",
                reinterpret_cast<unsigned long>(conn), option, static_cast<unsigned long>(value));
    // Texts of the connection may prepare otherwise now (qualifier,
    // translation, the statements' options).
    ++conn->prepareEpoch;
    return call.done(rcConSetConnectOption(conn, option, static_cast<uintptr_t>(value)));
}

SQLRETURN SQLGetConnectOptionImpl(rcConn *conn, SQLUSMALLINT option, SQLPOINTER value)
{
    rcCall call(conn, "SQLGetConnectOption", RC_CALL_BUSY_CHECK,
                "SQLGetConnectOption(0x%08lx, %u, 0x%08lx)", reinterpret_cast<unsigned long>(conn),
                option, reinterpret_cast<unsigned long>(value));
    if (call.refused())
        return call.done(SQL_ERROR);
    rcConGetConnectOption(conn, option, value);
    return call.done(SQL_SUCCESS);
}

SQLRETURN SQLGetFunctionsImpl(rcConn *conn, SQLUSMALLINT function, SQLUSMALLINT *exists)
{
    rcCall call(conn, "SQLGetFunctions", 0, "SQLGetFunctions(0x%08lx, %u, 0x%08lx)",
                reinterpret_cast<unsigned long>(conn), function,
                reinterpret_cast<unsigned long>(exists));
    rcConGetFunctions(conn, function, exists);
    return call.done(SQL_SUCCESS);
}

SQLRETURN SQLSetStmtOptionImpl(rcStmtHandle *s, SQLUSMALLINT option, SQLULEN value)
{
    rcCall call(s, "SQLSetStmtOption", 0, "SQLSetStmtOption(0x%08lx, %u, %lu)", rcStmtAddr(s),
                option, static_cast<unsigned long>(value));
    // Options may change what the handle's texts prepare to.
    rcStmtForgetDirect(s);
    return call.done(rcStmtSetOption(s, option, value));
}

SQLRETURN SQLGetStmtOptionImpl(rcStmtHandle *s, SQLUSMALLINT option, SQLPOINTER value)
{
    rcCall call(s, "SQLGetStmtOption", RC_CALL_BUSY_CHECK, "SQLGetStmtOption(0x%08lx, %u, 0x%08lx)",
                rcStmtAddr(s), option, rcStmtAddr(value));
    if (call.refused())
        return call.done(SQL_ERROR);
    return call.done(rcStmtGetOption(s, option, value));
}
