// Engine value comparison (rcCmpValues and the date and time compares) and
// the value-to-text helper.
#include "driver/core/rccompare.h"

#include "driver/core/rccnv.h"
#include "driver/core/rccollate.h"
#include "driver/core/rcerror.h"
#include "driver/core/rcmem.h"
#include "driver/core/rcnumprivate.h"

#include <cstring>

namespace {

template <typename T>
T load(const void *p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
int threeWay(T a, T b)
{
    return a < b ? -1 : (a > b ? 1 : 0);
}

uint8_t truthByte(uint8_t b)
{
    switch (b) {
    case 'Y':
    case 'T':
    case '1': return 1;
    case 'N':
    case 'F':
    case '0': return 0;
    default: return b;
    }
}

} // namespace

int rcCmpDate(const void *a, const void *b)
{
    if (a == b)
        return 0;
    DATE_STRUCT x = load<DATE_STRUCT>(a), y = load<DATE_STRUCT>(b);
    if (int c = threeWay(x.year, y.year))
        return c;
    if (int c = threeWay(x.month, y.month))
        return c;
    return threeWay(x.day, y.day);
}

int rcCmpTime(const void *a, const void *b)
{
    if (a == b)
        return 0;
    TIME_STRUCT x = load<TIME_STRUCT>(a), y = load<TIME_STRUCT>(b);
    if (int c = threeWay(x.hour, y.hour))
        return c;
    if (int c = threeWay(x.minute, y.minute))
        return c;
    return threeWay(x.second, y.second);
}

int rcCmpTimestamp(const void *a, const void *b)
{
    if (a == b)
        return 0;
    TIMESTAMP_STRUCT x = load<TIMESTAMP_STRUCT>(a), y = load<TIMESTAMP_STRUCT>(b);
    if (int c = rcCmpDate(a, b))
        return c;
    if (int c = threeWay(x.hour, y.hour))
        return c;
    if (int c = threeWay(x.minute, y.minute))
        return c;
    if (int c = threeWay(x.second, y.second))
        return c;
    return threeWay(x.fraction, y.fraction);
}

int16_t rcCmpValues(rcStmt *stmt, int16_t type, bool firstIsNull, const void *first,
                    bool secondIsNull, const void *second, uint32_t firstExtra,
                    uint32_t secondExtra)
{
    (void)stmt, (void)firstExtra, (void)secondExtra;
    if (firstIsNull || secondIsNull)
        return static_cast<int16_t>(firstIsNull == secondIsNull ? 0 : (firstIsNull ? -1 : 1));
    int c;
    switch (type) {
    case SQL_C_UTINYINT: c = threeWay(load<uint8_t>(first), load<uint8_t>(second)); break;
    case SQL_BIT:
        c = threeWay(truthByte(load<uint8_t>(first)), truthByte(load<uint8_t>(second)));
        break;
    case SQL_INTEGER: c = threeWay(load<int32_t>(first), load<int32_t>(second)); break;
    case SQL_SMALLINT: c = threeWay(load<int16_t>(first), load<int16_t>(second)); break;
    case SQL_FLOAT:
    case SQL_DOUBLE: c = rcCnvCompareDoubleExact(load<double>(first), load<double>(second)); break;
    case SQL_REAL: c = rcCnvCompareDoubleExact(load<float>(first), load<float>(second)); break;
    case SQL_DATE: c = rcCmpDate(first, second); break;
    case SQL_TIME: c = rcCmpTime(first, second); break;
    case SQL_TIMESTAMP: c = rcCmpTimestamp(first, second); break;
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR: {
        const char *a = static_cast<const char *>(first);
        const char *b = static_cast<const char *>(second);
        c = rcCollateCompare1252(a, std::strlen(a), b, std::strlen(b));
        break;
    }
    case RC_SQL_SCALED64: c = rcCnvCompareInt64(first, second); break;
    case RC_SQL_DECIMAL38: {
        MultiPrecisionNumber a = load<MultiPrecisionNumber>(first);
        MultiPrecisionNumber b = load<MultiPrecisionNumber>(second);
        c = rcNumOpCompare(a, b);
        break;
    }
    default: c = 0; break;
    }
    return static_cast<int16_t>(c);
}

const char *rcCnvToCharStatic(rcStmt *stmt, const void *value, int16_t sqlType, int32_t length)
{
    (void)stmt;
    thread_local char buffer[259];
    int32_t out = 0;
    int rc =
        rcCnvConvertValue(value, sqlType, length, 0, buffer, SQL_C_CHAR, sizeof buffer, 0, 0, &out);
    if (rc != kCnvCoreOk && rc != kCnvCoreTruncated)
        buffer[0] = '\0';
    return buffer;
}

void rcUtlMergePair(bool firstFixed, bool secondFixed, int32_t &first, int32_t &second)
{
    if ((firstFixed && secondFixed) || first == second)
        return;
    if (first == 0 && !firstFixed)
        first = second;
    else if (second == 0 && !secondFixed)
        second = first;
}

int rcUtlEnsureBuffer(rcErrorQueue *errors, char *&buffer, uint16_t &size, uint32_t needed)
{
    if (buffer != nullptr && size >= needed)
        return 0;
    void *p = buffer;
    if (needed >= 65535u || rcMemRealloc(&p, needed + 1) != 0) {
        if (errors != nullptr)
            rcErrPost(errors, RC_MSG_MEMORY_ALLOCATION_ERROR, nullptr, 0, nullptr);
        return -1;
    }
    buffer = static_cast<char *>(p);
    size = static_cast<uint16_t>(needed + 1);
    return 0;
}
