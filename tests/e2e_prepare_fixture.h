// The connection of the prepared-statement tests: the engine trace at level
// 2, whose "rcExeMakePlanner(" lines count the plans the driver builds.
#pragma once

#include "tests/e2e_fixture.h"

#include <algorithm>
#include <string>

inline size_t CountOf(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class E2ePlans : public E2eConnected {
protected:
    void SetUp() override
    {
        E2eFixture::SetUp();
        Reconnect("");
    }

    // A fresh connection whose data source adds `options` and writes the
    // engine trace at level 2.
    void Reconnect(const std::string &options)
    {
        Disconnect();
        WriteDsn("EngineTrace=2\n" + options);
        ConnectDemo();
        ASSERT_EQ(SQLExecDirect(stmt, Text("SET DebugLevel 2"), SQL_NTS), SQL_SUCCESS) << Diag();
    }

    // Plans built since the last call.
    size_t NewPlans()
    {
        std::string trace = ReadFile("trace.log");
        size_t from = std::min(traceSeen, trace.size());
        traceSeen = trace.size();
        return CountOf(trace.substr(from), "rcExeMakePlanner(");
    }

    size_t traceSeen = 0;
};
