// Request handlers for selections, records, fields, arrays and transactions,
// and the table from request code to handler (see db_requests.h).
#include <algorithm>

#include "qxserver/db/db_requests_internal.h"

namespace qxdb {
namespace {

constexpr size_t kSearchLineSize = 96;
// Largest reply buffer kept for the next request of the thread.
constexpr size_t kMaxKeptReplyBuffer = size_t(1) << 20;

// Reads a 16-bit table number; fails the request when the body is short.
bool Table16(RequestContext &c, int16_t &table)
{
    if (c.in.Get16(table))
        return true;
    c.Fail(kStatusBadRequest);
    return false;
}

void SelectAll(RequestContext &c)
{
    int16_t t = 0;
    if (Table16(c, t))
        c.status = c.conn.SelectAllRecords(t);
}

void ServeSearch(RequestContext &c, bool inSelection)
{
    int16_t n = 0, table = 0;
    if (!c.in.Get16(n) || !c.in.Get16(table) || n < 1 ||
        c.in.left() < static_cast<size_t>(n) * kSearchLineSize)
        return c.Fail(kStatusBadRequest);
    SearchRequest req;
    req.table = table;
    req.lines.resize(static_cast<size_t>(n));
    for (SearchLine &l : req.lines) {
        size_t start = c.in.offset();
        uint8_t spare = 0;
        c.in.Get16(l.field);
        c.in.Get16(l.table);
        c.in.Get8(l.op);
        c.in.Get8(spare);
        if (!c.in.GetValue(l.value, 0, kFormSearch))
            return c.Fail(kStatusBadValueType);
        c.in.Get8(l.conj);
        c.in.Skip(start + kSearchLineSize - c.in.offset());
    }
    int32_t found = 0;
    c.status = inSelection ? c.conn.SearchInSelection(req, found) : c.conn.Search(req, found);
    if (c.status == kOk)
        c.out.Put32(found);
}

void Search(RequestContext &c) { ServeSearch(c, false); }
void SearchInSelection(RequestContext &c) { ServeSearch(c, true); }

void Sort(RequestContext &c)
{
    int16_t n = 0;
    SortRequest req;
    if (!c.in.Get16(n) || !c.in.Get16(req.table) || n < 1 ||
        c.in.left() < static_cast<size_t>(n) * kSearchLineSize)
        return c.Fail(kStatusBadRequest);
    for (int i = 0; i < n; ++i) {
        SortKey k;
        uint8_t dir = 0;
        c.in.Get16(k.field);
        c.in.Get16(k.table);
        c.in.Get8(dir);
        if (dir != 3 && dir != 5)
            return c.Fail(kStatusBadRequest);
        k.ascending = dir == 3;
        req.keys.push_back(k);
        c.in.Skip(kSearchLineSize - 5);
    }
    c.status = c.conn.Sort(req);
}

void GotoSelected(RequestContext &c)
{
    int32_t pos = 0;
    int16_t t = 0;
    if (!c.in.Get32(pos) || !Table16(c, t))
        return c.Fail(kStatusBadRequest);
    c.status = c.conn.GotoSelectedRecord(t, pos);
}

void GotoRecord(RequestContext &c)
{
    int32_t zero = 0, rec = 0;
    int16_t t = 0;
    if (!c.in.Get32(zero) || !c.in.Get16(t) || !c.in.Get32(rec))
        return c.Fail(kStatusBadRequest);
    c.status = c.conn.GotoRecord(t, rec);
}

void SelectionInfoReq(RequestContext &c)
{
    int16_t t = 0;
    if (!Table16(c, t))
        return;
    SelectionInfo info;
    c.status = c.conn.GetSelectionInfo(t, info);
    if (c.status != kOk)
        return;
    c.out.Put32(info.recordsInTable);
    c.out.Put32(info.recordsInSelection);
    c.out.Put32(info.position);
    c.out.Put32(info.record);
}

void RecordsInFile(RequestContext &c)
{
    int16_t t = 0;
    int32_t n = 0;
    if (!Table16(c, t))
        return;
    c.status = c.conn.RecordsInFile(t, n);
    if (c.status == kOk)
        c.out.Put32(n);
}

void AutoSequence(RequestContext &c)
{
    int16_t t = 0;
    int32_t n = 0;
    if (!Table16(c, t))
        return;
    c.status = c.conn.AutoSequenceNumber(t, n);
    if (c.status == kOk)
        c.out.Put32(n);
}

// Field values of the current record: n 32-bit offsets from the start of the
// body, then per field its 16-bit type and value.
void ServeFields(RequestContext &c, bool related, bool formatted)
{
    int16_t n = 0, table = 0;
    if (!c.in.Get16(n) || !c.in.Get16(table) || n < 0 ||
        c.in.left() < static_cast<size_t>(n) * (related ? 4 : 2))
        return c.Fail(kStatusBadRequest);
    std::vector<FieldRef> refs(static_cast<size_t>(n));
    for (FieldRef &r : refs) {
        if (related)
            c.in.Get16(r.table);
        else
            r.table = table;
        c.in.Get16(r.field);
    }
    (void)formatted; // format strings after the list are not applied
    std::vector<Value> vals;
    int16_t st = c.conn.GetFields(table, refs, vals);
    if (st != kOk && st != kStatusRecordLockedRead)
        return c.Fail(st);
    c.status = st;
    size_t base = c.out.size();
    c.out.PutZeros(4 * vals.size());
    for (size_t i = 0; i < vals.size(); ++i) {
        c.out.Set32(base + 4 * i, static_cast<int64_t>(c.out.size() - base));
        c.out.Put16(vals[i].type);
        c.out.PutValue(vals[i], kFormFields);
    }
}

void GetFields(RequestContext &c) { ServeFields(c, false, false); }
void GetRelatedFields(RequestContext &c) { ServeFields(c, true, false); }
void GetFormattedFields(RequestContext &c) { ServeFields(c, true, true); }

void Unlock(RequestContext &c)
{
    int16_t t = 0;
    if (Table16(c, t))
        c.status = c.conn.UnlockCurrentRecord(t);
}

void ServeRecordBuffer(RequestContext &c, bool create)
{
    RecordChange ch;
    if (!c.in.Get16(ch.table))
        return c.Fail(kStatusBadRequest);
    const TableDef *def = c.conn.db().Definition(ch.table);
    if (def == nullptr)
        return c.Fail(kStatusBadTable);
    while (c.in.left() > 0) {
        int16_t field = 0, type = 0;
        Value v;
        if (!c.in.Get16(field) || !c.in.Get16(type))
            return c.Fail(kStatusBadRequest);
        if (!QxdbIsKnownType(type))
            return c.Fail(kStatusBadValueType);
        if (!c.in.GetValue(v, type, kFormFields))
            return c.Fail(c.in.RealRefused() ? kStatusBadValueType : kStatusBadRequest);
        ch.values.emplace_back(field, std::move(v));
    }
    c.status = create ? c.conn.NewRecord(ch) : c.conn.ModifyRecord(ch);
}

void ModifyRecord(RequestContext &c) { ServeRecordBuffer(c, false); }
void NewRecord(RequestContext &c) { ServeRecordBuffer(c, true); }

void DeleteSelected(RequestContext &c)
{
    int16_t t = 0;
    if (Table16(c, t))
        c.status = c.conn.DeleteSelectedRecords(t);
}

void DeleteCurrent(RequestContext &c)
{
    int32_t zero = 0;
    int16_t t = 0;
    if (!c.in.Get32(zero) || !Table16(c, t))
        return c.Fail(kStatusBadRequest);
    c.status = c.conn.DeleteCurrentRecord(t);
}

void ReadOnly(RequestContext &c)
{
    int16_t t = 0;
    if (Table16(c, t))
        c.status = c.conn.SetReadWriteMode(t, false);
}

void ReadWrite(RequestContext &c)
{
    int16_t t = 0;
    if (Table16(c, t))
        c.status = c.conn.SetReadWriteMode(t, true);
}

void Distinct(RequestContext &c)
{
    int16_t minusTable = 0, field = 0;
    if (!c.in.Get16(minusTable) || !c.in.Get16(field))
        return c.Fail(kStatusBadRequest);
    std::vector<Value> vals;
    c.status = c.conn.DistinctValues(-minusTable, field, vals);
    if (c.status != kOk)
        return;
    for (const Value &v : vals)
        c.out.PutValue(v, kFormArray);
    c.out.Put32(static_cast<int64_t>(vals.size()));
}

void Shrink(RequestContext &c)
{
    int32_t n = 0;
    int16_t t = 0;
    if (!c.in.Get32(n) || !Table16(c, t))
        return c.Fail(kStatusBadRequest);
    c.status = c.conn.ShrinkSelection(t, n);
}

// Selection array: the whole selection (table > 0) or the window first..last
// (minus the table number, then the two positions after the pairs).
void SelectionArray(RequestContext &c)
{
    int16_t n = 0, table = 0;
    if (!c.in.Get16(n) || !c.in.Get16(table) || n < 1 || c.in.left() < static_cast<size_t>(n) * 4)
        return c.Fail(kStatusBadRequest);
    std::vector<FieldRef> cols(static_cast<size_t>(n));
    for (FieldRef &r : cols) {
        c.in.Get16(r.table);
        c.in.Get16(r.field);
    }
    int32_t first = 0, last = INT32_MAX - 1;
    if (table < 0) {
        table = static_cast<int16_t>(-table);
        if (!c.in.Get32(first) || !c.in.Get32(last))
            return c.Fail(kStatusBadRequest);
    }
    // The values go straight from the records into the reply.
    class ArrayWriter final : public ValueSink {
    public:
        explicit ArrayWriter(Writer &w) : w_(w) {}
        void Rows(int32_t rows) override { w_.Put32(rows); }
        void Put(const Value &v) override { w_.PutValue(v, kFormArray); }

    private:
        Writer &w_;
    } sink(c.out);
    int32_t rows = 0;
    c.status = c.conn.SelectionToArray(table, cols, first, last, sink, rows);
    if (c.status != kOk)
        c.out.bytes().clear();
}

// Array to selection: only the record-number form {1 column of field 0,
// type 9} is taken.
void ArrayToSelection(RequestContext &c)
{
    int16_t n = 0, table = 0, t = 0, f = 0, type = 0;
    int32_t rows = 0;
    if (!c.in.Get16(n) || !c.in.Get16(table) || n != 1 || !c.in.Get16(t) || !c.in.Get16(f) ||
        !c.in.Get16(type) || f != 0 || type != kTypeLongInt || !c.in.Get32(rows) || rows < 0 ||
        c.in.left() < static_cast<size_t>(rows) * 4)
        return c.Fail(kStatusBadRequest);
    std::vector<int32_t> recs(static_cast<size_t>(rows));
    for (int32_t &r : recs)
        c.in.Get32(r);
    c.status = c.conn.ArrayToSelection(table, recs);
}

void StartTxn(RequestContext &c) { c.status = c.conn.StartTransaction(); }
void CommitTxn(RequestContext &c) { c.status = c.conn.Commit(); }
void RollBackTxn(RequestContext &c) { c.status = c.conn.RollBack(); }

void ServeAggregate(RequestContext &c, Aggregate kind)
{
    int16_t field = 0, table = 0;
    if (!c.in.Get16(field) || !c.in.Get16(table))
        return c.Fail(kStatusBadRequest);
    double r = 0;
    c.status = c.conn.AggregateField(kind, table, field, r);
    if (c.status == kOk)
        c.out.PutReal(r);
}

void Sum(RequestContext &c) { ServeAggregate(c, kAggSum); }
void Average(RequestContext &c) { ServeAggregate(c, kAggAverage); }
void Min(RequestContext &c) { ServeAggregate(c, kAggMin); }
void Max(RequestContext &c) { ServeAggregate(c, kAggMax); }

struct Entry {
    int16_t code;
    RequestHandler handler;
};

// Sorted by code.
constexpr Entry kHandlers[] = {
    {9, DeleteCurrent},
    {11, StartTxn},
    {12, CommitTxn},
    {13, RollBackTxn},
    {14, QxdbServeSetSemaphore},
    {15, QxdbServeClearSemaphore},
    {16, DeleteSelected},
    {17, SelectAll},
    {18, RecordsInFile},
    {22, GotoRecord},
    {23, SelectionInfoReq},
    {35, Search},
    {36, Sort},
    {38, QxdbServeNothing},
    {49, GotoSelected},
    {50, QxdbServeFileDefinition},
    {51, QxdbServeCountFiles},
    {52, GetFields},
    {53, Unlock},
    {54, ModifyRecord},
    {55, NewRecord},
    {64, GetRelatedFields},
    {65, QxdbServeFieldNumbers},
    {69, QxdbServeProcessList},
    {74, QxdbServeUsersAndGroups},
    {83, QxdbServeCopySelection},
    {84, QxdbServeUseSelection},
    {85, QxdbServeKillSelection},
    {86, QxdbServeMoveSelection},
    {88, AutoSequence},
    {91, SelectionArray},
    {92, ArrayToSelection},
    {94, Distinct},
    {95, ReadOnly},
    {96, ReadWrite},
    {97, SearchInSelection},
    {99, QxdbServeFileList},
    {101, QxdbServeUserCount},
    {102, QxdbServeUserCount},
    {103, Sum},
    {104, Average},
    {105, Min},
    {106, Max},
    {109, QxdbServeReadData},
    {110, QxdbServeWriteData},
    {111, QxdbServeNothing},
    {112, QxdbServeNothing},
    {113, QxdbServeNothing},
    {116, QxdbServeNothing},
    {123, Shrink},
    {126, QxdbServeServerDate},
    {127, QxdbServeServerTime},
    {141, GetFormattedFields},
    {146, QxdbServeExecuteOnServer},
    {147, QxdbServeProcessNumber},
    {152, QxdbServeIsInSet},
    {153, QxdbServeRecordsInSet},
    {154, QxdbServeCreateSet},
    {155, QxdbServeCreateEmptySet},
    {156, QxdbServeAddRemoveSet},
    {159, QxdbServeClearSet},
    {160, QxdbServeUseSet},
    {161, QxdbServeCombineSets},
    {162, QxdbServeCopySet},
};

RequestHandler Find(int16_t code)
{
    auto it = std::lower_bound(std::begin(kHandlers), std::end(kHandlers), code,
                               [](const Entry &e, int16_t c) { return e.code < c; });
    return it != std::end(kHandlers) && it->code == code ? it->handler : nullptr;
}

} // namespace

bool QxdbServesCode(int16_t code) { return Find(code) != nullptr; }

Reply QxdbServeRequest(Connection &conn, int16_t code, const uint8_t *body, size_t length,
                       const WireOptions &opt)
{
    Reply reply;
    RequestHandler h = Find(code);
    if (h == nullptr || (body == nullptr && length > 0)) {
        reply.status = kStatusBadRequest;
        return reply;
    }
    // Replies are built in a buffer this thread keeps from request to request,
    // so a window of records grows no vector value by value; the reply takes
    // one copy of exactly its size.
    thread_local std::vector<uint8_t> scratch;
    RequestContext ctx{conn, Reader(body, length, opt.bigEndian), Writer(opt.bigEndian), opt};
    ctx.out.bytes().swap(scratch);
    ctx.out.bytes().clear();
    h(ctx);
    reply.status = ctx.status;
    if (ctx.status == kOk || ctx.status == kStatusRecordLockedRead)
        reply.body = ctx.out.bytes();
    ctx.out.bytes().swap(scratch);
    if (scratch.capacity() > kMaxKeptReplyBuffer)
        std::vector<uint8_t>().swap(scratch);
    return reply;
}

} // namespace qxdb
