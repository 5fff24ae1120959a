// The engine option table and its value readers (see rcopt_engine.h).
#include "driver/odbc/rcopt_engine.h"

#include "driver/engine/rcspy.h"

#include <cstdlib>
#include <cstring>

const rcOptEntry rcOptTable[kRcOptCount] = {
    {RC_OPT_QRYPLAN, "QryPlan", 1},
    {RC_OPT_DRMSPY, "DrmSpy", 1},
    {RC_OPT_VALIDATEINDEX, "ValidateIndex", 1},
    {RC_OPT_DEBUGLEVEL, "DebugLevel", 0},
    {RC_OPT_STATISTICS, "Statistics", 1},
    {RC_OPT_SAFEOPT, "SafeOpt", 1},
    {RC_OPT_TXNMODEL, "TxnModel", 0},
    {RC_OPT_PRSSPY, "PrsSpy", 1},
    {RC_OPT_NOJOINOPT, "NoJoinOpt", 1},
    {RC_OPT_FILTSPY, "FiltSpy", 1},
    {RC_OPT_NOFILTOPT, "NoFiltOpt", 1},
    {RC_OPT_NOSTACKCHECK, "NoStackCheck", 1},
    {RC_OPT_NOINDEXES, "NoIndexes", 1},
    {RC_OPT_TRACEEXACT, "TraceExact", 1},
    {RC_OPT_MAXCOLSUPPORT, "MaxColSupport", 1},
    {RC_OPT_NOGETDATAOPT, "NoGetDataOpt", 1},
    {RC_OPT_NOOPTSORT, "NoOptSort", 1},
    {RC_OPT_NOHASHOPT, "NoHashOpt", 1},
};

bool rcOptValueIsOff(const char *value) { return value[0] == 'F' || value[0] == '0'; }

uint32_t rcOptReadNumber(const char *value)
{
    return static_cast<uint32_t>(std::strtoul(value, nullptr, 0));
}

void rcSpyCloseAllWindows() { rcSpyClose(); }
