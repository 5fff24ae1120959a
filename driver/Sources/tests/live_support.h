// Support of the tests against the QX Server emulator: one emulator process
// per test on an ephemeral loopback port (tests/support), with its request
// log in the test's own temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "driver/Sources/drm.h"
#include "driver/Sources/drm_netlink.h"
#include "driver/Sources/drm_qx.h"
#include "driver/Sources/drm_trace.h"
#include "tests/support/qxserver_process.h"
#include "tests/support/temp_dir.h"

namespace drmlive {

namespace fs = std::filesystem;

class Live : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = tempDir_.Path();
        ASSERT_FALSE(dir_.empty());
        log_ = dir_ / "server.log";
        DrmTraceReset();
        DrmNetLibInit();
    }
    void TearDown() override
    {
        for (uint32_t s : sessions_)
            DrmEndSession(s);
        server_.Stop();
    }
    void StartServer(const std::vector<std::string> &extra = {},
                     const std::string &fixture = QX_DRM_FIXTURE)
    {
        std::vector<std::string> args = {"--fixture", fixture, "--log", log_.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        std::string error;
        ASSERT_TRUE(server_.Start(args, &error)) << error;
    }
    uint32_t Begin()
    {
        uint32_t s = 0;
        EXPECT_EQ(DrmBeginSession(&s, "drm", "secret", "Live"), 0);
        sessions_.push_back(s);
        EXPECT_EQ(DrmSetSessionOption(s, kDrmSessionOptionCodePage, 1252), 0);
        return s;
    }
    std::string Log() { return qxtest::ReadFile(log_); }
    // Channels the server still holds open at the end of its log: a channel
    // goes with its "close" or with its link closed by the client.
    std::set<std::string> ChannelsLeftOpen(const std::string &text)
    {
        std::set<std::string> open;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            std::istringstream words(line);
            std::string link, l, channel, c, what;
            words >> link >> l >> channel >> c >> what;
            if (link != "link")
                continue;
            if (channel == "channel" && what == "open")
                open.insert(l + "/" + c);
            else if (channel == "channel" && what == "close")
                open.erase(l + "/" + c);
            else if (channel == "closed" && c == "by") // "link L closed by the client"
                for (auto it = open.begin(); it != open.end();)
                    it = it->rfind(l + "/", 0) == 0 ? open.erase(it) : std::next(it);
        }
        return open;
    }

    // Waits (up to 3 s) until the server has seen every channel go; the log.
    std::string LogOnceChannelsClosed()
    {
        std::string log;
        for (int i = 0; i < 300; ++i) {
            log = Log();
            if (ChannelsLeftOpen(log).empty())
                break;
            usleep(10000);
        }
        return log;
    }

    // Lines of the server log that name a channel and end with the word.
    size_t ChannelLines(const std::string &text, const std::string &word)
    {
        size_t n = 0;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            if (line.find(" channel ") != std::string::npos && line.size() > word.size() &&
                line.compare(line.size() - word.size() - 1, std::string::npos, " " + word) == 0)
                ++n;
        return n;
    }
    std::vector<std::string> Texts(uint32_t s, uint32_t c, uint32_t column)
    {
        std::vector<std::string> out;
        for (int32_t r = DrmMove(s, c, kDrmMoveFirst); r == 0; r = DrmMove(s, c, kDrmMoveNext)) {
            char buf[64];
            uint32_t n = 0;
            EXPECT_EQ(DrmRetrieveColumn(s, c, column, buf, sizeof buf, &n, nullptr), 0);
            out.emplace_back(buf, n);
        }
        return out;
    }
    std::vector<uint32_t> Numbers(uint32_t s, uint32_t c, uint32_t column)
    {
        std::vector<uint32_t> out;
        for (int32_t r = DrmMove(s, c, kDrmMoveFirst); r == 0; r = DrmMove(s, c, kDrmMoveNext)) {
            uint32_t v = 0, n = 0;
            EXPECT_EQ(DrmRetrieveColumn(s, c, column, &v, 4, &n, nullptr), 0);
            out.push_back(v);
        }
        return out;
    }

    qxtest::TempDir tempDir_{"drmlive"};
    QxServerProcess server_;
    fs::path dir_, log_;
    std::vector<uint32_t> sessions_;
};

using LiveLink = Live;

} // namespace drmlive
