#include "tests/support/temp_dir.h"

#include <odbcinst.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>
#include <unistd.h>

namespace qxtest {

TempDir::TempDir(const std::string &prefix)
{
    const char *tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "XXXXXX";
    if (::mkdtemp(templ.data()))
        path_ = templ;
}

TempDir::~TempDir()
{
    if (path_.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

ScopedEnv::ScopedEnv(const char *name, const char *value) : name_(name)
{
    if (const char *old = std::getenv(name))
        old_ = old;
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
}

ScopedEnv::~ScopedEnv()
{
    if (old_)
        ::setenv(name_.c_str(), old_->c_str(), 1);
    else
        ::unsetenv(name_.c_str());
}

OdbcIniFiles::OdbcIniFiles(const std::filesystem::path &dir)
    : dir_(dir), sysIni_("ODBCSYSINI", dir.string()),
      userIni_("ODBCINI", (dir / "odbc.ini").string())
{}

// unixODBC's installer library keeps the answers of its profile reads for a
// while and forgets them only when something is written through it. The ini
// files are written here directly, so a write of its own into a scratch file
// makes the next reads see them (else a second test in the same process would
// read the first test's data source).
void OdbcIniFiles::ForgetCachedProfile() const
{
    SQLWritePrivateProfileString("written", "by", "qxtest", (dir_ / "scratch.ini").c_str());
}

void OdbcIniFiles::WriteOdbcinst(const std::string &text) const
{
    WriteFile(dir_ / "odbcinst.ini", text);
    ForgetCachedProfile();
}

void OdbcIniFiles::WriteOdbc(const std::string &text) const
{
    WriteFile(dir_ / "odbc.ini", text);
    ForgetCachedProfile();
}

std::string ReadFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::filesystem::path &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

} // namespace qxtest
