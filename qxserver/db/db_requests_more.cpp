// Request handlers for the catalog, named selections, sets, semaphores and
// the administration requests (see db_requests.h).

#include "platform/clock.h"
#include "qxserver/db/db_requests_internal.h"

namespace qxdb {
namespace {

constexpr size_t kSelectionNameSlot = 82; // named-selection and set bodies
constexpr size_t kIsInSetNameSlot = 83;
constexpr size_t kSemaphoreNameSlot = 32;
constexpr size_t kMaxSetName = kSelectionNameSlot - 1;

// Reads a name in a fixed slot, failing the request when it is short or the
// name does not fit.
bool SlotName(RequestContext &c, std::string &name, size_t slot)
{
    bool tooLong = false;
    if (c.in.GetName(name, slot, tooLong))
        return true;
    c.Fail(tooLong ? kStatusNameTooLong : kStatusBadRequest);
    return false;
}

// Reads a length-prefixed name that must fit the set slot.
bool SetName(RequestContext &c, std::string &name)
{
    if (!c.in.GetPrefixed(name)) {
        c.Fail(kStatusBadRequest);
        return false;
    }
    if (name.size() > kMaxSetName) {
        c.Fail(kStatusNameTooLong);
        return false;
    }
    return true;
}

void PutFieldRow(Writer &w, const FieldDef &f, bool old)
{
    w.PutName(f.name, old ? 16 : 32);
    w.Put8(f.type);
    w.Put8(0);
    w.Put16(f.length);
    w.PutZeros(old ? 2 : 4);
    // Twelve attribute numbers: 1st bit 0 mandatory, bit 1 unique;
    // 5th bit 15 indexed, with bit 14 for a unique index and bit 13 besides
    // for one on a mandatory field (the table's key).
    w.Put16((f.mandatory ? 1 : 0) | (f.unique ? 2 : 0));
    w.PutZeros(6);
    uint16_t index = 0;
    if (f.indexed)
        index = 0x8000 | (f.unique ? 0x4000 : 0) | (f.unique && f.mandatory ? 0x2000 : 0);
    w.Put16(index);
    w.PutZeros(14);
    if (!old)
        w.PutZeros(2);
}

} // namespace

void QxdbServeNothing(RequestContext &) {}

void QxdbServeCountFiles(RequestContext &c) { c.out.Put16(c.conn.db().TableCount()); }

void QxdbServeFileList(RequestContext &c)
{
    bool old = c.opt.version < 0x600;
    const Database &db = c.conn.db();
    for (int t = 1; t <= db.TableCount(); ++t)
        c.out.PutName(db.Definition(t)->name, old ? 16 : 32);
}

void QxdbServeFileDefinition(RequestContext &c)
{
    int16_t table = 0;
    if (!c.in.Get16(table))
        return c.Fail(kStatusBadRequest);
    const TableDef *def = c.conn.db().Definition(table);
    if (def == nullptr)
        return c.Fail(kStatusBadTable);
    bool old = c.opt.version < 0x600;
    c.out.Put16(static_cast<int32_t>(def->fields.size()));
    c.out.PutZeros(old ? 22 : 28);
    for (const FieldDef &f : def->fields)
        PutFieldRow(c.out, f, old);
}

// Field numbers by name: entries of a table name and a field name (32-byte
// slots each); the reply gives the count, how many were found, and a
// (table, field) pair per entry, 0 and 0 when not found.
void QxdbServeFieldNumbers(RequestContext &c)
{
    int16_t n = 0;
    if (!c.in.Get16(n) || n < 0 || c.in.left() < static_cast<size_t>(n) * 64)
        return c.Fail(kStatusBadRequest);
    const Database &db = c.conn.db();
    std::vector<std::pair<int, int>> found;
    int hits = 0;
    for (int i = 0; i < n; ++i) {
        std::string tname, fname;
        bool tooLong = false;
        int t = 0, f = 0;
        size_t start = c.in.offset();
        if (c.in.GetName(tname, 32, tooLong))
            t = db.FindTable(tname);
        c.in.Skip(start + 32 - c.in.offset());
        if (c.in.GetName(fname, 32, tooLong) && t != 0)
            f = db.FindField(t, fname);
        c.in.Skip(start + 64 - c.in.offset());
        if (f == 0)
            t = 0;
        hits += f != 0;
        found.emplace_back(t, f);
    }
    c.out.Put16(n);
    c.out.Put16(hits);
    for (auto [t, f] : found) {
        c.out.Put16(t);
        c.out.Put16(f);
    }
}

void QxdbServeUserCount(RequestContext &c) { c.out.Put16(c.conn.db().ConnectionCount()); }

void QxdbServeProcessList(RequestContext &c)
{
    std::vector<std::string> users = c.conn.db().ConnectionUsers();
    c.out.Put16(static_cast<int32_t>(users.size()));
    for (size_t i = 0; i < users.size(); ++i) {
        c.out.PutName(users[i], 32);
        c.out.PutZeros(64);
        c.out.Put32(static_cast<int64_t>(i) + 1);
        c.out.Put16(0);
    }
}

void QxdbServeUsersAndGroups(RequestContext &c)
{
    int16_t selector = 0;
    if (!c.in.Get16(selector))
        return c.Fail(kStatusBadRequest);
    const auto &users = c.conn.db().users;
    bool old = c.opt.version < 0x600;
    if (!old)
        c.out.Put16(0xA0A0);
    c.out.Put16(static_cast<int32_t>(users.size()));
    c.out.Put16(0);
    for (size_t i = 0; i < users.size(); ++i) {
        c.out.PutZeros(4);
        c.out.PutName(users[i].name, 32);
        if (old) {
            c.out.PutZeros(48);
            c.out.Put16(0);
            c.out.PutZeros(6);
        } else {
            c.out.PutZeros(64);
            c.out.PutZeros(8);
        }
        c.out.Put32(static_cast<int64_t>(i) + 1);
    }
}

// Process number: the 1-based place, in the process list, of the first
// connection of the user so named; 0 when there is none.
void QxdbServeProcessNumber(RequestContext &c)
{
    std::string name;
    if (!c.in.GetPrefixed(name))
        return c.Fail(kStatusBadRequest);
    std::vector<std::string> users = c.conn.db().ConnectionUsers();
    int number = 0;
    for (size_t i = 0; i < users.size() && number == 0; ++i)
        if (users[i] == name)
            number = static_cast<int>(i) + 1;
    c.out.Put16(number);
}

// The emulator keeps no server procedures: every call names an unknown one.
void QxdbServeExecuteOnServer(RequestContext &c)
{
    std::string name;
    bool tooLong = false;
    if (!c.in.GetName(name, 32, tooLong))
        return c.Fail(tooLong ? kStatusNameTooLong : kStatusBadRequest);
    c.Fail(kStatusUnknownName);
}

void QxdbServeServerDate(RequestContext &c)
{
    PlatDate d = PlatToday();
    c.out.Put16(d.day);
    c.out.Put16(d.month);
    c.out.Put16(d.year);
}

void QxdbServeServerTime(RequestContext &c)
{
    PlatTimeOfDay now = PlatNowTimeOfDay();
    c.out.Put32((now.hour * 60 + now.minute) * 60 + now.second);
}

// Opaque data: the first 10 bytes are the key, the rest is kept under it.
void QxdbServeWriteData(RequestContext &c)
{
    std::string key, data;
    if (!c.in.GetBytes(key, 10))
        return c.Fail(kStatusBadRequest);
    c.in.GetBytes(data, c.in.left());
    c.conn.db().WriteData(key, data);
}

void QxdbServeReadData(RequestContext &c)
{
    std::string key, data;
    if (!c.in.GetBytes(key, 10))
        return c.Fail(kStatusBadRequest);
    if (!c.conn.db().ReadData(key, data))
        return c.Fail(kStatusUnknownName);
    c.out.PutBytes(data.data(), data.size());
}

// ------------------------------------------------------- Named selections

void QxdbServeCopySelection(RequestContext &c)
{
    int16_t table = 0;
    std::string name;
    if (!c.in.Get16(table))
        return c.Fail(kStatusBadRequest);
    if (SlotName(c, name, kSelectionNameSlot))
        c.status = c.conn.CopySelection(name, table);
}

void QxdbServeMoveSelection(RequestContext &c)
{
    int16_t table = 0;
    std::string name;
    if (!c.in.Get16(table))
        return c.Fail(kStatusBadRequest);
    if (SlotName(c, name, kSelectionNameSlot))
        c.status = c.conn.MoveSelection(name, table);
}

void QxdbServeUseSelection(RequestContext &c)
{
    int16_t zero = 0, table = 0;
    std::string name;
    if (!c.in.Get16(zero))
        return c.Fail(kStatusBadRequest);
    if (!SlotName(c, name, kSelectionNameSlot))
        return;
    c.status = c.conn.UseSelection(name, table);
    if (c.status == kOk)
        c.out.Put16(table);
}

void QxdbServeKillSelection(RequestContext &c)
{
    int16_t zero = 0;
    std::string name;
    if (!c.in.Get16(zero))
        return c.Fail(kStatusBadRequest);
    if (SlotName(c, name, kSelectionNameSlot))
        c.status = c.conn.KillSelection(name);
}

// ------------------------------------------------------- Sets

namespace {

struct SetBody {
    std::string name;
    int32_t table = 0, record = 0, op = 0;
};

bool ReadSetBody(RequestContext &c, SetBody &b)
{
    if (!SlotName(c, b.name, kSelectionNameSlot))
        return false;
    if (c.in.Get32(b.table) && c.in.Get32(b.record) && c.in.Get32(b.op))
        return true;
    c.Fail(kStatusBadRequest);
    return false;
}

} // namespace

void QxdbServeCreateSet(RequestContext &c)
{
    SetBody b;
    if (ReadSetBody(c, b))
        c.status = c.conn.CreateSet(b.name, b.table);
}

void QxdbServeCreateEmptySet(RequestContext &c)
{
    SetBody b;
    if (ReadSetBody(c, b))
        c.status = c.conn.CreateEmptySet(b.name, b.table);
}

void QxdbServeAddRemoveSet(RequestContext &c)
{
    SetBody b;
    if (!ReadSetBody(c, b))
        return;
    c.status = b.op == 1 ? c.conn.AddToSet(b.name, b.table, b.record)
                         : c.conn.RemoveFromSet(b.name, b.table, b.record);
}

void QxdbServeUseSet(RequestContext &c)
{
    std::string name;
    if (SetName(c, name))
        c.status = c.conn.UseSet(name);
}

void QxdbServeClearSet(RequestContext &c)
{
    std::string name;
    if (SetName(c, name))
        c.status = c.conn.ClearSet(name);
}

void QxdbServeIsInSet(RequestContext &c)
{
    int32_t record = 0;
    std::string name;
    if (!c.in.Get32(record))
        return c.Fail(kStatusBadRequest);
    if (!SlotName(c, name, kIsInSetNameSlot))
        return;
    bool in = false;
    c.status = c.conn.IsInSet(name, record, in);
    if (c.status == kOk)
        c.out.Put16(in ? 1 : 0);
}

void QxdbServeRecordsInSet(RequestContext &c)
{
    std::string name;
    if (!SetName(c, name))
        return;
    int32_t n = 0;
    c.status = c.conn.RecordsInSet(name, n);
    if (c.status == kOk)
        c.out.Put32(n);
}

void QxdbServeCopySet(RequestContext &c)
{
    std::string from, to;
    if (SetName(c, from) && SetName(c, to))
        c.status = c.conn.CopySet(from, to);
}

void QxdbServeCombineSets(RequestContext &c)
{
    int16_t op = 0;
    std::string a, b, r;
    if (!c.in.Get16(op))
        return c.Fail(kStatusBadRequest);
    if (op < kSetIntersection || op > kSetDifference)
        return c.Fail(kStatusBadRequest);
    if (SetName(c, a) && SetName(c, b) && SetName(c, r))
        c.status = c.conn.CombineSets(static_cast<SetOperation>(op), a, b, r);
}

// ------------------------------------------------------- Semaphores

namespace {

// Name and operation (0 test, 1 set, 2 clear); servers before 0x650 take the
// name alone, with the operation the request code implies.
bool ReadSemaphore(RequestContext &c, std::string &name, int16_t &op)
{
    if (c.opt.version < 0x650) {
        if (!c.in.GetPrefixed(name)) {
            c.Fail(kStatusBadRequest);
            return false;
        }
        if (name.size() > kSemaphoreNameSlot - 1) {
            c.Fail(kStatusNameTooLong);
            return false;
        }
        return true;
    }
    int32_t zero = 0;
    if (!SlotName(c, name, kSemaphoreNameSlot))
        return false;
    if (c.in.Get32(zero) && c.in.Get16(op))
        return true;
    c.Fail(kStatusBadRequest);
    return false;
}

} // namespace

void QxdbServeSetSemaphore(RequestContext &c)
{
    std::string name;
    int16_t op = 1;
    if (!ReadSemaphore(c, name, op))
        return;
    bool flag = false;
    switch (op) {
    case 0:
        c.status = c.conn.TestSemaphore(name, flag);
        c.out.Put16(flag ? 1 : 0);
        break;
    case 1:
        c.status = c.conn.SetSemaphore(name, flag);
        if (flag)
            c.out.Put16(1); // a body tells the caller it was already set
        break;
    case 2: c.status = c.conn.ClearSemaphore(name); break;
    default: c.Fail(kStatusBadRequest);
    }
}

void QxdbServeClearSemaphore(RequestContext &c)
{
    std::string name;
    int16_t op = 2;
    if (ReadSemaphore(c, name, op))
        c.status = c.conn.ClearSemaphore(name);
}

} // namespace qxdb
