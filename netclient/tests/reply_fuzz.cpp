// Reply bodies as a hostile server could send them: every converter must
// stay inside the bytes it was given.
//   byte 0: which converter; byte 1: bit 0 swap, bit 1 older server;
//   byte 2: a count (fields) or a column type; the rest: the body.
#include "netclient/nc_connection.h"
#include "netclient/nc_values.h"

#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    auto conn = std::make_unique<QXConnection>();
    conn->swap = data[1] & 1;
    conn->version = (data[1] & 2) ? 0x5FF : 0x650;
    std::vector<uint8_t> body(data + 3, data + size);
    switch (data[0] % 4) {
    case 0: {
        int count = data[2] % 16;
        if (nc::ConvertFieldsResult(body.data(), body.size(), count, conn->swap) == 0 &&
            count > 0) {
            QXHandle h = AllocQXHandle(int32_t(body.size()));
            std::memcpy(LockQXHandle(h), body.data(), body.size());
            UnlockQXHandle(h);
            for (int i = 1; i <= count; ++i) {
                QXValue v;
                if (_QX_GetNthField(h, int16_t(i), &v) == 0)
                    FreeQXHandle(v.data);
            }
            FreeQXHandle(h);
        }
        break;
    }
    case 1: {
        int16_t types[3] = {2, int16_t(data[2] % 32), int16_t(data[2] / 32)};
        nc::ConvertArrayData(conn.get(), types, body.data(), body.size(), data[2] & 1 ? 1 : 0, 2);
        break;
    }
    case 2:
        nc::ConvertArrayData(conn.get(), nullptr, body.data(), body.size(), 0, data[2] % 3);
        break;
    default: nc::ConvertDefinition(conn.get(), body); break;
    }
    return 0;
}
