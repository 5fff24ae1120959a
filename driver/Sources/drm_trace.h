// Data-module configuration file, trace log and small shared routines.
//
// Tracing is switched on by "MODE=ON" in section "TRACE" of "C:\ODBCDRVR.INI"
// (read at every session begin; once on it stays on for the process). While
// on, DrmTraceOpen empties and opens "C:\LOG_ODBC.WRI"; every write
// is flushed at once. Both paths map through the platform layer's DriveRoot
// directory.
//
// The module-wide lock guards the data module's shared state: sessions and
// their objects, the id counters, the trace stream. Every Drm* entry point
// holds it for its whole call; the trace writers take it too while a log is
// open (it is re-entrant), so the server-link code may trace outside an entry
// point. With no log open they return at once, without the lock.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

std::recursive_mutex &DrmModuleLock();

// Reads the configuration file; the character count of the last read, or 0.
int32_t DrmReadConfig();
// Opens the trace log when tracing is on and no log is open; whether open.
bool DrmTraceOpen();
void DrmTraceClose();
bool DrmTraceIsOpen();
// The same without taking the lock (a hint for hot paths).
bool DrmTraceActive();
// Forces tracing off and closes the log (tests start from a known state).
void DrmTraceReset();

// Writers; each does nothing when the log is closed.
void DrmTraceWrite(const char *text, bool flush = true);
void DrmTracePrintf(bool flush, const char *format, ...) __attribute__((format(printf, 2, 3)));
// "\n", "CALL: ", name and "\n", each flushed.
void DrmTraceCall(const char *name);
// "\n", "UNIMPLEMENTED CALL: ", name and "\n", each flushed.
void DrmTraceUnimplemented(const char *name);
// "PARAM: " then "SessionID -> ..." for a session id or the driver (0xFFFFFFFF).
void DrmTraceSessionID(uint32_t session);
// "PARAM: " then the text, each flushed.
void DrmTraceParam(const char *text);
void DrmTraceParamf(const char *format, ...) __attribute__((format(printf, 1, 2)));
// "QX CALL: " and the request's name, for every netclient request made.
void DrmTraceQxCall(const char *name);

// Notices that have no log of their own; they are dropped.
void DrmLogWrite(const char *text);

const char *DrmTypeName(uint32_t typeId);
char DrmToUpperAscii(char c);
bool DrmStrEqualNoCase(const char *a, const char *b);

// The parse hook: the data module takes no statement.
int32_t DrmNoOp(void *, void *, void *, void *, void *, void *);

// Reads one key of a private profile file (sections and keys match ignoring
// ASCII case); at most 254 characters; empty when absent.
std::string DrmReadProfileString(const std::string &path, const char *section, const char *key);
