// Result columns delivered as SQL_C_SBIGINT or SQL_C_UBIGINT, the 64-bit
// integer C types of ODBC 3 applications (pyodbc reads every BIGINT column
// so). The conversion core has no 64-bit class: the value is read as its
// decimal text, exact for the private decimal type, and converted here.
#include <sql.h>
#include <sqlext.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/exec/rcexe.h"
#include "driver/engine/plan/rcpln.h"
#include "driver/engine/rcstmt.h"
#include "driver/odbc/rcstmt_bigint.h"
#include "driver/odbc/rcstmt_handle.h"

namespace {

int16_t Refuse(rcStmtHandle *s, uint32_t msgId)
{
    rcErrRaise(&s->errors, msgId);
    return -1;
}

} // namespace

int16_t rcStmtDeliverBigInt(rcStmtHandle *s, uint16_t k, int16_t cType, void *value, SQLLEN *length)
{
    int16_t sqlType = s->prep.columns[k].sqlType;
    if (sqlType == SQL_DATE || sqlType == SQL_TIME || sqlType == SQL_TIMESTAMP ||
        sqlType == SQL_BINARY || sqlType == SQL_VARBINARY || sqlType == SQL_LONGVARBINARY)
        return Refuse(s, RC_MSG_RESTRICTED_DATA_TYPE_ATTRIBUTE_VIOLATION);
    char text[160];
    int32_t out = 0;
    bool isNull = false;
    if (rcExeGetColumn(s->engine->planner, k, SQL_C_CHAR, text, sizeof text, &out, 0, &isNull) < 0)
        return -1;
    if (isNull) {
        if (length != nullptr)
            *length = SQL_NULL_DATA;
        return 0;
    }
    if (out >= static_cast<int32_t>(sizeof text))
        return Refuse(s, RC_MSG_NUMERIC_VALUE_OUT_RANGE);
    text[out] = '\0';
    bool isSigned = cType == SQL_C_SBIGINT;
    int64_t i = 0;
    uint64_t u = 0;
    bool cut = false;
    const char *p = text;
    while (*p == ' ')
        ++p;
    bool negative = *p == '-';
    char *end = nullptr;
    errno = 0;
    if (std::strpbrk(p, "eE") != nullptr) {
        // Approximate numbers in exponent form: through a double.
        double d = std::strtod(p, &end);
        double t = std::trunc(d);
        bool fits = isSigned ? t >= -9223372036854775808.0 && t < 9223372036854775808.0
                             : t >= 0 && t < 18446744073709551616.0;
        if (end == p || errno == ERANGE || !fits)
            return Refuse(s,
                          end == p ? RC_MSG_ERROR_IN_ASSIGNMENT : RC_MSG_NUMERIC_VALUE_OUT_RANGE);
        cut = t != d;
        i = static_cast<int64_t>(t);
        u = static_cast<uint64_t>(t < 0 ? 0 : t);
    } else {
        if (isSigned)
            i = std::strtoll(p, &end, 10);
        else
            u = std::strtoull(p, &end, 10);
        bool digits = end != p && !(end == p + 1 && negative);
        if (*end == '.') { // a fraction: its digits go, the integer part stays
            const char *f = end + 1;
            digits = digits || (*f >= '0' && *f <= '9');
            for (; *f >= '0' && *f <= '9'; ++f)
                cut = cut || *f != '0';
            end = const_cast<char *>(f);
        }
        while (*end == ' ')
            ++end;
        if (!digits || *end != '\0')
            return Refuse(s, RC_MSG_ERROR_IN_ASSIGNMENT);
        // strtoull takes "-1" as the largest value: a negative number below
        // the unsigned type's range is out of range unless it is -0.x.
        if (errno == ERANGE || (!isSigned && negative && u != 0))
            return Refuse(s, RC_MSG_NUMERIC_VALUE_OUT_RANGE);
    }
    if (value != nullptr) {
        if (isSigned)
            std::memcpy(value, &i, sizeof i);
        else
            std::memcpy(value, &u, sizeof u);
    }
    if (length != nullptr)
        *length = 8;
    if (!cut)
        return 0;
    rcErrPostTruncatedColumn(&s->errors, k + 1u);
    return 1;
}
