// Error queues, posting and the SQLError worker.
//
// Error returns in the base layer (driver/core): a routine that can fail
// returns an int, 0 on success; a failure is -1 once its message is posted on
// the queue of the handle concerned (the caller adds nothing), and a warning
// that was posted is 1. Routines with no handle at hand return a code of their
// own and post nothing: the value conversions kCnvOk / kCnvTruncated (-7) /
// kCnvOutOfRange (-8) / kCnvInvalid (-9) (rccnv.h), the exact numbers 0 or -1
// with the value's status set (rcnum.h), the file routines their RC_FILE_*
// codes. The ODBC workers (the ...Impl routines) return SQL_SUCCESS,
// SQL_SUCCESS_WITH_INFO, SQL_ERROR, SQL_NO_DATA or SQL_INVALID_HANDLE.
//
// Every part of the driver reports a failure or a warning by posting a message
// id (rcmsgid.h), a native code and an optional text on the error queue of the
// handle concerned. Handles embed an rcErrorQueue (zero-initialised is a valid
// empty queue; its list is made on the first post, in the queue's pool, 0 for a
// private one). Legal order on a handle:
//   rcErrClearQueue(q)              at the start of every ODBC call on the handle
//   rcErrPost...(q, ...)            while the call works
//   rcErrSQLError(q, ...)           hands records back, oldest first, removing each
//   rcErrQueueDestroy(q)            when the handle goes, and before the freeing
//                                   environment's rcPoolFreeAll (the last one
//                                   frees every pool, the queue's list with them)
// A record that cannot be queued for want of memory sets the overflow flag;
// SQLError then answers SQL_ERROR until the next call clears the queue.
//
// Merging: a new record is compared with the queued ones from the oldest; at the
// first with the same message id, native code and SQLSTATE: two different texts
// end the walk (the new record is appended); a new text replaces the old
// record's missing or equal text (nothing appended); a record without text
// passes over it. So an identical record with text is never queued twice.
//
// Message text of a record: the prefixes "[Zorvi]" "[Zorvi ODBC Driver]", then
// "[Tabula File Library]" when the native code is not 0, then the record's own
// text when it has one, else the message text after its SQLSTATE. A message id
// without a text in the string table (65535, an unmapped data-module code)
// has an empty SQLSTATE and only the prefixes (and the record's own text).
#pragma once

#include "driver/core/rclist.h"
#include "driver/core/rcmsgid.h"

#include <cstddef>
#include <cstdint>
#include <sql.h>
#include <sqlext.h>

struct rcTraceChannel;

struct rcErrorRecord {
    uint32_t msgId;   // 0 stands for RC_MSG_GENERAL_ERROR
    int32_t native;   // data-module or server code; 0 when none
    char sqlState[6]; // empty: taken from the message text
    char *text;       // owned copy (rcMemAlloc), or null
};

struct rcErrorQueue {
    rcList *list;      // of rcErrorRecord; made on the first post
    int32_t poolId;    // pool for the list, 0 for a private one
    uint32_t overflow; // a record was lost for want of memory
};

// Queues a record; 0, or -1 after setting the overflow flag.
int rcErrPost(rcErrorQueue *queue, uint32_t msgId, const char *sqlState, int32_t native,
              const char *text);
// A record with an explicit SQLSTATE and message id 0.
int rcErrPostState(rcErrorQueue *queue, const char *sqlState, int32_t native, const char *text);
// The connection state after posting sqlState: 3 for "40001", else state.
int rcErrTxnState(int state, const char *sqlState);

// The data module's text for one of its own codes (at most size - 1 characters).
using rcErrDrmTextFn = void (*)(void *context, int32_t code, char *buffer, size_t size);
// A native code in -4999..-3000 (the data module's own range) is posted as 5135
// with that code and the data module's text; anything else as given.
int rcErrPostStmtDrm(rcErrorQueue *queue, uint32_t msgId, int32_t native, const char *text,
                     rcErrDrmTextFn drmText, void *context);
// Posts msgId with no native code and no text; answers -1.
int rcErrRaise(rcErrorQueue *queue, uint32_t msgId);
// Posts 5160 (driver not capable); answers -1.
int rcErrNotCapable(rcErrorQueue *queue);
// Posts 5171 (general warning) with text.
int rcErrPost5171(rcErrorQueue *queue, const char *text);
// Posts 5102 (01004) with the text "Data truncated column %d." naming the
// result column (from 1) whose value was cut.
int rcErrPostTruncatedColumn(rcErrorQueue *queue, uint32_t column);
// Posts msgId with a conversion text chosen by sqlType: 11244 for bit (-7),
// 11245 for date (9), 11246 for other numeric and date/time types, else 11247;
// followed by ": " and valueText when given, else by ".".
int rcErrPostLong(rcErrorQueue *queue, uint32_t msgId, int16_t sqlType, const char *valueText);

// Frees every record's text, empties the queue and clears the overflow flag.
void rcErrClearQueue(rcErrorQueue *queue);
bool rcErrQueueAny(const rcErrorQueue *queue);
uint32_t rcErrQueueCount(const rcErrorQueue *queue);
// Clears and frees the queue's list.
void rcErrQueueDestroy(rcErrorQueue *queue);

// Hands back the oldest record and removes it. Each output only when given;
// *length receives the full length of the message text. Answers 0, 1 when a
// copy was cut, 100 when the queue is empty, -1 when the text cannot be built
// (the record then stays).
SQLRETURN rcErrPopMessage(SQLCHAR *sqlState, SQLINTEGER *native, SQLCHAR *message, SQLSMALLINT size,
                          SQLSMALLINT *length, rcErrorQueue *queue);

// The worker of SQLError once the handle code chose the queue (the statement's,
// else the connection's, else the environment's; null when no handle was
// given) and the trace channel (the connection's OdbcTrace channel, or null).
// Writes the call and return trace lines and, at traceLevel above 1, the
// record's SQLSTATE, native code and text.
SQLRETURN rcErrSQLError(rcErrorQueue *queue, rcTraceChannel *trace, uint32_t traceLevel,
                        const void *henv, const void *hdbc, const void *hstmt, SQLCHAR *szSqlState,
                        SQLINTEGER *pfNativeError, SQLCHAR *szErrorMsg, SQLSMALLINT cbErrorMsgMax,
                        SQLSMALLINT *pcbErrorMsg);
