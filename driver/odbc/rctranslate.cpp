// The connection's translation library (see rctranslate.h).
#include "driver/odbc/rctranslate.h"

#include "driver/odbc/rcconn.h"
#include "driver/core/rcmem.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcregistry.h"
#include "driver/odbc/rcoption.h"
#include "platform/module.h"

#include <cstdlib>
#include <cstring>

void rcXlateUnload(rcConn *conn)
{
    if (conn->xlateModule)
        PlatFreeModule(conn->xlateModule);
    rcMemFree(conn->xlateName);
    conn->xlateName = nullptr;
    conn->xlateModule = nullptr;
    conn->xlate.toSource = nullptr;
    conn->xlate.toDriver = nullptr;
}

int16_t rcXlateLoad(rcConn *conn, const char *name)
{
    if (!name)
        return static_cast<int16_t>(rcErrRaise(&conn->errors, RC_MSG_INVALID_ARGUMENT_VALUE));
    if (!*name) {
        rcXlateUnload(conn);
        return 0;
    }
    size_t n = strnlen(name, kRcXlateNameMax + 1);
    if (n > kRcXlateNameMax) // a cut name would load another file
        return static_cast<int16_t>(
            rcErrRaise(&conn->errors, RC_MSG_DRIVER_UNABLE_LOAD_TRANSLATE_DLL));
    char *copy = static_cast<char *>(rcMemAlloc(n + 1));
    if (!copy)
        return static_cast<int16_t>(rcErrRaise(&conn->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    std::memcpy(copy, name, n);
    copy[n] = '\0';
    PlatModule *module = PlatLoadModule(copy);
    void *toSource = module ? PlatModuleSymbol(module, "SQLDriverToDataSource") : nullptr;
    void *toDriver = module ? PlatModuleSymbol(module, "SQLDataSourceToDriver") : nullptr;
    if (!module || !toSource || !toDriver) {
        if (module)
            PlatFreeModule(module);
        rcMemFree(copy);
        return static_cast<int16_t>(
            rcErrRaise(&conn->errors, RC_MSG_DRIVER_UNABLE_LOAD_TRANSLATE_DLL));
    }
    rcXlateUnload(conn);
    conn->xlateName = copy;
    conn->xlateModule = module;
    conn->xlate.toSource = reinterpret_cast<TamXlateFn>(toSource);
    conn->xlate.toDriver = reinterpret_cast<TamXlateFn>(toDriver);
    return 0;
}

int16_t rcConnLoadTranslation(rcConn *conn)
{
    const char *dsn = conn->attrs ? conn->attrs[RC_ATTR_DSN].value : "";
    std::string root = rcRegGetIniRoot();
    // Room for more than a library name may hold: a name too long to load is
    // refused by rcXlateLoad, never read as "no library".
    char name[4096] = "";
    rcRegGetIniValue(root.c_str(), dsn, "TranslationDLL", "", name, sizeof name);
    bool warning = false;
    if (*name) {
        // The worker, not the export: warnings already queued stay.
        int16_t rc = SQLSetConnectOptionImpl(conn, 106, reinterpret_cast<uintptr_t>(name), false);
        if (rc == -1)
            return -1;
        warning = rc == 1;
    }
    char option[64] = "";
    rcRegGetIniValue(root.c_str(), dsn, "TranslationOption", "", option, sizeof option);
    if (*option) {
        int16_t rc = SQLSetConnectOptionImpl(conn, 107, std::strtoul(option, nullptr, 10), false);
        if (rc == -1)
            return -1;
        warning = warning || rc == 1;
    }
    return warning ? 1 : 0;
}

bool rcXlateDriverToSource(rcConn *conn, rcErrorQueue *stmtErrors, int16_t sqlType, const void *in,
                           int64_t inLength, void *out, int64_t outSize, int64_t *outLength)
{
    return TamTranslateToSource(&conn->xlate, stmtErrors ? stmtErrors : &conn->errors, sqlType, in,
                                inLength, out, outSize, outLength);
}

bool rcXlateSourceToDriver(rcConn *conn, int16_t sqlType, void *buffer, int64_t inLength,
                           int64_t bufferSize, char *errorText)
{
    return TamTranslateToDriver(&conn->xlate, sqlType, buffer, inLength, bufferSize, errorText);
}
