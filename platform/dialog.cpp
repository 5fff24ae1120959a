// Dialog providers (see dialog.h).
#include "platform/dialog.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// "No UI": every dialog is cancelled, messages go nowhere.
class NoDialog : public PlatDialogProvider {
public:
    int Run(const std::string &, std::vector<PlatDialogField> &, size_t) override { return PLAT_DIALOG_CANCEL; }
    void Message(const std::string &, const std::string &) override {}
};

// Asks on the controlling terminal, one line per enabled field. An empty
// answer keeps the value shown; end of input cancels.
class TerminalDialog : public PlatDialogProvider {
public:
    explicit TerminalDialog(int fd) : fd_(fd) {}

    int Run(const std::string &title, std::vector<PlatDialogField> &fields, size_t) override
    {
        Write("-- " + title + " --\n");
        std::vector<std::string> answers;
        for (PlatDialogField &f : fields) {
            if (!f.enabled) {
                answers.push_back(f.value);
                continue;
            }
            Write(f.label + (f.hidden || f.value.empty() ? "" : " [" + f.value + "]") + ": ");
            std::string line;
            if (!ReadLine(&line, f.hidden))
                return PLAT_DIALOG_CANCEL;
            answers.push_back(line.empty() ? f.value : line.substr(0, f.limit ? f.limit : line.size()));
        }
        for (size_t i = 0; i < fields.size(); ++i)
            fields[i].value = answers[i];
        return PLAT_DIALOG_OK;
    }

    void Message(const std::string &caption, const std::string &text) override { Write(caption + ": " + text + "\n"); }

private:
    void Write(const std::string &s)
    {
        ssize_t n = ::write(fd_, s.data(), s.size());
        (void)n;
    }

    bool ReadLine(std::string *line, bool hidden)
    {
        termios saved{};
        bool restore = false;
        if (hidden && tcgetattr(fd_, &saved) == 0) {
            termios quiet = saved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            restore = tcsetattr(fd_, TCSANOW, &quiet) == 0;
        }
        bool ok = false;
        char c = 0;
        while (::read(fd_, &c, 1) == 1) {
            if (c == '\n') {
                ok = true;
                break;
            }
            line->push_back(c);
        }
        if (restore) {
            tcsetattr(fd_, TCSANOW, &saved);
            Write("\n");
        }
        return ok;
    }

    int fd_;
};

std::atomic<PlatDialogProvider *> g_installed{nullptr};

PlatDialogProvider *RunTimeChoice()
{
    static NoDialog none;
    const char *mode = std::getenv("QX_DIALOG");
    if (mode && std::strcmp(mode, "none") == 0)
        return &none;
    bool forced = mode && std::strcmp(mode, "terminal") == 0;
    if (!forced && !isatty(STDIN_FILENO))
        return &none;
    static int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return &none;
    static TerminalDialog terminal(fd);
    return &terminal;
}

} // namespace

PlatDialogProvider *PlatDialogCurrent()
{
    PlatDialogProvider *p = g_installed.load();
    return p ? p : RunTimeChoice();
}

void PlatDialogSetProvider(PlatDialogProvider *provider) { g_installed.store(provider); }

int PlatScriptedDialog::Run(const std::string &title, std::vector<PlatDialogField> &fields, size_t)
{
    titles.push_back(title);
    shown.push_back(fields);
    if (answers.empty())
        return PLAT_DIALOG_CANCEL;
    Answer a = answers.front();
    answers.erase(answers.begin());
    if (a.result == PLAT_DIALOG_OK)
        for (size_t i = 0; i < fields.size() && i < a.values.size(); ++i)
            fields[i].value = a.values[i];
    return a.result;
}

void PlatScriptedDialog::Message(const std::string &caption, const std::string &text)
{
    messages.push_back(caption + ": " + text);
}
