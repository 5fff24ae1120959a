// Logon and table-password dialogs: UI-free models shown through the
// platform's dialog provider (platform/dialog.h).
//
//   rcUiLoginDialog(conn, login, window)    0 OK (or nothing to ask), 100 Cancel, -1 not shown
//   rcUiTablePasswordDialog(stmt, table, password, size)   0 OK, -1 cancelled
//   rcUiErrorBox(text)                      "Logon Error" message
// The models bound every answer to its field's limit (user name 128,
// password 30 characters) whatever the provider returns.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/dialog.h"

struct rcConn;
struct rcLoginBuffer;

inline constexpr size_t kRcLoginUserMax = 128;
inline constexpr size_t kRcLoginPasswordMax = 31; // the login record's password field

// The logon dialog's model: fields, their state and the result.
struct rcLoginModel {
    bool askUser = false;
    bool askPassword = false;
    std::vector<PlatDialogField> fields; // 0 user name, 1 password
    size_t focus = 0;

    void Init(const char *uid, const char *pwd);
    // Copies the answers into uid/pwd (buffers of the login buffer's size).
    void Apply(char *uid, size_t uidSize, char *pwd, size_t pwdSize) const;
};

int rcUiLoginDialog(rcConn *conn, rcLoginBuffer *login, void *window);
int rcUiTablePasswordDialog(void *stmt, const char *table, char *password, size_t size);
void rcUiErrorBox(const char *text);
