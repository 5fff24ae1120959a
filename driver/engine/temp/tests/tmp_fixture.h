// Shared test support for temporary tables: a private work directory, an
// owner block with shrunken limits, and the message ids posted.
#pragma once

#include "driver/core/rcerror.h"
#include "driver/core/rclist.h"
#include "driver/core/rclock.h"
#include "driver/core/rcmem.h"
#include "driver/engine/temp/rctmp.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <string>
#include <vector>

class TmpTest : public ::testing::Test {
protected:
    // The test stands in for one environment: the driver-wide lock and the
    // pool table exist from SetUp to TearDown.
    void SetUp() override
    {
        ASSERT_EQ(rcInitDriverGlobals(), 0);
        // A directory name with a blank and a "+", as TempFileDirectory may hold.
        std::string pattern = ::testing::TempDir() + "tmp work+XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern + "/";
        owner_.errors = &errors_;
        owner_.cancel = &cancel_;
        owner_.workDir = dir_.c_str();
        // Small limits: growth, spill, windows and merge passes with few rows.
        owner_.limits.growStep = 600;
        owner_.limits.memoryLimit = 2400;
        owner_.limits.sortCoreKb = 48;
    }
    void TearDown() override
    {
        rcErrQueueDestroy(&errors_);
        rcPoolFreeAll();
        EXPECT_EQ(filesIn(dir_), std::vector<std::string>{}) << "files left behind";
        std::filesystem::remove_all(dir_);
    }

    static std::vector<std::string> filesIn(const std::string &dir)
    {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto &e : std::filesystem::directory_iterator(dir, ec))
            names.push_back(e.path().filename().string());
        return names;
    }

    // Message ids queued so far, oldest first; the queue is emptied.
    std::vector<uint32_t> takeMessages()
    {
        std::vector<uint32_t> ids;
        if (errors_.list != nullptr) {
            for (uint32_t i = 0; i < rcListCount(errors_.list); ++i) {
                rcErrorRecord r;
                rcListGet(errors_.list, &r, i);
                ids.push_back(r.msgId);
            }
        }
        rcErrClearQueue(&errors_);
        return ids;
    }

    // Where a sort runs: in memory, after a spill (the fixture's small
    // limits), or through the external sort library.
    enum Mode { InMemory, Spilled, NoOptSort };
    rcTmpOwner ownerFor(Mode mode) const
    {
        rcTmpOwner owner = owner_;
        if (mode != Spilled)
            owner.limits.memoryLimit = 64u << 20;
        if (mode == NoOptSort)
            owner.engineOptions = RC_TMP_OPT_NOOPTSORT;
        return owner;
    }

    std::string dir_;
    rcErrorQueue errors_{};
    rcTmpCancelFlag cancel_{0};
    rcTmpOwner owner_;
};
