// Settings of data sources read by path, and the settings root.
//
// The settings root is one process-wide text, a root name and a key path
// separated by backslashes ("HKEY_CURRENT_USER\Software\ODBC\odbc.ini"). It
// starts empty; the first connection allocation sets it when still empty.
// A data source's settings are the keys of the section named like the data
// source. On this platform the path's last part names the profile file
// ("odbc.ini") read through the ODBC installer library, so ODBCINI and
// ODBCSYSINI choose where the settings live. The last part may also be an
// absolute file path ("HKEY_CURRENT_USER\/etc/qx/trace.ini"): only backslashes
// separate parts. The root name and the parts between select nothing more.
//
//   n = rcRegGetIniValue(root, section, key, default, buffer, size)
//     key given: n is the bytes stored, terminator included; 0 when there is no
//                root, the key is missing or its value does not fit (the default
//                is then copied, cut to size - 1 characters and always
//                terminated). Without a root the buffer is not touched.
//     key null:  the section's key names, each terminated, ended by an empty
//                name; a name that does not fit cuts the list there (answer
//                size - 2), else the bytes used, final terminator included.
#pragma once

#include <cstddef>
#include <string>

std::string rcRegGetIniRoot();
void rcRegSetIniRoot(const char *root);
// Sets the root only when it is empty (the first connection allocation).
void rcRegInitIniRoot(const char *root);

int rcRegGetIniValue(const char *root, const char *section, const char *key,
                     const char *defaultValue, char *buffer, int size);

// The profile file a root path names ("odbc.ini" for the usual root); empty for
// an empty root.
std::string rcRegFileOfRoot(const char *root);

constexpr const char *kRcDefaultIniRoot = "HKEY_CURRENT_USER\\Software\\ODBC\\odbc.ini";
