// The statement record: the engine's statement and the ODBC statement handle
// in one.
//
// Legal order: rcDrsAllocStmt (allocates, initialises, counts) -> any number
// of prepares and executions, each preceded by rcDrsResetStmt (frees all a
// prepare or execution left, keeps the record, its statement pools, its
// value pools, its table password list and its parameters) ->
// rcDrsDropStmt (reset, close the statement's tables, free the record).
//
// The record reaches its connection only through the hooks that the
// connection code installs with rcDrsSetHooks; parts that hang their own
// state on a statement (programs, plan, open tables, views, catalog results,
// data changes) install the routines that release it at reset. A hook that is
// not installed is skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "driver/core/rcerror.h"
#include "driver/core/rclist.h"
#include "driver/engine/tree/rcmempool.h"
#include "driver/engine/tree/rcprsnode.h"

struct rcConn;
struct rcTraceChannel;
struct QueryPlan;
struct ExprProgram;
struct FilterProgram;
struct rcViewCatalog;
struct DrmRetrieveList;

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
    rcList *tablePasswords = nullptr; // elements of RC_TABLE_PASSWORD_SIZE bytes
    uint32_t option1171 = 0;
    uint32_t option1172 = 0;
    uint32_t option1173 = 0;
    uint32_t reserved1 = 0;
    uint32_t reserved2 = 0;
    uint32_t keepTablesOpen = 0;      // option 1153
    uint32_t reserved3 = 0;
    uint32_t engineOptionMask = 0;
    uint32_t reserved4 = 0;
    uint16_t reserved5 = 0;
};

// The statement's copy of its connection's data-source information.
struct rcStmtSourceInfo {
    uint32_t commandMask = 0;     // 0x1 CREATE TABLE ... 0x40 DROP INDEX; 0 read-only
    uint32_t fileUsage = 0;
    uint32_t maxQualifierLength = 0;
    uint32_t nonNullable = 0;
    uint32_t filterMask = 0;      // filter push-down capabilities
    uint32_t joinMask = 0;        // join push-down capabilities
    uint32_t capabilities = 0;    // RC_SRC_CAP_* bits
    uint32_t parseHook = 0;       // the data module wants the parse tree
    uint16_t maxColumns = 0;      // MaxColSupport
    const char *driverName = "";  // texts owned by the connection
    const char *qualifierTerm = "";
};
enum : uint32_t {
    RC_SRC_CAP_TABLE_PASSWORDS = 0x10,
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

struct rcStmt {
    rcConn *conn = nullptr;            // owning connection, never changed
    uint16_t handleState = 0;          // kept by the ODBC layer
    uint16_t kind = RC_KIND_NONE;      // rcStmtKind of the prepared text
    uint16_t selectRoot = 0;           // 1 for a query root; catalog code otherwise
    rcList *resultColumns = nullptr;
    rcErrorQueue errors{};
    rcList *plannerColumns = nullptr;
    uint16_t paramCount = 0;
    uint32_t noScan = 0;               // SQL_NOSCAN: escapes are not processed
    uint16_t resultColumnCount = 0;
    uint16_t catalogKind = 0;
    uint16_t endOfData = 0;
    uint16_t engineState = RC_ENGINE_NOT_PREPARED;
    rcList *subqueries = nullptr;
    rcList *tables = nullptr;
    rcList *unionBranches = nullptr;
    rcMemPool workPool = nullptr;      // prepare-time scratch
    ExprProgram *exprProgram = nullptr;
    FilterProgram *filterProgram = nullptr;
    rcViewCatalog *views = nullptr;
    void *params = nullptr;            // parameter bindings, freed with the record
    rcMemPool parsePool = nullptr;     // tree pool for prepare-time nodes
    int32_t stmtPool = 0;              // made at initialisation
    int32_t stmtPool2 = 0;             // made by its first user
    int32_t preparePool = 0;           // made at each prepare
    int32_t planPool = 0;
    QueryPlan *plan = nullptr;
    rcMemPool parseArena = nullptr;
    rcParseNode *parseRoot = nullptr;
    void *dataChange = nullptr;        // prepared INSERT/UPDATE/DELETE state
    void *procedure = nullptr;         // procedure call state
    uint16_t catColumnCount = 0;
    void *catColumns = nullptr;
    void *catTable = nullptr;
    uint32_t catTableTypes = 0;
    uint16_t debugLevel = 0;
    rcListHolder *files = nullptr;
    bool depthError = false;
    void *pushedFilters = nullptr;
    uint32_t unionFlag = 0;
    const char *sqlText = nullptr;
    DrmRetrieveList *retrieveList = nullptr;
    rcStmtOptionBlock options;
    rcStmtSourceInfo sourceInfo;
    uint16_t numericPrecision = 0;
    uint16_t numericScale = 0;
    rcList *updatedColumns = nullptr;  // UPDATE: updated-and-searched columns
    rcList *planList = nullptr;
    // Value buffers (rcvalpool.h): the pool new buffers come from, and the
    // pools that ran out while some of their buffers were still in use.
    rcValPoolRef valuePool;
    std::vector<rcValPoolRef> retiredValuePools;
    bool poolOverflow = false;
    uint32_t valuePoolBlockLimit = 0;  // tests: buffers a value pool holds, 0 = no limit
    uint32_t valuePoolBlocks = 0;      // buffers taken from the current value pool
};

// What the statement needs of its connection and of the parts that hang
// state on it.
struct rcDrsHooks {
    // Connection accessors.
    rcErrorQueue *(*connErrors)(rcConn *conn) = nullptr;
    const rcStmtOptionBlock *(*connOptions)(rcConn *conn) = nullptr;
    void (*connSourceInfo)(rcConn *conn, rcStmtSourceInfo *info) = nullptr;
    // The type catalog: true when the data source has the SQL type, with its
    // column size and scale.
    bool (*connTypeInfo)(rcConn *conn, int16_t sqlType, uint32_t *columnSize, int16_t *scale) = nullptr;
    rcTraceChannel *(*connEngineTrace)(rcConn *conn) = nullptr;
    // SQL_MAX_ROWS: session option 4 of the table-access session.
    int (*setMaxRows)(rcStmt *stmt, uint32_t rows) = nullptr;
    // Option 1153 cleared: close the kept tables that are not in use.
    void (*closeKeptTables)(rcStmt *stmt) = nullptr;
    // Releases run by reset, in this order.
    void (*releaseCatalog)(rcStmt *stmt) = nullptr;
    void (*releasePrograms)(rcStmt *stmt) = nullptr;
    void (*releaseOpenTables)(rcStmt *stmt) = nullptr;
    // Releases the run-time state of every plan node of the statement's plan,
    // of its subquery plans (before the subquery list is destroyed), and of
    // the UNION branches' plans with their result lists (before the branch
    // list is destroyed).
    void (*releasePlanNodes)(rcStmt *stmt, QueryPlan *plan) = nullptr;
    void (*releaseSubqueries)(rcStmt *stmt) = nullptr;
    void (*releaseUnionBranches)(rcStmt *stmt) = nullptr;
    void (*closePlanWindow)(rcStmt *stmt) = nullptr;
    void (*releaseDataChange)(rcStmt *stmt) = nullptr;
    void (*releaseViews)(rcStmt *stmt) = nullptr;
    void (*releaseProcedure)(rcStmt *stmt) = nullptr;
    void (*releasePushedFilters)(rcStmt *stmt) = nullptr;
    void (*releaseRetrieveList)(rcStmt *stmt) = nullptr;
    // Drop: resets the statement's table list, closing its tables.
    void (*resetTableList)(rcStmt *stmt) = nullptr;
    // Frees the parameter bindings with the record.
    void (*freeParams)(rcStmt *stmt) = nullptr;
};
void rcDrsSetHooks(const rcDrsHooks &hooks);
const rcDrsHooks &rcDrsGetHooks();

int16_t rcDrsAllocStmt(rcConn *conn, rcStmt **out);
int16_t rcDrsInitStmt(rcStmt *stmt);
int16_t rcDrsCopyOptionBlock(rcStmt *stmt);
int16_t rcDrsResetStmt(rcStmt *stmt);
int16_t rcDrsDropStmt(rcStmt *stmt);
int16_t rcDrsFreeStmtMem(rcStmt *stmt);
int16_t rcDrsFreePlanState(rcStmt *stmt);
int16_t rcDrsSetNeedData(rcStmt *stmt);
int16_t rcDrsCancel(rcStmt *stmt);
int16_t rcDrsSetStmtOption(rcStmt *stmt, uint16_t option, uintptr_t value);
int16_t rcDrsGetStmtOption(rcStmt *stmt, uint16_t option, uint32_t *value);
int16_t rcDrsAddTablePassword(rcList **list, const char *text);
int rcDrsFindTablePassword(rcStmt *stmt, const char *table, char *password, size_t size);
void rcListFreeRef(rcList **list);
// The statement kind of a parse-tree root.
uint16_t rcDrsKindOfRoot(const rcParseNode *root);

// Number of live statements in the process.
long rcDrsLiveStatements();
