// Private ini files for the configuration tests: a temporary ODBCSYSINI
// directory (odbcinst.ini naming the driver and its setup library) and a
// user odbc.ini, and a reader of the files the installer writes.
#pragma once

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>

#include "tests/support/temp_dir.h"

inline constexpr const char *kTestDriver = "QX Test Driver";

class IniDir {
public:
    IniDir()
    {
        Write("odbcinst.ini",
              std::string("[") + kTestDriver +
                  "]\nDriver=/nonexistent/libsqldriver.so\nSetup=" + QX_DSNCONFIG_LIB + "\n");
        Write("odbc.ini", "");
        Write("user.ini", "");
    }

    void Write(const std::string &name, const std::string &text) const
    {
        std::ofstream(dir + "/" + name) << text;
    }
    std::string Read(const std::string &name) const
    {
        std::ifstream in(dir + "/" + name);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // section -> key -> value of an ini file (keys and values trimmed).
    using Sections = std::map<std::string, std::map<std::string, std::string>>;
    Sections Parse(const std::string &name) const
    {
        Sections out;
        std::istringstream in(Read(name));
        std::string line, section;
        auto trim = [](std::string s) {
            size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t\r");
            return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
        };
        while (std::getline(in, line)) {
            line = trim(line);
            if (line.size() > 1 && line.front() == '[' && line.back() == ']') {
                section = line.substr(1, line.size() - 2);
                out[section];
            } else if (size_t eq = line.find('='); eq != std::string::npos && !section.empty()) {
                out[section][trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
            }
        }
        return out;
    }

    // Made in this order, undone in reverse: the variables go before the directory.
    qxtest::TempDir tempDir{"qxdsn"};
    std::string dir = tempDir.Str();
    qxtest::ScopedEnv sysIni{"ODBCSYSINI", dir};
    qxtest::ScopedEnv userIni{"ODBCINI", dir + "/user.ini"};
    qxtest::ScopedEnv windowsDir{"QX_WINDOWS_DIR", dir};
    qxtest::ScopedEnv noDialog{"QX_DIALOG", "none"};
};
