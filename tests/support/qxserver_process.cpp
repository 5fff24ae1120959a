#include "tests/support/qxserver_process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

QxServerProcess::~QxServerProcess()
{
    Stop();
    for (const std::string &p : temps_)
        ::unlink(p.c_str());
}

std::string QxServerProcess::ProgramPath()
{
    if (const char *p = std::getenv("QXSERVER_PROGRAM"))
        return p;
    return QXSERVER_PATH;
}

bool QxServerProcess::Start(const std::vector<std::string> &args, std::string *error)
{
    auto fail = [&](const std::string &why) {
        if (error)
            *error = why;
        Stop();
        return false;
    };
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return fail("pipe failed");
    std::string program = ProgramPath();
    std::vector<std::string> all{program, "--port", "0"};
    all.insert(all.end(), args.begin(), args.end());
    pid_ = ::fork();
    if (pid_ < 0) {
        ::close(out[0]);
        ::close(out[1]);
        return fail("fork failed");
    }
    if (pid_ == 0) {
        ::dup2(out[1], 1);
        std::vector<char *> argv;
        for (std::string &a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    std::string line;
    bool done = false;
    // A big fixture on a machine busy with a parallel build can take a while
    // to load; the server exits (end of file) when it cannot start at all.
    while (!done) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 60000) <= 0)
            break;
        char c;
        ssize_t n = ::read(out[0], &c, 1);
        if (n <= 0)
            break;
        if (c == '\n')
            done = true;
        else
            line += c;
    }
    ::close(out[0]);
    unsigned port = 0;
    if (!done || std::sscanf(line.c_str(), "listening on %u", &port) != 1 || port == 0)
        return fail("qxserver did not start: \"" + line + "\"");
    port_ = uint16_t(port);
    return true;
}

std::string QxServerProcess::Dbq() const
{
    std::string dbq = "TCP/IP:127.0.0.1:";
    dbq += std::to_string(port_);
    return dbq;
}

void QxServerProcess::Stop()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {}
    pid_ = -1;
}

std::string QxServerProcess::TempFile(const std::string &content, const std::string &suffix)
{
    const char *dir = std::getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/qxtestXXXXXX" + suffix;
    int fd = ::mkstemps(path.data(), int(suffix.size()));
    if (fd < 0)
        return {};
    ssize_t w = ::write(fd, content.data(), content.size());
    (void)w;
    ::close(fd);
    temps_.push_back(path);
    return path;
}

std::string
QxServerProcess::FixtureWithUsers(const std::vector<std::pair<std::string, std::string>> &users)
{
    std::string json = "{\"users\":[";
    for (size_t i = 0; i < users.size(); ++i) {
        if (i)
            json += ',';
        json += "{\"name\":\"";
        json += users[i].first;
        json += "\",\"password\":\"";
        json += users[i].second;
        json += "\"}";
    }
    json += "],\"tables\":[]}";
    return TempFile(json);
}

std::string QxServerProcess::LogPath() { return TempFile("", ".log"); }

std::string QxServerProcess::ReadFile(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
