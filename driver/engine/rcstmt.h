// The statement record: the engine's state of one statement. The ODBC
// statement handle (driver/odbc/rcstmt_handle.h) creates it, owns it and
// releases it; the handle keeps the handle state, the error queue and the
// ODBC statement options, and lends the queue to the record.
//
// Legal order: rcDrsAllocStmt (allocates, initialises, counts) -> any number
// of prepares and executions, each preceded by rcDrsResetStmt (frees all a
// prepare or execution left, keeps the record, its statement pools, its
// value pools, its table password list and its parameters) ->
// rcDrsDropStmt (reset, free the record).
//
// What the record needs of its connection it reaches through rcStmtConn, a
// small interface the connection implements.
//
// What preparation found (the kind, the parse tree, the parameters and the
// result columns) is the front end's prepared state's alone
// (driver/frontend/fe_prepared.h): the ODBC layer hands the engine the tree
// where it plans, and reads the counts there. The record keeps only the
// engine's own state of the statement (engineState).
//
// Parts that hang their own state on a statement each have a typed slot
// (rcStmtSlot) here: the part hands its state over with the routine that
// frees it, so the record frees what a part above it made without knowing
// more of it than its name. rcDrsResetStmt frees, in this order:
//   1. catResult   the catalog function's result (catalog)
//   2. planner     the query's planner context, its plan and the run-time
//                  state of the plan's nodes (exec)
//   3. dataChange  the prepared INSERT/UPDATE/DELETE (exec)
//   4. views       the view catalogue loaded for the statement (front end)
// and rcDrsDropStmt, after its reset, frees
//   5. params      the parameter descriptors and values (exec)
// with the record. The catalog result first, as a statement holds either it
// or a query; the data change runs on the planner's tables and goes after
// it; the views were read by preparation only.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "driver/core/rcerror.h"
#include "driver/core/rclist.h"
#include "driver/engine/tree/rcmempool.h"
#include "driver/engine/tree/rcprsnode.h"

struct rcTraceChannel;
struct TamSession;
struct QueryPlan;
struct rcViewCatalog;
struct rcPlnStmt;
struct rcCatResult;
struct rcExeDml;
struct rcPrmStore;

enum rcStmtKind : uint16_t {
    RC_KIND_NONE = 0,
    RC_KIND_OTHER = 1,
    RC_KIND_INSERT = 2,
    RC_KIND_UPDATE = 3,
    RC_KIND_DELETE = 5,
    RC_KIND_CREATE_INDEX = 8,
    RC_KIND_CREATE_TABLE = 9,
    RC_KIND_DROP_INDEX = 10,
    RC_KIND_DROP_TABLE = 11,
    RC_KIND_CREATE_VIEW = 12,
    RC_KIND_DROP_VIEW = 13,
    RC_KIND_QUERY = 100,
    RC_KIND_PROCEDURE = 102,
    RC_KIND_USE = 4096,
};

enum rcEngineState : uint16_t {
    RC_ENGINE_NOT_PREPARED = 0,
    RC_ENGINE_PREPARED = 1,
    RC_ENGINE_RESULT_OPEN = 2,
    RC_ENGINE_DONE = 3,
};

// Entries of the table password list: "table,password", at most 94 characters.
constexpr uint32_t RC_TABLE_PASSWORD_SIZE = 95;

// Statement options that the engine keeps (one block per connection, copied
// into each statement).
struct rcStmtOptionBlock {
    rcList *tablePasswords = nullptr; // option 1151; elements of RC_TABLE_PASSWORD_SIZE bytes
    // The driver's own options 1171-1173: the engine only stores them (no
    // meaning beyond the flags is defined).
    uint32_t option1171 = 0;       // 1 after option 1171 with a non-zero value
    uint32_t option1172 = 0;       // set and cleared with option1171 by option 1172
    uint32_t option1173 = 0;       // the value of option 1173
    uint32_t keepTablesOpen = 0;   // option 1153: tables stay open between statements
    uint32_t engineOptionMask = 0; // RC_OPT_* bits (driver/odbc/rcopt_engine.h)
};

// The driver's own statement options.
enum : uint16_t {
    RC_STMT_OPT_TABLE_PASSWORD = 1151,
    RC_STMT_OPT_KEEP_TABLES_OPEN = 1153,
    RC_STMT_OPT_1171 = 1171,
    RC_STMT_OPT_1172 = 1172,
    RC_STMT_OPT_1173 = 1173,
};

// The statement's copy of its connection's data-source information.
struct rcStmtSourceInfo {
    uint32_t commandMask = 0; // 0x1 CREATE TABLE ... 0x40 DROP INDEX; 0 read-only
    uint32_t fileUsage = 0;
    uint32_t maxQualifierLength = 0;
    uint32_t nonNullable = 0;
    uint32_t filterMask = 0;     // filter push-down capabilities
    uint32_t joinMask = 0;       // join push-down capabilities
    uint32_t capabilities = 0;   // RC_SRC_CAP_* bits
    uint32_t parseHook = 0;      // the data module wants the parse tree
    uint16_t maxColumns = 0;     // MaxColSupport
    const char *driverName = ""; // texts owned by the connection
    const char *qualifierTerm = "";
};
enum : uint32_t {
    RC_SRC_CAP_TABLE_PASSWORDS = 0x10,
    RC_SRC_CAP_SEEK_FIRST_LAST = 0x40, // seeks to an index's first and last entries
    RC_SRC_CAP_UPPER_NAMES = 0x80,
    RC_SRC_CAP_PROCEDURES = 0x1000,
    RC_SRC_CAP_VIEWS = 0x2000,
};

// A numbered pool holding value buffers, with the number of its buffers
// still in use.
struct rcValPoolRef {
    int32_t id = 0;
    uint32_t live = 0;
};

struct rcStmt;

// What a statement needs of its connection. The ODBC layer implements it once
// per connection; the connection outlives its statements.
struct rcStmtConn {
    // The connection's queue: failures before the statement exists.
    virtual rcErrorQueue *errors() = 0;
    // The connection's option block, copied into each statement.
    virtual const rcStmtOptionBlock *options() = 0;
    // A copy of the connection's data-source information.
    virtual void sourceInfo(rcStmtSourceInfo *info) = 0;
    // The type catalog: true when the data source has the SQL type, with its
    // column size and scale.
    virtual bool typeInfo(int16_t sqlType, uint32_t *columnSize, int16_t *scale) = 0;
    // The type catalog's name of an SQL type; "" when it has none.
    virtual const char *typeName(int16_t sqlType)
    {
        (void)sqlType;
        return "";
    }
    // The table-access session (null while not connected).
    virtual TamSession *session() = 0;
    virtual rcTraceChannel *engineTrace() = 0;
    // The connection's current qualifier (the DBQ value); the view files
    // fall back to it when it names a directory.
    virtual const char *qualifier() { return ""; }

protected:
    ~rcStmtConn() = default;
};

// The state one part hangs on a statement, of the part's own type (known
// to the record by name only), with the routine that frees it. Hanging a
// state frees the one held before; the slot frees what it still holds when
// the record goes.
template <class T>
class rcStmtSlot {
public:
    using Release = void (*)(T *state);

    rcStmtSlot() = default;
    ~rcStmtSlot() { release(); }
    rcStmtSlot(const rcStmtSlot &) = delete;
    rcStmtSlot &operator=(const rcStmtSlot &) = delete;

    T *get() const { return state_; }
    operator T *() const { return state_; }
    T *operator->() const { return state_; }

    void hang(T *state, Release release)
    {
        this->release();
        state_ = state;
        release_ = release;
    }
    // Frees the state held, if any; the slot is empty afterwards.
    void release()
    {
        T *state = state_;
        state_ = nullptr;
        if (state != nullptr)
            release_(state);
    }

private:
    T *state_ = nullptr;
    Release release_ = nullptr;
};

struct rcStmt {
    rcStmtConn *conn = nullptr;     // owning connection, never changed
    rcErrorQueue *errors = nullptr; // the handle's queue, lent for the record's life
    rcList *resultColumns = nullptr;
    uint16_t catalogKind = 0;
    uint16_t endOfData = 0;
    uint16_t engineState = RC_ENGINE_NOT_PREPARED;
    rcList *subqueries = nullptr;
    rcList *tables = nullptr;
    rcMemPool workPool = nullptr; // prepare-time scratch
    // The view catalogue (fe_view.h), loaded when a preparation or a catalog
    // function first looks for views.
    rcStmtSlot<rcViewCatalog> views;
    // The parameter descriptors and values (exec/rcexeprm.h), made by the
    // first bound parameter and kept until the drop.
    rcStmtSlot<rcPrmStore> params;
    int32_t stmtPool = 0;    // made at initialisation
    int32_t preparePool = 0; // made at each prepare
    int32_t planPool = 0;
    QueryPlan *plan = nullptr;
    // The planner context of a prepared query (plan/rcpln.h), made at its
    // preparation (exec/rcexestmt.h); plan points at its plan.
    rcStmtSlot<rcPlnStmt> planner;
    rcMemPool parseArena = nullptr;
    // The prepared INSERT/UPDATE/DELETE (exec/rcexedml.h), made at its
    // preparation.
    rcStmtSlot<rcExeDml> dataChange;
    uint16_t catColumnCount = 0;
    // The catalog function's result (catalog/rccat_impl.h), read through the
    // one result road.
    rcStmtSlot<rcCatResult> catResult;
    uint16_t debugLevel = 0;
    uint32_t maxRows = 0; // SQL_MAX_ROWS: the fetch stops after this many rows, 0 no limit
    rcStmtOptionBlock options;
    rcStmtSourceInfo sourceInfo;
    uint16_t numericPrecision = 0;
    uint16_t numericScale = 0;
    // Value buffers (rcvalpool.h): the pool new buffers come from, and the
    // pools that ran out while some of their buffers were still in use.
    rcValPoolRef valuePool;
    std::vector<rcValPoolRef> retiredValuePools;
    bool poolOverflow = false;
    uint32_t valuePoolBlockLimit = 0; // tests: buffers a value pool holds, 0 = no limit
    uint32_t valuePoolBlocks = 0;     // buffers taken from the current value pool
    // Cancelling from another thread (rcDrsCancelRunning): the flag the
    // executor's row loops read (the planner's tmpOwner.cancel points at it),
    // and the number of calls now running the statement (rcDrsRunScope).
    std::atomic<uint32_t> cancel{0};
    std::atomic<uint32_t> running{0};
};

// Allocates a statement of conn whose errors go on errors (owned by the
// caller, which keeps it until the drop).
int16_t rcDrsAllocStmt(rcStmtConn *conn, rcErrorQueue *errors, rcStmt **out);
int16_t rcDrsInitStmt(rcStmt *stmt);
int16_t rcDrsCopyOptionBlock(rcStmt *stmt);
int16_t rcDrsResetStmt(rcStmt *stmt);
int16_t rcDrsDropStmt(rcStmt *stmt);
int16_t rcDrsFreeStmtMem(rcStmt *stmt);
int16_t rcDrsFreePlanState(rcStmt *stmt);
int16_t rcDrsSetNeedData(rcStmt *stmt);
int16_t rcDrsCancel(rcStmt *stmt);

// Cancelling a statement that another thread is running. A call that runs
// the statement (an execution or a fetch) holds an rcDrsRunScope for its
// length; an execution's scope first forgets the cancel request of an
// earlier run. rcDrsCancelRunning needs no lock: while such a call runs it
// sets the statement's cancel flag and answers true, and the executor's row
// loops, the temporary-table fill and the sort then end the call with 5142;
// when none runs it changes nothing and answers false. A cancelled fetch
// leaves the flag set, so the cursor's later fetches fail alike until the
// statement is executed again.
class rcDrsRunScope {
public:
    rcDrsRunScope(rcStmt *stmt, bool execution);
    ~rcDrsRunScope();
    rcDrsRunScope(const rcDrsRunScope &) = delete;
    rcDrsRunScope &operator=(const rcDrsRunScope &) = delete;

private:
    rcStmt *stmt_;
};
bool rcDrsCancelRunning(rcStmt *stmt);
int16_t rcDrsSetStmtOption(rcStmt *stmt, uint16_t option, uintptr_t value);
int16_t rcDrsGetStmtOption(rcStmt *stmt, uint16_t option, uint32_t *value);
int16_t rcDrsAddTablePassword(rcList **list, const char *text);
int rcDrsFindTablePassword(rcStmt *stmt, const char *table, char *password, size_t size);
void rcListFreeRef(rcList **list);

// Number of live statements in the process.
long rcDrsLiveStatements();
