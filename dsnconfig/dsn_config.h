// Data-source configuration: what ConfigDSN does for the ODBC installer.
//
//   ConfigDSN(window, request, driver, attributes)      (exported, dsn_entry.cpp)
//     -> DsnConfigure: parses the attributes (DsnParseAttributes), removes a
//        data source (request 3), or adds / configures one: with a window
//        through the dialog model (dsn_dialog.h), else DsnSetDataSource.
//
// DsnSetDataSource changes only the keys it is given (Description, DBQ) and
// the registration ("Driver"); other keys of the data source stay. A data
// source that exists is never removed to be written again: the overwrite
// question (with a window) comes before any change, and a rename copies the
// old section's keys to the new name before the old one goes; renaming onto
// an existing data source is refused. Every failure is posted with
// SQLPostInstallerError, so the installer's caller reads it with
// SQLInstallerError.
#pragma once

#include <cstdint>
#include <string>

enum DsnSlot : int { DSN_SLOT_NAME = 0, DSN_SLOT_DESCRIPTION = 1, DSN_SLOT_DBQ = 2, DSN_SLOTS = 3 };

// The installer's BOOL results.
enum : int { DSN_FALSE = 0, DSN_TRUE = 1 };

inline constexpr size_t kDsnValueMax = 255; // characters of an attribute value
inline constexpr size_t kDsnKeyMax = 15;    // longer keys are skipped
inline constexpr size_t kDsnNameMax = 32;   // characters of a data source name

struct DsnAttributes {
    bool given[DSN_SLOTS] = {};
    std::string value[DSN_SLOTS];
};

// Parses "key=value\0...\0\0" (null: nothing given). Keys DSN, Description,
// DESC and DBQ, any case; unknown keys and keys of 16 characters or more are
// skipped; an entry without "=" ends the list. False (and the installer
// error posted) for a value longer than kDsnValueMax.
bool DsnParseAttributes(const char *list, DsnAttributes *out);

// True when the name holds a character of "[]{}()?*=!@,;" or only blanks.
bool DsnIsBadName(const std::string &name);
// Not empty, at most kDsnNameMax characters, a letter first, not bad.
bool DsnIsValidName(const std::string &name);

// The one ConfigDSN call in progress.
struct DsnCall {
    bool window = false;
    bool add = false;
    bool isDefault = false; // the name is "Default"
    std::string givenName;  // the DSN attribute, empty when none
    std::string driver;     // the driver description
    DsnAttributes attributes;
};

// Writes the data source `name` with the given Description and DBQ (null:
// not given, left as they are). DSN_TRUE or DSN_FALSE, the failure posted.
int DsnSetDataSource(const DsnCall &call, const std::string &name, const std::string *description,
                     const std::string *dbq);

// True when the data source's section holds any key.
bool DsnExists(const std::string &name);
// A key of the data source's section ("" when absent).
std::string DsnReadKey(const std::string &name, const char *key);

int DsnConfigure(bool window, uint16_t request, const char *driver, const char *attributes);

// Posts an installer error (SQLPostInstallerError).
void DsnPostError(uint32_t code, const std::string &text);
