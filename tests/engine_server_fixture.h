// Fixture of the engine tests in this folder: one qxserver for the whole test
// suite, and for each test a connection made through the driver's internal
// workers (no Driver Manager), whose session the plans run on.
//
// A suite derives from EngineServerFixture and calls StartServer(prefix,
// fixture) from its SetUpTestSuite and StopServer() from its
// TearDownTestSuite; SetUp connects to the server as demo/demo, TearDown
// disconnects. The server writes its request log to LogPath().
#pragma once

#include "tests/support/qxserver_process.h"
#include "tests/support/temp_dir.h"
#include "driver/core/rcerror.h"
#include "driver/frontend/rcprsfn.h"
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcodbc_impl.h"
#include "driver/odbc/rctxn.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

// The scalar function code the front end gives a function node (0 when none).
inline int FnCode(const rcParseNode *fn)
{
    const rcScalarFnEntry *e = rcPrsScalarFnOf(fn);
    return e != nullptr ? e->code : 0;
}

// The first record of the queue as "<message id> <text>" ("" when empty).
inline std::string FirstMessage(rcErrorQueue *q)
{
    if (q->list == nullptr || rcListCount(q->list) == 0)
        return "";
    auto *r = static_cast<rcErrorRecord *>(rcListAt(q->list, 0));
    return std::to_string(r->msgId) + (r->text != nullptr ? std::string(" ") + r->text : "");
}

class EngineServerFixture : public ::testing::Test {
protected:
    // qxserver on a loopback port with the given database, its log in a new
    // temporary directory named after prefix.
    static void StartServer(const char *prefix, const char *fixture)
    {
        dir_ = new qxtest::TempDir(prefix);
        ASSERT_FALSE(dir_->Path().empty());
        server_ = new QxServerProcess();
        std::string error;
        ASSERT_TRUE(server_->Start({"--fixture", fixture, "--log", LogPath()}, &error)) << error;
    }
    static void StopServer()
    {
        delete server_;
        server_ = nullptr;
        delete dir_;
        dir_ = nullptr;
    }
    static std::string LogPath() { return (*dir_ / "server.log").string(); }

    void SetUp() override
    {
        ini_.emplace(dir_->Path());
        ini_->WriteOdbcinst("[QX]\nDriver=/nonexistent\n");
        ini_->WriteOdbc("[qx]\nDriver=QX\nDBQ=" + server_->Dbq() + "\n");
        rcTxnResetModel();
        ASSERT_EQ(SQLAllocEnvImpl(&henv_), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocConnectImpl(static_cast<rcEnv *>(henv_), &hdbc_), SQL_SUCCESS);
        conn_ = static_cast<rcConn *>(hdbc_);
        const char *in = "DSN=qx;UID=demo;PWD=demo";
        SQLCHAR out[512] = {};
        SQLSMALLINT length = 0;
        ASSERT_TRUE(SQL_SUCCEEDED(
            SQLDriverConnectImpl(conn_, nullptr, reinterpret_cast<const SQLCHAR *>(in), SQL_NTS,
                                 out, sizeof out, &length, SQL_DRIVER_NOPROMPT)));
    }
    void TearDown() override
    {
        SQLDisconnectImpl(conn_);
        SQLFreeConnectImpl(conn_);
        SQLFreeEnvImpl(static_cast<rcEnv *>(henv_));
        rcTxnResetModel();
    }

    static inline qxtest::TempDir *dir_ = nullptr;
    static inline QxServerProcess *server_ = nullptr;
    std::optional<qxtest::OdbcIniFiles> ini_;
    SQLHENV henv_ = nullptr;
    SQLHDBC hdbc_ = nullptr;
    rcConn *conn_ = nullptr;
};
