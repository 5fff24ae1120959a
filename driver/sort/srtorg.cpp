// File organisations: preparation, record rules and finishing steps.
#include "driver/sort/srtorg.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint64_t kMaxKeptHeader = 64u << 20;

// Reads up to len bytes at the start of a file. Returns 0 or an error code.
uint32_t readStart(const std::string &name, size_t len, std::string &out, uint64_t *size)
{
    int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 214;
    uint32_t err = 0;
    if (size) {
        struct stat st;
        if (::fstat(fd, &st) != 0)
            err = 227;
        else
            *size = static_cast<uint64_t>(st.st_size);
    }
    out.assign(len, '\0');
    size_t got = 0;
    while (!err && got < len) {
        ssize_t n = ::read(fd, out.data() + got, len - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            err = 216;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    out.resize(got);
    if (::close(fd) != 0 && !err)
        err = 221;
    return err;
}

uint32_t le16(const unsigned char *p) { return p[0] | (uint32_t(p[1]) << 8); }

uint32_t be16(const unsigned char *p) { return (uint32_t(p[0]) << 8) | p[1]; }

SrtRule fixed(size_t reclen, size_t avail, bool atEof, size_t &len)
{
    if (avail < reclen)
        return atEof ? SRT_REC_BAD : SRT_REC_INCOMPLETE;
    len = reclen;
    return SRT_REC_OK;
}

SrtRule prefixed(size_t head, size_t total, size_t avail, bool atEof, size_t &len)
{
    if (avail < head || avail < total)
        return atEof ? SRT_REC_BAD : SRT_REC_INCOMPLETE;
    len = total;
    return SRT_REC_OK;
}

// Up to and including the first occurrence of term; at the end of the file
// what is left is the last record.
SrtRule terminated(const unsigned char *p, size_t avail, bool atEof, const unsigned char *term,
                   size_t termLen, size_t &len)
{
    const void *hit = termLen ? ::memmem(p, avail, term, termLen) : nullptr;
    if (hit) {
        len = static_cast<size_t>(static_cast<const unsigned char *>(hit) - p) + termLen;
        return SRT_REC_OK;
    }
    if (!atEof)
        return SRT_REC_INCOMPLETE;
    len = avail;
    return SRT_REC_OK;
}

} // namespace

uint32_t srtOrgPrepare(SrtSettings &s, const std::vector<std::string> &inputs, SrtFormat &f)
{
    size_t headerLen = 0;
    bool needFirst = true;
    switch (s.org) {
    case SRT_RV: headerLen = 4; break;
    case SRT_CVS: headerLen = 128; break;
    case SRT_DB3: headerLen = 12; break;
    case SRT_PRE: headerLen = 0; break;
    default: needFirst = s.bypass; break;
    }
    if (!needFirst)
        return 0;
    if (inputs.empty())
        return 213;
    if (s.bypass) {
        f.skip = s.bypassBytes;
        f.keepHeader = s.bypassKeep;
        if (!f.keepHeader)
            return 0;
        if (f.skip > kMaxKeptHeader)
            return 225;
        uint32_t err = readStart(inputs[0], static_cast<size_t>(f.skip), f.header, nullptr);
        return err == 216 ? 217 : err;
    }
    std::string head;
    uint32_t err = readStart(inputs[0], headerLen, head, s.org == SRT_PRE ? &f.preSize : nullptr);
    if (err)
        return err;
    const unsigned char *h = reinterpret_cast<const unsigned char *>(head.data());
    switch (s.org) {
    case SRT_RV:
        if (head.size() < 4)
            return 216;
        f.rvPrefix = le16(h + 2) <= 255 ? 1 : 2;
        break;
    case SRT_CVS:
        if (head.size() < 128)
            return 216;
        f.cvsHeader = be16(h + 56) > 4095 ? 4 : 2;
        break;
    case SRT_DB3: {
        if (head.size() < 12)
            return 216;
        uint32_t headerBytes = le16(h + 8);
        s.recordLength = le16(h + 10);
        if (s.recordLength == 0 || headerBytes < 12)
            return 216;
        err = readStart(inputs[0], headerBytes, head, nullptr);
        if (err)
            return err;
        if (head.size() < headerBytes)
            return 216;
        break;
    }
    default: break;
    }
    if (s.org != SRT_PRE) {
        f.skip = head.size();
        f.keepHeader = true;
        f.header = head;
    }
    return 0;
}

SrtRule srtOrgRecord(const SrtSettings &s, const SrtFormat &f, const unsigned char *p, size_t avail,
                     bool atEof, size_t &len)
{
    switch (s.org) {
    case SRT_FIX:
    case SRT_PRE: return fixed(s.recordLength, avail, atEof, len);
    case SRT_FE:
        if (avail && p[0] == s.endChar)
            return SRT_REC_END;
        return fixed(s.recordLength, avail, atEof, len);
    case SRT_DB3:
        if (avail && p[0] == 26)
            return SRT_REC_END;
        return fixed(s.recordLength, avail, atEof, len);
    case SRT_TXT: {
        static const unsigned char crlf[2] = {13, 10};
        if (avail && p[0] == 26)
            return SRT_REC_END;
        SrtRule rule = terminated(p, avail, atEof, crlf, 2, len);
        // A last line without CR LF right before the end mark: the mark is
        // not part of the line.
        if (rule == SRT_REC_OK && atEof && len == avail && len > 1 && p[len - 1] == 26)
            --len;
        return rule;
    }
    case SRT_GP: {
        const std::vector<unsigned char> &end = s.gpEnd;
        size_t n = avail < end.size() ? avail : end.size();
        if (n && std::memcmp(p, end.data(), n) == 0) {
            if (n == end.size())
                return SRT_REC_END;
            if (!atEof)
                return SRT_REC_INCOMPLETE;
        }
        return terminated(p, avail, atEof, s.gpTerminator.data(), s.gpTerminator.size(), len);
    }
    case SRT_VS:
        if (avail < 2)
            return atEof ? SRT_REC_BAD : SRT_REC_INCOMPLETE;
        return prefixed(2, 2 + size_t(le16(p)), avail, atEof, len);
    case SRT_RV:
        if (f.rvPrefix == 1) {
            if (avail < 1)
                return atEof ? SRT_REC_BAD : SRT_REC_INCOMPLETE;
            return prefixed(1, size_t(p[0]) + 2, avail, atEof, len);
        }
        if (avail < 2)
            return atEof ? SRT_REC_BAD : SRT_REC_INCOMPLETE;
        return prefixed(2, size_t(le16(p)) + 4, avail, atEof, len);
    case SRT_CVS: {
        if (avail < f.cvsHeader)
            return atEof ? SRT_REC_BAD : SRT_REC_INCOMPLETE;
        uint64_t body =
            f.cvsHeader == 2 ? (be16(p) & 0x0FFF) : (uint64_t(be16(p)) << 16 | be16(p + 2));
        if (body > (1u << 30))
            return SRT_REC_BAD;
        size_t total = static_cast<size_t>((body + f.cvsHeader + 3) & ~uint64_t(3));
        return prefixed(f.cvsHeader, total, avail, atEof, len);
    }
    default: return SRT_REC_BAD;
    }
}

uint32_t srtOrgStart(const SrtFormat &f, SrtWriter &out)
{
    if (!f.keepHeader || f.header.empty())
        return 0;
    uint32_t err =
        out.write(reinterpret_cast<const unsigned char *>(f.header.data()), f.header.size());
    return err ? 303 : 0;
}

uint32_t srtOrgFinish(const SrtSettings &s, const SrtFormat &f, SrtWriter &out, uint64_t count)
{
    uint32_t err = 0;
    unsigned char end = 26;
    switch (s.org) {
    case SRT_FE:
        end = s.endChar;
        err = out.write(&end, 1);
        break;
    case SRT_TXT:
        if (f.endSeen)
            err = out.write(&end, 1);
        break;
    case SRT_GP:
        if (f.endSeen)
            err = out.write(s.gpEnd.data(), s.gpEnd.size());
        break;
    case SRT_DB3: err = out.write(&end, 1); break;
    case SRT_PRE: {
        static const unsigned char fill[4096] = {};
        while (!err && out.written() < f.preSize) {
            uint64_t left = f.preSize - out.written();
            err = out.write(fill, left < sizeof fill ? static_cast<size_t>(left) : sizeof fill);
        }
        break;
    }
    default: break;
    }
    if (err)
        return 321;
    if ((err = out.flush()))
        return err;
    if (s.org == SRT_DB3 && f.keepHeader && f.header.size() >= 8) {
        unsigned char n[4] = {
            static_cast<unsigned char>(count), static_cast<unsigned char>(count >> 8),
            static_cast<unsigned char>(count >> 16), static_cast<unsigned char>(count >> 24)};
        if (::pwrite(out.fd(), n, 4, 4) != 4)
            return 319;
    }
    return 0;
}
