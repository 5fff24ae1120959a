// UNION plans (see rcplnunion.h).
#include "driver/engine/plan/rcplnunion.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/engine/plan/rcplntree.h"

namespace {

// Longest value a union column keeps for its current row.
constexpr uint32_t kValueMax = 65500;

bool IsVarType(int16_t t)
{
    return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_BINARY ||
           t == SQL_VARBINARY || t == SQL_LONGVARBINARY;
}

bool IsAll(const rcParseNode *unionOpt)
{
    for (const rcParseNode *k = unionOpt->child; k != nullptr; k = k->next)
        if (k->id == RC_T_ALL)
            return true;
    return false;
}

struct Input {
    PlanNode *root = nullptr;
    std::vector<rcExpSlot> slots;
    uint16_t firstBlock = 0;
    uint16_t endBlock = 0;
};

struct UnionBuilder {
    rcPlnStmt *stmt = nullptr;
    std::vector<const rcParseNode *> firstItems; // the first SELECT block's
    bool haveFirst = false;

    int16_t Fail(uint32_t msg) { return static_cast<int16_t>(rcErrRaise(stmt->errors, msg)); }

    template <typename T>
    T *Alloc(size_t count)
    {
        void *p = rcMemPoolAlloc(stmt->pool, sizeof(T) * (count > 0 ? count : 1));
        if (p == nullptr) {
            Fail(RC_MSG_MEMORY_ALLOCATION_ERROR);
            return nullptr;
        }
        std::memset(p, 0, sizeof(T) * (count > 0 ? count : 1));
        return static_cast<T *>(p);
    }

    // A SELECT block planned as a block of its own.
    bool Branch(const rcParseNode *block, Input *out)
    {
        auto *plan = Alloc<QueryPlan>(1);
        if (plan == nullptr)
            return false;
        new (plan) QueryPlan{};
        std::vector<const rcParseNode *> items;
        out->firstBlock = static_cast<uint16_t>(stmt->blocks + 1);
        if (rcPlnBuildBranch(stmt, block, plan, &items) != 0)
            return false;
        out->endBlock = static_cast<uint16_t>(stmt->blocks + 1);
        if (!haveFirst) {
            firstItems = items;
            haveFirst = true;
        }
        if (items.size() != firstItems.size())
            return Fail(RC_ENG_UNION_SELECT_LISTS_DO_NOT), false;
        for (const rcParseNode *e : items) {
            rcExpSlot slot = 0;
            if (rcExpCompile(&stmt->env, e, &slot, 0) < 0)
                return false;
            out->slots.push_back(slot);
        }
        out->root = plan->root;
        return true;
    }

    // The inputs of a union node: inside a UNION every SELECT block below;
    // inside a UNION ALL the blocks and the UNION ALLs below, and each UNION
    // below as one input of its own duplicate-free rows.
    bool Gather(const rcParseNode *n, bool distinct, std::vector<Input> *out)
    {
        if (n == nullptr)
            return Fail(RC_MSG_GENERAL_ERROR), false;
        if (n->id == RC_N_SubSelectStmt) {
            out->emplace_back();
            return Branch(n, &out->back());
        }
        if (n->id != RC_N_FullSelectStmt)
            return Fail(RC_MSG_GENERAL_ERROR), false;
        const rcParseNode *op = rcPlnChild(n, RC_N_Union_Opt);
        if (op == nullptr)
            return Gather(n->child, distinct, out);
        if (distinct || IsAll(op))
            return Gather(n->child, distinct, out) && Gather(op->next, distinct, out);
        Input in;
        if (!Distinct(n, &in))
            return false;
        out->push_back(std::move(in));
        return true;
    }

    // A union node over the inputs, with its columns and value buffers.
    PlanNode *UnionNode(const std::vector<Input> &inputs, uint8_t subtype)
    {
        size_t columns = firstItems.size();
        PlanNode *node = rcPlnNewNode(stmt, PLN_UNION);
        auto *u = node != nullptr ? Alloc<rcPlnUnion>(1) : nullptr;
        if (u == nullptr)
            return nullptr;
        node->subtype = subtype;
        node->block = ++stmt->blocks; // its columns belong to no SELECT block
        node->unionState = u;
        u->inputCount = static_cast<uint16_t>(inputs.size());
        u->columnCount = static_cast<uint16_t>(columns);
        u->inputs = Alloc<rcPlnUnionInput>(inputs.size());
        u->columns = Alloc<rcPlnColumn *>(columns);
        u->values = Alloc<rcPlnUnionValue>(columns);
        if (u->inputs == nullptr || u->columns == nullptr || u->values == nullptr)
            return nullptr;
        for (size_t i = 0; i < inputs.size(); ++i) {
            rcPlnUnionInput &in = u->inputs[i];
            in.root = inputs[i].root;
            in.firstBlock = inputs[i].firstBlock;
            in.endBlock = inputs[i].endBlock;
            in.slots = Alloc<rcExpSlot>(columns);
            if (in.slots == nullptr)
                return nullptr;
            std::memcpy(in.slots, inputs[i].slots.data(), sizeof(rcExpSlot) * columns);
        }
        rcExpEnv &env = stmt->env;
        for (size_t k = 0; k < columns; ++k) {
            // The first block's type; character columns as wide as the widest.
            rcExpSlot first = inputs[0].slots[k];
            int16_t type = rcExpSlotType(&env, first);
            uint32_t length = rcExpSlotLength(&env, first);
            for (const Input &in : inputs)
                if (IsVarType(type) && rcExpSlotLength(&env, in.slots[k]) > length)
                    length = rcExpSlotLength(&env, in.slots[k]);
            auto *c = Alloc<rcPlnColumn>(1);
            if (c == nullptr)
                return nullptr;
            new (c) rcPlnColumn{};
            c->block = node->block;
            c->tableNode = node;
            c->ref.nullRow = &node->nullRow;
            c->ref.sqlType = type;
            c->ref.length = length;
            c->ref.precision = rcExpSlotPrecision(&env, first);
            c->ref.scale = rcExpSlotScale(&env, first);
            c->ref.read = &rcUnColumnReader;
            c->ref.source = c;
            c->ref.column = static_cast<uint32_t>(k);
            stmt->columns.push_back(c);
            u->columns[k] = c;
            rcPlnUnionValue &v = u->values[k];
            v.size = IsVarType(type) ? (length < kValueMax ? length : kValueMax) + 1 : 48;
            v.buffer = Alloc<char>(v.size);
            if (v.buffer == nullptr)
                return nullptr;
        }
        node->first = inputs[0].root;
        for (const Input &in : inputs)
            in.root->parent = node;
        return node;
    }

    // A temporary table over the union node, sorted on the keys (column,
    // descending) and, when allColumns, then on every other column; it keeps
    // every column of the node so that the columns read it when it is read.
    // A text longer than a temporary table's value is kept as DISTINCT keeps
    // a long key: split over piece columns, up to PLN_KEY_MAX_VALUE bytes,
    // so that the sort and the duplicate test see the whole value and the
    // column reads it back whole. Such a column's key (or, when it is no
    // key, a stored column of its own with pieces) is where it is read. An
    // ordering keeps a long value (LONGVARCHAR, LONGVARBINARY) whole in its
    // sort file instead, where the column reads it; a key of such a column
    // still sorts on its pieces.
    PlanNode *SortTable(PlanNode *node, const std::vector<std::pair<uint16_t, bool>> &order,
                        bool allColumns, const char *name)
    {
        rcPlnUnion *u = node->unionState;
        std::vector<std::pair<uint16_t, bool>> keys = order;
        if (allColumns)
            for (uint16_t k = 0; k < u->columnCount; ++k) {
                bool seen = false;
                for (const auto &key : order)
                    seen = seen || key.first == k;
                if (!seen)
                    keys.emplace_back(k, false);
            }
        PlanNode *t = rcPlnNewNode(stmt, PLN_TEMPTABLE);
        if (t == nullptr)
            return nullptr;
        t->subtype = 2;
        std::memcpy(t->name, name, 7);
        t->tempNumber = ++stmt->tempCounter;
        t->block = node->block;
        std::vector<rcPlnTempColumn> cols;
        std::vector<bool> keptWhole(u->columnCount, false);
        auto inFile = [&](const rcPlnColumn *col) {
            return rcPlnKeepsLongValues(t) &&
                   (col->ref.sqlType == SQL_LONGVARCHAR || col->ref.sqlType == SQL_LONGVARBINARY);
        };
        auto add = [&](rcPlnColumn *col, uint16_t index, bool key, bool desc) {
            rcPlnTempColumn c{};
            c.kind = key ? PLN_TTCOL_KEY : PLN_TTCOL_COLUMN;
            c.descending = desc;
            if (key && rcExpCompileColumn(&stmt->env, &col->ref, &c.slot) < 0)
                return false;
            c.column = key ? nullptr : col;
            c.sqlType = col->ref.sqlType == SQL_LONGVARCHAR ? SQL_VARCHAR : col->ref.sqlType;
            c.length = static_cast<int32_t>(col->ref.length);
            c.precScale = (static_cast<uint32_t>(col->ref.precision) << 16) | col->ref.scale;
            bool text = c.sqlType == SQL_CHAR || c.sqlType == SQL_VARCHAR;
            uint32_t len = c.length > 0 ? static_cast<uint32_t>(c.length) : 1;
            if (text && len > PLN_KEY_PIECE) {
                uint32_t kept = len < PLN_KEY_MAX_VALUE ? len : PLN_KEY_MAX_VALUE;
                c.pieces = static_cast<uint16_t>((kept - 1) / PLN_KEY_PIECE);
                if (!inFile(col)) {
                    c.column = col;
                    keptWhole[index] = true;
                }
                len = kept;
            }
            if (IsVarType(c.sqlType) && col->ref.length > RC_TMP_MAX_VALUE)
                c.length = static_cast<int32_t>(RC_TMP_MAX_VALUE);
            c.bufferSize = IsVarType(c.sqlType) ? len + 1 : 48;
            c.buffer = Alloc<char>(c.bufferSize);
            if (c.buffer == nullptr)
                return false;
            cols.push_back(c);
            for (uint16_t part = 1; part <= c.pieces; ++part) {
                rcPlnTempColumn piece = c;
                piece.pieces = 0;
                piece.part = part;
                piece.buffer = nullptr; // its bytes come from the first column's buffer
                piece.bufferSize = 0;
                cols.push_back(piece);
            }
            return true;
        };
        uint16_t keyColumns = 0;
        for (const auto &key : keys)
            if (!add(u->columns[key.first], key.first, true, key.second))
                return nullptr;
        keyColumns = static_cast<uint16_t>(cols.size());
        for (uint16_t k = 0; k < u->columnCount; ++k) {
            if (keptWhole[k])
                continue;
            if (inFile(u->columns[k])) {
                rcPlnTempColumn c = rcPlnLongColumn(u->columns[k]);
                c.bufferSize = PLN_LONG_BUFFER;
                c.buffer = Alloc<char>(c.bufferSize);
                if (c.buffer == nullptr)
                    return nullptr;
                cols.push_back(c);
            } else if (!add(u->columns[k], k, false, false)) {
                return nullptr;
            }
        }
        t->columns = Alloc<rcPlnTempColumn>(cols.size());
        if (t->columns == nullptr)
            return nullptr;
        std::copy(cols.begin(), cols.end(), t->columns);
        t->columnCount = static_cast<uint16_t>(cols.size());
        t->keyCount = keyColumns;
        t->first = node;
        node->parent = t;
        stmt->temps.push_back(t);
        return t;
    }

    PlanNode *DistinctOver(PlanNode *sorted)
    {
        PlanNode *d = rcPlnNewNode(stmt, PLN_DISTINCT);
        if (d == nullptr)
            return nullptr;
        d->sorted = sorted;
        d->first = sorted;
        sorted->parent = d;
        return d;
    }

    // Slots that read the columns of a union node.
    bool ColumnSlots(PlanNode *node, std::vector<rcExpSlot> *out)
    {
        rcPlnUnion *u = node->unionState;
        for (uint16_t k = 0; k < u->columnCount; ++k) {
            rcExpSlot slot = 0;
            if (rcExpCompileColumn(&stmt->env, &u->columns[k]->ref, &slot) < 0)
                return false;
            out->push_back(slot);
        }
        return true;
    }

    // A UNION that stands as one input of a UNION ALL above it: its rows
    // without duplicates.
    bool Distinct(const rcParseNode *n, Input *out)
    {
        std::vector<Input> inputs;
        out->firstBlock = static_cast<uint16_t>(stmt->blocks + 1);
        if (!Gather(n, true, &inputs))
            return false;
        PlanNode *node = UnionNode(inputs, 1);
        PlanNode *sorted = node != nullptr ? SortTable(node, {}, true, "DST_TT") : nullptr;
        PlanNode *d = sorted != nullptr ? DistinctOver(sorted) : nullptr;
        if (d == nullptr || !ColumnSlots(node, &out->slots))
            return false;
        out->root = d;
        out->endBlock = static_cast<uint16_t>(stmt->blocks + 1);
        return true;
    }

    // The ORDER BY of a UNION: ordinals of the select list (column names
    // are refused by the parse-time checks).
    bool OrderKeys(const rcParseNode *orderBy, std::vector<std::pair<uint16_t, bool>> *out)
    {
        const rcParseNode *list = rcPlnChild(orderBy, RC_N_SortSpecList);
        for (const rcParseNode *s = list != nullptr ? list->child : nullptr; s != nullptr;
             s = s->next) {
            if (s->id != RC_N_SortSpec)
                continue;
            const rcParseNode *dir = rcPlnChild(s, RC_N_ASCDESC_Opt);
            bool desc = dir != nullptr && dir->child != nullptr && dir->child->id == RC_T_DESC;
            const rcParseNode *n = rcPlnChild(s, RC_N_Expression);
            while (n != nullptr && n->child != nullptr && n->child->next == nullptr &&
                   (n->id == RC_N_Expression || n->id == RC_N_Primary || n->id == RC_N_Literal ||
                    n->id == RC_N_NumericLiteral || n->id == RC_N_ExactNumLit))
                n = n->child;
            unsigned long k =
                n != nullptr && n->id == RC_T_USINT_LIT ? std::strtoul(n->text, nullptr, 10) : 0;
            if (k < 1 || k > firstItems.size())
                return Fail(RC_ENG_COLUMN_IDENTIFIER_OUT_RANGE), false;
            const rcSemTypeInfo *t = static_cast<const rcSemTypeInfo *>(firstItems[k - 1]->sem);
            if (t != nullptr && (t->sqlType == SQL_BINARY || t->sqlType == SQL_LONGVARBINARY))
                return Fail(RC_ENG_UNSUPPORTED_TYPE_ORDER_BY_CLAUSE), false;
            bool seen = false;
            for (const auto &key : *out)
                seen = seen || key.first == k - 1;
            if (!seen)
                out->emplace_back(static_cast<uint16_t>(k - 1), desc);
        }
        return true;
    }
};

} // namespace

int16_t rcUnBuildPlan(rcPlnStmt *stmt, const rcParseNode *tree, const rcParseNode *orderBy)
{
    UnionBuilder b;
    b.stmt = stmt;
    const rcParseNode *op = rcPlnChild(tree, RC_N_Union_Opt);
    bool all = op != nullptr && IsAll(op);
    std::vector<Input> inputs;
    if (!b.Gather(tree, !all, &inputs) || inputs.empty())
        return PLN_ERROR;
    std::vector<std::pair<uint16_t, bool>> order;
    if (orderBy != nullptr && !b.OrderKeys(orderBy, &order))
        return PLN_ERROR;
    QueryPlan *plan = stmt->plan;
    PlanNode *node = b.UnionNode(inputs, all ? 2 : 1);
    if (node == nullptr)
        return PLN_ERROR;
    PlanNode *top = node;
    if (!all) {
        PlanNode *sorted = b.SortTable(node, order, true, orderBy != nullptr ? "ORD_TT" : "DST_TT");
        top = sorted != nullptr ? b.DistinctOver(sorted) : nullptr;
        if (top == nullptr)
            return PLN_ERROR;
        plan->distinct = top;
        plan->firstTemp = sorted;
    } else if (orderBy != nullptr) {
        top = b.SortTable(node, order, false, "ORD_TT");
        if (top == nullptr)
            return PLN_ERROR;
        plan->orderBy = top;
        plan->firstTemp = top;
    }
    plan->root = top;
    top->parent = nullptr;
    // The result columns: the first block's items, read from the union.
    stmt->items = b.firstItems;
    std::vector<rcExpSlot> slots;
    if (!b.ColumnSlots(node, &slots))
        return PLN_ERROR;
    stmt->results = slots;
    return 0;
}
