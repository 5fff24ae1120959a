// A test stands in for one environment: the driver-wide lock and the pool
// table exist from SetUp to TearDown, as from SQLAllocEnv to SQLFreeEnv.
#pragma once

#include "driver/core/rclock.h"
#include "driver/core/rcmem.h"

#include <gtest/gtest.h>

class DriverEnvTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(rcInitDriverGlobals(), 0); }
    void TearDown() override
    {
        rcPoolFreeAll();
        EXPECT_EQ(*rcDriverLockVar(), nullptr) << "a test left an environment behind";
    }
};
