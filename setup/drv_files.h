// Installing a set of files as one step: every file is copied to a
// temporary name in the target directory first; only when all copies are
// complete do they replace the targets (rename). Files they replace are kept
// aside until Commit, so that Undo puts the directory back as it was.
//
//   DrvFileSet set(sourceDir, targetDir);
//   if (!set.Copy({"libsqldriver.so", ...}, &error)) ...   nothing is left behind
//   if (!set.Install(&error)) ...                          undone already
//   ... further steps; on failure set.Undo();
//   set.Commit();                                          drops what was kept aside
// The destructor undoes what was not committed.
#pragma once

#include <string>
#include <vector>

class DrvFileSet {
public:
    DrvFileSet(std::string sourceDir, std::string targetDir);
    ~DrvFileSet();
    DrvFileSet(const DrvFileSet &) = delete;
    DrvFileSet &operator=(const DrvFileSet &) = delete;

    bool Copy(const std::vector<std::string> &names, std::string *error);
    bool Install(std::string *error);
    void Undo();
    void Commit();

private:
    struct Item {
        std::string name, temp, kept;
        bool installed = false;
    };
    std::string source_, target_;
    std::vector<Item> items_;
    bool createdTarget_ = false;
};

// The directory of the running program (/proc/self/exe).
std::string DrvProgramDirectory();
// Makes a directory and its parents; true when it exists afterwards.
bool DrvMakeDirectories(const std::string &dir, bool *created);
