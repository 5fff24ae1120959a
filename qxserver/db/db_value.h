// Values, field and table definitions and statuses of the emulator's database.
//
// A value is held in host form, tagged with the server field type it belongs
// to. Text (alpha and text fields) is held as the server holds it: Mac Roman
// bytes. The wire form of every value is written and read by db_codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qxdb {

// Server field types.
enum FieldType : uint8_t {
    kTypeAlpha = 0,   // length-prefixed string, at most 80 characters
    kTypeReal = 1,    // double
    kTypeText = 2,    // long text (up to kMaxTextLength bytes)
    kTypePicture = 3, // picture bytes
    kTypeDate = 4,    // day, month, year
    kTypeBoolean = 6, // 0 or 1
    kTypeInteger = 8, // 16-bit
    kTypeLongInt = 9, // 32-bit
    kTypeTime = 11,   // seconds since midnight
    kTypeBlob = 30,   // opaque bytes
};

constexpr size_t kMaxTextLength = 32767; // longest value of a text field

bool QxdbIsKnownType(int type);
// Name of a type in fixture files ("alpha", "real", ...); nullptr when unknown.
const char *QxdbTypeName(int type);
// Type of a fixture type name; -1 when unknown.
int QxdbTypeFromName(const std::string &name);

// Statuses the server answers. 0 is success; every error is negative.
enum Status : int16_t {
    kOk = 0,
    kStatusRecordLockedRead = -4444, // field read of a record locked elsewhere (values still given)
    kStatusBadPassword = -9978,
    kStatusBadUser = -9979,
    kStatusRecordLocked = -9967, // change or deletion of a record locked elsewhere
    kStatusBadValueType = -9966, // value type that cannot be compared or stored
    kStatusNoCurrentRecord = -9954,
    kStatusDuplicateKey = -9998, // unique field would hold a value twice
    kStatusBadTable = -9971,
    kStatusBadField = -9969,
    kStatusBadRequest = -9950,  // malformed or unsupported request body
    kStatusNameTooLong = -9951, // a name does not fit its fixed slot
    kStatusUnknownName = -9952, // no named selection or set of that name
    kStatusMandatory = -9948,   // mandatory field left empty
    kStatusTransaction = -9946, // transaction already open
    kStatusPosition = -9945,    // position outside the selection
};

struct Value {
    uint8_t type = kTypeAlpha;
    int32_t num = 0;                      // boolean, integer, long integer, time
    double real = 0.0;                    // real
    int16_t day = 0, month = 0, year = 0; // date
    std::string bytes;                    // alpha, text, picture, blob

    static Value Empty(uint8_t type);
    static Value Alpha(std::string s)
    {
        Value v;
        v.type = kTypeAlpha;
        v.bytes = std::move(s);
        return v;
    }
    static Value Text(std::string s)
    {
        Value v;
        v.type = kTypeText;
        v.bytes = std::move(s);
        return v;
    }
    static Value Real(double d)
    {
        Value v;
        v.type = kTypeReal;
        v.real = d;
        return v;
    }
    static Value Long(int32_t n)
    {
        Value v;
        v.type = kTypeLongInt;
        v.num = n;
        return v;
    }
    static Value Int(int16_t n)
    {
        Value v;
        v.type = kTypeInteger;
        v.num = n;
        return v;
    }
    static Value Bool(bool b)
    {
        Value v;
        v.type = kTypeBoolean;
        v.num = b ? 1 : 0;
        return v;
    }
    static Value Time(int32_t s)
    {
        Value v;
        v.type = kTypeTime;
        v.num = s;
        return v;
    }
    static Value Date(int y, int m, int d);

    // The empty value of its type (what the driver reads as NULL).
    bool IsEmpty() const;
    bool operator==(const Value &o) const;
};

// Field attributes, as kept in the fixture and sent in the field rows of a
// table definition.
struct FieldDef {
    std::string name; // Mac Roman, at most 31 characters
    uint8_t type = kTypeAlpha;
    uint16_t length = 0; // alpha: maximum characters (1-80); other types 0
    bool indexed = false;
    bool unique = false;
    bool mandatory = false;
};

struct TableDef {
    std::string name;             // Mac Roman, at most 31 characters
    std::vector<FieldDef> fields; // field 1 first
};

struct User {
    std::string name;
    std::string password;
};

// The order of numbers in searches, sorts, distinct values and unique
// checks: -0.0 equals 0.0, infinities are below and above every number, and
// NaNs come after everything and equal each other (a total order).
int QxdbCompareReals(double x, double y);

// Converts a value to the type of a field, when the server would store it
// there: numbers between numeric types, alpha and text between each other.
// Returns false when the types do not mix. Alpha values are cut to the
// field's length.
bool QxdbCoerce(const FieldDef &field, Value &v);

} // namespace qxdb
