// Fixture files of the emulator's database: JSON text holding the user
// accounts, the tables with their field definitions and their records.
//
//   {
//     "users": [ {"name": "demo", "password": "demo"} ],
//     "tables": [
//       { "name": "Customers",
//         "fields": [
//           {"name": "ID", "type": "longint", "indexed": true, "unique": true,
//            "mandatory": true},
//           {"name": "Name", "type": "alpha", "length": 40, "indexed": true},
//           {"name": "Notes", "type": "text"} ],
//         "next_record": 3,        (optional: number the next new record gets)
//         "sequence": 0,           (optional: last automatic sequence number)
//         "records": [ {"ID": 1, "Name": "Ann"}, {"#": 2, "ID": 2, "Name": "Bo"} ] } ]
//   }
//
// Field types: "alpha" (with "length" 1-80, default 80), "real", "text",
// "picture", "date", "boolean", "integer", "longint", "time", "blob".
// Values: alpha and text a string (UTF-8 in the file, Mac Roman in memory);
// real a number, or "NaN", "Infinity" or "-Infinity" (a NaN's sign and
// payload are not kept); integer and longint a whole number; boolean true/false;
// date "YYYY-MM-DD"; time "HH:MM:SS" or seconds; picture and blob hex digits;
// null or a missing field is the empty value of the type.
// A record's record number is "#" when given, else one more than the record
// before it (the first record is number 0). Names are at most 31 characters;
// table names, and field names within a table, must differ byte for byte.
// Unique fields may not hold one value twice (empty values excepted);
// mandatory fields may not be empty.
#pragma once

#include <string>

#include "qxserver/db/db_database.h"

namespace qxdb {

// Fills an empty database from fixture text or a file. On failure returns
// false with a message naming the place of the fault; the database is then
// left empty.
bool QxdbLoadFixtureText(const std::string &json, Database &db, std::string &error);
bool QxdbLoadFixture(const std::string &path, Database &db, std::string &error);

// Fixture text of the database's committed content (what it would load back).
std::string QxdbFixtureText(const Database &db);
// Writes that text to `path` through a temporary file renamed into place.
bool QxdbSaveFixture(const Database &db, const std::string &path, std::string &error);

} // namespace qxdb
