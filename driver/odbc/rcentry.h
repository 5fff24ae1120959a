// The entry guard of the exported ODBC functions, and the frame of their
// workers.
//
// Every export (rcodbc_entry.cpp) is a few lines: an rcEnvEntry or
// rcConnEntry validates the handle and takes its lock for the whole call,
// then the worker runs; a handle that is null, of another kind or already
// freed gives SQL_INVALID_HANDLE. Every worker opens an rcCall: the trace call
// line, the emptied error queue and, for the calls that must not run while a
// statement of the connection is busy, the busy check (5144); rcCall::done
// writes the return line. Workers are also what the driver calls internally
// (never the exported names). The three connect calls (SQLConnect,
// SQLDriverConnect, SQLBrowseConnect) write their own call line: the trace
// channel opens only once the data source they name is known.
//
// Locking rule. Two kinds of lock, always taken in this order:
//   1. An environment's lock (rcEnv::lock) protects its connection list and
//      its error queue. Every call on an environment handle holds it
//      (SQLAllocConnect, SQLFreeEnv, SQLError on the environment), and so do
//      the calls that list or unlist a connection (SQLFreeConnect); nothing
//      touches an environment's error queue without it.
//   2. A connection's lock (rcConn::lock) protects everything of the
//      connection and of its statements: state, options, error queues, the
//      table-access session and the statement list. Every call on the
//      connection or on one of its statements holds it.
//   The driver-wide lock (driver/core/rclock.h) is taken innermost, around the
//   process-wide state (pools, the engine's shared tables).
// Why this is enough for applications that share an environment across
// threads (pyodbc allocates its connections from many threads on one
// environment): allocations serialise briefly on the environment's lock,
// which also keeps its list and queue whole; after that each thread works on
// its own connection under that connection's lock, so connections run in
// parallel, and two threads sharing one connection take turns. No call holds
// a connection's lock while waiting for an environment's lock, so the order
// above never inverts.
#pragma once

#include <sql.h>

#include <cstdint>

struct rcEnv;
struct rcConn;

// A handle is live while the first field of its record holds its kind's tag
// (kRcEnvTag, kRcConnTag in rcconn.h; kRcStmtTag in rcstmt_handle.h).

// An environment handle for one call: validated and locked.
class rcEnvEntry {
public:
    explicit rcEnvEntry(SQLHENV handle);
    ~rcEnvEntry();
    rcEnvEntry(const rcEnvEntry &) = delete;
    rcEnvEntry &operator=(const rcEnvEntry &) = delete;
    explicit operator bool() const { return env_ != nullptr; }
    rcEnv *env() const { return env_; }
    // For SQLFreeEnv: lets the lock go (it dies with the handle) and hands
    // the environment over.
    rcEnv *release();

private:
    rcEnv *env_ = nullptr;
};

// A connection handle for one call: validated and locked, after its
// environment when the call changes the environment's list (withEnv).
class rcConnEntry {
public:
    explicit rcConnEntry(SQLHDBC handle, bool withEnv = false);
    ~rcConnEntry();
    rcConnEntry(const rcConnEntry &) = delete;
    rcConnEntry &operator=(const rcConnEntry &) = delete;
    explicit operator bool() const { return conn_ != nullptr; }
    rcConn *conn() const { return conn_; }
    // For SQLFreeConnect: lets the connection's lock go (it dies with the
    // handle; the environment's lock stays to the end of the call).
    rcConn *release();

private:
    rcEnv *env_ = nullptr;
    rcConn *conn_ = nullptr;
};

enum : unsigned {
    RC_CALL_BUSY_CHECK = 1, // refuse with 5144 while a statement of the connection is busy
    RC_CALL_INTERNAL = 2,   // called by the driver itself: no trace lines, the queue is kept
};

// The frame of a connection worker.
class rcCall {
public:
    rcCall(rcConn *conn, const char *name, unsigned flags, const char *format, ...)
        __attribute__((format(printf, 5, 6)));
    rcCall(const rcCall &) = delete;
    rcCall &operator=(const rcCall &) = delete;
    // The busy check refused the call (5144 is posted).
    bool refused() const { return refused_; }
    // Writes the return line; answers rc.
    SQLRETURN done(SQLRETURN rc);

private:
    rcConn *conn_;
    const char *name_;
    bool trace_;
    bool refused_ = false;
};
