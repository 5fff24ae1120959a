// Fuzz target over the scanner, the grammar and regeneration. The first
// byte chooses whether escapes are allowed; the rest is the statement text.
// Every text that parses must regenerate into text that parses to an equal
// tree, and regenerate the same way again.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver/frontend/rcprs.h"
#include "driver/frontend/rcprsunparse.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0 || size > 65536)
        return 0;
    bool escapes = (data[0] & 1) != 0;
    std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
    rcMemPool arena = rcPrsNewArena();
    rcParseNode *root = nullptr;
    int result = rcPrsParseLocked(arena, text.c_str(), &root, escapes);
    if (result == RC_PRS_OK) {
        std::string again = rcPrsUnparse(root);
        rcParseNode *second = nullptr;
        // Regeneration writes escapes back, so the text is read with them.
        int reparsed = rcPrsParseLocked(arena, again.c_str(), &second, true);
        if (reparsed != RC_PRS_OK || !rcPrsTreeEqual(root, second) ||
            rcPrsUnparse(second) != again) {
            std::fprintf(stderr, "regeneration mismatch (%d: %s)\n%s\n%s\n", reparsed,
                         rcPrsLastErrorText(), text.c_str(), again.c_str());
            std::abort();
        }
    } else {
        // A failed parse always leaves a message behind.
        if (rcPrsLastErrorId() == 0 || rcPrsLastErrorText()[0] == '\0')
            std::abort();
    }
    rcPrsFreeArena(arena);
    return 0;
}
