// A connection over the data module with a scripted server in place of
// netclient, and a private odbc.ini for data-source settings.
#pragma once

#include "driver/Sources/tests/fake_server.h"
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcodbc_impl.h"
#include "driver/odbc/rctxn.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>

// A server that knows one account and says which part of a login is wrong.
class AccountServer : public FakeServer {
public:
    std::string user = "demo";
    std::string password = "demo";
    int opens = 0;

    int32_t OpenQXConnection(DrmLoginRecord *login, DrmQxLocation location,
                             DrmQxConnection *connection, uint16_t component,
                             DrmQxComponent c) override
    {
        ++opens;
        std::string u(reinterpret_cast<const char *>(login->bytes + 33), login->bytes[32]);
        std::string p(reinterpret_cast<const char *>(login->bytes + 65), login->bytes[64]);
        if (u != user) {
            *connection = 0;
            return -9979;
        }
        if (p != password) {
            *connection = 0;
            return -9978;
        }
        return FakeServer::OpenQXConnection(login, location, connection, component, c);
    }
};

class ConnFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(tempDir.Path().empty());
        dir = tempDir.Str();
        WriteIni("");
        server.tables.push_back({"Customers", {{"Name", 1, 20}, {"Id", 3}}});
        rcTxnResetModel();
        ASSERT_EQ(SQLAllocEnvImpl(&henv), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocConnectImpl(static_cast<rcEnv *>(henv), &hdbc), SQL_SUCCESS);
        conn = static_cast<rcConn *>(hdbc);
    }

    void TearDown() override
    {
        SQLFreeConnectImpl(conn);
        SQLFreeEnvImpl(static_cast<rcEnv *>(henv));
        rcTxnResetModel();
        EXPECT_TRUE(server.open.empty()) << "a server connection was left open";
    }

    // Writes odbc.ini: a data source "qx" with the given extra lines.
    void WriteIni(const std::string &extra)
    {
        ini.WriteOdbcinst("[QX]\nDriver=/nonexistent\n");
        ini.WriteOdbc("[qx]\nDriver=QX\nDBQ=TCP/IP:127.0.0.1\n" + extra);
    }

    SQLRETURN DriverConnect(const std::string &in, SQLUSMALLINT completion = SQL_DRIVER_NOPROMPT,
                            std::string *out = nullptr)
    {
        SQLCHAR buffer[1024] = {};
        SQLSMALLINT length = 0;
        SQLRETURN rc =
            SQLDriverConnectImpl(conn, nullptr, reinterpret_cast<const SQLCHAR *>(in.c_str()),
                                 SQL_NTS, buffer, sizeof buffer, &length, completion);
        if (out)
            *out = reinterpret_cast<char *>(buffer);
        return rc;
    }

    // SQLSTATE and native code of the oldest record ("" when none).
    std::string Diag(SQLINTEGER *native = nullptr, std::string *text = nullptr)
    {
        SQLCHAR state[6] = {};
        SQLINTEGER n = 0;
        SQLCHAR message[600] = {};
        SQLSMALLINT length = 0;
        SQLRETURN rc =
            SQLErrorImpl(nullptr, conn, nullptr, state, &n, message, sizeof message, &length);
        if (native)
            *native = n;
        if (text)
            *text = reinterpret_cast<char *>(message);
        return rc == SQL_NO_DATA ? "" : reinterpret_cast<char *>(state);
    }

    qxtest::TempDir tempDir{"qxconn"};
    qxtest::OdbcIniFiles ini{tempDir.Path()};
    std::string dir;
    AccountServer server;
    SQLHENV henv = nullptr;
    SQLHDBC hdbc = nullptr;
    rcConn *conn = nullptr;
};
