// The driver library used without a Driver Manager, as applications that
// link it directly do: the entry points are taken from the library itself
// (dlopen), so nothing stands between a misuse and the driver. An environment
// with a connection is not freed (S1010), and a connect on a connected
// handle is refused (08002) and leaves the first session working.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <dlfcn.h>
#include <string>

#include "tests/support/qxserver_process.h"

namespace {

struct Driver {
    Driver()
    {
        lib = dlopen(QX_SQLDRIVER_LIB, RTLD_NOW | RTLD_LOCAL);
        if (!lib)
            return;
        Bind(AllocEnv, "SQLAllocEnv");
        Bind(FreeEnv, "SQLFreeEnv");
        Bind(AllocConnect, "SQLAllocConnect");
        Bind(FreeConnect, "SQLFreeConnect");
        Bind(DriverConnect, "SQLDriverConnect");
        Bind(Connect, "SQLConnect");
        Bind(BrowseConnect, "SQLBrowseConnect");
        Bind(Disconnect, "SQLDisconnect");
        Bind(AllocStmt, "SQLAllocStmt");
        Bind(ExecDirect, "SQLExecDirect");
        Bind(Fetch, "SQLFetch");
        Bind(FreeStmt, "SQLFreeStmt");
        Bind(Error, "SQLError");
    }
    // The library stays loaded: the driver is made to stay for the process's
    // life (its process-wide state goes at exit).
    template <class F>
    void Bind(F &f, const char *name)
    {
        f = reinterpret_cast<F>(dlsym(lib, name));
        ok = ok && f != nullptr;
    }
    // SQLSTATE of the first record of a handle.
    std::string State(SQLHENV env, SQLHDBC dbc) const
    {
        SQLCHAR state[6] = {};
        SQLCHAR message[512] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc = Error(env, dbc, SQL_NULL_HSTMT, state, &native, message, sizeof message,
                             &length);
        return SQL_SUCCEEDED(rc) ? reinterpret_cast<char *>(state) : "";
    }

    void *lib = nullptr;
    bool ok = true;
    SQLRETURN (*AllocEnv)(SQLHENV *) = nullptr;
    SQLRETURN (*FreeEnv)(SQLHENV) = nullptr;
    SQLRETURN (*AllocConnect)(SQLHENV, SQLHDBC *) = nullptr;
    SQLRETURN (*FreeConnect)(SQLHDBC) = nullptr;
    SQLRETURN (*DriverConnect)(SQLHDBC, SQLHWND, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT,
                               SQLSMALLINT *, SQLUSMALLINT) = nullptr;
    SQLRETURN (*Connect)(SQLHDBC, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *,
                         SQLSMALLINT) = nullptr;
    SQLRETURN (*BrowseConnect)(SQLHDBC, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT,
                               SQLSMALLINT *) = nullptr;
    SQLRETURN (*Disconnect)(SQLHDBC) = nullptr;
    SQLRETURN (*AllocStmt)(SQLHDBC, SQLHSTMT *) = nullptr;
    SQLRETURN (*ExecDirect)(SQLHSTMT, SQLCHAR *, SQLINTEGER) = nullptr;
    SQLRETURN (*Fetch)(SQLHSTMT) = nullptr;
    SQLRETURN (*FreeStmt)(SQLHSTMT, SQLUSMALLINT) = nullptr;
    SQLRETURN (*Error)(SQLHENV, SQLHDBC, SQLHSTMT, SQLCHAR *, SQLINTEGER *, SQLCHAR *, SQLSMALLINT,
                       SQLSMALLINT *) = nullptr;
};

SQLCHAR *Text(const std::string &s)
{
    return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s.c_str()));
}

class DirectDriver : public ::testing::Test {
public:
    void SetUp() override
    {
        ASSERT_TRUE(d.lib) << dlerror();
        ASSERT_TRUE(d.ok);
        std::string error;
        ASSERT_TRUE(server.Start({"--fixture", QX_DEMO_FIXTURE}, &error)) << error;
        in = "DBQ=" + server.Dbq() + ";UID=demo;PWD=demo";
        ASSERT_EQ(d.AllocEnv(&env), SQL_SUCCESS);
        ASSERT_EQ(d.AllocConnect(env, &dbc), SQL_SUCCESS);
    }
    void TearDown() override
    {
        if (dbc) {
            d.Disconnect(dbc);
            EXPECT_EQ(d.FreeConnect(dbc), SQL_SUCCESS);
        }
        if (env) {
            EXPECT_EQ(d.FreeEnv(env), SQL_SUCCESS);
        }
        server.Stop();
    }
    SQLRETURN DriverConnect()
    {
        return d.DriverConnect(dbc, nullptr, Text(in), SQL_NTS, nullptr, 0, nullptr,
                               SQL_DRIVER_NOPROMPT);
    }
    // One query on the connection: the number of rows, -1 on failure.
    int Rows(const std::string &sql)
    {
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        if (d.AllocStmt(dbc, &stmt) != SQL_SUCCESS)
            return -1;
        int rows = -1;
        if (SQL_SUCCEEDED(d.ExecDirect(stmt, Text(sql), SQL_NTS)))
            for (rows = 0; d.Fetch(stmt) == SQL_SUCCESS;)
                ++rows;
        d.FreeStmt(stmt, SQL_DROP);
        return rows;
    }

    Driver d;
    QxServerProcess server;
    std::string in;
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
};

TEST_F(DirectDriver, FreeEnvWithAConnectionIsASequenceError)
{
    for (bool connected : {false, true}) {
        SCOPED_TRACE(connected ? "connected" : "allocated");
        if (connected) {
            ASSERT_TRUE(SQL_SUCCEEDED(DriverConnect())) << d.State(SQL_NULL_HENV, dbc);
        }
        EXPECT_EQ(d.FreeEnv(env), SQL_ERROR);
        EXPECT_EQ(d.State(env, SQL_NULL_HDBC), "S1010");
        // The connection still works and frees in the proper order.
        if (connected) {
            EXPECT_EQ(Rows("SELECT ID FROM Customers"), 150);
        }
    }
    EXPECT_EQ(d.Disconnect(dbc), SQL_SUCCESS);
    EXPECT_EQ(d.FreeConnect(dbc), SQL_SUCCESS);
    dbc = SQL_NULL_HDBC;
    EXPECT_EQ(d.FreeEnv(env), SQL_SUCCESS);
    env = SQL_NULL_HENV;
}

TEST_F(DirectDriver, ConnectOnAConnectedHandleIsConnectionInUse)
{
    ASSERT_TRUE(SQL_SUCCEEDED(DriverConnect())) << d.State(SQL_NULL_HENV, dbc);
    struct Case {
        const char *name;
        SQLRETURN (*call)(DirectDriver &);
    } cases[] = {
        {"SQLDriverConnect", [](DirectDriver &t) { return t.DriverConnect(); }},
        {"SQLConnect",
         [](DirectDriver &t) {
             return t.d.Connect(t.dbc, Text("demo"), SQL_NTS, Text("demo"), SQL_NTS, Text("demo"),
                                SQL_NTS);
         }},
        {"SQLBrowseConnect",
         [](DirectDriver &t) {
             SQLCHAR out[512];
             SQLSMALLINT length = 0;
             return t.d.BrowseConnect(t.dbc, Text(t.in), SQL_NTS, out, sizeof out, &length);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.call(*this), SQL_ERROR);
        EXPECT_EQ(d.State(SQL_NULL_HENV, dbc), "08002");
        // The first session is the one in use, untouched.
        EXPECT_EQ(Rows("SELECT ID FROM Customers"), 150);
    }
    EXPECT_EQ(d.Disconnect(dbc), SQL_SUCCESS);
    // Disconnected, the handle connects again.
    ASSERT_TRUE(SQL_SUCCEEDED(DriverConnect())) << d.State(SQL_NULL_HENV, dbc);
    EXPECT_EQ(Rows("SELECT ID FROM Customers"), 150);
}

} // namespace
