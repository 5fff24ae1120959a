// Connection options and the supported-function table (see rcoption.h).
#include "driver/odbc/rcoption.h"

#include "driver/core/rcmem.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcstr.h"
#include "driver/core/rcstrings.h"
#include "driver/engine/tam.h"
#include "driver/engine/tam_drminfo.h"
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcstmt_handle.h"
#include "driver/odbc/rcstmt_option.h"
#include "driver/odbc/rctranslate.h"
#include "driver/odbc/rctxn.h"
#include "platform/strings.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

bool IsTextOption(uint16_t option)
{
    return option == SQL_TRANSLATE_DLL || option == SQL_CURRENT_QUALIFIER;
}

// A bounded owned copy of an option text.
char *CopyOptionText(const char *text)
{
    size_t n = strnlen(text, kRcOptionTextMax);
    char *copy = static_cast<char *>(rcMemAlloc(n + 1));
    if (copy) {
        std::memcpy(copy, text, n);
        copy[n] = '\0';
    }
    return copy;
}

int16_t Raise(rcConn *conn, uint32_t id)
{
    return static_cast<int16_t>(rcErrRaise(&conn->errors, id));
}

// The qualifier check of SQL_CURRENT_QUALIFIER: length, trailing blanks, and on data
// sources that ask for it an existing drive path.
int16_t OpenQualifier(rcConn *conn, const char *text, std::string *out)
{
    if (std::strlen(text) > kRcQualifierMax) {
        rcErrPost(&conn->errors, RC_MSG_UNABLE_CONNECT_DATABASE_SERVER, nullptr, 0,
                  rcUtlLoadString(RC_TXT_PATH_NAME_GREATER_THAN_CURRENT));
        return -1;
    }
    std::string q = text;
    while (!q.empty() && q.back() == ' ')
        q.pop_back();
    if (conn->info.validateQualifier) {
        bool drive = q.size() >= 3 && std::isalpha(static_cast<unsigned char>(q[0])) &&
                     q[1] == ':' && q[2] == '\\';
        if (!drive || !rcUtlIsDrivePath(q.c_str())) {
            std::string term = conn->info.qualTerm ? conn->info.qualTerm : "";
            for (char &c : term)
                c = PlatAsciiLower(c);
            char message[kRcQualifierMax + 300];
            std::snprintf(message, sizeof message, rcUtlLoadString(RC_TXT_INVALID_VALUE),
                          term.c_str(), q.c_str());
            rcErrPost(&conn->errors, RC_MSG_GENERAL_ERROR, nullptr, 0, message);
            return -1;
        }
    }
    *out = q;
    return 0;
}

} // namespace

void rcConnInitFunctions(rcConn *conn, int level)
{
    std::memset(conn->functions, 0, sizeof conn->functions);
    // Core functions, all but SQLSetParam.
    for (int id = SQL_API_SQLALLOCCONNECT; id <= SQL_API_SQLTRANSACT; ++id)
        conn->functions[id] = id == SQL_API_SQLSETPARAM ? 0 : 1;
    // Level 1: SQLColumns to SQLTables, and SQLBindParameter.
    if (level >= 1) {
        for (int id = SQL_API_SQLCOLUMNS; id <= SQL_API_SQLTABLES; ++id)
            conn->functions[id] = 1;
        conn->functions[SQL_API_SQLBINDPARAMETER] = 1;
    }
    // Level 2: SQLBrowseConnect to SQLBindParameter, without the scrolling
    // functions.
    if (level >= 2) {
        for (int id = SQL_API_SQLBROWSECONNECT; id <= SQL_API_SQLBINDPARAMETER; ++id)
            conn->functions[id] =
                (id == SQL_API_SQLEXTENDEDFETCH || id == SQL_API_SQLSETPOS ||
                 id == SQL_API_SQLSETSCROLLOPTIONS)
                    ? 0
                    : 1;
    }
}

void rcConFreePending(rcConn *conn)
{
    if (!conn->pending)
        return;
    for (uint32_t i = 0; i < rcListCount(conn->pending); ++i) {
        const rcPendingOption *p = static_cast<const rcPendingOption *>(rcListAt(conn->pending, i));
        if (IsTextOption(p->option))
            rcMemFree(reinterpret_cast<char *>(static_cast<uintptr_t>(p->value)));
    }
    rcListDestroy(conn->pending);
    conn->pending = nullptr;
}

int16_t rcConReplayPending(rcConn *conn)
{
    int16_t result = 0;
    if (!conn->pending)
        return 0;
    for (uint32_t i = 0; i < rcListCount(conn->pending) && result != -1; ++i) {
        const rcPendingOption *p = static_cast<const rcPendingOption *>(rcListAt(conn->pending, i));
        uintptr_t value = static_cast<uintptr_t>(p->value);
        result = rcConSetOption(conn, p->option, &value);
    }
    rcConFreePending(conn);
    return result;
}

int16_t rcConSetOption(rcConn *conn, uint16_t option, uintptr_t *value)
{
    if (option == SQL_LOGIN_TIMEOUT) // kept (rcConStoreOption) for the next connect
        return 0;
    if (!conn->session) {
        switch (option) {
        case SQL_ACCESS_MODE:
        case SQL_AUTOCOMMIT:
        case SQL_TRANSLATE_DLL:
        case SQL_TRANSLATE_OPTION:
        case SQL_TXN_ISOLATION:
        case SQL_CURRENT_QUALIFIER:
        case SQL_QUIET_MODE: break;
        default: return Raise(conn, RC_MSG_DRIVER_NOT_CAPABLE);
        }
        if (!conn->pending) {
            conn->pending = rcListCreate(5, sizeof(rcPendingOption), false, 0);
            if (!conn->pending)
                return Raise(conn, RC_MSG_MEMORY_ALLOCATION_ERROR);
        }
        rcPendingOption entry{option, *value};
        if (IsTextOption(option)) {
            // Copied now: the application's text need not outlive the call.
            const char *text = reinterpret_cast<const char *>(*value);
            char *copy = text ? CopyOptionText(text) : nullptr;
            if (text && !copy)
                return Raise(conn, RC_MSG_MEMORY_ALLOCATION_ERROR);
            entry.value = reinterpret_cast<uintptr_t>(copy);
        }
        if (rcListAppend(conn->pending, &entry) != 0) {
            if (IsTextOption(option))
                rcMemFree(reinterpret_cast<char *>(static_cast<uintptr_t>(entry.value)));
            return Raise(conn, RC_MSG_MEMORY_ALLOCATION_ERROR);
        }
        return 0;
    }
    switch (option) {
    case SQL_ACCESS_MODE:
    case SQL_QUIET_MODE: return 0;
    case SQL_AUTOCOMMIT: {
        if (*value == 0) {
            uint32_t capability = 0;
            int32_t rc = TamGetSessionInfo(conn->session, 115, &capability, sizeof capability);
            if (rc != 0) {
                rcErrPostConnDrm(conn, rc);
                return -1;
            }
            if (capability == 0 || capability == 5)
                return Raise(conn, RC_MSG_DRIVER_NOT_CAPABLE);
            if (rcTxnAnyActive() && rcTxnStateRef(conn) && rcTxnIsAutoCommit(conn)) {
                TamSetTransact(conn->session, kDrmTransactCommit);
                rcTxnClearState(conn);
            }
            return static_cast<int16_t>(rcTxnSetAutoCommit(conn, 0));
        }
        if (*value == 1)
            return static_cast<int16_t>(rcTxnSetAutoCommit(conn, 1));
        return Raise(conn, RC_MSG_DRIVER_NOT_CAPABLE);
    }
    case SQL_TRANSLATE_DLL:
    case SQL_TRANSLATE_OPTION:
        if (conn->state >= RC_CONN_CONNECTED) {
            int32_t rc = option == SQL_TRANSLATE_DLL ? TamSetTranslateDll(conn->session, *value, 0)
                                                     : TamSetTranslateOption(conn->session, *value);
            if (rc != 0)
                return Raise(conn, RC_MSG_DRIVER_UNABLE_LOAD_TRANSLATE_DLL);
        }
        return 0;
    case SQL_TXN_ISOLATION: {
        rcTxnSetFlag(static_cast<uint32_t>(*value));
        int32_t rc = TamSetSessionOption(conn->session, 2, static_cast<uint32_t>(*value));
        if (rc != 0) {
            rcErrPostConnDrm(conn, rc);
            return -1;
        }
        return 0;
    }
    case SQL_CURRENT_QUALIFIER: {
        const char *text = reinterpret_cast<const char *>(*value);
        if (!text)
            return Raise(conn, RC_MSG_INVALID_ARGUMENT_VALUE);
        std::string q;
        if (OpenQualifier(conn, text, &q) != 0)
            return -1;
        int32_t native = 0;
        return rcConOpenQualifier(conn, q.c_str(), &native);
    }
    default: return Raise(conn, RC_MSG_DRIVER_NOT_CAPABLE);
    }
}

int16_t rcConStoreOption(uint16_t option, rcConn *conn, uintptr_t value)
{
    switch (option) {
    case SQL_ACCESS_MODE: conn->accessMode = static_cast<uint32_t>(value); break;
    case SQL_AUTOCOMMIT: conn->autoCommit = static_cast<uint32_t>(value); break;
    case SQL_LOGIN_TIMEOUT: conn->loginTimeout = static_cast<uint32_t>(value); break;
    case SQL_TRANSLATE_DLL: return rcXlateLoad(conn, reinterpret_cast<const char *>(value));
    case SQL_TRANSLATE_OPTION:
        conn->xlate.option = static_cast<uint32_t>(value);
        rcXlateMeasure(conn);
        break;
    case SQL_TXN_ISOLATION: conn->txnIsolation = static_cast<uint32_t>(value); break;
    case SQL_CURRENT_QUALIFIER:
        // Connected, rcConOpenQualifier stored the checked value already.
        if (!conn->session && value)
            rcUtlCopyString(reinterpret_cast<const char *>(value), conn->qualifier,
                            kRcQualifierMax);
        conn->qualifier[kRcQualifierMax] = '\0';
        break;
    case SQL_ODBC_CURSORS: conn->odbcCursors = static_cast<uint32_t>(value); break;
    case SQL_QUIET_MODE:
        conn->quietMode = value;
        conn->quietModeSet = 1;
        break;
    case SQL_PACKET_SIZE: conn->packetSize = static_cast<uint32_t>(value); break;
    default: break;
    }
    return 0;
}

void rcConReadOption(uint16_t option, rcConn *conn, void *out)
{
    auto put = [out](uint32_t v) { std::memcpy(out, &v, sizeof v); };
    switch (option) {
    case SQL_ACCESS_MODE: put(conn->accessMode); break;
    case SQL_AUTOCOMMIT: put(conn->autoCommit); break;
    case SQL_LOGIN_TIMEOUT: put(conn->loginTimeout); break;
    case SQL_TRANSLATE_DLL:
        rcCopyOutString(static_cast<char *>(out), conn->xlateName ? conn->xlateName : "",
                        kRcOptionOutMax, nullptr);
        break;
    case SQL_TRANSLATE_OPTION: put(conn->xlate.option); break;
    case SQL_TXN_ISOLATION: put(conn->txnIsolation); break;
    case SQL_CURRENT_QUALIFIER:
        rcCopyOutString(static_cast<char *>(out), conn->qualifier, kRcOptionOutMax, nullptr);
        break;
    case SQL_ODBC_CURSORS: put(conn->odbcCursors); break;
    case SQL_QUIET_MODE: std::memcpy(out, &conn->quietMode, sizeof conn->quietMode); break;
    case SQL_PACKET_SIZE: put(conn->packetSize); break;
    default: break;
    }
}

int16_t rcConSetConnectOption(rcConn *conn, uint16_t option, uintptr_t value)
{
    int16_t result = SQL_SUCCESS;
    bool warning = false;
    if (!conn->statements) {
        result = Raise(conn, RC_MSG_MEMORY_ALLOCATION_ERROR);
    } else if (rcConnStmtBusy(conn)) {
        result = Raise(conn, RC_MSG_FUNCTION_SEQUENCE_ERROR);
    } else if (option == SQL_TXN_ISOLATION && conn->state >= RC_CONN_TRANSACTION) {
        result = Raise(conn, RC_MSG_OPERATION_INVALID_AT_TIME);
    } else if (option <= SQL_ROW_NUMBER) { // the statement options
        result = rcConnSetStmtOptions(conn, option, value);
        if (result != SQL_ERROR) {
            warning = result == SQL_SUCCESS_WITH_INFO;
            result = SQL_SUCCESS;
        }
    } else {
        uintptr_t v = value;
        result = rcConSetOption(conn, option, &v);
        if (result != SQL_ERROR) {
            if (v != value) {
                rcErrRaise(&conn->errors, RC_MSG_OPTION_VALUE_CHANGED);
                warning = true;
            }
            if (option >= SQL_ACCESS_MODE && option <= SQL_PACKET_SIZE)
                result = rcConStoreOption(option, conn, v);
        }
    }
    if (result == SQL_SUCCESS && warning)
        result = SQL_SUCCESS_WITH_INFO;
    return result;
}

void rcConGetConnectOption(rcConn *conn, uint16_t option, void *out)
{
    if (!out)
        return;
    if (option >= SQL_ACCESS_MODE && option <= SQL_PACKET_SIZE)
        rcConReadOption(option, conn, out);
    else if (option == 1161)
        rcCopyOutString(static_cast<char *>(out), rcUtlLoadString(RC_TXT_VERSION4_0),
                        kRcOptionOutMax, nullptr);
}

void rcConGetFunctions(rcConn *conn, uint16_t function, uint16_t *exists)
{
    if (!exists)
        return;
    if (function == SQL_API_ALL_FUNCTIONS)
        std::memcpy(exists, conn->functions, sizeof conn->functions);
    else
        *exists = function < kRcFunctionTableSize ? conn->functions[function] : 0;
}
