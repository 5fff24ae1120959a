// Request calls on the server's catalog, users and processes, logging and
// backup, opaque data, the server clock, named sets and semaphores.
//
// Result handles are converted to host order before the caller sees them,
// and their sizes are checked against what the layouts need (-9800 when a
// reply is too short for the counts it gives).
#include "netclient/nc_connection.h"

#include <cstring>

using nc::CallMode;
using nc::HandleOf;
using nc::NcWriter;
using nc::RequestCall;
using nc::TakeBytes;

namespace {

constexpr size_t kFileDefHeader = 30, kFileDefRow = 66;
constexpr size_t kOldDefHeader = 24, kOldDefRow = 46;
constexpr size_t kUserEntry = 112, kOldUserEntry = 96;

void Swap16At(uint8_t *p, bool swap)
{
    int16_t v;
    std::memcpy(&v, p, 2);
    v = nc::SwapShortForServer(swap, v);
    std::memcpy(p, &v, 2);
}

void Swap32At(uint8_t *p, bool swap)
{
    int32_t v;
    std::memcpy(&v, p, 4);
    v = nc::SwapLongForServer(swap, v);
    std::memcpy(p, &v, 4);
}

} // namespace

// Converts a table definition reply to the current layout in host order.
int16_t nc::ConvertDefinition(QXConnection *c, std::vector<uint8_t> &def)
{
    bool old = uint16_t(c->version) < 0x600;
    size_t header = old ? kOldDefHeader : kFileDefHeader;
    size_t row = old ? kOldDefRow : kFileDefRow;
    if (def.size() < header)
        return QX_ERR_BAD_REPLY_LENGTH;
    int16_t n = nc::Get16(def.data(), c->swap);
    if (n < 0 || def.size() < header + size_t(n) * row)
        return QX_ERR_BAD_REPLY_LENGTH;
    if (old) {
        std::vector<uint8_t> wide(kFileDefHeader + size_t(n) * kFileDefRow, 0);
        std::memcpy(wide.data(), def.data(), kOldDefHeader);
        for (int i = 0; i < n; ++i) {
            const uint8_t *o = def.data() + kOldDefHeader + size_t(i) * kOldDefRow;
            uint8_t *r = wide.data() + kFileDefHeader + size_t(i) * kFileDefRow;
            std::memcpy(r, o, 16);
            r[32] = o[16];
            std::memcpy(r + 34, o + 18, 2);
            std::memcpy(r + 40, o + 22, 24);
        }
        def.swap(wide);
    } else {
        def.resize(kFileDefHeader + size_t(n) * kFileDefRow);
    }
    uint8_t *h = def.data();
    Swap16At(h, c->swap);
    for (int i = 0; i < 4; ++i)
        Swap16At(h + 2 + 2 * i, c->swap);
    Swap32At(h + 10, c->swap);
    for (int i = 0; i < 5; ++i)
        Swap16At(h + 14 + 2 * i, c->swap);
    Swap16At(h + 28, c->swap);
    for (int i = 0; i < n; ++i) {
        uint8_t *r = h + kFileDefHeader + size_t(i) * kFileDefRow;
        if (r[0] > 31)
            r[0] = 31;
        Swap16At(r + 34, c->swap);
        for (int k = 0; k < 12; ++k)
            Swap16At(r + 40 + 2 * k, c->swap);
    }
    return 0;
}

namespace {

int16_t Definition(QXConnection *c, int16_t table, std::vector<uint8_t> &def)
{
    nc::BeginRequest(c);
    uint8_t body[2];
    nc::Put16(body, table, c->swap);
    QXHandle h = nullptr;
    int16_t status = nc::SubmitRequest(c, nc::kNcReqGetFileDefinition, body, 2, &h);
    def = TakeBytes(h);
    if (status != 0)
        return status;
    if (def.empty())
        return QX_ERR_NO_REPLY_BODY;
    return nc::ConvertDefinition(c, def);
}

// Writes a length-prefixed name (length byte + characters).
void PutName(NcWriter &w, const unsigned char *name) { w.PString(name); }

int16_t SetBodyRequest(QXHandle connection, nc::NcRequest code, const unsigned char *name,
                       int16_t table, bool withRecord, int32_t op)
{
    {
        RequestCall check(connection);
        if (int16_t s = check.Open(CallMode::SyncOnly, 0x600))
            return s;
        if (!name)
            return QX_ERR_BAD_CONNECTION;
    }
    int32_t record = 0;
    if (withRecord) {
        int32_t position = 0;
        if (int16_t s = _QX_CurrentRecordNumber(connection, table, &record, &position))
            return s;
    }
    RequestCall r(connection);
    if (int16_t s = r.Open(CallMode::SyncOnly))
        return s;
    NcWriter &w = r.Body();
    w.PStringField(name, 82);
    w.I32(table);
    w.I32(record);
    w.I32(op);
    return r.Send(code);
}

int16_t NameRequest(QXHandle connection, nc::NcRequest code, const unsigned char *name, int minimum)
{
    RequestCall r(connection);
    if (int16_t s = r.Open(CallMode::Any, minimum))
        return s;
    if (!name)
        return QX_ERR_BAD_CONNECTION;
    NcWriter &w = r.Body();
    PutName(w, name);
    return r.Send(code);
}

int16_t CombineSets(QXHandle connection, int16_t op, const unsigned char *a, const unsigned char *b,
                    const unsigned char *result)
{
    RequestCall r(connection);
    if (int16_t s = r.Open(CallMode::SyncOnly, 0x600))
        return s;
    if (!a || !b || !result)
        return QX_ERR_BAD_CONNECTION;
    NcWriter &w = r.Body();
    w.I16(op);
    PutName(w, a);
    PutName(w, b);
    PutName(w, result);
    std::vector<uint8_t> reply;
    return r.Exchange(nc::kNcReqCombineSets, reply);
}

int16_t Semaphore(QXHandle connection, nc::NcRequest code, const unsigned char *name, int16_t op,
                  int minimum, std::vector<uint8_t> &reply)
{
    RequestCall r(connection);
    if (int16_t s = r.Open(CallMode::SyncOnly, minimum))
        return s;
    if (!name)
        return QX_ERR_BAD_CONNECTION;
    NcWriter &w = r.Body();
    if (uint16_t(r->version) >= 0x650) {
        w.PStringField(name, 32);
        w.I32(0);
        w.I16(op);
    } else {
        PutName(w, name);
    }
    int16_t status = r.Exchange(code, reply);
    if (status == 0 && reply.size() >= 2)
        Swap16At(reply.data(), r->swap);
    return status;
}

} // namespace

namespace nc {

int16_t FieldTypes(QXConnection *c, int16_t table, const std::vector<uint8_t> *&types)
{
    auto it = c->fieldTypes.find(table);
    if (it == c->fieldTypes.end()) {
        std::vector<uint8_t> def;
        if (int16_t s = Definition(c, table, def))
            return s;
        int16_t n;
        std::memcpy(&n, def.data(), 2);
        std::vector<uint8_t> t(static_cast<size_t>(n), uint8_t(0));
        for (int i = 0; i < n; ++i)
            t[size_t(i)] = def[kFileDefHeader + size_t(i) * kFileDefRow + 32];
        it = c->fieldTypes.emplace(table, std::move(t)).first;
    }
    types = &it->second;
    return 0;
}

} // namespace nc

extern "C" {

int16_t _QX_CountFiles(QXHandle connection, int16_t *count)
{
    if (count)
        *count = 0;
    return nc::BodylessRequest(connection, nc::kNcReqCountFiles, count);
}

int16_t _QX_GetFileList(QXHandle connection, QXHandle *list)
{
    if (list)
        *list = nullptr;
    RequestCall r(connection);
    if (int16_t s = r.Open(CallMode::SyncOnly))
        return s;
    std::vector<uint8_t> reply;
    if (int16_t s = r.Exchange(nc::kNcReqGetFileList, reply))
        return s;
    size_t width = uint16_t(r->version) >= 0x600 ? 32 : 16;
    size_t n = std::min<size_t>(reply.size() / width, 32767);
    std::vector<uint8_t> out(2 + 32 * n, 0);
    int16_t count = int16_t(n);
    std::memcpy(out.data(), &count, 2);
    for (size_t i = 0; i < n; ++i) {
        uint8_t *slot = out.data() + 2 + 32 * i;
        std::memcpy(slot, reply.data() + width * i, width);
        if (slot[0] > width - 1)
            slot[0] = uint8_t(width - 1);
    }
    return nc::GiveBytes(out, list);
}

int16_t _QX_GetFileDefinition(QXHandle connection, int16_t table, QXHandle *definition)
{
    if (definition)
        *definition = nullptr;
    RequestCall r(connection);
    if (int16_t s = r.Open(CallMode::SyncOnly))
        return s;
    std::vector<uint8_t> def;
    if (int16_t s = Definition(r.get(), table, def))
        return s;
    return nc::GiveBytes(def, definition);
}

int16_t _QX_GetFieldNumbers(QXHandle connection, uint8_t *names, QXHandle *numbers)
{
    if (numbers)
        *numbers = nullptr;
    RequestCall r(connection);
    if (int16_t s = r.Open(CallMode::SyncOnly))
        return s;
    if (!names)
        return QX_ERR_BAD_CONNECTION;
    int16_t n;
    std::memcpy(&n, names, 2);
    if (n < 0)
        return QX_ERR_BAD_CONNECTION;
    std::vector<uint8_t> body(names, names + 2 + 64 * size_t(n));
    nc::Put16(body.data(), n, r->swap);
    QXHandle h = nullptr;
    int16_t status = nc::SubmitRequest(r.get(), nc::kNcReqGetFieldNumbers, body.data(),
                                       int32_t(body.size()), &h);
    std::vector<uint8_t> reply = TakeBytes(h);
    if (status != 0)
        return status;
    if (reply.size() < 4)
        return QX_ERR_NO_REPLY_BODY;
    int16_t count = nc::Get16(reply.data(), r->swap);
    if (count < 0 || reply.size() < 4 + 4 * size_t(count))
        return QX_ERR_BAD_REPLY_LENGTH;
    reply.resize(4 + 4 * size_t(count));
    for (size_t i = 0; i < reply.size(); i += 2)
        Swap16At(reply.data() + i, r->swap);
    return nc::GiveBytes(reply, numbers);
}

int16_t _QX_GetNbUsers(QXHandle connection, int16_t *count)
{
    if (count)
        *count = 0;
    return nc::BodylessRequest(connection, nc::kNcReqGetNbUsers, count);
}

int16_t _QX_GetNbUserProcesses(QXHandle connection, int16_t *count)
{
    if (count)
        *count = 0;
    return nc::BodylessRequest(connection, nc::kNcReqGetNbUserProcesses, count);
}

int16_t _QX_GetListProcess(QXHandle connection, QXHandle *list)
{
    if (list)
        *list = nullptr;
    RequestCall r(connection);
    if (int16_t s = r.Open(CallMode::SyncOnly))
        return s;
    std::vector<uint8_t> reply;
    if (int16_t s = r.Exchange(nc::kNcReqGetListProcess, reply))
        return s;
    if (reply.size() < 2)
        return QX_ERR_NO_REPLY_BODY;
    int16_t n = nc::Get16(reply.data(), r->swap);
    if (n < 0 || reply.size() < 2 + 102 * size_t(n))
        return QX_ERR_BAD_REPLY_LENGTH;
    reply.resize(2 + 102 * size_t(n));
    std::memcpy(reply.data(), &n, 2);
    for (int i = 0; i < n; ++i) {
        uint8_t *e = reply.data() + 2 + 102 * size_t(i);
        Swap32At(e + 96, r->swap);
        Swap16At(e + 100, r->swap);
    }
    return nc::GiveBytes(reply, list);
}

int16_t _QX_GetUsersAndGroups(QXHandle connection, int16_t selector, QXHandle *list, int16_t *users,
                              int16_t *groups)
{
    if (list)
        *list = nullptr;
    if (users)
        *users = 0;
    if (groups)
        *groups = 0;
    RequestCall r(connection);
    if (int16_t s = r.Open(CallMode::SyncOnly))
        return s;
    NcWriter &w = r.Body();
    w.I16(selector);
    std::vector<uint8_t> reply;
    if (int16_t s = r.Exchange(nc::kNcReqGetUsersAndGroups, reply))
        return s;
    bool newer = uint16_t(r->version) >= 0x600;
    size_t pos = 0;
    if (newer) {
        if (reply.size() < 2 || reply[0] != 0xA0 || reply[1] != 0xA0)
            return QX_ERR_BAD_REPLY_LENGTH;
        pos = 2;
    }
    if (reply.size() < pos + 4)
        return QX_ERR_NO_REPLY_BODY;
    int16_t u = nc::Get16(reply.data() + pos, r->swap),
            g = nc::Get16(reply.data() + pos + 2, r->swap);
    size_t inEntry = newer ? kUserEntry : kOldUserEntry;
    if (u < 0 || g < 0 || reply.size() < pos + 4 + size_t(u) * inEntry)
        return QX_ERR_BAD_REPLY_LENGTH;
    std::vector<uint8_t> out(4 + size_t(u) * kUserEntry, 0);
    std::memcpy(out.data(), &u, 2);
    std::memcpy(out.data() + 2, &g, 2);
    const uint8_t *in = reply.data() + pos + 4;
    for (int i = 0; i < u; ++i, in += inEntry) {
        uint8_t *e = out.data() + 4 + size_t(i) * kUserEntry;
        if (newer) {
            std::memcpy(e, in, kUserEntry);
        } else {
            std::memcpy(e + 4, in + 4, 32);
            std::memcpy(e + 52, in + 52, 16);
            std::memcpy(e + 100, in + 84, 2);
            std::memcpy(e + 102, in + 86, 6);
            std::memcpy(e + 108, in + 92, 4);
        }
        for (int k = 0; k < 4; ++k)
            Swap16At(e + 100 + 2 * k, r->swap);
        Swap32At(e + 108, r->swap);
    }
    size_t gpos = size_t(in - reply.data());
    for (int i = 0; i < g; ++i) {
        if (reply.size() < gpos + 38)
            return QX_ERR_BAD_REPLY_LENGTH;
        int16_t members = nc::Get16(reply.data() + gpos, r->swap);
        size_t entry = 38 + 2 * size_t(std::max<int16_t>(members, 0));
        if (members < 0 || reply.size() < gpos + entry)
            return QX_ERR_BAD_REPLY_LENGTH;
        size_t at = out.size();
        out.insert(out.end(), reply.begin() + long(gpos), reply.begin() + long(gpos + entry));
        std::memcpy(out.data() + at, &members, 2);
        for (int k = 0; k < members + 2; ++k)
            Swap16At(out.data() + at + 34 + 2 * size_t(k), r->swap);
        gpos += entry;
    }
    QXHandle h = HandleOf(out);
    if (!h)
        return QX_ERR_NO_MEMORY;
    if (users)
        *users = u;
    if (groups)
        *groups = g;
    nc::GiveHandle(h, list);
    return 0;
}

int16_t _QX_GetNthUser(QXHandle list, int16_t index, uint8_t *user112)
{
    int32_t size = SizeOfQXHandle(list);
    auto *p = static_cast<const uint8_t *>(LockQXHandle(list));
    if (!p)
        return QX_ERR_BAD_CONNECTION;
    int16_t u = 0;
    if (size >= 4)
        std::memcpy(&u, p, 2);
    int16_t status = 0;
    if (index < 1 || index > u || size_t(size) < 4 + size_t(u) * kUserEntry)
        status = QX_ERR_BAD_REPLY_LENGTH;
    else if (user112)
        std::memcpy(user112, p + 4 + size_t(index - 1) * kUserEntry, kUserEntry);
    UnlockQXHandle(list);
    return status;
}

int16_t _QX_GetNthGroup(QXHandle list, int16_t index, QXHandle *group)
{
    if (group)
        *group = nullptr;
    int32_t size = SizeOfQXHandle(list);
    auto *p = static_cast<const uint8_t *>(LockQXHandle(list));
    if (!p)
        return QX_ERR_BAD_CONNECTION;
    std::vector<uint8_t> entry;
    int16_t u = 0, g = 0;
    if (size >= 4) {
        std::memcpy(&u, p, 2);
        std::memcpy(&g, p + 2, 2);
    }
    size_t pos = 4 + size_t(std::max<int16_t>(u, 0)) * kUserEntry;
    int16_t status = QX_ERR_BAD_REPLY_LENGTH;
    for (int i = 1; i <= g && pos + 38 <= size_t(size); ++i) {
        int16_t members;
        std::memcpy(&members, p + pos, 2);
        size_t len = 38 + 2 * size_t(std::max<int16_t>(members, 0));
        if (pos + len > size_t(size))
            break;
        if (i == index) {
            entry.assign(p + pos + 2, p + pos + len);
            status = 0;
            break;
        }
        pos += len;
    }
    UnlockQXHandle(list);
    if (status != 0)
        return status;
    return nc::GiveBytes(entry, group);
}

int16_t _QX_SetLogFile(QXHandle connection, const unsigned char *fileName)
{
    return NameRequest(connection, nc::kNcReqSetLogFile, fileName, 0);
}

int16_t _QX_StartFullBackup(QXHandle connection)
{
    return nc::BodylessRequest(connection, nc::kNcReqStartFullBackup);
}
int16_t _QX_StartIncBackup(QXHandle connection)
{
    return nc::BodylessRequest(connection, nc::kNcReqStartIncBackup);
}

namespace {

int16_t HandleBody(QXHandle connection, nc::NcRequest code, QXHandle data, QXHandle *reply)
{
    if (reply)
        *reply = nullptr;
    RequestCall r(connection);
    if (int16_t s = r.Open(reply ? CallMode::SyncOnly : CallMode::Any))
        return s;
    if (!data)
        return QX_ERR_NO_MEMORY;
    int32_t n = SizeOfQXHandle(data);
    auto *p = static_cast<const uint8_t *>(LockQXHandle(data));
    if (!p)
        return QX_ERR_NO_MEMORY;
    int16_t status = nc::SubmitRequest(r.get(), code, p, n, reply);
    UnlockQXHandle(data);
    return status;
}

} // namespace

int16_t _QX_SendToBackupModule(QXHandle connection, QXHandle data, QXHandle *reply)
{
    QXHandle ignored = nullptr;
    return HandleBody(connection, nc::kNcReqSendToBackupModule, data, reply ? reply : &ignored);
}

int16_t _QX_WriteData(QXHandle connection, QXHandle data)
{
    return HandleBody(connection, nc::kNcReqWriteData, data, nullptr);
}

int16_t _QX_ReadData(QXHandle connection, const uint8_t *key10, QXHandle *data)
{
    if (data)
        *data = nullptr;
    RequestCall r(connection);
    if (int16_t s = r.Open(CallMode::SyncOnly))
        return s;
    if (!key10)
        return QX_ERR_BAD_CONNECTION;
    NcWriter &w = r.Body();
    w.Bytes(key10, 10);
    QXHandle h = nullptr;
    int16_t status = r.Send(nc::kNcReqReadData, &h);
    nc::GiveHandle(h, data);
    return status;
}

int16_t _QX_Server_CurrentTime(QXHandle connection, int32_t *time)
{
    if (time)
        *time = 0;
    return nc::BodylessRequest(connection, nc::kNcReqServerCurrentTime, time);
}

int16_t _QX_Server_CurrentDate(QXHandle connection, int16_t *date3)
{
    if (date3)
        std::memset(date3, 0, 6);
    return nc::BodylessRequest(connection, nc::kNcReqServerCurrentDate, date3);
}

int16_t _QX_ProcessNumber(QXHandle connection, const unsigned char *processName, int16_t *number)
{
    if (number)
        *number = 0;
    RequestCall r(connection);
    if (int16_t s = r.Open(CallMode::SyncOnly))
        return s;
    if (!processName)
        return QX_ERR_BAD_CONNECTION;
    NcWriter &w = r.Body();
    PutName(w, processName);
    std::vector<uint8_t> reply;
    int16_t status = r.Exchange(nc::kNcReqProcessNumber, reply);
    if (status == 0 && reply.size() >= 2 && number)
        *number = nc::Get16(reply.data(), r->swap);
    return status;
}

namespace {

// Procedure calls and process variables travel in records whose layout the
// callers of this library never build; these calls check the version and
// refuse (-32002) rather than send bytes of an unknown shape.
int16_t RefuseUnknownLayout(QXHandle connection)
{
    RequestCall r(connection);
    if (int16_t s = r.Open(CallMode::SyncOnly, 0x600))
        return s;
    return QX_ERR_UNEXPECTED_DATA;
}

} // namespace

int16_t _QX_ExecuteOnServer(QXHandle connection, QXHandle, int32_t *result)
{
    if (result)
        *result = 0;
    return RefuseUnknownLayout(connection);
}

int16_t _QX_GetProcessVar(QXHandle connection, QXHandle) { return RefuseUnknownLayout(connection); }
int16_t _QX_SetProcessVar(QXHandle connection, QXHandle) { return RefuseUnknownLayout(connection); }

int16_t _QX_CreateEmptySet(QXHandle connection, const unsigned char *setName, int16_t table)
{
    return SetBodyRequest(connection, nc::kNcReqCreateEmptySet, setName, table, false, 0);
}

int16_t _QX_CreateSet(QXHandle connection, const unsigned char *setName, int16_t table)
{
    return SetBodyRequest(connection, nc::kNcReqCreateSet, setName, table, true, 0);
}

int16_t _QX_AddToSet(QXHandle connection, const unsigned char *setName, int16_t table)
{
    return SetBodyRequest(connection, nc::kNcReqChangeSet, setName, table, true, 1);
}

int16_t _QX_RemoveFromSet(QXHandle connection, const unsigned char *setName, int16_t table)
{
    return SetBodyRequest(connection, nc::kNcReqChangeSet, setName, table, true, 0);
}

int16_t _QX_UseSet(QXHandle connection, const unsigned char *setName)
{
    return NameRequest(connection, nc::kNcReqUseSet, setName, 0x600);
}

int16_t _QX_ClearSet(QXHandle connection, const unsigned char *setName)
{
    return NameRequest(connection, nc::kNcReqClearSet, setName, 0x600);
}

int16_t _QX_IsInSet(QXHandle connection, const unsigned char *setName, int32_t recordNumber,
                    int16_t *isIn)
{
    if (isIn)
        *isIn = 0;
    RequestCall r(connection);
    if (int16_t s = r.Open(CallMode::SyncOnly, 0x600))
        return s;
    if (!setName)
        return QX_ERR_BAD_CONNECTION;
    NcWriter &w = r.Body();
    w.I32(recordNumber);
    w.PStringField(setName, 83);
    std::vector<uint8_t> reply;
    int16_t status = r.Exchange(nc::kNcReqIsInSet, reply);
    if (status == 0 && reply.size() >= 2 && isIn)
        *isIn = nc::Get16(reply.data(), r->swap);
    return status;
}

int16_t _QX_RecordsInSet(QXHandle connection, const unsigned char *setName, int32_t *count)
{
    if (count)
        *count = 0;
    RequestCall r(connection);
    if (int16_t s = r.Open(CallMode::SyncOnly, 0x600))
        return s;
    if (!setName)
        return QX_ERR_BAD_CONNECTION;
    NcWriter &w = r.Body();
    PutName(w, setName);
    std::vector<uint8_t> reply;
    int16_t status = r.Exchange(nc::kNcReqRecordsInSet, reply);
    if (status == 0 && reply.size() >= 4 && count)
        *count = nc::Get32(reply.data(), r->swap);
    return status;
}

int16_t _QX_CopySet(QXHandle connection, const unsigned char *source, const unsigned char *target)
{
    RequestCall r(connection);
    if (int16_t s = r.Open(CallMode::SyncOnly, 0x600))
        return s;
    if (!source || !target)
        return QX_ERR_BAD_CONNECTION;
    NcWriter &w = r.Body();
    PutName(w, source);
    PutName(w, target);
    std::vector<uint8_t> reply;
    return r.Exchange(nc::kNcReqCopySet, reply);
}

int16_t _QX_UnionSet(QXHandle connection, const unsigned char *a, const unsigned char *b,
                     const unsigned char *result)
{
    return CombineSets(connection, 2, a, b, result);
}

int16_t _QX_DifferenceSet(QXHandle connection, const unsigned char *a, const unsigned char *b,
                          const unsigned char *result)
{
    return CombineSets(connection, 3, a, b, result);
}

int16_t _QX_IntersectionSet(QXHandle connection, const unsigned char *a, const unsigned char *b,
                            const unsigned char *result)
{
    return CombineSets(connection, 1, a, b, result);
}

int16_t _QX_SetSemaphore(QXHandle connection, const unsigned char *name, uint8_t *taken)
{
    if (taken)
        *taken = 0;
    std::vector<uint8_t> reply;
    int16_t status = Semaphore(connection, nc::kNcReqSemaphore, name, 1, 0x600, reply);
    if (status == 0 && !reply.empty() && taken)
        *taken = 1;
    return status;
}

int16_t _QX_CheckSemaphore(QXHandle connection, const unsigned char *name, uint8_t *isSet)
{
    if (isSet)
        *isSet = 0;
    std::vector<uint8_t> reply;
    int16_t status = Semaphore(connection, nc::kNcReqSemaphore, name, 0, 0x650, reply);
    if (status == 0 && reply.size() >= 2 && isSet) {
        int16_t v;
        std::memcpy(&v, reply.data(), 2);
        *isSet = uint8_t(v);
    }
    return status;
}

int16_t _QX_ClearSemaphore(QXHandle connection, const unsigned char *name)
{
    std::vector<uint8_t> reply;
    return Semaphore(connection, nc::kNcReqClearSemaphore, name, 2, 0x600, reply);
}

} // extern "C"
