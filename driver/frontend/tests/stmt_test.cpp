#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/core/rclock.h"
#include "driver/core/rcmem.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/rcstmt.h"
#include "driver/frontend/fe_prepared.h"
#include "driver/frontend/tests/frontend_test_util.h"

namespace {

// The connection, as far as a statement sees it.
struct FakeConn : rcStmtConn {
    rcErrorQueue errorQueue{};
    rcStmtOptionBlock optionBlock;
    rcStmtSourceInfo info;
    bool hasDecimal = false;
    bool hasNumeric = false;

    rcErrorQueue *errors() override { return &errorQueue; }
    const rcStmtOptionBlock *options() override { return &optionBlock; }
    void sourceInfo(rcStmtSourceInfo *out) override { *out = info; }
    bool typeInfo(int16_t type, uint32_t *size, int16_t *scale) override
    {
        if (type == 3)
            return hasDecimal;
        if (type == 2 && hasNumeric) {
            *size = 15;
            *scale = 4;
            return true;
        }
        return false;
    }
    TamSession *session() override { return nullptr; }
    rcTraceChannel *engineTrace() override { return nullptr; }
};

std::vector<std::string> gReleased;

// A stand-in for a part's state: the record only holds the pointer and hands
// it to the part's release, which here notes the part's name.
template <class T>
T *Token()
{
    static char token;
    return reinterpret_cast<T *>(&token);
}

// Hangs a stand-in on every slot of the record.
void HangEveryPart(rcStmt *stmt)
{
    stmt->catResult.hang(Token<rcCatResult>(),
                         [](rcCatResult *) { gReleased.push_back("catalog"); });
    stmt->planner.hang(Token<rcPlnStmt>(), [](rcPlnStmt *) { gReleased.push_back("planner"); });
    stmt->dataChange.hang(Token<rcExeDml>(), [](rcExeDml *) { gReleased.push_back("change"); });
    stmt->views.hang(Token<rcViewCatalog>(), [](rcViewCatalog *) { gReleased.push_back("views"); });
    stmt->params.hang(Token<rcPrmStore>(), [](rcPrmStore *) { gReleased.push_back("params"); });
}

// One environment for the test's lifetime, with a connection.
class StmtTest : public ::testing::Test {
protected:
    FakeConn conn;
    rcErrorQueue stmtErrors{}; // the statement handle's queue

    void SetUp() override
    {
        ASSERT_EQ(rcInitDriverGlobals(), 0);
        gReleased.clear();
    }
    void TearDown() override
    {
        rcListFreeRef(&conn.optionBlock.tablePasswords);
        rcErrQueueDestroy(&conn.errorQueue);
        rcErrQueueDestroy(&stmtErrors);
        rcPoolFreeAll();
    }

    static std::vector<std::string> Entries(const rcList *list)
    {
        std::vector<std::string> out;
        for (uint32_t i = 0; i < rcListCount(list); ++i)
            out.emplace_back(static_cast<const char *>(rcListAt(list, i)));
        return out;
    }
};

TEST_F(StmtTest, PasswordListIsCopiedPerStatement)
{
    for (const char *entry : {"EMP,one", "DEPT,two", "JOBS,three"})
        ASSERT_EQ(rcDrsAddTablePassword(&conn.optionBlock.tablePasswords, entry), 0);
    conn.optionBlock.engineOptionMask = 0x24;
    rcStmt *stmt = nullptr;
    ASSERT_EQ(rcDrsAllocStmt(&conn, &stmtErrors, &stmt), 0);
    EXPECT_EQ(stmt->conn, &conn);
    EXPECT_EQ(stmt->options.engineOptionMask, 0x24u);
    ASSERT_NE(stmt->options.tablePasswords, conn.optionBlock.tablePasswords);
    EXPECT_EQ(Entries(stmt->options.tablePasswords), Entries(conn.optionBlock.tablePasswords));
    const char *fourth = "SALES,four";
    EXPECT_EQ(rcDrsSetStmtOption(stmt, 1151, reinterpret_cast<uintptr_t>(fourth)), 0);
    EXPECT_EQ(rcListCount(stmt->options.tablePasswords), 4u);
    EXPECT_EQ(rcListCount(conn.optionBlock.tablePasswords), 3u);
    EXPECT_EQ(rcDrsDropStmt(stmt), 0);
}

TEST_F(StmtTest, TablePasswordsReplaceByNameWithoutRegardToCase)
{
    rcList *list = nullptr;
    ASSERT_EQ(rcDrsAddTablePassword(&list, "EMP,first"), 0);
    ASSERT_EQ(rcDrsAddTablePassword(&list, "emp,second"), 0);
    ASSERT_EQ(rcDrsAddTablePassword(&list, "EMPLOYEE,third"), 0);
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"emp,second", "EMPLOYEE,third"}));

    rcStmt *stmt = nullptr;
    ASSERT_EQ(rcDrsAllocStmt(&conn, &stmtErrors, &stmt), 0);
    stmt->options.tablePasswords = list;
    char password[31];
    // Only a data source with table passwords is asked.
    EXPECT_EQ(rcDrsFindTablePassword(stmt, "Emp", password, sizeof password), 0);
    stmt->sourceInfo.capabilities = RC_SRC_CAP_TABLE_PASSWORDS;
    ASSERT_EQ(rcDrsFindTablePassword(stmt, "Emp", password, sizeof password), 1);
    EXPECT_STREQ(password, "second");
    EXPECT_EQ(rcDrsFindTablePassword(stmt, "EM", password, sizeof password), 0);
    EXPECT_EQ(rcDrsDropStmt(stmt), 0);
}

TEST_F(StmtTest, StatementOptions)
{
    rcStmt *stmt = nullptr;
    ASSERT_EQ(rcDrsAllocStmt(&conn, &stmtErrors, &stmt), 0);
    struct Case {
        uint16_t option;
        uintptr_t value;
        int16_t result;
    };
    const Case cases[] = {
        {2, 0, 0},   {2, 5, -1},  {5, 0, 0},   {5, 1, -1},    {0, 10, -1},  {8, 1, -1},
        {10, 0, -1}, {11, 0, -1}, {12, 0, -1}, {1151, 0, -1}, {9999, 7, 0},
    };
    for (const Case &c : cases) {
        rcErrClearQueue(stmt->errors);
        EXPECT_EQ(rcDrsSetStmtOption(stmt, c.option, c.value), c.result) << c.option;
        EXPECT_EQ(rcErrQueueAny(stmt->errors), c.result != 0) << c.option;
        if (c.result != 0) {
            SQLCHAR state[6];
            SQLCHAR text[256];
            SQLINTEGER native;
            SQLSMALLINT length;
            ASSERT_EQ(rcErrPopMessage(state, &native, text, sizeof text, &length, stmt->errors), 0);
            EXPECT_STREQ(reinterpret_cast<char *>(state), "S1C00");
            EXPECT_NE(std::string(reinterpret_cast<char *>(text)).find("Driver not capable."),
                      std::string::npos);
        }
    }
    uint32_t flag = 99;
    EXPECT_EQ(rcDrsSetStmtOption(stmt, 1153, 1), 0);
    EXPECT_EQ(rcDrsGetStmtOption(stmt, 1153, &flag), 0);
    EXPECT_EQ(flag, 1u);
    EXPECT_EQ(rcDrsSetStmtOption(stmt, 1153, 2), 0);
    rcDrsGetStmtOption(stmt, 1153, &flag);
    EXPECT_EQ(flag, 0u);
    rcDrsSetStmtOption(stmt, 1172, 1);
    EXPECT_EQ(stmt->options.option1171, 1u);
    EXPECT_EQ(stmt->options.option1172, 1u);
    rcDrsSetStmtOption(stmt, 1172, 0);
    EXPECT_EQ(stmt->options.option1171 | stmt->options.option1172, 0u);
    rcDrsSetStmtOption(stmt, 1173, 42);
    EXPECT_EQ(stmt->options.option1173, 42u);
    EXPECT_EQ(rcDrsDropStmt(stmt), 0);
}

TEST_F(StmtTest, NumericPrecisionFollowsTheTypeCatalog)
{
    struct Case {
        bool decimal, numeric;
        uint16_t precision, scale;
    };
    for (const Case &c :
         {Case{true, true, 74, 37}, Case{false, true, 15, 4}, Case{false, false, 0, 0}}) {
        conn.hasDecimal = c.decimal;
        conn.hasNumeric = c.numeric;
        rcStmt *stmt = nullptr;
        ASSERT_EQ(rcDrsAllocStmt(&conn, &stmtErrors, &stmt), 0);
        EXPECT_EQ(stmt->numericPrecision, c.precision);
        EXPECT_EQ(stmt->numericScale, c.scale);
        rcDrsDropStmt(stmt);
    }
}

TEST_F(StmtTest, ResetFreesPrepareStateAndKeepsTheRecord)
{
    rcStmt *stmt = nullptr;
    ASSERT_EQ(rcDrsAllocStmt(&conn, &stmtErrors, &stmt), 0);
    int32_t stmtPool = stmt->stmtPool;
    stmt->parseArena = rcPrsNewArena();
    stmt->workPool = rcMemPoolCreate(4096);
    stmt->preparePool = rcPoolCreate();
    stmt->planPool = rcPoolCreate();
    stmt->plan = static_cast<QueryPlan *>(rcPoolAlloc(stmt->planPool, 64));
    stmt->resultColumns = rcListCreate(4, 16, false, 0);
    stmt->catalogKind = 3;
    stmt->catColumnCount = 5;
    stmt->engineState = RC_ENGINE_PREPARED;
    HangEveryPart(stmt);

    ASSERT_EQ(rcDrsResetStmt(stmt), 0);
    // The parts' states in their fixed order; the parameters stay.
    EXPECT_EQ(gReleased, (std::vector<std::string>{"catalog", "planner", "change", "views"}));
    EXPECT_EQ(stmt->catResult.get(), nullptr);
    EXPECT_EQ(stmt->planner.get(), nullptr);
    EXPECT_EQ(stmt->dataChange.get(), nullptr);
    EXPECT_EQ(stmt->views.get(), nullptr);
    EXPECT_EQ(stmt->params.get(), Token<rcPrmStore>());
    EXPECT_EQ(stmt->catalogKind, 0);
    EXPECT_EQ(stmt->catColumnCount, 0);
    EXPECT_EQ(stmt->parseArena, nullptr);
    EXPECT_EQ(stmt->workPool, nullptr);
    EXPECT_EQ(stmt->preparePool, 0);
    EXPECT_EQ(stmt->plan, nullptr);
    EXPECT_EQ(stmt->resultColumns, nullptr);
    EXPECT_EQ(stmt->engineState, RC_ENGINE_PREPARED); // reset never changes it
    EXPECT_EQ(stmt->stmtPool, stmtPool);              // lives with the record
    EXPECT_EQ(rcDrsSetNeedData(stmt), 0);
    EXPECT_EQ(stmt->engineState, RC_ENGINE_DONE);
    EXPECT_EQ(rcDrsCancel(stmt), 0);

    // A second reset finds nothing to free.
    gReleased.clear();
    ASSERT_EQ(rcDrsResetStmt(stmt), 0);
    EXPECT_TRUE(gReleased.empty());

    // The drop frees what a prepare left and then the parameters.
    HangEveryPart(stmt);
    gReleased.clear();
    EXPECT_EQ(rcDrsDropStmt(stmt), 0);
    EXPECT_EQ(gReleased,
              (std::vector<std::string>{"catalog", "planner", "change", "views", "params"}));
}

// A slot holds one state: hanging another frees the one held, and a record
// that goes frees what its slots still hold.
TEST_F(StmtTest, SlotFreesTheStateItReplaces)
{
    static int frees = 0;
    frees = 0;
    rcStmtSlot<rcPrmStore> slot;
    EXPECT_FALSE(slot);
    slot.release(); // nothing held: nothing freed
    slot.hang(Token<rcPrmStore>(), [](rcPrmStore *) { ++frees; });
    EXPECT_TRUE(slot);
    EXPECT_EQ(frees, 0);
    slot.hang(Token<rcPrmStore>(), [](rcPrmStore *) { frees += 10; });
    EXPECT_EQ(frees, 1);
    {
        rcStmtSlot<rcPrmStore> dying;
        dying.hang(Token<rcPrmStore>(), [](rcPrmStore *) { frees += 100; });
    }
    EXPECT_EQ(frees, 101);
    slot.release();
    EXPECT_EQ(frees, 111);
    EXPECT_EQ(slot.get(), nullptr);
}

// SQLCancel from another thread flags only a statement that a call runs; an
// execution forgets the flag of an earlier run, a fetch keeps it.
TEST_F(StmtTest, CancelFlagsOnlyARunningStatement)
{
    rcStmt *stmt = nullptr;
    ASSERT_EQ(rcDrsAllocStmt(&conn, &stmtErrors, &stmt), 0);
    EXPECT_FALSE(rcDrsCancelRunning(stmt));
    EXPECT_EQ(stmt->cancel.load(), 0u);
    {
        rcDrsRunScope run(stmt, true);
        EXPECT_TRUE(rcDrsCancelRunning(stmt));
        EXPECT_EQ(stmt->cancel.load(), 1u);
    }
    EXPECT_FALSE(rcDrsCancelRunning(stmt));
    {
        rcDrsRunScope fetch(stmt, false);
        EXPECT_EQ(stmt->cancel.load(), 1u); // the cancelled cursor stays cancelled
    }
    {
        rcDrsRunScope run(stmt, true);
        EXPECT_EQ(stmt->cancel.load(), 0u);
    }
    EXPECT_EQ(stmt->running.load(), 0u);
    EXPECT_EQ(rcDrsDropStmt(stmt), 0);
}

TEST_F(StmtTest, LiveCountFollowsAllocationAndDrop)
{
    long before = rcDrsLiveStatements();
    rcStmt *a = nullptr;
    rcStmt *b = nullptr;
    ASSERT_EQ(rcDrsAllocStmt(&conn, &stmtErrors, &a), 0);
    ASSERT_EQ(rcDrsAllocStmt(&conn, &stmtErrors, &b), 0);
    EXPECT_EQ(rcDrsLiveStatements(), before + 2);
    EXPECT_EQ(rcDrsDropStmt(a), 0); // never prepared
    EXPECT_EQ(rcDrsLiveStatements(), before + 1);
    EXPECT_EQ(rcDrsDropStmt(b), 0);
    EXPECT_EQ(rcDrsLiveStatements(), before);
}

TEST(StmtNoEnvironment, FailedInitialisationStillHandsOutTheRecord)
{
    // Without an environment there are no pools: initialisation fails and
    // posts 5136 on the connection (which, without pools, can only record
    // the loss), and the record is handed out and counted.
    FakeConn conn;
    rcErrorQueue stmtErrors{};
    long before = rcDrsLiveStatements();
    rcStmt *stmt = nullptr;
    EXPECT_EQ(rcDrsAllocStmt(&conn, &stmtErrors, &stmt), -1);
    ASSERT_NE(stmt, nullptr);
    EXPECT_EQ(rcDrsLiveStatements(), before + 1);
    EXPECT_NE(conn.errorQueue.overflow, 0u);
    EXPECT_EQ(rcDrsDropStmt(stmt), 0);
    EXPECT_EQ(rcDrsLiveStatements(), before);
    rcErrQueueDestroy(&conn.errorQueue);
    rcErrQueueDestroy(&stmtErrors);
}

TEST(StmtKind, KindOfEveryRoot)
{
    struct Case {
        const char *text;
        uint16_t kind;
    };
    const Case cases[] = {
        {"SELECT a FROM t", RC_KIND_QUERY},
        {"SELECT a FROM t ORDER BY a", RC_KIND_QUERY},
        {"INSERT INTO t VALUES (1)", RC_KIND_INSERT},
        {"UPDATE t SET a = 1", RC_KIND_UPDATE},
        {"DELETE FROM t", RC_KIND_DELETE},
        {"CREATE INDEX i ON t (a)", RC_KIND_CREATE_INDEX},
        {"CREATE TABLE t (a INTEGER)", RC_KIND_CREATE_TABLE},
        {"DROP INDEX t.i", RC_KIND_DROP_INDEX},
        {"DROP TABLE t", RC_KIND_DROP_TABLE},
        {"CREATE VIEW v AS SELECT a FROM t", RC_KIND_CREATE_VIEW},
        {"DROP VIEW v", RC_KIND_DROP_VIEW},
        {"{call p}", RC_KIND_PROCEDURE},
        {"USE c:\\x", RC_KIND_USE},
        {"GRANT ALL ON t TO PUBLIC", RC_KIND_OTHER},
        {"ALTER TABLE t ADD a INTEGER", RC_KIND_OTHER},
    };
    for (const Case &c : cases) {
        ParsedTree tree(c.text);
        ASSERT_EQ(tree.result, RC_PRS_OK) << c.text;
        EXPECT_EQ(rcFeKindOfRoot(tree.root), c.kind) << c.text;
    }
    EXPECT_EQ(rcFeKindOfRoot(nullptr), RC_KIND_NONE);
}

} // namespace
