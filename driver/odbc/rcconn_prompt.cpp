// The SQLDriverConnect road with prompting: the login buffer, the logon
// dialog and the retries after a wrong user id or password.
#include "driver/odbc/rcconnect.h"
#include "driver/odbc/rcconnstr.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcregistry.h"
#include "driver/core/rcstrings.h"
#include "driver/core/rctrace.h"
#include "driver/odbc/rcui_dialog.h"
#include "driver/engine/tam_drminfo.h"
#include "platform/codepage.h"
#include "platform/memory.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <unistd.h>

namespace {

constexpr int32_t kInvalidUser = -1903;
constexpr int32_t kInvalidPassword = -1905;

void CopyField(char *out, const char *value)
{
    size_t n = strnlen(value, kRcAttrValueMax);
    std::memmove(out, value, n);
    out[n] = '\0';
}

int16_t TooLong(rcConn *conn)
{
    return static_cast<int16_t>(rcErrRaise(&conn->errors, RC_MSG_INVALID_STRING_BUFFER_LENGTH));
}

// The login values the dialog may have changed are checked again before use.
bool LoginTooLong(const rcLoginBuffer *login)
{
    return std::strlen(login->uid) > kRcLoginUserMax ||
           std::strlen(login->pwd) > kRcLoginPasswordMax;
}

// The dialog's end value is returned as it is; one that could not be shown
// (-1) also leaves a record.
int16_t DialogEnded(rcConn *conn, int shown)
{
    if (shown == -1)
        rcErrRaise(&conn->errors, RC_MSG_GENERAL_ERROR);
    return static_cast<int16_t>(shown);
}

void LoadFlags(rcConn *conn)
{
    uint32_t v = 0;
    if (TamGetDriverInfo(3, &v, sizeof v) == 0)
        conn->passwordRequired = v ? 1 : 0;
    v = 0;
    if (TamGetDriverInfo(4, &v, sizeof v) == 0)
        conn->userRequired = v ? 1 : 0;
}

} // namespace

void rcConFillLogin(rcConn *conn, rcLoginBuffer *login)
{
    login->conn = conn;
    const rcConnAttr *a = conn->attrs;
    CopyField(login->dsn, a[RC_ATTR_DSN].set ? a[RC_ATTR_DSN].value : "");
    CopyField(login->pwd, a[RC_ATTR_PWD].set ? a[RC_ATTR_PWD].value : "");
    CopyField(login->uid, a[RC_ATTR_UID].set ? a[RC_ATTR_UID].value : "");
    CopyField(login->dbq, a[RC_ATTR_DBQ].set ? a[RC_ATTR_DBQ].value : "");
    CopyField(login->codePage, a[RC_ATTR_CODEPAGE].set ? a[RC_ATTR_CODEPAGE].value : "");
}

int16_t rcConLogin(rcLoginBuffer *login)
{
    if (LoginTooLong(login))
        return TooLong(login->conn);
    int32_t native = 0;
    return rcConConnect(login->conn, login->dsn, login->dbq, login->uid, login->pwd,
                        login->codePage, &native);
}

int16_t rcConDriverConnect(rcConn *conn, void *window, uint16_t completion)
{
    // The buffer holds the password the user typed: wiped before it goes.
    auto wipe = [](rcLoginBuffer *b) {
        PlatWipe(b, sizeof *b);
        delete b;
    };
    std::unique_ptr<rcLoginBuffer, decltype(wipe)> login(new (std::nothrow) rcLoginBuffer{}, wipe);
    if (!login)
        return static_cast<int16_t>(rcErrRaise(&conn->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    rcLoginBuffer *b = login.get();
    if (!conn->engineTrace && conn->attrs[RC_ATTR_DSN].value[0])
        conn->engineTrace = rcTraceOpen(rcRegGetIniRoot().c_str(), conn->attrs[RC_ATTR_DSN].value,
                                        "EngineTrace", &conn->options.engineTraceLevel);
    rcConFillLogin(conn, b);
    char value[kRcAttrValueMax + 1];
    if (!conn->attrs[RC_ATTR_DBQ].set) {
        rcConGetKeyword(conn, rcUtlLoadString(RC_TXT_DBQ), value);
        if (!value[0] && (completion == 1 || completion == 3) && !getcwd(value, sizeof value))
            value[0] = '\0';
        CopyField(b->dbq, value);
    }
    if (std::strlen(b->dbq) > kRcQualifierMax)
        return TooLong(conn);
    if (!conn->attrs[RC_ATTR_CODEPAGE].set) {
        rcConGetKeyword(conn, rcUtlLoadString(RC_TXT_CODEPAGE), value);
        if (!value[0])
            std::snprintf(value, sizeof value, "%u", PlatAnsiCodePage());
        CopyField(b->codePage, value);
    }
    LoadFlags(conn);
    if (!conn->attrs[RC_ATTR_UID].set) {
        rcConGetKeyword(conn, rcUtlLoadString(RC_TXT_UID), value);
        CopyField(b->uid, value);
    }
    if (LoginTooLong(b))
        return TooLong(conn);

    int16_t result = -1;
    if (completion == 1 || completion == 3) {
        for (;;) {
            if ((conn->passwordRequired && !b->pwd[0]) || (conn->userRequired && !b->uid[0])) {
                conn->passwordRequired = conn->userRequired = 1;
                int shown = rcUiLoginDialog(conn, b, window);
                if (shown != 0)
                    return DialogEnded(conn, shown);
                if (LoginTooLong(b))
                    return TooLong(conn);
            }
            int32_t native = 0;
            result = rcConConnect(conn, b->dsn, b->dbq, b->uid, b->pwd, b->codePage, &native);
            if (result == 0 || result == 1)
                break;
            if (native == kInvalidUser && conn->userRequired) {
                rcErrClearQueue(&conn->errors);
                rcUiErrorBox(rcUtlLoadString(RC_TXT_INVALID_USER_ID_SPECIFIED));
                b->uid[0] = '\0';
                continue;
            }
            if (native == kInvalidPassword && conn->passwordRequired) {
                rcErrClearQueue(&conn->errors);
                rcUiErrorBox(rcUtlLoadString(RC_TXT_INVALID_PASSWORD_SPECIFIED));
                b->pwd[0] = '\0';
                continue;
            }
            // Any other failure keeps its record; the queue is never emptied
            // before a failure is reported.
            if (!rcErrQueueAny(&conn->errors))
                rcErrRaise(&conn->errors, RC_MSG_GENERAL_ERROR);
            return -1;
        }
    } else {
        conn->userRequired = 1;
        int shown = rcUiLoginDialog(conn, b, window);
        if (shown != 0)
            return DialogEnded(conn, shown);
        result = rcConLogin(b);
        if (result != 0 && result != 1)
            return -1;
    }
    rcConnSetAttr(conn, RC_ATTR_DSN, b->dsn);
    rcConnSetAttr(conn, RC_ATTR_DBQ, b->dbq);
    rcConnSetAttr(conn, RC_ATTR_UID, b->uid);
    rcConnSetAttr(conn, RC_ATTR_PWD, b->pwd);
    rcConnSetAttr(conn, RC_ATTR_CODEPAGE, b->codePage);
    return result;
}
