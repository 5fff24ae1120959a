// Fuzz target over the view file decoders. The first two bytes give the
// length of the "zorview.def" part (little-endian); the rest is "zorview.dat".
// Every entry the catalogue decoder accepts is decoded from the data part at
// its offset; nothing may be read outside the bytes given.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/frontend/fe_viewfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    size_t defLength = size_t(data[0]) | size_t(data[1]) << 8;
    data += 2;
    size -= 2;
    if (defLength > size)
        defLength = size;
    // Copies, so that the sanitizer sees the exact bounds of each part.
    std::vector<uint8_t> def(data, data + defLength);
    std::vector<uint8_t> dat(data + defLength, data + size);
    std::vector<rcViewEntry> entries;
    std::string why;
    if (!rcVwDecodeCatalog(def.data(), def.size(), &entries, &why))
        return 0;
    for (const rcViewEntry &e : entries) {
        if (e.offset > dat.size())
            continue;
        std::vector<rcViewColumn> columns;
        std::string text;
        if (rcVwDecodeRecord(dat.data() + e.offset, dat.size() - e.offset, e, &columns, &text,
                             &why))
            if (columns.size() != e.columnCount || text.size() + 1 != e.textLength)
                __builtin_trap();
    }
    // What decodes encodes back to the same entries.
    std::vector<uint8_t> again = rcVwEncodeCatalog(entries);
    std::vector<rcViewEntry> back;
    if (!rcVwDecodeCatalog(again.data(), again.size(), &back, &why) ||
        back.size() != entries.size())
        __builtin_trap();
    return 0;
}
