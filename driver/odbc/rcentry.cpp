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

rcCall::rcCall(rcConn *conn, const char *name, unsigned flags, const char *format, ...)
    : conn_(conn), name_(name), trace_((flags & RC_CALL_INTERNAL) == 0)
{
    if (trace_) {
        if (conn->odbcTrace) {
            char line[1024];
            va_list args;
            va_start(args, format);
            std::vsnprintf(line, sizeof line, format, args);
            va_end(args);
            rcTraceCall(conn->odbcTrace, "%s", line);
        }
        rcErrClearQueue(&conn->errors);
    }
    if ((flags & RC_CALL_BUSY_CHECK) && rcConnStmtBusy(conn)) {
        rcErrRaise(&conn->errors, RC_MSG_FUNCTION_SEQUENCE_ERROR);
        refused_ = true;
    }
}

SQLRETURN rcCall::done(SQLRETURN rc)
{
    if (trace_)
        rcTraceReturn(conn_->odbcTrace, name_, rc);
    return rc;
}
