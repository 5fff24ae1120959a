// The engine (parser) lock: one statement preparation at a time in the
// process. Re-entrant, so that preparation may hold it around the parse.
#pragma once

void rcPrsEngineLock();
void rcPrsEngineUnlock();

struct rcPrsEngineLockGuard {
    rcPrsEngineLockGuard() { rcPrsEngineLock(); }
    ~rcPrsEngineLockGuard() { rcPrsEngineUnlock(); }
    rcPrsEngineLockGuard(const rcPrsEngineLockGuard &) = delete;
    rcPrsEngineLockGuard &operator=(const rcPrsEngineLockGuard &) = delete;
};
