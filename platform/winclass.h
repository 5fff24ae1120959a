// Windows found by class: a program that owns the single window of a class
// ("ODBCSETUP") holds the lock file <dir>/<class>.lock for the window's
// lifetime; anyone can ask whether such a window exists.
//
//   PlatClassWindow w;
//   if (!w.Create("ODBCSETUP")) ... another window of the class exists
//   ... the window lives ...
//   w.Destroy();                  // or the destructor; the file goes too
//   PlatFindWindowByClass("ODBCSETUP")  -> true while some process holds it
//
// The directory is QX_LOCK_DIR, else XDG_RUNTIME_DIR, else /tmp. A lock file
// left behind by a program that died holds no lock and counts as no window.
#pragma once

#include <string>

std::string PlatClassLockPath(const std::string &windowClass);

bool PlatFindWindowByClass(const std::string &windowClass);

class PlatClassWindow {
public:
    PlatClassWindow() = default;
    ~PlatClassWindow() { Destroy(); }
    PlatClassWindow(const PlatClassWindow &) = delete;
    PlatClassWindow &operator=(const PlatClassWindow &) = delete;

    // False when a window of the class exists already or the file cannot be made.
    bool Create(const std::string &windowClass);
    void Destroy();

private:
    int fd_ = -1;
    std::string path_;
};
