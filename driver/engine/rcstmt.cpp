#include "platform/strings.h"
#include "driver/engine/rcstmt.h"

#include <atomic>
#include <cstring>
#include <new>

#include "driver/core/rcmem.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rctrace.h"
#include "driver/engine/tam.h"

namespace {

std::atomic<long> gLiveStatements{0};

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

int16_t rcDrsAllocStmt(rcStmtConn *conn, rcErrorQueue *errors, rcStmt **out)
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
    // The planner context with its plan, the run-time state of its nodes
    // and its subquery and UNION branch plans.
    stmt->planner.release();
    rcListFreeRef(&stmt->subqueries);
    rcListFreeRef(&stmt->resultColumns);
    if (stmt->planPool > 0)
        rcPoolDestroy(stmt->planPool);
    stmt->planPool = 0;
    stmt->plan = nullptr;
    return 0;
}

int16_t rcDrsResetStmt(rcStmt *stmt)
{
    // The parts' states in the order rcstmt.h gives.
    stmt->catResult.release();
    stmt->catColumnCount = 0;
    stmt->catalogKind = 0;
    if (rcDrsFreePlanState(stmt) != 0)
        return -1;
    stmt->dataChange.release();
    if (stmt->preparePool > 0)
        rcPoolDestroy(stmt->preparePool);
    stmt->preparePool = 0;
    rcMemPoolDestroy(stmt->workPool);
    stmt->workPool = nullptr;
    rcTreePoolDestroy(stmt->parseArena);
    stmt->parseArena = nullptr;
    stmt->views.release();
    return 0;
}

int16_t rcDrsFreeStmtMem(rcStmt *stmt)
{
    stmt->params.release();
    rcListFreeRef(&stmt->options.tablePasswords);
    if (stmt->stmtPool > 0)
        rcPoolDestroy(stmt->stmtPool);
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
    if (stmt->conn != nullptr) {
        rcTrcTarget target{stmt->conn->engineTrace(), stmt->debugLevel, false};
        rcTrcWrite(target, 1, "rcDrsDropStmt(%ld)",
                   static_cast<long>(reinterpret_cast<intptr_t>(stmt)));
    }
    int16_t result = rcDrsResetStmt(stmt);
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
        // Clearing it closes the kept tables: the ODBC layer does, whose
        // table source keeps them.
        stmt->options.keepTablesOpen = value == 1 ? 1 : 0;
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
