// Engine options: named switches and two numbers that change how statements
// are planned, checked and traced.
//
// Every connection holds an option block filled once at connect from its
// settings (rcOptApplyEngineOptions, rcconnect.h: the connection string first,
// then the data source's odbc.ini entry); every statement starts with a copy
// of it. The SET
// statements that change a statement's copy come with statement preparation and
// read the same table (rcOptTable).
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/engine/rcspy.h"

// The engine option block of a connection, copied into each statement.
struct rcEngineOptions {
    uint32_t mask; // RC_OPT_* bits
    uint16_t debugLevel;
    uint32_t engineTraceLevel;
    uint32_t qryPlan;
    uint32_t txnFlag; // 0 when the data source's SQL_TXN_CAPABLE answer is 5
};

enum : uint32_t {
    RC_OPT_QRYPLAN = 0x2,
    RC_OPT_DRMSPY = 0x4,
    RC_OPT_VALIDATEINDEX = 0x8,
    RC_OPT_DEBUGLEVEL = 0x10,
    RC_OPT_STATISTICS = 0x20,
    RC_OPT_SAFEOPT = 0x40,
    RC_OPT_TXNMODEL = 0x80,
    RC_OPT_PRSSPY = RC_SPY_OPT_PRSSPY,
    RC_OPT_NOJOINOPT = 0x200,
    RC_OPT_FILTSPY = RC_SPY_OPT_FILTSPY,
    RC_OPT_NOFILTOPT = 0x800,
    RC_OPT_NOSTACKCHECK = 0x1000,
    RC_OPT_NOINDEXES = 0x4000,
    RC_OPT_TRACEEXACT = 0x8000,
    RC_OPT_MAXCOLSUPPORT = 0x40000,
    RC_OPT_NOGETDATAOPT = 0x80000,
    RC_OPT_NOOPTSORT = 0x100000,
    // Joins and grouping run as nested loops over the server and as sorted
    // groups, never through the engine's hash tables (tests force the plain
    // strategies with it).
    RC_OPT_NOHASHOPT = 0x200000,
};

struct rcOptEntry {
    uint32_t bit;
    const char *name;
    uint32_t isSwitch; // 1 switch, 0 number
};

inline constexpr size_t kRcOptCount = 18;
extern const rcOptEntry rcOptTable[kRcOptCount];

inline constexpr uint16_t kRcMinMaxColSupport = 256;

// A setting value that means off: first character "F" (upper case only) or "0".
bool rcOptValueIsOff(const char *value);
// Reads a decimal, 0x hexadecimal or leading-0 octal number.
uint32_t rcOptReadNumber(const char *value);
// At the last disconnect: closes the engine's spy output (the display windows
// of the query plan and the spies are that output here).
void rcSpyCloseAllWindows();
