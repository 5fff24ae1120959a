// Pushed-down filters: a DrmFilterTree turned into one flat server search.
//
// The server reads search lines strictly left to right, each line joined to
// the result so far by its conjunction (AND, OR). A tree fits when at most
// one chain of nested groups changes the operator: the check finds the
// deepest comparison of that chain (the start node), and the lines are
// written from there towards the root, each level adding its other operand.
// So a AND (b OR c) becomes b, OR c, AND a.
//
// A tree that does not fit whole but whose root is an AND gives a part: its
// operands (through nested ANDs) that fit alone are kept, at most one of
// them a group, written first, and the comparisons after it with AND; the
// answer is then -2004 and the engine tests the whole condition itself.
//
// Refused (-2003, the engine evaluates the filter itself): NOT, every other
// operator, comparisons of two columns or two values, values of a kind the
// field cannot be searched with (text against numbers, long text, a text too
// long for a search value), comparisons other than = on texts and <, <=, <>
// on dates (see Searchable), and malformed trees. A comparison written value
// first (5 < col) is sent as col > 5. A null filter takes the cursor's
// filter away.
#include <algorithm>
#include <cstring>

#include "driver/Sources/drm.h"
#include "driver/Sources/drm_catalog.h"
#include "driver/Sources/drm_database.h"
#include "driver/Sources/drm_session.h"
#include "driver/Sources/drm_table.h"
#include "driver/Sources/drm_values.h"

namespace {

enum : uint32_t {
    kRootCode = 1000,
    kAnd = 1001,
    kOr = 1002,
    kNot = 1003,
    kEq = 1004,
    kLe = 1005,
    kGe = 1006,
    kLt = 1007,
    kGt = 1008,
    kNe = 1009,
    kColumnNode = 500,
    kLastValueType = 104,
};

constexpr int kMaxDepth = 64;

uint8_t OperatorOf(uint32_t code)
{
    switch (code) {
    case kEq: return 1;
    case kLe: return 6;
    case kGe: return 4;
    case kLt: return 5;
    case kGt: return 3;
    case kNe: return 2;
    default: return 0;
    }
}

// The comparison seen from the other side: 5 < col is col > 5.
uint32_t Mirrored(uint32_t code)
{
    switch (code) {
    case kLe: return kGe;
    case kGe: return kLe;
    case kLt: return kGt;
    case kGt: return kLt;
    default: return code;
    }
}

uint8_t ConjunctionOf(uint32_t parentCode)
{
    switch (parentCode) {
    case kAnd: return 1;
    case kOr: return 2;
    default: return 0;
    }
}

// Which values the server compares with each other: 1 texts, 2 numbers,
// 3 dates, 0 not searchable.
int KindOf(int32_t serverType)
{
    switch (serverType) {
    case QX_TYPE_ALPHA:
    case QX_TYPE_TEXT: return 1;
    case QX_TYPE_REAL:
    case QX_TYPE_BOOLEAN:
    case QX_TYPE_INTEGER:
    case QX_TYPE_LONGINT:
    case QX_TYPE_TIME: return 2;
    case QX_TYPE_DATE: return 3;
    default: return 0;
    }
}

struct FilterWork {
    const uint32_t *tree = nullptr;
    uint32_t words = 0;
    const uint8_t *data = nullptr;
    uint32_t dataSize = 0;
    uint32_t root = 1; // the node the lines are written for
    uint32_t start = 0;
    uint32_t startFlag = 0;
    int startDepth = 0;
    std::vector<uint32_t> parent;
    DrmSearch *search = nullptr;
    const VDRMFieldDefArray *fields = nullptr;
    uint32_t codePage = 0;
};

bool Has(const FilterWork &w, uint32_t node, uint32_t n)
{
    return node >= 1 && node < w.words && w.words - node >= n;
}

bool IsColumn(const FilterWork &w, uint32_t node)
{
    return Has(w, node, 3) && w.tree[node] == kColumnNode;
}

bool IsValue(const FilterWork &w, uint32_t node)
{
    return Has(w, node, 4) && w.tree[node] <= kLastValueType;
}

uint8_t FieldTypeOf(const FilterWork &w, uint32_t column)
{
    if (!w.fields || column < 1 || column > static_cast<uint32_t>(w.fields->oCount()))
        return 0xFF;
    return DrmFieldType(w.fields->oGet(static_cast<int32_t>(column - 1)).row);
}

// Whether the server's search can compare the column with the value node
// (column on the left, comparison code `code`) and find the rows the engine
// would. The engine reads an empty text and the date 0/0/0 as NULL, which
// no comparison holds for, while the server takes them as the least values:
// <, <= and <> would find them, so those stay with the engine on texts and
// dates. Texts are ordered differently too (the server by upper-cased
// character codes, the engine by its collation, with punctuation before
// digits and accented letters beside their base letter): only = is pushed.
bool Searchable(const FilterWork &w, uint32_t column, uint32_t value, uint32_t code)
{
    const uint32_t typeId = w.tree[value];
    const uint32_t length = w.tree[value + 1];
    const uint32_t isParam = w.tree[value + 2];
    if (typeId == kDrmTypeDateTime)
        return false; // the time of day would be dropped
    int32_t serverType = DrmDefaultServerType(typeId);
    if (serverType < 0 || serverType == QX_TYPE_TEXT || serverType == QX_TYPE_PICTURE)
        return false;
    int kind = KindOf(serverType);
    if (kind == 0 || kind != KindOf(FieldTypeOf(w, column)))
        return false;
    if (kind == 1 && code != kEq)
        return false;
    if (kind == 3 && (code == kLt || code == kLe || code == kNe))
        return false;
    if (isParam == 1) // a text field holds values longer than any search value
        return FieldTypeOf(w, column) != QX_TYPE_TEXT;
    if (isParam != 0)
        return false;
    uint32_t offset = w.tree[value + 3];
    if (!w.data || offset > w.dataSize || length > w.dataSize - offset)
        return false;
    return serverType != QX_TYPE_ALPHA || length <= kDrmAlphaMaxWrite;
}

// 0 refused, 1 accepted, 2 accepted with a change of operator inside.
int CheckNode(FilterWork &w, uint32_t node, uint32_t parentCode, uint32_t flag, int depth)
{
    if (depth > kMaxDepth || !Has(w, node, 2))
        return 0;
    if (w.start == 0 || (flag == 1 && w.startFlag == 0) ||
        (flag == w.startFlag && depth > w.startDepth)) {
        w.start = node;
        w.startFlag = flag;
        w.startDepth = depth;
    }
    const uint32_t code = w.tree[node];
    if (code == kAnd || code == kOr) {
        if (w.tree[node + 1] != 2 || !Has(w, node, 4))
            return 0; // a group of other than two operands is left to the engine
        uint32_t operandFlag = (parentCode == kRootCode || parentCode == code) ? 0 : 1;
        int result = static_cast<int>(operandFlag) + 1;
        uint32_t first = w.tree[node + 2], second = w.tree[node + 3];
        if (first >= w.words || second >= w.words)
            return 0;
        w.parent[first] = node;
        w.parent[second] = node;
        int r1 = CheckNode(w, first, code, operandFlag, depth + 1);
        if (r1 == 0)
            return 0;
        int r2 = CheckNode(w, second, code, operandFlag, depth + 1);
        if (r2 == 0 || (r1 == 2 && r2 == 2))
            return 0;
        return (r1 == 2 || r2 == 2) ? 2 : result;
    }
    if (code >= kEq && code <= kNe) {
        if (w.tree[node + 1] != 2 || !Has(w, node, 4))
            return 0;
        uint32_t a = w.tree[node + 2], b = w.tree[node + 3];
        if (a >= w.words || b >= w.words)
            return 0;
        w.parent[a] = node;
        w.parent[b] = node;
        if (IsColumn(w, a) && IsValue(w, b))
            return Searchable(w, w.tree[a + 2], b, code) ? 1 : 0;
        if (IsValue(w, a) && IsColumn(w, b))
            return Searchable(w, w.tree[b + 2], a, Mirrored(code)) ? 1 : 0;
        return 0;
    }
    return 0; // NOT and every other operator
}

int32_t AddLines(FilterWork &w, uint32_t parentCode, uint32_t node)
{
    const uint32_t code = w.tree[node];
    int32_t result = 0;
    if (code == kAnd || code == kOr) {
        for (uint32_t operand : {w.tree[node + 2], w.tree[node + 3]}) {
            if (operand == w.start)
                continue;
            result = AddLines(w, code, operand);
            if (result != 0)
                return result;
        }
    } else {
        uint32_t a = w.tree[node + 2], b = w.tree[node + 3];
        bool columnFirst = IsColumn(w, a);
        uint32_t column = columnFirst ? a : b;
        uint32_t value = columnFirst ? b : a;
        QXSearchLine line{};
        line.field = static_cast<int16_t>(w.tree[column + 2]);
        line.table = w.search->defaultTable;
        line.op = OperatorOf(columnFirst ? code : Mirrored(code));
        line.conjunction = ConjunctionOf(parentCode);
        uint32_t typeId = w.tree[value];
        uint32_t paramId = 0;
        if (w.tree[value + 2] == 1) {
            paramId = w.tree[value + 3];
            line.value.type = static_cast<uint8_t>(DrmDefaultServerType(typeId));
        } else {
            line.value.type = 0xFF;
            uint32_t offset = w.tree[value + 3];
            int32_t status =
                DrmValueFromC(w.codePage, typeId, w.data + offset, w.tree[value + 1], &line.value);
            if (status != 0) {
                DrmFreeValue(&line.value);
                return kDrmErrNotPushed;
            }
            line.op = DrmSearchOperatorFor(line.op, line.value);
        }
        w.search->lines.push_back(line);
        w.search->paramIds.push_back(paramId);
        w.search->operators.push_back(line.op);
    }
    if (parentCode == kRootCode && node != w.root) {
        w.start = node;
        return AddLines(w, kRootCode, w.parent[node]);
    }
    return 0;
}

} // namespace

uint8_t DrmSearchOperatorFor(uint8_t op, const QXValue &value)
{
    bool empty = false;
    if (value.type == QX_TYPE_ALPHA)
        empty = std::all_of(value.alpha + 1, value.alpha + 1 + value.alpha[0],
                            [](uint8_t c) { return c == ' '; });
    else if (value.type == QX_TYPE_DATE)
        empty = value.date[0] == 0 && value.date[1] == 0 && value.date[2] == 0;
    if (!empty)
        return op;
    // Only NULL records hold the empty value: = finds nothing (nothing is
    // below the empty value), >= finds what > does.
    if (op == 1)
        return 5;
    if (op == 4)
        return 3;
    return op;
}

namespace {

// The operands of the AND at `node`, through nested ANDs of two operands.
void AndOperands(const FilterWork &w, uint32_t node, int depth, std::vector<uint32_t> *out)
{
    if (depth <= kMaxDepth && Has(w, node, 4) && w.tree[node] == kAnd && w.tree[node + 1] == 2 &&
        w.tree[node + 2] < w.words && w.tree[node + 3] < w.words) {
        AndOperands(w, w.tree[node + 2], depth + 1, out);
        AndOperands(w, w.tree[node + 3], depth + 1, out);
        return;
    }
    out->push_back(node);
}

void FreeLines(DrmSearch *search)
{
    for (QXSearchLine &line : search->lines)
        DrmFreeValue(&line.value);
    search->lines.clear();
    search->paramIds.clear();
    search->operators.clear();
}

// The lines of the whole tree: 0, kDrmErrNotPushed, or a conversion code.
int32_t WholeSearch(FilterWork &w)
{
    if (CheckNode(w, 1, kRootCode, 0, 1) == 0)
        return kDrmErrNotPushed;
    return AddLines(w, kRootCode, w.start);
}

// The lines of the operands of a root AND that fit alone: 0 (some kept),
// kDrmErrNotPushed, or a conversion code.
int32_t PartSearch(FilterWork &w)
{
    std::vector<uint32_t> operands;
    AndOperands(w, 1, 1, &operands);
    if (operands.size() < 2)
        return kDrmErrNotPushed;
    uint32_t group = 0;
    std::vector<uint32_t> comparisons;
    for (uint32_t node : operands) {
        if (!Has(w, node, 2))
            continue;
        w.start = 0;
        w.startFlag = 0;
        w.startDepth = 0;
        w.root = node;
        if (CheckNode(w, node, kRootCode, 0, 1) == 0)
            continue;
        if (w.tree[node] == kAnd || w.tree[node] == kOr) {
            if (group == 0)
                group = node;
        } else {
            comparisons.push_back(node);
        }
    }
    if (group == 0 && comparisons.empty())
        return kDrmErrNotPushed;
    if (group != 0) {
        w.start = 0;
        w.startFlag = 0;
        w.startDepth = 0;
        w.root = group;
        CheckNode(w, group, kRootCode, 0, 1);
        int32_t result = AddLines(w, kRootCode, w.start);
        if (result != 0)
            return result;
    }
    for (uint32_t node : comparisons) {
        int32_t result = AddLines(w, kAnd, node);
        if (result != 0)
            return result;
    }
    return 0;
}

} // namespace

int32_t VDRMTable::oSetFilter(const uint32_t *filter, const uint32_t *data)
{
    if (!filter) {
        search.reset();
        paramGenerationSeen = 0;
        selectionBuilt = false;
        return 0;
    }
    if (filter[0] < 8)
        return kDrmErrNotPushed;
    FilterWork w;
    w.tree = filter;
    w.words = filter[0] / 4;
    if (data) {
        w.data = reinterpret_cast<const uint8_t *>(data);
        w.dataSize = data[0];
    }
    w.fields = Fields();
    w.codePage = CodePage();
    auto made = std::make_unique<DrmSearch>();
    made->defaultTable = tableNumber;
    w.search = made.get();
    w.parent.assign(w.words, 0);
    int32_t result = WholeSearch(w);
    bool part = false;
    if (result == kDrmErrNotPushed) {
        FreeLines(made.get());
        w.parent.assign(w.words, 0);
        result = PartSearch(w);
        part = true;
    }
    if (result == 0 && !made->lines.empty())
        made->lines.front().conjunction = 0;
    if (result != 0) {
        FreeLines(made.get());
        return result;
    }
    search = std::move(made);
    paramGenerationSeen = 0;
    selectionBuilt = false; // a filter given after a build must still apply
    return part ? kDrmErrFilterPartial : 0;
}
