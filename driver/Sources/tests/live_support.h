// Support of the tests against the QX Server emulator: one emulator process
// per test on an ephemeral loopback port, with its request log.
#pragma once

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "driver/Sources/drm.h"
#include "driver/Sources/drm_netlink.h"
#include "driver/Sources/drm_qx.h"
#include "driver/Sources/drm_trace.h"

namespace drmlive {

namespace fs = std::filesystem;

// One emulator process on an ephemeral loopback port.
class Emulator {
public:
    bool Start(const std::vector<std::string> &extra, const fs::path &log, const std::string &fixture = QX_DRM_FIXTURE) {
        int out[2];
        if (pipe(out) != 0)
            return false;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            close(out[0]);
            close(out[1]);
            std::vector<std::string> args = {QX_SERVER_PATH, "--port", "0", "--fixture", fixture,
                                             "--log", log.string()};
            args.insert(args.end(), extra.begin(), extra.end());
            std::vector<char *> argv;
            for (std::string &a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        FILE *f = fdopen(out[0], "r");
        char line[128] = {};
        bool ok = f && std::fgets(line, sizeof line, f) && std::sscanf(line, "listening on %u", &port_) == 1;
        if (f)
            std::fclose(f);
        return ok;
    }
    void Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    ~Emulator() { Stop(); }
    std::string Path() const { return "TCP/IP:127.0.0.1:" + std::to_string(port_); }
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    unsigned port_ = 0;
};

class Live : public ::testing::Test {
protected:
    void SetUp() override {
        char templ[] = "/tmp/drmliveXXXXXX";
        dir_ = mkdtemp(templ);
        log_ = dir_ / "server.log";
        DrmTraceReset();
        DrmNetLibInit();
    }
    void TearDown() override {
        for (uint32_t s : sessions_)
            DrmEndSession(s);
        server_.Stop();
        if (!dir_.empty())
            fs::remove_all(dir_);
    }
    void StartServer(const std::vector<std::string> &extra = {}, const std::string &fixture = QX_DRM_FIXTURE) {
        ASSERT_TRUE(server_.Start(extra, log_, fixture));
    }
    uint32_t Begin() {
        uint32_t s = 0;
        EXPECT_EQ(DrmBeginSession(&s, "drm", "secret", "Live"), 0);
        sessions_.push_back(s);
        EXPECT_EQ(DrmSetSessionOption(s, kDrmSessionOptionCodePage, 1252), 0);
        return s;
    }
    std::string Log() {
        std::ifstream in(log_);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // Channels the server still holds open at the end of its log: a channel
    // goes with its "close" or with its link closed by the client.
    std::set<std::string> ChannelsLeftOpen(const std::string &text) {
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
            else if (channel == "closed" && c == "by")    // "link L closed by the client"
                for (auto it = open.begin(); it != open.end();)
                    it = it->rfind(l + "/", 0) == 0 ? open.erase(it) : std::next(it);
        }
        return open;
    }

    // Waits (up to 3 s) until the server has seen every channel go; the log.
    std::string LogOnceChannelsClosed() {
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
    size_t ChannelLines(const std::string &text, const std::string &word) {
        size_t n = 0;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            if (line.find(" channel ") != std::string::npos && line.size() > word.size() &&
                line.compare(line.size() - word.size() - 1, std::string::npos, " " + word) == 0)
                ++n;
        return n;
    }
    std::vector<std::string> Texts(uint32_t s, uint32_t c, uint32_t column) {
        std::vector<std::string> out;
        for (int32_t r = DrmMove(s, c, kDrmMoveFirst); r == 0; r = DrmMove(s, c, kDrmMoveNext)) {
            char buf[64];
            uint32_t n = 0;
            EXPECT_EQ(DrmRetrieveColumn(s, c, column, buf, sizeof buf, &n, nullptr), 0);
            out.emplace_back(buf, n);
        }
        return out;
    }
    std::vector<uint32_t> Numbers(uint32_t s, uint32_t c, uint32_t column) {
        std::vector<uint32_t> out;
        for (int32_t r = DrmMove(s, c, kDrmMoveFirst); r == 0; r = DrmMove(s, c, kDrmMoveNext)) {
            uint32_t v = 0, n = 0;
            EXPECT_EQ(DrmRetrieveColumn(s, c, column, &v, 4, &n, nullptr), 0);
            out.push_back(v);
        }
        return out;
    }

    Emulator server_;
    fs::path dir_, log_;
    std::vector<uint32_t> sessions_;
};

using LiveLink = Live;

} // namespace drmlive
