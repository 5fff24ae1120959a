// Output step of the sort: duplicate groups, SUM, output layout, writing.
#include "platform/strings.h"
#include "driver/sort/srtoutput.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "driver/sort/srtparse_impl.h"

namespace {

// Printable ASCII and the control characters as in EBCDIC code page 037, with
// line feed at 0x15. The remaining PC characters take the remaining EBCDIC
// positions in ascending order, so that the table is a bijection.
struct EbcdicTables {
    unsigned char to[256];
    unsigned char from[256];
    EbcdicTables()
    {
        static const unsigned char low[128] = {
            0x00, 0x01, 0x02, 0x03, 0x37, 0x2D, 0x2E, 0x2F, 0x16, 0x05, 0x15, 0x0B, 0x0C,
            0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x3C, 0x3D, 0x32, 0x26, 0x18, 0x19,
            0x3F, 0x27, 0x1C, 0x1D, 0x1E, 0x1F, 0x40, 0x5A, 0x7F, 0x7B, 0x5B, 0x6C, 0x50,
            0x7D, 0x4D, 0x5D, 0x5C, 0x4E, 0x6B, 0x60, 0x4B, 0x61, 0xF0, 0xF1, 0xF2, 0xF3,
            0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0x7A, 0x5E, 0x4C, 0x7E, 0x6E, 0x6F, 0x7C,
            0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xD1, 0xD2, 0xD3, 0xD4,
            0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9,
            0xBA, 0xE0, 0xBB, 0xB0, 0x6D, 0x79, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87,
            0x88, 0x89, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0xA2, 0xA3,
            0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xC0, 0x4F, 0xD0, 0xA1, 0x07,
        };
        bool used[256] = {};
        for (int i = 0; i < 128; ++i) {
            to[i] = low[i];
            used[low[i]] = true;
        }
        int next = 0;
        for (int i = 128; i < 256; ++i) {
            while (used[next])
                ++next;
            to[i] = static_cast<unsigned char>(next);
            used[next] = true;
        }
        for (int i = 0; i < 256; ++i)
            from[to[i]] = static_cast<unsigned char>(i);
    }
};

const EbcdicTables &tables()
{
    static const EbcdicTables t;
    return t;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A literal: "&H" hex bytes, "&E" text in EBCDIC, else the text itself.
uint32_t literalBytes(const std::string &text, std::string &bytes)
{
    if (text.size() > 20)
        return 207;
    if (text.size() >= 2 && text[0] == '&' && (text[1] == 'H' || text[1] == 'h')) {
        if (text.size() % 2 != 0)
            return 207;
        bytes.clear();
        for (size_t i = 2; i < text.size(); i += 2) {
            int hi = hexDigit(text[i]), lo = hexDigit(text[i + 1]);
            if (hi < 0 || lo < 0)
                return 207;
            bytes.push_back(static_cast<char>(hi * 16 + lo));
        }
        return 0;
    }
    if (text.size() >= 2 && text[0] == '&' && (text[1] == 'E' || text[1] == 'e')) {
        bytes.clear();
        for (size_t i = 2; i < text.size(); ++i)
            bytes.push_back(static_cast<char>(tables().to[static_cast<unsigned char>(text[i])]));
        return 0;
    }
    bytes = text;
    return 0;
}

void putLE(std::vector<unsigned char> &out, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

bool isEbcdicNumber(const unsigned char *p, uint32_t len)
{
    bool digit = false;
    for (uint32_t i = 0; i < len; ++i) {
        unsigned char c = p[i];
        if (c >= 0xF0 && c <= 0xF9)
            digit = true;
        else if (c != 0x40 && c != 0x4B && c != 0x4E && c != 0x60)
            return false;
    }
    return digit;
}

} // namespace

const unsigned char *srtToEbcdicTable() { return tables().to; }

const unsigned char *srtFromEbcdicTable() { return tables().from; }

uint32_t srtParseOutItems(const SrtArgs &args, SrtSettings &s)
{
    s.outItems.clear();
    size_t i = 0;
    uint64_t n = 0;
    while (i < args.size()) {
        if (args[i].kind != SrtToken::Word)
            return 10007;
        if (s.outItems.size() == 20)
            return 206;
        const SrtToken &t = args[i];
        SrtOutItem item;
        if (t.quoted || (t.text.size() >= 2 && t.text[0] == '&')) {
            item.kind = SRT_OUT_LITERAL;
            if (uint32_t err = literalBytes(t.text, item.bytes))
                return err;
            ++i;
        } else if (t.text[0] >= '0' && t.text[0] <= '9') {
            if (!srtParseNumber(t, n) || n == 0 || n > 0xFFFFFFFEu)
                return 202;
            item.field.pos = static_cast<uint32_t>(n);
            if (++i >= args.size() || args[i].kind != SrtToken::Word)
                return 10007;
            if (!args[i].quoted && PlatAsciiCaseCompare(args[i].text.c_str(), "E") == 0) {
                item.kind = SRT_OUT_TO_END;
                item.field.len = SRT_LEN_TO_END;
            } else {
                if (!srtParseNumber(args[i], n) || n >= SRT_LEN_TO_END)
                    return 203;
                if (n == 0)
                    return 10007;
                item.field.len = static_cast<uint32_t>(n);
            }
            ++i;
        } else {
            static const struct {
                const char *name;
                SrtOutKind kind;
            } names[] = {
                {"RECL", SRT_OUT_RECL}, {"RRN", SRT_OUT_RRN},   {"RBA", SRT_OUT_RBA},
                {"CRLF", SRT_OUT_CRLF}, {"BT-R", SRT_OUT_BTR},  {"HL-R", SRT_OUT_HLR},
                {"DUPC", SRT_OUT_DUPC}, {"ARRN", SRT_OUT_ARRN},
            };
            bool found = false;
            for (const auto &nm : names)
                if (PlatAsciiCaseCompare(t.text.c_str(), nm.name) == 0) {
                    item.kind = nm.kind;
                    found = true;
                }
            if (!found)
                return 323;
            ++i;
            if (item.kind == SRT_OUT_DUPC && i < args.size() && args[i].kind == SrtToken::Open) {
                if (i + 2 >= args.size() || !srtParseNumber(args[i + 1], n) || n == 0 ||
                    n > 0xFFFFFFFFu || args[i + 2].kind != SrtToken::Close)
                    return 10007;
                s.dupcMin = static_cast<uint32_t>(n);
                i += 3;
            }
        }
        s.outItems.push_back(item);
    }
    return s.outItems.empty() ? 10007 : 0;
}

// ---------------------------------------------------------------------------

SrtWriter::SrtWriter(int fd, size_t bufferSize, uint32_t errFull, uint32_t errOther, bool framed)
    : fd_(fd), size_(bufferSize < 4096 ? 4096 : bufferSize), errFull_(errFull), errOther_(errOther),
      framed_(framed)
{
    buf_.reset(new unsigned char[size_]);
}

uint32_t SrtWriter::flush()
{
    size_t done = 0;
    while (done < used_) {
        ssize_t n = ::write(fd_, buf_.get() + done, used_ - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 && errno == ENOSPC ? errFull_ : n == 0 ? errFull_ : errOther_;
        done += static_cast<size_t>(n);
    }
    used_ = 0;
    return 0;
}

uint32_t SrtWriter::write(const unsigned char *data, size_t len)
{
    total_ += len;
    while (len) {
        if (used_ == size_)
            if (uint32_t err = flush())
                return err;
        size_t n = size_ - used_ < len ? size_ - used_ : len;
        std::memcpy(buf_.get() + used_, data, n);
        used_ += n;
        data += n;
        len -= n;
    }
    return 0;
}

uint32_t SrtWriter::putRecord(const unsigned char *data, size_t len)
{
    if (framed_) {
        unsigned char head[4] = {
            static_cast<unsigned char>(len), static_cast<unsigned char>(len >> 8),
            static_cast<unsigned char>(len >> 16), static_cast<unsigned char>(len >> 24)};
        if (uint32_t err = write(head, 4))
            return err;
    }
    return write(data, len);
}

// ---------------------------------------------------------------------------

SrtOutput::SrtOutput(const SrtCompare &cmp, SrtWriter &writer)
    : cmp_(cmp), s_(*cmp.settings), writer_(writer)
{}

uint32_t SrtOutput::emit(const unsigned char *rec, uint32_t len, uint64_t rrn, uint64_t rba,
                         uint64_t group)
{
    ++count_;
    if (!s_.layout) {
        // A line without its terminator (the last one of an input) gets one,
        // else it would run into the line written after it.
        const uint32_t tl = cmp_.terminatorLen;
        if (tl && (len < tl || std::memcmp(rec + len - tl, cmp_.terminator, tl) != 0)) {
            scratch_.assign(rec, rec + len);
            scratch_.insert(scratch_.end(), cmp_.terminator, cmp_.terminator + tl);
            return writer_.putRecord(scratch_.data(), scratch_.size());
        }
        return writer_.putRecord(rec, len);
    }
    scratch_.clear();
    char digits[32];
    for (const SrtOutItem &item : s_.outItems) {
        switch (item.kind) {
        case SRT_OUT_FIELD:
        case SRT_OUT_TO_END: {
            uint32_t off, flen;
            srtLocate(cmp_, rec, len, item.field, off, flen, true);
            scratch_.insert(scratch_.end(), rec + off, rec + off + flen);
            // A fixed-length item cut short by the record's end is padded with
            // blanks so that the output layout keeps its width.
            if (item.kind == SRT_OUT_FIELD && !item.field.numbered && flen < item.field.len)
                scratch_.insert(scratch_.end(), item.field.len - flen, ' ');
            break;
        }
        case SRT_OUT_LITERAL:
            scratch_.insert(scratch_.end(), item.bytes.begin(), item.bytes.end());
            break;
        case SRT_OUT_RECL: putLE(scratch_, len, 2); break;
        case SRT_OUT_RRN: putLE(scratch_, rrn, 4); break;
        case SRT_OUT_RBA: putLE(scratch_, rba, 4); break;
        case SRT_OUT_CRLF:
            scratch_.push_back(13);
            scratch_.push_back(10);
            break;
        case SRT_OUT_BTR: // record length, 2 bytes, then 3 zero bytes
            putLE(scratch_, len, 2);
            putLE(scratch_, 0, 3);
            break;
        case SRT_OUT_HLR: // record length, high byte first
            scratch_.push_back(static_cast<unsigned char>(len >> 8));
            scratch_.push_back(static_cast<unsigned char>(len));
            break;
        case SRT_OUT_DUPC:
        case SRT_OUT_ARRN: {
            uint64_t v = item.kind == SRT_OUT_DUPC ? group : rrn;
            int n =
                std::snprintf(digits, sizeof digits, "%.7llu", static_cast<unsigned long long>(v));
            scratch_.insert(scratch_.end(), digits, digits + n);
            break;
        }
        }
    }
    return writer_.putRecord(scratch_.data(), scratch_.size());
}

bool SrtOutput::sameGroup(const unsigned char *rec, uint32_t len) const
{
    const unsigned char *held = held_.data();
    uint32_t heldLen = static_cast<uint32_t>(held_.size());
    if (s_.dupFields.empty())
        return srtCompareBytes(held, heldLen, rec, len) == 0;
    for (const SrtField &f : s_.dupFields) {
        uint32_t offA, lenA, offB, lenB;
        srtLocate(cmp_, held, heldLen, f, offA, lenA);
        srtLocate(cmp_, rec, len, f, offB, lenB);
        if (srtCompareValues(cmp_, SRT_CHA, f.len, held, offA, lenA, rec, offB, lenB) != 0)
            return false;
    }
    return true;
}

namespace {

// Reads a decimal field (ASCII, or EBCDIC when ebcdic): value and the number
// of digits after the decimal point.
double readDecimal(const unsigned char *p, uint32_t len, bool ebcdic, int &decimals)
{
    std::string text;
    for (uint32_t i = 0; i < len; ++i)
        text.push_back(static_cast<char>(ebcdic ? srtFromEbcdicTable()[p[i]] : p[i]));
    size_t dot = text.find('.');
    decimals = 0;
    if (dot != std::string::npos)
        for (size_t i = dot + 1; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
            ++decimals;
    return strtod_l(text.c_str(), nullptr, srtCLocale());
}

} // namespace

uint32_t SrtOutput::addSums(const unsigned char *rec, uint32_t len)
{
    for (const SrtField &f : s_.sumFields) {
        uint32_t offA, lenA, offB, lenB;
        srtLocate(cmp_, held_.data(), static_cast<uint32_t>(held_.size()), f, offA, lenA);
        srtLocate(cmp_, rec, len, f, offB, lenB);
        bool ebcdic = isEbcdicNumber(held_.data() + offA, lenA);
        int decimals = 0, otherDecimals = 0;
        double a = readDecimal(held_.data() + offA, lenA, ebcdic, decimals);
        double b = readDecimal(rec + offB, lenB, isEbcdicNumber(rec + offB, lenB), otherDecimals);
        // The sum with the field's decimals, right-aligned in its width.
        char text[128];
        std::to_chars_result r =
            std::to_chars(text, text + sizeof text, a + b, std::chars_format::fixed, decimals);
        if (r.ec != std::errc() || static_cast<size_t>(r.ptr - text) > lenA)
            return SRT_ERR_SUM_OVERFLOW;
        size_t digits = static_cast<size_t>(r.ptr - text);
        int n = static_cast<int>(lenA);
        std::memmove(text + (lenA - digits), text, digits);
        std::memset(text, ' ', lenA - digits);
        for (int i = 0; i < n; ++i) {
            unsigned char c = static_cast<unsigned char>(text[i]);
            held_[offA + i] = ebcdic ? srtToEbcdicTable()[c] : c;
        }
    }
    return 0;
}

uint32_t SrtOutput::endGroup()
{
    bool write = false;
    switch (s_.dupMode) {
    case SRT_DUP_O: write = group_ >= s_.dupcMin; break;
    case SRT_DUP_E: write = group_ == 1; break;
    case SRT_DUP_I: write = group_ > 1; break;
    default: break;
    }
    holding_ = false;
    if (!write)
        return 0;
    return emit(held_.data(), static_cast<uint32_t>(held_.size()), heldRrn_, heldRba_, group_);
}

uint32_t SrtOutput::put(const unsigned char *rec, uint32_t len, uint64_t rrn, uint64_t rba)
{
    if (s_.dupMode == SRT_DUP_NONE)
        return emit(rec, len, rrn, rba, 1);
    if (len > s_.dupBuffer)
        return 256;
    if (holding_ && sameGroup(rec, len)) {
        if (s_.dupMode == SRT_DUP_I) {
            if (uint32_t err = emit(held_.data(), static_cast<uint32_t>(held_.size()), heldRrn_,
                                    heldRba_, group_ + 1))
                return err;
            held_.assign(rec, rec + len);
            heldRrn_ = rrn;
            heldRba_ = rba;
            group_ = 2;
            return 0;
        }
        ++group_;
        return s_.sum ? addSums(rec, len) : 0;
    }
    if (holding_)
        if (uint32_t err = endGroup())
            return err;
    held_.assign(rec, rec + len);
    heldRrn_ = rrn;
    heldRba_ = rba;
    group_ = 1;
    holding_ = true;
    return 0;
}

uint32_t SrtOutput::finish()
{
    if (holding_)
        if (uint32_t err = endGroup())
            return err;
    return writer_.flush();
}
