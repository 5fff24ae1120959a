// The front end's state of a prepared statement and what preparation needs
// of the data source.
//
// Interface and legal order:
//   rcFeSource src (the connection's: driver/odbc/rcstmt_source.h; tests make
//       their own)
//   rcPrepared prep;
//   rcDrsPrepare(&prep, &src, errors, text, escapes) -> 0 prepared, 1 with a
//       warning queued, -1 error queued (an empty text is a syntax error);
//       escapes: ODBC escape clauses are scanned (SQL_NOSCAN off). Engine SET
//       statements never get here: the caller applies them first
//       (driver/odbc/rcset.h).
//   ... read prep.kind, prep.columns, prep.params, prep.root ...
//   rcFeReset(&prep) closes the tables and frees everything; the destructor
//   does the same, and so does every rcDrsPrepare first and on failure.
//   With prep.stmt set (the statement's engine record, kept across resets),
//   preparation merges the stored views a statement names, and prepares
//   CREATE VIEW and DROP VIEW, which rcFeExecuteView then carries out.
//
// Preparation: parse (with the parse-time passes of the checks), set the kind
// from the root, refuse a data change or definition on a read-only
// connection and check the kind against the data source's command mask, then
// for the kinds that have them the semantic checks (fe_check.h: tables
// opened, references resolved, every expression typed, parameters typed) and,
// for a query, the result columns (fe_selectlist.h); last the refusal the
// planner would make of a HAVING without GROUP BY, so that the statement
// fails at prepare rather than at its first execution. The tree and the tables
// stay until reset, for planning and execution. Views are merged right after
// the parse, so the checks see base tables only. A CREATE VIEW prepares the
// view's query text through this same preparation (nothing is executed) to
// learn the view's column names and types.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "driver/engine/tree/rcmempool.h"
#include "driver/engine/rcsem.h"
#include "driver/frontend/rcprs.h"

struct rcErrorQueue;
struct rcStmt;

// What the front end needs of the connection and its data source.
class rcFeSource {
public:
    virtual ~rcFeSource() = default;
    // Opens the table named by entry->path (empty: the current qualifier) and
    // entry->name; fills the handle, the path used and the columns. 0, or -1
    // with the message posted on errors.
    virtual int OpenTable(rcErrorQueue *errors, rcTblEntry *entry) = 0;
    virtual void CloseTable(rcTblEntry *entry) = 0;
    // The type catalog: whether the data source has the SQL type; the fixed
    // value length of a type (0 when it has none); the SQL type an engine
    // type shows as. DescribeResult fills the column's SQL type, column
    // size, scale, display size, length, type name and the catalog's
    // attributes (case sensitivity, searchability, unsigned, money,
    // auto-increment) for a value of type t; DescribeParam the same for a
    // parameter.
    virtual bool HasType(int16_t sqlType) = 0;
    virtual uint32_t FixedLength(int16_t sqlType) = 0;
    virtual int16_t SqlTypeOf(int16_t engineType) = 0;
    virtual void DescribeResult(const rcSemTypeInfo &t, rcResultColumn *column) = 0;
    virtual void DescribeParam(const rcSemTypeInfo &t, rcParamDesc *param) = 0;
    // Names compare exactly (else without regard to case).
    virtual bool CaseSensitiveNames() = 0;
    // The maximum number of result columns and of table columns (MaxColSupport).
    virtual uint16_t MaxColumns() = 0;
    // The SQL command mask of the data source (0x1 CREATE TABLE, 0x2 DROP
    // TABLE, 0x4 INSERT, 0x8 UPDATE, 0x10 DELETE, 0x20 CREATE INDEX, 0x40
    // DROP INDEX) and whether the connection is read-only.
    virtual uint32_t CommandMask() = 0;
    virtual bool ReadOnly() = 0;
    // USE: makes the named qualifier the connection's current one. 0, or -1
    // with the message posted.
    virtual int UseQualifier(rcErrorQueue *errors, const char *name) = 0;
    // Whether the data source has a vendor predicate of that name (exactly,
    // case counts) whose naming row stands at position (the items of a
    // {pred ...} escape counted from 0, commas skipped). None by default.
    virtual bool HasExtPredicate(const char *name, uint32_t position)
    {
        (void)name;
        (void)position;
        return false;
    }
};

enum : uint32_t {
    RC_CMD_CREATE_TABLE = 0x1,
    RC_CMD_DROP_TABLE = 0x2,
    RC_CMD_INSERT = 0x4,
    RC_CMD_UPDATE = 0x8,
    RC_CMD_DELETE = 0x10,
    RC_CMD_CREATE_INDEX = 0x20,
    RC_CMD_DROP_INDEX = 0x40,
};

struct rcPrepared {
    rcPrepared() = default;
    ~rcPrepared();
    rcPrepared(const rcPrepared &) = delete;
    rcPrepared &operator=(const rcPrepared &) = delete;

    rcFeSource *source = nullptr; // the source the tables were opened on
    rcMemPool arena = nullptr;    // the parse tree
    rcParseNode *root = nullptr;
    uint16_t kind = 0; // rcStmtKind
    uint16_t selectRoot = 0; // 1 for a query root; a catalog result: its catalog code
    std::vector<std::unique_ptr<rcTblEntry>> tables;
    std::deque<rcSemTypeInfo> types; // type records of the tree's nodes
    std::vector<rcParamDesc> params; // by parameter number
    std::vector<rcResultColumn> columns;
    uint16_t exprNames = 0; // EXPR_n names given so far
    // The statement's engine record the view catalogue hangs on; null: views
    // are neither merged nor defined. Not touched by reset.
    rcStmt *stmt = nullptr;
    std::vector<rcResultColumn> viewColumns; // CREATE VIEW: the query's columns
};

int16_t rcDrsPrepare(rcPrepared *prep, rcFeSource *source, rcErrorQueue *errors, const char *text,
                     bool escapes);
// Closes the tables and frees the tree and every record.
void rcFeReset(rcPrepared *prep);

// Executes a prepared CREATE VIEW (stores the view) or DROP VIEW (removes
// it; a name that is no view is an error). Call under the engine lock.
// 0, or -1 with the message posted on the statement's queue.
int rcFeExecuteView(rcPrepared *prep);

// The statement kind of a parse-tree root (rcStmtKind values).
uint16_t rcFeKindOfRoot(const rcParseNode *root);

// SQLNativeSql: the text parsed and regenerated; 0, or -1 with the parse
// error posted on errors.
int rcDrsNativeSql(const char *text, std::string *out, rcErrorQueue *errors);

// A new type record owned by the prepared state.
rcSemTypeInfo *rcSemNewType(rcPrepared *prep, const rcSemTypeInfo &type);
inline const rcSemTypeInfo *rcSemTypeOf(const rcParseNode *node)
{
    return static_cast<const rcSemTypeInfo *>(node->sem);
}
