// Data-source configuration (see dsn_config.h).
#include "dsnconfig/dsn_config.h"

#include "dsnconfig/dsn_dialog.h"
#include "dsnconfig/dsn_strings.h"
#include "platform/dialog.h"

#include <odbcinst.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <vector>

namespace {

constexpr const char *kOdbcIni = "ODBC.INI";
constexpr size_t kProfileBuffer = 8192;

struct KeySlot {
    const char *key;
    DsnSlot slot;
};
constexpr KeySlot kKeys[] = {
    {"DSN", DSN_SLOT_NAME},
    {"Description", DSN_SLOT_DESCRIPTION},
    {"DESC", DSN_SLOT_DESCRIPTION},
    {"DBQ", DSN_SLOT_DBQ},
};

std::string Format(int id, const std::string &arg)
{
    std::string text = DsnLoadString(id);
    size_t at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, arg);
    return text;
}

// The keys of a section, in file order.
std::vector<std::string> SectionKeys(const std::string &name)
{
    std::vector<char> buf(kProfileBuffer, 0);
    int n = SQLGetPrivateProfileString(name.c_str(), nullptr, "", buf.data(), int(buf.size()),
                                       kOdbcIni);
    std::vector<std::string> keys;
    for (size_t i = 0; n > 0 && i < size_t(n) && i < buf.size() && buf[i];
         i += std::strlen(&buf[i]) + 1)
        keys.emplace_back(&buf[i]);
    return keys;
}

bool WriteKey(const std::string &name, const char *key, const std::string &value)
{
    if (SQLWritePrivateProfileString(name.c_str(), key, value.c_str(), kOdbcIni))
        return true;
    DsnPostError(ODBC_ERROR_WRITING_SYSINFO_FAILED,
                 "cannot write " + std::string(key) + " of data source " + name);
    return false;
}

// Shows a refusal with a window; the installer error is posted either way.
void Refuse(const DsnCall &call, uint32_t code, const std::string &text)
{
    if (call.window)
        PlatDialogCurrent()->Message(DsnLoadString(DSN_TXT_SETUP_CAPTION), text);
    DsnPostError(code, text);
}

} // namespace

void DsnPostError(uint32_t code, const std::string &text)
{
    SQLPostInstallerError(code, text.c_str());
}

bool DsnParseAttributes(const char *list, DsnAttributes *out)
{
    *out = DsnAttributes{};
    for (const char *p = list; p && *p; p += std::strlen(p) + 1) {
        const char *eq = std::strchr(p, '=');
        if (!eq)
            break;
        size_t keyLength = size_t(eq - p);
        if (keyLength > kDsnKeyMax)
            continue;
        std::string key(p, keyLength);
        for (const KeySlot &k : kKeys) {
            if (strcasecmp(key.c_str(), k.key) != 0)
                continue;
            std::string value(eq + 1);
            if (value.size() > kDsnValueMax) {
                DsnPostError(ODBC_ERROR_INVALID_KEYWORD_VALUE,
                             "the value of " + key + " is longer than 255 characters");
                return false;
            }
            out->given[k.slot] = true;
            out->value[k.slot] = value;
        }
    }
    return true;
}

bool DsnIsBadName(const std::string &name)
{
    if (name.find_first_not_of(' ') == std::string::npos)
        return true;
    return name.find_first_of(DsnLoadString(DSN_TXT_BAD_NAME_CHARS)) != std::string::npos;
}

bool DsnIsValidName(const std::string &name)
{
    return !name.empty() && name.size() <= kDsnNameMax &&
           std::isalpha(static_cast<unsigned char>(name[0])) && !DsnIsBadName(name);
}

bool DsnExists(const std::string &name) { return !name.empty() && !SectionKeys(name).empty(); }

std::string DsnReadKey(const std::string &name, const char *key)
{
    std::vector<char> buf(kProfileBuffer, 0);
    SQLGetPrivateProfileString(name.c_str(), key, "", buf.data(), int(buf.size()), kOdbcIni);
    return std::string(buf.data());
}

int DsnSetDataSource(const DsnCall &call, const std::string &name, const std::string *description,
                     const std::string *dbq)
{
    if (name.empty()) {
        DsnPostError(ODBC_ERROR_INVALID_NAME, "no data source name given");
        return DSN_FALSE;
    }
    if (!DsnIsValidName(name)) {
        Refuse(call, ODBC_ERROR_INVALID_NAME, Format(DSN_TXT_BAD_NAME, name));
        return DSN_FALSE;
    }
    bool renaming =
        !call.givenName.empty() && strcasecmp(call.givenName.c_str(), name.c_str()) != 0;
    bool exists = DsnExists(name);
    if (renaming && exists) {
        Refuse(call, ODBC_ERROR_INVALID_NAME, Format(DSN_TXT_EXISTS, name));
        return DSN_FALSE;
    }
    if (call.add && call.window && exists &&
        !PlatDialogCurrent()->Ask("", Format(DSN_TXT_OVERWRITE, name))) {
        DsnPostError(ODBC_ERROR_USER_CANCELED,
                     "data source " + name + " exists and was not overwritten");
        return DSN_FALSE;
    }
    // The keys a rename carries over, read before anything changes.
    std::vector<std::pair<std::string, std::string>> carried;
    if (renaming)
        for (const std::string &key : SectionKeys(call.givenName))
            if (strcasecmp(key.c_str(), "Driver") != 0)
                carried.emplace_back(key, DsnReadKey(call.givenName, key.c_str()));
    if (!exists) {
        if (!SQLWriteDSNToIni(name.c_str(), call.driver.c_str())) {
            DsnPostError(ODBC_ERROR_CREATE_DSN_FAILED, "cannot register data source " + name);
            return DSN_FALSE;
        }
    } else if (!WriteKey(name, "Driver", call.driver)) {
        return DSN_FALSE;
    }
    for (const auto &[key, value] : carried)
        if (!WriteKey(name, key.c_str(), value))
            return DSN_FALSE;
    if (description && !WriteKey(name, "Description", *description))
        return DSN_FALSE;
    if (dbq && !WriteKey(name, "DBQ", *dbq))
        return DSN_FALSE;
    if (renaming && !SQLRemoveDSNFromIni(call.givenName.c_str())) {
        DsnPostError(ODBC_ERROR_REMOVE_DSN_FAILED, "cannot remove data source " + call.givenName);
        return DSN_FALSE;
    }
    return DSN_TRUE;
}

int DsnConfigure(bool window, uint16_t request, const char *driver, const char *attributes)
{
    if (request != ODBC_ADD_DSN && request != ODBC_CONFIG_DSN && request != ODBC_REMOVE_DSN) {
        DsnPostError(ODBC_ERROR_INVALID_REQUEST_TYPE,
                     "request " + std::to_string(request) + " is not known");
        return DSN_FALSE;
    }
    DsnCall call;
    if (!DsnParseAttributes(attributes, &call.attributes))
        return DSN_FALSE;
    const DsnAttributes &a = call.attributes;
    call.givenName = a.value[DSN_SLOT_NAME];
    if (call.givenName.size() > kDsnNameMax) {
        DsnPostError(ODBC_ERROR_INVALID_NAME, "the data source name is longer than 32 characters");
        return DSN_FALSE;
    }
    if (request == ODBC_REMOVE_DSN) {
        if (call.givenName.empty()) {
            DsnPostError(ODBC_ERROR_INVALID_NAME, "no data source name given");
            return DSN_FALSE;
        }
        if (!SQLRemoveDSNFromIni(call.givenName.c_str())) {
            DsnPostError(ODBC_ERROR_REMOVE_DSN_FAILED,
                         "cannot remove data source " + call.givenName);
            return DSN_FALSE;
        }
        return DSN_TRUE;
    }
    if (!driver || !*driver) {
        DsnPostError(ODBC_ERROR_INVALID_NAME, "no driver description given");
        return DSN_FALSE;
    }
    call.window = window;
    call.driver = driver;
    call.add = request == ODBC_ADD_DSN;
    call.isDefault = strcasecmp(call.givenName.c_str(), "Default") == 0;
    if (window)
        return DsnRunDialog(call);
    return DsnSetDataSource(call, call.givenName,
                            a.given[DSN_SLOT_DESCRIPTION] ? &a.value[DSN_SLOT_DESCRIPTION]
                                                          : nullptr,
                            a.given[DSN_SLOT_DBQ] ? &a.value[DSN_SLOT_DBQ] : nullptr);
}
