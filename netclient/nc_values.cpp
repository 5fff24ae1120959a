#include "netclient/nc_values.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace nc {

bool KnownType(int type)
{
    switch (type) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
    case 6:
    case 8:
    case 9:
    case 11:
    case 30: return true;
    default: return false;
    }
}

bool PutWireValue(NcWriter &w, const QXValue &v)
{
    switch (v.type) {
    case QX_TYPE_ALPHA: {
        uint8_t n = std::min<uint8_t>(v.alpha[0], sizeof v.alpha - 1);
        w.U8(n);
        w.Bytes(v.alpha + 1, n);
        return true;
    }
    case QX_TYPE_REAL: {
        uint8_t r[10];
        RealToServer(v.real, r);
        w.Bytes(r, 10);
        return true;
    }
    case QX_TYPE_TEXT:
    case QX_TYPE_PICTURE:
    case QX_TYPE_BLOB: {
        int32_t n = v.length;
        if (n < 0)
            return false;
        const uint8_t *p = nullptr;
        if (n > 0) {
            if (!v.data || SizeOfQXHandle(v.data) < n)
                return false;
            p = static_cast<const uint8_t *>(LockQXHandle(v.data));
            if (!p)
                return false;
        }
        w.I32(n);
        size_t start = w.Size();
        w.Bytes(p, size_t(n));
        if (v.type == QX_TYPE_PICTURE && n > 10 && !w.Failed())
            for (int i = 0; i < 5; ++i) {
                int16_t word;
                std::memcpy(&word, p + 2 * i, 2);
                Put16(w.At(start + 2 * size_t(i)), word, w.Swap());
            }
        if (n > 0)
            UnlockQXHandle(v.data);
        return true;
    }
    case QX_TYPE_DATE:
        for (int16_t d : v.date)
            w.I16(d);
        return true;
    case QX_TYPE_BOOLEAN:
    case QX_TYPE_INTEGER: w.I16(v.shortValue); return true;
    case QX_TYPE_LONGINT:
    case QX_TYPE_TIME: w.I32(v.longValue); return true;
    default: return false;
    }
}

namespace {

void SwapWords(uint8_t *p, int count, bool swap)
{
    if (!swap)
        return;
    for (int i = 0; i < count; ++i)
        std::swap(p[2 * i], p[2 * i + 1]);
}

} // namespace

long ConvertValueInPlace(uint8_t *p, size_t left, int type, ValueForm form, bool swap,
                         bool fromServer)
{
    auto length32 = [&](size_t &n) {
        if (left < 4)
            return false;
        int32_t v = fromServer ? Get32(p, swap) : [&] {
            int32_t h;
            std::memcpy(&h, p, 4);
            return h;
        }();
        if (v < 0 || size_t(v) > left - 4)
            return false;
        int32_t out = fromServer ? v : SwapLongForServer(swap, v);
        std::memcpy(p, &out, 4);
        n = size_t(v);
        return true;
    };
    switch (type) {
    case 0:
        if (left < 1 || size_t(p[0]) + 1 > left)
            return -1;
        return long(p[0]) + 1;
    case 1: {
        if (left < 10)
            return -1;
        if (fromServer) {
            double d = RealFromServer(p);
            std::memcpy(p, &d, 8);
            p[8] = p[9] = 0;
        } else {
            double d;
            std::memcpy(&d, p, 8);
            RealToServer(d, p);
        }
        return 10;
    }
    case 2:
        if (form == ValueForm::Array) {
            if (left < 2)
                return -1;
            int16_t v = fromServer ? Get16(p, swap) : [&] {
                int16_t h;
                std::memcpy(&h, p, 2);
                return h;
            }();
            if (v < 0 || size_t(v) > left - 2)
                return -1;
            int16_t out = fromServer ? v : SwapShortForServer(swap, v);
            std::memcpy(p, &out, 2);
            return 2 + long(v);
        }
        [[fallthrough]];
    case 30: {
        size_t n;
        if (!length32(n))
            return -1;
        return 4 + long(n);
    }
    case 3: {
        size_t n;
        if (!length32(n))
            return -1;
        if (n > 10)
            SwapWords(p + 4, 5, swap);
        return 4 + long(n);
    }
    case 4:
        if (left < 6)
            return -1;
        SwapWords(p, 3, swap);
        return 6;
    case 6:
    case 8:
        if (left < 2)
            return -1;
        SwapWords(p, 1, swap);
        return 2;
    case 9:
    case 11:
        if (left < 4)
            return -1;
        if (swap) {
            std::swap(p[0], p[3]);
            std::swap(p[1], p[2]);
        }
        return 4;
    default: return -1;
    }
}

int16_t ConvertFieldsResult(uint8_t *data, size_t size, int count, bool swap)
{
    if (count < 0 || size < size_t(count) * 4)
        return QX_ERR_BAD_REPLY_LENGTH;
    for (int i = 0; i < count; ++i) {
        int32_t off = Get32(data + 4 * i, swap);
        std::memcpy(data + 4 * i, &off, 4);
        if (off < count * 4 || size_t(off) + 2 > size)
            return QX_ERR_BAD_REPLY_LENGTH;
        int16_t type = Get16(data + off, swap);
        std::memcpy(data + off, &type, 2);
        long n = ConvertValueInPlace(data + off + 2, size - size_t(off) - 2, type,
                                     ValueForm::Fields, swap, true);
        if (n < 0)
            return QX_ERR_BAD_REPLY_LENGTH;
    }
    return 0;
}

} // namespace nc
