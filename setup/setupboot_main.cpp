// setupboot: starts the setup program and stays until the setup's window
// (the lock of window class "ODBCSETUP", platform/winclass.h) has appeared
// and gone again, so that whatever started setupboot waits for the whole
// setup.
//
//   setupboot [--appear-ms N] [--limit-s N] [--] COMMAND [ARGS...]
//
// Every 100 ms: once the window was seen, the end is when it has gone; a
// window not seen within --appear-ms (5000) ends the wait as well, and no
// wait lasts beyond --limit-s (3600) seconds. When the command itself ends
// first its result is the result.
//
// Exit codes: the command's exit code when it ended (0: setup succeeded);
// 3 when a setup was running already; 124 when the window never came, the
// time limit passed, or the command did not end within 10 s of closing its
// window; 126 when the command could not be started.
#include "platform/winclass.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

enum BootExit : int {
    BOOT_EXIT_RUNNING = 3,
    BOOT_EXIT_TIMEOUT = 124,
    BOOT_EXIT_NOT_STARTED = 126,
};

constexpr const char *kSetupClass = "ODBCSETUP";
constexpr const char *kBootClass = "ODBC_BOOTSTRAP";
constexpr int kTickMs = 100;
constexpr int kFinishMs = 10000; // the command's own end after its window went

int Usage()
{
    std::fprintf(stderr, "usage: setupboot [--appear-ms N] [--limit-s N] [--] COMMAND [ARGS...]\n");
    return BOOT_EXIT_NOT_STARTED;
}

// The exit code of a finished child.
int ExitCode(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

} // namespace

int main(int argc, char **argv)
{
    long appearMs = 5000, limitS = 3600;
    int first = 1;
    for (; first < argc; ++first) {
        std::string a = argv[first];
        if (a == "--") {
            ++first;
            break;
        }
        if ((a == "--appear-ms" || a == "--limit-s") && first + 1 < argc) {
            long v = std::strtol(argv[++first], nullptr, 10);
            (a == "--appear-ms" ? appearMs : limitS) = v;
            continue;
        }
        break;
    }
    if (first >= argc)
        return Usage();
    if (PlatFindWindowByClass(kSetupClass)) {
        std::fprintf(stderr, "setupboot: setup is running already\n");
        return BOOT_EXIT_RUNNING;
    }
    PlatClassWindow boot;
    if (!boot.Create(kBootClass)) {
        std::fprintf(stderr, "setupboot: a bootstrapper is running already\n");
        return BOOT_EXIT_RUNNING;
    }
    pid_t child = -1;
    int err = posix_spawnp(&child, argv[first], nullptr, nullptr, argv + first, environ);
    if (err != 0) {
        std::fprintf(stderr, "setupboot: cannot start %s: %s\n", argv[first], std::strerror(err));
        return BOOT_EXIT_NOT_STARTED;
    }
    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    auto elapsedMs = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    };
    bool seen = false;
    long goneAtMs = -1;
    for (;;) {
        int status = 0;
        pid_t r = ::waitpid(child, &status, WNOHANG);
        if (r == child)
            return ExitCode(status); // a command that exec failed for ends with 127
        bool present = PlatFindWindowByClass(kSetupClass);
        if (present)
            seen = true;
        if (seen && !present && goneAtMs < 0)
            goneAtMs = elapsedMs();
        // The window went: the command ends soon after and reports the result.
        if (goneAtMs >= 0 && elapsedMs() - goneAtMs > kFinishMs) {
            std::fprintf(stderr, "setupboot: setup closed its window but did not end\n");
            return BOOT_EXIT_TIMEOUT;
        }
        if (!seen && elapsedMs() > appearMs) {
            std::fprintf(stderr, "setupboot: no setup window appeared\n");
            return BOOT_EXIT_TIMEOUT;
        }
        if (elapsedMs() > limitS * 1000) {
            std::fprintf(stderr, "setupboot: setup did not end in %ld seconds\n", limitS);
            return BOOT_EXIT_TIMEOUT;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kTickMs));
    }
}
