// The connection against the QX Server emulator: in manual-commit mode a
// statement's event begins a server transaction, and SQLTransact commits or
// rolls it back on the server (seen in the emulator's request log).
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcodbc_impl.h"
#include "driver/odbc/rcoption.h"
#include "driver/odbc/rctxn.h"
#include "driver/Sources/drm_session.h"
#include "driver/engine/tam.h"
#include "tests/support/qxserver_process.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Request codes of the log: 11 begin, 12 commit, 13 roll back.
std::vector<int> TransactionCodes(const std::string &log)
{
    std::vector<int> codes;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        size_t at = line.find("request code=");
        if (at == std::string::npos)
            continue;
        int code = std::atoi(line.c_str() + at + 13);
        if (code >= 11 && code <= 13)
            codes.push_back(code);
    }
    return codes;
}

TEST(ConnectLive, CommitAndRollbackReachTheServer)
{
    qxtest::TempDir dir("qxconnlive");
    ASSERT_FALSE(dir.Path().empty());
    QxServerProcess server;
    std::string error;
    ASSERT_TRUE(server.Start({"--fixture", QX_DEMO_FIXTURE, "--log", (dir / "server.log").string()},
                             &error))
        << error;
    qxtest::OdbcIniFiles ini(dir.Path());
    ini.WriteOdbcinst("[QX]\nDriver=/nonexistent\n");
    ini.WriteOdbc("[qx]\nDriver=QX\nDBQ=" + server.Dbq() + "\n");
    rcTxnResetModel();

    SQLHENV henv = nullptr;
    SQLHDBC hdbc = nullptr;
    ASSERT_EQ(SQLAllocEnvImpl(&henv), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocConnectImpl(static_cast<rcEnv *>(henv), &hdbc), SQL_SUCCESS);
    rcConn *conn = static_cast<rcConn *>(hdbc);
    const char *in = "DSN=qx;UID=demo;PWD=demo";
    SQLCHAR out[512] = {};
    SQLSMALLINT length = 0;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnectImpl(conn, nullptr,
                                                   reinterpret_cast<const SQLCHAR *>(in), SQL_NTS,
                                                   out, sizeof out, &length, SQL_DRIVER_NOPROMPT)));
    ASSERT_EQ(SQLSetConnectOptionImpl(conn, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF), SQL_SUCCESS);

    int pass = 0;
    ASSERT_EQ(rcTxnStmtEvent(conn, 2, &pass), 0); // an INSERT begins a transaction
    EXPECT_EQ(SQLTransactImpl(nullptr, conn, SQL_COMMIT), SQL_SUCCESS);
    ASSERT_EQ(rcTxnStmtEvent(conn, 3, &pass), 0); // an UPDATE begins the next one
    EXPECT_EQ(SQLTransactImpl(nullptr, conn, SQL_ROLLBACK), SQL_SUCCESS);
    EXPECT_EQ(SQLTransactImpl(nullptr, conn, SQL_COMMIT),
              SQL_SUCCESS); // nothing open: nothing sent
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
    SQLFreeConnectImpl(conn);
    SQLFreeEnvImpl(static_cast<rcEnv *>(henv));
    rcTxnResetModel();
    server.Stop();

    std::string log = qxtest::ReadFile(dir / "server.log");
    EXPECT_EQ(TransactionCodes(log), (std::vector<int>{11, 12, 11, 13})) << log;
}

// The password is kept in one place while connected, the connection's PWD
// attribute: the data-module session forgets its copy once the login is
// over, a database opened later (another qualifier) still logs in with the
// attribute's, and the disconnect wipes the attribute's bytes.
TEST(ConnectLive, PasswordKeptOnlyInTheAttributeWhileConnected)
{
    qxtest::TempDir dir("qxconnpwd");
    ASSERT_FALSE(dir.Path().empty());
    QxServerProcess server;
    std::string error;
    const std::string secret = "Zq7-secret";
    ASSERT_TRUE(server.Start({"--fixture", server.FixtureWithUsers({{"demo", secret}})}, &error))
        << error;
    qxtest::OdbcIniFiles ini(dir.Path());
    ini.WriteOdbcinst("[QX]\nDriver=/nonexistent\n");
    ini.WriteOdbc("[qx]\nDriver=QX\nDBQ=" + server.Dbq() + "\n");

    SQLHENV henv = nullptr;
    SQLHDBC hdbc = nullptr;
    ASSERT_EQ(SQLAllocEnvImpl(&henv), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocConnectImpl(static_cast<rcEnv *>(henv), &hdbc), SQL_SUCCESS);
    rcConn *conn = static_cast<rcConn *>(hdbc);
    auto holds = [&](const void *p, size_t n) {
        const char *b = static_cast<const char *>(p);
        return std::search(b, b + n, secret.begin(), secret.end()) != b + n;
    };
    auto sessionHolds = [&] {
        const VDRMSession *s = DrmDriver().oGetSession(conn->session->drmSession);
        return holds(s, sizeof *s);
    };
    const std::string in = "DSN=qx;UID=demo;PWD=" + secret;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnectImpl(
        conn, nullptr, reinterpret_cast<const SQLCHAR *>(in.c_str()), SQL_NTS, nullptr, 0,
        nullptr, SQL_DRIVER_NOPROMPT)));
    ASSERT_NE(conn->session, nullptr);
    EXPECT_FALSE(sessionHolds());
    EXPECT_EQ(conn->attrs[RC_ATTR_PWD].value, secret);

    // Another name of the same server: a database of its own, a login of its own.
    std::string other = "TCP/IP:localhost:" + std::to_string(server.Port());
    EXPECT_EQ(SQLSetConnectOptionImpl(conn, SQL_CURRENT_QUALIFIER,
                                      reinterpret_cast<uintptr_t>(other.c_str())),
              SQL_SUCCESS);
    EXPECT_STREQ(conn->qualifier, other.c_str());
    EXPECT_FALSE(sessionHolds());

    const char *attr = conn->attrs[RC_ATTR_PWD].value;
    EXPECT_EQ(SQLDisconnectImpl(conn), SQL_SUCCESS);
    EXPECT_FALSE(holds(attr, sizeof conn->attrs[RC_ATTR_PWD].value));
    EXPECT_EQ(SQLFreeConnectImpl(conn), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeEnvImpl(static_cast<rcEnv *>(henv)), SQL_SUCCESS);
}

} // namespace
