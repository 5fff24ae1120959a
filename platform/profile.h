// Profile reads: settings of data sources come from odbc.ini through the ODBC
// installer library (unixODBC's odbcinst), which honours ODBCSYSINI and ODBCINI.
#pragma once

// Reads key of section from file ("odbc.ini") into buffer (size bytes, always
// terminated when size > 0). A null key lists the section's keys, each followed
// by a terminator. Answers the number of characters stored (without the final
// terminator); the default is copied when the key is missing.
int PlatGetProfileString(const char *section, const char *key, const char *defaultValue,
                         char *buffer, int size, const char *file);
