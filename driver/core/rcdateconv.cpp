// Converters of the date, time and timestamp classes. They work on the
// compact forms; the conversion core validates and narrows the ODBC
// structures before and widens the results after. Every source is checked
// for validity first (an invalid value answers -10).
#include "driver/core/rccnvimpl.h"
#include "driver/core/rcdate.h"

#include <cstring>

namespace {

// Writes v as exactly `width` decimal digits (zero-padded) and returns the
// position after them.
char *putDigits(char *p, uint32_t v, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        p[i] = static_cast<char>('0' + v % 10);
        v /= 10;
    }
    return p + width;
}

// "YYYY-MM-DD", "HH:MM:SS" and "YYYY-MM-DD HH:MM:SS.FFFFFFFFF"; returns the length.
int formatDate(const CnvDate &d, char *p)
{
    putDigits(p, static_cast<uint32_t>(d.year), 4);
    p[4] = '-';
    putDigits(p + 5, d.month, 2);
    p[7] = '-';
    putDigits(p + 8, d.day, 2);
    p[10] = '\0';
    return 10;
}

int formatTime(const CnvTime &t, char *p)
{
    putDigits(p, t.hour, 2);
    p[2] = ':';
    putDigits(p + 3, t.minute, 2);
    p[5] = ':';
    putDigits(p + 6, t.second, 2);
    p[8] = '\0';
    return 8;
}

int formatTimestamp(const CnvTimestamp &ts, char *p)
{
    formatDate(ts.date, p);
    p[10] = ' ';
    formatTime(ts.time, p + 11);
    p[19] = '.';
    putDigits(p + 20, ts.fraction, 9);
    p[29] = '\0';
    return 29;
}

bool hasTime(const CnvTimestamp &ts)
{
    return ts.time.hour != 0 || ts.time.minute != 0 || ts.time.second != 0 || ts.fraction != 0;
}

// Copies a compact value to a date/time target (the core's scratch) or to a
// binary destination, which must hold it.
int copyCompact(const void *value, int size, void *dst, int16_t dstClass, int32_t dstLen,
                int32_t *outLen)
{
    if (dstClass == kClsBinary && dstLen < size)
        return kCnvOutOfRange;
    std::memcpy(dst, value, static_cast<size_t>(size));
    *outLen = size;
    return kCnvOk;
}

int writeText(const char *text, int n, void *dst, int32_t dstLen, int32_t *outLen)
{
    if (dstLen <= n)
        return kCnvOutOfRange;
    std::memcpy(dst, text, static_cast<size_t>(n) + 1);
    *outLen = n;
    return kCnvOk;
}

int parse(const void *src, CnvTimestamp &ts, int16_t &cls)
{
    return rcCnvParseDateTime(static_cast<const char *>(src), ts, cls);
}

CnvDate loadDate(const void *src)
{
    CnvDate d;
    std::memcpy(&d, src, sizeof d);
    return d;
}

CnvTime loadTime(const void *src)
{
    CnvTime t;
    std::memcpy(&t, src, sizeof t);
    return t;
}

CnvTimestamp loadTimestamp(const void *src)
{
    CnvTimestamp ts;
    std::memcpy(&ts, src, sizeof ts);
    return ts;
}

} // namespace

RC_CNV_CONVERTER(rcCnvCharToDate)
{
    (void)srcClass, (void)srcLen, (void)dstClass, (void)dstLen, (void)precision, (void)scale;
    CnvTimestamp ts;
    int16_t cls;
    if (parse(src, ts, cls) != 0 || cls == kClsTime)
        return kCnvBadDate;
    std::memcpy(dst, &ts.date, sizeof ts.date);
    *outLen = 4;
    return hasTime(ts) ? kCnvTruncated : kCnvOk;
}

RC_CNV_CONVERTER(rcCnvCharToTime)
{
    (void)srcClass, (void)srcLen, (void)dstClass, (void)dstLen, (void)precision, (void)scale;
    CnvTimestamp ts;
    int16_t cls;
    if (parse(src, ts, cls) != 0 || cls == kClsDate)
        return kCnvBadDate;
    std::memcpy(dst, &ts.time, sizeof ts.time);
    *outLen = 3;
    return ts.fraction != 0 ? kCnvTruncated : kCnvOk;
}

RC_CNV_CONVERTER(rcCnvCharToTimestamp)
{
    (void)srcClass, (void)srcLen, (void)dstClass, (void)dstLen, (void)precision, (void)scale;
    CnvTimestamp ts;
    int16_t cls;
    if (parse(src, ts, cls) != 0)
        return kCnvBadDate;
    if (cls == kClsTime)
        rcCnvToday(ts.date);
    std::memcpy(dst, &ts, sizeof ts);
    *outLen = 12;
    return kCnvOk;
}

RC_CNV_CONVERTER(rcCnvDateToChar)
{
    (void)srcClass, (void)srcLen, (void)dstClass, (void)precision, (void)scale;
    CnvDate d = loadDate(src);
    if (!rcCnvDateValid(d))
        return kCnvBadDate;
    char text[16];
    int n = formatDate(d, text);
    return writeText(text, n, dst, dstLen, outLen);
}

RC_CNV_CONVERTER(rcCnvDateCopy)
{
    (void)srcLen, (void)precision, (void)scale, (void)srcClass;
    if (!rcCnvDateValid(loadDate(src)))
        return kCnvBadDate;
    return copyCompact(src, 4, dst, dstClass, dstLen, outLen);
}

RC_CNV_CONVERTER(rcCnvDateToTimestamp)
{
    (void)srcClass, (void)srcLen, (void)dstClass, (void)dstLen, (void)precision, (void)scale;
    CnvTimestamp ts{};
    ts.date = loadDate(src);
    if (!rcCnvDateValid(ts.date))
        return kCnvBadDate;
    std::memcpy(dst, &ts, sizeof ts);
    *outLen = 12;
    return kCnvOk;
}

RC_CNV_CONVERTER(rcCnvTimeToChar)
{
    (void)srcClass, (void)srcLen, (void)dstClass, (void)precision, (void)scale;
    CnvTime t = loadTime(src);
    if (!rcCnvTimeValid(t))
        return kCnvBadDate;
    char text[16];
    int n = formatTime(t, text);
    return writeText(text, n, dst, dstLen, outLen);
}

RC_CNV_CONVERTER(rcCnvTimeCopy)
{
    (void)srcLen, (void)precision, (void)scale, (void)srcClass;
    if (!rcCnvTimeValid(loadTime(src)))
        return kCnvBadDate;
    return copyCompact(src, 3, dst, dstClass, dstLen, outLen);
}

RC_CNV_CONVERTER(rcCnvTimeToTimestamp)
{
    (void)srcClass, (void)srcLen, (void)dstClass, (void)dstLen, (void)precision, (void)scale;
    CnvTimestamp ts{};
    ts.time = loadTime(src);
    if (!rcCnvTimeValid(ts.time))
        return kCnvBadDate;
    rcCnvToday(ts.date);
    std::memcpy(dst, &ts, sizeof ts);
    *outLen = 12;
    return kCnvOk;
}

RC_CNV_CONVERTER(rcCnvTimestampToChar)
{
    (void)srcClass, (void)srcLen, (void)dstClass;
    CnvTimestamp ts = loadTimestamp(src);
    if (!rcCnvTimestampValid(ts))
        return kCnvBadDate;
    int n;
    if (precision > 0) {
        if (dstLen < precision)
            return kCnvOutOfRange;
        n = ts.fraction == 0 ? 19 : precision;
    } else {
        if (dstLen < 19)
            return kCnvOutOfRange;
        n = ts.fraction == 0 ? 19 : 29;
    }
    if (scale > 0)
        n += scale + 1;
    if (n > 29)
        n = 29; // the full text form
    char text[32];
    formatTimestamp(ts, text);
    if (n == 20)
        n = 19; // never end on the point
    char *out = static_cast<char *>(dst);
    *outLen = n;
    if (dstLen > n) {
        std::memcpy(out, text, static_cast<size_t>(n));
        out[n] = '\0';
        return kCnvOk;
    }
    if (dstLen > 0) {
        std::memcpy(out, text, static_cast<size_t>(dstLen) - 1);
        out[dstLen - 1] = '\0';
    }
    return kCnvTruncated;
}

RC_CNV_CONVERTER(rcCnvTimestampToDate)
{
    (void)srcClass, (void)srcLen, (void)dstClass, (void)dstLen, (void)precision, (void)scale;
    CnvTimestamp ts = loadTimestamp(src);
    if (!rcCnvTimestampValid(ts))
        return kCnvBadDate;
    std::memcpy(dst, &ts.date, sizeof ts.date);
    *outLen = 4;
    return hasTime(ts) ? kCnvTruncated : kCnvOk;
}

RC_CNV_CONVERTER(rcCnvTimestampToTime)
{
    (void)srcClass, (void)srcLen, (void)dstClass, (void)dstLen, (void)precision, (void)scale;
    CnvTimestamp ts = loadTimestamp(src);
    if (!rcCnvTimestampValid(ts))
        return kCnvBadDate;
    std::memcpy(dst, &ts.time, sizeof ts.time);
    *outLen = 3;
    return ts.fraction != 0 ? kCnvTruncated : kCnvOk;
}

RC_CNV_CONVERTER(rcCnvTimestampCopy)
{
    (void)srcLen, (void)precision, (void)scale, (void)srcClass;
    if (!rcCnvTimestampValid(loadTimestamp(src)))
        return kCnvBadDate;
    return copyCompact(src, 12, dst, dstClass, dstLen, outLen);
}
