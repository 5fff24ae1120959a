// The catalog functions' workers (rcodbc_impl.h): one frame for all of
// them, and the table-type list and the type list built here. The engine
// describes every catalog result with ODBC 2's column names and types.
#include "driver/odbc/rcodbc_impl.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "driver/core/rclock.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcstr.h"
#include "driver/core/rcstrings.h"
#include "driver/core/rctrace.h"
#include "driver/engine/catalog/rccat.h"
#include "driver/engine/rcstmt.h"
#include "driver/odbc/rccat_conn.h"
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcentry.h"
#include "driver/odbc/rcinfo.h"
#include "driver/odbc/rcstmt_exec.h"
#include "driver/odbc/rcstmt_handle.h"
#include "driver/odbc/rctranslate.h"
#include "driver/odbc/rctypecat.h"
#include "platform/strings.h"

namespace {

constexpr size_t kNameDefaultMax = 255;

// The search-pattern escape the driver reports (SQL_SEARCH_PATTERN_ESCAPE):
// an escaped "_" or "%" counts as one character of a name's length.
char Escape(rcConn *conn)
{
    uintptr_t value = 0;
    rcInfoKind kind = RC_INFO_TEXT;
    if (rcDrsGetInfo(conn, SQL_SEARCH_PATTERN_ESCAPE, &value, &kind) != 0 || kind != RC_INFO_TEXT)
        return 0;
    const char *text = reinterpret_cast<const char *>(value);
    return text != nullptr ? text[0] : 0;
}

// A name argument: its text and length as given, and the information type
// of its maximum length (0: none).
struct NameArg {
    const SQLCHAR *text;
    SQLSMALLINT length;
    uint16_t maxInfo;
};

// The copied arguments of one call; freed with it.
struct Copies {
    rcArgString arg[6] = {};
    size_t count = 0;
    ~Copies() { rcArgFreeStrings(arg, count); }
    const char *operator[](size_t i) const { return arg[i].text; }
};

int64_t MaxLength(rcConn *conn, uint16_t infoType)
{
    if (infoType == 0)
        return kRcArgNoMaximum;
    uintptr_t value = 0;
    rcInfoKind kind = RC_INFO_U16;
    // 0 means the driver sets no limit of its own.
    if (rcDrsGetInfo(conn, infoType, &value, &kind) != 0 || kind != RC_INFO_U16 || value == 0)
        return static_cast<int64_t>(kNameDefaultMax);
    return static_cast<int64_t>(value);
}

// The call line of the trace: the handle, then each argument as "text" and
// its length, then the numbers of the call.
std::string CallLine(const char *name, const rcStmtHandle *s, const NameArg *args, size_t n,
                     const Copies &c, const char *numbers)
{
    char head[64];
    std::snprintf(head, sizeof head, "%s(0x%08lx", name, rcStmtAddr(s));
    std::string line = head;
    for (size_t i = 0; i < n; ++i) {
        line += ", \"";
        line += c[i] != nullptr ? c[i] : "NULL";
        line += "\", " + std::to_string(args[i].length);
    }
    line += numbers;
    line += ")";
    return line;
}

// Closes what the handle had open; an open result set must be closed by the
// application first (24000).
int16_t CloseIfNeeded(rcStmtHandle *s)
{
    if (s->state < RC_STMT_EXECUTED)
        return 0;
    if (rcStmtProducesResult(s->prep.kind) && s->state >= RC_STMT_CURSOR_OPEN)
        return static_cast<int16_t>(rcErrRaise(&s->errors, RC_MSG_INVALID_CURSOR_STATE));
    rcStmtCloseQuery(s);
    s->state = s->prepared ? RC_STMT_PREPARED : RC_STMT_ALLOCATED;
    return 0;
}

// The frame every catalog function shares: arguments copied (5147 for a
// name over its maximum), the statement reset, the result built by build,
// and the handle left with an open result set of the source.
template <typename Build>
SQLRETURN Frame(rcStmtHandle *s, const char *name, uint16_t functionId, uint16_t source,
                const NameArg *args, size_t n, const char *numbers, Build build)
{
    Copies c;
    uint32_t msg = RC_MSG_NO_ERROR;
    char escape = Escape(s->conn);
    // Names the application wrote through a translation library come back
    // to the driver's Windows-1252 before they are copied and checked.
    std::string names[6], refused;
    for (size_t i = 0; i < n && msg == RC_MSG_NO_ERROR; ++i) {
        const char *text = reinterpret_cast<const char *>(args[i].text);
        int64_t length = args[i].length;
        if (text != nullptr && rcXlateLoaded(s->conn) && refused.empty()) {
            if (rcXlateFromApp(s->conn, nullptr, RC_XLATE_LIBRARY, text,
                               length == SQL_NTS ? SQL_NTS : std::max<int64_t>(length, 0),
                               &names[i])) {
                text = names[i].c_str();
                length = SQL_NTS;
            } else {
                refused.swap(names[i]);
            }
        }
        msg = rcArgCopyString(&c.arg[i], text, length, MaxLength(s->conn, args[i].maxInfo),
                              escape);
        c.count = i + 1;
    }
    rcCall call(s, name, 0, "%s", CallLine(name, s, args, n, c, numbers).c_str());
    if (!refused.empty()) {
        rcErrPostState(&s->errors, "22018", 0, refused.c_str());
        return call.done(SQL_ERROR);
    }
    if (s->pendingFunction != 0 && s->pendingFunction != functionId)
        return call.done(rcStmtRaise(s, RC_MSG_FUNCTION_SEQUENCE_ERROR));
    if (CloseIfNeeded(s) != 0)
        return call.done(SQL_ERROR);
    if (msg != RC_MSG_NO_ERROR)
        return call.done(rcStmtRaise(s, msg));
    int16_t rc;
    {
        rcParserLockHold lock;
        // What the handle had prepared is gone.
        rcDrsResetStmt(s->engine);
        rcFeReset(&s->prep);
        s->setApplied = 0;
        s->prepared = 0;
        rcStmtForgetDirect(s);
        rc = build(c);
    }
    s->rowCount = 0;
    s->rowCurrent = false;
    if (rc < 0 || !rcCatActive(s->engine)) {
        rcCatRelease(s->engine);
        s->state = RC_STMT_ALLOCATED;
        return call.done(SQL_ERROR);
    }
    // The result's columns, described by the engine, are what SQLDescribeCol
    // and SQLColAttributes read for every result set. A catalog result reads
    // as a query whose select-root code names the catalog function.
    rcCatTakeColumns(s->engine, &s->prep.columns);
    s->prep.kind = RC_KIND_QUERY;
    s->prep.selectRoot = source;
    s->engine->engineState = RC_ENGINE_RESULT_OPEN;
    s->state = RC_STMT_CURSOR_OPEN;
    if (!s->cursorNameSet && s->cursorName[0] == '\0')
        rcStrDefaultCursorName(s, s->cursorName, sizeof s->cursorName);
    return call.done(rc == 1 ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS);
}

bool IsEmpty(const char *text) { return text != nullptr && text[0] == '\0'; }

// "%" compared whole for a terminated argument, as one character for length 1.
bool IsPercent(const SQLCHAR *text, SQLSMALLINT length)
{
    if (text == nullptr)
        return false;
    if (length == SQL_NTS)
        return std::strcmp(reinterpret_cast<const char *>(text), "%") == 0;
    return length == 1 && text[0] == '%';
}

// The connection's table types and their mask bits.
struct TableType {
    const char *name;
    uint32_t bit;
};
constexpr TableType kTableTypes[] = {
    {"TABLE", RC_CAT_TYPE_TABLE},
    {"SYSTEM TABLE", RC_CAT_TYPE_SYSTEM_TABLE},
    {"VIEW", RC_CAT_TYPE_VIEW},
};

// The mask of a table-type list: items split at ",", blanks and tabs
// trimmed, one pair of enclosing single quotes removed, looked up without
// regard to case. 0 for no list; RC_CAT_MASK_NONE when no item is known.
uint32_t ParseTableTypes(const char *list)
{
    if (list == nullptr)
        return 0;
    uint32_t mask = 0;
    std::string text = list;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos)
            end = text.size();
        std::string item = text.substr(start, end - start);
        size_t a = item.find_first_not_of(" \t"), b = item.find_last_not_of(" \t");
        item = a == std::string::npos ? "" : item.substr(a, b - a + 1);
        if (item.size() >= 2 && item.front() == '\'' && item.back() == '\'')
            item = item.substr(1, item.size() - 2);
        for (const TableType &t : kTableTypes)
            if (!item.empty() && PlatAsciiCaseCompare(item.c_str(), t.name) == 0)
                mask |= t.bit;
        start = end + 1;
    }
    return mask != 0 ? mask : RC_CAT_MASK_NONE;
}

int16_t TableTypeList(rcStmt *e)
{
    if (rcCatBegin(e, RC_CAT_TABLE_TYPES) != 0)
        return -1;
    for (const TableType &t : kTableTypes) {
        rcCatValue row[5] = {{}, {}, {}, rcCatValue::Str(t.name), {}};
        if (rcCatPutRow(e, row) != 0)
            return -1;
    }
    return rcCatFinish(e);
}

// The bits of a type-catalog entry's attribute word.
rcCatValue Bit(uint32_t flags, uint32_t bit) { return rcCatValue::Num((flags & bit) ? 1 : 0); }

int16_t TypeRow(rcStmt *e, const rcTypeEntry &t)
{
    uint32_t f = t.flags;
    static constexpr int16_t kSearchable[4] = {SQL_UNSEARCHABLE, SQL_ALL_EXCEPT_LIKE, SQL_LIKE_ONLY,
                                               SQL_SEARCHABLE};
    rcCatValue row[15] = {
        rcCatValue::Str(t.typeName ? t.typeName : ""),
        rcCatValue::Num(t.sqlType),
        rcCatValue::Num(static_cast<int32_t>(t.precision)),
        rcCatValue::Str(t.literalPrefix),
        rcCatValue::Str(t.literalSuffix),
        rcCatValue::Str(t.createParams),
        rcCatValue::Num((f & RC_TYPE_NULLABILITY_KNOWN) == 0 ? SQL_NULLABLE_UNKNOWN
                                                             : (f & RC_TYPE_NULLABLE ? 1 : 0)),
        Bit(f, RC_TYPE_CASE_SENSITIVE),
        rcCatValue::Num(kSearchable[(f >> 3) & 3]),
        (f & 0x20)   ? rcCatValue::Num(1)
        : (f & 0x40) ? rcCatValue::Num(0)
                     : rcCatValue{},
        Bit(f, 0x80),
        (f & 0x100)   ? rcCatValue::Num(1)
        : (f & 0x200) ? rcCatValue::Num(0)
                      : rcCatValue{},
        rcCatValue::Str(t.localTypeName),
        t.minScale == kRcNoScale ? rcCatValue{} : rcCatValue::Num(t.minScale),
        t.maxScale == kRcNoScale ? rcCatValue{} : rcCatValue::Num(t.maxScale),
    };
    return rcCatPutRow(e, row);
}

// Entries that only SQLGetTypeInfo(-99) lists.
constexpr uint32_t kTypeHidden = 0x2000 | 0x4000;
constexpr SQLSMALLINT kAllTypesHidden = -99;

} // namespace

SQLRETURN SQLTablesImpl(rcStmtHandle *s, const SQLCHAR *qualifier, SQLSMALLINT cbQualifier,
                        const SQLCHAR *owner, SQLSMALLINT cbOwner, const SQLCHAR *table,
                        SQLSMALLINT cbTable, const SQLCHAR *types, SQLSMALLINT cbTypes)
{
    const NameArg args[] = {{qualifier, cbQualifier, SQL_MAX_QUALIFIER_NAME_LEN},
                            {owner, cbOwner, SQL_MAX_OWNER_NAME_LEN},
                            {table, cbTable, SQL_MAX_TABLE_NAME_LEN},
                            {types, cbTypes, 0}};
    rcConn *conn = s->conn;
    return Frame(s, "SQLTables", SQL_API_SQLTABLES, RC_CAT_TABLES, args, 4, "",
                 [&](const Copies &c) -> int16_t {
                     const char *q = c[0], *o = c[1], *t = c[2];
                     auto emptyOrNull = [](const char *x) { return x == nullptr || !*x; };
                     // The owner and qualifier lists: the data source has neither.
                     if ((IsEmpty(q) && IsEmpty(t) && IsPercent(owner, cbOwner)) ||
                         (IsEmpty(o) && IsEmpty(t) && IsPercent(qualifier, cbQualifier)))
                         return static_cast<int16_t>(
                             rcErrRaise(&s->errors, RC_MSG_DRIVER_NOT_CAPABLE));
                     if (emptyOrNull(q) && emptyOrNull(o) && emptyOrNull(t) && types &&
                         types[0] == '%' && (cbTypes == SQL_NTS || cbTypes == 1))
                         return TableTypeList(s->engine);
                     rcCatConnOf cc(conn, s->engine);
                     return rcCatTablesPrepare(s->engine, &cc, q, o, t, ParseTableTypes(c[3]));
                 });
}

SQLRETURN SQLColumnsImpl(rcStmtHandle *s, const SQLCHAR *qualifier, SQLSMALLINT cbQualifier,
                         const SQLCHAR *owner, SQLSMALLINT cbOwner, const SQLCHAR *table,
                         SQLSMALLINT cbTable, const SQLCHAR *column, SQLSMALLINT cbColumn)
{
    const NameArg args[] = {{qualifier, cbQualifier, SQL_MAX_QUALIFIER_NAME_LEN},
                            {owner, cbOwner, SQL_MAX_OWNER_NAME_LEN},
                            {table, cbTable, SQL_MAX_TABLE_NAME_LEN},
                            {column, cbColumn, SQL_MAX_COLUMN_NAME_LEN}};
    return Frame(s, "SQLColumns", SQL_API_SQLCOLUMNS, RC_CAT_COLUMNS, args, 4, "",
                 [&](const Copies &c) {
                     rcCatConnOf cc(s->conn, s->engine);
                     return rcCatColumnsPrepare(s->engine, &cc, c[0], c[1], c[2], c[3]);
                 });
}

SQLRETURN SQLStatisticsImpl(rcStmtHandle *s, const SQLCHAR *qualifier, SQLSMALLINT cbQualifier,
                            const SQLCHAR *owner, SQLSMALLINT cbOwner, const SQLCHAR *table,
                            SQLSMALLINT cbTable, SQLUSMALLINT unique, SQLUSMALLINT accuracy)
{
    const NameArg args[] = {{qualifier, cbQualifier, SQL_MAX_QUALIFIER_NAME_LEN},
                            {owner, cbOwner, SQL_MAX_OWNER_NAME_LEN},
                            {table, cbTable, SQL_MAX_TABLE_NAME_LEN}};
    char numbers[32];
    std::snprintf(numbers, sizeof numbers, ", %u, %u", unique, accuracy);
    return Frame(s, "SQLStatistics", SQL_API_SQLSTATISTICS, RC_CAT_STATISTICS, args, 3, numbers,
                 [&](const Copies &c) {
                     rcCatConnOf cc(s->conn, s->engine);
                     return rcCatStatisticsPrepare(s->engine, &cc, c[0], c[1], c[2], unique);
                 });
}

SQLRETURN SQLPrimaryKeysImpl(rcStmtHandle *s, const SQLCHAR *qualifier, SQLSMALLINT cbQualifier,
                             const SQLCHAR *owner, SQLSMALLINT cbOwner, const SQLCHAR *table,
                             SQLSMALLINT cbTable)
{
    const NameArg args[] = {{qualifier, cbQualifier, SQL_MAX_QUALIFIER_NAME_LEN},
                            {owner, cbOwner, SQL_MAX_OWNER_NAME_LEN},
                            {table, cbTable, SQL_MAX_TABLE_NAME_LEN}};
    return Frame(s, "SQLPrimaryKeys", SQL_API_SQLPRIMARYKEYS, RC_CAT_PRIMARY_KEYS, args, 3, "",
                 [&](const Copies &c) {
                     rcCatConnOf cc(s->conn, s->engine);
                     return rcCatPrimaryKeysPrepare(s->engine, &cc, c[0], c[1], c[2]);
                 });
}

SQLRETURN SQLSpecialColumnsImpl(rcStmtHandle *s, SQLUSMALLINT colType, const SQLCHAR *qualifier,
                                SQLSMALLINT cbQualifier, const SQLCHAR *owner, SQLSMALLINT cbOwner,
                                const SQLCHAR *table, SQLSMALLINT cbTable, SQLUSMALLINT scope,
                                SQLUSMALLINT nullable)
{
    const NameArg args[] = {{qualifier, cbQualifier, SQL_MAX_QUALIFIER_NAME_LEN},
                            {owner, cbOwner, SQL_MAX_OWNER_NAME_LEN},
                            {table, cbTable, SQL_MAX_TABLE_NAME_LEN}};
    char numbers[32];
    std::snprintf(numbers, sizeof numbers, ", %u, %u, %u", colType, scope, nullable);
    return Frame(s, "SQLSpecialColumns", SQL_API_SQLSPECIALCOLUMNS, RC_CAT_SPECIAL_COLUMNS, args, 3,
                 numbers, [&](const Copies &c) -> int16_t {
                     rcCatConnOf cc(s->conn, s->engine);
                     // Only the best row identifier valid for the current row
                     // exists; other requests get the empty set.
                     bool rows = colType == SQL_BEST_ROWID && scope == SQL_SCOPE_CURROW;
                     return rcCatBestRowId(s->engine, &cc, c[0], c[1], rows ? c[2] : nullptr,
                                           nullable != SQL_NO_NULLS);
                 });
}

SQLRETURN SQLForeignKeysImpl(rcStmtHandle *s, const SQLCHAR *pkQualifier, SQLSMALLINT cbPkQualifier,
                             const SQLCHAR *pkOwner, SQLSMALLINT cbPkOwner, const SQLCHAR *pkTable,
                             SQLSMALLINT cbPkTable, const SQLCHAR *fkQualifier,
                             SQLSMALLINT cbFkQualifier, const SQLCHAR *fkOwner,
                             SQLSMALLINT cbFkOwner, const SQLCHAR *fkTable, SQLSMALLINT cbFkTable)
{
    const NameArg args[] = {{pkQualifier, cbPkQualifier, SQL_MAX_QUALIFIER_NAME_LEN},
                            {pkOwner, cbPkOwner, SQL_MAX_OWNER_NAME_LEN},
                            {pkTable, cbPkTable, SQL_MAX_TABLE_NAME_LEN},
                            {fkQualifier, cbFkQualifier, SQL_MAX_QUALIFIER_NAME_LEN},
                            {fkOwner, cbFkOwner, SQL_MAX_OWNER_NAME_LEN},
                            {fkTable, cbFkTable, SQL_MAX_TABLE_NAME_LEN}};
    return Frame(s, "SQLForeignKeys", SQL_API_SQLFOREIGNKEYS, RC_CAT_FOREIGN_KEYS, args, 6, "",
                 [&](const Copies &c) {
                     rcCatConnOf cc(s->conn, s->engine);
                     return rcCatForeignKeysPrepare(s->engine, &cc, c[0], c[1], c[2], c[3], c[4],
                                                    c[5]);
                 });
}

SQLRETURN SQLTablePrivilegesImpl(rcStmtHandle *s, const SQLCHAR *qualifier, SQLSMALLINT cbQualifier,
                                 const SQLCHAR *owner, SQLSMALLINT cbOwner, const SQLCHAR *table,
                                 SQLSMALLINT cbTable)
{
    const NameArg args[] = {{qualifier, cbQualifier, SQL_MAX_QUALIFIER_NAME_LEN},
                            {owner, cbOwner, SQL_MAX_OWNER_NAME_LEN},
                            {table, cbTable, SQL_MAX_TABLE_NAME_LEN}};
    return Frame(s, "SQLTablePrivileges", SQL_API_SQLTABLEPRIVILEGES, RC_CAT_TABLE_PRIVILEGES, args,
                 3, "", [&](const Copies &c) {
                     rcCatConnOf cc(s->conn, s->engine);
                     return rcCatTablePrivilegesPrepare(s->engine, &cc, c[0], c[1], c[2]);
                 });
}

SQLRETURN SQLColumnPrivilegesImpl(rcStmtHandle *s, const SQLCHAR *qualifier,
                                  SQLSMALLINT cbQualifier, const SQLCHAR *owner,
                                  SQLSMALLINT cbOwner, const SQLCHAR *table, SQLSMALLINT cbTable,
                                  const SQLCHAR *column, SQLSMALLINT cbColumn)
{
    const NameArg args[] = {{qualifier, cbQualifier, SQL_MAX_QUALIFIER_NAME_LEN},
                            {owner, cbOwner, SQL_MAX_OWNER_NAME_LEN},
                            {table, cbTable, SQL_MAX_TABLE_NAME_LEN},
                            {column, cbColumn, SQL_MAX_COLUMN_NAME_LEN}};
    return Frame(s, "SQLColumnPrivileges", SQL_API_SQLCOLUMNPRIVILEGES, RC_CAT_COLUMN_PRIVILEGES,
                 args, 4, "", [&](const Copies &c) {
                     rcCatConnOf cc(s->conn, s->engine);
                     return rcCatColumnPrivilegesPrepare(s->engine, &cc, c[0], c[1], c[2], c[3]);
                 });
}

SQLRETURN SQLProceduresImpl(rcStmtHandle *s, const SQLCHAR *qualifier, SQLSMALLINT cbQualifier,
                            const SQLCHAR *owner, SQLSMALLINT cbOwner, const SQLCHAR *procedure,
                            SQLSMALLINT cbProcedure)
{
    const NameArg args[] = {{qualifier, cbQualifier, SQL_MAX_QUALIFIER_NAME_LEN},
                            {owner, cbOwner, SQL_MAX_OWNER_NAME_LEN},
                            {procedure, cbProcedure, SQL_MAX_PROCEDURE_NAME_LEN}};
    return Frame(s, "SQLProcedures", SQL_API_SQLPROCEDURES, RC_CAT_PROCEDURES, args, 3, "",
                 [&](const Copies &c) {
                     rcCatConnOf cc(s->conn, s->engine);
                     return rcCatProceduresPrepare(s->engine, &cc, c[0], c[1], c[2]);
                 });
}

SQLRETURN SQLProcedureColumnsImpl(rcStmtHandle *s, const SQLCHAR *qualifier,
                                  SQLSMALLINT cbQualifier, const SQLCHAR *owner,
                                  SQLSMALLINT cbOwner, const SQLCHAR *procedure,
                                  SQLSMALLINT cbProcedure, const SQLCHAR *column,
                                  SQLSMALLINT cbColumn)
{
    const NameArg args[] = {{qualifier, cbQualifier, SQL_MAX_QUALIFIER_NAME_LEN},
                            {owner, cbOwner, SQL_MAX_OWNER_NAME_LEN},
                            {procedure, cbProcedure, SQL_MAX_PROCEDURE_NAME_LEN},
                            {column, cbColumn, SQL_MAX_COLUMN_NAME_LEN}};
    return Frame(s, "SQLProcedureColumns", SQL_API_SQLPROCEDURECOLUMNS, RC_CAT_PROC_COLUMNS, args,
                 4, "", [&](const Copies &c) {
                     rcCatConnOf cc(s->conn, s->engine);
                     return rcCatProcColumnsPrepare(s->engine, &cc, c[0], c[1], c[2], c[3]);
                 });
}

SQLRETURN SQLGetTypeInfoImpl(rcStmtHandle *s, SQLSMALLINT sqlType)
{
    char numbers[16];
    std::snprintf(numbers, sizeof numbers, ", %d", sqlType);
    rcConn *conn = s->conn;
    return Frame(s, "SQLGetTypeInfo", SQL_API_SQLGETTYPEINFO, RC_CAT_TYPE_INFO, nullptr, 0, numbers,
                 [&](const Copies &) -> int16_t {
                     rcStmt *e = s->engine;
                     if (rcCatBegin(e, RC_CAT_TYPE_INFO) != 0)
                         return -1;
                     for (uint16_t i = 0; i < conn->typeEntryCount; ++i) {
                         const rcTypeEntry &t = conn->typeEntries[i];
                         bool hidden = (t.flags & kTypeHidden) != 0;
                         bool wanted =
                             sqlType == kAllTypesHidden ||
                             (!hidden && (sqlType == SQL_ALL_TYPES || t.sqlType == sqlType));
                         if (wanted && TypeRow(e, t) != 0)
                             return -1;
                     }
                     return rcCatFinish(e);
                 });
}
