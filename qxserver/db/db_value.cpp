// Values and types of the emulator's database (see db_value.h).
#include "qxserver/db/db_value.h"

#include <cmath>
#include <cstring>

namespace qxdb {
namespace {

struct TypeName {
    int type;
    const char *name;
};

constexpr TypeName kTypeNames[] = {
    {kTypeAlpha, "alpha"},     {kTypeReal, "real"},       {kTypeText, "text"},
    {kTypePicture, "picture"}, {kTypeDate, "date"},       {kTypeBoolean, "boolean"},
    {kTypeInteger, "integer"}, {kTypeLongInt, "longint"}, {kTypeTime, "time"},
    {kTypeBlob, "blob"},
};

bool IsNumeric(int type)
{
    return type == kTypeReal || type == kTypeBoolean || type == kTypeInteger ||
           type == kTypeLongInt || type == kTypeTime;
}

} // namespace

bool QxdbIsKnownType(int type) { return QxdbTypeName(type) != nullptr; }

const char *QxdbTypeName(int type)
{
    for (const auto &t : kTypeNames)
        if (t.type == type)
            return t.name;
    return nullptr;
}

int QxdbTypeFromName(const std::string &name)
{
    for (const auto &t : kTypeNames)
        if (name == t.name)
            return t.type;
    return -1;
}

Value Value::Empty(uint8_t type)
{
    Value v;
    v.type = type;
    return v;
}

Value Value::Date(int y, int m, int d)
{
    Value v;
    v.type = kTypeDate;
    v.year = static_cast<int16_t>(y);
    v.month = static_cast<int16_t>(m);
    v.day = static_cast<int16_t>(d);
    return v;
}

bool Value::IsEmpty() const
{
    switch (type) {
    case kTypeAlpha:
    case kTypeText:
    case kTypePicture:
    case kTypeBlob: return bytes.empty();
    case kTypeDate: return day == 0 && month == 0 && year == 0;
    default: return false;
    }
}

bool Value::operator==(const Value &o) const
{
    if (type != o.type)
        return false;
    switch (type) {
    case kTypeReal: return real == o.real || (std::isnan(real) && std::isnan(o.real));
    case kTypeDate: return day == o.day && month == o.month && year == o.year;
    case kTypeAlpha:
    case kTypeText:
    case kTypePicture:
    case kTypeBlob: return bytes == o.bytes;
    default: return num == o.num;
    }
}

int QxdbCompareReals(double x, double y)
{
    bool nx = std::isnan(x), ny = std::isnan(y);
    if (nx || ny)
        return nx == ny ? 0 : (nx ? 1 : -1);
    return x < y ? -1 : (x > y ? 1 : 0);
}

bool QxdbCoerce(const FieldDef &field, Value &v)
{
    // Text travels with a 16-bit length in selection arrays.
    if (field.type == kTypeText && v.bytes.size() > kMaxTextLength)
        return false;
    if (v.type == field.type) {
        if (field.type == kTypeAlpha && field.length > 0 && v.bytes.size() > field.length)
            v.bytes.resize(field.length);
        if (field.type == kTypeInteger)
            v.num = static_cast<int16_t>(v.num);
        if (field.type == kTypeBoolean)
            v.num = v.num != 0 ? 1 : 0;
        return true;
    }
    bool fromText = v.type == kTypeAlpha || v.type == kTypeText;
    bool toText = field.type == kTypeAlpha || field.type == kTypeText;
    if (fromText && toText) {
        v.type = field.type;
        if (field.type == kTypeAlpha) {
            size_t max = field.length > 0 ? field.length : 80;
            if (v.bytes.size() > max)
                v.bytes.resize(max);
        }
        return true;
    }
    if ((v.type == kTypePicture || v.type == kTypeBlob) &&
        (field.type == kTypePicture || field.type == kTypeBlob)) {
        v.type = field.type;
        return true;
    }
    if (!IsNumeric(v.type) || !IsNumeric(field.type))
        return false;
    double d = v.type == kTypeReal ? v.real : static_cast<double>(v.num);
    // No integer, time or boolean holds a NaN.
    if (std::isnan(d))
        return false;
    Value out = Value::Empty(field.type);
    switch (field.type) {
    case kTypeReal: out.real = d; break;
    case kTypeBoolean: out.num = d != 0.0 ? 1 : 0; break;
    case kTypeInteger:
        if (!(d >= -32768.0 && d <= 32767.0))
            return false;
        out.num = static_cast<int16_t>(std::trunc(d));
        break;
    case kTypeLongInt:
    case kTypeTime:
        if (!(d >= -2147483648.0 && d <= 2147483647.0))
            return false;
        out.num = static_cast<int32_t>(std::trunc(d));
        break;
    default: return false;
    }
    v = out;
    return true;
}

} // namespace qxdb
