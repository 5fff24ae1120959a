// Trace channels: the ODBC call trace ("OdbcTrace") and the engine trace
// ("EngineTrace") of a data source.
//
//   ch = rcTraceOpen(root, dsn, key, &level)   none (null) when the level is 0 or
//                                              missing, the output cannot be
//                                              opened, or 256 channels were made
//   rcTraceCall / rcTraceReturn / rcTracePrint  write lines (null channel: nothing)
//   rcTraceClose(ch)                            drops the channel's outputs
//
// Settings (section = the data source, else "Zorvi Trace"): the channel key is
// the level (decimal, 0x hexadecimal, leading 0 octal); "TraceAppend" first
// character 1/T/t/Y/y or empty appends, anything else overwrites; "TraceOutput"
// is "debug" (the debugger's output, which is standard error here), "stdout",
// "stderr" (these three without regard to case) or a file name; empty gives a
// channel that writes nothing. "Time" (only in "Zorvi Trace") starting with "1"
// adds time stamps. Outputs of the same name are shared and counted; file names
// compare exactly.
//
// Line forms (each piece is written with a one-character tag in front):
//   call    ">" text, with Time ":" stamp, then " " and a line end
//   return  "<" "%s returned %ld.\n", or with Time "<" "%s returned %ld:" " " stamp " " "\n"
//   plain   " " text
// Every write is formatted into a buffer of the call's own, of any length, and a
// process-wide lock keeps lines of two threads apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct rcTraceChannel;

constexpr const char *kRcTraceSection = "Zorvi Trace";
constexpr uint32_t kRcTraceMaxChannels = 256;
constexpr uint32_t kRcTraceMaxOutputs = 768;
constexpr size_t kRcTraceDebugPiece = 160;

rcTraceChannel *rcTraceOpen(const char *root, const char *dsn, const char *key, uint32_t *level);
void rcTraceClose(rcTraceChannel *channel);
void rcTraceCall(rcTraceChannel *channel, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
void rcTraceReturn(rcTraceChannel *channel, const char *function, long result);
void rcTracePrint(rcTraceChannel *channel, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
// " hh:mm:ss.m": a blank, the local time of day, a point and the milliseconds
// without leading zeros.
std::string rcTraceTimeStamp();

// The engine's rule for a statement trace line of `level`: with TraceExact only
// the level equal to DebugLevel is written, else every level up to it.
bool rcTrcShouldWrite(uint32_t level, uint32_t debugLevel, bool traceExact);
// Writes text as a plain line, as it stands (it is not a format).
void rcTracePrintText(rcTraceChannel *channel, const char *text);

// The engine trace of a statement, given its connection's EngineTrace channel
// and the statement's DebugLevel and TraceExact option; each writes only when
// rcTrcShouldWrite allows `level`.
//   rcTrcWrite       a call line
//   rcTrcWriteBlock  a return line "name returned value."
//   rcTrcPrintf      formats, then writes the result as a plain line as it stands
struct rcTrcTarget {
    rcTraceChannel *channel;
    uint32_t debugLevel;
    bool traceExact;
};
void rcTrcWrite(const rcTrcTarget &target, uint32_t level, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
void rcTrcWriteBlock(const rcTrcTarget &target, uint32_t level, const char *name, long value);
void rcTrcPrintf(const rcTrcTarget &target, uint32_t level, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

// Where debugger output goes: pieces of at most 160 characters, each a
// terminated text. Standard error unless a test installs a sink.
void rcTraceSetDebugSink(void (*sink)(const char *piece));

// Test support: the number of channels handed out and outputs in use.
uint32_t rcTraceChannelsHandedOut();
uint32_t rcTraceOutputsInUse();
