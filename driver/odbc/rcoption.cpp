// Connection and statement options, and the supported-function table.
#include "driver/odbc/rcoption.h"

#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcentry.h"
#include "driver/odbc/rcstmt_handle.h"
#include "driver/core/rcmem.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcstr.h"
#include "driver/core/rcstrings.h"
#include "driver/core/rctrace.h"
#include "driver/odbc/rctranslate.h"
#include "driver/engine/tam.h"
#include "driver/engine/tam_drminfo.h"
#include "driver/odbc/rctxn.h"
#include "platform/strings.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

bool IsTextOption(uint16_t option) { return option == 106 || option == 109; }

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

int16_t Raise(rcConn *conn, uint32_t id) { return static_cast<int16_t>(rcErrRaise(&conn->errors, id)); }

// The qualifier check of option 109: length, trailing blanks, and on data
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
        bool drive = q.size() >= 3 && std::isalpha(static_cast<unsigned char>(q[0])) && q[1] == ':' && q[2] == '\\';
        if (!drive || !rcUtlIsDrivePath(q.c_str())) {
            std::string term = conn->info.qualTerm ? conn->info.qualTerm : "";
            for (char &c : term)
                c = PlatAsciiLower(c);
            char message[kRcQualifierMax + 300];
            std::snprintf(message, sizeof message, rcUtlLoadString(RC_TXT_INVALID_VALUE), term.c_str(), q.c_str());
            rcErrPost(&conn->errors, RC_MSG_GENERAL_ERROR, nullptr, 0, message);
            return -1;
        }
    }
    *out = q;
    return 0;
}

} // namespace

void rcStmtStoreOption(uint16_t option, uint32_t *block, uint32_t value)
{
    static constexpr int8_t kWord[15] = {0, 1, 4, 2, 3, 5, 10, 7, 9, 8, 12, 11, 13, 14, 15};
    if (option > 14)
        return;
    if (option == 3 && static_cast<int32_t>(value + 1u) <= 0)
        value -= 1;
    block[kWord[option]] = value;
}

void rcStmtReadOption(uint16_t option, const uint32_t *block, uint32_t *out)
{
    static constexpr int8_t kWord[15] = {0, 1, 4, 2, 3, 5, 10, 7, 9, 8, 12, 11, 13, 14, 15};
    if (option <= 14)
        *out = block[kWord[option]];
}

void rcConnInitFunctions(rcConn *conn, int level)
{
    std::memset(conn->functions, 0, sizeof conn->functions);
    for (int id = 1; id <= 23; ++id)
        conn->functions[id] = id == 22 ? 0 : 1;
    if (level >= 1) {
        for (int id = 40; id <= 54; ++id)
            conn->functions[id] = 1;
        conn->functions[72] = 1;
    }
    if (level >= 2) {
        for (int id = 55; id <= 72; ++id)
            conn->functions[id] = (id == 59 || id == 64 || id == 68 || id == 69) ? 0 : 1;
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
    if (option == 103) // SQL_LOGIN_TIMEOUT: kept (rcConStoreOption) for the next connect
        return 0;
    if (!conn->session) {
        switch (option) {
        case 101: case 102: case 106: case 107: case 108: case 109: case 111:
            break;
        default:
            return Raise(conn, RC_MSG_DRIVER_NOT_CAPABLE);
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
    case 101:
    case 111:
        return 0;
    case 102: {
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
                TamSetTransact(conn->session, 4);
                conn->txnOpen = 0;
            }
            return static_cast<int16_t>(rcTxnSetAutoCommit(conn, 0));
        }
        if (*value == 1)
            return static_cast<int16_t>(rcTxnSetAutoCommit(conn, 1));
        return Raise(conn, RC_MSG_DRIVER_NOT_CAPABLE);
    }
    case 106:
    case 107:
        if (conn->state >= RC_CONN_CONNECTED) {
            int32_t rc = option == 106 ? TamSetTranslateDll(conn->session, *value, 0)
                                       : TamSetTranslateOption(conn->session, *value);
            if (rc != 0)
                return Raise(conn, RC_MSG_DRIVER_UNABLE_LOAD_TRANSLATE_DLL);
        }
        return 0;
    case 108: {
        rcTxnSetFlag(static_cast<uint32_t>(*value));
        int32_t rc = TamSetSessionOption(conn->session, 2, static_cast<uint32_t>(*value));
        if (rc != 0) {
            rcErrPostConnDrm(conn, rc);
            return -1;
        }
        return 0;
    }
    case 109: {
        const char *text = reinterpret_cast<const char *>(*value);
        if (!text)
            return Raise(conn, RC_MSG_INVALID_ARGUMENT_VALUE);
        std::string q;
        if (OpenQualifier(conn, text, &q) != 0)
            return -1;
        int32_t native = 0;
        return rcConSetQualifier(conn, q.c_str(), &native);
    }
    default:
        return Raise(conn, RC_MSG_DRIVER_NOT_CAPABLE);
    }
}

int16_t rcConStoreOption(uint16_t option, rcConn *conn, uintptr_t value)
{
    switch (option) {
    case 101: conn->accessMode = static_cast<uint32_t>(value); break;
    case 102: conn->autoCommit = static_cast<uint32_t>(value); break;
    case 103: conn->loginTimeout = static_cast<uint32_t>(value); break;
    case 106: return rcXlateLoad(conn, reinterpret_cast<const char *>(value));
    case 107: conn->xlate.option = static_cast<uint32_t>(value); break;
    case 108: conn->txnIsolation = static_cast<uint32_t>(value); break;
    case 109:
        // Connected, rcConSetQualifier stored the checked value already.
        if (!conn->session && value)
            rcUtlCopyString(reinterpret_cast<const char *>(value), conn->qualifier, kRcQualifierMax);
        conn->qualifier[kRcQualifierMax] = '\0';
        break;
    case 110: conn->odbcCursors = static_cast<uint32_t>(value); break;
    case 111: conn->quietMode = value; break;
    case 112: conn->packetSize = static_cast<uint32_t>(value); break;
    default: break;
    }
    return 0;
}

void rcConReadOption(uint16_t option, rcConn *conn, void *out)
{
    auto put = [out](uint32_t v) { std::memcpy(out, &v, sizeof v); };
    switch (option) {
    case 101: put(conn->accessMode); break;
    case 102: put(conn->autoCommit); break;
    case 103: put(conn->loginTimeout); break;
    case 106: rcCopyOutString(static_cast<char *>(out), conn->xlateName ? conn->xlateName : "",
                              kRcOptionOutMax, nullptr); break;
    case 107: put(conn->xlate.option); break;
    case 108: put(conn->txnIsolation); break;
    case 109: rcCopyOutString(static_cast<char *>(out), conn->qualifier, kRcOptionOutMax, nullptr); break;
    case 110: put(conn->odbcCursors); break;
    case 111: std::memcpy(out, &conn->quietMode, sizeof conn->quietMode); break;
    case 112: put(conn->packetSize); break;
    default: break;
    }
}

int16_t SQLSetConnectOptionImpl(rcConn *conn, uint16_t option, uintptr_t value, bool fromApp)
{
    rcCall call(conn, "SQLSetConnectOption", fromApp ? 0u : unsigned{RC_CALL_INTERNAL}, "SQLSetConnectOption(0x%08lx, %u, %lu)",
                reinterpret_cast<unsigned long>(conn), option, static_cast<unsigned long>(value));
    int16_t result = 0;
    bool warning = false;
    if (!conn->statements) {
        result = Raise(conn, RC_MSG_MEMORY_ALLOCATION_ERROR);
    } else if (rcConnStmtBusy(conn)) {
        result = Raise(conn, RC_MSG_FUNCTION_SEQUENCE_ERROR);
    } else if (option == 108 && conn->state >= RC_CONN_TRANSACTION) {
        result = Raise(conn, RC_MSG_OPERATION_INVALID_AT_TIME);
    } else if (option <= 14) {
        result = rcConnSetStmtOptions(conn, option, value);
        if (result != -1) {
            warning = result == 1;
            result = 0;
            rcStmtStoreOption(option, conn->stmtDefaults, static_cast<uint32_t>(value));
        }
    } else {
        uintptr_t v = value;
        result = rcConSetOption(conn, option, &v);
        if (result != -1) {
            if (v != value) {
                rcErrRaise(&conn->errors, RC_MSG_OPTION_VALUE_CHANGED);
                warning = true;
            }
            if (option >= 101 && option <= 112)
                result = rcConStoreOption(option, conn, v);
        }
    }
    if (result == 0 && warning)
        result = 1;
    return call.done(result);
}

int16_t SQLGetConnectOptionImpl(rcConn *conn, uint16_t option, void *out)
{
    rcCall call(conn, "SQLGetConnectOption", RC_CALL_BUSY_CHECK, "SQLGetConnectOption(0x%08lx, %u, 0x%08lx)",
                reinterpret_cast<unsigned long>(conn), option, reinterpret_cast<unsigned long>(out));
    int16_t result = 0;
    if (call.refused()) {
        result = SQL_ERROR;
    } else if (out) {
        if (option >= 101 && option <= 112)
            rcConReadOption(option, conn, out);
        else if (option == 1161)
            rcCopyOutString(static_cast<char *>(out), rcUtlLoadString(RC_TXT_VERSION4_0), kRcOptionOutMax, nullptr);
    }
    return call.done(result);
}

int16_t SQLGetFunctionsImpl(rcConn *conn, uint16_t function, uint16_t *exists)
{
    rcCall call(conn, "SQLGetFunctions", 0, "SQLGetFunctions(0x%08lx, %u, 0x%08lx)",
                reinterpret_cast<unsigned long>(conn), function, reinterpret_cast<unsigned long>(exists));
    if (exists) {
        if (function == 0)
            std::memcpy(exists, conn->functions, sizeof conn->functions);
        else
            *exists = function < kRcFunctionTableSize ? conn->functions[function] : 0;
    }
    return call.done(SQL_SUCCESS);
}
