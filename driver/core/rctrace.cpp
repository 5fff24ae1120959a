#include "driver/core/rctrace.h"

#include "driver/core/rcregistry.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/strings.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

enum OutputKind : uint32_t { kStandard = 0, kFile = 1, kDebug = 2 };

struct Output {
    uint32_t useCount = 0;
    std::string name;
    FILE *stream = nullptr;
    uint32_t kind = kStandard;
};

} // namespace

struct rcTraceChannel {
    uint32_t outputCount = 0;
    Output *outputs[3] = {};
};

namespace {

std::mutex g_traceGuard; // tables, counters and every write
Output g_outputs[kRcTraceMaxOutputs];
rcTraceChannel g_channels[kRcTraceMaxChannels];
uint32_t g_channelsHandedOut = 0;
uint32_t g_outputsInUse = 0;
std::atomic<bool> g_time{false};
std::atomic<void (*)(const char *)> g_debugSink{nullptr};

std::string FormatV(const char *format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    char small[512];
    int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0)
        return {};
    if (static_cast<size_t>(n) < sizeof small)
        return std::string(small, static_cast<size_t>(n));
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<size_t>(n));
    return out;
}

// Reads a setting from the data source's section, else from "Zorvi Trace".
std::string ReadSetting(const char *root, const char *dsn, const char *key)
{
    char buffer[1024];
    int n = 0;
    if (dsn && *dsn)
        n = rcRegGetIniValue(root, dsn, key, "", buffer, sizeof buffer);
    if (n == 0)
        n = rcRegGetIniValue(root, kRcTraceSection, key, "", buffer, sizeof buffer);
    return n ? std::string(buffer) : std::string();
}

void SendToDebugger(char tag, const std::string &text)
{
    void (*sink)(const char *) = g_debugSink.load();
    std::string all(1, tag);
    all += text;
    // the first piece carries the tag and up to 160 characters of text
    size_t at = 0;
    size_t len = kRcTraceDebugPiece + 1;
    while (at < all.size()) {
        std::string piece = all.substr(at, len);
        if (sink)
            sink(piece.c_str());
        else
            std::fputs(piece.c_str(), stderr);
        at += len;
        len = kRcTraceDebugPiece;
    }
}

// One tagged piece to every output of the channel; call with g_traceGuard held.
void WriteTagged(rcTraceChannel *channel, char tag, const std::string &text)
{
    for (uint32_t i = 0; i < channel->outputCount; ++i) {
        Output *o = channel->outputs[i];
        if (!o)
            continue;
        if (o->kind == kDebug) {
            SendToDebugger(tag, text);
        } else if (o->stream) {
            std::fputc(tag, o->stream);
            std::fwrite(text.data(), 1, text.size(), o->stream);
            std::fflush(o->stream);
        }
    }
}

Output *FindLive(const std::string &name, uint32_t kind)
{
    for (auto &o : g_outputs) {
        if (o.useCount == 0 || o.kind != kind)
            continue;
        if (kind == kFile ? o.name == name
                          : PlatAsciiCaseCompare(o.name.c_str(), name.c_str()) == 0)
            return &o;
    }
    return nullptr;
}

Output *FreeEntry()
{
    for (auto &o : g_outputs)
        if (o.useCount == 0)
            return &o;
    return nullptr;
}

} // namespace

rcTraceChannel *rcTraceOpen(const char *root, const char *dsn, const char *key, uint32_t *level)
{
    if (level)
        *level = 0;
    if (!key)
        return nullptr;
    std::string time = ReadSetting(root, nullptr, "Time");
    g_time.store(!time.empty() && time[0] == '1');

    std::string levelText = ReadSetting(root, dsn, key);
    uint32_t lv =
        levelText.empty() ? 0 : static_cast<uint32_t>(std::strtoul(levelText.c_str(), nullptr, 0));
    if (lv == 0)
        return nullptr;

    std::string append = ReadSetting(root, dsn, "TraceAppend");
    const char *mode = (append.empty() || std::strchr("1TtYy", append[0])) ? "a" : "w";
    std::string name = ReadSetting(root, dsn, "TraceOutput");

    std::lock_guard<std::mutex> hold(g_traceGuard);
    if (g_channelsHandedOut >= kRcTraceMaxChannels)
        return nullptr;
    Output *output = nullptr;
    if (!name.empty()) {
        uint32_t kind = PlatAsciiCaseCompare(name.c_str(), "debug") == 0 ? kDebug
                        : (PlatAsciiCaseCompare(name.c_str(), "stdout") == 0 ||
                           PlatAsciiCaseCompare(name.c_str(), "stderr") == 0)
                            ? kStandard
                            : kFile;
        output = FindLive(name, kind);
        if (output) {
            ++output->useCount;
        } else {
            output = FreeEntry();
            if (!output)
                return nullptr;
            FILE *stream = nullptr;
            if (kind == kFile) {
                stream = PlatOpenPrivateFile(name.c_str(), mode);
                if (!stream)
                    return nullptr;
            } else if (kind == kStandard) {
                stream = PlatAsciiCaseCompare(name.c_str(), "stdout") == 0 ? stdout : stderr;
            }
            output->useCount = 1;
            output->name = name;
            output->stream = stream;
            output->kind = kind;
            ++g_outputsInUse;
        }
    }
    rcTraceChannel *channel = &g_channels[g_channelsHandedOut++];
    channel->outputCount = output ? 1 : 0;
    channel->outputs[0] = output;
    if (level)
        *level = lv;
    return channel;
}

void rcTraceClose(rcTraceChannel *channel)
{
    if (!channel)
        return;
    std::lock_guard<std::mutex> hold(g_traceGuard);
    for (uint32_t i = 0; i < channel->outputCount; ++i) {
        Output *o = channel->outputs[i];
        channel->outputs[i] = nullptr;
        if (!o || o->useCount == 0)
            continue;
        if (--o->useCount == 0) {
            if (o->kind == kFile && o->stream)
                std::fclose(o->stream);
            o->stream = nullptr;
            o->name.clear();
            --g_outputsInUse;
        }
    }
    channel->outputCount = 0;
}

std::string rcTraceTimeStamp()
{
    PlatTimeOfDay t = PlatNowTimeOfDay();
    char clock[16];
    std::snprintf(clock, sizeof clock, " %02u:%02u:%02u", t.hour % 100u, t.minute % 100u,
                  t.second % 100u);
    char out[32];
    std::snprintf(out, sizeof out, "%.9s.%u", clock, static_cast<unsigned>(t.millis));
    return out;
}

void rcTraceCall(rcTraceChannel *channel, const char *format, ...)
{
    if (!channel || channel->outputCount == 0)
        return;
    va_list args;
    va_start(args, format);
    std::string text = FormatV(format, args);
    va_end(args);
    std::string stamp = g_time.load() ? rcTraceTimeStamp() : std::string();
    std::lock_guard<std::mutex> hold(g_traceGuard);
    WriteTagged(channel, '>', text);
    if (!stamp.empty())
        WriteTagged(channel, ':', stamp);
    WriteTagged(channel, ' ', "\n");
}

void rcTraceReturn(rcTraceChannel *channel, const char *function, long result)
{
    if (!channel || channel->outputCount == 0)
        return;
    bool time = g_time.load();
    char head[64];
    std::string text = function ? function : "";
    std::snprintf(head, sizeof head, time ? " returned %ld:" : " returned %ld.\n", result);
    text += head;
    std::string stamp = time ? rcTraceTimeStamp() : std::string();
    std::lock_guard<std::mutex> hold(g_traceGuard);
    WriteTagged(channel, '<', text);
    if (time) {
        WriteTagged(channel, ' ', stamp);
        WriteTagged(channel, ' ', "\n");
    }
}

void rcTracePrint(rcTraceChannel *channel, const char *format, ...)
{
    if (!channel || channel->outputCount == 0)
        return;
    va_list args;
    va_start(args, format);
    std::string text = FormatV(format, args);
    va_end(args);
    std::lock_guard<std::mutex> hold(g_traceGuard);
    WriteTagged(channel, ' ', text);
}

void rcTracePrintText(rcTraceChannel *channel, const char *text)
{
    if (!channel || channel->outputCount == 0 || !text)
        return;
    std::lock_guard<std::mutex> hold(g_traceGuard);
    WriteTagged(channel, ' ', text);
}

bool rcTrcShouldWrite(uint32_t level, uint32_t debugLevel, bool traceExact)
{
    return traceExact ? level == debugLevel : level <= debugLevel;
}

void rcTrcWrite(const rcTrcTarget &target, uint32_t level, const char *format, ...)
{
    if (!target.channel || !rcTrcShouldWrite(level, target.debugLevel, target.traceExact))
        return;
    va_list args;
    va_start(args, format);
    std::string text = FormatV(format, args);
    va_end(args);
    rcTraceCall(target.channel, "%s", text.c_str());
}

void rcTrcWriteBlock(const rcTrcTarget &target, uint32_t level, const char *name, long value)
{
    if (target.channel && rcTrcShouldWrite(level, target.debugLevel, target.traceExact))
        rcTraceReturn(target.channel, name, value);
}

void rcTrcPrintf(const rcTrcTarget &target, uint32_t level, const char *format, ...)
{
    if (!target.channel || !rcTrcShouldWrite(level, target.debugLevel, target.traceExact))
        return;
    va_list args;
    va_start(args, format);
    std::string text = FormatV(format, args);
    va_end(args);
    rcTracePrintText(target.channel, text.c_str());
}

void rcTraceSetDebugSink(void (*sink)(const char *piece)) { g_debugSink.store(sink); }

uint32_t rcTraceChannelsHandedOut()
{
    std::lock_guard<std::mutex> hold(g_traceGuard);
    return g_channelsHandedOut;
}

uint32_t rcTraceOutputsInUse()
{
    std::lock_guard<std::mutex> hold(g_traceGuard);
    return g_outputsInUse;
}
