#include "driver/core/rcerror.h"

#include "driver/core/rcmem.h"
#include "driver/core/rcstr.h"
#include "driver/core/rcstrings.h"
#include "driver/core/rctrace.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace {

constexpr uint32_t kQueueSlots = 3;
constexpr int32_t kDrmLow = -4999;
constexpr int32_t kDrmHigh = -3000;
constexpr size_t kDrmTextRoom = 257; // the data module's text: at most 256 characters

rcErrorRecord *RecordAt(const rcErrorQueue *queue, uint32_t index)
{
    return static_cast<rcErrorRecord *>(rcListAt(queue->list, index));
}

bool SameText(const char *a, const char *b) { return std::strcmp(a, b) == 0; }

// The merge rule; answers true when the new record was absorbed.
bool Merge(rcErrorQueue *queue, const rcErrorRecord &rec)
{
    for (uint32_t i = 0; i < queue->list->count; ++i) {
        rcErrorRecord *old = RecordAt(queue, i);
        if (old->msgId != rec.msgId || old->native != rec.native ||
            std::strcmp(old->sqlState, rec.sqlState) != 0)
            continue;
        if (!rec.text)
            continue; // a record without text is always appended
        if (old->text && !SameText(old->text, rec.text))
            return false;
        rcMemFree(old->text);
        old->text = rec.text;
        return true;
    }
    return false;
}

// Numeric and date/time SQL types, the engine's private exact types included.
bool IsNumericOrDateType(int16_t t)
{
    switch (t) {
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 7:
    case 8: // NUMERIC .. DOUBLE
    case 9:
    case 10:
    case 11: // DATE, TIME, TIMESTAMP
    case -5:
    case -6:
    case -7: // BIGINT, TINYINT, BIT
        return true;
    default: return t == 32020 || t == 32021;
    }
}

} // namespace

int rcErrPost(rcErrorQueue *queue, uint32_t msgId, const char *sqlState, int32_t native,
              const char *text)
{
    if (!queue)
        return -1;
    rcErrorRecord rec{};
    rec.msgId = msgId;
    rec.native = native;
    if (sqlState) {
        std::strncpy(rec.sqlState, sqlState, 5);
        rec.sqlState[5] = '\0';
    }
    if (text) {
        size_t len = std::strlen(text);
        rec.text = static_cast<char *>(rcMemAlloc(len + 1));
        if (!rec.text) {
            queue->overflow = 1;
            return -1;
        }
        std::memcpy(rec.text, text, len + 1);
    }
    if (!queue->list) {
        queue->list = rcListCreate(kQueueSlots, sizeof(rcErrorRecord), false, queue->poolId);
        if (!queue->list) {
            rcMemFree(rec.text);
            queue->overflow = 1;
            return -1;
        }
    }
    if (Merge(queue, rec))
        return 0;
    if (rcListAppend(queue->list, &rec) != 0) {
        rcMemFree(rec.text);
        queue->overflow = 1;
        return -1;
    }
    return 0;
}

int rcErrPostState(rcErrorQueue *queue, const char *sqlState, int32_t native, const char *text)
{
    return rcErrPost(queue, 0, sqlState, native, text);
}

int rcErrTxnState(int state, const char *sqlState)
{
    return (sqlState && std::strncmp(sqlState, "40001", 5) == 0) ? 3 : state;
}

int rcErrPostStmtDrm(rcErrorQueue *queue, uint32_t msgId, int32_t native, const char *text,
                     rcErrDrmTextFn drmText, void *context)
{
    if (native >= kDrmLow && native <= kDrmHigh) {
        char buffer[kDrmTextRoom] = {};
        if (drmText)
            drmText(context, native, buffer, sizeof buffer);
        buffer[kDrmTextRoom - 1] = '\0';
        return rcErrPost(queue, RC_MSG_GENERAL_ERROR, nullptr, native,
                         buffer[0] ? buffer : nullptr);
    }
    return rcErrPost(queue, msgId, nullptr, native, text);
}

int rcErrRaise(rcErrorQueue *queue, uint32_t msgId)
{
    rcErrPost(queue, msgId, nullptr, 0, nullptr);
    return -1;
}

int rcErrNotCapable(rcErrorQueue *queue) { return rcErrRaise(queue, RC_MSG_DRIVER_NOT_CAPABLE); }

int rcErrPost5171(rcErrorQueue *queue, const char *text)
{
    return rcErrPost(queue, RC_MSG_GENERAL_WARNING, nullptr, 0, text);
}

int rcErrPostTruncatedColumn(rcErrorQueue *queue, uint32_t column)
{
    const char *format = rcResFind(RC_TXT_DATA_TRUNCATED_COLUMN);
    if (!format)
        return rcErrPost(queue, RC_MSG_DATA_TRUNCATED, nullptr, 0, nullptr);
    char text[64];
    std::snprintf(text, sizeof text, format, static_cast<int>(column));
    return rcErrPost(queue, RC_MSG_DATA_TRUNCATED, nullptr, 0, text);
}

int rcErrPostLong(rcErrorQueue *queue, uint32_t msgId, int16_t sqlType, const char *valueText)
{
    uint32_t textId = sqlType == -7                  ? RC_TXT_ERROR_CONVERTING_TO_BIT
                      : sqlType == 9                 ? RC_TXT_ERROR_CONVERTING_TO_DATE
                      : IsNumericOrDateType(sqlType) ? RC_TXT_ERROR_CONVERTING_TO_NUMERIC
                                                     : RC_TXT_DATA_CONVERSION_ERROR;
    const char *base = rcResFind(textId);
    std::string text = base ? base : "";
    if (valueText) {
        text += ": ";
        text += valueText;
    } else {
        text += ".";
    }
    return rcErrPost(queue, msgId, nullptr, 0, text.c_str());
}

void rcErrClearQueue(rcErrorQueue *queue)
{
    if (!queue)
        return;
    if (queue->list) {
        for (uint32_t i = 0; i < queue->list->count; ++i) {
            rcErrorRecord *rec = RecordAt(queue, i);
            rcMemFree(rec->text);
            rec->text = nullptr;
        }
        rcListClear(queue->list);
    }
    queue->overflow = 0;
}

bool rcErrQueueAny(const rcErrorQueue *queue)
{
    return queue && queue->list && queue->list->count > 0;
}

uint32_t rcErrQueueCount(const rcErrorQueue *queue)
{
    return queue && queue->list ? queue->list->count : 0;
}

void rcErrQueueDestroy(rcErrorQueue *queue)
{
    if (!queue)
        return;
    rcErrClearQueue(queue);
    rcListDestroy(queue->list);
    queue->list = nullptr;
}

SQLRETURN rcErrPopMessage(SQLCHAR *sqlState, SQLINTEGER *native, SQLCHAR *message, SQLSMALLINT size,
                          SQLSMALLINT *length, rcErrorQueue *queue)
{
    if (!rcErrQueueAny(queue))
        return SQL_NO_DATA_FOUND;
    rcErrorRecord *rec = RecordAt(queue, 0);
    std::string work;
    char state[6] = {};
    try {
        const char *z = rcResFind(RC_PREFIX_ZORVI);
        const char *driver = rcResFind(RC_PREFIX_ZORVI_ODBC_DRIVER);
        const char *library = rcResFind(RC_PREFIX_TABULA_FILE_LIBRARY);
        work = std::string(z ? z : "") + (driver ? driver : "");
        if (rec->native != 0 && library)
            work += library;
        // An id without a text gives an empty SQLSTATE and no message text.
        const char *msg = rcResFind(rec->msgId ? rec->msgId : RC_MSG_GENERAL_ERROR);
        if (!msg || std::strlen(msg) < 5)
            msg = nullptr;
        if (rec->sqlState[0])
            std::memcpy(state, rec->sqlState, 5);
        else if (msg)
            std::memcpy(state, msg, 5);
        if (rec->text && rec->text[0])
            work += rec->text;
        else if (msg)
            work += msg + 5;
    } catch (const std::bad_alloc &) {
        return SQL_ERROR;
    }

    bool cut = false;
    if (sqlState)
        std::memcpy(sqlState, state, 6);
    int64_t full = 0;
    if (message)
        cut = rcCopyOutString(reinterpret_cast<char *>(message), work.c_str(), size, &full) != 0;
    else
        full = static_cast<int64_t>(work.size());
    if (length)
        *length = static_cast<SQLSMALLINT>(full > 32767 ? 32767 : full);
    if (native)
        *native = rec->native;
    rcMemFree(rec->text);
    rec->text = nullptr;
    rcListRemoveAt(queue->list, 0);
    return cut ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

SQLRETURN rcErrSQLError(rcErrorQueue *queue, rcTraceChannel *trace, uint32_t traceLevel,
                        const void *henv, const void *hdbc, const void *hstmt, SQLCHAR *szSqlState,
                        SQLINTEGER *pfNativeError, SQLCHAR *szErrorMsg, SQLSMALLINT cbErrorMsgMax,
                        SQLSMALLINT *pcbErrorMsg)
{
    auto addr = [](const void *p) {
        return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p));
    };
    rcTraceCall(trace,
                "SQLError(0x%08lx, 0x%08lx, 0x%08lx, 0x%08lx, 0x%08lx, 0x%08lx, %d, 0x%08lx)",
                addr(henv), addr(hdbc), addr(hstmt), addr(szSqlState), addr(pfNativeError),
                addr(szErrorMsg), static_cast<int>(cbErrorMsgMax), addr(pcbErrorMsg));
    SQLRETURN rc;
    if (queue && queue->overflow) {
        rc = SQL_ERROR;
    } else if (!rcErrQueueAny(queue)) {
        rc = SQL_NO_DATA_FOUND;
        if (szSqlState)
            std::memcpy(szSqlState, "00000", 6);
        if (szErrorMsg && cbErrorMsgMax > 0)
            szErrorMsg[0] = '\0';
        if (pfNativeError)
            *pfNativeError = 0;
        if (pcbErrorMsg)
            *pcbErrorMsg = 0;
    } else {
        rc = rcErrPopMessage(szSqlState, pfNativeError, szErrorMsg, cbErrorMsgMax, pcbErrorMsg,
                             queue);
    }
    if (traceLevel > 1 && (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO)) {
        if (szSqlState)
            rcTracePrint(trace, " SqlState: \"%-.5s\"\n",
                         reinterpret_cast<const char *>(szSqlState));
        if (pfNativeError)
            rcTracePrint(trace, " NativeError: %ld\n", static_cast<long>(*pfNativeError));
        if (szErrorMsg && cbErrorMsgMax > 0)
            rcTracePrint(trace, " ErrorMsg: %-.256s\n", reinterpret_cast<const char *>(szErrorMsg));
    }
    rcTraceReturn(trace, "SQLError", rc);
    return rc;
}
