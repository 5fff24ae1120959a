// Index range scans of table nodes (see rcexe.h).
//
// A range starts by giving the index to the data module (once per node),
// making the key from the start value (evaluated for the current row, so a
// join's inner table seeks once per outer row) and seeking; an index range
// without a start value seeks the index's first row. Each row, the first
// included, is checked by the end test, which holds once the scan has left
// the range. Texts lose their trailing blanks (they do not count in the
// driver's comparison). A start value that cannot be a key of the column
// empties an equality range; for a lower bound the range starts at the
// value cut to the column (never later than the true start) and the
// filters above keep the exact condition. A number beyond the range of the
// column's type empties the range when it is too large and starts it at the
// first key when it is too small.
#include "driver/engine/exec/rcexe.h"

#include <cstring>

#include "driver/core/rccnv.h"
#include "driver/core/rcerror.h"
#include "driver/core/rclist.h"
#include "driver/core/rcmem.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/rcsem.h"
#include "driver/engine/tam.h"

namespace {

// Seek flags of the data module.
enum : uint32_t {
    kSeekEqual = 0x1,
    kSeekAtLeast = 0x8,
    kSeekAbove = 0x10,
    kSeekFirst = 0x20,
};
constexpr int32_t kDrmSeekWarning = 1039;

int16_t PostDrm(rcPlnStmt *stmt, int32_t code)
{
    rcErrPost(stmt->errors, rcErrMapDrm(code), nullptr, code, nullptr);
    return PLN_ERROR;
}

uint32_t QueueCount(const rcErrorQueue *q) { return q->list != nullptr ? rcListCount(q->list) : 0; }

// Drops the records posted after the first `keep` ones (a key conversion's
// warning), leaving the statement's earlier warnings as they were.
void DropRecordsAfter(rcErrorQueue *q, uint32_t keep)
{
    while (QueueCount(q) > keep) {
        uint32_t last = QueueCount(q) - 1;
        auto *r = static_cast<rcErrorRecord *>(rcListAt(q->list, last));
        if (r != nullptr && r->text != nullptr)
            rcMemFree(r->text);
        rcListRemoveAt(q->list, last);
    }
}

// 3 inside the range, 2 past it, 1 error.
int EndTest(rcPlnStmt *stmt, PlanNode *node)
{
    if (node->endTest == 0)
        return 3;
    int passed = 0;
    if (rcFltRun(&stmt->env, node->endTest, &passed) < 0)
        return 1;
    return passed ? 2 : 3;
}

int16_t CheckRow(rcPlnStmt *stmt, PlanNode *node)
{
    switch (EndTest(stmt, node)) {
    case 1: return PLN_ERROR;
    case 2: return PLN_RANGE_END;
    default: return PLN_ROW;
    }
}

// True when an earlier entry of the key list had the same key; records the
// key of the current entry.
bool Seen(PlanNode *node, bool text, int32_t length)
{
    uint32_t size = node->keyBufferSize;
    for (uint16_t k = 0; k < node->keyListAt; ++k) {
        const char *earlier = node->keySeen + static_cast<size_t>(k) * size;
        uint32_t n = node->keySeenLength[k];
        bool same =
            text ? rcExpCompareText(earlier, n, node->keyBuffer, static_cast<size_t>(length)) == 0
                 : n == static_cast<uint32_t>(length) &&
                       std::memcmp(earlier, node->keyBuffer, n) == 0;
        if (same)
            return true;
    }
    std::memcpy(node->keySeen + static_cast<size_t>(node->keyListAt) * size, node->keyBuffer,
                static_cast<size_t>(length));
    node->keySeenLength[node->keyListAt] = static_cast<uint32_t>(length);
    return false;
}

// 0 the cursor stands on the first candidate row, 102 empty, -1 error.
int16_t RangeStart(rcPlnStmt *stmt, PlanNode *node)
{
    TamSession *s = stmt->session;
    TamTableHandle *h = node->table->handle;
    if (!node->indexSet) {
        int32_t rc = TamSetTableIndex(s, h, node->index->name);
        if (rc != 0)
            return PostDrm(stmt, rc);
        node->indexSet = true;
    }
    uint32_t flag = kSeekFirst;
    if (node->keyKind != 0) {
        const rcTblColumn *col = node->index->keys.front().column;
        int16_t type = col->type.sqlType;
        bool text = rcCnvIsCharType(type);
        int32_t length = 0;
        uint8_t kind = node->keyKind;
        if (kind == PLN_KEY_LIKE) {
            length = static_cast<int32_t>(std::strlen(node->keyBuffer));
        } else {
            bool isNull = false;
            uint32_t before = QueueCount(stmt->errors);
            int16_t wanted = text ? static_cast<int16_t>(SQL_C_CHAR) : type;
            int16_t rc =
                rcExpEvaluate(&stmt->env, node->keySlot, wanted, node->keyBuffer,
                              static_cast<int32_t>(node->keyBufferSize), &length, 0, &isNull);
            if (rc < 0 && !text) {
                // A number beyond the column's type (40000 for a SMALLINT):
                // no row equals it, none lies above a value too large, and
                // every row lies above a value too small.
                DropRecordsAfter(stmt->errors, before);
                double wide = 0;
                int32_t wideLength = 0;
                if (rcExpEvaluate(&stmt->env, node->keySlot, SQL_DOUBLE, &wide, sizeof wide,
                                  &wideLength, 0, &isNull) < 0)
                    return PLN_ERROR;
                if (kind == PLN_KEY_EQ || wide > 0)
                    return PLN_RANGE_END;
                kind = 0;
            } else if (rc < 0) {
                return PLN_ERROR;
            }
            if (isNull)
                return PLN_RANGE_END; // nothing equals or follows NULL
            if (rc == 1 && kind != 0) {
                DropRecordsAfter(stmt->errors, before);
                if (!text) {
                    // The value is not a value of the column: no row equals
                    // it; a lower bound starts at the converted value.
                    if (kind == PLN_KEY_EQ)
                        return PLN_RANGE_END;
                    kind = PLN_KEY_GE;
                }
            }
            if (text && length > static_cast<int32_t>(node->keyBufferSize) - 1)
                length = static_cast<int32_t>(node->keyBufferSize) - 1;
        }
        if (text) {
            while (length > 0 && node->keyBuffer[length - 1] == ' ')
                --length;
            node->keyBuffer[length] = '\0';
            if (static_cast<uint32_t>(length) > col->type.length) {
                if (kind == PLN_KEY_EQ || kind == PLN_KEY_LIKE)
                    return PLN_RANGE_END; // no value of the column is that long
                length = static_cast<int32_t>(col->type.length);
                kind = PLN_KEY_GE;
            }
        }
        if (kind == 0) {
            // Below every value of the column: the range starts at the first key.
        } else if (node->keyList != nullptr && Seen(node, text, length)) {
            return PLN_RANGE_END; // this key's rows were read already
        } else {
            int32_t rc = TamMakeKey(s, h, node->keyBuffer, static_cast<uint32_t>(length), 1);
            if (rc != 0)
                return PostDrm(stmt, rc);
            flag = kind == PLN_KEY_EQ ? kSeekEqual : kind == PLN_KEY_GT ? kSeekAbove : kSeekAtLeast;
        }
    }
    int32_t rc = TamSeek(s, h, flag);
    if (rc == 0 || rc == kDrmSeekWarning)
        return 0;
    if (rc == kDrmErrNoCurrentRecord || rc == kDrmErrKeyNotFound)
        return PLN_RANGE_END;
    return PostDrm(stmt, rc);
}

int16_t StartEntry(rcPlnStmt *stmt, PlanNode *node)
{
    if (node->keyList != nullptr) {
        node->keySlot = node->keyList[node->keyListAt];
        node->endTest = node->keyEnds[node->keyListAt];
    }
    int16_t rc = RangeStart(stmt, node);
    return rc != 0 ? rc : CheckRow(stmt, node);
}

} // namespace

int16_t rcExeNextTable(rcPlnStmt *stmt, PlanNode *node, int flag)
{
    if (rcExeCancelled(stmt))
        return PLN_ERROR;
    TamTableHandle *h = node->table->handle;
    if (node->access == PLN_ACCESS_INDEX) {
        int16_t rc = PLN_RANGE_END;
        if (flag == 0) {
            node->keyListAt = 0;
            rc = StartEntry(stmt, node);
        } else if (!node->singleRow || (stmt->engineOptions & PLN_OPT_SAFEOPT) != 0) {
            // (a unique key names one row: its range ends after it)
            int32_t moved = TamMove(stmt->session, h, kDrmMoveNext);
            if (moved != 0 && moved != kDrmErrNoCurrentRecord)
                return PostDrm(stmt, moved);
            rc = moved == 0 ? CheckRow(stmt, node) : static_cast<int16_t>(PLN_RANGE_END);
        }
        // The next entry of a key list.
        while (rc == PLN_RANGE_END && node->keyList != nullptr &&
               node->keyListAt + 1 < node->keyListCount) {
            ++node->keyListAt;
            rc = StartEntry(stmt, node);
        }
        return rc;
    }
    int32_t rc = TamMove(stmt->session, h, flag == 0 ? kDrmMoveFirst : kDrmMoveNext);
    if (rc == 0)
        return PLN_ROW;
    if (rc == kDrmErrNoCurrentRecord)
        return PLN_END;
    return PostDrm(stmt, rc);
}
