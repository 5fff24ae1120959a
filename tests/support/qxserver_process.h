// Starts qxserver as a child process for a test and stops it again: the one
// server launcher of every test.
//
//   QxServerProcess server;
//   ASSERT_TRUE(server.Start({"--fixture", fixture}));   // adds --port 0
//   ... connect to 127.0.0.1:server.Port(), or DBQ=server.Dbq() ...
//   // the destructor stops the server (SIGTERM, then reaps it)
//
// Start reads the server's first line, "listening on PORT", so the server
// accepts connections once Start returns. The program is QXSERVER_PROGRAM
// from the environment, else the qxserver of this build.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

class QxServerProcess {
public:
    QxServerProcess() = default;
    ~QxServerProcess();
    QxServerProcess(const QxServerProcess &) = delete;
    QxServerProcess &operator=(const QxServerProcess &) = delete;

    // Starts the server with `args` after "--port 0" (a later --port wins).
    bool Start(const std::vector<std::string> &args, std::string *error = nullptr);
    void Stop();
    uint16_t Port() const { return port_; }
    // The data-source path of the server: "TCP/IP:127.0.0.1:PORT".
    std::string Dbq() const;
    pid_t Pid() const { return pid_; }

    // Path of the qxserver program under test.
    static std::string ProgramPath();
    // Writes `json` to a new temporary file and returns its path; the file
    // is removed by RemoveTempFiles (called by the destructor).
    std::string TempFile(const std::string &content, const std::string &suffix = ".json");
    // A fixture with the given users only.
    std::string FixtureWithUsers(const std::vector<std::pair<std::string, std::string>> &users);
    // A path for a log file, removed with the temporary files.
    std::string LogPath();
    // The log file's whole text.
    static std::string ReadFile(const std::string &path);

private:
    pid_t pid_ = -1;
    uint16_t port_ = 0;
    std::vector<std::string> temps_;
};
