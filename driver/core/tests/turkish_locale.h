// Switches the process to a Turkish locale for one test: there "i" and "I"
// are no case pair for the C library's case functions, so code that compares
// keywords through them stops matching "uid" with "UID". When the system has
// no such locale it is made with localedef in a temporary directory; ok() is
// false when neither works (the test then skips).
#pragma once

#include "tests/support/temp_dir.h"

#include <clocale>
#include <cstdlib>
#include <memory>
#include <string>

class TurkishLocale {
public:
    TurkishLocale()
    {
        if (std::setlocale(LC_ALL, "tr_TR.UTF-8")) {
            ok_ = true;
            return;
        }
        dir_ = std::make_unique<qxtest::TempDir>("qxlocale");
        if (dir_->Path().empty())
            return;
        std::string make =
            "localedef -i tr_TR -f UTF-8 '" + dir_->Str() + "/tr_TR.UTF-8' >/dev/null 2>&1";
        if (std::system(make.c_str()) == -1)
            return;
        locpath_ = std::make_unique<qxtest::ScopedEnv>("LOCPATH", dir_->Str());
        ok_ = std::setlocale(LC_ALL, "tr_TR.UTF-8") != nullptr;
    }
    ~TurkishLocale() { std::setlocale(LC_ALL, "C"); }
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
    // Only when the locale is made here; LOCPATH goes before its directory.
    std::unique_ptr<qxtest::TempDir> dir_;
    std::unique_ptr<qxtest::ScopedEnv> locpath_;
};
