// Selection arrays (code 91 out, 92 in), the array and value converters and
// the connection's text tables.
//
// An array in memory: {32-bit row count, rows}; each row holds one value per
// column, in the column order of the description, in the array form of
// values (text with a 16-bit length). Without a type list, an array starts
// with its own description {16-bit n, 16-bit table, n x (table, field, type)}.
#include "netclient/nc_charset.h"
#include "netclient/nc_connection.h"
#include "netclient/nc_values.h"

#include <cstring>

using nc::ConnRef;
using nc::NcWriter;

namespace {

// Walks `rows` rows of values at p (size bytes) converting each in place.
// Returns the bytes used, or -1 when a value does not fit or a type is
// unknown. textDir: 0 none, > 0 Windows to Mac, < 0 Mac to Windows.
long WalkRows(QXConnection *c, uint8_t *p, size_t size, int32_t rows,
              const std::vector<int16_t> &types, int valueDir, int textDir)
{
    size_t pos = 0;
    for (int32_t r = 0; r < rows; ++r) {
        for (int16_t type : types) {
            uint8_t *v = p + pos;
            size_t left = size - pos;
            long n;
            if (valueDir == 0) {
                // Walk only: measure in memory form.
                if (!nc::KnownType(type))
                    return -1;
                n = -1;
                switch (type) {
                case 0: n = left >= 1 ? long(v[0]) + 1 : -1; break;
                case 1: n = 10; break;
                case 2: {
                    int16_t l = 0;
                    if (left >= 2)
                        std::memcpy(&l, v, 2);
                    n = l >= 0 && left >= 2 ? 2 + long(l) : -1;
                    break;
                }
                case 3:
                case 30: {
                    int32_t l = 0;
                    if (left >= 4)
                        std::memcpy(&l, v, 4);
                    n = l >= 0 && left >= 4 ? 4 + long(l) : -1;
                    break;
                }
                case 4: n = 6; break;
                case 6:
                case 8: n = 2; break;
                default: n = 4; break;
                }
                if (n < 0 || size_t(n) > left)
                    return -1;
            } else {
                n = nc::ConvertValueInPlace(v, left, type, nc::ValueForm::Array, c->swap,
                                            valueDir == 2);
                if (n < 0)
                    return -1;
            }
            if (textDir != 0 && (type == 0 || type == 2)) {
                uint8_t *text = type == 0 ? v + 1 : v + 2;
                size_t len = type == 0 ? v[0] : size_t(n) - 2;
                const uint8_t *table = textDir > 0 ? c->winToMac : c->macToWin;
                for (size_t i = 0; i < len; ++i)
                    text[i] = table[text[i]];
            }
            pos += size_t(n);
        }
    }
    return long(pos);
}

} // namespace

namespace nc {

// Converts an array handle's data; returns its byte size, 0 for a bad array.
long ConvertArrayData(QXConnection *c, const int16_t *typeList, uint8_t *data, size_t size,
                      int textDir, int valueDir)
{
    std::vector<int16_t> types;
    size_t pos = 0;
    bool fromServer = valueDir == 2, toServer = valueDir == 1;
    auto read16 = [&](size_t at) {
        int16_t v;
        std::memcpy(&v, data + at, 2);
        return fromServer ? nc::SwapShortForServer(c->swap, v) : v;
    };
    if (typeList) {
        int16_t n = typeList[0];
        if (n < 0)
            return 0;
        types.assign(typeList + 1, typeList + 1 + n);
    } else {
        if (size < 4)
            return 0;
        int16_t n = read16(0);
        if (n < 0 || size < 4 + size_t(n) * 6)
            return 0;
        for (int i = 0; i < n; ++i)
            types.push_back(read16(4 + size_t(i) * 6 + 4));
        pos = 4 + size_t(n) * 6;
    }
    if (size - pos < 4)
        return 0;
    int32_t rows;
    std::memcpy(&rows, data + pos, 4);
    if (fromServer)
        rows = nc::SwapLongForServer(c->swap, rows);
    if (rows < 0 || (types.empty() && rows > 0))
        return 0; // rows without columns describe nothing (and would never end)
    long used = WalkRows(c, data + pos + 4, size - pos - 4, rows, types, valueDir, textDir);
    if (used < 0)
        return 0;
    if (fromServer || toServer) {
        int32_t rowsOut = fromServer ? rows : nc::SwapLongForServer(c->swap, rows);
        std::memcpy(data + pos, &rowsOut, 4);
        if (!typeList) {
            int16_t n = int16_t(types.size());
            for (size_t i = 0; i < 2 + size_t(n) * 3; ++i) {
                int16_t v;
                std::memcpy(&v, data + 2 * i, 2);
                v = nc::SwapShortForServer(c->swap, v);
                std::memcpy(data + 2 * i, &v, 2);
            }
        }
    }
    return long(pos) + 4 + used;
}

} // namespace nc

namespace {

using nc::ConvertArrayData;

// The column types of an array request ({n, types}; field 0 is the record
// number, a long integer; definitions are fetched once per connection) and its
// body, in the send buffer: 0 or the status the call answers before sending.
int16_t WriteArrayRequest(nc::RequestCall &r, const QXArrayDescription *desc, bool window,
                          int32_t first, int32_t last, std::vector<int16_t> &types)
{
    if (!desc || desc->count < 1 || !desc->pairs || desc->count > 2000)
        return QX_ERR_BAD_CONNECTION;
    types.assign(1, desc->count);
    for (int i = 0; i < desc->count; ++i) {
        int16_t f = desc->pairs[i].field;
        if (f == 0) {
            types.push_back(QX_TYPE_LONGINT);
            continue;
        }
        const std::vector<uint8_t> *t = nullptr;
        int16_t table = desc->pairs[i].table ? desc->pairs[i].table : desc->table;
        if (int16_t s = nc::FieldTypes(r.get(), table, t))
            return s;
        if (f < 1 || size_t(f) > t->size())
            return QX_ERR_UNEXPECTED_DATA;
        types.push_back((*t)[size_t(f) - 1]);
    }
    NcWriter &w = r.Body();
    w.I16(desc->count);
    w.I16(window ? int16_t(-desc->table) : desc->table);
    for (int i = 0; i < desc->count; ++i) {
        w.I16(desc->pairs[i].table);
        w.I16(desc->pairs[i].field);
    }
    if (window) {
        w.I32(first);
        w.I32(last);
    }
    return 0;
}

// The end of an array request: the reply converted to host form and handed
// to `array`, or the status.
int16_t TakeArrayReply(QXConnection *c, int16_t status, const std::vector<int16_t> &types,
                       QXHandle reply, QXHandle *array)
{
    if (status != 0) {
        FreeQXHandle(reply);
        return status;
    }
    if (!reply)
        return QX_ERR_NO_REPLY_BODY;
    auto *data = static_cast<uint8_t *>(LockQXHandle(reply));
    long n = ConvertArrayData(c, types.data(), data, size_t(SizeOfQXHandle(reply)), 0, 2);
    UnlockQXHandle(reply);
    if (n == 0) {
        FreeQXHandle(reply);
        return QX_ERR_BAD_REPLY_LENGTH;
    }
    nc::GiveHandle(reply, array);
    return 0;
}

// Opens the call (a synchronous connection only) and writes the request of
// an array of the selection, or of its window from first to last.
int16_t BeginArrayRequest(nc::RequestCall &r, const QXArrayDescription *desc, bool window,
                          int32_t first, int32_t last, std::vector<int16_t> &types)
{
    if (int16_t s = r.Open(nc::CallMode::SyncOnly))
        return s;
    return WriteArrayRequest(r, desc, window, first, last, types);
}

int16_t ArrayRequest(QXHandle connection, const QXArrayDescription *desc, bool window,
                     int32_t first, int32_t last, QXHandle *array)
{
    if (array)
        *array = nullptr;
    nc::RequestCall r(connection);
    std::vector<int16_t> types;
    if (int16_t s = BeginArrayRequest(r, desc, window, first, last, types))
        return s;
    QXHandle reply = nullptr;
    int16_t status = r.Send(nc::kNcReqSelectionToArray, &reply);
    return TakeArrayReply(r.get(), status, types, reply, array);
}

} // namespace

extern "C" {

int16_t _QX_SelectionToArray(QXHandle connection, const QXArrayDescription *desc, QXHandle *array)
{
    return ArrayRequest(connection, desc, false, 0, 0, array);
}

int16_t _QX_SubSelectionToArray(QXHandle connection, const QXArrayDescription *desc, int32_t first,
                                int32_t last, QXHandle *array)
{
    return ArrayRequest(connection, desc, true, first, last, array);
}

int16_t _QX_SendSubSelectionToArray(QXHandle connection, const QXArrayDescription *desc,
                                    int32_t first, int32_t last)
{
    nc::RequestCall r(connection);
    std::vector<int16_t> types;
    if (int16_t s = BeginArrayRequest(r, desc, true, first, last, types))
        return s;
    if (r.Body().Failed())
        return QX_ERR_NO_MEMORY;
    r->aheadReply = nullptr;
    int16_t status = nc::SendRequest(r.get(), nc::kNcReqSelectionToArray, r.Body().At(0),
                                     int32_t(r.Body().Size()), &r->aheadReply);
    if (status < 0) {
        FreeQXHandle(r->aheadReply);
        r->aheadReply = nullptr;
        return status;
    }
    // Out (1), or already answered (0): taken by the receive either way.
    r->aheadOut = true;
    r->aheadStatus = status == 1 ? 0 : status;
    r->aheadTypes = std::move(types);
    return 0;
}

int16_t _QX_ReceiveSubSelectionToArray(QXHandle connection, QXHandle *array)
{
    if (array)
        *array = nullptr;
    ConnRef c(connection, ConnRef::kKeepAhead);
    if (!c)
        return QX_ERR_BAD_CONNECTION;
    if (!c->aheadOut)
        return QX_ERR_NOTHING_SENT;
    c->aheadOut = false;
    int16_t status = c->state != 0 ? nc::RunToEnd(c.get()) : c->aheadStatus;
    QXHandle reply = c->aheadReply;
    c->aheadReply = nullptr;
    std::vector<int16_t> types = std::move(c->aheadTypes);
    c->aheadTypes.clear();
    return TakeArrayReply(c.get(), status, types, reply, array);
}

int16_t _QX_ArrayToSelection(QXHandle connection, QXHandle array)
{
    nc::RequestCall r(connection);
    if (int16_t s = r.Open())
        return s;
    int32_t size = SizeOfQXHandle(array);
    auto *p = static_cast<const uint8_t *>(LockQXHandle(array));
    if (!p)
        return QX_ERR_BAD_CONNECTION;
    std::vector<uint8_t> copy(p, p + size); // the caller's array stays in host order
    UnlockQXHandle(array);
    long n = ConvertArrayData(r.get(), nullptr, copy.data(), copy.size(), 0, 1);
    if (n == 0)
        return QX_ERR_BAD_CONNECTION;
    return nc::SubmitRequest(r.get(), nc::kNcReqArrayToSelection, copy.data(), int32_t(n), nullptr);
}

int32_t _QX_ConvertArray(QXHandle connection, const int16_t *types, QXHandle array,
                         int16_t textDirection, int16_t valueDirection)
{
    ConnRef c(connection);
    if (!c)
        return QX_ERR_BAD_CONNECTION;
    int32_t size = SizeOfQXHandle(array);
    auto *p = static_cast<uint8_t *>(LockQXHandle(array));
    if (!p)
        return QX_ERR_BAD_CONNECTION;
    int textDir = textDirection == 0 ? 0 : (textDirection & 0x8000) ? -1 : 1;
    long n = ConvertArrayData(c.get(), types, p, size_t(size), textDir, valueDirection);
    UnlockQXHandle(array);
    return int32_t(n);
}

int16_t _QX_ConvertField(QXHandle connection, uint8_t *value, int16_t direction)
{
    ConnRef c(connection);
    if (!c)
        return QX_ERR_BAD_CONNECTION;
    if (!value || (direction != 1 && direction != 2))
        return 0;
    // The value's own extent is not known here: fixed-size types only and
    // lengths as they stand (the caller's buffer holds the whole value).
    long n = nc::ConvertValueInPlace(value + 2, 1u << 30, value[0], nc::ValueForm::Fields, c->swap,
                                     direction == 2);
    return n < 0 ? -3 : 0;
}

int16_t _QX_StrPCToMac(QXHandle connection, unsigned char *text, int16_t)
{
    ConnRef c(connection);
    if (!c)
        return QX_ERR_BAD_CONNECTION;
    if (text)
        for (int i = 1; i <= text[0]; ++i)
            text[i] = c->winToMac[text[i]];
    return 0;
}

int16_t _QX_StrMacToPC(QXHandle connection, unsigned char *text, int16_t)
{
    ConnRef c(connection);
    if (!c)
        return QX_ERR_BAD_CONNECTION;
    if (text)
        for (int i = 1; i <= text[0]; ++i)
            text[i] = c->macToWin[text[i]];
    return 0;
}

} // extern "C"
