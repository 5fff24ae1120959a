// The engine's SET statements (see rcset.h).
#include "driver/odbc/rcset.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/frontend/fe_check.h"
#include "driver/odbc/rcopt_engine.h"
#include "platform/strings.h"

namespace {

// A decimal number filling the whole value (blanks around it allowed).
bool ReadNumber(const char *value, long *out)
{
    while (*value == ' ' || *value == '\t')
        ++value;
    char *end = nullptr;
    long n = std::strtol(value, &end, 10);
    if (end == value)
        return false;
    while (*end == ' ' || *end == '\t' || *end == ';')
        ++end;
    if (*end != '\0')
        return false;
    *out = n;
    return true;
}

int BadValue(const rcSetTarget &t, const char *name, const char *value)
{
    std::string text = std::string("Invalid value for SET ") + name + ": '" + value + "'.";
    rcErrPost(t.errors, RC_MSG_INVALID_ARGUMENT_VALUE, nullptr, 0, text.c_str());
    return -1;
}

} // namespace

int rcDrsSpecialStatement(const rcSetTarget &target, const char *text, int16_t *status)
{
    *status = -1;
    if (text == nullptr)
        return 0;
    while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n')
        ++text;
    for (const rcOptEntry &e : rcOptTable) {
        std::string prefix = std::string("SET ") + e.name;
        if (PlatAsciiCaseCompareN(text, prefix.c_str(), prefix.size()) != 0)
            continue;
        const char *value = text + prefix.size();
        if (*value != '\0')
            ++value;
        if (e.bit == RC_OPT_DEBUGLEVEL) {
            long level = 0;
            if (!ReadNumber(value, &level) || level < 0 || level > 0xFFFF)
                return BadValue(target, e.name, value), 1;
            if (target.debugLevel != nullptr)
                *target.debugLevel = static_cast<uint16_t>(level);
            *status = 0;
            return 1;
        }
        if (e.bit == RC_OPT_TXNMODEL) {
            long model = 0;
            if (!ReadNumber(value, &model) || model < 0 || model > 4)
                return BadValue(target, e.name, value), 1;
            if (target.setTxnModel != nullptr &&
                target.setTxnModel(target.context, static_cast<int>(model)) != 0)
                return 1;
            *status = 0;
            return 1;
        }
        bool on = PlatAsciiCaseCompare(value, "ON") == 0;
        if (target.mask != nullptr) {
            if (on)
                *target.mask |= e.bit;
            else
                *target.mask &= ~e.bit;
        }
        if (on && e.bit == RC_OPT_QRYPLAN && target.qryPlan != nullptr)
            *target.qryPlan = 1;
        if (!on && e.bit == RC_OPT_DRMSPY && target.drmTrace != nullptr)
            *target.drmTrace = 0;
        // The display windows of QryPlan, PrsSpy and FiltSpy do not exist on
        // this platform: nothing to open or close.
        *status = 0;
        return 1;
    }
    return 0;
}
