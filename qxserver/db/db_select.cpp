// Selections of a connection: select-all, searches, positioning, field reads,
// distinct values and aggregates (see db_database.h; sorts are in
// db_sort.cpp, arrays of values in db_window.cpp).
//
// A search reads its lines left to right: the first line gives the start
// value, each later line combines its match with the result so far by its
// conjunction (AND, OR, AND NOT), with no precedence between them. The found
// records form the new selection in record-number order.
#include <algorithm>

#include "qxserver/db/db_database.h"
#include "qxserver/db/db_text.h"

namespace qxdb {
namespace {

bool IsTextType(int t) { return t == kTypeAlpha || t == kTypeText; }
bool IsNumberType(int t)
{
    return t == kTypeReal || t == kTypeBoolean || t == kTypeInteger || t == kTypeLongInt ||
           t == kTypeTime;
}
double AsDouble(const Value &v)
{
    return v.type == kTypeReal ? v.real : static_cast<double>(v.num);
}

// One comparison of a search, ready to run.
struct SearchStep {
    size_t field; // index in the record
    uint8_t op;
    bool negate;
    uint8_t conj; // how it joins the result so far: first, AND or OR
    const Value *value;
};

// Conjunction 3 is AND NOT; a first line with conjunction 3 starts with the
// negation of its comparison.
std::vector<SearchStep> PlanSearch(const SearchRequest &req)
{
    std::vector<SearchStep> steps;
    steps.reserve(req.lines.size());
    for (size_t i = 0; i < req.lines.size(); ++i) {
        const SearchLine &l = req.lines[i];
        uint8_t conj = steps.empty() ? kConjFirst : (l.conj == kConjOr ? kConjOr : kConjAnd);
        steps.push_back(
            {static_cast<size_t>(l.field) - 1, l.op, l.conj == kConjAndNot, conj, &l.value});
    }
    return steps;
}

bool Matches(const std::vector<SearchStep> &steps, const Value *values)
{
    bool result = false;
    for (const SearchStep &st : steps) {
        int c = QxdbCompareValues(values[st.field], *st.value);
        bool m = false;
        switch (st.op) {
        case kOpEq: m = c == 0; break;
        case kOpNe: m = c != 0; break;
        case kOpGt: m = c > 0; break;
        case kOpGe: m = c >= 0; break;
        case kOpLt: m = c < 0; break;
        default: m = c <= 0; break;
        }
        if (st.negate)
            m = !m;
        if (st.conj == kConjFirst)
            result = m;
        else if (st.conj == kConjOr)
            result = result || m;
        else
            result = result && m;
    }
    return result;
}

} // namespace

bool QxdbComparable(int fieldType, int valueType)
{
    if (IsTextType(fieldType))
        return IsTextType(valueType);
    if (IsNumberType(fieldType))
        return IsNumberType(valueType);
    if (fieldType == kTypeDate)
        return valueType == kTypeDate;
    return false;
}

int QxdbCompareValues(const Value &a, const Value &b)
{
    if (IsTextType(a.type) && IsTextType(b.type))
        return QxdbCompareText(a.bytes, b.bytes);
    if (IsNumberType(a.type) && IsNumberType(b.type)) {
        return QxdbCompareReals(AsDouble(a), AsDouble(b));
    }
    if (a.type == kTypeDate && b.type == kTypeDate) {
        if (a.year != b.year)
            return a.year < b.year ? -1 : 1;
        if (a.month != b.month)
            return a.month < b.month ? -1 : 1;
        if (a.day != b.day)
            return a.day < b.day ? -1 : 1;
        return 0;
    }
    // Pictures and blobs: by their bytes, so that orders stay total.
    if (a.bytes != b.bytes)
        return a.bytes < b.bytes ? -1 : 1;
    return 0;
}

int16_t Connection::SelectAllRecords(int table)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    if (db_.TableAt(table) == nullptr)
        return kStatusBadTable;
    TableState &s = State(table);
    s.selection = VisibleRecords(table);
    SetCurrent(table, s.selection.empty() ? -1 : s.selection.front());
    return kOk;
}

int16_t Connection::CheckSearch(const SearchRequest &req, int &table) const
{
    table = req.table;
    if (table < 1 || table > db_.TableCount())
        return kStatusBadTable;
    if (req.lines.empty())
        return kStatusBadRequest;
    const TableDef &def = db_.tables[static_cast<size_t>(table) - 1].def;
    for (size_t i = 0; i < req.lines.size(); ++i) {
        const SearchLine &l = req.lines[i];
        if (l.table != 0 && l.table != table)
            return kStatusBadTable;
        if (l.field < 1 || static_cast<size_t>(l.field) > def.fields.size())
            return kStatusBadField;
        if (l.op < kOpEq || l.op > kOpLe)
            return kStatusBadRequest;
        if (l.conj > kConjAndNot)
            return kStatusBadRequest;
        if (!QxdbComparable(def.fields[static_cast<size_t>(l.field) - 1].type, l.value.type))
            return kStatusBadValueType;
    }
    return kOk;
}

int16_t Connection::Search(const SearchRequest &req, int32_t &found)
{
    found = 0;
    std::lock_guard<std::mutex> guard(db_.mu_);
    int table = 0;
    if (int16_t st = CheckSearch(req, table); st != kOk)
        return st;
    std::vector<SearchStep> steps = PlanSearch(req);
    std::vector<int32_t> hits;
    if (!PendingOn(table)) {
        // No change of this connection pending on the table: the committed
        // records are what it sees. One equality on a unique or indexed
        // field is answered by the field's index (it orders by the comparison
        // the search uses, equal values by record number), anything else by
        // a walk.
        const Table &t = db_.tables[static_cast<size_t>(table) - 1];
        bool indexed = steps.size() == 1 && steps[0].op == kOpEq && !steps[0].negate &&
                       t.ForEachEqual(steps[0].field, *steps[0].value,
                                      [&hits](int32_t r) { hits.push_back(r); });
        if (!indexed)
            t.ForEach([&](int32_t r, const Value *values) {
                if (Matches(steps, values))
                    hits.push_back(r);
            });
    } else {
        for (int32_t r : VisibleRecords(table))
            if (Matches(steps, Visible(table, r)))
                hits.push_back(r);
    }
    TableState &s = State(table);
    s.selection = std::move(hits);
    SetCurrent(table, s.selection.empty() ? -1 : s.selection.front());
    found = static_cast<int32_t>(s.selection.size());
    return kOk;
}

int16_t Connection::SearchInSelection(const SearchRequest &req, int32_t &found)
{
    found = 0;
    std::lock_guard<std::mutex> guard(db_.mu_);
    int table = 0;
    if (int16_t st = CheckSearch(req, table); st != kOk)
        return st;
    std::vector<SearchStep> steps = PlanSearch(req);
    TableState &s = State(table);
    std::vector<int32_t> hits;
    for (int32_t r : s.selection) {
        const Value *v = Visible(table, r);
        if (v != nullptr && Matches(steps, v))
            hits.push_back(r);
    }
    s.selection = std::move(hits);
    SetCurrent(table, s.selection.empty() ? -1 : s.selection.front());
    found = static_cast<int32_t>(s.selection.size());
    return kOk;
}

int16_t Connection::GotoSelectedRecord(int table, int32_t position)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    if (db_.TableAt(table) == nullptr)
        return kStatusBadTable;
    TableState &s = State(table);
    if (position < 0 || static_cast<size_t>(position) >= s.selection.size())
        return kStatusPosition;
    int32_t r = s.selection[static_cast<size_t>(position)];
    SetCurrent(table, r);
    if (s.readWrite)
        db_.locks_.emplace(std::make_pair(table, r), Database::Lock{this, false});
    return kOk;
}

int16_t Connection::GotoRecord(int table, int32_t record)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    if (db_.TableAt(table) == nullptr)
        return kStatusBadTable;
    if (Visible(table, record) == nullptr)
        return kStatusNoCurrentRecord;
    SetCurrent(table, record);
    if (State(table).readWrite)
        db_.locks_.emplace(std::make_pair(table, record), Database::Lock{this, false});
    return kOk;
}

int16_t Connection::GetSelectionInfo(int table, SelectionInfo &info)
{
    info = SelectionInfo{};
    std::lock_guard<std::mutex> guard(db_.mu_);
    if (db_.TableAt(table) == nullptr)
        return kStatusBadTable;
    TableState &s = State(table);
    info.recordsInTable = VisibleCount(table);
    info.recordsInSelection = static_cast<int32_t>(s.selection.size());
    info.record = s.current;
    if (s.current >= 0) {
        auto it = std::find(s.selection.begin(), s.selection.end(), s.current);
        if (it != s.selection.end())
            info.position = static_cast<int32_t>(it - s.selection.begin());
    }
    return kOk;
}

int16_t Connection::RecordsInFile(int table, int32_t &count)
{
    count = 0;
    std::lock_guard<std::mutex> guard(db_.mu_);
    if (db_.TableAt(table) == nullptr)
        return kStatusBadTable;
    count = VisibleCount(table);
    return kOk;
}

int16_t Connection::AutoSequenceNumber(int table, int32_t &number)
{
    number = -1;
    std::lock_guard<std::mutex> guard(db_.mu_);
    Table *t = db_.TableAt(table);
    if (t == nullptr)
        return kStatusBadTable;
    if (t->sequence == INT32_MAX)
        return kStatusBadRequest;
    number = ++t->sequence;
    return kOk;
}

int16_t Connection::GetFields(int table, const std::vector<FieldRef> &fields,
                              std::vector<Value> &out)
{
    out.clear();
    std::lock_guard<std::mutex> guard(db_.mu_);
    if (db_.TableAt(table) == nullptr)
        return kStatusBadTable;
    bool locked = false;
    out.reserve(fields.size());
    for (const FieldRef &f : fields) {
        int t = f.table == 0 ? table : f.table;
        const TableDef *def = db_.Definition(t);
        if (def == nullptr)
            return kStatusBadTable;
        if (f.field < 1 || static_cast<size_t>(f.field) > def->fields.size())
            return kStatusBadField;
        int32_t cur = State(t).current;
        const Value *v = cur >= 0 ? Visible(t, cur) : nullptr;
        if (v == nullptr)
            return kStatusNoCurrentRecord;
        out.push_back(v[f.field - 1]);
        TakeFreeLock(t);
        locked = locked || LockedByOther(t, cur);
    }
    return locked ? kStatusRecordLockedRead : kOk;
}

int16_t Connection::ShrinkSelection(int table, int32_t count)
{
    std::lock_guard<std::mutex> guard(db_.mu_);
    if (db_.TableAt(table) == nullptr)
        return kStatusBadTable;
    if (count < 0)
        return kStatusBadRequest;
    TableState &s = State(table);
    if (static_cast<size_t>(count) < s.selection.size())
        s.selection.resize(static_cast<size_t>(count));
    SetCurrent(table, s.selection.empty() ? -1 : s.selection.front());
    return kOk;
}

int16_t Connection::DistinctValues(int table, int field, std::vector<Value> &out)
{
    out.clear();
    std::lock_guard<std::mutex> guard(db_.mu_);
    const TableDef *def = db_.Definition(table);
    if (def == nullptr)
        return kStatusBadTable;
    if (field < 1 || static_cast<size_t>(field) > def->fields.size())
        return kStatusBadField;
    for (int32_t r : State(table).selection)
        if (const Value *v = Visible(table, r))
            out.push_back(v[field - 1]);
    std::stable_sort(out.begin(), out.end(),
                     [](const Value &a, const Value &b) { return QxdbCompareValues(a, b) < 0; });
    out.erase(
        std::unique(out.begin(), out.end(),
                    [](const Value &a, const Value &b) { return QxdbCompareValues(a, b) == 0; }),
        out.end());
    return kOk;
}

int16_t Connection::AggregateField(Aggregate kind, int table, int field, double &result)
{
    result = 0.0;
    std::lock_guard<std::mutex> guard(db_.mu_);
    const TableDef *def = db_.Definition(table);
    if (def == nullptr)
        return kStatusBadTable;
    if (field < 1 || static_cast<size_t>(field) > def->fields.size())
        return kStatusBadField;
    if (!IsNumberType(def->fields[static_cast<size_t>(field) - 1].type))
        return kStatusBadValueType;
    double sum = 0.0;
    size_t n = 0;
    for (int32_t r : State(table).selection) {
        const Value *v = Visible(table, r);
        if (v == nullptr)
            continue;
        double x = AsDouble(v[field - 1]);
        if (n == 0)
            result = x;
        else if (kind == kAggMin && QxdbCompareReals(x, result) < 0)
            result = x;
        else if (kind == kAggMax && QxdbCompareReals(x, result) > 0)
            result = x;
        sum += x;
        ++n;
    }
    if (kind == kAggSum)
        result = sum;
    if (kind == kAggAverage)
        result = n ? sum / static_cast<double>(n) : 0.0;
    return kOk;
}

} // namespace qxdb
