// Sort-key comparison of temporary-table rows.
#include "driver/engine/temp/rctmpkey.h"

#include "driver/core/rccnv.h"
#include "driver/core/rccollate.h"
#include "driver/core/rccompare.h"
#include "driver/core/rcmem.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rcnum.h"
#include "driver/core/rcnumprivate.h"

#include <cstring>

namespace {

template <typename T>
T load(const unsigned char *p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
int threeWay(T a, T b)
{
    return a < b ? -1 : (a > b ? 1 : 0);
}

size_t trimBlanks(const unsigned char *s, size_t n)
{
    while (n > 0 && s[n - 1] == ' ')
        --n;
    return n;
}

int compareTextLen(const unsigned char *a, size_t la, const unsigned char *b, size_t lb)
{
    la = trimBlanks(a, la);
    lb = trimBlanks(b, lb);
    return rcCollateCompare1252(reinterpret_cast<const char *>(a), la,
                                reinterpret_cast<const char *>(b), lb);
}

bool isText(int16_t type)
{
    return type == SQL_CHAR || type == SQL_VARCHAR || type == SQL_LONGVARCHAR;
}

} // namespace

int rcTmpCompareText(const unsigned char *a, const unsigned char *b, size_t size)
{
    size_t la = strnlen(reinterpret_cast<const char *>(a), size);
    size_t lb = strnlen(reinterpret_cast<const char *>(b), size);
    return compareTextLen(a, la, b, lb);
}

int rcTmpCompareValue(int16_t storageType, const unsigned char *a, const unsigned char *b,
                      uint32_t valueSize)
{
    switch (storageType) {
    case SQL_INTEGER: return threeWay(load<int32_t>(a), load<int32_t>(b));
    case SQL_DOUBLE: return rcCnvCompareDoubleExact(load<double>(a), load<double>(b));
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR: return rcTmpCompareText(a, b, valueSize);
    case SQL_DATE: return rcCmpDate(a, b);
    case SQL_TIME: return rcCmpTime(a, b);
    case SQL_TIMESTAMP: return rcCmpTimestamp(a, b);
    case RC_SQL_SCALED64: return threeWay(load<int64_t>(a), load<int64_t>(b));
    case RC_SQL_DECIMAL38: {
        MultiPrecisionNumber x = load<MultiPrecisionNumber>(a);
        MultiPrecisionNumber y = load<MultiPrecisionNumber>(b);
        return rcNumOpCompare(x, y);
    }
    default: return 0;
    }
}

int16_t rcTmpBuildKeys(TempTable *t)
{
    if (t->keys != nullptr || t->keyCount == 0)
        return 0;
    auto *keys = static_cast<rcTmpKeyDesc *>(rcMemAlloc(sizeof(rcTmpKeyDesc) * t->keyCount));
    if (keys == nullptr)
        return static_cast<int16_t>(rcErrRaise(t->owner.errors, RC_MSG_MEMORY_ALLOCATION_ERROR));
    for (uint16_t k = 0; k < t->keyCount; ++k) {
        const TempTableColumn *col = nullptr;
        for (uint16_t c = 0; c < t->columnCount; ++c)
            if ((t->columns[c].keyFlags & RC_TMP_KEY) && t->columns[c].keyPosition == k)
                col = &t->columns[c];
        if (col == nullptr) {
            rcMemFree(keys);
            rcErrPost(t->owner.errors, RC_MSG_GENERAL_ERROR, nullptr, 0,
                      "Sort keys of a temporary table are numbered 0, 1, 2 ... without gaps.");
            return -1;
        }
        if (rcCnvIsBinaryType(col->storageType) || col->storageType == 0) {
            rcMemFree(keys);
            return static_cast<int16_t>(
                rcErrRaise(t->owner.errors, RC_ENG_UNABLE_SORT_COLUMN_TYPE));
        }
        keys[k] = {col->rowOffset, col->valueSize, col->storageType,
                   (col->keyFlags & RC_TMP_KEY_DESC) != 0};
    }
    t->keys = keys;
    return 0;
}

uint64_t rcTmpKeyPrefix(const TempTable *t, const unsigned char *row)
{
    const rcTmpKeyDesc &key = t->keys[0];
    const unsigned char *slot = row + key.offset;
    const unsigned char *v = slot + RC_TMP_INDICATOR;
    constexpr uint64_t kValue = uint64_t(1) << 63; // above every NULL
    uint64_t p = 0;
    if (slot[0] != RC_TMP_NULL) {
        p = kValue;
        switch (key.storageType) {
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_LONGVARCHAR: {
            size_t n = trimBlanks(v, slot[1] | (slot[2] << 8));
            uint64_t w = 0;
            for (size_t k = 0; k < 5; ++k)
                w = (w << 12) | (k < n ? rcCollatePrimary1252(v[k]) : 0);
            p |= w;
            break;
        }
        case SQL_INTEGER: p |= uint64_t(uint32_t(load<int32_t>(v)) ^ 0x80000000u) << 31; break;
        case SQL_DOUBLE: {
            double d = load<double>(v);
            uint64_t bits;
            if (d != d) {
                bits = ~uint64_t(0); // NaN after every number
            } else {
                if (d == 0)
                    d = 0; // -0.0 with 0.0
                std::memcpy(&bits, &d, sizeof bits);
                bits = (bits >> 63) ? ~bits : bits | kValue;
            }
            p |= bits >> 1;
            break;
        }
        case RC_SQL_SCALED64: p |= (uint64_t(load<int64_t>(v)) ^ kValue) >> 1; break;
        default: break; // the full comparison decides
        }
    }
    return key.descending ? ~p : p;
}

int rcTmpCompareRowBytes(const TempTable *t, const unsigned char *a, const unsigned char *b)
{
    for (uint16_t k = 0; k < t->keyCount; ++k) {
        const rcTmpKeyDesc &key = t->keys[k];
        const unsigned char *sa = a + key.offset, *sb = b + key.offset;
        bool nullA = sa[0] == RC_TMP_NULL, nullB = sb[0] == RC_TMP_NULL;
        int c;
        if (nullA || nullB) {
            c = nullA == nullB ? 0 : (nullA ? -1 : 1);
        } else if (isText(key.storageType)) {
            // The slot's indicator keeps the text's length.
            c = compareTextLen(sa + RC_TMP_INDICATOR, sa[1] | (sa[2] << 8), sb + RC_TMP_INDICATOR,
                               sb[1] | (sb[2] << 8));
        } else {
            c = rcTmpCompareValue(key.storageType, sa + RC_TMP_INDICATOR, sb + RC_TMP_INDICATOR,
                                  key.valueSize);
        }
        if (c != 0)
            return key.descending ? -c : c;
    }
    return 0;
}
