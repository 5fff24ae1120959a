// End-to-end fixture: qxserver on an ephemeral loopback port with the demo
// database, private odbcinst.ini and odbc.ini naming our driver, and the
// unixODBC Driver Manager in this process.
#pragma once

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

class E2eFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/qxe2eXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        StartServer();
        std::ofstream(dir + "/odbcinst.ini") << "[QX]\nDriver=" QX_SQLDRIVER_LIB "\n";
        WriteDsn("");
        setenv("ODBCSYSINI", dir.c_str(), 1);
        setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
        setenv("QX_DIALOG", "none", 1);
    }

    void TearDown() override
    {
        if (server > 0) {
            kill(server, SIGTERM);
            waitpid(server, nullptr, 0);
        }
        std::string cmd = "rm -rf '" + dir + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
    }

    void WriteDsn(const std::string &extra)
    {
        std::ofstream(dir + "/odbc.ini") << "[demo]\nDriver=QX\nDBQ=" << Dbq() << "\nOdbcTrace=1\nTraceOutput=" << dir
                                         << "/trace.log\n"
                                         << extra;
    }

    std::string Dbq() const { return "TCP/IP:127.0.0.1:" + std::to_string(port); }

    // True when the client library carries the requests a connect needs.
    std::string ReadFile(const std::string &name) const
    {
        std::ifstream in(dir + "/" + name);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    void StartServer()
    {
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        server = fork();
        ASSERT_GE(server, 0);
        if (server == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            std::string log = dir + "/server.log";
            execl(QX_SERVER_EXE, QX_SERVER_EXE, "--port", "0", "--fixture", fixture.c_str(), "--log", log.c_str(),
                  static_cast<char *>(nullptr));
            _exit(127);
        }
        close(out[1]);
        FILE *f = fdopen(out[0], "r");
        char line[128] = {};
        ASSERT_NE(fgets(line, sizeof line, f), nullptr) << "qxserver did not start";
        fclose(f);
        ASSERT_EQ(std::sscanf(line, "listening on %d", &port), 1) << line;
    }

    std::string dir;
    std::string fixture = QX_DEMO_FIXTURE;
    pid_t server = -1;
    int port = 0;
};

// One environment and connection of the Driver Manager, in ODBC 2 or 3 mode.
struct OdbcHandles {
    explicit OdbcHandles(SQLINTEGER version)
    {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(version)), 0);
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
        SQLRETURN rc = SQLError(env, dbc, SQL_NULL_HSTMT, state, &n, message, sizeof message, &length);
        if (native)
            *native = n;
        if (text)
            *text = reinterpret_cast<char *>(message);
        return SQL_SUCCEEDED(rc) ? reinterpret_cast<char *>(state) : "";
    }
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
};
