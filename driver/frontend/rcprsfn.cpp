#include "platform/strings.h"
#include "driver/frontend/rcprsfn.h"

#include <cstring>
#include <initializer_list>

#include "driver/frontend/rcprsctx.h"

namespace {

const rcScalarFnEntry kFunctions[] = {
    {"CONCAT", 1, 2, {1, 1, 0}},     {"CONVERT", 2, 2, {0, 2, 0}},
    {"CURDATE", 3, 0, {0, 0, 0}},    {"CURTIME", 4, 0, {0, 0, 0}},
    {"DATABASE", 5, 0, {0, 0, 0}},   {"DAYOFMONTH", 11, 1, {5, 0, 0}},
    {"DAYOFWEEK", 12, 1, {5, 0, 0}}, {"LCASE", 13, 1, {1, 0, 0}},
    {"LEFT", 14, 2, {1, 6, 0}},      {"LENGTH", 15, 1, {1, 0, 0}},
    {"LOCATE", 23, 3, {1, 1, 6}},    {"LOCATE", 22, 2, {1, 1, 0}},
    {"LTRIM", 21, 1, {1, 0, 0}},     {"MOD", 24, 2, {2, 2, 0}},
    {"MONTH", 25, 1, {5, 0, 0}},     {"QUARTER", 26, 1, {5, 0, 0}},
    {"NULL", 31, 0, {0, 0, 0}},      {"RIGHT", 34, 2, {1, 6, 0}},
    {"RTRIM", 35, 1, {1, 0, 0}},     {"SUBSTRING", 36, 3, {1, 6, 6}},
    {"SUBSTRING", 41, 2, {1, 6, 0}}, {"UCASE", 42, 1, {1, 0, 0}},
    {"USER", 43, 0, {0, 0, 0}},      {"YEAR", 44, 1, {5, 0, 0}},
};
constexpr int kFunctionCount = sizeof(kFunctions) / sizeof(kFunctions[0]);

struct TypeName {
    const char *name;
    int16_t code;
};

const TypeName kConvertTypes[] = {
    {"SQL_BIT", -7},           {"SQL_TINYINT", -6},   {"SQL_BIGINT", -5},
    {"SQL_LONGVARBINARY", -4}, {"SQL_VARBINARY", -3}, {"SQL_BINARY", -2},
    {"SQL_LONGVARCHAR", -1},   {"SQL_CHAR", 1},       {"SQL_NUMERIC", 2},
    {"SQL_DECIMAL", 3},        {"SQL_INTEGER", 4},    {"SQL_SMALLINT", 5},
    {"SQL_FLOAT", 6},          {"SQL_REAL", 7},       {"SQL_DOUBLE", 8},
    {"SQL_DATE", 9},           {"SQL_TIME", 10},      {"SQL_TIMESTAMP", 11},
    {"SQL_VARCHAR", 12},
};

// The argument expressions of a ScalarFn: the node after "(" is either the
// empty list or the SFParmList holding Expressions and commas.
rcParseNode *ArgumentList(const rcParseNode *fn)
{
    const rcParseNode *name = fn->child;
    if (name == nullptr || name->next == nullptr)
        return nullptr;
    return name->next->next;
}

} // namespace

const rcScalarFnEntry *rcPrsScalarFnTable(int *count)
{
    *count = kFunctionCount;
    return kFunctions;
}

const rcScalarFnEntry *rcPrsScalarFnOf(const rcParseNode *fn)
{
    if (fn == nullptr || fn->id != RC_N_ScalarFn || fn->attr == 0 || fn->attr > kFunctionCount)
        return nullptr;
    return &kFunctions[fn->attr - 1];
}

int16_t rcPrsConvertTypeCode(const char *name)
{
    for (const TypeName &t : kConvertTypes)
        if (PlatAsciiCaseCompare(t.name, name) == 0)
            return t.code;
    return 0;
}

bool rcPrsConvertTypeName(int16_t code, const char **name)
{
    for (const TypeName &t : kConvertTypes)
        if (t.code == code) {
            *name = t.name;
            return true;
        }
    return false;
}

namespace {

enum : int16_t {
    kLongVarchar = -1,
    kChar = 1,
    kNumeric = 2,
    kDecimal = 3,
    kInteger = 4,
    kSmallint = 5,
    kFloat = 6,
    kReal = 7,
    kDouble = 8,
    kDate = 9,
    kTime = 10,
    kTimestamp = 11,
    kVarchar = 12,
    kBigint = -5,
    kTinyint = -6,
    kBit = -7,
    kScaled64 = 32020,
    kDecimal38 = 32021,
};

} // namespace

rcScalarFnType rcPrsScalarFnResultType(const rcScalarFnEntry *fn, rcScalarFnType firstArgument)
{
    switch (fn->code) {
    case 3: return {kDate, 6};    // CURDATE
    case 4: return {kTime, 6};    // CURTIME
    case 5: return {kChar, 31};   // DATABASE
    case 31: return {kChar, 1};   // NULL
    case 43: return {kChar, 128}; // USER
    case 11:
    case 12:
    case 15:
    case 22:
    case 23:
    case 24:
    case 25:
    case 26:
    case 44: return {kInteger, 4}; // DAYOFMONTH ... YEAR, QUARTER
    case 14:
    case 21:
    case 34:
    case 35:
    case 36:
    case 41: return {kVarchar, firstArgument.length}; // LEFT, LTRIM, RIGHT, RTRIM, SUBSTRING
    default: return firstArgument;                    // CONCAT, CONVERT, LCASE, UCASE
    }
}

bool rcPrsScalarFnParamType(const rcScalarFnEntry *fn, int position, rcScalarFnType *type)
{
    const uint8_t code = fn->code;
    auto is = [code](std::initializer_list<uint8_t> codes) {
        for (uint8_t c : codes)
            if (c == code)
                return true;
        return false;
    };
    switch (position) {
    case 0:
        if (is({1, 13, 14, 15, 22, 23, 21, 34, 35, 36, 41, 42})) {
            *type = {kChar, 256};
            return true;
        }
        if (code == 24) {
            *type = {kInteger, 4};
            return true;
        }
        if (is({25, 44})) {
            *type = {kDate, 8};
            return true;
        }
        return false;
    case 1:
        if (is({1, 22, 23})) {
            *type = {kChar, 256};
            return true;
        }
        if (is({14, 24, 34, 36, 41})) {
            *type = {kInteger, 4};
            return true;
        }
        return false;
    case 2:
        if (is({23, 36})) {
            *type = {kInteger, 4};
            return true;
        }
        return false;
    default: return false;
    }
}

bool rcPrsScalarFnKindAccepts(uint8_t kind, int16_t sqlType)
{
    switch (kind) {
    case RC_FN_ARG_CHAR: return sqlType == kChar || sqlType == kVarchar || sqlType == kLongVarchar;
    case RC_FN_ARG_NUMERIC:
    case RC_FN_ARG_INTEGER:
        switch (sqlType) {
        case kNumeric:
        case kDecimal:
        case kInteger:
        case kSmallint:
        case kFloat:
        case kReal:
        case kDouble:
        case kBigint:
        case kTinyint:
        case kBit:
        case kScaled64:
        case kDecimal38: return true;
        default: return false;
        }
    case RC_FN_ARG_DATE:
        return sqlType == kDate || sqlType == kTimestamp || sqlType == kChar || sqlType == kVarchar;
    default: return true;
    }
}

int rcFnQuarterOfMonth(int month) { return (month >= 1 && month <= 12) ? (month - 1) / 3 + 1 : 0; }

int rcPrsCheckScalarFnNode(rcParseNode *fn)
{
    const rcParseNode *name = fn->child;
    rcParseNode *list = ArgumentList(fn);
    if (name == nullptr || list == nullptr) {
        rcPrsRecordError(RC_PRS_MSG_SYNTAX);
        return 0;
    }
    // Count the argument expressions.
    rcParseNode *args[3] = {};
    int count = 0;
    if (list->id == RC_N_SFParmList) {
        for (rcParseNode *a = list->child; a != nullptr; a = a->next) {
            if (a->id != RC_N_Expression)
                continue;
            if (count < 3)
                args[count] = a;
            ++count;
        }
    }
    bool named = false;
    int found = 0;
    for (int i = 0; i < kFunctionCount; ++i) {
        if (PlatAsciiCaseCompare(kFunctions[i].name, name->text) != 0)
            continue;
        named = true;
        if (kFunctions[i].argCount == count)
            found = i + 1;
    }
    if (!named) {
        rcPrsRecordError(RC_PRS_MSG_FN_NAME, name->text);
        return 0;
    }
    if (found == 0) {
        rcPrsRecordError(RC_PRS_MSG_FN_COUNT, name->text);
        return 0;
    }
    fn->attr = static_cast<uint32_t>(found);
    if (kFunctions[found - 1].code == RC_FN_CONVERT) {
        // Checked before: the target is already a type node.
        rcParseNode *primary = args[1] != nullptr ? args[1]->child : nullptr;
        if (primary != nullptr && primary->id == RC_N_Primary && primary->child != nullptr &&
            primary->child->id == RC_N_ConvertType)
            return 1;
        // The target must be a bare name of the type-name table.
        rcParseNode *target = rcPrsChainedChild(args[1]);
        rcParseNode *colId = target != nullptr ? target->child : nullptr;
        int16_t code = 0;
        if (colId != nullptr && colId->id == RC_N_ColId && colId->next == nullptr &&
            colId->child != nullptr)
            code = rcPrsConvertTypeCode(colId->child->text);
        if (code == 0) {
            // Quote the argument as written, as far as it is a plain name.
            const char *shown = "";
            if (colId != nullptr && colId->child != nullptr)
                shown = colId->child->text;
            else if (target != nullptr && target->child != nullptr &&
                     target->child->child != nullptr)
                shown = target->child->child->text;
            rcPrsRecordError(RC_PRS_MSG_CONVERT, shown);
            return 0;
        }
        target->id = RC_N_ConvertType;
        target->attr = static_cast<uint32_t>(static_cast<int32_t>(code));
    }
    return 1;
}

namespace {

struct Cursor {
    const char *p;
    const char *end;
};

// One to nine digits.
bool Number(Cursor &c, int &value)
{
    int digits = 0;
    value = 0;
    while (c.p < c.end && *c.p >= '0' && *c.p <= '9') {
        if (++digits > 9)
            return false;
        value = value * 10 + (*c.p - '0');
        ++c.p;
    }
    return digits > 0;
}

bool Expect(Cursor &c, char ch)
{
    if (c.p < c.end && *c.p == ch) {
        ++c.p;
        return true;
    }
    return false;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

bool Date(Cursor &c)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int y, m, d;
    if (!Number(c, y) || y > 9999 || !Expect(c, '-') || !Number(c, m) || m < 1 || m > 12 ||
        !Expect(c, '-') || !Number(c, d))
        return false;
    int length = kDays[m - 1] + (m == 2 && IsLeap(y) ? 1 : 0);
    return d >= 1 && d <= length;
}

bool Time(Cursor &c)
{
    int h, mi, s;
    if (!Number(c, h) || h > 23 || !Expect(c, ':') || !Number(c, mi) || mi > 59)
        return false;
    if (Expect(c, ':') && (!Number(c, s) || s > 59))
        return false;
    if (Expect(c, '.')) {
        int fraction;
        const char *start = c.p;
        if (!Number(c, fraction) || c.p - start > 9)
            return false;
    }
    return true;
}

} // namespace

bool rcPrsCheckDateLiteral(uint32_t sqlType, const char *quoted)
{
    size_t len = std::strlen(quoted);
    if (len < 2 || quoted[0] != '\'' || quoted[len - 1] != '\'')
        return false;
    Cursor c{quoted + 1, quoted + len - 1};
    while (c.p < c.end && (*c.p == ' ' || *c.p == '\t'))
        ++c.p;
    while (c.end > c.p && (c.end[-1] == ' ' || c.end[-1] == '\t'))
        --c.end;
    bool ok;
    switch (sqlType) {
    case 9: ok = Date(c); break;
    case 10: ok = Time(c); break;
    case 11:
        ok = Date(c);
        if (ok) {
            const char *before = c.p;
            while (c.p < c.end && (*c.p == ' ' || *c.p == '\t'))
                ++c.p;
            ok = c.p > before && Time(c);
        }
        break;
    default: ok = false; break;
    }
    return ok && c.p == c.end;
}
