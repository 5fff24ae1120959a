// Dialog providers (see dialog.h).
#include "platform/dialog.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <mutex>
#include <strings.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

namespace {

// "No UI": every dialog is cancelled, messages go nowhere.
class NoDialog : public PlatDialogProvider {
public:
    int Run(const std::string &, std::vector<PlatDialogField> &, size_t) override
    {
        return PLAT_DIALOG_CANCEL;
    }
    void Message(const std::string &, const std::string &) override {}
};

// Asks on the controlling terminal, one line per enabled field. An empty
// answer keeps the value shown; end of input cancels.
class TerminalDialog : public PlatDialogProvider {
public:
    explicit TerminalDialog(int fd) : fd_(fd) {}

    int Run(const std::string &title, std::vector<PlatDialogField> &fields, size_t) override
    {
        return RunButtons(title, fields, 0, {});
    }

    // One line per enabled field (a list shows its entries numbered and takes
    // a number or a text), then, with further buttons, the button to press.
    int RunButtons(const std::string &title, std::vector<PlatDialogField> &fields, size_t,
                   const std::vector<PlatDialogButton> &buttons) override
    {
        Write("-- " + title + " --\n");
        std::vector<std::string> answers;
        for (PlatDialogField &f : fields) {
            if (!f.enabled) {
                answers.push_back(f.value);
                continue;
            }
            for (size_t i = 0; i < f.choices.size(); ++i)
                Write("  " + std::to_string(i + 1) + ") " + f.choices[i] + "\n");
            Write(f.label + (f.hidden || f.value.empty() ? "" : " [" + f.value + "]") + ": ");
            std::string line;
            if (!ReadLine(&line, f.hidden))
                return PLAT_DIALOG_CANCEL;
            bool number =
                !line.empty() && line.find_first_not_of("0123456789") == std::string::npos;
            if (!f.choices.empty() && number) {
                size_t n = std::strtoul(line.c_str(), nullptr, 10);
                if (n >= 1 && n <= f.choices.size())
                    line = f.choices[n - 1];
            }
            answers.push_back(line.empty() ? f.value
                                           : line.substr(0, f.limit ? f.limit : line.size()));
        }
        for (size_t i = 0; i < fields.size(); ++i)
            fields[i].value = answers[i];
        // A dialog with nothing to fill in still needs its OK.
        bool asked = std::any_of(fields.begin(), fields.end(),
                                 [](const PlatDialogField &f) { return f.enabled; });
        if (buttons.empty() && asked)
            return PLAT_DIALOG_OK;
        std::string menu = "OK, Cancel";
        for (const PlatDialogButton &b : buttons)
            if (b.enabled)
                menu += ", " + Plain(b.label);
        Write("Press (" + menu + ") [OK]: ");
        std::string line;
        if (!ReadLine(&line, false))
            return PLAT_DIALOG_CANCEL;
        if (line.empty() || strcasecmp(line.c_str(), "ok") == 0)
            return PLAT_DIALOG_OK;
        for (const PlatDialogButton &b : buttons)
            if (b.enabled && strcasecmp(line.c_str(), Plain(b.label).c_str()) == 0)
                return b.id;
        return PLAT_DIALOG_CANCEL;
    }

    void Message(const std::string &caption, const std::string &text) override
    {
        Write(caption + ": " + text + "\n");
    }

    bool Ask(const std::string &caption, const std::string &text) override
    {
        Write((caption.empty() ? "" : caption + ": ") + text + " [y/N]: ");
        std::string line;
        return ReadLine(&line, false) && !line.empty() && (line[0] == 'y' || line[0] == 'Y');
    }

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

    // A button label without its "&" and "..." decorations.
    static std::string Plain(const std::string &label)
    {
        std::string out;
        for (char c : label)
            if (c != '&' && c != '.')
                out.push_back(c);
        while (!out.empty() && out.back() == ' ')
            out.pop_back();
        return out;
    }

    int fd_;
};

// Answers from a script file shared by every library and program of a test:
// each use takes the file's first line off the file (under a file lock):
//   ok|cancel|yes|no|ID [TAB value]...     (in values, \t is a tab, \\ a backslash)
// A missing or empty file answers Cancel (No). What is shown goes to FILE.log.
class FileScriptDialog : public PlatDialogProvider {
public:
    explicit FileScriptDialog(std::string path) : path_(std::move(path)) {}

    int Run(const std::string &title, std::vector<PlatDialogField> &fields, size_t focus) override
    {
        return RunButtons(title, fields, focus, {});
    }

    int RunButtons(const std::string &title, std::vector<PlatDialogField> &fields, size_t,
                   const std::vector<PlatDialogButton> &) override
    {
        std::string log = "DIALOG " + title + "\n";
        for (const PlatDialogField &f : fields) {
            log += "  " + f.label + " = " + (f.hidden ? std::string() : f.value);
            for (const std::string &c : f.choices)
                log += " | " + c;
            log += "\n";
        }
        Log(log);
        std::vector<std::string> parts = Take();
        int result = parts.empty() ? PLAT_DIALOG_CANCEL : Result(parts[0]);
        if (result != PLAT_DIALOG_CANCEL && result != PLAT_DIALOG_FAILED)
            for (size_t i = 0; i < fields.size() && i + 1 < parts.size(); ++i)
                fields[i].value = parts[i + 1];
        return result;
    }

    void Message(const std::string &caption, const std::string &text) override
    {
        Log("MESSAGE " + caption + ": " + text + "\n");
    }

    bool Ask(const std::string &caption, const std::string &text) override
    {
        Log("ASK " + caption + ": " + text + "\n");
        std::vector<std::string> parts = Take();
        return !parts.empty() && Result(parts[0]) == PLAT_DIALOG_OK;
    }

private:
    static int Result(const std::string &word)
    {
        if (word == "ok" || word == "yes")
            return PLAT_DIALOG_OK;
        if (word == "cancel" || word == "no" || word.empty())
            return PLAT_DIALOG_CANCEL;
        return std::atoi(word.c_str());
    }

    std::vector<std::string> Take()
    {
        std::vector<std::string> parts;
        int fd = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
            return parts;
        ::flock(fd, LOCK_EX);
        std::string all;
        char buf[4096];
        for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
            all.append(buf, size_t(n));
        size_t eol = all.find('\n');
        std::string line = all.substr(0, eol);
        std::string rest = eol == std::string::npos ? std::string() : all.substr(eol + 1);
        if (::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0 && !rest.empty()) {
            ssize_t w = ::write(fd, rest.data(), rest.size());
            (void)w;
        }
        ::flock(fd, LOCK_UN);
        ::close(fd);
        if (all.empty())
            return parts;
        std::string cur;
        for (size_t i = 0; i < line.size(); ++i) {
            char c = line[i];
            if (c == '\t') {
                parts.push_back(cur);
                cur.clear();
            } else if (c == '\\' && i + 1 < line.size()) {
                char e = line[++i];
                cur.push_back(e == 't' ? '\t' : e);
            } else if (c != '\r') {
                cur.push_back(c);
            }
        }
        parts.push_back(cur);
        return parts;
    }

    void Log(const std::string &text) { std::ofstream(path_ + ".log", std::ios::app) << text; }

    std::string path_;
};

std::atomic<PlatDialogProvider *> g_installed{nullptr};

NoDialog g_noDialog;

PlatDialogProvider *RunTimeChoice()
{
    NoDialog &none = g_noDialog;
    const char *mode = std::getenv("QX_DIALOG");
    if (mode && std::strcmp(mode, "none") == 0)
        return &none;
    if (mode && std::strncmp(mode, "script:", 7) == 0) {
        static std::mutex m;
        static std::unique_ptr<FileScriptDialog> script;
        std::lock_guard hold(m);
        if (!script)
            script = std::make_unique<FileScriptDialog>(mode + 7);
        return script.get();
    }
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

bool PlatDialogInteractive() { return PlatDialogCurrent() != &g_noDialog; }

void PlatDialogSetProvider(PlatDialogProvider *provider) { g_installed.store(provider); }

int PlatScriptedDialog::Run(const std::string &title, std::vector<PlatDialogField> &fields,
                            size_t focus)
{
    return RunButtons(title, fields, focus, {});
}

int PlatScriptedDialog::RunButtons(const std::string &title, std::vector<PlatDialogField> &fields,
                                   size_t, const std::vector<PlatDialogButton> &)
{
    titles.push_back(title);
    shown.push_back(fields);
    if (answers.empty())
        return PLAT_DIALOG_CANCEL;
    Answer a = answers.front();
    answers.erase(answers.begin());
    if (a.result != PLAT_DIALOG_CANCEL && a.result != PLAT_DIALOG_FAILED)
        for (size_t i = 0; i < fields.size() && i < a.values.size(); ++i)
            fields[i].value = a.values[i];
    return a.result;
}

void PlatScriptedDialog::Message(const std::string &caption, const std::string &text)
{
    messages.push_back(caption + ": " + text);
}

bool PlatScriptedDialog::Ask(const std::string &caption, const std::string &text)
{
    questions.push_back(caption + ": " + text);
    if (answers.empty())
        return false;
    int result = answers.front().result;
    answers.erase(answers.begin());
    return result == PLAT_DIALOG_OK;
}
