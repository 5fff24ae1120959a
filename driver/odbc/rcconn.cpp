// The connection record's shared routines (see rcconn.h).
#include "driver/odbc/rcconn.h"

#include "driver/core/rcmsgid.h"
#include "driver/core/rcstr.h"
#include "driver/core/rcstrings.h"
#include "driver/engine/tam.h"

#include <cstring>

void rcErrPostConnDrm(rcConn *conn, int32_t code)
{
    struct Ctx {
        TamSession *session;
    } ctx{conn->session};
    auto text = [](void *c, int32_t drmCode, char *buffer, size_t size) {
        uint32_t got = 0;
        TamGetExtErrStr(static_cast<Ctx *>(c)->session, drmCode, buffer,
                        static_cast<uint32_t>(size), &got);
    };
    rcErrPostStmtDrm(&conn->errors, rcErrMapDrm(code), code, nullptr, text, &ctx);
}

int16_t rcConOpenQualifier(rcConn *conn, const char *text, int32_t *native)
{
    *native = 0;
    size_t n = strnlen(text, kRcQualifierMax + 1);
    if (n > kRcQualifierMax) {
        rcErrPost(&conn->errors, RC_MSG_UNABLE_CONNECT_DATABASE_SERVER, nullptr, 0,
                  rcUtlLoadString(RC_TXT_PATH_NAME_GREATER_THAN_CURRENT));
        return -1;
    }
    if (conn->session && conn->state >= RC_CONN_CONNECTED) {
        int32_t rc = TamUseDatabase(conn->session, text);
        if (rc != 0) {
            *native = rc;
            rcErrPostConnDrm(conn, rc);
            return -1;
        }
    }
    std::memmove(conn->qualifier, text, n);
    conn->qualifier[n] = '\0';
    ++conn->prepareEpoch; // table names resolve in the new qualifier
    return 0;
}
