// The connection's translation library: converts character data between the
// driver and the data source.
//
// A data source names it by "TranslationDLL" and "TranslationOption"; an
// application by the connect options 106 and 107. It is loaded after every
// successful connect (rcConnLoadTranslation) and unloaded at disconnect.
// Values going to the data source pass through SQLDriverToDataSource
// (rcXlateDriverToSource); values read back pass through
// SQLDataSourceToDriver (rcXlateSourceToDriver).
#pragma once

#include <cstddef>
#include <cstdint>

struct rcConn;

// Loads the named library (an empty name unloads it) and binds both
// functions; 0, or -1 with 5143 (null name), 5136 or 5167 posted. On failure
// the library already loaded stays.
int16_t rcXlateLoad(rcConn *conn, const char *name);
void rcXlateUnload(rcConn *conn);
// Applies "TranslationDLL" and "TranslationOption" of the data source; 0, 1 or -1.
int16_t rcConnLoadTranslation(rcConn *conn);
inline bool rcXlateLoaded(const rcConn *conn);
// true on success (also when no library is loaded). With a library, a failure
// posts 5167 with the library's text on the statement's queue when stmtErrors
// is given, else on the connection. outLength may be null.
bool rcXlateDriverToSource(rcConn *conn, struct rcErrorQueue *stmtErrors, int16_t sqlType,
                           const void *in, int64_t inLength, void *out, int64_t outSize,
                           int64_t *outLength);
// Translates buffer in place; true on success. errorText (256 bytes) receives
// the library's text on failure; nothing is posted.
bool rcXlateSourceToDriver(rcConn *conn, int16_t sqlType, void *buffer, int64_t inLength,
                           int64_t bufferSize, char *errorText);

#include "driver/odbc/rcconn.h"
inline bool rcXlateLoaded(const rcConn *conn) { return conn->xlateModule != nullptr; }
