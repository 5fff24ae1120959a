// Fuzz target: window arrays of the record cache.
// Input: a field count n (low 3 bits of the first byte, plus 1), n server
// field types, then the array bytes as the server would return them; every
// value of every record is read and converted (texts and pictures also in
// place).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "driver/Sources/drm.h"
#include "driver/Sources/drm_table.h"
#include "driver/Sources/drm_values.h"
#include "driver/Sources/tests/fake_server.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const uint8_t kTypes[] = {0, 1, 2, 3, 4, 6, 7, 8, 9, 11, 30, 5};
    if (size < 1)
        return 0;
    size_t n = (data[0] & 7u) + 1;
    if (size < 1 + n)
        return 0;
    std::vector<uint8_t> types;
    for (size_t i = 0; i < n; ++i)
        types.push_back(kTypes[data[1 + i] % sizeof kTypes]);
    FakeServer server;
    DrmFieldBlock block;
    if (block.oLoad(std::vector<uint8_t>(data + 1 + n, data + size), types, 100) != 0)
        return 0;
    for (int32_t r = 0; r < block.oRecordCount(); ++r) {
        for (int32_t k = 0; k < static_cast<int32_t>(n); ++k) {
            uint8_t type = 0;
            const uint8_t *bytes = nullptr;
            uint32_t length = 0;
            if (block.oLongBytes(r, k, &type, &bytes, &length)) {
                uint8_t out[64];
                uint32_t got = 0;
                DRM_RETINFO info{8, 3};
                DrmLongBytesToC(type, bytes, length, 1252, out, sizeof out, &got, &info);
            }
            QXValue slot{};
            if (block.oGetField(r, k, &slot) != 0)
                continue;
            if (!DrmIsNullValue(&slot)) {
                uint8_t out[64];
                uint32_t got = 0;
                DRM_RETINFO info{8, 3};
                DrmValueToC(&slot, 1252, 0, out, sizeof out, &got, &info);
            }
            DrmFreeValue(&slot);
        }
    }
    return 0;
}
