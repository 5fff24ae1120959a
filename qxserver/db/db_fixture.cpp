// Fixture loader and saver (see db_fixture.h).
#include "qxserver/db/db_fixture.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "qxserver/db/db_text.h"

namespace qxdb {
namespace {

using nlohmann::json;

constexpr size_t kMaxName = 31;
constexpr int kMaxAlpha = 80;

struct LoadError {
    std::string message;
};

[[noreturn]] void Fail(const std::string &where, const std::string &what)
{
    throw LoadError{where + ": " + what};
}

// The array member `key` of `obj` where it lies (no copy: a table's records
// may be many), or an empty array when `obj` has none.
const json &Member(const json &obj, const char *key)
{
    static const json kNone = json::array();
    auto it = obj.find(key);
    return it == obj.end() ? kNone : *it;
}

std::string MacName(const json &j, const std::string &where)
{
    if (!j.is_string())
        Fail(where, "name must be a string");
    std::string mac;
    if (!QxdbUtf8ToMacRoman(j.get<std::string>(), mac))
        Fail(where, "name has a character Mac Roman lacks");
    if (mac.empty() || mac.size() > kMaxName)
        Fail(where, "name must have 1 to 31 characters");
    return mac;
}

bool ReadFlag(const json &obj, const char *key, const std::string &where)
{
    if (!obj.contains(key))
        return false;
    if (!obj[key].is_boolean())
        Fail(where, std::string("\"") + key + "\" must be true or false");
    return obj[key].get<bool>();
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string ToHex(const std::string &bytes)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out.push_back(kDigits[c >> 4]);
        out.push_back(kDigits[c & 15]);
    }
    return out;
}

bool ValidDate(int y, int m, int d)
{
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1])
        return false;
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return !(m == 2 && d == 29 && !leap);
}

Value ReadValue(const json &j, const FieldDef &f, const std::string &where)
{
    Value v = Value::Empty(f.type);
    if (j.is_null())
        return v;
    switch (f.type) {
    case kTypeAlpha:
    case kTypeText: {
        if (!j.is_string())
            Fail(where, "expected a string");
        if (!QxdbUtf8ToMacRoman(j.get<std::string>(), v.bytes))
            Fail(where, "text has a character Mac Roman lacks");
        size_t max = f.type == kTypeAlpha ? f.length : kMaxTextLength;
        if (v.bytes.size() > max)
            Fail(where, "text longer than the field allows");
        break;
    }
    case kTypeReal:
        if (j.is_string()) {
            // JSON has no numbers for these; the file spells them out.
            std::string s = j.get<std::string>();
            if (s == "NaN")
                v.real = std::numeric_limits<double>::quiet_NaN();
            else if (s == "Infinity" || s == "-Infinity")
                v.real = s[0] == '-' ? -std::numeric_limits<double>::infinity()
                                     : std::numeric_limits<double>::infinity();
            else
                Fail(where, "expected a number, \"NaN\", \"Infinity\" or \"-Infinity\"");
            break;
        }
        if (!j.is_number())
            Fail(where, "expected a number");
        v.real = j.get<double>();
        break;
    case kTypeInteger:
    case kTypeLongInt: {
        if (!j.is_number_integer())
            Fail(where, "expected a whole number");
        int64_t n = j.get<int64_t>();
        int64_t lo = f.type == kTypeInteger ? -32768 : INT32_MIN;
        int64_t hi = f.type == kTypeInteger ? 32767 : INT32_MAX;
        if (n < lo || n > hi)
            Fail(where, "number out of range for the field");
        v.num = static_cast<int32_t>(n);
        break;
    }
    case kTypeBoolean:
        if (!j.is_boolean())
            Fail(where, "expected true or false");
        v.num = j.get<bool>() ? 1 : 0;
        break;
    case kTypeDate: {
        if (!j.is_string())
            Fail(where, "expected a date \"YYYY-MM-DD\"");
        std::string s = j.get<std::string>();
        if (s.empty())
            break;
        int y = 0, m = 0, d = 0;
        char tail = 0;
        if (std::sscanf(s.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3 || !ValidDate(y, m, d))
            Fail(where, "bad date \"" + s + "\"");
        v = Value::Date(y, m, d);
        break;
    }
    case kTypeTime: {
        if (j.is_number_integer()) {
            int64_t n = j.get<int64_t>();
            if (n < 0 || n >= 86400)
                Fail(where, "time out of range");
            v.num = static_cast<int32_t>(n);
            break;
        }
        if (!j.is_string())
            Fail(where, "expected a time \"HH:MM:SS\"");
        std::string s = j.get<std::string>();
        int h = 0, m = 0, sec = 0;
        char tail = 0;
        if (std::sscanf(s.c_str(), "%2d:%2d:%2d%c", &h, &m, &sec, &tail) != 3 || h < 0 || h > 23 ||
            m < 0 || m > 59 || sec < 0 || sec > 59)
            Fail(where, "bad time \"" + s + "\"");
        v.num = (h * 60 + m) * 60 + sec;
        break;
    }
    case kTypePicture:
    case kTypeBlob: {
        if (!j.is_string())
            Fail(where, "expected hex digits");
        std::string s = j.get<std::string>();
        if (s.size() % 2 != 0)
            Fail(where, "odd number of hex digits");
        v.bytes.reserve(s.size() / 2);
        for (size_t i = 0; i < s.size(); i += 2) {
            int hi = HexDigit(s[i]), lo = HexDigit(s[i + 1]);
            if (hi < 0 || lo < 0)
                Fail(where, "bad hex digit");
            v.bytes.push_back(static_cast<char>(hi * 16 + lo));
        }
        break;
    }
    default: Fail(where, "field of unknown type");
    }
    return v;
}

nlohmann::ordered_json WriteValue(const Value &v)
{
    if (v.IsEmpty())
        return nullptr;
    switch (v.type) {
    case kTypeAlpha:
    case kTypeText: return QxdbMacRomanToUtf8(v.bytes);
    case kTypeReal:
        if (std::isnan(v.real))
            return "NaN";
        if (std::isinf(v.real))
            return v.real < 0 ? "-Infinity" : "Infinity";
        return v.real;
    case kTypeBoolean: return v.num != 0;
    case kTypeDate: {
        char buf[48];
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", v.year, v.month, v.day);
        return buf;
    }
    case kTypeTime: {
        char buf[48];
        int s = v.num;
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", s / 3600 % 100, s / 60 % 60, s % 60);
        return buf;
    }
    case kTypePicture:
    case kTypeBlob: return ToHex(v.bytes);
    default: return v.num;
    }
}

FieldDef ReadField(const json &jf, const std::string &where)
{
    if (!jf.is_object())
        Fail(where, "field must be an object");
    FieldDef f;
    f.name = MacName(jf.value("name", json()), where);
    const json &jt = jf.value("type", json());
    int type = -1;
    if (jt.is_string())
        type = QxdbTypeFromName(jt.get<std::string>());
    else if (jt.is_number_integer() && QxdbIsKnownType(jt.get<int>()))
        type = jt.get<int>();
    if (type < 0)
        Fail(where, "unknown field type");
    f.type = static_cast<uint8_t>(type);
    if (f.type == kTypeAlpha) {
        int len = kMaxAlpha;
        if (jf.contains("length")) {
            if (!jf["length"].is_number_integer())
                Fail(where, "length must be a whole number");
            len = jf["length"].get<int>();
        }
        if (len < 1 || len > kMaxAlpha)
            Fail(where, "alpha length must be 1 to 80");
        f.length = static_cast<uint16_t>(len);
    }
    f.indexed = ReadFlag(jf, "indexed", where);
    f.unique = ReadFlag(jf, "unique", where);
    f.mandatory = ReadFlag(jf, "mandatory", where);
    return f;
}

void ReadTable(const json &jt, int number, Database &db)
{
    std::string where = "table " + std::to_string(number);
    if (!jt.is_object())
        Fail(where, "table must be an object");
    Table t;
    t.def.name = MacName(jt.value("name", json()), where);
    where = "table \"" + QxdbMacRomanToUtf8(t.def.name) + "\"";
    for (const Table &other : db.tables)
        if (other.def.name == t.def.name)
            Fail(where, "two tables of that name");
    const json &jfields = Member(jt, "fields");
    if (!jfields.is_array())
        Fail(where, "\"fields\" must be an array");
    for (const auto &jf : jfields) {
        FieldDef f = ReadField(jf, where + " field " + std::to_string(t.def.fields.size() + 1));
        for (const auto &other : t.def.fields)
            if (other.name == f.name)
                Fail(where, "two fields named \"" + QxdbMacRomanToUtf8(f.name) + "\"");
        t.def.fields.push_back(std::move(f));
    }
    const json &jrecords = Member(jt, "records");
    if (!jrecords.is_array())
        Fail(where, "\"records\" must be an array");
    int32_t next = 0;
    for (const auto &jr : jrecords) {
        std::string rwhere = where + " record " + std::to_string(next);
        if (!jr.is_object())
            Fail(rwhere, "record must be an object");
        int32_t number = next;
        if (jr.contains("#")) {
            if (!jr["#"].is_number_integer() || jr["#"].get<int64_t>() < 0 ||
                jr["#"].get<int64_t>() >= INT32_MAX)
                Fail(rwhere, "\"#\" must be a record number");
            number = static_cast<int32_t>(jr["#"].get<int64_t>());
            rwhere = where + " record " + std::to_string(number);
        }
        if (t.Find(number) != nullptr)
            Fail(rwhere, "record number used twice");
        std::vector<Value> values;
        values.reserve(t.def.fields.size());
        for (const auto &f : t.def.fields)
            values.push_back(Value::Empty(f.type));
        for (auto it = jr.begin(); it != jr.end(); ++it) {
            if (it.key() == "#")
                continue;
            std::string mac;
            size_t k = 0;
            bool found = false;
            if (QxdbUtf8ToMacRoman(it.key(), mac))
                for (; k < t.def.fields.size(); ++k)
                    if (t.def.fields[k].name == mac) {
                        found = true;
                        break;
                    }
            if (!found)
                Fail(rwhere, "no field \"" + it.key() + "\"");
            values[k] =
                ReadValue(it.value(), t.def.fields[k], rwhere + " field \"" + it.key() + "\"");
        }
        for (size_t k = 0; k < t.def.fields.size(); ++k) {
            const FieldDef &f = t.def.fields[k];
            if (f.mandatory && values[k].IsEmpty())
                Fail(rwhere, "mandatory field \"" + QxdbMacRomanToUtf8(f.name) + "\" is empty");
        }
        t.Put(number, std::move(values));
        next = number + 1;
        if (next > t.nextRecord)
            t.nextRecord = next;
    }
    t.RebuildIndexes();
    for (size_t k = 0; k < t.def.fields.size(); ++k) {
        const FieldIndex *index = t.def.fields[k].unique ? t.IndexOf(k) : nullptr;
        if (index == nullptr)
            continue;
        // Empty values may repeat; a non-empty one tied to the entry before
        // it is a second record of that value.
        index->Walk(true, [&](int32_t record, bool tied) {
            if (tied && !t.Find(record)[k].IsEmpty())
                Fail(where, "unique field \"" + QxdbMacRomanToUtf8(t.def.fields[k].name) +
                                "\" holds a value twice (record " + std::to_string(record) + ")");
        });
    }
    if (jt.contains("next_record")) {
        if (!jt["next_record"].is_number_integer())
            Fail(where, "\"next_record\" must be a number");
        int64_t n = jt["next_record"].get<int64_t>();
        if (n < t.nextRecord || n > INT32_MAX)
            Fail(where, "\"next_record\" below a record number in use");
        t.nextRecord = static_cast<int32_t>(n);
    }
    if (jt.contains("sequence")) {
        if (!jt["sequence"].is_number_integer())
            Fail(where, "\"sequence\" must be a number");
        t.sequence = jt["sequence"].get<int32_t>();
    }
    db.tables.push_back(std::move(t));
}

} // namespace

bool QxdbLoadFixtureText(const std::string &text, Database &db, std::string &error)
{
    db.users.clear();
    db.tables.clear();
    try {
        json root = json::parse(text);
        if (!root.is_object())
            Fail("fixture", "must be a JSON object");
        const json &jusers = Member(root, "users");
        if (!jusers.is_array())
            Fail("fixture", "\"users\" must be an array");
        for (const auto &ju : jusers) {
            if (!ju.is_object() || !ju.value("name", json()).is_string() ||
                !ju.value("password", json()).is_string())
                Fail("user " + std::to_string(db.users.size() + 1),
                     "needs \"name\" and \"password\" strings");
            User u{ju["name"].get<std::string>(), ju["password"].get<std::string>()};
            if (u.name.empty() || u.name.size() > kMaxName || u.password.size() > kMaxName)
                Fail("user \"" + u.name + "\"", "name and password must fit 31 characters");
            db.users.push_back(std::move(u));
        }
        const json &jtables = Member(root, "tables");
        if (!jtables.is_array())
            Fail("fixture", "\"tables\" must be an array");
        if (jtables.size() > 32767)
            Fail("fixture", "too many tables");
        int number = 1;
        for (const auto &jt : jtables)
            ReadTable(jt, number++, db);
    } catch (const LoadError &e) {
        error = e.message;
        db.users.clear();
        db.tables.clear();
        return false;
    } catch (const json::exception &e) {
        error = std::string("fixture: ") + e.what();
        db.users.clear();
        db.tables.clear();
        return false;
    }
    return true;
}

bool QxdbLoadFixture(const std::string &path, Database &db, std::string &error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be opened";
        return false;
    }
    std::stringstream buf;
    buf << in.rdbuf();
    if (!QxdbLoadFixtureText(buf.str(), db, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

std::string QxdbFixtureText(const Database &db)
{
    using ojson = nlohmann::ordered_json;
    return db.Locked([&db] {
        // One line per user, field and record, so that fixture files diff well.
        std::string out = "{\n \"users\": [";
        for (size_t i = 0; i < db.users.size(); ++i) {
            ojson ju = {{"name", db.users[i].name}, {"password", db.users[i].password}};
            out += (i ? ",\n  " : "\n  ") + ju.dump();
        }
        out += db.users.empty() ? "],\n" : "\n ],\n";
        out += " \"tables\": [";
        for (size_t ti = 0; ti < db.tables.size(); ++ti) {
            const Table &t = db.tables[ti];
            out += ti ? ",\n  {" : "\n  {";
            out +=
                "\"name\": " + ojson(QxdbMacRomanToUtf8(t.def.name)).dump() + ",\n   \"fields\": [";
            for (size_t k = 0; k < t.def.fields.size(); ++k) {
                const FieldDef &f = t.def.fields[k];
                ojson jf = {{"name", QxdbMacRomanToUtf8(f.name)}, {"type", QxdbTypeName(f.type)}};
                if (f.type == kTypeAlpha)
                    jf["length"] = f.length;
                if (f.indexed)
                    jf["indexed"] = true;
                if (f.unique)
                    jf["unique"] = true;
                if (f.mandatory)
                    jf["mandatory"] = true;
                out += (k ? ",\n    " : "\n    ") + jf.dump();
            }
            out += t.def.fields.empty() ? "],\n" : "\n   ],\n";
            out += "   \"next_record\": " + std::to_string(t.nextRecord) + ",\n";
            if (t.sequence != 0)
                out += "   \"sequence\": " + std::to_string(t.sequence) + ",\n";
            out += "   \"records\": [";
            int32_t expected = 0;
            bool first = true;
            t.ForEach([&](int32_t num, const Value *vals) {
                ojson jr = ojson::object();
                if (num != expected)
                    jr["#"] = num;
                for (size_t k = 0; k < t.def.fields.size(); ++k)
                    if (!vals[k].IsEmpty())
                        jr[QxdbMacRomanToUtf8(t.def.fields[k].name)] = WriteValue(vals[k]);
                out += (first ? "\n    " : ",\n    ") + jr.dump();
                first = false;
                expected = num + 1;
            });
            out += t.Count() == 0 ? "]}" : "\n   ]}";
        }
        out += db.tables.empty() ? "]\n}\n" : "\n ]\n}\n";
        return out;
    });
}

bool QxdbSaveFixture(const Database &db, const std::string &path, std::string &error)
{
    std::string text = QxdbFixtureText(db);
    std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) {
            error = tmp + ": cannot be created";
            return false;
        }
        out << text;
        out.flush();
        if (!out) {
            error = tmp + ": write failed";
            ::unlink(tmp.c_str());
            return false;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        error = path + ": cannot be replaced";
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace qxdb
