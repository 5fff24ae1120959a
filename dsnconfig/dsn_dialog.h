// The data-source dialog: a UI-free model shown through the platform's
// dialog provider (platform/dialog.h).
//
//   DsnDialogModel m;  m.Init(call);
//   then per answer of the provider:
//     m.Browse()      lets the user pick a server; the network path field gets it
//     m.Test()        connects with the user name and password fields and
//                     reports the result in a message; nothing is stored
//     m.Finish(call)  OK: writes the data source (DsnSetDataSource)
// DsnRunDialog runs the whole dialog and returns what writing gave: DSN_TRUE
// only when every installer call succeeded; Cancel gives DSN_FALSE.
//
// Fields: 0 name (32 characters, disabled for "Default"), 1 description (80),
// 2 network path (the DBQ, 79 characters after the component name), 3 user
// name and 4 password (31 each, the login record's fields).
#pragma once

#include "dsnconfig/dsn_config.h"
#include "platform/dialog.h"

#include <string>
#include <vector>

enum DsnDialogButton : int {
    DSN_BUTTON_HELP = 106,
    DSN_BUTTON_BROWSE = 108,
    DSN_BUTTON_TEST = 109,
};

enum DsnDialogField : size_t {
    DSN_FIELD_NAME = 0,
    DSN_FIELD_DESCRIPTION = 1,
    DSN_FIELD_PATH = 2,
    DSN_FIELD_USER = 3,
    DSN_FIELD_PASSWORD = 4,
};

inline constexpr size_t kDsnDescriptionMax = 80;
inline constexpr size_t kDsnLoginFieldMax = 31;
inline constexpr size_t kDsnPathMax = 255;

struct DsnDialogModel {
    std::vector<PlatDialogField> fields;

    void Init(const DsnCall &call);
    std::vector<PlatDialogButton> Buttons() const;
    // OK can be pressed: a name (or the "Default" data source).
    bool CanFinish(const DsnCall &call) const;
    // 0 when a server was chosen, else the selection's status.
    int Browse();
    // The status of the test connection (0 connected); the message is shown.
    int Test();
    int Finish(const DsnCall &call);
};

int DsnRunDialog(const DsnCall &call);
