// The query-plan file (see rcplnfile.h).
//
// Node records by class (words of 4 bytes; offsets are block offsets, 0 when
// absent or left out):
//   1 join         w1 subtype (7 inner by index, 8 outer by index, 6 outer,
//                  5 inner), w2 first child, w3 second child, w4 the method
//                  (1 nested loop, 2 hash join), w5 its text ("Nested loop",
//                  "Hash join on 2 keys")
//   2 restriction  w1 subtype 3, w2 the text of the table below (its name),
//                  w4 child
//   3 table        bytes 8..67 the table's name and alias (60 characters at
//                  most, NUL-terminated); w17 the index-range text of an
//                  index access ("No active Index Code." for a scan)
//   4, 7, 8        distinct, group result, group: w1 child
//   10 union       w1 0 (its inputs are trees of their own in the offset
//                  table), w2 subtype (1 UNION, 2 UNION ALL), w3 the
//                  number of inputs
//   5 set function w1 subtype 8 + the function (9 MIN .. 13 AVG), w2 child,
//                  w3 0
//   6 aggregate    w1 first child, w2 second child
//   9 temp table   w2 column count, w3 an array of 8-byte entries (column
//                  kind, offset of its text) followed by the texts, w4
//                  child, w5 the table's name text
//   11 subquery    w1 subtype 13 + the form (14 IN/ANY .. 17 single row)
//   12 grouping    w1 child, w2 method (1 hash table, 2 stream of rows in
//                  key order), w3 the method's name ("HASH GROUP BY",
//                  "STREAM DISTINCT" ...), w4 the number of key columns
// A temporary table that groups or removes duplicates by sorting ("GRP_TT",
// "DST_TT") names that method too: w6 "SORT GROUP BY" or "SORT DISTINCT".
#include "driver/engine/plan/rcplnfile.h"

#include <cstring>

#include "driver/core/rcerror.h"
#include "driver/core/rclock.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/plan/rcpln.h"
#include "driver/engine/plan/rcplngroup.h"
#include "driver/engine/plan/rcplnhash.h"
#include "driver/engine/plan/rcplnunion.h"
#include "driver/engine/rcsem.h"
#include "platform/file.h"
#include "platform/filelock.h"

namespace {

void PutU16(uint8_t *p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void PutU32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t Align4(uint32_t v) { return (v + 3u) & ~3u; }

// Writes the trees of one plan block, never past its limit.
class BlockWriter {
public:
    BlockWriter(std::vector<uint8_t> *out, uint32_t limit) : out_(out), limit_(limit)
    {
        out_->assign(kRcPlnTreesStart, 0);
    }

    // A text at the current offset; its offset, or 0 when it does not fit.
    uint32_t Text(const std::string &raw)
    {
        std::string text;
        for (char c : raw) {
            if (text.size() >= kRcPlnTextMax)
                break;
            text += c;
            if (c == '%' && text.size() < kRcPlnTextMax)
                text += '%';
        }
        uint32_t at = Offset();
        uint32_t end = Align4(at + static_cast<uint32_t>(text.size()) + 1);
        if (end > limit_)
            return 0;
        out_->resize(end, 0);
        std::memcpy(out_->data() + at, text.data(), text.size());
        return at;
    }

    // Writes node and its subtree; the offset of its record, or 0 when the
    // record does not fit.
    uint32_t Node(const PlanNode *node, int depth)
    {
        if (node == nullptr || depth > kMaxDepth)
            return 0;
        uint32_t at = Offset();
        if (at + kRcPlnNodeRecordSize > limit_)
            return 0;
        out_->resize(at + kRcPlnNodeRecordSize, 0);
        auto word = [&](int i, uint32_t v) { PutU32(out_->data() + at + 4 * i, v); };
        switch (node->kind) {
        case PLN_JOIN: {
            uint32_t subtype = node->subtype == PLN_JOIN_INNER_INDEX   ? 7
                               : node->subtype == PLN_JOIN_OUTER_INDEX ? 8
                               : node->subtype == PLN_JOIN_OUTER       ? 6
                                                                       : 5;
            bool hash = node->hashJoin != nullptr;
            // A hash join reads its inner side once: no index per outer row.
            if (hash)
                subtype = subtype == 8 || subtype == 6 ? 6 : 5;
            word(0, RC_PLNF_JOIN);
            word(1, subtype);
            word(4, hash ? 2 : 1);
            word(5, Text(JoinText(node)));
            uint32_t first = Node(node->first, depth + 1);
            uint32_t second = Node(node->second, depth + 1);
            word(2, first);
            word(3, second);
            break;
        }
        case PLN_RESTRICT: {
            word(0, RC_PLNF_RESTRICT);
            word(1, 3);
            const PlanNode *below = node->first;
            while (below != nullptr && below->kind != PLN_TABLE && below->kind != PLN_JOIN)
                below = below->first;
            if (below != nullptr && below->kind == PLN_TABLE && below->table != nullptr)
                word(2, Text(below->table->name));
            word(4, Node(node->first, depth + 1));
            break;
        }
        case PLN_TABLE: {
            word(0, RC_PLNF_TABLE);
            if (node->table != nullptr) {
                std::string name = node->table->name;
                if (!node->table->alias.empty())
                    name += " " + node->table->alias;
                name.resize(std::min(name.size(), kRcPlnTableTextMax - 1));
                std::memcpy(out_->data() + at + 8, name.data(), name.size());
            }
            word(17, Text(IndexText(node)));
            break;
        }
        case PLN_DISTINCT:
        case PLN_GROUPRESULT:
        case PLN_GROUP:
            word(0, node->kind == PLN_DISTINCT      ? RC_PLNF_DISTINCT
                    : node->kind == PLN_GROUPRESULT ? RC_PLNF_GROUPRESULT
                                                    : RC_PLNF_GROUP);
            word(1, Node(node->first, depth + 1));
            break;
        case PLN_UNION:
            // Its inputs (the first one too) are trees of their own in the
            // offset table.
            word(0, RC_PLNF_UNION);
            word(1, node->unionState != nullptr ? 0 : Node(node->first, depth + 1));
            word(2, node->subtype);
            word(3, node->unionState != nullptr ? node->unionState->inputCount : 0);
            break;
        case PLN_SETFUNC:
            word(0, RC_PLNF_SETFUNC);
            word(1, 8u + node->function);
            word(2, Node(node->first, depth + 1));
            word(3, 0);
            break;
        case PLN_AGGREGATE: {
            word(0, RC_PLNF_AGGREGATE);
            uint32_t first = Node(node->first, depth + 1);
            uint32_t second = Node(node->second, depth + 1);
            word(1, first);
            word(2, second);
            break;
        }
        case PLN_TEMPTABLE: TempTable(node, at, depth); break;
        case PLN_SUBQUERY:
            word(0, RC_PLNF_SUBQUERY);
            word(1, 13u + node->form);
            break;
        case PLN_HASHGROUP:
            word(0, RC_PLNF_GROUPING);
            word(2, node->subtype);
            word(3, Text(rcGrpMethodName(node)));
            word(4, node->keyCount);
            word(1, Node(node->first, depth + 1));
            break;
        default: word(0, 0); break;
        }
        return at;
    }

    uint32_t Offset() const { return static_cast<uint32_t>(out_->size()); }
    void SetTree(uint32_t index, uint32_t offset) { PutU32(out_->data() + 4 + 4 * index, offset); }

private:
    static constexpr int kMaxDepth = 512;

    void TempTable(const PlanNode *node, uint32_t at, int depth)
    {
        auto word = [&](int i, uint32_t v) { PutU32(out_->data() + at + 4 * i, v); };
        word(0, RC_PLNF_TEMPTABLE);
        word(5, Text(std::string(node->name, strnlen(node->name, sizeof node->name))));
        if (std::strncmp(node->name, "GRP_TT", 7) == 0 ||
            std::strncmp(node->name, "DST_TT", 7) == 0)
            word(6, Text(rcGrpMethodName(node)));
        uint32_t count = node->columnCount;
        uint32_t array = Offset();
        if (count > 0 && array + 8 * count <= limit_) {
            out_->resize(array + 8 * count, 0);
            word(2, count);
            word(3, array);
            for (uint32_t i = 0; i < count; ++i) {
                const rcPlnTempColumn &c = node->columns[i];
                std::string text;
                switch (c.kind) {
                case PLN_TTCOL_KEY:
                    text = "KEY" + std::to_string(i + 1) + (c.descending ? " DESC" : "");
                    break;
                case PLN_TTCOL_COLUMN:
                    text = c.column != nullptr && c.column->column != nullptr
                               ? c.column->column->name
                               : "COLUMN";
                    break;
                case PLN_TTCOL_SETFN: text = "SETFN"; break;
                case PLN_TTCOL_LONG: text = "LONG"; break;
                default: text = "BOOKMARK"; break;
                }
                uint32_t t = Text(text);
                PutU32(out_->data() + array + 8 * i, c.kind);
                PutU32(out_->data() + array + 8 * i + 4, t);
            }
        }
        word(4, Node(node->first, depth + 1));
    }

    // The method of a join: "Nested loop" (", inner side by index" when the
    // inner table is searched per outer row), or "Hash join on N keys".
    static std::string JoinText(const PlanNode *node)
    {
        if (node->hashJoin != nullptr) {
            size_t n = node->hashJoin->keys.size();
            return "Hash join on " + std::to_string(n) + (n == 1 ? " key" : " keys");
        }
        bool index = node->subtype == PLN_JOIN_INNER_INDEX || node->subtype == PLN_JOIN_OUTER_INDEX;
        return index ? "Nested loop, inner side by index" : "Nested loop";
    }

    // The index-range text of a table node: the index's first key column, the
    // seek operator, the range's end. The key's value is known only when the
    // query runs.
    static std::string IndexText(const PlanNode *node)
    {
        if (node->access != PLN_ACCESS_INDEX || node->index == nullptr)
            return "No active Index Code.";
        std::string text;
        if (!node->index->keys.empty() && node->index->keys[0].column != nullptr)
            text += "Index Col: " + node->index->keys[0].column->name + "\r\n";
        const char *op = node->keyKind == PLN_KEY_GT     ? " GT "
                         : node->keyKind == PLN_KEY_GE   ? " GE "
                         : node->keyKind == PLN_KEY_EQ   ? " EQ "
                         : node->keyKind == PLN_KEY_LIKE ? " LIKE "
                                                         : " None ";
        text += std::string("Seek Key ") + node->index->name + op + "\r\n";
        text += "End code Range 0.";
        text += node->endTest != 0 ? "\tHiValue: ?\r\n" : " None \r\n";
        return text;
    }

    std::vector<uint8_t> *out_;
    uint32_t limit_;
};

} // namespace

int rcPlnFileBuildBlock(const rcPlnStmt *planner, uint32_t limit, std::vector<uint8_t> *block,
                        std::string *why)
{
    std::vector<const PlanNode *> trees;
    if (planner->plan != nullptr)
        trees.push_back(planner->plan->root);
    for (const PlanNode *sub : planner->subqueries)
        if (sub != nullptr && sub->subPlan != nullptr)
            trees.push_back(sub->subPlan->root);
    // Then the branches of every UNION, found in the trees so far and in the
    // branches themselves.
    for (size_t t = 0; t < trees.size(); ++t) {
        std::vector<const PlanNode *> unions;
        rcPlnVisit(&unions, const_cast<PlanNode *>(trees[t]),
                   [](void *ctx, uint8_t kind, PlanNode *node) {
                       if (kind == PLN_UNION && node->unionState != nullptr)
                           static_cast<std::vector<const PlanNode *> *>(ctx)->push_back(node);
                       return 1;
                   });
        for (const PlanNode *u : unions)
            for (uint16_t i = 0; i < u->unionState->inputCount; ++i)
                if (u->unionState->inputs[i].root != nullptr)
                    trees.push_back(u->unionState->inputs[i].root);
        if (trees.size() > 4 * kRcPlnMaxTrees)
            break; // refused below in any case
    }
    if (trees.size() > kRcPlnMaxTrees) {
        *why = "Query plan not written: the statement has " + std::to_string(trees.size()) +
               " plan trees, a plan record holds " + std::to_string(kRcPlnMaxTrees) + ".";
        return -1;
    }
    if (limit < kRcPlnTreesStart)
        limit = kRcPlnTreesStart;
    if (limit > UINT16_MAX)
        limit = UINT16_MAX & ~3u; // the record's length field
    BlockWriter writer(block, limit);
    for (size_t i = 0; i < trees.size(); ++i)
        writer.SetTree(static_cast<uint32_t>(i), writer.Node(trees[i], 0));
    return 0;
}

int rcPlnFileAppend(const std::string &path, const char *sqlText, const std::vector<uint8_t> &block,
                    std::string *why)
{
    size_t sqlLength = sqlText != nullptr ? strnlen(sqlText, kRcPlnSqlMax) : 0;
    std::vector<uint8_t> record(kRcPlnRecordHeaderSize + sqlLength + 1 + block.size(), 0);
    std::memcpy(record.data(), kRcPlnRecordMagic, 4);
    PutU16(record.data() + 4, static_cast<uint16_t>(block.size()));
    PutU16(record.data() + 6, static_cast<uint16_t>(sqlLength + 1));
    if (sqlLength > 0)
        std::memcpy(record.data() + kRcPlnRecordHeaderSize, sqlText, sqlLength);
    if (!block.empty())
        std::memcpy(record.data() + kRcPlnRecordHeaderSize + sqlLength + 1, block.data(),
                    block.size());

    int fd = PlatFileOpen(path.c_str(), PLAT_OPEN_READWRITE);
    if (fd < 0 && !PlatFileExists(path.c_str()))
        fd = PlatFileOpen(path.c_str(), PLAT_OPEN_READWRITE | PLAT_OPEN_CREATE);
    auto fail = [&](const char *what) {
        *why = std::string("Query plan not written: unable to ") + what + " " + path + " (" +
               std::strerror(PlatLastError()) + ").";
        if (fd >= 0)
            PlatFileClose(fd);
        return -1;
    };
    if (fd < 0)
        return fail("open");
    if (!PlatFileLockExclusive(fd))
        return fail("lock");
    int64_t end = PlatFileSeek(fd, 0, 2);
    if (end < 0)
        return fail("seek in");
    if (end == 0) {
        uint8_t header[kRcPlnFileHeaderSize];
        std::memcpy(header, kRcPlnFileMagic, 4);
        PutU16(header + 4, kRcPlnFileVersion);
        PutU16(header + 6, kRcPlnFileRevision);
        if (PlatFileWrite(fd, header, sizeof header) != static_cast<int64_t>(sizeof header))
            return fail("write");
    }
    if (PlatFileWrite(fd, record.data(), record.size()) != static_cast<int64_t>(record.size()))
        return fail("write");
    PlatFileUnlock(fd);
    if (!PlatFileClose(fd)) {
        fd = -1;
        return fail("close");
    }
    return 0;
}

int rcSpyQueryPlan(const char *path, const char *sqlText, const rcPlnStmt *planner,
                   rcErrorQueue *errors, uint32_t limit)
{
    if (path == nullptr || path[0] == '\0' || planner == nullptr)
        return 0;
    rcDriverLockHold hold;
    std::vector<uint8_t> block;
    std::string why;
    if (rcPlnFileBuildBlock(planner, limit, &block, &why) == 0 &&
        rcPlnFileAppend(path, sqlText, block, &why) == 0)
        return 0;
    if (errors != nullptr)
        rcErrPost5171(errors, why.c_str());
    return 1;
}
