// Fuzz target: a control statement, then two records to compare, select and
// locate fields in. Input: statement bytes, a zero byte, record A, a zero
// byte, record B.
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

#include "driver/sort/srtcond.h"
#include "driver/sort/srtkeys.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const char *text = reinterpret_cast<const char *>(data);
    const char *end = text + size;
    const char *z1 = static_cast<const char *>(std::memchr(text, 0, size));
    if (!z1)
        z1 = end;
    std::string stmt(text, z1);
    const char *a = z1 < end ? z1 + 1 : end;
    const char *z2 =
        a < end ? static_cast<const char *>(std::memchr(a, 0, static_cast<size_t>(end - a)))
                : nullptr;
    if (!z2)
        z2 = end;
    const char *b = z2 < end ? z2 + 1 : end;
    // ALTS names a file; keep the fuzzer away from the file system.
    std::string lower = stmt;
    for (char &c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.find("al") != std::string::npos)
        return 0;
    SrtSettings s;
    SrtCallbacks none;
    bool recordCall = !stmt.empty() && stmt[0] == '!';
    if (srtParseControl(stmt.data(), stmt.size(), recordCall, none, s) != 0)
        return 0;
    SrtCompare cmp;
    cmp.init(s, none);
    auto ra = reinterpret_cast<const unsigned char *>(a);
    auto rb = reinterpret_cast<const unsigned char *>(b);
    uint32_t la = static_cast<uint32_t>(z2 - a), lb = static_cast<uint32_t>(end - b);
    int ab = srtCompareKeys(cmp, ra, la, rb, lb);
    int ba = srtCompareKeys(cmp, rb, lb, ra, la);
    if (ab != -ba)
        __builtin_trap(); // comparisons are antisymmetric
    if (cmp.prefixUsable) {
        uint64_t pa = srtKeyPrefix(cmp, ra, la), pb = srtKeyPrefix(cmp, rb, lb);
        if ((pa < pb && ab > 0) || (pa > pb && ab < 0))
            __builtin_trap();
    }
    srtSelectRecord(cmp, ra, la);
    srtSelectRecord(cmp, rb, lb);
    return 0;
}
