// PLN_UNION: the inputs of a UNION read one after the other (see
// rcplnunion.h for the plan).
//
// The node's open points its child at the first input, which the plan's
// open then opens; each further input is opened when the one before it has
// no more rows, so the temporary tables of an input are filled only when it
// is read. For every row the node passes up, the input's value slots are
// evaluated into the node's buffers: the columns above read them there.
#include "driver/engine/exec/rcexe.h"

#include <cstring>

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/plan/rcplnhooks.h"
#include "driver/engine/plan/rcplnunion.h"

namespace {

bool IsRow(int16_t rc) { return rc == PLN_ROW || rc == PLN_ROW_WARNING; }
bool IsEnd(int16_t rc) { return rc == PLN_END || rc == PLN_RANGE_END || rc == PLN_GROUP_END; }

// Makes input i the node's child and opens it.
int16_t StartInput(rcPlnStmt *stmt, PlanNode *node, uint16_t i, bool reopen)
{
    rcPlnUnion *u = node->unionState;
    rcPlnUnionInput &in = u->inputs[i];
    if (reopen)
        for (uint16_t b = in.firstBlock; b < in.endBlock; ++b)
            rcPlnResetRedirects(stmt, b);
    u->current = i;
    node->first = in.root;
    node->firstNext = rcExeNextOf(in.root);
    node->firstFlag = 0;
    return rcExeOpenPlan(stmt, in.root);
}

// The current input's row into the node's value buffers.
int16_t SaveRow(rcPlnStmt *stmt, PlanNode *node)
{
    rcPlnUnion *u = node->unionState;
    const rcPlnUnionInput &in = u->inputs[u->current];
    for (uint16_t k = 0; k < u->columnCount; ++k) {
        rcPlnUnionValue &v = u->values[k];
        int32_t length = 0;
        bool isNull = false;
        int16_t rc = rcExpEvaluate(&stmt->env, in.slots[k], u->columns[k]->ref.sqlType, v.buffer,
                                   static_cast<int32_t>(v.size), &length, 0, &isNull);
        if (rc < 0)
            return PLN_ERROR;
        if (rc == 1)
            stmt->rowWarning = true;
        v.isNull = isNull;
        v.length = length < 0 ? 0 : static_cast<uint32_t>(length);
        if (v.length >= v.size)
            v.length = v.size - 1;
        // A sort above keeps PLN_KEY_MAX_VALUE bytes of a text (in pieces)
        // and RC_TMP_MAX_VALUE of other values: say so once. An ordering
        // keeps long values whole (as long as this buffer holds them).
        int16_t type = u->columns[k]->ref.sqlType;
        bool text = type == SQL_CHAR || type == SQL_VARCHAR || type == SQL_LONGVARCHAR;
        uint32_t kept = text ? PLN_KEY_MAX_VALUE : RC_TMP_MAX_VALUE - 1;
        if ((type == SQL_LONGVARCHAR || type == SQL_LONGVARBINARY) &&
            rcPlnKeepsLongValues(node->parent))
            kept = v.size;
        if (!isNull && v.length > kept && !u->cutWarned && node->parent != nullptr &&
            node->parent->kind == PLN_TEMPTABLE) {
            u->cutWarned = true;
            rcErrRaise(stmt->errors, RC_MSG_DATA_TRUNCATED);
        }
    }
    return 0;
}

} // namespace

void rcExeOpenUnion(rcPlnStmt *, PlanNode *node)
{
    rcPlnUnion *u = node->unionState;
    u->current = 0;
    u->cutWarned = false;
    node->first = u->inputs[0].root;
}

int16_t rcExeNextUnion(rcPlnStmt *stmt, PlanNode *node, int flag)
{
    rcPlnUnion *u = node->unionState;
    if (flag == 0) {
        if (u->current != 0 && StartInput(stmt, node, 0, true) != 0)
            return PLN_ERROR;
        node->firstFlag = 0;
    }
    for (;;) {
        int16_t rc = node->firstNext(stmt, node->first, node->firstFlag);
        if (IsRow(rc)) {
            node->firstFlag = 1;
            if (SaveRow(stmt, node) != 0)
                return PLN_ERROR;
            return rc;
        }
        if (!IsEnd(rc))
            return rc;
        if (u->current + 1 >= u->inputCount)
            return PLN_END;
        if (StartInput(stmt, node, static_cast<uint16_t>(u->current + 1), false) != 0)
            return PLN_ERROR;
    }
}

int32_t rcUnColumnReader(void *source, uint32_t column, void *buffer, uint32_t length,
                         uint32_t *outLength, DRM_RETINFO *partial, int16_t)
{
    auto *c = static_cast<rcPlnColumn *>(source);
    if (c->redirect != nullptr) // a temporary table above holds the rows
        return rcPlnReadRedirected(c, buffer, length, outLength, partial);
    const rcPlnUnionValue &v = c->tableNode->unionState->values[column];
    if (v.isNull)
        return RC_EVL_COL_NULL;
    uint32_t offset = partial != nullptr ? partial->delivered : 0;
    uint32_t rest = offset < v.length ? v.length - offset : 0;
    bool var = c->ref.sqlType == SQL_CHAR || c->ref.sqlType == SQL_VARCHAR ||
               c->ref.sqlType == SQL_LONGVARCHAR || c->ref.sqlType == SQL_BINARY ||
               c->ref.sqlType == SQL_VARBINARY || c->ref.sqlType == SQL_LONGVARBINARY;
    if (!var) {
        std::memcpy(buffer, v.buffer, length < v.size ? length : v.size);
        *outLength = v.length;
        return 0;
    }
    uint32_t n = rest < length ? rest : length;
    std::memcpy(buffer, v.buffer + offset, n);
    *outLength = rest;
    return n < rest ? RC_EVL_COL_TRUNCATED : 0;
}
