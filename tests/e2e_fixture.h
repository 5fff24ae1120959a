// End-to-end fixture: qxserver on an ephemeral loopback port with the demo
// database, private odbcinst.ini and odbc.ini naming our driver, and the
// unixODBC Driver Manager in this process.
#pragma once

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <dlfcn.h>
#include <string>

#include "tests/support/qxserver_process.h"
#include "tests/support/temp_dir.h"

class E2eFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(tempDir.Path().empty());
        dir = tempDir.Str();
        std::string error;
        ASSERT_TRUE(server.Start({"--fixture", fixture, "--log", dir + "/server.log"}, &error))
            << error;
        ini.WriteOdbcinst("[QX]\nDriver=" QX_SQLDRIVER_LIB "\n");
        WriteDsn("");
    }

    void TearDown() override { server.Stop(); }

    void WriteDsn(const std::string &extra)
    {
        std::string text = "[demo]\nDriver=QX\nDBQ=";
        text.append(Dbq()).append("\nOdbcTrace=1\nTraceOutput=").append(dir).append("/trace.log\n");
        ini.WriteOdbc(text + extra);
    }

    std::string Dbq() const { return server.Dbq(); }

    std::string ReadFile(const std::string &name) const { return qxtest::ReadFile(tempDir / name); }

    // unixODBC resolves ODBCSYSINI and ODBCINI at its first use and keeps the
    // paths for the life of the process, so every test of a process writes
    // its ini files into one directory that lives as long as the process.
    static qxtest::OdbcIniFiles &ProcessIni()
    {
        static qxtest::TempDir iniDir{"qxe2eini"};
        static qxtest::OdbcIniFiles files{iniDir.Path()};
        return files;
    }

    // Declared in the order they are made; they go in reverse.
    qxtest::TempDir tempDir{"qxe2e"};
    qxtest::OdbcIniFiles &ini = ProcessIni();
    qxtest::ScopedEnv noDialog{"QX_DIALOG", "none"};
    std::string dir;
    std::string fixture = QX_DEMO_FIXTURE;
    QxServerProcess server;
};

// One environment and connection of the Driver Manager, in ODBC 2 or 3 mode.
struct OdbcHandles {
    explicit OdbcHandles(SQLINTEGER version)
    {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                      reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(version)), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    }
    ~OdbcHandles()
    {
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    // The first diagnostic record of the connection: SQLSTATE, native code, text.
    std::string Diag(SQLINTEGER *native = nullptr, std::string *text = nullptr) const
    {
        SQLCHAR state[6] = {};
        SQLCHAR message[1024] = {};
        SQLINTEGER n = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc =
            SQLError(env, dbc, SQL_NULL_HSTMT, state, &n, message, sizeof message, &length);
        if (native)
            *native = n;
        if (text)
            *text = reinterpret_cast<char *>(message);
        return SQL_SUCCEEDED(rc) ? reinterpret_cast<char *>(state) : "";
    }
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
};
