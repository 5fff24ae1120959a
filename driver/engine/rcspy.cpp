#include "driver/engine/rcspy.h"

#include <atomic>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "driver/core/rclock.h"

namespace {

constexpr const char *kEol = "\r\n";

std::atomic<bool> gOpen{false};
std::mutex gSinkLock;
rcSpySinkFn gSink = nullptr;
void *gSinkContext = nullptr;

enum : uint32_t {
    kOpFirst = 1000,
    kOpLastPlain = 1021,
    kOpExtPredicate = 1022,
    kColumnNode = 500,
    kUntyped = 501,
};

// Appends printf-style text to a growing string.
void Appendf(std::string &out, const char *format, ...) __attribute__((format(printf, 2, 3)));
void Appendf(std::string &out, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (n > 0) {
        size_t at = out.size();
        out.resize(at + size_t(n) + 1);
        std::vsnprintf(out.data() + at, size_t(n) + 1, format, again);
        out.resize(at + size_t(n));
    }
    va_end(again);
}

const char *OperatorName(uint32_t code)
{
    static const char *const kNames[] = {
        "None",
        "AND",
        "OR",
        "NOT",
        "EQ",
        "LE",
        "GE",
        "LT",
        "GT",
        "NE",
        "Add",
        "Subtract",
        "Multiply",
        "Divide",
        "Remainder",
        "Negative",
        "IN",
        "BETWEEN",
        "LIKE",
        "EXISTS",
        "Value List",
        "Is NULL",
        "Ext. Predicate",
    };
    if (code >= kOpFirst && code <= kOpExtPredicate)
        return kNames[code - kOpFirst];
    return nullptr;
}

// Bytes a value of a data-module type occupies, 0 for texts, -1 unknown.
int FixedSize(uint32_t type)
{
    switch (type) {
    case 1:
    case 2: return 1;
    case 3: return 2;
    case 4:
    case 6: return 4;
    case 5:
    case 7: return 8;
    case 8: return 16;
    case 101:
    case 102: return 6;
    case 103: return 38;
    case 10:
    case 11:
    case 12:
    case 104:
    case kUntyped: return 0;
    default: return -1;
    }
}

template <typename T>
T Load(const uint8_t *p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

std::string Hex(const uint8_t *p, size_t n)
{
    std::string out = "0x";
    for (size_t i = 0; i < n; ++i)
        Appendf(out, "%02X", p[i]);
    return out;
}

// The text of a value of type at p with room bytes readable; false when the
// value does not fit there.
bool ValueText(uint32_t type, uint32_t length, const uint8_t *p, size_t room, std::string *out)
{
    int fixed = FixedSize(type);
    if (fixed < 0)
        return false;
    if (fixed == 0) {
        // Texts and long binaries: the node's length, within the room.
        size_t n = length;
        if (n > room)
            return false;
        if (type == 11) {
            *out = Hex(p, n);
        } else {
            const void *nul = std::memchr(p, 0, n);
            out->assign(reinterpret_cast<const char *>(p),
                        nul ? size_t(static_cast<const uint8_t *>(nul) - p) : n);
        }
        return true;
    }
    if (size_t(fixed) > room)
        return false;
    out->clear();
    switch (type) {
    case 1:
    case 2: Appendf(*out, "%u", p[0]); break;
    case 3: Appendf(*out, "%d", Load<int16_t>(p)); break;
    case 4: Appendf(*out, "%" PRId32, Load<int32_t>(p)); break;
    case 5: {
        int64_t v = Load<int64_t>(p);
        uint64_t mag = v < 0 ? uint64_t(0) - uint64_t(v) : uint64_t(v);
        Appendf(*out, "%s%" PRIu64 ".%04" PRIu64, v < 0 ? "-" : "", mag / 10000, mag % 10000);
        break;
    }
    case 6: Appendf(*out, "%.7g", double(Load<float>(p))); break;
    case 7: Appendf(*out, "%.15g", Load<double>(p)); break;
    case 8:
        Appendf(*out, "%04d-%02u-%02u %02u:%02u:%02u.%09" PRIu32, Load<int16_t>(p),
                Load<uint16_t>(p + 2), Load<uint16_t>(p + 4), Load<uint16_t>(p + 6),
                Load<uint16_t>(p + 8), Load<uint16_t>(p + 10), Load<uint32_t>(p + 12));
        break;
    case 101:
        Appendf(*out, "%04u-%02u-%02u", Load<uint16_t>(p), Load<uint16_t>(p + 2),
                Load<uint16_t>(p + 4));
        break;
    case 102:
        Appendf(*out, "%02u:%02u:%02u", Load<uint16_t>(p), Load<uint16_t>(p + 2),
                Load<uint16_t>(p + 4));
        break;
    case 103: *out = Hex(p, 38); break;
    }
    return true;
}

class FilterWriter {
public:
    FilterWriter(const uint32_t *filter, const uint32_t *data) : f_(filter), d_(data)
    {
        words_ = filter != nullptr ? filter[0] / 4 : 0;
        dataBytes_ = data != nullptr ? data[0] : 0;
    }

    std::string Run()
    {
        if (words_ < 2) {
            Line(0, "WARNING! Empty or malformed filter tree.");
            return std::move(out_);
        }
        Node(1, 0);
        return std::move(out_);
    }

private:
    const uint32_t *f_;
    const uint32_t *d_;
    size_t words_;
    size_t dataBytes_;
    std::string out_;

    void Line(int depth, const std::string &text)
    {
        out_.append(size_t(depth) * 4, ' ');
        out_ += text;
        out_ += kEol;
    }

    bool Has(size_t index, size_t count) const { return index + count <= words_; }

    void Children(size_t parent, size_t first, uint32_t count, int depth)
    {
        if (!Has(first, count)) {
            Line(depth, "WARNING! Child list runs past the end of the tree.");
            return;
        }
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t child = f_[first + i];
            // Children stand after their parents: this also ends any cycle.
            if (child <= parent || child >= words_)
                Line(depth, "WARNING! Bad node index " + std::to_string(child) + ".");
            else
                Node(child, depth);
        }
    }

    void Node(size_t at, int depth)
    {
        if (depth > kRcSpyMaxDepth) {
            Line(depth, "WARNING! Filter tree too deep to display.");
            return;
        }
        uint32_t code = f_[at];
        if (code >= kOpFirst && code <= kOpLastPlain) {
            Line(depth, std::string("Operator: ") + OperatorName(code));
            if (Has(at, 2))
                Children(at, at + 2, f_[at + 1], depth + 1);
            return;
        }
        if (code == kOpExtPredicate) {
            Line(depth, std::string("Operator: ") + OperatorName(code));
            if (Has(at, 3))
                Children(at, at + 3, f_[at + 2], depth + 1);
            return;
        }
        if (code > kOpExtPredicate && code < 2000) {
            Line(depth, "WARNING! Unknown operator node type.");
            return;
        }
        if (code == kColumnNode) {
            if (!Has(at, 3)) {
                Line(depth, "WARNING! Unknown operand node type.");
                return;
            }
            Line(depth, "Column: TabID=" + std::to_string(f_[at + 1]) +
                            ", ColID=" + std::to_string(f_[at + 2]));
            return;
        }
        Value(at, depth);
    }

    void Value(size_t at, int depth)
    {
        if (!Has(at, 4)) {
            Line(depth, "WARNING! Unknown operand node type.");
            return;
        }
        uint32_t type = f_[at];
        uint32_t length = f_[at + 1];
        uint32_t flag = f_[at + 2];
        uint32_t where = f_[at + 3];
        const char *typeName = rcSpyDrmTypeName(type);
        if (flag == 1) {
            Line(depth, std::string("Dynamic: ") + typeName + "Param=" + std::to_string(where));
            return;
        }
        if (flag != 0) {
            Line(depth, "WARNING! Unknown operand node type.");
            return;
        }
        std::string text;
        if (d_ == nullptr || where < 8 || where >= dataBytes_ ||
            !ValueText(type, length, reinterpret_cast<const uint8_t *>(d_) + where,
                       dataBytes_ - where, &text)) {
            Line(depth,
                 std::string("Literal: ") + typeName + "WARNING! Value outside the data tree.");
            return;
        }
        if (text.size() > kRcSpyMaxValueText)
            text = "Data too long to display.";
        Line(depth, std::string("Literal: ") + typeName + text);
    }
};

// The bytes of a word in memory order as characters.
char Shown(uint8_t b) { return (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.'; }

void Emit(const std::string &text)
{
    std::lock_guard<std::mutex> guard(gSinkLock);
    if (gSink != nullptr)
        gSink(gSinkContext, text.data(), text.size());
}

} // namespace

void rcSpyOpen() { gOpen = true; }

void rcSpyClose() { gOpen = false; }

bool rcSpyIsOpen() { return gOpen; }

void rcSpySetSink(rcSpySinkFn fn, void *context)
{
    std::lock_guard<std::mutex> guard(gSinkLock);
    gSink = fn;
    gSinkContext = context;
}

void rcSpyWrite(const char *text)
{
    if (!gOpen || text == nullptr)
        return;
    rcDriverLockHold hold;
    Emit(text);
}

const char *rcSpyDrmTypeName(uint32_t type)
{
    switch (type) {
    case 1: return "Bit: ";
    case 2: return "UByte: ";
    case 3: return "Short: ";
    case 4: return "Long: ";
    case 5: return "Currency: ";
    case 6: return "IEEE Single: ";
    case 7: return "IEEE Double: ";
    case 8: return "DateTime: ";
    case 10: return "Text: ";
    case 11: return "Long Binary: ";
    case 12: return "Long Text: ";
    case 101: return "Date: ";
    case 102: return "Time: ";
    case 103: return "Numeric: ";
    case 104: return "Var Text: ";
    case kUntyped: return "Untyped: ";
    default: return "Can't Type: ";
    }
}

std::string rcSpyFormatFilterTree(const uint32_t *filter, const uint32_t *dataTree)
{
    return FilterWriter(filter, dataTree).Run();
}

std::string rcSpyFormatTableName(const char *name)
{
    std::string out = "\r\n---------------------------------\r\nTABLE: ";
    out += name != nullptr ? name : "";
    out += kEol;
    return out;
}

std::string rcSpyFormatWords(const uint32_t *block)
{
    std::string out;
    if (block == nullptr)
        return out;
    size_t words = block[0] / 4;
    for (size_t i = 0; i < words; ++i) {
        uint8_t b[4];
        std::memcpy(b, &block[i], 4);
        Appendf(out, "  [%2zu]    0x%08" PRIx32 "    %c %c %c %c    %" PRId32 "\r\n", i, block[i],
                Shown(b[0]), Shown(b[1]), Shown(b[2]), Shown(b[3]), static_cast<int32_t>(block[i]));
    }
    return out;
}

std::string rcSpyFormatRetrieveList(const uint32_t *list)
{
    std::string out;
    if (list == nullptr)
        return out;
    uint32_t bytes = list[0];
    if (bytes < 4 || (bytes - 4) % 8 != 0) {
        Appendf(out, "WARNING! Retrieve list of %" PRIu32 " bytes is malformed.\r\n", bytes);
        return out;
    }
    size_t pairs = (bytes - 4) / 8;
    Appendf(out, "RETRIEVE: %zu column%s\r\n", pairs, pairs == 1 ? "" : "s");
    for (size_t i = 0; i < pairs; ++i)
        Appendf(out, "    Cursor=%" PRIu32 ", Column=%" PRIu32 "\r\n", list[1 + 2 * i],
                list[2 + 2 * i]);
    return out;
}

std::string rcSpyFormatPredicateArg(uint32_t predId, const rcSpyPredArg &arg, const uint32_t *block,
                                    size_t blockWords)
{
    const char *kind = arg.argType == RC_SPY_ARG_PREDNAME    ? "PredName"
                       : arg.argType == RC_SPY_ARG_COLID     ? "ColID"
                       : arg.argType == RC_SPY_ARG_LITERAL   ? "Literal"
                       : arg.argType == RC_SPY_ARG_SEPARATOR ? "Seperator"
                                                             : "Unknown";
    std::string out;
    Appendf(out,
            "PredID=%" PRIu32 ": ArgType=%s, DRM_COLTYPE=%" PRIu32 ", Data Offset=%" PRIu32
            ", NULL=%" PRIu32 ", ",
            predId, kind, arg.drmColType, arg.dataOffset, arg.isNull);
    bool inside = block != nullptr && arg.dataOffset < blockWords;
    const uint8_t *at =
        inside ? reinterpret_cast<const uint8_t *>(block + arg.dataOffset) : nullptr;
    size_t room = inside ? (blockWords - arg.dataOffset) * 4 : 0;
    auto text = [&]() {
        const void *nul = std::memchr(at, 0, room);
        std::string t(reinterpret_cast<const char *>(at),
                      nul ? size_t(static_cast<const uint8_t *>(nul) - at) : room);
        return t.size() > kRcSpyMaxValueText ? std::string("Data too long to display.") : t;
    };
    if (!inside)
        out += "WARNING! Data offset outside the block.";
    else if (arg.argType == RC_SPY_ARG_PREDNAME)
        out += text();
    else if (arg.argType == RC_SPY_ARG_COLID)
        Appendf(out, "TabID,ColID=%" PRIx32, block[arg.dataOffset]);
    else if (arg.argType == RC_SPY_ARG_LITERAL)
        out.append(1, '\'').append(text()).append(1, '\'');
    else if (arg.argType == RC_SPY_ARG_SEPARATOR)
        out += Shown(at[0]);
    out += kEol;
    return out;
}

std::string rcSpyFormatColumnValues(const uint32_t *block, size_t blockWords)
{
    std::string out;
    if (block == nullptr || blockWords == 0)
        return out;
    uint32_t count = block[0];
    for (uint32_t i = 0; i < count && 1 + size_t(i) < blockWords; ++i) {
        uint32_t entry = block[1 + i];
        if (entry == 0 || size_t(entry) + 3 > blockWords) {
            out += "WARNING! Value entry outside the block.\r\n";
            continue;
        }
        uint32_t type = block[entry];
        uint32_t length = block[entry + 1];
        uint32_t isNull = block[entry + 2];
        if (FixedSize(type) < 0)
            continue;
        Appendf(out, "DRM_COLTYPE=%" PRIu32 ", DataLen=%" PRIu32 ", NULL=%" PRIu32 "%s", type,
                length, isNull, kEol);
        if (isNull != 0)
            continue;
        std::string text;
        const uint8_t *p = reinterpret_cast<const uint8_t *>(block + entry + 3);
        if (!ValueText(type, length, p, (blockWords - entry - 3) * 4, &text))
            text = "WARNING! Value outside the block.";
        else if (text.size() > kRcSpyMaxValueText)
            text = "Data too long to display.";
        out += text;
        out += kEol;
    }
    return out;
}

void rcSpyDump(int kind, const void *data, const uint32_t *dataTree)
{
    // Closed: nothing is formatted.
    if (!gOpen)
        return;
    rcDriverLockHold hold;
    const auto *words = static_cast<const uint32_t *>(data);
    switch (kind) {
    case RC_SPY_FILTER_TREE: Emit(rcSpyFormatFilterTree(words, dataTree)); break;
    case RC_SPY_TABLE_NAME: Emit(rcSpyFormatTableName(static_cast<const char *>(data))); break;
    case RC_SPY_FLUSH: break;
    case RC_SPY_WORDS: Emit(rcSpyFormatWords(words)); break;
    case RC_SPY_TEXT: Emit(data != nullptr ? static_cast<const char *>(data) : ""); break;
    case RC_SPY_RETRIEVE_LIST: Emit(rcSpyFormatRetrieveList(words)); break;
    default: break;
    }
}
