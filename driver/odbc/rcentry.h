// The entry guard of the exported ODBC functions, and the frame of their
// workers.
//
// Every export (rcodbc_entry.cpp) is a few lines: an rcEnvEntry or
// rcConnEntry validates the handle and takes its lock for the whole call,
// then the worker runs; a handle that is null, of another kind or already
// freed gives SQL_INVALID_HANDLE. Every worker of a connection or statement
// (rcodbc_impl.h) opens one frame, an rcCall on its handle: the trace call
// line, the emptied error queue of that handle and, for the calls that must
// not run while the handle is busy, the busy check (5144); rcCall::done
// writes the return line. (SQLError writes its lines with the records it
// hands out and empties no queue; the environment's workers have no trace
// channel.) Inside the driver the modules call each other's steps, which
// have no frame; the steps that show in the trace as calls of their own
// (SQLExecDirect's prepare and execute, the statements of index validation)
// open a frame that keeps the queue. The three connect calls (SQLConnect,
// SQLDriverConnect, SQLBrowseConnect) write their call line once their
// trace channel is open: it opens only when the data source they name is
// known.
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
    // Refuse with 5144 while the handle is busy: for a connection, while one
    // of its statements has an asynchronous call pending; for a statement,
    // while it has one (SQL_ASYNC_ENABLE on).
    RC_CALL_BUSY_CHECK = 1,
    // The queue is kept: what the call that runs this one as a step posted
    // stays (SQLExecDirect's prepare and execute, SQLNumResultCols after
    // them).
    RC_CALL_KEEP_QUEUE = 2,
};

struct rcStmtHandle;

// The frame of a worker. A worker that returns without done() writes no
// return line (a connect whose arguments could not be read).
class rcCall {
public:
    rcCall(rcConn *conn, const char *name, unsigned flags, const char *format, ...)
        __attribute__((format(printf, 5, 6)));
    rcCall(rcStmtHandle *stmt, const char *name, unsigned flags, const char *format, ...)
        __attribute__((format(printf, 5, 6)));
    // A connect call: the queue is emptied now, line() writes the call line
    // once the trace channel is open.
    rcCall(rcConn *conn, const char *name);
    rcCall(const rcCall &) = delete;
    rcCall &operator=(const rcCall &) = delete;
    // Writes the call line of a frame opened without one.
    void line(const char *format, ...) __attribute__((format(printf, 2, 3)));
    // The busy check refused the call (5144 is posted).
    bool refused() const { return refused_; }
    // Writes the return line on the connection's channel (a statement may
    // be gone by then: SQL_DROP); answers rc.
    SQLRETURN done(SQLRETURN rc);

private:
    rcConn *conn_;
    const char *name_;
    bool refused_ = false;
};
