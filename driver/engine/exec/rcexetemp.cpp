// Temporary-table nodes and the nodes that read sorted temporary tables:
// duplicate removal and grouping (see rcexe.h).
//
// Opening a temporary-table node creates the table from the node's column
// list, fills it from the child (one row per child row: the sort keys, every
// base column the query reads, the set functions below), sorts it, and then
// points the query's columns and those set functions at the table, so that
// everything evaluated above reads the table's current row. The value
// buffers of the columns were sized at planning time: no allocation per row.
// An ordering writes the long values it carries into the table's sort file
// (rcsrtfile.h) and keeps their offsets in the rows; the columns then read
// them there.
#include "driver/engine/exec/rcexe.h"
#include "driver/engine/exec/rcexegroup.h"

#include <cstring>

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcstrings.h"
#include "driver/core/rctrace.h"
#include "driver/engine/plan/rcplnhooks.h"
#include "driver/engine/rcsem.h"
#include "driver/engine/tam.h"
#include "driver/engine/temp/rcsrtfile.h"
#include "driver/engine/temp/rcswp.h"

namespace {

bool IsVarType(int16_t t)
{
    return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_BINARY ||
           t == SQL_VARBINARY || t == SQL_LONGVARBINARY;
}

// A long value into the table's sort file, its offset into the row; a
// value longer than the file keeps is cut (01004 once per table).
int16_t PutLong(rcPlnStmt *stmt, rcPlnTempColumn *columns, TempTable *t, uint16_t k)
{
    rcPlnTempColumn &c = columns[k];
    bool isNull = false;
    uint32_t got = 0;
    if (rcEvlFetchColumn(stmt->errors, &c.column->ref, c.buffer, c.bufferSize, &isNull, &got) < 0)
        return PLN_ERROR;
    if (got > RC_SRT_MAX_VALUE) {
        got = RC_SRT_MAX_VALUE;
        if (!t->truncWarned) {
            t->truncWarned = true;
            rcErrRaise(stmt->errors, RC_MSG_DATA_TRUNCATED);
        }
    }
    uint64_t at = 0;
    rcSrtFileOffset(t->longValues, &at);
    if (!isNull && rcSrtFileWrite(t->longValues, c.buffer, c.column->ref.sqlType, got) < 0)
        return PLN_ERROR;
    return rcTmpPutColumnLen(t, &at, sizeof at, k, isNull) < 0 ? PLN_ERROR : 0;
}

} // namespace

// Puts the value of one column of the current child row.
int16_t rcExeTempPutValue(rcPlnStmt *stmt, rcPlnTempColumn *columns, TempTable *temp, uint16_t k)
{
    rcPlnTempColumn &c = columns[k];
    if (c.kind == PLN_TTCOL_LONG)
        return PutLong(stmt, columns, temp, k);
    bool isNull = false;
    int32_t length = 0;
    if (c.part > 0) {
        // A piece of a long value: its bytes of the value kept whole in the
        // value's first column (an empty piece past a shorter value).
        const rcPlnTempColumn &whole = columns[k - c.part];
        uint32_t from = c.part * PLN_KEY_PIECE;
        uint32_t total = static_cast<uint32_t>(whole.valueLength);
        uint32_t n = total > from ? total - from : 0;
        n = n < PLN_KEY_PIECE ? n : PLN_KEY_PIECE;
        int16_t rc = rcTmpPutColumnLen(temp, n > 0 ? whole.buffer + from : "",
                                       static_cast<int32_t>(n), k, whole.valueNull);
        return rc < 0 ? PLN_ERROR : 0;
    }
    switch (c.kind) {
    case PLN_TTCOL_KEY: {
        int16_t rc = rcExpEvaluate(&stmt->env, c.slot, c.sqlType, c.buffer,
                                   static_cast<int32_t>(c.bufferSize), &length, 0, &isNull);
        if (rc < 0)
            return PLN_ERROR;
        if (rc == 1)
            stmt->rowWarning = true;
        break;
    }
    case PLN_TTCOL_COLUMN: {
        uint32_t got = 0;
        if (rcEvlFetchColumn(stmt->errors, &c.column->ref, c.buffer, c.bufferSize, &isNull, &got) <
            0)
            return PLN_ERROR;
        length = static_cast<int32_t>(
            got > c.bufferSize - 1 && IsVarType(c.sqlType) ? c.bufferSize - 1 : got);
        break;
    }
    case PLN_TTCOL_BOOKMARK: {
        isNull = c.table->nullRow != 0;
        uint32_t got = 0;
        if (!isNull) {
            int32_t rc = TamGetBookmark(stmt->session, c.table->table->handle, c.buffer,
                                        c.bufferSize - 1, &got);
            if (rc != 0) {
                rcErrPost(stmt->errors, rcErrMapDrm(rc), nullptr, rc, nullptr);
                return PLN_ERROR;
            }
        }
        length = static_cast<int32_t>(got);
        break;
    }
    default: {
        rcExpValue v;
        if (rcPlnSetFunctionValue(stmt, c.setFunction, &v) < 0)
            return PLN_ERROR;
        isNull = v.isNull != 0;
        if (!isNull && IsVarType(c.sqlType)) {
            length =
                static_cast<int32_t>(v.length < c.bufferSize - 1 ? v.length : c.bufferSize - 1);
            std::memcpy(c.buffer, v.text, static_cast<size_t>(length));
            c.buffer[length] = '\0';
        } else if (!isNull && v.type == c.sqlType) {
            std::memcpy(c.buffer, &v.v, sizeof v.v < c.bufferSize ? sizeof v.v : c.bufferSize);
        } else if (!isNull) {
            // MIN and MAX keep the value as its argument gave it (MIN(68)
            // an integer where the column is typed DOUBLE): the table holds
            // it in the column's type.
            int32_t got = 0;
            int16_t rc = rcExpConvertValue(&stmt->env, v, c.sqlType, c.buffer,
                                           static_cast<int32_t>(c.bufferSize), &got, 0);
            if (rc < 0)
                return PLN_ERROR;
            if (rc == RC_EXP_WARNING)
                stmt->rowWarning = true;
        }
        break;
    }
    }
    if (c.pieces > 0) {
        // The first piece goes into this column; the value stays whole in
        // the buffer for the pieces that follow.
        c.valueNull = isNull;
        c.valueLength = isNull || length < 0 ? 0
                        : static_cast<uint32_t>(length) < c.bufferSize - 1
                            ? length
                            : static_cast<int32_t>(c.bufferSize - 1);
        int32_t first = c.valueLength < static_cast<int32_t>(PLN_KEY_PIECE)
                            ? c.valueLength
                            : static_cast<int32_t>(PLN_KEY_PIECE);
        int16_t rc = rcTmpPutColumnLen(temp, c.buffer, first, k, isNull);
        return rc < 0 ? PLN_ERROR : 0;
    }
    if (IsVarType(c.sqlType) && !isNull && length >= 0 &&
        static_cast<uint32_t>(length) < c.bufferSize)
        c.buffer[length] = '\0';
    int16_t rc = rcTmpPutColumnLen(temp, c.buffer, IsVarType(c.sqlType) ? length : 0, k, isNull);
    return rc < 0 ? PLN_ERROR : 0;
}

int16_t rcExeTempRestore(rcPlnStmt *stmt, PlanNode *node)
{
    for (uint16_t k = 0; k < node->columnCount; ++k) {
        rcPlnTempColumn &c = node->columns[k];
        if (c.kind != PLN_TTCOL_BOOKMARK)
            continue;
        const void *v = nullptr;
        uint32_t length = 0;
        bool isNull = false;
        if (rcTmpColumnValue(node->temp, k, &v, &length, &isNull) < 0)
            return PLN_ERROR;
        c.table->nullRow = isNull ? 1 : 0;
        if (isNull)
            continue;
        int32_t rc = TamGotoBookmark(stmt->session, c.table->table->handle, v, length);
        if (rc != 0) {
            // One record: the data module's message with the bookmark text
            // (11303 is a text, not a message of its own).
            rcErrPost(stmt->errors, rcErrMapDrm(rc), nullptr, rc,
                      rcUtlLoadString(RC_TXT_BOOKMARK_ERROR));
            return PLN_ERROR;
        }
    }
    return 0;
}

int16_t rcExeOpenTemp(rcPlnStmt *stmt, PlanNode *node)
{
    if (node->temp != nullptr) {
        rcTmpFree(node->temp);
        node->temp = nullptr;
    }
    TempTable *t = nullptr;
    if (rcTmpCreate(stmt->tmpOwner, &t) < 0)
        return PLN_ERROR;
    node->temp = t;
    // Rows are put and read back column by column: short values of wide
    // columns take only their length in the files.
    if (rcTmpSetCompact(t) < 0)
        return PLN_ERROR;
    if (std::strncmp(node->name, "GRP_TT", 7) == 0 || std::strncmp(node->name, "DST_TT", 7) == 0)
        rcTrcPrintf(stmt->tmpOwner.trace, 2, "%s...\n", rcGrpMethodName(node));
    uint16_t key = 0;
    for (uint16_t k = 0; k < node->columnCount; ++k) {
        rcPlnTempColumn &c = node->columns[k];
        if (rcTmpAddColumn(t, c.sqlType, c.precScale, c.length) < 0)
            return PLN_ERROR;
        if (c.kind == PLN_TTCOL_KEY && rcTmpSetSortKey(t, key++, k, c.descending) < 0)
            return PLN_ERROR;
        if (c.kind == PLN_TTCOL_LONG && t->longValues == nullptr &&
            rcSrtFileOpen(stmt->tmpOwner, &t->longValues) < 0)
            return PLN_ERROR;
    }
    // Fill.
    int16_t rc = node->firstNext(stmt, node->first, 0);
    while (rc == PLN_ROW || rc == PLN_ROW_WARNING) {
        if (stmt->tmpOwner.cancel != nullptr && stmt->tmpOwner.cancel->load() != 0)
            return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_OPERATION_CANCELLED));
        for (uint16_t k = 0; k < node->columnCount; ++k)
            if (rcExeTempPutValue(stmt, node->columns, node->temp, k) != 0)
                return PLN_ERROR;
        rc = node->firstNext(stmt, node->first, 1);
    }
    if (rc != PLN_END && rc != PLN_RANGE_END && rc != PLN_GROUP_END)
        return PLN_ERROR;
    if (rcTmpRowCount(t) > 0 && node->keyCount > 0 && !node->presorted && rcSwpSortExec(t) < 0)
        return PLN_ERROR;
    // From here on the rows above come from this table.
    for (uint16_t k = 0; k < node->columnCount; ++k) {
        rcPlnTempColumn &c = node->columns[k];
        if (c.part == 0 && c.column != nullptr &&
            (c.kind == PLN_TTCOL_COLUMN || c.kind == PLN_TTCOL_KEY || c.kind == PLN_TTCOL_LONG)) {
            // A key names a column when it keeps a union's long column.
            c.column->redirect = t;
            c.column->redirectColumn = k;
            c.column->redirectPieces = c.pieces;
            c.column->redirectLong = c.kind == PLN_TTCOL_LONG;
            c.column->ref.nullRow = nullptr;
        } else if (c.kind == PLN_TTCOL_SETFN) {
            c.setFunction->redirect = t;
            c.setFunction->redirectColumn = k;
        }
    }
    return 0;
}

int16_t rcExeNextTemp(rcPlnStmt *stmt, PlanNode *node, int flag)
{
    if (rcExeCancelled(stmt))
        return PLN_ERROR;
    int16_t rc = rcTmpMove(node->temp, flag == 0 ? 3 : 1);
    if (rc == 100)
        return PLN_END;
    if (rc < 0 || rcExeTempRestore(stmt, node) != 0)
        return PLN_ERROR;
    return PLN_ROW;
}

// Passes the first row of each run of rows with equal keys.
int16_t rcExeNextDistinct(rcPlnStmt *stmt, PlanNode *node, int flag)
{
    TempTable *t = node->sorted->temp;
    for (;;) {
        int16_t rc = node->firstNext(stmt, node->first, flag);
        if (rc != PLN_ROW && rc != PLN_ROW_WARNING)
            return rc;
        int64_t row = rcTmpRowNumber(t);
        if (flag == 0 || rcTmpCompareRows(t, node->savedRow, row) != 0) {
            node->savedRow = row;
            return rc;
        }
        flag = 1;
    }
}

// Rows of one group; 101 at every group end, with the table standing again
// on the group's last row, so that the select list reads that group.
// State 1 start, 3 inside a group, 2 after a group end, 4 finished.
int16_t rcExeNextGroup(rcPlnStmt *stmt, PlanNode *node, int flag)
{
    TempTable *t = node->sorted->temp;
    if (flag == 0)
        node->state = 1;
    switch (node->state) {
    case 1: {
        int16_t rc = node->firstNext(stmt, node->first, 0);
        if (rc != PLN_ROW && rc != PLN_ROW_WARNING)
            return rc;
        node->savedRow = rcTmpRowNumber(t);
        node->state = 3;
        return rc;
    }
    case 3: {
        int16_t rc = node->firstNext(stmt, node->first, 1);
        if (rc == PLN_END || rc == PLN_RANGE_END) {
            if (rcTmpSetRow(t, node->savedRow) < 0 || rcExeTempRestore(stmt, node->sorted) != 0)
                return PLN_ERROR;
            node->state = 4;
            return PLN_GROUP_END;
        }
        if (rc != PLN_ROW && rc != PLN_ROW_WARNING)
            return rc;
        int64_t row = rcTmpRowNumber(t);
        if (rcTmpCompareRows(t, node->savedRow, row) != 0) {
            if (rcTmpSetRow(t, node->savedRow) < 0 || rcExeTempRestore(stmt, node->sorted) != 0)
                return PLN_ERROR;
            node->state = 2;
            return PLN_GROUP_END;
        }
        node->savedRow = row;
        return rc;
    }
    case 2: {
        // The table stands on the last row of the finished group: its next
        // row is the first row of the next group.
        int16_t rc = node->firstNext(stmt, node->first, 1);
        if (rc == PLN_END)
            node->state = 4;
        if (rc != PLN_ROW && rc != PLN_ROW_WARNING)
            return rc;
        node->savedRow = rcTmpRowNumber(t);
        node->state = 3;
        return rc;
    }
    default: return PLN_END;
    }
}

// One row per group, standing on the group's last row after the set
// functions below saw every row of the group.
int16_t rcExeNextGroupResult(rcPlnStmt *stmt, PlanNode *node, int flag)
{
    for (;;) {
        int rows = 0;
        int16_t rc = node->firstNext(stmt, node->first, flag);
        flag = 1;
        while (rc == PLN_ROW || rc == PLN_ROW_WARNING) {
            ++rows;
            rc = node->firstNext(stmt, node->first, 1);
        }
        if (rc != PLN_GROUP_END)
            return rc;
        if (rows > 0)
            return PLN_ROW;
    }
}
