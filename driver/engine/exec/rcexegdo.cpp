// Direct column retrieval (see rcexegdo.h).
#include "driver/engine/exec/rcexegdo.h"

#include <cstring>
#include <new>
#include <vector>

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/plan/rcplntree.h"
#include "driver/engine/tam.h"

struct rcGdoEntry {
    bool decided = false;
    bool direct = false;
    int16_t cType = 0;
    int64_t bufferLength = -1;
    TamTableHandle *handle = nullptr;
    uint32_t column = 0;
    int16_t sqlType = 0;
    uint32_t length = 0; // the column's length
    bool numberText = false; // a number wanted as text (rcExpNumberAsText)
};

struct rcGdoState {
    bool planChecked = false;
    bool plainPlan = false;
    std::vector<rcGdoEntry> entries;
};

namespace {

// The cursor's current row is the result row: no temporary table, set
// function, DISTINCT, outer join (whose NULL rows the cursor does not
// show) or hash join (whose inner rows come from its table).
bool PlainPlan(rcPlnStmt *stmt)
{
    const QueryPlan *plan = stmt->plan;
    if (plan == nullptr || plan->root == nullptr || !stmt->temps.empty() ||
        plan->aggregate != nullptr || plan->groupBy != nullptr || plan->distinct != nullptr ||
        !stmt->setFunctions.empty())
        return false;
    bool plain = true;
    rcPlnVisit(&plain, plan->root, [](void *ctx, uint8_t kind, PlanNode *n) {
        if (kind == PLN_JOIN && (n->subtype == PLN_JOIN_OUTER ||
                                 n->subtype == PLN_JOIN_OUTER_INDEX || n->hashJoin != nullptr))
            *static_cast<bool *>(ctx) = false;
        return 1;
    });
    return plain;
}

bool SameType(int16_t cType, int16_t sqlType)
{
    switch (cType) {
    case SQL_C_CHAR: return sqlType == SQL_CHAR || sqlType == SQL_VARCHAR;
    case SQL_C_LONG: return sqlType == SQL_INTEGER;
    case SQL_C_SHORT: return sqlType == SQL_SMALLINT;
    case SQL_C_FLOAT: return sqlType == SQL_REAL;
    case SQL_C_DOUBLE: return sqlType == SQL_DOUBLE;
    default: return false;
    }
}

void Decide(rcPlnStmt *stmt, rcGdoEntry *e, uint16_t k, int16_t cType, int64_t bufferLength)
{
    e->decided = true;
    e->direct = false;
    e->cType = cType;
    e->bufferLength = bufferLength;
    if (k >= stmt->items.size())
        return;
    const rcParseNode *n = stmt->items[k];
    while (n != nullptr && n->child != nullptr && n->child->next == nullptr &&
           (n->id == RC_N_Expression || n->id == RC_N_Primary))
        n = n->child;
    if (n == nullptr || n->id != RC_N_ColName || n->sem == nullptr)
        return;
    const auto *tc = static_cast<const rcTblColumn *>(n->sem);
    const rcPlnColumn *col = nullptr;
    for (const rcPlnColumn *c : stmt->columns)
        if (c->column == tc)
            col = c;
    if (col == nullptr || col->base.handle == nullptr)
        return;
    e->numberText = cType == SQL_C_CHAR && rcExpIsTextNumber(tc->type.sqlType) &&
                    bufferLength >= RC_EXP_NUMBER_TEXT_MAX;
    if (!e->numberText && !SameType(cType, tc->type.sqlType))
        return;
    int64_t needed = static_cast<int64_t>(tc->type.length) + (cType == SQL_C_CHAR ? 1 : 0);
    if (cType != SQL_C_CHAR || e->numberText) // fixed-length values: the buffer holds them
        needed = 0;
    if (bufferLength < needed)
        return;
    e->handle = col->base.handle;
    e->column = tc->number;
    e->sqlType = tc->type.sqlType;
    e->length = tc->type.length;
    e->direct = true;
}

uint32_t FixedSize(int16_t cType)
{
    switch (cType) {
    case SQL_C_LONG: return sizeof(SQLINTEGER);
    case SQL_C_SHORT: return sizeof(SQLSMALLINT);
    case SQL_C_FLOAT: return sizeof(SQLREAL);
    default: return sizeof(SQLDOUBLE);
    }
}

// A number column bound as text: its value read from the cursor and written
// as the text the select list's conversion makes.
int16_t ReadNumberText(rcPlnStmt *stmt, const rcGdoEntry &e, char *buffer, int64_t bufferLength,
                       SQLLEN *length)
{
    rcExpValue v;
    std::memset(&v.v, 0, sizeof v.v);
    uint32_t got = 0;
    int32_t rc = TamGetColumn(stmt->session, e.handle, e.column, &v.v, sizeof v.v, &got, nullptr,
                              e.sqlType);
    if (rc == kDrmWarnNull) {
        if (length != nullptr)
            *length = SQL_NULL_DATA;
        buffer[0] = '\0';
        return 0;
    }
    if (rc != 0 && rc != kDrmWarnTruncated) {
        rcErrPost(stmt->errors, rcErrMapDrm(rc), nullptr, rc, nullptr);
        rcErrRaise(stmt->errors, RC_ENG_EXPRESSION_EVALUATION_ERROR);
        return PLN_ERROR;
    }
    int32_t out = 0;
    int32_t room = bufferLength > INT32_MAX ? INT32_MAX : static_cast<int32_t>(bufferLength);
    if (!rcExpNumberAsText(&stmt->env, e.sqlType, &v.v, buffer, room, &out))
        return RC_GDO_NOT_DIRECT; // converted as usual (the value is read again)
    if (length != nullptr)
        *length = static_cast<SQLLEN>(out);
    return 0;
}

} // namespace

int16_t rcGdoReadBound(rcPlnStmt *stmt, uint16_t column, int16_t cType, void *buffer,
                       int64_t bufferLength, SQLLEN *length, uint32_t maxLength)
{
    if ((stmt->engineOptions & RC_GDO_OPT_NOGETDATAOPT) != 0)
        return RC_GDO_NOT_DIRECT;
    if (stmt->gdo == nullptr) {
        stmt->gdo = new (std::nothrow) rcGdoState;
        if (stmt->gdo == nullptr)
            return RC_GDO_NOT_DIRECT;
    }
    rcGdoState *g = stmt->gdo;
    if (!g->planChecked) {
        g->planChecked = true;
        g->plainPlan = PlainPlan(stmt);
    }
    if (!g->plainPlan)
        return RC_GDO_NOT_DIRECT;
    if (column >= g->entries.size())
        g->entries.resize(column + 1u);
    rcGdoEntry &e = g->entries[column];
    if (!e.decided || e.cType != cType || e.bufferLength != bufferLength)
        Decide(stmt, &e, column, cType, bufferLength);
    if (!e.direct || (maxLength != 0 && maxLength < e.length))
        return RC_GDO_NOT_DIRECT;

    if (e.numberText)
        return ReadNumberText(stmt, e, static_cast<char *>(buffer), bufferLength, length);
    const bool text = cType == SQL_C_CHAR;
    // A character value leaves the last byte for its terminator.
    uint32_t room =
        text ? static_cast<uint32_t>(bufferLength > UINT32_MAX ? UINT32_MAX : bufferLength - 1)
             : FixedSize(cType);
    uint32_t got = 0;
    int32_t rc =
        TamGetColumn(stmt->session, e.handle, e.column, buffer, room, &got, nullptr, e.sqlType);
    if (rc == kDrmWarnNull) {
        if (length != nullptr)
            *length = SQL_NULL_DATA;
        if (text)
            static_cast<char *>(buffer)[0] = '\0';
        return 0;
    }
    if (rc == kDrmErrBufferTooSmall)
        return RC_GDO_NOT_DIRECT; // longer than the column says: converted as usual
    if (rc < 0) {
        rcErrPost(stmt->errors, rcErrMapDrm(rc), nullptr, rc, nullptr);
        return PLN_ERROR;
    }
    bool cut = rc == kDrmWarnTruncated;
    if (text) {
        uint32_t end = got < room ? got : room;
        cut = cut || got > room;
        static_cast<char *>(buffer)[end] = '\0';
    }
    if (length != nullptr)
        *length = static_cast<SQLLEN>(got);
    if (cut) {
        rcErrPostTruncatedColumn(stmt->errors, column + 1u);
        return 1;
    }
    return 0;
}

void rcGdoFree(rcPlnStmt *stmt)
{
    delete stmt->gdo;
    stmt->gdo = nullptr;
}
