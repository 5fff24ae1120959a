// The data-source dialog (see dsn_dialog.h).
#include "dsnconfig/dsn_dialog.h"

#include "driver/Sources/drm_netlink.h"
#include "dsnconfig/dsn_strings.h"

#include <odbcinst.h>

#include <algorithm>

namespace {

constexpr int kStatusNoServer = -10021; // "No server was found."

std::string Bounded(const std::string &value, size_t limit)
{
    return value.substr(0, std::min(value.size(), limit));
}

} // namespace

void DsnDialogModel::Init(const DsnCall &call)
{
    const DsnAttributes &a = call.attributes;
    fields.assign(5, PlatDialogField{});
    fields[DSN_FIELD_NAME].label = "Data Source &Name";
    fields[DSN_FIELD_NAME].limit = kDsnNameMax;
    fields[DSN_FIELD_DESCRIPTION].label = "D&escription";
    fields[DSN_FIELD_DESCRIPTION].limit = kDsnDescriptionMax;
    fields[DSN_FIELD_PATH].label = "&Network Path";
    fields[DSN_FIELD_PATH].limit = kDsnPathMax;
    fields[DSN_FIELD_USER].label = "&User Name";
    fields[DSN_FIELD_USER].limit = kDsnLoginFieldMax;
    fields[DSN_FIELD_PASSWORD].label = "&Password";
    fields[DSN_FIELD_PASSWORD].limit = kDsnLoginFieldMax;
    fields[DSN_FIELD_PASSWORD].hidden = true;
    if (call.isDefault)
        fields[DSN_FIELD_NAME].enabled = false; // "Default" keeps its name
    else
        fields[DSN_FIELD_NAME].value = Bounded(call.givenName, kDsnNameMax);
    if (a.given[DSN_SLOT_DESCRIPTION])
        fields[DSN_FIELD_DESCRIPTION].value = a.value[DSN_SLOT_DESCRIPTION];
    else if (call.add)
        fields[DSN_FIELD_DESCRIPTION].value = DsnLoadString(DSN_TXT_DEFAULT_DESCRIPTION);
    else
        fields[DSN_FIELD_DESCRIPTION].value = DsnReadKey(call.givenName, "Description");
    fields[DSN_FIELD_DESCRIPTION].value =
        Bounded(fields[DSN_FIELD_DESCRIPTION].value, kDsnDescriptionMax);
    fields[DSN_FIELD_PATH].value =
        Bounded(a.given[DSN_SLOT_DBQ] ? a.value[DSN_SLOT_DBQ] : DsnReadKey(call.givenName, "DBQ"),
                kDsnPathMax);
}

std::vector<PlatDialogButton> DsnDialogModel::Buttons() const
{
    bool haveName = !fields[DSN_FIELD_NAME].value.empty() || !fields[DSN_FIELD_NAME].enabled;
    bool havePath = !fields[DSN_FIELD_PATH].value.empty();
    return {
        {DSN_BUTTON_BROWSE, "&Browse", true},
        {DSN_BUTTON_TEST, "&Test data source ...", haveName && havePath},
        {DSN_BUTTON_HELP, "&Help", true},
    };
}

bool DsnDialogModel::CanFinish(const DsnCall &call) const
{
    return call.isDefault || !fields[DSN_FIELD_NAME].value.empty();
}

int DsnDialogModel::Browse()
{
    DrmNetPath path;
    path.component = kDrmNetTcpIp;
    int status = DrmSelectServer(&path);
    if (status != 0)
        return status;
    char text[128];
    DrmFormatNetPath(&path, text, sizeof text);
    fields[DSN_FIELD_PATH].value = text;
    return 0;
}

int DsnDialogModel::Test()
{
    DrmNetPath path;
    int status = kStatusNoServer;
    if (DrmParseNetPath(fields[DSN_FIELD_PATH].value.c_str(), &path)) {
        DrmLoginRecord login;
        std::string application = DsnLoadString(DSN_TXT_TEST_APPLICATION);
        DrmMakeLoginRecord(
            &login, application, Bounded(fields[DSN_FIELD_USER].value, kDsnLoginFieldMax),
            Bounded(fields[DSN_FIELD_PASSWORD].value, kDsnLoginFieldMax), application, 1, 0);
        DrmQxConnection connection = 0;
        status = DrmServerLink(&login, &path, &connection);
    }
    std::string message;
    if (status == 0) {
        message = DsnLoadString(DSN_TXT_TEST_OK);
        DrmCloseAllServerLinks();
    } else {
        message = DsnLoadString(DSN_TXT_TEST_FAILED) + std::to_string(status) + "\n" +
                  DsnLoadString(-status);
    }
    PlatDialogCurrent()->Message(DsnLoadString(DSN_TXT_TEST_CAPTION), message);
    return status;
}

int DsnDialogModel::Finish(const DsnCall &call)
{
    std::string name =
        call.isDefault ? call.givenName : Bounded(fields[DSN_FIELD_NAME].value, kDsnNameMax);
    std::string description = Bounded(fields[DSN_FIELD_DESCRIPTION].value, kDsnDescriptionMax);
    std::string dbq = Bounded(fields[DSN_FIELD_PATH].value, kDsnPathMax);
    return DsnSetDataSource(call, name, &description, &dbq);
}

int DsnRunDialog(const DsnCall &call)
{
    DsnDialogModel m;
    m.Init(call);
    PlatDialogProvider *ui = PlatDialogCurrent();
    for (;;) {
        int r = ui->RunButtons(DsnLoadString(DSN_TXT_DIALOG_TITLE), m.fields, DSN_FIELD_NAME,
                               m.Buttons());
        switch (r) {
        case PLAT_DIALOG_OK:
            if (m.CanFinish(call))
                return m.Finish(call);
            break;
        case DSN_BUTTON_BROWSE: m.Browse(); break;
        case DSN_BUTTON_TEST: m.Test(); break;
        case DSN_BUTTON_HELP:
            ui->Message(DsnLoadString(DSN_TXT_DIALOG_TITLE), DsnLoadString(DSN_TXT_HELP));
            break;
        default:
            DsnPostError(ODBC_ERROR_USER_CANCELED, "the data source dialog was cancelled");
            return DSN_FALSE;
        }
    }
}
