// Logon and table-password dialogs (see rcui_dialog.h).
#include "driver/odbc/rcui_dialog.h"

#include "driver/odbc/rcconn.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcstrings.h"

#include <algorithm>
#include <cstring>

namespace {

void CopyBounded(const std::string &value, size_t limit, char *out, size_t size)
{
    size_t n = std::min({value.size(), limit, size - 1});
    std::memcpy(out, value.data(), n);
    out[n] = '\0';
}

} // namespace

void rcLoginModel::Init(const char *uid, const char *pwd)
{
    fields.assign(2, PlatDialogField{});
    fields[0].label = "&Name:";
    fields[0].limit = kRcLoginUserMax;
    fields[0].enabled = askUser;
    fields[1].label = "&Password:";
    fields[1].limit = kRcLoginPasswordMax;
    fields[1].hidden = true;
    fields[1].enabled = askPassword;
    bool haveUser = uid && *uid;
    bool havePassword = pwd && *pwd;
    if (askUser && haveUser && askPassword && havePassword) {
        fields[0].value.assign(uid, strnlen(uid, kRcLoginUserMax));
        fields[1].value.assign(pwd, strnlen(pwd, kRcLoginPasswordMax));
    }
    if ((askUser && !haveUser) || (askPassword && !havePassword))
        focus = 0;
    else
        focus = 1;
}

void rcLoginModel::Apply(char *uid, size_t uidSize, char *pwd, size_t pwdSize) const
{
    CopyBounded(fields[0].value, kRcLoginUserMax, uid, uidSize);
    CopyBounded(fields[1].value, kRcLoginPasswordMax, pwd, pwdSize);
}

int rcUiLoginDialog(rcConn *conn, rcLoginBuffer *login, void *)
{
    if (!conn->userRequired && !conn->passwordRequired)
        return 0;
    rcLoginModel model;
    model.askUser = conn->userRequired != 0;
    model.askPassword = conn->passwordRequired != 0;
    model.Init(login->uid, login->pwd);
    int result = PlatDialogCurrent()->Run("Logon", model.fields, model.focus);
    if (result != PLAT_DIALOG_OK)
        return result == PLAT_DIALOG_CANCEL ? PLAT_DIALOG_CANCEL : PLAT_DIALOG_FAILED;
    model.Apply(login->uid, sizeof login->uid, login->pwd, sizeof login->pwd);
    return 0;
}

int rcUiTablePasswordDialog(void *, const char *table, char *password, size_t size)
{
    std::vector<PlatDialogField> fields(1);
    fields[0].label =
        std::string(rcUtlLoadString(RC_TXT_TABLE_LABEL)) + (table ? table : "") + " &Password";
    fields[0].limit = kRcLoginPasswordMax;
    fields[0].hidden = true;
    if (PlatDialogCurrent()->Run("Password", fields, 0) != PLAT_DIALOG_OK)
        return -1;
    if (password && size)
        CopyBounded(fields[0].value, kRcLoginPasswordMax, password, size);
    return 0;
}

void rcUiErrorBox(const char *text)
{
    PlatDialogCurrent()->Message(rcUtlLoadString(RC_TXT_LOGON_ERROR), text ? text : "");
}
