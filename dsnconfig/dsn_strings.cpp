// The setup library's string table (see dsn_strings.h).
#include "dsnconfig/dsn_strings.h"

namespace {

struct DsnString {
    int id;
    const char *text;
};

constexpr DsnString kStrings[] = {
    {1000, "ODBC Driver for QX Server (32 bits)"},
    {1002, "ODBC Driver for QX Server (32 bits) Setup"},
    {1003,
     "'%s' cannot be used as a data source name. Make sure that\nthe first character is a letter, "
     "that it contains at least\none non-blank character, and that it doesn't contain any of\n"
     "the following characters: [ ] { } ( ) ? * = ! @ , ;"},
    {1004, "Data source %s already exists.\nOverwrite?"},
    {1005, "[]{}()?*=!@,;"},
    {1100, "Driver Test"},
    {1101, "Data Source Test"},
    {1102, "Connection succeed !"},
    {1103, "Connection failed. Error: "},
    {1200, "ODBC Driver for QX Server Setup (32bit)"},
    {1201,
     "Data Source Name: the name applications connect with (a letter first; none of "
     "[ ] { } ( ) ? * = ! @ , ;).\nDescription: free text.\nNetwork Path: TCP/IP: and the server's "
     "address (host, host:port, or service name and computer name); Browse finds servers "
     "on the network.\nUser Name and Password are used only by Test data source and are "
     "never stored."},
    {1202, "Data source %s already exists."},
    {9944, "The user does not belong to VO Dura Group."},
    {9947, "The \"Allow QX Client connections only\" check box has been selected."},
    {9956, "VO Dura version not compatible with QX Server."},
    {9958, "Process cannot be started."},
    {9978, "Invalid password."},
    {9979, "Unknown user."},
    {9990, "Time-out error."},
    {9991, "Access privileges error."},
    {10001, "The actual connection to the database has been disrupted."},
    {10002, "The connection for this process has been disrupted."},
    {10020, "No server was selected."},
    {10021, "No server was found."},
};

} // namespace

const char *DsnLoadString(int id)
{
    for (const DsnString &s : kStrings)
        if (s.id == id)
            return s.text;
    return "";
}
