// Test scaffolding shared by every test directory: a private temporary
// directory, scoped environment variables and the ODBC ini files.
//
//   qxtest::TempDir dir;                       // made under $TMPDIR or /tmp
//   qxtest::ScopedEnv env("QX_DIALOG", "none");  // restored when env goes
//   qxtest::OdbcIniFiles ini(dir.Path());       // ODBCSYSINI, ODBCINI point into dir
//   ini.WriteOdbcinst("[QX]\nDriver=...\n");
//   ini.WriteOdbc("[qx]\nDriver=QX\n...");
//
// A TempDir is removed with everything in it, through std::filesystem, when it
// goes out of scope. Objects are destroyed in reverse order, so declare the
// directory before the ini files and variables that point into it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace qxtest {

class TempDir {
public:
    // `prefix` names the directory ("qxtest" gives /tmp/qxtestXXXXXX).
    explicit TempDir(const std::string &prefix = "qxtest");
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    // Empty when the directory could not be made.
    const std::filesystem::path &Path() const { return path_; }
    std::string Str() const { return path_.string(); }
    std::filesystem::path operator/(const std::string &name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Sets (or, with nullptr, unsets) one environment variable and puts back its
// earlier value, or its absence, on destruction.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value);
    ScopedEnv(const char *name, const std::string &value) : ScopedEnv(name, value.c_str()) {}
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// odbcinst.ini and odbc.ini in a private directory: ODBCSYSINI names the
// directory and ODBCINI its odbc.ini while this object lives.
class OdbcIniFiles {
public:
    explicit OdbcIniFiles(const std::filesystem::path &dir);

    void WriteOdbcinst(const std::string &text) const;
    void WriteOdbc(const std::string &text) const;
    std::filesystem::path OdbcIni() const { return dir_ / "odbc.ini"; }

private:
    void ForgetCachedProfile() const;

    std::filesystem::path dir_;
    ScopedEnv sysIni_, userIni_;
};

// The whole content of a file ("" when it cannot be read); writes a file.
std::string ReadFile(const std::filesystem::path &path);
void WriteFile(const std::filesystem::path &path, const std::string &text);

} // namespace qxtest
