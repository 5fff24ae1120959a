#include "driver/Sources/drm_trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "driver/Sources/drm_values.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace {

bool g_traceOn = false;  // guarded by DrmModuleLock
FILE *g_trace = nullptr; // guarded by DrmModuleLock
// g_trace != nullptr, readable without the lock: every entry point traces,
// and with tracing off the writers return at once without taking the lock.
std::atomic<bool> g_traceActive{false};

constexpr size_t kProfileValueMax = 254;

std::string Trim(const std::string &s)
{
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

} // namespace

std::recursive_mutex &DrmModuleLock()
{
    static std::recursive_mutex lock;
    return lock;
}

char DrmToUpperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool DrmStrEqualNoCase(const char *a, const char *b)
{
    for (; *a && *b; ++a, ++b)
        if (DrmToUpperAscii(*a) != DrmToUpperAscii(*b))
            return false;
    return *a == *b;
}

std::string DrmReadProfileString(const std::string &path, const char *section, const char *key)
{
    std::ifstream in(path);
    if (!in)
        return {};
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        std::string t = Trim(line);
        if (t.empty() || t[0] == ';')
            continue;
        if (t[0] == '[') {
            size_t close = t.find(']');
            std::string name =
                t.substr(1, close == std::string::npos ? std::string::npos : close - 1);
            inSection = DrmStrEqualNoCase(Trim(name).c_str(), section);
            continue;
        }
        if (!inSection)
            continue;
        size_t eq = t.find('=');
        if (eq == std::string::npos)
            continue;
        if (DrmStrEqualNoCase(Trim(t.substr(0, eq)).c_str(), key)) {
            std::string value = Trim(t.substr(eq + 1));
            if (value.size() > kProfileValueMax)
                value.resize(kProfileValueMax);
            return value;
        }
    }
    return {};
}

int32_t DrmReadConfig()
{
    std::lock_guard<std::recursive_mutex> hold(DrmModuleLock());
    std::string path = PlatMapWindowsPath("C:\\ODBCDRVR.INI");
    std::string mode = DrmReadProfileString(path, "TRACE", "MODE");
    if (mode.empty())
        return 0;
    if (DrmStrEqualNoCase(mode.c_str(), "ON"))
        g_traceOn = true;
    // Read for compatibility with older configuration files; not used.
    (void)DrmReadProfileString(path, "TRACE", "CHARCONVERT");
    std::string last = DrmReadProfileString(path, "TRACE", "QXCALL");
    return static_cast<int32_t>(last.size());
}

bool DrmTraceOpen()
{
    std::lock_guard<std::recursive_mutex> hold(DrmModuleLock());
    if (g_traceOn && !g_trace) {
        std::string path = PlatMapWindowsPath("C:\\LOG_ODBC.WRI");
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
        g_trace = PlatOpenPrivateFile(path.c_str(), "w+");
        g_traceActive.store(g_trace != nullptr);
    }
    return g_trace != nullptr;
}

void DrmTraceClose()
{
    std::lock_guard<std::recursive_mutex> hold(DrmModuleLock());
    if (g_trace) {
        std::fclose(g_trace);
        g_trace = nullptr;
        g_traceActive.store(false);
    }
}

bool DrmTraceIsOpen()
{
    if (!DrmTraceActive())
        return false;
    std::lock_guard<std::recursive_mutex> hold(DrmModuleLock());
    return g_trace != nullptr;
}

bool DrmTraceActive() { return g_traceActive.load(std::memory_order_relaxed); }

void DrmTraceReset()
{
    std::lock_guard<std::recursive_mutex> hold(DrmModuleLock());
    DrmTraceClose();
    g_traceOn = false;
}

namespace {

// Holds the module lock while one trace line is written. With tracing off it
// takes no lock at all (the entry points call the writers on every call);
// false when there is no log to write to.
class TraceLine {
public:
    TraceLine() : active_(DrmTraceActive())
    {
        if (active_)
            DrmModuleLock().lock();
    }
    ~TraceLine()
    {
        if (active_)
            DrmModuleLock().unlock();
    }
    TraceLine(const TraceLine &) = delete;
    TraceLine &operator=(const TraceLine &) = delete;
    explicit operator bool() const { return active_ && g_trace != nullptr; }

private:
    bool active_;
};

// "\nLABEL name\n": the frame that opens an entry point's trace.
void WriteCallFrame(const char *label, const char *name)
{
    TraceLine line;
    if (!line)
        return;
    DrmTraceWrite("\n");
    DrmTraceWrite(label);
    DrmTracePrintf(true, "%s\n", name);
}

} // namespace

void DrmTraceWrite(const char *text, bool flush)
{
    TraceLine line;
    if (!line)
        return;
    std::fputs(text, g_trace);
    if (flush)
        std::fflush(g_trace);
}

void DrmTracePrintf(bool flush, const char *format, ...)
{
    TraceLine line;
    if (!line)
        return;
    va_list args;
    va_start(args, format);
    std::vfprintf(g_trace, format, args);
    va_end(args);
    if (flush)
        std::fflush(g_trace);
}

void DrmTraceCall(const char *name) { WriteCallFrame("CALL: ", name); }

void DrmTraceUnimplemented(const char *name) { WriteCallFrame("UNIMPLEMENTED CALL: ", name); }

void DrmTraceSessionID(uint32_t session)
{
    TraceLine line;
    if (!line)
        return;
    DrmTraceWrite("PARAM: ");
    if (session == 0xFFFFFFFFu) {
        DrmTraceWrite("SessionID -> 0xFFFFFFFF (Driver Info)\n");
    } else {
        DrmTracePrintf(true, "SessionID -> %u", session);
        DrmTraceWrite("\n");
    }
}

void DrmTraceParam(const char *text)
{
    TraceLine line;
    if (!line)
        return;
    DrmTraceWrite("PARAM: ");
    DrmTraceWrite(text);
}

void DrmTraceParamf(const char *format, ...)
{
    TraceLine line;
    if (!line)
        return;
    DrmTraceWrite("PARAM: ");
    va_list args;
    va_start(args, format);
    std::vfprintf(g_trace, format, args);
    va_end(args);
    std::fflush(g_trace);
}

void DrmTraceQxCall(const char *name)
{
    TraceLine line;
    if (!line)
        return;
    DrmTraceWrite("QX CALL: ");
    DrmTracePrintf(true, "%s\n", name);
}

void DrmLogWrite(const char *) {}

const char *DrmTypeName(uint32_t typeId)
{
    switch (typeId) {
    case kDrmTypeNull: return "(null)";
    case kDrmTypeBit: return "(bit)";
    case kDrmTypeUByte: return "(unsigned byte)";
    case kDrmTypeShort: return "(short)";
    case kDrmTypeLong: return "(long)";
    case kDrmTypeCurrency: return "(currency)";
    case kDrmTypeSingle: return "(IEEE Single)";
    case kDrmTypeDouble: return "(IEEE Double)";
    case kDrmTypeDateTime: return "(date time)";
    case kDrmTypeText: return "(text)";
    case kDrmTypeLongBinary: return "(long binary)";
    case kDrmTypeLongText: return "(long text)";
    case kDrmTypeDate: return "(date)";
    case kDrmTypeTime: return "(time)";
    case kDrmTypeNumeric: return "(numeric)";
    case kDrmTypeVarText: return "(var text)";
    default: return "(unkown)";
    }
}

int32_t DrmNoOp(void *, void *, void *, void *, void *, void *) { return 0; }
