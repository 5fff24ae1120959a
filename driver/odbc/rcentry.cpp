// The entry guard and the worker frame (see rcentry.h).
#include "driver/odbc/rcentry.h"

#include "driver/core/rcerror.h"
#include "driver/core/rcmsgid.h"
#include "driver/core/rctrace.h"
#include "driver/odbc/rcconn.h"
#include "driver/odbc/rcstmt_handle.h"

#include <cstdarg>
#include <cstdio>

rcEnvEntry::rcEnvEntry(SQLHENV handle)
{
    auto *env = static_cast<rcEnv *>(handle);
    if (!env || env->tag != kRcEnvTag || !env->lock)
        return;
    rcMutexLock(env->lock);
    env_ = env;
}

rcEnvEntry::~rcEnvEntry()
{
    if (env_)
        rcMutexUnlock(env_->lock);
}

rcEnv *rcEnvEntry::release()
{
    rcEnv *env = env_;
    if (env)
        rcMutexUnlock(env->lock);
    env_ = nullptr;
    return env;
}

rcConnEntry::rcConnEntry(SQLHDBC handle, bool withEnv)
{
    auto *conn = static_cast<rcConn *>(handle);
    if (!conn || conn->tag != kRcConnTag || !conn->lock)
        return;
    if (withEnv && conn->env && conn->env->lock) {
        env_ = conn->env;
        rcMutexLock(env_->lock);
    }
    rcMutexLock(conn->lock);
    conn_ = conn;
}

rcConnEntry::~rcConnEntry()
{
    if (conn_)
        rcMutexUnlock(conn_->lock);
    if (env_)
        rcMutexUnlock(env_->lock);
}

rcConn *rcConnEntry::release()
{
    rcConn *conn = conn_;
    if (conn)
        rcMutexUnlock(conn->lock);
    conn_ = nullptr;
    return conn;
}

namespace {

// The call line, when the channel is open.
void CallLine(rcTraceChannel *channel, const char *format, va_list args)
{
    if (channel == nullptr)
        return;
    char line[1024];
    std::vsnprintf(line, sizeof line, format, args);
    rcTraceCall(channel, "%s", line);
}

} // namespace

rcCall::rcCall(rcConn *conn, const char *name, unsigned flags, const char *format, ...)
    : conn_(conn), name_(name)
{
    va_list args;
    va_start(args, format);
    CallLine(conn->odbcTrace, format, args);
    va_end(args);
    if ((flags & RC_CALL_KEEP_QUEUE) == 0)
        rcErrClearQueue(&conn->errors);
    if ((flags & RC_CALL_BUSY_CHECK) && rcConnStmtBusy(conn)) {
        rcErrRaise(&conn->errors, RC_MSG_FUNCTION_SEQUENCE_ERROR);
        refused_ = true;
    }
}

rcCall::rcCall(rcStmtHandle *stmt, const char *name, unsigned flags, const char *format, ...)
    : conn_(stmt->conn), name_(name)
{
    va_list args;
    va_start(args, format);
    CallLine(conn_->odbcTrace, format, args);
    va_end(args);
    if ((flags & RC_CALL_KEEP_QUEUE) == 0)
        rcErrClearQueue(&stmt->errors);
    if ((flags & RC_CALL_BUSY_CHECK) && rcStmtBusy(stmt)) {
        rcErrRaise(&stmt->errors, RC_MSG_FUNCTION_SEQUENCE_ERROR);
        refused_ = true;
    }
}

rcCall::rcCall(rcConn *conn, const char *name) : conn_(conn), name_(name)
{
    rcErrClearQueue(&conn->errors);
}

void rcCall::line(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    CallLine(conn_->odbcTrace, format, args);
    va_end(args);
}

SQLRETURN rcCall::done(SQLRETURN rc)
{
    rcTraceReturn(conn_->odbcTrace, name_, rc);
    return rc;
}
