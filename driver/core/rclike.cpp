// LIKE matching. The pattern is walked once; on a mismatch after a "%" the
// match resumes one character further in the text from the last "%", which
// finds the leftmost match of each fixed-length segment. Case folding uses
// the Windows-1252 upper case on the fly: no copy, nothing modified.
#include "driver/core/rccollate.h"
#include "driver/core/rccompare.h"

namespace {

template <bool Fold>
bool likeMatch(const unsigned char *t, const unsigned char *p)
{
    auto same = [](unsigned char a, unsigned char b) {
        return Fold ? rcCollateUpper1252(a) == rcCollateUpper1252(b) : a == b;
    };
    const unsigned char *starP = nullptr, *starT = nullptr;
    while (*t != 0) {
        if (*p == '%') {
            while (*p == '%')
                ++p;
            if (*p == 0)
                return true;
            starP = p;
            starT = t;
            continue;
        }
        if (*p != 0) {
            bool any = *p == '_';
            int len = (*p == '\\' && p[1] != 0) ? 2 : 1;
            unsigned char pc = p[len - 1];
            if (any || same(pc, *t)) {
                p += len;
                ++t;
                continue;
            }
        }
        if (starP == nullptr)
            return false;
        p = starP;
        t = ++starT;
    }
    while (*p == '%')
        ++p;
    return *p == 0;
}

} // namespace

int rcCmpLikeCore(const char *value, const char *pattern)
{
    return likeMatch<false>(reinterpret_cast<const unsigned char *>(value),
                            reinterpret_cast<const unsigned char *>(pattern))
               ? 1
               : 0;
}

int rcCmpLike(const char *value, const char *pattern, int mode)
{
    const auto *v = reinterpret_cast<const unsigned char *>(value);
    const auto *p = reinterpret_cast<const unsigned char *>(pattern);
    bool match = (mode & 1) != 0 ? likeMatch<false>(v, p) : likeMatch<true>(v, p);
    return match ? 1 : 0;
}
