// Index validation (see rcstmt_exec.h).
#include "driver/odbc/rcstmt_exec.h"

#include <cstdio>
#include <string>
#include <vector>

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/plan/rcpln.h"
#include "driver/engine/rcsem.h"
#include "driver/engine/rcstmt.h"
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcentry.h"
#include "driver/odbc/rcopt_engine.h"
#include "driver/odbc/rcstmt_handle.h"

namespace {

// A name as a quoted identifier.
std::string Quoted(const std::string &name)
{
    std::string q = "\"";
    for (char c : name) {
        q += c;
        if (c == '"')
            q += '"';
    }
    return q + "\"";
}

// The rows of text run as a statement of its own on s's connection; -1 when
// it could not run. The nested statement's steps show in the trace as the
// calls they stand for: SQLAllocStmt, SQLExecDirect, SQLFetch for each row
// and the end, SQLFreeStmt.
long CountRows(rcStmtHandle *s, const std::string &text)
{
    rcConn *conn = s->conn;
    rcStmtHandle *nested = nullptr;
    rcCall alloc(conn, "SQLAllocStmt", 0, kRcLineAllocStmt, rcStmtAddr(conn), rcStmtAddr(&nested));
    if (alloc.done(rcStmtHandleAlloc(conn, &nested) == 0 ? SQL_SUCCESS : SQL_ERROR) != SQL_SUCCESS)
        return -1;
    nested->engine->options.engineOptionMask &= ~uint32_t{RC_OPT_VALIDATEINDEX};
    long rows = -1;
    rcCall direct(nested, "SQLExecDirect", 0, kRcLineExecDirect, rcStmtAddr(nested), text.c_str(),
                  static_cast<long>(SQL_NTS));
    if (SQL_SUCCEEDED(direct.done(rcStmtExecDirect(nested, text.c_str())))) {
        for (rows = 0;; ++rows) {
            rcCall fetch(nested, "SQLFetch", 0, kRcLineFetch, rcStmtAddr(nested));
            if (!SQL_SUCCEEDED(fetch.done(rcStmtNextRow(nested))))
                break;
        }
    }
    rcCall drop(nested, "SQLFreeStmt", 0, kRcLineFreeStmt, rcStmtAddr(nested), SQL_DROP);
    drop.done(rcStmtHandleFree(nested) == 0 ? SQL_SUCCESS : SQL_ERROR);
    return rows;
}

} // namespace

void rcStmtValidateIndexes(rcStmtHandle *s)
{
    rcStmt *e = s->engine;
    if (e->planner == nullptr ||
        (e->options.engineOptionMask & uint32_t{RC_OPT_VALIDATEINDEX}) == 0)
        return;
    // The tables first: the nested statements may not run under the plan.
    struct Check {
        std::string table;
        std::string index;
        std::string order;
    };
    std::vector<Check> checks;
    for (const PlanNode *t : e->planner->tables) {
        if (t->access != PLN_ACCESS_INDEX || t->index == nullptr || t->index->keys.empty() ||
            t->table == nullptr)
            continue;
        Check c{t->table->name, t->index->name, ""};
        for (const rcPlnKeyColumn &k : t->index->keys) {
            if (!c.order.empty())
                c.order += ',';
            c.order += Quoted(k.column->name);
        }
        checks.push_back(std::move(c));
    }
    for (const Check &c : checks) {
        std::string text = "Select * from " + Quoted(c.table);
        long tableRows = CountRows(s, text);
        long indexRows = CountRows(s, text + " ORDER BY " + c.order);
        if (tableRows < 0 || indexRows < 0 || tableRows == indexRows)
            continue;
        char message[600];
        std::snprintf(message, sizeof message,
                      "Bad index Table %s, Index %s. Index rows: %ld != Tab rows: %ld. Drop "
                      "index and recreate",
                      c.table.c_str(), c.index.c_str(), indexRows, tableRows);
        rcErrPost(&s->errors, RC_MSG_GENERAL_ERROR, nullptr, 0, message);
    }
}
