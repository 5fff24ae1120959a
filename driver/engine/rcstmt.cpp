#include "platform/strings.h"
#include "driver/engine/rcstmt.h"

#include <atomic>
#include <cstring>
#include <new>

#include "driver/core/rclock.h"
#include "driver/core/rcmem.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rctrace.h"
#include "driver/engine/tam.h"

namespace {

std::atomic<long> gLiveStatements{0};

const rcStmtParts kNoParts{};

rcErrorQueue *ConnErrors(rcStmtConn *conn) { return conn != nullptr ? conn->errors() : nullptr; }

// Length of an entry's key: the text up to its first ",".
size_t KeyLength(const char *text)
{
    const char *comma = std::strchr(text, ',');
    return comma != nullptr ? size_t(comma - text) : std::strlen(text);
}

enum : int16_t { SQL_NUMERIC_TYPE = 2, SQL_DECIMAL_TYPE = 3 };

} // namespace

long rcDrsLiveStatements() { return gLiveStatements.load(); }

void rcListFreeRef(rcList **list)
{
    if (*list != nullptr) {
        rcListDestroy(*list);
        *list = nullptr;
    }
}

int16_t rcDrsAllocStmt(rcStmtConn *conn, rcErrorQueue *errors, const rcStmtParts *parts,
                       rcStmt **out)
{
    *out = nullptr;
    rcStmt *stmt = new (std::nothrow) rcStmt;
    if (stmt == nullptr) {
        if (rcErrorQueue *errors = ConnErrors(conn))
            rcErrRaise(errors, RC_MSG_MEMORY_ALLOCATION_ERROR);
        return -1;
    }
    stmt->conn = conn;
    stmt->errors = errors;
    stmt->parts = parts != nullptr ? parts : &kNoParts;
    int16_t result = rcDrsInitStmt(stmt);
    // Counted even when initialisation failed: the caller drops it.
    ++gLiveStatements;
    *out = stmt;
    return result;
}

int16_t rcDrsInitStmt(rcStmt *stmt)
{
    stmt->stmtPool = rcPoolCreate();
    if (stmt->stmtPool <= 0) {
        stmt->stmtPool = 0;
        if (rcErrorQueue *errors = ConnErrors(stmt->conn))
            rcErrRaise(errors, RC_MSG_MEMORY_ALLOCATION_ERROR);
        return -1;
    }
    if (stmt->conn != nullptr)
        stmt->conn->sourceInfo(&stmt->sourceInfo);
    // Exact numerics: DECIMAL's own precision when the data source has it,
    // else the column size and scale of its NUMERIC type.
    uint32_t size = 0;
    int16_t scale = 0;
    if (stmt->conn != nullptr && stmt->conn->typeInfo(SQL_DECIMAL_TYPE, &size, &scale)) {
        stmt->numericPrecision = 74;
        stmt->numericScale = 37;
    } else if (stmt->conn != nullptr && stmt->conn->typeInfo(SQL_NUMERIC_TYPE, &size, &scale)) {
        stmt->numericPrecision = static_cast<uint16_t>(size);
        stmt->numericScale = static_cast<uint16_t>(scale < 0 ? 0 : scale);
    }
    return rcDrsCopyOptionBlock(stmt);
}

int16_t rcDrsCopyOptionBlock(rcStmt *stmt)
{
    const rcStmtOptionBlock *from = stmt->conn != nullptr ? stmt->conn->options() : nullptr;
    if (from == nullptr)
        return 0;
    stmt->options = *from;
    stmt->options.tablePasswords = nullptr;
    // The statement gets its own copy of the password list, so that entries
    // added on the statement do not reach the connection.
    if (from->tablePasswords != nullptr) {
        uint32_t count = rcListCount(from->tablePasswords);
        rcList *copy = rcListCreate(count > 0 ? count : 4, RC_TABLE_PASSWORD_SIZE, false, 0);
        if (copy == nullptr)
            return -1;
        for (uint32_t i = 0; i < count; ++i) {
            if (rcListAppend(copy, rcListAt(from->tablePasswords, i)) != 0) {
                rcListDestroy(copy);
                return -1;
            }
        }
        stmt->options.tablePasswords = copy;
    }
    return 0;
}

int16_t rcDrsFreePlanState(rcStmt *stmt)
{
    const rcStmtParts &h = *stmt->parts;
    rcListFreeRef(&stmt->updatedColumns);
    if (h.closePlanWindow != nullptr) {
        rcDriverLockHold hold;
        h.closePlanWindow(stmt);
    }
    if (stmt->unionBranches == nullptr && stmt->plan != nullptr && h.releasePlanNodes != nullptr)
        h.releasePlanNodes(stmt, stmt->plan);
    if (stmt->subqueries != nullptr && h.releaseSubqueries != nullptr)
        h.releaseSubqueries(stmt);
    rcListFreeRef(&stmt->subqueries);
    if (stmt->unionBranches == nullptr) {
        rcListFreeRef(&stmt->resultColumns);
    } else {
        // The result columns are the first branch's list, owned by the branch.
        if (h.releaseUnionBranches != nullptr)
            h.releaseUnionBranches(stmt);
        rcListFreeRef(&stmt->unionBranches);
        stmt->resultColumns = nullptr;
    }
    rcListFreeRef(&stmt->planList);
    if (stmt->planPool > 0)
        rcPoolDestroy(stmt->planPool);
    stmt->planPool = 0;
    stmt->plan = nullptr;
    return 0;
}

int16_t rcDrsResetStmt(rcStmt *stmt)
{
    const rcStmtParts &h = *stmt->parts;
    if (h.releaseCatalog != nullptr)
        h.releaseCatalog(stmt);
    if (h.releasePrograms != nullptr)
        h.releasePrograms(stmt);
    stmt->exprProgram = nullptr;
    stmt->filterProgram = nullptr;
    if (h.releaseOpenTables != nullptr)
        h.releaseOpenTables(stmt);
    rcListFreeRef(&stmt->plannerColumns);
    if (rcDrsFreePlanState(stmt) != 0)
        return -1;
    if (h.releaseDataChange != nullptr)
        h.releaseDataChange(stmt);
    stmt->dataChange = nullptr;
    rcTreePoolDestroy(stmt->parsePool);
    stmt->parsePool = nullptr;
    stmt->resultColumnCount = 0;
    stmt->paramCount = 0;
    if (stmt->preparePool > 0)
        rcPoolDestroy(stmt->preparePool);
    stmt->preparePool = 0;
    rcMemPoolDestroy(stmt->workPool);
    stmt->workPool = nullptr;
    rcTreePoolDestroy(stmt->parseArena);
    stmt->parseArena = nullptr;
    stmt->parseRoot = nullptr;
    if (stmt->files != nullptr) {
        rcListHolderFree(stmt->files);
        stmt->files = nullptr;
    }
    if (h.releaseViews != nullptr)
        h.releaseViews(stmt);
    stmt->views = nullptr;
    if (h.releaseProcedure != nullptr)
        h.releaseProcedure(stmt);
    stmt->procedure = nullptr;
    if (h.releasePushedFilters != nullptr)
        h.releasePushedFilters(stmt);
    stmt->pushedFilters = nullptr;
    if (h.releaseRetrieveList != nullptr)
        h.releaseRetrieveList(stmt);
    stmt->retrieveList = nullptr;
    stmt->kind = RC_KIND_NONE;
    return 0;
}

int16_t rcDrsFreeStmtMem(rcStmt *stmt)
{
    const rcStmtParts &h = *stmt->parts;
    if (h.freeParams != nullptr)
        h.freeParams(stmt);
    rcListFreeRef(&stmt->options.tablePasswords);
    if (stmt->stmtPool > 0)
        rcPoolDestroy(stmt->stmtPool);
    if (stmt->stmtPool2 > 0)
        rcPoolDestroy(stmt->stmtPool2);
    // Value buffers die with the record.
    if (stmt->valuePool.id > 0)
        rcPoolDestroy(stmt->valuePool.id);
    for (const rcValPoolRef &retired : stmt->retiredValuePools)
        rcPoolDestroy(retired.id);
    delete stmt;
    return 0;
}

int16_t rcDrsDropStmt(rcStmt *stmt)
{
    const rcStmtParts &h = *stmt->parts;
    if (stmt->conn != nullptr) {
        rcTrcTarget target{stmt->conn->engineTrace(), stmt->debugLevel, false};
        rcTrcWriteTo(target, 1, "rcDrsDropStmt(%ld)",
                     static_cast<long>(reinterpret_cast<intptr_t>(stmt)));
    }
    int16_t result = rcDrsResetStmt(stmt);
    if (h.resetTableList != nullptr)
        h.resetTableList(stmt);
    // A failed reset keeps the record (and its place in the live count).
    if (result == 0) {
        rcDrsFreeStmtMem(stmt);
        --gLiveStatements;
    }
    return result;
}

int16_t rcDrsSetNeedData(rcStmt *stmt)
{
    stmt->engineState = RC_ENGINE_DONE;
    return 0;
}

int16_t rcDrsCancel(rcStmt *) { return 0; }

rcDrsRunScope::rcDrsRunScope(rcStmt *stmt, bool execution) : stmt_(stmt)
{
    if (stmt_ == nullptr)
        return;
    // Cleared before the run is announced: a cancel that sees the run is
    // never undone by it.
    if (execution)
        stmt_->cancel.store(0);
    stmt_->running.fetch_add(1);
}

rcDrsRunScope::~rcDrsRunScope()
{
    if (stmt_ != nullptr)
        stmt_->running.fetch_sub(1);
}

bool rcDrsCancelRunning(rcStmt *stmt)
{
    if (stmt == nullptr || stmt->running.load() == 0)
        return false;
    stmt->cancel.store(1);
    return true;
}

int16_t rcDrsSetStmtOption(rcStmt *stmt, uint16_t option, uintptr_t value)
{
    const rcStmtParts &h = *stmt->parts;
    switch (option) {
    case 0:  // SQL_QUERY_TIMEOUT
    case 8:  // SQL_KEYSET_SIZE
    case 10: // SQL_SIMULATE_CURSOR
    case 11: // SQL_RETRIEVE_DATA
    case 12: // SQL_USE_BOOKMARKS
        return static_cast<int16_t>(rcErrNotCapable(stmt->errors));
    case 1: // SQL_MAX_ROWS
        // The data module takes no row limit (it refuses session option 4):
        // the statement remembers it and the fetch stops after that many rows.
        stmt->maxRows = static_cast<uint32_t>(value);
        return 0;
    case 2: // SQL_NOSCAN
    case 5: // SQL_BIND_TYPE
        if (value != 0)
            return static_cast<int16_t>(rcErrNotCapable(stmt->errors));
        return 0;
    case RC_STMT_OPT_TABLE_PASSWORD:
        if (value == 0)
            return static_cast<int16_t>(rcErrNotCapable(stmt->errors));
        return rcDrsAddTablePassword(&stmt->options.tablePasswords,
                                     reinterpret_cast<const char *>(value));
    case RC_STMT_OPT_KEEP_TABLES_OPEN:
        if (value == 1) {
            stmt->options.keepTablesOpen = 1;
        } else {
            stmt->options.keepTablesOpen = 0;
            if (h.closeKeptTables != nullptr)
                h.closeKeptTables(stmt);
        }
        return 0;
    case RC_STMT_OPT_1171: stmt->options.option1171 = value != 0 ? 1 : 0; return 0;
    case RC_STMT_OPT_1172:
        stmt->options.option1171 = stmt->options.option1172 = value != 0 ? 1 : 0;
        return 0;
    case RC_STMT_OPT_1173: stmt->options.option1173 = static_cast<uint32_t>(value); return 0;
    default: return 0;
    }
}

int16_t rcDrsGetStmtOption(rcStmt *stmt, uint16_t option, uint32_t *value)
{
    if (option == RC_STMT_OPT_KEEP_TABLES_OPEN)
        *value = stmt->options.keepTablesOpen;
    return 0;
}

int16_t rcDrsAddTablePassword(rcList **list, const char *text)
{
    if (*list == nullptr) {
        *list = rcListCreate(4, RC_TABLE_PASSWORD_SIZE, false, 0);
        if (*list == nullptr)
            return -1;
    }
    char entry[RC_TABLE_PASSWORD_SIZE] = {};
    std::strncpy(entry, text, RC_TABLE_PASSWORD_SIZE - 1);
    size_t key = KeyLength(entry);
    uint32_t count = rcListCount(*list);
    for (uint32_t i = 0; i < count; ++i) {
        auto *old = static_cast<const char *>(rcListAt(*list, i));
        if (KeyLength(old) == key && PlatAsciiCaseCompareN(old, entry, key) == 0)
            return rcListSet(*list, entry, i) == 0 ? 0 : -1;
    }
    return rcListAppend(*list, entry) == 0 ? 0 : -1;
}

int rcDrsFindTablePassword(rcStmt *stmt, const char *table, char *password, size_t size)
{
    rcList *list = stmt->options.tablePasswords;
    if (list == nullptr || (stmt->sourceInfo.capabilities & RC_SRC_CAP_TABLE_PASSWORDS) == 0)
        return 0;
    size_t key = std::strlen(table);
    uint32_t count = rcListCount(list);
    for (uint32_t i = 0; i < count; ++i) {
        auto *entry = static_cast<const char *>(rcListAt(list, i));
        if (KeyLength(entry) != key || PlatAsciiCaseCompareN(entry, table, key) != 0 ||
            entry[key] != ',')
            continue;
        // The password: the text after the ",", at most 30 characters.
        size_t n = std::strlen(entry + key + 1);
        if (n > 30)
            n = 30;
        if (size > 0) {
            if (n >= size)
                n = size - 1;
            std::memcpy(password, entry + key + 1, n);
            password[n] = '\0';
        }
        return 1;
    }
    return 0;
}

uint16_t rcDrsKindOfRoot(const rcParseNode *root)
{
    if (root == nullptr)
        return RC_KIND_NONE;
    switch (root->id) {
    case RC_N_InsertStmt: return RC_KIND_INSERT;
    case RC_N_UpdateStmt: return RC_KIND_UPDATE;
    case RC_N_DeleteStmt: return RC_KIND_DELETE;
    case RC_N_CreateIndexStmt: return RC_KIND_CREATE_INDEX;
    case RC_N_CreateTableStmt: return RC_KIND_CREATE_TABLE;
    case RC_N_DropIndexStmt: return RC_KIND_DROP_INDEX;
    case RC_N_DropTableStmt: return RC_KIND_DROP_TABLE;
    case RC_N_CreateViewStmt: return RC_KIND_CREATE_VIEW;
    case RC_N_DropViewStmt: return RC_KIND_DROP_VIEW;
    case RC_N_SubSelectStmt:
    case RC_N_FullSelectStmt: return RC_KIND_QUERY;
    case RC_N_Procedure: return RC_KIND_PROCEDURE;
    case RC_N_UseStmt: return RC_KIND_USE;
    default: return RC_KIND_OTHER;
    }
}
