// End-to-end fixture: qxserver on an ephemeral loopback port with the demo
// database, private odbcinst.ini and odbc.ini naming our driver, and the
// unixODBC Driver Manager in this process. E2eConnected adds one connection
// to the "demo" data source and one statement of it, with helpers that run a
// query and read its rows as text.
#pragma once

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <dlfcn.h>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/qxserver_process.h"
#include "tests/support/temp_dir.h"

// Terminated text as the SQLCHAR pointer the ODBC calls take.
inline SQLCHAR *Text(const char *s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s)); }

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
    // The driver's own files (views) go into the test's directory, so tests
    // running side by side never see each other's views.
    qxtest::ScopedEnv driveRoot{"QX_DRIVE_ROOT_DIR", (tempDir / "drive").string()};
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

// The E2eFixture with a connection of the Driver Manager in ODBC 2 mode and
// one statement. A test class picks its database (`fixture`) and may rewrite
// the DSN before it calls ConnectDemo from its SetUp; TearDown drops the
// statement and the connection.
class E2eConnected : public E2eFixture {
protected:
    void SetUp() override
    {
        E2eFixture::SetUp();
        ConnectDemo();
    }
    void TearDown() override
    {
        Disconnect();
        E2eFixture::TearDown();
    }
    // SQLConnect to "demo" as demo/demo, then a statement.
    void ConnectDemo()
    {
        h = std::make_unique<OdbcHandles>(SQL_OV_ODBC2);
        std::string text;
        ASSERT_TRUE(SQL_SUCCEEDED(SQLConnect(h->dbc, Text("demo"), SQL_NTS, Text("demo"), SQL_NTS,
                                             Text("demo"), SQL_NTS)))
            << h->Diag(nullptr, &text) << " " << text;
        ASSERT_EQ(SQLAllocStmt(h->dbc, &stmt), SQL_SUCCESS);
    }
    void Disconnect()
    {
        if (stmt != SQL_NULL_HSTMT)
            SQLFreeStmt(stmt, SQL_DROP);
        stmt = SQL_NULL_HSTMT;
        if (h) {
            SQLDisconnect(h->dbc);
            h.reset();
        }
    }
    // "SQLSTATE text" of the statement's first diagnostic record ("" when none).
    std::string Diag() const
    {
        SQLCHAR state[6] = {};
        SQLCHAR message[1024] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc =
            SQLError(h->env, h->dbc, stmt, state, &native, message, sizeof message, &length);
        return SQL_SUCCEEDED(rc) ? std::string(reinterpret_cast<char *>(state)) + " " +
                                       reinterpret_cast<char *>(message)
                                 : "";
    }
    // The rest of the result as "v1|v2|..." rows, NULL as "NULL", read with
    // SQLGetData; the last SQLFetch result in *last, else it must be the end.
    std::vector<std::string> ReadRows(SQLRETURN *last = nullptr)
    {
        std::vector<std::string> rows;
        SQLSMALLINT columns = 0;
        EXPECT_EQ(SQLNumResultCols(stmt, &columns), SQL_SUCCESS);
        SQLRETURN rc;
        while ((rc = SQLFetch(stmt)) == SQL_SUCCESS) {
            std::string row;
            for (SQLUSMALLINT k = 1; k <= columns; ++k) {
                char buf[256] = {};
                SQLLEN length = 0;
                EXPECT_EQ(SQLGetData(stmt, k, SQL_C_CHAR, buf, sizeof buf, &length), SQL_SUCCESS)
                    << Diag();
                if (k > 1)
                    row += '|';
                row += length == SQL_NULL_DATA ? "NULL" : buf;
            }
            rows.push_back(row);
        }
        if (last)
            *last = rc;
        else
            EXPECT_EQ(rc, SQL_NO_DATA_FOUND) << Diag();
        return rows;
    }
    // The rows of the query (ReadRows), the cursor closed after; a failed
    // execution gives {"ERROR <Diag()>"}.
    std::vector<std::string> Query(const std::string &sql)
    {
        SQLRETURN rc = SQLExecDirect(stmt, Text(sql.c_str()), SQL_NTS);
        if (!SQL_SUCCEEDED(rc))
            return {"ERROR " + Diag()};
        std::vector<std::string> rows = ReadRows();
        EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
        return rows;
    }

    std::unique_ptr<OdbcHandles> h;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
};
