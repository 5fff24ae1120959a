// The setup library's string table: the texts of its dialog and messages,
// and of the server and client-library statuses stored under the negated
// status (9944-10021).
#pragma once

enum DsnStringId : int {
    DSN_TXT_DEFAULT_DESCRIPTION = 1000,
    DSN_TXT_SETUP_CAPTION = 1002,
    DSN_TXT_BAD_NAME = 1003,
    DSN_TXT_OVERWRITE = 1004,
    DSN_TXT_BAD_NAME_CHARS = 1005,
    DSN_TXT_TEST_APPLICATION = 1100,
    DSN_TXT_TEST_CAPTION = 1101,
    DSN_TXT_TEST_OK = 1102,
    DSN_TXT_TEST_FAILED = 1103,
    DSN_TXT_DIALOG_TITLE = 1200,
    DSN_TXT_HELP = 1201,
    DSN_TXT_EXISTS = 1202,
};

// The text of a string id; "" when the table holds none.
const char *DsnLoadString(int id);
