// The transaction state machine: models, actions, errors and auto-commit.
#include "driver/odbc/rcconn.h"
#include "driver/core/tests/base_fixture.h"
#include "driver/odbc/rctxn.h"
#include "driver/Sources/drm.h"

#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<uint32_t> g_sent;
uint32_t g_failCode = 0;
int32_t g_failWith = -1; // what the failing call answers

int32_t Record(rcConn *, uint32_t code)
{
    g_sent.push_back(code);
    return code == g_failCode ? g_failWith : 0;
}

class TxnTest : public DriverEnvTest {
protected:
    void SetUp() override
    {
        DriverEnvTest::SetUp();
        rcTxnSetSender(&Record);
        g_sent.clear();
        g_failCode = 0;
        g_failWith = -1;
        conn.txnState = 0;
        rcTxnSetFlag(0);
        rcTxnSetDefaultIsolation(0);
    }
    void TearDown() override
    {
        rcErrQueueDestroy(&conn.errors);
        rcTxnSetSender(nullptr);
        rcTxnResetModel();
        rcTxnSetFlag(0);
        DriverEnvTest::TearDown();
    }
    std::string State()
    {
        SQLCHAR state[6] = {};
        SQLCHAR text[300];
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc = rcErrPopMessage(state, &native, text, sizeof text, &length, &conn.errors);
        rcErrClearQueue(&conn.errors);
        return rc == SQL_NO_DATA ? ""
                                 : std::string(reinterpret_cast<char *>(state)) + " " +
                                       reinterpret_cast<char *>(text);
    }
    rcConn conn{};
};

struct Step {
    int event;
    int result;
    int16_t state;
    std::vector<uint32_t> codes;
    int pass;
};

struct ModelCase {
    const char *name;
    int model;
    int16_t start;
    std::vector<Step> steps;
};

class TxnModelTest : public TxnTest, public ::testing::WithParamInterface<ModelCase> {};

TEST_P(TxnModelTest, EventsMoveAndSendCodes)
{
    const ModelCase &c = GetParam();
    rcTxnSelectModel(c.model);
    conn.txnState = c.start;
    for (size_t i = 0; i < c.steps.size(); ++i) {
        const Step &s = c.steps[i];
        g_sent.clear();
        int pass = -1;
        EXPECT_EQ(rcTxnFsmEvent(&conn, s.event, &pass), s.result) << c.name << " step " << i;
        EXPECT_EQ(conn.txnState, s.state) << c.name << " step " << i;
        EXPECT_EQ(g_sent, s.codes) << c.name << " step " << i;
        EXPECT_EQ(pass, s.pass) << c.name << " step " << i;
        rcErrClearQueue(&conn.errors);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Models, TxnModelTest,
    ::testing::Values(
        // Manual mode: INSERT begins, DDL refused inside, commit returns to 2.
        ModelCase{"model1",
                  1,
                  0,
                  {{1, 0, 1, {3}, 0}, {0, -1, 1, {}, 0}, {4, 0, 2, {4}, 0}, {0, 0, 0, {2}, 0}}},
        // DDL commits the transaction and leaves state 6; the next INSERT begins anew.
        ModelCase{"model3", 3, 1, {{0, 0, 6, {4, 2}, 0}, {1, 0, 1, {3}, 0}}},
        // DDL passes without a transition.
        ModelCase{"model4", 4, 1, {{0, 0, 1, {}, 1}}},
        // No transactions: every event in auto-commit is ignored.
        ModelCase{"model0", 0, 4, {{3, 0, 4, {}, 0}, {1, 0, 4, {}, 0}, {4, 0, 4, {}, 0}}},
        // Auto-commit on inside a transaction: commit, then auto-commit mode.
        ModelCase{"on-in-txn", 1, 1, {{2, 0, 5, {4, 1}, 0}, {3, 0, 0, {2}, 0}}},
        ModelCase{"model2-ddl", 2, 0, {{0, 0, 1, {3}, 0}, {0, 0, 1, {}, 0}, {5, 0, 3, {5}, 0}}}),
    [](const ::testing::TestParamInfo<ModelCase> &info) {
        std::string n = info.param.name;
        for (char &ch : n)
            if (ch == '-')
                ch = '_';
        return n;
    });

TEST_F(TxnTest, ErrorsArePostedWithTheirTexts)
{
    rcTxnSelectModel(1);
    conn.txnState = 1;
    EXPECT_EQ(rcTxnFsmEvent(&conn, RC_TXN_EVENT_DDL, nullptr), -1);
    EXPECT_EQ(State(), "S1000 [Zorvi][Zorvi ODBC Driver]DDL statement encountered in transaction.");
    EXPECT_EQ(rcTxnFsmEvent(&conn, 6, nullptr), -1);
    EXPECT_NE(State().find("Invalid event received"), std::string::npos);
    conn.txnState = 9;
    EXPECT_EQ(rcTxnFsmEvent(&conn, 1, nullptr), -1);
    EXPECT_NE(State().find("Current TSP state is invalid"), std::string::npos);
    rcTxnSelectModel(0);
    conn.txnState = 0;
    EXPECT_EQ(rcTxnFsmEvent(&conn, 1, nullptr), -1);
    EXPECT_NE(State().find("AUTOCOMMIT"), std::string::npos);
}

TEST_F(TxnTest, FailedActionKeepsTheStateItHad)
{
    rcTxnSelectModel(1);
    conn.txnState = 1;
    g_failCode = 4;
    EXPECT_EQ(rcTxnFsmEvent(&conn, RC_TXN_EVENT_COMMIT, nullptr), -1);
    EXPECT_EQ(conn.txnState, 1);
    EXPECT_NE(State().find("Error in TSP state action."), std::string::npos);
    // A combined action makes both calls even when the first fails.
    g_sent.clear();
    EXPECT_EQ(rcTxnFsmEvent(&conn, RC_TXN_EVENT_AUTOCOMMIT_ON, nullptr), -1);
    EXPECT_EQ(g_sent, (std::vector<uint32_t>{4, 1}));
    EXPECT_EQ(conn.txnState, 1);
}

// Commit or rollback on a lost link: the transaction is over (the server
// rolled it back when the link went), the connection leaves state 5, and
// the one record says the connection failed during the transaction.
TEST_F(TxnTest, EndingOnALostLinkEndsTheTransaction)
{
    for (bool commit : {true, false}) {
        SCOPED_TRACE(commit ? "commit" : "rollback");
        rcTxnSelectModel(4);
        conn.state = RC_CONN_CONNECTED;
        conn.txnState = 0;
        ASSERT_EQ(rcTxnFsmEvent(&conn, RC_TXN_EVENT_DML, nullptr), 0);
        ASSERT_EQ(conn.state, RC_CONN_TRANSACTION);
        g_failCode = commit ? 4 : 5;
        g_failWith = kDrmErrLinkBroken;
        EXPECT_EQ(commit ? rcExeTxnCommit(&conn) : rcExeTxnRollback(&conn), -1);
        EXPECT_EQ(conn.state, RC_CONN_CONNECTED);
        std::string record = State();
        EXPECT_EQ(record.rfind("08007 ", 0), 0u) << record;
        EXPECT_NE(record.find("Connection failure during transaction."), std::string::npos);
        // A failure of another kind still keeps the transaction open.
        ASSERT_EQ(rcTxnFsmEvent(&conn, RC_TXN_EVENT_DML, nullptr), 0);
        g_failWith = -1;
        EXPECT_EQ(commit ? rcExeTxnCommit(&conn) : rcExeTxnRollback(&conn), -1);
        EXPECT_EQ(conn.state, RC_CONN_TRANSACTION);
        EXPECT_NE(State().find("Error in TSP state action."), std::string::npos);
        g_failCode = 0;
        EXPECT_EQ(rcExeTxnRollback(&conn), 0);
    }
    conn.state = RC_CONN_ALLOCATED;
}

TEST_F(TxnTest, AutoCommitCommitsWhenTheStatementCompletes)
{
    rcTxnSelectModel(4);
    rcTxnSetFlag(2); // transactions in use
    conn.txnState = 4;
    int pass = 0;
    EXPECT_EQ(rcTxnStmtEvent(&conn, 2, &pass), 0);
    EXPECT_EQ(g_sent, (std::vector<uint32_t>{3}));
    EXPECT_EQ(conn.txnOpen, 1u);
    EXPECT_EQ(rcTxnStmtComplete(&conn), 0);
    EXPECT_EQ(g_sent, (std::vector<uint32_t>{3, 4}));
    EXPECT_EQ(conn.txnOpen, 0u);
    // USE skips the whole step.
    g_sent.clear();
    EXPECT_EQ(rcTxnStmtEvent(&conn, 4096, &pass), 0);
    EXPECT_TRUE(g_sent.empty());
}

// The connection's handle state is 5 exactly while a manual-mode transaction
// is open: entered by the statement that begins it, left by commit, rollback,
// auto-commit on, or DDL that commits (model 3). Not connected: untouched.
TEST_F(TxnTest, HandleStateFollowsTheOpenTransaction)
{
    struct Case {
        int model;
        std::vector<std::pair<int, uint16_t>> steps; // event, handle state after it
    };
    const Case cases[] = {
        {4, {{1, 5}, {1, 5}, {4, 3}, {1, 5}, {5, 3}, {1, 5}, {0, 5}, {2, 3}}},
        {3, {{1, 5}, {0, 3}, {1, 5}, {4, 3}}},
    };
    for (const Case &c : cases) {
        rcTxnSelectModel(c.model);
        conn.txnState = 0;
        conn.state = RC_CONN_CONNECTED;
        for (size_t i = 0; i < c.steps.size(); ++i) {
            EXPECT_EQ(rcTxnFsmEvent(&conn, c.steps[i].first, nullptr), 0) << State();
            EXPECT_EQ(conn.state, c.steps[i].second) << "model " << c.model << " step " << i;
        }
    }
    conn.state = RC_CONN_ALLOCATED;
    conn.txnState = 0;
    EXPECT_EQ(rcTxnFsmEvent(&conn, RC_TXN_EVENT_DML, nullptr), 0);
    EXPECT_EQ(conn.state, RC_CONN_ALLOCATED);
}

TEST_F(TxnTest, SetModelRefusesValuesOutsideTheTables)
{
    EXPECT_EQ(rcTxnSetModel(7), -1);
    EXPECT_EQ(rcTxnCurrentModel(), -1);
    rcTxnSelectModel(2);
    EXPECT_EQ(rcTxnCurrentModel(), 2);
}

} // namespace
