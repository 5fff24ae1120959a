// Execution of INSERT, UPDATE and DELETE (see rcexedml.h).
#include "driver/engine/exec/rcexedml.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "driver/core/rccnv.h"
#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcstrings.h"
#include "driver/engine/exec/rcexe.h"
#include "driver/engine/plan/rcplntree.h"
#include "driver/engine/rcsem.h"
#include "driver/engine/tam.h"
#include "platform/strings.h"

namespace {

// Data-module codes the execution tells apart.
constexpr int32_t kDrmCodeTruncated = 5003;     // a value was cut by the data module
constexpr int32_t kDrmCodeNotNullable = -1504;  // NULL for a column that takes none
constexpr int32_t kDrmCodeTooLong = -1047;      // a text longer than its field
constexpr int32_t kDrmCodeDuplicateKey = -1403; // a value a unique index holds already

enum DmlKind : uint8_t { DML_INSERT = 1, DML_UPDATE = 2, DML_DELETE = 3 };

// Results of one row's change.
constexpr int16_t ROW_DONE = 0;
constexpr int16_t ROW_WARNED = 1;
constexpr int16_t ROW_FAILED = -1;
constexpr int16_t ROW_FATAL = -2;

} // namespace

struct rcExeDml {
    DmlKind kind = DML_INSERT;
    rcTblEntry *target = nullptr;
    std::vector<const rcTblColumn *> columns; // in statement order
    std::vector<rcExpSlot> values;            // per column; 0 the keyword NULL
    bool fromQuery = false;                   // INSERT ... SELECT: values are the plan's results
    bool collectBookmarks = false;            // UPDATE through an index whose key it changes
    bool bufferRows = false;                  // INSERT ... SELECT reading its own target table
    std::vector<rcExpValue> saved;            // the query's rows, one value per column
    std::vector<size_t> savedOffsets;         // where each saved text starts in savedText
    std::vector<char> savedText;
    std::vector<char> buffer;             // the value being written
    std::vector<unsigned char> bookmarks; // PLN_BOOKMARK_MAX bytes per row
    std::vector<uint32_t> bookmarkLengths;
};

namespace {

const rcParseNode *Child(const rcParseNode *n, uint16_t id)
{
    for (const rcParseNode *k = n != nullptr ? n->child : nullptr; k != nullptr; k = k->next)
        if (k->id == id)
            return k;
    return nullptr;
}

// Posts msgId with the text textId formatted with arg; returns -1.
int16_t PostText(rcPlnStmt *stmt, uint32_t msgId, uint32_t textId, const char *arg,
                 int32_t native = 0)
{
    const char *format = rcResFind(textId);
    std::string text;
    if (format != nullptr) {
        int n = std::snprintf(nullptr, 0, format, arg);
        text.resize(n > 0 ? static_cast<size_t>(n) : 0);
        std::snprintf(text.data(), text.size() + 1, format, arg);
    }
    rcErrPost(stmt->errors, msgId, nullptr, native, text.empty() ? nullptr : text.c_str());
    return -1;
}

int16_t PostDrm(rcPlnStmt *stmt, int32_t code)
{
    rcErrPost(stmt->errors, rcErrMapDrm(code), nullptr, code, nullptr);
    return -1;
}

bool Grow(rcPlnStmt *stmt, rcExeDml *d, size_t size)
{
    if (d->buffer.size() >= size)
        return true;
    try {
        d->buffer.resize(std::max(size, d->buffer.size() * 2));
    } catch (const std::bad_alloc &) {
        rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR);
        return false;
    }
    return true;
}

// Maps a failed TamSetColumn or TamUpdateRecord code: ROW_FAILED or ROW_FATAL
// with the message posted, ROW_WARNED for the data module's truncation.
int16_t PostWriteCode(rcPlnStmt *stmt, const rcTblColumn *col, int32_t code)
{
    if (code == kDrmCodeTruncated) {
        rcErrPost(stmt->errors, RC_MSG_DATA_TRUNCATED, nullptr, code, nullptr);
        return ROW_WARNED;
    }
    if (code > 0)
        return ROW_DONE; // other positive codes are information only
    if (code == kDrmCodeNotNullable && col != nullptr)
        PostText(stmt, RC_MSG_INTEGRITY_CONSTRAINT_VIOLATION, RC_TXT_COLUMN_NOT_NULLABLE,
                 col->name.c_str(), code);
    else if (code == kDrmCodeNotNullable || code == kDrmCodeDuplicateKey)
        // Refused when the record was written: a constraint of the table.
        rcErrPost(stmt->errors, RC_MSG_INTEGRITY_CONSTRAINT_VIOLATION, nullptr, code, nullptr);
    else if (code == kDrmCodeTooLong && col != nullptr && rcCnvIsCharType(col->type.sqlType))
        PostText(stmt, RC_MSG_CHARACTER_DATA_RIGHT_TRUNCATION,
                 RC_TXT_STRING_EXCEEDS_COLUMN_LENGTH_DATA, nullptr, code);
    else
        PostDrm(stmt, code);
    return rcExeDmlFatal(code) ? ROW_FATAL : ROW_FAILED;
}

// The value of slot for the current row (0: the keyword NULL); texts stay
// valid until the next evaluation.
int16_t EvalSlot(rcPlnStmt *stmt, rcExpSlot slot, rcExpValue *v)
{
    *v = rcExpValue();
    if (slot == 0) {
        v->isNull = 1;
        return ROW_DONE;
    }
    return rcExpEvalValue(&stmt->env, slot, v) < 0 ? ROW_FAILED : ROW_DONE;
}

// Writes v into column col of the record being built on handle h.
int16_t SetValue(rcPlnStmt *stmt, rcExeDml *d, TamTableHandle *h, const rcTblColumn *col,
                 const rcExpValue &v)
{
    int16_t type = col->type.sqlType;
    if (v.isNull) {
        if ((col->type.flags & RC_SEM_NULLABLE) == 0)
            return PostWriteCode(stmt, col, kDrmCodeNotNullable);
        int32_t rc = TamSetColumn(stmt->session, h, col->number, nullptr, 0, 0, type, 1);
        return rc == 0 ? ROW_DONE : PostWriteCode(stmt, col, rc);
    }
    int16_t result = ROW_DONE;
    bool charColumn = rcCnvIsCharType(type);
    bool binaryColumn = rcCnvIsBinaryType(type);
    bool longColumn = type == SQL_LONGVARCHAR || type == SQL_LONGVARBINARY;
    uint32_t length = 0;
    if ((charColumn && rcCnvIsCharType(v.type)) || (binaryColumn && rcCnvIsBinaryType(v.type))) {
        // Bytes as they are (one byte more: the translation works in place).
        length = v.length;
        if (!Grow(stmt, d, size_t{length} + 1))
            return ROW_FAILED;
        if (length > 0)
            std::memcpy(d->buffer.data(), v.text, length);
        d->buffer[length] = '\0';
    } else {
        // Converted to the column's type; a character value for a binary
        // column is read as hexadecimal digits.
        uint32_t room = std::max<uint32_t>(col->type.length, 64) + 1;
        if (binaryColumn && rcCnvIsCharType(v.type))
            room = std::max<uint32_t>(room, v.length / 2 + 1);
        if (!Grow(stmt, d, room))
            return ROW_FAILED;
        int32_t out = 0;
        int16_t rc = 0;
        if (binaryColumn && rcCnvIsCharType(v.type)) {
            int32_t msg = rcCnvConvert(v.text, SQL_CHAR, static_cast<int32_t>(v.length), 1,
                                       d->buffer.data(), static_cast<uint16_t>(SQL_C_BINARY),
                                       static_cast<int32_t>(room), 0, 0, &out);
            if (msg != kCnvMsgSuccess) {
                rcErrRaise(stmt->errors, static_cast<uint32_t>(msg));
                return ROW_FAILED;
            }
        } else {
            rc = rcExpConvertValue(&stmt->env, v, type, d->buffer.data(),
                                   static_cast<int32_t>(room), &out, 0);
            if (rc < 0)
                return ROW_FAILED;
        }
        if (rc == RC_EXP_WARNING) {
            if (longColumn)
                return static_cast<int16_t>(
                    rcErrRaise(stmt->errors, RC_ENG_MAXIMUM_COLUMN_UPDATE_SIZE_EXCEEDED));
            PostText(stmt, RC_MSG_DATA_TRUNCATED, RC_TXT_DATA_TRUNCATED_COLUMN_NAME,
                     col->name.c_str());
            result = ROW_WARNED;
            if (charColumn && out >= static_cast<int32_t>(room))
                out = static_cast<int32_t>(room) - 1;
        }
        length = out > 0 ? static_cast<uint32_t>(out) : 0;
    }
    // A value longer than a fixed-length column is cut, with a warning
    // unless only blanks go; long values go whole (the data module refuses
    // what its field cannot hold).
    if (!longColumn && (charColumn || binaryColumn) && col->type.length > 0 &&
        length > col->type.length) {
        char *cut = d->buffer.data() + col->type.length;
        bool blanks = charColumn &&
                      std::all_of(cut, d->buffer.data() + length, [](char c) { return c == ' '; });
        length = col->type.length;
        d->buffer[length] = '\0';
        if (!blanks) {
            PostText(stmt, RC_MSG_DATA_TRUNCATED, RC_TXT_DATA_TRUNCATED_COLUMN_NAME,
                     col->name.c_str());
            result = ROW_WARNED;
        }
    }
    int32_t rc = TamSetColumn(stmt->session, h, col->number, d->buffer.data(), length, 0, type, 0);
    if (rc == 0)
        return result;
    int16_t mapped = PostWriteCode(stmt, col, rc);
    return mapped == ROW_DONE ? result : mapped;
}

constexpr int16_t ROW_SKIPPED = 2; // no longer meets the statement's conditions

// The conditions of the statement's target row, run again on the row as it
// was read under its lock: every filter above the target's table node (the
// WHERE of UPDATE and DELETE, pushed-down parts included). ROW_DONE when
// the row still meets them, ROW_SKIPPED when not, ROW_FAILED on an error.
int16_t RecheckRow(rcPlnStmt *stmt)
{
    const PlanNode *table = stmt->tables.empty() ? nullptr : stmt->tables.front();
    for (const PlanNode *n = table != nullptr ? table->parent : nullptr;
         n != nullptr && n->kind == PLN_RESTRICT; n = n->parent) {
        int passed = 0;
        if (n->filter != 0 && rcFltRun(&stmt->env, n->filter, &passed) < 0)
            return ROW_FAILED;
        if (n->filter != 0 && !passed)
            return ROW_SKIPPED;
    }
    return ROW_DONE;
}

// Locks the current row of h for a change and reads it again (TamInitUpdate
// mode 2), then checks that it still meets the statement's conditions.
int16_t LockRow(rcPlnStmt *stmt, TamTableHandle *h)
{
    int32_t rc = TamInitUpdate(stmt->session, h, 2);
    if (rc != 0) {
        int16_t mapped = PostWriteCode(stmt, nullptr, rc);
        return mapped < 0 ? mapped : ROW_FAILED; // no record to change
    }
    return RecheckRow(stmt);
}

// Writes one record: a new one (mode 0) or the current row of h (mode 2).
// The values: one slot per target column, or (saved not null) the values of
// a row saved before. A row to change is locked and read again first and
// its values computed from that read.
int16_t WriteRow(rcPlnStmt *stmt, rcExeDml *d, TamTableHandle *h, uint32_t mode,
                 const std::vector<rcExpSlot> &values, const rcExpValue *saved = nullptr)
{
    int32_t rc = 0;
    if (mode == 2) {
        int16_t locked = LockRow(stmt, h);
        if (locked != ROW_DONE)
            return locked;
    } else if ((rc = TamInitUpdate(stmt->session, h, mode)) != 0) {
        return PostWriteCode(stmt, nullptr, rc);
    }
    int16_t result = ROW_DONE;
    for (size_t k = 0; k < d->columns.size(); ++k) {
        rcExpValue v;
        if (saved != nullptr)
            v = saved[k];
        else if (EvalSlot(stmt, values[k], &v) != ROW_DONE)
            return ROW_FAILED;
        int16_t r = SetValue(stmt, d, h, d->columns[k], v);
        if (r < 0)
            return r; // the record is abandoned: the next TamInitUpdate drops it
        if (r == ROW_WARNED)
            result = ROW_WARNED;
    }
    rc = TamUpdateRecord(stmt->session, h);
    if (rc != 0) {
        int16_t mapped = PostWriteCode(stmt, nullptr, rc);
        return mapped == ROW_DONE ? result : mapped;
    }
    return result;
}

int16_t SaveRow(rcPlnStmt *stmt, rcExeDml *d, const std::vector<rcExpSlot> &values);

// The row loop of INSERT ... SELECT, UPDATE and DELETE over the open plan.
int16_t RunRows(rcPlnStmt *stmt, rcExeDml *d, rcExeDmlResult *result, bool *warned)
{
    TamTableHandle *h = d->target->handle;
    const std::vector<rcExpSlot> &values = d->fromQuery ? stmt->results : d->values;
    for (;;) {
        int16_t rc = rcExeCallRowSource(stmt);
        if (rc == PLN_END || rc == PLN_RANGE_END || rc == PLN_GROUP_END)
            return 0;
        if (rc < 0)
            return -1;
        if (rc == PLN_ROW_WARNING)
            *warned = true;
        int16_t r = ROW_DONE;
        if (d->kind == DML_INSERT && d->bufferRows) {
            if (SaveRow(stmt, d, values) != 0)
                return -1;
            continue;
        } else if (d->kind == DML_INSERT) {
            r = WriteRow(stmt, d, h, 0, values);
            if (r == ROW_FAILED) {
                ++result->failedRows;
                return -1; // an INSERT stops at its first failed row
            }
        } else if (d->kind == DML_UPDATE && d->collectBookmarks) {
            uint32_t length = 0;
            size_t at = d->bookmarks.size();
            try {
                d->bookmarks.resize(at + PLN_BOOKMARK_MAX);
            } catch (const std::bad_alloc &) {
                return static_cast<int16_t>(
                    rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
            }
            int32_t got = TamGetBookmark(stmt->session, h, d->bookmarks.data() + at,
                                         PLN_BOOKMARK_MAX, &length);
            if (got != 0)
                return PostDrm(stmt, got);
            d->bookmarkLengths.push_back(length);
            continue;
        } else if (d->kind == DML_UPDATE) {
            r = WriteRow(stmt, d, h, 2, values);
        } else {
            r = LockRow(stmt, h);
            if (r == ROW_DONE) {
                int32_t code = TamDeleteRecord(stmt->session, h);
                r = code == 0 ? ROW_DONE : PostWriteCode(stmt, nullptr, code);
            }
        }
        if (r == ROW_SKIPPED)
            continue;
        if (r == ROW_FATAL)
            return -1;
        if (r == ROW_FAILED) {
            ++result->failedRows;
            continue;
        }
        if (r == ROW_WARNED)
            *warned = true;
        ++result->rows;
    }
}

// Keeps the current row's values (texts copied) for the second pass.
int16_t SaveRow(rcPlnStmt *stmt, rcExeDml *d, const std::vector<rcExpSlot> &values)
{
    try {
        for (rcExpSlot slot : values) {
            rcExpValue v;
            if (EvalSlot(stmt, slot, &v) != ROW_DONE)
                return -1;
            size_t at = d->savedText.size();
            if (!v.isNull && v.text != nullptr) {
                d->savedText.insert(d->savedText.end(), v.text, v.text + v.length);
                d->savedText.push_back('\0');
            }
            d->saved.push_back(v);
            d->savedOffsets.push_back(v.text != nullptr ? at : SIZE_MAX);
        }
    } catch (const std::bad_alloc &) {
        return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    }
    return 0;
}

// The second pass of an INSERT that saved its query's rows first.
int16_t InsertSaved(rcPlnStmt *stmt, rcExeDml *d, rcExeDmlResult *result, bool *warned)
{
    size_t width = d->columns.size();
    for (size_t k = 0; k < d->saved.size(); ++k)
        if (d->savedOffsets[k] != SIZE_MAX)
            d->saved[k].text = d->savedText.data() + d->savedOffsets[k];
    for (size_t at = 0; width > 0 && at + width <= d->saved.size(); at += width) {
        int16_t r = WriteRow(stmt, d, d->target->handle, 0, d->values, &d->saved[at]);
        if (r < 0) {
            result->failedRows += r == ROW_FAILED ? 1 : 0;
            return -1; // an INSERT stops at its first failed row
        }
        if (r == ROW_WARNED)
            *warned = true;
        ++result->rows;
    }
    return 0;
}

// The second pass of an UPDATE that collected bookmarks: each row is
// positioned on again and changed.
int16_t UpdateCollected(rcPlnStmt *stmt, rcExeDml *d, rcExeDmlResult *result, bool *warned)
{
    TamTableHandle *h = d->target->handle;
    for (size_t k = 0; k < d->bookmarkLengths.size(); ++k) {
        int32_t rc = TamGotoBookmark(stmt->session, h, d->bookmarks.data() + k * PLN_BOOKMARK_MAX,
                                     d->bookmarkLengths[k]);
        if (rc == kDrmErrNoCurrentRecord)
            continue; // gone since it was read
        int16_t r = rc == 0 ? WriteRow(stmt, d, h, 2, d->values) : PostWriteCode(stmt, nullptr, rc);
        if (r == ROW_SKIPPED)
            continue;
        if (r == ROW_FATAL)
            return -1;
        if (r == ROW_FAILED) {
            ++result->failedRows;
            continue;
        }
        if (r == ROW_WARNED)
            *warned = true;
        ++result->rows;
    }
    return 0;
}

// The target columns of an INSERT: its column list, else every column.
int16_t InsertColumns(rcPlnStmt *stmt, rcExeDml *d, const rcParseNode *root)
{
    const rcParseNode *list = Child(Child(root, RC_N_ColIdList_Opt), RC_N_ColIdList);
    if (list == nullptr) {
        for (const rcTblColumn &c : d->target->columns)
            d->columns.push_back(&c);
        return 0;
    }
    for (const rcParseNode *id = list->child; id != nullptr; id = id->next) {
        if (id->id != RC_N_ColId)
            continue;
        const auto *c = static_cast<const rcTblColumn *>(id->sem);
        if (c == nullptr)
            return static_cast<int16_t>(
                rcErrRaise(stmt->errors, RC_MSG_INVALID_COLUMN_NAME_COLUMN_NOT));
        if (std::find(d->columns.begin(), d->columns.end(), c) != d->columns.end())
            return static_cast<int16_t>(
                rcErrRaise(stmt->errors, RC_ENG_DUPLICATE_COLUMN_FOUND_INSERT_LIST));
        d->columns.push_back(c);
    }
    return 0;
}

int16_t PrepareInsert(rcPlnStmt *stmt, rcExeDml *d, const rcParseNode *root)
{
    if (InsertColumns(stmt, d, root) != 0)
        return -1;
    const rcParseNode *source = Child(root, RC_N_QuerySpecOrValList);
    const rcParseNode *values = Child(source, RC_N_InsValList);
    if (values == nullptr) {
        d->fromQuery = true;
        if (stmt->results.size() != d->columns.size())
            return static_cast<int16_t>(
                rcErrRaise(stmt->errors, RC_MSG_INSERT_VALUE_LIST_DOES_NOT));
        // A query that reads the target table could meet the new rows (each
        // seek and each restart of a scan selects anew): its rows are all
        // read before the first is written.
        for (const PlanNode *t : stmt->tables)
            if (t->table != nullptr && t->table->path == d->target->path &&
                PlatAsciiCaseCompare(t->table->name.c_str(), d->target->name.c_str()) == 0)
                d->bufferRows = true;
        return 0;
    }
    for (const rcParseNode *v = values->child; v != nullptr; v = v->next) {
        if (v->id != RC_N_InsValue)
            continue;
        rcExpSlot slot = 0;
        if (v->child != nullptr && v->child->id != RC_T_NULL &&
            rcExpCompile(&stmt->env, v, &slot, 0) < 0) {
            if (!rcErrQueueAny(stmt->errors))
                rcErrRaise(stmt->errors, RC_MSG_GENERAL_ERROR);
            return -1;
        }
        d->values.push_back(slot);
    }
    if (d->values.size() != d->columns.size())
        return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_INSERT_VALUE_LIST_DOES_NOT));
    return 0;
}

int16_t PrepareUpdate(rcPlnStmt *stmt, rcExeDml *d, const rcParseNode *root)
{
    const rcParseNode *list = Child(root, RC_N_ColAssignList);
    for (const rcParseNode *a = list != nullptr ? list->child : nullptr; a != nullptr;
         a = a->next) {
        if (a->id != RC_N_ColAssign)
            continue;
        const rcParseNode *name = Child(a, RC_N_ColName);
        const auto *c = name != nullptr ? static_cast<const rcTblColumn *>(name->sem) : nullptr;
        if (c == nullptr)
            return static_cast<int16_t>(
                rcErrRaise(stmt->errors, RC_MSG_INVALID_COLUMN_NAME_COLUMN_NOT));
        const rcParseNode *value = Child(Child(a, RC_N_ExprOrNull), RC_N_Expression);
        rcExpSlot slot = 0;
        if (value != nullptr && rcExpCompile(&stmt->env, value, &slot, 0) < 0) {
            if (!rcErrQueueAny(stmt->errors))
                rcErrRaise(stmt->errors, RC_MSG_GENERAL_ERROR);
            return -1;
        }
        d->columns.push_back(c);
        d->values.push_back(slot);
    }
    // A row source that reads through an index whose key the UPDATE changes
    // could meet a changed row again: the rows are collected first.
    PlanNode *table = stmt->tables.empty() ? nullptr : stmt->tables.front();
    if (table != nullptr && table->access == PLN_ACCESS_INDEX && table->index != nullptr)
        for (const rcPlnKeyColumn &k : table->index->keys)
            if (std::find(d->columns.begin(), d->columns.end(), k.column) != d->columns.end())
                d->collectBookmarks = true;
    return 0;
}

} // namespace

bool rcExeDmlFatal(int32_t code)
{
    if (code >= -4998 && code <= -3001)
        return true;
    switch (code) {
    case -1024:
    case -1032:
    case -1206:
    case -1207:
    case -1302:
    case -1309:
    case -1809:
    case -1907:
    case kDrmErrNoServerAtAddress:
    case kDrmErrServerNotAnswering:
    case kDrmErrTimedOut:
    case kDrmErrLinkBroken: return true;
    default: return false;
    }
}

int16_t rcExeDmlPrepare(rcPlnStmt *stmt, const rcParseNode *root, rcExeDml **out)
{
    *out = nullptr;
    auto *d = new (std::nothrow) rcExeDml;
    if (d == nullptr)
        return static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    const rcParseNode *name = root != nullptr ? Child(root, RC_N_TableName) : nullptr;
    d->target = name != nullptr ? static_cast<rcTblEntry *>(name->sem) : nullptr;
    int16_t rc = 0;
    if (d->target == nullptr || d->target->handle == nullptr) {
        rc = static_cast<int16_t>(rcErrRaise(stmt->errors, RC_ENG_INVALID_VIEW_TABLE_NAME));
    } else if (root->id == RC_N_InsertStmt) {
        d->kind = DML_INSERT;
        rc = PrepareInsert(stmt, d, root);
    } else if (root->id == RC_N_UpdateStmt) {
        d->kind = DML_UPDATE;
        rc = PrepareUpdate(stmt, d, root);
    } else if (root->id == RC_N_DeleteStmt) {
        d->kind = DML_DELETE;
    } else {
        rc = static_cast<int16_t>(rcErrRaise(stmt->errors, RC_MSG_GENERAL_ERROR));
    }
    if (rc != 0) {
        delete d;
        return -1;
    }
    *out = d;
    return 0;
}

int16_t rcExeDmlRun(rcPlnStmt *stmt, rcExeDml *d, rcExeDmlResult *result)
{
    *result = rcExeDmlResult{};
    bool warned = false;
    int16_t rc = 0;
    if (d->kind == DML_INSERT && !d->fromQuery) {
        int16_t r = WriteRow(stmt, d, d->target->handle, 0, d->values);
        if (r < 0)
            return -1;
        result->rows = 1;
        warned = r == ROW_WARNED;
    } else {
        if (rcExeOpenQuery(stmt) != 0)
            return -1;
        d->bookmarks.clear();
        d->bookmarkLengths.clear();
        d->saved.clear();
        d->savedOffsets.clear();
        d->savedText.clear();
        rc = RunRows(stmt, d, result, &warned);
        rcExeCloseQuery(stmt);
        if (rc == 0 && d->collectBookmarks)
            rc = UpdateCollected(stmt, d, result, &warned);
        if (rc == 0 && d->bufferRows)
            rc = InsertSaved(stmt, d, result, &warned);
        if (rc < 0)
            return -1;
        if (result->failedRows > 0)
            return result->rows > 0 ? 1 : -1;
    }
    return warned || rcErrQueueAny(stmt->errors) ? 1 : 0;
}

void rcExeDmlFree(rcExeDml *dml) { delete dml; }
