// Statement preparation in the front end (see fe_prepared.h).
#include "driver/frontend/fe_prepared.h"

#include <cstring>

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/frontend/fe_check.h"
#include "driver/frontend/fe_proc.h"
#include "driver/frontend/fe_selectlist.h"
#include "driver/frontend/fe_tablelist.h"
#include "driver/frontend/fe_view.h"
#include "driver/frontend/rcprsunparse.h"

namespace {

enum : uint16_t {
    kKindNone = 0,
    kKindOther = 1,
    kKindInsert = 2,
    kKindUpdate = 3,
    kKindDelete = 5,
    kKindCreateIndex = 8,
    kKindCreateTable = 9,
    kKindDropIndex = 10,
    kKindDropTable = 11,
    kKindCreateView = 12,
    kKindDropView = 13,
    kKindQuery = 100,
    kKindProcedure = 102,
    kKindUse = 4096,
};

bool HasNode(const rcParseNode *n, uint16_t id)
{
    for (; n != nullptr; n = n->next)
        if (n->id == id || HasNode(n->child, id))
            return true;
    return false;
}

bool Blank(const char *text)
{
    for (; *text != '\0'; ++text)
        if (*text != ' ' && *text != '\t' && *text != '\r' && *text != '\n')
            return false;
    return true;
}

int CheckReadOnly(rcPrepared *prep, rcErrorQueue *errors);

// HAVING tests the groups of a GROUP BY, so a select block (subqueries
// included) with HAVING and no GROUP BY is refused. Checked once the
// statement has passed its other checks, where planning would begin.
bool HavingWithoutGroupBy(const rcParseNode *n)
{
    for (; n != nullptr; n = n->next) {
        if (n->id == RC_N_SubSelectStmt || n->id == RC_N_QuerySpec) {
            bool having = false, group = false;
            for (const rcParseNode *c = n->child; c != nullptr; c = c->next) {
                having = having || c->id == RC_N_Having_Opt;
                group = group || c->id == RC_N_GroupBy_Opt;
            }
            if (having && !group)
                return true;
        }
        if (HavingWithoutGroupBy(n->child))
            return true;
    }
    return false;
}

int CheckHaving(const rcPrepared *prep, rcErrorQueue *errors)
{
    if (!HavingWithoutGroupBy(prep->root))
        return 0;
    return rcFePostText(errors, RC_MSG_SYNTAX_ERROR, RC_PARSE_HAVING_MUST_ACCOMPANIED_BY_GROUP,
                        nullptr);
}

// The kind against the data source's SQL command mask. A read-only
// connection refuses every change first, whatever the data source offers.
int CheckCommand(rcPrepared *prep, rcErrorQueue *errors)
{
    switch (prep->kind) {
    case kKindInsert:
    case kKindUpdate:
    case kKindDelete:
    case kKindCreateIndex:
    case kKindCreateTable:
    case kKindDropIndex:
    case kKindDropTable:
        if (CheckReadOnly(prep, errors) != 0)
            return -1;
        break;
    default: break;
    }
    uint32_t mask = prep->source->CommandMask();
    switch (prep->kind) {
    case kKindInsert:
        return (mask & RC_CMD_INSERT) == 0
                   ? rcErrRaise(errors, RC_ENG_UNSUPPORTED_SQL_COMMAND_STATEMENT)
                   : 0;
    case kKindUpdate:
    case kKindDelete:
        if (HasNode(prep->root, RC_N_SubQuery))
            return rcErrRaise(errors, RC_ENG_UNSUPPORTED_SQL_COMMAND_STATEMENT);
        if (prep->kind == kKindUpdate && (mask & RC_CMD_UPDATE) == 0)
            return rcErrRaise(errors, RC_ENG_UPDATE_STATEMENT_NOT_SUPPORTED);
        if (prep->kind == kKindDelete && (mask & RC_CMD_DELETE) == 0)
            return rcErrRaise(errors, RC_ENG_DELETE_STATEMENT_NOT_SUPPORTED);
        return 0;
    case kKindCreateIndex:
        return (mask & RC_CMD_CREATE_INDEX) == 0
                   ? rcErrRaise(errors, RC_ENG_CREATE_INDEX_STATEMENT_NOT_SUPPORTED)
                   : 0;
    case kKindCreateTable:
        return (mask & RC_CMD_CREATE_TABLE) == 0
                   ? rcErrRaise(errors, RC_ENG_UNSUPPORTED_SQL_COMMAND_STATEMENT)
                   : 0;
    case kKindDropIndex:
        return (mask & RC_CMD_DROP_INDEX) == 0
                   ? rcErrRaise(errors, RC_ENG_DROP_INDEX_STATEMENT_NOT_SUPPORTED)
                   : 0;
    case kKindDropTable:
        return (mask & RC_CMD_DROP_TABLE) == 0
                   ? rcErrRaise(errors, RC_ENG_UNSUPPORTED_SQL_COMMAND_STATEMENT)
                   : 0;
    default: return 0;
    }
}

int CheckReadOnly(rcPrepared *prep, rcErrorQueue *errors)
{
    return prep->source->ReadOnly() ? rcErrRaise(errors, RC_MSG_ACCESS_VIOLATION) : 0;
}

// CREATE VIEW: the view's query is prepared like any query (views in it
// merged) to learn its result columns; the tables it opened are closed again.
int PrepareCreateView(rcPrepared *prep, rcErrorQueue *errors)
{
    if (CheckReadOnly(prep, errors) != 0)
        return -1;
    if (prep->stmt == nullptr)
        return rcErrRaise(errors, RC_MSG_DRIVER_NOT_CAPABLE);
    std::string text = rcVwQueryText(prep->root);
    if (text.empty())
        return rcErrRaise(errors, RC_MSG_SYNTAX_ERROR);
    rcPrepared query;
    query.stmt = prep->stmt;
    // The regenerated text has its escapes written out.
    int16_t r = rcDrsPrepare(&query, prep->source, errors, text.c_str(), true);
    if (r < 0)
        return -1;
    if (query.kind != kKindQuery)
        return rcErrRaise(errors, RC_MSG_SYNTAX_ERROR);
    prep->viewColumns = std::move(query.columns);
    return 0;
}

int Run(rcPrepared *prep, rcErrorQueue *errors)
{
    switch (prep->kind) {
    case kKindInsert:
    case kKindUpdate:
    case kKindDelete:
        if (CheckReadOnly(prep, errors) != 0 || rcSemCheckStatement(prep, errors) != 0)
            return -1;
        return CheckHaving(prep, errors);
    case kKindQuery:
        if (rcSemCheckStatement(prep, errors) != 0 || rcSelBuildColumns(prep, errors) != 0 ||
            rcSelCheckUnion(prep, errors) != 0)
            return -1;
        return CheckHaving(prep, errors);
    case kKindUse: {
        // #1410(USE name): the qualifier is the last leaf.
        const rcParseNode *last = prep->root->child;
        while (last != nullptr && last->next != nullptr)
            last = last->next;
        return prep->source->UseQualifier(errors, last != nullptr ? last->text : "");
    }
    case kKindCreateIndex:
    case kKindCreateTable:
    case kKindDropIndex:
    case kKindDropTable:
        // Reached only when the command mask allows them, which no data
        // source of this driver does.
        return rcErrRaise(errors, RC_MSG_DRIVER_NOT_CAPABLE);
    case kKindCreateView: return PrepareCreateView(prep, errors);
    case kKindDropView:
        if (CheckReadOnly(prep, errors) != 0)
            return -1;
        return prep->stmt == nullptr ? rcErrRaise(errors, RC_MSG_DRIVER_NOT_CAPABLE) : 0;
    case kKindProcedure: return rcFePrepareCall(prep, errors);
    case kKindOther:
        if (rcSemCheckStatement(prep, errors) != 0)
            return -1;
        return rcErrRaise(errors, RC_ENG_UNSUPPORTED_SQL_COMMAND_STATEMENT);
    default: return rcErrRaise(errors, RC_MSG_SYNTAX_ERROR);
    }
}

} // namespace

rcPrepared::~rcPrepared() { rcFeReset(this); }

uint16_t rcFeKindOfRoot(const rcParseNode *root)
{
    if (root == nullptr)
        return kKindNone;
    switch (root->id) {
    case RC_N_InsertStmt: return kKindInsert;
    case RC_N_UpdateStmt: return kKindUpdate;
    case RC_N_DeleteStmt: return kKindDelete;
    case RC_N_CreateIndexStmt: return kKindCreateIndex;
    case RC_N_CreateTableStmt: return kKindCreateTable;
    case RC_N_DropIndexStmt: return kKindDropIndex;
    case RC_N_DropTableStmt: return kKindDropTable;
    case RC_N_CreateViewStmt: return kKindCreateView;
    case RC_N_DropViewStmt: return kKindDropView;
    case RC_N_SubSelectStmt:
    case RC_N_FullSelectStmt: return kKindQuery;
    case RC_N_Procedure: return kKindProcedure;
    case RC_N_UseStmt: return kKindUse;
    default: return kKindOther;
    }
}

void rcFeReset(rcPrepared *prep)
{
    rcTblCloseAll(prep);
    prep->columns.clear();
    prep->viewColumns.clear();
    prep->params.clear();
    prep->types.clear();
    prep->exprNames = 0;
    prep->kind = kKindNone;
    prep->selectRoot = 0;
    prep->root = nullptr;
    if (prep->arena != nullptr)
        rcPrsFreeArena(prep->arena);
    prep->arena = nullptr;
}

int16_t rcDrsPrepare(rcPrepared *prep, rcFeSource *source, rcErrorQueue *errors, const char *text,
                     bool escapes)
{
    rcFeReset(prep);
    prep->source = source;
    if (text == nullptr || Blank(text))
        return static_cast<int16_t>(rcErrRaise(errors, RC_MSG_SYNTAX_ERROR));
    prep->arena = rcPrsNewArena();
    if (prep->arena == nullptr)
        return static_cast<int16_t>(rcErrRaise(errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    rcSemInstallPasses();
    if (rcPrsParseLocked(prep->arena, text, &prep->root, escapes) != RC_PRS_OK) {
        rcPrsPostLastError(errors);
        rcFeReset(prep);
        return -1;
    }
    // An unknown table name may be a stored view: merged before the checks.
    if (prep->stmt != nullptr && rcVwExpand(prep->stmt, prep->arena, prep->root) != 0) {
        rcFeReset(prep);
        return -1;
    }
    prep->kind = rcFeKindOfRoot(prep->root);
    prep->selectRoot = prep->kind == kKindQuery ? 1 : 0;
    if (CheckCommand(prep, errors) != 0 || Run(prep, errors) != 0) {
        rcFeReset(prep);
        return -1;
    }
    return rcErrQueueAny(errors) ? 1 : 0;
}

int rcFeExecuteView(rcPrepared *prep)
{
    if (prep->stmt == nullptr)
        return -1;
    if (prep->kind == kKindDropView)
        return rcVwDrop(prep->stmt, prep->root);
    if (prep->kind != kKindCreateView)
        return rcErrRaise(prep->stmt->errors, RC_MSG_FUNCTION_SEQUENCE_ERROR);
    std::vector<rcVwColumnDesc> columns(prep->viewColumns.size());
    for (size_t i = 0; i < columns.size(); ++i) {
        const rcResultColumn &c = prep->viewColumns[i];
        columns[i].name = c.name.c_str();
        columns[i].sqlType = c.sqlType;
        columns[i].length = c.length;
        columns[i].precision = c.precision;
        columns[i].scale = c.scale;
        columns[i].flags = c.nullable != SQL_NO_NULLS ? 0x1 : 0;
    }
    return rcVwCreate(prep->stmt, prep->root, columns.data(), columns.size());
}

int rcDrsNativeSql(const char *text, std::string *out, rcErrorQueue *errors)
{
    rcMemPool arena = rcPrsNewArena();
    if (arena == nullptr)
        return rcErrRaise(errors, RC_MSG_MEMORY_ALLOCATION_ERROR);
    rcParseNode *root = nullptr;
    rcSemInstallPasses();
    int r = rcPrsParseLocked(arena, text, &root, true);
    if (r != RC_PRS_OK) {
        rcPrsPostLastError(errors);
        rcPrsFreeArena(arena);
        return -1;
    }
    *out = rcPrsUnparse(root);
    rcPrsFreeArena(arena);
    return 0;
}
