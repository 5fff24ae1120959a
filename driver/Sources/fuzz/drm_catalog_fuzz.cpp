// Fuzz target: network path text and server catalog replies.
// Input: one mode byte, then
//   mode even: a network path text;
//   mode odd:  16-bit table count, then length-prefixed (16-bit) replies:
//              the table-name list, then one definition per table.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "driver/Sources/drm_catalog.h"
#include "driver/Sources/drm_netlink.h"
#include "driver/Sources/tests/fake_server.h"

namespace {

bool Take(const uint8_t *&p, const uint8_t *end, std::vector<uint8_t> *out)
{
    if (end - p < 2)
        return false;
    size_t n = static_cast<size_t>(p[0]) | (static_cast<size_t>(p[1]) << 8);
    p += 2;
    n = std::min<size_t>(n, static_cast<size_t>(end - p));
    out->assign(p, p + n);
    p += n;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    if ((data[0] & 1) == 0) {
        std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
        DrmNetPath path;
        DrmParseNetPath(text.c_str(), &path);
        char out[96];
        DrmFormatNetPath(&path, out, sizeof out);
        return 0;
    }
    if (size < 3)
        return 0;
    FakeServer server;
    size_t tables = std::min<size_t>(data[1] | (data[2] << 8), 64);
    server.tables.resize(tables);
    const uint8_t *p = data + 3, *end = data + size;
    Take(p, end, &server.fileListOverride);
    if (server.fileListOverride.empty())
        server.fileListOverride.push_back(0); // an empty reply, not "build one"
    for (size_t i = 0; i < tables; ++i) {
        std::vector<uint8_t> def;
        Take(p, end, &def);
        server.definitionOverride[static_cast<int16_t>(i + 1)] = def;
    }
    std::unique_ptr<VDRMTableEntryArray> list;
    if (DrmLoadCatalog(1, &list) == 0) {
        DrmConvertCatalogNames(list.get(), 1252);
        DrmFindTable(list.get(), "Customers");
        for (int32_t i = 0; i < list->oCount(); ++i) {
            const VDRMTableEntry &t = list->oGet(i);
            DrmCountIndexedFields(&t);
            int32_t at = -1;
            while (DrmNextVisibleField(&at, &t) == 0) {}
            DrmFindField(t.fields.get(), "ID");
        }
    }
    return 0;
}
