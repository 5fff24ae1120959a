// The engine's SET statements: what each changes, and which texts they take.
#include <gtest/gtest.h>

#include "driver/core/rcerror.h"
#include "driver/core/rclock.h"
#include "driver/odbc/rcopt_engine.h"
#include "driver/odbc/rcset.h"

namespace {

TEST(RcSet, StatementsChangeTheMaskAndAreConsumed)
{
    uint32_t mask = 0, qryPlan = 0, drmTrace = 1;
    uint16_t debug = 0;
    ASSERT_EQ(rcInitDriverGlobals(), 0);
    rcErrorQueue errors{};
    int models = -1;
    rcSetTarget t;
    t.mask = &mask;
    t.debugLevel = &debug;
    t.qryPlan = &qryPlan;
    t.drmTrace = &drmTrace;
    t.errors = &errors;
    t.context = &models;
    t.setTxnModel = [](void *ctx, int model) {
        *static_cast<int *>(ctx) = model;
        return 0;
    };
    int16_t status = 5;
    EXPECT_EQ(rcDrsSpecialStatement(t, "set noindexes on", &status), 1);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(mask, uint32_t{RC_OPT_NOINDEXES});
    EXPECT_EQ(rcDrsSpecialStatement(t, "SET NoIndexes ON ", &status), 1);
    EXPECT_EQ(mask, 0u) << "only exactly ON switches on";
    EXPECT_EQ(rcDrsSpecialStatement(t, "SET QryPlan ON", &status), 1);
    EXPECT_EQ(qryPlan, 1u);
    EXPECT_EQ(rcDrsSpecialStatement(t, "SET DrmSpy OFF", &status), 1);
    EXPECT_EQ(drmTrace, 0u);
    EXPECT_EQ(rcDrsSpecialStatement(t, "SET DebugLevel 3", &status), 1);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(debug, 3);
    EXPECT_EQ(rcDrsSpecialStatement(t, "SET TxnModel 2", &status), 1);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(models, 2);
    EXPECT_EQ(rcDrsSpecialStatement(t, "SET TxnModel 9", &status), 1);
    EXPECT_EQ(status, -1);
    EXPECT_EQ(models, 2);
    EXPECT_TRUE(rcErrQueueAny(&errors));
    EXPECT_EQ(rcDrsSpecialStatement(t, "SELECT 1", &status), 0);
    EXPECT_EQ(rcDrsSpecialStatement(t, "SET X ON", &status), 0);
    rcErrQueueDestroy(&errors);
}

} // namespace
