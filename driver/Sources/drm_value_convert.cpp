#include <algorithm>
#include <cstring>

#include "driver/Sources/drm.h"
#include "driver/Sources/drm_qx.h"
#include "driver/Sources/drm_text.h"
#include "driver/Sources/drm_trace.h"
#include "driver/Sources/drm_values.h"
#include "platform/byteorder.h"

namespace {

constexpr uint32_t kAlphaMaxRead = sizeof(QXValue::alpha) - 1;
constexpr uint32_t kTextMaxLength = 0xFFFF;

int16_t GetShort(const void *src) { return static_cast<int16_t>(PlatGetHost16(src)); }
void PutShort(void *dest, int16_t v) { PlatPutHost16(dest, static_cast<uint16_t>(v)); }

// Copies what is left of a long value after the bytes already delivered.
int32_t CopyLong(const uint8_t *bytes, uint32_t available, uint8_t *dest, uint32_t size,
                 uint32_t *outLength, DRM_RETINFO *state)
{
    uint32_t skip = state ? std::min(state->delivered, available) : 0;
    uint32_t rest = available - skip;
    uint32_t n = std::min(rest, size);
    if (n > 0)
        std::memcpy(dest, bytes + skip, n);
    *outLength = n;
    if (state) {
        state->size = available;
        state->delivered = skip + n;
    }
    return n < rest ? kDrmWarnTruncated : 0;
}

void TraceLong(uint8_t type, uint32_t available, uint32_t size)
{
    if (!DrmTraceActive())
        return;
    DrmTraceParamf("Value type -> %s\n", type == QX_TYPE_TEXT ? "(text)" : "(picture)");
    DrmTraceParamf("Field length -> %u\n", available);
    DrmTraceParamf("Buffer size -> %u\n", size);
}

int32_t ReadLong(const QXValue *value, uint8_t *dest, uint32_t size, uint32_t *outLength,
                 DRM_RETINFO *state)
{
    DrmServerApi &api = DrmQxApi();
    uint32_t available = 0;
    if (value->data && value->length > 0)
        available =
            std::min<uint32_t>(static_cast<uint32_t>(value->length),
                               static_cast<uint32_t>(std::max(0, api.SizeOfHandle(value->data))));
    TraceLong(value->type, available, size);
    uint32_t skip = state ? std::min(state->delivered, available) : 0;
    if (std::min(available - skip, size) == 0)
        return CopyLong(nullptr, available, dest, size, outLength, state);
    const auto *bytes = static_cast<const uint8_t *>(api.LockHandle(value->data));
    if (!bytes)
        return kDrmErrNoMemory;
    int32_t result = CopyLong(bytes, available, dest, size, outLength, state);
    api.UnlockHandle(value->data);
    return result;
}

} // namespace

int32_t DrmValueToC(const QXValue *value, uint32_t codePage, uint32_t, void *destination,
                    uint32_t size, uint32_t *outLength, DRM_RETINFO *state)
{
    auto *dest = static_cast<uint8_t *>(destination);
    uint32_t got = 0;
    int32_t result = 0;
    switch (value->type) {
    case QX_TYPE_ALPHA: {
        uint32_t n = std::min<uint32_t>(value->alpha[0], kAlphaMaxRead);
        if (size < n)
            return kDrmErrBufferTooSmall;
        std::memcpy(dest, value->alpha + 1, n);
        if (size > n)
            dest[n] = 0;
        got = n;
        break;
    }
    case QX_TYPE_REAL:
        if (size < 8)
            return kDrmErrBufferTooSmall;
        std::memcpy(dest, &value->real, 8);
        got = 8;
        break;
    case QX_TYPE_DATE:
        if (size < 6)
            return kDrmErrBufferTooSmall;
        PutShort(dest, value->date[2]);
        PutShort(dest + 2, value->date[1]);
        PutShort(dest + 4, value->date[0]);
        got = 6;
        break;
    case QX_TYPE_BOOLEAN:
        if (size < 1)
            return kDrmErrBufferTooSmall;
        dest[0] = value->shortValue != 0 ? 1 : 0;
        got = 1;
        break;
    case QX_TYPE_INTEGER:
        if (size < 2)
            return kDrmErrBufferTooSmall;
        PutShort(dest, value->shortValue);
        got = 2;
        break;
    case QX_TYPE_LONGINT:
        if (size < 4)
            return kDrmErrBufferTooSmall;
        std::memcpy(dest, &value->longValue, 4);
        got = 4;
        break;
    case QX_TYPE_TIME: {
        if (size < 6)
            return kDrmErrBufferTooSmall;
        uint32_t s = static_cast<uint32_t>(value->longValue);
        PutShort(dest, static_cast<int16_t>(s / 3600));
        PutShort(dest + 2, static_cast<int16_t>((s / 60) % 60));
        PutShort(dest + 4, static_cast<int16_t>(s % 60));
        got = 6;
        break;
    }
    case QX_TYPE_TEXT:
    case QX_TYPE_PICTURE:
        result = ReadLong(value, dest, size, &got, state);
        if (result < 0)
            return result;
        break;
    case 7:
    case QX_TYPE_BLOB: got = 0; break;
    default: return -1;
    }
    if (value->type == QX_TYPE_ALPHA || value->type == QX_TYPE_TEXT) {
        uint32_t converted = 0;
        int32_t status = DrmTextMacToPC(got, dest, codePage, &converted, dest);
        if (status != 0)
            return status;
        got = converted;
    }
    if (outLength)
        *outLength = got;
    return result;
}

int32_t DrmLongBytesToC(uint8_t type, const uint8_t *bytes, uint32_t available, uint32_t codePage,
                        void *destination, uint32_t size, uint32_t *outLength, DRM_RETINFO *state)
{
    auto *dest = static_cast<uint8_t *>(destination);
    TraceLong(type, available, size);
    uint32_t got = 0;
    int32_t result = CopyLong(bytes, available, dest, size, &got, state);
    if (type == QX_TYPE_TEXT) {
        uint32_t converted = 0;
        int32_t status = DrmTextMacToPC(got, dest, codePage, &converted, dest);
        if (status != 0)
            return status;
        got = converted;
    }
    if (outLength)
        *outLength = got;
    return result;
}

int32_t DrmFieldBytesToC(uint8_t type, const uint8_t *p, uint32_t codePage, void *destination,
                         uint32_t size, uint32_t *outLength, DRM_RETINFO *state)
{
    // What DrmIsNullValue and DrmValueToC give for the value the window
    // array holds at p, read where it lies: no value slot, no handle.
    auto *dest = static_cast<uint8_t *>(destination);
    uint32_t got = 0;
    switch (type) {
    case QX_TYPE_ALPHA: {
        uint32_t n = std::min<uint32_t>(p[0], kAlphaMaxRead);
        if (n == 0)
            return kDrmWarnNull;
        if (size < n)
            return kDrmErrBufferTooSmall;
        if (size > n)
            dest[n] = 0;
        int32_t status = DrmTextMacToPC(n, p + 1, codePage, &got, dest);
        if (status != 0)
            return status;
        break;
    }
    case QX_TYPE_REAL:
        if (size < 8)
            return kDrmErrBufferTooSmall;
        std::memcpy(dest, p, 8);
        got = 8;
        break;
    case QX_TYPE_TEXT:
    case QX_TYPE_PICTURE: {
        uint32_t n = type == QX_TYPE_TEXT ? PlatGetHost16(p) : PlatGetHost32(p);
        if (n == 0)
            return kDrmWarnNull;
        return DrmLongBytesToC(type, p + (type == QX_TYPE_TEXT ? 2 : 4), n, codePage, dest, size,
                               outLength, state);
    }
    case QX_TYPE_DATE: {
        if (PlatGetHost16(p) == 0 && PlatGetHost16(p + 2) == 0 && PlatGetHost16(p + 4) == 0)
            return kDrmWarnNull;
        if (size < 6)
            return kDrmErrBufferTooSmall;
        // The three numbers go out in the opposite order.
        PutShort(dest, GetShort(p + 4));
        PutShort(dest + 2, GetShort(p + 2));
        PutShort(dest + 4, GetShort(p));
        got = 6;
        break;
    }
    case QX_TYPE_BOOLEAN:
        if (size < 1)
            return kDrmErrBufferTooSmall;
        dest[0] = GetShort(p) != 0 ? 1 : 0;
        got = 1;
        break;
    case QX_TYPE_INTEGER:
        if (size < 2)
            return kDrmErrBufferTooSmall;
        std::memcpy(dest, p, 2); // host order on both sides
        got = 2;
        break;
    case QX_TYPE_LONGINT:
        if (size < 4)
            return kDrmErrBufferTooSmall;
        std::memcpy(dest, p, 4);
        got = 4;
        break;
    case QX_TYPE_TIME: {
        if (size < 6)
            return kDrmErrBufferTooSmall;
        uint32_t s = PlatGetHost32(p);
        PutShort(dest, static_cast<int16_t>(s / 3600));
        PutShort(dest + 2, static_cast<int16_t>((s / 60) % 60));
        PutShort(dest + 4, static_cast<int16_t>(s % 60));
        got = 6;
        break;
    }
    case 7:
    case QX_TYPE_BLOB: break; // long values without data: nothing to deliver
    default: return -1;
    }
    if (outLength)
        *outLength = got;
    return 0;
}

void DrmFreeValue(QXValue *value)
{
    if ((value->type == QX_TYPE_TEXT || value->type == QX_TYPE_PICTURE ||
         value->type == QX_TYPE_BLOB) &&
        value->data) {
        DrmQxApi().FreeHandle(value->data);
        value->data = nullptr;
    }
}

int32_t DrmValueFromC(uint32_t codePage, uint32_t typeId, const void *source, uint32_t length,
                      QXValue *value)
{
    if (value->type > 254) {
        int32_t type = DrmDefaultServerType(typeId);
        if (type < 0)
            return -1;
        value->type = static_cast<uint8_t>(type);
    }
    const auto *src = static_cast<const uint8_t *>(source);
    auto need = [&](uint32_t n) { return length >= n && (n == 0 || src); };
    const uint8_t server = value->type;
    auto pair = [&](uint32_t t, uint8_t s) { return typeId == t && server == s; };

    if (pair(kDrmTypeBit, QX_TYPE_BOOLEAN)) {
        if (!need(1))
            return kDrmErrBufferTooSmall;
        value->shortValue = src[0] != 0 ? 1 : 0;
    } else if (pair(kDrmTypeUByte, QX_TYPE_INTEGER)) {
        if (!need(1))
            return kDrmErrBufferTooSmall;
        value->shortValue = src[0];
    } else if (pair(kDrmTypeShort, QX_TYPE_INTEGER)) {
        if (!need(2))
            return kDrmErrBufferTooSmall;
        value->shortValue = GetShort(src);
    } else if (pair(kDrmTypeLong, QX_TYPE_LONGINT)) {
        if (!need(4))
            return kDrmErrBufferTooSmall;
        std::memcpy(&value->longValue, src, 4);
    } else if (pair(kDrmTypeDouble, QX_TYPE_REAL)) {
        if (!need(8))
            return kDrmErrBufferTooSmall;
        std::memcpy(&value->real, src, 8);
    } else if (pair(kDrmTypeDateTime, QX_TYPE_DATE) || pair(kDrmTypeDate, QX_TYPE_DATE)) {
        if (!need(6))
            return kDrmErrBufferTooSmall;
        value->date[0] = GetShort(src + 4);
        value->date[1] = GetShort(src + 2);
        value->date[2] = GetShort(src);
    } else if (pair(kDrmTypeTime, QX_TYPE_TIME)) {
        if (!need(6))
            return kDrmErrBufferTooSmall;
        int32_t seconds = (GetShort(src) * 60 + GetShort(src + 2)) * 60 + GetShort(src + 4);
        value->longValue = ((seconds % 86400) + 86400) % 86400;
    } else if (server == QX_TYPE_ALPHA && (typeId == kDrmTypeText || typeId == kDrmTypeLongText ||
                                           typeId == kDrmTypeVarText)) {
        uint32_t n = std::min(length, kDrmAlphaMaxWrite);
        if (n > 0 && !src)
            return kDrmErrBufferTooSmall;
        if (n > 0)
            std::memcpy(value->alpha + 1, src, n);
        uint32_t converted = 0;
        int32_t status =
            DrmTextPCToMac(codePage, n, value->alpha + 1, &converted, value->alpha + 1);
        if (status != 0)
            return status;
        value->alpha[0] = static_cast<uint8_t>(converted);
    } else if (pair(kDrmTypeLongText, QX_TYPE_TEXT) || pair(kDrmTypeLongBinary, QX_TYPE_PICTURE)) {
        if ((length > 0 && !src) || (server == QX_TYPE_TEXT && length > kTextMaxLength) ||
            length > static_cast<uint32_t>(INT32_MAX))
            return kDrmErrBufferTooSmall;
        DrmServerApi &api = DrmQxApi();
        QXHandle h = api.AllocHandle(static_cast<int32_t>(length));
        if (!h)
            return kDrmErrNoMemory;
        uint32_t stored = length;
        if (length > 0) {
            auto *bytes = static_cast<uint8_t *>(api.LockHandle(h));
            if (!bytes) {
                api.FreeHandle(h);
                return kDrmErrNoMemory;
            }
            std::memcpy(bytes, src, length);
            if (server == QX_TYPE_TEXT) {
                int32_t status = DrmTextPCToMac(codePage, length, bytes, &stored, bytes);
                if (status != 0) {
                    api.UnlockHandle(h);
                    api.FreeHandle(h);
                    return status;
                }
            }
            api.UnlockHandle(h);
        }
        value->data = h;
        value->length = static_cast<int32_t>(stored);
    } else {
        return -1;
    }
    return 0;
}
