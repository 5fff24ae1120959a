// A small reader of query-plan files for the tests: checks the header, every
// record's lengths and terminators and every offset of the plan block before
// it follows it, and lists each tree as its node classes in pre-order.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "driver/engine/plan/rcplnfile.h"

struct PlnFileRecord {
    std::string sql;
    uint16_t sqlLengthField = 0;
    uint32_t blockLength = 0;
    // Per tree: the classes of its nodes in pre-order, e.g. "9 2 3".
    std::vector<std::string> trees;
    std::vector<std::string> tables; // names in table records, in tree order
    std::vector<std::string> joins;  // per join record "subtype method text", in tree order
    // The grouping method every grouping node and sorting group table names.
    std::vector<std::string> methods;
};

class PlnFileReader {
public:
    // False with the fault in error.
    bool Read(const std::vector<uint8_t> &file, std::vector<PlnFileRecord> *records)
    {
        bytes_ = &file;
        records->clear();
        if (file.size() < kRcPlnFileHeaderSize || std::memcmp(file.data(), "SPY", 4) != 0 ||
            U16(file.data() + 4) != kRcPlnFileVersion || U16(file.data() + 6) != 1)
            return Fail("bad file header");
        size_t at = kRcPlnFileHeaderSize;
        while (at < file.size()) {
            if (file.size() - at < kRcPlnRecordHeaderSize || std::memcmp(&file[at], "QRY", 4) != 0)
                return Fail("bad record header at " + std::to_string(at));
            PlnFileRecord r;
            r.blockLength = U16(&file[at + 4]);
            r.sqlLengthField = U16(&file[at + 6]);
            size_t sqlAt = at + kRcPlnRecordHeaderSize;
            if (r.sqlLengthField == 0 || file.size() - sqlAt < r.sqlLengthField + r.blockLength)
                return Fail("record runs past the end of the file");
            if (file[sqlAt + r.sqlLengthField - 1] != 0 ||
                std::memchr(&file[sqlAt], 0, r.sqlLengthField) !=
                    &file[sqlAt + r.sqlLengthField - 1])
                return Fail("SQL text does not end where its length says");
            r.sql.assign(reinterpret_cast<const char *>(&file[sqlAt]), r.sqlLengthField - 1);
            block_ = &file[sqlAt + r.sqlLengthField];
            blockLength_ = r.blockLength;
            if (blockLength_ < kRcPlnTreesStart)
                return Fail("plan block shorter than its offset table");
            for (uint32_t i = 0; i < kRcPlnMaxTrees; ++i) {
                uint32_t off = U32(block_ + 4 + 4 * i);
                if (off == 0)
                    continue;
                std::string classes;
                joins_ = &r.joins;
                methods_ = &r.methods;
                if (!Walk(off, &classes, &r.tables, 0))
                    return false;
                r.trees.push_back(classes);
            }
            records->push_back(r);
            at = sqlAt + r.sqlLengthField + r.blockLength;
        }
        return true;
    }

    std::string error;

private:
    static uint16_t U16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
    static uint32_t U32(const uint8_t *p)
    {
        return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
               (uint32_t(p[3]) << 24);
    }
    bool Fail(const std::string &why)
    {
        error = why;
        return false;
    }
    // A text: inside the block, 4-aligned, terminated within 256 bytes.
    bool Text(uint32_t off, std::string *out)
    {
        if (off == 0)
            return true;
        if (off % 4 != 0 || off < kRcPlnTreesStart || off >= blockLength_)
            return Fail("text offset " + std::to_string(off) + " outside the block");
        const void *nul = std::memchr(block_ + off, 0, blockLength_ - off);
        if (nul == nullptr || static_cast<const uint8_t *>(nul) - (block_ + off) > 255)
            return Fail("text at " + std::to_string(off) + " is not terminated in time");
        out->assign(reinterpret_cast<const char *>(block_ + off));
        return true;
    }
    bool Walk(uint32_t off, std::string *classes, std::vector<std::string> *tables, int depth)
    {
        if (depth > 600)
            return Fail("tree too deep");
        if (off % 4 != 0 || off < kRcPlnTreesStart || off + kRcPlnNodeRecordSize > blockLength_)
            return Fail("node offset " + std::to_string(off) + " outside the block");
        const uint8_t *rec = block_ + off;
        auto w = [&](int i) { return U32(rec + 4 * i); };
        uint32_t cls = w(0);
        if (!classes->empty())
            *classes += ' ';
        *classes += std::to_string(cls);
        std::vector<uint32_t> children;
        std::string text;
        switch (cls) {
        case RC_PLNF_JOIN:
            if (!Text(w(5), &text))
                return false;
            joins_->push_back(std::to_string(w(1)) + " " + std::to_string(w(4)) + " " + text);
            children = {w(2), w(3)};
            break;
        case RC_PLNF_RESTRICT:
            if (!Text(w(2), &text))
                return false;
            children = {w(4)};
            break;
        case RC_PLNF_TABLE:
            if (std::memchr(rec + 8, 0, kRcPlnTableTextMax) == nullptr)
                return Fail("table record without terminator");
            tables->push_back(reinterpret_cast<const char *>(rec + 8));
            if (!Text(w(17), &text))
                return false;
            break;
        case RC_PLNF_DISTINCT:
        case RC_PLNF_GROUPRESULT:
        case RC_PLNF_GROUP:
        case RC_PLNF_UNION: children = {w(1)}; break;
        case RC_PLNF_SETFUNC:
            if (w(1) < 9 || w(1) > 13)
                return Fail("set-function subtype " + std::to_string(w(1)));
            children = {w(2)};
            break;
        case RC_PLNF_AGGREGATE: children = {w(1), w(2)}; break;
        case RC_PLNF_TEMPTABLE: {
            if (!Text(w(5), &text) || !Method(w(6)))
                return false;
            uint32_t count = w(2), array = w(3);
            if (count > 0 && (array < kRcPlnTreesStart || array + 8 * count > blockLength_))
                return Fail("column array outside the block");
            for (uint32_t i = 0; i < count; ++i)
                if (!Text(U32(block_ + array + 8 * i + 4), &text))
                    return false;
            children = {w(4)};
            break;
        }
        case RC_PLNF_SUBQUERY: break;
        case RC_PLNF_GROUPING:
            if (w(2) < 1 || w(2) > 2 || !Method(w(3)))
                return Fail("grouping record with method " + std::to_string(w(2)));
            children = {w(1)};
            break;
        default: return Fail("unknown node class " + std::to_string(cls));
        }
        for (uint32_t child : children)
            if (child != 0 && !Walk(child, classes, tables, depth + 1))
                return false;
        return true;
    }

    bool Method(uint32_t off)
    {
        std::string text;
        if (off == 0 || !Text(off, &text))
            return off == 0;
        methods_->push_back(text);
        return true;
    }

    const std::vector<uint8_t> *bytes_ = nullptr;
    std::vector<std::string> *joins_ = nullptr;
    std::vector<std::string> *methods_ = nullptr;
    const uint8_t *block_ = nullptr;
    uint32_t blockLength_ = 0;
};
