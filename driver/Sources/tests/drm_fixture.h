// A session against the scripted server; everything opened is released at
// the end of each test (sessions, server links, trace state).
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "driver/Sources/drm.h"
#include "driver/Sources/drm_netlink.h"
#include "driver/Sources/drm_trace.h"
#include "driver/Sources/tests/fake_server.h"

class DrmSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DrmTraceReset();
        DrmNetLibInit(); // as at library load
        server.tables = SampleTables();
    }
    void TearDown() override
    {
        for (uint32_t s : sessions)
            DrmEndSession(s);
        DrmNetLibExit();
        DrmTraceReset();
    }

    uint32_t Begin(const char *user = "user", const char *password = "secret")
    {
        uint32_t s = 0;
        EXPECT_EQ(DrmBeginSession(&s, user, password, "DSN"), 0);
        sessions.push_back(s);
        EXPECT_EQ(DrmSetSessionOption(s, kDrmSessionOptionCodePage, 1252), 0);
        return s;
    }
    uint32_t Open(uint32_t s, const char *path = "TCP/IP:127.0.0.1")
    {
        uint32_t db = 0;
        EXPECT_EQ(DrmOpenDatabase(s, path, &db, 0), 0);
        return db;
    }
    uint32_t OpenTable(uint32_t s, uint32_t db, const char *name)
    {
        uint32_t c = 0;
        EXPECT_EQ(DrmOpenTable(s, db, name, "", 0, &c), 0);
        return c;
    }

    FakeServer server;
    std::vector<uint32_t> sessions;
};
