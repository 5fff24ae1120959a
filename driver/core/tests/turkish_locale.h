// Switches the process to a Turkish locale for one test: there "i" and "I"
// are no case pair for the C library's case functions, so code that compares
// keywords through them stops matching "uid" with "UID". When the system has
// no such locale it is made with localedef in a temporary directory; ok() is
// false when neither works (the test then skips).
#pragma once

#include <clocale>
#include <cstdlib>
#include <string>
#include <unistd.h>

class TurkishLocale {
public:
    TurkishLocale()
    {
        if (std::setlocale(LC_ALL, "tr_TR.UTF-8")) {
            ok_ = true;
            return;
        }
        char dir[] = "/tmp/qxlocaleXXXXXX";
        if (!mkdtemp(dir))
            return;
        dir_ = dir;
        std::string make = "localedef -i tr_TR -f UTF-8 '" + dir_ + "/tr_TR.UTF-8' >/dev/null 2>&1";
        if (std::system(make.c_str()) == -1)
            return;
        setenv("LOCPATH", dir_.c_str(), 1);
        ok_ = std::setlocale(LC_ALL, "tr_TR.UTF-8") != nullptr;
    }
    ~TurkishLocale()
    {
        std::setlocale(LC_ALL, "C");
        if (!dir_.empty()) {
            unsetenv("LOCPATH");
            std::string remove = "rm -rf '" + dir_ + "'";
            if (std::system(remove.c_str()) != 0) {
            }
        }
    }
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
    std::string dir_;
};
